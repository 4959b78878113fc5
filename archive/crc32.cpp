// The ZIP format's CRC-32, built chunk by chunk as a member is written.
//
// Eight bytes per step ("slicing by eight"): slice 0 is the standard
// reflected table; slice k carries a byte's contribution k bytes further, so
// that eight lookups give the register that eight single-byte steps give.
//
// One register's steps form a chain, each waiting for the last. Long buffers
// are therefore cut into groups of four consecutive lanes of kLaneBytes: the
// four lanes run side by side, the first from the running register and the
// others from 0, and are joined afterwards. The register update is linear, so
// the register after lane A then lane B is the register after A carried over
// kLaneBytes zero bytes, XOR the register of B started from 0; g_crcSkip
// applies that carry with four lookups.
#include "archive/output_sink.h"

enum { kLaneBytes = 1024, kLanes = 4 };

static uint32_t g_crcTable[8][256];
static uint32_t g_crcSkip[4][256];
static bool g_crcTableMissing = true;

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
  // The carry over kLaneBytes zero bytes of each single register bit; a
  // register's carry is the XOR of its bits' carries.
  uint32_t bitCarry[32];
  for (int b = 0; b < 32; b++) {
    uint32_t c = 1u << b;
    for (int n = 0; n < kLaneBytes; n++) c = g_crcTable[0][c & 0xFF] ^ (c >> 8);
    bitCarry[b] = c;
  }
  for (int k = 0; k < 4; k++)
    for (uint32_t i = 0; i < 256; i++) {
      uint32_t c = 0;
      for (int b = 0; b < 8; b++)
        if (i >> b & 1) c ^= bitCarry[8 * k + b];
      g_crcSkip[k][i] = c;
    }
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

static inline uint32_t Skip(uint32_t r) {
  return g_crcSkip[0][r & 0xFF] ^ g_crcSkip[1][(r >> 8) & 0xFF] ^ g_crcSkip[2][(r >> 16) & 0xFF] ^
         g_crcSkip[3][r >> 24];
}

uint32_t Crc32Update(uint32_t crc, const BYTE *buffer, DWORD length) {
  if (g_crcTableMissing) BuildCrcTable();
  uint32_t r = ~crc;
  while (length >= (DWORD)kLanes * kLaneBytes) {
    uint32_t a = r, b = 0, c = 0, d = 0;
    for (int i = 0; i < kLaneBytes; i += 8) {
      a = Step8(a, buffer + i);
      b = Step8(b, buffer + kLaneBytes + i);
      c = Step8(c, buffer + 2 * kLaneBytes + i);
      d = Step8(d, buffer + 3 * kLaneBytes + i);
    }
    r = Skip(Skip(Skip(a) ^ b) ^ c) ^ d;
    buffer += kLanes * kLaneBytes;
    length -= kLanes * kLaneBytes;
  }
  while (length >= 8) {
    r = Step8(r, buffer);
    buffer += 8;
    length -= 8;
  }
  while (length--) r = g_crcTable[0][(r ^ *buffer++) & 0xFF] ^ (r >> 8);
  return ~r;
}
