// A stand-in for a program planted where Windows might find it in place of
// the one meant (an explorer.exe in the distribution folder or in the install
// folder): started, it writes its command line into a file beside itself,
// its own name with ".ran" added, and ends. The checks under Wine copy it
// under the planted name and look for that file afterwards.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char path[MAX_PATH + 8];
  DWORD n = GetModuleFileNameA(NULL, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return 1;
  lstrcatA(path, ".ran");
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (file == INVALID_HANDLE_VALUE) return 1;
  const char *command = GetCommandLineA();
  DWORD written = 0;
  BOOL ok = WriteFile(file, command, (DWORD)lstrlenA(command), &written, NULL);
  CloseHandle(file);
  return ok ? 0 : 1;
}
