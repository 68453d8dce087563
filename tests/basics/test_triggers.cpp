// The hot-key, on-shutdown and idle triggers in-process: events started
// through the plug-in's runner entries, the host's RunJob and Log services
// recording what the triggers ask for.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <string>
#include <vector>

#include "AlarmTestHost.h"
#include "DialogDriver.h"
#include "OVPluginBlock.h"
#include "ShortCut.h"
#include "uHotKey.h"
#include "uIdle.h"

using alarmtest::Fake;

namespace {

enum { rHotKey = 0, rOnShutdown = 2, rIdle = 4 };

using Runs = std::vector<std::pair<int32_t, std::string>>;

class Triggers : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(record_ = alarmtest::LoadPlugin(), nullptr); }
  void TearDown() override {
    for (auto& [index, p] : started_) record_->Runners->StopRunner(index, p);
    for (TOVRunnerParams* p : events_) {
      alarmtest::FreeBlock(*p);
      delete p;
    }
    alarmtest::UnloadPlugin();
  }

  // A configured event of job `job`, kept until the test ends.
  TOVRunnerParams* Event(int32_t job, const std::vector<uint8_t>& block) {
    auto* p = new TOVRunnerParams{job, 0, nullptr};
    alarmtest::SetBlock(*p, block);
    events_.push_back(p);
    return p;
  }
  bool Start(int index, TOVRunnerParams* p) {
    bool ok = record_->Runners->StartRunner(index, p) != 0;
    if (ok) started_.emplace_back(index, p);
    return ok;
  }
  void Stop(int index, TOVRunnerParams* p) {
    record_->Runners->StopRunner(index, p);
    std::erase(started_, std::pair<int, TOVRunnerParams*>(index, p));
  }
  std::vector<std::string> ErrorLines() const {
    std::vector<std::string> lines;
    for (const auto& [level, text] : Fake().logs)
      if (level == OV_LOG_ERROR) lines.push_back(text);
    return lines;
  }

  TPluginRecord* record_ = nullptr;
  std::vector<TOVRunnerParams*> events_;
  std::vector<std::pair<int, TOVRunnerParams*>> started_;
};

std::vector<uint8_t> HotKeyBlock(uint16_t shortCut) { return TBlockWriter().Word(shortCut).Bytes(); }

// Keys no other program of the test session registers.
constexpr uint16_t kCtrlAltF9 = kShortCutCtrl | kShortCutAlt | VK_F9;
constexpr uint16_t kCtrlAltF10 = kShortCutCtrl | kShortCutAlt | VK_F10;

// ------------------------------------------------------------ shortcuts

TEST(ShortCut, ConvertsBetweenTheControlTheWordAndItsText) {
  EXPECT_EQ(ShortCutFromHotKeyValue(MAKEWORD(VK_F5, HOTKEYF_CONTROL | HOTKEYF_ALT | HOTKEYF_EXT)), 0xC074);
  EXPECT_EQ(HotKeyValueFromShortCut(0xE041), MAKEWORD('A', HOTKEYF_SHIFT | HOTKEYF_CONTROL | HOTKEYF_ALT));
  EXPECT_EQ(ShortCutHotKeyModifiers(0xE041), UINT(MOD_SHIFT | MOD_CONTROL | MOD_ALT));
  EXPECT_EQ(ShortCutToText(0xC074), "Ctrl+Alt+F5");
  EXPECT_EQ(ShortCutToText(0xE041), "Shift+Ctrl+Alt+A");
  EXPECT_EQ(ShortCutToText(kShortCutShift | VK_NEXT), "Shift+PgDn");
  EXPECT_EQ(ShortCutToText(kShortCutCtrl | '7'), "Ctrl+7");
  EXPECT_EQ(ShortCutToText(VK_F24), "F24");
  // Modifiers without a key name nothing.
  EXPECT_EQ(ShortCutToText(kShortCutCtrl), "");
  // Keys outside the fixed names still get distinct texts.
  EXPECT_NE(ShortCutToText(kShortCutCtrl | VK_OEM_1), "");
  EXPECT_NE(ShortCutToText(kShortCutCtrl | VK_OEM_1), ShortCutToText(kShortCutCtrl | VK_OEM_2));
}

// ------------------------------------------------------------ hot keys

TEST_F(Triggers, TheSameHotKeyForASecondJobFailsWithItsLineAndLeavesNoAtom) {
  const std::string atomName = "Hotkey " + ShortCutToText(kCtrlAltF9);
  TOVRunnerParams* first = Event(7, HotKeyBlock(kCtrlAltF9));
  TOVRunnerParams* second = Event(8, HotKeyBlock(kCtrlAltF9));
  ASSERT_TRUE(Start(rHotKey, first));
  EXPECT_NE(GlobalFindAtomA(atomName.c_str()), 0);
  EXPECT_FALSE(Start(rHotKey, second));
  EXPECT_EQ(ErrorLines(), std::vector<std::string>{"Cannot register hotkey \"Ctrl+Alt+F9\" for job \"Job 8\"!"});

  // Stopping the event that never started changes nothing; stopping the
  // first frees the atom, also of the failed attempt.
  Stop(rHotKey, second);
  EXPECT_EQ(HotKeyWindow()->Registrations().size(), 1u);
  Stop(rHotKey, first);
  EXPECT_EQ(GlobalFindAtomA(atomName.c_str()), 0);
  EXPECT_TRUE(HotKeyWindow()->Registrations().empty());
  EXPECT_EQ(ErrorLines().size(), 1u);
  // The key is free again.
  EXPECT_TRUE(Start(rHotKey, second));
}

