// The process-wide job list and automation.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TOVJob;

class TOVJobs {
 public:
  TOVJobs();
  // Deletes every job, last first, then logs "Unload jobs...".
  virtual ~TOVJobs();
  TOVJobs(const TOVJobs&) = delete;
  TOVJobs& operator=(const TOVJobs&) = delete;

  virtual void Add(TOVJob* job);
  virtual void Delete(int index);

  int Count() const { return static_cast<int>(items_.size()); }
  TOVJob* Items(int index) const;
  int IndexOf(const TOVJob* job) const;
  bool AnyRunning() const;
  TOVJob* FindByID(int32_t id) const;
  // The job whose run thread has this identifier, or nullptr.
  TOVJob* FindByThread(unsigned long threadId) const;
  void LoadFromDir(const std::string& dir);

  std::function<void(TOVJobs* sender, TOVJob* job)> OnAdd;
  std::function<void(TOVJobs* sender, TOVJob* job)> OnRemove;

 private:
  std::vector<TOVJob*> items_;
};

// The automation flag (setting "EnableAutomation").
bool AutomationEnabled();
// Inverts the flag and arms or disarms every job's events.
void ToggleAutomation();
void SetAutomation(bool on);
