#include "OVPluginHost.h"

#include <condition_variable>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>

#include "OVCommaText.h"
#include "OVDialog.h"

namespace {

// The wrappers' copy of the host record: set at the start of InitOVPlugin,
// unchanged until the library is unloaded.
THostRecord g_host{};

// The host writes at most the capacity in characters and then the zero:
// the buffers have room for both.
std::string CallWithBuffer(int32_t capacity, const std::function<void(char*, int32_t)>& call) {
  std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(capacity) + 1]);
  buffer[0] = '\0';
  buffer[capacity] = '\0';
  call(buffer.get(), capacity);
  return std::string(buffer.get(), strnlen(buffer.get(), static_cast<size_t>(capacity)));
}

}  // namespace

void SetPluginHost(const THostRecord* host) {
  if (host)
    std::memcpy(&g_host, host, sizeof g_host);
  else
    g_host = THostRecord{};
}

const THostRecord& PluginHost() { return g_host; }

HWND HostAppWindow() { return g_host.AppWindow; }

void HostLog(uint8_t level, const std::string& text) {
  if (g_host.Log) g_host.Log(level, text.c_str());
}

void LogIncompleteSettings(const std::string& name) {
  HostLog(OV_LOG_ERROR, "The settings of \"" + name + "\" are incomplete. Reconfigure this step.");
}

std::string HostExpandVars(const std::string& text) {
  if (!g_host.ExpandVariables) return text;
  return CallWithBuffer(OV_EXPAND_BUFFER, [&](char* buffer, int32_t capacity) {
    g_host.ExpandVariables(text.c_str(), buffer, capacity);
  });
}

std::string HostSelectVariable() {
  if (!g_host.SelectVariable) return std::string();
  bool chosen = false;
  std::string ref = CallWithBuffer(OV_SELECTVAR_BUFFER, [&](char* buffer, int32_t capacity) {
    chosen = g_host.SelectVariable(buffer, capacity) != 0;
  });
  return chosen ? ref : std::string();
}

void SelectVariableAtCaret(OVDialog& dialog) {
  std::string ref = HostSelectVariable();
  if (!ref.empty()) dialog.InsertAtCaret(ref);
}

bool HostSelectFiles(std::vector<std::string>& list) {
  if (!g_host.SelectFiles) return false;
  char* text = nullptr;
  int32_t size = 0;
  if (!list.empty()) {
    std::string comma = JoinCommaText(list);
    size = static_cast<int32_t>(comma.size() + 1);
    void* block = nullptr;
    HostAlloc(block, size);
    if (!block) return false;
    std::memcpy(block, comma.c_str(), comma.size() + 1);
    text = static_cast<char*>(block);
  }
  bool confirmed = g_host.SelectFiles(&text, &size) != 0;
  if (confirmed) {
    // The host replaced the block; its text ends at the zero or at Size.
    list = (text && size > 0) ? SplitCommaText(std::string(text, strnlen(text, static_cast<size_t>(size))))
                              : std::vector<std::string>();
  }
  if (size > 0 && text) {
    void* block = text;
    HostFree(block, size);
  }
  return confirmed;
}

void HostAlloc(void*& p, int32_t size) {
  p = nullptr;
  if (g_host.Alloc) g_host.Alloc(&p, size);
}

void HostFree(void*& p, int32_t size) {
  if (g_host.Free && p) g_host.Free(&p, size);
}

HANDLE HostRunJob(int32_t jobId, const std::string& cause) {
  return g_host.RunJob ? g_host.RunJob(jobId, cause.c_str()) : nullptr;
}

void HostStopJob(int32_t jobId) {
  if (g_host.StopJob) g_host.StopJob(jobId);
}

int32_t HostCurrentJob() { return g_host.CurrentJob ? g_host.CurrentJob() : 0; }

std::string HostJobName(int32_t jobId) {
  if (!g_host.AppWindow) return std::string();
  auto name = reinterpret_cast<const char*>(
      SendMessageA(g_host.AppWindow, OVM_JOBNAME, static_cast<WPARAM>(jobId), 0));
  return name ? std::string(name) : std::string();
}

void HostEnumJobs(TOVJobsEnumProc proc) {
  if (g_host.EnumJobs && proc) g_host.EnumJobs(proc);
}

// The host's callback carries no context, so each enumeration in progress
// gets a callback of its own from a small set of slots: two threads (a job
// and a dialog, say) may enumerate at the same time without waiting for
// each other across the host's main thread.
namespace {

constexpr int kEnumSlots = 8;
std::vector<TJobEntry>* g_enumTargets[kEnumSlots];
bool g_enumBusy[kEnumSlots];
std::mutex g_enumLock;
std::condition_variable g_enumFree;

template <int N>
void OVAPI CollectJob(int32_t id, const char* name, uint32_t state) {
  try {
    if (g_enumTargets[N]) g_enumTargets[N]->push_back(TJobEntry{id, name ? name : "", static_cast<uint8_t>(state)});
  } catch (...) {
  }
}

constexpr TOVJobsEnumProc kSlotProcs[kEnumSlots] = {CollectJob<0>, CollectJob<1>, CollectJob<2>, CollectJob<3>,
                                                     CollectJob<4>, CollectJob<5>, CollectJob<6>, CollectJob<7>};

}  // namespace

std::vector<TJobEntry> HostEnumJobs() {
  std::vector<TJobEntry> jobs;
  if (!g_host.EnumJobs) return jobs;
  int slot = -1;
  {
    std::unique_lock<std::mutex> lock(g_enumLock);
    g_enumFree.wait(lock, [&] {
      for (int i = 0; i < kEnumSlots; ++i)
        if (!g_enumBusy[i]) {
          slot = i;
          return true;
        }
      return false;
    });
    g_enumBusy[slot] = true;
    g_enumTargets[slot] = &jobs;
  }
  g_host.EnumJobs(kSlotProcs[slot]);
  {
    std::lock_guard<std::mutex> lock(g_enumLock);
    g_enumTargets[slot] = nullptr;
    g_enumBusy[slot] = false;
  }
  g_enumFree.notify_one();
  return jobs;
}
