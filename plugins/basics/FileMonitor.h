// The polling machinery behind the "Files Monitor" trigger: snapshots of
// folders, their comparison, and the thread that takes them at an
// interval. Nothing here knows the host; the trigger (uFileMon) derives
// from TMyRefresh and turns changes into list files and run requests.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "FileUtil.h"

// Change kinds, as bits of TMyRefresh::ChangeKinds.
enum : uint8_t {
  ckTimeNewer = 1 << 0,  // "Time changed (>)"
  ckTimeOlder = 1 << 1,  // "Time changed (<)"
  ckSizeBigger = 1 << 2,  // "Size changed (>)"
  ckSizeSmaller = 1 << 3,  // "Size changed (<)"
  ckAttributes = 1 << 4,  // "Attributes changed"
  ckAll = 31,
};

// One file of a snapshot. In memory the time is the UTC file time and the
// size is whole, so that neither a daylight-saving change nor a file of
// 2 GiB or more looks like a change. A snapshot stored in a parameter block
// keeps the packed local date-time and the size's low 32 bits; entries
// read back from there are marked Packed and compared in that form.
struct TFileEntry {
  std::string Key;  // full path, lower case
  uint64_t Time = 0;
  uint64_t Size = 0;
  uint32_t Attr = 0;
  bool Packed = false;  // read from a stored snapshot
};

// The 12-byte record of a stored snapshot entry.
struct TPackedRecord {
  uint32_t Time;  // date in the high word, time in the low word
  uint32_t Size;
  uint32_t Attr;
};
// The packed local date-time of a UTC file time (the local time of the
// date itself, so that the value does not move when the clock changes
// between summer and winter time).
uint32_t PackedLocalTime(uint64_t utcFileTime);

// A snapshot: entries in the order they were found, looked up by key in
// constant time. A key added twice (overlapping folders) is kept once.
class TFileList {
 public:
  TFileList() = default;
  TFileList(const TFileList&) = delete;
  TFileList& operator=(const TFileList&) = delete;

  size_t Count() const { return entries_.size(); }
  const TFileEntry& operator[](size_t i) const { return entries_[i]; }
  // False when the key is already there.
  bool Add(TFileEntry entry);
  // The entry's index, or -1.
  ptrdiff_t IndexOf(std::string_view key) const;
  // The entry as it is stored in a block.
  TPackedRecord Packed(size_t i) const;

 private:
  std::deque<TFileEntry> entries_;  // stable addresses for the index's keys
  std::unordered_map<std::string_view, size_t> index_;
};

// A thread that refreshes at once and then every Interval x 0.95 seconds
// until it is told to end. The object lives while its thread runs, even
// after its owner has let it go: the thread holds a reference to it and to
// the module its code lives in, so a thread that is slow to end is never
// killed and never left running in unloaded code.
class TRefreshThread : public std::enable_shared_from_this<TRefreshThread> {
 public:
  TRefreshThread();
  virtual ~TRefreshThread();
  TRefreshThread(const TRefreshThread&) = delete;
  TRefreshThread& operator=(const TRefreshThread&) = delete;

  // Seconds, 1..3600.
  uint32_t Interval = 60;

  // Starts the thread; false when it could not be created.
  bool Start();
  // Asks the thread to end after its current refresh.
  void Terminate();
  bool Terminated() const { return terminated_; }
  // Waits up to ms for the thread to end, answering messages that other
  // threads send to the caller meanwhile (the refresh may be inside a
  // host service that the calling thread serves). True when it ended or
  // never started.
  bool WaitFor(DWORD ms);

  virtual void Refresh() = 0;

 private:
  static DWORD WINAPI ThreadProc(void* arg);
  void Loop();
  HANDLE thread_ = nullptr;
  HANDLE wake_ = nullptr;
  std::atomic<bool> terminated_{false};
};

// A change found by a comparison.
enum class TChangeType { New, Deleted, Changed };
struct TChange {
  std::string Path;
  TChangeType Type;
  uint8_t Kinds;  // for Changed: the ck bits that apply
};

struct TWatchFolder {
  std::string Path;
  bool Subtree = false;
};

// Snapshots of folders compared at each refresh.
class TMyRefresh : public TRefreshThread {
 public:
  std::vector<TWatchFolder> Folders;
  bool WatchNew = true;
  bool WatchDeleted = true;
  bool WatchChanged = true;
  uint8_t ChangeKinds = ckAll;

  // Setting either mask list drops the current snapshot (it was taken
  // with other masks).
  void SetIncludeMasks(std::vector<std::string> masks);
  void SetExcludeMasks(std::vector<std::string> masks);
  // The snapshot that the first refresh compares with (a stored one).
  void SetSnapshot(std::unique_ptr<TFileList> snapshot);

  // One pass: scan every folder; when a previous snapshot exists, compare
  // and report. The new snapshot replaces the previous one only when the
  // scan was complete and its changes were delivered. Passes never
  // overlap.
  void Refresh() override;
  // Passes completed so far.
  uint32_t Passes() const { return passes_; }

  // Ends refreshing: a scan in progress stops at its next entry, and no
  // change is delivered any more.
  void DisableRefreshing() { refreshing_ = false; }
  bool RefreshingEnabled() const { return refreshing_; }

  // Calls fn with the current snapshot (nullptr before the first pass)
  // while no refresh can replace it.
  template <class Fn>
  void WithSnapshot(Fn fn) {
    std::lock_guard<std::mutex> lock(snapshotLock_);
    fn(static_cast<const TFileList*>(snapshot_.get()));
  }

  // The comparison on its own: what changed from old to now.
  std::vector<TChange> Compare(const TFileList& old, const TFileList& now) const;
  // Scans the folders into a new snapshot; nullptr when refreshing was
  // disabled before the scan ended. A folder that exists but cannot be
  // read keeps its entries of previous.
  std::unique_ptr<TFileList> Scan(const TFileList* previous);

 protected:
  // Delivers the changes of one pass (not called when nothing changed).
  // False when they were not delivered: the previous snapshot then stays,
  // so that the same changes are found again.
  virtual bool RefreshDone(const std::vector<TChange>& changes) = 0;
  // Opens the enumeration of pattern (FindFirstFileEx); on failure
  // INVALID_HANDLE_VALUE with the error in GetLastError.
  virtual HANDLE FindFirst(const std::string& pattern, WIN32_FIND_DATAA& fd);

 private:
  void ScanFolder(const std::string& folder, bool subtree, int depth, const TFileList* previous,
                  TFileList& into);
  void KeepPrevious(const std::string& prefix, bool subtree, const TFileList* previous, TFileList& into);
  bool NameTaken(const std::string& name) const;

  std::vector<std::string> include_{"*.*"};
  std::vector<std::string> exclude_;
  std::atomic<bool> refreshing_{true};
  std::atomic<uint32_t> passes_{0};
  std::mutex refreshLock_;
  std::mutex snapshotLock_;
  std::unique_ptr<TFileList> snapshot_;
};
