// The window watcher: a thread per armed event that looks for its window
// every interval and runs the job when the window's state changes into the
// awaited one (a window already there when the event is armed does not
// run the job).
#include "uWindowWatcher.h"

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <memory>
#include <vector>

#include "OVError.h"
#include "RefreshThread.h"
#include "WindowTitles.h"
#include "uDM.h"

namespace {

const char* const kName = "Window watcher";

enum : uint32_t { kAppears = 0, kDisappears = 1 };
constexpr int32_t kMinInterval = 1, kMaxInterval = 3600, kDefaultInterval = 10;
// Per second of the interval the thread sleeps 19 naps of 50 ms.
constexpr DWORD kNapMsPerSecond = 19 * 50;
// How long a stop waits for the thread before leaving it to end by itself.
constexpr DWORD kStopWaitMs = 2000;

struct TWatcherSettings {
  TWindowSpec Window;
  uint32_t WatchFor = kAppears;
  int32_t Interval = kDefaultInterval;
};

bool ReadWatcher(const TOVRunnerParams& params, TWatcherSettings& s) {
  TBlockReader r(params);
  if (r.Empty()) return true;
  return ReadWindowSpec(r, s.Window) && r.Dword(s.WatchFor) && r.Dword(s.Interval);
}

// An interval of 0 would look without pause; one past the dialog's range
// is taken as its end.
int32_t UsableInterval(int32_t seconds) { return std::clamp(seconds, kMinInterval, kMaxInterval); }

class TWindowWatcher : public TRefreshThread {
 public:
  TWindowWatcher(int32_t jobId, const std::string& title, uint8_t match, uint32_t watchFor, int32_t interval)
      : jobId_(jobId),
        title_(title),
        match_(match),
        watchFor_(watchFor),
        napMs_(kNapMsPerSecond * static_cast<DWORD>(UsableInterval(interval))),
        cause_("Window " + title + (watchFor == kAppears ? " appears" : " disappears")),
        last_(Awaited()) {}

  int32_t JobID() const { return jobId_; }

 protected:
  void Execute() override {
    do {
      bool now = Awaited();
      if (now != last_) {
        last_ = now;
        // A stop may have come while the thread looked: then no new run.
        if (now && !Terminated()) HostRunJob(jobId_, cause_);
      }
    } while (Nap(napMs_));
  }

 private:
  // Whether the awaited state holds: the window is there ("appears") or
  // is not ("disappears").
  bool Awaited() const {
    bool found = FindWindowByTitle(title_, match_) != nullptr;
    return watchFor_ == kAppears ? found : !found;
  }

  const int32_t jobId_;
  const std::string title_;
  const uint8_t match_;
  const uint32_t watchFor_;
  const DWORD napMs_;
  const std::string cause_;
  bool last_;  // the thread's own once it runs
};

// The running watchers; changed by the host's main thread only.
std::vector<std::shared_ptr<TWindowWatcher>> g_watchers;

std::shared_ptr<TWindowWatcher> TakeWatcher(int32_t jobId) {
  auto it = std::find_if(g_watchers.begin(), g_watchers.end(), [jobId](auto& w) { return w->JobID() == jobId; });
  if (it == g_watchers.end()) return nullptr;
  auto watcher = *it;
  g_watchers.erase(it);
  return watcher;
}

bool StartWatcher(TOVRunnerParams& params) {
  TWatcherSettings s;
  if (!ReadWatcher(params, s)) {
    LogIncompleteSettings(kName);
    return false;
  }
  if (s.WatchFor != kAppears && s.WatchFor != kDisappears) {
    HostLog(OV_LOG_ERROR, Format("The settings of \"%s\" name nothing to watch for (%lu). Reconfigure this event.",
                                 kName, static_cast<unsigned long>(s.WatchFor)));
    return false;
  }
  std::string title = HostExpandVars(s.Window.Title);
  for (auto& w : g_watchers) {
    if (w->JobID() != params.JobID) continue;
    HostLog(OV_LOG_ERROR, Format("Only one \"%s\" per job can run: the job \"%s\" has one running already.", kName,
                                 HostJobName(params.JobID).c_str()));
    return false;
  }
  auto watcher = std::make_shared<TWindowWatcher>(params.JobID, title, s.Window.Match, s.WatchFor, s.Interval);
  g_watchers.push_back(watcher);
  if (TRefreshThread::Start(watcher)) return true;
  g_watchers.pop_back();
  return false;
}

// A watcher still busy after the wait (reading the title of a window whose
// thread does not answer) ends by itself later; it no longer runs its job.
void EndWatcher(const std::shared_ptr<TWindowWatcher>& watcher) {
  watcher->Terminate();
  watcher->WaitFor(kStopWaitMs);
}

// Out of the list before the wait: whatever the wait serves (a start of
// another event, say) never meets a watcher that is ending.
void StopWatcher(TOVRunnerParams& params) {
  if (auto watcher = TakeWatcher(params.JobID)) EndWatcher(watcher);
}

class TfWindowWatcher : public TWindowTitleDialog {
 public:
  TfWindowWatcher() : TWindowTitleDialog(IDD_WINDOWWATCHER, {IDC_cbWatchCaption, IDC_cbWatchExact, IDC_bWatchVariable}) {}
  uint32_t WatchFor = kAppears;
  int32_t Interval = kDefaultInterval;

 protected:
  bool OnInit() override {
    CheckRadio(IDC_rbAppears, IDC_rbDisappears, WatchFor == kDisappears ? IDC_rbDisappears : IDC_rbAppears);
    int shown = UsableInterval(Interval);
    SendDlgItemMessageA(Handle(), IDC_udInterval, UDM_SETRANGE32, kMinInterval, kMaxInterval);
    SendDlgItemMessageA(Handle(), IDC_udInterval, UDM_SETPOS32, 0, shown);
    SetItemInt(IDC_eInterval, shown);
    return TWindowTitleDialog::OnInit();
  }

  void OnOK() override {
    TakeSpec();
    WatchFor = CheckedRadio(IDC_rbAppears, IDC_rbDisappears) == IDC_rbDisappears ? kDisappears : kAppears;
    Interval = UsableInterval(GetItemInt(IDC_eInterval, kDefaultInterval));
    End(IDOK);
  }
};

bool ConfigWatcher(TOVRunnerParams& params) {
  TWatcherSettings s;
  if (!ReadWatcher(params, s)) s = TWatcherSettings{};
  TfWindowWatcher dialog;
  dialog.Spec = s.Window;
  dialog.WatchFor = s.WatchFor;
  dialog.Interval = s.Interval;
  if (dialog.DoModal() != IDOK) return false;
  TBlockWriter w;
  WriteWindowSpec(w, dialog.Spec);
  w.Dword(dialog.WatchFor).Dword(dialog.Interval);
  return w.StoreTo(params);
}

}  // namespace

TRunnerCase WindowWatcherCase() {
  return TRunnerCase{.Config = ConfigWatcher, .Start = StartWatcher, .Stop = StopWatcher, .Descr = nullptr};
}

void ReleaseWindowWatchers() {
  auto watchers = std::move(g_watchers);
  g_watchers.clear();
  // All are asked first, so that they end side by side.
  for (auto& w : watchers) w->Terminate();
  for (auto& w : watchers) EndWatcher(w);
}
