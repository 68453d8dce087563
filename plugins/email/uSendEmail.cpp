// "Send Message": composes one mail from the step's settings, with files
// named one per line or by wildcard patterns as attachments, and hands it
// to an SMTP server on port 25.
#include <winsock2.h>

#include "uSendEmail.h"

#include <windows.h>

#include <commctrl.h>

#include "NMSMTP.h"
#include "OVCommaText.h"
#include "OVDialog.h"
#include "OVError.h"
#include "OVPlugin.h"
#include "OVPluginHost.h"
#include "uDM.h"

bool ReadSendEmail(const TOVMethodParams& params, TSendEmailSettings& s) {
  TBlockReader r(params);
  if (r.Empty()) return true;
  TSendEmailSettings read;
  for (std::string* text : {&read.Host, &read.UserID, &read.From, &read.To, &read.CC, &read.Subject, &read.Body,
                            &read.Attachments})
    r.String(*text);
  if (!r.ok()) return false;
  s = read;
  return true;
}

bool StoreSendEmail(const TSendEmailSettings& s, TOVMethodParams& params) {
  TBlockWriter w;
  w.String(s.Host).String(s.UserID).String(s.From).String(s.To).String(s.CC).String(s.Subject).String(s.Body);
  w.String(s.Attachments);
  return w.StoreTo(params);
}

namespace {

// The recipient entries of a list text; empty entries name nobody.
std::vector<std::string> Entries(const std::string& text) {
  std::vector<std::string> entries;
  for (std::string& e : SplitCommaText(text))
    if (!e.empty()) entries.push_back(std::move(e));
  return entries;
}

// The ordinary files (hidden and system ones too, no folders) a pattern
// names, with the pattern's folder.
void AddMatchingFiles(const std::string& pattern, std::vector<std::string>& files) {
  size_t slash = pattern.find_last_of("\\/:");
  std::string folder = slash == std::string::npos ? std::string() : pattern.substr(0, slash + 1);
  WIN32_FIND_DATAA fd;
  HANDLE find = FindFirstFileA(pattern.c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) files.push_back(folder + fd.cFileName);
  } while (FindNextFileA(find, &fd));
  FindClose(find);
}

bool ExecSendEmail(TOVMethodParams& params) {
  TSendEmailSettings s;
  if (!ReadSendEmail(params, s)) {
    LogIncompleteSettings("Send Message");
    return false;
  }
  std::string error;
  TNMSMTP smtp;
  smtp.OnConnectionFailed = [&](TPowersock*) { error = "Connection Failed"; };
  smtp.OnFailure = [&] { error = "Failure"; };
  smtp.OnHeaderIncomplete = [&](bool&, int) { error = "Header Incomplete."; };
  smtp.OnInvalidHost = [&](bool&) { error = "Invalid Host!"; };
  smtp.OnRecipientNotFound = [&](const std::string& entry) {
    error = Format("Recipient \"%s\" not found", entry.c_str());
  };
  smtp.OnConnectionRequired = [&](bool& handled) {
    smtp.Connect();
    handled = true;
  };

  smtp.Host = HostExpandVars(s.Host);
  smtp.UserID = HostExpandVars(s.UserID);
  TPostMessage& m = smtp.PostMessage;
  m.FromAddress = HostExpandVars(s.From);
  m.ToAddress = Entries(HostExpandVars(s.To));
  m.ToCarbonCopy = Entries(HostExpandVars(s.CC));
  m.Subject = HostExpandVars(s.Subject);
  m.Body = TextLines(HostExpandVars(s.Body));
  for (const std::string& line : TextLines(HostExpandVars(s.Attachments))) {
    if (line.empty()) continue;
    if (line.find_first_of("*?") != std::string::npos)
      AddMatchingFiles(line, m.Attachments);
    else
      m.Attachments.push_back(line);
  }

  try {
    smtp.Connect();
    smtp.SendMail();
  } catch (const std::exception& e) {
    // A failure no handler put into words is logged with its own text.
    HostLog(OV_LOG_ERROR, error.empty() ? e.what() : error);
    return false;
  }
  for (const std::string& entry : smtp.Refused())
    HostLog(OV_LOG_WARNING, Format("Recipient \"%s\" not found", entry.c_str()));
  return true;
}

// ------------------------------------------------------------ the dialog

class TfSendEmail : public OVDialog {
 public:
  TfSendEmail() : OVDialog(IDD_SENDEMAIL) {}
  TSendEmailSettings Settings;

 protected:
  bool OnInit() override;
  bool OnCommand(int id, int code, HWND control) override;
  void OnOK() override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) override;

 private:
  void bAttachmentsClick();
  void AddHints();
  void Layout(int width, int height);

  // How a control follows the dialog's size: which edges move with the
  // right and the bottom edge.
  struct TAnchor {
    int id;
    bool left, top, right, bottom;
    RECT rect{};
  };
  std::vector<TAnchor> anchors_;
  SIZE client_{};
  SIZE minimum_{};
  // The attachment list has no control of its own.
  std::string attachments_;
};

