// The OutputSink: every decoded byte of a member passes through Flush, which
// keeps the member's CRC-32 and writes the bytes to its output file.
#ifndef ARCHIVE_OUTPUT_SINK_H
#define ARCHIVE_OUTPUT_SINK_H

#include <stdint.h>

#include "platform/win.h"

struct OutputSink {
  uint32_t crc;   // CRC-32 of every byte flushed for the current member
  HANDLE output;  // the current member's output file
  DWORD room;     // how many more bytes the member's header lets it write
};
extern OutputSink g_outputSink;

enum { FLUSH_WRITE_FAILED = 50, FLUSH_PAST_SIZE = 51 };

// Starts a member: its CRC from 0, its bytes into output, at most size of
// them (the size its header announces).
void BeginOutput(HANDLE output, DWORD size);

// Adds count bytes to the running CRC, then writes them; 0, or
// FLUSH_WRITE_FAILED, or FLUSH_PAST_SIZE when they would take the member past
// its announced size (nothing of them is written: a member that grows
// beyond what its header says is refused at its first byte too many).
int Flush(const BYTE *buffer, DWORD count);

#endif
