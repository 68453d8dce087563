// Where a line of the Log service lands, how it is stored and how log files
// are written, read back and cleaned up.
#include <gtest/gtest.h>

#include <thread>

#include "Host.h"
#include "HostTest.h"
#include "OVClassesJob.h"
#include "OVClassesLog.h"
#include "OVClock.h"
#include "TestUtil.h"
#include "uSettings.h"

namespace {

// One Log call from a thread that runs no job; waits until it is filed.
void LogFromOtherThread(uint32_t level, const char* text) {
  int before = MainLog->Count();
  std::thread t([&] { HostRecord.Log(level, text); });
  t.join();
  testutil::WaitFor([&] { return MainLog->Count() > before; }, 5000);
}

struct MaxLogSize {
  explicit MaxLogSize(int n) : saved(Settings.MaxLogSize) { Settings.MaxLogSize = n; }
  ~MaxLogSize() { Settings.MaxLogSize = saved; }
  int saved;
};

}  // namespace

TEST(LogRouting, MainThreadLinesGoToTheMainLogWithRaisedWarningAndErrorLevels) {
  ClearMainLog();
  HostRecord.Log(OV_LOG_INFO, "info");
  HostRecord.Log(OV_LOG_WARNING, "warn");
  HostRecord.Log(OV_LOG_ERROR, "error");
  EXPECT_EQ(MainLogTexts(), (std::vector<std::string>{"info", "warn", "error"}));
  EXPECT_EQ(MainLog->LevelOf(0), lvInfoMain);
  EXPECT_EQ(MainLog->LevelOf(1), lvWarning);
  EXPECT_EQ(MainLog->LevelOf(2), lvError);
}

TEST(LogRouting, LinesFromAThreadOfNoJobAreMarkedAndKeepTheirLevel) {
  ClearMainLog();
  LogFromOtherThread(OV_LOG_WARNING, "stray");
  LogFromOtherThread(OV_LOG_INFO, "quiet");
  EXPECT_EQ(MainLogTexts(), (std::vector<std::string>{"* stray", "* quiet"}));
  EXPECT_EQ(MainLog->LevelOf(0), 1);
  EXPECT_EQ(MainLog->LevelOf(1), 0);
}

TEST(LogRouting, LineBreaksBecomeCommas) {
  ClearMainLog();
  HostRecord.Log(OV_LOG_INFO, "one\r\ntwo\nthree\rfour");
  EXPECT_EQ(MainLogTexts(), std::vector<std::string>{"one,two,threefour"});
}

TEST(LogRouting, LinesCarryTheLocalDateAndLongTime) {
  ClearMainLog();
  SetTestClock(EncodeDateTime(2026, 12, 7, 9, 5, 3), false);
  HostRecord.Log(OV_LOG_INFO, "stamped");
  SetTestClock(EncodeDateTime(2026, 12, 8, 0, 0, 0), false);
  HostRecord.Log(OV_LOG_INFO, "midnight");
  ResetTestClock();
  ASSERT_EQ(MainLog->Count(), 2);
  EXPECT_EQ(MainLog->Strings(0), FormatShortDate(EncodeDate(2026, 12, 7)) + " " +
                                     FormatLongTime(EncodeDateTime(2026, 12, 7, 9, 5, 3)) +
                                     ": stamped");
  EXPECT_EQ(MainLog->Strings(0), "12/7/2026 9:05:03 AM: stamped");  // the test prefix's locale
  EXPECT_EQ(MainLog->Strings(1), "12/8/2026: midnight");
}

TEST(Log, KeepsAtMostMaxLogSizeLinesInTheLogAndItsView) {
  MaxLogSize limit(3);
  HWND view = CreateWindowExA(0, "LISTBOX", "", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                              nullptr, nullptr);
  TOVLog log(nullptr);
  log.AutoSave = false;
  log.Add(lvInfoMain, "a");
  log.AttachView(view);
  EXPECT_EQ(SendMessageA(view, LB_GETCOUNT, 0, 0), 1);
  log.Add(lvWarning, "b");
  log.Add(lvError, "c");
  log.Add(lvInfoJob, "d");
  testutil::Pump();  // the view follows when the main thread is idle
  ASSERT_EQ(log.Count(), 3);
  EXPECT_EQ(log.Strings(0), "b");
  EXPECT_EQ(log.Strings(2), "d");
  ASSERT_EQ(SendMessageA(view, LB_GETCOUNT, 0, 0), 3);
  char first[16] = {};
  SendMessageA(view, LB_GETTEXT, 0, reinterpret_cast<LPARAM>(first));
  EXPECT_STREQ(first, "b");
  EXPECT_EQ(SendMessageA(view, LB_GETITEMDATA, 0, 0), lvWarning);
  log.AttachView(nullptr);
  DestroyWindow(view);
}

