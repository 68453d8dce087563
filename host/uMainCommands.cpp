// The main window's job list, log pane and commands.
#include <windowsx.h>

#include <algorithm>
#include <memory>
#include <unordered_map>

#include "Host.h"
#include "OVClassesJob.h"
#include "OVClassesJobs.h"
#include "OVClassesLog.h"
#include "OVError.h"
#include "OVMsgBox.h"
#include "uJob.h"
#include "uMain.h"
#include "uMainCmds.h"
#include "uMainExtras.h"
#include "uMainLogic.h"
#include "uPluginInfo.h"
#include "uPrefs.h"
#include "uSettings.h"
#include "uVars.h"
#include "uWinText.h"

namespace {

constexpr UINT kResortMessage = WM_APP + 2;
constexpr UINT_PTR kLogSwitchTimer = 1;

struct TBusy {
  explicit TBusy(int& n) : n_(n) { ++n_; }
  ~TBusy() { --n_; }
  int& n_;
};

// The texts of the sorted column by job ID, taken before the sort: the
// list's own items move while it sorts.
struct TSortInfo {
  std::unordered_map<LPARAM, std::string> texts;
  bool ascending;
};

int CALLBACK CompareRows(LPARAM a, LPARAM b, LPARAM info) {
  const auto* s = reinterpret_cast<const TSortInfo*>(info);
  auto ta = s->texts.find(a), tb = s->texts.find(b);
  if (ta == s->texts.end() || tb == s->texts.end()) return 0;
  int r = CompareJobTexts(ta->second, tb->second);
  return s->ascending ? r : -r;
}

std::string Running(const TOVJob* job) {
  return Format("Job \"%s\" is currently running...", job->Name().c_str());
}

}  // namespace

// ------------------------------------------------------------- the rows

TOVJob* TfOrvane::RowJob(int row) const {
  LVITEMA item{};
  item.mask = LVIF_PARAM;
  item.iItem = row;
  if (!Jobs || !SendMessageA(lvJobs_, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item))) return nullptr;
  return Jobs->FindByID(static_cast<int32_t>(item.lParam));
}

int TfOrvane::RowOf(const TOVJob* job) const {
  LVFINDINFOA find{};
  find.flags = LVFI_PARAM;
  find.lParam = job->ID();
  return static_cast<int>(
      SendMessageA(lvJobs_, LVM_FINDITEMA, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)));
}

std::vector<TOVJob*> TfOrvane::SelectedJobs() const {
  std::vector<TOVJob*> jobs;
  int row = -1;
  while ((row = ListView_GetNextItem(lvJobs_, row, LVNI_SELECTED)) >= 0)
    if (TOVJob* job = RowJob(row)) jobs.push_back(job);
  return jobs;
}

TOVJob* TfOrvane::FocusedJob() const {
  if (ListView_GetSelectedCount(lvJobs_) == 0) return nullptr;
  int row = ListView_GetNextItem(lvJobs_, -1, LVNI_FOCUSED | LVNI_SELECTED);
  if (row < 0) row = ListView_GetNextItem(lvJobs_, -1, LVNI_SELECTED);
  return row >= 0 ? RowJob(row) : nullptr;
}

void TfOrvane::SelectRows(const std::vector<int>& rows) {
  ListView_SetItemState(lvJobs_, -1, 0, LVIS_SELECTED | LVIS_FOCUSED);
  for (int row : rows) ListView_SetItemState(lvJobs_, row, LVIS_SELECTED, LVIS_SELECTED);
  if (!rows.empty()) {
    ListView_SetItemState(lvJobs_, rows.front(), LVIS_FOCUSED, LVIS_FOCUSED);
    ListView_EnsureVisible(lvJobs_, rows.front(), FALSE);
  }
}

