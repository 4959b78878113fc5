// bench_pipeline [FOLDER...]: the member pipeline (decode, CRC-32, write,
// each member in turn), our Inflater against zlib, on each kind of content,
// timed by a plain loop: rounds that alternate the two, the median of each.
// The real-program corpus is made of the program files (PE or ELF) in the
// folders given; without any, only the made-up kinds run. The same source is
// built by both builds: on Windows (bench_pipeline.exe, 32-bit, zlib linked
// statically) it measures the code generation the setup ships with, e.g.
//
//   wine build-win/bin/bench_pipeline.exe 'Z:\usr\lib\i386-linux-gnu\wine\i386-windows'
//
// and on the host (WINHOST_ROOT=/dev/shm/tnm build/bin/bench_pipeline
// /usr/lib/i386-linux-gnu/wine/i386-windows). Its files are written in the
// current folder: bench-streams.bin and bench-out.bin, removed at the end.
#include <stdio.h>
#include <string.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <vector>

#include "bench/corpus.h"
#include "bench/pipeline.h"
#include "bench/program_files.h"
#include "platform/win.h"

namespace {

const char kStreams[] = "bench-streams.bin";
const char kOutput[] = "bench-out.bin";
const int kRounds = 7;

bool WriteWhole(const char *name, const Bytes &data) {
  HANDLE h = CreateFileA(name, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (h == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(h, data.data(), (DWORD)data.size(), &written, NULL) && written == data.size();
  CloseHandle(h);
  return ok;
}

// Seconds for one pass of run over the workload; negative when it failed.
double TimeOnce(int (*run)(HANDLE, HANDLE, const Workload &), const Workload &w) {
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
  HANDLE in = CreateFileA(kStreams, GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, NULL);
  HANDLE out = CreateFileA(kOutput, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  int r = in == INVALID_HANDLE_VALUE || out == INVALID_HANDLE_VALUE ? 1 : run(in, out, w);
  CloseHandle(in);
  CloseHandle(out);
  std::chrono::duration<double> d = std::chrono::steady_clock::now() - start;
  return r ? -1 : d.count();
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Returns ours/zlib (0 when a run failed) after printing the kind's line.
double Measure(const Workload &w, double target) {
  if (!WriteWhole(kStreams, w.streams)) {
    printf("  %-16s cannot write %s\n", w.name, kStreams);
    return 0;
  }
  std::vector<double> ours, zlib;
  for (int i = 0; i < kRounds; i++) {
    double a = TimeOnce(PipelineOurs, w), b = TimeOnce(PipelineZlib, w);
    if (a <= 0 || b <= 0) {
      printf("  %-16s FAILED (a member did not decode or its CRC differs)\n", w.name);
      return 0;
    }
    ours.push_back(a);
    zlib.push_back(b);
  }
  double mb = w.raw.size() / 1e6, o = mb / Median(ours), z = mb / Median(zlib);
  printf("  %-16s %6.1f MB %5u members  ours %7.1f MB/s  zlib %7.1f MB/s  ours/zlib %.3f", w.name, mb,
         (unsigned)w.spans.size(), o, z, o / z);
  if (target > 0) printf("  (target >= %.2f: %s)", target, o / z >= target ? "met" : "NOT met");
  printf("\n");
  return o / z;
}

}  // namespace

int main(int argc, char **argv) {
  printf("bench_pipeline: %u-bit build; MB = 10^6 bytes of decoded output; medians of %d alternating rounds\n",
         (unsigned)(sizeof(void *) * 8), kRounds);
  fflush(stdout);
  std::vector<Workload> kinds;

  std::vector<std::string> folders(argv + 1, argv + argc);
  if (!folders.empty()) {
    std::vector<size_t> budgets(folders.size(), (48u << 20) / folders.size());
    std::vector<ZipMember> programs;
    printf("  real programs: %s\n", ProgramFiles(folders, budgets, &programs).c_str());
    Workload w;
    w.name = "real programs";
    for (const ZipMember &m : programs) AddMember(&w, m.data.data(), m.data.size());
    if (!programs.empty()) kinds.push_back(w);
  } else {
    printf("  real programs: skipped (no folder of program files given)\n");
  }
  kinds.push_back(SingleStream("mixed", MixedCorpus(48u << 20, 2024)));
  static const char *names[kPieceKinds] = {"text", "program-like", "incompressible", "repetitive"};
  for (int kind = 0; kind < kPieceKinds; kind++) {
    Random r(77 + kind);
    Bytes data;
    AppendPiece(data, (PieceKind)kind, 16u << 20, r);
    kinds.push_back(SingleStream(names[kind], data));
  }
  // Small members: 1,000 of 100 bytes to 8 KiB, of every kind.
  Workload small;
  small.name = "small members";
  Random rng(1000);
  for (int i = 0; i < 1000; i++) {
    Bytes data;
    AppendPiece(data, (PieceKind)rng.Below(kPieceKinds), 100 + rng.Below(8092), rng);
    rng.Below(10);  // the stored/deflated choice of the archive benchmark
    AddMember(&small, data.data(), data.size());
  }
  kinds.push_back(small);

  int failed = 0;
  for (const Workload &w : kinds) {
    // Targets: 1.7x zlib on the real programs and the mixed corpus with a
    // 64-bit bit buffer (the host, the 64-bit Windows build); 1.2x on the
    // real programs in the 32-bit build.
    bool real = strcmp(w.name, "real programs") == 0, mixed = strcmp(w.name, "mixed") == 0;
    double target = sizeof(void *) == 4 ? (real ? 1.2 : 0) : (real || mixed ? 1.7 : 0);
    if (Measure(w, target) <= 0) failed = 1;
    fflush(stdout);
  }
  DeleteFileA(kStreams);
  DeleteFileA(kOutput);
  return failed;
}
