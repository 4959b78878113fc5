// Window objects and the thread's message queue: controls with their texts,
// check and enabled states, progress bars, and the calls that reach them.
#include <string.h>
#include <strings.h>

#include <deque>
#include <map>
#include <memory>

#include "ui.h"
#include "winhost_test.h"

namespace wh {
namespace {

struct UiState {
  std::map<HWND, std::unique_ptr<Window> > windows;
  std::deque<MSG> queue;
  uintptr_t next_handle = 0x00010010;
  bool common_controls = false;
  DWORD tick = 0;
};

UiState &U() {
  static UiState s;
  return s;
}

void ResetWindows() {
  UiState &u = U();
  u.windows.clear();
  u.queue.clear();
  u.next_handle = 0x00010010;
  u.common_controls = false;
  u.tick = 0;
}

const int kRegistered = (OnReset(ResetWindows), 0);

int MulDiv(int a, int b, int c) {
  long long p = (long long)a * b;
  return (int)(p >= 0 ? (p + c / 2) / c : (p - c / 2) / c);
}

bool IsCheckable(const Window *w) {
  if (strcasecmp(w->cls.c_str(), "Button") != 0) return false;
  DWORD t = w->style & BS_TYPEMASK;
  return t == BS_CHECKBOX || t == BS_AUTOCHECKBOX || t == BS_RADIOBUTTON || t == BS_3STATE ||
         t == BS_AUTO3STATE || t == BS_AUTORADIOBUTTON;
}

bool IsProgress(const Window *w) { return w->cls == PROGRESS_CLASSA; }

// The frame a window's border takes from each side of its client area.
int BorderWidth(const Window *w) {
  if (w->dialog && !w->parent) return 0;  // a dialog template gives the client size
  if (w->frame >= 0) return w->frame;
  int b = 0;
  if (w->exstyle & WS_EX_CLIENTEDGE) b += 2;
  if (w->exstyle & WS_EX_STATICEDGE) b += 1;
  if (w->style & WS_BORDER) b += 1;
  return b;
}

void TextEvent(Window *w) {
  Window *top = TopWin(w);
  if (!top || !top->shown) return;
  Event e("text");
  TemplateField(&e, top);
  if (w == top)
    e.Bool("caption", true);
  else
    e.Int("id", w->id);
  e.Str("text", w->text).Emit();
  AgentTextChanged(w);
}

void Notify(Window *ctl, WORD code) {
  if (Window *p = FindWin(ctl->parent))
    Deliver(p, WM_COMMAND, MAKEWPARAM(ctl->id, code), (LPARAM)ctl->handle);
}

LRESULT SetText(Window *w, const char *text) {
  w->text = text ? text : "";
  TextEvent(w);
  if (w->cls == "Edit") {  // an edit box tells its parent at once
    HWND h = w->handle;
    Notify(w, EN_UPDATE);
    if ((w = FindWin(h))) Notify(w, EN_CHANGE);
  }
  return TRUE;
}

LRESULT GetText(Window *w, WPARAM max, LPARAM buf) {
  if (!buf || max == 0) return 0;
  size_t n = w->text.size();
  if (n > max - 1) n = max - 1;
  memcpy((char *)buf, w->text.data(), n);
  ((char *)buf)[n] = 0;
  return (LRESULT)n;
}

// What a control's own window procedure does with a message.
LRESULT ControlMessage(Window *w, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_SETTEXT: return SetText(w, (const char *)lParam);
    case WM_GETTEXT: return GetText(w, wParam, lParam);
    case WM_GETTEXTLENGTH: return (LRESULT)w->text.size();
    case BM_GETCHECK: return IsCheckable(w) ? w->check : BST_UNCHECKED;
    case BM_SETCHECK:
      if (IsCheckable(w)) w->check = (int)wParam;
      return 0;
    case BM_CLICK: {
      if (w->style & WS_DISABLED) return 0;
      // The click moves the focus to the button first.
      HWND h = w->handle;
      Window *p = FindWin(w->parent);
      if (p && p->dialog) SetDialogFocus(p, h);
      if (!(w = FindWin(h))) return 0;
      DWORD t = w->style & BS_TYPEMASK;
      if (t == BS_AUTOCHECKBOX)
        w->check = w->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
      else if (t == BS_AUTO3STATE)
        w->check = (w->check + 1) % 3;
      else if (t == BS_AUTORADIOBUTTON)
        w->check = BST_CHECKED;
      Notify(w, BN_CLICKED);
      return 0;
    }
  }
  if (IsProgress(w)) {
    switch (msg) {
      case PBM_SETRANGE: {
        LRESULT prev = MAKELONG(w->lo, w->hi);
        w->lo = (short)LOWORD(lParam);
        w->hi = (short)HIWORD(lParam);
        if (w->pos < w->lo) w->pos = w->lo;
        if (w->pos > w->hi) w->pos = w->hi;
        // The person at the terminal sees the bar from here on, even one
        // that never moves.
        AgentProgress(w);
        return prev;
      }
      case PBM_SETPOS: {
        int prev = w->pos;
        int p = (int)(short)LOWORD(wParam);
        w->pos = p < w->lo ? w->lo : p > w->hi ? w->hi : p;
        if (w->pos != prev) AgentProgress(w);
        return prev;
      }
      case PBM_DELTAPOS: {
        int prev = w->pos;
        int p = prev + (int)(short)LOWORD(wParam);
        w->pos = p < w->lo ? w->lo : p > w->hi ? w->hi : p;
        if (w->pos != prev) AgentProgress(w);
        return prev;
      }
      case PBM_GETPOS: return w->pos;
    }
  }
  return 0;
}

// What DefDlgProc does with what the dialog procedure leaves unhandled.
LRESULT DefDialogMessage(Window *w, UINT msg, WPARAM wParam, LPARAM lParam) {
  switch (msg) {
    case WM_SETTEXT: return SetText(w, (const char *)lParam);
    case WM_GETTEXT: return GetText(w, wParam, lParam);
    case WM_GETTEXTLENGTH: return (LRESULT)w->text.size();
    case WM_CLOSE: {
      // The close box stands for the Cancel button, unless that is disabled.
      Window *cancel = ChildById(w, IDCANCEL);
      if (cancel && (cancel->style & WS_DISABLED)) return 0;
      Post(w->handle, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
           (LPARAM)(cancel ? cancel->handle : nullptr));
      return 0;
    }
    case DM_GETDEFID:
      for (HWND c : w->children) {
        Window *k = FindWin(c);
        if (k && k->cls == "Button" && (k->style & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
          return MAKELONG(k->id, DC_HASDEFID);
      }
      return MAKELONG(IDOK, DC_HASDEFID);
  }
  return 0;
}

bool MatchesFilter(const MSG &m, HWND hwnd, UINT lo, UINT hi) {
  if (hwnd == (HWND)(LONG_PTR)-1) {
    if (m.hwnd) return false;
  } else if (hwnd) {
    // A window's filter takes its children's messages too.
    Window *w = FindWin(m.hwnd);
    while (w && w->handle != hwnd) w = FindWin(w->parent);
    if (!w) return false;
  }
  if (lo == 0 && hi == 0) return true;
  return m.message >= lo && m.message <= hi;
}

bool TakeMessage(MSG *out, HWND hwnd, UINT lo, UINT hi, bool remove) {
  std::deque<MSG> &q = U().queue;
  for (auto it = q.begin(); it != q.end(); ++it) {
    if (!MatchesFilter(*it, hwnd, lo, hi)) continue;
    if (out) *out = *it;
    if (remove) q.erase(it);
    return true;
  }
  return false;
}

bool BadWindow(HWND h) {
  if (FindWin(h)) return false;
  SetError(ERROR_INVALID_WINDOW_HANDLE);
  return true;
}

}  // namespace

Window *FindWin(HWND h) {
  if (!h) return nullptr;
  auto it = U().windows.find(h);
  if (it == U().windows.end() || it->second->destroyed) return nullptr;
  return it->second.get();
}

Window *TopWin(Window *w) {
  while (w && w->parent) {
    Window *p = FindWin(w->parent);
    if (!p) break;
    w = p;
  }
  return w;
}

Window *ChildById(Window *parent, int id) {
  if (!parent) return nullptr;
  for (HWND c : parent->children)
    if (Window *k = FindWin(c); k && k->id == id) return k;
  return nullptr;
}

Window *NewWin(HWND parent) {
  UiState &u = U();
  auto w = std::make_unique<Window>();
  w->handle = (HWND)u.next_handle;
  u.next_handle += 4;
  w->parent = parent;
  Window *raw = w.get();
  u.windows[raw->handle] = std::move(w);
  if (Window *p = FindWin(parent)) p->children.push_back(raw->handle);
  return raw;
}

int DuToPxX(int du) { return MulDiv(du, 6, 4); }
int DuToPxY(int du) { return MulDiv(du, 13, 8); }

Window *BuildDialog(const RcDialog *t, HWND parent, DLGPROC proc, bool modal) {
  Window *d = NewWin(nullptr);
  d->parent = nullptr;  // the owner is not a parent: the dialog is top-level
  (void)parent;
  d->cls = "#32770";
  d->text = t->caption;
  d->style = t->style;
  d->exstyle = t->exstyle;
  d->dialog = true;
  d->modal = modal;
  d->proc = proc;
  d->tmpl = t;
  d->du = {t->x, t->y, t->w, t->h};
  // Position and size are converted each on its own, as the dialog manager does.
  d->rect = {DuToPxX(t->x), DuToPxY(t->y), DuToPxX(t->x) + DuToPxX(t->w), DuToPxY(t->y) + DuToPxY(t->h)};
  for (const RcControl &c : t->controls) {
    Window *k = NewWin(d->handle);
    k->cls = c.cls;
    k->text = c.text;
    k->image = c.image;
    k->id = c.id;
    k->style = c.style;
    k->exstyle = c.exstyle;
    k->du = {c.x, c.y, c.w, c.h};
    k->rect = {DuToPxX(c.x), DuToPxY(c.y), DuToPxX(c.x) + DuToPxX(c.w), DuToPxY(c.y) + DuToPxY(c.h)};
    // Dialogs of Windows 4.0 programs draw a bordered control with the 3D
    // client edge (2 pixels) instead of the flat border.
    int edge = (c.exstyle & WS_EX_CLIENTEDGE) || (c.style & WS_BORDER) ? 2 : 0;
    k->frame = edge + ((c.exstyle & WS_EX_STATICEDGE) ? 1 : 0);
  }
  return d;
}

LRESULT Deliver(Window *w, UINT msg, WPARAM wParam, LPARAM lParam) {
  if (!w->dialog) return ControlMessage(w, msg, wParam, lParam);
  HWND h = w->handle;
  INT_PTR handled = w->proc ? w->proc(h, msg, wParam, lParam) : FALSE;
  w = FindWin(h);
  if (!w) return 0;
  if (handled) return msg == WM_INITDIALOG ? handled : 0;
  return DefDialogMessage(w, msg, wParam, lParam);
}

void Post(HWND h, UINT msg, WPARAM wParam, LPARAM lParam) {
  MSG m;
  memset(&m, 0, sizeof m);
  m.hwnd = h;
  m.message = msg;
  m.wParam = wParam;
  m.lParam = lParam;
  m.time = ++U().tick;
  U().queue.push_back(m);
}

bool TakeForDispatch(MSG *msg) {
  std::deque<MSG> &q = U().queue;
  for (auto it = q.begin(); it != q.end(); ++it) {
    if (it->message == WM_QUIT) continue;
    *msg = *it;
    q.erase(it);
    return true;
  }
  return false;
}

void SetDialogFocus(Window *dlg, HWND ctl) {
  if (dlg->focus == ctl) return;
  HWND old = dlg->focus;
  dlg->focus = ctl;
  if (Window *o = FindWin(old); o && o->cls == "Edit") Notify(o, EN_KILLFOCUS);
  if (Window *n = FindWin(ctl); n && n->cls == "Edit" && FindWin(dlg->handle) && dlg->focus == ctl)
    Notify(n, EN_SETFOCUS);
}

void DestroyTree(Window *w) {
  HWND h = w->handle;
  if (w->dialog) SetDialogFocus(w, nullptr);
  if (!(w = FindWin(h))) return;
  if (w->dialog && w->proc) w->proc(h, WM_DESTROY, 0, 0);
  w = FindWin(h);
  if (!w) return;
  std::vector<HWND> kids = w->children;
  for (HWND c : kids)
    if (Window *k = FindWin(c)) DestroyTree(k);
  w->destroyed = true;
  if (Window *p = FindWin(w->parent)) {
    auto &v = p->children;
    for (size_t i = 0; i < v.size(); i++)
      if (v[i] == h) {
        v.erase(v.begin() + (long)i);
        break;
      }
  }
  // The queue keeps nothing for a window that is gone.
  std::deque<MSG> &q = U().queue;
  for (auto it = q.begin(); it != q.end();) it = it->hwnd == h ? q.erase(it) : it + 1;
}

void TemplateField(Event *e, const Window *dlg) {
  if (!dlg->tmpl) {
    e->Raw("template", "null");
  } else if (dlg->tmpl->name.id >= 0) {
    e->Int("template", dlg->tmpl->name.id);
  } else {
    e->Str("template", dlg->tmpl->name.name);
  }
}

std::string ControlsJson(const Window *dlg) {
  std::string out = "[";
  for (HWND c : dlg->children) {
    Window *k = FindWin(c);
    if (!k) continue;
    if (out.size() > 1) out += ",";
    out += "{\"id\":" + std::to_string(k->id) + ",\"class\":" + JsonString(k->cls.c_str()) +
           ",\"text\":" + JsonString(k->text.c_str()) + ",\"style\":" + std::to_string(k->style) +
           ",\"enabled\":" + ((k->style & WS_DISABLED) ? "false" : "true") +
           ",\"checked\":" + (k->check == BST_CHECKED ? "true" : "false") + "}";
  }
  return out + "]";
}

void EmitShown(const char *kind, Window *dlg) {
  Event e(kind);
  TemplateField(&e, dlg);
  e.Str("caption", dlg->text).Int("style", dlg->style);
  if (!dlg->modal) e.Bool("visible", (dlg->style & WS_VISIBLE) != 0);
  e.Raw("controls", ControlsJson(dlg)).Emit();
}

}  // namespace wh

using wh::FindWin;
using wh::Window;

// ---- Win32: windows ----

HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
  if (wh::Fail("GetDlgItem", ERROR_INVALID_WINDOW_HANDLE)) return nullptr;
  if (wh::BadWindow(hDlg)) return nullptr;
  Window *k = wh::ChildById(FindWin(hDlg), nIDDlgItem);
  if (!k) {
    wh::SetError(ERROR_CONTROL_ID_NOT_FOUND);
    return nullptr;
  }
  return k->handle;
}

