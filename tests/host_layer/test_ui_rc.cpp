// The resource reader: dialog templates in both binary forms and .res
// entries, laid out here field by field as the formats define them, and what
// windres wrote for test_dialogs.rc, which the build embeds into this program.
#include <gtest/gtest.h>

#include <vector>

#include "platform/host/resources.h"
#include "tests/host_layer/test_dialogs.h"
#include "tests/support/bytes.h"

namespace {

// Little-endian words and double words, UTF-16 strings and DWORD padding.
struct Bytes {
  std::string b;
  Bytes &W(unsigned v) {
    b += (char)(v & 0xFF);
    b += (char)(v >> 8 & 0xFF);
    return *this;
  }
  Bytes &D(unsigned long v) { return W(v & 0xFFFF).W(v >> 16 & 0xFFFF); }
  Bytes &S(const char *s) {
    for (; *s; s++) W((unsigned char)*s);
    return W(0);
  }
  Bytes &Ord(unsigned v) { return W(0xFFFF).W(v); }
  Bytes &Align() {
    while (b.size() % 4) b += '\0';
    return *this;
  }
};

// A DIALOGEX template with a font, three items of different shapes and no
// padding after the last one.
std::string ExTemplate() {
  Bytes t;
  t.W(1).W(0xFFFF).D(77).D(WS_EX_CLIENTEDGE).D(WS_POPUP | WS_CAPTION | DS_SETFONT).W(3);
  t.W(1).W(2).W(300).W(0xFFFB).S("MENU1").Ord(0x7FF).S("Caption");
  t.W(9).W(700).W(0x0101).S("MS Shell Dlg");  // size, weight, italic and character set, face
  // A class by ordinal, a text of odd length and two bytes of creation data.
  t.Align().D(5).D(WS_EX_STATICEDGE).D(WS_CHILD | BS_AUTOCHECKBOX).W(1).W(2).W(3).W(4).D(0xFFFFFFFF);
  t.Ord(0x80).S("Tick").W(2).W(0xABCD);
  // A class by name in another case, a text by ordinal (a picture).
  t.Align().D(0).D(0).D(WS_CHILD | SS_BITMAP).W(10).W(20).W(30).W(40).D(70000);
  t.S("MSCTLS_progress32").Ord(103).W(0);
  t.Align().D(0).D(0).D(WS_CHILD).W(0).W(0).W(1).W(1).D(9).S("MyClass").S("").W(0);
  return t.b;
}

TEST(UiRes, ReadsADialogExTemplateFieldByField) {
  wh::RcDialog d;
  ASSERT_TRUE(wh::ReadDialogTemplate(ExTemplate(), &d));
  EXPECT_EQ(d.style, (DWORD)(WS_POPUP | WS_CAPTION | DS_SETFONT));
  EXPECT_EQ(d.exstyle, (DWORD)WS_EX_CLIENTEDGE);
  EXPECT_EQ(std::vector<int>({d.x, d.y, d.w, d.h}), std::vector<int>({1, 2, 300, -5}));
  EXPECT_EQ(d.caption, "Caption");
  EXPECT_EQ(d.font_size, 9);
  EXPECT_EQ(d.font, "MS Shell Dlg");
  ASSERT_EQ(d.controls.size(), 3u);
  const wh::RcControl &a = d.controls[0], &b = d.controls[1], &c = d.controls[2];
  EXPECT_EQ(a.cls, "Button");
  EXPECT_EQ(a.text, "Tick");
  EXPECT_EQ(a.image, -1);
  EXPECT_EQ(a.id, -1);  // 32 bits
  EXPECT_EQ(a.style, (DWORD)(WS_CHILD | BS_AUTOCHECKBOX));
  EXPECT_EQ(a.exstyle, (DWORD)WS_EX_STATICEDGE);
  EXPECT_EQ(std::vector<int>({a.x, a.y, a.w, a.h}), std::vector<int>({1, 2, 3, 4}));
  EXPECT_EQ(b.cls, "msctls_progress32");
  EXPECT_EQ(b.text, "");
  EXPECT_EQ(b.image, 103);
  EXPECT_EQ(b.id, 70000);
  EXPECT_EQ(std::vector<int>({b.x, b.y, b.w, b.h}), std::vector<int>({10, 20, 30, 40}));
  EXPECT_EQ(c.cls, "MyClass");
  EXPECT_EQ(c.id, 9);
}

TEST(UiRes, RefusesCutTemplates) {
  const std::string t = ExTemplate();
  for (size_t n = 0; n < t.size(); n++) {
    wh::RcDialog d;
    d.caption = "untouched";
    EXPECT_FALSE(wh::ReadDialogTemplate(t.substr(0, n), &d)) << n << " bytes";
    EXPECT_EQ(d.caption, "untouched");
  }
  std::string more = t;
  more[16] = 4;  // one item more than there are
  wh::RcDialog d;
  EXPECT_FALSE(wh::ReadDialogTemplate(more, &d));
}

// One .res entry: the header with type and name, padded, then the data, padded.
void Entry(Bytes *res, const Bytes &typeAndName, const std::string &data) {
  Bytes h = typeAndName;
  h.Align().D(0).W(0x1030).W(0x409).D(0).D(0);  // versions, memory flags, language
  res->D(data.size()).D(8 + h.b.size());
  res->b += h.b + data;
  res->Align();
}

TEST(UiRes, ResEntriesAreFoundByTypeAndName) {
  Bytes res;
  Entry(&res, Bytes().Ord(0).Ord(0), "");  // what every .res file starts with
  Entry(&res, Bytes().Ord(5).S("Ab"), ExTemplate());
  Entry(&res, Bytes().S("MYDATA").Ord(7001), "xyz");
  Entry(&res, Bytes().Ord(5).Ord(7002), ExTemplate());
  wh::RegisterResources((const unsigned char *)res.b.data(), res.b.size());
  const wh::RcDialog *ab = wh::FindDialogTemplate("aB");
  ASSERT_NE(ab, nullptr);
  EXPECT_EQ(ab->name.name, "AB");
  EXPECT_EQ(ab->caption, "Caption");
  const wh::RcDialog *num = wh::FindDialogTemplate(MAKEINTRESOURCEA(7002));
  ASSERT_NE(num, nullptr);
  EXPECT_EQ(wh::FindDialogTemplate("#7002"), num);
  EXPECT_EQ(num->controls.size(), 3u);
  const std::string *data = wh::FindResourceData("mydata", MAKEINTRESOURCEA(7001));
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(*data, "xyz");
  EXPECT_EQ(wh::FindResourceData(MAKEINTRESOURCEA(2), MAKEINTRESOURCEA(7001)), nullptr);
  EXPECT_EQ(wh::FindDialogTemplate(MAKEINTRESOURCEA(7001)), nullptr);
}

TEST(UiRes, WindresOutputIsFoundByIdAndName) {
  const wh::RcDialog *d = wh::FindDialogTemplate(MAKEINTRESOURCEA(IDD_TEST_FOLDER));
  ASSERT_NE(d, nullptr);
  EXPECT_EQ(d->caption, "Test Setup ");
  EXPECT_EQ(d->font, "MS Sans Serif");
  ASSERT_EQ(d->controls.size(), 8u);
  EXPECT_EQ(d->controls[3].id, -1);  // a DIALOGEX holds ids in 32 bits
  EXPECT_EQ(d->controls[4].image, 903);
  EXPECT_EQ(d->controls[5].text,
            "Welcome; this \"page\" says \"hello\".\nSecond line\twith a tab \\ and a backslash.");
  EXPECT_EQ(d->controls[7].text, "Install into // not a comment:");
  EXPECT_EQ(wh::FindDialogTemplate("#201"), d);
  const wh::RcDialog *named = wh::FindDialogTemplate("nameddlg");
  ASSERT_NE(named, nullptr);
  EXPECT_EQ(named->controls[0].cls, "Button");  // "BUTTON" in the script
  EXPECT_EQ(wh::FindDialogTemplate(MAKEINTRESOURCEA(4242)), nullptr);
  const wh::RcDialog *opt = wh::FindDialogTemplate(MAKEINTRESOURCEA(IDD_TEST_OPTIONS));
  ASSERT_NE(opt, nullptr);
  EXPECT_EQ(opt->controls[5].id, 0xFFFF);  // a DIALOG holds them in 16 bits
  EXPECT_EQ(opt->controls[7].id, IDC_TEST_DERIVED);
  const wh::RcDialog *plain = wh::FindDialogTemplate(MAKEINTRESOURCEA(IDD_TEST_PLAIN));
  ASSERT_NE(plain, nullptr);
  EXPECT_EQ(plain->font, "");  // no FONT, so no DS_SETFONT and no font in the template
  ASSERT_EQ(plain->controls.size(), 1u);
  EXPECT_EQ(plain->controls[0].text, "OK");
  EXPECT_EQ(plain->controls[0].cls, "Button");
  // The bitmap is the file less its BITMAPFILEHEADER.
  const std::string file = ReadText(std::string(SOURCE_DIR) + "/tests/host_layer/test_page.bmp");
  ASSERT_EQ(file.size(), 126u);
  const std::string *dib = wh::FindResourceData(MAKEINTRESOURCEA(2), MAKEINTRESOURCEA(903));
  ASSERT_NE(dib, nullptr);
  EXPECT_EQ(*dib, file.substr(14));
}

}  // namespace
