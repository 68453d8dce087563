#include "SSCheck.h"

#include <commctrl.h>

#include <algorithm>
#include <memory>

#include "OVPluginBlock.h"
#include "OVPluginHost.h"
#include "uDM.h"

namespace {

const char kCause[] = "On shutdown";
constexpr UINT_PTR kHookId = 0x55C4;

}  // namespace

TSSCheck::~TSSCheck() {
  // The subclass chain of the common controls keeps every other hook of the
  // window intact, whichever was installed last; a window already gone has
  // dropped its hooks itself.
  if (window_ && IsWindow(window_)) RemoveWindowSubclass(window_, HookProc, kHookId);
}

bool TSSCheck::Hook() {
  if (window_) return true;
  HWND app = HostAppWindow();
  HWND main = app ? reinterpret_cast<HWND>(SendMessageA(app, OVM_GETMAINWINDOW, 0, 0)) : nullptr;
  if (!main || !IsWindow(main)) {
    HostLog(OV_LOG_ERROR, "On Windows shutdown: the main window of the program is not available");
    return false;
  }
  if (!SetWindowSubclass(main, HookProc, kHookId, reinterpret_cast<DWORD_PTR>(this))) {
    HostLog(OV_LOG_ERROR, "On Windows shutdown: cannot watch the main window of the program");
    return false;
  }
  window_ = main;
  return true;
}

bool TSSCheck::Start(const TOVRunnerParams& params) {
  if (!Hook()) return false;
  auto it = std::find_if(list_.begin(), list_.end(), [&](const TWatched& w) { return w.JobID == params.JobID; });
  // A job's further on-shutdown events start too; the job stays watched
  // until the last of them stops.
  if (it != list_.end())
    ++it->Events;
  else
    list_.push_back({params.JobID, 1});
  return true;
}

void TSSCheck::Stop(const TOVRunnerParams& params) {
  auto it = std::find_if(list_.begin(), list_.end(), [&](const TWatched& w) { return w.JobID == params.JobID; });
  if (it == list_.end()) return;
  if (--it->Events <= 0) list_.erase(it);
}

std::vector<int32_t> TSSCheck::Jobs() const {
  std::vector<int32_t> jobs;
  for (const TWatched& w : list_) jobs.push_back(w.JobID);
  return jobs;
}

void TSSCheck::SessionEnding() {
  // A query that arrives while this one waits finds the list empty.
  if (ending_) return;
  ending_ = true;
  std::vector<TWatched> due;
  due.swap(list_);
  std::vector<HANDLE> runs;
  for (auto it = due.rbegin(); it != due.rend(); ++it) {
    HANDLE run = HostRunJob(it->JobID, kCause);
    // The host closes its handle when the run ends, which may happen while
    // this waits: wait on a handle of our own.
    HANDLE own = nullptr;
    if (run && DuplicateHandle(GetCurrentProcess(), run, GetCurrentProcess(), &own, SYNCHRONIZE, FALSE, 0))
      runs.push_back(own);
  }
  WaitAllPumping(runs, kRunWaitMs);
  for (HANDLE h : runs) CloseHandle(h);
  ending_ = false;
}

LRESULT CALLBACK TSSCheck::HookProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR self) {
  if (msg == WM_QUERYENDSESSION) {
    try {
      reinterpret_cast<TSSCheck*>(self)->SessionEnding();
    } catch (...) {
    }
  }
  // The window answers the query itself, as it would without the hook.
  return DefSubclassProc(wnd, msg, wp, lp);
}

bool WaitAllPumping(const std::vector<HANDLE>& handles, DWORD timeoutMs) {
  std::vector<HANDLE> left = handles;
  const ULONGLONG end = GetTickCount64() + timeoutMs;
  while (!left.empty()) {
    ULONGLONG now = GetTickCount64();
    if (now >= end) return false;
    // Up to MAXIMUM_WAIT_OBJECTS - 1 at a time; the rest on later rounds.
    DWORD n = static_cast<DWORD>(std::min<size_t>(left.size(), MAXIMUM_WAIT_OBJECTS - 1));
    DWORD r = MsgWaitForMultipleObjects(n, left.data(), FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    if (r < WAIT_OBJECT_0 + n) {
      left.erase(left.begin() + (r - WAIT_OBJECT_0));
    } else if (r == WAIT_OBJECT_0 + n) {
      MSG msg;
      while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
          // For the thread's own loop, once this wait is over.
          PostQuitMessage(static_cast<int>(msg.wParam));
          return false;
        }
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
      }
    } else if (r != WAIT_TIMEOUT) {
      return false;
    }
  }
  return true;
}

// ------------------------------------------------------------ dispatch

namespace {
std::unique_ptr<TSSCheck> g_ssCheck;
}

void CreateShutdownWatcher() { g_ssCheck = std::make_unique<TSSCheck>(); }

void ReleaseShutdownWatcher() { g_ssCheck.reset(); }

TSSCheck* ShutdownWatcher() { return g_ssCheck.get(); }

TRunnerCase OnShutdownCase() {
  return {
      // No settings: a block of one byte marks the event as configured.
      .Config =
          [](TOVRunnerParams& p) {
            if (p.Size <= 0 || !p.Data) TBlockWriter().Byte(0).StoreTo(p);
            return true;
          },
      .Start = [](TOVRunnerParams& p) { return g_ssCheck && g_ssCheck->Start(p); },
      .Stop =
          [](TOVRunnerParams& p) {
            if (g_ssCheck) g_ssCheck->Stop(p);
          },
  };
}
