// Registry actions through the host registry: the shell folders, key creation
// below an existing path, the uninstall entry and the all-files verb, with
// their results, values, log records and closed handles.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "actions/registry_actions.h"
#include "common/shell_folders.h"
#include "tests/product/actions_fixture.h"

namespace {

const char kShellFolders[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
const char kUninstall[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
const char kUninstallEntry[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TNM Verifier";
const char kUninstallRecord[] =
    "HKLM:Software\\microsoft\\windows\\CurrentVersion\\Uninstall\\TNM Verifier";
const char kUninstallCommand[] = "C:\\WINDOWS\\UninstallTNM.exe C:\\TNM\\deinst.lst";
const char kVerbCommand[] = "C:\\TNM\\qenvo.exe \"%1\"";

// Every path must leave no key handle and no heap block behind.
void ExpectReleased() {
  EXPECT_EQ(winhost::OpenKeyHandles(), 0);
  EXPECT_EQ(winhost::LiveHeapBlocks(), 0);
}

std::string StringValue(HKEY root, const char *path, const char *name) {
  DWORD type = 0;
  std::string data;
  if (!ReadValue(root, path, name, &type, &data)) return "<missing>";
  EXPECT_EQ(type, (DWORD)REG_SZ) << name;
  EXPECT_TRUE(!data.empty() && data.back() == 0) << name << ": stored without its terminator";
  return data.substr(0, data.size() - 1);
}

// ---- QueryShellFolder ----

TEST(QueryShellFolder, SeededFoldersAsStored) {
  FreshSandbox("qsf-seeded");
  struct {
    const char *name, *want;
  } cases[] = {{"Desktop", "C:\\WINDOWS\\Desktop"},
               {"Start Menu", "C:\\WINDOWS\\Start Menu"},
               {"Programs", "C:\\WINDOWS\\Start Menu\\Programs"}};
  for (const auto &c : cases) {
    char buffer[261];
    memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(QueryShellFolder(buffer, c.name, sizeof buffer), 0) << c.name;
    EXPECT_STREQ(buffer, c.want);
    ExpectReleased();
  }
  // Six opens, each with its close, and one query per folder.
  EXPECT_EQ(winhost::CallCount("RegOpenKeyExA"), 18u);
  EXPECT_EQ(winhost::CallCount("RegQueryValueExA"), 3u);
}

TEST(QueryShellFolder, ValueTypesAndSizes) {
  FreshSandbox("qsf-values");
  const char expand[] = "%windir%\\Desktop";
  SetValue(HKEY_CURRENT_USER, kShellFolders, "Desktop", REG_EXPAND_SZ, expand, sizeof expand);
  std::string fits(260, 'a'), tooLong(261, 'b');
  SetValue(HKEY_CURRENT_USER, kShellFolders, "Fits", REG_SZ, fits.c_str(), 261);
  SetValue(HKEY_CURRENT_USER, kShellFolders, "TooLong", REG_SZ, tooLong.c_str(), 262);
  DWORD number = 42;
  SetValue(HKEY_CURRENT_USER, kShellFolders, "Number", REG_DWORD, &number, sizeof number);
  SetValue(HKEY_CURRENT_USER, kShellFolders, "Binary", REG_BINARY, "C:\\", 4);
  const char multi[] = "C:\\A\0C:\\B\0";
  SetValue(HKEY_CURRENT_USER, kShellFolders, "Multi", REG_MULTI_SZ, multi, sizeof multi);

  char buffer[261];
  EXPECT_EQ(QueryShellFolder(buffer, "Desktop", sizeof buffer), 0);
  EXPECT_STREQ(buffer, "%windir%\\Desktop");  // not expanded
  EXPECT_EQ(QueryShellFolder(buffer, "Fits", sizeof buffer), 0);
  EXPECT_EQ(std::string(buffer), fits);
  EXPECT_EQ(QueryShellFolder(buffer, "TooLong", sizeof buffer), -7);
  EXPECT_EQ(QueryShellFolder(buffer, "Missing", sizeof buffer), -7);
  EXPECT_EQ(QueryShellFolder(buffer, "Number", sizeof buffer), -7);
  EXPECT_EQ(QueryShellFolder(buffer, "Binary", sizeof buffer), -7);
  EXPECT_EQ(QueryShellFolder(buffer, "Multi", sizeof buffer), -7);
  ExpectReleased();
}

// A value is text only up to the size stored: one without its terminator is
// ended there, whatever the buffer held before, and an empty one (nothing, or
// the terminator alone) names no folder.
TEST(QueryShellFolder, EmptyOrUnterminatedValues) {
  for (const char *name : {"Desktop", "Start Menu", "Programs"}) {
    SCOPED_TRACE(name);
    FreshSandbox("qsf-unterminated");
    char buffer[261];
    memset(buffer, 'x', sizeof buffer);
    SetValue(HKEY_CURRENT_USER, kShellFolders, name, REG_SZ, "", 0);
    EXPECT_EQ(QueryShellFolder(buffer, name, sizeof buffer), -7);
    SetValue(HKEY_CURRENT_USER, kShellFolders, name, REG_EXPAND_SZ, "", 1);
    EXPECT_EQ(QueryShellFolder(buffer, name, sizeof buffer), -7);

    // The buffer still holds the last folder read, longer than this one.
    strcpy(buffer, "C:\\WINDOWS\\Start Menu\\Programs");
    SetValue(HKEY_CURRENT_USER, kShellFolders, name, REG_SZ, "D:\\MenuX", 7);
    EXPECT_EQ(QueryShellFolder(buffer, name, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "D:\\Menu");

    // Without a terminator, 260 characters still fit; 261 leave no room.
    std::string fits(260, 'f'), full(262, 'g');
    SetValue(HKEY_CURRENT_USER, kShellFolders, name, REG_SZ, (fits + "X").c_str(), 260);
    memset(buffer, 'x', sizeof buffer);
    EXPECT_EQ(QueryShellFolder(buffer, name, sizeof buffer), 0);
    EXPECT_EQ(std::string(buffer), fits);
    SetValue(HKEY_CURRENT_USER, kShellFolders, name, REG_SZ, full.c_str(), 261);
    EXPECT_EQ(QueryShellFolder(buffer, name, sizeof buffer), -7);
    ExpectReleased();
  }
}

// The k-th key of the path missing gives -k; deleting the chain from
// "Shell Folders" up to level k leaves everything above it in place.
TEST(QueryShellFolder, MissingKeyAtEachLevel) {
  const char *chain[] = {"Software",
                         "Software\\Microsoft",
                         "Software\\Microsoft\\Windows",
                         "Software\\Microsoft\\Windows\\CurrentVersion",
                         "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer",
                         kShellFolders};
  for (int level = 1; level <= 6; level++) {
    SCOPED_TRACE(level);
    FreshSandbox("qsf-levels");
    for (int k = 6; k >= level; k--) ASSERT_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, chain[k - 1]), 0);
    char buffer[261];
    EXPECT_EQ(QueryShellFolder(buffer, "Desktop", sizeof buffer), -level);
    EXPECT_EQ(winhost::CallCount("RegOpenKeyExA"), (unsigned long)level);
    ExpectReleased();
  }
}

TEST(QueryShellFolder, FailedOpenOrQueryClosesWhatWasOpened) {
  for (int level = 1; level <= 6; level++) {
    SCOPED_TRACE(level);
    FreshSandbox("qsf-faults");
    winhost::SetFaults(("RegOpenKeyExA#" + std::to_string(level)).c_str());
    char buffer[261];
    EXPECT_EQ(QueryShellFolder(buffer, "Desktop", sizeof buffer), -level);
    ExpectReleased();
  }
  FreshSandbox("qsf-faults");
  winhost::SetFaults("RegQueryValueExA#1");
  char buffer[261];
  EXPECT_EQ(QueryShellFolder(buffer, "Desktop", sizeof buffer), -7);
  ExpectReleased();
}

// ---- OpenPathCreateKey ----

TEST(OpenPathCreateKey, CreatesBelowExistingPath) {
  FreshSandbox("opck-create");
  HKEY key = NULL;
  ASSERT_EQ(OpenPathCreateKey(HKEY_LOCAL_MACHINE, "software\\MICROSOFT\\windows\\currentversion"
                                                  "\\uninstall",
                              "New Entry", &key),
            0);
  ASSERT_NE(key, (HKEY)NULL);
  EXPECT_EQ(winhost::OpenKeyHandles(), 1);  // only the new key, handed to the caller
  EXPECT_EQ(RegSetValueExA(key, "V", 0, REG_SZ, (const BYTE *)"x", 2), 0);  // a usable handle
  EXPECT_EQ(RegCloseKey(key), 0);
  ExpectReleased();
  EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, (std::string(kUninstall) + "\\New Entry").c_str(), "V"),
            "x");
  EXPECT_EQ(winhost::CallCount("RegOpenKeyA"), 5u);  // one open per component
  EXPECT_EQ(winhost::CallCount("RegCreateKeyA"), 1u);

  // An existing key is opened, not refused.
  ASSERT_EQ(OpenPathCreateKey(HKEY_LOCAL_MACHINE, kUninstall, "New Entry", &key), 0);
  RegCloseKey(key);
  ExpectReleased();
}

TEST(OpenPathCreateKey, MissingComponentCreatesNothing) {
  std::string root = FreshSandbox("opck-missing");
  HKEY key = NULL;
  EXPECT_EQ(OpenPathCreateKey(HKEY_LOCAL_MACHINE, "Software\\Nowhere\\Deeper", "Name", &key), -103);
  EXPECT_EQ(winhost::CallCount("RegOpenKeyA"), 2u);  // stops at the missing one
  EXPECT_EQ(winhost::CallCount("RegCreateKeyA"), 0u);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Nowhere"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Name"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Name"));
  ExpectReleased();

  // A missing last component, too: nothing of the path is ever created.
  EXPECT_EQ(OpenPathCreateKey(HKEY_CLASSES_ROOT, "*\\shell", "verb", &key), -103);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "*\\shell"));
  ExpectReleased();
}

