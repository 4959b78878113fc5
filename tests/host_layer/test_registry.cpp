// The registry through its Win32 calls: the seeded machine, keys and values,
// the REGEDIT4 file (written after every change, read back as a new process
// would), delete rules, handles and faults.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "platform/host/winhost.h"
#include "platform/host/winhost_test.h"
#include "tests/support/bytes.h"
#include "tests/support/sandbox.h"

namespace {

std::string g_root;

void Fresh(const char *name) {
  g_root = SandboxDir((std::string("registry-") + name).c_str());
  winhost::Reset(g_root.c_str());
}

std::string FileText() { return ReadText(g_root + "/registry.reg"); }

void WriteFileText(const std::string &text) {
  std::ofstream(g_root + "/registry.reg", std::ios::binary) << text;
}

HKEY Create(HKEY root, const char *path) {
  HKEY h = nullptr;
  EXPECT_EQ(RegCreateKeyA(root, path, &h), ERROR_SUCCESS) << path;
  return h;
}

bool Exists(HKEY root, const char *path) {
  HKEY h;
  if (RegOpenKeyA(root, path, &h) != ERROR_SUCCESS) return false;
  if (h != root) RegCloseKey(h);
  return true;
}

void Set(HKEY h, const char *name, DWORD type, const std::string &bytes) {
  ASSERT_EQ(RegSetValueExA(h, name, 0, type, (const BYTE *)bytes.data(), (DWORD)bytes.size()),
            ERROR_SUCCESS);
}

// The value's bytes and type ("<missing>" when the query fails).
std::string Get(HKEY h, const char *name, DWORD *type = nullptr) {
  BYTE buf[512];
  DWORD cb = sizeof buf, t = 0;
  if (RegQueryValueExA(h, name, nullptr, &t, buf, &cb) != ERROR_SUCCESS) return "<missing>";
  if (type) *type = t;
  return std::string((const char *)buf, cb);
}

// A fault plan that fails the next call of api.
std::string Next(const char *api) {
  return std::string(api) + "#" + std::to_string(winhost::CallCount(api) + 1);
}

std::string Sz(const char *text) { return std::string(text, strlen(text) + 1); }

const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

TEST(RegistrySeed, FreshMachineFileKeysAndFolders) {
  Fresh("seed");
  EXPECT_EQ(FileText(),
            "REGEDIT4\n\n"
            "[HKEY_CLASSES_ROOT\\*]\n\n"
            "[HKEY_CURRENT_USER\\Software]\n\n"
            "[HKEY_CURRENT_USER\\Software\\Microsoft]\n\n"
            "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows]\n\n"
            "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion]\n\n"
            "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer]\n\n"
            "[HKEY_CURRENT_USER\\Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders]\n"
            "\"Desktop\"=\"C:\\\\WINDOWS\\\\Desktop\"\n"
            "\"Start Menu\"=\"C:\\\\WINDOWS\\\\Start Menu\"\n"
            "\"Programs\"=\"C:\\\\WINDOWS\\\\Start Menu\\\\Programs\"\n\n"
            "[HKEY_LOCAL_MACHINE\\Software]\n\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Microsoft]\n\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows]\n\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion]\n\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall]\n\n");
  EXPECT_TRUE(std::filesystem::is_directory(g_root + "/c/WINDOWS/Desktop"));
  EXPECT_TRUE(std::filesystem::is_directory(g_root + "/c/WINDOWS/Start Menu/Programs"));

  // The paths the program opens, in its own letter case.
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, "*"));
  EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, "Software\\microsoft\\windows\\CurrentVersion\\Uninstall"));
  HKEY h;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER,
                          "Software\\microsoft\\Windows\\CurrentVersion\\explorer\\Shell Folders", 0,
                          KEY_READ, &h),
            ERROR_SUCCESS);
  DWORD type = 0;
  EXPECT_EQ(Get(h, "Programs", &type), Sz("C:\\WINDOWS\\Start Menu\\Programs"));
  EXPECT_EQ(type, (DWORD)REG_SZ);
  EXPECT_EQ(Get(h, "desktop"), Sz("C:\\WINDOWS\\Desktop"));
  EXPECT_EQ(Get(h, "Start Menu"), Sz("C:\\WINDOWS\\Start Menu"));
  RegCloseKey(h);
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, "*\\shell"));
}

TEST(RegistrySeed, ExistingFileIsNotReseeded) {
  Fresh("noreseed");
  ASSERT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "*"), ERROR_SUCCESS);
  std::filesystem::remove_all(g_root + "/c/WINDOWS/Desktop");
  winhost::ReloadRegistry();
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, "*"));
  EXPECT_FALSE(std::filesystem::exists(g_root + "/c/WINDOWS/Desktop"));
  // Without the file, the next start seeds again.
  std::filesystem::remove(g_root + "/registry.reg");
  winhost::ReloadRegistry();
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, "*"));
  EXPECT_TRUE(std::filesystem::is_directory(g_root + "/c/WINDOWS/Desktop"));
}

