// The ANSI code page of a Western European Windows, Windows-1252, and its
// conversions to and from UTF-16.
#include <string.h>

#include <string>

#include "internal.h"

namespace {

const UINT kCp1252 = 1252;

// Bytes 0x80-0x9F. The five bytes that 1252 leaves undefined (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) map to the C1 control of the same value, as Windows does;
// every other byte is its Latin-1 code point.
const char16_t kHigh[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t ToWide(unsigned char c) {
  return c >= 0x80 && c < 0xA0 ? kHigh[c - 0x80] : (char16_t)c;
}

// The byte for a UTF-16 unit, or -1 when 1252 has none.
int ToAnsi(char16_t w) {
  if (w < 0x80 || (w >= 0xA0 && w <= 0xFF)) return (int)w;
  for (int i = 0; i < 32; i++)
    if (kHigh[i] == w) return 0x80 + i;
  return -1;
}

bool KnownCodePage(UINT cp) { return cp == CP_ACP || cp == kCp1252; }

}  // namespace

namespace wh {

std::u16string AnsiToWide(const char *text) {
  std::u16string out;
  for (const unsigned char *p = (const unsigned char *)(text ? text : ""); *p; p++)
    out += ToWide(*p);
  return out;
}

std::string WideToAnsi(const WCHAR *text) {
  std::string out;
  for (const WCHAR *p = text; p && *p; p++) {
    int b = ToAnsi(*p);
    out += b < 0 ? '?' : (char)b;
  }
  return out;
}

}  // namespace wh

// A negative source length means "up to and with the terminator" (Windows
// takes any negative value so, not only -1). The result counts what was or
// would be written; too small a buffer fails with ERROR_INSUFFICIENT_BUFFER
// after filling what fits, as Windows does.
int WINAPI MultiByteToWideChar(UINT CodePage, DWORD, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
  if (wh::Fail("MultiByteToWideChar", ERROR_INSUFFICIENT_BUFFER)) return 0;
  if (!KnownCodePage(CodePage) || !lpMultiByteStr || cbMultiByte == 0 || cchWideChar < 0 ||
      (!lpWideCharStr && cchWideChar != 0)) {
    wh::SetError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t n = cbMultiByte < 0 ? strlen(lpMultiByteStr) + 1 : (size_t)cbMultiByte;
  if (cchWideChar == 0) return (int)n;
  const unsigned char *src = (const unsigned char *)lpMultiByteStr;
  size_t fit = n < (size_t)cchWideChar ? n : (size_t)cchWideChar;
  for (size_t i = 0; i < fit; i++) lpWideCharStr[i] = ToWide(src[i]);
  if (fit < n) {
    wh::SetError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  return (int)n;
}

// Every UTF-16 unit gives one byte; units that 1252 cannot show (a surrogate
// half among them) become the default character, '?' unless one is given.
int WINAPI WideCharToMultiByte(UINT CodePage, DWORD, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                               LPBOOL lpUsedDefaultChar) {
  if (wh::Fail("WideCharToMultiByte", ERROR_INSUFFICIENT_BUFFER)) return 0;
  if (!KnownCodePage(CodePage) || !lpWideCharStr || cchWideChar == 0 || cbMultiByte < 0 ||
      (!lpMultiByteStr && cbMultiByte != 0)) {
    wh::SetError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  size_t n = 0;
  if (cchWideChar < 0) {
    while (lpWideCharStr[n]) n++;
    n++;
  } else {
    n = (size_t)cchWideChar;
  }
  char fallback = lpDefaultChar && *lpDefaultChar ? *lpDefaultChar : '?';
  bool used = false;
  size_t cap = cbMultiByte == 0 ? 0 : (size_t)cbMultiByte;
  for (size_t i = 0; i < n; i++) {
    int b = ToAnsi(lpWideCharStr[i]);
    if (b < 0) {
      b = (unsigned char)fallback;
      used = true;
    }
    if (cbMultiByte != 0) {
      if (i >= cap) {
        wh::SetError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
      }
      lpMultiByteStr[i] = (char)b;
    }
  }
  if (lpUsedDefaultChar) *lpUsedDefaultChar = used ? TRUE : FALSE;
  return (int)n;
}
