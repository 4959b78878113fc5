// Reads .rc resource scripts as windres does, for the dialog templates the
// host builds its windows from. The build embeds each script with its
// #include "..." files expanded (and #line directives marking them); the
// system headers are left out, so the names they define for scripts are
// known here.
#include "rc_parse.h"

#include <ctype.h>
#include <string.h>
#include <strings.h>

#include <memory>

#include "internal.h"

namespace wh {
namespace {

struct KnownName {
  const char *name;
  long value;
};

// The names windows.h and commctrl.h define for resource scripts.
const KnownName kNames[] = {
    {"WS_OVERLAPPED", 0x00000000L}, {"WS_TILED", 0x00000000L},
    {"WS_POPUP", (long)0x80000000UL}, {"WS_CHILD", 0x40000000L},
    {"WS_CHILDWINDOW", 0x40000000L}, {"WS_MINIMIZE", 0x20000000L},
    {"WS_ICONIC", 0x20000000L}, {"WS_VISIBLE", 0x10000000L},
    {"WS_DISABLED", 0x08000000L}, {"WS_CLIPSIBLINGS", 0x04000000L},
    {"WS_CLIPCHILDREN", 0x02000000L}, {"WS_MAXIMIZE", 0x01000000L},
    {"WS_CAPTION", 0x00C00000L}, {"WS_BORDER", 0x00800000L},
    {"WS_DLGFRAME", 0x00400000L}, {"WS_VSCROLL", 0x00200000L},
    {"WS_HSCROLL", 0x00100000L}, {"WS_SYSMENU", 0x00080000L},
    {"WS_THICKFRAME", 0x00040000L}, {"WS_SIZEBOX", 0x00040000L},
    {"WS_GROUP", 0x00020000L}, {"WS_TABSTOP", 0x00010000L},
    {"WS_MINIMIZEBOX", 0x00020000L}, {"WS_MAXIMIZEBOX", 0x00010000L},
    {"WS_OVERLAPPEDWINDOW", 0x00CF0000L}, {"WS_TILEDWINDOW", 0x00CF0000L},
    {"WS_POPUPWINDOW", (long)0x80880000UL},
    {"WS_EX_DLGMODALFRAME", 0x1L}, {"WS_EX_NOPARENTNOTIFY", 0x4L}, {"WS_EX_TOPMOST", 0x8L},
    {"WS_EX_ACCEPTFILES", 0x10L}, {"WS_EX_TRANSPARENT", 0x20L}, {"WS_EX_MDICHILD", 0x40L},
    {"WS_EX_TOOLWINDOW", 0x80L}, {"WS_EX_WINDOWEDGE", 0x100L}, {"WS_EX_CLIENTEDGE", 0x200L},
    {"WS_EX_CONTEXTHELP", 0x400L}, {"WS_EX_RIGHT", 0x1000L}, {"WS_EX_LEFT", 0x0L},
    {"WS_EX_RTLREADING", 0x2000L}, {"WS_EX_LTRREADING", 0x0L},
    {"WS_EX_LEFTSCROLLBAR", 0x4000L}, {"WS_EX_RIGHTSCROLLBAR", 0x0L},
    {"WS_EX_CONTROLPARENT", 0x10000L}, {"WS_EX_STATICEDGE", 0x20000L},
    {"WS_EX_APPWINDOW", 0x40000L}, {"WS_EX_OVERLAPPEDWINDOW", 0x300L},
    {"WS_EX_PALETTEWINDOW", 0x188L},
    {"DS_ABSALIGN", 0x1L}, {"DS_SYSMODAL", 0x2L}, {"DS_3DLOOK", 0x4L}, {"DS_FIXEDSYS", 0x8L},
    {"DS_NOFAILCREATE", 0x10L}, {"DS_LOCALEDIT", 0x20L}, {"DS_SETFONT", 0x40L},
    {"DS_MODALFRAME", 0x80L}, {"DS_NOIDLEMSG", 0x100L}, {"DS_SETFOREGROUND", 0x200L},
    {"DS_CONTROL", 0x400L}, {"DS_CENTER", 0x800L}, {"DS_CENTERMOUSE", 0x1000L},
    {"DS_CONTEXTHELP", 0x2000L}, {"DS_SHELLFONT", 0x48L},
    {"BS_PUSHBUTTON", 0x0L}, {"BS_DEFPUSHBUTTON", 0x1L}, {"BS_CHECKBOX", 0x2L},
    {"BS_AUTOCHECKBOX", 0x3L}, {"BS_RADIOBUTTON", 0x4L}, {"BS_3STATE", 0x5L},
    {"BS_AUTO3STATE", 0x6L}, {"BS_GROUPBOX", 0x7L}, {"BS_USERBUTTON", 0x8L},
    {"BS_AUTORADIOBUTTON", 0x9L}, {"BS_PUSHBOX", 0xAL}, {"BS_OWNERDRAW", 0xBL},
    {"BS_TYPEMASK", 0xFL}, {"BS_LEFTTEXT", 0x20L}, {"BS_RIGHTBUTTON", 0x20L},
    {"BS_TEXT", 0x0L}, {"BS_ICON", 0x40L}, {"BS_BITMAP", 0x80L}, {"BS_LEFT", 0x100L},
    {"BS_RIGHT", 0x200L}, {"BS_CENTER", 0x300L}, {"BS_TOP", 0x400L}, {"BS_BOTTOM", 0x800L},
    {"BS_VCENTER", 0xC00L}, {"BS_PUSHLIKE", 0x1000L}, {"BS_MULTILINE", 0x2000L},
    {"BS_NOTIFY", 0x4000L}, {"BS_FLAT", 0x8000L},
    {"SS_LEFT", 0x0L}, {"SS_CENTER", 0x1L}, {"SS_RIGHT", 0x2L}, {"SS_ICON", 0x3L},
    {"SS_BLACKRECT", 0x4L}, {"SS_GRAYRECT", 0x5L}, {"SS_WHITERECT", 0x6L},
    {"SS_BLACKFRAME", 0x7L}, {"SS_GRAYFRAME", 0x8L}, {"SS_WHITEFRAME", 0x9L},
    {"SS_USERITEM", 0xAL}, {"SS_SIMPLE", 0xBL}, {"SS_LEFTNOWORDWRAP", 0xCL},
    {"SS_OWNERDRAW", 0xDL}, {"SS_BITMAP", 0xEL}, {"SS_ENHMETAFILE", 0xFL},
    {"SS_ETCHEDHORZ", 0x10L}, {"SS_ETCHEDVERT", 0x11L}, {"SS_ETCHEDFRAME", 0x12L},
    {"SS_TYPEMASK", 0x1FL}, {"SS_REALSIZECONTROL", 0x40L}, {"SS_NOPREFIX", 0x80L},
    {"SS_NOTIFY", 0x100L}, {"SS_CENTERIMAGE", 0x200L}, {"SS_RIGHTJUST", 0x400L},
    {"SS_REALSIZEIMAGE", 0x800L}, {"SS_SUNKEN", 0x1000L}, {"SS_EDITCONTROL", 0x2000L},
    {"SS_ENDELLIPSIS", 0x4000L}, {"SS_PATHELLIPSIS", 0x8000L},
    {"SS_WORDELLIPSIS", 0xC000L}, {"SS_ELLIPSISMASK", 0xC000L},
    {"ES_LEFT", 0x0L}, {"ES_CENTER", 0x1L}, {"ES_RIGHT", 0x2L}, {"ES_MULTILINE", 0x4L},
    {"ES_UPPERCASE", 0x8L}, {"ES_LOWERCASE", 0x10L}, {"ES_PASSWORD", 0x20L},
    {"ES_AUTOVSCROLL", 0x40L}, {"ES_AUTOHSCROLL", 0x80L}, {"ES_NOHIDESEL", 0x100L},
    {"ES_OEMCONVERT", 0x400L}, {"ES_READONLY", 0x800L}, {"ES_WANTRETURN", 0x1000L},
    {"ES_NUMBER", 0x2000L},
    {"LBS_NOTIFY", 0x1L}, {"LBS_SORT", 0x2L}, {"LBS_NOREDRAW", 0x4L},
    {"LBS_MULTIPLESEL", 0x8L}, {"LBS_OWNERDRAWFIXED", 0x10L},
    {"LBS_OWNERDRAWVARIABLE", 0x20L}, {"LBS_HASSTRINGS", 0x40L},
    {"LBS_USETABSTOPS", 0x80L}, {"LBS_NOINTEGRALHEIGHT", 0x100L},
    {"LBS_MULTICOLUMN", 0x200L}, {"LBS_WANTKEYBOARDINPUT", 0x400L},
    {"LBS_EXTENDEDSEL", 0x800L}, {"LBS_DISABLENOSCROLL", 0x1000L}, {"LBS_NODATA", 0x2000L},
    {"LBS_NOSEL", 0x4000L}, {"LBS_STANDARD", 0xA00003L},
    {"CBS_SIMPLE", 0x1L}, {"CBS_DROPDOWN", 0x2L}, {"CBS_DROPDOWNLIST", 0x3L},
    {"CBS_OWNERDRAWFIXED", 0x10L}, {"CBS_OWNERDRAWVARIABLE", 0x20L},
    {"CBS_AUTOHSCROLL", 0x40L}, {"CBS_OEMCONVERT", 0x80L}, {"CBS_SORT", 0x100L},
    {"CBS_HASSTRINGS", 0x200L}, {"CBS_NOINTEGRALHEIGHT", 0x400L},
    {"CBS_DISABLENOSCROLL", 0x800L}, {"CBS_UPPERCASE", 0x2000L}, {"CBS_LOWERCASE", 0x4000L},
    {"SBS_HORZ", 0x0L}, {"SBS_VERT", 0x1L},
    {"PBS_SMOOTH", 0x1L}, {"PBS_VERTICAL", 0x4L},
    {"IDOK", 1}, {"IDCANCEL", 2}, {"IDABORT", 3}, {"IDRETRY", 4}, {"IDIGNORE", 5},
    {"IDYES", 6}, {"IDNO", 7}, {"IDCLOSE", 8}, {"IDHELP", 9}, {"IDC_STATIC", -1},
};

// String-valued names of commctrl.h that a CONTROL statement may use as its class.
const char *const kClassNames[][2] = {
    {"PROGRESS_CLASS", "msctls_progress32"}, {"PROGRESS_CLASSA", "msctls_progress32"},
    {"WC_BUTTON", "Button"}, {"WC_BUTTONA", "Button"}, {"WC_STATIC", "Static"},
    {"WC_STATICA", "Static"}, {"WC_EDIT", "Edit"}, {"WC_EDITA", "Edit"},
};

// The class names Win32 reports for the predefined and common-control classes.
const char *const kCanonicalClasses[] = {"Button", "Static", "Edit", "ListBox", "ScrollBar",
                                         "ComboBox", "msctls_progress32"};

// Control statements: class, the styles always given and those given only
// when the statement names no style of its own (windres drops WS_GROUP of
// the text statements then), and whether the statement has a text.
struct ControlKind {
  const char *keyword;
  const char *cls;
  DWORD always;
  DWORD when_default;
  bool has_text;
};
const ControlKind kControls[] = {
    {"LTEXT", "Static", SS_LEFT, WS_GROUP, true},
    {"RTEXT", "Static", SS_RIGHT, WS_GROUP, true},
    {"CTEXT", "Static", SS_CENTER, WS_GROUP, true},
    {"ICON", "Static", 0x3 /* SS_ICON */, 0, true},
    {"DEFPUSHBUTTON", "Button", BS_DEFPUSHBUTTON | WS_TABSTOP, 0, true},
    {"PUSHBUTTON", "Button", BS_PUSHBUTTON | WS_TABSTOP, 0, true},
    {"PUSHBOX", "Button", 0xA /* BS_PUSHBOX */ | WS_TABSTOP, 0, true},
    {"AUTOCHECKBOX", "Button", BS_AUTOCHECKBOX | WS_TABSTOP, 0, true},
    {"CHECKBOX", "Button", BS_CHECKBOX | WS_TABSTOP, 0, true},
    {"RADIOBUTTON", "Button", BS_RADIOBUTTON | WS_TABSTOP, 0, true},
    {"AUTORADIOBUTTON", "Button", BS_AUTORADIOBUTTON | WS_TABSTOP, 0, true},
    {"STATE3", "Button", BS_3STATE | WS_TABSTOP, 0, true},
    {"AUTO3STATE", "Button", BS_AUTO3STATE | WS_TABSTOP, 0, true},
    {"GROUPBOX", "Button", BS_GROUPBOX, 0, true},
    {"EDITTEXT", "Edit", ES_LEFT | WS_BORDER | WS_TABSTOP, 0, false},
    {"LISTBOX", "ListBox", 0x1 /* LBS_NOTIFY */ | WS_BORDER, 0, false},
    {"COMBOBOX", "ComboBox", 0x1 /* CBS_SIMPLE */ | WS_TABSTOP, 0, false},
    {"SCROLLBAR", "ScrollBar", 0, 0, false},
};

const char *const kMemoryFlags[] = {"PRELOAD", "LOADONCALL", "FIXED",  "MOVEABLE", "DISCARDABLE",
                                    "PURE",    "IMPURE",     "SHARED", "NONSHARED"};

bool IEq(const std::string &a, const char *b) { return strcasecmp(a.c_str(), b) == 0; }

std::string Upper(std::string s) {
  for (char &c : s) c = (char)toupper((unsigned char)c);
  return s;
}

// ---- Lexing ----

enum TokKind { T_END, T_NUM, T_STR, T_ID, T_PUNCT };

struct Tok {
  TokKind kind = T_END;
  std::string text;  // identifier, punctuation or decoded string
  long num = 0;
  int line = 0;
  int file = 0;  // index into the file names
};

struct ParseError {
  std::string message;
};

bool IdStart(char c) { return isalpha((unsigned char)c) || c == '_'; }
bool IdChar(char c) { return isalnum((unsigned char)c) || c == '_' || c == '.'; }

// Decodes a string literal starting at s[i] == '"'; returns the index past it.
size_t ReadString(const std::string &s, size_t i, std::string *out, bool *ok) {
  *ok = false;
  i++;
  while (i < s.size()) {
    char c = s[i];
    if (c == '\n') return i;
    if (c == '"') {
      if (i + 1 < s.size() && s[i + 1] == '"') {  // "" stands for one quote
        *out += '"';
        i += 2;
        continue;
      }
      *ok = true;
      return i + 1;
    }
    if (c == '\\' && i + 1 < s.size()) {
      char e = s[i + 1];
      i += 2;
      switch (e) {
        case 'n': *out += '\n'; break;
        case 't': *out += '\t'; break;
        case 'r': *out += '\r'; break;
        case 'a': *out += '\a'; break;
        case '\\': *out += '\\'; break;
        case '"': *out += '"'; break;
        case 'x': {
          int v = 0, n = 0;
          while (n < 2 && i < s.size() && isxdigit((unsigned char)s[i])) {
            v = v * 16 + (isdigit((unsigned char)s[i]) ? s[i] - '0' : (tolower(s[i]) - 'a' + 10));
            i++, n++;
          }
          *out += (char)v;
          break;
        }
        default:
          if (e >= '0' && e <= '7') {
            int v = e - '0', n = 1;
            while (n < 3 && i < s.size() && s[i] >= '0' && s[i] <= '7') v = v * 8 + (s[i++] - '0'), n++;
            *out += (char)v;
          } else {
            *out += '\\';
            *out += e;
          }
      }
      continue;
    }
    *out += c;
    i++;
  }
  return i;
}

// Blanks out comments, keeping line breaks and string literals intact.
std::string StripComments(const std::string &in) {
  std::string out;
  out.reserve(in.size());
  size_t i = 0;
  while (i < in.size()) {
    char c = in[i];
    if (c == '"') {
      size_t j = i + 1;
      while (j < in.size() && in[j] != '\n') {
        if (in[j] == '\\' && j + 1 < in.size() && in[j + 1] != '\n') {
          j += 2;
        } else if (in[j] == '"') {
          if (j + 1 < in.size() && in[j + 1] == '"') {
            j += 2;
          } else {
            j++;
            break;
          }
        } else {
          j++;
        }
      }
      out.append(in, i, j - i);
      i = j;
    } else if (c == '/' && i + 1 < in.size() && in[i + 1] == '/') {
      while (i < in.size() && in[i] != '\n') i++;
    } else if (c == '/' && i + 1 < in.size() && in[i + 1] == '*') {
      i += 2;
      while (i < in.size() && !(in[i] == '*' && i + 1 < in.size() && in[i + 1] == '/')) {
        if (in[i] == '\n') out += '\n';
        i++;
      }
      i += 2;
      out += ' ';
    } else {
      if (c != '\r') out += c;
      i++;
    }
  }
  return out;
}

class Parser {
 public:
  Parser(const std::string &file, RcScript *out) : out_(out) { files_.push_back(file); }

