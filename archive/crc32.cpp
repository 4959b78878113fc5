// The ZIP format's CRC-32, built chunk by chunk as a member is written.
#include "archive/output_sink.h"

static uint32_t g_crcTable[256];
static bool g_crcTableMissing = true;

static void BuildCrcTable() {
  for (uint32_t i = 0; i < 256; i++) {
    uint32_t c = i;
    for (int k = 0; k < 8; k++) c = (c & 1) ? (c >> 1) ^ 0xEDB88320u : c >> 1;
    g_crcTable[i] = c;
  }
  g_crcTableMissing = false;
}

uint32_t Crc32Update(uint32_t crc, const BYTE *buffer, DWORD length) {
  if (g_crcTableMissing) BuildCrcTable();
  uint32_t r = ~crc;
#define CRC_STEP r = g_crcTable[(r ^ *buffer++) & 0xFF] ^ (r >> 8)
  while (length >= 8) {
    CRC_STEP; CRC_STEP; CRC_STEP; CRC_STEP;
    CRC_STEP; CRC_STEP; CRC_STEP; CRC_STEP;
    length -= 8;
  }
  while (length--) CRC_STEP;
#undef CRC_STEP
  return ~r;
}
