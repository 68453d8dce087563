#include "uJob.h"

#include <commctrl.h>
#include <windowsx.h>

#include <algorithm>

#include "ByteStream.h"
#include "Host.h"
#include "OVClassesJob.h"
#include "OVClassesJobs.h"
#include "OVClassesPlugins.h"
#include "OVError.h"
#include "OVMsgBox.h"
#include "uJobRes.h"
#include "uSelectItem.h"
#include "uSettings.h"

namespace {

constexpr int kStepsPage = 0;
constexpr int kRunsPage = 1;
constexpr int kAdvancedPage = 2;
constexpr int kAfterRunCount = 3;
constexpr int kPriorityCount = 6;

const int kStepsControls[] = {IDC_LVJOBSTEPS, IDC_BSTEPUP,     IDC_BSTEPDOWN,
                              IDC_BADDSTEP,   IDC_BCONFIGSTEP, IDC_BREMOVESTEP};
const int kRunsControls[] = {IDC_LVJOBRUNS, IDC_CBRUNONSTART, IDC_CBRUNONEXIT,
                             IDC_BADDRUN,   IDC_BCONFIGRUN,   IDC_BREMOVERUN};
const int kAdvancedControls[] = {
    IDC_CBTOLOG,         IDC_CBHIDDEN,        IDC_GBAFTERRUN,      IDC_RBAFTERRUN0,
    IDC_RBAFTERRUN0 + 1, IDC_RBAFTERRUN0 + 2, IDC_GBPRIORITY,      IDC_RBPRIORITY0,
    IDC_RBPRIORITY0 + 1, IDC_RBPRIORITY0 + 2, IDC_RBPRIORITY0 + 3, IDC_RBPRIORITY0 + 4,
    IDC_RBPRIORITY0 + 5};

const char kUnknownPrefix[] = "(UNKNOWN) ";

TOVPlugin* PluginOf(int32_t id) { return Plugins ? Plugins->FindByID(id) : nullptr; }

TOVPlugin& LoadedPlugin(int32_t id) {
  TOVPlugin* plugin = PluginOf(id);
  if (!plugin) RaiseError("Unknown plugin; ID=%d", static_cast<int>(id));
  return *plugin;
}

// A block that a cancelled or failed configuration of a new item left in
// its record belongs to nobody: it goes back to the allocator.
void FreeLeftBlock(void* data, int32_t size) {
  if (data && size > 0 && HostRecord.Free) HostRecord.Free(&data, size);
}

// Configures a new item's fresh record: true when confirmed; otherwise, and
// when the plug-in raises, whatever block it left is freed.
template <class TRecord, class TCall>
bool ConfigureNew(TRecord& record, TCall call) {
  bool confirmed = false;
  try {
    confirmed = call(&record);
  } catch (...) {
    FreeLeftBlock(record.Data, record.Size);
    throw;
  }
  if (!confirmed) FreeLeftBlock(record.Data, record.Size);
  return confirmed;
}

void AddColumn(HWND list, const char* text) {
  RECT rc{};
  GetClientRect(list, &rc);
  LVCOLUMNA c{};
  c.mask = LVCF_TEXT | LVCF_WIDTH;
  c.pszText = const_cast<char*>(text);
  c.cx = std::max(50, static_cast<int>(rc.right) - GetSystemMetrics(SM_CXVSCROLL));
  SendMessageA(list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&c));
}

HIMAGELIST NewImages() {
  HIMAGELIST images = ImageList_Create(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON),
                                       ILC_COLOR32 | ILC_MASK, 8, 8);
  ImageList_AddIcon(images, LoadIcon(nullptr, IDI_APPLICATION));
  return images;
}

int AddImage(HIMAGELIST images, HICON icon) {
  if (!icon) return 0;
  int i = ImageList_AddIcon(images, icon);
  return i < 0 ? 0 : i;
}

void InsertRow(HWND list, int row, const std::string& caption, int image, bool checked) {
  LVITEMA item{};
  item.mask = LVIF_TEXT | LVIF_IMAGE;
  item.iItem = row;
  item.pszText = const_cast<char*>(caption.c_str());
  item.iImage = image;
  int at = static_cast<int>(SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item)));
  LVITEMA state{};
  state.stateMask = LVIS_STATEIMAGEMASK;
  state.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
  SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(at), reinterpret_cast<LPARAM>(&state));
}

void SetCaption(HWND list, int row, const std::string& caption) {
  LVITEMA item{};
  item.pszText = const_cast<char*>(caption.c_str());
  SendMessageA(list, LVM_SETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

int RowCount(HWND list) { return static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0)); }

