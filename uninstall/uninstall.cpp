// The product's uninstaller, UninstallTNM.exe. The system's program-removal
// entry starts it with the install log's full path after its own quoted path:
// it asks the user to confirm, removes what the log records (the setup's own
// records, then the uninstall-only ones), deletes the log and then the
// folders below the install folder that are left empty, and the install
// folder itself when nothing else is left in it.
#include <stdio.h>
#include <string.h>

#include "platform/win.h"
#include "replay/replay.h"

namespace {

enum { kPathCapacity = 2000, kLineCapacity = 2000, kLineReadSize = 1999, kNameCapacity = 128,
       kTextCapacity = 4400, kTagLength = 5 };

const char kCaption[] = "TolvaMarked Verifier - Uninstall";
const char kDefaultName[] = "TolvaMarked Verifier";
// The program's own file name, for a command line whose first token is not
// quoted although the folder holds blanks.
const char kProgramName[] = "uninstalltnm.exe";

char g_logPath[kPathCapacity];
char g_installDir[kPathCapacity];   // the log's folder, ending in a backslash
bool g_logPathIsFull;               // g_logPath is as GetFullPathNameA gave it
char g_productName[kNameCapacity];  // from the log's "Name:" line
char g_line[kLineCapacity];
char g_folder[kPathCapacity];
char g_text[kTextCapacity];

void Show(const char *text, UINT icon) {
  MessageBoxA(NULL, text, kCaption, MB_OK | icon);
}

char Lower(char c) {
  return c >= 'A' && c <= 'Z' ? (char)(c - 'A' + 'a') : c;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Does text begin with prefix, letter case aside (Windows paths)?
bool BeginsWith(const char *text, const char *prefix) {
  for (; *prefix; text++, prefix++)
    if (!*text || Lower(*text) != Lower(*prefix)) return false;
  return true;
}

// Where the program's own token ends. A quoted token ends at its closing
// quote; an unquoted one after the program's name when that is followed by a
// blank (a folder with blanks in an unquoted path), else at the first blank.
const char *SkipProgramToken(const char *p) {
  while (IsBlank(*p)) p++;
  if (*p == '"') {
    const char *close = strchr(p + 1, '"');
    return close ? close + 1 : p + strlen(p);
  }
  for (const char *q = p; *q; q++) {
    if (BeginsWith(q, kProgramName)) {
      const char *end = q + sizeof kProgramName - 1;
      if (!*end || IsBlank(*end)) return end;
    }
  }
  while (*p && !IsBlank(*p)) p++;
  return p;
}

// The log's path: the rest of the command line after the program's token,
// blanks included, or the text between quotes when it is quoted. 0, 1 when
// nothing is named, 2 when the path does not fit.
int TakeLogPath(const char *commandLine) {
  const char *p = SkipProgramToken(commandLine ? commandLine : "");
  while (IsBlank(*p)) p++;
  size_t n;
  if (*p == '"') {
    p++;
    const char *close = strchr(p, '"');
    n = close ? (size_t)(close - p) : strlen(p);
  } else {
    n = strlen(p);
  }
  while (n > 0 && (IsBlank(p[n - 1]) || p[n - 1] == '\r' || p[n - 1] == '\n')) n--;
  if (n == 0) return 1;
  if (n >= sizeof g_logPath) return 2;
  memcpy(g_logPath, p, n);
  g_logPath[n] = 0;
  // A relative path is taken from the current folder, so that the install
  // folder below is always a full path.
  char full[kPathCapacity];
  DWORD m = GetFullPathNameA(g_logPath, sizeof full, full, NULL);
  g_logPathIsFull = m > 0 && m < sizeof full;
  if (g_logPathIsFull) memcpy(g_logPath, full, m + 1);
  return 0;
}

// The install folder: the log's folder with its closing backslash. Empty (no
// folders are removed) when the log lies in a drive's root or in no folder,
// or when its path could not be resolved.
void FindInstallDir() {
  g_installDir[0] = 0;
  if (!g_logPathIsFull) return;
  const char *slash = strrchr(g_logPath, '\\');
  if (!slash) return;
  size_t n = (size_t)(slash - g_logPath) + 1;
  if (n <= 3 || n >= sizeof g_installDir) return;  // "C:\" or shorter
  memcpy(g_installDir, g_logPath, n);
  g_installDir[n] = 0;
}

// The first line of a log the setup wrote is "Name:" and the product's
// name. 0, or 1 when the file is no install log.
int ReadProductName(FILE *log) {
  if (!ReadLogLine(g_line, kLineReadSize, log) || strncmp(g_line, "Name:", kTagLength) != 0)
    return 1;
  // A longer name than the buffer holds is cut; the boxes only show it.
  const char *name = g_line[kTagLength] ? g_line + kTagLength : kDefaultName;
  size_t n = strlen(name);
  if (n >= sizeof g_productName) n = sizeof g_productName - 1;
  memcpy(g_productName, name, n);
  g_productName[n] = 0;
  return 0;
}

bool FolderExists(const char *path) {
  DWORD a = GetFileAttributesA(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool IsSeparator(char c) {
  return c == '\\' || c == '/';
}

// Does a logged path begin with the install folder? Windows takes '/' for
// '\\' and ignores letter case, so both are set aside here too.
bool BeginsWithInstallDir(const char *path) {
  for (const char *d = g_installDir; *d; d++, path++) {
    if (!*path) return false;
    if (IsSeparator(*d) ? !IsSeparator(*path) : Lower(*d) != Lower(*path)) return false;
  }
  return true;
}

// Does the path hold a step made of two or more dots alone? ".." climbs, and
// Windows 95 reads "..." and longer runs as climbing further; the extractor
// refuses such member names for the same reason.
bool HasDotSteps(const char *p) {
  for (;;) {
    size_t n = 0, dots = 0;
    while (p[n] && !IsSeparator(p[n])) dots += p[n++] == '.';
    if (n >= 2 && dots == n) return true;
    if (!p[n]) return false;
    p += n + 1;
  }
}

// The folder's full path, as the system resolves it, without a closing
// backslash; false when it cannot be resolved or no longer lies strictly
// below the install folder.
bool ResolveBelowInstallDir(const char *folder, char *full, DWORD capacity) {
  DWORD n = GetFullPathNameA(folder, capacity, full, NULL);
  if (n == 0 || n >= capacity) return false;
  while (n > 0 && full[n - 1] == '\\') full[--n] = 0;
  return n > strlen(g_installDir) && BeginsWith(full, g_installDir);
}

// Removes the folders between a logged path and the install folder, deepest
// first, while they are empty. A folder that is gone already is stepped over;
// one that still holds anything ends the walk, since every folder above it
// holds it in turn. Only paths written below the install folder are walked,
// never one with a step of dots alone, and each folder is resolved before it
// is removed: the walk ends at the first one that does not lie below the
// install folder, so that it never climbs out of it.
void RemoveEmptyParents(const char *path) {
  size_t base = strlen(g_installDir);
  if (!base || !BeginsWithInstallDir(path) || HasDotSteps(path + base)) return;
  size_t n = strlen(path);
  if (n >= sizeof g_folder) return;
  memcpy(g_folder, path, n + 1);
  char full[kPathCapacity];
  for (;;) {
    while (n > 0 && !IsSeparator(g_folder[n - 1])) n--;
    if (n == 0 || n - 1 < base) return;
    g_folder[--n] = 0;
    if (!ResolveBelowInstallDir(g_folder, full, sizeof full)) return;
    if (!RemoveDirectoryA(full) && FolderExists(full)) return;
  }
}

// After the replay: every file and folder record below the install folder
// has its emptied folders removed. Only folders on the paths that the log
// names are touched.
void RemoveEmptyFolders(FILE *log) {
  if (!g_installDir[0] || fseek(log, 0, SEEK_SET) != 0) return;
  clearerr(log);
  while (ReadLogLine(g_line, kLineReadSize, log)) {
    if (strncmp(g_line, "File:", kTagLength) == 0 || strncmp(g_line, "UFil:", kTagLength) == 0 ||
        strncmp(g_line, "Dire:", kTagLength) == 0 || strncmp(g_line, "UDir:", kTagLength) == 0)
      RemoveEmptyParents(g_line + kTagLength);
  }
}

void Uninstall() {
  int r = TakeLogPath(GetCommandLineA());
  if (r == 1) {
    Show("No installation log was named, so there is nothing to uninstall.\n\n"
         "Please remove TolvaMarked Verifier through Add/Remove Programs in the Control Panel, "
         "or with the \"Uninstall\" shortcut in its Programs menu.",
         MB_ICONERROR);
    return;
  }
  if (r == 2) {
    Show("The path of the installation log is too long. Nothing has been removed.", MB_ICONERROR);
    return;
  }
  FindInstallDir();
  // Out of the install folder, which is to be removed, whatever folder the
  // uninstaller was started in.
  char windowsDir[MAX_PATH + 1];
  UINT n = GetWindowsDirectoryA(windowsDir, sizeof windowsDir);
  if (n > 0 && n < sizeof windowsDir) SetCurrentDirectoryA(windowsDir);

  FILE *log = _fsopen(g_logPath, "rt", _SH_DENYWR);
  if (!log) {
    snprintf(g_text, sizeof g_text,
             "The installation log\n\n%s\n\ncannot be opened. It may have been moved or deleted, "
             "or another program may be using it.\n\nNothing has been removed.",
             g_logPath);
    Show(g_text, MB_ICONERROR);
    return;
  }
  if (ReadProductName(log)) {
    fclose(log);
    snprintf(g_text, sizeof g_text,
             "The file\n\n%s\n\nis not an installation log of TolvaMarked Verifier.\n\n"
             "Nothing has been removed.",
             g_logPath);
    Show(g_text, MB_ICONERROR);
    return;
  }
  snprintf(g_text, sizeof g_text,
           "Do you want to remove %s and all of its components from this computer?",
           g_productName);
  if (MessageBoxA(NULL, g_text, kCaption, MB_YESNO | MB_ICONQUESTION) != IDYES) {
    fclose(log);
    return;
  }

  // What the setup made, then what it left for the uninstaller to remove.
  if (ReplayLog(log, REPLAY_ROLLBACK) || ReplayLog(log, REPLAY_UNINSTALL)) {
    fclose(log);
    snprintf(g_text, sizeof g_text,
             "The installation log could not be read to its end, so %s may not have been "
             "removed completely.\n\nThe log has been kept in\n\n%s\n\nso that you can run the "
             "uninstallation again.",
             g_productName, g_logPath);
    Show(g_text, MB_ICONERROR);
    return;
  }
  RemoveEmptyFolders(log);
  fclose(log);
  DeleteFileA(g_logPath);
  DWORD error = 0;
  if (g_installDir[0] && !RemoveDirectoryA(g_installDir)) error = GetLastError();

  if (!g_installDir[0] || !FolderExists(g_installDir)) {
    snprintf(g_text, sizeof g_text, "%s has been removed from your computer.", g_productName);
  } else if (error == ERROR_DIR_NOT_EMPTY) {
    snprintf(g_text, sizeof g_text,
             "%s has been removed from your computer.\n\nThe folder\n\n%s\n\nstill holds files "
             "that Setup did not install, so it has been left in place. You may delete it "
             "yourself.",
             g_productName, g_installDir);
  } else {
    // Typically a window or program still has the folder open.
    snprintf(g_text, sizeof g_text,
             "%s has been removed from your computer.\n\nThe folder\n\n%s\n\ncould not be "
             "removed; it may still be open in another program or window. You may delete it "
             "yourself once it is closed.",
             g_productName, g_installDir);
  }
  Show(g_text, MB_ICONINFORMATION);
}

}  // namespace

// The command line is read from the system, as the setup reads its own.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  Uninstall();
  return 0;
}
