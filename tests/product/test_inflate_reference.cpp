// The inflater against a byte-at-a-time reference decoder kept here: every
// request takes bytes one at a time, a table lookup requests its full width,
// matches are copied byte by byte. Both decode the same generated, truncated
// and damaged streams, also with every platform call in turn made to fail;
// results, outputs, the fetch counter, the progress and the calls made must
// agree.
#include <algorithm>
#include <map>

#include "archive/crc32.h"
#include "archive/decode_table.h"
#include "archive/inflate.h"
#include "tests/support/inflate_hooks.h"
#include "archive/output_sink.h"
#include "archive/progress.h"
#include "tests/product/archive_fixture.h"
#include "tests/product/deflate_codes.h"

namespace {

// ---- The reference decoder: one byte per fetch, one bit request at a time ----
namespace ref {

struct State {
  HANDLE archive;
  BYTE input[4096];
  DWORD got, handed;
  unsigned fetch;
  uint32_t buffer;
  unsigned count;
  BYTE window[32768];
  unsigned pos;
  DecodeEntry *fixedLiteral, *fixedDistance;
  int fixedLiteralBits, fixedDistanceBits;
} g;

bool Fetch(unsigned *byte) {
  if (++g.fetch == 2000) {
    AdvanceProgress(2000);
    g.fetch = 0;
  }
  if (g.handed == g.got) {
    DWORD got = 0;
    g.got = g.handed = 0;
    if (!ReadFile(g.archive, g.input, 4096, &got, NULL)) {
      MessageBoxA(NULL, "Error reading zip file!", "Error", MB_OK);
      return false;
    }
    if (got == 0) return false;
    g.got = got;
  }
  *byte = g.input[g.handed++];
  return true;
}
bool Need(unsigned n) {
  while (g.count < n) {
    unsigned b;
    if (!Fetch(&b)) return false;
    g.buffer |= b << g.count;
    g.count += 8;
  }
  return true;
}
unsigned Bits(unsigned n) { return g.buffer & ((1u << n) - 1); }
void Dump(unsigned n) {
  g.buffer >>= n;
  g.count -= n;
}
int Put(unsigned b) {
  g.window[g.pos++] = (BYTE)b;
  if (g.pos < 32768) return 0;
  g.pos = 0;
  return Flush(g.window, 32768);
}
int Lookup(const DecodeEntry *t, int bits, const DecodeEntry **found) {
  if (!t) return 1;
  if (!Need((unsigned)bits)) return 1;
  const DecodeEntry *e = t + Bits((unsigned)bits);
  while (e->op > 16) {
    if (e->op == 99) return 1;
    Dump(e->bits);
    unsigned w = e->op - 16u;
    if (!Need(w)) return 1;
    e = e->link + Bits(w);
  }
  Dump(e->bits);
  *found = e;
  return 0;
}
int Symbols(const DecodeEntry *lit, int lb, const DecodeEntry *dist, int db) {
  for (;;) {
    const DecodeEntry *e;
    if (Lookup(lit, lb, &e)) return 1;
    if (e->op == 16) {
      if (int r = Put(e->value)) return r;
      continue;
    }
    if (e->op == 15) return 0;
    unsigned x = e->op;
    if (!Need(x)) return 1;
    unsigned length = e->value + Bits(x);
    Dump(x);
    if (Lookup(dist, db, &e)) return 1;
    x = e->op;
    if (!Need(x)) return 1;
    uint32_t source = g.pos - e->value - Bits(x);
    Dump(x);
    while (length--) {
      source &= 32767;
      if (int r = Put(g.window[source++])) return r;
    }
  }
}
int Stored() {
  Dump(g.count % 8);
  if (!Need(16)) return 1;
  unsigned length = Bits(16);
  Dump(16);
  if (!Need(16)) return 1;
  if ((~g.buffer & 0xFFFF) != length) return 1;
  Dump(16);
  while (length--) {
    if (!Need(8)) return 1;
    int r = Put(Bits(8));
    Dump(8);
    if (r) return r;
  }
  return 0;
}
int Fixed() {
  if (!g.fixedLiteral) {
    unsigned l[288];
    for (unsigned i = 0; i < 288; i++) l[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    DecodeEntry *lit, *dist;
    int lb, db;
    int r = BuildDecodeTable(l, 288, 257, kLengthBase, kLengthExtra, 31, 7, &lit, &lb);
    if (r) return r;
    for (unsigned i = 0; i < 30; i++) l[i] = 5;
    r = BuildDecodeTable(l, 30, 0, kDistanceBase, kDistanceExtra, 30, 5, &dist, &db);
    if (r > 1) {
      FreeDecodeTable(lit);
      return r;
    }
    g.fixedLiteral = lit, g.fixedDistance = dist, g.fixedLiteralBits = lb, g.fixedDistanceBits = db;
  }
  return Symbols(g.fixedLiteral, g.fixedLiteralBits, g.fixedDistance, g.fixedDistanceBits);
}
int Dynamic() {
  if (!Need(5)) return 1;
  unsigned nl = 257 + Bits(5);
  Dump(5);
  if (!Need(5)) return 1;
  unsigned nd = 1 + Bits(5);
  Dump(5);
  if (!Need(4)) return 1;
  unsigned nc = 4 + Bits(4);
  Dump(4);
  unsigned cl[19] = {0}, l[320];
  for (unsigned i = 0; i < nc; i++) {
    if (!Need(3)) return 1;
    cl[kOrder[i]] = Bits(3);
    Dump(3);
  }
  DecodeEntry *t, *lit, *dist;
  int tb, lb, db;
  int r = BuildDecodeTable(cl, 19, 19, NULL, NULL, 0, 7, &t, &tb);
  if (r == 1) FreeDecodeTable(t);
  if (r) return r;
  unsigned filled = 0, previous = 0;
  while (filled < nl + nd) {
    const DecodeEntry *e;
    unsigned repeat, value;
    if (Lookup(t, tb, &e)) r = 1;
    else if (e->value < 16) {
      l[filled++] = previous = e->value;
      continue;
    } else {
      unsigned bits = e->value == 16 ? 2 : e->value == 17 ? 3 : 7;
      if (!Need(bits)) {
        r = 1;
      } else {
        repeat = (e->value == 18 ? 11 : 3) + Bits(bits);
        Dump(bits);
        value = e->value == 16 ? previous : 0;
        previous = value;
        if (filled + repeat > nl + nd) r = 1;
        else while (repeat--) l[filled++] = value;
      }
    }
    if (r) break;
  }
  FreeDecodeTable(t);
  if (r) return r;
  r = BuildDecodeTable(l, nl, 257, kLengthBase, kLengthExtra, 31, 9, &lit, &lb);
  if (r == 1) FreeDecodeTable(lit);
  if (r) return r;
  r = BuildDecodeTable(l + nl, nd, 0, kDistanceBase, kDistanceExtra, 30, 6, &dist, &db);
  if (r > 1) {
    FreeDecodeTable(lit);
    return r;
  }
  r = Symbols(lit, lb, dist, db);
  FreeDecodeTable(lit);
  FreeDecodeTable(dist);
  return r;
}
int Member(HANDLE archive, HANDLE output) {
  g.archive = archive;
  g_outputSink.output = output;
  g.got = g.handed = 0;
  g.buffer = g.count = g.pos = 0;
  for (;;) {
    if (!Need(1)) return 1;
    unsigned last = Bits(1);
    Dump(1);
    if (!Need(2)) return 1;
    unsigned type = Bits(2);
    Dump(2);
    int r = type == 0 ? Stored() : type == 1 ? Fixed() : type == 2 ? Dynamic() : 2;
    if (r) return r;
    if (last) break;
  }
  return Flush(g.window, g.pos);
}
void ReleaseFixed() {
  FreeDecodeTable(g.fixedLiteral);
  FreeDecodeTable(g.fixedDistance);
  g.fixedLiteral = g.fixedDistance = NULL;
}

}  // namespace ref

// ---- Generated streams: dynamic blocks over random complete codes ----

// Lengths of a random complete prefix code (at most 15 bits) for the chosen
// symbols of n: leaves split at random, often the deepest, so that short and
// long codes, and a short end-of-block code, all occur.
std::vector<unsigned> RandomCode(std::mt19937 &rng, unsigned n, const std::vector<unsigned> &chosen) {
  std::vector<unsigned> depth = {0}, lengths(n, 0);
  if (chosen.size() == 1) depth[0] = 1;
  while (depth.size() < chosen.size()) {
    size_t i = rng() % depth.size();
    if (rng() % 2) i = std::max_element(depth.begin(), depth.end()) - depth.begin();
    if (depth[i] >= 15) i = std::min_element(depth.begin(), depth.end()) - depth.begin();
    depth[i]++;
    depth.push_back(depth[i]);
  }
  std::shuffle(depth.begin(), depth.end(), rng);
  for (size_t i = 0; i < chosen.size(); i++) lengths[chosen[i]] = depth[i];
  return lengths;
}


std::vector<unsigned> Pick(std::mt19937 &rng, unsigned from, unsigned to, unsigned want) {
  std::vector<unsigned> all;
  for (unsigned s = from; s < to; s++) all.push_back(s);
  std::shuffle(all.begin(), all.end(), rng);
  all.resize(std::min<size_t>(want, all.size()));
  return all;
}

void CodedBlock(std::mt19937 &rng, BitWriter &w, bool final, const std::vector<unsigned> &ll,
                const std::vector<unsigned> &dl, const std::vector<unsigned> &lit,
                const std::vector<unsigned> &len, const std::vector<unsigned> &dist, unsigned n);

// One dynamic block of random codes and random symbols. Now and then a code
// is given to a symbol that means nothing (286, 287, distance 30, 31) or the
// distance code is left incomplete; the symbols met in the data are those
// with codes, rarely the meaningless ones.
void DynamicBlock(std::mt19937 &rng, BitWriter &w, bool final) {
  std::vector<unsigned> lit = Pick(rng, 0, 256, 1 + rng() % 256);
  std::vector<unsigned> len = Pick(rng, 257, rng() % 8 ? 286 : 288, rng() % 30);
  std::vector<unsigned> dist = Pick(rng, 0, rng() % 8 ? 30 : 32, 1 + rng() % 30);
  std::vector<unsigned> litlen = lit;
  litlen.insert(litlen.end(), len.begin(), len.end());
  litlen.push_back(256);
  std::vector<unsigned> ll = RandomCode(rng, 288, litlen), dl = RandomCode(rng, 32, dist);
  if (dist.size() > 1 && rng() % 4 == 0) {
    dl[dist.back()] = 0;
    dist.pop_back();
  }
  CodedBlock(rng, w, final, ll, dl, lit, len, dist, rng() % 3000);
}

// One dynamic block of the codes ll and dl, and n random symbols of those in
// lit, len and dist (a match, now and then, of a symbol that means nothing).
void CodedBlock(std::mt19937 &rng, BitWriter &w, bool final, const std::vector<unsigned> &ll,
                const std::vector<unsigned> &dl, const std::vector<unsigned> &lit,
                const std::vector<unsigned> &len, const std::vector<unsigned> &dist, unsigned n) {
  unsigned nl = 257, nd = 1;
  for (unsigned s = 0; s < 288; s++)
    if (ll[s]) nl = std::max(nl, s + 1);
  for (unsigned s = 0; s < 32; s++)
    if (dl[s]) nd = std::max(nd, s + 1);
  w.Bits(final, 1);
  w.Bits(2, 2);
  w.Bits(nl - 257, 5);
  w.Bits(nd - 1, 5);
  w.Bits(15, 4);  // all 19 code-length code lengths: 0-15 four bits each
  for (unsigned i = 0; i < 19; i++) w.Bits(kOrder[i] < 16 ? 4 : 0, 3);
  for (unsigned s = 0; s < nl; s++) w.Code(ll[s], 4);
  for (unsigned s = 0; s < nd; s++) w.Code(dl[s], 4);
  auto lc = CanonicalCodes(ll), dc = CanonicalCodes(dl);
  bool matches = !len.empty();
  for (unsigned i = 0; i < n; i++) {
    if (!matches || rng() % 3) {
      unsigned s = lit[rng() % lit.size()];
      w.Code(lc[s].first, lc[s].second);
      continue;
    }
    unsigned s = len[rng() % len.size()];
    if (s >= 286 && rng() % 16) s = len[0] < 286 ? len[0] : 285;
    if (!ll[s]) continue;
    w.Code(lc[s].first, lc[s].second);
    if (s < 286) w.Bits(rng(), kLengthExtra[s - 257]);
    unsigned d = dist[rng() % dist.size()];
    if (d >= 30 && rng() % 16) d = dist[0] < 30 ? dist[0] : 0;
    if (!dl[d]) d = dist[0];
    w.Code(dc[d].first, dc[d].second);
    if (d < 30) w.Bits(rng(), kDistanceExtra[d]);
  }
  w.Code(lc[256].first, lc[256].second);
}

// A member of a few blocks: dynamic ones as above, fixed ones of random
// literals and matches, stored ones.
Bytes GeneratedMember(std::mt19937 &rng) {
  BitWriter w;
  for (unsigned b = 0, blocks = 1 + rng() % 4; b < blocks; b++) {
    bool final = b + 1 == blocks;
    unsigned kind = rng() % 6;
    if (kind < 4) {
      DynamicBlock(rng, w, final);
    } else if (kind == 4) {
      w.Bits(final, 1);
      w.Bits(1, 2);
      for (unsigned i = 0, n = rng() % 2000; i < n; i++) {
        if (rng() % 2) {
          w.FixedSymbol(rng() % 256);
        } else {
          unsigned s = 257 + rng() % 29;
          w.FixedSymbol(s);
          w.Bits(rng(), kLengthExtra[s - 257]);
          unsigned d = rng() % 30;
          w.Code(d, 5);
          w.Bits(rng(), kDistanceExtra[d]);
        }
      }
      w.FixedSymbol(256);
    } else {
      unsigned n = rng() % 5000;
      w.Bits(final, 1);
      w.Bits(0, 2);
      w.Align();
      w.Bits(n, 16);
      w.Bits(~n & 0xFFFF, 16);
      for (unsigned i = 0; i < n; i++) w.bytes.push_back((unsigned char)rng());
    }
  }
  return w.bytes;
}

// ---- Running both and comparing ----

struct Outcome {
  int result = 0;
  unsigned fetch = 0;
  DWORD progress = 0;
  uint32_t crc = 0;
  Bytes output;
  std::map<std::string, unsigned long> calls;
  int heapBlocks = 0;
  std::vector<std::string> messages;
  bool operator==(const Outcome &o) const {
    return result == o.result && fetch == o.fetch && progress == o.progress && crc == o.crc &&
           output == o.output && calls == o.calls && heapBlocks == o.heapBlocks &&
           messages == o.messages;
  }
};

std::string Describe(const Outcome &o) {
  std::string s = "result " + std::to_string(o.result) + " fetch " + std::to_string(o.fetch) +
                  " progress " + std::to_string(o.progress) + " output " +
                  std::to_string(o.output.size()) + " heap " + std::to_string(o.heapBlocks) + " calls";
  for (auto &c : o.calls) s += " " + c.first + ":" + std::to_string(c.second);
  return s + " messages " + std::to_string(o.messages.size());
}

class InflateReference : public ::testing::Test {
 protected:
  void SetUp() override {
    InflateReset();
    ref::ReleaseFixed();
    winhost::Reset(SandboxDir("inflate-reference").c_str());
    winhost::SetScript("auto yes\n");
    // The CRC's first use asks the system about the processor: here, outside
    // the calls the two decoders are compared by.
    Crc32Update(0, NULL, 0);
    g_progress.bar = NULL;
    g_progress.archiveSize = 1000000;
    // Earlier members of this process have left the inflater's window and
    // fetch counter as they are: both start from the same ones.
    ref::g.fetch = InflateFetchCounter();
    Bytes fill = MakeData(kRandom, 32768, 99), stored = {1, 0, 0x80, 0xFF, 0x7F};
    stored.insert(stored.end(), fill.begin(), fill.end());
    Compare(stored, "window fill");
  }
  void TearDown() override {
    InflateUseNarrowBitBuffer(0);
    ref::ReleaseFixed();
  }

