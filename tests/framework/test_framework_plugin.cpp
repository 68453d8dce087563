// A plug-in built on the framework, loaded by the host's real loader and
// called through the host's guarded wrappers, on the main thread and from
// two job runs at once.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "DialogDriver.h"
#include "Host.h"
#include "HostTest.h"
#include "OVClassesJob.h"
#include "OVClassesJobs.h"
#include "OVClassesLog.h"
#include "OVClassesPlugins.h"
#include "OVError.h"
#include "TestUtil.h"

using testutil::CopyTestPlugin;
using Bytes = std::vector<uint8_t>;

namespace {

// Method and runner indexes of tp_framework.
enum { mEcho, mNoCases, mBare, mThrower, mFaulter, mLong, mSilent, mOverlap, mDialog, mServices, mFailing };
enum { rRecorder, rNoCases, rFaulty };

// The host's allocator, counted: the plug-in copies the host record when it
// is loaded, so the fixture puts these in before loading.
struct TAllocCall {
  void* p;
  int32_t size;
};
std::vector<TAllocCall> g_allocs, g_frees;
TOVAllocProc g_realAlloc;
TOVFreeProc g_realFree;

void OVAPI CountingAlloc(void** p, int32_t size) {
  g_realAlloc(p, size);
  g_allocs.push_back({*p, size});
}

void OVAPI CountingFree(void** p, int32_t size) {
  g_frees.push_back({*p, size});
  g_realFree(p, size);
}

Bool32 OVAPI PickVariable(char* dest, int32_t size) {
  lstrcpynA(dest, "%TempDir%", size);
  return OV_TRUE;
}

// A block from the host's allocator holding the given bytes.
TOVMethodParams Block(const Bytes& bytes) {
  TOVMethodParams p{static_cast<int32_t>(bytes.size()), nullptr};
  HostRecord.Alloc(&p.Data, p.Size);
  std::memcpy(p.Data, bytes.data(), bytes.size());
  return p;
}

Bytes BytesOf(const void* data, int32_t size) {
  auto* b = static_cast<const uint8_t*>(data);
  return Bytes(b, b + size);
}

// Little helpers to spell blocks out byte by byte.
Bytes Dw(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }
Bytes Str(const std::string& s) {
  Bytes b = Dw(static_cast<uint32_t>(s.size() + 1));
  b.insert(b.end(), s.begin(), s.end());
  b.push_back(0);
  return b;
}
Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

bool AnyContains(const std::vector<std::string>& lines, const std::string& part) {
  for (const auto& l : lines)
    if (l.find(part) != std::string::npos) return true;
  return false;
}

class FrameworkPlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearMainLog();
    saved_ = HostRecord;
    g_realAlloc = HostRecord.Alloc;
    g_realFree = HostRecord.Free;
    HostRecord.Alloc = CountingAlloc;
    HostRecord.Free = CountingFree;
    HostRecord.SelectVariable = PickVariable;
    g_allocs.clear();
    g_frees.clear();
    dir_ = testutil::MakeTempDir("fwplugin");
    plugins_ = dir_ + "Plugins\\";
    CreateDirectoryA(plugins_.c_str(), nullptr);
    CopyTestPlugin("tp_framework", plugins_ + "fw");
    list_ = std::make_unique<TOVPlugins>();
    list_->LoadFromDir(plugins_);
    p_ = list_->Items(0);
    ASSERT_NE(p_, nullptr);
    ClearMainLog();
  }
  void TearDown() override {
    list_.reset();
    HostRecord = saved_;
    testutil::RemoveTree(dir_);
  }
  std::string PluginPath() const { return plugins_ + "fw\\tp_framework.ovp"; }

  THostRecord saved_;
  std::string dir_, plugins_;
  std::unique_ptr<TOVPlugins> list_;
  TOVPlugin* p_ = nullptr;
};

// The record straight from the export, without the host's wrappers: a copy
// of the library under another name is a module of its own.
class RawRecord {
 public:
  explicit RawRecord(const std::string& plugin) {
    dir_ = testutil::MakeTempDir("fwraw");
    CopyTestPlugin(plugin, dir_, "raw.ovp");
    module_ = LoadLibraryA((dir_ + "raw.ovp").c_str());
    if (!module_) return;
    init_ = reinterpret_cast<TInitOVPlugin>(reinterpret_cast<void*>(GetProcAddress(module_, "InitOVPlugin")));
    if (init_) record_ = init_(&HostRecord);
  }
  ~RawRecord() {
    if (record_ && record_->ShutdownPlugin) record_->ShutdownPlugin();
    if (module_) FreeLibrary(module_);
    testutil::RemoveTree(dir_);
  }
  TPluginRecord* Init() { return init_(&HostRecord); }
  TPluginRecord* record_ = nullptr;

