// The log replay: the rollback and uninstall passes over install logs, the
// line reader's pieces and line ends, read and seek failures, and the
// deletion of registry paths with its order of calls and handle closing.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/host/winhost_test.h"
#include "platform/win.h"
#include "replay/replay.h"
#include "tests/support/bytes.h"
#include "tests/support/sandbox.h"

namespace {

const char kLogPath[] = "C:\\Program Files\\TNM\\deinst.lst";

void Fresh(const char *name) { winhost::Reset(SandboxDir(name).c_str()); }

// Creates every folder of a Windows path up to its last backslash (the host
// maps a path only when all but its last component exist).
void MakeFolder(const std::string &winpath) {
  for (size_t at = winpath.find('\\', 3); at != std::string::npos;
       at = winpath.find('\\', at + 1)) {
    std::string host = winhost::HostPath(winpath.substr(0, at).c_str());
    ASSERT_FALSE(host.empty()) << winpath;
    std::filesystem::create_directory(host);
  }
}

void MakeFile(const std::string &winpath, const std::string &bytes = "data") {
  MakeFolder(winpath);
  std::string host = winhost::HostPath(winpath.c_str());
  ASSERT_FALSE(host.empty()) << winpath;
  std::ofstream(host, std::ios::binary | std::ios::trunc) << bytes;
}

bool Exists(const std::string &winpath) {
  return std::filesystem::exists(winhost::HostPath(winpath.c_str()));
}

std::string Slurp(const std::string &winpath) { return ReadText(winhost::HostPath(winpath.c_str())); }

void MakeKey(HKEY root, const char *path) {
  HKEY h = nullptr;
  ASSERT_EQ(RegCreateKeyA(root, path, &h), ERROR_SUCCESS) << path;
  RegCloseKey(h);
}

bool KeyExists(HKEY root, const char *path) {
  HKEY h = nullptr;
  if (RegOpenKeyA(root, path, &h) != ERROR_SUCCESS) return false;
  if (h != root) RegCloseKey(h);
  return true;
}

// The install log as the setup keeps it: created with "w+t", shared, written
// line by line and left buffered, so that the replay's first seek has to
// write it out.
FILE *WriteLog(const std::vector<std::string> &lines, const char *path = kLogPath) {
  MakeFolder(path);
  FILE *log = _fsopen(path, "w+t", _SH_DENYNO);
  EXPECT_NE(log, nullptr);
  if (!log) return nullptr;
  for (const std::string &line : lines) fprintf(log, "%s\n", line.c_str());
  return log;
}

// A log laid on disk byte for byte, opened for reading and writing.
FILE *RawLog(const std::string &bytes, const char *mode = "r+t") {
  MakeFile(kLogPath, bytes);
  FILE *log = _fsopen(kLogPath, mode, _SH_DENYNO);
  EXPECT_NE(log, nullptr);
  return log;
}

// ---- What a successful installation leaves, and its log ----

const char kInstallDir[] = "C:\\Program Files\\TNM\\";
const char kSubmenu[] = "C:\\WINDOWS\\Start Menu\\Programs\\TNM Verifier\\";
const char kUninstallKey[] =
    "Software\\microsoft\\windows\\CurrentVersion\\Uninstall\\TNM Verifier";
const char kProductKey[] = "Software\\Kelvorind\\TNM Verifier\\QENVO\\TNM Verifier";

const char *const kMembers[] = {"ReadMe.txt", "qenvo.exe", "qenvo.hlp", "samples\\sig.txt"};
const char *const kSubmenuLinks[] = {"TolvaMarked Verifier.lnk", "ReadMe.lnk", "Help.lnk",
                                     "Uninstall.lnk"};

std::vector<std::string> InstalledFiles() {
  std::vector<std::string> files;
  for (const char *m : kMembers) files.push_back(std::string(kInstallDir) + m);
  files.push_back(std::string(kInstallDir) + "Trust.db");
  files.push_back("C:\\WINDOWS\\Desktop\\TolvaMarked Verifier.lnk");
  files.push_back("C:\\WINDOWS\\Start Menu\\TolvaMarked Verifier.lnk");
  for (const char *l : kSubmenuLinks) files.push_back(std::string(kSubmenu) + l);
  return files;
}

void LayInstallation() {
  for (const std::string &f : InstalledFiles()) MakeFile(f);
  MakeFile("C:\\WINDOWS\\UninstallTNM.exe");  // the uninstaller's copy is never logged
  MakeKey(HKEY_LOCAL_MACHINE, kUninstallKey);
  MakeKey(HKEY_CLASSES_ROOT, "*\\shell\\checksig\\command");
  MakeKey(HKEY_CURRENT_USER, kProductKey);  // the product's own settings
}

std::vector<std::string> InstallationLog() {
  std::vector<std::string> log = {"Name:TolvaMarked Verifier"};
  for (const char *m : kMembers) log.push_back(std::string("File:") + kInstallDir + m);
  log.push_back(std::string("File:") + kInstallDir + "Trust.db");
  log.push_back(std::string("HKLM:") + kUninstallKey);
  log.push_back("HKCR:*\\shell\\checksig\\command");
  log.push_back("HKCR:*\\shell\\checksig");
  log.push_back("File:C:\\WINDOWS\\Desktop\\TolvaMarked Verifier.lnk");
  log.push_back("File:C:\\WINDOWS\\Start Menu\\TolvaMarked Verifier.lnk");
  log.push_back(std::string("Dire:") + kSubmenu);
  for (const char *l : kSubmenuLinks) log.push_back(std::string("File:") + kSubmenu + l);
  log.push_back("UKCU:Software\\Kelvorind\\TNM Verifier\\QENVO\\TNM Verifier");
  log.push_back("UKCU:Software\\Kelvorind\\TNM Verifier\\QENVO");
  log.push_back("UKCU:Software\\Kelvorind\\TNM Verifier");
  return log;
}

// Calls that remove something, or open a key on the way to it.
unsigned long Acts() {
  unsigned long n = 0;
  for (const char *api : {"DeleteFileA", "RemoveDirectoryA", "RegOpenKeyA", "RegDeleteKeyA"})
    n += winhost::CallCount(api);
  return n;
}

std::string Joined(const std::vector<std::string> &lines, const char *end) {
  std::string s;
  for (const std::string &l : lines) s += l + end;
  return s;
}

// Every item of a successful installation that the rollback pass removes is
// still there (true) or gone (false).
void ExpectRollbackItems(bool present) {
  for (const std::string &f : InstalledFiles()) EXPECT_EQ(Exists(f), present) << f;
  EXPECT_EQ(Exists(kSubmenu), present);
  EXPECT_EQ(KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey), present);
  EXPECT_EQ(KeyExists(HKEY_CLASSES_ROOT, "*\\shell\\checksig\\command"), present);
  EXPECT_EQ(KeyExists(HKEY_CLASSES_ROOT, "*\\shell\\checksig"), present);
}