bool StateChecked(UINT state) { return ((state & LVIS_STATEIMAGEMASK) >> 12) == 2; }

// The label editor takes Enter and Escape itself: they end the editing,
// never the dialog.
LRESULT CALLBACK LabelKeys(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR) {
  if (msg == WM_GETDLGCODE) return DefSubclassProc(wnd, msg, wp, lp) | DLGC_WANTALLKEYS;
  if (msg == WM_NCDESTROY) RemoveWindowSubclass(wnd, LabelKeys, 1);
  return DefSubclassProc(wnd, msg, wp, lp);
}

}  // namespace

// ----------------------------------------------------------- configuration

bool ConfigureStep(TOVPlugin& plugin, TOVJobStep& step) {
  TOVMethodParams record = step.Params();
  const void* before = record.Data;
  bool confirmed = false;
  try {
    confirmed = plugin.ConfigMethod(step.MethodIndex(), &record);
  } catch (...) {
    if (record.Data != before) step.SetParams(record.Size, record.Data);
    throw;
  }
  if (confirmed || record.Data != before) step.SetParams(record.Size, record.Data);
  return confirmed;
}

bool ConfigureRun(TOVPlugin& plugin, TOVJobRun& event) {
  TOVRunnerParams record = *event.Params();
  const void* before = record.Data;
  bool confirmed = false;
  try {
    confirmed = plugin.ConfigRunner(event.RunnerIndex(), &record);
  } catch (...) {
    if (record.Data != before) event.SetParams(record.Size, record.Data);
    throw;
  }
  if (confirmed || record.Data != before) event.SetParams(record.Size, record.Data);
  return confirmed;
}

// ------------------------------------------------------------------- TfJob

TfJob::TfJob(TOVJob* job, bool newJob) : OVDialog(IDD_JOB), job_(job), new_(newJob) {}

TfJob::~TfJob() {
  if (stepImages_) ImageList_Destroy(stepImages_);
  if (runImages_) ImageList_Destroy(runImages_);
}

bool TfJob::OnInit() {
  HWND pages = Item(IDC_PCJOB);
  const char* tabs[] = {"Steps", "Triggering Events", "Advanced"};
  for (int i = 0; i < 3; ++i) {
    TCITEMA tab{};
    tab.mask = TCIF_TEXT;
    tab.pszText = const_cast<char*>(tabs[i]);
    SendMessageA(pages, TCM_INSERTITEMA, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&tab));
  }

  const DWORD ex = LVS_EX_CHECKBOXES | LVS_EX_GRIDLINES | LVS_EX_FULLROWSELECT;
  HWND steps = Item(IDC_LVJOBSTEPS), runs = Item(IDC_LVJOBRUNS);
  AddColumn(steps, "Step List");
  AddColumn(runs, "Event List");
  stepImages_ = NewImages();
  runImages_ = NewImages();
  for (HWND l : {steps, runs}) {
    SendMessageA(l, LVM_SETEXTENDEDLISTVIEWSTYLE, ex, ex);
    SetWindowSubclass(l, ListKeys, 1, reinterpret_cast<DWORD_PTR>(this));
  }
  SendMessageA(steps, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(stepImages_));
  SendMessageA(runs, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(runImages_));

  // The move buttons' hints.
  tips_ = CreateWindowExA(0, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0, Handle(),
                          nullptr, nullptr, nullptr);
  const std::pair<int, const char*> hints[] = {{IDC_BSTEPUP, "Move step up"},
                                               {IDC_BSTEPDOWN, "Move step down"}};
  for (const auto& [id, hint] : hints) {
    TTTOOLINFOA tool{};
    tool.cbSize = sizeof tool;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = Handle();
    tool.uId = reinterpret_cast<UINT_PTR>(Item(id));
    tool.lpszText = const_cast<char*>(hint);
    if (tips_) SendMessageA(tips_, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  }

  SendDlgItemMessageA(Handle(), IDC_EJOBNAME, EM_LIMITTEXT, kMaxNameLength, 0);
  SetControls();
  ShowPage(kStepsPage);
  FillSteps();
  FillRuns();
  // The title comes last: whoever finds the dialog by it finds it filled.
  SetWindowTextA(Handle(), new_ ? "Add job" : "Edit job");
  if (new_) {
    Focus(IDC_EJOBNAME);  // the name selected, ready to be typed over
    return false;
  }
  return true;
}

