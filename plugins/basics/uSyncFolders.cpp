// "Synchronize a folders": copies newer files between two folder trees,
// one way or both, and optionally removes from folder 2 what folder 1 no
// longer has. The work is TSynchronizer's (FileOp).
#include "uSyncFolders.h"

#include "BasicsUtil.h"
#include "FileOp.h"
#include "FileUtil.h"
#include "OVCommaText.h"
#include "OVDialog.h"
#include "OVMsgBox.h"
#include "OVShell.h"
#include "uFileOps.h"

const char* const kExactCopyWarning =
    "Files & Folders in a Folder \xB9"
    "2 not existed in a Folder \xB9"
    "1 may be lost!\r\nYou are sure?";

namespace {

const char* const kSyncName = "Synchronize a folders";

bool ReadSync(const TOVMethodParams& params, TSyncBlock& s) {
  TBlockReader r(params);
  if (r.Empty()) return true;
  r.String(s.Folder1);
  r.String(s.Folder2);
  r.String(s.IncludeMasks);
  r.String(s.ExcludeMasks);
  r.Bool(s.SubFolders);
  r.Bool(s.ExactCopy);
  r.Dword(s.Direction);
  return r.ok();
}

void LogFailure(const std::string& name, const std::string& reason) {
  HostLog(OV_LOG_ERROR, reason + " (" + name + ")");
}

bool ExecSync(TOVMethodParams& params) {
  TSyncBlock b;
  if (!ReadSync(params, b)) {
    LogIncompleteSettings(kSyncName);
    return false;
  }
  TSyncSettings s;
  s.Folder1 = HostExpandVars(b.Folder1);
  s.Folder2 = HostExpandVars(b.Folder2);
  s.Include = SplitCommaText(HostExpandVars(b.IncludeMasks));
  s.Exclude = SplitCommaText(HostExpandVars(b.ExcludeMasks));
  s.SubFolders = b.SubFolders;
  s.ExactCopy = b.ExactCopy;
  s.Direction = b.Direction;
  TSynchronizer sync(s);
  sync.OnError = LogFailure;
  sync.OnDeleteError = LogFailure;
  return sync.Run();
}

class TfSyncFolders : public OVDialog {
 public:
  TfSyncFolders() : OVDialog(IDD_SYNCFOLDERS) {}
  TSyncBlock Settings;

 protected:
  bool OnInit() override {
    loading_ = true;
    SetItemText(IDC_eFolder1, Settings.Folder1);
    SetItemText(IDC_eFolder2, Settings.Folder2);
    SetItemText(IDC_eIncludeMask, Settings.IncludeMasks);
    SetItemText(IDC_eExcludeMask, Settings.ExcludeMasks);
    SetChecked(IDC_cbSubDir, Settings.SubFolders);
    CheckRadio(IDC_rbBothWays, IDC_rbOneWay, Settings.Direction == 1 ? IDC_rbOneWay : IDC_rbBothWays);
    Enable(IDC_cbExactCopy, Settings.Direction == 1);
    SetChecked(IDC_cbExactCopy, Settings.Direction == 1 && Settings.ExactCopy);
    loading_ = false;
    return true;
  }
  bool OnCommand(int id, int code, HWND) override {
    if ((id == IDC_eFolder1 || id == IDC_eFolder2) && code == EN_KILLFOCUS) {
      FolderExit(id);
      return true;
    }
    if (code != BN_CLICKED) return false;
    switch (id) {
      case IDC_bSelectFolder1:
      case IDC_eSelectFolder2: {
        int edit = id == IDC_bSelectFolder1 ? IDC_eFolder1 : IDC_eFolder2;
        std::string dir;
        if (BrowseForFolder(Handle(), "Select folder:", GetItemText(edit), &dir)) SetItemText(edit, dir);
        return true;
      }
      case IDC_Button1: {
        std::string one = GetItemText(IDC_eFolder1);
        SetItemText(IDC_eFolder1, GetItemText(IDC_eFolder2));
        SetItemText(IDC_eFolder2, one);
        return true;
      }
      case IDC_rbBothWays:
      case IDC_rbOneWay:
        rgHowSyncClick();
        return true;
      case IDC_cbExactCopy:
        cbExactCopyClick();
        return true;
      case IDC_bSyncVariable:
        SelectVariableAtCaret(*this);
        return true;
      default:
        return false;
    }
  }
  void OnOK() override {
    FolderExit(IDC_eFolder1);
    FolderExit(IDC_eFolder2);
    for (int id : {IDC_eFolder1, IDC_eFolder2, IDC_eIncludeMask})
      if (GetItemText(id).empty()) {
        MessageBeep(MB_OK);
        Focus(id);
        return;
      }
    Settings.Folder1 = GetItemText(IDC_eFolder1);
    Settings.Folder2 = GetItemText(IDC_eFolder2);
    Settings.IncludeMasks = GetItemText(IDC_eIncludeMask);
    Settings.ExcludeMasks = GetItemText(IDC_eExcludeMask);
    Settings.SubFolders = IsChecked(IDC_cbSubDir);
    Settings.Direction = CheckedRadio(IDC_rbBothWays, IDC_rbOneWay) == IDC_rbOneWay ? 1 : 0;
    Settings.ExactCopy = Settings.Direction == 1 && IsChecked(IDC_cbExactCopy);
    End(IDOK);
  }

 private:
  void FolderExit(int id) {
    std::string text = GetItemText(id);
    std::string trimmed = WithoutTrailingBackslash(text);
    if (trimmed != text) SetItemText(id, trimmed);
  }
  void rgHowSyncClick() {
    bool oneWay = CheckedRadio(IDC_rbBothWays, IDC_rbOneWay) == IDC_rbOneWay;
    SetChecked(IDC_cbExactCopy, false);
    Enable(IDC_cbExactCopy, oneWay);
  }
  void cbExactCopyClick() {
    if (loading_ || !IsChecked(IDC_cbExactCopy)) return;
    if (OVMessageBox(Handle(), kExactCopyWarning, "Warning", MB_YESNO | MB_ICONWARNING) != IDYES)
      SetChecked(IDC_cbExactCopy, false);
  }
  bool loading_ = false;
};

bool ConfigSync(TOVMethodParams& params) {
  TfSyncFolders dialog;
  if (!ReadSync(params, dialog.Settings)) dialog.Settings = TSyncBlock();
  if (dialog.DoModal() != IDOK) return false;
  TBlockWriter w;
  WriteSyncSettings(dialog.Settings, w);
  return w.StoreTo(params);
}

}  // namespace

void WriteSyncSettings(const TSyncBlock& s, TBlockWriter& w) {
  w.String(s.Folder1).String(s.Folder2).String(s.IncludeMasks).String(s.ExcludeMasks);
  w.Bool(s.SubFolders).Bool(s.ExactCopy).Dword(s.Direction);
}

TMethodCase SyncFoldersCase() { return TMethodCase{.Exec = ExecSync, .Config = ConfigSync, .Descr = nullptr}; }
