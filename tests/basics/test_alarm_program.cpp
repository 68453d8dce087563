// The real orvane.exe with the delivered General plug-in: a job with an
// alarm event, its clock started a few seconds before the alarm by
// ORVANE_CLOCK, is run by the alarm once; an event not due today is not.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "JobFileBytes.h"
#include "TestUtil.h"

using jobbytes::Bytes;
using jobbytes::PutDword;

namespace {

void PutDouble(Bytes& b, double v) {
  uint8_t raw[8];
  std::memcpy(raw, &v, 8);
  b.insert(b.end(), raw, raw + 8);
}

// An alarm block in the current layout: start date 2024-03-01, one time.
Bytes AlarmBlock(int32_t timeMs, int32_t periodicity, uint8_t weekDays) {
  Bytes b;
  PutDword(b, 0x7FFFFFFF);
  PutDouble(b, 45352.0);
  PutDword(b, 1);
  PutDword(b, timeMs);
  PutDword(b, periodicity);
  if (periodicity == 1) b.push_back(weekDays);
  return b;
}

jobbytes::JobSpec AlarmJob(int32_t id, const std::string& name, const Bytes& block) {
  jobbytes::JobSpec j;
  j.id = id;
  j.name = name;
  j.active = -1;
  j.events.push_back({9680, 1, true, block});
  return j;
}

std::vector<std::string> Texts(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const auto& l : lines) out.push_back(testutil::LogText(l.size() > 2 ? l.substr(2) : l));
  return out;
}

}  // namespace

TEST(AlarmProgram, TheAlarmRunsItsJobOnceInTheRealProgram) {
  testutil::TProgram p("alarmprogram");
  p.AddDistPlugins();
  ASSERT_TRUE(CreateDirectoryA(p.JobsDir().c_str(), nullptr));
  const int32_t ten = 10 * 3600 * 1000;
  testutil::WriteFileBytes(p.JobsDir() + jobbytes::JobFileName(0x0A1A0001),
                           jobbytes::JobFile(AlarmJob(0x0A1A0001, "Wake up", AlarmBlock(ten, 0, 0))));
  // 2024-03-04 is a Monday; this one is due on Tuesdays only.
  testutil::WriteFileBytes(p.JobsDir() + jobbytes::JobFileName(0x0A1A0002),
                           jobbytes::JobFile(AlarmJob(0x0A1A0002, "Tuesday", AlarmBlock(ten, 1, 1 << 3))));

  // The plug-in's clock starts when the plug-in loads, before the program
  // has finished starting: three seconds after Start returns, the alarm's
  // second is behind it.
  ASSERT_TRUE(p.Start("", {"ORVANE_CLOCK=2024-03-04 09:59:57"}));
  testutil::WaitFor([] { return false; }, 3000 + 1000);
  p.Close();
  ASSERT_TRUE(p.WaitExit(30000));
  EXPECT_EQ(p.ExitCode(), 0u);

  auto log = Texts(p.MainLogLines());
  EXPECT_EQ(std::count(log.begin(), log.end(), "Cause: Alarm clock"), 1) << testutil::ReadFileText(p.LogsDir() + "OV.log");
  auto start = std::find(log.begin(), log.end(), "Starting Job [Wake up]");
  ASSERT_NE(start, log.end());
  ASSERT_NE(start + 1, log.end());
  EXPECT_EQ(start[1], "Cause: Alarm clock");
  EXPECT_EQ(std::find(log.begin(), log.end(), "Starting Job [Tuesday]"), log.end());
}
