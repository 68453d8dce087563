// "Check for window" (method 7): whether a window exists or is the active
// one, and the job stopped depending on the answer.
#pragma once

#define IDD_CHECKFORWINDOW 1700
#define IDC_lCheckCaption 1701
#define IDC_cbCheckCaption 1702
#define IDC_bCheckVariable 1703
#define IDC_cbCheckExact 1704
#define IDC_rgCheckFor 1705
#define IDC_rbWindowExist 1706
#define IDC_rbWindowActive 1707
#define IDC_rgAbortIf 1708
#define IDC_rbAbortIfNot 1709
#define IDC_rbAbortIf 1710

#ifndef RC_INVOKED
#include <string>

#include "WindowTitles.h"

// Whether the foreground window's title matches text by the rule of this
// check (letter case ignored the way the system's locale does it). No
// foreground window, or one without a title, is no match.
bool ForegroundTitleMatches(const std::string& text, uint8_t mode);
#endif