TEST(RegistryKeys, CaseInsensitiveNamesKeepTheirCase) {
  Fresh("case");
  RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\MixedCase\\Inner"));
  RegCloseKey(Create(HKEY_CURRENT_USER, "SOFTWARE\\mixedcase\\INNER\\Deep"));
  EXPECT_TRUE(Exists(HKEY_CURRENT_USER, "software\\MIXEDCASE\\inner\\deep"));
  std::string text = FileText();
  EXPECT_NE(text.find("[HKEY_CURRENT_USER\\Software\\MixedCase\\Inner\\Deep]\n"), std::string::npos);
  EXPECT_EQ(text.find("mixedcase"), std::string::npos);
  // Letters of the ANSI code page fold too, as Windows folds them.
  RegCloseKey(Create(HKEY_CURRENT_USER, "\xC4pfel\\\x8Aum"));
  EXPECT_TRUE(Exists(HKEY_CURRENT_USER, "\xE4PFEL\\\x9Aum"));
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, "Apfel"));
  // Value names too: the first spelling stays.
  HKEY h = Create(HKEY_CURRENT_USER, "Software\\MixedCase");
  Set(h, "Name", REG_SZ, Sz("one"));
  Set(h, "NAME", REG_SZ, Sz("two"));
  EXPECT_EQ(Get(h, "name"), Sz("two"));
  RegCloseKey(h);
  EXPECT_NE(FileText().find("\"Name\"=\"two\"\n"), std::string::npos);
}

TEST(RegistryKeys, OpenMissingCreatesNothingCreateMakesEveryComponent) {
  Fresh("open");
  std::string before = FileText();
  HKEY h = (HKEY)1;
  EXPECT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Product", &h), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Vendor", 0, KEY_READ, &h),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(FileText(), before);
  EXPECT_EQ(winhost::OpenKeyHandles(), 0);

  HKEY a = Create(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Product\\1.2");
  EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, "Software\\Vendor"));
  EXPECT_TRUE(Exists(HKEY_LOCAL_MACHINE, "Software\\Vendor\\Product"));
  // Creating an existing key opens it: a new handle on the same key.
  HKEY b = Create(HKEY_LOCAL_MACHINE, "software\\vendor\\product\\1.2");
  EXPECT_NE(a, b);
  Set(a, "V", REG_DWORD, std::string("\x07\0\0\0", 4));
  EXPECT_EQ(Get(b, "V"), std::string("\x07\0\0\0", 4));
  EXPECT_EQ(RegCloseKey(a), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(b), ERROR_SUCCESS);
  EXPECT_NE(FileText().find("[HKEY_LOCAL_MACHINE\\Software\\Vendor\\Product\\1.2]\n\"V\"=dword:00000007\n"),
            std::string::npos);
}

TEST(RegistryKeys, BackslashesInSubKeyPaths) {
  Fresh("slashes");
  HKEY h = (HKEY)1;
  std::string before = FileText();
  // A leading backslash is a bad path for every call; nothing is created.
  EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "\\Lead", &h), ERROR_BAD_PATHNAME);
  EXPECT_EQ(h, nullptr);
  EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "\\", &h), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "\\Software", &h), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "\\Software", 0, KEY_READ, &h), ERROR_BAD_PATHNAME);
  EXPECT_EQ(FileText(), before);
  // Trailing and doubled backslashes add no component.
  RegCloseKey(Create(HKEY_CURRENT_USER, "Trail\\"));
  RegCloseKey(Create(HKEY_CURRENT_USER, "Dbl\\\\Inner\\\\"));
  EXPECT_TRUE(Exists(HKEY_CURRENT_USER, "Trail"));
  EXPECT_TRUE(Exists(HKEY_CURRENT_USER, "Dbl\\Inner"));
  EXPECT_TRUE(Exists(HKEY_CURRENT_USER, "Dbl\\\\Inner\\"));
  EXPECT_EQ(FileText().find("\\]"), std::string::npos);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "\\Trail"), ERROR_BAD_PATHNAME);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Trail\\"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Dbl\\\\Inner"), ERROR_SUCCESS);
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, "Trail"));
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, "Dbl\\Inner"));
  EXPECT_EQ(winhost::OpenKeyHandles(), 0);
}

