#include "OVShell.h"

#include <objbase.h>
#include <commdlg.h>
#include <shlobj.h>

TComScope::TComScope()
    : ok_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE))) {}

TComScope::~TComScope() {
  if (ok_) CoUninitialize();
}

namespace {
int CALLBACK SelectStart(HWND wnd, UINT msg, LPARAM, LPARAM data) {
  if (msg == BFFM_INITIALIZED && data) SendMessageA(wnd, BFFM_SETSELECTIONA, TRUE, data);
  return 0;
}
}  // namespace

bool BrowseForFolder(HWND owner, const std::string& title, const std::string& start, std::string* chosen) {
  TComScope com;
  char display[MAX_PATH] = "";
  BROWSEINFOA bi{};
  bi.hwndOwner = owner;
  bi.pszDisplayName = display;
  bi.lpszTitle = title.c_str();
  bi.ulFlags = BIF_RETURNONLYFSDIRS | BIF_NEWDIALOGSTYLE;
  std::string startDir = start;
  while (startDir.size() > 3 && (startDir.back() == '\\' || startDir.back() == '/')) startDir.pop_back();
  if (!startDir.empty()) {
    bi.lpfn = SelectStart;
    bi.lParam = reinterpret_cast<LPARAM>(startDir.c_str());
  }
  PIDLIST_ABSOLUTE pidl = SHBrowseForFolderA(&bi);
  if (!pidl) return false;
  char path[MAX_PATH * 4] = "";
  bool ok = SHGetPathFromIDListA(pidl, path) && *path;
  if (ok) *chosen = path;
  CoTaskMemFree(pidl);
  return ok;
}

bool ChooseFile(HWND owner, const TFileBox& box, std::string& path) {
  char file[MAX_PATH] = "";
  lstrcpynA(file, path.c_str(), sizeof file);
  OPENFILENAMEA ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = owner;
  ofn.lpstrFilter = box.filter;
  ofn.lpstrFile = file;
  ofn.nMaxFile = sizeof file;
  ofn.lpstrDefExt = box.defExt;
  ofn.lpstrTitle = box.title;
  ofn.lpstrInitialDir = box.initialDir.empty() ? nullptr : box.initialDir.c_str();
  ofn.Flags = box.flags;
  if (!(box.save ? GetSaveFileNameA(&ofn) : GetOpenFileNameA(&ofn))) return false;
  path = file;
  return true;
}
