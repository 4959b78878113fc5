// The control ids of the progress window (archive/progress.rc).
#ifndef ARCHIVE_PROGRESS_IDS_H
#define ARCHIVE_PROGRESS_IDS_H
#define IDD_PROGRESS 102
#define IDC_PROGRESS_FRAME 1001
#define IDC_PROGRESS_ARCHIVE 1002
#define IDC_PROGRESS_MEMBER 1003
#endif
