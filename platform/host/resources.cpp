// Reads the .res files the build embeds: their entries (each a header with
// the type and name, then the data, DWORD-aligned), and the dialog templates
// among them field by field, as the dialog manager reads them.
#include "resources.h"

#include <ctype.h>
#include <stdlib.h>
#include <strings.h>

#include <deque>

#include "internal.h"

namespace wh {
namespace {

const int kDialogType = 5;  // RT_DIALOG

// The names Win32 reports for the window classes, whatever the case a
// template spells them in; the first six are also named by ordinal, from 0x80.
const char *const kClasses[] = {"Button",   "Edit",     "Static",           "ListBox",
                                "ScrollBar", "ComboBox", "msctls_progress32"};

// Little-endian fields of a byte string, read in order. A read past the end
// clears ok and yields zeros, so that the caller checks once at the end.
struct Reader {
  const std::string &d;
  size_t at;
  bool ok = true;
  Reader(const std::string &data, size_t from) : d(data), at(from) {}

  bool Has(size_t n) const { return ok && at <= d.size() && d.size() - at >= n; }
  void Skip(size_t n) {
    if (Has(n))
      at += n;
    else
      ok = false;
  }
  DWORD Take(int bytes) {
    if (!Has((size_t)bytes)) {
      ok = false;
      return 0;
    }
    DWORD v = 0;
    for (int k = bytes - 1; k >= 0; k--) v = v << 8 | (unsigned char)d[at + k];
    at += (size_t)bytes;
    return v;
  }
  WORD Word() { return (WORD)Take(2); }
  DWORD Dword() { return Take(4); }
  int Short() { return (short)Take(2); }
  // Items start on a DWORD boundary of the template.
  void Align() { Skip((4 - at % 4) % 4); }
  // A zero-terminated UTF-16 string, in the ANSI code page.
  std::string Text() {
    std::u16string w;
    while (WORD c = Word()) w += (char16_t)c;
    return WideToAnsi(w.c_str());
  }
  // 0xFFFF and a number, or a string.
  RcName NameOrOrdinal() {
    RcName n;
    if (Has(2) && (unsigned char)d[at] == 0xFF && (unsigned char)d[at + 1] == 0xFF) {
      Skip(2);
      n.id = Word();
    } else {
      n.name = Text();
    }
    return n;
  }
};

std::string Upper(std::string s) {
  for (char &c : s) c = (char)toupper((unsigned char)c);
  return s;
}

std::string ClassName(const RcName &c) {
  if (c.id >= 0x80 && c.id <= 0x85) return kClasses[c.id - 0x80];
  for (const char *k : kClasses)
    if (strcasecmp(c.name.c_str(), k) == 0) return k;
  return c.name;
}

struct Entry {
  RcName type, name;
  std::string data;
};

struct Registry {
  std::vector<std::string> pending;  // .res files not read yet
  std::deque<Entry> entries;         // deques: what a lookup returned stays put
  std::deque<RcDialog> dialogs;
};

Registry &Reg() {
  static Registry r;
  return r;
}

void ReadResFile(const std::string &res) {
  Registry &reg = Reg();
  size_t at = 0;
  while (at < res.size()) {
    Reader r(res, at);
    DWORD size = r.Dword(), header = r.Dword();
    Entry e;
    e.type = r.NameOrOrdinal();
    e.name = r.NameOrOrdinal();
    e.name.name = Upper(e.name.name);
    e.type.name = Upper(e.type.name);
    if (!r.ok || r.at > at + header || res.size() - at < (size_t)header + size)
      Die(2, "the embedded resources are not a .res file (at byte " + std::to_string(at) + ")");
    e.data = res.substr(at + header, size);
    at = (at + header + size + 3) & ~(size_t)3;
    if (size == 0 && e.type.id == 0) continue;  // the empty entry every .res file starts with
    if (e.type.id == kDialogType) {
      RcDialog d;
      d.name = e.name;
      if (!ReadDialogTemplate(e.data, &d))
        Die(2, "the dialog template " + d.name.Text() + " in the embedded resources is cut short");
      reg.dialogs.push_back(d);
    }
    reg.entries.push_back(e);
  }
}

void ReadPending() {
  std::vector<std::string> files;
  files.swap(Reg().pending);
  for (const std::string &f : files) ReadResFile(f);
}

RcName Wanted(LPCSTR s) {
  RcName n;
  if (IS_INTRESOURCE(s))
    n.id = (int)(ULONG_PTR)s;
  else if (s[0] == '#')
    n.id = atoi(s + 1);
  else
    n.name = Upper(s);
  return n;
}

}  // namespace

int RegisterResources(const unsigned char *data, unsigned long size) {
  Reg().pending.push_back(std::string((const char *)data, size));
  return (int)Reg().pending.size();
}

bool ReadDialogTemplate(const std::string &data, RcDialog *out) {
  Reader r(data, 0);
  RcDialog d;
  d.name = out->name;
  // A DLGTEMPLATEEX starts with its version, 1, and the signature 0xFFFF.
  bool ex = data.size() >= 4 && r.Word() == 1 && r.Word() == 0xFFFF;
  if (ex) {
    r.Skip(4);  // help id
    d.exstyle = r.Dword();
    d.style = r.Dword();
  } else {
    r.at = 0;
    d.style = r.Dword();
    d.exstyle = r.Dword();
  }
  WORD count = r.Word();
  d.x = r.Short();
  d.y = r.Short();
  d.w = r.Short();
  d.h = r.Short();
  r.NameOrOrdinal();  // menu
  r.NameOrOrdinal();  // window class
  d.caption = r.Text();
  if (d.style & DS_SETFONT) {
    d.font_size = r.Word();
    if (ex) r.Skip(4);  // weight, italic, character set
    d.font = r.Text();
  }
  for (WORD i = 0; i < count && r.ok; i++) {
    RcControl c;
    r.Align();
    if (ex) {
      r.Skip(4);  // help id
      c.exstyle = r.Dword();
      c.style = r.Dword();
    } else {
      c.style = r.Dword();
      c.exstyle = r.Dword();
    }
    c.x = r.Short();
    c.y = r.Short();
    c.w = r.Short();
    c.h = r.Short();
    c.id = ex ? (int)r.Dword() : (int)r.Word();
    c.cls = ClassName(r.NameOrOrdinal());
    RcName text = r.NameOrOrdinal();
    c.text = text.name;
    c.image = text.id;
    r.Skip(r.Word());  // creation data
    d.controls.push_back(c);
  }
  if (!r.ok) return false;
  *out = d;
  return true;
}

const RcDialog *FindDialogTemplate(LPCSTR name) {
  ReadPending();
  RcName want = Wanted(name);
  for (const RcDialog &d : Reg().dialogs)
    if (d.name == want) return &d;
  return nullptr;
}

const std::string *FindResourceData(LPCSTR type, LPCSTR name) {
  ReadPending();
  RcName t = Wanted(type), n = Wanted(name);
  for (const Entry &e : Reg().entries)
    if (e.type == t && e.name == n) return &e.data;
  return nullptr;
}

}  // namespace wh
