// "Check for window": exists or is active, then the job goes on or stops
// after this step. The answer never fails the step; only settings it
// cannot use do.
#include "uCheckForWindow.h"

#include "OVError.h"
#include "uDM.h"

namespace {

const char* const kName = "Check for window";

enum : uint32_t { kWindowExist = 0, kWindowActive = 1 };
enum : uint32_t { kStopIfNot = 0, kStopIf = 1 };

struct TCheckSettings {
  TWindowSpec Window;
  uint32_t CheckFor = kWindowExist;
  uint32_t StopIf = kStopIfNot;
};

bool ReadCheck(const TOVMethodParams& params, TCheckSettings& s) {
  TBlockReader r(params);
  if (r.Empty()) return true;
  return ReadWindowSpec(r, s.Window) && r.Dword(s.CheckFor) && r.Dword(s.StopIf);
}

bool ExecCheck(TOVMethodParams& params) {
  TCheckSettings s;
  if (!ReadCheck(params, s)) {
    LogIncompleteSettings(kName);
    return false;
  }
  std::string title = HostExpandVars(s.Window.Title);
  bool yes;
  switch (s.CheckFor) {
    case kWindowExist:
      yes = FindWindowByTitle(title, s.Window.Match) != nullptr;
      break;
    case kWindowActive:
      yes = ForegroundTitleMatches(title, s.Window.Match);
      break;
    default:
      HostLog(OV_LOG_ERROR, Format("The settings of \"%s\" name no check (%lu). Reconfigure this step.", kName,
                                   static_cast<unsigned long>(s.CheckFor)));
      return false;
  }
  if ((yes && s.StopIf == kStopIf) || (!yes && s.StopIf == kStopIfNot)) {
    // Outside a job run (a dialog trying the step) there is nothing to stop.
    if (int32_t job = HostCurrentJob()) HostStopJob(job);
  }
  return true;
}

class TfCheckForWindow : public TWindowTitleDialog {
 public:
  TfCheckForWindow()
      : TWindowTitleDialog(IDD_CHECKFORWINDOW, {IDC_cbCheckCaption, IDC_cbCheckExact, IDC_bCheckVariable}) {}
  uint32_t CheckFor = kWindowExist;
  uint32_t StopIf = kStopIfNot;

 protected:
  bool OnInit() override {
    CheckRadio(IDC_rbWindowExist, IDC_rbWindowActive,
               CheckFor == kWindowActive ? IDC_rbWindowActive : IDC_rbWindowExist);
    CheckRadio(IDC_rbAbortIfNot, IDC_rbAbortIf, StopIf == kStopIf ? IDC_rbAbortIf : IDC_rbAbortIfNot);
    return TWindowTitleDialog::OnInit();
  }

  void OnOK() override {
    TakeSpec();
    CheckFor = CheckedRadio(IDC_rbWindowExist, IDC_rbWindowActive) == IDC_rbWindowActive ? kWindowActive
                                                                                          : kWindowExist;
    StopIf = CheckedRadio(IDC_rbAbortIfNot, IDC_rbAbortIf) == IDC_rbAbortIf ? kStopIf : kStopIfNot;
    End(IDOK);
  }
};

bool ConfigCheck(TOVMethodParams& params) {
  TCheckSettings s;
  if (!ReadCheck(params, s)) s = TCheckSettings{};
  TfCheckForWindow dialog;
  dialog.Spec = s.Window;
  dialog.CheckFor = s.CheckFor;
  dialog.StopIf = s.StopIf;
  if (dialog.DoModal() != IDOK) return false;
  TBlockWriter w;
  WriteWindowSpec(w, dialog.Spec);
  w.Dword(dialog.CheckFor).Dword(dialog.StopIf);
  return w.StoreTo(params);
}

}  // namespace

bool ForegroundTitleMatches(const std::string& text, uint8_t mode) {
  HWND wnd = GetForegroundWindow();
  if (!wnd || text.empty()) return false;
  std::string title = WindowTitle(wnd, 1024);
  if (title.empty()) return false;
  switch (mode) {
    case kExactMatch:
      return lstrcmpiA(title.c_str(), text.c_str()) == 0;
    case kPartMatch: {
      std::string t = title, s = text;
      CharLowerBuffA(t.data(), static_cast<DWORD>(t.size()));
      CharLowerBuffA(s.data(), static_cast<DWORD>(s.size()));
      return t.find(s) != std::string::npos;
    }
    default:
      return false;
  }
}

TMethodCase CheckForWindowCase() { return TMethodCase{.Exec = ExecCheck, .Config = ConfigCheck, .Descr = nullptr}; }
