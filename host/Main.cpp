// Program entry: one instance per user, the application window, the main
// window TfOrvane, the engine's start-up, the message loop and the exit.
#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <string>

#include "Engine.h"
#include "Host.h"
#include "HostMessages.h"
#include "OVClassesJob.h"
#include "OVClassesJobs.h"
#include "OVClassesLog.h"
#include "RemoteRequests.h"
#include "uPluginInfo.h"
#include "uPrefs.h"
#include "uJob.h"
#include "uSettings.h"

namespace {

const char kMainClass[] = "TfOrvane";
const char kTitle[] = "Orvane 1.4";
constexpr int kLogId = 100;
constexpr int kStatusId = 101;
constexpr int kCmdExit = 200;
// Until the main window has its full menus: Preferences and About.
constexpr int kCmdPreferences = 211;
constexpr int kCmdAbout = 212;
// The Job menu until the job list exists: "New..." and one "Edit" entry
// per job (kCmdEditJob + the job's index).
constexpr int kCmdNewJob = 201;
constexpr int kCmdEditJob = 1000;
constexpr int kMaxEditEntries = 1000;
HMENU g_editMenu = nullptr;

HWND g_main = nullptr;
HWND g_log = nullptr;
HWND g_status = nullptr;
bool g_exiting = false;
// An exit asked for while start-up still runs waits until it has finished.
bool g_starting = false;
bool g_exitPending = false;

class TMainView : public TEngineView {
 public:
  void RestoreHost() override {
    if (!g_main) return;
    ShowWindow(g_main, SW_RESTORE);
    ShowWindow(g_main, SW_SHOW);
    SetForegroundWindow(g_main);
  }
  void MinimizeHost() override {
    if (g_main) ShowWindow(g_main, SW_HIDE);
  }
  void CloseHost() override {
    if (g_main) PostMessageA(g_main, WM_COMMAND, kCmdExit, 0);
  }
  void* LogView() override { return g_log; }
};

TMainView g_view;

void StatusSink(const std::string& text) {
  if (g_status) SendMessageA(g_status, SB_SETTEXTA, 1, reinterpret_cast<LPARAM>(text.c_str()));
}

void Layout(HWND wnd) {
  RECT rc;
  GetClientRect(wnd, &rc);
  SendMessageA(g_status, WM_SIZE, 0, 0);
  RECT sb;
  GetWindowRect(g_status, &sb);
  int sbHeight = sb.bottom - sb.top;
  MoveWindow(g_log, 0, 0, rc.right, rc.bottom - sbHeight, TRUE);
  int parts[2] = {24, -1};
  SendMessageA(g_status, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
}

// The exit sequence; the close always goes ahead.
void ExitProgram(HWND wnd) {
  if (g_starting) {
    g_exitPending = true;
    return;
  }
  if (g_exiting) return;
  g_exiting = true;
  EnableWindow(wnd, FALSE);
  try {
    EngineShutdown();
  } catch (...) {
  }
  SetLogStatusSink(nullptr);
  DestroyWindow(wnd);
}

void FillEditMenu() {
  while (GetMenuItemCount(g_editMenu) > 0) DeleteMenu(g_editMenu, 0, MF_BYPOSITION);
  int count = Jobs ? std::min(Jobs->Count(), kMaxEditEntries) : 0;
  for (int i = 0; i < count; ++i) {
    // A name is shown as it is: "&" is no mnemonic here.
    std::string caption;
    for (char c : Jobs->Items(i)->Name()) caption += c == '&' ? std::string("&&") : std::string(1, c);
    AppendMenuA(g_editMenu, MF_STRING, static_cast<UINT_PTR>(kCmdEditJob + i), caption.c_str());
  }
  if (count == 0) AppendMenuA(g_editMenu, MF_STRING | MF_GRAYED, 0, "(no jobs)");
}

void RunJobCommand(HWND wnd, int id) {
  try {
    if (id == kCmdNewJob)
      NewJobCommand(wnd, Settings.TabIndex);
    else if (id >= kCmdEditJob && id < kCmdEditJob + kMaxEditEntries && Jobs &&
             id - kCmdEditJob < Jobs->Count())
      EditJobCommand(wnd, Jobs->Items(id - kCmdEditJob));
  } catch (const std::exception& e) {
    HostLog(OV_LOG_ERROR, e.what());
  }
}

LRESULT CALLBACK MainWndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg >= OVM_FIRST && msg <= OVM_LAST) return HandleHostMessage(msg, wp, lp);
  switch (msg) {
    case WM_CREATE: {
      HINSTANCE inst = GetModuleHandleA(nullptr);
      g_log = CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", "",
                              WS_CHILD | WS_VISIBLE | WS_VSCROLL | LBS_NOINTEGRALHEIGHT |
                                  LBS_EXTENDEDSEL | LBS_NOTIFY,
                              0, 0, 0, 0, wnd, reinterpret_cast<HMENU>(kLogId), inst, nullptr);
      SendMessageA(g_log, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)),
                   0);
      g_status = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP,
                                 0, 0, 0, 0, wnd, reinterpret_cast<HMENU>(kStatusId), inst,
                                 nullptr);
      HMENU menu = CreateMenu();
      HMENU file = CreatePopupMenu();
      AppendMenuA(file, MF_STRING, kCmdExit, "&Exit\tCtrl+X");
      AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");
      HMENU job = CreatePopupMenu();
      g_editMenu = CreatePopupMenu();
      AppendMenuA(job, MF_STRING, kCmdNewJob, "&New...");
      AppendMenuA(job, MF_POPUP, reinterpret_cast<UINT_PTR>(g_editMenu), "&Edit");
      AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(job), "&Job");
      HMENU options = CreatePopupMenu();
      AppendMenuA(options, MF_STRING, kCmdPreferences, "&Preferences...");
      AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(options), "&Options");
      HMENU help = CreatePopupMenu();
      AppendMenuA(help, MF_STRING, kCmdAbout, "&About...");
      AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(help), "&Help");
      SetMenu(wnd, menu);
      return 0;
    }
    case WM_SIZE:
      if (g_log && g_status) Layout(wnd);
      return 0;
    case WM_INITMENUPOPUP:
      if (reinterpret_cast<HMENU>(wp) == g_editMenu) FillEditMenu();
      return 0;
    case WM_COMMAND:
      if (LOWORD(wp) == kCmdExit) {
        ExitProgram(wnd);
        return 0;
      }
      if (LOWORD(wp) == kCmdPreferences && !g_exiting) {
        ShowPreferences(wnd);
        return 0;
      }
      if (LOWORD(wp) == kCmdAbout && !g_exiting) {
        ShowAbout(wnd);
        return 0;
      }
      if (!g_starting && !g_exiting) RunJobCommand(wnd, LOWORD(wp));
      return 0;
    case WM_CLOSE:
      // The title-bar close minimizes to the tray while "CloseAsMinimize"
      // is on; File, Exit (and the CloseHost service) end the program.
      if (Settings.CloseAsMinimize && !g_exiting) {
        ShowWindow(wnd, SW_HIDE);
        return 0;
      }
      ExitProgram(wnd);
      return 0;
    case WM_ENDSESSION:
      return 0;
    case WM_COPYDATA:
      return HandleCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lp));
    case WM_DESTROY:
      g_main = nullptr;
      SetMainWindow(nullptr);
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcA(wnd, msg, wp, lp);
}

