// The shutdown watcher of the "On Windows shutdown" trigger (trigger 2):
// a hook on the host's main window that runs the watched jobs when Windows
// asks whether the session may end.
#pragma once

#include <windows.h>

#include <cstdint>
#include <vector>

#include "OVTypes.h"

class TSSCheck {
 public:
  // How long the query waits for the runs it started.
  static constexpr DWORD kRunWaitMs = 30000;

  TSSCheck() = default;
  // Takes the hook off the main window.
  ~TSSCheck();
  TSSCheck(const TSSCheck&) = delete;
  TSSCheck& operator=(const TSSCheck&) = delete;

  bool Start(const TOVRunnerParams& params);
  void Stop(const TOVRunnerParams& params);

  // The query before the session ends: every watched job runs, the last
  // watched first, and leaves the list; the query waits for those runs.
  void SessionEnding();

  HWND HookedWindow() const { return window_; }
  // Watched jobs, in the order they were first started.
  std::vector<int32_t> Jobs() const;

 private:
  static LRESULT CALLBACK HookProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR self);
  bool Hook();

  struct TWatched {
    int32_t JobID;
    int Events;  // started events of the job
  };
  HWND window_ = nullptr;
  std::vector<TWatched> list_;
  bool ending_ = false;
};

// Waits until every handle is signalled or timeoutMs has passed, serving
// the thread's messages meanwhile. True when all were signalled.
bool WaitAllPumping(const std::vector<HANDLE>& handles, DWORD timeoutMs);
