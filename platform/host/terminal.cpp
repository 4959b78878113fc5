// The interactive agent: pages and message boxes drawn on the terminal, and
// what the person types turned into the agent's steps. Colours only when the
// output is a terminal.
//
// A page or box is drawn as a frame of kFrame columns with its caption in
// the top border and its buttons at the bottom right, followed by one line
// of keys and the prompt, so that a whole page fits in 80 x 24. Keys are the
// buttons' first letters and their whole words in any case, the check
// boxes' own numbers, e for the edit box, ? for help. A wrong entry gets a
// note below the prompt and the page is not drawn again, so the note stays
// until the next entry; a page is drawn again only when it changed or
// something else was shown in between.
#include <ctype.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>

#include "ui.h"
#include "winhost_test.h"

namespace wh {
namespace term {
namespace {

const int kFrame = 78;          // columns of a frame, borders included
const int kText = kFrame - 4;   // text columns between "| " and " |"

struct TermState {
  FILE *in = nullptr;
  FILE *out = nullptr;
  int colour = -1;  // -1: decide by isatty
  bool bar_active = false;  // the last line written is a progress bar, without its line end
  std::string last_bar;
  // The page drawn last and how it looked; cleared when anything else is shown.
  HWND drawn_page = nullptr;
  std::string drawn;
  // Rows that the last line typed at a terminal took (its echo), so that a
  // note can take its place; 0 when there is none to replace.
  int typed_rows = 0;
  std::string typed;
};

TermState &T() {
  static TermState s;
  return s;
}

const char *Esc(const char *code) { return Colour() ? code : ""; }

bool Interactive() { return isatty(fileno(Out())) && isatty(fileno(In())); }

int TerminalColumns() {
  struct winsize w;
  if (ioctl(fileno(Out()), TIOCGWINSZ, &w) == 0 && w.ws_col > 0) return w.ws_col;
  return 80;
}

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

// Where the escape sequence at s[i] ends (one past it).
size_t SkipEscape(const std::string &s, size_t i) {
  size_t j = i + 1;
  if (j < s.size() && s[j] == '[') {
    j++;
    while (j < s.size() && !(s[j] >= '@' && s[j] <= '~')) j++;
    if (j < s.size()) j++;
  }
  return j;
}

// The columns a line of UTF-8 text with escape sequences takes.
int Columns(const std::string &s) {
  int n = 0;
  for (size_t i = 0; i < s.size();) {
    if (s[i] == '\x1b') {
      i = SkipEscape(s, i);
      continue;
    }
    if (((unsigned char)s[i] & 0xC0) != 0x80) n++;
    i++;
  }
  return n;
}

// A text's label without its mnemonic marks: "&&" is one ampersand.
std::string Plain(const std::string &raw) {
  std::string out;
  for (size_t i = 0; i < raw.size(); i++) {
    if (raw[i] == '&' && i + 1 < raw.size()) i++;
    out += raw[i];
  }
  return out;
}

// A label as shown: the mnemonic letter underlined when there are colours,
// plain otherwise (the key line names the keys).
std::string Shown(const std::string &raw, bool prefix = true) {
  std::string out;
  bool underlined = false;
  for (size_t i = 0; i < raw.size(); i++) {
    char c = raw[i];
    if (prefix && c == '&' && i + 1 < raw.size()) {
      c = raw[++i];
      if (c != '&' && !underlined && Colour()) {
        underlined = true;
        out += "\x1b[4m" + Utf8(std::string(1, c)) + "\x1b[24m";
        continue;
      }
    }
    out += Utf8(std::string(1, c));
  }
  return out;
}

// The word a button answers to: its label's letters, in lower case
// ("< &Back" is "back").
std::string Word(const std::string &raw) {
  std::string w;
  for (char c : Plain(raw))
    if (isalnum((unsigned char)c)) w += (char)tolower((unsigned char)c);
  return w;
}

// The button's label without its arrows: "< &Back" reads "Back".
std::string Name(const std::string &raw) {
  std::string p = Plain(raw);
  size_t a = p.find_first_not_of("<> ");
  size_t b = p.find_last_not_of("<> ");
  return a == std::string::npos ? p : p.substr(a, b - a + 1);
}

// The letter that presses the button: its mnemonic, else its word's first.
char KeyLetter(const std::string &raw) {
  for (size_t i = 0; i + 1 < raw.size(); i++) {
    if (raw[i] == '&' && raw[i + 1] != '&') return (char)tolower((unsigned char)raw[i + 1]);
    if (raw[i] == '&') i++;
  }
  std::string w = Word(raw);
  return w.empty() ? 0 : w[0];
}

// Breaks a text into lines of at most width columns, at blanks; tabs stop
// every 8 columns.
std::vector<std::string> Wrap(const std::string &text, int width) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    size_t nl = text.find('\n', start);
    std::string raw = text.substr(start, nl == std::string::npos ? std::string::npos : nl - start);
    if (!raw.empty() && raw.back() == '\r') raw.pop_back();
    std::string para;
    for (char c : raw) {
      if (c == '\t') para += std::string((size_t)(8 - Columns(para) % 8), ' ');
      else para += c;
    }
    while (Columns(para) > width) {
      size_t cut = std::string::npos, hard = 0;
      int col = 0;
      for (size_t i = 0; i < para.size();) {
        if (para[i] == '\x1b') {
          i = SkipEscape(para, i);
          continue;
        }
        if (((unsigned char)para[i] & 0xC0) != 0x80) {
          if (col == width) break;
          if (para[i] == ' ' && i > 0) cut = i;
          col++;
          hard = i + 1;
          while (hard < para.size() && ((unsigned char)para[hard] & 0xC0) == 0x80) hard++;
        }
        i++;
      }
      if (cut != std::string::npos) {
        lines.push_back(para.substr(0, cut));
        para = para.substr(cut + 1);
      } else {
        lines.push_back(para.substr(0, hard));
        para = para.substr(hard);
      }
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

// Anything shown but the page itself: the page is drawn again when it
// waits once more.
void OtherOutput() {
  T().drawn_page = nullptr;
  T().drawn.clear();
  T().typed_rows = 0;
}

// ---- The frame ----

std::string Top(const std::string &caption, const char *colour) {
  std::string cap = Utf8(caption);
  if (Columns(cap) > kFrame - 8) cap = Wrap(cap, kFrame - 11)[0] + "...";
  std::string line = "+-- " + std::string(Esc("\x1b[1m")) + cap + Esc("\x1b[22m") + Esc(colour) + " ";
  line += std::string((size_t)std::max(0, kFrame - 1 - Columns(line)), '-') + "+";
  return std::string(Esc(colour)) + line + Esc("\x1b[0m") + "\n";
}

std::string Bottom(const char *colour) {
  return std::string(Esc(colour)) + "+" + std::string(kFrame - 2, '-') + "+" + Esc("\x1b[0m") + "\n";
}

// One line inside the frame; text is cut to the frame's width.
std::string Row(const std::string &text, const char *colour, bool right = false) {
  std::string t = Columns(text) > kText ? Wrap(text, kText)[0] : text;
  std::string pad((size_t)(kText - Columns(t)), ' ');
  std::string bar = std::string(Esc(colour)) + "|" + Esc("\x1b[0m");
  return bar + " " + (right ? pad + t : t + pad) + Esc("\x1b[0m") + " " + bar + "\n";
}

std::string Rows(const std::string &text, const char *colour) {
  std::string out;
  for (const std::string &l : Wrap(text, kText)) out += Row(l, colour);
  return out;
}

// A button: "[ Next > ]"; the default in reverse video, a disabled one dim
// and marked "(off)".
std::string Button(const std::string &raw, bool def, bool off) {
  std::string inner = "[ " + Shown(raw) + " ]";
  if (off) return std::string(Esc("\x1b[2m")) + "[ " + Utf8(Plain(raw)) + " ] (off)" + Esc("\x1b[22m");
  if (def) return std::string(Esc("\x1b[1;7m")) + inner + Esc("\x1b[0m");
  return inner;
}

// The key line: items joined by commas, broken between items only.
std::string KeyLine(const std::vector<std::string> &items) {
  std::string out, line = " ";
  for (size_t i = 0; i < items.size(); i++) {
    std::string item = " " + items[i] + (i + 1 < items.size() ? "," : "");
    if (Columns(line) + Columns(item) > kFrame) {
      out += line + "\n";
      line = " ";
    }
    line += item;
  }
  return std::string(Esc("\x1b[2m")) + out + line + Esc("\x1b[0m") + "\n";
}

// ---- Pages ----

bool IsPushButton(const Window *k) {
  DWORD t = k->style & BS_TYPEMASK;
  return k->cls == "Button" && (t == BS_PUSHBUTTON || t == BS_DEFPUSHBUTTON || t == 0xA /* BS_PUSHBOX */);
}
bool IsCheck(const Window *k) {
  DWORD t = k->style & BS_TYPEMASK;
  return k->cls == "Button" && t != BS_GROUPBOX && !IsPushButton(k) && t != 0xB /* BS_OWNERDRAW */;
}
bool Disabled(const Window *k) { return (k->style & WS_DISABLED) != 0; }

struct Item {
  Window *w;
  int number;  // check boxes: the number that ticks it; edit boxes: 1, 2, ...
  bool own;    // a check box's number is the one its label begins with
};

// What the page offers the person, in reading order.
struct Layout {
  std::vector<Item> body;
  std::vector<Window *> buttons;
  std::vector<Item> checks;
  std::vector<Window *> edits;
};

// The number a check box's label begins with ("3)", "4. ..."), or 0.
int LabelNumber(const std::string &text) {
  std::string p = Plain(text);
  size_t i = 0;
  while (i < p.size() && isdigit((unsigned char)p[i])) i++;
  if (i == 0 || i > 3 || i >= p.size() || (p[i] != ')' && p[i] != '.')) return 0;
  return atoi(p.c_str());
}

Layout Collect(Window *d) {
  Layout l;
  std::vector<Window *> all;
  for (HWND c : d->children)
    if (Window *k = FindWin(c); k && (k->style & WS_VISIBLE)) all.push_back(k);
  std::stable_sort(all.begin(), all.end(), [](Window *a, Window *b) {
    return a->rect.top != b->rect.top ? a->rect.top < b->rect.top : a->rect.left < b->rect.left;
  });
  // Check boxes labelled with a number of their own are ticked by it; the
  // others get the smallest numbers left, shown beside them.
  std::vector<int> used;
  for (Window *k : all) {
    int n = IsCheck(k) ? LabelNumber(k->text) : 0;
    if (n && std::find(used.begin(), used.end(), n) == used.end()) used.push_back(n);
  }
  std::vector<int> taken;
  for (Window *k : all) {
    if (IsPushButton(k)) {
      l.buttons.push_back(k);
      continue;
    }
    Item it{k, 0, false};
    if (IsCheck(k)) {
      int n = LabelNumber(k->text);
      if (n && std::find(taken.begin(), taken.end(), n) == taken.end()) {
        it.own = true;
      } else {
        n = 1;
        while (std::find(used.begin(), used.end(), n) != used.end() ||
               std::find(taken.begin(), taken.end(), n) != taken.end())
          n++;
      }
      taken.push_back(n);
      it.number = n;
      l.checks.push_back(it);
    } else if (k->cls == "Edit") {
      l.edits.push_back(k);
      it.number = (int)l.edits.size();
    }
    l.body.push_back(it);
  }
  std::stable_sort(l.buttons.begin(), l.buttons.end(),
                   [](Window *a, Window *b) { return a->rect.left < b->rect.left; });
  return l;
}

// One control's part of a body line; empty when it shows nothing.
std::string Piece(const Item &it, const Layout &l) {
  Window *k = it.w;
  std::string off = Disabled(k) ? " (off)" : "";
  if (k->cls == "Static") {
    DWORD t = k->style & SS_TYPEMASK;
    // A separating line says nothing that the frame's own lines do not.
    if (t == SS_ETCHEDHORZ || t == SS_BITMAP || t == 0x3 /* SS_ICON */ || (t >= 0x4 && t <= 0x9)) return "";
    return Shown(k->text, !(k->style & SS_NOPREFIX));
  }
  if (k->cls == "Edit") {
    // One line, as the box scrolls: the end of a text too long for it.
    std::string tag = l.edits.size() > 1 ? "e" + std::to_string(it.number) : "e";
    std::string text = Utf8(k->text);
    int room = kText - 8 - (int)tag.size() - (int)off.size();
    if (Columns(text) > room) {
      while (Columns(text) > room - 3) {
        size_t n = 1;
        while (n < text.size() && ((unsigned char)text[n] & 0xC0) == 0x80) n++;
        text.erase(0, n);
      }
      text = "..." + text;
    }
    return std::string(Esc("\x1b[2m")) + "(" + tag + ")" + Esc("\x1b[22m") + " [" + Esc("\x1b[7m") + text +
           Esc("\x1b[27m") + "]" + off;
  }
  if (k->cls == "Button" && (k->style & BS_TYPEMASK) == BS_GROUPBOX)
    return std::string(Esc("\x1b[1m")) + "-- " + Shown(k->text, false) + " --" + Esc("\x1b[22m");
  if (IsCheck(k)) {
    std::string number = it.own ? "" : std::string(Esc("\x1b[2m")) + "(" + std::to_string(it.number) + ")" +
                                           Esc("\x1b[22m") + " ";
    return number + "[" + (k->check == BST_CHECKED ? "x" : k->check ? "-" : " ") + "] " +
           Shown(k->text, false) + off;
  }
  if (k->cls == PROGRESS_CLASSA) return "";
  return Shown(k->text);
}

int DefaultId(Window *d) { return LOWORD(Deliver(d, DM_GETDEFID, 0, 0)); }

const char kPageColour[] = "\x1b[36m";

std::string DrawPage(Window *d, const Layout &l) {
  std::string out = "\n" + Top(Plain(d->text), kPageColour);
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
      if (last_bottom >= 0 && top > last_bottom + 2) out += Row("", kPageColour);
      out += Rows(line, kPageColour);
      last_bottom = bottom;
    }
    i = j;
  }
  int def = DefaultId(d);
  std::string buttons;
  for (Window *b : l.buttons) buttons += (buttons.empty() ? "" : "  ") + Button(b->text, b->id == def, Disabled(b));
  out += Row("", kPageColour) + Row(buttons, kPageColour, true);
  out += Bottom(kPageColour);
  return out;
}

std::string PageKeys(Window *d, const Layout &l) {
  std::vector<std::string> items;
  int def = DefaultId(d);
  for (Window *b : l.buttons)
    if (b->id == def && !Disabled(b)) items.push_back("Enter or " + std::string(1, KeyLetter(b->text)) + " = " + Name(b->text));
  for (Window *b : l.buttons)
    if (b->id != def && !Disabled(b)) items.push_back(std::string(1, KeyLetter(b->text)) + " = " + Name(b->text));
  std::vector<int> numbers;
  for (const Item &c : l.checks)
    if (!Disabled(c.w)) numbers.push_back(c.number);
  std::sort(numbers.begin(), numbers.end());
  if (!numbers.empty()) {
    std::string list;
    for (size_t i = 0; i < numbers.size(); i++)
      list += (i == 0 ? "" : i + 1 == numbers.size() ? " or " : ", ") + std::to_string(numbers[i]);
    items.push_back(list + " = tick or untick");
  }
  if (l.edits.size() == 1) items.push_back("e = type a new folder");
  if (l.edits.size() > 1) items.push_back("e1-e" + std::to_string(l.edits.size()) + " = type a new text");
  items.push_back("? = help");
  return KeyLine(items);
}

void LongHelp() {
  Put(std::string(Esc("\x1b[33m")) +
      "  Type a key and Enter: a button's first letter or its whole word (next,\n"
      "  back, finish, cancel, in any case); Enter alone presses the default\n"
      "  button; a check box's number ticks or unticks it; e edits the text box\n"
      "  (e TEXT sets it at once); q or Escape cancels. The script steps work too\n"
      "  (click ID, set ID TEXT, check ID 0|1, close, key enter, auto yes, ...).\n" +
      Esc("\x1b[0m"));
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
  if (isatty(fileno(In()))) {
    // The terminal echoed it after the prompt: the rows it took there.
    int cols = TerminalColumns();
    T().typed_rows = Interactive() ? (2 + Columns(*line) + cols - 1) / cols : 0;
    if (T().typed_rows < 1) T().typed_rows = Interactive() ? 1 : 0;
    T().typed = *line;
  } else {
    // Input from a file or a pipe is not echoed by a terminal: show it.
    Put(*line + "\n");
    T().typed_rows = 0;
  }
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

void Prompt() { Put(std::string(Esc("\x1b[1m")) + "> " + Esc("\x1b[0m")); }

// The words that are script steps rather than keys.
bool IsStepVerb(const std::string &low) {
  std::string verb = low.substr(0, low.find_first_of(" \t"));
  for (const char *v : {"page", "set", "check", "click", "close", "key", "message", "auto"})
    if (verb == v) return true;
  return false;
}

}  // namespace

FILE *In() { return T().in ? T().in : stdin; }
FILE *Out() { return T().out ? T().out : stdout; }
bool Colour() {
  if (T().colour < 0) T().colour = isatty(fileno(Out())) && getenv("NO_COLOR") == nullptr;
  return T().colour == 1;
}

void Reset() {
  T() = TermState();
}

void Note(const std::string &line) {
  EndBar();
  std::string note = std::string(Esc("\x1b[33m")) + "! " + Utf8(line) + Esc("\x1b[0m");
  // At a terminal the note takes the place of the line just typed, beside
  // it when both fit, so that the page above stays on the screen.
  if (T().typed_rows > 0) {
    std::string typed = "> " + T().typed;
    Put("\x1b[" + std::to_string(T().typed_rows) + "A\r\x1b[J");
    if (Columns(typed) + 3 + Columns(note) <= TerminalColumns() - 1)
      Put(std::string(Esc("\x1b[1m")) + "> " + Esc("\x1b[0m") + T().typed + "   " + note + "\n");
    else
      Put("  " + note + "\n");
    T().typed_rows = 0;
    return;
  }
  Put("  " + note + "\n");
}

bool AskPage(Window *d, std::string *step) {
  EndBar();
  Layout l = Collect(d);
  std::string page = DrawPage(d, l) + PageKeys(d, l);
  if (T().drawn_page != d->handle || T().drawn != page) {
    Put(page);
    T().drawn_page = d->handle;
    T().drawn = page;
    T().typed_rows = 0;
  }
  for (;;) {
    Prompt();
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
    if (in.find('\x1b') != std::string::npos || low == "q" || low == "quit") {
      *step = "key escape";
      return true;
    }
    if (low == "?" || low == "help") {
      LongHelp();
      T().typed_rows = 0;
      continue;
    }
    // A button: its letter or its word.
    Window *button = nullptr;
    for (Window *b : l.buttons)
      if ((low.size() == 1 && low[0] == KeyLetter(b->text)) || low == Word(b->text)) button = b;
    if (button) {
      if (Disabled(button)) {
        Note(Name(button->text) + " is not available on this page");
        continue;
      }
      *step = "click " + std::to_string(button->id);
      return true;
    }
    if (low == "cancel") {  // a page without a Cancel button
      *step = "key escape";
      return true;
    }
    if (isdigit((unsigned char)low[0]) && low.find_first_not_of("0123456789") == std::string::npos) {
      int n = atoi(low.c_str());
      const Item *check = nullptr;
      for (const Item &c : l.checks)
        if (c.number == n) check = &c;
      if (!check) {
        Note("there is no check box " + in + " on this page; type ? for help");
        continue;
      }
      if (Disabled(check->w)) {
        Note("check box " + in + " is not available on this page");
        continue;
      }
      *step = "check " + std::to_string(check->w->id) + (check->w->check == BST_CHECKED ? " 0" : " 1");
      return true;
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
        Note("there is no edit box " + std::to_string(n) + " on this page");
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
        T().typed_rows = 0;
        if (text.empty()) continue;
      }
      *step = "set " + std::to_string(e->id) + " " + text;
      return true;
    }
    if (IsStepVerb(low)) {
      *step = in;  // a script step; the agent explains one it cannot take
      return true;
    }
    Note("'" + in + "' is not a key of this page; type ? for help");
  }
}

bool AskMessage(const char *text, const char *caption, UINT type, std::string *answer) {
  EndBar();
  OtherOutput();
  const char *icon = "";
  switch (type & 0xF0) {
    case MB_ICONHAND: icon = "(x) "; break;
    case MB_ICONQUESTION: icon = "(?) "; break;
    case MB_ICONEXCLAMATION: icon = "/!\\ "; break;
    case MB_ICONASTERISK: icon = "(i) "; break;
  }
  const char *colour = (type & 0xF0) == MB_ICONHAND ? "\x1b[31m" : "\x1b[35m";
  std::vector<int> buttons = BoxButtons(type);
  size_t def = (type & MB_DEFBUTTON3) ? 2 : (type & MB_DEFBUTTON2) ? 1 : 0;
  if (def >= buttons.size()) def = 0;
  std::string row;
  std::vector<std::string> keys;
  for (size_t i = 0; i < buttons.size(); i++) {
    std::string name = AnswerName(buttons[i]);
    std::string label = name == "ok" ? "&OK" : "&" + std::string(1, (char)toupper((unsigned char)name[0])) + name.substr(1);
    row += (row.empty() ? "" : "  ") + Button(label, i == def, false);
    keys.push_back((i == def ? "Enter or " : "") + std::string(1, name[0]) + " = " + Plain(label));
  }
  std::string box = "\n" + Top(std::string(icon) + caption, colour) + Rows(Utf8(text), colour) + Row("", colour) +
                    Row(row, colour, true) + Bottom(colour) + KeyLine(keys);
  Put(box);
  for (;;) {
    Prompt();
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
      for (int b : buttons)
        list += std::string(list.empty() ? "" : ", ") + AnswerName(b)[0] + " or " + AnswerName(b);
      Note("'" + Trim(raw) + "' is not a key of this box; type " + list);
      continue;
    }
    *answer = AnswerName(id);
    return true;
  }
}

void ShowWindow(Window *d) {
  EndBar();
  OtherOutput();
  Put("\n" + Top(Plain(d->text), "\x1b[34m"));
  Layout l = Collect(d);
  for (const Item &it : l.body) {
    std::string p = Piece(it, l);
    if (!p.empty())
      for (const std::string &x : Wrap(p, kText)) Put("  " + x + "\n");
  }
  fflush(Out());
}

void TextChanged(Window *w) {
  Window *top = TopWin(w);
  if (!top || top->modal || !top->shown || !(top->style & WS_VISIBLE)) return;
  OtherOutput();
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
  OtherOutput();
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
