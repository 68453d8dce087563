#include "zip32.h"

#include <windows.h>

#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "ZipFormat.h"

using namespace zipfmt;

namespace {

// The process-wide settings of the library (callers archive one at a time).
TZipOptions g_options{};
bool g_optionsSet = false;
TZipUserFunctions g_functions{};

constexpr size_t kChunk = 256 * 1024;
// Sizes and offsets above this take the 64-bit extensions (0xFFFFFFFF in a
// 32-bit field says "see the zip64 record").
constexpr uint64_t kMax32 = 0xFFFFFFFEu;
constexpr size_t kMaxEntries16 = 0xFFFE;
constexpr uint16_t kVersionZip64 = 45;
// Files up to this size are read and compressed ahead of the writer by
// worker threads; larger ones are streamed by the writer itself.
constexpr uint64_t kPackedMax = 16u << 20;
// How far the workers may run ahead: results held in memory.
constexpr uint64_t kPackedHeld = 128u << 20;

// A file or folder to go into the archive.
struct TSource {
  std::wstring Path;   // full path
  std::string Name;    // entry name ("/" separators, folders end in "/")
  bool Folder = false;
  bool Walked = false;  // a folder that recursion took in
  WIN32_FILE_ATTRIBUTE_DATA Info{};
  uint64_t FileSize() const { return static_cast<uint64_t>(Info.nFileSizeHigh) << 32 | Info.nFileSizeLow; }
};

// A file read and compressed by a worker thread, waiting for the writer.
struct TPacked {
  bool Ready = false;
  bool ReadFailed = false;
  bool Stored = false;
  uint32_t Crc = 0;
  uint64_t Size = 0;
  std::string Data;
};

// Reads a whole file and deflates it in one go; stored when deflating does
// not make it smaller.
void Pack(const std::wstring& path, int level, TPacked& p) {
  HANDLE in = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (in == INVALID_HANDLE_VALUE) {
    p.ReadFailed = true;
    return;
  }
  std::string raw;
  LARGE_INTEGER size{};
  GetFileSizeEx(in, &size);
  raw.resize(static_cast<size_t>(std::min<int64_t>(size.QuadPart, kPackedMax)) + 1);
  size_t have = 0;
  for (;;) {
    if (have == raw.size()) raw.resize(raw.size() * 2);
    DWORD got = 0;
    DWORD want = static_cast<DWORD>(std::min<size_t>(raw.size() - have, 1u << 30));
    if (!ReadFile(in, &raw[have], want, &got, nullptr)) {
      p.ReadFailed = true;
      CloseHandle(in);
      return;
    }
    if (got == 0) break;
    have += got;
  }
  CloseHandle(in);
  raw.resize(have);
  uLong crc = crc32(0, nullptr, 0);
  for (size_t at = 0; at < have;) {
    uInt n = static_cast<uInt>(std::min<size_t>(have - at, 1u << 30));
    crc = crc32(crc, reinterpret_cast<const Bytef*>(raw.data() + at), n);
    at += n;
  }
  p.Crc = static_cast<uint32_t>(crc);
  p.Size = have;
  z_stream z{};
  if (deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) == Z_OK) {
    std::string out(deflateBound(&z, static_cast<uLong>(have)), '\0');
    z.next_in = reinterpret_cast<Bytef*>(raw.data());
    z.avail_in = static_cast<uInt>(have);
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = static_cast<uInt>(out.size());
    int r = deflate(&z, Z_FINISH);
    size_t n = out.size() - z.avail_out;
    deflateEnd(&z);
    if (r == Z_STREAM_END && n < have) {
      out.resize(n);
      p.Data = std::move(out);
      return;
    }
  }
  p.Stored = true;
  p.Data = std::move(raw);
}

// Worker threads that pack the small files of an archive in the order the
// writer takes them, never holding more than kPackedHeld bytes of results.
class TPacker {
 public:
  TPacker(std::vector<std::wstring> paths, int level) : paths_(std::move(paths)), level_(level), results_(paths_.size()) {
    if (paths_.empty()) return;
    unsigned n = std::max(1u, std::min(8u, std::thread::hardware_concurrency()));
    n = static_cast<unsigned>(std::min<size_t>(n, paths_.size()));
    try {
      for (unsigned i = 0; i < n; ++i) threads_.emplace_back([this] { Work(); });
    } catch (...) {
      // Without threads the writer packs each file itself.
    }
  }
  ~TPacker() {
    {
      std::lock_guard<std::mutex> lock(m_);
      stop_ = true;
    }
    room_.notify_all();
    for (auto& t : threads_) t.join();
  }
  // The result of job k; jobs are taken in order.
  TPacked Take(size_t k) {
    std::unique_lock<std::mutex> lock(m_);
    if (threads_.empty() && next_ == k) {
      ++next_;
      lock.unlock();
      Pack(paths_[k], level_, results_[k]);
      lock.lock();
      held_ += results_[k].Data.size();
      results_[k].Ready = true;
    }
    ready_.wait(lock, [&] { return results_[k].Ready; });
    TPacked p = std::move(results_[k]);
    results_[k] = TPacked();
    held_ -= p.Data.size();
    taken_ = k + 1;
    room_.notify_all();
    return p;
  }

