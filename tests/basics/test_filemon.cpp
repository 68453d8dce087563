// The files monitor in-process: the General plug-in's runner 3 loaded
// through InitOVPlugin with a host record of the test's own, its passes
// called directly, and the comparison engine on its own.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <mutex>

#include <windows.h>

#include <commctrl.h>

#include "BasicsUtil.h"
#include "DialogDriver.h"
#include "OVPlugin.h"
#include "TestUtil.h"
#include "uDM.h"
#include "uFileMon.h"

namespace {

constexpr int32_t kJob = 0x0F11E001;
constexpr int kMonitor = 3;

struct TFake {
  std::mutex lock;
  std::vector<std::string> runs;  // causes
  std::vector<std::string> logs;
  // When set, a run request waits for the main thread to answer a sent
  // message, as the real host's does.
  std::atomic<bool> runViaMainThread{false};
  std::atomic<bool> runEntered{false};
  std::atomic<bool> runAnswered{false};
  size_t Runs() {
    std::lock_guard<std::mutex> l(lock);
    return runs.size();
  }
} g_fake;

constexpr UINT kRunMessage = WM_APP + 1;

LRESULT CALLBACK AppProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == kRunMessage) return 1;
  return DefWindowProcA(wnd, msg, wp, lp);
}

HWND AppWindow() {
  static HWND wnd = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = AppProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "FileMonTestApp";
    RegisterClassA(&wc);
    return CreateWindowA("FileMonTestApp", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  }();
  return wnd;
}

void OVAPI FakeLog(uint32_t, const char* text) {
  std::lock_guard<std::mutex> l(g_fake.lock);
  g_fake.logs.push_back(text ? text : "");
}
void OVAPI FakeAlloc(void** p, int32_t size) { *p = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, static_cast<SIZE_T>(size)); }
void OVAPI FakeFree(void** p, int32_t) {
  HeapFree(GetProcessHeap(), 0, *p);
  *p = nullptr;
}
void OVAPI FakeExpand(const char* text, char* out, int32_t size) {
  std::string s = text ? text : "";
  size_t at = s.find("%TempDir%");
  if (at != std::string::npos) s.replace(at, 9, "EXPANDED");
  lstrcpynA(out, s.c_str(), size);
}
HANDLE OVAPI FakeRunJob(int32_t id, const char* cause) {
  if (g_fake.runViaMainThread) {
    g_fake.runEntered = true;
    SendMessageA(AppWindow(), kRunMessage, 0, 0);
    g_fake.runAnswered = true;
  }
  std::lock_guard<std::mutex> l(g_fake.lock);
  g_fake.runs.push_back(id == kJob ? std::string(cause ? cause : "") : "wrong job");
  return nullptr;
}

THostRecord g_host;
TPluginRecord* g_record = nullptr;

class TDM : public TOVDataModule {
 public:
  TDM() {
    Plugin->ID = OV_BASICS_ID;
    AddRunner("Hot key");
    AddRunner("Alarm clock");
    AddRunner("On Windows shutdown");
    AddRunner("Files Monitor", FileMonitorCase());
  }
  void PluginShutdownPlugin() override { ReleaseFileMonitors(); }
};

class FileMon : public ::testing::Test {
 protected:
  void SetUp() override {
    g_fake.runs.clear();
    g_fake.logs.clear();
    g_fake.runViaMainThread = false;
    g_host = THostRecord{};
    g_host.Version = OV_HOST_VERSION;
    g_host.AppWindow = AppWindow();
    g_host.Log = FakeLog;
    g_host.Alloc = FakeAlloc;
    g_host.Free = FakeFree;
    g_host.RunJob = FakeRunJob;
    g_host.ExpandVariables = FakeExpand;
    g_record = InitOVPlugin(&g_host);
    ASSERT_NE(g_record, nullptr);
    dir = testutil::MakeTempDir("filemon");
    params.JobID = kJob;
  }
  void TearDown() override {
    g_record->ShutdownPlugin();
    if (params.Data) FakeFree(&params.Data, params.Size);
    testutil::RemoveTree(dir);
  }

