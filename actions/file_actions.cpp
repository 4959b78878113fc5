#include "actions/file_actions.h"

#include <string.h>

#include "actions/paths.h"
#include "platform/win.h"

enum { kCopyPathCapacity = 500, kSubmenuNameLimit = 260, kSubmenuPathCapacity = 263 };

int CopyInstallFile(const char *sourceFolder, const char *fileName, const char *targetFolder,
                    FILE *log, int overwrite) {
  char source[kCopyPathCapacity], target[kCopyPathCapacity];
  if (JoinPath(source, sizeof source, sourceFolder, fileName) ||
      JoinPath(target, sizeof target, targetFolder, fileName))
    return -1;
  if (!CopyFileA(source, target, !overwrite)) return -1;
  if (log) fprintf(log, "File:%s\n", target);
  return 0;
}

int CreateSubmenuFolder(const char *parentFolder, const char *folderName, char *outPath, FILE *log) {
  if (strlen(parentFolder) + strlen(folderName) > kSubmenuNameLimit) return -1;
  JoinPath(outPath, kSubmenuPathCapacity, parentFolder, folderName);
  size_t n = strlen(outPath);
  if (n == 0 || outPath[n - 1] != '\\') {
    outPath[n++] = '\\';
    outPath[n] = 0;
  }
  int r = CreateDirectoryPath(outPath, (int)n);
  if (r == 0 && log) fprintf(log, "Dire:%s\n", outPath);
  return r;
}