 private:
  void Work() {
    std::unique_lock<std::mutex> lock(m_);
    for (;;) {
      room_.wait(lock, [&] { return stop_ || next_ >= paths_.size() || next_ == taken_ || held_ < kPackedHeld; });
      if (stop_ || next_ >= paths_.size()) return;
      size_t k = next_++;
      lock.unlock();
      TPacked p;
      Pack(paths_[k], level_, p);
      lock.lock();
      held_ += p.Data.size();
      results_[k] = std::move(p);
      results_[k].Ready = true;
      ready_.notify_all();
    }
  }

  std::vector<std::wstring> paths_;
  int level_;
  std::vector<TPacked> results_;
  std::vector<std::thread> threads_;
  std::mutex m_;
  std::condition_variable ready_, room_;
  size_t next_ = 0, taken_ = 0;
  uint64_t held_ = 0;
  bool stop_ = false;
};

struct TItem {
  int Old = -1;     // index of an entry of the old archive kept as it is
  int Source = -1;  // index of a source written anew
};

bool HasWildcard(const std::wstring& s) { return s.find_first_of(L"*?") != std::wstring::npos; }

bool IsAbsolute(const std::wstring& s) {
  return (!s.empty() && (s[0] == L'\\' || s[0] == L'/')) || (s.size() >= 2 && s[1] == L':');
}

std::wstring FullPath(const std::wstring& p) {
  wchar_t buf[32768];
  DWORD n = GetFullPathNameW(p.c_str(), 32768, buf, nullptr);
  return n && n < 32768 ? std::wstring(buf, n) : p;
}

std::wstring Lower(std::wstring s) {
  CharLowerBuffW(s.data(), static_cast<DWORD>(s.size()));
  return s;
}

bool StartsWithFolder(const std::wstring& path, const std::wstring& folder) {
  std::wstring f = folder;
  if (f.empty()) return false;
  if (f.back() != L'\\') f += L'\\';
  return path.size() > f.size() && Lower(path.substr(0, f.size())) == Lower(f);
}

// The path without its drive or UNC share and leading separators.
std::wstring WithoutDrive(const std::wstring& p) {
  size_t i = 0;
  if (p.size() >= 2 && p[1] == L':') {
    i = 2;
  } else if (p.compare(0, 2, L"\\\\") == 0) {
    size_t server = p.find(L'\\', 2);
    size_t share = server == std::wstring::npos ? std::wstring::npos : p.find(L'\\', server + 1);
    i = share == std::wstring::npos ? p.size() : share;
  }
  while (i < p.size() && (p[i] == L'\\' || p[i] == L'/')) ++i;
  return p.substr(i);
}

std::wstring ShortPath(const std::wstring& p) {
  wchar_t buf[32768];
  DWORD n = GetShortPathNameW(p.c_str(), buf, 32768);
  return n && n < 32768 ? std::wstring(buf, n) : p;
}

class TArchiver {
 public:
  ~TArchiver() {
    if (old_ != INVALID_HANDLE_VALUE) CloseHandle(old_);
  }
  int Run(int count, char* zipFile, char** files);

 private:
  void Say(const char* fmt, ...) __attribute__((format(printf, 2, 3)));
  void Collect(const std::wstring& spec);
  void AddPath(const std::wstring& path, bool relative, bool walked, const WIN32_FIND_DATAW* found = nullptr);
  void Walk(const std::wstring& folder, const std::wstring& pattern, bool relative, bool everything);
  bool Wanted(const WIN32_FIND_DATAW& fd) const;
  std::string NameFor(const std::wstring& path, bool relative, bool folder) const;
  bool WriteNew(const TSource& s, TEntry& e, TPacked* packed);
  bool WriteStreamed(const TSource& s, TEntry& e, const std::string& localExtra, bool big);
  bool WriteData(HANDLE in, TEntry& e, bool store, uint64_t dataStart);
  bool CopyOld(const TEntry& old, TEntry& e);
  bool WriteDirectory(const std::vector<TEntry>& entries, const std::string& comment);
  uint64_t Position() const;

  TZipOptions opt_ = g_options;
  std::wstring root_, rootShort_, zipPath_, tempPath_;
  HANDLE old_ = INVALID_HANDLE_VALUE, out_ = INVALID_HANDLE_VALUE;
  std::vector<TSource> sources_;
  std::map<std::string, size_t> sourceByName_;
  bool readFailed_ = false;
  int error_ = ZE_OK;
  std::vector<unsigned char> in_, buf_;
};

