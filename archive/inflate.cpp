// DEFLATE decoding: stored, fixed and dynamic blocks through a 32 KiB window.
//
// The decoder state is process-wide: the window keeps earlier members' output
// (a distance may reach back into it), the fixed-code tables are built once,
// and the fetch counter that paces the progress bar carries from member to
// member. While a block is decoded the bit buffer, bit count and window
// position live in locals and are stored back when the block ends.
//
// In this file:
//   state         the InputBuffer, the window below which the window before
//                 it is kept (a match's source is always one run), the
//                 fixed-code tables
//   bit input     the careful requests: a byte fetched when a request needs it
//   stored blocks
//   fast tables   one 32-bit word per index, built straight from the lengths
//   fast path     symbols decoded a machine word of input at a time
//   careful path  DecodeSymbols: each request as the format makes it, and the
//                 fast path wherever it may run
//   blocks        fixed and dynamic blocks, the block header, the member
#include "archive/inflate.h"

#include <string.h>

#include "archive/decode_table.h"
#include "archive/output_sink.h"
#include "archive/progress.h"

namespace {

const DWORD kInputSize = 4096;
const unsigned kWindowSize = 32768;
const unsigned kSlack = 64;  // past the window: room for whole-word copies
const unsigned kProgressStep = 2000;
const int kLiteralLookupBits = 9;
const int kDistanceLookupBits = 6;

const unsigned char kCodeLengthOrder[19] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                            11, 4,  12, 3, 13, 2, 14, 1, 15};
const uint16_t kLengthBase[31] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27, 31,
                                  35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0,  0};
const uint16_t kLengthExtra[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
                                   3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, 99, 99};
const uint16_t kDistanceBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                    33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                    1025, 1537, 2049, 3073, 4097, 6145,  8193,  12289, 16385, 24577};
const uint16_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                     6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
const uint16_t kBitMask[17] = {0,    1,    3,    7,     15,    31,    63,    127,  255,
                               511,  1023, 2047, 4095,  8191,  16383, 32767, 65535};

// ---- State ----

struct Inflater {
  HANDLE archive;
  BYTE input[kInputSize];
  // The bytes the last read delivered are input .. inputEnd; inputNext is the
  // next one to hand out. Bytes handed out from inputCounted on have not yet
  // been added to the fetch counter: the decoding loops take bytes with a
  // plain load and count them in one go before anything else happens (a
  // read, a write, a table built or released, the return).
  const BYTE *inputNext, *inputEnd, *inputCounted;
  unsigned fetchCounter;
  uint32_t bitBuffer;  // oldest unconsumed bit is bit 0
  unsigned bitCount;
  // The window Flush receives is the kWindowSize bytes at slide +
  // kWindowSize. Below it lies the window before (its history): the byte
  // distance d back from window position p is always at window + p - d, one
  // run however far back, where a ring would wrap. A full window moves down
  // into the history once flushed. kSlack bytes after it take the words the
  // fast path copies past a match's end.
  BYTE slide[2 * kWindowSize + kSlack];
  unsigned windowPos;
  DecodeEntry *fixedLiteral;
  int fixedLiteralBits;
  DecodeEntry *fixedDistance;
  int fixedDistanceBits;
};
Inflater g_inflater;

// Adds the bytes handed out up to next to the fetch counter, advancing the
// progress bar by 2000 for every 2000 fetches, exactly as if each byte had
// been counted when it was taken.
void CountFetches(const BYTE *next) {
  Inflater &z = g_inflater;
  z.fetchCounter += (unsigned)(next - z.inputCounted);
  z.inputCounted = next;
  while (z.fetchCounter >= kProgressStep) {
    z.fetchCounter -= kProgressStep;
    AdvanceProgress(kProgressStep);
  }
}

// A fetch from a used-up InputBuffer: counts the fetch, then reads the next
// piece of the archive. Returns its first byte, or -1 at the end of input (a
// failed read is reported to the user first).
#if defined(__GNUC__)
__attribute__((noinline))
#endif
int FetchFromNextPiece() {
  Inflater &z = g_inflater;
  CountFetches(z.inputNext);
  if (++z.fetchCounter >= kProgressStep) {
    AdvanceProgress(kProgressStep);
    z.fetchCounter = 0;
  }
  z.inputNext = z.inputEnd = z.inputCounted = z.input;
  DWORD got = 0;
  if (!ReadFile(z.archive, z.input, kInputSize, &got, NULL)) {
    MessageBoxA(NULL, "Error reading zip file!", "Error", MB_OK);
    return -1;
  }
  if (got == 0) return -1;
  z.inputEnd = z.input + got;
  z.inputNext = z.inputCounted = z.input + 1;
  return z.input[0];
}

