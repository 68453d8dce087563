// The idle detector: how long the user has left keyboard and mouse alone.
//
// Input is reported by restwatch.dll, which sits beside the plug-in and is
// loaded from there by its full path; without it the detector cannot tell
// input from none and says so (the idle trigger then refuses to start,
// everything else of the plug-in works).
//
// Idle time is the time since the last reported input, read from a clock
// (not counted in timer ticks, which fall behind while the thread is
// busy). A once-a-second timer on the detector's thread raises OnTimer and,
// once per idle period, OnAlarm.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>

#include "restwatch.h"

// The three functions of restwatch.dll (all null when it did not load).
struct TRestWatch {
  TRestWatchInstall InstallHooks = nullptr;
  TRestWatchUninstall UninstallHooks = nullptr;
  TRestWatchActive IsHookActive = nullptr;
  HMODULE Module = nullptr;
  // Why it did not load.
  std::string Error;
  bool Loaded() const { return InstallHooks && UninstallHooks && IsHookActive; }
};
// Loads restwatch.dll from the folder of the module that holds this code.
TRestWatch LoadRestWatch();
// Uninstalls its hooks and unloads it.
void FreeRestWatch(TRestWatch& lib);

// The detector's clock in milliseconds (monotonic). Tests replace it;
// nullptr restores the system's.
using TIdleClock = int64_t (*)();
void SetIdleClock(TIdleClock clock);
int64_t IdleClockMs();

class TIdle {
 public:
  static constexpr UINT_PTR kTimerId = 1;
  static constexpr UINT kTimerMs = 1000;

  // hooks may be unloaded: no input is ever reported then. The last input
  // counts as `idleBeforeMs` before creation.
  explicit TIdle(const TRestWatch& hooks, int64_t idleBeforeMs = 0);
  ~TIdle();
  TIdle(const TIdle&) = delete;
  TIdle& operator=(const TIdle&) = delete;

  bool Enabled() const { return enabled_; }
  // Enabling installs the input hooks when none are active and starts the
  // timer; disabling stops the timer and leaves the hooks.
  void SetEnabled(bool enabled);
  bool Local() const { return local_; }
  void SetLocal(bool local);

  // Seconds of idleness at which OnAlarm is raised (0: never).
  int32_t Alarm = 300;
  std::function<void()> OnTimer;
  std::function<void()> OnAlarm;

  // Time since the last input, and when it was (on the idle clock).
  int64_t IdleMs() const { return IdleClockMs() - lastInput_; }
  int64_t LastInput() const { return lastInput_; }
  bool InputReported() const { return hooks_.Loaded(); }

  HWND Window() const { return wnd_; }
  UINT MouseMessage() const { return mouseMsg_; }
  UINT KeyboardMessage() const { return keyboardMsg_; }

  // What the timer and the input reports do.
  void TimerTick();
  void InputSeen();

 private:
  static LRESULT CALLBACK WndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
  void InstallHooks();

  TRestWatch hooks_;
  HWND wnd_ = nullptr;
  UINT mouseMsg_ = 0;
  UINT keyboardMsg_ = 0;
  bool enabled_ = false;
  bool local_ = false;
  int64_t lastInput_ = 0;
  int64_t alarmedFor_ = -1;
};
