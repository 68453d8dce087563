// tapdown.exe <code> <code>: ends the Windows session for the host's
// shutdown action. The host passes the exit-windows code twice; a command
// line whose two numbers disagree was not written by the host and is refused
// rather than guessed at, because a wrong guess logs off or powers off the
// computer.
//
// OV_TAPDOWN_DRYRUN=<file> makes the program write the code it would use
// (and whether it got the shutdown privilege) to <file> instead of ending
// the session, so that tests can check everything up to that last call.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "../SupportMessage.h"

namespace {

constexpr char kCaption[] = "tapdown";

enum TExit { exOk = 0, exBadArguments = 1, exRefused = 2 };

// Log off, shut down, restart, shut down and power off.
bool IsExitCode(long code) {
  return code == EWX_LOGOFF || code == EWX_SHUTDOWN || code == EWX_REBOOT ||
         code == (EWX_SHUTDOWN | EWX_POWEROFF);
}

// Plain decimal digits only: no sign, no blanks, nothing that could overflow.
bool ParseNumber(const char* s, long& value) {
  size_t n = s ? std::char_traits<char>::length(s) : 0;
  if (n == 0 || n > 9) return false;
  for (size_t i = 0; i < n; ++i)
    if (s[i] < '0' || s[i] > '9') return false;
  value = std::strtol(s, nullptr, 10);
  return true;
}

int Refuse(const std::string& reason) {
  SupportMessage(kCaption,
                 reason +
                     "\n\nUsage: tapdown.exe <code> <code>\n"
                     "Both numbers are the same exit-windows code: 0 log off, 1 shut down, "
                     "2 restart, 9 shut down and power off.\nNothing was done.",
                 MB_ICONERROR);
  return exBadArguments;
}

// Ending the session for everyone needs the shutdown privilege, which a
// process holds disabled. Log off works without it, so a failure here is
// only reported when ExitWindowsEx itself refuses.
bool EnableShutdownPrivilege(DWORD& error) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) {
    error = GetLastError();
    return false;
  }
  TOKEN_PRIVILEGES tp{};
  tp.PrivilegeCount = 1;
  tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  bool ok = LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &tp.Privileges[0].Luid) &&
            AdjustTokenPrivileges(token, FALSE, &tp, 0, nullptr, nullptr);
  // AdjustTokenPrivileges succeeds even when it could not enable the
  // privilege; only the last error tells.
  error = GetLastError();
  if (ok && error != ERROR_SUCCESS) ok = false;
  CloseHandle(token);
  return ok;
}

int WriteDryRun(const std::string& file, long code, bool privileged, DWORD error) {
  std::string text = std::to_string(code) + "\r\n" +
                     (privileged ? std::string("SeShutdownPrivilege enabled")
                                 : "SeShutdownPrivilege not enabled (error " +
                                       std::to_string(error) + ")") +
                     "\r\n";
  HANDLE h = CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) {
    SupportMessage(kCaption, "Cannot write " + file + ": " + SystemErrorText(GetLastError()),
                   MB_ICONERROR);
    return exRefused;
  }
  DWORD written = 0;
  WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(h);
  return exOk;
}

std::string DryRunFile() {
  char path[MAX_PATH] = {};
  DWORD n = GetEnvironmentVariableA("OV_TAPDOWN_DRYRUN", path, sizeof path);
  return n > 0 && n < sizeof path ? std::string(path, n) : std::string();
}

int Run(int argc, char** argv) {
  if (argc != 3)
    return Refuse(argc < 3 ? "The exit-windows code is missing." : "Too many arguments.");
  long first = 0, second = 0;
  for (int i = 1; i <= 2; ++i)
    if (!ParseNumber(argv[i], i == 1 ? first : second))
      return Refuse("\"" + std::string(argv[i]) + "\" is not a number.");
  if (first != second)
    return Refuse("The two codes differ (" + std::string(argv[1]) + " and " + argv[2] + ").");
  if (!IsExitCode(first))
    return Refuse(std::to_string(first) + " is not an exit-windows code.");

  DWORD privilegeError = 0;
  bool privileged = EnableShutdownPrivilege(privilegeError);
  std::string dryRun = DryRunFile();
  if (!dryRun.empty()) return WriteDryRun(dryRun, first, privileged, privilegeError);

  UINT code = static_cast<UINT>(first);
  if (!ExitWindowsEx(code, SHTDN_REASON_MAJOR_OTHER | SHTDN_REASON_MINOR_OTHER |
                               SHTDN_REASON_FLAG_PLANNED)) {
    DWORD error = GetLastError();
    SupportMessage(kCaption, "Windows refused to end the session: " + SystemErrorText(error),
                   MB_ICONERROR);
    return exRefused;
  }
  return exOk;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  try {
    return Run(__argc, __argv);
  } catch (...) {
    return exRefused;
  }
}
