// The ZIP builder and zlib's raw DEFLATE.
#include "tests/support/zip_builder.h"

#include <stdio.h>
#include <stdlib.h>

Bytes Deflate(const Bytes &data, int level, int strategy) {
  z_stream z = {};
  if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, strategy) != Z_OK) {
    fprintf(stderr, "Deflate: zlib refuses level %d, strategy %d\n", level, strategy);
    abort();
  }
  Bytes out(deflateBound(&z, (uLong)data.size()) + 16);
  z.next_in = const_cast<Bytef *>(data.data());
  z.avail_in = (uInt)data.size();
  z.next_out = out.data();
  z.avail_out = (uInt)out.size();
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) {
    fprintf(stderr, "Deflate: zlib did not finish the stream\n");
    abort();
  }
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

Bytes BuildZip(const std::vector<ZipMember> &members, const Bytes &prefix, const std::string &comment,
               int entriesOverride) {
  Bytes zip, central;
  std::vector<uint32_t> offsets;
  for (const ZipMember &m : members) {
    Bytes packed = m.method == 8 ? Deflate(m.data) : m.data;
    uint32_t csize = m.sizeOverride >= 0 ? (uint32_t)m.sizeOverride : 0;
    uint32_t crc = m.useCrcOverride ? m.crcOverride
                                    : (uint32_t)crc32(0, m.data.data(), (uInt)m.data.size()) ^
                                          (m.wrongCrc ? 1u : 0u);
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
