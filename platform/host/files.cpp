// Files and folders: the handle table, CreateFileA with its dispositions and
// share modes, reading, writing and seeking, copies, deletion, attributes and
// folders. The read-only attribute lives in the Unix mode bits (a file with
// no write bit is read-only) and is enforced here, since the tests run as
// root, whom the kernel never refuses.
//
// A file opened only for reading, whose share mode lets no one write it
// while it is open, cannot change under its handle: its reads and seeks are
// served from two buffers of the handle's own, as a system's file cache
// would serve them, so that the many small reads of an archive's records
// cost no system call each. Calls, their counts, their faults and their
// results stay those of the unbuffered handle.
#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>

#include "internal.h"
#include "winhost_test.h"

namespace wh {
namespace {

enum HandleKind { kFileHandle = 1, kDummyHandle = 2 };

// The read buffers of one handle: two pieces of the file, each where a read
// last missed, so that reads that alternate between two places (the central
// directory and the members) each keep theirs. The file position is the
// handle's own; the descriptor's offset is not used.
const DWORD kPieceSize = 32768;
struct ReadPieces {
  long long position = 0;
  long long size = 0;  // the file's size, fixed while the handle is open
  struct Piece {
    long long start = -1;
    DWORD length = 0;
    BYTE data[kPieceSize];
  } piece[2];
  int recent = 0;  // the piece used last
};

struct Entry {
  int kind = kFileHandle;
  int fd = -1;
  DWORD access = 0;  // GENERIC_READ | GENERIC_WRITE
  DWORD share = 0;
  dev_t dev = 0;
  ino_t ino = 0;
  ReadPieces *pieces = nullptr;  // for a handle whose reads are buffered
};

struct Table {
  std::map<uintptr_t, Entry> open;
  uintptr_t next = 0x100;  // handle values are multiples of 4, never reused
};

Table &T() {
  static Table t;
  return t;
}

Entry *Find(HANDLE h) {
  auto it = T().open.find((uintptr_t)h);
  return it == T().open.end() ? nullptr : &it->second;
}

HANDLE Add(const Entry &e) {
  uintptr_t v = T().next;
  T().next += 4;
  T().open[v] = e;
  return (HANDLE)v;
}

void ResetFiles() {
  for (auto &kv : T().open) {
    if (kv.second.fd >= 0) close(kv.second.fd);
    delete kv.second.pieces;
  }
  T().open.clear();
}

const int registered = (OnReset(ResetFiles), 0);

DWORD DataRights(DWORD access) {
  if (access & 0x10000000u) access |= GENERIC_READ | GENERIC_WRITE;  // GENERIC_ALL
  return access & (GENERIC_READ | GENERIC_WRITE);
}

// Whether an open with these rights and share mode collides with the open
// handles of the same file. Opens without data rights never collide.
bool ShareConflict(const struct stat &st, DWORD access, DWORD share) {
  if (!access) return false;
  for (auto &kv : T().open) {
    const Entry &e = kv.second;
    if (e.kind != kFileHandle || e.dev != st.st_dev || e.ino != st.st_ino || !e.access) continue;
    if ((access & GENERIC_READ) && !(e.share & FILE_SHARE_READ)) return true;
    if ((access & GENERIC_WRITE) && !(e.share & FILE_SHARE_WRITE)) return true;
    if ((e.access & GENERIC_READ) && !(share & FILE_SHARE_READ)) return true;
    if ((e.access & GENERIC_WRITE) && !(share & FILE_SHARE_WRITE)) return true;
  }
  return false;
}

// A handle of the file without FILE_SHARE_DELETE keeps it from being deleted.
bool DeleteBlocked(const struct stat &st) {
  for (auto &kv : T().open) {
    const Entry &e = kv.second;
    if (e.kind == kFileHandle && e.dev == st.st_dev && e.ino == st.st_ino && e.access &&
        !(e.share & FILE_SHARE_DELETE))
      return true;
  }
  return false;
}

bool ReadOnly(const struct stat &st) { return (st.st_mode & 0222) == 0; }

bool Failed(DWORD err) {
  SetError(err);
  return false;
}

}  // namespace

DWORD ErrnoError(int e, DWORD fallback) {
  switch (e) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_ALREADY_EXISTS;
    case ENOTEMPTY: return ERROR_DIR_NOT_EMPTY;
    case ENOSPC:
    case EDQUOT: return ERROR_DISK_FULL;
    case EMFILE:
    case ENFILE: return ERROR_TOO_MANY_OPEN_FILES;
    case ENAMETOOLONG: return ERROR_FILENAME_EXCED_RANGE;
    case ENOMEM: return ERROR_NOT_ENOUGH_MEMORY;
    case EBADF: return ERROR_INVALID_HANDLE;
    default: return fallback;
  }
}

