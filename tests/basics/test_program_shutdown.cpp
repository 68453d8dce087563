// "Shutdown Windows/computer" in the real program: the step posts its
// request to the host, the host starts tapdown.exe, and tapdown (in its dry
// run) receives the exit-windows code of the configured mode.
#include <gtest/gtest.h>

#include <windows.h>

#include "ProgramTest.h"

using namespace basicsblocks;

namespace {

enum { mShutdown = 6 };

// The code tapdown would have used: the first line of its dry-run file.
std::string DryRunCode(const std::string& file) {
  if (!testutil::WaitFor([&] { return testutil::FileExists(file) && !testutil::ReadFileText(file).empty(); },
                         15000))
    return "(no dry run)";
  // tapdown writes the file in one piece; give it a moment to close it.
  std::string text;
  testutil::WaitFor([&] { return (text = testutil::ReadFileText(file)).find('\n') != std::string::npos; }, 3000);
  return text.substr(0, text.find_first_of("\r\n"));
}

}  // namespace

TEST_F(BasicsProgram, ShutdownStepsReachTapdownWithTheirModesCode) {
  const std::string dryRun = program_->Dir() + "tapdown.txt";
  AddJob(0x500, "Restart", {BasicsStep(mShutdown, "Restart", Dw(2))});
  AddJob(0x501, "Log off", {BasicsStep(mShutdown, "Log off", Dw(3))});
  AddJob(0x502, "Never configured", {BasicsStep(mShutdown, "Power off", {})});
  Start({"OV_TAPDOWN_DRYRUN=" + dryRun});

  for (auto [id, code] : {std::pair<int32_t, const char*>{0x500, "2"}, {0x501, "0"}, {0x502, "9"}}) {
    DeleteFileA(dryRun.c_str());
    HANDLE run = Run(id, "Test");
    EXPECT_TRUE(Finished(run)) << id;
    EXPECT_EQ(DryRunCode(dryRun), code) << id;
  }

  Close();
  auto log = JobLog(0x500);
  EXPECT_TRUE(Has(log, "Restart the computer")) << Joined(log);
  EXPECT_TRUE(Has(log, "Job executed successfully"));
  EXPECT_TRUE(Has(JobLog(0x501), "Close all programs and log on as different user"));
  EXPECT_TRUE(Has(JobLog(0x502), "Shut down the computer and power off"));
}
