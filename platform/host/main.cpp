// The host's process entry: starts the layer and calls the program's WinMain
// with what Windows would pass it.
#include "internal.h"

int main() {
  wh::Init();
  // WinMain's command-line argument is what follows the program's own token.
  const char *p = wh::CommandLine().c_str();
  bool quoted = false;
  while (*p && (quoted || (*p != ' ' && *p != '\t'))) {
    if (*p == '"') quoted = !quoted;
    p++;
  }
  while (*p == ' ' || *p == '\t') p++;
  int status = WinMain((HINSTANCE)(ULONG_PTR)0x00400000, nullptr, const_cast<char *>(p), SW_SHOWNORMAL);
  wh::RecordExit(status);
  return status;
}
