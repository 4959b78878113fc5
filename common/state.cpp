// The process-wide values themselves.
#include "common/state.h"

const char g_setupCaption[] = "TolvaMarked Verifier - Setup";
HINSTANCE g_instance;
HWND g_pageWindow;
char g_installDir[INSTALL_DIR_CAPACITY];
InstallOptions g_installOptions = {1, 1};
int g_wizardEnded;
