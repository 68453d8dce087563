// "Question" (action 7): asks the person at the computer whether the job
// goes on.
#pragma once

#define IDD_CONFIRMRUNJOB 1700
#define IDC_lQText 1701
#define IDC_mQText 1702
#define IDC_rgButtons 1703
#define IDC_rbOkCancel 1704
#define IDC_rbYesNo 1705
#define IDC_rgAbortJobIf 1706
#define IDC_rbAbortCancel 1707
#define IDC_rbAbortOk 1708
#define IDC_gbAutoChoice 1709
#define IDC_rbAutoNone 1710
#define IDC_rbAutoCancel 1711
#define IDC_rbAutoOk 1712
#define IDC_lAfter 1713
#define IDC_eSecs 1714
#define IDC_udSecs 1715
#define IDC_lSec 1716
#define IDC_bQuestionTest 1717
#define IDC_bQuestionVariable 1718

