// The interactive agent: what the person sees of pages, message boxes and
// the progress window, and what their typing does. Input and output go
// through files here instead of the terminal.
#include <gtest/gtest.h>
#include <stdio.h>

#include <string>

#include "archive/extractor.h"
#include "archive/inflate.h"
#include "platform/host/winhost.h"
#include "platform/host/winhost_test.h"
#include "tests/host/sandbox.h"
#include "tests/host/test_dialogs.h"
#include "tests/host/zip_builder.h"

namespace {

struct Term {
  FILE *in = nullptr;
  FILE *out = nullptr;
  Term(const char *name, const std::string &typed) {
    winhost::Reset(SandboxDir(name).c_str());
    in = tmpfile();
    out = tmpfile();
    fputs(typed.c_str(), in);
    rewind(in);
    winhost::SetTerminal(in, out);
  }
  ~Term() {
    winhost::SetTerminal(nullptr, nullptr);
    fclose(in);
    fclose(out);
  }
  std::string Output() {
    fflush(out);
    rewind(out);
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, out)) > 0) s.append(buf, n);
    return s;
  }
};

int g_desktop;
std::string g_edit;

INT_PTR CALLBACK PageProc(HWND dlg, UINT msg, WPARAM wParam, LPARAM) {
  switch (msg) {
    case WM_INITDIALOG:
      if (HWND e = GetDlgItem(dlg, IDC_TEST_EDIT)) SetWindowTextA(e, "c:\\Program Files\\Kelvorind\\");
      if (HWND b = GetDlgItem(dlg, IDC_TEST_BACK)) EnableWindow(b, FALSE);
      if (HWND c = GetDlgItem(dlg, IDC_TEST_DESKTOP)) SendMessageA(c, BM_SETCHECK, BST_CHECKED, 0);
      return TRUE;
    case WM_COMMAND:
      if (wParam == IDOK || wParam == IDCANCEL || wParam == IDC_TEST_BACK) {
        char buf[261] = "";
        if (HWND e = GetDlgItem(dlg, IDC_TEST_EDIT)) GetWindowTextA(e, buf, sizeof buf);
        g_edit = buf;
        if (HWND c = GetDlgItem(dlg, IDC_TEST_DESKTOP)) g_desktop = (int)SendMessageA(c, BM_GETCHECK, 0, 0);
        EndDialog(dlg, (INT_PTR)wParam);
      }
      return TRUE;
    case WM_CLOSE:
      EndDialog(dlg, 2);
      return TRUE;
  }
  return FALSE;
}

INT_PTR Page(int id) { return DialogBoxParamA(nullptr, MAKEINTRESOURCEA(id), nullptr, PageProc, 0); }

bool Has(const std::string &s, const char *what) { return s.find(what) != std::string::npos; }

TEST(AgentTerminal, DrawsThePageAndTakesTheDefaultButton) {
  Term t("term-draw", "\n");
  EXPECT_EQ(Page(IDD_TEST_FOLDER), IDOK);
  std::string out = t.Output();
  EXPECT_TRUE(Has(out, "| Test Setup ")) << out;
  // Texts in reading order, "\n" as line breaks, mnemonics in brackets (no tty).
  size_t welcome = out.find("Welcome; this \"page\" says \"hello\".\n");
  size_t second = out.find("  Second line\twith a tab \\ and a backslash.");
  size_t label = out.find("Install into // not a comment:");
  size_t edit = out.find("(e) [c:\\Program Files\\Kelvorind\\]");
  ASSERT_NE(welcome, std::string::npos) << out;
  ASSERT_NE(second, std::string::npos) << out;
  ASSERT_NE(label, std::string::npos) << out;
  ASSERT_NE(edit, std::string::npos) << out;
  EXPECT_LT(welcome, second);
  EXPECT_LT(second, label);
  EXPECT_LT(label, edit);
  EXPECT_TRUE(Has(out, "< < [B]ack > (off)")) << out;
  EXPECT_TRUE(Has(out, "<< [N]ext > >>")) << out;
  EXPECT_TRUE(Has(out, "< [C]ancel >")) << out;
  EXPECT_TRUE(Has(out, "Enter = Next >")) << out;
  EXPECT_FALSE(Has(out, "\x1b["));  // no colours into a file
  EXPECT_EQ(winhost::TranscriptLines()[1], "{\"event\":\"action\",\"template\":201,\"step\":\"key enter\"}");
}

