#include "FtpServers.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <wincrypt.h>

#include <fstream>

#include "TestUtil.h"

namespace {

std::string WinPath(const std::string& linux) {
  std::string p = "Z:" + linux;
  for (char& c : p)
    if (c == '/') c = '\\';
  return p;
}

class TSha256 {
 public:
  TSha256() {
    CryptAcquireContextA(&prov_, nullptr, nullptr, PROV_RSA_AES, CRYPT_VERIFYCONTEXT);
    if (prov_) CryptCreateHash(prov_, CALG_SHA_256, 0, 0, &hash_);
  }
  ~TSha256() {
    if (hash_) CryptDestroyHash(hash_);
    if (prov_) CryptReleaseContext(prov_, 0);
  }
  void Add(const char* data, size_t size) {
    if (hash_) CryptHashData(hash_, reinterpret_cast<const BYTE*>(data), static_cast<DWORD>(size), 0);
  }
  std::string Hex() {
    BYTE out[32];
    DWORD n = sizeof out;
    if (!hash_ || !CryptGetHashParam(hash_, HP_HASHVAL, out, &n, 0)) return "";
    std::string hex;
    char b[3];
    for (DWORD i = 0; i < n; ++i) {
      snprintf(b, sizeof b, "%02x", out[i]);
      hex += b;
    }
    return hex;
  }

 private:
  HCRYPTPROV prov_ = 0;
  HCRYPTHASH hash_ = 0;
};

}  // namespace

int TFtpServers::Port(const std::string& key) const {
  auto it = Values.find(key);
  return it == Values.end() ? 0 : std::stoi(it->second);
}

std::string TFtpServers::Folder(const std::string& key) const {
  auto it = Values.find(key);
  return it == Values.end() ? std::string() : WinPath(it->second) + "\\";
}

std::vector<std::string> TFtpServers::Log(const std::string& file) const {
  return testutil::ReadLines(Folder("run") + file);
}

namespace {
TFtpServers ReadServers(const char* ini, const char* key) {
  TFtpServers s;
  std::ifstream in(ini);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t eq = line.find('=');
    if (eq != std::string::npos) s.Values[line.substr(0, eq)] = line.substr(eq + 1);
  }
  s.Loaded = s.Port(key) != 0;
  return s;
}
}  // namespace

const TFtpServers& HttpServers() {
  static TFtpServers servers = ReadServers(OV_HTTP_SERVERS_INI, "nginx");
  return servers;
}

const TFtpServers& FtpServers() {
  static TFtpServers servers = ReadServers(OV_FTP_SERVERS_INI, "proftpd");
  return servers;
}

std::string PatternBytes(size_t size, uint32_t seed) {
  std::string out(size, '\0');
  uint32_t x = seed * 2654435761u + 1;
  for (size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    out[i] = static_cast<char>(x);
  }
  return out;
}

void WritePatternFile(const std::string& path, uint64_t size, uint32_t seed) {
  std::ofstream out(path, std::ios::binary);
  const std::string block = PatternBytes(1 << 20, seed);
  for (uint64_t done = 0; done < size;) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(block.size() - (done % 7), size - done));
    out.write(block.data() + done % 7, static_cast<std::streamsize>(n));
    done += n;
  }
}

std::string FileSha256(const std::string& path) {
  HANDLE f = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (f == INVALID_HANDLE_VALUE) return "";
  TSha256 sha;
  std::vector<char> buffer(1 << 20);
  DWORD got = 0;
  while (ReadFile(f, buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr) && got) sha.Add(buffer.data(), got);
  CloseHandle(f);
  return sha.Hex();
}

std::string TextSha256(const std::string& text) {
  TSha256 sha;
  sha.Add(text.data(), text.size());
  return sha.Hex();
}
