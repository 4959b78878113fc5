/* Ids of the wizard pages' templates, their controls and the side-panel
   bitmap. Read by the compiler and by the resource compiler alike, so
   nothing but #define lines. */
#ifndef SETUP_PAGE_IDS_H
#define SETUP_PAGE_IDS_H

/* Dialog templates. */
#define IDD_FOLDER_PAGE 101
#define IDD_OPTIONS_PAGE 103
#define IDD_SUMMARY_PAGE 104

/* The picture at the left of every page. */
#define IDB_PAGE_BITMAP 103

/* The three buttons every page has (their ids are the page results). */
#define IDC_PAGE_NEXT 1
#define IDC_PAGE_CANCEL 2
#define IDC_PAGE_BACK 3

/* Controls without an id. */
#define IDC_PAGE_NONE (-1)

/* FolderPage: the folder's edit box. */
#define IDC_FOLDER_EDIT 1000
/* OptionsPage and SummaryPage: the chosen folder. */
#define IDC_FOLDER_SHOWN 1004
/* OptionsPage: the check boxes; SummaryPage: the two option lines. */
#define IDC_OPTION_FIRST 1006
#define IDC_OPTION_SECOND 1007

#endif