  void Run(const std::string &text) {
    Preprocess(StripComments(text));
    pos_ = 0;
    while (Peek().kind != T_END) TopStatement();
  }

  std::string Where(const Tok &t) const {
    return files_[t.file] + ":" + std::to_string(t.line);
  }

 private:
  RcScript *out_;
  std::vector<std::string> files_;
  std::vector<Tok> toks_;
  size_t pos_ = 0;
  Tok end_;

  [[noreturn]] void Error(const Tok &at, const std::string &msg) {
    throw ParseError{Where(at) + ": " + msg};
  }

  // ---- Preprocessor: #define, #undef, conditionals, #line; #include and
  // #pragma are ignored (the build expands the program's own includes).
  void Preprocess(const std::string &text) {
    std::vector<std::pair<bool, bool> > conds;  // (active, a branch was taken)
    int file = 0, line = 0;
    size_t i = 0;
    while (i <= text.size()) {
      size_t nl = text.find('\n', i);
      if (nl == std::string::npos) nl = text.size();
      std::string l = text.substr(i, nl - i);
      i = nl + 1;
      line++;
      int first_line = line;
      // Directive lines may continue with a backslash at the end.
      size_t k = l.find_first_not_of(" \t");
      bool directive = k != std::string::npos && l[k] == '#';
      while (directive && !l.empty() && l.back() == '\\' && i <= text.size()) {
        size_t n2 = text.find('\n', i);
        if (n2 == std::string::npos) n2 = text.size();
        l.pop_back();
        l += text.substr(i, n2 - i);
        i = n2 + 1;
        line++;
      }
      bool active = conds.empty() || conds.back().first;
      if (directive) {
        Tok at;
        at.line = first_line;
        at.file = file;
        Directive(l.substr(k + 1), at, &conds, &file, &line);
      } else if (active) {
        Lex(l, file, first_line);
      }
      if (nl >= text.size()) break;
    }
    end_.kind = T_END;
    end_.line = line;
    end_.file = file;
  }

