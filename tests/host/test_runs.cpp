// Runs of jobs on their own threads, read back from the lines they log.
#include "RunFixture.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "OVClassesRun.h"
#include "OVMsgBox.h"
#include "uSettings.h"

using Strings = std::vector<std::string>;



TEST_F(RunFixture, AnEmptyJobLogsStartPriorityAndEmptyOnly) {
  TOVJob* job = NewJob("Empty", {});
  ASSERT_TRUE(job->Run());
  ASSERT_TRUE(WaitDone(job));
  EXPECT_EQ(Lines(job), (Strings{kStartLine, "Job started with priority: Normal", "Job is empty!"}));
  EXPECT_EQ(Levels(job), (std::vector<int>{1, 1, 2}));
}

TEST_F(RunFixture, AJobWhoseOnlyStepIsDisabledSucceeds) {
  TOVJob* job = NewJob("Disabled", {{"A", tmSucceed, -1, false}});
  ASSERT_TRUE(job->Run());
  ASSERT_TRUE(WaitDone(job));
  EXPECT_EQ(Lines(job), (Strings{kStartLine, "Job started with priority: Normal",
                                 "Step \"A\" is skipped", "Job executed successfully"}));
  EXPECT_EQ(Levels(job)[2], lvWarning);
}

TEST_F(RunFixture, ARunStoppedBeforeItsFirstStepIsAborted) {
  TOVJob* job = NewJob("Stopped", {{"A", tmSucceed}, {"B", tmSucceed}});
  // The run thread waits for this thread to take its first log line, so the
  // stop request is in place before the first step.
  ASSERT_TRUE(job->Run());
  job->Stop();
  EXPECT_EQ(job->State(), jsStopping);
  ASSERT_TRUE(WaitDone(job));
  EXPECT_EQ(Lines(job), (Strings{kStartLine, "Job started with priority: Normal", "Aborted"}));
  EXPECT_FALSE(job->StopRequested());
  EXPECT_EQ(job->State(), jsManual);
}

TEST_F(RunFixture, AfterAFailedStepLaterStepsAreAnnouncedButNotExecuted) {
  TOVJob* job = NewJob("Fails", {{"A", tmFail}, {"B", tmSucceed}, {"C", tmSucceed}});
  ASSERT_TRUE(job->Run());
  ASSERT_TRUE(WaitDone(job));
  EXPECT_EQ(Lines(job), (Strings{kStartLine, "Job started with priority: Normal", "Executing \"A\"",
                                 "fail", "Executing \"B\"", "Executing \"C\"",
                                 "Job executed abnormally"}));
  EXPECT_EQ(Levels(job).back(), lvError);
}

TEST_F(RunFixture, AStepThatFaultsOrIsMissingFailsTheRun) {
  // A fault and a foreign runtime's exception fail their step as a false
  // result does: later steps are announced but not executed.
  const std::string guard = "Failed execute 'ExecMethod' (" + dir_ + "Plugins\\good\\tp_good.ovp)";
  TOVJob* faults = NewJob("Faults", {{"A", tmFault}, {"B", tmSucceed}});
  TOVJob* foreign = NewJob("Foreign", {{"A", tmForeign}});
  TOVJob* missing = NewJob("Missing", {{"A", tmSucceed, 7, true, 4242}, {"B", tmSucceed, 7}});
  for (TOVJob* job : {faults, foreign, missing}) ASSERT_TRUE(job->Run());
  for (TOVJob* job : {faults, foreign, missing}) ASSERT_TRUE(WaitDone(job));
  EXPECT_EQ(Lines(faults), (Strings{kStartLine, "Job started with priority: Normal", "Executing \"A\"",
                                    "An error occured. Reconfigure this step.", guard,
                                    "Executing \"B\"", "Job executed abnormally"}));
  EXPECT_EQ(Levels(faults)[3], lvError);
  EXPECT_EQ(Lines(foreign).back(), "Job executed abnormally");
  EXPECT_EQ(Lines(missing), (Strings{kStartLine, "Job started with priority: Normal",
                                     "Unknown plugin; ID=4242", "Executing \"B\"",
                                     "Job executed abnormally"}));
}

