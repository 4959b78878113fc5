// COM and the shell link object: initialisation results, the class table,
// the interfaces, and the file that Save writes (read back byte by byte);
// then the ANSI code page conversions.
#include "conformance.h"

namespace {

const GUID kBogus = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
const char kArgs[] = "/p \"a b.txt\"";
const char kDesc[] = "Link \xe9\x80";  // e acute, euro sign
const WCHAR kDescWide[] = {'L', 'i', 'n', 'k', ' ', 0x00E9, 0x20AC};

DWORD Get32(const unsigned char *p) {
  return p[0] | p[1] << 8 | p[2] << 16 | (DWORD)p[3] << 24;
}
unsigned Get16(const unsigned char *p) { return p[0] | p[1] << 8; }

bool MakeFile(const char *path, const char *text) {
  HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD n = 0;
  BOOL ok = WriteFile(h, text, (DWORD)strlen(text), &n, NULL);
  CloseHandle(h);
  return ok && n == strlen(text);
}

DWORD ReadAll(const char *path, unsigned char *buf, DWORD cap) {
  HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  if (h == INVALID_HANDLE_VALUE) return 0;
  DWORD n = 0;
  if (!ReadFile(h, buf, cap, &n, NULL)) n = 0;
  CloseHandle(h);
  return n;
}

HRESULT SaveAs(IPersistFile *file, const char *path) {
  WCHAR wide[MAX_PATH];
  if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH) == 0) return E_FAIL;
  return file->Save(wide, TRUE);
}

