// The real orvane.exe as an automation engine, driven from outside only:
// job files prepared on disk, window messages to its application window,
// and the log and job files it leaves.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "JobFileBytes.h"
#include "TestUtil.h"

using jobbytes::Bytes;
using jobbytes::EventSpec;
using jobbytes::JobFile;
using jobbytes::JobSpec;
using jobbytes::StepSpec;
using testutil::TProgram;

namespace {

constexpr UINT kRunJob = 0x6001;
constexpr UINT kAutomationOn = 0x600F;
constexpr UINT kAutomationOff = 0x6010;
constexpr int32_t kTestPlugin = 1001;
constexpr int kSucceed = 0, kSleep = 7;

std::vector<std::string> Texts(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const auto& l : lines) out.push_back(testutil::LogText(l.size() > 2 ? l.substr(2) : l));
  return out;
}

size_t CountOf(const std::vector<std::string>& v, const std::string& s) {
  return static_cast<size_t>(std::count(v.begin(), v.end(), s));
}

void PutJob(TProgram& p, const JobSpec& j, const std::string& fileName = "") {
  testutil::MakeDirs(p.JobsDir());
  testutil::WriteFileBytes(p.JobsDir() + (fileName.empty() ? jobbytes::JobFileName(j.id) : fileName),
                           JobFile(j));
}

std::vector<std::string> JobLog(TProgram& p, int32_t id) {
  std::string name = jobbytes::JobFileName(id);
  return Texts(testutil::ReadLines(p.LogsDir() + name.substr(0, 8) + ".log"));
}

StepSpec Succeed(const std::string& name) { return {kTestPlugin, kSucceed, name}; }

}  // namespace

TEST(ProgramEngine, JobFileNamesAreMadeCanonicalAndLowerCaseHexIsAccepted) {
  TProgram p("names");
  p.AddTestPlugin("tp_good");
  PutJob(p, {.id = 0xABCD, .name = "Lower"}, "0000abcd.ovj");
  PutJob(p, {.id = 0x1111, .name = "Misnamed"}, "my job.ovj");
  ASSERT_TRUE(p.Start());
  EXPECT_EQ(testutil::ListFiles(p.JobsDir(), "*"),
            (std::vector<std::string>{"00001111.ovj", "0000abcd.ovj"}));
  EXPECT_EQ(testutil::ReadFileBytes(p.JobsDir() + "00001111.ovj"),
            JobFile({.id = 0x1111, .name = "Misnamed"}));
  p.Close();
  ASSERT_TRUE(p.WaitExit(30000));
}

TEST(ProgramEngine, TwoFilesHoldingOneIDKeepBothJobs) {
  TProgram p("dupid");
  PutJob(p, {.id = 0x2222, .name = "Original"});
  PutJob(p, {.id = 0x2222, .name = "Copy"}, "copy of it.ovj");
  ASSERT_TRUE(p.Start());
  p.Close();
  ASSERT_TRUE(p.WaitExit(30000));
  auto files = testutil::ListFiles(p.JobsDir(), "*.ovj");
  ASSERT_EQ(files.size(), 2u);
  std::vector<std::string> names;
  for (const auto& f : files) {
    Bytes b = testutil::ReadFileBytes(p.JobsDir() + f);
    ASSERT_GT(b.size(), 20u);
    names.emplace_back(reinterpret_cast<const char*>(b.data() + 12));
  }
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Copy", "Original"}));
  EXPECT_EQ(testutil::ReadFileBytes(p.JobsDir() + "00002222.ovj"),
            JobFile({.id = 0x2222, .name = "Original"}));
}

TEST(ProgramEngine, RunJobForAnUnknownIDAnswersZeroAndLogsNothing) {
  TProgram p("unknown");
  ASSERT_TRUE(p.Start());
  EXPECT_EQ(SendMessageA(p.AppWindow(), kRunJob, 0x7777, 0), 0);
  p.Close();
  ASSERT_TRUE(p.WaitExit(30000));
  for (const auto& l : Texts(p.MainLogLines())) EXPECT_EQ(l.find("Starting Job"), std::string::npos) << l;
}

