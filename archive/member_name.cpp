// The rules for member names. The packer (scripts/dist) refuses the same
// names before it writes an archive; tests hold both to one table.
#include "archive/member_name.h"

#include <string.h>

#include "common/text.h"

// Does the step of n characters, letter case aside, equal word?
static bool StepIs(const char *step, size_t n, const char *word) {
  if (strlen(word) != n) return false;
  for (size_t i = 0; i < n; i++)
    if (LowerAscii(step[i]) != LowerAscii(word[i])) return false;
  return true;
}

// A device's name, which Windows opens in every folder, with any extension.
static bool IsDeviceName(const char *step, size_t n) {
  size_t base = 0;
  while (base < n && step[base] != '.') base++;
  while (base > 0 && step[base - 1] == ' ') base--;
  static const char *const kDevices[] = {"con", "prn", "aux", "nul"};
  for (const char *device : kDevices)
    if (StepIs(step, base, device)) return true;
  return base == 4 && (StepIs(step, 3, "com") || StepIs(step, 3, "lpt")) && step[3] >= '1' &&
         step[3] <= '9';
}

// The length of the step that begins at p.
static size_t StepLength(const char *p) {
  size_t n = 0;
  while (p[n] && p[n] != '\\') n++;
  return n;
}

static bool IsForbidden(char c) {
  for (const char *f = "<>:\"|?*"; *f; f++)  // ':' also makes a drive
    if (c == *f) return true;
  return (unsigned char)c < 0x20;
}

bool IsSafeMemberName(const char *name) {
  if (name[0] == 0 || name[0] == '\\') return false;
  for (const char *p = name; *p; p++)
    if (IsForbidden(*p)) return false;
  if (HasDotStep(name)) return false;
  size_t first = StepLength(name);
  static const char *const kOwnFiles[] = {"deinst.lst", "trust.db", "uninstalltnm.exe"};
  for (const char *own : kOwnFiles)
    if (StepIs(name, first, own)) return false;
  for (const char *p = name; *p;) {
    size_t n = StepLength(p);
    if (n > 0 && (p[n - 1] == '.' || p[n - 1] == ' ')) return false;
    if (IsDeviceName(p, n)) return false;
    p += n;
    if (*p) p++;
  }
  return true;
}
