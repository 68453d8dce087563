#include "OVWait.h"

bool WaitServingSentMessages(HANDLE handle, DWORD timeoutMs) {
  const ULONGLONG start = GetTickCount64();
  for (;;) {
    DWORD left = INFINITE;
    if (timeoutMs != INFINITE) {
      // Messages keep arriving: the limit counts from the start, not from
      // the last message.
      ULONGLONG spent = GetTickCount64() - start;
      left = spent >= timeoutMs ? 0 : static_cast<DWORD>(timeoutMs - spent);
    }
    DWORD r = MsgWaitForMultipleObjectsEx(1, &handle, left, QS_SENDMESSAGE, 0);
    if (r == WAIT_OBJECT_0) return true;
    if (r != WAIT_OBJECT_0 + 1) return false;
    // Peeking dispatches every message sent to this thread; with
    // PM_QS_SENDMESSAGE it removes and dispatches nothing else.
    MSG msg;
    PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}
