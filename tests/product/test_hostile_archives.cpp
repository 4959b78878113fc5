// Hostile archives: names that climb out of InstallDir, directories that lie
// about their size and place, members that run past the file, bombs and huge
// comments. Each gives one clear outcome, and no file ever lands outside
// InstallDir.
#include <sys/resource.h>

#include <filesystem>

#include "archive/extractor.h"
#include "archive/inflate.h"
#include "tests/support/inflate_hooks.h"
#include "common/state.h"
#include "tests/product/archive_fixture.h"
#include "tests/support/zip_builder.h"

namespace {


class HostileArchive : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = FreshExtractorMachine("hostile");
    before_ = Files();
  }

  int Extract(const Bytes &zip) {
    WriteHostFile("C:\\SETUP\\data1.qv", zip);
    before_.insert("c/SETUP/data1.qv");
    return ArchiveExtractor(kSource, "data1.qv", kInstall, NULL);
  }

  // Every file in the sandbox, relative to it (the registry file aside).
  std::set<std::string> Files() const {
    std::set<std::string> out;
    for (auto &e : std::filesystem::recursive_directory_iterator(root_))
      if (e.is_regular_file()) out.insert(std::filesystem::relative(e.path(), root_).string());
    out.erase("registry.reg");
    return out;
  }

  // Files that the extraction made outside InstallDir.
  std::vector<std::string> Outside() const {
    std::vector<std::string> out;
    std::string inside = "c/Program Files/Kelvorind/TNM Verifier/";
    for (const std::string &f : Files())
      if (!before_.count(f) && f.compare(0, inside.size(), inside) != 0) out.push_back(f);
    return out;
  }

  std::vector<std::string> Captions() const {
    std::vector<std::string> out;
    for (const std::string &line : winhost::TranscriptLines()) {
      size_t p = line.find("\"caption\":\"");
      if (line.find("\"event\":\"message\"") != std::string::npos && p != std::string::npos)
        out.push_back(line.substr(p + 11, line.find('"', p + 11) - p - 11));
    }
    return out;
  }

  static Bytes Installed(const std::string &name) {
    return ReadHostFile((std::string(kInstall) + name).c_str());
  }
  static bool Exists(const std::string &name) {
    return std::filesystem::exists(winhost::HostPath((std::string(kInstall) + name).c_str()));
  }

  std::string root_;
  std::set<std::string> before_;
};

void Put32(Bytes &b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) b[at + i] = (unsigned char)(v >> (8 * i));
}

// Offsets of every central directory entry's signature.
std::vector<size_t> CentralEntries(const Bytes &zip) {
  std::vector<size_t> out;
  for (size_t i = 0; i + 4 <= zip.size(); i++)
    if (zip[i] == 0x50 && zip[i + 1] == 0x4B && zip[i + 2] == 1 && zip[i + 3] == 2) out.push_back(i);
  return out;
}

size_t EndRecord(const Bytes &zip) {
  for (size_t i = zip.size() - 22;; i--)
    if (zip[i] == 0x50 && zip[i + 1] == 0x4B && zip[i + 2] == 5 && zip[i + 3] == 6) return i;
}

TEST_F(HostileArchive, ClimbingNamesAreRefusedBeforeAnythingIsWritten) {
  const char *names[] = {"../evil.txt",          "docs/../../evil.txt", "..\\evil.txt",
                         "C:/evil.txt",          "c:evil.txt",          "\\evil.txt",
                         "/evil.txt",            "docs/.../evil.txt",   "..",
                         "Z:\\WINDOWS\\evil.txt"};
  for (const char *name : names) {
    SetUp();
    ZipMember first = Member("ok.txt", MakeData(kText, 200));
    ZipMember bad = Member(name, MakeData(kText, 300));
    EXPECT_NE(0, Extract(BuildZip({first, bad}))) << name;
    EXPECT_EQ(Captions(), std::vector<std::string>{"Invalid File Name!"}) << name;
    EXPECT_EQ(first.data, Installed("ok.txt")) << name;  // the members before it stand
    EXPECT_TRUE(Outside().empty()) << name << ": " << (Outside().empty() ? "" : Outside()[0]);
    EXPECT_EQ(0, winhost::OpenFileHandles());
    EXPECT_EQ(0, winhost::LiveWindows());
  }
}

// The local header's name is the one used: a harmless central name does not
// let a climbing local name through.
TEST_F(HostileArchive, ClimbingLocalNameBehindAHarmlessCentralOne) {
  ZipMember bad = Member("../evil.txt", MakeData(kText, 300));
  bad.centralName = "fine.txt";
  EXPECT_NE(0, Extract(BuildZip({bad})));
  EXPECT_FALSE(Exists("fine.txt"));
  EXPECT_TRUE(Outside().empty());
}

