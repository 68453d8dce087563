// The alarm clock trigger at work: events started through the plug-in's
// runner entries, the clock ticked at simulated times as the timer would
// tick it, and the host's RunJob and Log services recording what the
// trigger asked for.
#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <string>
#include <vector>

#include "AlarmTestHost.h"
#include "OVPluginBlock.h"

using alarmtest::At;
using alarmtest::Fake;

namespace {

int32_t Ms(int h, int m = 0, int s = 0) { return ((h * 60 + m) * 60 + s) * 1000; }

std::vector<uint8_t> Block(const TAlarmSchedule& s) {
  TBlockWriter w;
  WriteAlarmBlock(s, w);
  return w.Bytes();
}

TAlarmSchedule Daily(std::vector<int32_t> times, TDateTime start = At(2000, 1, 1)) {
  TAlarmSchedule s;
  s.StartDate = start;
  s.Times = std::move(times);
  return s;
}

TAlarmSchedule Weekly(std::vector<int32_t> times, uint8_t days) {
  TAlarmSchedule s = Daily(std::move(times));
  s.Periodicity = apEveryWeek;
  s.DaysOfWeek = days;
  return s;
}

TAlarmSchedule Monthly(std::vector<int32_t> times, uint32_t days) {
  TAlarmSchedule s = Daily(std::move(times));
  s.Periodicity = apEveryMonth;
  s.DaysOfMonth = days;
  return s;
}

constexpr uint8_t kMonday = 1 << 2, kWednesday = 1 << 4;

class AlarmClock : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(record_ = alarmtest::LoadPlugin(), nullptr);
    ASSERT_NE(Window(), nullptr);
  }
  void TearDown() override {
    for (TOVRunnerParams& p : events_) alarmtest::FreeBlock(p);
    alarmtest::UnloadPlugin();
    ResetTestClock();
  }

  TfAlarmClock* Window() { return alarmtest::AlarmWindow(); }

  // The simulated clock: the wall time and the real time elapsed.
  void SetNow(TDateTime t) {
    wall_ = std::llround(t * kMsPerDay);
    SetTestClock(Now(), false);
  }
  TDateTime Now() const { return static_cast<double>(wall_) / kMsPerDay; }
  void Tick() {
    SetTestClock(Now(), false);
    Window()->TickAt({Now(), elapsed_});
  }
  // Time runs on to `to`; the timer ticks every 450 ms. Long stretches
  // before the time the clock is aimed at hold nothing but idle ticks: the
  // simulation passes them in one step, real time and wall time alike.
  void RunTo(TDateTime to) {
    const int64_t end = std::llround(to * kMsPerDay);
    while (wall_ < end) {
      int64_t step = TfAlarmClock::kTickMs;
      const TAlarmClock& clock = Window()->AlarmClock;
      if (clock.Enabled()) {
        int64_t quiet = std::llround(clock.AlarmTime() * kMsPerDay) - 1000 - wall_;
        step = std::max(step, quiet);
      }
      step = std::min(step, end - wall_);
      wall_ += step;
      elapsed_ += step;
      Tick();
    }
  }
  // The wall clock is set to `to` between two ticks that come on time.
  void StepTo(TDateTime to) {
    wall_ = std::llround(to * kMsPerDay);
    elapsed_ += TfAlarmClock::kTickMs;
    Tick();
  }
  // No tick until `to`: the computer slept, or the host was busy.
  void SleepTo(TDateTime to) {
    int64_t end = std::llround(to * kMsPerDay);
    elapsed_ += end - wall_;
    wall_ = end;
    Tick();
  }

  // Starts an alarm event of a job through the runner entry.
  TOVRunnerParams& StartEvent(int32_t job, const std::vector<uint8_t>& block) {
    events_.push_back(TOVRunnerParams{job, 0, nullptr});
    alarmtest::SetBlock(events_.back(), block);
    EXPECT_NE(record_->Runners->StartRunner(1, &events_.back()), 0);
    return events_.back();
  }
  TOVRunnerParams& StartEvent(int32_t job, const TAlarmSchedule& s) { return StartEvent(job, Block(s)); }
  void StopEvent(TOVRunnerParams& p) { record_->Runners->StopRunner(1, &p); }

  // The jobs run so far, and that every run had the trigger's cause.
  std::vector<int32_t> Runs() const {
    std::vector<int32_t> ids;
    for (const auto& [id, cause] : Fake().runs) {
      EXPECT_EQ(cause, "Alarm clock");
      ids.push_back(id);
    }
    return ids;
  }
  std::vector<std::string> Logs() const {
    std::vector<std::string> texts;
    for (const auto& [level, text] : Fake().logs) texts.push_back(text);
    return texts;
  }
  static std::string Missed(TDateTime when, int32_t job) {
    return "Alarm clock: missed " + FormatShortDate(when) + " " + FormatLongTime(when) + " of job \"Job " +
           std::to_string(job) + "\"";
  }

  TPluginRecord* record_ = nullptr;
  std::deque<TOVRunnerParams> events_;
  int64_t wall_ = 0;
  int64_t elapsed_ = 1000000;
};

}  // namespace

