// Runs the host-built setup program as a user would start it: in a sandbox
// laid out with the example distribution folder, answered by a script, with
// a transcript to read afterwards.
#ifndef TESTS_HOST_SETUP_RUN_H
#define TESTS_HOST_SETUP_RUN_H

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "platform/host/winhost_test.h"
#include "tests/host/json_field.h"
#include "platform/win.h"
#include "tests/host/sandbox.h"

extern char **environ;

struct SetupRun {
  int status = -1;
  std::vector<std::string> events;  // the transcript, one JSON object a line
  std::string stderrText;

  // "caption: text" of every message box, in order.
  std::vector<std::string> Messages() const;
  // The transcript lines of one kind of event.
  std::vector<std::string> Events(const char *kind) const;
};


class SetupSandbox {
 public:
  // Lays a fresh sandbox with the distribution folder in sourceDir.
  explicit SetupSandbox(const char *name, const char *sourceDir = "C:\\SETUP");
  // Runs setup with the script; cmdline defaults to sourceDir\setup.exe.
  SetupRun Run(const std::string &script, const std::string &faults = "",
               const std::string &cmdline = "");
  // Runs the host-built uninstaller in the sandbox, as the system starts it
  // with cmdline (the registered command).
  SetupRun RunUninstaller(const std::string &cmdline, const std::string &script,
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
