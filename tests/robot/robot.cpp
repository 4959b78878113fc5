// The test robot: a small Win32 console program that drives the setup as a
// person would, from a scenario script, and reports what it saw as one JSON
// object a line.
//
//   robot.exe SCRIPT REPORT
//
// Script steps, one a line ('#' starts a comment line). Arguments are
// separated by blanks; an argument that holds blanks is written in double
// quotes. In every argument %n stands for a line feed, %q for a double quote
// and %% for a percent sign.
//
//   timeout SECONDS        deadline for every following wait (default 30)
//   start DIR CMDLINE      start a program (CreateProcessA) in folder DIR
//   window CAPTION ID CLASS
//                          wait for a visible dialog window ("#32770") whose
//                          caption is CAPTION and which has a child ID of
//                          class CLASS; it becomes the current window and all
//                          its controls are reported
//   count N                the current window has N direct child controls
//   ctl SEL CLASS TEXT     control SEL has class CLASS and text TEXT
//   waittext SEL TEXT      wait until control SEL shows TEXT
//   painted SEL            wait until control SEL's text is on the screen (its
//                          rectangle holds more than one colour)
//   enabled SEL 0|1        control SEL is disabled / enabled
//   checked SEL 0|1        check box SEL is clear / ticked
//   settext SEL TEXT       set control SEL's text (WM_SETTEXT)
//   tick SEL               click check box SEL and wait until its state flips
//   press SEL              click button SEL (BM_CLICK) and wait until the
//                          current window has gone
//   message CAPTION TEXT yesno|ok
//                          wait for a message box with CAPTION whose text is
//                          TEXT and whose buttons are Yes and No (yesno) or
//                          OK alone (ok); it becomes the current window
//   icon 0|1               the current message box shows no icon / an icon
//   answer yes|no|ok       click the message box's own button and wait
//                          until the box has gone
//   hold / release         suspend / resume the started program's thread
//   holdmidway             wait until the current window's progress bar
//                          stands part-way (above its low end, below its
//                          high end), and hold the program there
//   shot NAME              ask for a screenshot: create SHOTDIR\NAME.req and
//                          wait for SHOTDIR\NAME.done
//   shotdir DIR            the folder of the screenshot requests
//   exit CODE              wait for the started program to end with CODE
//   appears CAPTION        wait for a visible top-level window of any program
//                          and class with CAPTION (the Explorer window)
//
// SEL is a control id (decimal) or #N, the N-th direct child of the window
// in template order (from 0), for controls without an id of their own.
//
// Each wait polls every few milliseconds until its deadline and fails with a
// message that names what did not come. The first failed step ends the robot
// with exit status 1 after a {"event":"fail",...} line; a script that runs
// through ends it with 0.
#include <windows.h>
#include <commctrl.h>

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

enum { kMaxLine = 2048, kMaxArgs = 8, kMaxText = 2048, kMaxControls = 64 };

static FILE *g_report;
static int g_line_no;
static DWORD g_timeout_ms = 30000;
static PROCESS_INFORMATION g_child;
static int g_have_child;
static int g_held;
static HWND g_window;
static char g_shot_dir[MAX_PATH];

// ---- Report ----

// Appends S to the report as a JSON string (quotes included).
static void JsonString(const char *s) {
  fputc('"', g_report);
  for (const unsigned char *p = (const unsigned char *)s; *p; ++p) {
    if (*p == '"' || *p == '\\') {
      fputc('\\', g_report);
      fputc(*p, g_report);
    } else if (*p == '\n') {
      fputs("\\n", g_report);
    } else if (*p == '\r') {
      fputs("\\r", g_report);
    } else if (*p == '\t') {
      fputs("\\t", g_report);
    } else if (*p < 0x20 || *p >= 0x80) {
      // The ANSI code page is 1252; its upper half is reported as Latin-1,
      // which it matches for every character the setup shows.
      fprintf(g_report, "\\u%04x", *p);
    } else {
      fputc(*p, g_report);
    }
  }
  fputc('"', g_report);
}

