// Replaying the install log: the files it records, then its folders, then its
// registry keys, each sweep reading the log from its start to its end.
#include "replay/replay.h"

#include <string.h>

enum { LINE_CAPACITY = 2000, LINE_READ_SIZE = 1999, TAG_LENGTH = 5, KEY_ROOT_COUNT = 6 };

enum ReplaySweep { SWEEP_FILES, SWEEP_FOLDERS, SWEEP_KEYS };

static const char *const kFileTags[2] = {"File:", "UFil:"};
static const char *const kFolderTags[2] = {"Dire:", "UDir:"};
static const char *const kKeyTags[2][KEY_ROOT_COUNT] = {
    {"HKCR:", "HKCU:", "HKLM:", "HKUS:", "HKCC:", "HKDD:"},
    {"UKCR:", "UKCU:", "UKLM:", "UKUS:", "UKCC:", "UKDD:"},
};
// The root key of each key tag, in the order of the tag tables.
static const HKEY kKeyRoots[KEY_ROOT_COUNT] = {HKEY_CLASSES_ROOT,  HKEY_CURRENT_USER,
                                               HKEY_LOCAL_MACHINE, HKEY_USERS,
                                               HKEY_CURRENT_CONFIG, HKEY_DYN_DATA};

static int HasTag(const char *line, const char *tag) {
  return strncmp(line, tag, TAG_LENGTH) == 0;
}

// Removes what one line names, when its tag is one of this sweep's for the
// pass. Every other line is passed over; failures to remove are ignored.
static void ActOnLine(const char *line, int sweep, int pass) {
  if (pass != REPLAY_ROLLBACK && pass != REPLAY_UNINSTALL) return;
  const char *payload = line + TAG_LENGTH;
  switch (sweep) {
    case SWEEP_FILES:
      if (HasTag(line, kFileTags[pass])) DeleteFileA(payload);
      break;
    case SWEEP_FOLDERS:
      if (HasTag(line, kFolderTags[pass])) RemoveDirectoryA(payload);
      break;
    default:
      for (int i = 0; i < KEY_ROOT_COUNT; i++) {
        if (HasTag(line, kKeyTags[pass][i])) {
          DeleteRegistryPath(kKeyRoots[i], payload);
          break;
        }
      }
      break;
  }
}

// One sweep from the top of the log. The seek writes out whatever the
// installation left buffered and clears the end-of-file state. 1 when the
// seek fails or a read set the error indicator.
static int RunSweep(FILE *log, int sweep, int pass) {
  if (fseek(log, 0, SEEK_SET) != 0) return 1;
  // The indicator must tell of this sweep's reads: one left behind by a
  // record that could not be written would otherwise end the rollback after
  // its files, leaving the logged folders and keys in place.
  clearerr(log);
  char line[LINE_CAPACITY];
  while (ReadLogLine(line, LINE_READ_SIZE, log)) ActOnLine(line, sweep, pass);
  return ferror(log) ? 1 : 0;
}

int ReplayLog(FILE *log, int pass) {
  if (!log) return 1;
  // Files first, so that every folder is as empty as the log can make it;
  // keys last, each logged after the keys below it.
  if (RunSweep(log, SWEEP_FILES, pass)) return 1;
  if (RunSweep(log, SWEEP_FOLDERS, pass)) return 1;
  return RunSweep(log, SWEEP_KEYS, pass);
}
