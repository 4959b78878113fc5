// bench_extract: the archive extraction's speed, side by side with zlib and
// libdeflate on the same data, and its peak memory; then the whole extract
// program against bsdtar -xf on the same archives.
//
//   build/bin/bench_extract [Google Benchmark flags]
//
// Everything runs on the host layer in a sandbox on tmpfs (/dev/shm, or
// $BENCH_TMP). The data is the machine's own program files (the Windows DLLs
// Wine ships, the system's executables and libraries) and data the program
// makes itself, the same on every run. After Google Benchmark's own table it
// prints a summary in MB/s (10^6 bytes a second, of uncompressed output) with
// the ratios and the targets.
#include <benchmark/benchmark.h>
#include <libdeflate.h>
#include <time.h>
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

#include "archive/crc32_paths.h"
#include "archive/extractor.h"
#include "archive/inflate.h"
#include "tests/support/inflate_hooks.h"
#include "archive/crc32.h"
#include "archive/output_sink.h"
#include "bench/corpus.h"
#include "bench/pipeline.h"
#include "bench/program_files.h"
#include "platform/host/winhost_test.h"
#include "platform/win.h"
#include "common/state.h"
#include "tests/support/host_program.h"

// ---- Heap accounting: every HeapAlloc of the program goes through here ----
//
// The link wraps the host layer's HeapAlloc and HeapFree by their C names
// (see bench/CMakeLists.txt), so the bytes the extraction holds on the heap,
// and their peak, are known exactly. The fixed buffers (window, input buffer,
// stored-copy buffer, CRC tables) are static and not counted.
namespace heap {
std::unordered_map<void *, size_t> live;
size_t current = 0, peak = 0;
unsigned long allocations = 0;
void ResetPeak() { peak = current; }
}  // namespace heap

extern "C" LPVOID __real_HeapAlloc(HANDLE heap, DWORD flags, SIZE_T bytes);
extern "C" BOOL __real_HeapFree(HANDLE heap, DWORD flags, LPVOID block);
extern "C" LPVOID __wrap_HeapAlloc(HANDLE h, DWORD flags, SIZE_T bytes) {
  LPVOID p = __real_HeapAlloc(h, flags, bytes);
  if (p) {
    heap::live[p] = bytes;
    heap::current += bytes;
    heap::allocations++;
    if (heap::current > heap::peak) heap::peak = heap::current;
  }
  return p;
}
extern "C" BOOL __wrap_HeapFree(HANDLE h, DWORD flags, LPVOID block) {
  auto it = heap::live.find(block);
  if (it != heap::live.end()) {
    heap::current -= it->second;
    heap::live.erase(it);
  }
  return __real_HeapFree(h, flags, block);
}

