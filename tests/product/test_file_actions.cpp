// The join rule (JoinPath), the folders along a path (CreateDirectoryPath), a
// distribution file's copy (CopyInstallFile) and the Programs submenu's folder
// (CreateSubmenuFolder): what each makes, records, shows and returns.
#include <gtest/gtest.h>
#include <string.h>

#include <string>
#include <vector>

#include "actions/file_actions.h"
#include "actions/paths.h"
#include "common/state.h"
#include "common/text.h"
#include "tests/product/actions_fixture.h"
#include "tests/support/bytes.h"
#include "tests/support/transcript.h"

namespace {

// A fresh machine whose message boxes the agent answers.
void Fresh(const char *name) {
  FreshSandbox(name);
  winhost::SetScript("auto yes\n");
}

bool IsFolder(const char *winpath) {
  DWORD a = GetFileAttributesA(winpath);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

void PutFile(const char *winpath, const std::string &text) {
  ASSERT_TRUE(WriteBytes(winhost::HostPath(winpath), text.data(), text.size())) << winpath;
}

std::string FileText(const char *winpath) { return ReadText(winhost::HostPath(winpath)); }

// ---- JoinPath ----

TEST(JoinPath, OneBackslashBetweenFolderAndName) {
  struct {
    const char *folder, *name, *want;
  } cases[] = {
      {"C:\\Dir", "a.txt", "C:\\Dir\\a.txt"},
      {"C:\\Dir\\", "a.txt", "C:\\Dir\\a.txt"},
      {"C:\\", "a.txt", "C:\\a.txt"},
      {"", "a.txt", "\\a.txt"},
      {"C:\\Dir", "", "C:\\Dir\\"},
      {"C:\\Dir/", "a.txt", "C:\\Dir/\\a.txt"},  // only a backslash ends a folder
      {"C:\\Dir", "Sub\\a.txt", "C:\\Dir\\Sub\\a.txt"},
  };
  for (const auto &c : cases) {
    char out[32];
    memset(out, 'x', sizeof out);
    EXPECT_EQ(JoinPath(out, sizeof out, c.folder, c.name), 0) << c.folder << " + " << c.name;
    EXPECT_STREQ(out, c.want);
  }
}

// The result and its terminator must fit the capacity; what does not fit
// leaves the buffer empty.
TEST(JoinPath, WhatDoesNotFitLeavesTheBufferEmpty) {
  char out[13];  // "C:\Dir\a.txt" and its terminator, exactly
  EXPECT_EQ(JoinPath(out, sizeof out, "C:\\Dir", "a.txt"), 0);
  EXPECT_STREQ(out, "C:\\Dir\\a.txt");
  EXPECT_EQ(JoinPath(out, sizeof out, "C:\\Dir\\", "a.txt"), 0);
  EXPECT_STREQ(out, "C:\\Dir\\a.txt");
  EXPECT_EQ(JoinPath(out, sizeof out, "C:\\Dir", "ab.txt"), -1);
  EXPECT_STREQ(out, "");
  memset(out, 'x', sizeof out);
  EXPECT_EQ(JoinPath(out, sizeof out, "C:\\Dir\\", "ab.txt"), -1);
  EXPECT_STREQ(out, "");
  // No room at all: nothing is written.
  out[0] = 'x';
  EXPECT_EQ(JoinPath(out, 0, "", ""), -1);
  EXPECT_EQ(out[0], 'x');
}

// ---- CreateDirectoryPath ----

// Every folder up to a backslash within the length, never the drive root nor
// the last step; folders that are there already are no failure. The path
// comes back as it was given.
TEST(CreateDirectoryPath, EveryFolderBeforeABackslash) {
  Fresh("dirpath");
  char path[] = "C:\\A\\B\\C\\file.txt";
  EXPECT_EQ(CreateDirectoryPath(path, (int)strlen(path)), 0);
  EXPECT_STREQ(path, "C:\\A\\B\\C\\file.txt");
  EXPECT_TRUE(IsFolder("C:\\A\\B\\C"));
  EXPECT_EQ(GetFileAttributesA("C:\\A\\B\\C\\file.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(winhost::CallCount("CreateDirectoryA"), 3u);  // no call for C:\ itself

  EXPECT_EQ(CreateDirectoryPath(path, (int)strlen(path)), 0);  // all there already

  char shorter[] = "C:\\X\\Y\\Z\\";
  EXPECT_EQ(CreateDirectoryPath(shorter, 5), 0);  // "C:\X\" only
  EXPECT_TRUE(IsFolder("C:\\X"));
  EXPECT_FALSE(IsFolder("C:\\X\\Y"));

  char rooted[] = "\\Top\\Sub\\";  // on the current drive, from its root
  EXPECT_EQ(CreateDirectoryPath(rooted, (int)strlen(rooted)), 0);
  EXPECT_TRUE(IsFolder("C:\\Top\\Sub"));
}

// A folder that cannot be made: "Error Creating Directory" names the path
// up to it, owned by the open wizard page, and by no window once the wizard
// has ended.
TEST(CreateDirectoryPath, AFailureIsShownAndReturned) {
  Fresh("dirpath-fail");
  HWND page = CreateWindowExA(0, "Static", "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(page, nullptr);
  g_pageWindow = page;
  for (int ended : {0, 1}) {
    g_wizardEnded = ended;
    FailFromNow("CreateDirectoryA", 2);
    char path[] = "C:\\Fail\\Here\\Below\\";
    EXPECT_EQ(CreateDirectoryPath(path, (int)strlen(path)), CREATE_DIRECTORY_FAILED);
    EXPECT_FALSE(IsFolder("C:\\Fail\\Here"));
    std::vector<std::string> boxes = EventsOf(winhost::TranscriptLines(), "message");
    ASSERT_EQ(boxes.size(), (size_t)ended + 1);
    EXPECT_EQ(JsonField(boxes.back(), "caption"), "Error Creating Directory");
    EXPECT_EQ(JsonField(boxes.back(), "text"), "C:\\Fail\\Here");
    EXPECT_EQ(JsonNumber(boxes.back(), "style"), (long)(MB_ICONERROR | MB_OK));
    EXPECT_EQ(ParseJson(boxes.back())["owner"].b, !ended) << ended;
  }
  g_wizardEnded = 0;
  g_pageWindow = nullptr;
  DestroyWindow(page);
}

// ---- CopyInstallFile ----

TEST(CopyInstallFile, CopiesAndRecordsTheTarget) {
  Fresh("copy");
  CreateDirectoryA("C:\\SETUP", NULL);
  CreateDirectoryA("C:\\Inst", NULL);
  PutFile("C:\\SETUP\\Trust.db", "trust");
  FILE *log = tmpfile();
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(CopyInstallFile("C:\\SETUP", "Trust.db", "C:\\Inst\\", log, 0), 0);
  EXPECT_EQ(FileText("C:\\Inst\\Trust.db"), "trust");
  EXPECT_EQ(LogLines(log), std::vector<std::string>{"File:C:\\Inst\\Trust.db"});

  // Without a log nothing is recorded; the folders' own backslashes count.
  CreateDirectoryA("C:\\Other", NULL);
  EXPECT_EQ(CopyInstallFile("C:\\SETUP\\", "Trust.db", "C:\\Other", NULL, 0), 0);
  EXPECT_EQ(FileText("C:\\Other\\Trust.db"), "trust");
  EXPECT_EQ(LogLines(log).size(), 1u);
  fclose(log);
}

// overwrite 0 leaves a target that is there alone and fails; overwrite 1
// replaces it. A failed copy writes no record.
TEST(CopyInstallFile, AnExistingTargetAndFailures) {
  Fresh("copy-fail");
  CreateDirectoryA("C:\\SETUP", NULL);
  CreateDirectoryA("C:\\Inst", NULL);
  PutFile("C:\\SETUP\\Trust.db", "new");
  PutFile("C:\\Inst\\Trust.db", "old");
  FILE *log = tmpfile();
  ASSERT_NE(log, nullptr);
  EXPECT_EQ(CopyInstallFile("C:\\SETUP", "Trust.db", "C:\\Inst", log, 0), COPY_FAILED);
  EXPECT_EQ(FileText("C:\\Inst\\Trust.db"), "old");
  EXPECT_TRUE(LogLines(log).empty());
  EXPECT_EQ(CopyInstallFile("C:\\SETUP", "Trust.db", "C:\\Inst", log, 1), 0);
  EXPECT_EQ(FileText("C:\\Inst\\Trust.db"), "new");
  EXPECT_EQ(LogLines(log).size(), 1u);

  EXPECT_EQ(CopyInstallFile("C:\\SETUP", "Missing.db", "C:\\Inst", log, 1), COPY_FAILED);
  EXPECT_EQ(CopyInstallFile("C:\\SETUP", "Trust.db", "C:\\NoSuchFolder", log, 1), COPY_FAILED);
  FailFromNow("CopyFileA", 1);
  EXPECT_EQ(CopyInstallFile("C:\\SETUP", "Trust.db", "C:\\Inst", log, 1), COPY_FAILED);
  winhost::SetFaults("");
  // Paths of 500 characters or more are refused before any copy is tried.
  unsigned long copies = winhost::CallCount("CopyFileA");
  std::string longName(495, 'n');
  EXPECT_EQ(CopyInstallFile("C:\\SETUP", longName.c_str(), "C:\\Inst", log, 1), COPY_FAILED);
  EXPECT_EQ(winhost::CallCount("CopyFileA"), copies);
  EXPECT_EQ(LogLines(log).size(), 1u);
  fclose(log);
}

// ---- CreateSubmenuFolder ----

// The folder, every folder above it that is missing, and one "Dire:" record
// of the submenu alone; the path handed back ends in a backslash.
TEST(CreateSubmenuFolder, MakesRecordsAndHandsBackThePath) {
  Fresh("submenu");
  FILE *log = tmpfile();
  ASSERT_NE(log, nullptr);
  char out[263];
  EXPECT_EQ(CreateSubmenuFolder("C:\\WINDOWS\\Start Menu\\Programs", "TNM Verifier", out, log), 0);
  EXPECT_STREQ(out, "C:\\WINDOWS\\Start Menu\\Programs\\TNM Verifier\\");
  EXPECT_TRUE(IsFolder(out));
  EXPECT_EQ(CreateSubmenuFolder("C:\\Menu\\Programs\\", "Sub", out, log), 0);
  EXPECT_STREQ(out, "C:\\Menu\\Programs\\Sub\\");
  EXPECT_TRUE(IsFolder("C:\\Menu\\Programs\\Sub"));
  EXPECT_EQ(LogLines(log), (std::vector<std::string>{
                               "Dire:C:\\WINDOWS\\Start Menu\\Programs\\TNM Verifier\\",
                               "Dire:C:\\Menu\\Programs\\Sub\\"}));
  fclose(log);
}

// Names longer than 260 together are refused before any folder is made; a
// folder that cannot be made is shown, returned and not recorded.
TEST(CreateSubmenuFolder, TooLongAndFailures) {
  Fresh("submenu-fail");
  FILE *log = tmpfile();
  ASSERT_NE(log, nullptr);
  char out[263];
  std::string parent = "C:\\" + std::string(250, 'p');
  EXPECT_EQ(CreateSubmenuFolder(parent.c_str(), "eight.ch", out, log), SUBMENU_NAME_TOO_LONG);
  EXPECT_EQ(winhost::CallCount("CreateDirectoryA"), 0u);
  EXPECT_TRUE(EventsOf(winhost::TranscriptLines(), "message").empty());

  FailFromNow("CreateDirectoryA", 1);
  EXPECT_EQ(CreateSubmenuFolder("C:\\WINDOWS\\Start Menu\\Programs", "TNM Verifier", out, log),
            CREATE_DIRECTORY_FAILED);
  EXPECT_FALSE(IsFolder("C:\\WINDOWS\\Start Menu\\Programs\\TNM Verifier"));
  EXPECT_EQ(MessagesOf(winhost::TranscriptLines()),
            std::vector<std::string>{"Error Creating Directory: C:\\WINDOWS"});
  EXPECT_TRUE(LogLines(log).empty());
  fclose(log);
}

}  // namespace
