// The registry: six independent trees under the predefined root keys, kept in
// memory and written to $WINHOST_ROOT/registry.reg (REGEDIT4 text) after
// every change. The file is read when the process starts; when there is none
// yet, a Windows 95-like machine is seeded. Key handles are small numbers in
// a table; a handle keeps its key alive after the key is deleted, so that it
// can answer ERROR_KEY_DELETED.
#include <errno.h>
#include <stdio.h>
#include <string.h>

#include <filesystem>
#include <map>
#include <memory>

#include "internal.h"
#include "winhost_test.h"

namespace {

struct Key;
typedef std::shared_ptr<Key> KeyPtr;

struct Key : std::enable_shared_from_this<Key> {
  std::string name;                  // as it was created
  Key *parent = nullptr;             // null for a root
  bool deleted = false;
  std::map<std::string, KeyPtr> kids;  // by folded name, the order Windows lists them in
  std::vector<wh::RegValue> values;    // in the order they were first set
};

const ULONG_PTR kRootBase = 0x80000000u;
const int kRootCount = 7;  // HKEY_CLASSES_ROOT .. HKEY_DYN_DATA; 4 is HKEY_PERFORMANCE_DATA
const int kPerformanceData = 4;
const char *const kRootNames[kRootCount] = {
    "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS",
    "HKEY_PERFORMANCE_DATA", "HKEY_CURRENT_CONFIG", "HKEY_DYN_DATA"};
const char *const kRootShortNames[kRootCount] = {"HKCR", "HKCU", "HKLM", "HKU",
                                                 "HKPD", "HKCC", "HKDD"};

struct Registry {
  bool loaded = false;
  KeyPtr roots[kRootCount];
  std::map<ULONG_PTR, KeyPtr> handles;
  ULONG_PTR next_handle = 0x1000;
};

Registry &R() {
  static Registry r;
  return r;
}

// Key and value names compare as Windows compares them: case-insensitively,
// in the ANSI code page (Windows-1252), so "Äpfel" and "äpfel" are one key.
unsigned char FoldChar(unsigned char c) {
  if (c >= 'a' && c <= 'z') return (unsigned char)(c - 32);
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return (unsigned char)(c - 32);
  switch (c) {
    case 0x9A: return 0x8A;  // š
    case 0x9C: return 0x8C;  // œ
    case 0x9E: return 0x8E;  // ž
    case 0xFF: return 0x9F;  // ÿ
  }
  return c;
}

std::string Fold(const std::string &s) {
  std::string out = s;
  for (char &c : out) c = (char)FoldChar((unsigned char)c);
  return out;
}

bool SameName(const std::string &a, const std::string &b) { return Fold(a) == Fold(b); }

// A line end cannot be written inside a REGEDIT4 section header or value name.
bool Writable(const std::string &name) { return name.find_first_of("\r\n") == std::string::npos; }

std::string FilePath() { return wh::Root() + "/registry.reg"; }

// ---- Writing the file ----

void CollectSections(const Key &k, const std::string &path, std::vector<wh::RegSection> *out) {
  wh::RegSection s;
  s.path = path;
  s.values = k.values;
  out->push_back(s);
  for (const auto &kid : k.kids) CollectSections(*kid.second, path + "\\" + kid.second->name, out);
}

void Save() {
  std::vector<wh::RegSection> sections;
  for (int i = 0; i < kRootCount; i++) {
    const KeyPtr &root = R().roots[i];
    if (!root) continue;
    // A root always exists; its section is written only when it holds values.
    if (!root->values.empty()) {
      wh::RegSection s;
      s.path = kRootNames[i];
      s.values = root->values;
      sections.push_back(s);
    }
    for (const auto &kid : root->kids)
      CollectSections(*kid.second, std::string(kRootNames[i]) + "\\" + kid.second->name, &sections);
  }
  std::string text = wh::FormatRegedit4(sections);
  std::string path = FilePath(), tmp = path + ".tmp";
  FILE *f = fopen(tmp.c_str(), "wb");
  bool ok = f && fwrite(text.data(), 1, text.size(), f) == text.size();
  if (f && fclose(f) != 0) ok = false;
  if (!ok || rename(tmp.c_str(), path.c_str()) != 0)
    wh::Die(2, "cannot write the registry file " + path + ": " + strerror(errno));
}

// ---- The tree ----

Key *Child(Key *k, const std::string &name) {
  auto it = k->kids.find(Fold(name));
  return it == k->kids.end() ? nullptr : it->second.get();
}

Key *AddChild(Key *k, const std::string &name) {
  KeyPtr kid = std::make_shared<Key>();
  kid->name = name;
  kid->parent = k;
  Key *raw = kid.get();
  k->kids[Fold(name)] = kid;
  return raw;
}

void MarkDeleted(Key *k) {
  k->deleted = true;
  for (auto &kid : k->kids) MarkDeleted(kid.second.get());
}

// Takes k (not a root) out of the tree; handles on it keep it alive.
void Unlink(Key *k) {
  MarkDeleted(k);
  k->parent->kids.erase(Fold(k->name));
}

wh::RegValue *FindValue(Key *k, const std::string &name) {
  for (auto &v : k->values)
    if (SameName(v.name, name)) return &v;
  return nullptr;
}

void SetValue(Key *k, const std::string &name, DWORD type, const std::string &data) {
  if (wh::RegValue *v = FindValue(k, name)) {
    v->type = type;
    v->data = data;
    return;
  }
  wh::RegValue v;
  v.name = name;
  v.type = type;
  v.data = data;
  k->values.push_back(v);
}

bool DeleteValue(Key *k, const std::string &name) {
  for (size_t i = 0; i < k->values.size(); i++) {
    if (SameName(k->values[i].name, name)) {
      k->values.erase(k->values.begin() + (long)i);
      return true;
    }
  }
  return false;
}

// The components of a sub-key path. A leading backslash is refused
// (ERROR_BAD_PATHNAME, as Windows NT does); empty components, from a trailing
// or doubled backslash, are passed over.
DWORD SplitPath(const char *sub, std::vector<std::string> *parts) {
  parts->clear();
  if (!sub) return 0;
  if (sub[0] == '\\') return ERROR_BAD_PATHNAME;
  std::string part;
  for (const char *p = sub;; p++) {
    if (*p == '\\' || *p == 0) {
      if (!part.empty()) parts->push_back(part);
      part.clear();
      if (!*p) break;
    } else {
      part += *p;
    }
  }
  return 0;
}

// ---- Handles ----

bool IsRootValue(ULONG_PTR v) { return v >= kRootBase && v < kRootBase + kRootCount; }

// The key a handle names. A handle on a deleted key is found with
// ERROR_KEY_DELETED (and the key itself, for the calls that still work on it).
DWORD Resolve(HKEY h, Key **out) {
  ULONG_PTR v = (ULONG_PTR)h;
  *out = nullptr;
  if (IsRootValue(v)) {
    if (v - kRootBase == kPerformanceData) return ERROR_INVALID_HANDLE;
    *out = R().roots[v - kRootBase].get();
    return 0;
  }
  auto it = R().handles.find(v);
  if (it == R().handles.end()) return ERROR_INVALID_HANDLE;
  *out = it->second.get();
  return it->second->deleted ? ERROR_KEY_DELETED : 0;
}

HKEY NewHandle(Key *k) {
  ULONG_PTR v = R().next_handle;
  R().next_handle += 4;
  R().handles[v] = k->shared_from_this();
  return (HKEY)v;
}

// Walks parts below k. Returns ERROR_FILE_NOT_FOUND at the first missing one.
DWORD Walk(Key *k, const std::vector<std::string> &parts, Key **out) {
  for (const std::string &p : parts) {
    k = Child(k, p);
    if (!k) return ERROR_FILE_NOT_FOUND;
  }
  *out = k;
  return 0;
}

// ---- Loading and seeding ----

int RootIndex(const std::string &name) {
  for (int i = 0; i < kRootCount; i++)
    if (i != kPerformanceData && (SameName(name, kRootNames[i]) || SameName(name, kRootShortNames[i])))
      return i;
  return -1;
}

void NewRoots() {
  for (int i = 0; i < kRootCount; i++) {
    R().roots[i] = i == kPerformanceData ? nullptr : std::make_shared<Key>();
    if (R().roots[i]) R().roots[i]->name = kRootNames[i];
  }
}

Key *Ensure(Key *k, const std::vector<std::string> &parts) {
  for (const std::string &p : parts) {
    Key *kid = Child(k, p);
    k = kid ? kid : AddChild(k, p);
  }
  return k;
}

void Load(const std::string &text) {
  std::string path = FilePath(), error;
  std::vector<wh::RegSection> sections;
  if (!wh::ParseRegedit4(text, &sections, &error))
    wh::Die(2, "the registry file " + path + " is not valid REGEDIT4, " + error +
                   " (fix or remove the file)");
  for (const wh::RegSection &s : sections) {
    size_t slash = s.path.find('\\');
    int root = RootIndex(s.path.substr(0, slash));
    if (root < 0)
      wh::Die(2, "the registry file " + path + ", line " + std::to_string(s.line) +
                     ": unknown root key in [" + s.path + "] (fix or remove the file)");
    // A file may have doubled backslashes anywhere below the root.
    const char *below = slash == std::string::npos ? "" : s.path.c_str() + slash;
    while (*below == '\\') below++;
    std::vector<std::string> parts;
    SplitPath(below, &parts);
    Key *top = R().roots[root].get();
    if (s.remove) {
      Key *k;
      if (!parts.empty() && Walk(top, parts, &k) == 0) Unlink(k);
      continue;
    }
    Key *k = Ensure(top, parts);
    for (const wh::RegValue &v : s.values) {
      if (v.remove)
        DeleteValue(k, v.name);
      else
        SetValue(k, v.name, v.type, v.data);
    }
  }
}

void SetString(Key *k, const char *name, const char *text) {
  SetValue(k, name, REG_SZ, std::string(text, strlen(text) + 1));
}

// A fresh Windows 95-like machine: the all-files class, the uninstall list
// and the user's shell folders, which also exist as folders on drive C:.
void Seed() {
  Ensure(R().roots[0].get(), {"*"});
  Ensure(R().roots[2].get(), {"Software", "Microsoft", "Windows", "CurrentVersion", "Uninstall"});
  Key *folders = Ensure(R().roots[1].get(), {"Software", "Microsoft", "Windows", "CurrentVersion",
                                             "Explorer", "Shell Folders"});
  SetString(folders, "Desktop", "C:\\WINDOWS\\Desktop");
  SetString(folders, "Start Menu", "C:\\WINDOWS\\Start Menu");
  SetString(folders, "Programs", "C:\\WINDOWS\\Start Menu\\Programs");
  Save();
  std::error_code ec;
  std::string windows = wh::Root() + "/c/WINDOWS";
  std::filesystem::create_directories(windows + "/Desktop", ec);
  std::filesystem::create_directories(windows + "/Start Menu/Programs", ec);
}

void Drop() {
  Registry &r = R();
  r.handles.clear();
  for (auto &root : r.roots) root.reset();
  r.loaded = false;
}

void LoadOrSeed() {
  Registry &r = R();
  if (r.loaded) return;
  r.loaded = true;
  NewRoots();
  std::string path = FilePath();
  FILE *f = fopen(path.c_str(), "rb");
  if (!f) {
    if (errno != ENOENT)
      wh::Die(2, "cannot read the registry file " + path + ": " + strerror(errno));
    Seed();
    return;
  }
  std::string text;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  bool bad = ferror(f);
  fclose(f);
  if (bad) wh::Die(2, "cannot read the registry file " + path);
  Load(text);
}

struct Hooks {
  Hooks() {
    wh::OnStart(LoadOrSeed);
    wh::OnReset(Drop);
  }
} g_hooks;

// Every call: counted, maybe failed, then the registry is there.
bool Enter(const char *api, DWORD err) {
  if (wh::Fail(api, err)) return true;
  LoadOrSeed();
  return false;
}

bool EmptyPath(const char *sub) { return !sub || !*sub; }

LONG OpenKey(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult, bool same_for_empty) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  ULONG_PTR v = (ULONG_PTR)hKey;
  // An empty sub-key gives the key passed in: RegOpenKeyA always hands back
  // the same handle, RegOpenKeyExA only for a predefined root.
  if (EmptyPath(lpSubKey) && (same_for_empty || IsRootValue(v))) {
    if (!IsRootValue(v) && !R().handles.count(v)) {
      *phkResult = nullptr;
      return ERROR_INVALID_HANDLE;
    }
    *phkResult = hKey;
    return ERROR_SUCCESS;
  }
  *phkResult = nullptr;
  Key *k;
  if (DWORD err = Resolve(hKey, &k)) return (LONG)err;
  std::vector<std::string> parts;
  if (DWORD err = SplitPath(lpSubKey, &parts)) return (LONG)err;
  if (DWORD err = Walk(k, parts, &k)) return (LONG)err;
  *phkResult = NewHandle(k);
  return ERROR_SUCCESS;
}

}  // namespace

