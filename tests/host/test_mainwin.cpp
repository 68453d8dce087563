// The main window driven in-process: its rules without a window, then the
// job list, tabs, log pane and commands on a real TfOrvane over a job list
// of its own (the engine's start-up is not run).
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstring>

#include "DialogDriver.h"
#include "Engine.h"
#include "Host.h"
#include "OVClassesJob.h"
#include "OVClassesJobs.h"
#include "OVClassesLog.h"
#include "OVClassesPlugins.h"
#include "OVMsgBox.h"
#include "TestUtil.h"
#include "uMain.h"
#include "uMainCmds.h"
#include "uMainLogic.h"
#include "uSettings.h"

namespace {

constexpr int32_t kTestPlugin = 1001;
constexpr int kSleepMethod = 7;

TEST(MainLogic, TextsOfRowsQuestionsAndClipboard) {
  EXPECT_EQ(IdleText(false, false, {}), "Idle...");
  EXPECT_EQ(IdleText(true, true, {"At 10:00", "File changed"}),
            "Idle... (On start; On exit; At 10:00; File changed)");
  EXPECT_EQ(IdleText(false, true, {}), "Idle... (On exit)");

  EXPECT_EQ(DeleteQuestion(0, "", false), "");
  EXPECT_EQ(DeleteQuestion(1, "Backup", true), "");
  EXPECT_EQ(DeleteQuestion(1, "Backup", false), "Do you really want to delete Job [Backup]?");
  EXPECT_EQ(DeleteQuestion(2, "Backup", true), "Do you really want to delete 2 Jobs?");

  EXPECT_EQ(LogLinesText({{0, "a"}, {1, "b"}, {2, "c"}, {3, "d"}, {4, "e"}, {5, "f"}}),
            "I: a\r\nI: b\r\nW: c\r\nE: d\r\n-: e\r\n-: f\r\n");
  EXPECT_EQ(DoubleAmpersands("R&D && more"), "R&&D &&&& more");

  EXPECT_FALSE(CanDropOnTab(0, 1));  // "All Jobs"
  EXPECT_FALSE(CanDropOnTab(2, 2));  // the selected tab
  EXPECT_FALSE(CanDropOnTab(-1, 0));
  EXPECT_TRUE(CanDropOnTab(1, 0));

  EXPECT_LT(CompareJobTexts("alpha", "Beta"), 0);
  EXPECT_GT(CompareJobTexts("beta", "Alpha"), 0);
  EXPECT_EQ(CompareJobTexts("MiXed", "mixed"), 0);
}

TEST(MainLogic, WindowPlacementClampsWhatCannotBeSeen) {
  const RECT screen{0, 0, 1280, 1024}, work{0, 0, 1280, 994};
  TSettings s;
  RECT r = PlaceMainWindow(s, screen, work, true);  // nothing stored
  EXPECT_EQ(r.left, 0);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.right, 1280);
  EXPECT_EQ(r.bottom, 512);

  s.Left = 100, s.Top = 50, s.Width = 600, s.Height = 400;
  r = PlaceMainWindow(s, screen, work, true);
  EXPECT_EQ(r.left, 100);
  EXPECT_EQ(r.bottom, 450);

  s.Left = 5000, s.Top = -3000;  // off every screen
  r = PlaceMainWindow(s, screen, work, false);
  EXPECT_EQ(r.right, 1280);
  EXPECT_EQ(r.top, 0);
  EXPECT_EQ(r.right - r.left, 600);

  s.Left = -32000, s.Top = -32000, s.Width = 160, s.Height = 24;  // stored minimised
  r = PlaceMainWindow(s, screen, work, false);
  EXPECT_GE(r.left, 0);
  EXPECT_GE(r.top, 0);
  EXPECT_GE(r.bottom - r.top, 80);
  EXPECT_LE(r.bottom, 994);
}

