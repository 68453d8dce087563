// A job's run: one Win32 thread per running job that executes the steps.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>

class TOVJob;

// Private messages of the application window for run threads.
enum : UINT {
  WM_OV_RUNSTATE = WM_APP + 1,  // posted: wParam run serial; UpdateState on the main thread
  WM_OV_RUNDONE = WM_APP + 2,   // posted: wParam run serial; the thread has ended
  WM_OV_LOGDRAIN = WM_APP + 3,  // posted or sent: file the queued log lines
  WM_OV_VIEWSYNC = WM_APP + 4,  // posted: bring the log views up to date
};

class TJobRunThread {
 public:
  explicit TJobRunThread(TOVJob* job);
  ~TJobRunThread();
  TJobRunThread(const TJobRunThread&) = delete;
  TJobRunThread& operator=(const TJobRunThread&) = delete;

  // Creates the thread suspended with the job's priority; false on failure.
  bool Create();
  void Start();
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }
  HANDLE Handle() const { return handle_; }
  DWORD ThreadId() const { return threadId_; }
  uint32_t Serial() const { return serial_; }
  TOVJob* Job() const { return job_; }

 private:
  static DWORD WINAPI ThreadProc(void* self);
  void Execute();

  TOVJob* job_;
  HANDLE handle_ = nullptr;
  DWORD threadId_ = 0;
  uint32_t serial_;
  std::atomic<bool> terminated_{false};
};

// Priority names as logged, index = priority 0..6.
extern const char* const kPriorityNames[7];
int PriorityToThreadPriority(uint8_t priority);
int ThreadPriorityToIndex(int threadPriority);

// Main-thread side of the run protocol, called by the application window.
void HandleRunState(WPARAM wp);
void HandleRunDone(WPARAM wp);
// Closes the handles of runs that ended long enough ago (see the .cpp).
void RetireRunHandles(bool all);
