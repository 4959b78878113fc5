// The ProgressMeter: moves the extraction's progress bar over the range
// 0..128 as member data is read.
#ifndef ARCHIVE_PROGRESS_H
#define ARCHIVE_PROGRESS_H

#include "platform/win.h"

struct ProgressMeter {
  HWND bar;
  DWORD archiveSize;  // set by the extractor when it finds the end record
  DWORD total;        // bytes reported since the last reset
};
extern ProgressMeter g_progress;

void ResetProgress();
void AdvanceProgress(DWORD byteCount);

#endif
