// "Shutdown Windows/computer": asks the host to end the session; the host
// starts its shutdown helper with the exit-windows code.
#include "uShutdown.h"

#include <windows.h>

#include "BasicsUtil.h"
#include "uDM.h"
#include "OVDialog.h"
#include "OVError.h"

namespace {

const char* const kName = "Shutdown Windows/computer";
const char* const kModeTexts[] = {"Shut down the computer", "Shut down the computer and power off",
                                  "Restart the computer", "Close all programs and log on as different user"};
// Exit-windows codes: shut down, shut down with power off, reboot, log off.
const WPARAM kExitCodes[] = {1, 9, 2, 0};
constexpr uint32_t kModeCount = 4;
constexpr uint32_t kDefaultMode = 1;

// One dword, the mode. False when the block ends early.
bool ReadMode(const TOVMethodParams& params, uint32_t& mode) {
  TBlockReader r(params);
  mode = kDefaultMode;
  if (r.Empty()) return true;
  return r.Dword(mode);
}

bool ExecShutdown(TOVMethodParams& params) {
  uint32_t mode;
  if (!ReadMode(params, mode)) {
    LogIncompleteSettings(kName);
    return false;
  }
  if (mode >= kModeCount) {
    // Ending the session the wrong way is worse than not ending it.
    HostLog(OV_LOG_ERROR, Format("Unknown way to shut down (%lu). Reconfigure this step.",
                                 static_cast<unsigned long>(mode)));
    return false;
  }
  // The long parameter names the asking job, so that the host can log a
  // helper that does not start in this job's log too (a host that does
  // not look at it loses nothing).
  HWND host = HostAppWindow();
  const int32_t job = HostCurrentJob();
  if (!host || !PostMessageA(host, OVM_SHUTDOWN, kExitCodes[mode], static_cast<LPARAM>(job))) {
    HostLog(OV_LOG_ERROR, Format("Cannot ask the host to shut down: %s", SystemErrorText(GetLastError()).c_str()));
    return false;
  }
  HostLog(OV_LOG_INFO, kModeTexts[mode]);
  return true;
}

void DescrShutdown(TOVMethodParams& params, std::string& descr) {
  uint32_t mode;
  if (ReadMode(params, mode) && mode < kModeCount) descr = kModeTexts[mode];
}

class TfShutdownComputer : public OVDialog {
 public:
  TfShutdownComputer() : OVDialog(IDD_SHUTDOWN) {}
  uint32_t Mode = kDefaultMode;

 protected:
  bool OnInit() override {
    CheckRadio(IDC_rbShutdown, IDC_rbLogOff, IDC_rbShutdown + static_cast<int>(Mode < kModeCount ? Mode : kDefaultMode));
    return true;
  }

  void OnOK() override {
    int checked = CheckedRadio(IDC_rbShutdown, IDC_rbLogOff);
    Mode = checked < 0 ? kDefaultMode : static_cast<uint32_t>(checked - IDC_rbShutdown);
    End(IDOK);
  }
};

bool ConfigShutdown(TOVMethodParams& params) {
  TfShutdownComputer dialog;
  if (!ReadMode(params, dialog.Mode)) dialog.Mode = kDefaultMode;
  if (dialog.DoModal() != IDOK) return false;
  return TBlockWriter().Dword(dialog.Mode).StoreTo(params);
}

}  // namespace

TMethodCase ShutdownCase() { return TMethodCase{.Exec = ExecShutdown, .Config = ConfigShutdown, .Descr = DescrShutdown}; }
