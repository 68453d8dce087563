// Message, run-other-job and delay steps in jobs of the real program.
#include <gtest/gtest.h>

#include <windows.h>

#include "ProgramTest.h"

using namespace basicsblocks;

namespace {

enum { mMessage = 0, mRunJob = 5, mDelay = 12 };

constexpr int32_t kGreeting = 0x100, kCallee = 0x101, kCallerNoWait = 0x102, kCallerWait = 0x103,
                  kSelfRunner = 0x104, kDelay = 0x105;

}  // namespace

TEST_F(BasicsProgram, MessageOtherJobAndDelayStepsInTheRealProgram) {
  AddJob(kGreeting, "Greeting", {BasicsStep(mMessage, "Say hello", {})});
  AddJob(kCallee, "Callee", {BasicsStep(mMessage, "Hold", MessageBlock(true, false, "Callee here", ""))});
  AddJob(kCallerNoWait, "Caller without wait", {BasicsStep(mRunJob, "Start callee", RunJobBlock(kCallee, false))});
  AddJob(kCallerWait, "Caller with wait", {BasicsStep(mRunJob, "Run callee", RunJobBlock(kCallee, true))});
  AddJob(kSelfRunner, "Self runner", {BasicsStep(mRunJob, "Run myself", RunJobBlock(kSelfRunner, true))});
  AddJob(kDelay, "Pause", {BasicsStep(mDelay, "Wait a bit", Dw(15))});
  Start();

  // A never-configured message: the expanded default in a box captioned
  // with the job's name, which the step waits for.
  HANDLE run = Run(kGreeting, "Test cause");
  ASSERT_NE(run, nullptr);
  HWND box = WaitForBox("OV: Greeting");
  ASSERT_NE(box, nullptr);
  std::string text = BoxText(box);
  size_t eol = text.find("\r\n");
  ASSERT_NE(eol, std::string::npos) << text;
  EXPECT_EQ(text.substr(eol + 2), "Hey, awake!");
  EXPECT_TRUE(text.front() == '[' && text[eol - 1] == ']') << text;
  EXPECT_EQ(WaitForSingleObject(run, 300), static_cast<DWORD>(WAIT_TIMEOUT));
  PressButton(box, IDOK);
  EXPECT_TRUE(Finished(run));

  // Without wait the caller is done while the other job still shows its box.
  run = Run(kCallerNoWait, "Test cause");
  ASSERT_NE(run, nullptr);
  EXPECT_TRUE(Finished(run));
  box = WaitForBox("OV: Callee");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(BoxText(box), "Callee here");
  HANDLE callee = Run(kCallee, "Test cause");  // the run in progress
  PressButton(box, IDOK);
  EXPECT_TRUE(Finished(callee));

  // With wait the caller ends only after the other job has.
  run = Run(kCallerWait, "Test cause");
  ASSERT_NE(run, nullptr);
  box = WaitForBox("OV: Callee");
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(WaitForSingleObject(run, 500), static_cast<DWORD>(WAIT_TIMEOUT));
  PressButton(box, IDOK);
  EXPECT_TRUE(Finished(run));

  // A job that runs itself and waits does not wait for ever.
  run = Run(kSelfRunner, "Test cause");
  EXPECT_TRUE(Finished(run));

  // 15 units of 100 ms.
  DWORD start = GetTickCount();
  run = Run(kDelay, "Test cause");
  ASSERT_TRUE(Finished(run));
  DWORD took = GetTickCount() - start;
  EXPECT_GE(took, 1450u);
  EXPECT_LT(took, 6000u);

  Close();
  auto main = MainLog();
  EXPECT_TRUE(Has(main, "Starting Job [Greeting]"));
  EXPECT_TRUE(Has(main, "Cause: Test cause"));
  EXPECT_TRUE(Has(main, "Cause: Run other job (from Caller without wait)")) << Joined(main);
  EXPECT_TRUE(Has(main, "Cause: Run other job (from Caller with wait)"));
  EXPECT_TRUE(Has(main, "Cause: Run other job (from Self runner)"));

  auto greeting = JobLog(kGreeting);
  EXPECT_TRUE(Has(greeting, "Executing \"Say hello\""));
  EXPECT_TRUE(Has(greeting, "Job executed successfully")) << Joined(greeting);
  for (int32_t id : {kCallerNoWait, kCallerWait, kSelfRunner, kDelay})
    EXPECT_TRUE(Has(JobLog(id), "Job executed successfully")) << Joined(JobLog(id));
  EXPECT_TRUE(Has(JobLog(kSelfRunner), "A job does not wait for its own run"));
  // The callee ran twice, once for each caller.
  int runs = 0;
  for (const auto& l : JobLog(kCallee)) runs += l == "Job executed successfully";
  EXPECT_EQ(runs, 2) << Joined(JobLog(kCallee));
}
