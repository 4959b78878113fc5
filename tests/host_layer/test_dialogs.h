// Ids of the host tests' dialog templates (test_dialogs.rc).
#ifndef TESTS_HOST_LAYER_TEST_DIALOGS_H
#define TESTS_HOST_LAYER_TEST_DIALOGS_H

#define IDD_TEST_FOLDER 201
#define IDD_TEST_OPTIONS 202
#define IDD_TEST_PROGRESS 203
#define IDD_TEST_PLAIN 204

#define IDC_TEST_EDIT 1000
#define IDC_TEST_LABEL 1001
#define IDC_TEST_BACK 3
#define IDC_TEST_DESKTOP 1006
#define IDC_TEST_STARTMENU 1007
#define IDC_TEST_MANUAL 1008
#define IDC_TEST_BAR_HOLDER 1101
#define IDC_TEST_STATUS 1102
#define IDC_TEST_BASE 2000
#define IDC_TEST_DERIVED (IDC_TEST_BASE + 0x10)  /* an expression */

#endif
