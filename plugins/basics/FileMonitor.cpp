#include "FileMonitor.h"

#include <cstring>

#include "OVWait.h"

namespace {

// Directories deeper than this are not entered: a link that points back up
// the tree ends here at the latest.
constexpr int kMaxDepth = 64;

std::string Lower(std::string s) {
  if (!s.empty()) CharLowerBuffA(s.data(), static_cast<DWORD>(s.size()));
  return s;
}

uint64_t Join(DWORD high, DWORD low) { return static_cast<uint64_t>(high) << 32 | low; }

// What a polling thread is started with.
struct TStart {
  std::shared_ptr<TRefreshThread>* self;
  HMODULE module;
};

}  // namespace

uint32_t PackedLocalTime(uint64_t utc) {
  FILETIME ft{static_cast<DWORD>(utc), static_cast<DWORD>(utc >> 32)};
  SYSTEMTIME st, local;
  WORD date = 0, time = 0;
  if (!FileTimeToSystemTime(&ft, &st) || !SystemTimeToTzSpecificLocalTime(nullptr, &st, &local) ||
      !SystemTimeToFileTime(&local, &ft) || !FileTimeToDosDateTime(&ft, &date, &time))
    return 0;
  return static_cast<uint32_t>(date) << 16 | time;
}

// ------------------------------------------------------------ TFileList

bool TFileList::Add(TFileEntry entry) {
  if (index_.count(entry.Key)) return false;
  entries_.push_back(std::move(entry));
  index_.emplace(std::string_view(entries_.back().Key), entries_.size() - 1);
  return true;
}

ptrdiff_t TFileList::IndexOf(std::string_view key) const {
  auto it = index_.find(key);
  return it == index_.end() ? -1 : static_cast<ptrdiff_t>(it->second);
}

TPackedRecord TFileList::Packed(size_t i) const {
  const TFileEntry& e = entries_[i];
  return {e.Packed ? static_cast<uint32_t>(e.Time) : PackedLocalTime(e.Time), static_cast<uint32_t>(e.Size),
          e.Attr};
}

// ------------------------------------------------------------ TRefreshThread

TRefreshThread::TRefreshThread() { wake_ = CreateEventA(nullptr, TRUE, FALSE, nullptr); }

TRefreshThread::~TRefreshThread() {
  if (thread_) CloseHandle(thread_);
  if (wake_) CloseHandle(wake_);
}

bool TRefreshThread::Start() {
  if (thread_ || !wake_) return false;
  // The thread keeps the module loaded until its last instruction.
  HMODULE module = nullptr;
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCSTR>(&ThreadProc), &module);
  auto* self = new std::shared_ptr<TRefreshThread>(shared_from_this());
  auto* start = new TStart{self, module};
  thread_ = CreateThread(nullptr, 0, ThreadProc, start, 0, nullptr);
  if (!thread_) {
    delete self;
    delete start;
    if (module) FreeLibrary(module);
    return false;
  }
  return true;
}

DWORD WINAPI TRefreshThread::ThreadProc(void* arg) {
  auto* start = static_cast<TStart*>(arg);
  HMODULE module = start->module;
  {
    std::unique_ptr<std::shared_ptr<TRefreshThread>> self(start->self);
    delete start;
    (*self)->Loop();
  }
  if (module) FreeLibraryAndExitThread(module, 0);
  return 0;
}

void TRefreshThread::Loop() {
  uint32_t seconds = Interval < 1 ? 1 : Interval > 3600 ? 3600 : Interval;
  while (!terminated_) {
    try {
      Refresh();
    } catch (...) {
      // A pass that fails for want of memory or the like ends polling; the
      // trigger stays armed until it is stopped.
      return;
    }
    WaitForSingleObject(wake_, seconds * 19 * 50);
  }
}

void TRefreshThread::Terminate() {
  terminated_ = true;
  if (wake_) SetEvent(wake_);
}

bool TRefreshThread::WaitFor(DWORD ms) { return !thread_ || WaitServingSentMessages(thread_, ms); }

// ------------------------------------------------------------ TMyRefresh

void TMyRefresh::SetIncludeMasks(std::vector<std::string> masks) {
  include_ = std::move(masks);
  SetSnapshot(nullptr);
}

void TMyRefresh::SetExcludeMasks(std::vector<std::string> masks) {
  exclude_ = std::move(masks);
  SetSnapshot(nullptr);
}

void TMyRefresh::SetSnapshot(std::unique_ptr<TFileList> snapshot) {
  std::lock_guard<std::mutex> lock(snapshotLock_);
  snapshot_ = std::move(snapshot);
}

bool TMyRefresh::NameTaken(const std::string& name) const {
  bool in = false;
  for (const auto& m : include_)
    if (FileMaskMatches(m, name)) {
      in = true;
      break;
    }
  if (!in) return false;
  for (const auto& m : exclude_)
    if (FileMaskMatches(m, name)) return false;
  return true;
}