TEST(AgentTerminal, EditCheckBoxesMnemonicsAndHelp) {
  Term t("term-edit", "?\ne\nD:\\New Folder\\\nb\nx\nn\n");
  EXPECT_EQ(Page(IDD_TEST_FOLDER), IDOK);
  EXPECT_EQ(g_edit, "D:\\New Folder\\");
  std::string out = t.Output();
  EXPECT_TRUE(Has(out, "Type a letter and Enter")) << out;
  EXPECT_TRUE(Has(out, "New text (now \"c:\\Program Files\\Kelvorind\\\"")) << out;
  EXPECT_TRUE(Has(out, "(nothing happens: disabled)")) << out;  // b: Back is disabled
  EXPECT_TRUE(Has(out, "! unknown step 'x'; type ? for help")) << out;
  EXPECT_TRUE(Has(out, "(e) [D:\\New Folder\\]")) << out;  // drawn again after the change

  Term t2("term-check", "1\n1\n1\nc\n");
  EXPECT_EQ(Page(IDD_TEST_OPTIONS), IDCANCEL);
  EXPECT_EQ(g_desktop, BST_UNCHECKED);
  out = t2.Output();
  EXPECT_TRUE(Has(out, "(1) [x] 3)  Place a shortcut icon on the Desktop.")) << out;
  EXPECT_TRUE(Has(out, "(1) [ ] 3)")) << out;
  EXPECT_TRUE(Has(out, "(2) [ ] 4) (disabled)")) << out;
  EXPECT_TRUE(Has(out, "-- Group --")) << out;
}

TEST(AgentTerminal, EscapeQuitAndScriptSteps) {
  {
    Term t("term-esc", "\x1b\n");
    EXPECT_EQ(Page(IDD_TEST_FOLDER), IDCANCEL);
  }
  {
    Term t("term-q", "q\n");
    EXPECT_EQ(Page(IDD_TEST_FOLDER), IDCANCEL);
  }
  {
    Term t("term-steps", "set 1000 E:\\x\nclick 1\n");
    EXPECT_EQ(Page(IDD_TEST_FOLDER), IDOK);
    EXPECT_EQ(g_edit, "E:\\x");
  }
}

TEST(AgentTerminal, MessageBoxes) {
  Term t("term-box", "y\nmaybe\n\n\x1b\nq\n");
  EXPECT_EQ(MessageBoxA(nullptr, "Shall we go on?", "Installation Error", MB_YESNO | MB_ICONERROR), IDYES);
  EXPECT_EQ(MessageBoxA(nullptr, "Again?", "Q", MB_YESNO | MB_DEFBUTTON2), IDNO);  // maybe: asked again
  EXPECT_EQ(MessageBoxA(nullptr, "Sure?", "Q", MB_OKCANCEL), IDCANCEL);  // Escape
  EXPECT_EQ(MessageBoxA(nullptr, "Done.", "Info", MB_OK), IDOK);         // q on a lone OK
  std::string out = t.Output();
  EXPECT_TRUE(Has(out, "| (x) Installation Error")) << out;
  EXPECT_TRUE(Has(out, "  Shall we go on?\n")) << out;
  EXPECT_TRUE(Has(out, "<< [Y]es >>  < [N]o >")) << out;
  EXPECT_TRUE(Has(out, "< [Y]es >  << [N]o >>")) << out;
  EXPECT_TRUE(Has(out, "! answer with yes, no")) << out;
  EXPECT_EQ(winhost::TranscriptLines().back(),
            "{\"event\":\"message\",\"owner\":false,\"text\":\"Done.\",\"caption\":\"Info\",\"style\":0,\"answer\":1}");
}

INT_PTR CALLBACK Quiet(HWND, UINT msg, WPARAM, LPARAM) { return msg == WM_INITDIALOG; }