  void Directive(const std::string &d, const Tok &at, std::vector<std::pair<bool, bool> > *conds,
                 int *file, int *line) {
    size_t p = d.find_first_not_of(" \t");
    if (p == std::string::npos) return;
    size_t e = p;
    while (e < d.size() && isalpha((unsigned char)d[e])) e++;
    std::string name = d.substr(p, e - p);
    std::string rest = d.substr(e);
    size_t r = rest.find_first_not_of(" \t");
    rest = r == std::string::npos ? "" : rest.substr(r);
    while (!rest.empty() && (rest.back() == ' ' || rest.back() == '\t')) rest.pop_back();
    bool active = conds->empty() || conds->back().first;
    if (name == "ifdef" || name == "ifndef" || name == "if") {
      bool v = false;
      if (active) {
        if (name == "if") {
          v = EvalCondition(rest, at) != 0;
        } else {
          bool def = out_->defines.count(FirstWord(rest)) || KnownValue(FirstWord(rest), nullptr);
          v = name == "ifdef" ? def : !def;
        }
      }
      conds->push_back({active && v, active && v});
      if (!active) conds->back().second = true;  // never enter any branch
      return;
    }
    if (name == "elif" || name == "else") {
      if (conds->empty()) Error(at, "#" + name + " without #if");
      bool parent = true;
      for (size_t c = 0; c + 1 < conds->size(); c++) parent = parent && (*conds)[c].first;
      auto &top = conds->back();
      if (top.second || !parent) {
        top.first = false;
      } else {
        bool v = name == "else" ? true : EvalCondition(rest, at) != 0;
        top.first = v;
        top.second = v;
      }
      return;
    }
    if (name == "endif") {
      if (conds->empty()) Error(at, "#endif without #if");
      conds->pop_back();
      return;
    }
    if (!active) return;
    if (name == "define") {
      std::string macro = FirstWord(rest);
      if (macro.empty()) Error(at, "#define without a name");
      std::string body = rest.substr(macro.size());
      if (!body.empty() && body[0] == '(') macro += "()";  // function-like: kept, never expanded
      size_t b = body.find_first_not_of(" \t");
      out_->defines[macro] = b == std::string::npos ? "" : body.substr(b);
    } else if (name == "undef") {
      out_->defines.erase(FirstWord(rest));
    } else if (name == "line") {
      // #line N "file": the lines after it are line N of that file.
      char *endp = nullptr;
      long n = strtol(rest.c_str(), &endp, 10);
      if (endp == rest.c_str()) Error(at, "bad #line");
      std::string fname;
      const char *q = strchr(endp, '"');
      if (q) {
        const char *q2 = strchr(q + 1, '"');
        fname.assign(q + 1, q2 ? q2 - q - 1 : strlen(q + 1));
        files_.push_back(fname);
        *file = (int)files_.size() - 1;
      }
      *line = (int)n - 1;
    } else if (name == "include" || name == "pragma" || name == "error" || name == "warning") {
      if (name == "error") Error(at, "#error " + rest);
    } else {
      Error(at, "unknown directive #" + name);
    }
  }

