// The install log, deinst.lst: one record a line, a four-letter tag with its
// colon, then a path. The setup writes it through the writers below, one per
// record kind; the rollback, the uninstaller and their replay read it back
// through ReadLogLine and ClassifyLogLine. A new record kind is a change to
// this module alone.
#ifndef INSTALLLOG_INSTALL_LOG_H
#define INSTALLLOG_INSTALL_LOG_H

#include <stdio.h>

#include "platform/win.h"

// A line is read with at most LOG_LINE_READ_SIZE characters into a buffer
// of LOG_LINE_CAPACITY; the tag is LOG_TAG_LENGTH characters long.
enum { LOG_LINE_CAPACITY = 2000, LOG_LINE_READ_SIZE = 1999, LOG_TAG_LENGTH = 5 };
// A line of this many characters or more is no record the setup wrote: its
// paths are shorter.
enum { LOG_LINE_LIMIT = 1998 };

enum LogRecordKind {
  LOG_OTHER = 0,   // no tag of the log's
  LOG_NAME,        // "Name:" and the product's name
  LOG_FILE,        // "File:" / "UFil:" and a file's path
  LOG_FOLDER,      // "Dire:" / "UDir:" and a folder's path
  LOG_KEY          // "HKCR:".."HKDD:" / "UKCR:".."UKDD:" and a key's path
};

// Which replay acts on a record: the setup's own records, which a rollback
// and then the uninstaller remove, or those left for the uninstaller alone
// (tags with a leading U).
enum LogRecordSet { LOG_SETUP_RECORD = 0, LOG_UNINSTALL_RECORD = 1 };

// The root keys a key record can name, in the order of their tags.
enum LogKeyRoot { LOG_HKCR, LOG_HKCU, LOG_HKLM, LOG_HKUS, LOG_HKCC, LOG_HKDD, LOG_KEY_ROOTS };

struct LogRecord {
  int kind;             // a LogRecordKind
  int set;              // a LogRecordSet (LOG_FILE, LOG_FOLDER, LOG_KEY)
  HKEY root;            // LOG_KEY: the root key of the path
  const char *payload;  // the text after the tag
};

// ---- Writing ----

// Creates (or empties) the log at path for writing and reading back, shared
// with every reader and writer, unbuffered: each record reaches the file as
// it is written. A buffered record would be lost for good when the
// rollback's seek fails to write it out (the runtime drops a buffer it
// cannot write), and the rollback would then know nothing of what the
// installation made. NULL when the file cannot be opened.
FILE *CreateInstallLog(const char *path);

// The writers: each appends one record; log may be NULL (nothing written).
void LogProductName(FILE *log, const char *name);
// "File:" folderOrPath, then rest ("" when the first part is the whole path).
void LogFile(FILE *log, const char *folderOrPath, const char *rest);
void LogFolder(FILE *log, const char *path);
// A key made by the setup: the root's tag, parentPath, a backslash and name,
// then below (a deeper part of the path, from its backslash on, or "").
void LogKey(FILE *log, int root, const char *parentPath, const char *name, const char *below);
// A key the uninstaller removes: its root and its whole path.
void LogUninstallKey(FILE *log, int root, const char *path);

// ---- Reading ----

// Opens an existing log for reading as text, with the given _SH_ share mode.
FILE *OpenInstallLog(const char *path, int share);

// Reads at most size - 1 characters of one line (stopping after its newline)
// and cuts it at its first CR or LF. Returns buffer, or NULL when nothing was
// read before the end of the log, or when a read error struck, even part way
// through the line.
char *ReadLogLine(char *buffer, int size, FILE *log);

// Reads one whole line of a log opened in binary mode, at most size - 1 of
// its characters into buffer, without its CR LF. *damaged tells whether the
// setup could not have written it: LOG_LINE_LIMIT characters or more, a NUL,
// a Ctrl-Z (which would end a text-mode read early) or a CR inside. NULL at
// the end of the log or on a read error, as ReadLogLine.
char *ReadCheckedLogLine(char *buffer, int size, FILE *log, bool *damaged);

// What a line read back holds. Returns record->kind.
int ClassifyLogLine(const char *line, LogRecord *record);

#endif
