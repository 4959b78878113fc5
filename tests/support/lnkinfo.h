// Reads a saved shell link back with lnkinfo (Debian's liblnk-utils), an
// independent parser of the format (for GoogleTest suites).
#ifndef TESTS_SUPPORT_LNKINFO_H
#define TESTS_SUPPORT_LNKINFO_H

#include <gtest/gtest.h>
#include <stdio.h>

#include <map>
#include <string>

// lnkinfo's "name : value" lines (values as it prints them, in UTF-8) for
// the link at a host path.
inline std::map<std::string, std::string> LnkInfo(const std::string &path) {
  std::map<std::string, std::string> out;
  std::string cmd = "lnkinfo '" + path + "' 2>&1";
  FILE *p = popen(cmd.c_str(), "r");
  if (!p) return out;
  char line[1024];
  while (fgets(line, sizeof line, p)) {
    std::string s(line);
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r')) s.pop_back();
    size_t colon = s.find(':');
    if (colon == std::string::npos) continue;
    std::string key = s.substr(0, colon), value = s.substr(colon + 1);
    while (!key.empty() && (key.back() == '\t' || key.back() == ' ')) key.pop_back();
    while (!key.empty() && (key[0] == '\t' || key[0] == ' ')) key.erase(0, 1);
    if (!value.empty() && value[0] == ' ') value.erase(0, 1);
    out[key] = value;
  }
  EXPECT_EQ(pclose(p), 0) << "lnkinfo failed on " << path;
  return out;
}

#endif
