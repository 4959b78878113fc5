// Locating and reading the ZIP records: the end record found by a backward
// scan of the file's tail, central directory entries, local headers, names.
#include "archive/zip_records.h"

#include "common/le.h"

static const BYTE kCentralSignature[4] = {0x50, 0x4B, 0x01, 0x02};
static const BYTE kLocalSignature[4] = {0x50, 0x4B, 0x03, 0x04};
static const BYTE kEndSignature[4] = {0x50, 0x4B, 0x05, 0x06};
static const BYTE kZip64LocatorSignature[4] = {0x50, 0x4B, 0x06, 0x07};

enum { kTailMax = 32000 };
static BYTE g_tail[kTailMax];


static bool SeekTo(HANDLE archive, DWORD pos) {
  // Positions are 32-bit unsigned: a zero high part keeps offsets of 2 to
  // 4 GiB from reading as negative distances.
  LONG high = 0;
  return SetFilePointer(archive, (LONG)pos, &high, FILE_BEGIN) == pos;
}

static bool ReadExactly(HANDLE archive, void *buffer, DWORD n) {
  DWORD got = 0;
  return ReadFile(archive, buffer, n, &got, NULL) && got == n;
}

static bool SignatureIs(const BYTE *bytes, const BYTE *signature) {
  for (int i = 0; i < 4; i++)
    if (bytes[i] != signature[i]) return false;
  return true;
}

int FindEndOfCentralDir(HANDLE archive, DWORD maxTail, EndOfCentralDir *record, DWORD *centralPos,
                        DWORD *archiveSize) {
  DWORD size = GetFileSize(archive, NULL);
  if (size == INVALID_FILE_SIZE) return ZIP_RECORD_FAILED;
  *archiveSize = size;
  if (maxTail > kTailMax) maxTail = kTailMax;
  // Unsigned, so that the tail never exceeds the buffer whatever the size.
  DWORD tail = size < maxTail ? size : maxTail;
  if (!SeekTo(archive, size - tail)) return ZIP_RECORD_FAILED;
  DWORD got = 0;
  if (!ReadFile(archive, g_tail, tail, &got, NULL) || got != tail) return ZIP_RECORD_FAILED;
  if (tail < 22) return ZIP_RECORD_FAILED;
  for (DWORD i = tail - 22 + 1; i-- > 0;) {
    if (!SignatureIs(g_tail + i, kEndSignature)) continue;
    const BYTE *r = g_tail + i;
    record->diskNumber = ReadLe16(r + 4);
    record->centralDirDisk = ReadLe16(r + 6);
    record->entriesOnDisk = ReadLe16(r + 8);
    record->totalEntries = ReadLe16(r + 10);
    record->centralDirSize = ReadLe32(r + 12);
    record->centralDirOffset = ReadLe32(r + 16);
    record->commentLength = ReadLe16(r + 20);
    record->zip64 = i >= 20 && SignatureIs(r - 20, kZip64LocatorSignature);
    *centralPos = (size - tail + i) - record->centralDirSize;
    return 0;
  }
  return ZIP_RECORD_FAILED;
}

int ReadCentralDirEntry(HANDLE archive, CentralDirEntry *entry, DWORD *centralPos) {
  BYTE b[46];
  if (!SeekTo(archive, *centralPos)) return ZIP_RECORD_FAILED;
  if (!ReadExactly(archive, b, 4) || !SignatureIs(b, kCentralSignature)) return ZIP_RECORD_FAILED;
  if (!ReadExactly(archive, b + 4, 42)) return ZIP_RECORD_FAILED;
  entry->versionMadeBy = b[4];
  entry->hostMadeBy = b[5];
  entry->versionNeeded = b[6];
  entry->hostNeeded = b[7];
  entry->flags = ReadLe16(b + 8);
  entry->method = ReadLe16(b + 10);
  entry->modTime = ReadLe16(b + 12);
  entry->modDate = ReadLe16(b + 14);
  entry->crc32 = ReadLe32(b + 16);
  entry->compressedSize = ReadLe32(b + 20);
  entry->uncompressedSize = ReadLe32(b + 24);
  entry->nameLength = ReadLe16(b + 28);
  entry->extraLength = ReadLe16(b + 30);
  entry->commentLength = ReadLe16(b + 32);
  entry->diskStart = ReadLe16(b + 34);
  entry->internalAttributes = ReadLe16(b + 36);
  entry->externalAttributes = ReadLe32(b + 38);
  entry->localHeaderOffset = ReadLe32(b + 42);
  *centralPos += 46;
  return 0;
}

int ReadLocalFileHeader(HANDLE archive, const CentralDirEntry *entry, LocalFileHeader *header,
                        DWORD *localPos) {
  BYTE b[30];
  if (!SeekTo(archive, *localPos)) return ZIP_RECORD_FAILED;
  if (!ReadExactly(archive, b, 4) || !SignatureIs(b, kLocalSignature)) return ZIP_RECORD_FAILED;
  if (!ReadExactly(archive, b + 4, 26)) return ZIP_RECORD_FAILED;
  header->versionNeeded = b[4];
  header->hostNeeded = b[5];
  header->flags = ReadLe16(b + 6);
  header->method = ReadLe16(b + 8);
  header->modTime = ReadLe16(b + 10);
  header->modDate = ReadLe16(b + 12);
  header->crc32 = ReadLe32(b + 14);
  header->compressedSize = ReadLe32(b + 18);
  header->uncompressedSize = ReadLe32(b + 22);
  header->nameLength = ReadLe16(b + 26);
  header->extraLength = ReadLe16(b + 28);
  // With a data descriptor the local header's CRC and sizes are not known
  // when it is written; the central entry has them.
  if (header->flags & ZIP_FLAG_DATA_DESCRIPTOR) {
    header->crc32 = entry->crc32;
    header->compressedSize = entry->compressedSize;
    header->uncompressedSize = entry->uncompressedSize;
  }
  *localPos += 30;
  return 0;
}

int ReadEntryName(HANDLE archive, DWORD keep, DWORD skip, char *name, DWORD *pos) {
  if (keep > 0 && !ReadExactly(archive, name, keep)) return ZIP_RECORD_FAILED;
  name[keep] = 0;
  for (DWORD i = 0; i < keep; i++)
    if (name[i] == '/') name[i] = '\\';
  *pos += keep + skip;
  if (!SeekTo(archive, *pos)) return ZIP_RECORD_FAILED;
  return 0;
}
