// Registry side of the install actions: the user's shell folders, the
// uninstall entry and the context-menu verb for every file type.
#ifndef ACTIONS_REGISTRY_ACTIONS_H
#define ACTIONS_REGISTRY_ACTIONS_H

#include <stdio.h>

#include "platform/win.h"

// Reads the named value of the per-user Shell Folders key into buffer
// (bufferSize bytes); on 0 the buffer holds the folder, terminated at the
// value's size. 0, -1 to -6 (the k-th key of the path cannot be opened) or -7
// (value missing, empty, too large or neither REG_SZ nor REG_EXPAND_SZ).
int QueryShellFolder(char *buffer, const char *valueName, DWORD bufferSize);

// Opens root\path one existing key at a time and creates (or opens) name
// below it; on 0 *key is open and the caller closes it. 0, -103 or -104.
int OpenPathCreateKey(HKEY root, const char *path, const char *name, HKEY *key);

// The uninstall entry HKLM\...\Uninstall\keyName with "DisplayName" and
// "UninstallString". 0, -100, -101, -103 or -104.
int RegisterUninstall(const char *keyName, const char *displayName, const char *uninstallString,
                      FILE *log);

// HKCR\*\shell\verb (default value menuText) with its "command" sub-key
// (default value commandLine). 0, -100, -101, -103 or -104.
int RegisterShellVerb(const char *verb, const char *menuText, const char *commandLine, FILE *log);

#endif
