// Fault injection and call accounting (NAME#N, NAME#N+, NAME#*, *#N, *#N+),
// and the counted, failable process heap.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/host/internal.h"
#include "platform/host/winhost.h"
#include "platform/host/winhost_test.h"
#include "tests/support/sandbox.h"

namespace {

std::string Fresh(const char *name) {
  std::string dir = SandboxDir(name);
  winhost::Reset(dir.c_str());
  return dir;
}

// Whether one CreateDirectoryA call (a fresh folder each time) succeeds.
int g_folder;
bool MakeFolder() {
  std::string p = "C:\\f" + std::to_string(++g_folder);
  return CreateDirectoryA(p.c_str(), NULL) != 0;
}

TEST(Faults, NameAndNumberFailsThatCallOnly) {
  Fresh("faults-nth");
  winhost::SetFaults("CreateDirectoryA#2");
  EXPECT_TRUE(MakeFolder());
  SetLastError(0);
  EXPECT_FALSE(MakeFolder());
  EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);  // a plausible error comes with it
  EXPECT_TRUE(MakeFolder());
  EXPECT_EQ(winhost::CallCount("CreateDirectoryA"), 3u);
  EXPECT_EQ(GetFileAttributesA("C:\\f2"), INVALID_FILE_ATTRIBUTES);  // nothing was made
}

