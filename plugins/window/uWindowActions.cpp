// The seven window actions. Each reads its title as stored (no variables are
// expanded), looks the window up and, when there is one, does its one
// thing; a title that no window has is no failure, and nothing is logged.
#include "uWindowActions.h"

#include "OVError.h"
#include "WindowTitles.h"
#include "uDM.h"

namespace {

struct TWindowAction {
  const char* Name;
  const char* Caption;  // of its dialog
  const char* Descr;    // "%s": the stored title
  void (*Apply)(HWND wnd);
};

const TWindowAction kActions[kWindowActionCount] = {
    {"Focus", "Focus a window", "Focus window \"%s\"", [](HWND w) { SetForegroundWindow(w); }},
    {"Maximize", "Maximize a window", "Maximize window \"%s\"", [](HWND w) { ShowWindow(w, SW_SHOWMAXIMIZED); }},
    {"Minimize", "Minimize a window", "Minimize window \"%s\"", [](HWND w) { ShowWindow(w, SW_MINIMIZE); }},
    {"Restore", "Restore a window", "Restore window \"%s\"", [](HWND w) { ShowWindow(w, SW_RESTORE); }},
    // Posted, not waited for: the window's owner may ask its user first.
    {"Close", "Close a window", "Close window \"%s\"", [](HWND w) { PostMessageA(w, WM_CLOSE, 0, 0); }},
    {"Hide", "Hide a window", "Hide window \"%s\"", [](HWND w) { ShowWindow(w, SW_HIDE); }},
    {"Unhide", "Unhide a window", "Unhide window \"%s\"", [](HWND w) { ShowWindow(w, SW_SHOW); }},
};

// False when the block ends before its settings do; a block never written
// gives the defaults (no title, part match).
bool ReadAction(const TOVMethodParams& params, TWindowSpec& spec) {
  TBlockReader r(params);
  if (r.Empty()) return true;
  return ReadWindowSpec(r, spec);
}

bool ExecAction(const TWindowAction& action, TOVMethodParams& params) {
  TWindowSpec spec;
  if (!ReadAction(params, spec)) {
    LogIncompleteSettings(action.Name);
    return false;
  }
  if (HWND wnd = FindWindowByTitle(spec.Title, spec.Match)) action.Apply(wnd);
  return true;
}

void DescrAction(const TWindowAction& action, TOVMethodParams& params, std::string& descr) {
  TWindowSpec spec;
  if (ReadAction(params, spec)) descr = Format(action.Descr, spec.Title.c_str());
}

// TForm1 to TForm7: one design, the caption names the action.
class TfWindowAction : public TWindowTitleDialog {
 public:
  explicit TfWindowAction(const char* caption)
      : TWindowTitleDialog(IDD_WINDOWACTION, {IDC_cbWinCaption, IDC_cbExact, 0}), caption_(caption) {}

 protected:
  bool OnInit() override {
    SetWindowTextA(Handle(), caption_);
    return TWindowTitleDialog::OnInit();
  }

  void OnOK() override {
    TakeSpec();
    if (Spec.Title.empty()) {
      MessageBeep(MB_ICONASTERISK);
      Focus(IDC_cbWinCaption);
      return;
    }
    End(IDOK);
  }

 private:
  const char* caption_;
};

bool ConfigAction(const TWindowAction& action, TOVMethodParams& params) {
  TfWindowAction dialog(action.Caption);
  if (!ReadAction(params, dialog.Spec)) dialog.Spec = TWindowSpec{};
  if (dialog.DoModal() != IDOK) return false;
  TBlockWriter w;
  WriteWindowSpec(w, dialog.Spec);
  return w.StoreTo(params);
}

}  // namespace

const char* WindowActionName(int index) { return kActions[index].Name; }

TMethodCase WindowActionCase(int index) {
  const TWindowAction& action = kActions[index];
  return TMethodCase{
      .Exec = [&action](TOVMethodParams& p) { return ExecAction(action, p); },
      .Config = [&action](TOVMethodParams& p) { return ConfigAction(action, p); },
      .Descr = [&action](TOVMethodParams& p, std::string& d) { DescrAction(action, p, d); },
  };
}
