// Runs of jobs on their own threads, read back from the lines they log.
#include "RunFixture.h"

#include <atomic>
#include <thread>

#include "OVClassesRun.h"

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

TEST_F(RunFixture, AStepThatFaultsIsReportedAndTheRunGoesOn) {
  TOVJob* job = NewJob("Faults", {{"A", tmFault}, {"B", tmForeign}, {"C", tmSucceed}});
  ASSERT_TRUE(job->Run());
  ASSERT_TRUE(WaitDone(job));
  EXPECT_EQ(Lines(job),
            (Strings{kStartLine, "Job started with priority: Normal", "Executing \"A\"",
                     "An error occured. Reconfigure this step.", "Executing \"B\"",
                     "An error occured. Reconfigure this step.", "Executing \"C\"", "succeed 0",
                     "Job executed successfully"}));
}

TEST_F(RunFixture, AStepOfAMissingPluginIsReportedAndTheRunGoesOn) {
  TOVJob* job = NewJob("Missing", {{"A", tmSucceed, 7, true, 4242}, {"B", tmSucceed, 7}});
  ASSERT_TRUE(job->Run());
  ASSERT_TRUE(WaitDone(job));
  EXPECT_EQ(Lines(job), (Strings{kStartLine, "Job started with priority: Normal",
                                 "Unknown plugin; ID=4242", "Executing \"B\"", "succeed 4",
                                 "Job executed successfully"}));
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
  std::thread probe([&] {
    while (!loadDone) {
      ULONGLONG t0 = GetTickCount64();
      DWORD_PTR r = 0;
      if (SendMessageTimeoutA(AppWindow(), WM_NULL, 0, 0, SMTO_NORMAL, 5000, &r)) ++answered;
      DWORD took = static_cast<DWORD>(GetTickCount64() - t0);
      if (took > worstMs) worstMs = took;
      Sleep(5);
    }
  });
  bool finished = testutil::WaitFor([&] { return !Jobs->AnyRunning(); }, 120000);
  loadDone = true;
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
