// bench_extract: the archive extraction's speed, side by side with zlib and
// libdeflate on the same data, and its peak memory.
//
//   build/bin/bench_extract [Google Benchmark flags]
//
// Everything runs on the host layer in a sandbox on tmpfs (/dev/shm, or
// $BENCH_TMP). The data is made by the program itself, the same on every run.
// After Google Benchmark's own table it prints a summary in MB/s (10^6 bytes
// a second, of uncompressed output) with the ratios and the targets.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <sys/wait.h>
#include <unistd.h>
#include <zlib.h>

#include <string.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "archive/extractor.h"
#include "archive/inflate.h"
#include "archive/output_sink.h"
#include "bench/corpus.h"
#include "platform/host/winhost_test.h"
#include "platform/win.h"
#include "setup/state.h"

// ---- Heap accounting: every HeapAlloc of the program goes through here ----
//
// The link wraps the host layer's HeapAlloc and HeapFree (see
// bench/CMakeLists.txt), so the bytes the extraction holds on the heap, and
// their peak, are known exactly. The fixed buffers (window, input buffer,
// stored-copy buffer, CRC tables) are static and not counted.
namespace heap {
std::unordered_map<void *, size_t> live;
size_t current = 0, peak = 0;
unsigned long allocations = 0;
void ResetPeak() { peak = current; }
}  // namespace heap

extern "C" LPVOID __real__Z9HeapAllocPvjm(HANDLE heap, DWORD flags, SIZE_T bytes);
extern "C" BOOL __real__Z8HeapFreePvjS_(HANDLE heap, DWORD flags, LPVOID block);
extern "C" LPVOID __wrap__Z9HeapAllocPvjm(HANDLE h, DWORD flags, SIZE_T bytes) {
  LPVOID p = __real__Z9HeapAllocPvjm(h, flags, bytes);
  if (p) {
    heap::live[p] = bytes;
    heap::current += bytes;
    heap::allocations++;
    if (heap::current > heap::peak) heap::peak = heap::current;
  }
  return p;
}
extern "C" BOOL __wrap__Z8HeapFreePvjS_(HANDLE h, DWORD flags, LPVOID block) {
  auto it = heap::live.find(block);
  if (it != heap::live.end()) {
    heap::current -= it->second;
    heap::live.erase(it);
  }
  return __real__Z8HeapFreePvjS_(h, flags, block);
}

namespace {

const size_t kCorpusSize = 48u << 20;  // 50.3 MB
const char kSource[] = "C:\\SETUP";
const char kInstall[] = "C:\\Program Files\\Kelvorind\\TNM Verifier\\";

std::string g_base;     // the benchmark's folder on tmpfs
std::string g_sandbox;  // the host layer's root during the benchmarks
Bytes g_corpus, g_stream;
uint32_t g_corpusCrc;
struct ArchiveFile {
  std::string path;  // outside the sandbox
  size_t members, bytes;
};
std::map<std::string, ArchiveFile> g_archives;

void WriteFile(const std::string &path, const Bytes &data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(data.data()), (std::streamsize)data.size());
  if (!out) {
    fprintf(stderr, "bench_extract: cannot write %s\n", path.c_str());
    exit(1);
  }
}

// A fresh sandbox with the named archive as C:\SETUP\data1.qv (a hard link:
// no copy, and no memory of this process spent on it).
void FreshSandbox(const std::string &root, const char *archive) {
  InflateReleaseFixedTables();  // heap blocks do not survive a reset
  winhost::Reset(root.c_str());
  winhost::SetScript("auto yes\n");
  CreateDirectoryA(kSource, NULL);
  g_instance = GetModuleHandleA(NULL);
  InitCommonControls();
  if (archive) {
    std::string target = winhost::HostPath("C:\\SETUP\\data1.qv");
    std::error_code ec;
    std::filesystem::create_hard_link(g_archives[archive].path, target, ec);
    if (ec) std::filesystem::copy_file(g_archives[archive].path, target, ec);
    if (ec) {
      fprintf(stderr, "bench_extract: cannot place the archive: %s\n", ec.message().c_str());
      exit(1);
    }
  }
}

