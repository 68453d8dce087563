#include "Engine.h"

#include "CallGuard.h"
#include "Host.h"
#include "OVClassesJob.h"
#include "OVClassesJobs.h"
#include "OVClassesLog.h"
#include "OVClassesPlugins.h"
#include "OVClassesRun.h"
#include "OVError.h"
#include "OVMsgBox.h"
#include "OVVars.h"
#include "uMainExtras.h"
#include "uSettings.h"
#include "uWaitForJobsTerminate.h"

namespace {

TEngineView g_defaultView;
TEngineView* g_view = &g_defaultView;
bool g_released = false;
bool g_started = false;

// Categories, settings, the start-with-Windows entry and the user
// variables, while the main log can still take a failure.
void SaveAtExit() {
  std::string error;
  if (!SaveCategories(&error)) HostLog(OV_LOG_ERROR, error);
  if (!SaveSettings(&error)) HostLog(OV_LOG_ERROR, "Cannot save the settings: " + error);
}

// ---- handlers bound to the job list and to every job

void JobStateChanged(TOVJob* job, uint8_t) {
  g_view->IconRule();
  g_view->JobStateChanged(job);
}

void JobFinished(TOVJob* job) {
  switch (job->ActionAfterRun()) {
    case aarDeactivate:
      job->SetActive(0);
      break;
    case aarDelete: {
      int i = Jobs ? Jobs->IndexOf(job) : -1;
      if (i >= 0) Jobs->Delete(i);
      break;
    }
    default:
      break;
  }
}

void JobAdded(TOVJobs*, TOVJob* job) {
  job->OnStateChange = JobStateChanged;
  job->OnFinish = [](TOVJob* j) {
    try {
      JobFinished(j);
    } catch (const std::exception& e) {
      HostLog(OV_LOG_ERROR, e.what());
    }
  };
  g_view->JobAdded(job);
}

void JobRemoved(TOVJobs*, TOVJob* job) {
  std::string file = IncludeTrailingBackslash(Settings.JobDir) + job->FileName();
  if (FileExists(file) && !DeleteFileA(file.c_str()))
    RaiseError("Cannot delete job \"%s\"", job->Name().c_str());
  job->Log()->AutoSave = false;
  job->Log()->AttachView(nullptr);
  std::string log = job->Log()->FileName();
  if (FileExists(log)) DeleteFileA(log.c_str());
  g_view->JobRemoved(job);
}

}  // namespace

void BindJobList(TOVJobs* jobs) {
  jobs->OnAdd = JobAdded;
  jobs->OnRemove = JobRemoved;
}

void SetEngineView(TEngineView* view) { g_view = view ? view : &g_defaultView; }
TEngineView* EngineView() { return g_view; }
bool EngineReleased() { return g_released; }

void EngineStartup() {
  if (g_started) return;
  g_started = true;
  // The settings come first: they name the directories and bound every
  // log, the main log's history included.
  std::vector<std::string> problems = LoadSettings();
  InitHostRecord();

  // The main log, then the variables, then the plug-ins.
  MainLog = new TOVLog(nullptr);
  MainLog->LoadLog();
  if (void* view = g_view->LogView()) MainLog->AttachView(static_cast<HWND>(view));
  InitVariables();
  HostLog(OV_LOG_INFO, "**** Orvane 1.4 starting... ************************");
  for (const std::string& p : problems) HostLog(OV_LOG_ERROR, p);
  Plugins = new TOVPlugins();
  Plugins->OnBeforeLoad = [](TOVPlugins*, const std::string&, bool& allow) { allow = true; };
  Plugins->OnLoaded = [](TOVPlugins*, TOVPlugin* p) {
    HostLog(OV_LOG_INFO, Format("Plugin \"%s\" loaded", p->Description().c_str()));
  };
  Plugins->LoadFromDir(ProgramDir() + "Plugins");
  ProcessMessages();

  // After the plug-ins: a variable a plug-in registered keeps its name.
  LoadUserVariables();
  for (const std::string& w : LoadCategories()) HostLog(OV_LOG_WARNING, w);
  g_view->CategoriesLoaded();

  Jobs = new TOVJobs();
  BindJobList(Jobs);
  Jobs->LoadFromDir(Settings.JobDir);
  g_view->JobsLoaded();

  // The stored automation value is applied by toggling from its opposite.
  Settings.EnableAutomation = !Settings.EnableAutomation;
  ToggleAutomation();
  g_view->IconRule();
  if (AutomationEnabled()) {
    for (int i = 0; i < Jobs->Count(); ++i) {
      TOVJob* job = Jobs->Items(i);
      if (job->RunOnStart() && job->Active()) HostRecord.RunJob(job->ID(), "On start");
    }
  }
  RemoveOrphanedLogs(Settings.LogDir, Settings.JobDir);
}

