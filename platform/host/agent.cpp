// The agent that answers the program's pages and message boxes: a script
// ($WINHOST_SCRIPT, one step a line) or, without one, the person at the
// terminal. Both end up as the same steps, carried out here.
#include <ctype.h>
#include <stdlib.h>
#include <string.h>

#include "ui.h"

namespace wh {
namespace {

enum AutoMode { AUTO_NONE, AUTO_YES, AUTO_NO };
enum { kAutoDefaultPresses = 3 };

struct AgentState {
  bool loaded = false;
  std::string script;  // the text the steps were read from
  std::vector<Step> steps;
  size_t next = 0;
  AutoMode mode = AUTO_NONE;
};

AgentState &A() {
  static AgentState s;
  return s;
}

void ResetAgent() {
  A() = AgentState();
  term::Reset();
}

const int kRegistered = (OnReset(ResetAgent), 0);

std::string PageName(const Window *d) {
  std::string n = d->tmpl ? d->tmpl->name.Text() : "?";
  return "page " + n + " (\"" + d->text + "\")";
}

std::string BoxName(const char *caption, const char *text) {
  std::string t = text;
  if (t.size() > 60) t = t.substr(0, 57) + "...";
  return std::string("message box \"") + caption + "\" (\"" + t + "\")";
}

std::string StepWhere(const Step &s) {
  return s.line ? "script line " + std::to_string(s.line) + " (" + s.text + ")" : "\"" + s.text + "\"";
}

void Load() {
  AgentState &a = A();
  // A new script (a test may set one between pages) starts from its top.
  if (a.loaded && a.script == AgentScript()) return;
  a.loaded = true;
  a.script = AgentScript();
  a.steps.clear();
  a.next = 0;
  a.mode = AUTO_NONE;
  if (!AgentScripted()) return;
  const std::string &text = a.script;
  size_t i = 0;
  int line = 0;
  while (i < text.size()) {
    size_t nl = text.find('\n', i);
    if (nl == std::string::npos) nl = text.size();
    std::string l = text.substr(i, nl - i);
    i = nl + 1;
    line++;
    if (!l.empty() && l.back() == '\r') l.pop_back();
    size_t k = l.find_first_not_of(" \t");
    if (k == std::string::npos || l[k] == '#') continue;
    Step s;
    std::string error;
    if (!ParseStep(l, &s, &error))
      Die(3, "script line " + std::to_string(line) + ": " + error + ": " + l);
    s.line = line;
    a.steps.push_back(s);
  }
}

void Action(const Step &s, const Window *page, const char *ignored, bool automatic) {
  Event e("action");
  if (page) TemplateField(&e, page);
  e.Str("step", s.text);
  if (automatic) e.Bool("auto", true);
  if (ignored) e.Str("ignored", ignored);
  e.Emit();
  if (ignored && !AgentScripted()) term::Note(std::string("(nothing happens: ") + ignored + ")");
}

bool IsButton(const Window *w) { return w->cls == "Button"; }
bool IsCheckBox(const Window *w) {
  DWORD t = w->style & BS_TYPEMASK;
  return IsButton(w) && (t == BS_CHECKBOX || t == BS_AUTOCHECKBOX || t == BS_3STATE ||
                         t == BS_AUTO3STATE || t == BS_RADIOBUTTON || t == BS_AUTORADIOBUTTON);
}

// Refuses a step the page cannot take: the script ends, the person is told.
bool Refuse(const Step &s, const std::string &why) {
  if (AgentScripted()) Die(3, StepWhere(s) + ": " + why);
  term::Note(why);
  return false;
}

// Carries out a page step; false when it could not be taken at all.
bool Perform(Window *d, const Step &s, bool automatic) {
  HWND h = d->handle;
  if (s.verb == "close") {
    Action(s, d, nullptr, automatic);
    Deliver(d, WM_CLOSE, 0, 0);
    return true;
  }
  if (s.verb == "key") {
    int id = IDCANCEL;
    if (s.arg == "enter") id = LOWORD(Deliver(d, DM_GETDEFID, 0, 0));
    if (!(d = FindWin(h))) return true;
    Window *ctl = ChildById(d, id);
    if (ctl && (ctl->style & WS_DISABLED)) {
      Action(s, d, "disabled", automatic);
      return true;
    }
    Action(s, d, nullptr, automatic);
    Deliver(d, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), (LPARAM)(ctl ? ctl->handle : nullptr));
    return true;
  }
  Window *ctl = ChildById(d, s.id);
  if (!ctl) return Refuse(s, PageName(d) + " has no control " + std::to_string(s.id));
  if (s.verb == "set") {
    if (ctl->cls != "Edit" && ctl->cls != "ComboBox")
      return Refuse(s, "control " + std::to_string(s.id) + " is no edit box");
    if (ctl->style & (WS_DISABLED | ES_READONLY)) {
      Action(s, d, ctl->style & WS_DISABLED ? "disabled" : "read-only", automatic);
      return true;
    }
    Action(s, d, nullptr, automatic);
    // The person clicks into the box and types: it takes the focus and tells
    // the dialog that its text changed.
    HWND c = ctl->handle;
    SetDialogFocus(d, c);
    if (!(ctl = FindWin(c))) return true;
    ctl->text = s.arg;
    if ((d = FindWin(h))) Deliver(d, WM_COMMAND, MAKEWPARAM(s.id, EN_UPDATE), (LPARAM)c);
    if ((d = FindWin(h))) Deliver(d, WM_COMMAND, MAKEWPARAM(s.id, EN_CHANGE), (LPARAM)c);
    return true;
  }
  if (s.verb == "check" && !IsCheckBox(ctl))
    return Refuse(s, "control " + std::to_string(s.id) + " is no check box");
  if (!IsButton(ctl)) return Refuse(s, "control " + std::to_string(s.id) + " is no button");
  if (ctl->style & WS_DISABLED) {
    Action(s, d, "disabled", automatic);
    return true;
  }
  if (s.verb == "check" && (ctl->check == BST_CHECKED) == (s.arg == "1")) {
    Action(s, d, "unchanged", automatic);
    return true;
  }
  Action(s, d, nullptr, automatic);
  Deliver(ctl, BM_CLICK, 0, 0);  // toggles an automatic box, tells the dialog
  return true;
}

int AutoAnswer(UINT type) {
  std::vector<int> b = BoxButtons(type);
  auto has = [&](int id) {
    for (int x : b)
      if (x == id) return true;
    return false;
  };
  if (A().mode == AUTO_YES) {
    if (has(IDYES)) return IDYES;
    if (has(IDOK)) return IDOK;
    if (has(IDRETRY)) return IDRETRY;
    return b[0];
  }
  if (has(IDNO)) return IDNO;
  if (has(IDCANCEL)) return IDCANCEL;
  if (has(IDABORT)) return IDABORT;
  return IDOK;
}

std::string ButtonList(UINT type) {
  std::string out;
  for (int id : BoxButtons(type)) out += std::string(out.empty() ? "" : ", ") + AnswerName(id);
  return out;
}

bool HasButton(UINT type, int id) {
  for (int x : BoxButtons(type))
    if (x == id) return true;
  return false;
}

std::string Quote(const char *caption) {
  return strchr(caption, ' ') || strchr(caption, '\t') || !*caption
             ? "\"" + std::string(caption) + "\""
             : std::string(caption);
}

}  // namespace

