// The FTP client against real servers on loopback: ProFTPD for the normal
// path, the scripted odd servers for hostile replies, our relay and
// ftp-proxy for the firewall login styles.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <memory>

#include "FtpServers.h"
#include "NMFtp.h"
#include "OVError.h"
#include "TestUtil.h"

namespace {

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

// Lines a server's log gained since a mark.
struct TLogMark {
  explicit TLogMark(const std::string& file) : file_(file), from_(FtpServers().Log(file).size()) {}
  std::vector<std::string> Lines() const {
    auto all = FtpServers().Log(file_);
    return std::vector<std::string>(all.begin() + static_cast<long>(std::min(from_, all.size())), all.end());
  }
  std::string file_;
  size_t from_;
};

class FtpClient : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_FTP_SERVERS();
    local_ = testutil::MakeTempDir("ftpclient");
  }
  void TearDown() override {
    if (!local_.empty()) testutil::RemoveTree(local_);
  }
  std::unique_ptr<TNMFTP> Client(const std::string& server, const std::string& password = "secret") {
    auto c = std::make_unique<TNMFTP>();
    c->Host = "127.0.0.1";
    c->Port = FtpServers().Port(server);
    c->UserID = "tester";
    c->Password = password;
    c->ConnectLimit = 10000;
    c->IdleLimit = 30000;
    c->OnConnectionFailed = [this](TPowersock*) { events_ += "ConnectionFailed;"; };
    c->OnFailure = [this](bool&, TCmdType t) { events_ += "Failure " + std::to_string(t) + ";"; };
    c->OnUnSupportedFunction = [this](TCmdType t) { events_ += "Unsupported " + std::to_string(t) + ";"; };
    return c;
  }
  // The message of what the call raised, "" when it returned.
  template <class F>
  std::string Raised(F f) {
    try {
      f();
    } catch (const std::exception& e) {
      return e.what();
    }
    return "";
  }
  std::string local_;
  std::string events_;
};

void CALLBACK AskToStop(HWND, UINT, UINT_PTR, DWORD) { PostQuitMessage(3); }

std::string UniqueDir(const char* tag) { return Format("%s-%lu-%lu", tag, GetCurrentProcessId(), GetTickCount()); }

}  // namespace

TEST_F(FtpClient, CommandsAndTransfersInBothModesAndTypes) {
  auto c = Client("proftpd");
  c->Connect();
  const std::string dir = UniqueDir("client");
  c->MakeDir(dir);
  c->ChangeDir(dir);
  EXPECT_EQ(c->CurrentDir(), "/" + dir);
  const std::string server = FtpServers().Folder("root") + dir + "\\";

  const std::string data = PatternBytes(300000, 1);
  testutil::WriteFileText(local_ + "up.bin", data);
  for (bool passive : {false, true}) {
    c->Passive = passive;
    c->SetTransferType(2);
    c->Upload(local_ + "up.bin", "");  // under the local file's own name
    EXPECT_EQ(testutil::ReadFileText(server + "up.bin"), data) << passive;
    c->Download("up.bin", local_ + "down.bin");
    EXPECT_EQ(testutil::ReadFileText(local_ + "down.bin"), data) << passive;
    std::vector<std::string> names;
    c->OnListItem = [&](const std::string& n) { names.push_back(n); };
    c->NList();
    EXPECT_EQ(names, std::vector<std::string>{"up.bin"});
    names.clear();
    c->List();
    ASSERT_EQ(names.size(), 1u);
    EXPECT_NE(names[0].find("300000"), std::string::npos) << names[0];
    EXPECT_EQ(names[0].back(), 'n');  // line end removed
    c->OnListItem = nullptr;
  }
  // ASCII: the server stores its own line ends and sends ours.
  testutil::WriteFileText(local_ + "text.txt", "one\r\ntwo\r\n");
  c->SetTransferType(1);
  c->Upload(local_ + "text.txt", "text.txt");
  EXPECT_EQ(testutil::ReadFileText(server + "text.txt"), "one\ntwo\n");
  c->Download("text.txt", local_ + "text2.txt");
  EXPECT_EQ(testutil::ReadFileText(local_ + "text2.txt"), "one\r\ntwo\r\n");
  c->UploadAppend(local_ + "text.txt", "text.txt");
  EXPECT_EQ(testutil::ReadFileText(server + "text.txt"), "one\ntwo\none\ntwo\n");
  c->Rename("text.txt", "renamed.txt");
  EXPECT_TRUE(testutil::FileExists(server + "renamed.txt"));
  c->Delete("renamed.txt");
  c->Delete("up.bin");
  EXPECT_FALSE(testutil::FileExists(server + "renamed.txt"));
  c->ChangeDir("/");
  c->RemoveDir(dir);
  EXPECT_EQ(events_, "");

  auto log = FtpServers().Log("proftpd.commands.log");
  EXPECT_TRUE(Contains(log, "PASV  -> 227"));
  EXPECT_TRUE(Contains(log, "TYPE A -> 200"));
  // The PORT line names the control connection's own address.
  EXPECT_TRUE(std::any_of(log.begin(), log.end(), [](const std::string& l) { return l.rfind("PORT 127,0,0,1,", 0) == 0; }));
}

