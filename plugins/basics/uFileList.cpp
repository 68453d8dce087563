// "Create File List": files found by masks, exclusions and modification
// date, saved decorated to a text file.
#include "uFileList.h"

#include <windows.h>

#include <commctrl.h>
#include <commdlg.h>

#include "BasicsUtil.h"
#include "FileList.h"
#include "FileUtil.h"
#include "OVDialog.h"
#include "OVError.h"
#include "OVShell.h"
#include "uDM.h"

namespace {

const char* const kName = "Create File List";

std::vector<std::string> SplitMasks(const std::string& text) {
  std::vector<std::string> masks;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    std::string m = text.substr(start, comma - start);
    size_t b = m.find_first_not_of(' '), e = m.find_last_not_of(' ');
    if (b != std::string::npos) masks.push_back(m.substr(b, e - b + 1));
    start = comma + 1;
  }
  return masks;
}

bool SaveLines(const std::string& file, const std::vector<std::string>& lines, DWORD& error) {
  std::string text;
  for (const std::string& l : lines) text += l + "\r\n";
  HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    error = GetLastError();
    return false;
  }
  DWORD written = 0;
  bool ok = text.empty() || (WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                             written == text.size());
  if (!ok) error = GetLastError();
  if (!CloseHandle(h) && ok) {
    error = GetLastError();
    ok = false;
  }
  return ok;
}

bool ExecFileList(TOVMethodParams& params) {
  TFileListSettings s;
  if (!ReadFileListSettings(params, s)) {
    LogIncompleteSettings(kName);
    return false;
  }
  std::vector<std::string> excludes = SplitMasks(HostExpandVars(s.ExcMask));
  std::string target = HostExpandVars(s.DestFile);
  for (std::string* text : {&s.TextBefore, &s.TextAfter, &s.LinePrefix, &s.LineSuffix}) *text = HostExpandVars(*text);
  if (!IsAbsolutePath(target)) {
    HostLog(OV_LOG_ERROR, Format("Cannot save the file list to \"%s\": not a full path", target.c_str()));
    return false;
  }
  char full[MAX_PATH * 2] = "";
  if (GetFullPathNameA(target.c_str(), sizeof full, full, nullptr)) target = full;

  bool refused = false;
  auto refuse = [&refused](const std::string& spec) {
    HostLog(OV_LOG_ERROR, Format("\"%s\" is not a full path: not searched", spec.c_str()));
    refused = true;
  };
  std::vector<std::string> files =
      SearchFileList(ListLines(HostExpandVars(s.Files)), excludes, s.SubDirs, s.Filter, OVNow(), target, refuse);
  DWORD error = 0;
  if (!SaveLines(target, DecorateFileList(files, s), error)) {
    HostLog(OV_LOG_ERROR,
            Format("Cannot save the file list to \"%s\": %s", target.c_str(), SystemErrorText(error).c_str()));
    return false;
  }
  return !refused;
}

void DescrFileList(TOVMethodParams& params, std::string& descr) {
  TFileListSettings s;
  if (ReadFileListSettings(params, s)) descr = Format("Create File List (%s)", s.DestFile.c_str());
}

// ------------------------------------------------------------ TfFileList

constexpr int kMinN = 1, kMaxN = 32767;

const int kPage1[] = {IDC_lFiles, IDC_lbFiles, IDC_bSelectFiles, IDC_cbSubDirs, IDC_lExcMask,
                      IDC_eExcMask, IDC_lDestFile, IDC_eDestFile, IDC_BrowseListFile};
const int kPage2[] = {IDC_rbAllFiles, IDC_rbCreatedOrModified, IDC_rbKind1, IDC_Date1, IDC_lAnd, IDC_Date2,
                      IDC_rbKind2, IDC_eKind2, IDC_udKind2, IDC_lKind2, IDC_rbKind3, IDC_eKind3, IDC_udKind3,
                      IDC_lKind3, IDC_rbKind4, IDC_eKind4, IDC_udKind4, IDC_lKind4, IDC_rbKind5, IDC_eKind5,
                      IDC_udKind5, IDC_lKind5};
const int kPage3[] = {IDC_cbWithoutPath, IDC_cbBefore,  IDC_mBefore,    IDC_cbAfter,    IDC_mAfter,
                      IDC_cbBeforeLine,  IDC_eBeforeLine, IDC_cbAfterLine, IDC_eAfterLine};

void SetDate(HWND picker, TDateTime t) {
  SYSTEMTIME st;
  DecodeDateTime(t, &st);
  SendMessageA(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
}

TDateTime GetDate(HWND picker) {
  SYSTEMTIME st{};
  if (SendMessageA(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)) != GDT_VALID) return DateOf(OVNow());
  return EncodeDate(st.wYear, st.wMonth, st.wDay);
}

