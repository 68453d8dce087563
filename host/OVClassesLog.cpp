#include "OVClassesLog.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <atomic>

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

// Error boxes waiting to be shown, and what keeps them waiting.
std::deque<std::string> g_pendingBoxes;
int g_boxHold = 0;
bool g_showingBoxes = false;

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
  LRESULT last = -1;
  for (uint64_t a = std::max(viewEnd_, first); a < added_; ++a) {
    const Line& l = lines_[static_cast<size_t>(a - first)];
    LRESULT i = SendMessageA(view_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(l.text.c_str()));
    if (i >= 0) SendMessageA(view_, LB_SETITEMDATA, static_cast<WPARAM>(i), l.level);
    last = i;
  }
  viewEnd_ = added_;
  // The newest line becomes the selected one, so that it is in view.
  if (last >= 0) {
    LONG_PTR style = GetWindowLongPtrA(view_, GWL_STYLE);
    if (style & (LBS_EXTENDEDSEL | LBS_MULTIPLESEL)) {
      SendMessageA(view_, LB_SETSEL, FALSE, -1);
      SendMessageA(view_, LB_SETSEL, TRUE, last);
      SendMessageA(view_, LB_SETCARETINDEX, static_cast<WPARAM>(last), FALSE);
    } else {
      SendMessageA(view_, LB_SETCURSEL, static_cast<WPARAM>(last), 0);
    }
  }
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

namespace {
void FileLine(TOVLog* target, uint8_t stored, const std::string& title, const std::string& clean,
              double when);
}  // namespace

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
  FileLine(target, stored, title, clean, when);
}

void LogToJob(TOVJob* job, int level, const std::string& text) {
  if (g_closing || !job) return;
  if (level < 0 || level > 2) level = level < 0 ? 0 : 2;
  std::string clean;
  for (char c : text) {
    if (c == '\r') continue;
    clean += c == '\n' ? ',' : c;
  }
  FileLine(job->Log(), static_cast<uint8_t>(level + 1), job->Name(), clean, 0);
}

namespace {

void FileLine(TOVLog* target, uint8_t stored, const std::string& title, const std::string& clean,
              double when) {
  target->Add(stored, FormatDateTimeText(when != 0 ? when : OVNow()) + ": " + clean);
  if (stored != lvInfoMain) SetStatusText(title + ": " + clean);
  if (stored == lvError && Settings.ShowErrors) {
    g_pendingBoxes.push_back(clean);
    // A batch shows its boxes once all of it is filed.
    if (!g_inBatch) ShowPendingErrorBoxes();
  }
}

}  // namespace

TErrorBoxHold::TErrorBoxHold() { ++g_boxHold; }
TErrorBoxHold::~TErrorBoxHold() { --g_boxHold; }

void ShowPendingErrorBoxes() {
  // One box at a time: errors that come while a box is open wait for it.
  if (g_boxHold > 0 || g_showingBoxes) return;
  g_showingBoxes = true;
  while (!g_pendingBoxes.empty()) {
    std::string text = std::move(g_pendingBoxes.front());
    g_pendingBoxes.pop_front();
    try {
      ShowError(nullptr, text);
    } catch (...) {
    }
  }
  g_showingBoxes = false;
}

