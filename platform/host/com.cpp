// COM as far as the program needs it: initialisation with its depth on the
// one thread, and a class table that holds only the shell link class.
#include "internal.h"
#include "winhost_test.h"

const GUID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID CLSID_ShellLink = {0x00021401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID IID_IShellLinkA = {0x000214EE, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const GUID IID_IPersistFile = {0x0000010B, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

namespace {

// What COM answers for aggregation, which the shell link does not support,
// and for a server kind the class has no registration for.
const HRESULT kNoAggregation = (HRESULT)0x80040110u;  // CLASS_E_NOAGGREGATION
const HRESULT kKeyMissing = (HRESULT)0x80040152u;     // REGDB_E_KEYMISSING

int g_depth;  // CoInitialize calls not yet matched by CoUninitialize

void ResetCom() { g_depth = 0; }
const int g_registered = (wh::OnReset(ResetCom), 0);

}  // namespace

HRESULT WINAPI CoInitialize(LPVOID) {
  if (wh::Fail("CoInitialize", ERROR_OUTOFMEMORY)) return E_OUTOFMEMORY;
  return g_depth++ == 0 ? S_OK : S_FALSE;
}

// An unmatched call does nothing, as on Windows.
void WINAPI CoUninitialize(void) {
  wh::Count("CoUninitialize");
  if (g_depth > 0) g_depth--;
}

HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext,
                                REFIID riid, LPVOID *ppv) {
  if (!ppv) {
    wh::Count("CoCreateInstance");
    return E_POINTER;
  }
  *ppv = nullptr;
  if (wh::Fail("CoCreateInstance", ERROR_OUTOFMEMORY)) return E_OUTOFMEMORY;
  if (g_depth == 0) return CO_E_NOTINITIALIZED;
  if (rclsid != CLSID_ShellLink) return REGDB_E_CLASSNOTREG;
  if (pUnkOuter) return kNoAggregation;
  if (!(dwClsContext & CLSCTX_INPROC_SERVER)) return kKeyMissing;
  return wh::NewShellLink(riid, ppv);
}

// Nothing is ever loaded, so nothing is unloaded.
void WINAPI CoFreeUnusedLibraries(void) { wh::Count("CoFreeUnusedLibraries"); }

namespace winhost {

int LiveComObjects() { return wh::LiveShellLinks(); }
int ComInitDepth() { return g_depth; }

}  // namespace winhost
