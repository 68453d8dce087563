// Resource ids of the job editor and of the action and event pickers.
#pragma once

#define IDD_JOB 3400
#define IDC_EJOBNAME 3401
#define IDC_CBCATS 3402
#define IDC_PCJOB 3403
#define IDC_CBAUTOMAT 3404

// "Steps"
#define IDC_LVJOBSTEPS 3410
#define IDC_BADDSTEP 3411
#define IDC_BCONFIGSTEP 3412
#define IDC_BREMOVESTEP 3413
#define IDC_BSTEPUP 3414
#define IDC_BSTEPDOWN 3415

// "Triggering Events"
#define IDC_LVJOBRUNS 3420
#define IDC_BADDRUN 3421
#define IDC_BCONFIGRUN 3422
#define IDC_BREMOVERUN 3423
#define IDC_CBRUNONSTART 3424
#define IDC_CBRUNONEXIT 3425

// "Advanced"
#define IDC_CBTOLOG 3430
#define IDC_CBHIDDEN 3431
#define IDC_GBAFTERRUN 3432
#define IDC_RBAFTERRUN0 3433  // 3433..3435: Nothing, Deactivate, Delete Job
#define IDC_GBPRIORITY 3440
#define IDC_RBPRIORITY0 3441  // 3441..3446: Idle .. Highest

// Commands of the lists' context menus.
#define IDM_EDITSTEPNAME 3460
#define IDM_DELETEALLSTEPS 3461
#define IDM_SELECTALLSTEPS 3462
#define IDM_UNSELECTALLSTEPS 3463
#define IDM_DELETEALLRUNS 3464
#define IDM_SELECTALLRUNS 3465
#define IDM_UNSELECTALLRUNS 3466

// The pickers ("Select action", "Select Event").
#define IDD_SELECTITEM 3480
#define IDC_TVITEMS 3481
