// The alarm clock's block in both layouts, spelled out byte by byte, and
// the rules that make an event due on a date.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "AlarmTestHost.h"
#include "JobFileBytes.h"
#include "OVPluginBlock.h"
#include "uAlarmClockSchedule.h"

using alarmtest::At;
using jobbytes::Bytes;
using jobbytes::Cat;
using jobbytes::Hex;

namespace {

TAlarmSchedule Read(const Bytes& b) {
  return ReadAlarmBlock(b.empty() ? nullptr : b.data(), static_cast<int32_t>(b.size()));
}

// 2024-03-01 as a date-time: 45352 days after 1899-12-30.
const std::string kStart20240301 = "000000000025E640";

// A weekly block: start 2024-03-01, 07:15:30 and 18:00:00, Monday and
// Friday (bits 2 and 6).
const Bytes kWeekly = Cat({"FFFFFF7F", kStart20240301, "02000000", "50B68E01", "00C5DC03",
                           "01000000", "44"});

// Whether an event rings at all at `when`.
bool DueOn(const TAlarmSchedule& s, TDateTime when) { return DueAt(s, when); }

TAlarmSchedule Monthly(uint32_t days) {
  TAlarmSchedule s;
  s.Configured = true;
  s.StartDate = At(2000, 1, 1);
  s.Times = {9 * 3600000};
  s.Periodicity = apEveryMonth;
  s.DaysOfMonth = days;
  return s;
}

}  // namespace

// ------------------------------------------------------------ the layouts

TEST(AlarmBlock, TheCurrentLayoutIsReadElementByElement) {
  ASSERT_EQ(EncodeDate(2024, 3, 1), 45352.0);
  TAlarmSchedule s = Read(kWeekly);
  EXPECT_TRUE(s.Configured);
  EXPECT_FALSE(s.Damaged);
  EXPECT_FALSE(s.OlderLayout);
  EXPECT_EQ(s.StartDate, EncodeDate(2024, 3, 1));
  EXPECT_EQ(s.Times, (std::vector<int32_t>{(7 * 3600 + 15 * 60 + 30) * 1000, 18 * 3600000}));
  EXPECT_EQ(s.Periodicity, apEveryWeek);
  EXPECT_EQ(s.DaysOfWeek, 0x44);
  EXPECT_EQ(kWeekly.size(), 4u * 2 + 20 + 1);

  Bytes monthly = Cat({"FFFFFF7F", kStart20240301, "01000000", "00000000", "02000000", "01000080"});
  s = Read(monthly);
  EXPECT_EQ(s.Times, std::vector<int32_t>{0});
  EXPECT_EQ(s.Periodicity, apEveryMonth);
  EXPECT_EQ(s.DaysOfMonth, 0x80000001u);
}

TEST(AlarmBlock, TheWriterPutsDownTheSameBytes) {
  TAlarmSchedule s;
  s.StartDate = EncodeDate(2024, 3, 1);
  s.Times = {(7 * 3600 + 15 * 60 + 30) * 1000, 18 * 3600000};
  s.Periodicity = apEveryWeek;
  s.DaysOfWeek = 0x44;
  s.DaysOfMonth = 0xFFFFFFFF;  // not written for a weekly event
  TBlockWriter w;
  WriteAlarmBlock(s, w);
  EXPECT_EQ(w.Bytes(), kWeekly);

  s.Periodicity = apEveryDay;
  TBlockWriter daily;
  WriteAlarmBlock(s, daily);
  EXPECT_EQ(daily.Size(), 4u * 2 + 20);
}

TEST(AlarmBlock, TheOlderLayoutIsTimesOnlyEveryDay) {
  // 10:00:00, 12:00:00, and two stray bytes that make no time.
  Bytes old = Cat({"00512502", "002E9302", "0102"});
  TAlarmSchedule s = Read(old);
  EXPECT_TRUE(s.OlderLayout);
  EXPECT_EQ(s.Times, (std::vector<int32_t>{10 * 3600000, 12 * 3600000}));
  // No start date: due on any day at all.
  EXPECT_TRUE(DueOn(s, At(1990, 1, 1, 10)));
  EXPECT_TRUE(DueOn(s, At(2031, 7, 19, 10)));
}

TEST(AlarmBlock, AnEmptyBlockIsNeverDue) {
  TAlarmSchedule s = Read({});
  EXPECT_FALSE(s.Configured);
  EXPECT_TRUE(s.Times.empty());
  EXPECT_FALSE(DueOn(s, At(2024, 3, 4, 10)));
  // A size without data is no block either.
  EXPECT_FALSE(ReadAlarmBlock(nullptr, 12).Configured);
}

