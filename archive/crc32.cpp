// The ZIP format's CRC-32, built chunk by chunk as a member is written.
//
// Eight bytes per step ("slicing by eight"): slice 0 is the standard
// reflected table; slice k carries a byte's contribution k bytes further, so
// that eight lookups give the register that eight single-byte steps give.
//
// One register's steps form a chain, each waiting for the last. Long buffers
// are therefore cut into groups of four consecutive lanes: the four lanes run
// side by side, the first from the running register and the others from 0,
// and are joined afterwards. The register update is linear, so the register
// after lane A then lane B is the register after A carried over a lane's
// length of zero bytes, XOR the register of B started from 0; a skip table
// applies that carry with four lookups. Long lanes run fastest; shorter ones
// serve what is left of a buffer.
#include "archive/crc32.h"

enum { kLongLane = 8192, kShortLane = 512, kLanes = 4 };

static uint32_t g_crcTable[8][256];
static uint32_t g_crcSkipLong[4][256], g_crcSkipShort[4][256];
static bool g_crcTableMissing = true;

// The skip table for lanes of laneBytes: the carry over that many zero bytes
// of each single register bit, and a register's carry as the XOR of its bits'.
static void BuildSkipTable(uint32_t skip[4][256], int laneBytes) {
  uint32_t bitCarry[32];
  for (int b = 0; b < 32; b++) {
    uint32_t c = 1u << b;
    for (int n = 0; n < laneBytes; n++) c = g_crcTable[0][c & 0xFF] ^ (c >> 8);
    bitCarry[b] = c;
  }
  for (int k = 0; k < 4; k++)
    for (uint32_t i = 0; i < 256; i++) {
      uint32_t c = 0;
      for (int b = 0; b < 8; b++)
        if (i >> b & 1) c ^= bitCarry[8 * k + b];
      skip[k][i] = c;
    }
}

static void BuildCrcTable() {
  for (uint32_t i = 0; i < 256; i++) {
    uint32_t c = i;
    for (int k = 0; k < 8; k++) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    g_crcTable[0][i] = c;
  }
  for (int k = 1; k < 8; k++)
    for (uint32_t i = 0; i < 256; i++) {
      uint32_t c = g_crcTable[k - 1][i];
      g_crcTable[k][i] = g_crcTable[0][c & 0xFF] ^ (c >> 8);
    }
  BuildSkipTable(g_crcSkipLong, kLongLane);
  BuildSkipTable(g_crcSkipShort, kShortLane);
  g_crcTableMissing = false;
}

// Four bytes as a little-endian value, whatever the machine's byte order and
// the pointer's alignment (compilers make one load of it where they can).
static inline uint32_t Le32At(const BYTE *p) {
  return (uint32_t)p[0] | (uint32_t)p[1] << 8 | (uint32_t)p[2] << 16 | (uint32_t)p[3] << 24;
}

// The register after the eight bytes at p.
static inline uint32_t Step8(uint32_t r, const BYTE *p) {
  const uint32_t(*t)[256] = g_crcTable;
  uint32_t lo = r ^ Le32At(p), hi = Le32At(p + 4);
  return (t[7][lo & 0xFF] ^ t[6][(lo >> 8) & 0xFF]) ^ (t[5][(lo >> 16) & 0xFF] ^ t[4][lo >> 24]) ^
         (t[3][hi & 0xFF] ^ t[2][(hi >> 8) & 0xFF]) ^ (t[1][(hi >> 16) & 0xFF] ^ t[0][hi >> 24]);
}

static inline uint32_t Skip(const uint32_t skip[4][256], uint32_t r) {
  return skip[0][r & 0xFF] ^ skip[1][(r >> 8) & 0xFF] ^ skip[2][(r >> 16) & 0xFF] ^ skip[3][r >> 24];
}

// The register after four lanes of laneBytes each, starting at p.
static inline uint32_t FourLanes(uint32_t r, const BYTE *p, int laneBytes,
                                 const uint32_t skip[4][256]) {
  uint32_t a = r, b = 0, c = 0, d = 0;
  for (int i = 0; i < laneBytes; i += 8) {
    a = Step8(a, p + i);
    b = Step8(b, p + laneBytes + i);
    c = Step8(c, p + 2 * laneBytes + i);
    d = Step8(d, p + 3 * laneBytes + i);
  }
  return Skip(skip, Skip(skip, Skip(skip, a) ^ b) ^ c) ^ d;
}

uint32_t Crc32Update(uint32_t crc, const BYTE *buffer, DWORD length) {
  if (g_crcTableMissing) BuildCrcTable();
  uint32_t r = ~crc;
  for (; length >= (DWORD)kLanes * kLongLane; length -= kLanes * kLongLane, buffer += kLanes * kLongLane)
    r = FourLanes(r, buffer, kLongLane, g_crcSkipLong);
  for (; length >= (DWORD)kLanes * kShortLane; length -= kLanes * kShortLane, buffer += kLanes * kShortLane)
    r = FourLanes(r, buffer, kShortLane, g_crcSkipShort);
  while (length >= 8) {
    r = Step8(r, buffer);
    buffer += 8;
    length -= 8;
  }
  while (length--) r = g_crcTable[0][(r ^ *buffer++) & 0xFF] ^ (r >> 8);
  return ~r;
}
