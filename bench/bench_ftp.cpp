// FTP transfer speed of the client on loopback: a file up and down in
// active (PORT, as the upload and download actions use) and passive mode.
// bench/ftp runs it beside curl on the same server and file and prints the
// ratios. Usage: bench_ftp <port> <local file> <remote name>
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "NMFtp.h"

namespace {
double Seconds(LARGE_INTEGER a, LARGE_INTEGER b, LARGE_INTEGER f) {
  return static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}
}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: bench_ftp <port> <local file> <remote name>\n");
    return 2;
  }
  try {
    TNMFTP c;
    c.Host = "127.0.0.1";
    c.Port = std::atoi(argv[1]);
    c.UserID = "tester";
    c.Password = "secret";
    c.Connect();
    c.SetTransferType(2);
    const std::string local = argv[2], remote = argv[3], back = local + ".back";
    LARGE_INTEGER f, t0, t1, t2;
    QueryPerformanceFrequency(&f);
    for (bool passive : {false, true}) {
      c.Passive = passive;
      QueryPerformanceCounter(&t0);
      c.Upload(local, remote);
      QueryPerformanceCounter(&t1);
      c.Download(remote, back);
      QueryPerformanceCounter(&t2);
      std::printf("%s upload %.3f download %.3f\n", passive ? "passive" : "active", Seconds(t0, t1, f),
                  Seconds(t1, t2, f));
    }
    DeleteFileA(back.c_str());
    c.Delete(remote);
    c.Quit();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_ftp: %s\n", e.what());
    return 1;
  }
  return 0;
}
