// COM, the shell link object and the .lnk files it saves (read back by
// lnkinfo, an independent parser, and byte by byte), and the ANSI code page.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utime.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "platform/host/winhost.h"
#include "platform/host/winhost_test.h"
#include "tests/support/bytes.h"
#include "tests/support/lnkinfo.h"
#include "tests/support/sandbox.h"

namespace {

const GUID kBogus = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

// A fresh sandbox with C:\Links and C:\Prog\target.exe (5 bytes).
std::string g_root;
void Fresh(const char *name) {
  g_root = SandboxDir((std::string("shelllink-") + name).c_str());
  winhost::Reset(g_root.c_str());
  std::filesystem::create_directories(g_root + "/c/Links");
  std::filesystem::create_directories(g_root + "/c/Prog");
  std::ofstream(g_root + "/c/Prog/target.exe") << "MZ...";
}

std::u16string Wide(const char *ansi) {
  WCHAR buf[MAX_PATH];
  int n = MultiByteToWideChar(CP_ACP, 0, ansi, -1, buf, MAX_PATH);
  EXPECT_GT(n, 0);
  return n > 0 ? std::u16string(buf) : std::u16string();
}

// The program's whole sequence for one shortcut; returns the last result (of
// Save if it ran, else of the query, else of the creation).
HRESULT SaveLink(const char *target, const char *args, const char *desc, const char *lnk) {
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  IShellLinkA *link = nullptr;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                (void **)&link);
  if (hr == S_OK) {
    link->SetPath(target);
    EXPECT_EQ(link->SetArguments(args), S_OK);
    EXPECT_EQ(link->SetDescription(desc), S_OK);
    IPersistFile *file = nullptr;
    hr = link->QueryInterface(IID_IPersistFile, (void **)&file);
    if (hr == S_OK) {
      hr = file->Save(Wide(lnk).c_str(), TRUE);
      file->Release();
    }
    link->Release();
  }
  CoFreeUnusedLibraries();
  CoUninitialize();
  EXPECT_EQ(winhost::LiveComObjects(), 0);
  EXPECT_EQ(winhost::ComInitDepth(), 0);
  return hr;
}


DWORD U32(const Bytes &b, size_t at) {
  return at + 4 > b.size() ? 0xDEADBEEF
                           : b[at] | b[at + 1] << 8 | b[at + 2] << 16 | (DWORD)b[at + 3] << 24;
}
unsigned U16(const Bytes &b, size_t at) {
  return at + 2 > b.size() ? 0xDEAD : b[at] | b[at + 1] << 8;
}

IShellLinkA *NewLink() {
  IShellLinkA *link = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                             (void **)&link),
            S_OK);
  return link;
}

TEST(Com, InitDepthAndClasses) {
  Fresh("com");
  void *p = (void *)1;
  EXPECT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, &p),
            CO_E_NOTINITIALIZED);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
  EXPECT_EQ(winhost::ComInitDepth(), 2);
  p = (void *)1;
  EXPECT_EQ(CoCreateInstance(kBogus, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, &p),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(p, nullptr);
  p = (void *)1;
  EXPECT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, kBogus, &p),
            E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  IUnknown *unk = nullptr;
  IPersistFile *file = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                             (void **)&unk),
            S_OK);
  EXPECT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IPersistFile,
                             (void **)&file),
            S_OK);
  EXPECT_EQ(winhost::LiveComObjects(), 2);
  EXPECT_EQ(unk->Release(), 0u);
  EXPECT_EQ(file->Release(), 0u);
  EXPECT_EQ(winhost::LiveComObjects(), 0);
  CoUninitialize();
  CoUninitialize();
  CoUninitialize();  // unmatched: nothing happens
  EXPECT_EQ(winhost::ComInitDepth(), 0);
  EXPECT_EQ(CoInitialize(nullptr), S_OK);
  CoUninitialize();
}

