// The window plug-in inside this test program: its real data module loaded
// through InitOVPlugin with a host record of the test's own, acting on the
// windows of testwindows.exe.
#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <cstring>

#include "DialogDriver.h"
#include "OVPlugin.h"
#include "TestUtil.h"
#include "WindowTest.h"
#include "WindowTitles.h"

using namespace windowtest;

namespace {

enum { mFocus, mMaximize, mMinimize, mRestore, mClose, mHide, mUnhide, mCheck };

// ------------------------------------------------------------ the host

struct TFakeHost {
  std::vector<std::string> logs;
  std::vector<std::string> runs;  // causes, as the main thread received them
  std::vector<int32_t> stops;
  int32_t currentJob = 0;
} g_fake;
std::atomic<int> g_runJobReturns{0};
HANDLE g_inRunJob = CreateEventA(nullptr, FALSE, FALSE, nullptr);

LRESULT CALLBACK AppProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == OVM_RUNJOB) g_fake.runs.push_back(reinterpret_cast<const char*>(lp));
  if (msg == OVM_JOBNAME) return reinterpret_cast<LRESULT>("Watched");
  return DefWindowProcA(wnd, msg, wp, lp);
}

HWND AppWindow() {
  static HWND wnd = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = AppProc;
    wc.lpszClassName = "WindowTestHostApp";
    RegisterClassA(&wc);
    return CreateWindowA("WindowTestHostApp", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  }();
  return wnd;
}

void OVAPI FakeLog(uint32_t, const char* text) { g_fake.logs.push_back(text); }
void OVAPI FakeAlloc(void** p, int32_t size) { *p = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size); }
void OVAPI FakeFree(void** p, int32_t) { HeapFree(GetProcessHeap(), 0, *p); }
// "%W%" stands for the title of the test's windows.
void OVAPI FakeExpand(const char* src, char* dest, int32_t size) {
  std::string s = src;
  if (s == "%W%") s = "OVW Expanded";
  lstrcpynA(dest, s.c_str(), size + 1);
}
Bool32 OVAPI FakeSelectVariable(char* dest, int32_t size) { return lstrcpynA(dest, "%Picked%", size) != nullptr; }
int32_t OVAPI FakeCurrentJob() { return g_fake.currentJob; }
void OVAPI FakeStopJob(int32_t id) { g_fake.stops.push_back(id); }
// As the host's: a message sent to the main thread.
HANDLE OVAPI FakeRunJob(int32_t id, const char* cause) {
  SetEvent(g_inRunJob);
  SendMessageA(AppWindow(), OVM_RUNJOB, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(cause));
  ++g_runJobReturns;
  return nullptr;
}

TPluginRecord* Plugin() {
  static THostRecord host;
  static TPluginRecord* record = [] {
    host.Version = OV_HOST_VERSION;
    host.AppWindow = AppWindow();
    host.Log = FakeLog;
    host.Alloc = FakeAlloc;
    host.Free = FakeFree;
    host.ExpandVariables = FakeExpand;
    host.SelectVariable = FakeSelectVariable;
    host.CurrentJob = FakeCurrentJob;
    host.StopJob = FakeStopJob;
    host.RunJob = FakeRunJob;
    return InitOVPlugin(&host);
  }();
  return record;
}

// A fresh record of what the plug-in asked for; job: the job "running" the
// steps.
void Reset(int32_t job = 0) {
  g_fake = TFakeHost{};
  g_fake.currentJob = job;
  g_runJobReturns = 0;
  ResetEvent(g_inRunJob);
}

// A block as the host keeps it.
struct TBlock {
  explicit TBlock(const Bytes& bytes) {
    if (bytes.empty()) return;
    FakeAlloc(&p.Data, static_cast<int32_t>(bytes.size()));
    std::memcpy(p.Data, bytes.data(), bytes.size());
    p.Size = static_cast<int32_t>(bytes.size());
  }
  ~TBlock() {
    if (p.Data) FakeFree(&p.Data, p.Size);
  }
  Bytes Contents() const { return Bytes(static_cast<uint8_t*>(p.Data), static_cast<uint8_t*>(p.Data) + p.Size); }
  TOVMethodParams p{};
};