int WINAPI GetDlgCtrlID(HWND hWnd) {
  if (wh::Fail("GetDlgCtrlID", ERROR_INVALID_WINDOW_HANDLE)) return 0;
  if (wh::BadWindow(hWnd)) return 0;
  return FindWin(hWnd)->id;
}

BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString) {
  if (wh::Fail("SetWindowTextA", ERROR_INVALID_WINDOW_HANDLE)) return FALSE;
  if (wh::BadWindow(hWnd)) return FALSE;
  wh::Deliver(FindWin(hWnd), WM_SETTEXT, 0, (LPARAM)lpString);
  return TRUE;
}

int WINAPI GetWindowTextA(HWND hWnd, LPSTR lpString, int nMaxCount) {
  if (wh::Fail("GetWindowTextA", ERROR_INVALID_WINDOW_HANDLE)) {
    if (lpString && nMaxCount > 0) *lpString = 0;
    return 0;
  }
  if (wh::BadWindow(hWnd)) return 0;
  if (!lpString || nMaxCount <= 0) return 0;
  return (int)wh::Deliver(FindWin(hWnd), WM_GETTEXT, (WPARAM)nMaxCount, (LPARAM)lpString);
}

BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable) {
  wh::Count("EnableWindow");
  if (wh::BadWindow(hWnd)) return FALSE;
  Window *w = FindWin(hWnd);
  BOOL was_disabled = (w->style & WS_DISABLED) != 0;
  if (bEnable)
    w->style &= ~WS_DISABLED;
  else
    w->style |= WS_DISABLED;
  return was_disabled;
}

