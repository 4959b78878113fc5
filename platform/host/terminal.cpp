// The interactive agent: pages and message boxes drawn on the terminal, and
// what the person types turned into the agent's steps. Colours only when the
// output is a terminal.
#include <ctype.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>

#include "ui.h"
#include "winhost_test.h"

namespace wh {
namespace term {
namespace {

const int kWidth = 74;

struct TermState {
  FILE *in = nullptr;
  FILE *out = nullptr;
  int colour = -1;  // -1: decide by isatty
  bool bar_active = false;  // the last line written is a progress bar, without its line end
  std::string last_bar;
  HWND bar_window = nullptr;
};

TermState &T() {
  static TermState s;
  return s;
}

const char *Esc(const char *code) { return Colour() ? code : ""; }

// The ANSI code page's text as UTF-8, for the terminal.
std::string Utf8(const std::string &s) {
  std::string out;
  for (unsigned char c : s) {
    if (c < 0x80) {
      out += (char)c;
    } else {
      out += (char)(0xC0 | (c >> 6));
      out += (char)(0x80 | (c & 0x3F));
    }
  }
  return out;
}

// Display text and its visible width: '&' marks the mnemonic letter, "&&" is
// one ampersand.
struct Shown {
  std::string text;
  int width = 0;
  char mnemonic = 0;
};

Shown Render(const std::string &raw, bool bracket, bool prefix = true) {
  Shown s;
  for (size_t i = 0; i < raw.size(); i++) {
    char c = raw[i];
    if (prefix && c == '&' && i + 1 < raw.size()) {
      char m = raw[++i];
      if (m != '&' && !s.mnemonic) {
        s.mnemonic = (char)tolower((unsigned char)m);
        if (Colour()) {
          s.text += std::string("\x1b[4m") + Utf8(std::string(1, m)) + "\x1b[24m";
          s.width += 1;
        } else if (bracket) {
          s.text += "[" + Utf8(std::string(1, m)) + "]";
          s.width += 3;
        } else {
          s.text += Utf8(std::string(1, m));
          s.width += 1;
        }
        continue;
      }
      c = m;
    }
    s.text += Utf8(std::string(1, c));
    s.width++;
  }
  return s;
}

std::string Plain(const std::string &raw) {
  std::string out;
  for (size_t i = 0; i < raw.size(); i++) {
    if (raw[i] == '&' && i + 1 < raw.size()) i++;
    out += raw[i];
  }
  return out;
}

// Breaks a text into lines of at most width characters, at blanks.
std::vector<std::string> Wrap(const std::string &text, int width) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    size_t nl = text.find('\n', start);
    std::string para = text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
    if (!para.empty() && para.back() == '\r') para.pop_back();
    while ((int)para.size() > width) {
      size_t cut = para.rfind(' ', (size_t)width);
      if (cut == std::string::npos || cut == 0) cut = (size_t)width;
      lines.push_back(para.substr(0, cut));
      para = para.substr(cut + (para[cut] == ' ' ? 1 : 0));
    }
    lines.push_back(para);
    if (nl == std::string::npos) break;
    start = nl + 1;
  }
  return lines;
}

void Put(const std::string &s) { fputs(s.c_str(), Out()); }

void EndBar() {
  if (T().bar_active) {
    Put("\n");
    T().bar_active = false;
  }
}

void Frame(const std::string &caption, const char *colour) {
  std::string cap = Utf8(caption);
  int w = (int)caption.size();
  if (w > kWidth - 6) w = kWidth - 6;
  Put(std::string("\n") + Esc(colour) + "+" + std::string(kWidth - 2, '-') + "+" + Esc("\x1b[0m") + "\n");
  Put(std::string(Esc(colour)) + "| " + Esc("\x1b[1m") + cap.substr(0, cap.size()) + Esc("\x1b[22m") +
      std::string((size_t)(kWidth - 4 - w > 0 ? kWidth - 4 - w : 0), ' ') + " |" + Esc("\x1b[0m") + "\n");
  Put(std::string(Esc(colour)) + "+" + std::string(kWidth - 2, '-') + "+" + Esc("\x1b[0m") + "\n");
}

bool IsPushButton(const Window *k) {
  DWORD t = k->style & BS_TYPEMASK;
  return k->cls == "Button" && (t == BS_PUSHBUTTON || t == BS_DEFPUSHBUTTON || t == 0xA /* BS_PUSHBOX */);
}
bool IsCheck(const Window *k) {
  DWORD t = k->style & BS_TYPEMASK;
  return k->cls == "Button" && t != BS_GROUPBOX && !IsPushButton(k) && t != 0xB /* BS_OWNERDRAW */;
}

struct Item {
  Window *w;
  int number;  // check boxes: 1, 2, ...; edit boxes: 1, 2, ...
};

// What the page offers the person, in reading order.
struct Layout {
  std::vector<Item> body;
  std::vector<Window *> buttons;
  std::vector<Window *> checks;
  std::vector<Window *> edits;
};

Layout Collect(Window *d) {
  Layout l;
  std::vector<Window *> all;
  for (HWND c : d->children)
    if (Window *k = FindWin(c); k && (k->style & WS_VISIBLE)) all.push_back(k);
  std::stable_sort(all.begin(), all.end(), [](Window *a, Window *b) {
    return a->rect.top != b->rect.top ? a->rect.top < b->rect.top : a->rect.left < b->rect.left;
  });
  for (Window *k : all) {
    if (IsPushButton(k)) {
      l.buttons.push_back(k);
      continue;
    }
    int n = 0;
    if (IsCheck(k)) {
      l.checks.push_back(k);
      n = (int)l.checks.size();
    } else if (k->cls == "Edit") {
      l.edits.push_back(k);
      n = (int)l.edits.size();
    }
    l.body.push_back({k, n});
  }
  std::stable_sort(l.buttons.begin(), l.buttons.end(),
                   [](Window *a, Window *b) { return a->rect.left < b->rect.left; });
  return l;
}

// One control's part of a body line; empty when it shows nothing.
std::string Piece(const Item &it, const Layout &l) {
  Window *k = it.w;
  if (k->cls == "Static") {
    DWORD t = k->style & SS_TYPEMASK;
    if (t == SS_ETCHEDHORZ) return std::string(kWidth - 4, '-');
    if (t == SS_BITMAP || t == 0x3 /* SS_ICON */ || (t >= 0x4 && t <= 0x9)) return "";
    return Render(k->text, false, !(k->style & SS_NOPREFIX)).text;
  }
  if (k->cls == "Edit") {
    std::string tag = l.edits.size() > 1 ? "e" + std::to_string(it.number) : "e";
    std::string dis = (k->style & WS_DISABLED) ? " (disabled)" : "";
    return std::string(Esc("\x1b[2m")) + "(" + tag + ")" + Esc("\x1b[22m") + " [" + Esc("\x1b[7m") +
           Utf8(k->text) + Esc("\x1b[27m") + "]" + dis;
  }
  if (k->cls == "Button" && (k->style & BS_TYPEMASK) == BS_GROUPBOX)
    return std::string(Esc("\x1b[1m")) + "-- " + Render(k->text, false).text + " --" + Esc("\x1b[22m");
  if (IsCheck(k)) {
    std::string dis = (k->style & WS_DISABLED) ? " (disabled)" : "";
    return std::string(Esc("\x1b[2m")) + "(" + std::to_string(it.number) + ")" + Esc("\x1b[22m") +
           " [" + (k->check == BST_CHECKED ? "x" : k->check ? "-" : " ") + "] " +
           Render(k->text, false).text + dis;
  }
  if (k->cls == PROGRESS_CLASSA) return "";
  return Render(k->text, false).text;
}

std::string ButtonText(Window *b, bool def) {
  Shown s = Render(b->text, true);
  bool off = (b->style & WS_DISABLED) != 0;
  std::string inner = def ? "<< " + s.text + " >>" : "< " + s.text + " >";
  if (off) return std::string(Esc("\x1b[2m")) + inner + " (off)" + Esc("\x1b[22m");
  if (def) return std::string(Esc("\x1b[1;7m")) + inner + Esc("\x1b[0m");
  return inner;
}

int DefaultId(Window *d) { return LOWORD(Deliver(d, DM_GETDEFID, 0, 0)); }

void DrawPage(Window *d, const Layout &l) {
  EndBar();
  Frame(Plain(d->text), "\x1b[36m");
  // Controls whose tops lie within 4 dialog units share a line.
  int last_bottom = -1;
  for (size_t i = 0; i < l.body.size();) {
    size_t j = i;
    std::string line;
    int bottom = 0;
    int top = l.body[i].w->du.top;
    for (; j < l.body.size() && l.body[j].w->du.top - top <= 4; j++) {
      std::string p = Piece(l.body[j], l);
      bottom = std::max(bottom, (int)(l.body[j].w->du.top + l.body[j].w->du.bottom));
      if (p.empty()) continue;
      line += (line.empty() ? "" : "  ") + p;
    }
    if (!line.empty()) {
      if (last_bottom >= 0 && top > last_bottom + 2) Put("\n");
      for (const std::string &x : Wrap(line, kWidth - 4)) Put("  " + x + "\n");
      last_bottom = bottom;
    }
    i = j;
  }
  Put("\n ");
  int def = DefaultId(d);
  for (Window *b : l.buttons) Put("  " + ButtonText(b, b->id == def));
  Put("\n");
}

std::string Help(Window *d, const Layout &l) {
  std::string h;
  int def = DefaultId(d);
  for (Window *b : l.buttons)
    if (b->id == def) h += "Enter = " + Plain(b->text) + ", ";
  for (Window *b : l.buttons) {
    Shown s = Render(b->text, false);
    if (s.mnemonic) h += std::string(1, s.mnemonic) + " = " + Plain(b->text) + ", ";
  }
  if (!l.checks.empty())
    h += l.checks.size() == 1 ? "1 = tick/untick, " : "1-" + std::to_string(l.checks.size()) + " = tick/untick, ";
  if (l.edits.size() == 1) h += "e = type a new folder, ";
  if (l.edits.size() > 1) h += "e1-e" + std::to_string(l.edits.size()) + " = type a new text, ";
  return h + "q = Cancel, ? = help";
}

void LongHelp(Window *d, const Layout &l) {
  Put(std::string(Esc("\x1b[33m")) +
      "  Type a letter and Enter to press the button it is underlined in (shown\n"
      "  [N]ext when the output is no terminal); Enter alone presses the default\n"
      "  button (<< >>); a check box's number ticks or unticks it; e edits the\n"
      "  text box (e TEXT sets it at once); q or Escape cancels; ? shows this.\n"
      "  Script steps work too: click ID, set ID TEXT, check ID 0|1, close,\n"
      "  key enter, key escape, auto yes, auto no.\n" + Esc("\x1b[0m"));
  Put("  " + Help(d, l) + "\n");
}

bool ReadLine(std::string *line) {
  fflush(Out());
  char buf[4096];
  line->clear();
  for (;;) {
    if (!fgets(buf, sizeof buf, In())) return !line->empty();
    *line += buf;
    if (!line->empty() && line->back() == '\n') break;
  }
  while (!line->empty() && (line->back() == '\n' || line->back() == '\r')) line->pop_back();
  // Input from a file or a pipe is not echoed by a terminal: show it.
  if (!isatty(fileno(In()))) Put(*line + "\n");
  return true;
}

std::string Trim(const std::string &s) {
  size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return "";
  size_t b = s.find_last_not_of(" \t");
  return s.substr(a, b - a + 1);
}

std::string Lower(std::string s) {
  for (char &c : s) c = (char)tolower((unsigned char)c);
  return s;
}

}  // namespace