// Hands the full window to the OutputSink and moves it into the history,
// whatever the write's outcome (the next bytes reach back into it).
int FlushWindow(BYTE *window) {
  int flushed = Flush(window, kWindowSize);
  memcpy(window - kWindowSize, window, kWindowSize);
  return flushed;
}

// ---- Bit input ----
//
// Over the locals of a block decoder. NEED requests n bits (the decoder
// returns 1 at the end of input), BITS reads the low n, DUMP consumes. A
// byte still in the InputBuffer is taken with a plain load; SYNC stores the
// input position back and counts the fetches, and comes before every call
// that reaches the system.
#define LOAD_STATE                                           \
  uint32_t bitBuffer = g_inflater.bitBuffer;                 \
  unsigned bitCount = g_inflater.bitCount;                   \
  unsigned pos = g_inflater.windowPos;                       \
  BYTE *window = g_inflater.slide + kWindowSize;             \
  const BYTE *next = g_inflater.inputNext;                   \
  const BYTE *end = g_inflater.inputEnd;                     \
  int result = 0
#define SYNC                     \
  do {                           \
    g_inflater.inputNext = next; \
    CountFetches(next);          \
  } while (0)
#define SAVE_STATE                  \
  SYNC;                             \
  g_inflater.bitBuffer = bitBuffer; \
  g_inflater.bitCount = bitCount;   \
  g_inflater.windowPos = pos
#define NEED(n)                                   \
  while (bitCount < (unsigned)(n)) {              \
    unsigned byte_;                               \
    if (next != end) {                            \
      byte_ = *next++;                            \
    } else {                                      \
      g_inflater.inputNext = next;                \
      int fetched_ = FetchFromNextPiece();        \
      next = g_inflater.inputNext;                \
      end = g_inflater.inputEnd;                  \
      if (fetched_ < 0) {                         \
        result = INFLATE_BAD_DATA;                \
        goto done;                                \
      }                                           \
      byte_ = (unsigned)fetched_;                 \
    }                                             \
    bitBuffer |= (uint32_t)byte_ << bitCount;     \
    bitCount += 8;                                \
  }
#define BITS(n) (bitBuffer & kBitMask[n])
#define DUMP(n)          \
  do {                   \
    bitBuffer >>= (n);   \
    bitCount -= (n);     \
  } while (0)
// The window is full: flush it; the position is already 0.
#define FLUSH_WINDOW                               \
  do {                                             \
    SYNC;                                          \
    int flushed_ = FlushWindow(window);            \
    if (flushed_) {                                \
      result = flushed_;                           \
      goto done;                                   \
    }                                              \
  } while (0)
#define PUT_BYTE(b)                \
  do {                             \
    window[pos++] = (BYTE)(b);     \
    if (pos == kWindowSize) {      \
      pos = 0;                     \
      FLUSH_WINDOW;                \
    }                              \
  } while (0)

// ---- Stored blocks ----

int CopyStoredBlock() {
  LOAD_STATE;
  unsigned length;
  DUMP(bitCount & 7);
  NEED(16);
  length = BITS(16);
  DUMP(16);
  NEED(16);
  if ((~bitBuffer & 0xFFFF) != length) {
    result = INFLATE_BAD_DATA;
    goto done;
  }
  DUMP(16);
  // Whole bytes left in the bit buffer come first.
  while (length && bitCount) {
    length--;
    PUT_BYTE(BITS(8));
    DUMP(8);
  }
  // Then the rest straight from the InputBuffer, as far as it and the window
  // reach at a time; each byte is one fetch.
  while (length) {
    if (next == end) {
      NEED(8);
      length--;
      PUT_BYTE(BITS(8));
      DUMP(8);
      continue;
    }
    unsigned n = (unsigned)(end - next);
    if (n > length) n = length;
    if (n > kWindowSize - pos) n = kWindowSize - pos;
    memcpy(window + pos, next, n);
    next += n;
    pos += n;
    length -= n;
    if (pos == kWindowSize) {
      pos = 0;
      FLUSH_WINDOW;
    }
  }
done:
  SAVE_STATE;
  return result;
}

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