TEST(ProgramEngine, AJobThatDeletesItselfAfterItsRunLeavesNoFileAndNoLog) {
  TProgram p("selfdelete");
  p.AddTestPlugin("tp_good");
  PutJob(p, {.id = 0x3333, .name = "Once", .actionAfterRun = 2, .steps = {Succeed("A")}});
  ASSERT_TRUE(p.Start());
  EXPECT_NE(SendMessageA(p.AppWindow(), kRunJob, 0x3333, 0), 0);
  EXPECT_TRUE(testutil::WaitFor(
      [&] { return !testutil::FileExists(p.JobsDir() + "00003333.ovj"); }, 10000));
  p.Close();
  ASSERT_TRUE(p.WaitExit(30000));
  EXPECT_FALSE(testutil::FileExists(p.JobsDir() + "00003333.ovj"));
  EXPECT_FALSE(testutil::FileExists(p.LogsDir() + "00003333.log"));
  auto log = Texts(p.MainLogLines());
  EXPECT_EQ(CountOf(log, "Starting Job [Once]"), 1u);
}

TEST(ProgramEngine, AJobThatDeactivatesItselfIsSavedInactive) {
  TProgram p("deactivate");
  p.AddTestPlugin("tp_good");
  JobSpec j{.id = 0x3434, .name = "Deact", .active = -1, .actionAfterRun = 1, .steps = {Succeed("A")}};
  PutJob(p, j);
  ASSERT_TRUE(p.Start());
  SendMessageA(p.AppWindow(), kRunJob, 0x3434, 0);
  testutil::WaitFor([] { return false; }, 1000);  // the run takes milliseconds
  p.Close();
  ASSERT_TRUE(p.WaitExit(30000));
  j.active = 0;
  EXPECT_EQ(testutil::ReadFileBytes(p.JobsDir() + "00003434.ovj"), JobFile(j));
  EXPECT_EQ(JobLog(p, 0x3434).back(), "Job executed successfully");
}

TEST(ProgramEngine, OnStartAndOnExitJobsRun) {
  TProgram p("startexit");
  p.AddTestPlugin("tp_good");
  PutJob(p, {.id = 0x4401, .name = "Starter", .active = -1, .steps = {Succeed("S")}, .runOnStart = true});
  PutJob(p, {.id = 0x4402, .name = "Ender", .active = -1, .steps = {Succeed("E")}, .runOnExit = true});
  PutJob(p, {.id = 0x4403, .name = "Inactive", .steps = {Succeed("I")}, .runOnStart = true, .runOnExit = true});
  ASSERT_TRUE(p.Start());
  p.Close();
  ASSERT_TRUE(p.WaitExit(30000));
  auto log = Texts(p.MainLogLines());
  auto start = std::find(log.begin(), log.end(), "Starting Job [Starter]");
  ASSERT_NE(start, log.end());
  EXPECT_EQ(*(start + 1), "Cause: On start");
  // "On exit" jobs are run directly: no "Starting Job" line.
  EXPECT_EQ(CountOf(log, "Starting Job [Ender]"), 0u);
  EXPECT_EQ(CountOf(log, "Starting Job [Inactive]"), 0u);
  EXPECT_EQ(JobLog(p, 0x4401).back(), "Job executed successfully");
  EXPECT_EQ(JobLog(p, 0x4402).back(), "Job executed successfully");
  EXPECT_TRUE(JobLog(p, 0x4403).empty());
}

TEST(ProgramEngine, AutomationArmsAndDisarmsTheEventsOfActiveJobs) {
  TProgram p("automation");
  p.AddTestPlugin("tp_good");
  PutJob(p, {.id = 0x5501, .name = "Armed", .active = -1, .events = {EventSpec{kTestPlugin, 0}}});
  PutJob(p, {.id = 0x5502, .name = "Inactive", .events = {EventSpec{kTestPlugin, 0}}});
  // The first event's plug-in is missing: the walk stops there, so the
  // second event is not armed either.
  PutJob(p, {.id = 0x5503, .name = "Broken", .active = -1,
             .events = {EventSpec{4242, 0}, EventSpec{kTestPlugin, 0}}});
  // A disabled event is never armed.
  PutJob(p, {.id = 0x5504, .name = "Disabled", .active = -1,
             .events = {EventSpec{kTestPlugin, 0, false}}});
  ASSERT_TRUE(p.Start());
  HWND app = p.AppWindow();
  SendMessageA(app, kAutomationOff, 0, 0);
  SendMessageA(app, kAutomationOff, 0, 0);  // already off: nothing more to stop
  SendMessageA(app, kAutomationOn, 0, 0);
  SendMessageA(app, kAutomationOn, 0, 0);   // already on: started events are not started twice
  p.Close();
  ASSERT_TRUE(p.WaitExit(30000));
  std::vector<std::string> runner;
  for (const auto& l : Texts(p.MainLogLines()))
    if (l.rfind("runner ", 0) == 0) runner.push_back(l);
  const std::string start = "runner 0 start " + std::to_string(0x5501);
  const std::string stop = "runner 0 stop " + std::to_string(0x5501);
  EXPECT_EQ(runner, (std::vector<std::string>{start, stop, start, stop}));
}