  // Decodes C:\in.bin with one of the two, the call fault-th from the start
  // made to fail (0: none).
  Outcome Run(bool reference, unsigned long fault) {
    HANDLE in = CreateFileA("C:\\in.bin", GENERIC_READ, 0, NULL, OPEN_EXISTING, 0, NULL);
    HANDLE out = CreateFileA("C:\\out.bin", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, 0, NULL);
    std::vector<std::pair<std::string, unsigned long>> before = winhost::CallCounts();
    size_t lines = winhost::TranscriptLines().size();
    DWORD progress = g_progress.total;
    int heap = winhost::LiveHeapBlocks();
    if (fault) winhost::SetFaults(("*#" + std::to_string(winhost::TotalCalls() + fault)).c_str());
    BeginOutput(out, 0xFFFFFFFF);
    Outcome o;
    o.result = reference ? ref::Member(in, out) : InflateMember(in);
    winhost::SetFaults("");
    o.fetch = reference ? ref::g.fetch : InflateFetchCounter();
    o.progress = g_progress.total - progress;
    o.crc = g_outputSink.crc;
    o.heapBlocks = winhost::LiveHeapBlocks() - heap;
    for (auto &c : winhost::CallCounts()) o.calls[c.first] = c.second;
    for (auto &c : before) o.calls[c.first] -= c.second;
    for (auto it = o.calls.begin(); it != o.calls.end();) it = it->second ? std::next(it) : o.calls.erase(it);
    for (size_t i = lines; i < winhost::TranscriptLines().size(); i++)
      if (winhost::TranscriptLines()[i].find("\"event\":\"message\"") != std::string::npos)
        o.messages.push_back(winhost::TranscriptLines()[i]);
    CloseHandle(in);
    CloseHandle(out);
    o.output = ReadHostFile("C:\\out.bin");
    return o;
  }

