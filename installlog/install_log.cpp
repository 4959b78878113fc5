// Reading the install log back: opening it, and the kind of each record.
#include "installlog/install_log.h"

#include <string.h>

#include "installlog/log_tags.h"

const char kLogTags[] =
    "Name:File:UFil:Dire:UDir:"
    "HKCR:HKCU:HKLM:HKUS:HKCC:HKDD:"
    "UKCR:UKCU:UKLM:UKUS:UKCC:UKDD:";

static const HKEY kKeyRoots[LOG_KEY_ROOTS] = {HKEY_CLASSES_ROOT,  HKEY_CURRENT_USER,
                                              HKEY_LOCAL_MACHINE, HKEY_USERS,
                                              HKEY_CURRENT_CONFIG, HKEY_DYN_DATA};

FILE *OpenInstallLog(const char *path, int share) {
  return _fsopen(path, "rt", share);
}

int ClassifyLogLine(const char *line, LogRecord *record) {
  record->kind = LOG_OTHER;
  record->set = LOG_SETUP_RECORD;
  record->root = NULL;
  record->payload = line;
  int tag = 0;
  while (tag < TAG_COUNT && strncmp(line, kLogTags + tag * LOG_TAG_LENGTH, LOG_TAG_LENGTH) != 0) tag++;
  if (tag == TAG_COUNT) return LOG_OTHER;
  record->payload = line + LOG_TAG_LENGTH;
  if (tag == TAG_NAME) {
    record->kind = LOG_NAME;
  } else if (tag < TAG_KEY) {
    record->kind = tag < TAG_FOLDER ? LOG_FILE : LOG_FOLDER;
    record->set = (tag - TAG_FILE) & 1;
  } else {
    record->kind = LOG_KEY;
    record->set = tag < TAG_UNINSTALL_KEY ? LOG_SETUP_RECORD : LOG_UNINSTALL_RECORD;
    record->root = kKeyRoots[(tag - TAG_KEY) % LOG_KEY_ROOTS];
  }
  return record->kind;
}
