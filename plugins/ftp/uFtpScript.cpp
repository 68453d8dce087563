// "FTP Script": runs the user's FTP commands, one per line, on one
// connection, and its two-page configuration dialog.
#include <winsock2.h>

#include "uFtpScript.h"

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>

#include <fstream>
#include <sstream>

#include "FtpScr.h"
#include "FtpSteps.h"
#include "NetUtil.h"
#include "OVDialog.h"
#include "OVError.h"
#include "OVMsgBox.h"
#include "OVPluginBlock.h"
#include "OVPluginHost.h"
#include "OVShell.h"
#include "uDM.h"

namespace {
const char kAnonymousPassword[] = "guest@example.com";
}  // namespace

bool ReadFtpScriptSettings(const TOVMethodParams& params, TFtpScriptSettings& s) {
  TBlockReader r(params);
  if (r.Empty()) return true;
  TFtpScriptSettings read;
  std::string password, fwPassword;
  r.String(read.Host);
  r.Dword(read.Port);
  r.Bool(read.Passive);
  r.String(read.UserID);
  r.String(password);
  r.Bool(read.Anonymous);
  r.String(read.FireWall);
  r.Dword(read.FWPort);
  r.String(read.FWUserName);
  r.String(fwPassword);
  r.Bool(read.UseFirewall);
  r.Bool(read.AbortWhenError);
  r.String(read.Script);
  if (!r.ok()) return false;
  read.Password = UnscramblePassword(password);
  read.FWPassword = UnscramblePassword(fwPassword);
  s = read;
  return true;
}

bool StoreFtpScriptSettings(const TFtpScriptSettings& s, TOVMethodParams& params) {
  TBlockWriter w;
  w.String(s.Host).Dword(s.Port).Bool(s.Passive).String(s.UserID).String(ScramblePassword(s.Password));
  w.Bool(s.Anonymous).String(s.FireWall).Dword(s.FWPort).String(s.FWUserName);
  w.String(ScramblePassword(s.FWPassword)).Bool(s.UseFirewall).Bool(s.AbortWhenError).String(s.Script);
  return w.StoreTo(params);
}

namespace {

// ------------------------------------------------------------ execution

bool ExecFtpScript(TOVMethodParams& params) {
  TFtpScriptSettings s;
  if (!ReadFtpScriptSettings(params, s)) {
    LogIncompleteSettings("FTP Script");
    return false;
  }
  TNMFTP client;
  FollowJobStop(client);
  client.Host = HostExpandVars(s.Host);
  client.Port = static_cast<int32_t>(s.Port);
  client.Passive = s.Passive;
  client.UserID = HostExpandVars(s.UserID);
  client.Password = HostExpandVars(s.Password);
  if (s.UseFirewall) {
    client.Proxy = HostExpandVars(s.FireWall);
    client.ProxyPort = static_cast<int32_t>(s.FWPort);
    client.FWUserID = HostExpandVars(s.FWUserName);
    client.FWPassword = HostExpandVars(s.FWPassword);
    client.FWAuthenticate = !client.FWUserID.empty();
  }
  const std::vector<std::string> lines = SplitLines(HostExpandVars(s.Script));
  TFtpScript script(&client, [](uint8_t level, const std::string& text) { HostLog(level, text); });
  try {
    return script.Run(lines, s.AbortWhenError);
  } catch (const std::exception& e) {
    // A stopped run, or a failure that ends the script (a failing PWD, an
    // output file that cannot be written).
    if (!client.Cancelled()) HostLog(OV_LOG_ERROR, e.what());
    return false;
  }
}

// ------------------------------------------------------------ the dialog

const int kConnectionPage[] = {IDC_lHostS,        IDC_eHostS,     IDC_lPortS,       IDC_ePortS,
                               IDC_udPortS,       IDC_cbPassiveMode, IDC_gAuthenticationS, IDC_cbAsAnonymous,
                               IDC_lUsername,     IDC_eUsername,  IDC_lPasswordS,   IDC_ePasswordS,
                               IDC_gFirewall,     IDC_cbUseFirewall, IDC_lFireWall,  IDC_eFireWall,
                               IDC_lFWPort,       IDC_eFWPort,    IDC_udFWPort,     IDC_lFWUserName,
                               IDC_eFWUserName,   IDC_lFWPassword, IDC_eFWPassword};
const int kScriptPage[] = {IDC_lCommands, IDC_mCommands, IDC_cbCommands,   IDC_bAddCommand,     IDC_bClear,
                           IDC_bOpen,     IDC_bSaveAs,   IDC_bCheckSyntax, IDC_cbAbortWhenError};

const char kTextFilter[] = "Text files (*.txt)\0*.txt\0";

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) text += (i ? "\r\n" : "") + lines[i];
  return text;
}

