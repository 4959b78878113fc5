// Shortcuts: .lnk files made through the shell's link object.
#ifndef ACTIONS_SHORTCUTS_H
#define ACTIONS_SHORTCUTS_H

#include <stdio.h>

enum { SHORTCUT_FAILED = -1 };

// Saves linkFolder\linkName.lnk pointing at baseFolder\fileName with the
// given arguments and linkName as its description; the link's "File:" record
// is written after the attempt, whatever its outcome. 0 or SHORTCUT_FAILED.
int CreateShortcut(const char *baseFolder, const char *fileName, const char *arguments,
                   const char *linkName, const char *linkFolder, FILE *log);

// Makes one link and saves it at linkPath. 0 or SHORTCUT_FAILED.
int SaveShellLink(const char *target, const char *arguments, const char *linkPath,
                  const char *description);

#endif
