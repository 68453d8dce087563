// The question window of ovdlg.dll. Every call keeps its state on the
// calling thread's stack (the window's user data), so jobs on several threads
// can each ask at the same time.
#include "ovdlg.h"

#include <algorithm>
#include <cstdio>
#include <string>

namespace {

constexpr int kQuestionTemplate = 1;
constexpr UINT_PTR kTickTimer = 1;
// The countdown is re-read several times a second so that its display never
// lags a whole second behind the clock.
constexpr UINT kTickMs = 200;

HINSTANCE g_module = nullptr;

struct TQuestion {
  HWND owner;
  std::string caption;
  std::string text;
  bool okCancel;
  int autoAnswer;  // 0 none, else the answer given when the countdown ends
  int seconds;
  ULONGLONG deadline = 0;
  int shownSeconds = -1;
};

const char* AnswerName(const TQuestion& q, int answer) {
  if (answer == OVDLG_OK_YES) return q.okCancel ? "OK" : "Yes";
  return q.okCancel ? "Cancel" : "No";
}

int DlgUnitsX(HWND dlg, int units) {
  RECT r{0, 0, units, 0};
  MapDialogRect(dlg, &r);
  return r.right;
}

int DlgUnitsY(HWND dlg, int units) {
  RECT r{0, 0, 0, units};
  MapDialogRect(dlg, &r);
  return r.bottom;
}

// Size of the text as the static control will draw it, wrapped at maxWidth.
SIZE MeasureText(HWND control, const std::string& text, int maxWidth) {
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0)));
  RECT r{0, 0, maxWidth, 0};
  std::string measured = text.empty() ? " " : text;
  DrawTextA(dc, measured.c_str(), -1, &r,
            DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX | DT_EXPANDTABS | DT_EDITCONTROL);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  return SIZE{r.right - r.left, r.bottom - r.top};
}

