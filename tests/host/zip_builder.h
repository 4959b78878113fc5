// Builds ZIP archives byte by byte for the extractor's tests, with every
// field under the test's control.
#ifndef TESTS_HOST_ZIP_BUILDER_H
#define TESTS_HOST_ZIP_BUILDER_H

#include <string>
#include <vector>

#include "tests/host/archive_fixture.h"

struct ZipMember {
  std::string name;         // as stored (forward slashes as a zip tool writes them)
  Bytes data;               // the member's uncompressed bytes
  int method = 8;           // 0 stored, 8 deflated, anything else as is
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

inline void Le16(Bytes &b, unsigned v) {
  b.push_back((unsigned char)v);
  b.push_back((unsigned char)(v >> 8));
}
inline void Le32(Bytes &b, uint32_t v) {
  for (int i = 0; i < 4; i++) b.push_back((unsigned char)(v >> (8 * i)));
}
inline void Append(Bytes &b, const std::string &s) { b.insert(b.end(), s.begin(), s.end()); }
inline void Append(Bytes &b, const Bytes &s) { b.insert(b.end(), s.begin(), s.end()); }

// prefix: foreign bytes ahead of the ZIP data (offsets count from after it).
inline Bytes BuildZip(const std::vector<ZipMember> &members, const Bytes &prefix = {},
                      const std::string &comment = "", int entriesOverride = -1) {
  Bytes zip, central;
  std::vector<uint32_t> offsets;
  for (const ZipMember &m : members) {
    Bytes packed = m.method == 8 ? Deflate(m.data, 6, Z_DEFAULT_STRATEGY) : m.data;
    uint32_t csize = m.sizeOverride >= 0 ? (uint32_t)m.sizeOverride : 0;
    uint32_t crc = m.useCrcOverride ? m.crcOverride : ZlibCrc(m.data) ^ (m.wrongCrc ? 1u : 0u);
    offsets.push_back((uint32_t)zip.size());
    Le32(zip, 0x04034b50);
    Le16(zip, 20);
    Le16(zip, m.descriptor ? 8 : 0);
    Le16(zip, (unsigned)m.method);
    Le16(zip, m.time);
    Le16(zip, m.date);
    Le32(zip, m.descriptor ? 0 : crc);
    if (m.sizeOverride < 0) csize = (uint32_t)packed.size();
    Le32(zip, m.descriptor ? 0 : csize);
    Le32(zip, m.descriptor ? 0 : (uint32_t)m.data.size());
    Le16(zip, (unsigned)m.name.size());
    Le16(zip, (unsigned)m.extra.size());
    Append(zip, m.name);
    Append(zip, m.extra);
    Append(zip, packed);
    if (m.descriptor) {
      Le32(zip, 0x08074b50);
      Le32(zip, crc);
      Le32(zip, csize);
      Le32(zip, (uint32_t)m.data.size());
    }
    const std::string &cname = m.centralName.empty() ? m.name : m.centralName;
    Le32(central, 0x02014b50);
    Le16(central, 20);
    Le16(central, 20);
    Le16(central, m.descriptor ? 8 : 0);
    Le16(central, (unsigned)m.method);
    Le16(central, m.time);
    Le16(central, m.date);
    Le32(central, crc);
    Le32(central, csize);
    Le32(central, (uint32_t)m.data.size());
    Le16(central, (unsigned)cname.size());
    Le16(central, (unsigned)m.extra.size());
    Le16(central, (unsigned)m.comment.size());
    Le16(central, 0);
    Le16(central, 0);
    Le32(central, 0);
    Le32(central, offsets.back());
    Append(central, cname);
    Append(central, m.extra);
    Append(central, m.comment);
  }
  uint32_t centralOffset = (uint32_t)zip.size();
  Append(zip, central);
  unsigned entries = entriesOverride >= 0 ? (unsigned)entriesOverride : (unsigned)members.size();
  Le32(zip, 0x06054b50);
  Le16(zip, 0);
  Le16(zip, 0);
  Le16(zip, entries);
  Le16(zip, entries);
  Le32(zip, (uint32_t)central.size());
  Le32(zip, centralOffset);
  Le16(zip, (unsigned)comment.size());
  Append(zip, comment);
  Bytes all = prefix;
  Append(all, zip);
  return all;
}

#endif
