// The OutputSink: every decoded byte of a member passes through Flush, which
// keeps the member's CRC-32 and writes the bytes to its output file.
#ifndef ARCHIVE_OUTPUT_SINK_H
#define ARCHIVE_OUTPUT_SINK_H

#include <stdint.h>

#include "platform/win.h"

struct OutputSink {
  uint32_t crc;   // CRC-32 of every byte flushed for the current member
  HANDLE output;  // the current member's output file
};
extern OutputSink g_outputSink;

enum { FLUSH_WRITE_FAILED = 50 };

// Starts a member: its CRC from 0, its bytes into output.
void BeginOutput(HANDLE output);

// Adds count bytes to the running CRC, then writes them; 0 or 50.
int Flush(const BYTE *buffer, DWORD count);

#endif
