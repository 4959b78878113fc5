// The DEFLATE decoder (RFC 1951) for one archive member at a time.
#ifndef ARCHIVE_INFLATE_H
#define ARCHIVE_INFLATE_H

#include "platform/win.h"

enum {
  INFLATE_OK = 0,
  INFLATE_BAD_DATA = 1,   // invalid data or end of input
  INFLATE_BAD_CODE = 2,   // reserved block type or over-subscribed code
  INFLATE_NO_MEMORY = 3   // a decode table could not be allocated
};

// Decodes the member whose compressed data starts at the archive's current
// position into the OutputSink, which BeginOutput has set up for the member.
// Returns one of the results above or the failure result of Flush.
int InflateMember(HANDLE archive);

#endif
