// The real orvane.exe on a folder of its own: it loads its plug-ins, sets
// broken ones aside, and exits cleanly through its exit sequence.
#include <gtest/gtest.h>

#include <algorithm>

#include "TestUtil.h"

using testutil::LogText;
using testutil::TProgram;

namespace {

std::vector<std::string> Texts(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const auto& l : lines) out.push_back(LogText(l.size() > 2 ? l.substr(2) : l));
  return out;
}

ptrdiff_t IndexOf(const std::vector<std::string>& v, const std::string& s) {
  auto it = std::find(v.begin(), v.end(), s);
  return it == v.end() ? -1 : it - v.begin();
}

}  // namespace

TEST(Program, LoadsItsPluginsAndExitsCleanly) {
  TProgram p("start");
  p.AddTestPlugin("tp_good");
  p.AddTestPlugin("tp_other");
  p.AddTestPlugin("tp_noexport");
  ASSERT_TRUE(p.Start());
  EXPECT_NE(p.AppWindow(), nullptr);
  p.Close();
  ASSERT_TRUE(p.WaitExit(30000));
  EXPECT_EQ(p.ExitCode(), 0u);

  auto log = Texts(p.MainLogLines());
  ptrdiff_t starting = IndexOf(log, "**** Orvane 1.4 starting... ************************");
  ptrdiff_t load = IndexOf(log, "Load plugins...");
  ptrdiff_t good = IndexOf(log, "Plugin \"Good plugin\" loaded");
  ptrdiff_t other = IndexOf(log, "Plugin \"Other plugin\" loaded");
  ptrdiff_t bad = IndexOf(log, "GetProcAddress failed (" + p.Dir() + "Plugins\\tp_noexport\\tp_noexport.ovp)");
  ptrdiff_t shutGood = IndexOf(log, "shutdown Good plugin");
  ptrdiff_t shutOther = IndexOf(log, "shutdown Other plugin");
  ptrdiff_t unload = IndexOf(log, "Unload plugins...");
  EXPECT_GE(starting, 0);
  EXPECT_GT(load, starting);
  EXPECT_GT(good, load);
  EXPECT_GT(other, load);
  EXPECT_GT(bad, load);
  EXPECT_GT(shutGood, good);
  EXPECT_GT(shutOther, shutGood);  // load order: "tp_good" before "tp_other"
  EXPECT_GT(unload, shutOther);
  EXPECT_TRUE(testutil::FileExists(p.Dir() + "Plugins\\tp_noexport\\tp_noexport.bad"));
}

TEST(Program, ASecondStartLeavesOneInstance) {
  TProgram p("second");
  ASSERT_TRUE(p.Start());
  TProgram q("second-b");
  // The second instance finds the first one's mutex, asks it to show its
  // window and ends at once without a window of its own.
  std::string cmd = "\"" + q.Dir() + "orvane.exe\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             q.Dir().c_str(), &si, &pi));
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 30000), WAIT_OBJECT_0);
  EXPECT_EQ(testutil::FindProcessWindow(pi.dwProcessId, "TfOrvane"), nullptr);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  EXPECT_TRUE(p.Running());
  EXPECT_TRUE(IsWindowVisible(p.MainWindow()));
  p.Close();
  EXPECT_TRUE(p.WaitExit(30000));
}