// ------------------------------------------------------------ ringing

TEST_F(AlarmClock, TwoEventsAtTheSameTimeBothRunOnce) {
  SetNow(At(2024, 3, 4, 9, 59, 50));
  StartEvent(1, Daily({Ms(10)}));
  StartEvent(2, Daily({Ms(8), Ms(10)}));
  RunTo(At(2024, 3, 4, 9, 59, 59, 999));
  EXPECT_TRUE(Runs().empty());
  // Within one tick of the due second.
  RunTo(At(2024, 3, 4, 10, 0, 0, 450));
  EXPECT_EQ(Runs(), (std::vector<int32_t>{1, 2}));
  RunTo(At(2024, 3, 4, 10, 5));
  EXPECT_EQ(Runs().size(), 2u);
  EXPECT_TRUE(Logs().empty());
}

TEST_F(AlarmClock, RingsAtTenThenAimsAtTwelve) {
  SetNow(At(2024, 3, 4, 9));
  StartEvent(7, Daily({Ms(12), Ms(10)}));
  EXPECT_EQ(Window()->AlarmClock.AlarmTime(), At(2024, 3, 4, 10));
  RunTo(At(2024, 3, 4, 10, 0, 1));
  EXPECT_EQ(Runs(), std::vector<int32_t>{7});
  EXPECT_EQ(Window()->AlarmClock.CurrentAlarmMs(), Ms(12));
  RunTo(At(2024, 3, 4, 12, 0, 1));
  EXPECT_EQ(Runs(), (std::vector<int32_t>{7, 7}));
}

TEST_F(AlarmClock, ATimeListedTwiceRunsTwice) {
  SetNow(At(2024, 3, 4, 9, 59, 59));
  StartEvent(3, Daily({Ms(10), Ms(10)}));
  RunTo(At(2024, 3, 4, 10, 0, 1));
  EXPECT_EQ(Runs(), (std::vector<int32_t>{3, 3}));
}

TEST_F(AlarmClock, AfterTheLastTimeItAimsAtMidnightAndTakesUpTheNewDaysRules) {
  // 2024-03-04 is a Monday.
  SetNow(At(2024, 3, 4, 22));
  StartEvent(1, Weekly({Ms(8), Ms(23)}, kMonday | kWednesday));
  StartEvent(2, Monthly({0, Ms(6)}, 1u << 5 | 1u << 6));  // the 6th and the 7th
  RunTo(At(2024, 3, 4, 23, 0, 1));
  EXPECT_EQ(Runs(), std::vector<int32_t>{1});
  EXPECT_EQ(Window()->AlarmClock.AlarmTime(), At(2024, 3, 5));
  // Tuesday: neither is due; the clock goes from midnight to midnight.
  RunTo(At(2024, 3, 5, 0, 0, 1));
  EXPECT_EQ(Window()->AlarmClock.AlarmTime(), At(2024, 3, 6));
  RunTo(At(2024, 3, 5, 23, 59, 59));
  EXPECT_EQ(Runs().size(), 1u);
  // Wednesday the 6th: midnight itself is a time of the monthly event.
  RunTo(At(2024, 3, 6, 0, 0, 1));
  EXPECT_EQ(Runs(), (std::vector<int32_t>{1, 2}));
  RunTo(At(2024, 3, 6, 23, 59));
  EXPECT_EQ(Runs(), (std::vector<int32_t>{1, 2, 2, 1, 1}));
  // Thursday the 7th: only the monthly event.
  RunTo(At(2024, 3, 7, 23, 59));
  EXPECT_EQ(Runs(), (std::vector<int32_t>{1, 2, 2, 1, 1, 2, 2}));
}

