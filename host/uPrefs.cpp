#include "uPrefs.h"

#include <commctrl.h>

#include <random>

#include "Host.h"
#include "OVClassesPlugins.h"
#include "OVMsgBox.h"
#include "OVShell.h"
#include "uGetFilesList.h"
#include "uPluginInfo.h"
#include "uPrefsRes.h"

namespace {

constexpr int kPageGeneral = 0;
constexpr int kPageAppearance = 1;
constexpr int kPagePlugins = 2;
constexpr int32_t kMaxCategoryNumber = 2147483646;
constexpr int kMaxLogLimit = 1000;

const int kGeneralIds[] = {IDC_CBMINIMIZE, IDC_CBSHOWERRORS, IDC_CBWINSTARTUP, IDC_CBCLOSEASMIN, IDC_LMAXLOG,
                           IDC_EMAXLOG, IDC_UDMAXLOG, IDC_LINE1, IDC_CBAUTOLOGON, IDC_LUSER, IDC_EUSER,
                           IDC_LPASS, IDC_EPASS, IDC_LINE2, IDC_LJOBDIR, IDC_EJOBDIR, IDC_BJOBDIR,
                           IDC_LLOGDIR, IDC_ELOGDIR, IDC_BLOGDIR};
const int kAppearanceIds[] = {IDC_GCATS, IDC_LCATS, IDC_LBCATS, IDC_LCATNAME, IDC_ECATNAME, IDC_BCATADD,
                              IDC_BCATDEL, IDC_BCATUP, IDC_BCATDOWN, IDC_GCOLORS,
                              IDC_LCOLOR0, IDC_LCOLOR0 + 1, IDC_LCOLOR0 + 2, IDC_LCOLOR0 + 3,
                              IDC_LCOLOR0 + 4, IDC_LCOLOR0 + 5, IDC_LCOLOR0 + 6, IDC_LCOLOR0 + 7,
                              IDC_CCOLOR0, IDC_CCOLOR0 + 1, IDC_CCOLOR0 + 2, IDC_CCOLOR0 + 3,
                              IDC_CCOLOR0 + 4, IDC_CCOLOR0 + 5, IDC_CCOLOR0 + 6, IDC_CCOLOR0 + 7};
const int kPluginIds[] = {IDC_LPLUGINS, IDC_LVPLUGINS, IDC_BCONFIGURE, IDC_BINFORMATION, IDC_BABOUT};

// The colour boxes in dialog order, with the settings they edit.
uint32_t TSettings::*const kColorFields[8] = {
    &TSettings::clrInfo1Font, &TSettings::clrInfo1Back, &TSettings::clrInfo2Font, &TSettings::clrInfo2Back,
    &TSettings::clrWarningFont, &TSettings::clrWarningBack, &TSettings::clrErrorFont, &TSettings::clrErrorBack};

struct TNamedColor {
  uint32_t Color;
  const char* Name;
};
const TNamedColor kStandardColors[] = {
    {0x000000, "Black"},  {0x000080, "Maroon"}, {0x008000, "Green"},   {0x008080, "Olive"},
    {0x800000, "Navy"},   {0x800080, "Purple"}, {0x808000, "Teal"},    {0x808080, "Gray"},
    {0xC0C0C0, "Silver"}, {0x0000FF, "Red"},    {0x00FF00, "Lime"},    {0x00FFFF, "Yellow"},
    {0xFF0000, "Blue"},   {0xFF00FF, "Fuchsia"}, {0xFFFF00, "Aqua"},   {0xFFFFFF, "White"},
    {0x80000005, "Window"}, {0x80000008, "Window text"}};
const char kCustomItem[] = "Custom...";

COLORREF ToColorRef(uint32_t c) {
  return (c & 0x80000000u) ? GetSysColor(static_cast<int>(c & 0xFF)) : static_cast<COLORREF>(c & 0xFFFFFF);
}

std::string ColorName(uint32_t c) {
  for (const auto& n : kStandardColors)
    if (n.Color == c) return n.Name;
  char buf[32];
  wsprintfA(buf, "$%06X", static_cast<unsigned>(c & 0xFFFFFF));
  return buf;
}

std::string TrimBlanks(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(" \t") - b + 1);
}