HANDLE NewDummyHandle() {
  (void)registered;
  Entry e;
  e.kind = kDummyHandle;
  return Add(e);
}

int FileDescriptor(HANDLE h, DWORD *access) {
  Entry *e = Find(h);
  if (!e || e->kind != kFileHandle) return -1;
  if (access) *access = e->access;
  return e->fd;
}

bool CloseFile(HANDLE h) {
  Entry *e = Find(h);
  if (!e) return false;
  if (e->fd >= 0) close(e->fd);
  delete e->pieces;
  T().open.erase((uintptr_t)h);
  return true;
}

namespace {

// Buffers the reads of handle h when no one can write its file while it is
// open: opened for reading only, without FILE_SHARE_WRITE (any handle that
// writes it makes such an open fail, and the open makes later ones fail).
void BufferReads(HANDLE h, const struct stat &st) {
  Entry *e = Find(h);
  if (!e || e->access != GENERIC_READ || (e->share & FILE_SHARE_WRITE) || !S_ISREG(st.st_mode)) return;
  e->pieces = new ReadPieces;
  e->pieces->size = (long long)st.st_size;
}

// ReadFile from the buffers: a read that misses both fills the one used
// less recently from the position (a read of a piece's size or more goes to
// the file itself). Returns 0 or the failed read's errno.
int ReadBuffered(int fd, ReadPieces *r, BYTE *out, DWORD n, DWORD *done) {
  *done = 0;
  while (*done < n) {
    ReadPieces::Piece *p = nullptr;
    for (int i = 0; i < 2; i++) {
      ReadPieces::Piece &q = r->piece[(r->recent + i) & 1];
      if (q.start >= 0 && r->position >= q.start && r->position < q.start + q.length) {
        p = &q;
        r->recent = (r->recent + i) & 1;
        break;
      }
    }
    if (!p) {
      if (r->position >= r->size) break;  // the end of the file
      if (n - *done >= kPieceSize) {
        ssize_t got = pread(fd, out + *done, n - *done, (off_t)r->position);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return errno;
        if (got == 0) break;
        *done += (DWORD)got;
        r->position += got;
        continue;
      }
      r->recent ^= 1;
      p = &r->piece[r->recent];
      ssize_t got;
      do got = pread(fd, p->data, kPieceSize, (off_t)r->position);
      while (got < 0 && errno == EINTR);
      if (got < 0) {
        p->start = -1;
        return errno;
      }
      if (got == 0) break;
      p->start = r->position;
      p->length = (DWORD)got;
    }
    DWORD take = (DWORD)(p->start + p->length - r->position);
    if (take > n - *done) take = n - *done;
    memcpy(out + *done, p->data + (r->position - p->start), take);
    *done += take;
    r->position += take;
  }
  return 0;
}

}  // namespace