HWND CreateMainWindow(HINSTANCE inst) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = MainWndProc;
  wc.hInstance = inst;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.hIcon = LoadIconA(inst, "ZIDLE");
  wc.lpszClassName = kMainClass;
  RegisterClassA(&wc);
  int w = GetSystemMetrics(SM_CXSCREEN);
  int h = GetSystemMetrics(SM_CYSCREEN) / 2;
  return CreateWindowExA(0, kMainClass, kTitle, WS_OVERLAPPEDWINDOW, 0, 0, w, h, nullptr,
                         nullptr, inst, nullptr);
}

}  // namespace

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR, int) {
  // One instance per user: a second start brings the first one forward.
  HANDLE mutex = CreateMutexA(nullptr, TRUE, "ORVANEMTX");
  if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
    if (HWND first = FindWindowA(kMainClass, nullptr)) SendMessageA(first, OVM_RESTOREHOST, 0, 0);
    CloseHandle(mutex);
    return 0;
  }
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_BAR_CLASSES};
  InitCommonControlsEx(&icc);

  CreateAppWindow();
  g_main = CreateMainWindow(inst);
  SetMainWindow(g_main);
  SetLogStatusSink(StatusSink);
  SetEngineView(&g_view);
  g_starting = true;
  EngineStartup();
  g_starting = false;
  if (Settings.MinimizeOnRun)
    ShowWindow(g_main, SW_HIDE);
  else
    ShowWindow(g_main, SW_SHOWNORMAL);
  if (g_exitPending) ExitProgram(g_main);

  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  SetEngineView(nullptr);
  DestroyAppWindow();
  if (mutex) CloseHandle(mutex);
  return 0;
}
