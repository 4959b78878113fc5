// The distribution folder from the program's own path, and its fallbacks when
// the full-path lookup fails: the path's folder, the current folder as it is
// at the start, or none at all.
#include <gtest/gtest.h>
#include <string.h>

#include "platform/host/winhost_test.h"
#include "platform/win.h"
#include "setup/source_dir.h"
#include "tests/support/sandbox.h"

namespace {

struct Case {
  const char *cmdline, *faults;
  int result;
  const char *sourceDir;
};

TEST(SourceDir, FullPathThenFolderThenCurrentFolder) {
  const Case cases[] = {
      {"\"C:\\My Setup\\setup.exe\" /x", "", 0, "C:\\My Setup\\"},
      {"sub\\setup.exe", "", 0, "C:\\SETUP\\sub\\"},
      {"sub\\setup.exe", "GetFullPathNameA#1", 0, "sub"},
      // No folder in the path: the current folder, absolute.
      {"setup.exe", "GetFullPathNameA#1", 0, "C:\\SETUP"},
      // None to be had: no folder, and no relative stand-in for one.
      {"setup.exe", "GetFullPathNameA#1,GetCurrentDirectoryA#1", -1, ""},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(std::string(c.cmdline) + " " + c.faults);
    winhost::Reset(SandboxDir("source-dir").c_str());
    ASSERT_TRUE(CreateDirectoryA("C:\\SETUP", NULL));
    ASSERT_TRUE(SetCurrentDirectoryA("C:\\SETUP"));
    winhost::SetCommandLine(c.cmdline);
    winhost::SetFaults(c.faults);
    char sourceDir[SOURCE_DIR_CAPACITY];
    memset(sourceDir, 'x', sizeof sourceDir);
    EXPECT_EQ(FindSourceDir(sourceDir), c.result);
    EXPECT_STREQ(sourceDir, c.sourceDir);
  }
}

}  // namespace
