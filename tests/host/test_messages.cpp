// The host's message table as plug-ins and job threads reach it: through
// the services of the host record, handled on this (the main) thread.
#include "RunFixture.h"

#include "OVMsgBox.h"
#include "uSettings.h"

namespace {

struct Enumerated {
  int32_t id;
  std::string name;
  uint32_t state;
};
std::vector<Enumerated> g_enumerated;

void OVAPI Collect(int32_t id, const char* name, uint32_t state) {
  g_enumerated.push_back({id, name, state});
}

void OVAPI Faulty(int32_t, const char*, uint32_t) { *static_cast<volatile int*>(nullptr) = 1; }

std::vector<std::string> g_boxes;
int RecordBox(HWND, const char* text, const char*, UINT) {
  g_boxes.push_back(text);
  return IDOK;
}

}  // namespace

using Messages = RunFixture;

TEST_F(Messages, RunJobLogsTheStartAndTheCauseAndReturnsTheRunsHandle) {
  TOVJob* job = NewJob("Nightly", {{"A", tmSleep, 200}});
  HANDLE h = HostRecord.RunJob(job->ID(), "Alarm clock");
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h, job->ThreadHandle());
  // While the run is in progress the same handle comes back, the attempt is
  // logged, and nothing else starts.
  EXPECT_EQ(HostRecord.RunJob(job->ID(), nullptr), h);
  ASSERT_TRUE(WaitDone(job));
  EXPECT_EQ(MainLogTexts(), (std::vector<std::string>{"Starting Job [Nightly]", "Cause: Alarm clock",
                                                      "Starting Job [Nightly]"}));
  EXPECT_EQ(HostRecord.RunJob(job->ID() + 1, "x"), nullptr);
  EXPECT_EQ(MainLogTexts().size(), 3u);
}

TEST_F(Messages, EnumJobsReportsEveryJobInListOrderAndSurvivesAFaultyCallback) {
  TOVJob* a = NewJob("First", {});
  TOVJob* b = NewJob("Second", {});
  b->SetEditing(true);
  b->UpdateState();
  g_enumerated.clear();
  HostRecord.EnumJobs(Collect);
  ASSERT_EQ(g_enumerated.size(), 2u);
  EXPECT_EQ(g_enumerated[0].id, a->ID());
  EXPECT_EQ(g_enumerated[0].name, "First");
  EXPECT_EQ(g_enumerated[0].state, 0u);
  EXPECT_EQ(g_enumerated[1].name, "Second");
  EXPECT_EQ(g_enumerated[1].state, 2u);
  HostRecord.EnumJobs(nullptr);
  ClearMainLog();
  HostRecord.EnumJobs(Faulty);
  EXPECT_EQ(MainLogTexts(), std::vector<std::string>{"Failed execute 'JobsEnumProc' (??" "?)"});
  b->SetEditing(false);
}

TEST_F(Messages, JobNameAnswersThePlaceholderForAnUnknownID) {
  TOVJob* job = NewJob("Named", {});
  auto name = [](int32_t id) {
    return std::string(reinterpret_cast<const char*>(SendMessageA(AppWindow(), OVM_JOBNAME, id, 0)));
  };
  EXPECT_EQ(name(job->ID()), "Named");
  EXPECT_EQ(name(job->ID() + 1), "!!! Unknown Job !!!");
}

TEST_F(Messages, AJobNameHandedOutStaysReadableAfterARename) {
  TOVJob* job = NewJob("Alpha", {});
  auto* before = reinterpret_cast<const char*>(SendMessageA(AppWindow(), OVM_JOBNAME, job->ID(), 0));
  // The sender copies the text after the handler returned: a rename in
  // between must leave it readable (and its own).
  job->SetName("Beta");
  job->SetName("A name far too long for any short-string buffer");
  EXPECT_STREQ(before, "Alpha");
  auto* after = reinterpret_cast<const char*>(SendMessageA(AppWindow(), OVM_JOBNAME, job->ID(), 0));
  EXPECT_STREQ(after, "A name far too long for any short-string buffer");
  EXPECT_EQ(reinterpret_cast<const char*>(SendMessageA(AppWindow(), OVM_JOBNAME, job->ID(), 0)), after);
}

TEST_F(Messages, CurrentJobIsZeroOutsideARun) {
  NewJob("Any", {});
  EXPECT_EQ(HostRecord.CurrentJob(), 0);
}

TEST_F(Messages, StopJobStopsTheRunAfterItsCurrentStep) {
  TOVJob* job = NewJob("Stoppable", {{"A", tmSleep, 300}, {"B", tmSucceed}});
  ASSERT_TRUE(job->Run());
  ASSERT_TRUE(testutil::WaitFor([&] { return Lines(job).size() >= 3; }, 5000));
  HostRecord.StopJob(job->ID() + 1);  // unknown: ignored
  HostRecord.StopJob(job->ID());
  EXPECT_TRUE(job->StopRequested());
  ASSERT_TRUE(WaitDone(job));
  auto lines = Lines(job);
  EXPECT_EQ(lines.back(), "Aborted");
  EXPECT_EQ(std::count(lines.begin(), lines.end(), "Executing \"B\""), 0);
}

TEST_F(Messages, ActivationIsRefusedWhileTheJobRunsAndSavedOtherwise) {
  TOVJob* job = NewJob("Toggle", {{"A", tmSleep, 300}});
  std::string file = Settings.JobDir + job->FileName();
  g_boxes.clear();
  SetMsgBoxResponder(RecordBox);
  ASSERT_TRUE(job->Run());
  HostRecord.ActivateJob(job->ID());
  EXPECT_EQ(job->Active(), 0);
  EXPECT_EQ(g_boxes, std::vector<std::string>{"Job \"Toggle\" is currently running..."});
  ASSERT_TRUE(WaitDone(job));
  HostRecord.ActivateJob(job->ID());
  EXPECT_EQ(job->Active(), -1);
  ASSERT_TRUE(testutil::FileExists(file));
  EXPECT_EQ(testutil::ReadFileBytes(file)[19], 0xFF);  // Active follows magic, ID, length and "Toggle\0"
  HostRecord.DeactivateJob(job->ID());
  EXPECT_EQ(job->Active(), 0);
  EXPECT_EQ(testutil::ReadFileBytes(file)[19], 0x00);
  SetMsgBoxResponder(nullptr);
  DeleteFileA(file.c_str());
}