BOOL WINAPI IsWindowEnabled(HWND hWnd) {
  wh::Count("IsWindowEnabled");
  if (wh::BadWindow(hWnd)) return FALSE;
  return (FindWin(hWnd)->style & WS_DISABLED) == 0;
}

BOOL WINAPI IsWindow(HWND hWnd) {
  wh::Count("IsWindow");
  return FindWin(hWnd) != nullptr;
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  wh::Count("SendMessageA");
  if (wh::BadWindow(hWnd)) return 0;
  return wh::Deliver(FindWin(hWnd), Msg, wParam, lParam);
}

BOOL WINAPI PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  if (wh::Fail("PostMessageA", ERROR_NOT_ENOUGH_QUOTA)) return FALSE;
  if (hWnd && wh::BadWindow(hWnd)) return FALSE;
  wh::Post(hWnd, Msg, wParam, lParam);
  return TRUE;
}

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
  if (wh::Fail("GetClientRect", ERROR_INVALID_WINDOW_HANDLE)) return FALSE;
  if (wh::BadWindow(hWnd)) return FALSE;
  if (!lpRect) {
    wh::SetError(ERROR_NOACCESS);
    return FALSE;
  }
  Window *w = FindWin(hWnd);
  int b = wh::BorderWidth(w);
  int cx = w->rect.right - w->rect.left - 2 * b, cy = w->rect.bottom - w->rect.top - 2 * b;
  lpRect->left = 0;
  lpRect->top = 0;
  lpRect->right = cx > 0 ? cx : 0;
  lpRect->bottom = cy > 0 ? cy : 0;
  return TRUE;
}

