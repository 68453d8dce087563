#include "Host.h"

#include <atomic>
#include <cstdio>

#include "HostMessages.h"
#include "OVClassesLog.h"
#include "OVClassesRun.h"
#include "OVVars.h"

THostRecord HostRecord{};
TOVLog* MainLog = nullptr;
TOVPlugins* Plugins = nullptr;
TOVJobs* Jobs = nullptr;

namespace {

HWND g_appWindow = nullptr;
HWND g_mainWindow = nullptr;
std::atomic<DWORD> g_mainThread{0};
std::string g_programDir;

const char kAppWindowClass[] = "TApplication";

LRESULT CALLBACK AppWndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg >= OVM_FIRST && msg <= OVM_LAST) return HandleHostMessage(msg, wp, lp);
  switch (msg) {
    case WM_OV_LOGDRAIN:
      HandleLogDrain(wp);
      return 0;
    case WM_OV_VIEWSYNC:
      SyncLogViews();
      return 0;
    case WM_OV_RUNSTATE:
    case WM_OV_RUNDONE:
      try {
        if (msg == WM_OV_RUNSTATE)
          HandleRunState(wp);
        else
          HandleRunDone(wp);
      } catch (const std::exception& e) {
        HostLog(OV_LOG_ERROR, e.what());
      }
      return 0;
    case WM_TIMER:
      if (wp == kLogDrainTimer)
        HandleLogDrain(kDrainTimer);
      else if (wp == kUserVariablesSaveTimer)
        SaveUserVariables();
      else
        RetireRunHandles(false);
      return 0;
    default:
      break;
  }
  // The end of the Windows session is answered here and not passed on.
  if (msg == WM_ENDSESSION) return 0;
  return DefWindowProcA(wnd, msg, wp, lp);
}

}  // namespace

HWND AppWindow() { return g_appWindow; }

HWND CreateAppWindow() {
  if (g_appWindow) return g_appWindow;
  HINSTANCE inst = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  wc.lpfnWndProc = AppWndProc;
  wc.hInstance = inst;
  wc.lpszClassName = kAppWindowClass;
  RegisterClassA(&wc);
  // A hidden, ownerless top-level window of the main thread.
  g_appWindow = CreateWindowExA(WS_EX_TOOLWINDOW, kAppWindowClass, "Orvane", WS_POPUP, 0, 0, 0,
                                0, nullptr, nullptr, inst, nullptr);
  g_mainThread = GetCurrentThreadId();
  // Handles of finished runs are closed after a grace period.
  SetTimer(g_appWindow, 1, 10000, nullptr);
  return g_appWindow;
}

void DestroyAppWindow() {
  if (g_appWindow) DestroyWindow(g_appWindow);
  g_appWindow = nullptr;
}

HWND MainWindow() { return g_mainWindow; }
void SetMainWindow(HWND wnd) { g_mainWindow = wnd; }

DWORD MainThreadId() { return g_mainThread; }
bool IsMainThread() { return GetCurrentThreadId() == g_mainThread; }

std::string ProgramDir() {
  if (g_programDir.empty()) {
    char path[MAX_PATH * 4];
    DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
    std::string p(path, n);
    size_t slash = p.find_last_of("\\/");
    g_programDir = slash == std::string::npos ? std::string() : p.substr(0, slash + 1);
  }
  return g_programDir;
}

void SetProgramDir(const std::string& dir) { g_programDir = IncludeTrailingBackslash(dir); }

void HostLog(uint8_t level, const std::string& text) {
  // The host's own lines are filed before the call returns, after every
  // line the thread queued earlier.
  HWND app = AppWindow();
  if (!app) return;
  TOVLogRecord rec{level, GetCurrentThreadId()};
  SendMessageA(app, OVM_LOG, reinterpret_cast<WPARAM>(text.c_str()), reinterpret_cast<LPARAM>(&rec));
}

void ProcessMessages() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // Leave the quit request for the message loop that owns it.
      PostQuitMessage(static_cast<int>(msg.wParam));
      return;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

std::string IncludeTrailingBackslash(const std::string& path) {
  if (path.empty()) return path;
  if (path.size() == 1) return path + ":\\";
  char last = path.back();
  if (last == '\\' || last == ':') return path;
  return path + "\\";
}

bool ForceDirectories(const std::string& dir) {
  std::string d = dir;
  while (!d.empty() && (d.back() == '\\' || d.back() == '/')) d.pop_back();
  if (d.empty()) return false;
  DWORD attr = GetFileAttributesA(d.c_str());
  if (attr != INVALID_FILE_ATTRIBUTES) return (attr & FILE_ATTRIBUTE_DIRECTORY) != 0;
  size_t slash = d.find_last_of("\\/");
  if (slash != std::string::npos && slash > 0 && d[slash - 1] != ':') {
    if (!ForceDirectories(d.substr(0, slash))) return false;
  }
  return CreateDirectoryA(d.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

bool FileExists(const std::string& path) {
  DWORD attr = GetFileAttributesA(path.c_str());
  return attr != INVALID_FILE_ATTRIBUTES && !(attr & FILE_ATTRIBUTE_DIRECTORY);
}

std::string SystemErrorText(DWORD code) {
  char buf[512] = "";
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, buf, sizeof buf, nullptr);
  while (n > 0 && (buf[n - 1] == '\r' || buf[n - 1] == '\n' || buf[n - 1] == ' ' ||
                   buf[n - 1] == '.'))
    buf[--n] = 0;
  if (n) return buf;
  char text[32];
  snprintf(text, sizeof text, "error %lu", static_cast<unsigned long>(code));
  return text;
}
