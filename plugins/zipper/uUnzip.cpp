// "Extract files from zip-archive": every entry of an archive into a
// folder. Unlike archiving, extractions run side by side.
#include "uUnzip.h"

#include <windows.h>

#include <commdlg.h>
#include <shlobj.h>

#include "OVDialog.h"
#include "OVError.h"
#include "OVShell.h"

namespace {

// Failures are reported and fail the step; warnings (parts of names
// stripped, an empty archive) are logged and the step succeeds.
bool ExecUnzip(TOVMethodParams& params) {
  TBlockReader r(params);
  if (r.Empty()) return false;
  TUnzipSettings s;
  if (!ReadUnzipSettings(params, s)) {
    HostLog(OV_LOG_ERROR, "The settings of \"Extract files from zip-archive\" are incomplete. Reconfigure this step.");
    return false;
  }
  std::string zip = HostExpandVars(s.ZipFile), dest = HostExpandVars(s.DestDir);
  std::vector<std::string> lines;
  int rc = RunUnzip(s, zip, dest, lines);
  uint8_t level = rc <= PK_WARN ? OV_LOG_WARNING : OV_LOG_ERROR;
  for (const std::string& line : lines) HostLog(level, line);
  if (rc <= PK_WARN) return true;
  HostLog(OV_LOG_ERROR, Format("Extracting \"%s\" failed: %s", zip.c_str(), UnzipResultText(rc).c_str()));
  return false;
}

class TfUnzip : public OVDialog {
 public:
  TfUnzip() : OVDialog(IDD_UNZIP) {}
  TUnzipSettings Settings;

 protected:
  bool OnInit() override {
    SetItemText(IDC_eFileToUnzip, Settings.ZipFile);
    SetItemText(IDC_eDestDir, Settings.DestDir);
    SetChecked(IDC_cbOverwrite, Settings.Overwrite);
    SetChecked(IDC_cbSkipOlder, Settings.SkipOlder);
    SetChecked(IDC_cbUseFolderNames, Settings.UseFolderNames);
    return true;
  }

  bool OnCommand(int id, int code, HWND) override {
    if (code != BN_CLICKED) return false;
    switch (id) {
      case IDC_bSelectZip: bSelectZipClick(); return true;
      case IDC_bSelectDir: bSelectDirClick(); return true;
      case IDC_bUnzipVariable: SelectVariableAtCaret(*this); return true;
      default: return false;
    }
  }

  void OnOK() override {
    Settings.ZipFile = GetItemText(IDC_eFileToUnzip);
    Settings.DestDir = GetItemText(IDC_eDestDir);
    Settings.Overwrite = IsChecked(IDC_cbOverwrite);
    Settings.SkipOlder = IsChecked(IDC_cbSkipOlder);
    Settings.UseFolderNames = IsChecked(IDC_cbUseFolderNames);
    End(IDOK);
  }

 private:
  void bSelectZipClick() {
    TFileBox box;
    box.filter = "Zip-archives\0*.zip\0";
    box.flags = OFN_HIDEREADONLY | OFN_FILEMUSTEXIST | OFN_NOCHANGEDIR;
    std::string file = GetItemText(IDC_eFileToUnzip);
    if (ChooseFile(Handle(), box, file)) SetItemText(IDC_eFileToUnzip, file);
  }

  void bSelectDirClick() {
    std::string folder;
    if (BrowseForFolder(Handle(), "Select folder:", GetItemText(IDC_eDestDir), &folder)) SetItemText(IDC_eDestDir, folder);
  }
};

bool ConfigUnzip(TOVMethodParams& params) {
  TfUnzip dialog;
  if (!ReadUnzipSettings(params, dialog.Settings)) dialog.Settings = TUnzipSettings();
  if (dialog.DoModal() != IDOK) return false;
  return StoreUnzipSettings(dialog.Settings, params);
}

}  // namespace

bool ReadUnzipSettings(const TOVMethodParams& params, TUnzipSettings& s) {
  TBlockReader r(params);
  if (r.Empty()) return true;
  r.String(s.ZipFile);
  r.String(s.DestDir);
  r.Bool(s.Overwrite);
  r.Bool(s.SkipOlder);
  r.Bool(s.UseFolderNames);
  return r.ok();
}

bool StoreUnzipSettings(const TUnzipSettings& s, TOVMethodParams& params) {
  TBlockWriter w;
  w.String(s.ZipFile).String(s.DestDir).Bool(s.Overwrite).Bool(s.SkipOlder).Bool(s.UseFolderNames);
  return w.StoreTo(params);
}

TMethodCase UnzipCase() { return TMethodCase{.Exec = ExecUnzip, .Config = ConfigUnzip, .Descr = nullptr}; }
