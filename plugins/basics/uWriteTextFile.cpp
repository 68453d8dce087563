// "Create text file": writes or appends a text with variables to a file.
#include "uWriteTextFile.h"

#include <windows.h>

#include <commdlg.h>

#include <vector>

#include "BasicsUtil.h"
#include "OVDialog.h"
#include "OVError.h"
#include "OVShell.h"
#include "uDM.h"

namespace {

const char* const kName = "Create text file";

struct TTextFileSettings {
  std::string FileName;
  std::string Contents;
  uint32_t IfExists = 0;  // 0 Overwrite, 1 Append
};

bool ReadSettings(const TOVMethodParams& params, TTextFileSettings& s) {
  TBlockReader r(params);
  if (r.Empty()) return true;
  TTextFileSettings read;
  r.String(read.FileName);
  r.String(read.Contents);
  if (!r.ok()) return false;
  // Older blocks end here: they overwrite.
  if (r.More() && !r.Dword(read.IfExists)) return false;
  s = read;
  return true;
}

bool StoreSettings(const TTextFileSettings& s, TOVMethodParams& params) {
  return TBlockWriter().String(s.FileName).String(s.Contents).Dword(s.IfExists).StoreTo(params);
}

bool WriteAll(HANDLE file, const std::string& data) {
  DWORD written = 0;
  return data.empty() ||
         (WriteFile(file, data.data(), static_cast<DWORD>(data.size()), &written, nullptr) && written == data.size());
}

}  // namespace

// Appending writes at the end of the file only, so a failure cannot cost
// what the file held.
bool AppendTextToFile(const std::string& name, const std::string& text) {
  HANDLE file = CreateFileA(name.c_str(), GENERIC_READ | FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  bool ok = true;
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(file, &size)) ok = false;
  std::string data;
  if (ok && size.QuadPart > 0) {
    LARGE_INTEGER last{};
    last.QuadPart = size.QuadPart - 1;
    char c = 0;
    DWORD read = 0;
    ok = SetFilePointerEx(file, last, nullptr, FILE_BEGIN) && ReadFile(file, &c, 1, &read, nullptr) && read == 1;
    if (ok && c != '\n' && c != '\r') data = "\r\n";
  }
  data += text;
  ok = ok && WriteAll(file, data);
  ok = CloseHandle(file) && ok;
  return ok;
}

// The new file replaces the old one only once it is complete.
bool ReplaceFileText(const std::string& name, const std::string& text) {
  // A read-only file stays as it is (the system would let a rename replace it).
  DWORD attr = GetFileAttributesA(name.c_str());
  if (attr != INVALID_FILE_ATTRIBUTES && (attr & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY))) return false;
  size_t slash = name.find_last_of("\\/:");
  std::string folder = slash == std::string::npos ? std::string(".") : name.substr(0, slash + 1);
  char temp[MAX_PATH] = "";
  if (!GetTempFileNameA(folder.c_str(), "ovt", 0, temp)) return false;
  HANDLE file = CreateFileA(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  bool ok = file != INVALID_HANDLE_VALUE && WriteAll(file, text);
  if (file != INVALID_HANDLE_VALUE) ok = CloseHandle(file) && ok;
  ok = ok && MoveFileExA(temp, name.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED);
  if (!ok) DeleteFileA(temp);
  return ok;
}

namespace {

bool ExecWriteTextFile(TOVMethodParams& params) {
  TTextFileSettings s;
  if (!ReadSettings(params, s)) {
    LogIncompleteSettings(kName);
    return false;
  }
  std::string name = HostExpandVars(s.FileName);
  std::string text = HostExpandVars(s.Contents);
  // Saved as lines: the last one ends with a line break too.
  if (!text.empty() && text.back() != '\n') text += "\r\n";
  bool ok = !name.empty() && (s.IfExists == 1 ? AppendTextToFile(name, text) : ReplaceFileText(name, text));
  if (!ok) HostLog(OV_LOG_ERROR, "Error writing " + name);
  return ok;
}

void DescrWriteTextFile(TOVMethodParams& params, std::string& descr) {
  TTextFileSettings s;
  if (ReadSettings(params, s)) descr = "Create text file " + s.FileName;
}

// Controls that follow the dialog's right and bottom edges when it is
// resized.
class TAnchors {
 public:
  enum { Right = 1, Bottom = 2, Width = 4, Height = 8 };
  void Keep(HWND dlg, std::vector<std::pair<int, int>> items) {
    dlg_ = dlg;
    RECT c;
    GetClientRect(dlg, &c);
    size_ = {c.right, c.bottom};
    for (auto [id, how] : items) {
      RECT r;
      GetWindowRect(GetDlgItem(dlg, id), &r);
      MapWindowPoints(nullptr, dlg, reinterpret_cast<POINT*>(&r), 2);
      items_.push_back({id, how, r});
    }
  }
  void Resized(int cx, int cy) {
    int dx = cx - size_.x, dy = cy - size_.y;
    for (const TItem& i : items_) {
      RECT r = i.Rect;
      int x = r.left + (i.How & Right ? dx : 0), y = r.top + (i.How & Bottom ? dy : 0);
      int w = r.right - r.left + (i.How & Width ? dx : 0), h = r.bottom - r.top + (i.How & Height ? dy : 0);
      SetWindowPos(GetDlgItem(dlg_, i.Id), nullptr, x, y, w > 8 ? w : 8, h > 8 ? h : 8, SWP_NOZORDER);
    }
    InvalidateRect(dlg_, nullptr, TRUE);
  }