void TArchiver::Say(const char* fmt, ...) {
  char line[2048];
  va_list args;
  va_start(args, fmt);
  vsnprintf(line, sizeof line - 2, fmt, args);
  va_end(args);
  lstrcatA(line, "\n");
  if (g_functions.Print) g_functions.Print(line, static_cast<unsigned long>(lstrlenA(line)));
}

bool TArchiver::Wanted(const WIN32_FIND_DATAW& fd) const {
  if (!wcscmp(fd.cFileName, L".") || !wcscmp(fd.cFileName, L"..")) return false;
  if (!opt_.SystemHidden && (fd.dwFileAttributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM))) return false;
  return true;
}

std::string TArchiver::NameFor(const std::wstring& path, bool relative, bool folder) const {
  std::wstring p = opt_.DosNames ? ShortPath(path) : path;
  const std::wstring& root = opt_.DosNames ? rootShort_ : root_;
  std::wstring n;
  if (opt_.JunkPaths)
    n = p.substr(p.find_last_of(L"\\/") + 1);
  else if (relative && StartsWithFolder(p, root))
    n = p.substr(root.size() + (root.back() == L'\\' ? 0 : 1));
  else
    n = WithoutDrive(p);
  std::replace(n.begin(), n.end(), L'\\', L'/');
  if (folder && !n.empty()) n += L'/';
  return Narrow(n, CP_UTF8);
}

// A found file's attributes come with the folder's listing; others are
// looked up.
void TArchiver::AddPath(const std::wstring& path, bool relative, bool walked, const WIN32_FIND_DATAW* found) {
  if (!Lower(path).compare(Lower(zipPath_))) return;  // never the archive itself
  TSource s;
  s.Path = path;
  if (found) {
    s.Info.dwFileAttributes = found->dwFileAttributes;
    s.Info.ftCreationTime = found->ftCreationTime;
    s.Info.ftLastAccessTime = found->ftLastAccessTime;
    s.Info.ftLastWriteTime = found->ftLastWriteTime;
    s.Info.nFileSizeHigh = found->nFileSizeHigh;
    s.Info.nFileSizeLow = found->nFileSizeLow;
  } else if (!GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &s.Info)) {
    return;
  }
  s.Folder = (s.Info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if (s.Folder && opt_.JunkPaths) return;
  s.Walked = walked;
  s.Name = NameFor(path, relative, s.Folder);
  if (s.Name.empty() || s.Name == "/") return;
  if (sourceByName_.count(s.Name)) return;
  sourceByName_[s.Name] = sources_.size();
  sources_.push_back(std::move(s));
}