// Dots inside a name, or a name of dots and letters, are ordinary names.
TEST_F(HostileArchive, DotsWithinNamesAreOrdinary) {
  ZipMember a = Member("a..b.txt", MakeData(kText, 100));
  ZipMember b = Member("docs/.hidden", MakeData(kText, 100));
  ZipMember c = Member("docs/..x/y.txt", MakeData(kText, 100));
  ASSERT_EQ(0, Extract(BuildZip({a, b, c})));
  EXPECT_EQ(a.data, Installed("a..b.txt"));
  EXPECT_EQ(b.data, Installed("docs\\.hidden"));
  EXPECT_EQ(c.data, Installed("docs\\..x\\y.txt"));
  EXPECT_TRUE(Outside().empty());
}

// Names that differ only in case name one file on Windows: the later member
// replaces the earlier, and one file remains.
TEST_F(HostileArchive, NamesDifferingInCaseLeaveOneFile) {
  ZipMember a = Member("ReadMe.txt", MakeData(kText, 500, 1));
  ZipMember b = Member("README.TXT", MakeData(kText, 700, 2));
  ZipMember c = Member("Docs/x.txt", MakeData(kText, 100, 3));
  ZipMember d = Member("DOCS/X.TXT", MakeData(kText, 90, 4));
  ASSERT_EQ(0, Extract(BuildZip({a, b, c, d})));
  EXPECT_EQ(b.data, Installed("readme.txt"));
  EXPECT_EQ(d.data, Installed("docs\\x.txt"));
  size_t inside = 0;
  for (const std::string &f : Files())
    if (f.find("TNM Verifier/") != std::string::npos) inside++;
  EXPECT_EQ(2u, inside);
}

// More entries announced than the directory holds: the walk reads the end
// record where the next entry should be and stops with the read error. A
// count of 65535 is a ZIP64 archive's mark: refused before anything is made.
TEST_F(HostileArchive, EntryCountLargerThanTheDirectory) {
  ZipMember a = Member("a.txt", MakeData(kText, 300));
  ZipMember b = Member("b.txt", MakeData(kText, 300));
  for (int entries : {3, 1000, 65535}) {
    SetUp();
    EXPECT_EQ(2, Extract(BuildZip({a, b}, {}, "", entries))) << entries;
    EXPECT_EQ(entries == 65535 ? Bytes() : a.data, Installed("a.txt"));
    EXPECT_EQ(entries == 65535 ? Bytes() : b.data, Installed("b.txt"));
    EXPECT_EQ(entries == 65535, !Captions().empty() && Captions().back() == "Unsupported Archive!");
    EXPECT_TRUE(Outside().empty());
    EXPECT_EQ(0, winhost::OpenFileHandles());
  }
}

// A directory whose size reaches before the file's start, or whose stored
// offset lies far past the file: the entries are looked for where they
// cannot be, and the walk stops with 2.
TEST_F(HostileArchive, CentralDirectoryPointingOutsideTheFile) {
  ZipMember a = Member("a.txt", MakeData(kText, 300));
  Bytes zip = BuildZip({a});
  size_t end = EndRecord(zip);

  Bytes bigSize = zip;
  Put32(bigSize, end + 12, 0x7FFFFFF0);
  EXPECT_EQ(2, Extract(bigSize));

  SetUp();
  Bytes farOffset = zip;
  Put32(farOffset, end + 16, 0xFFFFFF00);  // local headers then looked for past the file
  EXPECT_EQ(2, Extract(farOffset));
  EXPECT_FALSE(Exists("a.txt"));

  SetUp();
  Bytes pastEnd = zip;
  Put32(pastEnd, end + 12, 0);  // an empty directory said to start at the end record
  EXPECT_EQ(2, Extract(pastEnd));
  EXPECT_TRUE(Outside().empty());
  EXPECT_EQ(0, winhost::OpenFileHandles());
}

// Local header offsets that wrap around 32 bits. With 16 foreign bytes ahead
// of the archive, 0xFFFFFFF0 plus the base offset 16 comes to 0, the start of
// the foreign bytes, where no header is.
TEST_F(HostileArchive, LocalHeaderOffsetWrappingAround) {
  ZipMember a = Member("a.txt", MakeData(kText, 300));
  Bytes zip = BuildZip({a}, Bytes(16, 'x'));
  Put32(zip, CentralEntries(zip)[0] + 42, 0xFFFFFFF0);
  EXPECT_EQ(2, Extract(zip));
  EXPECT_FALSE(Exists("a.txt"));

  // A directory said to stand 32 bytes later than it does gives the base
  // offset -32 (0xFFFFFFE0): offsets raised by 32 wrap back onto the real
  // headers and extract; an offset of 0 wraps to 0xFFFFFFE0, past the file.
  SetUp();
  ZipMember b = Member("b.txt", MakeData(kText, 400));
  zip = BuildZip({a, b});
  size_t end = EndRecord(zip);
  Put32(zip, end + 16, (uint32_t)(zip[end + 16] | zip[end + 17] << 8 | zip[end + 18] << 16) + 32);
  std::vector<size_t> entries = CentralEntries(zip);
  Put32(zip, entries[0] + 42, 0 + 32);
  Put32(zip, entries[1] + 42, (uint32_t)(zip[entries[1] + 42] | zip[entries[1] + 43] << 8) + 32);
  EXPECT_EQ(0, Extract(zip));
  EXPECT_EQ(a.data, Installed("a.txt"));
  EXPECT_EQ(b.data, Installed("b.txt"));

  SetUp();
  Put32(zip, entries[0] + 42, 0);
  EXPECT_EQ(2, Extract(zip));
  EXPECT_FALSE(Exists("a.txt"));
  EXPECT_TRUE(Outside().empty());
}

