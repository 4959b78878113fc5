// Unpacks every member of a ZIP archive into the installation folder.
#ifndef ARCHIVE_EXTRACTOR_H
#define ARCHIVE_EXTRACTOR_H

#include <stdio.h>

#include "platform/win.h"

enum { EXTRACT_FAILED = 2 };

// Extracts sourceDir\archiveName into installDir (either folder with or
// without a trailing backslash), writing a "File:" record for every file to
// log before the file is made (log may be NULL). Returns 0 when every entry
// was processed, else the failing step's result (2, 53 or ExtractMember's).
// Afterwards the current directory is installDir.
int ArchiveExtractor(const char *sourceDir, const char *archiveName, const char *installDir,
                     FILE *log);

#endif