TEST_F(AlarmClock, TheLastDayOfTheMonthAlone) {
  struct {
    int y, m, d;
    bool rings;
  } days[] = {{2023, 1, 30, false}, {2023, 1, 31, true}, {2023, 2, 28, true},  {2024, 2, 28, false},
              {2024, 2, 29, true},  {2023, 4, 29, false}, {2023, 4, 30, true}};
  SetNow(At(2023, 1, 1));
  TOVRunnerParams& e = StartEvent(5, Monthly({Ms(9)}, kLastDayOfMonth));
  for (const auto& d : days) {
    Fake().runs.clear();
    // The event is started afresh on each day just before its time.
    StopEvent(e);
    SetNow(At(d.y, d.m, d.d, 8, 59, 59));
    ASSERT_NE(record_->Runners->StartRunner(1, &e), 0);
    RunTo(At(d.y, d.m, d.d, 9, 0, 1));
    EXPECT_EQ(Runs().size(), d.rings ? 1u : 0u) << d.y << "-" << d.m << "-" << d.d;
  }
  // Day by day across February and March of a leap year.
  Fake().runs.clear();
  StopEvent(e);
  SetNow(At(2024, 2, 27, 12));
  ASSERT_NE(record_->Runners->StartRunner(1, &e), 0);
  RunTo(At(2024, 3, 30, 12));
  EXPECT_EQ(Runs().size(), 1u);
  RunTo(At(2024, 3, 31, 12));
  EXPECT_EQ(Runs().size(), 2u);
}

TEST_F(AlarmClock, AWeeklyEventDoesNotRingOnADayNotChosen) {
  SetNow(At(2024, 3, 5, 7, 59, 58));  // a Tuesday
  StartEvent(1, Weekly({Ms(8)}, kMonday));
  EXPECT_EQ(Window()->AlarmClock.AlarmTime(), At(2024, 3, 6));
  RunTo(At(2024, 3, 5, 8, 1));
  EXPECT_TRUE(Runs().empty());
}

TEST_F(AlarmClock, AStartDateOfTomorrowWaitsForTomorrow) {
  SetNow(At(2024, 3, 4, 9, 59, 58));
  StartEvent(1, Daily({Ms(10)}, At(2024, 3, 5)));
  RunTo(At(2024, 3, 4, 10, 1));
  EXPECT_TRUE(Runs().empty());
  RunTo(At(2024, 3, 5, 10, 0, 1));
  EXPECT_EQ(Runs(), std::vector<int32_t>{1});
}

TEST_F(AlarmClock, TheOlderLayoutRingsEveryDayAtEachTime) {
  SetNow(At(2024, 3, 4, 9));
  // 10:00:00 and 12:00:00 as bare dwords.
  StartEvent(4, std::vector<uint8_t>{0x00, 0x51, 0x25, 0x02, 0x00, 0x2E, 0x93, 0x02});
  RunTo(At(2024, 3, 5, 23));
  EXPECT_EQ(Runs(), (std::vector<int32_t>{4, 4, 4, 4}));
}

TEST_F(AlarmClock, AnEventNeverConfiguredNeverRings) {
  SetNow(At(2024, 3, 4, 23, 59, 50));
  StartEvent(9, std::vector<uint8_t>{});
  EXPECT_TRUE(Window()->AlarmClock.Enabled());
  RunTo(At(2024, 3, 5, 0, 0, 10));
  EXPECT_TRUE(Runs().empty());
}

// ------------------------------------------------------------ start and stop

TEST_F(AlarmClock, TheClockTicksOnlyWhileAnEventIsStarted) {
  SetNow(At(2024, 3, 4, 9));
  EXPECT_FALSE(Window()->Ticking());
  EXPECT_FALSE(Window()->AlarmClock.Enabled());
  TOVRunnerParams& a = StartEvent(1, Daily({Ms(10)}));
  TOVRunnerParams& b = StartEvent(2, Daily({Ms(11)}));
  EXPECT_TRUE(Window()->Ticking());
  StopEvent(a);
  EXPECT_EQ(Window()->AlarmClock.AlarmTime(), At(2024, 3, 4, 11));
  StopEvent(b);
  EXPECT_FALSE(Window()->Ticking());
  EXPECT_FALSE(Window()->AlarmClock.Enabled());
  RunTo(At(2024, 3, 4, 12));
  EXPECT_TRUE(Runs().empty());
}

