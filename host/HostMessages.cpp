#include "HostMessages.h"

#include "Engine.h"
#include "Host.h"
#include "OVClassesLog.h"
#include "OVError.h"
#include "OVTypes.h"
#include "OVVars.h"
#include "uGetFilesList.h"
#include "uMainExtras.h"

namespace {

LRESULT Dispatch(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case OVM_LOG: {
      const auto* rec = reinterpret_cast<const TOVLogRecord*>(lp);
      const char* text = reinterpret_cast<const char*>(wp);
      DrainLogQueue();
      RouteLogLine(text ? text : "", rec ? rec->Level : OV_LOG_INFO,
                   rec ? rec->Thread : MainThreadId());
      return 0;
    }
    case OVM_RUNJOB:
      return reinterpret_cast<LRESULT>(
          HandleRunJob(static_cast<int32_t>(wp), reinterpret_cast<const char*>(lp)));
    case OVM_ENUMJOBS:
      HandleEnumJobs(reinterpret_cast<void*>(wp));
      return 0;
    case OVM_GETAPPLICATION:
      return reinterpret_cast<LRESULT>(AppWindow());
    case OVM_JOBNAME:
      return reinterpret_cast<LRESULT>(HandleJobName(static_cast<int32_t>(wp)));
    case OVM_RESTOREHOST:
      EngineView()->RestoreHost();
      return 0;
    case OVM_GETMAINWINDOW:
      return reinterpret_cast<LRESULT>(MainWindow());
    case OVM_SHUTDOWN:
      HandleShutdownHelper(static_cast<int>(wp), static_cast<int32_t>(lp));
      return 0;
    case OVM_CURRENTJOB:
      return HandleCurrentJob(static_cast<unsigned long>(wp));
    case OVM_STOPJOB:
      HandleStopJob(static_cast<int32_t>(wp));
      return 0;
    case OVM_MINIMIZEHOST:
      EngineView()->MinimizeHost();
      return 0;
    case OVM_CLOSEHOST:
      EngineView()->CloseHost();
      return 0;
    case OVM_AUTOMATIONON:
    case OVM_AUTOMATIONOFF:
      HandleAutomation(msg == OVM_AUTOMATIONON);
      return 0;
    case OVM_ACTIVATEJOB:
    case OVM_DEACTIVATEJOB:
      HandleActivateJob(static_cast<int32_t>(wp), msg == OVM_ACTIVATEJOB);
      return 0;
    case OVM_ADDVARIABLE:
      HandleAddVariable(reinterpret_cast<const char*>(wp), reinterpret_cast<const char*>(lp));
      return 0;
    case OVM_DELETEVARIABLE:
      HandleDeleteVariable(reinterpret_cast<const char*>(wp));
      return 0;
    case OVM_SETVARIABLE:
      HandleDeleteVariable(reinterpret_cast<const char*>(wp));
      HandleAddVariable(reinterpret_cast<const char*>(wp), reinterpret_cast<const char*>(lp));
      return 0;
    case OVM_SELECTFILES:
      return HandleSelectFiles(reinterpret_cast<TOVSelectFilesRecord*>(wp));
    case OVM_ADDMENUITEM:
      return reinterpret_cast<LRESULT>(
          HandleAddMenuItem(reinterpret_cast<const TAddMenuItemRecord*>(wp)));
    case OVM_REMOVEMENUITEM:
      HandleRemoveMenuItem(reinterpret_cast<void*>(wp));
      return 0;
    default:
      return 0;
  }
}

}  // namespace

LRESULT HandleHostMessage(UINT msg, WPARAM wp, LPARAM lp) {
  // An error in a handler must not reach the sender (a plug-in's thread):
  // it goes to the main log like every unhandled error of the main thread.
  try {
    return Dispatch(msg, wp, lp);
  } catch (const std::exception& e) {
    try {
      RouteLogLine(e.what(), OV_LOG_ERROR, MainThreadId());
    } catch (...) {
    }
  } catch (...) {
  }
  return 0;
}
