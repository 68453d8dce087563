// Download speed of the HTTP client and of an FTP script on loopback.
// bench/http runs it beside curl on the same servers and files and prints
// the ratios.
//   bench_http http <port> <proxy port> <path> <local file>
//       the document directly and through the proxy: "direct <s> proxy <s>"
//   bench_http ftpget <port> <remote pattern> <local folder>
//       an FTP script that gets every file of the pattern on one
//       connection (binary, passive): "script <s> files <n>"
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "FtpScr.h"
#include "NMHttp.h"

namespace {

double Now() {
  LARGE_INTEGER f, t;
  QueryPerformanceFrequency(&f);
  QueryPerformanceCounter(&t);
  return static_cast<double>(t.QuadPart) / static_cast<double>(f.QuadPart);
}

int Http(char** argv) {
  TNMHTTP c;
  c.Host = "127.0.0.1";
  c.Port = std::atoi(argv[2]);
  double t0 = Now();
  c.Get(argv[4], argv[5]);
  double t1 = Now();
  c.Proxy = "127.0.0.1";
  c.ProxyPort = std::atoi(argv[3]);
  c.Get(AbsoluteUrl(TUrl{c.Host, c.Port, argv[4]}), argv[5]);
  double t2 = Now();
  std::printf("direct %.3f proxy %.3f\n", t1 - t0, t2 - t1);
  return 0;
}

int FtpGet(char** argv) {
  TNMFTP c;
  c.Host = "127.0.0.1";
  c.Port = std::atoi(argv[2]);
  c.UserID = "tester";
  c.Password = "secret";
  int files = 0;
  bool failed = false;
  TFtpScript script(&c, [&](uint8_t level, const std::string& text) {
    if (level == 2) failed = true;
    if (text.find("files was downloaded") != std::string::npos) files = std::atoi(text.c_str());
  });
  double t0 = Now();
  script.Run({"type i", "pasv on", std::string("get ") + argv[3] + " " + argv[4]}, false);
  double t1 = Now();
  std::printf("script %.3f files %d%s\n", t1 - t0, files, failed ? " (with errors)" : "");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    if (argc >= 6 && std::string(argv[1]) == "http") return Http(argv);
    if (argc >= 5 && std::string(argv[1]) == "ftpget") return FtpGet(argv);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_http: %s\n", e.what());
    return 1;
  }
  std::fprintf(stderr, "usage: bench_http http <port> <proxy port> <path> <local file>\n"
                       "       bench_http ftpget <port> <remote pattern> <local folder>\n");
  return 2;
}