FILE *In() { return T().in ? T().in : stdin; }
FILE *Out() { return T().out ? T().out : stdout; }
bool Colour() {
  if (T().colour < 0) T().colour = isatty(fileno(Out())) && getenv("NO_COLOR") == nullptr;
  return T().colour == 1;
}

void Reset() {
  T().in = nullptr;
  T().out = nullptr;
  T().colour = -1;
  T().bar_active = false;
  T().last_bar.clear();
  T().bar_window = nullptr;
}

void Note(const std::string &line) {
  EndBar();
  Put(std::string("  ") + Esc("\x1b[33m") + "! " + Utf8(line) + Esc("\x1b[0m") + "\n");
}

bool AskPage(Window *d, std::string *step) {
  Layout l = Collect(d);
  DrawPage(d, l);
  Put(std::string("  ") + Esc("\x1b[2m") + Help(d, l) + Esc("\x1b[0m") + "\n");
  for (;;) {
    Put(std::string(Esc("\x1b[1m")) + "> " + Esc("\x1b[0m"));
    std::string raw;
    if (!ReadLine(&raw)) {
      Put("\n");
      return false;
    }
    std::string in = Trim(raw);
    std::string low = Lower(in);
    if (in.empty()) {
      *step = "key enter";
      return true;
    }
    if (in.find('\x1b') != std::string::npos) {
      *step = "key escape";
      return true;
    }
    if (low == "?" || low == "help") {
      LongHelp(d, l);
      continue;
    }
    if (low.size() == 1 && isalpha((unsigned char)low[0])) {
      for (Window *b : l.buttons)
        if (Render(b->text, false).mnemonic == low[0]) {
          *step = "click " + std::to_string(b->id);
          return true;
        }
    }
    if (low == "q" || low == "quit" || low == "cancel") {
      *step = "key escape";
      return true;
    }
    if (!low.empty() && isdigit((unsigned char)low[0]) && low.find_first_not_of("0123456789") == std::string::npos) {
      size_t n = (size_t)atoi(low.c_str());
      if (n >= 1 && n <= l.checks.size()) {
        Window *c = l.checks[n - 1];
        *step = "check " + std::to_string(c->id) + (c->check == BST_CHECKED ? " 0" : " 1");
        return true;
      }
      Note("no check box " + in + "; type ? for help");
      continue;
    }
    // e, e TEXT, e2, e2 TEXT, edit: a new text for an edit box.
    if (!l.edits.empty() && low[0] == 'e' &&
        (low.size() == 1 || low == "edit" || low.compare(0, 5, "edit ") == 0 || isdigit((unsigned char)low[1]) ||
         low[1] == ' ')) {
      size_t p = low.compare(0, 4, "edit") == 0 ? 4 : 1;
      size_t n = 1;
      if (p < in.size() && isdigit((unsigned char)in[p])) {
        n = (size_t)atoi(in.c_str() + p);
        while (p < in.size() && isdigit((unsigned char)in[p])) p++;
      }
      if (n < 1 || n > l.edits.size()) {
        Note("no edit box " + std::to_string(n));
        continue;
      }
      Window *e = l.edits[n - 1];
      std::string text;
      if (p < in.size()) {
        text = in.substr(p + 1);
      } else {
        Put("  New text (now \"" + Utf8(e->text) + "\"; an empty line keeps it): ");
        if (!ReadLine(&text)) {
          Put("\n");
          return false;
        }
        if (text.empty()) continue;
      }
      *step = "set " + std::to_string(e->id) + " " + text;
      return true;
    }
    *step = in;  // a script step, or something the agent will explain it does not know
    return true;
  }
}