bool Exec(int method, const Bytes& block) {
  TBlock b(block);
  return Plugin()->Methods->ExecMethod(method, &b.p) != 0;
}

std::string Descr(int method, const Bytes& block) {
  TBlock b(block);
  char text[1024];
  Plugin()->Methods->MethodDescr(method, &b.p, text);
  return text;
}

struct TWatcher {
  TWatcher(int32_t job, const Bytes& block) : b(block) {
    r = TOVRunnerParams{job, b.p.Size, b.p.Data};
    started = Plugin()->Runners->StartRunner(0, &r) != 0;
  }
  ~TWatcher() {
    if (started) Plugin()->Runners->StopRunner(0, &r);
  }
  TBlock b;
  TOVRunnerParams r;
  bool started;
};

void Pause(int ms) {
  testutil::WaitFor([] { return false; }, ms);
}

}  // namespace

TEST(WindowPlugin, IdentityAndDescriptions) {
  TPluginRecord* rec = Plugin();
  EXPECT_EQ(rec->ID, 140377010);
  EXPECT_STREQ(rec->Description, "Window manipulations");
  const char* names[] = {"Focus", "Maximize", "Minimize", "Restore", "Close", "Hide", "Unhide", "Check for window"};
  ASSERT_EQ(rec->Methods->Count, 8);
  for (int i = 0; i < 8; ++i) EXPECT_STREQ(rec->Methods->GetMethodInfo(i)->Name, names[i]);
  ASSERT_EQ(rec->Runners->Count, 1);
  EXPECT_STREQ(rec->Runners->GetRunnerInfo(0)->Name, "Window watcher");
  EXPECT_EQ(Descr(mUnhide, ActionBlock("Calc %X%", 1)), "Unhide window \"Calc %X%\"");
  EXPECT_EQ(Descr(mFocus, {}), "Focus window \"\"");
  EXPECT_EQ(Descr(mCheck, CheckBlock("Calc", 0, 1, 1)), "Check for window");
}

TEST(WindowPlugin, LookupByTitle) {
  const std::wstring greeting = L"Gr\u00fc\u00dfe Fenster";
  TTestWindows w({L"show:OVW Alpha Window", L"hide:OVW Hidden Beta", L"show:" + greeting});
  // Part match ignores the case of A to Z; exact match wants the whole title.
  EXPECT_EQ(FindWindowByTitle("alpha", kPartMatch), w.Find(L"OVW Alpha Window"));
  EXPECT_EQ(FindWindowByTitle("alpha", kExactMatch), nullptr);
  EXPECT_EQ(FindWindowByTitle("ovw ALPHA window", kExactMatch), w.Find(L"OVW Alpha Window"));
  EXPECT_EQ(FindWindowByTitle("hidden beta", kPartMatch), w.Find(L"OVW Hidden Beta"));
  // Only A to Z change case: the other letters must be given as they are.
  ASSERT_NE(w.Find(greeting), nullptr);
  EXPECT_EQ(FindWindowByTitle(Acp(L"GR\u00fc\u00dfE FENSTER"), kExactMatch), w.Find(greeting));
  EXPECT_EQ(FindWindowByTitle(Acp(L"GR\u00dc\u00dfE FENSTER"), kExactMatch), nullptr);
  // No title names no window, and a mode other than 0 and 1 matches nothing.
  EXPECT_EQ(FindWindowByTitle("", kPartMatch), nullptr);
  EXPECT_EQ(FindWindowByTitle("", kExactMatch), nullptr);
  EXPECT_EQ(FindWindowByTitle("OVW Alpha Window", 2), nullptr);
}

