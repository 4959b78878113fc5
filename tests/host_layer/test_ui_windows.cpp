// Windows, controls, the message queue, dialogs from templates and message
// boxes, driven by a script where a person would act.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/host/winhost.h"
#include "platform/host/winhost_test.h"
#include "tests/host_layer/test_dialogs.h"
#include "tests/support/sandbox.h"
#include "tests/support/transcript.h"

namespace {

void Fresh(const char *name, const char *script = nullptr) {
  winhost::Reset(SandboxDir(name).c_str());
  // A script with no steps keeps the terminal quiet; a page that waits for
  // a step then ends the test program, as it should.
  winhost::SetScript(script ? script : "# no steps\n");
}

std::vector<std::string> Events(const char *kind) { return EventsOf(winhost::TranscriptLines(), kind); }

// A dialog procedure that records what it sees and does what the test sets.
struct Seen {
  std::vector<std::string> log;
  HWND dialog = nullptr;
  WPARAM focus = 0;
  LPARAM param = 0;
  INT_PTR end_on_close = -100;  // EndDialog value for WM_CLOSE; -100: leave it
};
Seen *g_seen;

INT_PTR CALLBACK Recorder(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
  Seen &s = *g_seen;
  switch (msg) {
    case WM_INITDIALOG:
      s.dialog = dlg;
      s.focus = wParam;
      s.param = lParam;
      s.log.push_back("init");
      return TRUE;
    case WM_COMMAND:
      s.log.push_back("command " + std::to_string(LOWORD(wParam)) + " " + std::to_string(HIWORD(wParam)));
      if (HIWORD(wParam) == BN_CLICKED && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL ||
                                           LOWORD(wParam) == IDC_TEST_BACK))
        EndDialog(dlg, LOWORD(wParam));
      return TRUE;
    case WM_CLOSE:
      s.log.push_back("close");
      if (s.end_on_close == -100) return FALSE;
      EndDialog(dlg, s.end_on_close);
      return TRUE;
    case WM_DESTROY:
      s.log.push_back("destroy");
      return FALSE;
  }
  return FALSE;
}

INT_PTR Show(int id, Seen *seen, LPARAM param = 0) {
  g_seen = seen;
  return DialogBoxParamA(nullptr, MAKEINTRESOURCEA(id), nullptr, Recorder, param);
}

TEST(UiWindows, ControlsOfAModalPage) {
  Fresh("ui-controls", "close\n");
  struct Check {
    static INT_PTR CALLBACK Proc(HWND dlg, UINT msg, WPARAM, LPARAM) {
      if (msg != WM_INITDIALOG) return msg == WM_CLOSE ? (EndDialog(dlg, 9), TRUE) : FALSE;
      HWND edit = GetDlgItem(dlg, IDC_TEST_EDIT);
      EXPECT_NE(edit, nullptr);
      EXPECT_EQ(GetDlgCtrlID(edit), IDC_TEST_EDIT);
      SetLastError(0);
      EXPECT_EQ(GetDlgItem(dlg, 4711), nullptr);
      EXPECT_EQ(GetLastError(), (DWORD)ERROR_CONTROL_ID_NOT_FOUND);
      EXPECT_TRUE(SetWindowTextA(edit, "c:\\Program Files\\X\\"));
      char buf[64];
      EXPECT_EQ(GetWindowTextA(edit, buf, sizeof buf), 19);
      EXPECT_STREQ(buf, "c:\\Program Files\\X\\");
      EXPECT_EQ(GetWindowTextA(edit, buf, 5), 4);
      EXPECT_STREQ(buf, "c:\\P");
      EXPECT_EQ(GetWindowTextA(dlg, buf, sizeof buf), 11);
      EXPECT_STREQ(buf, "Test Setup ");
      HWND back = GetDlgItem(dlg, IDC_TEST_BACK);
      EXPECT_FALSE(EnableWindow(back, FALSE));
      EXPECT_FALSE(IsWindowEnabled(back));
      EXPECT_TRUE(EnableWindow(back, FALSE));  // it was disabled already
      // Client areas in pixels: dialog units at 6 x 13 base units.
      RECT rc;
      EXPECT_TRUE(GetClientRect(dlg, &rc));
      EXPECT_EQ(rc.right, 461);   // 307 * 6 / 4, rounded
      EXPECT_EQ(rc.bottom, 319);  // 196 * 13 / 8, rounded
      EXPECT_TRUE(GetClientRect(GetDlgItem(dlg, IDC_TEST_LABEL), &rc));
      EXPECT_EQ(rc.right, 285);
      EXPECT_EQ(rc.bottom, 16);
      EXPECT_TRUE(GetClientRect(edit, &rc));  // the 3D client edge takes 2 pixels a side
      EXPECT_EQ(rc.right, 285 - 4);
      EXPECT_EQ(rc.bottom, 21 - 4);
      return TRUE;
    }
  };
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_TEST_FOLDER), nullptr, Check::Proc, 0), 9);
  EXPECT_EQ(winhost::LiveWindows(), 0);
  // The page event shows the controls after WM_INITDIALOG.
  std::vector<std::string> pages = Events("page");
  ASSERT_EQ(pages.size(), 1u);
  EXPECT_NE(pages[0].find("\"template\":201,\"caption\":\"Test Setup \""), std::string::npos);
  EXPECT_NE(pages[0].find("{\"id\":1000,\"class\":\"Edit\",\"text\":\"c:\\\\Program Files\\\\X\\\\\","
                          "\"style\":1350631552,\"enabled\":true,\"checked\":false}"),
            std::string::npos);
  EXPECT_NE(pages[0].find("{\"id\":3,\"class\":\"Button\",\"text\":\"< &Back\",\"style\":1476460544,"
                          "\"enabled\":false"),
            std::string::npos);
  // Texts set while the page was opening belong to the page event, not to text events.
  EXPECT_TRUE(Events("text").empty());
  ASSERT_EQ(Events("closed").size(), 1u);
  EXPECT_EQ(Events("closed")[0], "{\"event\":\"closed\",\"template\":201,\"result\":9}");
}

