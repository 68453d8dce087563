// Jobs in memory: the modified mark, the state the lists show, the job's ID
// in its events, index checks, arming through SetActive, and parameter
// blocks going back to the host allocator.
#include <gtest/gtest.h>

#include <functional>

#include "HostTest.h"
#include "JobTest.h"
#include "OVClassesPlugins.h"
#include "OVError.h"
#include "TestUtil.h"
#include "uSettings.h"

using jobbytes::Hex;
using namespace jobtest;

namespace {

// A job as it is after loading: nothing modified yet.
std::unique_ptr<TOVJob> LoadedJob() {
  auto job = NewJob();
  Load(*job, jobbytes::RichJob());
  return job;
}

std::string ErrorOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const EOVError& e) {
    return e.what();
  }
  return "";
}

struct Setter {
  const char* name;
  std::function<void(TOVJob&)> same;     // sets the value the job already has
  std::function<void(TOVJob&)> changed;  // sets another value
};
// Failures name the case instead of dumping its bytes.
void PrintTo(const Setter& c, std::ostream* os) { *os << c.name; }


class JobSetters : public ::testing::TestWithParam<Setter> {};

TEST_P(JobSetters, MarkModifiedOnlyWhenTheValueChanges) {
  auto job = LoadedJob();
  Bytes before = Save(*job);  // also clears the mark
  GetParam().same(*job);
  EXPECT_FALSE(job->Modified());
  EXPECT_EQ(Save(*job), before);
  GetParam().changed(*job);
  EXPECT_TRUE(job->Modified());
  EXPECT_NE(Save(*job), before);
}

Setter Job(const char* name, std::function<void(TOVJob&)> same,
           std::function<void(TOVJob&)> changed) {
  return Setter{name, std::move(same), std::move(changed)};
}

INSTANTIATE_TEST_SUITE_P(
    Job, JobSetters,
    ::testing::Values(
        Job("Name", [](TOVJob& j) { j.SetName("Backup"); }, [](TOVJob& j) { j.SetName("B"); }),
        Job("NameCutAtItsLimit", [](TOVJob& j) { j.SetName(std::string("Backup\0x", 8)); },
            [](TOVJob& j) { j.SetName("Backup2"); }),
        // Active compares truth: another true value is no change.
        Job("Active", [](TOVJob& j) { j.SetActive(1); }, [](TOVJob& j) { j.SetActive(0); }),
        Job("ID", [](TOVJob& j) { j.SetID(0x01020304); }, [](TOVJob& j) { j.SetID(5); }),
        Job("ActionAfterRun", [](TOVJob& j) { j.SetActionAfterRun(1); },
            [](TOVJob& j) { j.SetActionAfterRun(2); }),
        Job("ToLog", [](TOVJob& j) { j.SetToLog(true); }, [](TOVJob& j) { j.SetToLog(false); }),
        Job("RunOnStart", [](TOVJob& j) { j.SetRunOnStart(true); },
            [](TOVJob& j) { j.SetRunOnStart(false); }),
        Job("RunOnExit", [](TOVJob& j) { j.SetRunOnExit(false); },
            [](TOVJob& j) { j.SetRunOnExit(true); }),
        Job("Hidden", [](TOVJob& j) { j.SetHidden(true); }, [](TOVJob& j) { j.SetHidden(false); }),
        Job("Category", [](TOVJob& j) { j.SetCategory(7); }, [](TOVJob& j) { j.SetCategory(8); }),
        Job("Priority", [](TOVJob& j) { j.SetPriority(5); }, [](TOVJob& j) { j.SetPriority(6); }),
        Job("StepEnabled", [](TOVJob& j) { j.Steps(0)->SetEnabled(OV_TRUE); },
            [](TOVJob& j) { j.Steps(0)->SetEnabled(OV_FALSE); }),
        Job("StepPlugin", [](TOVJob& j) { j.Steps(0)->SetPluginID(9680); },
            [](TOVJob& j) { j.Steps(0)->SetPluginID(9681); }),
        Job("StepMethod", [](TOVJob& j) { j.Steps(0)->SetMethodIndex(3); },
            [](TOVJob& j) { j.Steps(0)->SetMethodIndex(4); }),
        Job("StepName", [](TOVJob& j) { j.Steps(0)->SetName("Copy"); },
            [](TOVJob& j) { j.Steps(0)->SetName("Move"); }),
        Job("EventEnabled", [](TOVJob& j) { j.Events(1)->SetEnabled(OV_FALSE); },
            [](TOVJob& j) { j.Events(1)->SetEnabled(OV_TRUE); }),
        Job("EventPlugin", [](TOVJob& j) { j.Events(1)->SetPluginID(9680); },
            [](TOVJob& j) { j.Events(1)->SetPluginID(140377010); }),
        Job("EventRunner", [](TOVJob& j) { j.Events(1)->SetRunnerIndex(1); },
            [](TOVJob& j) { j.Events(1)->SetRunnerIndex(0); })),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Job, NewJobIsModifiedWithItsDefaults) {
  auto job = NewJob();
  EXPECT_TRUE(job->Modified());
  EXPECT_EQ(job->Active(), 0);
  EXPECT_FALSE(job->ToLog());
  EXPECT_EQ(job->Priority(), 3);
  EXPECT_EQ(job->Category(), 0);
  EXPECT_EQ(job->CurrentStep(), -1);
  EXPECT_EQ(job->State(), jsManual);
  TOVJobStep* step = job->AddStep();
  EXPECT_FALSE(step->Enabled());
  EXPECT_EQ(step->MethodIndex(), -1);
  EXPECT_EQ(step->PluginID(), 0);
  TOVJobRun* event = job->AddEvent();
  EXPECT_FALSE(event->Enabled());
  EXPECT_EQ(event->RunnerIndex(), -1);
  EXPECT_EQ(event->Params()->JobID, job->ID());
}

