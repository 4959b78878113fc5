// The inflater's fast path: symbols decoded a machine word of input at a
// time through flat tables built straight from a block's code lengths. The
// careful path (inflate.cpp) hands over here wherever the input and the
// window have room for a whole turn, and goes on where this stops.
//
// In this file:
//   fast tables   one 32-bit word per index, built straight from the lengths
//   fast path     the loop, its refills and its match copies
#include "archive/inflate_fast.h"

#include <string.h>

#include "archive/decode_table.h"

#if defined(__GNUC__)
#define ALWAYS_INLINE inline __attribute__((always_inline))
#define NOINLINE __attribute__((noinline))
#define LIKELY(x) __builtin_expect(!!(x), 1)
#define UNLIKELY(x) __builtin_expect(!!(x), 0)
#else
#define ALWAYS_INLINE inline
#define NOINLINE
#define LIKELY(x) (x)
#define UNLIKELY(x) (x)
#endif

#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__) && \
    __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the wide bit buffer loads the input as little-endian words"
#endif

// ---- Fast tables ----
//
// The fast path looks every symbol up in a flat table of 32-bit words: a
// root indexed by the next bits of input and, for codes longer than the
// root, sub-tables indexed by the bits after it. A word gives, in one
// lookup, a literal, or a length or distance base together with the bits
// its code and extra bits take, so that one shift consumes both:
//
//   bits 0-7    the bits to consume: the code's length plus its extra bits
//   bits 8-11   the code's length (where the extra bits start); in a link,
//               the sub-table's width
//   bit 13      a link: bits 16-30 give the sub-table's first word
//   bit 14      a symbol the careful path decodes (end of block, an invalid
//               or unowned code, a code the fast path must not take)
//   bits 16-30  the length or distance base, or the literal's byte
//   bit 31      a literal
//
// The fetch count stays the one of a decoder that fetches a byte only when a
// request finds fewer bits than it needs. Such a decoder has fetched
// ceil(H / 8) bytes, H being the highest (bits consumed + bits requested)
// over all its requests so far. A lookup requests its table's full width and
// walks into a sub-table by requesting that one's width, so H can reach past
// the code's end; the bits so requested beyond the code's own are its
// residual. The fast path takes only codes whose residual is at most the
// literal root's width lb, so that after every symbol decoded there that
// decoder holds at most lb requested bits beyond those consumed, and its
// next request, lb bits for the next symbol, sets H to (consumed + lb)
// whatever came before. The fast path is left only where a symbol starts,
// taken to have made that request: the bit buffer keeps exactly the bytes up
// to ceil((consumed + lb) / 8) and gives the bytes read ahead back to the
// InputBuffer, and the careful path goes on with that same request, which
// fetches nothing more. The fast path is entered only with at most lb bits
// held, so the request it takes as made is the one that decoder makes there.
//
// A code of length k found in the root of its DecodeTable (width r) has
// residual r - k. One found in a sub-table that starts at bit w with width j
// has residual w + j - k; BuildDecodeTable sizes a sub-table for its first
// code's length plus one bit at most, or within the longest code, so
// w + j <= max(k + 1, longest) and the residual is at most
// max(1, longest - k). The fast tables use that bound.

static const uint32_t kFastLiteral = 0x80000000u;
const uint32_t kFastCareful = 0x4000u;
const uint32_t kFastLink = 0x2000u;
const uint32_t kFastExceptional = kFastCareful | kFastLink;

// The roots are always this wide (a shorter code recurs through them), so
// that the fast path indexes them with constant masks; sub-tables take the
// longer codes. The room is the most any code set can need: 298 words of
// sub-tables below an 11-bit root for a complete literal/length code, 152
// below a 9-bit root for any distance code, found by trying every count of
// the longer codes. One set serves all blocks: a dynamic block builds it from
// its code lengths, a fixed block from the fixed ones unless they are still
// there.
const unsigned kFastLiteralBits = 11, kFastDistanceBits = 9;
const unsigned kFastLiteralRoom = (1u << kFastLiteralBits) + 298;
const unsigned kFastDistanceRoom = (1u << kFastDistanceBits) + 152;

