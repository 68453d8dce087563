// Resource ids of the preferences, the plug-in information window, the
// file-list picker, the filter editor and the input box.
#pragma once

// The file-list picker "Files".
#define IDD_GETFILES 3500
#define IDC_DIRS 3501
#define IDC_DRIVES 3502
#define IDC_FILES 3503
#define IDC_FILTER 3504
#define IDC_FNAME 3505
#define IDC_RESULT 3506
#define IDC_BADDSEL 3507
#define IDC_BADDALL 3508
#define IDC_BREMSEL 3509
#define IDC_BREMALL 3510
#define IDC_BEDITFILT 3511
#define IDC_BSELFOLDER 3512
#define IDC_BMANADD 3513
#define IDC_BMANEDIT 3514
#define IDM_RADD 3515
#define IDM_REDIT 3516
#define IDM_RDELETE 3517
#define IDM_RCLEAR 3518
#define IDC_CURDIR 3519

// The input box.
#define IDD_INPUT 3530
#define IDC_IPROMPT 3531
#define IDC_IVALUE 3532

// The filter editor "Filter Editor"; its cells are made at run time.
#define IDD_FILTERS 3540
#define IDC_FHNAME 3541
#define IDC_FHMASK 3542
#define IDC_FCELL0 3550  // row r, column c: IDC_FCELL0 + 2 * r + c

// The preferences "Preferences".
#define IDD_PREFS 3600
#define IDC_PAGES2 3601
#define IDC_CBMINIMIZE 3602
#define IDC_CBSHOWERRORS 3603
#define IDC_CBWINSTARTUP 3604
#define IDC_CBCLOSEASMIN 3605
#define IDC_LMAXLOG 3606
#define IDC_EMAXLOG 3607
#define IDC_UDMAXLOG 3608
#define IDC_LINE1 3609
#define IDC_CBAUTOLOGON 3610
#define IDC_LUSER 3611
#define IDC_EUSER 3612
#define IDC_LPASS 3613
#define IDC_EPASS 3614
#define IDC_LINE2 3615
#define IDC_LJOBDIR 3616
#define IDC_EJOBDIR 3617
#define IDC_BJOBDIR 3618
#define IDC_LLOGDIR 3619
#define IDC_ELOGDIR 3620
#define IDC_BLOGDIR 3621
#define IDC_GCATS 3622
#define IDC_LCATS 3623
#define IDC_LBCATS 3624
#define IDC_LCATNAME 3625
#define IDC_ECATNAME 3626
#define IDC_BCATADD 3627
#define IDC_BCATDEL 3628
#define IDC_BCATUP 3629
#define IDC_BCATDOWN 3630
#define IDC_GCOLORS 3631
#define IDC_LCOLOR0 3632  // eight labels 3632..3639
#define IDC_CCOLOR0 3640  // eight colour boxes 3640..3647
#define IDC_LPLUGINS 3650
#define IDC_LVPLUGINS 3651
#define IDC_BCONFIGURE 3652
#define IDC_BINFORMATION 3653
#define IDC_BABOUT 3654

// "Information about plugin".
#define IDD_PLUGININFO 3670
#define IDC_INFOTEXT 3671