TEST_F(RunFixture, ThePriorityLineNamesTheThreadsPriority) {
  for (uint8_t p = 0; p <= 6; ++p) {
    TOVJob* job = NewJob("Priority", {});
    job->SetPriority(p);
    ASSERT_TRUE(job->Run());
    ASSERT_TRUE(WaitDone(job));
    ASSERT_GE(Lines(job).size(), 2u);
    EXPECT_EQ(Lines(job)[1], std::string("Job started with priority: ") + kPriorityNames[p]);
  }
  EXPECT_STREQ(kPriorityNames[6], "TimeCritical");
}

TEST_F(RunFixture, ASecondRunWhileRunningIsRefused) {
  TOVJob* job = NewJob("Twice", {{"A", tmSleep, 300}});
  ASSERT_TRUE(job->Run());
  HANDLE first = job->ThreadHandle();
  EXPECT_FALSE(job->Run());
  EXPECT_EQ(job->ThreadHandle(), first);
  ASSERT_TRUE(WaitDone(job));
  int starts = 0;
  for (const auto& l : Lines(job)) starts += l == kStartLine;
  EXPECT_EQ(starts, 1);
}

TEST_F(RunFixture, AJobBeingEditedDoesNotStart) {
  TOVJob* job = NewJob("Edited", {{"A", tmSucceed}});
  job->SetEditing(true);
  EXPECT_FALSE(job->Run());
  EXPECT_FALSE(job->Running());
}

TEST_F(RunFixture, TheRunHandleIsSignalledWhenTheRunEnds) {
  TOVJob* job = NewJob("Handle", {{"A", tmSleep, 200}});
  ASSERT_TRUE(job->Run());
  HANDLE h = job->ThreadHandle();
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(WaitForSingleObject(h, 0), WAIT_TIMEOUT);
  ASSERT_TRUE(WaitDone(job));
  // Still a valid handle after the run: waiters that come late return.
  EXPECT_EQ(WaitForSingleObject(h, 1000), WAIT_OBJECT_0);
}

TEST_F(RunFixture, StateFollowsTheRunAndFinishIsReported) {
  TOVJob* job = NewJob("States", {{"A", tmSleep, 300}});
  std::vector<uint8_t> states;
  int finished = 0;
  job->OnStateChange = [&](TOVJob*, uint8_t s) { states.push_back(s); };
  job->OnFinish = [&](TOVJob*) { ++finished; };
  ASSERT_TRUE(job->Run());
  ASSERT_TRUE(WaitDone(job));
  EXPECT_EQ(states, (std::vector<uint8_t>{jsRunning, jsManual}));
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(job->ThreadId(), 0u);
}

TEST_F(RunFixture, KillAfterStopEndsTheRunAtOnceWithoutFinish) {
  TOVJob* job = NewJob("Killed", {{"A", tmSleep, 10000}, {"B", tmSucceed}});
  int finished = 0;
  job->OnFinish = [&](TOVJob*) { ++finished; };
  job->Kill();  // refused: no run
  ASSERT_TRUE(job->Run());
  ASSERT_TRUE(testutil::WaitFor(
      [&] { return Lines(job).size() >= 3 && Lines(job)[2] == "Executing \"A\""; }, 10000));
  job->Kill();  // refused: no stop requested yet
  EXPECT_TRUE(job->Running());
  job->Stop();
  EXPECT_EQ(job->State(), jsStopping);
  HANDLE h = job->ThreadHandle();
  job->Kill();
  EXPECT_FALSE(job->Running());
  EXPECT_FALSE(job->StopRequested());
  EXPECT_EQ(job->ThreadId(), 0u);
  EXPECT_EQ(job->State(), jsManual);
  EXPECT_EQ(WaitForSingleObject(h, 5000), WAIT_OBJECT_0);
  testutil::WaitFor([] { return false; }, 200);  // a late message must change nothing
  EXPECT_EQ(finished, 0);
  auto main = MainLogTexts();
  ASSERT_FALSE(main.empty());
  EXPECT_EQ(main.back(), "Job [Killed] killed by user.");
  EXPECT_EQ(MainLog->LevelOf(MainLog->Count() - 1), lvWarning);
  // The job runs again normally afterwards.
  job->Log()->Clear();
  job->Steps(0)->SetEnabled(0);
  ASSERT_TRUE(job->Run());
  ASSERT_TRUE(WaitDone(job));
  EXPECT_EQ(Lines(job).back(), "Job executed successfully");
  EXPECT_EQ(finished, 1);
}

