// The host's side of the plug-in contract: one TOVPlugin per loaded
// library, and the process-wide list TOVPlugins that finds, loads, shuts
// down and releases them.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "OVTypes.h"

// A host-side object wrapping an icon handle of a plug-in. It would destroy
// the handle when freed, so the host detaches it first: the handle belongs
// to the plug-in.
class TIcon {
 public:
  explicit TIcon(HICON handle) : handle_(handle) {}
  ~TIcon() {
    if (handle_) DestroyIcon(handle_);
  }
  TIcon(const TIcon&) = delete;
  TIcon& operator=(const TIcon&) = delete;
  HICON Handle() const { return handle_; }
  void Detach() { handle_ = nullptr; }

 private:
  HICON handle_;
};

class TOVPlugin {
 public:
  // Loads the library; raises one of the three load errors on failure (the
  // half-built object first logs "Plugin <file> is invalid.").
  explicit TOVPlugin(const std::string& fileName);
  virtual ~TOVPlugin();
  TOVPlugin(const TOVPlugin&) = delete;
  TOVPlugin& operator=(const TOVPlugin&) = delete;

  virtual bool Load(const std::string& fileName);
  virtual void Unload();
  virtual bool IsLoaded() const { return loaded_; }
  virtual void CheckMethodIndex(int index) const;
  virtual void CheckRunnerIndex(int index) const;
  virtual void ReadMethods();
  virtual void ReadRunners();

  const std::string& FileName() const { return fileName_; }
  int32_t ID() const;
  std::string Description() const;
  void About();
  void Configure();
  void Shutdown();

  bool HasMethods() const;
  bool HasRunners() const;
  int MethodCount() const;
  int RunnerCount() const;

  TItemInfo* GetMethodInfo(int index);
  std::string MethodName(int index) const;
  HICON MethodIcon(int index) const;
  bool ConfigMethod(int index, TOVMethodParams* params);
  bool ExecMethod(int index, TOVMethodParams* params);
  std::string MethodDescription(int index, TOVMethodParams* params);

  TItemInfo* GetRunnerInfo(int index);
  std::string RunnerName(int index) const;
  HICON RunnerIcon(int index) const;
  bool ConfigRunner(int index, TOVRunnerParams* params);
  bool StartRunner(int index, TOVRunnerParams* params);
  void StopRunner(int index, TOVRunnerParams* params);
  std::string RunnerDescription(int index, TOVRunnerParams* params);

  HICON Icon() const { return icon_ ? icon_->Handle() : nullptr; }

 private:
  // Lets go of every icon wrapper without destroying the plug-in's icons.
  void DetachIcons();
  // Reads the name behind a plug-in's text pointer, at most `limit` chars.
  std::string ReadText(const char* text, size_t limit) const;

  TPluginRecord* record_ = nullptr;
  bool loaded_ = false;
  HMODULE module_ = nullptr;
  std::unique_ptr<TIcon> icon_;
  std::vector<const char*> methodNames_;
  std::vector<std::unique_ptr<TIcon>> methodIcons_;
  std::vector<const char*> runnerNames_;
  std::vector<std::unique_ptr<TIcon>> runnerIcons_;
  std::string fileName_;
};

class TOVPlugins {
 public:
  // Logs "Load plugins...".
  TOVPlugins();
  // Logs "Unload plugins..." and releases every library, last loaded first.
  virtual ~TOVPlugins();
  TOVPlugins(const TOVPlugins&) = delete;
  TOVPlugins& operator=(const TOVPlugins&) = delete;

  std::function<void(TOVPlugins* sender, const std::string& fileName, bool& allow)> OnBeforeLoad;
  std::function<void(TOVPlugins* sender, TOVPlugin* plugin)> OnLoaded;
  std::function<void(TOVPlugins* sender, TOVPlugin* plugin)> OnUnload;

  virtual void CheckIndex(int index) const;
  // Loads the library; returns its plug-in ID, or 0 when it did not load
  // (the error is logged and the file renamed to ".bad").
  virtual int32_t LoadPlugin(const std::string& fileName);
  virtual void Delete(int index);

  // Loads every *.ovp one directory level below dir.
  void LoadFromDir(const std::string& dir);
  int Count() const { return static_cast<int>(items_.size()); }
  TOVPlugin* Items(int index) const;
  int IndexOfID(int32_t id) const;
  TOVPlugin* FindByID(int32_t id) const;
  // Calls every plug-in's ShutdownPlugin, in load order.
  void ShutdownAll();

 private:
  std::vector<TOVPlugin*> items_;
};
