// The process-wide values: written by the driver and the wizard pages, read
// by the layers below them (the extractor's window, the folder errors' owner).
#ifndef COMMON_STATE_H
#define COMMON_STATE_H

#include "platform/win.h"

enum { INSTALL_DIR_CAPACITY = 261 };

struct InstallOptions {
  int desktopShortcut;
  int startMenuItem;
};

extern const char g_setupCaption[];              // "TolvaMarked Verifier - Setup"
extern HINSTANCE g_instance;                      // every dialog and window is made with it
extern HWND g_pageWindow;                         // the wizard page shown last
extern char g_installDir[INSTALL_DIR_CAPACITY];   // always ends in a backslash once chosen
extern InstallOptions g_installOptions;
// Set once the wizard's last page has closed: from then on no page can own a
// message box.
extern int g_wizardEnded;

#endif