void ExpectProductKeys(bool present) {
  EXPECT_EQ(KeyExists(HKEY_CURRENT_USER, kProductKey), present);
  EXPECT_EQ(KeyExists(HKEY_CURRENT_USER, "Software\\Kelvorind\\TNM Verifier\\QENVO"), present);
  EXPECT_EQ(KeyExists(HKEY_CURRENT_USER, "Software\\Kelvorind\\TNM Verifier"), present);
}

// What no record names stays behind on every pass.
void ExpectUnloggedItems() {
  EXPECT_TRUE(Exists("C:\\WINDOWS\\UninstallTNM.exe"));
  EXPECT_TRUE(Exists(std::string(kInstallDir) + "samples\\"));
  EXPECT_TRUE(Exists(kLogPath));
  EXPECT_TRUE(Exists("C:\\WINDOWS\\Start Menu\\Programs\\"));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "*\\shell"));
  EXPECT_TRUE(
      KeyExists(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Kelvorind"));
}

// ---- The passes over a successful installation's log ----

TEST(ReplayPasses, RollbackRemovesWhatTheInstallationCreated) {
  Fresh("replay-rollback");
  LayInstallation();
  FILE *log = WriteLog(InstallationLog());
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(ReplayLog(log, REPLAY_ROLLBACK), 0);
  ExpectRollbackItems(false);
  ExpectProductKeys(true);  // the "U" records are the uninstaller's
  ExpectUnloggedItems();
  EXPECT_EQ(winhost::OpenKeyHandles(), 0);
  // The log itself is untouched and its position is at its end.
  EXPECT_EQ(fgetc(log), EOF);
  EXPECT_TRUE(feof(log));
  EXPECT_EQ(fclose(log), 0);
  EXPECT_EQ(Slurp(kLogPath), Joined(InstallationLog(), "\r\n"));
  EXPECT_EQ(winhost::OpenFileHandles(), 0);
}

TEST(ReplayPasses, UninstallPassActsOnlyOnTheUninstallRecords) {
  Fresh("replay-uninstall");
  LayInstallation();
  FILE *log = WriteLog(InstallationLog());
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(ReplayLog(log, REPLAY_UNINSTALL), 0);
  ExpectRollbackItems(true);
  ExpectProductKeys(false);
  ExpectUnloggedItems();
  EXPECT_EQ(winhost::CallCount("DeleteFileA"), 0u);
  EXPECT_EQ(winhost::CallCount("RemoveDirectoryA"), 0u);
  EXPECT_EQ(winhost::OpenKeyHandles(), 0);

  // The rollback pass after it takes the rest; the uninstall pass again finds
  // nothing left to do and still succeeds.
  EXPECT_EQ(ReplayLog(log, REPLAY_ROLLBACK), 0);
  ExpectRollbackItems(false);
  EXPECT_EQ(ReplayLog(log, REPLAY_UNINSTALL), 0);
  ExpectUnloggedItems();
  EXPECT_EQ(winhost::OpenKeyHandles(), 0);
  fclose(log);
}

TEST(ReplayPasses, OtherPassesReadTheLogButActOnNothing) {
  for (int pass : {2, -1, 100}) {
    Fresh("replay-pass-other");
    LayInstallation();
    FILE *log = WriteLog(InstallationLog());
    ASSERT_NE(log, nullptr);
    unsigned long before = Acts();
    EXPECT_EQ(ReplayLog(log, pass), 0) << pass;
    EXPECT_EQ(Acts(), before) << "pass " << pass;
    ExpectRollbackItems(true);
    ExpectProductKeys(true);
    // All three sweeps still ran: one seek each, and each read to the end.
    EXPECT_EQ(winhost::CallCount("StreamSeek"), 3u);
    EXPECT_TRUE(feof(log));
    fclose(log);
  }
}

TEST(ReplayPasses, LogWithOnlyTheNameLineTouchesNothing) {
  Fresh("replay-name-only");
  LayInstallation();
  unsigned long before = Acts();
  for (int pass : {0, 1}) {
    FILE *log = WriteLog({"Name:TolvaMarked Verifier"});
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(ReplayLog(log, pass), 0);
    fclose(log);
  }
  EXPECT_EQ(Acts(), before);
  ExpectRollbackItems(true);
  ExpectProductKeys(true);
}

TEST(ReplayPasses, EveryKeyTagDeletesBelowItsOwnRoot) {
  struct Root {
    HKEY key;
    const char *name;
  };
  const Root roots[] = {{HKEY_CLASSES_ROOT, "CR"}, {HKEY_CURRENT_USER, "CU"},
                        {HKEY_LOCAL_MACHINE, "LM"}, {HKEY_USERS, "US"},
                        {HKEY_CURRENT_CONFIG, "CC"}, {HKEY_DYN_DATA, "DD"}};
  for (int pass : {0, 1}) {
    Fresh("replay-roots");
    std::vector<std::string> lines = {"Name:TolvaMarked Verifier"};
    for (const Root &r : roots) {
      // Each root gets a key named for it only, so a tag mapped to the wrong
      // root finds nothing to delete.
      std::string path = std::string("Tolva\\") + r.name;
      MakeKey(r.key, path.c_str());
      lines.push_back(std::string(pass ? "UK" : "HK") + r.name + ":" + path);
    }
    FILE *log = WriteLog(lines);
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(ReplayLog(log, pass), 0);
    fclose(log);
    for (const Root &r : roots) {
      std::string path = std::string("Tolva\\") + r.name;
      EXPECT_FALSE(KeyExists(r.key, path.c_str())) << r.name << " pass " << pass;
      EXPECT_TRUE(KeyExists(r.key, "Tolva")) << r.name;  // only the last key goes
    }
    EXPECT_EQ(winhost::OpenKeyHandles(), 0);
  }
}

TEST(ReplayPasses, UninstallFileAndFolderRecordsOnlyInPassOne) {
  Fresh("replay-ufil");
  MakeFile("C:\\Data\\Shared\\settings.ini");
  MakeFile("C:\\Data\\kept.txt");
  MakeFile("C:\\Data\\rolled.txt");
  FILE *log = WriteLog({"Name:TolvaMarked Verifier", "UFil:C:\\Data\\Shared\\settings.ini",
                        "UDir:C:\\Data\\Shared\\", "File:C:\\Data\\rolled.txt"});
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(ReplayLog(log, REPLAY_ROLLBACK), 0);
  EXPECT_TRUE(Exists("C:\\Data\\Shared\\settings.ini"));
  EXPECT_FALSE(Exists("C:\\Data\\rolled.txt"));
  MakeFile("C:\\Data\\rolled.txt");
  EXPECT_EQ(ReplayLog(log, REPLAY_UNINSTALL), 0);
  EXPECT_FALSE(Exists("C:\\Data\\Shared\\"));
  EXPECT_TRUE(Exists("C:\\Data\\rolled.txt"));
  EXPECT_TRUE(Exists("C:\\Data\\kept.txt"));
  fclose(log);
}

// ---- Order rules and records that name nothing ----

TEST(ReplayOrder, FoldersGoOnlyWhenEmptyAfterTheFileSweep) {
  Fresh("replay-folders");
  // The folder records stand before the files inside them, and the inner
  // folder before the outer one.
  MakeFile("C:\\Menu\\Outer\\Inner\\a.lnk");
  MakeFile("C:\\Menu\\Outer\\b.lnk");
  MakeFile("C:\\Menu\\Busy\\Deep\\c.lnk");
  MakeFile("C:\\Menu\\Busy\\Deep\\user notes.txt");  // not in the log
  FILE *log = WriteLog({"Name:TolvaMarked Verifier", "Dire:C:\\Menu\\Outer\\Inner\\",
                        "Dire:C:\\Menu\\Outer\\", "Dire:C:\\Menu\\Busy\\Deep\\",
                        "Dire:C:\\Menu\\Busy\\", "File:C:\\Menu\\Outer\\Inner\\a.lnk",
                        "File:C:\\Menu\\Outer\\b.lnk", "File:C:\\Menu\\Busy\\Deep\\c.lnk"});
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(ReplayLog(log, REPLAY_ROLLBACK), 0);
  EXPECT_FALSE(Exists("C:\\Menu\\Outer\\"));
  EXPECT_FALSE(Exists("C:\\Menu\\Busy\\Deep\\c.lnk"));
  EXPECT_TRUE(Exists("C:\\Menu\\Busy\\Deep\\user notes.txt"));
  EXPECT_TRUE(Exists("C:\\Menu\\Busy\\"));
  fclose(log);
}

TEST(ReplayOrder, KeysAreDeletedInFileOrderChildBeforeParent) {
  Fresh("replay-key-order");
  MakeKey(HKEY_CLASSES_ROOT, "*\\shell\\checksig\\command");
  MakeKey(HKEY_CLASSES_ROOT, "*\\shell\\other\\command");
  // The verb as RegisterShellVerb logs it, and one logged parent first: that
  // parent still has its sub-key when its line comes, so it stays.
  FILE *log = WriteLog({"Name:TolvaMarked Verifier", "HKCR:*\\shell\\checksig\\command",
                        "HKCR:*\\shell\\checksig", "HKCR:*\\shell\\other",
                        "HKCR:*\\shell\\other\\command"});
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(ReplayLog(log, REPLAY_ROLLBACK), 0);
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "*\\shell\\checksig"));
  EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "*\\shell\\other\\command"));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "*\\shell\\other"));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "*\\shell"));
  EXPECT_EQ(winhost::OpenKeyHandles(), 0);
  fclose(log);
}

