// The engine's part of the program's life: the start-up and exit orders,
// and the handlers that the main window binds to the job list.
#pragma once

#include <cstdint>
#include <string>

class TOVJob;

// What the main window shows of the engine. The engine calls it on the
// main thread; every method has a harmless default.
class TEngineView {
 public:
  virtual ~TEngineView() = default;
  virtual void JobAdded(TOVJob*) {}
  virtual void JobRemoved(TOVJob*) {}
  virtual void JobStateChanged(TOVJob*) {}
  // Automation switched or a run started or ended: tray icon and status.
  virtual void IconRule() {}
  virtual void RestoreHost() {}
  virtual void MinimizeHost() {}
  // Close the main window through the exit sequence (CloseHost).
  virtual void CloseHost() {}
  // The view that shows the main log (a list box), or null.
  virtual void* LogView() { return nullptr; }
  // Start-up milestones: the categories are read (the jobs are not yet),
  // and every job file is loaded (automation is not applied yet).
  virtual void CategoriesLoaded() {}
  virtual void JobsLoaded() {}
};

void SetEngineView(TEngineView* view);
class TOVJobs;
// Binds the engine's handlers to a job list (added: state and finish
// handlers and the view's row; removed: the job's files and its row).
void BindJobList(TOVJobs* jobs);
TEngineView* EngineView();

// Start-up, after the application window exists: settings and directories,
// host record, main log, variables, plug-ins, user variables, categories,
// jobs, automation, the "On start" jobs and the removal of orphaned logs.
void EngineStartup();
// Exit: the "On exit" jobs, the wait for every run (with the exit window),
// events stopped and every job saved, plug-ins shut down and released,
// categories, settings and user variables saved, orphaned logs removed.
// Runs once.
void EngineShutdown();
bool EngineReleased();

// Message services that the message table calls.
void* HandleRunJob(int32_t jobId, const char* cause);
void HandleEnumJobs(void* proc);
const char* HandleJobName(int32_t jobId);
int32_t HandleCurrentJob(unsigned long threadId);
void HandleStopJob(int32_t jobId);
// requester: the ID of the job whose step asked (0 when not known).
void HandleShutdownHelper(int mode, int32_t requester);
void HandleActivateJob(int32_t jobId, bool active);
void HandleAutomation(bool on);
