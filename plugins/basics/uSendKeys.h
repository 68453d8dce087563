// "Send Keys" (action 11) and its two small helper dialogs.
#pragma once

#define IDD_SENDKEYS 2100
#define IDC_lWinCaption 2101
#define IDC_eWinCaption 2102
#define IDC_cbFixedWindow 2103
#define IDC_lKeys 2104
#define IDC_mKeys 2105
#define IDC_bSendKeysVariable 2106
#define IDC_SpeedButton2 2107

#define IDD_KEYCOMBIN 2120
#define IDC_lKeyCombin 2121
#define IDC_hkKeyCombin 2122

#define IDD_KEYDELAY 2130
#define IDC_lKeyDelay 2131
#define IDC_eKeyDelay 2132
#define IDC_udKeyDelay 2133

// The "Insert a key" menu: its commands reach the dialog as WM_COMMAND.
#define IDM_KEYCOMBINATION 2150
#define IDM_INSERTDELAY 2151
// One entry per offered key name, in the menu's order.
#define IDM_KEYNAME_FIRST 2160
