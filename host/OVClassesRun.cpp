#include "OVClassesRun.h"

#include <map>
#include <utility>
#include <vector>

#include "Host.h"
#include "OVClassesJob.h"
#include "OVClassesLog.h"
#include "OVClassesPlugins.h"
#include "OVError.h"

const char* const kPriorityNames[7] = {"Idle",   "Lowest",  "Lower",       "Normal",
                                       "Higher", "Highest", "TimeCritical"};

namespace {

// Live runs by serial (main thread only). A run that was killed is removed
// at once, so a late "done" message of it finds nothing.
std::map<uint32_t, TJobRunThread*> g_runs;
uint32_t g_nextSerial = 1;

// The handle RunJob returns is the run thread's handle. A caller may get it
// just before the run ends and wait on it a moment later, so a finished
// run's handle stays open for a while before it is closed.
constexpr ULONGLONG kHandleGraceMs = 60000;
std::vector<std::pair<HANDLE, ULONGLONG>> g_retired;

void RetireHandle(HANDLE h) {
  if (h) g_retired.emplace_back(h, GetTickCount64());
}

// Run threads that were killed but had not yet gone when the kill gave
// up waiting: their objects live until the thread has really ended.
std::vector<TJobRunThread*> g_dying;

// Frees a run's object once its thread is gone, or keeps it for later.
void ReleaseRunObject(TJobRunThread* t, DWORD waitMs) {
  if (WaitForSingleObject(t->Handle(), waitMs) == WAIT_OBJECT_0)
    delete t;
  else
    g_dying.push_back(t);
}

// The run's own lines after the first: queued like a plug-in's, in order.
void RunLog(uint8_t level, const std::string& text) { HostRecord.Log(level, text.c_str()); }

}  // namespace

int PriorityToThreadPriority(uint8_t priority) {
  static const int kMap[7] = {THREAD_PRIORITY_IDLE,         THREAD_PRIORITY_LOWEST,
                              THREAD_PRIORITY_BELOW_NORMAL, THREAD_PRIORITY_NORMAL,
                              THREAD_PRIORITY_ABOVE_NORMAL, THREAD_PRIORITY_HIGHEST,
                              THREAD_PRIORITY_TIME_CRITICAL};
  return kMap[priority > 6 ? 3 : priority];
}

int ThreadPriorityToIndex(int p) {
  switch (p) {
    case THREAD_PRIORITY_IDLE:
      return 0;
    case THREAD_PRIORITY_LOWEST:
      return 1;
    case THREAD_PRIORITY_BELOW_NORMAL:
      return 2;
    case THREAD_PRIORITY_ABOVE_NORMAL:
      return 4;
    case THREAD_PRIORITY_HIGHEST:
      return 5;
    case THREAD_PRIORITY_TIME_CRITICAL:
      return 6;
    default:
      return 3;
  }
}

void RetireRunHandles(bool all) {
  ReleaseEndedWriters();
  std::vector<TJobRunThread*> still;
  for (TJobRunThread* t : g_dying) {
    if (WaitForSingleObject(t->Handle(), 0) == WAIT_OBJECT_0)
      delete t;
    else
      still.push_back(t);
  }
  g_dying.swap(still);
  ULONGLONG now = GetTickCount64();
  std::vector<std::pair<HANDLE, ULONGLONG>> keep;
  for (auto& [h, since] : g_retired) {
    if (all || now - since >= kHandleGraceMs)
      CloseHandle(h);
    else
      keep.emplace_back(h, since);
  }
  g_retired.swap(keep);
}

// ------------------------------------------------------------ TJobRunThread

TJobRunThread::TJobRunThread(TOVJob* job) : job_(job), serial_(g_nextSerial++) {}

TJobRunThread::~TJobRunThread() { RetireHandle(handle_); }

bool TJobRunThread::Create() {
  handle_ = CreateThread(nullptr, 0, ThreadProc, this, CREATE_SUSPENDED, &threadId_);
  if (!handle_) return false;
  SetThreadPriority(handle_, PriorityToThreadPriority(job_->Priority()));
  return true;
}

void TJobRunThread::Start() { ResumeThread(handle_); }

DWORD WINAPI TJobRunThread::ThreadProc(void* self) {
  auto* t = static_cast<TJobRunThread*>(self);
  uint32_t serial = t->serial_;
  t->Execute();
  // The object may be gone once this message is handled: touch nothing
  // after posting it.
  PostMessageA(AppWindow(), WM_OV_RUNDONE, serial, 0);
  return 0;
}