TEST_F(AlarmClock, StopRemovesTheEventItWasGivenNotAnotherOfTheJob) {
  SetNow(At(2024, 3, 4, 9));
  StartEvent(1, Daily({Ms(10)}));
  TOVRunnerParams& eleven = StartEvent(1, Daily({Ms(11)}));
  StopEvent(eleven);
  // The block of the stopped event is the host's again: it may go.
  alarmtest::FreeBlock(eleven);
  RunTo(At(2024, 3, 4, 10, 0, 1));
  EXPECT_EQ(Runs(), std::vector<int32_t>{1});
  RunTo(At(2024, 3, 4, 11, 0, 1));
  EXPECT_EQ(Runs(), std::vector<int32_t>{1});
  EXPECT_EQ(Window()->AlarmClock.Count(), 1u);
  // A record the clock never saw removes the job's first event.
  TOVRunnerParams stranger{1, 0, nullptr};
  record_->Runners->StopRunner(1, &stranger);
  EXPECT_EQ(Window()->AlarmClock.Count(), 0u);
  record_->Runners->StopRunner(1, &stranger);
}

TEST_F(AlarmClock, AnEventStartedAtItsTimeRingsThen) {
  SetNow(At(2024, 3, 4, 10));
  StartEvent(1, Daily({Ms(10)}));
  RunTo(At(2024, 3, 4, 10, 0, 1));
  EXPECT_EQ(Runs(), std::vector<int32_t>{1});
}

TEST_F(AlarmClock, ShutdownDestroysTheClockWindow) {
  SetNow(At(2024, 3, 4, 9));
  StartEvent(1, Daily({Ms(10)}));
  HWND clock = Window()->ClockWindow();
  ASSERT_TRUE(IsWindow(clock));
  alarmtest::UnloadPlugin();
  EXPECT_FALSE(IsWindow(clock));
  EXPECT_EQ(alarmtest::AlarmWindow(), nullptr);
  // A second load builds it anew.
  ASSERT_NE(record_ = alarmtest::LoadPlugin(), nullptr);
  EXPECT_TRUE(IsWindow(Window()->ClockWindow()));
  events_.clear();
}

// ------------------------------------------------------------ missed times

TEST_F(AlarmClock, AMissedTimeIsLoggedAndTheRestOfTheDayStillRings) {
  SetNow(At(2024, 3, 4, 9, 59, 59));
  StartEvent(1, Daily({Ms(10), Ms(12)}));
  StartEvent(2, Daily({Ms(10), Ms(10)}));
  Tick();
  // The computer sleeps from before ten until half past.
  SleepTo(At(2024, 3, 4, 10, 30));
  EXPECT_TRUE(Runs().empty());
  EXPECT_EQ(Logs(), (std::vector<std::string>{Missed(At(2024, 3, 4, 10), 1), Missed(At(2024, 3, 4, 10), 2)}));
  ASSERT_FALSE(Fake().logs.empty());
  EXPECT_EQ(Fake().logs[0].first, static_cast<uint32_t>(OV_LOG_WARNING));
  EXPECT_EQ(Window()->AlarmClock.AlarmTime(), At(2024, 3, 4, 12));
  RunTo(At(2024, 3, 4, 12, 0, 1));
  EXPECT_EQ(Runs(), std::vector<int32_t>{1});
  EXPECT_EQ(Logs().size(), 2u);
}

TEST_F(AlarmClock, EveryTimeSleptThroughIsLoggedOnceAcrossMidnight) {
  SetNow(At(2024, 3, 4, 22));
  StartEvent(1, Daily({Ms(6), Ms(23)}));
  Tick();
  SleepTo(At(2024, 3, 5, 7));
  EXPECT_TRUE(Runs().empty());
  EXPECT_EQ(Logs(), (std::vector<std::string>{Missed(At(2024, 3, 4, 23), 1), Missed(At(2024, 3, 5, 6), 1)}));
  RunTo(At(2024, 3, 5, 23, 0, 1));
  EXPECT_EQ(Runs(), std::vector<int32_t>{1});
}

