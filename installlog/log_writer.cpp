// Writing the install log: its creation and one writer a record kind.
#include "installlog/install_log.h"

#include "installlog/log_tags.h"

// One record: the tag, then the four texts one after another.
static void Write(FILE *log, int tag, const char *a, const char *b, const char *c, const char *d) {
  if (log) fprintf(log, "%.5s%s%s%s%s\n", kLogTags + tag * LOG_TAG_LENGTH, a, b, c, d);
}

FILE *CreateInstallLog(const char *path) {
  FILE *log = _fsopen(path, "w+t", _SH_DENYNO);
  if (log) setvbuf(log, NULL, _IONBF, 0);
  return log;
}

void LogProductName(FILE *log, const char *name) {
  Write(log, TAG_NAME, name, "", "", "");
}

void LogFile(FILE *log, const char *folderOrPath, const char *rest) {
  Write(log, TAG_FILE, folderOrPath, rest, "", "");
}

void LogFolder(FILE *log, const char *path) {
  Write(log, TAG_FOLDER, path, "", "", "");
}

void LogKey(FILE *log, int root, const char *parentPath, const char *name, const char *below) {
  Write(log, TAG_KEY + root, parentPath, "\\", name, below);
}

void LogUninstallKey(FILE *log, int root, const char *path) {
  Write(log, TAG_UNINSTALL_KEY + root, path, "", "", "");
}
