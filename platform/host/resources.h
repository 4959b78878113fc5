// The program's resources as the resource compiler wrote them: the build
// compiles each .rc file with windres into a .res file and embeds its bytes.
// Dialog templates are read from their binary form (DLGTEMPLATE or
// DLGTEMPLATEEX with their items), the same bytes Windows reads.
#ifndef PLATFORM_HOST_RESOURCES_H
#define PLATFORM_HOST_RESOURCES_H

#include <string>
#include <vector>

#include "winhost.h"

namespace wh {

// A resource name or type: a number (id >= 0) or a string (upper-cased, as
// Windows compares resource names).
struct RcName {
  int id = -1;
  std::string name;
  bool operator==(const RcName &o) const { return id == o.id && name == o.name; }
  std::string Text() const { return id >= 0 ? std::to_string(id) : name; }
};

struct RcControl {
  std::string cls;   // "Button", "Static", "Edit", ... as Win32 reports it
  std::string text;  // "" for an ordinal text (see image)
  int image = -1;    // ordinal text: the icon or bitmap resource it shows
  int id = 0;        // as the template holds it: 16 bits in a DIALOG, 32 in a DIALOGEX
  DWORD style = 0, exstyle = 0;
  int x = 0, y = 0, w = 0, h = 0;  // dialog units
};

struct RcDialog {
  RcName name;
  DWORD style = 0, exstyle = 0;
  int x = 0, y = 0, w = 0, h = 0;
  std::string caption;
  std::string font;
  int font_size = 0;
  std::vector<RcControl> controls;
};

// Called by the build's generated sources at start-up (before main): the
// bytes of one .res file. They are read on the next lookup; a .res file that
// is not one ends the process.
int RegisterResources(const unsigned char *data, unsigned long size);

// Reads one DLGTEMPLATE or DLGTEMPLATEEX (the name is left alone); false
// when the bytes are not a whole template.
bool ReadDialogTemplate(const std::string &data, RcDialog *out);

// The dialog template a DialogBoxParamA/CreateDialogParamA name selects
// (MAKEINTRESOURCE id, "#id" or a name compared case-insensitively), from all
// registered resources; nullptr when there is none.
const RcDialog *FindDialogTemplate(LPCSTR name);
// The data of any resource, by type and name given as FindResourceA takes
// them (RT_BITMAP is MAKEINTRESOURCE(2)); nullptr when there is none.
const std::string *FindResourceData(LPCSTR type, LPCSTR name);

}  // namespace wh

#endif
