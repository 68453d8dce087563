// The idle trigger's input path and its timing.
//  1. A storm of 1,000 synthetic mouse events per second for 3 s through
//     restwatch.dll: how many reports reach the watching thread per second
//     (against the events sent).
//  2. The idle detector aimed 2 s before its alarm: how late the alarm
//     comes after its time, on a quiet thread and on a thread kept busy
//     600 ms out of every 700 ms (where counting timer ticks would fall
//     behind).
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "IdleComp.h"

namespace {

int g_reports = 0;
UINT g_mouseMsg = RegisterWindowMessageA(RESTWATCH_MOUSE_MESSAGE);

LRESULT CALLBACK CountProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == g_mouseMsg) ++g_reports;
  return DefWindowProcA(wnd, msg, wp, lp);
}

void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

// The storm comes from a thread of its own, as input comes from elsewhere:
// the watching thread serves its hooks meanwhile.
struct TStorm {
  int seconds = 3;
  int sent = 0;
};

DWORD WINAPI StormMain(void* p) {
  auto* storm = static_cast<TStorm*>(p);
  const ULONGLONG start = GetTickCount64();
  // Ten events every 10 ms.
  while (GetTickCount64() - start < storm->seconds * 1000ULL) {
    ULONGLONG due = start + static_cast<ULONGLONG>(storm->sent / 10) * 10;
    ULONGLONG now = GetTickCount64();
    if (now < due) {
      Sleep(static_cast<DWORD>(due - now));
      continue;
    }
    INPUT in[10]{};
    for (int i = 0; i < 10; ++i) {
      in[i].type = INPUT_MOUSE;
      in[i].mi.dx = i % 2 ? 1 : -1;
      in[i].mi.dwFlags = MOUSEEVENTF_MOVE;
    }
    storm->sent += static_cast<int>(SendInput(10, in, sizeof in[0]));
  }
  return 0;
}

// The same storm without the hooks: what the system's input path itself
// delivers here.
void StormBaseline() {
  TStorm storm;
  ULONGLONG start = GetTickCount64();
  StormMain(&storm);
  double took = static_cast<double>(GetTickCount64() - start) / 1000.0;
  Pump();
  std::printf("baseline, no hooks: %d mouse events in %.2f s (%.0f/s)\n", storm.sent, took, storm.sent / took);
}

void Storm(const TRestWatch& lib) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = CountProc;
  wc.lpszClassName = "BenchIdleCount";
  RegisterClassA(&wc);
  HWND wnd = CreateWindowA("BenchIdleCount", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  lib.InstallHooks(wnd, 0);
  TStorm storm;
  ULONGLONG start = GetTickCount64();
  HANDLE thread = CreateThread(nullptr, 0, StormMain, &storm, 0, nullptr);
  while (MsgWaitForMultipleObjects(1, &thread, FALSE, INFINITE, QS_ALLINPUT) != WAIT_OBJECT_0) Pump();
  CloseHandle(thread);
  double took = static_cast<double>(GetTickCount64() - start) / 1000.0;
  Pump();
  lib.UninstallHooks();
  std::printf("input storm: %d mouse events in %.2f s (%.0f/s) -> %d reports (%.1f/s; limit 10/s)\n", storm.sent,
              took, storm.sent / took, g_reports, g_reports / took);
  DestroyWindow(wnd);
}

int64_t g_offset = 0;
int64_t AheadClock() { return static_cast<int64_t>(GetTickCount64()) + g_offset; }

// The alarm's lateness in ms; busyMs of every 700 ms spent in a handler;
// the alarm falls `phaseMs` after a whole second of the detector's timer.
double AlarmLateness(int busyMs, int phaseMs) {
  TRestWatch none;
  TIdle idle(none, 58000 - phaseMs);
  idle.Alarm = 60;
  const ULONGLONG due = GetTickCount64() + 2000;
  ULONGLONG fired = 0;
  idle.OnAlarm = [&] { fired = GetTickCount64(); };
  idle.SetEnabled(true);
  UINT_PTR busy = busyMs ? SetTimer(nullptr, 0, 700, nullptr) : 0;
  while (!fired && GetTickCount64() < due + 10000) {
    MSG msg;
    if (GetMessageA(&msg, nullptr, 0, 0) <= 0) break;
    if (msg.message == WM_TIMER && msg.hwnd == nullptr && msg.wParam == busy) {
      Sleep(static_cast<DWORD>(busyMs));
      continue;
    }
    DispatchMessageA(&msg);
  }
  if (busy) KillTimer(nullptr, busy);
  return fired ? static_cast<double>(static_cast<int64_t>(fired) - static_cast<int64_t>(due)) : -1;
}

}  // namespace

int main() {
  SetIdleClock(AheadClock);
  std::string path = std::string(OV_DIST_DIR) + "\\Plugins\\basics\\restwatch.dll";
  TRestWatch lib;
  lib.Module = LoadLibraryA(path.c_str());
  if (lib.Module) {
    auto find = [&](const char* name) { return reinterpret_cast<void*>(GetProcAddress(lib.Module, name)); };
    lib.InstallHooks = reinterpret_cast<TRestWatchInstall>(find("InstallHooks"));
    lib.UninstallHooks = reinterpret_cast<TRestWatchUninstall>(find("UninstallHooks"));
    lib.IsHookActive = reinterpret_cast<TRestWatchActive>(find("IsHookActive"));
  }
  StormBaseline();
  if (lib.Loaded())
    Storm(lib);
  else
    std::printf("input storm: cannot load %s\n", path.c_str());
  for (int busy : {0, 600}) {
    double worst = 0;
    for (int phase : {100, 350, 600, 850}) worst = std::max(worst, AlarmLateness(busy, phase));
    std::printf("idle alarm, %s: at most %.0f ms after its time over 4 phases (limit 1500)\n",
                busy ? "thread busy 600 ms of every 700 ms" : "quiet thread", worst);
  }
  return 0;
}
