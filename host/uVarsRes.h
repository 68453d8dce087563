// Resource ids of the variables dialog and the user variable dialog.
#pragma once

#define IDD_VARS 3300
#define IDC_PAGES 3301
#define IDC_LV 3302
#define IDC_LVARVALUE 3303
#define IDC_LV2 3304
#define IDC_BADD 3305
#define IDC_BEDIT 3306
#define IDC_BDELETE 3307
#define IDC_BCLOSE 3308
#define IDM_COPY 3309

#define IDD_ADDVAR 3320
#define IDC_ENAME 3321
#define IDC_EVALUE 3322
#define IDC_LNOTE 3323
