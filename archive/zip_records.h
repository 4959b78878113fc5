// The ZIP records as the extractor reads them, and their readers.
#ifndef ARCHIVE_ZIP_RECORDS_H
#define ARCHIVE_ZIP_RECORDS_H

#include <stdint.h>

#include "platform/win.h"

enum { ZIP_NAME_MAX = 260, ZIP_FLAG_DATA_DESCRIPTOR = 8 };
enum { ZIP_RECORD_FAILED = 2 };

struct EndOfCentralDir {
  uint16_t diskNumber;
  uint16_t centralDirDisk;
  uint16_t entriesOnDisk;
  uint16_t totalEntries;
  uint32_t centralDirSize;
  uint32_t centralDirOffset;  // as stored; the actual position may differ
  uint16_t commentLength;
  bool zip64;  // a ZIP64 end record's locator stands just before it
};

struct CentralDirEntry {
  uint8_t versionMadeBy, hostMadeBy, versionNeeded, hostNeeded;
  uint16_t flags;
  uint16_t method;
  uint16_t modTime, modDate;
  uint32_t crc32;
  uint32_t compressedSize;
  uint32_t uncompressedSize;
  uint16_t nameLength, extraLength, commentLength;
  uint16_t diskStart;
  uint16_t internalAttributes;
  uint32_t externalAttributes;
  uint32_t localHeaderOffset;
};

struct LocalFileHeader {
  uint8_t versionNeeded, hostNeeded;
  uint16_t flags;
  uint16_t method;
  uint16_t modTime, modDate;
  uint32_t crc32;
  uint32_t compressedSize;
  uint32_t uncompressedSize;
  uint16_t nameLength, extraLength;
};

// Each returns 0, or ZIP_RECORD_FAILED when a seek or read fails, is short
// or meets a wrong signature. FindEndOfCentralDir also hands back the archive's size.
int FindEndOfCentralDir(HANDLE archive, DWORD maxTail, EndOfCentralDir *record, DWORD *centralPos,
                        DWORD *archiveSize);
int ReadCentralDirEntry(HANDLE archive, CentralDirEntry *entry, DWORD *centralPos);
int ReadLocalFileHeader(HANDLE archive, const CentralDirEntry *entry, LocalFileHeader *header,
                        DWORD *localPos);
// Reads keep name bytes at the current position into name (NUL added, '/'
// turned into '\'), then moves pos past keep + skip bytes and seeks there.
int ReadEntryName(HANDLE archive, DWORD keep, DWORD skip, char *name, DWORD *pos);

#endif
