// The wait that serves sent messages: another thread's SendMessage to the
// waiting thread is answered, posted messages stay queued, and the time
// limit holds while messages keep coming.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <thread>

#include "OVWait.h"

namespace {

std::atomic<int> g_handled{0};

LRESULT CALLBACK CountProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_APP) {
    ++g_handled;
    return 42;
  }
  return DefWindowProcA(wnd, msg, wp, lp);
}

HWND MakeWindow() {
  WNDCLASSA wc{};
  wc.lpfnWndProc = CountProc;
  wc.lpszClassName = "OVWaitTest";
  RegisterClassA(&wc);
  return CreateWindowA("OVWaitTest", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
}

}  // namespace

TEST(WaitServingSentMessages, AnswersAThreadThatWaitsForTheWaiter) {
  HWND wnd = MakeWindow();
  g_handled = 0;
  PostMessageA(wnd, WM_APP, 0, 0);
  HANDLE done = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  LRESULT answer = 0;
  std::thread sender([&] {
    answer = SendMessageA(wnd, WM_APP, 0, 0);
    SetEvent(done);
  });
  EXPECT_TRUE(WaitServingSentMessages(done, 10000));
  sender.join();
  EXPECT_EQ(answer, 42);
  // Only the sent message was handled; the posted one waits for the loop.
  EXPECT_EQ(g_handled.load(), 1);
  MSG msg;
  EXPECT_TRUE(PeekMessageA(&msg, wnd, WM_APP, WM_APP, PM_REMOVE));
  CloseHandle(done);
  DestroyWindow(wnd);
}

TEST(WaitServingSentMessages, GivesUpAtItsLimitWhileMessagesKeepComing) {
  HWND wnd = MakeWindow();
  HANDLE never = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::atomic<bool> stop{false};
  std::thread sender([&] {
    while (!stop) SendMessageTimeoutA(wnd, WM_APP, 0, 0, SMTO_NORMAL, 1000, nullptr);
  });
  g_handled = 0;
  EXPECT_FALSE(WaitServingSentMessages(never, 300));
  stop = true;
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  sender.join();
  EXPECT_GT(g_handled.load(), 1);
  EXPECT_FALSE(WaitServingSentMessages(nullptr, 0));
  CloseHandle(never);
  DestroyWindow(wnd);
}
