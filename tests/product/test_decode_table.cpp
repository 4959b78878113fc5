// Huffman lookup tables: built from code lengths, walked the way the decoder
// walks them, and released without leaving memory behind.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "archive/decode_table.h"
#include "platform/host/winhost_test.h"
#include "tests/product/deflate_codes.h"
#include "tests/support/sandbox.h"

namespace {

// Feeds a code (first bit first) into a table walk; returns the final entry
// and the bits it consumed, or op 99 for an invalid code.
const DecodeEntry *Walk(const DecodeEntry *root, int rootBits, unsigned code, unsigned length,
                        unsigned *consumed) {
  uint32_t stream = 0;  // the code in stream order, first bit lowest
  for (unsigned i = 0; i < length; i++) stream |= ((code >> (length - 1 - i)) & 1) << i;
  const DecodeEntry *e = root + (stream & ((1u << rootBits) - 1));
  *consumed = 0;
  while (e->op > DECODE_OP_SIMPLE && e->op != DECODE_OP_INVALID) {
    *consumed += e->bits;
    stream >>= e->bits;
    unsigned sub = e->op - DECODE_OP_LINK_BASE;
    e = e->link + (stream & ((1u << sub) - 1));
  }
  *consumed += e->bits;
  return e;
}

class DecodeTable : public ::testing::Test {
 protected:
  void SetUp() override { winhost::Reset(SandboxDir("decode_table").c_str()); }
};

TEST_F(DecodeTable, EmptyAndDegenerateCodeSets) {
  std::vector<unsigned> none(19, 0);
  DecodeEntry *root = reinterpret_cast<DecodeEntry *>(1);
  int bits = -1;
  EXPECT_EQ(0, BuildDecodeTable(none.data(), 19, 19, NULL, NULL, 0, 7, &root, &bits));
  EXPECT_EQ(nullptr, root);
  EXPECT_EQ(0, bits);

  // One code of length 1: accepted; the other one-bit code is invalid.
  std::vector<unsigned> single(30, 0);
  single[4] = 1;
  ASSERT_EQ(0, BuildDecodeTable(single.data(), 30, 0, kDistanceBase, kDistanceExtra, 30, 6, &root,
                                &bits));
  EXPECT_EQ(1, bits);
  EXPECT_EQ(1, root[0].op);  // symbol 4: one extra bit
  EXPECT_EQ(5, root[0].value);
  EXPECT_EQ(1, root[0].bits);
  EXPECT_EQ(DECODE_OP_INVALID, root[1].op);
  FreeDecodeTable(root);

  // Three codes of length 1 over-subscribe the code space: nothing is allocated.
  std::vector<unsigned> three = {1, 1, 1};
  EXPECT_EQ(2, BuildDecodeTable(three.data(), 3, 3, NULL, NULL, 0, 7, &root, &bits));
  EXPECT_EQ(0, winhost::LiveHeapBlocks());
}

TEST_F(DecodeTable, FixedLiteralCodeHasSevenBitRootAndSubTables) {
  std::vector<unsigned> lengths(288);
  for (int i = 0; i < 288; i++) lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
  DecodeEntry *root;
  int bits;
  ASSERT_EQ(0, BuildDecodeTable(lengths.data(), 288, 257, kLengthBase, kLengthExtra, 31, 7, &root,
                                &bits));
  EXPECT_EQ(7, bits);
  auto codes = CanonicalCodes(lengths);
  for (unsigned sym = 0; sym < 288; sym++) {
    unsigned used;
    const DecodeEntry *e = Walk(root, bits, codes[sym].first, codes[sym].second, &used);
    EXPECT_EQ(codes[sym].second, used) << "symbol " << sym;
    if (sym < 256) {
      EXPECT_EQ(DECODE_OP_SIMPLE, e->op);
      EXPECT_EQ(sym, e->value);
    } else if (sym == 256) {
      EXPECT_EQ(DECODE_OP_END_OF_BLOCK, e->op);
    } else if (sym < 286) {
      EXPECT_EQ(kLengthExtra[sym - 257], e->op) << "symbol " << sym;
      EXPECT_EQ(kLengthBase[sym - 257], e->value);
    } else {
      EXPECT_EQ(DECODE_OP_INVALID, e->op) << "symbol " << sym;
    }
  }
  FreeDecodeTable(root);
  EXPECT_EQ(0, winhost::LiveHeapBlocks());
}

TEST_F(DecodeTable, FixedDistanceCodeIsIncompleteWithTwoInvalidCodes) {
  std::vector<unsigned> lengths(30, 5);
  DecodeEntry *root;
  int bits;
  ASSERT_EQ(1, BuildDecodeTable(lengths.data(), 30, 0, kDistanceBase, kDistanceExtra, 30, 5, &root,
                                &bits));
  EXPECT_EQ(5, bits);
  EXPECT_EQ(DECODE_OP_INVALID, root[15].op);  // 11110 read first bit first
  EXPECT_EQ(DECODE_OP_INVALID, root[31].op);  // 11111
  int invalid = 0;
  for (int i = 0; i < 32; i++) invalid += root[i].op == DECODE_OP_INVALID;
  EXPECT_EQ(2, invalid);
  EXPECT_EQ(1, root[0].value);  // code 00000 is distance symbol 0
  FreeDecodeTable(root);

  // Codes given to distance symbols 30 and 31 exist but are invalid.
  std::vector<unsigned> all32(32, 5);
  ASSERT_EQ(0, BuildDecodeTable(all32.data(), 32, 0, kDistanceBase, kDistanceExtra, 30, 6, &root,
                                &bits));
  auto codes = CanonicalCodes(all32);
  unsigned used;
  EXPECT_EQ(DECODE_OP_INVALID, Walk(root, bits, codes[30].first, 5, &used)->op);
  EXPECT_EQ(DECODE_OP_INVALID, Walk(root, bits, codes[31].first, 5, &used)->op);
  EXPECT_EQ(13, Walk(root, bits, codes[29].first, 5, &used)->op);
  FreeDecodeTable(root);
}

TEST_F(DecodeTable, IncompleteCodeMarksUnownedCodesInvalid) {
  std::vector<unsigned> lengths = {1, 2};  // codes 0 and 10; 11 is unowned
  DecodeEntry *root;
  int bits;
  ASSERT_EQ(1, BuildDecodeTable(lengths.data(), 2, 2, NULL, NULL, 0, 7, &root, &bits));
  EXPECT_EQ(2, bits);
  unsigned used;
  EXPECT_EQ(0, Walk(root, bits, 0, 1, &used)->value);
  EXPECT_EQ(1u, used);
  EXPECT_EQ(1, Walk(root, bits, 2, 2, &used)->value);
  EXPECT_EQ(DECODE_OP_INVALID, Walk(root, bits, 3, 2, &used)->op);
  FreeDecodeTable(root);
}

// Random complete and incomplete codes up to 15 bits, the widths the decoder
// asks for: every symbol's canonical code must lead to that symbol with its
// full length consumed.
TEST_F(DecodeTable, RandomCodesDecodeEverySymbol) {
  std::mt19937 rng(1951);
  for (int round = 0; round < 300; round++) {
    unsigned n = 257 + rng() % 32;
    std::vector<unsigned> lengths(n, 0);
    // Grow a code by splitting leaves (always complete), then maybe drop one.
    std::vector<unsigned> leaves = {1, 1};
    while (leaves.size() < n && leaves.size() < 2 + rng() % n) {
      size_t i = rng() % leaves.size();
      if (leaves[i] >= 15) continue;
      leaves[i]++;
      leaves.push_back(leaves[i]);
    }
    bool incomplete = round % 3 == 0 && leaves.size() > 2;
    if (incomplete) leaves.pop_back();
    std::vector<unsigned> symbols(n);
    for (unsigned i = 0; i < n; i++) symbols[i] = i;
    std::shuffle(symbols.begin(), symbols.end(), rng);
    for (size_t i = 0; i < leaves.size(); i++) lengths[symbols[i]] = leaves[i];

    int requested = round % 2 ? 9 : 6;
    DecodeEntry *root;
    int bits;
    int r = BuildDecodeTable(lengths.data(), n, 257, kLengthBase, kLengthExtra, 31, requested,
                             &root, &bits);
    unsigned longest = *std::max_element(lengths.begin(), lengths.end());
    ASSERT_EQ(incomplete && longest > 1 ? 1 : 0, r) << "round " << round;
    auto codes = CanonicalCodes(lengths);
    for (unsigned sym = 0; sym < n; sym++) {
      if (!lengths[sym]) continue;
      unsigned used;
      const DecodeEntry *e = Walk(root, bits, codes[sym].first, codes[sym].second, &used);
      ASSERT_EQ(codes[sym].second, used) << "round " << round << " symbol " << sym;
      if (sym < 256) {
        ASSERT_EQ(DECODE_OP_SIMPLE, e->op);
        ASSERT_EQ(sym, e->value);
      } else if (sym > 256 && sym < 286) {
        ASSERT_EQ(kLengthBase[sym - 257], e->value);
      }
    }
    FreeDecodeTable(root);
  }
  EXPECT_EQ(0, winhost::LiveHeapBlocks());
}

TEST_F(DecodeTable, AllocationFailureReleasesWhatWasBuilt) {
  std::vector<unsigned> lengths(288);
  for (int i = 0; i < 288; i++) lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
  for (int k = 1; k <= 3; k++) {
    winhost::Reset(SandboxDir("decode_table").c_str());
    std::string plan = "HeapAlloc#" + std::to_string(k);
    winhost::SetFaults(plan.c_str());
    DecodeEntry *root = reinterpret_cast<DecodeEntry *>(1);
    int bits;
    EXPECT_EQ(3, BuildDecodeTable(lengths.data(), 288, 257, kLengthBase, kLengthExtra, 31, 7,
                                  &root, &bits))
        << plan;
    EXPECT_EQ(nullptr, root);
    EXPECT_EQ(0, winhost::LiveHeapBlocks()) << plan;
  }
}

}  // namespace