TEST(ProgramEngine, KillingTheHostWhileItSavesNeverLosesAJobFile) {
  constexpr int kJobs = 150;
  std::mt19937 rng(20261207);
  TProgram p("killsave");
  std::vector<Bytes> original(kJobs), changed(kJobs);
  for (int i = 0; i < kJobs; ++i) {
    JobSpec j{.id = 0x6000 + i, .name = "Job " + std::to_string(i), .steps = {Succeed("A"), Succeed("B")}};
    original[static_cast<size_t>(i)] = JobFile(j);
    j.priority = 4;  // what the host holds differs from what the disk holds
    changed[static_cast<size_t>(i)] = JobFile(j);
  }
  for (int round = 0; round < 8; ++round) {
    for (int i = 0; i < kJobs; ++i)
      testutil::WriteFileBytes(p.JobsDir() + jobbytes::JobFileName(0x6000 + i),
                               changed[static_cast<size_t>(i)]);
    ASSERT_TRUE(p.Start()) << "round " << round;
    // The disk now differs from the jobs in memory, so the exit saves them.
    for (int i = 0; i < kJobs; ++i)
      testutil::WriteFileBytes(p.JobsDir() + jobbytes::JobFileName(0x6000 + i),
                               original[static_cast<size_t>(i)]);
    p.Close();
    Sleep(std::uniform_int_distribution<int>(0, 120)(rng));
    p.Kill();
    for (int i = 0; i < kJobs; ++i) {
      Bytes b = testutil::ReadFileBytes(p.JobsDir() + jobbytes::JobFileName(0x6000 + i));
      ASSERT_TRUE(b == original[static_cast<size_t>(i)] || b == changed[static_cast<size_t>(i)])
          << "round " << round << ": job " << i << " is damaged or missing (" << b.size() << " bytes)";
    }
  }
}

TEST(ProgramEngine, TheExitWaitsForRunningJobsAndItsButtonStopsThenKills) {
  TProgram p("exitwait");
  p.AddTestPlugin("tp_good");
  PutJob(p, {.id = 0x7701, .name = "Sleeper", .steps = {{kTestPlugin, kSleep, "Long", true, jobbytes::DwordBlock(60000)},
                                                        Succeed("After")}});
  ASSERT_TRUE(p.Start());
  ASSERT_NE(SendMessageA(p.AppWindow(), kRunJob, 0x7701, 0), 0);
  // Let the run reach its long step: a stop before the first step would end
  // the run at once.
  testutil::WaitFor([] { return false; }, 500);
  p.Close();
  HWND wait = nullptr, button = nullptr;
  ASSERT_TRUE(testutil::WaitFor(
      [&] {
        wait = testutil::FindProcessWindow(p.ProcessId(), "TfWaitingForJobsTerminate");
        button = wait ? FindWindowExA(wait, nullptr, "Button", nullptr) : nullptr;
        return button && IsWindowVisible(wait);
      },
      10000));
  char caption[64] = {};
  GetWindowTextA(wait, caption, sizeof caption);
  EXPECT_STREQ(caption, "Orvane shutdown");
  GetWindowTextA(button, caption, sizeof caption);
  EXPECT_STREQ(caption, "Stop all Jobs");
  SendMessageA(button, BM_CLICK, 0, 0);
  GetWindowTextA(button, caption, sizeof caption);
  EXPECT_STREQ(caption, "Kill all Jobs");
  EXPECT_FALSE(p.WaitExit(500));  // a stop waits for the step in progress
  SendMessageA(button, BM_CLICK, 0, 0);
  ASSERT_TRUE(p.WaitExit(10000));
  auto log = Texts(p.MainLogLines());
  EXPECT_EQ(CountOf(log, "Job [Sleeper] killed by user."), 1u);
  auto job = JobLog(p, 0x7701);
  EXPECT_EQ(CountOf(job, "Executing \"After\""), 0u);
}