TEST(AlarmBlock, ACutOrLyingBlockNeverRings) {
  for (size_t n = 1; n < kWeekly.size(); ++n) {
    Bytes cut(kWeekly.begin(), kWeekly.begin() + static_cast<long>(n));
    TAlarmSchedule s = Read(cut);
    bool rings = !s.Times.empty() && DueOn(s, At(2024, 3, 4, 7, 15, 30));
    EXPECT_FALSE(rings) << "cut to " << n;
  }
  // A count far beyond the block.
  TAlarmSchedule s = Read(Cat({"FFFFFF7F", kStart20240301, "FFFFFFFF", "00512502"}));
  EXPECT_TRUE(s.Damaged);
  EXPECT_FALSE(DueOn(s, At(2024, 3, 4, 10)));
  // A start date that is no date.
  s = Read(Cat({"FFFFFF7F", "000000000000F87F", "01000000", "00512502", "00000000"}));
  EXPECT_TRUE(s.Damaged);
}

TEST(AlarmBlock, TimesOutsideADayAreLeftOut) {
  // 24:00:00 and 0xFFFFFFFF in the older layout, one good time between.
  TAlarmSchedule s = Read(Cat({"005C2605", "00512502", "FFFFFFFF"}));
  EXPECT_EQ(s.Times, std::vector<int32_t>{10 * 3600000});
}

// ------------------------------------------------------------ due today

TEST(AlarmDue, WeekdayBitsCountFromSunday) {
  TAlarmSchedule s = Read(kWeekly);  // Monday and Friday
  // 2024-03-03 is a Sunday.
  const bool expected[7] = {false, true, false, false, false, true, false};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(DueOn(s, At(2024, 3, 3 + i, 12)), expected[i]) << "day " << 3 + i;
  s.DaysOfWeek = 1 << 1 | 1 << 7;  // Sunday and Saturday
  EXPECT_TRUE(DueOn(s, At(2024, 3, 3, 12)));
  EXPECT_TRUE(DueOn(s, At(2024, 3, 9, 12)));
  EXPECT_FALSE(DueOn(s, At(2024, 3, 8, 12)));
  s.DaysOfWeek = 1;  // bit 0 names no day
  for (int i = 0; i < 7; ++i) EXPECT_FALSE(DueOn(s, At(2024, 3, 3 + i, 12)));
}

TEST(AlarmDue, MonthDayBitsAndTheLastDay) {
  TAlarmSchedule first = Monthly(1);
  EXPECT_TRUE(DueOn(first, At(2024, 2, 1, 9)));
  EXPECT_FALSE(DueOn(first, At(2024, 2, 2, 9)));
  TAlarmSchedule d31 = Monthly(1u << 30);
  EXPECT_TRUE(DueOn(d31, At(2024, 1, 31, 9)));
  EXPECT_FALSE(DueOn(d31, At(2024, 4, 30, 9)));  // April has no 31st, and 31 is not "#"

  TAlarmSchedule last = Monthly(kLastDayOfMonth);
  struct {
    int y, m, d;
    bool due;
  } cases[] = {
      {2023, 1, 31, true},  {2023, 1, 30, false}, {2023, 2, 28, true},  {2023, 3, 1, false},
      {2024, 2, 28, false}, {2024, 2, 29, true},  {2023, 4, 30, true},  {2023, 4, 29, false},
      {2100, 2, 28, true},  {2000, 2, 28, false}, {2000, 2, 29, true},  {2023, 12, 31, true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(DueOn(last, At(c.y, c.m, c.d, 9)), c.due) << c.y << "-" << c.m << "-" << c.d;
}

TEST(AlarmDue, NotBeforeTheStartDateAndTime) {
  TAlarmSchedule s = Read(kWeekly);
  s.Periodicity = apEveryDay;
  EXPECT_FALSE(DueOn(s, At(2024, 2, 29, 23, 59, 59, 999)));
  EXPECT_TRUE(DueOn(s, At(2024, 3, 1)));
  s.StartDate = At(2024, 3, 1, 12);
  EXPECT_FALSE(DueOn(s, At(2024, 3, 1, 10)));
  EXPECT_TRUE(DueOn(s, At(2024, 3, 1, 12)));
}

TEST(AlarmDue, AnUnknownPeriodicityIsNeverDue) {
  TAlarmSchedule s = Read(kWeekly);
  s.Periodicity = 3;
  EXPECT_FALSE(DueOn(s, At(2024, 3, 4, 12)));
}