void EngineShutdown() {
  if (g_released || !g_started) return;
  if (Jobs && AutomationEnabled()) {
    for (int i = 0; i < Jobs->Count(); ++i) {
      TOVJob* job = Jobs->Items(i);
      if (job->Active() && job->RunOnExit()) {
        try {
          job->Run();
        } catch (const std::exception& e) {
          HostLog(OV_LOG_ERROR, e.what());
        }
      }
    }
  }
  if (Jobs) {
    WaitForJobsTerminate();
    // Freeing the list must delete no files.
    Jobs->OnRemove = nullptr;
    for (int i = 0; i < Jobs->Count(); ++i) {
      TOVJob* job = Jobs->Items(i);
      try {
        job->StopEvents();
        job->SaveToJobsDirIfDifferent();
      } catch (const std::exception& e) {
        HostLog(OV_LOG_ERROR, e.what());
      }
    }
    delete Jobs;
    Jobs = nullptr;
  }
  if (Plugins) Plugins->ShutdownAll();
  // Menu items left by the plug-ins go before their code is unloaded.
  ForgetPluginMenuItems();
  ProcessMessages();
  delete Plugins;
  Plugins = nullptr;
  RetireRunHandles(true);
  SaveAtExit();
  SetLogClosing(true);
  delete MainLog;
  MainLog = nullptr;
  g_released = true;
  FreeVariables();
  RemoveOrphanedLogs(Settings.LogDir, Settings.JobDir);
}

// ------------------------------------------------------- message services

void* HandleRunJob(int32_t jobId, const char* cause) {
  TOVJob* job = Jobs ? Jobs->FindByID(jobId) : nullptr;
  if (!job) return nullptr;
  HostLog(OV_LOG_INFO, Format("Starting Job [%s]", job->Name().c_str()));
  if (cause) HostLog(OV_LOG_INFO, Format("Cause: %s", cause));
  job->Run();
  g_view->IconRule();
  return job->ThreadHandle();
}

void HandleEnumJobs(void* proc) {
  auto fn = reinterpret_cast<TOVJobsEnumProc>(proc);
  if (!fn || !Jobs) return;
  try {
    for (int i = 0; i < Jobs->Count(); ++i) {
      TOVJob* job = Jobs->Items(i);
      int32_t id = job->ID();
      const char* name = job->Name().c_str();
      uint32_t state = job->State();
      Guarded("JobsEnumProc", "???", [&] { fn(id, name, state); });
    }
  } catch (const std::exception& e) {
    HostLog(OV_LOG_ERROR, e.what());
  }
}

const char* HandleJobName(int32_t jobId) {
  TOVJob* job = Jobs ? Jobs->FindByID(jobId) : nullptr;
  // The sender reads the text after this returns, on its own thread: a
  // rename in between must not free it.
  return job ? job->StableName() : OV_UNKNOWN_JOB_NAME;
}

int32_t HandleCurrentJob(unsigned long threadId) {
  TOVJob* job = Jobs ? Jobs->FindByThread(threadId) : nullptr;
  return job ? job->ID() : 0;
}

void HandleStopJob(int32_t jobId) {
  if (TOVJob* job = Jobs ? Jobs->FindByID(jobId) : nullptr) job->Stop();
}

void HandleShutdownHelper(int mode, int32_t requester) {
  // The program folder is quoted: it may hold blanks.
  const std::string exe = ProgramDir() + "tapdown.exe";
  std::string cmd = Format("\"%s\" %d %d", exe.c_str(), mode, mode);
  UINT started = WinExec(cmd.c_str(), SW_SHOWNORMAL);
  if (started > 31) return;
  // The request was posted: the step that asked has been told it went
  // out. The failure is logged where its job's log shows it as well.
  std::string text = Format("Cannot start the shutdown helper \"%s\" (%s)", exe.c_str(),
                            SystemErrorText(started ? started : ERROR_NOT_ENOUGH_MEMORY).c_str());
  HostLog(OV_LOG_ERROR, text);
  if (TOVJob* job = requester && Jobs ? Jobs->FindByID(requester) : nullptr)
    LogToJob(job, OV_LOG_ERROR, text);
}

void HandleActivateJob(int32_t jobId, bool active) {
  TOVJob* job = Jobs ? Jobs->FindByID(jobId) : nullptr;
  if (!job) return;
  if (job->Running()) {
    ShowInfo(MainWindow(), Format("Job \"%s\" is currently running...", job->Name().c_str()));
    return;
  }
  job->SetActive(active ? -1 : 0);
  job->SaveToJobsDir();
}

void HandleAutomation(bool on) {
  SetAutomation(on);
  g_view->IconRule();
  // Kept at once: a job that switches automation off may go on to shut
  // the computer down, and the exit's save would never come.
  std::string error;
  if (!SaveSetting("EnableAutomation", &error)) HostLog(OV_LOG_ERROR, "Cannot save the settings: " + error);
}
