// "Run a program/Open a document": hands the target to the shell, which
// starts a program or opens a document with its associated program, and
// optionally waits until the started process has ended.
#include "uRun.h"

#include <windows.h>

#include <commdlg.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include "BasicsUtil.h"
#include "uDM.h"
#include "OVDialog.h"
#include "OVError.h"
#include "OVShell.h"

namespace {

// The start-in folder as the dialog keeps it: without a trailing
// backslash, except for a drive root such as "C:\".
std::string TrimFolder(const std::string& folder) {
  bool driveRoot = folder.size() == 3 && isalpha(static_cast<unsigned char>(folder[0])) && folder[1] == ':' &&
                   folder[2] == '\\';
  if (!folder.empty() && folder.back() == '\\' && !driveRoot) return folder.substr(0, folder.size() - 1);
  return folder;
}

const char* const kName = "Run a program/Open a document";
const char* const kModes[] = {"Normal", "Minimized", "Maximized", "Hide"};
const int kShowCommands[] = {SW_SHOWNORMAL, SW_MINIMIZE, SW_SHOWMAXIMIZED, SW_HIDE};

struct TRunSettings {
  std::string Target;
  std::string Parameters;
  std::string WorkDir;
  uint32_t Mode = 0;
  bool Wait = false;
};

// Three stored lengths, the window mode and the wait flag, then the three
// texts. False when the block ends early.
bool ReadSettings(const TOVMethodParams& params, TRunSettings& s) {
  TBlockReader r(params);
  if (r.Empty()) return true;
  uint32_t targetLength = 0, parametersLength = 0, dirLength = 0, wait = 0;
  r.Dword(targetLength);
  r.Dword(parametersLength);
  r.Dword(dirLength);
  r.Dword(s.Mode);
  r.Dword(wait);
  if (!r.ok()) return false;
  s.Wait = wait != 0;
  return ReadFixedText(r, targetLength, s.Target) && ReadFixedText(r, parametersLength, s.Parameters) &&
         ReadFixedText(r, dirLength, s.WorkDir);
}

bool StoreSettings(const TRunSettings& s, TOVMethodParams& params) {
  TBlockWriter w;
  w.Dword(StoredLength(s.Target)).Dword(StoredLength(s.Parameters)).Dword(StoredLength(s.WorkDir));
  w.Dword(s.Mode).Dword(s.Wait ? 1 : 0);
  WriteFixedText(w, s.Target);
  WriteFixedText(w, s.Parameters);
  WriteFixedText(w, s.WorkDir);
  return w.StoreTo(params);
}

int ShowCommand(uint32_t mode) { return mode < 4 ? kShowCommands[mode] : SW_SHOWNORMAL; }

bool ExecRun(TOVMethodParams& params) {
  TRunSettings s;
  if (!ReadSettings(params, s)) {
    LogIncompleteSettings(kName);
    return false;
  }
  const std::string dir = HostExpandVars(s.WorkDir);
  const std::string parameters = HostExpandVars(s.Parameters);
  const std::string target = HostExpandVars(s.Target);

  TComScope com;
  SHELLEXECUTEINFOA sei{};
  sei.cbSize = sizeof sei;
  // No error box of the shell may stop a job that nobody watches; the
  // call returns once the shell has done its part, also on a thread
  // without a message loop.
  sei.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC | (s.Wait ? SEE_MASK_NOCLOSEPROCESS : 0);
  sei.hwnd = HostAppWindow();
  sei.lpVerb = nullptr;
  sei.lpFile = target.c_str();
  sei.lpParameters = parameters.empty() ? nullptr : parameters.c_str();
  sei.lpDirectory = dir.empty() ? nullptr : dir.c_str();
  sei.nShow = ShowCommand(s.Mode);
  if (!ShellExecuteExA(&sei)) {
    DWORD error = GetLastError();
    HostLog(OV_LOG_ERROR, Format("Cannot run \"%s\": %s", target.c_str(), SystemErrorText(error).c_str()));
    return false;
  }
  if (!s.Wait) return true;
  if (!sei.hProcess) {
    // The shell handed the document to a program that was already
    // running: there is no process of ours to wait for.
    HostLog(OV_LOG_INFO, Format("\"%s\" was opened; there is no program to wait for", target.c_str()));
    return true;
  }
  // The process handle is signalled when the process ends, whatever its
  // exit code (a program may well end with 259, the "still active" code).
  // A stop request for the job ends the wait; the program runs on.
  TWaitEnd end = WaitPumpingUntilStopped(sei.hProcess, HostCurrentJob());
  DWORD code = 0;
  if (end == TWaitEnd::Signalled) GetExitCodeProcess(sei.hProcess, &code);
  CloseHandle(sei.hProcess);
  if (end != TWaitEnd::Signalled) {
    HostLog(end == TWaitEnd::Stopped ? OV_LOG_WARNING : OV_LOG_INFO,
            Format("Stopped waiting for \"%s\"", target.c_str()));
    return true;
  }
  int32_t result = static_cast<int32_t>(code);
  if (result == -1) {
    HostLog(OV_LOG_ERROR, Format("\"%s\" ended with exit code -1", target.c_str()));
    return false;
  }
  HostLog(OV_LOG_INFO, Format("\"%s\" ended with exit code %ld", target.c_str(), static_cast<long>(result)));
  return true;
}

void DescrRun(TOVMethodParams& params, std::string& descr) {
  TRunSettings s;
  if (ReadSettings(params, s)) descr = Format("Run \"%s\"", s.Target.c_str());
}

std::string FolderOfFile(const std::string& path) {
  size_t slash = path.find_last_of("\\/");
  if (slash == std::string::npos) return std::string();
  return TrimFolder(path.substr(0, slash + 1));
}

class TfRun : public OVDialog {
 public:
  TfRun() : OVDialog(IDD_RUN) {}
  TRunSettings Settings;

