#include "OVClassesLog.h"

#include <cctype>
#include <cstdio>
#include <fstream>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>

#include "Host.h"
#include "OVClassesJob.h"
#include "OVClassesJobs.h"
#include "OVClassesRun.h"
#include "OVClock.h"
#include "OVMsgBox.h"
#include "uSettings.h"

namespace {

char LevelLetter(uint8_t level) {
  switch (level) {
    case lvInfoMain:
    case lvInfoJob:
      return 'I';
    case lvWarning:
      return 'W';
    case lvError:
      return 'E';
    case lvDebug:
      return 'D';
    default:
      return ' ';
  }
}

uint8_t LevelFromLetter(char c) {
  switch (c) {
    case 'D':
    case 'd':
      return lvDebug;
    case 'E':
    case 'e':
      return lvError;
    case 'I':
    case 'i':
      return lvInfoJob;
    case 'W':
    case 'w':
      return lvWarning;
    default:
      return lvUnknown;
  }
}

size_t MaxLines() { return Settings.MaxLogSize < 0 ? 0 : static_cast<size_t>(Settings.MaxLogSize); }

TLogStatusSink g_statusSink = nullptr;

// While a batch of queued lines is filed, only its last status text is
// shown: one status-bar update per batch, not one per line.
bool g_inBatch = false;
std::string g_batchStatus;

void SetStatusText(const std::string& text) {
  if (g_inBatch)
    g_batchStatus = text;
  else if (g_statusSink)
    g_statusSink(text);
}

bool g_closing = false;

}  // namespace

TOVLog::TOVLog(TOVJob* owner) : owner_(owner) {}

TOVLog::~TOVLog() {
  if (AutoSave) {
    try {
      SaveLog();
    } catch (...) {
      // A log that cannot be written at exit is not reported.
    }
  }
}

std::string TOVLog::FileName() const {
  std::string dir = IncludeTrailingBackslash(Settings.LogDir);
  if (owner_) {
    char name[16];
    std::snprintf(name, sizeof name, "%08X.log", static_cast<unsigned>(owner_->ID()));
    return dir + name;
  }
  return dir + "OV.log";
}

