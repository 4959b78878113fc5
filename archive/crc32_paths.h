// The two ways the CRC-32 runs over a buffer: eight bytes a step through
// tables, on every processor, and by carry-less multiplication (folding),
// where the processor has it. Crc32Update (crc32.h) picks one; each
// gives the same value as Crc32Update, from the same starting value.
#ifndef ARCHIVE_CRC32_PATHS_H
#define ARCHIVE_CRC32_PATHS_H

#include <stdint.h>

#include "platform/win.h"

// The table path: any length, any processor.
uint32_t Crc32ByTables(uint32_t crc, const BYTE *buffer, DWORD length);

// 1 when this processor multiplies without carries (PCLMULQDQ), has SSE2
// and the system saves the SSE registers; 0 otherwise. Asked once.
int Crc32FoldingAvailable();

// The folding path: any length (short ones go to the tables). Call it only
// where Crc32FoldingAvailable() is 1: it runs instructions an older
// processor does not have.
uint32_t Crc32ByFolding(uint32_t crc, const BYTE *buffer, DWORD length);

#endif