TEST_F(Triggers, AHotKeyRunsTheJobsOfItsOwnRegistrationsAndStopIsPerEvent) {
  // Job 5 holds two hot-key events; job 6 one.
  TOVRunnerParams* f9 = Event(5, HotKeyBlock(kCtrlAltF9));
  TOVRunnerParams* f10 = Event(5, HotKeyBlock(kCtrlAltF10));
  TOVRunnerParams* other = Event(6, HotKeyBlock(kShortCutCtrl | kShortCutShift | VK_F11));
  ASSERT_TRUE(Start(rHotKey, f9));
  ASSERT_TRUE(Start(rHotKey, f10));
  ASSERT_TRUE(Start(rHotKey, other));
  auto atomOf = [](uint16_t key) { return GlobalFindAtomA(("Hotkey " + ShortCutToText(key)).c_str()); };
  HWND wnd = HotKeyWindow()->Window();

  SendMessageA(wnd, WM_HOTKEY, atomOf(kCtrlAltF10), 0);
  EXPECT_EQ(Fake().runs, (Runs{{5, "Hot keys"}}));

  // Stopping the F10 event leaves F9 of the same job armed.
  Stop(rHotKey, f10);
  EXPECT_EQ(atomOf(kCtrlAltF10), 0);
  SendMessageA(wnd, WM_HOTKEY, atomOf(kCtrlAltF9), 0);
  EXPECT_EQ(Fake().runs, (Runs{{5, "Hot keys"}, {5, "Hot keys"}}));
  // An identifier of no registration runs nothing.
  SendMessageA(wnd, WM_HOTKEY, 0xBEEF, 0);
  EXPECT_EQ(Fake().runs.size(), 2u);
}

TEST_F(Triggers, AHotKeyBlockWithoutAKeyDoesNotStart) {
  EXPECT_FALSE(Start(rHotKey, Event(9, {})));
  EXPECT_FALSE(Start(rHotKey, Event(9, {0x74})));
  EXPECT_EQ(ErrorLines().size(), 2u);
  EXPECT_TRUE(HotKeyWindow()->Registrations().empty());
}

TEST_F(Triggers, TheHotKeyDialogWritesTheControlsShortcutAndRefusesNoKey) {
  TOVRunnerParams* p = Event(1, HotKeyBlock(kCtrlAltF9));
  std::string shown;
  {
    testutil::TDialogScript script([&](HWND dlg) {
      HWND control = GetDlgItem(dlg, IDC_HOTKEY);
      shown = ShortCutToText(GetHotKeyShortCut(control));
      SendMessageA(control, HKM_SETHOTKEY, 0, 0);
      testutil::Click(dlg, IDOK);  // refused: no key
      SetHotKeyShortCut(control, kShortCutShift | kShortCutCtrl | VK_HOME);
      testutil::Click(dlg, IDOK);
    });
    EXPECT_TRUE(record_->Runners->ConfigRunner(rHotKey, p));
    EXPECT_TRUE(script.Finished());
  }
  EXPECT_EQ(shown, "Ctrl+Alt+F9");
  std::vector<uint8_t> block(static_cast<uint8_t*>(p->Data), static_cast<uint8_t*>(p->Data) + p->Size);
  EXPECT_EQ(block, (std::vector<uint8_t>{VK_HOME, 0x60}));
}

// ------------------------------------------------------------ shutdown

TEST_F(Triggers, TheShutdownQueryRunsEachWatchedJobOnceLastToFirst) {
  for (int32_t job : {21, 22, 23}) ASSERT_TRUE(Start(rOnShutdown, Event(job, {0})));
  // A second event of job 22 starts as well; stopping it keeps the job
  // watched through its first.
  TOVRunnerParams* again = Event(22, {0});
  ASSERT_TRUE(Start(rOnShutdown, again));
  Stop(rOnShutdown, again);

  HWND main = Fake().mainWindow;
  EXPECT_EQ(SendMessageA(main, WM_QUERYENDSESSION, 0, 0), TRUE);
  EXPECT_EQ(Fake().runs, (Runs{{23, "On shutdown"}, {22, "On shutdown"}, {21, "On shutdown"}}));
  // A cancelled shutdown followed by another runs nothing again.
  SendMessageA(main, WM_QUERYENDSESSION, 0, 0);
  EXPECT_EQ(Fake().runs.size(), 3u);
}

