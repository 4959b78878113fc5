// The archive walk: end record, then each central directory entry with its
// local header, the member's folders, its "File:" record and its data, while
// the progress window shows what is being unpacked.
#include "archive/extractor.h"

#include <string.h>

#include "actions/paths.h"
#include "archive/member.h"
#include "archive/member_name.h"
#include "archive/progress.h"
#include "archive/progress_ids.h"
#include "archive/zip_records.h"
#include "common/state.h"
#include "common/text.h"
#include "installlog/install_log.h"

enum { kEndRecordTail = 32000, kPathCapacity = 2100 };

static INT_PTR CALLBACK ProgressDialogProc(HWND, UINT message, WPARAM, LPARAM) {
  // The window offers no way to cancel: only the opening is acknowledged.
  return message == WM_INITDIALOG;
}

static void PumpMessages() {
  MSG msg;
  while (PeekMessageA(&msg, NULL, 0, 0, PM_NOREMOVE)) {
    GetMessageA(&msg, NULL, 0, 0);
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

// Shows a refused member's name, its control characters as '?', so that a
// name cannot break the box's lines.
static void ShowRefusedName(const char *name) {
  char shown[ZIP_NAME_MAX + 1];
  size_t n = 0;
  for (; name[n] && n < ZIP_NAME_MAX; n++) shown[n] = (unsigned char)name[n] < 0x20 ? '?' : name[n];
  shown[n] = 0;
  MessageBoxA(NULL, shown, "Invalid File Name!", MB_ICONERROR);
}

// Does the end record describe one whole archive that this extractor reads:
// one disk, its count the directory's, and no ZIP64 record, which would hold
// the true counts and sizes? A ZIP64 archive is refused with a box that says
// so.
static bool IsWholeArchive(const EndOfCentralDir *end, DWORD centralPos) {
  if (end->zip64 || end->totalEntries == 0xFFFF || end->centralDirSize == 0xFFFFFFFF ||
      end->centralDirOffset == 0xFFFFFFFF) {
    MessageBoxA(NULL,
                "The archive is in the ZIP64 format, for more than 65,535 files or 4 GB, which "
                "Setup cannot read.",
                "Unsupported Archive!", MB_ICONERROR);
    return false;
  }
  return end->diskNumber == 0 && end->centralDirDisk == 0 &&
         end->entriesOnDisk == end->totalEntries && centralPos + end->centralDirSize >= centralPos;
}

static void SetText(HWND control, const char *prefix, const char *text) {
  char buffer[kPathCapacity + 32];
  size_t n = strlen(prefix);
  memcpy(buffer, prefix, n);
  size_t room = sizeof buffer - n - 1;
  size_t t = strlen(text);
  if (t > room) t = room;
  memcpy(buffer + n, text, t);
  buffer[n + t] = 0;
  SetWindowTextA(control, buffer);
}

int ArchiveExtractor(const char *sourceDir, const char *archiveName, const char *installDir,
                     FILE *log) {
  char archivePath[kPathCapacity];
  if (JoinPath(archivePath, sizeof archivePath, sourceDir, archiveName)) return EXTRACT_FAILED;

  g_folderSecurity.nLength = sizeof(SECURITY_ATTRIBUTES);
  g_folderSecurity.lpSecurityDescriptor = NULL;
  g_folderSecurity.bInheritHandle = FALSE;

  HANDLE archive = CreateFileA(archivePath, GENERIC_READ, FILE_SHARE_READ, &g_folderSecurity,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_RANDOM_ACCESS, NULL);
  if (archive == INVALID_HANDLE_VALUE) return EXTRACT_FAILED;

  EndOfCentralDir end;
  DWORD centralPos;
  if (FindEndOfCentralDir(archive, kEndRecordTail, &end, &centralPos, &g_progress.archiveSize) ||
      !IsWholeArchive(&end, centralPos)) {
    CloseHandle(archive);
    return EXTRACT_FAILED;
  }
  // The central directory ends where the end record begins; every member's
  // local record and data lie before it, one after another.
  const DWORD centralStart = centralPos, centralEnd = centralPos + end.centralDirSize;
  DWORD nextFree = 0;

  char installCopy[kPathCapacity];
  if (JoinPath(installCopy, sizeof installCopy, installDir, "")) {
    CloseHandle(archive);
    return EXTRACT_FAILED;
  }
  if (CreateDirectoryPath(installCopy, (int)strlen(installCopy)) ||
      !SetCurrentDirectoryA(installCopy)) {
    CloseHandle(archive);
    return EXTRACT_FAILED;
  }

  HWND window = CreateDialogParamA(g_instance, MAKEINTRESOURCEA(IDD_PROGRESS), NULL,
                                   ProgressDialogProc, 0);
  SetText(GetDlgItem(window, IDC_PROGRESS_ARCHIVE), "Decompressing: ", archivePath);
  SetText(window, "Installing files to: ", installCopy);
  HWND frame = GetDlgItem(window, IDC_PROGRESS_FRAME);
  RECT rect = {0, 0, 0, 0};
  GetClientRect(frame, &rect);
  g_progress.bar = CreateWindowExA(0, PROGRESS_CLASSA, NULL, WS_CHILD | WS_VISIBLE, rect.left,
                                   rect.top, rect.right, rect.bottom, frame, NULL, g_instance, NULL);
  ResetProgress();
  HWND status = GetDlgItem(window, IDC_PROGRESS_MEMBER);

  int result = 0;
  DWORD baseOffset = centralPos - end.centralDirOffset;
  for (uint32_t i = 0; i < end.totalEntries; i++) {
    PumpMessages();
    CentralDirEntry entry;
    if (ReadCentralDirEntry(archive, &entry, &centralPos)) {
      result = EXTRACT_FAILED;
      break;
    }
    char centralName[ZIP_NAME_MAX + 1];
    DWORD keep = entry.nameLength < ZIP_NAME_MAX ? entry.nameLength : (DWORD)ZIP_NAME_MAX;
    DWORD skip = (DWORD)entry.nameLength + entry.extraLength + entry.commentLength - keep;
    if (ReadEntryName(archive, keep, skip, centralName, &centralPos)) {
      result = EXTRACT_FAILED;
      break;
    }

    DWORD localPos = baseOffset + entry.localHeaderOffset;
    if (localPos < nextFree || localPos >= centralStart) {  // within another member, or past them all
      result = EXTRACT_FAILED;
      break;
    }
    LocalFileHeader header;
    if (ReadLocalFileHeader(archive, &entry, &header, &localPos)) {
      result = EXTRACT_FAILED;
      break;
    }
    char name[ZIP_NAME_MAX + 1];
    keep = header.nameLength < ZIP_NAME_MAX ? header.nameLength : (DWORD)ZIP_NAME_MAX;
    skip = (DWORD)header.nameLength + header.extraLength - keep;
    if (ReadEntryName(archive, keep, skip, name, &localPos)) {
      result = EXTRACT_FAILED;
      break;
    }

    // The name a listing of the archive shows is the name that is written.
    // A NUL inside a name would hide the rest of it: that is refused too.
    if (header.nameLength != entry.nameLength || strlen(name) != keep ||
        strncmp(name, centralName, keep) != 0 || !IsSafeMemberName(name)) {
      ShowRefusedName(centralName);
      result = EXTRACT_FAILED;
      break;
    }
    DWORD dataEnd = localPos + header.compressedSize;
    if (dataEnd < localPos || dataEnd > centralStart) {
      result = EXTRACT_FAILED;
      break;
    }
    nextFree = dataEnd;
    if (CreateDirectoryPath(name, (int)keep)) {
      result = CREATE_DIRECTORY_FAILED;
      break;
    }
    if (name[keep - 1] == '\\') continue;  // a folder member: its folder now exists

    SetText(status, "Extracting: ", name);
    LogFile(log, installCopy, name);
    int rc = ExtractMember(archive, &header, name);
    if (rc) {
      result = rc;
      break;
    }
  }

  // Every entry of the directory was walked, and the end record counted them
  // all: a directory with more entries than its count is refused.
  if (result == 0 && centralPos != centralEnd) result = EXTRACT_FAILED;
  DestroyWindow(window);
  CloseHandle(archive);
  return result;
}