  static std::string FirstWord(const std::string &s) {
    size_t e = 0;
    while (e < s.size() && (isalnum((unsigned char)s[e]) || s[e] == '_')) e++;
    return s.substr(0, e);
  }

  // #if: numbers, defined(NAME), names (0 when unknown), ! && || == != and the
  // arithmetic the body's expressions have.
  long EvalCondition(const std::string &expr, const Tok &at) {
    std::string e;
    for (size_t i = 0; i < expr.size();) {
      if (expr.compare(i, 7, "defined") == 0 && (i + 7 >= expr.size() || !IdChar(expr[i + 7]))) {
        size_t j = i + 7;
        while (j < expr.size() && (expr[j] == ' ' || expr[j] == '(')) j++;
        size_t s = j;
        while (j < expr.size() && (isalnum((unsigned char)expr[j]) || expr[j] == '_')) j++;
        std::string n = expr.substr(s, j - s);
        while (j < expr.size() && (expr[j] == ' ' || expr[j] == ')')) j++;
        e += out_->defines.count(n) || KnownValue(n, nullptr) ? " 1 " : " 0 ";
        i = j;
      } else {
        e += expr[i++];
      }
    }
    size_t save_pos = pos_;
    std::vector<Tok> save;
    save.swap(toks_);
    Lex(e, at.file, at.line);
    pos_ = 0;
    long v = CondOr(true);
    toks_.swap(save);
    pos_ = save_pos;
    return v;
  }
  long CondOr(bool lenient) {
    long v = CondAnd(lenient);
    while (IsPunct("||")) {
      Next();
      long r = CondAnd(lenient);
      v = v || r;
    }
    return v;
  }
  long CondAnd(bool lenient) {
    long v = CondEq(lenient);
    while (IsPunct("&&")) {
      Next();
      long r = CondEq(lenient);
      v = v && r;
    }
    return v;
  }
  long CondEq(bool lenient) {
    long v = BitOr(lenient);
    while (IsPunct("==") || IsPunct("!=") || IsPunct("<") || IsPunct(">")) {
      std::string op = Next().text;
      long r = BitOr(lenient);
      v = op == "==" ? v == r : op == "!=" ? v != r : op == "<" ? v < r : v > r;
    }
    return v;
  }

