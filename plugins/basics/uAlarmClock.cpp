#include "uAlarmClock.h"

#include <commctrl.h>

#include <memory>

#include <stdexcept>
#include <string>

#include "OVPluginBlock.h"
#include "OVPluginHost.h"
#include "SehGuard.h"
#include "uDM.h"

extern "C" IMAGE_DOS_HEADER __ImageBase;

namespace {

const char kClockClass[] = "TfAlarmClock";
constexpr UINT_PTR kClockTimer = 1;

// The notebook's pages; the periodicity list shows the same captions.
const char* const kPages[] = {"Every day", "Every week", "Every month"};
constexpr int kPageCount = 3;

HINSTANCE Module() { return reinterpret_cast<HINSTANCE>(&__ImageBase); }

std::string LocaleText(LCTYPE what) {
  char buf[128] = "";
  GetLocaleInfoA(LOCALE_USER_DEFAULT, what, buf, sizeof buf);
  return buf;
}

TDateTime TimeOfDay(int32_t ms) { return static_cast<double>(ms) / kMsPerDay; }

bool ListChecked(HWND list, int i) { return ListView_GetCheckState(list, i) != 0; }

void SetListChecked(HWND list, int i, bool checked) { ListView_SetCheckState(list, i, checked ? TRUE : FALSE); }

// A check list of one column without a header.
void FillCheckList(HWND list, const std::string* texts, int count, const bool* checks) {
  ListView_SetExtendedListViewStyle(list, LVS_EX_CHECKBOXES);
  RECT r;
  GetClientRect(list, &r);
  LVCOLUMNA col{};
  col.mask = LVCF_WIDTH;
  col.cx = r.right - r.left - GetSystemMetrics(SM_CXVSCROLL);
  SendMessageA(list, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&col));
  for (int i = 0; i < count; ++i) {
    LVITEMA item{};
    item.mask = LVIF_TEXT;
    item.iItem = i;
    item.pszText = const_cast<char*>(texts[i].c_str());
    SendMessageA(list, LVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&item));
    SetListChecked(list, i, checks[i]);
  }
}

}  // namespace

// ------------------------------------------------------------ the window

TfAlarmClock::TfAlarmClock() : OVDialog(IDD_ALARMCLOCK, Module()) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_DATE_CLASSES | ICC_LISTVIEW_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&icc);
  for (bool& c : weekChecks_) c = true;
  for (bool& c : monthChecks_) c = true;
  startDate_ = DateOf(OVNow());

  WNDCLASSA wc{};
  wc.lpfnWndProc = ClockProc;
  wc.hInstance = Module();
  wc.lpszClassName = kClockClass;
  RegisterClassA(&wc);
  clockWnd_ = CreateWindowA(kClockClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, Module(), this);
  if (!clockWnd_) throw std::runtime_error("Cannot create the alarm clock's window");

  AlarmClock.OnRun = [this](int32_t id) { AlarmClockAlarm(id); };
  AlarmClock.OnMissed = [this](int32_t id, TDateTime missed) { AlarmClockMissed(id, missed); };
}

TfAlarmClock::~TfAlarmClock() {
  AlarmClock.Clear();
  if (clockWnd_) {
    if (ticking_) KillTimer(clockWnd_, kClockTimer);
    SetWindowLongPtrA(clockWnd_, GWLP_USERDATA, 0);
    DestroyWindow(clockWnd_);
  }
  UnregisterClassA(kClockClass, Module());
}

LRESULT CALLBACK TfAlarmClock::ClockProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
    SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  } else if (msg == WM_TIMER && wp == kClockTimer) {
    auto* self = reinterpret_cast<TfAlarmClock*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
    if (self) {
      // Nothing a tick does may leave the window procedure; a failing tick
      // is reported once, not twice a second.
      static bool reported = false;
      sehguard::TOutcome o = sehguard::Protected([&] { self->Tick(); });
      if (o.Failed() && !reported) {
        reported = true;
        HostLog(OV_LOG_ERROR, "Alarm clock: " + (o.code ? sehguard::FaultText(o.code) : std::string("Unexpected error")));
      }
    }
    return 0;
  }
  return DefWindowProcA(wnd, msg, wp, lp);
}

