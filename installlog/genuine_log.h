// What a genuine installation records, in one place: the product's names,
// the keys and links the setup makes, and the check by which the
// uninstaller acts on nothing else. The setup writes its records from these
// constants; a record kind added to the setup is added here, or the
// uninstaller refuses it.
#ifndef INSTALLLOG_GENUINE_LOG_H
#define INSTALLLOG_GENUINE_LOG_H

#include "installlog/install_log.h"
#include "platform/win.h"

extern const char kProductName[];        // "TolvaMarked Verifier": the log's name, the links
extern const char kProductShortName[];   // "TNM Verifier": the uninstall key, the submenu
extern const char kUninstallKeyParent[]; // where the uninstall entry's key is made
extern const char kShellKeyParent[];     // where the verb's key is made
extern const char kVerbName[];           // the verb's key
// The per-user keys left for the uninstaller, deepest first.
enum { USER_KEY_COUNT = 3 };
extern const char *const kUserKeys[USER_KEY_COUNT];
// The links of the Programs submenu (without ".lnk"), the first one the
// program's, which the desktop and the Start Menu get too.
enum { SUBMENU_LINK_COUNT = 4 };
extern const char *const kSubmenuLinks[SUBMENU_LINK_COUNT];

enum { GENUINE_FOLDER_CAPACITY = 262 };

// The folders a genuine record may name, each a full path ending in a
// backslash, or empty when it is not known (nothing in it is then allowed).
struct GenuineFolders {
  char installDir[GENUINE_FOLDER_CAPACITY];  // the log's own folder
  char desktop[GENUINE_FOLDER_CAPACITY];
  char startMenu[GENUINE_FOLDER_CAPACITY];
  char programs[GENUINE_FOLDER_CAPACITY];
};

// Fills folders from the log's folder (a full path ending in a backslash)
// and the user's Shell Folders values as they are now.
void FindGenuineFolders(const char *installDir, GenuineFolders *folders);

// Could a genuine installation into these folders have written the record?
// Files: below the install folder, through no link or junction, or one of
// the six links; folders: the Programs submenu; keys: the six the setup
// makes, letter case aside. Paths must be full ("c:\..."), never relative,
// network or device paths, and are compared as Windows resolves them.
// Every other record, the uninstall-only files and folders among them, is
// refused.
bool IsGenuineRecord(const LogRecord *record, const GenuineFolders *folders);
// The same, in the form a screened replay takes it: folders is a
// GenuineFolders.
bool IsGenuineRecordOf(const LogRecord *record, const void *folders);

#endif