void TfOrvane::UpdateRow(int row, TOVJob* job) {
  LVITEMA item{};
  item.mask = LVIF_IMAGE | LVIF_STATE | LVIF_TEXT;
  item.iItem = row;
  item.iImage = job->State() < 5 ? job->State() : 0;
  item.stateMask = LVIS_CUT;
  item.state = job->Hidden() ? LVIS_CUT : 0;
  std::string name = job->Name();
  item.pszText = name.data();
  SendMessageA(lvJobs_, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
  std::string status = JobStatusText(*job);
  item.mask = LVIF_TEXT;
  item.iSubItem = 1;
  item.pszText = status.data();
  SendMessageA(lvJobs_, LVM_SETITEMA, 0, reinterpret_cast<LPARAM>(&item));
}

int TfOrvane::AddRow(TOVJob* job) {
  LVITEMA item{};
  item.mask = LVIF_PARAM | LVIF_TEXT;
  item.iItem = ListView_GetItemCount(lvJobs_);
  item.lParam = job->ID();
  item.pszText = const_cast<char*>("");
  int row = static_cast<int>(SendMessageA(lvJobs_, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  if (row >= 0) UpdateRow(row, job);
  return row;
}

void TfOrvane::SortBy(int column, bool ascending) {
  sortColumn_ = column;
  sortAscending_ = ascending;
  Resort();
}

void TfOrvane::Resort() {
  TSortInfo info;
  info.ascending = sortAscending_;
  LVITEMA item{};
  item.mask = LVIF_PARAM;
  for (int row = 0; row < ListView_GetItemCount(lvJobs_); ++row) {
    item.iItem = row;
    if (SendMessageA(lvJobs_, LVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
      info.texts[item.lParam] = ListCell(lvJobs_, row, sortColumn_);
  }
  SendMessageA(lvJobs_, LVM_SORTITEMS, reinterpret_cast<WPARAM>(&info),
               reinterpret_cast<LPARAM>(CompareRows));
  UpdateSortArrow();
}

void TfOrvane::UpdateSortArrow() {
  HWND header = ListView_GetHeader(lvJobs_);
  for (int i = 0; i < 2; ++i) {
    HDITEMA h{};
    h.mask = HDI_FORMAT;
    SendMessageA(header, HDM_GETITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&h));
    h.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
    if (i == sortColumn_) h.fmt |= sortAscending_ ? HDF_SORTUP : HDF_SORTDOWN;
    SendMessageA(header, HDM_SETITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&h));
  }
}

// ------------------------------------------------------------- the tabs

void TfOrvane::FillTabs() {
  TabCtrl_DeleteAllItems(tcJobs_);
  for (int i = 0; i < Categories.Count(); ++i) {
    std::string name = DoubleAmpersands(Categories.Items(i).Name);
    TCITEMA t{};
    t.mask = TCIF_TEXT;
    t.pszText = name.data();
    SendMessageA(tcJobs_, TCM_INSERTITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&t));
  }
  int index = Categories.IndexOf(Settings.TabIndex);
  if (index < 0) {
    index = 0;
    Settings.TabIndex = 0;
  }
  category_ = Settings.TabIndex;
  TabCtrl_SetCurSel(tcJobs_, index);
  EnableCategoryButtons();
}

void TfOrvane::SelectTab(int index) {
  if (index < 0 || index >= Categories.Count()) return;
  TabCtrl_SetCurSel(tcJobs_, index);
  category_ = Categories.Items(index).Number;
  Settings.TabIndex = category_;
  RefillList();
}

void TfOrvane::EnableCategoryButtons() {
  SendMessageA(toolBar_, TB_ENABLEBUTTON, cmActivateCategory, category_ != 0);
  SendMessageA(toolBar_, TB_ENABLEBUTTON, cmDeactivateCategory, category_ != 0);
}

void TfOrvane::RefillList() {
  const bool was = filling_;
  filling_ = true;
  SendMessageA(lvJobs_, WM_SETREDRAW, FALSE, 0);
  ListView_DeleteAllItems(lvJobs_);
  for (int i = 0; Jobs && i < Jobs->Count(); ++i) {
    TOVJob* job = Jobs->Items(i);
    if (category_ == 0 || job->Category() == category_) AddRow(job);
  }
  EnableCategoryButtons();
  Resort();
  SendMessageA(lvJobs_, WM_SETREDRAW, TRUE, 0);
  filling_ = was;
}

bool TfOrvane::DropOnTab(int tab) {
  if (!CanDropOnTab(tab, TabCtrl_GetCurSel(tcJobs_)) || tab >= Categories.Count()) return false;
  std::vector<TOVJob*> jobs = SelectedJobs();
  if (jobs.empty()) return false;
  // Only the first selected job moves.
  TOVJob* job = jobs.front();
  job->SetCategory(Categories.Items(tab).Number);
  job->SaveToJobsDir();
  RefillList();
  return true;
}

// ----------------------------------------------------- engine callbacks

void TfOrvane::JobAdded(TOVJob* job) {
  if (!lvJobs_ || (category_ != 0 && job->Category() != category_)) return;
  int row = AddRow(job);
  if (filling_ || row < 0) return;
  Resort();
  row = RowOf(job);
  if (row >= 0) SelectRows({row});
}

void TfOrvane::JobRemoved(TOVJob* job) {
  if (job->ID() == logJob_) {
    // The engine has detached the job's log from the pane.
    logJob_ = 0;
    if (MainLog) MainLog->AttachView(lbLog_);
  }
  if (pendingLog_ == job->ID()) pendingLog_ = 0;
  int row = RowOf(job);
  if (row >= 0) ListView_DeleteItem(lvJobs_, row);
}

void TfOrvane::JobStateChanged(TOVJob* job) {
  int row = RowOf(job);
  if (row >= 0) UpdateRow(row, job);
}

// --------------------------------------------------------- the log pane

TOVLog* TfOrvane::ShownLog() const {
  if (logJob_ != 0 && Jobs)
    if (TOVJob* job = Jobs->FindByID(logJob_)) return job->Log();
  return MainLog;
}

void TfOrvane::ShowLogOf(TOVJob* job) {
  int32_t want = job ? job->ID() : 0;
  if (want == logJob_ && ShownLog() && ShownLog()->View() == lbLog_) return;
  if (TOVLog* old = ShownLog()) old->AttachView(nullptr);
  logJob_ = want;
  if (TOVLog* log = ShownLog()) log->AttachView(lbLog_);
}

std::string TfOrvane::CopyLogText() const {
  int count = static_cast<int>(SendMessageA(lbLog_, LB_GETSELCOUNT, 0, 0));
  std::vector<int> rows(static_cast<size_t>(std::max(0, count)));
  if (count > 0)
    SendMessageA(lbLog_, LB_GETSELITEMS, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(rows.data()));
  std::vector<std::pair<uint8_t, std::string>> lines;
  for (int row : rows) {
    LRESULT n = SendMessageA(lbLog_, LB_GETTEXTLEN, static_cast<WPARAM>(row), 0);
    if (n < 0) continue;
    std::string text(static_cast<size_t>(n) + 1, '\0');
    SendMessageA(lbLog_, LB_GETTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(n));
    auto level = static_cast<uint8_t>(SendMessageA(lbLog_, LB_GETITEMDATA, static_cast<WPARAM>(row), 0));
    lines.emplace_back(level, text);
  }
  return LogLinesText(lines);
}

void TfOrvane::CopyLog() {
  std::string text = CopyLogText();
  if (!text.empty()) CopyTextToClipboard(wnd_, text);
}

void TfOrvane::SelectAllLog() { SendMessageA(lbLog_, LB_SETSEL, TRUE, -1); }

void TfOrvane::ClearLog() {
  if (TOVLog* log = ShownLog()) log->Clear();
}

void TfOrvane::DrawLogLine(const DRAWITEMSTRUCT* d) {
  if (d->itemID == static_cast<UINT>(-1)) return;
  const int group = static_cast<int>(d->itemData <= 5 ? d->itemData : 4);
  COLORREF text, back;
  switch (group) {
    case 0: text = ResolveColor(Settings.clrInfo1Font); back = ResolveColor(Settings.clrInfo1Back); break;
    case 1: text = ResolveColor(Settings.clrInfo2Font); back = ResolveColor(Settings.clrInfo2Back); break;
    case 2: text = ResolveColor(Settings.clrWarningFont); back = ResolveColor(Settings.clrWarningBack); break;
    case 3: text = ResolveColor(Settings.clrErrorFont); back = ResolveColor(Settings.clrErrorBack); break;
    case 5: text = RGB(255, 255, 0); back = RGB(128, 128, 128); break;
    default: text = RGB(0, 0, 0); back = GetSysColor(COLOR_WINDOW); break;
  }
  if (d->itemState & ODS_SELECTED) {
    text = GetSysColor(COLOR_HIGHLIGHTTEXT);
    back = GetSysColor(COLOR_HIGHLIGHT);
  }
  HDC dc = d->hDC;
  RECT r = d->rcItem;
  HBRUSH b = CreateSolidBrush(back);
  FillRect(dc, &r, b);
  DeleteObject(b);
  int x = r.left + 2;
  if (group != 4) {
    static const COLORREF marks[6] = {RGB(60, 110, 200), RGB(46, 139, 87), RGB(230, 180, 0),
                                      RGB(200, 40, 40), 0, RGB(90, 90, 90)};
    HBRUSH mark = CreateSolidBrush(marks[group]);
    HGDIOBJ old = SelectObject(dc, mark);
    HGDIOBJ oldPen = SelectObject(dc, GetStockObject(BLACK_PEN));
    int cy = (r.top + r.bottom) / 2;
    Ellipse(dc, x + 2, cy - 6, x + 14, cy + 6);
    SelectObject(dc, oldPen);
    SelectObject(dc, old);
    DeleteObject(mark);
    x += 18;
  }
  LRESULT n = SendMessageA(lbLog_, LB_GETTEXTLEN, d->itemID, 0);
  std::string line(static_cast<size_t>(std::max<LRESULT>(0, n)) + 1, '\0');
  if (n > 0) SendMessageA(lbLog_, LB_GETTEXT, d->itemID, reinterpret_cast<LPARAM>(line.data()));
  line.resize(static_cast<size_t>(std::max<LRESULT>(0, n)));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, text);
  RECT tr{x, r.top, r.right, r.bottom};
  DrawTextA(dc, line.c_str(), static_cast<int>(line.size()), &tr,
            DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_END_ELLIPSIS);
  if (d->itemState & ODS_FOCUS) DrawFocusRect(dc, &r);
}

void TfOrvane::DrawStatusImage(const DRAWITEMSTRUCT* d) {
  const RECT& r = d->rcItem;
  ImageList_Draw(jobImages_, statusImage_, d->hDC, r.left + (r.right - r.left - 16) / 2,
                 r.top + (r.bottom - r.top - 16) / 2, ILD_TRANSPARENT);
}

// ---------------------------------------------------------- the menus

void TfOrvane::InitMenu(HMENU menu) {
  const bool any = ListView_GetSelectedCount(lvJobs_) > 0;
  if (menu == fileMenu_) {
    CheckMenuItem(menu, cmEnableAutomation, AutomationEnabled() ? MF_CHECKED : MF_UNCHECKED);
  } else if (menu == optionsMenu_) {
    CheckMenuItem(menu, cmViewLog, logVisible_ ? MF_CHECKED : MF_UNCHECKED);
    CheckMenuItem(menu, cmViewToolbar, toolbarVisible_ ? MF_CHECKED : MF_UNCHECKED);
  } else if (menu == jobMenu_) {
    for (UINT id : {cmEditJob, cmDeleteJob, cmRunJob, cmStopJob, cmDuplicateJob, cmCreateShortcut})
      EnableMenuItem(menu, id, any ? MF_ENABLED : MF_GRAYED);
  }
}

void TfOrvane::ListMenu(int x, int y) {
  if (x == -1 && y == -1) {
    RECT r;
    GetWindowRect(lvJobs_, &r);
    x = r.left + 20;
    y = r.top + 20;
  }
  const bool any = ListView_GetSelectedCount(lvJobs_) > 0;
  const UINT on = any ? MF_ENABLED : MF_GRAYED;
  TOVJob* focused = FocusedJob();
  HMENU menu = CreatePopupMenu();
  AppendMenuA(menu, MF_STRING, cmNewJob, "New...\tIns");
  AppendMenuA(menu, MF_STRING | on, cmEditJob, "Edit...\tAlt+Enter");
  AppendMenuA(menu, MF_STRING | on, cmDeleteJob, "Delete\tCtrl+Del");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING | on, cmRunJob, "Run\tCtrl+Enter");
  AppendMenuA(menu, MF_STRING | on, cmStopJob, "&Stop");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING | on, cmDuplicateJob, "D&uplicate");
  AppendMenuA(menu, MF_STRING | on, cmCreateShortcut, "Create Shortcut");
  AppendMenuA(menu, MF_STRING | on | (focused && focused->Active() ? MF_CHECKED : 0), cmActiveJob,
              "Active");
  AppendMenuA(menu, MF_STRING | on, cmRenameJob, "Edit Job name\tF2");
  UINT id = static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, x, y, 0, wnd_, nullptr));
  DestroyMenu(menu);
  if (id) Command(id);
}