bool SameDirectory(const std::string& a, const std::string& b) {
  return lstrcmpiA(IncludeTrailingBackslash(a).c_str(), IncludeTrailingBackslash(b).c_str()) == 0;
}

}  // namespace

int32_t NewCategoryNumber(const std::vector<TCategory>& taken) {
  // Seeded once: two categories added within one clock tick still differ.
  static std::mt19937 rng(std::random_device{}() ^ GetTickCount() ^ (GetCurrentProcessId() << 16));
  std::uniform_int_distribution<int32_t> pick(0, kMaxCategoryNumber);
  for (;;) {
    int32_t n = pick(rng);
    if (n == 0) continue;  // 0 is "All Jobs"
    bool used = Categories.IndexOf(n) >= 0;
    for (const TCategory& c : taken) used = used || c.Number == n;
    if (!used) return n;
  }
}

std::string EffectiveDirectory(const std::string& field, const std::string& sub) {
  std::string dir = TrimBlanks(field);
  if (dir.empty()) return ProgramDir() + sub + "\\";
  bool rooted = (dir.size() >= 2 && dir[1] == ':') || dir[0] == '\\' || dir[0] == '/';
  if (!rooted && dir.size() > 1) dir = ProgramDir() + dir;
  return IncludeTrailingBackslash(dir);
}

TfSettings::TfSettings() : OVDialog(IDD_PREFS) {}

TfSettings::~TfSettings() {
  if (icons_) ImageList_Destroy(icons_);
}

bool TfSettings::OnInit() {
  loading_ = true;
  HWND pages = Item(IDC_PAGES2);
  const char* names[] = {"General", "Appearance", "Plugins"};
  for (int i = 0; i < 3; ++i) {
    TCITEMA tab{};
    tab.mask = TCIF_TEXT;
    tab.pszText = const_cast<char*>(names[i]);
    SendMessageA(pages, TCM_INSERTITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&tab));
  }
  // The tab control is first in the z-order: the pages' controls stay above it.
  SetWindowPos(pages, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);

  // General.
  SetChecked(IDC_CBMINIMIZE, Settings.MinimizeOnRun);
  SetChecked(IDC_CBSHOWERRORS, Settings.ShowErrors);
  SetChecked(IDC_CBWINSTARTUP, Settings.WinStartup);
  SetChecked(IDC_CBCLOSEASMIN, Settings.CloseAsMinimize);
  HWND ud = Item(IDC_UDMAXLOG);
  SendMessageA(ud, UDM_SETBUDDY, reinterpret_cast<WPARAM>(Item(IDC_EMAXLOG)), 0);
  SendMessageA(ud, UDM_SETRANGE32, 0, kMaxLogLimit);
  UDACCEL step{0, 5};
  SendMessageA(ud, UDM_SETACCEL, 1, reinterpret_cast<LPARAM>(&step));
  int maxLog = Settings.MaxLogSize < 0 ? 0 : (Settings.MaxLogSize > kMaxLogLimit ? kMaxLogLimit : Settings.MaxLogSize);
  SendMessageA(ud, UDM_SETPOS32, 0, maxLog);
  SetItemInt(IDC_EMAXLOG, maxLog);
  const TAutoLogon& logon = AutoLogon();
  SetChecked(IDC_CBAUTOLOGON, logon.Enabled());
  SetItemText(IDC_EUSER, logon.DefaultUserName);
  SetItemText(IDC_EPASS, logon.DefaultPassword);
  SetItemText(IDC_EJOBDIR, Settings.PendingJobDir);
  SetItemText(IDC_ELOGDIR, Settings.PendingLogDir);

  // Appearance.
  cats_ = Categories.UserCategories();
  FillCategories(-1);
  dragMsg_ = RegisterWindowMessageA(DRAGLISTMSGSTRING);
  MakeDragList(Item(IDC_LBCATS));
  for (int k = 0; k < 8; ++k) {
    colors_[k] = Settings.*kColorFields[k];
    FillColorBox(k, colors_[k]);
  }

  // Plugins.
  HWND lv = Item(IDC_LVPLUGINS);
  int cx = GetSystemMetrics(SM_CXICON), cy = GetSystemMetrics(SM_CYICON);
  icons_ = ImageList_Create(cx, cy, ILC_COLOR32 | ILC_MASK, 8, 8);
  int fallback = ImageList_AddIcon(icons_, LoadIcon(nullptr, IDI_APPLICATION));
  SendMessageA(lv, LVM_SETIMAGELIST, LVSIL_NORMAL, reinterpret_cast<LPARAM>(icons_));
  for (int i = 0; Plugins && i < Plugins->Count(); ++i) {
    TOVPlugin* p = Plugins->Items(i);
    int image = fallback;
    if (HICON icon = p->Icon()) {
      int added = ImageList_AddIcon(icons_, icon);
      if (added >= 0) image = added;
    }
    std::string text = p->Description();
    LVITEMA item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
    item.iItem = i;
    item.pszText = const_cast<char*>(text.c_str());
    item.iImage = image;
    item.lParam = i;
    SendMessageA(lv, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
  }
  ApplyHotTrackToList(lv);

  AddHints(Handle(), {{IDC_BJOBDIR, "Browse directories"},
                      {IDC_BLOGDIR, "Browse directories"},
                      {IDC_BCATADD, "Add"},
                      {IDC_BCATDEL, "Remove"},
                      {IDC_BCATUP, "Move step up"},
                      {IDC_BCATDOWN, "Move step down"}});
  ShowPage(kPageGeneral);
  Focus(IDC_CBMINIMIZE);
  loading_ = false;
  return false;
}