TEST_F(FtpClient, HundredMegabytesEachWayCheckedBySha256) {
  auto c = Client("proftpd");
  c->Connect();
  const std::string dir = UniqueDir("big");
  c->MakeDir(dir);
  c->ChangeDir(dir);
  WritePatternFile(local_ + "big.bin", 100u << 20, 7);
  const std::string sum = FileSha256(local_ + "big.bin");
  c->SetTransferType(2);
  c->Upload(local_ + "big.bin", "big.bin");  // active
  EXPECT_EQ(FileSha256(FtpServers().Folder("root") + dir + "\\big.bin"), sum);
  c->Passive = true;
  c->Download("big.bin", local_ + "back.bin");
  EXPECT_EQ(FileSha256(local_ + "back.bin"), sum);
  c->Delete("big.bin");
  c->ChangeDir("/");
  c->RemoveDir(dir);
  // Nothing but the two files: the temporary file became the target.
  EXPECT_EQ(testutil::ListFiles(local_, "*"), (std::vector<std::string>{"back.bin", "big.bin"}));
}

TEST_F(FtpClient, FailingCommandsFireTheirEventsThenRaise) {
  auto c = Client("proftpd");
  c->Connect();
  std::string e = Raised([&] { c->ChangeDir("/no/such/dir"); });
  EXPECT_EQ(e.substr(0, 4), "550 ") << e;
  EXPECT_EQ(events_, "Failure 0;");
  events_.clear();
  e = Raised([&] { c->DoCommand("XYZZY"); });
  EXPECT_EQ(e.substr(0, 4), "500 ") << e;
  EXPECT_EQ(events_, "Unsupported 14;Failure 14;");
  // A handler that handles the failure lets the operation return.
  c->OnFailure = [](bool& handled, TCmdType) { handled = true; };
  EXPECT_EQ(Raised([&] { c->ChangeDir("/no/such/dir"); }), "");
  // A missing local file fails before anything is sent.
  TLogMark mark("proftpd.commands.log");
  EXPECT_NE(Raised([&] { c->Upload(local_ + "missing.bin", "x.bin"); }), "");
  // Line breaks in an argument never reach the server.
  EXPECT_NE(Raised([&] { c->ChangeDir("x\r\nDELE y"); }), "");
  EXPECT_NE(Raised([&] { c->Delete(std::string("a\0b", 3)); }), "");
  c->Quit();
  // ProFTPD writes the line as the session ends.
  testutil::WaitFor([&] { return !mark.Lines().empty(); }, 3000);
  EXPECT_EQ(mark.Lines(), std::vector<std::string>{"QUIT  -> 221"});
}