// Writes {"event":EVENT,"line":N,"key":"value",...} from pairs of strings.
static void Event(const char *event, int pairs, ...) {
  va_list ap;
  va_start(ap, pairs);
  fprintf(g_report, "{\"event\":\"%s\",\"line\":%d", event, g_line_no);
  for (int i = 0; i < pairs; ++i) {
    const char *key = va_arg(ap, const char *);
    const char *value = va_arg(ap, const char *);
    fprintf(g_report, ",\"%s\":", key);
    JsonString(value);
  }
  va_end(ap);
  fputs("}\n", g_report);
  fflush(g_report);
}

static int Fail(const char *what, const char *control, const char *expected, const char *actual) {
  Event("fail", 4, "what", what, "control", control, "expected", expected, "actual", actual);
  fprintf(stderr, "robot: line %d: %s (control %s): expected \"%s\", saw \"%s\"\n", g_line_no, what,
          control, expected, actual);
  return 1;
}

// ---- Windows and controls ----

// Text of a window of another process. An edit box keeps its text itself, so
// it is asked (WM_GETTEXT, which needs its thread to answer); every other
// window's text is the one the window manager keeps, read without a message,
// so that a window whose thread is busy or held still shows its texts.
static void WindowText(HWND hwnd, char *out, int cap) {
  out[0] = '\0';
  char cls[64];
  GetClassNameA(hwnd, cls, sizeof cls);
  if (lstrcmpiA(cls, "Edit") == 0) {
    DWORD_PTR got = 0;
    if (!SendMessageTimeoutA(hwnd, WM_GETTEXT, (WPARAM)cap, (LPARAM)out, SMTO_ABORTIFHUNG, 1000, &got))
      out[0] = '\0';
    out[cap - 1] = '\0';
    return;
  }
  WCHAR wide[kMaxText];
  int n = InternalGetWindowText(hwnd, wide, kMaxText);
  if (n <= 0) return;
  wide[n < kMaxText ? n : kMaxText - 1] = 0;
  if (!WideCharToMultiByte(CP_ACP, 0, wide, -1, out, cap, NULL, NULL)) out[0] = '\0';
  out[cap - 1] = '\0';
}

// The direct children of WINDOW in z-order, which for a dialog is the order
// of its template.
static int Children(HWND window, HWND *out, int cap) {
  int n = 0;
  for (HWND c = GetWindow(window, GW_CHILD); c && n < cap; c = GetWindow(c, GW_HWNDNEXT)) out[n++] = c;
  return n;
}

static HWND Select(HWND window, const char *sel) {
  if (sel[0] == '#') {
    HWND kids[kMaxControls];
    int n = Children(window, kids, kMaxControls);
    int i = atoi(sel + 1);
    return (i >= 0 && i < n) ? kids[i] : NULL;
  }
  return GetDlgItem(window, atoi(sel));
}

static int CheckState(HWND control) {
  DWORD_PTR state = 0;
  if (!SendMessageTimeoutA(control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 1000, &state)) return -1;
  return (int)state;
}

static int IsButtonClass(const char *cls) { return lstrcmpiA(cls, "Button") == 0; }

// Reports WINDOW with every direct child: id, class, text, enabled, checked
// (check boxes only), visible.
static void ReportWindow(const char *event, HWND window) {
  char caption[kMaxText];
  WindowText(window, caption, sizeof caption);
  RECT wr;
  GetWindowRect(window, &wr);
  fprintf(g_report, "{\"event\":\"%s\",\"line\":%d,\"caption\":", event, g_line_no);
  JsonString(caption);
  fprintf(g_report, ",\"rect\":[%ld,%ld,%ld,%ld],\"controls\":[", wr.left, wr.top, wr.right - wr.left,
          wr.bottom - wr.top);
  HWND kids[kMaxControls];
  int n = Children(window, kids, kMaxControls);
  for (int i = 0; i < n; ++i) {
    char cls[64], text[kMaxText];
    GetClassNameA(kids[i], cls, sizeof cls);
    WindowText(kids[i], text, sizeof text);
    LONG style = GetWindowLongA(kids[i], GWL_STYLE);
    fprintf(g_report, "%s{\"index\":%d,\"id\":%d,\"class\":", i ? "," : "", i, GetDlgCtrlID(kids[i]));
    JsonString(cls);
    fputs(",\"text\":", g_report);
    JsonString(text);
    fprintf(g_report, ",\"enabled\":%d,\"visible\":%d,\"style\":\"0x%08lx\"",
            IsWindowEnabled(kids[i]) ? 1 : 0, IsWindowVisible(kids[i]) ? 1 : 0, (unsigned long)style);
    if (IsButtonClass(cls) && ((style & 0x0f) == BS_AUTOCHECKBOX || (style & 0x0f) == BS_CHECKBOX))
      fprintf(g_report, ",\"checked\":%d", CheckState(kids[i]));
    fputc('}', g_report);
  }
  fputs("]}\n", g_report);
  fflush(g_report);
}