TEST_F(RunFixture, ManyJobsRunAtOnceAndEveryLineLandsInItsOwnLog) {
  constexpr int kJobs = 100;
  constexpr int kLines = 1000;
  std::vector<TOVJob*> jobs;
  for (int j = 0; j < kJobs; ++j) jobs.push_back(NewJob("Load " + std::to_string(j), {{"A", tmLogLines, kLines}}));
  for (TOVJob* job : jobs) ASSERT_TRUE(job->Run());
  // The main thread stays free for other work while the lines pour in: a
  // request from another thread is answered at once, again and again.
  std::atomic<bool> loadDone{false};
  std::atomic<DWORD> worstMs{0};
  std::atomic<int> answered{0};
  std::atomic<bool> probeDone{false};
  std::thread probe([&] {
    while (!loadDone) {
      ULONGLONG t0 = GetTickCount64();
      DWORD_PTR r = 0;
      if (SendMessageTimeoutA(AppWindow(), WM_NULL, 0, 0, SMTO_NORMAL, 5000, &r)) ++answered;
      DWORD took = static_cast<DWORD>(GetTickCount64() - t0);
      if (took > worstMs) worstMs = took;
      Sleep(5);
    }
    probeDone = true;
  });
  bool finished = testutil::WaitFor([&] { return !Jobs->AnyRunning(); }, 120000);
  loadDone = true;
  // Keep answering until the probe's last request is through; a join alone
  // would leave that request waiting out its whole time-out.
  testutil::WaitFor([&] { return probeDone.load(); }, 10000);
  probe.join();
  ASSERT_TRUE(finished);
  EXPECT_GT(answered.load(), 0);
  EXPECT_LT(worstMs.load(), 1000u);
  for (TOVJob* job : jobs) {
    Strings lines = Lines(job);
    ASSERT_EQ(lines.size(), static_cast<size_t>(kLines + 4)) << job->Name();
    EXPECT_EQ(lines[2], "Executing \"A\"");
    for (int i = 0; i < kLines; ++i) ASSERT_EQ(lines[3 + i], "line " + std::to_string(i)) << job->Name();
    EXPECT_EQ(lines.back(), "Job executed successfully");
  }
  // Nothing strayed into the main log.
  for (const auto& l : MainLogTexts()) EXPECT_EQ(l.rfind("line ", 0), std::string::npos) << l;
}

TEST_F(RunFixture, AStopDuringTheLastStepEndsTheRunAsAborted) {
  TOVJob* job = NewJob("Last", {{"A", tmSleep, 400}});
  ASSERT_TRUE(job->Run());
  ASSERT_TRUE(testutil::WaitFor([&] { return Lines(job).size() >= 3; }, 10000));
  job->Stop();
  ASSERT_TRUE(WaitDone(job));
  EXPECT_EQ(Lines(job), (Strings{kStartLine, "Job started with priority: Normal", "Executing \"A\"",
                                 "slept", "Aborted"}));
}