TEST(OpenPathCreateKey, EmptyPathTrailingAndDoubledBackslash) {
  FreshSandbox("opck-shapes");
  HKEY key = NULL;
  ASSERT_EQ(OpenPathCreateKey(HKEY_CURRENT_USER, "", "TopLevel", &key), 0);
  EXPECT_EQ(winhost::CallCount("RegOpenKeyA"), 0u);
  RegCloseKey(key);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "TopLevel"));
  ExpectReleased();

  // The trailing backslash adds no component: one open only.
  ASSERT_EQ(OpenPathCreateKey(HKEY_CURRENT_USER, "Software\\", "Trail", &key), 0);
  EXPECT_EQ(winhost::CallCount("RegOpenKeyA"), 1u);
  RegCloseKey(key);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Trail"));
  ExpectReleased();

  // A doubled backslash names no key between its halves.
  ASSERT_EQ(OpenPathCreateKey(HKEY_CURRENT_USER, "Software\\\\Microsoft", "Doubled", &key), 0);
  EXPECT_EQ(winhost::CallCount("RegOpenKeyA"), 3u);
  RegCloseKey(key);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Microsoft\\Doubled"));
  ExpectReleased();
}

TEST(OpenPathCreateKey, FailuresReleaseEverything) {
  FreshSandbox("opck-faults");
  HKEY key = NULL;
  winhost::SetFaults("RegCreateKeyA#1");
  EXPECT_EQ(OpenPathCreateKey(HKEY_LOCAL_MACHINE, kUninstall, "X", &key), -104);
  ExpectReleased();
  FailFromNow("RegOpenKeyA", 3);
  EXPECT_EQ(OpenPathCreateKey(HKEY_LOCAL_MACHINE, kUninstall, "X", &key), -103);
  ExpectReleased();
  // The work copy of the path cannot be had: nothing is opened or created.
  FailFromNow("HeapAlloc", 1);
  unsigned long opens = winhost::CallCount("RegOpenKeyA");
  EXPECT_EQ(OpenPathCreateKey(HKEY_LOCAL_MACHINE, kUninstall, "X", &key), -103);
  EXPECT_EQ(winhost::CallCount("RegOpenKeyA"), opens);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, (std::string(kUninstall) + "\\X").c_str()));
  ExpectReleased();
}