class TfFtpScript : public OVDialog {
 public:
  TfFtpScript() : OVDialog(IDD_FTPSCRIPT) {}
  TFtpScriptSettings Settings;

 protected:
  bool OnInit() override;
  bool OnCommand(int id, int code, HWND control) override;
  bool OnNotify(int id, NMHDR* header, LRESULT& result) override;
  void OnOK() override;

 private:
  void ShowPage(int page);
  void cbAsAnonymousClick();
  void UpdateAnonymous(bool anonymous);
  void UpdateFirewall();
  void bAddCommandClick();
  void bOpenClick();
  void bSaveAsClick();
  void bCheckSyntaxClick();
  std::string AskFileName(bool save);
};

void SetupPort(HWND updown, uint32_t value) {
  SendMessageA(updown, UDM_SETRANGE32, 1, 32767);
  SendMessageA(updown, UDM_SETPOS32, 0, static_cast<LPARAM>(value));
}

bool TfFtpScript::OnInit() {
  HWND pages = Item(IDC_tcPages);
  TCITEMA tab{};
  tab.mask = TCIF_TEXT;
  tab.pszText = const_cast<char*>("Connection");
  SendMessageA(pages, TCM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&tab));
  tab.pszText = const_cast<char*>("Script");
  SendMessageA(pages, TCM_INSERTITEMA, 1, reinterpret_cast<LPARAM>(&tab));

  SetItemText(IDC_eHostS, Settings.Host);
  SetupPort(Item(IDC_udPortS), Settings.Port);
  SetItemInt(IDC_ePortS, static_cast<int>(Settings.Port));
  SetChecked(IDC_cbPassiveMode, Settings.Passive);
  // The stored names are shown as stored; the flag only sets the state.
  SetChecked(IDC_cbAsAnonymous, Settings.Anonymous);
  SetItemText(IDC_eUsername, Settings.UserID);
  SetItemText(IDC_ePasswordS, Settings.Password);
  UpdateAnonymous(Settings.Anonymous);
  SetChecked(IDC_cbUseFirewall, Settings.UseFirewall);
  SetItemText(IDC_eFireWall, Settings.FireWall);
  SetupPort(Item(IDC_udFWPort), Settings.FWPort);
  SetItemInt(IDC_eFWPort, static_cast<int>(Settings.FWPort));
  SetHint(IDC_bVariableS, "Insert variable");
  SetItemText(IDC_eFWUserName, Settings.FWUserName);
  SetItemText(IDC_eFWPassword, Settings.FWPassword);
  UpdateFirewall();

  SetItemLines(IDC_mCommands, SplitLines(Settings.Script));
  for (const TScriptCommand& c : kScriptCommands) ComboAdd(IDC_cbCommands, c.Syntax);
  SetComboIndex(IDC_cbCommands, 0);
  SetChecked(IDC_cbAbortWhenError, Settings.AbortWhenError);

  ShowPage(0);
  Focus(IDC_eHostS);
  return false;
}

void TfFtpScript::ShowPage(int page) {
  SendMessageA(Item(IDC_tcPages), TCM_SETCURSEL, static_cast<WPARAM>(page), 0);
  for (int id : kConnectionPage) Show(id, page == 0);
  for (int id : kScriptPage) Show(id, page == 1);
}

void TfFtpScript::UpdateAnonymous(bool anonymous) {
  Enable(IDC_eUsername, !anonymous);
  // In clear while it is the anonymous mail text, hidden otherwise.
  SendMessageA(Item(IDC_ePasswordS), EM_SETPASSWORDCHAR, anonymous ? 0 : '*', 0);
  InvalidateRect(Item(IDC_ePasswordS), nullptr, TRUE);
}

void TfFtpScript::cbAsAnonymousClick() {
  const bool anonymous = IsChecked(IDC_cbAsAnonymous);
  if (anonymous) {
    SetItemText(IDC_eUsername, "anonymous");
    SetItemText(IDC_ePasswordS, kAnonymousPassword);
  } else {
    SetItemText(IDC_ePasswordS, "");
  }
  UpdateAnonymous(anonymous);
}

void TfFtpScript::UpdateFirewall() {
  const bool on = IsChecked(IDC_cbUseFirewall);
  for (int id : {IDC_eFireWall, IDC_eFWPort, IDC_udFWPort, IDC_eFWUserName, IDC_eFWPassword}) Enable(id, on);
}

bool TfFtpScript::OnNotify(int id, NMHDR* header, LRESULT&) {
  if (id == IDC_tcPages && header->code == TCN_SELCHANGE) {
    ShowPage(static_cast<int>(SendMessageA(Item(IDC_tcPages), TCM_GETCURSEL, 0, 0)));
    return true;
  }
  return false;
}

