// The deterministic benchmark data: the mixed corpus.
#include "bench/corpus.h"

namespace {

// Text: words of an invented vocabulary, Zipf-like in frequency, with
// punctuation and line ends, as in manuals and readme files.
void AppendText(Bytes &out, size_t size, Random &rng) {
  static std::vector<std::string> words;
  if (words.empty()) {
    static const char *syllables[] = {"ver", "ify", "sig", "na", "ture", "trust", "tol", "va",
                                      "mark", "ed", "the", "of", "and", "file", "check", "key",
                                      "in", "to", "set", "up", "ro", "man", "dis", "con"};
    Random w(99);
    for (int i = 0; i < 600; i++) {
      std::string s;
      for (int k = 1 + (int)w.Below(3); k > 0; k--) s += syllables[w.Below(24)];
      words.push_back(s);
    }
  }
  size_t end = out.size() + size, column = 0;
  while (out.size() < end) {
    // Small indexes are much more frequent than large ones.
    uint32_t r = rng.Below(600);
    const std::string &w = words[(r * r) / 600];
    for (char c : w) out.push_back((unsigned char)c);
    column += w.size() + 1;
    uint32_t p = rng.Below(40);
    if (p == 0) out.push_back('.');
    if (p == 1) out.push_back(',');
    if (column > 70) {
      out.push_back('\r');
      out.push_back('\n');
      column = 0;
    } else {
      out.push_back(' ');
    }
  }
  out.resize(end);
}

// Program-like: a handful of frequent opcodes, small immediates, addresses
// that stay near each other, and zero padding between routines.
void AppendProgram(Bytes &out, size_t size, Random &rng) {
  static const unsigned char opcodes[] = {0x8B, 0x89, 0xE8, 0x83, 0xFF, 0x50, 0x51, 0x55,
                                          0x5D, 0xC3, 0x74, 0x75, 0x85, 0x33, 0x6A, 0x68};
  size_t end = out.size() + size;
  uint32_t address = 0x00401000;
  while (out.size() < end) {
    uint32_t r = rng.Next();
    unsigned char op = opcodes[r & 15];
    out.push_back(op);
    switch (op) {
      case 0xE8:
      case 0x68:
        address += (r >> 8) % 512;
        for (int i = 0; i < 4; i++) out.push_back((unsigned char)(address >> (8 * i)));
        break;
      case 0x8B:
      case 0x89:
      case 0x83:
      case 0x85:
      case 0x33:
        out.push_back((unsigned char)(0x40 + ((r >> 8) & 0x3F)));
        if (op == 0x83) out.push_back((unsigned char)((r >> 16) & 0x1F));
        break;
      case 0x6A: out.push_back((unsigned char)((r >> 8) & 0x0F)); break;
      case 0xC3:
        for (uint32_t i = (r >> 8) % 12; i > 0; i--) out.push_back(0xCC);
        break;
      default: break;
    }
    if ((r >> 24) == 0) out.insert(out.end(), 256 + (r >> 16) % 768, 0);
  }
  out.resize(end);
}

void AppendIncompressible(Bytes &out, size_t size, Random &rng) {
  size_t start = out.size();
  out.resize(start + size);
  for (size_t i = 0; i < size; i += 4) {
    uint32_t r = rng.Next();
    for (size_t k = 0; k < 4 && i + k < size; k++) out[start + i + k] = (unsigned char)(r >> (8 * k));
  }
}

// Highly repetitive: long runs, short repeated patterns and repeated records.
void AppendRepetitive(Bytes &out, size_t size, Random &rng) {
  size_t end = out.size() + size;
  while (out.size() < end) {
    uint32_t r = rng.Next();
    size_t n = 64 + (r >> 8) % 4000;
    switch (r & 3) {
      case 0: out.insert(out.end(), n, (unsigned char)(r >> 4)); break;
      case 1:
      case 2: {
        unsigned period = 2 + (r >> 4) % 7;
        unsigned char pattern[8];
        for (unsigned i = 0; i < period; i++) pattern[i] = (unsigned char)rng.Next();
        for (size_t i = 0; i < n; i++) out.push_back(pattern[i % period]);
        break;
      }
      default: {
        static const char record[] = "[Entry]\r\nName=TNM Verifier\r\nValue=0\r\n";
        for (size_t i = 0; i < n; i++) out.push_back((unsigned char)record[i % (sizeof record - 1)]);
        break;
      }
    }
  }
  out.resize(end);
}

}  // namespace

void AppendPiece(Bytes &out, PieceKind kind, size_t size, Random &rng) {
  switch (kind) {
    case kText: AppendText(out, size, rng); break;
    case kProgram: AppendProgram(out, size, rng); break;
    case kIncompressible: AppendIncompressible(out, size, rng); break;
    default: AppendRepetitive(out, size, rng); break;
  }
}

Bytes MixedCorpus(size_t size, uint64_t seed) {
  Random rng(seed);
  Bytes out;
  out.reserve(size);
  while (out.size() < size) {
    uint32_t w = rng.Below(100);
    PieceKind kind = w < 35 ? kText : w < 70 ? kProgram : w < 85 ? kIncompressible : kRepetitive;
    size_t n = 65536 + rng.Below(1 << 20);
    if (n > size - out.size()) n = size - out.size();
    AppendPiece(out, kind, n, rng);
  }
  return out;
}