bool ParseStep(const std::string &line, Step *step, std::string *error) {
  Step s;
  size_t i = line.find_first_not_of(" \t");
  if (i == std::string::npos) {
    *error = "empty step";
    return false;
  }
  std::string l = line.substr(i);
  if (!l.empty() && l.back() == '\r') l.pop_back();
  size_t e = l.find_first_of(" \t");
  s.verb = l.substr(0, e);
  for (char &c : s.verb) c = (char)tolower((unsigned char)c);
  std::string rest = e == std::string::npos ? "" : l.substr(e + 1);
  // Words after the verb; a '#' after a blank starts a comment, except in a
  // set step's text and a quoted caption.
  auto words = [](const std::string &r) {
    std::vector<std::string> w;
    size_t p = 0;
    while (p < r.size()) {
      while (p < r.size() && (r[p] == ' ' || r[p] == '\t')) p++;
      if (p >= r.size() || r[p] == '#') break;
      size_t q = p;
      while (q < r.size() && r[q] != ' ' && r[q] != '\t') q++;
      w.push_back(r.substr(p, q - p));
      p = q;
    }
    return w;
  };
  auto number = [&](const std::string &w, int *out) {
    char *end = nullptr;
    long v = strtol(w.c_str(), &end, 10);
    if (w.empty() || *end) {
      *error = "'" + w + "' is no control id";
      return false;
    }
    *out = (int)v;
    return true;
  };
  std::vector<std::string> w;
  if (s.verb == "set") {
    size_t sp = rest.find_first_of(" \t");
    std::string id = rest.substr(0, sp);
    if (!number(id, &s.id)) return false;
    s.arg = sp == std::string::npos ? "" : rest.substr(sp + 1);  // literally, '#' and all
    s.text = "set " + id + " " + s.arg;
  } else if (s.verb == "message") {
    size_t p = rest.find_first_not_of(" \t");
    if (p == std::string::npos) {
      *error = "message needs a caption and an answer";
      return false;
    }
    size_t q;
    if (rest[p] == '"') {
      q = rest.find('"', p + 1);
      if (q == std::string::npos) {
        *error = "the caption's closing quote is missing";
        return false;
      }
      s.caption = rest.substr(p + 1, q - p - 1);
      q++;
    } else {
      q = rest.find_first_of(" \t", p);
      if (q == std::string::npos) q = rest.size();
      s.caption = rest.substr(p, q - p);
    }
    w = words(rest.substr(q));
    if (w.size() != 1) {
      *error = "message needs one answer (ok, yes, no, cancel, retry, abort, ignore)";
      return false;
    }
    s.arg = w[0];
    for (char &c : s.arg) c = (char)tolower((unsigned char)c);
    if (!AnswerId(s.arg)) {
      *error = "'" + w[0] + "' is no answer (ok, yes, no, cancel, retry, abort, ignore)";
      return false;
    }
    s.text = "message " + Quote(s.caption.c_str()) + " " + s.arg;
  } else {
    w = words(rest);
    size_t want = s.verb == "close" ? 0 : s.verb == "check" ? 2 : 1;
    if (s.verb != "page" && s.verb != "check" && s.verb != "click" && s.verb != "close" &&
        s.verb != "key" && s.verb != "auto") {
      *error = "unknown step '" + s.verb + "'";
      return false;
    }
    if (w.size() != want) {
      *error = s.verb + " takes " + std::to_string(want) + " argument" + (want == 1 ? "" : "s");
      return false;
    }
    if (s.verb == "page" || s.verb == "check" || s.verb == "click") {
      if (!number(w[0], &s.id)) return false;
    }
    if (s.verb == "check") {
      if (w[1] != "0" && w[1] != "1") {
        *error = "check takes 0 or 1";
        return false;
      }
      s.arg = w[1];
    }
    if (s.verb == "key") {
      s.arg = w[0];
      for (char &c : s.arg) c = (char)tolower((unsigned char)c);
      if (s.arg == "return") s.arg = "enter";
      if (s.arg == "esc") s.arg = "escape";
      if (s.arg != "enter" && s.arg != "escape") {
        *error = "key takes enter or escape";
        return false;
      }
    }
    if (s.verb == "auto") {
      s.arg = w[0];
      if (s.arg != "yes" && s.arg != "no") {
        *error = "auto takes yes or no";
        return false;
      }
    }
    s.text = s.verb;
    for (const std::string &x : w) s.text += " " + (s.verb == "key" && x == w[0] ? s.arg : x);
  }
  *step = s;
  return true;
}