TEST(RegistryKeys, EmptySubKeyNamesTheKeyItself) {
  Fresh("empty");
  HKEY k = Create(HKEY_CURRENT_USER, "Software\\Self");
  HKEY h = nullptr;
  // RegOpenKeyA hands back the very handle it was given.
  EXPECT_EQ(RegOpenKeyA(k, "", &h), ERROR_SUCCESS);
  EXPECT_EQ(h, k);
  EXPECT_EQ(RegOpenKeyA(k, nullptr, &h), ERROR_SUCCESS);
  EXPECT_EQ(h, k);
  EXPECT_EQ(RegOpenKeyA(HKEY_CLASSES_ROOT, "", &h), ERROR_SUCCESS);
  EXPECT_EQ(h, HKEY_CLASSES_ROOT);
  EXPECT_EQ(winhost::OpenKeyHandles(), 1);
  // RegOpenKeyExA opens a new handle, except on a root.
  EXPECT_EQ(RegOpenKeyExA(k, nullptr, 0, KEY_READ, &h), ERROR_SUCCESS);
  EXPECT_NE(h, k);
  EXPECT_EQ(winhost::OpenKeyHandles(), 2);
  RegCloseKey(h);
  EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "", 0, KEY_READ, &h), ERROR_SUCCESS);
  EXPECT_EQ(h, HKEY_LOCAL_MACHINE);
  // RegCreateKeyA always opens a new handle, on a root too.
  h = Create(HKEY_CURRENT_USER, "");
  EXPECT_NE(h, HKEY_CURRENT_USER);
  Set(h, "AtRoot", REG_SZ, Sz("r"));
  EXPECT_EQ(Get(HKEY_CURRENT_USER, "AtRoot"), Sz("r"));
  RegCloseKey(h);
  EXPECT_NE(FileText().find("REGEDIT4\n\n[HKEY_CLASSES_ROOT\\*]\n\n[HKEY_CURRENT_USER]\n\"AtRoot\"=\"r\"\n"),
            std::string::npos);
  RegCloseKey(k);
  EXPECT_EQ(winhost::OpenKeyHandles(), 0);
}

TEST(RegistryRoots, SixIndependentTrees) {
  Fresh("roots");
  const HKEY roots[] = {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER,   HKEY_LOCAL_MACHINE,
                        HKEY_USERS,        HKEY_CURRENT_CONFIG, HKEY_DYN_DATA};
  for (int i = 0; i < 6; i++) {
    HKEY h = Create(roots[i], "Same");
    Set(h, nullptr, REG_DWORD, std::string(1, (char)i) + std::string(3, '\0'));
    RegCloseKey(h);
  }
  for (int i = 0; i < 6; i++) {
    HKEY h;
    ASSERT_EQ(RegOpenKeyA(roots[i], "Same", &h), ERROR_SUCCESS);
    EXPECT_EQ(Get(h, ""), std::string(1, (char)i) + std::string(3, '\0'));
    RegCloseKey(h);
  }
  // The classes root is a tree of its own (not the machine's Software\Classes).
  RegCloseKey(Create(HKEY_CLASSES_ROOT, ".tnm"));
  EXPECT_FALSE(Exists(HKEY_LOCAL_MACHINE, "Software\\Classes\\.tnm"));
  EXPECT_EQ(RegDeleteKeyA(HKEY_USERS, "Same"), ERROR_SUCCESS);
  EXPECT_TRUE(Exists(HKEY_DYN_DATA, "Same"));
  std::string text = FileText();
  EXPECT_NE(text.find("[HKEY_CURRENT_CONFIG\\Same]\n@=dword:00000004\n"), std::string::npos);
  EXPECT_NE(text.find("[HKEY_DYN_DATA\\Same]\n@=dword:00000005\n"), std::string::npos);
  EXPECT_EQ(text.find("HKEY_USERS"), std::string::npos);
  // Performance data is not there; a root closes without effect.
  HKEY h;
  EXPECT_EQ(RegOpenKeyA(HKEY_PERFORMANCE_DATA, "x", &h), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCreateKeyA(HKEY_PERFORMANCE_DATA, "x", &h), ERROR_INVALID_HANDLE);
  for (HKEY root : roots) EXPECT_EQ(RegCloseKey(root), ERROR_SUCCESS);
  EXPECT_TRUE(Exists(HKEY_DYN_DATA, "Same"));
}