 private:
  std::string dir_;
  HMODULE module_ = nullptr;
  TInitOVPlugin init_ = nullptr;
};

}  // namespace

// ------------------------------------------------------------------ record

TEST_F(FrameworkPlugin, TheHostSeesTheDeclaredPlugin) {
  EXPECT_EQ(p_->ID(), 4242);
  EXPECT_EQ(p_->Description(), "Framework test");
  EXPECT_NE(p_->Icon(), nullptr);
  ASSERT_EQ(p_->MethodCount(), 11);
  const char* methods[] = {"Echo", "No cases", "Bare", "Thrower", "Faulter", "Long",
                           "Silent", "Overlap", "Dialog", "Services", "Failing"};
  for (int i = 0; i < 11; ++i) EXPECT_EQ(p_->MethodName(i), methods[i]);
  EXPECT_NE(p_->MethodIcon(mEcho), nullptr);
  EXPECT_EQ(p_->MethodIcon(mNoCases), nullptr);
  ASSERT_EQ(p_->RunnerCount(), 3);
  EXPECT_EQ(p_->RunnerName(rRecorder), "Recorder");
  EXPECT_EQ(p_->RunnerName(rNoCases), "No cases");
  EXPECT_EQ(p_->RunnerName(rFaulty), "Faulty");
}

TEST_F(FrameworkPlugin, TheRecordHasEntriesOnlyForAssignedPluginHandlers) {
  RawRecord raw("tp_framework");
  TPluginRecord* r = raw.record_;
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->ID, 4242);
  EXPECT_STREQ(r->Description, "Framework test");
  EXPECT_EQ(r->PluginConfig, nullptr);
  EXPECT_NE(r->About, nullptr);
  EXPECT_NE(r->ShutdownPlugin, nullptr);
  EXPECT_EQ(r->HasMethods, OV_TRUE);
  ASSERT_NE(r->Methods, nullptr);
  EXPECT_EQ(r->Methods->Count, 11);
  EXPECT_NE(r->Methods->MethodDescr, nullptr);
  EXPECT_EQ(r->HasRunners, OV_TRUE);
  ASSERT_NE(r->Runners, nullptr);
  EXPECT_EQ(r->Runners->Count, 3);
  // Item infos are one array, in index order, living with the record.
  TItemInfo* first = r->Methods->GetMethodInfo(0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(r->Methods->GetMethodInfo(10), first + 10);
  EXPECT_STREQ(first[10].Name, "Failing");
  EXPECT_EQ(r->Methods->GetMethodInfo(11), nullptr);
  EXPECT_EQ(r->Methods->GetMethodInfo(-1), nullptr);
  EXPECT_STREQ(r->Runners->GetRunnerInfo(2)->Name, "Faulty");
  EXPECT_EQ(r->Runners->GetRunnerInfo(3), nullptr);
  // A second initialisation hands back the same record.
  EXPECT_EQ(raw.Init(), r);
}

TEST_F(FrameworkPlugin, APluginWithoutItemsHasNoTables) {
  RawRecord raw("tp_fwempty");
  TPluginRecord* r = raw.record_;
  ASSERT_NE(r, nullptr);
  EXPECT_EQ(r->ID, 4243);
  EXPECT_EQ(r->HasMethods, OV_FALSE);
  EXPECT_EQ(r->Methods, nullptr);
  EXPECT_EQ(r->HasRunners, OV_FALSE);
  EXPECT_EQ(r->Runners, nullptr);
  EXPECT_EQ(r->About, nullptr);
  EXPECT_EQ(r->Icon, nullptr);
}

// ---------------------------------------------------------------- dispatch

TEST_F(FrameworkPlugin, EachIndexReachesItsOwnHandler) {
  TOVMethodParams echo = Block(Cat({Dw(2), Str("hello"), {1}}));
  EXPECT_TRUE(p_->ExecMethod(mEcho, &echo));
  EXPECT_EQ(MainLogTexts(), std::vector<std::string>{"echo HELLO x2"});
  EXPECT_EQ(p_->MethodDescription(mEcho, &echo), "Echo hello x2");
  HostRecord.Free(&echo.Data, echo.Size);

  ClearMainLog();
  TOVRunnerParams rp{7, 0, nullptr};
  EXPECT_TRUE(p_->StartRunner(rRecorder, &rp));
  p_->StopRunner(rRecorder, &rp);
  EXPECT_EQ(MainLogTexts(), (std::vector<std::string>{"start 7", "stop 7"}));
  EXPECT_EQ(p_->RunnerDescription(rRecorder, &rp), "Recorder for job 7");

  ClearMainLog();
  TOVMethodParams none{0, nullptr};
  EXPECT_FALSE(p_->ExecMethod(mFailing, &none));
  EXPECT_EQ(MainLogTexts(), std::vector<std::string>{"failing"});
}