void TfSettings::ShowPage(int page) {
  SendDlgItemMessageA(Handle(), IDC_PAGES2, TCM_SETCURSEL, static_cast<WPARAM>(page), 0);
  for (int id : kGeneralIds) Show(id, page == kPageGeneral);
  for (int id : kAppearanceIds) Show(id, page == kPageAppearance);
  for (int id : kPluginIds) Show(id, page == kPagePlugins);
}

// ---------------------------------------------------------------- categories

void TfSettings::FillCategories(int select) {
  ListClear(IDC_LBCATS);
  for (const TCategory& c : cats_) ListAdd(IDC_LBCATS, c.Name);
  SetListIndex(IDC_LBCATS, select);
}

void TfSettings::lbCatsClick() {
  int i = ListIndex(IDC_LBCATS);
  if (i < 0 || i >= static_cast<int>(cats_.size())) return;
  renaming_ = true;
  SetItemText(IDC_ECATNAME, cats_[static_cast<size_t>(i)].Name);
  renaming_ = false;
}

void TfSettings::eCatNameChange(HWND edit) {
  std::string text = GetItemText(IDC_ECATNAME);
  // "," and "=" would break the categories file: they are taken out however
  // they came in, typed or pasted.
  std::string clean;
  DWORD start = 0;
  SendMessageA(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), 0);
  DWORD caret = start;
  for (size_t k = 0; k < text.size(); ++k) {
    if (text[k] == ',' || text[k] == '=') {
      if (k < start) --caret;
      continue;
    }
    clean += text[k];
  }
  if (clean != text) {
    renaming_ = true;
    SetWindowTextA(edit, clean.c_str());
    SendMessageA(edit, EM_SETSEL, caret, caret);
    renaming_ = false;
    MessageBeep(MB_OK);
  }
  if (renaming_ || loading_) return;
  int i = ListIndex(IDC_LBCATS);
  if (i < 0 || i >= static_cast<int>(cats_.size())) return;
  cats_[static_cast<size_t>(i)].Name = clean;
  HWND list = Item(IDC_LBCATS);
  SendMessageA(list, LB_DELETESTRING, static_cast<WPARAM>(i), 0);
  SendMessageA(list, LB_INSERTSTRING, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(clean.c_str()));
  SetListIndex(IDC_LBCATS, i);
}

void TfSettings::bAddCatClick() {
  cats_.push_back({"New category", NewCategoryNumber(cats_)});
  int i = static_cast<int>(cats_.size()) - 1;
  FillCategories(i);
  lbCatsClick();
  Focus(IDC_ECATNAME);
  SendDlgItemMessageA(Handle(), IDC_ECATNAME, EM_SETSEL, 0, -1);
}

