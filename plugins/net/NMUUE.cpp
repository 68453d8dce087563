#include "NMUUE.h"

#include <cstddef>
#include <cstdint>

namespace {
const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}
}  // namespace

std::string Base64Encode(const std::string& data) {
  std::string out;
  out.reserve((data.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= data.size(); i += 3) {
    uint32_t v = static_cast<uint8_t>(data[i]) << 16 | static_cast<uint8_t>(data[i + 1]) << 8 |
                 static_cast<uint8_t>(data[i + 2]);
    out += kAlphabet[v >> 18];
    out += kAlphabet[v >> 12 & 63];
    out += kAlphabet[v >> 6 & 63];
    out += kAlphabet[v & 63];
  }
  size_t rest = data.size() - i;
  if (rest) {
    uint32_t v = static_cast<uint8_t>(data[i]) << 16;
    if (rest == 2) v |= static_cast<uint8_t>(data[i + 1]) << 8;
    out += kAlphabet[v >> 18];
    out += kAlphabet[v >> 12 & 63];
    out += rest == 2 ? kAlphabet[v >> 6 & 63] : '=';
    out += '=';
  }
  return out;
}

void Base64AppendLines(const void* data, size_t size, std::string& out) {
  const auto* p = static_cast<const uint8_t*>(data);
  out.reserve(out.size() + (size + 44) / 45 * 62);
  char line[64];
  while (size > 0) {
    size_t take = size < 45 ? size : 45;
    size_t n = 0;
    size_t i = 0;
    for (; i + 3 <= take; i += 3) {
      uint32_t v = uint32_t(p[i]) << 16 | uint32_t(p[i + 1]) << 8 | p[i + 2];
      line[n++] = kAlphabet[v >> 18];
      line[n++] = kAlphabet[v >> 12 & 63];
      line[n++] = kAlphabet[v >> 6 & 63];
      line[n++] = kAlphabet[v & 63];
    }
    if (size_t rest = take - i) {
      uint32_t v = uint32_t(p[i]) << 16 | (rest == 2 ? uint32_t(p[i + 1]) << 8 : 0);
      line[n++] = kAlphabet[v >> 18];
      line[n++] = kAlphabet[v >> 12 & 63];
      line[n++] = rest == 2 ? kAlphabet[v >> 6 & 63] : '=';
      line[n++] = '=';
    }
    line[n++] = '\r';
    line[n++] = '\n';
    out.append(line, n);
    p += take;
    size -= take;
  }
}

std::string Base64Decode(const std::string& text) {
  std::string out;
  uint32_t acc = 0;
  int bits = 0;
  for (char c : text) {
    if (c == '=') break;
    int v = Value(c);
    if (v < 0) continue;
    acc = acc << 6 | static_cast<uint32_t>(v);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out += static_cast<char>(acc >> bits & 0xFF);
    }
  }
  return out;
}
