// The replay on arbitrary log text, over a machine that holds what a complete
// installation leaves: every pass ends with 0 or 1, closes every key it
// opens, and removes nothing that no record of the pass names.
#include <string>

#include "fuzz/fuzz_sandbox.h"
#include "replay/replay.h"

namespace {

void Lay() {
  CreateDirectoryA("C:\\Inst", NULL);
  CreateDirectoryA("C:\\Inst\\docs", NULL);
  const uint8_t text[] = "x";
  WriteSandboxFile("C:\\Inst\\a.txt", text, 1);
  WriteSandboxFile("C:\\Inst\\docs\\b.txt", text, 1);
  HKEY key;
  if (RegCreateKeyA(HKEY_CLASSES_ROOT, "*\\shell\\checksig\\command", &key) == ERROR_SUCCESS)
    RegCloseKey(key);
  if (RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Kelvorind\\TNM Verifier\\QENVO", &key) == ERROR_SUCCESS)
    RegCloseKey(key);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1 || size > 16384) return 0;
  FuzzReset("replay");
  Lay();
  // The first byte chooses the pass (0, 1 or another), the rest is the log.
  int pass = data[0] % 3;
  WriteSandboxFile("C:\\log.txt", data + 1, size - 1);
  FILE *log = _fsopen("C:\\log.txt", "r+t", _SH_DENYNO);
  if (!log) abort();
  int r = ReplayLog(log, pass);
  ExpectReleased(1);
  fclose(log);
  ExpectReleased();
  if (r != 0 && r != 1) abort();
  // Another pass removes nothing.
  if (pass == 2 && (!std::filesystem::exists(winhost::HostPath("C:\\Inst\\a.txt")) ||
                    !std::filesystem::exists(winhost::HostPath("C:\\Inst\\docs")))) {
    fprintf(stderr, "fuzz: pass 2 removed something\n");
    abort();
  }
  return 0;
}
