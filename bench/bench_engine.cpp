// The real orvane.exe with 1,000 job files, each with an armed event:
// time from start to armed automation, time to exit, and the host's CPU use
// while idle, each against the same program with no jobs.
#include <windows.h>

#include <cstdio>

#include "JobFileBytes.h"
#include "TestUtil.h"

namespace {

struct Figures {
  double startS, exitS, idleCpuPct;
};

double Seconds(ULONGLONG ms) { return static_cast<double>(ms) / 1000.0; }

double CpuSeconds(HANDLE process) {
  FILETIME c, e, k, u;
  GetProcessTimes(process, &c, &e, &k, &u);
  auto v = [](FILETIME f) {
    return static_cast<double>((static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime) / 1e7;
  };
  return v(k) + v(u);
}

Figures Measure(int jobs) {
  testutil::TProgram p("benchengine");
  p.AddTestPlugin("tp_good");
  testutil::MakeDirs(p.JobsDir());
  for (int i = 0; i < jobs; ++i) {
    jobbytes::JobSpec j{.id = 0x100000 + i, .name = "Job " + std::to_string(i), .active = -1,
                        .events = {jobbytes::EventSpec{1001, 0}},
                        .steps = {jobbytes::StepSpec{1001, 9, "Nothing"}}};
    testutil::WriteFileBytes(p.JobsDir() + jobbytes::JobFileName(j.id), jobbytes::JobFile(j));
  }
  Figures f{};
  ULONGLONG t0 = GetTickCount64();
  if (!p.Start()) {
    std::printf("the program did not start\n");
    return f;
  }
  f.startS = Seconds(GetTickCount64() - t0);
  HANDLE h = OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, p.ProcessId());
  double cpu0 = CpuSeconds(h);
  ULONGLONG w0 = GetTickCount64();
  Sleep(5000);
  double wall = Seconds(GetTickCount64() - w0);
  f.idleCpuPct = 100.0 * (CpuSeconds(h) - cpu0) / wall;
  CloseHandle(h);
  t0 = GetTickCount64();
  p.Close();
  p.WaitExit(120000);
  f.exitS = Seconds(GetTickCount64() - t0);
  return f;
}

}  // namespace

int main() {
  Figures none = Measure(0);
  Figures many = Measure(1000);
  std::printf("start to armed automation: %.2f s with 1000 jobs, %.2f s with none (target < 2 s)\n",
              many.startS, none.startS);
  std::printf("exit: %.2f s with 1000 jobs, %.2f s with none (target < 2 s)\n", many.exitS, none.exitS);
  std::printf("idle CPU over 5 s: %.2f%% of one core with 1000 armed jobs, %.2f%% with none\n",
              many.idleCpuPct, none.idleCpuPct);
  return 0;
}
