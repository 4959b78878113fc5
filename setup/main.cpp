// The program's GUI entry: only the instance handle is used; the command line
// is read from the system.
#include "platform/win.h"
#include "setup/driver.h"
#include "common/state.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  g_instance = instance;
  return RunSetup();
}