bool TfFtpScript::OnCommand(int id, int code, HWND) {
  if (code != BN_CLICKED) return false;
  switch (id) {
    case IDC_cbAsAnonymous:
      cbAsAnonymousClick();
      return true;
    case IDC_cbUseFirewall:
      UpdateFirewall();
      return true;
    case IDC_bAddCommand:
      bAddCommandClick();
      return true;
    case IDC_bClear:
      SetItemText(IDC_mCommands, "");
      return true;
    case IDC_bOpen:
      bOpenClick();
      return true;
    case IDC_bSaveAs:
      bSaveAsClick();
      return true;
    case IDC_bCheckSyntax:
      bCheckSyntaxClick();
      return true;
    case IDC_bVariableS:
      SelectVariableAtCaret(*this);
      return true;
    default:
      return false;
  }
}

void TfFtpScript::bAddCommandClick() {
  int index = ComboIndex(IDC_cbCommands);
  if (index < 0) return;
  std::vector<std::string> lines = GetItemLines(IDC_mCommands);
  // A memo that ends in a line break has an empty last line: fill it.
  if (!lines.empty() && lines.back().empty()) lines.pop_back();
  lines.push_back(ComboItemText(IDC_cbCommands, index));
  SetItemLines(IDC_mCommands, lines);
}

std::string TfFtpScript::AskFileName(bool save) {
  TFileBox box;
  box.save = save;
  box.filter = kTextFilter;
  box.defExt = "txt";
  box.flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | (save ? OFN_OVERWRITEPROMPT : OFN_FILEMUSTEXIST);
  std::string path;
  return ChooseFile(Handle(), box, path) ? path : std::string();
}

void TfFtpScript::bOpenClick() {
  std::string name = AskFileName(false);
  if (name.empty()) return;
  std::ifstream in(name, std::ios::binary);
  if (!in) {
    ShowError(Handle(), Format("Cannot open \"%s\"", name.c_str()));
    return;
  }
  std::stringstream text;
  text << in.rdbuf();
  SetItemLines(IDC_mCommands, SplitLines(text.str()));
}

void TfFtpScript::bSaveAsClick() {
  std::string name = AskFileName(true);
  if (name.empty()) return;
  std::ofstream out(name, std::ios::binary | std::ios::trunc);
  for (const std::string& line : GetItemLines(IDC_mCommands)) out << line << "\r\n";
  out.close();
  if (!out) ShowError(Handle(), Format("Cannot write \"%s\"", name.c_str()));
}

void TfFtpScript::bCheckSyntaxClick() {
  HWND owner = Handle();
  TFtpScript checker(nullptr, [owner](uint8_t level, const std::string& text) {
    UINT icon = level == OV_LOG_WARNING ? MB_ICONWARNING : level == OV_LOG_ERROR ? MB_ICONERROR : MB_ICONINFORMATION;
    OVMessageBox(owner, text, "Check syntax", MB_OK | icon);
  });
  checker.CheckSyntax(SplitLines(HostExpandVars(JoinLines(GetItemLines(IDC_mCommands)))));
}

void TfFtpScript::OnOK() {
  Settings.Host = GetItemText(IDC_eHostS);
  Settings.Port = static_cast<uint32_t>(GetItemInt(IDC_ePortS, 21));
  Settings.Passive = IsChecked(IDC_cbPassiveMode);
  Settings.UserID = GetItemText(IDC_eUsername);
  Settings.Password = GetItemText(IDC_ePasswordS);
  Settings.Anonymous = IsChecked(IDC_cbAsAnonymous);
  Settings.FireWall = GetItemText(IDC_eFireWall);
  Settings.FWPort = static_cast<uint32_t>(GetItemInt(IDC_eFWPort, 21));
  Settings.FWUserName = GetItemText(IDC_eFWUserName);
  Settings.FWPassword = GetItemText(IDC_eFWPassword);
  Settings.UseFirewall = IsChecked(IDC_cbUseFirewall);
  Settings.AbortWhenError = IsChecked(IDC_cbAbortWhenError);
  Settings.Script = JoinLines(GetItemLines(IDC_mCommands));
  End(IDOK);
}

bool ConfigFtpScript(TOVMethodParams& params) {
  TfFtpScript dialog;
  if (!ReadFtpScriptSettings(params, dialog.Settings)) dialog.Settings = TFtpScriptSettings();
  if (dialog.DoModal() != IDOK) return false;
  return StoreFtpScriptSettings(dialog.Settings, params);
}

}  // namespace

TMethodCase FtpScriptCase() { return TMethodCase{.Exec = ExecFtpScript, .Config = ConfigFtpScript, .Descr = nullptr}; }
