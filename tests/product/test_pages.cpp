// The wizard pages: their templates and picture, and each page procedure
// driven through the scripted agent, read back from the transcript's "page"
// and "closed" events and from the process-wide choices.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <set>
#include <string>
#include <vector>

#include "common/state.h"
#include "platform/host/resources.h"
#include "platform/host/winhost_test.h"
#include "platform/win.h"
#include "setup/pages.h"
#include "tests/support/bytes.h"
#include "tests/support/sandbox.h"
#include "tests/support/transcript.h"

namespace {

// One transcript line, which must be whole JSON.
Json ParseLine(const std::string &line) {
  bool ok = false;
  Json v = ParseJson(line, &ok);
  EXPECT_TRUE(ok) << line;
  return v;
}

// Every transcript event of one kind, in order.
std::vector<Json> Events(const char *kind) {
  std::vector<Json> out;
  for (const std::string &l : winhost::TranscriptLines()) {
    Json e = ParseLine(l);
    if (e["event"].s == kind) out.push_back(e);
  }
  return out;
}

// The control with that id in a "page" event (the first, for -1 or 65535).
const Json &Control(const Json &page, int id) {
  static const Json none;
  for (const Json &c : page["controls"].items)
    if ((int)c["id"].n == id) return c;
  ADD_FAILURE() << "no control " << id;
  return none;
}

// ---- Running one page ----

HWND g_opened;  // the window the page procedure was handed on WM_INITDIALOG

DLGPROC g_inner;
INT_PTR CALLBACK Recording(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) g_opened = window;
  return g_inner(window, message, wParam, lParam);
}

void Fresh(const char *name, const char *script) {
  winhost::Reset(SandboxDir(name).c_str());
  winhost::SetScript(script);
  g_pageWindow = nullptr;
  g_installDir[0] = '\0';
  g_installOptions.desktopShortcut = 1;
  g_installOptions.startMenuItem = 1;
}

INT_PTR Show(int id, DLGPROC proc) {
  g_inner = proc;
  g_opened = nullptr;
  INT_PTR result = DialogBoxParamA(g_instance, MAKEINTRESOURCEA(id), nullptr, Recording, 0);
  EXPECT_NE(g_opened, nullptr);
  EXPECT_EQ(g_pageWindow, g_opened);  // stored on opening, kept after the page ends
  EXPECT_EQ(winhost::LiveWindows(), 0);
  return result;
}

INT_PTR Folder() { return Show(IDD_FOLDER_PAGE, FolderPageProc); }
INT_PTR Options() { return Show(IDD_OPTIONS_PAGE, OptionsPageProc); }
INT_PTR Summary() { return Show(IDD_SUMMARY_PAGE, SummaryPageProc); }

const DWORD kFrameStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_CENTER | DS_SETFONT;
const DWORD kText = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT;
const DWORD kCheck = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX;
const DWORD kPush = WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON;

// ---- The templates against the pages' tables ----

struct Expected {
  int id;
  const char *cls;
  int x, y, w, h;
  DWORD style;
  const char *text;  // nullptr: the picture
};

void CommonControls(std::vector<Expected> *v, const char *next, int pictureY) {
  *v = {
      {1, "Button", 180, 179, 50, 14, WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON | BS_CENTER, next},
      {2, "Button", 250, 179, 50, 14, kPush, "&Cancel"},
      {3, "Button", 125, 179, 50, 14, kPush, "< &Back"},
      {-1, "Static", 6, 173, 295, 1, WS_CHILD | WS_VISIBLE | SS_ETCHEDHORZ, ""},
      {-1, "Static", 10, pictureY, 81, 161, WS_CHILD | WS_VISIBLE | SS_BITMAP | SS_SUNKEN, nullptr},
  };
}

std::vector<Expected> FolderTable() {
  std::vector<Expected> v;
  CommonControls(&v, "&Next >", 7);
  v.push_back({-1, "Static", 105, 15, 186, 35, kText,
               "Welcom to the TolvaMarked Verifier 1.2 setup program. This program will install the "
               "TolvaMarked Verifier 1.2 on your computer. Please exit all other programs before "
               "continue."});
  v.push_back({1000, "Edit", 105, 125, 190, 13,
               WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL, ""});
  v.push_back({-1, "Static", 105, 114, 190, 10, kText,
               "Install the TolvaMarked Verifier into the following folder:"});
  v.push_back({-1, "Static", 107, 140, 185, 25, kText,
               "You may change the folder by directly typing the folder's full path name in the edit "
               "box above. If the folder does not exist, it will be created."});
  v.push_back({-1, "Static", 105, 55, 190, 50, kText,
               "To continue the installation, make sure that the folder for the installed program "
               "shown bellow is correct, and then click the \"Next >\" botton.\n\nIf you do not want "
               "to install the program, click the \"Cancel\" button to exit."});
  return v;
}

