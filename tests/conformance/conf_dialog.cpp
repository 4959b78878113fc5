// Dialogs from templates, their controls, the message queue and the progress
// bar class. Nothing here waits for a person: every dialog ends itself from
// the messages it posts to itself.
#include "conformance.h"
#include "conf_dialog.h"

namespace {

// The messages the dialog saw, in order: I (WM_INITDIALOG), C (the posted
// command), X (WM_CLOSE), and the edit box's notifications: u (EN_UPDATE),
// c (EN_CHANGE), s (EN_SETFOCUS), k (EN_KILLFOCUS).
char g_order[32];
int g_order_len;
HWND g_dialog;
bool g_click_seen;     // WM_COMMAND(BN_CLICKED) from BM_CLICK on the check box
bool g_dispatched;     // a message taken with GetMessageA reached the procedure
int g_other_commands;  // any other WM_COMMAND

void Saw(char c) {
  if (g_order_len < (int)sizeof g_order - 1) g_order[g_order_len++] = c;
  g_order[g_order_len] = 0;
}

// Every control of IDD_CONF_DIALOG as conformance.rc writes it: its id, its
// text, and its size in dialog units, which scale as the dialog's own 200 x
// 100 do (the edit box's client edge takes 2 pixels a side).
struct TemplateControl {
  int id;
  const char *text;
  int w, h, edge;
};
const TemplateControl kTemplate[] = {
    {IDC_CONF_EDIT, "", 120, 13, 2},  {IDC_CONF_LABEL, "Label &text", 120, 10, 0},
    {IDC_CONF_CHECK, "Tick", 60, 10, 0}, {IDC_CONF_WIDE, "", 100, 16, 0},
    {IDC_CONF_NARROW, "", 50, 8, 0},  {IDOK, "OK", 50, 14, 0},
    {IDCANCEL, "Cancel", 50, 14, 0}};

void CheckTemplate(HWND dlg) {
  RECT d;
  CHECK(GetClientRect(dlg, &d));
  for (const TemplateControl &t : kTemplate) {
    HWND c = GetDlgItem(dlg, t.id);
    CHECK_EQ(GetDlgCtrlID(c), t.id);
    char buf[32] = "";
    GetWindowTextA(c, buf, sizeof buf);
    CHECK_STR(buf, t.text);
    RECT r = {0, 0, 0, 0};
    CHECK(GetClientRect(c, &r));
    CHECK_EQ(r.right + 2 * t.edge, (t.w * d.right + 100) / 200);
    long h = r.bottom + 2 * t.edge - (t.h * d.bottom + 50) / 100;
    CHECK(h >= -1 && h <= 1);
  }
}

void CheckControls(HWND dlg, WPARAM focus) {
  CheckTemplate(dlg);
  HWND edit = GetDlgItem(dlg, IDC_CONF_EDIT);
  HWND label = GetDlgItem(dlg, IDC_CONF_LABEL);
  HWND check = GetDlgItem(dlg, IDC_CONF_CHECK);
  CHECK(edit != NULL);
  CHECK(label != NULL);
  CHECK(check != NULL);
  // The first tab stop of the template takes the focus.
  CHECK((HWND)focus == edit);
  CHECK_EQ(GetDlgCtrlID(check), IDC_CONF_CHECK);
  CHECK(GetDlgItem(dlg, 4711) == NULL);

  char buf[64];
  CHECK_EQ(GetWindowTextA(label, buf, sizeof buf), 11);
  CHECK_STR(buf, "Label &text");
  CHECK_EQ(GetWindowTextA(dlg, buf, sizeof buf), 11);
  CHECK_STR(buf, "Conformance");
  CHECK_EQ(GetWindowTextA(edit, buf, sizeof buf), 0);
  CHECK(SetWindowTextA(edit, "c:\\folder"));
  CHECK_EQ(GetWindowTextA(edit, buf, sizeof buf), 9);
  CHECK_STR(buf, "c:\\folder");
  // At most nMaxCount - 1 characters and the terminator.
  CHECK_EQ(GetWindowTextA(edit, buf, 4), 3);
  CHECK_STR(buf, "c:\\");
  CHECK_EQ(GetWindowTextA(edit, buf, 1), 0);
  CHECK_STR(buf, "");
  CHECK_EQ(SendMessageA(edit, WM_GETTEXTLENGTH, 0, 0), 9);
  CHECK_EQ(SendMessageA(label, WM_SETTEXT, 0, (LPARAM) "Other"), TRUE);
  CHECK_EQ(SendMessageA(label, WM_GETTEXT, sizeof buf, (LPARAM)buf), 5);
  CHECK_STR(buf, "Other");

  CHECK_EQ(SendMessageA(check, BM_GETCHECK, 0, 0), BST_UNCHECKED);
  SendMessageA(check, BM_SETCHECK, BST_CHECKED, 0);
  CHECK_EQ(SendMessageA(check, BM_GETCHECK, 0, 0), BST_CHECKED);
  CHECK(IsWindowEnabled(check));
  CHECK_EQ(EnableWindow(check, FALSE), FALSE);  // it was enabled
  CHECK(!IsWindowEnabled(check));
  CHECK(EnableWindow(check, TRUE) != FALSE);    // it was disabled
  CHECK(IsWindowEnabled(check));

  // Client areas scale with the template's dialog units.
  RECT wide, narrow;
  CHECK(GetClientRect(GetDlgItem(dlg, IDC_CONF_WIDE), &wide));
  CHECK(GetClientRect(GetDlgItem(dlg, IDC_CONF_NARROW), &narrow));
  CHECK_EQ(wide.left, 0);
  CHECK_EQ(wide.top, 0);
  CHECK(narrow.right > 0 && narrow.bottom > 0);
  CHECK(wide.right - 2 * narrow.right >= -1 && wide.right - 2 * narrow.right <= 1);
  CHECK(wide.bottom - 2 * narrow.bottom >= -1 && wide.bottom - 2 * narrow.bottom <= 1);
}

INT_PTR CALLBACK DialogProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_INITDIALOG:
      Saw('I');
      g_dialog = dlg;
      CHECK_EQ(lParam, 0x1234);
      CheckControls(dlg, wParam);
      CHECK(PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDC_CONF_POSTED, BN_CLICKED), 0));
      CHECK(PostMessageA(dlg, WM_CLOSE, 0, 0));
      return TRUE;
    case WM_COMMAND:
      if (wParam == IDC_CONF_POSTED) {
        Saw('C');
        // BM_CLICK toggles an automatic check box and tells the dialog.
        HWND check = GetDlgItem(dlg, IDC_CONF_CHECK);
        SendMessageA(check, BM_CLICK, 0, 0);
        CHECK_EQ(SendMessageA(check, BM_GETCHECK, 0, 0), BST_UNCHECKED);
        CHECK(g_click_seen);
      } else if (wParam == MAKEWPARAM(IDC_CONF_CHECK, BN_CLICKED)) {
        CHECK(lParam == (LPARAM)GetDlgItem(dlg, IDC_CONF_CHECK));
        g_click_seen = true;
      } else if (LOWORD(wParam) == IDC_CONF_EDIT) {
        CHECK(lParam == (LPARAM)GetDlgItem(dlg, IDC_CONF_EDIT));
        switch (HIWORD(wParam)) {
          case EN_UPDATE: Saw('u'); break;
          case EN_CHANGE: Saw('c'); break;
          case EN_SETFOCUS: Saw('s'); break;
          case EN_KILLFOCUS: Saw('k'); break;
          default: Saw('?');
        }
      } else {
        g_other_commands++;
      }
      return TRUE;
    case WM_CLOSE:
      Saw('X');
      CHECK(EndDialog(dlg, 7));
      return TRUE;
  }
  return FALSE;
}