static uint32_t g_fastLiteral[kFastLiteralRoom], g_fastDistance[kFastDistanceRoom];
int g_fastHolds;
bool g_narrowBitBuffer;


// Whether the fast path may take a code of length k from a code set whose
// longest code has length longest: its residual is at most lb.
static bool FastMayTake(const CodeSet &c, unsigned k, unsigned longest) {
  unsigned residual = k <= c.decodeRootBits ? c.decodeRootBits - k : longest - k > 1 ? longest - k : 1;
  return residual <= c.lb;
}

// The word of symbol sym, whose code has length k.
static uint32_t FastWord(const CodeSet &c, unsigned sym, unsigned k) {
  if (sym < c.s) return sym < 256 ? kFastLiteral | sym << 16 | k : kFastCareful;
  unsigned i = sym - c.s, extra = i < c.tableSize ? c.extra[i] & 0xFF : 99;
  if (extra > 13) return kFastCareful;  // symbols 286 and 287, distance symbols 30 and 31
  return (uint32_t)c.base[i] << 16 | k << 8 | (k + extra);
}

// Builds the fast table of a code set into table (room words) with a root
// of rootBits. The codes are the canonical codes of RFC 1951, taken in code
// order (by length, then symbol) and so counted on in stream bit order: the
// next code of a length adds 1 from the code's last bit down; a longer code
// appends 0 bits, which in stream order leaves the value as it is. The room
// suffices for every code set (see above); the check only bounds the writes.
static void BuildFastTable(const CodeSet &c, unsigned rootBits, uint32_t *table, unsigned room) {
  unsigned count[16] = {0}, offset[17];
  for (unsigned i = 0; i < c.n; i++) count[c.lengths[i]]++;
  unsigned longest = 15;
  while (longest > 0 && count[longest] == 0) longest--;
  unsigned rootSize = 1u << rootBits;
  // The root is filled a width at a time: the words so far are doubled (a
  // code shorter than the new width recurs every 2^k words), then each code
  // of that length takes its one word. Words that no code fills keep the
  // first two words' careful mark: they are links, filled later, or, in an
  // incomplete code, codes no symbol owns, which the careful path finds
  // invalid. An incomplete code's sub-tables are marked the same way.
  table[0] = table[1] = kFastCareful;
  unsigned width = 1;
  uint32_t space = 0;
  for (unsigned k = 1; k <= longest; k++) space += count[k] << (15 - k);
  bool incomplete = space != 1u << 15;
  bool mayTake[16];
  for (unsigned k = 1; k <= longest; k++) mayTake[k] = FastMayTake(c, k, longest);

  unsigned short order[320];
  offset[1] = 0;
  for (unsigned k = 1; k < 16; k++) offset[k + 1] = offset[k] + count[k];
  for (unsigned i = 0; i < c.n; i++)
    if (c.lengths[i]) order[offset[c.lengths[i]]++] = (unsigned short)i;
  unsigned total = offset[16];

  unsigned rev = 0, k = 1, used = rootSize;
  unsigned linkPrefix = ~0u, subBits = 0;
  uint32_t *sub = NULL;  // the current sub-table, NULL when it found no room
  for (unsigned at = 0; at < total; at++) {
    unsigned sym = order[at];
    while (c.lengths[sym] != k) k++;
    uint32_t word = mayTake[k] ? FastWord(c, sym, k) : kFastCareful;
    unsigned wanted = k < rootBits ? k : rootBits;
    for (; width < wanted; width++) memcpy(table + (1u << width), table, sizeof *table << width);
    if (k <= rootBits) {
      table[rev] = word;
    } else {
      unsigned prefix = rev & (rootSize - 1);
      if (prefix != linkPrefix) {
        // A new sub-table: wide enough for the codes below this prefix,
        // which follow one another from here in code order.
        linkPrefix = prefix;
        subBits = k - rootBits;
        int left = (1 << subBits) - (int)count[k];
        while (left > 0 && rootBits + subBits < longest) {
          subBits++;
          left = 2 * left - (int)count[rootBits + subBits];
        }
        if (used + (1u << subBits) > room) {
          table[prefix] = kFastCareful;
          sub = NULL;
        } else {
          table[prefix] = used << 16 | subBits << 8 | kFastLink;
          sub = table + used;
          used += 1u << subBits;
          if (incomplete)
            for (unsigned i = 0; i < 1u << subBits; i++) sub[i] = kFastCareful;
        }
      }
      if (sub)
        for (unsigned i = rev >> rootBits; i < 1u << subBits; i += 1u << (k - rootBits)) sub[i] = word;
    }
    count[k]--;
    rev = NextCodeInStreamOrder(rev, k);
  }
  for (; width < rootBits; width++) memcpy(table + (1u << width), table, sizeof *table << width);
}