void TJobRunThread::Execute() {
  TOVJob* job = job_;
  try {
    job->SetThreadId(GetCurrentThreadId());
    // The first line is filed before the run goes on, so that a stop asked
    // for right after the start takes effect before the first step.
    HostLog(OV_LOG_INFO, "****** Starting job... ******************");
    int index = ThreadPriorityToIndex(GetThreadPriority(GetCurrentThread()));
    RunLog(OV_LOG_INFO, std::string("Job started with priority: ") + kPriorityNames[index]);
    int count = job->StepCount();
    if (count == 0) {
      RunLog(OV_LOG_WARNING, "Job is empty!");
      return;
    }
    bool ok = true;
    bool shownRunning = false;
    for (int i = 0; i < count; ++i) {
      if (Terminated()) {
        RunLog(OV_LOG_WARNING, "Aborted");
        return;
      }
      TOVJobStep* step = job->Steps(i);
      if (step->Enabled()) {
        job->SetCurrentStep(i);
        TOVMethodParams params = step->Params();
        TOVPlugin* plugin = Plugins ? Plugins->FindByID(step->PluginID()) : nullptr;
        if (plugin) {
          // The job is "running" before its first step starts, as anything
          // the step asks the host (job enumeration, say) must see; later
          // steps only refresh the step name shown, which may follow.
          if (!shownRunning) {
            SendMessageA(AppWindow(), WM_OV_RUNSTATE, serial_, 0);
            shownRunning = true;
          } else {
            PostMessageA(AppWindow(), WM_OV_RUNSTATE, serial_, 0);
          }
          RunLog(OV_LOG_INFO, Format("Executing \"%s\"", step->Name().c_str()));
          if (ok) {
            // A step whose plug-in raised or faulted has failed, as a
            // plug-in built on the framework reports it.
            try {
              ok = plugin->ExecMethod(step->MethodIndex(), &params);
            } catch (const std::exception& e) {
              RunLog(OV_LOG_ERROR, "An error occured. Reconfigure this step.");
              RunLog(OV_LOG_ERROR, e.what());
              ok = false;
            } catch (...) {
              RunLog(OV_LOG_ERROR, "An error occured. Reconfigure this step.");
              ok = false;
            }
          }
        } else {
          // A step that cannot run has not done its work either.
          RunLog(OV_LOG_ERROR, Format("Unknown plugin; ID=%d", step->PluginID()));
          ok = false;
        }
      } else {
        RunLog(OV_LOG_WARNING, "Step \"" + step->Name() + "\" is skipped");
      }
      // A stop that came while the last step ran (a step that waited for a
      // program or another job gives up its wait for it) ends the run as
      // stopped, not as a success.
      if (i == count - 1 && Terminated()) {
        RunLog(OV_LOG_WARNING, "Aborted");
        return;
      }
      if (i == count - 1) {
        if (ok)
          RunLog(OV_LOG_INFO, "Job executed successfully");
        else
          RunLog(OV_LOG_ERROR, "Job executed abnormally");
      }
    }
  } catch (const std::exception& e) {
    RunLog(OV_LOG_ERROR, e.what());
  } catch (...) {
    RunLog(OV_LOG_ERROR, "Unknown error");
  }
}

// ------------------------------------------------- TOVJob: run, stop, kill

bool TOVJob::Run() {
  if (running_ || editing_) return false;
  auto* t = new TJobRunThread(this);
  if (!t->Create()) {
    delete t;
    RaiseError("Cannot start a thread for Job [%s]", name_.c_str());
  }
  running_ = true;
  stopRequested_ = false;
  thread_ = t;
  threadHandle_ = t->Handle();
  // Known before the first line, so every line lands in this job's log.
  threadId_ = t->ThreadId();
  g_runs[t->Serial()] = t;
  t->Start();
  return true;
}

void TOVJob::Stop() {
  if (!running_ || stopRequested_) return;
  stopRequested_ = true;
  if (thread_) thread_->Terminate();
  UpdateState();
}

void TOVJob::Kill() {
  if (!running_ || !stopRequested_) return;
  TJobRunThread* t = thread_;
  [&] {
    // No error box may open (and run other messages) before the run is
    // wound up: a run is finished once, by the kill or by its end.
    TErrorBoxHold hold;
    if (t) {
      HANDLE h = t->Handle();
      const bool terminated = TerminateThread(h, 1) != 0;
      const DWORD error = terminated ? 0 : GetLastError();
      if (!terminated && WaitForSingleObject(h, 0) != WAIT_OBJECT_0) {
        // The thread runs on and still reads the job: it stays this job's.
        HostLog(OV_LOG_ERROR, "Job [" + name_ + "] cannot be killed (" + SystemErrorText(error) + ")");
        return;
      }
      // The termination completes asynchronously; the run's object lives
      // until the thread is really gone.
      WaitForSingleObject(h, 5000);
      // What the run wrote before it was killed still belongs to its log.
      DrainLogQueue();
      g_runs.erase(t->Serial());
    }
    thread_ = nullptr;
    threadHandle_ = nullptr;
    stopRequested_ = false;
    running_ = false;
    threadId_ = 0;
    if (t) ReleaseRunObject(t, 0);
    UpdateState();
    HostLog(OV_LOG_WARNING, "Job [" + name_ + "] killed by user.");
  }();
  ShowPendingErrorBoxes();
}

void TOVJob::ThreadTerminated() {
  running_ = false;
  stopRequested_ = false;
  threadId_ = 0;
  thread_ = nullptr;
  threadHandle_ = nullptr;
  UpdateState();
  if (OnFinish) OnFinish(this);
}

// ------------------------------------------------------- main-thread side

void HandleRunState(WPARAM wp) {
  // A run that was killed meanwhile is no longer listed.
  auto it = g_runs.find(static_cast<uint32_t>(wp));
  if (it != g_runs.end()) it->second->Job()->UpdateState();
}

void HandleRunDone(WPARAM wp) {
  // A run that was killed meanwhile is no longer listed: it was finished.
  auto it = g_runs.find(static_cast<uint32_t>(wp));
  if (it == g_runs.end()) return;
  TJobRunThread* t = it->second;
  g_runs.erase(it);
  {
    // No error box until the run is wound up (see Kill).
    TErrorBoxHold hold;
    DrainLogQueue();
    TOVJob* job = t->Job();
    // Let the thread leave its procedure so that its handle is signalled
    // before anything that follows the run (its job may even be deleted).
    ReleaseRunObject(t, 5000);
    job->ThreadTerminated();
  }
  ShowPendingErrorBoxes();
}
