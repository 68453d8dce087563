// "Send WinPopup message": a short text to a computer's messenger service
// through its mailslot.
#include "uWinPopupMessage.h"

#include <windows.h>

#include "BasicsUtil.h"
#include "OVDialog.h"
#include "OVError.h"
#include "uDM.h"

namespace {

const char* const kName = "Send WinPopup message";

struct TWinPopupSettings {
  std::string Computer = "%ComputerName%";
  std::string Text = "Hello!";
};

bool ReadSettings(const TOVMethodParams& params, TWinPopupSettings& s) {
  TBlockReader r(params);
  if (r.Empty()) return true;
  TWinPopupSettings read;
  r.String(read.Computer);
  r.String(read.Text);
  if (!r.ok()) return false;
  s = read;
  return true;
}

std::string ToOem(const std::string& text) {
  std::string oem(text.size(), '\0');
  if (!text.empty()) CharToOemBuffA(text.c_str(), oem.data(), static_cast<DWORD>(text.size()));
  return oem;
}

// The name becomes part of a path: one that could name a folder, a drive
// or a file of this computer instead of a mailslot is refused.
bool IsComputerName(const std::string& name) {
  return !name.empty() && name.find_first_of("\\/:") == std::string::npos && name != "..";
}

bool SendWinPopup(const std::string& computer, const std::string& text) {
  char own[MAX_COMPUTERNAME_LENGTH + 1] = "";
  DWORD size = sizeof own;
  GetComputerNameA(own, &size);
  std::string message = ToOem(own);
  message += '\0';
  message += ToOem(computer);
  message += '\0';
  message += ToOem(text);
  std::string path = "\\\\" + computer + "\\mailslot\\messngr";
  HANDLE slot = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (slot == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  bool ok = WriteFile(slot, message.data(), static_cast<DWORD>(message.size()), &written, nullptr) &&
            written == message.size();
  CloseHandle(slot);
  return ok;
}

// An unreachable computer simply receives nothing: the step goes on.
bool ExecWinPopup(TOVMethodParams& params) {
  TWinPopupSettings s;
  if (!ReadSettings(params, s)) {
    LogIncompleteSettings(kName);
    return false;
  }
  std::string computer = HostExpandVars(s.Computer);
  if (!IsComputerName(computer)) {
    HostLog(OV_LOG_ERROR, Format("\"%s\" is not a computer name: no message sent", computer.c_str()));
    return true;
  }
  SendWinPopup(computer, HostExpandVars(s.Text));
  return true;
}

void DescrWinPopup(TOVMethodParams& params, std::string& descr) {
  TWinPopupSettings s;
  if (!TBlockReader(params).Empty() && ReadSettings(params, s))
    descr = Format("Send message to %s", s.Computer.c_str());
}

class TfWinPopupMessage : public OVDialog {
 public:
  TfWinPopupMessage() : OVDialog(IDD_WINPOPUP) {}
  TWinPopupSettings Settings;

 protected:
  bool OnInit() override {
    SetItemText(IDC_eCompName, Settings.Computer);
    SetItemText(IDC_eMessage, Settings.Text);
    return true;
  }

  bool OnCommand(int id, int code, HWND) override {
    if (id != IDC_bWinPopupVariable || code != BN_CLICKED) return false;
    SelectVariableAtCaret(*this);
    return true;
  }

  void OnOK() override {
    for (int id : {IDC_eCompName, IDC_eMessage})
      if (GetItemText(id).empty()) {
        MessageBeep(MB_OK);
        Focus(id);
        return;
      }
    Settings.Computer = GetItemText(IDC_eCompName);
    Settings.Text = GetItemText(IDC_eMessage);
    End(IDOK);
  }
};

bool ConfigWinPopup(TOVMethodParams& params) {
  TfWinPopupMessage dialog;
  if (!ReadSettings(params, dialog.Settings)) dialog.Settings = TWinPopupSettings();
  if (dialog.DoModal() != IDOK) return false;
  return TBlockWriter().String(dialog.Settings.Computer).String(dialog.Settings.Text).StoreTo(params);
}

}  // namespace

TMethodCase WinPopupCase() {
  return TMethodCase{.Exec = ExecWinPopup, .Config = ConfigWinPopup, .Descr = DescrWinPopup};
}
