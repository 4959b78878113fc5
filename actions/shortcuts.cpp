// Shortcuts: .lnk files made through the shell's link object, one COM
// session per link.
#include "actions/shortcuts.h"

#include <string.h>

#include "common/text.h"
#include "installlog/install_log.h"
#include "platform/win.h"

enum { kPathCapacity = 500, kWideLinkCapacity = 260 };

static const char kLinkSuffix[] = ".lnk";

int SaveShellLink(const char *target, const char *arguments, const char *linkPath,
                  const char *description) {
  // The save takes the path in UTF-16 from a buffer of 260 wide characters;
  // a longer path cannot be handed over whole, so it is refused before COM is
  // touched.
  if (strlen(linkPath) >= kWideLinkCapacity) return SHORTCUT_FAILED;

  // Every successful CoInitialize (S_FALSE included) is matched by one
  // CoUninitialize; a failed one has nothing to end.
  HRESULT init = CoInitialize(NULL);
  IShellLinkA *link = NULL;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                (void **)&link);
  if (SUCCEEDED(hr)) {
    // A link whose target, arguments or description could not be set would
    // be saved incomplete (a shortcut to nothing): it is not saved at all, and
    // the caller hears of a failed link. SetPath's S_FALSE (a target that does
    // not exist yet) is no failure.
    HRESULT set = link->SetPath(target);
    if (SUCCEEDED(set)) set = link->SetArguments(arguments);
    if (SUCCEEDED(set)) set = link->SetDescription(description);
    IPersistFile *file = NULL;
    hr = SUCCEEDED(set) ? link->QueryInterface(IID_IPersistFile, (void **)&file) : set;
    if (SUCCEEDED(hr)) {
      WCHAR widePath[kWideLinkCapacity];
      if (MultiByteToWideChar(CP_ACP, 0, linkPath, -1, widePath, kWideLinkCapacity) > 0)
        hr = file->Save(widePath, TRUE);
      else
        hr = E_FAIL;  // no path to save at
      file->Release();
    }
    link->Release();
  }
  CoFreeUnusedLibraries();
  if (SUCCEEDED(init)) CoUninitialize();
  // Only S_OK means the link was written; S_FALSE and the like do not.
  return hr == S_OK ? 0 : SHORTCUT_FAILED;
}

int CreateShortcut(const char *baseFolder, const char *fileName, const char *arguments,
                   const char *linkName, const char *linkFolder, FILE *log) {
  char target[kPathCapacity];
  char linkPath[kPathCapacity];
  int r = SHORTCUT_FAILED;

  // A link path that does not fit is never cut: there is then nothing to
  // save and nothing to record.
  if (JoinPath(linkPath, sizeof linkPath, linkFolder, linkName) != 0) return SHORTCUT_FAILED;
  size_t length = strlen(linkPath);
  if (length + sizeof kLinkSuffix > sizeof linkPath) return SHORTCUT_FAILED;
  memcpy(linkPath + length, kLinkSuffix, sizeof kLinkSuffix);

  if (JoinPath(target, sizeof target, baseFolder, fileName) == 0)
    r = SaveShellLink(target, arguments, linkPath, linkName);
  // Recorded whatever the outcome, so that a rollback also removes what a
  // failed save may have left.
  LogFile(log, linkPath, "");
  return r;
}
