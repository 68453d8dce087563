// A window that writes down how the session ends: started in a wine prefix
// of its own, it shows that tapdown really asked the system to end the
// session. endsession_probe <file>: writes "ready" once its window exists,
// then one line per WM_QUERYENDSESSION / WM_ENDSESSION with the lParam.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

std::string g_file;

void Append(const std::string& line) {
  HANDLE h = CreateFileA(g_file.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  FlushFileBuffers(h);
  CloseHandle(h);
}

LRESULT CALLBACK ProbeProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp) {
  char line[64];
  switch (msg) {
    case WM_QUERYENDSESSION:
      std::snprintf(line, sizeof line, "query %08lX", static_cast<unsigned long>(lp));
      Append(line);
      return TRUE;
    case WM_ENDSESSION:
      std::snprintf(line, sizeof line, "end %d %08lX", static_cast<int>(wp),
                    static_cast<unsigned long>(lp));
      Append(line);
      return 0;
    default:
      return DefWindowProcA(wnd, msg, wp, lp);
  }
}

}  // namespace

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR, int) {
  if (__argc < 2) return 1;
  g_file = __argv[1];
  WNDCLASSA wc{};
  wc.lpfnWndProc = ProbeProc;
  wc.hInstance = inst;
  wc.lpszClassName = "OVEndSessionProbe";
  RegisterClassA(&wc);
  HWND wnd = CreateWindowExA(0, wc.lpszClassName, "probe", WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                             nullptr, nullptr, inst, nullptr);
  if (!wnd) return 2;
  Append("ready");
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  return 0;
}
