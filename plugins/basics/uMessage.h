// "Show a message" (action 0): a message box and/or a sound.
#pragma once

#define IDD_MESSAGE 1000
#define IDC_cbShowMessage 1001
#define IDC_MsgMemo 1002
#define IDC_cbPlaySound 1003
#define IDC_lWaveFile 1004
#define IDC_eWaveFile 1005
#define IDC_bSelectWaveFile 1006
#define IDC_bTest 1007
#define IDC_bVariable 1008

