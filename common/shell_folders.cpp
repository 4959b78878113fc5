// Reading the user's shell folders, which the setup puts its links in and
// the uninstaller takes them from again.
#include "common/shell_folders.h"

// The per-user Shell Folders key, one component per open.
static const char *const kShellFolderPath[] = {"Software",       "microsoft", "Windows",
                                               "CurrentVersion", "explorer",  "Shell Folders"};
static const int kShellFolderDepth = sizeof kShellFolderPath / sizeof kShellFolderPath[0];

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
  // A control character, a line break above all, names no folder: in a path
  // written to the install log it would start a record of its own.
  for (const char *p = buffer; *p; p++)
    if ((unsigned char)*p < 0x20) return SHELL_FOLDER_VALUE_FAILED;
  return 0;
}
