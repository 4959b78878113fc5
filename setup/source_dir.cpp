// Finding the distribution folder from the program's own path.
#include "setup/source_dir.h"

#include <string.h>

#include "platform/win.h"

enum { kFullPathLookup = 500 };

static char g_programPath[SOURCE_DIR_CAPACITY];

int FindSourceDir(char *sourceDir) {
  // Blanks end the token outside double quotes, and the quotes are dropped.
  const char *p = GetCommandLineA();
  size_t n = 0;
  bool quoted = false;
  for (; *p; p++) {
    if (*p == '"') {
      quoted = !quoted;
      continue;
    }
    if (*p == ' ' && !quoted) break;
    if (n + 1 < sizeof g_programPath) g_programPath[n++] = *p;  // a longer token is cut
  }
  g_programPath[n] = 0;

  char *filePart = NULL;
  DWORD r = GetFullPathNameA(g_programPath, kFullPathLookup, sourceDir, &filePart);
  if (r != 0 && r < kFullPathLookup) {
    if (filePart) *filePart = 0;
    return 0;
  }
  strcpy(sourceDir, g_programPath);  // both hold SOURCE_DIR_CAPACITY characters
  char *slash = strrchr(sourceDir, '\\');
  if (slash) {
    *slash = 0;
    return 0;
  }
  // No folder in the path: the current folder, taken now, before the
  // installation makes the install folder current. A result of the lookup's
  // size or more is the size it would need, and the buffer holds nothing.
  r = GetCurrentDirectoryA(kFullPathLookup, sourceDir);
  if (r != 0 && r < kFullPathLookup) return 0;
  sourceDir[0] = 0;
  return -1;
}