void AgentPage(Window *d) {
  Load();
  AgentState &a = A();
  for (;;) {
    if (a.mode != AUTO_NONE) {
      int presses = ++d->agent_actions;
      if (presses > 100)
        Die(3, "auto " + std::string(a.mode == AUTO_YES ? "yes" : "no") + ": " + PageName(d) +
                   " is still waiting after 100 presses of its keys");
      // A page that is still there after its default button was pressed
      // three times refuses to go on (a page says why in a box, which the
      // agent has answered): the agent gives up with Escape, as a person would.
      Step s;
      ParseStep(presses > kAutoDefaultPresses ? "key escape" : "key enter", &s, nullptr);
      Perform(d, s, true);
      return;
    }
    Step s;
    if (AgentScripted()) {
      if (a.next >= a.steps.size())
        Die(3, "the script ran out while " + PageName(d) + " was waiting");
      s = a.steps[a.next++];
    } else {
      std::string line, error;
      if (!term::AskPage(d, &line)) Die(3, "no more input while " + PageName(d) + " was waiting");
      if (!ParseStep(line, &s, &error)) {
        term::Note(error + "; type ? for help");
        continue;
      }
    }
    if (s.verb == "auto") {
      a.mode = s.arg == "yes" ? AUTO_YES : AUTO_NO;
      Action(s, d, nullptr, false);
      continue;
    }
    if (s.verb == "message") {
      if (AgentScripted())
        Die(3, StepWhere(s) + " expects a message box, but " + PageName(d) +
                   (d->agent_actions ? " is still waiting" : " came"));
      term::Note("no message box is waiting; this is a page");
      continue;
    }
    if (s.verb == "page") {
      bool fresh = d->agent_actions == 0;
      bool same = d->tmpl && d->tmpl->name.id == s.id;
      if (fresh && same) {
        d->agent_actions++;
        Action(s, d, nullptr, false);
        continue;
      }
      if (AgentScripted())
        Die(3, StepWhere(s) + " expects page " + std::to_string(s.id) + ", but " + PageName(d) +
                   (fresh ? " came" : " is still waiting"));
      term::Note("this is " + PageName(d));
      continue;
    }
    if (Perform(d, s, false)) {
      if (Window *w = FindWin(d->handle)) w->agent_actions++;
      return;
    }
  }
}