// ---- Win32 ----

LONG WINAPI RegOpenKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
  if (Enter("RegOpenKeyA", ERROR_ACCESS_DENIED)) return ERROR_ACCESS_DENIED;
  return OpenKey(hKey, lpSubKey, phkResult, true);
}

LONG WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM, PHKEY phkResult) {
  if (Enter("RegOpenKeyExA", ERROR_ACCESS_DENIED)) return ERROR_ACCESS_DENIED;
  return OpenKey(hKey, lpSubKey, phkResult, false);
}

LONG WINAPI RegCreateKeyA(HKEY hKey, LPCSTR lpSubKey, PHKEY phkResult) {
  if (Enter("RegCreateKeyA", ERROR_ACCESS_DENIED)) return ERROR_ACCESS_DENIED;
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  Key *k;
  if (DWORD err = Resolve(hKey, &k)) return (LONG)err;
  std::vector<std::string> parts;
  if (DWORD err = SplitPath(lpSubKey, &parts)) return (LONG)err;
  for (const std::string &p : parts)
    if (!Writable(p)) return ERROR_INVALID_PARAMETER;
  bool created = false;
  for (const std::string &p : parts) {
    Key *kid = Child(k, p);
    if (!kid) {
      kid = AddChild(k, p);
      created = true;
    }
    k = kid;
  }
  if (created) Save();
  *phkResult = NewHandle(k);
  return ERROR_SUCCESS;
}

