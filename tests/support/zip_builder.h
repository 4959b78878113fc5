// Builds ZIP archives byte by byte, with every field under the caller's
// control, and raw DEFLATE streams by zlib: for the extractor's tests, the
// benchmarks' archives and their member streams.
#ifndef TESTS_SUPPORT_ZIP_BUILDER_H
#define TESTS_SUPPORT_ZIP_BUILDER_H

#include <stdint.h>
#include <zlib.h>

#include <string>
#include <vector>

#include "tests/support/bytes.h"

// Raw DEFLATE (no zlib header) of data at a level and strategy; level 6 is
// zlib's default. Ends the program when zlib fails.
Bytes Deflate(const Bytes &data, int level = 6, int strategy = Z_DEFAULT_STRATEGY);

// Little-endian fields and raw bytes appended, for records made by hand.
inline void Le16(Bytes &b, unsigned v) {
  b.push_back((unsigned char)v);
  b.push_back((unsigned char)(v >> 8));
}
inline void Le32(Bytes &b, uint32_t v) {
  for (int i = 0; i < 4; i++) b.push_back((unsigned char)(v >> (8 * i)));
}
inline void Append(Bytes &b, const std::string &s) { b.insert(b.end(), s.begin(), s.end()); }
inline void Append(Bytes &b, const Bytes &s) { b.insert(b.end(), s.begin(), s.end()); }

struct ZipMember {
  std::string name;         // as stored (forward slashes as a zip tool writes them)
  Bytes data;               // the member's uncompressed bytes
  int method = 8;           // 0 stored, 8 deflated (level 6), anything else as is
  uint16_t time = 0x6000;   // 12:00:00
  uint16_t date = 0x50B1;   // 2020-05-17
  bool descriptor = false;  // flag bit 3: sizes and CRC only in the central entry
  bool wrongCrc = false;
  uint32_t crcOverride = 0;
  bool useCrcOverride = false;
  std::string centralName;  // when not empty, the central entry's name differs
  std::string comment;      // entry comment
  Bytes extra;              // extra field, in both headers
  long long sizeOverride = -1;  // compressed size to claim instead of the real one
};

// The archive of the members: local headers and data, the central directory
// and the end record with the archive's comment. prefix: foreign bytes ahead
// of the ZIP data (offsets count from after it). entriesOverride: the count
// the end record claims instead of the real one.
Bytes BuildZip(const std::vector<ZipMember> &members, const Bytes &prefix = {},
               const std::string &comment = "", int entriesOverride = -1);

#endif