bool AskMessage(const char *text, const char *caption, UINT type, std::string *answer) {
  EndBar();
  const char *icon = "";
  switch (type & 0xF0) {
    case MB_ICONHAND: icon = "(x) "; break;
    case MB_ICONQUESTION: icon = "(?) "; break;
    case MB_ICONEXCLAMATION: icon = "/!\\ "; break;
    case MB_ICONASTERISK: icon = "(i) "; break;
  }
  Frame(std::string(icon) + caption, (type & 0xF0) == MB_ICONHAND ? "\x1b[31m" : "\x1b[35m");
  for (const std::string &l : Wrap(text, kWidth - 4)) Put("  " + Utf8(l) + "\n");
  std::vector<int> buttons = BoxButtons(type);
  size_t def = (type & MB_DEFBUTTON3) ? 2 : (type & MB_DEFBUTTON2) ? 1 : 0;
  if (def >= buttons.size()) def = 0;
  Put("\n ");
  for (size_t i = 0; i < buttons.size(); i++) {
    std::string name = AnswerName(buttons[i]);
    name[0] = (char)toupper((unsigned char)name[0]);
    std::string label = name == "Ok" ? "&OK" : "&" + name;
    Window fake;
    fake.text = label;
    Put("  " + ButtonText(&fake, i == def));
  }
  Put("\n");
  std::string keys;
  for (int b : buttons) keys += std::string(keys.empty() ? "" : ", ") + AnswerName(b)[0] + " = " + AnswerName(b);
  Put(std::string("  ") + Esc("\x1b[2m") + "Enter = " + AnswerName(buttons[def]) + ", " + keys +
      Esc("\x1b[0m") + "\n");
  for (;;) {
    Put(std::string(Esc("\x1b[1m")) + "> " + Esc("\x1b[0m"));
    std::string raw;
    if (!ReadLine(&raw)) {
      Put("\n");
      return false;
    }
    std::string in = Lower(Trim(raw));
    if (in.compare(0, 5, "auto ") == 0 || in.compare(0, 8, "message ") == 0) {
      *answer = Trim(raw);
      return true;
    }
    int id = 0;
    bool escape = in.find('\x1b') != std::string::npos || in == "q" || in == "quit";
    if (in.empty()) {
      id = buttons[def];
    } else if (escape) {
      for (int b : buttons)
        if (b == IDCANCEL) id = IDCANCEL;
      if (!id && buttons.size() == 1) id = IDOK;  // Escape closes a lone OK box
    } else {
      for (int b : buttons) {
        std::string name = AnswerName(b);
        if (in == name || (in.size() == 1 && in[0] == name[0])) id = b;
      }
    }
    if (!id) {
      std::string list;
      for (int b : buttons) list += std::string(list.empty() ? "" : ", ") + AnswerName(b);
      Note("answer with " + list + " (or its first letter); Enter = " + AnswerName(buttons[def]));
      continue;
    }
    *answer = AnswerName(id);
    return true;
  }
}