int TOVLog::Add(uint8_t level, const std::string& text) {
  if (owner_ && !owner_->ToLog()) return -1;
  lines_.push_back({text, level});
  if (view_) {
    SendMessageA(view_, WM_SETREDRAW, FALSE, 0);
    LRESULT i = SendMessageA(view_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (i >= 0) SendMessageA(view_, LB_SETITEMDATA, static_cast<WPARAM>(i), level);
  }
  TrimToMax();
  if (view_) {
    SendMessageA(view_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(view_, nullptr, FALSE);
  }
  return static_cast<int>(lines_.size()) - 1;
}

void TOVLog::TrimToMax() {
  size_t max = MaxLines();
  while (lines_.size() > max) {
    lines_.pop_front();
    if (view_) SendMessageA(view_, LB_DELETESTRING, 0, 0);
  }
}

void TOVLog::Clear() {
  lines_.clear();
  if (view_) SendMessageA(view_, LB_RESETCONTENT, 0, 0);
}

void TOVLog::AttachView(HWND view) {
  if (view == view_) return;
  view_ = view;
  if (!view_) return;
  SendMessageA(view_, WM_SETREDRAW, FALSE, 0);
  SendMessageA(view_, LB_RESETCONTENT, 0, 0);
  for (const Line& l : lines_) {
    LRESULT i = SendMessageA(view_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(l.text.c_str()));
    if (i >= 0) SendMessageA(view_, LB_SETITEMDATA, static_cast<WPARAM>(i), l.level);
  }
  SendMessageA(view_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(view_, nullptr, TRUE);
}

void TOVLog::SaveLog() {
  std::string dir = IncludeTrailingBackslash(Settings.LogDir);
  if (dir.empty()) return;
  ForceDirectories(dir);
  std::string text;
  for (const Line& l : lines_) {
    text += LevelLetter(l.level);
    text += ' ';
    text += l.text;
    text += "\r\n";
  }
  HANDLE h = CreateFileA(FileName().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  if (!text.empty()) WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(h);
}

void TOVLog::LoadLog() {
  std::ifstream in(FileName(), std::ios::binary);
  if (!in) return;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    uint8_t level = line.empty() ? lvUnknown : LevelFromLetter(line[0]);
    Add(level, line.size() > 2 ? line.substr(2) : std::string());
  }
}

void RouteLogLine(const char* text, int level, DWORD thread, double when) {
  if (g_closing || !MainLog) return;
  if (level < 0 || level > 2) level = level < 0 ? 0 : 2;
  TOVLog* target = MainLog;
  std::string title = "Orvane";
  std::string clean;
  uint8_t stored;
  TOVJob* job = nullptr;
  if (thread == MainThreadId()) {
    stored = level == 0 ? lvInfoMain : static_cast<uint8_t>(level + 1);
  } else if (Jobs && (job = Jobs->FindByThread(thread)) != nullptr) {
    target = job->Log();
    stored = static_cast<uint8_t>(level + 1);
    title = job->Name();
  } else {
    stored = static_cast<uint8_t>(level);
    clean = "* ";
  }
  for (const char* p = text; *p; ++p) {
    if (*p == '\r') continue;
    clean += *p == '\n' ? ',' : *p;
  }
  target->Add(stored, FormatDateTimeText(when != 0 ? when : OVNow()) + ": " + clean);
  if (stored != lvInfoMain) SetStatusText(title + ": " + clean);
  if (stored == lvError && Settings.ShowErrors) ShowError(nullptr, clean);
}

namespace {

struct QueuedLine {
  int level;
  DWORD thread;
  double when;
  std::string text;
};

std::mutex g_queueLock;
std::vector<QueuedLine> g_queue;
// A writer that gets this far ahead of the main thread waits for it.
constexpr size_t kMaxQueued = 20000;
constexpr UINT kDrainDelayMs = 20;
std::atomic<bool> g_drainArmed{false};
std::condition_variable g_queueRoom;

}  // namespace

void QueueLogLine(int level, DWORD thread, const char* text) {
  bool first;
  {
    std::unique_lock<std::mutex> lock(g_queueLock);
    // A writer this far ahead of the main thread waits until a batch has
    // been filed; the main thread stays free for input meanwhile.
    while (g_queue.size() >= kMaxQueued && AppWindow())
      g_queueRoom.wait_for(lock, std::chrono::milliseconds(100));
    first = g_queue.empty();
    g_queue.push_back({level, thread, OVNow(), text ? text : ""});
  }
  HWND app = AppWindow();
  if (app && first && !g_drainArmed.exchange(true)) PostMessageA(app, WM_OV_LOGDRAIN, kDrainSoon, 0);
}

void HandleLogDrain(WPARAM how) {
  HWND app = AppWindow();
  if (how == kDrainSoon && app) {
    // The batch is filed from a timer: timers come after input and
    // painting, so a flood of lines never freezes the window.
    SetTimer(app, kLogDrainTimer, kDrainDelayMs, nullptr);
    return;
  }
  if (how == kDrainTimer && app) KillTimer(app, kLogDrainTimer);
  g_drainArmed = false;
  DrainLogQueue();
}

void DrainLogQueue() {
  std::vector<QueuedLine> batch;
  {
    std::lock_guard<std::mutex> lock(g_queueLock);
    batch.swap(g_queue);
    g_queue.reserve(1024);
  }
  g_queueRoom.notify_all();
  if (batch.empty()) return;
  g_inBatch = true;
  g_batchStatus.clear();
  for (const QueuedLine& l : batch) {
    try {
      RouteLogLine(l.text.c_str(), l.level, l.thread, l.when);
    } catch (...) {
    }
  }
  g_inBatch = false;
  if (!g_batchStatus.empty()) SetStatusText(g_batchStatus);
}

void SetLogClosing(bool closing) { g_closing = closing; }

void SetLogStatusSink(TLogStatusSink sink) { g_statusSink = sink; }

void RemoveOrphanedLogs(const std::string& logDir, const std::string& jobDir) {
  std::string logs = IncludeTrailingBackslash(logDir);
  std::string jobs = IncludeTrailingBackslash(jobDir);
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((logs + "*.log").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  std::vector<std::string> doomed;
  do {
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    std::string name = fd.cFileName;
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "ov.log") continue;
    size_t dot = name.find_last_of('.');
    std::string jobFile = jobs + name.substr(0, dot) + ".ovj";
    if (!FileExists(jobFile)) doomed.push_back(logs + name);
  } while (FindNextFileA(h, &fd));
  FindClose(h);
  for (const std::string& f : doomed) DeleteFileA(f.c_str());
}