TEST(RegistryValues, TypesDefaultAndQuerySizes) {
  Fresh("values");
  HKEY h = Create(HKEY_CURRENT_USER, "Software\\Values");
  DWORD type = 0, cb = 0;
  BYTE buf[64];
  // The default value: NULL and "" name the same one; it is missing at first.
  cb = sizeof buf;
  EXPECT_EQ(RegQueryValueExA(h, nullptr, nullptr, &type, buf, &cb), ERROR_FILE_NOT_FOUND);
  Set(h, nullptr, REG_SZ, Sz("dflt"));
  EXPECT_EQ(Get(h, ""), Sz("dflt"));
  Set(h, "", REG_EXPAND_SZ, Sz("%WINDIR%"));
  EXPECT_EQ(Get(h, nullptr, &type), Sz("%WINDIR%"));
  EXPECT_EQ(type, (DWORD)REG_EXPAND_SZ);

  Set(h, "Text", REG_SZ, Sz("hello"));
  // Too small a buffer: ERROR_MORE_DATA with the size needed and the type;
  // the buffer is not touched.
  memset(buf, 'x', sizeof buf);
  cb = 5;
  type = 0;
  EXPECT_EQ(RegQueryValueExA(h, "Text", nullptr, &type, buf, &cb), ERROR_MORE_DATA);
  EXPECT_EQ(cb, 6u);
  EXPECT_EQ(type, (DWORD)REG_SZ);
  EXPECT_EQ(buf[0], 'x');
  cb = 0;
  EXPECT_EQ(RegQueryValueExA(h, "Text", nullptr, &type, buf, &cb), ERROR_MORE_DATA);
  EXPECT_EQ(cb, 6u);
  // No data pointer: size and type only.
  cb = 0;
  type = 0;
  EXPECT_EQ(RegQueryValueExA(h, "Text", nullptr, &type, nullptr, &cb), ERROR_SUCCESS);
  EXPECT_EQ(cb, 6u);
  EXPECT_EQ(type, (DWORD)REG_SZ);
  EXPECT_EQ(RegQueryValueExA(h, "Text", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  cb = 6;
  EXPECT_EQ(RegQueryValueExA(h, "Text", nullptr, &type, buf, &cb), ERROR_SUCCESS);
  EXPECT_STREQ((char *)buf, "hello");
  EXPECT_EQ(RegQueryValueExA(h, "Text", nullptr, &type, buf, nullptr), ERROR_INVALID_PARAMETER);
  DWORD reserved = 0;
  cb = sizeof buf;
  EXPECT_EQ(RegQueryValueExA(h, "Text", &reserved, &type, buf, &cb), ERROR_INVALID_PARAMETER);
  cb = 17;
  EXPECT_EQ(RegQueryValueExA(h, "Nothing", nullptr, &type, buf, &cb), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(cb, 17u);

  // A string whose count leaves out the terminator that follows it is
  // stored with it; one followed by another byte is stored, counted and
  // handed out without one, and nothing is written after it.
  Set(h, "Bare", REG_SZ, "abc");
  EXPECT_EQ(Get(h, "Bare"), Sz("abc"));
  Set(h, "BareMulti", REG_MULTI_SZ, std::string("a\0b", 3));
  EXPECT_EQ(Get(h, "BareMulti"), std::string("a\0b\0", 4));
  for (DWORD stringType : {(DWORD)REG_SZ, (DWORD)REG_EXPAND_SZ}) {
    ASSERT_EQ(RegSetValueExA(h, "Unended", 0, stringType, (const BYTE *)"abcX", 3), ERROR_SUCCESS);
    memset(buf, 'x', sizeof buf);
    cb = sizeof buf;
    EXPECT_EQ(RegQueryValueExA(h, "Unended", nullptr, nullptr, buf, &cb), ERROR_SUCCESS);
    EXPECT_EQ(cb, 3u);
    EXPECT_EQ(std::string((char *)buf, 4), "abcx");
    cb = 3;  // exactly its size is enough
    EXPECT_EQ(RegQueryValueExA(h, "Unended", nullptr, nullptr, buf, &cb), ERROR_SUCCESS);
  }
  Set(h, "BareBin", REG_BINARY, "abc");
  EXPECT_EQ(Get(h, "BareBin"), "abc");
  Set(h, "NoText", REG_SZ, "");
  EXPECT_EQ(Get(h, "NoText"), "");

  // Overwriting may change the type; any type number is kept.
  Set(h, "Text", REG_DWORD, std::string("\x2a\0\0\0", 4));
  EXPECT_EQ(Get(h, "Text", &type), std::string("\x2a\0\0\0", 4));
  EXPECT_EQ(type, (DWORD)REG_DWORD);
  Set(h, "Odd", 0x1234, "\x01\x02");
  EXPECT_EQ(Get(h, "Odd", &type), "\x01\x02");
  EXPECT_EQ(type, 0x1234u);
  EXPECT_EQ(RegSetValueExA(h, "Null", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);
  EXPECT_EQ(RegSetValueExA(h, "Null", 0, REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  EXPECT_EQ(Get(h, "Null"), "");

  // A line end cannot be kept in the file's names, so the host refuses it.
  EXPECT_EQ(RegSetValueExA(h, "two\nlines", 0, REG_SZ, (const BYTE *)"", 1), ERROR_INVALID_PARAMETER);
  HKEY k = (HKEY)1;
  EXPECT_EQ(RegCreateKeyA(h, "ok\\not\rok", &k), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(k, nullptr);
  EXPECT_FALSE(Exists(h, "ok"));

  EXPECT_EQ(RegDeleteValueA(h, "TEXT"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(h, "Text"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(Get(h, "Text"), "<missing>");
  EXPECT_EQ(RegDeleteValueA(h, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValueA(h, ""), ERROR_FILE_NOT_FOUND);
  RegCloseKey(h);
}

TEST(RegistryFile, EveryValueSurvivesANewProcess) {
  Fresh("roundtrip");
  std::string bin;
  for (int i = 0; i < 300; i++) bin += (char)(i * 7);
  struct {
    const char *name;
    DWORD type;
    std::string data;
  } values[] = {
      {"", REG_SZ, Sz("default")},
      {"Plain", REG_SZ, Sz("C:\\Program Files\\\"quoted\" \xE9t\xE9")},
      {"Empty", REG_SZ, Sz("")},
      {"NoTerminator", REG_SZ, "abc"},
      {"Embedded", REG_SZ, std::string("ab\0cd\0", 6)},
      {"Lines", REG_SZ, Sz("one\r\ntwo")},
      {"Zero", REG_SZ, ""},
      {"Expand", REG_EXPAND_SZ, Sz("%WINDIR%\\x")},
      {"Multi", REG_MULTI_SZ, std::string("a\0bc\0\0", 6)},
      {"Dword", REG_DWORD, std::string("\x78\x56\x34\x12", 4)},
      {"ShortDword", REG_DWORD, "\x01\x02\x03"},
      {"Binary", REG_BINARY, bin},
      {"NoBytes", REG_BINARY, ""},
      {"None", REG_NONE, "\xff"},
      {"Type 0x1234", 0x1234, "\x10\x20"},
      {"Name \"with\" \\ marks", REG_SZ, Sz("v")},
      {"@", REG_SZ, Sz("at")},
  };
  HKEY h = Create(HKEY_LOCAL_MACHINE, "Software\\Round\\Trip");
  for (auto &v : values) Set(h, v.name, v.type, v.data);
  // Followed by another byte, so that it is stored without a terminator.
  ASSERT_EQ(RegSetValueExA(h, "NoTerminator", 0, REG_SZ, (const BYTE *)"abcX", 3), ERROR_SUCCESS);
  RegCloseKey(h);
  RegCloseKey(Create(HKEY_USERS, ".DEFAULT\\Empty Key"));
  std::string text = FileText();

  winhost::ReloadRegistry();
  EXPECT_EQ(winhost::OpenKeyHandles(), 0);
  ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Round\\Trip", &h), ERROR_SUCCESS);
  for (auto &v : values) {
    DWORD cb = 0, type = 0;
    ASSERT_EQ(RegQueryValueExA(h, v.name, nullptr, &type, nullptr, &cb), ERROR_SUCCESS) << v.name;
    EXPECT_EQ(type, v.type) << v.name;
    std::vector<BYTE> buf(cb + 1);
    ASSERT_EQ(RegQueryValueExA(h, v.name, nullptr, &type, buf.data(), &cb), ERROR_SUCCESS);
    EXPECT_EQ(std::string((char *)buf.data(), cb), v.data) << v.name;
  }
  RegCloseKey(h);
  EXPECT_TRUE(Exists(HKEY_USERS, ".DEFAULT\\Empty Key"));
  // Rewriting what was read gives the same text.
  RegCloseKey(Create(HKEY_USERS, "Touch"));
  RegDeleteKeyA(HKEY_USERS, "Touch");
  EXPECT_EQ(FileText(), text);

  // How the values look in the file.
  EXPECT_NE(text.find("@=\"default\"\n"), std::string::npos);
  EXPECT_NE(text.find("\"Plain\"=\"C:\\\\Program Files\\\\\\\"quoted\\\" \xE9t\xE9\"\n"), std::string::npos);
  EXPECT_NE(text.find("\"Empty\"=\"\"\n"), std::string::npos);
  EXPECT_NE(text.find("\"NoTerminator\"=hex(1):61,62,63\n"), std::string::npos);
  EXPECT_NE(text.find("\"Embedded\"=hex(1):61,62,00,63,64,00\n"), std::string::npos);
  EXPECT_NE(text.find("\"Zero\"=hex(1):\n"), std::string::npos);
  EXPECT_NE(text.find("\"Expand\"=hex(2):25,57,49,4e,44,49,52,25,5c,78,00\n"), std::string::npos);
  EXPECT_NE(text.find("\"Dword\"=dword:12345678\n"), std::string::npos);
  EXPECT_NE(text.find("\"ShortDword\"=hex(4):01,02,03\n"), std::string::npos);
  EXPECT_NE(text.find("\"Binary\"=hex:00,07,0e,15,"), std::string::npos);
  EXPECT_NE(text.find("\"NoBytes\"=hex:\n"), std::string::npos);
  EXPECT_NE(text.find("\"Type 0x1234\"=hex(1234):10,20\n"), std::string::npos);
  EXPECT_NE(text.find("\"Name \\\"with\\\" \\\\ marks\"=\"v\"\n"), std::string::npos);
  EXPECT_NE(text.find("[HKEY_USERS\\.DEFAULT\\Empty Key]\n\n"), std::string::npos);
  // Long hex lists are continued on lines of at most 76 characters.
  std::istringstream lines(text);
  std::string line;
  int continued = 0;
  while (std::getline(lines, line)) {
    bool hex_line = (!line.empty() && line.back() == '\\') || line.compare(0, 2, "  ") == 0;
    if (!hex_line) continue;
    EXPECT_LE(line.size(), 76u) << line;
    if (line.back() == '\\') continued++;
  }
  EXPECT_GE(continued, 10);
}

TEST(RegistryFile, ReadsHandWrittenFiles) {
  Fresh("handwritten");
  WriteFileText(
      "REGEDIT4\r\n"
      "\r\n"
      "; a comment\r\n"
      "[HKEY_LOCAL_MACHINE\\Software\\Hand]\r\n"
      "\"Path\"=\"C:\\WINDOWS\\Desktop\"\r\n"
      "  \"Spaced\" = dword:2a\r\n"
      "\"Long\"=hex:01,02,\\\r\n"
      "  03,04\r\n"
      "\"Gone\"=\"x\"\r\n"
      "\"Gone\"=-\r\n"
      "[hkcu\\Software\\Short]\r\n"
      "@=hex(7):61,00,00\r\n"
      "\"Unended\"=hex(1):43,3a,5c\r\n"
      "\"Nothing\"=hex(1):\r\n"
      "[HKEY_CURRENT_USER\\\\Software\\\\Doubled\\]\r\n"
      "\"In\"=\"side\"\r\n"
      "[HKEY_CLASSES_ROOT\\Old\\Inner]\r\n"
      "[-HKEY_CLASSES_ROOT\\Old]\r\n"
      "[-HKEY_CLASSES_ROOT\\Never\\There]\r\n");
  winhost::ReloadRegistry();
  HKEY h;
  ASSERT_EQ(RegOpenKeyA(HKEY_LOCAL_MACHINE, "software\\hand", &h), ERROR_SUCCESS);
  EXPECT_EQ(Get(h, "Path"), Sz("C:\\WINDOWS\\Desktop"));
  EXPECT_EQ(Get(h, "Spaced"), std::string("\x2a\0\0\0", 4));
  EXPECT_EQ(Get(h, "Long"), "\x01\x02\x03\x04");
  EXPECT_EQ(Get(h, "Gone"), "<missing>");
  RegCloseKey(h);
  ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Short", &h), ERROR_SUCCESS);
  DWORD type;
  EXPECT_EQ(Get(h, nullptr, &type), std::string("a\0\0", 3));
  EXPECT_EQ(type, (DWORD)REG_MULTI_SZ);
  // String lists without a 00 are held and handed out as they stand.
  EXPECT_EQ(Get(h, "Unended", &type), "C:\\");
  EXPECT_EQ(type, (DWORD)REG_SZ);
  EXPECT_EQ(Get(h, "Nothing", &type), "");
  EXPECT_EQ(type, (DWORD)REG_SZ);
  RegCloseKey(h);
  ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Doubled", &h), ERROR_SUCCESS);
  EXPECT_EQ(Get(h, "In"), Sz("side"));
  RegCloseKey(h);
  EXPECT_EQ(Get(HKEY_CURRENT_USER, "In"), "<missing>");
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, "Old"));
  // Nothing was seeded over the file.
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, "*"));
}

TEST(RegistryFile, MalformedFileEndsTheProcess) {
  Fresh("malformed");
  const struct {
    const char *text;
    const char *message;
  } cases[] = {
      {"", "line 1: the file does not start with REGEDIT4"},
      {"Windows Registry Editor Version 5.00\n\n[HKEY_CURRENT_USER\\A]\n", "line 1"},
      {"REGEDIT4\n\n\"Before\"=\"any key\"\n", "line 3: a value before the first"},
      {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"x\"=dword:123456789\n", "line 4: dword"},
      {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"x\"=hex:1,zz\n", "line 4: the hex list"},
      {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"x\"=hex:01,\\\n", "line 4: the hex list continues"},
      {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\n\"x\"=\"open\n", "line 4: a string value"},
      {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A]\nstray text\n", "line 4"},
      {"REGEDIT4\n\n[HKEY_CURRENT_USER\\A\n", "line 3: a key section"},
      {"REGEDIT4\n\n[HKEY_NOWHERE\\A]\n", "line 3: unknown root key"},
      {"REGEDIT4\n\n[HKEY_PERFORMANCE_DATA\\A]\n", "line 3: unknown root key"},
  };
  for (auto &c : cases) {
    WriteFileText(c.text);
    EXPECT_EXIT(winhost::ReloadRegistry(), testing::ExitedWithCode(2), c.message) << c.text;
  }
}

TEST(RegistryFile, WrittenAfterEveryChangeThroughATempFile) {
  Fresh("writes");
  std::string t0 = FileText();
  HKEY h = Create(HKEY_CURRENT_USER, "Software\\W");
  std::string t1 = FileText();
  EXPECT_NE(t1, t0);
  Set(h, "v", REG_SZ, Sz("1"));
  std::string t2 = FileText();
  EXPECT_NE(t2.find("[HKEY_CURRENT_USER\\Software\\W]\n\"v\"=\"1\"\n"), std::string::npos);
  EXPECT_EQ(RegDeleteValueA(h, "v"), ERROR_SUCCESS);
  EXPECT_EQ(FileText(), t1);
  RegCloseKey(h);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\W"), ERROR_SUCCESS);
  EXPECT_EQ(FileText(), t0);
  EXPECT_FALSE(std::filesystem::exists(g_root + "/registry.reg.tmp"));
  // Opening and reading change nothing.
  std::filesystem::remove(g_root + "/registry.reg");
  EXPECT_TRUE(Exists(HKEY_CURRENT_USER, kShellFolders));
  h = Create(HKEY_CURRENT_USER, kShellFolders);  // exists: not written
  EXPECT_EQ(Get(h, "Desktop"), Sz("C:\\WINDOWS\\Desktop"));
  RegCloseKey(h);
  EXPECT_FALSE(std::filesystem::exists(g_root + "/registry.reg"));
}

TEST(RegistryDelete, NeverRecursiveAndOnlyExistingKeys) {
  Fresh("delete");
  RegCloseKey(Create(HKEY_CLASSES_ROOT, "*\\shell\\checksig\\command"));
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "*\\shell\\checksig"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "*\\shell"), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, "*\\shell\\checksig\\command"));
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "*\\shell\\nothing"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "*\\none\\checksig"), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, ""), ERROR_ACCESS_DENIED);  // a root stays

  // Values do not keep a key; bottom-up deletion empties the path.
  HKEY h = Create(HKEY_CLASSES_ROOT, "*\\shell\\checksig");
  Set(h, nullptr, REG_SZ, Sz("&Verify Signature"));
  RegCloseKey(h);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "*\\SHELL\\checksig\\command"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "*\\shell\\CheckSig"), ERROR_SUCCESS);
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, "*\\shell\\checksig"));
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, "*\\shell"));
  // An empty sub-key deletes the key of the handle.
  h = Create(HKEY_CLASSES_ROOT, "*\\shell");
  EXPECT_EQ(RegDeleteKeyA(h, ""), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(h), ERROR_SUCCESS);
  EXPECT_FALSE(Exists(HKEY_CLASSES_ROOT, "*\\shell"));
  EXPECT_EQ(FileText().find("shell"), std::string::npos);
}

