// The inflater's block copies and its batched input counting, against a
// byte-by-byte model of the window and hand-counted fetches: matches of every
// short distance, matches split at the window's end, distances into earlier
// members, the progress counts at a failed write and read, truncated streams.
#include <algorithm>

#include "archive/inflate.h"
#include "tests/support/inflate_hooks.h"
#include "archive/output_sink.h"
#include "archive/progress.h"
#include "tests/product/archive_fixture.h"

namespace {

// A member written op by op, together with what a window copied one byte at a
// time makes of it. The model window is process-wide like the inflater's:
// every member starts at position 0 over what earlier members left.
struct Model {
  unsigned char window[32768] = {0};
};

struct Member {
  Model *model;
  BitWriter w;
  Bytes expected;
  unsigned pos = 0;
  bool inFixedBlock = false;

  explicit Member(Model *m) : model(m) {}
  void Emit(unsigned char b) {
    model->window[pos] = b;
    pos = (pos + 1) & 32767;
    expected.push_back(b);
  }
  void OpenFixed() {
    if (inFixedBlock) return;
    w.Bits(0, 1);
    w.Bits(1, 2);
    inFixedBlock = true;
  }
  void CloseFixed() {
    if (!inFixedBlock) return;
    w.FixedSymbol(256);
    inFixedBlock = false;
  }
  void Literal(unsigned char b) {
    OpenFixed();
    w.FixedSymbol(b);
    Emit(b);
  }
  void Match(unsigned length, unsigned distance) {
    static const unsigned lbase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                       31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const unsigned lextra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                        2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static const unsigned dbase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                       33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                       1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    static const unsigned dextra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
    OpenFixed();
    int l = 28;
    while (lbase[l] > length) l--;
    if (length == 258) l = 28;
    else if (l == 28) l = 27;
    w.FixedSymbol(257 + l);
    w.Bits(length - lbase[l], lextra[l]);
    int d = 29;
    while (dbase[d] > distance) d--;
    w.Code(d, 5);
    w.Bits(distance - dbase[d], dextra[d]);
    for (unsigned i = 0; i < length; i++) Emit(model->window[(pos - distance) & 32767]);
  }
  void Stored(const Bytes &data) {
    CloseFixed();
    for (size_t at = 0; at < data.size() || at == 0; at += 65535) {
      size_t n = std::min<size_t>(65535, data.size() - at);
      w.Bits(0, 1);
      w.Bits(0, 2);
      w.Align();
      w.Bits((unsigned)n, 16);
      w.Bits(~(unsigned)n & 0xFFFF, 16);
      for (size_t i = 0; i < n; i++) {
        w.bytes.push_back(data[at + i]);
        Emit(data[at + i]);
      }
      w.Align();
      if (data.empty()) break;
    }
  }
  // Ends the open block and adds an empty final fixed block.
  Bytes Finish() {
    CloseFixed();
    w.Bits(1, 1);
    w.Bits(1, 2);
    w.FixedSymbol(256);
    inFixedBlock = false;
    return w.bytes;
  }
};

class InflateEdges : public ::testing::Test {
 protected:
  void SetUp() override {
    InflateReset();
    winhost::Reset(SandboxDir("inflate-edges").c_str());
    winhost::SetScript("auto yes\n");  // the read error's message box is answered OK
    g_progress.bar = NULL;
    g_progress.archiveSize = 1000000;
  }
  // Inflates the stream (followed by trailer bytes unless bare) into C:\out.bin.
  int Run(const Bytes &stream, Bytes *out, bool bare = false) {
    Bytes file = stream;
    if (!bare) file.insert(file.end(), 16, 0);
    WriteHostFile("C:\\in.bin", file);
    HANDLE in = CreateFileA("C:\\in.bin", GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    HANDLE output = CreateFileA("C:\\out.bin", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    BeginOutput(output, 0xFFFFFFFF);
    int r = InflateMember(in);
    CloseHandle(in);
    CloseHandle(output);
    *out = ReadHostFile("C:\\out.bin");
    return r;
  }
  // Brings the fetch counter to want with a stored member (5 + n fetches).
  void SetFetchCounter(unsigned want) {
    unsigned c = InflateFetchCounter();
    Bytes pad((want + 4000 - 5 - c) % 2000 + 2000), out;
    Model m;
    Member s(&m);
    s.Stored(pad);
    Bytes stream = s.w.bytes;
    stream[0] |= 1;  // the only block is the final one
    ASSERT_EQ(0, Run(stream, &out, true));
    ASSERT_EQ(want, InflateFetchCounter());
  }
};

TEST_F(InflateEdges, MatchesOfEveryShortDistanceAndLength) {
  Model model;
  Member m(&model);
  Bytes seed = MakeData(kRandom, 64, 9);
  for (unsigned char b : seed) m.Literal(b);
  const unsigned lengths[] = {3, 4, 5, 6, 7, 8, 9, 10, 11, 15, 16, 17, 23, 24, 31, 33, 64, 100, 257, 258};
  // Three rounds, so that the output passes the window's end at many offsets.
  for (int round = 0; round < 3; round++)
    for (unsigned d = 1; d <= 40; d++)
      for (unsigned len : lengths) {
        m.Match(len, d);
        m.Literal((unsigned char)(d * 7 + len));
      }
  ASSERT_GT(m.expected.size(), 65536u);
  Bytes out;
  ASSERT_EQ(0, Run(m.Finish(), &out));
  ASSERT_EQ(m.expected.size(), out.size());
  EXPECT_TRUE(m.expected == out);
  EXPECT_EQ(ZlibCrc(m.expected), g_outputSink.crc);
}

TEST_F(InflateEdges, MatchesAtTheWindowEndAndIntoEarlierMembers) {
  Model model;
  Bytes out;
  // The first member fills the window once and a little more.
  Member first(&model);
  first.Stored(MakeData(kRandom, 32768 + 100, 1));
  Bytes s1 = first.Finish();
  ASSERT_EQ(0, Run(s1, &out));
  ASSERT_TRUE(first.expected == out);

  // The second one stops 5 short of the window's end, then copies across it
  // with a short and a long distance, copies 32768 back onto itself, and then
  // copies from above the position (the source wraps, the destination lies
  // below it) over the source's end.
  Member second(&model);
  second.Stored(MakeData(kText, 32768 - 5, 2));
  second.Match(10, 3);
  second.Match(40, 1000);
  second.Match(20, 32768);
  second.Match(200, 100);
  second.Match(258, 32000);
  for (unsigned len = 3; len < 40; len++) second.Match(len, 32768 - len);
  Bytes s2 = second.Finish();
  ASSERT_EQ(0, Run(s2, &out));
  ASSERT_EQ(second.expected.size(), out.size());
  EXPECT_TRUE(second.expected == out);

  // The third reaches before its own first byte: what the second left there.
  Member third(&model);
  third.Literal('x');
  third.Match(50, 5000);
  third.Match(258, 30000);
  third.Match(9, 2);
  Bytes s3 = third.Finish();
  ASSERT_EQ(0, Run(s3, &out));
  EXPECT_TRUE(third.expected == out);
}

TEST_F(InflateEdges, AFailedWriteStopsWithEveryFetchBeforeItCounted) {
  Bytes out;
  // A stored block fetches 5 header bytes and then one byte per data byte;
  // the k-th window is written right after data byte 32768 k was fetched
  // (the second block of 100000 bytes starts after 65535 of them).
  for (int k = 1; k <= 3; k++) {
    SetFetchCounter(1234);
    Model model;
    Member m(&model);
    m.Stored(MakeData(kRandom, 100000, 4));
    Bytes stream = m.Finish();
    DWORD total = g_progress.total;
    std::string plan = "WriteFile#" + std::to_string(winhost::CallCount("WriteFile") + k);
    winhost::SetFaults(plan.c_str());
    EXPECT_EQ(50, Run(stream, &out)) << plan;
    winhost::SetFaults("");
    unsigned fetched = 1234 + 5 + 32768 * k + (32768 * k > 65535 ? 5 : 0);
    EXPECT_EQ(total + 2000 * (fetched / 2000), g_progress.total) << plan;
    EXPECT_EQ(fetched % 2000, InflateFetchCounter()) << plan;
  }

  // Literals of a fixed block: 3 header bits and 8 bits each, so the first
  // window is full once 32769 bytes are fetched.
  SetFetchCounter(777);
  Model model;
  Member lit(&model);
  for (int i = 0; i < 40000; i++) lit.Literal('a');
  Bytes stream = lit.Finish();
  DWORD total = g_progress.total;
  std::string plan = "WriteFile#" + std::to_string(winhost::CallCount("WriteFile") + 1);
  winhost::SetFaults(plan.c_str());
  EXPECT_EQ(50, Run(stream, &out));
  winhost::SetFaults("");
  EXPECT_EQ(total + 2000 * ((777 + 32769) / 2000), g_progress.total);
  EXPECT_EQ((777u + 32769u) % 2000, InflateFetchCounter());
}

TEST_F(InflateEdges, AFetchThatNeedsARead) {
  // The fetch of byte 4097 is the 2000th: it moves the bar before the read,
  // and a read that fails shows its message once and gives 1.
  SetFetchCounter(2000 - 4097 % 2000);
  Model model;
  Member m(&model);
  m.Stored(MakeData(kRandom, 10000, 6));
  Bytes stream = m.Finish(), out;
  DWORD total = g_progress.total;
  std::string plan = "ReadFile#" + std::to_string(winhost::CallCount("ReadFile") + 2);
  winhost::SetFaults(plan.c_str());
  EXPECT_EQ(1, Run(stream, &out));
  winhost::SetFaults("");
  EXPECT_EQ(total + 2000 * 3, g_progress.total);
  EXPECT_EQ(0u, InflateFetchCounter());
  EXPECT_EQ(1u, winhost::CallCount("MessageBoxA"));
  EXPECT_TRUE(out.empty());
}

TEST_F(InflateEdges, TruncatedStreamsFetchEveryByteAndOneMore) {
  Bytes data = MakeData(kText, 60000, 8);
  Bytes bin = MakeData(kBinary, 60000, 8);
  data.insert(data.end(), bin.begin(), bin.end());
  Bytes full = Deflate(data, 6, Z_DEFAULT_STRATEGY), out;
  // Cuts well before the end: the final block's last codes are cut off.
  std::vector<size_t> cuts = {0, 1, 2, 4095, 4096, 4097, 8191, 8192, 8193, full.size() - 16};
  std::mt19937 rng(12);
  for (int i = 0; i < 40; i++) cuts.push_back(rng() % (full.size() - 16));
  for (size_t cut : cuts) {
    unsigned c = InflateFetchCounter();
    DWORD total = g_progress.total;
    Bytes part(full.begin(), full.begin() + cut);
    ASSERT_EQ(1, Run(part, &out, true)) << "cut " << cut;
    // Every byte there is, then the fetch that meets the end.
    EXPECT_EQ((c + cut + 1) % 2000, InflateFetchCounter()) << "cut " << cut;
    EXPECT_EQ(total + 2000 * ((c + cut + 1) / 2000), g_progress.total) << "cut " << cut;
    // Only whole windows reach the file.
    ASSERT_EQ(0u, out.size() % 32768) << "cut " << cut;
    EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin())) << "cut " << cut;
  }
  EXPECT_EQ(0u, winhost::CallCount("MessageBoxA"));
}

}  // namespace
