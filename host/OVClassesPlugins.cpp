#include "OVClassesPlugins.h"

#include <cstring>

#include "CallGuard.h"
#include "Host.h"
#include "OVError.h"
#include "OVMsgBox.h"

namespace {

constexpr size_t kDescrLimit = OV_DESCR_BUFFER - 1;
// Descriptions are asked with a larger buffer than the contract's 1024
// bytes, so that a plug-in that writes too much cannot overrun the host.
constexpr size_t kDescrSlack = 65536;

std::string CutDescription(const char* buffer) {
  return std::string(buffer, strnlen(buffer, kDescrLimit));
}

#if defined(_WIN64)
constexpr WORD kOwnMachine = IMAGE_FILE_MACHINE_AMD64;
constexpr const char* kOwnEdition = "64-bit";
#else
constexpr WORD kOwnMachine = IMAGE_FILE_MACHINE_I386;
constexpr const char* kOwnEdition = "32-bit";
#endif

// The processor a PE library is built for, from its file header; 0 when the
// file is no PE image (the loader then reports it as it always has).
WORD MachineOf(const std::string& fileName) {
  HANDLE f = CreateFileA(fileName.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return 0;
  auto readAt = [&](LONG offset, void* out, DWORD size) {
    DWORD got = 0;
    return SetFilePointer(f, offset, nullptr, FILE_BEGIN) != INVALID_SET_FILE_POINTER &&
           ReadFile(f, out, size, &got, nullptr) && got == size;
  };
  WORD machine = 0;
  IMAGE_DOS_HEADER dos{};
  DWORD signature = 0;
  if (readAt(0, &dos, sizeof dos) && dos.e_magic == IMAGE_DOS_SIGNATURE && dos.e_lfanew > 0 &&
      readAt(dos.e_lfanew, &signature, sizeof signature) && signature == IMAGE_NT_SIGNATURE &&
      !readAt(dos.e_lfanew + 4, &machine, sizeof machine))
    machine = 0;
  if (signature != IMAGE_NT_SIGNATURE) machine = 0;
  CloseHandle(f);
  return machine;
}

std::string MachineName(WORD machine) {
  switch (machine) {
    case IMAGE_FILE_MACHINE_I386: return "32-bit (x86)";
    case IMAGE_FILE_MACHINE_AMD64: return "64-bit (x64)";
    default: return Format("machine %04X", machine);
  }
}

}  // namespace

// ---------------------------------------------------------------- TOVPlugin

TOVPlugin::TOVPlugin(const std::string& fileName) {
  try {
    loaded_ = Load(fileName);
  } catch (...) {
    // A half-built plug-in is destroyed: its Unload reports it as invalid.
    try {
      Unload();
    } catch (...) {
    }
    throw;
  }
}

TOVPlugin::~TOVPlugin() {
  try {
    Unload();
  } catch (...) {
  }
}

bool TOVPlugin::Load(const std::string& fileName) {
  fileName_ = fileName;
  // A plug-in's own DLLs live beside it: search its folder first.
  module_ = LoadLibraryExA(fileName.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!module_) RaiseError("Failed load plugin \"%s\"", fileName.c_str());
  auto init = reinterpret_cast<TInitOVPlugin>(
      reinterpret_cast<void*>(GetProcAddress(module_, OV_INIT_EXPORT)));
  if (!init) {
    FreeLibrary(module_);
    module_ = nullptr;
    RaiseError("GetProcAddress failed (%s)", fileName.c_str());
  }
  try {
    THostRecord* host = &HostRecord;
    record_ = Guarded("InitOVPlugin", fileName_, [&] { return init(host); });
    if (!record_) throw EOVError("no record");
    Guarded("InitOVPlugin", fileName_, [&] {
      HICON icon = record_->Icon;
      if (icon) icon_ = std::make_unique<TIcon>(icon);
      if (record_->HasMethods) ReadMethods();
      if (record_->HasRunners) ReadRunners();
    });
  } catch (...) {
    throw EOVError(callguard::FailedText("InitOVPlugin", fileName_));
  }
  return true;
}

void TOVPlugin::ReadMethods() {
  int count = MethodCount();
  methodNames_.clear();
  methodIcons_.clear();
  if (count < 1) return;
  methodNames_.resize(static_cast<size_t>(count));
  methodIcons_.resize(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    TItemInfo* info = record_->Methods->GetMethodInfo(i);
    methodNames_[static_cast<size_t>(i)] = info ? info->Name : nullptr;
    if (info && info->Icon) methodIcons_[static_cast<size_t>(i)] = std::make_unique<TIcon>(info->Icon);
  }
}

void TOVPlugin::ReadRunners() {
  int count = RunnerCount();
  runnerNames_.clear();
  runnerIcons_.clear();
  if (count < 1) return;
  runnerNames_.resize(static_cast<size_t>(count));
  runnerIcons_.resize(static_cast<size_t>(count));
  for (int i = 0; i < count; ++i) {
    TItemInfo* info = record_->Runners->GetRunnerInfo(i);
    runnerNames_[static_cast<size_t>(i)] = info ? info->Name : nullptr;
    if (info && info->Icon) runnerIcons_[static_cast<size_t>(i)] = std::make_unique<TIcon>(info->Icon);
  }
}

void TOVPlugin::DetachIcons() {
  // The icon handles belong to the plug-in: detach before freeing.
  for (size_t i = methodIcons_.size(); i-- > 0;) {
    if (methodIcons_[i]) methodIcons_[i]->Detach();
    methodIcons_[i].reset();
  }
  for (size_t i = runnerIcons_.size(); i-- > 0;) {
    if (runnerIcons_[i]) runnerIcons_[i]->Detach();
    runnerIcons_[i].reset();
  }
  if (icon_) icon_->Detach();
  icon_.reset();
}

void TOVPlugin::Unload() {
  if (!loaded_) {
    // A plug-in whose Load never completed is reported; whatever its failed
    // initialisation left stays mapped (it may already run windows or
    // threads, and unmapping their code would take the host down). The
    // icons wrapped before the failure are still the plug-in's.
    DetachIcons();
    HostLog(OV_LOG_ERROR, "Plugin " + fileName_ + " is invalid.");
    return;
  }
  try {
    DetachIcons();
  } catch (...) {
    ShowError(AppWindow(), callguard::FailedText("ShutdownPlugin", fileName_));
  }
  methodNames_.clear();
  runnerNames_.clear();
  if (module_) FreeLibrary(module_);
  module_ = nullptr;
  record_ = nullptr;
  loaded_ = false;
}

std::string TOVPlugin::ReadText(const char* text, size_t limit) const {
  if (!text) return std::string();
  return std::string(text, strnlen(text, limit));
}

int32_t TOVPlugin::ID() const { return record_ ? record_->ID : 0; }

std::string TOVPlugin::Description() const {
  try {
    return Guarded("Description", fileName_,
                   [&] { return ReadText(record_->Description, kDescrLimit); });
  } catch (...) {
    return "Not available";
  }
}

void TOVPlugin::About() {
  TOVPluginProc proc = record_->About;
  if (proc) Guarded("About", fileName_, [&] { proc(); });
}

void TOVPlugin::Configure() {
  TOVPluginProc proc = record_->PluginConfig;
  if (proc)
    Guarded("PluginConfig", fileName_, [&] { proc(); });
  else
    ShowInfo(AppWindow(), "No configuration needed.");
}

void TOVPlugin::Shutdown() {
  TOVPluginProc proc = record_ ? record_->ShutdownPlugin : nullptr;
  if (proc) Guarded("ShutdownPlugin", fileName_, [&] { proc(); });
}

bool TOVPlugin::HasMethods() const { return record_ && record_->HasMethods != 0; }
bool TOVPlugin::HasRunners() const { return record_ && record_->HasRunners != 0; }

int TOVPlugin::MethodCount() const {
  if (!HasMethods()) return -1;
  return Guarded("GetMethodInfo", fileName_, [&] { return record_->Methods->Count; });
}

int TOVPlugin::RunnerCount() const {
  if (!HasRunners()) return -1;
  return Guarded("GetRunnerInfo", fileName_, [&] { return record_->Runners->Count; });
}

void TOVPlugin::CheckMethodIndex(int index) const {
  if (!HasMethods() || index < 0 || index >= static_cast<int>(methodNames_.size()))
    RaiseError("Index out of bounds /%d/", index);
}

void TOVPlugin::CheckRunnerIndex(int index) const {
  if (!HasRunners() || index < 0 || index >= static_cast<int>(runnerNames_.size()))
    RaiseError("Index out of bounds /%d/", index);
}

TItemInfo* TOVPlugin::GetMethodInfo(int index) {
  CheckMethodIndex(index);
  TOVGetItemInfo fn = record_->Methods->GetMethodInfo;
  if (!fn) return nullptr;
  return Guarded("GetMethodInfo", fileName_, [&] { return fn(index); });
}

std::string TOVPlugin::MethodName(int index) const {
  CheckMethodIndex(index);
  const char* name = methodNames_[static_cast<size_t>(index)];
  try {
    return Guarded("GetMethodInfo", fileName_, [&] { return ReadText(name, kDescrLimit); });
  } catch (...) {
    return "Not available";
  }
}

HICON TOVPlugin::MethodIcon(int index) const {
  CheckMethodIndex(index);
  const auto& icon = methodIcons_[static_cast<size_t>(index)];
  return icon ? icon->Handle() : nullptr;
}

bool TOVPlugin::ConfigMethod(int index, TOVMethodParams* params) {
  CheckMethodIndex(index);
  TOVMethodFunc fn = record_->Methods->ConfigMethod;
  if (!fn) return false;
  return Guarded("ConfigMethod", fileName_, [&] { return fn(index, params); }) != 0;
}

bool TOVPlugin::ExecMethod(int index, TOVMethodParams* params) {
  CheckMethodIndex(index);
  TOVMethodFunc fn = record_->Methods->ExecMethod;
  if (!fn) return false;
  return Guarded("ExecMethod", fileName_, [&] { return fn(index, params); }) != 0;
}

std::string TOVPlugin::MethodDescription(int index, TOVMethodParams* params) {
  CheckMethodIndex(index);
  TOVMethodDescr fn = record_->Methods->MethodDescr;
  if (fn) {
    try {
      std::string buffer(kDescrSlack, '\0');
      Guarded("MethodDescr", fileName_, [&] { fn(index, params, buffer.data()); });
      return CutDescription(buffer.data());
    } catch (...) {
    }
  }
  return MethodName(index);
}

TItemInfo* TOVPlugin::GetRunnerInfo(int index) {
  CheckRunnerIndex(index);
  TOVGetItemInfo fn = record_->Runners->GetRunnerInfo;
  if (!fn) return nullptr;
  return Guarded("GetRunnerInfo", fileName_, [&] { return fn(index); });
}

std::string TOVPlugin::RunnerName(int index) const {
  CheckRunnerIndex(index);
  const char* name = runnerNames_[static_cast<size_t>(index)];
  try {
    return Guarded("GetRunnerInfo", fileName_, [&] { return ReadText(name, kDescrLimit); });
  } catch (...) {
    return "Not available";
  }
}

HICON TOVPlugin::RunnerIcon(int index) const {
  CheckRunnerIndex(index);
  const auto& icon = runnerIcons_[static_cast<size_t>(index)];
  return icon ? icon->Handle() : nullptr;
}

bool TOVPlugin::ConfigRunner(int index, TOVRunnerParams* params) {
  CheckRunnerIndex(index);
  TOVRunnerFunc fn = record_->Runners->ConfigRunner;
  if (!fn) return false;
  return Guarded("ConfigRunner", fileName_, [&] { return fn(index, params); }) != 0;
}

bool TOVPlugin::StartRunner(int index, TOVRunnerParams* params) {
  CheckRunnerIndex(index);
  TOVRunnerFunc fn = record_->Runners->StartRunner;
  if (!fn) return false;
  return Guarded("StartRunner", fileName_, [&] { return fn(index, params); }) != 0;
}

void TOVPlugin::StopRunner(int index, TOVRunnerParams* params) {
  CheckRunnerIndex(index);
  TOVStopRunner fn = record_->Runners->StopRunner;
  if (fn) Guarded("StopRunner", fileName_, [&] { fn(index, params); });
}

std::string TOVPlugin::RunnerDescription(int index, TOVRunnerParams* params) {
  CheckRunnerIndex(index);
  TOVRunnerDescr fn = record_->Runners->RunnerDescr;
  if (fn) {
    try {
      std::string buffer(kDescrSlack, '\0');
      Guarded("RunnerDescr", fileName_, [&] { fn(index, params, buffer.data()); });
      return CutDescription(buffer.data());
    } catch (...) {
    }
  }
  return RunnerName(index);
}

// --------------------------------------------------------------- TOVPlugins

TOVPlugins::TOVPlugins() { HostLog(OV_LOG_INFO, "Load plugins..."); }

TOVPlugins::~TOVPlugins() {
  HostLog(OV_LOG_INFO, "Unload plugins...");
  for (int i = Count() - 1; i >= 0; --i) {
    try {
      Delete(i);
    } catch (...) {
    }
  }
}

void TOVPlugins::CheckIndex(int index) const {
  if (index < 0 || index >= Count()) RaiseError("Index out of bounds /%d/", index);
}

TOVPlugin* TOVPlugins::Items(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return items_[static_cast<size_t>(index)];
}

int TOVPlugins::IndexOfID(int32_t id) const {
  for (int i = 0; i < Count(); ++i)
    if (items_[static_cast<size_t>(i)]->ID() == id) return i;
  return -1;
}

TOVPlugin* TOVPlugins::FindByID(int32_t id) const { return Items(IndexOfID(id)); }

int32_t TOVPlugins::LoadPlugin(const std::string& fileName) {
  bool allow = true;
  if (OnBeforeLoad) OnBeforeLoad(this, fileName, allow);
  if (!allow) return 0;
  // A library built for the other edition is no broken plug-in: the user may
  // share the folder between both editions. Skip it and leave it as it is.
  WORD machine = MachineOf(fileName);
  if (machine != 0 && machine != kOwnMachine) {
    HostLog(OV_LOG_WARNING, Format("Plugin %s is a %s library; the %s edition of Orvane skips it.",
                                   fileName.c_str(), MachineName(machine).c_str(), kOwnEdition));
    return 0;
  }
  TOVPlugin* plugin = nullptr;
  try {
    plugin = new TOVPlugin(fileName);
  } catch (const std::exception& e) {
    HostLog(OV_LOG_ERROR, e.what());
    // Set the library aside so that the next start does not try it again.
    size_t dot = fileName.find_last_of(".\\/");
    std::string bad = (dot != std::string::npos && fileName[dot] == '.' ? fileName.substr(0, dot)
                                                                         : fileName) + ".bad";
    MoveFileExA(fileName.c_str(), bad.c_str(), MOVEFILE_REPLACE_EXISTING);
    return 0;
  }
  items_.push_back(plugin);
  int32_t id = plugin->ID();
  if (OnLoaded) OnLoaded(this, plugin);
  return id;
}

void TOVPlugins::Delete(int index) {
  CheckIndex(index);
  TOVPlugin* plugin = items_[static_cast<size_t>(index)];
  items_.erase(items_.begin() + index);
  if (OnUnload) {
    try {
      OnUnload(this, plugin);
    } catch (...) {
      delete plugin;
      throw;
    }
  }
  delete plugin;
}

void TOVPlugins::LoadFromDir(const std::string& dir) {
  std::string base = dir;
  if (!base.empty() && base.back() != '\\' && base.back() != '/') base += '\\';
  WIN32_FIND_DATAA entry;
  HANDLE h = FindFirstFileA((base + "*").c_str(), &entry);
  if (h == INVALID_HANDLE_VALUE) return;
  std::vector<std::string> entries;
  do {
    std::string name = entry.cFileName;
    if (name != "." && name != "..") entries.push_back(name);
  } while (FindNextFileA(h, &entry));
  FindClose(h);
  for (const std::string& e : entries) {
    std::string sub = base + e + "\\";
    WIN32_FIND_DATAA lib;
    HANDLE hl = FindFirstFileA((sub + "*.ovp").c_str(), &lib);
    if (hl == INVALID_HANDLE_VALUE) continue;
    std::vector<std::string> files;
    do {
      if (lib.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN |
                                  FILE_ATTRIBUTE_SYSTEM))
        continue;
      files.push_back(sub + lib.cFileName);
    } while (FindNextFileA(hl, &lib));
    FindClose(hl);
    for (const std::string& f : files) LoadPlugin(f);
  }
}

void TOVPlugins::ShutdownAll() {
  for (TOVPlugin* p : items_) {
    try {
      p->Shutdown();
    } catch (const std::exception& e) {
      HostLog(OV_LOG_ERROR, e.what());
    }
  }
}
