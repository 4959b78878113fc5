// The installation sequence and its questions, the completion and the
// rollback. Every decision the user sees is taken here; the actions only act.
#include "setup/driver.h"

#include <stdio.h>
#include <string.h>

#include "actions/file_actions.h"
#include "actions/paths.h"
#include "actions/registry_actions.h"
#include "actions/shortcuts.h"
#include "archive/extractor.h"
#include "common/shell_folders.h"
#include "common/state.h"
#include "common/text.h"
#include "installlog/genuine_log.h"
#include "installlog/install_log.h"
#include "platform/win.h"
#include "replay/replay.h"
#include "setup/page_ids.h"
#include "setup/pages.h"
#include "setup/source_dir.h"

enum { kPathCapacity = 2000, kFolderLookup = 261, kVerbCapacity = 500 };

static const char kUninstaller[] = "UninstallTNM.exe";
static const char kTrustDb[] = "Trust.db";

static char g_sourceDir[SOURCE_DIR_CAPACITY];  // empty when no folder could be had
static char g_windowsDir[kPathCapacity];
static char g_logPath[kPathCapacity];
static char g_uninstallCommand[kPathCapacity];
static char g_verbCommand[kVerbCapacity];
static char g_shellFolder[kPathCapacity];
static char g_submenuDir[kPathCapacity];
static char g_explorerCommand[kPathCapacity];
static char g_explorerPath[kPathCapacity];
static char g_trustDbPath[kPathCapacity];

// The texts a, b, ... one after another in buffer; the driver's buffers are
// sized so that nothing it composes is ever cut.
static void Compose(char *buffer, size_t capacity, const char *a, const char *b = "", const char *c = "",
             const char *d = "", const char *e = "") {
  const char *texts[] = {a, b, c, d, e};
  buffer[0] = 0;
  for (const char *text : texts) AppendText(buffer, capacity, text);
}

static void ShowError(const char *text, const char *caption) {
  MessageBoxA(NULL, text, caption, MB_ICONERROR);
}

static bool AskYes(const char *text, const char *caption) {
  return MessageBoxA(NULL, text, caption, MB_ICONERROR | MB_YESNO) == IDYES;
}

// Shows the three pages until the user finishes or cancels. True on Finish.
static bool RunWizard() {
  int page = IDD_FOLDER_PAGE;
  for (;;) {
    DLGPROC proc = page == IDD_FOLDER_PAGE    ? FolderPageProc
                   : page == IDD_OPTIONS_PAGE ? OptionsPageProc
                                              : SummaryPageProc;
    INT_PTR r = DialogBoxParamA(g_instance, MAKEINTRESOURCEA(page), NULL, proc, 0);
    // A page that cannot be shown is no consent to install: it ends the
    // program like Cancel.
    if (r == PAGE_CANCEL || r == -1 || r == 0) return false;
    if (page == IDD_FOLDER_PAGE) {
      page = IDD_OPTIONS_PAGE;
    } else if (page == IDD_OPTIONS_PAGE) {
      page = r == PAGE_BACK ? IDD_FOLDER_PAGE : IDD_SUMMARY_PAGE;
    } else {
      if (r != PAGE_BACK) return true;
      page = IDD_OPTIONS_PAGE;
    }
  }
}

static void RollbackExit(FILE *log) {
  ShowError(
      "Error installing TolvaMarked Verifier. The installation is not complete. The installation "
      "program will try to remove the partially installed files. Some files and directories may not "
      "be removed automatically and you should remove them manually.",
      "Installation Error");
  // A replay that could not seek or read the open stream is run once more
  // over the log as it stands on the disk: every record reached it at once
  // (the stream is unbuffered), so only a record whose own write failed is
  // missing there.
  int replayed = ReplayLog(log, REPLAY_ROLLBACK);
  fclose(log);
  if (replayed != 0) {
    FILE *again = OpenInstallLog(g_logPath, _SH_DENYNO);
    if (again) {
      ReplayLog(again, REPLAY_ROLLBACK);
      fclose(again);
    }
  }
  Sleep(500);
  DeleteFileA(g_logPath);
}