HANDLE OpenInput() {
  return CreateFileA("C:\\stream.bin", GENERIC_READ, FILE_SHARE_READ, NULL, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, NULL);
}
HANDLE CreateOutput() {
  return CreateFileA("C:\\out.bin", GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
}
void PipelineSetUp() {
  FreshSandbox(g_sandbox, NULL);
  WriteFile(winhost::HostPath("C:\\stream.bin"), g_stream);
}

// ---- The member pipeline: decode, CRC-32, write in 32 KiB pieces ----

void BM_PipelineOurs(benchmark::State &state) {
  PipelineSetUp();
  for (auto _ : state) {
    HANDLE in = OpenInput(), out = CreateOutput();
    g_outputSink.crc = 0;
    int r = InflateMember(in, out);
    CloseHandle(in);
    CloseHandle(out);
    if (r || g_outputSink.crc != g_corpusCrc) {
      state.SkipWithError("InflateMember failed or the CRC differs");
      break;
    }
  }
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)g_corpus.size());
}

// zlib's raw inflate with a 32 KiB window: input through ReadFile in 4096-byte
// pieces, output through crc32 and WriteFile in pieces of 32768 bytes.
void BM_PipelineZlib(benchmark::State &state) {
  PipelineSetUp();
  static unsigned char input[4096], window[32768];
  for (auto _ : state) {
    HANDLE in = OpenInput(), out = CreateOutput();
    z_stream z;
    memset(&z, 0, sizeof z);
    inflateInit2(&z, -15);
    uLong crc = crc32(0, NULL, 0);
    int zr = Z_OK;
    bool ok = true;
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
        if (n && (!::WriteFile(out, window, n, &written, NULL) || written != n)) ok = false;
        z.next_out = window;
        z.avail_out = sizeof window;
      }
    }
    inflateEnd(&z);
    CloseHandle(in);
    CloseHandle(out);
    if (!ok || crc != g_corpusCrc) {
      state.SkipWithError("zlib pipeline failed");
      break;
    }
  }
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)g_corpus.size());
}

// libdeflate: the whole stream in one read, one decompression into one
// buffer, libdeflate_crc32, one write.
void BM_PipelineLibdeflate(benchmark::State &state) {
  PipelineSetUp();
  Bytes input(g_stream.size()), output(g_corpus.size());
  libdeflate_decompressor *d = libdeflate_alloc_decompressor();
  for (auto _ : state) {
    HANDLE in = OpenInput(), out = CreateOutput();
    DWORD got = 0, written = 0;
    bool ok = ReadFile(in, input.data(), (DWORD)input.size(), &got, NULL) && got == input.size();
    size_t produced = 0;
    ok = ok && libdeflate_deflate_decompress(d, input.data(), got, output.data(), output.size(),
                                             &produced) == LIBDEFLATE_SUCCESS;
    uint32_t crc = libdeflate_crc32(0, output.data(), produced);
    ok = ok && ::WriteFile(out, output.data(), (DWORD)produced, &written, NULL) && written == produced;
    CloseHandle(in);
    CloseHandle(out);
    if (!ok || crc != g_corpusCrc) {
      state.SkipWithError("libdeflate pipeline failed");
      break;
    }
  }
  libdeflate_free_decompressor(d);
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)g_corpus.size());
}

// ---- CRC-32 over the corpus in 32 KiB pieces, as the OutputSink feeds it ----

