// Reading the install log back and removing what it records.
#ifndef REPLAY_REPLAY_H
#define REPLAY_REPLAY_H

#include <stdio.h>

#include "installlog/install_log.h"
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

// Which records a screened replay may act on; context is handed through.
struct ReplayScreen {
  bool (*allow)(const LogRecord *record, const void *context);
  const void *context;
};
// ReplayLog for a log the replay did not see written (the uninstaller's,
// opened in binary mode): whole lines are read (ReadCheckedLogLine), damaged
// ones passed over, and only the records that screen allows are acted on.
// A NULL screen is ReplayLog itself.
int ReplayScreenedLog(FILE *log, int pass, const ReplayScreen *screen);

// Deletes the last key of root\path (no leading backslash, a trailing one is
// allowed; at most 1999 characters of path are used), opening the keys on
// the way one at a time. Every handle it opens is closed before it returns.
enum { DELETE_KEY_EMPTY_PATH = -99, DELETE_KEY_PATH_FAILED = -101, DELETE_KEY_FAILED = -102 };
// 0, DELETE_KEY_EMPTY_PATH, DELETE_KEY_PATH_FAILED (a key on the way cannot
// be opened) or DELETE_KEY_FAILED (the last key cannot be deleted).
int DeleteRegistryPath(HKEY root, const char *path);

#endif
