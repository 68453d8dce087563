// Logs: the main log "OV.log" and one log per job, bounded lists of lines
// with a level each, saved to and reloaded from text files.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <deque>

class TOVJob;

// Stored levels of a line.
constexpr uint8_t lvInfoMain = 0;  // information from the main thread
constexpr uint8_t lvInfoJob = 1;   // information from a job (and every "I" line read back)
constexpr uint8_t lvWarning = 2;
constexpr uint8_t lvError = 3;
constexpr uint8_t lvUnknown = 4;   // a line read back with an unknown letter
constexpr uint8_t lvDebug = 5;     // a "D" line read back

class TOVLog {
 public:
  // owner: the job whose log this is, or nullptr for the main log.
  explicit TOVLog(TOVJob* owner);
  // Saves the log when auto-save is on.
  virtual ~TOVLog();
  TOVLog(const TOVLog&) = delete;
  TOVLog& operator=(const TOVLog&) = delete;

  virtual void LoadLog();
  virtual void SaveLog();

  // Appends a line; returns its index, or -1 when the line was not stored
  // (the log belongs to a job whose "To Log" is off).
  int Add(uint8_t level, const std::string& text);
  int Count() const { return static_cast<int>(lines_.size()); }
  const std::string& Strings(int index) const { return lines_.at(static_cast<size_t>(index)).text; }
  uint8_t LevelOf(int index) const { return lines_.at(static_cast<size_t>(index)).level; }
  // Empties the log and its attached view.
  void Clear();

  // The view is a list box whose item data holds each line's level. It
  // follows the log when the main thread is idle (or at SyncView).
  void AttachView(HWND view);
  void SyncView();
  HWND View() const { return view_; }

  bool AutoSave = true;
  TOVJob* Owner() const { return owner_; }
  // Logs directory + "OV.log" or the job's "XXXXXXXX.log".
  std::string FileName() const;

 private:
  struct Line {
    std::string text;
    uint8_t level;
  };
  void TrimToMax();
  void QueueViewSync();
  void ForgetViewSync();

  TOVJob* owner_;
  HWND view_ = nullptr;
  bool dirty_ = false;  // lines changed since the file was read or written
  // Lines by absolute number: added_ counts every line ever stored; the view
  // shows lines [viewFirst_, viewEnd_).
  uint64_t added_ = 0;
  uint64_t viewFirst_ = 0;
  uint64_t viewEnd_ = 0;
  bool viewQueued_ = false;
  std::deque<Line> lines_;
};

// Files one line of the Log service (message 0x6000) on the main thread:
// from the main thread to the main log, from a job's run thread to that
// job's log, from any other thread to the main log with the prefix "* ".
// Level is the caller's: OV_LOG_INFO, OV_LOG_WARNING or OV_LOG_ERROR.
// `when` is the moment the line was written (the clock's now when 0).
void RouteLogLine(const char* text, int level, DWORD thread, double when = 0);

// With "ShowErrors" on, an error line is also shown in a message box. A
// box runs a message loop that handles other messages (a run's end, a
// kill) before it returns, so no box may open while the bookkeeping of a
// run is half done: while a TErrorBoxHold lives, boxes wait, and
// ShowPendingErrorBoxes shows them once it is safe.
class TErrorBoxHold {
 public:
  TErrorBoxHold();
  ~TErrorBoxHold();
  TErrorBoxHold(const TErrorBoxHold&) = delete;
  TErrorBoxHold& operator=(const TErrorBoxHold&) = delete;
};
void ShowPendingErrorBoxes();

// Files a line of the main thread into a job's own log (level as the Log
// service's), as if the job's run had written it.
void LogToJob(TOVJob* job, int level, const std::string& text);

// Lines from job threads are queued and filed in batches on the main
// thread, so that many busy jobs cannot starve its input, painting and
// timers. Each thread's lines keep their order: a synchronous Log call, a
// run's end and a kill file everything queued first. The queue holds no
// lock, so a killed writer can block nobody. DrainLogQueue shows no box.
void QueueLogLine(int level, DWORD thread, const char* text);
void DrainLogQueue();
// Gives the queue's per-thread node pools of ended threads back (main
// thread, from time to time and after a kill).
void ReleaseEndedWriters();
// The application window's side: WM_OV_LOGDRAIN with one of these, and
// WM_TIMER kLogDrainTimer (passed as kDrainTimer).
constexpr WPARAM kDrainNow = 0;
constexpr WPARAM kDrainSoon = 1;
constexpr WPARAM kDrainTimer = 2;
constexpr UINT_PTR kLogDrainTimer = 0x4C47;
void HandleLogDrain(WPARAM how);

// Brings every attached view up to date (WM_OV_VIEWSYNC).
void SyncLogViews();

// While the main window is being destroyed, Log calls are ignored.
void SetLogClosing(bool closing);

// The main window shows the latest warning or error line ("title: text")
// in its status bar; it installs this sink.
using TLogStatusSink = void (*)(const std::string& text);
void SetLogStatusSink(TLogStatusSink sink);

// Removes every "*.log" of the Logs directory whose job file no longer
// exists in the Jobs directory; "ov.log" is never removed.
void RemoveOrphanedLogs(const std::string& logDir, const std::string& jobDir);
