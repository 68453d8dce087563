// The alarm clock's schedule, apart from any window: the event's block in
// both layouts, when an event is due, and the one clock that all started
// alarm-clock events share.
//
// The clock works in local wall time (the clock seam). It keeps a mark of
// the wall time up to which every alarm has been dealt with; it never rings
// a time at or before that mark again, which is what keeps an alarm in the
// hour repeated when daylight saving ends from ringing twice. A tick that
// finds the wall clock moved well past an alarm tells, from the real time
// elapsed since the previous tick, whether the clock was stepped (daylight
// saving starting, the user setting the clock: the stepped-over times ring
// at once) or whether time really passed without a tick (the computer
// slept, the host was busy: the times are reported as missed and the clock
// aims at the next time still to come).
#pragma once

#include <climits>
#include <cstdint>
#include <functional>
#include <vector>

#include "OVClock.h"

class TBlockWriter;

// First dword of the current layout; older blocks hold only times.
constexpr uint32_t kAlarmMarker = 0x7FFFFFFF;

enum TAlarmPeriodicity : uint32_t { apEveryDay = 0, apEveryWeek = 1, apEveryMonth = 2 };

// Bit 31 of the month days ("#"): the last day of the month.
constexpr uint32_t kLastDayOfMonth = 0x80000000u;

struct TAlarmSchedule {
  // An empty block: the event was never configured and is never due.
  bool Configured = false;
  // The block ends before its elements: never due.
  bool Damaged = false;
  // Times only: due every day, no start date.
  bool OlderLayout = false;
  TDateTime StartDate = 0;
  // Times of day in milliseconds since midnight, in block order; times
  // outside a day are left out.
  std::vector<int32_t> Times;
  uint32_t Periodicity = apEveryDay;
  // Bit d set: weekday d is chosen (1 = Sunday .. 7 = Saturday).
  uint8_t DaysOfWeek = 0;
  // Bit d-1 set: day d of the month is chosen; kLastDayOfMonth.
  uint32_t DaysOfMonth = 0;
};

// Reads a block without reading past size.
TAlarmSchedule ReadAlarmBlock(const void* data, int32_t size);
// Writes the current layout: marker, start date, count, times,
// periodicity, then the weekday byte or the month-day dword.
void WriteAlarmBlock(const TAlarmSchedule& schedule, TBlockWriter& writer);

// Whether the event is due at `when`: on or after its start date and on a
// chosen day of `when`'s date. "Due today" is DueAt(schedule, now).
bool DueAt(const TAlarmSchedule& schedule, TDateTime when);

// What a tick reads: the wall time from the clock seam
// and a monotonic count of real milliseconds (it includes time spent
// asleep, like the system's tick count).
struct TClockReading {
  TDateTime Wall;
  int64_t Elapsed;
};
// The reading the running program uses.
TClockReading ReadClock();

// All started alarm-clock events and their one clock.
class TAlarmClock {
 public:
  // A tick up to this late still rings.
  static constexpr int64_t kRingLateness = 60 * 1000;
  // A tick that comes this soon after the previous one came on time; if the
  // wall clock moved much further, the clock was stepped.
  static constexpr int64_t kTickOnTime = 5 * 1000;
  static constexpr int64_t kStepAtLeast = 1000;
  // Larger steps than any daylight-saving shift are not stepped-over time
  // but a clock set far forward: its alarms count as missed.
  static constexpr int64_t kLargestShift = 3 * 3600 * 1000;
  // Stepping back by more than this is a correction of a clock that ran
  // ahead, not a repeated hour: the alarms from then on ring again.
  static constexpr int64_t kLargestBackStep = 3 * 3600 * 1000;
  // Missed times older than this at a tick are dropped without a report.
  static constexpr int64_t kMissedHorizon = 24 * 3600 * 1000LL;

  // Called for every run: the job's ID.
  std::function<void(int32_t jobId)> OnRun;
  // Called for every due event that had the missed time.
  std::function<void(int32_t jobId, TDateTime missed)> OnMissed;

  // Adds a started event. key tells it apart from the other events of the
  // same job (the host's record of the event).
  void Start(int32_t jobId, const void* key, TAlarmSchedule schedule, TDateTime now);
  // Removes the event with that job and key, else the first event of the
  // job; false when the job has none.
  bool Stop(int32_t jobId, const void* key, TDateTime now);
  void Clear();
  size_t Count() const { return entries_.size(); }

  // One tick of the clock.
  void Tick(const TClockReading& now);

  // The clock is idle (disabled) while no event is started.
  bool Enabled() const { return enabled_; }
  // The wall time the clock is aimed at, and its time of day in ms.
  TDateTime AlarmTime() const;
  int32_t CurrentAlarmMs() const;

 private:
  struct TEntry {
    int32_t JobID;
    const void* Key;
    TAlarmSchedule Schedule;
  };
  // Aims at the first alarm after the wall time `after` (ms): the earliest
  // time of the day due then, else the next midnight, when the new date's
  // rules are looked at.
  void Aim(int64_t after);
  // Re-aims after a start or stop at wall time now.
  void Reaim(TDateTime now);
  void Alarm(int64_t at, bool missed);

  std::vector<TEntry> entries_;
  bool enabled_ = false;
  int64_t alarmAt_ = 0;
  // Every alarm at or before this wall time has been dealt with.
  int64_t done_ = LLONG_MIN;
  bool ticked_ = false;
  int64_t lastWall_ = 0;
  int64_t lastElapsed_ = 0;
  bool inTick_ = false;
};
