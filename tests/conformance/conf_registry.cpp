// The registry, below HKEY_CURRENT_USER\Software\WinhostConformance: keys
// made and opened (letter case, backslashes, empty sub-keys), typed values and
// their sizes, delete rules, handles on deleted keys, closing; everything made
// is deleted again, deepest key first.
#include "conformance.h"

namespace {

const char kBase[] = "Software\\WinhostConformance";
const char *const kMade[] = {
    "Software\\WinhostConformance\\Registry\\Deep\\Er",
    "Software\\WinhostConformance\\Registry\\Deep",
    "Software\\WinhostConformance\\Registry\\Trail",
    "Software\\WinhostConformance\\Registry\\Dbl\\Inner",
    "Software\\WinhostConformance\\Registry\\Dbl",
    "Software\\WinhostConformance\\Registry\\\xC4pfel",
    "Software\\WinhostConformance\\Registry",
    "Software\\WinhostConformance",
};

// Keys the checks delete themselves (or never make).
const char *const kTransient[] = {
    "Software\\WinhostConformance\\Registry\\Gone",
    "Software\\WinhostConformance\\Registry\\Self",
    "Software\\WinhostConformance\\Registry\\Lead",
};

bool Exists(const char *path) {
  HKEY h;
  if (RegOpenKeyA(HKEY_CURRENT_USER, path, &h) != ERROR_SUCCESS) return false;
  RegCloseKey(h);
  return true;
}

LONG SetBytes(HKEY h, const char *name, DWORD type, const void *data, DWORD size) {
  return RegSetValueExA(h, name, 0, type, (const BYTE *)data, size);
}

void KeysAndPaths(HKEY reg) {
  HKEY h = NULL, h2 = NULL;
  // Every missing component of a path is made; an existing key is opened.
  CHECK_EQ(RegCreateKeyA(reg, "Deep\\Er", &h), ERROR_SUCCESS);
  CHECK_EQ(RegCloseKey(h), ERROR_SUCCESS);
  CHECK_EQ(RegCreateKeyA(reg, "DEEP\\er", &h), ERROR_SUCCESS);
  CHECK_EQ(RegCloseKey(h), ERROR_SUCCESS);
  CHECK(Exists("SOFTWARE\\winhostconformance\\REGISTRY\\deep\\ER"));
  CHECK_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "software\\WinhostConformance\\registry\\Deep", 0,
                         KEY_READ, &h),
           ERROR_SUCCESS);
  CHECK_EQ(RegCloseKey(h), ERROR_SUCCESS);
  // A missing key is not made by opening it.
  CHECK_EQ(RegOpenKeyA(reg, "Missing\\Key", &h), ERROR_FILE_NOT_FOUND);
  CHECK_EQ(RegOpenKeyExA(reg, "Missing", 0, KEY_READ, &h), ERROR_FILE_NOT_FOUND);
  CHECK_EQ(RegOpenKeyA(reg, "Missing", &h), ERROR_FILE_NOT_FOUND);
  // Letters of the ANSI code page fold too.
  CHECK_EQ(RegCreateKeyA(reg, "\xC4pfel", &h), ERROR_SUCCESS);
  CHECK_EQ(RegCloseKey(h), ERROR_SUCCESS);
  CHECK_EQ(RegOpenKeyA(reg, "\xE4PFEL", &h), ERROR_SUCCESS);
  CHECK_EQ(RegCloseKey(h), ERROR_SUCCESS);

  // A leading backslash is a bad path; trailing and doubled ones add nothing.
  CHECK_EQ(RegOpenKeyA(reg, "\\Deep", &h), ERROR_BAD_PATHNAME);
  CHECK_EQ(RegOpenKeyExA(reg, "\\Deep", 0, KEY_READ, &h), ERROR_BAD_PATHNAME);
  CHECK_EQ(RegCreateKeyA(reg, "\\Lead", &h), ERROR_BAD_PATHNAME);
  CHECK_EQ(RegOpenKeyA(reg, "Lead", &h), ERROR_FILE_NOT_FOUND);
  CHECK_EQ(RegDeleteKeyA(reg, "\\Deep\\Er"), ERROR_BAD_PATHNAME);
  CHECK_EQ(RegCreateKeyA(reg, "Trail\\", &h), ERROR_SUCCESS);
  CHECK_EQ(RegCloseKey(h), ERROR_SUCCESS);
  CHECK_EQ(RegCreateKeyA(reg, "Dbl\\\\Inner", &h), ERROR_SUCCESS);
  CHECK_EQ(RegCloseKey(h), ERROR_SUCCESS);
  CHECK_EQ(RegOpenKeyA(reg, "Dbl\\Inner\\", &h), ERROR_SUCCESS);
  CHECK_EQ(RegCloseKey(h), ERROR_SUCCESS);
  CHECK_EQ(RegOpenKeyA(reg, "Deep\\\\Er", &h), ERROR_SUCCESS);
  CHECK_EQ(RegCloseKey(h), ERROR_SUCCESS);

  // An empty sub-key: RegOpenKeyA gives the same handle back, RegOpenKeyExA
  // a new one (the same for a root), RegCreateKeyA always a new one.
  CHECK_EQ(RegOpenKeyA(reg, "", &h), ERROR_SUCCESS);
  CHECK(h == reg);
  CHECK_EQ(RegOpenKeyA(reg, NULL, &h), ERROR_SUCCESS);
  CHECK(h == reg);
  CHECK_EQ(RegOpenKeyA(HKEY_CURRENT_USER, "", &h), ERROR_SUCCESS);
  CHECK(h == HKEY_CURRENT_USER);
  CHECK_EQ(RegOpenKeyExA(reg, "", 0, KEY_READ, &h), ERROR_SUCCESS);
  CHECK(h != reg);
  CHECK_EQ(RegCloseKey(h), ERROR_SUCCESS);
  CHECK_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, NULL, 0, KEY_READ, &h), ERROR_SUCCESS);
  CHECK(h == HKEY_CURRENT_USER);
  CHECK_EQ(RegCreateKeyA(reg, "", &h), ERROR_SUCCESS);
  CHECK(h != reg);
  CHECK_EQ(RegCreateKeyA(HKEY_CURRENT_USER, NULL, &h2), ERROR_SUCCESS);
  CHECK(h2 != HKEY_CURRENT_USER);
  CHECK_EQ(RegCloseKey(h), ERROR_SUCCESS);
  CHECK_EQ(RegCloseKey(h2), ERROR_SUCCESS);
}

