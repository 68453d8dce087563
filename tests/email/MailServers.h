// The mail servers of a test run (started by the mail_servers fixture, see
// servers/mailservers.sh): their addresses and folders as the tests see
// them under wine, and what aiosmtpd kept of each message.
#pragma once

#include <map>
#include <string>
#include <vector>

struct TMailServers {
  std::map<std::string, std::string> Values;
  std::string Skip;  // why the servers are not there
  std::string Value(const std::string& key) const;
  int Port(const std::string& key) const;
  // A Linux folder of the run as a Windows path (Z:\...), with a trailing
  // backslash.
  std::string Folder(const std::string& key) const;
  // What the SMTP server kept of the session with that HELO name
  // (extension ".eml", ".env", ".parts", ".part<N>").
  std::string Kept(const std::string& helo, const std::string& extension) const;
  // The commands of the SMTP sessions with that HELO name, in order.
  std::vector<std::string> Transcript(const std::string& helo) const;
  // The lines the scripted servers logged for a mode.
  std::vector<std::string> FakeLog(const std::string& mode) const;
  // Messages in a Dovecot user's Maildir.
  size_t MailboxCount(const std::string& user) const;
};

const TMailServers& MailServers();

#define REQUIRE_MAIL_SERVERS()                                                        \
  do {                                                                                \
    if (!MailServers().Skip.empty()) GTEST_SKIP() << "mail servers: " << MailServers().Skip; \
  } while (0)