void TfOrvane::LogMenu(int x, int y) {
  if (x == -1 && y == -1) {
    RECT r;
    GetWindowRect(lbLog_, &r);
    x = r.left + 20;
    y = r.top + 20;
  }
  HMENU menu = CreatePopupMenu();
  AppendMenuA(menu, MF_STRING, cmClearLog, "Clear log\tCtrl+Del");
  AppendMenuA(menu, MF_STRING, cmCopyLog, "Copy selected to clipboard\tCtrl+C");
  AppendMenuA(menu, MF_STRING, cmSelectAllLog, "Select all\tCtrl+A");
  UINT id = static_cast<UINT>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, x, y, 0, wnd_, nullptr));
  DestroyMenu(menu);
  if (id) Command(id);
}

// -------------------------------------------------------- notifications

LRESULT TfOrvane::Notify(NMHDR* hdr) {
  if (hdr->hwndFrom == tcJobs_) {
    if (hdr->code == TCN_SELCHANGE) SelectTab(TabCtrl_GetCurSel(tcJobs_));
    return 0;
  }
  if (hdr->hwndFrom == toolBar_) {
    if (hdr->code == TBN_DROPDOWN) {
      RunMenu();
      return TBDDRET_DEFAULT;
    }
    if (hdr->code == TTN_GETDISPINFOA) return 0;
    return 0;
  }
  if (hdr->code == TTN_GETDISPINFOA) {
    auto* tip = reinterpret_cast<NMTTDISPINFOA*>(hdr);
    switch (tip->hdr.idFrom) {
      case cmNewJob: tip->lpszText = const_cast<char*>("Create new job"); break;
      case cmEditJob: tip->lpszText = const_cast<char*>("Edit selected job"); break;
      case cmDeleteJob: tip->lpszText = const_cast<char*>("Delete selected job"); break;
      case cmRunJob: tip->lpszText = const_cast<char*>("Force run selected job"); break;
      case cmStopJob: tip->lpszText = const_cast<char*>("Stop job"); break;
      case cmActivateCategory: tip->lpszText = const_cast<char*>("Activate Jobs in category"); break;
      case cmDeactivateCategory: tip->lpszText = const_cast<char*>("Deactivate Jobs in category"); break;
      default: break;
    }
    return 0;
  }
  if (hdr->hwndFrom != lvJobs_) return 0;
  switch (hdr->code) {
    case LVN_COLUMNCLICK: {
      int column = reinterpret_cast<NMLISTVIEW*>(hdr)->iSubItem;
      SortBy(column, column == sortColumn_ ? !sortAscending_ : sortAscending_);
      return 0;
    }
    case LVN_ITEMCHANGED: {
      auto* change = reinterpret_cast<NMLISTVIEW*>(hdr);
      if (filling_ || !(change->uChanged & LVIF_STATE) ||
          ((change->uOldState ^ change->uNewState) & LVIS_SELECTED) == 0 || change->iItem < 0)
        return 0;
      TOVJob* job = (change->uNewState & LVIS_SELECTED) ? RowJob(change->iItem) : nullptr;
      pendingLog_ = job ? job->ID() : 0;
      SetTimer(wnd_, kLogSwitchTimer, 100, nullptr);
      return 0;
    }
    case NM_CUSTOMDRAW: {
      // A job hidden from menus is drawn ghosted.
      auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(hdr);
      if (draw->nmcd.dwDrawStage == CDDS_PREPAINT) return CDRF_NOTIFYITEMDRAW;
      if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT && Jobs) {
        TOVJob* job = Jobs->FindByID(static_cast<int32_t>(draw->nmcd.lItemlParam));
        if (job && job->Hidden()) draw->clrText = GetSysColor(COLOR_GRAYTEXT);
      }
      return CDRF_DODEFAULT;
    }
    case LVN_BEGINDRAG:
      dragging_ = true;
      SetCapture(wnd_);
      return 0;
    case LVN_BEGINLABELEDITA:
      return FALSE;
    case LVN_ENDLABELEDITA:
      return EndRename(reinterpret_cast<NMLVDISPINFOA*>(hdr)) ? TRUE : FALSE;
    case NM_CLICK:
    case NM_DBLCLK:
      if (IsActivation(hdr->code) && reinterpret_cast<NMITEMACTIVATE*>(hdr)->iItem >= 0)
        PostMessageA(wnd_, WM_COMMAND, cmEditJob, 0);
      return 0;
    default:
      return 0;
  }
}

