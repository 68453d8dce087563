// The framework inside this test program: InitOVPlugin with a host record
// of the test's own, whose services record what the wrappers hand them.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <cstring>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "OVCommaText.h"
#include "OVDialog.h"
#include "OVPlugin.h"

namespace {

// ------------------------------------------------------------ the host

struct TFakeHost {
  std::vector<std::pair<uint32_t, std::string>> logs;
  std::vector<std::pair<void*, int32_t>> allocs, frees;
  int32_t expandSize = 0;
  int32_t selectSize = 0;
  bool chooseVariable = true;
  // SelectFiles: what it was given, and what it answers.
  std::string filesGiven = "<none>";
  int32_t filesSizeGiven = -1;
  bool filesConfirm = true;
  std::string filesAnswer;
  std::vector<std::pair<int32_t, std::string>> runs;
  std::vector<int32_t> stops;
  int32_t versionSeenByDMCreate = 0;
} g_fake;

void OVAPI FakeLog(uint32_t level, const char* text) { g_fake.logs.emplace_back(level, text); }

void OVAPI FakeAlloc(void** p, int32_t size) {
  *p = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, static_cast<SIZE_T>(size));
  g_fake.allocs.emplace_back(*p, size);
}

void OVAPI FakeFree(void** p, int32_t size) {
  g_fake.frees.emplace_back(*p, size);
  HeapFree(GetProcessHeap(), 0, *p);
}

// Writes as much as the contract allows: DestSize characters and a zero.
void OVAPI FakeExpand(const char* src, char* dest, int32_t size) {
  g_fake.expandSize = size;
  if (std::string(src) == "fill") {
    std::memset(dest, 'e', static_cast<size_t>(size));
    dest[size] = '\0';
    return;
  }
  std::string out = std::string("<") + src + ">";
  lstrcpynA(dest, out.c_str(), size + 1);
}

Bool32 OVAPI FakeSelectVariable(char* dest, int32_t size) {
  g_fake.selectSize = size;
  if (!g_fake.chooseVariable) {
    dest[0] = '\0';
    return OV_FALSE;
  }
  lstrcpynA(dest, "%DATE%", size + 1);
  return OV_TRUE;
}

// Behaves as the host's file-list dialog does on OK and Cancel.
Bool32 OVAPI FakeSelectFiles(char** text, int32_t* size) {
  g_fake.filesGiven = *text ? std::string(*text) : "<null>";
  g_fake.filesSizeGiven = *size;
  if (!g_fake.filesConfirm) return OV_FALSE;
  if (*size > 0 && *text) FakeFree(reinterpret_cast<void**>(text), *size);
  int32_t n = static_cast<int32_t>(g_fake.filesAnswer.size() + 1);
  void* block;
  FakeAlloc(&block, n);
  std::memcpy(block, g_fake.filesAnswer.c_str(), static_cast<size_t>(n));
  *text = static_cast<char*>(block);
  *size = n;
  return OV_TRUE;
}

// Three jobs, slowly, so that two enumerations overlap.
void OVAPI FakeEnumJobs(TOVJobsEnumProc proc) {
  const char* names[] = {"First", "Second", "Third"};
  for (int i = 0; i < 3; ++i) {
    Sleep(5);
    proc(i + 1, names[i], static_cast<uint32_t>(i));
  }
}

void OVAPI FailingAlloc(void** p, int32_t) { *p = nullptr; }

HANDLE OVAPI FakeRunJob(int32_t id, const char* cause) {
  g_fake.runs.emplace_back(id, cause ? cause : "<null>");
  return id == 5 ? reinterpret_cast<HANDLE>(0x1234) : nullptr;
}

void OVAPI FakeStopJob(int32_t id) { g_fake.stops.push_back(id); }
int32_t OVAPI FakeCurrentJob() { return 77; }

// The application window answers the job-name message.
LRESULT CALLBACK AppProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == OVM_JOBNAME) {
    static const char kFive[] = "Job five";
    return reinterpret_cast<LRESULT>(wp == 5 ? kFive : OV_UNKNOWN_JOB_NAME);
  }
  return DefWindowProcA(wnd, msg, wp, lp);
}

HWND AppWindow() {
  static HWND wnd = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = AppProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "FakeHostApp";
    RegisterClassA(&wc);
    return CreateWindowA("FakeHostApp", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  }();
  return wnd;
}

