// The process heap over malloc: every block is counted, so that tests can see
// leaks, and HeapAlloc can be made to fail like an exhausted heap.
#include <stdlib.h>
#include <string.h>

#include <stdint.h>

#include <algorithm>
#include <vector>

#include "internal.h"
#include "winhost_test.h"

namespace {

// The value Windows 95's first process heap had; any non-null value would do.
HANDLE const kProcessHeap = (HANDLE)(ULONG_PTR)0x00140000;

// The live blocks: an open-addressed set of pointers (linear probing, with
// tombstones), so that counting a block costs no allocation of its own.
struct LiveSet {
  std::vector<void *> slots = std::vector<void *>(1024);
  size_t used = 0;  // live pointers and tombstones
  size_t live = 0;
};
void *const kTombstone = (void *)(uintptr_t)1;

LiveSet &Live() {
  static LiveSet set;
  return set;
}

size_t SlotOf(const LiveSet &set, void *p) {
  return (((uintptr_t)p >> 4) * 0x9E3779B97F4A7C15ull >> 20) & (set.slots.size() - 1);
}

void Insert(void *p);

// Doubles the table (or rebuilds it at its size) without the tombstones.
void Rehash(size_t size) {
  LiveSet &set = Live();
  std::vector<void *> old(size);
  old.swap(set.slots);
  set.used = set.live = 0;
  for (void *q : old)
    if (q && q != kTombstone) Insert(q);
}

void Insert(void *p) {
  LiveSet &set = Live();
  if ((set.used + 1) * 2 > set.slots.size())
    Rehash(set.live * 4 > set.slots.size() ? set.slots.size() * 2 : set.slots.size());
  size_t mask = set.slots.size() - 1;
  size_t i = SlotOf(set, p);
  while (set.slots[i] && set.slots[i] != kTombstone) i = (i + 1) & mask;
  if (!set.slots[i]) set.used++;
  set.slots[i] = p;
  set.live++;
}

bool Erase(void *p) {
  LiveSet &set = Live();
  size_t mask = set.slots.size() - 1;
  for (size_t i = SlotOf(set, p); set.slots[i]; i = (i + 1) & mask) {
    if (set.slots[i] == p) {
      set.slots[i] = kTombstone;
      set.live--;
      return true;
    }
  }
  return false;
}

// Blocks from before a reset are forgotten (not freed: their owners may still
// use them), so each test counts only its own.
void ResetHeap() {
  LiveSet &set = Live();
  std::fill(set.slots.begin(), set.slots.end(), nullptr);
  set.used = set.live = 0;
}
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
  Insert(p);
  return p;
}

// HeapFree fails only for a pointer the heap never gave out; failing it on
// purpose would only leak, so it is counted but never made to fail.
BOOL WINAPI HeapFree(HANDLE hHeap, DWORD, LPVOID lpMem) {
  wh::Count("HeapFree");
  if (!lpMem) return TRUE;
  if (hHeap != kProcessHeap || !Erase(lpMem)) {
    wh::SetError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  free(lpMem);
  return TRUE;
}

namespace winhost {
int LiveHeapBlocks() { return (int)Live().live; }
}  // namespace winhost
