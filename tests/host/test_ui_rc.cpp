// The resource-script reader: statements, implicit styles (checked against
// what windres writes for the same lines), expressions, strings, the
// preprocessor and the errors windres would also report.
#include <gtest/gtest.h>

#include "platform/host/rc_parse.h"
#include "tests/host/test_dialogs.h"

namespace {

wh::RcScript Parse(const std::string &text) {
  wh::RcScript s;
  std::string error;
  EXPECT_TRUE(wh::ParseRc(text, "t.rc", &s, &error)) << error;
  return s;
}

std::string ParseError(const std::string &text) {
  wh::RcScript s;
  std::string error;
  EXPECT_FALSE(wh::ParseRc(text, "t.rc", &s, &error));
  return error;
}

const char kHeader[] = "10 DIALOG 0, 0, 100, 50\nBEGIN\n";

TEST(UiRcParse, ImplicitControlStylesAsWindresWritesThem) {
  // The numbers are what windres puts into the .res for these lines.
  wh::RcScript s = Parse(std::string(kHeader) +
                         "DEFPUSHBUTTON \"a\", 1, 0,0,1,1\n"
                         "PUSHBUTTON \"b\", 2, 0,0,1,1\n"
                         "LTEXT \"c\", 3, 0,0,1,1\n"
                         "RTEXT \"d\", 4, 0,0,1,1\n"
                         "CTEXT \"e\", 5, 0,0,1,1\n"
                         "EDITTEXT 6, 0,0,1,1\n"
                         "AUTOCHECKBOX \"g\", 7, 0,0,1,1\n"
                         "CHECKBOX \"h\", 8, 0,0,1,1\n"
                         "GROUPBOX \"i\", 9, 0,0,1,1\n"
                         "ICON 103, 10, 0,0\n"
                         "CONTROL \"k\", 11, \"Button\", BS_AUTOCHECKBOX, 0,0,1,1\n"
                         "LTEXT \"l\", 12, 0,0,1,1, NOT WS_GROUP\n"
                         "EDITTEXT 21, 0,0,1,1, ES_AUTOHSCROLL | NOT WS_BORDER\n"
                         "LTEXT \"v\", 22, 0,0,1,1, NOT WS_VISIBLE\n"
                         "LTEXT \"a\", 23, 0,0,1,1, WS_BORDER\n"
                         "RTEXT \"a\", 24, 0,0,1,1, 0\n"
                         "EDITTEXT 25, 0,0,1,1, ES_AUTOHSCROLL\n"
                         "AUTOCHECKBOX \"e\", 26, 0,0,1,1, WS_DISABLED\n"
                         "END\n");
  ASSERT_EQ(s.dialogs.size(), 1u);
  const std::vector<wh::RcControl> &c = s.dialogs[0].controls;
  const DWORD want[] = {0x50010001, 0x50010000, 0x50020000, 0x50020002, 0x50020001, 0x50810000,
                        0x50010003, 0x50010002, 0x50000007, 0x50000003, 0x50000003, 0x50000000,
                        0x50010080, 0x40000000, 0x50800000, 0x50000002, 0x50810080, 0x58010003};
  ASSERT_EQ(c.size(), sizeof want / sizeof want[0]);
  for (size_t i = 0; i < c.size(); i++) EXPECT_EQ(c[i].style, want[i]) << c[i].keyword << " " << c[i].id;
  EXPECT_EQ(c[0].cls, "Button");
  EXPECT_EQ(c[2].cls, "Static");
  EXPECT_EQ(c[5].cls, "Edit");
  EXPECT_EQ(c[9].image, 103);
  EXPECT_EQ(c[9].text, "");
}

TEST(UiRcParse, DialogStylesCaptionFontAndDefaults) {
  wh::RcScript s = Parse(
      "11 DIALOG 0, 0, 100, 50\nBEGIN\nEND\n"
      "12 DIALOG 0, 0, 100, 50\nCAPTION \"x\"\nBEGIN\nEND\n"
      "13 DIALOGEX 0, 0, 100, 50\nSTYLE WS_POPUP\nBEGIN\nEND\n"
      "14 DIALOGEX 1, 2, 3, 4, 77\nSTYLE WS_POPUP\nCAPTION \"x\"\nFONT 8, \"MS Shell Dlg\", 400, 0, 0x1\n"
      "EXSTYLE WS_EX_CLIENTEDGE\n{\n}\n"
      "15 DIALOG 0, 0, 10, 10\nSTYLE WS_POPUP | NOT WS_BORDER | WS_VISIBLE\nBEGIN\nEND\n");
  ASSERT_EQ(s.dialogs.size(), 5u);
  EXPECT_EQ(s.dialogs[0].style, 0x80880000u);  // WS_POPUP | WS_BORDER | WS_SYSMENU
  EXPECT_EQ(s.dialogs[1].style, 0x80c80000u);  // and WS_CAPTION for the caption
  EXPECT_EQ(s.dialogs[2].style, 0x80000000u);
  EXPECT_EQ(s.dialogs[3].style, 0x80c00040u);  // WS_CAPTION and DS_SETFONT added
  EXPECT_EQ(s.dialogs[3].exstyle, (DWORD)WS_EX_CLIENTEDGE);
  EXPECT_EQ(s.dialogs[3].font, "MS Shell Dlg");
  EXPECT_EQ(s.dialogs[3].font_size, 8);
  EXPECT_EQ(s.dialogs[3].w, 3);
  EXPECT_EQ(s.dialogs[4].style, 0x90000000u);
  EXPECT_TRUE(s.dialogs[3].ex);
  EXPECT_FALSE(s.dialogs[0].ex);
}

TEST(UiRcParse, StringsCommentsAndNumbers) {
  wh::RcScript s = Parse(
      "/* a\n comment */ 20 DIALOG 0, 0, 1, 1 // trailing\n"
      "BEGIN\n"
      "  LTEXT \"q\"\"x\\\"y\\n\\t\\\\z // kept\", 010, 0x10, 1L, 2, 3\n"
      "  CONTROL \"p\", -1, PROGRESS_CLASS, 0, 0, 0, 1, 1\n"
      "  CONTROL \"r\", (2 + 3) * 4, BUTTON, NOT WS_VISIBLE, 0, 0, 1, 1\n"
      "END\n");
  ASSERT_EQ(s.dialogs.size(), 1u);
  const std::vector<wh::RcControl> &c = s.dialogs[0].controls;
  ASSERT_EQ(c.size(), 3u);
  EXPECT_EQ(c[0].text, "q\"x\"y\n\t\\z // kept");
  EXPECT_EQ(c[0].id, 8);  // a leading zero is octal, as windres reads it
  EXPECT_EQ(c[0].x, 16);
  EXPECT_EQ(c[0].y, 1);
  EXPECT_EQ(c[1].cls, "msctls_progress32");
  EXPECT_EQ(c[1].id, -1);
  EXPECT_EQ(c[2].cls, "Button");
  EXPECT_EQ(c[2].id, 20);
  EXPECT_EQ(c[2].style, (DWORD)WS_CHILD);
}

TEST(UiRcParse, PreprocessorNamesAndOtherResources) {
  wh::RcScript s = Parse(
      "#ifndef GUARD\n#define GUARD\n#define BASE 100\n#define NEXT (BASE + 1) \\\n  + 1\n#endif\n"
      "#if 0\nthis is not parsed\n#else\n#define ON 1\n#endif\n"
      "#ifdef GUARD\n#define SEEN 5\n#endif\n"
      "#include <windows.h>\n#pragma code_page(1252)\n"
      "LANGUAGE LANG_NEUTRAL, SUBLANG_NEUTRAL\n"
      "NEXT DIALOG DISCARDABLE 0, 0, 1, 1\nBEGIN\n LTEXT \"\", SEEN, 0, 0, 1, 1\nEND\n"
      "MYPAGE DIALOGEX 0, 0, 1, 1\nBEGIN\nEND\n"
      "103 BITMAP \"page.bmp\"\n"
      "104 BITMAP MOVEABLE PURE other.bmp\n"
      "1 VERSIONINFO\n FILEVERSION 1,2,0,0\nBEGIN\n BLOCK \"StringFileInfo\"\n BEGIN\n END\nEND\n"
      "STRINGTABLE\nBEGIN\n 1, \"one\"\nEND\n");
  ASSERT_EQ(s.dialogs.size(), 2u);
  EXPECT_EQ(s.dialogs[0].name.id, 102);
  EXPECT_EQ(s.dialogs[0].controls[0].id, 5);
  EXPECT_EQ(s.dialogs[1].name.id, -1);
  EXPECT_EQ(s.dialogs[1].name.name, "MYPAGE");
  ASSERT_EQ(s.others.size(), 4u);
  EXPECT_EQ(s.others[0].type, "BITMAP");
  EXPECT_EQ(s.others[0].name.id, 103);
  EXPECT_EQ(s.others[0].file, "page.bmp");
  EXPECT_EQ(s.others[1].file, "other.bmp");
  EXPECT_EQ(s.others[2].type, "VERSIONINFO");
  EXPECT_EQ(s.others[3].type, "STRINGTABLE");
}

TEST(UiRcParse, ErrorsNameTheFileAndLine) {
  EXPECT_EQ(ParseError("10 DIALOG 0, 0, 1, 1\nBEGIN\n LTEXT \"x\", NOSUCH, 0, 0, 1, 1\nEND\n"),
            "t.rc:3: unknown name 'NOSUCH'");
  EXPECT_EQ(ParseError("10 DIALOG 0, 0, 1, 1\nBEGIN\n FANCYBOX \"x\", 1, 0, 0, 1, 1\nEND\n"),
            "t.rc:3: unknown control statement 'FANCYBOX'");
  EXPECT_EQ(ParseError("10 DIALOG 0, 0, 1\nBEGIN\nEND\n"), "t.rc:2: expected ','" + std::string(", found 'BEGIN'"));
  EXPECT_EQ(ParseError("10 DIALOG 0, 0, 1, 1\nBEGIN\n LTEXT \"open, 1, 0, 0, 1, 1\nEND\n"),
            "t.rc:3: unterminated string");
  EXPECT_EQ(ParseError("10 DIALOG 0, 0, 1, 1\nBEGIN\n"), "t.rc:1: dialog without END");
  // #line directives (the build marks included files with them) move the place.
  EXPECT_EQ(ParseError("#line 7 \"page.h\"\n#define X Y\n#line 3 \"main.rc\"\n10 DIALOG 0, 0, 1, 1\n"
                       "BEGIN\n LTEXT \"\", X, 0, 0, 1, 1\nEND\n"),
            "main.rc:5: unknown name 'Y'");
  EXPECT_NE(ParseError("#define A B\n#define B A\n10 DIALOG 0, 0, 1, A\nBEGIN\nEND\n").find("expands into itself"),
            std::string::npos);
  EXPECT_NE(ParseError("10 DIALOG 0,0,1,1\nBEGIN\nEND\n10 DIALOG 0,0,1,1\nBEGIN\nEND\n").find("twice"),
            std::string::npos);
}

TEST(UiRcParse, EmbeddedScriptsAreFoundByIdAndName) {
  // test_dialogs.rc is embedded into this program by the build, with its header.
  const wh::RcDialog *d = wh::FindDialogTemplate(MAKEINTRESOURCEA(IDD_TEST_FOLDER));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->caption, "Test Setup ");
  EXPECT_EQ(d->controls.size(), 8u);
  EXPECT_EQ(d->controls[5].text,
            "Welcome; this \"page\" says \"hello\".\nSecond line\twith a tab \\ and a backslash.");
  EXPECT_EQ(d->controls[7].text, "Install into // not a comment:");
  EXPECT_EQ(wh::FindDialogTemplate("#201"), d);
  const wh::RcDialog *named = wh::FindDialogTemplate("nameddlg");
  ASSERT_NE(named, nullptr);
  EXPECT_EQ(named->controls[0].cls, "Button");  // "BUTTON" as Win32 reports the class
  EXPECT_EQ(wh::FindDialogTemplate(MAKEINTRESOURCEA(4242)), nullptr);
  const wh::RcDialog *opt = wh::FindDialogTemplate(MAKEINTRESOURCEA(IDD_TEST_OPTIONS));
  ASSERT_NE(opt, nullptr);
  EXPECT_EQ(opt->controls[7].id, IDC_TEST_DERIVED);
  wh::RcName bmp;
  bmp.id = 903;  // the program's own bitmap is 103
  const wh::RcResource *r = wh::FindResourceEntry("bitmap", bmp);
  ASSERT_NE(r, nullptr);
  const std::string *data = wh::ResourceFileData(r->file);
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->substr(0, 2), "BM");
  EXPECT_EQ(data->size(), 126u);
}

}  // namespace