void TfAlarmClock::UpdateTimer() {
  bool want = AlarmClock.Enabled();
  if (want == ticking_ || !clockWnd_) return;
  if (want)
    ticking_ = SetTimer(clockWnd_, kClockTimer, kTickMs, nullptr) != 0;
  else {
    KillTimer(clockWnd_, kClockTimer);
    ticking_ = false;
  }
}

bool TfAlarmClock::Start(TOVRunnerParams& params) {
  AlarmClock.Start(params.JobID, &params, ReadAlarmBlock(params.Data, params.Size), OVNow());
  UpdateTimer();
  return true;
}

void TfAlarmClock::Stop(TOVRunnerParams& params) {
  AlarmClock.Stop(params.JobID, &params, OVNow());
  UpdateTimer();
}

void TfAlarmClock::TickAt(const TClockReading& reading) {
  AlarmClock.Tick(reading);
  UpdateTimer();
}

void TfAlarmClock::AlarmClockAlarm(int32_t jobId) { HostRunJob(jobId, "Alarm clock"); }

void TfAlarmClock::AlarmClockMissed(int32_t jobId, TDateTime missed) {
  HostLog(OV_LOG_WARNING, "Alarm clock: missed " + FormatShortDate(missed) + " " + FormatLongTime(missed) +
                              " of job \"" + HostJobName(jobId) + "\"");
}

// ------------------------------------------------------------ the dialog

bool TfAlarmClock::Config(TOVRunnerParams& params) {
  params_ = &params;
  INT_PTR r = DoModal();
  params_ = nullptr;
  return r == IDOK;
}

bool TfAlarmClock::OnInit() {
  for (const char* caption : kPages) ComboAdd(IDC_CBPERIODICITY, caption);

  std::string days[kWeekDays];
  days[0] = LocaleText(LOCALE_SDAYNAME7);  // Sunday
  for (int d = 1; d < kWeekDays; ++d) days[d] = LocaleText(LOCALE_SDAYNAME1 + static_cast<LCTYPE>(d - 1));
  FillCheckList(Item(IDC_LVDAYSOFWEEK), days, kWeekDays, weekChecks_);
  std::string monthDays[kMonthEntries];
  for (int i = 0; i < 31; ++i) monthDays[i] = std::to_string(i + 1);
  monthDays[31] = "#";
  FillCheckList(Item(IDC_LVDAYSOFMONTH), monthDays, kMonthEntries, monthChecks_);

  SYSTEMTIME st;
  DecodeDateTime(startDate_, &st);
  SendDlgItemMessageA(Handle(), IDC_STARTDATE, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
  AddHints();
  LoadFromBlock();
  return true;
}

void TfAlarmClock::AddHints() {
  HWND tips = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr, WS_POPUP | TTS_ALWAYSTIP, 0, 0, 0, 0,
                              Handle(), nullptr, Module(), nullptr);
  if (!tips) return;
  const std::pair<int, const char*> hints[] = {
      {IDC_BADD, "Add time"}, {IDC_BREMOVE, "Remove time"}, {IDC_BCLEAR, "Clear list"}};
  for (const auto& [id, text] : hints) {
    TOOLINFOA ti{};
    ti.cbSize = TTTOOLINFOA_V1_SIZE;
    ti.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    ti.hwnd = Handle();
    ti.uId = reinterpret_cast<UINT_PTR>(Item(id));
    ti.lpszText = const_cast<char*>(text);
    SendMessageA(tips, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&ti));
  }
}

