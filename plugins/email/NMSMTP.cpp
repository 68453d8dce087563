#include "NMSMTP.h"

#include <windows.h>

#include <memory>
#include <random>

#include "NMUUE.h"
#include "OVError.h"

namespace {

constexpr size_t kMaxReply = 1 << 20;
// Attachments are read in pieces of a multiple of 45 bytes, so that every
// piece ends on a whole base64 line.
constexpr DWORD kFilePiece = 45 * 1456;
constexpr size_t kFlushAt = 65536;

std::string Trimmed(const std::string& line) {
  size_t end = line.size();
  while (end > 0 && (line[end - 1] == '\r' || line[end - 1] == '\n')) --end;
  return line.substr(0, end);
}

bool SafeCommandText(const std::string& text) { return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos; }

// An attachment opened before anything is sent, read while it is sent.
class TAttachmentFile {
 public:
  explicit TAttachmentFile(const std::string& path) : path_(path) {
    handle_ = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) throw EMailError(Format("Cannot open attachment \"%s\"", path.c_str()));
  }
  ~TAttachmentFile() { CloseHandle(handle_); }
  TAttachmentFile(const TAttachmentFile&) = delete;
  TAttachmentFile& operator=(const TAttachmentFile&) = delete;
  const std::string& Path() const { return path_; }
  // Up to size bytes; 0 at the end.
  DWORD Read(char* out, DWORD size) {
    DWORD got = 0;
    if (!ReadFile(handle_, out, size, &got, nullptr))
      throw EMailError(Format("Cannot read attachment \"%s\"", path_.c_str()));
    return got;
  }

 private:
  std::string path_;
  HANDLE handle_;
};

// Line-end normalisation and dot-stuffing of one body element.
void AppendBodyLine(std::string& out, const std::string& line) {
  size_t start = 0;
  for (;;) {
    size_t end = line.find_first_of("\r\n", start);
    size_t length = (end == std::string::npos ? line.size() : end) - start;
    if (length > 0 && line[start] == '.') out += '.';
    out.append(line, start, length);
    out += "\r\n";
    if (end == std::string::npos) return;
    start = end + (line[end] == '\r' && end + 1 < line.size() && line[end + 1] == '\n' ? 2 : 1);
    if (start >= line.size()) return;
  }
}

}  // namespace

std::string EntryAddress(const std::string& entry) {
  size_t open = entry.find('<');
  if (open != std::string::npos) {
    size_t close = entry.find('>', open + 1);
    return entry.substr(open + 1, close == std::string::npos ? std::string::npos : close - open - 1);
  }
  size_t colon = entry.find(':');
  if (colon != std::string::npos) {
    size_t second = entry.find(':', colon + 1);
    return entry.substr(colon + 1, second == std::string::npos ? std::string::npos : second - colon - 1);
  }
  return entry;
}

bool SafeAddress(const std::string& address) {
  return address.find_first_of(std::string("\r\n\0<>", 5)) == std::string::npos;
}

std::string HeaderValue(const std::string& text) {
  std::string out = text;
  for (char& c : out)
    if (c == '\r' || c == '\n') c = ' ';
  return out;
}

std::vector<std::string> TextLines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start));
    start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
  }
  return lines;
}

std::string AttachmentName(const std::string& path) {
  size_t slash = path.find_last_of("\\/:");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  for (char& c : name)
    if (c == '"' || c == '\r' || c == '\n') c = '_';
  return name;
}

std::string RandomBoundary() {
  thread_local std::mt19937 random(static_cast<unsigned>(GetTickCount()) ^ GetCurrentThreadId() ^
                                   static_cast<unsigned>(reinterpret_cast<uintptr_t>(&random)));
  std::uniform_int_distribution<int> letter('a', 'y');
  std::string b = "====================54535";
  for (int i = 0; i < 6; ++i) b += static_cast<char>(letter(random));
  return b + "====";
}

TNMSMTP::TNMSMTP() { Port = 25; }

uint16_t TNMSMTP::ReadReply() {
  std::string line = ReadLn();
  size_t digits = 0;
  while (digits < line.size() && digits < 10 && line[digits] >= '0' && line[digits] <= '9') ++digits;
  if (digits != 3) {
    Disconnect();
    ReplyNumber = 0;
    ReplyText = line;
    throw EMailError("Invalid reply from the server: " + Trimmed(line).substr(0, 200));
  }
  ReplyText = line;
  ReplyNumber = static_cast<uint16_t>((line[0] - '0') * 100 + (line[1] - '0') * 10 + (line[2] - '0'));
  size_t total = line.size();
  while (line[0] == ' ' || (line.size() > 3 && line[3] == '-')) {
    line = ReadLn();
    total += line.size();
    if (total > kMaxReply) {
      Disconnect();
      throw EMailError("Reply of the server too long");
    }
  }
  return ReplyNumber;
}

uint16_t TNMSMTP::Transaction(const std::string& command) {
  if (!SafeCommandText(command)) throw EMailError("Refused: a command argument holds a line break or a zero byte");
  WriteLn(command);
  return ReadReply();
}

void TNMSMTP::Quit() {
  if (Connected()) {
    OverrideLimit(5000);
    try {
      Transaction("QUIT");
    } catch (const std::exception&) {
    }
    OverrideLimit(0);
  }
  Disconnect();
}

