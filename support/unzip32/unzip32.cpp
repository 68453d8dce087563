#include "unzip32.h"

#include <windows.h>

#include <zlib.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "ZipFormat.h"

using namespace zipfmt;

namespace {

constexpr size_t kChunk = 256 * 1024;

// One extraction: everything it needs lives here (the library keeps no
// state between calls).
class TExtraction {
 public:
  TExtraction(const TUnzipOptions& o, const TUnzipUserFunctions* f) : opt_(o), fn_(f) {}
  int Run();

 private:
  void Say(int code, const char* fmt, ...) __attribute__((format(printf, 3, 4)));
  void Extract(const TEntry& e);
  bool SafePath(const std::wstring& raw, bool folder, std::wstring& rel, std::string& why);
  bool MakeFolders(const std::wstring& rel, bool includeLast);
  int WriteData(const TEntry& e, HANDLE out, const std::string& name);
  bool Inside(const std::wstring& path) const;

  TUnzipOptions opt_;
  const TUnzipUserFunctions* fn_;
  HANDLE zip_ = INVALID_HANDLE_VALUE;
  std::wstring dest_;  // full path, no trailing separator
  int result_ = PK_OK;
  bool aborted_ = false;
  std::vector<unsigned char> in_, out_;
  bool KnownAbsent(const std::wstring& path) const;
  // Folders known to exist (lower case), and whether this extraction made
  // them: what a folder made here holds is exactly what made_ lists, so
  // its names need no look-up (a look-up of a missing name makes wine read
  // the whole folder).
  std::map<std::wstring, bool> folders_;
  std::set<std::wstring> made_;
};

void TExtraction::Say(int code, const char* fmt, ...) {
  result_ = std::max(result_, code);
  char line[2048];
  va_list args;
  va_start(args, fmt);
  vsnprintf(line, sizeof line - 2, fmt, args);
  va_end(args);
  lstrcatA(line, "\n");
  if (fn_ && fn_->Print) fn_->Print(line, static_cast<unsigned long>(lstrlenA(line)));
}

std::string Shown(const TEntry& e) { return Narrow(EntryNameWide(e), CP_ACP); }

bool IsDeviceName(std::wstring comp) {
  size_t dot = comp.find(L'.');
  if (dot != std::wstring::npos) comp.resize(dot);
  while (!comp.empty() && comp.back() == L' ') comp.pop_back();
  CharUpperBuffW(comp.data(), static_cast<DWORD>(comp.size()));
  static const wchar_t* const kNames[] = {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$", L"CLOCK$"};
  for (const wchar_t* n : kNames)
    if (comp == n) return true;
  return comp.size() == 4 && (comp.compare(0, 3, L"COM") == 0 || comp.compare(0, 3, L"LPT") == 0) &&
         comp[3] >= L'0' && comp[3] <= L'9';
}

// The entry's place below the destination, or false with the reason it is
// refused. Parts that would climb out (drive, leading separators, "..")
// are stripped with a warning.
bool TExtraction::SafePath(const std::wstring& raw, bool folder, std::wstring& rel, std::string& why) {
  std::wstring s = raw;
  std::replace(s.begin(), s.end(), L'\\', L'/');
  bool stripped = false;
  if (s.size() >= 2 && s[1] == L':' && iswalpha(s[0])) s.erase(0, 2), stripped = true;
  while (!s.empty() && s.front() == L'/') s.erase(0, 1), stripped = true;
  std::vector<std::wstring> parts;
  size_t i = 0;
  while (i <= s.size()) {
    size_t j = s.find(L'/', i);
    if (j == std::wstring::npos) j = s.size();
    std::wstring c = s.substr(i, j - i);
    i = j + 1;
    if (c.empty() || c == L".") continue;
    // Windows drops trailing dots and spaces: "..." and ". ." would climb.
    while (!c.empty() && (c.back() == L'.' || c.back() == L' ')) c.pop_back();
    if (c.empty()) {
      stripped = true;
      continue;
    }
    if (c.find(L':') != std::wstring::npos) return why = "a colon (stream) in its name", false;
    for (wchar_t ch : c)
      if (ch < 32 || wcschr(L"<>\"|?*", ch)) return why = "a character in its name that Windows forbids", false;
    if (IsDeviceName(c)) return why = "a device name in its name", false;
    parts.push_back(c);
  }
  if (!opt_.UseFolderNames && !parts.empty()) parts.erase(parts.begin(), parts.end() - 1);
  if (parts.empty()) return why = folder ? "" : "no name left", false;
  rel.clear();
  for (const auto& p : parts) rel += (rel.empty() ? L"" : L"\\") + p;
  if (stripped) Say(PK_WARN, "warning: stripped absolute or \"../\" parts of %s", Narrow(raw, CP_ACP).c_str());
  return true;
}

bool TExtraction::Inside(const std::wstring& path) const {
  wchar_t full[32768];
  DWORD n = GetFullPathNameW(path.c_str(), 32768, full, nullptr);
  if (n == 0 || n >= 32768) return false;
  std::wstring f(full, n), d = dest_ + L"\\";
  return f.size() > d.size() && CompareStringOrdinal(f.c_str(), static_cast<int>(d.size()), d.c_str(),
                                                     static_cast<int>(d.size()), TRUE) == CSTR_EQUAL;
}

std::wstring Lower(std::wstring s) {
  CharLowerBuffW(s.data(), static_cast<DWORD>(s.size()));
  return s;
}

bool TExtraction::KnownAbsent(const std::wstring& path) const {
  std::wstring key = Lower(path);
  auto folder = folders_.find(key.substr(0, key.rfind(L'\\')));
  return folder != folders_.end() && folder->second && !made_.count(key);
}

bool TExtraction::MakeFolders(const std::wstring& rel, bool includeLast) {
  size_t end = includeLast ? rel.size() : rel.rfind(L'\\');
  if (end == std::wstring::npos) return true;
  for (size_t i = 0; i <= end; ++i) {
    if (i != end && rel[i] != L'\\') continue;
    std::wstring p = dest_ + L"\\" + rel.substr(0, i);
    std::wstring key = Lower(p);
    if (folders_.count(key)) continue;
    bool made = false;
    DWORD a = KnownAbsent(p) ? INVALID_FILE_ATTRIBUTES : GetFileAttributesW(p.c_str());
    if (a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) {
      if (!CreateDirectoryW(p.c_str(), nullptr)) return false;
      made = true;
      made_.insert(key);
    }
    folders_[key] = made;
  }
  return true;
}

// Inflates or copies the entry's data into out. Never writes more than the
// declared size; PK_OK only when size and CRC match.
int TExtraction::WriteData(const TEntry& e, HANDLE out, const std::string& name) {
  uint64_t pos;
  if (!DataOffset(zip_, e, pos)) {
    Say(PK_BADERR, "error: %s: local header missing", name.c_str());
    return PK_BADERR;
  }
  if (pos + e.CompressedSize > FileSize(zip_)) {
    Say(PK_EOF, "error: %s: the archive ends inside its data", name.c_str());
    return PK_EOF;
  }
  if (!Seek(zip_, pos)) return PK_BADERR;
  z_stream z{};
  if (e.Method == kDeflated && inflateInit2(&z, -MAX_WBITS) != Z_OK) return PK_MEM;
  uLong crc = crc32(0, nullptr, 0);
  uint64_t left = e.CompressedSize, written = 0;
  int rc = PK_OK;
  bool ended = e.Method == kStored;
  auto put = [&](const unsigned char* p, size_t n) {
    if (written + n > e.Size) {
      Say(PK_ERR, "error: %s: more data than its declared size (not written)", name.c_str());
      return false;
    }
    crc = crc32(crc, p, static_cast<uInt>(n));
    written += n;
    if (!WriteAll(out, p, n)) {
      DWORD err = GetLastError();
      Say(PK_DISK, "error: %s: %s", name.c_str(),
          err == ERROR_DISK_FULL || err == ERROR_HANDLE_DISK_FULL ? "disk full" : "cannot write the file");
      rc = PK_DISK;
      return false;
    }
    return true;
  };
  while (rc == PK_OK && left > 0) {
    DWORD want = static_cast<DWORD>(std::min<uint64_t>(left, kChunk)), got = 0;
    if (!ReadFile(zip_, in_.data(), want, &got, nullptr) || got != want) {
      Say(PK_EOF, "error: %s: cannot read its data", name.c_str());
      rc = PK_EOF;
      break;
    }
    left -= got;
    if (e.Method == kStored) {
      if (!put(in_.data(), got)) rc = rc == PK_OK ? PK_ERR : rc;
      continue;
    }
    z.next_in = in_.data();
    z.avail_in = got;
    while (rc == PK_OK && z.avail_in > 0 && !ended) {
      z.next_out = out_.data();
      z.avail_out = static_cast<uInt>(out_.size());
      int zr = inflate(&z, Z_NO_FLUSH);
      if (zr != Z_OK && zr != Z_STREAM_END && zr != Z_BUF_ERROR) {
        Say(PK_ERR, "error: %s: compressed data damaged (not written)", name.c_str());
        rc = PK_ERR;
        break;
      }
      size_t n = out_.size() - z.avail_out;
      if (n && !put(out_.data(), n)) rc = rc == PK_OK ? PK_ERR : rc;
      if (zr == Z_STREAM_END) ended = true;
      if (zr == Z_BUF_ERROR && n == 0) break;
    }
  }
  // Output still held by the inflater after the last input.
  while (rc == PK_OK && e.Method == kDeflated && !ended) {
    z.next_out = out_.data();
    z.avail_out = static_cast<uInt>(out_.size());
    int zr = inflate(&z, Z_FINISH);
    size_t n = out_.size() - z.avail_out;
    if (n && !put(out_.data(), n)) rc = rc == PK_OK ? PK_ERR : rc;
    if (zr == Z_STREAM_END) ended = true;
    else if (n == 0) break;
  }
  if (e.Method == kDeflated) inflateEnd(&z);
  if (rc != PK_OK) return rc;
  if (!ended || written != e.Size) {
    Say(PK_ERR, "error: %s: compressed data damaged or incomplete (not written)", name.c_str());
    return PK_ERR;
  }
  if (crc != e.Crc) {
    Say(PK_ERR, "error: %s: CRC error (not written)", name.c_str());
    return PK_ERR;
  }
  return PK_OK;
}

void TExtraction::Extract(const TEntry& e) {
  const std::string name = Shown(e);
  if (fn_ && fn_->Service && fn_->Service(name.c_str(), static_cast<unsigned long>(e.Size)) != 0) {
    Say(PK_ABORT, "error: extraction stopped by the caller");
    aborted_ = true;
    return;
  }
  std::wstring rel;
  std::string why;
  if (!SafePath(EntryNameWide(e), e.IsFolder(), rel, why)) {
    if (!why.empty()) Say(PK_ERR, "error: %s not extracted: %s", name.c_str(), why.c_str());
    return;
  }
  if (e.IsFolder()) {
    if (!opt_.UseFolderNames) return;
    if (!MakeFolders(rel, true)) Say(PK_ERR, "error: cannot create the folder %s", name.c_str());
    return;
  }
  if (e.Flags & kFlagEncrypted) return Say(PK_ERR, "error: %s not extracted: it is encrypted", name.c_str());
  if (e.IsLink()) return Say(PK_ERR, "error: %s not extracted: it is a link", name.c_str());
  if (e.Method != kStored && e.Method != kDeflated) {
    Say(PK_UNSUPP, "error: %s not extracted: compression method %u not supported", name.c_str(), e.Method);
    return;
  }
  std::wstring target = dest_ + L"\\" + rel;
  if (!Inside(target)) return Say(PK_ERR, "error: %s not extracted: outside the destination", name.c_str());
  WIN32_FILE_ATTRIBUTE_DATA have{};
  bool exists = !KnownAbsent(target) && GetFileAttributesExW(target.c_str(), GetFileExInfoStandard, &have) != 0;
  if (exists && (have.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    return Say(PK_ERR, "error: %s not extracted: a folder of that name exists", name.c_str());
  if (exists && !opt_.Overwrite) return;
  if (exists && opt_.OnlyNewer && e.DosDateTime() <= DosFromFileTime(have.ftLastWriteTime)) return;
  if (!exists && opt_.Freshen) return;
  if (!MakeFolders(rel, false)) return Say(PK_ERR, "error: cannot create the folder of %s", name.c_str());

  // A new file is written in its place (and deleted when its data fails);
  // an existing one is replaced only by a complete temporary file.
  std::wstring written;  // the file being written: the target or a temporary one
  HANDLE out = INVALID_HANDLE_VALUE;
  if (!exists) {
    out = CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out != INVALID_HANDLE_VALUE) written = target;
  }
  if (out == INVALID_HANDLE_VALUE) {
    std::wstring folder = target.substr(0, target.rfind(L'\\'));
    wchar_t temp[MAX_PATH + 16];
    if (!GetTempFileNameW(folder.c_str(), L"unz", 0, temp)) {
      Say(PK_DISK, "error: %s: cannot create a file in its folder", name.c_str());
      return;
    }
    written = temp;
    out = CreateFileW(temp, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (out == INVALID_HANDLE_VALUE) {
      DeleteFileW(temp);
      Say(PK_DISK, "error: %s: cannot create a file in its folder", name.c_str());
      return;
    }
  }
  const bool inPlace = written == target;
  int rc = WriteData(e, out, name);
  if (rc == PK_OK) {
    int64_t unix;
    FILETIME ft = e.UnixTime(unix) ? FileTimeFromUnix(unix) : FileTimeFromDos(e.DosDateTime());
    SetFileTime(out, nullptr, nullptr, &ft);
  }
  CloseHandle(out);
  if (rc == PK_OK && !inPlace && !MoveFileExW(written.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    Say(PK_DISK, "error: %s: cannot replace the file", name.c_str());
    rc = PK_DISK;
  }
  if (rc != PK_OK) {
    DeleteFileW(written.c_str());
    return;
  }
  made_.insert(Lower(target));
  if (fn_ && fn_->Message) {
    FILETIME local = FileTimeFromDos(e.DosDateTime()), l2;
    SYSTEMTIME st{};
    FileTimeToLocalFileTime(&local, &l2);
    FileTimeToSystemTime(&l2, &st);
    unsigned ratio = e.Size ? static_cast<unsigned>(1000 - std::min<uint64_t>(1000, e.CompressedSize * 1000 / e.Size)) : 0;
    fn_->Message(static_cast<unsigned long>(e.Size), static_cast<unsigned long>(e.CompressedSize), ratio, st.wMonth,
                 st.wDay, st.wYear, st.wHour, st.wMinute, 'F', name.c_str(), e.Method ? "Deflated" : "Stored",
                 e.Crc, ' ');
  }
}

int TExtraction::Run() {
  if (!opt_.ZipFile || !*opt_.ZipFile) {
    Say(PK_PARAM, "error: no zip file given");
    return result_;
  }
  std::wstring zipName = Widen(opt_.ZipFile, CP_ACP);
  zip_ = CreateFileW(zipName.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                     FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (zip_ == INVALID_HANDLE_VALUE) {
    Say(PK_NOZIP, "error: cannot open the zip file %s", opt_.ZipFile);
    return result_;
  }
  TDirectory dir;
  std::string why;
  TReadResult r = ReadDirectory(zip_, dir, why);
  if (r != TReadResult::Ok) {
    Say(r == TReadResult::Truncated ? PK_EOF : r == TReadResult::ReadError ? PK_NOZIP : PK_BADERR,
        "error: %s is not a valid zip file: %s", opt_.ZipFile, why.c_str());
    CloseHandle(zip_);
    return result_;
  }
  std::wstring d = Widen(opt_.ExtractDir ? opt_.ExtractDir : "", CP_ACP);
  if (d.empty()) d = L".";
  wchar_t full[32768];
  DWORD n = GetFullPathNameW(d.c_str(), 32768, full, nullptr);
  dest_.assign(full, n < 32768 ? n : 0);
  while (dest_.size() > 3 && (dest_.back() == L'\\' || dest_.back() == L'/')) dest_.pop_back();
  if (dest_.size() == 3 && dest_[1] == L':') dest_.pop_back();  // "C:\" -> "C:"
  // The destination and its missing parents.
  for (size_t i = 3; !dest_.empty() && i <= dest_.size(); ++i)
    if (i == dest_.size() || dest_[i] == L'\\') {
      bool made = CreateDirectoryW(dest_.substr(0, i).c_str(), nullptr) != 0;
      if (i == dest_.size()) folders_[Lower(dest_)] = made;
    }
  DWORD a = GetFileAttributesW(dest_.c_str());
  if (dest_.empty() || a == INVALID_FILE_ATTRIBUTES || !(a & FILE_ATTRIBUTE_DIRECTORY)) {
    Say(PK_DISK, "error: cannot create the destination folder %s", opt_.ExtractDir ? opt_.ExtractDir : "");
    CloseHandle(zip_);
    return result_;
  }
  if (dir.Entries.empty()) Say(PK_WARN, "warning: the zip file %s is empty", opt_.ZipFile);
  in_.resize(kChunk);
  out_.resize(kChunk);
  for (const TEntry& e : dir.Entries) {
    if (aborted_) break;
    Extract(e);
  }
  CloseHandle(zip_);
  return result_;
}

}  // namespace

extern "C" int UNZAPI Wiz_SingleEntryUnzip(int IncludeCount, char**, int ExcludeCount, char**,
                                           TUnzipOptions* Options, TUnzipUserFunctions* Functions) {
  try {
    if (!Options || IncludeCount != 0 || ExcludeCount != 0) return PK_PARAM;
    TExtraction x(*Options, Functions);
    return x.Run();
  } catch (const std::bad_alloc&) {
    return PK_MEM;
  } catch (...) {
    return PK_BADERR;
  }
}