TEST(WindowPlugin, EachActionChangesItsWindow) {
  Reset();
  TTestWindows w({L"show:OVW Max", L"show:OVW Min", L"max:OVW Restore", L"show:OVW Hide", L"hide:OVW Unhide",
                  L"show:OVW Close", L"min:OVW Focus"});
  EXPECT_TRUE(Exec(mMaximize, ActionBlock("ovw max", 1)));
  EXPECT_TRUE(testutil::WaitFor([&] { return IsZoomed(w.Find(L"OVW Max")); }, 5000));
  EXPECT_TRUE(Exec(mMinimize, ActionBlock("w min", 0)));
  EXPECT_TRUE(testutil::WaitFor([&] { return IsIconic(w.Find(L"OVW Min")); }, 5000));
  EXPECT_TRUE(Exec(mRestore, ActionBlock("OVW Restore", 1)));
  EXPECT_TRUE(testutil::WaitFor([&] { return !IsZoomed(w.Find(L"OVW Restore")); }, 5000));
  EXPECT_TRUE(Exec(mHide, ActionBlock("OVW Hide", 1)));
  EXPECT_TRUE(testutil::WaitFor([&] { return !IsWindowVisible(w.Find(L"OVW Hide")); }, 5000));
  EXPECT_TRUE(Exec(mUnhide, ActionBlock("unhide", 0)));
  EXPECT_TRUE(testutil::WaitFor([&] { return IsWindowVisible(w.Find(L"OVW Unhide")); }, 5000));
  // Another test's window may take the front meanwhile: a few tries.
  bool focused = false;
  for (int attempt = 0; attempt < 5 && !focused; ++attempt) {
    EXPECT_TRUE(Exec(mFocus, ActionBlock("OVW Focus", 1)));
    focused = testutil::WaitFor([&] { return GetForegroundWindow() == w.Find(L"OVW Focus"); }, 2000);
  }
  EXPECT_TRUE(focused);
  EXPECT_TRUE(Exec(mClose, ActionBlock("OVW Close", 1)));
  EXPECT_TRUE(w.WaitFor(L"OVW Close", false));

  // No window with the title, the title as stored (not expanded), and a
  // step never configured (the newest window would come first): success,
  // nothing logged, nothing touched.
  TTestWindows expanded({L"show:OVW Expanded"});
  EXPECT_TRUE(Exec(mClose, ActionBlock("OVW Nowhere", 0)));
  EXPECT_TRUE(Exec(mClose, ActionBlock("%W%", 0)));
  EXPECT_TRUE(Exec(mHide, ActionBlock("%W%", 0)));
  EXPECT_TRUE(Exec(mClose, {}));
  Pause(300);
  EXPECT_TRUE(IsWindowVisible(expanded.Find(L"OVW Expanded")));
  EXPECT_NE(w.Find(L"OVW Max"), nullptr);
  EXPECT_TRUE(g_fake.logs.empty());

  // A block cut short fails the step and says so.
  Bytes cut = ActionBlock("OVW Max", 1);
  cut.pop_back();
  EXPECT_FALSE(Exec(mMinimize, cut));
  EXPECT_EQ(g_fake.logs, std::vector<std::string>{"The settings of \"Minimize\" are incomplete. Reconfigure this step."});
  EXPECT_FALSE(IsIconic(w.Find(L"OVW Max")));
}

