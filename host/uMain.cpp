#include "uMain.h"

#include <windowsx.h>

#include <algorithm>

#include "Host.h"
#include "HostMessages.h"
#include "OVClassesJob.h"
#include "OVClassesJobs.h"
#include "OVClassesLog.h"
#include "OVClassesPlugins.h"
#include "RemoteRequests.h"
#include "uMainCmds.h"
#include "uMainExtras.h"
#include "uMainLogic.h"
#include "uSettings.h"
#include "uWaitForJobsTerminate.h"

namespace {

const char kMainClass[] = "TfOrvane";
const char kTitle[] = "Orvane 1.4";
constexpr int kToolBarId = 100, kTabsId = 101, kListId = 102, kLogId = 103, kStatusId = 104;
constexpr UINT kTrayMessage = WM_APP + 1;
constexpr UINT kResortMessage = WM_APP + 2;
constexpr UINT_PTR kLogSwitchTimer = 1, kExitRetryTimer = 2;
constexpr int kSplitter = 5, kMinLog = 50, kLineHeight = 18;

TfOrvane* g_form = nullptr;

// A simple picture: the job states (0..4), the status images (8..10) and
// the tool bar's buttons (20..26).
void DrawGlyph(HDC dc, int kind, int size) {
  auto brush = [&](COLORREF c) {
    HBRUSH b = CreateSolidBrush(c);
    HGDIOBJ old = SelectObject(dc, b);
    return std::make_pair(b, old);
  };
  const int m = size / 8, s = size;
  HPEN pen = CreatePen(PS_SOLID, std::max(1, size / 12), RGB(40, 40, 40));
  HGDIOBJ oldPen = SelectObject(dc, pen);
  COLORREF c = RGB(128, 128, 128);
  switch (kind) {
    case 0: c = RGB(60, 110, 200); break;
    case 1: case 8: case 25: c = RGB(46, 139, 87); break;
    case 3: case 9: case 23: c = RGB(224, 138, 0); break;
    case 4: case 24: case 22: c = RGB(200, 40, 40); break;
    case 20: c = RGB(46, 139, 87); break;
    case 21: c = RGB(60, 110, 200); break;
    default: break;
  }
  auto [b, oldBrush] = brush(c);
  switch (kind) {
    case 0: case 1: case 2:
      Ellipse(dc, m, m, s - m, s - m);
      break;
    case 3: case 23: {
      POINT p[3] = {{m * 2, m}, {s - m, s / 2}, {m * 2, s - m}};
      Polygon(dc, p, 3);
      break;
    }
    case 4: case 24:
      Rectangle(dc, m * 2, m * 2, s - m * 2, s - m * 2);
      break;
    case 8: case 9: case 10:
      RoundRect(dc, 1, m, s - 1, s - m, m * 2, m * 2);
      break;
    case 20: {
      POINT p[12] = {{s * 3 / 8, m}, {s * 5 / 8, m}, {s * 5 / 8, s * 3 / 8}, {s - m, s * 3 / 8},
                     {s - m, s * 5 / 8}, {s * 5 / 8, s * 5 / 8}, {s * 5 / 8, s - m},
                     {s * 3 / 8, s - m}, {s * 3 / 8, s * 5 / 8}, {m, s * 5 / 8},
                     {m, s * 3 / 8}, {s * 3 / 8, s * 3 / 8}};
      Polygon(dc, p, 12);
      break;
    }
    case 21:
      Rectangle(dc, m, m, s - m, s - m);
      for (int y = m * 3; y < s - m * 2; y += m * 2) Rectangle(dc, m * 2, y, s - m * 2, y + 2);
      break;
    case 22: {
      POINT p[12] = {{m, m * 2}, {m * 2, m}, {s / 2, s / 2 - m}, {s - m * 2, m}, {s - m, m * 2},
                     {s / 2 + m, s / 2}, {s - m, s - m * 2}, {s - m * 2, s - m},
                     {s / 2, s / 2 + m}, {m * 2, s - m}, {m, s - m * 2}, {s / 2 - m, s / 2}};
      Polygon(dc, p, 12);
      break;
    }
    case 25: case 26: {
      Ellipse(dc, m, m, s - m, s - m);
      HPEN white = CreatePen(PS_SOLID, std::max(2, size / 8), RGB(255, 255, 255));
      SelectObject(dc, white);
      if (kind == 25) {
        MoveToEx(dc, s * 3 / 10, s / 2, nullptr);
        LineTo(dc, s * 9 / 20, s * 13 / 20);
        LineTo(dc, s * 7 / 10, s * 7 / 20);
      } else {
        MoveToEx(dc, s * 3 / 10, s / 2, nullptr);
        LineTo(dc, s * 7 / 10, s / 2);
      }
      SelectObject(dc, pen);
      DeleteObject(white);
      break;
    }
    default:
      break;
  }
  SelectObject(dc, oldBrush);
  SelectObject(dc, oldPen);
  DeleteObject(b);
  DeleteObject(pen);
}

HIMAGELIST MakeImages(int size, const std::vector<int>& kinds) {
  HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR24 | ILC_MASK, 0, 4);
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  for (int kind : kinds) {
    HBITMAP bmp = CreateCompatibleBitmap(screen, size, size);
    HGDIOBJ old = SelectObject(dc, bmp);
    RECT r{0, 0, size, size};
    HBRUSH magenta = CreateSolidBrush(RGB(255, 0, 255));
    FillRect(dc, &r, magenta);
    DeleteObject(magenta);
    DrawGlyph(dc, kind, size);
    SelectObject(dc, old);
    ImageList_AddMasked(list, bmp, RGB(255, 0, 255));
    DeleteObject(bmp);
  }
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
  return list;
}