namespace {

// "ShowErrors" on, with a responder that runs other messages while its box
// is "open", as a real box's message loop does.
std::vector<bool> g_runningAtBox;
TOVJob* g_boxJob = nullptr;
bool g_killAtBox = false;

int BoxWithMessageLoop(HWND, const char*, const char*, UINT) {
  g_runningAtBox.push_back(g_boxJob && g_boxJob->Running());
  if (g_killAtBox && g_boxJob) g_boxJob->Kill();  // "Kill all Jobs" pressed meanwhile
  ProcessMessages();
  return IDOK;
}

struct ShowErrorsOn {
  ShowErrorsOn(TOVJob* job, bool killAtBox) {
    g_runningAtBox.clear();
    g_boxJob = job;
    g_killAtBox = killAtBox;
    Settings.ShowErrors = true;
    SetMsgBoxResponder(BoxWithMessageLoop);
  }
  ~ShowErrorsOn() {
    Settings.ShowErrors = false;
    SetMsgBoxResponder(nullptr);
    g_boxJob = nullptr;
  }
};

// Lets the run thread end while only sent messages are served: its posted
// lines and its end stay queued for the main thread.
bool WaitThreadEndServingSentOnly(HANDLE h) {
  for (;;) {
    DWORD r = MsgWaitForMultipleObjects(1, &h, FALSE, 10000, QS_SENDMESSAGE);
    if (r == WAIT_OBJECT_0) return true;
    if (r != WAIT_OBJECT_0 + 1) return false;
    MSG m;
    PeekMessageA(&m, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
  }
}

int Count(const Strings& v, const std::string& s) { return static_cast<int>(std::count(v.begin(), v.end(), s)); }

}  // namespace

TEST_F(RunFixture, AKillWhoseLinesRaiseErrorBoxesFinishesTheRunOnce) {
  TOVJob* job = NewJob("Ends", {{"A", tmFail}});
  int finished = 0;
  job->OnFinish = [&](TOVJob*) { ++finished; };
  ShowErrorsOn on(job, false);
  ASSERT_TRUE(job->Run());
  ASSERT_TRUE(WaitThreadEndServingSentOnly(job->ThreadHandle()));
  // The run has ended, but its end and its error lines are still queued
  // when the kill comes: the kill files them, and their boxes must not let
  // the run's end be handled halfway through the kill.
  job->Stop();
  job->Kill();
  testutil::WaitFor([] { return false; }, 300);
  EXPECT_FALSE(job->Running());
  EXPECT_EQ(finished + Count(MainLogTexts(), "Job [Ends] killed by user."), 1);
  EXPECT_EQ(g_runningAtBox, (std::vector<bool>{false, false}));  // "fail", "Job executed abnormally"
  EXPECT_EQ(Lines(job).back(), "Job executed abnormally");
}

TEST_F(RunFixture, KillAllWhileTheRunsEndShowsABoxFinishesTheRunOnce) {
  TOVJob* job = NewJob("Done", {{"A", tmFail}});
  int finished = 0;
  job->OnFinish = [&](TOVJob*) { ++finished; };
  ShowErrorsOn on(job, true);
  ASSERT_TRUE(job->Run());
  ASSERT_TRUE(WaitThreadEndServingSentOnly(job->ThreadHandle()));
  job->Stop();
  // The run's end is handled first; the box of its error lines is where
  // the user presses "Kill all Jobs".
  testutil::WaitFor([] { return false; }, 300);
  EXPECT_FALSE(job->Running());
  EXPECT_EQ(finished, 1);
  EXPECT_EQ(Count(MainLogTexts(), "Job [Done] killed by user."), 0);
  EXPECT_EQ(g_runningAtBox, (std::vector<bool>{false, false}));
}

TEST_F(RunFixture, KillingARunInTheMiddleOfItsLinesLeavesTheLogWorking) {
  for (int round = 0; round < 5; ++round) {
    TOVJob* flood = NewJob("Flood", {{"A", tmLogLines, 100000000}});
    ASSERT_TRUE(flood->Run());
    // Well into its flood, at a different moment each round.
    ASSERT_TRUE(testutil::WaitFor([&] { return flood->Log()->Count() > 30000 + 1000 * round; }, 20000));
    flood->Stop();
    flood->Kill();
    ASSERT_FALSE(flood->Running());
    // Lines of other threads still reach their logs.
    TOVJob* next = NewJob("Next", {{"A", tmLogLines, 50}});
    ASSERT_TRUE(next->Run());
    ASSERT_TRUE(WaitDone(next, 10000)) << "round " << round;
    EXPECT_EQ(Lines(next).back(), "Job executed successfully");
  }
}
