// Windows paths over the sandbox: drive folders, case-insensitive names,
// GetFullPathNameA's rules, the current directory and the Windows directory.
#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>
#include <sys/stat.h>

#include <string>

#include "platform/host/winhost.h"
#include "platform/host/winhost_test.h"
#include "tests/support/sandbox.h"

namespace {

std::string Fresh(const char *name) {
  std::string dir = SandboxDir(name);
  winhost::Reset(dir.c_str());
  return dir;
}

bool IsDir(const std::string &host) {
  struct stat st;
  return stat(host.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

HANDLE Open(const char *path, DWORD disposition) {
  return CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, NULL, disposition, 0, NULL);
}

TEST(Paths, DrivesAreLowerCaseFoldersAndOnlyCAlwaysExists) {
  std::string root = Fresh("paths-drives");
  EXPECT_TRUE(IsDir(root + "/c"));
  EXPECT_EQ(winhost::HostPath("C:\\dir\\a.txt"), "");  // the folder above is missing
  EXPECT_EQ(winhost::HostPath("c:\\a.txt"), root + "/c/a.txt");
  EXPECT_EQ(winhost::HostPath("C:/a.txt"), root + "/c/a.txt");  // forward slashes too

  EXPECT_EQ(winhost::HostPath("D:\\a.txt"), "");
  EXPECT_EQ(Open("D:\\a.txt", CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
  ASSERT_EQ(mkdir((root + "/d").c_str(), 0777), 0);  // a drive appears with its folder
  HANDLE h = Open("D:\\a.txt", CREATE_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_EQ(winhost::HostPath("d:\\A.TXT"), root + "/d/a.txt");
}

TEST(Paths, ExistingNamesMatchWithoutCaseNewOnesKeepTheirCase) {
  std::string root = Fresh("paths-case");
  ASSERT_TRUE(CreateDirectoryA("C:\\Data", NULL));
  ASSERT_TRUE(CreateDirectoryA("C:\\DATA\\Sub Folder", NULL));
  HANDLE h = Open("c:\\data\\SUB FOLDER\\File.TXT", CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_EQ(winhost::HostPath("C:\\DATA\\sub folder\\FILE.txt"), root + "/c/Data/Sub Folder/File.TXT");
  h = Open("C:\\data\\sub folder\\file.txt", CREATE_NEW);
  EXPECT_EQ(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_EXISTS);
  EXPECT_FALSE(CreateDirectoryA("c:\\dAtA", NULL));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_ALREADY_EXISTS);
}

struct FullCase {
  const char *in, *out, *part;  // part NULL: the reported file part is NULL
};

TEST(Paths, FullPathNamesFollowWindowsRules) {
  Fresh("paths-full");
  ASSERT_TRUE(CreateDirectoryA("C:\\work", NULL));
  ASSERT_TRUE(SetCurrentDirectoryA("C:\\work"));
  // Results as Windows (and Wine) give them.
  const FullCase cases[] = {
      {".", "C:\\work", "work"},
      {"..", "C:\\", NULL},
      {"a\\..\\..\\..\\x", "C:\\x", "x"},
      {"C:\\a\\\\b", "C:\\a\\b", "b"},
      {"C:\\a\\b.  ", "C:\\a\\b", "b"},
      {"C:\\a. \\b", "C:\\a. \\b", "b"},
      {"C:\\a\\.", "C:\\a", "a"},
      {"C:\\a\\..", "C:\\", NULL},
      {"\\x", "C:\\x", "x"},
      {"C:x", "C:\\work\\x", "x"},
      {"D:x", "D:\\x", "x"},
      {"C:\\a\\", "C:\\a\\", NULL},
      {"C:", "C:\\work\\", NULL},
      {"a/./b/", "C:\\work\\a\\b\\", NULL},
      {"a\\b\\...", "C:\\work\\a\\b\\", NULL},
      {"a\\...\\b", "C:\\work\\a\\...\\b", "b"},
      {" a", "C:\\work\\ a", " a"},
      {"c:\\Foo", "c:\\Foo", "Foo"},
      {"a*b", "C:\\work\\a*b", "a*b"},  // no name check here
  };
  for (const FullCase &c : cases) {
    char buf[MAX_PATH];
    char *part = (char *)1;
    DWORD n = GetFullPathNameA(c.in, sizeof buf, buf, &part);
    EXPECT_EQ(n, strlen(c.out)) << c.in;
    EXPECT_STREQ(buf, c.out) << c.in;
    if (c.part) {
      EXPECT_STREQ(part, c.part) << c.in;
    } else {
      EXPECT_EQ(part, nullptr) << c.in;
    }
  }
}

TEST(Paths, FullPathNameReturnsTheNeededSizeWhenTheBufferIsShort) {
  Fresh("paths-short");
  char small[9];
  char *part = (char *)1;
  EXPECT_EQ(GetFullPathNameA("C:\\abcdef", 5, small, &part), 10u);
  EXPECT_EQ(part, (char *)1);  // untouched
  EXPECT_EQ(GetFullPathNameA("C:\\abcdef", 9, small, NULL), 10u);  // no room for the NUL
  EXPECT_EQ(GetFullPathNameA("C:\\abcdef", 0, NULL, NULL), 10u);
  char buf[10];
  EXPECT_EQ(GetFullPathNameA("C:\\abcdef", 10, buf, &part), 9u);
  EXPECT_STREQ(part, "abcdef");
  EXPECT_EQ(GetFullPathNameA("", sizeof buf, buf, NULL), 0u);
}

TEST(Paths, CurrentDirectoryResolvesRelativeNames) {
  std::string root = Fresh("paths-cwd");
  char buf[MAX_PATH];
  EXPECT_EQ(GetCurrentDirectoryA(sizeof buf, buf), 3u);
  EXPECT_STREQ(buf, "C:\\");
  ASSERT_TRUE(CreateDirectoryA("C:\\probe", NULL));
  ASSERT_TRUE(CreateDirectoryA("C:\\probe\\dd", NULL));
  ASSERT_TRUE(SetCurrentDirectoryA("c:\\PROBE\\DD\\"));
  EXPECT_EQ(GetCurrentDirectoryA(sizeof buf, buf), 11u);
  EXPECT_STREQ(buf, "c:\\PROBE\\DD");  // as given, without the trailing backslash
  EXPECT_EQ(GetCurrentDirectoryA(3, buf), 12u);
  EXPECT_EQ(GetCurrentDirectoryA(0, NULL), 12u);

  HANDLE h = Open("rel.txt", CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_EQ(winhost::HostPath("C:\\probe\\dd\\rel.txt"), root + "/c/probe/dd/rel.txt");
  EXPECT_NE(GetFileAttributesA("C:\\probe\\dd\\rel.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA("\\probe\\dd\\rel.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA("..\\dd\\rel.txt"), INVALID_FILE_ATTRIBUTES);

  EXPECT_FALSE(SetCurrentDirectoryA("nothere"));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(SetCurrentDirectoryA("rel.txt"));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_DIRECTORY);
  EXPECT_FALSE(SetCurrentDirectoryA("nodir\\x"));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
  GetCurrentDirectoryA(sizeof buf, buf);
  EXPECT_STREQ(buf, "c:\\PROBE\\DD");  // unchanged by the failures

  winhost::Reset(root.c_str());
  GetCurrentDirectoryA(sizeof buf, buf);
  EXPECT_STREQ(buf, "C:\\");
}

TEST(Paths, NamesWithCharactersWindowsRefusesAreInvalid) {
  Fresh("paths-names");
  const char *bad[] = {"C:\\a*b", "C:\\a?b", "C:\\a|b", "C:\\a<b", "C:\\a>b", "C:\\a\"b",
                       "C:\\a:b", "C:\\a\x01z", "C:\\nodir\\a*b", "C:\\a*b\\c"};
  for (const char *p : bad) {
    EXPECT_EQ(Open(p, CREATE_ALWAYS), INVALID_HANDLE_VALUE) << p;
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_NAME) << p;
  }
  EXPECT_FALSE(CreateDirectoryA("C:\\a?b", NULL));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_NAME);
  EXPECT_EQ(Open("", OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_PATH_NOT_FOUND);
}

TEST(Paths, FullPathsOfMaxPathCharactersAreTooLong) {
  Fresh("paths-long");
  // Names are at most 255 characters, so the path takes two.
  std::string dir = "C:\\" + std::string(200, 'd');
  ASSERT_TRUE(CreateDirectoryA(dir.c_str(), NULL));
  std::string p = dir + "\\" + std::string(MAX_PATH - 2 - dir.size(), 'f');
  ASSERT_EQ(p.size(), 259u);
  HANDLE h = Open(p.c_str(), CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  p += 'a';
  EXPECT_EQ(Open(p.c_str(), CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILENAME_EXCED_RANGE);
  EXPECT_FALSE(CreateDirectoryA(p.c_str(), NULL));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILENAME_EXCED_RANGE);
}

TEST(Paths, WindowsDirectoryIsCWindowsAndExists) {
  std::string root = Fresh("paths-windir");
  char buf[20];
  EXPECT_EQ(GetWindowsDirectoryA(buf, sizeof buf), 10u);
  EXPECT_STREQ(buf, "C:\\WINDOWS");
  EXPECT_EQ(GetWindowsDirectoryA(buf, 10), 11u);
  EXPECT_EQ(GetWindowsDirectoryA(buf, 11), 10u);
  EXPECT_EQ(GetFileAttributesA("c:\\windows"), (DWORD)FILE_ATTRIBUTE_DIRECTORY);
  EXPECT_TRUE(IsDir(root + "/c/WINDOWS"));
}

}  // namespace

// Folders are read once for case-insensitive lookups and then followed by
// their change events: whatever another program (here the test itself, on
// the host side) does to a folder after it was read is seen by the next
// lookup: names made, removed and renamed, and the folder itself replaced.
TEST(Paths, CaseInsensitiveLookupsSeeChangesMadeOutsideTheLayer) {
  std::string root = Fresh("paths-listing");
  ASSERT_TRUE(CreateDirectoryA("C:\\Dir", NULL));
  HANDLE h = Open("C:\\dir\\first.txt", CREATE_NEW);  // "dir" and the new name are looked up
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  auto touch = [](const std::string &path) { fclose(fopen(path.c_str(), "w")); };

  touch(root + "/c/Dir/Other.TXT");
  EXPECT_EQ(winhost::HostPath("C:\\DIR\\other.txt"), root + "/c/Dir/Other.TXT");
  EXPECT_EQ(Open("C:\\dir\\OTHER.txt", CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_FILE_EXISTS);

  ASSERT_EQ(rename((root + "/c/Dir/Other.TXT").c_str(), (root + "/c/Dir/Renamed.bin").c_str()), 0);
  EXPECT_EQ(GetFileAttributesA("C:\\dir\\other.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(winhost::HostPath("C:\\dir\\RENAMED.BIN"), root + "/c/Dir/Renamed.bin");
  ASSERT_EQ(unlink((root + "/c/Dir/Renamed.bin").c_str()), 0);
  EXPECT_EQ(winhost::HostPath("C:\\dir\\RENAMED.BIN"), root + "/c/Dir/RENAMED.BIN");  // gone: as given

  // The folder replaced by another of the same name, then moved away.
  ASSERT_EQ(system(("rm -rf '" + root + "/c/Dir' && mkdir '" + root + "/c/Dir' && touch '" + root +
                    "/c/Dir/New.Txt'").c_str()),
            0);
  EXPECT_EQ(winhost::HostPath("C:\\dir\\new.txt"), root + "/c/Dir/New.Txt");
  EXPECT_EQ(winhost::HostPath("C:\\dir\\first.txt"), root + "/c/Dir/first.txt");  // no longer there
  ASSERT_EQ(rename((root + "/c/Dir").c_str(), (root + "/c/Moved").c_str()), 0);
  ASSERT_EQ(mkdir((root + "/c/Dir").c_str(), 0777), 0);
  touch(root + "/c/Dir/Third.Txt");
  EXPECT_EQ(winhost::HostPath("C:\\dir\\THIRD.txt"), root + "/c/Dir/Third.Txt");
  EXPECT_EQ(winhost::HostPath("C:\\dir\\NEW.txt"), root + "/c/Dir/NEW.txt");
  EXPECT_EQ(winhost::HostPath("C:\\moved\\NEW.txt"), root + "/c/Moved/New.Txt");
}
