// "Window watcher" (runner 0): runs its job when a window appears or
// disappears. One watcher thread per armed event, at most one per job.
#pragma once

#define IDD_WINDOWWATCHER 5000
#define IDC_lWatchCaption 5001
#define IDC_cbWatchCaption 5002
#define IDC_bWatchVariable 5003
#define IDC_cbWatchExact 5004
#define IDC_rgWatchFor 5005
#define IDC_rbAppears 5006
#define IDC_rbDisappears 5007
#define IDC_lInterval 5008
#define IDC_eInterval 5009
#define IDC_udInterval 5010
