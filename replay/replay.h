// Reading the install log back and removing what it records.
#ifndef REPLAY_REPLAY_H
#define REPLAY_REPLAY_H

#include <stdio.h>

#include "platform/win.h"

enum ReplayPass { REPLAY_ROLLBACK = 0, REPLAY_UNINSTALL = 1 };

// Three sweeps, each from the log's start to its end: the files, then the
// folders (only empty ones go), then the registry keys of the pass's tags.
// Rollback acts on "File:", "Dire:", "HKCR:".."HKDD:"; uninstall on "UFil:",
// "UDir:", "UKCR:".."UKDD:"; any other pass reads the log and acts on
// nothing. Items that cannot be removed are passed over. 0, or 1 when a seek
// to the start failed or a sweep ended with the stream's error indicator set
// (the remaining sweeps are not run). The log stays open, at its end.
int ReplayLog(FILE *log, int pass);

// Reads at most size - 1 characters of one line (stopping after its newline)
// and cuts it at its first CR or LF. Returns buffer, or NULL when nothing was
// read before the end of the log, or when a read error struck, even part way
// through the line.
char *ReadLogLine(char *buffer, int size, FILE *log);

// Deletes the last key of root\path (no leading backslash, a trailing one is
// allowed; at most 1999 characters of path are used), opening the keys on
// the way one at a time. Every handle it opens is closed before it returns.
// 0, -99 (empty path), -101 (a key on the way cannot be opened) or -102 (the
// last key cannot be deleted).
int DeleteRegistryPath(HKEY root, const char *path);

#endif
