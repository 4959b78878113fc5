// Placeholder entry: shows one page and one message box through the platform
// layer, so that both builds and the host's agent and transcript can be tried
// before the installer itself exists.
#include "platform/win.h"
#include "setup/placeholder.h"

static HINSTANCE g_instance;

static INT_PTR CALLBACK PlaceholderProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      SetWindowTextA(GetDlgItem(window, IDC_PLACEHOLDER_CMDLINE), GetCommandLineA());
      return TRUE;
    case WM_COMMAND:
      if (wParam == IDOK || wParam == IDCANCEL) EndDialog(window, (INT_PTR)wParam);
      return TRUE;
    case WM_CLOSE:
      EndDialog(window, IDCANCEL);
      return TRUE;
  }
  return FALSE;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  g_instance = instance;
  InitCommonControls();
  INT_PTR result = DialogBoxParamA(g_instance, MAKEINTRESOURCEA(IDD_PLACEHOLDER), NULL,
                                   PlaceholderProc, 0);
  if (result == IDOK)
    MessageBoxA(NULL, "The platform layer works.", "TolvaMarked Verifier - Setup", MB_OK);
  return 0;
}
