// The whole setup, started as a user starts it, on the example distribution:
// what it shows, what it leaves on the machine, and what a rollback removes.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/product/setup_run.h"
#include "tests/support/bytes.h"

namespace {

const std::string kDir = "c:\\Program Files\\Kelvorind\\TNM Verifier\\";
const std::string kLog = kDir + "deinst.lst";
const std::string kSubmenu = "C:\\WINDOWS\\Start Menu\\Programs\\TNM Verifier\\";
const char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TNM Verifier";
const char kVerbKey[] = "*\\shell\\checksig";

const char kDefaults[] =
    "page 101\nclick 1\npage 103\nclick 1\npage 104\nclick 1\n"
    "message \"Installation Complete\" ok\n";

std::string Example(const char *name) {
  return ReadText(std::string(SOURCE_DIR) + "/example/product/" + name);
}

// The log of a complete default installation, as it stands on disk.
std::string FullLog(const std::string &uninstallLine = "HKLM:Software\\microsoft\\windows\\CurrentVersion\\Uninstall\\TNM Verifier") {
  std::string lines[] = {"Name:TolvaMarked Verifier",
                         "File:" + kDir + "ReadMe.txt",
                         "File:" + kDir + "qenvo.exe",
                         "File:" + kDir + "qenvo.hlp",
                         "File:" + kDir + "docs\\Signatures.txt",
                         "File:" + kDir + "Trust.db",
                         uninstallLine,
                         "HKCR:*\\shell\\checksig\\command",
                         "HKCR:*\\shell\\checksig",
                         "File:C:\\WINDOWS\\Desktop\\TolvaMarked Verifier.lnk",
                         "File:C:\\WINDOWS\\Start Menu\\TolvaMarked Verifier.lnk",
                         "Dire:" + kSubmenu,
                         "File:" + kSubmenu + "TolvaMarked Verifier.lnk",
                         "File:" + kSubmenu + "ReadMe.lnk",
                         "File:" + kSubmenu + "Help.lnk",
                         "File:" + kSubmenu + "Uninstall.lnk",
                         "UKCU:Software\\Kelvorind\\TNM Verifier\\QENVO\\TNM Verifier",
                         "UKCU:Software\\Kelvorind\\TNM Verifier\\QENVO",
                         "UKCU:Software\\Kelvorind\\TNM Verifier"};
  std::string log;
  for (const std::string &l : lines)
    if (!l.empty()) log += l + "\r\n";
  return log;
}

// The log less every line that holds part.
std::string Without(std::string log, const std::string &part) {
  for (size_t at; (at = log.find(part)) != std::string::npos;) {
    size_t start = log.rfind('\n', at);
    start = start == std::string::npos ? 0 : start + 1;
    log.erase(start, log.find('\n', at) + 1 - start);
  }
  return log;
}

// What every rollback must have removed (and what it leaves). verbRan: the
// verb was registered before the failure, so HKCR\*\shell had to be made.
void ExpectRolledBack(SetupSandbox &box, bool verbRan = true) {
  EXPECT_FALSE(box.Exists(kLog));
  for (const char *f : {"ReadMe.txt", "qenvo.exe", "qenvo.hlp", "docs\\Signatures.txt", "Trust.db"})
    EXPECT_FALSE(box.Exists(kDir + f)) << f;
  EXPECT_FALSE(box.Exists("C:\\WINDOWS\\Desktop\\TolvaMarked Verifier.lnk"));
  EXPECT_FALSE(box.Exists("C:\\WINDOWS\\Start Menu\\TolvaMarked Verifier.lnk"));
  EXPECT_FALSE(box.Exists(kSubmenu));
  EXPECT_FALSE(box.KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
  EXPECT_FALSE(box.KeyExists(HKEY_CLASSES_ROOT, kVerbKey));
  // Never logged, so left behind: the folders and the shell key.
  EXPECT_TRUE(box.Exists(kDir + "docs"));
  EXPECT_EQ(verbRan, box.KeyExists(HKEY_CLASSES_ROOT, "*\\shell"));
}

TEST(SetupRun, DefaultInstallation) {
  SetupSandbox box("setup-default");
  HostRun run = box.Run(kDefaults);
  ASSERT_EQ(0, run.status) << run.stderrText;
  for (const char *f : {"ReadMe.txt", "qenvo.exe", "qenvo.hlp"}) EXPECT_EQ(Example(f), box.Read(kDir + f)) << f;
  EXPECT_EQ(Example("docs/Signatures.txt"), box.Read(kDir + "docs\\Signatures.txt"));
  EXPECT_EQ(box.Read("C:\\SETUP\\Trust.db"), box.Read(kDir + "Trust.db"));
  EXPECT_EQ(box.Read("C:\\SETUP\\UninstallTNM.exe"), box.Read("C:\\WINDOWS\\UninstallTNM.exe"));
  EXPECT_EQ(FullLog(), box.Read(kLog));

  EXPECT_EQ("TolvaMarked Verifier", box.RegValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"));
  EXPECT_EQ("\"C:\\WINDOWS\\UninstallTNM.exe\" " + kLog,
            box.RegValue(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"));
  EXPECT_EQ("&Verify Signature", box.RegValue(HKEY_CLASSES_ROOT, kVerbKey, NULL));
  EXPECT_EQ("\"" + kDir + "qenvo.exe\" \"%1\"",
            box.RegValue(HKEY_CLASSES_ROOT, "*\\shell\\checksig\\command", NULL));
  for (const std::string &link : std::vector<std::string>{"C:\\WINDOWS\\Desktop\\TolvaMarked Verifier.lnk",
                                  "C:\\WINDOWS\\Start Menu\\TolvaMarked Verifier.lnk", kSubmenu + "ReadMe.lnk",
                                  kSubmenu + "Help.lnk", kSubmenu + "Uninstall.lnk"})
    EXPECT_EQ("L", box.Read(link).substr(0, 1)) << link;

  std::vector<std::string> messages = {
      "Installation Complete: The installation procedure has completed. Please read ReadMe.txt "
      "before running the program."};
  EXPECT_EQ(messages, run.Messages());
  std::vector<std::string> process = run.Events("process");
  ASSERT_EQ(1u, process.size());
  EXPECT_EQ("explorer \"" + kSubmenu + "\"", JsonField(process[0], "cmdline"));
  EXPECT_NE(std::string::npos, process[0].find("\"flags\":32"));
  EXPECT_NE(std::string::npos,
            process[0].find("\"cb\":" + std::to_string(sizeof(STARTUPINFOA))));
  EXPECT_NE(std::string::npos, run.events.back().find("\"status\":0"));
}

TEST(SetupRun, CancelOnAnyPageChangesNothing) {
  const char *scripts[] = {"page 101\nclick 2\n",
                           "page 101\nclose\n",
                           "page 101\nkey escape\n",
                           "page 101\nclick 1\npage 103\nclick 2\n",
                           "page 101\nclick 1\npage 103\nclose\n",
                           "page 101\nclick 1\npage 103\nclick 1\npage 104\nclick 2\n",
                           "page 101\nclick 1\npage 103\nclick 1\npage 104\nclose\n"};
  for (const char *script : scripts) {
    SetupSandbox box("setup-cancel");
    std::string reg = ReadText(box.root + "/registry.reg");
    HostRun run = box.Run(script);
    EXPECT_EQ(0, run.status) << script << run.stderrText;
    EXPECT_FALSE(box.Exists("c:\\Program Files")) << script;
    EXPECT_EQ(reg, ReadText(box.root + "/registry.reg")) << script;
    EXPECT_TRUE(run.Messages().empty()) << script;
  }
}

TEST(SetupRun, BackAndNextKeepWhatThePagesSay) {
  SetupSandbox box("setup-walk");
  HostRun run = box.Run(
      "page 101\nset 1000 c:\\Elsewhere\nclick 1\n"
      "page 103\ncheck 1006 0\nclick 3\n"          // Back drops the change
      "page 101\nclick 1\n"                         // the edit box shows the default again
      "page 103\ncheck 1007 0\nclick 1\n"           // Next keeps it
      "page 104\nclick 3\n"
      "page 103\nclick 1\n"
      "page 104\nclick 1\n"
      "message \"Installation Complete\" ok\n");
  ASSERT_EQ(0, run.status) << run.stderrText;
  std::vector<std::string> pages = run.Events("page");
  ASSERT_EQ(7u, pages.size());
  // The second visit of the folder page shows the default folder again.
  EXPECT_NE(std::string::npos, pages[2].find("Program Files\\\\Kelvorind\\\\TNM Verifier\\\\"));
  EXPECT_TRUE(box.Exists(kDir + "qenvo.exe"));
  EXPECT_FALSE(box.Exists("c:\\Elsewhere\\qenvo.exe"));
  EXPECT_TRUE(box.Exists("C:\\WINDOWS\\Desktop\\TolvaMarked Verifier.lnk"));  // unticked, then Back
  EXPECT_FALSE(box.Exists("C:\\WINDOWS\\Start Menu\\TolvaMarked Verifier.lnk"));  // unticked, Next
}

TEST(SetupRun, FoldersAsTyped) {
  {
    SetupSandbox box("setup-folder");
    HostRun run = box.Run(
        "page 101\nset 1000 C:\\Tools\\TNM\nclick 1\npage 103\ncheck 1006 0\ncheck 1007 0\nclick 1\n"
        "page 104\nclick 1\nmessage \"Installation Complete\" ok\n");
    ASSERT_EQ(0, run.status);
    EXPECT_TRUE(box.Exists("C:\\Tools\\TNM\\qenvo.exe"));
    EXPECT_TRUE(box.Exists("C:\\Tools\\TNM\\deinst.lst"));
    EXPECT_FALSE(box.Exists("C:\\WINDOWS\\Desktop\\TolvaMarked Verifier.lnk"));
    EXPECT_EQ(std::string::npos, box.Read("C:\\Tools\\TNM\\deinst.lst").find("Desktop"));
  }
  {
    // More than 259 characters: the text is cut at 259 and the log's path
    // is then too long to open.
    SetupSandbox box("setup-long");
    std::string folder = "C:";
    while (folder.size() < 300) folder += "\\folder0123";
    HostRun run = box.Run("page 101\nset 1000 " + folder + "\nclick 1\npage 103\nclick 1\npage 104\nclick 1\n" +
                           "message \"TolvaMarked Verifier - Setup\" ok\n");
    EXPECT_EQ(0, run.status) << run.stderrText;
    std::vector<std::string> messages = {"TolvaMarked Verifier - Setup: Error Installing Program Files!"};
    EXPECT_EQ(messages, run.Messages());
    EXPECT_TRUE(box.Exists("C:\\folder0123\\folder0123"));  // the folders made on the way stay
  }
}

TEST(SetupRun, FatalErrorsBeforeTheLog) {
  const std::string walk = "page 101\nclick 1\npage 103\nclick 1\npage 104\nclick 1\n";
  struct Case {
    const char *faults;
    std::vector<std::string> messages;
  } cases[] = {
      {"GetWindowsDirectoryA#1",
       {"Error Finding Windows Directory: Error Finding Windows Directory. The installationg cannot continue."}},
      {"CreateDirectoryA#1",
       {"Error Creating Directory: c:\\Program Files",
        "TolvaMarked Verifier - Setup: Error Creating Installation Directory!"}},
      {"_fsopen#1", {"TolvaMarked Verifier - Setup: Error Installing Program Files!"}},
  };
  for (const Case &c : cases) {
    SetupSandbox box("setup-fatal");
    std::string script = walk;
    for (const std::string &m : c.messages) script += "message \"" + m.substr(0, m.find(':')) + "\" ok\n";
    HostRun run = box.Run(script, c.faults);
    EXPECT_EQ(0, run.status) << c.faults << run.stderrText;
    EXPECT_EQ(c.messages, run.Messages()) << c.faults;
    EXPECT_FALSE(box.Exists(kLog)) << c.faults;
    for (const std::string &m : run.Events("message")) EXPECT_NE(std::string::npos, m.find("\"owner\":false")) << m;
  }
}

TEST(SetupRun, FailedExtractionRollsBack) {
  {
    SetupSandbox box("setup-noarchive");
    std::filesystem::remove(box.HostPath("C:\\SETUP\\data1.qv"));
    HostRun run = box.Run(
        "page 101\nclick 1\npage 103\nclick 1\npage 104\nclick 1\nmessage \"Installation Error\" ok\n");
    EXPECT_EQ(0, run.status) << run.stderrText;
    EXPECT_FALSE(box.Exists(kLog));
    EXPECT_TRUE(box.Exists(kDir));  // the folders stay
  }
  {
    // A damaged member: its CRC in the central directory (the archive uses
    // data descriptors) no longer matches. The CRC message, then the
    // rollback of what was extracted.
    SetupSandbox box("setup-damaged");
    std::string zip = box.Read("C:\\SETUP\\data1.qv");
    size_t central = zip.find("qenvo.hlp", zip.find("qenvo.hlp") + 1);
    ASSERT_NE(std::string::npos, central);
    zip[central - 46 + 16] ^= 0x55;
    std::ofstream(box.HostPath("C:\\SETUP\\data1.qv"), std::ios::binary) << zip;
    HostRun run = box.Run("page 101\nclick 1\npage 103\nclick 1\npage 104\nclick 1\n"
                           "message \"CRC check error!\" ok\nmessage \"Installation Error\" ok\n");
    EXPECT_EQ(0, run.status) << run.stderrText;
    std::vector<std::string> msgs = run.Messages();
    ASSERT_EQ(2u, msgs.size());
    EXPECT_EQ("CRC check error!: qenvo.hlp", msgs[0]);
    EXPECT_EQ(0u, msgs[1].find("Installation Error: Error installing TolvaMarked Verifier."));
    for (const char *f : {"ReadMe.txt", "qenvo.exe", "qenvo.hlp"}) EXPECT_FALSE(box.Exists(kDir + f)) << f;
    EXPECT_FALSE(box.Exists(kDir + "docs\\Signatures.txt"));  // never reached
    EXPECT_FALSE(box.Exists(kLog));
  }
}

TEST(SetupRun, ExistingTrustDbAndUninstallerFallbacks) {
  {
    SetupSandbox box("setup-trust");
    CreateDirectoryA("c:\\Program Files", NULL);
    CreateDirectoryA("c:\\Program Files\\Kelvorind", NULL);
    CreateDirectoryA(kDir.c_str(), NULL);
    std::ofstream(box.HostPath(kDir + "Trust.db")) << "the user's own";
    ASSERT_EQ(0, box.Run(kDefaults).status);
    EXPECT_EQ("the user's own", box.Read(kDir + "Trust.db"));
    EXPECT_EQ(std::string::npos, box.Read(kLog).find("Trust.db"));
  }
  for (const char *answer : {"yes", "no"}) {
    // Unlike one that the install folder holds already, a Trust.db that the
    // setup folder lacks, or that cannot be copied, is a question: Yes goes
    // on without it, No rolls back.
    for (bool missing : {true, false}) {
      SCOPED_TRACE(std::string(answer) + (missing ? ", missing" : ", copy failed"));
      SetupSandbox box("setup-notrust");
      if (missing) std::filesystem::remove(box.HostPath("C:\\SETUP\\Trust.db"));
      std::string script = std::string("page 101\nclick 1\npage 103\nclick 1\npage 104\nclick 1\n") +
                           "message \"TolvaMarked Verifier - Setup\" " + answer + "\n" +
                           (answer == std::string("yes") ? "message \"Installation Complete\" ok\n"
                                                         : "message \"Installation Error\" ok\n");
      HostRun run = box.Run(script, missing ? "" : "CopyFileA#1");
      ASSERT_EQ(0, run.status) << run.stderrText;
      std::string text = run.Messages()[0];
      EXPECT_EQ("TolvaMarked Verifier - Setup: Error copying the trust database Trust.db. The program "
                "cannot check signatures without it.\nDo you want to continue?",
                text);
      EXPECT_FALSE(box.Exists(kDir + "Trust.db"));
      if (answer == std::string("yes"))
        EXPECT_EQ(Without(FullLog(), "Trust.db"), box.Read(kLog));
      else
        ExpectRolledBack(box, false);
    }
  }
  {
    // The Windows folder refuses the copy: the uninstaller goes to InstallDir.
    SetupSandbox box("setup-uninst");
    std::ofstream(box.HostPath("C:\\WINDOWS\\UninstallTNM.exe")) << "old";
    SetFileAttributesA("C:\\WINDOWS\\UninstallTNM.exe", FILE_ATTRIBUTE_READONLY);
    HostRun run = box.Run(kDefaults);
    ASSERT_EQ(0, run.status);
    EXPECT_EQ("\"" + kDir + "UninstallTNM.exe\" " + kLog,
              box.RegValue(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"));
    EXPECT_TRUE(box.Exists(kDir + "UninstallTNM.exe"));
    EXPECT_EQ(std::string::npos, box.Read(kLog).find("UninstallTNM"));
  }
  for (const char *answer : {"yes", "no"}) {
    // Both copies fail (the first copy is Trust.db's).
    SetupSandbox box("setup-q1");
    std::string script = std::string("page 101\nclick 1\npage 103\nclick 1\npage 104\nclick 1\n") +
                         "message \"Uninstall Setup Error\" " + answer + "\n";
    script += answer == std::string("yes") ? "message \"Installation Complete\" ok\n"
                                           : "message \"Installation Error\" ok\n";
    HostRun run = box.Run(script, "CopyFileA#2,CopyFileA#3");
    ASSERT_EQ(0, run.status) << answer << run.stderrText;
    if (answer == std::string("yes")) {
      EXPECT_EQ(FullLog(""), box.Read(kLog));
      EXPECT_FALSE(box.KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey));
    } else {
      ExpectRolledBack(box, false);
    }
  }
}

// Names a folder on a drive that does not exist, as a broken profile would.
void BreakShellFolder(const char *value) {
  HKEY key;
  ASSERT_EQ(ERROR_SUCCESS,
            RegOpenKeyA(HKEY_CURRENT_USER,
                        "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", &key));
  const char folder[] = "Q:\\Missing";
  RegSetValueExA(key, value, 0, REG_SZ, (const BYTE *)folder, sizeof folder);
  RegCloseKey(key);
}

TEST(SetupRun, QuestionsAfterPartialFailures) {
  struct Case {
    const char *faults;
    const char *brokenFolder;  // a Shell Folders value pointing nowhere
    const char *firstBox;      // a box that comes before the question
    const char *caption;
    const char *missing;  // what a Yes leaves out of the log
  } cases[] = {
      {"", "Desktop", "", "Unable to Create Shortcut", "File:C:\\WINDOWS\\Desktop"},
      {"IPersistFile::Save#1", "", "", "Unable to Create Shortcut", ""},
      {"IPersistFile::Save#2", "", "", "Unable to Create Start Menu Entry", ""},
      {"", "Programs", "Error Creating Directory", "Unable to Create Shortcut", "Dire:"},
      {"IPersistFile::Save#3", "", "", "Error Create Submenu Entries", ""},
  };
  for (const Case &c : cases) {
    for (const char *answer : {"yes", "no"}) {
      SetupSandbox box("setup-q");
      if (*c.brokenFolder) BreakShellFolder(c.brokenFolder);
      std::string script = "page 101\nclick 1\npage 103\nclick 1\npage 104\nclick 1\n";
      if (*c.firstBox) script += std::string("message \"") + c.firstBox + "\" ok\n";
      script += std::string("message \"") + c.caption + "\" " + answer + "\n";
      script += answer == std::string("yes") ? "message \"Installation Complete\" ok\n"
                                             : "message \"Installation Error\" ok\n";
      HostRun run = box.Run(script, c.faults);
      ASSERT_EQ(0, run.status) << c.faults << c.brokenFolder << " " << answer << run.stderrText;
      if (answer == std::string("no")) {
        ExpectRolledBack(box);
        EXPECT_TRUE(run.Events("process").empty());
      } else {
        std::string log = box.Read(kLog);
        EXPECT_NE(std::string::npos, log.find("UKCU:Software\\Kelvorind\\TNM Verifier\r\n")) << c.faults;
        if (*c.missing) {
          EXPECT_EQ(std::string::npos, log.find(c.missing)) << c.faults << c.brokenFolder;
        }
      }
    }
  }
}

// Gives a Shell Folders value new data in the sandbox's registry.reg, as a
// user edits the file.
void EditShellFolder(SetupSandbox &box, const std::string &name, const std::string &data) {
  std::string path = box.root + "/registry.reg";
  std::string text = ReadText(path), line = "\"" + name + "\"=";
  size_t at = text.find(line);
  ASSERT_NE(std::string::npos, at) << name;
  text.replace(at, text.find('\n', at) - at, line + data);
  std::ofstream(path, std::ios::binary) << text;
  winhost::ReloadRegistry();
}

// A string as a hex(1): list, without a terminator.
std::string Unterminated(const std::string &text) {
  std::string out = "hex(1):";
  char byte[4];
  for (size_t i = 0; i < text.size(); i++) {
    snprintf(byte, sizeof byte, i ? ",%02x" : "%02x", (unsigned char)text[i]);
    out += byte;
  }
  return out;
}

std::vector<std::string> Captions(const HostRun &run) {
  std::vector<std::string> out;
  for (const std::string &e : run.Events("message")) out.push_back(JsonField(e, "caption"));
  return out;
}

TEST(SetupRun, EmptyOrUnterminatedShellFolders) {
  const std::string desktopLink = "File:C:\\WINDOWS\\Desktop\\TolvaMarked Verifier.lnk";
  const std::string startLink = "File:C:\\WINDOWS\\Start Menu\\TolvaMarked Verifier.lnk";
  // An empty value is a missing folder: its question is asked, and Yes goes
  // on without what belongs there.
  struct Case {
    const char *name, *question, *missing;
  } cases[] = {{"Desktop", "Unable to Create Shortcut", desktopLink.c_str()},
               {"Start Menu", "Unable to Create Start Menu Entry", startLink.c_str()},
               {"Programs", "Unable to Create Shortcut", kSubmenu.c_str()}};
  for (const Case &c : cases) {
    SetupSandbox box("setup-emptyfolder");
    EditShellFolder(box, c.name, "hex(1):");
    HostRun run = box.Run("auto yes\n");
    ASSERT_EQ(0, run.status) << c.name << run.stderrText;
    EXPECT_EQ(std::vector<std::string>({c.question, "Installation Complete"}), Captions(run)) << c.name;
    EXPECT_EQ(Without(FullLog(), c.missing), box.Read(kLog)) << c.name;
    EXPECT_EQ(c.name == std::string("Programs") ? 0u : 1u, run.Events("process").size()) << c.name;
  }
  {
    // Values without their terminator, each shorter than the one read before
    // it into the same buffer.
    SetupSandbox box("setup-unterminated");
    CreateDirectoryA("C:\\Menu", NULL);
    CreateDirectoryA("C:\\P", NULL);
    EditShellFolder(box, "Desktop", Unterminated("C:\\WINDOWS\\Desktop"));
    EditShellFolder(box, "Start Menu", Unterminated("C:\\Menu"));
    EditShellFolder(box, "Programs", Unterminated("C:\\P"));
    HostRun run = box.Run(kDefaults);
    ASSERT_EQ(0, run.status) << run.stderrText;
    std::string log = FullLog();
    log.replace(log.find(startLink), startLink.size(), "File:C:\\Menu\\TolvaMarked Verifier.lnk");
    for (size_t at; (at = log.find(kSubmenu)) != std::string::npos;)
      log.replace(at, kSubmenu.size(), "C:\\P\\TNM Verifier\\");
    EXPECT_EQ(log, box.Read(kLog));
    std::vector<std::string> process = run.Events("process");
    ASSERT_EQ(1u, process.size());
    EXPECT_EQ("explorer \"C:\\P\\TNM Verifier\\\"", JsonField(process[0], "cmdline"));
  }
  {
    // The submenu folder cannot be made: Yes completes without Explorer,
    // which would otherwise open the folder where the path was cut.
    SetupSandbox box("setup-nosubmenu");
    EditShellFolder(box, "Programs", "\"Q:\\\\Missing\"");
    HostRun run = box.Run("auto yes\n");
    ASSERT_EQ(0, run.status) << run.stderrText;
    EXPECT_EQ(std::vector<std::string>(
                  {"Error Creating Directory", "Unable to Create Shortcut", "Installation Complete"}),
              Captions(run));
    EXPECT_TRUE(run.Events("process").empty());
    EXPECT_EQ(Without(FullLog(), kSubmenu), box.Read(kLog));
  }
}

TEST(SetupRun, SourceFolderFromTheCommandLine) {
  {
    SetupSandbox box("setup-quoted", "C:\\My Setup");
    HostRun run = box.Run(kDefaults, "", "\"C:\\My Setup\\setup.exe\" /extra arguments");
    ASSERT_EQ(0, run.status) << run.stderrText;
    EXPECT_TRUE(box.Exists(kDir + "qenvo.exe"));
  }
  {
    // Unquoted, the path is cut at its blank: the archive is looked for in C:\.
    SetupSandbox box("setup-unquoted", "C:\\");
    HostRun run = box.Run(kDefaults, "", "C:\\My Setup\\setup.exe");
    ASSERT_EQ(0, run.status) << run.stderrText;
    EXPECT_TRUE(box.Exists(kDir + "qenvo.exe"));
  }
}

}  // namespace

namespace {

TEST(SetupRun, ChoicesLeftOpen) {
  {
    // No folder in the program's path and no full path to be had: the
    // current folder (C:\ here) is the source folder.
    SetupSandbox box("setup-nofolder", "C:\\");
    HostRun run = box.Run(kDefaults, "GetFullPathNameA#1", "setup.exe");
    ASSERT_EQ(0, run.status) << run.stderrText;
    EXPECT_TRUE(box.Exists(kDir + "qenvo.exe"));
  }
  {
    // Nor a current folder: the run ends as for a missing archive, before
    // anything is installed, instead of looking for the distribution's
    // files relative to the install folder.
    SetupSandbox box("setup-nosource", "C:\\");
    HostRun run = box.Run("auto yes\n", "GetFullPathNameA#1,GetCurrentDirectoryA#1", "setup.exe");
    ASSERT_EQ(0, run.status) << run.stderrText;
    EXPECT_EQ(std::vector<std::string>({"Installation Error"}), Captions(run));
    EXPECT_FALSE(box.Exists(kLog));
    EXPECT_FALSE(box.Exists(kDir + "qenvo.exe"));
    EXPECT_TRUE(box.Exists(kDir));  // the folders stay
    EXPECT_TRUE(run.Events("process").empty());
  }
  {
    // A first token longer than the program path's 2000 characters is cut;
    // the full-path lookup cannot take it, so the folder before its last
    // backslash is used.
    SetupSandbox box("setup-longtoken", "C:\\");
    HostRun run = box.Run(kDefaults, "", "C:\\" + std::string(2500, 'x') + " more");
    ASSERT_EQ(0, run.status) << run.stderrText;
    EXPECT_TRUE(box.Exists(kDir + "qenvo.exe"));
  }
  {
    // Yes to the submenu question when no Programs folder was found: no
    // submenu was composed, so no Explorer is started.
    SetupSandbox box("setup-noprograms");
    HKEY key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegOpenKeyA(HKEY_CURRENT_USER,
                          "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", &key));
    RegDeleteValueA(key, "Programs");
    RegCloseKey(key);
    HostRun run = box.Run(
        "page 101\nclick 1\npage 103\nclick 1\npage 104\nclick 1\n"
        "message \"Unable to Create Shortcut\" yes\nmessage \"Installation Complete\" ok\n");
    ASSERT_EQ(0, run.status) << run.stderrText;
    EXPECT_TRUE(run.Events("process").empty());
    std::string log = box.Read(kLog);
    EXPECT_EQ(std::string::npos, log.find("Dire:"));
    EXPECT_NE(std::string::npos, log.find("UKCU:Software\\Kelvorind\\TNM Verifier\r\n"));
  }
}

}  // namespace
