// A tiny check framework for the platform conformance program, which is built
// in both builds: on the host against our layer, on Windows against Win32
// (run under Wine). The same checks must pass on both.
#ifndef TESTS_CONFORMANCE_CONFORMANCE_H
#define TESTS_CONFORMANCE_CONFORMANCE_H

#include <stdio.h>
#include <string.h>

#include "platform/win.h"

// The folder the checks work in (a Windows path with a trailing backslash),
// created by main before the first section runs.
extern char g_work[MAX_PATH];

void ConfCheck(bool ok, const char *file, int line, const char *what);
void ConfCheckEq(long long got, long long want, const char *file, int line, const char *what);
void ConfCheckStr(const char *got, const char *want, const char *file, int line, const char *what);

#define CHECK(cond) ConfCheck((cond), __FILE__, __LINE__, #cond)
#define CHECK_EQ(got, want) ConfCheckEq((long long)(got), (long long)(want), __FILE__, __LINE__, #got)
#define CHECK_STR(got, want) ConfCheckStr((got), (want), __FILE__, __LINE__, #got)

// g_work + name, into a caller's buffer of MAX_PATH characters.
const char *WorkPath(char *buffer, const char *name);

// Each section registers itself: a static ConfSection x("name", fn).
struct ConfSection {
  ConfSection(const char *name, void (*fn)());
};

#endif
