// TNMPOP3: the POP3 client (RFC 1939) on top of TPowersock, as far as
// checking a mailbox needs it: greeting, USER, PASS and STAT. Replies are
// single lines; one is accepted when it begins with "+OK".
#pragma once

#include <cstdint>
#include <string>

#include "NMSMTP.h"
#include "Psock.h"

// True when a POP3 reply line accepts the command.
bool Pop3Accepted(const std::string& line);
// The message count of a STAT reply ("+OK 2 320"): false when its second
// word is not a decimal number.
bool Pop3StatCount(const std::string& line, int32_t& count);

class TNMPOP3 : public TPowersock {
 public:
  TNMPOP3();

  std::string UserID;
  std::string Password;
  // A handler that sets Handled lets the login start again at USER, once.
  THandlerEvent OnAuthenticationFailed;
  // After Connect: the number of messages in the mailbox.
  int32_t MailCount = 0;

  // Logs in and asks for the message count. An empty user or password, or
  // one with CR, LF or NUL in it, fails before any connection is made.
  void Connect() override;

  // Sends a command line and reads its one-line reply.
  std::string Command(const std::string& line);

 private:
  void Session();
  void Quit();
};
