// ovjobrun.exe $XXXXXXXX: what a job's desktop shortcut starts. It asks the
// running Orvane to run the job with that ID and starts Orvane from this
// program's folder first when none is running.
//
// The request is a WM_COPYDATA record (host/RemoteRequests.h) because the
// cause text has to cross into the host's process. The host answers
// "not ready" until its jobs are loaded, so the request can be sent as soon
// as the main window exists, whether that window is shown or sits hidden in
// the tray.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../../host/RemoteRequests.h"
#include "../SupportMessage.h"

namespace {

constexpr char kCaption[] = "Orvane";
constexpr char kMainClass[] = "TfOrvane";
constexpr char kInstanceMutex[] = "ORVANEMTX";
constexpr char kCause[] = "Shortcut";
// Start-up loads every plug-in and job; a slow disk may take a while.
constexpr DWORD kReadyTimeoutMs = 60000;
constexpr UINT kAnswerTimeoutMs = 30000;
constexpr DWORD kPollMs = 100;
// An Orvane that is just exiting when the shortcut is used is started again
// once it is gone; one that keeps vanishing is not chased for ever.
constexpr int kMaxStarts = 2;

enum TExit { exOk = 0, exBadArguments = 1, exNoOrvane = 2, exNoJob = 3 };

std::string JobText(uint32_t id) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "$%08X", static_cast<unsigned>(id));
  return buf;
}

bool IsHexDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

// "$" and exactly eight hexadecimal digits, either case.
bool ParseJobArg(const char* arg, uint32_t& id) {
  if (!arg || arg[0] != '$' || std::strlen(arg) != 9) return false;
  id = 0;
  for (int i = 1; i <= 8; ++i) {
    char c = arg[i];
    if (!IsHexDigit(c)) return false;
    int v = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
    id = id << 4 | static_cast<uint32_t>(v);
  }
  return true;
}

int Refuse(const std::string& reason) {
  SupportMessage(kCaption,
                 reason +
                     "\n\nUsage: ovjobrun.exe $<job ID>\n"
                     "The job ID is 8 hexadecimal digits, for example $0012ABCD.\n"
                     "No job was started.",
                 MB_ICONERROR);
  return exBadArguments;
}

bool InstanceExists() {
  HANDLE m = OpenMutexA(SYNCHRONIZE, FALSE, kInstanceMutex);
  if (!m) return false;
  CloseHandle(m);
  return true;
}

bool StartOrvane(std::string& error) {
  std::string dir = SupportProgramDir();
  std::string exe = dir + "orvane.exe";
  std::string cmd = "\"" + exe + "\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessA(exe.c_str(), cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      dir.empty() ? nullptr : dir.c_str(), &si, &pi)) {
    error = "Cannot start " + exe + ": " + SystemErrorText(GetLastError());
    return false;
  }
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return true;
}

enum TSend { sdAnswered, sdGone, sdTimeout };

TSend SendRequest(HWND wnd, std::vector<char>& record, LRESULT& answer) {
  COPYDATASTRUCT cds{};
  cds.dwData = OV_COPYDATA_RUNJOB;
  cds.cbData = static_cast<DWORD>(record.size());
  cds.lpData = record.data();
  DWORD_PTR result = 0;
  SetLastError(ERROR_SUCCESS);
  if (SendMessageTimeoutA(wnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds),
                          SMTO_NORMAL | SMTO_ABORTIFHUNG, kAnswerTimeoutMs, &result)) {
    answer = static_cast<LRESULT>(result);
    return sdAnswered;
  }
  // A window that went away (Orvane exiting) is looked for again; a host
  // that does not answer may still act on the request later, so asking
  // twice could run the job twice.
  DWORD error = GetLastError();
  return error == ERROR_TIMEOUT || (error == ERROR_SUCCESS && IsWindow(wnd)) ? sdTimeout : sdGone;
}

int Run(int argc, char** argv) {
  if (argc < 2) return Refuse("The job ID is missing.");
  if (argc > 2) return Refuse("Too many arguments.");
  uint32_t id = 0;
  if (!ParseJobArg(argv[1], id)) return Refuse("\"" + std::string(argv[1]) + "\" is not a job ID.");

  std::vector<char> record(sizeof(int32_t) + sizeof kCause);
  std::memcpy(record.data(), &id, sizeof(int32_t));
  std::memcpy(record.data() + sizeof(int32_t), kCause, sizeof kCause);

  int starts = 0;
  ULONGLONG deadline = GetTickCount64() + kReadyTimeoutMs;
  for (;;) {
    HWND wnd = FindWindowA(kMainClass, nullptr);
    if (wnd) {
      LRESULT answer = 0;
      switch (SendRequest(wnd, record, answer)) {
        case sdAnswered:
          if (answer == OV_RUNJOB_DONE) return exOk;
          if (answer == OV_RUNJOB_NOJOB) {
            SupportMessage(kCaption, "Orvane has no job " + JobText(id) + ".", MB_ICONWARNING);
            return exNoJob;
          }
          break;  // not ready yet
        case sdTimeout:
          SupportMessage(kCaption,
                         "Orvane does not answer; job " + JobText(id) + " may not have started.",
                         MB_ICONERROR);
          return exNoOrvane;
        case sdGone:
          break;
      }
    } else if (!InstanceExists() && starts < kMaxStarts) {
      // No window and no instance: nobody is starting Orvane but us.
      std::string error;
      if (!StartOrvane(error)) {
        SupportMessage(kCaption, error, MB_ICONERROR);
        return exNoOrvane;
      }
      ++starts;
      deadline = GetTickCount64() + kReadyTimeoutMs;
    }
    if (GetTickCount64() >= deadline) break;
    Sleep(kPollMs);
  }
  SupportMessage(kCaption,
                 "Orvane did not get ready in time; job " + JobText(id) + " was not started.",
                 MB_ICONERROR);
  return exNoOrvane;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  try {
    return Run(__argc, __argv);
  } catch (...) {
    return exNoOrvane;
  }
}