TEST(RegistryHandles, CountingClosingAndBadHandles) {
  Fresh("handles");
  EXPECT_EQ(winhost::OpenKeyHandles(), 0);
  HKEY a = Create(HKEY_CURRENT_USER, "Software");
  HKEY b;
  ASSERT_EQ(RegOpenKeyA(a, "Microsoft", &b), ERROR_SUCCESS);
  EXPECT_EQ(winhost::OpenKeyHandles(), 2);
  EXPECT_EQ(RegCloseKey(a), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(a), ERROR_INVALID_HANDLE);
  EXPECT_EQ(winhost::OpenKeyHandles(), 1);
  HKEY c;
  EXPECT_EQ(RegOpenKeyA(a, "Microsoft", &c), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegSetValueExA(a, "x", 0, REG_SZ, (const BYTE *)"", 1), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey((HKEY)(ULONG_PTR)0x4321), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_PERFORMANCE_DATA), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyA(nullptr, "Software", &c), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Software", nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software", nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(winhost::OpenKeyHandles(), 1);
  // A new process, or a test's Reset, starts with none open.
  winhost::ReloadRegistry();
  EXPECT_EQ(winhost::OpenKeyHandles(), 0);
  EXPECT_EQ(RegCloseKey(b), ERROR_INVALID_HANDLE);
  b = Create(HKEY_CURRENT_USER, "Software");
  EXPECT_EQ(winhost::OpenKeyHandles(), 1);
  Fresh("handles");
  EXPECT_EQ(winhost::OpenKeyHandles(), 0);
}