TEST(WindowPlugin, CheckForWindowStopsTheJobByItsRule) {
  TTestWindows w({L"show:OVW Expanded", L"show:"});
  struct TCase {
    std::string title;
    uint32_t check, stopIf;
    bool stops;
  } cases[] = {
      {"%W%", 0, 0, false},          // exists, stop when not: goes on
      {"OVW Absent", 0, 0, true},    // does not exist
      {"%W%", 0, 1, true},           // exists, stop when it does
      {"OVW Absent", 0, 1, false},
  };
  for (const TCase& c : cases) {
    Reset(77);
    EXPECT_TRUE(Exec(mCheck, CheckBlock(c.title, 0, c.check, c.stopIf)));
    EXPECT_EQ(g_fake.stops, c.stops ? std::vector<int32_t>{77} : std::vector<int32_t>{}) << c.title << c.stopIf;
  }

  // Other tests of the run share the desktop and may take the front: the
  // checks count only while the window stayed in front throughout.
  auto inFront = [&](const std::wstring& title, const std::function<void()>& checks) {
    for (int attempt = 0; attempt < 5; ++attempt) {
      HWND wnd = w.Find(title);
      SetForegroundWindow(wnd);
      if (!testutil::WaitFor([&] { return GetForegroundWindow() == wnd; }, 2000)) continue;
      Reset(77);
      checks();
      if (GetForegroundWindow() == wnd) return true;
    }
    return false;
  };
  // Active: the foreground window's title, with the locale's letter case.
  ASSERT_TRUE(inFront(L"OVW Expanded", [] {
    EXPECT_TRUE(Exec(mCheck, CheckBlock("ovw expanded", 1, 1, 1)));
    EXPECT_TRUE(Exec(mCheck, CheckBlock("OVW Absent", 0, 1, 1)));
  }));
  EXPECT_EQ(g_fake.stops, std::vector<int32_t>{77});

  // A foreground window without a title is not the one asked for; that is
  // an answer, not a failure.
  ASSERT_TRUE(inFront(L"", [] { EXPECT_TRUE(Exec(mCheck, CheckBlock("OVW", 0, 1, 0))); }));
  EXPECT_EQ(g_fake.stops, std::vector<int32_t>{77});
  EXPECT_TRUE(g_fake.logs.empty());

  // Outside a job nothing is stopped; an unknown check fails the step.
  Reset();
  EXPECT_TRUE(Exec(mCheck, CheckBlock("OVW Absent", 0, 0, 0)));
  EXPECT_TRUE(g_fake.stops.empty());
  EXPECT_FALSE(Exec(mCheck, CheckBlock("%W%", 0, 2, 0)));
  EXPECT_EQ(g_fake.logs.size(), 1u);
}

TEST(WindowWatcher, RunsTheJobOncePerChangeIntoTheAwaitedState) {
  TTestWindows early({L"show:OVW Early"});
  Reset();
  TWatcher appearsEarly(1, WatcherBlock("OVW Early", 1, 0, 1));
  TWatcher appearsLate(2, WatcherBlock("ovw late", 0, 0, 1));
  TWatcher disappears(3, WatcherBlock("OVW Early", 1, 1, 1));
  ASSERT_TRUE(appearsEarly.started && appearsLate.started && disappears.started);
  // One watcher per job.
  TWatcher second(2, WatcherBlock("OVW Early", 1, 1, 1));
  EXPECT_FALSE(second.started);
  EXPECT_EQ(g_fake.logs.size(), 1u);

  Pause(1500);
  EXPECT_TRUE(g_fake.runs.empty());
  TTestWindows late({L"show:OVW Late"});
  EXPECT_TRUE(testutil::WaitFor([] { return g_fake.runs.size() == 1; }, 5000));
  EXPECT_TRUE(early.End());
  EXPECT_TRUE(testutil::WaitFor([] { return g_fake.runs.size() == 2; }, 5000));
  Pause(2000);
  EXPECT_EQ(g_fake.runs, (std::vector<std::string>{"Window ovw late appears", "Window OVW Early disappears"}));
}

TEST(WindowWatcher, AStopWhileTheWatcherWaitsForTheHostReturnsAtOnce) {
  Reset();
  TWatcher watcher(5, WatcherBlock("OVW Run Request", 1, 0, 1));
  ASSERT_TRUE(watcher.started);
  TTestWindows w({L"show:OVW Run Request"}, 100);
  // The main thread does not serve the run request until the stop.
  ASSERT_EQ(WaitForSingleObject(g_inRunJob, 10000), WAIT_OBJECT_0);
  Plugin()->Runners->StopRunner(0, &watcher.r);
  watcher.started = false;
  // The stop answered the request and saw the thread end.
  EXPECT_EQ(g_fake.runs, std::vector<std::string>{"Window OVW Run Request appears"});
  EXPECT_EQ(g_runJobReturns.load(), 1);
}

