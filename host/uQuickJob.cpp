// The quick job: one action, configured and run at once as a hidden job
// that deletes itself after its run.
#include <memory>
#include <stdexcept>

#include "Engine.h"
#include "Host.h"
#include "OVClassesJob.h"
#include "OVClassesJobs.h"
#include "OVClassesPlugins.h"
#include "OVError.h"
#include "OVMsgBox.h"
#include "uJob.h"
#include "uMainExtras.h"
#include "uSelectItem.h"
#include "uSettings.h"

void QuickJobCommand(HWND owner, int category) {
  if (!Jobs) return;
  try {
    TPickedItem picked;
    if (!PickAction(owner, &picked)) return;
    auto job = std::make_unique<TOVJob>(Jobs);
    // A quick job never takes the ID, and so the files, of another one.
    const std::string dir = IncludeTrailingBackslash(Settings.JobDir);
    while (Jobs->FindByID(job->ID()) || FileExists(dir + job->FileName())) job->SetID(NewJobID());
    job->SetName(">> Quick Job >>");
    job->SetCategory(category);
    job->SetActionAfterRun(aarDelete);
    job->SetToLog(false);
    job->SetHidden(true);

    TOVPlugin* plugin = Plugins ? Plugins->FindByID(picked.PluginID) : nullptr;
    if (!plugin) RaiseError("Unknown plugin; ID=%d", static_cast<int>(picked.PluginID));
    TOVJobStep* step = job->AddStep();
    step->SetPluginID(picked.PluginID);
    step->SetMethodIndex(picked.Index);
    step->SetEnabled(-1);
    step->SetName(plugin->MethodName(picked.Index));
    if (!ConfigureStep(*plugin, *step)) return;  // the job goes unsaved
    TOVMethodParams copy = step->Params();
    step->SetName(plugin->MethodDescription(picked.Index, &copy));

    TOVJob* added = job.release();
    Jobs->Add(added);
    added->UpdateState();
    // A job that did not start is never finished, so nothing else would
    // remove it.
    auto drop = [added] {
      int i = Jobs->IndexOf(added);
      if (i >= 0) Jobs->Delete(i);
    };
    try {
      HandleRunJob(added->ID(), "Manual run");
    } catch (...) {
      drop();
      throw;
    }
    if (!added->Running()) drop();
  } catch (const std::exception& e) {
    ShowError(owner, e.what());
  }
}
