// The registry file's text: REGEDIT4, as the Windows 95 registry editor
// exports it. A "REGEDIT4" line, then one [KEY PATH] section per key, each
// with its values: "Name"="text" (\ and " escaped by a backslash), @ for the
// default value, dword:0000002a, hex:01,02 for REG_BINARY and hex(N): for
// every other type, long hex lists continued with a trailing backslash.
#include <string.h>
#include <strings.h>

#include "internal.h"

namespace wh {
namespace {

const size_t kHexLineWidth = 76;

std::string Quote(const std::string &text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out + "\"";
}

// A REG_SZ is written as a string only when nothing is lost: its bytes are
// text and one terminator, and the text fits on one line.
bool PlainString(const RegValue &v) {
  if (v.type != REG_SZ || v.data.empty() || v.data.back() != 0) return false;
  for (size_t i = 0; i + 1 < v.data.size(); i++) {
    char c = v.data[i];
    if (c == 0 || c == '\r' || c == '\n') return false;
  }
  return true;
}

void AppendValue(std::string *out, const RegValue &v) {
  std::string line = v.name.empty() ? "@=" : Quote(v.name) + "=";
  if (PlainString(v)) {
    *out += line + Quote(v.data.substr(0, v.data.size() - 1)) + "\n";
    return;
  }
  char buf[32];
  if (v.type == REG_DWORD && v.data.size() == 4) {
    const unsigned char *b = (const unsigned char *)v.data.data();
    snprintf(buf, sizeof buf, "dword:%08x",
             (unsigned)(b[0] | b[1] << 8 | b[2] << 16 | (unsigned)b[3] << 24));
    *out += line + buf + "\n";
    return;
  }
  if (v.type == REG_BINARY) {
    line += "hex:";
  } else {
    snprintf(buf, sizeof buf, "hex(%x):", (unsigned)v.type);
    line += buf;
  }
  for (size_t i = 0; i < v.data.size(); i++) {
    snprintf(buf, sizeof buf, "%02x", (unsigned char)v.data[i]);
    line += buf;
    if (i + 1 == v.data.size()) break;
    line += ',';
    if (line.size() + 4 > kHexLineWidth) {  // room for "xx," and the backslash
      *out += line + "\\\n";
      line = "  ";
    }
  }
  *out += line + "\n";
}

std::string Trim(const std::string &s) {
  size_t a = 0, b = s.size();
  while (a < b && (s[a] == ' ' || s[a] == '\t')) a++;
  while (b > a && (s[b - 1] == ' ' || s[b - 1] == '\t')) b--;
  return s.substr(a, b - a);
}

bool StartsWithNoCase(const std::string &s, size_t at, const char *prefix) {
  size_t n = strlen(prefix);
  return s.size() - at >= n && strncasecmp(s.c_str() + at, prefix, n) == 0;
}

// Reads a quoted string at s[*at] (the opening quote). \\ and \" stand for
// the character; any other backslash is taken literally, as hand-written
// files have it ("C:\WINDOWS").
bool ReadQuoted(const std::string &s, size_t *at, std::string *text) {
  size_t i = *at + 1;
  text->clear();
  for (; i < s.size(); i++) {
    char c = s[i];
    if (c == '"') {
      *at = i + 1;
      return true;
    }
    if (c == '\\' && i + 1 < s.size() && (s[i + 1] == '\\' || s[i + 1] == '"')) c = s[++i];
    *text += c;
  }
  return false;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// "01,02,ff" (blanks allowed around the bytes, a trailing comma tolerated).
bool ReadHexBytes(const std::string &list, std::string *data) {
  data->clear();
  std::string t = Trim(list);
  if (t.empty()) return true;
  if (t.back() == ',') t.pop_back();
  size_t start = 0;
  for (;;) {
    size_t comma = t.find(',', start);
    std::string item = Trim(t.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (item.empty() || item.size() > 2) return false;
    int v = 0;
    for (char c : item) {
      int d = HexDigit(c);
      if (d < 0) return false;
      v = v * 16 + d;
    }
    *data += (char)v;
    if (comma == std::string::npos) return true;
    start = comma + 1;
  }
}

bool ReadHexNumber(const std::string &s, size_t max_digits, DWORD *out) {
  if (s.empty() || s.size() > max_digits) return false;
  DWORD v = 0;
  for (char c : s) {
    int d = HexDigit(c);
    if (d < 0) return false;
    v = v * 16 + (DWORD)d;
  }
  *out = v;
  return true;
}

class Parser {
 public:
  Parser(const std::string &text, std::vector<RegSection> *out) : out_(out) {
    size_t start = 0;
    while (start < text.size()) {
      size_t nl = text.find('\n', start);
      if (nl == std::string::npos) nl = text.size();
      std::string line = text.substr(start, nl - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines_.push_back(line);
      start = nl + 1;
    }
  }

  bool Run(std::string *error) {
    if (lines_.empty() || Trim(lines_[0]) != "REGEDIT4") {
      *error = "line 1: the file does not start with REGEDIT4";
      return false;
    }
    for (next_ = 1; next_ < lines_.size();) {
      size_t number = next_ + 1;
      std::string line = Trim(lines_[next_++]);
      if (line.empty() || line[0] == ';') continue;
      std::string why;
      bool ok = line[0] == '[' ? Section(line, number, &why) : Value(line, &why);
      if (!ok) {
        *error = "line " + std::to_string(number) + ": " + why;
        return false;
      }
    }
    return true;
  }

 private:
  bool Section(const std::string &line, size_t number, std::string *why) {
    if (line.back() != ']' || line.size() < 3) {
      *why = "a key section must be [KEY PATH]";
      return false;
    }
    RegSection s;
    s.path = line.substr(1, line.size() - 2);
    s.line = (int)number;
    if (s.path[0] == '-') {
      s.remove = true;
      s.path.erase(0, 1);
    }
    if (s.path.empty()) {
      *why = "empty key path";
      return false;
    }
    out_->push_back(s);
    return true;
  }

  bool Value(const std::string &line, std::string *why) {
    if (out_->empty()) {
      *why = "a value before the first [KEY] section";
      return false;
    }
    RegValue v;
    v.type = REG_SZ;
    size_t at = 0;
    if (line[0] == '@') {
      at = 1;
    } else if (line[0] != '"' || !ReadQuoted(line, &at, &v.name)) {
      *why = "expected \"NAME\"=VALUE or @=VALUE";
      return false;
    }
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) at++;
    if (at >= line.size() || line[at] != '=') {
      *why = "expected = after the value name";
      return false;
    }
    std::string rest = Trim(line.substr(at + 1));
    if (!Data(rest, &v, why)) return false;
    out_->back().values.push_back(v);
    return true;
  }

  bool Data(std::string rest, RegValue *v, std::string *why) {
    if (rest == "-") {
      v->remove = true;
      return true;
    }
    if (!rest.empty() && rest[0] == '"') {
      size_t at = 0;
      std::string text;
      if (!ReadQuoted(rest, &at, &text) || at != rest.size()) {
        *why = "a string value must be one quoted string";
        return false;
      }
      v->data = text + '\0';
      return true;
    }
    if (StartsWithNoCase(rest, 0, "dword:")) {
      DWORD n;
      if (!ReadHexNumber(rest.substr(6), 8, &n)) {
        *why = "dword: needs one to eight hex digits";
        return false;
      }
      v->type = REG_DWORD;
      // Little-endian, as Win32 stores a DWORD.
      unsigned char b[4] = {(unsigned char)n, (unsigned char)(n >> 8), (unsigned char)(n >> 16),
                            (unsigned char)(n >> 24)};
      v->data.assign((const char *)b, 4);
      return true;
    }
    size_t colon;
    if (StartsWithNoCase(rest, 0, "hex:")) {
      v->type = REG_BINARY;
      colon = 3;
    } else if (StartsWithNoCase(rest, 0, "hex(") && (colon = rest.find("):")) != std::string::npos) {
      if (!ReadHexNumber(rest.substr(4, colon - 4), 8, &v->type)) {
        *why = "hex(TYPE): needs the type as a hex number";
        return false;
      }
      colon++;
    } else {
      *why = "the value must be \"text\", dword:, hex: or hex(TYPE):";
      return false;
    }
    std::string list = rest.substr(colon + 1);
    while (!list.empty() && list.back() == '\\') {
      list.pop_back();
      if (next_ >= lines_.size()) {
        *why = "the hex list continues past the end of the file";
        return false;
      }
      list += Trim(lines_[next_++]);
    }
    if (!ReadHexBytes(list, &v->data)) {
      *why = "the hex list must be bytes of two hex digits separated by commas";
      return false;
    }
    return true;
  }

  std::vector<std::string> lines_;
  std::vector<RegSection> *out_;
  size_t next_ = 0;
};

}  // namespace

std::string FormatRegedit4(const std::vector<RegSection> &sections) {
  std::string out = "REGEDIT4\n\n";
  for (const RegSection &s : sections) {
    out += "[" + s.path + "]\n";
    for (const RegValue &v : s.values) AppendValue(&out, v);
    out += "\n";
  }
  return out;
}

bool ParseRegedit4(const std::string &text, std::vector<RegSection> *sections,
                   std::string *error) {
  sections->clear();
  Parser p(text, sections);
  return p.Run(error);
}

}  // namespace wh
