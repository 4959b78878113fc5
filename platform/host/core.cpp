// Start-up, call accounting, fault injection, last error and the transcript.
#include <ctype.h>
#include <errno.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <unordered_map>
#include <vector>

#include "internal.h"
#include "winhost_test.h"

namespace wh {
namespace {

struct FaultRule {
  std::string api;      // "*" matches every call
  unsigned long from;   // 1-based call number, 0 with every = every call
  bool onward;          // this call and all after it
  bool every;           // "#*"
};

struct State {
  bool started = false;
  std::string root;
  std::string cmdline = "C:\\SETUP\\setup.exe";
  std::string script;
  bool scripted = false;
  std::string transcript_path;
  std::vector<std::string> transcript;
  std::vector<FaultRule> faults;
  std::map<std::string, unsigned long> counts;
  // Each API's entry of counts by the address of the name its caller passes
  // (a string literal as a rule), so that counting a call builds no string.
  std::unordered_map<const char *, std::map<std::string, unsigned long>::iterator> counters;
  // In front of counters: the last entry found for each of 256 name
  // addresses, checked by address and name; most calls end here.
  struct Slot {
    const char *api;
    std::map<std::string, unsigned long>::iterator entry;
  } slots[256] = {};
  unsigned long total = 0;
  std::string first_fault;  // the API of the first injected failure
  DWORD last_error = 0;
};

State &S() {
  static State s;
  return s;
}

// Every name a platform call of this layer is counted and failed under, in
// the order of strcmp. A fault plan may name only these; a call counted under
// a name missing here ends the run, so that the list cannot fall behind.
const char *const kCallNames[] = {
    "AddRef", "CloseHandle", "CoCreateInstance", "CoFreeUnusedLibraries", "CoInitialize",
    "CoUninitialize", "CopyFileA", "CreateDialogParamA", "CreateDirectoryA", "CreateFileA",
    "CreateProcessA", "CreateWindowExA", "DeleteFileA", "DestroyWindow", "DialogBoxParamA",
    "DispatchMessageA", "DosDateTimeToFileTime", "EnableWindow", "EndDialog",
    "FileTimeToLocalFileTime", "FindClose", "FindFirstFileA", "FindNextFileA", "GetClientRect",
    "GetCommandLineA", "GetCurrentDirectoryA", "GetDlgCtrlID", "GetDlgItem", "GetFileAttributesA",
    "GetFileSize", "GetFileTime", "GetFullPathNameA", "GetMessageA", "GetModuleHandleA",
    "GetProcAddress", "GetProcessHeap", "GetWindowTextA", "GetWindowsDirectoryA", "HeapAlloc", "HeapFree",
    "IPersistFile::Save", "IShellLinkA::GetArguments", "IShellLinkA::GetDescription",
    "IShellLinkA::GetPath", "IShellLinkA::SetArguments", "IShellLinkA::SetDescription",
    "IShellLinkA::SetPath", "InitCommonControls", "IsProcessorFeaturePresent", "IsWindow",
    "IsWindowEnabled",
    "LocalFileTimeToFileTime", "MessageBoxA", "MultiByteToWideChar", "PeekMessageA",
    "PostMessageA", "QueryInterface", "ReadFile", "RegCloseKey", "RegCreateKeyA", "RegDeleteKeyA",
    "RegDeleteValueA", "RegOpenKeyA", "RegOpenKeyExA", "RegQueryValueExA", "RegSetValueExA",
    "Release", "RemoveDirectoryA", "SendMessageA", "SetCurrentDirectoryA", "SetFileAttributesA",
    "SetFilePointer", "SetFileTime", "SetWindowTextA", "Sleep", "StreamRead", "StreamSeek",
    "StreamWrite", "TranslateMessage", "WideCharToMultiByte", "WriteFile", "_fsopen",
};

bool KnownCall(const std::string &name) {
  return std::binary_search(std::begin(kCallNames), std::end(kCallNames), name.c_str(),
                            [](const char *a, const char *b) { return strcmp(a, b) < 0; });
}

// A known name that a misspelt one was probably meant as: the same letters in
// another case, the name with the "A" of the ANSI calls left off, or the end
// of a longer name ("persistfile::save").
std::string Suggestion(const std::string &name) {
  for (const char *known : kCallNames) {
    size_t n = strlen(known);
    if (strcasecmp(known, name.c_str()) == 0 || strcasecmp(known, (name + "A").c_str()) == 0 ||
        (name.size() >= 4 && n > name.size() && strcasecmp(known + n - name.size(), name.c_str()) == 0))
      return known;
  }
  return "";
}

[[noreturn]] void RefuseFault(const std::string &item, const std::string &why) {
  fprintf(stderr, "winhost: WINHOST_FAULTS: '%s' %s\n", item.c_str(), why.c_str());
  exit(2);
}

unsigned long &Counter(const char *api) {
  State &s = S();
  // The name at that address is checked, in case it was not a literal.
  State::Slot &slot = s.slots[((uintptr_t)api >> 3) & 255];
  if (slot.api == api && strcmp(slot.entry->first.c_str(), api) == 0) return slot.entry->second;
  auto it = s.counters.find(api);
  if (it == s.counters.end() || it->second->first != api) {
    if (!KnownCall(api)) Die(2, std::string("the call ") + api + " is missing from the list of call names");
    auto entry = s.counts.emplace(api, 0).first;  // map entries stay where they are
    it = s.counters.insert_or_assign(api, entry).first;
  }
  slot.api = api;
  slot.entry = it->second;
  return it->second->second;
}

std::vector<void (*)()> &ResetHooks() {
  static std::vector<void (*)()> v;
  return v;
}
std::vector<void (*)()> &StartHooks() {
  static std::vector<void (*)()> v;
  return v;
}

// Reads a plan: items separated by commas, semicolons or blanks, each NAME
// (every call of NAME), NAME#N, NAME#N+ or NAME#*, with * as the NAME of
// every call. An item that names no call of this layer, or is not of these
// forms, ends the run with a line that names it: a fault that can never
// happen would let a run pass for the wrong reason.
void ParseFaults(const char *plan) {
  S().faults.clear();
  if (!plan) return;
  std::string item;
  for (const char *p = plan;; p++) {
    char c = *p;
    if (c == ',' || c == ';' || c == ' ' || c == '\t' || c == '\n' || c == 0) {
      if (!item.empty()) {
        size_t hash = item.find('#');
        FaultRule r{item.substr(0, hash), 1, false, false};
        if (r.api.empty()) RefuseFault(item, "names no call (use NAME#N, NAME#N+, NAME#*, *#N or *#N+)");
        if (r.api != "*" && !KnownCall(r.api)) {
          std::string guess = Suggestion(r.api);
          RefuseFault(item, "names no call of the host layer" +
                                (guess.empty() ? std::string(" (names are spelt as in Win32, e.g. CreateFileA)")
                                               : " (did you mean " + guess + "?)"));
        }
        if (hash == std::string::npos) {
          r.every = true;
        } else {
          std::string n = item.substr(hash + 1);
          if (n == "*") {
            r.every = true;
          } else {
            if (!n.empty() && n.back() == '+') {
              r.onward = true;
              n.pop_back();
            }
            char *end = nullptr;
            r.from = strtoul(n.c_str(), &end, 10);
            if (n.empty() || *end || r.from == 0 || !isdigit((unsigned char)n[0]))
              RefuseFault(item, "is a bad fault: after # comes a call number from 1 on, N+ or * "
                                "(NAME#N, NAME#N+, NAME#*)");
          }
        }
        S().faults.push_back(r);
      }
      item.clear();
      if (!c) break;
    } else {
      item += c;
    }
  }
}

std::string ReadFile(const char *path, bool *ok) {
  std::string text;
  FILE *f = fopen(path, "rb");
  *ok = f != nullptr;
  if (!f) return text;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  fclose(f);
  return text;
}

void RunStartHooks() {
  S().started = true;
  std::error_code ec;
  std::filesystem::create_directories(S().root, ec);
  for (auto fn : StartHooks()) fn();
}

}  // namespace

void Init() {
  if (S().started) return;
  State &s = S();
  const char *root = getenv("WINHOST_ROOT");
  if (!root || !*root) {
    fprintf(stderr,
            "winhost: WINHOST_ROOT is not set. Point it at a folder to serve as the sandbox\n"
            "(its x/ sub-folders are the drives, registry.reg the registry), e.g.\n"
            "  WINHOST_ROOT=$PWD/sandbox %s\n",
            "build/bin/setup");
    exit(2);
  }
  s.root = root;
  while (s.root.size() > 1 && s.root.back() == '/') s.root.pop_back();
  if (const char *c = getenv("WINHOST_CMDLINE")) s.cmdline = c;
  if (const char *t = getenv("WINHOST_TRANSCRIPT")) s.transcript_path = t;
  ParseFaults(getenv("WINHOST_FAULTS"));
  if (const char *sc = getenv("WINHOST_SCRIPT"); sc && *sc) {
    bool ok;
    s.script = ReadFile(sc, &ok);
    if (!ok) {
      fprintf(stderr, "winhost: cannot read the agent script %s: %s\n", sc, strerror(errno));
      exit(2);
    }
    s.scripted = true;
  }
  RunStartHooks();
}

bool Fail(const char *api, DWORD err) {
  Init();
  State &s = S();
  unsigned long n = ++Counter(api);
  unsigned long total = ++s.total;
  for (const FaultRule &r : s.faults) {
    bool name = r.api == "*" || r.api == api;
    if (!name) continue;
    unsigned long k = r.api == "*" ? total : n;
    if (r.every || k == r.from || (r.onward && k >= r.from)) {
      s.last_error = err;
      // The first injected failure is named in the exit event, so that a
      // sweep over "*#N" can tell which call it made fail.
      if (s.first_fault.empty()) s.first_fault = api;
      return true;
    }
  }
  return false;
}

void Count(const char *api) {
  Init();
  ++Counter(api);
  ++S().total;
}

void SetError(DWORD err) { S().last_error = err; }

const std::string &Root() {
  Init();
  return S().root;
}

const std::string &AgentScript() { return S().script; }
bool AgentScripted() { return S().scripted; }
const std::string &CommandLine() {
  Init();
  return S().cmdline;
}

void OnReset(void (*fn)()) { ResetHooks().push_back(fn); }
void OnStart(void (*fn)()) { StartHooks().push_back(fn); }

std::string JsonString(const char *s) {
  std::string out = "\"";
  for (const unsigned char *p = (const unsigned char *)(s ? s : ""); *p; p++) {
    unsigned char c = *p;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c >= 0x80) {
          // Text is in the ANSI code page; bytes above 0x7F are shown as the
          // Latin-1 code point so that the line stays valid UTF-8 JSON.
          char buf[8];
          snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += (char)c;
        }
    }
  }
  return out + "\"";
}

