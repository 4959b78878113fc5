// Windows paths over the sandbox: normalising them as GetFullPathNameA does,
// the current directory, and mapping drive X: onto $WINHOST_ROOT/x/ with
// case-insensitive matching of the names that already exist.
#include <dirent.h>
#include <limits.h>
#include <errno.h>
#include <sys/inotify.h>
#include <unistd.h>
#include <string.h>
#include <sys/stat.h>

#include <unordered_map>
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

// Case-insensitive lookups of names that are not spelled as they stand
// (typically a file about to be created) would read the whole folder each
// time. Instead each folder read once is kept as its names, and an inotify
// watch on it reports every entry made, removed or renamed there, by this
// process or any other; the events are applied before each lookup, so a
// listing is never used stale. Applying events that predate the folder's
// reading is harmless: for every name the last event wins, which is what the
// folder holds. A folder that is deleted or moved, a queue that overflowed, a
// watch that cannot be added: the listing is dropped and the folder read.
struct Listing {
  dev_t dev = 0;
  ino_t ino = 0;
  int watch = -1;
  std::unordered_multimap<std::string, std::string> names;  // folded -> spelling
};

struct Listings {
  int fd = -1;
  bool unavailable = false;  // inotify cannot be had: every lookup reads the folder
  std::unordered_map<std::string, Listing> byFolder;
  std::unordered_map<int, std::string> byWatch;
};

Listings &L() {
  static Listings l;
  return l;
}

std::string Folded(const char *name) {
  std::string f = name;
  for (char &c : f) c = Lower(c);
  return f;
}

void DropListing(const std::string &folder, bool removeWatch) {
  Listings &l = L();
  auto it = l.byFolder.find(folder);
  if (it == l.byFolder.end()) return;
  if (removeWatch) inotify_rm_watch(l.fd, it->second.watch);
  l.byWatch.erase(it->second.watch);
  l.byFolder.erase(it);
}

void DropAllListings() {
  Listings &l = L();
  if (l.fd >= 0) close(l.fd);
  l.fd = -1;
  l.byFolder.clear();
  l.byWatch.clear();
}

void AddName(Listing &listing, const char *name) {
  std::string folded = Folded(name);
  auto range = listing.names.equal_range(folded);
  for (auto it = range.first; it != range.second; ++it)
    if (it->second == name) return;
  listing.names.emplace(folded, name);
}

void RemoveName(Listing &listing, const char *name) {
  auto range = listing.names.equal_range(Folded(name));
  for (auto it = range.first; it != range.second; ++it)
    if (it->second == name) {
      listing.names.erase(it);
      return;
    }
}

