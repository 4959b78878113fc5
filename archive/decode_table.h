// Huffman lookup tables for the DEFLATE decoder: a root table over the first
// bits of every code and sub-tables for the longer codes, all of one code set
// chained through a hidden first entry so that one call releases them.
#ifndef ARCHIVE_DECODE_TABLE_H
#define ARCHIVE_DECODE_TABLE_H

#include <stdint.h>

// op: 0-13 length/distance base with that many extra bits, 15 end of block,
// 16 simple symbol (literal or code-length symbol), 17-32 link to a sub-table
// of (op - 16) bits, 99 invalid code.
enum {
  DECODE_OP_END_OF_BLOCK = 15,
  DECODE_OP_SIMPLE = 16,
  DECODE_OP_LINK_BASE = 16,
  DECODE_OP_INVALID = 99
};

struct DecodeEntry {
  uint8_t op;
  uint8_t bits;  // code bits in this table; for a link, the width of the table holding it
  union {
    uint16_t value;
    DecodeEntry *link;
  };
};

enum {
  DECODE_TABLE_COMPLETE = 0,        // or one code of length 1
  DECODE_TABLE_INCOMPLETE = 1,      // usable; the unused codes are invalid
  DECODE_TABLE_OVERSUBSCRIBED = 2,  // nothing allocated
  DECODE_TABLE_NO_MEMORY = 3        // nothing kept
};

// Builds the code set of n code lengths (0-16; 0 = no code). Symbols below s
// are simple (op 16 below 256, op 15 for 256); the others take base[sym - s]
// and the low byte of extra[sym - s] (tableSize entries; symbols past them are
// invalid codes). Returns one of the results above. *root and *lookupBits are
// set for a complete and an incomplete code set (NULL and 0 for one without
// codes).
int BuildDecodeTable(const unsigned *lengths, unsigned n, unsigned s, const uint16_t *base,
                     const uint16_t *extra, unsigned tableSize, int requestedBits,
                     DecodeEntry **root, int *lookupBits);

// Releases every table of the code set whose root is given; NULL does nothing.
void FreeDecodeTable(DecodeEntry *root);

// The canonical code that follows code among the codes of length bits, both
// in stream bit order (a code's first bit lowest): 1 added at the code's last
// bit, its highest, carrying down; 0 after the last code of that length.
static inline unsigned NextCodeInStreamOrder(unsigned code, unsigned length) {
  unsigned zeros = ~code & ((1u << length) - 1);  // where the carry stops: the highest 0
  if (!zeros) return 0;
  unsigned bit = 1u << (31 - __builtin_clz(zeros));
  return (code & (bit - 1)) | bit;
}

#endif
