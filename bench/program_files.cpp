// The real-program corpus: programs found on the machine, chosen the same way each run.
#include "bench/program_files.h"

#include <string.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

const uintmax_t kSmallest = 16u << 10, kLargest = 4u << 20;

bool LooksLikeProgram(const fs::path &path) {
  std::ifstream in(path, std::ios::binary);
  char head[4] = {0, 0, 0, 0};
  in.read(head, 4);
  return (head[0] == 'M' && head[1] == 'Z') || memcmp(head, "\x7f" "ELF", 4) == 0;
}

}  // namespace

std::string ProgramFiles(const std::vector<std::string> &folders, const std::vector<size_t> &budgets,
                         std::vector<ZipMember> *members) {
  std::string description;
  for (size_t f = 0; f < folders.size(); f++) {
    struct Candidate {
      std::string path;
      uintmax_t size;
    };
    std::vector<Candidate> all;
    std::error_code ec;
    for (fs::directory_iterator it(folders[f], ec), end; !ec && it != end; it.increment(ec)) {
      std::error_code e2;
      if (!it->is_regular_file(e2) || it->is_symlink(e2)) continue;
      uintmax_t size = it->file_size(e2);
      if (e2 || size < kSmallest || size > kLargest) continue;
      all.push_back({it->path().string(), size});
    }
    std::sort(all.begin(), all.end(), [](const Candidate &a, const Candidate &b) { return a.path < b.path; });
    uintmax_t seen = 0, total = 0, taken = 0;
    size_t count = 0;
    for (const Candidate &c : all) total += c.size;
    // A file is taken whenever the share of the list walked so far asks for
    // more bytes than are taken: the choice spreads over the whole list.
    for (const Candidate &c : all) {
      uintmax_t due = total ? (uintmax_t)((double)seen / (double)total * (double)budgets[f]) : 0;
      seen += c.size;
      if (taken > due || taken + c.size > budgets[f] || !LooksLikeProgram(c.path)) continue;
      ZipMember m;
      m.name = "programs/" + std::to_string(f) + "/" + fs::path(c.path).filename().string();
      m.data = ReadBytes(c.path);
      if (m.data.size() != c.size) continue;
      taken += c.size;
      count++;
      members->push_back(m);
    }
    char line[512];
    snprintf(line, sizeof line, "%s%zu files, %.1f MB from %s", description.empty() ? "" : "; ", count,
             taken / 1e6, folders[f].c_str());
    description += line;
  }
  return description;
}
