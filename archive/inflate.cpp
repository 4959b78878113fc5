// DEFLATE decoding: stored, fixed and dynamic blocks through a 32 KiB window.
//
// The decoder state is process-wide: the window keeps earlier members' output
// (a distance may reach back into it), the fixed-code tables are built once,
// and the fetch counter that paces the progress bar carries from member to
// member. While a block is decoded the bit buffer, bit count and window
// position live in locals and are stored back when the block ends.
#include "archive/inflate.h"

#include <string.h>

#include "archive/decode_table.h"
#include "archive/output_sink.h"
#include "archive/progress.h"

namespace {

const DWORD kInputSize = 4096;
const unsigned kWindowSize = 32768;
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
  BYTE window[kWindowSize];
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

// Bit input over the locals of a block decoder. NEED requests n bits (the
// decoder returns 1 at the end of input), BITS reads the low n, DUMP consumes.
// A byte still in the InputBuffer is taken with a plain load; SYNC stores the
// input position back and counts the fetches, and comes before every call
// that reaches the system.
#define LOAD_STATE                             \
  uint32_t bitBuffer = g_inflater.bitBuffer;   \
  unsigned bitCount = g_inflater.bitCount;     \
  unsigned pos = g_inflater.windowPos;         \
  BYTE *window = g_inflater.window;            \
  const BYTE *next = g_inflater.inputNext;     \
  const BYTE *end = g_inflater.inputEnd;       \
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
// Hands the full window to the OutputSink; the position is already 0.
#define FLUSH_WINDOW                               \
  do {                                             \
    SYNC;                                          \
    int flushed_ = Flush(window, kWindowSize);     \
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
#else
#define ALWAYS_INLINE inline
#define NOINLINE
#endif

#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__) && \
    __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the wide bit buffer loads the input as little-endian words"
#endif

static inline uint32_t Load4(const BYTE *p) {
  uint32_t v;
  memcpy(&v, p, 4);
  return v;
}
static inline void Store4(BYTE *p, uint32_t v) { memcpy(p, &v, 4); }

// Eight bytes from s to d, all read before any is written.
static inline void Copy8(BYTE *d, const BYTE *s) {
  uint32_t a = Load4(s), b = Load4(s + 4);
  Store4(d, a);
  Store4(d + 4, b);
}

// The lowest multiple of a short period (2-7) that is at least 8.
const unsigned char kPeriodReach[8] = {0, 8, 8, 9, 8, 10, 12, 14};

// Copies n bytes (n > 0) within the window from offset from to offset to,
// neither range passing the window's end, lowest byte first, with the result
// of a byte-by-byte copy: where the source lies less than n bytes below the
// destination, each byte is read after the one (to - from) before it was
// written. Every pointer formed lies inside the window.
static ALWAYS_INLINE void CopyMatch(BYTE *window, unsigned to, unsigned from, unsigned n) {
  BYTE *d = window + to;
  const BYTE *s = window + from;
  if (from > to) {
    // The destination below the source: a lowest-first copy in eight-byte
    // steps reads every byte before it is overwritten.
    for (; n >= 8; n -= 8, d += 8, s += 8) Copy8(d, s);
    while (n--) *d++ = *s++;
    return;
  }
  unsigned gap = to - from;
  if (gap == 0) return;  // distance 32768: each byte onto itself
  if (gap < 8) {
    if (gap == 1) {
      memset(d, *s, n);
      return;
    }
    // A short period: copy bytes one by one until the pattern spans a whole
    // number of periods of at least eight bytes; from there the bytes that
    // far back are the same ones, and that far back is the source's start.
    unsigned reach = kPeriodReach[gap];
    unsigned head = reach - gap;
    if (n <= head) {
      while (n--) *d++ = *s++;
      return;
    }
    n -= head;
    while (head--) *d++ = *s++;
    s = window + from;
  }
  // From here the source lies at least eight bytes below the destination, so
  // every eight bytes read are final. The last piece is one more eight-byte
  // (or four-byte) copy that ends at the chunk's end and rewrites a few bytes
  // with the values they already hold.
  if (n >= 8) {
    BYTE *lastTo = d + n - 8;
    const BYTE *lastFrom = s + n - 8;
    for (; n >= 8; n -= 8, d += 8, s += 8) Copy8(d, s);
    if (n) Copy8(lastTo, lastFrom);
  } else if (n >= 4) {
    uint32_t first = Load4(s), last = Load4(s + n - 4);
    Store4(d, first);
    Store4(d + n - 4, last);
  } else {
    d[0] = s[0];
    d[n / 2] = s[n / 2];
    d[n - 1] = s[n - 1];
  }
}

// ---- The fast path ----
//
// While the InputBuffer holds at least kFastInput more bytes and the window
// has room for a longest match, symbols are decoded through a bit buffer as
// wide as a machine word, refilled a word at a time, and through flat tables
// of one 32-bit word per index (FastTables) that give a literal, or a length
// or distance base with its extra-bit count, in one lookup. Nothing outside
// the decoder is called there: no read (the bytes are in the InputBuffer), no
// flush (the window does not fill) and no progress step (fetches are counted
// from the input position at the next call that leaves the decoder).
//
// The fetch count stays the one of a decoder that fetches a byte only when a
// request finds fewer bits than it needs. Such a decoder has fetched
// ceil(H / 8) bytes, H being the highest (bits consumed + bits requested)
// over all its requests so far. A lookup that walks into a sub-table requests
// up to the end of the table where its code ends, so H reaches that far; the
// bits so requested beyond the code's own are its residual. The fast tables
// hold only codes whose residual is at most the root's lookup bits lb, so that
// after every symbol decoded here that decoder holds at most lb requested bits
// beyond those consumed, and its next request, lb bits for the next symbol,
// sets H to (consumed + lb) whatever came before. The fast loop is left only
// where a symbol starts, taken to have made that request: the bit buffer
// keeps exactly the bytes up to ceil((consumed + lb) / 8) and gives the
// bytes read ahead back to the InputBuffer, and the careful path goes on with
// that same request, which fetches nothing more. The fast loop is entered
// only with at most lb bits held, so the request it takes as made is the one
// that decoder makes there.

const int kFastLitBits = 11;
const int kFastDistBits = 9;
const ptrdiff_t kFastInput = 16;                     // two word loads and what they skip
const unsigned kFastPosLimit = kWindowSize - 258;    // room for a longest match, the window not full
// A fast table word: bits 0-7 the bits to consume for the code, 8-14 the
// extra bits that follow it, 16-30 the literal or base; bit 31 marks a
// literal, bit 15 a code the careful path decodes (end of block, an invalid
// code, a code longer than the table or with a wider residual).
const uint32_t kFastLiteral = 0x80000000u;
const uint32_t kFastCareful = 0x8000u;

struct FastTables {
  uint32_t literal[1 << kFastLitBits];
  uint32_t distance[1 << kFastDistBits];
  unsigned literalBits, distanceBits;  // the widths filled, up to the arrays' own
};
FastTables g_fastDynamic, g_fastFixed;
bool g_narrowBitBuffer;

// The final entry of the code whose first known bits are index, followed
// through the sub-tables as a lookup walks them; *length gets the code's
// length and *span the bits requested to the end of the final table. NULL
// when the walk needs bits beyond the known ones.
const DecodeEntry *ResolveCode(const DecodeEntry *root, int rootBits, unsigned index, unsigned known,
                               unsigned *length, unsigned *span) {
  const DecodeEntry *e = root + (index & kBitMask[rootBits]);
  unsigned used = 0, width = (unsigned)rootBits;
  while (e->op > DECODE_OP_SIMPLE && e->op != DECODE_OP_INVALID) {
    used += width;
    width = e->op - DECODE_OP_LINK_BASE;
    if (used >= known) return NULL;
    e = e->link + ((index >> used) & kBitMask[width]);
  }
  *length = used + e->bits;
  *span = used + width;
  return e;
}

// The fast table word of a final entry whose code has the given length and
// whose lookup requests span bits.
uint32_t FastWordOf(const DecodeEntry *e, unsigned length, unsigned span, unsigned known, int lb) {
  if (length > known || span - length > (unsigned)lb) return kFastCareful;
  if (e->op == DECODE_OP_SIMPLE) return kFastLiteral | (uint32_t)(e->value & 0xFF) << 16 | length;
  if (e->op <= 13) return (uint32_t)e->value << 16 | (uint32_t)e->op << 8 | length;
  return kFastCareful;  // end of block, invalid code, a further sub-table
}

// One fast table word for index: its code resolved through the sub-tables,
// or the mark that sends the symbol to the careful path.
uint32_t FastWord(const DecodeEntry *root, int rootBits, unsigned index, unsigned known, int lb) {
  unsigned length, span;
  if (!root) return kFastCareful;
  const DecodeEntry *e = ResolveCode(root, rootBits, index, known, &length, &span);
  return e ? FastWordOf(e, length, span, known, lb) : kFastCareful;
}

// Fills the 2^known words of one fast table from a code set. A root entry is
// resolved once and repeated wherever its bits recur; a link's sub-table is
// read for the bits above the root that the fast table covers.
void FillFastTable(const DecodeEntry *root, int rootBits, uint32_t *fast, unsigned known, int lb) {
  unsigned size = 1u << known;
  if (!root || (unsigned)rootBits > known) {
    for (unsigned i = 0; i < size; i++) fast[i] = FastWord(root, rootBits, i, known, lb);
    return;
  }
  unsigned rootSize = 1u << rootBits, above = 1u << (known - rootBits);
  for (unsigned r = 0; r < rootSize; r++) {
    const DecodeEntry *e = root + r;
    if (e->op > DECODE_OP_SIMPLE && e->op != DECODE_OP_INVALID) {
      unsigned width = e->op - DECODE_OP_LINK_BASE;
      for (unsigned t = 0; t < above; t++) {
        const DecodeEntry *sub = e->link + (t & kBitMask[width]);
        fast[r | t << rootBits] =
            FastWordOf(sub, (unsigned)rootBits + sub->bits, (unsigned)rootBits + width, known, lb);
      }
    } else {
      uint32_t w = FastWordOf(e, e->bits, (unsigned)rootBits, known, lb);
      for (unsigned i = r; i < size; i += rootSize) fast[i] = w;
    }
  }
}

// The width a fast table needs: the root's own when the root holds every
// code (no link), else the widest the array has. A block of short codes, as
// small members often have, then fills a quarter of the words.
unsigned FastBits(const DecodeEntry *root, int rootBits, unsigned widest) {
  if (!root || (unsigned)rootBits >= widest) return widest;
  for (unsigned r = 0; r < 1u << rootBits; r++)
    if (root[r].op > DECODE_OP_SIMPLE && root[r].op != DECODE_OP_INVALID) return widest;
  return (unsigned)rootBits;
}

void BuildFastTables(const DecodeEntry *literals, int lb, const DecodeEntry *distances, int db,
                     FastTables *fast) {
  fast->literalBits = FastBits(literals, lb, kFastLitBits);
  fast->distanceBits = FastBits(distances, db, kFastDistBits);
  FillFastTable(literals, lb, fast->literal, fast->literalBits, lb);
  FillFastTable(distances, db, fast->distance, fast->distanceBits, lb);
}

template <typename Word>
static inline Word LoadWord(const BYTE *p) {
  Word v;
  memcpy(&v, p, sizeof v);
  return v;
}

// Tops the bit buffer up to at least its width less 8 bits with one word
// load; the bits above the count are the next input bits or zero, so the
// next load ORs the same values onto them.
#define FAST_REFILL                                           \
  do {                                                        \
    bits |= LoadWord<Word>(in) << left;                       \
    in += (kWordBits - 1 - left) >> 3;                        \
    left |= kWordBits - 8;                                    \
  } while (0)

// Decodes symbols through the fast tables from a symbol's start (at most lb
// bits held) to the start of the first symbol it leaves to the careful path.
template <typename Word>
NOINLINE void DecodeFast(const FastTables *fast, unsigned lb, uint32_t *bitBuffer,
                         unsigned *bitCount, const BYTE **next, const BYTE *end, BYTE *window,
                         unsigned *windowPos) {
  const unsigned kWordBits = sizeof(Word) * 8;
  const uint32_t *literals = fast->literal, *distances = fast->distance;
  const Word literalMask = (1u << fast->literalBits) - 1, distanceMask = (1u << fast->distanceBits) - 1;
  Word bits = *bitBuffer;
  unsigned left = *bitCount;
  const BYTE *in = *next, *inLimit = end - kFastInput;
  unsigned pos = *windowPos;
  FAST_REFILL;
  uint32_t e = literals[bits & literalMask];
  while (in <= inLimit && pos < kFastPosLimit) {
    if (e & kFastLiteral) {
      bits >>= (e & 0xFF);
      left -= e & 0xFF;
      window[pos++] = (BYTE)(e >> 16);
      e = literals[bits & literalMask];
      // A wide buffer holds a second literal and a whole match after it.
      if (kWordBits >= 64 && (e & kFastLiteral)) {
        bits >>= (e & 0xFF);
        left -= e & 0xFF;
        window[pos++] = (BYTE)(e >> 16);
        e = literals[bits & literalMask];
      }
      FAST_REFILL;
      continue;
    }
    if (e & kFastCareful) break;
    // A length, then its distance; a distance the careful path must decode
    // sends the whole symbol there, with nothing consumed.
    Word savedBits = bits;
    unsigned savedLeft = left;
    const BYTE *savedIn = in;
    unsigned n = e & 0xFF, extra = (e >> 8) & 0x7F;
    unsigned length = (e >> 16) + (unsigned)((bits >> n) & kBitMask[extra]);
    bits >>= n + extra;
    left -= n + extra;
    if (kWordBits < 64) FAST_REFILL;
    uint32_t d = distances[bits & distanceMask];
    if (d & kFastCareful) {
      bits = savedBits;
      left = savedLeft;
      in = savedIn;
      break;
    }
    n = d & 0xFF;
    extra = (d >> 8) & 0x7F;
    unsigned distance = (d >> 16) + (unsigned)((bits >> n) & kBitMask[extra]);
    bits >>= n + extra;
    left -= n + extra;
    // The destination does not reach the window's end; a source that wraps
    // is copied in two pieces, the second from window position 0.
    if (distance <= pos) {
      CopyMatch(window, pos, pos - distance, length);
    } else {
      unsigned from = pos + kWindowSize - distance, first = kWindowSize - from;
      if (first >= length) {
        CopyMatch(window, pos, from, length);
      } else {
        CopyMatch(window, pos, from, first);
        CopyMatch(window, pos + first, 0, length - first);
      }
    }
    pos += length;
    FAST_REFILL;
    e = literals[bits & literalMask];
  }
  // A symbol starts here and lb bits count as requested: keep the bytes up to
  // ceil((consumed + lb) / 8), give the rest back.
  unsigned back = (left - lb) >> 3;
  in -= back;
  left -= 8 * back;
  *bitBuffer = (uint32_t)(bits & (((Word)1 << left) - 1));
  *bitCount = left;
  *next = in;
  *windowPos = pos;
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
int DecodeSymbols(const DecodeEntry *literals, int lb, const DecodeEntry *distances, int db,
                  const FastTables *fast) {
  LOAD_STATE;
  if (!literals) {  // a lookup in a table without codes
    result = INFLATE_BAD_DATA;
    goto done;
  }
  for (;;) {
    const DecodeEntry *e;
    unsigned length, extra;
    uint32_t source;
    if (bitCount <= (unsigned)lb && end - next >= kFastInput && pos < kFastPosLimit) {
      if (sizeof(size_t) >= 8 && !g_narrowBitBuffer)
        DecodeFast<uint64_t>(fast, (unsigned)lb, &bitBuffer, &bitCount, &next, end, window, &pos);
      else
        DecodeFast<uint32_t>(fast, (unsigned)lb, &bitBuffer, &bitCount, &next, end, window, &pos);
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
    source = (uint32_t)pos - e->value - BITS(extra);
    DUMP(extra);

    // In chunks that end at the window's end, at the source and at the
    // destination; a window position of 32768 flushes it.
    while (length) {
      source &= kWindowSize - 1;
      unsigned chunk = kWindowSize - (source > pos ? source : pos);
      if (chunk > length) chunk = length;
      length -= chunk;
      CopyMatch(window, pos, source, chunk);
      pos += chunk;
      source += chunk;
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


int DecodeFixedBlock() {
  Inflater &z = g_inflater;
  if (!z.fixedLiteral) {
    unsigned lengths[288];
    unsigned i = 0;
    for (; i < 144; i++) lengths[i] = 8;
    for (; i < 256; i++) lengths[i] = 9;
    for (; i < 280; i++) lengths[i] = 7;
    for (; i < 288; i++) lengths[i] = 8;
    DecodeEntry *literal;
    int literalBits;
    int r = BuildDecodeTable(lengths, 288, 257, kLengthBase, kLengthExtra, 31, 7, &literal,
                             &literalBits);
    if (r) return r;
    for (i = 0; i < 30; i++) lengths[i] = 5;
    DecodeEntry *distance;
    int distanceBits;
    r = BuildDecodeTable(lengths, 30, 0, kDistanceBase, kDistanceExtra, 30, 5, &distance,
                         &distanceBits);
    if (r > 1) {
      FreeDecodeTable(literal);
      return r;
    }
    z.fixedLiteral = literal;
    z.fixedLiteralBits = literalBits;
    z.fixedDistance = distance;
    z.fixedDistanceBits = distanceBits;
    BuildFastTables(literal, literalBits, distance, distanceBits, &g_fastFixed);
  }
  return DecodeSymbols(z.fixedLiteral, z.fixedLiteralBits, z.fixedDistance, z.fixedDistanceBits,
                       &g_fastFixed);
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
  BuildFastTables(literal, literalBits, distance, distanceBits, &g_fastDynamic);
  r = DecodeSymbols(literal, literalBits, distance, distanceBits, &g_fastDynamic);
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
  z.windowPos = 0;
  int last = 0;
  do {
    int r = DecodeBlock(&last);
    if (r) return r;
  } while (!last);
  return Flush(z.window, z.windowPos);
}

unsigned InflateFetchCounter() { return g_inflater.fetchCounter; }

void InflateUseNarrowBitBuffer(int narrow) { g_narrowBitBuffer = narrow != 0; }

void InflateReleaseFixedTables() {
  FreeDecodeTable(g_inflater.fixedLiteral);
  FreeDecodeTable(g_inflater.fixedDistance);
  g_inflater.fixedLiteral = g_inflater.fixedDistance = NULL;
  g_inflater.fixedLiteralBits = g_inflater.fixedDistanceBits = 0;
}