THostRecord FakeRecord() {
  THostRecord r{};
  r.Version = OV_HOST_VERSION;
  r.AppWindow = AppWindow();
  r.SelectFiles = FakeSelectFiles;
  r.Log = FakeLog;
  r.Alloc = FakeAlloc;
  r.Free = FakeFree;
  r.EnumJobs = FakeEnumJobs;
  r.RunJob = FakeRunJob;
  r.ExpandVariables = FakeExpand;
  r.SelectVariable = FakeSelectVariable;
  r.CurrentJob = FakeCurrentJob;
  r.StopJob = FakeStopJob;
  return r;
}

// ------------------------------------------------ the plug-in of this test

std::atomic<bool> g_failConstruction{false};

class TDM : public TOVDataModule {
 public:
  TDM() {
    if (g_failConstruction) throw std::runtime_error("cannot build");
    Plugin->Description = "In-process";
    Plugin->ID = 77;
    AddMethod("Noop", {.Exec = [](TOVMethodParams&) { return true; }});
  }
  void DMCreate() override { g_fake.versionSeenByDMCreate = PluginHost().Version; }
};

class HostServices : public ::testing::Test {
 protected:
  void SetUp() override {
    g_fake = TFakeHost{};
    host_ = FakeRecord();
    record_ = InitOVPlugin(&host_);
    ASSERT_NE(record_, nullptr);
    g_fake.allocs.clear();
  }
  void TearDown() override {
    if (record_ && record_->ShutdownPlugin) record_->ShutdownPlugin();
  }
  THostRecord host_;
  TPluginRecord* record_ = nullptr;
};

}  // namespace

OV_DATA_MODULE(TDM)

// ------------------------------------------------------- initialisation

TEST_F(HostServices, TheHostRecordIsInHandWhileTheDataModuleIsCreated) {
  EXPECT_EQ(g_fake.versionSeenByDMCreate, OV_HOST_VERSION);
  EXPECT_EQ(PluginHost().AppWindow, AppWindow());
  EXPECT_EQ(HostAppWindow(), AppWindow());
  ASSERT_NE(CurrentPlugin(), nullptr);
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  EXPECT_EQ(CurrentPlugin()->ModulePath(), self);
  EXPECT_EQ(CurrentPlugin()->Host().Log, &FakeLog);
  // The host's later changes to its own record do not reach the copy.
  host_.Log = nullptr;
  HostLog(OV_LOG_INFO, "still logged");
  EXPECT_EQ(g_fake.logs.size(), 1u);
}

TEST_F(HostServices, AfterShutdownTheServicesAnswerNothing) {
  record_->ShutdownPlugin();
  record_ = nullptr;
  EXPECT_EQ(CurrentPlugin(), nullptr);
  EXPECT_EQ(DefaultDialogOwner(), nullptr);
  // The entries of a shut-down plug-in refuse quietly.
  THostRecord again = FakeRecord();
  TPluginRecord* r = InitOVPlugin(&again);
  ASSERT_NE(r, nullptr);
  r->ShutdownPlugin();
}

TEST(Initialisation, AFailingDataModuleGivesNoRecordAndALaterAttemptWorks) {
  THostRecord host = FakeRecord();
  EXPECT_EQ(InitOVPlugin(nullptr), nullptr);
  g_failConstruction = true;
  EXPECT_EQ(InitOVPlugin(&host), nullptr);
  EXPECT_EQ(CurrentPlugin(), nullptr);
  g_failConstruction = false;
  TPluginRecord* r = InitOVPlugin(&host);
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->ID, 77);
  EXPECT_EQ(DefaultDialogOwner(), AppWindow());
  r->ShutdownPlugin();
}

TEST(Initialisation, WithoutAHostTheServicesAnswerEmptyValues) {
  ASSERT_EQ(CurrentPlugin(), nullptr);
  HostLog(OV_LOG_ERROR, "nowhere");
  EXPECT_EQ(HostExpandVars("%DATE%"), "%DATE%");
  EXPECT_EQ(HostSelectVariable(), "");
  std::vector<std::string> list{"a"};
  EXPECT_FALSE(HostSelectFiles(list));
  EXPECT_EQ(HostCurrentJob(), 0);
  EXPECT_EQ(HostRunJob(1, "x"), nullptr);
  EXPECT_TRUE(HostEnumJobs().empty());
  void* p = &list;
  HostAlloc(p, 10);
  EXPECT_EQ(p, nullptr);
}

// ----------------------------------------------------------- the wrappers