TEST(ShellLink, ReferencesAndInterfaces) {
  Fresh("refs");
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  IShellLinkA *link = NewLink();
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(link->AddRef(), 2u);
  EXPECT_EQ(link->Release(), 1u);
  void *p = (void *)1;
  EXPECT_EQ(link->QueryInterface(kBogus, &p), E_NOINTERFACE);
  EXPECT_EQ(p, nullptr);
  IPersistFile *file = nullptr;
  ASSERT_EQ(link->QueryInterface(IID_IPersistFile, (void **)&file), S_OK);
  IUnknown *a = nullptr, *b = nullptr;
  ASSERT_EQ(link->QueryInterface(IID_IUnknown, (void **)&a), S_OK);
  ASSERT_EQ(file->QueryInterface(IID_IUnknown, (void **)&b), S_OK);
  EXPECT_EQ(a, b);  // one identity through both interfaces
  EXPECT_EQ(a->Release(), 3u);
  EXPECT_EQ(b->Release(), 2u);
  EXPECT_EQ(link->Release(), 1u);
  EXPECT_EQ(winhost::LiveComObjects(), 1);  // the persist-file reference keeps it
  EXPECT_EQ(file->Release(), 0u);
  EXPECT_EQ(winhost::LiveComObjects(), 0);
  CoUninitialize();
}

TEST(ShellLink, PathIsNormalisedAndCutToFit) {
  Fresh("get");
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  IShellLinkA *link = NewLink();
  ASSERT_NE(link, nullptr);
  char buf[MAX_PATH] = "x";
  EXPECT_EQ(link->GetPath(buf, MAX_PATH, nullptr, 0), S_FALSE);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(link->SetPath("C:\\Prog\\sub\\..\\.\\target.exe"), S_OK);
  EXPECT_EQ(link->GetPath(buf, MAX_PATH, nullptr, 0), S_OK);
  EXPECT_STREQ(buf, "C:\\Prog\\target.exe");
  EXPECT_EQ(link->GetPath(buf, 5, nullptr, 0), S_OK);
  EXPECT_STREQ(buf, "C:\\P");  // cut to fit, terminated
  EXPECT_EQ(link->SetPath("C:\\Nowhere\\x.exe"), S_FALSE);  // accepted, target missing
  EXPECT_EQ(link->GetPath(buf, MAX_PATH, nullptr, 0), S_OK);
  EXPECT_STREQ(buf, "C:\\Nowhere\\x.exe");
  EXPECT_EQ(link->SetArguments("a b"), S_OK);
  EXPECT_EQ(link->SetArguments(nullptr), S_OK);  // clears
  EXPECT_EQ(link->GetArguments(buf, MAX_PATH), S_OK);
  EXPECT_STREQ(buf, "");
  EXPECT_EQ(link->Release(), 0u);
  CoUninitialize();
}

// Saved links read back by lnkinfo: target, arguments and description, with
// blanks, an empty argument string and characters beyond ASCII.
TEST(ShellLinkFile, ReadBackByLnkinfo) {
  Fresh("lnkinfo");
  std::filesystem::create_directories(g_root + "/c/Prog/Caf\xc3\xa9");
  struct Case {
    const char *target, *args, *desc, *lnk;
    const char *want_target, *want_args, *want_desc;  // as lnkinfo prints them (UTF-8);
                                                      // no arguments: nullptr
  } cases[] = {
      {"C:\\Prog\\target.exe", "", "TolvaMarked Verifier", "C:\\Links\\TolvaMarked Verifier.lnk",
       "C:\\Prog\\target.exe", nullptr, "TolvaMarked Verifier"},
      {"C:\\WINDOWS\\UninstallTNM.exe", "C:\\Program Files\\TNM\\deinst.lst", "Uninstall",
       "C:\\Links\\Uninstall.lnk", "C:\\WINDOWS\\UninstallTNM.exe",
       "C:\\Program Files\\TNM\\deinst.lst", "Uninstall"},
      {"C:\\Prog\\target.exe", "/x \"two words\"  end", "Caf\xe9 \x80 \x93quoted\x94",
       "C:\\Links\\Caf\xe9.lnk", "C:\\Prog\\target.exe", "/x \"two words\"  end",
       "Caf\xc3\xa9 \xe2\x82\xac \xe2\x80\x9cquoted\xe2\x80\x9d"},
      {"C:\\Prog\\Caf\xe9\\target.exe", "\xfc\xdf", "Help", "C:\\Links\\Help.lnk",
       "C:\\Prog\\Caf\xc3\xa9\\target.exe", "\xc3\xbc\xc3\x9f", "Help"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.lnk);
    ASSERT_EQ(SaveLink(c.target, c.args, c.desc, c.lnk), S_OK);
    std::string host = winhost::HostPath(c.lnk);
    ASSERT_FALSE(host.empty());
    std::map<std::string, std::string> info = LnkInfo(host);
    EXPECT_EQ(info["Local path"], c.want_target);  // lnkinfo reads ANSI as 1252
    EXPECT_EQ(info["Description"], c.want_desc);
    if (c.want_args)
      EXPECT_EQ(info["Command line arguments"], c.want_args);
    else
      EXPECT_EQ(info.count("Command line arguments"), 0u);
    EXPECT_EQ(info["Drive type"], "Fixed (3)");
  }
}