 protected:
  bool OnInit() override {
    SetItemText(IDC_eProgram, Settings.Target);
    SetItemText(IDC_eParameters, Settings.Parameters);
    SetItemText(IDC_eWorkDir, Settings.WorkDir);
    for (const char* mode : kModes) ComboAdd(IDC_cbRun, mode);
    SetComboIndex(IDC_cbRun, Settings.Mode < 4 ? static_cast<int>(Settings.Mode) : 0);
    SetChecked(IDC_cbWait, Settings.Wait);
    return true;
  }

  bool OnCommand(int id, int code, HWND) override {
    if (id == IDC_eWorkDir && code == EN_KILLFOCUS) {
      eWorkDirExit();
      return true;
    }
    if (code != BN_CLICKED) return false;
    switch (id) {
      case IDC_bBrowse:
        bBrowseClick();
        return true;
      case IDC_bBrowseDir:
        bBrowseDirClick();
        return true;
      case IDC_bRunVariable:
        SelectVariableAtCaret(*this);
        return true;
      default:
        return false;
    }
  }

  void OnOK() override {
    if (GetItemText(IDC_eProgram).empty()) {
      MessageBeep(MB_OK);
      Focus(IDC_eProgram);
      return;
    }
    eWorkDirExit();
    Settings.Target = GetItemText(IDC_eProgram);
    Settings.Parameters = GetItemText(IDC_eParameters);
    Settings.WorkDir = GetItemText(IDC_eWorkDir);
    int mode = ComboIndex(IDC_cbRun);
    Settings.Mode = mode >= 0 && mode < 4 ? static_cast<uint32_t>(mode) : 0;
    Settings.Wait = IsChecked(IDC_cbWait);
    End(IDOK);
  }

 private:
  void eWorkDirExit() {
    std::string dir = GetItemText(IDC_eWorkDir);
    std::string trimmed = TrimFolder(dir);
    if (trimmed != dir) SetItemText(IDC_eWorkDir, trimmed);
  }

  void bBrowseClick() {
    std::string target = GetItemText(IDC_eProgram);
    TFileBox box;
    box.filter = "Executable files\0*.exe;*.com;*.bat\0All files\0*.*\0";
    box.initialDir = FolderOfFile(target);
    box.flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR;
    std::string file;
    if (!ChooseFile(Handle(), box, file)) return;
    SetItemText(IDC_eProgram, file);
    SetItemText(IDC_eWorkDir, FolderOfFile(file));
  }

  void bBrowseDirClick() {
    std::string folder;
    if (BrowseForFolder(Handle(), "Select folder:", GetItemText(IDC_eWorkDir), &folder))
      SetItemText(IDC_eWorkDir, TrimFolder(folder));
  }
};

bool ConfigRun(TOVMethodParams& params) {
  TfRun dialog;
  if (!ReadSettings(params, dialog.Settings)) dialog.Settings = TRunSettings();
  if (dialog.DoModal() != IDOK) return false;
  return StoreSettings(dialog.Settings, params);
}

}  // namespace

TMethodCase RunCase() { return TMethodCase{.Exec = ExecRun, .Config = ConfigRun, .Descr = DescrRun}; }
