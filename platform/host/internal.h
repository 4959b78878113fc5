// Shared plumbing of the host implementation: start-up, call accounting and
// fault injection, the last-error value, the transcript, path mapping and the
// reset hooks the test API uses. Not seen by product code.
#ifndef PLATFORM_HOST_INTERNAL_H
#define PLATFORM_HOST_INTERNAL_H

#include <sys/stat.h>

#include <string>
#include <vector>

#include "winhost.h"

namespace wh {

// Reads the WINHOST_* environment once, on the first platform call (or after
// a test's Reset). Safe to call any number of times.
void Init();

// Every platform call that can fail starts with this: it counts the call (per
// name and in total) and tells whether the fault plan wants it to fail. When
// it does, the last error is already set to err and the caller returns its
// documented failure value.
bool Fail(const char *api, DWORD err);
// Counts a call that has no failure to inject.
void Count(const char *api);

void SetError(DWORD err);

// The sandbox folder that holds the drives (x:\ is Root()/x/) and registry.reg.
const std::string &Root();

// Windows path handling (paths.cpp).
// Normalises a Windows path the way GetFullPathNameA does, against the current
// directory: absolute, backslashes, "." and ".." resolved. Returns 0 or an
// error code (ERROR_INVALID_NAME, ERROR_PATH_NOT_FOUND, ...).
DWORD FullPath(const char *winpath, std::string *full);
// Maps a Windows path into the sandbox. Existing components are matched
// case-insensitively; the rest keep the case given. Returns 0 when every
// folder above the last component exists (the last component itself may or
// may not exist), ERROR_PATH_NOT_FOUND when one is missing or is a file,
// ERROR_INVALID_NAME for characters Windows refuses in names,
// ERROR_FILENAME_EXCED_RANGE for a path of MAX_PATH characters or more.
DWORD MapPath(const char *winpath, std::string *hostpath);
// The current directory as a Windows path ("C:\" or "C:\dir", no trailing
// backslash except at a drive root).
const std::string &CurrentDir();

// What MapPath learns on the way (paths.cpp): the normalised Windows path,
// the sandbox path, whether the name ended in a backslash, and what is there.
struct MappedPath {
  std::string full;       // as FullPath gives it
  std::string host;       // the sandbox path, without a trailing '/'
  bool trailing = false;  // the name ended in a backslash (not at a drive root)
  bool root = false;      // a drive's root folder
  bool exists = false;
  bool dir = false;
  struct stat st = {};    // what stat() gave for it, when it exists
};
DWORD MapPathInfo(const char *winpath, MappedPath *m);

// Handles and files (files.cpp). Handles are small numbers kept in one table;
// each has a kind, so that other modules can hand out handles CloseHandle takes.
HANDLE NewDummyHandle();
// CreateFileA's work without its accounting, for the layer's own openers (the
// stream): 0 and *out on success (*existed tells whether the file was there;
// *opened, when given, gets the open file's stat), else the Win32 error.
DWORD OpenFile(const char *winpath, DWORD access, DWORD share, DWORD disposition,
               DWORD attributes, HANDLE *out, bool *existed, struct stat *opened = nullptr);
// The descriptor behind an open file handle (-1 when h is none); *access gets
// the GENERIC_READ/GENERIC_WRITE rights it was opened with.
int FileDescriptor(HANDLE h, DWORD *access);
// Closes a handle without accounting; false when h is not open.
bool CloseFile(HANDLE h);
// The Win32 error for a failed host call's errno.
DWORD ErrnoError(int e, DWORD fallback);

// The ANSI code page (Windows-1252) and UTF-16, for the layer's own use
// (codepage.cpp): not counted, never failing. Characters that 1252 lacks
// become '?'.
std::u16string AnsiToWide(const char *text);
std::string WideToAnsi(const WCHAR *text);

// The shell link object (shelllink.cpp) that CoCreateInstance makes: a new
// object asked for riid, and how many are alive (not yet released).
HRESULT NewShellLink(REFIID riid, void **ppv);
int LiveShellLinks();

// Transcript: one JSON object per line, appended to $WINHOST_TRANSCRIPT and
// kept in memory for in-process tests.
struct Event {
  std::string body;
  explicit Event(const char *kind);
  Event &Str(const char *key, const char *value);
  Event &Str(const char *key, const std::string &value) { return Str(key, value.c_str()); }
  Event &Int(const char *key, long long value);
  Event &Bool(const char *key, bool value);
  Event &Raw(const char *key, const std::string &json);
  void Emit();
};
std::string JsonString(const char *s);

// Ends the process at once with status, after a diagnostic on stderr and the
// transcript's exit event (used when the agent meets what it did not expect).
[[noreturn]] void Die(int status, const std::string &message);
// The transcript's exit event, written by the host's main().
void RecordExit(int status);

// Each module registers a function that drops its process-wide state; the
// test API's Reset calls them all before the sandbox is laid anew.
void OnReset(void (*fn)());
// Each module may register a function that runs after Init has read the
// environment (the registry seeds the machine here).
void OnStart(void (*fn)());

// The registry file's REGEDIT4 text (regedit4.cpp): sections in file order,
// each a key's full path ("HKEY_CURRENT_USER\Software") with its values.
struct RegValue {
  std::string name;     // "" is the default value, written @
  DWORD type;
  std::string data;     // the value's bytes exactly
  bool remove = false;  // "name"=- in a file: the value is deleted
};
struct RegSection {
  std::string path;
  bool remove = false;  // [-path] in a file: the key and all below it are deleted
  int line = 0;         // where the section starts, for messages
  std::vector<RegValue> values;
};
std::string FormatRegedit4(const std::vector<RegSection> &sections);
// False, with a message that names the line, when text is not a REGEDIT4 file.
bool ParseRegedit4(const std::string &text, std::vector<RegSection> *sections,
                   std::string *error);

// The agent's script as text ("" and AgentScripted() false: a person at the
// terminal answers).
const std::string &AgentScript();
bool AgentScripted();
const std::string &CommandLine();

}  // namespace wh

#endif