// ---- RegisterUninstall ----

TEST(RegisterUninstall, NewKeyWithBothValues) {
  std::string root = FreshSandbox("ru-new");
  FILE *log = tmpfile();
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(RegisterUninstall("TNM Verifier", "TolvaMarked Verifier", kUninstallCommand, log), 0);
  EXPECT_EQ(LogLines(log), std::vector<std::string>{kUninstallRecord});
  ExpectReleased();
  EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, kUninstallEntry, "DisplayName"), "TolvaMarked Verifier");
  EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, kUninstallEntry, "UninstallString"), kUninstallCommand);
  // The file shows plain strings: REG_SZ with exactly one terminator stored.
  EXPECT_EQ(RegFileSection(root, std::string("HKEY_LOCAL_MACHINE\\") + kUninstallEntry),
            (std::vector<std::string>{
                "\"DisplayName\"=\"TolvaMarked Verifier\"",
                "\"UninstallString\"=\"C:\\\\WINDOWS\\\\UninstallTNM.exe C:\\\\TNM\\\\deinst.lst\""}));
  EXPECT_EQ(winhost::CallCount("RegSetValueExA"), 2u);
  fclose(log);

  // Without a log the entry is made all the same.
  EXPECT_EQ(RegisterUninstall("Other", "Other Product", "x.exe", NULL), 0);
  EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, (std::string(kUninstall) + "\\Other").c_str(),
                        "DisplayName"),
            "Other Product");
  ExpectReleased();
}

