// A plug-in for the job editor's tests, on the bare contract. Each action
// and trigger stands for one way a configuration call can end. A counter in
// the block (its first dword) tells configurations apart; a replaced block
// is freed before the new one is allocated, as the contract asks.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "OVTypes.h"

namespace {

THostRecord g_host;

enum {
  mCount,           // confirms a block holding the counter + 1
  mRefuse,          // cancels and touches nothing
  mFail,            // faults without touching the record
  mReplaceRefuse,   // frees, allocates a new block, then cancels
  mReplaceFail,     // frees, allocates a new block, then faults
  mMethods
};

enum { rTick, rFail, rRunners };

TItemInfo g_methods[mMethods] = {{"Count", nullptr},
                                 {"Refuse", nullptr},
                                 {"Fail", nullptr},
                                 {"Replace and refuse", nullptr},
                                 {"Replace and fail", nullptr}};
TItemInfo g_runners[rRunners] = {{"Tick", nullptr}, {"Fail event", nullptr}};

int32_t Counter(int32_t size, const void* data) {
  if (size < 4 || !data) return 0;
  int32_t v;
  std::memcpy(&v, data, 4);
  return v;
}

void Replace(int32_t* size, void** data) {
  int32_t next = Counter(*size, *data) + 1;
  if (*size > 0 && *data) g_host.Free(data, *size);
  g_host.Alloc(data, 4);
  std::memcpy(*data, &next, 4);
  *size = 4;
}

[[noreturn]] void Fault() {
  *static_cast<volatile int*>(nullptr) = 1;
  __builtin_trap();
}

TItemInfo* OVAPI GetMethodInfo(int32_t index) { return &g_methods[index]; }

Bool32 OVAPI ConfigMethod(int32_t index, TOVMethodParams* p) {
  switch (index) {
    case mCount:
      Replace(&p->Size, &p->Data);
      return OV_TRUE;
    case mFail:
      Fault();
    case mReplaceRefuse:
      Replace(&p->Size, &p->Data);
      return OV_FALSE;
    case mReplaceFail:
      Replace(&p->Size, &p->Data);
      Fault();
    default:
      return OV_FALSE;
  }
}

Bool32 OVAPI ExecMethod(int32_t, TOVMethodParams*) { return OV_TRUE; }

void OVAPI MethodDescr(int32_t index, TOVMethodParams* p, char* buffer) {
  std::snprintf(buffer, OV_DESCR_BUFFER, "%s %d", g_methods[index].Name,
                static_cast<int>(Counter(p->Size, p->Data)));
}

TItemInfo* OVAPI GetRunnerInfo(int32_t index) { return &g_runners[index]; }

Bool32 OVAPI ConfigRunner(int32_t index, TOVRunnerParams* p) {
  if (index == rFail) Fault();
  Replace(&p->Size, &p->Data);
  return OV_TRUE;
}

Bool32 OVAPI StartRunner(int32_t, TOVRunnerParams* p) {
  char line[64];
  std::snprintf(line, sizeof line, "tick start %d", static_cast<int>(p->JobID));
  g_host.Log(OV_LOG_INFO, line);
  return OV_TRUE;
}

void OVAPI StopRunner(int32_t, TOVRunnerParams* p) {
  char line[64];
  std::snprintf(line, sizeof line, "tick stop %d", static_cast<int>(p->JobID));
  g_host.Log(OV_LOG_INFO, line);
}

void OVAPI RunnerDescr(int32_t index, TOVRunnerParams* p, char* buffer) {
  std::snprintf(buffer, OV_DESCR_BUFFER, "%s %d", g_runners[index].Name,
                static_cast<int>(Counter(p->Size, p->Data)));
}

TMethodTable g_methodTable = {mMethods, GetMethodInfo, ConfigMethod, ExecMethod, MethodDescr};
TRunnerTable g_runnerTable = {rRunners, GetRunnerInfo, ConfigRunner, StartRunner, StopRunner, RunnerDescr};
TPluginRecord g_record;

}  // namespace

extern "C" TPluginRecord* OVAPI InitOVPlugin(THostRecord* host) {
  std::memcpy(&g_host, host, sizeof g_host);
  static const BYTE andBits[32 * 4] = {}, xorBits[32 * 4] = {};
  g_methods[mCount].Icon = CreateIcon(nullptr, 32, 32, 1, 1, andBits, xorBits);
  g_record.ID = 1010;
  g_record.Description = "Editor plugin";
  g_record.HasMethods = OV_TRUE;
  g_record.Methods = &g_methodTable;
  g_record.HasRunners = OV_TRUE;
  g_record.Runners = &g_runnerTable;
  return &g_record;
}
