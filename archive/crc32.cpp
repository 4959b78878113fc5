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
//
// Where the processor multiplies without carries, buffers of 64 bytes and
// more take the folding path instead (crc32_fold.cpp); the tables finish it.
#include "archive/crc32.h"
#include "archive/crc32_paths.h"

enum { kLongLane = 8192, kShortLane = 512, kLanes = 4, kFoldingFrom = 64 };

static uint32_t g_crcTable[8][256];
static uint32_t g_crcSkipLong[4][256], g_crcSkipShort[4][256];
static bool g_crcTableMissing = true, g_crcSkipMissing = true;
static int g_crcFolding;

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

// Whether the folding path may run here: CPUID (asked by hand; the
// runtime's own detection is large) must report carry-less multiplication
// (leaf 1, ECX bit 1) and SSE2 (EDX bit 26), and the system must save the SSE
// registers across task switches, which only it can tell. Windows 95 has no
// IsProcessorFeaturePresent, so there the tables stay.
static int ProcessorCanFold() {
#if defined(__GNUC__) && (defined(__i386__) || defined(__x86_64__))
#if defined(__i386__)
  // A processor without CPUID (a 386, most 486s) keeps the ID flag, bit 21
  // of EFLAGS, from changing.
  unsigned before, after;
  __asm__ volatile(
      "pushfl\n\tpopl %0\n\tmovl %0, %1\n\txorl $0x200000, %1\n\tpushl %1\n\tpopfl\n\t"
      "pushfl\n\tpopl %1\n\tpushl %0\n\tpopfl"
      : "=&r"(before), "=&r"(after));
  if (((before ^ after) & 0x200000u) == 0) return 0;
#endif
  unsigned a, b, c, d;
  __asm__ volatile("cpuid" : "=a"(a), "=b"(b), "=c"(c), "=d"(d) : "a"(0u), "c"(0u));
  if (a < 1) return 0;
  __asm__ volatile("cpuid" : "=a"(a), "=b"(b), "=c"(c), "=d"(d) : "a"(1u), "c"(0u));
  if (!(c & 2u) || !(d & (1u << 26))) return 0;
  typedef BOOL(WINAPI * FeatureQuery)(DWORD);
  HMODULE kernel = GetModuleHandleA("kernel32");
  if (!kernel) return 0;
  FeatureQuery query =
      (FeatureQuery)(void (*)(void))GetProcAddress(kernel, "IsProcessorFeaturePresent");
  return query && query(PF_XMMI64_INSTRUCTIONS_AVAILABLE) ? 1 : 0;
#else
  return 0;
#endif
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
  g_crcFolding = ProcessorCanFold();
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

uint32_t Crc32ByTables(uint32_t crc, const BYTE *buffer, DWORD length) {
  if (g_crcTableMissing) BuildCrcTable();
  // The skip tables take a while to build: only where lanes will run (with
  // carry-less multiplication, the tables see only short pieces).
  if (g_crcSkipMissing && length >= (DWORD)kLanes * kShortLane) {
    BuildSkipTable(g_crcSkipLong, kLongLane);
    BuildSkipTable(g_crcSkipShort, kShortLane);
    g_crcSkipMissing = false;
  }
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

int Crc32FoldingAvailable() {
  if (g_crcTableMissing) BuildCrcTable();
  return g_crcFolding;
}

uint32_t Crc32Update(uint32_t crc, const BYTE *buffer, DWORD length) {
  if (g_crcTableMissing) BuildCrcTable();
  if (g_crcFolding && length >= kFoldingFrom) return Crc32ByFolding(crc, buffer, length);
  return Crc32ByTables(crc, buffer, length);
}
