// Files, folders, paths, file times and the runtime's text stream, each in a
// folder of its own below the work folder, reached by relative names from
// there. Read-only attributes are cleared again at the end of each section.
#include "conformance.h"

namespace {

char g_saved_cwd[MAX_PATH];

// Makes g_work\name and makes it the current directory.
void Enter(const char *name) {
  char dir[MAX_PATH];
  GetCurrentDirectoryA(sizeof g_saved_cwd, g_saved_cwd);
  CreateDirectoryA(WorkPath(dir, name), NULL);
  CHECK(SetCurrentDirectoryA(dir));
}

void Leave() { SetCurrentDirectoryA(g_saved_cwd); }

bool PutFile(const char *name, const char *bytes, DWORD n) {
  HANDLE h = CreateFileA(name, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD done = 0;
  BOOL ok = WriteFile(h, bytes, n, &done, NULL);
  CloseHandle(h);
  return ok && done == n;
}

// The file's bytes, NUL-terminated; the count, or -1 when it cannot be read.
int ReadBack(const char *name, char *buf, DWORD cap) {
  HANDLE h = CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                         OPEN_EXISTING, 0, NULL);
  if (h == INVALID_HANDLE_VALUE) return -1;
  DWORD n = 0;
  BOOL ok = ReadFile(h, buf, cap - 1, &n, NULL);
  CloseHandle(h);
  buf[ok ? n : 0] = 0;
  return ok ? (int)n : -1;
}

HANDLE Open(const char *name, DWORD access, DWORD share, DWORD disposition) {
  SetLastError(0xdead);
  return CreateFileA(name, access, share, NULL, disposition, 0, NULL);
}

// Opens, checks success and the last error it leaves, closes.
void OpensWith(const char *name, DWORD access, DWORD share, DWORD disposition, DWORD error) {
  HANDLE h = Open(name, access, share, disposition);
  DWORD got = GetLastError();
  CHECK(h != INVALID_HANDLE_VALUE);
  CHECK_EQ(got, error);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

void RefusedWith(const char *name, DWORD access, DWORD share, DWORD disposition, DWORD error) {
  HANDLE h = Open(name, access, share, disposition);
  CHECK(h == INVALID_HANDLE_VALUE);
  CHECK_EQ(GetLastError(), error);
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

bool SameNoCase(const char *a, const char *b) {
  for (; *a && *b; a++, b++) {
    char x = *a >= 'a' && *a <= 'z' ? (char)(*a - 32) : *a;
    char y = *b >= 'a' && *b <= 'z' ? (char)(*b - 32) : *b;
    if (x != y) return false;
  }
  return *a == *b;
}

unsigned long long Ticks(const FILETIME &ft) {
  return ((unsigned long long)ft.dwHighDateTime << 32) | ft.dwLowDateTime;
}

WORD DosDate(int y, int m, int d) { return (WORD)(((y - 1980) << 9) | (m << 5) | d); }
WORD DosTime(int h, int m, int s) { return (WORD)((h << 11) | (m << 5) | (s / 2)); }

const DWORD RW = GENERIC_READ | GENERIC_WRITE;
const DWORD SHARE_RW = FILE_SHARE_READ | FILE_SHARE_WRITE;

void Files() {
  Enter("files");
  // Dispositions.
  RefusedWith("f.txt", RW, 0, OPEN_EXISTING, ERROR_FILE_NOT_FOUND);
  RefusedWith("nodir\\f.txt", RW, 0, OPEN_EXISTING, ERROR_PATH_NOT_FOUND);
  RefusedWith("nodir\\f.txt", GENERIC_WRITE, 0, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND);
  OpensWith("f.txt", RW, 0, CREATE_NEW, 0);
  RefusedWith("f.txt", RW, 0, CREATE_NEW, ERROR_FILE_EXISTS);
  OpensWith("f.txt", GENERIC_READ, 0, OPEN_EXISTING, 0);
  OpensWith("f.txt", GENERIC_READ, 0, OPEN_ALWAYS, ERROR_ALREADY_EXISTS);
  OpensWith("f.txt", GENERIC_WRITE, 0, CREATE_ALWAYS, ERROR_ALREADY_EXISTS);
  OpensWith("g.txt", GENERIC_WRITE, 0, OPEN_ALWAYS, 0);
  CHECK(PutFile("f.txt", "hello", 5));
  OpensWith("f.txt", GENERIC_WRITE, 0, TRUNCATE_EXISTING, 0);
  char buf[64];
  CHECK_EQ(ReadBack("f.txt", buf, sizeof buf), 0);
  RefusedWith("f.txt", RW, 0, 0, ERROR_INVALID_PARAMETER);
  RefusedWith("f.txt\\", GENERIC_READ, 0, OPEN_EXISTING, ERROR_INVALID_NAME);
  RefusedWith("f.txt\\x", GENERIC_READ, 0, OPEN_EXISTING, ERROR_PATH_NOT_FOUND);
  RefusedWith("a*b", GENERIC_WRITE, 0, CREATE_ALWAYS, ERROR_INVALID_NAME);
  RefusedWith("a|b", GENERIC_WRITE, 0, CREATE_ALWAYS, ERROR_INVALID_NAME);
  RefusedWith("nodir\\a?b", GENERIC_WRITE, 0, CREATE_ALWAYS, ERROR_INVALID_NAME);
  RefusedWith("", GENERIC_READ, 0, OPEN_EXISTING, ERROR_PATH_NOT_FOUND);
  CreateDirectoryA("dd", NULL);
  RefusedWith("dd", GENERIC_READ, 0, OPEN_EXISTING, ERROR_ACCESS_DENIED);
  RefusedWith("dd\\", GENERIC_READ, 0, OPEN_EXISTING, ERROR_ACCESS_DENIED);
  RefusedWith("dd", GENERIC_WRITE, 0, CREATE_ALWAYS, ERROR_ACCESS_DENIED);
  RefusedWith("dd", GENERIC_READ, 0, CREATE_NEW, ERROR_FILE_EXISTS);

  // Another letter case opens the same file.
  CHECK(PutFile("MixedCase.txt", "mixed", 5));
  CHECK_EQ(ReadBack("MIXEDCASE.TXT", buf, sizeof buf), 5);
  CHECK_STR(buf, "mixed");
  RefusedWith("mixedcase.TXT", RW, 0, CREATE_NEW, ERROR_FILE_EXISTS);

  // Reading, writing, seeking.
  HANDLE h = Open("rw.bin", RW, 0, CREATE_ALWAYS);
  DWORD n = 0;
  CHECK(WriteFile(h, "0123456789", 10, &n, NULL));
  CHECK_EQ(n, 10);
  n = 77;
  CHECK(ReadFile(h, buf, sizeof buf, &n, NULL));
  CHECK_EQ(n, 0);
  CHECK_EQ(SetFilePointer(h, 3, NULL, FILE_BEGIN), 3);
  CHECK(ReadFile(h, buf, 4, &n, NULL));
  buf[n] = 0;
  CHECK_STR(buf, "3456");
  CHECK_EQ(SetFilePointer(h, -2, NULL, FILE_CURRENT), 5);
  CHECK_EQ(SetFilePointer(h, -1, NULL, FILE_END), 9);
  CHECK_EQ(SetFilePointer(h, -20, NULL, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  CHECK_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
  CHECK_EQ(SetFilePointer(h, 0, NULL, FILE_CURRENT), 9);
  LONG high = -1;
  CHECK_EQ(SetFilePointer(h, 0, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  CHECK_EQ(GetLastError(), ERROR_NEGATIVE_SEEK);
  high = 0;
  CHECK_EQ(SetFilePointer(h, 2, &high, FILE_BEGIN), 2);
  CHECK_EQ(high, 0);
  CHECK_EQ(SetFilePointer(h, 0, NULL, 7), INVALID_SET_FILE_POINTER);
  CHECK_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  DWORD size_high = 5;
  CHECK_EQ(GetFileSize(h, &size_high), 10);
  CHECK_EQ(size_high, 0);
  CloseHandle(h);
  h = Open("rw.bin", GENERIC_WRITE, 0, OPEN_EXISTING);
  CHECK(!ReadFile(h, buf, 4, &n, NULL));
  CHECK_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  CloseHandle(h);
  h = Open("rw.bin", GENERIC_READ, 0, OPEN_EXISTING);
  CHECK(!WriteFile(h, "x", 1, &n, NULL));
  CHECK_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  CloseHandle(h);
  CHECK(!CloseHandle((HANDLE)(ULONG_PTR)0x1234));
  CHECK_EQ(GetLastError(), ERROR_INVALID_HANDLE);
  CHECK(!CloseHandle(NULL));
  CHECK_EQ(GetLastError(), ERROR_INVALID_HANDLE);

  // Share modes against the open handles of the same file.
  HANDLE w = Open("share.txt", GENERIC_WRITE, FILE_SHARE_READ, CREATE_ALWAYS);
  RefusedWith("SHARE.TXT", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, ERROR_SHARING_VIOLATION);
  OpensWith("SHARE.TXT", GENERIC_READ, SHARE_RW, OPEN_EXISTING, 0);
  RefusedWith("SHARE.TXT", GENERIC_WRITE, SHARE_RW, OPEN_EXISTING, ERROR_SHARING_VIOLATION);
  OpensWith("SHARE.TXT", 0, 0, OPEN_EXISTING, 0);
  CHECK(!DeleteFileA("share.txt"));
  CHECK_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  CloseHandle(w);
  HANDLE r = Open("share.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING);
  CHECK(DeleteFileA("share.txt"));
  CloseHandle(r);
  CHECK_EQ(GetFileAttributesA("share.txt"), INVALID_FILE_ATTRIBUTES);

  // Attributes and the read-only attribute.
  CHECK_EQ(GetFileAttributesA("f.txt"), FILE_ATTRIBUTE_ARCHIVE);
  CHECK_EQ(GetFileAttributesA("dd"), FILE_ATTRIBUTE_DIRECTORY);
  CHECK_EQ(GetFileAttributesA("dd\\"), FILE_ATTRIBUTE_DIRECTORY);
  CHECK_EQ(GetFileAttributesA("nothere"), INVALID_FILE_ATTRIBUTES);
  CHECK_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  CHECK_EQ(GetFileAttributesA("nodir\\x"), INVALID_FILE_ATTRIBUTES);
  CHECK_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  CHECK_EQ(GetFileAttributesA("f.txt\\"), INVALID_FILE_ATTRIBUTES);
  CHECK_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  CHECK(PutFile("ro.txt", "keep", 4));
  CHECK(SetFileAttributesA("ro.txt", FILE_ATTRIBUTE_READONLY));
  CHECK_EQ(GetFileAttributesA("RO.TXT"), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  CHECK(!DeleteFileA("ro.txt"));
  CHECK_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  OpensWith("ro.txt", GENERIC_READ, 0, OPEN_EXISTING, 0);
  CHECK(SetFileAttributesA("ro.txt", FILE_ATTRIBUTE_NORMAL));
  CHECK_EQ(GetFileAttributesA("ro.txt"), FILE_ATTRIBUTE_ARCHIVE);
  CHECK(DeleteFileA("ro.txt"));
  h = CreateFileA("made-ro.txt", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_READONLY, NULL);
  CHECK(h != INVALID_HANDLE_VALUE);
  CloseHandle(h);
  CHECK_EQ(GetFileAttributesA("made-ro.txt"), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  CHECK(SetFileAttributesA("made-ro.txt", 0));
  CHECK(!SetFileAttributesA("nothere", 0));
  CHECK_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

  // Deleting.
  CHECK(!DeleteFileA("nothere"));
  CHECK_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  CHECK(!DeleteFileA("nodir\\x"));
  CHECK_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  CHECK(!DeleteFileA("dd"));
  CHECK_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  CHECK(!DeleteFileA("f.txt\\"));
  CHECK_EQ(GetLastError(), ERROR_INVALID_NAME);
  CHECK(DeleteFileA("G.TXT"));
  CHECK_EQ(GetFileAttributesA("g.txt"), INVALID_FILE_ATTRIBUTES);

  // Copies.
  CHECK(PutFile("src.txt", "source", 6));
  CHECK(PutFile("dst.txt", "target", 6));
  CHECK(!CopyFileA("src.txt", "DST.TXT", TRUE));
  CHECK_EQ(GetLastError(), ERROR_FILE_EXISTS);
  CHECK_EQ(ReadBack("dst.txt", buf, sizeof buf), 6);
  CHECK_STR(buf, "target");
  FILETIME stamp, got;
  CHECK(DosDateTimeToFileTime(DosDate(2001, 6, 15), DosTime(12, 30, 0), &stamp));
  h = Open("src.txt", GENERIC_WRITE, 0, OPEN_EXISTING);
  CHECK(SetFileTime(h, NULL, NULL, &stamp));
  CloseHandle(h);
  CHECK(SetFileAttributesA("src.txt", FILE_ATTRIBUTE_READONLY));
  CHECK(CopyFileA("src.txt", "dst.txt", FALSE));
  CHECK_EQ(ReadBack("dst.txt", buf, sizeof buf), 6);
  CHECK_STR(buf, "source");
  h = Open("dst.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  CHECK(GetFileTime(h, NULL, NULL, &got));
  CloseHandle(h);
  CHECK_EQ(Ticks(got), Ticks(stamp));
  CHECK(SetFileAttributesA("dst.txt", 0));
  // A new copy takes the source's read-only attribute (Wine leaves the
  // attributes of a replaced target as they were, so that case is not checked).
  CHECK(CopyFileA("src.txt", "new.txt", TRUE));
  CHECK_EQ(GetFileAttributesA("new.txt"), FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE);
  CHECK(SetFileAttributesA("new.txt", 0));
  CHECK(SetFileAttributesA("src.txt", 0));
  CHECK(!CopyFileA("nothere", "x.txt", FALSE));
  CHECK_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  CHECK(!CopyFileA("nodir\\x", "x.txt", FALSE));
  CHECK_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  CHECK(!CopyFileA("src.txt", "nodir\\x", FALSE));
  CHECK_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  CHECK(!CopyFileA("dd", "x.txt", FALSE));
  CHECK_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  CHECK(!CopyFileA("src.txt", "dd", FALSE));
  CHECK_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  CHECK(!CopyFileA("src.txt", "dd", TRUE));
  CHECK_EQ(GetLastError(), ERROR_FILE_EXISTS);
  CHECK(!CopyFileA("src.txt", "SRC.TXT", FALSE));
  CHECK_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  h = Open("src.txt", GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
  CHECK(CopyFileA("src.txt", "dst.txt", FALSE));
  CloseHandle(h);
  h = Open("src.txt", GENERIC_READ, 0, OPEN_EXISTING);
  CHECK(!CopyFileA("src.txt", "dst.txt", FALSE));
  CHECK_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  CloseHandle(h);
  h = Open("dst.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  CHECK(!CopyFileA("src.txt", "dst.txt", FALSE));
  CHECK_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  CloseHandle(h);
  Leave();
}

void Folders() {
  Enter("folders");
  CHECK(CreateDirectoryA("a", NULL));
  CHECK(CreateDirectoryA("a\\b", NULL));
  CHECK(!CreateDirectoryA("a\\b", NULL));
  CHECK_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  CHECK(!CreateDirectoryA("A\\B\\", NULL));
  CHECK_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  CHECK(CreateDirectoryA("a\\c\\", NULL));
  CHECK(PutFile("a\\file.txt", "x", 1));
  CHECK(!CreateDirectoryA("a\\file.txt", NULL));
  CHECK_EQ(GetLastError(), ERROR_ALREADY_EXISTS);
  CHECK(!CreateDirectoryA("x\\y", NULL));
  CHECK_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  CHECK(!CreateDirectoryA("a?b", NULL));
  CHECK_EQ(GetLastError(), ERROR_INVALID_NAME);

  CHECK(!RemoveDirectoryA("a"));
  CHECK_EQ(GetLastError(), ERROR_DIR_NOT_EMPTY);
  CHECK(!RemoveDirectoryA("a\\file.txt"));
  CHECK_EQ(GetLastError(), ERROR_DIRECTORY);
  CHECK(!RemoveDirectoryA("a\\nothere"));
  CHECK_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  CHECK(!RemoveDirectoryA("x\\y"));
  CHECK_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  CHECK(RemoveDirectoryA("a\\b\\"));
  CHECK_EQ(GetFileAttributesA("a\\b"), INVALID_FILE_ATTRIBUTES);

  // The current directory: kept as given, held open.
  char want[2 * MAX_PATH], cwd[MAX_PATH];
  CHECK(SetCurrentDirectoryA("A\\C\\"));
  snprintf(want, sizeof want, "%sfolders\\A\\C", g_work);
  DWORD len = (DWORD)strlen(want);
  CHECK_EQ(GetCurrentDirectoryA(sizeof cwd, cwd), len);
  CHECK_STR(cwd, want);
  CHECK_EQ(GetCurrentDirectoryA(3, cwd), len + 1);
  CHECK_EQ(GetCurrentDirectoryA(len, cwd), len + 1);
  CHECK(!RemoveDirectoryA(want));
  CHECK_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  CHECK(SetCurrentDirectoryA(".."));
  CHECK(RemoveDirectoryA("c"));
  CHECK(!SetCurrentDirectoryA("nothere"));
  CHECK_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  CHECK(!SetCurrentDirectoryA("file.txt"));
  CHECK_EQ(GetLastError(), ERROR_DIRECTORY);
  CHECK(!SetCurrentDirectoryA("nodir\\x"));
  CHECK_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  snprintf(want, sizeof want, "%sfolders\\a", g_work);
  GetCurrentDirectoryA(sizeof cwd, cwd);
  CHECK(SameNoCase(cwd, want));

  // The Windows directory: no trailing backslash, Win32's size convention.
  char win[MAX_PATH];
  UINT wlen = GetWindowsDirectoryA(win, sizeof win);
  CHECK_EQ(wlen, 10);
  CHECK(SameNoCase(win, "C:\\WINDOWS"));
  CHECK_EQ(GetWindowsDirectoryA(win, wlen), wlen + 1);
  CHECK_EQ(GetWindowsDirectoryA(win, wlen + 1), wlen);
  CHECK_EQ(GetFileAttributesA(win), FILE_ATTRIBUTE_DIRECTORY);
  Leave();
}

void FullPathIs(const char *in, const char *want, const char *part) {
  char buf[MAX_PATH];
  char *got_part = (char *)1;
  DWORD n = GetFullPathNameA(in, sizeof buf, buf, &got_part);
  CHECK_EQ(n, strlen(want));
  CHECK_STR(buf, want);
  if (part) CHECK_STR(got_part, part);
  else CHECK(got_part == NULL);
}

void Paths() {
  Enter("paths");
  char here[2 * MAX_PATH], want[3 * MAX_PATH], parent[MAX_PATH];
  snprintf(here, sizeof here, "%spaths", g_work);
  snprintf(parent, sizeof parent, "%s", g_work);
  parent[strlen(parent) - 1] = 0;  // g_work without its trailing backslash
  FullPathIs(".", here, "paths");
  FullPathIs("..", parent, strrchr(parent, '\\') + 1);
  snprintf(want, sizeof want, "%s\\x.txt", here);
  FullPathIs("sub\\..\\x.txt", want, "x.txt");
  FullPathIs("sub/../x.txt", want, "x.txt");
  FullPathIs(".\\x.txt.  ", want, "x.txt");
  snprintf(want, sizeof want, "%s\\a\\b", here);
  FullPathIs("a\\\\b", want, "b");
  snprintf(want, sizeof want, "%s\\sub\\", here);
  FullPathIs("sub\\", want, NULL);
  FullPathIs("sub\\...", want, NULL);
  snprintf(want, sizeof want, "%c:\\x", here[0]);
  FullPathIs("\\x", want, "x");
  FullPathIs("\\a\\..\\..\\x", want, "x");
  FullPathIs("C:\\a\\..\\b", "C:\\b", "b");
  FullPathIs("C:\\a\\.", "C:\\a", "a");
  FullPathIs("C:\\a. \\b", "C:\\a. \\b", "b");
  FullPathIs("C:\\", "C:\\", NULL);
  char small[4];
  char *part = (char *)1;
  CHECK_EQ(GetFullPathNameA("C:\\abcdef", sizeof small, small, &part), 10);
  CHECK(part == (char *)1);
  CHECK_EQ(GetFullPathNameA("C:\\abcdef", 9, want, NULL), 10);
  CHECK_EQ(GetFullPathNameA("C:\\abcdef", 10, want, NULL), 9);

  // Folders found by another letter case; new names keep the case given.
  CHECK(CreateDirectoryA("Mixed", NULL));
  CHECK(PutFile("MIXED\\Inner.TXT", "i", 1));
  CHECK_EQ(GetFileAttributesA("mixed\\inner.txt"), FILE_ATTRIBUTE_ARCHIVE);
  CHECK(DeleteFileA("mIxEd\\INNER.txt"));
  CHECK(RemoveDirectoryA("MIXED"));
  Leave();
}

void Times() {
  Enter("times");
  FILETIME ft;
  CHECK(DosDateTimeToFileTime(DosDate(2000, 1, 1), 0, &ft));
  CHECK_EQ(Ticks(ft), 0x01bf53eb256d4000ull);
  CHECK(DosDateTimeToFileTime(DosDate(2000, 1, 1), DosTime(23, 59, 58), &ft));
  CHECK_EQ(Ticks(ft), 0x01bf53eb256d4000ull + 86398ull * 10000000ull);
  CHECK(DosDateTimeToFileTime(DosDate(2107, 12, 31), DosTime(23, 59, 58), &ft));
  CHECK_EQ(Ticks(ft), 0x023868b866d29300ull);
  FILETIME leap, mar1;
  CHECK(DosDateTimeToFileTime(DosDate(2000, 2, 29), 0, &leap));
  CHECK(DosDateTimeToFileTime(DosDate(2000, 3, 1), 0, &mar1));
  CHECK_EQ(Ticks(mar1) - Ticks(leap), 86400ull * 10000000ull);
  const WORD bad[][2] = {{0, 0},
                         {DosDate(1980, 0, 1), 0},
                         {DosDate(1980, 13, 1), 0},
                         {DosDate(2000, 1, 0), 0},
                         {DosDate(2000, 2, 30), 0},
                         {DosDate(2000, 4, 31), 0},
                         {DosDate(2000, 1, 1), DosTime(24, 0, 0)},
                         {DosDate(2000, 1, 1), DosTime(23, 60, 0)},
                         {DosDate(2000, 1, 1), DosTime(23, 59, 60)}};
  for (unsigned i = 0; i < sizeof bad / sizeof bad[0]; i++) {
    FILETIME out = {1, 1};
    CHECK(!DosDateTimeToFileTime(bad[i][0], bad[i][1], &out));
    CHECK_EQ(out.dwLowDateTime, 1);
  }

  // Local and UTC: the two directions undo each other.
  FILETIME local, utc, back;
  CHECK(DosDateTimeToFileTime(DosDate(2010, 7, 15), DosTime(12, 0, 0), &local));
  CHECK(LocalFileTimeToFileTime(&local, &utc));
  CHECK(FileTimeToLocalFileTime(&utc, &back));
  CHECK_EQ(Ticks(back), Ticks(local));

  // File times through handles.
  CHECK(PutFile("t.txt", "x", 1));
  HANDLE h = Open("t.txt", GENERIC_WRITE, 0, OPEN_EXISTING);
  CHECK(DosDateTimeToFileTime(DosDate(1999, 12, 31), DosTime(23, 59, 58), &ft));
  CHECK(SetFileTime(h, NULL, NULL, &ft));
  FILETIME got = {0, 0};
  CHECK(GetFileTime(h, NULL, NULL, &got));
  CHECK_EQ(Ticks(got), Ticks(ft));
  CHECK(SetFileTime(h, NULL, NULL, NULL));  // nothing to change
  CloseHandle(h);
  h = Open("t.txt", 0, 0, OPEN_EXISTING);  // no data access is needed to read the times
  got.dwLowDateTime = got.dwHighDateTime = 0;
  CHECK(GetFileTime(h, NULL, NULL, &got));
  CHECK_EQ(Ticks(got), Ticks(ft));
  CloseHandle(h);
  Leave();
}

void Stream() {
  Enter("stream");
  char buf[128];
  FILE *f = _fsopen("log.txt", "w+t", _SH_DENYNO);
  CHECK(f != NULL);
  if (!f) {
    Leave();
    return;
  }
  fprintf(f, "File:%s\n", "C:\\x\\a.txt");
  fprintf(f, "Dire:%s\n", "C:\\x\\");
  CHECK_EQ(fflush(f), 0);
  // Shared with other openers for reading and writing, not for deleting.
  CHECK_EQ(ReadBack("log.txt", buf, sizeof buf), 29);
  CHECK_STR(buf, "File:C:\\x\\a.txt\r\nDire:C:\\x\\\r\n");
  RefusedWith("log.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, ERROR_SHARING_VIOLATION);
  CHECK(!DeleteFileA("log.txt"));
  CHECK_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  fprintf(f, "End\n");
  CHECK_EQ(fseek(f, 0, SEEK_SET), 0);
  char line[64];
  CHECK(fgets(line, sizeof line, f) != NULL);
  CHECK_STR(line, "File:C:\\x\\a.txt\n");
  CHECK(fgets(line, sizeof line, f) != NULL);
  CHECK_STR(line, "Dire:C:\\x\\\n");
  CHECK(fgets(line, sizeof line, f) != NULL);
  CHECK_STR(line, "End\n");
  CHECK(fgets(line, sizeof line, f) == NULL);
  CHECK(feof(f));
  CHECK(!ferror(f));
  CHECK_EQ(fclose(f), 0);
  CHECK_EQ(ReadBack("log.txt", buf, sizeof buf), 34);
  CHECK_STR(buf, "File:C:\\x\\a.txt\r\nDire:C:\\x\\\r\nEnd\r\n");

  // Reading text: CR LF becomes LF, a lone CR stays, Ctrl-Z ends the text.
  CHECK(PutFile("in.txt", "a\r\nb\rc\x1a" "d\r\n", 10));
  f = _fsopen("in.txt", "rt", _SH_DENYNO);
  CHECK(f != NULL);
  if (f) {
    CHECK(fgets(line, sizeof line, f) != NULL);
    CHECK_STR(line, "a\n");
    CHECK(fgets(line, sizeof line, f) != NULL);
    CHECK_STR(line, "b\rc");
    CHECK(fgets(line, sizeof line, f) == NULL);
    CHECK(feof(f));
    fclose(f);
  }
  // Binary mode passes the bytes; appending adds at the end.
  f = _fsopen("bin.txt", "wb", _SH_DENYNO);
  fputs("a\nb", f);
  fclose(f);
  CHECK_EQ(ReadBack("bin.txt", buf, sizeof buf), 3);
  f = _fsopen("bin.txt", "a", _SH_DENYNO);
  fputs("\n", f);
  fclose(f);
  CHECK_EQ(ReadBack("bin.txt", buf, sizeof buf), 5);
  CHECK_STR(buf, "a\nb\r\n");
  CHECK(_fsopen("nothere.txt", "r", _SH_DENYNO) == NULL);
  Leave();
}

// Listing a folder: every name once, "." and ".." in a folder that is no
// drive's root, patterns ignoring case, and the errors at the end, for no
// match and for a missing folder. The order of the names is the file
// system's, so they are counted rather than compared in turn.
void Listing() {
  Enter("listing");
  CHECK(PutFile("b.txt", "bb", 2));
  CHECK(PutFile("A.TXT", "a", 1));
  CreateDirectoryA("sub", NULL);
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA("*", &found);
  CHECK(h != INVALID_HANDLE_VALUE);
  int dots = 0, a = 0, b = 0, sub = 0, other = 0;
  if (h != INVALID_HANDLE_VALUE) {
    do {
      const char *n = found.cFileName;
      if (!strcmp(n, ".") || !strcmp(n, "..")) {
        dots++;
        CHECK(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
      } else if (!strcmp(n, "A.TXT")) {
        a++;
        CHECK(!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY));
        CHECK_EQ(found.nFileSizeLow, 1);
      } else if (!strcmp(n, "b.txt")) {
        b++;
        CHECK_EQ(found.nFileSizeLow, 2);
        CHECK_EQ(found.nFileSizeHigh, 0);
      } else if (!strcmp(n, "sub")) {
        sub++;
        CHECK(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
      } else {
        other++;
      }
    } while (FindNextFileA(h, &found));
    CHECK_EQ(GetLastError(), ERROR_NO_MORE_FILES);
    CHECK(FindClose(h));
  }
  CHECK_EQ(dots, 2);
  CHECK_EQ(a + b + sub, 3);
  CHECK_EQ(other, 0);
  // A pattern in another case; one that matches nothing; a missing folder.
  h = FindFirstFileA("*.Txt", &found);
  CHECK(h != INVALID_HANDLE_VALUE);
  int txt = 0;
  if (h != INVALID_HANDLE_VALUE) {
    do txt++;
    while (FindNextFileA(h, &found));
    FindClose(h);
  }
  CHECK_EQ(txt, 2);
  SetLastError(0);
  CHECK(FindFirstFileA("none*.bin", &found) == INVALID_HANDLE_VALUE);
  CHECK_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  CHECK(FindFirstFileA("missing\\*", &found) == INVALID_HANDLE_VALUE);
  CHECK_EQ(GetLastError(), ERROR_PATH_NOT_FOUND);
  // An empty folder holds only its dots.
  h = FindFirstFileA("sub\\*", &found);
  int inSub = 0;
  if (h != INVALID_HANDLE_VALUE) {
    do inSub++;
    while (FindNextFileA(h, &found));
    FindClose(h);
  }
  CHECK_EQ(inSub, 2);
  CHECK(RemoveDirectoryA("sub"));
  DeleteFileA("b.txt");
  DeleteFileA("A.TXT");
  Leave();
}

// A link to a folder, laid by the scripts that run this program: C:\conflink,
// a symbolic link in the drive's folder, leads to C:\conftarget, which holds
// inside.txt. The link is a folder and a reparse point, asked for by name or
// listed; the target, and a file reached through the link, are no reparse
// points.
void Links() {
  const DWORD kLinkedFolder = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT;
  DWORD a = GetFileAttributesA("C:\\conflink");
  CHECK(a != INVALID_FILE_ATTRIBUTES);
  CHECK_EQ(a & kLinkedFolder, kLinkedFolder);
  a = GetFileAttributesA("C:\\conftarget");
  CHECK(a != INVALID_FILE_ATTRIBUTES);
  CHECK_EQ(a & kLinkedFolder, FILE_ATTRIBUTE_DIRECTORY);
  a = GetFileAttributesA("C:\\conflink\\inside.txt");
  CHECK(a != INVALID_FILE_ATTRIBUTES);
  CHECK_EQ(a & kLinkedFolder, 0);
  WIN32_FIND_DATAA found;
  HANDLE h = FindFirstFileA("C:\\conflink", &found);
  CHECK(h != INVALID_HANDLE_VALUE);
  if (h != INVALID_HANDLE_VALUE) {
    CHECK_EQ(found.dwFileAttributes & kLinkedFolder, kLinkedFolder);
    FindClose(h);
  }
}

ConfSection files("files", Files);
ConfSection links("links", Links);
ConfSection listing("listing", Listing);
ConfSection folders("folders", Folders);
ConfSection paths("paths", Paths);
ConfSection times("times", Times);
ConfSection stream("stream", Stream);

}  // namespace
