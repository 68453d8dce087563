#include "NMPOP3.h"

#include "OVError.h"

namespace {

std::string Trimmed(const std::string& line) {
  size_t end = line.size();
  while (end > 0 && (line[end - 1] == '\r' || line[end - 1] == '\n')) --end;
  return line.substr(0, end);
}

bool SafeText(const std::string& text) { return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos; }

}  // namespace

bool Pop3Accepted(const std::string& line) { return line.compare(0, 3, "+OK") == 0; }

bool Pop3StatCount(const std::string& line, int32_t& count) {
  size_t begin = line.find(' ');
  if (begin == std::string::npos) return false;
  begin = line.find_first_not_of(' ', begin);
  if (begin == std::string::npos) return false;
  size_t end = line.find_first_of(" \r\n", begin);
  std::string word = line.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
  if (word.empty() || word.size() > 9 || word.find_first_not_of("0123456789") != std::string::npos) return false;
  count = static_cast<int32_t>(std::stol(word));
  return true;
}

TNMPOP3::TNMPOP3() { Port = 110; }

std::string TNMPOP3::Command(const std::string& line) {
  if (!SafeText(line)) throw EMailError("Refused: a command argument holds a line break or a zero byte");
  WriteLn(line);
  ReplyText = ReadLn();
  return ReplyText;
}

void TNMPOP3::Quit() {
  if (Connected()) {
    OverrideLimit(5000);
    try {
      Command("QUIT");
    } catch (const std::exception&) {
    }
    OverrideLimit(0);
  }
  Disconnect();
}

void TNMPOP3::Connect() {
  MailCount = 0;
  if (UserID.empty() || Password.empty()) throw EMailError("Authentication failed");
  // A line break would end the command early and start another one.
  if (!SafeText(UserID) || !SafeText(Password))
    throw EMailError("Refused: the user name or the password holds a line break or a zero byte");
  TPowersock::Connect();
  try {
    Session();
  } catch (const EMailError&) {
    // The server answered and refused: say goodbye properly.
    Quit();
    throw;
  } catch (...) {
    // Timed out, cancelled or broken: nothing more is sent.
    Disconnect();
    throw;
  }
}

void TNMPOP3::Session() {
  ReplyText = ReadLn();
  if (!Pop3Accepted(ReplyText)) throw EMailError(Trimmed(ReplyText));
  for (bool again = true;; again = false) {
    if (Pop3Accepted(Command("USER " + UserID)) && Pop3Accepted(Command("PASS " + Password))) break;
    bool handled = false;
    if (OnAuthenticationFailed) OnAuthenticationFailed(handled);
    if (!handled || !again) throw EMailError("Authentication failed");
  }
  const std::string stat = Command("STAT");
  if (!Pop3Accepted(stat)) throw EMailError(Trimmed(stat));
  int32_t count = 0;
  if (!Pop3StatCount(stat, count))
    throw EMailError("The server's message count cannot be read: " + Trimmed(stat).substr(0, 200));
  MailCount = count;
}