template <uint32_t (*Crc)(uint32_t, const unsigned char *, size_t)>
void BM_Crc(benchmark::State &state) {
  for (auto _ : state) {
    uint32_t c = 0;
    for (size_t at = 0; at < g_corpus.size(); at += 32768)
      c = Crc(c, g_corpus.data() + at, std::min<size_t>(32768, g_corpus.size() - at));
    if (c != g_corpusCrc) {
      state.SkipWithError("CRC differs");
      break;
    }
  }
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)g_corpus.size());
}
uint32_t OursCrc(uint32_t c, const unsigned char *p, size_t n) { return Crc32Update(c, p, (DWORD)n); }
uint32_t ZlibCrc(uint32_t c, const unsigned char *p, size_t n) { return (uint32_t)crc32(c, p, (uInt)n); }
uint32_t LibdeflateCrc(uint32_t c, const unsigned char *p, size_t n) { return libdeflate_crc32(c, p, n); }

// ---- The whole ArchiveExtractor into the sandbox ----

void BM_Extract(benchmark::State &state, const char *archive) {
  const ArchiveFile &a = g_archives[archive];
  for (auto _ : state) {
    state.PauseTiming();
    FreshSandbox(g_sandbox, archive);  // every member is a new file each time
    heap::ResetPeak();
    state.ResumeTiming();
    int r = ArchiveExtractor(kSource, "data1.qv", kInstall, NULL);
    if (r) {
      state.SkipWithError("ArchiveExtractor failed");
      break;
    }
  }
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)a.bytes);
  state.counters["members"] = (double)a.members;
  state.counters["peak_heap_bytes"] = (double)heap::peak;
}

// ---- The summary ----

struct Result {
  double seconds = 0;  // median real time of one iteration
  double counter = 0;
};
std::map<std::string, Result> g_results;

class SummaryReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run> &runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
      bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
      bool single = run.run_type == Run::RT_Iteration && run.repetitions <= 1;
      if (!median && !single) continue;
      Result &r = g_results[run.run_name.function_name];
      r.seconds = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
      auto peak = run.counters.find("peak_heap_bytes");
      if (peak != run.counters.end()) r.counter = peak->second;
    }
  }
};

double MBps(const char *name, size_t bytes) {
  auto it = g_results.find(name);
  return it == g_results.end() || it->second.seconds <= 0 ? 0 : bytes / it->second.seconds / 1e6;
}

// Runs one extraction of the archive in a new process (this program again)
// and returns what it prints: its heap peak and its peak resident set.
bool ChildPeak(const char *archive, std::string *childHeap) {
  int fds[2];
  if (pipe(fds)) return false;
  pid_t pid = fork();
  if (pid == 0) {
    dup2(fds[1], 1);
    close(fds[0]);
    std::string base = g_base, path = g_archives[archive].path;
    execl("/proc/self/exe", "bench_extract", "--extract-child", base.c_str(), path.c_str(), (char *)NULL);
    _exit(127);
  }
  close(fds[1]);
  char buf[256];
  ssize_t n;
  childHeap->clear();
  while ((n = read(fds[0], buf, sizeof buf)) > 0) childHeap->append(buf, (size_t)n);
  close(fds[0]);
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status)) return false;
  while (!childHeap->empty() && childHeap->back() == '\n') childHeap->pop_back();
  return true;
}

// The process's peak resident set (VmHWM), in KiB. Read in the child itself:
// the resource usage a parent gets for a child also counts the parent's pages
// the child held between fork and exec.
long PeakResidentKiB() {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line))
    if (line.compare(0, 6, "VmHWM:") == 0) return atol(line.c_str() + 6);
  return -1;
}

// The child: one extraction, nothing else in memory.
int ExtractChild(const char *base, const char *archivePath) {
  std::string root = std::string(base) + "/child";
  g_archives["child"] = ArchiveFile{archivePath, 0, 0};
  FreshSandbox(root, "child");
  heap::ResetPeak();
  unsigned long before = heap::allocations;
  int r = ArchiveExtractor(kSource, "data1.qv", kInstall, NULL);
  printf("heap peak %zu bytes (%lu allocations in all), max RSS %ld KiB", heap::peak,
         heap::allocations - before, PeakResidentKiB());
  InflateReleaseFixedTables();
  std::error_code ec;
  std::filesystem::remove_all(root, ec);
  return r;
}

