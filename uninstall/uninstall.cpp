// The product's uninstaller, UninstallTNM.exe. The system's program-removal
// entry starts it with the install log's full path after its own quoted path:
// it asks the user to confirm, removes what the log records (the setup's own
// records, then the uninstall-only ones), the empty folders below the install
// folder, the log, and the install folder itself when nothing else is left in
// it. It acts only on records that a genuine installation writes: every
// record is screened first, and one that the setup could not have written is
// left alone, and the log is then kept. Its closing box names what stays:
// such records, the files it could not delete and the files that Setup did
// not install.
#include <stdio.h>
#include <string.h>

#include "common/text.h"
#include "installlog/genuine_log.h"
#include "installlog/install_log.h"
#include "platform/win.h"
#include "replay/replay.h"

enum { kPathCapacity = 2000, kTextCapacity = 4400, kListed = 5 };

static const char kCaption[] = "TolvaMarked Verifier - Uninstall";
// The program's own file name, for a command line whose first token is not
// quoted although the folder holds blanks.
static const char kProgramName[] = "uninstalltnm.exe";

static char g_logPath[kPathCapacity];
static char g_installDir[kPathCapacity];   // the log's folder, ending in a backslash
static bool g_logPathIsFull;               // g_logPath is as GetFullPathNameA gave it
static GenuineFolders g_folders;           // where genuine records may point
static char g_line[LOG_LINE_CAPACITY];
static char g_folder[kPathCapacity];
static char g_text[kTextCapacity];

static void Show(const char *text, UINT icon) {
  MessageBoxA(NULL, text, kCaption, MB_OK | icon);
}

static bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// Where the program's own token ends. A quoted token ends at its closing
// quote; an unquoted one after the program's name when that is followed by a
// blank (a folder with blanks in an unquoted path), else at the first blank.
static const char *SkipProgramToken(const char *p) {
  while (IsBlank(*p)) p++;
  if (*p == '"') {
    const char *close = strchr(p + 1, '"');
    return close ? close + 1 : p + strlen(p);
  }
  for (const char *q = p; *q; q++) {
    if (BeginsWithPath(q, kProgramName)) {
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
static int TakeLogPath(const char *commandLine) {
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
static void FindInstallDir() {
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
// name. 0, or 1 when the file is no install log. The boxes name the product
// by the program's own constant, never by what the log says.
static int ReadProductName(FILE *log) {
  LogRecord record;
  bool damaged;
  if (!ReadCheckedLogLine(g_line, sizeof g_line, log, &damaged) || damaged ||
      ClassifyLogLine(g_line, &record) != LOG_NAME)
    return 1;
  return 0;
}

static bool FolderExists(const char *path) {
  DWORD a = GetFileAttributesA(path);
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

static bool FileExists(const char *path) {
  DWORD a = GetFileAttributesA(path);
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

// A few names of one kind of what stays, for the closing box: the first
// kListed, and how many there are in all.
struct NameList {
  char names[kListed][MAX_PATH];
  int count;
};

static NameList g_refused;       // records that a genuine installation never writes
static NameList g_notRemoved;    // files of the log that are still there
static NameList g_notInstalled;  // files below the install folder that the log does not name

// Keeps a name in the list while it has room for it, and counts it.
static void Note(NameList *list, const char *name) {
  if (list->count < kListed) {
    size_t n = strlen(name);
    if (n >= MAX_PATH) n = MAX_PATH - 1;
    memcpy(list->names[list->count], name, n);
    list->names[list->count][n] = 0;
  }
  list->count++;
}

static const ReplayScreen kScreen = {IsGenuineRecordOf, &g_folders};

// The genuine file records of the log, one after another from its start:
// true with *record set, false at its end. Damaged lines and refused records
// are passed over.
static bool NextGenuineFile(FILE *log, LogRecord *record) {
  bool damaged;
  while (ReadCheckedLogLine(g_line, sizeof g_line, log, &damaged)) {
    if (!damaged && ClassifyLogLine(g_line, record) == LOG_FILE && IsGenuineRecord(record, &g_folders))
      return true;
  }
  return false;
}

static bool Rewind(FILE *log) {
  if (fseek(log, 0, SEEK_SET) != 0) return false;
  clearerr(log);
  return true;
}

// Does the log hold a genuine file record of path?
static bool Logged(FILE *log, const char *path) {
  LogRecord record;
  if (!Rewind(log)) return false;
  while (NextGenuineFile(log, &record))
    if (SamePath(record.payload, path)) return true;
  return false;
}

// Before anything is removed: every line after the name that a genuine
// installation could not have written is noted, by its line number when it
// is damaged. 0, or 1 when the log could not be read to its end.
static int ScreenLog(FILE *log) {
  if (!Rewind(log)) return 1;
  bool damaged;
  int number = 0;
  LogRecord record;
  while (ReadCheckedLogLine(g_line, sizeof g_line, log, &damaged)) {
    if (++number == 1) continue;  // the name, read already
    if (damaged || !g_line[0]) {
      char where[48];
      snprintf(where, sizeof where, "(line %d: %s)", number, damaged ? "damaged" : "empty");
      Note(&g_refused, where);
    } else if (!IsGenuineRecord((ClassifyLogLine(g_line, &record), &record), &g_folders)) {
      Note(&g_refused, g_line);
    }
  }
  return ferror(log) ? 1 : 0;
}

// After the replay: every genuine file record whose file is still there
// could not be deleted.
static void FindFilesLeft(FILE *log) {
  LogRecord record;
  if (!Rewind(log)) return;
  while (NextGenuineFile(log, &record))
    if (FileExists(record.payload)) Note(&g_notRemoved, record.payload);
}

// A name made of dots alone: "." and "..", which every listing holds, and
// longer runs, which Windows 95 reads as climbing further up.
static bool OnlyDots(const char *name) {
  while (*name == '.') name++;
  return !*name;
}

// Removes, deepest first, the empty folders below the folder in g_folder
// (ending in a backslash; length characters), and notes the files there
// that the log does not name. The setup makes the folders of the archive's
// members without logging them, so they are found here by listing the
// install folder; only what a listing shows is touched, a link to a folder
// elsewhere (a reparse point) is not entered, and nothing but an empty
// folder is removed.
static void SweepFolder(FILE *log, size_t length) {
  if (length + 2 > MAX_PATH) return;  // no room for the pattern
  memcpy(g_folder + length, "*", 2);
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(g_folder, &found);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    if (OnlyDots(found.cFileName)) continue;
    size_t n = strlen(found.cFileName);
    if (length + n + 1 >= MAX_PATH) {  // a path the setup could not have made; it stays
      Note(&g_notInstalled, found.cFileName);
      continue;
    }
    memcpy(g_folder + length, found.cFileName, n + 1);
    if (found.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      g_folder[length + n] = '\\';
      g_folder[length + n + 1] = 0;
      SweepFolder(log, length + n + 1);
      g_folder[length + n] = 0;
      RemoveDirectoryA(g_folder);  // fails while it holds anything
    } else if (!SamePath(g_folder, g_logPath) && !Logged(log, g_folder)) {
      Note(&g_notInstalled, g_folder + strlen(g_installDir));  // the box names the folder
    }
  } while (FindNextFileA(search, &found));
  FindClose(search);
}

// Appends text to g_text, cut at its end.
static void Say(const char *text) {
  AppendText(g_text, sizeof g_text, text);
}

static void SayList(const NameList &list) {
  for (int i = 0; i < list.count && i < kListed; i++) {
    Say("\n    ");
    Say(list.names[i]);
  }
  if (list.count > kListed) {
    char more[48];
    snprintf(more, sizeof more, "\n    and %d more", list.count - kListed);
    Say(more);
  }
}

// The closing box: what was removed, and by name what stays.
static void Report(bool folderStays, bool logKept) {
  snprintf(g_text, sizeof g_text,
           g_notRemoved.count || g_refused.count ? "%s could not be removed completely."
                                                 : "%s has been removed from your computer.",
           kProductName);
  if (g_refused.count) {
    Say("\n\nThese lines of the installation log were left alone: Setup does not write them, so "
        "they may have been changed by someone else:");
    SayList(g_refused);
  }
  if (g_notRemoved.count) {
    Say("\n\nThese files could not be deleted; they may be open in another program:");
    SayList(g_notRemoved);
  }
  if (g_notInstalled.count) {
    Say("\n\nThe folder ");
    Say(g_installDir);
    Say(" still holds files that Setup did not install, so it has been left in place:");
    SayList(g_notInstalled);
  } else if (folderStays && !g_notRemoved.count && !logKept) {
    // Typically a window or program still has the folder open.
    Say("\n\nThe folder\n\n");
    Say(g_installDir);
    Say("\n\ncould not be removed; it may still be open in another program or window. You may "
        "delete it yourself once it is closed.");
  }
  if (logKept) {
    Say("\n\nThe log has been kept in\n\n");
    Say(g_logPath);
  }
  Show(g_text, MB_ICONINFORMATION);
}

static void Uninstall() {
  int r = TakeLogPath(GetCommandLineA());
  if (r == 1) {
    snprintf(g_text, sizeof g_text,
             "No installation log was named, so there is nothing to uninstall.\n\n"
             "Please remove %s through Add/Remove Programs in the Control Panel, "
             "or with the \"Uninstall\" shortcut in its Programs menu.",
             kProductName);
    Show(g_text, MB_ICONERROR);
    return;
  }
  if (r == 2) {
    Show("The path of the installation log is too long. Nothing has been removed.", MB_ICONERROR);
    return;
  }
  FindInstallDir();
  FindGenuineFolders(g_installDir, &g_folders);
  // Out of the install folder, which is to be removed, whatever folder the
  // uninstaller was started in.
  char windowsDir[MAX_PATH + 1];
  UINT n = GetWindowsDirectoryA(windowsDir, sizeof windowsDir);
  if (n > 0 && n < sizeof windowsDir) SetCurrentDirectoryA(windowsDir);

  // Binary: a Ctrl-Z would end a text-mode read early and hide the records
  // after it; here it is a damaged line like any other.
  FILE *log = _fsopen(g_logPath, "rb", _SH_DENYWR);
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
             "The file\n\n%s\n\nis not an installation log of %s.\n\n"
             "Nothing has been removed.",
             g_logPath, kProductName);
    Show(g_text, MB_ICONERROR);
    return;
  }
  snprintf(g_text, sizeof g_text,
           "Do you want to remove %s and all of its components from this computer?",
           kProductName);
  if (MessageBoxA(NULL, g_text, kCaption, MB_YESNO | MB_ICONQUESTION) != IDYES) {
    fclose(log);
    return;
  }

  // Every record is screened before anything is removed; then what the
  // setup made, then what it left for the uninstaller to remove.
  if (ScreenLog(log) || ReplayScreenedLog(log, REPLAY_ROLLBACK, &kScreen) ||
      ReplayScreenedLog(log, REPLAY_UNINSTALL, &kScreen)) {
    fclose(log);
    snprintf(g_text, sizeof g_text,
             "The installation log could not be read to its end, so %s may not have been "
             "removed completely.\n\nThe log has been kept in\n\n%s\n\nso that you can run the "
             "uninstallation again.",
             kProductName, g_logPath);
    Show(g_text, MB_ICONERROR);
    return;
  }
  FindFilesLeft(log);
  if (g_installDir[0]) {
    size_t n = strlen(g_installDir);
    memcpy(g_folder, g_installDir, n + 1);
    SweepFolder(log, n);
  }
  fclose(log);
  // The log stays while it still names something: a record left alone, or a
  // file that could not be deleted, for another run.
  bool keepLog = g_refused.count || g_notRemoved.count;
  if (!keepLog && !DeleteFileA(g_logPath) && FileExists(g_logPath)) Note(&g_notRemoved, g_logPath);
  if (g_installDir[0]) RemoveDirectoryA(g_installDir);
  Report(g_installDir[0] && FolderExists(g_installDir), keepLog || FileExists(g_logPath));
}

// The command line is read from the system, as the setup reads its own.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  Uninstall();
  return 0;
}
