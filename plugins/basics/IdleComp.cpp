#include "IdleComp.h"

#include <stdexcept>

#include "BasicsUtil.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

const char kWindowClass[] = "TIdle";

HINSTANCE Module() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

int64_t SystemClockMs() { return static_cast<int64_t>(GetTickCount64()); }

TIdleClock g_clock = SystemClockMs;

}  // namespace

void SetIdleClock(TIdleClock clock) { g_clock = clock ? clock : SystemClockMs; }

int64_t IdleClockMs() { return g_clock(); }

// ------------------------------------------------------------ restwatch

TRestWatch LoadRestWatch() {
  TRestWatch lib;
  // The plug-in's own folder is not on the search path: name the file.
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(Module(), path, MAX_PATH);
  std::string file = n > 0 && n < MAX_PATH ? std::string(path, n) : std::string();
  size_t slash = file.find_last_of("\\/");
  file = (slash == std::string::npos ? std::string() : file.substr(0, slash + 1)) + "restwatch.dll";
  lib.Module = LoadLibraryExA(file.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!lib.Module) {
    lib.Error = "Cannot load " + file + ": " + SystemErrorText(GetLastError());
    return lib;
  }
  auto find = [&](const char* name) { return reinterpret_cast<void*>(GetProcAddress(lib.Module, name)); };
  lib.InstallHooks = reinterpret_cast<TRestWatchInstall>(find("InstallHooks"));
  lib.UninstallHooks = reinterpret_cast<TRestWatchUninstall>(find("UninstallHooks"));
  lib.IsHookActive = reinterpret_cast<TRestWatchActive>(find("IsHookActive"));
  if (!lib.Loaded()) {
    lib.Error = file + " lacks InstallHooks, UninstallHooks or IsHookActive";
    FreeLibrary(lib.Module);
    lib = TRestWatch{.Error = lib.Error};
  }
  return lib;
}

void FreeRestWatch(TRestWatch& lib) {
  if (lib.Loaded()) lib.UninstallHooks();
  if (lib.Module) FreeLibrary(lib.Module);
  lib = TRestWatch{};
}

// ------------------------------------------------------------ TIdle

TIdle::TIdle(const TRestWatch& hooks, int64_t idleBeforeMs) : hooks_(hooks) {
  lastInput_ = IdleClockMs() - idleBeforeMs;
  mouseMsg_ = RegisterWindowMessageA(RESTWATCH_MOUSE_MESSAGE);
  keyboardMsg_ = RegisterWindowMessageA(RESTWATCH_KEYBOARD_MESSAGE);
  WNDCLASSA wc{};
  wc.lpfnWndProc = WndProc;
  wc.hInstance = Module();
  wc.lpszClassName = kWindowClass;
  RegisterClassA(&wc);
  wnd_ = CreateWindowA(kWindowClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, Module(), this);
  if (!wnd_) throw std::runtime_error("Cannot create the idle detector's window");
}

TIdle::~TIdle() {
  if (enabled_) KillTimer(wnd_, kTimerId);
  SetWindowLongPtrA(wnd_, GWLP_USERDATA, 0);
  DestroyWindow(wnd_);
  UnregisterClassA(kWindowClass, Module());
}

void TIdle::InstallHooks() {
  if (!hooks_.Loaded()) return;
  if (!hooks_.IsHookActive()) hooks_.InstallHooks(wnd_, local_ ? -1 : 0);
}

void TIdle::SetEnabled(bool enabled) {
  if (enabled) {
    InstallHooks();
    if (!SetTimer(wnd_, kTimerId, kTimerMs, nullptr)) throw std::runtime_error("Out of system resources");
  } else if (enabled_) {
    KillTimer(wnd_, kTimerId);
  }
  enabled_ = enabled;
}

void TIdle::SetLocal(bool local) {
  local_ = local;
  if (!hooks_.Loaded()) return;
  hooks_.UninstallHooks();
  if (enabled_) InstallHooks();
}

void TIdle::InputSeen() { lastInput_ = IdleClockMs(); }

void TIdle::TimerTick() {
  if (!enabled_) return;
  if (OnTimer) OnTimer();
  // Once per idle period: new input starts the next one.
  if (Alarm > 0 && alarmedFor_ != lastInput_ && IdleMs() >= int64_t{Alarm} * 1000) {
    alarmedFor_ = lastInput_;
    if (OnAlarm) OnAlarm();
  }
}

LRESULT CALLBACK TIdle::WndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
    SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
    return DefWindowProcA(wnd, msg, wp, lp);
  }
  auto* self = reinterpret_cast<TIdle*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
  if (!self) return DefWindowProcA(wnd, msg, wp, lp);
  if (msg == WM_TIMER && wp == kTimerId) {
    try {
      self->TimerTick();
    } catch (...) {
    }
    return 0;
  }
  if (msg >= 0xC000 && (msg == self->mouseMsg_ || msg == self->keyboardMsg_)) {
    self->InputSeen();
    return 0;
  }
  return DefWindowProcA(wnd, msg, wp, lp);
}
