// The host-built setup and uninstaller started as a user and the system start
// them, in a sandbox laid out with the example distribution folder; the
// machine they left, looked at through the host layer.
#ifndef TESTS_PRODUCT_SETUP_RUN_H
#define TESTS_PRODUCT_SETUP_RUN_H

#include <string>

#include "platform/host/winhost_test.h"
#include "platform/win.h"
#include "tests/support/host_program.h"
#include "tests/support/sandbox.h"
#include "tests/support/transcript.h"

class SetupSandbox {
 public:
  // Lays a fresh sandbox with the distribution folder in sourceDir.
  explicit SetupSandbox(const char *name, const char *sourceDir = "C:\\SETUP");
  // Runs setup with the script; cmdline defaults to sourceDir\setup.exe.
  HostRun Run(const std::string &script, const std::string &faults = "",
              const std::string &cmdline = "");
  // Runs the host-built uninstaller as the system starts it with cmdline
  // (the registered command).
  HostRun RunUninstaller(const std::string &cmdline, const std::string &script,
                         const std::string &faults = "");
  std::string root;
  std::string HostPath(const std::string &winpath) const { return winhost::HostPath(winpath.c_str()); }
  bool Exists(const std::string &winpath) const;
  std::string Read(const std::string &winpath) const;
  // The registry's value as text (REG_SZ), "" with ok false when missing.
  std::string RegValue(HKEY root, const char *path, const char *name, bool *ok = nullptr);
  bool KeyExists(HKEY root, const char *path);
  std::string sourceDir;
};

#endif
