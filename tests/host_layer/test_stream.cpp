// The _fsopen stream: text translation both ways, Ctrl-Z, the open modes,
// sharing with CreateFileA handles, and its failable calls.
#include <errno.h>
#include <gtest/gtest.h>

#include <fstream>
#include <string>

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
  std::ofstream f(winhost::HostPath(path), std::ios::binary | std::ios::trunc);
  f << bytes;
}

std::string Slurp(const char *path) { return ReadText(winhost::HostPath(path)); }

std::string ReadAll(FILE *f) {
  std::string s;
  int c;
  while ((c = fgetc(f)) != EOF) s += (char)c;
  return s;
}

TEST(Stream, TextModeWritesCrLfAndReadsItBack) {
  Fresh("stream-text");
  FILE *f = _fsopen("C:\\log.txt", "w+t", _SH_DENYNO);
  ASSERT_NE(f, nullptr);
  fprintf(f, "File:%s\n", "C:\\x\\a.txt");
  fprintf(f, "Dire:%s\n", "C:\\x\\");
  ASSERT_EQ(fseek(f, 0, SEEK_SET), 0);  // writes out what is buffered first
  EXPECT_EQ(Slurp("C:\\log.txt"), "File:C:\\x\\a.txt\r\nDire:C:\\x\\\r\n");
  char line[64];
  ASSERT_NE(fgets(line, sizeof line, f), nullptr);
  EXPECT_STREQ(line, "File:C:\\x\\a.txt\n");
  ASSERT_NE(fgets(line, sizeof line, f), nullptr);
  EXPECT_STREQ(line, "Dire:C:\\x\\\n");
  EXPECT_EQ(fgets(line, sizeof line, f), nullptr);
  EXPECT_TRUE(feof(f));
  EXPECT_FALSE(ferror(f));
  EXPECT_EQ(fseek(f, 0, SEEK_SET), 0);
  EXPECT_FALSE(feof(f));
  EXPECT_EQ(fclose(f), 0);
  EXPECT_EQ(winhost::OpenFileHandles(), 0);

  f = _fsopen("C:\\plain.txt", "w", _SH_DENYNO);  // no "b": text as well
  fputs("a\nb", f);
  fclose(f);
  EXPECT_EQ(Slurp("C:\\plain.txt"), "a\r\nb");
}

TEST(Stream, TextReadKeepsLoneCrAndEndsAtCtrlZ) {
  Fresh("stream-ctrlz");
  Put("C:\\t.txt", std::string("a\r\nb\rc\x1a" "d\r\n", 10));
  FILE *f = _fsopen("C:\\t.txt", "rt", _SH_DENYNO);
  ASSERT_NE(f, nullptr);
  char line[32];
  ASSERT_NE(fgets(line, sizeof line, f), nullptr);
  EXPECT_STREQ(line, "a\n");
  ASSERT_NE(fgets(line, sizeof line, f), nullptr);
  EXPECT_STREQ(line, "b\rc");
  EXPECT_EQ(fgets(line, sizeof line, f), nullptr);
  EXPECT_TRUE(feof(f));
  EXPECT_FALSE(ferror(f));
  fseek(f, 0, SEEK_SET);
  EXPECT_EQ(ReadAll(f), "a\nb\rc");  // the end is at the Ctrl-Z again
  fclose(f);

  f = _fsopen("C:\\t.txt", "rb", _SH_DENYNO);  // binary passes every byte
  EXPECT_EQ(ReadAll(f), std::string("a\r\nb\rc\x1a" "d\r\n", 10));
  fclose(f);
}

TEST(Stream, CrLfSplitAcrossReadsIsStillOneLineEnd) {
  Fresh("stream-split");
  // Every CR sits at an odd offset, so one of them ends any even-sized read.
  std::string raw = "x", want = "x";
  for (int i = 0; i < 10000; i++) {
    raw += i % 7 == 3 ? "\rz" : "\r\n";
    want += i % 7 == 3 ? "\rz" : "\n";
  }
  raw += "\r";  // a CR at the very end stays
  want += "\r";
  Put("C:\\s.txt", raw);
  FILE *f = _fsopen("C:\\s.txt", "r", _SH_DENYNO);
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(ReadAll(f), want);
  fclose(f);
  // A small, odd buffer splits the text at every kind of place.
  for (int size : {1, 2, 5, 8}) {
    f = _fsopen("C:\\s.txt", "r", _SH_DENYNO);
    ASSERT_EQ(setvbuf(f, NULL, _IOFBF, size), 0);
    EXPECT_EQ(ReadAll(f), want) << "buffer " << size;
    fclose(f);
  }
}

