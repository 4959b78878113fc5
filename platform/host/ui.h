// The host's windows, dialogs and the agent that answers them: what
// windows.cpp, dialogs.cpp, agent.cpp and terminal.cpp share.
#ifndef PLATFORM_HOST_UI_H
#define PLATFORM_HOST_UI_H

#include <stdio.h>

#include <string>
#include <vector>

#include "internal.h"
#include "resources.h"

namespace wh {

// One window: a dialog, one of its controls, or a window CreateWindowExA made.
// Destroyed windows stay in the table as tombstones so that their handles are
// never handed out again.
struct Window {
  HWND handle = nullptr;
  HWND parent = nullptr;
  std::vector<HWND> children;  // in creation (template) order
  std::string cls;             // as Win32 reports it: "#32770", "Button", ...
  std::string text;
  int id = 0;
  DWORD style = 0, exstyle = 0;
  int check = BST_UNCHECKED;
  RECT rect = {0, 0, 0, 0};  // pixels, in the parent's client area
  RECT du = {0, 0, 0, 0};    // the template's rectangle in dialog units (x, y, w, h)
  int image = -1;            // an ordinal text: the icon or bitmap shown
  int frame = -1;            // border width in pixels; -1: from the styles
  bool destroyed = false;
  // Dialogs.
  bool dialog = false;
  bool modal = false;
  bool shown = false;  // announced in the transcript ("page" or "window")
  bool ended = false;
  INT_PTR result = 0;
  DLGPROC proc = nullptr;
  const RcDialog *tmpl = nullptr;
  HWND focus = nullptr;   // the control with the keyboard focus
  int agent_actions = 0;  // actions the agent took on this page
  // Progress bars.
  int lo = 0, hi = 100, pos = 0;
};

// The live window behind a handle; nullptr for NULL, bogus and destroyed ones.
Window *FindWin(HWND h);
// The dialog a window belongs to (itself for a top-level window).
Window *TopWin(Window *w);
Window *ChildById(Window *parent, int id);
// A new window in the table; the caller fills it in.
Window *NewWin(HWND parent);
// The dialog from a template, with its controls, not yet initialised.
Window *BuildDialog(const RcDialog *t, HWND parent, DLGPROC proc, bool modal);
// Sends a message as SendMessageA does, without the accounting.
LRESULT Deliver(Window *w, UINT msg, WPARAM wParam, LPARAM lParam);
// Queues a message as PostMessageA does, without the accounting.
void Post(HWND h, UINT msg, WPARAM wParam, LPARAM lParam);
// Takes the first queued message that is not WM_QUIT; false when none is left.
bool TakeForDispatch(MSG *msg);
// Moves a dialog's keyboard focus (nullptr: none), with the edit boxes'
// EN_KILLFOCUS and EN_SETFOCUS notifications.
void SetDialogFocus(Window *dlg, HWND ctl);
// Destroys a window and its children (WM_DESTROY to each dialog).
void DestroyTree(Window *w);
// Pixels from dialog units (MS Sans Serif 8: base units 6 x 13).
int DuToPxX(int du);
int DuToPxY(int du);

// Transcript helpers: the template field and a dialog's controls.
void TemplateField(Event *e, const Window *dlg);
std::string ControlsJson(const Window *dlg);
void EmitShown(const char *kind, Window *dlg);  // "page" or "window"

// ---- The agent (agent.cpp) ----

// One step, as a script line or a person types it.
struct Step {
  std::string verb;  // page set check click close key message auto
  std::string text;  // the step as written (for the transcript)
  int id = 0;
  std::string arg;   // set: the text; key: enter/escape; message: the answer; auto: yes/no
  std::string caption;  // message
  int line = 0;         // script line, 0 when typed
};
// Parses one line; false with *error when it is no step.
bool ParseStep(const std::string &line, Step *step, std::string *error);

// Takes one action on a modal page that waits for the person.
void AgentPage(Window *dlg);
// Answers a message box; returns IDOK, IDYES, ...
int AgentMessageBox(bool owner, const char *text, const char *caption, UINT type);
// What the person sees of modeless windows (the interactive agent draws).
void AgentWindowShown(Window *dlg);
void AgentTextChanged(Window *w);
void AgentProgress(Window *bar);
void AgentWindowClosed(Window *dlg);

// ---- The terminal (terminal.cpp): the interactive agent's side ----
namespace term {
FILE *In();
FILE *Out();
bool Colour();
void Reset();
// Draws the page and reads what the person wants done, as a step line.
// Returns false at the end of input.
bool AskPage(Window *dlg, std::string *step_line);
// Draws the box and reads the answer: "ok", "yes", ...; false at end of input.
bool AskMessage(const char *text, const char *caption, UINT type, std::string *answer);
void Note(const std::string &line);
void ShowWindow(Window *dlg);
void TextChanged(Window *w);
void Progress(Window *bar);
void WindowClosed(Window *dlg);
}  // namespace term

// The buttons a message box style has, as IDOK... values, in display order.
std::vector<int> BoxButtons(UINT type);
const char *AnswerName(int id);
int AnswerId(const std::string &name);

}  // namespace wh

#endif