struct Search {
  const char *caption;
  int id;
  const char *cls;
  HWND found;
};

static BOOL CALLBACK MatchWindow(HWND hwnd, LPARAM param) {
  Search *s = (Search *)param;
  if (!IsWindowVisible(hwnd)) return TRUE;
  char cls[64];
  GetClassNameA(hwnd, cls, sizeof cls);
  if (strcmp(cls, "#32770") != 0) return TRUE;
  char caption[kMaxText];
  WindowText(hwnd, caption, sizeof caption);
  if (strcmp(caption, s->caption) != 0) return TRUE;
  HWND child = GetDlgItem(hwnd, s->id);
  if (!child) return TRUE;
  GetClassNameA(child, cls, sizeof cls);
  if (lstrcmpiA(cls, s->cls) != 0) return TRUE;
  s->found = hwnd;
  return FALSE;
}

// Polls for the window; NULL when the deadline passes first.
static HWND WaitWindow(const char *caption, int id, const char *cls) {
  DWORD start = GetTickCount();
  for (;;) {
    Search s = {caption, id, cls, NULL};
    EnumWindows(MatchWindow, (LPARAM)&s);
    if (s.found) return s.found;
    if (GetTickCount() - start > g_timeout_ms) return NULL;
    if (g_have_child && WaitForSingleObject(g_child.hProcess, 0) == WAIT_OBJECT_0) {
      // The program has ended: one last look, then give up.
      EnumWindows(MatchWindow, (LPARAM)&s);
      return s.found;
    }
    Sleep(5);
  }
}

static int WaitGone(HWND window) {
  DWORD start = GetTickCount();
  while (IsWindow(window) && IsWindowVisible(window)) {
    if (GetTickCount() - start > g_timeout_ms) return 1;
    Sleep(5);
  }
  return 0;
}

// ---- Script ----

static void Unescape(char *s) {
  char *out = s;
  for (char *p = s; *p; ++p) {
    if (*p == '%' && p[1] == 'n') {
      *out++ = '\n';
      ++p;
    } else if (*p == '%' && p[1] == 'q') {
      *out++ = '"';
      ++p;
    } else if (*p == '%' && p[1] == '%') {
      *out++ = '%';
      ++p;
    } else {
      *out++ = *p;
    }
  }
  *out = '\0';
}

// Splits LINE in place into blank-separated arguments; "..." keeps blanks.
static int SplitArgs(char *line, char **args) {
  int n = 0;
  char *p = line;
  while (*p && n < kMaxArgs) {
    while (*p == ' ' || *p == '\t') ++p;
    if (!*p) break;
    if (*p == '"') {
      args[n++] = ++p;
      while (*p && *p != '"') ++p;
    } else {
      args[n++] = p;
      while (*p && *p != ' ' && *p != '\t') ++p;
    }
    if (*p) *p++ = '\0';
  }
  for (int i = 0; i < n; ++i) Unescape(args[i]);
  return n;
}

static int NeedWindow(void) {
  if (g_window && IsWindow(g_window)) return 0;
  return Fail("no current window", "", "a window found by an earlier step", "none");
}

