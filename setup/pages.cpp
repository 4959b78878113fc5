// The wizard pages. Each page stores its window in g_pageWindow when it
// opens, fills its controls from the process-wide choices, and ends with
// PAGE_NEXT, PAGE_CANCEL or PAGE_BACK. Only Next writes a choice back: the
// folder page's InstallDir, the options page's InstallOptions.
#include "setup/pages.h"


#include "common/state.h"
#include "common/text.h"

const char DefaultInstallDir[] = "c:\\Program Files\\Kelvorind\\TNM Verifier\\";

static const char kFullPathWanted[] =
    "Please type the folder's full path: a drive letter, a colon and a backslash (c:\\...), or "
    "\\\\server\\share.";

static const char kDesktopLine[] = "*  Place a shortcut icon on the Desktop.";
static const char kStartMenuLine[] = "*  Add a menu item to the Start Menu.";

// The edit box is read with this limit: at most 259 characters, leaving room
// in g_installDir for the backslash and the terminator.
enum { kFolderReadLimit = 260 };

static void SetControlText(HWND page, int id, const char *text) {
  SetWindowTextA(GetDlgItem(page, id), text);
}

// Is the text a full path: a drive letter, a colon and a backslash, or a
// network path (two backslashes, a server, a backslash, a share)? Anything
// else would be taken from the current folder or the current drive, which
// is not where the user meant, and the log would hold a path that the
// uninstaller cannot find again.
static int IsFullPath(const char *text) {
  char letter = (char)(text[0] | 0x20);  // lower case
  if (letter >= 'a' && letter <= 'z' && text[1] == ':' && text[2] == '\\') return 1;
  if (text[0] != '\\' || text[1] != '\\' || !text[2] || text[2] == '\\') return 0;
  const char *p = text + 3;
  while (*p && *p != '\\') p++;  // past the server's name
  return *p && p[1] && p[1] != '\\';
}

// Reads the edit box into g_installDir and, when it holds a full path, makes
// it end in a backslash. 0, or -1 when the text is no full path (the page
// then stays, and g_installDir counts only once a page has ended with Next).
static int StoreInstallDir(HWND page) {
  int length = GetWindowTextA(GetDlgItem(page, IDC_FOLDER_EDIT), g_installDir, kFolderReadLimit);
  // A failed read counts as an empty text; the length is kept inside the limit
  // whatever the call reports.
  if (length < 0) length = 0;
  if (length > kFolderReadLimit - 1) length = kFolderReadLimit - 1;
  g_installDir[length] = '\0';
  if (!IsFullPath(g_installDir)) return -1;
  EndWithBackslash(g_installDir, INSTALL_DIR_CAPACITY);
  return 0;
}

INT_PTR CALLBACK FolderPageProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      g_pageWindow = window;
      // Every visit starts from the default folder, also after Back.
      SetControlText(window, IDC_FOLDER_EDIT, DefaultInstallDir);
      EnableWindow(GetDlgItem(window, IDC_PAGE_BACK), FALSE);
      return TRUE;
    case WM_COMMAND:
      // The whole parameter: only a button click (notification 0) matches.
      if (wParam == IDC_PAGE_CANCEL) {
        EndDialog(g_pageWindow, PAGE_CANCEL);
      } else if (wParam == IDC_PAGE_NEXT) {
        if (StoreInstallDir(g_pageWindow) == 0) {
          EndDialog(g_pageWindow, PAGE_NEXT);
        } else {
          // The page stays, with the text as typed, so that it can be put right.
          MessageBoxA(g_pageWindow, kFullPathWanted, g_setupCaption, MB_OK | MB_ICONERROR);
        }
      }
      return TRUE;
    case WM_CLOSE:
      EndDialog(g_pageWindow, PAGE_CANCEL);
      return TRUE;
  }
  return FALSE;
}

static int IsChecked(HWND page, int id) {
  return SendMessageA(GetDlgItem(page, id), BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0;
}

static void SetChecked(HWND page, int id, int flag) {
  SendMessageA(GetDlgItem(page, id), BM_SETCHECK, flag ? BST_CHECKED : BST_UNCHECKED, 0);
}

INT_PTR CALLBACK OptionsPageProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      g_pageWindow = window;
      SetControlText(window, IDC_FOLDER_SHOWN, g_installDir);
      SetChecked(window, IDC_OPTION_FIRST, g_installOptions.desktopShortcut);
      SetChecked(window, IDC_OPTION_SECOND, g_installOptions.startMenuItem);
      return TRUE;
    case WM_COMMAND:
      // Clicks on the check boxes arrive here too and match nothing.
      if (wParam == IDC_PAGE_NEXT) {
        g_installOptions.desktopShortcut = IsChecked(g_pageWindow, IDC_OPTION_FIRST);
        g_installOptions.startMenuItem = IsChecked(g_pageWindow, IDC_OPTION_SECOND);
        EndDialog(g_pageWindow, PAGE_NEXT);
      } else if (wParam == IDC_PAGE_CANCEL || wParam == IDC_PAGE_BACK) {
        // The boxes' states of this visit are dropped.
        EndDialog(g_pageWindow, (INT_PTR)wParam);
      }
      return TRUE;
    case WM_CLOSE:
      EndDialog(g_pageWindow, PAGE_CANCEL);
      return TRUE;
  }
  return FALSE;
}

INT_PTR CALLBACK SummaryPageProc(HWND window, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: {
      g_pageWindow = window;
      SetControlText(window, IDC_FOLDER_SHOWN, g_installDir);
      SetControlText(window, IDC_OPTION_FIRST, "");
      SetControlText(window, IDC_OPTION_SECOND, "");
      // The chosen options fill the two lines from the top.
      int line = IDC_OPTION_FIRST;
      if (g_installOptions.desktopShortcut) {
        SetControlText(window, line, kDesktopLine);
        line = IDC_OPTION_SECOND;
      }
      if (g_installOptions.startMenuItem) SetControlText(window, line, kStartMenuLine);
      return TRUE;
    }
    case WM_COMMAND:
      // Only the three buttons send commands here: their ids are the results.
      EndDialog(g_pageWindow, (INT_PTR)wParam);
      return TRUE;
    case WM_CLOSE:
      EndDialog(g_pageWindow, PAGE_CANCEL);
      return TRUE;
  }
  return FALSE;
}