TEST(ShellLinkFile, Bytes) {
  Fresh("bytes");
  std::string exe = g_root + "/c/Prog/target.exe";
  struct utimbuf times = {1000000000, 1234567890};  // access, write
  ASSERT_EQ(utime(exe.c_str(), &times), 0);
  ASSERT_EQ(SaveLink("C:\\Prog\\target.exe", "-a", "Desc", "C:\\Links\\b.lnk"), S_OK);
  Bytes b = ReadBytes(g_root + "/c/Links/b.lnk");
  const unsigned char clsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                   0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
  const std::string path = "C:\\Prog\\target.exe";
  // header, LinkInfo (0x1C + VolumeID 0x11 + path + 2 terminators), two
  // strings, terminal block
  size_t info = 0x4C, strings = info + 0x1C + 0x11 + path.size() + 2;
  ASSERT_EQ(b.size(), strings + (2 + 2 * 4) + (2 + 2 * 2) + 4);
  EXPECT_EQ(U32(b, 0), 0x4Cu);
  EXPECT_EQ(memcmp(&b[4], clsid, 16), 0);
  EXPECT_EQ(U32(b, 0x14), 0x02u | 0x04u | 0x20u | 0x80u);
  EXPECT_EQ(U32(b, 0x18), FILE_ATTRIBUTE_ARCHIVE);
  unsigned long long write = U32(b, 0x2C) | (unsigned long long)U32(b, 0x30) << 32;
  unsigned long long access = U32(b, 0x24) | (unsigned long long)U32(b, 0x28) << 32;
  EXPECT_EQ(write, 1234567890ULL * 10000000 + 116444736000000000ULL);
  EXPECT_EQ(access, 1000000000ULL * 10000000 + 116444736000000000ULL);
  EXPECT_NE(U32(b, 0x1C) | U32(b, 0x20), 0u);  // a creation time
  EXPECT_EQ(U32(b, 0x34), 5u);                  // size of the target
  EXPECT_EQ(U32(b, 0x3C), (DWORD)SW_SHOWNORMAL);
  for (size_t i = 0x38; i < 0x3C; i++) EXPECT_EQ(b[i], 0) << i;
  for (size_t i = 0x40; i < 0x4C; i++) EXPECT_EQ(b[i], 0) << i;
  // LinkInfo
  EXPECT_EQ(U32(b, info), strings - info);
  EXPECT_EQ(U32(b, info + 4), 0x1Cu);
  EXPECT_EQ(U32(b, info + 8), 1u);
  EXPECT_EQ(U32(b, info + 12), 0x1Cu);
  EXPECT_EQ(U32(b, info + 16), 0x2Du);
  EXPECT_EQ(U32(b, info + 20), 0u);
  EXPECT_EQ(U32(b, info + 24), 0x2Du + path.size() + 1);
  EXPECT_EQ(U32(b, info + 0x1C), 0x11u);
  EXPECT_EQ(U32(b, info + 0x20), 3u);  // DRIVE_FIXED
  EXPECT_EQ(U32(b, info + 0x28), 0x10u);
  EXPECT_EQ(b[info + 0x2C], 0);  // empty label
  EXPECT_EQ(std::string((const char *)&b[info + 0x2D]), path);
  EXPECT_EQ(b[strings - 1], 0);  // empty CommonPathSuffix
  // NAME_STRING then COMMAND_LINE_ARGUMENTS, UTF-16 without terminators
  EXPECT_EQ(U16(b, strings), 4u);
  EXPECT_EQ(U16(b, strings + 2), (unsigned)'D');
  EXPECT_EQ(U16(b, strings + 8), (unsigned)'c');
  EXPECT_EQ(U16(b, strings + 10), 2u);
  EXPECT_EQ(U16(b, strings + 12), (unsigned)'-');
  EXPECT_EQ(U32(b, b.size() - 4), 0u);
}