// The link file: header, CLSID, flags, LinkInfo with the target's local path,
// and the description as UTF-16 StringData.
void CheckLinkFile(const char *lnk, const char *target) {
  static unsigned char b[4096];
  DWORD n = ReadAll(lnk, b, sizeof b);
  CHECK(n >= 0x4C + 4);
  if (n < 0x4C + 4) return;
  const unsigned char clsid[16] = {0x01, 0x14, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00,
                                   0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
  CHECK_EQ(Get32(b), 0x4C);
  CHECK(memcmp(b + 4, clsid, 16) == 0);
  DWORD flags = Get32(b + 0x14);
  CHECK(flags & 0x02);  // HasLinkInfo
  CHECK(flags & 0x04);  // HasName
  CHECK(flags & 0x20);  // HasArguments
  CHECK(flags & 0x80);  // IsUnicode
  CHECK_EQ(Get32(b + 0x3C), SW_SHOWNORMAL);
  CHECK_EQ(Get32(b + n - 4), 0);  // terminal block

  DWORD at = 0x4C;
  if (flags & 0x01) at += 2 + Get16(b + at);  // an item id list comes first
  CHECK(at + 0x1C <= n);
  if (at + 0x1C > n) return;
  const unsigned char *info = b + at;
  DWORD info_size = Get32(info);
  CHECK(at + info_size <= n);
  if (at + info_size > n) return;
  CHECK_EQ(Get32(info + 8) & 1, 1);  // VolumeID and LocalBasePath
  DWORD volume = Get32(info + 12), base = Get32(info + 16), suffix = Get32(info + 24);
  CHECK(volume < info_size && base < info_size && suffix < info_size);
  if (volume >= info_size || base >= info_size || suffix >= info_size) return;
  CHECK_EQ(Get32(info + volume + 4), 3);  // DRIVE_FIXED
  CHECK_STR((const char *)info + base, target);
  CHECK_STR((const char *)info + suffix, "");

  // NAME_STRING comes first of the strings. A count may or may not include a
  // terminator; the characters before it are the description.
  DWORD s = at + info_size;
  CHECK(s + 2 <= n);
  if (s + 2 > n) return;
  unsigned count = Get16(b + s);
  const unsigned want = sizeof kDescWide / sizeof kDescWide[0];
  CHECK(count == want || (count == want + 1 && Get16(b + s + 2 + 2 * want) == 0));
  bool same = s + 2 + 2 * want <= n;
  for (unsigned i = 0; same && i < want; i++) same = Get16(b + s + 2 + 2 * i) == kDescWide[i];
  CHECK(same);
}

void ShellLink() {
  char target[MAX_PATH], lnk[MAX_PATH], missing[MAX_PATH], folder[MAX_PATH];
  WorkPath(target, "notepad.exe");
  WorkPath(lnk, "Notepad.lnk");
  WorkPath(missing, "missing\\Notepad.lnk");
  WorkPath(folder, "sub");
  CHECK(MakeFile(target, "MZ placeholder"));
  CHECK(CreateDirectoryA(folder, NULL));

  void *p = (void *)1;
  CHECK_EQ(CoInitialize(NULL), S_OK);
  CHECK_EQ(CoInitialize(NULL), S_FALSE);  // already initialised on this thread
  CoUninitialize();
  CHECK_EQ(CoCreateInstance(kBogus, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, &p),
           REGDB_E_CLASSNOTREG);
  CHECK(p == NULL);

  IShellLinkA *link = NULL;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                (void **)&link);
  CHECK_EQ(hr, S_OK);
  if (hr == S_OK) {
    char got[MAX_PATH];
    CHECK_EQ(link->SetPath(target), S_OK);
    CHECK_EQ(link->SetArguments(kArgs), S_OK);
    CHECK_EQ(link->SetDescription(kDesc), S_OK);
    CHECK_EQ(link->GetPath(got, MAX_PATH, NULL, 0), S_OK);
    CHECK_STR(got, target);
    CHECK_EQ(link->GetArguments(got, MAX_PATH), S_OK);
    CHECK_STR(got, kArgs);
    CHECK_EQ(link->GetDescription(got, MAX_PATH), S_OK);
    CHECK_STR(got, kDesc);
    p = (void *)1;
    CHECK_EQ(link->QueryInterface(kBogus, &p), E_NOINTERFACE);
    CHECK(p == NULL);
    IPersistFile *file = NULL;
    hr = link->QueryInterface(IID_IPersistFile, (void **)&file);
    CHECK_EQ(hr, S_OK);
    if (hr == S_OK) {
      CHECK_EQ(SaveAs(file, lnk), S_OK);
      hr = SaveAs(file, missing);
      CHECK(FAILED(hr));
      CHECK_EQ(hr, HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
      CHECK_EQ(SaveAs(file, folder), E_ACCESSDENIED);
      CHECK_EQ(file->Release(), 1);
    }
    CHECK_EQ(link->Release(), 0);
  }
  CoFreeUnusedLibraries();
  CoUninitialize();
  p = (void *)1;
  CHECK_EQ(CoCreateInstance(CLSID_ShellLink, NULL, CLSCTX_INPROC_SERVER, IID_IShellLinkA, &p),
           CO_E_NOTINITIALIZED);
  CHECK(p == NULL);

  CheckLinkFile(lnk, target);
  CHECK(GetFileAttributesA(missing) == INVALID_FILE_ATTRIBUTES);
  CHECK(DeleteFileA(lnk));
  CHECK(DeleteFileA(target));
  CHECK(RemoveDirectoryA(folder));
}

void CodePage() {
  WCHAR w[8];
  CHECK_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, NULL, 0), 4);
  CHECK_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 3, NULL, 0), 3);
  CHECK_EQ(MultiByteToWideChar(CP_ACP, 0, "\x80\x81\x9f\xe9", -1, w, 8), 5);
  CHECK_EQ(w[0], 0x20AC);
  CHECK_EQ(w[1], 0x0081);
  CHECK_EQ(w[2], 0x0178);
  CHECK_EQ(w[3], 0x00E9);
  CHECK_EQ(w[4], 0);
  SetLastError(0);
  CHECK_EQ(MultiByteToWideChar(CP_ACP, 0, "abcdef", -1, w, 3), 0);
  CHECK_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
  SetLastError(0);
  CHECK_EQ(MultiByteToWideChar(CP_ACP, 0, NULL, -1, w, 8), 0);
  CHECK_EQ(GetLastError(), ERROR_INVALID_PARAMETER);

  const WCHAR wide[] = {'a', 0x20AC, 0x4E2D, 0x00FF, 0};
  char a[8];
  BOOL used = FALSE;
  CHECK_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, NULL, 0, NULL, NULL), 5);
  CHECK_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, a, 8, NULL, &used), 5);
  CHECK_STR(a, "a\x80?\xff");
  CHECK(used);
  SetLastError(0);
  CHECK_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, a, 2, NULL, NULL), 0);
  CHECK_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
}

void Run() {
  ShellLink();
  CodePage();
}

ConfSection g_section("shelllink", Run);

}  // namespace