void TfSettings::bRemoveCatClick() {
  int i = ListIndex(IDC_LBCATS);
  if (i < 0 || i >= static_cast<int>(cats_.size())) return;
  cats_.erase(cats_.begin() + i);
  FillCategories(i - 1);
  renaming_ = true;
  SetItemText(IDC_ECATNAME, "");
  renaming_ = false;
  if (i - 1 >= 0) lbCatsClick();
}

void TfSettings::MoveCategory(int from, int to) {
  int n = static_cast<int>(cats_.size());
  if (from < 0 || from >= n || to < 0 || to >= n || from == to) return;
  TCategory moved = cats_[static_cast<size_t>(from)];
  cats_.erase(cats_.begin() + from);
  cats_.insert(cats_.begin() + to, moved);
  FillCategories(to);
  lbCatsClick();
}

// ------------------------------------------------------------------ colours

void TfSettings::FillColorBox(int box, uint32_t color) {
  int id = IDC_CCOLOR0 + box;
  ComboClear(id);
  HWND combo = Item(id);
  int at = ComboAdd(id, kCustomItem);
  SendMessageA(combo, CB_SETITEMDATA, static_cast<WPARAM>(at), 0);
  int select = -1;
  for (const auto& n : kStandardColors) {
    at = ComboAdd(id, n.Name);
    SendMessageA(combo, CB_SETITEMDATA, static_cast<WPARAM>(at), static_cast<LPARAM>(n.Color));
    if (n.Color == color) select = at;
  }
  if (select < 0) {
    select = ComboAdd(id, ColorName(color));
    SendMessageA(combo, CB_SETITEMDATA, static_cast<WPARAM>(select), static_cast<LPARAM>(color));
  }
  SetComboIndex(id, select);
}

void TfSettings::ColorBoxChange(int box) {
  int id = IDC_CCOLOR0 + box;
  int i = ComboIndex(id);
  if (i < 0) return;
  if (i > 0) {
    colors_[box] = static_cast<uint32_t>(SendDlgItemMessageA(Handle(), id, CB_GETITEMDATA, static_cast<WPARAM>(i), 0));
    return;
  }
  static COLORREF custom[16];
  CHOOSECOLORA cc{};
  cc.lStructSize = sizeof cc;
  cc.hwndOwner = Handle();
  cc.rgbResult = ToColorRef(colors_[box]);
  cc.lpCustColors = custom;
  cc.Flags = CC_RGBINIT | CC_FULLOPEN;
  if (ChooseColorA(&cc)) colors_[box] = cc.rgbResult & 0xFFFFFF;
  FillColorBox(box, colors_[box]);
}

