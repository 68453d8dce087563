// A host with the test plug-in loaded and a job list, for tests that run
// jobs on their own threads and read what they logged.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "Host.h"
#include "HostTest.h"
#include "OVClassesJob.h"
#include "OVClassesJobs.h"
#include "OVClassesLog.h"
#include "OVClassesPlugins.h"
#include "TestUtil.h"

// Method indexes of the test plug-in (ID 1001).
enum TestMethod {
  tmSucceed = 0,
  tmFail = 1,
  tmFault = 2,
  tmForeign = 6,
  tmSleep = 7,
  tmLogLines = 8,
  tmNothing = 9,
};
constexpr int32_t kTestPluginID = 1001;

struct StepSpec {
  std::string name;
  int method;
  int32_t arg = -1;  // a 4-byte block with this value; -1 for no block
  bool enabled = true;
  int32_t plugin = kTestPluginID;
};

class RunFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearMainLog();
    dir_ = testutil::MakeTempDir("runs");
    testutil::CopyTestPlugin("tp_good", dir_ + "Plugins\\good");
    Plugins = new TOVPlugins();
    Plugins->LoadFromDir(dir_ + "Plugins");
    Jobs = new TOVJobs();
    ClearMainLog();
  }
  void TearDown() override {
    testutil::WaitFor([] { return !Jobs->AnyRunning(); }, 20000);
    delete Jobs;
    Jobs = nullptr;
    delete Plugins;
    Plugins = nullptr;
    testutil::RemoveTree(dir_);
  }

  TOVJob* NewJob(const std::string& name, const std::vector<StepSpec>& steps) {
    auto* job = new TOVJob(Jobs);
    job->SetName(name);
    job->SetToLog(true);
    job->Log()->AutoSave = false;
    for (const StepSpec& s : steps) {
      TOVJobStep* step = job->AddStep();
      step->SetName(s.name);
      step->SetPluginID(s.plugin);
      step->SetMethodIndex(s.method);
      step->SetEnabled(s.enabled ? -1 : 0);
      if (s.arg >= 0) {
        void* block = nullptr;
        HostRecord.Alloc(&block, 4);
        std::memcpy(block, &s.arg, 4);
        step->SetParams(4, block);
      }
    }
    Jobs->Add(job);
    return job;
  }

  static bool WaitDone(TOVJob* job, int timeoutMs = 20000) {
    return testutil::WaitFor([job] { return !job->Running(); }, timeoutMs);
  }

  static std::vector<std::string> Lines(TOVJob* job) {
    std::vector<std::string> out;
    for (int i = 0; i < job->Log()->Count(); ++i)
      out.push_back(testutil::LogText(job->Log()->Strings(i)));
    return out;
  }

  static std::vector<int> Levels(TOVJob* job) {
    std::vector<int> out;
    for (int i = 0; i < job->Log()->Count(); ++i) out.push_back(job->Log()->LevelOf(i));
    return out;
  }

  std::string dir_;
};

inline const char kStartLine[] = "****** Starting job... ******************";
