// "Create/update zip-archive": a list of file patterns into a zip
// archive, one archiving step at a time in the process.
#include "uZip.h"

#include <windows.h>

#include <commdlg.h>

#include <memory>

#include "OVDialog.h"
#include "OVError.h"
#include "OVShell.h"
#include "uZipComment.h"

namespace {

const char* const kActions[] = {"Add (and replace) files", "Freshen existing files", "Move files",
                                "Update (and add) files"};
const char* const kLevels[] = {"Maximum (slowest)", "Normal", "Fast", "Super fast", "None"};

// The lines of the list, blank lines left out.
std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (line.find_first_not_of(" \t") != std::string::npos) lines.push_back(line);
    start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
  }
  return lines;
}

std::string Trimmed(const std::string& s) {
  size_t a = s.find_first_not_of(' '), b = s.find_last_not_of(' ');
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

bool FileExists(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

int Archive(const TZipSettings& s) {
  std::vector<std::string> lines = SplitLines(HostExpandVars(s.Files));
  std::string dest = HostExpandVars(s.DestFile);
  std::string comment = HostExpandVars(s.Comment);
  uint8_t action = s.Action <= zaUpdate ? s.Action : static_cast<uint8_t>(zaAdd);
  // Updating an archive that is not there yet is adding.
  if (action == zaUpdate && !FileExists(dest)) action = zaAdd;
  std::string root = ArchiveRoot(dest);
  TZipOptions options;
  if (!BuildZipOptions(s, action, root, options)) {
    HostLog(OV_LOG_ERROR, Format("The folder of the zip file is too long (%u characters, at most %u): %s",
                                 static_cast<unsigned>(root.size()),
                                 static_cast<unsigned>(sizeof options.RootDir - 1), root.c_str()));
    return -1;
  }
  if (!ZpSetOptions(options)) {
    HostLog(OV_LOG_ERROR, "Error setting Zip Options");
    return 255;
  }
  if (Trimmed(dest).empty() || lines.empty()) return -1;
  SetArchiveComment(comment);
  ZpInit(ZipCallbacks());
  std::vector<std::unique_ptr<char[]>> copies;
  std::vector<char*> argv;
  for (const std::string& line : lines) {
    copies.emplace_back(new char[line.size() + 1]);
    memcpy(copies.back().get(), line.c_str(), line.size() + 1);
    argv.push_back(copies.back().get());
  }
  return ZpArchive(static_cast<int>(argv.size()), dest.data(), argv.data());
}

bool ExecZip(TOVMethodParams& params) {
  TBlockReader r(params);
  if (r.Empty()) return false;
  TZipSettings s;
  if (!ReadZipSettings(params, s)) {
    HostLog(OV_LOG_ERROR, "The settings of \"Create/update zip-archive\" are incomplete. Reconfigure this step.");
    return false;
  }
  int code;
  {
    TArchiveTurn turn;
    code = Archive(s);
  }
  if (code == 0) return true;
  HostLog(OV_LOG_ERROR, ZipResultText(code));
  return false;
}

class TfZip : public OVDialog {
 public:
  TfZip() : OVDialog(IDD_ZIP) {}
  TZipSettings Settings;

 protected:
  bool OnInit() override {
    for (const char* a : kActions) ComboAdd(IDC_cbAction, a);
    for (const char* l : kLevels) ComboAdd(IDC_cbCompressLevel, l);
    SetItemText(IDC_lbFiles, Settings.Files);
    SetItemText(IDC_eDestFile, Settings.DestFile);
    SetComboIndex(IDC_cbAction, Settings.Action <= zaUpdate ? int(Settings.Action) : 0);
    SetComboIndex(IDC_cbCompressLevel, Settings.Level <= 4 ? Settings.Level : 1);
    SetChecked(IDC_cbDosFormat, Settings.DosFormat);
    SetChecked(IDC_cbIncludeSubDirs, Settings.IncludeSubDirs);
    SetChecked(IDC_cbSaveExtra, Settings.SaveExtra);
    SetChecked(IDC_cbIncSysAndHidden, Settings.IncSysAndHidden);
    SetChecked(IDC_cbJunkDirNames, Settings.JunkDirNames);
    return true;
  }

  bool OnCommand(int id, int code, HWND) override {
    if (code != BN_CLICKED) return false;
    switch (id) {
      case IDC_bSelectFiles: bSelectFilesClick(); return true;
      case IDC_bSelectDest: bSelectDestClick(); return true;
      case IDC_bComment: bCommentClick(); return true;
      case IDC_bVariable: SelectVariableAtCaret(*this); return true;
      default: return false;
    }
  }

  void OnOK() override {
    if (GetItemText(IDC_lbFiles).empty()) return Refuse(IDC_lbFiles);
    if (GetItemText(IDC_eDestFile).empty()) return Refuse(IDC_eDestFile);
    Settings.Files = GetItemText(IDC_lbFiles);
    Settings.DestFile = GetItemText(IDC_eDestFile);
    Settings.Action = static_cast<uint8_t>(ComboIndex(IDC_cbAction) < 0 ? 0 : ComboIndex(IDC_cbAction));
    Settings.Level = static_cast<uint8_t>(ComboIndex(IDC_cbCompressLevel) < 0 ? 1 : ComboIndex(IDC_cbCompressLevel));
    Settings.DosFormat = IsChecked(IDC_cbDosFormat);
    Settings.IncludeSubDirs = IsChecked(IDC_cbIncludeSubDirs);
    Settings.SaveExtra = IsChecked(IDC_cbSaveExtra);
    Settings.IncSysAndHidden = IsChecked(IDC_cbIncSysAndHidden);
    Settings.JunkDirNames = IsChecked(IDC_cbJunkDirNames);
    End(IDOK);
  }

 private:
  void Refuse(int id) {
    MessageBeep(MB_ICONEXCLAMATION);
    Focus(id);
  }

  void bSelectFilesClick() {
    std::vector<std::string> list = GetItemLines(IDC_lbFiles);
    if (HostSelectFiles(list)) SetItemLines(IDC_lbFiles, list);
  }

  void bSelectDestClick() {
    TFileBox box;
    box.save = true;
    box.filter = "Zip-files\0*.zip\0";
    box.defExt = "zip";
    box.title = "Select destination zip-file";
    box.flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    std::string file = GetItemText(IDC_eDestFile);
    if (ChooseFile(Handle(), box, file)) SetItemText(IDC_eDestFile, file);
  }

  void bCommentClick() {
    TfZipComment dialog;
    dialog.Comment = Settings.Comment;
    if (dialog.DoModal(Handle()) == IDOK) Settings.Comment = dialog.Comment;
  }
};

bool ConfigZip(TOVMethodParams& params) {
  TfZip dialog;
  if (!ReadZipSettings(params, dialog.Settings)) dialog.Settings = TZipSettings();
  if (dialog.DoModal() != IDOK) return false;
  return StoreZipSettings(dialog.Settings, params);
}

}  // namespace

bool ReadZipSettings(const TOVMethodParams& params, TZipSettings& s) {
  TBlockReader r(params);
  if (r.Empty()) return true;
  r.String(s.Files);
  r.String(s.DestFile);
  r.String(s.Comment);
  r.Byte(s.Action);
  r.Byte(s.Level);
  r.Bool(s.DosFormat);
  r.Bool(s.IncludeSubDirs);
  r.Bool(s.SaveExtra);
  r.Bool(s.IncSysAndHidden);
  r.Bool(s.JunkDirNames);
  return r.ok();
}

bool StoreZipSettings(const TZipSettings& s, TOVMethodParams& params) {
  TBlockWriter w;
  w.String(s.Files).String(s.DestFile).String(s.Comment).Byte(s.Action).Byte(s.Level);
  w.Bool(s.DosFormat).Bool(s.IncludeSubDirs).Bool(s.SaveExtra).Bool(s.IncSysAndHidden).Bool(s.JunkDirNames);
  return w.StoreTo(params);
}

TMethodCase ZipCase() { return TMethodCase{.Exec = ExecZip, .Config = ConfigZip, .Descr = nullptr}; }
