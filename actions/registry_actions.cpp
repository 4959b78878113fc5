// Registry side of the install actions: reading the user's shell folders,
// creating a key below an existing path, the uninstall entry and the
// context-menu verb for every file type.
#include "actions/registry_actions.h"

#include <string.h>

#include "common/registry_path.h"
#include "common/text.h"
#include "installlog/install_log.h"

enum { kRegistryPathCapacity = 500 };

// The per-user Shell Folders key, one component per open.
static const char *const kShellFolderPath[] = {"Software",       "microsoft", "Windows",
                                               "CurrentVersion", "explorer",  "Shell Folders"};
static const int kShellFolderDepth = sizeof kShellFolderPath / sizeof kShellFolderPath[0];

static const char kUninstallPath[] = "Software\\microsoft\\windows\\CurrentVersion\\Uninstall";
static const char kShellPath[] = "*\\shell";

// A string value with its terminator counted in the byte count.
static LONG SetStringValue(HKEY key, const char *name, const char *text) {
  return RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text, (DWORD)strlen(text) + 1);
}

int QueryShellFolder(char *buffer, const char *valueName, DWORD bufferSize) {
  HKEY current = HKEY_CURRENT_USER;
  for (int k = 0; k < kShellFolderDepth; k++) {
    HKEY next;
    LONG opened = RegOpenKeyExA(current, kShellFolderPath[k], 0, KEY_READ, &next);
    if (current != HKEY_CURRENT_USER) RegCloseKey(current);
    if (opened != ERROR_SUCCESS) return -(k + 1);
    current = next;
  }
  DWORD type = 0;
  DWORD size = bufferSize;
  LONG queried = RegQueryValueExA(current, valueName, NULL, &type, (BYTE *)buffer, &size);
  RegCloseKey(current);
  if (queried != ERROR_SUCCESS) return SHELL_FOLDER_VALUE_FAILED;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return SHELL_FOLDER_VALUE_FAILED;
  // The value is text only up to the size the query returned: one stored
  // without its terminator comes without one, and the bytes after it are
  // whatever the buffer held before (the driver reads three folders into one
  // buffer). A value that fills the buffer without a terminator has no room
  // for one and is too large; an empty one names no folder at all.
  if (size == 0 || size > bufferSize || (size == bufferSize && buffer[size - 1] != 0))
    return SHELL_FOLDER_VALUE_FAILED;
  if (size < bufferSize) buffer[size] = 0;
  if (buffer[0] == 0) return SHELL_FOLDER_VALUE_FAILED;
  return 0;
}

int OpenPathCreateKey(HKEY root, const char *path, const char *name, HKEY *key) {
  size_t length = strlen(path);
  char *work = (char *)HeapAlloc(GetProcessHeap(), 0, length + 1);
  if (!work) return PATH_OPEN_FAILED;  // nothing opened, nothing created
  memcpy(work, path, length + 1);
  SplitRegistryPath(work, length);
  HKEY current;
  if (OpenRegistryPath(root, work, length, &current) != 0) {
    HeapFree(GetProcessHeap(), 0, work);
    return PATH_OPEN_FAILED;
  }
  LONG created = RegCreateKeyA(current, name, key);
  RegCloseKey(current);
  HeapFree(GetProcessHeap(), 0, work);
  return created == ERROR_SUCCESS ? 0 : KEY_CREATE_FAILED;
}

int RegisterUninstall(const char *keyName, const char *displayName, const char *uninstallString,
                      FILE *log) {
  HKEY uninstallKey;
  int r = OpenPathCreateKey(HKEY_LOCAL_MACHINE, kUninstallPath, keyName, &uninstallKey);
  if (r != 0) return r;
  LogKey(log, LOG_HKLM, kUninstallPath, keyName, "");
  if (SetStringValue(uninstallKey, "DisplayName", displayName) != ERROR_SUCCESS) {
    RegCloseKey(uninstallKey);
    return FIRST_VALUE_FAILED;
  }
  LONG set = SetStringValue(uninstallKey, "UninstallString", uninstallString);
  RegCloseKey(uninstallKey);
  return set == ERROR_SUCCESS ? 0 : SECOND_VALUE_FAILED;
}

int RegisterShellVerb(const char *verb, const char *menuText, const char *commandLine, FILE *log) {
  // HKCR\* may lack its "shell" key; if even that cannot be made, the next
  // step reports it.
  HKEY shellKey;
  if (OpenPathCreateKey(HKEY_CLASSES_ROOT, "*", "shell", &shellKey) == 0) RegCloseKey(shellKey);

  HKEY verbKey;
  int r = OpenPathCreateKey(HKEY_CLASSES_ROOT, kShellPath, verb, &verbKey);
  if (r != 0) return r;
  // The "command" key goes first, so that a replay deletes it before the
  // verb key that holds it.
  LogKey(log, LOG_HKCR, kShellPath, verb, "\\command");
  LogKey(log, LOG_HKCR, kShellPath, verb, "");
  if (SetStringValue(verbKey, NULL, menuText) != ERROR_SUCCESS) {
    RegCloseKey(verbKey);
    return FIRST_VALUE_FAILED;
  }

  // The verb's path, never cut: a verb too long for it fails as a key that
  // cannot be created.
  char path[kRegistryPathCapacity];
  if (JoinPath(path, sizeof path, kShellPath, verb) != 0) {
    RegCloseKey(verbKey);
    return KEY_CREATE_FAILED;
  }

  HKEY commandKey;
  r = OpenPathCreateKey(HKEY_CLASSES_ROOT, path, "command", &commandKey);
  if (r != 0) {
    RegCloseKey(verbKey);
    return r;
  }
  LONG set = SetStringValue(commandKey, NULL, commandLine);
  RegCloseKey(verbKey);
  RegCloseKey(commandKey);
  return set == ERROR_SUCCESS ? 0 : SECOND_VALUE_FAILED;
}