TEST(RegisterUninstall, ExistingKeyIsOverwrittenAndLogged) {
  FreshSandbox("ru-existing");
  SetValue(HKEY_LOCAL_MACHINE, kUninstallEntry, "DisplayName", REG_SZ, "Old name, longer", 17);
  DWORD number = 7;
  SetValue(HKEY_LOCAL_MACHINE, kUninstallEntry, "UninstallString", REG_DWORD, &number, 4);
  FILE *log = tmpfile();
  EXPECT_EQ(RegisterUninstall("tnm verifier", "TolvaMarked Verifier", kUninstallCommand, log), 0);
  EXPECT_EQ(LogLines(log), std::vector<std::string>{
                               "HKLM:Software\\microsoft\\windows\\CurrentVersion\\Uninstall\\"
                               "tnm verifier"});
  EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, kUninstallEntry, "DisplayName"), "TolvaMarked Verifier");
  EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, kUninstallEntry, "UninstallString"), kUninstallCommand);
  ExpectReleased();
  fclose(log);
}

TEST(RegisterUninstall, ValueFailuresKeepTheRecord) {
  FreshSandbox("ru-values");
  FILE *log = tmpfile();
  winhost::SetFaults("RegSetValueExA#1");
  EXPECT_EQ(RegisterUninstall("TNM Verifier", "TolvaMarked Verifier", kUninstallCommand, log), -100);
  EXPECT_EQ(LogLines(log), std::vector<std::string>{kUninstallRecord});
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallEntry));  // stays for the rollback
  EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, kUninstallEntry, "DisplayName"), "<missing>");
  EXPECT_EQ(winhost::CallCount("RegSetValueExA"), 1u);  // the second is not tried
  ExpectReleased();
  fclose(log);

  FreshSandbox("ru-values");
  log = tmpfile();
  winhost::SetFaults("RegSetValueExA#2");
  EXPECT_EQ(RegisterUninstall("TNM Verifier", "TolvaMarked Verifier", kUninstallCommand, log), -101);
  EXPECT_EQ(LogLines(log), std::vector<std::string>{kUninstallRecord});
  EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, kUninstallEntry, "DisplayName"), "TolvaMarked Verifier");
  EXPECT_EQ(StringValue(HKEY_LOCAL_MACHINE, kUninstallEntry, "UninstallString"), "<missing>");
  ExpectReleased();
  fclose(log);
}

TEST(RegisterUninstall, KeyFailuresLogNothing) {
  FreshSandbox("ru-keys");
  FILE *log = tmpfile();
  ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, kUninstall), 0);
  EXPECT_EQ(RegisterUninstall("TNM Verifier", "TolvaMarked Verifier", kUninstallCommand, log), -103);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstall));
  EXPECT_TRUE(LogLines(log).empty());
  ExpectReleased();

  FreshSandbox("ru-keys");
  winhost::SetFaults("RegCreateKeyA#1");
  EXPECT_EQ(RegisterUninstall("TNM Verifier", "TolvaMarked Verifier", kUninstallCommand, log), -104);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kUninstallEntry));
  EXPECT_TRUE(LogLines(log).empty());
  EXPECT_EQ(winhost::CallCount("RegSetValueExA"), 0u);
  ExpectReleased();
  fclose(log);
}

// ---- RegisterShellVerb ----

const char kVerbKey[] = "*\\shell\\checksig";
const char kCommandKey[] = "*\\shell\\checksig\\command";
const std::vector<std::string> kVerbRecords = {"HKCR:*\\shell\\checksig\\command",
                                               "HKCR:*\\shell\\checksig"};

TEST(RegisterShellVerb, VerbAndCommandInOrder) {
  std::string root = FreshSandbox("rsv-ok");
  ASSERT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "*\\shell"));  // the seed has only HKCR\*
  FILE *log = tmpfile();
  fputs("Name:TolvaMarked Verifier\n", log);
  EXPECT_EQ(RegisterShellVerb("checksig", "&Verify Signature", kVerbCommand, log), 0);
  std::vector<std::string> want = {"Name:TolvaMarked Verifier"};
  want.insert(want.end(), kVerbRecords.begin(), kVerbRecords.end());
  EXPECT_EQ(LogLines(log), want);  // "shell" itself is created but not logged
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, kVerbKey, NULL), "&Verify Signature");
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, kCommandKey, NULL), kVerbCommand);
  EXPECT_EQ(RegFileSection(root, "HKEY_CLASSES_ROOT\\*\\shell\\checksig"),
            std::vector<std::string>{"@=\"&Verify Signature\""});
  EXPECT_EQ(RegFileSection(root, "HKEY_CLASSES_ROOT\\*\\shell\\checksig\\command"),
            std::vector<std::string>{"@=\"C:\\\\TNM\\\\qenvo.exe \\\"%1\\\"\""});
  ExpectReleased();

  // Again over the existing keys: same result, the records once more.
  EXPECT_EQ(RegisterShellVerb("checksig", "&Check", kVerbCommand, log), 0);
  EXPECT_EQ(LogLines(log).size(), 5u);
  EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, kVerbKey, NULL), "&Check");
  ExpectReleased();
  fclose(log);
}