static int StepCtl(char **a) {
  if (NeedWindow()) return 1;
  HWND c = Select(g_window, a[1]);
  if (!c) return Fail("control missing", a[1], a[2], "");
  char cls[64], text[kMaxText];
  GetClassNameA(c, cls, sizeof cls);
  if (lstrcmpiA(cls, a[2]) != 0) return Fail("class differs", a[1], a[2], cls);
  WindowText(c, text, sizeof text);
  if (strcmp(text, a[3]) != 0) return Fail("text differs", a[1], a[3], text);
  return 0;
}

static int StepWaitText(char **a) {
  if (NeedWindow()) return 1;
  HWND c = Select(g_window, a[1]);
  if (!c) return Fail("control missing", a[1], a[2], "");
  char text[kMaxText];
  DWORD start = GetTickCount();
  for (;;) {
    WindowText(c, text, sizeof text);
    if (strcmp(text, a[2]) == 0) return 0;
    if (GetTickCount() - start > g_timeout_ms) return Fail("text did not come", a[1], a[2], text);
    Sleep(1);
  }
}

// Whether the screen shows more than one colour in control C's rectangle.
static int HasInk(HWND c) {
  RECT r;
  if (!GetWindowRect(c, &r)) return 0;
  HDC dc = GetDC(NULL);
  if (!dc) return 0;
  COLORREF first = GetPixel(dc, r.left, r.top);
  int ink = 0;
  for (int y = r.top; y < r.bottom && !ink; ++y)
    for (int x = r.left; x < r.right && !ink; ++x)
      if (GetPixel(dc, x, y) != first) ink = 1;
  ReleaseDC(NULL, dc);
  return ink;
}

static int StepPainted(char **a) {
  if (NeedWindow()) return 1;
  HWND c = Select(g_window, a[1]);
  if (!c) return Fail("control missing", a[1], "painted", "");
  DWORD start = GetTickCount();
  while (!HasInk(c)) {
    if (GetTickCount() - start > g_timeout_ms) return Fail("control not painted", a[1], "text on screen", "blank");
    Sleep(1);
  }
  return 0;
}

// The current window's progress bar (the first child of its class).
static BOOL CALLBACK FindBar(HWND hwnd, LPARAM param) {
  char cls[64];
  GetClassNameA(hwnd, cls, sizeof cls);
  if (lstrcmpiA(cls, "msctls_progress32") != 0) return TRUE;
  *(HWND *)param = hwnd;
  return FALSE;
}

// Polls the bar until it stands part-way, then holds the program. A held
// program answers no message, so the bar is read before the hold only; it
// may move on a little until the hold takes effect, so a position in the
// first three quarters of the range is waited for.
static int StepHoldMidway() {
  if (NeedWindow()) return 1;
  if (!g_have_child) return Fail("no program started", "", "holdmidway", "");
  HWND bar = NULL;
  EnumChildWindows(g_window, FindBar, (LPARAM)&bar);
  if (!bar) return Fail("control missing", "msctls_progress32", "a progress bar", "");
  DWORD start = GetTickCount();
  for (;;) {
    int low = (int)SendMessageA(bar, PBM_GETRANGE, TRUE, 0);
    int high = (int)SendMessageA(bar, PBM_GETRANGE, FALSE, 0);
    int pos = (int)SendMessageA(bar, PBM_GETPOS, 0, 0);
    if (pos > low && pos - low <= (high - low) * 3 / 4) {
      SuspendThread(g_child.hThread);
      g_held = 1;
      char p[16], h[16];
      snprintf(p, sizeof p, "%d", pos);
      snprintf(h, sizeof h, "%d", high);
      Event("hold", 2, "position", p, "high", h);
      return 0;
    }
    if (GetTickCount() - start > g_timeout_ms) return Fail("bar not part-way", "msctls_progress32", "part-way", "");
    Sleep(0);
  }
}

