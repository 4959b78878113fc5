// Deleting the last key of a registry path, one key at a time from the root.
#include "replay/replay.h"

#include <string.h>

#include "common/registry_path.h"

enum { kPathCapacity = 2000 };

int DeleteRegistryPath(HKEY root, const char *path) {
  char work[kPathCapacity];
  int length = 0;
  if (path) {
    while (length < kPathCapacity - 1 && path[length]) {
      work[length] = path[length];
      length++;
    }
  }
  work[length] = '\0';
  if (length == 0) return DELETE_KEY_EMPTY_PATH;

  // "Key\Sub\" names the same key as "Key\Sub".
  if (work[length - 1] == '\\') work[--length] = '\0';

  // The last key is the one to delete; the keys before it are walked.
  char *last = strrchr(work, '\\');
  last = last ? last + 1 : work;
  size_t parents = (size_t)(last - work);
  SplitRegistryPath(work, parents);
  HKEY current;
  if (OpenRegistryPath(root, work, parents, &current) != 0) return DELETE_KEY_PATH_FAILED;
  LONG deleted = RegDeleteKeyA(current, last);
  RegCloseKey(current);
  return deleted == ERROR_SUCCESS ? 0 : DELETE_KEY_FAILED;
}
