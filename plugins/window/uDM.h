// The window plug-in ("window"): actions on top-level windows found by their
// title, a test for a window, and a trigger that watches for one.
//
// Resource ids: each unit takes its own range so that units never clash:
//   the about box                        100..199
//   the seven window actions' dialog     1000..1099
//   "Check for window" (action 7)        1700..1799
//   "Window watcher" (trigger 0)         5000..5099
#pragma once

#define OV_WINDOW_ID 140377010

#ifndef RC_INVOKED
#include "OVPlugin.h"

// "Focus" to "Unhide": actions 0 to 6 (uWindowActions).
constexpr int kWindowActionCount = 7;
TMethodCase WindowActionCase(int index);
const char* WindowActionName(int index);
// Action 7 (uCheckForWindow).
TMethodCase CheckForWindowCase();

// Trigger 0 (uWindowWatcher), and the end of every watcher still running
// when the plug-in is unloaded.
TRunnerCase WindowWatcherCase();
void ReleaseWindowWatchers();
#endif
