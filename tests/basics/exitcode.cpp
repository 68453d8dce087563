// A tiny program for the "Run a program" tests:
//   exitcode.exe <code> [<sleep ms> [<marker file>]]   writes the marker
//   file (when given), sleeps, and exits with the code (-1 allowed).
//   exitcode.exe spin <ms>                             keeps one core busy.
#include <windows.h>

#include <cstdlib>
#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  int argc = __argc;
  char** argv = __argv;
  if (argc >= 3 && std::strcmp(argv[1], "spin") == 0) {
    DWORD until = GetTickCount() + static_cast<DWORD>(std::atoi(argv[2]));
    volatile unsigned long n = 0;
    while (static_cast<LONG>(GetTickCount() - until) < 0) n = n + 1;
    return 0;
  }
  long code = argc >= 2 ? std::strtol(argv[1], nullptr, 10) : 0;
  if (argc >= 4) {
    HANDLE f = CreateFileA(argv[3], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f != INVALID_HANDLE_VALUE) CloseHandle(f);
  }
  if (argc >= 3) Sleep(static_cast<DWORD>(std::atoi(argv[2])));
  ExitProcess(static_cast<UINT>(code));
}
