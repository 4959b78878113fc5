// Files and folders: CreateFileA's dispositions and share modes, reading,
// writing and seeking, handles, copies, deletion, the read-only attribute,
// folders, and file times.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <time.h>

#include <fstream>
#include <random>
#include <string>

#include "platform/host/internal.h"
#include "platform/host/winhost.h"
#include "platform/host/winhost_test.h"
#include "tests/support/bytes.h"
#include "tests/support/sandbox.h"

namespace {

std::string Fresh(const char *name) {
  std::string dir = SandboxDir(name);
  winhost::Reset(dir.c_str());
  return dir;
}

void Put(const char *path, const std::string &bytes) {
  HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
  DWORD n = 0;
  ASSERT_TRUE(WriteFile(h, bytes.data(), (DWORD)bytes.size(), &n, NULL));
  ASSERT_EQ(n, bytes.size());
  ASSERT_TRUE(CloseHandle(h));
}

std::string Slurp(const char *path) { return ReadText(winhost::HostPath(path)); }

HANDLE Open(const char *path, DWORD access, DWORD share, DWORD disposition) {
  SetLastError(0xdead);
  return CreateFileA(path, access, share, NULL, disposition, 0, NULL);
}

// Opens, expects success with the last error given, and closes.
void ExpectOpens(const char *path, DWORD access, DWORD share, DWORD disposition, DWORD error) {
  HANDLE h = Open(path, access, share, disposition);
  EXPECT_NE(h, INVALID_HANDLE_VALUE) << path << " disposition " << disposition;
  EXPECT_EQ(GetLastError(), error) << path << " disposition " << disposition;
  if (h != INVALID_HANDLE_VALUE) CloseHandle(h);
}

void ExpectRefused(const char *path, DWORD access, DWORD share, DWORD disposition, DWORD error) {
  EXPECT_EQ(Open(path, access, share, disposition), INVALID_HANDLE_VALUE)
      << path << " disposition " << disposition;
  EXPECT_EQ(GetLastError(), error) << path << " disposition " << disposition;
}

const DWORD RW = GENERIC_READ | GENERIC_WRITE;
const DWORD SHARE_RW = FILE_SHARE_READ | FILE_SHARE_WRITE;

TEST(Files, DispositionsGiveWindowsResults) {
  Fresh("files-disp");
  ExpectRefused("C:\\f.txt", RW, 0, OPEN_EXISTING, ERROR_FILE_NOT_FOUND);
  ExpectRefused("C:\\f.txt", RW, 0, TRUNCATE_EXISTING, ERROR_FILE_NOT_FOUND);
  ExpectRefused("C:\\nodir\\f.txt", RW, 0, OPEN_EXISTING, ERROR_PATH_NOT_FOUND);
  ExpectRefused("C:\\nodir\\f.txt", RW, 0, CREATE_ALWAYS, ERROR_PATH_NOT_FOUND);
  ExpectOpens("C:\\f.txt", RW, 0, CREATE_NEW, 0);
  ExpectRefused("C:\\f.txt", RW, 0, CREATE_NEW, ERROR_FILE_EXISTS);
  Put("C:\\f.txt", "hello");
  ExpectOpens("C:\\f.txt", GENERIC_READ, 0, OPEN_EXISTING, 0);
  ExpectOpens("C:\\f.txt", GENERIC_READ, 0, OPEN_ALWAYS, ERROR_ALREADY_EXISTS);
  EXPECT_EQ(Slurp("C:\\f.txt"), "hello");
  ExpectOpens("C:\\g.txt", GENERIC_READ, 0, OPEN_ALWAYS, 0);
  ExpectOpens("C:\\f.txt", GENERIC_WRITE, 0, CREATE_ALWAYS, ERROR_ALREADY_EXISTS);
  EXPECT_EQ(Slurp("C:\\f.txt"), "");
  Put("C:\\f.txt", "hello");
  ExpectOpens("C:\\f.txt", GENERIC_WRITE, 0, TRUNCATE_EXISTING, 0);
  EXPECT_EQ(Slurp("C:\\f.txt"), "");
  ExpectRefused("C:\\f.txt", RW, 0, 0, ERROR_INVALID_PARAMETER);
  ExpectRefused("C:\\f.txt", RW, 0, 6, ERROR_INVALID_PARAMETER);
  ExpectRefused("C:\\f.txt\\", GENERIC_READ, 0, OPEN_EXISTING, ERROR_INVALID_NAME);
  ExpectRefused("C:\\f.txt\\x", GENERIC_READ, 0, OPEN_EXISTING, ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(winhost::OpenFileHandles(), 0);
}

TEST(Files, FoldersCannotBeOpenedAsFiles) {
  Fresh("files-dir");
  ASSERT_TRUE(CreateDirectoryA("C:\\dd", NULL));
  ExpectRefused("C:\\dd", GENERIC_READ, 0, OPEN_EXISTING, ERROR_ACCESS_DENIED);
  ExpectRefused("C:\\dd\\", GENERIC_READ, 0, OPEN_EXISTING, ERROR_ACCESS_DENIED);
  ExpectRefused("C:\\dd", GENERIC_WRITE, 0, CREATE_ALWAYS, ERROR_ACCESS_DENIED);
  ExpectRefused("C:\\dd", GENERIC_READ, 0, OPEN_ALWAYS, ERROR_ACCESS_DENIED);
  ExpectRefused("C:\\dd", GENERIC_READ, 0, CREATE_NEW, ERROR_FILE_EXISTS);
}

TEST(Files, ShareModesAreCheckedAgainstOpenHandles) {
  Fresh("files-share");
  Put("C:\\f8.txt", "data");
  HANDLE w = Open("C:\\f8.txt", GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
  ASSERT_NE(w, INVALID_HANDLE_VALUE);
  // The writer allows readers, but a reader must allow the writer too.
  ExpectRefused("C:\\F8.TXT", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING, ERROR_SHARING_VIOLATION);
  ExpectOpens("C:\\F8.TXT", GENERIC_READ, SHARE_RW, OPEN_EXISTING, 0);
  ExpectRefused("C:\\F8.TXT", GENERIC_WRITE, SHARE_RW, OPEN_EXISTING, ERROR_SHARING_VIOLATION);
  ExpectOpens("C:\\F8.TXT", 0, 0, OPEN_EXISTING, 0);  // no data access: no conflict
  EXPECT_FALSE(DeleteFileA("C:\\f8.txt"));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_SHARING_VIOLATION);
  ASSERT_TRUE(CloseHandle(w));

  HANDLE r = Open("C:\\f8.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, OPEN_EXISTING);
  ASSERT_NE(r, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(DeleteFileA("C:\\f8.txt"));  // allowed by FILE_SHARE_DELETE
  char buf[8];
  DWORD n = 0;
  EXPECT_TRUE(ReadFile(r, buf, sizeof buf, &n, NULL));  // the open handle still reads
  EXPECT_EQ(n, 4u);
  CloseHandle(r);
  EXPECT_EQ(GetFileAttributesA("C:\\f8.txt"), INVALID_FILE_ATTRIBUTES);
}

TEST(Files, ReadWriteSeekAndSize) {
  Fresh("files-rw");
  HANDLE h = Open("C:\\rw.bin", RW, 0, CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  DWORD n = 0;
  EXPECT_TRUE(WriteFile(h, "0123456789", 10, &n, NULL));
  EXPECT_EQ(n, 10u);
  char buf[16] = {0};
  EXPECT_TRUE(ReadFile(h, buf, sizeof buf, &n, NULL));  // at the end: success, nothing read
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(SetFilePointer(h, 3, NULL, FILE_BEGIN), 3u);
  EXPECT_TRUE(ReadFile(h, buf, 4, &n, NULL));
  EXPECT_EQ(std::string(buf, n), "3456");
  EXPECT_EQ(SetFilePointer(h, -2, NULL, FILE_CURRENT), 5u);
  EXPECT_EQ(SetFilePointer(h, -1, NULL, FILE_END), 9u);

  SetLastError(0);
  EXPECT_EQ(SetFilePointer(h, -20, NULL, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_NEGATIVE_SEEK);
  EXPECT_EQ(SetFilePointer(h, 0, NULL, FILE_CURRENT), 9u);  // not moved
  LONG high = -1;
  EXPECT_EQ(SetFilePointer(h, 0, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_NEGATIVE_SEEK);
  EXPECT_EQ(SetFilePointer(h, 0, NULL, 7), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);

  // The high part: one byte written past 4 GiB (a sparse file).
  high = 1;
  EXPECT_EQ(SetFilePointer(h, 5, &high, FILE_BEGIN), 5u);
  EXPECT_EQ(high, 1);
  EXPECT_TRUE(WriteFile(h, "x", 1, &n, NULL));
  DWORD size_high = 0;
  EXPECT_EQ(GetFileSize(h, &size_high), 6u);
  EXPECT_EQ(size_high, 1u);
  high = 0;
  EXPECT_EQ(SetFilePointer(h, 0, &high, FILE_CURRENT), 6u);
  EXPECT_EQ(high, 1);
  EXPECT_EQ(SetFilePointer(h, 0, NULL, FILE_CURRENT), INVALID_SET_FILE_POINTER);  // needs the high part
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
  high = -1;
  SetLastError(0xdead);
  EXPECT_EQ(SetFilePointer(h, -1, &high, FILE_BEGIN), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_NEGATIVE_SEEK);
  high = 0;
  EXPECT_EQ(SetFilePointer(h, -1, &high, FILE_BEGIN), 0xFFFFFFFFu);  // 4 GiB - 1: a real position
  EXPECT_EQ(GetLastError(), 0u);
  CloseHandle(h);
}

// The system calls this process has made to read so far (-1 where the
// kernel does not count them).
long ReadCalls() {
  std::ifstream io("/proc/self/io");
  std::string key;
  long value;
  while (io >> key >> value)
    if (key == "syscr:") return value;
  return -1;
}

// A file opened for reading that no one may write is read through the
// handle's own buffers: reads and seeks of every size and kind, a failed
// read among them, give what a handle that lets others write (read straight
// from the file) gives, and an archive's many small reads take few calls.
TEST(Files, BufferedReadsGiveTheFilesBytesInFewCalls) {
  Fresh("files-buffered");
  std::mt19937 rng(7);
  std::string data(200000, 0);
  for (char &c : data) c = (char)rng();
  Put("C:\\data.bin", data);
  HANDLE buffered = Open("C:\\data.bin", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  HANDLE direct = Open("C:\\data.bin", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, OPEN_EXISTING);
  ASSERT_NE(buffered, INVALID_HANDLE_VALUE);
  ASSERT_NE(direct, INVALID_HANDLE_VALUE);
  static const DWORD kMethods[] = {FILE_BEGIN, FILE_CURRENT, FILE_END};
  std::string a(90000, 0), b(90000, 0);
  for (int step = 0; step < 3000; step++) {
    std::string what = "step " + std::to_string(step);
    if (rng() % 3 == 0) {
      LONG distance = (LONG)(rng() % 260000) - 30000;
      DWORD method = kMethods[rng() % 3];
      SetLastError(0);
      DWORD pa = SetFilePointer(buffered, distance, NULL, method);
      DWORD ea = GetLastError();
      SetLastError(0);
      ASSERT_EQ(pa, SetFilePointer(direct, distance, NULL, method)) << what;
      ASSERT_EQ(ea, GetLastError()) << what;
      continue;
    }
    DWORD want = rng() % 4 ? rng() % 100 : rng() % 90000, na = 7, nb = 9;
    if (step % 500 == 499) {  // a failed read moves nothing
      winhost::SetFaults(("ReadFile#" + std::to_string(winhost::CallCount("ReadFile") + 1)).c_str());
      ASSERT_FALSE(ReadFile(buffered, &a[0], want, &na, NULL)) << what;
      ASSERT_EQ(0u, na) << what;
      winhost::SetFaults("");
    }
    ASSERT_TRUE(ReadFile(buffered, &a[0], want, &na, NULL)) << what;
    ASSERT_TRUE(ReadFile(direct, &b[0], want, &nb, NULL)) << what;
    ASSERT_EQ(nb, na) << what;
    ASSERT_EQ(0, memcmp(a.data(), b.data(), na)) << what;
  }
  // A central directory's entries: a thousand reads of 46 bytes, one after
  // another, and a seek before each.
  long before = ReadCalls();
  DWORD n = 0;
  for (DWORD at = 0; at < 46000; at += 46) {
    ASSERT_EQ(at, SetFilePointer(buffered, (LONG)at, NULL, FILE_BEGIN));
    ASSERT_TRUE(ReadFile(buffered, &a[0], 46, &n, NULL));
    ASSERT_EQ(0, memcmp(a.data(), data.data() + at, 46));
  }
  if (before >= 0) {
    EXPECT_LE(ReadCalls() - before, 4) << "read calls for 1000 small reads";
  }
  CloseHandle(buffered);
  CloseHandle(direct);
}

TEST(Files, AccessRightsAndBadHandles) {
  Fresh("files-access");
  Put("C:\\f.txt", "hello");
  char buf[8];
  DWORD n = 7;
  HANDLE w = Open("C:\\f.txt", GENERIC_WRITE, 0, OPEN_EXISTING);
  EXPECT_FALSE(ReadFile(w, buf, 4, &n, NULL));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
  EXPECT_EQ(n, 0u);
  CloseHandle(w);
  HANDLE r = Open("C:\\f.txt", GENERIC_READ, 0, OPEN_EXISTING);
  EXPECT_FALSE(WriteFile(r, "x", 1, &n, NULL));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
  CloseHandle(r);

  HANDLE bad = (HANDLE)(ULONG_PTR)0x1234;
  EXPECT_FALSE(ReadFile(bad, buf, 4, &n, NULL));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
  EXPECT_EQ(GetFileSize(bad, NULL), INVALID_FILE_SIZE);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
  EXPECT_FALSE(CloseHandle(bad));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
  EXPECT_FALSE(CloseHandle(r));  // closed already
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
  EXPECT_FALSE(CloseHandle(NULL));
  EXPECT_TRUE(CloseHandle(INVALID_HANDLE_VALUE));  // the process's pseudo-handle
}

TEST(Files, HandleTableCountsFilesAndTakesOtherKinds) {
  std::string root = Fresh("files-table");
  HANDLE a = Open("C:\\a", RW, 0, CREATE_NEW);
  HANDLE b = Open("C:\\b", RW, 0, CREATE_NEW);
  ASSERT_NE(a, b);
  EXPECT_EQ(winhost::OpenFileHandles(), 2);
  HANDLE dummy = wh::NewDummyHandle();
  EXPECT_EQ(winhost::OpenFileHandles(), 2);  // not a file
  EXPECT_TRUE(CloseHandle(dummy));
  EXPECT_FALSE(CloseHandle(dummy));
  CloseHandle(a);
  EXPECT_EQ(winhost::OpenFileHandles(), 1);
  winhost::Reset(root.c_str());  // drops every handle
  EXPECT_EQ(winhost::OpenFileHandles(), 0);
  EXPECT_FALSE(CloseHandle(b));
}

TEST(Files, ReadOnlyAttributeIsEnforcedAndKeptInTheModeBits) {
  std::string root = Fresh("files-ro");
  Put("C:\\ro.txt", "keep");
  Put("C:\\src.txt", "new");
  EXPECT_EQ(GetFileAttributesA("C:\\ro.txt"), (DWORD)FILE_ATTRIBUTE_ARCHIVE);
  ASSERT_TRUE(SetFileAttributesA("C:\\ro.txt", FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(GetFileAttributesA("C:\\RO.TXT"), (DWORD)(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
  struct stat st;
  ASSERT_EQ(stat((root + "/c/ro.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);  // seen by every later process too

  ExpectRefused("C:\\ro.txt", GENERIC_WRITE, 0, OPEN_EXISTING, ERROR_ACCESS_DENIED);
  ExpectRefused("C:\\ro.txt", GENERIC_READ, 0, CREATE_ALWAYS, ERROR_ACCESS_DENIED);
  ExpectRefused("C:\\ro.txt", GENERIC_READ, 0, TRUNCATE_EXISTING, ERROR_ACCESS_DENIED);
  ExpectOpens("C:\\ro.txt", GENERIC_READ, 0, OPEN_EXISTING, 0);
  EXPECT_FALSE(DeleteFileA("C:\\ro.txt"));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
  EXPECT_FALSE(CopyFileA("C:\\src.txt", "C:\\ro.txt", FALSE));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
  EXPECT_EQ(Slurp("C:\\ro.txt"), "keep");

  ASSERT_TRUE(SetFileAttributesA("C:\\ro.txt", FILE_ATTRIBUTE_NORMAL));
  EXPECT_EQ(GetFileAttributesA("C:\\ro.txt"), (DWORD)FILE_ATTRIBUTE_ARCHIVE);
  EXPECT_TRUE(CopyFileA("C:\\src.txt", "C:\\ro.txt", FALSE));
  EXPECT_TRUE(DeleteFileA("C:\\ro.txt"));

  HANDLE h = CreateFileA("C:\\made.txt", GENERIC_WRITE, 0, NULL, CREATE_NEW, FILE_ATTRIBUTE_READONLY, NULL);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(WriteFile(h, "x", 1, NULL, NULL));  // the creating handle may still write
  CloseHandle(h);
  EXPECT_EQ(GetFileAttributesA("C:\\made.txt"), (DWORD)(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));

  ASSERT_TRUE(CreateDirectoryA("C:\\dd", NULL));
  EXPECT_EQ(GetFileAttributesA("C:\\dd"), (DWORD)FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(GetFileAttributesA("C:\\dd\\"), (DWORD)FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(GetFileAttributesA("C:\\"), (DWORD)FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_EQ(GetFileAttributesA("C:\\nothere"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(GetFileAttributesA("C:\\nodir\\x"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(GetFileAttributesA("C:\\src.txt\\"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(SetFileAttributesA("C:\\nothere", 0));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
}

TEST(Files, CopyFileKeepsOrReplacesTheTarget) {
  std::string root = Fresh("files-copy");
  Put("C:\\a.txt", "source");
  Put("C:\\b.txt", "target");
  EXPECT_FALSE(CopyFileA("C:\\a.txt", "C:\\B.TXT", TRUE));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_EXISTS);
  EXPECT_EQ(Slurp("C:\\b.txt"), "target");

  // Replacing: the copy takes the source's bytes, last-write time and read-only bit.
  struct timespec old_times[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, (root + "/c/a.txt").c_str(), old_times, 0), 0);
  ASSERT_TRUE(SetFileAttributesA("C:\\a.txt", FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(CopyFileA("C:\\a.txt", "C:\\b.txt", FALSE));
  EXPECT_EQ(Slurp("C:\\b.txt"), "source");
  struct stat st;
  ASSERT_EQ(stat((root + "/c/b.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 1000000000);
  EXPECT_EQ(GetFileAttributesA("C:\\b.txt"), (DWORD)(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_ARCHIVE));
  EXPECT_TRUE(CopyFileA("C:\\a.txt", "C:\\c.txt", TRUE));
  EXPECT_EQ(Slurp("C:\\c.txt"), "source");

  ASSERT_TRUE(CreateDirectoryA("C:\\dd", NULL));
  struct Case {
    const char *from, *to;
    BOOL fail_if_exists;
    DWORD error;
  } refused[] = {
      {"C:\\nothere", "C:\\x.txt", FALSE, ERROR_FILE_NOT_FOUND},
      {"C:\\nodir\\x", "C:\\x.txt", FALSE, ERROR_PATH_NOT_FOUND},
      {"C:\\dd", "C:\\x.txt", FALSE, ERROR_ACCESS_DENIED},
      {"C:\\a.txt", "C:\\dd", FALSE, ERROR_ACCESS_DENIED},
      {"C:\\a.txt", "C:\\dd", TRUE, ERROR_FILE_EXISTS},
      {"C:\\a.txt", "C:\\dd\\", FALSE, ERROR_ACCESS_DENIED},
      {"C:\\a.txt", "C:\\nodir\\x", FALSE, ERROR_PATH_NOT_FOUND},
      {"C:\\a.txt", "C:\\A.TXT", FALSE, ERROR_SHARING_VIOLATION},
  };
  for (const Case &c : refused) {
    EXPECT_FALSE(CopyFileA(c.from, c.to, c.fail_if_exists)) << c.from << " -> " << c.to;
    EXPECT_EQ(GetLastError(), c.error) << c.from << " -> " << c.to;
  }

  // Open handles: the source may be open for writing by a sharer of reads; an
  // exclusive handle keeps it from being copied; a reader of the target that
  // does not share writing keeps it from being replaced.
  ASSERT_TRUE(SetFileAttributesA("C:\\b.txt", 0));
  Put("C:\\s.txt", "s");
  HANDLE h = Open("C:\\s.txt", GENERIC_WRITE, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_TRUE(CopyFileA("C:\\s.txt", "C:\\b.txt", FALSE));
  CloseHandle(h);
  h = Open("C:\\s.txt", GENERIC_READ, 0, OPEN_EXISTING);
  EXPECT_FALSE(CopyFileA("C:\\s.txt", "C:\\b.txt", FALSE));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_SHARING_VIOLATION);
  CloseHandle(h);
  h = Open("C:\\b.txt", GENERIC_READ, FILE_SHARE_READ, OPEN_EXISTING);
  EXPECT_FALSE(CopyFileA("C:\\s.txt", "C:\\b.txt", FALSE));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_SHARING_VIOLATION);
  CloseHandle(h);
}

TEST(Files, DeleteFileResults) {
  Fresh("files-delete");
  Put("C:\\f.txt", "x");
  ASSERT_TRUE(CreateDirectoryA("C:\\dd", NULL));
  struct Case {
    const char *path;
    DWORD error;
  } refused[] = {{"C:\\nothere", ERROR_FILE_NOT_FOUND},
                 {"C:\\nodir\\x", ERROR_PATH_NOT_FOUND},
                 {"C:\\dd", ERROR_ACCESS_DENIED},
                 {"C:\\dd\\", ERROR_ACCESS_DENIED},
                 {"C:\\f.txt\\", ERROR_INVALID_NAME}};
  for (const Case &c : refused) {
    EXPECT_FALSE(DeleteFileA(c.path)) << c.path;
    EXPECT_EQ(GetLastError(), c.error) << c.path;
  }
  EXPECT_TRUE(DeleteFileA("C:\\F.TXT"));
  EXPECT_EQ(GetFileAttributesA("C:\\f.txt"), INVALID_FILE_ATTRIBUTES);
}

TEST(Folders, CreateAndRemoveDirectoryResults) {
  std::string root = Fresh("folders");
  EXPECT_TRUE(CreateDirectoryA("C:\\a", NULL));
  EXPECT_TRUE(CreateDirectoryA("C:\\a\\b\\", NULL));  // a trailing backslash is fine
  EXPECT_FALSE(CreateDirectoryA("C:\\a\\b", NULL));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
  Put("C:\\a\\f.txt", "x");
  EXPECT_FALSE(CreateDirectoryA("C:\\a\\f.txt", NULL));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
  EXPECT_FALSE(CreateDirectoryA("C:\\x\\y", NULL));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(CreateDirectoryA("C:\\", NULL));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);

  EXPECT_FALSE(RemoveDirectoryA("C:\\a"));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_DIR_NOT_EMPTY);
  EXPECT_FALSE(RemoveDirectoryA("C:\\a\\f.txt"));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_DIRECTORY);
  EXPECT_FALSE(RemoveDirectoryA("C:\\a\\nothere"));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(RemoveDirectoryA("C:\\nodir\\x"));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
  EXPECT_FALSE(RemoveDirectoryA("C:\\"));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);

  // The current directory is held open.
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\a\\b"));
  EXPECT_FALSE(RemoveDirectoryA("C:\\A\\B"));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_SHARING_VIOLATION);
  ASSERT_TRUE(SetCurrentDirectoryA(".."));
  EXPECT_TRUE(RemoveDirectoryA("C:\\A\\B\\"));
  struct stat st;
  EXPECT_NE(stat((root + "/c/a/b").c_str(), &st), 0);
}

TEST(Times, SetFileTimeSetsTheHostTimesThroughAWritableHandle) {
  std::string root = Fresh("times-set");
  Put("C:\\t.txt", "x");
  FILETIME when;
  ASSERT_TRUE(DosDateTimeToFileTime(0x2821, 0x0000, &when));  // 2000-01-01 00:00:00
  HANDLE r = Open("C:\\t.txt", GENERIC_READ, 0, OPEN_EXISTING);
  EXPECT_FALSE(SetFileTime(r, NULL, NULL, &when));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
  CloseHandle(r);

  HANDLE w = Open("C:\\t.txt", GENERIC_WRITE, 0, OPEN_EXISTING);
  struct stat before;
  ASSERT_EQ(stat((root + "/c/t.txt").c_str(), &before), 0);
  EXPECT_TRUE(SetFileTime(w, NULL, NULL, &when));
  struct stat st;
  ASSERT_EQ(stat((root + "/c/t.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtim.tv_sec, 946684800);
  EXPECT_EQ(st.st_atim.tv_sec, before.st_atim.tv_sec);  // NULL: left alone
  FILETIME access = when;
  access.dwHighDateTime += 1;
  EXPECT_TRUE(SetFileTime(w, NULL, &access, NULL));
  FILETIME got_write, got_access;
  EXPECT_TRUE(GetFileTime(w, NULL, &got_access, &got_write));
  EXPECT_EQ(got_write.dwHighDateTime, when.dwHighDateTime);
  EXPECT_EQ(got_write.dwLowDateTime, when.dwLowDateTime);
  EXPECT_EQ(got_access.dwHighDateTime, access.dwHighDateTime);
  EXPECT_FALSE(SetFileTime((HANDLE)(ULONG_PTR)0x1234, NULL, NULL, &when));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
  CloseHandle(w);
}

unsigned long long Value(const FILETIME &ft) {
  return ((unsigned long long)ft.dwHighDateTime << 32) | ft.dwLowDateTime;
}

WORD DosDate(int y, int m, int d) { return (WORD)(((y - 1980) << 9) | (m << 5) | d); }
WORD DosTime(int h, int m, int s) { return (WORD)((h << 11) | (m << 5) | (s / 2)); }

TEST(Times, DosDateTimeFieldsAreTakenAsTheyAre) {
  Fresh("times-dos");
  FILETIME ft;
  ASSERT_TRUE(DosDateTimeToFileTime(DosDate(2000, 1, 1), 0, &ft));
  EXPECT_EQ(Value(ft), 0x01bf53eb256d4000ull);  // as Windows gives it
  ASSERT_TRUE(DosDateTimeToFileTime(DosDate(2000, 1, 1), DosTime(23, 59, 58), &ft));
  EXPECT_EQ(Value(ft), 0x01bf53eb256d4000ull + 86398ull * 10000000ull);
  ASSERT_TRUE(DosDateTimeToFileTime(DosDate(2107, 12, 31), DosTime(23, 59, 58), &ft));
  EXPECT_EQ(Value(ft), 0x023868b866d29300ull);
  ASSERT_TRUE(DosDateTimeToFileTime(DosDate(2000, 2, 29), 0, &ft));
  // As under Wine, 29 February is accepted in any year: in 2001 it is 1 March.
  FILETIME feb29, mar1;
  ASSERT_TRUE(DosDateTimeToFileTime(DosDate(2001, 2, 29), 0, &feb29));
  ASSERT_TRUE(DosDateTimeToFileTime(DosDate(2001, 3, 1), 0, &mar1));
  EXPECT_EQ(Value(feb29), Value(mar1));

  const WORD bad[][2] = {{0, 0},
                         {DosDate(1980, 0, 1), 0},
                         {DosDate(1980, 13, 1), 0},
                         {DosDate(2000, 1, 0), 0},
                         {DosDate(2000, 2, 30), 0},
                         {DosDate(2000, 4, 31), 0},
                         {DosDate(2000, 1, 1), DosTime(24, 0, 0)},
                         {DosDate(2000, 1, 1), DosTime(23, 60, 0)},
                         {DosDate(2000, 1, 1), DosTime(23, 59, 60)}};
  for (const auto &b : bad) {
    FILETIME out = {1, 1};
    EXPECT_FALSE(DosDateTimeToFileTime(b[0], b[1], &out)) << b[0] << " " << b[1];
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    EXPECT_EQ(out.dwLowDateTime, 1u);  // untouched
  }
}

// Runs fn with TZ set to zone, then restores the process's zone.
template <class Fn>
void InZone(const char *zone, Fn fn) {
  const char *old = getenv("TZ");
  std::string saved = old ? old : "";
  setenv("TZ", zone, 1);
  tzset();
  fn();
  if (old) setenv("TZ", saved.c_str(), 1);
  else unsetenv("TZ");
  tzset();
}

long long Shift(WORD date, bool to_utc) {
  FILETIME local, out;
  EXPECT_TRUE(DosDateTimeToFileTime(date, 0, &local));
  if (to_utc) EXPECT_TRUE(LocalFileTimeToFileTime(&local, &out));
  else EXPECT_TRUE(FileTimeToLocalFileTime(&local, &out));
  return ((long long)Value(out) - (long long)Value(local)) / 10000000LL;
}

TEST(Times, LocalTimesUseTheZonesCurrentBias) {
  Fresh("times-zone");
  InZone("JST-9", [] {
    EXPECT_EQ(Shift(DosDate(2000, 1, 1), true), -9 * 3600);
    EXPECT_EQ(Shift(DosDate(2000, 1, 1), false), 9 * 3600);
  });
  InZone("UTC0", [] { EXPECT_EQ(Shift(DosDate(2000, 7, 1), true), 0); });
  // A zone with daylight-saving time: winter and summer dates are shifted by
  // the same bias, today's, as Windows does.
  InZone("AEST-10AEDT,M10.1.0,M4.1.0/3", [] {
    long long january = Shift(DosDate(2010, 1, 15), true);
    long long july = Shift(DosDate(2010, 7, 15), true);
    EXPECT_EQ(january, july);
    EXPECT_TRUE(january == -10 * 3600 || january == -11 * 3600) << january;
    EXPECT_EQ(Shift(DosDate(2010, 7, 15), false), -july);
  });
  FILETIME early = {0, 0}, out;
  InZone("EST5", [&] {  // before 1601 in UTC: no such time
    EXPECT_FALSE(FileTimeToLocalFileTime(&early, &out));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
  });
}

}  // namespace
