// The cost of the run machinery, measured in the host's own code under
// wine: per-step overhead of the run loop (against calling the action
// directly) and the rate at which job threads can log.
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <thread>
#include <vector>

#include "Host.h"
#include "OVClassesJob.h"
#include "OVClassesJobs.h"
#include "OVClassesLog.h"
#include "OVClassesPlugins.h"
#include "TestUtil.h"
#include "uSettings.h"

namespace {

constexpr int32_t kPlugin = 1001;
constexpr int kNothing = 9, kLogLines = 8;

double Now() {
  LARGE_INTEGER f, c;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&c);
  return static_cast<double>(c.QuadPart) / static_cast<double>(f.QuadPart);
}

TOVJob* NewJob(int steps, int method, int32_t arg) {
  auto* job = new TOVJob(Jobs);
  job->SetName("Bench");
  job->SetToLog(true);
  job->Log()->AutoSave = false;
  for (int i = 0; i < steps; ++i) {
    TOVJobStep* s = job->AddStep();
    s->SetName("S");
    s->SetPluginID(kPlugin);
    s->SetMethodIndex(method);
    s->SetEnabled(-1);
    if (arg >= 0) {
      void* block = nullptr;
      HostRecord.Alloc(&block, 4);
      std::memcpy(block, &arg, 4);
      s->SetParams(4, block);
    }
  }
  Jobs->Add(job);
  return job;
}

void RunAll(const std::vector<TOVJob*>& jobs) {
  for (TOVJob* j : jobs) j->Run();
  testutil::WaitFor([] { return !Jobs->AnyRunning(); }, 600000);
}

// Worst answer time of the main thread to a request from another thread
// while `work` runs.
double WorstAnswerMs(const std::function<void()>& work) {
  std::atomic<bool> done{false};
  std::atomic<double> worst{0};
  std::thread probe([&] {
    while (!done) {
      double t0 = Now();
      DWORD_PTR r;
      SendMessageTimeoutA(AppWindow(), WM_NULL, 0, 0, SMTO_NORMAL, 10000, &r);
      double ms = (Now() - t0) * 1000;
      if (ms > worst) worst = ms;
      Sleep(2);
    }
  });
  work();
  done = true;
  probe.join();
  return worst;
}

}  // namespace

int main() {
  CreateAppWindow();
  InitHostRecord();
  std::string dir = testutil::MakeTempDir("bench");
  Settings.LogDir = dir + "Logs\\";
  Settings.JobDir = dir + "Jobs\\";
  Settings.MaxLogSize = 200;
  ForceDirectories(Settings.LogDir);
  MainLog = new TOVLog(nullptr);
  MainLog->AutoSave = false;
  testutil::CopyTestPlugin("tp_good", dir + "Plugins\\good");
  Plugins = new TOVPlugins();
  Plugins->LoadFromDir(dir + "Plugins");
  Jobs = new TOVJobs();

  // Per-step overhead: a job of do-nothing steps against the same calls
  // made directly on this thread.
  constexpr int kSteps = 20000;
  TOVJob* job = NewJob(kSteps, kNothing, -1);
  double t0 = Now();
  RunAll({job});
  double runUs = (Now() - t0) * 1e6 / kSteps;
  TOVPlugin* plugin = Plugins->FindByID(kPlugin);
  TOVMethodParams params{0, nullptr};
  t0 = Now();
  for (int i = 0; i < kSteps; ++i) plugin->ExecMethod(kNothing, &params);
  double directUs = (Now() - t0) * 1e6 / kSteps;
  std::printf("run loop, do-nothing step: %.1f us per step (direct guarded call %.2f us; target well under 1000 us)\n",
              runUs, directUs);

  // Log throughput: one job, then ten at once, with the main thread's
  // answer time to another thread measured meanwhile.
  for (int jobs : {1, 10}) {
    int lines = 200000 / jobs;
    std::vector<TOVJob*> list;
    for (int j = 0; j < jobs; ++j) list.push_back(NewJob(1, kLogLines, lines));
    double start = Now();
    double worst = WorstAnswerMs([&] { RunAll(list); });
    double secs = Now() - start;
    std::printf("log lines from %d job thread%s: %.0f lines/s (target >= 10000), main thread answered within %.0f ms\n",
                jobs, jobs == 1 ? "" : "s", lines * jobs / secs, worst);
  }

  delete Jobs;
  Jobs = nullptr;
  delete Plugins;
  Plugins = nullptr;
  testutil::RemoveTree(dir);
  return 0;
}
