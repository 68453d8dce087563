#include "uAlarmClockSchedule.h"

#include <windows.h>

#include <algorithm>
#include <cmath>

#include "OVPluginBlock.h"

namespace {

int64_t ToMs(TDateTime t) { return static_cast<int64_t>(std::llround(t * kMsPerDay)); }
TDateTime FromMs(int64_t ms) { return static_cast<double>(ms) / kMsPerDay; }

int64_t DayOf(int64_t ms) { return ms >= 0 ? ms / kMsPerDay : -((-ms + kMsPerDay - 1) / kMsPerDay); }

void AddTime(TAlarmSchedule& s, uint32_t t) {
  if (t < static_cast<uint32_t>(kMsPerDay)) s.Times.push_back(static_cast<int32_t>(t));
}

// Start dates far outside the calendar (a damaged block) are not dates.
bool PlausibleDate(double d) { return std::isfinite(d) && d > -700000 && d < 3000000; }

}  // namespace

TAlarmSchedule ReadAlarmBlock(const void* data, int32_t size) {
  TAlarmSchedule s;
  if (!data || size <= 0) return s;
  s.Configured = true;
  TBlockReader r(data, size);
  uint32_t first = 0;
  if (!r.Dword(first) || first != kAlarmMarker) {
    // The older layout: as many times as whole dwords fit.
    s.OlderLayout = true;
    if (!r.ok()) return s;
    AddTime(s, first);
    uint32_t t;
    while (r.Dword(t)) AddTime(s, t);
    return s;
  }
  double start = 0;
  uint32_t count = 0;
  if (!r.Double(start) || !PlausibleDate(start) || !r.Dword(count)) {
    s.Damaged = true;
    return s;
  }
  s.StartDate = start;
  // The count is not trusted beyond the block: reading stops at its end.
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t t;
    if (!r.Dword(t)) {
      s.Damaged = true;
      return s;
    }
    AddTime(s, t);
  }
  bool ok = r.Dword(s.Periodicity);
  if (ok && s.Periodicity == apEveryWeek) ok = r.Byte(s.DaysOfWeek);
  if (ok && s.Periodicity == apEveryMonth) ok = r.Dword(s.DaysOfMonth);
  if (!ok) s.Damaged = true;
  return s;
}

void WriteAlarmBlock(const TAlarmSchedule& s, TBlockWriter& w) {
  w.Dword(kAlarmMarker).Double(s.StartDate).Dword(s.Times.size());
  for (int32_t t : s.Times) w.Dword(t);
  w.Dword(s.Periodicity);
  if (s.Periodicity == apEveryWeek) w.Byte(s.DaysOfWeek);
  if (s.Periodicity == apEveryMonth) w.Dword(s.DaysOfMonth);
}

bool DueAt(const TAlarmSchedule& s, TDateTime when) {
  if (!s.Configured || s.Damaged) return false;
  if (s.OlderLayout) return true;
  if (ToMs(when) < ToMs(s.StartDate)) return false;
  SYSTEMTIME st;
  DecodeDateTime(when, &st);
  switch (s.Periodicity) {
    case apEveryDay:
      return true;
    case apEveryWeek:
      return (s.DaysOfWeek >> (st.wDayOfWeek + 1)) & 1;
    case apEveryMonth:
      return ((s.DaysOfMonth >> (st.wDay - 1)) & 1) ||
             ((s.DaysOfMonth & kLastDayOfMonth) && st.wDay == DaysInMonth(st.wYear, st.wMonth));
    default:
      return false;
  }
}

TClockReading ReadClock() { return {OVNow(), static_cast<int64_t>(GetTickCount64())}; }

// ---------------------------------------------------------------- the clock

void TAlarmClock::Start(int32_t jobId, const void* key, TAlarmSchedule schedule, TDateTime now) {
  entries_.push_back({jobId, key, std::move(schedule)});
  Reaim(now);
}