void BuildFastTables(const CodeSet &literals, const CodeSet &distances) {
  BuildFastTable(literals, kFastLiteralBits, g_fastLiteral, kFastLiteralRoom);
  BuildFastTable(distances, kFastDistanceBits, g_fastDistance, kFastDistanceRoom);
}

// ---- The fast path ----
//
// While the InputBuffer holds enough bytes for a turn (FastInput) and the
// window has room for a literal and a longest match, symbols are decoded
// through a bit buffer as wide as a machine word, refilled a word at a time,
// and through the fast tables. Nothing outside the decoder is called there:
// no read (the bytes are in the InputBuffer), no flush (the window does not
// fill) and no progress step (fetches are counted from the input position at
// the next call that leaves the decoder).

template <typename Word>
static inline Word LoadWord(const BYTE *p) {
  Word v;
  memcpy(&v, p, sizeof v);
  return v;
}
static inline uint64_t Load8(const BYTE *p) { return LoadWord<uint64_t>(p); }
static inline void Store8(BYTE *p, uint64_t v) { memcpy(p, &v, 8); }

// The input a turn of the fast loop needs at its start. Each refill loads a
// whole word and keeps up to 7 of its bytes (64 bits) or 3 (32 bits). A turn
// refills once at its end (64 bits), or also between a length and its
// distance (32 bits); the refill a long distance code needs comes with a
// check of its own. Entering, the loop refills once more.
template <typename Word>
static inline ptrdiff_t FastInput() {
  return sizeof(Word) == 8 ? 8 : 3 + 4;
}
template <typename Word>
static inline ptrdiff_t FastEntryInput() {
  return FastInput<Word>() + sizeof(Word) - 1;
}

// Tops the bit buffer up to at least its width less 8 bits with one word
// load; the bits above the count are the next input bits or zero, so the
// next load ORs the same values onto them. Only the low byte of left
// counts: symbols are consumed by subtracting their whole table word.
#define FAST_REFILL                                            \
  do {                                                         \
    bits |= LoadWord<Word>(in) << (left & (kWordBits - 1));    \
    in += (~left & (kWordBits - 1)) >> 3;                      \
    left |= kWordBits - 8;                                     \
  } while (0)
#define FAST_CONSUME(w)                   \
  do {                                    \
    bits >>= (w) & (kWordBits - 1);       \
    left -= (w);                          \
  } while (0)
// The extra bits of a word's symbol, from the buffer as it was before.
// (The code's length sits in bits 8-11, and bits 12-13 of a symbol's word
// are 0, so the shift may take bits 8-13 as they are.)
#define FAST_EXTRA(w, saved) \
  (unsigned)(((saved) & (((Word)1 << ((w) & 0x3F)) - 1)) >> (((w) >> 8) & (kWordBits - 1)))

