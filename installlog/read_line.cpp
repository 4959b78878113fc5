// One line of the install log, read back through the stream that wrote it,
// or checked, as the uninstaller reads a log it did not see written.
#include "installlog/install_log.h"

#include <string.h>

char *ReadLogLine(char *buffer, int size, FILE *log) {
  if (!buffer || !log || size < 1) return NULL;
  // At most size - 1 characters, stopping after a newline.
  int count = 0;
  while (count < size - 1) {
    int c = getc(log);
    if (c == EOF) {
      // The end of the log ends the line; a read error drops it, so that a
      // path cut short by the error is never acted on.
      if (!feof(log)) return NULL;
      break;
    }
    buffer[count++] = (char)c;
    if (c == '\n') break;
  }
  if (count == 0) return NULL;
  buffer[count] = '\0';
  // Cut the line at its first CR or LF: a CR LF that the stream did not
  // translate, or a bare LF, ends it just as the translated newline does.
  for (int i = 0; i < count; i++) {
    if (buffer[i] == '\r' || buffer[i] == '\n') buffer[i] = '\0';
  }
  return buffer;
}

char *ReadCheckedLogLine(char *buffer, int size, FILE *log, bool *damaged) {
  *damaged = false;
  if (!buffer || !log || size < 1) return NULL;
  // The whole line is read, whatever its length, so that its rest is never
  // taken for a record of its own; what does not fit is dropped.
  int count = 0, length = 0;
  bool any = false;
  for (;;) {
    int c = getc(log);
    if (c == EOF) {
      if (!feof(log)) return NULL;
      break;
    }
    any = true;
    if (c == '\n') break;
    if (c == 0 || c == 0x1A) *damaged = true;  // a NUL, or a Ctrl-Z that ends a text file
    length++;
    if (count < size - 1) buffer[count++] = (char)c;
  }
  if (!any) return NULL;
  buffer[count] = '\0';
  if (count > 0 && buffer[count - 1] == '\r') {
    buffer[--count] = '\0';
    length--;
  }
  // A line break inside the line, or more characters than a record has.
  if (length >= LOG_LINE_LIMIT || strchr(buffer, '\r')) *damaged = true;
  return buffer;
}
