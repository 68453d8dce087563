// tapdown.exe as the host starts it: the exit-windows code twice. Every run
// here goes through the dry-run file; the real end of a session is shown by
// tapdown_session.sh in a wine prefix of its own.
#include <gtest/gtest.h>

#include "SupportTestUtil.h"
#include "TestUtil.h"

using supporttest::kQuiet;
using supporttest::RunProgram;

namespace {

const std::string kTapdown = std::string(OV_DIST_DIR) + "\\tapdown.exe";

class Tapdown : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = testutil::MakeTempDir("tapdown"); }
  void TearDown() override { testutil::RemoveTree(dir_); }

  std::string DryRunFile() const { return dir_ + "exit.txt"; }
  supporttest::TRun Run(const std::string& args) {
    return RunProgram(kTapdown, args, dir_, {kQuiet, "OV_TAPDOWN_DRYRUN=" + DryRunFile()});
  }

  std::string dir_;
};

}  // namespace

TEST_F(Tapdown, EachCodeReachesExitWindowsWithThePrivilege) {
  // Log off, shut down, restart, shut down and power off (EWX_SHUTDOWN |
  // EWX_POWEROFF).
  for (int code : {0, 1, 2, 9}) {
    SCOPED_TRACE(code);
    DeleteFileA(DryRunFile().c_str());
    auto r = Run(std::to_string(code) + " " + std::to_string(code));
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 0u);
    EXPECT_EQ(r.stdErr, "");
    auto lines = testutil::ReadLines(DryRunFile());
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], std::to_string(code));
    EXPECT_EQ(lines[1], "SeShutdownPrivilege enabled");
  }
}

TEST_F(Tapdown, RefusesEveryOtherCommandLineAndDoesNothing) {
  const char* bad[] = {
      "", "1", "1 1 1",               // not two numbers
      "1 2", "9 1",                   // the two disagree
      "x x", "1x 1x", "0x9 0x9",      // not numbers
      "-1 -1", "+1 +1",               // signs are not digits
      "3 3", "4 4", "8 8", "10 10",   // no exit-windows code (4 force, 8 power off)
      "4294967297 4294967297",        // would wrap to 1 in 32 bits
  };
  for (const char* args : bad) {
    SCOPED_TRACE(args);
    auto r = Run(args);
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_NE(r.stdErr.find("Usage: tapdown.exe <code> <code>"), std::string::npos) << r.stdErr;
    EXPECT_NE(r.stdErr.find("Nothing was done."), std::string::npos);
    EXPECT_FALSE(testutil::FileExists(DryRunFile()));
  }
}

TEST_F(Tapdown, SaysWhatIsWrong) {
  EXPECT_NE(Run("1 2").stdErr.find("The two codes differ (1 and 2)."), std::string::npos);
  EXPECT_NE(Run("5 5").stdErr.find("5 is not an exit-windows code."), std::string::npos);
  EXPECT_NE(Run("a 1").stdErr.find("\"a\" is not a number."), std::string::npos);
  EXPECT_NE(Run("1").stdErr.find("The exit-windows code is missing."), std::string::npos);
}

TEST_F(Tapdown, ShowsAMessageBoxToAPerson) {
  // Without the quiet switch the refusal is a message box that waits for
  // its OK; nothing is written meanwhile.
  DWORD pid = 0;
  HANDLE process = supporttest::StartProgram(kTapdown, "5 5", dir_,
                                             {"OV_TAPDOWN_DRYRUN=" + DryRunFile()}, &pid);
  ASSERT_NE(process, nullptr);
  HWND box = nullptr;
  ASSERT_TRUE(testutil::WaitFor(
      [&] { return (box = testutil::FindProcessWindow(pid, "#32770")) && IsWindowVisible(box); },
      20000));
  char text[1024] = {};
  GetDlgItemTextA(box, 0xFFFF, text, sizeof text);  // the message box's text
  EXPECT_NE(std::string(text).find("5 is not an exit-windows code."), std::string::npos) << text;
  EXPECT_EQ(WaitForSingleObject(process, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  EXPECT_TRUE(testutil::WaitFor([&] { return WaitForSingleObject(process, 0) == WAIT_OBJECT_0; },
                                20000));
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  CloseHandle(process);
  EXPECT_EQ(code, 1u);
  EXPECT_FALSE(testutil::FileExists(DryRunFile()));
}

TEST_F(Tapdown, ADryRunFileThatCannotBeWrittenIsAFailure) {
  auto r = RunProgram(kTapdown, "2 2", dir_,
                      {kQuiet, "OV_TAPDOWN_DRYRUN=" + dir_ + "missing\\exit.txt"});
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 2u);
  EXPECT_NE(r.stdErr.find("Cannot write"), std::string::npos) << r.stdErr;
}