std::vector<Expected> OptionsTable() {
  std::vector<Expected> v;
  CommonControls(&v, "&Next >", 6);
  v.push_back({-1, "Static", 100, 10, 205, 18, kText,
               "This installation program will perform the following: (You may uncheck any of the "
               "check boxes if you do not want that option)."});
  v.push_back({-1, "Static", 101, 115, 170, 55, kText,
               "To continue the installation, click the \"Next >\" botton.\n\nTo go back to the "
               "previous installation step, click the \"< Back\" button.\n\nTo abort the "
               "installation, click the \"Cancel\" button."});
  v.push_back({-1, "Static", 112, 32, 155, 9, kText, "1) Install program files into folder:"});
  v.push_back({1004, "Static", 119, 41, 185, 8, kText, ""});
  v.push_back({-1, "Static", 120, 79, 155, 10, kText, "Place a shortcut icon on the Desktop."});
  v.push_back({-1, "Static", 120, 56, 178, 17, kText,
               "Add a submenu named \"TNM Verifier\" to the Programs Menu."});
  v.push_back({-1, "Static", 120, 96, 180, 10, kText, "Add a menu item to the Start Menu."});
  v.push_back({1006, "Button", 100, 78, 20, 10, kCheck, "3)"});
  v.push_back({1007, "Button", 100, 95, 20, 10, kCheck, "4)"});
  v.push_back({-1, "Static", 111, 56, 8, 10, kText, "2)"});
  return v;
}

std::vector<Expected> SummaryTable() {
  std::vector<Expected> v;
  CommonControls(&v, "&Finish", 6);
  v.push_back({-1, "Static", 101, 15, 186, 17, kText,
               "If you click the \"&Finish\" button, the installation program will carry out the "
               "following installation actions:"});
  v.push_back({-1, "Static", 105, 131, 170, 35, kText,
               "To go back to the previous installation step, click the \"< Back\" button.\n\nTo "
               "abort the installation, click the \"Cancel\" button."});
  v.push_back({-1, "Static", 104, 35, 150, 10, kText, "*  Install all program files into folder:"});
  v.push_back({1004, "Static", 111, 45, 192, 10, kText, ""});
  v.push_back({-1, "Static", 111, 58, 178, 16, kText,
               "Add a submenu named \"TNM Verifier\" to the Programs Menu."});
  v.push_back({-1, "Static", 104, 58, 5, 10, kText, "*"});
  v.push_back({1006, "Static", 105, 80, 200, 10, kText, ""});
  v.push_back({1007, "Static", 104, 96, 200, 10, kText, ""});
  return v;
}

void CheckTemplate(int id, const std::vector<Expected> &want) {
  SCOPED_TRACE("template " + std::to_string(id));
  const wh::RcDialog *d = wh::FindDialogTemplate(MAKEINTRESOURCEA(id));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->style, kFrameStyle);
  EXPECT_EQ(d->exstyle, 0u);
  EXPECT_EQ(d->x, 0);
  EXPECT_EQ(d->y, 0);
  EXPECT_EQ(d->w, 307);
  EXPECT_EQ(d->h, 196);
  EXPECT_EQ(d->caption, "TolvaMarked Verifier 1.2 - Setup ");
  EXPECT_EQ(d->font, "MS Sans Serif");
  EXPECT_EQ(d->font_size, 8);
  ASSERT_EQ(d->controls.size(), want.size());
  for (size_t i = 0; i < want.size(); i++) {
    const wh::RcControl &c = d->controls[i];
    const Expected &e = want[i];
    SCOPED_TRACE("control " + std::to_string(i));
    EXPECT_EQ(c.id, (int)(WORD)e.id);  // a DIALOG template holds ids in 16 bits
    EXPECT_EQ(c.cls, e.cls);
    EXPECT_EQ(c.x, e.x);
    EXPECT_EQ(c.y, e.y);
    EXPECT_EQ(c.w, e.w);
    EXPECT_EQ(c.h, e.h);
    EXPECT_EQ(c.style, e.style);
    EXPECT_EQ(c.exstyle, 0u);
    if (e.text) {
      EXPECT_EQ(c.text, e.text);
      EXPECT_EQ(c.image, -1);
    } else {
      EXPECT_EQ(c.image, IDB_PAGE_BITMAP);
    }
  }
}

