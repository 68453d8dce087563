#include "MailServers.h"

#include <fstream>

#include "TestUtil.h"

std::string TMailServers::Value(const std::string& key) const {
  auto it = Values.find(key);
  return it == Values.end() ? std::string() : it->second;
}

int TMailServers::Port(const std::string& key) const {
  std::string v = Value(key);
  return v.empty() ? 0 : std::stoi(v);
}

std::string TMailServers::Folder(const std::string& key) const {
  std::string p = "Z:" + Value(key);
  for (char& c : p)
    if (c == '/') c = '\\';
  return p + "\\";
}

std::string TMailServers::Kept(const std::string& helo, const std::string& extension) const {
  return testutil::ReadFileText(Folder("out") + helo + extension);
}

std::vector<std::string> TMailServers::Transcript(const std::string& helo) const {
  std::vector<std::string> lines;
  for (const std::string& line : testutil::ReadLines(Folder("out") + "transcript.log"))
    if (line.rfind(helo + " ", 0) == 0) lines.push_back(line.substr(helo.size() + 1));
  return lines;
}

std::vector<std::string> TMailServers::FakeLog(const std::string& mode) const {
  std::vector<std::string> lines;
  for (const std::string& line : testutil::ReadLines(Folder("run") + "fake.log"))
    if (line.rfind(mode + " ", 0) == 0) lines.push_back(line.substr(line.find(' ', mode.size() + 1) + 1));
  return lines;
}

size_t TMailServers::MailboxCount(const std::string& user) const {
  // Dovecot moves what it has seen from new to cur.
  const std::string maildir = Folder("homes") + user + "\\Maildir\\";
  return testutil::ListFiles(maildir + "new\\", "*").size() + testutil::ListFiles(maildir + "cur\\", "*").size();
}

const TMailServers& MailServers() {
  static TMailServers servers = [] {
    TMailServers s;
    std::ifstream in(OV_MAIL_SERVERS_INI);
    std::string line;
    while (std::getline(in, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      size_t eq = line.find('=');
      if (eq != std::string::npos) s.Values[line.substr(0, eq)] = line.substr(eq + 1);
    }
    s.Skip = s.Value("skip");
    if (s.Skip.empty() && s.Value("addr").empty()) s.Skip = "not running (no " OV_MAIL_SERVERS_INI ")";
    return s;
  }();
  return servers;
}
