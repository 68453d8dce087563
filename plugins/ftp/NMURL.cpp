#include "NMURL.h"

#include <cctype>
#include <cstdio>
#include <vector>

namespace {

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// "host" or "host:port"; false when the port is not a number 1..65535.
bool SplitHostPort(const std::string& text, int defaultPort, std::string& host, int& port) {
  size_t colon = text.rfind(':');
  host = text;
  port = defaultPort;
  if (colon == std::string::npos) return true;
  host = text.substr(0, colon);
  std::string digits = text.substr(colon + 1);
  if (digits.empty()) return true;
  if (digits.size() > 5) return false;
  long value = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > 65535) return false;
  port = static_cast<int>(value);
  return true;
}

// Removes "." and ".." segments of an absolute path.
std::string Normalized(const std::string& path) {
  std::string query;
  std::string p = path;
  size_t q = p.find('?');
  if (q != std::string::npos) {
    query = p.substr(q);
    p.resize(q);
  }
  std::string out;
  size_t start = 1;
  std::vector<std::string> parts;
  while (start <= p.size()) {
    size_t slash = p.find('/', start);
    std::string part = p.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    bool last = slash == std::string::npos;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      if (last) parts.push_back("");
    } else if (part == ".") {
      if (last) parts.push_back("");
    } else {
      parts.push_back(part);
    }
    if (last) break;
    start = slash + 1;
  }
  for (size_t i = 0; i < parts.size(); ++i) out += (i ? "/" : "") + parts[i];
  return "/" + out + query;
}

}  // namespace

bool ParseTarget(const std::string& target, const TUrl& base, TUrl& url, std::string& error) {
  if (target.empty()) {
    error = "Empty URL";
    return false;
  }
  url = base;
  if (target[0] == '/' && target.compare(0, 2, "//") != 0) {
    url.Path = target;
    return true;
  }
  std::string rest = target;
  int defaultPort = 80;
  size_t sep = target.find("://");
  if (sep != std::string::npos && target.find_first_of("/?") > sep) {
    std::string scheme = Lower(target.substr(0, sep));
    if (scheme == "https") {
      error = "HTTP Secure Socket is not supported";
      return false;
    }
    defaultPort = scheme == "gopher" ? 70 : scheme == "ftp" ? 21 : 80;
    rest = target.substr(sep + 1);
  }
  if (rest.compare(0, 2, "//") != 0) {
    error = "Cannot read the address \"" + target + "\"";
    return false;
  }
  size_t slash = rest.find_first_of("/?", 2);
  std::string hostPort = rest.substr(2, slash == std::string::npos ? std::string::npos : slash - 2);
  if (!SplitHostPort(hostPort, defaultPort, url.Host, url.Port) || url.Host.empty()) {
    error = "Cannot read the address \"" + target + "\"";
    return false;
  }
  url.Path = slash == std::string::npos ? "/" : rest.substr(slash);
  if (url.Path[0] == '?') url.Path = "/" + url.Path;
  return true;
}

std::string AbsoluteUrl(const TUrl& url) {
  std::string host = url.Host;
  if (url.Port != 80) host += ":" + std::to_string(url.Port);
  return "http://" + host + url.Path;
}

std::string ResolveLocation(const TUrl& request, const std::string& location) {
  size_t begin = location.find_first_not_of(" \t");
  size_t end = location.find_last_not_of(" \t\r\n");
  std::string loc = begin == std::string::npos ? std::string() : location.substr(begin, end - begin + 1);
  size_t sep = loc.find("://");
  if (sep != std::string::npos && loc.find_first_of("/?") > sep) return loc;
  if (loc.compare(0, 2, "//") == 0) return "http:" + loc;
  TUrl url = request;
  if (!loc.empty() && loc[0] == '/') {
    url.Path = Normalized(loc);
  } else {
    std::string folder = request.Path.substr(0, request.Path.find('?'));
    folder = folder.substr(0, folder.rfind('/') + 1);
    url.Path = Normalized(folder + loc);
  }
  return AbsoluteUrl(url);
}

std::string EncodePath(const std::string& path) {
  std::string out;
  for (unsigned char c : path) {
    if (c <= 0x20 || c >= 0x7F) {
      char hex[4];
      std::snprintf(hex, sizeof hex, "%%%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string LocalDocumentName(const std::string& line) {
  std::string name = line.substr(line.rfind('/') == std::string::npos ? 0 : line.rfind('/') + 1);
  if (name.empty()) return "index.html";
  for (char& c : name) {
    unsigned char u = static_cast<unsigned char>(c);
    if (u < 0x20 || u == 0x7F || std::string("\\:*?\"<>|").find(c) != std::string::npos) c = '_';
  }
  // Windows drops trailing dots and blanks: "." and ".." would name a
  // folder, "a." another file than the one written.
  for (size_t i = name.size(); i > 0 && (name[i - 1] == '.' || name[i - 1] == ' '); --i) name[i - 1] = '_';
  std::string base = name.substr(0, name.find('.'));
  for (char& c : base) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  bool device = base == "con" || base == "prn" || base == "aux" || base == "nul" ||
                (base.size() == 4 && (base.compare(0, 3, "com") == 0 || base.compare(0, 3, "lpt") == 0) &&
                 base[3] >= '1' && base[3] <= '9');
  if (device) name = "_" + name;
  return name;
}