namespace {

std::atomic<int> g_titleReads{0};
LRESULT CALLBACK CountingProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_GETTEXT) ++g_titleReads;
  return DefWindowProcA(wnd, msg, wp, lp);
}

}  // namespace

TEST(WindowWatcher, AStoredIntervalOf0LooksOncePerSecondAndACutBlockIsRefused) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = CountingProc;
  wc.lpszClassName = "OVWCounting";
  RegisterClassA(&wc);
  HWND counter = CreateWindowA("OVWCounting", "OVW Counter", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
  Reset();
  {
    TWatcher watcher(6, WatcherBlock("OVW Never There", 1, 0, 0));
    ASSERT_TRUE(watcher.started);
    g_titleReads = 0;
    Pause(2500);
    // Looks at 0, 0.95 and 1.9 s; a loop without pause would read hundreds.
    EXPECT_GE(g_titleReads.load(), 2);
    EXPECT_LE(g_titleReads.load(), 4);
  }
  DestroyWindow(counter);

  Bytes cut = WatcherBlock("OVW", 1, 0, 1);
  cut.resize(cut.size() - 2);
  TWatcher refused(7, cut);
  EXPECT_FALSE(refused.started);
  EXPECT_EQ(g_fake.logs, std::vector<std::string>{"The settings of \"Window watcher\" are incomplete. Reconfigure this step."});
}

TEST(WindowDialogs, TitleRefusedWhenEmptyAndBlocksWritten) {
  TPluginRecord* rec = Plugin();
  Reset();
  TBlock action(Bytes{});
  bool stayedOpen = false, listed = false;
  {
    testutil::TDialogScript script([&](HWND dlg) {
      testutil::Click(dlg, IDOK);
      stayedOpen = IsWindow(dlg) && IsWindowVisible(dlg);
      // Opening the list fills it with the desktop's titles, this dialog's too.
      HWND combo = GetDlgItem(dlg, 1002);
      SendMessageA(combo, CB_SHOWDROPDOWN, TRUE, 0);
      listed = SendMessageA(combo, CB_FINDSTRINGEXACT, -1, reinterpret_cast<LPARAM>("Close a window")) >= 0;
      SendMessageA(combo, CB_SHOWDROPDOWN, FALSE, 0);
      testutil::SetText(dlg, 1002, "Notepad");
      CheckDlgButton(dlg, 1003, BST_CHECKED);
      testutil::Click(dlg, IDOK);
    });
    EXPECT_TRUE(rec->Methods->ConfigMethod(mClose, &action.p));
    EXPECT_EQ(script.Caption(), "Close a window");
  }
  EXPECT_TRUE(stayedOpen);
  EXPECT_TRUE(listed);
  EXPECT_EQ(action.Contents(), ActionBlock("Notepad", 1));

  TBlock watcher(WatcherBlock("Old", 1, 0, 0));
  TOVRunnerParams r{9, watcher.p.Size, watcher.p.Data};
  std::string interval;
  {
    testutil::TDialogScript script([&](HWND dlg) {
      interval = testutil::GetText(dlg, 5009);
      testutil::Click(dlg, 5003);  // "%V%" replaces the title
      CheckRadioButton(dlg, 5006, 5007, 5007);
      testutil::Click(dlg, IDOK);
    });
    EXPECT_TRUE(rec->Runners->ConfigRunner(0, &r));
    EXPECT_EQ(script.Caption(), "Window Watcher");
  }
  watcher.p.Data = r.Data;
  watcher.p.Size = r.Size;
  EXPECT_EQ(interval, "1");
  EXPECT_EQ(watcher.Contents(), WatcherBlock("%Picked%", 1, 1, 1));
}
