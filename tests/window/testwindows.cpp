// Test windows for the window plug-in's tests: one top-level window per
// argument "<state>:<title>", state show, hide, min or max. Titles may hold
// any characters (they are read as wide text). "--delay=<ms>" opens the
// windows only after that time. The program ends when its last window is
// closed, or after two minutes at the latest.
#include <windows.h>

#include <shellapi.h>

#include <cwchar>
#include <string>
#include <vector>

namespace {

int g_open = 0;

LRESULT CALLBACK WndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_DESTROY && --g_open == 0) PostQuitMessage(0);
  return DefWindowProcW(wnd, msg, wp, lp);
}

void Open(HINSTANCE inst, const std::wstring& spec) {
  size_t colon = spec.find(L':');
  if (colon == std::wstring::npos) return;
  std::wstring state = spec.substr(0, colon), title = spec.substr(colon + 1);
  HWND wnd = CreateWindowExW(0, L"OVTestWindow", title.c_str(), WS_OVERLAPPEDWINDOW, 40, 40, 300, 200, nullptr,
                             nullptr, inst, nullptr);
  if (!wnd) return;
  ++g_open;
  if (state == L"show") ShowWindow(wnd, SW_SHOWNORMAL);
  if (state == L"min") ShowWindow(wnd, SW_SHOWMINIMIZED);
  if (state == L"max") ShowWindow(wnd, SW_SHOWMAXIMIZED);
}

}  // namespace

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR, int) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  WNDCLASSW wc{};
  wc.lpfnWndProc = WndProc;
  wc.hInstance = inst;
  wc.lpszClassName = L"OVTestWindow";
  RegisterClassW(&wc);
  for (int i = 1; i < argc; ++i) {
    if (wcsncmp(argv[i], L"--delay=", 8) == 0)
      Sleep(static_cast<DWORD>(_wtoi(argv[i] + 8)));
    else
      Open(inst, argv[i]);
  }
  if (g_open == 0) return 1;
  SetTimer(nullptr, 0, 120000, nullptr);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_TIMER && !msg.hwnd) break;
    DispatchMessageW(&msg);
  }
  return 0;
}
