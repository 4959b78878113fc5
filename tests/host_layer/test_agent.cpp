// The scripted agent: each step against the pages and boxes of the test
// templates, auto mode, the transcript it writes and the ways a script that
// does not fit ends the program (status 3).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/host/winhost.h"
#include "platform/host/winhost_test.h"
#include "tests/host_layer/test_dialogs.h"
#include "tests/support/sandbox.h"
#include "tests/support/transcript.h"

namespace {

void Fresh(const char *name, const char *script) {
  winhost::Reset(SandboxDir(name).c_str());
  winhost::SetScript(script);
}

std::vector<std::string> Lines(const char *kind) { return EventsOf(winhost::TranscriptLines(), kind); }

// What a page procedure saw when it ended: the edit box, the check boxes and
// the commands, like the wizard pages read them.
struct PageResult {
  std::string edit;
  int desktop = -1, startmenu = -1;
  std::vector<std::string> commands;
};
PageResult g_page;

INT_PTR CALLBACK PageProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      if (HWND e = GetDlgItem(dlg, IDC_TEST_EDIT)) SetWindowTextA(e, "c:\\Default\\");
      if (HWND b = GetDlgItem(dlg, IDC_TEST_BACK)) EnableWindow(b, FALSE);
      return TRUE;
    case WM_COMMAND: {
      g_page.commands.push_back(std::to_string(LOWORD(wParam)) + "/" + std::to_string(HIWORD(wParam)));
      if (wParam != IDOK && wParam != IDCANCEL && wParam != IDC_TEST_BACK) return TRUE;
      char buf[261] = "";
      if (HWND e = GetDlgItem(dlg, IDC_TEST_EDIT)) GetWindowTextA(e, buf, sizeof buf);
      g_page.edit = buf;
      if (HWND c = GetDlgItem(dlg, IDC_TEST_DESKTOP)) g_page.desktop = (int)SendMessageA(c, BM_GETCHECK, 0, 0);
      if (HWND c = GetDlgItem(dlg, IDC_TEST_STARTMENU)) g_page.startmenu = (int)SendMessageA(c, BM_GETCHECK, 0, 0);
      EndDialog(dlg, (INT_PTR)wParam);
      return TRUE;
    }
    case WM_CLOSE:
      EndDialog(dlg, 2);
      return TRUE;
  }
  return FALSE;
}

INT_PTR Page(int id) {
  g_page = PageResult();
  return DialogBoxParamA(nullptr, MAKEINTRESOURCEA(id), nullptr, PageProc, 0);
}

