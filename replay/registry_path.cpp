// Deleting the last key of a registry path, one key at a time from the root.
#include "replay/replay.h"

#include <string.h>

enum { REGISTRY_PATH_CAPACITY = 2000 };

int DeleteRegistryPath(HKEY root, const char *path) {
  char work[REGISTRY_PATH_CAPACITY];
  int length = 0;
  if (path) {
    while (length < REGISTRY_PATH_CAPACITY - 1 && path[length]) {
      work[length] = path[length];
      length++;
    }
  }
  work[length] = '\0';
  if (length == 0) return -99;

  // "Key\Sub\" names the same key as "Key\Sub".
  if (work[length - 1] == '\\') work[--length] = '\0';

  // Split into components in place; the last one is the key to delete.
  char *last = work;
  for (int i = 0; i < length; i++) {
    if (work[i] == '\\') {
      work[i] = '\0';
      last = work + i + 1;
    }
  }

  // Walk down to the parent of the last key, closing each key (the root
  // included) once its child is open. RegOpenKeyA hands back the key itself
  // for an empty component (a doubled backslash); that handle stays open.
  HKEY current = root;
  for (char *part = work; part < last; part += strlen(part) + 1) {
    HKEY next = NULL;
    LONG opened = RegOpenKeyA(current, part, &next);
    if (opened != ERROR_SUCCESS || next != current) RegCloseKey(current);
    if (opened != ERROR_SUCCESS) return -101;
    current = next;
  }

  LONG deleted = RegDeleteKeyA(current, last);
  RegCloseKey(current);
  return deleted == ERROR_SUCCESS ? 0 : -102;
}
