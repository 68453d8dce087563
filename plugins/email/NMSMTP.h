// TNMSMTP: the SMTP client (RFC 821) on top of TPowersock. It sends one
// TPostMessage in MIME form: a text part and base64 attachments read from
// their files piece by piece while they are sent, so a message never has
// to fit in memory.
//
// Texts that come from the user's settings never reach the wire as
// protocol: CR and LF in header values become blanks, addresses with CR,
// LF, "<" or ">" are refused, the body's line ends are made CR LF before
// lines that begin with "." get a second one.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "Psock.h"

// A failure of the mail protocols; the message is what the step logs when
// no handler recorded a text of its own.
class EMailError : public std::runtime_error {
 public:
  explicit EMailError(const std::string& message) : std::runtime_error(message) {}
};

struct TPostMessage {
  std::string FromAddress;
  std::string FromName;
  std::vector<std::string> ToAddress;
  std::vector<std::string> ToCarbonCopy;
  std::vector<std::string> ToBlindCarbonCopy;
  std::string Subject;
  std::vector<std::string> Body;         // lines without their line ends
  std::vector<std::string> Attachments;  // file paths
  std::string LocalProgram;
  void Clear() { *this = TPostMessage(); }
};

// The address a recipient entry names: the text between "<" and ">" when
// it has a "<"; else the text after its first ":" (up to a second ":")
// when it has a ":"; else the whole entry.
std::string EntryAddress(const std::string& entry);
// True when an address may go into MAIL FROM or RCPT TO: no CR, LF, NUL,
// "<" or ">".
bool SafeAddress(const std::string& address);
// A header value on one line: CR and LF become blanks.
std::string HeaderValue(const std::string& text);
// The lines of a text; CR LF, a lone CR and a lone LF each end a line. A
// text that ends with a line end has no empty last line.
std::vector<std::string> TextLines(const std::string& text);
// A file name for a part header: no path, and '"', CR and LF replaced.
std::string AttachmentName(const std::string& path);
// A new boundary: "====================54535", six letters a..y, "====".
std::string RandomBoundary();

// 1: the sender is missing, 2: no recipient.
using THeaderIncompleteEvent = std::function<void(bool& Handled, int Which)>;
using TRecipientNotFoundEvent = std::function<void(const std::string& Recipient)>;
using TSmtpFailureEvent = std::function<void()>;

class TNMSMTP : public TPowersock {
 public:
  TNMSMTP();

  std::string UserID;  // the name sent with HELO
  std::string Charset = "us-ascii";
  // The message fields are cleared after a successful send.
  bool ClearParams = true;
  TPostMessage PostMessage;
  // Makes the boundary of each message (tests fix it).
  std::function<std::string()> MakeBoundary = RandomBoundary;

  THeaderIncompleteEvent OnHeaderIncomplete;
  TRecipientNotFoundEvent OnRecipientNotFound;
  TSmtpFailureEvent OnFailure;

  // TCP connection, greeting, HELO. A refused HELO sends QUIT and fails
  // with "Authentication failed".
  void Connect() override;
  // RSET, MAIL, RCPT for each recipient, DATA, the message, ".". A refused
  // recipient is reported and left out; the send goes on.
  void SendMail();
  // The recipient entries the server refused in the last SendMail.
  const std::vector<std::string>& Refused() const { return refused_; }

  // Reads one reply: a line and its continuation lines (a line that
  // begins with a blank or has "-" as its fourth character is followed by
  // another). A first line without a three-digit code is no reply.
  uint16_t ReadReply();
  // Sends a command line and reads its reply. Refuses a line with CR, LF
  // or NUL in it.
  uint16_t Transaction(const std::string& command) override;

 private:
  std::string Headers(const std::string& boundary) const;
  void CheckAddresses() const;
  void SendData(const std::string& boundary);
  void Quit();
  std::vector<std::string> refused_;
};
