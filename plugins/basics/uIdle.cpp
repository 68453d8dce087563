#include "uIdle.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

#include "OVDialog.h"
#include "OVError.h"
#include "OVPluginBlock.h"
#include "OVPluginHost.h"
#include "uDM.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

const char kCause[] = "Idle";

HINSTANCE Module() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

}  // namespace

bool ReadIdleBlock(const TOVRunnerParams& params, int32_t& minutes) {
  TBlockReader r(params);
  return r.Dword(minutes);
}

// ------------------------------------------------------------ TIdleList

TIdleList::TIdleList(const TRestWatch& hooks, int64_t idleBeforeMs) : Idle(hooks, idleBeforeMs) {
  hooksError_ = hooks.Error;
  // The system's alarm is not used: each event has its own minutes.
  Idle.Alarm = 0;
  Idle.OnTimer = [this] { Check(); };
  Idle.SetEnabled(true);
}

bool TIdleList::Start(TOVRunnerParams& params) {
  if (!Idle.InputReported()) {
    HostLog(OV_LOG_ERROR, "On idle: " + hooksError_);
    return false;
  }
  for (const TEntry& e : list_)
    if (e.Event == &params) return false;
  int32_t minutes = 0;
  if (!ReadIdleBlock(params, minutes) || minutes < kIdleMinMinutes || minutes > kIdleMaxMinutes) {
    HostLog(OV_LOG_ERROR, Format("The settings of \"On idle\" of job \"%s\" are incomplete. Reconfigure this event.",
                                 HostJobName(params.JobID).c_str()));
    return false;
  }
  TEntry e{&params, int64_t{minutes} * 60 * 1000, -1};
  // Started when its time in this idle period has already passed: it waits
  // for the next period rather than run at once.
  if (Idle.IdleMs() >= e.DueMs) e.RanFor = Idle.LastInput();
  list_.push_back(e);
  return true;
}

void TIdleList::Stop(TOVRunnerParams& params) {
  list_.erase(std::remove_if(list_.begin(), list_.end(), [&](const TEntry& e) { return e.Event == &params; }),
              list_.end());
}

void TIdleList::Check() {
  const int64_t idle = Idle.IdleMs();
  const int64_t period = Idle.LastInput();
  std::vector<int32_t> due;
  for (TEntry& e : list_) {
    if (e.RanFor == period || idle < e.DueMs) continue;
    e.RanFor = period;
    due.push_back(e.Event->JobID);
  }
  for (int32_t job : due) HostRunJob(job, kCause);
}

// ------------------------------------------------------------ the dialog

namespace {

class TfIdle : public OVDialog {
 public:
  TfIdle() : OVDialog(IDD_IDLE, Module()) {}
  int32_t Minutes = kIdleDefaultMinutes;

 protected:
  bool OnInit() override {
    int shown = std::clamp(Minutes, kIdleMinMinutes, kIdleMaxMinutes);
    SendDlgItemMessageA(Handle(), IDC_UDMINUTES, UDM_SETRANGE32, kIdleMinMinutes, kIdleMaxMinutes);
    SendDlgItemMessageA(Handle(), IDC_UDMINUTES, UDM_SETPOS32, 0, shown);
    SetItemInt(IDC_EMINUTES, shown);
    return true;
  }
  void OnOK() override {
    Minutes = std::clamp(GetItemInt(IDC_EMINUTES, kIdleDefaultMinutes), kIdleMinMinutes, kIdleMaxMinutes);
    End(IDOK);
  }
};

bool ConfigIdle(TOVRunnerParams& params) {
  TfIdle dialog;
  if (!ReadIdleBlock(params, dialog.Minutes)) dialog.Minutes = kIdleDefaultMinutes;
  if (dialog.DoModal() != IDOK) return false;
  if (!TBlockWriter().Dword(dialog.Minutes).StoreTo(params))
    throw std::runtime_error("Not enough memory to keep the minutes");
  return true;
}

void DescrIdle(TOVRunnerParams& params, std::string& descr) {
  int32_t minutes = kIdleDefaultMinutes;
  ReadIdleBlock(params, minutes);
  descr = Format("On idle (%d min)", minutes);
}

std::unique_ptr<TIdleList> g_idle;
TRestWatch g_restWatch;

// A program run can start as if the user had left the computer that many
// seconds before (for tests of the real program).
int64_t IdleBeforeStartMs() {
  char value[32];
  DWORD n = GetEnvironmentVariableA("ORVANE_IDLE_BEFORE", value, sizeof value);
  if (n == 0 || n >= sizeof value) return 0;
  long long seconds = std::strtoll(value, nullptr, 10);
  return seconds > 0 ? seconds * 1000 : 0;
}

}  // namespace

void CreateIdleList() {
  g_restWatch = LoadRestWatch();
  g_idle = std::make_unique<TIdleList>(g_restWatch, IdleBeforeStartMs());
}

void ReleaseIdleList() {
  g_idle.reset();
  FreeRestWatch(g_restWatch);
}

TIdleList* IdleList() { return g_idle.get(); }

TRunnerCase IdleCase() {
  return {
      .Config = ConfigIdle,
      .Start = [](TOVRunnerParams& p) { return g_idle && g_idle->Start(p); },
      .Stop =
          [](TOVRunnerParams& p) {
            if (g_idle) g_idle->Stop(p);
          },
      .Descr = DescrIdle,
  };
}
