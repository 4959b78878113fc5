// The replay on arbitrary log text, over a machine that holds what a complete
// installation leaves: every pass ends with 0 or 1, closes every key it
// opens, and removes nothing that no record of the pass names. With the
// uninstaller's screen (the first byte's high bit set), on a log read as the
// uninstaller reads it, nothing outside what a genuine installation may
// name is ever removed: the victims laid beside the installation (files,
// empty folders and keys elsewhere, a folder reached through a link in the
// install folder) all stay.
#include <string>

#include "fuzz/fuzz_sandbox.h"
#include "installlog/genuine_log.h"
#include "replay/replay.h"

namespace {

void MakeKey(HKEY root, const char *path) {
  HKEY key;
  if (RegCreateKeyA(root, path, &key) == ERROR_SUCCESS) RegCloseKey(key);
}

bool KeyExists(HKEY root, const char *path) {
  HKEY key;
  if (RegOpenKeyA(root, path, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// What the screened replay must never remove: outside the install folder,
// beside the links and keys a genuine installation makes, and through a link
// inside the install folder.
const char *const kVictimFiles[] = {"C:\\Victim\\v.txt", "C:\\WINDOWS\\victim.ini",
                                    "C:\\WINDOWS\\Desktop\\Other.lnk", "C:\\Inst Old\\a.txt"};
const char *const kVictimFolders[] = {"C:\\Victim\\Empty", "C:\\WINDOWS\\Start Menu\\Programs\\Other"};
const struct {
  HKEY root;
  const char *path;
} kVictimKeys[] = {{HKEY_CLASSES_ROOT, ".exe"},
                   {HKEY_LOCAL_MACHINE, "Software\\Victim"},
                   {HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Other"},
                   {HKEY_CURRENT_USER, "Software\\Victim"},
                   {HKEY_USERS, ".DEFAULT\\Victim"}};

void Lay(bool screened) {
  CreateDirectoryA("C:\\Inst", NULL);
  CreateDirectoryA("C:\\Inst\\docs", NULL);
  const uint8_t text[] = "x";
  WriteSandboxFile("C:\\Inst\\a.txt", text, 1);
  WriteSandboxFile("C:\\Inst\\docs\\b.txt", text, 1);
  MakeKey(HKEY_CLASSES_ROOT, "*\\shell\\checksig\\command");
  MakeKey(HKEY_CURRENT_USER, "Software\\Kelvorind\\TNM Verifier\\QENVO");
  if (!screened) return;
  // What a genuine installation may name, beside the files above.
  MakeKey(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\TNM Verifier");
  MakeKey(HKEY_CURRENT_USER, "Software\\Kelvorind\\TNM Verifier\\QENVO\\TNM Verifier");
  CreateDirectoryA("C:\\WINDOWS\\Start Menu\\Programs\\TNM Verifier", NULL);
  WriteSandboxFile("C:\\WINDOWS\\Start Menu\\Programs\\TNM Verifier\\Help.lnk", text, 1);
  WriteSandboxFile("C:\\WINDOWS\\Desktop\\TolvaMarked Verifier.lnk", text, 1);
  // And what it never names.
  CreateDirectoryA("C:\\Victim", NULL);
  CreateDirectoryA("C:\\Inst Old", NULL);
  for (const char *folder : kVictimFolders) CreateDirectoryA(folder, NULL);
  for (const char *file : kVictimFiles) WriteSandboxFile(file, text, 1);
  for (const auto &key : kVictimKeys) MakeKey(key.root, key.path);
  std::error_code ec;
  std::filesystem::create_directory_symlink("../Victim", winhost::HostPath("C:\\Inst") + "/link", ec);
  if (ec) abort();
}

// Aborts when the screened replay removed anything it may not.
void ExpectVictimsStay() {
  for (const char *file : kVictimFiles)
    if (GetFileAttributesA(file) == INVALID_FILE_ATTRIBUTES) {
      fprintf(stderr, "fuzz: the screened replay removed %s\n", file);
      abort();
    }
  for (const char *folder : kVictimFolders)
    if (GetFileAttributesA(folder) == INVALID_FILE_ATTRIBUTES) {
      fprintf(stderr, "fuzz: the screened replay removed the folder %s\n", folder);
      abort();
    }
  for (const auto &key : kVictimKeys)
    if (!KeyExists(key.root, key.path)) {
      fprintf(stderr, "fuzz: the screened replay removed the key %s\n", key.path);
      abort();
    }
  if (!KeyExists(HKEY_CLASSES_ROOT, "*\\shell") || !KeyExists(HKEY_CURRENT_USER, "Software\\Kelvorind")) {
    fprintf(stderr, "fuzz: the screened replay removed a key above the setup's own\n");
    abort();
  }
  if (GetFileAttributesA("C:\\Inst\\link") == INVALID_FILE_ATTRIBUTES) {
    fprintf(stderr, "fuzz: the screened replay removed the link in the install folder\n");
    abort();
  }
}

GenuineFolders g_folders;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1 || size > 16384) return 0;
  FuzzReset("replay");
  // The first byte chooses the pass (its low bits modulo 3: 0, 1 or another)
  // and, by its high bit, the uninstaller's screen; the rest is the log.
  int pass = (data[0] & 0x7F) % 3;
  bool screened = (data[0] & 0x80) != 0;
  Lay(screened);
  WriteSandboxFile("C:\\log.txt", data + 1, size - 1);
  int r;
  if (screened) {
    // As the uninstaller runs: its install folder laid, the Windows folder
    // current, the log read in binary.
    FindGenuineFolders("C:\\Inst\\", &g_folders);
    if (!SetCurrentDirectoryA("C:\\WINDOWS")) abort();
    FILE *log = _fsopen("C:\\log.txt", "rb", _SH_DENYWR);
    if (!log) abort();
    const ReplayScreen screen = {IsGenuineRecordOf, &g_folders};
    r = ReplayScreenedLog(log, pass, &screen);
    ExpectReleased(1);
    fclose(log);
    ExpectVictimsStay();
  } else {
    FILE *log = _fsopen("C:\\log.txt", "r+t", _SH_DENYNO);
    if (!log) abort();
    r = ReplayLog(log, pass);
    ExpectReleased(1);
    fclose(log);
  }
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
