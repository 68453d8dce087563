// The job editor in-process: the dialog is driven from a script thread with
// ordinary messages while the test's thread runs it, against the test
// plug-ins. Every parameter block goes through an allocator that counts
// blocks and never hands out an address twice, so that a block freed a
// second time is seen even where the heap would have given its address
// back to the next allocation.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "ByteStream.h"
#include "DialogDriver.h"
#include "Host.h"
#include "OVClassesJob.h"
#include "OVClassesJobs.h"
#include "OVClassesLog.h"
#include "OVClassesPlugins.h"
#include "OVMsgBox.h"
#include "TestUtil.h"
#include "uJob.h"
#include "uJobRes.h"
#include "uSelectItem.h"
#include "uSettings.h"

using testutil::GetText;
using testutil::SetText;
using testutil::TDialogScript;

namespace {

constexpr int32_t kEditorPlugin = 1010;
constexpr int32_t kMissingPlugin = 4242;
enum { mCount, mRefuse, mFail, mReplaceRefuse, mReplaceFail };

// ---- the counting allocator (installed before the plug-ins copy the record)

std::set<void*> g_live;
int g_badFrees = 0;

void OVAPI CountingAlloc(void** p, int32_t size) {
  if (!p) return;
  *p = size > 0 ? HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, static_cast<SIZE_T>(size)) : nullptr;
  if (*p) g_live.insert(*p);
}

void OVAPI CountingFree(void** p, int32_t) {
  if (!p || !*p) return;
  // A freed block is kept from the heap: its address never comes back.
  if (!g_live.erase(*p)) ++g_badFrees;
}

void* Block(int32_t counter) {
  void* p = nullptr;
  HostRecord.Alloc(&p, 4);
  std::memcpy(p, &counter, 4);
  return p;
}

int32_t CounterOf(int32_t size, const void* data) {
  int32_t v = -1;
  if (size == 4 && data) std::memcpy(&v, data, 4);
  return v;
}

// ---- message boxes and the main log

std::vector<std::string> g_boxes;
int Answer(HWND, const char* text, const char*, UINT) {
  g_boxes.push_back(text);
  return IDOK;
}

int LogCount(const std::string& text) {
  int n = 0;
  for (int i = 0; i < MainLog->Count(); ++i) n += testutil::LogText(MainLog->Strings(i)) == text;
  return n;
}

int LogCountStarting(const std::string& prefix) {
  int n = 0;
  for (int i = 0; i < MainLog->Count(); ++i) n += testutil::LogText(MainLog->Strings(i)).rfind(prefix, 0) == 0;
  return n;
}

// ---- driving the dialogs from the script thread

void Post(HWND dlg, int id) { PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
// Returns once the dialog's thread has handled the messages sent before;
// a posted command may still be waiting behind it, so commands that open
// nothing modal are sent (Command) rather than posted.
void Settle(HWND dlg) { SendMessageA(dlg, WM_NULL, 0, 0); }
void Command(HWND dlg, int id) { SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }
void Press(HWND dlg, int id) { SendMessageA(GetDlgItem(dlg, id), BM_CLICK, 0, 0); }
bool Checked(HWND dlg, int id) { return IsDlgButtonChecked(dlg, id) == BST_CHECKED; }

std::vector<std::string> Rows(HWND dlg, int id) {
  HWND list = GetDlgItem(dlg, id);
  std::vector<std::string> out;
  int n = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) {
    char buf[1100] = "";
    LVITEMA item{};
    item.pszText = buf;
    item.cchTextMax = sizeof buf;
    SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
    out.push_back(buf);
  }
  return out;
}

bool RowChecked(HWND dlg, int id, int row) {
  UINT s = static_cast<UINT>(SendDlgItemMessageA(dlg, id, LVM_GETITEMSTATE, static_cast<WPARAM>(row), LVIS_STATEIMAGEMASK));
  return (s >> 12) == 2;
}

