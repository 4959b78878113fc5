// The archive walk over archives built byte by byte: what lands on disk, the
// "File:" records, the message boxes, the results.
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>

#include "actions/paths.h"
#include "archive/extractor.h"
#include "archive/inflate.h"
#include "tests/support/inflate_hooks.h"
#include "archive/progress.h"
#include "archive/zip_records.h"
#include "common/state.h"
#include "tests/product/archive_fixture.h"
#include "tests/support/transcript.h"
#include "tests/support/zip_builder.h"

namespace {



class Extractor : public ::testing::Test {
 protected:
  void SetUp() override {
    FreshExtractorMachine("extractor");
  }

  int Extract(const Bytes &zip, FILE *log = NULL) {
    WriteHostFile("C:\\SETUP\\data1.qv", zip);
    return ArchiveExtractor(kSource, "data1.qv", kInstall, log);
  }

  // "caption: text" of every message box shown so far.
  static std::vector<std::string> Messages() { return MessagesOf(winhost::TranscriptLines()); }

  static Bytes Installed(const std::string &name) {
    return ReadHostFile((std::string(kInstall) + name).c_str());
  }
  static bool Exists(const std::string &name) {
    struct stat st;
    return stat(winhost::HostPath((std::string(kInstall) + name).c_str()).c_str(), &st) == 0;
  }
};

TEST_F(Extractor, ExtractsMembersFoldersAndRecords) {
  ZipMember dir = Member("docs/", {}, 0);
  ZipMember nested = Member("docs/manual/readme.txt", MakeData(kText, 70000));
  ZipMember stored = Member("qenvo.exe", MakeData(kBinary, 40000), 0);
  ZipMember empty = Member("empty.txt", {}, 0);
  Bytes zip = BuildZip({dir, nested, stored, empty});
  std::string logPath = winhost::HostPath("C:\\log.txt");
  FILE *log = fopen(logPath.c_str(), "w+");
  unsigned long writes = winhost::CallCount("WriteFile");
  ASSERT_EQ(0, Extract(zip, log));
  fclose(log);
  EXPECT_EQ(nested.data, Installed("docs\\manual\\readme.txt"));
  EXPECT_EQ(stored.data, Installed("qenvo.exe"));
  EXPECT_TRUE(Exists("empty.txt"));
  EXPECT_TRUE(Installed("empty.txt").empty());
  // 70000 bytes deflated: two full windows and a final flush; the stored
  // member in chunks of 16384, 16384 and 7232.
  EXPECT_EQ(writes + 3 + 3, winhost::CallCount("WriteFile"));
  Bytes text = ReadHostFile("C:\\log.txt");
  EXPECT_EQ(
      "File:C:\\Program Files\\Kelvorind\\TNM Verifier\\docs\\manual\\readme.txt\n"
      "File:C:\\Program Files\\Kelvorind\\TNM Verifier\\qenvo.exe\n"
      "File:C:\\Program Files\\Kelvorind\\TNM Verifier\\empty.txt\n",
      std::string(text.begin(), text.end()));
  EXPECT_TRUE(Messages().empty());

  char cwd[MAX_PATH];
  GetCurrentDirectoryA(MAX_PATH, cwd);
  EXPECT_STREQ("C:\\Program Files\\Kelvorind\\TNM Verifier", cwd);
  EXPECT_EQ(0, winhost::LiveWindows());
  EXPECT_EQ(0, winhost::OpenFileHandles());
}

TEST_F(Extractor, ZeroEntriesShowsTheWindowAndWritesNothing) {
  FILE *log = tmpfile();
  ASSERT_EQ(0, Extract(BuildZip({}), log));
  EXPECT_EQ(0L, ftell(log));
  fclose(log);
  bool shown = false;
  for (const std::string &line : winhost::TranscriptLines())
    if (line.find("\"event\":\"window\"") != std::string::npos && line.find("102") != std::string::npos)
      shown = true;
  EXPECT_TRUE(shown);
  EXPECT_EQ(0, winhost::LiveWindows());
}

TEST_F(Extractor, FindsTheEndRecord) {
  // Shorter than an end record, or none in the file.
  EXPECT_EQ(2, Extract(Bytes(21, 'P')));
  EXPECT_EQ(2, Extract(MakeData(kRandom, 5000)));
  EXPECT_EQ(0, winhost::OpenFileHandles());

  ZipMember a = Member("a.txt", MakeData(kText, 100));
  // A comment of 31978 bytes still leaves the record in the last 32000.
  ASSERT_EQ(0, Extract(BuildZip({a}, {}, std::string(31978, 'c'))));
  EXPECT_EQ(a.data, Installed("a.txt"));
  EXPECT_EQ(2, Extract(BuildZip({a}, {}, std::string(31979, 'c'))));

  // The signature nearest the end wins: here a record inside the comment
  // that announces no entries.
  SetUp();
  Bytes fake = {0x50, 0x4B, 0x05, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  ASSERT_EQ(0, Extract(BuildZip({a}, {}, "x" + std::string(fake.begin(), fake.end()))));
  EXPECT_FALSE(Exists("a.txt"));
}

TEST_F(Extractor, WalksPrefixesDescriptorsCommentsAndLongNames) {
  ZipMember a = Member("a.txt", MakeData(kText, 3000));
  a.descriptor = true;
  a.comment = "first entry's comment";
  a.extra = {0x55, 0x54, 5, 0, 1, 2, 3, 4, 5};
  ZipMember b = Member("b.bin", MakeData(kBinary, 5000), 0);
  b.descriptor = true;
  b.comment = std::string(300, 'n');  // read only to move past it
  ZipMember c = Member("c.txt", MakeData(kRandom, 100));
  c.comment = "third";
  ASSERT_EQ(0, Extract(BuildZip({a, b, c}, Bytes(1000, 'M'))));
  EXPECT_EQ(a.data, Installed("a.txt"));
  EXPECT_EQ(b.data, Installed("b.bin"));
  EXPECT_EQ(c.data, Installed("c.txt"));
}

TEST_F(Extractor, EntryNamesAreCutAndTurned) {
  WriteHostFile("C:\\names.bin", Bytes({'d', 'i', 'r', '/', 'f', 'i', 'l', 'e', 'X', 'Y', 'Z', '!'}));
  HANDLE h = CreateFileA("C:\\names.bin", GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
  char name[ZIP_NAME_MAX + 1];
  DWORD pos = 0;
  ASSERT_EQ(0, ReadEntryName(h, 8, 3, name, &pos));
  EXPECT_STREQ("dir\\file", name);
  EXPECT_EQ(11u, pos);
  char rest[2] = {0};
  DWORD got = 0;
  ReadFile(h, rest, 1, &got, NULL);
  EXPECT_EQ('!', rest[0]);  // the file stands past the skipped bytes
  pos = 0;
  SetFilePointer(h, 0, NULL, FILE_BEGIN);
  EXPECT_EQ(2, ReadEntryName(h, 20, 0, name, &pos));  // short read
  CloseHandle(h);
}

TEST_F(Extractor, MemberFailures) {
  ZipMember unknown = Member("odd.bin", MakeData(kText, 10), 12);
  EXPECT_EQ(2, Extract(BuildZip({unknown})));
  EXPECT_TRUE(Exists("odd.bin"));
  EXPECT_TRUE(Installed("odd.bin").empty());
  std::vector<std::string> expect = {"Unknown Compression Method!: odd.bin", "CRC check error!: odd.bin"};
  EXPECT_EQ(expect, Messages());

  unknown.useCrcOverride = true;  // with a stored CRC of 0 the result is 1
  unknown.crcOverride = 0;
  EXPECT_EQ(1, Extract(BuildZip({unknown})));

  ZipMember bad = Member("bad.txt", MakeData(kText, 50000));
  bad.wrongCrc = true;
  EXPECT_EQ(2, Extract(BuildZip({bad})));
  EXPECT_EQ(bad.data, Installed("bad.txt"));  // written completely all the same
  EXPECT_EQ("CRC check error!: bad.txt", Messages().back());

  // A stored member whose data runs past the end of the file: refused before
  // its file is made, without a box of its own.
  ZipMember cut = Member("cut.bin", MakeData(kText, 2000), 0);
  cut.sizeOverride = 1000000;
  size_t before = Messages().size();
  EXPECT_EQ(2, Extract(BuildZip({cut})));
  EXPECT_EQ(before, Messages().size());
  EXPECT_TRUE(Installed("cut.bin").empty());

  // A read-only file in the way: no message, result 2.
  ZipMember ro = Member("ro.txt", MakeData(kText, 10));
  WriteHostFile((std::string(kInstall) + "ro.txt").c_str(), {'o', 'l', 'd'});
  SetFileAttributesA((std::string(kInstall) + "ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  before = Messages().size();
  EXPECT_EQ(2, Extract(BuildZip({ro})));
  EXPECT_EQ(before, Messages().size());
  EXPECT_EQ(Bytes({'o', 'l', 'd'}), Installed("ro.txt"));
  SetFileAttributesA((std::string(kInstall) + "ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);

  // A member folder that cannot be made: 53, with the folder in the message.
  // The install folder's three steps come first, then the member's folder.
  std::string plan = "CreateDirectoryA#" + std::to_string(winhost::CallCount("CreateDirectoryA") + 4);
  winhost::SetFaults(plan.c_str());
  EXPECT_EQ(53, Extract(BuildZip({Member("ab/c.txt", MakeData(kText, 5))})));
  winhost::SetFaults("");
  EXPECT_EQ("Error Creating Directory: ab", Messages().back());
  EXPECT_EQ(0, winhost::LiveWindows());
  EXPECT_EQ(0, winhost::OpenFileHandles());
}

TEST_F(Extractor, RefusesNamesThatLeaveTheInstallFolder) {
  for (const char *name : {"../evil.txt", "a/../../evil.txt", "C:evil.txt", "c:/evil.txt",
                           "\\evil.txt", "/evil.txt", "", "a/.../b.txt"}) {
    FILE *log = tmpfile();
    size_t before = Messages().size();
    ZipMember ok = Member("first.txt", {'1'});
    EXPECT_EQ(2, Extract(BuildZip({ok, Member(name, MakeData(kText, 5))}), log)) << name;
    EXPECT_EQ(before + 1, Messages().size()) << name;
    std::string turned = name;
    for (char &c : turned)
      if (c == '/') c = '\\';
    EXPECT_EQ("Invalid File Name!: " + turned, Messages().back());
    // Only the member before it was recorded.
    EXPECT_EQ((long)strlen("File:") + (long)strlen(kInstall) + 9 + 1, ftell(log)) << name;
    fclose(log);
  }
  struct stat st;
  EXPECT_NE(0, stat(winhost::HostPath("C:\\Program Files\\Kelvorind\\evil.txt").c_str(), &st));
  EXPECT_NE(0, stat(winhost::HostPath("C:\\evil.txt").c_str(), &st));
}

TEST_F(Extractor, FileTimesAreLocalMemberTimes) {
  const char *old = getenv("TZ");
  std::string saved = old ? old : "";
  setenv("TZ", "JST-9", 1);
  tzset();
  ZipMember m = Member("t.txt", MakeData(kText, 10));  // 2020-05-17 12:00:00 local
  ASSERT_EQ(0, Extract(BuildZip({m})));
  struct stat st;
  ASSERT_EQ(0, stat(winhost::HostPath((std::string(kInstall) + "t.txt").c_str()).c_str(), &st));
  struct tm utc = {};
  utc.tm_year = 120;
  utc.tm_mon = 4;
  utc.tm_mday = 17;
  utc.tm_hour = 3;
  EXPECT_EQ(timegm(&utc), st.st_mtime);
  if (old) setenv("TZ", saved.c_str(), 1);
  else unsetenv("TZ");
  tzset();
}

TEST_F(Extractor, ArchiveAndFolderFailures) {
  EXPECT_EQ(2, ArchiveExtractor(kSource, "missing.qv", kInstall, NULL));
  winhost::SetFaults("SetCurrentDirectoryA#*");
  EXPECT_EQ(2, Extract(BuildZip({Member("a.txt", {'a'})})));
  EXPECT_EQ(0, winhost::OpenFileHandles());
  EXPECT_EQ(0, winhost::LiveWindows());
}

}  // namespace