TEST(AgentScript, StepsOnPages) {
  Fresh("agent-steps",
        "# the folder page\n"
        "page 201\n"
        "set 1000 D:\\Tools # and all of this\n"
        "click 3\n"  // disabled: nothing happens
        "click 1\n"
        "\n"
        "page 202\n"
        "check 1006 1\n"
        "check 1007 1\n"  // disabled in the template
        "check 1006 1\n"  // already ticked
        "key enter\n"
        "page 201\n"
        "key escape\n");
  EXPECT_EQ(Page(IDD_TEST_FOLDER), IDOK);
  EXPECT_EQ(g_page.edit, "D:\\Tools # and all of this");
  // Typing notifies the page; the disabled Back button sent nothing.
  std::vector<std::string> want = {"1000/1024", "1000/768",  // SetWindowTextA while opening
                                   "1000/256",  "1000/1024", "1000/768", "1000/512", "1/0"};
  EXPECT_EQ(g_page.commands, want);
  EXPECT_EQ(Page(IDD_TEST_OPTIONS), IDOK);
  EXPECT_EQ(g_page.desktop, BST_CHECKED);
  EXPECT_EQ(g_page.startmenu, BST_UNCHECKED);
  EXPECT_EQ(Page(IDD_TEST_FOLDER), IDCANCEL);
  EXPECT_EQ(g_page.edit, "c:\\Default\\");
  // A dialog without a default button takes Enter as IDOK.
  winhost::SetScript("key enter\n");
  EXPECT_EQ(Page(IDD_TEST_PLAIN), IDOK);

  std::vector<std::string> actions = Lines("action");
  ASSERT_GE(actions.size(), 11u);
  EXPECT_EQ(actions[0], "{\"event\":\"action\",\"template\":201,\"step\":\"page 201\"}");
  EXPECT_EQ(actions[1], "{\"event\":\"action\",\"template\":201,\"step\":\"set 1000 D:\\\\Tools # and all of this\"}");
  EXPECT_EQ(actions[2], "{\"event\":\"action\",\"template\":201,\"step\":\"click 3\",\"ignored\":\"disabled\"}");
  EXPECT_EQ(actions[6], "{\"event\":\"action\",\"template\":202,\"step\":\"check 1007 1\",\"ignored\":\"disabled\"}");
  EXPECT_EQ(actions[7], "{\"event\":\"action\",\"template\":202,\"step\":\"check 1006 1\",\"ignored\":\"unchanged\"}");
  std::vector<std::string> closed = Lines("closed");
  ASSERT_EQ(closed.size(), 4u);
  EXPECT_EQ(closed[2], "{\"event\":\"closed\",\"template\":201,\"result\":2}");
}

TEST(AgentScript, CloseLeftToTheSystemIsCancel) {
  Fresh("agent-close", "close\n");
  struct P {
    static INT_PTR CALLBACK Proc(HWND dlg, UINT msg, WPARAM wParam, LPARAM) {
      if (msg == WM_COMMAND && wParam == IDCANCEL) EndDialog(dlg, 42);
      return msg == WM_INITDIALOG || msg == WM_COMMAND;
    }
  };
  EXPECT_EQ(DialogBoxParamA(nullptr, MAKEINTRESOURCEA(IDD_TEST_FOLDER), nullptr, P::Proc, 0), 42);
}

TEST(AgentScript, MessageBoxes) {
  Fresh("agent-boxes",
        "message \"Installation Error\" yes\n"
        "message Error ok\n"
        "message Question no\n"
        "message \"Three\" cancel\n"
        "message R retry\n");
  EXPECT_EQ(MessageBoxA(nullptr, "Go on?", "Installation Error", MB_YESNO | MB_ICONERROR), IDYES);
  EXPECT_EQ(MessageBoxA(nullptr, "Bad", "Error", MB_OK), IDOK);
  EXPECT_EQ(MessageBoxA(nullptr, "Q", "Question", MB_YESNO), IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, "Q", "Three", MB_YESNOCANCEL), IDCANCEL);
  EXPECT_EQ(MessageBoxA(nullptr, "Q", "R", MB_RETRYCANCEL), IDRETRY);
  std::vector<std::string> boxes = Lines("message");
  ASSERT_EQ(boxes.size(), 5u);
  EXPECT_EQ(boxes[0],
            "{\"event\":\"message\",\"owner\":false,\"text\":\"Go on?\",\"caption\":\"Installation Error\","
            "\"style\":20,\"answer\":6}");
  EXPECT_EQ(Lines("action")[0],
            "{\"event\":\"action\",\"message\":\"Installation Error\",\"step\":\"message \\\"Installation Error\\\" yes\"}");
}

