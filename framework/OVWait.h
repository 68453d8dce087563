// Waiting on a thread that other threads may be waiting for.
//
// A trigger's StopRunner runs on the host's main thread and waits there for
// the trigger's own thread to end. That thread may be inside a host service
// (a message sent to the main thread) or reading the title of one of the
// host's windows (also a message the main thread must answer): a plain wait
// would hold both threads until it timed out. This wait answers such sent
// messages while it waits, and nothing else: posted messages and input stay
// queued for the thread's own message loop, so no user command runs in the
// middle of a stop.
#pragma once

#include <windows.h>

// Waits until handle is signalled or timeoutMs have passed (INFINITE: no
// limit), serving the messages that other threads send to the calling
// thread meanwhile. True when the handle was signalled; false on timeout
// or when the handle cannot be waited on.
bool WaitServingSentMessages(HANDLE handle, DWORD timeoutMs);
