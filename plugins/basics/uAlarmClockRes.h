// Resource identifiers of the alarm clock's dialog.
#pragma once

#define IDD_ALARMCLOCK 5100

#define IDC_ETIME 5101
#define IDC_BNOW 5102
#define IDC_BADD 5103
#define IDC_BREMOVE 5104
#define IDC_BCLEAR 5105
#define IDC_LVALARMTIMES 5106
#define IDC_CBPERIODICITY 5107
#define IDC_NB 5108
#define IDC_LDAYSOFWEEK 5109
#define IDC_LVDAYSOFWEEK 5110
#define IDC_LDAYSOFMONTH 5111
#define IDC_LLASTDAYNOTE 5112
#define IDC_LVDAYSOFMONTH 5113
#define IDC_STARTDATE 5114

// Commands of the day lists' pop-up menu.
#define IDM_SELECTALL 5150
#define IDM_UNSELECTALL 5151