// Applies every event waiting on the watches to the listings. A read
// returns as many whole events as fit: one that left room for the largest
// event has taken all that were waiting.
void ApplyEvents() {
  Listings &l = L();
  if (l.fd < 0) return;
  alignas(struct inotify_event) char buf[16384];
  for (;;) {
    ssize_t n = read(l.fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;  // EAGAIN: nothing more is waiting
    bool drained = (size_t)n + sizeof(struct inotify_event) + NAME_MAX + 1 <= sizeof buf;
    for (char *p = buf; p < buf + n;) {
      const struct inotify_event *e = (const struct inotify_event *)p;
      p += sizeof(struct inotify_event) + e->len;
      if (e->mask & IN_Q_OVERFLOW) {
        DropAllListings();  // events were lost: no listing can be trusted
        return;
      }
      auto w = l.byWatch.find(e->wd);
      if (w == l.byWatch.end()) continue;
      if (e->mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) {
        DropListing(std::string(w->second), !(e->mask & IN_IGNORED));
        continue;
      }
      Listing &listing = l.byFolder[w->second];
      if (!e->len) continue;
      if (e->mask & (IN_CREATE | IN_MOVED_TO)) AddName(listing, e->name);
      if (e->mask & (IN_DELETE | IN_MOVED_FROM)) RemoveName(listing, e->name);
    }
    if (drained) return;
  }
}

// Reads folder dir (whose stat is dirSt) into a new listing, watched first so
// that nothing done to it afterwards goes unseen. False when it cannot be
// kept (the folder is then read by the caller).
Listing *NewListing(const std::string &dir, const struct stat &dirSt) {
  Listings &l = L();
  if (l.unavailable) return nullptr;
  if (l.fd < 0) {
    l.fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (l.fd < 0) {
      l.unavailable = true;
      return nullptr;
    }
  }
  int watch = inotify_add_watch(l.fd, dir.c_str(),
                                IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF |
                                    IN_MOVE_SELF | IN_ONLYDIR);
  // The same folder reached by another path (a link) shares one watch: keep one.
  if (watch < 0 || l.byWatch.count(watch)) return nullptr;
  DIR *d = opendir(dir.c_str());
  struct stat st;
  if (!d || fstat(dirfd(d), &st) != 0 || st.st_dev != dirSt.st_dev || st.st_ino != dirSt.st_ino) {
    if (d) closedir(d);
    inotify_rm_watch(l.fd, watch);
    return nullptr;
  }
  Listing &listing = l.byFolder[dir];
  listing.dev = st.st_dev;
  listing.ino = st.st_ino;
  listing.watch = watch;
  l.byWatch[watch] = dir;
  while (struct dirent *e = readdir(d)) {
    if (strcmp(e->d_name, ".") && strcmp(e->d_name, "..")) AddName(listing, e->d_name);
  }
  closedir(d);
  return &listing;
}

// The entry of folder dir whose name equals name ignoring ASCII case, from
// the folder's listing (or its reading); "" when there is none.
std::string FindFolded(const std::string &dir, const struct stat &dirSt, const std::string &name) {
  ApplyEvents();
  Listings &l = L();
  auto it = l.byFolder.find(dir);
  Listing *listing = it == l.byFolder.end() ? nullptr : &it->second;
  if (listing && (listing->dev != dirSt.st_dev || listing->ino != dirSt.st_ino)) {
    DropListing(dir, true);  // another folder now stands at this path
    listing = nullptr;
  }
  if (!listing) listing = NewListing(dir, dirSt);
  if (listing) {
    auto found = listing->names.find(Folded(name.c_str()));
    return found == listing->names.end() ? std::string() : found->second;
  }
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

// The entry of folder dir (whose stat is dirSt) whose name equals name,
// ignoring ASCII case. The exact spelling wins; "" when there is none.
// *exact tells that the exact spelling is there (then *lst is its lstat).
// absent says that the caller's stat has just found no usable entry of the
// exact spelling: the look at it is then left out unless another spelling
// turns up (a link to nothing of the exact spelling still wins over that).
std::string FindEntry(const std::string &dir, const struct stat &dirSt, const std::string &name,
                      bool *exact, struct stat *lst, bool absent) {
  *exact = !absent && lstat((dir + "/" + name).c_str(), lst) == 0;
  if (*exact) return name;
  std::string found = FindFolded(dir, dirSt, name);
  if (absent && !found.empty() && found != name && lstat((dir + "/" + name).c_str(), lst) == 0) {
    *exact = true;
    return name;
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
bool DriveFolder(char letter, std::string *host, struct stat *st) {
  *host = Root() + "/" + Lower(letter);
  if (stat(host->c_str(), st) == 0) return S_ISDIR(st->st_mode);
  if (Lower(letter) != 'c') return false;
  mkdir(Root().c_str(), 0777);
  return mkdir(host->c_str(), 0777) == 0 && stat(host->c_str(), st) == 0;
}

void StartPaths() {
  // C:\ always exists, and so does the Windows directory.
  std::string drive;
  struct stat st;
  DriveFolder('C', &drive, &st);
  MappedPath m;
  if (MapPathInfo("C:\\WINDOWS", &m) == 0 && !m.exists) mkdir(m.host.c_str(), 0777);
}

void ResetPaths() {
  Cwd() = "C:\\";
  DropAllListings();
}

const int registered = (OnStart(StartPaths), OnReset(ResetPaths), 0);

}  // namespace

const std::string &CurrentDir() { return Cwd(); }

namespace {

// Adds one part of a path to full, which holds "X:\" and the parts so far,
// each followed by a backslash: "" and "." add nothing, ".." takes the last
// part away (never the drive's root).
void AddPart(std::string *full, const char *p, size_t n) {
  if (n == 0 || (n == 1 && p[0] == '.')) return;
  if (n == 2 && p[0] == '.' && p[1] == '.') {
    if (full->size() > 3) full->resize(full->rfind('\\', full->size() - 2) + 1);
    return;
  }
  full->append(p, n);
  full->push_back('\\');
}

// Adds every backslash-separated part of p[0..n) to full.
void AddParts(std::string *full, const char *p, size_t n) {
  size_t start = 0;
  for (size_t i = 0; i <= n; i++) {
    if (i == n || p[i] == '\\') {
      AddPart(full, p + start, i - start);
      start = i + 1;
    }
  }
}

}  // namespace

DWORD FullPath(const char *winpath, std::string *full) {
  (void)registered;
  if (!winpath) return ERROR_INVALID_PARAMETER;
  if (!*winpath) return ERROR_INVALID_NAME;
  std::string s = winpath;
  for (char &c : s)
    if (c == '/') c = '\\';
  if (s.size() >= 2 && s[0] == '\\' && s[1] == '\\') return ERROR_BAD_PATHNAME;  // no network

  const std::string &cwd = Cwd();
  const char *base = "";  // the folder a relative path starts from, after "X:\"
  size_t restAt;          // where the path's own parts begin in s
  bool trailing = false;
  char drive;
  if (s.size() >= 2 && IsLetter(s[0]) && s[1] == ':') {
    drive = s[0];
    if (s.size() >= 3 && s[2] == '\\') {
      restAt = 3;
    } else {
      // "X:name" is relative to the current directory when X: is its drive,
      // else to that drive's root; a bare "X:" names the folder itself.
      if (Lower(s[0]) == Lower(cwd[0])) base = cwd.c_str() + 3;
      restAt = 2;
      if (s.size() == 2) trailing = true;
    }
  } else if (s[0] == '\\') {
    drive = cwd[0];
    restAt = 1;
  } else {
    drive = cwd[0];
    base = cwd.c_str() + 3;
    restAt = 0;
  }
  const char *rest = s.c_str() + restAt;
  size_t restLen = s.size() - restAt;
  if (restLen && rest[restLen - 1] == '\\') trailing = true;

  full->clear();
  full->push_back(drive);
  full->append(":\\");
  AddParts(full, base, strlen(base));
  // The last part loses its trailing dots and spaces; when nothing is left
  // of it, the path names the folder above it, with a backslash.
  size_t lastAt = restLen;
  while (lastAt && rest[lastAt - 1] != '\\') lastAt--;
  size_t lastLen = restLen - lastAt;
  const char *last = rest + lastAt;
  bool dots = (lastLen == 1 && last[0] == '.') || (lastLen == 2 && last[0] == '.' && last[1] == '.');
  if (lastLen && !dots) {
    while (lastLen && (last[lastLen - 1] == '.' || last[lastLen - 1] == ' ')) lastLen--;
    if (!lastLen) trailing = true;
  }
  if (lastAt) AddParts(full, rest, lastAt - 1);
  AddPart(full, last, lastLen);
  if (!trailing && full->size() > 3) full->pop_back();
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

  std::string rel = full.substr(3);
  if (!rel.empty() && rel.back() == '\\') {
    rel.pop_back();
    m->trailing = true;
  }
  m->root = rel.empty();
  std::string host = Root() + "/" + Lower(full[0]);
  size_t start = 0;
  struct stat st;

  // Most paths are spelled as they stand on disk: then one stat answers, and
  // when only the last name is missing, two do.
  std::vector<std::string> parts;
  if (!m->root) {
    std::string exact = host + "/" + rel;
    size_t lastSlash = 0;
    for (size_t i = host.size() + 1; i < exact.size(); i++) {
      if (exact[i] == '\\') {
        exact[i] = '/';
        lastSlash = i;
      }
    }
    if (stat(exact.c_str(), &st) == 0) {
      m->exists = true;
      m->dir = S_ISDIR(st.st_mode);
      m->st = st;
      m->host = exact;
      return 0;
    }
    Split(rel, &parts);
    if (lastSlash) {
      exact.resize(lastSlash);
      if (stat(exact.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        host = exact;
        start = parts.size() - 1;
      }
    }
  }
  size_t n = parts.size();
  if (start == 0 && !DriveFolder(full[0], &host, &st)) return ERROR_PATH_NOT_FOUND;

  for (size_t i = start; i < n; i++) {
    bool exact = false;
    struct stat lst;
    // The parent stood as spelled: the first stat already missed this name.
    bool absent = start > 0 && i == start;
    std::string name = FindEntry(host, st, parts[i], &exact, &lst, absent);
    bool last = i + 1 == n;
    if (name.empty()) {
      if (!last) return ERROR_PATH_NOT_FOUND;
      name = parts[i];
    }
    host += "/" + name;
    bool there = (exact && !S_ISLNK(lst.st_mode)) ? (st = lst, true)
                 : name == parts[i] && !exact      ? false  // nothing of that name at all
                                                   : stat(host.c_str(), &st) == 0;
    if (!last && (!there || !S_ISDIR(st.st_mode))) return ERROR_PATH_NOT_FOUND;
    if (last) {
      m->exists = there;
      m->dir = there && S_ISDIR(st.st_mode);
      if (there) m->st = st;
    }
  }
  if (m->root) {
    m->exists = m->dir = true;
    m->st = st;
  }
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