TEST(AgentScript, AutoAnswersEverything) {
  Fresh("agent-auto", "message First ok\nauto yes\n");
  EXPECT_EQ(MessageBoxA(nullptr, "x", "First", MB_OK), IDOK);
  EXPECT_EQ(Page(IDD_TEST_FOLDER), IDOK);  // the default button
  EXPECT_EQ(Page(IDD_TEST_OPTIONS), IDOK);
  EXPECT_EQ(MessageBoxA(nullptr, "x", "Any", MB_YESNO), IDYES);
  EXPECT_EQ(MessageBoxA(nullptr, "x", "Any", MB_OKCANCEL), IDOK);
  EXPECT_EQ(MessageBoxA(nullptr, "x", "Any", MB_OK), IDOK);
  Fresh("agent-auto", "auto no\n");
  EXPECT_EQ(MessageBoxA(nullptr, "x", "Any", MB_YESNO), IDNO);
  EXPECT_EQ(MessageBoxA(nullptr, "x", "Any", MB_OKCANCEL), IDCANCEL);
  EXPECT_EQ(MessageBoxA(nullptr, "x", "Any", MB_OK), IDOK);
  EXPECT_EQ(Page(IDD_TEST_FOLDER), IDOK);
  EXPECT_NE(Lines("action").back().find("\"auto\":true"), std::string::npos);
}

// Death tests: the agent ends the process with status 3 and says why.
using AgentScriptDeathTest = ::testing::Test;

TEST(AgentScriptDeathTest, ScriptsThatDoNotFit) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto run_page = [](const char *script, int id) {
    Fresh("agent-death", script);
    Page(id);
    exit(0);
  };
  EXPECT_EXIT(run_page("page 202\n", IDD_TEST_FOLDER), ::testing::ExitedWithCode(3),
              "script line 1 \\(page 202\\) expects page 202, but page 201 \\(\"Test Setup \"\\) came");
  EXPECT_EXIT(run_page("page 201\nset 1000 x\npage 202\n", IDD_TEST_FOLDER), ::testing::ExitedWithCode(3),
              "expects page 202, but page 201 .* is still waiting");
  EXPECT_EXIT(run_page("page 201\n", IDD_TEST_FOLDER), ::testing::ExitedWithCode(3),
              "the script ran out while page 201 \\(\"Test Setup \"\\) was waiting");
  EXPECT_EXIT(run_page("click 1234\n", IDD_TEST_FOLDER), ::testing::ExitedWithCode(3),
              "page 201 .* has no control 1234");
  EXPECT_EXIT(run_page("check 1000 1\n", IDD_TEST_FOLDER), ::testing::ExitedWithCode(3), "is no check box");
  EXPECT_EXIT(run_page("message Error ok\n", IDD_TEST_FOLDER), ::testing::ExitedWithCode(3),
              "expects a message box, but page 201");
  EXPECT_EXIT(run_page("click one\n", IDD_TEST_FOLDER), ::testing::ExitedWithCode(3),
              "script line 1: 'one' is no control id");
  EXPECT_EXIT(run_page("jump 3\n", IDD_TEST_FOLDER), ::testing::ExitedWithCode(3), "unknown step 'jump'");
  auto run_box = [](const char *script, UINT type) {
    Fresh("agent-death", script);
    MessageBoxA(nullptr, "Cannot create the folder.", "Error Creating Directory", type);
    exit(0);
  };
  EXPECT_EXIT(run_box("message Other ok\n", MB_OK), ::testing::ExitedWithCode(3),
              "expects message box \"Other\", but message box \"Error Creating Directory\"");
  EXPECT_EXIT(run_box("message \"Error Creating Directory\" yes\n", MB_OK), ::testing::ExitedWithCode(3),
              "has no yes button \\(it has ok\\)");
  EXPECT_EXIT(run_box("# nothing\n", MB_OK), ::testing::ExitedWithCode(3),
              "the script ran out while message box \"Error Creating Directory\"");
  EXPECT_EXIT(run_box("click 1\n", MB_OK), ::testing::ExitedWithCode(3), "expects a page, but message box");
  EXPECT_EXIT(run_box("message \"Unclosed ok\n", MB_OK), ::testing::ExitedWithCode(3), "closing quote");
  EXPECT_EXIT(run_box("message X maybe\n", MB_OK), ::testing::ExitedWithCode(3), "'maybe' is no answer");
}

}  // namespace
