// Starting the built setup and uninstaller in a sandbox of their own and
// reading back what they left.
#include "tests/product/setup_run.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/bytes.h"

SetupSandbox::SetupSandbox(const char *name, const char *source) : sourceDir(source) {
  root = SandboxDir(name);
  winhost::Reset(root.c_str());  // a seeded machine, registry.reg written
  CreateDirectoryA(sourceDir.c_str(), NULL);
  EXPECT_TRUE(CopyDistribution(EXAMPLE_DIST, HostPath(sourceDir)));
}

// Starts program in the sandbox; files beside it, named root + suffix +
// ".script" and so on, hold the script, transcript and stderr.
static HostRun Start(const std::string &program, const std::string &root, const std::string &suffix,
                     const std::string &script, const std::string &faults, const std::string &cmdline) {
  HostCommand command;
  command.program = program;
  command.root = root;
  command.files = root + suffix;
  command.cmdline = cmdline;
  command.script = script;
  command.faults = faults;
  HostRun run = RunHostProgram(command);
  winhost::ReloadRegistry();  // see what the program left in registry.reg
  return run;
}

HostRun SetupSandbox::Run(const std::string &script, const std::string &faults,
                          const std::string &cmdline) {
  return Start(SETUP_EXE, root, "", script, faults, cmdline.empty() ? sourceDir + "\\setup.exe" : cmdline);
}

HostRun SetupSandbox::RunUninstaller(const std::string &cmdline, const std::string &script,
                                     const std::string &faults) {
  return Start(std::string(EXAMPLE_DIST) + "/../bin/UninstallTNM", root, ".u", script, faults, cmdline);
}

bool SetupSandbox::Exists(const std::string &winpath) const {
  return std::filesystem::exists(HostPath(winpath));
}

std::string SetupSandbox::Read(const std::string &winpath) const { return ReadText(HostPath(winpath)); }

std::string SetupSandbox::RegValue(HKEY rootKey, const char *path, const char *name, bool *ok) {
  HKEY key;
  if (ok) *ok = false;
  if (RegOpenKeyA(rootKey, path, &key) != ERROR_SUCCESS) return "";
  char data[2048];
  DWORD size = sizeof data, type = 0;
  LONG r = RegQueryValueExA(key, name, NULL, &type, (BYTE *)data, &size);
  RegCloseKey(key);
  if (r != ERROR_SUCCESS || type != REG_SZ) return "";
  if (ok) *ok = true;
  return std::string(data, size && data[size - 1] == 0 ? size - 1 : size);
}

bool SetupSandbox::KeyExists(HKEY rootKey, const char *path) {
  HKEY key;
  if (RegOpenKeyA(rootKey, path, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}
