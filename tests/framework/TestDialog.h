// Control ids of the dialog the framework tests open.
#pragma once

#define IDD_TESTDIALOG 100
#define IDC_NAME 101
#define IDC_MEMO 102
#define IDC_RECURSE 103
#define IDC_KIND 104
#define IDC_PATH 105
#define IDC_LIST 106
#define IDC_VAR 107
#define IDC_BOOM 108
#define IDC_FAULT 109
