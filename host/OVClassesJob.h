// Jobs in memory: TOVJob with its steps (TOVJobStep) and events
// (TOVJobRun), their state, and the binary job file.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "OVTypes.h"

class TOVJob;
class TOVJobs;
class TOVLog;
class TJobRunThread;
class TByteReader;
class TByteWriter;

// Job states (the number that EnumJobs passes and the lists show).
constexpr uint8_t jsManual = OV_STATE_MANUAL;
constexpr uint8_t jsIdle = OV_STATE_IDLE;
constexpr uint8_t jsDisabled = OV_STATE_DISABLED;
constexpr uint8_t jsRunning = OV_STATE_RUNNING;
constexpr uint8_t jsStopping = OV_STATE_STOPPING;

// Actions after a run.
constexpr uint8_t aarNothing = 0;
constexpr uint8_t aarDeactivate = 1;
constexpr uint8_t aarDelete = 2;

constexpr size_t kMaxNameLength = 1023;  // characters, without the zero

class TOVJobStep {
 public:
  explicit TOVJobStep(TOVJob* owner);
  virtual ~TOVJobStep();
  TOVJobStep(const TOVJobStep&) = delete;
  TOVJobStep& operator=(const TOVJobStep&) = delete;

  virtual void Changed();
  virtual void SaveToStream(TByteWriter& w) const;
  virtual void LoadFromStream(TByteReader& r);
  // mayEndShort: the record is the last of the file, whose block may be
  // cut short. Returns the declared block size when it was, else -1.
  int32_t LoadFromStream(TByteReader& r, bool mayEndShort);

  TOVJob* Owner() const { return owner_; }
  bool Enabled() const { return enabled_ != 0; }
  void SetEnabled(Bool32 value);
  int32_t PluginID() const { return pluginId_; }
  void SetPluginID(int32_t value);
  int32_t MethodIndex() const { return methodIndex_; }
  void SetMethodIndex(int32_t value);
  const std::string& Name() const { return name_; }
  void SetName(const std::string& value);
  // The parameter record; the block belongs to the step.
  const TOVMethodParams& Params() const { return params_; }
  // Adopts a block (allocated with the host's Alloc) without freeing the
  // old one: a configuration call that replaced the block freed the old
  // block itself. A caller replacing a block of its own frees it first.
  void SetParams(int32_t size, void* data);

 private:
  TOVJob* owner_;
  Bool32 enabled_ = 0;
  TOVMethodParams params_{0, nullptr};
  int32_t pluginId_ = 0;
  int32_t methodIndex_ = -1;
  std::string name_;
};

class TOVJobRun {
 public:
  explicit TOVJobRun(TOVJob* owner);
  virtual ~TOVJobRun();
  TOVJobRun(const TOVJobRun&) = delete;
  TOVJobRun& operator=(const TOVJobRun&) = delete;

  virtual void Changed();
  virtual void SaveToStream(TByteWriter& w) const;
  virtual void LoadFromStream(TByteReader& r);
  // As TOVJobStep's: the last record of a file may have its block cut short.
  int32_t LoadFromStream(TByteReader& r, bool mayEndShort);

  TOVJob* Owner() const { return owner_; }
  bool Enabled() const { return enabled_ != 0; }
  void SetEnabled(Bool32 value);
  int32_t PluginID() const { return pluginId_; }
  void SetPluginID(int32_t value);
  int32_t RunnerIndex() const { return runnerIndex_; }
  void SetRunnerIndex(int32_t value);
  // The event's own record: StartRunner and StopRunner get its address.
  TOVRunnerParams* Params() { return &params_; }
  const TOVRunnerParams& Params() const { return params_; }
  // Adopts a block as TOVJobStep's does and sets JobID to the owner's ID
  // again.
  void SetParams(int32_t size, void* data);
  void SetJobID(int32_t id) { params_.JobID = id; }
  bool Started() const { return started_; }
  void SetStarted(bool value) { started_ = value; }

 private:
  TOVJob* owner_;
  Bool32 enabled_ = 0;
  TOVRunnerParams params_{0, 0, nullptr};
  int32_t pluginId_ = 0;
  int32_t runnerIndex_ = -1;
  bool started_ = false;
};

class TOVJob {
 public:
  explicit TOVJob(TOVJobs* owner);
  // Stops the job's events, frees steps, events and the log.
  virtual ~TOVJob();
  TOVJob(const TOVJob&) = delete;
  TOVJob& operator=(const TOVJob&) = delete;

  // --- virtual operations, in slot order
  virtual void SaveToStream(TByteWriter& w);
  virtual void LoadFromStream(TByteReader& r);
  virtual bool Run();
  virtual void Stop();
  virtual void Kill();
  virtual void UpdateState();