TEST(ShellLinkFile, MissingTargetAndEmptyStrings) {
  Fresh("missing");
  ASSERT_EQ(SaveLink("C:\\Nowhere\\x.exe", "", "", "C:\\Links\\m.lnk"), S_OK);
  Bytes b = ReadBytes(g_root + "/c/Links/m.lnk");
  ASSERT_EQ(b.size(), 0x4Cu + 0x1C + 0x11 + strlen("C:\\Nowhere\\x.exe") + 2 + 4);
  EXPECT_EQ(U32(b, 0x14), 0x02u | 0x80u);  // LinkInfo only, no strings
  for (size_t i = 0x18; i < 0x38; i++) EXPECT_EQ(b[i], 0) << i;
  EXPECT_EQ(LnkInfo(g_root + "/c/Links/m.lnk")["Local path"], "C:\\Nowhere\\x.exe");
}

TEST(ShellLinkSave, Refusals) {
  Fresh("refuse");
  EXPECT_EQ(SaveLink("C:\\Prog\\target.exe", "", "d", "C:\\Missing\\a.lnk"),
            HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
  EXPECT_FALSE(std::filesystem::exists(g_root + "/c/Missing"));
  // a folder at the path
  EXPECT_EQ(SaveLink("C:\\Prog\\target.exe", "", "d", "C:\\Prog"), E_ACCESSDENIED);
  // a read-only file stays as it was
  std::string ro = g_root + "/c/Links/ro.lnk";
  std::ofstream(ro) << "old";
  ASSERT_EQ(chmod(ro.c_str(), 0444), 0);
  EXPECT_EQ(SaveLink("C:\\Prog\\target.exe", "", "d", "C:\\Links\\RO.LNK"), E_ACCESSDENIED);
  EXPECT_EQ(ReadBytes(ro).size(), 3u);
  // a writable one is replaced, found case-insensitively
  ASSERT_EQ(chmod(ro.c_str(), 0644), 0);
  EXPECT_EQ(SaveLink("C:\\Prog\\target.exe", "", "d", "C:\\Links\\RO.LNK"), S_OK);
  EXPECT_EQ(U32(ReadBytes(ro), 0), 0x4Cu);
  // nothing else was left in the folder
  int entries = 0;
  for (auto &e : std::filesystem::directory_iterator(g_root + "/c/Links")) {
    (void)e;
    entries++;
  }
  EXPECT_EQ(entries, 1);
}

TEST(ShellLinkFaults, EachStepCanFail) {
  Fresh("faults");
  winhost::SetFaults("CoInitialize#1");
  EXPECT_EQ(CoInitialize(nullptr), E_OUTOFMEMORY);
  EXPECT_EQ(winhost::ComInitDepth(), 0);
  winhost::SetFaults("CoCreateInstance#1");
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  void *p = (void *)1;
  EXPECT_EQ(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, &p),
            E_OUTOFMEMORY);
  EXPECT_EQ(p, nullptr);
  CoUninitialize();
  winhost::SetFaults("QueryInterface#*");
  EXPECT_EQ(SaveLink("C:\\Prog\\target.exe", "", "d", "C:\\Links\\q.lnk"), E_NOINTERFACE);
  winhost::SetFaults("IPersistFile::Save#*");
  EXPECT_EQ(SaveLink("C:\\Prog\\target.exe", "", "d", "C:\\Links\\s.lnk"),
            (HRESULT)0x80030070u);  // STG_E_MEDIUMFULL
  winhost::SetFaults("IShellLinkA::SetPath#*");
  EXPECT_EQ(SaveLink("C:\\Prog\\target.exe", "", "d", "C:\\Links\\t.lnk"), S_OK);
  EXPECT_FALSE(std::filesystem::exists(g_root + "/c/Links/q.lnk"));
  EXPECT_FALSE(std::filesystem::exists(g_root + "/c/Links/s.lnk"));
  EXPECT_EQ(U32(ReadBytes(g_root + "/c/Links/t.lnk"), 0x14), 0x80u | 0x04u);  // saved without a target
  EXPECT_EQ(winhost::CallCount("IPersistFile::Save"), 2u);
  EXPECT_EQ(winhost::CallCount("CoCreateInstance"), 4u);
}