bool IsEditControl(HWND wnd) {
  char cls[32] = "";
  GetClassNameA(wnd, cls, sizeof cls);
  return lstrcmpiA(cls, "Edit") == 0 || lstrcmpiA(cls, "RichEdit20A") == 0;
}

void StatusSink(const std::string& text) {
  if (g_form && g_form->StatusBar())
    SendMessageA(g_form->StatusBar(), SB_SETTEXTA, 1, reinterpret_cast<LPARAM>(text.c_str()));
}

}  // namespace

TfOrvane* MainForm() { return g_form; }

TfOrvane::TfOrvane() { g_form = this; }

TfOrvane::~TfOrvane() {
  if (wnd_) DestroyWindow(wnd_);
  if (jobImages_) ImageList_Destroy(jobImages_);
  if (toolImages_) ImageList_Destroy(toolImages_);
  if (g_form == this) g_form = nullptr;
}

HWND TfOrvane::Create(HINSTANCE inst) {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_WIN95_CLASSES | ICC_BAR_CLASSES | ICC_TAB_CLASSES};
  InitCommonControlsEx(&icc);
  const char* names[3] = {"ZIDLE", "ZRUNNED", "ZDISABLE"};
  for (int i = 0; i < 3; ++i) {
    icons_[i] = static_cast<HICON>(LoadImageA(inst, names[i], IMAGE_ICON, 16, 16, 0));
    if (!icons_[i]) icons_[i] = LoadIcon(nullptr, IDI_APPLICATION);
  }
  trayIcon_ = icons_[0];
  WNDCLASSA wc{};
  wc.lpfnWndProc = WndProc;
  wc.hInstance = inst;
  wc.hCursor = LoadCursor(nullptr, IDC_ARROW);
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.hIcon = LoadIconA(inst, "ZIDLE");
  wc.lpszClassName = kMainClass;
  RegisterClassA(&wc);
  taskbarCreated_ = RegisterWindowMessageA("TaskbarCreated");
  wnd_ = CreateWindowExA(0, kMainClass, kTitle, WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, 0, 0,
                         GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN) / 2, nullptr,
                         nullptr, inst, this);
  HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  CreateToolBar();
  lvJobs_ = CreateWindowExA(WS_EX_CLIENTEDGE, WC_LISTVIEWA, "",
                            WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_SHOWSELALWAYS |
                                LVS_EDITLABELS,
                            0, 0, 0, 0, wnd_, reinterpret_cast<HMENU>(kListId), inst, nullptr);
  tcJobs_ = CreateWindowExA(0, WC_TABCONTROLA, "", WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS, 0, 0, 0,
                            0, wnd_, reinterpret_cast<HMENU>(kTabsId), inst, nullptr);
  SendMessageA(tcJobs_, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
  SetWindowPos(lvJobs_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SendMessageA(lvJobs_, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  jobImages_ = MakeImages(16, {0, 1, 2, 3, 4, -1, -1, -1, 8, 9, 10});
  for (int i = 0; i < 3; ++i)
    if (icons_[i] && icons_[i] != LoadIcon(nullptr, IDI_APPLICATION))
      ImageList_ReplaceIcon(jobImages_, 8 + (i == 0 ? 0 : i == 1 ? 1 : 2), icons_[i]);
  SendMessageA(lvJobs_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(jobImages_));
  LVCOLUMNA col{};
  col.mask = LVCF_TEXT | LVCF_WIDTH;
  col.cx = 230;
  col.pszText = const_cast<char*>("Jobs");
  SendMessageA(lvJobs_, LVM_INSERTCOLUMNA, 0, reinterpret_cast<LPARAM>(&col));
  col.cx = 300;
  col.pszText = const_cast<char*>("Status");
  SendMessageA(lvJobs_, LVM_INSERTCOLUMNA, 1, reinterpret_cast<LPARAM>(&col));
  lbLog_ = CreateWindowExA(WS_EX_CLIENTEDGE, "LISTBOX", "",
                           WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_TABSTOP | LBS_NOINTEGRALHEIGHT |
                               LBS_EXTENDEDSEL | LBS_NOTIFY | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS,
                           0, 0, 0, 0, wnd_, reinterpret_cast<HMENU>(kLogId), inst, nullptr);
  SendMessageA(lbLog_, WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
  SendMessageA(lbLog_, LB_SETITEMHEIGHT, 0, kLineHeight);
  sb_ = CreateWindowExA(0, STATUSCLASSNAMEA, "", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0,
                        wnd_, reinterpret_cast<HMENU>(kStatusId), inst, nullptr);
  int parts[2] = {24, -1};
  SendMessageA(sb_, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
  SendMessageA(sb_, SB_SETTEXTA, 0 | SBT_OWNERDRAW, 0);
  CreateMenus();
  SetPluginMenuHost(wnd_, menuBar_, toolsMenu_);
  SetMainWindow(wnd_);
  SetLogStatusSink(StatusSink);
  Layout();
  return wnd_;
}

void TfOrvane::CreateMenus() {
  menuBar_ = CreateMenu();
  fileMenu_ = CreatePopupMenu();
  AppendMenuA(fileMenu_, MF_STRING, cmEnableAutomation, "&Enable Automation");
  AppendMenuA(fileMenu_, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(fileMenu_, MF_STRING, cmExit, "&Exit\tCtrl+X");
  jobMenu_ = CreatePopupMenu();
  AppendMenuA(jobMenu_, MF_STRING, cmNewJob, "&New...\tIns");
  AppendMenuA(jobMenu_, MF_STRING, cmEditJob, "&Edit...\tAlt+Enter");
  AppendMenuA(jobMenu_, MF_STRING, cmDeleteJob, "&Delete\tCtrl+Del");
  AppendMenuA(jobMenu_, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(jobMenu_, MF_STRING, cmRunJob, "&Run\tCtrl+Enter");
  AppendMenuA(jobMenu_, MF_STRING, cmStopJob, "&Stop");
  AppendMenuA(jobMenu_, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(jobMenu_, MF_STRING, cmDuplicateJob, "D&uplicate");
  AppendMenuA(jobMenu_, MF_STRING, cmCreateShortcut, "Create Shortcut on Desktop");
  optionsMenu_ = CreatePopupMenu();
  AppendMenuA(optionsMenu_, MF_STRING, cmViewLog, "View &log");
  AppendMenuA(optionsMenu_, MF_STRING, cmViewToolbar, "View &toolbar");
  AppendMenuA(optionsMenu_, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(optionsMenu_, MF_STRING, cmPreferences, "&Preferences...");
  AppendMenuA(optionsMenu_, MF_STRING, cmVariables, "&Variables...");
  toolsMenu_ = CreatePopupMenu();
  AppendMenuA(toolsMenu_, MF_STRING, cmQuickJob, "Quick Job...");
  helpMenu_ = CreatePopupMenu();
  AppendMenuA(helpMenu_, MF_STRING, cmUserManual, "User's &Manual");
  AppendMenuA(helpMenu_, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(helpMenu_, MF_STRING, cmSendMail, "Send &E-mail");
  AppendMenuA(helpMenu_, MF_STRING, cmWebPage, "Open &Web page");
  AppendMenuA(helpMenu_, MF_STRING, cmCheckVersion, "&Check for new version");
  AppendMenuA(helpMenu_, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(helpMenu_, MF_STRING, cmAbout, "&About...");
  AppendMenuA(menuBar_, MF_POPUP, reinterpret_cast<UINT_PTR>(fileMenu_), "&File");
  AppendMenuA(menuBar_, MF_POPUP, reinterpret_cast<UINT_PTR>(jobMenu_), "&Job");
  AppendMenuA(menuBar_, MF_POPUP, reinterpret_cast<UINT_PTR>(optionsMenu_), "&Options");
  AppendMenuA(menuBar_, MF_POPUP, reinterpret_cast<UINT_PTR>(toolsMenu_), "&Tools");
  AppendMenuA(menuBar_, MF_POPUP, reinterpret_cast<UINT_PTR>(helpMenu_), "&Help");
  SetMenu(wnd_, menuBar_);
}

void TfOrvane::CreateToolBar() {
  HINSTANCE inst = GetModuleHandleA(nullptr);
  toolBar_ = CreateWindowExA(0, TOOLBARCLASSNAMEA, "",
                             WS_CHILD | WS_VISIBLE | TBSTYLE_FLAT | TBSTYLE_TOOLTIPS | CCS_TOP |
                                 CCS_NODIVIDER,
                             0, 0, 0, 0, wnd_, reinterpret_cast<HMENU>(kToolBarId), inst, nullptr);
  SendMessageA(toolBar_, TB_BUTTONSTRUCTSIZE, sizeof(TBBUTTON), 0);
  SendMessageA(toolBar_, TB_SETEXTENDEDSTYLE, 0, TBSTYLE_EX_DRAWDDARROWS);
  toolImages_ = MakeImages(24, {20, 21, 22, 23, 24, 25, 26});
  SendMessageA(toolBar_, TB_SETIMAGELIST, 0, reinterpret_cast<LPARAM>(toolImages_));
  struct TButton {
    int image, id;
    BYTE style;
    const char* text;
  };
  const TButton buttons[] = {
      {0, cmNewJob, BTNS_BUTTON, "Add"},          {1, cmEditJob, BTNS_BUTTON, "Config"},
      {2, cmDeleteJob, BTNS_BUTTON, "Remove"},    {-1, 0, BTNS_SEP, ""},
      {3, cmRunJob, BTNS_DROPDOWN, "Run"},        {4, cmStopJob, BTNS_BUTTON, "Stop"},
      {-1, 0, BTNS_SEP, ""},                      {5, cmActivateCategory, BTNS_BUTTON, "Activate"},
      {6, cmDeactivateCategory, BTNS_BUTTON, "Deactivate"}};
  for (const TButton& b : buttons) {
    TBBUTTON t{};
    t.iBitmap = b.image < 0 ? 0 : b.image;
    t.idCommand = b.id;
    t.fsState = TBSTATE_ENABLED;
    t.fsStyle = b.style;
    t.iString = reinterpret_cast<INT_PTR>(b.text);
    SendMessageA(toolBar_, TB_ADDBUTTONSA, 1, reinterpret_cast<LPARAM>(&t));
  }
  SendMessageA(toolBar_, TB_AUTOSIZE, 0, 0);
}

void TfOrvane::Layout() {
  if (!wnd_ || !lbLog_ || !sb_) return;
  RECT rc;
  GetClientRect(wnd_, &rc);
  int top = 0;
  if (toolbarVisible_) {
    SendMessageA(toolBar_, TB_AUTOSIZE, 0, 0);
    RECT tr;
    GetWindowRect(toolBar_, &tr);
    top = tr.bottom - tr.top;
  }
  SendMessageA(sb_, WM_SIZE, 0, 0);
  RECT sr;
  GetWindowRect(sb_, &sr);
  const int bottom = rc.bottom - (sr.bottom - sr.top);
  int log = logVisible_ ? std::max(kMinLog, logHeight_) : 0;
  // The job list keeps room for its tabs and a row.
  log = std::min(log, std::max(0, bottom - top - 80));
  if (logVisible_) log = std::max(log, std::min(kMinLog, bottom - top));
  const int split = logVisible_ ? kSplitter : 0;
  const int tabsBottom = bottom - log - split;
  MoveWindow(tcJobs_, 0, top, rc.right, std::max(0, tabsBottom - top), TRUE);
  RECT tabRect{0, 0, rc.right, std::max(0, tabsBottom - top)};
  SendMessageA(tcJobs_, TCM_ADJUSTRECT, FALSE, reinterpret_cast<LPARAM>(&tabRect));
  MoveWindow(lvJobs_, tabRect.left, top + tabRect.top,
             std::max(0, static_cast<int>(tabRect.right - tabRect.left)),
             std::max(0, static_cast<int>(tabRect.bottom - tabRect.top)), TRUE);
  RECT lr;
  GetClientRect(lvJobs_, &lr);
  SendMessageA(lvJobs_, LVM_SETCOLUMNWIDTH, 1, std::max(60, static_cast<int>(lr.right) - 230));
  ShowWindow(lbLog_, logVisible_ ? SW_SHOW : SW_HIDE);
  MoveWindow(lbLog_, 0, bottom - log, rc.right, log, TRUE);
  ShowWindow(toolBar_, toolbarVisible_ ? SW_SHOW : SW_HIDE);
  int parts[2] = {24, -1};
  SendMessageA(sb_, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));
  InvalidateRect(wnd_, nullptr, TRUE);
}

void TfOrvane::SetLogHeight(int height) {
  logHeight_ = std::max(kMinLog, height);
  Layout();
}

// ------------------------------------------------------------ start-up

void TfOrvane::Startup() {
  starting_ = true;
  filling_ = true;
  SetEngineView(this);
  try {
    EngineStartup();
  } catch (const std::exception& e) {
    HostLog(OV_LOG_ERROR, e.what());
  }
  filling_ = false;
  starting_ = false;
  // Shown once start-up is complete (automation applied, the "On start"
  // runs asked for): a visible window tells other programs it is ready.
  if (Settings.MinimizeOnRun) {
    MinimizeHost();
  } else {
    ShowWindow(wnd_, SW_SHOWNORMAL);
    SetForegroundWindow(wnd_);
  }
  if (exitPending_) {
    exitPending_ = false;
    ExitProgram();
  }
}

void TfOrvane::CategoriesLoaded() {
  InvalidateRect(lbLog_, nullptr, TRUE);
  FillTabs();
}

void TfOrvane::JobsLoaded() {
  SortBy(0, true);
  SelectRows({});
  if (ListView_GetItemCount(lvJobs_) > 0) ListView_SetItemState(lvJobs_, 0, LVIS_FOCUSED, LVIS_FOCUSED);
  PlaceWindow();
  if (Settings.LogHeight != -1) logHeight_ = std::max(kMinLog, static_cast<int>(Settings.LogHeight));
  logVisible_ = Settings.ViewLog;
  Layout();
  ShowTrayIcon(NIM_ADD);
  ApplyHotTrackToList(lvJobs_);
  filling_ = false;
}

void TfOrvane::PlaceWindow() {
  RECT screen{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  RECT stored{Settings.Left == -1 ? 0 : Settings.Left, Settings.Top == -1 ? 0 : Settings.Top, 0, 0};
  stored.right = stored.left + (Settings.Width == -1 ? screen.right : Settings.Width);
  stored.bottom = stored.top + (Settings.Height == -1 ? screen.bottom / 2 : Settings.Height);
  MONITORINFO mi{};
  mi.cbSize = sizeof mi;
  HMONITOR mon = MonitorFromRect(&stored, MONITOR_DEFAULTTONEAREST);
  RECT work = screen;
  if (mon && GetMonitorInfoA(mon, &mi)) work = mi.rcWork;
  // Visible when a useful part of the title bar is on some screen.
  RECT title{stored.left + 8, stored.top, stored.right - 8, stored.top + 24};
  bool visible = MonitorFromRect(&title, MONITOR_DEFAULTTONULL) != nullptr;
  RECT r = PlaceMainWindow(Settings, screen, work, visible);
  MoveWindow(wnd_, r.left, r.top, r.right - r.left, r.bottom - r.top, FALSE);
}

void TfOrvane::RememberGeometry() {
  WINDOWPLACEMENT wp{};
  wp.length = sizeof wp;
  RECT r;
  if (IsWindowVisible(wnd_) && !IsIconic(wnd_) && !IsZoomed(wnd_))
    GetWindowRect(wnd_, &r);
  else if (GetWindowPlacement(wnd_, &wp))
    r = wp.rcNormalPosition;
  else
    return;
  Settings.Left = r.left;
  Settings.Top = r.top;
  Settings.Width = r.right - r.left;
  Settings.Height = r.bottom - r.top;
  if (logVisible_) Settings.LogHeight = logHeight_;
  Settings.ViewLog = logVisible_;
}

// ------------------------------------------------------------- the tray

void TfOrvane::ShowTrayIcon(DWORD how) {
  NOTIFYICONDATAA nid{};
  nid.cbSize = sizeof nid;
  nid.hWnd = wnd_;
  nid.uID = 1;
  nid.uFlags = NIF_ICON | NIF_MESSAGE | NIF_TIP;
  nid.uCallbackMessage = kTrayMessage;
  nid.hIcon = trayIcon_;
  lstrcpynA(nid.szTip, kTitle, sizeof nid.szTip);
  if (how == NIM_DELETE) {
    if (trayShown_) Shell_NotifyIconA(NIM_DELETE, &nid);
    trayShown_ = false;
    return;
  }
  if (how == NIM_MODIFY && !trayShown_) return;
  if (Shell_NotifyIconA(how, &nid) && how == NIM_ADD) trayShown_ = true;
  if (how == NIM_ADD) trayShown_ = true;
}

void TfOrvane::IconRule() {
  const bool running = Jobs && Jobs->AnyRunning();
  const bool on = AutomationEnabled();
  HICON icon = running ? icons_[1] : on ? icons_[0] : icons_[2];
  statusImage_ = running ? 9 : on ? 8 : 10;
  if (icon != trayIcon_) {
    trayIcon_ = icon;
    ShowTrayIcon(NIM_MODIFY);
  }
  if (sb_) InvalidateRect(sb_, nullptr, FALSE);
}

void TfOrvane::RestoreHost() {
  if (!wnd_) return;
  ShowWindow(wnd_, SW_RESTORE);
  ShowWindow(wnd_, SW_SHOW);
  SetForegroundWindow(wnd_);
}

void TfOrvane::MinimizeHost() {
  if (!wnd_) return;
  ShowWindow(wnd_, SW_HIDE);
  // The exit's waiting window stays in sight.
  if (HWND waiting = WaitingWindow()) ShowWindow(waiting, SW_SHOW);
}

void TfOrvane::CloseHost() {
  if (wnd_) PostMessageA(wnd_, WM_COMMAND, cmExit, 0);
}

void TfOrvane::MinimizeRestore() {
  if (IsWindowVisible(wnd_) && !IsIconic(wnd_))
    MinimizeHost();
  else
    RestoreHost();
}

int TfOrvane::AddJobItems(HMENU menu, int32_t category) {
  std::vector<TOVJob*> jobs;
  for (int i = 0; Jobs && i < Jobs->Count(); ++i) {
    TOVJob* job = Jobs->Items(i);
    if (job->Hidden()) continue;
    if (category != 0 && job->Category() != category) continue;
    jobs.push_back(job);
  }
  std::sort(jobs.begin(), jobs.end(),
            [](TOVJob* a, TOVJob* b) { return CompareJobTexts(a->Name(), b->Name()) < 0; });
  int added = 0;
  for (TOVJob* job : jobs) {
    const int id = cmJobMenuFirst + static_cast<int>(menuJobs_.size());
    if (id > cmJobMenuLast) break;
    menuJobs_.push_back(job->ID());
    AppendMenuA(menu, MF_STRING, static_cast<UINT_PTR>(id), DoubleAmpersands(job->Name()).c_str());
    // The job's state image, drawn when the menu paints.
    MENUITEMINFOA info{};
    info.cbSize = sizeof info;
    info.fMask = MIIM_BITMAP;
    info.hbmpItem = HBMMENU_CALLBACK;
    SetMenuItemInfoA(menu, static_cast<UINT>(id), FALSE, &info);
    ++added;
  }
  return added;
}

HMENU TfOrvane::BuildTrayMenu() {
  menuJobs_.clear();
  HMENU menu = CreatePopupMenu();
  AppendMenuA(menu, MF_STRING, cmMinimizeRestore, "Minimize/Restore");
  AppendMenuA(menu, MF_STRING | (AutomationEnabled() ? MF_CHECKED : 0), cmEnableAutomation,
              "&Enable Automation");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  for (int i = 0; i < Categories.Count(); ++i) {
    HMENU sub = CreatePopupMenu();
    if (AddJobItems(sub, Categories.Items(i).Number) == 0) {
      DestroyMenu(sub);
      continue;
    }
    AppendMenuA(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(sub),
                DoubleAmpersands(Categories.Items(i).Name).c_str());
  }
  if (GetMenuItemCount(menu) > 3) AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  // While a dialog is open, nothing may start that ends under it.
  const UINT blocked = Modal() || exiting_ ? MF_GRAYED : 0;
  AppendMenuA(menu, MF_STRING | blocked, cmQuickJob, "&Quick Job...");
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  AppendMenuA(menu, MF_STRING | blocked, cmExit, "&Exit");
  SetMenuDefaultItem(menu, cmMinimizeRestore, FALSE);
  return menu;
}

HMENU TfOrvane::BuildRunMenu() {
  menuJobs_.clear();
  HMENU menu = CreatePopupMenu();
  if (AddJobItems(menu, category_) == 0) AppendMenuA(menu, MF_STRING | MF_GRAYED, 0, "(no jobs)");
  return menu;
}

void TfOrvane::TrayMenu() {
  HMENU menu = BuildTrayMenu();
  POINT pt;
  GetCursorPos(&pt);
  SetForegroundWindow(wnd_);
  UINT id = static_cast<UINT>(
      TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON, pt.x, pt.y, 0, wnd_, nullptr));
  PostMessageA(wnd_, WM_NULL, 0, 0);
  DestroyMenu(menu);
  if (id) Command(id);
}

void TfOrvane::RunMenu() {
  HMENU menu = BuildRunMenu();
  RECT r{};
  SendMessageA(toolBar_, TB_GETRECT, cmRunJob, reinterpret_cast<LPARAM>(&r));
  MapWindowPoints(toolBar_, nullptr, reinterpret_cast<POINT*>(&r), 2);
  UINT id = static_cast<UINT>(
      TrackPopupMenu(menu, TPM_RETURNCMD | TPM_LEFTALIGN, r.left, r.bottom, 0, wnd_, nullptr));
  DestroyMenu(menu);
  if (id) Command(id);
}

// ------------------------------------------------------------ the exit

bool TfOrvane::Modal() const {
  // A command's dialog (editor, preferences, a plug-in's configuration, a
  // message box) runs its own loop inside the command, and a modal window
  // owned by the main window disables it.
  return busy_ > 0 || (wnd_ && !IsWindowEnabled(wnd_) && !exiting_);
}

void TfOrvane::RequestExit() {
  if (exiting_) return;
  if (starting_ || Modal()) {
    exitPending_ = true;
    if (!starting_) SetTimer(wnd_, kExitRetryTimer, 200, nullptr);
    return;
  }
  ExitFromLoop();
}

void TfOrvane::ExitFromLoop() {
  // The exit unloads the plug-ins, and a plug-in may have subclassed this
  // window: the message being handled came through the plug-in's code,
  // which must not be unloaded under it. The message loop runs the exit
  // once this message has returned.
  if (!inLoop_) {
    ExitProgram();
    return;
  }
  exitNow_ = true;
  PostMessageA(wnd_, WM_NULL, 0, 0);
}

void TfOrvane::ExitProgram() {
  if (exiting_) return;
  exiting_ = true;
  exitPending_ = false;
  KillTimer(wnd_, kExitRetryTimer);
  KillTimer(wnd_, kLogSwitchTimer);
  CancelVersionCheck();
  EnableWindow(wnd_, FALSE);
  RememberGeometry();
  if (logJob_ != 0) ShowLogOf(nullptr);
  try {
    EngineShutdown();
  } catch (const std::exception&) {
  }
  SetLogStatusSink(nullptr);
  ShowTrayIcon(NIM_DELETE);
  EnableWindow(wnd_, TRUE);
  DestroyWindow(wnd_);
}

void TfOrvane::SaveForSessionEnd() {
  if (sessionSaved_) return;
  sessionSaved_ = true;
  RememberGeometry();
  std::string error;
  if (!SaveCategories(&error)) HostLog(OV_LOG_ERROR, error);
  if (!SaveSettings(&error)) HostLog(OV_LOG_ERROR, "Cannot save the settings: " + error);
  for (int i = 0; Jobs && i < Jobs->Count(); ++i) {
    try {
      Jobs->Items(i)->Log()->SaveLog();
    } catch (const std::exception&) {
    }
  }
  try {
    if (MainLog) MainLog->SaveLog();
  } catch (const std::exception&) {
  }
}

// --------------------------------------------------------- window proc

LRESULT CALLBACK TfOrvane::WndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  TfOrvane* self = nullptr;
  if (msg == WM_NCCREATE) {
    self = static_cast<TfOrvane*>(reinterpret_cast<CREATESTRUCTA*>(lp)->lpCreateParams);
    SetWindowLongPtrA(wnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->wnd_ = wnd;
  } else {
    self = reinterpret_cast<TfOrvane*>(GetWindowLongPtrA(wnd, GWLP_USERDATA));
  }
  if (!self) return DefWindowProcA(wnd, msg, wp, lp);
  try {
    return self->Handle(msg, wp, lp);
  } catch (const std::exception& e) {
    // An unhandled error of the main thread goes to the main log.
    try {
      HostLog(OV_LOG_ERROR, e.what());
    } catch (...) {
    }
  }
  return 0;
}

LRESULT TfOrvane::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  if (msg >= OVM_FIRST && msg <= OVM_LAST) return HandleHostMessage(msg, wp, lp);
  if (taskbarCreated_ && msg == taskbarCreated_) {
    trayShown_ = false;
    ShowTrayIcon(NIM_ADD);
    return 0;
  }
  switch (msg) {
    case WM_SIZE:
      if (wp == SIZE_MINIMIZED) {
        MinimizeHost();
        return 0;
      }
      Layout();
      return 0;
    case WM_COMMAND: {
      const UINT id = LOWORD(wp);
      if (lp && HIWORD(wp) != BN_CLICKED && reinterpret_cast<HWND>(lp) != toolBar_) return 0;
      Command(id);
      return 0;
    }
    case WM_NOTIFY:
      return Notify(reinterpret_cast<NMHDR*>(lp));
    case WM_INITMENUPOPUP:
      InitMenu(reinterpret_cast<HMENU>(wp));
      return 0;
    case WM_MEASUREITEM: {
      auto* m = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
      if (m->CtlType == ODT_LISTBOX) m->itemHeight = kLineHeight;
      if (m->CtlType == ODT_MENU) m->itemWidth = m->itemHeight = 16;
      return TRUE;
    }
    case WM_DRAWITEM: {
      auto* d = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
      if (d->CtlType == ODT_MENU) {
        size_t k = d->itemID - cmJobMenuFirst;
        TOVJob* job = k < menuJobs_.size() && Jobs ? Jobs->FindByID(menuJobs_[k]) : nullptr;
        if (job && job->State() < 5)
          ImageList_Draw(jobImages_, job->State(), d->hDC, d->rcItem.left,
                         (d->rcItem.top + d->rcItem.bottom - 16) / 2, ILD_TRANSPARENT);
      } else if (d->hwndItem == lbLog_)
        DrawLogLine(d);
      else if (d->hwndItem == sb_)
        DrawStatusImage(d);
      return TRUE;
    }
    case WM_CONTEXTMENU: {
      HWND from = reinterpret_cast<HWND>(wp);
      int x = GET_X_LPARAM(lp), y = GET_Y_LPARAM(lp);
      if (from == lvJobs_)
        ListMenu(x, y);
      else if (from == lbLog_)
        LogMenu(x, y);
      else
        break;
      return 0;
    }
    case WM_TIMER:
      if (wp == kLogSwitchTimer) {
        KillTimer(wnd_, kLogSwitchTimer);
        ShowLogOf(pendingLog_ && Jobs ? Jobs->FindByID(pendingLog_) : nullptr);
      } else if (wp == kExitRetryTimer) {
        if (!Modal()) {
          KillTimer(wnd_, kExitRetryTimer);
          if (exitPending_) ExitFromLoop();
        }
      }
      return 0;
    case kTrayMessage:
      if (lp == WM_RBUTTONUP || lp == WM_CONTEXTMENU) {
        TrayMenu();
      } else if (lp == WM_LBUTTONDBLCLK) {
        MinimizeRestore();
      }
      return 0;
    case kResortMessage:
      Resort();
      return 0;
    case WM_SETCURSOR: {
      POINT pt;
      GetCursorPos(&pt);
      ScreenToClient(wnd_, &pt);
      RECT lr;
      GetWindowRect(lbLog_, &lr);
      MapWindowPoints(nullptr, wnd_, reinterpret_cast<POINT*>(&lr), 2);
      if (reinterpret_cast<HWND>(wp) == wnd_ && logVisible_ && pt.y >= lr.top - kSplitter &&
          pt.y < lr.top) {
        SetCursor(LoadCursor(nullptr, IDC_SIZENS));
        return TRUE;
      }
      break;
    }
    case WM_LBUTTONDOWN: {
      RECT lr;
      GetWindowRect(lbLog_, &lr);
      MapWindowPoints(nullptr, wnd_, reinterpret_cast<POINT*>(&lr), 2);
      const int y = GET_Y_LPARAM(lp);
      if (logVisible_ && y >= lr.top - kSplitter && y < lr.top) {
        splitting_ = true;
        SetCapture(wnd_);
      }
      return 0;
    }
    case WM_MOUSEMOVE: {
      POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
      if (splitting_) {
        RECT lr;
        GetWindowRect(lbLog_, &lr);
        MapWindowPoints(nullptr, wnd_, reinterpret_cast<POINT*>(&lr), 2);
        SetLogHeight(lr.bottom - pt.y - kSplitter / 2);
      } else if (dragging_) {
        ClientToScreen(wnd_, &pt);
        ScreenToClient(tcJobs_, &pt);
        TCHITTESTINFO hit{pt, 0};
        int tab = static_cast<int>(SendMessageA(tcJobs_, TCM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
        int sel = TabCtrl_GetCurSel(tcJobs_);
        SetCursor(LoadCursor(nullptr, CanDropOnTab(tab, sel) ? IDC_UPARROW : IDC_NO));
      }
      return 0;
    }
    case WM_LBUTTONUP:
      if (splitting_) {
        splitting_ = false;
        ReleaseCapture();
      } else if (dragging_) {
        dragging_ = false;
        ReleaseCapture();
        POINT pt{GET_X_LPARAM(lp), GET_Y_LPARAM(lp)};
        ClientToScreen(wnd_, &pt);
        ScreenToClient(tcJobs_, &pt);
        TCHITTESTINFO hit{pt, 0};
        int tab = static_cast<int>(SendMessageA(tcJobs_, TCM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit)));
        DropOnTab(tab);
      }
      return 0;
    case WM_CAPTURECHANGED:
      splitting_ = dragging_ = false;
      return 0;
    case WM_SYSCOMMAND:
      if ((wp & 0xFFF0) == SC_MINIMIZE) {
        MinimizeHost();
        return 0;
      }
      if ((wp & 0xFFF0) == SC_CLOSE && Settings.CloseAsMinimize && !exiting_) {
        MinimizeHost();
        return 0;
      }
      break;
    case WM_CLOSE:
      // The title-bar close minimizes to the tray while "CloseAsMinimize"
      // is on; File, Exit (and the CloseHost service) end the program.
      if (Settings.CloseAsMinimize && !exiting_) {
        MinimizeHost();
        return 0;
      }
      RequestExit();
      return 0;
    case WM_QUERYENDSESSION:
      // Answered at once: the on-shutdown trigger subclasses this window
      // and does its own waiting before passing the query on.
      return TRUE;
    case WM_ENDSESSION:
      // The session ends without an exit sequence: keep what would be lost.
      if (wp) SaveForSessionEnd();
      return 0;
    case WM_COPYDATA:
      return HandleCopyData(reinterpret_cast<const COPYDATASTRUCT*>(lp));
    case WM_DESTROY:
      ShowTrayIcon(NIM_DELETE);
      // The window that message 0x6006 names stays registered until the
      // process ends: a subclass installed on it must never see another.
      SetLogStatusSink(nullptr);
      KillTimer(wnd_, kLogSwitchTimer);
      KillTimer(wnd_, kExitRetryTimer);
      if (TOVLog* log = ShownLog(); log && log->View() == lbLog_) log->AttachView(nullptr);
      if (quitOnDestroy_) PostQuitMessage(0);
      return 0;
    case WM_NCDESTROY:
      SetWindowLongPtrA(wnd_, GWLP_USERDATA, 0);
      wnd_ = nullptr;
      return 0;
    default:
      break;
  }
  return DefWindowProcA(wnd_, msg, wp, lp);
}

// ------------------------------------------------------------ the keys

bool TfOrvane::TranslateKey(const MSG& msg) {
  if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
  if (!wnd_ || (msg.hwnd != wnd_ && !IsChild(wnd_, msg.hwnd))) return false;
  HWND focus = GetFocus();
  // An edit control (a row being renamed) keeps its keys.
  if (focus && IsEditControl(focus)) return false;
  const bool ctrl = GetKeyState(VK_CONTROL) < 0;
  const bool alt = GetKeyState(VK_MENU) < 0;
  const bool shift = GetKeyState(VK_SHIFT) < 0;
  const bool inLog = focus == lbLog_;
  UINT id = 0;
  switch (msg.wParam) {
    case 'X':
      if (ctrl && !alt && !shift) id = cmExit;
      break;
    case VK_INSERT:
      if (!ctrl && !alt && !shift) id = cmNewJob;
      break;
    case VK_RETURN:
      if (alt && !ctrl) id = cmEditJob;
      else if (ctrl && !alt) id = cmRunJob;
      break;
    case VK_DELETE:
      if (ctrl && !alt) id = inLog ? cmClearLog : cmDeleteJob;
      break;
    case VK_F2:
      if (!ctrl && !alt && !inLog) id = cmRenameJob;
      break;
    case 'C':
      if (ctrl && !alt && inLog) id = cmCopyLog;
      break;
    case 'A':
      if (ctrl && !alt && inLog) id = cmSelectAllLog;
      break;
    default:
      break;
  }
  if (!id) return false;
  PostMessageA(wnd_, WM_COMMAND, id, 0);
  return true;
}

int TfOrvane::MessageLoop() {
  // An exit asked for during start-up may have ended everything already.
  if (!wnd_) return 0;
  quitOnDestroy_ = true;
  inLoop_ = true;
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (!PluginMenuTranslateKey(msg) && !TranslateKey(msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
    // Here no window procedure is on the stack.
    if (exitNow_) {
      exitNow_ = false;
      ExitProgram();
    }
  }
  inLoop_ = false;
  return static_cast<int>(msg.wParam);
}

// ------------------------------------------------------ program entry

int OrvaneMain(HINSTANCE inst) {
  // One instance per user: a second start brings the first one forward.
  HANDLE mutex = CreateMutexA(nullptr, TRUE, "ORVANEMTX");
  if (mutex && GetLastError() == ERROR_ALREADY_EXISTS) {
    if (HWND first = FindWindowA(kMainClass, nullptr)) SendMessageA(first, OVM_RESTOREHOST, 0, 0);
    CloseHandle(mutex);
    return 0;
  }
  CreateAppWindow();
  int code = 0;
  {
    TfOrvane form;
    form.Create(inst);
    form.Startup();
    code = form.MessageLoop();
    SetEngineView(nullptr);
  }
  DestroyAppWindow();
  if (mutex) CloseHandle(mutex);
  return code;
}