TEST(Job, AdoptingParametersAlwaysMarksModified) {
  AllocWatch blocks;
  auto job = LoadedJob();
  TOVJobStep* step = job->Steps(1);
  step->SetParams(0, nullptr);  // the same (empty) record again
  EXPECT_TRUE(job->Modified());
  Save(*job);
  job->Events(1)->SetParams(0, nullptr);
  EXPECT_TRUE(job->Modified());
}

TEST(Job, StructureChangesMarkModified) {
  const std::function<void(TOVJob&)> changes[] = {
      [](TOVJob& j) { j.AddStep(); },           [](TOVJob& j) { j.AddEvent(); },
      [](TOVJob& j) { j.DeleteStep(1); },       [](TOVJob& j) { j.DeleteEvent(0); },
      [](TOVJob& j) { j.ExchangeSteps(0, 1); }, [](TOVJob& j) { j.MoveStep(1, 0); },
      [](TOVJob& j) { j.ClearSteps(); },        [](TOVJob& j) { j.ClearEvents(); }};
  for (const auto& change : changes) {
    auto job = LoadedJob();
    change(*job);
    EXPECT_TRUE(job->Modified());
  }
}

TEST(Job, IdReachesEveryEvent) {
  auto job = LoadedJob();
  job->SetID(77);
  EXPECT_EQ(job->Events(0)->Params()->JobID, 77);
  EXPECT_EQ(job->Events(1)->Params()->JobID, 77);
  EXPECT_EQ(job->AddEvent()->Params()->JobID, 77);
  EXPECT_EQ(job->FileName(), "0000004D.ovj");
  // New parameters carry the job's ID whatever record they came from.
  job->Events(0)->SetJobID(5);
  job->Events(0)->SetParams(0, nullptr);
  EXPECT_EQ(job->Events(0)->Params()->JobID, 77);
}