bool TfOrvane::EndRename(NMLVDISPINFOA* info) {
  if (!info->item.pszText) return false;
  TOVJob* job = RowJob(info->item.iItem);
  if (!job) return false;
  std::string name = info->item.pszText;
  if (name.empty() || name == job->Name()) return false;
  if (job->Running()) {
    ShowInfo(wnd_, Running(job));
    return false;
  }
  job->SetName(name);
  try {
    job->SaveToJobsDir();
  } catch (const std::exception& e) {
    HostLog(OV_LOG_ERROR, e.what());
  }
  PostMessageA(wnd_, kResortMessage, 0, 0);
  return true;
}

// ------------------------------------------------------------ commands

void TfOrvane::Command(UINT id) {
  if (id == cmExit) {
    RequestExit();
    return;
  }
  if (exiting_) return;
  if (id >= cmPluginMenuFirst && id <= cmPluginMenuLast) {
    TBusy busy(busy_);
    PluginMenuCommand(id);
    return;
  }
  if (starting_) return;
  TBusy busy(busy_);
  try {
    if (id >= cmJobMenuFirst && id <= cmJobMenuLast) {
      size_t k = id - cmJobMenuFirst;
      if (k < menuJobs_.size() && Jobs && Jobs->FindByID(menuJobs_[k]))
        HostRecord.RunJob(menuJobs_[k], "Manual run");
      return;
    }
    switch (id) {
      case cmEnableAutomation: ToggleAutomationCommand(); break;
      case cmNewJob: NewJob(); break;
      case cmEditJob: EditJob(FocusedJob()); break;
      case cmDeleteJob: DeleteJobs(); break;
      case cmRunJob: RunJobs(); break;
      case cmStopJob: StopJobs(); break;
      case cmDuplicateJob: DuplicateJob(); break;
      case cmCreateShortcut: CreateShortcut(); break;
      case cmActiveJob: ToggleActive(); break;
      case cmRenameJob: {
        int row = ListView_GetNextItem(lvJobs_, -1, LVNI_FOCUSED | LVNI_SELECTED);
        if (row < 0) row = ListView_GetNextItem(lvJobs_, -1, LVNI_SELECTED);
        if (row >= 0) {
          SetFocus(lvJobs_);
          ListView_EditLabel(lvJobs_, row);
        }
        break;
      }
      case cmActivateCategory: ActivateCategory(true); break;
      case cmDeactivateCategory: ActivateCategory(false); break;
      case cmPreferences: Preferences(); break;
      case cmViewLog: ToggleLog(); break;
      case cmViewToolbar: ToggleToolbar(); break;
      case cmVariables: ShowVariables(wnd_); break;
      case cmQuickJob: QuickJobCommand(wnd_, category_); break;
      case cmAbout: ShowAbout(wnd_); break;
      case cmUserManual: OpenUserManual(wnd_); break;
      case cmSendMail: OpenSupportMail(wnd_); break;
      case cmWebPage: OpenWebPage(wnd_); break;
      case cmCheckVersion: StartVersionCheck(wnd_, helpMenu_, cmCheckVersion); break;
      case cmMinimizeRestore: MinimizeRestore(); break;
      case cmClearLog: ClearLog(); break;
      case cmCopyLog: CopyLog(); break;
      case cmSelectAllLog: SelectAllLog(); break;
      default: break;
    }
  } catch (const std::exception& e) {
    HostLog(OV_LOG_ERROR, e.what());
  }
}

