// The runtime's shared stream open, _fsopen: a real FILE* (glibc's
// fopencookie) over a file handle of our own table, so that share modes and
// the read-only attribute apply as they do to CreateFileA. Text mode writes
// "\n" as CR LF, reads CR LF back as "\n" and ends the stream at a Ctrl-Z, as
// the Microsoft runtime does; binary mode passes bytes through.
#ifndef _GNU_SOURCE
#define _GNU_SOURCE
#endif
#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "internal.h"

namespace {

struct Stream {
  HANDLE handle;
  bool text;
  bool append;
};

int Fd(Stream *s) {
  int fd = wh::FileDescriptor(s->handle, nullptr);
  if (fd < 0) errno = EBADF;  // the layer was reset under the stream
  return fd;
}

bool WriteAll(int fd, const char *p, size_t n) {
  while (n) {
    ssize_t w = write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      if (w == 0) errno = ENOSPC;
      return false;
    }
    p += w;
    n -= (size_t)w;
  }
  return true;
}

// A failed write reports 0 bytes, never -1: the C library takes a negative
// count as bytes written (it then writes on from memory beyond the caller's
// data). With 0 it sets the stream's error indicator and drops what it could
// not write, as the Microsoft runtime does.
ssize_t StreamWrite(void *cookie, const char *buf, size_t size) {
  Stream *s = (Stream *)cookie;
  if (wh::Fail("StreamWrite", ERROR_DISK_FULL)) {
    errno = ENOSPC;  // as a full disk would
    return 0;
  }
  int fd = Fd(s);
  if (fd < 0) return 0;
  if (s->append && lseek(fd, 0, SEEK_END) < 0) return 0;
  if (!s->text) return WriteAll(fd, buf, size) ? (ssize_t)size : 0;
  std::string out;
  out.reserve(size + size / 8);
  for (size_t i = 0; i < size; i++) {
    if (buf[i] == '\n') out += '\r';
    out += buf[i];
  }
  return WriteAll(fd, out.data(), out.size()) ? (ssize_t)size : 0;
}

ssize_t StreamRead(void *cookie, char *buf, size_t size) {
  Stream *s = (Stream *)cookie;
  if (wh::Fail("StreamRead", ERROR_READ_FAULT)) {
    errno = EIO;
    return -1;
  }
  int fd = Fd(s);
  if (fd < 0) return -1;
  ssize_t n;
  do n = read(fd, buf, size);
  while (n < 0 && errno == EINTR);
  if (n <= 0 || !s->text) return n;
  // Translate in place: the output never outgrows the input.
  size_t out = 0;
  for (ssize_t i = 0; i < n; i++) {
    char c = buf[i];
    if (c == 0x1A) {
      // Ctrl-Z ends the text; it stays the next byte so that every later read
      // ends there too.
      lseek(fd, i - n, SEEK_CUR);
      break;
    }
    if (c == '\r') {
      // A CR that ends this read: look at the byte after it in the file, and
      // put it back when it is not the LF. A CR without LF stays.
      char next = 0;
      bool have = i + 1 < n;
      if (have) {
        next = buf[i + 1];
      } else {
        have = read(fd, &next, 1) == 1;
        if (have && next != '\n') lseek(fd, -1, SEEK_CUR);
      }
      if (have && next == '\n') {
        buf[out++] = '\n';
        i++;
        continue;
      }
    }
    buf[out++] = c;
  }
  return (ssize_t)out;
}

int StreamSeek(void *cookie, off64_t *offset, int whence) {
  Stream *s = (Stream *)cookie;
  if (wh::Fail("StreamSeek", ERROR_SEEK)) {
    errno = EIO;
    return -1;
  }
  int fd = Fd(s);
  if (fd < 0) return -1;
  off_t r = lseek(fd, (off_t)*offset, whence);
  if (r < 0) return -1;
  *offset = r;
  return 0;
}

int StreamClose(void *cookie) {
  Stream *s = (Stream *)cookie;
  wh::CloseFile(s->handle);
  delete s;
  return 0;
}

int ErrnoFor(DWORD err) {
  switch (err) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return ENOENT;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_TOO_MANY_OPEN_FILES: return EMFILE;
    case ERROR_INVALID_PARAMETER:
    case ERROR_INVALID_NAME: return EINVAL;
    case ERROR_DISK_FULL: return ENOSPC;
    default: return EACCES;
  }
}

}  // namespace

FILE *_fsopen(const char *filename, const char *mode, int shflag) {
  if (wh::Fail("_fsopen", ERROR_ACCESS_DENIED)) {
    errno = EACCES;
    return nullptr;
  }
  if (!filename || !mode || (mode[0] != 'r' && mode[0] != 'w' && mode[0] != 'a')) {
    errno = EINVAL;
    return nullptr;
  }
  bool plus = strchr(mode + 1, '+') != nullptr;
  bool text = strchr(mode + 1, 'b') == nullptr;  // text unless "b"; "t" says so too
  DWORD share;
  switch (shflag) {
    case _SH_DENYNO: share = FILE_SHARE_READ | FILE_SHARE_WRITE; break;
    case _SH_DENYRD: share = FILE_SHARE_WRITE; break;
    case _SH_DENYWR: share = FILE_SHARE_READ; break;
    case _SH_DENYRW: share = 0; break;
    default: errno = EINVAL; return nullptr;
  }
  DWORD access, disposition;
  switch (mode[0]) {
    case 'r': access = GENERIC_READ; disposition = OPEN_EXISTING; break;
    case 'w': access = GENERIC_WRITE; disposition = CREATE_ALWAYS; break;
    default: access = GENERIC_WRITE; disposition = OPEN_ALWAYS; break;
  }
  if (plus) access = GENERIC_READ | GENERIC_WRITE;
  HANDLE h;
  bool existed;
  if (DWORD err = wh::OpenFile(filename, access, share, disposition, FILE_ATTRIBUTE_NORMAL, &h,
                               &existed)) {
    wh::SetError(err);
    errno = ErrnoFor(err);
    return nullptr;
  }
  Stream *s = new Stream{h, text, mode[0] == 'a'};
  // Appending is done by the cookie itself, before every write.
  const char *cookie_mode = mode[0] == 'r' ? (plus ? "r+" : "r") : (plus ? "w+" : "w");
  cookie_io_functions_t io = {StreamRead, StreamWrite, StreamSeek, StreamClose};
  FILE *f = fopencookie(s, cookie_mode, io);
  if (!f) {
    int e = errno;
    wh::CloseFile(h);
    delete s;
    errno = e;
  }
  return f;
}
