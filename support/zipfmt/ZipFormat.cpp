#include "ZipFormat.h"

#include <algorithm>
#include <cstring>

namespace zipfmt {

uint16_t Get16(const void* p) {
  auto b = static_cast<const uint8_t*>(p);
  return static_cast<uint16_t>(b[0] | b[1] << 8);
}
uint32_t Get32(const void* p) {
  auto b = static_cast<const uint8_t*>(p);
  return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 | static_cast<uint32_t>(b[2]) << 16 |
         static_cast<uint32_t>(b[3]) << 24;
}
uint64_t Get64(const void* p) {
  auto b = static_cast<const uint8_t*>(p);
  return static_cast<uint64_t>(Get32(b)) | static_cast<uint64_t>(Get32(b + 4)) << 32;
}
void Put16(std::string& s, uint32_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string& s, uint32_t v) {
  Put16(s, v & 0xFFFF);
  Put16(s, v >> 16);
}
void Put64(std::string& s, uint64_t v) {
  Put32(s, static_cast<uint32_t>(v));
  Put32(s, static_cast<uint32_t>(v >> 32));
}

bool Seek(HANDLE file, uint64_t offset) {
  LARGE_INTEGER li;
  li.QuadPart = static_cast<LONGLONG>(offset);
  return SetFilePointerEx(file, li, nullptr, FILE_BEGIN) != 0;
}

uint64_t FileSize(HANDLE file) {
  LARGE_INTEGER li;
  return GetFileSizeEx(file, &li) ? static_cast<uint64_t>(li.QuadPart) : 0;
}

bool ReadAt(HANDLE file, uint64_t offset, void* buffer, size_t n) {
  if (!Seek(file, offset)) return false;
  auto p = static_cast<uint8_t*>(buffer);
  while (n > 0) {
    DWORD part = static_cast<DWORD>(std::min<size_t>(n, 1 << 20)), got = 0;
    if (!ReadFile(file, p, part, &got, nullptr) || got == 0) return false;
    p += got;
    n -= got;
  }
  return true;
}

bool WriteAll(HANDLE file, const void* data, size_t n) {
  auto p = static_cast<const uint8_t*>(data);
  while (n > 0) {
    DWORD part = static_cast<DWORD>(std::min<size_t>(n, 1 << 20)), put = 0;
    if (!WriteFile(file, p, part, &put, nullptr) || put == 0) return false;
    p += put;
    n -= put;
  }
  return true;
}

namespace {

// Fields that the 64-bit extension carries, in its order, for the values
// the fixed record marks as too large.
void ApplyZip64(TEntry& e, bool size, bool compressed, bool offset) {
  const std::string& x = e.Extra;
  size_t i = 0;
  while (i + 4 <= x.size()) {
    uint16_t id = Get16(&x[i]), len = Get16(&x[i + 2]);
    if (i + 4 + len > x.size()) break;
    if (id == kExtraZip64) {
      size_t j = i + 4, end = i + 4 + len;
      if (size && j + 8 <= end) e.Size = Get64(&x[j]), j += 8;
      if (compressed && j + 8 <= end) e.CompressedSize = Get64(&x[j]), j += 8;
      if (offset && j + 8 <= end) e.LocalOffset = Get64(&x[j]), j += 8;
      return;
    }
    i += 4 + len;
  }
}

}  // namespace

bool TEntry::UnixTime(int64_t& seconds) const {
  size_t i = 0;
  while (i + 4 <= Extra.size()) {
    uint16_t id = Get16(&Extra[i]), len = Get16(&Extra[i + 2]);
    if (i + 4 + len > Extra.size()) return false;
    if (id == kExtraTime && len >= 5 && (Extra[i + 4] & 1)) {
      seconds = static_cast<int32_t>(Get32(&Extra[i + 5]));
      return true;
    }
    i += 4 + len;
  }
  return false;
}

TReadResult ReadDirectory(HANDLE file, TDirectory& dir, std::string& why) {
  dir = TDirectory();
  uint64_t size = FileSize(file);
  if (size < kEndSize) {
    why = "too short to be a zip file";
    return size == 0 ? TReadResult::Invalid : TReadResult::Truncated;
  }
  // The end record sits in the last 22 + 65535 bytes (its comment).
  size_t tail = static_cast<size_t>(std::min<uint64_t>(size, kEndSize + 0xFFFF));
  std::string buf(tail, '\0');
  if (!ReadAt(file, size - tail, buf.data(), tail)) {
    why = "cannot read the file";
    return TReadResult::ReadError;
  }
  size_t at = std::string::npos;
  for (size_t i = tail - kEndSize + 1; i-- > 0;) {
    if (Get32(&buf[i]) == kEndSig && i + kEndSize + Get16(&buf[i + 20]) <= tail) {
      at = i;
      break;
    }
  }
  if (at == std::string::npos) {
    why = "no end of central directory (truncated or not a zip file)";
    return TReadResult::Truncated;
  }
  const uint64_t endPos = size - tail + at;
  const char* end = &buf[at];
  uint64_t count = Get16(end + 10);
  uint64_t cdSize = Get32(end + 12);
  uint64_t cdOffset = Get32(end + 16);
  dir.Comment.assign(end + 22, Get16(end + 20));
  uint64_t cdEnd = endPos;
  // A 64-bit end record, when there is one, ends the central directory;
  // its values stand in for those the fixed record marks as too large.
  char loc[20];
  if (endPos >= 20 && ReadAt(file, endPos - 20, loc, 20) && Get32(loc) == kEnd64LocatorSig) {
    uint64_t rec = Get64(loc + 8);
    char e64[56];
    if (rec + 56 > endPos || !ReadAt(file, rec, e64, 56) || Get32(e64) != kEnd64Sig) {
      why = "damaged 64-bit end record";
      return TReadResult::Invalid;
    }
    if (count == 0xFFFF) count = Get64(e64 + 32);
    if (cdSize == 0xFFFFFFFF) cdSize = Get64(e64 + 40);
    if (cdOffset == 0xFFFFFFFF) cdOffset = Get64(e64 + 48);
    cdEnd = rec;
  }
  if (cdSize > cdEnd) {
    why = "central directory larger than the file";
    return TReadResult::Truncated;
  }
  // Data in front of the archive (a self-extractor's program) shifts every
  // offset by the same amount.
  uint64_t shift = cdEnd - cdSize >= cdOffset ? cdEnd - cdSize - cdOffset : 0;
  if (cdOffset + cdSize > cdEnd) {
    why = "central directory outside the file";
    return TReadResult::Truncated;
  }
  dir.DirectoryOffset = cdOffset + shift;
  std::string cd(static_cast<size_t>(cdSize), '\0');
  if (cdSize && !ReadAt(file, dir.DirectoryOffset, cd.data(), cd.size())) {
    why = "cannot read the central directory";
    return TReadResult::ReadError;
  }
  size_t i = 0;
  while (i < cd.size()) {
    if (i + kCentralHeaderSize > cd.size() || Get32(&cd[i]) != kCentralSig) {
      why = "damaged central directory";
      return TReadResult::Invalid;
    }
    const char* h = &cd[i];
    TEntry e;
    e.VersionMadeBy = Get16(h + 4);
    e.VersionNeeded = Get16(h + 6);
    e.Flags = Get16(h + 8);
    e.Method = Get16(h + 10);
    e.DosTime = Get16(h + 12);
    e.DosDate = Get16(h + 14);
    e.Crc = Get32(h + 16);
    e.CompressedSize = Get32(h + 20);
    e.Size = Get32(h + 24);
    size_t n = Get16(h + 28), m = Get16(h + 30), k = Get16(h + 32);
    e.InternalAttributes = Get16(h + 36);
    e.ExternalAttributes = Get32(h + 38);
    e.LocalOffset = Get32(h + 42);
    if (i + kCentralHeaderSize + n + m + k > cd.size()) {
      why = "damaged central directory";
      return TReadResult::Invalid;
    }
    e.Name.assign(h + kCentralHeaderSize, n);
    e.Extra.assign(h + kCentralHeaderSize + n, m);
    e.Comment.assign(h + kCentralHeaderSize + n + m, k);
    ApplyZip64(e, e.Size == 0xFFFFFFFF, e.CompressedSize == 0xFFFFFFFF, e.LocalOffset == 0xFFFFFFFF);
    e.LocalOffset += shift;
    if (e.LocalOffset + kLocalHeaderSize > dir.DirectoryOffset) {
      why = "entry outside the archive";
      return TReadResult::Invalid;
    }
    dir.Entries.push_back(std::move(e));
    i += kCentralHeaderSize + n + m + k;
  }
  // The 16-bit count of old writers wraps past 65,535 entries.
  if ((dir.Entries.size() & 0xFFFF) != (count & 0xFFFF)) {
    why = "entry count does not match the central directory";
    return TReadResult::Invalid;
  }
  return TReadResult::Ok;
}

bool DataOffset(HANDLE file, const TEntry& e, uint64_t& offset) {
  char h[kLocalHeaderSize];
  if (!ReadAt(file, e.LocalOffset, h, sizeof h) || Get32(h) != kLocalSig) return false;
  offset = e.LocalOffset + kLocalHeaderSize + Get16(h + 26) + Get16(h + 28);
  return true;
}

std::wstring Widen(const std::string& text, UINT codePage) {
  if (text.empty()) return std::wstring();
  int n = MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (n <= 0 && codePage == 437) return Widen(text, CP_OEMCP);
  std::wstring out(static_cast<size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

std::string Narrow(const std::wstring& text, UINT codePage) {
  if (text.empty()) return std::string();
  int n = WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(codePage, 0, text.data(), static_cast<int>(text.size()), out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring EntryNameWide(const TEntry& e) { return Widen(e.Name, (e.Flags & kFlagUtf8) ? CP_UTF8 : 437); }

namespace {
constexpr int64_t kTicks = 10000000;
constexpr int64_t kUnixEpoch = 116444736000000000LL;
int64_t Ticks(const FILETIME& ft) {
  return static_cast<int64_t>(static_cast<uint64_t>(ft.dwHighDateTime) << 32 | ft.dwLowDateTime);
}
FILETIME FromTicks(int64_t t) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(static_cast<uint64_t>(t));
  ft.dwHighDateTime = static_cast<DWORD>(static_cast<uint64_t>(t) >> 32);
  return ft;
}
}  // namespace

uint32_t DosFromFileTime(const FILETIME& utc) {
  FILETIME local;
  if (!FileTimeToLocalFileTime(&utc, &local)) local = utc;
  int64_t seconds = Ticks(local) / kTicks;
  if (seconds & 1) ++seconds;
  FILETIME rounded = FromTicks(seconds * kTicks);
  WORD date = 0, time = 0;
  if (!FileTimeToDosDateTime(&rounded, &date, &time) || date < 0x21) return 0x210000;  // 1980-01-01
  return static_cast<uint32_t>(date) << 16 | time;
}

FILETIME FileTimeFromDos(uint32_t dosDateTime) {
  FILETIME local{}, utc{};
  if (!DosDateTimeToFileTime(static_cast<WORD>(dosDateTime >> 16), static_cast<WORD>(dosDateTime & 0xFFFF), &local))
    DosDateTimeToFileTime(0x21, 0, &local);
  if (!LocalFileTimeToFileTime(&local, &utc)) utc = local;
  return utc;
}

FILETIME FileTimeFromUnix(int64_t seconds) { return FromTicks(seconds * kTicks + kUnixEpoch); }
int64_t UnixFromFileTime(const FILETIME& utc) { return (Ticks(utc) - kUnixEpoch) / kTicks; }

}  // namespace zipfmt
