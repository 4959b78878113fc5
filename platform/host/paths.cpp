// Windows paths over the sandbox: normalising them as GetFullPathNameA does,
// the current directory, and mapping drive X: onto $WINHOST_ROOT/x/ with
// case-insensitive matching of the names that already exist.
#include <dirent.h>
#include <string.h>
#include <sys/stat.h>

#include <vector>

#include "internal.h"

namespace wh {
namespace {

std::string &Cwd() {
  static std::string cwd = "C:\\";
  return cwd;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool SameFolded(const char *a, const char *b) {
  for (; *a && *b; a++, b++)
    if (Lower(*a) != Lower(*b)) return false;
  return *a == *b;
}

// A character Windows refuses in a file or folder name.
bool BadNameChar(unsigned char c) { return c < 0x20 || strchr("<>:\"|?*", c) != nullptr; }

// The entry of folder dir whose name equals name, ignoring ASCII case. The
// exact spelling wins; "" when there is none.
std::string FindEntry(const std::string &dir, const std::string &name) {
  struct stat st;
  if (lstat((dir + "/" + name).c_str(), &st) == 0) return name;
  std::string found;
  if (DIR *d = opendir(dir.c_str())) {
    while (struct dirent *e = readdir(d)) {
      if (SameFolded(e->d_name, name.c_str())) {
        found = e->d_name;
        break;
      }
    }
    closedir(d);
  }
  return found;
}

void Split(const std::string &s, std::vector<std::string> *parts) {
  size_t start = 0;
  for (size_t i = 0; i <= s.size(); i++) {
    if (i == s.size() || s[i] == '\\') {
      parts->push_back(s.substr(start, i - start));
      start = i + 1;
    }
  }
}

// The drive's folder in the sandbox; C: is made when it is missing, every
// other drive exists only when its folder does.
bool DriveFolder(char letter, std::string *host) {
  *host = Root() + "/" + Lower(letter);
  struct stat st;
  if (stat(host->c_str(), &st) == 0) return S_ISDIR(st.st_mode);
  if (Lower(letter) != 'c') return false;
  mkdir(Root().c_str(), 0777);
  return mkdir(host->c_str(), 0777) == 0;
}

void StartPaths() {
  // C:\ always exists, and so does the Windows directory.
  std::string drive;
  DriveFolder('C', &drive);
  MappedPath m;
  if (MapPathInfo("C:\\WINDOWS", &m) == 0 && !m.exists) mkdir(m.host.c_str(), 0777);
}

void ResetPaths() { Cwd() = "C:\\"; }

const int registered = (OnStart(StartPaths), OnReset(ResetPaths), 0);

}  // namespace

const std::string &CurrentDir() { return Cwd(); }

DWORD FullPath(const char *winpath, std::string *full) {
  (void)registered;
  if (!winpath) return ERROR_INVALID_PARAMETER;
  if (!*winpath) return ERROR_INVALID_NAME;
  std::string s = winpath;
  for (char &c : s)
    if (c == '/') c = '\\';
  if (s.size() >= 2 && s[0] == '\\' && s[1] == '\\') return ERROR_BAD_PATHNAME;  // no network

  const std::string &cwd = Cwd();
  std::string drive, base, rest;
  bool trailing = false;
  if (s.size() >= 2 && IsLetter(s[0]) && s[1] == ':') {
    drive = s.substr(0, 2);
    if (s.size() >= 3 && s[2] == '\\') {
      rest = s.substr(3);
    } else {
      // "X:name" is relative to the current directory when X: is its drive,
      // else to that drive's root; a bare "X:" names the folder itself.
      if (Lower(s[0]) == Lower(cwd[0])) base = cwd.substr(3);
      rest = s.substr(2);
      if (rest.empty()) trailing = true;
    }
  } else if (s[0] == '\\') {
    drive = cwd.substr(0, 2);
    rest = s.substr(1);
  } else {
    drive = cwd.substr(0, 2);
    base = cwd.substr(3);
    rest = s;
  }
  if (!rest.empty() && rest.back() == '\\') trailing = true;

  std::vector<std::string> parts, in;
  if (!base.empty()) Split(base, &parts);
  Split(rest, &in);
  // The last component loses its trailing dots and spaces; when nothing is
  // left of it, the path names the folder above it, with a backslash.
  if (!in.empty() && !in.back().empty() && in.back() != "." && in.back() != "..") {
    std::string &last = in.back();
    while (!last.empty() && (last.back() == '.' || last.back() == ' ')) last.pop_back();
    if (last.empty()) trailing = true;
  }
  for (const std::string &p : in) {
    if (p.empty() || p == ".") continue;
    if (p == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(p);
  }
  *full = drive + "\\";
  for (size_t i = 0; i < parts.size(); i++) {
    if (i) *full += '\\';
    *full += parts[i];
  }
  if (trailing && !parts.empty()) *full += '\\';
  return 0;
}

DWORD MapPathInfo(const char *winpath, MappedPath *m) {
  *m = MappedPath();
  if (!winpath || !*winpath) return ERROR_PATH_NOT_FOUND;
  if (DWORD err = FullPath(winpath, &m->full)) return err;
  const std::string &full = m->full;
  for (size_t i = 2; i < full.size(); i++)
    if (BadNameChar((unsigned char)full[i])) return ERROR_INVALID_NAME;
  if (full.size() >= MAX_PATH) return ERROR_FILENAME_EXCED_RANGE;

  std::string host;
  if (!DriveFolder(full[0], &host)) return ERROR_PATH_NOT_FOUND;
  std::vector<std::string> parts;
  if (full.size() > 3) Split(full.substr(3), &parts);
  if (!parts.empty() && parts.back().empty()) {
    parts.pop_back();
    m->trailing = true;
  }
  m->root = parts.empty();
  for (size_t i = 0; i < parts.size(); i++) {
    std::string name = FindEntry(host, parts[i]);
    bool last = i + 1 == parts.size();
    if (name.empty()) {
      if (!last) return ERROR_PATH_NOT_FOUND;
      name = parts[i];
    }
    host += "/" + name;
    struct stat st;
    bool there = stat(host.c_str(), &st) == 0;
    if (!last && (!there || !S_ISDIR(st.st_mode))) return ERROR_PATH_NOT_FOUND;
    if (last) {
      m->exists = there;
      m->dir = there && S_ISDIR(st.st_mode);
    }
  }
  if (m->root) m->exists = m->dir = true;
  m->host = host;
  return 0;
}

DWORD MapPath(const char *winpath, std::string *hostpath) {
  MappedPath m;
  DWORD err = MapPathInfo(winpath, &m);
  if (err == 0) *hostpath = m.host;
  return err;
}

}  // namespace wh

namespace {

// Win32's string-out convention: the length without the NUL when it fits,
// else the size needed with the NUL (nothing written).
DWORD CopyOut(const std::string &s, DWORD size, LPSTR buffer) {
  if (!buffer || size <= s.size()) return (DWORD)s.size() + 1;
  memcpy(buffer, s.c_str(), s.size() + 1);
  return (DWORD)s.size();
}

}  // namespace

DWORD WINAPI GetFullPathNameA(LPCSTR lpFileName, DWORD nBufferLength, LPSTR lpBuffer,
                              LPSTR *lpFilePart) {
  if (wh::Fail("GetFullPathNameA", ERROR_INVALID_NAME)) return 0;
  std::string full;
  if (DWORD err = wh::FullPath(lpFileName, &full)) {
    wh::SetError(err);
    return 0;
  }
  DWORD r = CopyOut(full, nBufferLength, lpBuffer);
  if (r < nBufferLength && lpBuffer && lpFilePart) {
    size_t slash = full.rfind('\\');
    *lpFilePart = slash + 1 < full.size() ? lpBuffer + slash + 1 : nullptr;
  }
  return r;
}

BOOL WINAPI SetCurrentDirectoryA(LPCSTR lpPathName) {
  if (wh::Fail("SetCurrentDirectoryA", ERROR_PATH_NOT_FOUND)) return FALSE;
  wh::MappedPath m;
  DWORD err = wh::MapPathInfo(lpPathName, &m);
  if (!err && !m.exists) err = ERROR_FILE_NOT_FOUND;
  if (!err && !m.dir) err = ERROR_DIRECTORY;
  if (err) {
    wh::SetError(err);
    return FALSE;
  }
  std::string cwd = m.full;
  if (cwd.size() > 3 && cwd.back() == '\\') cwd.pop_back();
  wh::Cwd() = cwd;
  return TRUE;
}

DWORD WINAPI GetCurrentDirectoryA(DWORD nBufferLength, LPSTR lpBuffer) {
  if (wh::Fail("GetCurrentDirectoryA", ERROR_NOT_ENOUGH_MEMORY)) return 0;
  return CopyOut(wh::CurrentDir(), nBufferLength, lpBuffer);
}

UINT WINAPI GetWindowsDirectoryA(LPSTR lpBuffer, UINT uSize) {
  if (wh::Fail("GetWindowsDirectoryA", ERROR_NOT_ENOUGH_MEMORY)) return 0;
  return CopyOut("C:\\WINDOWS", uSize, lpBuffer);
}