void PrintSummary() {
  const double n = (double)g_corpus.size();
  double ours = MBps("PipelineOurs", g_corpus.size()), zl = MBps("PipelineZlib", g_corpus.size()),
         ld = MBps("PipelineLibdeflate", g_corpus.size());
  double cOurs = MBps("Crc32Update", g_corpus.size()), cZlib = MBps("CrcZlib", g_corpus.size()),
         cLd = MBps("CrcLibdeflate", g_corpus.size());
  double xLarge = MBps("ExtractLarge", g_archives["large"].bytes);
  auto perMember = [](const char *name, const char *archive) {
    auto it = g_results.find(name);
    return it == g_results.end() ? 0 : it->second.seconds / g_archives[archive].members * 1e6;
  };
  double us1k = perMember("ExtractSmall1000", "small1000"), us10k = perMember("ExtractSmall10000", "small10000");
  auto ratio = [](double a, double b) { return b > 0 ? a / b : 0; };
  auto verdict = [](bool met) { return met ? "met" : "NOT met"; };

  printf("\nSummary (MB = 10^6 bytes of uncompressed output; medians of the repetitions)\n");
  printf("  corpus: %.1f MB mixed (text, program code, incompressible, repetitive), "
         "raw DEFLATE %.1f MB (zlib level 6)\n",
         n / 1e6, g_stream.size() / 1e6);
  printf("  member pipeline  ours %8.1f MB/s   zlib %8.1f MB/s   libdeflate %8.1f MB/s\n", ours, zl, ld);
  printf("    ours/zlib %.3f (target >= 1.00: %s)   ours/libdeflate %.3f\n", ratio(ours, zl),
         verdict(ratio(ours, zl) >= 1.0), ratio(ours, ld));
  printf("  CRC-32           ours %8.1f MB/s   zlib %8.1f MB/s   libdeflate %8.1f MB/s\n", cOurs, cZlib, cLd);
  printf("    ours/zlib %.3f (target >= 1.00: %s)   ours/libdeflate %.3f\n", ratio(cOurs, cZlib),
         verdict(ratio(cOurs, cZlib) >= 1.0), ratio(cOurs, cLd));
  printf("  whole extraction of %zu members, %.1f MB: %.1f MB/s, time %.2fx the member pipeline's "
         "(target <= 1.20: %s)\n",
         g_archives["large"].members, g_archives["large"].bytes / 1e6, xLarge, ratio(ours, xLarge),
         verdict(ratio(ours, xLarge) <= 1.2 && xLarge > 0));
  printf("  small members: %.1f us/member for 1,000, %.1f us/member for 10,000 (10,000 / 1,000: %.2f)\n",
         us1k, us10k, ratio(us10k, us1k));

  printf("  peak memory of one extraction, each in a process of its own (heap: HeapAlloc bytes held at\n"
         "  once beyond the fixed buffers; target < 1 MiB):\n");
  for (const char *a : {"tiny", "small10000", "large"}) {
    std::string text;
    if (!ChildPeak(a, &text)) text = "the extraction failed";
    printf("    %-10s %5.1f MB in %5zu members: %s\n", a, g_archives[a].bytes / 1e6,
           g_archives[a].members, text.c_str());
  }
}

