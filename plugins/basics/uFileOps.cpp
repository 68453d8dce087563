// "Copy/Move a file(s)", "Delete a file(s)", "Print a document(s)" and
// "Rename file(s)": lists of file names, one per line, with wildcards and
// variables, worked through by FileOp.
#include "uFileOps.h"

#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include "BasicsUtil.h"
#include "FileOp.h"
#include "FileUtil.h"
#include "OVDialog.h"
#include "OVError.h"
#include "OVMsgBox.h"
#include "OVShell.h"
#include "uDM.h"

namespace {

const char* const kCopyName = "Copy/Move a file(s)";
const char* const kDeleteName = "Delete a file(s)";
const char* const kPrintName = "Print a document(s)";
const char* const kRenameName = "Rename file(s)";
const char* const kErrorOccured = "An error occured.";

void LogFailure(const std::string& name, const std::string& reason) {
  HostLog(OV_LOG_ERROR, reason + " (" + name + ")");
}

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t");
  if (a == std::string::npos) return std::string();
  size_t b = s.find_last_not_of(" \t");
  return s.substr(a, b - a + 1);
}

// A name as typed and as it came out of the variables.
struct TName {
  std::string Typed;
  std::string Path;
};

// The names of a stored list. Empty lines are skipped. With splitTyped,
// "|" and ";" separate names within a line as the user typed it; what a
// variable brings is never split there (a file may be called "a;b.txt"),
// but a variable holding several lines gives several names.
std::vector<TName> ExpandNames(const std::string& list, bool splitTyped) {
  std::vector<TName> names;
  for (const std::string& line : ListLines(list)) {
    std::vector<std::string> parts;
    if (splitTyped) {
      size_t at = 0;
      for (;;) {
        size_t sep = line.find_first_of(";|", at);
        parts.push_back(line.substr(at, sep == std::string::npos ? std::string::npos : sep - at));
        if (sep == std::string::npos) break;
        at = sep + 1;
      }
    } else {
      parts.push_back(line);
    }
    for (const std::string& part : parts) {
      std::string typed = Trim(part);
      if (typed.empty()) continue;
      for (const std::string& path : ListLines(HostExpandVars(typed))) {
        std::string p = Trim(path);
        if (!p.empty()) names.push_back({typed, p});
      }
    }
  }
  return names;
}

// Names that must not reach an action that removes or moves files: a
// relative name (it would act on whatever folder is current) and the top
// of a drive that a variable made out of a folder (an empty %Dir% in
// "%Dir%\*.bak").
bool Refused(const TName& n) {
  if (!IsAbsolutePath(n.Path)) {
    HostLog(OV_LOG_ERROR, Format("Skipped \"%s\": not a full path", n.Path.c_str()));
    return true;
  }
  if (IsRootFolder(ExtractFilePath(n.Path)) && !IsRootFolder(ExtractFilePath(n.Typed))) {
    HostLog(OV_LOG_ERROR, Format("Skipped \"%s\": the variables in \"%s\" left the top of a drive",
                                 n.Path.c_str(), n.Typed.c_str()));
    return true;
  }
  return false;
}

// ------------------------------------------------------------ blocks

bool ReadCopy(const TOVMethodParams& params, TCopySettings& s) {
  TBlockReader r(params);
  if (r.Empty()) return true;
  r.String(s.Files);
  r.String(s.DestDir);
  r.Dword(s.IfFileExists);
  r.Bool(s.Move);
  if (!r.ok()) return false;
  if (r.More()) r.Bool(s.Recurse);
  return r.ok();
}

bool ReadDelete(const TOVMethodParams& params, TDeleteSettings& s) {
  TBlockReader r(params);
  if (r.Empty()) return true;
  r.String(s.Files);
  r.Bool(s.Recurse);
  r.Bool(s.DeleteDirs);
  r.Bool(s.ToRecycleBin);
  return r.ok();
}

