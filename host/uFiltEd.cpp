#include "uFiltEd.h"

#include <windows.h>

#include "uPrefsRes.h"

namespace {

int CellId(int row, int column) { return IDC_FCELL0 + 2 * row + column; }

}  // namespace

std::vector<std::pair<std::string, std::string>> SplitFilters(const std::string& filters) {
  std::vector<std::string> pieces;
  size_t pos = 0;
  while (pos < filters.size()) {
    size_t bar = filters.find('|', pos);
    if (bar == std::string::npos) {
      pieces.push_back(filters.substr(pos));
      break;
    }
    pieces.push_back(filters.substr(pos, bar - pos));
    pos = bar + 1;
  }
  std::vector<std::pair<std::string, std::string>> rows;
  for (size_t i = 0; i < pieces.size(); i += 2)
    rows.emplace_back(pieces[i], i + 1 < pieces.size() ? pieces[i + 1] : std::string());
  return rows;
}

std::string JoinFilters(const std::vector<std::pair<std::string, std::string>>& rows) {
  std::string out;
  for (const auto& [name, mask] : rows)
    if (!name.empty() && !mask.empty()) out += name + "|" + mask + "|";
  return out;
}

TfEditFilters::TfEditFilters(const std::string& filters) : OVDialog(IDD_FILTERS), filters_(filters) {}

bool TfEditFilters::OnInit() {
  // The cells: two edits a row, placed by dialog units like the header.
  RECT cell{9, 16, 119, 28};
  MapDialogRect(Handle(), &cell);
  RECT second{129, 16, 251, 28};
  MapDialogRect(Handle(), &second);
  RECT step{0, 0, 0, 12};
  MapDialogRect(Handle(), &step);
  HFONT font = reinterpret_cast<HFONT>(SendMessageA(Handle(), WM_GETFONT, 0, 0));
  HWND before = Item(IDC_FHMASK);
  for (int r = 0; r < kFilterRows; ++r) {
    for (int c = 0; c < 2; ++c) {
      const RECT& at = c == 0 ? cell : second;
      HWND edit = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL,
                                  at.left, at.top + r * step.bottom, at.right - at.left, at.bottom - at.top,
                                  Handle(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(CellId(r, c))),
                                  GetModuleHandleA(nullptr), nullptr);
      SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
      // Tab order: row by row, before the OK button.
      SetWindowPos(edit, before, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
      before = edit;
    }
  }
  auto rows = SplitFilters(filters_);
  for (int r = 0; r < kFilterRows && r < static_cast<int>(rows.size()); ++r) {
    SetItemText(CellId(r, 0), rows[static_cast<size_t>(r)].first);
    SetItemText(CellId(r, 1), rows[static_cast<size_t>(r)].second);
  }
  return true;
}

bool TfEditFilters::OnCommand(int id, int code, HWND control) {
  if (code != EN_CHANGE || id < IDC_FCELL0 || id >= CellId(kFilterRows, 0)) return false;
  // "|" ends a piece of the stored list: in a cell it would shift every
  // later pair, so it is taken out however it came in (typed or pasted).
  std::string text = GetItemText(id);
  if (text.find('|') == std::string::npos) return true;
  DWORD start = 0;
  SendMessageA(control, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
  std::string clean;
  DWORD caret = start;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '|') {
      if (i < start) --caret;
      continue;
    }
    clean += text[i];
  }
  SetWindowTextA(control, clean.c_str());
  SendMessageA(control, EM_SETSEL, caret, caret);
  MessageBeep(MB_OK);
  return true;
}

void TfEditFilters::OnOK() {
  std::vector<std::pair<std::string, std::string>> rows;
  for (int r = 0; r < kFilterRows; ++r) rows.emplace_back(GetItemText(CellId(r, 0)), GetItemText(CellId(r, 1)));
  filters_ = JoinFilters(rows);
  End(IDOK);
}

bool EditFilters(HWND owner, std::string& filters) {
  TfEditFilters dlg(filters);
  if (dlg.DoModal(owner) != IDOK) return false;
  filters = dlg.Filters();
  return true;
}