TEST(Log, AJobWithoutToLogKeepsNoLines) {
  TOVJob job(nullptr);
  job.Log()->AutoSave = false;
  EXPECT_FALSE(job.ToLog());
  EXPECT_EQ(job.Log()->Add(lvInfoJob, "dropped"), -1);
  EXPECT_EQ(job.Log()->Count(), 0);
  job.SetToLog(true);
  EXPECT_EQ(job.Log()->Add(lvInfoJob, "kept"), 0);
}

TEST(Log, SavesLevelLettersAndReadsThemBack) {
  std::string saved = Settings.LogDir;
  Settings.LogDir = testutil::MakeTempDir("logfile");
  {
    TOVLog log(nullptr);
    log.Add(lvInfoMain, "main info");
    log.Add(lvInfoJob, "job info");
    log.Add(lvWarning, "warning");
    log.Add(lvError, "error");
    log.Add(lvDebug, "debug");
    log.Add(lvUnknown, "odd");
  }  // auto-save on destruction
  EXPECT_EQ(testutil::ReadLines(Settings.LogDir + "OV.log"),
            (std::vector<std::string>{"I main info", "I job info", "W warning", "E error",
                                      "D debug", "  odd"}));
  EXPECT_EQ(testutil::ReadFileText(Settings.LogDir + "OV.log").substr(0, 13), "I main info\r\n");
  testutil::WriteFileText(Settings.LogDir + "OV.log",
                          testutil::ReadFileText(Settings.LogDir + "OV.log") + "w lower\r\nX x\r\n");
  TOVLog back(nullptr);
  back.AutoSave = false;
  back.LoadLog();
  ASSERT_EQ(back.Count(), 8);
  std::vector<int> levels;
  for (int i = 0; i < back.Count(); ++i) levels.push_back(back.LevelOf(i));
  // Information lines of the main log come back as job information (1).
  EXPECT_EQ(levels, (std::vector<int>{1, 1, 2, 3, 5, 4, 2, 4}));
  EXPECT_EQ(back.Strings(0), "main info");
  EXPECT_EQ(back.Strings(6), "lower");
  testutil::RemoveTree(Settings.LogDir);
  Settings.LogDir = saved;
}

TEST(Log, ALoadedLogKeepsOnlyTheLastMaxLogSizeLines) {
  std::string saved = Settings.LogDir;
  Settings.LogDir = testutil::MakeTempDir("loglimit");
  testutil::WriteFileText(Settings.LogDir + "OV.log", "I 1\r\nI 2\r\nI 3\r\nI 4\r\nI 5\r\n");
  {
    MaxLogSize limit(2);
    TOVLog log(nullptr);
    log.AutoSave = false;
    log.LoadLog();
    ASSERT_EQ(log.Count(), 2);
    EXPECT_EQ(log.Strings(0), "4");
  }
  testutil::RemoveTree(Settings.LogDir);
  Settings.LogDir = saved;
}

TEST(Log, OrphanRemovalKeepsTheMainLogAndLogsOfExistingJobs) {
  std::string logs = testutil::MakeTempDir("orphlogs");
  std::string jobs = testutil::MakeTempDir("orphjobs");
  for (const char* f : {"ov.log", "0000000A.log", "0000000B.log", "notes.log"})
    testutil::WriteFileText(logs + f, "I x\r\n");
  testutil::WriteFileText(logs + ".hidden.log", "I x\r\n");
  testutil::WriteFileText(jobs + "0000000A.ovj", "OV");
  testutil::WriteFileText(logs + "keep.txt", "x");
  RemoveOrphanedLogs(logs, jobs);
  EXPECT_EQ(testutil::ListFiles(logs, "*"), (std::vector<std::string>{"0000000A.log", "keep.txt", "ov.log"}));
  testutil::RemoveTree(logs);
  testutil::RemoveTree(jobs);
}