  // Both on one input; with sweep, again with each call in turn made to fail.
  // Returns the reference's outcome without a fault.
  Outcome Compare(const Bytes &file, const std::string &what, bool sweep = false) {
    WriteHostFile("C:\\in.bin", file);
    Outcome expected = Run(true, 0), got = Run(false, 0);
    EXPECT_TRUE(expected == got) << what << "\n  reference: " << Describe(expected)
                                 << "\n  inflater:  " << Describe(got);
    unsigned long calls = 0;
    for (auto &c : expected.calls) calls += c.second;
    for (unsigned long k = 1; sweep && k <= calls && !HasFailure(); k++) {
      Outcome e = Run(true, k), g = Run(false, k);
      EXPECT_TRUE(e == g) << what << " call " << k << " failing\n  reference: " << Describe(e)
                          << "\n  inflater:  " << Describe(g);
    }
    return expected;
  }
};

TEST_F(InflateReference, AgreesOnZlibGeneratedTruncatedAndDamagedStreams) {
  std::mt19937 rng(14);
  const int strategies[] = {Z_DEFAULT_STRATEGY, Z_FILTERED, Z_HUFFMAN_ONLY, Z_RLE, Z_FIXED};
  for (int round = 0; round < 32 && !HasFailure(); round++) {
    InflateUseNarrowBitBuffer(round % 2);
    std::string what = "round " + std::to_string(round);
    // A zlib stream of one kind of data, decoded whole (and checked against
    // the data), then cut and damaged.
    Bytes data = MakeData((DataKind)(round % 4), 1000 + rng() % 120000, round);
    Bytes z = Deflate(data, 1 + round % 9, strategies[round % 5]);
    Bytes file = z;
    file.insert(file.end(), 8, 0);
    Outcome whole = Compare(file, what + " zlib");
    EXPECT_EQ(0, whole.result) << what;
    EXPECT_TRUE(whole.output == data) << what;
    for (int k = 0; k < 12; k++) {
      Bytes cut(z.begin(), z.begin() + (long)(rng() % z.size()));
      Compare(cut, what + " cut at " + std::to_string(cut.size()));
      Bytes bad = file;
      for (int f = 1 + rng() % 4; f > 0; f--) bad[rng() % z.size()] ^= (unsigned char)(1 << rng() % 8);
      Compare(bad, what + " damaged " + std::to_string(k));
    }
    // Generated members, whole, cut and damaged.
    for (int k = 0; k < 20; k++) {
      Bytes g = GeneratedMember(rng);
      Compare(g, what + " generated " + std::to_string(k));
      Bytes cut(g.begin(), g.begin() + (long)(rng() % (g.size() + 1)));
      Compare(cut, what + " generated, cut " + std::to_string(k));
      if (g.empty()) continue;
      g[rng() % g.size()] ^= (unsigned char)(1 << rng() % 8);
      Compare(g, what + " generated, damaged " + std::to_string(k));
    }
  }
}

TEST_F(InflateReference, AgreesWithEachCallMadeToFail) {
  std::mt19937 rng(41);
  for (int round = 0; round < 12 && !HasFailure(); round++) {
    InflateUseNarrowBitBuffer(round % 2);
    std::string what = "round " + std::to_string(round);
    Bytes data = MakeData((DataKind)(round % 3), 50000 + rng() % 50000, round);
    Bytes file = Deflate(data, 6, round % 3 ? Z_DEFAULT_STRATEGY : Z_FIXED);
    Outcome o = Compare(file, what + " zlib", true);
    EXPECT_GE(o.calls["ReadFile"], 2u) << what;
    Compare(GeneratedMember(rng), what + " generated", true);
  }
}

// Codes as long as the format allows, below both fast roots: a distance code
// that needs the most sub-table words any distance code can (lengths 10 to
// 15, symbols 30 and 31 among them), and a literal/length code with 240 codes
// of 15 bits below sixteen 11-bit prefixes and its 8 other codes as short as
// they can be. Decoded whole, cut and damaged, with both buffer widths.
TEST_F(InflateReference, AgreesOnTheLongestCodes) {
  std::mt19937 rng(52);
  std::vector<unsigned> dl(32, 0), ll(288, 0), lit, len, dist;
  const unsigned distanceLengths[32] = {10, 11, 12, 12, 12, 12, 12, 12, 12, 12, 12, 13, 13, 13, 13, 13,
                                        13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 13, 14, 15, 15, 15};
  for (unsigned s = 0; s < 32; s++) {
    dl[s] = distanceLengths[(s * 7) % 32];
    if (s < 30) dist.push_back(s);
  }
  for (unsigned s = 0; s < 240; s++) ll[s] = 15;
  const unsigned shortLengths[8] = {1, 2, 3, 4, 5, 6, 7, 11};  // 2048 - 15 of the 11-bit prefixes
  const unsigned shortSymbols[8] = {257, 256, 262, 240, 270, 284, 241, 285};
  for (unsigned i = 0; i < 8; i++) ll[shortSymbols[i]] = shortLengths[i];
  for (unsigned s = 0; s < 242; s++) lit.push_back(s);
  for (unsigned s : {257u, 262u, 270u, 284u, 285u}) len.push_back(s);
  for (int round = 0; round < 8 && !HasFailure(); round++) {
    InflateUseNarrowBitBuffer(round % 2);
    BitWriter w;
    for (int b = 0; b < 3; b++) CodedBlock(rng, w, b == 2, ll, dl, lit, len, dist, 20000);
    std::string what = "round " + std::to_string(round);
    Outcome whole = Compare(w.bytes, what);
    EXPECT_EQ(0, whole.result) << what;
    EXPECT_GT(whole.output.size(), 60000u) << what;
    Bytes cut(w.bytes.begin(), w.bytes.begin() + (long)(rng() % w.bytes.size()));
    Compare(cut, what + " cut");
    Bytes bad = w.bytes;
    bad[rng() % bad.size()] ^= (unsigned char)(1 << rng() % 8);
    Compare(bad, what + " damaged");
  }
}

}  // namespace
