#include "uGetFilesList.h"

#include <commctrl.h>
#include <shlobj.h>
#include <windowsx.h>

#include <algorithm>
#include <cstring>

#include "Host.h"
#include "OVCommaText.h"
#include "OVShell.h"
#include "OVVars.h"
#include "uFiltEd.h"
#include "uPrefsRes.h"
#include "uSettings.h"

namespace {

bool HasWildcard(const std::string& s) { return s.find_first_of("*?") != std::string::npos; }

std::string Lower(std::string s) {
  if (!s.empty()) CharLowerBuffA(s.data(), static_cast<DWORD>(s.size()));
  return s;
}

bool LessNoCase(const std::string& a, const std::string& b) { return lstrcmpiA(a.c_str(), b.c_str()) < 0; }

// Position after the directory part of a path ("C:\a\b.txt" -> 5), 0 when
// it has none.
size_t DirPartEnd(const std::string& path) {
  size_t p = path.find_last_of("\\/:");
  return p == std::string::npos ? 0 : p + 1;
}

// "C:\" of "C:\a\b", "\\server\share\" of a share's path, else "".
std::string RootOf(const std::string& path) {
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2) + "\\";
  if (path.rfind("\\\\", 0) == 0) {
    size_t server = path.find('\\', 2);
    if (server == std::string::npos) return path + "\\";
    size_t share = path.find('\\', server + 1);
    return share == std::string::npos ? path + "\\" : path.substr(0, share + 1);
  }
  return "";
}

bool IsRooted(const std::string& path) {
  return (path.size() >= 2 && path[1] == ':') || (!path.empty() && (path[0] == '\\' || path[0] == '/'));
}

std::string FullPath(const std::string& path) {
  char buf[MAX_PATH * 4];
  DWORD n = GetFullPathNameA(path.c_str(), sizeof buf, buf, nullptr);
  if (n == 0 || n >= sizeof buf) return path;
  return std::string(buf, n);
}

// The critical-error boxes of the system are off while the disk is asked.
class TNoErrorBoxes {
 public:
  TNoErrorBoxes() : old_(SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX)) {}
  ~TNoErrorBoxes() { SetErrorMode(old_); }

 private:
  UINT old_;
};

std::vector<std::string> Split(const std::string& s, char sep) {
  std::vector<std::string> out;
  size_t pos = 0;
  for (;;) {
    size_t e = s.find(sep, pos);
    out.push_back(s.substr(pos, e == std::string::npos ? std::string::npos : e - pos));
    if (e == std::string::npos) break;
    pos = e + 1;
  }
  return out;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

// ---- the input box

class TfInput : public OVDialog {
 public:
  TfInput(const std::string& caption, const std::string& prompt, const std::string& value)
      : OVDialog(IDD_INPUT), caption_(caption), prompt_(prompt), value_(value) {}
  const std::string& Value() const { return value_; }

 protected:
  bool OnInit() override {
    SetWindowTextA(Handle(), caption_.c_str());
    SetItemText(IDC_IPROMPT, prompt_);
    SetItemText(IDC_IVALUE, value_);
    return true;
  }
  void OnOK() override {
    value_ = GetItemText(IDC_IVALUE);
    End(IDOK);
  }

 private:
  std::string caption_, prompt_, value_;
};

}  // namespace

TEntryKind EntryKindOf(const std::string& entry) {
  std::string text = ExpandVariables(entry);
  if (HasWildcard(text)) return ekMask;
  if (text.empty()) return ekMissing;
  TNoErrorBoxes quiet;
  DWORD a = GetFileAttributesA(text.c_str());
  if (a == INVALID_FILE_ATTRIBUTES) return ekMissing;
  return (a & FILE_ATTRIBUTE_DIRECTORY) ? ekDirectory : ekFile;
}

bool InputQuery(HWND owner, const std::string& caption, const std::string& prompt, std::string& value) {
  TfInput dlg(caption, prompt, value);
  if (dlg.DoModal(owner) != IDOK) return false;
  value = dlg.Value();
  return true;
}

HWND AddHints(HWND dlg, const std::vector<std::pair<int, const char*>>& hints) {
  HWND tips = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, dlg, nullptr, GetModuleHandleA(nullptr),
                              nullptr);
  if (!tips) return nullptr;
  for (const auto& [id, text] : hints) {
    TTTOOLINFOA ti{};
    ti.cbSize = TTTOOLINFOA_V1_SIZE;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = dlg;
    ti.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(dlg, id));
    ti.lpszText = const_cast<char*>(text);
    SendMessageA(tips, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
  }
  return tips;
}

