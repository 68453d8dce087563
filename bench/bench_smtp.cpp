// Sending speed of the SMTP client on loopback: one message with one
// attachment, read, encoded in base64 and sent while it goes out. bench/smtp
// runs it beside curl sending the same bytes to the same server and prints
// the ratio. Usage: bench_smtp <server address> <attachment> <HELO name>
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "NMSMTP.h"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: bench_smtp <server address> <attachment> <HELO name>\n");
    return 2;
  }
  try {
    TNMSMTP c;
    c.Host = argv[1];
    c.UserID = argv[3];
    c.PostMessage.FromAddress = "bench@example.test";
    c.PostMessage.ToAddress = {"sink@example.test"};
    c.PostMessage.Subject = "bench";
    c.PostMessage.Body = {"The attachment follows."};
    c.PostMessage.Attachments = {argv[2]};
    LARGE_INTEGER f, t0, t1;
    QueryPerformanceFrequency(&f);
    QueryPerformanceCounter(&t0);
    c.Connect();
    c.SendMail();
    QueryPerformanceCounter(&t1);
    std::printf("%.3f\n", static_cast<double>(t1.QuadPart - t0.QuadPart) / static_cast<double>(f.QuadPart));
  } catch (const std::exception& e) {
    std::fprintf(stderr, "bench_smtp: %s\n", e.what());
    return 1;
  }
  return 0;
}
