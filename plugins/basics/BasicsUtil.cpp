#include "BasicsUtil.h"

#include <commctrl.h>

#include "OVError.h"

std::string NotAvailableText(const std::string& name) {
  return Format("\"%s\" is not available in this version", name.c_str());
}

TMethodCase NotAvailableMethod(const std::string& name) {
  auto refuse = [name](TOVMethodParams&) {
    HostLog(OV_LOG_ERROR, NotAvailableText(name));
    return false;
  };
  return TMethodCase{.Exec = refuse, .Config = refuse, .Descr = nullptr};
}

TRunnerCase NotAvailableRunner(const std::string& name) {
  auto refuse = [name](TOVRunnerParams&) {
    HostLog(OV_LOG_ERROR, NotAvailableText(name));
    return false;
  };
  return TRunnerCase{.Config = refuse, .Start = refuse, .Stop = nullptr, .Descr = nullptr};
}

bool ReadFixedText(TBlockReader& r, uint32_t stored, std::string& text) {
  if (!r.ok()) return false;
  // Nothing is taken before the whole length is known to be there, so a
  // damaged length costs no time and changes nothing.
  if (stored > r.Size() - r.Position()) {
    uint8_t probe;
    while (r.Byte(probe)) {
    }
    return false;
  }
  std::string raw;
  raw.reserve(stored);
  for (uint32_t i = 0; i < stored; ++i) {
    uint8_t c = 0;
    if (!r.Byte(c)) return false;
    raw.push_back(static_cast<char>(c));
  }
  size_t zero = raw.find('\0');
  text = zero == std::string::npos ? raw : raw.substr(0, zero);
  return true;
}

void WriteFixedText(TBlockWriter& w, const std::string& text) {
  for (char c : text) w.Byte(static_cast<uint8_t>(c));
  w.Byte(0);
}

TCallerJob CallerJob() {
  TCallerJob job;
  job.ID = HostCurrentJob();
  if (job.ID != 0) job.Name = HostJobName(job.ID);
  return job;
}

bool WaitPumping(HANDLE handle) {
  for (;;) {
    DWORD r = MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) return true;
    if (r != WAIT_OBJECT_0 + 1) return false;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        return false;
      }
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
}

namespace {

// The host shows a run that was asked to stop as "stopping".
bool StopRequested(int32_t jobId) {
  for (const TJobEntry& job : HostEnumJobs())
    if (job.ID == jobId) return job.State == OV_STATE_STOPPING;
  return false;
}

}  // namespace

TWaitEnd WaitPumpingUntilStopped(HANDLE handle, int32_t jobId) {
  // The stop request is looked for a few times a second: the host has no
  // other way to reach a step that waits.
  constexpr DWORD kStopPollMs = 200;
  ULONGLONG lastPoll = 0;
  for (;;) {
    ULONGLONG now = GetTickCount64();
    if (jobId != 0 && now - lastPoll >= kStopPollMs) {
      lastPoll = now;
      if (WaitForSingleObject(handle, 0) == WAIT_OBJECT_0) return TWaitEnd::Signalled;
      if (StopRequested(jobId)) return TWaitEnd::Stopped;
    }
    DWORD r = MsgWaitForMultipleObjects(1, &handle, FALSE, jobId != 0 ? kStopPollMs : INFINITE,
                                        QS_ALLINPUT);
    if (r == WAIT_OBJECT_0) return TWaitEnd::Signalled;
    if (r == WAIT_TIMEOUT) continue;
    if (r != WAIT_OBJECT_0 + 1) return TWaitEnd::Failed;
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
      if (msg.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(msg.wParam));
        return TWaitEnd::Failed;
      }
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
}

std::string SystemErrorText(DWORD code) {
  char* buffer = nullptr;
  DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                           nullptr, code, 0, reinterpret_cast<char*>(&buffer), 0, nullptr);
  std::string text = n && buffer ? std::string(buffer, n) : std::string();
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
    text.pop_back();
  if (text.empty()) text = Format("error %lu", static_cast<unsigned long>(code));
  return text;
}

void InitDialogControls() {
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&icc);
}