void TfOrvane::ToggleAutomationCommand() {
  ToggleAutomation();
  IconRule();
  for (int row = 0; row < ListView_GetItemCount(lvJobs_); ++row)
    if (TOVJob* job = RowJob(row)) UpdateRow(row, job);
}

void TfOrvane::NewJob() {
  if (NewJobCommand(wnd_, category_)) Resort();
}

void TfOrvane::EditJob(TOVJob* job) {
  if (!job) return;
  const int32_t id = job->ID();
  bool confirmed = EditJobCommand(wnd_, job);
  // The job may have gone meanwhile (a run that deletes it).
  job = Jobs ? Jobs->FindByID(id) : nullptr;
  if (!job) return;
  int row = RowOf(job);
  if (confirmed && category_ != 0 && job->Category() != category_) {
    RefillList();
    return;
  }
  if (row >= 0) UpdateRow(row, job);
  if (confirmed) Resort();
}

void TfOrvane::DeleteJobs() {
  std::vector<TOVJob*> jobs = SelectedJobs();
  if (jobs.empty()) return;
  std::string question = DeleteQuestion(static_cast<int>(jobs.size()), jobs.front()->Name(),
                                        jobs.front()->Running());
  if (question.empty() || !Confirm(wnd_, question)) return;
  // From the last row to the first; running jobs stay.
  std::vector<int32_t> ids;
  for (TOVJob* job : jobs) ids.push_back(job->ID());
  for (auto it = ids.rbegin(); it != ids.rend(); ++it) {
    TOVJob* job = Jobs ? Jobs->FindByID(*it) : nullptr;
    if (!job || job->Running()) continue;
    Jobs->Delete(Jobs->IndexOf(job));
  }
}

