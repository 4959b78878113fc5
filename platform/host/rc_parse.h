// The program's resource scripts (.rc text, embedded by the build) read the
// way windres reads them: dialog templates with their controls and implicit
// styles, #define names from included headers, and other resource statements
// recorded by name, type and file.
#ifndef PLATFORM_HOST_RC_PARSE_H
#define PLATFORM_HOST_RC_PARSE_H

#include <map>
#include <string>
#include <vector>

#include "winhost.h"

namespace wh {

// A resource name: a number (id >= 0) or a string (upper-cased, as Windows
// keeps resource names).
struct RcName {
  int id = -1;
  std::string name;
  bool operator==(const RcName &o) const { return id == o.id && name == o.name; }
  std::string Text() const { return id >= 0 ? std::to_string(id) : name; }
};

struct RcControl {
  std::string keyword;  // LTEXT, CONTROL, ... as written
  std::string cls;      // "Button", "Static", "Edit", ... as Win32 reports it
  std::string text;     // "" for an ordinal text (see image)
  int image = -1;       // ordinal text: the icon or bitmap resource it shows
  int id = 0;
  DWORD style = 0, exstyle = 0;
  int x = 0, y = 0, w = 0, h = 0;  // dialog units
  int line = 0;
};

struct RcDialog {
  RcName name;
  bool ex = false;
  DWORD style = 0, exstyle = 0;
  int x = 0, y = 0, w = 0, h = 0;
  std::string caption;
  std::string font;
  int font_size = 0;
  std::string file;  // where it was defined, for messages
  int line = 0;
  std::vector<RcControl> controls;
};

// Any other resource statement: `103 BITMAP "page.bmp"`, STRINGTABLE, ...
struct RcResource {
  RcName name;
  std::string type;
  std::string file;  // the file a one-line statement names, else ""
};

struct RcScript {
  std::vector<RcDialog> dialogs;
  std::vector<RcResource> others;
  std::map<std::string, std::string> defines;  // name -> replacement text
};

// Parses one script. On an error returns false with "file:line: message".
// `file` names the text in messages until a #line directive says otherwise.
bool ParseRc(const std::string &text, const std::string &file, RcScript *out,
             std::string *error);

// Symbols the build's generated sources call at start-up (before main).
int RegisterResourceScript(const char *name, const char *text);
int RegisterResourceFile(const char *file, const unsigned char *data, unsigned long size);

// The dialog template a DialogBoxParamA/CreateDialogParamA name selects
// (MAKEINTRESOURCE id, "#id" or a name compared case-insensitively), from all
// registered scripts; nullptr when there is none. The scripts are parsed on
// the first lookup; a script windres would refuse ends the process.
const RcDialog *FindDialogTemplate(LPCSTR name);
// Another resource by type ("BITMAP") and name, nullptr when there is none.
const RcResource *FindResourceEntry(const char *type, const RcName &name);
// The bytes of a file the build embedded beside the scripts, nullptr if none.
const std::string *ResourceFileData(const std::string &file);

}  // namespace wh

#endif
