// Registry side of the install actions: the uninstall entry and the
// context-menu verb for every file type (the shell folders are read through
// common/shell_folders.h).
#ifndef ACTIONS_REGISTRY_ACTIONS_H
#define ACTIONS_REGISTRY_ACTIONS_H

#include <stdio.h>

#include "platform/win.h"

// The results beside 0.
enum {
  FIRST_VALUE_FAILED = -100,
  SECOND_VALUE_FAILED = -101,
  PATH_OPEN_FAILED = -103,
  KEY_CREATE_FAILED = -104
};

// Opens root\path one existing key at a time and creates (or opens) name
// below it; on 0 *key is open and the caller closes it. 0, PATH_OPEN_FAILED
// or KEY_CREATE_FAILED.
int OpenPathCreateKey(HKEY root, const char *path, const char *name, HKEY *key);

// The uninstall entry HKLM\...\Uninstall\keyName with "DisplayName" and
// "UninstallString". 0, FIRST_VALUE_FAILED, SECOND_VALUE_FAILED,
// PATH_OPEN_FAILED or KEY_CREATE_FAILED.
int RegisterUninstall(const char *keyName, const char *displayName, const char *uninstallString,
                      FILE *log);

// HKCR\*\shell\verb (default value menuText) with its "command" sub-key
// (default value commandLine). 0, FIRST_VALUE_FAILED, SECOND_VALUE_FAILED,
// PATH_OPEN_FAILED or KEY_CREATE_FAILED.
int RegisterShellVerb(const char *verb, const char *menuText, const char *commandLine, FILE *log);

#endif
