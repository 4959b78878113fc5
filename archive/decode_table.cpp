// Canonical Huffman codes (RFC 1951, section 3.2.2) turned into lookup tables.
#include "archive/decode_table.h"

#include <string.h>

#include "platform/win.h"

namespace {

const int kMaxBits = 16;

// Allocates a table of 2^bits entries behind a hidden chain entry and appends
// it to the chain whose last table is *last. Returns the table proper. Its
// entries are left as they are: the codes, the placeholders among them,
// cover every index of every table (the code they make up is complete).
DecodeEntry *NewTable(int bits, DecodeEntry **last) {
  unsigned size = 1u << bits;
  DecodeEntry *block =
      (DecodeEntry *)HeapAlloc(GetProcessHeap(), 0, (size + 1) * sizeof(DecodeEntry));
  if (!block) return NULL;
  block[0].op = 0;
  block[0].bits = 0;
  block[0].link = NULL;
  if (*last) (*last)[-1].link = block + 1;
  *last = block + 1;
  return block + 1;
}

// The root is filled a code length at a time, shortest first: its entries so
// far are doubled up to the new width (a code shorter than that recurs every
// 2^k entries, so its copy is its entry there), then each code of that length
// takes its one entry. Returns the width now filled.
int DoubleRoot(DecodeEntry *root, int filled, int width) {
  if (filled == 0) filled = width;  // the first, shortest codes: nothing to copy
  for (; filled < width; filled++) memcpy(root + (1u << filled), root, sizeof *root << filled);
  return filled;
}

}  // namespace

void FreeDecodeTable(DecodeEntry *root) {
  while (root) {
    DecodeEntry *next = root[-1].link;
    HeapFree(GetProcessHeap(), 0, root - 1);
    root = next;
  }
}