bool ReadRename(const TOVMethodParams& params, TRenameSettings& s) {
  TBlockReader r(params);
  if (r.Empty()) return true;
  r.String(s.Files);
  r.String(s.Mask);
  r.Bool(s.Recurse);
  return r.ok();
}

bool ReadPrint(const TOVMethodParams& params, TPrintSettings& s) {
  TBlockReader r(params);
  if (r.Empty()) return true;
  r.String(s.Files);
  return r.ok();
}

std::string TempFolder() {
  char buf[MAX_PATH + 1];
  DWORD n = GetTempPathA(sizeof buf, buf);
  return WithTrailingBackslash(n && n < sizeof buf ? std::string(buf, n) : std::string("C:\\"));
}

// ------------------------------------------------------------ execution

bool ExecCopy(TOVMethodParams& params) {
  TCopySettings s;
  if (!ReadCopy(params, s)) {
    LogIncompleteSettings(kCopyName);
    return false;
  }
  TFileOperator op;
  op.Operation = s.Move ? TFileOperation::foMove : TFileOperation::foCopy;
  op.Options = flAllowUndo | flNoConfirmation | flNoConfirmMkDir | flSilent | flNoErrorUI |
               (s.IfFileExists == 1 ? flRenameOnCollision : 0u) | (s.Recurse ? 0u : flFilesOnly);
  bool refused = false;
  for (const TName& n : ExpandNames(s.Files, true)) {
    if (s.Move && Refused(n)) {
      refused = true;
      continue;
    }
    op.Source.push_back(n.Path);
  }
  std::string dest = WithTrailingBackslash(HostExpandVars(s.DestDir));
  if (dest.empty()) {
    HostLog(OV_LOG_ERROR, "No destination directory");
    HostLog(OV_LOG_ERROR, kErrorOccured);
    return false;
  }
  op.Destination.push_back(dest);
  op.OnError = LogFailure;
  bool ok = op.Execute() && !refused;
  if (!ok) HostLog(OV_LOG_ERROR, kErrorOccured);
  return ok;
}

bool ExecDelete(TOVMethodParams& params) {
  TDeleteSettings s;
  if (TBlockReader(params).Empty()) return false;
  if (!ReadDelete(params, s)) {
    LogIncompleteSettings(kDeleteName);
    return false;
  }
  TDeleteWalk walk;
  walk.Recurse = s.Recurse;
  walk.DeleteDirs = s.DeleteDirs;
  walk.ToRecycleBin = s.ToRecycleBin;
  walk.OnError = LogFailure;
  for (const TName& n : ExpandNames(s.Files, false)) {
    if (Refused(n)) continue;
    const std::string mask = ExtractFileName(n.Path);
    if (mask.empty()) {
      HostLog(OV_LOG_ERROR, Format("Skipped \"%s\": no file name", n.Path.c_str()));
      continue;
    }
    walk.Run(ExtractFilePath(n.Path), mask);
  }
  HostLog(OV_LOG_INFO, Format("%d file(s) deleted", walk.Count));
  return true;
}

bool ExecRename(TOVMethodParams& params) {
  TRenameSettings s;
  if (TBlockReader(params).Empty()) {
    // The dialog offers every file of the temporary folder; a step that was
    // never configured renames nothing.
    HostLog(OV_LOG_ERROR, Format("\"%s\" is not configured", kRenameName));
    return false;
  }
  if (!ReadRename(params, s)) {
    LogIncompleteSettings(kRenameName);
    return false;
  }
  // A mask is a name, never a path: "..\x" must not move files away.
  std::string mask = ExtractFileName(HostExpandVars(s.Mask));
  TFileOperator op;
  op.Operation = TFileOperation::foRename;
  op.Options = flAllowUndo | flMultiDest | flNoConfirmation | flNoConfirmMkDir | flRenameOnCollision | flSilent |
               flNoErrorUI | (s.Recurse ? 0u : flFilesOnly);
  op.OnError = LogFailure;
  bool ok = true;
  for (const TName& n : ExpandNames(s.Files, true)) {
    if (Refused(n)) {
      ok = false;
      continue;
    }
    op.Source = {n.Path};
    op.Destination = {WithTrailingBackslash(ExtractFilePath(n.Path)) + mask};
    if (!op.Execute()) ok = false;
  }
  if (!ok) HostLog(OV_LOG_ERROR, kErrorOccured);
  return ok;
}