// A compressed size that runs past the end of the file: a member's data
// must end before the central directory, stored or deflated, so the member
// is refused before its file is made, and nothing after it is read.
TEST_F(HostileArchive, CompressedSizePastTheEnd) {
  ZipMember a = Member("a.txt", MakeData(kRandom, 5000), 0);
  a.sizeOverride = 0x7FFFFFFF;
  ZipMember b = Member("b.txt", MakeData(kText, 100));
  for (int method : {0, 8}) {
    SetUp();
    a.method = method;
    EXPECT_EQ(2, Extract(BuildZip({a, b}))) << method;
    EXPECT_FALSE(Exists("a.txt"));
    EXPECT_FALSE(Exists("b.txt"));
    EXPECT_TRUE(Outside().empty());
    EXPECT_EQ(0, winhost::OpenFileHandles());
    EXPECT_EQ(0, winhost::LiveWindows());
  }
}

// A bomb: 24 MiB of zeros in about 24 KiB (1000x), and beside it an archive
// of bombs as a member. The bomb extracts exactly with the fixed buffers (no
// block of the heap stays, the resident memory grows by far less than the
// output), and the inner archive is written as it is, never opened.
TEST_F(HostileArchive, ZipBombsExtractWithFixedMemory) {
  Bytes zeros(24u << 20, 0);
  ZipMember bomb = Member("bomb.bin", zeros);
  Bytes packed = Deflate(zeros, 9, Z_DEFAULT_STRATEGY);
  ASSERT_GT(zeros.size() / packed.size(), 1000u);
  Bytes inner = BuildZip({Member("x1.bin", zeros), Member("x2.bin", zeros)});
  ZipMember nested = Member("nested.zip", inner);
  Bytes zip = BuildZip({bomb, nested});
  ASSERT_LT(zip.size(), 120000u);
  zeros.clear();
  zeros.shrink_to_fit();

  struct rusage before, after;
  getrusage(RUSAGE_SELF, &before);
  int blocks = winhost::LiveHeapBlocks();
  ASSERT_EQ(0, Extract(zip));
  getrusage(RUSAGE_SELF, &after);
  EXPECT_LE(winhost::LiveHeapBlocks(), blocks + 2);  // at most the fixed-code tables
  EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 8 * 1024);  // KiB: far below 24 MiB

  std::string host = winhost::HostPath((std::string(kInstall) + "bomb.bin").c_str());
  EXPECT_EQ(std::filesystem::file_size(host), 24u << 20);
  Bytes out = Installed("bomb.bin");
  EXPECT_EQ(out.end(), std::find_if(out.begin(), out.end(), [](unsigned char c) { return c != 0; }));
  EXPECT_EQ(inner, Installed("nested.zip"));
  EXPECT_FALSE(Exists("x1.bin"));
  EXPECT_TRUE(Outside().empty());
}

// An end record with a comment of the largest size: the record lies more than
// 32000 bytes from the end and is not found; a fake record at the comment's
// end is the one taken, and it announces nothing real.
TEST_F(HostileArchive, HugeComments) {
  ZipMember a = Member("a.txt", MakeData(kText, 300));
  EXPECT_EQ(2, Extract(BuildZip({a}, {}, std::string(65535, 'c'))));
  EXPECT_FALSE(Exists("a.txt"));

  SetUp();
  Bytes fake = {0x50, 0x4B, 0x05, 0x06, 0, 0, 0, 0, 1, 0, 1, 0, 0xFF, 0xFF, 0xFF, 0x7F, 0, 0, 0, 0, 0, 0};
  std::string comment = std::string(40000, 'c') + std::string(fake.begin(), fake.end());
  EXPECT_EQ(2, Extract(BuildZip({a}, {}, comment)));
  EXPECT_FALSE(Exists("a.txt"));
  EXPECT_TRUE(Outside().empty());
  EXPECT_EQ(0, winhost::OpenFileHandles());
  EXPECT_EQ(0, winhost::LiveWindows());
}

}  // namespace