void MakeData() {
  fprintf(stderr, "bench_extract: making the data ...\n");
  g_corpus = MixedCorpus(kCorpusSize, 2024);
  g_corpusCrc = (uint32_t)crc32(0, g_corpus.data(), (uInt)g_corpus.size());
  g_stream = DeflateDefault(g_corpus);

  auto add = [](const char *name, const std::vector<ArchiveMember> &members) {
    ArchiveFile f{g_base + "/" + name + ".qv", members.size(), 0};
    for (const ArchiveMember &m : members) f.bytes += m.data.size();
    WriteFile(f.path, BuildArchive(members));
    g_archives[name] = f;
  };
  // The corpus as the product's files: 16 members of 3 MiB in a few folders.
  std::vector<ArchiveMember> large;
  const size_t piece = 3u << 20;
  for (size_t at = 0, i = 0; at < g_corpus.size(); at += piece, i++) {
    ArchiveMember m;
    m.name = (i % 3 == 0 ? "bin/" : i % 3 == 1 ? "docs/" : "data/") + std::string("part") +
             std::to_string(i) + ".dat";
    m.data.assign(g_corpus.begin() + at, g_corpus.begin() + std::min(g_corpus.size(), at + piece));
    m.stored = false;
    large.push_back(m);
  }
  add("large", large);
  // Many small files (100 bytes to 8 KiB), 20 to a folder in both archives,
  // so that only their number differs (the host layer looks names up by
  // reading the folder, which grows with the files in it); one in ten stored.
  for (size_t count : {1000u, 10000u}) {
    Random rng(count);
    std::vector<ArchiveMember> small;
    for (size_t i = 0; i < count; i++) {
      ArchiveMember m;
      m.name = "lib/group" + std::to_string(i % (count / 20)) + "/item" + std::to_string(i) + ".bin";
      AppendPiece(m.data, (PieceKind)rng.Below(kPieceKinds), 100 + rng.Below(8092), rng);
      m.stored = rng.Below(10) == 0;
      small.push_back(m);
    }
    add(count == 1000 ? "small1000" : "small10000", small);
  }
  std::vector<ArchiveMember> tiny(1);
  tiny[0].name = "readme.txt";
  Random rng(1);
  AppendPiece(tiny[0].data, kText, 2000, rng);
  tiny[0].stored = false;
  add("tiny", tiny);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 4 && strcmp(argv[1], "--extract-child") == 0) return ExtractChild(argv[2], argv[3]);

  const char *tmp = getenv("BENCH_TMP");
  g_base = std::string(tmp && *tmp ? tmp : "/dev/shm") + "/tnm-bench-" + std::to_string(getpid());
  g_sandbox = g_base + "/sandbox";
  std::filesystem::create_directories(g_base);
  MakeData();

  // Repetitions in random order, so that a busy machine spreads its noise
  // over every contender alike; flags given on the command line win.
  std::vector<char *> args(argv, argv + argc);
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  std::string repetitions = "--benchmark_repetitions=5";
  args.insert(args.begin() + 1, &repetitions[0]);
  args.insert(args.begin() + 1, &interleave[0]);
  int n = (int)args.size();
  benchmark::Initialize(&n, args.data());

  std::vector<benchmark::internal::Benchmark *> all = {
      benchmark::RegisterBenchmark("PipelineOurs", BM_PipelineOurs),
      benchmark::RegisterBenchmark("PipelineZlib", BM_PipelineZlib),
      benchmark::RegisterBenchmark("PipelineLibdeflate", BM_PipelineLibdeflate),
      benchmark::RegisterBenchmark("Crc32Update", BM_Crc<OursCrc>),
      benchmark::RegisterBenchmark("CrcZlib", BM_Crc<ZlibCrc>),
      benchmark::RegisterBenchmark("CrcLibdeflate", BM_Crc<LibdeflateCrc>),
      benchmark::RegisterBenchmark("ExtractLarge", BM_Extract, "large"),
      benchmark::RegisterBenchmark("ExtractSmall1000", BM_Extract, "small1000"),
      benchmark::RegisterBenchmark("ExtractSmall10000", BM_Extract, "small10000")};
  for (benchmark::internal::Benchmark *b : all) b->UseRealTime()->Unit(benchmark::kMillisecond);

  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintSummary();
  benchmark::Shutdown();

  InflateReleaseFixedTables();
  std::error_code ec;
  std::filesystem::remove_all(g_base, ec);
  return 0;
}
