// The General plug-in ("basics"): one unit per action or trigger, each
// offering its handlers as one case (TMethodCase / TRunnerCase) that the
// data module in uDM.cpp lists at the item's index.
//
// Adding an action or trigger: write its unit (say uAlarmClock.cpp, with
// uAlarmClock.h holding its resource ids for uAlarmClock.rc and the tests,
// all added to CMakeLists.txt), declare its case function below, and
// replace the item's "missing" line in the table of uDM.cpp by one naming
// the case.
//
// Resource ids: each unit takes its own range so that units never clash:
//   the about box            100..199
//   action with index i      1000 + 100 * i .. 1099 + 100 * i
//   trigger with index j     5000 + 100 * j .. 5099 + 100 * j
#pragma once

#define OV_BASICS_ID 9680

#ifndef RC_INVOKED
#include "OVPlugin.h"

// Actions, by index.
TMethodCase MessageCase();        // 0  uMessage
TMethodCase RunCase();            // 1  uRun
TMethodCase SelectJobCase();      // 5  uSelectJob
TMethodCase ShutdownCase();       // 6  uShutdown
TMethodCase ConfirmRunJobCase();  // 7  uConfirmRunJob
TMethodCase WriteTextFileCase();  // 8  uWriteTextFile
TMethodCase WinPopupCase();       // 9  uWinPopupMessage
TMethodCase SendKeysCase();       // 11 uSendKeys
TMethodCase DelayCase();          // 12 uDelay
TMethodCase CopyFilesCase();      // 2  uFileOps
TMethodCase DeleteFilesCase();    // 3  uFileOps
TMethodCase SyncFoldersCase();    // 4  uSyncFolders
TMethodCase PrintDocCase();       // 10 uFileOps
TMethodCase RenameFilesCase();    // 14 uFileOps
TMethodCase FileListCase();       // 13 uFileList

// Triggers, by index.
TRunnerCase HotKeyCase();         // 0  uHotKey
TRunnerCase AlarmClockCase();     // 1  uAlarmClock
TRunnerCase OnShutdownCase();     // 2  SSCheck
TRunnerCase IdleCase();           // 4  uIdle
// The hidden hot-key window, the shutdown watcher and the idle list: made
// by DMCreate, released at shutdown.
void CreateHotKeyWindow();
void ReleaseHotKeyWindow();
void CreateShutdownWatcher();
void ReleaseShutdownWatcher();
void CreateIdleList();
void ReleaseIdleList();
// The hidden alarm window and its clock: made by DMCreate, released at
// shutdown.
void CreateAlarmClock();
void ReleaseAlarmClock();
TRunnerCase FileMonitorCase();    // 3  uFileMon
// Ends the polling of monitors still started at shutdown.
void ReleaseFileMonitors();
#endif