class TfFileList : public OVDialog {
 public:
  TfFileList() : OVDialog(IDD_FILELIST) {}
  TFileListSettings Settings;

 protected:
  bool OnInit() override {
    HWND tabs = Item(IDC_tcPages);
    const char* names[] = {"Names && Locations", "Date Modified", "How create"};
    for (int i = 0; i < 3; ++i) {
      TCITEMA tab{};
      tab.mask = TCIF_TEXT;
      tab.pszText = const_cast<char*>(names[i]);
      SendMessageA(tabs, TCM_INSERTITEMA, i, reinterpret_cast<LPARAM>(&tab));
    }
    // The page controls lie on top of the tab control.
    SetWindowPos(tabs, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
    Put(Settings);
    ShowPage(0);
    return true;
  }

  bool OnNotify(int id, NMHDR* header, LRESULT&) override {
    if (id != IDC_tcPages || header->code != TCN_SELCHANGE) return false;
    ShowPage(static_cast<int>(SendMessageA(header->hwndFrom, TCM_GETCURSEL, 0, 0)));
    return true;
  }

  bool OnCommand(int id, int code, HWND) override {
    if (code != BN_CLICKED) return false;
    switch (id) {
      case IDC_bSelectFiles: {
        std::vector<std::string> files = Files();
        if (HostSelectFiles(files)) SetFiles(files);
        return true;
      }
      case IDC_BrowseListFile:
        BrowseFoldersClick();
        return true;
      case IDC_bFileListVariable:
        SelectVariableAtCaret(*this);
        return true;
      case IDC_rbAllFiles:
      case IDC_rbCreatedOrModified:
        CheckRadio(IDC_rbAllFiles, IDC_rbCreatedOrModified, id);
        return true;
      case IDC_rbKind1:
      case IDC_rbKind2:
      case IDC_rbKind3:
      case IDC_rbKind4:
      case IDC_rbKind5:
        // Choosing how to filter chooses filtering.
        CheckRadio(IDC_rbKind1, IDC_rbKind5, id);
        CheckRadio(IDC_rbAllFiles, IDC_rbCreatedOrModified, IDC_rbCreatedOrModified);
        return true;
      case IDC_cbBefore:
      case IDC_cbAfter:
      case IDC_cbBeforeLine:
      case IDC_cbAfterLine:
        UpdateTexts();
        return true;
      default:
        return false;
    }
  }

  void OnOK() override {
    if (ListCount(IDC_lbFiles) == 0 || GetItemText(IDC_eDestFile).empty()) {
      MessageBeep(MB_OK);
      SendDlgItemMessageA(Handle(), IDC_tcPages, TCM_SETCURSEL, 0, 0);
      ShowPage(0);
      Focus(ListCount(IDC_lbFiles) == 0 ? IDC_lbFiles : IDC_eDestFile);
      return;
    }
    Settings = Taken();
    End(IDOK);
  }

 private:
  void ShowPage(int page) {
    for (int id : kPage1) Show(id, page == 0);
    for (int id : kPage2) Show(id, page == 1);
    for (int id : kPage3) Show(id, page == 2);
  }

  std::vector<std::string> Files() const {
    std::vector<std::string> files;
    for (int i = 0, n = ListCount(IDC_lbFiles); i < n; ++i) files.push_back(ListItemText(IDC_lbFiles, i));
    return files;
  }

  void SetFiles(const std::vector<std::string>& files) {
    ListClear(IDC_lbFiles);
    for (const std::string& f : files) ListAdd(IDC_lbFiles, f);
  }

  void UpdateTexts() {
    Enable(IDC_mBefore, IsChecked(IDC_cbBefore));
    Enable(IDC_mAfter, IsChecked(IDC_cbAfter));
    Enable(IDC_eBeforeLine, IsChecked(IDC_cbBeforeLine));
    Enable(IDC_eAfterLine, IsChecked(IDC_cbAfterLine));
  }

  void Put(const TFileListSettings& s) {
    SetFiles(ListLines(s.Files));
    SetChecked(IDC_cbSubDirs, s.SubDirs);
    SetItemText(IDC_eExcMask, s.ExcMask);
    SetItemText(IDC_eDestFile, s.DestFile);
    const TDateFilter& f = s.Filter;
    CheckRadio(IDC_rbAllFiles, IDC_rbCreatedOrModified, f.AllFiles ? IDC_rbAllFiles : IDC_rbCreatedOrModified);
    uint32_t kind = f.Kind >= 1 && f.Kind <= 5 ? f.Kind : 1;
    CheckRadio(IDC_rbKind1, IDC_rbKind5, IDC_rbKind1 + static_cast<int>(kind) - 1);
    TDateTime today = DateOf(OVNow());
    bool dated = !f.AllFiles && kind == 1;
    SetDate(Item(IDC_Date1), dated ? f.Date1 : today);
    SetDate(Item(IDC_Date2), dated ? f.Date2 : today);
    for (int k = 2; k <= 5; ++k) {
      int n = !f.AllFiles && kind == static_cast<uint32_t>(k) && f.N >= kMinN && f.N <= kMaxN ? static_cast<int>(f.N) : 1;
      SendDlgItemMessageA(Handle(), IDC_udKind2 + k - 2, UDM_SETRANGE32, kMinN, kMaxN);
      SendDlgItemMessageA(Handle(), IDC_udKind2 + k - 2, UDM_SETPOS32, 0, n);
      SetItemInt(IDC_eKind2 + k - 2, n);
    }
    SetChecked(IDC_cbWithoutPath, s.WithoutPath);
    SetChecked(IDC_cbBefore, s.Before);
    SetChecked(IDC_cbAfter, s.After);
    SetChecked(IDC_cbBeforeLine, s.BeforeLine);
    SetChecked(IDC_cbAfterLine, s.AfterLine);
    SetItemText(IDC_mBefore, s.TextBefore);
    SetItemText(IDC_mAfter, s.TextAfter);
    SetItemText(IDC_eBeforeLine, s.LinePrefix);
    SetItemText(IDC_eAfterLine, s.LineSuffix);
    UpdateTexts();
  }

  TFileListSettings Taken() const {
    TFileListSettings s;
    std::string files;
    for (const std::string& f : Files()) files += (files.empty() ? "" : "\r\n") + f;
    s.Files = files;
    s.SubDirs = IsChecked(IDC_cbSubDirs);
    s.ExcMask = GetItemText(IDC_eExcMask);
    s.DestFile = GetItemText(IDC_eDestFile);
    TDateFilter& f = s.Filter;
    f.AllFiles = CheckedRadio(IDC_rbAllFiles, IDC_rbCreatedOrModified) != IDC_rbCreatedOrModified;
    int kindId = CheckedRadio(IDC_rbKind1, IDC_rbKind5);
    f.Kind = kindId < 0 ? 1 : static_cast<uint32_t>(kindId - IDC_rbKind1 + 1);
    if (f.Kind == 1) {
      f.Date1 = GetDate(Item(IDC_Date1));
      f.Date2 = GetDate(Item(IDC_Date2));
    } else {
      int n = GetItemInt(IDC_eKind2 + static_cast<int>(f.Kind) - 2, 1);
      f.N = static_cast<uint32_t>(n < kMinN ? kMinN : n > kMaxN ? kMaxN : n);
    }
    s.WithoutPath = IsChecked(IDC_cbWithoutPath);
    s.Before = IsChecked(IDC_cbBefore);
    s.After = IsChecked(IDC_cbAfter);
    s.BeforeLine = IsChecked(IDC_cbBeforeLine);
    s.AfterLine = IsChecked(IDC_cbAfterLine);
    s.TextBefore = GetItemText(IDC_mBefore);
    s.TextAfter = GetItemText(IDC_mAfter);
    s.LinePrefix = GetItemText(IDC_eBeforeLine);
    s.LineSuffix = GetItemText(IDC_eAfterLine);
    return s;
  }

  void BrowseFoldersClick() {
    TFileBox box;
    box.filter = "Text files\0*.txt\0";
    box.defExt = "txt";
    box.title = "Select destination directory";
    box.flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    std::string path = GetItemText(IDC_eDestFile);
    if (ChooseFile(Handle(), box, path)) SetItemText(IDC_eDestFile, path);
  }
};

bool ConfigFileList(TOVMethodParams& params) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TAB_CLASSES | ICC_DATE_CLASSES | ICC_UPDOWN_CLASS};
  InitCommonControlsEx(&icc);
  TfFileList dialog;
  bool read = ReadFileListSettings(params, dialog.Settings);
  if (!read) dialog.Settings = TFileListSettings();
  if (!read || TBlockReader(params).Empty()) {
    char windows[MAX_PATH] = "";
    GetWindowsDirectoryA(windows, sizeof windows);
    dialog.Settings.Files = WithTrailingBackslash(windows) + "*.bak";
  }
  if (dialog.DoModal() != IDOK) return false;
  TBlockWriter w;
  WriteFileListSettings(dialog.Settings, w);
  return w.StoreTo(params);
}

}  // namespace

TMethodCase FileListCase() { return TMethodCase{.Exec = ExecFileList, .Config = ConfigFileList, .Descr = DescrFileList}; }
