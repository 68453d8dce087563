// ovdlg.dll's Question as the General plug-in calls it: loaded by name from
// the installation folder, asked on a thread of its own (a job's thread),
// answered by "a person" who finds the window and clicks, or by itself when
// the countdown ends.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "TestUtil.h"
#include "ovdlg.h"

namespace {

TOVQuestion QuestionProc() {
  static HMODULE lib = LoadLibraryA((std::string(OV_DIST_DIR) + "\\ovdlg.dll").c_str());
  return lib ? reinterpret_cast<TOVQuestion>(
                   reinterpret_cast<void*>(GetProcAddress(lib, "Question"))) : nullptr;
}

std::string Text(HWND wnd) {
  char buf[512] = {};
  GetWindowTextA(wnd, buf, sizeof buf);
  return buf;
}

// One call of Question on a thread of its own, as a job asks it.
class TAsk {
 public:
  TAsk(const std::string& caption, const char* text, BOOL okCancel, int autoAnswer = 0,
       int seconds = 0, HWND owner = nullptr)
      : caption_(caption) {
    thread_ = std::thread([=, this] {
      result_ = QuestionProc()(owner, caption_.c_str(), text, okCancel, autoAnswer, seconds);
      done_ = true;
      // Wake the test thread's wait.
      PostThreadMessageA(testThread_, WM_NULL, 0, 0);
    });
  }
  ~TAsk() {
    if (!done_)
      if (HWND w = Window()) PostMessageA(w, WM_CLOSE, 0, 0);
    thread_.join();
  }

  HWND Window() const { return FindWindowA("#32770", caption_.c_str()); }
  HWND WaitWindow() {
    HWND w = nullptr;
    testutil::WaitFor([&] { return (w = Window()) && IsWindowVisible(w); }, 10000);
    return w;
  }
  HWND Item(int id) { return GetDlgItem(Window(), id); }
  void Click(int id) { SendMessageA(Item(id), BM_CLICK, 0, 0); }
  bool Done() const { return done_; }
  // The answer, or -1 when none came in time.
  int Result(int timeoutMs = 10000) {
    return testutil::WaitFor([&] { return done_.load(); }, timeoutMs) ? result_.load() : -1;
  }

 private:
  std::string caption_;
  DWORD testThread_ = GetCurrentThreadId();
  std::atomic<int> result_{-1};
  std::atomic<bool> done_{false};
  std::thread thread_;
};

}  // namespace

TEST(Question, IsExportedByName) { ASSERT_NE(QuestionProc(), nullptr); }

TEST(Question, OkCancelAnswersWhatThePersonClicks) {
  {
    TAsk ask("ovdlg ok", "Copy the files now?", TRUE);
    HWND w = ask.WaitWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(Text(ask.Item(OVDLG_ID_TEXT)), "Copy the files now?");
    EXPECT_EQ(Text(ask.Item(IDOK)), "OK");
    EXPECT_EQ(Text(ask.Item(IDCANCEL)), "Cancel");
    EXPECT_FALSE(IsWindowVisible(ask.Item(OVDLG_ID_COUNTDOWN)));
    ask.Click(IDOK);
    EXPECT_EQ(ask.Result(), OVDLG_OK_YES);
  }
  {
    TAsk ask("ovdlg cancel", "Copy the files now?", TRUE);
    ASSERT_NE(ask.WaitWindow(), nullptr);
    ask.Click(IDCANCEL);
    EXPECT_EQ(ask.Result(), OVDLG_CANCEL_NO);
  }
}

TEST(Question, YesNoAnswersWhatThePersonClicks) {
  {
    TAsk ask("ovdlg yes", "Go on?", FALSE);
    ASSERT_NE(ask.WaitWindow(), nullptr);
    EXPECT_EQ(Text(ask.Item(IDOK)), "&Yes");
    EXPECT_EQ(Text(ask.Item(IDCANCEL)), "&No");
    ask.Click(IDOK);
    EXPECT_EQ(ask.Result(), OVDLG_OK_YES);
  }
  {
    TAsk ask("ovdlg no", "Go on?", FALSE);
    ASSERT_NE(ask.WaitWindow(), nullptr);
    ask.Click(IDCANCEL);
    EXPECT_EQ(ask.Result(), OVDLG_CANCEL_NO);
  }
}

