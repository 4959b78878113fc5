// Reading a transcript, as the host layer writes it: one JSON object a line,
// each with its "event" first. The same reader serves the tests (the lines of
// winhost::TranscriptLines() or of a program's transcript file) and the sweep.
#ifndef TESTS_SUPPORT_TRANSCRIPT_H
#define TESTS_SUPPORT_TRANSCRIPT_H

#include <string>
#include <utility>
#include <vector>

// One JSON value. A missing field reads as null.
struct Json {
  enum Kind { NUL, BOOL, NUM, STR, ARR, OBJ } kind = NUL;
  bool b = false;
  double n = 0;
  std::string s;  // \uXXXX stands for a byte of the ANSI code page
  std::vector<Json> items;
  std::vector<std::pair<std::string, Json> > fields;

  const Json &operator[](const char *key) const;
};

// Parses one line; *ok (when given) tells whether it held one whole value.
// What was read before a flaw is kept.
Json ParseJson(const std::string &line, bool *ok = nullptr);

// A string field of an event line, "" when it is absent or no string.
std::string JsonField(const std::string &line, const char *key);
// A number field of an event line, -1 when it is absent or no number.
long JsonNumber(const std::string &line, const char *key);

// Is the line an event of that kind?
bool IsEvent(const std::string &line, const char *kind);
// The lines of one kind of event, in order.
std::vector<std::string> EventsOf(const std::vector<std::string> &lines, const char *kind);
// "caption: text" of every message box, in order.
std::vector<std::string> MessagesOf(const std::vector<std::string> &lines);

// The lines of a text, without their CR LF or LF; a last line without one
// counts too.
std::vector<std::string> SplitLines(const std::string &text);

#endif