TEST_F(FrameworkPlugin, ConfigurationWritesTheBlockThroughTheHostAllocator) {
  TOVMethodParams params = Block(Cat({Dw(9), Str("old")}));
  void* old = params.Data;
  g_allocs.clear();
  EXPECT_TRUE(p_->ConfigMethod(mEcho, &params));
  Bytes expected = Cat({Dw(3), Str("configured"), {1}, {0x00, 0x00, 0x00, 0x00, 0x10, 0xF9, 0xE5, 0x40}});
  ASSERT_EQ(params.Size, static_cast<int32_t>(expected.size()));
  EXPECT_EQ(BytesOf(params.Data, params.Size), expected);
  ASSERT_EQ(g_allocs.size(), 1u);
  EXPECT_EQ(g_allocs[0].p, params.Data);
  EXPECT_EQ(g_allocs[0].size, params.Size);
  ASSERT_EQ(g_frees.size(), 1u);
  EXPECT_EQ(g_frees[0].p, old);
  EXPECT_EQ(g_frees[0].size, 12);

  // The written block reads back, optional tail included.
  ClearMainLog();
  EXPECT_TRUE(p_->ExecMethod(mEcho, &params));
  EXPECT_EQ(MainLogTexts(), (std::vector<std::string>{"echo CONFIGURED x3", "echo when 45000.500"}));
  HostRecord.Free(&params.Data, params.Size);

  TOVRunnerParams rp{21, 0, nullptr};
  g_frees.clear();
  EXPECT_TRUE(p_->ConfigRunner(rRecorder, &rp));
  EXPECT_EQ(BytesOf(rp.Data, rp.Size), Dw(42));
  EXPECT_TRUE(g_frees.empty());  // there was no old block
  HostRecord.Free(&rp.Data, rp.Size);
}

TEST_F(FrameworkPlugin, ANeverConfiguredStepRunsWithDefaultsAndATruncatedOneFails) {
  TOVMethodParams none{0, nullptr};
  EXPECT_TRUE(p_->ExecMethod(mEcho, &none));
  EXPECT_EQ(p_->MethodDescription(mEcho, &none), "Echo");
  // An older, shorter layout: the text is cut off.
  TOVMethodParams cut = Block(Cat({Dw(2), Dw(6), {'a', 'b'}}));
  EXPECT_FALSE(p_->ExecMethod(mEcho, &cut));
  EXPECT_EQ(p_->MethodDescription(mEcho, &cut), "Echo");
  EXPECT_EQ(MainLogTexts(), (std::vector<std::string>{"echo defaults", "Echo: settings are incomplete"}));
  HostRecord.Free(&cut.Data, cut.Size);
}

TEST_F(FrameworkPlugin, UnassignedHandlersAnswerZeroAndLeaveTheRecordAlone) {
  Bytes bytes = Cat({Dw(1), Str("keep")});
  TOVMethodParams params = Block(bytes);
  TOVMethodParams before = params;
  for (int index : {mNoCases, mBare}) {
    EXPECT_FALSE(p_->ExecMethod(index, &params)) << index;
    EXPECT_FALSE(p_->ConfigMethod(index, &params)) << index;
    EXPECT_EQ(p_->MethodDescription(index, &params), p_->MethodName(index));
    EXPECT_EQ(params.Size, before.Size);
    EXPECT_EQ(params.Data, before.Data);
    EXPECT_EQ(BytesOf(params.Data, params.Size), bytes);
  }
  // Handlers that exist for one kind only.
  EXPECT_FALSE(p_->ExecMethod(mDialog, &params));
  EXPECT_FALSE(p_->ConfigMethod(mOverlap, &params));
  EXPECT_EQ(p_->MethodDescription(mOverlap, &params), "Overlap");
  EXPECT_EQ(params.Data, before.Data);

  TOVRunnerParams rp{3, params.Size, params.Data};
  EXPECT_FALSE(p_->ConfigRunner(rNoCases, &rp));
  EXPECT_FALSE(p_->StartRunner(rNoCases, &rp));
  p_->StopRunner(rNoCases, &rp);
  EXPECT_EQ(p_->RunnerDescription(rNoCases, &rp), "No cases");
  EXPECT_EQ(rp.JobID, 3);
  EXPECT_EQ(rp.Data, before.Data);
  EXPECT_EQ(BytesOf(rp.Data, rp.Size), bytes);
  EXPECT_TRUE(g_allocs.size() == 1 && g_frees.empty());  // only Block's own
  EXPECT_TRUE(MainLogTexts().empty());
  HostRecord.Free(&params.Data, params.Size);
}

