// Shared pieces of the archive tests: a sandbox with files written and read
// through the host paths, raw DEFLATE streams made by zlib, and a bit writer
// for hand-made streams.
#ifndef TESTS_HOST_ARCHIVE_FIXTURE_H
#define TESTS_HOST_ARCHIVE_FIXTURE_H

#include <gtest/gtest.h>
#include <zlib.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "platform/host/winhost_test.h"
#include "platform/win.h"
#include "tests/host/sandbox.h"

typedef std::vector<unsigned char> Bytes;

inline void WriteHostFile(const char *winpath, const Bytes &data) {
  std::ofstream out(winhost::HostPath(winpath), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(data.data()), (std::streamsize)data.size());
}

inline Bytes ReadHostFile(const char *winpath) {
  std::ifstream in(winhost::HostPath(winpath), std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Raw DEFLATE (no zlib header) of data at a level and strategy.
inline Bytes Deflate(const Bytes &data, int level, int strategy) {
  z_stream z = {};
  EXPECT_EQ(Z_OK, deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy));
  Bytes out(deflateBound(&z, (uLong)data.size()) + 16);
  z.next_in = const_cast<Bytef *>(data.data());
  z.avail_in = (uInt)data.size();
  z.next_out = out.data();
  z.avail_out = (uInt)out.size();
  EXPECT_EQ(Z_STREAM_END, deflate(&z, Z_FINISH));
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

inline uint32_t ZlibCrc(const Bytes &data) {
  return (uint32_t)crc32(0, data.data(), (uInt)data.size());
}

// Test data of a few kinds, made deterministically.
enum DataKind { kText, kBinary, kRandom, kRepetitive };
inline Bytes MakeData(DataKind kind, size_t size, unsigned seed = 7) {
  std::mt19937 rng(seed);
  Bytes d(size);
  static const char *words[] = {"signature ", "verifier ", "trust ", "the ", "file ",
                                "TolvaMarked ", "checks ", "a ", "of ", "\r\n"};
  size_t i = 0;
  switch (kind) {
    case kText:
      while (i < size) {
        const char *w = words[rng() % 10];
        for (; *w && i < size; w++) d[i++] = (unsigned char)*w;
      }
      break;
    case kBinary:  // program-like: small integers, repeated opcodes, offsets
      for (; i < size; i++) {
        unsigned r = rng();
        d[i] = (unsigned char)(r % 7 == 0 ? (r >> 8) : r % 3 == 0 ? 0 : (i * 4) & 0xFF);
      }
      break;
    case kRandom:
      for (; i < size; i++) d[i] = (unsigned char)rng();
      break;
    case kRepetitive:
      for (; i < size; i++) d[i] = (unsigned char)("ab"[(i / 1000) % 2] + (i % 3 == 0));
      break;
  }
  return d;
}

// Writes bits least significant first, as DEFLATE reads them; Huffman codes
// go most significant bit first.
struct BitWriter {
  Bytes bytes;
  unsigned bitCount = 0;
  void Bits(unsigned value, unsigned n) {
    for (unsigned i = 0; i < n; i++) {
      if (bitCount % 8 == 0) bytes.push_back(0);
      bytes.back() |= ((value >> i) & 1) << (bitCount % 8);
      bitCount++;
    }
  }
  void Code(unsigned code, unsigned length) {
    for (unsigned i = 0; i < length; i++) Bits((code >> (length - 1 - i)) & 1, 1);
  }
  void Align() { bitCount = (unsigned)bytes.size() * 8; }
  // A fixed-code literal/length symbol.
  void FixedSymbol(unsigned sym) {
    if (sym < 144) Code(0x30 + sym, 8);
    else if (sym < 256) Code(0x190 + sym - 144, 9);
    else if (sym < 280) Code(sym - 256, 7);
    else Code(0xC0 + sym - 280, 8);
  }
};

#endif