// Copies a match of length bytes from distance back to out, as a byte-by-
// byte copy would, in whole words that may write up to 37 bytes past its end
// (into the window's slack; the bytes there are rewritten later).
static ALWAYS_INLINE void CopyMatchFast(BYTE *out, unsigned distance, unsigned length) {
  const BYTE *from = out - distance;
  BYTE *end = out + length;
  if (LIKELY(distance >= 8)) {
    // Every eight bytes read lie at least eight below those written: final.
    Store8(out, Load8(from));
    Store8(out + 8, Load8(from + 8));
    Store8(out + 16, Load8(from + 16));
    Store8(out + 24, Load8(from + 24));
    Store8(out + 32, Load8(from + 32));
    if (UNLIKELY(length > 40))
      for (out += 40, from += 40; out < end; out += 8, from += 8) Store8(out, Load8(from));
    return;
  }
  uint64_t pattern;
  if (distance == 1) {
    pattern = 0x0101010101010101ull * from[0];
  } else if (distance == 2) {
    pattern = 0x0001000100010001ull * (uint64_t)(from[0] | from[1] << 8);
  } else if (distance == 4) {
    uint32_t four;
    memcpy(&four, from, 4);
    pattern = (uint64_t)four << 32 | four;
  } else {
    // Periods 3, 5, 6 and 7: the first eight bytes one by one, each read
    // after the byte a period before it was written; then words from the
    // lowest multiple of the period that is at least eight bytes back.
    static const unsigned char kReach[8] = {0, 0, 0, 9, 0, 10, 12, 14};
    for (unsigned i = 0; i < 8; i++) out[i] = from[i];
    const BYTE *back = out + 8 - kReach[distance];
    for (out += 8; out < end; out += 8, back += 8) Store8(out, Load8(back));
    return;
  }
  // A period of 1, 2 or 4 bytes: the same eight bytes over and over.
  Store8(out, pattern);
  Store8(out + 8, pattern);
  for (out += 16; out < end; out += 8) Store8(out, pattern);
}