TEST(UiWindows, InitDialogThenPostedMessagesThenTheAgent) {
  Fresh("ui-order", "click 1\n");
  struct Poster {
    static INT_PTR CALLBACK Proc(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
      INT_PTR r = Recorder(dlg, msg, wParam, lParam);
      if (msg == WM_INITDIALOG) {
        PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(77, 0), 0);
        PostMessageA(dlg, WM_CLOSE, 0, 0);
      }
      return r;
    }
  };
  Seen seen;
  g_seen = &seen;
  // WM_CLOSE is left unhandled: DefDlgProc posts IDCANCEL, which ends the page
  // before the agent's step is needed.
  INT_PTR r = DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_TEST_FOLDER), nullptr, Poster::Proc, 0x55);
  EXPECT_EQ(r, IDCANCEL);
  EXPECT_EQ(seen.param, 0x55);
  EXPECT_NE(seen.focus, 0u);  // the default button, the template's first tab stop
  std::vector<std::string> want = {"init", "command 77 0", "close", "command 2 0", "destroy"};
  EXPECT_EQ(seen.log, want);
  EXPECT_TRUE(Events("action").empty());  // the script's click was never needed
}

TEST(UiWindows, HandlesDieWithThePage) {
  Fresh("ui-focus", "key enter\n");
  Seen seen;
  EXPECT_EQ(Show(IDD_TEST_OPTIONS, &seen), IDOK);
  EXPECT_FALSE(IsWindow((HWND)seen.focus));
  EXPECT_FALSE(IsWindow(seen.dialog));
  SetLastError(0);
  EXPECT_FALSE(SetWindowTextA(seen.dialog, "x"));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_FALSE(EndDialog(seen.dialog, 1));
}

TEST(UiWindows, CheckBoxesAndBmClick) {
  Fresh("ui-check", "close\n");
  struct Proc {
    static INT_PTR CALLBACK Run(HWND dlg, UINT msg, WPARAM wParam, LPARAM lParam) {
      INT_PTR r = Recorder(dlg, msg, wParam, lParam);
      if (msg == WM_INITDIALOG) {
        HWND desk = GetDlgItem(dlg, IDC_TEST_DESKTOP);
        EXPECT_EQ(SendMessageA(desk, BM_GETCHECK, 0, 0), BST_UNCHECKED);
        SendMessageA(desk, BM_SETCHECK, BST_CHECKED, 0);
        EXPECT_EQ(SendMessageA(desk, BM_GETCHECK, 0, 0), BST_CHECKED);
        SendMessageA(desk, BM_CLICK, 0, 0);  // toggles and reports BN_CLICKED
        EXPECT_EQ(SendMessageA(desk, BM_GETCHECK, 0, 0), BST_UNCHECKED);
        HWND manual = GetDlgItem(dlg, IDC_TEST_MANUAL);
        SendMessageA(manual, BM_CLICK, 0, 0);  // a plain check box leaves it to the program
        EXPECT_EQ(SendMessageA(manual, BM_GETCHECK, 0, 0), BST_UNCHECKED);
        HWND start = GetDlgItem(dlg, IDC_TEST_STARTMENU);  // WS_DISABLED in the template
        EXPECT_FALSE(IsWindowEnabled(start));
        SendMessageA(start, BM_CLICK, 0, 0);
        EXPECT_EQ(SendMessageA(start, BM_GETCHECK, 0, 0), BST_UNCHECKED);
        // A push button has no check state.
        SendMessageA(GetDlgItem(dlg, IDOK), BM_SETCHECK, BST_CHECKED, 0);
        EXPECT_EQ(SendMessageA(GetDlgItem(dlg, IDOK), BM_GETCHECK, 0, 0), BST_UNCHECKED);
        EXPECT_EQ(SendMessageA(dlg, DM_GETDEFID, 0, 0), MAKELONG(IDOK, DC_HASDEFID));
      }
      return r;
    }
  };
  Seen seen;
  seen.end_on_close = 4;
  g_seen = &seen;
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_TEST_OPTIONS), nullptr, Proc::Run, 0), 4);
  std::vector<std::string> want = {"init", "command 1006 0", "command 1008 0", "close", "destroy"};
  EXPECT_EQ(seen.log, want);
}

