// One line of the install log, read back through the stream that wrote it.
#include "installlog/install_log.h"

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
