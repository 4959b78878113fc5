// Text and path rules shared by every layer.
#include "common/text.h"

#include <string.h>

int JoinPath(char *out, size_t capacity, const char *folder, const char *name) {
  size_t folderLength = strlen(folder);
  bool slash = folderLength == 0 || folder[folderLength - 1] != '\\';
  size_t total = folderLength + (slash ? 1 : 0) + strlen(name);
  if (total + 1 > capacity) {
    if (capacity) out[0] = 0;
    return -1;
  }
  memcpy(out, folder, folderLength);
  if (slash) out[folderLength++] = '\\';
  memcpy(out + folderLength, name, strlen(name) + 1);
  return 0;
}

int EndWithBackslash(char *folder, size_t capacity) {
  size_t n = strlen(folder);
  if (n > 0 && folder[n - 1] == '\\') return 0;
  if (n + 2 > capacity) return -1;
  folder[n] = '\\';
  folder[n + 1] = 0;
  return 0;
}

int AppendText(char *buffer, size_t capacity, const char *text) {
  size_t n = strlen(buffer), m = strlen(text);
  int cut = n + m + 1 > capacity;
  if (cut) m = capacity - n - 1;
  memcpy(buffer + n, text, m);
  buffer[n + m] = 0;
  return cut ? -1 : 0;
}

char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

bool IsPathSeparator(char c) {
  return c == '\\' || c == '/';
}

bool BeginsWithPath(const char *text, const char *prefix) {
  for (; *prefix; text++, prefix++) {
    if (!*text) return false;
    if (IsPathSeparator(*prefix) ? !IsPathSeparator(*text) : LowerAscii(*text) != LowerAscii(*prefix))
      return false;
  }
  return true;
}

bool SameText(const char *a, const char *b) {
  for (; *a && LowerAscii(*a) == LowerAscii(*b); a++, b++) {
  }
  return LowerAscii(*a) == LowerAscii(*b);
}

bool SamePath(const char *a, const char *b) {
  return BeginsWithPath(a, b) && strlen(a) == strlen(b);
}

bool HasDotStep(const char *path) {
  for (;;) {
    size_t n = 0, dots = 0;
    while (path[n] && !IsPathSeparator(path[n])) dots += path[n++] == '.';
    if (n >= 2 && dots == n) return true;
    if (!path[n]) return false;
    path += n + 1;
  }
}