// Files of folder that match pattern, then (with recursion) the same in
// every subfolder. Folders become entries of their own when everything is
// taken.
void TArchiver::Walk(const std::wstring& folder, const std::wstring& pattern, bool relative, bool everything) {
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW((folder + L"\\" + pattern).c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      if (Wanted(fd) && !(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        AddPath(folder + L"\\" + fd.cFileName, relative, false, &fd);
    } while (FindNextFileW(h, &fd));
    FindClose(h);
  }
  if (!opt_.Recurse) return;
  h = FindFirstFileW((folder + L"\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  std::vector<std::wstring> subs;
  do {
    if (Wanted(fd) && (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) &&
        !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
      subs.push_back(folder + L"\\" + fd.cFileName);
  } while (FindNextFileW(h, &fd));
  FindClose(h);
  for (const auto& sub : subs) {
    if (everything) AddPath(sub, relative, true);
    Walk(sub, pattern, relative, everything);
  }
}

void TArchiver::Collect(const std::wstring& raw) {
  std::wstring spec = raw;
  while (!spec.empty() && (spec.back() == L' ' || spec.back() == L'\t')) spec.pop_back();
  while (!spec.empty() && (spec.front() == L' ' || spec.front() == L'\t')) spec.erase(0, 1);
  if (spec.empty()) return;
  bool relative = !IsAbsolute(spec);
  std::wstring full = FullPath(relative ? root_ + L"\\" + spec : spec);
  size_t before = sources_.size();
  size_t slash = full.find_last_of(L"\\/");
  std::wstring last = full.substr(slash + 1);
  if (HasWildcard(last)) {
    std::wstring folder = full.substr(0, slash);
    Walk(folder, last, relative, last == L"*" || last == L"*.*");
  } else {
    DWORD a = GetFileAttributesW(full.c_str());
    if (a == INVALID_FILE_ATTRIBUTES) {
      Say("zip warning: name not matched: %s", Narrow(raw, CP_ACP).c_str());
      return;
    }
    if (!(a & FILE_ATTRIBUTE_DIRECTORY)) {
      AddPath(full, relative, false);
    } else {
      while (full.size() > 3 && full.back() == L'\\') full.pop_back();
      AddPath(full, relative, opt_.Recurse != 0);
      if (opt_.Recurse) Walk(full, L"*", relative, true);
    }
  }
  if (sources_.size() == before) Say("zip warning: name not matched: %s", Narrow(raw, CP_ACP).c_str());
}

uint64_t TArchiver::Position() const {
  LARGE_INTEGER zero{}, pos{};
  SetFilePointerEx(out_, zero, &pos, FILE_CURRENT);
  return static_cast<uint64_t>(pos.QuadPart);
}

// The local zip64 record holds both sizes, whichever of them is large.
std::string Zip64LocalExtra(uint64_t size, uint64_t compressed) {
  std::string x;
  Put16(x, kExtraZip64);
  Put16(x, 16);
  Put64(x, size);
  Put64(x, compressed);
  return x;
}

// A local header; with a zip64 record in extra its 32-bit sizes say so.
std::string LocalHeader(const TEntry& e, const std::string& extra, bool zip64 = false) {
  std::string h;
  Put32(h, kLocalSig);
  Put16(h, e.VersionNeeded);
  Put16(h, e.Flags);
  Put16(h, e.Method);
  Put16(h, e.DosTime);
  Put16(h, e.DosDate);
  Put32(h, e.Crc);
  Put32(h, zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(e.CompressedSize));
  Put32(h, zip64 ? 0xFFFFFFFFu : static_cast<uint32_t>(e.Size));
  Put16(h, static_cast<uint32_t>(e.Name.size()));
  Put16(h, static_cast<uint32_t>(extra.size()));
  return h + e.Name + extra;
}

// The extended timestamp: local copy with all three times, central with
// the modification time only (as the common tools write it).
std::string TimeExtra(const WIN32_FILE_ATTRIBUTE_DATA& info, bool local) {
  std::string x;
  Put16(x, kExtraTime);
  Put16(x, local ? 13 : 5);
  x.push_back(7);
  Put32(x, static_cast<uint32_t>(UnixFromFileTime(info.ftLastWriteTime)));
  if (local) {
    Put32(x, static_cast<uint32_t>(UnixFromFileTime(info.ftLastAccessTime)));
    Put32(x, static_cast<uint32_t>(UnixFromFileTime(info.ftCreationTime)));
  }
  return x;
}

// Deflates (or stores) the open file at the current position and fills in
// CRC and sizes. False after a read or write failure (error_ says which).
bool TArchiver::WriteData(HANDLE in, TEntry& e, bool store, uint64_t dataStart) {
  z_stream z{};
  int level = opt_.Level - '0';
  if (!store && deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    error_ = ZE_MEM;
    return false;
  }
  uLong crc = crc32(0, nullptr, 0);
  uint64_t size = 0, written = 0;
  bool ok = true;
  for (bool more = true; ok && more;) {
    DWORD got = 0;
    if (!ReadFile(in, in_.data(), static_cast<DWORD>(in_.size()), &got, nullptr)) {
      error_ = ZE_READ;
      ok = false;
      break;
    }
    more = got > 0;
    crc = crc32(crc, in_.data(), got);
    size += got;
    if (store) {
      if (got && !WriteAll(out_, in_.data(), got)) error_ = ZE_WRITE, ok = false;
      written += got;
      continue;
    }
    z.next_in = in_.data();
    z.avail_in = got;
    do {
      z.next_out = buf_.data();
      z.avail_out = static_cast<uInt>(buf_.size());
      deflate(&z, more ? Z_NO_FLUSH : Z_FINISH);
      size_t n = buf_.size() - z.avail_out;
      if (n && !WriteAll(out_, buf_.data(), n)) {
        error_ = ZE_WRITE;
        ok = false;
        break;
      }
      written += n;
    } while (z.avail_out == 0);
  }
  if (!store) deflateEnd(&z);
  if (!ok) return false;
  if (Position() != dataStart + written) {
    error_ = ZE_WRITE;
    return false;
  }
  e.Crc = static_cast<uint32_t>(crc);
  e.Size = size;
  e.CompressedSize = written;
  return true;
}

bool TArchiver::WriteNew(const TSource& s, TEntry& e, TPacked* packed) {
  e = TEntry();
  e.Name = s.Name;
  bool ascii = std::all_of(s.Name.begin(), s.Name.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  e.Flags = ascii ? 0 : kFlagUtf8;
  e.VersionMadeBy = 20;
  uint32_t dos = DosFromFileTime(s.Info.ftLastWriteTime);
  e.DosDate = static_cast<uint16_t>(dos >> 16);
  e.DosTime = static_cast<uint16_t>(dos & 0xFFFF);
  e.ExternalAttributes = s.Info.dwFileAttributes & 0x37;
  e.LocalOffset = Position();
  std::string localExtra = opt_.ExtraInfo ? TimeExtra(s.Info, true) : std::string();
  e.Extra = opt_.ExtraInfo ? TimeExtra(s.Info, false) : std::string();
  bool store = opt_.Level == '0' || s.Folder;
  e.Method = store ? kStored : kDeflated;
  e.VersionNeeded = s.Folder ? 10 : 20;
  if (packed) {
    if (packed->ReadFailed) {
      Say("zip warning: could not read: %s", Narrow(s.Path, CP_ACP).c_str());
      readFailed_ = true;
      return false;
    }
    e.Method = packed->Stored ? kStored : kDeflated;
    e.Crc = packed->Crc;
    e.Size = packed->Size;
    e.CompressedSize = packed->Data.size();
    std::string header = LocalHeader(e, localExtra);
    if (!WriteAll(out_, header.data(), header.size()) || !WriteAll(out_, packed->Data.data(), packed->Data.size())) {
      error_ = ZE_WRITE;
      return false;
    }
    return true;
  }
  if (s.Folder) {
    std::string header = LocalHeader(e, localExtra);
    if (!WriteAll(out_, header.data(), header.size())) {
      error_ = ZE_WRITE;
      return false;
    }
    return true;
  }
  // A file that grew past 4 GB while it was read is written again with the
  // 64-bit record.
  bool big = s.FileSize() > kMax32;
  for (;;) {
    TEntry attempt = e;
    bool ok = WriteStreamed(s, attempt, localExtra, big);
    if (ok || error_ != ZE_BIG || big) {
      if (ok) e = attempt;
      return ok;
    }
    error_ = ZE_OK;
    big = true;
  }
}

// A file compressed (or stored) as it is read, its header patched after.
bool TArchiver::WriteStreamed(const TSource& s, TEntry& e, const std::string& localExtra, bool big) {
  const uint64_t start = e.LocalOffset;
  auto undo = [&] {
    Seek(out_, start);
    SetEndOfFile(out_);
    return false;
  };
  bool store = e.Method == kStored;
  std::string extra = localExtra;
  if (big) {
    e.VersionNeeded = kVersionZip64;
    extra = Zip64LocalExtra(0, 0) + localExtra;
  }
  std::string header = LocalHeader(e, extra, big);
  if (!WriteAll(out_, header.data(), header.size())) {
    error_ = ZE_WRITE;
    return false;
  }
  HANDLE in = CreateFileW(s.Path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (in == INVALID_HANDLE_VALUE) {
    Say("zip warning: could not open for reading: %s", Narrow(s.Path, CP_ACP).c_str());
    readFailed_ = true;
    return undo();
  }
  const uint64_t dataStart = Position();
  bool ok = WriteData(in, e, store, dataStart);
  // Data that does not shrink is stored instead.
  if (ok && !store && e.CompressedSize >= e.Size) {
    Seek(out_, dataStart);
    SetEndOfFile(out_);
    Seek(in, 0);
    e.Method = kStored;
    ok = WriteData(in, e, true, dataStart);
  }
  CloseHandle(in);
  if (!ok) {
    if (error_ == ZE_READ) {
      Say("zip warning: could not read: %s", Narrow(s.Path, CP_ACP).c_str());
      readFailed_ = true;
      error_ = ZE_OK;
    }
    return undo();
  }
  if (!big && (e.Size > kMax32 || e.CompressedSize > kMax32)) {
    undo();
    error_ = ZE_BIG;
    return false;
  }
  std::string fixed;
  Put32(fixed, e.Crc);
  if (!big) {
    Put32(fixed, static_cast<uint32_t>(e.CompressedSize));
    Put32(fixed, static_cast<uint32_t>(e.Size));
  }
  std::string method;
  Put16(method, e.Method);
  const uint64_t end = Position();
  bool patched = Seek(out_, start + 8) && WriteAll(out_, method.data(), 2) && Seek(out_, start + 14) &&
                 WriteAll(out_, fixed.data(), fixed.size());
  if (patched && big) {
    std::string sizes;
    Put64(sizes, e.Size);
    Put64(sizes, e.CompressedSize);
    patched = Seek(out_, start + kLocalHeaderSize + e.Name.size() + 4) && WriteAll(out_, sizes.data(), sizes.size());
  }
  if (!patched || !Seek(out_, end)) {
    error_ = ZE_WRITE;
    return false;
  }
  return true;
}

std::string WithoutZip64(const std::string& x) {
  std::string out;
  size_t i = 0;
  while (i + 4 <= x.size()) {
    size_t len = Get16(&x[i + 2]);
    if (i + 4 + len > x.size()) break;
    if (Get16(&x[i]) != kExtraZip64) out += x.substr(i, 4 + len);
    i += 4 + len;
  }
  return out;
}

// An entry of the old archive, data copied unchanged under a fresh local
// header (with its descriptor when it had one).
bool TArchiver::CopyOld(const TEntry& old, TEntry& e) {
  uint64_t data;
  char h[kLocalHeaderSize];
  if (!DataOffset(old_, old, data) || !ReadAt(old_, old.LocalOffset, h, sizeof h) ||
      data + old.CompressedSize > FileSize(old_)) {
    Say("zip error: damaged entry in the old archive: %s", old.Name.c_str());
    error_ = ZE_FORM;
    return false;
  }
  std::string localExtra(Get16(h + 28), '\0');
  if (!localExtra.empty() &&
      !ReadAt(old_, old.LocalOffset + kLocalHeaderSize + Get16(h + 26), localExtra.data(), localExtra.size())) {
    error_ = ZE_READ;
    return false;
  }
  e = old;
  e.Extra = WithoutZip64(old.Extra);
  e.LocalOffset = Position();
  const bool big = old.Size > kMax32 || old.CompressedSize > kMax32;
  localExtra = WithoutZip64(localExtra);
  if (big) {
    localExtra = Zip64LocalExtra(old.Size, old.CompressedSize) + localExtra;
    e.VersionNeeded = std::max<uint16_t>(e.VersionNeeded, kVersionZip64);
  }
  std::string header = LocalHeader(e, localExtra, big);
  if (!WriteAll(out_, header.data(), header.size()) || !Seek(old_, data)) {
    error_ = ZE_WRITE;
    return false;
  }
  for (uint64_t left = old.CompressedSize; left > 0;) {
    DWORD n = static_cast<DWORD>(std::min<uint64_t>(left, in_.size())), got = 0;
    if (!ReadFile(old_, in_.data(), n, &got, nullptr) || got != n) {
      error_ = ZE_READ;
      return false;
    }
    if (!WriteAll(out_, in_.data(), n)) {
      error_ = ZE_WRITE;
      return false;
    }
    left -= n;
  }
  if (e.Flags & kFlagDescriptor) {
    std::string d;
    Put32(d, 0x08074b50);
    Put32(d, e.Crc);
    if (big) {
      Put64(d, e.CompressedSize);
      Put64(d, e.Size);
    } else {
      Put32(d, static_cast<uint32_t>(e.CompressedSize));
      Put32(d, static_cast<uint32_t>(e.Size));
    }
    if (!WriteAll(out_, d.data(), d.size())) {
      error_ = ZE_WRITE;
      return false;
    }
  }
  return true;
}

// The central directory and its end; the 64-bit records only where a size,
// an offset or the number of entries needs them.
bool TArchiver::WriteDirectory(const std::vector<TEntry>& entries, const std::string& comment) {
  const uint64_t start = Position();
  std::string cd;
  for (const TEntry& e : entries) {
    const bool bigSize = e.Size > kMax32, bigPacked = e.CompressedSize > kMax32, bigOffset = e.LocalOffset > kMax32;
    std::string zip64;
    if (bigSize) Put64(zip64, e.Size);
    if (bigPacked) Put64(zip64, e.CompressedSize);
    if (bigOffset) Put64(zip64, e.LocalOffset);
    std::string extra;
    if (!zip64.empty()) {
      Put16(extra, kExtraZip64);
      Put16(extra, static_cast<uint32_t>(zip64.size()));
      extra += zip64;
    }
    extra += e.Extra;
    const bool any = !zip64.empty();
    Put32(cd, kCentralSig);
    Put16(cd, any ? (e.VersionMadeBy & 0xFF00u) | std::max<uint32_t>(e.VersionMadeBy & 0xFFu, kVersionZip64)
                  : e.VersionMadeBy);
    Put16(cd, any ? std::max<uint16_t>(e.VersionNeeded, kVersionZip64) : e.VersionNeeded);
    Put16(cd, e.Flags);
    Put16(cd, e.Method);
    Put16(cd, e.DosTime);
    Put16(cd, e.DosDate);
    Put32(cd, e.Crc);
    Put32(cd, bigPacked ? 0xFFFFFFFFu : static_cast<uint32_t>(e.CompressedSize));
    Put32(cd, bigSize ? 0xFFFFFFFFu : static_cast<uint32_t>(e.Size));
    Put16(cd, static_cast<uint32_t>(e.Name.size()));
    Put16(cd, static_cast<uint32_t>(extra.size()));
    Put16(cd, static_cast<uint32_t>(e.Comment.size()));
    Put16(cd, 0);
    Put16(cd, e.InternalAttributes);
    Put32(cd, e.ExternalAttributes);
    Put32(cd, bigOffset ? 0xFFFFFFFFu : static_cast<uint32_t>(e.LocalOffset));
    cd += e.Name + extra + e.Comment;
  }
  const uint64_t cdSize = cd.size();
  const bool manyEntries = entries.size() > kMaxEntries16, farStart = start > kMax32, bigDirectory = cdSize > kMax32;
  if (manyEntries || farStart || bigDirectory) {
    const uint64_t end64 = start + cdSize;
    Put32(cd, kEnd64Sig);
    Put64(cd, 44);  // the size of the rest of this record
    Put16(cd, kVersionZip64);
    Put16(cd, kVersionZip64);
    Put32(cd, 0);
    Put32(cd, 0);
    Put64(cd, entries.size());
    Put64(cd, entries.size());
    Put64(cd, cdSize);
    Put64(cd, start);
    Put32(cd, kEnd64LocatorSig);
    Put32(cd, 0);
    Put64(cd, end64);
    Put32(cd, 1);
  }
  const uint32_t count16 = manyEntries ? 0xFFFFu : static_cast<uint32_t>(entries.size());
  Put32(cd, kEndSig);
  Put32(cd, 0);
  Put16(cd, count16);
  Put16(cd, count16);
  Put32(cd, bigDirectory ? 0xFFFFFFFFu : static_cast<uint32_t>(cdSize));
  Put32(cd, farStart ? 0xFFFFFFFFu : static_cast<uint32_t>(start));
  Put16(cd, static_cast<uint32_t>(comment.size()));
  cd += comment;
  if (!WriteAll(out_, cd.data(), cd.size())) {
    error_ = ZE_WRITE;
    return false;
  }
  return true;
}

int TArchiver::Run(int count, char* zipFile, char** files) {
  if (!g_optionsSet || !zipFile || !*zipFile || count < 0 || (count > 0 && !files)) return ZE_PARMS;
  root_ = Widen(opt_.RootDir, CP_ACP);
  root_ = FullPath(root_.empty() ? L"." : root_);
  while (root_.size() > 3 && root_.back() == L'\\') root_.pop_back();
  rootShort_ = ShortPath(root_);
  std::wstring zip = Widen(zipFile, CP_ACP);
  zipPath_ = FullPath(IsAbsolute(zip) ? zip : root_ + L"\\" + zip);

  // The old archive, when there is one.
  TDirectory dir;
  old_ = CreateFileW(zipPath_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (old_ != INVALID_HANDLE_VALUE) {
    std::string why;
    TReadResult r = ReadDirectory(old_, dir, why);
    if (r != TReadResult::Ok) {
      Say("zip error: %s is not a valid zip file: %s", zipFile, why.c_str());
      return r == TReadResult::Truncated ? ZE_EOF : r == TReadResult::ReadError ? ZE_READ : ZE_FORM;
    }
  } else if (GetFileAttributesW(zipPath_.c_str()) != INVALID_FILE_ATTRIBUTES) {
    Say("zip error: cannot open %s", zipFile);
    return ZE_OPEN;
  } else if (opt_.Freshen) {
    Say("zip error: %s not found or empty", zipFile);
    return ZE_NAME;
  }

  for (int i = 0; i < count; ++i)
    if (files[i]) Collect(Widen(files[i], CP_ACP));

  // What goes where: old entries stay in their place (replaced ones with
  // new data), new ones follow in the order found.
  std::map<std::string, size_t> oldByName;
  for (size_t i = 0; i < dir.Entries.size(); ++i) oldByName.emplace(dir.Entries[i].Name, i);
  std::vector<TItem> items(dir.Entries.size());
  for (size_t i = 0; i < items.size(); ++i) items[i].Old = static_cast<int>(i);
  std::vector<bool> chosen(sources_.size(), false);
  size_t changes = 0;
  for (size_t i = 0; i < sources_.size(); ++i) {
    const TSource& s = sources_[i];
    auto hit = oldByName.find(s.Name);
    bool newer = hit != oldByName.end() && !s.Folder &&
                 DosFromFileTime(s.Info.ftLastWriteTime) > dir.Entries[hit->second].DosDateTime();
    bool take;
    if (opt_.Freshen)
      take = newer;
    else if (opt_.Update)
      take = hit == oldByName.end() || newer;
    else
      take = hit == oldByName.end() || !s.Folder;
    if (!take) continue;
    chosen[i] = true;
    ++changes;
    if (hit != oldByName.end())
      items[hit->second] = TItem{-1, static_cast<int>(i)};
    else
      items.push_back(TItem{-1, static_cast<int>(i)});
  }
  if (changes == 0) {
    Say("zip error: Nothing to do! (%s)", zipFile);
    return readFailed_ ? ZE_OPEN : ZE_NONE;
  }

  std::wstring folder = zipPath_.substr(0, zipPath_.find_last_of(L'\\'));
  wchar_t temp[MAX_PATH + 16];
  if (!GetTempFileNameW(folder.c_str(), L"zi", 0, temp)) {
    Say("zip error: cannot create a temporary file beside %s", zipFile);
    return ZE_CREAT;
  }
  tempPath_ = temp;
  out_ = CreateFileW(temp, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (out_ == INVALID_HANDLE_VALUE) {
    DeleteFileW(temp);
    return ZE_TEMP;
  }
  in_.resize(kChunk);
  buf_.resize(kChunk);
  // Small files are compressed on every core ahead of the writer, which
  // keeps the archive's order and streams the large files itself.
  std::vector<int> job(items.size(), -1);
  std::vector<std::wstring> jobPaths;
  if (opt_.Level != '0') {
    for (size_t i = 0; i < items.size(); ++i) {
      if (items[i].Source < 0) continue;
      const TSource& s = sources_[static_cast<size_t>(items[i].Source)];
      if (s.Folder || s.FileSize() > kPackedMax) continue;
      job[i] = static_cast<int>(jobPaths.size());
      jobPaths.push_back(s.Path);
    }
  }
  TPacker packer(std::move(jobPaths), opt_.Level - '0');
  std::vector<TEntry> entries;
  std::vector<size_t> written;
  for (size_t i = 0; i < items.size(); ++i) {
    const TItem& item = items[i];
    TEntry e;
    bool ok;
    if (item.Old >= 0) {
      ok = CopyOld(dir.Entries[static_cast<size_t>(item.Old)], e);
    } else if (job[i] >= 0) {
      TPacked p = packer.Take(static_cast<size_t>(job[i]));
      ok = WriteNew(sources_[static_cast<size_t>(item.Source)], e, &p);
    } else {
      ok = WriteNew(sources_[static_cast<size_t>(item.Source)], e, nullptr);
    }
    if (error_ != ZE_OK) break;
    if (!ok) continue;  // a source that could not be read
    entries.push_back(e);
    if (item.Source >= 0) written.push_back(static_cast<size_t>(item.Source));
  }
  std::string comment = dir.Comment;
  if (error_ == ZE_OK && opt_.Comment && g_functions.Comment) {
    std::string current = dir.Comment;
    char* given = g_functions.Comment(current.data());
    comment = given ? given : "";
    if (comment.size() > 0xFFFF) {
      Say("zip error: the comment is longer than 65,535 bytes");
      error_ = ZE_NOTE;
    }
  }
  if (error_ == ZE_OK) WriteDirectory(entries, comment);
  if (error_ == ZE_OK && !FlushFileBuffers(out_)) error_ = ZE_WRITE;
  CloseHandle(out_);
  out_ = INVALID_HANDLE_VALUE;
  if (old_ != INVALID_HANDLE_VALUE) CloseHandle(old_), old_ = INVALID_HANDLE_VALUE;
  if (error_ == ZE_OK && written.empty() && entries.empty()) error_ = readFailed_ ? ZE_OPEN : ZE_NONE;
  if (error_ == ZE_OK && !MoveFileExW(temp, zipPath_.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    Say("zip error: cannot replace %s", zipFile);
    error_ = ZE_CREAT;
  }
  if (error_ != ZE_OK) {
    DeleteFileW(temp);
    return error_;
  }

  // Move: the sources go only now that the new archive is in place; then
  // the folders that recursion took in, deepest first, when empty.
  if (opt_.Move) {
    std::vector<std::wstring> folders;
    for (size_t i : written) {
      const TSource& s = sources_[i];
      if (s.Folder) continue;
      SetFileAttributesW(s.Path.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (!DeleteFileW(s.Path.c_str())) Say("zip warning: could not delete %s", Narrow(s.Path, CP_ACP).c_str());
    }
    for (const TSource& s : sources_)
      if (s.Folder && s.Walked) folders.push_back(s.Path);
    std::sort(folders.begin(), folders.end(), [](const auto& a, const auto& b) { return a.size() > b.size(); });
    for (const auto& f : folders) RemoveDirectoryW(f.c_str());
  }
  return readFailed_ ? ZE_OPEN : ZE_OK;
}

}  // namespace

extern "C" int ZIPAPI ZpInit(TZipUserFunctions* Functions) {
  if (!Functions) return 0;
  g_functions = *Functions;
  return 1;
}

extern "C" int ZIPAPI ZpSetOptions(TZipOptions Options) {
  if (Options.Level < '0' || Options.Level > '9') return 0;
  if (!memchr(Options.RootDir, 0, sizeof Options.RootDir)) return 0;
  if (!memchr(Options.Reserved109, 0, sizeof Options.Reserved109)) return 0;
  g_options = Options;
  g_optionsSet = true;
  return 1;
}

extern "C" int ZIPAPI ZpArchive(int Count, char* ZipFile, char** Files) {
  try {
    TArchiver a;
    return a.Run(Count, ZipFile, Files);
  } catch (const std::bad_alloc&) {
    return ZE_MEM;
  } catch (...) {
    return ZE_LOGIC;
  }
}
