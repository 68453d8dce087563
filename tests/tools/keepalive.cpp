// A tiny hidden-window process kept alive for a whole test run, so that
// wine's desktop process is not started and stopped for every test.
#include <windows.h>

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR, int) {
  WNDCLASSA wc{};
  wc.lpfnWndProc = DefWindowProcA;
  wc.hInstance = inst;
  wc.lpszClassName = "OVKeepAlive";
  RegisterClassA(&wc);
  CreateWindowExA(0, "OVKeepAlive", "", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, inst, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
  return 0;
}
