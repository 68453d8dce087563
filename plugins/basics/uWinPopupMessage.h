// "Send WinPopup message" (action 9).
#pragma once

#define IDD_WINPOPUP 1900
#define IDC_lCompName 1901
#define IDC_eCompName 1902
#define IDC_lMessage 1903
#define IDC_eMessage 1904
#define IDC_bWinPopupVariable 1905