// Leaves WM_CLOSE to the system, which turns it into the Cancel command.
INT_PTR CALLBACK CloseProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      PostMessageA(dlg, WM_CLOSE, 0, 0);
      return TRUE;
    case WM_COMMAND:
      if (wParam == IDCANCEL) EndDialog(dlg, 99);
      return TRUE;
  }
  return FALSE;
}

// Ends the dialog while it opens.
INT_PTR CALLBACK QuickProc(HWND dlg, UINT msg, WPARAM, LPARAM) {
  if (msg == WM_INITDIALOG) {
    EndDialog(dlg, 5);
    return TRUE;
  }
  return FALSE;
}

INT_PTR CALLBACK ProgressProc(HWND, UINT msg, WPARAM, LPARAM) {
  if (msg == WM_USER + 6) g_dispatched = true;
  return msg == WM_INITDIALOG;
}

void ModalDialogs() {
  HINSTANCE inst = GetModuleHandleA(NULL);
  INT_PTR r = DialogBoxParamA(inst, MAKEINTRESOURCEA(IDD_CONF_DIALOG), NULL, DialogProc, 0x1234);
  CHECK_EQ(r, 7);
  // SetWindowTextA on the edit box during WM_INITDIALOG notifies at once; the
  // box takes the focus once the dialog opens and loses it to the clicked
  // check box.
  CHECK_STR(g_order, "IucsCkX");
  CHECK_EQ(g_other_commands, 0);
  // The dialog is gone once DialogBoxParamA returns.
  CHECK(!IsWindow(g_dialog));
  char buf[8];
  SetLastError(0);
  CHECK_EQ(GetWindowTextA(g_dialog, buf, sizeof buf), 0);
  CHECK_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);

  CHECK_EQ(DialogBoxParamA(inst, MAKEINTRESOURCEA(IDD_CONF_DIALOG), NULL, CloseProc, 0), 99);
  CHECK_EQ(DialogBoxParamA(inst, MAKEINTRESOURCEA(IDD_CONF_DIALOG), NULL, QuickProc, 0), 5);
  SetLastError(0);
  CHECK_EQ(DialogBoxParamA(inst, MAKEINTRESOURCEA(IDD_CONF_MISSING), NULL, QuickProc, 0), -1);
  CHECK_EQ(GetLastError(), ERROR_RESOURCE_NAME_NOT_FOUND);
}