TEST(PagesLayout, TemplatesMatchThePagesTables) {
  CheckTemplate(IDD_FOLDER_PAGE, FolderTable());
  CheckTemplate(IDD_OPTIONS_PAGE, OptionsTable());
  CheckTemplate(IDD_SUMMARY_PAGE, SummaryTable());
}

// What the system builds from the templates, as the transcript reports it:
// the same classes, styles and texts, with the pages' own texts filled in.
TEST(PagesLayout, ShownPagesCarryTheTemplatesStyles) {
  Fresh("pages-shown", "page 101\nclick 1\npage 103\nclick 1\npage 104\nclick 1\n");
  EXPECT_EQ(Folder(), PAGE_NEXT);
  EXPECT_EQ(Options(), PAGE_NEXT);
  EXPECT_EQ(Summary(), PAGE_NEXT);
  std::vector<Json> pages = Events("page");
  ASSERT_EQ(pages.size(), 3u);
  const std::vector<Expected> tables[] = {FolderTable(), OptionsTable(), SummaryTable()};
  const int ids[] = {IDD_FOLDER_PAGE, IDD_OPTIONS_PAGE, IDD_SUMMARY_PAGE};
  for (int p = 0; p < 3; p++) {
    SCOPED_TRACE("page " + std::to_string(ids[p]));
    const Json &page = pages[p];
    EXPECT_EQ((int)page["template"].n, ids[p]);
    EXPECT_EQ(page["caption"].s, "TolvaMarked Verifier 1.2 - Setup ");
    EXPECT_EQ((DWORD)page["style"].n, kFrameStyle);
    const std::vector<Json> &controls = page["controls"].items;
    ASSERT_EQ(controls.size(), tables[p].size());
    for (size_t i = 0; i < controls.size(); i++) {
      const Expected &e = tables[p][i];
      SCOPED_TRACE("control " + std::to_string(i));
      // DIALOG templates keep ids in 16 bits: the unnamed controls read 65535.
      EXPECT_EQ((int)controls[i]["id"].n, e.id < 0 ? 0xFFFF : e.id);
      EXPECT_EQ(controls[i]["class"].s, e.cls);
      // Only the folder page's Back button differs: the page disables it.
      DWORD disabled = p == 0 && e.id == 3 ? WS_DISABLED : 0;
      EXPECT_EQ((DWORD)controls[i]["style"].n, e.style | disabled);
      if (e.text && *e.text) {
        EXPECT_EQ(controls[i]["text"].s, e.text);
      }
    }
    // The Back button is disabled on the folder page only.
    EXPECT_EQ(Control(page, 3)["enabled"].b, p != 0);
  }
}

// ---- The picture ----

unsigned Le(const std::string &d, size_t at, int bytes) {
  unsigned v = 0;
  for (int k = bytes - 1; k >= 0; k--) v = (v << 8) | (unsigned char)d[at + k];
  return v;
}

