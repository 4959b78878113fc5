// The transcript reader: a small JSON parser and the event filters on it.
#include "tests/support/transcript.h"

#include <stdlib.h>

namespace {

struct JsonReader {
  const std::string &t;
  size_t i = 0;
  bool ok = true;
  explicit JsonReader(const std::string &text) : t(text) {}

  void Skip() {
    while (i < t.size() && (t[i] == ' ' || t[i] == '\t')) i++;
  }
  bool Eat(char c) {
    Skip();
    if (i < t.size() && t[i] == c) {
      i++;
      return true;
    }
    return false;
  }
  std::string String() {
    std::string out;
    if (!Eat('"')) return ok = false, out;
    while (i < t.size() && t[i] != '"') {
      char c = t[i++];
      if (c != '\\') {
        out += c;
        continue;
      }
      char e = i < t.size() ? t[i++] : 0;
      switch (e) {
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': out += (char)strtol(t.substr(i, 4).c_str(), nullptr, 16), i += 4; break;
        default: out += e;
      }
    }
    if (i >= t.size()) ok = false;
    i++;
    return out;
  }
  Json Value() {
    Json v;
    Skip();
    if (i >= t.size()) return ok = false, v;
    char c = t[i];
    if (c == '{') {
      v.kind = Json::OBJ;
      i++;
      if (Eat('}')) return v;
      do {
        std::string key = String();
        if (!Eat(':')) return ok = false, v;
        v.fields.push_back({key, Value()});
      } while (ok && Eat(','));
      if (!Eat('}')) ok = false;
    } else if (c == '[') {
      v.kind = Json::ARR;
      i++;
      if (Eat(']')) return v;
      do v.items.push_back(Value());
      while (ok && Eat(','));
      if (!Eat(']')) ok = false;
    } else if (c == '"') {
      v.kind = Json::STR;
      v.s = String();
    } else if (t.compare(i, 4, "true") == 0 || t.compare(i, 5, "false") == 0) {
      v.kind = Json::BOOL;
      v.b = t[i] == 't';
      i += v.b ? 4 : 5;
    } else if (t.compare(i, 4, "null") == 0) {
      i += 4;
    } else {
      char *end = nullptr;
      v.kind = Json::NUM;
      v.n = strtod(t.c_str() + i, &end);
      if (end == t.c_str() + i) ok = false;
      i = (size_t)(end - t.c_str());
    }
    return v;
  }
};

}  // namespace

const Json &Json::operator[](const char *key) const {
  static const Json none;
  for (const auto &f : fields)
    if (f.first == key) return f.second;
  return none;
}

Json ParseJson(const std::string &line, bool *ok) {
  JsonReader r(line);
  Json v = r.Value();
  if (ok) *ok = r.ok;
  return v;
}

std::string JsonField(const std::string &line, const char *key) {
  Json event = ParseJson(line);
  const Json &v = event[key];
  return v.kind == Json::STR ? v.s : "";
}

long JsonNumber(const std::string &line, const char *key) {
  Json event = ParseJson(line);
  const Json &v = event[key];
  return v.kind == Json::NUM ? (long)v.n : -1;
}

bool IsEvent(const std::string &line, const char *kind) {
  std::string tag = std::string("{\"event\":\"") + kind + "\"";
  return line.compare(0, tag.size(), tag) == 0;
}

std::vector<std::string> EventsOf(const std::vector<std::string> &lines, const char *kind) {
  std::vector<std::string> out;
  for (const std::string &l : lines)
    if (IsEvent(l, kind)) out.push_back(l);
  return out;
}

std::vector<std::string> MessagesOf(const std::vector<std::string> &lines) {
  std::vector<std::string> out;
  for (const std::string &e : EventsOf(lines, "message"))
    out.push_back(JsonField(e, "caption") + ": " + JsonField(e, "text"));
  return out;
}

std::vector<std::string> SplitLines(const std::string &text) {
  std::vector<std::string> out;
  std::string line;
  for (char c : text) {
    if (c == '\n') {
      out.push_back(line);
      line.clear();
    } else if (c != '\r') {
      line += c;
    }
  }
  if (!line.empty()) out.push_back(line);
  return out;
}
