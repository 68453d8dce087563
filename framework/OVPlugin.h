// The plug-in framework. A plug-in declares, in its data module, one
// TOVPlugin with its actions (methods) and triggers (runners); the
// framework builds the plug-in record the host asks for through the
// library's one export, InitOVPlugin, and routes every call of the host to
// the right handler. No exception and no hardware fault of a handler ever
// leaves an entry: the entry answers false, 0 or the item's name instead
// and logs what happened.
//
// A plug-in in a few lines:
//
//   class TDM : public TOVDataModule {
//    public:
//     TDM() {
//       Plugin->Description = "General";
//       Plugin->ID = 9680;
//       AddMethod("Show a message", {.Exec = ShowMessage, .Config = ConfigShowMessage,
//                                    .Descr = DescrShowMessage});
//       AddRunner("Hot key", {.Config = ..., .Start = ..., .Stop = ..., .Descr = ...});
//     }
//     void DMCreate() override { ... windows and threads that live until shutdown ... }
//     void PluginShutdownPlugin() override { ... release what DMCreate made ... }
//   };
//   OV_DATA_MODULE(TDM)
//
// Exec handlers run on job threads, several at once: everything a step
// needs comes from its parameter record (read it with TBlockReader).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "OVPluginBlock.h"
#include "OVPluginHost.h"
#include "OVTypes.h"

class TOVPlugin;
class TMethod;
class TRunner;

// An icon owned by the plug-in; destroyed with its owner. The host keeps
// the handle (not a copy) while the library is loaded.
class TOVIcon {
 public:
  TOVIcon() = default;
  ~TOVIcon();
  TOVIcon(const TOVIcon&) = delete;
  TOVIcon& operator=(const TOVIcon&) = delete;
  // Takes a copy of icon.
  void Assign(HICON icon);
  // Loads an ICON resource of the plug-in's module; false when missing.
  bool LoadFromResource(int id, int size = 32);
  void Clear();
  HICON Handle() const { return handle_; }

 private:
  HICON handle_ = nullptr;
};

// Event types. Results are 32-bit truth values (0 false, else true).
using TExecMethod = std::function<Bool32(TMethod* Sender, TOVMethodParams& Params)>;
using TConfigMethod = TExecMethod;
using TMethodDescr = std::function<void(TMethod* Sender, TOVMethodParams& Params, std::string& Descr)>;
using TConfigRunner = std::function<Bool32(TRunner* Sender, TOVRunnerParams& Params)>;
using TStartRunner = TConfigRunner;
using TStopRunner = std::function<void(TRunner* Sender, TOVRunnerParams& Params)>;
using TRunnerDescr = std::function<void(TRunner* Sender, TOVRunnerParams& Params, std::string& Descr)>;
using TPluginConfig = std::function<void()>;
using TAbout = std::function<void()>;
using TShutdownPlugin = std::function<void()>;

// An action. Its index is its position in the plug-in's Methods.
class TMethod {
 public:
  TOVIcon Icon;
  std::string Name = "New method";
  TExecMethod OnExecMethod;
  TConfigMethod OnConfigMethod;
  TMethodDescr OnMethodDescr;
  int Index() const { return index_; }

 private:
  friend class TMethods;
  int index_ = -1;
};

// A trigger. Its index is its position in the plug-in's Runners.
class TRunner {
 public:
  TOVIcon Icon;
  std::string Name = "New runner";
  TConfigRunner OnConfigRunner;
  TStartRunner OnStartRunner;
  TStopRunner OnStopRunner;
  TRunnerDescr OnRunnerDescr;
  int Index() const { return index_; }

 private:
  friend class TRunners;
  int index_ = -1;
};

// The plug-in's owned collections; items keep their address.
template <class Item>
class TItems {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  // The item at index, or nullptr outside 0..Count()-1.
  Item* Items(int index) const {
    return index >= 0 && index < Count() ? items_[static_cast<size_t>(index)].get() : nullptr;
  }

 protected:
  Item& Append() {
    items_.push_back(std::make_unique<Item>());
    return *items_.back();
  }
  std::vector<std::unique_ptr<Item>> items_;
};

class TMethods : public TItems<TMethod> {
 public:
  TMethod& Add();
};

class TRunners : public TItems<TRunner> {
 public:
  TRunner& Add();
};

// The declarative plug-in component.
class TOVPlugin {
 public:
  // ID: a random value in 50..2147483596 until the data module sets its own.
  TOVPlugin();
  TOVPlugin(const TOVPlugin&) = delete;
  TOVPlugin& operator=(const TOVPlugin&) = delete;