TEST(ProgramEngine, ManyJobsLoggingAtOnceKeepTheirLinesApartAndInOrder) {
  constexpr int kJobs = 100;
  constexpr int kLines = 1000;
  constexpr int kKept = 200;  // the default bound of a log
  TProgram p("loadlog");
  p.AddTestPlugin("tp_good");
  for (int i = 0; i < kJobs; ++i)
    PutJob(p, {.id = 0x8800 + i, .name = "Load " + std::to_string(i),
               .steps = {{kTestPlugin, 8, "Lines", true, jobbytes::DwordBlock(kLines)}}});
  ASSERT_TRUE(p.Start());
  HWND app = p.AppWindow();
  for (int i = 0; i < kJobs; ++i) ASSERT_NE(SendMessageA(app, kRunJob, 0x8800 + i, 0), 0);
  // The host answers at once while the jobs write.
  DWORD worst = 0;
  for (int k = 0; k < 20; ++k) {
    ULONGLONG t0 = GetTickCount64();
    DWORD_PTR r;
    ASSERT_TRUE(SendMessageTimeoutA(app, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &r));
    worst = std::max(worst, static_cast<DWORD>(GetTickCount64() - t0));
    Sleep(10);
  }
  EXPECT_LT(worst, 1000u);
  p.Close();
  ASSERT_TRUE(p.WaitExit(60000));
  for (int i = 0; i < kJobs; ++i) {
    auto lines = JobLog(p, 0x8800 + i);
    ASSERT_EQ(lines.size(), static_cast<size_t>(kKept)) << i;
    // The last lines of the run, in order: "line 803" .. "line 999" and the summary.
    for (int k = 0; k < kKept - 1; ++k)
      ASSERT_EQ(lines[static_cast<size_t>(k)], "line " + std::to_string(kLines - kKept + 1 + k)) << i;
    EXPECT_EQ(lines.back(), "Job executed successfully");
  }
}

TEST(ProgramEngine, AStepThatFaultsOrWhosePluginIsMissingFailsTheRun) {
  TProgram p("stepfaults");
  p.AddTestPlugin("tp_good");
  PutJob(p, {.id = 0x9901, .name = "Faulty", .steps = {{kTestPlugin, 2, "Fault"}, Succeed("After")}});
  PutJob(p, {.id = 0x9902, .name = "Orphan", .steps = {{4242, 0, "Gone"}, Succeed("After")}});
  ASSERT_TRUE(p.Start());
  for (int32_t id : {0x9901, 0x9902}) ASSERT_NE(SendMessageA(p.AppWindow(), kRunJob, id, 0), 0);
  testutil::WaitFor([] { return false; }, 1000);
  p.Close();
  ASSERT_TRUE(p.WaitExit(30000));
  auto faulty = JobLog(p, 0x9901);
  EXPECT_EQ(CountOf(faulty, "An error occured. Reconfigure this step."), 1u);
  EXPECT_EQ(CountOf(faulty, "succeed 0"), 0u);  // later steps are not executed
  EXPECT_EQ(faulty.back(), "Job executed abnormally");
  auto orphan = JobLog(p, 0x9902);
  EXPECT_EQ(CountOf(orphan, "Unknown plugin; ID=4242"), 1u);
  EXPECT_EQ(orphan.back(), "Job executed abnormally");
}