int BuildDecodeTable(const unsigned *lengths, unsigned n, unsigned s, const uint16_t *base,
                     const uint16_t *extra, unsigned tableSize, int requestedBits,
                     DecodeEntry **root, int *lookupBits) {
  *root = NULL;
  *lookupBits = 0;
  // The end-of-block code's length: no table runs past it, so that its code
  // is decoded without asking for more bits than it has.
  int endLength = n > 256 ? (int)lengths[256] : kMaxBits;

  unsigned count[kMaxBits + 1] = {0};
  for (unsigned i = 0; i < n; i++) count[lengths[i] <= (unsigned)kMaxBits ? lengths[i] : 0]++;
  if (count[0] == n) return DECODE_TABLE_COMPLETE;

  int shortest = 1, longest = kMaxBits;
  while (count[shortest] == 0) shortest++;
  while (count[longest] == 0) longest--;
  int rootBits = requestedBits;
  if (rootBits < shortest) rootBits = shortest;
  if (rootBits > longest) rootBits = longest;

  // Check the code space; what is left over becomes placeholder codes of the
  // longest length, which decode as invalid.
  long spare = 1L << shortest;
  for (int k = shortest; k < longest; k++) {
    spare -= count[k];
    if (spare < 0) return DECODE_TABLE_OVERSUBSCRIBED;
    spare <<= 1;
  }
  spare -= count[longest];
  if (spare < 0) return DECODE_TABLE_OVERSUBSCRIBED;
  unsigned placeholders = (unsigned)spare;
  count[longest] += placeholders;

  // Symbols in code order: by length, then by symbol; placeholders (-1) last.
  static const int kNone = -1;
  static const unsigned kMaxSymbols = 320;
  if (n > kMaxSymbols) return DECODE_TABLE_OVERSUBSCRIBED;
  int order[kMaxSymbols];
  unsigned offset[kMaxBits + 2];  // where each length's symbols begin in order
  offset[1] = 0;
  for (int k = 1; k <= kMaxBits; k++) offset[k + 1] = offset[k] + (k == longest ? count[k] - placeholders : count[k]);
  unsigned real = offset[kMaxBits + 1];
  for (unsigned i = 0; i < n; i++)
    if (lengths[i] >= 1 && lengths[i] <= (unsigned)kMaxBits) order[offset[lengths[i]]++] = (int)i;
  unsigned total = real + placeholders;

  // The tables on the current code's path: start bit, width and prefix.
  DecodeEntry *table[kMaxBits + 2];
  int start[kMaxBits + 2], width[kMaxBits + 2];
  unsigned prefix[kMaxBits + 2];
  table[0] = NULL;  // (there is always a first code: it makes the root)
  width[0] = 0;
  int level = -1;
  DecodeEntry *last = NULL;
  int rootFilled = 0;  // the root's entries below 2^rootFilled are final
  unsigned placed[kMaxBits + 1] = {0};

  // rev is the current canonical code in stream bit order (its first bit
  // lowest). The next code of a length is the code plus 1, counted from the
  // code's last bit down; a longer length appends a 0 bit, which in stream
  // order is a new highest bit and leaves the value as it is.
  unsigned rev = 0, next = 0;
  int k = shortest;
  unsigned inLength = 0;
  for (unsigned c = 0; c < total; c++, rev = next) {
    while (inLength == count[k]) {  // next length: canonical codes go on shifted
      k++;
      inLength = 0;
    }
    next = NextCodeInStreamOrder(rev, (unsigned)k);
    inLength++;

    while (level > 0 && (rev & ((1u << start[level]) - 1)) != prefix[level]) level--;
    while (level < 0 || k > start[level] + width[level]) {
      int w = level < 0 ? 0 : start[level] + width[level];
      int limit = longest - w < rootBits ? longest - w : rootBits;
      int j = k - w;
      unsigned left = count[k] - placed[k];
      if ((1u << j) > left) {
        unsigned long room = (1ul << j) - left;
        for (;;) {
          j++;
          if (j >= limit) break;
          room <<= 1;
          if (room <= count[w + j]) break;
          room -= count[w + j];
        }
      }
      if (w < endLength && endLength < w + j) j = endLength - w;
      DecodeEntry *t = NewTable(j, &last);
      if (!t) {
        FreeDecodeTable(level < 0 ? NULL : table[0]);
        return DECODE_TABLE_NO_MEMORY;
      }
      if (level == 0) rootFilled = DoubleRoot(table[0], rootFilled, width[0]);
      if (level >= 0) {
        DecodeEntry &link = table[level][(rev >> start[level]) & ((1u << width[level]) - 1)];
        link.op = (uint8_t)(DECODE_OP_LINK_BASE + j);
        link.bits = (uint8_t)width[level];
        link.link = t;
      }
      level++;
      table[level] = t;
      start[level] = w;
      width[level] = j;
      prefix[level] = rev & ((1u << w) - 1);
    }

    DecodeEntry entry;
    entry.bits = (uint8_t)(k - start[level]);
    entry.value = 0;
    int sym = c < real ? order[c] : kNone;
    if (sym == kNone) {
      entry.op = DECODE_OP_INVALID;
    } else if ((unsigned)sym < s) {
      entry.op = sym < 256 ? DECODE_OP_SIMPLE : DECODE_OP_END_OF_BLOCK;
      entry.value = (uint16_t)sym;
    } else if ((unsigned)sym - s < tableSize) {
      entry.op = (uint8_t)(extra[sym - s] & 0xFF);
      entry.value = base[sym - s];
    } else {
      entry.op = DECODE_OP_INVALID;
    }
    placed[k]++;
    if (level == 0) {
      rootFilled = DoubleRoot(table[0], rootFilled, k);
      table[0][rev] = entry;
      continue;
    }
    unsigned step = 1u << entry.bits;
    for (unsigned i = rev >> start[level]; i < (1u << width[level]); i += step)
      table[level][i] = entry;
  }
  DoubleRoot(table[0], rootFilled, width[0]);

  *root = table[0];
  *lookupBits = width[0];
  return placeholders > 0 && longest > 1 ? DECODE_TABLE_INCOMPLETE : DECODE_TABLE_COMPLETE;
}
