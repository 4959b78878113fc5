// The uninstaller, started as the system starts it: through the command line
// that the setup registered, on the machine that the setup left. What it asks,
// what it removes, and what it must leave alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "archive/extractor.h"
#include "tests/product/setup_run.h"
#include "tests/support/zip_builder.h"

namespace {

namespace fs = std::filesystem;

const std::string kDir = "c:\\Program Files\\Kelvorind\\TNM Verifier\\";
const std::string kLog = kDir + "deinst.lst";
const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TNM Verifier";
const char kCaption[] = "TolvaMarked Verifier - Uninstall";

const char kDefaults[] =
    "page 101\nclick 1\npage 103\nclick 1\npage 104\nclick 1\n"
    "message \"Installation Complete\" ok\n";
const char kConfirm[] =
    "message \"TolvaMarked Verifier - Uninstall\" yes\n"
    "message \"TolvaMarked Verifier - Uninstall\" ok\n";
const char kOneBox[] = "message \"TolvaMarked Verifier - Uninstall\" ok\n";

// Every file (with its bytes) and folder of the drives, and every registry
// section (with its values), by name; the two leftovers the tests allow are
// taken out by name.
struct Machine {
  std::map<std::string, std::string> files;
  std::set<std::string> folders;
  std::map<std::string, std::string> keys;
};

Machine Snapshot(const SetupSandbox &box) {
  Machine m;
  for (auto &e : fs::recursive_directory_iterator(box.root)) {
    std::string rel = e.path().string().substr(box.root.size());
    if (rel == "/registry.reg") continue;
    if (e.is_directory()) m.folders.insert(rel);
    else m.files[rel];
  }
  for (auto &kv : m.files) kv.second = ReadText(box.root + kv.first);
  std::ifstream reg(box.root + "/registry.reg");
  std::string line, section;
  while (std::getline(reg, line)) {
    if (!line.empty() && line[0] == '[') {
      section = line;
      m.keys[section];
    } else if (!section.empty() && !line.empty()) {
      m.keys[section] += line + "\n";
    }
  }
  return m;
}

// The keys that the product itself makes when it runs; the setup logs them
// for the uninstaller.
void RunTheProduct(SetupSandbox &box) {
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER,
                                         "Software\\Kelvorind\\TNM Verifier\\QENVO\\TNM Verifier", &key));
  RegCloseKey(key);
  ASSERT_TRUE(box.KeyExists(HKEY_CURRENT_USER, "Software\\Kelvorind\\TNM Verifier\\QENVO"));
}

