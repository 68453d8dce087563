#include "uWaitForJobsTerminate.h"

#include <vector>

#include "Host.h"
#include "OVClassesJob.h"
#include "OVClassesJobs.h"

namespace {

const char kClass[] = "TfWaitingForJobsTerminate";
constexpr int kButtonId = 1;

HWND g_window = nullptr;
// The button remembers its stage: 0 stop all, 1 kill all, 2 nothing more.
int g_stage = 0;

// Calls op for every job listed when the button was pressed. A kill may
// show an error box whose message loop ends other runs, and a run's end
// may delete its job: each job is looked up again before its turn.
void ForEveryJob(void (TOVJob::*op)()) {
  std::vector<TOVJob*> snapshot;
  for (int i = 0; i < Jobs->Count(); ++i) snapshot.push_back(Jobs->Items(i));
  for (TOVJob* job : snapshot) {
    if (!Jobs || Jobs->IndexOf(job) < 0) continue;
    try {
      (job->*op)();
    } catch (const std::exception& e) {
      HostLog(OV_LOG_ERROR, e.what());
    }
  }
}

void PressButton(HWND button) {
  if (!Jobs) return;
  if (g_stage == 0) {
    g_stage = 1;
    SetWindowTextA(button, "Kill all Jobs");
    ForEveryJob(&TOVJob::Stop);
  } else if (g_stage == 1) {
    g_stage = 2;
    ForEveryJob(&TOVJob::Kill);
  }
}

LRESULT CALLBACK WndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_COMMAND:
      if (LOWORD(wp) == kButtonId && HIWORD(wp) == BN_CLICKED)
        PressButton(reinterpret_cast<HWND>(lp));
      return 0;
    case WM_CLOSE:
      return 0;  // the window goes when the jobs have ended
    default:
      return DefWindowProcA(wnd, msg, wp, lp);
  }
}

HWND CreateWaitWindow() {
  HINSTANCE inst = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  wc.lpfnWndProc = WndProc;
  wc.hInstance = inst;
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.lpszClassName = kClass;
  RegisterClassA(&wc);
  // No owner (its own task-bar entry), always on top, no title-bar buttons.
  HWND wnd = CreateWindowExA(WS_EX_APPWINDOW | WS_EX_TOPMOST | WS_EX_DLGMODALFRAME, kClass,
                             "Orvane shutdown", WS_CAPTION | WS_POPUP, CW_USEDEFAULT,
                             CW_USEDEFAULT, 340, 130, nullptr, nullptr, inst, nullptr);
  HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  HWND text = CreateWindowExA(0, "STATIC", "Please wait while all Jobs will finish work...",
                              WS_CHILD | WS_VISIBLE | SS_CENTER, 10, 14, 314, 20, wnd, nullptr,
                              inst, nullptr);
  HWND button = CreateWindowExA(0, "BUTTON", "Stop all Jobs",
                                WS_CHILD | WS_VISIBLE | WS_TABSTOP | BS_PUSHBUTTON, 107, 48, 120,
                                26, wnd, reinterpret_cast<HMENU>(kButtonId), inst, nullptr);
  SendMessageA(text, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
  SendMessageA(button, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
  g_stage = 0;
  return wnd;
}

}  // namespace

HWND WaitingWindow() { return g_window; }

void WaitForJobsTerminate() {
  if (!Jobs) return;
  while (Jobs->AnyRunning()) {
    if (!g_window) {
      g_window = CreateWaitWindow();
      ShowWindow(g_window, SW_SHOWNORMAL);
    }
    // Serve the run threads' synchronous messages while waiting. (A job
    // may delete itself when its run ends, so nothing is held across.)
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
    ProcessMessages();
  }
  if (g_window) {
    DestroyWindow(g_window);
    g_window = nullptr;
  }
}