TEST_F(Triggers, AJobWhoseShutdownEventsAllStoppedDoesNotRun) {
  TOVRunnerParams* a = Event(31, {0});
  TOVRunnerParams* b = Event(31, {0});
  ASSERT_TRUE(Start(rOnShutdown, a));
  ASSERT_TRUE(Start(rOnShutdown, b));
  Stop(rOnShutdown, a);
  Stop(rOnShutdown, b);
  SendMessageA(Fake().mainWindow, WM_QUERYENDSESSION, 0, 0);
  EXPECT_TRUE(Fake().runs.empty());
}

TEST_F(Triggers, WithoutAMainWindowTheShutdownEventDoesNotStart) {
  Fake().mainWindow = nullptr;
  EXPECT_FALSE(Start(rOnShutdown, Event(41, {0})));
  EXPECT_EQ(ErrorLines().size(), 1u);
}

// ------------------------------------------------------------ idle

int64_t g_now = 0;
int64_t TestNow() { return g_now; }

int g_installs = 0;
BOOL g_active = FALSE;
BOOL WINAPI FakeInstall(HWND, LONG) {
  ++g_installs;
  g_active = TRUE;
  return TRUE;
}
void WINAPI FakeUninstall() { g_active = FALSE; }
BOOL WINAPI FakeActive() { return g_active; }

class Idle : public Triggers {
 protected:
  void SetUp() override {
    Triggers::SetUp();
    g_now = 1000000;
    g_installs = 0;
    g_active = FALSE;
    SetIdleClock(TestNow);
    TRestWatch hooks;
    hooks.InstallHooks = FakeInstall;
    hooks.UninstallHooks = FakeUninstall;
    hooks.IsHookActive = FakeActive;
    list_ = std::make_unique<TIdleList>(hooks);
  }
  void TearDown() override {
    list_.reset();
    SetIdleClock(nullptr);
    Triggers::TearDown();
  }
  std::vector<uint8_t> Minutes(int32_t m) { return TBlockWriter().Dword(m).Bytes(); }
  // Time runs on to `seconds` after the start, the timer ticking each second.
  void RunTo(int64_t seconds) {
    while (g_now < 1000000 + seconds * 1000) {
      g_now += 1000;
      list_->Idle.TimerTick();
    }
  }
  void Input() { SendMessageA(list_->Idle.Window(), list_->Idle.MouseMessage(), 0, 0); }
  std::unique_ptr<TIdleList> list_;
};

TEST_F(Idle, AnEventFiresOncePerIdlePeriodAndInputRestartsTheCount) {
  EXPECT_EQ(g_installs, 1);
  TOVRunnerParams* p = Event(51, Minutes(1));
  ASSERT_TRUE(list_->Start(*p));
  RunTo(59);
  Input();  // at 59 s: the minute now ends at 119 s
  RunTo(118);
  EXPECT_TRUE(Fake().runs.empty());
  RunTo(119);
  EXPECT_EQ(Fake().runs, (Runs{{51, "Idle"}}));
  RunTo(240);
  EXPECT_EQ(Fake().runs.size(), 1u);
  // New input; then a busy thread misses ticks, and the next one still
  // sees the whole idle time.
  Input();
  g_now += 65000;
  list_->Idle.TimerTick();
  EXPECT_EQ(Fake().runs.size(), 2u);
}

TEST_F(Idle, EventsOfFiveAndTenMinutesFireAtTheirTimes) {
  ASSERT_TRUE(list_->Start(*Event(61, Minutes(5))));
  ASSERT_TRUE(list_->Start(*Event(62, Minutes(10))));
  RunTo(299);
  EXPECT_TRUE(Fake().runs.empty());
  RunTo(300);
  EXPECT_EQ(Fake().runs, (Runs{{61, "Idle"}}));
  RunTo(599);
  EXPECT_EQ(Fake().runs.size(), 1u);
  RunTo(600);
  EXPECT_EQ(Fake().runs, (Runs{{61, "Idle"}, {62, "Idle"}}));
}

TEST_F(Idle, StartStopAndBadBlocks) {
  TOVRunnerParams* p = Event(71, Minutes(1));
  ASSERT_TRUE(list_->Start(*p));
  EXPECT_FALSE(list_->Start(*p));  // already there
  list_->Stop(*p);
  list_->Stop(*p);  // never started: nothing
  EXPECT_EQ(list_->Count(), 0u);
  RunTo(120);
  EXPECT_TRUE(Fake().runs.empty());
  for (auto block : {std::vector<uint8_t>{}, Minutes(0), Minutes(32768), std::vector<uint8_t>{1, 0}})
    EXPECT_FALSE(list_->Start(*Event(72, block)));
  EXPECT_EQ(ErrorLines().size(), 4u);
}

// The plug-in's own list: restwatch.dll is not beside this test program.
TEST_F(Triggers, WithoutRestwatchTheIdleTriggerRefusesToStart) {
  EXPECT_FALSE(Start(rIdle, Event(81, TBlockWriter().Dword(1).Bytes())));
  ASSERT_EQ(ErrorLines().size(), 1u);
  EXPECT_NE(ErrorLines()[0].find("restwatch.dll"), std::string::npos) << ErrorLines()[0];
}

}  // namespace
