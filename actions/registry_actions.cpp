// Registry side of the install actions: reading the user's shell folders,
// creating a key below an existing path, the uninstall entry and the
// context-menu verb for every file type.
#include "actions/registry_actions.h"

#include <string.h>

#include "common/registry_path.h"
#include "common/text.h"
#include "installlog/genuine_log.h"
#include "installlog/install_log.h"

enum { kRegistryPathCapacity = 500 };


// A string value with its terminator counted in the byte count.
static LONG SetStringValue(HKEY key, const char *name, const char *text) {
  return RegSetValueExA(key, name, 0, REG_SZ, (const BYTE *)text, (DWORD)strlen(text) + 1);
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
  int r = OpenPathCreateKey(HKEY_LOCAL_MACHINE, kUninstallKeyParent, keyName, &uninstallKey);
  if (r != 0) return r;
  LogKey(log, LOG_HKLM, kUninstallKeyParent, keyName, "");
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
  int r = OpenPathCreateKey(HKEY_CLASSES_ROOT, kShellKeyParent, verb, &verbKey);
  if (r != 0) return r;
  // The "command" key goes first, so that a replay deletes it before the
  // verb key that holds it.
  LogKey(log, LOG_HKCR, kShellKeyParent, verb, "\\command");
  LogKey(log, LOG_HKCR, kShellKeyParent, verb, "");
  if (SetStringValue(verbKey, NULL, menuText) != ERROR_SUCCESS) {
    RegCloseKey(verbKey);
    return FIRST_VALUE_FAILED;
  }

  // The verb's path, never cut: a verb too long for it fails as a key that
  // cannot be created.
  char path[kRegistryPathCapacity];
  if (JoinPath(path, sizeof path, kShellKeyParent, verb) != 0) {
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
