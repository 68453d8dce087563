#include "OVClassesLog.h"

#include <algorithm>
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

std::vector<TOVLog*> g_viewsToSync;  // main thread only

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
  ForgetViewSync();
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
  dirty_ = true;
  lines_.push_back({text, level});
  ++added_;
  TrimToMax();
  if (view_) QueueViewSync();
  return static_cast<int>(lines_.size()) - 1;
}

void TOVLog::TrimToMax() {
  size_t max = MaxLines();
  while (lines_.size() > max) lines_.pop_front();
}

void TOVLog::Clear() {
  dirty_ = true;
  lines_.clear();
  viewFirst_ = viewEnd_ = added_;
  if (view_) SendMessageA(view_, LB_RESETCONTENT, 0, 0);
}

void TOVLog::AttachView(HWND view) {
  if (view == view_) return;
  view_ = view;
  if (!view_) {
    ForgetViewSync();
    return;
  }
  SendMessageA(view_, LB_RESETCONTENT, 0, 0);
  viewFirst_ = viewEnd_ = added_ - lines_.size();
  SyncView();
}

// The view follows the log in batches: lines added while the main thread
// is busy reach the list together, with one repaint, when it is idle.
void TOVLog::QueueViewSync() {
  if (viewQueued_) return;
  viewQueued_ = true;
  g_viewsToSync.push_back(this);
  if (g_viewsToSync.size() == 1) {
    if (HWND app = AppWindow()) PostMessageA(app, WM_OV_VIEWSYNC, 0, 0);
  }
}

void TOVLog::ForgetViewSync() {
  viewQueued_ = false;
  std::erase(g_viewsToSync, this);
}

void TOVLog::SyncView() {
  viewQueued_ = false;
  if (!view_) return;
  const uint64_t first = added_ - lines_.size();
  SendMessageA(view_, WM_SETREDRAW, FALSE, 0);
  uint64_t shown = viewEnd_ - viewFirst_;
  uint64_t gone = first > viewFirst_ ? first - viewFirst_ : 0;
  if (gone >= shown) {
    SendMessageA(view_, LB_RESETCONTENT, 0, 0);
    viewFirst_ = viewEnd_ = first;
  } else {
    for (uint64_t k = 0; k < gone; ++k) SendMessageA(view_, LB_DELETESTRING, 0, 0);
    viewFirst_ = first;
  }
  for (uint64_t a = std::max(viewEnd_, first); a < added_; ++a) {
    const Line& l = lines_[static_cast<size_t>(a - first)];
    LRESULT i = SendMessageA(view_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(l.text.c_str()));
    if (i >= 0) SendMessageA(view_, LB_SETITEMDATA, static_cast<WPARAM>(i), l.level);
  }
  viewEnd_ = added_;
  SendMessageA(view_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(view_, nullptr, TRUE);
}

void SyncLogViews() {
  std::vector<TOVLog*> pending;
  pending.swap(g_viewsToSync);
  for (TOVLog* log : pending) log->SyncView();
}

void TOVLog::SaveLog() {
  // A log that has not changed since it was read (or, never read, has no
  // lines) is already on disk as it is: a thousand idle jobs exit fast.
  if (!dirty_) return;
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
  bool ok = text.empty() ||
            WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(h);
  if (ok) dirty_ = false;
}

void TOVLog::LoadLog() {
  std::ifstream in(FileName(), std::ios::binary);
  if (!in) return;
  std::string line;
  bool dropped = false;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    uint8_t level = line.empty() ? lvUnknown : LevelFromLetter(line[0]);
    size_t before = lines_.size();
    if (Add(level, line.size() > 2 ? line.substr(2) : std::string()) < 0 ||
        lines_.size() <= before)
      dropped = true;
  }
  // The file holds what was read unless lines were dropped on the way in.
  dirty_ = dropped;
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