void TfSettings::DrawColorItem(const DRAWITEMSTRUCT* d) {
  if (d->itemID == static_cast<UINT>(-1)) return;
  HDC dc = d->hDC;
  RECT rc = d->rcItem;
  bool selected = (d->itemState & ODS_SELECTED) != 0;
  FillRect(dc, &rc, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
  char text[64] = "";
  SendMessageA(d->hwndItem, CB_GETLBTEXT, d->itemID, reinterpret_cast<LPARAM>(text));
  RECT t = rc;
  if (d->itemID != 0) {
    RECT sw{rc.left + 2, rc.top + 2, rc.left + 2 + (rc.bottom - rc.top - 4) * 2, rc.bottom - 2};
    HBRUSH b = CreateSolidBrush(ToColorRef(static_cast<uint32_t>(d->itemData)));
    FillRect(dc, &sw, b);
    DeleteObject(b);
    FrameRect(dc, &sw, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    t.left = sw.right + 4;
  } else {
    t.left += 4;
  }
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  DrawTextA(dc, text, -1, &t, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

// ----------------------------------------------------------------- plug-ins

int TfSettings::SelectedPlugin() const {
  HWND lv = Item(IDC_LVPLUGINS);
  int row = static_cast<int>(SendMessageA(lv, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
  if (row < 0) return -1;
  LVITEMA item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  SendMessageA(lv, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item));
  int index = static_cast<int>(item.lParam);
  return Plugins && index >= 0 && index < Plugins->Count() ? index : -1;
}

// Errors of the plug-in's entries go to the main log like every error of
// the main thread (and to an error box with "ShowErrors"); the dialog
// stays open.
void TfSettings::bConfigureClick() {
  int i = SelectedPlugin();
  if (i < 0) return;
  try {
    Plugins->Items(i)->Configure();
  } catch (const std::exception& e) {
    HostLog(OV_LOG_ERROR, e.what());
  }
}

void TfSettings::bInformationClick() {
  int i = SelectedPlugin();
  if (i >= 0) ShowPluginInfo(Handle(), Plugins->Items(i));
}

void TfSettings::bAboutClick() {
  int i = SelectedPlugin();
  if (i < 0) return;
  try {
    Plugins->Items(i)->About();
  } catch (const std::exception& e) {
    HostLog(OV_LOG_ERROR, e.what());
  }
}

void TfSettings::BrowseDirectory(int edit, const char* title) {
  std::string folder;
  if (BrowseForFolder(Handle(), title, GetItemText(edit), &folder)) SetItemText(edit, folder);
}

// ------------------------------------------------------------------ events

bool TfSettings::OnCommand(int id, int code, HWND control) {
  switch (id) {
    case IDC_CBAUTOLOGON:
      if (code == BN_CLICKED) touchedAutoLogon_ = true;
      return false;
    case IDC_EUSER:
      if (code == EN_CHANGE && !loading_) touchedUser_ = true;
      return code == EN_CHANGE;
    case IDC_EPASS:
      if (code == EN_CHANGE && !loading_) touchedPassword_ = true;
      return code == EN_CHANGE;
    case IDC_BJOBDIR:
      if (code == BN_CLICKED) BrowseDirectory(IDC_EJOBDIR, "Select Job directory");
      return true;
    case IDC_BLOGDIR:
      if (code == BN_CLICKED) BrowseDirectory(IDC_ELOGDIR, "Select Log directory");
      return true;
    case IDC_LBCATS:
      if (code == LBN_SELCHANGE) lbCatsClick();
      return true;
    case IDC_ECATNAME:
      if (code == EN_CHANGE) eCatNameChange(control);
      // Entering the field selects its text (posted: a click places the
      // caret after the focus arrives).
      if (code == EN_SETFOCUS) PostMessageA(control, EM_SETSEL, 0, -1);
      return true;
    case IDC_BCATADD:
      if (code == BN_CLICKED) bAddCatClick();
      return true;
    case IDC_BCATDEL:
      if (code == BN_CLICKED) bRemoveCatClick();
      return true;
    case IDC_BCATUP:
      if (code == BN_CLICKED) MoveCategory(ListIndex(IDC_LBCATS), ListIndex(IDC_LBCATS) - 1);
      return true;
    case IDC_BCATDOWN:
      if (code == BN_CLICKED && ListIndex(IDC_LBCATS) >= 0)
        MoveCategory(ListIndex(IDC_LBCATS), ListIndex(IDC_LBCATS) + 1);
      return true;
    case IDC_BCONFIGURE:
      if (code == BN_CLICKED) bConfigureClick();
      return true;
    case IDC_BINFORMATION:
      if (code == BN_CLICKED) bInformationClick();
      return true;
    case IDC_BABOUT:
      if (code == BN_CLICKED) bAboutClick();
      return true;
    default:
      if (id >= IDC_CCOLOR0 && id < IDC_CCOLOR0 + 8) {
        if (code == CBN_SELCHANGE) ColorBoxChange(id - IDC_CCOLOR0);
        return true;
      }
      return false;
  }
}

bool TfSettings::OnNotify(int id, NMHDR* header, LRESULT&) {
  if (id == IDC_PAGES2 && header->code == static_cast<UINT>(TCN_SELCHANGE)) {
    ShowPage(static_cast<int>(SendDlgItemMessageA(Handle(), IDC_PAGES2, TCM_GETCURSEL, 0, 0)));
    return true;
  }
  if (id == IDC_LVPLUGINS && IsActivation(header->code)) {
    bConfigureClick();
    return true;
  }
  return false;
}

bool TfSettings::OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) {
  if (msg == WM_DRAWITEM && wp >= IDC_CCOLOR0 && wp < IDC_CCOLOR0 + 8) {
    DrawColorItem(reinterpret_cast<const DRAWITEMSTRUCT*>(lp));
    result = TRUE;
    return true;
  }
  if (dragMsg_ && msg == dragMsg_ && wp == IDC_LBCATS) {
    auto* info = reinterpret_cast<DRAGLISTINFO*>(lp);
    LRESULT answer = 0;
    HWND list = Item(IDC_LBCATS);
    switch (info->uNotification) {
      case DL_BEGINDRAG:
        dragFrom_ = LBItemFromPt(list, info->ptCursor, FALSE);
        answer = dragFrom_ >= 0;
        break;
      case DL_DRAGGING: {
        int at = LBItemFromPt(list, info->ptCursor, TRUE);
        DrawInsert(Handle(), list, at);
        answer = at >= 0 ? DL_MOVECURSOR : DL_STOPCURSOR;
        break;
      }
      case DL_DROPPED: {
        DrawInsert(Handle(), list, -1);
        int at = LBItemFromPt(list, info->ptCursor, FALSE);
        if (at < 0 && dragFrom_ >= 0) at = static_cast<int>(cats_.size()) - 1;
        MoveCategory(dragFrom_, at);
        dragFrom_ = -1;
        break;
      }
      default:
        DrawInsert(Handle(), list, -1);
        dragFrom_ = -1;
        break;
    }
    SetWindowLongPtrA(Handle(), DWLP_MSGRESULT, answer);
    result = TRUE;
    return true;
  }
  return false;
}

void TfSettings::OnOK() {
  // 1. Options; a typed size is brought into 0..1000.
  Settings.MinimizeOnRun = IsChecked(IDC_CBMINIMIZE);
  Settings.ShowErrors = IsChecked(IDC_CBSHOWERRORS);
  Settings.WinStartup = IsChecked(IDC_CBWINSTARTUP);
  long long maxLog = GetItemInt(IDC_EMAXLOG, Settings.MaxLogSize);
  if (GetItemText(IDC_EMAXLOG).size() > 6) maxLog = kMaxLogLimit;  // beyond what a 32-bit number holds
  Settings.MaxLogSize = static_cast<int32_t>(maxLog < 0 ? 0 : (maxLog > kMaxLogLimit ? kMaxLogLimit : maxLog));
  Settings.CloseAsMinimize = IsChecked(IDC_CBCLOSEASMIN);

  // 2. The directories of the next start; one warning at most.
  Settings.PendingJobDir = TrimBlanks(GetItemText(IDC_EJOBDIR));
  Settings.PendingLogDir = TrimBlanks(GetItemText(IDC_ELOGDIR));
  if (!SameDirectory(EffectiveDirectory(Settings.PendingJobDir, "Jobs"), Settings.JobDir) ||
      !SameDirectory(EffectiveDirectory(Settings.PendingLogDir, "Logs"), Settings.LogDir))
    OVMessageBox(Handle(), "Please, restart Orvane.", "Orvane", MB_OK | MB_ICONWARNING);

  // 3. Automatic logon: only the values the user touched are written.
  if (touchedAutoLogon_ || touchedUser_ || touchedPassword_) {
    TAutoLogon chosen = AutoLogon();
    if (touchedAutoLogon_) chosen.AutoAdminLogon = std::string(1, IsChecked(IDC_CBAUTOLOGON) ? '1' : '0');
    if (touchedUser_) chosen.DefaultUserName = GetItemText(IDC_EUSER);
    if (touchedPassword_) chosen.DefaultPassword = GetItemText(IDC_EPASS);
    std::string why;
    if (!SaveAutoLogon(chosen, &why)) HostLog(OV_LOG_ERROR, "Cannot save the automatic logon: " + why);
  }

  // 4. Categories, kept in "cats.ini" at once.
  Categories.Assign(cats_);
  std::string why;
  if (!SaveCategories(&why)) HostLog(OV_LOG_ERROR, why);

  // 5. Colours.
  for (int k = 0; k < 8; ++k) Settings.*kColorFields[k] = colors_[k];

  // 6. Everything else is stored now.
  if (!SaveSettings(&why)) HostLog(OV_LOG_ERROR, "Cannot save the settings: " + why);
  End(IDOK);
}

bool ShowPreferences(HWND owner) {
  TfSettings dlg;
  return dlg.DoModal(owner) == IDOK;
}
