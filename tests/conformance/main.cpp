// Runs every registered section in the folder named by the first argument
// (default C:\winhost-conformance\), prints each failed check and the totals.
#include <stdlib.h>

#include "conformance.h"

char g_work[MAX_PATH];

namespace {
struct Entry {
  const char *name;
  void (*fn)();
};
Entry g_sections[64];
int g_section_count;
int g_passed, g_failed;
const char *g_current = "";
}  // namespace

ConfSection::ConfSection(const char *name, void (*fn)()) {
  if (g_section_count < 64) g_sections[g_section_count++] = {name, fn};
}

void ConfCheck(bool ok, const char *file, int line, const char *what) {
  if (ok) {
    g_passed++;
    return;
  }
  g_failed++;
  printf("FAIL [%s] %s:%d: %s\n", g_current, file, line, what);
}

void ConfCheckEq(long long got, long long want, const char *file, int line, const char *what) {
  if (got == want) {
    g_passed++;
    return;
  }
  g_failed++;
  printf("FAIL [%s] %s:%d: %s is %lld, expected %lld\n", g_current, file, line, what, got, want);
}

void ConfCheckStr(const char *got, const char *want, const char *file, int line,
                  const char *what) {
  if (got && want && strcmp(got, want) == 0) {
    g_passed++;
    return;
  }
  g_failed++;
  printf("FAIL [%s] %s:%d: %s is \"%s\", expected \"%s\"\n", g_current, file, line, what,
         got ? got : "(null)", want ? want : "(null)");
}

const char *WorkPath(char *buffer, const char *name) {
  snprintf(buffer, MAX_PATH, "%s%s", g_work, name);
  return buffer;
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR cmdline, int) {
  // The argument is the work folder; it must not exist yet or be empty.
  const char *arg = cmdline && *cmdline ? cmdline : "C:\\winhost-conformance";
  snprintf(g_work, sizeof g_work, "%s", arg);
  size_t n = strlen(g_work);
  if (n && g_work[n - 1] != '\\' && n + 1 < sizeof g_work) strcat(g_work, "\\");
  CreateDirectoryA(arg, NULL);
  setvbuf(stdout, NULL, _IONBF, 0);
  for (int i = 0; i < g_section_count; i++) {
    g_current = g_sections[i].name;
    int before = g_failed;
    g_sections[i].fn();
    printf("%-12s %s\n", g_current, g_failed == before ? "ok" : "FAILED");
  }
  printf("conformance: %d passed, %d failed\n", g_passed, g_failed);
  return g_failed ? 1 : 0;
}