std::vector<std::string> g_boxes;
int g_answer = IDYES;
std::function<void()> g_duringBox;
int Answer(HWND, const char* text, const char*, UINT) {
  g_boxes.push_back(text);
  if (g_duringBox) g_duringBox();
  return g_answer;
}

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    g_boxes.clear();
    g_answer = IDYES;
    g_duringBox = nullptr;
    SetMsgBoxResponder(Answer);
    Settings.TabIndex = 0;
    Categories.Assign({{"R&D", 5}, {"Other", 7}});
    form_ = std::make_unique<TfOrvane>();
    ASSERT_TRUE(form_->Create(GetModuleHandleA(nullptr)));
    Jobs = new TOVJobs();
    BindJobList(Jobs);
    SetEngineView(form_.get());
    form_->FillTabs();
    ShowWindow(form_->Handle(), SW_SHOW);
  }
  void TearDown() override {
    testutil::WaitFor([] { return !Jobs->AnyRunning(); }, 20000);
    SetEngineView(nullptr);
    Jobs->OnRemove = nullptr;
    delete Jobs;
    Jobs = nullptr;
    form_.reset();
    SetMsgBoxResponder(nullptr);
    for (const std::string& f : testutil::ListFiles(Settings.JobDir, "*.ovj"))
      DeleteFileA((Settings.JobDir + f).c_str());
  }
  TOVJob* Add(const std::string& name, int32_t category = 0, int sleepMs = 0) {
    auto* job = new TOVJob(Jobs);
    job->SetName(name);
    job->SetCategory(category);
    job->Log()->AutoSave = false;
    if (sleepMs) {
      TOVJobStep* step = job->AddStep();
      step->SetName("Sleep");
      step->SetPluginID(kTestPlugin);
      step->SetMethodIndex(kSleepMethod);
      step->SetEnabled(-1);
      void* block = nullptr;
      HostRecord.Alloc(&block, 4);
      std::memcpy(block, &sleepMs, 4);
      step->SetParams(4, block);
    }
    Jobs->Add(job);
    job->SaveToJobsDir();
    return job;
  }
  std::vector<std::string> Rows(int column = 0) {
    std::vector<std::string> rows;
    HWND list = form_->JobList();
    for (int i = 0; i < ListView_GetItemCount(list); ++i) {
      char buf[256] = "";
      ListView_GetItemText(list, i, column, buf, sizeof buf);
      rows.push_back(buf);
    }
    return rows;
  }
  void Send(UINT id) { SendMessageA(form_->Handle(), WM_COMMAND, id, 0); }
  std::unique_ptr<TfOrvane> form_;
};

TEST_F(MainWindow, RowsSortByEitherColumnAndTabsShowAmpersands) {
  Add("beta");
  Add("Alpha");
  TOVJob* gamma = Add("gamma");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"Alpha", "beta", "gamma"}));
  // The header click of the sorted column turns the direction.
  NMLISTVIEW click{};
  click.hdr = {form_->JobList(), 102, static_cast<UINT>(LVN_COLUMNCLICK)};
  click.iSubItem = 0;
  SendMessageA(form_->Handle(), WM_NOTIFY, 102, reinterpret_cast<LPARAM>(&click));
  EXPECT_EQ(Rows(), (std::vector<std::string>{"gamma", "beta", "Alpha"}));
  EXPECT_FALSE(form_->SortAscending());
  EXPECT_EQ(Rows(1)[0], "Manual run");

  // A job added later is sorted in and selected.
  gamma->SetRunOnExit(true);
  Add("Delta");
  EXPECT_EQ(Rows(), (std::vector<std::string>{"gamma", "Delta", "beta", "Alpha"}));
  ASSERT_EQ(form_->SelectedJobs().size(), 1u);
  EXPECT_EQ(form_->SelectedJobs()[0]->Name(), "Delta");

  char tab[64] = "";
  TCITEMA t{};
  t.mask = TCIF_TEXT;
  t.pszText = tab;
  t.cchTextMax = sizeof tab;
  SendMessageA(form_->Tabs(), TCM_GETITEMA, 1, reinterpret_cast<LPARAM>(&t));
  EXPECT_STREQ(tab, "R&&D");
  HMENU tray = form_->BuildTrayMenu();
  char caption[64] = "";
  GetMenuStringA(tray, 3, caption, sizeof caption, MF_BYPOSITION);  // the "All Jobs" submenu
  EXPECT_STREQ(caption, "All Jobs");
  DestroyMenu(tray);
}