  // --- steps and events
  TOVJobStep* AddStep();
  TOVJobRun* AddEvent();
  void DeleteStep(int index);
  void DeleteEvent(int index);
  void ClearSteps();
  void ClearEvents();
  void ExchangeSteps(int i, int j);
  void MoveStep(int from, int to);
  TOVJobStep* Steps(int index) const;
  TOVJobRun* Events(int index) const;
  int StepCount() const { return static_cast<int>(steps_.size()); }
  int EventCount() const { return static_cast<int>(events_.size()); }

  // --- automation of this job's events (main thread)
  bool StartEvent(int index);
  void StopEvent(int index);
  void StartEvents();
  void StopEvents();

  // --- files
  void LoadFromFile(const std::string& path);
  void SaveToFile(const std::string& path);
  void SaveToJobsDir();
  // Saves to the Jobs directory unless the file holds these bytes already;
  // true when it wrote.
  bool SaveToJobsDirIfDifferent();
  void ReloadFromJobsDir();
  // The last load found the file ending inside its last parameter block.
  bool LoadedCut() const { return loadedCut_; }
  // "XXXXXXXX.ovj": the ID as 8 upper-case hexadecimal digits.
  std::string FileName() const;
  int IndexInList() const;

  // --- properties
  const std::string& Name() const { return name_; }
  void SetName(const std::string& value);
  // The name as a text that stays readable while the job exists, also
  // after a rename (plug-ins copy it on threads of their own).
  const char* StableName();
  Bool32 Active() const { return active_; }
  void SetActive(Bool32 value);
  int32_t ID() const { return id_; }
  void SetID(int32_t value);
  uint8_t ActionAfterRun() const { return actionAfterRun_; }
  void SetActionAfterRun(uint8_t value);
  bool ToLog() const { return toLog_; }
  void SetToLog(bool value);
  bool RunOnExit() const { return runOnExit_; }
  void SetRunOnExit(bool value);
  bool RunOnStart() const { return runOnStart_; }
  void SetRunOnStart(bool value);
  bool Hidden() const { return hidden_; }
  void SetHidden(bool value);
  int32_t Category() const { return category_; }
  void SetCategory(int32_t value);
  uint8_t Priority() const { return priority_; }
  void SetPriority(uint8_t value);

  bool Editing() const { return editing_; }
  void SetEditing(bool value) { editing_ = value; }
  bool Running() const { return running_; }
  bool StopRequested() const { return stopRequested_; }
  uint8_t State() const { return state_; }
  // The state text the lists show (without the "Idle..." event list).
  std::string StateText() const;
  bool Modified() const { return modified_; }
  void SetModified(bool value) { modified_ = value; }
  TOVJobs* Owner() const { return owner_; }
  TOVLog* Log() const { return log_.get(); }

  // Run bookkeeping, written by the run thread.
  DWORD ThreadId() const { return threadId_.load(); }
  void SetThreadId(DWORD id) { threadId_ = id; }
  int CurrentStep() const { return currentStep_.load(); }
  void SetCurrentStep(int index) { currentStep_ = index; }
  HANDLE ThreadHandle() const { return threadHandle_; }
  TJobRunThread* Thread() const { return thread_; }
  // Called on the main thread once the run thread has ended normally.
  void ThreadTerminated();

  std::function<void(TOVJob* sender, uint8_t state)> OnStateChange;
  std::function<void(TOVJob* sender)> OnFinish;

 private:
  void WriteJobBytes(const std::string& path, const std::vector<uint8_t>& bytes);
  void SetModifiedIfChanged(bool changed) {
    if (changed) modified_ = true;
  }

  std::atomic<DWORD> threadId_{0};
  std::vector<std::unique_ptr<TOVJobStep>> steps_;
  std::vector<std::unique_ptr<TOVJobRun>> events_;
  std::string name_;
  Bool32 active_ = 0;
  int32_t id_ = 0;
  bool running_ = false;
  bool editing_ = false;
  TOVJobs* owner_;
  TJobRunThread* thread_ = nullptr;
  std::atomic<int> currentStep_{-1};
  bool stopRequested_ = false;
  uint8_t state_ = jsManual;
  uint8_t actionAfterRun_ = aarNothing;
  std::unique_ptr<TOVLog> log_;
  bool toLog_ = false;
  bool modified_ = true;
  HANDLE threadHandle_ = nullptr;
  bool runOnExit_ = false;
  bool runOnStart_ = false;
  bool hidden_ = false;
  int32_t category_ = 0;
  uint8_t priority_ = 3;
  bool loadedCut_ = false;
  // Every name StableName handed out, freed with the job.
  std::vector<std::unique_ptr<std::string>> handedNames_;

  friend class TJobRunThread;
};

// A random job ID r with 0 <= r < 2147483647.
int32_t NewJobID();
// The canonical job file name of an ID: 8 upper-case hex digits + ".ovj".
std::string JobFileName(int32_t id);
// The state texts (index = state number).
extern const char* const kJobStateTexts[5];