 private:
  struct TItem {
    int Id, How;
    RECT Rect;
  };
  HWND dlg_ = nullptr;
  POINT size_{};
  std::vector<TItem> items_;
};

class TfWriteTextFile : public OVDialog {
 public:
  TfWriteTextFile() : OVDialog(IDD_WRITETEXTFILE) {}
  TTextFileSettings Settings;

 protected:
  bool OnInit() override {
    SetItemText(IDC_eFileName, Settings.FileName);
    SetItemText(IDC_mContentsTextFile, Settings.Contents);
    CheckRadio(IDC_rbOverwrite, IDC_rbAppend, Settings.IfExists == 1 ? IDC_rbAppend : IDC_rbOverwrite);
    anchors_.Keep(Handle(), {{IDC_eFileName, TAnchors::Width},
                             {IDC_BrowseTextFile, TAnchors::Right},
                             {IDC_mContentsTextFile, TAnchors::Width | TAnchors::Height},
                             {IDC_rgFileExists, TAnchors::Bottom},
                             {IDC_rbOverwrite, TAnchors::Bottom},
                             {IDC_rbAppend, TAnchors::Bottom},
                             {IDC_bTextFileVariable, TAnchors::Bottom},
                             {IDOK, TAnchors::Bottom | TAnchors::Right},
                             {IDCANCEL, TAnchors::Bottom | TAnchors::Right}});
    return true;
  }

  bool OnCommand(int id, int code, HWND) override {
    if (code != BN_CLICKED) return false;
    if (id == IDC_BrowseTextFile) {
      BrowseFoldersClick();
      return true;
    }
    if (id == IDC_bTextFileVariable) {
      SelectVariableAtCaret(*this);
      return true;
    }
    return false;
  }

  bool OnMessage(UINT msg, WPARAM, LPARAM lp, INT_PTR&) override {
    if (msg != WM_SIZE) return false;
    anchors_.Resized(LOWORD(lp), HIWORD(lp));
    return true;
  }

  void OnOK() override {
    std::string name = GetItemText(IDC_eFileName);
    if (name.empty()) {
      MessageBeep(MB_OK);
      Focus(IDC_eFileName);
      return;
    }
    Settings.FileName = name;
    Settings.Contents = GetItemText(IDC_mContentsTextFile);
    Settings.IfExists = IsChecked(IDC_rbAppend) ? 1 : 0;
    End(IDOK);
  }

 private:
  void BrowseFoldersClick() {
    TFileBox box;
    box.save = true;
    box.filter = "Text files\0*.*\0";
    box.defExt = "txt";
    box.title = "Select destination directory";
    box.flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
    std::string path = GetItemText(IDC_eFileName);
    if (ChooseFile(Handle(), box, path)) SetItemText(IDC_eFileName, path);
  }

  TAnchors anchors_;
};

bool ConfigWriteTextFile(TOVMethodParams& params) {
  TfWriteTextFile dialog;
  if (!ReadSettings(params, dialog.Settings)) dialog.Settings = TTextFileSettings();
  if (dialog.DoModal() != IDOK) return false;
  return StoreSettings(dialog.Settings, params);
}

}  // namespace

TMethodCase WriteTextFileCase() {
  return TMethodCase{.Exec = ExecWriteTextFile, .Config = ConfigWriteTextFile, .Descr = DescrWriteTextFile};
}