const uint32_t kFastLiteral = 0x80000000u;
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

uint32_t g_fastLiteral[kFastLiteralRoom], g_fastDistance[kFastDistanceRoom];
enum { kFastHoldsNothing, kFastHoldsFixed, kFastHoldsDynamic } g_fastHolds;
bool g_narrowBitBuffer;

// One code set as BuildDecodeTable was given it, with what its DecodeTable
// became: the root's width, and lb, the literal root's width.
struct CodeSet {
  const unsigned *lengths;  // 0-15, as DEFLATE sends them
  unsigned n, s;  // symbols below s are simple (literal bytes, end of block)
  const uint16_t *base, *extra;
  unsigned tableSize;
  unsigned decodeRootBits, lb;
};

// Whether the fast path may take a code of length k from a code set whose
// longest code has length longest: its residual is at most lb.
bool FastMayTake(const CodeSet &c, unsigned k, unsigned longest) {
  unsigned residual = k <= c.decodeRootBits ? c.decodeRootBits - k : longest - k > 1 ? longest - k : 1;
  return residual <= c.lb;
}

// The word of symbol sym, whose code has length k.
uint32_t FastWord(const CodeSet &c, unsigned sym, unsigned k) {
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
void BuildFastTable(const CodeSet &c, unsigned rootBits, uint32_t *table, unsigned room) {
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
// A literal and a longest match, the window not full after them; a match's
// copy reaches at most 37 bytes further, within the slack.
const unsigned kFastPosLimit = kWindowSize - 259;

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
NOINLINE void DecodeFast(unsigned lb, uint32_t *bitBuffer,
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

// ---- The careful path ----

// Copies n bytes from from to to, lowest first, with the result of a byte-
// by-byte copy where the ranges overlap (from lies below to).
static void CopyExact(BYTE *to, const BYTE *from, unsigned n) {
  if ((size_t)(to - from) >= n) {
    memcpy(to, from, n);
    return;
  }
  while (n--) *to++ = *from++;
}

// From a root entry e through its sub-tables to the final entry, whose bits
// are then consumed; an invalid code ends the block with 1.
#define FOLLOW_LINKS                       \
  while (e->op > DECODE_OP_SIMPLE) {       \
    if (e->op == DECODE_OP_INVALID) {      \
      result = INFLATE_BAD_DATA;           \
      goto done;                           \
    }                                      \
    DUMP(e->bits);                         \
    extra = e->op - DECODE_OP_LINK_BASE;   \
    NEED(extra);                           \
    e = e->link + BITS(extra);             \
  }                                        \
  DUMP(e->bits)

// Decodes literal/length and distance codes up to the end-of-block code: one
// symbol at a time, each bit requested as it is needed, and through the fast
// path wherever it can run.
int DecodeSymbols(const DecodeEntry *literals, int lb, const DecodeEntry *distances, int db) {
  LOAD_STATE;
  if (!literals) {  // a lookup in a table without codes
    result = INFLATE_BAD_DATA;
    goto done;
  }
  for (;;) {
    const DecodeEntry *e;
    unsigned length, extra, distance;
    if (bitCount <= (unsigned)lb && pos < kFastPosLimit) {
      if (sizeof(size_t) >= 8 && !g_narrowBitBuffer) {
        if (end - next >= FastEntryInput<uint64_t>())
          DecodeFast<uint64_t>((unsigned)lb, &bitBuffer, &bitCount, &next, end, window, &pos);
      } else if (end - next >= FastEntryInput<uint32_t>()) {
        DecodeFast<uint32_t>((unsigned)lb, &bitBuffer, &bitCount, &next, end, window, &pos);
      }
    }
    NEED(lb);
    e = literals + BITS(lb);
    FOLLOW_LINKS;
    if (e->op == DECODE_OP_SIMPLE) {
      PUT_BYTE(e->value);
      continue;
    }
    if (e->op == DECODE_OP_END_OF_BLOCK) break;

    extra = e->op;
    NEED(extra);
    length = e->value + BITS(extra);
    DUMP(extra);

    if (!distances) {
      result = INFLATE_BAD_DATA;
      goto done;
    }
    NEED(db);
    e = distances + BITS(db);
    FOLLOW_LINKS;
    extra = e->op;
    NEED(extra);
    distance = e->value + BITS(extra);
    DUMP(extra);

    // The source is distance bytes back, in the window or its history; the
    // copy stops where the window fills, which flushes it and moves it into
    // the history, and goes on from the start of the next.
    while (length) {
      unsigned chunk = kWindowSize - pos;
      if (chunk > length) chunk = length;
      CopyExact(window + pos, window + pos - distance, chunk);
      pos += chunk;
      length -= chunk;
      if (pos == kWindowSize) {
        pos = 0;
        FLUSH_WINDOW;
      }
    }
  }
done:
  SAVE_STATE;
  return result;
}

// ---- Blocks ----

// The fixed literal/length code's lengths (RFC 1951, 3.2.6), and 30 distance
// lengths of 5 after them.
void FixedLengths(unsigned *lengths) {
  unsigned i = 0;
  for (; i < 144; i++) lengths[i] = 8;
  for (; i < 256; i++) lengths[i] = 9;
  for (; i < 280; i++) lengths[i] = 7;
  for (; i < 288; i++) lengths[i] = 8;
  for (; i < 288 + 30; i++) lengths[i] = 5;
}

int DecodeFixedBlock() {
  Inflater &z = g_inflater;
  unsigned lengths[288 + 30];
  if (!z.fixedLiteral || g_fastHolds != kFastHoldsFixed) FixedLengths(lengths);
  if (!z.fixedLiteral) {
    DecodeEntry *literal;
    int literalBits;
    int r = BuildDecodeTable(lengths, 288, 257, kLengthBase, kLengthExtra, 31, 7, &literal,
                             &literalBits);
    if (r) return r;
    DecodeEntry *distance;
    int distanceBits;
    r = BuildDecodeTable(lengths + 288, 30, 0, kDistanceBase, kDistanceExtra, 30, 5, &distance,
                         &distanceBits);
    if (r > 1) {
      FreeDecodeTable(literal);
      return r;
    }
    z.fixedLiteral = literal;
    z.fixedLiteralBits = literalBits;
    z.fixedDistance = distance;
    z.fixedDistanceBits = distanceBits;
  }
  if (g_fastHolds != kFastHoldsFixed) {
    unsigned lb = (unsigned)z.fixedLiteralBits;
    CodeSet l = {lengths, 288, 257, kLengthBase, kLengthExtra, 31, lb, lb};
    CodeSet d = {lengths + 288, 30, 0, kDistanceBase, kDistanceExtra, 30, (unsigned)z.fixedDistanceBits, lb};
    BuildFastTables(l, d);
    g_fastHolds = kFastHoldsFixed;
  }
  return DecodeSymbols(z.fixedLiteral, z.fixedLiteralBits, z.fixedDistance, z.fixedDistanceBits);
}

// Reads the code lengths of a dynamic block; on success *count holds nl + nd.
int ReadCodeLengths(unsigned *lengths, unsigned *nl, unsigned *nd) {
  LOAD_STATE;
  unsigned nc, total, filled = 0, previous = 0;
  unsigned codeLengths[19];
  DecodeEntry *table = NULL;
  int tableBits = 0;
  (void)window;
  NEED(5);
  *nl = 257 + BITS(5);
  DUMP(5);
  NEED(5);
  *nd = 1 + BITS(5);
  DUMP(5);
  NEED(4);
  nc = 4 + BITS(4);
  DUMP(4);
  for (unsigned i = 0; i < 19; i++) codeLengths[i] = 0;
  for (unsigned i = 0; i < nc; i++) {
    NEED(3);
    codeLengths[kCodeLengthOrder[i]] = BITS(3);
    DUMP(3);
  }
  SYNC;
  result = BuildDecodeTable(codeLengths, 19, 19, NULL, NULL, 0, 7, &table, &tableBits);
  if (result == 1) FreeDecodeTable(table);
  if (result) {
    table = NULL;
    goto done;
  }
  total = *nl + *nd;
  while (filled < total) {
    const DecodeEntry *e;
    unsigned repeat, value;
    if (!table) {
      result = INFLATE_BAD_DATA;
      goto done;
    }
    NEED(tableBits);
    e = table + BITS(tableBits);
    if (e->op == DECODE_OP_INVALID) {
      result = INFLATE_BAD_DATA;
      goto done;
    }
    DUMP(e->bits);
    if (e->value < 16) {
      lengths[filled++] = previous = e->value;
      continue;
    }
    if (e->value == 16) {
      NEED(2);
      repeat = 3 + BITS(2);
      DUMP(2);
      value = previous;
    } else if (e->value == 17) {
      NEED(3);
      repeat = 3 + BITS(3);
      DUMP(3);
      value = previous = 0;
    } else {
      NEED(7);
      repeat = 11 + BITS(7);
      DUMP(7);
      value = previous = 0;
    }
    if (filled + repeat > total) {
      result = INFLATE_BAD_DATA;
      goto done;
    }
    while (repeat--) lengths[filled++] = value;
  }
done:
  SAVE_STATE;
  FreeDecodeTable(table);
  return result;
}

int DecodeDynamicBlock() {
  unsigned lengths[320];
  unsigned nl, nd;
  int r = ReadCodeLengths(lengths, &nl, &nd);
  if (r) return r;
  DecodeEntry *literal, *distance;
  int literalBits, distanceBits;
  r = BuildDecodeTable(lengths, nl, 257, kLengthBase, kLengthExtra, 31, kLiteralLookupBits,
                       &literal, &literalBits);
  if (r == 1) {
    FreeDecodeTable(literal);
    return INFLATE_BAD_DATA;
  }
  if (r) return r;
  r = BuildDecodeTable(lengths + nl, nd, 0, kDistanceBase, kDistanceExtra, 30,
                       kDistanceLookupBits, &distance, &distanceBits);
  if (r > 1) {
    FreeDecodeTable(literal);
    return r;
  }
  CodeSet l = {lengths, nl, 257, kLengthBase, kLengthExtra, 31, (unsigned)literalBits, (unsigned)literalBits};
  CodeSet d = {lengths + nl, nd, 0, kDistanceBase, kDistanceExtra, 30, (unsigned)distanceBits,
               (unsigned)literalBits};
  BuildFastTables(l, d);
  g_fastHolds = kFastHoldsDynamic;
  r = DecodeSymbols(literal, literalBits, distance, distanceBits);
  FreeDecodeTable(literal);
  FreeDecodeTable(distance);
  return r;
}

int DecodeBlock(int *last) {
  unsigned type;
  {
    LOAD_STATE;
    (void)pos;
    (void)window;
    NEED(1);
    *last = (int)BITS(1);
    DUMP(1);
    NEED(2);
    type = BITS(2);
    DUMP(2);
  done:
    SAVE_STATE;
    if (result) return result;
  }
  switch (type) {
    case 0: return CopyStoredBlock();
    case 1: return DecodeFixedBlock();
    case 2: return DecodeDynamicBlock();
    default: return INFLATE_BAD_CODE;
  }
}

}  // namespace

int InflateMember(HANDLE archive, HANDLE output) {
  Inflater &z = g_inflater;
  z.archive = archive;
  g_outputSink.output = output;
  z.inputNext = z.inputEnd = z.inputCounted = z.input;
  z.bitBuffer = 0;
  z.bitCount = 0;
  // What the last member left of a window joins the history below it, so
  // that the history holds what lies 32768 to 1 bytes before position 0.
  memcpy(z.slide, z.slide + kWindowSize, z.windowPos);
  z.windowPos = 0;
  int last = 0;
  do {
    int r = DecodeBlock(&last);
    if (r) return r;
  } while (!last);
  return Flush(z.slide + kWindowSize, z.windowPos);
}

unsigned InflateFetchCounter() { return g_inflater.fetchCounter; }

void InflateUseNarrowBitBuffer(int narrow) { g_narrowBitBuffer = narrow != 0; }

void InflateReleaseFixedTables() {
  if (g_fastHolds == kFastHoldsFixed) g_fastHolds = kFastHoldsNothing;
  FreeDecodeTable(g_inflater.fixedLiteral);
  FreeDecodeTable(g_inflater.fixedDistance);
  g_inflater.fixedLiteral = g_inflater.fixedDistance = NULL;
  g_inflater.fixedLiteralBits = g_inflater.fixedDistanceBits = 0;
}
