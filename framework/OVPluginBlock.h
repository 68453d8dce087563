// The parameter block of one action or trigger instance: elements written
// and read front to back, no header, no version, no separators.
//
//   byte     1 byte
//   boolean  1 byte, 0 = false, 1 = true (any non-zero reads as true)
//   word     2 bytes, little-endian
//   dword    4 bytes, little-endian
//   double   8 bytes, IEEE 754 little-endian (date-times: days since
//            1899-12-30, the fraction is the time of day)
//   string   dword n+1, the n characters, a zero byte
//
// Every plug-in writes its blocks with TBlockWriter and reads them with
// TBlockReader, so the encoding lives in one place.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "OVTypes.h"

class TBlockWriter {
 public:
  TBlockWriter& Byte(uint8_t v);
  TBlockWriter& Bool(bool v);
  TBlockWriter& Word(uint16_t v);
  // Any integer type; stored as its low 32 bits.
  template <class T, class = std::enable_if_t<std::is_integral_v<T>>>
  TBlockWriter& Dword(T v) {
    return PutDword(static_cast<uint32_t>(v));
  }
  TBlockWriter& Double(double v);
  TBlockWriter& String(const std::string& v);

  // The block as written so far.
  const std::vector<uint8_t>& Bytes() const { return bytes_; }
  size_t Size() const { return bytes_.size(); }

  // Makes the written elements the instance's block: a new block of
  // exactly Size() bytes from the host's allocator receives them, then the
  // old block (when its size and pointer are both non-zero) goes back to
  // the host, and Size and Data of the record are set. False when the
  // host could not allocate; the record is then unchanged.
  bool StoreTo(TOVMethodParams& params) const;
  bool StoreTo(TOVRunnerParams& params) const;

 private:
  TBlockWriter& PutDword(uint32_t v);
  bool Store(int32_t& size, void*& data) const;
  std::vector<uint8_t> bytes_;
};

// Reads a block without ever reading past its Size. A read that finds its
// element missing (the block ends first, a string length that is 0,
// negative or runs past the end, a block of Size > 0 without data) returns
// false, leaves the caller's variable as it was (so that defaults stand)
// and makes ok() false; every later read fails as well, because the
// position of what follows is unknown.
class TBlockReader {
 public:
  TBlockReader(const void* data, int32_t size);
  explicit TBlockReader(const TOVMethodParams& params);
  explicit TBlockReader(const TOVRunnerParams& params);

  // Size 0 and no data: the instance was never configured.
  bool Empty() const { return empty_; }
  // Every element asked for so far was there.
  bool ok() const { return ok_; }
  // Data remains after the position: optional tails of older layouts are
  // read only while this holds.
  bool More() const { return ok_ && pos_ < size_; }
  size_t Position() const { return pos_; }
  size_t Size() const { return size_; }

  bool Byte(uint8_t& v);
  bool Bool(bool& v);
  bool Word(uint16_t& v);
  template <class T, class = std::enable_if_t<std::is_integral_v<T>>>
  bool Dword(T& v) {
    uint32_t raw;
    if (!GetDword(raw)) return false;
    v = static_cast<T>(raw);
    return true;
  }
  bool Double(double& v);
  bool String(std::string& v);

 private:
  bool Take(void* out, size_t n);
  bool GetDword(uint32_t& v);
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool ok_ = true;
  bool empty_ = false;
};