TEST(ReplayOrder, KeyPathWithAndWithoutTrailingBackslash) {
  Fresh("replay-trailing");
  MakeKey(HKEY_LOCAL_MACHINE, "Software\\Tolva\\WithSlash");
  MakeKey(HKEY_LOCAL_MACHINE, "Software\\Tolva\\Plain");
  MakeKey(HKEY_LOCAL_MACHINE, "TopSlash");
  MakeKey(HKEY_LOCAL_MACHINE, "TopPlain");
  FILE *log = WriteLog({"Name:TolvaMarked Verifier", "HKLM:Software\\Tolva\\WithSlash\\",
                        "HKLM:Software\\Tolva\\Plain", "HKLM:TopSlash\\", "HKLM:TopPlain"});
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(ReplayLog(log, REPLAY_ROLLBACK), 0);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Tolva\\WithSlash"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Tolva\\Plain"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "TopSlash"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "TopPlain"));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Tolva"));
  fclose(log);
}

TEST(ReplayOrder, RecordStandingTwiceIsActedOnTwice) {
  Fresh("replay-twice");
  MakeFile("C:\\App\\twice.txt");
  MakeKey(HKEY_CURRENT_USER, "Software\\Twice");
  FILE *log = WriteLog({"Name:TolvaMarked Verifier", "File:C:\\App\\twice.txt",
                        "HKCU:Software\\Twice", "File:C:\\App\\twice.txt",
                        "HKCU:Software\\Twice"});
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(ReplayLog(log, REPLAY_ROLLBACK), 0);
  EXPECT_FALSE(Exists("C:\\App\\twice.txt"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Twice"));
  EXPECT_EQ(winhost::CallCount("DeleteFileA"), 2u);
  EXPECT_EQ(winhost::CallCount("RegDeleteKeyA"), 2u);
  EXPECT_EQ(winhost::OpenKeyHandles(), 0);
  fclose(log);
}

TEST(ReplayOrder, MissingItemsFailQuietlyAndTheSweepsGoOn) {
  Fresh("replay-missing");
  MakeFile("C:\\App\\real.txt");
  MakeFolder("C:\\App\\Real\\");
  MakeKey(HKEY_CURRENT_USER, "Software\\Real");
  FILE *log = WriteLog({"Name:TolvaMarked Verifier",
                        "File:C:\\App\\never extracted.txt",  // written before its action
                        "File:C:\\Nowhere\\link.lnk",
                        "Dire:C:\\App\\Gone\\",
                        "HKCR:",  // an empty key path
                        "HKLM:Software\\No Such Vendor\\Product",
                        "HKCU:Software\\No Such Key",
                        "File:C:\\App\\real.txt", "Dire:C:\\App\\Real\\",
                        "HKCU:Software\\Real"});
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(ReplayLog(log, REPLAY_ROLLBACK), 0);
  EXPECT_FALSE(Exists("C:\\App\\real.txt"));
  EXPECT_FALSE(Exists("C:\\App\\Real\\"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Real"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software"));
  EXPECT_EQ(winhost::CallCount("DeleteFileA"), 3u);
  EXPECT_EQ(winhost::CallCount("RemoveDirectoryA"), 2u);
  EXPECT_EQ(winhost::OpenKeyHandles(), 0);
  fclose(log);
}

// ---- Reading the log: line ends, pieces, tags ----

TEST(ReplayReading, BareLfLinesReadLikeCrLf) {
  // CR LF and bare LF through the text stream, and CR LF through a binary
  // stream, which hands the CR on to the reader.
  struct Variant {
    const char *end;
    const char *mode;
  };
  const Variant variants[] = {{"\r\n", "r+t"}, {"\n", "r+t"}, {"\r\n", "r+b"}};
  for (const Variant &v : variants) {
    Fresh("replay-line-ends");
    MakeFile("C:\\App\\a.txt");
    MakeFolder("C:\\App\\Sub\\");
    MakeKey(HKEY_CLASSES_ROOT, "Tolva\\Key");
    std::vector<std::string> lines = {"Name:TolvaMarked Verifier", "File:C:\\App\\a.txt",
                                      "Dire:C:\\App\\Sub\\", "HKCR:Tolva\\Key"};
    FILE *log = RawLog(Joined(lines, v.end), v.mode);
    ASSERT_NE(log, nullptr);
    EXPECT_EQ(ReplayLog(log, REPLAY_ROLLBACK), 0);
    EXPECT_FALSE(Exists("C:\\App\\a.txt"));
    EXPECT_FALSE(Exists("C:\\App\\Sub\\"));
    EXPECT_FALSE(KeyExists(HKEY_CLASSES_ROOT, "Tolva\\Key"));
    fclose(log);
  }
}

TEST(ReplayReading, ReadLogLineCutsAtTheFirstCrOrLf) {
  Fresh("replay-readline");
  // Through a binary stream the CR LF stays in the text; a lone CR (which the
  // text stream keeps too) cuts the line as well; the last line may lack its
  // newline; a blank line is an empty line, not the end.
  FILE *log = RawLog("File:a\r\nb\rc\n\nlast", "rb");
  ASSERT_NE(log, nullptr);
  char buffer[2000];
  memset(buffer, 'z', sizeof buffer);
  ASSERT_EQ(ReadLogLine(buffer, 1999, log), buffer);
  EXPECT_STREQ(buffer, "File:a");
  EXPECT_EQ(buffer[7], '\0');  // the LF after the CR is cleared as well
  ASSERT_NE(ReadLogLine(buffer, 1999, log), nullptr);
  EXPECT_STREQ(buffer, "b");
  ASSERT_NE(ReadLogLine(buffer, 1999, log), nullptr);
  EXPECT_STREQ(buffer, "");
  ASSERT_NE(ReadLogLine(buffer, 1999, log), nullptr);
  EXPECT_STREQ(buffer, "last");
  EXPECT_EQ(ReadLogLine(buffer, 1999, log), nullptr);
  EXPECT_TRUE(feof(log));
  EXPECT_FALSE(ferror(log));
  fclose(log);

  // A size of one leaves no room for any character: nothing is read.
  log = RawLog("abc\n", "rt");
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(ReadLogLine(buffer, 1, log), nullptr);
  EXPECT_EQ(ReadLogLine(buffer, 0, log), nullptr);
  ASSERT_NE(ReadLogLine(buffer, 3, log), nullptr);
  EXPECT_STREQ(buffer, "ab");
  fclose(log);
}

TEST(ReplayReading, LongLinesComeInPiecesOf1998) {
  Fresh("replay-pieces");
  std::string l1997(1997, 'a'), l1998(1998, 'b'), l1999(1999, 'c'), l4000(4000, 'd');
  l4000[1998] = 'X';  // the first character of the second piece
  FILE *log = RawLog(l1997 + "\r\n" + l1998 + "\r\n" + l1999 + "\n" + l4000 + "\n", "r+t");
  ASSERT_NE(log, nullptr);
  char buffer[2000];
  std::vector<std::string> pieces;
  while (ReadLogLine(buffer, 1999, log)) pieces.push_back(buffer);
  std::vector<std::string> expected = {l1997,
                                       l1998, "",  // the newline on its own
                                       std::string(1998, 'c'), "c",
                                       l4000.substr(0, 1998), l4000.substr(1998, 1998),
                                       l4000.substr(3996)};
  ASSERT_EQ(pieces.size(), expected.size());
  for (size_t i = 0; i < expected.size(); i++) EXPECT_EQ(pieces[i], expected[i]) << "piece " << i;
  EXPECT_EQ(pieces[6][0], 'X');
  fclose(log);
}

TEST(ReplayReading, APieceMatchesATagOnlyWhenItBeginsWithOne) {
  Fresh("replay-piece-tags");
  MakeFile("C:\\hit.txt");
  MakeFile("C:\\miss.txt");
  MakeFile("C:\\inner.txt");
  MakeKey(HKEY_CURRENT_USER, "PieceKey");
  std::string pad1998(1998, ' '), pad1997(1997, ' ');
  // A record in the second piece of a long line; one that straddles the
  // boundary, so that its second piece begins "ile:"; a key record after a
  // padded piece; and a record inside a line of 1997 characters, which is
  // read whole.
  std::string inner = std::string(1000, ' ') + "File:C:\\inner.txt";
  inner += std::string(1997 - inner.size(), ' ');
  FILE *log = WriteLog({"Name:TolvaMarked Verifier", pad1998 + "File:C:\\hit.txt",
                        pad1997 + "File:C:\\miss.txt", pad1998 + "HKCU:PieceKey", inner});
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(ReplayLog(log, REPLAY_ROLLBACK), 0);
  EXPECT_FALSE(Exists("C:\\hit.txt"));
  EXPECT_TRUE(Exists("C:\\miss.txt"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "PieceKey"));
  EXPECT_TRUE(Exists("C:\\inner.txt"));
  EXPECT_EQ(winhost::CallCount("DeleteFileA"), 1u);
  fclose(log);
}

TEST(ReplayReading, TagsInOtherLetterCaseAndIndentedLinesAreSkipped) {
  Fresh("replay-case");
  MakeFile("C:\\App\\a.txt");
  MakeFolder("C:\\App\\Sub\\");
  MakeKey(HKEY_CLASSES_ROOT, "Tolva\\Key");
  MakeKey(HKEY_CURRENT_USER, "Tolva\\Key");
  FILE *log = WriteLog({"name:TolvaMarked Verifier", "file:C:\\App\\a.txt",
                        "FILE:C:\\App\\a.txt", " File:C:\\App\\a.txt", "File C:\\App\\a.txt",
                        "dire:C:\\App\\Sub\\", "DIRE:C:\\App\\Sub\\", " Dire:C:\\App\\Sub\\",
                        "hkcr:Tolva\\Key", "HkCr:Tolva\\Key", " HKCR:Tolva\\Key",
                        "ufil:C:\\App\\a.txt", "Ukcu:Tolva\\Key", "UKcu:Tolva\\Key", "",
                        "File", "HKCR"});
  ASSERT_NE(log, nullptr);
  unsigned long before = Acts();
  for (int pass : {0, 1}) EXPECT_EQ(ReplayLog(log, pass), 0);
  EXPECT_EQ(Acts(), before);
  EXPECT_TRUE(Exists("C:\\App\\a.txt"));
  EXPECT_TRUE(Exists("C:\\App\\Sub\\"));
  EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "Tolva\\Key"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Tolva\\Key"));
  fclose(log);
}

// ---- Read and seek failures ----

// Seeks and reads of one sweep of this log, measured on a pass that acts on
// nothing (the three sweeps read the same log alike).
void MeasureSweep(FILE *log, unsigned long *seeks, unsigned long *reads) {
  unsigned long s0 = winhost::CallCount("StreamSeek"), r0 = winhost::CallCount("StreamRead");
  ASSERT_EQ(ReplayLog(log, 2), 0);
  unsigned long s = winhost::CallCount("StreamSeek") - s0;
  unsigned long r = winhost::CallCount("StreamRead") - r0;
  ASSERT_EQ(s % 3, 0u);
  ASSERT_EQ(r % 3, 0u);
  *seeks = s / 3;
  *reads = r / 3;
  ASSERT_GE(*seeks, 1u);
  ASSERT_GE(*reads, 1u);
}

void LayFailureCase() {
  MakeFile("C:\\App\\a.txt");
  MakeFolder("C:\\App\\Sub\\");
  MakeKey(HKEY_CLASSES_ROOT, "Tolva\\Key");
}

FILE *FailureLog() {
  return WriteLog({"Name:TolvaMarked Verifier", "File:C:\\App\\a.txt", "Dire:C:\\App\\Sub\\",
                   "HKCR:Tolva\\Key"});
}

void ExpectSweepsDone(int sweeps) {
  EXPECT_EQ(Exists("C:\\App\\a.txt"), sweeps < 1);
  EXPECT_EQ(Exists("C:\\App\\Sub\\"), sweeps < 2);
  EXPECT_EQ(KeyExists(HKEY_CLASSES_ROOT, "Tolva\\Key"), sweeps < 3);
}

std::string Nth(const char *api, unsigned long n) {
  return std::string(api) + "#" + std::to_string(n);
}

TEST(ReplayFailures, ReadErrorEndsTheReplayAfterItsSweep) {
  // The first read of sweep k fails: the sweeps before it are done, that one
  // and those after it are not.
  for (int failing = 0; failing < 3; failing++) {
    Fresh("replay-read-error");
    LayFailureCase();
    FILE *log = FailureLog();
    ASSERT_NE(log, nullptr);
    unsigned long seeks, reads;
    MeasureSweep(log, &seeks, &reads);
    unsigned long n = winhost::CallCount("StreamRead") + failing * reads + 1;
    winhost::SetFaults(Nth("StreamRead", n).c_str());
    EXPECT_EQ(ReplayLog(log, REPLAY_ROLLBACK), 1) << "sweep " << failing;
    EXPECT_TRUE(ferror(log));
    ExpectSweepsDone(failing);
    EXPECT_EQ(winhost::CallCount("StreamSeek"), 3 * seeks + (failing + 1) * seeks);
    EXPECT_EQ(winhost::OpenKeyHandles(), 0);
    fclose(log);
  }
}

// A record that could not be written leaves the stream's error indicator
// set; the rollback must still reach the folders and keys that did reach the
// log, so only the sweep's own reads count.
TEST(ReplayFailures, EarlierWriteErrorDoesNotCutTheRollbackShort) {
  Fresh("replay-write-error");
  LayFailureCase();
  FILE *log = FailureLog();
  ASSERT_NE(log, nullptr);
  ASSERT_EQ(fflush(log), 0);
  winhost::SetFaults(Nth("StreamWrite", winhost::CallCount("StreamWrite") + 1).c_str());
  fprintf(log, "File:C:\\App\\lost.txt\n");
  fflush(log);
  ASSERT_TRUE(ferror(log));
  winhost::SetFaults("");
  ReplayLog(log, REPLAY_ROLLBACK);
  ExpectSweepsDone(3);
  fclose(log);
}

TEST(ReplayFailures, ReadErrorFromTheFirstReadOn) {
  Fresh("replay-read-first");
  LayFailureCase();
  winhost::SetFaults("StreamRead#1");
  FILE *log = FailureLog();
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(ReplayLog(log, REPLAY_ROLLBACK), 1);
  ExpectSweepsDone(0);
  EXPECT_EQ(winhost::CallCount("StreamSeek"), 1u);
  EXPECT_EQ(winhost::CallCount("StreamRead"), 1u);
  // The seek wrote the buffered lines out before the read failed.
  EXPECT_EQ(Slurp(kLogPath),
            "Name:TolvaMarked Verifier\r\nFile:C:\\App\\a.txt\r\nDire:C:\\App\\Sub\\\r\n"
            "HKCR:Tolva\\Key\r\n");
  fclose(log);
}

TEST(ReplayFailures, LineCutShortByAReadErrorIsNotActedOn) {
  Fresh("replay-read-cut");
  MakeFile("C:\\victim.txt");
  MakeFile("C:\\victim.t");  // what the first sixteen characters would name
  FILE *log = RawLog("File:C:\\victim.txt\r\n");
  ASSERT_NE(log, nullptr);
  static char small_buffer[16];  // the stream reads sixteen bytes at a time
  ASSERT_EQ(setvbuf(log, small_buffer, _IOFBF, sizeof small_buffer), 0);
  winhost::SetFaults("StreamRead#2");
  char buffer[2000];
  EXPECT_EQ(ReadLogLine(buffer, 1999, log), nullptr);
  EXPECT_TRUE(ferror(log));
  ASSERT_EQ(fseek(log, 0, SEEK_SET), 0);
  clearerr(log);
  winhost::SetFaults("StreamRead#4");  // the second read of the replay
  EXPECT_EQ(ReplayLog(log, REPLAY_ROLLBACK), 1);
  EXPECT_TRUE(Exists("C:\\victim.t"));
  EXPECT_TRUE(Exists("C:\\victim.txt"));
  EXPECT_EQ(winhost::CallCount("DeleteFileA"), 0u);
  fclose(log);
}

TEST(ReplayFailures, FailedSeekEndsTheReplay) {
  for (int failing = 0; failing < 3; failing++) {
    Fresh("replay-seek-error");
    LayFailureCase();
    FILE *log = FailureLog();
    ASSERT_NE(log, nullptr);
    unsigned long seeks, reads;
    MeasureSweep(log, &seeks, &reads);
    unsigned long reads_before = winhost::CallCount("StreamRead");
    unsigned long n = winhost::CallCount("StreamSeek") + failing * seeks + 1;
    winhost::SetFaults(Nth("StreamSeek", n).c_str());
    EXPECT_EQ(ReplayLog(log, REPLAY_ROLLBACK), 1) << "sweep " << failing;
    ExpectSweepsDone(failing);
    EXPECT_EQ(winhost::CallCount("StreamRead") - reads_before, failing * reads);
    EXPECT_EQ(winhost::OpenKeyHandles(), 0);
    fclose(log);
  }
}

TEST(ReplayFailures, NoLogIsAFailure) {
  Fresh("replay-null");
  EXPECT_EQ(ReplayLog(nullptr, REPLAY_ROLLBACK), 1);
  char buffer[16];
  EXPECT_EQ(ReadLogLine(buffer, sizeof buffer, nullptr), nullptr);
}

// ---- DeleteRegistryPath ----

TEST(ReplayRegistryPath, ResultsAndHandles) {
  Fresh("replay-regpath");
  MakeKey(HKEY_CURRENT_USER, "Software\\Tolva\\Leaf");
  MakeKey(HKEY_CURRENT_USER, "Software\\Tolva\\Parent\\Child");
  MakeKey(HKEY_CURRENT_USER, "Top");
  MakeKey(HKEY_CURRENT_USER, "After Slash");
  MakeKey(HKEY_CURRENT_USER, "Trailing\\Key");
  struct Case {
    const char *path;
    int result;
    unsigned long opens;  // keys opened on the way to the last one
  };
  const Case cases[] = {
      {"", -99, 0},
      {"Software\\Tolva\\Leaf", 0, 2},
      {"Software\\Tolva\\Leaf", -102, 2},    // gone already
      {"Software\\Tolva\\Parent", -102, 2},  // has a sub-key: never recursive
      {"Software\\Missing\\Leaf", -101, 2},  // a key on the way is missing
      {"Missing\\Deeper\\Leaf", -101, 1},
      {"Top", 0, 0},                         // directly below the root
      {"\\After Slash", 0, 0},               // an empty first key names none: below the root
      {"Trailing\\Key\\", 0, 1},             // the trailing backslash is dropped
      {"\\", -102, 0},                       // the root itself cannot go
  };
  for (const Case &c : cases) {
    unsigned long opens = winhost::CallCount("RegOpenKeyA");
    EXPECT_EQ(DeleteRegistryPath(HKEY_CURRENT_USER, c.path), c.result) << "'" << c.path << "'";
    EXPECT_EQ(winhost::CallCount("RegOpenKeyA") - opens, c.opens) << "'" << c.path << "'";
    EXPECT_EQ(winhost::OpenKeyHandles(), 0) << c.path;
  }
  EXPECT_EQ(DeleteRegistryPath(HKEY_CURRENT_USER, nullptr), -99);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Top"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "After Slash"));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Trailing\\Key"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Trailing"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Tolva\\Parent\\Child"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Tolva"));
  // The deletions reached the registry file too.
  winhost::ReloadRegistry();
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, "Software\\Tolva\\Leaf"));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, "Software\\Tolva\\Parent\\Child"));
}