  void Configure(const TFileMonSettings& s) {
    TBlockWriter w;
    WriteFileMonSettings(s, w);
    ASSERT_TRUE(w.StoreTo(params));
  }
  TFileMonSettings Watching() {
    TFileMonSettings s;
    s.Folders = {{dir, false}};
    s.Interval = 3600;
    return s;
  }
  // Starts the event and waits for the thread's first pass.
  std::shared_ptr<TMyRefresh> Start() {
    if (!g_record->Runners->StartRunner(kMonitor, &params)) return nullptr;
    auto m = StartedFileMonitors().back();
    testutil::WaitFor([&] { return m->Passes() >= 1; }, 5000);
    return m;
  }
  void Stop() { g_record->Runners->StopRunner(kMonitor, &params); }
  const uint8_t* Block() const { return static_cast<const uint8_t*>(params.Data); }
  std::string Lower(std::string s) {
    CharLowerBuffA(s.data(), static_cast<DWORD>(s.size()));
    return s;
  }
  void Touch(const std::string& path, int seconds) {
    HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    FILETIME ft;
    GetFileTime(h, nullptr, nullptr, &ft);
    ULARGE_INTEGER t{{ft.dwLowDateTime, ft.dwHighDateTime}};
    t.QuadPart += static_cast<int64_t>(seconds) * 10000000;
    ft = {t.LowPart, t.HighPart};
    SetFileTime(h, nullptr, nullptr, &ft);
    CloseHandle(h);
  }

  std::string dir;
  TOVRunnerParams params{};
};

TEST_F(FileMon, FirstPassIsSilentAndOneCopiedFileRunsTheJobOnce) {
  testutil::WriteFileText(dir + "a.txt", "a");
  Configure(Watching());
  auto m = Start();
  ASSERT_TRUE(m);
  EXPECT_EQ(g_fake.Runs(), 0u);
  ASSERT_TRUE(CopyFileA((dir + "a.txt").c_str(), (dir + "b.txt").c_str(), TRUE));
  m->Refresh();
  m->Refresh();
  ASSERT_EQ(g_fake.Runs(), 1u);
  EXPECT_EQ(g_fake.runs[0], "Files monitor");
  Stop();
  EXPECT_TRUE(StartedFileMonitors().empty());
}

TEST_F(FileMon, ChangeKindsAndExcludeMasksFilterWhatRunsTheJob) {
  testutil::WriteFileText(dir + "a.txt", "a");
  TFileMonSettings s = Watching();
  s.ExcMask = "*.tmp";
  s.ChangeKinds = ckTimeNewer;
  Configure(s);
  auto m = Start();
  ASSERT_TRUE(m);
  Touch(dir + "a.txt", -3600);
  testutil::WriteFileText(dir + "x.tmp", "excluded");
  m->Refresh();
  EXPECT_EQ(g_fake.Runs(), 0u) << "an older time or an excluded file";
  Touch(dir + "a.txt", 7200);
  m->Refresh();
  EXPECT_EQ(g_fake.Runs(), 1u) << "a newer time";
  testutil::WriteFileText(dir + "y.dat", "new");
  m->Refresh();
  EXPECT_EQ(g_fake.Runs(), 2u);
}