bool PrintOne(const std::string& path) {
  SHELLEXECUTEINFOA sei{};
  sei.cbSize = sizeof sei;
  sei.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC;
  sei.lpVerb = "print";
  sei.lpFile = path.c_str();
  sei.nShow = SW_HIDE;
  if (ShellExecuteExA(&sei) && reinterpret_cast<INT_PTR>(sei.hInstApp) > 32) return true;
  DWORD e = GetLastError();
  LogFailure(path, SystemErrorText(e ? e : static_cast<DWORD>(ERROR_NO_ASSOCIATION)));
  return false;
}

bool ExecPrint(TOVMethodParams& params) {
  TPrintSettings s;
  if (!ReadPrint(params, s)) {
    LogIncompleteSettings(kPrintName);
    return false;
  }
  TComScope com;
  bool ok = true;
  for (const TName& n : ExpandNames(s.Files, false)) {
    if (!HasWildcards(n.Path)) {
      ok &= PrintOne(n.Path);
      continue;
    }
    const std::string folder = WithTrailingBackslash(ExtractFilePath(n.Path));
    std::vector<TFoundFile> found;
    if (DWORD e = ListFolder(folder, kPrintFiles, found, ExtractFileName(n.Path))) {
      LogFailure(n.Path, SystemErrorText(e));
      ok = false;
    }
    for (const TFoundFile& f : found)
      if (FileMaskMatches(ExtractFileName(n.Path), f.Name)) ok &= PrintOne(folder + f.Name);
  }
  return ok;
}

// ------------------------------------------------------------ dialogs

// The "..." button beside a list: the host's file-list dialog.
void SelectFilesInto(OVDialog& d, int memo) {
  std::vector<std::string> lines;
  for (const std::string& l : d.GetItemLines(memo))
    if (!Trim(l).empty()) lines.push_back(l);
  if (HostSelectFiles(lines)) d.SetItemLines(memo, lines);
}

std::string JoinLines(const std::vector<std::string>& lines) {
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i) text += (i ? "\r\n" : "") + lines[i];
  return text;
}

bool ListEmpty(const OVDialog& d, int memo) {
  for (const std::string& l : d.GetItemLines(memo))
    if (!Trim(l).empty()) return false;
  return true;
}

class TfCopyFiles : public OVDialog {
 public:
  TfCopyFiles() : OVDialog(IDD_COPYFILES) {}
  TCopySettings Settings;

 protected:
  bool OnInit() override {
    SetItemText(IDC_mCopyFiles, Settings.Files);
    SetItemText(IDC_eDestDir, Settings.DestDir);
    CheckRadio(IDC_rbOverwrite, IDC_rbRename, Settings.IfFileExists == 0 ? IDC_rbOverwrite : IDC_rbRename);
    SetChecked(IDC_cbMove, Settings.Move);
    SetChecked(IDC_cbCopyRecurse, Settings.Recurse);
    return true;
  }
  bool OnCommand(int id, int code, HWND) override {
    if (code != BN_CLICKED) return false;
    switch (id) {
      case IDC_bCopySelectFiles:
        SelectFilesInto(*this, IDC_mCopyFiles);
        return true;
      case IDC_bBrowseDestDir: {
        std::string dir;
        if (BrowseForFolder(Handle(), "Select folder:", GetItemText(IDC_eDestDir), &dir)) SetItemText(IDC_eDestDir, dir);
        return true;
      }
      case IDC_bCopyVariable:
        SelectVariableAtCaret(*this);
        return true;
      default:
        return false;
    }
  }
  void OnOK() override {
    if (ListEmpty(*this, IDC_mCopyFiles)) return Refuse(IDC_mCopyFiles);
    if (GetItemText(IDC_eDestDir).empty()) return Refuse(IDC_eDestDir);
    Settings.Files = JoinLines(GetItemLines(IDC_mCopyFiles));
    Settings.DestDir = GetItemText(IDC_eDestDir);
    Settings.IfFileExists = CheckedRadio(IDC_rbOverwrite, IDC_rbRename) == IDC_rbOverwrite ? 0 : 1;
    Settings.Move = IsChecked(IDC_cbMove);
    Settings.Recurse = IsChecked(IDC_cbCopyRecurse);
    End(IDOK);
  }