void ShowWindow(Window *d) {
  EndBar();
  Frame(Plain(d->text), "\x1b[34m");
  Layout l = Collect(d);
  for (const Item &it : l.body) {
    std::string p = Piece(it, l);
    if (!p.empty())
      for (const std::string &x : Wrap(p, kWidth - 4)) Put("  " + x + "\n");
  }
  fflush(Out());
}

void TextChanged(Window *w) {
  Window *top = TopWin(w);
  if (!top || top->modal || !top->shown || !(top->style & WS_VISIBLE)) return;
  bool bar = T().bar_active;
  if (bar) Put(Colour() ? "\r\x1b[K" : "\r" + std::string(T().last_bar.size(), ' ') + "\r");
  T().bar_active = false;
  if (w == top)
    Put(std::string("  ") + Esc("\x1b[1m") + "== " + Utf8(w->text) + " ==" + Esc("\x1b[0m") + "\n");
  else
    Put("  " + Utf8(Plain(w->text)) + "\n");
  if (bar) {
    Put(T().last_bar);
    T().bar_active = true;
  }
  fflush(Out());
}

void Progress(Window *bar) {
  Window *top = TopWin(bar);
  if (!top || top->modal || !top->shown || !(top->style & WS_VISIBLE)) return;
  int span = bar->hi - bar->lo;
  int pct = span > 0 ? (int)((long long)(bar->pos - bar->lo) * 100 / span) : 0;
  const int cells = 40;
  int full = span > 0 ? (int)((long long)(bar->pos - bar->lo) * cells / span) : 0;
  std::string line = "  [" + std::string((size_t)full, '#') + std::string((size_t)(cells - full), '.') + "] " +
                     std::to_string(pct) + "%";
  if (T().bar_active && line == T().last_bar) return;
  Put(T().bar_active ? "\r" : "");
  Put(line);
  T().last_bar = line;
  T().bar_active = true;
  T().bar_window = bar->handle;
  fflush(Out());
}

void WindowClosed(Window *) {
  EndBar();
  fflush(Out());
}

}  // namespace term
}  // namespace wh

namespace winhost {
void SetTerminal(FILE *in, FILE *out) {
  wh::term::T().in = in;
  wh::term::T().out = out;
  wh::term::T().colour = -1;
}
}  // namespace winhost