TEST(PagesBitmap, SidePanelIsAnUncompressed16ColourBitmap) {
  const std::string d = ReadText(std::string(SOURCE_DIR) + "/setup/page.bmp");
  const unsigned stride = 60, pixels = stride * 260;  // 119 pixels of 4 bits, in 32-bit units
  ASSERT_EQ(d.size(), 14u + 40u + 64u + pixels);
  // The program holds the file less its BITMAPFILEHEADER, as windres stores a bitmap.
  const std::string *dib = wh::FindResourceData(MAKEINTRESOURCEA(2) /* RT_BITMAP */,
                                                MAKEINTRESOURCEA(IDB_PAGE_BITMAP));
  ASSERT_NE(dib, nullptr);
  EXPECT_EQ(*dib, d.substr(14));
  EXPECT_EQ(d.substr(0, 2), "BM");
  EXPECT_EQ(Le(d, 2, 4), d.size());
  EXPECT_EQ(Le(d, 10, 4), 118u);                 // pixels right after the palette
  EXPECT_EQ(Le(d, 14, 4), 40u);                  // BITMAPINFOHEADER
  EXPECT_EQ((int)Le(d, 18, 4), 119);
  EXPECT_EQ((int)Le(d, 22, 4), 260);             // positive: bottom-up
  EXPECT_EQ(Le(d, 26, 2), 1u);
  EXPECT_EQ(Le(d, 28, 2), 4u);
  EXPECT_EQ(Le(d, 30, 4), 0u);                   // BI_RGB: uncompressed
  const unsigned char standard[16][3] = {
      {0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
      {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
      {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
      {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};
  for (int k = 0; k < 16; k++) {
    size_t at = 54 + 4 * k;  // blue, green, red, reserved
    EXPECT_EQ((unsigned char)d[at + 2], standard[k][0]) << "colour " << k;
    EXPECT_EQ((unsigned char)d[at + 1], standard[k][1]) << "colour " << k;
    EXPECT_EQ((unsigned char)d[at], standard[k][2]) << "colour " << k;
  }
  // A real picture: many colours, none of them filling most of the panel,
  // and different rows (not one band repeated).
  unsigned count[16] = {0};
  std::set<std::string> rows;
  for (unsigned y = 0; y < 260; y++) {
    rows.insert(d.substr(118 + y * stride, stride));
    for (unsigned x = 0; x < 119; x++) {
      unsigned char b = (unsigned char)d[118 + y * stride + x / 2];
      count[x % 2 ? b & 15 : b >> 4]++;
    }
  }
  int used = 0;
  for (unsigned n : count) {
    if (n) used++;
    EXPECT_LT(n, 119u * 260u / 2);
  }
  EXPECT_GE(used, 8);
  EXPECT_GT(rows.size(), 200u);
}

// ---- FolderPage ----

TEST(FolderPage, NextStoresTheFolderWithOneTrailingBackslash) {
  struct Case {
    const char *typed;
    const char *stored;
  } cases[] = {
      {nullptr, "c:\\Program Files\\Kelvorind\\TNM Verifier\\"},  // the default, untouched
      {"c:\\Program Files\\Kelvorind\\TNM Verifier\\", "c:\\Program Files\\Kelvorind\\TNM Verifier\\"},
      {"c:\\Program Files\\Kelvorind\\TNM Verifier", "c:\\Program Files\\Kelvorind\\TNM Verifier\\"},
      {"d:\\with blanks  ", "d:\\with blanks  \\"},  // not trimmed
      {"Z:\\", "Z:\\"},
      {"\\\\server\\share", "\\\\server\\share\\"},
      {"\\\\server\\share\\TNM", "\\\\server\\share\\TNM\\"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.typed ? c.typed : "(default)");
    std::string script = "page 101\n";
    if (c.typed) script += std::string("set 1000 ") + c.typed + "\n";
    script += "click 1\n";
    Fresh("folder-next", script.c_str());
    EXPECT_EQ(Folder(), PAGE_NEXT);
    EXPECT_STREQ(g_installDir, c.stored);
  }
}

// Anything but a drive letter, a colon and a backslash, or a network path,
// is refused with a box owned by the page, which stays open with the text as
// typed; the folder chosen before is kept.
TEST(FolderPage, NextRefusesWhatIsNoFullPath) {
  for (const char *typed : {"", "Verifier", "  d:\\leading blanks", "d:", "d:relative\\x", "\\rooted",
                            "/c/unix", "1:\\x", "\\\\server", "\\\\server\\", "\\\\\\share"}) {
    SCOPED_TRACE(typed);
    std::string script = std::string("page 101\nset 1000 ") + typed +
                         "\nclick 1\nmessage \"TolvaMarked Verifier - Setup\" ok\nclick 1\n"
                         "message \"TolvaMarked Verifier - Setup\" ok\nset 1000 e:\\Put Right\nclick 1\n";
    Fresh("folder-refused", script.c_str());
    strcpy(g_installDir, "c:\\Before\\");
    EXPECT_EQ(Folder(), PAGE_NEXT);
    EXPECT_STREQ(g_installDir, "e:\\Put Right\\");
    std::vector<Json> boxes = Events("message");
    ASSERT_EQ(boxes.size(), 2u);
    for (const Json &b : boxes) {
      EXPECT_TRUE(b["owner"].b);
      EXPECT_EQ(b["style"].n, (double)(MB_OK | MB_ICONERROR));
      EXPECT_EQ(b["text"].s.find("Please type the folder's full path: a drive letter, a colon and a backslash"),
                0u)
          << b["text"].s;
    }
    EXPECT_EQ(Events("closed").size(), 1u);  // the page stayed open through both
  }
}

TEST(FolderPage, LongFoldersAreCutTo259CharactersBeforeTheBackslashTest) {
  const std::string drive = "c:\\";
  const std::string x259 = drive + std::string(256, 'x');
  struct Case {
    std::string typed, stored;
  } cases[] = {
      {x259, x259 + "\\"},                                                  // exactly fits
      {drive + std::string(297, 'y'), drive + std::string(256, 'y') + "\\"},  // cut, then one appended
      {drive + std::string(255, 'z') + "\\tail", drive + std::string(255, 'z') + "\\"},  // 259th is a backslash
      {drive + std::string(256, 'w') + "\\", drive + std::string(256, 'w') + "\\"},      // its own one is cut off
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.typed.size());
    Fresh("folder-long", ("page 101\nset 1000 " + c.typed + "\nclick 1\n").c_str());
    EXPECT_EQ(Folder(), PAGE_NEXT);
    EXPECT_EQ(std::string(g_installDir), c.stored);
    EXPECT_LE(strlen(g_installDir), (size_t)INSTALL_DIR_CAPACITY - 1);
  }
}

TEST(FolderPage, OpensWithTheDefaultFolderAndBackDisabledOnEveryVisit) {
  Fresh("folder-visits",
        "page 101\nset 1000 e:\\Elsewhere\nclick 3\nclick 1\n"  // Back is disabled: nothing happens
        "page 101\nset 1000 f:\\Again\\\nkey escape\n"
        "page 101\nkey enter\n");
  EXPECT_EQ(Folder(), PAGE_NEXT);
  EXPECT_STREQ(g_installDir, "e:\\Elsewhere\\");
  EXPECT_EQ(Folder(), PAGE_CANCEL);
  EXPECT_STREQ(g_installDir, "e:\\Elsewhere\\");  // Cancel stores nothing
  EXPECT_EQ(Folder(), PAGE_NEXT);
  EXPECT_STREQ(g_installDir, DefaultInstallDir);
  std::vector<Json> pages = Events("page");
  ASSERT_EQ(pages.size(), 3u);
  for (const Json &p : pages) {
    EXPECT_EQ(Control(p, 1000)["text"].s, "c:\\Program Files\\Kelvorind\\TNM Verifier\\");
    EXPECT_FALSE(Control(p, 3)["enabled"].b);
    EXPECT_TRUE(Control(p, 1)["enabled"].b);
    EXPECT_TRUE(Control(p, 2)["enabled"].b);
  }
  bool sawDisabled = false;
  for (const Json &a : Events("action"))
    if (a["step"].s == "click 3") sawDisabled = a["ignored"].s == "disabled";
  EXPECT_TRUE(sawDisabled);
}

TEST(FolderPage, CancelCloseBoxAndEscapeEndWithCancel) {
  for (const char *step : {"click 2", "close", "key escape"}) {
    SCOPED_TRACE(step);
    Fresh("folder-cancel", (std::string("page 101\nset 1000 g:\\Typed\n") + step + "\n").c_str());
    EXPECT_EQ(Folder(), PAGE_CANCEL);
    EXPECT_STREQ(g_installDir, "");
    std::vector<Json> closed = Events("closed");
    ASSERT_EQ(closed.size(), 1u);
    EXPECT_EQ((int)closed[0]["result"].n, PAGE_CANCEL);
  }
}

// ---- OptionsPage ----

TEST(OptionsPage, ShowsTheFolderAsStoredAndTheOptionsAsTheyStand) {
  const int states[][2] = {{1, 1}, {0, 1}, {1, 0}, {0, 0}};
  for (const auto &s : states) {
    SCOPED_TRACE(std::to_string(s[0]) + std::to_string(s[1]));
    Fresh("options-open", "page 103\nclick 2\n");
    strcpy(g_installDir, "d:\\Some Folder\\");
    g_installOptions.desktopShortcut = s[0];
    g_installOptions.startMenuItem = s[1];
    EXPECT_EQ(Options(), PAGE_CANCEL);
    std::vector<Json> pages = Events("page");
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(Control(pages[0], 1004)["text"].s, "d:\\Some Folder\\");
    EXPECT_EQ(Control(pages[0], 1006)["checked"].b, s[0] == 1);
    EXPECT_EQ(Control(pages[0], 1007)["checked"].b, s[1] == 1);
    EXPECT_TRUE(Control(pages[0], 3)["enabled"].b);
  }
}

TEST(OptionsPage, NextStoresTheBoxesOtherButtonsDropThem) {
  struct Case {
    const char *steps;
    INT_PTR result;
    int desktop, startMenu;
  } cases[] = {
      {"check 1006 0\nclick 1\n", PAGE_NEXT, 0, 1},
      {"check 1007 0\nkey enter\n", PAGE_NEXT, 1, 0},
      {"check 1006 0\ncheck 1007 0\nclick 1\n", PAGE_NEXT, 0, 0},
      {"check 1006 0\ncheck 1006 1\nclick 1\n", PAGE_NEXT, 1, 1},
      {"check 1006 0\ncheck 1007 0\nclick 3\n", PAGE_BACK, 1, 1},
      {"check 1006 0\nclick 2\n", PAGE_CANCEL, 1, 1},
      {"check 1007 0\nclose\n", PAGE_CANCEL, 1, 1},
      {"check 1006 0\nkey escape\n", PAGE_CANCEL, 1, 1},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.steps);
    Fresh("options-end", (std::string("page 103\n") + c.steps).c_str());
    strcpy(g_installDir, "c:\\x\\");
    EXPECT_EQ(Options(), c.result);
    EXPECT_EQ(g_installOptions.desktopShortcut, c.desktop);
    EXPECT_EQ(g_installOptions.startMenuItem, c.startMenu);
    EXPECT_STREQ(g_installDir, "c:\\x\\");  // the options page never writes the folder
  }
}

TEST(OptionsPage, BackThenNextVisitShowsTheBoxesTickedAgain) {
  Fresh("options-revisit",
        "page 103\ncheck 1006 0\ncheck 1007 0\nclick 3\n"
        "page 103\ncheck 1007 0\nclick 1\n"
        "page 103\nclick 2\n");
  EXPECT_EQ(Options(), PAGE_BACK);
  EXPECT_EQ(Options(), PAGE_NEXT);
  EXPECT_EQ(Options(), PAGE_CANCEL);
  std::vector<Json> pages = Events("page");
  ASSERT_EQ(pages.size(), 3u);
  EXPECT_TRUE(Control(pages[1], 1006)["checked"].b);  // the unticking was dropped
  EXPECT_TRUE(Control(pages[1], 1007)["checked"].b);
  EXPECT_TRUE(Control(pages[2], 1006)["checked"].b);  // what Next stored
  EXPECT_FALSE(Control(pages[2], 1007)["checked"].b);
  EXPECT_EQ(g_installOptions.desktopShortcut, 1);
  EXPECT_EQ(g_installOptions.startMenuItem, 0);
}

// ---- SummaryPage ----

TEST(SummaryPage, OptionLinesFillFromTheTop) {
  const char kDesktop[] = "*  Place a shortcut icon on the Desktop.";
  const char kStart[] = "*  Add a menu item to the Start Menu.";
  struct Case {
    int desktop, startMenu;
    const char *first, *second;
  } cases[] = {
      {1, 1, kDesktop, kStart},
      {1, 0, kDesktop, ""},
      {0, 1, kStart, ""},
      {0, 0, "", ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::to_string(c.desktop) + std::to_string(c.startMenu));
    Fresh("summary-lines", "page 104\nclick 2\n");
    strcpy(g_installDir, "c:\\Program Files\\Kelvorind\\TNM Verifier\\");
    g_installOptions.desktopShortcut = c.desktop;
    g_installOptions.startMenuItem = c.startMenu;
    EXPECT_EQ(Summary(), PAGE_CANCEL);
    std::vector<Json> pages = Events("page");
    ASSERT_EQ(pages.size(), 1u);
    EXPECT_EQ(Control(pages[0], 1006)["text"].s, c.first);
    EXPECT_EQ(Control(pages[0], 1007)["text"].s, c.second);
    EXPECT_EQ(Control(pages[0], 1004)["text"].s, "c:\\Program Files\\Kelvorind\\TNM Verifier\\");
    EXPECT_EQ(Control(pages[0], 1)["text"].s, "&Finish");
    EXPECT_EQ(g_installOptions.desktopShortcut, c.desktop);  // shown, never written
    EXPECT_EQ(g_installOptions.startMenuItem, c.startMenu);
  }
}

TEST(SummaryPage, EachWayOutEndsWithItsResult) {
  struct Case {
    const char *step;
    INT_PTR result;
  } cases[] = {
      {"click 1", PAGE_NEXT}, {"key enter", PAGE_NEXT},    {"click 3", PAGE_BACK},
      {"click 2", PAGE_CANCEL}, {"close", PAGE_CANCEL}, {"key escape", PAGE_CANCEL},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.step);
    Fresh("summary-end", (std::string("page 104\n") + c.step + "\n").c_str());
    strcpy(g_installDir, "\\");
    EXPECT_EQ(Summary(), c.result);
    EXPECT_STREQ(g_installDir, "\\");
  }
}

// ---- The three pages together, walked as the wizard walks them ----

TEST(PagesWalk, ChoicesSurviveBackAndNextAsThePagesSay) {
  Fresh("pages-walk",
        "page 101\nset 1000 d:\\First\nclick 1\n"
        "page 103\ncheck 1006 0\nclick 1\n"
        "page 104\nclick 3\n"
        "page 103\ncheck 1007 0\nclick 3\n"
        "page 101\nset 1000 e:\\Second\\\nclick 1\n"
        "page 103\nclick 1\n"
        "page 104\nclick 1\n");
  EXPECT_EQ(Folder(), PAGE_NEXT);
  EXPECT_EQ(Options(), PAGE_NEXT);
  EXPECT_EQ(Summary(), PAGE_BACK);
  EXPECT_EQ(Options(), PAGE_BACK);
  EXPECT_STREQ(g_installDir, "d:\\First\\");  // kept until the folder page's next Next
  EXPECT_EQ(Folder(), PAGE_NEXT);
  EXPECT_EQ(Options(), PAGE_NEXT);
  EXPECT_EQ(Summary(), PAGE_NEXT);
  EXPECT_STREQ(g_installDir, "e:\\Second\\");
  EXPECT_EQ(g_installOptions.desktopShortcut, 0);
  EXPECT_EQ(g_installOptions.startMenuItem, 1);
  std::vector<Json> pages = Events("page");
  ASSERT_EQ(pages.size(), 7u);
  EXPECT_EQ(Control(pages[1], 1004)["text"].s, "d:\\First\\");
  EXPECT_EQ(Control(pages[2], 1006)["text"].s, "*  Add a menu item to the Start Menu.");
  EXPECT_EQ(Control(pages[2], 1007)["text"].s, "");
  EXPECT_FALSE(Control(pages[3], 1006)["checked"].b);  // the stored choice, shown again
  EXPECT_TRUE(Control(pages[3], 1007)["checked"].b);
  EXPECT_EQ(Control(pages[4], 1000)["text"].s, DefaultInstallDir);  // not d:\First
  EXPECT_EQ(Control(pages[5], 1004)["text"].s, "e:\\Second\\");
  EXPECT_FALSE(Control(pages[5], 1006)["checked"].b);
  EXPECT_TRUE(Control(pages[5], 1007)["checked"].b);  // the dropped unticking of visit 2
  EXPECT_EQ(Control(pages[6], 1004)["text"].s, "e:\\Second\\");
}

// Messages other than the three are left to the system; a command that is
// no button click (an edit notification, a check-box click) ends nothing.
TEST(PagesMessages, OnlyTheirThreeMessagesAreHandled) {
  for (DLGPROC proc : {FolderPageProc, OptionsPageProc, SummaryPageProc}) {
    for (UINT m : {(UINT)WM_DESTROY, (UINT)WM_SETTEXT, (UINT)WM_USER, (UINT)DM_GETDEFID})
      EXPECT_EQ(proc(nullptr, m, 1, 0), FALSE) << m;
  }
  Fresh("pages-notify", "page 101\nset 1000 h:\\Notified\nclick 1\npage 103\ncheck 1006 0\nclick 2\n");
  EXPECT_EQ(Folder(), PAGE_NEXT);  // EN_UPDATE and EN_CHANGE came and went
  EXPECT_EQ(Options(), PAGE_CANCEL);
  EXPECT_EQ(Events("closed").size(), 2u);
}

}  // namespace