  void Lex(const std::string &l, int file, int line) {
    size_t i = 0;
    while (i < l.size()) {
      char c = l[i];
      if (c == ' ' || c == '\t' || c == '\f' || c == '\v') {
        i++;
        continue;
      }
      Tok t;
      t.line = line;
      t.file = file;
      if ((c == 'L' || c == 'l') && i + 1 < l.size() && l[i + 1] == '"') c = l[++i];
      if (c == '"') {
        bool ok;
        i = ReadString(l, i, &t.text, &ok);
        if (!ok) Error(t, "unterminated string");
        t.kind = T_STR;
      } else if (isdigit((unsigned char)c)) {
        size_t j = i;
        if (c == '0' && j + 1 < l.size() && (l[j + 1] == 'x' || l[j + 1] == 'X')) {
          j += 2;
          while (j < l.size() && isxdigit((unsigned char)l[j])) j++;
          t.num = (long)strtoul(l.substr(i + 2, j - i - 2).c_str(), nullptr, 16);
        } else {
          while (j < l.size() && isdigit((unsigned char)l[j])) j++;
          // A leading zero makes the number octal, as in C.
          t.num = (long)strtoul(l.substr(i, j - i).c_str(), nullptr, c == '0' ? 8 : 10);
        }
        while (j < l.size() && (l[j] == 'L' || l[j] == 'l' || l[j] == 'U' || l[j] == 'u')) j++;
        if (j < l.size() && IdChar(l[j])) {  // e.g. 1page.bmp: a bare file name
          while (j < l.size() && IdChar(l[j])) j++;
          t.kind = T_ID;
          t.text = l.substr(i, j - i);
        } else {
          t.kind = T_NUM;
        }
        i = j;
      } else if (IdStart(c)) {
        size_t j = i;
        while (j < l.size() && IdChar(l[j])) j++;
        t.kind = T_ID;
        t.text = l.substr(i, j - i);
        i = j;
      } else {
        static const char *const two[] = {"||", "&&", "==", "!=", "<<", ">>"};
        t.kind = T_PUNCT;
        t.text = std::string(1, c);
        for (const char *op : two)
          if (l.compare(i, 2, op) == 0) t.text = op;
        i += t.text.size();
      }
      toks_.push_back(t);
    }
  }