TEST_F(HostServices, LogPassesLevelAndText) {
  HostLog(OV_LOG_ERROR, "bad thing");
  HostLog(OV_LOG_INFO, "");
  ASSERT_EQ(g_fake.logs.size(), 2u);
  EXPECT_EQ(g_fake.logs[0], (std::pair<uint32_t, std::string>{2, "bad thing"}));
  EXPECT_EQ(g_fake.logs[1], (std::pair<uint32_t, std::string>{0, ""}));
}

TEST_F(HostServices, ExpansionOffersTheFullBufferAndSurvivesAFullOne) {
  EXPECT_EQ(HostExpandVars("x%y%"), "<x%y%>");
  EXPECT_EQ(g_fake.expandSize, 655360);
  // A host that fills the capacity and then writes its zero stays inside
  // the buffer.
  std::string full = HostExpandVars("fill");
  EXPECT_EQ(full.size(), 655360u);
  EXPECT_EQ(full.find_first_not_of('e'), std::string::npos);
}

TEST_F(HostServices, SelectVariableGivesTheReferenceOrNothing) {
  EXPECT_EQ(HostSelectVariable(), "%DATE%");
  EXPECT_EQ(g_fake.selectSize, 1024);
  g_fake.chooseVariable = false;
  EXPECT_EQ(HostSelectVariable(), "");
}

TEST_F(HostServices, SelectFilesSendsCommaTextAndTakesTheAnswer) {
  std::vector<std::string> list{"C:\\a.txt", "C:\\My Files\\*.doc", "x,y", "say \"hi\""};
  g_fake.filesAnswer = "D:\\one.txt,\"E:\\two three\\*.*\"";
  EXPECT_TRUE(HostSelectFiles(list));
  const std::string sent = "C:\\a.txt,\"C:\\My Files\\*.doc\",\"x,y\",\"say \"\"hi\"\"\"";
  EXPECT_EQ(g_fake.filesGiven, sent);
  EXPECT_EQ(g_fake.filesSizeGiven, static_cast<int32_t>(sent.size() + 1));
  EXPECT_EQ(list, (std::vector<std::string>{"D:\\one.txt", "E:\\two three\\*.*"}));
  // Our block went to the host, the host's block came back to it.
  ASSERT_EQ(g_fake.allocs.size(), 2u);
  ASSERT_EQ(g_fake.frees.size(), 2u);
  EXPECT_EQ(g_fake.frees[0], g_fake.allocs[0]);
  EXPECT_EQ(g_fake.frees[1], g_fake.allocs[1]);
}

TEST_F(HostServices, SelectFilesWithAnEmptyListPassesNoBlock) {
  std::vector<std::string> list;
  g_fake.filesAnswer = "a b";
  EXPECT_TRUE(HostSelectFiles(list));
  EXPECT_EQ(g_fake.filesGiven, "<null>");
  EXPECT_EQ(g_fake.filesSizeGiven, 0);
  EXPECT_EQ(list, (std::vector<std::string>{"a", "b"}));
}

TEST_F(HostServices, ACancelledSelectFilesKeepsTheListAndFreesTheBlock) {
  std::vector<std::string> list{"one", "two"};
  g_fake.filesConfirm = false;
  EXPECT_FALSE(HostSelectFiles(list));
  EXPECT_EQ(list, (std::vector<std::string>{"one", "two"}));
  ASSERT_EQ(g_fake.allocs.size(), 1u);
  ASSERT_EQ(g_fake.frees.size(), 1u);
  EXPECT_EQ(g_fake.frees[0], g_fake.allocs[0]);
}

TEST_F(HostServices, JobServicesPassTheirArguments) {
  EXPECT_EQ(HostRunJob(5, "Alarm clock"), reinterpret_cast<HANDLE>(0x1234));
  EXPECT_EQ(HostRunJob(6, ""), nullptr);
  HostStopJob(9);
  EXPECT_EQ(HostCurrentJob(), 77);
  EXPECT_EQ(g_fake.runs, (std::vector<std::pair<int32_t, std::string>>{{5, "Alarm clock"}, {6, ""}}));
  EXPECT_EQ(g_fake.stops, std::vector<int32_t>{9});
  EXPECT_EQ(HostJobName(5), "Job five");
  EXPECT_EQ(HostJobName(6), OV_UNKNOWN_JOB_NAME);
}