TEST(UiWindows, MissingTemplatesAndBadOwners) {
  Fresh("ui-missing");
  Seen seen;
  g_seen = &seen;
  SetLastError(0);
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(4242), nullptr, Recorder, 0), -1);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_RESOURCE_NAME_NOT_FOUND);
  EXPECT_EQ(CreateDialogParamA(nullptr, "NOSUCH", nullptr, Recorder, 0), nullptr);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_RESOURCE_NAME_NOT_FOUND);
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_TEST_PLAIN), (HWND)0x1234, Recorder, 0), -1);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
  EXPECT_TRUE(seen.log.empty());
  // A message box whose owner is gone is not shown.
  HWND w = CreateWindowExA(0, "Static", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(w, nullptr);
  EXPECT_TRUE(DestroyWindow(w));
  SetLastError(0);
  EXPECT_EQ(MessageBoxA(w, "text", "Error", MB_OK), 0);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
  ASSERT_EQ(Events("message").size(), 1u);
  EXPECT_NE(Events("message")[0].find("\"owner\":true"), std::string::npos);
  EXPECT_NE(Events("message")[0].find("\"answer\":0,\"error\":1400"), std::string::npos);
}

TEST(UiWindows, ProgressBarClassAndMessages) {
  Fresh("ui-progress");
  SetLastError(0);
  EXPECT_EQ(CreateWindowExA(0, PROGRESS_CLASSA, nullptr, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                            nullptr, nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_CANNOT_FIND_WND_CLASS);
  InitCommonControls();
  HWND bar = CreateWindowExA(0, "MSCTLS_Progress32", nullptr, WS_POPUP, 0, 0, 200, 12, nullptr,
                             nullptr, nullptr, nullptr);
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 0);
  EXPECT_EQ(SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 128)), MAKELONG(0, 100));
  EXPECT_EQ(SendMessageA(bar, PBM_SETPOS, 64, 0), 0);
  EXPECT_EQ(SendMessageA(bar, PBM_SETPOS, 500, 0), 64);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 128);
  EXPECT_EQ(SendMessageA(bar, PBM_DELTAPOS, (WPARAM)-28, 0), 128);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 100);
  EXPECT_EQ(SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(10, 50)), MAKELONG(0, 128));
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 50);
  RECT rc;
  EXPECT_TRUE(GetClientRect(bar, &rc));
  EXPECT_EQ(rc.right, 200);
  EXPECT_EQ(rc.bottom, 12);
  // A child needs a parent; an unknown parent is refused.
  EXPECT_EQ(CreateWindowExA(0, "Button", "", WS_CHILD, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_TLW_WITH_WSCHILD);
  EXPECT_EQ(CreateWindowExA(0, "Button", "", WS_CHILD, 0, 0, 1, 1, (HWND)0x99, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
  HWND kid = CreateWindowExA(0, "Edit", "x", WS_CHILD, 0, 0, 1, 1, bar, (HMENU)42, nullptr, nullptr);
  EXPECT_EQ(GetDlgItem(bar, 42), kid);
  EXPECT_EQ(winhost::LiveWindows(), 2);
  EXPECT_TRUE(DestroyWindow(bar));
  EXPECT_FALSE(IsWindow(kid));
  EXPECT_EQ(winhost::LiveWindows(), 0);
  SetLastError(0);
  EXPECT_FALSE(DestroyWindow(bar));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_WINDOW_HANDLE);
  // Reset forgets the common controls.
  Fresh("ui-progress");
  EXPECT_EQ(CreateWindowExA(0, PROGRESS_CLASSA, nullptr, WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr,
                            nullptr),
            nullptr);
}

INT_PTR CALLBACK Quiet(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

TEST(UiWindows, MessageQueue) {
  Fresh("ui-queue");
  HWND dlg = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(IDD_TEST_PLAIN), nullptr, Quiet, 0);
  ASSERT_NE(dlg, nullptr);
  HWND ok = GetDlgItem(dlg, IDOK);
  MSG m;
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
  SetLastError(0);
  EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), -1);  // an empty queue: the host cannot wait
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(PostMessageA(dlg, WM_USER + 1, 1, 0));
  EXPECT_TRUE(PostMessageA(ok, WM_USER + 2, 2, 0));
  EXPECT_TRUE(PostMessageA(nullptr, WM_USER + 3, 3, 0));
  EXPECT_FALSE(PostMessageA((HWND)0x4321, WM_USER, 0, 0));
  // Filters: a window takes its children's messages; -1 only thread messages.
  EXPECT_TRUE(PeekMessageA(&m, (HWND)(LONG_PTR)-1, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(m.message, (UINT)WM_USER + 3);
  EXPECT_TRUE(PeekMessageA(&m, dlg, WM_USER + 2, WM_USER + 9, PM_NOREMOVE));
  EXPECT_EQ(m.hwnd, ok);
  EXPECT_FALSE(PeekMessageA(&m, ok, WM_USER + 1, WM_USER + 1, PM_NOREMOVE));
  EXPECT_TRUE(PeekMessageA(&m, nullptr, 0, 0, PM_REMOVE));
  EXPECT_EQ(m.message, (UINT)WM_USER + 1);
  EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), 1);
  EXPECT_EQ(m.wParam, 2u);
  EXPECT_FALSE(TranslateMessage(&m));
  DispatchMessageA(&m);
  PostMessageA(nullptr, WM_QUIT, 5, 0);
  EXPECT_EQ(GetMessageA(&m, nullptr, WM_USER + 3, WM_USER + 3), 1);
  EXPECT_EQ(GetMessageA(&m, nullptr, 0, 0), 0);
  EXPECT_EQ(m.wParam, 5u);
  // What is posted to a window that goes is dropped with it.
  PostMessageA(ok, WM_USER, 0, 0);
  EXPECT_TRUE(DestroyWindow(dlg));
  EXPECT_FALSE(PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE));
  EXPECT_EQ(winhost::CallCount("PeekMessageA"), 6u);
}

