// One member: stored copy or inflation through the OutputSink, then the CRC
// check and the file time. The output file is closed on every path.
#include "archive/member.h"

#include "archive/inflate.h"
#include "archive/output_sink.h"
#include "archive/progress.h"

enum { kStoredChunk = 16384 };
static BYTE g_storedBuffer[kStoredChunk];

// Sets the file's last-write time from the header's DOS date and time, taken
// as local time, and closes the file.
static void SetMemberFileTime(HANDLE file, const LocalFileHeader *header) {
  FILETIME local, utc;
  if (DosDateTimeToFileTime(header->modDate, header->modTime, &local)) {
    if (!LocalFileTimeToFileTime(&local, &utc)) utc = local;
    SetFileTime(file, NULL, NULL, &utc);
  }
  CloseHandle(file);
}

static int CopyStoredMember(HANDLE archive, DWORD size) {
  DWORD copied = 0;
  while (copied < size) {
    DWORD n = size - copied < kStoredChunk ? size - copied : (DWORD)kStoredChunk;
    DWORD got = 0;
    if (!ReadFile(archive, g_storedBuffer, n, &got, NULL)) {
      MessageBoxA(NULL, "Error reading zip file!", "Error", MB_ICONERROR);
      return MEMBER_FAILED;
    }
    if (got == 0) return MEMBER_FAILED;
    if (Flush(g_storedBuffer, got)) return MEMBER_FAILED;
    AdvanceProgress(got);
    copied += got;
  }
  return MEMBER_OK;
}

int ExtractMember(HANDLE archive, const LocalFileHeader *header, const char *name) {
  HANDLE output = CreateFileA(name, GENERIC_WRITE, 0, NULL, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, NULL);
  if (output == INVALID_HANDLE_VALUE) return MEMBER_FAILED;
  BeginOutput(output, header->uncompressedSize);

  int result;
  if (header->method == 0) {
    result = CopyStoredMember(archive, header->compressedSize);
  } else if (header->method == 8) {
    int r = InflateMember(archive);
    result = r == INFLATE_OK ? MEMBER_OK : r == INFLATE_NO_MEMORY ? MEMBER_NO_MEMORY : MEMBER_FAILED;
  } else {
    MessageBoxA(NULL, name, "Unknown Compression Method!", MB_ICONERROR);
    result = MEMBER_UNKNOWN_METHOD;
  }
  if (header->crc32 != g_outputSink.crc) {
    MessageBoxA(NULL, name, "CRC check error!", MB_ICONERROR);
    result = MEMBER_FAILED;
  }
  SetMemberFileTime(output, header);
  return result;
}