TEST_F(FrameworkPlugin, DescriptionsAreTheNameUnlessReplacedAndAreCutTo1023) {
  TOVMethodParams none{0, nullptr};
  EXPECT_EQ(p_->MethodDescription(mSilent, &none), "Silent");
  EXPECT_EQ(p_->MethodDescription(mLong, &none), std::string(1023, 'x'));

  // The framework itself stays inside the host's 1024 bytes.
  RawRecord raw("tp_framework");
  ASSERT_NE(raw.record_, nullptr);
  std::vector<char> buffer(4096, '\xCC');
  char* descr = buffer.data() + 1024;
  raw.record_->Methods->MethodDescr(mLong, &none, descr);
  EXPECT_EQ(std::strlen(descr), 1023u);
  for (size_t i = 0; i < buffer.size(); ++i) {
    if (i >= 1024 && i < 2048) continue;
    ASSERT_EQ(buffer[i], '\xCC') << "byte " << i << " written";
  }
}

// --------------------------------------------------------------- failures

TEST_F(FrameworkPlugin, HandlersThatThrowOrFaultAnswerFalseAndTheHostSeesNoError) {
  TOVMethodParams none{0, nullptr};
  for (int round = 0; round < 50; ++round) {
    for (int index : {mThrower, mFaulter}) {
      EXPECT_NO_THROW(EXPECT_FALSE(p_->ExecMethod(index, &none)));
      EXPECT_NO_THROW(EXPECT_FALSE(p_->ConfigMethod(index, &none)));
      EXPECT_EQ(p_->MethodDescription(index, &none), p_->MethodName(index));
    }
    TOVRunnerParams rp{1, 0, nullptr};
    EXPECT_NO_THROW(EXPECT_FALSE(p_->ConfigRunner(rFaulty, &rp)));
    EXPECT_NO_THROW(EXPECT_FALSE(p_->StartRunner(rFaulty, &rp)));
    EXPECT_NO_THROW(p_->StopRunner(rFaulty, &rp));
    EXPECT_EQ(p_->RunnerDescription(rFaulty, &rp), "Faulty");
    if (HasFailure()) break;
  }
  EXPECT_TRUE(p_->ExecMethod(mEcho, &none));  // and the plug-in still works

  auto log = MainLogTexts();
  EXPECT_FALSE(AnyContains(log, "Failed execute"));
  EXPECT_TRUE(Contains(log, "Error in \"Thrower\": thrown by exec"));
  EXPECT_TRUE(Contains(log, "Error in \"Thrower\": Unexpected error"));  // throw 42
  EXPECT_TRUE(Contains(log, "Error in \"Faulter\": Access violation (C0000005)"));
  EXPECT_TRUE(Contains(log, "Error in \"Faulter\": Division by zero (C0000094)"));
  EXPECT_TRUE(Contains(log, "Error in \"Faulty\": Access violation (C0000005)"));
  EXPECT_TRUE(Contains(log, "Error in \"Faulty\": thrown by stop"));
  EXPECT_EQ(log.back(), "echo defaults");
}

// ---------------------------------------------------- plug-in-wide entries

TEST_F(FrameworkPlugin, AboutAndShutdownReachTheDataModule) {
  p_->About();
  list_->ShutdownAll();
  EXPECT_EQ(MainLogTexts(), (std::vector<std::string>{"about Framework test", "shutdown Framework test"}));
}

// ------------------------------------------------------------ host services

TEST_F(FrameworkPlugin, ServicesOutsideAJobAnswerForNoJob) {
  TOVMethodParams none{0, nullptr};
  EXPECT_TRUE(p_->ExecMethod(mServices, &none));
  EXPECT_EQ(MainLogTexts(), (std::vector<std::string>{"created 1", "current 0", "name !!! Unknown Job !!!",
                                                     "unknown !!! Unknown Job !!!", "expanded a%b%c",
                                                     "run unknown none", "jobs "}));
}

