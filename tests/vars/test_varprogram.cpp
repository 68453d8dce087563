// The real orvane.exe: stored user variables are read after the plug-ins
// have registered theirs, a job's steps set and expand variables, and the
// user variables are written back at exit.
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

const char kKey[] = "Software\\Halvorn\\Orvane\\User variables";

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

// A step of the variables test plug-in whose block is the text.
void AddStep(TOVJob& job, int method, const std::string& text) {
  TOVJobStep* s = job.AddStep();
  s->SetEnabled(OV_TRUE);
  s->SetPluginID(1008);
  s->SetMethodIndex(method);
  s->SetName("step");
  void* data = nullptr;
  Alloc(&data, static_cast<int32_t>(text.size() + 1));
  std::memcpy(data, text.c_str(), text.size() + 1);
  s->SetParams(static_cast<int32_t>(text.size() + 1), data);
}

std::vector<std::string> StoredValues(const std::string& where) {
  std::vector<std::string> out;
  HKEY key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, where.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return out;
  for (int i = 0;; ++i) {
    char buf[1024];
    DWORD size = sizeof buf;
    if (RegQueryValueExA(key, ("VAR" + std::to_string(i)).c_str(), nullptr, nullptr,
                         reinterpret_cast<BYTE*>(buf), &size) != ERROR_SUCCESS)
      break;
    out.push_back(buf);
  }
  RegCloseKey(key);
  return out;
}

void Store(const std::string& where, const std::vector<std::string>& texts) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, where.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  for (size_t i = 0; i < texts.size(); ++i)
    RegSetValueExA(key, ("VAR" + std::to_string(i)).c_str(), 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(texts[i].c_str()), static_cast<DWORD>(texts[i].size() + 1));
  RegCloseKey(key);
}

}  // namespace

TEST(VarProgram, StepsSetAndExpandVariablesAndTheUserVariablesAreStoredAtExit) {
  HostRecord.Alloc = Alloc;
  HostRecord.Free = Free;
  // The plug-in registers "TPEcho(sample)" before the stored variables are read.
  TProgram p("varprogram");
  const std::string where = p.RegKey(HKEY_CURRENT_USER, kKey);
  Store(where, {"STORED=kept %Year%", "TPECHO(SAMPLE)=stored"});
  p.AddTestPlugin("tp_vars");
  CreateDirectoryA(p.JobsDir().c_str(), nullptr);
  {
    TOVJob job(nullptr);
    job.SetID(0x5678);
    job.SetName("Variables job");
    job.SetToLog(true);
    AddStep(job, 11, "SetByStep=%DayOfWeekNo%");
    AddStep(job, 10, "%Date%;%STORED%;%TPEcho(x)%;%SetByStep%;%IncDays(-1)%");
    job.SaveToFile(p.JobsDir() + job.FileName());
  }
  ASSERT_TRUE(p.Start("", {"ORVANE_CLOCK=2026-03-31 14:05:09"}));
  EXPECT_NE(SendMessageA(p.AppWindow(), OVM_RUNJOB, 0x5678, 0), 0);
  p.Close();
  ASSERT_TRUE(p.WaitExit(30000));
  std::vector<std::string> stored = StoredValues(where);

  auto job = Texts(testutil::ReadLines(p.LogsDir() + "00005678.log"));
  EXPECT_TRUE(Has(job, "expanded 3/31/2026;kept 2026;echo TPECHO x;03;30")) << job.size();
  EXPECT_TRUE(Has(job, "Job executed successfully"));
  auto main = Texts(p.MainLogLines());
  EXPECT_TRUE(Has(main, "Variable SetByStep not exists"));
  EXPECT_FALSE(std::any_of(main.begin(), main.end(),
                           [](const std::string& l) { return l.find("TPECHO") != std::string::npos; }));
  EXPECT_EQ(stored, (std::vector<std::string>{"SETBYSTEP=%DayOfWeekNo%", "STORED=kept %Year%"}));
}
