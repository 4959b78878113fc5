// The OutputSink: the member's CRC-32 and its output file, set up once per
// member, fed by the stored copy and the inflater alike.
#include "archive/output_sink.h"

#include "archive/crc32.h"

OutputSink g_outputSink;

void BeginOutput(HANDLE output, DWORD size) {
  g_outputSink.crc = 0;
  g_outputSink.output = output;
  g_outputSink.room = size;
}

int Flush(const BYTE *buffer, DWORD count) {
  if (count > g_outputSink.room) return FLUSH_PAST_SIZE;
  g_outputSink.room -= count;
  // The CRC takes the bytes whatever the write's outcome.
  g_outputSink.crc = Crc32Update(g_outputSink.crc, buffer, count);
  if (count == 0) return 0;
  DWORD written = 0;
  if (!WriteFile(g_outputSink.output, buffer, count, &written, NULL) || written != count)
    return FLUSH_WRITE_FAILED;
  return 0;
}