HWND WINAPI CreateWindowExA(DWORD dwExStyle, LPCSTR lpClassName, LPCSTR lpWindowName,
                            DWORD dwStyle, int X, int Y, int nWidth, int nHeight, HWND hWndParent,
                            HMENU hMenu, HINSTANCE, LPVOID) {
  if (wh::Fail("CreateWindowExA", ERROR_NOT_ENOUGH_MEMORY)) return nullptr;
  static const char *const always[] = {"Button", "Static", "Edit", "ListBox", "ScrollBar",
                                       "ComboBox", "#32770"};
  std::string cls;
  if (lpClassName && !IS_INTRESOURCE(lpClassName)) {
    for (const char *c : always)
      if (strcasecmp(lpClassName, c) == 0) cls = c;
    if (wh::U().common_controls && strcasecmp(lpClassName, PROGRESS_CLASSA) == 0)
      cls = PROGRESS_CLASSA;
  }
  if (cls.empty()) {
    wh::SetError(ERROR_CANNOT_FIND_WND_CLASS);
    return nullptr;
  }
  if (hWndParent && wh::BadWindow(hWndParent)) return nullptr;
  if ((dwStyle & WS_CHILD) && !hWndParent) {
    wh::SetError(ERROR_TLW_WITH_WSCHILD);
    return nullptr;
  }
  Window *w = wh::NewWin(hWndParent);
  w->cls = cls;
  w->text = lpWindowName ? lpWindowName : "";
  w->style = dwStyle;
  w->exstyle = dwExStyle;
  w->id = (dwStyle & WS_CHILD) ? (int)(LONG_PTR)hMenu : 0;
  w->rect = {X, Y, X + nWidth, Y + nHeight};
  return w->handle;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
  if (wh::Fail("DestroyWindow", ERROR_INVALID_WINDOW_HANDLE)) return FALSE;
  if (wh::BadWindow(hWnd)) return FALSE;
  Window *w = FindWin(hWnd);
  bool announce = w->dialog && !w->modal && !w->parent;
  bool shown = w->shown;
  const wh::RcDialog *tmpl = w->tmpl;
  if (announce && shown) wh::AgentWindowClosed(w);
  wh::DestroyTree(w);
  if (announce) {
    wh::Event e("closed");
    Window tomb;
    tomb.tmpl = tmpl;
    wh::TemplateField(&e, &tomb);
    e.Raw("result", "null").Emit();
  }
  return TRUE;
}

