// Global input is watched through the low-level keyboard and mouse hooks,
// which the system calls on the installing thread; input of this program
// alone through the thread's own keyboard and mouse hooks. Either way every
// hook procedure runs on one thread, so the state below needs no lock.
#include "restwatch.h"

namespace {

HHOOK g_keyboard = nullptr;
HHOOK g_mouse = nullptr;
HWND g_target = nullptr;
UINT g_mouseMsg = 0;
UINT g_keyboardMsg = 0;
DWORD g_lastReport = 0;
bool g_reported = false;

void Report(UINT msg) {
  DWORD now = GetTickCount();
  if (g_reported && now - g_lastReport < RESTWATCH_MIN_GAP_MS) return;
  if (PostMessageA(g_target, msg, 0, 0)) {
    g_reported = true;
    g_lastReport = now;
  }
}

LRESULT CALLBACK KeyboardProc(int code, WPARAM wp, LPARAM lp) {
  if (code == HC_ACTION) Report(g_keyboardMsg);
  return CallNextHookEx(g_keyboard, code, wp, lp);
}

LRESULT CALLBACK MouseProc(int code, WPARAM wp, LPARAM lp) {
  if (code == HC_ACTION) Report(g_mouseMsg);
  return CallNextHookEx(g_mouse, code, wp, lp);
}

HINSTANCE g_module = nullptr;

}  // namespace

extern "C" {

BOOL WINAPI InstallHooks(HWND window, LONG local) {
  UninstallHooks();
  if (!window || !IsWindow(window)) return FALSE;
  g_mouseMsg = RegisterWindowMessageA(RESTWATCH_MOUSE_MESSAGE);
  g_keyboardMsg = RegisterWindowMessageA(RESTWATCH_KEYBOARD_MESSAGE);
  g_target = window;
  g_reported = false;
  if (local) {
    DWORD thread = GetWindowThreadProcessId(window, nullptr);
    g_keyboard = SetWindowsHookExA(WH_KEYBOARD, KeyboardProc, nullptr, thread);
    g_mouse = SetWindowsHookExA(WH_MOUSE, MouseProc, nullptr, thread);
  } else {
    g_keyboard = SetWindowsHookExA(WH_KEYBOARD_LL, KeyboardProc, g_module, 0);
    g_mouse = SetWindowsHookExA(WH_MOUSE_LL, MouseProc, g_module, 0);
  }
  if (!g_keyboard || !g_mouse) {
    UninstallHooks();
    return FALSE;
  }
  return TRUE;
}

void WINAPI UninstallHooks(void) {
  if (g_keyboard) UnhookWindowsHookEx(g_keyboard);
  if (g_mouse) UnhookWindowsHookEx(g_mouse);
  g_keyboard = g_mouse = nullptr;
  g_target = nullptr;
}

BOOL WINAPI IsHookActive(void) { return g_keyboard && g_mouse; }

BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = module;
    DisableThreadLibraryCalls(module);
  } else if (reason == DLL_PROCESS_DETACH) {
    // Hooks left pointing into an unloaded library would crash the thread
    // that owns them at its next input.
    UninstallHooks();
  }
  return TRUE;
}

}  // extern "C"