static int StepFlag(char **a, int checked) {
  if (NeedWindow()) return 1;
  HWND c = Select(g_window, a[1]);
  if (!c) return Fail("control missing", a[1], a[2], "");
  int want = atoi(a[2]);
  int got = checked ? CheckState(c) : (IsWindowEnabled(c) ? 1 : 0);
  if (got != want) {
    char g[16];
    snprintf(g, sizeof g, "%d", got);
    return Fail(checked ? "check state differs" : "enabled state differs", a[1], a[2], g);
  }
  return 0;
}

static int StepCount(char **a) {
  if (NeedWindow()) return 1;
  HWND kids[kMaxControls];
  int n = Children(g_window, kids, kMaxControls);
  if (n != atoi(a[1])) {
    char g[16];
    snprintf(g, sizeof g, "%d", n);
    return Fail("number of controls differs", "", a[1], g);
  }
  return 0;
}

static int StepSetText(char **a) {
  if (NeedWindow()) return 1;
  HWND c = Select(g_window, a[1]);
  if (!c) return Fail("control missing", a[1], a[2], "");
  DWORD_PTR r = 0;
  if (!SendMessageTimeoutA(c, WM_SETTEXT, 0, (LPARAM)a[2], SMTO_ABORTIFHUNG, 5000, &r))
    return Fail("WM_SETTEXT not answered", a[1], a[2], "");
  char text[kMaxText];
  WindowText(c, text, sizeof text);
  if (strcmp(text, a[2]) != 0) return Fail("text not taken", a[1], a[2], text);
  Event("settext", 2, "control", a[1], "text", a[2]);
  return 0;
}

static int StepTick(char **a) {
  if (NeedWindow()) return 1;
  HWND c = Select(g_window, a[1]);
  if (!c) return Fail("control missing", a[1], "check box", "");
  int before = CheckState(c);
  PostMessageA(c, BM_CLICK, 0, 0);
  DWORD start = GetTickCount();
  while (CheckState(c) == before) {
    if (GetTickCount() - start > g_timeout_ms) return Fail("check state did not change", a[1], "", "");
    Sleep(5);
  }
  char s[16];
  snprintf(s, sizeof s, "%d", CheckState(c));
  Event("tick", 2, "control", a[1], "checked", s);
  return 0;
}

static int Press(HWND window, const char *sel) {
  HWND c = Select(window, sel);
  if (!c) return Fail("control missing", sel, "button", "");
  if (!IsWindowEnabled(c)) return Fail("button disabled", sel, "enabled", "disabled");
  char text[kMaxText];
  WindowText(c, text, sizeof text);
  Event("press", 2, "control", sel, "text", text);
  PostMessageA(c, BM_CLICK, 0, 0);
  if (WaitGone(window)) return Fail("window did not close after the click", sel, "closed", "still shown");
  return 0;
}

static int StepWindow(char **a) {
  HWND w = WaitWindow(a[1], atoi(a[2]), a[3]);
  if (!w) {
    char what[kMaxText];
    snprintf(what, sizeof what, "window with control %s of class %s", a[2], a[3]);
    return Fail("window did not come", "", a[1], what);
  }
  g_window = w;
  ReportWindow("window", w);
  return 0;
}

static int StepMessage(char **a) {
  HWND w = WaitWindow(a[1], 0xFFFF, "Static");
  if (!w) return Fail("message box did not come", "", a[1], "");
  g_window = w;
  ReportWindow("message", w);
  char text[kMaxText];
  WindowText(GetDlgItem(w, 0xFFFF), text, sizeof text);
  if (strcmp(text, a[2]) != 0) return Fail("message text differs", "65535", a[2], text);
  int yes = GetDlgItem(w, IDYES) != NULL, no = GetDlgItem(w, IDNO) != NULL;
  int ok = GetDlgItem(w, IDOK) != NULL && IsWindowVisible(GetDlgItem(w, IDOK));
  const char *buttons = (yes && no && !ok) ? "yesno" : (ok && !yes && !no) ? "ok" : "other";
  if (strcmp(buttons, a[3]) != 0) return Fail("message buttons differ", "", a[3], buttons);
  return 0;
}

static int StepAnswer(const char *answer) {
  if (NeedWindow()) return 1;
  const char *id = strcmp(answer, "yes") == 0 ? "6" : strcmp(answer, "no") == 0 ? "7" : "1";
  return Press(g_window, id);
}