TEST_F(FtpClient, LoginFaults) {
  // A wrong password: the failure event, the reply as the error, QUIT sent.
  auto c = Client("proftpd", "wrong");
  TLogMark mark("proftpd.commands.log");
  std::string e = Raised([&] { c->Connect(); });
  EXPECT_EQ(e.substr(0, 4), "530 ") << e;
  EXPECT_EQ(events_, "ConnectionFailed;");
  EXPECT_FALSE(c->Connected());
  auto lines = mark.Lines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[0], "USER tester -> 331");
  EXPECT_EQ(lines[2], "QUIT  -> 221");

  // A multi-line greeting is read whole before USER goes out.
  c = Client("fake.greetmulti");
  c->Connect();
  EXPECT_EQ(c->CurrentDir(), "/");
  // 230 right after USER: no PASS.
  TLogMark user230("fake-user230.log");
  c = Client("fake.user230");
  c->Connect();
  EXPECT_EQ(c->CurrentDir(), "/");
  auto u = user230.Lines();
  EXPECT_TRUE(Contains(u, "USER tester"));
  EXPECT_FALSE(std::any_of(u.begin(), u.end(), [](const std::string& l) { return l.rfind("PASS", 0) == 0; }));

  // Greetings that end the login, and never as success.
  struct {
    const char* server;
    const char* error;
  } faults[] = {
      {"fake.greet421", "421 Too many users"},
      {"fake.code4", "Invalid reply from the server: 2200 four digits"},
      {"fake.longline", "Line longer than 64 KB received"},
      {"fake.eofmid", "Connection closed by the server"},
  };
  for (auto& f : faults) {
    events_.clear();
    TLogMark fake(std::string("fake-") + (f.server + 5) + ".log");
    c = Client(f.server);
    EXPECT_EQ(Raised([&] { c->Connect(); }), f.error) << f.server;
    EXPECT_EQ(events_, "ConnectionFailed;") << f.server;
    EXPECT_FALSE(c->Connected());
    auto sent = fake.Lines();
    EXPECT_FALSE(std::any_of(sent.begin(), sent.end(), [](const std::string& l) { return l.rfind("USER", 0) == 0; }))
        << f.server;
  }

  // Nobody listening.
  events_.clear();
  c = Client("proftpd");
  c->Port = 1;
  EXPECT_EQ(Raised([&] { c->Connect(); }), "Connection Failed");
  EXPECT_EQ(events_, "ConnectionFailed;");
}

TEST_F(FtpClient, DataConnectionFaultsLeaveTheOldFileAlone) {
  testutil::WriteFileText(local_ + "good.zip", "old content");
  // 426 after the data: a failure, and the old file stays.
  auto c = Client("fake.abort426");
  c->Connect();
  c->Passive = true;
  std::string e = Raised([&] { c->Download("good.zip", local_ + "good.zip"); });
  EXPECT_EQ(e.substr(0, 4), "426 ") << e;
  EXPECT_EQ(testutil::ReadFileText(local_ + "good.zip"), "old content");
  EXPECT_EQ(testutil::ListFiles(local_, "*"), std::vector<std::string>{"good.zip"});
  // The control connection is still in step.
  EXPECT_EQ(c->CurrentDir(), "/");

  // A PASV reply that cannot be read.
  c = Client("fake.pasvbad");
  c->Connect();
  c->Passive = true;
  EXPECT_NE(Raised([&] { c->Download("good.zip", local_ + "other.zip"); }), "");
  EXPECT_FALSE(testutil::FileExists(local_ + "other.zip"));

  // A PASV reply naming another address: the data still comes from the
  // server we talk to.
  c = Client("fake.pasvforeign");
  c->Connect();
  c->Passive = true;
  c->SetTransferType(2);
  c->Download("good.zip", local_ + "good.zip");
  EXPECT_EQ(testutil::ReadFileText(local_ + "good.zip"), "good zip\n");
}

TEST_F(FtpClient, FirewallLoginStyles) {
  const std::string fw = "upstream.example";
  struct Style {
    TFirewallType type;
    bool fwAuth;
    std::vector<std::string> lines;
  } styles[] = {
      {FTUser, false, {"USER tester@upstream.example", "PASS secret"}},
      {FtOpen, true, {"USER fwuser", "PASS fwsecret", "OPEN upstream.example", "USER tester", "PASS secret"}},
      {FtSite, true, {"USER fwuser", "PASS fwsecret", "SITE upstream.example", "USER tester", "PASS secret"}},
      {FTUser, true, {"USER fwuser", "PASS fwsecret", "USER tester@upstream.example", "PASS secret"}},
  };
  for (const Style& s : styles) {
    TLogMark mark("relay.log");
    auto c = Client("proftpd");
    c->Host = fw;
    c->Proxy = "127.0.0.1";
    c->ProxyPort = FtpServers().Port("relay");
    c->FirewallType = s.type;
    c->FWAuthenticate = s.fwAuth;
    c->FWUserID = "fwuser";
    c->FWPassword = "fwsecret";
    c->Connect();
    std::vector<std::string> names;
    c->OnListItem = [&](const std::string& n) { names.push_back(n); };
    c->NList();
    EXPECT_TRUE(Contains(names, "incoming"));
    c->Quit();
    auto lines = mark.Lines();
    ASSERT_GE(lines.size(), s.lines.size());
    EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + static_cast<long>(s.lines.size())), s.lines);
  }
  // A refused firewall login.
  auto c = Client("proftpd");
  c->Host = fw;
  c->Proxy = "127.0.0.1";
  c->ProxyPort = FtpServers().Port("relay");
  c->FirewallType = FtSite;
  c->FWAuthenticate = true;
  c->FWUserID = "fwuser";
  c->FWPassword = "bad";
  EXPECT_EQ(Raised([&] { c->Connect(); }).substr(0, 4), "530 ");

  // ftp-proxy, in front of ProFTPD: USER user@host:port.
  c = Client("proftpd");
  c->Host = Format("127.0.0.1:%d", FtpServers().Port("proftpd"));
  c->Proxy = "127.0.0.1";
  c->ProxyPort = FtpServers().Port("ftpproxy");
  c->Connect();
  const std::string dir = UniqueDir("proxy");
  c->MakeDir(dir);
  c->ChangeDir(dir);
  testutil::WriteFileText(local_ + "p.txt", "through the proxy");
  c->SetTransferType(2);
  c->Upload(local_ + "p.txt", "");
  c->Download("p.txt", local_ + "q.txt");
  EXPECT_EQ(testutil::ReadFileText(local_ + "q.txt"), "through the proxy");
  c->Delete("p.txt");
  c->ChangeDir("/");
  c->RemoveDir(dir);
}

