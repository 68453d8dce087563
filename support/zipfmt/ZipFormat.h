// The zip file format as zip32.dll and unzip32.dll both need it: the
// records of an archive's central directory (with the 64-bit extensions),
// DOS times, entry names, and whole reads and writes on file handles.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zipfmt {

constexpr uint32_t kLocalSig = 0x04034b50;
constexpr uint32_t kCentralSig = 0x02014b50;
constexpr uint32_t kEndSig = 0x06054b50;
constexpr uint32_t kEnd64Sig = 0x06064b50;
constexpr uint32_t kEnd64LocatorSig = 0x07064b50;
constexpr uint16_t kFlagEncrypted = 0x0001;
constexpr uint16_t kFlagDescriptor = 0x0008;
constexpr uint16_t kFlagUtf8 = 0x0800;
constexpr uint16_t kStored = 0;
constexpr uint16_t kDeflated = 8;
constexpr uint16_t kExtraZip64 = 0x0001;
constexpr uint16_t kExtraTime = 0x5455;
constexpr size_t kLocalHeaderSize = 30;
constexpr size_t kCentralHeaderSize = 46;
constexpr size_t kEndSize = 22;

// One entry as the central directory describes it (sizes and offset with
// the 64-bit extension applied).
struct TEntry {
  std::string Name;  // raw bytes as stored
  uint16_t VersionMadeBy = 0;
  uint16_t VersionNeeded = 20;
  uint16_t Flags = 0;
  uint16_t Method = 0;
  uint16_t DosTime = 0;
  uint16_t DosDate = 0;
  uint32_t Crc = 0;
  uint64_t CompressedSize = 0;
  uint64_t Size = 0;
  uint64_t LocalOffset = 0;
  uint16_t InternalAttributes = 0;
  uint32_t ExternalAttributes = 0;
  std::string Extra;    // central extra field
  std::string Comment;  // entry comment

  uint32_t DosDateTime() const { return static_cast<uint32_t>(DosDate) << 16 | DosTime; }
  bool IsFolder() const { return !Name.empty() && (Name.back() == '/' || Name.back() == '\\'); }
  // A symbolic link stored by a Unix tool.
  bool IsLink() const { return (VersionMadeBy >> 8) == 3 && ((ExternalAttributes >> 16) & 0xF000) == 0xA000; }
  // The modification time of the extended-timestamp field, when present.
  bool UnixTime(int64_t& seconds) const;
};

struct TDirectory {
  std::vector<TEntry> Entries;
  std::string Comment;
  uint64_t DirectoryOffset = 0;  // where the central directory starts
};

enum class TReadResult { Ok, Truncated, Invalid, ReadError };

// Reads the central directory of an open archive. A file of 22 bytes that
// holds only the end record is a valid, empty archive.
TReadResult ReadDirectory(HANDLE file, TDirectory& dir, std::string& why);

// The offset of an entry's data: after its local header, checked against
// the central directory's record. False when the local header is missing.
bool DataOffset(HANDLE file, const TEntry& e, uint64_t& offset);

// Whole reads and writes; false on any shortfall.
bool ReadAt(HANDLE file, uint64_t offset, void* buffer, size_t n);
bool WriteAll(HANDLE file, const void* data, size_t n);
bool Seek(HANDLE file, uint64_t offset);
uint64_t FileSize(HANDLE file);

// Little-endian integers in and out of byte strings.
void Put16(std::string& s, uint32_t v);
void Put32(std::string& s, uint32_t v);
void Put64(std::string& s, uint64_t v);
uint16_t Get16(const void* p);
uint32_t Get32(const void* p);
uint64_t Get64(const void* p);

// Text conversions. Entry names are UTF-8 when flag bit 11 is set, else in
// the DOS code page (437) as the common zip tools write them.
std::wstring Widen(const std::string& text, UINT codePage);
std::string Narrow(const std::wstring& text, UINT codePage);
std::wstring EntryNameWide(const TEntry& e);

// File times as DOS date and time (local time, two-second steps, odd
// seconds rounded up as the common zip tools do) and back.
uint32_t DosFromFileTime(const FILETIME& utc);
FILETIME FileTimeFromDos(uint32_t dosDateTime);
FILETIME FileTimeFromUnix(int64_t seconds);
int64_t UnixFromFileTime(const FILETIME& utc);

}  // namespace zipfmt