// Decodes symbols through the fast tables from a symbol's start (at most lb
// bits held) to the start of the first symbol it leaves to the careful path.
template <typename Word>
static NOINLINE void DecodeFast(unsigned lb, uint32_t *bitBuffer,
                         unsigned *bitCount, const BYTE **next, const BYTE *end, BYTE *window,
                         unsigned *windowPos) {
  const unsigned kWordBits = sizeof(Word) * 8;
  const bool kWide = kWordBits >= 64;
  const uint32_t *literals = g_fastLiteral, *distances = g_fastDistance;
  const unsigned literalBits = kFastLiteralBits, distanceBits = kFastDistanceBits;
  const Word literalMask = ((Word)1 << literalBits) - 1, distanceMask = ((Word)1 << distanceBits) - 1;
  Word bits = *bitBuffer;
  unsigned left = *bitCount;
  const BYTE *in = *next, *inLimit = end - FastInput<Word>();
  BYTE *out = window + *windowPos, *outLimit = window + kFastPosLimit;
  // Each turn starts with the buffer refilled and the next symbol's word
  // looked up: a match's copy then overlaps the next lookup.
  FAST_REFILL;
  uint32_t e = literals[bits & literalMask];
  while (in <= inLimit && out < outLimit) {
    if ((int32_t)e < 0) {
      // A literal of the root: a 64-bit buffer still holds a whole match, or
      // two more literals.
      FAST_CONSUME(e);
      *out++ = (BYTE)(e >> 16);
      if (kWide) {
        e = literals[bits & literalMask];
        if ((int32_t)e < 0) {
          FAST_CONSUME(e);
          *out++ = (BYTE)(e >> 16);
          e = literals[bits & literalMask];
          if ((int32_t)e < 0) {
            FAST_CONSUME(e);
            *out++ = (BYTE)(e >> 16);
          }
          FAST_REFILL;
          e = literals[bits & literalMask];
          continue;
        }
      } else {
        FAST_REFILL;
        e = literals[bits & literalMask];
        continue;
      }
    }
    if (UNLIKELY(e & kFastExceptional)) {
      if (e & kFastCareful) break;
      e = literals[(e >> 16) + ((bits >> literalBits) & (((Word)1 << ((e >> 8) & 0xF)) - 1))];
      if ((int32_t)e < 0) {
        FAST_CONSUME(e);
        *out++ = (BYTE)(e >> 16);
        FAST_REFILL;
        e = literals[bits & literalMask];
        continue;
      }
      if (e & kFastCareful) break;
    }
    // A length, then its distance; a distance the careful path must decode
    // sends the whole match there, with nothing of it consumed.
    unsigned length = (e >> 16) + FAST_EXTRA(e, bits);
    uint32_t d;
    if (kWide) {
      // Room for the distance's lookup without a refill: look before taking.
      Word rest = bits >> (e & (kWordBits - 1));
      d = distances[rest & distanceMask];
      if (UNLIKELY(d & kFastExceptional)) {
        if ((d & kFastCareful) || in > inLimit - 7) break;
        d = distances[(d >> 16) + ((rest >> distanceBits) & (((Word)1 << ((d >> 8) & 0xF)) - 1))];
        if (d & kFastCareful) break;
        bits = rest;
        left -= e;
        FAST_REFILL;  // a long code and 13 extra bits
      } else {
        bits = rest;
        left -= e;
      }
    } else {
      Word savedBits = bits;
      unsigned savedLeft = left;
      const BYTE *savedIn = in;
      FAST_CONSUME(e);
      FAST_REFILL;
      d = distances[bits & distanceMask];
      if (UNLIKELY(d & kFastExceptional)) {
        if (!(d & kFastCareful))
          d = distances[(d >> 16) + ((bits >> distanceBits) & (((Word)1 << ((d >> 8) & 0xF)) - 1))];
        if ((d & kFastCareful) || in > inLimit) {
          bits = savedBits;
          left = savedLeft;
          in = savedIn;
          break;
        }
        // A 32-bit buffer cannot hold a long code and 13 extra bits at once.
        unsigned codeLength = (d >> 8) & 0xF;
        bits >>= codeLength;
        left -= codeLength;
        FAST_REFILL;
        d -= codeLength;
        d &= ~0xF00u;  // the extra bits now start at bit 0
      }
    }
    unsigned distance = (d >> 16) + FAST_EXTRA(d, bits);
    FAST_CONSUME(d);
    FAST_REFILL;
    e = literals[bits & literalMask];
    CopyMatchFast(out, distance, length);
    out += length;
  }
  // A symbol starts here and lb bits count as requested: keep the bytes up to
  // ceil((consumed + lb) / 8), give the rest back. Fewer bits than lb (after
  // a match) are what that decoder held before the request, which the
  // careful path then makes.
  left &= kWordBits - 1;
  unsigned back = left > lb ? (left - lb) >> 3 : 0;
  in -= back;
  left -= 8 * back;
  *bitBuffer = (uint32_t)(bits & (((Word)1 << left) - 1));
  *bitCount = left;
  *next = in;
  *windowPos = (unsigned)(out - window);
}

void DecodeFastPath(unsigned lb, uint32_t *bitBuffer, unsigned *bitCount, const BYTE **next,
                    const BYTE *end, BYTE *window, unsigned *windowPos) {
  if (sizeof(size_t) >= 8 && !g_narrowBitBuffer) {
    if (end - *next >= FastEntryInput<uint64_t>())
      DecodeFast<uint64_t>(lb, bitBuffer, bitCount, next, end, window, windowPos);
  } else if (end - *next >= FastEntryInput<uint32_t>()) {
    DecodeFast<uint32_t>(lb, bitBuffer, bitCount, next, end, window, windowPos);
  }
}
