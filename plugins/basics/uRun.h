// "Run a program/Open a document" (action 1).
#pragma once

#define IDD_RUN 1100
#define IDC_lProgram 1101
#define IDC_eProgram 1102
#define IDC_bBrowse 1103
#define IDC_lParameters 1104
#define IDC_eParameters 1105
#define IDC_lWorkDir 1106
#define IDC_eWorkDir 1107
#define IDC_bBrowseDir 1108
#define IDC_lRun 1109
#define IDC_cbRun 1110
#define IDC_cbWait 1111
#define IDC_bRunVariable 1112