  // ---- Token access ----
  const Tok &Peek(size_t ahead = 0) const {
    return pos_ + ahead < toks_.size() ? toks_[pos_ + ahead] : end_;
  }
  const Tok &Next() {
    const Tok &t = Peek();
    if (pos_ < toks_.size()) pos_++;
    return t;
  }
  bool IsPunct(const char *p, size_t ahead = 0) const {
    const Tok &t = Peek(ahead);
    return t.kind == T_PUNCT && t.text == p;
  }
  bool IsWord(const char *w, size_t ahead = 0) const {
    const Tok &t = Peek(ahead);
    return t.kind == T_ID && IEq(t.text, w);
  }
  void Expect(const char *p) {
    if (!IsPunct(p)) Error(Peek(), std::string("expected '") + p + "'" + Got());
    Next();
  }
  std::string Got() const {
    const Tok &t = Peek();
    switch (t.kind) {
      case T_END: return ", found the end of the script";
      case T_NUM: return ", found " + std::to_string(t.num);
      case T_STR: return ", found a string";
      default: return ", found '" + t.text + "'";
    }
  }
  bool BlockOpen() const { return IsWord("BEGIN") || IsPunct("{"); }
  bool BlockClose() const { return IsWord("END") || IsPunct("}"); }

  // ---- Expressions ----
  static bool KnownValue(const std::string &name, long *v) {
    for (const KnownName &k : kNames)
      if (name == k.name) {
        if (v) *v = k.value;
        return true;
      }
    return false;
  }

  int depth_ = 0;
  long NameValue(const Tok &t, bool lenient) {
    auto it = out_->defines.find(t.text);
    if (it != out_->defines.end()) {
      if (++depth_ > 32) Error(t, "'" + t.text + "' expands into itself");
      size_t save_pos = pos_;
      std::vector<Tok> save;
      save.swap(toks_);
      Lex(it->second, t.file, t.line);
      pos_ = 0;
      long v = toks_.empty() ? 0 : BitOr(lenient);
      if (pos_ < toks_.size()) Error(t, "'" + t.text + "' is not a number");
      toks_.swap(save);
      pos_ = save_pos;
      depth_--;
      return v;
    }
    long v;
    if (KnownValue(t.text, &v)) return v;
    if (lenient) return 0;
    Error(t, "unknown name '" + t.text + "'");
  }
  long Primary(bool lenient) {
    const Tok &t = Next();
    if (t.kind == T_NUM) return t.num;
    if (t.kind == T_ID) return NameValue(t, lenient);
    if (t.kind == T_PUNCT) {
      if (t.text == "(") {
        long v = BitOr(lenient);
        Expect(")");
        return v;
      }
      if (t.text == "-") return -Primary(lenient);
      if (t.text == "+") return Primary(lenient);
      if (t.text == "~") return ~Primary(lenient);
      if (t.text == "!") return !Primary(lenient);
    }
    pos_--;
    Error(t, "expected a number" + Got());
  }
  long Mul(bool lenient) {
    long v = Primary(lenient);
    while (IsPunct("*") || IsPunct("/") || IsPunct("%")) {
      const Tok &op = Next();
      long r = Primary(lenient);
      if (op.text != "*" && r == 0) Error(op, "division by zero");
      v = op.text == "*" ? v * r : op.text == "/" ? v / r : v % r;
    }
    return v;
  }
  long Add(bool lenient) {
    long v = Mul(lenient);
    while (IsPunct("+") || IsPunct("-")) {
      bool plus = Next().text == "+";
      long r = Mul(lenient);
      v = plus ? v + r : v - r;
    }
    return v;
  }
  long BitAnd(bool lenient) {
    long v = Add(lenient);
    while (IsPunct("&")) {
      Next();
      v &= Add(lenient);
    }
    return v;
  }
  long BitOr(bool lenient) {
    long v = BitAnd(lenient);
    while (IsPunct("|")) {
      Next();
      v |= BitAnd(lenient);
    }
    return v;
  }
  long Number() { return BitOr(false); }

