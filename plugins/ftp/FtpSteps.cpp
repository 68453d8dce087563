#include "FtpSteps.h"

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

#include "NetUtil.h"
#include "OVError.h"
#include "OVPluginHost.h"
#include "OVShell.h"

namespace {
const char kPlaceholderHost[] = "ftp.example.com";
const char kPlaceholderPassword[] = "guest@example.com";
constexpr int kConnectAttempts = 9;
}  // namespace

TFtpSettings UploadDefaults() {
  TFtpSettings s;
  s.Dir = "/incoming";
  s.Host = kPlaceholderHost;
  s.Password = kPlaceholderPassword;
  return s;
}

TFtpSettings DownloadDefaults() {
  TFtpSettings s;
  s.Files = "/pub/file.ext";
  s.Dir = "%TEMPDIR%";
  s.Host = kPlaceholderHost;
  s.Password = kPlaceholderPassword;
  return s;
}

TFtpSettings HttpDownloadDefaults() {
  TFtpSettings s;
  s.Files = "/index.html";
  s.Dir = "%TEMPDIR%";
  s.Host = "www.example.com";
  s.Port = 80;
  s.UserID.clear();
  s.ProxyPort = 80;
  return s;
}

bool ReadFtpSettings(const TOVMethodParams& params, TFtpSettings& s) {
  TBlockReader r(params);
  if (r.Empty()) return true;
  TFtpSettings read;
  std::string scrambled;
  r.String(read.Files);
  r.String(read.Dir);
  r.String(read.Host);
  r.Dword(read.Port);
  r.String(read.UserID);
  r.String(scrambled);
  r.Bool(read.UseProxy);
  r.String(read.Proxy);
  r.Dword(read.ProxyPort);
  if (!r.ok()) return false;
  read.Password = UnscramblePassword(scrambled);
  s = read;
  return true;
}

bool StoreFtpSettings(const TFtpSettings& s, TOVMethodParams& params) {
  TBlockWriter w;
  w.String(s.Files).String(s.Dir).String(s.Host).Dword(s.Port).String(s.UserID);
  w.String(ScramblePassword(s.Password)).Bool(s.UseProxy).String(s.Proxy).Dword(s.ProxyPort);
  return w.StoreTo(params);
}

bool ReadDescriptionTexts(const TOVMethodParams& params, std::string& host, std::string& dir) {
  TBlockReader r(params);
  if (r.Empty()) return false;
  std::string files;
  return r.String(files) && r.String(dir) && r.String(host);
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    std::string line = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    if (end == std::string::npos) break;
    start = end + 1;
  }
  return lines;
}

bool HasWildcard(const std::string& text) { return text.find_first_of("*?") != std::string::npos; }

TFtpSettings ExpandSettings(const TFtpSettings& s) {
  TFtpSettings e = s;
  e.Files = HostExpandVars(s.Files);
  e.Dir = HostExpandVars(s.Dir);
  e.Host = HostExpandVars(s.Host);
  e.UserID = HostExpandVars(s.UserID);
  e.Password = HostExpandVars(s.Password);
  e.Proxy = s.UseProxy ? HostExpandVars(s.Proxy) : std::string();
  return e;
}

void FollowJobStop(TPowersock& client) {
  const int32_t job = HostCurrentJob();
  if (job == 0) return;
  // The host shows a run that was asked to stop as "stopping".
  client.StopRequested = [job] {
    for (const TJobEntry& entry : HostEnumJobs())
      if (entry.ID == job) return entry.State == OV_STATE_STOPPING;
    return false;
  };
}

TFtpStep::TFtpStep(const TFtpSettings& s) {
  FollowJobStop(Client);
  Client.Host = s.Host;
  Client.Port = static_cast<int32_t>(s.Port);
  Client.UserID = s.UserID;
  Client.Password = s.Password;
  if (s.UseProxy) {
    Client.Proxy = s.Proxy;
    Client.ProxyPort = static_cast<int32_t>(s.ProxyPort);
  }
  Client.OnConnectionFailed = [this](TPowersock*) { error_ = "Connection failed"; };
  Client.OnError = [this](TPowersock*, uint16_t, const std::string& message) { error_ = message; };
  Client.OnFailure = [this](bool&, TCmdType) { error_ = "Failure"; };
  Client.OnInvalidHost = [this](bool&) { error_ = "Invalid host."; };
  Client.OnUnSupportedFunction = [this](TCmdType) { error_ = "Function unsupported."; };
  Client.OnConnectionRequired = [this](bool& handled) {
    Client.Connect();
    // A new control connection starts in the login directory.
    if (!RemoteDir.empty()) Client.ChangeDir(RemoteDir);
    handled = true;
  };
}

