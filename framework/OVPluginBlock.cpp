#include "OVPluginBlock.h"

#include <cstring>
#include <limits>

#include "OVPluginHost.h"

// ------------------------------------------------------------- TBlockWriter

TBlockWriter& TBlockWriter::Byte(uint8_t v) {
  bytes_.push_back(v);
  return *this;
}

TBlockWriter& TBlockWriter::Bool(bool v) { return Byte(v ? 1 : 0); }

TBlockWriter& TBlockWriter::Word(uint16_t v) {
  bytes_.push_back(static_cast<uint8_t>(v));
  bytes_.push_back(static_cast<uint8_t>(v >> 8));
  return *this;
}

TBlockWriter& TBlockWriter::PutDword(uint32_t v) {
  for (int i = 0; i < 4; ++i) bytes_.push_back(static_cast<uint8_t>(v >> (8 * i)));
  return *this;
}

TBlockWriter& TBlockWriter::Double(double v) {
  uint64_t raw;
  static_assert(sizeof raw == sizeof v);
  std::memcpy(&raw, &v, sizeof raw);
  for (int i = 0; i < 8; ++i) bytes_.push_back(static_cast<uint8_t>(raw >> (8 * i)));
  return *this;
}

TBlockWriter& TBlockWriter::String(const std::string& v) {
  PutDword(static_cast<uint32_t>(v.size() + 1));
  bytes_.insert(bytes_.end(), v.begin(), v.end());
  bytes_.push_back(0);
  return *this;
}

bool TBlockWriter::Store(int32_t& size, void*& data) const {
  if (bytes_.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) return false;
  int32_t newSize = static_cast<int32_t>(bytes_.size());
  void* block = nullptr;
  if (newSize > 0) {
    HostAlloc(block, newSize);
    if (!block) return false;
    std::memcpy(block, bytes_.data(), bytes_.size());
  }
  // The new block is in hand before the old one goes: a failed allocation
  // leaves the instance's settings as they were.
  if (size > 0 && data) HostFree(data, size);
  size = newSize;
  data = block;
  return true;
}

bool TBlockWriter::StoreTo(TOVMethodParams& params) const { return Store(params.Size, params.Data); }
bool TBlockWriter::StoreTo(TOVRunnerParams& params) const { return Store(params.Size, params.Data); }

// ------------------------------------------------------------- TBlockReader

TBlockReader::TBlockReader(const void* data, int32_t size)
    : data_(static_cast<const uint8_t*>(data)), size_(size > 0 ? static_cast<size_t>(size) : 0) {
  empty_ = size == 0 && !data;
  // A block that claims bytes it does not have (or a negative size) holds
  // nothing that can be trusted.
  if (size < 0 || (size > 0 && !data)) {
    size_ = 0;
    ok_ = false;
  }
}

TBlockReader::TBlockReader(const TOVMethodParams& params) : TBlockReader(params.Data, params.Size) {}
TBlockReader::TBlockReader(const TOVRunnerParams& params) : TBlockReader(params.Data, params.Size) {}

bool TBlockReader::Take(void* out, size_t n) {
  if (!ok_ || n > size_ - pos_) {
    ok_ = false;
    return false;
  }
  std::memcpy(out, data_ + pos_, n);
  pos_ += n;
  return true;
}

bool TBlockReader::Byte(uint8_t& v) { return Take(&v, 1); }

bool TBlockReader::Bool(bool& v) {
  uint8_t b;
  if (!Take(&b, 1)) return false;
  v = b != 0;
  return true;
}

bool TBlockReader::Word(uint16_t& v) {
  uint8_t b[2];
  if (!Take(b, 2)) return false;
  v = static_cast<uint16_t>(b[0] | b[1] << 8);
  return true;
}

bool TBlockReader::GetDword(uint32_t& v) {
  uint8_t b[4];
  if (!Take(b, 4)) return false;
  v = static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
      static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
  return true;
}

bool TBlockReader::Double(double& v) {
  uint8_t b[8];
  if (!Take(b, 8)) return false;
  uint64_t raw = 0;
  for (int i = 7; i >= 0; --i) raw = raw << 8 | b[i];
  std::memcpy(&v, &raw, sizeof v);
  return true;
}

bool TBlockReader::String(std::string& v) {
  if (!ok_) return false;
  size_t start = pos_;
  uint32_t stored;
  if (!GetDword(stored)) return false;
  // The stored length counts the terminating zero: 0 or a "negative"
  // length is no string, and the characters must lie inside the block.
  if (stored == 0 || stored > 0x7FFFFFFFu || stored > size_ - pos_) {
    pos_ = start;
    ok_ = false;
    return false;
  }
  const char* text = reinterpret_cast<const char*>(data_ + pos_);
  v.assign(text, strnlen(text, stored));
  pos_ += stored;
  return true;
}
