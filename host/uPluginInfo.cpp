#include "uPluginInfo.h"

#include "OVClassesPlugins.h"
#include "OVDialog.h"
#include "OVError.h"
#include "uPrefsRes.h"

const char kAboutClass[] = "TfAbout";

namespace {

class TfPluginInfo : public OVDialog {
 public:
  explicit TfPluginInfo(std::vector<std::string> lines) : OVDialog(IDD_PLUGININFO), lines_(std::move(lines)) {}

 protected:
  bool OnInit() override {
    SendDlgItemMessageA(Handle(), IDC_INFOTEXT, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(ANSI_FIXED_FONT)),
                        FALSE);
    SetItemLines(IDC_INFOTEXT, lines_);
    Focus(IDOK);
    return false;
  }

 private:
  std::vector<std::string> lines_;
};

LRESULT CALLBACK AboutProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(wnd, &ps);
      RECT rc;
      GetClientRect(wnd, &rc);
      // A vertical blend from deep blue to teal, framed.
      for (int y = 0; y < rc.bottom; ++y) {
        int t = rc.bottom > 1 ? y * 255 / (rc.bottom - 1) : 0;
        HBRUSH b = CreateSolidBrush(RGB(20, 40 + t / 3, 110 + t / 3));
        RECT line{0, y, rc.right, y + 1};
        FillRect(dc, &line, b);
        DeleteObject(b);
      }
      FrameRect(dc, &rc, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
      SetBkMode(dc, TRANSPARENT);
      SetTextColor(dc, RGB(255, 255, 255));
      HFONT big = CreateFontA(40, 0, 0, 0, FW_BOLD, FALSE, FALSE, FALSE, ANSI_CHARSET, 0, 0, 0, 0, "Arial");
      HGDIOBJ old = SelectObject(dc, big);
      RECT title{0, 40, rc.right, 100};
      DrawTextA(dc, "Orvane", -1, &title, DT_CENTER | DT_SINGLELINE | DT_VCENTER);
      SelectObject(dc, GetStockObject(DEFAULT_GUI_FONT));
      RECT sub{0, 100, rc.right, 124};
      DrawTextA(dc, "Version 1.4 - desktop automation", -1, &sub, DT_CENTER | DT_SINGLELINE | DT_VCENTER);
      RECT close{8, rc.bottom - 24, rc.right, rc.bottom - 6};
      DrawTextA(dc, "Click or press Esc to close", -1, &close, DT_LEFT | DT_SINGLELINE | DT_VCENTER);
      SelectObject(dc, old);
      DeleteObject(big);
      EndPaint(wnd, &ps);
      return 0;
    }
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
      DestroyWindow(wnd);
      return 0;
    case WM_KEYDOWN:
      if (wp == VK_ESCAPE || wp == VK_RETURN || wp == VK_SPACE) DestroyWindow(wnd);
      return 0;
    default:
      return DefWindowProcA(wnd, msg, wp, lp);
  }
}

}  // namespace

std::vector<std::string> PluginInfoLines(TOVPlugin* plugin) {
  std::vector<std::string> lines{""};
  lines.push_back("  Description: " + plugin->Description());
  lines.push_back("  Placed: " + plugin->FileName());
  lines.push_back("  --------");
  int methods = plugin->HasMethods() ? plugin->MethodCount() : 0;
  if (methods < 0) methods = 0;
  lines.push_back(Format("  Actions count: %d", methods));
  for (int i = 0; i < methods; ++i) lines.push_back("  * method \"" + plugin->MethodName(i) + "\"");
  lines.push_back("  --------");
  int runners = plugin->HasRunners() ? plugin->RunnerCount() : 0;
  if (runners < 0) runners = 0;
  lines.push_back(Format("  Triggered Events count: %d", runners));
  for (int i = 0; i < runners; ++i) lines.push_back("  * event \"" + plugin->RunnerName(i) + "\"");
  return lines;
}

void ShowPluginInfo(HWND owner, TOVPlugin* plugin) {
  if (!plugin) return;
  TfPluginInfo dlg(PluginInfoLines(plugin));
  dlg.DoModal(owner);
}

void ShowAbout(HWND owner) {
  HINSTANCE inst = GetModuleHandleA(nullptr);
  WNDCLASSA wc{};
  if (!GetClassInfoA(inst, kAboutClass, &wc)) {
    wc = WNDCLASSA{};
    wc.lpfnWndProc = AboutProc;
    wc.hInstance = inst;
    wc.hCursor = LoadCursor(nullptr, IDC_HAND);
    wc.lpszClassName = kAboutClass;
    RegisterClassA(&wc);
  }
  const int w = 300, h = 200;
  RECT work;
  SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  int x = work.left + (work.right - work.left - w) / 2;
  int y = work.top + (work.bottom - work.top - h) / 2;
  HWND wnd = CreateWindowExA(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, kAboutClass, "About Orvane", WS_POPUP, x, y, w, h,
                             owner, nullptr, inst, nullptr);
  if (!wnd) return;
  bool ownerWasEnabled = owner && IsWindowEnabled(owner);
  if (ownerWasEnabled) EnableWindow(owner, FALSE);
  ShowWindow(wnd, SW_SHOW);
  SetForegroundWindow(wnd);
  SetFocus(wnd);
  MSG msg;
  while (IsWindow(wnd)) {
    BOOL got = GetMessageA(&msg, nullptr, 0, 0);
    if (got <= 0) {
      // The program is ending: the quit message belongs to the main loop.
      if (got == 0) PostQuitMessage(static_cast<int>(msg.wParam));
      if (IsWindow(wnd)) DestroyWindow(wnd);
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  if (ownerWasEnabled) {
    EnableWindow(owner, TRUE);
    SetActiveWindow(owner);
  }
}
