// The distribution folder: the folder the program was started from.
#ifndef SETUP_SOURCE_DIR_H
#define SETUP_SOURCE_DIR_H

enum { SOURCE_DIR_CAPACITY = 2000 };

// Finds the folder from the program's own path, the command line's first
// token, into sourceDir (SOURCE_DIR_CAPACITY characters): the path's full
// folder with its backslash, else the path cut at its last backslash, else
// the current folder as it is at the call. 0, or -1 when none of these can be
// had (sourceDir is then empty).
int FindSourceDir(char *sourceDir);

#endif
