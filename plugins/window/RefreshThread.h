// A thread that looks at something now and then until it is asked to end.
//
// The thread keeps its object alive while it runs and lets go of it when it
// ends, so whoever started it may drop its own reference at any time. It
// also holds a reference on the plug-in's module: a thread that ends late
// (it was busy when its stop gave up waiting) never runs in a library the
// host has already released. It is never killed: a killed thread may hold
// a lock of the process, such as the heap's.
#pragma once

#include <windows.h>

#include <atomic>
#include <memory>

class TRefreshThread {
 public:
  TRefreshThread();
  virtual ~TRefreshThread();
  TRefreshThread(const TRefreshThread&) = delete;
  TRefreshThread& operator=(const TRefreshThread&) = delete;

  // Starts self's thread. False when no thread could be made.
  static bool Start(const std::shared_ptr<TRefreshThread>& self);
  // Asks the thread to end; it ends at its next look or nap.
  void Terminate();
  bool Terminated() const { return terminated_.load(); }
  // Waits up to timeoutMs for the thread to end, serving the messages other
  // threads send to the caller meanwhile. True when it has ended.
  bool WaitFor(DWORD timeoutMs) const;

 protected:
  // The thread's work; returns when Terminated() holds.
  virtual void Execute() = 0;
  // Sleeps ms unless asked to end; false when asked.
  bool Nap(DWORD ms) const;

 private:
  static DWORD WINAPI ThreadMain(void* holder);
  HANDLE endEvent_;
  HANDLE thread_ = nullptr;
  std::atomic<bool> terminated_{false};
};