bool TfSendEmail::OnInit() {
  SetItemText(IDC_eHost, Settings.Host);
  SetItemText(IDC_eUserID, Settings.UserID);
  SetItemText(IDC_eFrom, Settings.From);
  SetItemText(IDC_eTo, Settings.To);
  SetItemText(IDC_eCC, Settings.CC);
  SetItemText(IDC_eSubject, Settings.Subject);
  SetItemText(IDC_eMsg, Settings.Body);
  attachments_ = Settings.Attachments;

  RECT rc;
  GetClientRect(Handle(), &rc);
  client_ = {rc.right, rc.bottom};
  GetWindowRect(Handle(), &rc);
  minimum_ = {rc.right - rc.left, rc.bottom - rc.top};
  anchors_ = {{IDC_eHost, false, false, true, false},     {IDC_eUserID, false, false, true, false},
              {IDC_eFrom, false, false, true, false},     {IDC_eTo, false, false, true, false},
              {IDC_eCC, false, false, true, false},       {IDC_eSubject, false, false, true, false},
              {IDC_eMsg, false, false, true, true},       {IDC_bAttachments, false, true, false, true},
              {IDC_bVariable, false, true, false, true}, {IDOK, true, true, true, true},
              {IDCANCEL, true, true, true, true}};
  for (TAnchor& a : anchors_) {
    GetWindowRect(Item(a.id), &a.rect);
    MapWindowPoints(nullptr, Handle(), reinterpret_cast<POINT*>(&a.rect), 2);
  }
  AddHints();
  return true;
}

void TfSendEmail::AddHints() {
  HWND tips = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0,
                              Handle(), nullptr, PluginModule(), nullptr);
  if (!tips) return;
  const std::pair<int, const char*> hints[] = {{IDC_bAttachments, "Attachments"}, {IDC_bVariable, "Insert variable"}};
  for (const auto& [id, text] : hints) {
    TOOLINFOA ti{};
    ti.cbSize = TTTOOLINFOA_V1_SIZE;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = Handle();
    ti.uId = reinterpret_cast<UINT_PTR>(Item(id));
    ti.lpszText = const_cast<char*>(text);
    SendMessageA(tips, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
  }
}

void TfSendEmail::Layout(int width, int height) {
  const int dx = width - client_.cx, dy = height - client_.cy;
  HDWP batch = BeginDeferWindowPos(static_cast<int>(anchors_.size()));
  for (const TAnchor& a : anchors_) {
    RECT r = a.rect;
    if (a.left) r.left += dx;
    if (a.right) r.right += dx;
    if (a.top) r.top += dy;
    if (a.bottom) r.bottom += dy;
    if (batch)
      batch = DeferWindowPos(batch, Item(a.id), nullptr, r.left, r.top, r.right - r.left, r.bottom - r.top,
                             SWP_NOZORDER | SWP_NOACTIVATE);
  }
  if (batch) EndDeferWindowPos(batch);
  InvalidateRect(Handle(), nullptr, TRUE);
}

bool TfSendEmail::OnMessage(UINT msg, WPARAM, LPARAM lp, INT_PTR& result) {
  if (msg == WM_SIZE && !anchors_.empty()) {
    Layout(LOWORD(lp), HIWORD(lp));
    result = 0;
    return true;
  }
  if (msg == WM_GETMINMAXINFO && minimum_.cx > 0) {
    auto* info = reinterpret_cast<MINMAXINFO*>(lp);
    info->ptMinTrackSize = {minimum_.cx, minimum_.cy};
    result = 0;
    return true;
  }
  return false;
}

bool TfSendEmail::OnCommand(int id, int code, HWND) {
  if (code != BN_CLICKED) return false;
  switch (id) {
    case IDC_bAttachments:
      bAttachmentsClick();
      return true;
    case IDC_bVariable:
      SelectVariableAtCaret(*this);
      return true;
    default:
      return false;
  }
}

void TfSendEmail::bAttachmentsClick() {
  std::vector<std::string> list;
  for (const std::string& line : TextLines(attachments_))
    if (!line.empty()) list.push_back(line);
  if (!HostSelectFiles(list)) return;
  std::string text;
  for (size_t i = 0; i < list.size(); ++i) text += (i ? "\r\n" : "") + list[i];
  attachments_ = text;
}

void TfSendEmail::OnOK() {
  // The first empty one of these keeps the dialog open.
  for (int id : {IDC_eMsg, IDC_eHost, IDC_eUserID}) {
    if (GetItemText(id).empty()) {
      MessageBeep(MB_ICONASTERISK);
      Focus(id);
      return;
    }
  }
  Settings.Host = GetItemText(IDC_eHost);
  Settings.UserID = GetItemText(IDC_eUserID);
  Settings.From = GetItemText(IDC_eFrom);
  Settings.To = GetItemText(IDC_eTo);
  Settings.CC = GetItemText(IDC_eCC);
  Settings.Subject = GetItemText(IDC_eSubject);
  Settings.Body = GetItemText(IDC_eMsg);
  Settings.Attachments = attachments_;
  End(IDOK);
}

bool ConfigSendEmail(TOVMethodParams& params) {
  TfSendEmail dialog;
  if (!ReadSendEmail(params, dialog.Settings)) dialog.Settings = TSendEmailSettings();
  if (dialog.DoModal() != IDOK) return false;
  return StoreSendEmail(dialog.Settings, params);
}

}  // namespace

TMethodCase SendEmailCase() { return TMethodCase{.Exec = ExecSendEmail, .Config = ConfigSendEmail, .Descr = nullptr}; }
