// The three wizard pages: standard dialog procedures for the templates in
// pages.rc. Each page ends with one of the PAGE_* results; the driver decides
// which page comes next.
#ifndef SETUP_PAGES_H
#define SETUP_PAGES_H

#include "platform/win.h"
#include "setup/page_ids.h"

enum {
  PAGE_NEXT = 1,    // Next, or Finish on the summary page; also the Enter key
  PAGE_CANCEL = 2,  // Cancel; also Escape and the close box
  PAGE_BACK = 3     // Back
};

// What the folder page's edit box shows each time the page opens.
extern const char DefaultInstallDir[];

// Folder page (template 101): writes g_installDir on Next when the edit box
// holds a full path (a drive letter, a colon and a backslash, or a network
// path); otherwise it says what is wanted in a box and stays open.
INT_PTR CALLBACK FolderPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Options page (template 103): writes g_installOptions on Next.
INT_PTR CALLBACK OptionsPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Summary page (template 104): shows the choices; Finish starts the installation.
INT_PTR CALLBACK SummaryPageProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

#endif