// Writes a file through the platform, making its folders first.
void PutFile(const std::string &winpath, const std::string &text) {
  for (size_t p = winpath.find('\\', 3); p != std::string::npos; p = winpath.find('\\', p + 1))
    CreateDirectoryA(winpath.substr(0, p).c_str(), NULL);
  HANDLE h = CreateFileA(winpath.c_str(), GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  ASSERT_NE(INVALID_HANDLE_VALUE, h) << winpath;
  DWORD written = 0;
  WriteFile(h, text.data(), (DWORD)text.size(), &written, NULL);
  CloseHandle(h);
}

// A sandbox with the default installation done and the product run once.
struct Installed {
  explicit Installed(const char *name) : box(name) {
    // The vendor's key is there already (another of its products); the
    // uninstaller leaves it.
    HKEY vendor;
    EXPECT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Kelvorind", &vendor));
    RegCloseKey(vendor);
    before = Snapshot(box);
    HostRun run = box.Run(kDefaults);
    EXPECT_EQ(0, run.status) << run.stderrText;
    command = box.RegValue(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString");
    EXPECT_EQ("\"C:\\WINDOWS\\UninstallTNM.exe\" " + kLog, command);
    RunTheProduct(box);
  }
  SetupSandbox box;
  Machine before;
  std::string command;
};

// The machine is as before the install, but for what the log never holds:
// the uninstaller's own copy, the folders above the install folder, and the
// shell key that the verb needed (with the "*" key above it) when the machine
// had none.
void ExpectBackAsBefore(const Machine &before, Machine after) {
  EXPECT_EQ(1u, after.files.erase("/c/WINDOWS/UninstallTNM.exe"));
  after.folders.erase("/c/Program Files/Kelvorind");
  after.folders.erase("/c/Program Files");
  for (const char *k : {"[HKEY_CLASSES_ROOT\\*]", "[HKEY_CLASSES_ROOT\\*\\shell]"})
    if (!before.keys.count(k)) after.keys.erase(k);
  EXPECT_EQ(before.folders, after.folders);
  EXPECT_EQ(before.keys, after.keys);
  EXPECT_EQ(before.files.size(), after.files.size());
  for (auto &kv : before.files) {
    auto it = after.files.find(kv.first);
    ASSERT_NE(it, after.files.end()) << kv.first;
    EXPECT_EQ(kv.second, it->second) << kv.first;
  }
}

TEST(UninstallRoundTrip, TheRegisteredCommandRestoresTheMachine) {
  Installed m("uninstall-roundtrip");
  // The copy in the Windows folder is the uninstaller that is started here.
  EXPECT_EQ(m.box.Read("C:\\SETUP\\UninstallTNM.exe"), m.box.Read("C:\\WINDOWS\\UninstallTNM.exe"));
  HostRun run = m.box.RunUninstaller(m.command, kConfirm);
  EXPECT_EQ(0, run.status);
  EXPECT_EQ((std::vector<std::string>{
                std::string(kCaption) +
                    ": Do you want to remove TolvaMarked Verifier and all of its components from "
                    "this computer?",
                std::string(kCaption) + ": TolvaMarked Verifier has been removed from your computer."}),
            run.Messages());
  // The question is a Yes/No box with the question mark; the report informs.
  auto boxes = run.Events("message");
  ASSERT_EQ(2u, boxes.size());
  EXPECT_NE(std::string::npos, boxes[0].find("\"style\":36"));
  EXPECT_NE(std::string::npos, boxes[1].find("\"style\":64"));
  EXPECT_FALSE(m.box.Exists(kDir));
  EXPECT_FALSE(m.box.KeyExists(HKEY_CURRENT_USER, "Software\\Kelvorind\\TNM Verifier"));
  EXPECT_TRUE(m.box.KeyExists(HKEY_CURRENT_USER, "Software\\Kelvorind"));
  ExpectBackAsBefore(m.before, Snapshot(m.box));
}

TEST(UninstallRoundTrip, NoChangesNothing) {
  Installed m("uninstall-declined");
  Machine installed = Snapshot(m.box);
  HostRun run = m.box.RunUninstaller(m.command, "message \"TolvaMarked Verifier - Uninstall\" no\n");
  EXPECT_EQ(0, run.status);
  EXPECT_EQ(1u, run.Messages().size());
  Machine after = Snapshot(m.box);
  EXPECT_EQ(installed.files, after.files);
  EXPECT_EQ(installed.folders, after.folders);
  EXPECT_EQ(installed.keys, after.keys);
}

// The command line the system hands over, in the forms the uninstaller takes:
// the registered one, a quoted log path, an unquoted program path with
// blanks (the copy in the install folder), extra blanks around the path.
TEST(UninstallRoundTrip, CommandLineForms) {
  for (std::string cmdline :
       {"\"C:\\WINDOWS\\UninstallTNM.exe\" \"" + kLog + "\"",
        "c:\\Program Files\\Kelvorind\\TNM Verifier\\UninstallTNM.exe " + kLog,
        "C:\\WINDOWS\\UninstallTNM.exe   " + kLog + "  "}) {
    SCOPED_TRACE(cmdline);
    Installed m("uninstall-cmdline");
    HostRun run = m.box.RunUninstaller(cmdline, kConfirm);
    EXPECT_EQ(2u, run.Messages().size());
    EXPECT_FALSE(m.box.Exists(kDir));
    ExpectBackAsBefore(m.before, Snapshot(m.box));
  }
}

TEST(UninstallRoundTrip, FilesDeletedByHandFirst) {
  Installed m("uninstall-byhand");
  fs::remove_all(m.box.HostPath(kDir + "docs"));
  fs::remove(m.box.HostPath(kDir + "qenvo.exe"));
  fs::remove_all(m.box.HostPath("C:\\WINDOWS\\Start Menu\\Programs\\TNM Verifier"));
  HostRun run = m.box.RunUninstaller(m.command, kConfirm);
  ASSERT_EQ(2u, run.Messages().size());
  EXPECT_EQ(std::string(kCaption) + ": TolvaMarked Verifier has been removed from your computer.",
            run.Messages()[1]);
  ExpectBackAsBefore(m.before, Snapshot(m.box));
}

// Files the user put into the install folder stay, with the folders that
// hold them; the box names the first five and counts the rest. Empty
// folders go, whoever made them.
TEST(UninstallRoundTrip, WhatTheUserAddedStaysAndIsNamed) {
  Installed m("uninstall-useradded");
  PutFile(kDir + "docs\\notes.txt", "mine");
  for (const char *f : {"mine1.txt", "mine2.txt", "mine3.txt", "mine4.txt", "mine5.txt", "mine6.txt"})
    PutFile(kDir + f, f);
  CreateDirectoryA((kDir + "Empty").c_str(), NULL);
  CreateDirectoryA((kDir + "Empty\\Deeper").c_str(), NULL);
  HostRun run = m.box.RunUninstaller(m.command, kConfirm);
  ASSERT_EQ(2u, run.Messages().size());
  EXPECT_EQ(std::string(kCaption) + ": TolvaMarked Verifier has been removed from your computer.\n\n"
                "The folder " + kDir + " still holds files that Setup did not install, so it has been "
                "left in place:\n    docs\\notes.txt\n    mine1.txt\n    mine2.txt\n    mine3.txt\n"
                "    mine4.txt\n    and 2 more",
            run.Messages()[1]);
  EXPECT_EQ("mine", m.box.Read(kDir + "docs\\notes.txt"));
  EXPECT_EQ("mine6.txt", m.box.Read(kDir + "mine6.txt"));
  EXPECT_FALSE(m.box.Exists(kDir + "Empty"));
  for (const char *f : {"ReadMe.txt", "qenvo.exe", "qenvo.hlp", "Trust.db", "deinst.lst",
                        "docs\\Signatures.txt"})
    EXPECT_FALSE(m.box.Exists(kDir + f)) << f;
  EXPECT_FALSE(m.box.KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_EQ(0, winhost::OpenFindHandles());
}

// A file that cannot be deleted is named as such, not as one that Setup did
// not install; so is a logged file outside the install folder. The log stays
// for another run.
TEST(UninstallRoundTrip, FilesThatCouldNotBeDeletedAreNamed) {
  Installed m("uninstall-stuck");
  // The first deletion is the log's first file record, the second its next.
  HostRun run = m.box.RunUninstaller(m.command, kConfirm, "DeleteFileA#1,DeleteFileA#6");
  ASSERT_EQ(2u, run.Messages().size());
  EXPECT_EQ(std::string(kCaption) + ": TolvaMarked Verifier could not be removed completely.\n\n"
                "These files could not be deleted; they may be open in another program:\n    " +
                kDir + "ReadMe.txt\n    C:\\WINDOWS\\Desktop\\TolvaMarked Verifier.lnk\n\n"
                "The log has been kept in\n\n" + kLog,
            run.Messages()[1]);
  EXPECT_TRUE(m.box.Exists(kDir + "ReadMe.txt"));
  EXPECT_FALSE(m.box.Exists(kDir + "docs"));
  EXPECT_TRUE(m.box.Exists(kLog));
}

// Empty folders of the archive are made without a record: the uninstaller
// finds them below the install folder, removes them, and leaves nothing.
TEST(UninstallRoundTrip, EmptyFoldersOfTheArchiveGo) {
  SetupSandbox box("uninstall-emptydirs");
  std::vector<ZipMember> members(6);
  const char *names[] = {"qenvo.exe", "ReadMe.txt", "qenvo.hlp", "Plugins/", "Data/Cache/", "Data/Logs/"};
  for (size_t i = 0; i < members.size(); i++) {
    members[i].name = names[i];
    members[i].method = 0;
    if (i < 3) members[i].data.assign(10, 'x');
  }
  Bytes zip = BuildZip(members);
  ASSERT_TRUE(WriteBytes(box.HostPath("C:\\SETUP\\data1.qv"), zip));
  ASSERT_EQ(0, box.Run(kDefaults).status);
  ASSERT_TRUE(box.Exists(kDir + "Data\\Cache"));
  ASSERT_EQ(std::string::npos, box.Read(kLog).find("Data"));
  std::string command = box.RegValue(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString");
  HostRun run = box.RunUninstaller(command, kConfirm);
  EXPECT_EQ(std::string(kCaption) + ": TolvaMarked Verifier has been removed from your computer.",
            run.Messages()[1]);
  EXPECT_FALSE(box.Exists(kDir));
  EXPECT_TRUE(box.Exists("c:\\Program Files\\Kelvorind"));
}

// An install folder that cannot be removed although it is empty (a window
// still has it open) is named as such. The uninstaller's folder removals:
// the submenu (from the log), docs (below the install folder), the install
// folder itself.
TEST(UninstallRoundTrip, AnInstallFolderInUseIsReported) {
  Installed m("uninstall-inuse");
  HostRun run = m.box.RunUninstaller(m.command, kConfirm, "RemoveDirectoryA#3");
  ASSERT_EQ(2u, run.Messages().size());
  EXPECT_EQ(std::string(kCaption) + ": TolvaMarked Verifier has been removed from your computer.\n\n"
                "The folder\n\n" + kDir + "\n\ncould not be removed; it may still be open in "
                "another program or window. You may delete it yourself once it is closed.",
            run.Messages()[1]);
  EXPECT_TRUE(m.box.Exists(kDir));
  EXPECT_FALSE(m.box.Exists(kDir + "docs"));
  EXPECT_FALSE(m.box.Exists(kLog));
}

// ---- Logs that are not what the setup left ----

struct HandLog : ::testing::Test {
  HandLog() : box("uninstall-handlog") {}
  // Writes the log (lines joined with CR LF) and runs the uninstaller on it.
  HostRun Run(const std::vector<std::string> &lines, const std::string &script = kConfirm) {
    std::string text;
    for (const std::string &l : lines) text += l + "\r\n";
    PutFile(kLog, text);
    return box.RunUninstaller("\"C:\\WINDOWS\\UninstallTNM.exe\" " + kLog, script);
  }
  SetupSandbox box;
};

TEST_F(HandLog, MissingLogSaysSoAndChangesNothing) {
  PutFile(kDir + "qenvo.exe", "x");
  Machine before = Snapshot(box);
  HostRun run = box.RunUninstaller("\"C:\\WINDOWS\\UninstallTNM.exe\" " + kDir + "gone.lst", kOneBox);
  EXPECT_EQ(0, run.status);
  EXPECT_EQ((std::vector<std::string>{std::string(kCaption) + ": The installation log\n\n" + kDir +
                                      "gone.lst\n\ncannot be opened. It may have been moved or "
                                      "deleted, or another program may be using it.\n\nNothing "
                                      "has been removed."}),
            run.Messages());
  EXPECT_NE(std::string::npos, run.Events("message")[0].find("\"style\":16"));
  Machine after = Snapshot(box);
  EXPECT_EQ(before.files, after.files);
  EXPECT_EQ(before.keys, after.keys);
}

TEST_F(HandLog, NoLogNamedSaysSo) {
  for (const char *cmdline : {"\"C:\\WINDOWS\\UninstallTNM.exe\"", "C:\\WINDOWS\\UninstallTNM.exe  ",
                              "\"C:\\WINDOWS\\UninstallTNM.exe\" \"\""}) {
    HostRun run = box.RunUninstaller(cmdline, kOneBox);
    ASSERT_EQ(1u, run.Messages().size()) << cmdline;
    EXPECT_EQ(0u, run.Messages()[0].find(std::string(kCaption) +
                                         ": No installation log was named, so there is nothing "
                                         "to uninstall."))
        << cmdline;
  }
}

TEST_F(HandLog, AFileThatIsNoLogIsRefused) {
  PutFile(kDir + "qenvo.exe", "x");
  HostRun run = Run({"File:" + kDir + "qenvo.exe"}, kOneBox);
  ASSERT_EQ(1u, run.Messages().size());
  EXPECT_EQ(std::string(kCaption) + ": The file\n\n" + kLog +
                "\n\nis not an installation log of TolvaMarked Verifier.\n\nNothing has been removed.",
            run.Messages()[0]);
  EXPECT_TRUE(box.Exists(kDir + "qenvo.exe"));
  EXPECT_TRUE(box.Exists(kLog));
}

// Lines that are no records of the uninstaller's passes are passed over:
// other letter case, a leading blank, unknown tags, the "Name:" line itself,
// and a file record outside the install folder. They are named, and the log
// stays.
TEST_F(HandLog, ForeignLinesAreSkipped) {
  for (const char *f : {"a.txt", "b.txt", "c.txt", "d.txt", "kept\\e.txt"}) PutFile(kDir + f, f);
  PutFile("C:\\Other\\f.txt", "f");
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Foreign", &key));
  RegCloseKey(key);
  HostRun run = Run({"Name:My Product", "file:" + kDir + "a.txt", " File:" + kDir + "b.txt",
                      "Data:" + kDir + "c.txt", "", "garbage without a tag",
                      "hkcu:Software\\Foreign", "File:" + kDir + "d.txt", "UFil:C:\\Other\\f.txt",
                      "Name:" + kDir + "kept\\e.txt"});
  ASSERT_EQ(2u, run.Messages().size());
  // The product is named by the program, never by the log's first line.
  EXPECT_EQ(std::string(kCaption) +
                ": Do you want to remove TolvaMarked Verifier and all of its components from this "
                "computer?",
            run.Messages()[0]);
  for (const char *f : {"a.txt", "b.txt", "c.txt", "kept\\e.txt"}) EXPECT_TRUE(box.Exists(kDir + f)) << f;
  EXPECT_FALSE(box.Exists(kDir + "d.txt"));
  EXPECT_TRUE(box.Exists("C:\\Other\\f.txt"));
  EXPECT_TRUE(box.KeyExists(HKEY_CURRENT_USER, "Software\\Foreign"));
  // Eight lines are left alone: the first five are named, in their order.
  EXPECT_NE(std::string::npos,
            run.Messages()[1].find("left alone: Setup does not write them, so they may have been "
                                   "changed by someone else:\n    file:" + kDir + "a.txt\n     File:"))
      << run.Messages()[1];
  EXPECT_NE(std::string::npos, run.Messages()[1].find("\n    (line 5: empty)\n    garbage"));
  EXPECT_NE(std::string::npos, run.Messages()[1].find("\n    and 3 more"));
  EXPECT_TRUE(box.Exists(kLog));
}

// The folder walk never climbs out of the install folder, whatever steps a
// logged path takes, and never removes a folder that holds anything.
TEST_F(HandLog, FoldersOutsideTheInstallFolderStay) {
  PutFile(kDir + "sub\\deep\\x.txt", "x");
  PutFile("c:\\Program Files\\Kelvorind\\Beside\\y.txt", "y");
  PutFile(kDir + "sub\\z.txt", "z");
  HostRun run = Run({"Name:TolvaMarked Verifier", "File:" + kDir + "sub\\deep\\x.txt",
                      "File:" + kDir + "..\\Beside\\y.txt"});
  ASSERT_EQ(2u, run.Messages().size());
  EXPECT_FALSE(box.Exists(kDir + "sub\\deep"));
  EXPECT_TRUE(box.Exists(kDir + "sub\\z.txt"));  // sub holds it, so sub and the folder stay
  EXPECT_TRUE(box.Exists("c:\\Program Files\\Kelvorind\\Beside\\y.txt"));  // refused
  EXPECT_TRUE(box.Exists("c:\\Program Files\\Kelvorind\\Beside"));
  EXPECT_TRUE(box.Exists(kDir));
}

// Crafted logs. Every victim folder lies outside the install folder and holds
// only the file that its record names; file and folder must stay: the record
// is refused. A step of dots alone is refused too, and a path below the
// install folder written with '/' is taken like one written with '\'.
TEST_F(HandLog, CraftedPathsNeverLeadOutOfTheInstallFolder) {
  const std::string parent = "c:\\Program Files\\Kelvorind\\";
  const std::string slashed = "c:/Program Files/Kelvorind/TNM Verifier/";
  struct Case {
    std::string record, victim;
  };
  const std::vector<Case> cases = {
      {"File:" + kDir + "a/../../../../Victim1/x.txt", "C:\\Victim1"},                    // forward slashes
      {"File:" + slashed + "a/../../../../Victim2/x.txt", "C:\\Victim2"},                  // all of them
      {"File:" + kDir + "a/../../../../Victim3\\x.txt", "C:\\Victim3"},                    // mixed
      {"File:" + kDir + "a/..\\b/..\\../../../Victim4\\x.txt", "C:\\Victim4"},             // mixed
      {"File:" + kDir + "..\\\\..\\Victim5\\x.txt", "c:\\Program Files\\Victim5"},         // doubled
      {"File:C:Victim6\\x.txt", "C:\\WINDOWS\\Victim6"},                                   // drive-relative
      {"File:" + parent + "x.txt", parent},                                                // the parent
      {"Dire:" + parent, parent},
      {"UDir:" + kDir + "..\\", parent},
      {"File:" + parent + "TNM Verifier Old\\x.txt", parent + "TNM Verifier Old"},         // a sibling
  };
  std::vector<std::string> log = {"Name:TolvaMarked Verifier"};
  for (const Case &c : cases) {
    if (c.record.compare(0, 5, "File:") == 0) PutFile(c.victim + "\\x.txt", "victim");
    log.push_back(c.record);
  }
  // Runs of dots: Windows 95 reads "...\...\" as four folders up, the host as
  // two folders of that name; either way nothing on the path is removed.
  std::string dotted = box.HostPath(kDir) + "/.../.../Victim7";
  fs::create_directories(dotted);
  std::ofstream(dotted + "/x.txt") << "victim";
  PutFile("C:\\Victim7\\x.txt", "victim");
  log.push_back("File:" + kDir + "...\\...\\Victim7\\x.txt");
  log.push_back("File:C:\\Victim7\\x.txt");
  // Folders inside, named with '/' and with both separators, are removed.
  PutFile(kDir + "fwd\\deep\\y.txt", "y");
  PutFile(kDir + "mix\\deep\\z.txt", "z");
  log.push_back("File:" + slashed + "fwd/deep/y.txt");
  log.push_back("File:" + kDir + "mix/deep\\z.txt");

  HostRun run = Run(log);
  ASSERT_EQ(2u, run.Messages().size());
  for (const Case &c : cases) {
    EXPECT_TRUE(box.Exists(c.victim)) << c.record;
    if (c.record.compare(0, 5, "File:") == 0) {
      EXPECT_TRUE(box.Exists(c.victim + "\\x.txt")) << c.record;
    }
  }
  EXPECT_TRUE(fs::exists(dotted + "/x.txt"));
  EXPECT_TRUE(box.Exists("C:\\Victim7\\x.txt"));
  EXPECT_FALSE(box.Exists(kDir + "fwd"));
  EXPECT_FALSE(box.Exists(kDir + "mix"));
  EXPECT_TRUE(box.Exists(kDir));  // it still holds the dotted folders and the log
  EXPECT_TRUE(box.Exists(kLog));
}

TEST_F(HandLog, OnlyTheNameLineRemovesTheLogAndTheEmptyFolder) {
  HostRun run = Run({"Name:TolvaMarked Verifier"});
  EXPECT_EQ(2u, run.Messages().size());
  EXPECT_FALSE(box.Exists(kDir));
  EXPECT_TRUE(box.Exists("c:\\Program Files\\Kelvorind"));
}

// A log that cannot be read to its end is kept for another run, and the
// folders are not touched.
TEST_F(HandLog, AReadErrorKeepsTheLog) {
  PutFile(kDir + "docs\\a.txt", "a");
  std::string text = "Name:TolvaMarked Verifier\r\nFile:" + kDir + "docs\\a.txt\r\n";
  PutFile(kLog, text);
  // The first read takes the "Name:" line; every later one fails.
  HostRun run = box.RunUninstaller("\"C:\\WINDOWS\\UninstallTNM.exe\" " + kLog, kConfirm, "StreamRead#2+");
  ASSERT_EQ(2u, run.Messages().size());
  EXPECT_EQ(0u, run.Messages()[1].find(std::string(kCaption) +
                                       ": The installation log could not be read to its end"));
  EXPECT_TRUE(box.Exists(kLog));
  EXPECT_TRUE(box.Exists(kDir + "docs"));
}

// ---- The distribution folder that the dist target builds ----

TEST(Distribution, HoldsWhatAVendorShipsAndItsArchiveInstalls) {
  std::string dist = std::string(EXAMPLE_DIST) + "/../dist";
  std::set<std::string> names;
  for (auto &e : fs::directory_iterator(dist)) names.insert(e.path().filename().string());
  EXPECT_EQ((std::set<std::string>{"Trust.db", "UninstallTNM.exe", "data1.qv", "setup"}), names);

  winhost::Reset(SandboxDir("uninstall-dist").c_str());
  winhost::SetScript("auto yes\n");
  CreateDirectoryA("C:\\DIST", NULL);
  CreateDirectoryA("C:\\Product", NULL);
  fs::copy_file(dist + "/data1.qv", winhost::HostPath("C:\\DIST\\data1.qv"));
  EXPECT_EQ(0, ArchiveExtractor("C:\\DIST\\", "data1.qv", "C:\\Product\\", NULL));
  // Every file of the product tree, byte for byte, and nothing else.
  std::string product = std::string(SOURCE_DIR) + "/example/product";
  std::string installed = winhost::HostPath("C:\\Product");
  size_t count = 0;
  for (auto &e : fs::recursive_directory_iterator(product)) {
    if (e.is_directory()) continue;
    std::string rel = fs::relative(e.path(), product).string();
    EXPECT_EQ(ReadText(e.path().string()), ReadText(installed + "/" + rel)) << rel;
    count++;
  }
  size_t extracted = 0;
  for (auto &e : fs::recursive_directory_iterator(installed)) extracted += !e.is_directory();
  EXPECT_EQ(count, extracted);
  EXPECT_GT(count, 0u);
}

}  // namespace