TEST(UiWindows, ModelessDialogTranscript) {
  Fresh("ui-modeless");
  InitCommonControls();
  HWND dlg = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(IDD_TEST_PROGRESS), nullptr, Quiet, 0);
  ASSERT_NE(dlg, nullptr);
  EXPECT_TRUE(SetWindowTextA(dlg, "Installing files to: C:\\X\\"));
  EXPECT_TRUE(SetWindowTextA(GetDlgItem(dlg, IDC_TEST_STATUS), "Extracting: a.txt"));
  EXPECT_TRUE(DestroyWindow(dlg));
  std::vector<std::string> w = Events("window");
  ASSERT_EQ(w.size(), 1u);
  EXPECT_NE(w[0].find("\"template\":203,\"caption\":\"Unzipping....\",\"style\":2429028544,\"visible\":true"),
            std::string::npos);
  std::vector<std::string> t = Events("text");
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[0], "{\"event\":\"text\",\"template\":203,\"caption\":true,\"text\":\"Installing files to: C:\\\\X\\\\\"}");
  EXPECT_EQ(t[1], "{\"event\":\"text\",\"template\":203,\"id\":1102,\"text\":\"Extracting: a.txt\"}");
  EXPECT_EQ(Events("closed").back(), "{\"event\":\"closed\",\"template\":203,\"result\":null}");
}

TEST(UiWindows, FaultsFailTheCalls) {
  Fresh("ui-faults");
  winhost::SetFaults("DialogBoxParamA#1,CreateDialogParamA#1,CreateWindowExA#1,GetDlgItem#1,MessageBoxA#1");
  Seen seen;
  EXPECT_EQ(Show(IDD_TEST_PLAIN, &seen), -1);
  EXPECT_TRUE(seen.log.empty());
  EXPECT_EQ(CreateDialogParamA(nullptr, MAKEINTRESOURCEA(IDD_TEST_PLAIN), nullptr, Quiet, 0), nullptr);
  EXPECT_EQ(CreateWindowExA(0, "Static", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr), nullptr);
  HWND dlg = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(IDD_TEST_PLAIN), nullptr, Quiet, 0);
  ASSERT_NE(dlg, nullptr);
  EXPECT_EQ(GetDlgItem(dlg, IDOK), nullptr);
  EXPECT_NE(GetDlgItem(dlg, IDOK), nullptr);
  EXPECT_EQ(MessageBoxA(nullptr, "x", "y", MB_OK), 0);
  EXPECT_TRUE(Events("message").empty());
  DestroyWindow(dlg);
}

}  // namespace
