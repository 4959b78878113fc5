// File times: FILETIME is 100 ns units since 1601-01-01 UTC. The host file's
// modification and access times carry the last-write and last-access times;
// local time is the process's time zone (TZ), whose current bias applies to
// every conversion, as on Windows.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <stdlib.h>
#include <time.h>

#include <string>

#include "internal.h"

namespace {

const long long kTicksPerSecond = 10000000LL;
const long long kUnixEpoch = 116444736000000000LL;  // 1970-01-01 in FILETIME ticks

long long Ticks(const FILETIME *ft) {
  return (long long)(((unsigned long long)ft->dwHighDateTime << 32) | ft->dwLowDateTime);
}

void SetTicks(FILETIME *ft, long long t) {
  ft->dwLowDateTime = (DWORD)((unsigned long long)t & 0xFFFFFFFFu);
  ft->dwHighDateTime = (DWORD)((unsigned long long)t >> 32);
}

struct timespec ToTimespec(long long ticks) {
  long long t = ticks - kUnixEpoch;
  long long sec = t / kTicksPerSecond, rem = t % kTicksPerSecond;
  if (rem < 0) {
    rem += kTicksPerSecond;
    sec--;
  }
  struct timespec ts;
  ts.tv_sec = (time_t)sec;
  ts.tv_nsec = (long)(rem * 100);
  return ts;
}

void FromTimespec(const struct timespec &ts, FILETIME *ft) {
  SetTicks(ft, (long long)ts.tv_sec * kTicksPerSecond + ts.tv_nsec / 100 + kUnixEpoch);
}

// Days from 1970-01-01 to the given day of the proleptic Gregorian calendar;
// a day past the month's end simply runs on into the next month.
long long DaysFromCivil(long long y, unsigned m, unsigned d) {
  y -= m <= 2;
  long long era = (y >= 0 ? y : y - 399) / 400;
  unsigned yoe = (unsigned)(y - era * 400);
  unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + (long long)doe - 719468;
}

// Seconds east of UTC now: the bias Windows applies to every local time.
// Asking the C library costs a look at /etc/localtime each time, so the
// answer is kept until TZ changes or the next quarter hour (when a zone
// may change its bias).
long long CurrentOffset() {
  static std::string zone;
  static bool known = false, zoneSet = false;
  static long long offset = 0;
  static time_t until = 0;
  const char *tz = getenv("TZ");
  time_t now = time(nullptr);
  if (known && now < until && (tz ? zoneSet && zone == tz : !zoneSet)) return offset;
  tzset();
  struct tm tm;
  localtime_r(&now, &tm);
  zoneSet = tz != nullptr;
  zone = tz ? tz : "";
  offset = (long long)tm.tm_gmtoff;
  until = (now / 900 + 1) * 900;
  known = true;
  return offset;
}

bool Valid(long long t) { return t >= 0; }

}  // namespace

BOOL WINAPI SetFileTime(HANDLE hFile, const FILETIME *lpCreationTime,
                        const FILETIME *lpLastAccessTime, const FILETIME *lpLastWriteTime) {
  if (wh::Fail("SetFileTime", ERROR_ACCESS_DENIED)) return FALSE;
  DWORD access;
  int fd = wh::FileDescriptor(hFile, &access);
  if (fd < 0) {
    wh::SetError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!(access & GENERIC_WRITE)) {
    wh::SetError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  (void)lpCreationTime;  // Linux keeps no settable creation time
  // A NULL time, or one of 0, leaves that time as it is.
  struct timespec times[2];
  times[0].tv_nsec = times[1].tv_nsec = UTIME_OMIT;
  times[0].tv_sec = times[1].tv_sec = 0;
  if (lpLastAccessTime && Ticks(lpLastAccessTime) > 0) times[0] = ToTimespec(Ticks(lpLastAccessTime));
  if (lpLastWriteTime && Ticks(lpLastWriteTime) > 0) times[1] = ToTimespec(Ticks(lpLastWriteTime));
  if (futimens(fd, times) != 0) {
    wh::SetError(wh::ErrnoError(errno, ERROR_ACCESS_DENIED));
    return FALSE;
  }
  return TRUE;
}

BOOL WINAPI GetFileTime(HANDLE hFile, LPFILETIME lpCreationTime, LPFILETIME lpLastAccessTime,
                        LPFILETIME lpLastWriteTime) {
  if (wh::Fail("GetFileTime", ERROR_INVALID_HANDLE)) return FALSE;
  int fd = wh::FileDescriptor(hFile, nullptr);
  struct statx sx;
  if (fd < 0 || statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) {
    wh::SetError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  auto conv = [](const struct statx_timestamp &t) {
    struct timespec ts;
    ts.tv_sec = (time_t)t.tv_sec;
    ts.tv_nsec = (long)t.tv_nsec;
    return ts;
  };
  if (lpCreationTime)
    FromTimespec(conv((sx.stx_mask & STATX_BTIME) ? sx.stx_btime : sx.stx_mtime), lpCreationTime);
  if (lpLastAccessTime) FromTimespec(conv(sx.stx_atime), lpLastAccessTime);
  if (lpLastWriteTime) FromTimespec(conv(sx.stx_mtime), lpLastWriteTime);
  return TRUE;
}

BOOL WINAPI DosDateTimeToFileTime(WORD wFatDate, WORD wFatTime, LPFILETIME lpFileTime) {
  if (wh::Fail("DosDateTimeToFileTime", ERROR_INVALID_PARAMETER)) return FALSE;
  unsigned day = wFatDate & 31, month = (wFatDate >> 5) & 15, year = 1980 + (wFatDate >> 9);
  unsigned sec = (wFatTime & 31) * 2, minute = (wFatTime >> 5) & 63, hour = wFatTime >> 11;
  // The fields are checked as Wine checks them: February always allows a 29th
  // day (which in a common year is 1 March).
  static const unsigned kMonthDays[12] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12 || day < 1 || day > kMonthDays[month - 1] || hour > 23 ||
      minute > 59 || sec > 59 || !lpFileTime) {
    wh::SetError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  long long seconds = DaysFromCivil(year, month, day) * 86400LL + hour * 3600 + minute * 60 + sec;
  SetTicks(lpFileTime, seconds * kTicksPerSecond + kUnixEpoch);
  return TRUE;
}

BOOL WINAPI LocalFileTimeToFileTime(const FILETIME *lpLocalFileTime, LPFILETIME lpFileTime) {
  if (wh::Fail("LocalFileTimeToFileTime", ERROR_INVALID_PARAMETER)) return FALSE;
  long long t = lpLocalFileTime ? Ticks(lpLocalFileTime) - CurrentOffset() * kTicksPerSecond : -1;
  if (!lpFileTime || !Valid(t)) {
    wh::SetError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  SetTicks(lpFileTime, t);
  return TRUE;
}

BOOL WINAPI FileTimeToLocalFileTime(const FILETIME *lpFileTime, LPFILETIME lpLocalFileTime) {
  if (wh::Fail("FileTimeToLocalFileTime", ERROR_INVALID_PARAMETER)) return FALSE;
  long long t = lpFileTime ? Ticks(lpFileTime) + CurrentOffset() * kTicksPerSecond : -1;
  if (!lpLocalFileTime || !Valid(t)) {
    wh::SetError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  SetTicks(lpLocalFileTime, t);
  return TRUE;
}
