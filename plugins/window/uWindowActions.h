// The seven actions that do one thing with a window found by its title:
// "Focus", "Maximize", "Minimize", "Restore", "Close", "Hide", "Unhide"
// (methods 0 to 6), and their one dialog design (TForm1 to TForm7).
#pragma once

#define IDD_WINDOWACTION 1000
#define IDC_lWinCaption 1001
#define IDC_cbWinCaption 1002
#define IDC_cbExact 1003