  // A style: terms joined by '|', each optionally preceded by NOT, which
  // clears those bits from what came before (the statement's implicit styles
  // included).
  DWORD Style(DWORD base) {
    DWORD v = base;
    for (;;) {
      bool neg = false;
      if (IsWord("NOT")) {
        Next();
        neg = true;
      }
      DWORD term = (DWORD)BitAnd(false);
      v = neg ? (v & ~term) : (v | term);
      if (!IsPunct("|")) break;
      Next();
    }
    return v;
  }

  bool Comma() {
    if (!IsPunct(",")) return false;
    Next();
    return true;
  }

  // ---- Statements ----
  RcName Name() {
    const Tok &t = Peek();
    RcName n;
    if (t.kind == T_ID && !out_->defines.count(t.text) && !KnownValue(t.text, nullptr)) {
      n.name = Upper(Next().text);
    } else if (t.kind == T_STR) {
      n.name = Upper(Next().text);
    } else {
      long v = Number();
      if (v < 0 || v > 0xFFFF) Error(t, "resource id out of range");
      n.id = (int)v;
    }
    return n;
  }

  void SkipLine() {
    int line = Peek().line, file = Peek().file;
    while (Peek().kind != T_END && Peek().line == line && Peek().file == file) Next();
  }

  void SkipBlock() {
    const Tok start = Peek();
    while (!BlockOpen()) {
      if (Peek().kind == T_END) Error(start, "expected BEGIN");
      Next();
    }
    int depth = 0;
    do {
      if (Peek().kind == T_END) Error(start, "missing END");
      if (BlockOpen()) depth++;
      if (BlockClose()) depth--;
      Next();
    } while (depth > 0);
  }

  void SkipMemoryFlags() {
    for (bool again = true; again;) {
      again = false;
      for (const char *f : kMemoryFlags)
        if (IsWord(f)) {
          Next();
          again = true;
        }
    }
  }

  void TopStatement() {
    const Tok &t = Peek();
    if (IsWord("LANGUAGE") || IsWord("VERSION") || IsWord("CHARACTERISTICS")) {
      SkipLine();
      return;
    }
    if (IsWord("STRINGTABLE")) {
      Next();
      RcResource r;
      r.type = "STRINGTABLE";
      SkipBlock();
      out_->others.push_back(r);
      return;
    }
    RcName name = Name();
    const Tok &type = Next();
    if (type.kind != T_ID && type.kind != T_NUM) Error(type, "expected a resource type after the name");
    std::string tname = type.kind == T_NUM ? std::to_string(type.num) : Upper(type.text);
    if (tname == "DIALOG" || tname == "DIALOGEX") {
      Dialog(name, tname == "DIALOGEX", t);
      return;
    }
    RcResource r;
    r.name = name;
    r.type = tname;
    SkipMemoryFlags();
    const Tok &f = Peek();
    if (f.kind == T_STR || (f.kind == T_ID && !BlockOpen() && f.line == type.line)) {
      r.file = Next().text;
    } else {
      SkipBlock();
    }
    out_->others.push_back(r);
  }

  void Dialog(const RcName &name, bool ex, const Tok &start) {
    RcDialog d;
    d.name = name;
    d.ex = ex;
    d.file = files_[start.file];
    d.line = start.line;
    SkipMemoryFlags();
    d.x = (int)Number();
    Expect(",");
    d.y = (int)Number();
    Expect(",");
    d.w = (int)Number();
    Expect(",");
    d.h = (int)Number();
    if (ex && Comma()) Number();  // help id
    bool has_style = false, has_caption = false, has_font = false;
    DWORD style = 0;
    while (!BlockOpen()) {
      const Tok &o = Peek();
      if (o.kind != T_ID) Error(o, "expected a dialog option or BEGIN" + Got());
      std::string opt = Upper(Next().text);
      if (opt == "STYLE") {
        style = Style(0);
        has_style = true;
      } else if (opt == "EXSTYLE") {
        d.exstyle = Style(0);
      } else if (opt == "CAPTION") {
        if (Peek().kind != T_STR) Error(Peek(), "CAPTION needs a string");
        d.caption = Next().text;
        has_caption = true;
      } else if (opt == "FONT") {
        d.font_size = (int)Number();
        Expect(",");
        if (Peek().kind != T_STR) Error(Peek(), "FONT needs a face name");
        d.font = Next().text;
        while (Comma()) Number();  // weight, italic, charset
        has_font = true;
      } else if (opt == "MENU" || opt == "CLASS") {
        Next();
      } else if (opt == "LANGUAGE") {
        Number();
        Expect(",");
        Number();
      } else if (opt == "CHARACTERISTICS" || opt == "VERSION") {
        Number();
      } else {
        Error(o, "unknown dialog option '" + o.text + "'");
      }
    }
    Next();
    d.style = (has_style ? style : (WS_POPUP | WS_BORDER | WS_SYSMENU)) |
              (has_caption ? WS_CAPTION : 0) | (has_font ? DS_SETFONT : 0);
    while (!BlockClose()) {
      if (Peek().kind == T_END) Error(start, "dialog without END");
      d.controls.push_back(Control(ex));
    }
    Next();
    for (const RcDialog &other : out_->dialogs)
      if (other.name == d.name) Error(start, "dialog " + d.name.Text() + " is defined twice");
    out_->dialogs.push_back(d);
  }