TEST(RegistryHandles, HandleOnADeletedKey) {
  Fresh("deleted");
  HKEY h = Create(HKEY_CURRENT_USER, "Software\\Doomed");
  HKEY other;
  ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Software\\Doomed", &other), ERROR_SUCCESS);
  Set(h, "v", REG_SZ, Sz("x"));
  ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\Doomed"), ERROR_SUCCESS);
  BYTE buf[8];
  DWORD cb = sizeof buf, type;
  HKEY k;
  EXPECT_EQ(RegQueryValueExA(h, "v", nullptr, &type, buf, &cb), ERROR_KEY_DELETED);
  EXPECT_EQ(RegSetValueExA(h, "w", 0, REG_SZ, (const BYTE *)"", 1), ERROR_KEY_DELETED);
  EXPECT_EQ(RegDeleteValueA(h, "v"), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCreateKeyA(h, "Kid", &k), ERROR_KEY_DELETED);
  EXPECT_EQ(RegOpenKeyA(h, "Kid", &k), ERROR_KEY_DELETED);
  EXPECT_EQ(RegOpenKeyExA(h, "", 0, KEY_READ, &k), ERROR_KEY_DELETED);
  EXPECT_EQ(RegDeleteKeyA(h, ""), ERROR_KEY_DELETED);
  EXPECT_EQ(RegOpenKeyA(h, "", &k), ERROR_SUCCESS);  // the same handle back
  EXPECT_EQ(k, h);
  // A key made again under the same name is another key.
  RegCloseKey(Create(HKEY_CURRENT_USER, "Software\\Doomed"));
  EXPECT_EQ(RegQueryValueExA(other, "v", nullptr, &type, buf, &cb), ERROR_KEY_DELETED);
  EXPECT_EQ(RegCloseKey(h), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(other), ERROR_SUCCESS);
  EXPECT_EQ(winhost::OpenKeyHandles(), 0);
}