void TfOrvane::RunJobs() {
  std::vector<int32_t> ids;
  for (TOVJob* job : SelectedJobs())
    if (!job->Running()) ids.push_back(job->ID());
  for (int32_t id : ids)
    if (Jobs && Jobs->FindByID(id)) HostRecord.RunJob(id, "Manual run");
}

void TfOrvane::StopJobs() {
  std::vector<int32_t> ids;
  for (TOVJob* job : SelectedJobs()) ids.push_back(job->ID());
  for (int32_t id : ids) {
    TOVJob* job = Jobs ? Jobs->FindByID(id) : nullptr;
    if (!job || !job->Running()) continue;
    if (!job->StopRequested()) {
      if (Confirm(wnd_, Format("Do you really want to stop Job [%s]?", job->Name().c_str()))) {
        job = Jobs ? Jobs->FindByID(id) : nullptr;
        if (job && job->Running()) job->Stop();
      }
    } else if (Confirm(wnd_, Format("Do you really want to kill Job [%s]?", job->Name().c_str()))) {
      job = Jobs ? Jobs->FindByID(id) : nullptr;
      if (job && job->Running()) job->Kill();
    }
  }
}

void TfOrvane::DuplicateJob() {
  TOVJob* source = FocusedJob();
  if (!source || !Jobs) return;
  auto copy = std::make_unique<TOVJob>(Jobs);
  // Nothing is armed before the copy is in the list under its own ID.
  copy->SetEditing(true);
  copy->LoadFromFile(IncludeTrailingBackslash(Settings.JobDir) + source->FileName());
  int32_t id;
  do {
    id = NewJobID();
  } while (Jobs->FindByID(id) || FileExists(IncludeTrailingBackslash(Settings.JobDir) + JobFileName(id)));
  copy->SetID(id);
  copy->SetName("Copy of " + source->Name());
  copy->SetEditing(false);
  TOVJob* added = copy.release();
  Jobs->Add(added);
  try {
    added->SaveToJobsDir();
  } catch (...) {
    int index = Jobs->IndexOf(added);
    if (index >= 0) Jobs->Delete(index);
    throw;
  }
  Resort();
  int row = RowOf(added);
  if (row >= 0) SelectRows({row});
  EditJob(added);
}