RECT WorkAreaOf(HWND wnd) {
  MONITORINFO mi{};
  mi.cbSize = sizeof mi;
  HMONITOR mon = MonitorFromWindow(wnd, MONITOR_DEFAULTTOPRIMARY);
  if (mon && GetMonitorInfoA(mon, &mi)) return mi.rcWork;
  RECT r{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  return r;
}

// Fits the window to its text: long questions widen it up to two thirds of
// the screen and then grow it downwards; the buttons stay centred below.
void Layout(HWND dlg, const TQuestion& q) {
  HWND icon = GetDlgItem(dlg, OVDLG_ID_ICON);
  HWND text = GetDlgItem(dlg, OVDLG_ID_TEXT);
  HWND countdown = GetDlgItem(dlg, OVDLG_ID_COUNTDOWN);
  HWND ok = GetDlgItem(dlg, IDOK);
  HWND cancel = GetDlgItem(dlg, IDCANCEL);

  RECT work = WorkAreaOf(q.owner ? q.owner : dlg);
  const int margin = DlgUnitsX(dlg, 8);
  const int gap = DlgUnitsY(dlg, 7);
  const int iconSize = GetSystemMetrics(SM_CXICON);
  const int buttonW = DlgUnitsX(dlg, 50);
  const int buttonH = DlgUnitsY(dlg, 14);
  const int buttonGap = DlgUnitsX(dlg, 8);
  const int lineH = DlgUnitsY(dlg, 10);
  const int minTextW = DlgUnitsX(dlg, 150);
  const int maxTextW = std::max(minTextW, static_cast<int>((work.right - work.left) * 2 / 3));
  const int maxTextH = std::max(lineH, static_cast<int>((work.bottom - work.top) * 2 / 3));

  SIZE ts = MeasureText(text, q.text, maxTextW);
  int textW = std::max(minTextW, static_cast<int>(ts.cx));
  int textH = std::min(maxTextH, std::max(static_cast<int>(ts.cy), lineH));
  int textX = margin + iconSize + margin;
  int textY = margin + std::max(0, (iconSize - textH) / 2);
  int y = margin + std::max(iconSize, textH) + gap;

  MoveWindow(icon, margin, margin, iconSize, iconSize, FALSE);
  MoveWindow(text, textX, textY, textW, textH, FALSE);
  if (q.autoAnswer) {
    MoveWindow(countdown, textX, y, textW, lineH, FALSE);
    y += lineH + gap;
  } else {
    ShowWindow(countdown, SW_HIDE);
  }
  int clientW = std::max(textX + textW + margin, 2 * buttonW + buttonGap + 2 * margin);
  int buttonsX = (clientW - (2 * buttonW + buttonGap)) / 2;
  MoveWindow(ok, buttonsX, y, buttonW, buttonH, FALSE);
  MoveWindow(cancel, buttonsX + buttonW + buttonGap, y, buttonW, buttonH, FALSE);
  int clientH = y + buttonH + margin;

  RECT frame{0, 0, clientW, clientH};
  AdjustWindowRectEx(&frame, static_cast<DWORD>(GetWindowLongA(dlg, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongA(dlg, GWL_EXSTYLE)));
  int w = frame.right - frame.left;
  int h = frame.bottom - frame.top;
  RECT around = work;
  if (q.owner && IsWindowVisible(q.owner) && !IsIconic(q.owner)) GetWindowRect(q.owner, &around);
  int x = around.left + ((around.right - around.left) - w) / 2;
  int top = around.top + ((around.bottom - around.top) - h) / 2;
  x = std::max(static_cast<int>(work.left), std::min(x, static_cast<int>(work.right) - w));
  top = std::max(static_cast<int>(work.top), std::min(top, static_cast<int>(work.bottom) - h));
  // Without an owner nothing keeps the question in front of the window the
  // person is working in: it goes on top of everything.
  HWND z = q.owner ? nullptr : HWND_TOPMOST;
  SetWindowPos(dlg, z, x, top, w, h, SWP_NOACTIVATE | (z ? 0 : SWP_NOZORDER));
}

void ShowCountdown(HWND dlg, TQuestion& q, int secondsLeft) {
  if (secondsLeft == q.shownSeconds) return;
  q.shownSeconds = secondsLeft;
  char line[64];
  std::snprintf(line, sizeof line, "%s in %d s", AnswerName(q, q.autoAnswer), secondsLeft);
  SetDlgItemTextA(dlg, OVDLG_ID_COUNTDOWN, line);
}

// Remaining whole seconds, rounded up so that "1 s" is shown until the end.
int SecondsLeft(const TQuestion& q) {
  ULONGLONG now = GetTickCount64();
  if (now >= q.deadline) return 0;
  return static_cast<int>((q.deadline - now + 999) / 1000);
}

BOOL OnInit(HWND dlg, TQuestion& q) {
  SetWindowLongPtrA(dlg, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&q));
  SetWindowTextA(dlg, q.caption.c_str());
  SetDlgItemTextA(dlg, OVDLG_ID_TEXT, q.text.c_str());
  SetDlgItemTextA(dlg, IDOK, q.okCancel ? "OK" : "&Yes");
  SetDlgItemTextA(dlg, IDCANCEL, q.okCancel ? "Cancel" : "&No");
  SendDlgItemMessageA(dlg, OVDLG_ID_ICON, STM_SETICON,
                      reinterpret_cast<WPARAM>(LoadIconA(nullptr, IDI_QUESTION)), 0);
  Layout(dlg, q);

  // The default button is the answer that will be given by itself, so that
  // Enter confirms what the countdown announces.
  int defId = q.autoAnswer == OVDLG_CANCEL_NO ? IDCANCEL : IDOK;
  SendMessageA(dlg, DM_SETDEFID, static_cast<WPARAM>(defId), 0);
  SendMessageA(GetDlgItem(dlg, defId == IDOK ? IDCANCEL : IDOK), BM_SETSTYLE, BS_PUSHBUTTON,
               TRUE);
  SendMessageA(GetDlgItem(dlg, defId), BM_SETSTYLE, BS_DEFPUSHBUTTON, TRUE);
  SetFocus(GetDlgItem(dlg, defId));

  if (q.autoAnswer) {
    q.deadline = GetTickCount64() + static_cast<ULONGLONG>(q.seconds) * 1000;
    ShowCountdown(dlg, q, SecondsLeft(q));
    SetTimer(dlg, kTickTimer, kTickMs, nullptr);
  }
  SetForegroundWindow(dlg);
  return FALSE;  // focus set above
}

INT_PTR CALLBACK QuestionProc(HWND dlg, UINT msg, WPARAM wp, LPARAM lp) {
  auto* q = reinterpret_cast<TQuestion*>(GetWindowLongPtrA(dlg, GWLP_USERDATA));
  switch (msg) {
    case WM_INITDIALOG:
      return OnInit(dlg, *reinterpret_cast<TQuestion*>(lp));
    case WM_TIMER:
      if (q && wp == kTickTimer) {
        int left = SecondsLeft(*q);
        if (left <= 0) {
          KillTimer(dlg, kTickTimer);
          EndDialog(dlg, q->autoAnswer);
        } else {
          ShowCountdown(dlg, *q, left);
        }
        return TRUE;
      }
      break;
    case WM_COMMAND:
      // The close box and Escape arrive as IDCANCEL: both answer Cancel/No.
      if (LOWORD(wp) == IDOK || LOWORD(wp) == IDCANCEL) {
        KillTimer(dlg, kTickTimer);
        EndDialog(dlg, LOWORD(wp) == IDOK ? OVDLG_OK_YES : OVDLG_CANCEL_NO);
        return TRUE;
      }
      break;
    default:
      break;
  }
  return FALSE;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE inst, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) {
    g_module = inst;
    DisableThreadLibraryCalls(inst);
  }
  return TRUE;
}

extern "C" int WINAPI Question(HWND owner, const char* caption, const char* text, BOOL okCancel,
                               int autoAnswer, int seconds) {
  // A window that cannot be shown answers as if it had been closed, or with
  // the automatic answer when one was asked for: the caller never waits for
  // a window that does not exist.
  int fallback = OVDLG_CANCEL_NO;
  try {
    TQuestion q{};
    q.owner = owner && IsWindow(owner) ? owner : nullptr;
    q.caption = caption ? caption : "";
    q.text = text ? text : "";
    q.okCancel = okCancel != FALSE;
    q.autoAnswer =
        autoAnswer == OVDLG_AUTO_OK_YES || autoAnswer == OVDLG_AUTO_CANCEL_NO ? autoAnswer : 0;
    q.seconds = std::max(1, seconds);
    if (q.autoAnswer) fallback = q.autoAnswer;
    INT_PTR r = DialogBoxParamA(g_module, MAKEINTRESOURCEA(kQuestionTemplate), q.owner,
                                QuestionProc, reinterpret_cast<LPARAM>(&q));
    if (r == OVDLG_OK_YES || r == OVDLG_CANCEL_NO) return static_cast<int>(r);
  } catch (...) {
  }
  return fallback;
}