  void ControlText(RcControl *c) {
    const Tok &t = Peek();
    if (t.kind == T_STR) {
      c->text = Next().text;
    } else {
      c->image = (int)Number();  // an ordinal: the icon or bitmap shown
    }
  }

  RcControl Control(bool ex) {
    const Tok &k = Next();
    RcControl c;
    c.line = k.line;
    if (k.kind != T_ID) Error(k, "expected a control statement" + Got());
    c.keyword = Upper(k.text);
    DWORD base = WS_CHILD | WS_VISIBLE;
    if (c.keyword == "CONTROL") {
      ControlText(&c);
      Expect(",");
      c.id = (int)Number();
      Expect(",");
      c.cls = ClassName();
      Expect(",");
      c.style = Style(base);
      Expect(",");
      Rect(&c);
      if (Comma()) c.exstyle = Style(0);
      if (ex && Comma()) Number();
      return c;
    }
    const ControlKind *kind = nullptr;
    for (const ControlKind &ck : kControls)
      if (c.keyword == ck.keyword) kind = &ck;
    if (!kind) Error(k, "unknown control statement '" + k.text + "'");
    c.cls = kind->cls;
    if (kind->has_text) {
      ControlText(&c);
      Expect(",");
    }
    c.id = (int)Number();
    Expect(",");
    c.x = (int)Number();
    Expect(",");
    c.y = (int)Number();
    bool icon = c.keyword == "ICON";
    c.style = base | kind->always | kind->when_default;
    if (!icon || IsPunct(",")) {
      Expect(",");
      c.w = (int)Number();
      Expect(",");
      c.h = (int)Number();
      if (Comma()) c.style = Style(base | kind->always);
      if (Comma()) c.exstyle = Style(0);
      if (ex && Comma()) Number();
    }
    return c;
  }

  void Rect(RcControl *c) {
    c->x = (int)Number();
    Expect(",");
    c->y = (int)Number();
    Expect(",");
    c->w = (int)Number();
    Expect(",");
    c->h = (int)Number();
  }

  std::string ClassName() {
    const Tok &t = Next();
    std::string name;
    if (t.kind == T_STR) {
      name = t.text;
    } else if (t.kind == T_ID) {
      for (auto &cn : kClassNames)
        if (t.text == cn[0]) name = cn[1];
      auto it = out_->defines.find(t.text);
      if (name.empty() && it != out_->defines.end() && it->second.size() >= 2 &&
          it->second[0] == '"') {
        bool ok;
        ReadString(it->second, 0, &name, &ok);
      }
      if (name.empty()) name = t.text;  // BUTTON, EDIT, STATIC, ... as keywords
    } else {
      Error(t, "expected a window class");
    }
    for (const char *canon : kCanonicalClasses)
      if (IEq(name, canon)) return canon;
    return name;
  }
};

struct Registry {
  std::vector<std::pair<std::string, std::string> > scripts;  // name, text
  std::map<std::string, std::string> files;
  bool parsed = false;
  RcScript merged;
};

Registry &Reg() {
  static Registry r;
  return r;
}

void ParseAll() {
  Registry &r = Reg();
  if (r.parsed) return;
  r.parsed = true;
  for (auto &s : r.scripts) {
    RcScript one;
    std::string error;
    if (!ParseRc(s.second, s.first, &one, &error))
      Die(2, "the resource script " + error + " (windres would refuse it too)");
    for (auto &d : one.dialogs) r.merged.dialogs.push_back(d);
    for (auto &o : one.others) r.merged.others.push_back(o);
  }
}

}  // namespace

bool ParseRc(const std::string &text, const std::string &file, RcScript *out,
             std::string *error) {
  Parser p(file, out);
  try {
    p.Run(text);
  } catch (const ParseError &e) {
    if (error) *error = e.message;
    return false;
  }
  return true;
}

int RegisterResourceScript(const char *name, const char *text) {
  Registry &r = Reg();
  r.scripts.push_back({name ? name : "", text ? text : ""});
  r.parsed = false;
  r.merged = RcScript();
  return (int)r.scripts.size();
}

int RegisterResourceFile(const char *file, const unsigned char *data, unsigned long size) {
  Reg().files[file ? file : ""] = std::string((const char *)data, size);
  return (int)Reg().files.size();
}

const RcDialog *FindDialogTemplate(LPCSTR name) {
  ParseAll();
  RcName want;
  if (IS_INTRESOURCE(name)) {
    want.id = (int)(ULONG_PTR)name;
  } else if (name[0] == '#') {
    want.id = atoi(name + 1);
  } else {
    want.name = Upper(name);
  }
  for (const RcDialog &d : Reg().merged.dialogs)
    if (d.name == want) return &d;
  return nullptr;
}

const RcResource *FindResourceEntry(const char *type, const RcName &name) {
  ParseAll();
  for (const RcResource &r : Reg().merged.others)
    if (IEq(r.type, type) && r.name == name) return &r;
  return nullptr;
}

const std::string *ResourceFileData(const std::string &file) {
  auto it = Reg().files.find(file);
  return it == Reg().files.end() ? nullptr : &it->second;
}

}  // namespace wh
