#include "OVPlugin.h"

#include <cstring>
#include <exception>

#include "OVDialog.h"
#include "OVError.h"
#include "SehGuard.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

// Defined in OVPluginHost.cpp: the wrappers' copy of the host record.
void SetPluginHost(const THostRecord* host);

namespace {

// The library-wide state: the data module (owner of the plug-in object)
// from InitOVPlugin until ShutdownPlugin, and the plug-in object itself.
TOVDataModule* g_dm = nullptr;
TOVPlugin* g_plugin = nullptr;

constexpr size_t kDescrLimit = OV_DESCR_BUFFER - 1;
constexpr DWORD kModulePathBuffer = 10240;

// Runs a handler at an entry's boundary: C++ exceptions and faults stay
// here. Returns false when the handler failed; the reason goes to *error.
template <class F>
bool AtBoundary(F&& f, std::string* error) {
  std::string what;
  sehguard::TOutcome o = sehguard::Protected([&] {
    try {
      f();
    } catch (const std::exception& e) {
      what = e.what();
      throw;
    }
  });
  if (!o.Failed()) return true;
  if (error) *error = o.code ? sehguard::FaultText(o.code) : (what.empty() ? "Unexpected error" : what);
  return false;
}

// A failed handler of an action or trigger is reported in the log of the
// job (or the main log): the host only sees false.
void ReportFailure(const std::string& item, const std::string& error) {
  sehguard::Protected([&] { HostLog(OV_LOG_ERROR, Format("Error in \"%s\": %s", item.c_str(), error.c_str())); });
}

// Copies a description into the host's buffer: at most 1023 characters
// and the terminating zero.
void CopyDescription(const std::string& text, char* buffer) {
  size_t n = strnlen(text.c_str(), kDescrLimit);
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

// ------------------------------------------------------------ the entries

TItemInfo* OVAPI GetMethodInfo(int32_t index) {
  TItemInfo* info = nullptr;
  AtBoundary([&] { info = g_plugin ? g_plugin->MethodInfo(index) : nullptr; }, nullptr);
  return info;
}

TItemInfo* OVAPI GetRunnerInfo(int32_t index) {
  TItemInfo* info = nullptr;
  AtBoundary([&] { info = g_plugin ? g_plugin->RunnerInfo(index) : nullptr; }, nullptr);
  return info;
}

// A step whose action raised or faulted has failed; the run's log says so
// with the line a host writes for a plug-in that fails the same way.
const char kStepError[] = "An error occured. Reconfigure this step.";

template <class Event, class Item, class Params>
Bool32 CallItem(Item* item, Event Item::*event, Params* params, bool isStep = false) {
  if (!item || !params) return OV_FALSE;
  const auto& handler = item->*event;
  if (!handler) return OV_FALSE;
  Bool32 result = OV_FALSE;
  std::string error;
  if (AtBoundary([&] { result = handler(item, *params); }, &error)) return result;
  if (isStep) sehguard::Protected([&] { HostLog(OV_LOG_ERROR, kStepError); });
  ReportFailure(item->Name, error);
  return OV_FALSE;
}

TMethod* MethodAt(int32_t index) { return g_plugin ? g_plugin->Methods.Items(index) : nullptr; }
TRunner* RunnerAt(int32_t index) { return g_plugin ? g_plugin->Runners.Items(index) : nullptr; }

Bool32 OVAPI ConfigMethod(int32_t index, TOVMethodParams* params) {
  return CallItem(MethodAt(index), &TMethod::OnConfigMethod, params);
}

Bool32 OVAPI ExecMethod(int32_t index, TOVMethodParams* params) {
  return CallItem(MethodAt(index), &TMethod::OnExecMethod, params, true);
}

Bool32 OVAPI ConfigRunner(int32_t index, TOVRunnerParams* params) {
  return CallItem(RunnerAt(index), &TRunner::OnConfigRunner, params);
}

Bool32 OVAPI StartRunner(int32_t index, TOVRunnerParams* params) {
  return CallItem(RunnerAt(index), &TRunner::OnStartRunner, params);
}

void OVAPI StopRunner(int32_t index, TOVRunnerParams* params) {
  TRunner* runner = RunnerAt(index);
  if (!runner || !params || !runner->OnStopRunner) return;
  std::string error;
  if (!AtBoundary([&] { runner->OnStopRunner(runner, *params); }, &error)) ReportFailure(runner->Name, error);
}

// A description starts as the item's name; a handler may replace it. A
// handler that fails leaves the name. After a fault the text the handler
// was working on is in an unknown state, so it is left alone (not freed).
template <class Event, class Item, class Params>
void DescribeItem(Item* item, Event Item::*event, Params* params, char* buffer) {
  if (!buffer) return;
  std::string name;
  if (!AtBoundary([&] { name = item ? item->Name : std::string(); }, nullptr)) return;
  std::string* descr = new std::string(name);
  bool described = AtBoundary(
      [&] {
        if (!item || !params) return;
        const Event& handler = item->*event;
        if (handler) handler(item, *params, *descr);
      },
      nullptr);
  AtBoundary([&] { CopyDescription(described ? *descr : name, buffer); }, nullptr);
  if (described) delete descr;
}

void OVAPI MethodDescr(int32_t index, TOVMethodParams* params, char* buffer) {
  DescribeItem(MethodAt(index), &TMethod::OnMethodDescr, params, buffer);
}

void OVAPI RunnerDescr(int32_t index, TOVRunnerParams* params, char* buffer) {
  DescribeItem(RunnerAt(index), &TRunner::OnRunnerDescr, params, buffer);
}

void CallPluginEvent(const std::function<void()>& handler, const char* what) {
  if (!handler) return;
  std::string error;
  if (!AtBoundary([&] { handler(); }, &error)) ReportFailure(what, error);
}

void OVAPI PluginConfigEntry() {
  if (g_plugin) CallPluginEvent(g_plugin->OnPluginConfig, "PluginConfig");
}

void OVAPI AboutEntry() {
  if (g_plugin) CallPluginEvent(g_plugin->OnAbout, "About");
}

void OVAPI ShutdownPluginEntry() {
  if (!g_plugin) return;
  CallPluginEvent(g_plugin->OnShutdownPlugin, "ShutdownPlugin");
  // The data module goes with everything it owns (the plug-in object, its
  // record and tables); the host reads none of them after this entry.
  TOVDataModule* dm = g_dm;
  g_dm = nullptr;
  g_plugin = nullptr;
  AtBoundary([&] { delete dm; }, nullptr);
  SetDefaultDialogOwner(nullptr);
  // A service call that still comes (a thread that outlived its trigger)
  // does nothing rather than reach a host that no longer expects it.
  SetPluginHost(nullptr);
}

}  // namespace

// ------------------------------------------------------------------ TOVIcon

TOVIcon::~TOVIcon() { Clear(); }

void TOVIcon::Clear() {
  if (handle_) DestroyIcon(handle_);
  handle_ = nullptr;
}

void TOVIcon::Assign(HICON icon) {
  HICON copy = icon ? CopyIcon(icon) : nullptr;
  Clear();
  handle_ = copy;
}

bool TOVIcon::LoadFromResource(int id, int size) {
  HICON icon = static_cast<HICON>(
      LoadImageA(PluginModule(), MAKEINTRESOURCEA(id), IMAGE_ICON, size, size, LR_DEFAULTCOLOR));
  if (!icon) return false;
  Clear();
  handle_ = icon;
  return true;
}

// ------------------------------------------------------ TMethods / TRunners

TMethod& TMethods::Add() {
  TMethod& m = Append();
  m.index_ = Count() - 1;
  return m;
}

TRunner& TRunners::Add() {
  TRunner& r = Append();
  r.index_ = Count() - 1;
  return r;
}

// ---------------------------------------------------------------- TOVPlugin

TOVPlugin::TOVPlugin() {
  // Seeded per instance so that two plug-ins loaded at once differ.
  static_assert(sizeof(unsigned) == 4);
  unsigned seed = GetTickCount() ^ (GetCurrentProcessId() << 16) ^
                  static_cast<unsigned>(reinterpret_cast<uintptr_t>(this));
  seed = seed * 1103515245u + 12345u;
  ID = static_cast<int32_t>(seed % 2147483547u) + 50;
}

TItemInfo* TOVPlugin::MethodInfo(int index) {
  if (index < 0 || static_cast<size_t>(index) >= methodInfos_.size()) return nullptr;
  return &methodInfos_[static_cast<size_t>(index)];
}

TItemInfo* TOVPlugin::RunnerInfo(int index) {
  if (index < 0 || static_cast<size_t>(index) >= runnerInfos_.size()) return nullptr;
  return &runnerInfos_[static_cast<size_t>(index)];
}

TPluginRecord* TOVPlugin::Publish(const THostRecord& host) {
  if (published_) return &record_;
  std::memcpy(&host_, &host, sizeof host_);

  std::string path(kModulePathBuffer, '\0');
  DWORD n = GetModuleFileNameA(PluginModule(), path.data(), kModulePathBuffer);
  path.resize(n < kModulePathBuffer ? n : 0);
  modulePath_ = path;

  record_.ID = ID;
  record_.Icon = Icon.Handle();
  record_.Description = Description.c_str();
  record_.PluginConfig = OnPluginConfig ? PluginConfigEntry : nullptr;
  record_.About = OnAbout ? AboutEntry : nullptr;
  record_.ShutdownPlugin = OnShutdownPlugin ? ShutdownPluginEntry : nullptr;

  methodInfos_.clear();
  for (int i = 0; i < Methods.Count(); ++i)
    methodInfos_.push_back(TItemInfo{Methods.Items(i)->Name.c_str(), Methods.Items(i)->Icon.Handle()});
  if (!methodInfos_.empty()) {
    methodTable_ = TMethodTable{Methods.Count(), GetMethodInfo, ConfigMethod, ExecMethod, MethodDescr};
    record_.HasMethods = OV_TRUE;
    record_.Methods = &methodTable_;
  } else {
    record_.HasMethods = OV_FALSE;
    record_.Methods = nullptr;
  }

  runnerInfos_.clear();
  for (int i = 0; i < Runners.Count(); ++i)
    runnerInfos_.push_back(TItemInfo{Runners.Items(i)->Name.c_str(), Runners.Items(i)->Icon.Handle()});
  if (!runnerInfos_.empty()) {
    runnerTable_ =
        TRunnerTable{Runners.Count(), GetRunnerInfo, ConfigRunner, StartRunner, StopRunner, RunnerDescr};
    record_.HasRunners = OV_TRUE;
    record_.Runners = &runnerTable_;
  } else {
    record_.HasRunners = OV_FALSE;
    record_.Runners = nullptr;
  }
  published_ = true;
  return &record_;
}

// ------------------------------------------------------------ TOVDataModule

TOVDataModule::TOVDataModule() : Plugin(std::make_unique<TOVPlugin>()) {
  Plugin->OnShutdownPlugin = [this] { PluginShutdownPlugin(); };
}

TOVDataModule::~TOVDataModule() = default;

TMethod& TOVDataModule::AddMethod(const std::string& name, TMethodCase handlers) {
  TMethod& m = Plugin->Methods.Add();
  m.Name = name;
  m.OnExecMethod = [this](TMethod* s, TOVMethodParams& p) { return ExecMethods(s, p); };
  m.OnConfigMethod = [this](TMethod* s, TOVMethodParams& p) { return ConfigMethods(s, p); };
  m.OnMethodDescr = [this](TMethod* s, TOVMethodParams& p, std::string& d) { DescrMethods(s, p, d); };
  methodCases_.resize(static_cast<size_t>(Plugin->Methods.Count()));
  methodCases_.back() = std::move(handlers);
  return m;
}

TRunner& TOVDataModule::AddRunner(const std::string& name, TRunnerCase handlers) {
  TRunner& r = Plugin->Runners.Add();
  r.Name = name;
  r.OnConfigRunner = [this](TRunner* s, TOVRunnerParams& p) { return ConfigRunners(s, p); };
  r.OnStartRunner = [this](TRunner* s, TOVRunnerParams& p) { return StartRunners(s, p); };
  r.OnStopRunner = [this](TRunner* s, TOVRunnerParams& p) { StopRunners(s, p); };
  r.OnRunnerDescr = [this](TRunner* s, TOVRunnerParams& p, std::string& d) { DescrRunners(s, p, d); };
  runnerCases_.resize(static_cast<size_t>(Plugin->Runners.Count()));
  runnerCases_.back() = std::move(handlers);
  return r;
}

const TMethodCase* TOVDataModule::MethodCase(const TMethod* sender) const {
  if (!sender || sender->Index() < 0 || static_cast<size_t>(sender->Index()) >= methodCases_.size())
    return nullptr;
  return &methodCases_[static_cast<size_t>(sender->Index())];
}

const TRunnerCase* TOVDataModule::RunnerCase(const TRunner* sender) const {
  if (!sender || sender->Index() < 0 || static_cast<size_t>(sender->Index()) >= runnerCases_.size())
    return nullptr;
  return &runnerCases_[static_cast<size_t>(sender->Index())];
}

Bool32 TOVDataModule::ExecMethods(TMethod* Sender, TOVMethodParams& Params) {
  const TMethodCase* c = MethodCase(Sender);
  return c && c->Exec && c->Exec(Params) ? OV_TRUE : OV_FALSE;
}

Bool32 TOVDataModule::ConfigMethods(TMethod* Sender, TOVMethodParams& Params) {
  const TMethodCase* c = MethodCase(Sender);
  return c && c->Config && c->Config(Params) ? OV_TRUE : OV_FALSE;
}

void TOVDataModule::DescrMethods(TMethod* Sender, TOVMethodParams& Params, std::string& Descr) {
  const TMethodCase* c = MethodCase(Sender);
  if (c && c->Descr) c->Descr(Params, Descr);
}

Bool32 TOVDataModule::ConfigRunners(TRunner* Sender, TOVRunnerParams& Params) {
  const TRunnerCase* c = RunnerCase(Sender);
  return c && c->Config && c->Config(Params) ? OV_TRUE : OV_FALSE;
}

Bool32 TOVDataModule::StartRunners(TRunner* Sender, TOVRunnerParams& Params) {
  const TRunnerCase* c = RunnerCase(Sender);
  return c && c->Start && c->Start(Params) ? OV_TRUE : OV_FALSE;
}

void TOVDataModule::StopRunners(TRunner* Sender, TOVRunnerParams& Params) {
  const TRunnerCase* c = RunnerCase(Sender);
  if (c && c->Stop) c->Stop(Params);
}

void TOVDataModule::DescrRunners(TRunner* Sender, TOVRunnerParams& Params, std::string& Descr) {
  const TRunnerCase* c = RunnerCase(Sender);
  if (c && c->Descr) c->Descr(Params, Descr);
}

// ------------------------------------------------------------ library level

TOVPlugin* CurrentPlugin() { return g_plugin; }

HINSTANCE PluginModule() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

extern "C" TPluginRecord* OVAPI InitOVPlugin(THostRecord* host) {
  if (!host) return nullptr;
  if (g_plugin) return g_plugin->Record();
  TPluginRecord* record = nullptr;
  TOVDataModule* dm = nullptr;
  bool ok = AtBoundary(
      [&] {
        // The plug-in's windows belong to the host; the host record is in
        // hand before the data module is built, so that its creation may
        // register variables.
        SetDefaultDialogOwner(host->AppWindow);
        SetPluginHost(host);
        dm = CreateDataModule();
        if (!dm || !dm->Plugin) return;
        dm->DMCreate();
        record = dm->Plugin->Publish(*host);
      },
      nullptr);
  if (!ok || !record) {
    // The host sets a library that fails here aside. What the data module
    // made is left alone: after a fault its state is unknown.
    SetPluginHost(nullptr);
    SetDefaultDialogOwner(nullptr);
    return nullptr;
  }
  g_dm = dm;
  g_plugin = dm->Plugin.get();
  return record;
}