TEST_F(MainWindow, AnIdleRowNamesWhatStartsItAndAMissingTabFallsBack) {
  TOVJob* job = Add("watched");
  job->SetRunOnStart(true);
  TOVJobRun* event = job->AddEvent();
  event->SetPluginID(kTestPlugin);
  event->SetRunnerIndex(0);
  event->SetEnabled(-1);
  TOVJobRun* off = job->AddEvent();
  off->SetPluginID(kTestPlugin);
  off->SetRunnerIndex(1);
  SetAutomation(true);
  job->SetActive(-1);
  ASSERT_EQ(job->State(), jsIdle);
  TOVRunnerParams copy = *event->Params();
  const std::string described = Plugins->FindByID(kTestPlugin)->RunnerDescription(0, &copy);
  EXPECT_EQ(Rows(1), (std::vector<std::string>{"Idle... (On start; " + described + ")"}));
  job->SetActive(0);

  Settings.TabIndex = 99;  // a category that no longer exists
  form_->FillTabs();
  EXPECT_EQ(form_->CurrentCategory(), 0);
  EXPECT_EQ(Settings.TabIndex, 0);
  EXPECT_EQ(TabCtrl_GetCurSel(form_->Tabs()), 0);
}

TEST_F(MainWindow, DroppingOnATabMovesOnlyTheFirstSelectedJob) {
  TOVJob* a = Add("a");
  TOVJob* b = Add("b");
  Add("c");
  form_->SortBy(0, true);
  form_->SelectRows({0, 1, 2});
  EXPECT_FALSE(form_->DropOnTab(0));  // "All Jobs"
  form_->SelectTab(0);
  form_->SelectRows({0, 1});
  EXPECT_TRUE(form_->DropOnTab(2));
  EXPECT_EQ(a->Category(), 7);
  EXPECT_EQ(b->Category(), 0);
  TOVJob reread(nullptr);
  reread.LoadFromFile(Settings.JobDir + a->FileName());
  EXPECT_EQ(reread.Category(), 7);

  form_->SelectTab(2);
  EXPECT_EQ(Rows(), (std::vector<std::string>{"a"}));
  form_->SelectRows({0});
  EXPECT_FALSE(form_->DropOnTab(2));  // the selected tab
  // The category buttons act on the jobs listed: "a" only.
  Send(cmActivateCategory);
  EXPECT_TRUE(a->Active());
  EXPECT_FALSE(b->Active());
  Send(cmDeactivateCategory);
  EXPECT_FALSE(a->Active());
}

TEST_F(MainWindow, DeletingAsksOnceAndSkipsRunningJobs) {
  TOVJob* busy = Add("busy", 0, 1500);
  TOVJob* idle = Add("idle");
  const std::string idleFile = Settings.JobDir + idle->FileName();
  form_->SortBy(0, true);
  busy->Run();
  // One running job alone: nothing is asked, nothing deleted.
  form_->SelectRows({0});
  Send(cmDeleteJob);
  EXPECT_TRUE(g_boxes.empty());
  form_->SelectRows({0, 1});
  g_answer = IDNO;
  Send(cmDeleteJob);
  ASSERT_EQ(g_boxes, (std::vector<std::string>{"Do you really want to delete 2 Jobs?"}));
  EXPECT_EQ(Jobs->Count(), 2);
  g_answer = IDYES;
  Send(cmDeleteJob);
  EXPECT_EQ(Jobs->Count(), 1);
  EXPECT_EQ(Jobs->Items(0), busy);
  EXPECT_FALSE(testutil::FileExists(idleFile));
  EXPECT_EQ(Rows(), (std::vector<std::string>{"busy"}));

  // Stop asks first, and a second Stop asks to kill.
  g_boxes.clear();
  form_->SelectRows({0});
  g_answer = IDNO;
  Send(cmStopJob);
  EXPECT_EQ(g_boxes, (std::vector<std::string>{"Do you really want to stop Job [busy]?"}));
  // Active is refused while the job runs.
  Bool32 active = busy->Active();
  Send(cmActiveJob);
  EXPECT_EQ(g_boxes.back(), "Job \"busy\" is currently running...");
  EXPECT_EQ(busy->Active(), active);
}

