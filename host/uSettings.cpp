#include "uSettings.h"

#include <commctrl.h>

#include <memory>

#include "Host.h"
#include "OVError.h"
#include "OVVars.h"

TSettings Settings;

const char kSettingsKey[] = "Software\\Halvorn\\Orvane\\Settings";
const char kProgramKey[] = "Software\\Halvorn\\Orvane";
const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunValue[] = "Orvane";

namespace {

std::unique_ptr<TSettingsStore> g_store;
TAutoLogon g_autoLogon;

// A path that names no drive and does not start at a root.
bool IsRelativePath(const std::string& path) {
  if (path.empty()) return true;
  if (path[0] == '\\' || path[0] == '/') return false;
  return !(path.size() >= 2 && path[1] == ':');
}

// The pending form of a directory: no trailing backslash, except where
// that would leave a bare drive ("C:" is the current folder of drive C).
std::string WithoutTrailingBackslash(std::string dir) {
  while (dir.size() > 1 && (dir.back() == '\\' || dir.back() == '/') && dir[dir.size() - 2] != ':')
    dir.pop_back();
  return dir;
}

// The Winlogon values, bound to the fields of one TAutoLogon.
void AddAutoLogonItems(TRegistryStorage& st, TAutoLogon& a) {
  st.AddItem("AutoAdminLogon", ritString, &a.AutoAdminLogon);
  st.AddItem("DefaultUserName", ritString, &a.DefaultUserName);
  st.AddItem("DefaultPassword", ritString, &a.DefaultPassword);
}

}  // namespace

std::string WinlogonKey() {
  // Windows 95, 98 and Me set the high bit of the version.
  return (GetVersion() & 0x80000000u) ? "Software\\Microsoft\\Windows\\CurrentVersion\\Winlogon"
                                      : "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon";
}

// ------------------------------------------------------------- the store

TSettingsStore::TSettingsStore(TSettings& s)
    : s_(s),
      store_(HKEY_CURRENT_USER, kSettingsKey),
      jobDir_(ProgramDir() + "Jobs\\"),
      logDir_(ProgramDir() + "Logs\\") {
  // The stored order of the values; they are read and written in it.
  store_.AddItem("MinimizeOnRun", ritBoolean, &s.MinimizeOnRun);
  store_.AddItem("ShowErrors", ritBoolean, &s.ShowErrors);
  store_.AddItem("WinStartup", ritBoolean, &s.WinStartup);
  store_.AddItem("Filter", ritString, &s.Filter);
  store_.AddItem("ViewLog", ritBoolean, &s.ViewLog);
  store_.AddItem("Top", ritInteger, &s.Top);
  store_.AddItem("Left", ritInteger, &s.Left);
  store_.AddItem("Width", ritInteger, &s.Width);
  store_.AddItem("Height", ritInteger, &s.Height);
  store_.AddItem("HotTrack", ritBoolean, &s.HotTrack);
  store_.AddItem("HandPoint", ritBoolean, &s.HandPoint);
  store_.AddItem("UnderlineCold", ritBoolean, &s.UnderlineCold);
  store_.AddItem("UnderlineHot", ritBoolean, &s.UnderlineHot);
  store_.AddItem("LogHeight", ritInteger, &s.LogHeight);
  store_.AddItem("MaxLogSize", ritInteger, &s.MaxLogSize);
  store_.AddItem("CloseAsMinimize", ritBoolean, &s.CloseAsMinimize);
  store_.AddItem("EnableAutomation", ritBoolean, &s.EnableAutomation);
  store_.AddItem("TabIndex", ritInteger, &s.TabIndex);
  store_.AddItem("JobDir", ritString, &jobDir_);
  store_.AddItem("LogDir", ritString, &logDir_);
  store_.AddItem("clrInfo1Font", ritColor, &s.clrInfo1Font);
  store_.AddItem("clrInfo2Font", ritColor, &s.clrInfo2Font);
  store_.AddItem("clrWarningFont", ritColor, &s.clrWarningFont);
  store_.AddItem("clrErrorFont", ritColor, &s.clrErrorFont);
  store_.AddItem("clrInfo1Back", ritColor, &s.clrInfo1Back);
  store_.AddItem("clrInfo2Back", ritColor, &s.clrInfo2Back);
  store_.AddItem("clrWarningBack", ritColor, &s.clrWarningBack);
  store_.AddItem("clrErrorBack", ritColor, &s.clrErrorBack);
}

std::vector<std::string> TSettingsStore::Load() {
  store_.Load();
  std::vector<std::string> problems;
  s_.JobDir = SettleDirectory(jobDir_, "Jobs", &problems);
  s_.LogDir = SettleDirectory(logDir_, "Logs", &problems);
  // The preferences show what the user chose, even where it could not be
  // used this time: the next start tries it again.
  s_.PendingJobDir = WithoutTrailingBackslash(jobDir_.empty() ? s_.JobDir : jobDir_);
  s_.PendingLogDir = WithoutTrailingBackslash(logDir_.empty() ? s_.LogDir : logDir_);
  return problems;
}

bool TSettingsStore::Save(std::string* error) {
  jobDir_ = IncludeTrailingBackslash(s_.PendingJobDir);
  logDir_ = IncludeTrailingBackslash(s_.PendingLogDir);
  return store_.Save(error);
}

