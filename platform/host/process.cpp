// CreateProcessA: the host starts nothing. The call is recorded in the
// transcript, and the caller gets handles and ids as for a process that runs.
#include "internal.h"

namespace {
DWORD g_next_id;  // process and thread ids handed out since the last reset
void ResetIds() { g_next_id = 0; }
const int g_registered = (wh::OnReset(ResetIds), 0);
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
  wh::Event("process")
      .Str("application", lpApplicationName)
      .Str("cmdline", lpCommandLine)
      .Int("flags", dwCreationFlags)
      .Bool("inherit", bInheritHandles != 0)
      .Int("cb", lpStartupInfo->cb)
      .Int("startup_flags", lpStartupInfo->dwFlags)
      .Str("curdir", lpCurrentDirectory)
      .Emit();
  // Ids as Windows gives them: multiples of four, never zero.
  lpProcessInformation->dwProcessId = 0x400 + 4 * ++g_next_id;
  lpProcessInformation->dwThreadId = 0x400 + 4 * ++g_next_id;
  lpProcessInformation->hProcess = wh::NewDummyHandle();
  lpProcessInformation->hThread = wh::NewDummyHandle();
  return TRUE;
}