LONG WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType,
                           const BYTE *lpData, DWORD cbData) {
  if (Enter("RegSetValueExA", ERROR_ACCESS_DENIED)) return ERROR_ACCESS_DENIED;
  Key *k;
  if (DWORD err = Resolve(hKey, &k)) return (LONG)err;
  if (!lpData && cbData) return ERROR_NOACCESS;
  std::string name = lpValueName ? lpValueName : "";
  if (!Writable(name)) return ERROR_INVALID_PARAMETER;
  // A string whose count leaves out the terminator that follows it is stored
  // with that terminator, as Windows NT does (it reads the byte after the
  // data to see). A string followed by anything else is stored as given,
  // without a terminator.
  bool text = dwType == REG_SZ || dwType == REG_EXPAND_SZ || dwType == REG_MULTI_SZ;
  if (text && lpData && cbData && lpData[cbData - 1] != 0 && lpData[cbData] == 0) cbData++;
  SetValue(k, name, dwType, std::string((const char *)lpData, lpData ? cbData : 0));
  Save();
  return ERROR_SUCCESS;
}

LONG WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                             LPBYTE lpData, LPDWORD lpcbData) {
  if (Enter("RegQueryValueExA", ERROR_ACCESS_DENIED)) return ERROR_ACCESS_DENIED;
  Key *k;
  if (DWORD err = Resolve(hKey, &k)) return (LONG)err;
  if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  const wh::RegValue *v = FindValue(k, lpValueName ? lpValueName : "");
  if (!v) return ERROR_FILE_NOT_FOUND;
  // The bytes as stored: a string stored without its terminator (from a
  // hex(1): list in the file, or set with a count that left it out) is handed
  // out and counted without one, and nothing is written after it.
  const std::string &data = v->data;
  if (lpType) *lpType = v->type;
  DWORD size = (DWORD)data.size();
  if (lpData && *lpcbData < size) {
    *lpcbData = size;
    return ERROR_MORE_DATA;
  }
  if (lpData) memcpy(lpData, data.data(), size);
  if (lpcbData) *lpcbData = size;
  return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteKeyA(HKEY hKey, LPCSTR lpSubKey) {
  if (Enter("RegDeleteKeyA", ERROR_ACCESS_DENIED)) return ERROR_ACCESS_DENIED;
  Key *k;
  if (DWORD err = Resolve(hKey, &k)) return (LONG)err;
  if (!lpSubKey) return ERROR_INVALID_PARAMETER;
  std::vector<std::string> parts;
  if (DWORD err = SplitPath(lpSubKey, &parts)) return (LONG)err;
  if (DWORD err = Walk(k, parts, &k)) return (LONG)err;
  // Never recursive: a key with sub-keys stays, as Windows NT has it. A root
  // cannot be deleted at all.
  if (!k->parent || !k->kids.empty()) return ERROR_ACCESS_DENIED;
  Unlink(k);
  Save();
  return ERROR_SUCCESS;
}

LONG WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
  if (Enter("RegDeleteValueA", ERROR_ACCESS_DENIED)) return ERROR_ACCESS_DENIED;
  Key *k;
  if (DWORD err = Resolve(hKey, &k)) return (LONG)err;
  if (!DeleteValue(k, lpValueName ? lpValueName : "")) return ERROR_FILE_NOT_FOUND;
  Save();
  return ERROR_SUCCESS;
}

LONG WINAPI RegCloseKey(HKEY hKey) {
  // A failed close leaves the handle open.
  if (Enter("RegCloseKey", ERROR_INVALID_HANDLE)) return ERROR_INVALID_HANDLE;
  ULONG_PTR v = (ULONG_PTR)hKey;
  if (IsRootValue(v)) return ERROR_SUCCESS;
  return R().handles.erase(v) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

// ---- Test API ----

namespace winhost {

int OpenKeyHandles() { return (int)R().handles.size(); }

void ReloadRegistry() {
  wh::Init();
  Drop();
  LoadOrSeed();
}

}  // namespace winhost