std::string SettleDirectory(const std::string& stored, const std::string& sub,
                            std::vector<std::string>* problems) {
  const std::string def = ProgramDir() + sub + "\\";
  std::string dir = IncludeTrailingBackslash(stored);
  if (dir.empty())
    dir = def;
  else if (IsRelativePath(dir))
    dir = ProgramDir() + dir;
  if (ForceDirectories(dir)) return dir;
  if (dir != def) {
    problems->push_back(
        Format("Cannot create the directory \"%s\"; \"%s\" is used instead", dir.c_str(), def.c_str()));
    if (ForceDirectories(def)) return def;
  }
  problems->push_back(Format("Cannot create the directory \"%s\"", def.c_str()));
  return def;
}

// ---------------------------------------------------- the process's store

std::vector<std::string> LoadSettings() {
  g_store = std::make_unique<TSettingsStore>(Settings);
  std::vector<std::string> problems = g_store->Load();
  LoadAutoLogon();
  return problems;
}

bool SettingsLoaded() { return g_store != nullptr; }

bool SaveSettings(std::string* error) {
  if (!g_store) return true;
  bool ok = true;
  auto note = [&](bool done, const std::string& why) {
    if (!done && ok && error) *error = why;
    ok = ok && done;
  };
  std::string why;
  note(g_store->Save(&why), why);
  note(SaveStartup(Settings.WinStartup, &why), why);
  SaveUserVariables();
  return ok;
}

bool SaveSetting(const std::string& name, std::string* error) {
  return !g_store || g_store->Storage().SaveItems({name}, error);
}

std::string ProgramPath() {
  char path[MAX_PATH * 4];
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string p(path, n < sizeof path ? n : 0);
  return ProgramDir() + p.substr(p.find_last_of("\\/") + 1);
}

bool SaveStartup(bool winStartup, std::string* error) {
  std::string exe = ProgramPath();
  // Quoted: a path with blanks would otherwise start another program.
  std::string command = "\"" + exe + "\"";
  TRegistryStorage run(HKEY_CURRENT_USER, kRunKey);
  run.AddItem(kRunValue, ritString, &command);
  bool ok = winStartup ? run.Save(error) : run.DeleteValue(kRunValue, error);
  TRegistryStorage program(HKEY_CURRENT_USER, kProgramKey);
  program.AddItem("Path", ritString, &exe);
  std::string why;
  if (!program.Save(&why) && ok) {
    if (error) *error = why;
    ok = false;
  }
  return ok;
}

// -------------------------------------------------------- automatic logon

const TAutoLogon& AutoLogon() { return g_autoLogon; }

void LoadAutoLogon() {
  TAutoLogon a;
  TRegistryStorage st(HKEY_LOCAL_MACHINE, WinlogonKey(), KEY_WOW64_64KEY);
  AddAutoLogonItems(st, a);
  st.Load();
  g_autoLogon = a;
}

bool SaveAutoLogon(const TAutoLogon& chosen, std::string* error) {
  const TAutoLogon& had = g_autoLogon;
  TAutoLogon want = chosen;
  // The system reads anything but "1" as off: "" and "0" are the same
  // choice, and an unchanged choice is not written.
  want.AutoAdminLogon = want.Enabled() ? "1" : "0";
  std::vector<std::string> changed;
  if (want.Enabled() != had.Enabled()) changed.push_back("AutoAdminLogon");
  if (want.DefaultUserName != had.DefaultUserName) changed.push_back("DefaultUserName");
  bool deletePassword = false;
  if (want.Enabled()) {
    if (want.DefaultPassword != had.DefaultPassword) changed.push_back("DefaultPassword");
  } else if (had.Enabled() || want.DefaultPassword != had.DefaultPassword) {
    // No plain-text password is left behind for a logon that is off.
    deletePassword = true;
  }
  TRegistryStorage st(HKEY_LOCAL_MACHINE, WinlogonKey(), KEY_WOW64_64KEY);
  AddAutoLogonItems(st, want);
  bool ok = st.SaveItems(changed, error);
  std::string why;
  if (deletePassword && !st.DeleteValue("DefaultPassword", &why) && ok) {
    if (error) *error = why;
    ok = false;
  }
  if (ok && error) error->clear();
  // What is stored now is what the next comparison starts from.
  LoadAutoLogon();
  return ok;
}

// -------------------------------------------------------------- hot track

void ApplyHotTrackToList(HWND listView, const TSettings& s) {
  const DWORD mask = LVS_EX_TRACKSELECT | LVS_EX_ONECLICKACTIVATE | LVS_EX_UNDERLINECOLD |
                     LVS_EX_UNDERLINEHOT;
  DWORD style = 0;
  if (s.HotTrack) {
    style = LVS_EX_TRACKSELECT;
    if (s.HandPoint) style |= LVS_EX_ONECLICKACTIVATE;
    if (s.UnderlineCold) style |= LVS_EX_UNDERLINECOLD;
    if (s.UnderlineHot) style |= LVS_EX_UNDERLINEHOT;
  }
  SendMessageA(listView, LVM_SETEXTENDEDLISTVIEWSTYLE, mask, style);
}

void ApplyHotTrackToTree(HWND treeView, const TSettings& s) {
  LONG_PTR style = GetWindowLongPtrA(treeView, GWL_STYLE);
  style = s.HotTrack ? (style | TVS_TRACKSELECT) : (style & ~static_cast<LONG_PTR>(TVS_TRACKSELECT));
  SetWindowLongPtrA(treeView, GWL_STYLE, style);
}

bool IsActivation(UINT notifyCode, const TSettings& s) {
  return notifyCode == (s.HotTrack ? static_cast<UINT>(NM_CLICK) : static_cast<UINT>(NM_DBLCLK));
}