TEST(RegisterShellVerb, AllFilesClassMissing) {
  FreshSandbox("rsv-nostar");
  ASSERT_EQ(RegDeleteKeyA(HKEY_CLASSES_ROOT, "*"), 0);
  FILE *log = tmpfile();
  EXPECT_EQ(RegisterShellVerb("checksig", "&Verify Signature", kVerbCommand, log), -103);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "*"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "shell"));
  EXPECT_EQ(winhost::CallCount("RegCreateKeyA"), 0u);
  EXPECT_TRUE(LogLines(log).empty());
  ExpectReleased();
  fclose(log);
}

// After the verb key exists both records stand, whatever fails next.
TEST(RegisterShellVerb, LaterFailuresKeepBothRecords) {
  struct Case {
    const char *fault;
    int want;
    bool verbValue, commandKey;
  } cases[] = {
      {"RegSetValueExA#1", -100, false, false},
      {"RegOpenKeyA#6", -103, true, false},  // "*", "*\shell" twice, then the verb's path
      {"RegCreateKeyA#3", -104, true, false},  // "shell", the verb, then "command"
      {"RegSetValueExA#2", -101, true, true},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.fault);
    FreshSandbox("rsv-later");
    FILE *log = tmpfile();
    winhost::SetFaults(c.fault);
    EXPECT_EQ(RegisterShellVerb("checksig", "&Verify Signature", kVerbCommand, log), c.want);
    EXPECT_EQ(LogLines(log), kVerbRecords);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, kVerbKey));
    EXPECT_EQ(StringValue(HKEY_CLASSES_ROOT, kVerbKey, NULL),
              c.verbValue ? "&Verify Signature" : "<missing>");
    EXPECT_EQ(KeyExists(HKEY_CLASSES_ROOT, kCommandKey), c.commandKey);
    ExpectReleased();
    fclose(log);
  }
}

TEST(RegisterShellVerb, VerbKeyFailuresLogNothing) {
  FreshSandbox("rsv-verbkey");
  FILE *log = tmpfile();
  winhost::SetFaults("RegCreateKeyA#2");  // "shell" is made, the verb is not
  EXPECT_EQ(RegisterShellVerb("checksig", "&Verify Signature", kVerbCommand, log), -104);
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "*\\shell"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, kVerbKey));
  EXPECT_TRUE(LogLines(log).empty());
  ExpectReleased();

  // When "shell" cannot be made, the verb's own step reports it.
  FreshSandbox("rsv-verbkey");
  winhost::SetFaults("RegCreateKeyA#1");
  EXPECT_EQ(RegisterShellVerb("checksig", "&Verify Signature", kVerbCommand, log), -103);
  EXPECT_TRUE(LogLines(log).empty());
  ExpectReleased();
  fclose(log);
}

// "*\shell\" and the verb must fit 499 characters; a longer one is refused
// as a key that cannot be created, never cut. Windows refuses key names over
// 255 characters already at the verb key; the host registry takes them,
// which is what lets this path be reached here.
TEST(RegisterShellVerb, VerbPathOfFiveHundredCharacters) {
  FreshSandbox("rsv-long");
  std::string fits(491, 'v'), tooLong(492, 'w');
  EXPECT_EQ(RegisterShellVerb(fits.c_str(), "Fits", kVerbCommand, NULL), 0);
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ("*\\shell\\" + fits + "\\command").c_str()));
  ExpectReleased();

  FILE *log = tmpfile();
  EXPECT_EQ(RegisterShellVerb(tooLong.c_str(), "Too long", kVerbCommand, log), -104);
  EXPECT_EQ(LogLines(log), (std::vector<std::string>{"HKCR:*\\shell\\" + tooLong + "\\command",
                                                      "HKCR:*\\shell\\" + tooLong}));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, ("*\\shell\\" + tooLong).c_str()));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, ("*\\shell\\" + tooLong + "\\command").c_str()));
  ExpectReleased();
  fclose(log);
}

}  // namespace
