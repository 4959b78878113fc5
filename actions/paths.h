// Creating every folder along a path.
#ifndef ACTIONS_PATHS_H
#define ACTIONS_PATHS_H

#include <stddef.h>

#include "platform/win.h"

enum { CREATE_DIRECTORY_FAILED = 53 };

// The security record every created folder gets: no descriptor, handles not
// inherited. The extractor fills it in before it creates folders.
extern SECURITY_ATTRIBUTES g_folderSecurity;

// Creates, component by component, every folder among the first length
// characters of path that is followed by a backslash (never a drive root, nor
// the text after the last backslash). Returns 0, or 53 after showing
// "Error Creating Directory" with the path cut at the failing folder.
int CreateDirectoryPath(char *path, int length);

#endif
