// The idle cost of the alarm clock: one tick of the timer (every 450 ms on
// the host's main thread) with many started events and none due, against
// the bare reading of the clock that any tick must make. Also the one-off
// cost of aiming the clock (after every start, stop and ring).
#include <windows.h>

#include <cstdio>
#include <vector>

#include "OVPluginBlock.h"
#include "uAlarmClock.h"

namespace {

double Seconds() {
  static LARGE_INTEGER freq = [] {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    return f;
  }();
  LARGE_INTEGER t;
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(freq.QuadPart);
}

// Nanoseconds per call of f, over n calls.
template <class F>
double PerCall(int n, F&& f) {
  double t0 = Seconds();
  for (int i = 0; i < n; ++i) f();
  return (Seconds() - t0) * 1e9 / n;
}

// An every-day block with four times, all two hours or more away from now.
std::vector<uint8_t> FarBlock(int32_t nowMs, int k) {
  TAlarmSchedule s;
  s.StartDate = 0;
  for (int i = 0; i < 4; ++i)
    s.Times.push_back(static_cast<int32_t>((nowMs + 2 * 3600000LL + (k * 4 + i) * 1000LL) % kMsPerDay));
  TBlockWriter w;
  WriteAlarmBlock(s, w);
  return w.Bytes();
}

}  // namespace

int main() {
  const int kTicks = 200000;
  volatile double sink = 0;
  double reading = PerCall(kTicks, [&] { sink = sink + ReadClock().Wall; });
  std::printf("clock reading alone: %.0f ns\n", reading);
  for (int events : {1, 100, 10000}) {
    TfAlarmClock window;
    std::vector<std::vector<uint8_t>> blocks;
    std::vector<TOVRunnerParams> params(static_cast<size_t>(events));
    int32_t nowMs = TimeOfDayMs(OVNow());
    for (int k = 0; k < events; ++k) blocks.push_back(FarBlock(nowMs, k));
    for (int k = 0; k < events; ++k) {
      params[k] = {k + 1, static_cast<int32_t>(blocks[k].size()), blocks[k].data()};
      window.Start(params[k]);
    }
    // A stop and a start of the last event: each aims over every event.
    TOVRunnerParams& last = params.back();
    double startNs = PerCall(200, [&] {
                       window.Stop(last);
                       window.Start(last);
                     }) / 2;
    double tick = PerCall(kTicks, [&] { window.Tick(); });
    std::printf(
        "%5d started events: idle tick %.0f ns (%.2f x the clock reading, %.5f%% of a core at one tick per "
        "%u ms); aiming the clock %.0f us\n",
        events, tick, tick / reading, tick / (TfAlarmClock::kTickMs * 1e6) * 100, TfAlarmClock::kTickMs,
        startNs / 1000);
    for (auto& p : params) window.Stop(p);
  }
  return 0;
}
