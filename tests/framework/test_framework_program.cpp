// The real orvane.exe with a plug-in built on the framework: it loads it,
// runs a job whose steps are the plug-in's actions, and shuts it down.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <cstring>

#include "Host.h"
#include "OVClassesJob.h"
#include "TestUtil.h"

using testutil::LogText;
using testutil::TProgram;

namespace {

std::vector<std::string> Texts(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const auto& l : lines) out.push_back(LogText(l.size() > 2 ? l.substr(2) : l));
  return out;
}

bool Has(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}

void OVAPI Alloc(void** p, int32_t size) { *p = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size); }
void OVAPI Free(void** p, int32_t) { HeapFree(GetProcessHeap(), 0, *p); }

// A step of the framework test plug-in (ID 4242) with a block of its own.
void AddStep(TOVJob& job, int method, const std::string& name, const std::vector<uint8_t>& block) {
  TOVJobStep* s = job.AddStep();
  s->SetEnabled(OV_TRUE);
  s->SetPluginID(4242);
  s->SetMethodIndex(method);
  s->SetName(name);
  void* data = nullptr;
  if (!block.empty()) {
    Alloc(&data, static_cast<int32_t>(block.size()));
    std::memcpy(data, block.data(), block.size());
  }
  s->SetParams(static_cast<int32_t>(block.size()), data);
}

}  // namespace

TEST(FrameworkProgram, TheProgramRunsAJobOfFrameworkActions) {
  HostRecord.Alloc = Alloc;
  HostRecord.Free = Free;
  TProgram p("fwprogram");
  p.AddTestPlugin("tp_framework");
  CreateDirectoryA(p.JobsDir().c_str(), nullptr);
  {
    TOVJob job(nullptr);
    job.SetID(0x1234);
    job.SetName("Framework job");
    job.SetToLog(true);
    // Echo: count 2, text, upper case off; spelled out byte by byte.
    std::vector<uint8_t> echo = {2, 0, 0, 0, 5, 0, 0, 0, 'w', 'o', 'r', 'k', 0, 0};
    AddStep(job, 0, "echo", echo);
    AddStep(job, 9, "services", {});
    job.SaveToFile(p.JobsDir() + job.FileName());
  }
  ASSERT_TRUE(p.Start());
  // The run starts synchronously; the exit sequence waits for it.
  EXPECT_NE(SendMessageA(p.AppWindow(), OVM_RUNJOB, 0x1234, 0), 0);
  p.Close();
  ASSERT_TRUE(p.WaitExit(30000));
  EXPECT_EQ(p.ExitCode(), 0u);

  auto main = Texts(p.MainLogLines());
  EXPECT_TRUE(Has(main, "Plugin \"Framework test\" loaded"));
  EXPECT_TRUE(Has(main, "shutdown Framework test"));
  auto job = Texts(testutil::ReadLines(p.LogsDir() + "00001234.log"));
  EXPECT_TRUE(Has(job, "echo work x2"));
  EXPECT_TRUE(Has(job, "current 4660"));
  EXPECT_TRUE(Has(job, "name Framework job"));
  EXPECT_TRUE(Has(job, "jobs [Framework job 3]"));
  EXPECT_TRUE(Has(job, "Job executed successfully"));
}