 private:
  void Refuse(int id) {
    MessageBeep(MB_OK);
    Focus(id);
  }
};

class TfDeleteFiles : public OVDialog {
 public:
  TfDeleteFiles() : OVDialog(IDD_DELETEFILES) {}
  TDeleteSettings Settings;

 protected:
  bool OnInit() override {
    SetItemText(IDC_mDeleteFiles, Settings.Files);
    SetChecked(IDC_cbDeleteRecurse, Settings.Recurse);
    SetChecked(IDC_cbDeleteDirs, Settings.DeleteDirs);
    SetChecked(IDC_cbToRecycleBin, Settings.ToRecycleBin);
    return true;
  }
  bool OnCommand(int id, int code, HWND) override {
    if (code != BN_CLICKED) return false;
    if (id == IDC_bDeleteSelectFiles) {
      SelectFilesInto(*this, IDC_mDeleteFiles);
      return true;
    }
    if (id == IDC_bDeleteVariable) {
      SelectVariableAtCaret(*this);
      return true;
    }
    return false;
  }
  void OnOK() override {
    if (ListEmpty(*this, IDC_mDeleteFiles)) {
      MessageBeep(MB_OK);
      Focus(IDC_mDeleteFiles);
      return;
    }
    if (!Confirm(Handle(), "You are sure that all correctly?")) return;
    Settings.Files = JoinLines(GetItemLines(IDC_mDeleteFiles));
    Settings.Recurse = IsChecked(IDC_cbDeleteRecurse);
    Settings.DeleteDirs = IsChecked(IDC_cbDeleteDirs);
    Settings.ToRecycleBin = IsChecked(IDC_cbToRecycleBin);
    End(IDOK);
  }
};

class TfRenameFiles : public OVDialog {
 public:
  TfRenameFiles() : OVDialog(IDD_RENAMEFILES) {}
  TRenameSettings Settings;

 protected:
  bool OnInit() override {
    SetItemText(IDC_mRenameFiles, Settings.Files);
    SetItemText(IDC_eMask, Settings.Mask);
    SetChecked(IDC_cbRenameRecurse, Settings.Recurse);
    return true;
  }
  bool OnCommand(int id, int code, HWND) override {
    if (id == IDC_eMask && code == EN_KILLFOCUS) {
      eMaskExit();
      return true;
    }
    if (code != BN_CLICKED) return false;
    if (id == IDC_bRenameSelectFiles) {
      SelectFilesInto(*this, IDC_mRenameFiles);
      return true;
    }
    if (id == IDC_bRenameVariable) {
      SelectVariableAtCaret(*this);
      return true;
    }
    return false;
  }
  void OnOK() override {
    eMaskExit();
    if (ListEmpty(*this, IDC_mRenameFiles) || GetItemText(IDC_eMask).empty()) {
      MessageBeep(MB_OK);
      Focus(ListEmpty(*this, IDC_mRenameFiles) ? IDC_mRenameFiles : IDC_eMask);
      return;
    }
    Settings.Files = JoinLines(GetItemLines(IDC_mRenameFiles));
    Settings.Mask = GetItemText(IDC_eMask);
    Settings.Recurse = IsChecked(IDC_cbRenameRecurse);
    End(IDOK);
  }