TEST_F(AlarmClock, ATickLateByLessThanAMinuteStillRings) {
  SetNow(At(2024, 3, 4, 9, 59, 59));
  StartEvent(1, Daily({Ms(10), Ms(10, 0, 20)}));
  Tick();
  // The host was busy for half a minute.
  SleepTo(At(2024, 3, 4, 10, 0, 30));
  EXPECT_EQ(Runs(), (std::vector<int32_t>{1, 1}));
  EXPECT_TRUE(Logs().empty());
}

TEST_F(AlarmClock, SleepingForDaysReportsOnlyTheLastDay) {
  SetNow(At(2024, 3, 1, 12));
  StartEvent(1, Daily({Ms(9)}));
  Tick();
  SleepTo(At(2024, 3, 20, 12));
  EXPECT_EQ(Logs(), std::vector<std::string>{Missed(At(2024, 3, 20, 9), 1)});
  RunTo(At(2024, 3, 21, 9, 0, 1));
  EXPECT_EQ(Runs(), std::vector<int32_t>{1});
}

// ------------------------------------------------------------ clock changes

TEST_F(AlarmClock, ATimeInTheHourSkippedInSpringRingsOnceAtTheJump) {
  SetNow(At(2024, 3, 31, 1, 59));
  StartEvent(1, Daily({Ms(2, 15), Ms(2, 30), Ms(3, 30)}));
  RunTo(At(2024, 3, 31, 1, 59, 59, 800));
  // Daylight saving starts: 02:00 is 03:00.
  StepTo(At(2024, 3, 31, 3, 0, 0, 250));
  EXPECT_EQ(Runs(), (std::vector<int32_t>{1, 1}));
  EXPECT_TRUE(Logs().empty());
  RunTo(At(2024, 3, 31, 3, 30, 1));
  EXPECT_EQ(Runs().size(), 3u);
  RunTo(At(2024, 3, 31, 23));
  EXPECT_EQ(Runs().size(), 3u);
}

TEST_F(AlarmClock, ATimeInTheHourRepeatedInAutumnRingsOnce) {
  SetNow(At(2024, 10, 27, 1, 50));
  TOVRunnerParams& e = StartEvent(1, Daily({Ms(2, 30), Ms(4)}));
  RunTo(At(2024, 10, 27, 2, 59, 59, 900));
  EXPECT_EQ(Runs().size(), 1u);
  // Daylight saving ends: 03:00 is 02:00 again.
  StepTo(At(2024, 10, 27, 2, 0, 0, 350));
  RunTo(At(2024, 10, 27, 2, 10));
  // The job is edited in the repeated hour: its events stop and start.
  StopEvent(e);
  ASSERT_NE(record_->Runners->StartRunner(1, &e), 0);
  EXPECT_EQ(Window()->AlarmClock.AlarmTime(), At(2024, 10, 27, 4));
  RunTo(At(2024, 10, 27, 3, 59));
  EXPECT_EQ(Runs().size(), 1u);
  RunTo(At(2024, 10, 27, 4, 0, 1));
  EXPECT_EQ(Runs().size(), 2u);
}

TEST_F(AlarmClock, AClockSetFarForwardMissesTheTimesBetween) {
  SetNow(At(2024, 3, 4, 9, 59));
  StartEvent(1, Daily({Ms(10), Ms(18)}));
  Tick();
  StepTo(At(2024, 3, 4, 17));
  EXPECT_TRUE(Runs().empty());
  EXPECT_EQ(Logs(), std::vector<std::string>{Missed(At(2024, 3, 4, 10), 1)});
  RunTo(At(2024, 3, 4, 18, 0, 1));
  EXPECT_EQ(Runs(), std::vector<int32_t>{1});
}

TEST_F(AlarmClock, AClockPutBackADayRingsTheDayAgain) {
  SetNow(At(2024, 3, 5, 9, 59));
  StartEvent(1, Daily({Ms(10)}));
  RunTo(At(2024, 3, 5, 10, 0, 1));
  EXPECT_EQ(Runs().size(), 1u);
  // The clock ran a day ahead and is corrected.
  StepTo(At(2024, 3, 4, 9, 59));
  RunTo(At(2024, 3, 4, 10, 0, 1));
  EXPECT_EQ(Runs().size(), 2u);
}