static void CompletionStep(FILE *log, bool submenuMade) {
  for (const char *key : kUserKeys) LogUninstallKey(log, LOG_HKCU, key);
  fclose(log);

  // Without a submenu folder there is nothing to show in Explorer.
  if (submenuMade) {
    Compose(g_explorerCommand, sizeof g_explorerCommand, "explorer \"", g_submenuDir, "\"");
    // Explorer by its full path: a program of that name in the setup's own
    // folder or in the current one would otherwise be started in its place.
    Compose(g_explorerPath, sizeof g_explorerPath, g_windowsDir, "explorer.exe");
    STARTUPINFOA startup;
    memset(&startup, 0, sizeof startup);
    startup.cb = sizeof startup;  // 68 bytes in the 32-bit program, 104 in a 64-bit one
    PROCESS_INFORMATION process;
    memset(&process, 0, sizeof process);
    if (CreateProcessA(g_explorerPath, g_explorerCommand, NULL, NULL, FALSE, NORMAL_PRIORITY_CLASS, NULL,
                       NULL, &startup, &process)) {
      CloseHandle(process.hThread);
      CloseHandle(process.hProcess);
    }
  }
  MessageBoxA(NULL,
              "The installation procedure has completed. Please read ReadMe.txt before running the "
              "program.",
              "Installation Complete", MB_OK);
}

// Trust.db is copied without replacing one that the install folder holds
// already: that one is the user's and stays, unrecorded, without a word. A
// copy that fails for any other reason, most often a distribution folder
// without it, would leave a signature checker without its trust database, so
// the user is asked, as for the other missing parts. False on No.
static bool CopyTrustDb(FILE *log) {
  if (CopyInstallFile(g_sourceDir, kTrustDb, g_installDir, log, 0) == 0) return true;
  JoinPath(g_trustDbPath, sizeof g_trustDbPath, g_installDir, kTrustDb);
  DWORD attributes = GetFileAttributesA(g_trustDbPath);
  return (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) ||
         AskYes("Error copying the trust database Trust.db. The program cannot check signatures "
                "without it.\nDo you want to continue?",
                g_setupCaption);
}

// One optional link in a shell folder; false when the user declines to go on
// after a failure.
static bool OptionalShortcut(FILE *log, const char *folderValue, const char *question,
                      const char *caption) {
  int r = QueryShellFolder(g_shellFolder, folderValue, kFolderLookup);
  if (r == 0) r = CreateShortcut(g_installDir, "qenvo.exe", "", kProductName, g_shellFolder, log);
  return r == 0 || AskYes(question, caption);
}

