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
#define LIKELY(c) __builtin_expect(!!(c), 1)
#define ALWAYS_INLINE inline __attribute__((always_inline))
#else
#define LIKELY(c) (c)
#define ALWAYS_INLINE inline
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

// Copies n bytes (n > 0) from s to d within the window, lowest byte first,
// with the result of a byte-by-byte copy: where the source lies less than n
// bytes below the destination, each byte is read after the one d - s before
// it was written.
static ALWAYS_INLINE void CopyMatchChunk(BYTE *d, const BYTE *s, unsigned n) {
  if (s > d) {
    // The destination below the source: a lowest-first copy in eight-byte
    // steps reads every byte before it is overwritten.
    for (; n >= 8; n -= 8, d += 8, s += 8) Copy8(d, s);
    while (n--) *d++ = *s++;
    return;
  }
  size_t gap = (size_t)(d - s);
  if (gap == 0) return;  // distance 32768: each byte onto itself
  if (gap < 8) {
    // A short period: copy bytes one by one until the pattern spans a whole
    // number of periods of at least eight bytes, then read that far back,
    // where the same bytes stand.
    unsigned period = (unsigned)gap;
    unsigned reach = period * ((8 + period - 1) / period);
    unsigned head = reach - period;
    if (head > n) head = n;
    n -= head;
    while (head--) *d++ = *s++;
    s = d - reach;
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
  } else if (n) {
    d[0] = s[0];
    d[n / 2] = s[n / 2];
    d[n - 1] = s[n - 1];
  }
}

// NEED for where the InputBuffer is known to hold the bytes: no end test.
#define NEED_HELD(n)                            \
  while (bitCount < (unsigned)(n)) {            \
    bitBuffer |= (uint32_t)*next++ << bitCount; \
    bitCount += 8;                              \
  }

// The most bytes one symbol (code, extra bits, distance code, extra bits) can
// fetch: 48 bits consumed plus a lookup's width, rounded well up.
const ptrdiff_t kSymbolInput = 16;

// From a root entry e through its sub-tables to the final entry, whose bits
// are then consumed; an invalid code ends the block with 1.
#define FOLLOW_LINKS(GET)                  \
  while (e->op > DECODE_OP_SIMPLE) {       \
    if (e->op == DECODE_OP_INVALID) {      \
      result = INFLATE_BAD_DATA;           \
      goto done;                           \
    }                                      \
    DUMP(e->bits);                         \
    extra = e->op - DECODE_OP_LINK_BASE;   \
    GET(extra);                            \
    e = e->link + BITS(extra);             \
  }                                        \
  DUMP(e->bits)

// One literal/length symbol with its distance, bits requested through GET
// (NEED or NEED_HELD); a literal continues and the end of block breaks the
// loop around it.
#define DECODE_SYMBOL(GET)                                           \
  {                                                                  \
    const DecodeEntry *e;                                            \
    unsigned length, extra;                                          \
    uint32_t source;                                                 \
    GET(lb);                                                         \
    e = literals + (bitBuffer & literalMask);                        \
    if (e->op == DECODE_OP_SIMPLE) {                                 \
      DUMP(e->bits);                                                 \
      PUT_BYTE(e->value);                                            \
      continue;                                                      \
    }                                                                \
    FOLLOW_LINKS(GET);                                               \
    if (e->op == DECODE_OP_SIMPLE) {                                 \
      PUT_BYTE(e->value);                                            \
      continue;                                                      \
    }                                                                \
    if (e->op == DECODE_OP_END_OF_BLOCK) break;                      \
                                                                     \
    extra = e->op;                                                   \
    GET(extra);                                                      \
    length = e->value + BITS(extra);                                 \
    DUMP(extra);                                                     \
                                                                     \
    if (!distances) {                                                \
      result = INFLATE_BAD_DATA;                                     \
      goto done;                                                     \
    }                                                                \
    GET(db);                                                         \
    e = distances + (bitBuffer & distanceMask);                      \
    FOLLOW_LINKS(GET);                                               \
    extra = e->op;                                                   \
    GET(extra);                                                      \
    source = (uint32_t)pos - e->value - BITS(extra);                 \
    DUMP(extra);                                                     \
                                                                     \
    /* In chunks that end at the window's end, at the source and at  \
       the destination; a window position of 32768 flushes it. */    \
    while (length) {                                                 \
      source &= kWindowSize - 1;                                     \
      unsigned chunk = kWindowSize - (source > pos ? source : pos);  \
      if (chunk > length) chunk = length;                            \
      length -= chunk;                                               \
      CopyMatchChunk(window + pos, window + source, chunk);          \
      pos += chunk;                                                  \
      source += chunk;                                               \
      if (pos == kWindowSize) {                                      \
        pos = 0;                                                     \
        FLUSH_WINDOW;                                                \
      }                                                              \
    }                                                                \
  }

// Decodes literal/length and distance codes up to the end-of-block code.
// Symbols that start with enough bytes in the InputBuffer are decoded
// without the end-of-buffer test; the others take the same steps with it.
int DecodeSymbols(const DecodeEntry *literals, int lb, const DecodeEntry *distances, int db) {
  LOAD_STATE;
  const uint32_t literalMask = kBitMask[lb], distanceMask = kBitMask[db];
  if (!literals) {  // a lookup in a table without codes
    result = INFLATE_BAD_DATA;
    goto done;
  }
  for (;;) {
    if (LIKELY(end - next >= kSymbolInput))
      DECODE_SYMBOL(NEED_HELD)
    else
      DECODE_SYMBOL(NEED)
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
  z.windowPos = 0;
  int last = 0;
  do {
    int r = DecodeBlock(&last);
    if (r) return r;
  } while (!last);
  return Flush(z.window, z.windowPos);
}

unsigned InflateFetchCounter() { return g_inflater.fetchCounter; }

void InflateReleaseFixedTables() {
  FreeDecodeTable(g_inflater.fixedLiteral);
  FreeDecodeTable(g_inflater.fixedDistance);
  g_inflater.fixedLiteral = g_inflater.fixedDistance = NULL;
  g_inflater.fixedLiteralBits = g_inflater.fixedDistanceBits = 0;
}