TEST_F(FrameworkPlugin, TwoJobsRunStepsOfThePluginAtTheSameTime) {
  Plugins = list_.get();
  Jobs = new TOVJobs();
  const int32_t ids[2] = {111, 222};
  const int steps = 40;
  for (int j = 0; j < 2; ++j) {
    auto* job = new TOVJob(Jobs);
    job->SetID(ids[j]);
    job->SetName(j == 0 ? "Job A" : "Job B");
    job->SetToLog(true);
    for (int i = 0; i < steps; ++i) {
      TOVJobStep* s = job->AddStep();
      s->SetEnabled(OV_TRUE);
      s->SetPluginID(4242);
      s->SetMethodIndex(mOverlap);
      s->SetName("overlap");
      int32_t number = ids[j] * 1000 + i;
      TOVMethodParams b = Block(Cat({Dw(number), Str(std::to_string(number)), {uint8_t(i == 0)}, Dw(0)}));
      s->SetParams(b.Size, b.Data);
    }
    TOVJobStep* s = job->AddStep();
    s->SetEnabled(OV_TRUE);
    s->SetPluginID(4242);
    s->SetMethodIndex(mServices);
    s->SetName("services");
    job->Log()->AutoSave = false;
    Jobs->Add(job);
  }
  EXPECT_NE(HostRecord.RunJob(ids[0], "test"), nullptr);
  EXPECT_NE(HostRecord.RunJob(ids[1], "test"), nullptr);
  EXPECT_TRUE(testutil::WaitFor([] { return !Jobs->AnyRunning(); }, 30000));

  for (int j = 0; j < 2; ++j) {
    TOVJob* job = Jobs->Items(j);
    std::vector<std::string> log;
    for (int i = 0; i < job->Log()->Count(); ++i) log.push_back(testutil::LogText(job->Log()->Strings(i)));
    EXPECT_TRUE(Contains(log, "Job executed successfully")) << job->Name();
    for (int i = 0; i < steps; ++i)
      EXPECT_TRUE(Contains(log, "overlap " + std::to_string(ids[j] * 1000 + i) + " in job " +
                                    std::to_string(ids[j])))
          << job->Name() << " step " << i;
    EXPECT_TRUE(Contains(log, "current " + std::to_string(ids[j])));
    EXPECT_TRUE(Contains(log, "name " + job->Name()));
    EXPECT_TRUE(AnyContains(log, "jobs [Job A ")) << job->Name();
    EXPECT_TRUE(AnyContains(log, "[Job B ")) << job->Name();
    // The first step of each job waited for the other job's step: both
    // were inside the plug-in at once.
    const TOVMethodParams& first = job->Steps(0)->Params();
    Bytes b = BytesOf(first.Data, first.Size);
    EXPECT_EQ(b[b.size() - 4], 2) << job->Name();
  }
  delete Jobs;
  Jobs = nullptr;
  Plugins = nullptr;
}

// ---------------------------------------------------------------- dialogs

TEST_F(FrameworkPlugin, TheConfigurationDialogOfTheLibraryIsDrivenByTheTest) {
  TOVMethodParams params = Block(Str("old text"));
  void* old = params.Data;
  std::string shown;
  {
    testutil::TDialogScript script([&](HWND dlg) {
      shown = testutil::GetText(dlg, 201);
      testutil::SetText(dlg, 201, "hello");
      testutil::FocusItem(dlg, 201);
      SendDlgItemMessageA(dlg, 201, EM_SETSEL, 3, 3);
      testutil::Click(dlg, 202);  // "%V%"
      testutil::Click(dlg, IDOK);
    });
    EXPECT_TRUE(p_->ConfigMethod(mDialog, &params));
    EXPECT_EQ(script.Caption(), "Framework test settings");
  }
  EXPECT_EQ(shown, "old text");
  EXPECT_EQ(BytesOf(params.Data, params.Size), Str("hel%TempDir%lo"));
  ASSERT_EQ(g_frees.size(), 1u);
  EXPECT_EQ(g_frees[0].p, old);

  // Cancel: false, and the block stays as it was.
  TOVMethodParams before = params;
  g_frees.clear();
  {
    testutil::TDialogScript script([&](HWND dlg) {
      testutil::SetText(dlg, 201, "changed");
      testutil::Click(dlg, IDCANCEL);
    });
    EXPECT_FALSE(p_->ConfigMethod(mDialog, &params));
  }
  EXPECT_EQ(params.Data, before.Data);
  EXPECT_EQ(BytesOf(params.Data, params.Size), Str("hel%TempDir%lo"));
  EXPECT_TRUE(g_frees.empty());
  HostRecord.Free(&params.Data, params.Size);
}
