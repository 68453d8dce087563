// "Delay (in ms)": the job's thread sleeps for a number of 100 ms units.
#include "uDelay.h"

#include <windows.h>

#include <commctrl.h>

#include "BasicsUtil.h"
#include "uDM.h"
#include "OVDialog.h"
#include "OVError.h"

namespace {

const char* const kName = "Delay (in ms)";
constexpr int32_t kDefaultUnits = 10;
constexpr int kMinUnits = 1;
constexpr int kMaxUnits = 32767;
constexpr int64_t kUnitMs = 100;

// One dword, the delay in units. False when the block ends early.
bool ReadUnits(const TOVMethodParams& params, int32_t& units) {
  TBlockReader r(params);
  units = kDefaultUnits;
  if (r.Empty()) return true;
  return r.Dword(units);
}

bool ExecDelay(TOVMethodParams& params) {
  int32_t units;
  if (!ReadUnits(params, units)) {
    LogIncompleteSettings(kName);
    return false;
  }
  // Sleep takes at most 0xFFFFFFFE ms at a time (0xFFFFFFFF waits for ever).
  int64_t ms = units > 0 ? units * kUnitMs : 0;
  while (ms > 0) {
    DWORD part = static_cast<DWORD>(ms > 0x7FFFFFFF ? 0x7FFFFFFF : ms);
    Sleep(part);
    ms -= part;
  }
  return true;
}

void DescrDelay(TOVMethodParams& params, std::string& descr) {
  int32_t units;
  if (ReadUnits(params, units)) descr = Format("Delay %lld ms", static_cast<long long>(units * kUnitMs));
}

class TfDelay : public OVDialog {
 public:
  TfDelay() : OVDialog(IDD_DELAY) {}
  int32_t Units = kDefaultUnits;

 protected:
  bool OnInit() override {
    // The edit shows the low 16 bits of what is stored, within its range.
    int shown = static_cast<int>(static_cast<uint32_t>(Units) & 0xFFFF);
    shown = shown < kMinUnits ? kMinUnits : shown > kMaxUnits ? kMaxUnits : shown;
    SendDlgItemMessageA(Handle(), IDC_udDelay, UDM_SETRANGE32, kMinUnits, kMaxUnits);
    SendDlgItemMessageA(Handle(), IDC_udDelay, UDM_SETPOS32, 0, shown);
    SetItemInt(IDC_eDelay, shown);
    return true;
  }

  void OnOK() override {
    int units = GetItemInt(IDC_eDelay, -1);
    if (units < kMinUnits || units > kMaxUnits) {
      MessageBeep(MB_OK);
      Focus(IDC_eDelay);
      return;
    }
    Units = units;
    End(IDOK);
  }
};

bool ConfigDelay(TOVMethodParams& params) {
  TfDelay dialog;
  if (!ReadUnits(params, dialog.Units)) dialog.Units = kDefaultUnits;
  if (dialog.DoModal() != IDOK) return false;
  return TBlockWriter().Dword(dialog.Units).StoreTo(params);
}

}  // namespace

TMethodCase DelayCase() { return TMethodCase{.Exec = ExecDelay, .Config = ConfigDelay, .Descr = DescrDelay}; }
