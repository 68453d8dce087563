// The pieces of an HTTP download's address: the target of a request, a
// server's Location resolved against the request it answered, the path as
// it goes on the request line, and the local name a document is saved as.
#pragma once

#include <string>

struct TUrl {
  std::string Host;
  int Port = 80;
  std::string Path = "/";  // as written (not yet encoded)
};

// Reads a request target: a path ("/dir/file"), or an address with a
// scheme ("http://host:port/path") or without one ("//host/path"). A path
// keeps the base's host and port. The scheme sets the default port
// ("gopher" 70, "ftp" 21, others 80); "https" and an empty target fail with
// the texts the download logs. False with the reason in error.
bool ParseTarget(const std::string& target, const TUrl& base, TUrl& url, std::string& error);

// The address a Location value names, relative to the request it answered:
// absolute ("http://h:p/x", "//h/x"), a path ("/x") or a name relative to
// the folder of the request's path ("x", "../x"). The result is absolute.
std::string ResolveLocation(const TUrl& request, const std::string& location);

// "http://" + host (+ ":" + port when it is not 80) + path.
std::string AbsoluteUrl(const TUrl& url);

// The path with every byte at or below 0x20 and at or above 0x7F written
// as %XX; everything else unchanged.
std::string EncodePath(const std::string& path);

// The local file name for a document line: its last path element, with
// characters a Windows file name cannot hold replaced by "_"; an empty
// element (the line "", "/" or one ending in "/") gives "index.html". The
// name never names a folder above the save folder ("." and ".." included).
std::string LocalDocumentName(const std::string& line);