TEST_F(FileMon, TheSnapshotStoredAtStopCatchesWhatChangedWhileStopped) {
  // A real file whose name looks like a variable reference.
  testutil::WriteFileText(dir + "a%TempDir%.txt", "a");
  testutil::WriteFileText(dir + "b.txt", "bb");
  Configure(Watching());
  const size_t settingsSize = static_cast<size_t>(params.Size);
  ASSERT_TRUE(Start());
  Stop();

  // The settings part stays, its last byte (the snapshot flag) now 1, and
  // the two entries follow in the order they were found.
  ASSERT_GT(static_cast<size_t>(params.Size), settingsSize);
  std::vector<uint8_t> bytes(Block(), Block() + params.Size);
  EXPECT_EQ(bytes[settingsSize - 1], 1);
  TBlockReader r(Block() + settingsSize, params.Size - static_cast<int32_t>(settingsSize));
  uint32_t count = 0, time = 0, size = 0, attr = 0;
  std::vector<std::string> paths;
  ASSERT_TRUE(r.Dword(count));
  ASSERT_EQ(count, 2u);
  for (uint32_t i = 0; i < count; ++i) {
    std::string p;
    ASSERT_TRUE(r.String(p) && r.Dword(time) && r.Dword(size) && r.Dword(attr));
    paths.push_back(p);
    EXPECT_EQ(size, p.find("b.txt") != std::string::npos ? 2u : 1u);
    EXPECT_NE(time, 0u);
  }
  EXPECT_FALSE(r.More());
  std::sort(paths.begin(), paths.end());
  EXPECT_EQ(paths, (std::vector<std::string>{Lower(dir + "a%TempDir%.txt"), Lower(dir + "b.txt")}));

  // Nothing changed: the stored paths are taken as they are, not expanded.
  ASSERT_TRUE(Start());
  EXPECT_EQ(g_fake.Runs(), 0u);
  Stop();

  // A file deleted while stopped is found by the first pass.
  ASSERT_TRUE(DeleteFileA((dir + "b.txt").c_str()));
  ASSERT_TRUE(Start());
  EXPECT_EQ(g_fake.Runs(), 1u);
  Stop();

  // A stored empty folder is a snapshot too: a file made while stopped is new.
  ASSERT_TRUE(DeleteFileA((dir + "a%TempDir%.txt").c_str()));
  ASSERT_TRUE(Start());
  Stop();
  EXPECT_EQ(Block()[settingsSize - 1], 1);
  EXPECT_EQ(static_cast<size_t>(params.Size), settingsSize + 4);
  g_fake.runs.clear();
  testutil::WriteFileText(dir + "c.txt", "c");
  ASSERT_TRUE(Start());
  EXPECT_EQ(g_fake.Runs(), 1u);
}

TEST_F(FileMon, AnOlderBlockWithoutTheSaveResultsPartLoadsWithItsSnapshot) {
  std::vector<uint8_t> b;
  auto dword = [&](uint32_t v) {
    for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
  };
  auto str = [&](const std::string& s) {
    dword(static_cast<uint32_t>(s.size() + 1));
    b.insert(b.end(), s.begin(), s.end());
    b.push_back(0);
  };
  dword(0xFFFFFFFF);  // a damaged settings length
  dword(1);
  str(dir);
  b.push_back(0);
  str("*.*");
  str("");
  for (int i = 0; i < 8; ++i) b.push_back(1);
  dword(0);  // an interval of 0
  b.push_back(1);  // snapshot flag in the marker's place
  const size_t settingsEnd = b.size();
  dword(1);
  str(Lower(dir + "gone.txt"));
  dword(0x58A14C00);
  dword(10);
  dword(FILE_ATTRIBUTE_ARCHIVE);

  TFileMonBlock read = ReadFileMonBlock(b.data(), static_cast<int32_t>(b.size()));
  ASSERT_TRUE(read.Complete);
  EXPECT_EQ(read.SettingsEnd, settingsEnd);
  EXPECT_EQ(read.Settings.Interval, 1u);
  EXPECT_FALSE(read.Settings.SaveResults);
  ASSERT_TRUE(read.HasSnapshot);
  ASSERT_EQ(read.Snapshot.size(), 1u);
  read = ReadFileMonBlock(b.data(), static_cast<int32_t>(settingsEnd - 1));
  EXPECT_FALSE(read.Complete) << "a block cut short";

  void* p = nullptr;
  FakeAlloc(&p, static_cast<int32_t>(b.size()));
  std::memcpy(p, b.data(), b.size());
  params.Data = p;
  params.Size = static_cast<int32_t>(b.size());
  ASSERT_TRUE(Start());
  EXPECT_EQ(g_fake.Runs(), 1u) << "the stored file is gone";
  Stop();
  // Still the older layout, with its length mended.
  uint32_t length = 0;
  std::memcpy(&length, Block(), 4);
  EXPECT_EQ(length, settingsEnd - 4);
  EXPECT_EQ(std::vector<uint8_t>(Block() + 4, Block() + settingsEnd - 1),
            std::vector<uint8_t>(b.begin() + 4, b.begin() + static_cast<ptrdiff_t>(settingsEnd) - 1));
}

