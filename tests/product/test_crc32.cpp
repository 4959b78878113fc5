// Crc32Update against zlib's crc32: every short length at every alignment,
// long buffers across the lane groups, and values continued chunk by chunk;
// and each of its two paths, the tables and the folding, on its own.
#include <random>

#include "archive/crc32.h"
#include "archive/crc32_paths.h"
#include "archive/output_sink.h"
#include "tests/product/archive_fixture.h"

namespace {

// The CRC's first use asks the system about the processor: a fresh host
// layer for each test.
class Crc32 : public ::testing::Test {
 protected:
  void SetUp() override { winhost::Reset(SandboxDir("crc32").c_str()); }
};

TEST_F(Crc32, EveryLengthAndAlignmentMatchesZlib) {
  Bytes data = MakeData(kRandom, 1024 + 8, 17);
  for (unsigned align = 0; align < 8; align++)
    for (unsigned n = 0; n <= 1024; n++) {
      const BYTE *p = data.data() + align;
      ASSERT_EQ((uint32_t)crc32(0, p, n), Crc32Update(0, p, n)) << "length " << n << " alignment " << align;
    }
  // The standard check value, and a value continued in a second call.
  const BYTE abc[] = {'a', 'b', 'c'};
  EXPECT_EQ(0x352441C2u, Crc32Update(0, abc, 3));
  EXPECT_EQ(0x352441C2u, Crc32Update(Crc32Update(0, abc, 2), abc + 2, 1));
}

TEST_F(Crc32, LongBuffersAcrossLaneGroups) {
  Bytes data = MakeData(kBinary, 300000, 5);
  // Around the group sizes of 4 x 512 and 4 x 8192 bytes, and their sums.
  const size_t lengths[] = {2047,  2048,  2049,  2055,  16383, 16384, 16385, 16391,
                            18432, 18439, 32767, 32768, 32769, 34816, 34823,
                            65536 + 2048 + 7, 300000};
  for (size_t n : lengths)
    for (unsigned align : {0u, 3u})
      ASSERT_EQ((uint32_t)crc32(0, data.data() + align, (uInt)(n - align)),
                Crc32Update(0, data.data() + align, (DWORD)(n - align)))
          << "length " << n << " alignment " << align;

  // Continued over random pieces, from a value that is not 0.
  std::mt19937 rng(3);
  for (int round = 0; round < 20; round++) {
    uint32_t ours = 0x12345678u, theirs = 0x12345678u;
    for (size_t at = 0; at < data.size();) {
      size_t n = std::min<size_t>(data.size() - at, rng() % 40000);
      ours = Crc32Update(ours, data.data() + at, (DWORD)n);
      theirs = (uint32_t)crc32(theirs, data.data() + at, (uInt)n);
      at += n;
    }
    ASSERT_EQ(theirs, ours) << "round " << round;
  }
}

// The table path and, where the processor has carry-less multiplication,
// the folding path: every length to 2000 bytes at two alignments and from
// two starting values, and a large buffer, each against zlib. The folding
// path is chosen exactly where the processor reports PCLMULQDQ and SSE2.
TEST_F(Crc32, TablesAndFoldingAgreeWithZlib) {
#if defined(__x86_64__)
  int expected = __builtin_cpu_supports("pclmul") && __builtin_cpu_supports("sse2") ? 1 : 0;
  EXPECT_EQ(expected, Crc32FoldingAvailable());
#endif
  const bool folding = Crc32FoldingAvailable() != 0;
  Bytes data = MakeData(kBinary, (3u << 20) + 5, 29);
  for (uint32_t start : {0u, 0x9E3779B9u})
    for (unsigned align : {0u, 5u})
      for (unsigned n = 0; n <= 2000; n++) {
        const BYTE *p = data.data() + align;
        uint32_t zlib = (uint32_t)crc32(start, p, n);
        ASSERT_EQ(zlib, Crc32ByTables(start, p, n)) << "tables, length " << n << " alignment " << align;
        if (folding) {
          ASSERT_EQ(zlib, Crc32ByFolding(start, p, n)) << "folding, length " << n << " alignment " << align;
        }
      }
  uint32_t zlib = (uint32_t)crc32(7, data.data() + 1, (uInt)(data.size() - 1));
  EXPECT_EQ(zlib, Crc32ByTables(7, data.data() + 1, (DWORD)(data.size() - 1)));
  if (folding) {
    EXPECT_EQ(zlib, Crc32ByFolding(7, data.data() + 1, (DWORD)(data.size() - 1)));
  }
}

}  // namespace
