// CreateProcessA starts nothing: it records the call and reports a process.
#include <gtest/gtest.h>

#include <string>

#include "platform/host/winhost.h"
#include "platform/host/winhost_test.h"
#include "tests/support/sandbox.h"
#include "tests/support/transcript.h"

namespace {

void Fresh(const char *name) {
  winhost::Reset(SandboxDir((std::string("process-") + name).c_str()).c_str());
}

TEST(Process, RecordedNotStarted) {
  Fresh("record");
  char cmd[] = "explorer \"C:\\WINDOWS\\Start Menu\\Programs\\TNM Verifier\"";
  STARTUPINFOA si = {};
  si.cb = 68;
  PROCESS_INFORMATION pi = {};
  ASSERT_EQ(CreateProcessA(nullptr, cmd, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS, nullptr,
                           nullptr, &si, &pi),
            TRUE);
  EXPECT_NE(pi.hProcess, nullptr);
  EXPECT_NE(pi.hThread, nullptr);
  EXPECT_NE(pi.hProcess, pi.hThread);
  EXPECT_NE(pi.dwProcessId, 0u);
  EXPECT_NE(pi.dwProcessId, pi.dwThreadId);

  si.dwFlags = 1;
  PROCESS_INFORMATION pi2 = {};
  ASSERT_EQ(CreateProcessA("C:\\WINDOWS\\notepad.exe", nullptr, nullptr, nullptr, TRUE, 0, nullptr,
                           "C:\\WINDOWS", &si, &pi2),
            TRUE);
  EXPECT_NE(pi2.dwProcessId, pi.dwProcessId);
  EXPECT_TRUE(CloseHandle(pi.hProcess));  // handles the caller may close
  EXPECT_TRUE(CloseHandle(pi.hThread));
  EXPECT_FALSE(CloseHandle(pi.hThread));  // but only once

  const std::vector<std::string> &t = winhost::TranscriptLines();
  ASSERT_EQ(t.size(), 2u);
  EXPECT_EQ(t[0],
            "{\"event\":\"process\",\"application\":null,"
            "\"cmdline\":\"explorer \\\"C:\\\\WINDOWS\\\\Start Menu\\\\Programs\\\\TNM Verifier\\\"\","
            "\"flags\":32,\"inherit\":false,\"cb\":68,\"startup_flags\":0,\"curdir\":null,"
            "\"program\":null,\"starts_in\":\"C:\\\\\"}");
  EXPECT_EQ(t[1],
            "{\"event\":\"process\",\"application\":\"C:\\\\WINDOWS\\\\notepad.exe\","
            "\"cmdline\":null,\"flags\":0,\"inherit\":true,\"cb\":68,\"startup_flags\":1,"
            "\"curdir\":\"C:\\\\WINDOWS\",\"program\":\"C:\\\\WINDOWS\\\\notepad.exe\","
            "\"starts_in\":\"C:\\\\WINDOWS\"}");
}

// The program that Windows would start is recorded with the folder it would
// start in: an application name is taken as it stands (against the current
// folder), a command line's program is looked for in the caller's own
// folder, the current folder, the system folder and the Windows folder.
TEST(Process, TheProgramWindowsWouldStart) {
  struct Case {
    std::vector<const char *> planted;  // explorer.exe in these folders
    const char *application, *cmdline, *folder;
    const char *program, *startsIn;  // as the transcript shows them; program "" is null
  } cases[] = {
      {{"C:\\SETUP", "C:\\Inst", "C:\\WINDOWS\\SYSTEM", "C:\\WINDOWS"}, nullptr, "explorer \"C:\\x\"",
       nullptr, "C:\\SETUP\\explorer.exe", "C:\\Inst"},
      {{"C:\\Inst", "C:\\WINDOWS\\SYSTEM", "C:\\WINDOWS"}, nullptr, "explorer", nullptr,
       "C:\\Inst\\explorer.exe", "C:\\Inst"},
      {{"C:\\WINDOWS\\SYSTEM", "C:\\WINDOWS"}, nullptr, "explorer.exe x", nullptr,
       "C:\\WINDOWS\\SYSTEM\\explorer.exe", "C:\\Inst"},
      {{"C:\\WINDOWS"}, nullptr, "  explorer x", nullptr, "C:\\WINDOWS\\explorer.exe", "C:\\Inst"},
      {{}, nullptr, "explorer x", nullptr, "", "C:\\Inst"},
      {{"C:\\WINDOWS"}, nullptr, "\"C:\\Inst\\explorer\" x", nullptr, "", "C:\\Inst"},
      {{"C:\\Inst"}, nullptr, "\"C:\\Inst\\explorer\" x", "C:\\WINDOWS", "C:\\Inst\\explorer.exe",
       "C:\\WINDOWS"},
      {{"C:\\SETUP", "C:\\Inst"}, "C:\\WINDOWS\\explorer.exe", "explorer x", nullptr,
       "C:\\WINDOWS\\explorer.exe", "C:\\Inst"},
      {{"C:\\SETUP"}, "explorer.exe", "explorer x", nullptr, "C:\\Inst\\explorer.exe", "C:\\Inst"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.cmdline) + " / " + (c.application ? c.application : "no application"));
    Fresh("search");
    for (const char *folder : {"C:\\SETUP", "C:\\Inst", "C:\\WINDOWS\\SYSTEM"}) CreateDirectoryA(folder, nullptr);
    for (const char *folder : c.planted) {
      HANDLE h = CreateFileA((std::string(folder) + "\\explorer.exe").c_str(), GENERIC_WRITE, 0, nullptr,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
      ASSERT_NE(h, INVALID_HANDLE_VALUE) << folder;
      CloseHandle(h);
    }
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\Inst"));
    std::string cmd = c.cmdline;
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    ASSERT_TRUE(CreateProcessA(c.application, &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, c.folder, &si, &pi));
    const std::vector<std::string> &t = winhost::TranscriptLines();
    ASSERT_EQ(t.size(), 1u);
    if (*c.program) {
      EXPECT_EQ(JsonField(t[0], "program"), c.program);
    } else {
      EXPECT_NE(t[0].find("\"program\":null"), std::string::npos) << t[0];
    }
    EXPECT_EQ(JsonField(t[0], "starts_in"), c.startsIn);
  }
}

TEST(Process, Failures) {
  Fresh("fail");
  char cmd[] = "explorer x";
  STARTUPINFOA si = {};
  si.cb = 68;
  PROCESS_INFORMATION pi = {};
  winhost::SetFaults("CreateProcessA#1");
  SetLastError(0);
  EXPECT_EQ(CreateProcessA(nullptr, cmd, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi),
            FALSE);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
  SetLastError(0);
  EXPECT_EQ(CreateProcessA(nullptr, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi),
            FALSE);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
  EXPECT_TRUE(winhost::TranscriptLines().empty());
  EXPECT_EQ(winhost::CallCount("CreateProcessA"), 2u);
}

}  // namespace
