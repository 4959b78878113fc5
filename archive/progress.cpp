// The progress bar: archive bytes read, as a share of the archive, over 0..128.
#include "archive/progress.h"

ProgressMeter g_progress;

void ResetProgress() {
  g_progress.total = 0;
  SendMessageA(g_progress.bar, PBM_SETRANGE, 0, (LPARAM)0x00800000);  // 0..128
}

void AdvanceProgress(DWORD byteCount) {
  g_progress.total += byteCount;
  // Widened so that archives of 32 MiB and more move the bar evenly too; for
  // smaller ones this is exactly (total * 128) / size in 32 bits.
  DWORD position = g_progress.archiveSize
                       ? (DWORD)((unsigned long long)g_progress.total * 128u / g_progress.archiveSize)
                       : 0;
  SendMessageA(g_progress.bar, PBM_SETPOS, (WPARAM)(WORD)position, 0);
}
