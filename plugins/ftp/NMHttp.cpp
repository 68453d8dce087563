#include "NMHttp.h"

#include <cctype>
#include <memory>

#include "NMUUE.h"
#include "OVError.h"
#include "PendingFile.h"

namespace {

constexpr size_t kMaxHeader = 1 << 20;

std::string Upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string WithoutLineEnd(const std::string& line) {
  size_t end = line.size();
  while (end > 0 && (line[end - 1] == '\r' || line[end - 1] == '\n')) --end;
  return line.substr(0, end);
}

// The value of a header line after its name and colon, blanks trimmed.
std::string HeaderValue(const std::string& line, size_t nameLength) {
  std::string value = WithoutLineEnd(line).substr(nameLength);
  size_t begin = value.find_first_not_of(" \t");
  return begin == std::string::npos ? std::string() : value.substr(begin);
}

bool SafeHeaderText(const std::string& text) { return text.find_first_of(std::string("\r\n\0", 3)) == std::string::npos; }

bool IsRedirect(int status) { return (status >= 300 && status <= 303) || status == 307 || status == 308; }

// The status code: the second blank-separated word of the status line, 0
// when it is not a number.
int StatusOf(const std::string& line) {
  std::string text = WithoutLineEnd(line);
  size_t begin = text.find(' ');
  if (begin == std::string::npos) return 0;
  begin = text.find_first_not_of(' ', begin);
  if (begin == std::string::npos) return 0;
  size_t end = text.find(' ', begin);
  std::string word = text.substr(begin, end == std::string::npos ? std::string::npos : end - begin);
  if (word.empty() || word.size() > 3) return 0;
  int status = 0;
  for (char c : word) {
    if (c < '0' || c > '9') return 0;
    status = status * 10 + (c - '0');
  }
  return status;
}

}  // namespace

bool TNMHTTP::ToConfiguredHost(const TUrl& url) const { return Lower(url.Host) == Lower(Host) && url.Port == Port; }

std::string TNMHTTP::RequestHeader(const TUrl& url, const std::string& cookie) const {
  TUrl encoded = url;
  encoded.Path = EncodePath(url.Path);
  const bool viaProxy = !Proxy.empty();
  std::string h = "GET " + (viaProxy ? AbsoluteUrl(encoded) : encoded.Path) + " HTTP/1.0\r\n";
  if (viaProxy) h += "Proxy-Connection: Keep-Alive\r\n";
  h += "Host: " + url.Host + "\r\n";
  h += "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n";
  h += "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n";
  // What identifies the user goes to the configured server only, never to
  // another one a redirect names.
  const bool own = ToConfiguredHost(url);
  if (!cookie.empty() && own) h += "Cookie: " + cookie + "\r\n";
  if (!UserId.empty() && !Password.empty() && own)
    h += "Authorization: Basic " + Base64Encode(UserId + ":" + Password) + "\r\n";
  h += "Content-type: application/x-www-form-urlencoded\r\n";
  h += "\r\n";
  return h;
}

void TNMHTTP::Get(const std::string& target, const std::string& localFile) {
  const TUrl base{Host, Port, "/"};
  TUrl url;
  std::string error;
  if (!ParseTarget(target, base, url, error)) throw EHttpFinal(error);
  for (const std::string* text : {&Host, &Proxy, &UserId, &Password})
    if (!SafeHeaderText(*text)) throw EHttpFinal("Refused: a header value holds a line break or a zero byte");
  std::string cookie;
  for (int redirects = 0;; ++redirects) {
    std::string next;
    if (GetOnce(url, cookie, localFile, next)) return;
    if (redirects >= MaxRedirects) throw EHttpFinal(Format("More than %d redirects", MaxRedirects));
    TUrl to;
    if (!ParseTarget(next, url, to, error))
      throw EHttpFinal(Format("Redirect to \"%s\" not followed: %s", next.c_str(), error.c_str()));
    if (!Cookie.empty()) cookie = Cookie;
    url = to;
  }
}

bool TNMHTTP::GetOnce(const TUrl& url, const std::string& cookie, const std::string& localFile, std::string& next) {
  if (!SafeHeaderText(url.Host) || !SafeHeaderText(cookie))
    throw EHttpFinal("Refused: a header value holds a line break or a zero byte");
  Status = 0;
  Location.clear();
  Cookie.clear();
  // The connection goes to the proxy, or to the host the address names.
  struct TRestore {
    TNMHTTP& c;
    std::string host;
    int32_t port;
    ~TRestore() {
      c.Host = host;
      c.Port = port;
      c.Disconnect();
    }
  } restore{*this, Host, Port};
  Host = url.Host;
  Port = url.Port;
  Connect();
  Host = restore.host;
  Port = restore.port;
  SendStream(RequestHeader(url, cookie));

  std::string line;
  if (!ReadLine(line)) throw ESockError("The server closed the connection without a reply");
  if (line.compare(0, 5, "HTTP/") != 0) throw ESockError("Not an HTTP reply: " + WithoutLineEnd(line).substr(0, 100));
  Status = StatusOf(line);
  int64_t length = -1;
  size_t total = line.size();
  for (;;) {
    line = ReadLn();
    total += line.size();
    if (total > kMaxHeader) throw ESockError("Reply header of the server too long");
    if (line == "\r\n" || line == "\n") break;
    const std::string name = Upper(line.substr(0, line.find(':') + 1));
    if (name == "SET-COOKIE:") {
      Cookie = HeaderValue(line, 11);
    } else if (name == "LOCATION:") {
      Location = HeaderValue(line, 9);
    } else if (name == "CONTENT-LENGTH:") {
      std::string value = HeaderValue(line, 15);
      int64_t n = 0;
      bool digits = !value.empty() && value.size() <= 18;
      for (char c : value) {
        if (c < '0' || c > '9') digits = false;
        n = n * 10 + (c - '0');
      }
      if (digits) length = n;
    }
  }

  if (Status >= 400) throw EHttpFinal(Format("HTTP error %d", Status));
  if (IsRedirect(Status) && !Location.empty()) {
    next = ResolveLocation(url, Location);
    return false;
  }
  if (Status < 200 || Status > 299) throw ESockError(Format("HTTP status %d without a document", Status));

  TPendingFile pending(localFile);
  std::unique_ptr<char[]> block(new char[65536]);
  int64_t got = 0;
  while (length < 0 || got < length) {
    size_t want = 65536;
    if (length >= 0 && length - got < static_cast<int64_t>(want)) want = static_cast<size_t>(length - got);
    size_t n = ReadRaw(block.get(), want);
    if (n == 0) break;
    pending.Write(block.get(), n);
    got += static_cast<int64_t>(n);
  }
  if (length >= 0 && got < length)
    throw ESockError(Format("The document came short: %lld of %lld bytes", static_cast<long long>(got),
                            static_cast<long long>(length)));
  pending.Commit();
  return true;
}
