// The registry path walk shared by the install actions and the replay.
#include "common/registry_path.h"

#include <string.h>

void SplitRegistryPath(char *path, size_t length) {
  for (size_t i = 0; i < length; i++)
    if (path[i] == '\\') path[i] = 0;
}

int OpenRegistryPath(HKEY root, const char *parts, size_t length, HKEY *key) {
  // Opening "" would hand back the very handle that is closed next.
  HKEY current = root;
  for (size_t start = 0; start < length; start += strlen(parts + start) + 1) {
    if (!parts[start]) continue;
    HKEY next;
    LONG opened = RegOpenKeyA(current, parts + start, &next);
    RegCloseKey(current);
    if (opened != ERROR_SUCCESS) return REGISTRY_PATH_OPEN_FAILED;
    current = next;
  }
  *key = current;
  return 0;
}
