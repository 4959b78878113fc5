// The member pipeline, ours and zlib's, as the benchmarks run it.
#include "bench/pipeline.h"

#include <zlib.h>

#include <string.h>

#include "archive/inflate.h"
#include "archive/output_sink.h"

void AddMember(Workload *w, const unsigned char *data, size_t size) {
  Bytes member(data, data + size);
  Bytes packed = Deflate(member);
  StreamSpan s;
  s.offset = (uint32_t)w->streams.size();
  s.length = (uint32_t)packed.size();
  s.rawLength = (uint32_t)size;
  s.crc = (uint32_t)crc32(0, data, (uInt)size);
  w->spans.push_back(s);
  w->streams.insert(w->streams.end(), packed.begin(), packed.end());
  w->raw.insert(w->raw.end(), data, data + size);
}

Workload SingleStream(const char *name, const Bytes &data) {
  Workload w;
  w.name = name;
  AddMember(&w, data.data(), data.size());
  return w;
}

static bool SeekTo(HANDLE in, uint32_t offset) {
  LONG high = 0;
  return SetFilePointer(in, (LONG)offset, &high, FILE_BEGIN) == offset;
}

int PipelineOurs(HANDLE in, HANDLE out, const Workload &w) {
  for (const StreamSpan &s : w.spans) {
    if (!SeekTo(in, s.offset)) return 1;
    BeginOutput(out, 0xFFFFFFFF);
    if (InflateMember(in) || g_outputSink.crc != s.crc) return 1;
  }
  return 0;
}

int PipelineZlib(HANDLE in, HANDLE out, const Workload &w) {
  static unsigned char input[4096], window[32768];
  z_stream z;
  memset(&z, 0, sizeof z);
  if (inflateInit2(&z, -15) != Z_OK) return 1;
  bool ok = true;
  for (size_t i = 0; i < w.spans.size() && ok; i++) {
    const StreamSpan &s = w.spans[i];
    ok = SeekTo(in, s.offset) && inflateReset(&z) == Z_OK;
    uLong crc = crc32(0, NULL, 0);
    int zr = Z_OK;
    z.avail_in = 0;
    z.next_out = window;
    z.avail_out = sizeof window;
    while (zr != Z_STREAM_END && ok) {
      if (z.avail_in == 0) {
        DWORD got = 0;
        ok = ReadFile(in, input, sizeof input, &got, NULL) && got > 0;
        z.next_in = input;
        z.avail_in = got;
      }
      zr = inflate(&z, Z_NO_FLUSH);
      if (zr != Z_OK && zr != Z_STREAM_END) ok = false;
      if (z.avail_out == 0 || zr == Z_STREAM_END) {
        DWORD n = (DWORD)(sizeof window - z.avail_out), written = 0;
        crc = crc32(crc, window, n);
        if (n && (!WriteFile(out, window, n, &written, NULL) || written != n)) ok = false;
        z.next_out = window;
        z.avail_out = sizeof window;
      }
    }
    if (crc != s.crc) ok = false;
  }
  inflateEnd(&z);
  return ok ? 0 : 1;
}