// ------------------------------------------------------------- the picker

TfGetFilesList::TfGetFilesList(const std::vector<std::string>& entries, const std::string& filters)
    : OVDialog(IDD_GETFILES), entries_(entries), filters_(filters) {}

TfGetFilesList::~TfGetFilesList() = default;

std::string TfGetFilesList::CurrentDir() const { return IncludeTrailingBackslash(dir_); }

bool TfGetFilesList::OnInit() {
  tips_ = AddHints(Handle(), {{IDC_BADDSEL, "Add selected files to list"},
                              {IDC_BADDALL, "Add all files to list"},
                              {IDC_BREMSEL, "Remove selected files from list"},
                              {IDC_BREMALL, "Remove all files from list"},
                              {IDC_BEDITFILT, "Edit filters"},
                              {IDC_BSELFOLDER, "Select folder..."}});
  SetWindowSubclass(Item(IDC_RESULT), ResultKeys, 1, reinterpret_cast<DWORD_PTR>(this));
  SendDlgItemMessageA(Handle(), IDC_RESULT, LB_SETITEMHEIGHT, 0, 18);
  SendDlgItemMessageA(Handle(), IDC_RESULT, LB_SETHORIZONTALEXTENT, 2000, 0);
  for (const std::string& e : entries_) {
    int i = ListAdd(IDC_RESULT, e);
    if (i >= 0) SendDlgItemMessageA(Handle(), IDC_RESULT, LB_SETITEMDATA, static_cast<WPARAM>(i), EntryKindOf(e));
  }
  SetItemText(IDC_FNAME, mask_);
  FillDrives();
  FillFilters();
  // The views start in the folder of the first entry that names one.
  std::string start;
  for (const std::string& e : entries_) {
    std::string x = ExpandVariables(e);
    std::string d = x.substr(0, DirPartEnd(x));
    TNoErrorBoxes quiet;
    if (!d.empty() && IsRooted(d) && (GetFileAttributesA(d.c_str()) & FILE_ATTRIBUTE_DIRECTORY) &&
        GetFileAttributesA(d.c_str()) != INVALID_FILE_ATTRIBUTES) {
      start = d;
      break;
    }
  }
  if (start.empty() || !OpenDirectory(start)) {
    char cur[MAX_PATH * 4] = "";
    GetCurrentDirectoryA(sizeof cur, cur);
    if (!OpenDirectory(cur)) OpenDirectory("C:\\");
  }
  return true;
}

bool TfGetFilesList::OpenDirectory(const std::string& dirIn) {
  std::string dir = FullPath(dirIn);
  {
    TNoErrorBoxes quiet;
    DWORD a = GetFileAttributesA(IncludeTrailingBackslash(dir).c_str());
    if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) return false;
  }
  while (dir.size() > 3 && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
  if (dir.size() == 2 && dir[1] == ':') dir += '\\';
  dir_ = dir;
  SetItemText(IDC_CURDIR, dir_);
  FillDirs();
  FillFiles();
  // The drive box follows the directory.
  if (dir_.size() >= 2 && dir_[1] == ':') {
    std::string drive = Lower(dir_.substr(0, 2));
    for (int i = 0; i < ComboCount(IDC_DRIVES); ++i)
      if (Lower(ComboItemText(IDC_DRIVES, i)) == drive) SetComboIndex(IDC_DRIVES, i);
  }
  return true;
}