bool TFtpStep::Connect(const char* attemptFormat) {
  for (int attempt = 1; attempt <= kConnectAttempts; ++attempt) {
    try {
      Client.Connect();
      return true;
    } catch (const std::exception&) {
      HostLog(OV_LOG_ERROR, Format(attemptFormat, attempt));
      if (Stopped()) return false;
    }
  }
  return false;
}

std::string TFtpStep::ErrorText(const std::exception* e) const {
  if (!error_.empty() || !e) return error_;
  return e->what();
}

// ------------------------------------------------------------ the dialog

namespace {

void SetupPort(HWND updown, uint32_t value) {
  SendMessageA(updown, UDM_SETRANGE32, 1, 32767);
  SendMessageA(updown, UDM_SETPOS32, 0, static_cast<LPARAM>(value));
}

}  // namespace

bool TfFtpTransfer::OnInit() {
  SetItemLines(IDC_lbFiles, SplitLines(Settings.Files));
  SetItemText(IDC_eDir, Settings.Dir);
  SetItemText(IDC_eHost, Settings.Host);
  SetupPort(Item(IDC_udPort), Settings.Port);
  SetItemInt(IDC_ePort, static_cast<int>(Settings.Port));
  SetItemText(IDC_eUserID, Settings.UserID);
  SendMessageA(Item(IDC_ePassword), EM_SETPASSWORDCHAR, '*', 0);
  SetItemText(IDC_ePassword, Settings.Password);
  SetChecked(IDC_cbUseProxy, Settings.UseProxy);
  SetItemText(IDC_eProxy, Settings.Proxy);
  SetupPort(Item(IDC_udProxyPort), Settings.ProxyPort);
  SetItemInt(IDC_eProxyPort, static_cast<int>(Settings.ProxyPort));
  // Each template has one of the two list buttons.
  SetHint(IDC_bFiles, "Select files");
  SetHint(IDC_bDir, "Select folder");
  SetHint(IDC_bVariable, "Insert variable");
  return true;
}

bool TfFtpTransfer::OnCommand(int id, int code, HWND) {
  if (code != BN_CLICKED) return false;
  switch (id) {
    case IDC_bFiles:
      if (upload_) bFilesClick();
      return true;
    case IDC_bDir:
      if (!upload_) bDirClick();
      return true;
    case IDC_bVariable:
      SelectVariableAtCaret(*this);
      return true;
    default:
      return false;
  }
}

void TfFtpTransfer::OnOK() {
  std::string files;
  std::vector<std::string> lines = GetItemLines(IDC_lbFiles);
  for (size_t i = 0; i < lines.size(); ++i) files += (i ? "\r\n" : "") + lines[i];
  Settings.Files = files;
  Settings.Dir = GetItemText(IDC_eDir);
  Settings.Host = GetItemText(IDC_eHost);
  Settings.Port = static_cast<uint32_t>(GetItemInt(IDC_ePort, static_cast<int>(defaults_.Port)));
  Settings.UserID = GetItemText(IDC_eUserID);
  Settings.Password = GetItemText(IDC_ePassword);
  Settings.UseProxy = IsChecked(IDC_cbUseProxy);
  Settings.Proxy = GetItemText(IDC_eProxy);
  Settings.ProxyPort = static_cast<uint32_t>(GetItemInt(IDC_eProxyPort, static_cast<int>(defaults_.ProxyPort)));
  End(IDOK);
}

void TfFtpTransfer::bFilesClick() {
  std::vector<std::string> list = GetItemLines(IDC_lbFiles);
  while (!list.empty() && list.back().empty()) list.pop_back();
  if (HostSelectFiles(list)) SetItemLines(IDC_lbFiles, list);
}

void TfFtpTransfer::bDirClick() {
  std::string folder;
  if (BrowseForFolder(Handle(), "Select folder:", GetItemText(IDC_eDir), &folder)) SetItemText(IDC_eDir, folder);
}

bool ConfigFtpTransfer(TOVMethodParams& params, int templateId, bool upload, const TFtpSettings& defaults) {
  TfFtpTransfer dialog(templateId, upload, defaults);
  if (!ReadFtpSettings(params, dialog.Settings)) dialog.Settings = defaults;
  if (dialog.DoModal() != IDOK) return false;
  return StoreFtpSettings(dialog.Settings, params);
}
