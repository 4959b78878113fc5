// Deterministic benchmark data: a mixed corpus of text, program-like binary,
// incompressible and highly repetitive pieces. Its DEFLATE streams and ZIP
// archives come from the tests' support library (tests/support/zip_builder.h).
#ifndef BENCH_CORPUS_H
#define BENCH_CORPUS_H

#include <stddef.h>
#include <stdint.h>

#include "tests/support/zip_builder.h"

enum PieceKind { kText, kProgram, kIncompressible, kRepetitive, kPieceKinds };

// A small, fast generator (xorshift64*) so that every run sees the same bytes.
struct Random {
  uint64_t state;
  explicit Random(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 1) {}
  uint32_t Next() {
    state ^= state >> 12;
    state ^= state << 25;
    state ^= state >> 27;
    return (uint32_t)((state * 0x2545F4914F6CDD1Dull) >> 32);
  }
  uint32_t Below(uint32_t n) { return (uint32_t)(((uint64_t)Next() * n) >> 32); }
};

// Appends size bytes of one kind.
void AppendPiece(Bytes &out, PieceKind kind, size_t size, Random &rng);

// About size bytes of pieces of 64 KiB to 1 MiB, the kinds mixed by weight
// (text and program code most, incompressible and repetitive less).
Bytes MixedCorpus(size_t size, uint64_t seed);

#endif
