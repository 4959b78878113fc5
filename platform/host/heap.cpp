// The process heap over malloc: every block is counted, so that tests can see
// leaks, and HeapAlloc can be made to fail like an exhausted heap.
#include <stdlib.h>
#include <string.h>

#include <unordered_set>

#include "internal.h"
#include "winhost_test.h"

namespace {

// The value Windows 95's first process heap had; any non-null value would do.
HANDLE const kProcessHeap = (HANDLE)(ULONG_PTR)0x00140000;

std::unordered_set<void *> &Live() {
  static std::unordered_set<void *> live;
  return live;
}

// Blocks from before a reset are forgotten (not freed: their owners may still
// use them), so each test counts only its own.
void ResetHeap() { Live().clear(); }
const int registered = (wh::OnReset(ResetHeap), 0);

}  // namespace

HANDLE WINAPI GetProcessHeap(void) {
  (void)registered;
  wh::Count("GetProcessHeap");
  return kProcessHeap;
}

LPVOID WINAPI HeapAlloc(HANDLE hHeap, DWORD dwFlags, SIZE_T dwBytes) {
  if (wh::Fail("HeapAlloc", ERROR_NOT_ENOUGH_MEMORY)) return nullptr;
  if (hHeap != kProcessHeap) {
    wh::SetError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  size_t n = dwBytes ? dwBytes : 1;  // a block of 0 bytes is still a distinct block
  void *p = (dwFlags & HEAP_ZERO_MEMORY) ? calloc(1, n) : malloc(n);
  if (!p) {
    wh::SetError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  Live().insert(p);
  return p;
}

// HeapFree fails only for a pointer the heap never gave out; failing it on
// purpose would only leak, so it is counted but never made to fail.
BOOL WINAPI HeapFree(HANDLE hHeap, DWORD, LPVOID lpMem) {
  wh::Count("HeapFree");
  if (!lpMem) return TRUE;
  if (hHeap != kProcessHeap || !Live().erase(lpMem)) {
    wh::SetError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  free(lpMem);
  return TRUE;
}

namespace winhost {
int LiveHeapBlocks() { return (int)Live().size(); }
}  // namespace winhost
