// "Run other Job": asks the host to run another job and, when told to,
// waits until that run has ended.
#include "uSelectJob.h"

#include <windows.h>

#include <vector>

#include "BasicsUtil.h"
#include "uDM.h"
#include "OVDialog.h"
#include "OVError.h"

namespace {

const char* const kName = "Run other Job";

// Exactly a job ID and the wait flag.
struct TSelectJobSettings {
  int32_t JobID = 0;
  bool Wait = false;
};

bool ReadSettings(const TOVMethodParams& params, TSelectJobSettings& s) {
  TBlockReader r(params);
  r.Dword(s.JobID);
  r.Bool(s.Wait);
  return r.ok();
}

bool ExecSelectJob(TOVMethodParams& params) {
  if (TBlockReader(params).Empty()) return true;  // configured never: nothing to run
  TSelectJobSettings s;
  if (!ReadSettings(params, s)) {
    LogIncompleteSettings(kName);
    return false;
  }
  int32_t caller = HostCurrentJob();
  std::string reason = "Run other job (from " + HostJobName(caller) + ")";
  HANDLE run = HostRunJob(s.JobID, reason);
  if (!run) {
    // A job that exists but is open in the job editor does not start
    // either: say which.
    const TJobEntry* found = nullptr;
    std::vector<TJobEntry> jobs = HostEnumJobs();
    for (const TJobEntry& job : jobs)
      if (!found && job.ID == s.JobID) found = &job;
    if (!found)
      HostLog(OV_LOG_INFO, Format("There is no job with the ID %ld to run", static_cast<long>(s.JobID)));
    else if (found->State == OV_STATE_DISABLED)
      HostLog(OV_LOG_INFO, Format("The job \"%s\" is open in the job editor and cannot run",
                                  found->Name.c_str()));
    else
      HostLog(OV_LOG_INFO, Format("The job \"%s\" did not start", found->Name.c_str()));
    return true;
  }
  if (!s.Wait) return true;
  // A job that runs itself gets back the handle of the very run that is
  // waiting: that wait would never end.
  if (caller != 0 && caller == s.JobID) {
    HostLog(OV_LOG_INFO, "A job does not wait for its own run");
    return true;
  }
  // A stop request for this job ends the wait; the other job runs on.
  if (WaitPumpingUntilStopped(run, caller) == TWaitEnd::Stopped)
    HostLog(OV_LOG_WARNING, Format("Stopped waiting for the job \"%s\"", HostJobName(s.JobID).c_str()));
  return true;
}

void DescrSelectJob(TOVMethodParams& params, std::string& descr) {
  TSelectJobSettings s;
  if (!TBlockReader(params).Empty() && ReadSettings(params, s))
    descr = Format("Run job \"%s\"", HostJobName(s.JobID).c_str());
}

class TfSelectJob : public OVDialog {
 public:
  TfSelectJob() : OVDialog(IDD_SELECTJOB) {}
  TSelectJobSettings Settings;
  bool Configured = false;

 protected:
  bool OnInit() override {
    // Jobs open in the job editor cannot be chosen.
    int selected = -1;
    for (const TJobEntry& job : HostEnumJobs()) {
      if (job.State == OV_STATE_DISABLED) continue;
      int index = ComboAdd(IDC_cbJobs, job.Name);
      if (index < 0) continue;
      SendDlgItemMessageA(Handle(), IDC_cbJobs, CB_SETITEMDATA, static_cast<WPARAM>(index),
                          static_cast<LPARAM>(job.ID));
      if (Configured && selected < 0 && job.ID == Settings.JobID) selected = index;
    }
    SetComboIndex(IDC_cbJobs, selected);
    SetChecked(IDC_cbJobWait, Settings.Wait);
    return true;
  }

  void OnOK() override {
    int index = ComboIndex(IDC_cbJobs);
    if (index < 0) {
      MessageBeep(MB_OK);
      Focus(IDC_cbJobs);
      return;
    }
    Settings.JobID = static_cast<int32_t>(
        SendDlgItemMessageA(Handle(), IDC_cbJobs, CB_GETITEMDATA, static_cast<WPARAM>(index), 0));
    Settings.Wait = IsChecked(IDC_cbJobWait);
    End(IDOK);
  }
};

bool ConfigSelectJob(TOVMethodParams& params) {
  TfSelectJob dialog;
  TSelectJobSettings s;
  if (!TBlockReader(params).Empty() && ReadSettings(params, s)) {
    dialog.Settings = s;
    dialog.Configured = true;
  }
  if (dialog.DoModal() != IDOK) return false;
  return TBlockWriter().Dword(dialog.Settings.JobID).Bool(dialog.Settings.Wait).StoreTo(params);
}

}  // namespace

TMethodCase SelectJobCase() {
  return TMethodCase{.Exec = ExecSelectJob, .Config = ConfigSelectJob, .Descr = DescrSelectJob};
}
