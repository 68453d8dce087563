// The FTP servers of a test run (started by the ftp_servers fixture, see
// servers/ftpservers.sh): their ports and folders as the tests see them
// under wine, and small file helpers.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

struct TFtpServers {
  std::map<std::string, std::string> Values;
  bool Loaded = false;
  int Port(const std::string& key) const;
  // A Linux folder of the run as a Windows path (Z:\...), with a trailing
  // backslash.
  std::string Folder(const std::string& key) const;
  // Lines of a server's log file in the run folder.
  std::vector<std::string> Log(const std::string& file) const;
};

// Read once per process from the fixture's file.
const TFtpServers& FtpServers();
// The HTTP servers (fixture http_servers, servers/httpservers.sh): nginx,
// tinyproxy and the recorder, in the same form.
const TFtpServers& HttpServers();

// Deterministic content of the given size (the seed varies it).
std::string PatternBytes(size_t size, uint32_t seed);
// Writes size bytes of PatternBytes in pieces (no whole copy in memory).
void WritePatternFile(const std::string& path, uint64_t size, uint32_t seed);
// sha256 of a file, in hex; "" when it cannot be read.
std::string FileSha256(const std::string& path);
std::string TextSha256(const std::string& text);

// Skips the test with a message when the servers are not there.
#define REQUIRE_HTTP_SERVERS()                                                    \
  do {                                                                             \
    if (!HttpServers().Loaded) GTEST_SKIP() << "HTTP test servers are not running"; \
  } while (0)

#define REQUIRE_FTP_SERVERS()                                                   \
  do {                                                                          \
    if (!FtpServers().Loaded) GTEST_SKIP() << "FTP test servers are not running"; \
  } while (0)
