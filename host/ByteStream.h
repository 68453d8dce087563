// Bounded little-endian reading and writing of the job file. The reader
// never reads past its end: a read that the remaining bytes cannot satisfy
// raises the job file's format error.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "OVError.h"

inline const char kInvalidJobFile[] = "Invalid format of Job file";

class TByteReader {
 public:
  TByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  size_t Position() const { return pos_; }
  size_t Size() const { return size_; }
  size_t Remaining() const { return size_ - pos_; }
  bool AtEnd() const { return pos_ >= size_; }

  int32_t ReadInt32() {
    Need(4);
    uint32_t v = static_cast<uint32_t>(data_[pos_]) | static_cast<uint32_t>(data_[pos_ + 1]) << 8 |
                 static_cast<uint32_t>(data_[pos_ + 2]) << 16 |
                 static_cast<uint32_t>(data_[pos_ + 3]) << 24;
    pos_ += 4;
    return static_cast<int32_t>(v);
  }
  void ReadBytes(void* dest, size_t n) {
    Need(n);
    if (n) std::memcpy(dest, data_ + pos_, n);
    pos_ += n;
  }
  // n bytes as a text up to the first zero byte.
  std::string ReadText(size_t n) {
    Need(n);
    const char* p = reinterpret_cast<const char*>(data_ + pos_);
    std::string s(p, strnlen(p, n));
    pos_ += n;
    return s;
  }
  void Need(size_t n) const {
    if (n > Remaining()) throw EOVError(kInvalidJobFile);
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

class TByteWriter {
 public:
  void WriteInt32(int32_t v) {
    uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(u >> (8 * i)));
  }
  void WriteBytes(const void* p, size_t n) {
    const uint8_t* b = static_cast<const uint8_t*>(p);
    bytes_.insert(bytes_.end(), b, b + n);
  }
  const std::vector<uint8_t>& Bytes() const { return bytes_; }

 private:
  std::vector<uint8_t> bytes_;
};