void SetRowChecked(HWND dlg, int id, int row, bool checked) {
  LVITEMA item{};
  item.stateMask = LVIS_STATEIMAGEMASK;
  item.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
  SendDlgItemMessageA(dlg, id, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

void Select(HWND dlg, int id, int row) {
  LVITEMA item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendDlgItemMessageA(dlg, id, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

int SelectedRow(HWND dlg, int id) {
  return static_cast<int>(SendDlgItemMessageA(dlg, id, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

HTREEITEM Next(HWND tv, HTREEITEM item, UINT how) {
  return reinterpret_cast<HTREEITEM>(SendMessageA(tv, TVM_GETNEXTITEM, how, reinterpret_cast<LPARAM>(item)));
}

// The tree as "plug-in" and "plug-in/item" lines, in display order.
std::vector<std::string> TreeLines(HWND tv) {
  std::vector<std::string> out;
  for (HTREEITEM p = Next(tv, nullptr, TVGN_ROOT); p; p = Next(tv, p, TVGN_NEXT)) {
    out.push_back(testutil::TreeItemText(tv, p));
    for (HTREEITEM c = Next(tv, p, TVGN_CHILD); c; c = Next(tv, c, TVGN_NEXT))
      out.push_back(testutil::TreeItemText(tv, p) + "/" + testutil::TreeItemText(tv, c));
  }
  return out;
}

// Chooses "plug-in/item" in the picker that the editor opens.
void Pick(const std::string& caption, const std::string& line) {
  EXPECT_TRUE(testutil::PickInTree(caption, IDC_TVITEMS, line)) << caption << ": " << line;
}

// A row added after a pick comes once the picker's own loop has ended,
// after anything sent to settle the dialog meanwhile.
bool WaitRows(HWND dlg, int id, size_t n) {
  return testutil::WaitFor([&] { return Rows(dlg, id).size() == n; }, 5000);
}

// ---- jobs

std::unique_ptr<TOVJob> MakeJob() {
  auto job = std::make_unique<TOVJob>(nullptr);
  job->Log()->AutoSave = false;
  job->SetName("Backup");
  return job;
}

TOVJobStep* AddStep(TOVJob& job, int32_t plugin, int method, const std::string& name, int32_t counter) {
  TOVJobStep* s = job.AddStep();
  s->SetPluginID(plugin);
  s->SetMethodIndex(method);
  s->SetEnabled(-1);
  s->SetName(name);
  s->SetParams(4, Block(counter));
  return s;
}

TOVJobRun* AddEvent(TOVJob& job, int32_t plugin, int runner, int32_t counter) {
  TOVJobRun* e = job.AddEvent();
  e->SetPluginID(plugin);
  e->SetRunnerIndex(runner);
  e->SetEnabled(-1);
  e->SetParams(4, Block(counter));
  return e;
}

std::vector<uint8_t> Bytes(TOVJob& job) {
  TByteWriter w;
  bool modified = job.Modified();
  job.SaveToStream(w);
  job.SetModified(modified);
  return w.Bytes();
}

std::string JobPath(const TOVJob& job) { return IncludeTrailingBackslash(Settings.JobDir) + job.FileName(); }

class JobEditor : public ::testing::Test {
 protected:
  void SetUp() override {
    g_boxes.clear();
    SetMsgBoxResponder(Answer);
    MainLog->Clear();
    live_ = g_live.size();
    bad_ = g_badFrees;
    Settings.EnableAutomation = true;
    Categories.Assign({{"Backups", 512}, {"Reports", 77}});
  }
  void TearDown() override {
    SetMsgBoxResponder(nullptr);
    delete Jobs;
    Jobs = nullptr;
    EXPECT_EQ(g_badFrees, bad_) << "a block was freed twice";
    EXPECT_EQ(g_live.size(), live_) << "a block was lost";
  }
  size_t live_ = 0;
  int bad_ = 0;
};

// ------------------------------------------------------------------ tests

TEST_F(JobEditor, ANewJobGetsAStepAndAnEventAndIsArmedOnlyAfterOk) {
  Jobs = new TOVJobs();
  int armedInEditor = -1;
  TDialogScript script([&](HWND dlg) {
    EXPECT_EQ(GetText(dlg, IDC_EJOBNAME), "New job");
    EXPECT_TRUE(Checked(dlg, IDC_CBAUTOMAT));
    EXPECT_TRUE(Checked(dlg, IDC_CBTOLOG));
    EXPECT_TRUE(Checked(dlg, IDC_RBPRIORITY0 + 3));
    EXPECT_TRUE(Checked(dlg, IDC_RBAFTERRUN0));
    EXPECT_EQ(GetText(dlg, IDC_CBCATS), "< not defined >");  // "All Jobs" is current
    Post(dlg, IDC_BADDSTEP);
    Pick("Select action", "Editor plugin/Count");
    EXPECT_TRUE(WaitRows(dlg, IDC_LVJOBSTEPS, 1));
    Settle(dlg);
    EXPECT_EQ(Rows(dlg, IDC_LVJOBSTEPS), std::vector<std::string>{"Count 1"});
    EXPECT_TRUE(RowChecked(dlg, IDC_LVJOBSTEPS, 0));
    EXPECT_EQ(SelectedRow(dlg, IDC_LVJOBSTEPS), 0);
    Post(dlg, IDC_BADDRUN);
    Pick("Select Event", "Editor plugin/Tick");
    EXPECT_TRUE(WaitRows(dlg, IDC_LVJOBRUNS, 1));
    Settle(dlg);
    EXPECT_EQ(Rows(dlg, IDC_LVJOBRUNS), std::vector<std::string>{"Tick 1"});
    Press(dlg, IDC_CBAUTOMAT);  // off and on again while editing
    Press(dlg, IDC_CBAUTOMAT);
    Settle(dlg);
    armedInEditor = LogCountStarting("tick start");
    SetText(dlg, IDC_EJOBNAME, "Daily");
    Post(dlg, IDOK);
  });
  TOVJob* job = NewJobCommand(nullptr, 0);
  ASSERT_TRUE(script.Finished());
  ASSERT_NE(job, nullptr);
  EXPECT_EQ(armedInEditor, 0) << "armed before OK";
  EXPECT_EQ(LogCount(Format("tick start %d", job->ID())), 1);
  EXPECT_EQ(job->Name(), "Daily");
  EXPECT_EQ(Jobs->IndexOf(job), 0);
  EXPECT_FALSE(job->Editing());
  EXPECT_EQ(job->State(), jsIdle);
  ASSERT_EQ(job->StepCount(), 1);
  EXPECT_EQ(CounterOf(job->Steps(0)->Params().Size, job->Steps(0)->Params().Data), 1);
  EXPECT_EQ(job->Events(0)->Params()->JobID, job->ID());
  EXPECT_TRUE(FileExists(JobPath(*job)));
  DeleteFileA(JobPath(*job).c_str());
}

TEST_F(JobEditor, ACancelledNewJobLeavesNoFileAndArmsNothing) {
  Jobs = new TOVJobs();
  auto before = testutil::ListFiles(Settings.JobDir, "*");
  TDialogScript script([&](HWND dlg) {
    Post(dlg, IDC_BADDRUN);
    Pick("Select Event", "Editor plugin/Tick");
    Post(dlg, IDC_BADDSTEP);
    Pick("Select action", "Editor plugin/Count");
    Settle(dlg);
    Press(dlg, IDC_CBAUTOMAT);
    Press(dlg, IDC_CBAUTOMAT);
    Post(dlg, IDCANCEL);
  });
  EXPECT_EQ(NewJobCommand(nullptr, 512), nullptr);
  EXPECT_TRUE(script.Finished());
  EXPECT_EQ(Jobs->Count(), 0);
  EXPECT_EQ(MainLog->Count(), 0) << testutil::LogText(MainLog->Strings(0));
  EXPECT_EQ(testutil::ListFiles(Settings.JobDir, "*"), before);
}

// A configuration that replaced the block leaves the old one freed by the
// plug-in, whether it was confirmed, cancelled or failed: the host takes
// the new block and frees nothing a second time.
TEST_F(JobEditor, AReplacedBlockIsAdoptedAndNeverFreedTwice) {
  TOVPlugin* plugin = Plugins->FindByID(kEditorPlugin);
  ASSERT_NE(plugin, nullptr);
  auto job = MakeJob();
  TOVJobStep* step = AddStep(*job, kEditorPlugin, mCount, "s", 5);
  struct Case {
    int method;
    bool confirmed, raises, replaced;
  } cases[] = {{mCount, true, false, true},
               {mRefuse, false, false, false},
               {mFail, false, true, false},
               {mReplaceRefuse, false, false, true},
               {mReplaceFail, false, true, true}};
  for (const Case& c : cases) {
    step->SetMethodIndex(c.method);
    const void* before = step->Params().Data;
    int32_t counter = CounterOf(step->Params().Size, step->Params().Data);
    bool confirmed = false, raised = false;
    try {
      confirmed = ConfigureStep(*plugin, *step);
    } catch (const EOVError&) {
      raised = true;
    }
    EXPECT_EQ(confirmed, c.confirmed) << c.method;
    EXPECT_EQ(raised, c.raises) << c.method;
    EXPECT_EQ(step->Params().Data != before, c.replaced) << c.method;
    EXPECT_EQ(CounterOf(step->Params().Size, step->Params().Data), counter + (c.replaced ? 1 : 0));
    EXPECT_EQ(g_live.size(), live_ + 1) << c.method;
    EXPECT_EQ(g_badFrees, bad_) << c.method;
  }
  TOVJobRun* event = AddEvent(*job, kEditorPlugin, 0, 7);
  const void* before = event->Params()->Data;
  EXPECT_TRUE(ConfigureRun(*plugin, *event));
  EXPECT_NE(event->Params()->Data, before);
  EXPECT_EQ(CounterOf(event->Params()->Size, event->Params()->Data), 8);
  EXPECT_EQ(g_live.size(), live_ + 2);
}

TEST_F(JobEditor, ConfiguringKeepsOwnNamesAndReportsFailures) {
  auto job = MakeJob();
  AddStep(*job, kEditorPlugin, mCount, "Count 5", 5);   // named after its settings
  AddStep(*job, kEditorPlugin, mCount, "Mine", 5);      // named by the user
  AddStep(*job, kEditorPlugin, mFail, "Fail 3", 3);
  AddStep(*job, kMissingPlugin, 0, "Gone", 1);
  AddEvent(*job, kEditorPlugin, 1, 4);                  // "Fail event"
  const std::vector<uint8_t> failBlock{3, 0, 0, 0};
  TDialogScript script([&](HWND dlg) {
    EXPECT_EQ(Rows(dlg, IDC_LVJOBSTEPS),
              (std::vector<std::string>{"Count 5", "Mine", "Fail 3", "(UNKNOWN) Gone"}));
    for (int row : {0, 1, 2, 3}) {
      Select(dlg, IDC_LVJOBSTEPS, row);
      Command(dlg, IDC_BCONFIGSTEP);
      Settle(dlg);
    }
    Select(dlg, IDC_LVJOBRUNS, 0);
    Command(dlg, IDC_BCONFIGRUN);
    Settle(dlg);
    EXPECT_EQ(Rows(dlg, IDC_LVJOBSTEPS),
              (std::vector<std::string>{"Count 6", "Mine", "Fail 3", "(UNKNOWN) Gone"}));
    EXPECT_EQ(Rows(dlg, IDC_LVJOBRUNS), std::vector<std::string>{"Fail event 4"});
    Post(dlg, IDOK);
  });
  EXPECT_TRUE(EditJob(nullptr, job.get()));
  EXPECT_EQ(g_boxes, (std::vector<std::string>{"An error occured. Delete this Step.",
                                                "Unknown plugin; ID=4242",
                                                "An error occured. Delete this Event."}));
  EXPECT_EQ(CounterOf(job->Steps(1)->Params().Size, job->Steps(1)->Params().Data), 6);
  EXPECT_EQ(CounterOf(job->Steps(2)->Params().Size, job->Steps(2)->Params().Data), 3);
  EXPECT_EQ(job->Steps(0)->Name(), "Count 6");
  EXPECT_EQ(job->Steps(1)->Name(), "Mine");
  // What OK saved is what the job holds.
  EXPECT_EQ(testutil::ReadFileBytes(JobPath(*job)), Bytes(*job));
  DeleteFileA(JobPath(*job).c_str());
}

// A job with values the dialog cannot show and a step and an event of a
// plug-in that is not loaded comes back from Edit and OK byte for byte;
// renaming and the check boxes of such rows keep their data.
TEST_F(JobEditor, OkKeepsWhatTheDialogCannotShowAndMissingPluginsRows) {
  auto job = MakeJob();
  job->SetPriority(6);
  job->SetActionAfterRun(3);
  job->SetCategory(999);  // deleted meanwhile
  AddStep(*job, kMissingPlugin, 2, "Gone", 9);
  AddStep(*job, kEditorPlugin, mCount, "Count 1", 1);
  AddEvent(*job, kMissingPlugin, 0, 4);
  job->Steps(0)->SetEnabled(1);  // a stored true that is not -1
  job->SaveToJobsDir();
  const std::vector<uint8_t> file = testutil::ReadFileBytes(JobPath(*job));
  {
    TDialogScript script([&](HWND dlg) {
      EXPECT_EQ(GetText(dlg, IDC_CBCATS), "< not defined >");
      EXPECT_EQ(Rows(dlg, IDC_LVJOBRUNS), std::vector<std::string>{"(UNKNOWN)"});
      EXPECT_TRUE(RowChecked(dlg, IDC_LVJOBSTEPS, 0));
      Post(dlg, IDOK);
    });
    EXPECT_TRUE(EditJob(nullptr, job.get()));
  }
  EXPECT_EQ(testutil::ReadFileBytes(JobPath(*job)), file);

  TDialogScript script([&](HWND dlg) {
    // Clicks, "Unselect all" and a refill leave the missing plug-ins' flags.
    SetRowChecked(dlg, IDC_LVJOBSTEPS, 0, false);
    SetRowChecked(dlg, IDC_LVJOBRUNS, 0, false);
    Command(dlg, IDM_UNSELECTALLSTEPS);
    Command(dlg, IDM_UNSELECTALLRUNS);
    Select(dlg, IDC_LVJOBSTEPS, 1);
    Command(dlg, IDC_BSTEPUP);  // a refill
    Settle(dlg);
    EXPECT_EQ(Rows(dlg, IDC_LVJOBSTEPS), (std::vector<std::string>{"Count 1", "(UNKNOWN) Gone"}));
    EXPECT_TRUE(RowChecked(dlg, IDC_LVJOBSTEPS, 1));
    EXPECT_FALSE(RowChecked(dlg, IDC_LVJOBSTEPS, 0));
    // The in-place editor starts from the step's own name; Enter ends the
    // editing and leaves the dialog open.
    HWND list = GetDlgItem(dlg, IDC_LVJOBSTEPS);
    SetFocus(list);
    HWND edit = reinterpret_cast<HWND>(SendMessageA(list, LVM_EDITLABELA, 1, 0));
    ASSERT_TRUE(edit);
    char text[64] = "";
    GetWindowTextA(edit, text, sizeof text);
    EXPECT_STREQ(text, "Gone");
    SetWindowTextA(edit, "Old one");
    PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
    // The posted key comes after any message sent to settle the dialog.
    const std::vector<std::string> renamed{"Count 1", "(UNKNOWN) Old one"};
    EXPECT_TRUE(testutil::WaitFor([&] { return Rows(dlg, IDC_LVJOBSTEPS) == renamed; }, 5000))
        << testing::PrintToString(Rows(dlg, IDC_LVJOBSTEPS));
    EXPECT_TRUE(IsWindowVisible(dlg));
    Press(dlg, IDC_CBTOLOG);
    // Enter in the list itself confirms the dialog.
    PostMessageA(list, WM_KEYDOWN, VK_RETURN, 0);
  });
  EXPECT_TRUE(EditJob(nullptr, job.get()));
  EXPECT_EQ(job->Priority(), 6);
  EXPECT_EQ(job->ActionAfterRun(), 3);
  EXPECT_EQ(job->Category(), 999);
  EXPECT_TRUE(job->ToLog());
  ASSERT_EQ(job->StepCount(), 2);
  TOVJobStep* gone = job->Steps(1);
  EXPECT_EQ(gone->Name(), "Old one");
  EXPECT_TRUE(gone->Enabled());
  EXPECT_EQ(CounterOf(gone->Params().Size, gone->Params().Data), 9);
  EXPECT_FALSE(job->Steps(0)->Enabled());
  EXPECT_TRUE(job->Events(0)->Enabled());
  DeleteFileA(JobPath(*job).c_str());
}

// Cancel (here the title bar's close button) gives the job back as it was
// when the editor opened, also when its file went missing meanwhile.
TEST_F(JobEditor, CancelRestoresTheJobWithoutItsFile) {
  auto job = MakeJob();
  AddStep(*job, kEditorPlugin, mCount, "Count 1", 1);
  AddEvent(*job, kEditorPlugin, 0, 1);
  const std::vector<uint8_t> before = Bytes(*job);
  TDialogScript script([&](HWND dlg) {
    for (size_t i = 0; i < 2; ++i) {
      Post(dlg, IDC_BADDSTEP);
      Pick("Select action", "Editor plugin/Count");
      // The row comes once the picker's own loop has ended.
      EXPECT_TRUE(WaitRows(dlg, IDC_LVJOBSTEPS, 2 + i));
    }
    Select(dlg, IDC_LVJOBRUNS, 0);
    Command(dlg, IDC_BREMOVERUN);
    Press(dlg, IDC_RBPRIORITY0);
    Settle(dlg);
    EXPECT_EQ(Rows(dlg, IDC_LVJOBSTEPS).size(), 3u);
    DeleteFileA(JobPath(*job).c_str());
    PostMessageA(dlg, WM_SYSCOMMAND, SC_CLOSE, 0);
  });
  EXPECT_FALSE(EditJob(nullptr, job.get()));
  EXPECT_EQ(Bytes(*job), before);
  EXPECT_EQ(job->Priority(), 3);
  EXPECT_FALSE(job->Modified());
  EXPECT_FALSE(FileExists(JobPath(*job)));
  EXPECT_TRUE(g_boxes.empty());
}

// When the save at opening fails the editor does not open, and the job
// gets back its state and its armed events.
TEST_F(JobEditor, AFailedSaveAtOpeningOpensNothingAndRearms) {
  Jobs = new TOVJobs();
  TOVJob* job = MakeJob().release();
  AddEvent(*job, kEditorPlugin, 0, 1);
  job->SetActive(-1);
  Jobs->Add(job);
  job->StartEvents();
  ASSERT_TRUE(job->Events(0)->Started());
  const std::string dir = Settings.JobDir;
  Settings.JobDir = dir + "missing\\folder\\";
  bool opened = false;
  {
    TDialogScript script([&](HWND dlg) {
      opened = true;
      Post(dlg, IDCANCEL);
    }, 300);
    EXPECT_FALSE(EditJobCommand(nullptr, job));
  }
  Settings.JobDir = dir;
  EXPECT_FALSE(opened);
  ASSERT_EQ(g_boxes.size(), 1u);
  EXPECT_EQ(g_boxes[0].rfind("Cannot save Job file", 0), 0u) << g_boxes[0];
  EXPECT_FALSE(job->Editing());
  EXPECT_TRUE(job->Events(0)->Started());
  EXPECT_EQ(job->State(), jsIdle);
  EXPECT_EQ(LogCount(Format("tick stop %d", job->ID())), 1);
  EXPECT_EQ(LogCount(Format("tick start %d", job->ID())), 2);
}

TEST_F(JobEditor, MovesStopAtTheEndsAndAnEmptyNameIsRefused) {
  auto job = MakeJob();
  for (const char* name : {"A", "B", "C"}) AddStep(*job, kEditorPlugin, mCount, name, 1);
  TDialogScript script([&](HWND dlg) {
    Select(dlg, IDC_LVJOBSTEPS, 0);
    Command(dlg, IDC_BSTEPUP);
    Settle(dlg);
    Select(dlg, IDC_LVJOBSTEPS, 2);
    Command(dlg, IDC_BSTEPDOWN);
    Settle(dlg);
    EXPECT_EQ(Rows(dlg, IDC_LVJOBSTEPS), (std::vector<std::string>{"A", "B", "C"}));
    Select(dlg, IDC_LVJOBSTEPS, 0);
    Command(dlg, IDC_BSTEPDOWN);
    Settle(dlg);
    EXPECT_EQ(Rows(dlg, IDC_LVJOBSTEPS), (std::vector<std::string>{"B", "A", "C"}));
    EXPECT_EQ(SelectedRow(dlg, IDC_LVJOBSTEPS), 1);
    Command(dlg, IDC_BREMOVESTEP);
    Settle(dlg);
    EXPECT_EQ(Rows(dlg, IDC_LVJOBSTEPS), (std::vector<std::string>{"B", "C"}));
    SetText(dlg, IDC_EJOBNAME, "");
    Command(dlg, IDOK);  // refused: the box is answered at once
    EXPECT_TRUE(IsWindowVisible(dlg));
    SetText(dlg, IDC_EJOBNAME, "Renamed");
    Post(dlg, IDOK);
  });
  EXPECT_TRUE(EditJob(nullptr, job.get()));
  EXPECT_EQ(g_boxes, std::vector<std::string>{"Invalid job name"});
  EXPECT_EQ(job->Name(), "Renamed");
  ASSERT_EQ(job->StepCount(), 2);
  EXPECT_EQ(job->Steps(0)->Name(), "B");
  DeleteFileA(JobPath(*job).c_str());
}

TEST_F(JobEditor, PickersListPluginsSortedAndRefuseAPluginLine) {
  TPickedItem picked;
  TDialogScript script([&](HWND dlg) {
    HWND tv = GetDlgItem(dlg, IDC_TVITEMS);
    std::vector<std::string> lines = TreeLines(tv);
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "Editor plugin");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Good plugin/Succeed"), 1);
    std::vector<std::string> good;
    for (const auto& l : lines)
      if (l.rfind("Good plugin/", 0) == 0) good.push_back(l);
    EXPECT_EQ(good.size(), 13u);
    EXPECT_TRUE(std::is_sorted(good.begin(), good.end(), [](const std::string& a, const std::string& b) {
      return lstrcmpiA(a.c_str(), b.c_str()) < 0;
    }));
    SendMessageA(tv, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(testutil::FindTreeItem(tv, "Good plugin")));
    testutil::Click(dlg, IDOK);
    EXPECT_TRUE(IsWindowVisible(dlg));
    SendMessageA(tv, TVM_SELECTITEM, TVGN_CARET,
                 reinterpret_cast<LPARAM>(testutil::FindTreeItem(tv, "Good plugin/Log lines")));
    testutil::Click(dlg, IDOK);
  });
  ASSERT_TRUE(PickAction(nullptr, &picked));
  EXPECT_EQ(script.Caption(), "Select action");
  EXPECT_EQ(picked.PluginID, 1001);
  EXPECT_EQ(picked.Index, 8);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  CreateAppWindow();
  InitHostRecord();
  HostRecord.Alloc = CountingAlloc;
  HostRecord.Free = CountingFree;
  std::string dir = testutil::MakeTempDir("jobeditor");
  Settings.LogDir = dir + "Logs\\";
  Settings.JobDir = dir + "Jobs\\";
  ForceDirectories(Settings.LogDir);
  ForceDirectories(Settings.JobDir);
  MainLog = new TOVLog(nullptr);
  MainLog->AutoSave = false;
  Plugins = new TOVPlugins();
  Plugins->LoadPlugin(testutil::TestPluginPath("tp_editor"));
  Plugins->LoadPlugin(testutil::TestPluginPath("tp_good"));
  int result = RUN_ALL_TESTS();
  delete Plugins;
  Plugins = nullptr;
  delete MainLog;
  MainLog = nullptr;
  testutil::RemoveTree(dir);
  return result;
}