Event::Event(const char *kind) { body = "{\"event\":" + JsonString(kind); }
Event &Event::Str(const char *key, const char *value) {
  body += "," + JsonString(key) + ":" + (value ? JsonString(value) : std::string("null"));
  return *this;
}
Event &Event::Int(const char *key, long long value) {
  body += "," + JsonString(key) + ":" + std::to_string(value);
  return *this;
}
Event &Event::Bool(const char *key, bool value) {
  body += "," + JsonString(key) + ":" + (value ? "true" : "false");
  return *this;
}
Event &Event::Raw(const char *key, const std::string &json) {
  body += "," + JsonString(key) + ":" + json;
  return *this;
}
void Event::Emit() {
  std::string line = body + "}";
  State &s = S();
  s.transcript.push_back(line);
  if (!s.transcript_path.empty()) {
    FILE *f = fopen(s.transcript_path.c_str(), "a");
    if (f) {
      fprintf(f, "%s\n", line.c_str());
      fclose(f);
    }
  }
}

void RecordExit(int status) {
  Event e("exit");
  e.Int("status", status).Int("calls", (long long)S().total);
  if (!S().first_fault.empty()) e.Str("fault", S().first_fault.c_str());
  e.Emit();
}

void Die(int status, const std::string &message) {
  fflush(stdout);
  fprintf(stderr, "winhost: %s\n", message.c_str());
  Event("error").Str("message", message).Emit();
  RecordExit(status);
  fflush(stderr);
  _exit(status);
}

}  // namespace wh