TEST_F(MainWindow, DuplicateMakesACopyWithAFreshIdAndOpensIt) {
  TOVJob* backup = Add("Backup");
  backup->SetRunOnStart(true);
  backup->SaveToJobsDir();
  form_->SelectRows({0});
  testutil::TDialogScript cancel([](HWND dlg) { testutil::Click(dlg, IDCANCEL); });
  Send(cmDuplicateJob);
  EXPECT_EQ(cancel.Caption(), "Edit job");
  ASSERT_EQ(Jobs->Count(), 2);
  TOVJob* copy = Jobs->Items(1);
  EXPECT_EQ(copy->Name(), "Copy of Backup");
  EXPECT_NE(copy->ID(), backup->ID());
  EXPECT_TRUE(copy->RunOnStart());
  EXPECT_TRUE(testutil::FileExists(Settings.JobDir + copy->FileName()));
  EXPECT_TRUE(testutil::FileExists(Settings.JobDir + backup->FileName()));
}

TEST_F(MainWindow, CopyingLogLinesAndTheNewestLineSelected) {
  form_->ShowLogOf(nullptr);
  MainLog->Clear();
  MainLog->Add(lvInfoMain, "one");
  MainLog->Add(lvWarning, "two");
  MainLog->Add(lvError, "three");
  MainLog->SyncView();
  HWND log = form_->LogPane();
  ASSERT_EQ(SendMessageA(log, LB_GETCOUNT, 0, 0), 3);
  EXPECT_EQ(SendMessageA(log, LB_GETSELCOUNT, 0, 0), 1);
  EXPECT_GT(SendMessageA(log, LB_GETSEL, 2, 0), 0);
  Send(cmSelectAllLog);
  EXPECT_EQ(form_->CopyLogText(), "I: one\r\nW: two\r\nE: three\r\n");
  Send(cmClearLog);
  EXPECT_EQ(MainLog->Count(), 0);
  EXPECT_EQ(SendMessageA(log, LB_GETCOUNT, 0, 0), 0);
}

TEST_F(MainWindow, TheSplitterKeepsTheLogPaneAtLeast50PixelsHigh) {
  HWND wnd = form_->Handle();
  MoveWindow(wnd, 0, 0, 800, 600, TRUE);
  form_->SetLogHeight(150);
  RECT log;
  GetWindowRect(form_->LogPane(), &log);
  MapWindowPoints(nullptr, wnd, reinterpret_cast<POINT*>(&log), 2);
  const int y = log.top - 2;
  SendMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(300, y));
  SendMessageA(wnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(300, y - 60));
  SendMessageA(wnd, WM_LBUTTONUP, 0, MAKELPARAM(300, y - 60));
  EXPECT_NEAR(form_->LogHeight(), 210, 3);
  SendMessageA(wnd, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(300, y - 60));
  SendMessageA(wnd, WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(300, log.bottom - 5));
  SendMessageA(wnd, WM_LBUTTONUP, 0, MAKELPARAM(300, log.bottom - 5));
  EXPECT_EQ(form_->LogHeight(), 50);
  Send(cmViewLog);
  EXPECT_FALSE(IsWindowVisible(form_->LogPane()));
  Send(cmViewLog);
  RECT shown;
  GetWindowRect(form_->LogPane(), &shown);
  EXPECT_EQ(shown.bottom - shown.top, 50);
}

