// Shared helpers for the install-action tests: a fresh sandbox, a log to read
// back, faults placed relative to the calls made so far, and looks into the
// registry through the same API the actions use.
#ifndef TESTS_PRODUCT_ACTIONS_FIXTURE_H
#define TESTS_PRODUCT_ACTIONS_FIXTURE_H

#include <gtest/gtest.h>
#include <stdio.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "platform/host/winhost_test.h"
#include "platform/win.h"
#include "tests/support/sandbox.h"

// Resets the host on a fresh sandbox (seeded as a Windows 95-like machine)
// and returns its folder.
inline std::string FreshSandbox(const char *name) {
  std::string root = SandboxDir(name);
  winhost::Reset(root.c_str());
  return root;
}

// The lines written to a log stream so far, without their newlines.
inline std::vector<std::string> LogLines(FILE *log) {
  std::vector<std::string> lines;
  fflush(log);
  rewind(log);
  char line[2048];
  while (fgets(line, sizeof line, log)) {
    std::string s(line);
    if (!s.empty() && s.back() == '\n') s.pop_back();
    lines.push_back(s);
  }
  fseek(log, 0, SEEK_END);
  return lines;
}

// Makes the k-th call of api from now on fail (k = 1: the next one).
inline void FailFromNow(const char *api, unsigned long k) {
  std::string plan = std::string(api) + "#" + std::to_string(winhost::CallCount(api) + k);
  winhost::SetFaults(plan.c_str());
}

inline bool KeyExists(HKEY root, const char *path) {
  HKEY key;
  if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// A value's type and bytes as stored; false when the key or value is missing.
inline bool ReadValue(HKEY root, const char *path, const char *name, DWORD *type,
                      std::string *data) {
  HKEY key;
  if (RegOpenKeyExA(root, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  char buf[1024];
  DWORD size = sizeof buf;
  LONG r = RegQueryValueExA(key, name, NULL, type, (BYTE *)buf, &size);
  RegCloseKey(key);
  if (r != ERROR_SUCCESS) return false;
  data->assign(buf, size);
  return true;
}

inline void SetValue(HKEY root, const char *path, const char *name, DWORD type, const void *data,
                     DWORD size) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyA(root, path, &key), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, name, 0, type, (const BYTE *)data, size), ERROR_SUCCESS);
  RegCloseKey(key);
}

// The lines of one section of the sandbox's registry.reg ("[...]" header
// given without its brackets), empty when there is no such section.
inline std::vector<std::string> RegFileSection(const std::string &root, const std::string &path) {
  std::ifstream f(root + "/registry.reg");
  std::vector<std::string> lines;
  std::string line;
  bool in = false;
  while (std::getline(f, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line[0] == '[') {
      in = line == "[" + path + "]";
      continue;
    }
    if (in && !line.empty()) lines.push_back(line);
  }
  return lines;
}

#endif