// ---- Win32: last error, process ----

DWORD WINAPI GetLastError(void) { return wh::S().last_error; }
void WINAPI SetLastError(DWORD dwErrCode) { wh::S().last_error = dwErrCode; }

LPSTR WINAPI GetCommandLineA(void) {
  wh::Count("GetCommandLineA");
  return const_cast<char *>(wh::S().cmdline.c_str());
}

namespace {

// Where Windows 95 loaded the program and KERNEL32; any distinct values would do.
HMODULE const kProgramModule = (HMODULE)(ULONG_PTR)0x00400000;
HMODULE const kKernelModule = (HMODULE)(ULONG_PTR)0xBFF70000u;

bool SameName(const char *a, const char *b) {
  for (; *a && *b; a++, b++)
    if ((*a | 0x20) != (*b | 0x20)) return false;
  return *a == *b;
}

}  // namespace

HMODULE WINAPI GetModuleHandleA(LPCSTR lpModuleName) {
  wh::Count("GetModuleHandleA");
  if (!lpModuleName) return kProgramModule;
  if (SameName(lpModuleName, "kernel32") || SameName(lpModuleName, "kernel32.dll")) return kKernelModule;
  wh::SetError(ERROR_MOD_NOT_FOUND);  // no other module is loaded
  return nullptr;
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName) {
  wh::Count("GetProcAddress");
  if (hModule == kKernelModule && !IS_INTRESOURCE(lpProcName) &&
      strcmp(lpProcName, "IsProcessorFeaturePresent") == 0)
    return (FARPROC)(void (*)(void))IsProcessorFeaturePresent;
  wh::SetError(hModule == kKernelModule || hModule == kProgramModule ? ERROR_PROC_NOT_FOUND
                                                                      : ERROR_MOD_NOT_FOUND);
  return nullptr;
}

