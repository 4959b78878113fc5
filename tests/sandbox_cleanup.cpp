// Removes the sandbox folders of a run of the tests once every test in it
// has passed; a failing run keeps them for a look. The child process of a
// death test puts its folders in its parent's run folder, which the parent
// removes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <system_error>

#include "tests/support/sandbox.h"

namespace {

class SandboxCleanup : public ::testing::Environment {
 public:
  void SetUp() override {
    if (!GTEST_FLAG_GET(internal_run_death_test).empty()) SandboxRun() = getppid();
  }
  void TearDown() override {
    if (SandboxRun() != getpid() || !::testing::UnitTest::GetInstance()->Passed()) return;
    std::error_code ec;
    std::filesystem::remove_all(SandboxRunDir(), ec);
  }
};

::testing::Environment *const registered = ::testing::AddGlobalTestEnvironment(new SandboxCleanup);

}  // namespace