void TfGetFilesList::FillDirs() {
  HWND list = Item(IDC_DIRS);
  SendMessageA(list, WM_SETREDRAW, FALSE, 0);
  ListClear(IDC_DIRS);
  dirPaths_.clear();
  // The path from the root down to the current directory, then its folders.
  std::string root = RootOf(dir_);
  std::string path = root;
  std::string rest = dir_.substr(root.size());
  int depth = 0;
  auto add = [&](const std::string& label, const std::string& full, int level) {
    ListAdd(IDC_DIRS, std::string(static_cast<size_t>(level) * 2, ' ') + label);
    dirPaths_.push_back(full);
  };
  if (!root.empty()) add(root, root, depth++);
  for (const std::string& part : Split(rest, '\\')) {
    if (part.empty()) continue;
    path = IncludeTrailingBackslash(path) + part;
    add(part, path, depth++);
  }
  int current = static_cast<int>(dirPaths_.size()) - 1;
  std::vector<std::string> subs;
  {
    TNoErrorBoxes quiet;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((IncludeTrailingBackslash(dir_) + "*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
      do {
        if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) continue;
        if (!std::strcmp(fd.cFileName, ".") || !std::strcmp(fd.cFileName, "..")) continue;
        subs.push_back(fd.cFileName);
      } while (FindNextFileA(h, &fd));
      FindClose(h);
    }
  }
  std::sort(subs.begin(), subs.end(), LessNoCase);
  for (const std::string& s : subs) add(s, IncludeTrailingBackslash(dir_) + s, depth);
  SetListIndex(IDC_DIRS, current);
  SendMessageA(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

void TfGetFilesList::FillFiles() {
  HWND list = Item(IDC_FILES);
  SendMessageA(list, WM_SETREDRAW, FALSE, 0);
  ListClear(IDC_FILES);
  std::vector<std::string> dirs, files;
  TNoErrorBoxes quiet;
  const std::string base = IncludeTrailingBackslash(dir_);
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((base + "*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !std::strcmp(fd.cFileName, ".")) continue;
      if (!std::strcmp(fd.cFileName, "..") && dir_.size() <= 3) continue;
      dirs.push_back(fd.cFileName);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  for (std::string part : Split(mask_, ';')) {
    part = Trim(part);
    if (part.empty()) continue;
    h = FindFirstFileA((base + part).c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) continue;
    do {
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      if (std::find(files.begin(), files.end(), fd.cFileName) == files.end()) files.push_back(fd.cFileName);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  std::sort(dirs.begin(), dirs.end(), LessNoCase);
  std::sort(files.begin(), files.end(), LessNoCase);
  for (const std::string& d : dirs) ListAdd(IDC_FILES, "[" + d + "]");
  for (const std::string& f : files) ListAdd(IDC_FILES, f);
  SendMessageA(list, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(list, nullptr, TRUE);
}

void TfGetFilesList::FillFilters() {
  ComboClear(IDC_FILTER);
  filterMasks_.clear();
  for (const auto& [name, mask] : SplitFilters(filters_)) {
    if (name.empty() && mask.empty()) continue;
    ComboAdd(IDC_FILTER, name);
    filterMasks_.push_back(mask);
  }
  if (ComboCount(IDC_FILTER) > 0) SetComboIndex(IDC_FILTER, 0);
}

void TfGetFilesList::FillDrives() {
  ComboClear(IDC_DRIVES);
  char buf[512] = "";
  DWORD n = GetLogicalDriveStringsA(sizeof buf, buf);
  for (const char* p = buf; n && n < sizeof buf && *p; p += std::strlen(p) + 1) {
    std::string d(p);
    ComboAdd(IDC_DRIVES, Lower(d.substr(0, 2)));
  }
}

int TfGetFilesList::FindResult(const std::string& text) const {
  int n = ListCount(IDC_RESULT);
  for (int i = 0; i < n; ++i)
    if (ListItemText(IDC_RESULT, i) == text) return i;
  return -1;
}

int TfGetFilesList::AddResult(const std::string& text, bool select) {
  if (FindResult(text) >= 0) return -1;
  int i = ListAdd(IDC_RESULT, text);
  if (i < 0) return -1;
  SendDlgItemMessageA(Handle(), IDC_RESULT, LB_SETITEMDATA, static_cast<WPARAM>(i), EntryKindOf(text));
  if (select) SendDlgItemMessageA(Handle(), IDC_RESULT, LB_SETSEL, TRUE, i);
  return i;
}

bool TfGetFilesList::OnCommand(int id, int code, HWND) {
  switch (id) {
    case IDC_BADDSEL: if (code == BN_CLICKED) bAddSelectedClick(); return true;
    case IDC_BADDALL: if (code == BN_CLICKED) bAddAllClick(); return true;
    case IDC_BREMSEL: case IDM_RDELETE: if (code == BN_CLICKED) bRemoveSelectedClick(); return true;
    case IDC_BREMALL: case IDM_RCLEAR: if (code == BN_CLICKED) bRemoveAllClick(); return true;
    case IDC_BEDITFILT: if (code == BN_CLICKED) bEditFiltersClick(); return true;
    case IDC_BSELFOLDER: if (code == BN_CLICKED) bSelectFolderClick(); return true;
    case IDC_BMANADD: case IDM_RADD: if (code == BN_CLICKED) bManualAddClick(); return true;
    case IDC_BMANEDIT: case IDM_REDIT: if (code == BN_CLICKED) bManualEditClick(); return true;
    case IDC_RESULT:
      if (code == LBN_DBLCLK) bManualEditClick();
      return true;
    case IDC_FILES:
      if (code == LBN_DBLCLK) FilesDblClick();
      return true;
    case IDC_DIRS:
      if (code == LBN_DBLCLK) {
        int i = ListIndex(IDC_DIRS);
        if (i >= 0 && i < static_cast<int>(dirPaths_.size())) OpenDirectory(dirPaths_[static_cast<size_t>(i)]);
      }
      return true;
    case IDC_DRIVES:
      if (code == CBN_SELCHANGE) {
        int i = ComboIndex(IDC_DRIVES);
        if (i >= 0 && !OpenDirectory(ComboItemText(IDC_DRIVES, i) + "\\")) {
          MessageBeep(MB_ICONWARNING);
          OpenDirectory(dir_);
        }
      }
      return true;
    case IDC_FILTER:
      if (code == CBN_SELCHANGE) {
        int i = ComboIndex(IDC_FILTER);
        if (i >= 0 && i < static_cast<int>(filterMasks_.size())) {
          mask_ = filterMasks_[static_cast<size_t>(i)];
          SetItemText(IDC_FNAME, mask_);
          FillFiles();
        }
      }
      return true;
    default:
      return false;
  }
}

void TfGetFilesList::bAddSelectedClick() {
  SendDlgItemMessageA(Handle(), IDC_RESULT, LB_SETSEL, FALSE, -1);
  int n = static_cast<int>(SendDlgItemMessageA(Handle(), IDC_FILES, LB_GETSELCOUNT, 0, 0));
  if (n <= 0) return;
  std::vector<int> sel(static_cast<size_t>(n));
  n = static_cast<int>(
      SendDlgItemMessageA(Handle(), IDC_FILES, LB_GETSELITEMS, static_cast<WPARAM>(n), reinterpret_cast<LPARAM>(sel.data())));
  for (int k = n - 1; k >= 0; --k) {
    int i = sel[static_cast<size_t>(k)];
    std::string name = ListItemText(IDC_FILES, i);
    if (name.size() >= 2 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
    if (AddResult(CurrentDir() + name, true) >= 0)
      SendDlgItemMessageA(Handle(), IDC_FILES, LB_SETSEL, FALSE, i);
  }
}

void TfGetFilesList::bAddAllClick() {
  for (std::string part : Split(GetItemText(IDC_FNAME), ';')) {
    part = Trim(part);
    if (!part.empty()) AddResult(CurrentDir() + part, false);
  }
}

void TfGetFilesList::bManualAddClick() {
  std::string text = CurrentDir() + "*.*";
  if (!InputQuery(Handle(), "Manual add", "Enter filename:", text)) return;
  int i = AddResult(text, false);
  if (i >= 0) {
    SendDlgItemMessageA(Handle(), IDC_RESULT, LB_SETSEL, FALSE, -1);
    SendDlgItemMessageA(Handle(), IDC_RESULT, LB_SETSEL, TRUE, i);
  }
}

void TfGetFilesList::bManualEditClick() {
  HWND list = Item(IDC_RESULT);
  int i = static_cast<int>(SendMessageA(list, LB_GETCARETINDEX, 0, 0));
  if (i < 0 || i >= ListCount(IDC_RESULT) || SendMessageA(list, LB_GETSEL, static_cast<WPARAM>(i), 0) <= 0) {
    // The caret may rest on an unselected row: take the first selected one.
    i = -1;
    int n = ListCount(IDC_RESULT);
    for (int k = 0; k < n && i < 0; ++k)
      if (SendMessageA(list, LB_GETSEL, static_cast<WPARAM>(k), 0) > 0) i = k;
  }
  if (i < 0) return;
  std::string text = ListItemText(IDC_RESULT, i);
  if (!InputQuery(Handle(), "Manual add", "Enter filename:", text)) return;
  int other = FindResult(text);
  // A text that another row already holds would be there twice: the row
  // stays as it was.
  if (other >= 0 && other != i) return;
  SendMessageA(list, LB_DELETESTRING, static_cast<WPARAM>(i), 0);
  int at = static_cast<int>(SendMessageA(list, LB_INSERTSTRING, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text.c_str())));
  if (at < 0) return;
  SendMessageA(list, LB_SETITEMDATA, static_cast<WPARAM>(at), EntryKindOf(text));
  SendMessageA(list, LB_SETSEL, TRUE, at);
}

void TfGetFilesList::bRemoveSelectedClick() {
  HWND list = Item(IDC_RESULT);
  for (int i = ListCount(IDC_RESULT) - 1; i >= 0; --i)
    if (SendMessageA(list, LB_GETSEL, static_cast<WPARAM>(i), 0) > 0) SendMessageA(list, LB_DELETESTRING, static_cast<WPARAM>(i), 0);
}

void TfGetFilesList::bRemoveAllClick() { ListClear(IDC_RESULT); }

void TfGetFilesList::bEditFiltersClick() {
  if (!EditFilters(Handle(), filters_)) return;
  FillFilters();
}

void TfGetFilesList::bSelectFolderClick() {
  std::string folder;
  if (!BrowseForFolder(Handle(), "Select folder", dir_, &folder)) return;
  SetItemText(IDC_FNAME, IncludeTrailingBackslash(folder) + "*.*");
  SendMessageA(Handle(), WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(Item(IDOK)));
}

void TfGetFilesList::FilesDblClick() {
  int i = static_cast<int>(SendDlgItemMessageA(Handle(), IDC_FILES, LB_GETCARETINDEX, 0, 0));
  if (i < 0) return;
  std::string name = ListItemText(IDC_FILES, i);
  if (name.size() < 2 || name.front() != '[' || name.back() != ']') return;
  OpenDirectory(CurrentDir() + name.substr(1, name.size() - 2));
}

void TfGetFilesList::OnOK() {
  if (GetFocus() == Item(IDC_FNAME)) {
    std::string text = GetItemText(IDC_FNAME);
    size_t cut = DirPartEnd(text);
    if (HasWildcard(text) || cut > 0) {
      std::string dirPart = text.substr(0, cut), name = text.substr(cut);
      if (!dirPart.empty()) {
        std::string target = IsRooted(dirPart) ? dirPart : CurrentDir() + dirPart;
        if (!OpenDirectory(target)) {
          MessageBeep(MB_ICONWARNING);
          return;
        }
      }
      if (name.empty()) name = "*.*";
      mask_ = name;
      SetItemText(IDC_FNAME, name);
      FillFiles();
      SendDlgItemMessageA(Handle(), IDC_FNAME, EM_SETSEL, 0, -1);
      return;
    }
  }
  entries_.clear();
  for (int i = 0, n = ListCount(IDC_RESULT); i < n; ++i) entries_.push_back(ListItemText(IDC_RESULT, i));
  End(IDOK);
}

void TfGetFilesList::ResultMenu(int x, int y) {
  HMENU menu = CreatePopupMenu();
  AppendMenuA(menu, MF_STRING, IDM_RADD, "Add...\tIns");
  AppendMenuA(menu, MF_STRING, IDM_REDIT, "Edit...\tAlt+Enter");
  AppendMenuA(menu, MF_STRING, IDM_RDELETE, "Delete\tCtrl+Del");
  AppendMenuA(menu, MF_STRING, IDM_RCLEAR, "Clear");
  if (x == -1 && y == -1) {
    RECT rc;
    GetWindowRect(Item(IDC_RESULT), &rc);
    x = rc.left + 8;
    y = rc.top + 8;
  }
  TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_RIGHTBUTTON, x, y, 0, Handle(), nullptr);
  DestroyMenu(menu);
}

LRESULT CALLBACK TfGetFilesList::ResultKeys(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
  auto* self = reinterpret_cast<TfGetFilesList*>(ref);
  int cmd = 0;
  if (msg == WM_KEYDOWN && wp == VK_INSERT) cmd = IDM_RADD;
  if (msg == WM_KEYDOWN && wp == VK_DELETE && (GetKeyState(VK_CONTROL) & 0x8000)) cmd = IDM_RDELETE;
  if (msg == WM_SYSKEYDOWN && wp == VK_RETURN) cmd = IDM_REDIT;
  if (msg == WM_NCDESTROY) RemoveWindowSubclass(wnd, ResultKeys, 1);
  if (cmd && self && self->Handle()) {
    PostMessageA(self->Handle(), WM_COMMAND, MAKEWPARAM(cmd, BN_CLICKED), 0);
    return 0;
  }
  // Alt+Enter would otherwise beep as an unknown menu key.
  if (msg == WM_SYSCHAR && wp == VK_RETURN) return 0;
  return DefSubclassProc(wnd, msg, wp, lp);
}

void TfGetFilesList::DrawResult(const DRAWITEMSTRUCT* d) {
  if (d->itemID == static_cast<UINT>(-1)) return;
  HDC dc = d->hDC;
  RECT rc = d->rcItem;
  bool selected = (d->itemState & ODS_SELECTED) != 0;
  FillRect(dc, &rc, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  int h = rc.bottom - rc.top;
  int s = h - 4 > 8 ? h - 4 : 8;
  RECT g{rc.left + 2, rc.top + (h - s) / 2, rc.left + 2 + s, rc.top + (h - s) / 2 + s};
  auto kind = static_cast<TEntryKind>(d->itemData);
  HGDIOBJ oldPen = SelectObject(dc, GetStockObject(BLACK_PEN));
  switch (kind) {
    case ekMask: {
      HBRUSH b = CreateSolidBrush(RGB(40, 90, 200));
      FillRect(dc, &g, b);
      DeleteObject(b);
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, RGB(255, 255, 255));
      DrawTextA(dc, "*", 1, &g, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
      break;
    }
    case ekFile: {
      HGDIOBJ oldBrush = SelectObject(dc, GetStockObject(WHITE_BRUSH));
      Rectangle(dc, g.left + s / 6, g.top, g.right - s / 6, g.bottom);
      SelectObject(dc, oldBrush);
      for (int k = 1; k <= 3; ++k) {
        int yy = g.top + k * s / 4;
        MoveToEx(dc, g.left + s / 3, yy, nullptr);
        LineTo(dc, g.right - s / 3, yy);
      }
      break;
    }
    case ekDirectory: {
      HBRUSH b = CreateSolidBrush(RGB(235, 190, 60));
      HGDIOBJ oldBrush = SelectObject(dc, b);
      Rectangle(dc, g.left, g.top + s / 4, g.right, g.bottom);
      Rectangle(dc, g.left, g.top + s / 8, g.left + s / 2, g.top + s / 4 + 1);
      SelectObject(dc, oldBrush);
      DeleteObject(b);
      break;
    }
    default: {
      HPEN red = CreatePen(PS_SOLID, 2, RGB(200, 0, 0));
      SelectObject(dc, red);
      MoveToEx(dc, g.left + 1, g.top + 1, nullptr);
      LineTo(dc, g.right - 1, g.bottom - 1);
      MoveToEx(dc, g.right - 1, g.top + 1, nullptr);
      LineTo(dc, g.left + 1, g.bottom - 1);
      SelectObject(dc, GetStockObject(BLACK_PEN));
      DeleteObject(red);
      break;
    }
  }
  SelectObject(dc, oldPen);
  std::string text = ListItemText(IDC_RESULT, static_cast<int>(d->itemID));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  RECT t = rc;
  t.left = g.right + 4;
  DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &t, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
  if (d->itemState & ODS_FOCUS) DrawFocusRect(dc, &rc);
}

bool TfGetFilesList::OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) {
  if (msg == WM_DRAWITEM && wp == IDC_RESULT) {
    DrawResult(reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
    result = TRUE;
    return true;
  }
  if (msg == WM_CONTEXTMENU && reinterpret_cast<HWND>(wp) == Item(IDC_RESULT)) {
    ResultMenu(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
    result = TRUE;
    return true;
  }
  return false;
}

// ----------------------------------------------------------- the service

LRESULT HandleSelectFiles(TOVSelectFilesRecord* rec) {
  if (!rec) return 0;
  std::string text;
  if (rec->Text && rec->Size > 0) text.assign(rec->Text, strnlen(rec->Text, static_cast<size_t>(rec->Size)));
  TfGetFilesList dlg(SplitCommaText(text), Settings.Filter);
  INT_PTR r = dlg.DoModal();
  // The filter list is the user's whether the picker was accepted or not.
  if (dlg.Filters() != Settings.Filter) {
    Settings.Filter = dlg.Filters();
    std::string why;
    if (!SaveSetting("Filter", &why)) HostLog(OV_LOG_ERROR, why);
  }
  if (r != IDOK) return 0;
  std::string out = JoinCommaText(dlg.Entries());
  int32_t size = static_cast<int32_t>(out.size() + 1);
  void* block = nullptr;
  HostRecord.Alloc(&block, size);
  // Without a new block the caller keeps the old one: that is a Cancel.
  if (!block) return 0;
  std::memcpy(block, out.c_str(), out.size() + 1);
  if (rec->Size > 0 && rec->Text) {
    void* old = rec->Text;
    HostRecord.Free(&old, rec->Size);
  }
  rec->Text = static_cast<char*>(block);
  rec->Size = size;
  return 1;
}
