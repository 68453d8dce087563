// "Check for Mail": logs in to a POP3 mailbox on port 110, asks how many
// messages wait, and stops the running job when the answer matches the
// step's setting. Reads and deletes nothing.
#include <winsock2.h>

#include "uCheckMail.h"

#include <windows.h>

#include "NMPOP3.h"
#include "NetUtil.h"
#include "OVDialog.h"
#include "OVPlugin.h"
#include "OVPluginHost.h"
#include "uDM.h"

bool ReadCheckMail(const TOVMethodParams& params, TCheckMailSettings& s) {
  TBlockReader r(params);
  if (r.Empty()) return true;
  TCheckMailSettings read;
  std::string scrambled;
  r.String(read.Server);
  r.String(read.UserID);
  r.String(scrambled);
  r.Dword(read.StopJobIf);
  if (!r.ok()) return false;
  read.Password = UnscramblePassword(scrambled);
  s = read;
  return true;
}

bool StoreCheckMail(const TCheckMailSettings& s, TOVMethodParams& params) {
  TBlockWriter w;
  w.String(s.Server).String(s.UserID).String(ScramblePassword(s.Password)).Dword(s.StopJobIf);
  return w.StoreTo(params);
}

namespace {

bool ExecCheckMail(TOVMethodParams& params) {
  TCheckMailSettings s;
  if (!ReadCheckMail(params, s)) {
    LogIncompleteSettings("Check for Mail");
    return false;
  }
  std::string error;
  TNMPOP3 pop3;
  pop3.Host = HostExpandVars(s.Server);
  pop3.UserID = HostExpandVars(s.UserID);
  pop3.Password = HostExpandVars(s.Password);
  pop3.OnAuthenticationFailed = [&](bool&) { error = "Authentication failed."; };
  pop3.OnConnectionFailed = [&](TPowersock*) { error = "Connection failed."; };
  pop3.OnInvalidHost = [&](bool&) { error = "Invalid Host."; };
  try {
    pop3.Connect();
  } catch (const std::exception& e) {
    // A failure no handler put into words is logged with its own text.
    HostLog(OV_LOG_ERROR, error.empty() ? e.what() : error);
    return false;
  }
  const bool waiting = pop3.MailCount > 0;
  if ((waiting && s.StopJobIf == ckStopIfWaiting) || (!waiting && s.StopJobIf == ckStopIfNotWaiting))
    HostStopJob(HostCurrentJob());
  return true;
}

class TfCheckMail : public OVDialog {
 public:
  TfCheckMail() : OVDialog(IDD_CHECKMAIL) {}
  TCheckMailSettings Settings;

 protected:
  bool OnInit() override {
    SetItemText(IDC_eServer, Settings.Server);
    SetItemText(IDC_eUserID2, Settings.UserID);
    SetItemText(IDC_ePassword, Settings.Password);
    CheckRadio(IDC_rbWaiting, IDC_rbNotWaiting,
               Settings.StopJobIf == ckStopIfWaiting ? IDC_rbWaiting : IDC_rbNotWaiting);
    return true;
  }
  void OnOK() override {
    Settings.Server = GetItemText(IDC_eServer);
    Settings.UserID = GetItemText(IDC_eUserID2);
    Settings.Password = GetItemText(IDC_ePassword);
    Settings.StopJobIf = IsChecked(IDC_rbWaiting) ? ckStopIfWaiting : ckStopIfNotWaiting;
    End(IDOK);
  }
};

bool ConfigCheckMail(TOVMethodParams& params) {
  TfCheckMail dialog;
  if (!ReadCheckMail(params, dialog.Settings)) dialog.Settings = TCheckMailSettings();
  if (dialog.DoModal() != IDOK) return false;
  return StoreCheckMail(dialog.Settings, params);
}

}  // namespace

TMethodCase CheckMailCase() { return TMethodCase{.Exec = ExecCheckMail, .Config = ConfigCheckMail, .Descr = nullptr}; }