void Values(HKEY reg) {
  HKEY h;
  if (RegCreateKeyA(reg, "Deep", &h) != ERROR_SUCCESS) {
    CHECK(!"Deep cannot be opened");
    return;
  }
  BYTE buf[64];
  DWORD type, cb;
  // The default value: missing at first, then NULL and "" name the same one.
  cb = sizeof buf;
  CHECK_EQ(RegQueryValueExA(h, NULL, NULL, &type, buf, &cb), ERROR_FILE_NOT_FOUND);
  CHECK_EQ(SetBytes(h, NULL, REG_SZ, "dflt", 5), ERROR_SUCCESS);
  cb = sizeof buf;
  CHECK_EQ(RegQueryValueExA(h, "", NULL, &type, buf, &cb), ERROR_SUCCESS);
  CHECK_EQ(cb, 5);
  CHECK_STR((char *)buf, "dflt");

  CHECK_EQ(SetBytes(h, "Text", REG_SZ, "hello", 6), ERROR_SUCCESS);
  // Too small: ERROR_MORE_DATA, the size needed and the type.
  cb = 5;
  type = 0;
  CHECK_EQ(RegQueryValueExA(h, "Text", NULL, &type, buf, &cb), ERROR_MORE_DATA);
  CHECK_EQ(cb, 6);
  CHECK_EQ(type, REG_SZ);
  // No buffer: the size and type only.
  cb = 0;
  type = 0;
  CHECK_EQ(RegQueryValueExA(h, "TEXT", NULL, &type, NULL, &cb), ERROR_SUCCESS);
  CHECK_EQ(cb, 6);
  CHECK_EQ(type, REG_SZ);
  cb = 6;
  memset(buf, 'x', sizeof buf);
  CHECK_EQ(RegQueryValueExA(h, "text", NULL, &type, buf, &cb), ERROR_SUCCESS);
  CHECK_STR((char *)buf, "hello");
  cb = sizeof buf;
  CHECK_EQ(RegQueryValueExA(h, "Nothing", NULL, &type, buf, &cb), ERROR_FILE_NOT_FOUND);
  CHECK_EQ(RegQueryValueExA(h, "Text", NULL, &type, buf, NULL), ERROR_INVALID_PARAMETER);

  DWORD n = 42;
  CHECK_EQ(SetBytes(h, "Number", REG_DWORD, &n, 4), ERROR_SUCCESS);
  DWORD got = 0;
  cb = sizeof got;
  CHECK_EQ(RegQueryValueExA(h, "number", NULL, &type, (BYTE *)&got, &cb), ERROR_SUCCESS);
  CHECK_EQ(type, REG_DWORD);
  CHECK_EQ(got, 42);
  const BYTE bin[5] = {1, 2, 0, 0xff, 7};
  CHECK_EQ(SetBytes(h, "Bytes", REG_BINARY, bin, 5), ERROR_SUCCESS);
  cb = sizeof buf;
  CHECK_EQ(RegQueryValueExA(h, "Bytes", NULL, &type, buf, &cb), ERROR_SUCCESS);
  CHECK_EQ(type, REG_BINARY);
  CHECK_EQ(cb, 5);
  CHECK(memcmp(buf, bin, 5) == 0);
  CHECK_EQ(SetBytes(h, "Expand", REG_EXPAND_SZ, "%WINDIR%\\x", 11), ERROR_SUCCESS);
  cb = 4;
  CHECK_EQ(RegQueryValueExA(h, "Expand", NULL, &type, buf, &cb), ERROR_MORE_DATA);
  CHECK_EQ(cb, 11);
  CHECK_EQ(type, REG_EXPAND_SZ);
  CHECK_EQ(SetBytes(h, "Multi", REG_MULTI_SZ, "a\0bc\0", 6), ERROR_SUCCESS);
  cb = sizeof buf;
  CHECK_EQ(RegQueryValueExA(h, "Multi", NULL, &type, buf, &cb), ERROR_SUCCESS);
  CHECK_EQ(type, REG_MULTI_SZ);
  CHECK_EQ(cb, 6);
  CHECK_EQ(SetBytes(h, "Odd", 0x1234, bin, 3), ERROR_SUCCESS);
  cb = sizeof buf;
  CHECK_EQ(RegQueryValueExA(h, "Odd", NULL, &type, buf, &cb), ERROR_SUCCESS);
  CHECK_EQ(type, 0x1234);
  CHECK_EQ(cb, 3);
  // A string whose count leaves out the terminator that follows it is read
  // back with one.
  CHECK_EQ(SetBytes(h, "Bare", REG_SZ, "abc", 3), ERROR_SUCCESS);
  cb = 0;
  CHECK_EQ(RegQueryValueExA(h, "Bare", NULL, &type, NULL, &cb), ERROR_SUCCESS);
  CHECK_EQ(cb, 4);
  // Followed by another byte, it is stored without a terminator, and the size
  // returned then counts none.
  CHECK_EQ(SetBytes(h, "Unended", REG_SZ, "abcX", 3), ERROR_SUCCESS);
  cb = sizeof buf;
  CHECK_EQ(RegQueryValueExA(h, "Unended", NULL, &type, buf, &cb), ERROR_SUCCESS);
  CHECK_EQ(cb, 3);
  CHECK(memcmp(buf, "abc", 3) == 0);
  // Overwriting changes the type.
  CHECK_EQ(SetBytes(h, "Text", REG_DWORD, &n, 4), ERROR_SUCCESS);
  cb = sizeof buf;
  CHECK_EQ(RegQueryValueExA(h, "Text", NULL, &type, buf, &cb), ERROR_SUCCESS);
  CHECK_EQ(type, REG_DWORD);
  CHECK_EQ(cb, 4);
  CHECK_EQ(SetBytes(h, "Null", REG_BINARY, NULL, 4), ERROR_NOACCESS);

  CHECK_EQ(RegDeleteValueA(h, "NUMBER"), ERROR_SUCCESS);
  CHECK_EQ(RegDeleteValueA(h, "Number"), ERROR_FILE_NOT_FOUND);
  CHECK_EQ(RegDeleteValueA(h, NULL), ERROR_SUCCESS);
  CHECK_EQ(RegDeleteValueA(h, ""), ERROR_FILE_NOT_FOUND);
  CHECK_EQ(RegCloseKey(h), ERROR_SUCCESS);
}