void EmptyQueue() {
  MSG m;
  int guard = 0;
  while (PeekMessageA(&m, NULL, 0, 0, PM_NOREMOVE) && guard++ < 1000) {
    if (GetMessageA(&m, NULL, 0, 0) <= 0) break;
    TranslateMessage(&m);
    DispatchMessageA(&m);
  }
}

void ProgressWindow() {
  HINSTANCE inst = GetModuleHandleA(NULL);
  InitCommonControls();
  HWND dlg = CreateDialogParamA(inst, MAKEINTRESOURCEA(IDD_CONF_PROGRESS), NULL, ProgressProc, 0);
  CHECK(dlg != NULL);
  if (!dlg) return;
  CHECK(SetWindowTextA(dlg, "Installing files to: C:\\x\\"));
  char buf[64];
  CHECK_EQ(GetWindowTextA(dlg, buf, sizeof buf), 26);
  CHECK_STR(buf, "Installing files to: C:\\x\\");
  HWND holder = GetDlgItem(dlg, IDC_CONF_BAR_HOLDER);
  RECT rc;
  CHECK(GetClientRect(holder, &rc));
  HWND bar = CreateWindowExA(0, PROGRESS_CLASSA, NULL, WS_CHILD | WS_VISIBLE, rc.left, rc.top,
                             rc.right, rc.bottom, holder, (HMENU)0, inst, NULL);
  CHECK(bar != NULL);
  CHECK_EQ(GetDlgCtrlID(bar), 0);
  RECT br;
  CHECK(GetClientRect(bar, &br));
  CHECK_EQ(br.right, rc.right);
  CHECK_EQ(br.bottom, rc.bottom);
  CHECK_EQ(SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 128)), MAKELONG(0, 100));
  CHECK_EQ(SendMessageA(bar, PBM_SETPOS, 50, 0), 0);
  CHECK_EQ(SendMessageA(bar, PBM_SETPOS, 200, 0), 50);
  CHECK_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 128);  // clamped to the range
  CHECK_EQ(SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 64)), MAKELONG(0, 128));
  EmptyQueue();

  // Posted messages wait in the queue until they are taken.
  MSG m;
  CHECK(PostMessageA(dlg, WM_USER + 5, 1, 2));
  CHECK(!PeekMessageA(&m, dlg, WM_USER + 6, WM_USER + 7, PM_REMOVE));
  CHECK(PeekMessageA(&m, dlg, WM_USER + 5, WM_USER + 5, PM_NOREMOVE));
  CHECK(PeekMessageA(&m, dlg, WM_USER + 5, WM_USER + 5, PM_REMOVE));
  CHECK(m.hwnd == dlg);
  CHECK_EQ(m.message, WM_USER + 5);
  CHECK_EQ(m.wParam, 1);
  CHECK_EQ(m.lParam, 2);
  CHECK(!PeekMessageA(&m, dlg, WM_USER + 5, WM_USER + 5, PM_REMOVE));
  CHECK(PostMessageA(dlg, WM_USER + 6, 0, 0));
  CHECK_EQ(GetMessageA(&m, dlg, WM_USER + 6, WM_USER + 6), 1);
  DispatchMessageA(&m);
  CHECK(g_dispatched);
  CHECK(PostMessageA(NULL, WM_QUIT, 3, 0));
  CHECK_EQ(GetMessageA(&m, NULL, WM_QUIT, WM_QUIT), 0);
  CHECK_EQ(m.wParam, 3);

  // Destroying the dialog destroys its children; the handles stay dead.
  CHECK(DestroyWindow(dlg));
  CHECK(!IsWindow(dlg));
  CHECK(!IsWindow(holder));
  CHECK(!IsWindow(bar));
  CHECK(!DestroyWindow(dlg));
  CHECK(GetDlgItem(dlg, IDC_CONF_STATUS) == NULL);
  SetLastError(0);
  CHECK(!SetWindowTextA(bar, "x"));
  CHECK_EQ(GetLastError(), ERROR_INVALID_WINDOW_HANDLE);
}

void WindowClasses() {
  HINSTANCE inst = GetModuleHandleA(NULL);
  SetLastError(0);
  CHECK(CreateWindowExA(0, "NoSuchClassAnywhere", "", WS_POPUP, 0, 0, 10, 10, NULL, NULL, inst,
                        NULL) == NULL);
  // Windows reports ERROR_CANNOT_FIND_WND_CLASS (1407); Wine 1411.
  CHECK(GetLastError() == ERROR_CANNOT_FIND_WND_CLASS || GetLastError() == 1411);
  // Class names compare without regard to case.
  HWND w = CreateWindowExA(0, "sTaTiC", "text", WS_POPUP, 0, 0, 30, 20, NULL, NULL, inst, NULL);
  CHECK(w != NULL);
  char buf[16];
  CHECK_EQ(GetWindowTextA(w, buf, sizeof buf), 4);
  RECT rc;
  CHECK(GetClientRect(w, &rc));
  CHECK_EQ(rc.right, 30);
  CHECK_EQ(rc.bottom, 20);
  CHECK(DestroyWindow(w));
  CHECK(!IsWindow(w));
}

void Run() {
  ModalDialogs();
  ProgressWindow();
  WindowClasses();
}

ConfSection section("dialog", Run);

}  // namespace
