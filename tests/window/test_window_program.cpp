// The window plug-in in the real orvane.exe: a job whose window watcher
// runs it when testwindows.exe opens its window, and whose steps act on
// that window until "Check for window" stops the job.
#include <gtest/gtest.h>

#include <algorithm>

#include "JobFileBytes.h"
#include "TestUtil.h"
#include "WindowTest.h"

using namespace windowtest;

namespace {

constexpr int32_t kWindowPlugin = 140377010;
enum { mMaximize = 1, mClose = 4, mHide = 5, mCheck = 7 };

std::vector<std::string> Texts(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const auto& l : lines) out.push_back(testutil::LogText(l.size() > 2 ? l.substr(2) : l));
  return out;
}

}  // namespace

TEST(WindowProgram, TheWatcherRunsItsJobWhenTheWindowOpens) {
  testutil::TProgram p("windowprogram");
  p.AddDistPlugins();
  ASSERT_TRUE(CreateDirectoryA(p.JobsDir().c_str(), nullptr));
  jobbytes::JobSpec job{0x0B1D0001, "Window job", -1};
  job.events.push_back({kWindowPlugin, 0, true, WatcherBlock("ovw program", 0, 0, 1)});
  job.steps = {
      {kWindowPlugin, mMaximize, "Maximize it", true, ActionBlock("OVW Program", 1)},
      {kWindowPlugin, mHide, "Hide the other", true, ActionBlock("prog hide", 0)},
      {kWindowPlugin, mCheck, "Stop unless there", true, CheckBlock("OVW Nowhere", 0, 0, 0)},
      {kWindowPlugin, mClose, "Close it", true, ActionBlock("OVW Program", 1)},
  };
  testutil::WriteFileBytes(p.JobsDir() + jobbytes::JobFileName(job.id), jobbytes::JobFile(job));
  ASSERT_TRUE(p.Start());

  // The windows come once the program has armed its events.
  TTestWindows w({L"show:OVW Program", L"show:OVW Prog Hide"}, 1500);
  ASSERT_TRUE(w.WaitFor(L"OVW Program"));
  EXPECT_TRUE(testutil::WaitFor([&] { return IsZoomed(w.Find(L"OVW Program")) != 0; }, 10000));
  EXPECT_TRUE(testutil::WaitFor([&] { return !IsWindowVisible(w.Find(L"OVW Prog Hide")); }, 10000));
  testutil::WaitFor([] { return false; }, 2500);
  p.Close();
  ASSERT_TRUE(p.WaitExit(30000));
  EXPECT_EQ(p.ExitCode(), 0u);

  // The check stopped the job before "Close it": the window is still there.
  EXPECT_NE(w.Find(L"OVW Program"), nullptr);
  auto log = Texts(p.MainLogLines());
  EXPECT_EQ(std::count(log.begin(), log.end(), "Cause: Window ovw program appears"), 1)
      << testutil::ReadFileText(p.LogsDir() + "OV.log");
  auto jobLog = Texts(testutil::ReadLines(p.LogsDir() + "0B1D0001.log"));
  auto at = std::find(jobLog.begin(), jobLog.end(), "Executing \"Stop unless there\"");
  ASSERT_NE(at, jobLog.end());
  ASSERT_NE(at + 1, jobLog.end());
  EXPECT_EQ(at[1], "Aborted");
  EXPECT_EQ(std::find(jobLog.begin(), jobLog.end(), "Executing \"Close it\""), jobLog.end());
}