// SSE and SSE2 are part of every x86-64 processor, and Linux saves their
// registers; other features are not reported.
BOOL WINAPI IsProcessorFeaturePresent(DWORD ProcessorFeature) {
  wh::Count("IsProcessorFeaturePresent");
#if defined(__x86_64__)
  return ProcessorFeature == PF_XMMI_INSTRUCTIONS_AVAILABLE ||
         ProcessorFeature == PF_XMMI64_INSTRUCTIONS_AVAILABLE;
#else
  (void)ProcessorFeature;
  return FALSE;
#endif
}

// The host does not wait: the pause only lets a real machine settle, and the
// tests and fault sweeps run thousands of installations.
void WINAPI Sleep(DWORD) { wh::Count("Sleep"); }

// ---- Test API ----

namespace winhost {

void Reset(const char *root) {
  wh::State &s = wh::S();
  for (auto fn : wh::ResetHooks()) fn();
  s.root = root;
  while (s.root.size() > 1 && s.root.back() == '/') s.root.pop_back();
  std::error_code ec;
  std::filesystem::remove_all(s.root, ec);
  s.cmdline = "C:\\SETUP\\setup.exe";
  s.script.clear();
  s.scripted = false;
  s.transcript_path.clear();
  s.transcript.clear();
  s.faults.clear();
  s.counts.clear();
  s.counters.clear();
  for (auto &slot : s.slots) slot.api = nullptr;
  s.total = 0;
  s.first_fault.clear();
  s.last_error = 0;
  wh::RunStartHooks();
}

void SetFaults(const char *plan) { wh::ParseFaults(plan); }
void SetScript(const char *text) {
  wh::S().script = text ? text : "";
  wh::S().scripted = text && *text;
}
void SetCommandLine(const char *cmdline) { wh::S().cmdline = cmdline ? cmdline : ""; }
void SetTranscript(const char *path) { wh::S().transcript_path = path ? path : ""; }
const std::vector<std::string> &TranscriptLines() { return wh::S().transcript; }

unsigned long TotalCalls() { return wh::S().total; }
unsigned long CallCount(const char *api) {
  auto it = wh::S().counts.find(api);
  return it == wh::S().counts.end() ? 0 : it->second;
}
std::vector<std::pair<std::string, unsigned long> > CallCounts() {
  return std::vector<std::pair<std::string, unsigned long> >(wh::S().counts.begin(),
                                                             wh::S().counts.end());
}

}  // namespace winhost
