#include "NMFtp.h"

#include <cstdio>
#include <memory>

#include "OVError.h"
#include "PendingFile.h"

namespace {

// Replies longer than this in all are not an FTP server's.
constexpr size_t kMaxReply = 1 << 20;

std::string Trimmed(const std::string& line) {
  size_t end = line.size();
  while (end > 0 && (line[end - 1] == '\r' || line[end - 1] == '\n')) --end;
  return line.substr(0, end);
}

bool SmallNumber(const std::string& text, unsigned& value) {
  size_t begin = text.find_first_not_of(' ');
  size_t end = text.find_last_not_of(' ');
  if (begin == std::string::npos || end - begin >= 3) return false;
  value = 0;
  for (size_t i = begin; i <= end; ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + static_cast<unsigned>(text[i] - '0');
  }
  return value <= 255;
}

std::string BareName(const std::string& path) {
  size_t slash = path.find_last_of("\\/:");
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

class TFileHandle {
 public:
  explicit TFileHandle(HANDLE h) : h_(h) {}
  ~TFileHandle() { Close(); }
  TFileHandle(const TFileHandle&) = delete;
  TFileHandle& operator=(const TFileHandle&) = delete;
  HANDLE Get() const { return h_; }
  bool Valid() const { return h_ != INVALID_HANDLE_VALUE; }
  void Close() {
    if (Valid()) CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE h_;
};

}  // namespace

bool ParseReplyLine(const std::string& line, TReplyLine& reply) {
  if (line.size() < 3 || line[0] < '1' || line[0] > '5' || line[1] < '0' || line[1] > '9' || line[2] < '0' ||
      line[2] > '9')
    return false;
  char next = line.size() > 3 ? line[3] : '\n';
  if (next != ' ' && next != '-' && next != '\r' && next != '\n') return false;
  reply.Code = static_cast<uint16_t>((line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0'));
  reply.More = next == '-';
  return true;
}

bool ParsePasvPort(const std::string& reply, uint16_t& port) {
  std::vector<std::string> pieces;
  size_t start = 0;
  for (;;) {
    size_t comma = reply.find(',', start);
    pieces.push_back(reply.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  if (pieces.size() < 6) return false;
  size_t paren = pieces[5].find(')');
  if (paren == std::string::npos) return false;
  // The first piece ends with the first number of the address.
  size_t digits = pieces[0].find_last_not_of("0123456789");
  std::string first = digits == std::string::npos ? pieces[0] : pieces[0].substr(digits + 1);
  unsigned values[6];
  if (!SmallNumber(first, values[0])) return false;
  for (int i = 1; i < 5; ++i)
    if (!SmallNumber(pieces[static_cast<size_t>(i)], values[i])) return false;
  if (!SmallNumber(pieces[5].substr(0, paren), values[5])) return false;
  unsigned value = values[4] * 256 + values[5];
  if (value == 0) return false;
  port = static_cast<uint16_t>(value);
  return true;
}

bool SafeCommandText(const std::string& text) { return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos; }

TNMFTP::TNMFTP() { Port = 21; }

uint16_t TNMFTP::ReadReply() {
  std::string first = ReadLn();
  TReplyLine reply;
  if (!ParseReplyLine(first, reply)) {
    Disconnect();
    ReplyNumber = 0;
    ReplyText = first;
    throw FTPException("Invalid reply from the server: " + Trimmed(first).substr(0, 200));
  }
  size_t total = first.size();
  while (reply.More) {
    std::string line = ReadLn();
    total += line.size();
    if (total > kMaxReply) {
      Disconnect();
      throw FTPException("Reply of the server too long");
    }
    TReplyLine next;
    if (ParseReplyLine(line, next) && next.Code == reply.Code && !next.More) break;
  }
  ReplyNumber = reply.Code;
  ReplyText = first;
  return reply.Code;
}

uint16_t TNMFTP::Transaction(const std::string& command) {
  if (!SafeCommandText(command)) throw FTPException("Refused: a command argument holds a line break or a zero byte");
  WriteLn(command);
  return ReadReply();
}

void TNMFTP::Quit() {
  uint16_t code = 0;
  if (Connected()) {
    OverrideLimit(5000);
    try {
      WriteLn("QUIT");
      code = ReadReply();
    } catch (const std::exception&) {
      // No answer, or none that can be read: closing is all that is left.
      code = 0;
    }
    OverrideLimit(0);
  }
  Disconnect();
  // A refused QUIT is the server's last word, and the caller's failure.
  if (code >= 301 && code <= 599) throw FTPException(Trimmed(ReplyText));
}

void TNMFTP::Connect() {
  if (Connected()) throw ESockError("Already connected");
  TPowersock::Connect();
  try {
    uint16_t code = ReadReply();
    while (code < 200) code = ReadReply();
    if (code >= 400) throw FTPException(Trimmed(ReplyText));
    Login();
  } catch (const FTPException&) {
    // The server answered and refused: say goodbye properly. A refused
    // QUIT raises its own reply instead of the login's.
    if (OnConnectionFailed) OnConnectionFailed(this);
    Quit();
    throw;
  } catch (...) {
    // Timed out, cancelled or broken: nothing more is sent.
    if (OnConnectionFailed) OnConnectionFailed(this);
    Disconnect();
    throw;
  }
}

void TNMFTP::Login() {
  auto check = [this](uint16_t code) {
    if (code >= 400) throw FTPException(Trimmed(ReplyText));
    return code;
  };
  uint16_t code = 0;
  if (FWAuthenticate) {
    code = check(Transaction("USER " + FWUserID));
    if (code == 331) check(Transaction("PASS " + FWPassword));
  }
  if (!Proxy.empty()) {
    switch (FirewallType) {
      case FTUser:
        code = check(Transaction("USER " + UserID + "@" + Host));
        break;
      case FtOpen:
        code = Transaction("OPEN " + Host);
        break;
      case FtSite:
        code = Transaction("SITE " + Host);
        break;
    }
  }
  if (Proxy.empty() || FirewallType != FTUser) code = check(Transaction("USER " + UserID));
  if (code == 331) check(Transaction("PASS " + Password));
}

void TNMFTP::RequireConnection() {
  if (Cancelled()) throw EAbortError("Socket send aborted");
  if (CheckConnected()) return;
  bool handled = false;
  if (OnConnectionRequired) OnConnectionRequired(handled);
  if (!handled || !Connected()) throw ESockError("Not Connected");
}

void TNMFTP::Fail(TCmdType type, bool unsupported) {
  if (unsupported && ReplyNumber >= 500 && ReplyNumber <= 502 && OnUnSupportedFunction) OnUnSupportedFunction(type);
  bool handled = false;
  if (OnFailure) OnFailure(handled, type);
  if (!handled) throw FTPException(Trimmed(ReplyText));
}

bool TNMFTP::Simple(TCmdType type, const std::string& command, uint16_t failFrom) {
  RequireConnection();
  if (Transaction(command) < failFrom) return true;
  Fail(type, true);
  return false;
}

void TNMFTP::ChangeDir(const std::string& dir) { Simple(cmdChangeDir, "CWD " + dir, 400); }
void TNMFTP::MakeDir(const std::string& dir) { Simple(cmdMakeDir, "MKD " + dir, 400); }
void TNMFTP::RemoveDir(const std::string& dir) { Simple(cmdRemoveDir, "RMD " + dir, 400); }
void TNMFTP::Delete(const std::string& file) { Simple(cmdDelete, "DELE " + file, 400); }
void TNMFTP::DoCommand(const std::string& line) { Simple(cmdDoCommand, line, 400); }

std::string TNMFTP::CurrentDir() {
  if (!Simple(cmdCurrentDir, "PWD", 400)) return std::string();
  size_t open = ReplyText.find('"');
  if (open == std::string::npos) return std::string();
  size_t close = ReplyText.find('"', open + 1);
  return ReplyText.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
}

void TNMFTP::SetTransferType(int type) {
  const char* command = type == 1 ? "TYPE A" : type == 2 ? "TYPE I" : type == 3 ? "TYPE L 8" : nullptr;
  if (!command) throw FTPException(Format("Unknown transfer type %d", type));
  Simple(cmdDoCommand, command, 400);
}

void TNMFTP::Rename(const std::string& oldName, const std::string& newName) {
  RequireConnection();
  if (Transaction("RNFR " + oldName) >= 352) {
    Fail(cmdRename, false);
    return;
  }
  if (Transaction("RNTO " + newName) >= 301) Fail(cmdRename, true);
}

bool TNMFTP::Transfer(TCmdType type, const std::string& command,
                      const std::function<void(TPowersock& data)>& body) {
  RequireConnection();
  const bool events = type != cmdNList;
  auto fail = [&](bool unsupported) {
    if (!events) throw FTPException(Trimmed(ReplyText));
    Fail(type, unsupported);
    return false;
  };
  TPowersock data;
  data.TimeOut = TimeOut;
  data.ConnectLimit = ConnectLimit;
  data.IdleLimit = IdleLimit;
  data.FollowCancel(*this);
  const sockaddr_in peer = PeerAddress();
  if (Passive) {
    if (Transaction("PASV") >= 300) return fail(false);
    uint16_t port = 0;
    if (!ParsePasvPort(ReplyText, port)) {
      ReplyText = "Cannot read the data address of the reply: " + Trimmed(ReplyText);
      return fail(false);
    }
    // The data connection goes to the server we talk to, whatever address
    // the reply names.
    sockaddr_in to = peer;
    to.sin_port = htons(port);
    data.ConnectTo(to);
  } else {
    data.Listen(LocalAddress());
    sockaddr_in local = data.LocalAddress();
    const auto* a = reinterpret_cast<const uint8_t*>(&local.sin_addr);
    unsigned port = ntohs(local.sin_port);
    if (Transaction(Format("PORT %u,%u,%u,%u,%u,%u", a[0], a[1], a[2], a[3], port >> 8, port & 255)) >= 300)
      return fail(false);
  }
  const uint16_t code = Transaction(command);
  if (code >= 300) return fail(true);
  // A final reply at once: the server has nothing to send.
  if (code >= 200 && !Passive) return true;
  try {
    if (!Passive) data.Accept(peer.sin_addr);
    body(data);
    data.Disconnect();
  } catch (...) {
    // The control connection is somewhere inside the transfer's replies:
    // it cannot carry another command.
    data.Disconnect();
    Disconnect();
    throw;
  }
  if (code >= 200) return true;
  const uint16_t closing = ReadReply();
  if (closing >= 200 && closing < 300) return true;
  return fail(false);
}

void TNMFTP::StoreFile(TCmdType type, const std::string& verb, const std::string& localFile,
                       const std::string& remoteName) {
  TFileHandle file(CreateFileA(localFile.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.Valid()) throw std::runtime_error(Format("Cannot open file \"%s\"", localFile.c_str()));
  const std::string remote = remoteName.empty() ? BareName(localFile) : remoteName;
  Transfer(type, verb + " " + remote, [&](TPowersock& data) {
    std::unique_ptr<char[]> block(new char[65536]);
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(file.Get(), block.get(), 65536, &got, nullptr))
        throw std::runtime_error(Format("Cannot read file \"%s\"", localFile.c_str()));
      if (got == 0) break;
      data.Write(block.get(), got);
    }
    data.CloseGracefully();
  });
}

void TNMFTP::Upload(const std::string& localFile, const std::string& remoteName) {
  StoreFile(cmdUpload, "STOR", localFile, remoteName);
}

void TNMFTP::UploadAppend(const std::string& localFile, const std::string& remoteName) {
  StoreFile(cmdAppend, "APPE", localFile, remoteName);
}

void TNMFTP::Download(const std::string& remoteName, const std::string& localFile) {
  const std::string target = localFile.empty() ? remoteName : localFile;
  TPendingFile pending(target);
  bool done = Transfer(cmdDownload, "RETR " + remoteName, [&](TPowersock& data) {
    std::unique_ptr<char[]> block(new char[65536]);
    while (size_t got = data.ReadRaw(block.get(), 65536)) pending.Write(block.get(), got);
  });
  if (done) pending.Commit();
}

void TNMFTP::Listing(TCmdType type, const std::string& command) {
  if (listing_) throw FTPException("A list command is already being processed!");
  listing_ = true;
  try {
    Transfer(type, command, [&](TPowersock& data) {
      std::string line;
      while (data.ReadLine(line)) {
        if (line.size() > 2) {
          if (line.compare(line.size() - 2, 2, "\r\n") == 0)
            line.resize(line.size() - 2);
          else if (line.back() == '\n')
            line.pop_back();
        }
        if (OnListItem) OnListItem(line);
      }
    });
  } catch (...) {
    listing_ = false;
    throw;
  }
  listing_ = false;
}

void TNMFTP::List() { Listing(cmdList, "LIST"); }
void TNMFTP::NList() { Listing(cmdNList, "NLST"); }