void TMyRefresh::KeepPrevious(const std::string& prefix, bool subtree, const TFileList* previous,
                              TFileList& into) {
  if (!previous) return;
  for (size_t i = 0; i < previous->Count(); ++i) {
    const TFileEntry& e = (*previous)[i];
    if (e.Key.compare(0, prefix.size(), prefix) != 0) continue;
    if (!subtree && e.Key.find('\\', prefix.size()) != std::string::npos) continue;
    into.Add(e);
  }
}

void TMyRefresh::ScanFolder(const std::string& folder, bool subtree, int depth, const TFileList* previous,
                            TFileList& into) {
  const std::string lowerFolder = Lower(folder);
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirst(folder + "*.*", fd);
  if (h == INVALID_HANDLE_VALUE) {
    DWORD err = GetLastError();
    // A folder that is not there has no files; one that cannot be read
    // now (a share offline, permissions) keeps what it had, rather than
    // report every file deleted now and new again later.
    if (err != ERROR_FILE_NOT_FOUND && err != ERROR_PATH_NOT_FOUND) KeepPrevious(lowerFolder, subtree, previous, into);
    return;
  }
  do {
    if (!refreshing_) break;
    const char* name = fd.cFileName;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (!subtree || !strcmp(name, ".") || !strcmp(name, "..")) continue;
      // Links to directories are not followed: one that points back up
      // the tree would never end.
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT || depth >= kMaxDepth) continue;
      ScanFolder(folder + name + "\\", subtree, depth + 1, previous, into);
      continue;
    }
    if (!NameTaken(name)) continue;
    TFileEntry e;
    e.Key = lowerFolder + Lower(name);
    e.Time = Join(fd.ftLastWriteTime.dwHighDateTime, fd.ftLastWriteTime.dwLowDateTime);
    e.Size = Join(fd.nFileSizeHigh, fd.nFileSizeLow);
    e.Attr = fd.dwFileAttributes;
    into.Add(std::move(e));
  } while (FindNextFileA(h, &fd));
  DWORD err = GetLastError();
  FindClose(h);
  if (refreshing_ && err != ERROR_NO_MORE_FILES) KeepPrevious(lowerFolder, subtree, previous, into);
}

std::unique_ptr<TFileList> TMyRefresh::Scan(const TFileList* previous) {
  auto list = std::make_unique<TFileList>();
  for (const auto& f : Folders) {
    if (!refreshing_) return nullptr;
    if (!f.Path.empty()) ScanFolder(WithTrailingBackslash(f.Path), f.Subtree, 0, previous, *list);
  }
  return refreshing_ ? std::move(list) : nullptr;
}

std::vector<TChange> TMyRefresh::Compare(const TFileList& old, const TFileList& now) const {
  std::vector<TChange> changes;
  std::vector<bool> seen(old.Count());
  for (size_t n = 0; n < now.Count(); ++n) {
    const TFileEntry& e = now[n];
    ptrdiff_t i = old.IndexOf(e.Key);
    if (i < 0) {
      if (WatchNew) changes.push_back({e.Key, TChangeType::New, 0});
      continue;
    }
    seen[static_cast<size_t>(i)] = true;
    if (!WatchChanged) continue;
    const TFileEntry& o = old[static_cast<size_t>(i)];
    // An entry of a stored snapshot is compared in its stored form.
    uint64_t oldTime = o.Time, newTime = e.Time, oldSize = o.Size, newSize = e.Size;
    if (o.Packed) {
      newTime = e.Packed ? e.Time : PackedLocalTime(e.Time);
      newSize &= 0xFFFFFFFFu;
    }
    uint8_t kinds = 0;
    if (newTime != oldTime) kinds |= newTime > oldTime ? ckTimeNewer : ckTimeOlder;
    if (newSize != oldSize) kinds |= newSize > oldSize ? ckSizeBigger : ckSizeSmaller;
    if (e.Attr != o.Attr) kinds |= ckAttributes;
    kinds &= ChangeKinds;
    if (kinds) changes.push_back({e.Key, TChangeType::Changed, kinds});
  }
  if (WatchDeleted)
    for (size_t i = 0; i < old.Count(); ++i)
      if (!seen[i]) changes.push_back({old[i].Key, TChangeType::Deleted, 0});
  return changes;
}

HANDLE TMyRefresh::FindFirst(const std::string& pattern, WIN32_FIND_DATAA& fd) {
  return FindFirstFileExA(pattern.c_str(), FindExInfoBasic, &fd, FindExSearchNameMatch, nullptr,
                          FIND_FIRST_EX_LARGE_FETCH);
}

void TMyRefresh::Refresh() {
  std::lock_guard<std::mutex> pass(refreshLock_);
  if (!refreshing_) return;
  // Only this thread replaces the snapshot once the thread runs, so it
  // reads it without the lock; the lock guards the replacement against a
  // stop that reads it meanwhile.
  const TFileList* previous = snapshot_.get();
  std::unique_ptr<TFileList> now = Scan(previous);
  if (!now) return;
  if (previous) {
    std::vector<TChange> changes = Compare(*previous, *now);
    if (!changes.empty() && !RefreshDone(changes)) return;
  }
  {
    std::lock_guard<std::mutex> lock(snapshotLock_);
    snapshot_ = std::move(now);
  }
  ++passes_;
}
