// File-system install actions: copying a file of the distribution folder and
// creating the Programs submenu folder.
#ifndef ACTIONS_FILE_ACTIONS_H
#define ACTIONS_FILE_ACTIONS_H

#include <stdio.h>

enum { COPY_FAILED = -1, SUBMENU_NAME_TOO_LONG = -1 };

// Copies sourceFolder\fileName to targetFolder\fileName (the target folder
// must exist). overwrite 0 leaves an existing target alone and fails. On
// success the target's "File:" record is written when log is given. 0 or
// COPY_FAILED.
int CopyInstallFile(const char *sourceFolder, const char *fileName, const char *targetFolder,
                    FILE *log, int overwrite);

// Creates parentFolder\folderName and hands its path, ending in a backslash,
// back in outPath (room for 263 characters); records it as "Dire:".
// SUBMENU_NAME_TOO_LONG when the two names are longer than 260 together, else
// 0 or CREATE_DIRECTORY_FAILED.
int CreateSubmenuFolder(const char *parentFolder, const char *folderName, char *outPath, FILE *log);

#endif
