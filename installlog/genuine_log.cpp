// The records a genuine installation writes, and the uninstaller's check of
// every record against them.
#include "installlog/genuine_log.h"

#include <string.h>

#include "common/shell_folders.h"
#include "common/text.h"

const char kProductName[] = "TolvaMarked Verifier";
const char kProductShortName[] = "TNM Verifier";
const char kUninstallKeyParent[] = "Software\\microsoft\\windows\\CurrentVersion\\Uninstall";
const char kShellKeyParent[] = "*\\shell";
const char kVerbName[] = "checksig";
const char *const kUserKeys[USER_KEY_COUNT] = {"Software\\Kelvorind\\TNM Verifier\\QENVO\\TNM Verifier",
                                               "Software\\Kelvorind\\TNM Verifier\\QENVO",
                                               "Software\\Kelvorind\\TNM Verifier"};
const char *const kSubmenuLinks[SUBMENU_LINK_COUNT] = {kProductName, "ReadMe", "Help", "Uninstall"};

enum { kPathCapacity = 2000 };

static const char kLinkSuffix[] = ".lnk";

// folder's full path, ending in a backslash, into out; empty when it cannot
// be had.
static void FullFolder(const char *folder, char *out) {
  DWORD n = GetFullPathNameA(folder, GENUINE_FOLDER_CAPACITY - 1, out, NULL);
  if (n == 0 || n >= GENUINE_FOLDER_CAPACITY - 1 || EndWithBackslash(out, GENUINE_FOLDER_CAPACITY))
    out[0] = 0;
}

void FindGenuineFolders(const char *installDir, GenuineFolders *folders) {
  FullFolder(installDir, folders->installDir);
  struct {
    const char *value;
    char *out;
  } const shell[] = {{"Desktop", folders->desktop},
                     {"Start Menu", folders->startMenu},
                     {"Programs", folders->programs}};
  char value[GENUINE_FOLDER_CAPACITY];
  for (const auto &s : shell) {
    s.out[0] = 0;
    if (QueryShellFolder(value, s.value, sizeof value) == 0) FullFolder(value, s.out);
  }
}

// The full path of a logged path, as Windows resolves it; false for anything
// but a path from a drive's root ("c:\..." or "c:/..."), and for one with a
// step of dots alone, which a genuine log never holds.
static bool FullPath(const char *path, char *full) {
  char letter = LowerAscii(path[0]);
  if (letter < 'a' || letter > 'z' || path[1] != ':' || !IsPathSeparator(path[2])) return false;
  if (HasDotStep(path)) return false;
  DWORD n = GetFullPathNameA(path, kPathCapacity, full, NULL);
  return n > 0 && n < kPathCapacity;
}

// Is full below folder (ending in a backslash), through no folder on the
// way that is a link or junction to somewhere else?
static bool IsBelowFolder(char *full, const char *folder) {
  size_t base = strlen(folder);
  if (!base || strlen(full) <= base || !BeginsWithPath(full, folder)) return false;
  for (char *p = full + base; *p; p++) {
    if (*p != '\\') continue;
    *p = 0;
    DWORD attributes = GetFileAttributesA(full);
    *p = '\\';
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
      return false;
  }
  return true;
}

// Is full folder\name followed by suffix?
static bool IsPathOf(const char *full, const char *folder, const char *name, const char *suffix) {
  char expected[kPathCapacity];
  if (!folder[0] || JoinPath(expected, sizeof expected, folder, name) ||
      AppendText(expected, sizeof expected, suffix))
    return false;
  return SamePath(full, expected);
}

static bool IsGenuineLink(const char *full, const GenuineFolders *f) {
  if (IsPathOf(full, f->desktop, kProductName, kLinkSuffix)) return true;
  if (IsPathOf(full, f->startMenu, kProductName, kLinkSuffix)) return true;
  char submenu[kPathCapacity];
  if (!f->programs[0] || JoinPath(submenu, sizeof submenu, f->programs, kProductShortName))
    return false;
  for (const char *link : kSubmenuLinks)
    if (IsPathOf(full, submenu, link, kLinkSuffix)) return true;
  return false;
}

// Letter case aside, is text parent\name followed by below? A key's name
// may hold a '/', so only the exact text counts.
static bool IsKey(const char *text, const char *parent, const char *name, const char *below) {
  char expected[kPathCapacity];
  if (JoinPath(expected, sizeof expected, parent, name) || AppendText(expected, sizeof expected, below))
    return false;
  return SameText(text, expected);
}

static bool IsGenuineKey(const LogRecord *r) {
  if (r->set == LOG_SETUP_RECORD && r->root == HKEY_LOCAL_MACHINE)
    return IsKey(r->payload, kUninstallKeyParent, kProductShortName, "");
  if (r->set == LOG_SETUP_RECORD && r->root == HKEY_CLASSES_ROOT)
    return IsKey(r->payload, kShellKeyParent, kVerbName, "\\command") ||
           IsKey(r->payload, kShellKeyParent, kVerbName, "");
  if (r->set == LOG_UNINSTALL_RECORD && r->root == HKEY_CURRENT_USER) {
    for (const char *key : kUserKeys)
      if (SameText(r->payload, key)) return true;
  }
  return false;
}

bool IsGenuineRecord(const LogRecord *record, const GenuineFolders *folders) {
  char full[kPathCapacity];
  switch (record->kind) {
    case LOG_FILE:
      if (record->set != LOG_SETUP_RECORD || !FullPath(record->payload, full)) return false;
      return IsGenuineLink(full, folders) || IsBelowFolder(full, folders->installDir);
    case LOG_FOLDER:
      if (record->set != LOG_SETUP_RECORD || !FullPath(record->payload, full)) return false;
      return IsPathOf(full, folders->programs, kProductShortName, "\\");
    case LOG_KEY:
      return IsGenuineKey(record);
    default:
      return false;
  }
}

bool IsGenuineRecordOf(const LogRecord *record, const void *folders) {
  return IsGenuineRecord(record, (const GenuineFolders *)folders);
}
