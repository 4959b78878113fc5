// Ids of the conformance program's dialog templates (conformance.rc).
#ifndef TESTS_CONFORMANCE_CONF_DIALOG_H
#define TESTS_CONFORMANCE_CONF_DIALOG_H

#define IDD_CONF_DIALOG 900
#define IDD_CONF_PROGRESS 910
#define IDD_CONF_MISSING 4242

#define IDC_CONF_EDIT 901
#define IDC_CONF_LABEL 902
#define IDC_CONF_CHECK 903
#define IDC_CONF_WIDE 905
#define IDC_CONF_NARROW 906
#define IDC_CONF_POSTED 950

#define IDC_CONF_BAR_HOLDER 1001
#define IDC_CONF_STATUS 1002

#endif