namespace {

// The queue of lines from job threads is a lock-free list: a writer adds
// its line with one atomic exchange, the main thread takes the whole list
// with another. A writer may be killed at any moment (a run thread), so on
// its way it takes no lock of the process either: not the heap's (its
// lines reuse the nodes the main thread hands back to it) and not the
// clock's (it notes the system time, which the main thread turns into the
// program's clock). A killed writer can block nobody.
struct TWriterSlot;

struct QueuedLine {
  int level;
  DWORD thread;
  uint64_t written;  // system time, 100 ns units
  std::string text;
  QueuedLine* next;  // the line written before this one
  TWriterSlot* owner;
};

// The nodes of one writing thread: the main thread pushes consumed nodes
// onto `returned`, the writer takes all of them at once.
struct TWriterSlot {
  std::atomic<int> taken{0};
  std::atomic<QueuedLine*> returned{nullptr};
  QueuedLine* cache = nullptr;  // the writer's own
  std::atomic<HANDLE> thread{nullptr};
};

constexpr size_t kWriterSlots = 256;
TWriterSlot g_writers[kWriterSlots];
thread_local TWriterSlot* t_writer = nullptr;

std::atomic<QueuedLine*> g_queueHead{nullptr};  // the newest line
std::atomic<size_t> g_queued{0};
// A writer that gets this far ahead of the main thread waits for it.
constexpr size_t kMaxQueued = 20000;
constexpr UINT kDrainDelayMs = 20;
std::atomic<bool> g_drainArmed{false};

uint64_t SystemTime() {
  FILETIME ft;
  GetSystemTimeAsFileTime(&ft);
  return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

TWriterSlot* WriterSlot() {
  if (t_writer) return t_writer;
  for (TWriterSlot& w : g_writers) {
    int expected = 0;
    if (w.taken.compare_exchange_strong(expected, 1)) {
      w.cache = nullptr;
      w.thread = OpenThread(SYNCHRONIZE, FALSE, GetCurrentThreadId());
      t_writer = &w;
      return &w;
    }
  }
  return nullptr;  // more writers than slots: these lines use fresh nodes
}

QueuedLine* TakeNode() {
  TWriterSlot* w = WriterSlot();
  if (w) {
    if (!w->cache) w->cache = w->returned.exchange(nullptr);
    if (QueuedLine* n = w->cache) {
      w->cache = n->next;
      return n;
    }
  }
  auto* n = new QueuedLine{};
  n->owner = w;
  return n;
}

void GiveBack(QueuedLine* n) {
  TWriterSlot* w = n->owner;
  if (!w) {
    delete n;
    return;
  }
  QueuedLine* head = w->returned.load();
  do {
    n->next = head;
  } while (!w->returned.compare_exchange_weak(head, n));
}

void FreeList(QueuedLine* n) {
  while (n) {
    QueuedLine* next = n->next;
    delete n;
    n = next;
  }
}

}  // namespace

void QueueLogLine(int level, DWORD thread, const char* text) {
  // A writer this far ahead of the main thread waits until a batch has
  // been filed; the main thread stays free for input meanwhile.
  while (g_queued.load() >= kMaxQueued && AppWindow()) Sleep(10);
  QueuedLine* line = TakeNode();
  line->level = level;
  line->thread = thread;
  line->written = SystemTime();
  line->text.assign(text ? text : "");
  QueuedLine* head = g_queueHead.load();
  do {
    line->next = head;
  } while (!g_queueHead.compare_exchange_weak(head, line));
  ++g_queued;
  HWND app = AppWindow();
  if (app && !head && !g_drainArmed.exchange(true)) PostMessageA(app, WM_OV_LOGDRAIN, kDrainSoon, 0);
}

void ReleaseEndedWriters() {
  for (TWriterSlot& w : g_writers) {
    HANDLE thread = w.thread.load();
    if (w.taken.load() != 1 || !thread || WaitForSingleObject(thread, 0) != WAIT_OBJECT_0) continue;
    // The thread has ended (or was killed): its nodes are given up, and
    // the slot is free for another thread.
    CloseHandle(thread);
    w.thread = nullptr;
    w.cache = nullptr;  // a killed writer's own nodes are lost, not freed
    FreeList(w.returned.exchange(nullptr));
    w.taken = 0;
  }
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
  ShowPendingErrorBoxes();
}

void DrainLogQueue() {
  QueuedLine* taken = g_queueHead.exchange(nullptr);
  if (!taken) return;
  // Newest first as taken: turn it into writing order.
  QueuedLine* batch = nullptr;
  size_t n = 0;
  while (taken) {
    QueuedLine* next = taken->next;
    taken->next = batch;
    batch = taken;
    taken = next;
    ++n;
  }
  g_queued -= n;
  g_inBatch = true;
  g_batchStatus.clear();
  // The writers noted the system time; the lines carry the program's clock.
  const double now = OVNow();
  const uint64_t system = SystemTime();
  constexpr double kTicksPerDay = 864000000000.0;
  while (batch) {
    QueuedLine* l = batch;
    batch = l->next;
    const double age = system > l->written ? static_cast<double>(system - l->written) / kTicksPerDay : 0;
    try {
      RouteLogLine(l->text.c_str(), l->level, l->thread, now - age);
    } catch (...) {
    }
    GiveBack(l);
  }
  g_inBatch = false;
  if (!g_batchStatus.empty()) SetStatusText(g_batchStatus);
}

void SetLogClosing(bool closing) { g_closing = closing; }

void SetLogStatusSink(TLogStatusSink sink) { g_statusSink = sink; }

namespace {

bool AnyFileMatches(const std::string& pattern) {
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA(pattern.c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool found = false;
  do {
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) found = true;
  } while (!found && FindNextFileA(h, &fd));
  FindClose(h);
  return found;
}

}  // namespace

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
    // A job file set aside as unreadable (".ovj.bad", ".ovj.bad2", ...)
    // still has its log: the user may mend the file.
    if (!FileExists(jobFile) && !AnyFileMatches(jobFile + ".bad*")) doomed.push_back(logs + name);
  } while (FindNextFileA(h, &fd));
  FindClose(h);
  for (const std::string& f : doomed) DeleteFileA(f.c_str());
}
