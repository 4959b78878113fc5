// The user's shell folders, as the per-user Shell Folders key holds them.
#ifndef COMMON_SHELL_FOLDERS_H
#define COMMON_SHELL_FOLDERS_H

#include "platform/win.h"

enum { SHELL_FOLDER_VALUE_FAILED = -7 };

// Reads the named value of the per-user Shell Folders key into buffer
// (bufferSize bytes); on 0 the buffer holds the folder, terminated at the
// value's size. 0, -1 to -6 (the k-th key of the path cannot be opened) or
// SHELL_FOLDER_VALUE_FAILED (value missing, empty, too large, holding a
// control character, or neither REG_SZ nor REG_EXPAND_SZ).
int QueryShellFolder(char *buffer, const char *valueName, DWORD bufferSize);

#endif