TEST(Stream, ModesCreateTruncateAndAppend) {
  Fresh("stream-modes");
  errno = 0;
  EXPECT_EQ(_fsopen("C:\\none.txt", "r", _SH_DENYNO), nullptr);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(_fsopen("C:\\nodir\\x.txt", "w", _SH_DENYNO), nullptr);
  EXPECT_EQ(_fsopen("C:\\x.txt", "q", _SH_DENYNO), nullptr);
  EXPECT_EQ(errno, EINVAL);

  Put("C:\\m.txt", "old content");
  FILE *f = _fsopen("C:\\m.txt", "r+b", _SH_DENYNO);  // no truncation
  fputs("NEW", f);
  fclose(f);
  EXPECT_EQ(Slurp("C:\\m.txt"), "NEW content");
  f = _fsopen("C:\\m.txt", "wb", _SH_DENYNO);  // truncates
  fclose(f);
  EXPECT_EQ(Slurp("C:\\m.txt"), "");

  f = _fsopen("C:\\a.txt", "a", _SH_DENYNO);  // creates
  fputs("x\n", f);
  fclose(f);
  f = _fsopen("C:\\a.txt", "a+", _SH_DENYNO);
  fputs("y\n", f);
  fseek(f, 0, SEEK_SET);
  char line[8];
  ASSERT_NE(fgets(line, sizeof line, f), nullptr);
  EXPECT_STREQ(line, "x\n");
  fseek(f, 0, SEEK_SET);
  fputs("z\n", f);  // appending writes at the end whatever the position
  fclose(f);
  EXPECT_EQ(Slurp("C:\\a.txt"), "x\r\ny\r\nz\r\n");
}

TEST(Stream, SharingAndReadOnlyApplyAsToCreateFileA) {
  Fresh("stream-share");
  FILE *f = _fsopen("C:\\log.txt", "w+t", _SH_DENYNO);
  ASSERT_NE(f, nullptr);
  HANDLE h = CreateFileA("C:\\log.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                         OPEN_EXISTING, 0, NULL);
  EXPECT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  h = CreateFileA("C:\\log.txt", GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING, 0, NULL);
  EXPECT_EQ(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(DeleteFileA("C:\\log.txt"));
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_SHARING_VIOLATION);
  fclose(f);
  EXPECT_TRUE(DeleteFileA("C:\\log.txt"));

  f = _fsopen("C:\\x.txt", "w", _SH_DENYRW);
  h = CreateFileA("C:\\x.txt", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, NULL,
                  OPEN_EXISTING, 0, NULL);
  EXPECT_EQ(h, INVALID_HANDLE_VALUE);
  fclose(f);

  Put("C:\\ro.txt", "keep");
  ASSERT_TRUE(SetFileAttributesA("C:\\ro.txt", FILE_ATTRIBUTE_READONLY));
  errno = 0;
  EXPECT_EQ(_fsopen("C:\\ro.txt", "w", _SH_DENYNO), nullptr);
  EXPECT_EQ(errno, EACCES);
  EXPECT_EQ(_fsopen("C:\\ro.txt", "a", _SH_DENYNO), nullptr);
  f = _fsopen("C:\\ro.txt", "r", _SH_DENYNO);
  ASSERT_NE(f, nullptr);
  fclose(f);
  EXPECT_EQ(Slurp("C:\\ro.txt"), "keep");
}

TEST(Stream, FailedCallsSetTheErrorIndicator) {
  Fresh("stream-faults");
  winhost::SetFaults("_fsopen#1");
  EXPECT_EQ(_fsopen("C:\\log.txt", "w+t", _SH_DENYNO), nullptr);
  EXPECT_EQ(winhost::OpenFileHandles(), 0);

  // A write that fails as on a full disk: the buffered line is lost.
  winhost::SetFaults("StreamWrite#*");
  FILE *f = _fsopen("C:\\log.txt", "w+t", _SH_DENYNO);
  ASSERT_NE(f, nullptr);
  fprintf(f, "line\n");
  EXPECT_EQ(fflush(f), EOF);
  EXPECT_TRUE(ferror(f));
  fclose(f);  // the failed flush dropped the buffer: nothing is left to write
  EXPECT_EQ(Slurp("C:\\log.txt"), "");

  // Only the next write fails (the plan counts calls since the reset).
  std::string next = "StreamWrite#" + std::to_string(winhost::CallCount("StreamWrite") + 1);
  winhost::SetFaults(next.c_str());
  f = _fsopen("C:\\log.txt", "w+t", _SH_DENYNO);
  fprintf(f, "line\n");
  EXPECT_EQ(fclose(f), EOF);
  EXPECT_GE(winhost::CallCount("StreamWrite"), 1u);

  Put("C:\\in.txt", "one\r\ntwo\r\n");
  winhost::SetFaults("StreamRead#1");
  f = _fsopen("C:\\in.txt", "r", _SH_DENYNO);
  char line[16];
  EXPECT_EQ(fgets(line, sizeof line, f), nullptr);
  EXPECT_TRUE(ferror(f));
  EXPECT_FALSE(feof(f));
  fclose(f);

  winhost::SetFaults("StreamSeek#*");
  f = _fsopen("C:\\in.txt", "r", _SH_DENYNO);
  EXPECT_NE(fseek(f, 0, SEEK_SET), 0);
  winhost::SetFaults("");
  fclose(f);
  EXPECT_EQ(winhost::OpenFileHandles(), 0);
}

}  // namespace
