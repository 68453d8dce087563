#include "uVars.h"
#include "uWinText.h"

#include <commctrl.h>
#include <windowsx.h>

#include "OVMsgBox.h"
#include "VarList.h"
#include "OVVars.h"
#include "uAddVar.h"
#include "uVarsRes.h"

namespace {

constexpr int kSystemPage = 0;
constexpr int kUserPage = 1;

// ---- list view helpers

void AddColumn(HWND list, int index, const char* text, int width) {
  LVCOLUMNA c{};
  c.mask = LVCF_TEXT | LVCF_WIDTH;
  c.pszText = const_cast<char*>(text);
  c.cx = width;
  SendMessageA(list, LVM_INSERTCOLUMNA, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&c));
}

int InsertRow(HWND list, int index, const std::string& caption, const std::string& second) {
  LVITEMA item{};
  item.mask = LVIF_TEXT;
  item.iItem = index;
  item.pszText = const_cast<char*>(caption.c_str());
  int row = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  if (row >= 0) {
    LVITEMA sub{};
    sub.iSubItem = 1;
    sub.pszText = const_cast<char*>(second.c_str());
    SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&sub));
  }
  return row;
}

void SetCell(HWND list, int row, int column, const std::string& text) {
  LVITEMA item{};
  item.iSubItem = column;
  item.pszText = const_cast<char*>(text.c_str());
  SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

int SelectedRow(HWND list) {
  return static_cast<int>(SendMessageA(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

void SelectRow(HWND list, int row) {
  LVITEMA item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  SendMessageA(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
}

int RowCount(HWND list) { return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); }

std::string Caption(const std::string& name) { return "%" + name + "%"; }

// The stored name of a row: its caption without the first and last character.
std::string NameOfCaption(const std::string& caption) {
  return caption.size() >= 2 ? caption.substr(1, caption.size() - 2) : std::string();
}

// Index of the entry of exactly that stored name.
int IndexOfName(const TVarList& list, const std::string& name) {
  std::vector<TVarEntry> all = list.Entries();
  for (size_t i = 0; i < all.size(); ++i)
    if (all[i].Name == name) return static_cast<int>(i);
  return -1;
}

}  // namespace

TfVars::TfVars(bool select) : OVDialog(IDD_VARS), select_(select) {}

bool TfVars::OnInit() {
  HWND pages = Item(IDC_PAGES);
  TCITEMA tab{};
  tab.mask = TCIF_TEXT;
  tab.pszText = const_cast<char*>("System variables");
  SendMessageA(pages, TCM_INSERTITEMA, kSystemPage, reinterpret_cast<LPARAM>(&tab));
  tab.pszText = const_cast<char*>("User's variables");
  SendMessageA(pages, TCM_INSERTITEMA, kUserPage, reinterpret_cast<LPARAM>(&tab));

  HWND lv = Item(IDC_LV), lv2 = Item(IDC_LV2);
  RECT rc;
  GetClientRect(lv, &rc);
  int rest = rc.right - 170 - GetSystemMetrics(SM_CXVSCROLL);
  AddColumn(lv, 0, "Variable name", 170);
  AddColumn(lv, 1, "Description", rest > 50 ? rest : 50);
  GetClientRect(lv2, &rc);
  rest = rc.right - 120 - GetSystemMetrics(SM_CXVSCROLL);
  AddColumn(lv2, 0, "Variable name", 120);
  AddColumn(lv2, 1, "Variable value", rest > 50 ? rest : 50);
  for (HWND l : {lv, lv2}) {
    SendMessageA(l, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
    SetWindowSubclass(l, ListKeys, 1, reinterpret_cast<DWORD_PTR>(this));
  }
  FillLists();

  if (!select_) {
    // Browsing: one "Close" button where "Cancel" sits.
    Show(IDOK, false);
    Show(IDCANCEL, false);
    Show(IDC_BCLOSE, true);
    SendMessageA(Handle(), DM_SETDEFID, IDC_BCLOSE, 0);
  }
  ShowPage(kSystemPage);
  return true;
}

void TfVars::FillLists() {
  HWND lv = Item(IDC_LV), lv2 = Item(IDC_LV2);
  SendMessageA(lv, LVM_DELETEALLITEMS, 0, 0);
  SendMessageA(lv2, LVM_DELETEALLITEMS, 0, 0);
  std::shared_ptr<TVarList> list = VarList();
  if (!list) return;
  for (const TVarEntry& e : list->Entries()) {
    HWND target = e.Kind == vkUser ? lv2 : lv;
    InsertRow(target, RowCount(target), Caption(e.Name), e.Description);
  }
}

void TfVars::ShowPage(int page) {
  SendMessageA(Item(IDC_PAGES), TCM_SETCURSEL, static_cast<WPARAM>(page), 0);
  bool system = page == kSystemPage;
  for (int id : {IDC_LV, IDC_LVARVALUE}) Show(id, system);
  for (int id : {IDC_LV2, IDC_BADD, IDC_BEDIT, IDC_BDELETE}) Show(id, !system);
}

int TfVars::CurrentList() const {
  return SendMessageA(Item(IDC_PAGES), TCM_GETCURSEL, 0, 0) == kUserPage ? IDC_LV2 : IDC_LV;
}

// The current value of the selected built-in or plug-in variable, with
// the sample argument of its name as the argument.
void TfVars::LVSelectItem() {
  HWND lv = Item(IDC_LV);
  int row = SelectedRow(lv);
  std::string text;
  if (row >= 0) {
    std::string caption = ListCell(lv, row, 0);
    std::shared_ptr<TVarList> list = VarList();
    text = caption + " = " + (list ? list->GetVarValue(caption) : std::string());
  }
  SetItemText(IDC_LVARVALUE, text);
}

bool TfVars::OnCommand(int id, int code, HWND) {
  if (code != BN_CLICKED && code != 0) return false;
  switch (id) {
    case IDC_BCLOSE:
      End(IDCANCEL);
      return true;
    case IDC_BADD:
      bAddClick();
      return true;
    case IDC_BEDIT:
      bEditClick();
      return true;
    case IDC_BDELETE:
      bDeleteClick();
      return true;
    case IDM_COPY:
      CopyToClipboard();
      return true;
    default:
      return false;
  }
}

bool TfVars::OnNotify(int id, NMHDR* header, LRESULT&) {
  if (id == IDC_PAGES && header->code == TCN_SELCHANGE) {
    ShowPage(static_cast<int>(SendMessageA(header->hwndFrom, TCM_GETCURSEL, 0, 0)));
    return true;
  }
  if (id == IDC_LV && (header->code == LVN_ITEMCHANGED || header->code == NM_CLICK)) {
    LVSelectItem();
    return false;
  }
  if ((id == IDC_LV || id == IDC_LV2) && header->code == NM_DBLCLK) {
    if (select_) bSelectClick();
    return true;
  }
  return false;
}

bool TfVars::OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR&) {
  if (msg != WM_CONTEXTMENU) return false;
  HWND control = reinterpret_cast<HWND>(wp);
  if (control != Item(IDC_LV) && control != Item(IDC_LV2)) return false;
  int x = GET_X_LPARAM(lp), y = GET_Y_LPARAM(lp);
  if (x == -1 && y == -1) {
    // From the keyboard: below the selected row, or at the list's corner.
    RECT rc{};
    int row = SelectedRow(control);
    rc.left = LVIR_LABEL;
    if (row < 0 || !SendMessageA(control, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rc)))
      rc = RECT{0, 0, 0, 0};
    POINT pt{rc.left, rc.bottom};
    ClientToScreen(control, &pt);
    x = pt.x;
    y = pt.y;
  }
  PopupMenu(control, x, y);
  return true;
}

void TfVars::PopupMenu(HWND list, int x, int y) {
  HMENU menu = CreatePopupMenu();
  AppendMenuA(menu, MF_STRING, IDM_COPY, "&Copy to clipboard\tCtrl+C");
  if (list == Item(IDC_LV2)) {
    AppendMenuA(menu, MF_STRING, IDC_BADD, "Add...\tInsert");
    AppendMenuA(menu, MF_STRING, IDC_BEDIT, "Edit...\tAlt+Enter");
    AppendMenuA(menu, MF_STRING, IDC_BDELETE, "Delete\tCtrl+Delete");
  }
  // The chosen command arrives as WM_COMMAND, as a button's would.
  TrackPopupMenu(menu, TPM_RIGHTBUTTON, x, y, 0, Handle(), nullptr);
  DestroyMenu(menu);
}

// The shortcuts of the context menus, while a list has the focus.
LRESULT CALLBACK TfVars::ListKeys(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
  auto* self = reinterpret_cast<TfVars*>(ref);
  bool user = GetDlgCtrlID(wnd) == IDC_LV2;
  bool ctrl = GetKeyState(VK_CONTROL) < 0;
  int command = 0;
  if (msg == WM_KEYDOWN) {
    if (wp == 'C' && ctrl)
      command = IDM_COPY;
    else if (user && wp == VK_INSERT && !ctrl)
      command = IDC_BADD;
    else if (user && wp == VK_DELETE && ctrl)
      command = IDC_BDELETE;
  } else if (msg == WM_SYSKEYDOWN && user && wp == VK_RETURN) {
    command = IDC_BEDIT;
  } else if (msg == WM_SYSCHAR && user && wp == '\r') {
    return 0;  // no beep for Alt+Enter
  }
  if (command) {
    PostMessageA(self->Handle(), WM_COMMAND, MAKEWPARAM(command, 0), 0);
    return 0;
  }
  return DefSubclassProc(wnd, msg, wp, lp);
}

void TfVars::OnOK() {
  if (select_) bSelectClick();
}

void TfVars::bSelectClick() {
  HWND list = Item(CurrentList());
  int row = SelectedRow(list);
  if (row < 0) {
    MessageBeep(MB_ICONWARNING);
    return;
  }
  result_ = ListCell(list, row, 0);
  End(IDOK);
}

void TfVars::bAddClick() {
  std::shared_ptr<TVarList> list = VarList();
  if (!list) return;
  TfAddVar d("", "");
  if (d.DoModal(Handle()) != IDOK) return;
  int index = list->AddVar(d.Name(), d.Value(), vkUser, UserVarFunc);
  if (index < 0) return;
  UserVariablesChanged();
  // The row goes where the entry stands among the user's variables.
  std::vector<TVarEntry> all = list->Entries();
  int row = 0;
  for (int i = 0; i < index && i < static_cast<int>(all.size()); ++i)
    if (all[static_cast<size_t>(i)].Kind == vkUser) ++row;
  HWND lv2 = Item(IDC_LV2);
  row = InsertRow(lv2, row, Caption(list->Names(index)), list->Descriptions(index));
  if (row >= 0) SelectRow(lv2, row);
}

void TfVars::bEditClick() {
  std::shared_ptr<TVarList> list = VarList();
  HWND lv2 = Item(IDC_LV2);
  int row = SelectedRow(lv2);
  if (!list || row < 0) return;
  std::string oldName = NameOfCaption(ListCell(lv2, row, 0));
  std::string oldValue = ListCell(lv2, row, 1);
  TfAddVar d(oldName, oldValue);
  if (d.DoModal(Handle()) != IDOK) return;
  // The row's own entry, even when an earlier one shares its key.
  int old = IndexOfName(*list, oldName);
  if (old >= 0) list->DeleteVar(old);
  int index = list->AddVar(d.Name(), d.Value(), vkUser, UserVarFunc);
  if (index < 0) {
    list->AddVar(oldName, oldValue, vkUser, UserVarFunc);
    return;
  }
  UserVariablesChanged();
  SetCell(lv2, row, 0, Caption(list->Names(index)));
  SetCell(lv2, row, 1, list->Descriptions(index));
}

void TfVars::bDeleteClick() {
  std::shared_ptr<TVarList> list = VarList();
  HWND lv2 = Item(IDC_LV2);
  int row = SelectedRow(lv2);
  if (!list || row < 0) return;
  std::string caption = ListCell(lv2, row, 0);
  if (!Confirm(Handle(), "Delete variable " + caption + "?")) return;
  int index = IndexOfName(*list, NameOfCaption(caption));
  if (index >= 0) list->DeleteVar(index);
  UserVariablesChanged();
  SendMessageA(lv2, LVM_DELETEITEM, static_cast<WPARAM>(row), 0);
}

void TfVars::CopyToClipboard() {
  HWND list = Item(CurrentList());
  int row = SelectedRow(list);
  if (row < 0) return;
  std::string text = ListCell(list, row, 0);
  CopyTextToClipboard(Handle(), text);
}

void ShowVariables(HWND owner) {
  TfVars d(false);
  d.DoModal(owner);
}

bool SelectVariable(HWND owner, std::string* reference) {
  TfVars d(true);
  if (d.DoModal(owner) != IDOK) return false;
  *reference = d.Result();
  return true;
}
