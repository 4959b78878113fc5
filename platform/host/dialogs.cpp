// Dialogs from the program's templates, modal and modeless, and message
// boxes. A modal dialog's loop first dispatches what is posted, then asks the
// agent what the person does next.
#include "ui.h"

namespace wh {
namespace {

// The first control that takes the focus: a visible, enabled tab stop.
HWND FirstTabStop(Window *d) {
  for (HWND c : d->children) {
    Window *k = FindWin(c);
    if (k && (k->style & WS_TABSTOP) && (k->style & WS_VISIBLE) && !(k->style & WS_DISABLED))
      return c;
  }
  return nullptr;
}

// Builds the dialog and sends WM_INITDIALOG. False (with the last error)
// when the template or the owner is missing; *out is nullptr when the
// procedure destroyed its dialog while it opened.
bool OpenDialog(LPCSTR name, HWND owner, DLGPROC proc, LPARAM param, bool modal, Window **out,
                const RcDialog **tmpl) {
  *out = nullptr;
  if (owner && !FindWin(owner)) {
    SetError(ERROR_INVALID_WINDOW_HANDLE);
    return false;
  }
  const RcDialog *t = name ? FindDialogTemplate(name) : nullptr;
  if (!t) {
    SetError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return false;
  }
  *tmpl = t;
  Window *d = BuildDialog(t, owner, proc, modal);
  HWND h = d->handle;
  HWND first = FirstTabStop(d);
  // A nonzero answer lets the system give the first tab stop the focus.
  if (Deliver(d, WM_INITDIALOG, (WPARAM)first, param) && (d = FindWin(h)))
    SetDialogFocus(d, first);
  *out = FindWin(h);
  return true;
}

void EmitClosed(const RcDialog *tmpl, bool has_result, INT_PTR result) {
  Event e("closed");
  Window tomb;
  tomb.tmpl = tmpl;
  TemplateField(&e, &tomb);
  if (has_result)
    e.Int("result", (long long)result);
  else
    e.Raw("result", "null");
  e.Emit();
}

}  // namespace

std::vector<int> BoxButtons(UINT type) {
  switch (type & 0xF) {
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
    default: return {IDOK};
  }
}

const char *AnswerName(int id) {
  switch (id) {
    case IDOK: return "ok";
    case IDCANCEL: return "cancel";
    case IDABORT: return "abort";
    case IDRETRY: return "retry";
    case IDIGNORE: return "ignore";
    case IDYES: return "yes";
    case IDNO: return "no";
  }
  return "?";
}

int AnswerId(const std::string &name) {
  for (int id = IDOK; id <= IDNO; id++)
    if (name == AnswerName(id)) return id;
  return 0;
}

}  // namespace wh

using wh::FindWin;
using wh::Window;

INT_PTR WINAPI DialogBoxParamA(HINSTANCE, LPCSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  if (wh::Fail("DialogBoxParamA", ERROR_NOT_ENOUGH_MEMORY)) return -1;
  Window *d;
  const wh::RcDialog *tmpl = nullptr;
  if (!wh::OpenDialog(lpTemplateName, hWndParent, lpDialogFunc, dwInitParam, true, &d, &tmpl))
    return -1;
  HWND h = d ? d->handle : nullptr;
  INT_PTR result = 0;
  if (d && !d->ended) {
    d->shown = true;
    wh::EmitShown("page", d);
  }
  // The modal loop: what is posted goes first; then the person acts.
  unsigned long rounds = 0;
  while ((d = FindWin(h)) && !d->ended) {
    MSG m;
    while (wh::TakeForDispatch(&m)) {
      if (++rounds > 1000000)
        wh::Die(3, "dialog " + tmpl->name.Text() + " keeps posting messages to itself");
      if (Window *t = FindWin(m.hwnd)) wh::Deliver(t, m.message, m.wParam, m.lParam);
      d = FindWin(h);
      if (!d || d->ended) break;
    }
    d = FindWin(h);
    if (!d || d->ended) break;
    wh::AgentPage(d);
  }
  if (d) {
    result = d->result;
    wh::DestroyTree(d);
  }
  wh::EmitClosed(tmpl, true, result);
  return result;
}

HWND WINAPI CreateDialogParamA(HINSTANCE, LPCSTR lpTemplateName, HWND hWndParent,
                               DLGPROC lpDialogFunc, LPARAM dwInitParam) {
  if (wh::Fail("CreateDialogParamA", ERROR_NOT_ENOUGH_MEMORY)) return nullptr;
  Window *d;
  const wh::RcDialog *tmpl = nullptr;
  if (!wh::OpenDialog(lpTemplateName, hWndParent, lpDialogFunc, dwInitParam, false, &d, &tmpl))
    return nullptr;
  if (!d) return nullptr;  // the procedure destroyed it at once
  d->shown = true;
  wh::EmitShown("window", d);
  if (d->style & WS_VISIBLE) wh::AgentWindowShown(d);
  return d->handle;
}

// EndDialog fails only for a handle that is no dialog; failing it on purpose
// for a live page would leave a modal loop that nothing can end (a person at
// the screen could not close it either), so it is counted but never made to
// fail.
BOOL WINAPI EndDialog(HWND hDlg, INT_PTR nResult) {
  wh::Count("EndDialog");
  Window *d = FindWin(hDlg);
  if (!d) {
    wh::SetError(ERROR_INVALID_WINDOW_HANDLE);
    return FALSE;
  }
  d->ended = true;
  d->result = nResult;
  if (d->modal) wh::SetDialogFocus(d, nullptr);
  if (!d->modal) d->style &= ~WS_VISIBLE;  // a modeless dialog is only hidden
  return TRUE;
}

int WINAPI MessageBoxA(HWND hWnd, LPCSTR lpText, LPCSTR lpCaption, UINT uType) {
  if (wh::Fail("MessageBoxA", ERROR_NOT_ENOUGH_MEMORY)) return 0;
  const char *caption = lpCaption ? lpCaption : "Error";
  if (hWnd && !FindWin(hWnd)) {
    // Windows refuses an owner that is no (longer a) window: no box is shown.
    wh::SetError(ERROR_INVALID_WINDOW_HANDLE);
    wh::Event("message")
        .Bool("owner", true)
        .Str("text", lpText ? lpText : "")
        .Str("caption", caption)
        .Int("style", uType)
        .Int("answer", 0)
        .Int("error", ERROR_INVALID_WINDOW_HANDLE)
        .Emit();
    return 0;
  }
  int answer = wh::AgentMessageBox(hWnd != nullptr, lpText ? lpText : "", caption, uType);
  wh::Event("message")
      .Bool("owner", hWnd != nullptr)
      .Str("text", lpText ? lpText : "")
      .Str("caption", caption)
      .Int("style", uType)
      .Int("answer", answer)
      .Emit();
  return answer;
}