DWORD OpenFile(const char *winpath, DWORD access, DWORD share, DWORD disposition,
               DWORD attributes, HANDLE *out, bool *existed, struct stat *opened) {
  *out = INVALID_HANDLE_VALUE;
  *existed = false;
  if (disposition < CREATE_NEW || disposition > TRUNCATE_EXISTING) return ERROR_INVALID_PARAMETER;
  MappedPath m;
  if (DWORD err = MapPathInfo(winpath, &m)) return err;
  if (m.exists && m.dir) return disposition == CREATE_NEW ? ERROR_FILE_EXISTS : ERROR_ACCESS_DENIED;
  if (m.trailing) return ERROR_INVALID_NAME;  // a file's name never ends in a backslash
  access = DataRights(access);
  int flags = (access & GENERIC_WRITE) ? O_RDWR : O_RDONLY;
  struct stat st = m.st;
  if (m.exists) {
    *existed = true;
    if (disposition == CREATE_NEW) return ERROR_FILE_EXISTS;
    bool truncate = disposition == CREATE_ALWAYS || disposition == TRUNCATE_EXISTING;
    if (ReadOnly(st) && ((access & GENERIC_WRITE) || truncate)) return ERROR_ACCESS_DENIED;
    if (ShareConflict(st, access, share)) return ERROR_SHARING_VIOLATION;
    if (truncate) flags = O_RDWR | O_TRUNC;
  } else {
    if (disposition == OPEN_EXISTING || disposition == TRUNCATE_EXISTING) return ERROR_FILE_NOT_FOUND;
    flags = O_RDWR | O_CREAT | O_EXCL;
  }
  mode_t mode = (attributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0666;
  int fd = open(m.host.c_str(), flags | O_CLOEXEC, mode);
  if (fd < 0) return ErrnoError(errno, ERROR_ACCESS_DENIED);
  if (fstat(fd, &st) != 0) {
    close(fd);
    return ERROR_ACCESS_DENIED;
  }
  Entry e;
  e.fd = fd;
  e.access = access;
  e.share = share;
  e.dev = st.st_dev;
  e.ino = st.st_ino;
  *out = Add(e);
  if (opened) *opened = st;
  return 0;
}

}  // namespace wh

