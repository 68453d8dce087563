#include "AlarmTestHost.h"

#include <cstring>

#include "OVPlugin.h"
#include "uDM.h"

namespace alarmtest {
namespace {

TFakeHost g_fake;
TPluginRecord* g_record = nullptr;

void OVAPI FakeLog(uint32_t level, const char* text) { g_fake.logs.emplace_back(level, text ? text : ""); }

void OVAPI FakeAlloc(void** p, int32_t size) {
  *p = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, static_cast<SIZE_T>(size));
  ++g_fake.allocs;
}

void OVAPI FakeFree(void** p, int32_t) {
  HeapFree(GetProcessHeap(), 0, *p);
  *p = nullptr;
  ++g_fake.frees;
}

HANDLE OVAPI FakeRunJob(int32_t id, const char* cause) {
  g_fake.runs.emplace_back(id, cause ? cause : "<null>");
  return nullptr;
}

LRESULT CALLBACK AppProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == OVM_GETMAINWINDOW) return reinterpret_cast<LRESULT>(g_fake.mainWindow);
  if (msg == OVM_JOBNAME) {
    static std::string name;
    name = JobName(static_cast<int32_t>(wp));
    return reinterpret_cast<LRESULT>(name.c_str());
  }
  return DefWindowProcA(wnd, msg, wp, lp);
}

HWND AppWindow() {
  static HWND wnd = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = AppProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "AlarmTestHostApp";
    RegisterClassA(&wc);
    return CreateWindowA("AlarmTestHostApp", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
  }();
  return wnd;
}

THostRecord g_host;

// The General plug-in's runner table.
class TDM : public TOVDataModule {
 public:
  TDM() {
    Plugin->Description = "General";
    Plugin->ID = 9680;
    AddRunner("Hot key", HotKeyCase());
    AddRunner("Alarm clock", AlarmClockCase());
    AddRunner("On Windows shutdown", OnShutdownCase());
    AddRunner("Files Monitor");
    AddRunner("On idle", IdleCase());
  }
  void DMCreate() override {
    CreateShutdownWatcher();
    CreateHotKeyWindow();
    CreateAlarmClock();
    CreateIdleList();
  }
  void PluginShutdownPlugin() override {
    ReleaseAlarmClock();
    ReleaseHotKeyWindow();
    ReleaseShutdownWatcher();
    ReleaseIdleList();
  }
};

HWND MainWindow() {
  static HWND wnd = [] {
    WNDCLASSA wc{};
    wc.lpfnWndProc = DefWindowProcA;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.lpszClassName = "TriggerTestMain";
    RegisterClassA(&wc);
    return CreateWindowA("TriggerTestMain", "", WS_OVERLAPPEDWINDOW, 0, 0, 10, 10, nullptr, nullptr, nullptr,
                         nullptr);
  }();
  return wnd;
}

}  // namespace

TFakeHost& Fake() { return g_fake; }

TPluginRecord* LoadPlugin() {
  g_fake = TFakeHost{};
  g_fake.mainWindow = MainWindow();
  g_host = THostRecord{};
  g_host.Version = OV_HOST_VERSION;
  g_host.AppWindow = AppWindow();
  g_host.Log = FakeLog;
  g_host.Alloc = FakeAlloc;
  g_host.Free = FakeFree;
  g_host.RunJob = FakeRunJob;
  g_record = InitOVPlugin(&g_host);
  return g_record;
}

void UnloadPlugin() {
  if (g_record && g_record->ShutdownPlugin) g_record->ShutdownPlugin();
  g_record = nullptr;
}

TfAlarmClock* AlarmWindow() { return AlarmClockWindow(); }

std::string JobName(int32_t id) { return "Job " + std::to_string(id); }

void SetBlock(TOVRunnerParams& params, const std::vector<uint8_t>& bytes) {
  FreeBlock(params);
  if (bytes.empty()) return;
  void* p = nullptr;
  FakeAlloc(&p, static_cast<int32_t>(bytes.size()));
  std::memcpy(p, bytes.data(), bytes.size());
  params.Data = p;
  params.Size = static_cast<int32_t>(bytes.size());
}

void FreeBlock(TOVRunnerParams& params) {
  if (params.Data) FakeFree(&params.Data, params.Size);
  params.Data = nullptr;
  params.Size = 0;
}

}  // namespace alarmtest

OV_DATA_MODULE(alarmtest::TDM)