void TfAlarmClock::LoadFromBlock() {
  SetPickerTime(TimeOfDayMs(OVNow()));
  ListClear(IDC_LVALARMTIMES);
  TAlarmSchedule s = params_ ? ReadAlarmBlock(params_->Data, params_->Size) : TAlarmSchedule{};
  int page = apEveryDay;
  if (s.Configured && !s.OlderLayout) {
    SYSTEMTIME st;
    DecodeDateTime(s.StartDate, &st);
    SendDlgItemMessageA(Handle(), IDC_STARTDATE, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
    if (s.Periodicity < kPageCount) page = static_cast<int>(s.Periodicity);
    HWND week = Item(IDC_LVDAYSOFWEEK);
    if (page == apEveryWeek)
      for (int d = 1; d <= kWeekDays; ++d) SetListChecked(week, d - 1, (s.DaysOfWeek >> d) & 1);
    HWND month = Item(IDC_LVDAYSOFMONTH);
    if (page == apEveryMonth)
      for (int i = 0; i < kMonthEntries; ++i) SetListChecked(month, i, (s.DaysOfMonth >> i) & 1);
  }
  for (int32_t t : s.Times) AddAlarmTime(t);
  SetComboIndex(IDC_CBPERIODICITY, page);
  ShowPage(page);
}

void TfAlarmClock::SaveToBlock() {
  TAlarmSchedule s;
  SYSTEMTIME st{};
  SendDlgItemMessageA(Handle(), IDC_STARTDATE, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st));
  s.StartDate = EncodeDate(st.wYear, st.wMonth, st.wDay);
  HWND times = Item(IDC_LVALARMTIMES);
  for (int i = 0, n = ListCount(IDC_LVALARMTIMES); i < n; ++i)
    s.Times.push_back(static_cast<int32_t>(SendMessageA(times, LB_GETITEMDATA, static_cast<WPARAM>(i), 0)));
  int page = ComboIndex(IDC_CBPERIODICITY);
  s.Periodicity = page >= 0 ? static_cast<uint32_t>(page) : apEveryDay;
  HWND week = Item(IDC_LVDAYSOFWEEK);
  for (int d = 1; d <= kWeekDays; ++d)
    if (ListChecked(week, d - 1)) s.DaysOfWeek = static_cast<uint8_t>(s.DaysOfWeek | (1u << d));
  HWND month = Item(IDC_LVDAYSOFMONTH);
  for (int i = 0; i < kMonthEntries; ++i)
    if (ListChecked(month, i)) s.DaysOfMonth |= 1u << i;
  TBlockWriter w;
  WriteAlarmBlock(s, w);
  if (!w.StoreTo(*params_)) throw std::runtime_error("Not enough memory to keep the alarm times");
}

void TfAlarmClock::KeepLeftState() {
  HWND week = Item(IDC_LVDAYSOFWEEK);
  for (int i = 0; i < kWeekDays; ++i) weekChecks_[i] = ListChecked(week, i);
  HWND month = Item(IDC_LVDAYSOFMONTH);
  for (int i = 0; i < kMonthEntries; ++i) monthChecks_[i] = ListChecked(month, i);
  SYSTEMTIME st{};
  if (SendDlgItemMessageA(Handle(), IDC_STARTDATE, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)) == GDT_VALID)
    startDate_ = EncodeDate(st.wYear, st.wMonth, st.wDay);
}

void TfAlarmClock::OnOK() {
  if (ListCount(IDC_LVALARMTIMES) == 0) {
    MessageBeep(MB_OK);
    Focus(IDC_ETIME);
    return;
  }
  if (params_) SaveToBlock();
  KeepLeftState();
  End(IDOK);
}

void TfAlarmClock::OnCancel() {
  KeepLeftState();
  End(IDCANCEL);
}

void TfAlarmClock::ShowPage(int page) {
  if (page < 0 || page >= kPageCount) page = apEveryDay;
  SetItemText(IDC_NB, kPages[page]);
  for (int id : {IDC_LDAYSOFWEEK, IDC_LVDAYSOFWEEK}) Show(id, page == apEveryWeek);
  for (int id : {IDC_LDAYSOFMONTH, IDC_LLASTDAYNOTE, IDC_LVDAYSOFMONTH}) Show(id, page == apEveryMonth);
}

// The list shows each time in the locale's long time format and keeps the
// time itself beside it, so that no second is lost to the text.
void TfAlarmClock::AddAlarmTime(int32_t ms) {
  std::string text = FormatLongTime(TimeOfDay(ms));
  HWND list = Item(IDC_LVALARMTIMES);
  if (SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(text.c_str())) !=
      LB_ERR)
    return;
  int i = ListAdd(IDC_LVALARMTIMES, text);
  if (i >= 0) SendMessageA(list, LB_SETITEMDATA, static_cast<WPARAM>(i), ms);
}

int32_t TfAlarmClock::PickerTime() const {
  SYSTEMTIME st{};
  SendDlgItemMessageA(Handle(), IDC_ETIME, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st));
  return ((st.wHour * 60 + st.wMinute) * 60 + st.wSecond) * 1000;
}

