// Replaying the install log: the files it records, then its folders, then its
// registry keys, each sweep reading the log from its start to its end.
#include "replay/replay.h"

#include <string.h>

enum ReplaySweep { SWEEP_FILES, SWEEP_FOLDERS, SWEEP_KEYS };

// Removes what one line names, when it is a record of this sweep's kind and
// of the pass's set. Every other line is passed over; failures to remove are
// ignored.
static void ActOnLine(const char *line, int sweep, int pass, const ReplayScreen *screen) {
  if (pass != REPLAY_ROLLBACK && pass != REPLAY_UNINSTALL) return;
  LogRecord record;
  ClassifyLogLine(line, &record);
  if (screen && !screen->allow(&record, screen->context)) return;
  // A rollback removes the setup's own records; the uninstall pass removes
  // those left for the uninstaller.
  int set = pass == REPLAY_ROLLBACK ? LOG_SETUP_RECORD : LOG_UNINSTALL_RECORD;
  if (record.set != set) return;
  if (sweep == SWEEP_FILES && record.kind == LOG_FILE) DeleteFileA(record.payload);
  if (sweep == SWEEP_FOLDERS && record.kind == LOG_FOLDER) RemoveDirectoryA(record.payload);
  if (sweep == SWEEP_KEYS && record.kind == LOG_KEY) DeleteRegistryPath(record.root, record.payload);
}

// One sweep from the top of the log. The seek writes out whatever the
// installation left buffered and clears the end-of-file state. 1 when the
// seek fails or a read set the error indicator. A screened sweep reads whole
// lines, passes over damaged ones, and acts only on records the screen
// allows.
static int RunSweep(FILE *log, int sweep, int pass, const ReplayScreen *screen) {
  if (fseek(log, 0, SEEK_SET) != 0) return 1;
  // The indicator must tell of this sweep's reads: one left behind by a
  // record that could not be written would otherwise end the rollback after
  // its files, leaving the logged folders and keys in place.
  clearerr(log);
  char line[LOG_LINE_CAPACITY];
  if (screen) {
    bool damaged;
    while (ReadCheckedLogLine(line, LOG_LINE_CAPACITY, log, &damaged))
      if (!damaged) ActOnLine(line, sweep, pass, screen);
  } else {
    while (ReadLogLine(line, LOG_LINE_READ_SIZE, log)) ActOnLine(line, sweep, pass, NULL);
  }
  return ferror(log) ? 1 : 0;
}

int ReplayScreenedLog(FILE *log, int pass, const ReplayScreen *screen) {
  if (!log) return 1;
  // Files first, so that every folder is as empty as the log can make it;
  // keys last, each logged after the keys below it.
  if (RunSweep(log, SWEEP_FILES, pass, screen)) return 1;
  if (RunSweep(log, SWEEP_FOLDERS, pass, screen)) return 1;
  return RunSweep(log, SWEEP_KEYS, pass, screen);
}

int ReplayLog(FILE *log, int pass) {
  return ReplayScreenedLog(log, pass, NULL);
}
