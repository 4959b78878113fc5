// Creating the folders along a path, one step at a time.
#include "actions/paths.h"

#include <string.h>

#include "common/state.h"

SECURITY_ATTRIBUTES g_folderSecurity;

static bool IsDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

int CreateDirectoryPath(char *path, int length) {
  int i = (IsDriveLetter(path[0]) && path[1] == ':' && path[2] == '\\') ? 3 : 1;
  for (; i < length; i++) {
    if (path[i] != '\\') continue;
    path[i] = 0;
    if (!CreateDirectoryA(path, &g_folderSecurity) && GetLastError() != ERROR_ALREADY_EXISTS) {
      // Owned by the wizard page while one is open; the page that opened last
      // is gone once the installation runs, and a box cannot belong to it.
      MessageBoxA(g_wizardEnded ? NULL : g_pageWindow, path, "Error Creating Directory",
                  MB_ICONERROR | MB_OK);
      return CREATE_DIRECTORY_FAILED;
    }
    path[i] = '\\';
  }
  return 0;
}