// Whether the current message box shows an icon: a static of the icon style
// that holds one (STM_GETICON).
static int StepIcon(char **a) {
  if (NeedWindow()) return 1;
  HWND kids[kMaxControls];
  int n = Children(g_window, kids, kMaxControls), icon = 0;
  for (int i = 0; i < n; ++i) {
    LONG style = GetWindowLongA(kids[i], GWL_STYLE);
    char cls[64];
    GetClassNameA(kids[i], cls, sizeof cls);
    if (lstrcmpiA(cls, "Static") != 0 || (style & SS_TYPEMASK) != SS_ICON || !IsWindowVisible(kids[i])) continue;
    DWORD_PTR h = 0;
    if (SendMessageTimeoutA(kids[i], STM_GETICON, 0, 0, SMTO_ABORTIFHUNG, 1000, &h) && h) icon = 1;
  }
  if (icon != atoi(a[1])) return Fail("icon differs", "", a[1], icon ? "1" : "0");
  return 0;
}

struct TopSearch {
  const char *caption;
  HWND found;
};

static BOOL CALLBACK MatchTop(HWND hwnd, LPARAM param) {
  TopSearch *s = (TopSearch *)param;
  char caption[kMaxText];
  if (!IsWindowVisible(hwnd)) return TRUE;
  WindowText(hwnd, caption, sizeof caption);
  if (strcmp(caption, s->caption) != 0) return TRUE;
  s->found = hwnd;
  return FALSE;
}

// Waits for any visible top-level window with the caption, of any program.
static int StepAppears(char **a) {
  DWORD start = GetTickCount();
  for (;;) {
    TopSearch s = {a[1], NULL};
    EnumWindows(MatchTop, (LPARAM)&s);
    if (s.found) {
      char cls[64];
      GetClassNameA(s.found, cls, sizeof cls);
      Event("appears", 2, "caption", a[1], "class", cls);
      return 0;
    }
    if (GetTickCount() - start > g_timeout_ms) return Fail("window did not come", "", a[1], "");
    Sleep(5);
  }
}

static int StepStart(char **a) {
  STARTUPINFOA si;
  memset(&si, 0, sizeof si);
  si.cb = sizeof si;
  static char cmd[kMaxLine];
  lstrcpynA(cmd, a[2], sizeof cmd);
  if (!CreateProcessA(NULL, cmd, NULL, NULL, FALSE, 0, NULL, a[1], &si, &g_child)) {
    char err[32];
    snprintf(err, sizeof err, "error %lu", GetLastError());
    return Fail("program did not start", "", a[2], err);
  }
  g_have_child = 1;
  Event("start", 1, "cmdline", a[2]);
  return 0;
}

static int StepExit(char **a) {
  if (!g_have_child) return Fail("no program started", "", a[1], "");
  if (WaitForSingleObject(g_child.hProcess, g_timeout_ms) != WAIT_OBJECT_0)
    return Fail("program did not end", "", a[1], "still running");
  DWORD code = 0;
  GetExitCodeProcess(g_child.hProcess, &code);
  char c[32];
  snprintf(c, sizeof c, "%lu", code);
  Event("exit", 1, "code", c);
  if ((DWORD)atoi(a[1]) != code) return Fail("exit status differs", "", a[1], c);
  return 0;
}

static int StepShot(char **a) {
  char req[MAX_PATH * 2], done[MAX_PATH * 2];
  snprintf(req, sizeof req, "%s\\%s.req", g_shot_dir, a[1]);
  snprintf(done, sizeof done, "%s\\%s.done", g_shot_dir, a[1]);
  // A program that is not held gets to paint first: it is idle once it waits
  // for input with nothing left to do.
  if (g_have_child && !g_held) WaitForInputIdle(g_child.hProcess, 2000);
  Event("shot", 1, "name", a[1]);
  FILE *f = fopen(req, "w");
  if (!f) return Fail("screenshot request not written", "", req, "");
  fclose(f);
  DWORD start = GetTickCount();
  while (GetFileAttributesA(done) == INVALID_FILE_ATTRIBUTES) {
    if (GetTickCount() - start > g_timeout_ms) return Fail("screenshot not taken", "", done, "");
    Sleep(5);
  }
  return 0;
}