TEST(Job, IndexOutsideTheListsIsRefusedAndChangesNothing) {
  auto job = LoadedJob();
  Bytes before = Save(*job);
  EXPECT_EQ(ErrorOf([&] { job->Steps(2); }), "Index out of bounds /2/");
  EXPECT_EQ(ErrorOf([&] { job->Steps(-1); }), "Index out of bounds /-1/");
  EXPECT_EQ(ErrorOf([&] { job->Events(5); }), "Index out of bounds /5/");
  EXPECT_EQ(ErrorOf([&] { job->DeleteStep(2); }), "Index out of bounds /2/");
  EXPECT_EQ(ErrorOf([&] { job->DeleteEvent(-3); }), "Index out of bounds /-3/");
  EXPECT_EQ(ErrorOf([&] { job->ExchangeSteps(0, 9); }), "Index out of bounds /9/");
  EXPECT_EQ(ErrorOf([&] { job->MoveStep(4, 0); }), "Index out of bounds /4/");
  EXPECT_EQ(ErrorOf([&] { job->MoveStep(0, 2); }), "Index out of bounds /2/");
  EXPECT_FALSE(job->Modified());
  EXPECT_EQ(Save(*job), before);
}

TEST(Job, StepsReorder) {
  auto job = NewJob();
  for (const char* n : {"a", "b", "c", "d"}) job->AddStep()->SetName(n);
  auto names = [&] {
    std::string s;
    for (int i = 0; i < job->StepCount(); ++i) s += job->Steps(i)->Name();
    return s;
  };
  job->ExchangeSteps(0, 3);
  EXPECT_EQ(names(), "dbca");
  job->MoveStep(0, 2);
  EXPECT_EQ(names(), "bcda");
  job->MoveStep(3, 0);
  EXPECT_EQ(names(), "abcd");
  job->DeleteStep(1);
  EXPECT_EQ(names(), "acd");
}

// ------------------------------------------------------------------ state

struct StateCase {
  bool editing;
  Bool32 active;
  bool start, exit;
  Bool32 eventEnabled;  // of the job's one event
  uint8_t expected;
};

TEST(JobState, FollowsTheFixedOrderOfItsConditions) {
  const StateCase cases[] = {
      {true, -1, true, true, -1, jsDisabled},   // editing comes first
      {true, 0, false, false, 0, jsDisabled},
      {false, 0, true, true, -1, jsManual},     // inactive: flags and events do not count
      {false, -1, true, false, 0, jsIdle},      // start flag
      {false, -1, false, true, 0, jsIdle},      // exit flag
      {false, -1, false, false, -1, jsIdle},    // an enabled event
      {false, 1, false, false, 1, jsIdle},      // any true value
      {false, -1, false, false, 0, jsManual},   // only disabled events
  };
  bool saved = Settings.EnableAutomation;
  Settings.EnableAutomation = false;  // nothing to arm here
  for (const StateCase& c : cases) {
    auto job = NewJob();
    job->AddEvent()->SetEnabled(c.eventEnabled);
    job->SetActive(c.active);
    job->SetRunOnStart(c.start);
    job->SetRunOnExit(c.exit);
    job->SetEditing(c.editing);
    std::vector<uint8_t> seen;
    job->OnStateChange = [&](TOVJob* sender, uint8_t s) {
      EXPECT_EQ(sender, job.get());
      seen.push_back(s);
    };
    job->UpdateState();
    EXPECT_EQ(job->State(), c.expected);
    EXPECT_EQ(seen, std::vector<uint8_t>{c.expected});
    EXPECT_EQ(job->StateText(), kJobStateTexts[c.expected]);
  }
  Settings.EnableAutomation = saved;
  EXPECT_STREQ(kJobStateTexts[jsManual], "Manual run");
  EXPECT_STREQ(kJobStateTexts[jsIdle], "Idle...");
  EXPECT_STREQ(kJobStateTexts[jsDisabled], "Disabled");
}