TEST(RegistryFaults, InjectedFailuresChangeNothing) {
  Fresh("faults");
  std::string before = FileText();
  winhost::SetFaults("RegCreateKeyA#*,RegOpenKeyA#2,RegSetValueExA#1");
  HKEY h = (HKEY)1;
  EXPECT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\New", &h), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(Exists(HKEY_CURRENT_USER, "Software\\New"));  // RegOpenKeyA #1
  EXPECT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Software", &h), ERROR_ACCESS_DENIED);
  ASSERT_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "Software", &h), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueExA(h, "v", 0, REG_SZ, (const BYTE *)"a", 2), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Get(h, "v"), "<missing>");
  EXPECT_EQ(FileText(), before);
  EXPECT_EQ(winhost::CallCount("RegCreateKeyA"), 1u);
  EXPECT_EQ(winhost::CallCount("RegOpenKeyA"), 3u);

  Set(h, "v", REG_SZ, Sz("a"));
  winhost::SetFaults((Next("RegQueryValueExA") + "," + Next("RegDeleteKeyA") + "," +
                      Next("RegDeleteValueA") + "," + Next("RegOpenKeyExA"))
                         .c_str());
  DWORD cb = 0;
  EXPECT_EQ(RegQueryValueExA(h, "v", nullptr, nullptr, nullptr, &cb), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValueA(h, "v"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(Get(h, "v"), Sz("a"));
  EXPECT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "*"), ERROR_ACCESS_DENIED);
  EXPECT_TRUE(Exists(HKEY_CLASSES_ROOT, "*"));
  HKEY k;
  EXPECT_EQ(RegOpenKeyExA(HKEY_CLASSES_ROOT, "*", 0, KEY_READ, &k), ERROR_ACCESS_DENIED);

  // A failed close leaves the handle open; it closes on the next try.
  winhost::SetFaults(Next("RegCloseKey").c_str());
  EXPECT_EQ(winhost::OpenKeyHandles(), 1);
  EXPECT_EQ(RegCloseKey(h), ERROR_INVALID_HANDLE);
  EXPECT_EQ(winhost::OpenKeyHandles(), 1);
  EXPECT_EQ(RegCloseKey(h), ERROR_SUCCESS);
  EXPECT_EQ(winhost::OpenKeyHandles(), 0);
}

}  // namespace
