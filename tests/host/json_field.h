// Reading one field of a transcript line (one JSON object a line, as the host
// layer writes it), for tests that look at what a run showed.
#ifndef TESTS_HOST_JSON_FIELD_H
#define TESTS_HOST_JSON_FIELD_H

#include <string>

// A string field, its escapes decoded ("" when absent). \uXXXX stands for a
// byte of the ANSI code page.
inline std::string JsonField(const std::string &line, const char *key) {
  std::string k = std::string("\"") + key + "\":\"";
  size_t p = line.find(k);
  if (p == std::string::npos) return "";
  std::string out;
  for (p += k.size(); p < line.size() && line[p] != '"'; p++) {
    if (line[p] == '\\' && p + 1 < line.size()) {
      char c = line[++p];
      if (c == 'n') out += '\n';
      else if (c == 'r') out += '\r';
      else if (c == 't') out += '\t';
      else if (c == 'u' && p + 4 < line.size()) {
        out += (char)std::stoi(line.substr(p + 1, 4), nullptr, 16);
        p += 4;
      } else out += c;
      continue;
    }
    out += line[p];
  }
  return out;
}

#endif