TEST_F(FileMon, ChangeListsAreWrittenPerKindAndAFailedListIsReported) {
  const std::string lists = testutil::MakeTempDir("filemonlists");
  testutil::WriteFileText(dir + "old.txt", "o");
  TFileMonSettings s = Watching();
  s.SaveResults = true;
  s.OneList = false;
  s.NewListFN = lists + "new.txt";
  s.DelListFN = lists + "del.txt";
  s.ChgListFN = lists + "chg.txt";
  Configure(s);
  testutil::WriteFileText(lists + "chg.txt", "keep\r\n");
  auto m = Start();
  ASSERT_TRUE(m);
  testutil::WriteFileText(dir + "n1.txt", "1");
  testutil::WriteFileText(dir + "n2.txt", "2");
  ASSERT_TRUE(DeleteFileA((dir + "old.txt").c_str()));
  m->Refresh();
  auto added = testutil::ReadLines(lists + "new.txt");
  std::sort(added.begin(), added.end());
  EXPECT_EQ(added, (std::vector<std::string>{Lower(dir + "n1.txt"), Lower(dir + "n2.txt")}));
  EXPECT_EQ(testutil::ReadLines(lists + "del.txt"), std::vector<std::string>{Lower(dir + "old.txt")});
  EXPECT_EQ(testutil::ReadFileText(lists + "chg.txt"), "keep\r\n");
  EXPECT_EQ(testutil::ListFiles(lists, "*.~fm"), std::vector<std::string>{});
  EXPECT_EQ(g_fake.Runs(), 1u);
  Stop();

  // One list in a folder that does not exist: logged, and the job still runs.
  s.OneList = true;
  s.OneListFN = lists + "missing\\all.txt";
  Configure(s);
  m = Start();
  testutil::WriteFileText(dir + "n3.txt", "3");
  m->Refresh();
  EXPECT_EQ(g_fake.Runs(), 2u);
  ASSERT_EQ(g_fake.logs.size(), 1u);
  EXPECT_NE(g_fake.logs[0].find("cannot write the list file"), std::string::npos) << g_fake.logs[0];
  testutil::RemoveTree(lists);
}

TEST_F(FileMon, StopReturnsWhileTheRunRequestWaitsForTheMainThread) {
  TFileMonSettings s = Watching();
  s.Interval = 1;
  Configure(s);
  ASSERT_TRUE(Start());
  g_fake.runViaMainThread = true;
  testutil::WriteFileText(dir + "new.txt", "n");
  // The next pass asks for the run and waits for this thread, which does
  // not pump messages until it stops the event.
  for (int i = 0; i < 300 && !g_fake.runEntered; ++i) Sleep(10);
  ASSERT_TRUE(g_fake.runEntered);
  std::weak_ptr<TMyRefresh> monitor = StartedFileMonitors().back();
  auto t0 = std::chrono::steady_clock::now();
  Stop();
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
  EXPECT_LT(ms, 2000);
  EXPECT_TRUE(g_fake.runAnswered);
  // The thread ends by itself and lets its monitor go.
  EXPECT_TRUE(testutil::WaitFor([&] { return monitor.expired(); }, 2000));
  // The run was requested, so the stored snapshot already holds the file.
  TFileMonBlock b = ReadFileMonBlock(params.Data, params.Size);
  ASSERT_TRUE(b.HasSnapshot);
  EXPECT_EQ(b.Snapshot.size(), 1u);
}

// ------------------------------------------------------------ the engine

class TRecorder : public TMyRefresh {
 public:
  std::vector<TChange> Seen;
  std::string Failing;  // a folder whose enumeration is refused
  bool RefreshDone(const std::vector<TChange>& changes) override {
    Seen.insert(Seen.end(), changes.begin(), changes.end());
    return true;
  }
  HANDLE FindFirst(const std::string& pattern, WIN32_FIND_DATAA& fd) override {
    if (!Failing.empty() && pattern.rfind(Failing, 0) == 0) {
      SetLastError(ERROR_ACCESS_DENIED);
      return INVALID_HANDLE_VALUE;
    }
    return TMyRefresh::FindFirst(pattern, fd);
  }
};