// Sets every control from the job; none of it counts as a change. A value
// the dialog cannot show (a priority above 5, an unknown action after the
// run, a category that is gone) leaves its control blank and the job's
// value as it is.
void TfJob::SetControls() {
  filling_ = true;
  SetItemText(IDC_EJOBNAME, job_->Name());
  SetChecked(IDC_CBAUTOMAT, job_->Active() != 0);
  SetChecked(IDC_CBTOLOG, job_->ToLog());
  SetChecked(IDC_CBRUNONSTART, job_->RunOnStart());
  SetChecked(IDC_CBRUNONEXIT, job_->RunOnExit());
  SetChecked(IDC_CBHIDDEN, job_->Hidden());
  if (job_->ActionAfterRun() < kAfterRunCount)
    CheckRadio(IDC_RBAFTERRUN0, IDC_RBAFTERRUN0 + kAfterRunCount - 1, IDC_RBAFTERRUN0 + job_->ActionAfterRun());
  if (job_->Priority() < kPriorityCount)
    CheckRadio(IDC_RBPRIORITY0, IDC_RBPRIORITY0 + kPriorityCount - 1, IDC_RBPRIORITY0 + job_->Priority());
  ComboClear(IDC_CBCATS);
  int select = 0;
  for (int i = 0; i < Categories.Count(); ++i) {
    const TCategory& c = Categories.Items(i);
    int at = ComboAdd(IDC_CBCATS, i == 0 ? "< not defined >" : c.Name);
    SendDlgItemMessageA(Handle(), IDC_CBCATS, CB_SETITEMDATA, static_cast<WPARAM>(at), c.Number);
    if (c.Number == job_->Category() && i > 0) select = at;
  }
  SetComboIndex(IDC_CBCATS, select);
  filling_ = false;
}

void TfJob::ShowPage(int page) {
  SendMessageA(Item(IDC_PCJOB), TCM_SETCURSEL, static_cast<WPARAM>(page), 0);
  for (int id : kStepsControls) Show(id, page == kStepsPage);
  for (int id : kRunsControls) Show(id, page == kRunsPage);
  for (int id : kAdvancedControls) Show(id, page == kAdvancedPage);
}

bool TfJob::StepKnown(int index) const {
  TOVJobStep* step = job_->Steps(index);
  TOVPlugin* plugin = PluginOf(step->PluginID());
  if (!plugin) return false;
  try {
    plugin->MethodIcon(step->MethodIndex());
    return true;
  } catch (...) {
    return false;
  }
}

bool TfJob::RunKnown(int index) const {
  TOVJobRun* event = job_->Events(index);
  TOVPlugin* plugin = PluginOf(event->PluginID());
  if (!plugin) return false;
  try {
    plugin->RunnerIcon(event->RunnerIndex());
    return true;
  } catch (...) {
    return false;
  }
}

void TfJob::FillSteps() {
  HWND list = Item(IDC_LVJOBSTEPS);
  filling_ = true;
  SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
  ImageList_RemoveAll(stepImages_);
  ImageList_AddIcon(stepImages_, LoadIcon(nullptr, IDI_APPLICATION));
  for (int i = 0; i < job_->StepCount(); ++i) {
    TOVJobStep* step = job_->Steps(i);
    bool known = StepKnown(i);
    int image = known ? AddImage(stepImages_, PluginOf(step->PluginID())->MethodIcon(step->MethodIndex())) : 0;
    // A row of a missing plug-in shows its stored flag but cannot change it.
    InsertRow(list, i, known ? step->Name() : kUnknownPrefix + step->Name(), image, step->Enabled());
  }
  filling_ = false;
}

std::string TfJob::RunCaption(int index) const {
  TOVJobRun* event = job_->Events(index);
  if (!RunKnown(index)) return "(UNKNOWN)";
  TOVRunnerParams copy = *event->Params();
  return PluginOf(event->PluginID())->RunnerDescription(event->RunnerIndex(), &copy);
}

void TfJob::FillRuns() {
  HWND list = Item(IDC_LVJOBRUNS);
  filling_ = true;
  SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
  ImageList_RemoveAll(runImages_);
  ImageList_AddIcon(runImages_, LoadIcon(nullptr, IDI_APPLICATION));
  for (int i = 0; i < job_->EventCount(); ++i) {
    TOVJobRun* event = job_->Events(i);
    bool known = RunKnown(i);
    int image = known ? AddImage(runImages_, PluginOf(event->PluginID())->RunnerIcon(event->RunnerIndex())) : 0;
    InsertRow(list, i, RunCaption(i), image, event->Enabled());
  }
  filling_ = false;
}