TEST(ProgramEngine, LogsStayWithTheirJobsFilesAndCutFilesLoad) {
  TProgram p("logsandcuts");
  p.AddTestPlugin("tp_good");
  testutil::MakeDirs(p.JobsDir());
  testutil::MakeDirs(p.LogsDir());
  // A job file that cannot be read is set aside, and its log is kept.
  testutil::WriteFileBytes(p.JobsDir() + "00001234.ovj", {'n', 'o', 'p', 'e'});
  testutil::WriteFileText(p.LogsDir() + "00001234.log", "I 01.01.2026: before the damage\r\n");
  testutil::WriteFileText(p.LogsDir() + "0000DEAD.log", "I 01.01.2026: an orphan\r\n");
  // Two files with one ID: the one that gets a new ID starts a log of its own.
  PutJob(p, {.id = 0x2222, .name = "Original", .steps = {Succeed("O")}});
  PutJob(p, {.id = 0x2222, .name = "Copy", .steps = {Succeed("C")}}, "copy of it.ovj");
  testutil::WriteFileText(p.LogsDir() + "00002222.log", "I 01.01.2026: the original's line\r\n");
  // A file that ends inside its last step's block loads with the block cut;
  // one cut inside an earlier block is set aside.
  Bytes whole = JobFile({.id = 0x3333, .name = "Cut", .steps = {{kTestPlugin, kSucceed, "Tail", true, Bytes(8, 7)}}});
  testutil::WriteFileBytes(p.JobsDir() + "00003333.ovj", Bytes(whole.begin(), whole.end() - 20 - 5));
  Bytes two = JobFile({.id = 0x4444, .name = "Broken",
                       .steps = {{kTestPlugin, kSucceed, "Head", true, Bytes(8, 7)}, Succeed("Tail")}});
  testutil::WriteFileBytes(p.JobsDir() + "00004444.ovj", Bytes(two.begin(), two.begin() + 68));
  ASSERT_TRUE(p.Start());

  EXPECT_TRUE(testutil::FileExists(p.JobsDir() + "00001234.ovj.bad"));
  EXPECT_TRUE(testutil::FileExists(p.LogsDir() + "00001234.log"));  // after the start's cleanup
  EXPECT_FALSE(testutil::FileExists(p.LogsDir() + "0000DEAD.log"));
  EXPECT_TRUE(testutil::FileExists(p.JobsDir() + "00004444.ovj.bad"));
  EXPECT_TRUE(testutil::FileExists(p.JobsDir() + "00003333.ovj.bad"));  // the bytes as found
  int32_t copyId = -1;
  for (const auto& f : testutil::ListFiles(p.JobsDir(), "*.ovj"))
    if (f != "00002222.ovj" && f != "00003333.ovj") copyId = static_cast<int32_t>(std::stoul(f.substr(0, 8), nullptr, 16));
  ASSERT_GE(copyId, 0);
  ASSERT_NE(SendMessageA(p.AppWindow(), kRunJob, copyId, 0), 0);
  ASSERT_NE(SendMessageA(p.AppWindow(), kRunJob, 0x3333, 0), 0);
  testutil::WaitFor([] { return false; }, 1000);
  p.Close();
  ASSERT_TRUE(p.WaitExit(30000));

  EXPECT_TRUE(testutil::FileExists(p.LogsDir() + "00001234.log"));  // after the exit's cleanup
  auto copy = JobLog(p, copyId);
  EXPECT_EQ(CountOf(copy, "the original's line"), 0u);
  EXPECT_EQ(copy.back(), "Job executed successfully");
  EXPECT_EQ(JobLog(p, 0x2222), std::vector<std::string>{"the original's line"});
  auto cut = JobLog(p, 0x3333);
  EXPECT_EQ(CountOf(cut, "succeed 3"), 1u);
  auto log = Texts(p.MainLogLines());
  EXPECT_EQ(CountOf(log, "Job \"Cut\": the settings of step \"Tail\" end early (3 of 8 bytes)"), 1u);
  // Written back whole at exit, the cut block as it was loaded.
  EXPECT_EQ(testutil::ReadFileBytes(p.JobsDir() + "00003333.ovj"),
            JobFile({.id = 0x3333, .name = "Cut", .steps = {{kTestPlugin, kSucceed, "Tail", true, Bytes(3, 7)}}}));
}

TEST(ProgramEngine, UserVariablesAddedByAStepSurviveAKill) {
  TProgram p("varskill");
  const std::string key = p.RegKey(HKEY_CURRENT_USER, "Software\\Halvorn\\Orvane\\User variables");
  p.AddTestPlugin("tp_good");
  std::string text = "KILLPROOF=kept";
  // The block is the text with its zero.
  Bytes file = JobFile({.id = 0x5151, .name = "Setter",
                        .steps = {{kTestPlugin, 11, "Set", true, [&] { Bytes b(text.begin(), text.end()); b.push_back(0); return b; }()}}});
  testutil::MakeDirs(p.JobsDir());
  testutil::WriteFileBytes(p.JobsDir() + jobbytes::JobFileName(0x5151), file);
  ASSERT_TRUE(p.Start());
  ASSERT_NE(SendMessageA(p.AppWindow(), kRunJob, 0x5151, 0), 0);
  auto stored = [&] {
    HKEY k;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    bool found = false;
    char name[64], value[256];
    for (DWORD i = 0;; ++i) {
      DWORD n = sizeof name, v = sizeof value, type = 0;
      if (RegEnumValueA(k, i, name, &n, nullptr, &type, reinterpret_cast<BYTE*>(value), &v) != ERROR_SUCCESS) break;
      if (type == REG_SZ && std::string(value) == "KILLPROOF=kept") found = true;
    }
    RegCloseKey(k);
    return found;
  };
  EXPECT_TRUE(testutil::WaitFor(stored, 5000));
  p.Kill();
  EXPECT_TRUE(stored());
}
