// TNMHTTP: the HTTP/1.0 client of the HTTP download, on top of TPowersock:
// GET requests, directly or through a proxy, basic authentication, the
// cookie of a redirect, redirects followed. Every download goes to a
// temporary file that replaces the local file only when the document came
// whole.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

#include "NMURL.h"
#include "Psock.h"

// A failure that another try would only repeat (an error status, a
// redirect that cannot be followed, a refused header value).
class EHttpFinal : public std::runtime_error {
 public:
  explicit EHttpFinal(const std::string& message) : std::runtime_error(message) {}
};

class TNMHTTP : public TPowersock {
 public:
  TNMHTTP() { Port = 80; }

  // Basic authentication, sent only when both are set, and only to Host.
  std::string UserId;
  std::string Password;
  int MaxRedirects = 10;

  // The status of the last reply, and its Location and cookie values.
  int Status = 0;
  std::string Location;
  std::string Cookie;

  // Fetches the target (a path on Host, or an address) into the local
  // file, following redirects. Raises EHttpFinal for failures that a new
  // try would repeat and other exceptions for the rest; the local file is
  // then as it was.
  void Get(const std::string& target, const std::string& localFile);

  // The request for one address: the header lines in their order and the
  // empty line. cookie: the value of a redirect's Set-Cookie, or "".
  std::string RequestHeader(const TUrl& url, const std::string& cookie) const;

 private:
  // One request; true when it brought the document, false for a redirect
  // to follow (its target in next).
  bool GetOnce(const TUrl& url, const std::string& cookie, const std::string& localFile, std::string& next);
  bool ToConfiguredHost(const TUrl& url) const;
};