TEST_F(HostServices, TwoThreadsEnumerateJobsAtOnceWithoutMixingThem) {
  std::vector<std::vector<TJobEntry>> results(4);
  std::vector<std::thread> threads;
  for (auto& r : results)
    threads.emplace_back([&r] {
      for (int i = 0; i < 5 && r.empty(); ++i) r = HostEnumJobs();
    });
  for (auto& t : threads) t.join();
  for (const auto& r : results) {
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].ID, 1);
    EXPECT_EQ(r[1].Name, "Second");
    EXPECT_EQ(r[2].State, 2);
  }
}

TEST_F(HostServices, AllocAndFreeGoToTheHost) {
  void* p = nullptr;
  HostAlloc(p, 12);
  ASSERT_NE(p, nullptr);
  HostFree(p, 12);
  ASSERT_EQ(g_fake.allocs.size(), 1u);
  EXPECT_EQ(g_fake.frees, g_fake.allocs);
}

// ---------------------------------------------------------- block writer

TEST_F(HostServices, StoringABlockReplacesTheOldOneThroughTheHost) {
  TOVMethodParams p{0, nullptr};
  EXPECT_TRUE(TBlockWriter().String("first").StoreTo(p));
  ASSERT_EQ(p.Size, 10);
  void* first = p.Data;
  EXPECT_TRUE(g_fake.frees.empty());
  EXPECT_TRUE(TBlockWriter().Dword(1).StoreTo(p));
  EXPECT_EQ(p.Size, 4);
  ASSERT_EQ(g_fake.frees.size(), 1u);
  EXPECT_EQ(g_fake.frees[0], (std::pair<void*, int32_t>{first, 10}));
  ASSERT_EQ(g_fake.allocs.size(), 2u);
  EXPECT_EQ(g_fake.allocs[1], (std::pair<void*, int32_t>{p.Data, 4}));
  // An empty writer leaves a never-configured record behind.
  EXPECT_TRUE(TBlockWriter().StoreTo(p));
  EXPECT_EQ(p.Size, 0);
  EXPECT_EQ(p.Data, nullptr);
}

TEST_F(HostServices, AFailedAllocationLeavesTheOldBlock) {
  TOVRunnerParams p{3, 0, nullptr};
  ASSERT_TRUE(TBlockWriter().Byte(1).StoreTo(p));
  void* old = p.Data;
  // A host whose allocator fails: the plug-in keeps a copy of the record,
  // so a new plug-in is needed to see it.
  record_->ShutdownPlugin();
  THostRecord broken = FakeRecord();
  broken.Alloc = FailingAlloc;
  record_ = InitOVPlugin(&broken);
  ASSERT_NE(record_, nullptr);
  EXPECT_FALSE(TBlockWriter().String("new").StoreTo(p));
  EXPECT_EQ(p.Data, old);
  EXPECT_EQ(p.Size, 1);
  EXPECT_EQ(p.JobID, 3);
  FakeFree(&p.Data, p.Size);
}

// ------------------------------------------------------------- comma text

TEST(CommaText, SplitsByCommasAndBlanksWithQuotedEntries) {
  EXPECT_EQ(SplitCommaText("a b,c"), (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(SplitCommaText("a,,b"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(SplitCommaText("  a ,  b  "), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(SplitCommaText("\"C:\\My Files\\x\",\"say \"\"hi\"\"\""),
            (std::vector<std::string>{"C:\\My Files\\x", "say \"hi\""}));
  EXPECT_EQ(SplitCommaText("\"\""), std::vector<std::string>{""});
  EXPECT_EQ(SplitCommaText("\"open"), std::vector<std::string>{"open"});
  EXPECT_EQ(SplitCommaText("\"ab\"cd"), (std::vector<std::string>{"ab", "cd"}));
  EXPECT_TRUE(SplitCommaText("").empty());
  EXPECT_TRUE(SplitCommaText(" \t\r\n").empty());
}

TEST(CommaText, JoinedListsSplitBackUnchanged) {
  std::vector<std::vector<std::string>> lists = {
      {},
      {""},
      {"a", "", "b"},
      {"a", ""},
      {"plain", "with blank", "with,comma", "with\"quote", "tab\there", "\"", ",", " "},
      {"C:\\Data\\*.txt", "%TempDir%*.tmp"},
  };
  for (const auto& list : lists) EXPECT_EQ(SplitCommaText(JoinCommaText(list)), list) << JoinCommaText(list);
  EXPECT_EQ(JoinCommaText({"a", "b c"}), "a,\"b c\"");
  EXPECT_EQ(JoinCommaText({""}), "\"\"");
}