  std::string Description = "New plugin for Orvane";
  TOVIcon Icon;
  int32_t ID;
  TMethods Methods;
  TRunners Runners;
  TPluginConfig OnPluginConfig;
  TAbout OnAbout;
  TShutdownPlugin OnShutdownPlugin;

  // Filled by InitOVPlugin.
  const THostRecord& Host() const { return host_; }
  const std::string& ModulePath() const { return modulePath_; }

  // Builds the plug-in record from the declaration (once; the declaration
  // must not change afterwards). The record, its tables, the item infos
  // and the texts they point to live as long as this object.
  TPluginRecord* Publish(const THostRecord& host);
  TPluginRecord* Record() { return published_ ? &record_ : nullptr; }
  // The item info of a method or runner, nullptr outside the lists.
  TItemInfo* MethodInfo(int index);
  TItemInfo* RunnerInfo(int index);

 private:
  THostRecord host_{};
  std::string modulePath_;
  TPluginRecord record_{};
  TMethodTable methodTable_{};
  TRunnerTable runnerTable_{};
  std::vector<TItemInfo> methodInfos_;
  std::vector<TItemInfo> runnerInfos_;
  bool published_ = false;
};

// The handlers of one action, by kind; an empty one is a missing case (the
// entry answers false, a description stays the action's name).
struct TMethodCase {
  std::function<bool(TOVMethodParams& params)> Exec = nullptr;
  std::function<bool(TOVMethodParams& params)> Config = nullptr;
  std::function<void(TOVMethodParams& params, std::string& descr)> Descr = nullptr;
};

// The handlers of one trigger.
struct TRunnerCase {
  std::function<bool(TOVRunnerParams& params)> Config = nullptr;
  std::function<bool(TOVRunnerParams& params)> Start = nullptr;
  std::function<void(TOVRunnerParams& params)> Stop = nullptr;
  std::function<void(TOVRunnerParams& params, std::string& descr)> Descr = nullptr;
};

// The data module every plug-in derives its TDM from. It owns the plug-in
// component; every method and runner it adds points its events to the
// dispatch handlers below, which pick the case by the Sender's index.
class TOVDataModule {
 public:
  TOVDataModule();
  virtual ~TOVDataModule();
  TOVDataModule(const TOVDataModule&) = delete;
  TOVDataModule& operator=(const TOVDataModule&) = delete;

  std::unique_ptr<TOVPlugin> Plugin;

  // Runs once the data module is built, inside InitOVPlugin.
  virtual void DMCreate() {}
  // Runs at the ShutdownPlugin entry; the framework frees the data module
  // afterwards.
  virtual void PluginShutdownPlugin() {}

  // The dispatch handlers.
  Bool32 ExecMethods(TMethod* Sender, TOVMethodParams& Params);
  Bool32 ConfigMethods(TMethod* Sender, TOVMethodParams& Params);
  void DescrMethods(TMethod* Sender, TOVMethodParams& Params, std::string& Descr);
  Bool32 ConfigRunners(TRunner* Sender, TOVRunnerParams& Params);
  Bool32 StartRunners(TRunner* Sender, TOVRunnerParams& Params);
  void StopRunners(TRunner* Sender, TOVRunnerParams& Params);
  void DescrRunners(TRunner* Sender, TOVRunnerParams& Params, std::string& Descr);

 protected:
  // Appends an action / a trigger with its handlers.
  TMethod& AddMethod(const std::string& name, TMethodCase handlers = {});
  TRunner& AddRunner(const std::string& name, TRunnerCase handlers = {});

 private:
  const TMethodCase* MethodCase(const TMethod* sender) const;
  const TRunnerCase* RunnerCase(const TRunner* sender) const;
  std::vector<TMethodCase> methodCases_;
  std::vector<TRunnerCase> runnerCases_;
};

// Supplied by every plug-in (OV_DATA_MODULE): builds its data module.
TOVDataModule* CreateDataModule();
#define OV_DATA_MODULE(T) \
  TOVDataModule* CreateDataModule() { return new T; }

// The plug-in object of this library while it is loaded, else nullptr.
TOVPlugin* CurrentPlugin();
// The library's module handle and file name.
HINSTANCE PluginModule();

// The one export (also callable by tests that link the framework).
extern "C" TPluginRecord* OVAPI InitOVPlugin(THostRecord* host);
