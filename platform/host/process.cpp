// CreateProcessA: the host starts nothing. The call is recorded in the
// transcript, with the program that Windows would start for it and the folder
// it would start in, and the caller gets handles and ids as for a process
// that runs.
#include <string.h>

#include "internal.h"

namespace {
DWORD g_next_id;  // process and thread ids handed out since the last reset
void ResetIds() { g_next_id = 0; }
const int g_registered = (wh::OnReset(ResetIds), 0);

// The first token of a command line: the text between quotes when it begins
// with one, else up to the first blank.
std::string FirstToken(const char *cmdline) {
  const char *p = cmdline;
  while (*p == ' ' || *p == '\t') p++;
  if (*p == '"') {
    const char *close = strchr(p + 1, '"');
    return close ? std::string(p + 1, close) : std::string(p + 1);
  }
  const char *end = p;
  while (*end && *end != ' ' && *end != '\t') end++;
  return std::string(p, end);
}

// The full path of an existing file (not a folder), or "".
std::string ExistingFile(const std::string &winpath) {
  wh::MappedPath m;
  if (wh::MapPathInfo(winpath.c_str(), &m) || !m.exists || m.dir) return "";
  return m.full;
}

// The program Windows starts. An application name is used as it stands,
// completed against the current folder, never searched for. Without one, the
// command line's first token is, ".exe" added when its last step has no
// extension; a token that names no folder is looked for in the caller's own
// folder (that of its command line's program), the current folder, the
// system folder and the Windows folder, in this order. "" when none exists.
std::string ProgramStarted(const char *application, const char *cmdline) {
  std::string full;
  if (application) return wh::FullPath(application, &full) ? "" : full;
  std::string name = FirstToken(cmdline);
  if (name.empty()) return "";
  size_t step = name.find_last_of("\\/:");
  if (name.find('.', step == std::string::npos ? 0 : step + 1) == std::string::npos) name += ".exe";
  if (step != std::string::npos) return ExistingFile(name);
  std::string own = FirstToken(wh::CommandLine().c_str());
  size_t slash = own.find_last_of('\\');
  std::string folders[] = {slash == std::string::npos ? "" : own.substr(0, slash), wh::CurrentDir(),
                           "C:\\WINDOWS\\SYSTEM", "C:\\WINDOWS"};
  for (const std::string &folder : folders) {
    if (folder.empty()) continue;
    std::string found = ExistingFile(folder + (folder.back() == '\\' ? "" : "\\") + name);
    if (!found.empty()) return found;
  }
  return "";
}
}  // namespace

BOOL WINAPI CreateProcessA(LPCSTR lpApplicationName, LPSTR lpCommandLine,
                           LPSECURITY_ATTRIBUTES, LPSECURITY_ATTRIBUTES, BOOL bInheritHandles,
                           DWORD dwCreationFlags, LPVOID, LPCSTR lpCurrentDirectory,
                           LPSTARTUPINFOA lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation) {
  if (wh::Fail("CreateProcessA", ERROR_FILE_NOT_FOUND)) return FALSE;
  if (!lpStartupInfo || !lpProcessInformation || (!lpApplicationName && !lpCommandLine)) {
    wh::SetError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::string program = ProgramStarted(lpApplicationName, lpCommandLine);
  wh::Event("process")
      .Str("application", lpApplicationName)
      .Str("cmdline", lpCommandLine)
      .Int("flags", dwCreationFlags)
      .Bool("inherit", bInheritHandles != 0)
      .Int("cb", lpStartupInfo->cb)
      .Int("startup_flags", lpStartupInfo->dwFlags)
      .Str("curdir", lpCurrentDirectory)
      .Str("program", program.empty() ? NULL : program.c_str())
      .Str("starts_in", lpCurrentDirectory ? lpCurrentDirectory : wh::CurrentDir().c_str())
      .Emit();
  // Ids as Windows gives them: multiples of four, never zero.
  lpProcessInformation->dwProcessId = 0x400 + 4 * ++g_next_id;
  lpProcessInformation->dwThreadId = 0x400 + 4 * ++g_next_id;
  lpProcessInformation->hProcess = wh::NewDummyHandle();
  lpProcessInformation->hThread = wh::NewDummyHandle();
  return TRUE;
}
