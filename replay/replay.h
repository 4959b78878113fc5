// Reading the install log back and removing what it records.
#ifndef REPLAY_REPLAY_H
#define REPLAY_REPLAY_H

#include <stdio.h>

#include "platform/win.h"

enum ReplayPass { REPLAY_ROLLBACK = 0, REPLAY_UNINSTALL = 1 };

// Three sweeps from the log's start: files, then folders, then registry keys
// of the pass's tags. 0, or 1 when a seek or a read failed. The log stays open.
int ReplayLog(FILE *log, int pass);

// Reads at most size - 1 characters of one line and cuts it at its first CR
// or LF; NULL when nothing could be read.
char *ReadLogLine(char *buffer, int size, FILE *log);

// Deletes the last key of root\path (no leading backslash, a trailing one is
// allowed). 0, -99 (empty path), -101 (a key on the way cannot be opened) or
// -102 (the last key cannot be deleted).
int DeleteRegistryPath(HKEY root, const char *path);

#endif
