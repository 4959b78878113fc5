// Failures the fault sweep found, each kept as a case: the log stream that
// cannot write, seek or read during a rollback, a shell link whose fields
// cannot be set, and a page whose EndDialog is asked to fail.
#include <gtest/gtest.h>

#include <filesystem>

#include "actions/shortcuts.h"
#include "tests/product/actions_fixture.h"
#include "tests/product/setup_run.h"
#include "tests/support/bytes.h"

namespace {

const std::string kDir = "c:\\Program Files\\Kelvorind\\TNM Verifier\\";
const char kDesktopLink[] = "C:\\WINDOWS\\Desktop\\TolvaMarked Verifier.lnk";

// The desktop link cannot be saved and the user declines to go on: the
// rollback follows with the log's stream failing as the case says.
const char kDecline[] =
    "page 101\nclick 1\npage 103\nclick 1\npage 104\nclick 1\n"
    "message \"Unable to Create Shortcut\" no\nmessage \"Installation Error\" ok\n";

void ExpectNothingLogged(SetupSandbox &box) {
  EXPECT_FALSE(box.Exists(kDir + "deinst.lst"));
  for (const char *f : {"ReadMe.txt", "qenvo.exe", "qenvo.hlp", "docs\\Signatures.txt", "Trust.db"})
    EXPECT_FALSE(box.Exists(kDir + f)) << f;
  EXPECT_FALSE(box.KeyExists(HKEY_CLASSES_ROOT, "*\\shell\\checksig"));
  EXPECT_FALSE(box.KeyExists(HKEY_LOCAL_MACHINE,
                             "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TNM Verifier"));
}

TEST(RollbackStream, FirstSeekFailingStillRollsBackFromTheDisk) {
  SetupSandbox box("rel-seek");
  HostRun run = box.Run(kDecline, "IPersistFile::Save#1,StreamSeek#1");
  EXPECT_EQ(run.status, 0) << run.stderrText;
  ASSERT_EQ(run.Messages().size(), 2u);
  ExpectNothingLogged(box);
}

TEST(RollbackStream, FirstReadFailingStillRollsBackFromTheDisk) {
  SetupSandbox box("rel-read");
  HostRun run = box.Run(kDecline, "IPersistFile::Save#1,StreamRead#1");
  EXPECT_EQ(run.status, 0) << run.stderrText;
  ExpectNothingLogged(box);
}

// Each record reaches the file as it is written: a failed write loses that
// record alone, and the rollback removes everything else.
TEST(RollbackStream, FailedRecordWriteLosesOnlyThatRecord) {
  SetupSandbox box("rel-write");
  // Write 1 is the "Name:" line, write 2 the record of ReadMe.txt.
  HostRun run = box.Run(kDecline, "IPersistFile::Save#1,StreamWrite#2");
  EXPECT_EQ(run.status, 0) << run.stderrText;
  EXPECT_FALSE(box.Exists(kDir + "deinst.lst"));
  EXPECT_TRUE(box.Exists(kDir + "ReadMe.txt"));  // its record never reached the log
  for (const char *f : {"qenvo.exe", "qenvo.hlp", "docs\\Signatures.txt", "Trust.db"})
    EXPECT_FALSE(box.Exists(kDir + f)) << f;
  EXPECT_FALSE(box.KeyExists(HKEY_CLASSES_ROOT, "*\\shell\\checksig"));
}

// A failed write leaves no trace in the file (no stale bytes, no gap): the
// next record follows the last one that was written.
TEST(RollbackStream, CompletedLogHasNoTraceOfAFailedWrite) {
  SetupSandbox box("rel-clean");
  HostRun run = box.Run("auto yes\n", "StreamWrite#3");
  EXPECT_EQ(run.status, 0) << run.stderrText;
  std::string log = box.Read(kDir + "deinst.lst");
  // Write 3, the record of qenvo.exe, was lost; the next one follows at once.
  std::string head = "Name:TolvaMarked Verifier\r\nFile:" + kDir + "ReadMe.txt\r\nFile:" + kDir +
                     "qenvo.hlp\r\n";
  EXPECT_EQ(log.substr(0, head.size()), head);
  EXPECT_EQ(log.find('\0'), std::string::npos);
}

TEST(HostStream, FailedWriteDropsItsBytesAndSetsTheError) {
  std::string root = FreshSandbox("rel-stream");
  FILE *f = _fsopen("C:\\s.txt", "w+t", _SH_DENYNO);
  ASSERT_NE(f, nullptr);
  fputs("kept\n", f);
  ASSERT_EQ(fflush(f), 0);
  winhost::SetFaults("StreamWrite#2");
  fputs("lost\n", f);
  EXPECT_NE(fflush(f), 0);
  EXPECT_TRUE(ferror(f));
  clearerr(f);
  fputs("next\n", f);
  EXPECT_EQ(fflush(f), 0);
  fclose(f);
  EXPECT_EQ(ReadText(root + "/c/s.txt"), "kept\r\nnext\r\n");
}

// A link whose target, arguments or description cannot be set is not saved
// (a shortcut to nothing); the caller hears of the failure.
TEST(ShortcutFields, FailedSetterMeansNoLink) {
  for (const char *api : {"IShellLinkA::SetPath", "IShellLinkA::SetArguments",
                          "IShellLinkA::SetDescription"}) {
    std::string root = FreshSandbox("rel-link");
    winhost::SetFaults((std::string(api) + "#1").c_str());
    EXPECT_EQ(SaveShellLink("C:\\x.exe", "-a", kDesktopLink, "TolvaMarked Verifier"), -1) << api;
    EXPECT_FALSE(std::filesystem::exists(root + "/c/WINDOWS/Desktop/TolvaMarked Verifier.lnk"));
    EXPECT_EQ(winhost::CallCount("IPersistFile::Save"), 0u);
    EXPECT_EQ(winhost::LiveComObjects(), 0);
    EXPECT_EQ(winhost::ComInitDepth(), 0);
  }
  FreshSandbox("rel-link");
  EXPECT_EQ(SaveShellLink("C:\\x.exe", "-a", kDesktopLink, "TolvaMarked Verifier"), 0);
}

// With every call failing from the wizard on, the folder page cannot read a
// full path and refuses Next; the agent then gives up with Escape, the page
// ends (EndDialog is never made to fail) and the program ends with 0 instead
// of waiting on a page that nothing can close, having installed nothing.
TEST(PageEnd, EveryCallFailingStillEndsThePage) {
  SetupSandbox box("rel-page");
  HostRun run = box.Run("auto yes\n", "*#5+");
  EXPECT_EQ(run.status, 0) << run.stderrText;
  EXPECT_TRUE(run.stderrText.empty());
  std::vector<std::string> actions = run.Events("action");
  ASSERT_FALSE(actions.empty());
  EXPECT_NE(actions.back().find("\"step\":\"key escape\""), std::string::npos) << actions.back();
  EXPECT_FALSE(box.Exists("c:\\Program Files\\Kelvorind\\TNM Verifier\\deinst.lst"));
}

}  // namespace