static void Install(FILE *log) {
  // Without a distribution folder there is no archive to find: the run ends
  // as it does when the archive is missing, before anything is installed. A
  // relative folder in its place would name a folder below the install
  // folder once the extractor has made that current, and Trust.db and the
  // uninstaller would be looked for there and passed over without a word.
  if (!g_sourceDir[0] || ArchiveExtractor(g_sourceDir, "data1.qv", g_installDir, log))
    return RollbackExit(log);
  // The extractor leaves the install folder current. It is left again at
  // once: no later step (the shell's libraries that the links load, the
  // Explorer started at the end) may find a program or library there.
  SetCurrentDirectoryA(g_windowsDir);

  if (!CopyTrustDb(log)) return RollbackExit(log);

  const char *uninstallerDir = g_windowsDir;
  bool registerUninstall = true;
  if (CopyInstallFile(g_sourceDir, kUninstaller, g_windowsDir, NULL, 1) != 0) {
    if (CopyInstallFile(g_sourceDir, kUninstaller, g_installDir, NULL, 1) == 0) {
      uninstallerDir = g_installDir;
    } else if (AskYes("Error implimenting uninstallation functions. The program can not be "
                      "automatically uninstalled.\nDo you want to continue?",
                      "Uninstall Setup Error")) {
      registerUninstall = false;
    } else {
      return RollbackExit(log);
    }
  }
  // The executable's path is quoted, so that a path with blanks cannot be
  // taken for a shorter program; the uninstaller reads the rest of its
  // command line, blanks included, as the log's path.
  if (registerUninstall) {
    Compose(g_uninstallCommand, sizeof g_uninstallCommand, "\"", uninstallerDir, kUninstaller,
            "\" ", g_logPath);
    RegisterUninstall(kProductShortName, kProductName, g_uninstallCommand, log);
  }
  Compose(g_verbCommand, sizeof g_verbCommand, "\"", g_installDir, "qenvo.exe\" \"%1\"");
  RegisterShellVerb(kVerbName, "&Verify Signature", g_verbCommand, log);

  if (g_installOptions.desktopShortcut &&
      !OptionalShortcut(log, "Desktop",
                        "Error creating program shortcut icon on the Desktop. Do you want to "
                        "continue installation?",
                        "Unable to Create Shortcut"))
    return RollbackExit(log);
  if (g_installOptions.startMenuItem &&
      !OptionalShortcut(log, "Start Menu",
                        "Error creating program entry under the Start Menu. Do you want to "
                        "continue installation?",
                        "Unable to Create Start Menu Entry"))
    return RollbackExit(log);

  int r = QueryShellFolder(g_shellFolder, "Programs", kFolderLookup);
  if (r == 0) r = CreateSubmenuFolder(g_shellFolder, kProductShortName, g_submenuDir, log);
  if (r != 0) {
    if (!AskYes("Error creating \"TNM Verifier\" submenu under the Programs Menu. Do you want to "
                "continue installation?",
                "Unable to Create Shortcut"))
      return RollbackExit(log);
    // The submenu folder does not exist, so Explorer is not started: a failed
    // creation leaves SubmenuDir cut at the folder that could not be made,
    // and Explorer would be shown that piece of the path instead.
    return CompletionStep(log, false);
  }

  int links = CreateShortcut(g_installDir, "qenvo.exe", "", kSubmenuLinks[0], g_submenuDir, log);
  links |= CreateShortcut(g_installDir, "ReadMe.txt", "", kSubmenuLinks[1], g_submenuDir, log);
  links |= CreateShortcut(g_installDir, "qenvo.hlp", "", kSubmenuLinks[2], g_submenuDir, log);
  links |= CreateShortcut(uninstallerDir, kUninstaller, g_logPath, kSubmenuLinks[3], g_submenuDir, log);
  if (links && !AskYes("Error creating entries in \"TNM Verifier\" submenu. Do you want to continue "
                       "installation?",
                       "Error Create Submenu Entries"))
    return RollbackExit(log);
  CompletionStep(log, true);
}

int RunSetup() {
  FindSourceDir(g_sourceDir);
  InitCommonControls();
  if (!RunWizard()) return 0;
  g_wizardEnded = 1;

  UINT n = GetWindowsDirectoryA(g_windowsDir, kFolderLookup);
  if (n == 0 || n >= kFolderLookup) {
    ShowError("Error Finding Windows Directory. The installationg cannot continue.",
              "Error Finding Windows Directory");
    return 0;
  }
  EndWithBackslash(g_windowsDir, sizeof g_windowsDir);

  JoinPath(g_logPath, sizeof g_logPath, g_installDir, "deinst.lst");
  if (CreateDirectoryPath(g_logPath, (int)strlen(g_logPath))) {
    ShowError("Error Creating Installation Directory!", g_setupCaption);
    return 0;
  }
  FILE *log = CreateInstallLog(g_logPath);
  if (!log) {
    ShowError("Error Installing Program Files!", g_setupCaption);
    return 0;
  }
  LogProductName(log, kProductName);
  Install(log);
  return 0;
}
