#include "NetUtil.h"

#include <windows.h>

#include <cctype>
#include <cstdint>
#include <cstdio>

#include "OVFileMask.h"

namespace {

constexpr int kOffset = 27183;

}  // namespace

std::string ScramblePassword(const std::string& password) {
  // The length-prefixed form: byte 0 the length, then the characters,
  // repeated as filler up to at least ten bytes.
  uint8_t buffer[256] = {};
  size_t n = password.size() > 255 ? 255 : password.size();
  std::string filled = password.substr(0, n);
  if (n > 0) {
    while (filled.size() < 10) filled += filled;
  } else {
    char tick[16];
    std::snprintf(tick, sizeof tick, "%lu", static_cast<unsigned long>(GetTickCount()));
    filled = tick;
  }
  if (filled.size() > 255) filled.resize(255);
  for (size_t i = 0; i < filled.size(); ++i) buffer[i + 1] = static_cast<uint8_t>(filled[i]);
  buffer[0] = static_cast<uint8_t>(n);

  size_t count = n % 2 ? n + 1 : n + 2;
  if (count < 10) count = 10;
  std::string out;
  out.reserve(count / 2 * 5);
  for (size_t i = 0; i < count / 2; ++i) {
    unsigned word = buffer[2 * i] | buffer[2 * i + 1] << 8;
    char group[8];
    std::snprintf(group, sizeof group, "%05u", word + kOffset);
    out += group;
  }
  return out;
}

std::string UnscramblePassword(const std::string& scrambled) {
  uint8_t buffer[256] = {};
  size_t decoded = 0;
  for (size_t pos = 0; pos + 5 <= scrambled.size() && decoded + 2 <= sizeof buffer; pos += 5) {
    long value = 0;
    bool digits = true;
    for (size_t k = 0; k < 5; ++k) {
      char c = scrambled[pos + k];
      if (c < '0' || c > '9') digits = false;
      value = value * 10 + (c - '0');
    }
    value -= kOffset;
    if (!digits || value < 0 || value > 0xFFFF) break;
    buffer[decoded++] = static_cast<uint8_t>(value & 0xFF);
    buffer[decoded++] = static_cast<uint8_t>(value >> 8);
  }
  if (decoded == 0) return std::string();
  size_t length = buffer[0];
  if (length > decoded - 1) length = decoded - 1;
  return std::string(reinterpret_cast<const char*>(buffer + 1), length);
}

bool MatchFileMask(const std::string& mask, const std::string& name) { return FileMaskMatch(mask, name); }

std::string JoinFolder(const std::string& folder) {
  if (folder.empty()) return folder;
  if (folder.size() == 1 && std::isalpha(static_cast<unsigned char>(folder[0]))) return folder + ":\\";
  char last = folder.back();
  if (last == '\\' || last == ':') return folder;
  return folder + "\\";
}

namespace {
bool ReservedDeviceName(const std::string& name) {
  std::string base = name.substr(0, name.find('.'));
  for (char& c : base) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const char* device : {"con", "prn", "aux", "nul"})
    if (base == device) return true;
  return base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) &&
         base[3] >= '1' && base[3] <= '9';
}
}  // namespace

bool PlainFileName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (unsigned char c : name)
    if (c < 32 || c == 127 || std::string("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string::npos)
      return false;
  if (name.back() == '.' || name.back() == ' ') return false;
  return !ReservedDeviceName(name);
}
