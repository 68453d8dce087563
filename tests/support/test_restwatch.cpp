// restwatch.dll as the idle trigger uses it: loaded from the General
// plug-in's folder, it reports input made through the system's input
// stream to a window, no more often than once per 100 ms, and stops when
// uninstalled.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "TestUtil.h"
#include "restwatch.h"

namespace {

struct TRestWatchLib {
  HMODULE module = LoadLibraryA((std::string(OV_DIST_DIR) + "\\Plugins\\basics\\restwatch.dll").c_str());
  template <class T>
  T Get(const char* name) const {
    return module ? reinterpret_cast<T>(reinterpret_cast<void*>(GetProcAddress(module, name))) : nullptr;
  }
  TRestWatchInstall Install = Get<TRestWatchInstall>("InstallHooks");
  TRestWatchUninstall Uninstall = Get<TRestWatchUninstall>("UninstallHooks");
  TRestWatchActive Active = Get<TRestWatchActive>("IsHookActive");
};

const TRestWatchLib& Lib() {
  static TRestWatchLib lib;
  return lib;
}

// A window that counts the reports it receives.
int g_mouse = 0, g_keyboard = 0;
UINT g_mouseMsg = RegisterWindowMessageA(RESTWATCH_MOUSE_MESSAGE);
UINT g_keyboardMsg = RegisterWindowMessageA(RESTWATCH_KEYBOARD_MESSAGE);

LRESULT CALLBACK CountProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == g_mouseMsg) ++g_mouse;
  if (msg == g_keyboardMsg) ++g_keyboard;
  return DefWindowProcA(wnd, msg, wp, lp);
}

HWND CountWindow() {
  static HWND wnd = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = CountProc;
    wc.lpszClassName = "RestWatchCount";
    RegisterClassA(&wc);
    return CreateWindowA("RestWatchCount", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  }();
  return wnd;
}

void MoveMouse() {
  INPUT in{};
  in.type = INPUT_MOUSE;
  in.mi.dx = 1;
  in.mi.dwFlags = MOUSEEVENTF_MOVE;
  SendInput(1, &in, sizeof in);
}

void TapShift() {
  INPUT in[2]{};
  in[0].type = in[1].type = INPUT_KEYBOARD;
  in[0].ki.wVk = in[1].ki.wVk = VK_SHIFT;
  in[1].ki.dwFlags = KEYEVENTF_KEYUP;
  SendInput(2, in, sizeof in[0]);
}

// Serves the thread's messages (the hooks run inside this) for a while.
void PumpFor(int ms) {
  testutil::WaitFor([] { return false; }, ms);
}

class RestWatch : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(Lib().Install && Lib().Uninstall && Lib().Active);
    g_mouse = g_keyboard = 0;
  }
  void TearDown() override { Lib().Uninstall(); }
};

TEST_F(RestWatch, ReportsMouseAndKeyboardInputAndStopsAfterUninstall) {
  EXPECT_FALSE(Lib().Active());
  ASSERT_TRUE(Lib().Install(CountWindow(), 0));
  EXPECT_TRUE(Lib().Active());
  // Other tests of the run may send input to the same session meanwhile,
  // and one report per tenth of a second is all restwatch passes on: a few
  // tries let each kind through.
  for (int i = 0; i < 10 && g_mouse == 0; ++i) {
    MoveMouse();
    PumpFor(300);
  }
  EXPECT_GE(g_mouse, 1);
  for (int i = 0; i < 10 && g_keyboard == 0; ++i) {
    TapShift();
    PumpFor(300);
  }
  EXPECT_GE(g_keyboard, 1);

  Lib().Uninstall();
  EXPECT_FALSE(Lib().Active());
  int mouse = g_mouse, keyboard = g_keyboard;
  MoveMouse();
  TapShift();
  PumpFor(300);
  EXPECT_EQ(g_mouse, mouse);
  EXPECT_EQ(g_keyboard, keyboard);
}

TEST_F(RestWatch, AStormOfInputGivesAtMostOneReportPerTenthOfASecond) {
  ASSERT_TRUE(Lib().Install(CountWindow(), 0));
  ULONGLONG start = GetTickCount64();
  for (int i = 0; i < 300; ++i) {
    MoveMouse();
    if (i % 10 == 0) PumpFor(1);
  }
  PumpFor(200);
  ULONGLONG took = GetTickCount64() - start;
  EXPECT_GE(g_mouse, 1);
  EXPECT_LE(static_cast<ULONGLONG>(g_mouse), took / RESTWATCH_MIN_GAP_MS + 1) << took << " ms";
}

}  // namespace