BOOL WINAPI PeekMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax,
                         UINT wRemoveMsg) {
  wh::Count("PeekMessageA");
  if (hWnd && hWnd != (HWND)(LONG_PTR)-1 && wh::BadWindow(hWnd)) return FALSE;
  return wh::TakeMessage(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, (wRemoveMsg & PM_REMOVE) != 0);
}

// The host cannot wait for input that no one will send: on an empty queue
// GetMessageA fails instead of blocking.
BOOL WINAPI GetMessageA(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
  if (wh::Fail("GetMessageA", ERROR_INVALID_PARAMETER)) return -1;
  if (!lpMsg) {
    wh::SetError(ERROR_NOACCESS);
    return -1;
  }
  if (hWnd && hWnd != (HWND)(LONG_PTR)-1 && wh::BadWindow(hWnd)) return -1;
  if (!wh::TakeMessage(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true)) {
    wh::SetError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  return lpMsg->message == WM_QUIT ? 0 : 1;
}

BOOL WINAPI TranslateMessage(const MSG *lpMsg) {
  wh::Count("TranslateMessage");
  return lpMsg && lpMsg->message == WM_KEYDOWN;
}

LRESULT WINAPI DispatchMessageA(const MSG *lpMsg) {
  wh::Count("DispatchMessageA");
  if (!lpMsg || !lpMsg->hwnd) return 0;
  if (wh::BadWindow(lpMsg->hwnd)) return 0;
  return wh::Deliver(FindWin(lpMsg->hwnd), lpMsg->message, lpMsg->wParam, lpMsg->lParam);
}

void WINAPI InitCommonControls(void) {
  wh::Count("InitCommonControls");
  wh::U().common_controls = true;
}

namespace winhost {
int LiveWindows() {
  int n = 0;
  for (auto &w : wh::U().windows)
    if (!w.second->destroyed) n++;
  return n;
}
}  // namespace winhost