TEST(Faults, PlusFailsFromThatCallOnAndStarFailsEvery) {
  Fresh("faults-onward");
  winhost::SetFaults("CreateDirectoryA#2+");
  EXPECT_TRUE(MakeFolder());
  EXPECT_FALSE(MakeFolder());
  EXPECT_FALSE(MakeFolder());
  EXPECT_NE(GetFileAttributesA("C:\\"), INVALID_FILE_ATTRIBUTES);  // other calls go on

  winhost::SetFaults("GetFileAttributesA#*");
  EXPECT_EQ(GetFileAttributesA("C:\\"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA("C:\\"), INVALID_FILE_ATTRIBUTES);
  winhost::SetFaults("GetFileAttributesA");  // a bare name is every call too
  EXPECT_EQ(GetFileAttributesA("C:\\"), INVALID_FILE_ATTRIBUTES);
  winhost::SetFaults("");
  EXPECT_NE(GetFileAttributesA("C:\\"), INVALID_FILE_ATTRIBUTES);
}

TEST(Faults, StarCountsEveryPlatformCall) {
  Fresh("faults-star");
  char buf[MAX_PATH];
  unsigned long base = winhost::TotalCalls();
  std::string plan = "*#" + std::to_string(base + 3);
  winhost::SetFaults(plan.c_str());
  EXPECT_NE(GetCurrentDirectoryA(sizeof buf, buf), 0u);       // base + 1
  EXPECT_NE(GetFileAttributesA("C:\\"), INVALID_FILE_ATTRIBUTES);  // base + 2
  EXPECT_EQ(GetWindowsDirectoryA(buf, sizeof buf), 0u);        // base + 3 fails
  EXPECT_NE(GetWindowsDirectoryA(buf, sizeof buf), 0u);
  EXPECT_EQ(winhost::TotalCalls(), base + 4);

  plan = "*#" + std::to_string(winhost::TotalCalls() + 2) + "+";
  winhost::SetFaults(plan.c_str());
  EXPECT_TRUE(MakeFolder());
  EXPECT_FALSE(MakeFolder());
  EXPECT_EQ(GetFileAttributesA("C:\\"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetWindowsDirectoryA(buf, sizeof buf), 0u);
}

TEST(Faults, ListsCombineAndCountsAreKeptPerName) {
  Fresh("faults-list");
  g_folder = 0;
  winhost::SetFaults("CreateDirectoryA#1, GetFileAttributesA#2;RemoveDirectoryA#*");
  EXPECT_FALSE(MakeFolder());
  EXPECT_TRUE(MakeFolder());
  EXPECT_NE(GetFileAttributesA("C:\\f2"), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA("C:\\f2"), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(RemoveDirectoryA("C:\\f2"));
  auto counts = winhost::CallCounts();
  auto count = [&](const char *name) {
    for (auto &kv : counts)
      if (kv.first == name) return kv.second;
    return 0ul;
  };
  EXPECT_EQ(count("CreateDirectoryA"), 2u);
  EXPECT_EQ(count("GetFileAttributesA"), 2u);
  EXPECT_EQ(count("RemoveDirectoryA"), 1u);
  for (size_t i = 1; i < counts.size(); i++) EXPECT_LT(counts[i - 1].first, counts[i].first);

  Fresh("faults-list");  // the plan and the counts go with a reset
  EXPECT_EQ(winhost::CallCount("CreateDirectoryA"), 0u);
  EXPECT_TRUE(MakeFolder());
}

// A plan that could never fail a call is refused at once, with one line
// that names the item: a bad number, no name, or a name of no call.
TEST(Faults, MalformedPlansAndUnknownNamesAreRefused) {
  Fresh("faults-bad");
  EXPECT_EXIT(winhost::SetFaults("CopyFileA#0"), testing::ExitedWithCode(2), "'CopyFileA#0' is a bad fault");
  EXPECT_EXIT(winhost::SetFaults("CopyFileA#x"), testing::ExitedWithCode(2), "'CopyFileA#x' is a bad fault");
  EXPECT_EXIT(winhost::SetFaults("CopyFileA#"), testing::ExitedWithCode(2), "bad fault");
  EXPECT_EXIT(winhost::SetFaults("CopyFileA#-2"), testing::ExitedWithCode(2), "bad fault");
  EXPECT_EXIT(winhost::SetFaults("#3"), testing::ExitedWithCode(2), "'#3' names no call");
  EXPECT_EXIT(winhost::SetFaults("CopyFileA#1,CreateFile#1"), testing::ExitedWithCode(2),
              "^winhost: WINHOST_FAULTS: 'CreateFile#1' names no call of the host layer "
              "\\(did you mean CreateFileA\\?\\)\n$");
  EXPECT_EXIT(winhost::SetFaults("persistfile::save#1"), testing::ExitedWithCode(2),
              "did you mean IPersistFile::Save\\?");
  EXPECT_EXIT(winhost::SetFaults("NoSuchCall#*"), testing::ExitedWithCode(2),
              "'NoSuchCall#\\*' names no call of the host layer \\(names are spelt as in Win32");
  // Names of every family are taken.
  winhost::SetFaults("IPersistFile::Save#1 _fsopen#2;RegCloseKey#3+,FindFirstFileA#*,GetFileAttributesA#1");
  EXPECT_EQ(GetFileAttributesA("C:\\"), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesA("C:\\"), INVALID_FILE_ATTRIBUTES);
  // A call of the layer counted under a name that plans cannot name is a
  // slip of the layer itself, and ends the run.
  EXPECT_EXIT(wh::Count("GetFileAttributes"), testing::ExitedWithCode(2),
              "the call GetFileAttributes is missing from the list of call names");
}

TEST(Heap, BlocksAreCountedZeroedOnRequestAndCanFail) {
  Fresh("heap");
  HANDLE heap = GetProcessHeap();
  ASSERT_NE(heap, nullptr);
  unsigned char *a = (unsigned char *)HeapAlloc(heap, HEAP_ZERO_MEMORY, 4096);
  ASSERT_NE(a, nullptr);
  bool zero = true;
  for (int i = 0; i < 4096; i++) zero = zero && a[i] == 0;
  EXPECT_TRUE(zero);
  void *b = HeapAlloc(heap, 0, 0);  // zero bytes is still a block
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(winhost::LiveHeapBlocks(), 2);
  EXPECT_TRUE(HeapFree(heap, 0, a));
  EXPECT_EQ(winhost::LiveHeapBlocks(), 1);
  EXPECT_FALSE(HeapFree(heap, 0, a));  // not a live block any more
  EXPECT_TRUE(HeapFree(heap, 0, NULL));

  std::string plan = "HeapAlloc#" + std::to_string(winhost::CallCount("HeapAlloc") + 1);
  winhost::SetFaults(plan.c_str());
  EXPECT_EQ(HeapAlloc(heap, 0, 16), nullptr);
  EXPECT_EQ(winhost::LiveHeapBlocks(), 1);
  void *c = HeapAlloc(heap, 0, 16);
  EXPECT_NE(c, nullptr);
  HeapFree(heap, 0, c);
  HeapFree(heap, 0, b);
  EXPECT_EQ(winhost::LiveHeapBlocks(), 0);
}

// Many blocks at once, freed in another order than they came, through the
// live set's growth and its reuse of freed places.
TEST(Heap, ManyBlocksKeepTheirCount) {
  Fresh("heap-many");
  HANDLE heap = GetProcessHeap();
  std::vector<void *> blocks;
  for (int round = 0; round < 3; round++) {
    for (int i = 0; i < 5000; i++) blocks.push_back(HeapAlloc(heap, 0, 8 + i % 64));
    for (size_t i = 0; i < blocks.size(); i += 2) EXPECT_TRUE(HeapFree(heap, 0, blocks[i]));
    for (size_t i = 0; i < blocks.size(); i += 2) EXPECT_FALSE(HeapFree(heap, 0, blocks[i]));
    std::vector<void *> kept;
    for (size_t i = 1; i < blocks.size(); i += 2) kept.push_back(blocks[i]);
    blocks.swap(kept);
    EXPECT_EQ(winhost::LiveHeapBlocks(), (int)blocks.size());
  }
  for (void *b : blocks) EXPECT_TRUE(HeapFree(heap, 0, b));
  EXPECT_EQ(winhost::LiveHeapBlocks(), 0);
}

}  // namespace