void TfJob::SelectRow(int listId, int row) {
  HWND list = Item(listId);
  if (row < 0 || row >= RowCount(list)) return;
  LVITEMA item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  SendMessageA(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(row), FALSE);
  SendMessageA(Handle(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(list), TRUE);
}

// The selected row (the list allows one).
int TfJob::FocusedRow(int listId) const {
  return static_cast<int>(
      SendMessageA(Item(listId), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
}

// ------------------------------------------------------------------ events

bool TfJob::OnCommand(int id, int code, HWND) {
  if (code == CBN_SELCHANGE && id == IDC_CBCATS) {
    ControlChanged(id);
    return true;
  }
  if (code != BN_CLICKED) return false;
  switch (id) {
    case IDC_BADDSTEP:
      bAddStepClick();
      return true;
    case IDC_BCONFIGSTEP:
      bConfigStepClick();
      return true;
    case IDC_BREMOVESTEP:
      bRemoveStepClick();
      return true;
    case IDC_BSTEPUP:
      MoveStep(-1);
      return true;
    case IDC_BSTEPDOWN:
      MoveStep(1);
      return true;
    case IDM_EDITSTEPNAME: {
      int row = FocusedRow(IDC_LVJOBSTEPS);
      if (row >= 0) {
        SetFocus(Item(IDC_LVJOBSTEPS));
        SendMessageA(Item(IDC_LVJOBSTEPS), LVM_EDITLABELA, static_cast<WPARAM>(row), 0);
      }
      return true;
    }
    case IDM_DELETEALLSTEPS:
      DeleteAllSteps();
      return true;
    case IDM_SELECTALLSTEPS:
    case IDM_UNSELECTALLSTEPS:
      CheckAll(IDC_LVJOBSTEPS, id == IDM_SELECTALLSTEPS);
      return true;
    case IDC_BADDRUN:
      bAddRunClick();
      return true;
    case IDC_BCONFIGRUN:
      bConfigRunClick();
      return true;
    case IDC_BREMOVERUN:
      bRemoveRunClick();
      return true;
    case IDM_DELETEALLRUNS:
      DeleteAllRuns();
      return true;
    case IDM_SELECTALLRUNS:
    case IDM_UNSELECTALLRUNS:
      CheckAll(IDC_LVJOBRUNS, id == IDM_SELECTALLRUNS);
      return true;
    case IDC_CBAUTOMAT:
    case IDC_CBTOLOG:
    case IDC_CBHIDDEN:
    case IDC_CBRUNONSTART:
    case IDC_CBRUNONEXIT:
      ControlChanged(id);
      return true;
    default:
      if ((id >= IDC_RBAFTERRUN0 && id < IDC_RBAFTERRUN0 + kAfterRunCount) ||
          (id >= IDC_RBPRIORITY0 && id < IDC_RBPRIORITY0 + kPriorityCount)) {
        ControlChanged(id);
        return true;
      }
      return false;
  }
}

// Every control but the name takes effect on the job at once.
void TfJob::ControlChanged(int id) {
  if (filling_) return;
  switch (id) {
    case IDC_CBAUTOMAT:
      // A job being edited (a new one included) arms nothing here: its
      // events come on when the editor has closed.
      job_->SetActive(IsChecked(id) ? -1 : 0);
      return;
    case IDC_CBTOLOG:
      job_->SetToLog(IsChecked(id));
      return;
    case IDC_CBHIDDEN:
      job_->SetHidden(IsChecked(id));
      return;
    case IDC_CBRUNONSTART:
      job_->SetRunOnStart(IsChecked(id));
      return;
    case IDC_CBRUNONEXIT:
      job_->SetRunOnExit(IsChecked(id));
      return;
    case IDC_CBCATS: {
      int at = ComboIndex(id);
      if (at >= 0)
        job_->SetCategory(static_cast<int32_t>(
            SendDlgItemMessageA(Handle(), id, CB_GETITEMDATA, static_cast<WPARAM>(at), 0)));
      return;
    }
    default:
      if (!IsChecked(id)) return;
      if (id >= IDC_RBAFTERRUN0 && id < IDC_RBAFTERRUN0 + kAfterRunCount)
        job_->SetActionAfterRun(static_cast<uint8_t>(id - IDC_RBAFTERRUN0));
      else
        job_->SetPriority(static_cast<uint8_t>(id - IDC_RBPRIORITY0));
      return;
  }
}

bool TfJob::OnNotify(int id, NMHDR* header, LRESULT& result) {
  if (id == IDC_PCJOB && header->code == TCN_SELCHANGE) {
    ShowPage(static_cast<int>(SendMessageA(header->hwndFrom, TCM_GETCURSEL, 0, 0)));
    return true;
  }
  if (id != IDC_LVJOBSTEPS && id != IDC_LVJOBRUNS) return false;
  HWND list = header->hwndFrom;
  switch (header->code) {
    case LVN_ITEMCHANGING:
      result = ItemChanging(id, *reinterpret_cast<NMLISTVIEW*>(header)) ? TRUE : FALSE;
      return true;
    case LVN_ITEMCHANGED:
      ItemChanged(id, *reinterpret_cast<NMLISTVIEW*>(header));
      return true;
    case NM_DBLCLK: {
      // Configures when the press hit the row's picture or label, not its
      // check box.
      auto* act = reinterpret_cast<NMITEMACTIVATE*>(header);
      LVHITTESTINFO hit{};
      hit.pt = act->ptAction;
      int row = static_cast<int>(SendMessageA(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
      pressedOnItem_ = row >= 0 && (hit.flags & (LVHT_ONITEMICON | LVHT_ONITEMLABEL)) != 0;
      if (pressedOnItem_) {
        if (id == IDC_LVJOBSTEPS)
          bConfigStepClick();
        else
          bConfigRunClick();
      }
      return true;
    }
    case LVN_BEGINLABELEDIT: {
      auto* info = reinterpret_cast<NMLVDISPINFOA*>(header);
      if (id != IDC_LVJOBSTEPS || info->item.iItem < 0 || info->item.iItem >= job_->StepCount()) {
        result = TRUE;
        return true;
      }
      // The editing starts from the step's own name, never from the
      // caption's "(UNKNOWN) " prefix.
      if (HWND edit = reinterpret_cast<HWND>(SendMessageA(list, LVM_GETEDITCONTROL, 0, 0))) {
        SetWindowTextA(edit, job_->Steps(info->item.iItem)->Name().c_str());
        SendMessageA(edit, EM_SETSEL, 0, -1);
        SetWindowSubclass(edit, LabelKeys, 1, 0);
      }
      result = FALSE;
      return true;
    }
    case LVN_ENDLABELEDIT: {
      auto* info = reinterpret_cast<NMLVDISPINFOA*>(header);
      int row = info->item.iItem;
      result = FALSE;  // the caption is set here, with its prefix when due
      if (!info->item.pszText || row < 0 || row >= job_->StepCount()) return true;
      std::string name = info->item.pszText;
      // An empty name would leave a blank row: the old name stays.
      if (!name.empty()) job_->Steps(row)->SetName(name);
      const std::string& kept = job_->Steps(row)->Name();
      SetCaption(list, row, StepKnown(row) ? kept : kUnknownPrefix + kept);
      return true;
    }
    case LVN_BEGINDRAG:
      if (id == IDC_LVJOBSTEPS) {
        dragFrom_ = reinterpret_cast<NMLISTVIEW*>(header)->iItem;
        dragging_ = dragFrom_ >= 0;
        if (dragging_) SetCapture(Handle());
      }
      return true;
    default:
      return false;
  }
}

// A check box of a missing plug-in's row never changes: its flag is kept.
bool TfJob::ItemChanging(int listId, const NMLISTVIEW& change) {
  if (filling_ || !(change.uChanged & LVIF_STATE)) return false;
  if (((change.uNewState ^ change.uOldState) & LVIS_STATEIMAGEMASK) == 0) return false;
  if (change.iItem < 0) return false;
  return listId == IDC_LVJOBSTEPS ? !StepKnown(change.iItem) : !RunKnown(change.iItem);
}

void TfJob::ItemChanged(int listId, const NMLISTVIEW& change) {
  if (filling_ || !(change.uChanged & LVIF_STATE) || change.iItem < 0) return;
  if (((change.uNewState ^ change.uOldState) & LVIS_STATEIMAGEMASK) == 0) return;
  bool checked = StateChecked(change.uNewState);
  if (listId == IDC_LVJOBSTEPS) {
    if (change.iItem >= job_->StepCount() || !StepKnown(change.iItem)) return;
    TOVJobStep* step = job_->Steps(change.iItem);
    if (step->Enabled() != checked) step->SetEnabled(checked ? -1 : 0);
  } else {
    if (change.iItem >= job_->EventCount() || !RunKnown(change.iItem)) return;
    TOVJobRun* event = job_->Events(change.iItem);
    if (event->Enabled() != checked) event->SetEnabled(checked ? -1 : 0);
  }
}

bool TfJob::OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) {
  switch (msg) {
    case WM_CONTEXTMENU: {
      HWND control = reinterpret_cast<HWND>(wp);
      if (control != Item(IDC_LVJOBSTEPS) && control != Item(IDC_LVJOBRUNS)) return false;
      int x = GET_X_LPARAM(lp), y = GET_Y_LPARAM(lp);
      if (x == -1 && y == -1) {
        // From the keyboard: at the list's corner.
        POINT pt{0, 0};
        ClientToScreen(control, &pt);
        x = pt.x;
        y = pt.y;
      }
      PopupMenu(control, x, y);
      result = TRUE;
      return true;
    }
    case WM_LBUTTONUP:
      if (!dragging_) return false;
      {
        dragging_ = false;
        ReleaseCapture();
        HWND list = Item(IDC_LVJOBSTEPS);
        LVHITTESTINFO hit{};
        hit.pt = POINT{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        MapWindowPoints(Handle(), list, &hit.pt, 1);
        int to = static_cast<int>(SendMessageA(list, LVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
        if (to >= 0) MoveStepTo(dragFrom_, to);
      }
      result = TRUE;
      return true;
    case WM_CAPTURECHANGED:
      dragging_ = false;
      return false;
    default:
      return false;
  }
}

void TfJob::PopupMenu(HWND list, int x, int y) {
  HMENU menu = CreatePopupMenu();
  if (list == Item(IDC_LVJOBSTEPS)) {
    AppendMenuA(menu, MF_STRING, IDM_EDITSTEPNAME, "&Edit name\tF2");
    AppendMenuA(menu, MF_STRING, IDC_BADDSTEP, "&Add...\tIns");
    AppendMenuA(menu, MF_STRING, IDC_BCONFIGSTEP, "&Configure...\tAlt+Enter");
    AppendMenuA(menu, MF_STRING, IDC_BREMOVESTEP, "&Delete\tCtrl+Del");
    AppendMenuA(menu, MF_STRING, IDM_DELETEALLSTEPS, "De&lete all");
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, IDM_SELECTALLSTEPS, "&Select all");
    AppendMenuA(menu, MF_STRING, IDM_UNSELECTALLSTEPS, "&Unselect all");
  } else {
    AppendMenuA(menu, MF_STRING, IDC_BADDRUN, "&Add...\tIns");
    AppendMenuA(menu, MF_STRING, IDC_BCONFIGRUN, "Configure...\tAlt+Enter");
    AppendMenuA(menu, MF_STRING, IDC_BREMOVERUN, "Delete\tDel");
    AppendMenuA(menu, MF_STRING, IDM_DELETEALLRUNS, "De&lete all");
    AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuA(menu, MF_STRING, IDM_SELECTALLRUNS, "&Select all");
    AppendMenuA(menu, MF_STRING, IDM_UNSELECTALLRUNS, "&Unselect all");
  }
  // The chosen command arrives as WM_COMMAND, as a button's would.
  TrackPopupMenu(menu, TPM_RIGHTBUTTON, x, y, 0, Handle(), nullptr);
  DestroyMenu(menu);
}

// The keys of the lists. The dialog's Enter and Escape are the lists' own
// while they have the focus, so that a caption being edited keeps them;
// outside an edit they still confirm or cancel the dialog.
LRESULT CALLBACK TfJob::ListKeys(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR, DWORD_PTR ref) {
  auto* self = reinterpret_cast<TfJob*>(ref);
  const bool steps = GetDlgCtrlID(wnd) == IDC_LVJOBSTEPS;
  if (msg == WM_GETDLGCODE) {
    LRESULT code = DefSubclassProc(wnd, msg, wp, lp);
    auto* m = reinterpret_cast<const MSG*>(lp);
    if (m && m->message == WM_KEYDOWN && (m->wParam == VK_RETURN || m->wParam == VK_ESCAPE))
      code |= DLGC_WANTMESSAGE;
    return code;
  }
  if (msg == WM_NCDESTROY) RemoveWindowSubclass(wnd, ListKeys, 1);
  int command = 0;
  const bool ctrl = GetKeyState(VK_CONTROL) < 0;
  if (msg == WM_KEYDOWN) {
    switch (wp) {
      case VK_RETURN:
        command = IDOK;
        break;
      case VK_ESCAPE:
        command = IDCANCEL;
        break;
      case VK_INSERT:
        if (!ctrl) command = steps ? IDC_BADDSTEP : IDC_BADDRUN;
        break;
      case VK_DELETE:
        if (steps && ctrl) command = IDC_BREMOVESTEP;
        if (!steps && !ctrl) command = IDC_BREMOVERUN;
        break;
      case VK_F2:
        if (steps) command = IDM_EDITSTEPNAME;
        break;
      case VK_UP:
      case VK_DOWN:
        if (steps && ctrl) command = wp == VK_UP ? IDC_BSTEPUP : IDC_BSTEPDOWN;
        break;
      default:
        break;
    }
  } else if (msg == WM_SYSKEYDOWN && wp == VK_RETURN) {
    command = steps ? IDC_BCONFIGSTEP : IDC_BCONFIGRUN;
  } else if ((msg == WM_SYSCHAR && wp == '\r') || (msg == WM_CHAR && (wp == '\r' || wp == 27))) {
    return 0;  // no beep for the keys handled above
  }
  if (command) {
    PostMessageA(self->Handle(), WM_COMMAND, MAKEWPARAM(command, BN_CLICKED), 0);
    return 0;
  }
  return DefSubclassProc(wnd, msg, wp, lp);
}

// ------------------------------------------------------------------- steps

void TfJob::bAddStepClick() {
  TPickedItem pick;
  if (!PickAction(Handle(), &pick)) return;
  TOVPlugin& plugin = LoadedPlugin(pick.PluginID);
  TOVMethodParams record{0, nullptr};
  if (!ConfigureNew(record, [&](auto* r) { return plugin.ConfigMethod(pick.Index, r); })) return;
  TOVJobStep* step = job_->AddStep();
  step->SetPluginID(pick.PluginID);
  step->SetMethodIndex(pick.Index);
  step->SetEnabled(-1);
  step->SetParams(record.Size, record.Data);
  TOVMethodParams copy = step->Params();
  step->SetName(plugin.MethodDescription(pick.Index, &copy));
  FillSteps();
  SelectRow(IDC_LVJOBSTEPS, job_->StepCount() - 1);
}

void TfJob::bConfigStepClick() {
  int row = FocusedRow(IDC_LVJOBSTEPS);
  if (row < 0 || row >= job_->StepCount()) return;
  TOVJobStep* step = job_->Steps(row);
  TOVPlugin& plugin = LoadedPlugin(step->PluginID());
  TOVMethodParams copy = step->Params();
  // A step whose name differs from the description of its settings has a
  // name of the user's own, which a new configuration keeps.
  const bool ownName = step->Name() != plugin.MethodDescription(step->MethodIndex(), &copy);
  bool confirmed = false;
  try {
    confirmed = ConfigureStep(plugin, *step);
  } catch (const std::exception& e) {
    HostLog(OV_LOG_ERROR, e.what());
    FillSteps();
    SelectRow(IDC_LVJOBSTEPS, row);
    ShowError(Handle(), "An error occured. Delete this Step.");
    return;
  }
  if (confirmed && !ownName) {
    copy = step->Params();
    step->SetName(plugin.MethodDescription(step->MethodIndex(), &copy));
  }
  FillSteps();
  SelectRow(IDC_LVJOBSTEPS, row);
}

void TfJob::bRemoveStepClick() {
  int row = FocusedRow(IDC_LVJOBSTEPS);
  if (row < 0 || row >= job_->StepCount()) return;
  job_->DeleteStep(row);
  FillSteps();
  SelectRow(IDC_LVJOBSTEPS, std::min(row, job_->StepCount() - 1));
}

void TfJob::DeleteAllSteps() {
  job_->ClearSteps();
  FillSteps();
}

void TfJob::MoveStep(int delta) {
  int row = FocusedRow(IDC_LVJOBSTEPS);
  if (row < 0) return;
  MoveStepTo(row, row + delta);
}

void TfJob::MoveStepTo(int from, int to) {
  const int count = job_->StepCount();
  if (count < 2 || from < 0 || from >= count || to < 0 || to >= count || from == to) return;
  job_->MoveStep(from, to);
  FillSteps();
  SelectRow(IDC_LVJOBSTEPS, to);
}

void TfJob::CheckAll(int listId, bool checked) {
  HWND list = Item(listId);
  LVITEMA state{};
  state.stateMask = LVIS_STATEIMAGEMASK;
  state.state = INDEXTOSTATEIMAGEMASK(checked ? 2 : 1);
  // Row by row, through the same notifications as a click.
  for (int i = 0; i < RowCount(list); ++i)
    SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&state));
}

// ------------------------------------------------------------------ events

void TfJob::bAddRunClick() {
  TPickedItem pick;
  if (!PickTrigger(Handle(), &pick)) return;
  TOVPlugin& plugin = LoadedPlugin(pick.PluginID);
  TOVRunnerParams record{job_->ID(), 0, nullptr};
  if (!ConfigureNew(record, [&](auto* r) { return plugin.ConfigRunner(pick.Index, r); })) return;
  TOVJobRun* event = job_->AddEvent();
  event->SetPluginID(pick.PluginID);
  event->SetRunnerIndex(pick.Index);
  event->SetEnabled(-1);
  event->SetParams(record.Size, record.Data);
  FillRuns();
  SelectRow(IDC_LVJOBRUNS, job_->EventCount() - 1);
}

void TfJob::bConfigRunClick() {
  int row = FocusedRow(IDC_LVJOBRUNS);
  if (row < 0 || row >= job_->EventCount()) return;
  TOVJobRun* event = job_->Events(row);
  TOVPlugin& plugin = LoadedPlugin(event->PluginID());
  try {
    ConfigureRun(plugin, *event);
  } catch (const std::exception& e) {
    HostLog(OV_LOG_ERROR, e.what());
    ShowError(Handle(), "An error occured. Delete this Event.");
  }
  SetCaption(Item(IDC_LVJOBRUNS), row, RunCaption(row));
  SelectRow(IDC_LVJOBRUNS, row);
}

void TfJob::bRemoveRunClick() {
  int row = FocusedRow(IDC_LVJOBRUNS);
  if (row < 0 || row >= job_->EventCount()) return;
  job_->DeleteEvent(row);
  FillRuns();
  SelectRow(IDC_LVJOBRUNS, std::min(row, job_->EventCount() - 1));
}

void TfJob::DeleteAllRuns() {
  job_->ClearEvents();
  FillRuns();
}

// --------------------------------------------------------------- OK, Cancel

void TfJob::OnOK() {
  std::string name = GetItemText(IDC_EJOBNAME);
  if (name.empty()) {
    ShowError(Handle(), "Invalid job name");
    Focus(IDC_EJOBNAME);
    return;
  }
  job_->SetName(name);
  if (job_->Modified()) job_->SaveToJobsDir();
  End(IDOK);
}

// Cancel, Escape and the title bar's close button: an edited job gets back
// what it held when the editor opened; a new job is the caller's to free.
void TfJob::OnCancel() {
  if (!new_) {
    try {
      TByteReader r(undo_.data(), undo_.size());
      job_->LoadFromStream(r);
    } catch (const std::exception& e) {
      ShowError(Handle(), e.what());
    }
  }
  End(IDCANCEL);
}

// ----------------------------------------------------------------- entries

std::unique_ptr<TOVJob> NewJob(HWND owner, int32_t category) {
  auto job = std::make_unique<TOVJob>(Jobs);
  // A new job never takes the ID, and so the files, of another one.
  const std::string dir = IncludeTrailingBackslash(Settings.JobDir);
  while ((Jobs && Jobs->FindByID(job->ID())) || FileExists(dir + job->FileName()))
    job->SetID(NewJobID());
  // Marked as edited while the editor is open: "Active" arms nothing
  // before the user confirmed.
  job->SetEditing(true);
  job->SetActive(-1);
  job->SetToLog(true);
  job->SetActionAfterRun(aarNothing);
  job->SetPriority(3);
  job->SetCategory(category);
  job->SetName("New job");
  TfJob dialog(job.get(), true);
  if (dialog.DoModal(owner) != IDOK) return nullptr;
  job->SetEditing(false);
  return job;
}

bool EditJob(HWND owner, TOVJob* job) {
  TfJob dialog(job, false);
  try {
    job->SaveToJobsDir();
    TByteWriter w;
    job->SaveToStream(w);
    dialog.undo_ = w.Bytes();
  } catch (const std::exception& e) {
    ShowError(owner, e.what());
    return false;
  }
  return dialog.DoModal(owner) == IDOK;
}

TOVJob* NewJobCommand(HWND owner, int32_t category) {
  if (!Jobs) return nullptr;
  std::unique_ptr<TOVJob> job = NewJob(owner, category);
  if (!job) return nullptr;
  TOVJob* added = job.release();
  Jobs->Add(added);
  if (AutomationEnabled())
    added->StartEvents();
  else
    added->UpdateState();
  return added;
}

bool EditJobCommand(HWND owner, TOVJob* job) {
  if (!job) return false;
  if (job->Running()) {
    ShowInfo(owner, Format("Job \"%s\" is currently running...", job->Name().c_str()));
    return false;
  }
  job->SetEditing(true);
  job->StopEvents();
  bool confirmed = false;
  try {
    confirmed = EditJob(owner, job);
  } catch (...) {
    job->SetEditing(false);
    if (AutomationEnabled())
      job->StartEvents();
    else
      job->UpdateState();
    throw;
  }
  job->SetEditing(false);
  if (AutomationEnabled())
    job->StartEvents();
  else
    job->UpdateState();
  return confirmed;
}
