// Shared pieces of the archive tests: files through the host paths, zlib's
// CRC-32, test data of a few kinds, and a bit writer for hand-made streams
// (raw DEFLATE and ZIP archives: tests/support/zip_builder.h).
#ifndef TESTS_PRODUCT_ARCHIVE_FIXTURE_H
#define TESTS_PRODUCT_ARCHIVE_FIXTURE_H

#include <gtest/gtest.h>
#include <zlib.h>

#include <random>
#include <string>
#include <vector>

#include "platform/host/winhost_test.h"
#include "platform/win.h"
#include "tests/support/inflate_hooks.h"
#include "tests/support/sandbox.h"
#include "tests/support/zip_builder.h"

// The distribution folder and the default install folder.
constexpr char kSource[] = "C:\\SETUP";
constexpr char kInstall[] = "C:\\Program Files\\Kelvorind\\TNM Verifier\\";

// A fresh machine for the extractor in this process, with the distribution
// folder, message boxes answered yes or OK and the common controls ready;
// the inflater's tables go first, as the heap forgets its blocks on a reset.
// Returns the sandbox's folder.
inline std::string FreshExtractorMachine(const char *name) {
  InflateReset();
  std::string root = SandboxDir(name);
  winhost::Reset(root.c_str());
  winhost::SetScript("auto yes\n");
  CreateDirectoryA(kSource, NULL);
  InitCommonControls();
  return root;
}

// A member with these bytes, deflated unless method says otherwise.
inline ZipMember Member(const std::string &name, const Bytes &data, int method = 8) {
  ZipMember m;
  m.name = name;
  m.data = data;
  m.method = method;
  return m;
}

inline void WriteHostFile(const char *winpath, const Bytes &data) {
  WriteBytes(winhost::HostPath(winpath), data);
}

inline Bytes ReadHostFile(const char *winpath) { return ReadBytes(winhost::HostPath(winpath)); }

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