void TfAlarmClock::SetPickerTime(int32_t ms) {
  SYSTEMTIME st;
  DecodeDateTime(DateOf(OVNow()) + TimeOfDay(ms / 1000 * 1000), &st);
  SendDlgItemMessageA(Handle(), IDC_ETIME, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
}

void TfAlarmClock::CheckAll(HWND list, bool checked) {
  for (int i = 0, n = ListView_GetItemCount(list); i < n; ++i) SetListChecked(list, i, checked);
}

bool TfAlarmClock::OnCommand(int id, int code, HWND) {
  switch (id) {
    case IDC_BNOW:
      if (code == BN_CLICKED) SetPickerTime(TimeOfDayMs(OVNow()));
      return true;
    case IDC_BADD:
      if (code == BN_CLICKED) AddAlarmTime(PickerTime());
      return true;
    case IDC_BREMOVE:
      if (code == BN_CLICKED) {
        int i = ListIndex(IDC_LVALARMTIMES);
        if (i >= 0) SendDlgItemMessageA(Handle(), IDC_LVALARMTIMES, LB_DELETESTRING, static_cast<WPARAM>(i), 0);
      }
      return true;
    case IDC_BCLEAR:
      if (code == BN_CLICKED) ListClear(IDC_LVALARMTIMES);
      return true;
    case IDC_LVALARMTIMES:
      if (code == LBN_SELCHANGE) {
        int i = ListIndex(IDC_LVALARMTIMES);
        if (i >= 0)
          SetPickerTime(static_cast<int32_t>(
              SendDlgItemMessageA(Handle(), IDC_LVALARMTIMES, LB_GETITEMDATA, static_cast<WPARAM>(i), 0)));
      }
      return true;
    case IDC_CBPERIODICITY:
      if (code == CBN_SELCHANGE) ShowPage(ComboIndex(IDC_CBPERIODICITY));
      return true;
    case IDM_SELECTALL:
    case IDM_UNSELECTALL: {
      // The list of the page on show.
      int page = ComboIndex(IDC_CBPERIODICITY);
      int list = page == apEveryWeek ? IDC_LVDAYSOFWEEK : page == apEveryMonth ? IDC_LVDAYSOFMONTH : 0;
      if (list) CheckAll(Item(list), id == IDM_SELECTALL);
      return true;
    }
    default:
      return false;
  }
}

bool TfAlarmClock::OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) {
  if (msg != WM_CONTEXTMENU) return false;
  HWND target = reinterpret_cast<HWND>(wp);
  if (target != Item(IDC_LVDAYSOFWEEK) && target != Item(IDC_LVDAYSOFMONTH)) return false;
  POINT pt{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
  if (lp == -1) {  // from the keyboard: at the list's corner
    RECT r;
    GetWindowRect(target, &r);
    pt = {r.left, r.top};
  }
  HMENU menu = CreatePopupMenu();
  AppendMenuA(menu, MF_STRING, IDM_SELECTALL, "Select all");
  AppendMenuA(menu, MF_STRING, IDM_UNSELECTALL, "Unselect all");
  TrackPopupMenu(menu, TPM_RIGHTBUTTON, pt.x, pt.y, 0, Handle(), nullptr);
  DestroyMenu(menu);
  result = TRUE;
  return true;
}

// ------------------------------------------------------------ dispatch

namespace {
std::unique_ptr<TfAlarmClock> g_alarmClock;
}

void CreateAlarmClock() { g_alarmClock = std::make_unique<TfAlarmClock>(); }

void ReleaseAlarmClock() { g_alarmClock.reset(); }

TfAlarmClock* AlarmClockWindow() { return g_alarmClock.get(); }

// Before the window exists and after it is gone the entries answer false.
TRunnerCase AlarmClockCase() {
  return {
      .Config = [](TOVRunnerParams& p) { return g_alarmClock && g_alarmClock->Config(p); },
      .Start = [](TOVRunnerParams& p) { return g_alarmClock && g_alarmClock->Start(p); },
      .Stop =
          [](TOVRunnerParams& p) {
            if (g_alarmClock) g_alarmClock->Stop(p);
          },
  };
}