int AgentMessageBox(bool owner, const char *text, const char *caption, UINT type) {
  (void)owner;
  Load();
  AgentState &a = A();
  for (;;) {
    if (a.mode != AUTO_NONE) {
      int answer = AutoAnswer(type);
      Step s;
      s.verb = "message";
      s.text = "message " + Quote(caption) + " " + AnswerName(answer);
      Action(s, nullptr, nullptr, true);
      return answer;
    }
    Step s;
    if (AgentScripted()) {
      if (a.next >= a.steps.size())
        Die(3, "the script ran out while " + BoxName(caption, text) + " was waiting");
      s = a.steps[a.next++];
    } else {
      std::string answer;
      if (!term::AskMessage(text, caption, type, &answer))
        Die(3, "no more input while " + BoxName(caption, text) + " was waiting");
      std::string error;
      if (answer.compare(0, 5, "auto ") == 0 || answer.compare(0, 8, "message ") == 0) {
        if (!ParseStep(answer, &s, &error)) {
          term::Note(error);
          continue;
        }
      } else {
        s.verb = "message";
        s.caption = caption;
        s.arg = answer;
        s.text = "message " + Quote(caption) + " " + answer;
      }
    }
    if (s.verb == "auto") {
      a.mode = s.arg == "yes" ? AUTO_YES : AUTO_NO;
      Action(s, nullptr, nullptr, false);
      continue;
    }
    if (s.verb != "message") {
      // Only the scripted agent gets here: the terminal asks for answers.
      Die(3, StepWhere(s) + " expects a page, but " + BoxName(caption, text) + " came");
    }
    if (s.caption != caption) {
      if (AgentScripted())
        Die(3, StepWhere(s) + " expects message box \"" + s.caption + "\", but " +
                   BoxName(caption, text) + " came");
      term::Note("this box is \"" + std::string(caption) + "\"");
      continue;
    }
    int id = AnswerId(s.arg);
    if (!HasButton(type, id)) {
      if (AgentScripted())
        Die(3, StepWhere(s) + ": " + BoxName(caption, text) + " has no " + s.arg +
                   " button (it has " + ButtonList(type) + ")");
      term::Note("this box has " + ButtonList(type));
      continue;
    }
    Event("action").Str("message", caption).Str("step", s.text).Emit();
    return id;
  }
}

void AgentWindowShown(Window *d) {
  if (!AgentScripted()) term::ShowWindow(d);
}
void AgentTextChanged(Window *w) {
  if (!AgentScripted()) term::TextChanged(w);
}
void AgentProgress(Window *bar) {
  if (!AgentScripted()) term::Progress(bar);
}
void AgentWindowClosed(Window *d) {
  if (!AgentScripted()) term::WindowClosed(d);
}

}  // namespace wh
