// A fresh sandbox folder for one test. All the folders of one test process
// lie in a folder of its own, run-PID under $WINHOST_TEST_TMP (or /tmp), so
// that a passing run can remove everything it made at once.
#ifndef TESTS_SUPPORT_SANDBOX_H
#define TESTS_SUPPORT_SANDBOX_H

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

// The process whose run folder this one uses: its own, or, for the child
// process of a death test, its parent's.
inline pid_t &SandboxRun() {
  static pid_t run = getpid();
  return run;
}

inline std::string SandboxRunDir() {
  const char *base = getenv("WINHOST_TEST_TMP");
  return std::string(base && *base ? base : "/tmp") + "/run-" + std::to_string(SandboxRun());
}

inline std::string SandboxDir(const char *name) {
  std::string run = SandboxRunDir();
  std::error_code ec;
  std::filesystem::create_directories(run, ec);
  return run + "/sandbox-" + name + "-" + std::to_string(getpid());
}

#endif