TEST(Question, ClosingTheWindowAnswersCancelOrNo) {
  for (BOOL okCancel : {TRUE, FALSE}) {
    SCOPED_TRACE(okCancel);
    // Even while a countdown towards OK/Yes runs: the person's close wins.
    TAsk ask("ovdlg close", "Go on?", okCancel, OVDLG_AUTO_OK_YES, 60);
    HWND w = ask.WaitWindow();
    ASSERT_NE(w, nullptr);
    PostMessageA(w, WM_CLOSE, 0, 0);
    EXPECT_EQ(ask.Result(), OVDLG_CANCEL_NO);
  }
}

TEST(Question, CountdownGivesTheAutomaticAnswer) {
  struct TCase {
    BOOL okCancel;
    int autoAnswer;
    const char* label;
    int defId;
  } cases[] = {{FALSE, OVDLG_AUTO_OK_YES, "Yes in 1 s", IDOK},
               {TRUE, OVDLG_AUTO_CANCEL_NO, "Cancel in 1 s", IDCANCEL}};
  for (const TCase& c : cases) {
    SCOPED_TRACE(c.label);
    TAsk ask("ovdlg auto", "Nobody answers", c.okCancel, c.autoAnswer, 1);
    HWND w = ask.WaitWindow();
    ASSERT_NE(w, nullptr);
    ULONGLONG shown = GetTickCount64();
    EXPECT_EQ(Text(ask.Item(OVDLG_ID_COUNTDOWN)), c.label);
    EXPECT_TRUE(IsWindowVisible(ask.Item(OVDLG_ID_COUNTDOWN)));
    // Enter gives the answer the countdown announces.
    EXPECT_EQ(LOWORD(SendMessageA(w, DM_GETDEFID, 0, 0)), c.defId);
    EXPECT_EQ(ask.Result(), c.autoAnswer);
    // It waited for the countdown rather than answering at once.
    EXPECT_GE(GetTickCount64() - shown, 500u);
  }
}

TEST(Question, CountdownIsVisibleAsItRuns) {
  TAsk ask("ovdlg countdown", "Shut down?", TRUE, OVDLG_AUTO_OK_YES, 2);
  ASSERT_NE(ask.WaitWindow(), nullptr);
  HWND label = ask.Item(OVDLG_ID_COUNTDOWN);
  std::vector<std::string> seen;
  testutil::WaitFor(
      [&] {
        std::string t = Text(label);
        if (!t.empty() && (seen.empty() || seen.back() != t)) seen.push_back(t);
        return ask.Done();
      },
      10000);
  EXPECT_EQ(ask.Result(), OVDLG_OK_YES);
  EXPECT_EQ(seen, (std::vector<std::string>{"OK in 2 s", "OK in 1 s"}));
}

TEST(Question, APersonMayAnswerBeforeTheCountdownEnds) {
  TAsk ask("ovdlg early", "Delete the old logs?", FALSE, OVDLG_AUTO_OK_YES, 60);
  ASSERT_NE(ask.WaitWindow(), nullptr);
  EXPECT_EQ(Text(ask.Item(OVDLG_ID_COUNTDOWN)), "Yes in 60 s");
  ask.Click(IDCANCEL);
  EXPECT_EQ(ask.Result(2000), OVDLG_CANCEL_NO);
}

TEST(Question, WithoutOwnerStaysOnTopWithOwnerIsModalToIt) {
  {
    TAsk ask("ovdlg topmost", "Hello", TRUE);
    HWND w = ask.WaitWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(GetWindowLongA(w, GWL_EXSTYLE) & WS_EX_TOPMOST);
    ask.Click(IDOK);
    EXPECT_EQ(ask.Result(), OVDLG_OK_YES);
  }
  HWND owner = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 10, 10,
                               400, 300, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(owner, nullptr);
  {
    TAsk ask("ovdlg owned", "Hello", TRUE, 0, 0, owner);
    HWND w = ask.WaitWindow();
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(GetWindow(w, GW_OWNER), owner);
    EXPECT_FALSE(GetWindowLongA(w, GWL_EXSTYLE) & WS_EX_TOPMOST);
    EXPECT_TRUE(testutil::WaitFor([&] { return !IsWindowEnabled(owner); }, 5000));
    ask.Click(IDCANCEL);
    EXPECT_EQ(ask.Result(), OVDLG_CANCEL_NO);
    EXPECT_TRUE(IsWindowEnabled(owner));
  }
  DestroyWindow(owner);
}

