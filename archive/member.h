// Extraction of one archive member into its file.
#ifndef ARCHIVE_MEMBER_H
#define ARCHIVE_MEMBER_H

#include "archive/zip_records.h"

enum {
  MEMBER_OK = 0,
  MEMBER_UNKNOWN_METHOD = 1,
  MEMBER_FAILED = 2,
  MEMBER_NO_MEMORY = 6
};

// Creates name (relative to the current folder), fills it from the member's
// data at the archive's current position (stored or deflated), checks the
// CRC-32 and stamps the last-write time. Returns one of the results above.
int ExtractMember(HANDLE archive, const LocalFileHeader *header, const char *name);

#endif