void DeletesAndHandles(HKEY reg) {
  // Never recursive: a key with sub-keys stays.
  CHECK_EQ(RegDeleteKeyA(reg, "Deep"), ERROR_ACCESS_DENIED);
  CHECK(Exists("Software\\WinhostConformance\\Registry\\Deep\\Er"));
  CHECK_EQ(RegDeleteKeyA(reg, "Deep\\Missing"), ERROR_FILE_NOT_FOUND);
  CHECK_EQ(RegDeleteKeyA(reg, "Missing\\Er"), ERROR_FILE_NOT_FOUND);
  CHECK_EQ(RegDeleteKeyA(reg, NULL), ERROR_INVALID_PARAMETER);

  // A handle on a key that is deleted answers ERROR_KEY_DELETED.
  HKEY h, h2, k;
  CHECK_EQ(RegCreateKeyA(reg, "Gone", &h), ERROR_SUCCESS);
  CHECK_EQ(RegOpenKeyA(reg, "gone", &h2), ERROR_SUCCESS);
  CHECK_EQ(SetBytes(h, "v", REG_SZ, "x", 2), ERROR_SUCCESS);
  CHECK_EQ(RegDeleteKeyA(reg, "GONE"), ERROR_SUCCESS);
  BYTE buf[8];
  DWORD type, cb = sizeof buf;
  CHECK_EQ(RegQueryValueExA(h, "v", NULL, &type, buf, &cb), ERROR_KEY_DELETED);
  CHECK_EQ(SetBytes(h2, "w", REG_SZ, "y", 2), ERROR_KEY_DELETED);
  CHECK_EQ(RegDeleteValueA(h, "v"), ERROR_KEY_DELETED);
  CHECK_EQ(RegCreateKeyA(h, "Kid", &k), ERROR_KEY_DELETED);
  CHECK_EQ(RegOpenKeyA(h, "Kid", &k), ERROR_KEY_DELETED);
  CHECK_EQ(RegCloseKey(h), ERROR_SUCCESS);
  CHECK_EQ(RegCloseKey(h2), ERROR_SUCCESS);
  CHECK(!Exists("Software\\WinhostConformance\\Registry\\Gone"));

  // An empty sub-key deletes the key of the handle.
  CHECK_EQ(RegCreateKeyA(reg, "Self", &h), ERROR_SUCCESS);
  CHECK_EQ(RegDeleteKeyA(h, ""), ERROR_SUCCESS);
  CHECK_EQ(RegCloseKey(h), ERROR_SUCCESS);
  CHECK(!Exists("Software\\WinhostConformance\\Registry\\Self"));

  // Closing: a root always, a handle once.
  CHECK_EQ(RegCloseKey(HKEY_CURRENT_USER), ERROR_SUCCESS);
  CHECK_EQ(RegCloseKey(HKEY_CLASSES_ROOT), ERROR_SUCCESS);
  CHECK_EQ(RegOpenKeyA(reg, "Deep", &h), ERROR_SUCCESS);
  CHECK_EQ(RegCloseKey(h), ERROR_SUCCESS);
  CHECK_EQ(RegCloseKey(h), ERROR_INVALID_HANDLE);
  CHECK_EQ(RegOpenKeyA(h, "Er", &k), ERROR_INVALID_HANDLE);
  CHECK_EQ(RegCloseKey(NULL), ERROR_INVALID_HANDLE);
}

void Run() {
  // What a broken earlier run may have left, deepest first.
  for (const char *path : kTransient) RegDeleteKeyA(HKEY_CURRENT_USER, path);
  for (const char *path : kMade) RegDeleteKeyA(HKEY_CURRENT_USER, path);

  HKEY reg = NULL;
  CHECK_EQ(RegOpenKeyA(HKEY_CURRENT_USER, kBase, &reg), ERROR_FILE_NOT_FOUND);
  CHECK_EQ(RegCreateKeyA(HKEY_CURRENT_USER, "Software\\WinhostConformance\\Registry", &reg),
           ERROR_SUCCESS);
  if (!reg) return;
  KeysAndPaths(reg);
  Values(reg);
  DeletesAndHandles(reg);
  CHECK_EQ(RegCloseKey(reg), ERROR_SUCCESS);

  // Bottom-up, everything goes again.
  CHECK_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, kBase), ERROR_ACCESS_DENIED);
  for (const char *path : kMade) CHECK_EQ(RegDeleteKeyA(HKEY_CURRENT_USER, path), ERROR_SUCCESS);
  CHECK(!Exists(kBase));
}

ConfSection g_section("registry", Run);

}  // namespace