// ---- Handles ----

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE) {
  if (wh::Fail("CreateFileA", ERROR_ACCESS_DENIED)) return INVALID_HANDLE_VALUE;
  HANDLE h;
  bool existed;
  struct stat st;
  DWORD err = wh::OpenFile(lpFileName, dwDesiredAccess, dwShareMode, dwCreationDisposition,
                           dwFlagsAndAttributes, &h, &existed, &st);
  if (err) {
    wh::SetError(err);
    return INVALID_HANDLE_VALUE;
  }
  wh::BufferReads(h, st);
  bool says = existed && (dwCreationDisposition == CREATE_ALWAYS || dwCreationDisposition == OPEN_ALWAYS);
  wh::SetError(says ? ERROR_ALREADY_EXISTS : 0);
  return h;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
  if (hObject == INVALID_HANDLE_VALUE) return TRUE;  // the current process's pseudo-handle
  if (wh::Fail("CloseHandle", ERROR_INVALID_HANDLE)) {
    wh::CloseFile(hObject);  // a failed close leaves no usable handle behind either
    return FALSE;
  }
  if (!wh::CloseFile(hObject)) return wh::Failed(ERROR_INVALID_HANDLE);
  return TRUE;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead,
                     LPDWORD lpNumberOfBytesRead, LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = 0;
  if (wh::Fail("ReadFile", ERROR_READ_FAULT)) return FALSE;
  DWORD access;
  int fd = wh::FileDescriptor(hFile, &access);
  if (fd < 0) return wh::Failed(ERROR_INVALID_HANDLE);
  if (lpOverlapped) return wh::Failed(ERROR_INVALID_PARAMETER);
  if (!(access & GENERIC_READ)) return wh::Failed(ERROR_ACCESS_DENIED);
  DWORD done = 0;
  if (wh::ReadPieces *pieces = wh::Find(hFile)->pieces) {
    if (int e = wh::ReadBuffered(fd, pieces, (BYTE *)lpBuffer, nNumberOfBytesToRead, &done))
      return wh::Failed(wh::ErrnoError(e, ERROR_READ_FAULT));
    if (lpNumberOfBytesRead) *lpNumberOfBytesRead = done;
    return TRUE;
  }
  while (done < nNumberOfBytesToRead) {
    ssize_t n = read(fd, (char *)lpBuffer + done, nNumberOfBytesToRead - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return wh::Failed(wh::ErrnoError(errno, ERROR_READ_FAULT));
    if (n == 0) break;  // end of file: success with what there was
    done += (DWORD)n;
  }
  if (lpNumberOfBytesRead) *lpNumberOfBytesRead = done;
  return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = 0;
  if (wh::Fail("WriteFile", ERROR_DISK_FULL)) return FALSE;
  DWORD access;
  int fd = wh::FileDescriptor(hFile, &access);
  if (fd < 0) return wh::Failed(ERROR_INVALID_HANDLE);
  if (lpOverlapped) return wh::Failed(ERROR_INVALID_PARAMETER);
  if (!(access & GENERIC_WRITE)) return wh::Failed(ERROR_ACCESS_DENIED);
  DWORD done = 0;
  while (done < nNumberOfBytesToWrite) {
    ssize_t n = write(fd, (const char *)lpBuffer + done, nNumberOfBytesToWrite - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
      return wh::Failed(wh::ErrnoError(n < 0 ? errno : ENOSPC, ERROR_WRITE_FAULT));
    }
    done += (DWORD)n;
  }
  if (lpNumberOfBytesWritten) *lpNumberOfBytesWritten = done;
  return TRUE;
}

DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh,
                            DWORD dwMoveMethod) {
  if (wh::Fail("SetFilePointer", ERROR_INVALID_HANDLE)) return INVALID_SET_FILE_POINTER;
  int fd = wh::FileDescriptor(hFile, nullptr);
  if (fd < 0) return wh::Failed(ERROR_INVALID_HANDLE), INVALID_SET_FILE_POINTER;
  int whence = dwMoveMethod == FILE_BEGIN ? SEEK_SET : dwMoveMethod == FILE_CURRENT ? SEEK_CUR
             : dwMoveMethod == FILE_END ? SEEK_END : -1;
  if (whence < 0) return wh::Failed(ERROR_INVALID_PARAMETER), INVALID_SET_FILE_POINTER;
  long long distance = lpDistanceToMoveHigh
                           ? (long long)(((unsigned long long)(DWORD)*lpDistanceToMoveHigh << 32) |
                                         (DWORD)lDistanceToMove)
                           : (long long)lDistanceToMove;
  wh::ReadPieces *pieces = wh::Find(hFile)->pieces;
  long long from = whence == SEEK_SET ? 0
                   : pieces         ? (whence == SEEK_CUR ? pieces->position : pieces->size)
                                    : (long long)lseek(fd, 0, whence);
  long long to = from + distance;
  if (to < 0) return wh::Failed(ERROR_NEGATIVE_SEEK), INVALID_SET_FILE_POINTER;
  if (!lpDistanceToMoveHigh && to > 0xFFFFFFFELL)
    return wh::Failed(ERROR_INVALID_PARAMETER), INVALID_SET_FILE_POINTER;
  if (pieces)
    pieces->position = to;
  else if (lseek(fd, (off_t)to, SEEK_SET) < 0)
    return wh::Failed(wh::ErrnoError(errno, ERROR_SEEK)), INVALID_SET_FILE_POINTER;
  if (lpDistanceToMoveHigh) *lpDistanceToMoveHigh = (LONG)(to >> 32);
  wh::SetError(0);  // a result of 0xFFFFFFFF with a high part is no failure
  return (DWORD)to;
}

DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh) {
  if (wh::Fail("GetFileSize", ERROR_INVALID_HANDLE)) return INVALID_FILE_SIZE;
  int fd = wh::FileDescriptor(hFile, nullptr);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) return wh::Failed(ERROR_INVALID_HANDLE), INVALID_FILE_SIZE;
  unsigned long long size = (unsigned long long)st.st_size;
  if (lpFileSizeHigh) *lpFileSizeHigh = (DWORD)(size >> 32);
  wh::SetError(0);
  return (DWORD)size;
}

// ---- Whole files ----