static int Step(char **a, int n) {
  struct {
    const char *name;
    int args;
  } const kSteps[] = {{"timeout", 2}, {"start", 3}, {"window", 4}, {"count", 2},  {"ctl", 4},
                      {"enabled", 3}, {"checked", 3}, {"settext", 3}, {"tick", 2},  {"press", 2},
                      {"message", 4}, {"icon", 2},  {"hold", 1},   {"release", 1}, {"shot", 2},
                      {"shotdir", 2}, {"exit", 2},    {"appears", 2}, {"answer", 2}, {"waittext", 3}, {"painted", 2},
                      {"holdmidway", 1}};
  for (const auto &s : kSteps) {
    if (strcmp(a[0], s.name) != 0) continue;
    if (n != s.args) return Fail("wrong number of arguments", "", s.name, a[0]);
    if (!strcmp(a[0], "timeout")) {
      g_timeout_ms = (DWORD)atoi(a[1]) * 1000;
      return 0;
    }
    if (!strcmp(a[0], "start")) return StepStart(a);
    if (!strcmp(a[0], "window")) return StepWindow(a);
    if (!strcmp(a[0], "count")) return StepCount(a);
    if (!strcmp(a[0], "ctl")) return StepCtl(a);
    if (!strcmp(a[0], "enabled")) return StepFlag(a, 0);
    if (!strcmp(a[0], "checked")) return StepFlag(a, 1);
    if (!strcmp(a[0], "settext")) return StepSetText(a);
    if (!strcmp(a[0], "tick")) return StepTick(a);
    if (!strcmp(a[0], "press")) {
      if (NeedWindow()) return 1;
      return Press(g_window, a[1]);
    }
    if (!strcmp(a[0], "message")) return StepMessage(a);
    if (!strcmp(a[0], "answer")) return StepAnswer(a[1]);
    if (!strcmp(a[0], "icon")) return StepIcon(a);
    if (!strcmp(a[0], "hold") || !strcmp(a[0], "release")) {
      if (!g_have_child) return Fail("no program started", "", a[0], "");
      if (a[0][0] == 'h') SuspendThread(g_child.hThread); else ResumeThread(g_child.hThread);
      g_held = a[0][0] == 'h';
      Event(a[0], 0);
      return 0;
    }
    if (!strcmp(a[0], "shot")) return StepShot(a);
    if (!strcmp(a[0], "shotdir")) {
      lstrcpynA(g_shot_dir, a[1], sizeof g_shot_dir);
      return 0;
    }
    if (!strcmp(a[0], "appears")) return StepAppears(a);
    if (!strcmp(a[0], "waittext")) return StepWaitText(a);
    if (!strcmp(a[0], "painted")) return StepPainted(a);
    if (!strcmp(a[0], "holdmidway")) return StepHoldMidway();
    return StepExit(a);
  }
  return Fail("unknown step", "", "a step", a[0]);
}

int main(int argc, char **argv) {
  if (argc != 3) {
    fprintf(stderr, "usage: robot SCRIPT REPORT\n");
    return 2;
  }
  FILE *script = fopen(argv[1], "r");
  g_report = fopen(argv[2], "w");
  if (!script || !g_report) {
    fprintf(stderr, "robot: cannot open %s or %s\n", argv[1], argv[2]);
    return 2;
  }
  char line[kMaxLine];
  int status = 0;
  while (!status && fgets(line, sizeof line, script)) {
    ++g_line_no;
    line[strcspn(line, "\r\n")] = '\0';
    char *args[kMaxArgs];
    int n = SplitArgs(line, args);
    if (n == 0 || args[0][0] == '#') continue;
    status = Step(args, n);
  }
  if (!status) Event("done", 0);
  fclose(g_report);
  fclose(script);
  return status;
}
