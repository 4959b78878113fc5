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
//   careful path  DecodeSymbols: each request as the format makes it, and the
//                 fast path (inflate_fast.cpp) wherever it may run
//   blocks        fixed and dynamic blocks, the block header, the member
#include "archive/inflate.h"

#include <string.h>

#include "archive/decode_table.h"
#include "archive/inflate_fast.h"
#include "archive/output_sink.h"
#include "archive/progress.h"

namespace {

const DWORD kInputSize = 4096;
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
      DecodeFastPath((unsigned)lb, &bitBuffer, &bitCount, &next, end, window, &pos);
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

// The inflater's result for a code set that could not be used: an
// incomplete one where the format wants it complete is invalid data, an
// over-subscribed one a bad code.
int TableFailure(int built) {
  switch (built) {
    case DECODE_TABLE_COMPLETE: return INFLATE_OK;
    case DECODE_TABLE_INCOMPLETE: return INFLATE_BAD_DATA;
    case DECODE_TABLE_OVERSUBSCRIBED: return INFLATE_BAD_CODE;
    default: return INFLATE_NO_MEMORY;
  }
}

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
    if (r != DECODE_TABLE_COMPLETE) return TableFailure(r);
    DecodeEntry *distance;
    int distanceBits;
    r = BuildDecodeTable(lengths + 288, 30, 0, kDistanceBase, kDistanceExtra, 30, 5, &distance,
                         &distanceBits);
    if (r != DECODE_TABLE_COMPLETE && r != DECODE_TABLE_INCOMPLETE) {  // 30 of 32 codes
      FreeDecodeTable(literal);
      return TableFailure(r);
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

// Reads the code lengths of a dynamic block into lengths: *nl literal/length
// codes, then *nd distance codes.
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
  if (result == DECODE_TABLE_INCOMPLETE) FreeDecodeTable(table);
  if (result != DECODE_TABLE_COMPLETE) {
    result = TableFailure(result);
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
  if (r == DECODE_TABLE_INCOMPLETE) FreeDecodeTable(literal);
  if (r != DECODE_TABLE_COMPLETE) return TableFailure(r);
  r = BuildDecodeTable(lengths + nl, nd, 0, kDistanceBase, kDistanceExtra, 30,
                       kDistanceLookupBits, &distance, &distanceBits);
  if (r != DECODE_TABLE_COMPLETE && r != DECODE_TABLE_INCOMPLETE) {  // an incomplete one serves
    FreeDecodeTable(literal);
    return TableFailure(r);
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

int InflateMember(HANDLE archive) {
  Inflater &z = g_inflater;
  z.archive = archive;
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

unsigned InflateFetchCounter();
void InflateUseNarrowBitBuffer(int narrow);
void InflateReset();

unsigned InflateFetchCounter() { return g_inflater.fetchCounter; }

void InflateUseNarrowBitBuffer(int narrow) { g_narrowBitBuffer = narrow != 0; }

// The hooks of tests/support/inflate_hooks.h, which only tests include.
void InflateReset() {
  g_narrowBitBuffer = false;
  if (g_fastHolds == kFastHoldsFixed) g_fastHolds = kFastHoldsNothing;
  FreeDecodeTable(g_inflater.fixedLiteral);
  FreeDecodeTable(g_inflater.fixedDistance);
  g_inflater.fixedLiteral = g_inflater.fixedDistance = NULL;
  g_inflater.fixedLiteralBits = g_inflater.fixedDistanceBits = 0;
}
