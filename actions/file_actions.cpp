// Copying a file of the distribution folder into place, and making the
// Programs submenu's folder; each records what it made.
#include "actions/file_actions.h"

#include <string.h>

#include "actions/paths.h"
#include "common/text.h"
#include "installlog/install_log.h"
#include "platform/win.h"

enum { kCopyPathCapacity = 500, kSubmenuNameLimit = 260, kSubmenuPathCapacity = 263 };

int CopyInstallFile(const char *sourceFolder, const char *fileName, const char *targetFolder,
                    FILE *log, int overwrite) {
  char source[kCopyPathCapacity], target[kCopyPathCapacity];
  if (JoinPath(source, sizeof source, sourceFolder, fileName) ||
      JoinPath(target, sizeof target, targetFolder, fileName))
    return COPY_FAILED;
  if (!CopyFileA(source, target, !overwrite)) return COPY_FAILED;
  LogFile(log, target, "");
  return 0;
}

int CreateSubmenuFolder(const char *parentFolder, const char *folderName, char *outPath, FILE *log) {
  if (strlen(parentFolder) + strlen(folderName) > kSubmenuNameLimit) return SUBMENU_NAME_TOO_LONG;
  JoinPath(outPath, kSubmenuPathCapacity, parentFolder, folderName);
  EndWithBackslash(outPath, kSubmenuPathCapacity);
  int r = CreateDirectoryPath(outPath, (int)strlen(outPath));
  if (r == 0) LogFolder(log, outPath);
  return r;
}
