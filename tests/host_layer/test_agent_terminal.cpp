// The interactive agent: what the person sees of pages, message boxes and
// the progress window, and what their typing does. Input and output go
// through files here instead of the terminal.
#include <gtest/gtest.h>
#include <stdio.h>

#include <string>

#include "archive/extractor.h"
#include "archive/inflate.h"
#include "common/state.h"
#include "tests/support/inflate_hooks.h"
#include "platform/host/winhost.h"
#include "platform/host/winhost_test.h"
#include "setup/pages.h"
#include "tests/host_layer/test_dialogs.h"
#include "tests/support/sandbox.h"
#include "tests/support/zip_builder.h"

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

size_t Count(const std::string &s, const char *what) {
  size_t n = 0;
  for (size_t at = s.find(what); at != std::string::npos; at = s.find(what, at + 1)) n++;
  return n;
}

std::vector<std::string> Lines(const std::string &s) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t nl; (nl = s.find('\n', start)) != std::string::npos; start = nl + 1)
    lines.push_back(s.substr(start, nl - start));
  if (start < s.size()) lines.push_back(s.substr(start));
  return lines;
}

// Columns of a line as a terminal shows it (UTF-8, no escapes here).
size_t Columns(const std::string &line) {
  size_t n = 0;
  for (unsigned char c : line) n += (c & 0xC0) != 0x80;
  return n;
}

TEST(AgentTerminal, DrawsThePageAndTakesTheDefaultButton) {
  Term t("term-draw", "\n");
  EXPECT_EQ(Page(IDD_TEST_FOLDER), IDOK);
  std::string out = t.Output();
  // The caption in the top border, the texts in reading order inside the
  // frame ("\n" as line breaks, tabs to the next eighth column), the buttons
  // at its bottom right; the keys below it.
  const char *rows[] = {
      "+-- Test Setup  -------------------------------------------------------------+",
      "| Welcome; this \"page\" says \"hello\".                                         |",
      "| Second line     with a tab \\ and a backslash.                              |",
      "|                                                                            |",
      "| Install into // not a comment:                                             |",
      "| (e) [c:\\Program Files\\Kelvorind\\]                                          |",
      "|                                                                            |",
      "|                                   [ < Back ] (off)  [ Next > ]  [ Cancel ] |",
      "+----------------------------------------------------------------------------+",
      "  Enter or n = Next, c = Cancel, e = type a new folder, ? = help",
      "> ",
  };
  std::vector<std::string> lines = Lines(out);
  ASSERT_GE(lines.size(), 12u) << out;
  for (size_t i = 0; i < 11; i++) EXPECT_EQ(rows[i], lines[i + 1]) << out;
  EXPECT_FALSE(Has(out, "\x1b["));  // no colours into a file
  EXPECT_EQ(winhost::TranscriptLines()[1], "{\"event\":\"action\",\"template\":201,\"step\":\"key enter\"}");
}

// Wrong entries get a note and leave the page as it stands, without
// drawing it again; a change draws it again. A disabled button is not
// offered, nor pressed by its key.
TEST(AgentTerminal, EditNotesAndHelp) {
  Term t("term-edit", "?\ne\nD:\\New Folder\\\nb\nback\nx\nnEXT\n");
  EXPECT_EQ(Page(IDD_TEST_FOLDER), IDOK);
  EXPECT_EQ(g_edit, "D:\\New Folder\\");
  std::string out = t.Output();
  EXPECT_TRUE(Has(out, "Type a key and Enter")) << out;
  EXPECT_TRUE(Has(out, "New text (now \"c:\\Program Files\\Kelvorind\\\"")) << out;
  EXPECT_TRUE(Has(out, "| (e) [D:\\New Folder\\]")) << out;  // drawn again after the change
  EXPECT_EQ(2u, Count(out, "+-- Test Setup")) << out;       // and only then
  EXPECT_TRUE(Has(out, "> b\n  ! Back is not available on this page\n> back\n  ! Back is not available on this page\n"
                       "> x\n  ! 'x' is not a key of this page; type ? for help\n> nEXT\n"))
      << out;
  for (const std::string &a : winhost::TranscriptLines()) EXPECT_FALSE(Has(a, "click 3")) << a;
}

// Check boxes labelled with a number are ticked by that number; the others
// get the first free numbers, shown beside them. A disabled one is marked,
// left out of the keys and not ticked.
TEST(AgentTerminal, CheckBoxesAnswerToTheirOwnNumbers) {
  Term t("term-check", "3\n4\n9\nCancel\n");
  EXPECT_EQ(Page(IDD_TEST_OPTIONS), IDCANCEL);
  EXPECT_EQ(g_desktop, BST_UNCHECKED);
  std::string out = t.Output();
  EXPECT_TRUE(Has(out, "| [x] 3)  Place a shortcut icon on the Desktop.")) << out;
  EXPECT_TRUE(Has(out, "| [ ] 3)  Place a shortcut icon on the Desktop.")) << out;
  EXPECT_TRUE(Has(out, "| [ ] 4) (off)  Add a menu item to the Start Menu.")) << out;
  EXPECT_TRUE(Has(out, "| (1) [ ] manual")) << out;
  EXPECT_TRUE(Has(out, "| -- Group --")) << out;
  EXPECT_TRUE(Has(out, "  Enter or n = Next, c = Cancel, 1 or 3 = tick or untick, ? = help\n")) << out;
  EXPECT_TRUE(Has(out, "> 4\n  ! check box 4 is not available on this page\n")) << out;
  EXPECT_TRUE(Has(out, "> 9\n  ! there is no check box 9 on this page; type ? for help\n")) << out;
  EXPECT_EQ(2u, Count(out, "+-- Options")) << out;
}