TEST_F(FtpClient, ARefusedQuitRaisesItsReply) {
  // After a refused login the QUIT's refusal is what the caller gets.
  auto c = Client("fake.quit500", "wrong");
  EXPECT_EQ(Raised([&] { c->Connect(); }), "500 QUIT refused for the test");
  EXPECT_EQ(events_, "ConnectionFailed;");
  EXPECT_FALSE(c->Connected());
  // At the end of a good session; the connection is closed all the same.
  c = Client("fake.quit500");
  c->Connect();
  EXPECT_EQ(c->CurrentDir(), "/");
  EXPECT_EQ(Raised([&] { c->Quit(); }), "500 QUIT refused for the test");
  EXPECT_FALSE(c->Connected());
}

TEST_F(FtpClient, WaitsEndAtTheirLimitOrAStopRequest) {
  // A server that accepts and never says a word.
  WSADATA wsa;
  ASSERT_EQ(WSAStartup(MAKEWORD(1, 1), &wsa), 0);
  SOCKET silent = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = inet_addr("127.0.0.1");
  ASSERT_EQ(bind(silent, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(listen(silent, 4), 0);
  int length = sizeof a;
  getsockname(silent, reinterpret_cast<sockaddr*>(&a), &length);

  auto c = Client("proftpd");
  c->Port = ntohs(a.sin_port);
  c->IdleLimit = 300;
  DWORD start = GetTickCount();
  EXPECT_EQ(Raised([&] { c->Connect(); }), "10060:Connection timed out");
  EXPECT_TRUE(c->TimedOut());
  EXPECT_LT(GetTickCount() - start, 3000u);

  // A stop request (WM_QUIT to the thread) ends the wait and is left for
  // the thread's own loop.
  c = Client("proftpd");
  c->Port = ntohs(a.sin_port);
  UINT_PTR timer = SetTimer(nullptr, 0, 200, AskToStop);
  start = GetTickCount();
  EXPECT_EQ(Raised([&] { c->Connect(); }), "Socket readln aborted");
  KillTimer(nullptr, timer);
  EXPECT_TRUE(c->Cancelled());
  EXPECT_LT(GetTickCount() - start, 3000u);
  MSG msg;
  EXPECT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  closesocket(silent);
  WSACleanup();
}

TEST_F(FtpClient, ALostConnectionIsNoticedAndMadeAgainOnRequest) {
  auto c = Client("fake.drop");
  c->IdleLimit = 5000;
  int reconnects = 0;
  c->OnConnectionRequired = [&](bool& handled) {
    ++reconnects;
    c->Connect();
    handled = true;
  };
  c->Connect();
  testutil::WriteFileText(local_ + "one.txt", "one");
  c->SetTransferType(2);
  c->Upload(local_ + "one.txt", "hangup-" + UniqueDir("c"));  // the server hangs up after this one
  for (int attempt = 0; attempt < 3; ++attempt) {
    try {
      c->SetTransferType(2);
      c->Upload(local_ + "one.txt", "drop-two.txt");
      break;
    } catch (const std::exception& e) {
      EXPECT_EQ(attempt, 0) << e.what();
    }
  }
  EXPECT_EQ(reconnects, 1);
  EXPECT_EQ(testutil::ReadFileText(FtpServers().Folder("fakeroot") + "drop-two.txt"), "one");
}
