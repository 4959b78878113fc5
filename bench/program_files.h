// The real-program corpus: executables and libraries found on the machine,
// chosen the same way on every run from the same files.
#ifndef BENCH_PROGRAM_FILES_H
#define BENCH_PROGRAM_FILES_H

#include <string>
#include <vector>

#include "bench/corpus.h"

// Adds to members the regular files below each folder that begin as
// programs do (PE "MZ" or ELF), each of 16 KiB to 4 MiB: of each folder's
// sorted list, files spread evenly over it up to budgets[i] bytes. Returns a
// line that names how many files and bytes came from where.
std::string ProgramFiles(const std::vector<std::string> &folders, const std::vector<size_t> &budgets,
                         std::vector<ZipMember> *members);

#endif
