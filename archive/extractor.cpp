// The archive walk: end record, then each central directory entry with its
// local header, the member's folders, its "File:" record and its data, while
// the progress window shows what is being unpacked.
#include "archive/extractor.h"

#include <string.h>

#include "actions/paths.h"
#include "archive/member.h"
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

// A member name must stay inside the installation folder: not empty, no
// drive, no leading backslash, and no step of dots alone.
static bool IsSafeMemberName(const char *name) {
  if (name[0] == 0 || name[0] == '\\') return false;
  if (((name[0] >= 'A' && name[0] <= 'Z') || (name[0] >= 'a' && name[0] <= 'z')) && name[1] == ':')
    return false;
  return !HasDotStep(name);
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
  if (FindEndOfCentralDir(archive, kEndRecordTail, &end, &centralPos, &g_progress.archiveSize)) {
    CloseHandle(archive);
    return EXTRACT_FAILED;
  }

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

    if (!IsSafeMemberName(name)) {
      MessageBoxA(NULL, name, "Invalid File Name!", MB_ICONERROR);
      result = EXTRACT_FAILED;
      break;
    }
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

  DestroyWindow(window);
  CloseHandle(archive);
  return result;
}