void TfOrvane::CreateShortcut() {
  TOVJob* job = FocusedJob();
  if (!job) return;
  try {
    CreateJobShortcut(*job);
  } catch (const std::exception& e) {
    ShowError(wnd_, e.what());
  }
}

void TfOrvane::ToggleActive() {
  std::vector<int32_t> ids;
  for (TOVJob* job : SelectedJobs()) ids.push_back(job->ID());
  for (int32_t id : ids) {
    TOVJob* job = Jobs ? Jobs->FindByID(id) : nullptr;
    if (!job) continue;
    if (job->Running()) {
      ShowInfo(wnd_, Running(job));
      continue;
    }
    job->SetActive(job->Active() ? 0 : -1);
    job->SaveToJobsDir();
    int row = RowOf(job);
    if (row >= 0) UpdateRow(row, job);
  }
}

void TfOrvane::ActivateCategory(bool active) {
  if (category_ == 0) return;
  for (int row = 0; row < ListView_GetItemCount(lvJobs_); ++row) {
    TOVJob* job = RowJob(row);
    if (!job) continue;
    job->SetActive(active ? -1 : 0);
    job->SaveToJobsDir();
    UpdateRow(row, job);
  }
}

void TfOrvane::ToggleLog() {
  logVisible_ = !logVisible_;
  Settings.ViewLog = logVisible_;
  Layout();
}

void TfOrvane::ToggleToolbar() {
  toolbarVisible_ = !toolbarVisible_;
  Layout();
}

void TfOrvane::Preferences() {
  ShowPreferences(wnd_);
  InvalidateRect(lbLog_, nullptr, TRUE);
  ApplyHotTrackToList(lvJobs_);
  FillTabs();
  RefillList();
}
