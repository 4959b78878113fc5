// Listing a folder: FindFirstFileA, FindNextFileA and FindClose. A search
// reads the whole folder when it starts and hands out the matching entries
// sorted by name, ignoring case; "." and ".." come first in every folder but
// a drive's root, as on Windows. An entry that is a link in the sandbox is
// reported with FILE_ATTRIBUTE_REPARSE_POINT, as Windows reports a junction.
#include <dirent.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "internal.h"
#include "winhost_test.h"

namespace wh {
namespace {

struct Found {
  std::string name;
  DWORD attributes = 0;
  unsigned long long size = 0;
  time_t mtime = 0;
};

struct Search {
  std::vector<Found> entries;
  size_t next = 0;
};

std::map<HANDLE, Search> &Searches() {
  static std::map<HANDLE, Search> s;
  return s;
}

void ResetSearches() {
  for (auto &kv : Searches()) CloseFile(kv.first);
  Searches().clear();
}

const int registered = (OnReset(ResetSearches), 0);

// Does name match pattern, with '*' for any run and '?' for one character,
// ignoring case? "*.*" matches every name, also those without a dot.
bool Matches(const char *pattern, const char *name) {
  if (strcmp(pattern, "*.*") == 0) return true;
  const char *star = nullptr, *resume = nullptr;
  while (*name) {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern == '?' || (*pattern && tolower((unsigned char)*pattern) == tolower((unsigned char)*name))) {
      pattern++;
      name++;
    } else if (star) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') pattern++;
  return *pattern == 0;
}

Found Describe(const std::string &name, const std::string &host) {
  Found f;
  f.name = name;
  struct stat lst, st;
  bool link = lstat(host.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode);
  if (stat(host.c_str(), &st) != 0) st = lst;
  if (S_ISDIR(st.st_mode)) {
    f.attributes = FILE_ATTRIBUTE_DIRECTORY;
  } else {
    // Files always carry the archive bit, as GetFileAttributesA reports them.
    f.attributes = FILE_ATTRIBUTE_ARCHIVE | ((st.st_mode & 0222) == 0 ? FILE_ATTRIBUTE_READONLY : 0);
    f.size = (unsigned long long)st.st_size;
  }
  if (link) f.attributes |= FILE_ATTRIBUTE_REPARSE_POINT;
  f.mtime = st.st_mtime;
  return f;
}

void Fill(const Found &f, LPWIN32_FIND_DATAA data) {
  memset(data, 0, sizeof *data);
  data->dwFileAttributes = f.attributes;
  // Seconds since 1970 as 100-nanosecond steps since 1601.
  unsigned long long t = ((unsigned long long)f.mtime + 11644473600ull) * 10000000ull;
  data->ftLastWriteTime.dwLowDateTime = (DWORD)t;
  data->ftLastWriteTime.dwHighDateTime = (DWORD)(t >> 32);
  data->ftCreationTime = data->ftLastWriteTime;
  data->ftLastAccessTime = data->ftLastWriteTime;
  data->nFileSizeHigh = (DWORD)(f.size >> 32);
  data->nFileSizeLow = (DWORD)f.size;
  size_t n = std::min(f.name.size(), sizeof data->cFileName - 1);
  memcpy(data->cFileName, f.name.data(), n);
}

}  // namespace
}  // namespace wh

HANDLE WINAPI FindFirstFileA(LPCSTR lpFileName, LPWIN32_FIND_DATAA lpFindFileData) {
  if (wh::Fail("FindFirstFileA", ERROR_NOT_ENOUGH_MEMORY)) return INVALID_HANDLE_VALUE;
  if (!lpFileName || !lpFindFileData) {
    wh::SetError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  // The folder is mapped as any path is; the last part is the pattern.
  std::string text = lpFileName;
  size_t slash = text.find_last_of("\\/");
  std::string folder = slash == std::string::npos ? "." : text.substr(0, slash + 1);
  std::string pattern = slash == std::string::npos ? text : text.substr(slash + 1);
  wh::MappedPath m;
  DWORD err = wh::MapPathInfo(folder.c_str(), &m);
  if (!err && (!m.exists || !m.dir)) err = ERROR_PATH_NOT_FOUND;
  if (!err && pattern.empty()) err = ERROR_FILE_NOT_FOUND;
  if (err) {
    wh::SetError(err);
    return INVALID_HANDLE_VALUE;
  }
  wh::Search search;
  std::vector<wh::Found> names;
  if (DIR *d = opendir(m.host.c_str())) {
    while (struct dirent *e = readdir(d)) {
      if (!strcmp(e->d_name, ".") || !strcmp(e->d_name, "..")) continue;
      if (wh::Matches(pattern.c_str(), e->d_name)) names.push_back(wh::Describe(e->d_name, m.host + "/" + e->d_name));
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end(), [](const wh::Found &a, const wh::Found &b) {
    int c = strcasecmp(a.name.c_str(), b.name.c_str());
    return c != 0 ? c < 0 : a.name < b.name;
  });
  if (!m.root) {
    for (const char *dots : {".", ".."}) {
      if (!wh::Matches(pattern.c_str(), dots)) continue;
      wh::Found f = wh::Describe(dots, m.host);
      f.attributes &= ~(DWORD)FILE_ATTRIBUTE_REPARSE_POINT;
      f.name = dots;
      search.entries.push_back(f);
    }
  }
  search.entries.insert(search.entries.end(), names.begin(), names.end());
  if (search.entries.empty()) {
    wh::SetError(ERROR_FILE_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  wh::Fill(search.entries[0], lpFindFileData);
  search.next = 1;
  HANDLE h = wh::NewDummyHandle();
  wh::Searches()[h] = search;
  return h;
}

BOOL WINAPI FindNextFileA(HANDLE hFindFile, LPWIN32_FIND_DATAA lpFindFileData) {
  if (wh::Fail("FindNextFileA", ERROR_NOT_ENOUGH_MEMORY)) return FALSE;
  auto it = wh::Searches().find(hFindFile);
  if (it == wh::Searches().end() || !lpFindFileData) {
    wh::SetError(it == wh::Searches().end() ? ERROR_INVALID_HANDLE : ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  wh::Search &s = it->second;
  if (s.next >= s.entries.size()) {
    wh::SetError(ERROR_NO_MORE_FILES);
    return FALSE;
  }
  wh::Fill(s.entries[s.next++], lpFindFileData);
  return TRUE;
}

BOOL WINAPI FindClose(HANDLE hFindFile) {
  auto it = wh::Searches().find(hFindFile);
  bool failed = wh::Fail("FindClose", ERROR_INVALID_HANDLE);
  // A failed close leaves no usable search behind either.
  if (it != wh::Searches().end()) {
    wh::CloseFile(hFindFile);
    wh::Searches().erase(it);
  } else if (!failed) {
    wh::SetError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return !failed;
}

namespace winhost {
int OpenFindHandles() { return (int)wh::Searches().size(); }
}  // namespace winhost