void TNMSMTP::Connect() {
  TPowersock::Connect();
  uint16_t code = 0;
  try {
    code = ReadReply();
    if (code >= 400) throw EMailError(Trimmed(ReplyText));
    code = Transaction("HELO " + UserID);
  } catch (...) {
    Disconnect();
    throw;
  }
  if (code < 300) return;
  Quit();
  throw EMailError("Authentication failed");
}

void TNMSMTP::CheckAddresses() const {
  const TPostMessage& m = PostMessage;
  if (!SafeAddress(m.FromAddress))
    throw EMailError(Format("Invalid address in the From field: \"%s\"", m.FromAddress.c_str()));
  const std::pair<const char*, const std::vector<std::string>*> lists[] = {
      {"To", &m.ToAddress}, {"CC", &m.ToCarbonCopy}, {"BCC", &m.ToBlindCarbonCopy}};
  for (const auto& [field, entries] : lists)
    for (const std::string& entry : *entries)
      if (!SafeAddress(EntryAddress(entry)))
        throw EMailError(Format("Invalid address in the %s field: \"%s\"", field, entry.c_str()));
}

std::string TNMSMTP::Headers(const std::string& boundary) const {
  const TPostMessage& m = PostMessage;
  auto joined = [](const std::vector<std::string>& entries) {
    std::string out;
    for (size_t i = 0; i < entries.size(); ++i) out += (i ? "," : "") + HeaderValue(entries[i]);
    return out;
  };
  std::string h = "From: " + HeaderValue(m.FromName) + "<" + HeaderValue(m.FromAddress) + ">\r\n";
  if (!m.ToAddress.empty()) h += "To: " + joined(m.ToAddress) + "\r\n";
  if (!m.ToCarbonCopy.empty()) h += "CC: " + joined(m.ToCarbonCopy) + "\r\n";
  if (!m.Subject.empty()) h += "Subject: " + HeaderValue(m.Subject) + "\r\n";
  h += "Mime-Version: 1.0\r\n";
  if (boundary.empty())
    h += "Content-Type: text/plain; charset=" + Charset + "\r\n";
  else
    h += "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"\r\n";
  return h + "\r\n\r\n";
}

void TNMSMTP::SendMail() {
  refused_.clear();
  const TPostMessage& m = PostMessage;
  // Everything that can be refused locally is refused before a command
  // goes out.
  CheckAddresses();
  std::vector<std::unique_ptr<TAttachmentFile>> files;
  for (const std::string& path : m.Attachments) files.push_back(std::make_unique<TAttachmentFile>(path));

  if (Cancelled()) throw EAbortError("Socket send aborted");
  if (!CheckConnected()) {
    bool handled = false;
    if (OnConnectionRequired) OnConnectionRequired(handled);
    if (!handled || !Connected()) throw ESockError("Not Connected");
  }
  if (m.FromAddress.empty() ||
      (m.ToAddress.empty() && m.ToCarbonCopy.empty() && m.ToBlindCarbonCopy.empty())) {
    bool handled = false;
    if (OnHeaderIncomplete) OnHeaderIncomplete(handled, m.FromAddress.empty() ? 1 : 2);
    throw EMailError("Incomplete Header");
  }
  if (Transaction("RSET") > 399) throw EMailError(Trimmed(ReplyText));
  if (Transaction("MAIL FROM:<" + m.FromAddress + ">") > 399) throw EMailError(Trimmed(ReplyText));
  for (const auto* entries : {&m.ToAddress, &m.ToCarbonCopy, &m.ToBlindCarbonCopy}) {
    for (const std::string& entry : *entries) {
      const std::string address = EntryAddress(entry);
      if (address.empty()) continue;
      if (Transaction("RCPT TO:<" + address + ">") > 300) {
        refused_.push_back(entry);
        if (OnRecipientNotFound) OnRecipientNotFound(entry);
      }
    }
  }
  if (Transaction("DATA") > 399) throw EMailError(Trimmed(ReplyText));

  const std::string boundary = files.empty() ? std::string() : MakeBoundary();
  try {
    std::string out = Headers(boundary);
    auto flush = [&](bool always) {
      if (out.size() >= kFlushAt || (always && !out.empty())) {
        Write(out.data(), out.size());
        out.clear();
      }
    };
    if (!files.empty())
      out += "--" + boundary + "\r\nContent-Type: text/plain; charset=" + Charset + "\r\n\r\n";
    for (const std::string& line : m.Body) {
      AppendBodyLine(out, line);
      flush(false);
    }
    std::string piece(kFilePiece, '\0');
    for (const auto& file : files) {
      const std::string name = AttachmentName(file->Path());
      out += "--" + boundary + "\r\nContent-Type: application/octet-stream; name=\"" + name +
             "\"\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=\"" + name +
             "\"\r\n\r\n";
      // Pieces of kFilePiece bytes, whatever ReadFile hands back at once.
      size_t filled = 0;
      for (;;) {
        DWORD got = file->Read(piece.data() + filled, static_cast<DWORD>(kFilePiece - filled));
        filled += got;
        if (filled == kFilePiece || (got == 0 && filled > 0)) {
          Base64AppendLines(piece.data(), filled, out);
          filled = 0;
          flush(false);
        }
        if (got == 0) break;
      }
    }
    if (!files.empty()) out += "--" + boundary + "--\r\n";
    out += ".\r\n";
    flush(true);
  } catch (...) {
    // Without the final "." the server drops what it has received.
    Disconnect();
    throw;
  }
  if (ReadReply() > 399) {
    if (OnFailure) OnFailure();
    throw EMailError(Trimmed(ReplyText));
  }
  if (ClearParams) PostMessage.Clear();
}
