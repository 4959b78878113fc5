// The archive walk and member extraction on arbitrary archive bytes, through
// the host layer: whatever the bytes, the extractor ends with a result, writes
// nothing outside the installation folder and releases the archive, its
// files and its window.
#include <string>

#include "archive/extractor.h"
#include "fuzz/fuzz_sandbox.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 65536) return 0;
  FuzzReset("archive");
  CreateDirectoryA("C:\\SETUP", NULL);
  WriteSandboxFile("C:\\SETUP\\data1.qv", data, size);
  InitCommonControls();
  FILE *log = _fsopen("C:\\SETUP\\log.txt", "w+t", _SH_DENYNO);
  if (!log) abort();
  int r = ArchiveExtractor("C:\\SETUP", "data1.qv", "C:\\Inst\\Dir\\", log);
  fclose(log);
  ExpectReleased();
  if (r != 0 && r != 1 && r != 2 && r != 6 && r != 53) {
    fprintf(stderr, "fuzz: unexpected result %d\n", r);
    abort();
  }
  // Nothing new outside C:\Inst\Dir but the log beside the archive.
  const std::string &root = FuzzRoot("archive");
  std::string inside = root + "/c/Inst/Dir";
  for (auto &e : std::filesystem::recursive_directory_iterator(root)) {
    std::string p = e.path().string();
    if (p.compare(0, inside.size(), inside) == 0 || !e.is_regular_file()) continue;
    if (p == root + "/registry.reg" || p == root + "/c/SETUP/data1.qv" || p == root + "/c/SETUP/log.txt")
      continue;
    fprintf(stderr, "fuzz: %s written outside the installation folder\n", p.c_str());
    abort();
  }
  return 0;
}