namespace {

// Shown on its page (the dialog itself may not be shown yet).
bool Visible(HWND dlg, int id) { return (GetWindowLongPtrA(GetDlgItem(dlg, id), GWL_STYLE) & WS_VISIBLE) != 0; }

void ChoosePage(HWND dlg, int page) {
  HWND tabs = GetDlgItem(dlg, IDC_tcPages);
  SendMessageA(tabs, TCM_SETCURSEL, static_cast<WPARAM>(page), 0);
  NMHDR n{tabs, static_cast<UINT_PTR>(IDC_tcPages), static_cast<UINT>(TCN_SELCHANGE)};
  SendMessageA(dlg, WM_NOTIFY, IDC_tcPages, reinterpret_cast<LPARAM>(&n));
}

int ImageOf(HWND dlg, int row) {
  LVITEMA item{};
  item.mask = LVIF_IMAGE;
  item.iItem = row;
  SendDlgItemMessageA(dlg, IDC_lvFolders, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
  return item.iImage;
}

}  // namespace

// The two pages, the subtree icons and hints; what OK writes and refuses.
TEST_F(FileMon, TheDialogShowsItsPagesAndWritesWhatWasChosen) {
  TFileMonSettings s = Watching();
  s.Folders = {{dir, true}, {"C:\\other", false}};
  s.SaveResults = true;
  s.OneList = false;
  s.NewListFN = "C:\\new.txt";
  Configure(s);
  bool monitoringFirst = false, savingHidden = false, savingShown = false, monitoringHidden = false;
  std::vector<int> images;
  std::string hintAdd, hintFile;
  {
    testutil::TDialogScript script([&](HWND dlg) {
      monitoringFirst = Visible(dlg, IDC_lvFolders) && Visible(dlg, IDC_eIncMask);
      savingHidden = !Visible(dlg, IDC_eNewListFN) && !Visible(dlg, IDC_cbSaveResults);
      images = {ImageOf(dlg, 0), ImageOf(dlg, 1)};
      hintAdd = testutil::HintOf(dlg, IDC_bAdd);
      hintFile = testutil::HintOf(dlg, IDC_bNewListFN);
      ChoosePage(dlg, 1);
      savingShown = Visible(dlg, IDC_eNewListFN) && Visible(dlg, IDC_rbDiffList);
      monitoringHidden = !Visible(dlg, IDC_lvFolders) && !Visible(dlg, IDC_gFilter);
      testutil::SetText(dlg, IDC_eChgListFN, "C:\\changed.txt");
      ChoosePage(dlg, 0);
      testutil::SetText(dlg, IDC_eInterval, "0");
      testutil::Click(dlg, IDOK);
    });
    EXPECT_TRUE(g_record->Runners->ConfigRunner(kMonitor, &params));
  }
  EXPECT_TRUE(monitoringFirst);
  EXPECT_TRUE(savingHidden);
  EXPECT_TRUE(savingShown);
  EXPECT_TRUE(monitoringHidden);
  EXPECT_EQ(images, (std::vector<int>{1, 0}));
  EXPECT_EQ(hintAdd, "Add folder to list");
  EXPECT_EQ(hintFile, "Select file");
  TFileMonBlock b = ReadFileMonBlock(params.Data, params.Size);
  ASSERT_TRUE(b.Complete);
  ASSERT_EQ(b.Settings.Folders.size(), 2u);
  EXPECT_TRUE(b.Settings.Folders[0].Subtree);
  EXPECT_FALSE(b.Settings.Folders[1].Subtree);
  EXPECT_EQ(b.Settings.Interval, 1u);
  EXPECT_FALSE(b.Settings.OneList);
  EXPECT_EQ(b.Settings.NewListFN, "C:\\new.txt");
  EXPECT_EQ(b.Settings.ChgListFN, "C:\\changed.txt");

  // No folder: OK goes back to the first page and keeps the dialog open.
  bool stayed = false, backOnFirst = false;
  {
    testutil::TDialogScript script([&](HWND dlg) {
      testutil::Click(dlg, IDC_bClear);
      ChoosePage(dlg, 1);
      testutil::Click(dlg, IDOK);
      stayed = IsWindow(dlg) && IsWindowVisible(dlg);
      backOnFirst = SendDlgItemMessageA(dlg, IDC_tcPages, TCM_GETCURSEL, 0, 0) == 0 && Visible(dlg, IDC_lvFolders);
      testutil::Click(dlg, IDCANCEL);
    });
    EXPECT_FALSE(g_record->Runners->ConfigRunner(kMonitor, &params));
  }
  EXPECT_TRUE(stayed);
  EXPECT_TRUE(backOnFirst);
  EXPECT_EQ(ReadFileMonBlock(params.Data, params.Size).Settings.Folders.size(), 2u);
}

TEST(FileMonEngine, AFolderThatCannotBeReadKeepsItsEntriesAndAMissingOneHasNone) {
  std::string dir = testutil::MakeTempDir("filemonengine");
  testutil::MakeDirs(dir + "sub");
  testutil::WriteFileText(dir + "sub\\a.txt", "a");
  testutil::WriteFileText(dir + "sub\\b.txt", "b");
  testutil::WriteFileText(dir + "top.txt", "t");
  TRecorder m;
  m.Folders = {{dir, true}, {dir + "sub", false}};  // overlapping
  m.Refresh();
  m.Failing = dir + "sub\\";
  m.Refresh();
  EXPECT_TRUE(m.Seen.empty()) << m.Seen[0].Path;
  m.Failing.clear();
  ASSERT_TRUE(DeleteFileA((dir + "sub\\a.txt").c_str()));
  m.Refresh();
  ASSERT_EQ(m.Seen.size(), 1u) << "each file once, though two folders hold it";
  EXPECT_EQ(m.Seen[0].Type, TChangeType::Deleted);
  m.Seen.clear();
  testutil::RemoveTree(dir + "sub");
  m.Refresh();
  ASSERT_EQ(m.Seen.size(), 1u);
  EXPECT_EQ(m.Seen[0].Path.substr(m.Seen[0].Path.size() - 5), "b.txt");
  testutil::RemoveTree(dir);
}

TEST(FileMonEngine, LargeSizesAndLateDatesCompareUnsigned) {
  TRecorder m;
  TFileList old, now;
  // Sizes across 2 GiB, in memory and in a stored snapshot.
  old.Add({"c:\\big", 100, 0x7FFFFFF0u, 0, false});
  now.Add({"c:\\big", 100, 0x80000010u, 0, false});
  // A stored time in 2043 against one in 2044 (date word 0x8821: 2044-01-01).
  old.Add({"c:\\late", 0x7F210000u, 0xFFFFFFF0u, 0, true});
  now.Add({"c:\\late", 0x80210000u, 0xFFFFFFF0u, 0, true});
  auto changes = m.Compare(old, now);
  ASSERT_EQ(changes.size(), 2u);
  EXPECT_EQ(changes[0].Kinds, ckSizeBigger);
  EXPECT_EQ(changes[1].Kinds, ckTimeNewer);
}

TEST(FileMonEngine, ALinkBackUpTheTreeEnds) {
  std::string dir = testutil::MakeTempDir("filemonloop");
  testutil::WriteFileText(dir + "a.txt", "a");
  if (!CreateSymbolicLinkA((dir + "loop").c_str(), dir.c_str(), SYMBOLIC_LINK_FLAG_DIRECTORY)) {
    testutil::RemoveTree(dir);
    GTEST_SKIP() << "no directory links here (" << GetLastError() << ")";
  }
  TRecorder m;
  m.Folders = {{dir, true}};
  m.Refresh();
  size_t found = 0;
  m.WithSnapshot([&](const TFileList* s) { found = s ? s->Count() : 0; });
  EXPECT_GE(found, 1u);
  RemoveDirectoryA((dir + "loop").c_str());
  testutil::RemoveTree(dir);
}

}  // namespace

OV_DATA_MODULE(TDM)