TEST(Question, TheWindowGrowsWithTheText) {
  std::string longText;
  for (int i = 1; i <= 25; ++i) longText += "Line " + std::to_string(i) + " of the question\r\n";
  longText += std::string(600, 'w');  // one word wider than any window
  RECT small{}, large{}, text{}, button{}, client{};
  {
    TAsk ask("ovdlg small", "Short", TRUE);
    ASSERT_NE(ask.WaitWindow(), nullptr);
    GetWindowRect(ask.Window(), &small);
    ask.Click(IDOK);
    ask.Result();
  }
  {
    TAsk ask("ovdlg large", longText.c_str(), TRUE);
    HWND w = ask.WaitWindow();
    ASSERT_NE(w, nullptr);
    GetWindowRect(w, &large);
    GetClientRect(w, &client);
    GetWindowRect(ask.Item(OVDLG_ID_TEXT), &text);
    GetWindowRect(ask.Item(IDOK), &button);
    MapWindowPoints(nullptr, w, reinterpret_cast<POINT*>(&button), 2);
    ask.Click(IDOK);
    EXPECT_EQ(ask.Result(), OVDLG_OK_YES);
  }
  EXPECT_GT(large.bottom - large.top, 2 * (small.bottom - small.top));
  EXPECT_GT(text.bottom - text.top, 25 * 8);  // 25 lines of at least 8 pixels
  // The buttons stay inside the window, and the window on the screen.
  EXPECT_LE(button.bottom, client.bottom);
  EXPECT_LE(button.right, client.right);
  EXPECT_LE(large.right - large.left, GetSystemMetrics(SM_CXSCREEN));
  EXPECT_LE(large.bottom - large.top, GetSystemMetrics(SM_CYSCREEN));
}

TEST(Question, MissingTextsAndOddArgumentsAreHarmless) {
  // Null caption and text; an unknown automatic answer code is no countdown.
  EXPECT_EQ(QuestionProc()(nullptr, nullptr, nullptr, TRUE, OVDLG_AUTO_CANCEL_NO, 1),
            OVDLG_CANCEL_NO);
  {
    TAsk ask("ovdlg odd code", "?", TRUE, 7, 1);
    ASSERT_NE(ask.WaitWindow(), nullptr);
    EXPECT_FALSE(IsWindowVisible(ask.Item(OVDLG_ID_COUNTDOWN)));
    ask.Click(IDOK);
    EXPECT_EQ(ask.Result(), OVDLG_OK_YES);
  }
  {
    // A countdown of no seconds still gives the person one second to see it.
    TAsk ask("ovdlg zero seconds", "?", FALSE, OVDLG_AUTO_OK_YES, 0);
    ASSERT_NE(ask.WaitWindow(), nullptr);
    EXPECT_EQ(Text(ask.Item(OVDLG_ID_COUNTDOWN)), "Yes in 1 s");
    EXPECT_EQ(ask.Result(), OVDLG_OK_YES);
  }
}

TEST(Question, JobsOnSeveralThreadsAskAtTheSameTime) {
  TAsk first("ovdlg first", "First job", TRUE);
  TAsk second("ovdlg second", "Second job", FALSE);
  ASSERT_NE(first.WaitWindow(), nullptr);
  ASSERT_NE(second.WaitWindow(), nullptr);
  second.Click(IDOK);
  EXPECT_EQ(second.Result(), OVDLG_OK_YES);
  EXPECT_FALSE(first.Done());
  EXPECT_EQ(Text(first.Item(OVDLG_ID_TEXT)), "First job");
  first.Click(IDCANCEL);
  EXPECT_EQ(first.Result(), OVDLG_CANCEL_NO);
}