TEST(AgentTerminal, EscapeQuitWordsAndScriptSteps) {
  for (const char *typed : {"\x1b\n", "q\n", "cancel\n", "CANCEL\n", "c\n"}) {
    Term t("term-esc", typed);
    EXPECT_EQ(Page(IDD_TEST_FOLDER), IDCANCEL) << typed;
  }
  for (const char *typed : {"Next\n", "N\n", "next\n"}) {
    Term t("term-next", typed);
    EXPECT_EQ(Page(IDD_TEST_FOLDER), IDOK) << typed;
  }
  {
    Term t("term-steps", "set 1000 E:\\x\nclick 1\n");
    EXPECT_EQ(Page(IDD_TEST_FOLDER), IDOK);
    EXPECT_EQ(g_edit, "E:\\x");
  }
}

TEST(AgentTerminal, MessageBoxes) {
  Term t("term-box", "YES\nmaybe\n\n\x1b\nq\n");
  EXPECT_EQ(MessageBoxA(nullptr, "Shall we go on?", "Installation Error", MB_YESNO | MB_ICONERROR), IDYES);
  EXPECT_EQ(MessageBoxA(nullptr, "Again?", "Q", MB_YESNO | MB_DEFBUTTON2), IDNO);  // maybe: asked again
  EXPECT_EQ(MessageBoxA(nullptr, "Sure?", "Q", MB_OKCANCEL), IDCANCEL);  // Escape
  EXPECT_EQ(MessageBoxA(nullptr, "Done.", "Info", MB_OK), IDOK);         // q on a lone OK
  std::string out = t.Output();
  EXPECT_TRUE(Has(out, "+-- (x) Installation Error ---")) << out;
  EXPECT_TRUE(Has(out, "| Shall we go on?  ")) << out;
  EXPECT_TRUE(Has(out, "  [ Yes ]  [ No ] |\n")) << out;
  EXPECT_TRUE(Has(out, "  Enter or y = Yes, n = No\n")) << out;
  EXPECT_TRUE(Has(out, "  y = Yes, Enter or n = No\n")) << out;
  EXPECT_TRUE(Has(out, "> maybe\n  ! 'maybe' is not a key of this box; type y or yes, n or no\n> \n")) << out;
  EXPECT_TRUE(Has(out, "  [ OK ] |\n")) << out;
  EXPECT_EQ(winhost::TranscriptLines().back(),
            "{\"event\":\"message\",\"owner\":false,\"text\":\"Done.\",\"caption\":\"Info\",\"style\":0,\"answer\":1}");
}

// The setup's own pages and its longest message box fit a terminal of 80
// columns and 24 lines: the frame, the key line and the prompt, with room
// for a note.
TEST(AgentTerminal, TheSetupsPagesFit80x24) {
  struct Shown {
    int id;
    DLGPROC proc;
  } pages[] = {{IDD_FOLDER_PAGE, FolderPageProc}, {IDD_OPTIONS_PAGE, OptionsPageProc},
               {IDD_SUMMARY_PAGE, SummaryPageProc}};
  std::vector<std::string> screens;
  for (const Shown &p : pages) {
    Term t("term-fit", "q\n");
    strcpy(g_installDir, "c:\\Program Files\\Kelvorind\\TNM Verifier\\");
    EXPECT_EQ(PAGE_CANCEL, DialogBoxParamA(nullptr, MAKEINTRESOURCEA(p.id), nullptr, p.proc, 0));
    screens.push_back(t.Output());
  }
  {
    Term t("term-fit", "\n");
    MessageBoxA(nullptr,
                "Error installing TolvaMarked Verifier. The installation is not complete. The installation "
                "program will try to remove the partially installed files. Some files and directories may not "
                "be removed automatically and you should remove them manually.",
                "Installation Error", MB_ICONERROR);
    screens.push_back(t.Output());
  }
  for (const std::string &screen : screens) {
    std::vector<std::string> lines = Lines(screen);
    ASSERT_GE(lines.size(), 5u) << screen;
    EXPECT_EQ("", lines[0]);
    EXPECT_EQ(0u, lines[1].find("+-- ")) << screen;
    size_t bottom = 0;
    for (size_t i = 0; i < lines.size(); i++) {
      EXPECT_LE(Columns(lines[i]), 78u) << lines[i];
      if (lines[i].find("+----") == 0) bottom = i;
    }
    ASSERT_GT(bottom, 1u) << screen;
    ASSERT_LT(bottom + 2, lines.size()) << screen;
    EXPECT_EQ(0u, lines[bottom + 2].find("> ")) << screen;  // one key line, then the prompt
    // The lines from the top border to the prompt, and one for a note.
    EXPECT_LE(bottom + 2 + 1, 24u) << screen;
  }
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
  EXPECT_TRUE(Has(out, "+-- Unzipping.... ---")) << out;
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
  InflateReset();
  InitCommonControls();
  CreateDirectoryA("C:\\SETUP", nullptr);
  std::vector<ZipMember> members(2);
  members[0].name = "big.bin";
  members[0].data.assign(60000, 'x');
  members[1].name = "docs/small.txt";
  members[1].data.assign(100, 'y');
  for (ZipMember &m : members) m.method = 0;
  Bytes zip = BuildZip(members);
  WriteBytes(winhost::HostPath("C:\\SETUP\\data1.qv"), zip);
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