 private:
  void eMaskExit() {
    std::string mask = GetItemText(IDC_eMask);
    std::string name = ExtractFileName(mask);
    if (name != mask) SetItemText(IDC_eMask, name);
  }
};

class TfPrintDoc : public OVDialog {
 public:
  TfPrintDoc() : OVDialog(IDD_PRINTDOC) {}
  TPrintSettings Settings;

 protected:
  bool OnInit() override {
    SetItemText(IDC_mPrintFiles, Settings.Files);
    return true;
  }
  bool OnCommand(int id, int code, HWND) override {
    if (code != BN_CLICKED) return false;
    if (id == IDC_bPrintSelectFiles) {
      SelectFilesInto(*this, IDC_mPrintFiles);
      return true;
    }
    if (id == IDC_bPrintVariable) {
      SelectVariableAtCaret(*this);
      return true;
    }
    return false;
  }
  void OnOK() override {
    if (ListEmpty(*this, IDC_mPrintFiles)) {
      MessageBeep(MB_OK);
      Focus(IDC_mPrintFiles);
      return;
    }
    Settings.Files = JoinLines(GetItemLines(IDC_mPrintFiles));
    End(IDOK);
  }
};

template <class Dialog, class Settings, class Reader, class Writer>
bool Configure(TOVMethodParams& params, Reader read, Writer write, const Settings& defaults) {
  Dialog dialog;
  if (TBlockReader(params).Empty() || !read(params, dialog.Settings)) dialog.Settings = defaults;
  if (dialog.DoModal() != IDOK) return false;
  TBlockWriter w;
  write(dialog.Settings, w);
  return w.StoreTo(params);
}

bool ConfigCopy(TOVMethodParams& p) { return Configure<TfCopyFiles>(p, ReadCopy, WriteCopySettings, TCopySettings()); }
bool ConfigDelete(TOVMethodParams& p) {
  return Configure<TfDeleteFiles>(p, ReadDelete, WriteDeleteSettings, TDeleteSettings());
}
bool ConfigPrint(TOVMethodParams& p) {
  return Configure<TfPrintDoc>(p, ReadPrint, WritePrintSettings, TPrintSettings());
}
bool ConfigRename(TOVMethodParams& p) {
  TRenameSettings defaults;
  defaults.Files = TempFolder() + "*.*";
  return Configure<TfRenameFiles>(p, ReadRename, WriteRenameSettings, defaults);
}

}  // namespace

void WriteCopySettings(const TCopySettings& s, TBlockWriter& w) {
  w.String(s.Files).String(s.DestDir).Dword(s.IfFileExists).Bool(s.Move).Bool(s.Recurse);
}
void WriteDeleteSettings(const TDeleteSettings& s, TBlockWriter& w) {
  w.String(s.Files).Bool(s.Recurse).Bool(s.DeleteDirs).Bool(s.ToRecycleBin);
}
void WriteRenameSettings(const TRenameSettings& s, TBlockWriter& w) {
  w.String(s.Files).String(s.Mask).Bool(s.Recurse);
}
void WritePrintSettings(const TPrintSettings& s, TBlockWriter& w) { w.String(s.Files); }

TMethodCase CopyFilesCase() { return TMethodCase{.Exec = ExecCopy, .Config = ConfigCopy, .Descr = nullptr}; }
TMethodCase DeleteFilesCase() { return TMethodCase{.Exec = ExecDelete, .Config = ConfigDelete, .Descr = nullptr}; }
TMethodCase PrintDocCase() { return TMethodCase{.Exec = ExecPrint, .Config = ConfigPrint, .Descr = nullptr}; }
TMethodCase RenameFilesCase() { return TMethodCase{.Exec = ExecRename, .Config = ConfigRename, .Descr = nullptr}; }