TEST(JobState, LoadedJobShowsItsStateAtOnce) {
  // The state a loaded job shows comes from what was loaded, whatever the
  // job showed before.
  auto job = NewJob();
  std::vector<uint8_t> seen;
  job->OnStateChange = [&](TOVJob*, uint8_t s) { seen.push_back(s); };
  Bytes file = jobbytes::Cat({jobbytes::kRichHeader, "00000000 00000000",
                              jobbytes::kRichGroupA});  // active, no events, run on start
  Load(*job, file);
  EXPECT_EQ(job->State(), jsIdle);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), jsIdle);
  Load(*job, Hex(jobbytes::kEmptyJob));
  EXPECT_EQ(job->State(), jsManual);
}

TEST(JobState, ActivatingWithoutAutomationStillUpdatesTheState) {
  bool saved = Settings.EnableAutomation;
  Settings.EnableAutomation = false;
  auto job = NewJob();
  job->AddEvent()->SetEnabled(OV_TRUE);
  job->SetActive(OV_TRUE);
  EXPECT_EQ(job->State(), jsIdle);
  EXPECT_FALSE(job->Events(0)->Started());
  job->SetActive(OV_FALSE);
  EXPECT_EQ(job->State(), jsManual);
  Settings.EnableAutomation = saved;
}

// The real loader and a real test plug-in with a recording trigger and a
// sleeping action.
class JobWithPlugin : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearMainLog();
    dir_ = testutil::MakeTempDir("jobplug");
    CreateDirectoryA((dir_ + "Plugins").c_str(), nullptr);
    testutil::CopyTestPlugin("tp_good", dir_ + "Plugins\\good");
    list_ = std::make_unique<TOVPlugins>();
    list_->LoadFromDir(dir_ + "Plugins\\");
    ASSERT_EQ(list_->Count(), 1);
    Plugins = list_.get();
    automation_ = Settings.EnableAutomation;
    Settings.EnableAutomation = true;
    job_ = NewJob();
    job_->SetID(4242);
  }
  void TearDown() override {
    job_.reset();
    Settings.EnableAutomation = automation_;
    Plugins = nullptr;
    list_.reset();
    testutil::RemoveTree(dir_);
  }
  TOVJobRun* AddRecorder(Bool32 enabled) {
    TOVJobRun* e = job_->AddEvent();
    e->SetPluginID(1001);
    e->SetRunnerIndex(0);
    e->SetEnabled(enabled);
    return e;
  }

  std::string dir_;
  std::unique_ptr<TOVPlugins> list_;
  std::unique_ptr<TOVJob> job_;
  bool automation_ = true;
};

TEST_F(JobWithPlugin, ActivatingArmsEnabledEventsAndDeactivatingDisarmsThem) {
  TOVJobRun* on = AddRecorder(OV_TRUE);
  TOVJobRun* off = AddRecorder(OV_FALSE);
  ClearMainLog();
  job_->SetActive(OV_TRUE);
  EXPECT_TRUE(on->Started());
  EXPECT_FALSE(off->Started());
  EXPECT_EQ(MainLogTexts(), std::vector<std::string>{"runner 0 start 4242"});
  EXPECT_EQ(job_->State(), jsIdle);
  job_->SetActive(1);  // still true: nothing happens
  EXPECT_EQ(MainLogTexts().size(), 1u);
  job_->SetActive(OV_FALSE);
  EXPECT_FALSE(on->Started());
  EXPECT_EQ(MainLogTexts().back(), "runner 0 stop 4242");
  EXPECT_EQ(job_->State(), jsManual);
}

TEST_F(JobWithPlugin, ActivatingWhileEditedArmsNothing) {
  TOVJobRun* on = AddRecorder(OV_TRUE);
  job_->SetEditing(true);
  job_->SetActive(OV_TRUE);
  EXPECT_FALSE(on->Started());
  EXPECT_EQ(job_->State(), jsDisabled);
}