TEST(AgentTerminal, ProgressWindow) {
  Term t("term-progress", "");
  InitCommonControls();
  HWND dlg = CreateDialogParamA(nullptr, MAKEINTRESOURCEA(IDD_TEST_PROGRESS), nullptr, Quiet, 0);
  ASSERT_NE(dlg, nullptr);
  SetWindowTextA(dlg, "Installing files to: C:\\X\\");
  HWND holder = GetDlgItem(dlg, IDC_TEST_BAR_HOLDER);
  RECT rc;
  GetClientRect(holder, &rc);
  HWND bar = CreateWindowExA(0, PROGRESS_CLASSA, nullptr, WS_CHILD | WS_VISIBLE, rc.left, rc.top, rc.right,
                             rc.bottom, holder, nullptr, nullptr, nullptr);
  SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 128));
  SendMessageA(bar, PBM_SETPOS, 32, 0);
  SetWindowTextA(GetDlgItem(dlg, IDC_TEST_STATUS), "Extracting: docs\\readme.txt");
  SendMessageA(bar, PBM_SETPOS, 128, 0);
  DestroyWindow(dlg);
  std::string out = t.Output();
  EXPECT_TRUE(Has(out, "| Unzipping....")) << out;
  EXPECT_TRUE(Has(out, "  Unzipping Files. Please wait.....\n")) << out;
  EXPECT_TRUE(Has(out, "== Installing files to: C:\\X\\ ==")) << out;
  // The bar is redrawn in place; a text line clears it and it comes back below.
  EXPECT_TRUE(Has(out, "  [##########..............................] 25%\r")) << out;
  EXPECT_TRUE(Has(out, "  Extracting: docs\\readme.txt\n  [##########")) << out;
  EXPECT_TRUE(Has(out, "\r  [########################################] 100%\n")) << out;
}

// The extractor's own window over an archive of stored members: the bar
// stands there from the start, moves in place while the members are copied
// (a new line only for each member's text) and its line is finished at its
// last value when the window closes.
TEST(AgentTerminal, TheExtractorsBarAdvancesInPlace) {
  Term t("term-extract", "");
  InflateReleaseFixedTables();
  InitCommonControls();
  CreateDirectoryA("C:\\SETUP", nullptr);
  std::vector<ZipMember> members(2);
  members[0].name = "big.bin";
  members[0].data.assign(60000, 'x');
  members[1].name = "docs/small.txt";
  members[1].data.assign(100, 'y');
  for (ZipMember &m : members) m.method = 0;
  Bytes zip = BuildZip(members);
  WriteHostFile("C:\\SETUP\\data1.qv", zip);
  ASSERT_EQ(0, ArchiveExtractor("C:\\SETUP", "data1.qv", "C:\\Inst\\", nullptr));
  std::string out = t.Output();

  size_t first = out.find("  [........................................] 0%");
  ASSERT_NE(first, std::string::npos) << out;
  EXPECT_LT(out.find("== Installing files to: C:\\Inst\\ =="), first) << out;
  // The bar's last value: the member data's share of the archive, of 128.
  int pos = (int)(60100 * 128 / zip.size());
  int pct = pos * 100 / 128, cells = pos * 40 / 128;
  std::string last = "  [" + std::string((size_t)cells, '#') + std::string((size_t)(40 - cells), '.') + "] " +
                     std::to_string(pct) + "%\n";
  ASSERT_GT(pct, 80);
  EXPECT_EQ(last, out.substr(out.size() - last.size())) << out;
  // Between the first bar and the end only the two status lines and the
  // finished bar end in a new line; every other step is a carriage return.
  std::string run = out.substr(first);
  EXPECT_EQ(3, std::count(run.begin(), run.end(), '\n')) << out;
  EXPECT_GE(std::count(run.begin(), run.end(), '\r'), 6) << out;  // moves, and a clear before each status line
  EXPECT_NE(run.find("\r  Extracting: big.bin\n  [...."), std::string::npos) << out;
  EXPECT_NE(run.find("\r  Extracting: docs\\small.txt\n  [####"), std::string::npos) << out;
}

TEST(AgentTerminalDeathTest, EndOfInputWhileAPageWaits) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        Term t("term-eof", "");
        Page(IDD_TEST_FOLDER);
        exit(0);
      },
      ::testing::ExitedWithCode(3), "no more input while page 201");
  EXPECT_EXIT(
      {
        Term t("term-eof", "");
        MessageBoxA(nullptr, "x", "Error", MB_OK);
        exit(0);
      },
      ::testing::ExitedWithCode(3), "no more input while message box \"Error\"");
}

}  // namespace
