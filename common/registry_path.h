// Walking a registry path from its root key, one key at a time: the rule
// that the install actions and the replay share.
#ifndef COMMON_REGISTRY_PATH_H
#define COMMON_REGISTRY_PATH_H

#include <stddef.h>

#include "platform/win.h"

enum { REGISTRY_PATH_OPEN_FAILED = -1 };

// Turns every backslash among the first length characters of path into a
// terminator, so that they hold the path's keys one after another.
void SplitRegistryPath(char *path, size_t length);

// Opens the keys of a split path (its first length characters) below root,
// one at a time, closing each key, the root included, once the next one is
// open or could not be. An empty key name, from a leading or doubled
// backslash, names no key and is passed over. On 0 *key is the last key
// opened (root when there was none) and the caller closes it; on
// REGISTRY_PATH_OPEN_FAILED nothing is left open.
int OpenRegistryPath(HKEY root, const char *parts, size_t length, HKEY *key);

#endif
