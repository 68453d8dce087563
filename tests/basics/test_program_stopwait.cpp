// Steps that wait (for a program, for another job) in the real program: a
// stop request for their job ends the wait, and the run ends as stopped.
// And the shutdown helper that cannot be started.
#include <gtest/gtest.h>

#include <windows.h>

#include "ProgramTest.h"

using namespace basicsblocks;

namespace {

enum { mRun = 1, mRunJob = 5, mShutdown = 6 };
constexpr UINT kStopJob = 0x600C;

const std::string kHelper = std::string(OV_BASICS_TEST_BIN) + "\\exitcode.exe";

bool Ends(const std::vector<std::string>& log, const std::string& last) {
  return !log.empty() && log.back() == last;
}

}  // namespace

TEST_F(BasicsProgram, AStopRequestEndsAStepsWaitForAProgramOrAnotherJob) {
  const std::string marker = program_->Dir() + "started.txt";
  AddJob(0x600, "Waiter", {BasicsStep(mRun, "Long program", RunBlock(kHelper, "0 60000 \"" + marker + "\"", "", 3, 1))});
  // Two jobs that run each other with wait wait for each other for ever.
  AddJob(0x601, "Ping", {BasicsStep(mRunJob, "Run Pong", RunJobBlock(0x602, true))});
  AddJob(0x602, "Pong", {BasicsStep(mRunJob, "Run Ping", RunJobBlock(0x601, true))});
  Start();

  HANDLE run = Run(0x600, "Test");
  ASSERT_NE(run, nullptr);
  ASSERT_TRUE(testutil::WaitFor([&] { return testutil::FileExists(marker); }, 15000));
  SendMessageA(program_->AppWindow(), kStopJob, 0x600, 0);
  EXPECT_TRUE(Finished(run, 5000));

  HANDLE ping = Run(0x601, "Test");
  ASSERT_NE(ping, nullptr);
  EXPECT_EQ(WaitForSingleObject(ping, 1500), static_cast<DWORD>(WAIT_TIMEOUT));
  CloseHandle(ping);

  // At exit the first press of the button stops both; the exit goes on.
  program_->Close();
  HWND wait = nullptr, button = nullptr;
  ASSERT_TRUE(testutil::WaitFor(
      [&] {
        wait = testutil::FindProcessWindow(program_->ProcessId(), "TfWaitingForJobsTerminate");
        button = wait ? FindWindowExA(wait, nullptr, "Button", nullptr) : nullptr;
        return button && IsWindowVisible(wait);
      },
      10000));
  SendMessageA(button, BM_CLICK, 0, 0);
  ASSERT_TRUE(program_->WaitExit(10000));

  auto waiter = JobLog(0x600);
  EXPECT_TRUE(Has(waiter, "Stopped waiting for \"" + kHelper + "\"")) << Joined(waiter);
  EXPECT_TRUE(Ends(waiter, "Aborted")) << Joined(waiter);
  // Whichever of the two notices the stop first gives up its wait; the
  // other's wait may then end with that run. Both runs end as stopped.
  int gaveUp = 0;
  for (auto [id, other] : {std::pair<int32_t, const char*>{0x601, "Pong"}, {0x602, "Ping"}}) {
    auto log = JobLog(id);
    gaveUp += Has(log, std::string("Stopped waiting for the job \"") + other + "\"");
    EXPECT_TRUE(Ends(log, "Aborted")) << Joined(log);
    EXPECT_FALSE(Has(log, "Job executed successfully")) << Joined(log);
  }
  EXPECT_GE(gaveUp, 1);
  auto main = MainLog();
  EXPECT_FALSE(HasPrefix(main, "Job [")) << Joined(main);  // nobody had to be killed
}

TEST_F(BasicsProgram, AShutdownHelperThatCannotStartIsLoggedInBothLogs) {
  AddJob(0x610, "Restart", {BasicsStep(mShutdown, "Restart", Dw(2))});
  DeleteFileA((program_->Dir() + "tapdown.exe").c_str());
  Start();
  HANDLE run = Run(0x610, "Test");
  EXPECT_TRUE(Finished(run));
  auto found = [&](const std::vector<std::string>& log) {
    for (const auto& l : log)
      if (l.rfind("Cannot start the shutdown helper \"", 0) == 0 && l.find("tapdown.exe\" (") != std::string::npos)
        return true;
    return false;
  };
  // The request is posted: it is handled a moment after the step.
  testutil::WaitFor([] { return false; }, 500);
  Close();
  EXPECT_TRUE(found(MainLog())) << Joined(MainLog());
  EXPECT_TRUE(found(JobLog(0x610))) << Joined(JobLog(0x610));
}
