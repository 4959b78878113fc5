// The ZIP CRC-32 (reflected polynomial 0xEDB88320, preset and result
// complemented).
#ifndef ARCHIVE_CRC32_H
#define ARCHIVE_CRC32_H

#include <stdint.h>

#include "platform/win.h"

// Continues a CRC-32 over further bytes; start a new value from 0.
uint32_t Crc32Update(uint32_t crc, const BYTE *buffer, DWORD length);

#endif
