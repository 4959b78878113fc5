// The inflater's fast path (inflate_fast.cpp), as the careful path in
// inflate.cpp calls it. Internal to the inflater.
#ifndef ARCHIVE_INFLATE_FAST_H
#define ARCHIVE_INFLATE_FAST_H

#include <stddef.h>
#include <stdint.h>

#include "platform/win.h"

// The window Flush receives, and the slack past it that the fast path's
// whole-word copies may write into.
const unsigned kWindowSize = 32768;
const unsigned kSlack = 64;

// A literal and a longest match, the window not full after them; a match's
// copy reaches at most 37 bytes further, within the slack. The fast path
// runs only below this window position.
const unsigned kFastPosLimit = kWindowSize - 259;

// One code set as BuildDecodeTable was given it, with what its DecodeTable
// became: the root's width, and lb, the literal root's width.
struct CodeSet {
  const unsigned *lengths;  // 0-15, as DEFLATE sends them
  unsigned n, s;  // symbols below s are simple (literal bytes, end of block)
  const uint16_t *base, *extra;
  unsigned tableSize;
  unsigned decodeRootBits, lb;
};

// Which code set the fast tables hold: none, the fixed one (kept across
// blocks), or a dynamic block's.
enum { kFastHoldsNothing, kFastHoldsFixed, kFastHoldsDynamic };
extern int g_fastHolds;
// Decode through a 32-bit bit buffer, as 32-bit targets do (a test's choice).
extern bool g_narrowBitBuffer;

// Builds the fast tables of a block's two code sets.
void BuildFastTables(const CodeSet &literals, const CodeSet &distances);

// From a symbol's start (at most lb bits held), decodes through the fast
// tables while the input from *next to end holds a whole turn and the window
// position stays below kFastPosLimit; stops at the start of the first symbol
// it leaves to the careful path. Does nothing when the input is too short.
void DecodeFastPath(unsigned lb, uint32_t *bitBuffer, unsigned *bitCount, const BYTE **next,
                    const BYTE *end, BYTE *window, unsigned *windowPos);

#endif