namespace {

const size_t kCorpusSize = 48u << 20;  // 50.3 MB
const char kSource[] = "C:\\SETUP";
const char kInstall[] = "C:\\Program Files\\Kelvorind\\TNM Verifier\\";

std::string g_base;     // the benchmark's folder on tmpfs
std::string g_sandbox;  // the host layer's root during the benchmarks
Bytes g_corpus;
uint32_t g_corpusCrc;
std::string g_programsFrom;  // where the real-program corpus came from

// Each kind of content for the member pipeline, and its stream file.
struct Kind {
  Workload w;
  std::string file;  // the streams, outside the sandbox
  const char *target;  // the target line printed with it, or NULL
};
std::vector<Kind> g_kinds;
struct ArchiveFile {
  std::string path;  // outside the sandbox
  size_t members, bytes;
};
std::map<std::string, ArchiveFile> g_archives;

void WriteFile(const std::string &path, const Bytes &data) {
  if (!WriteBytes(path, data)) {
    fprintf(stderr, "bench_extract: cannot write %s\n", path.c_str());
    exit(1);
  }
}

// A fresh sandbox with the named archive as C:\SETUP\data1.qv (a hard link:
// no copy, and no memory of this process spent on it).
void FreshSandbox(const std::string &root, const char *archive) {
  InflateReset();  // heap blocks do not survive a reset
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
void PipelineSetUp(const Kind &k) {
  FreshSandbox(g_sandbox, NULL);
  std::error_code ec;
  std::filesystem::create_hard_link(k.file, winhost::HostPath("C:\\stream.bin"), ec);
  if (ec) WriteFile(winhost::HostPath("C:\\stream.bin"), k.w.streams);
}

// ---- The member pipeline: decode, CRC-32, write, each member in turn ----

void BM_Pipeline(benchmark::State &state, size_t kind, int (*run)(HANDLE, HANDLE, const Workload &)) {
  const Kind &k = g_kinds[kind];
  PipelineSetUp(k);
  for (auto _ : state) {
    HANDLE in = OpenInput(), out = CreateOutput();
    int r = run(in, out, k.w);
    CloseHandle(in);
    CloseHandle(out);
    if (r) {
      state.SkipWithError("the pipeline failed or a CRC differs");
      break;
    }
  }
  state.SetBytesProcessed((int64_t)state.iterations() * (int64_t)k.w.raw.size());
}

// libdeflate: each member's stream in one read, one decompression into one
// buffer, libdeflate_crc32, one write.
int PipelineLibdeflate(HANDLE in, HANDLE out, const Workload &w) {
  static libdeflate_decompressor *d = libdeflate_alloc_decompressor();
  static Bytes input, output;
  for (const StreamSpan &s : w.spans) {
    if (input.size() < s.length) input.resize(s.length);
    if (output.size() < s.rawLength) output.resize(s.rawLength);
    DWORD got = 0, written = 0;
    LONG high = 0;
    if (SetFilePointer(in, (LONG)s.offset, &high, FILE_BEGIN) != s.offset) return 1;
    if (!ReadFile(in, input.data(), s.length, &got, NULL) || got != s.length) return 1;
    size_t produced = 0;
    if (libdeflate_deflate_decompress(d, input.data(), got, output.data(), s.rawLength, &produced) !=
        LIBDEFLATE_SUCCESS)
      return 1;
    if (libdeflate_crc32(0, output.data(), produced) != s.crc) return 1;
    if (!::WriteFile(out, output.data(), (DWORD)produced, &written, NULL) || written != produced) return 1;
  }
  return 0;
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
uint32_t TablesCrc(uint32_t c, const unsigned char *p, size_t n) { return Crc32ByTables(c, p, (DWORD)n); }
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
  HostCommand command;
  command.program = "/proc/self/exe";
  command.args = {"--extract-child", g_base, g_archives[archive].path};
  command.files = g_base + "/child-run";
  command.transcript = command.captureStderr = false;
  command.captureStdout = true;
  HostRun run = RunHostProgram(command);
  *childHeap = run.stdoutText;
  if (run.status != 0) return false;
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
  InflateReset();
  std::error_code ec;
  std::filesystem::remove_all(root, ec);
  return r;
}

double ratio(double a, double b) { return b > 0 ? a / b : 0; }
const char *verdict(bool met) { return met ? "met" : "NOT met"; }

void PrintSummary() {
  double ours = MBps("Pipeline/mixed/ours", g_corpus.size());
  double cOurs = MBps("Crc32Update", g_corpus.size()), cZlib = MBps("CrcZlib", g_corpus.size()),
         cLd = MBps("CrcLibdeflate", g_corpus.size()), cTables = MBps("Crc32ByTables", g_corpus.size());
  double xLarge = MBps("ExtractLarge", g_archives["large"].bytes);
  auto perMember = [](const char *name, const char *archive) {
    auto it = g_results.find(name);
    return it == g_results.end() ? 0 : it->second.seconds / g_archives[archive].members * 1e6;
  };
  double us1k = perMember("ExtractSmall1000", "small1000"), us10k = perMember("ExtractSmall10000", "small10000");

  printf("\nSummary (MB = 10^6 bytes of uncompressed output; medians of the repetitions)\n");
  printf("  real programs: %s\n", g_programsFrom.c_str());
  printf("  member pipeline, each kind of content (MB/s; raw DEFLATE by zlib level 6, one stream a member):\n");
  for (const Kind &k : g_kinds) {
    std::string base = std::string("Pipeline/") + k.w.name;
    size_t bytes = k.w.raw.size();
    double o = MBps((base + "/ours").c_str(), bytes), z = MBps((base + "/zlib").c_str(), bytes),
           l = MBps((base + "/libdeflate").c_str(), bytes);
    printf("    %-22s %6.1f MB %5zu members  ours %7.1f  zlib %7.1f  libdeflate %7.1f  ours/zlib %.3f"
           "  ours/libdeflate %.3f\n",
           k.w.name, bytes / 1e6, k.w.spans.size(), o, z, l, ratio(o, z), ratio(o, l));
    if (k.target)
      printf("      targets: ours/zlib >= 1.70: %s; ours/libdeflate >= 0.75 (aim 0.80): %s\n",
             verdict(ratio(o, z) >= 1.7), verdict(ratio(o, l) >= 0.75));
  }
  printf("  CRC-32           ours %8.1f MB/s   zlib %8.1f MB/s   libdeflate %8.1f MB/s   (ours by %s)\n",
         cOurs, cZlib, cLd, Crc32FoldingAvailable() ? "carry-less multiplication" : "the tables");
  if (Crc32FoldingAvailable())
    printf("    ours/zlib %.3f (target >= 2.00 with carry-less multiplication: %s)   ours/libdeflate %.3f\n",
           ratio(cOurs, cZlib), verdict(ratio(cOurs, cZlib) >= 2.0), ratio(cOurs, cLd));
  else
    printf("    ours/zlib %.3f (no carry-less multiplication here: no target)   ours/libdeflate %.3f\n",
           ratio(cOurs, cZlib), ratio(cOurs, cLd));
  printf("    the table path alone (every other processor): %.1f MB/s, %.3f of zlib's\n", cTables,
         ratio(cTables, cZlib));
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

  auto add = [](const char *name, const std::vector<ZipMember> &members) {
    ArchiveFile f{g_base + "/" + name + ".qv", members.size(), 0};
    for (const ZipMember &m : members) f.bytes += m.data.size();
    WriteFile(f.path, BuildZip(members));
    g_archives[name] = f;
  };
  // The corpus as the product's files: 16 members of 3 MiB in a few folders.
  std::vector<ZipMember> large;
  const size_t piece = 3u << 20;
  for (size_t at = 0, i = 0; at < g_corpus.size(); at += piece, i++) {
    ZipMember m;
    m.name = (i % 3 == 0 ? "bin/" : i % 3 == 1 ? "docs/" : "data/") + std::string("part") +
             std::to_string(i) + ".dat";
    m.data.assign(g_corpus.begin() + at, g_corpus.begin() + std::min(g_corpus.size(), at + piece));
    large.push_back(m);
  }
  add("large", large);
  // Many small files (100 bytes to 8 KiB), 20 to a folder in both archives,
  // so that only their number differs (the host layer looks names up by
  // reading the folder, which grows with the files in it); one in ten stored.
  for (size_t count : {1000u, 10000u}) {
    Random rng(count);
    std::vector<ZipMember> small;
    for (size_t i = 0; i < count; i++) {
      ZipMember m;
      m.name = "lib/group" + std::to_string(i % (count / 20)) + "/item" + std::to_string(i) + ".bin";
      AppendPiece(m.data, (PieceKind)rng.Below(kPieceKinds), 100 + rng.Below(8092), rng);
      m.method = rng.Below(10) == 0 ? 0 : 8;
      small.push_back(m);
    }
    add(count == 1000 ? "small1000" : "small10000", small);
    if (count == 1000) {
      // The same members 200 to a folder: only the folders' size differs.
      for (size_t i = 0; i < count; i++)
        small[i].name = "lib/group" + std::to_string(i / 200) + "/item" + std::to_string(i) + ".bin";
      add("small1000w", small);
      Workload w;
      w.name = "small members";
      for (const ZipMember &m : small) AddMember(&w, m.data.data(), m.data.size());
      g_kinds.push_back(Kind{w, "", NULL});
    }
  }
  std::vector<ZipMember> tiny(1);
  tiny[0].name = "readme.txt";
  Random rng(1);
  AppendPiece(tiny[0].data, kText, 2000, rng);
  add("tiny", tiny);

  // Real program files: the 32-bit Windows DLLs and programs Wine ships and
  // the system's own executables and libraries, about 50 MB, each a member.
  std::vector<ZipMember> programs;
  g_programsFrom = ProgramFiles({"/usr/lib/i386-linux-gnu/wine/i386-windows", "/usr/bin", "/usr/lib/x86_64-linux-gnu"},
                                {32u << 20, 8u << 20, 8u << 20}, &programs);
  if (!programs.empty()) {
    Workload w;
    w.name = "real programs";
    for (const ZipMember &m : programs) AddMember(&w, m.data.data(), m.data.size());
    g_kinds.insert(g_kinds.begin(), Kind{w, "", "targets"});
    add("programs", programs);
  }
  g_kinds.insert(g_kinds.begin() + (programs.empty() ? 0 : 1), Kind{SingleStream("mixed", g_corpus), "", "targets"});
  // Each kind the mixed corpus is made of, 16 MiB of it alone.
  static const char *kindNames[kPieceKinds] = {"text", "program-like", "incompressible", "repetitive"};
  for (int kind = 0; kind < kPieceKinds; kind++) {
    Random r(77 + kind);
    Bytes data;
    AppendPiece(data, (PieceKind)kind, 16u << 20, r);
    g_kinds.push_back(Kind{SingleStream(kindNames[kind], data), "", NULL});
  }
  for (size_t i = 0; i < g_kinds.size(); i++) {
    g_kinds[i].file = g_base + "/streams" + std::to_string(i) + ".bin";
    WriteFile(g_kinds[i].file, g_kinds[i].w.streams);
  }
}

// ---- The whole extract program against bsdtar -xf ----

double Now() {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec / 1e9;
}

// Runs argv with WINHOST_ROOT set to root (when given), output to /dev/null;
// the wall time from its start to its end, or -1 when it failed.
double TimeProcess(const std::vector<std::string> &argv, const std::string &root) {
  HostCommand command;
  command.program = argv[0];
  command.args.assign(argv.begin() + 1, argv.end());
  command.root = root;
  command.transcript = command.captureStderr = false;
  command.quiet = true;
  double start = Now();
  HostRun run = RunHostProgram(command);
  double t = Now() - start;
  return run.status == 0 ? t : -1;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

// Medians of alternating runs: extract, bsdtar, extract, bsdtar, ...; each
// into a fresh folder on the benchmark's tmpfs, cleared between runs (not
// timed). False when a run failed.
bool CompareWithBsdtar(const std::string &extract, const std::string &bsdtar, const char *archive,
                       int runs, double *ours, double *theirs) {
  std::string root = g_base + "/whole", out = g_base + "/bsdtar-out";
  std::vector<double> a, b;
  for (int i = 0; i < runs; i++) {
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    std::filesystem::create_directories(root + "/c/SETUP");
    std::filesystem::create_hard_link(g_archives[archive].path, root + "/c/SETUP/data1.qv", ec);
    if (ec) return false;
    double t = TimeProcess({extract, "C:\\SETUP", "data1.qv", "C:\\Program Files\\TNM Verifier"}, root);
    std::filesystem::remove_all(out, ec);
    std::filesystem::create_directories(out);
    double u = TimeProcess({bsdtar, "-xf", g_archives[archive].path, "-C", out}, "");
    if (t < 0 || u < 0) return false;
    a.push_back(t);
    b.push_back(u);
  }
  std::error_code ec;
  std::filesystem::remove_all(root, ec);
  std::filesystem::remove_all(out, ec);
  *ours = Median(a);
  *theirs = Median(b);
  return true;
}

void PrintWholeProcess(const char *self) {
  std::string extract = std::filesystem::path(self).parent_path() / "extract";
  std::string bsdtar;
  for (const char *p : {"/usr/bin/bsdtar", "/bin/bsdtar"})
    if (access(p, X_OK) == 0) bsdtar = p;
  printf("  whole process: build/bin/extract against bsdtar -xf, output on tmpfs, medians of alternating runs:\n");
  if (bsdtar.empty()) {
    printf("    skipped: bsdtar is not installed (Debian package libarchive-tools)\n");
    return;
  }
  if (access(extract.c_str(), X_OK) != 0) {
    printf("    skipped: %s is not built (cmake --build build --target extract)\n", extract.c_str());
    return;
  }
  struct Case {
    const char *archive, *label;
    int runs;
    bool perMember;
  };
  for (const Case &c : {Case{"programs", "real programs", 7, false}, Case{"large", "mixed", 7, false},
                        Case{"small1000", "small, 20 a folder", 11, true},
                        Case{"small1000w", "small, 200 a folder", 11, true}}) {
    if (!g_archives.count(c.archive)) {
      printf("    %-20s skipped: no such archive (no program files found)\n", c.label);
      continue;
    }
    const ArchiveFile &a = g_archives[c.archive];
    double ours = 0, theirs = 0;
    if (!CompareWithBsdtar(extract, bsdtar, c.archive, c.runs, &ours, &theirs)) {
      printf("    %-20s a run failed\n", c.label);
      continue;
    }
    if (c.perMember)
      printf("    %-20s %5.1f MB %5zu members: extract %6.1f us/member, bsdtar %6.1f us/member: %.3fx"
             " (target <= 1.05: %s)\n",
             c.label, a.bytes / 1e6, a.members, ours / a.members * 1e6, theirs / a.members * 1e6,
             ratio(ours, theirs), verdict(ratio(ours, theirs) <= 1.05));
    else
      printf("    %-20s %5.1f MB %5zu members: extract %7.1f ms, bsdtar %7.1f ms: %.3fx%s\n", c.label,
             a.bytes / 1e6, a.members, ours * 1e3, theirs * 1e3, ratio(ours, theirs),
             strcmp(c.archive, "programs") == 0
                 ? (ratio(ours, theirs) <= 0.75 ? " (target <= 0.75: met)" : " (target <= 0.75: NOT met)")
                 : "");
  }
}

}  // namespace

int main(int argc, char **argv) {
  if (argc == 4 && strcmp(argv[1], "--extract-child") == 0) return ExtractChild(argv[2], argv[3]);

  const char *tmp = getenv("BENCH_TMP");
  g_base = std::string(tmp && *tmp ? tmp : "/dev/shm") + "/tnm-bench-" + std::to_string(getpid());
  g_sandbox = g_base + "/sandbox";
  std::filesystem::create_directories(g_base);
  MakeData();
  // The CRC's first use asks the system which processor it runs on: the host
  // layer must be up before the first benchmark, whichever comes first.
  FreshSandbox(g_sandbox, NULL);
  Crc32FoldingAvailable();

  // Repetitions in random order, so that a busy machine spreads its noise
  // over every contender alike; flags given on the command line win.
  std::vector<char *> args(argv, argv + argc);
  std::string interleave = "--benchmark_enable_random_interleaving=true";
  std::string repetitions = "--benchmark_repetitions=5";
  args.insert(args.begin() + 1, &repetitions[0]);
  args.insert(args.begin() + 1, &interleave[0]);
  int n = (int)args.size();
  benchmark::Initialize(&n, args.data());

  std::vector<benchmark::internal::Benchmark *> all;
  for (size_t k = 0; k < g_kinds.size(); k++) {
    std::string base = std::string("Pipeline/") + g_kinds[k].w.name;
    all.push_back(benchmark::RegisterBenchmark((base + "/ours").c_str(), BM_Pipeline, k, PipelineOurs));
    all.push_back(benchmark::RegisterBenchmark((base + "/zlib").c_str(), BM_Pipeline, k, PipelineZlib));
    all.push_back(
        benchmark::RegisterBenchmark((base + "/libdeflate").c_str(), BM_Pipeline, k, PipelineLibdeflate));
  }
  for (benchmark::internal::Benchmark *b : {
      benchmark::RegisterBenchmark("Crc32Update", BM_Crc<OursCrc>),
      benchmark::RegisterBenchmark("Crc32ByTables", BM_Crc<TablesCrc>),
      benchmark::RegisterBenchmark("CrcZlib", BM_Crc<ZlibCrc>),
      benchmark::RegisterBenchmark("CrcLibdeflate", BM_Crc<LibdeflateCrc>),
      benchmark::RegisterBenchmark("ExtractLarge", BM_Extract, "large"),
      benchmark::RegisterBenchmark("ExtractSmall1000", BM_Extract, "small1000"),
      benchmark::RegisterBenchmark("ExtractSmall10000", BM_Extract, "small10000")})
    all.push_back(b);
  for (benchmark::internal::Benchmark *b : all) b->UseRealTime()->Unit(benchmark::kMillisecond);

  SummaryReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  PrintSummary();
  PrintWholeProcess(argv[0]);
  benchmark::Shutdown();

  InflateReset();
  std::error_code ec;
  std::filesystem::remove_all(g_base, ec);
  return 0;
}