bool TAlarmClock::Stop(int32_t jobId, const void* key, TDateTime now) {
  // The event itself when it is there: removing another event of the same
  // job would leave this one pointing at a record the host may free.
  auto it = std::find_if(entries_.begin(), entries_.end(),
                         [&](const TEntry& e) { return e.JobID == jobId && e.Key == key; });
  if (it == entries_.end())
    it = std::find_if(entries_.begin(), entries_.end(), [&](const TEntry& e) { return e.JobID == jobId; });
  if (it == entries_.end()) return false;
  entries_.erase(it);
  Reaim(now);
  return true;
}

void TAlarmClock::Clear() {
  entries_.clear();
  enabled_ = false;
  ticked_ = false;
}

TDateTime TAlarmClock::AlarmTime() const { return FromMs(alarmAt_); }

int32_t TAlarmClock::CurrentAlarmMs() const {
  return static_cast<int32_t>(alarmAt_ - DayOf(alarmAt_) * kMsPerDay);
}

void TAlarmClock::Aim(int64_t after) {
  const int64_t day = DayOf(after);
  const int64_t base = day * kMsPerDay;
  const int64_t tod = after - base;
  int64_t best = kMsPerDay;  // the next midnight
  for (const TEntry& e : entries_)
    for (int32_t t : e.Schedule.Times)
      if (t > tod && t < best && DueAt(e.Schedule, FromMs(base + t))) best = t;
  alarmAt_ = base + best;
  enabled_ = true;
}

void TAlarmClock::Reaim(TDateTime now) {
  if (entries_.empty()) {
    enabled_ = false;
    ticked_ = false;
    return;
  }
  const int64_t n = ToMs(now);
  // A clock put back further than any repeated hour starts afresh.
  if (n < done_ && done_ - n > kLargestBackStep) done_ = n - 1;
  // Times equal to now are still to come.
  Aim(std::max(done_, n - 1));
}

void TAlarmClock::Tick(const TClockReading& reading) {
  if (inTick_ || !enabled_) return;
  const int64_t now = ToMs(reading.Wall);
  if (now < alarmAt_) {
    // The idle tick: nothing to do but note how far the clock has got.
    if (now > done_) {
      done_ = now;
    } else if (done_ - now > kLargestBackStep) {
      done_ = now - 1;
      Aim(done_);
    }
    lastWall_ = now;
    lastElapsed_ = reading.Elapsed;
    ticked_ = true;
    return;
  }

  inTick_ = true;
  struct TLeave {
    bool& flag;
    ~TLeave() { flag = false; }
  } leave{inTick_};

  const int64_t realStep = reading.Elapsed - lastElapsed_;
  const int64_t wallStep = now - lastWall_;
  // The previous tick was a moment ago in real time, but the wall clock
  // jumped: the times it jumped over have just come.
  const bool stepped = ticked_ && realStep >= 0 && realStep <= kTickOnTime &&
                       wallStep - realStep >= kStepAtLeast && wallStep - realStep <= kLargestShift;
  if (alarmAt_ < now - kMissedHorizon) {
    done_ = std::max(done_, now - kMissedHorizon);
    Aim(done_);
  }
  while (enabled_ && alarmAt_ <= now) {
    const int64_t at = alarmAt_;
    const bool ring = now - at <= kRingLateness || (stepped && at > lastWall_);
    done_ = std::max(done_, at);
    Aim(at);
    Alarm(at, !ring);
    if (alarmAt_ <= at) break;
  }
  done_ = std::max(done_, now);
  lastWall_ = now;
  lastElapsed_ = reading.Elapsed;
  ticked_ = true;
}

void TAlarmClock::Alarm(int64_t at, bool missed) {
  const TDateTime when = FromMs(at);
  const int32_t tod = static_cast<int32_t>(at - DayOf(at) * kMsPerDay);
  // The handlers reach the host, which may start or stop events meanwhile:
  // the list is not walked while they run.
  std::vector<int32_t> jobs;
  for (const TEntry& e : entries_) {
    if (!DueAt(e.Schedule, when)) continue;
    for (int32_t t : e.Schedule.Times) {
      if (t != tod) continue;
      jobs.push_back(e.JobID);
      // A time listed twice runs twice, but is missed once.
      if (missed) break;
    }
  }
  for (int32_t id : jobs) {
    if (missed) {
      if (OnMissed) OnMissed(id, when);
    } else if (OnRun) {
      OnRun(id);
    }
  }
}
