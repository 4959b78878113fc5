// The inflater against zlib's deflate, and hand-made streams for what zlib
// never writes.
#include <algorithm>

#include "archive/inflate.h"
#include "tests/support/inflate_hooks.h"
#include "archive/output_sink.h"
#include "archive/progress.h"
#include "tests/product/archive_fixture.h"
#include "tests/product/deflate_codes.h"

namespace {

// What follows a member's data in an archive (the next header or the central
// directory): the decoder may look a few bytes past the end of the stream.
const Bytes kTrailer = {'P', 'K', 1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

class Inflate : public ::testing::Test {
 protected:
  void SetUp() override {
    InflateReset();
    winhost::Reset(SandboxDir("inflate").c_str());
  }

  // Inflates stream (followed by kTrailer) into C:\out.bin.
  int Run(const Bytes &stream, Bytes *out) {
    Bytes file = stream;
    file.insert(file.end(), kTrailer.begin(), kTrailer.end());
    WriteHostFile("C:\\in.bin", file);
    HANDLE in = CreateFileA("C:\\in.bin", GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, NULL);
    HANDLE output =
        CreateFileA("C:\\out.bin", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
    EXPECT_NE(INVALID_HANDLE_VALUE, in);
    EXPECT_NE(INVALID_HANDLE_VALUE, output);
    BeginOutput(output, 0xFFFFFFFF);
    int r = InflateMember(in);
    CloseHandle(in);
    CloseHandle(output);
    *out = ReadHostFile("C:\\out.bin");
    return r;
  }

  static Bytes StoredStream(const Bytes &data, bool final = true) {
    BitWriter w;
    w.Bits(final, 1);
    w.Bits(0, 2);
    w.Align();
    w.Bits((unsigned)data.size(), 16);
    w.Bits(~(unsigned)data.size() & 0xFFFF, 16);
    w.bytes.insert(w.bytes.end(), data.begin(), data.end());
    return w.bytes;
  }
};

TEST_F(Inflate, MatchesZlibAcrossLevelsStrategiesAndSizes) {
  const size_t sizes[] = {0, 1, 32767, 32768, 32769, 65536, 3 << 20};
  const struct {
    int level, strategy;
  } modes[] = {{6, Z_DEFAULT_STRATEGY}, {1, Z_DEFAULT_STRATEGY}, {9, Z_DEFAULT_STRATEGY},
               {6, Z_FILTERED},         {6, Z_HUFFMAN_ONLY},     {6, Z_RLE},
               {6, Z_FIXED},            {0, Z_DEFAULT_STRATEGY}};
  for (DataKind kind : {kText, kBinary, kRandom, kRepetitive}) {
    for (size_t size : sizes) {
      Bytes data = MakeData(kind, size, (unsigned)size);
      for (auto mode : modes) {
        if (size > 65536 && mode.level != 6) continue;  // the big ones once per strategy
        Bytes out;
        ASSERT_EQ(0, Run(Deflate(data, mode.level, mode.strategy), &out))
            << "kind " << kind << " size " << size << " level " << mode.level << " strategy "
            << mode.strategy;
        ASSERT_TRUE(out == data) << "kind " << kind << " size " << size << " level " << mode.level;
        ASSERT_EQ(ZlibCrc(data), g_outputSink.crc);
      }
    }
  }
}

TEST_F(Inflate, StoredBlocks) {
  // A stored block after a Huffman block takes LEN from the bits already
  // buffered past the byte boundary.
  BitWriter w;
  w.Bits(0, 1);
  w.Bits(1, 2);
  w.FixedSymbol('A');
  w.FixedSymbol('B');
  w.FixedSymbol(256);
  w.Bits(1, 1);
  w.Bits(0, 2);
  w.Align();
  w.Bits(3, 16);
  w.Bits(~3u & 0xFFFF, 16);
  for (char c : std::string("xyz")) w.Bits((unsigned char)c, 8);
  Bytes out;
  ASSERT_EQ(0, Run(w.bytes, &out));
  EXPECT_EQ("ABxyz", std::string(out.begin(), out.end()));

  // LEN 0 adds nothing; then a final stored block.
  Bytes empty = StoredStream({}, false), tail = StoredStream({'!'});
  empty.insert(empty.end(), tail.begin(), tail.end());
  ASSERT_EQ(0, Run(empty, &out));
  EXPECT_EQ("!", std::string(out.begin(), out.end()));

  // NLEN that is not the complement of LEN.
  Bytes bad = StoredStream({'a', 'b'});
  bad[3] ^= 0x01;
  EXPECT_EQ(1, Run(bad, &out));
}

TEST_F(Inflate, InvalidBlocksAndCodes) {
  Bytes out;
  BitWriter type3;  // a fixed block, then the reserved block type
  type3.Bits(0, 1);
  type3.Bits(1, 2);
  type3.FixedSymbol('Q');
  type3.FixedSymbol(256);
  type3.Bits(1, 1);
  type3.Bits(3, 2);
  EXPECT_EQ(2, Run(type3.bytes, &out));

  for (unsigned sym : {286u, 287u}) {  // length symbols with no meaning
    BitWriter w;
    w.Bits(1, 1);
    w.Bits(1, 2);
    w.FixedSymbol('a');
    w.FixedSymbol(sym);
    EXPECT_EQ(1, Run(w.bytes, &out)) << sym;
  }
  for (unsigned dist : {30u, 31u}) {  // distance codes no symbol owns
    BitWriter w;
    w.Bits(1, 1);
    w.Bits(1, 2);
    w.FixedSymbol('a');
    w.FixedSymbol(257);
    w.Code(dist, 5);
    EXPECT_EQ(1, Run(w.bytes, &out)) << dist;
  }

  // Input that ends inside a block gives 1 with no message.
  Bytes cut = Deflate(MakeData(kText, 5000), 6, Z_DEFAULT_STRATEGY);
  cut.resize(cut.size() / 2);
  WriteHostFile("C:\\in.bin", cut);
  HANDLE in = CreateFileA("C:\\in.bin", GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
  HANDLE o = CreateFileA("C:\\out.bin", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
  BeginOutput(o, 0xFFFFFFFF);
  EXPECT_EQ(1, InflateMember(in));
  CloseHandle(in);
  CloseHandle(o);
  EXPECT_EQ(0u, winhost::CallCount("MessageBoxA"));
}

// A dynamic block written from explicit code lengths. The code-length code
// gives symbols 0-12 four bits and 13-18 five bits (a complete code).
struct DynamicBlock {
  BitWriter w;
  unsigned clLength[19];
  std::vector<std::pair<unsigned, unsigned>> clCode;
  DynamicBlock(unsigned nl, unsigned nd, bool final = true) {
    for (unsigned i = 0; i < 19; i++) clLength[i] = i < 13 ? 4 : 5;
    std::vector<unsigned> l(clLength, clLength + 19);
    clCode = CanonicalCodes(l);
    w.Bits(final, 1);
    w.Bits(2, 2);
    w.Bits(nl - 257, 5);
    w.Bits(nd - 1, 5);
    w.Bits(19 - 4, 4);
    for (unsigned i = 0; i < 19; i++) w.Bits(clLength[kOrder[i]], 3);
  }
  void Length(unsigned value) { w.Code(clCode[value].first, clCode[value].second); }
  void Repeat(unsigned sym, unsigned count) {  // 16, 17 or 18 with its count
    Length(sym);
    if (sym == 16) w.Bits(count - 3, 2);
    if (sym == 17) w.Bits(count - 3, 3);
    if (sym == 18) w.Bits(count - 11, 7);
  }
  void Lengths(const std::vector<unsigned> &lengths) {
    for (unsigned l : lengths) Length(l);
  }
};

TEST_F(Inflate, DynamicBlockHeaders) {
  Bytes out;
  // HLIT and HDIST at 31: codes exist for symbols 286/287 and distances 30/31
  // and are only an error when met in the data.
  std::vector<unsigned> lit(288), dist(32, 5);
  for (unsigned i = 0; i < 288; i++) lit[i] = i < 224 ? 8 : 9;
  auto litCode = CanonicalCodes(lit);
  auto distCode = CanonicalCodes(dist);
  auto full = [&](std::vector<unsigned> symbols, int distance) {
    DynamicBlock b(288, 32);
    b.Lengths(lit);
    b.Lengths(dist);
    for (unsigned s : symbols) b.w.Code(litCode[s].first, litCode[s].second);
    if (distance >= 0) b.w.Code(distCode[distance].first, 5);
    if (distance < 0) b.w.Code(litCode[256].first, litCode[256].second);
    return b.w.bytes;
  };
  ASSERT_EQ(0, Run(full({'h', 'i'}, -1), &out));
  EXPECT_EQ("hi", std::string(out.begin(), out.end()));
  EXPECT_EQ(1, Run(full({'h', 286}, -1), &out));
  EXPECT_EQ(1, Run(full({'h', 257}, 30), &out));

  // Literal 'a' and end of block with one bit each; no distance codes. The
  // lengths end in a repeat of three zeros that runs exactly to nl + nd.
  auto literalsOnly = [&](unsigned lastRepeat) {
    DynamicBlock b(257, 3);
    b.Repeat(18, 97);   // symbols 0-96
    b.Length(1);        // 'a'
    b.Repeat(18, 138);  // 98-235
    b.Repeat(18, 20);   // 236-255
    b.Length(1);        // end of block
    b.Repeat(17, lastRepeat);
    b.w.Code(0, 1);  // 'a'
    b.w.Code(1, 1);  // end of block
    return b.w.bytes;
  };
  ASSERT_EQ(0, Run(literalsOnly(3), &out));
  EXPECT_EQ("a", std::string(out.begin(), out.end()));
  EXPECT_EQ(1, Run(literalsOnly(4), &out));  // one length too many

  // A sequence that starts with repeat code 16 repeats length 0.
  DynamicBlock s(257, 1);
  s.Repeat(16, 6);  // 0-5: 0
  s.Repeat(18, 91); // 6-96
  s.Length(1);      // 'a'
  s.Repeat(18, 138);
  s.Repeat(18, 20);
  s.Length(1);  // end of block
  s.Length(0);  // the one distance length
  s.w.Code(0, 1);
  s.w.Code(0, 1);
  s.w.Code(1, 1);
  ASSERT_EQ(0, Run(s.w.bytes, &out));
  EXPECT_EQ("aa", std::string(out.begin(), out.end()));

  // An incomplete literal/length code longer than one bit fails before any
  // data: here 'a' has two bits and nothing else but end of block (one bit).
  DynamicBlock inc(257, 1);
  inc.Repeat(18, 97);
  inc.Length(2);
  inc.Repeat(18, 138);
  inc.Repeat(18, 20);
  inc.Length(1);
  inc.Length(0);
  inc.w.Code(1, 1);
  EXPECT_EQ(1, Run(inc.w.bytes, &out));
  EXPECT_TRUE(out.empty());
}

TEST_F(Inflate, MatchesReachIntoEarlierMembersAndWrapTheWindow) {
  Bytes first = MakeData(kRandom, 32776, 3), out;
  ASSERT_EQ(0, Run(StoredStream(first), &out));
  // The window now holds first[32768..32775] at 0..7 and first[8..32767]
  // above. A new member writes 'x' at 0, then copies 3 bytes from distance 5:
  // that is window position 32764, left by the first member.
  BitWriter w;
  w.Bits(1, 1);
  w.Bits(1, 2);
  w.FixedSymbol('x');
  w.FixedSymbol(257);  // length 3
  w.Code(4, 5);        // distance 5-6
  w.Bits(0, 1);        // extra bit: 5
  w.FixedSymbol(256);
  ASSERT_EQ(0, Run(w.bytes, &out));
  ASSERT_EQ(4u, out.size());
  EXPECT_EQ('x', out[0]);
  EXPECT_TRUE(std::equal(out.begin() + 1, out.end(), first.begin() + 32764));

  // Distance 1, length 258 repeats the last byte.
  BitWriter run;
  run.Bits(1, 1);
  run.Bits(1, 2);
  run.FixedSymbol('z');
  run.FixedSymbol(285);
  run.Code(0, 5);
  run.FixedSymbol(256);
  ASSERT_EQ(0, Run(run.bytes, &out));
  EXPECT_EQ(Bytes(259, 'z'), out);
}

TEST_F(Inflate, FlushSizesAndProgressCadence) {
  // Exactly one window of output: one write of 32768, the final flush of 0
  // writes nothing.
  Bytes window = MakeData(kText, 32768), out;
  unsigned long writes = winhost::CallCount("WriteFile");
  ASSERT_EQ(0, Run(Deflate(window, 6, Z_DEFAULT_STRATEGY), &out));
  EXPECT_EQ(window, out);
  EXPECT_EQ(writes + 1, winhost::CallCount("WriteFile"));

  // An empty fixed block: empty file, no write, result 0.
  BitWriter empty;
  empty.Bits(1, 1);
  empty.Bits(1, 2);
  empty.FixedSymbol(256);
  writes = winhost::CallCount("WriteFile");
  ASSERT_EQ(0, Run(empty.bytes, &out));
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(writes, winhost::CallCount("WriteFile"));

  // A stored member of n bytes fetches 5 + n bytes. Bring the counter to
  // 1999, then an empty fixed member (2 fetches) crosses 2000 once.
  g_progress.bar = NULL;
  g_progress.archiveSize = 1000000;
  unsigned c = InflateFetchCounter();
  Bytes pad((1999 - 5 - c + 2000) % 2000 + 2000);  // at least one full step first
  DWORD total = g_progress.total;
  ASSERT_EQ(0, Run(StoredStream(pad), &out));
  EXPECT_EQ(1999u, InflateFetchCounter());
  EXPECT_EQ(total + 2000 * ((c + 5 + pad.size()) / 2000), g_progress.total);
  total = g_progress.total;
  ASSERT_EQ(0, Run(empty.bytes, &out));
  EXPECT_EQ(1u, InflateFetchCounter());
  EXPECT_EQ(total + 2000, g_progress.total);
}

TEST_F(Inflate, WriteAndMemoryFailures) {
  Bytes data = MakeData(kText, 200000), out;
  Bytes stream = Deflate(data, 6, Z_DEFAULT_STRATEGY);
  winhost::SetFaults("WriteFile#1");
  EXPECT_EQ(50, Run(stream, &out));
  EXPECT_TRUE(out.empty());
  EXPECT_EQ(1u, winhost::CallCount("WriteFile"));  // decoding stopped at the first window

  // A fixed block whose tables cannot be built gives 3; the next fixed
  // block builds them again.
  BitWriter w;
  w.Bits(1, 1);
  w.Bits(1, 2);
  w.FixedSymbol('k');
  w.FixedSymbol(256);
  InflateReset();
  int blocks = winhost::LiveHeapBlocks();
  winhost::SetFaults("HeapAlloc#*");
  EXPECT_EQ(3, Run(w.bytes, &out));
  EXPECT_EQ(blocks, winhost::LiveHeapBlocks());
  winhost::SetFaults("");
  ASSERT_EQ(0, Run(w.bytes, &out));
  EXPECT_EQ("k", std::string(out.begin(), out.end()));

  // Dynamic blocks release their tables on every path.
  blocks = winhost::LiveHeapBlocks();
  for (int k = 1; k <= 3; k++) {
    std::string plan = "HeapAlloc#" + std::to_string(winhost::CallCount("HeapAlloc") + k);
    winhost::SetFaults(plan.c_str());
    EXPECT_EQ(3, Run(stream, &out)) << plan;
    EXPECT_EQ(blocks, winhost::LiveHeapBlocks()) << plan;
  }
}

}  // namespace

namespace {

// Arbitrary bytes, and zlib streams with bits flipped, never crash the
// decoder: they decode, or end with a non-zero result or a CRC mismatch.
TEST_F(Inflate, HostileStreamsEndCleanly) {
  std::mt19937 rng(4);
  Bytes good = Deflate(MakeData(kText, 100000), 9, Z_DEFAULT_STRATEGY), out;
  for (int round = 0; round < 400; round++) {
    Bytes stream;
    if (round % 2) {
      stream = good;
      for (int flips = 1 + rng() % 8; flips > 0; flips--) stream[rng() % stream.size()] ^= 1 << (rng() % 8);
    } else {
      stream = MakeData(kRandom, 1 + rng() % 3000, round);
    }
    int r = Run(stream, &out);
    EXPECT_TRUE(r == 0 || r == 1 || r == 2) << "round " << round << " result " << r;
  }
  EXPECT_EQ(0, winhost::OpenFileHandles());
}

}  // namespace
