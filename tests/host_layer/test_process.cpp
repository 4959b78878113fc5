// CreateProcessA starts nothing: it records the call and reports a process.
#include <gtest/gtest.h>

#include <string>

#include "platform/host/winhost.h"
#include "platform/host/winhost_test.h"
#include "tests/support/sandbox.h"

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
            "\"flags\":32,\"inherit\":false,\"cb\":68,\"startup_flags\":0,\"curdir\":null}");
  EXPECT_EQ(t[1],
            "{\"event\":\"process\",\"application\":\"C:\\\\WINDOWS\\\\notepad.exe\","
            "\"cmdline\":null,\"flags\":0,\"inherit\":true,\"cb\":68,\"startup_flags\":1,"
            "\"curdir\":\"C:\\\\WINDOWS\"}");
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