namespace {

bool CopyBytes(int from, int to) {
  char buf[65536];
  for (;;) {
    ssize_t n = read(from, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    for (ssize_t off = 0; off < n;) {
      ssize_t w = write(to, buf + off, (size_t)(n - off));
      if (w < 0 && errno == EINTR) continue;
      if (w <= 0) {
        if (w == 0) errno = ENOSPC;
        return false;
      }
      off += w;
    }
  }
}

}  // namespace

BOOL WINAPI CopyFileA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, BOOL bFailIfExists) {
  if (wh::Fail("CopyFileA", ERROR_ACCESS_DENIED)) return FALSE;
  wh::MappedPath src, dst;
  if (DWORD err = wh::MapPathInfo(lpExistingFileName, &src)) return wh::Failed(err);
  if (!src.exists) return wh::Failed(ERROR_FILE_NOT_FOUND);
  if (src.dir) return wh::Failed(ERROR_ACCESS_DENIED);
  if (src.trailing) return wh::Failed(ERROR_INVALID_NAME);
  struct stat sst, dst_st;
  if (stat(src.host.c_str(), &sst) != 0) return wh::Failed(wh::ErrnoError(errno, ERROR_ACCESS_DENIED));
  // The source is read shared for reading and writing; the target is written
  // the same way.
  const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE;
  if (wh::ShareConflict(sst, GENERIC_READ, share)) return wh::Failed(ERROR_SHARING_VIOLATION);
  if (DWORD err = wh::MapPathInfo(lpNewFileName, &dst)) return wh::Failed(err);
  bool existed = dst.exists && stat(dst.host.c_str(), &dst_st) == 0;
  if (existed) {
    if (bFailIfExists) return wh::Failed(ERROR_FILE_EXISTS);
    if (dst.dir) return wh::Failed(ERROR_ACCESS_DENIED);
    if (dst_st.st_dev == sst.st_dev && dst_st.st_ino == sst.st_ino)
      return wh::Failed(ERROR_SHARING_VIOLATION);
    if (wh::ReadOnly(dst_st)) return wh::Failed(ERROR_ACCESS_DENIED);
    if (wh::ShareConflict(dst_st, GENERIC_WRITE, share)) return wh::Failed(ERROR_SHARING_VIOLATION);
  } else if (dst.trailing) {
    return wh::Failed(ERROR_INVALID_NAME);
  }
  int in = open(src.host.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return wh::Failed(wh::ErrnoError(errno, ERROR_ACCESS_DENIED));
  // An existing target is rewritten in place, so that its other handles see
  // the new content as they would on Windows.
  int out = open(dst.host.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (out < 0) {
    int e = errno;
    close(in);
    return wh::Failed(wh::ErrnoError(e, ERROR_ACCESS_DENIED));
  }
  bool ok = CopyBytes(in, out);
  int e = errno;
  if (ok) {
    // The copy keeps the source's last-write time and read-only attribute.
    struct timespec times[2] = {sst.st_atim, sst.st_mtim};
    futimens(out, times);
    fchmod(out, sst.st_mode & 07777);
  }
  close(in);
  close(out);
  if (!ok) {
    if (!existed) unlink(dst.host.c_str());
    return wh::Failed(wh::ErrnoError(e, ERROR_WRITE_FAULT));
  }
  wh::SetError(0);
  return TRUE;
}

BOOL WINAPI DeleteFileA(LPCSTR lpFileName) {
  if (wh::Fail("DeleteFileA", ERROR_ACCESS_DENIED)) return FALSE;
  wh::MappedPath m;
  if (DWORD err = wh::MapPathInfo(lpFileName, &m)) return wh::Failed(err);
  if (m.exists && m.dir) return wh::Failed(ERROR_ACCESS_DENIED);
  if (m.trailing) return wh::Failed(ERROR_INVALID_NAME);
  struct stat st;
  if (!m.exists || stat(m.host.c_str(), &st) != 0) return wh::Failed(ERROR_FILE_NOT_FOUND);
  if (wh::ReadOnly(st)) return wh::Failed(ERROR_ACCESS_DENIED);
  if (wh::DeleteBlocked(st)) return wh::Failed(ERROR_SHARING_VIOLATION);
  if (unlink(m.host.c_str()) != 0) return wh::Failed(wh::ErrnoError(errno, ERROR_ACCESS_DENIED));
  return TRUE;
}

DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName) {
  if (wh::Fail("GetFileAttributesA", ERROR_FILE_NOT_FOUND)) return INVALID_FILE_ATTRIBUTES;
  wh::MappedPath m;
  DWORD err = wh::MapPathInfo(lpFileName, &m);
  struct stat st;
  if (!err && (!m.exists || stat(m.host.c_str(), &st) != 0)) err = ERROR_FILE_NOT_FOUND;
  if (!err && m.trailing && !m.dir) err = ERROR_PATH_NOT_FOUND;
  if (err) return wh::Failed(err), INVALID_FILE_ATTRIBUTES;
  // A link in the sandbox is a reparse point, as Windows reports a junction
  // or a symbolic link: the name itself, not what it leads to.
  struct stat own;
  DWORD link = lstat(m.host.c_str(), &own) == 0 && S_ISLNK(own.st_mode) ? FILE_ATTRIBUTE_REPARSE_POINT : 0;
  if (m.dir) return FILE_ATTRIBUTE_DIRECTORY | link;
  // Files always carry the archive bit, as they do under Wine.
  return FILE_ATTRIBUTE_ARCHIVE | (wh::ReadOnly(st) ? FILE_ATTRIBUTE_READONLY : 0) | link;
}

BOOL WINAPI SetFileAttributesA(LPCSTR lpFileName, DWORD dwFileAttributes) {
  if (wh::Fail("SetFileAttributesA", ERROR_ACCESS_DENIED)) return FALSE;
  wh::MappedPath m;
  DWORD err = wh::MapPathInfo(lpFileName, &m);
  struct stat st;
  if (!err && (!m.exists || stat(m.host.c_str(), &st) != 0)) err = ERROR_FILE_NOT_FOUND;
  if (!err && m.trailing && !m.dir) err = ERROR_PATH_NOT_FOUND;
  if (err) return wh::Failed(err);
  if (m.dir) return TRUE;  // folders keep no attributes of their own here
  mode_t mode = st.st_mode & 07777;
  mode = (dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? (mode & ~0222) : (mode | 0200);
  if (chmod(m.host.c_str(), mode) != 0) return wh::Failed(wh::ErrnoError(errno, ERROR_ACCESS_DENIED));
  return TRUE;
}

// ---- Folders ----

BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES) {
  if (wh::Fail("CreateDirectoryA", ERROR_ACCESS_DENIED)) return FALSE;
  wh::MappedPath m;
  if (DWORD err = wh::MapPathInfo(lpPathName, &m)) return wh::Failed(err);
  if (m.exists) return wh::Failed(ERROR_ALREADY_EXISTS);
  if (mkdir(m.host.c_str(), 0777) != 0) return wh::Failed(wh::ErrnoError(errno, ERROR_ACCESS_DENIED));
  return TRUE;
}

BOOL WINAPI RemoveDirectoryA(LPCSTR lpPathName) {
  if (wh::Fail("RemoveDirectoryA", ERROR_ACCESS_DENIED)) return FALSE;
  wh::MappedPath m, cwd;
  if (DWORD err = wh::MapPathInfo(lpPathName, &m)) return wh::Failed(err);
  if (!m.exists) return wh::Failed(ERROR_FILE_NOT_FOUND);
  if (!m.dir) return wh::Failed(ERROR_DIRECTORY);
  if (m.root) return wh::Failed(ERROR_ACCESS_DENIED);
  // The process's current directory is held open, as on Windows.
  if (wh::MapPathInfo(wh::CurrentDir().c_str(), &cwd) == 0 && cwd.host == m.host)
    return wh::Failed(ERROR_SHARING_VIOLATION);
  if (rmdir(m.host.c_str()) != 0) {
    int e = errno;
    return wh::Failed(e == EEXIST ? ERROR_DIR_NOT_EMPTY : wh::ErrnoError(e, ERROR_ACCESS_DENIED));
  }
  return TRUE;
}

// ---- Test API ----

namespace winhost {

int OpenFileHandles() {
  int n = 0;
  for (auto &kv : wh::T().open)
    if (kv.second.kind == wh::kFileHandle) n++;
  return n;
}

std::string HostPath(const char *winpath) {
  std::string host;
  return wh::MapPath(winpath, &host) == 0 ? host : std::string();
}

}  // namespace winhost
