// Shortcuts: links saved through the host's shell link object and read back
// by lnkinfo, the paths they are saved at, the "File:" record on every path,
// and one balanced COM session per link.
#include <gtest/gtest.h>
#include <stdio.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "actions/shortcuts.h"
#include "tests/product/actions_fixture.h"
#include "tests/support/lnkinfo.h"

namespace {

const char kInstallDir[] = "C:\\Program Files\\TNM\\";
const char kDesktop[] = "C:\\WINDOWS\\Desktop";

std::string g_root;
void Fresh(const char *name) {
  g_root = FreshSandbox((std::string("shortcuts-") + name).c_str());
  std::filesystem::create_directories(g_root + "/c/Program Files/TNM");
  std::ofstream(g_root + "/c/Program Files/TNM/qenvo.exe") << "MZ";
}

bool LinkExists(const char *winpath) {
  std::string host = winhost::HostPath(winpath);
  return !host.empty() && std::filesystem::is_regular_file(host);
}

// COM is released on every path: no session left open, no object alive.
void ExpectComBalanced() {
  EXPECT_EQ(winhost::ComInitDepth(), 0);
  EXPECT_EQ(winhost::LiveComObjects(), 0);
  EXPECT_EQ(winhost::CallCount("CoFreeUnusedLibraries"), winhost::CallCount("CoUninitialize"));
}

// lnkinfo's reading of the link at a Windows path.
std::map<std::string, std::string> LinkFields(const char *winpath) {
  return LnkInfo(winhost::HostPath(winpath));
}

TEST(CreateShortcut, LinksReadBackByLnkinfo) {
  Fresh("lnkinfo");
  FILE *log = tmpfile();
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(CreateShortcut(kInstallDir, "qenvo.exe", "", "TolvaMarked Verifier", kDesktop, log), 0);
  EXPECT_EQ(CreateShortcut("C:\\WINDOWS\\", "UninstallTNM.exe", "C:\\Program Files\\TNM\\deinst.lst",
                           "Uninstall", "C:\\WINDOWS\\Start Menu\\", log),
            0);
  ExpectComBalanced();
  EXPECT_EQ(winhost::CallCount("CoInitialize"), 2u);  // one session per link
  EXPECT_EQ(LogLines(log), (std::vector<std::string>{
                               "File:C:\\WINDOWS\\Desktop\\TolvaMarked Verifier.lnk",
                               "File:C:\\WINDOWS\\Start Menu\\Uninstall.lnk"}));

  std::map<std::string, std::string> info = LinkFields("C:\\WINDOWS\\Desktop\\TolvaMarked Verifier.lnk");
  EXPECT_EQ(info["Local path"], "C:\\Program Files\\TNM\\qenvo.exe");
  EXPECT_EQ(info["Description"], "TolvaMarked Verifier");
  EXPECT_EQ(info.count("Command line arguments"), 0u);  // the empty argument string

  info = LinkFields("C:\\WINDOWS\\Start Menu\\Uninstall.lnk");
  EXPECT_EQ(info["Local path"], "C:\\WINDOWS\\UninstallTNM.exe");  // need not exist yet
  EXPECT_EQ(info["Command line arguments"], "C:\\Program Files\\TNM\\deinst.lst");
  EXPECT_EQ(info["Description"], "Uninstall");
  fclose(log);
}

// One backslash between folder and name, whether the folder brings it or not;
// ".lnk" goes after the whole link name, dots and all.
TEST(CreateShortcut, LinkAndTargetPaths) {
  Fresh("paths");
  std::filesystem::create_directories(g_root + "/c/WINDOWS/Start Menu/Programs/TNM Verifier");
  FILE *log = tmpfile();
  EXPECT_EQ(CreateShortcut("C:\\Program Files\\TNM", "qenvo.exe", "", "Plain", kDesktop, log), 0);
  EXPECT_EQ(CreateShortcut(kInstallDir, "qenvo.exe", "", "Help",
                           "C:\\WINDOWS\\Start Menu\\Programs\\TNM Verifier\\", log),
            0);
  EXPECT_EQ(CreateShortcut(kInstallDir, "qenvo.exe", "", "Read.me v1.2", kDesktop, log), 0);
  EXPECT_EQ(CreateShortcut(kInstallDir, "qenvo.exe", "", "Already.lnk", kDesktop, log), 0);
  EXPECT_EQ(LogLines(log), (std::vector<std::string>{
                               "File:C:\\WINDOWS\\Desktop\\Plain.lnk",
                               "File:C:\\WINDOWS\\Start Menu\\Programs\\TNM Verifier\\Help.lnk",
                               "File:C:\\WINDOWS\\Desktop\\Read.me v1.2.lnk",
                               "File:C:\\WINDOWS\\Desktop\\Already.lnk.lnk"}));
  EXPECT_TRUE(LinkExists("C:\\WINDOWS\\Desktop\\Plain.lnk"));
  EXPECT_TRUE(LinkExists("C:\\WINDOWS\\Start Menu\\Programs\\TNM Verifier\\Help.lnk"));
  EXPECT_TRUE(LinkExists("C:\\WINDOWS\\Desktop\\Read.me v1.2.lnk"));
  EXPECT_TRUE(LinkExists("C:\\WINDOWS\\Desktop\\Already.lnk.lnk"));
  EXPECT_FALSE(LinkExists("C:\\WINDOWS\\Desktop\\Already.lnk"));
  EXPECT_EQ(LinkFields("C:\\WINDOWS\\Desktop\\Plain.lnk")["Local path"],
            "C:\\Program Files\\TNM\\qenvo.exe");
  EXPECT_EQ(LinkFields("C:\\WINDOWS\\Desktop\\Read.me v1.2.lnk")["Description"], "Read.me v1.2");
  ExpectComBalanced();

  // Without a log the link is made all the same.
  EXPECT_EQ(CreateShortcut(kInstallDir, "qenvo.exe", "", "Unlogged", kDesktop, NULL), 0);
  EXPECT_TRUE(LinkExists("C:\\WINDOWS\\Desktop\\Unlogged.lnk"));
  EXPECT_EQ(LogLines(log).size(), 4u);
  fclose(log);
}

// A failure at any step of the save gives -1, leaves no link, writes the
// record all the same and ends the COM session it began.
TEST(CreateShortcut, FailedSavesAreRecorded) {
  struct Case {
    const char *fault;
    bool comEnded;  // CoUninitialize called (not after a failed CoInitialize)
  } cases[] = {{"CoInitialize#1", false},      {"CoCreateInstance#1", true},
               {"QueryInterface#1", true},     {"MultiByteToWideChar#1", true},
               {"IPersistFile::Save#1", true}, {"", true}};
  for (const Case &c : cases) {
    SCOPED_TRACE(c.fault);
    Fresh("failures");
    winhost::SetFaults(c.fault);
    FILE *log = tmpfile();
    // The last case fails for real: the link folder does not exist.
    const char *folder = *c.fault ? kDesktop : "C:\\WINDOWS\\Nowhere";
    EXPECT_EQ(CreateShortcut(kInstallDir, "qenvo.exe", "", "TolvaMarked Verifier", folder, log), -1);
    std::string link = std::string(folder) + "\\TolvaMarked Verifier.lnk";
    EXPECT_EQ(LogLines(log), std::vector<std::string>{"File:" + link});
    EXPECT_FALSE(LinkExists(link.c_str()));
    EXPECT_EQ(winhost::ComInitDepth(), 0);
    EXPECT_EQ(winhost::LiveComObjects(), 0);
    EXPECT_EQ(winhost::CallCount("CoFreeUnusedLibraries"), 1u);
    EXPECT_EQ(winhost::CallCount("CoUninitialize"), c.comEnded ? 1u : 0u);
    fclose(log);
  }
}

// The link path goes to the save through 260 wide characters: 259 and the
// terminator fit, 260 are refused before COM is touched, with the record.
TEST(CreateShortcut, LinkPathOfTwoHundredSixtyCharacters) {
  Fresh("long-link");
  std::string folder = "C:\\" + std::string(200, 'd');  // 203 characters
  std::filesystem::create_directories(winhost::HostPath(folder.c_str()));
  std::string fits(259 - 203 - 1 - 4, 'f'), tooLong(260 - 203 - 1 - 4, 'g');
  FILE *log = tmpfile();
  EXPECT_EQ(CreateShortcut(kInstallDir, "qenvo.exe", "", fits.c_str(), folder.c_str(), log), 0);
  std::string fitsPath = folder + "\\" + fits + ".lnk";
  ASSERT_EQ(fitsPath.size(), 259u);
  EXPECT_TRUE(LinkExists(fitsPath.c_str()));
  EXPECT_EQ(LinkFields(fitsPath.c_str())["Description"], fits);

  unsigned long sessions = winhost::CallCount("CoInitialize");
  EXPECT_EQ(CreateShortcut(kInstallDir, "qenvo.exe", "", tooLong.c_str(), folder.c_str(), log), -1);
  std::string longPath = folder + "\\" + tooLong + ".lnk";
  ASSERT_EQ(longPath.size(), 260u);
  EXPECT_EQ(winhost::CallCount("CoInitialize"), sessions);
  EXPECT_FALSE(LinkExists(longPath.c_str()));
  EXPECT_EQ(LogLines(log), (std::vector<std::string>{"File:" + fitsPath, "File:" + longPath}));

  // The same refusal straight from the save.
  EXPECT_EQ(SaveShellLink("C:\\x.exe", "", longPath.c_str(), "d"), -1);
  EXPECT_EQ(winhost::CallCount("CoInitialize"), sessions);
  ExpectComBalanced();
  fclose(log);
}

// Paths are built in 500-character buffers and never cut: a link path that
// would not fit has nothing to record; a target that would not fit is not
// saved, but its link is recorded.
TEST(CreateShortcut, PathsBeyondFiveHundredCharacters) {
  Fresh("500");
  FILE *log = tmpfile();
  std::string longFolder = "C:\\" + std::string(491, 'x');  // 494 + "\" + "ab" + ".lnk" = 501
  EXPECT_EQ(CreateShortcut(kInstallDir, "qenvo.exe", "", "ab", longFolder.c_str(), log), -1);
  EXPECT_TRUE(LogLines(log).empty());

  std::string longBase = "C:\\" + std::string(490, 'y');  // 493 + "\" + "qenvo.exe" = 503
  EXPECT_EQ(CreateShortcut(longBase.c_str(), "qenvo.exe", "", "T", kDesktop, log), -1);
  EXPECT_EQ(LogLines(log), std::vector<std::string>{"File:C:\\WINDOWS\\Desktop\\T.lnk"});
  EXPECT_FALSE(LinkExists("C:\\WINDOWS\\Desktop\\T.lnk"));
  EXPECT_EQ(winhost::CallCount("CoInitialize"), 0u);
  fclose(log);
}

// Only S_OK from the last step counts. The host's Save answers S_OK or a
// failure, never S_FALSE; what can be shown is that an earlier success code
// (SetPath's S_FALSE for a target that does not exist yet) does not decide.
TEST(SaveShellLink, OnlyTheLastResultDecides) {
  Fresh("sfalse");
  EXPECT_EQ(SaveShellLink("C:\\Not\\There.exe", "-x", "C:\\WINDOWS\\Desktop\\Later.lnk", "Later"), 0);
  EXPECT_TRUE(LinkExists("C:\\WINDOWS\\Desktop\\Later.lnk"));
  EXPECT_EQ(LinkFields("C:\\WINDOWS\\Desktop\\Later.lnk")["Command line arguments"], "-x");
  ExpectComBalanced();

  // A session already open on the thread is left as it was.
  ASSERT_EQ(CoInitialize(NULL), S_OK);
  EXPECT_EQ(SaveShellLink("C:\\x.exe", "", "C:\\WINDOWS\\Desktop\\Nested.lnk", "Nested"), 0);
  EXPECT_EQ(winhost::ComInitDepth(), 1);
  CoUninitialize();
  EXPECT_EQ(winhost::ComInitDepth(), 0);
  EXPECT_EQ(winhost::LiveComObjects(), 0);
}

}  // namespace