TEST_F(JobWithPlugin, DeletingAnArmedEventDisarmsItFirst) {
  // The trigger holds the address of the event's parameters; it must let
  // go before the event is freed.
  AddRecorder(OV_TRUE);
  job_->SetActive(OV_TRUE);
  ASSERT_TRUE(job_->Events(0)->Started());
  ClearMainLog();
  job_->DeleteEvent(0);
  EXPECT_EQ(MainLogTexts(), std::vector<std::string>{"runner 0 stop 4242"});
  EXPECT_EQ(job_->EventCount(), 0);
}

TEST_F(JobWithPlugin, LoadingDisarmsTheEventsItReplaces) {
  AddRecorder(OV_TRUE);
  job_->SetActive(OV_TRUE);
  ClearMainLog();
  Load(*job_, jobbytes::RichJob());  // its enabled event is a Recorder too
  EXPECT_EQ(MainLogTexts(), std::vector<std::string>{"runner 0 stop 4242"});
  EXPECT_FALSE(job_->Events(0)->Started());
}

TEST_F(JobWithPlugin, StoppingAndEditingOutrankRunning) {
  TOVJobStep* step = job_->AddStep();
  step->SetPluginID(1001);
  step->SetMethodIndex(7);  // sleeps for the milliseconds in its block
  step->SetEnabled(OV_TRUE);
  step->SetName("Wait");
  step->SetParams(4, Block(Hex("F4010000")));  // 500 ms
  std::vector<uint8_t> seen;
  job_->OnStateChange = [&](TOVJob*, uint8_t s) { seen.push_back(s); };
  ASSERT_TRUE(job_->Run());
  ASSERT_TRUE(testutil::WaitFor([&] { return job_->State() == jsRunning; }, 10000));
  EXPECT_EQ(job_->StateText(), "Running (Wait)...");
  job_->Stop();
  EXPECT_EQ(job_->State(), jsStopping);
  EXPECT_EQ(job_->StateText(), "Stopped, waiting for completion step \"Wait\"...");
  job_->SetEditing(true);
  job_->UpdateState();
  EXPECT_EQ(job_->State(), jsDisabled);
  job_->SetEditing(false);
  job_->UpdateState();
  EXPECT_EQ(job_->State(), jsStopping);
  ASSERT_TRUE(testutil::WaitFor([&] { return !job_->Running(); }, 10000));
  EXPECT_EQ(job_->State(), jsManual);
  EXPECT_EQ(seen, (std::vector<uint8_t>{jsRunning, jsStopping, jsDisabled, jsStopping, jsManual}));
}

// -------------------------------------------------------- host allocator

TEST(JobBlocks, GoBackToTheHostAllocator) {
  AllocWatch blocks;
  {
    auto job = LoadedJob();
    EXPECT_EQ(blocks.Live(), 2u);
    // A caller replacing a block frees the old one first, as a plug-in's
    // configuration does: adopting never frees.
    TOVMethodParams old = job->Steps(0)->Params();
    HostRecord.Free(&old.Data, old.Size);
    job->Steps(0)->SetParams(2, Block(Hex("AAAA")));
    EXPECT_EQ(blocks.Live(), 2u);
    job->Steps(0)->SetParams(job->Steps(0)->Params().Size, job->Steps(0)->Params().Data);
    EXPECT_EQ(blocks.Live(), 2u);  // adopting its own block again keeps it
    EXPECT_EQ(BlockBytes(job->Steps(0)->Params().Size, job->Steps(0)->Params().Data),
              Hex("AAAA"));
    job->DeleteStep(0);
    EXPECT_EQ(blocks.Live(), 1u);
    job->AddStep()->SetParams(1, Block(Hex("01")));
    job->ClearSteps();
    EXPECT_EQ(blocks.Live(), 1u);
    Load(*job, jobbytes::RichJob());  // a load frees what the job held
    EXPECT_EQ(blocks.Live(), 2u);
  }
  EXPECT_EQ(blocks.Live(), 0u);
  EXPECT_EQ(blocks.Foreign(), 0);
}

}  // namespace