TEST_F(MainWindow, ShortcutsLeaveAnEditControlAlone) {
  Add("name");
  form_->SelectRows({0});
  SetForegroundWindow(form_->Handle());
  SetFocus(form_->JobList());
  MSG key{form_->JobList(), WM_KEYDOWN, VK_INSERT, 0, 0, {}};
  EXPECT_TRUE(form_->TranslateKey(key));
  Send(cmRenameJob);
  HWND edit = ListView_GetEditControl(form_->JobList());
  ASSERT_TRUE(edit);
  SetFocus(edit);
  key.hwnd = edit;
  EXPECT_FALSE(form_->TranslateKey(key));
  SendMessageA(form_->JobList(), LVM_CANCELEDITLABEL, 0, 0);
  // An empty name is refused; another one is taken and saved.
  char text[16] = "";
  NMLVDISPINFOA done{};
  done.hdr = {form_->JobList(), 102, static_cast<UINT>(LVN_ENDLABELEDITA)};
  done.item.iItem = 0;
  done.item.pszText = text;
  EXPECT_FALSE(SendMessageA(form_->Handle(), WM_NOTIFY, 102, reinterpret_cast<LPARAM>(&done)));
  EXPECT_EQ(Jobs->Items(0)->Name(), "name");
  strcpy(text, "other");
  EXPECT_TRUE(SendMessageA(form_->Handle(), WM_NOTIFY, 102, reinterpret_cast<LPARAM>(&done)));
  EXPECT_EQ(Jobs->Items(0)->Name(), "other");
  MSG drain;
  while (PeekMessageA(&drain, form_->Handle(), WM_COMMAND, WM_COMMAND, PM_REMOVE)) {
  }
}

TEST_F(MainWindow, AnExitWhileADialogIsOpenWaitsForIt) {
  TOVJob* busy = Add("busy", 0, 800);
  busy->Run();
  form_->SelectRows({0});
  HWND wnd = form_->Handle();
  bool pendingInBox = false, aliveInBox = false;
  g_duringBox = [&] {
    // An exit request arrives while the box is open.
    SendMessageA(wnd, OVM_CLOSEHOST, 0, 0);
    testutil::WaitFor([] { return false; }, 300);
    pendingInBox = form_->ExitPending();
    aliveInBox = IsWindow(wnd) != FALSE;
    HMENU tray = form_->BuildTrayMenu();
    EXPECT_TRUE(GetMenuState(tray, cmExit, MF_BYCOMMAND) & MF_GRAYED);
    EXPECT_TRUE(GetMenuState(tray, cmQuickJob, MF_BYCOMMAND) & MF_GRAYED);
    DestroyMenu(tray);
  };
  Send(cmActiveJob);  // "is currently running..."
  g_duringBox = nullptr;
  EXPECT_TRUE(pendingInBox);
  EXPECT_TRUE(aliveInBox);
  EXPECT_TRUE(testutil::WaitFor([&] { return !IsWindow(wnd); }, 5000));
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  CreateAppWindow();
  InitHostRecord();
  std::string dir = testutil::MakeTempDir("mainwin");
  Settings.LogDir = dir + "Logs\\";
  Settings.JobDir = dir + "Jobs\\";
  ForceDirectories(Settings.LogDir);
  ForceDirectories(Settings.JobDir);
  MainLog = new TOVLog(nullptr);
  MainLog->AutoSave = false;
  Plugins = new TOVPlugins();
  Plugins->LoadPlugin(testutil::TestPluginPath("tp_good"));
  int result = RUN_ALL_TESTS();
  delete Plugins;
  Plugins = nullptr;
  delete MainLog;
  MainLog = nullptr;
  testutil::RemoveTree(dir);
  return result;
}