TEST(ComReset, ForgetsObjectsAndDepth) {
  Fresh("reset");
  ASSERT_EQ(CoInitialize(nullptr), S_OK);
  IShellLinkA *link = NewLink();
  ASSERT_NE(link, nullptr);
  EXPECT_EQ(winhost::LiveComObjects(), 1);
  Fresh("reset");
  EXPECT_EQ(winhost::LiveComObjects(), 0);
  EXPECT_EQ(winhost::ComInitDepth(), 0);
  link->Release();  // an object from before the reset does not count
  EXPECT_EQ(winhost::LiveComObjects(), 0);
}

// ---- The ANSI code page ----

TEST(CodePage, Windows1252BothWays) {
  Fresh("cp");
  char all[256];
  for (int i = 0; i < 255; i++) all[i] = (char)(i + 1);
  all[255] = 0;
  WCHAR w[256];
  ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, all, -1, w, 256), 256);
  EXPECT_EQ(w[0x41 - 1], u'A');
  EXPECT_EQ(w[0x80 - 1], 0x20AC);  // euro sign
  EXPECT_EQ(w[0x81 - 1], 0x0081);  // undefined in 1252: the C1 control
  EXPECT_EQ(w[0x8A - 1], 0x0160);
  EXPECT_EQ(w[0x9D - 1], 0x009D);
  EXPECT_EQ(w[0x9F - 1], 0x0178);
  EXPECT_EQ(w[0xA0 - 1], 0x00A0);
  EXPECT_EQ(w[0xFF - 1], 0x00FF);
  EXPECT_EQ(w[255], 0);
  char back[256];
  BOOL used = TRUE;
  ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, w, -1, back, 256, nullptr, &used), 256);
  EXPECT_EQ(memcmp(back, all, 256), 0);  // every byte survives the round trip
  EXPECT_FALSE(used);

  const WCHAR odd[] = {u'a', 0x4E2D, 0xD83D, 0xDE00, 0x0100, 0};
  ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, odd, -1, back, 256, nullptr, &used), 6);
  EXPECT_STREQ(back, "a????");
  EXPECT_TRUE(used);
  ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, odd, 2, back, 256, "#", nullptr), 2);
  EXPECT_EQ(std::string(back, 2), "a#");
}

// Sizes and the short buffer are in the conformance run; here the refusals.
TEST(CodePage, Refusals) {
  Fresh("cpsize");
  WCHAR w[8] = {0};
  EXPECT_EQ(MultiByteToWideChar(1252, 0, "", -1, w, 8), 1);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcd", 4, w, 4), 4);  // no terminator asked for
  const struct {
    UINT cp;
    const char *src;
    int cb;
    WCHAR *dst;
    int cch;
  } bad[] = {{CP_ACP, nullptr, -1, w, 8}, {CP_ACP, "a", 0, w, 8}, {CP_ACP, "a", -1, nullptr, 8},
             {CP_ACP, "a", -1, w, -1},    {65001, "a", -1, w, 8}};
  for (const auto &c : bad) {
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(c.cp, 0, c.src, c.cb, c.dst, c.cch), 0);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
  }
  winhost::SetFaults("MultiByteToWideChar#*");
  SetLastError(0);
  EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, w, 8), 0);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INSUFFICIENT_BUFFER);
}

}  // namespace
