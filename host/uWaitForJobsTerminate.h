// The exit wait: while any job runs, the window "Orvane shutdown" stays up
// and the main thread keeps serving the run threads' messages.
#pragma once

#include <windows.h>

// Returns when no job runs any more.
void WaitForJobsTerminate();
// The wait window while it exists (tests press its button), else null.
HWND WaitingWindow();
