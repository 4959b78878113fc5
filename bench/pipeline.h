// The member pipeline as the benchmarks run it: raw DEFLATE streams read
// from one file through ReadFile, decoded, CRC-32 checked and written through
// WriteFile, by our Inflater or by zlib. Shared by bench_extract (host) and
// bench_pipeline (both builds), so that both measure the same work.
#ifndef BENCH_PIPELINE_H
#define BENCH_PIPELINE_H

#include <stdint.h>

#include <vector>

#include "bench/corpus.h"
#include "platform/win.h"

// One member's stream inside the workload's stream file, and its output.
struct StreamSpan {
  uint32_t offset, length;  // in the stream file
  uint32_t rawLength, crc;  // the decoded bytes and their CRC-32
};

// A kind of content, as members: the decoded bytes back to back, their raw
// DEFLATE streams back to back (zlib's default level, one per member), and
// where each member lies.
struct Workload {
  const char *name;
  Bytes raw, streams;
  std::vector<StreamSpan> spans;
};

// Packs the members (each its own stream) into a workload.
void AddMember(Workload *w, const unsigned char *data, size_t size);
// A workload of one member.
Workload SingleStream(const char *name, const Bytes &data);

// Every member in turn: seek to its stream, decode it into out (one file for
// all), compare its CRC. 0 when every member decoded and matched.
int PipelineOurs(HANDLE in, HANDLE out, const Workload &w);
// The same with zlib's raw inflate (inflateReset between members), input in
// 4096-byte reads, output through crc32 and WriteFile in 32768-byte pieces.
int PipelineZlib(HANDLE in, HANDLE out, const Workload &w);

#endif