TEST(ReplayRegistryPath, DoubledBackslashNamesNoKey) {
  Fresh("replay-regpath-double");
  MakeKey(HKEY_LOCAL_MACHINE, "Software\\Tolva\\Leaf");
  EXPECT_EQ(DeleteRegistryPath(HKEY_LOCAL_MACHINE, "Software\\\\Tolva\\Leaf"), 0);
  EXPECT_EQ(winhost::OpenKeyHandles(), 0);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Tolva\\Leaf"));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, "Software\\Tolva"));
}

// The calls of DeleteRegistryPath("A\B\C") in their order; failing the k-th
// one shows which it is.
TEST(ReplayRegistryPath, OpensEachKeyThenClosesItsParent) {
  const char *calls[] = {"RegOpenKeyA", "RegCloseKey", "RegOpenKeyA",
                         "RegCloseKey", "RegDeleteKeyA", "RegCloseKey"};
  Fresh("replay-regpath-order");
  MakeKey(HKEY_CLASSES_ROOT, "A\\B\\C");
  const char *apis[] = {"RegOpenKeyA", "RegCloseKey", "RegDeleteKeyA"};
  unsigned long counts[3];
  for (int i = 0; i < 3; i++) counts[i] = winhost::CallCount(apis[i]);
  unsigned long before = winhost::TotalCalls();
  EXPECT_EQ(DeleteRegistryPath(HKEY_CLASSES_ROOT, "A\\B\\C"), 0);
  EXPECT_EQ(winhost::TotalCalls() - before, 6u);
  for (int i = 0; i < 3; i++) {
    unsigned long expected = 0;
    for (const char *c : calls) expected += strcmp(c, apis[i]) == 0;
    EXPECT_EQ(winhost::CallCount(apis[i]) - counts[i], expected) << apis[i];
  }

  struct Outcome {
    int result;
    int leaked;  // handles left open by a failed close
  };
  const Outcome outcomes[6] = {
      {-101, 0},  // open A fails: the root is closed, nothing else is open
      {0, 0},     // the root's close fails: roots are never really open
      {-101, 0},  // open B fails after A was closed... and A is closed too
      {0, 1},     // A's close fails: A stays open
      {-102, 0},  // the delete fails
      {0, 1},     // B's close fails
  };
  for (int k = 0; k < 6; k++) {
    Fresh("replay-regpath-order");
    MakeKey(HKEY_CLASSES_ROOT, "A\\B\\C");
    std::string plan = "*#" + std::to_string(winhost::TotalCalls() + k + 1);
    winhost::SetFaults(plan.c_str());
    EXPECT_EQ(DeleteRegistryPath(HKEY_CLASSES_ROOT, "A\\B\\C"), outcomes[k].result)
        << "failing call " << k + 1 << " (" << calls[k] << ")";
    EXPECT_EQ(winhost::OpenKeyHandles(), outcomes[k].leaked) << "failing call " << k + 1;
    winhost::SetFaults("");
    EXPECT_EQ(KeyExists(HKEY_CLASSES_ROOT, "A\\B\\C"), outcomes[k].result != 0);
    EXPECT_TRUE(KeyExists(HKEY_CLASSES_ROOT, "A\\B"));
  }
}

TEST(ReplayRegistryPath, CopiesAtMost1999Characters) {
  Fresh("replay-regpath-long");
  // Nine components of 199 characters, each with its backslash, and a tenth
  // of 199 make 1999 characters; what follows is cut off, so the tenth is the
  // key deleted.
  std::string path;
  for (int i = 0; i < 9; i++) path += std::string(199, (char)('a' + i)) + "\\";
  path += std::string(199, 'z');
  ASSERT_EQ(path.size(), 1999u);
  MakeKey(HKEY_CURRENT_USER, path.c_str());
  EXPECT_EQ(DeleteRegistryPath(HKEY_CURRENT_USER, (path + "\\Below").c_str()), 0);
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, path.c_str()));
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, path.substr(0, 1799).c_str()));
  EXPECT_EQ(winhost::OpenKeyHandles(), 0);

  // One character less leaves the tenth component at 198: that key does not
  // exist, so the delete fails.
  MakeKey(HKEY_CURRENT_USER, path.c_str());
  EXPECT_EQ(DeleteRegistryPath(HKEY_CURRENT_USER, path.substr(0, 1998).c_str()), -102);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, path.c_str()));
  EXPECT_EQ(winhost::OpenKeyHandles(), 0);
}

}  // namespace
