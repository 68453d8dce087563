// FTP upload and download steps in jobs of the real program, against
// ProFTPD, through ftp-proxy and our relay, and against scripted odd
// servers: the log lines, the files on both sides and what the servers saw.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "FtpServers.h"
#include "NetUtil.h"
#include "OVError.h"
#include "ProgramTest.h"

using namespace basicsblocks;

namespace {

constexpr int32_t kFtpID = 1865837835;
constexpr UINT kStopJob = 0x600C;
enum { mUpload = 0, mDownload = 1 };

struct TBlock {
  std::string files, dir, host = "127.0.0.1";
  int port = 0;
  std::string user = "tester", password = "secret";
  bool useProxy = false;
  std::string proxy;
  int proxyPort = 21;
};

// The nine elements, byte by byte.
Bytes FtpBlock(const TBlock& b) {
  return Cat({Str(b.files), Str(b.dir), Str(b.host), Dw(static_cast<uint32_t>(b.port)), Str(b.user),
              Str(ScramblePassword(b.password)), {uint8_t(b.useProxy)}, Str(b.proxy),
              Dw(static_cast<uint32_t>(b.proxyPort))});
}

jobbytes::StepSpec FtpStep(int method, const TBlock& b) {
  return jobbytes::StepSpec{kFtpID, method, method == mUpload ? "Send" : "Fetch", true, FtpBlock(b)};
}

std::vector<std::string> Attempts(const char* format, const std::string& file = "") {
  std::vector<std::string> lines;
  for (int i = 1; i <= 9; ++i) lines.push_back(file.empty() ? Format(format, i) : Format(format, i, file.c_str()));
  return lines;
}

// The job log's lines of the step: after "Executing", before the run's end.
std::vector<std::string> StepLines(const std::vector<std::string>& log) {
  auto begin = std::find_if(log.begin(), log.end(), [](const std::string& l) { return l.rfind("Executing", 0) == 0; });
  auto end = std::find_if(begin, log.end(), [](const std::string& l) { return l.rfind("Job executed", 0) == 0; });
  return begin == log.end() ? std::vector<std::string>() : std::vector<std::string>(begin + 1, end);
}

size_t Count(const std::vector<std::string>& lines, const std::string& prefix) {
  return static_cast<size_t>(
      std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.rfind(prefix, 0) == 0; }));
}

class FtpProgram : public BasicsProgram {
 protected:
  void SetUp() override {
    REQUIRE_FTP_SERVERS();
    BasicsProgram::SetUp();
    local_ = testutil::MakeTempDir("ftpprog");
    tag_ = Format("p%lu", GetCurrentProcessId());
  }
  void TearDown() override {
    if (!local_.empty()) testutil::RemoveTree(local_);
    if (program_) BasicsProgram::TearDown();
  }
  void RunJob(int32_t id) {
    HANDLE run = Run(id, "Test");
    EXPECT_TRUE(Finished(run, 120000)) << id;
  }
  // After Close: the step's log lines and how the run ended.
  std::vector<std::string> StepLog(int32_t id, std::string& end) {
    std::vector<std::string> log = JobLog(id);
    end = log.empty() ? "" : log.back();
    return StepLines(log);
  }
  std::string local_;
  std::string tag_;
  const TFtpServers& s_ = FtpServers();
};

}  // namespace

TEST_F(FtpProgram, UploadAndDownloadJobsAgainstProFtpd) {
  // Upload: a pattern (hidden files too), one file, a missing file, a blank line.
  const std::string up = local_ + "up\\";
  testutil::MakeDirs(up);
  testutil::WriteFileText(up + tag_ + "-a.txt", "first");
  testutil::WriteFileText(up + tag_ + "-b.txt", "second, hidden");
  SetFileAttributesA((up + tag_ + "-b.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  testutil::WriteFileText(up + tag_ + "-c.bin", PatternBytes(200000, 3));
  testutil::MakeDirs(up + "folder.txt");  // a folder is never uploaded
  TBlock u;
  u.files = up + "*.txt\r\n\r\n" + up + tag_ + "-c.bin\r\n" + up + "missing.bin\r\n";
  u.dir = "/incoming";
  u.port = s_.Port("proftpd");
  AddJob(0x201, "Upload", {FtpStep(mUpload, u)});

  // Download: a pattern in another folder, one file, a missing file.
  const std::string pub = s_.Folder("root") + "pub\\" + tag_ + "\\";
  testutil::MakeDirs(pub);
  testutil::WriteFileText(pub + "x.zip", "x zip");
  testutil::WriteFileText(pub + "Y.ZIP", "Y ZIP");
  testutil::WriteFileText(pub + "z.txt", "z text");
  const std::string save = local_ + "save";
  testutil::MakeDirs(save);
  testutil::WriteFileText(save + "\\z.txt", "old z");
  TBlock d;
  d.files = "/pub/" + tag_ + "/*.zip\r\n/pub/" + tag_ + "/z.txt\r\n/pub/" + tag_ + "/nothere.txt";
  d.dir = save;
  d.port = s_.Port("proftpd");
  AddJob(0x202, "Download", {FtpStep(mDownload, d)});
  Start();

  RunJob(0x201);
  const std::string incoming = s_.Folder("root") + "incoming\\";
  EXPECT_EQ(testutil::ReadFileText(incoming + tag_ + "-a.txt"), "first");
  EXPECT_EQ(testutil::ReadFileText(incoming + tag_ + "-b.txt"), "second, hidden");
  EXPECT_EQ(FileSha256(incoming + tag_ + "-c.bin"), TextSha256(PatternBytes(200000, 3)));
  auto commands = s_.Log("proftpd.commands.log");
  EXPECT_TRUE(Has(commands, "CWD /incoming -> 250"));
  EXPECT_TRUE(Has(commands, "STOR " + tag_ + "-c.bin -> 226"));

  RunJob(0x202);
  EXPECT_EQ(testutil::ReadFileText(save + "\\x.zip"), "x zip");
  EXPECT_EQ(testutil::ReadFileText(save + "\\Y.ZIP"), "Y ZIP");
  EXPECT_EQ(testutil::ReadFileText(save + "\\z.txt"), "z text");
  EXPECT_EQ(testutil::ListFiles(save + "\\", "*"), (std::vector<std::string>{"Y.ZIP", "x.zip", "z.txt"}));
  Close();

  std::string end;
  auto lines = StepLog(0x201, end);
  EXPECT_EQ(lines, (std::vector<std::string>{"File \"\" does not exist.",
                                             "File \"" + up + "missing.bin\" does not exist.", "3 files uploaded"}))
      << Joined(lines);
  EXPECT_EQ(end, "Job executed successfully");
  lines = StepLog(0x202, end);
  std::vector<std::string> expected = Attempts("Attempt %d: File \"%s\" Download failed.", "/pub/" + tag_ + "/nothere.txt");
  expected.push_back("3 files downloaded");
  EXPECT_EQ(lines, expected) << Joined(lines);
  EXPECT_EQ(end, "Job executed successfully");
}

TEST_F(FtpProgram, ThroughFirewallsAndProxies) {
  // Upload through our relay: the login is USER user@host.
  testutil::WriteFileText(local_ + tag_ + "-fw.txt", "through the firewall");
  TBlock u;
  u.files = local_ + tag_ + "-fw.txt";
  u.dir = "/incoming";
  u.host = "ftp.inside.example";
  u.port = 2121;  // the firewall's business, not ours
  u.useProxy = true;
  u.proxy = "127.0.0.1";
  u.proxyPort = s_.Port("relay");
  AddJob(0x203, "Upload through firewall", {FtpStep(mUpload, u)});
  // Download through ftp-proxy, which reads the target from the user name.
  TBlock d;
  d.files = "/incoming/" + tag_ + "-fw.txt";
  d.dir = local_ + "back";
  testutil::MakeDirs(d.dir);
  d.host = Format("127.0.0.1:%d", s_.Port("proftpd"));
  d.useProxy = true;
  d.proxy = "127.0.0.1";
  d.proxyPort = s_.Port("ftpproxy");
  AddJob(0x204, "Download through proxy", {FtpStep(mDownload, d)});
  Start();

  size_t relayFrom = s_.Log("relay.log").size();
  RunJob(0x203);
  auto relay = s_.Log("relay.log");
  ASSERT_GT(relay.size(), relayFrom + 1);
  EXPECT_EQ(relay[relayFrom], "USER tester@ftp.inside.example");
  EXPECT_EQ(relay[relayFrom + 1], "PASS secret");
  EXPECT_EQ(testutil::ReadFileText(s_.Folder("root") + "incoming\\" + tag_ + "-fw.txt"), "through the firewall");
  RunJob(0x204);
  EXPECT_EQ(testutil::ReadFileText(d.dir + "\\" + tag_ + "-fw.txt"), "through the firewall");
  Close();

  std::string end;
  EXPECT_EQ(StepLog(0x203, end), std::vector<std::string>{"1 files uploaded"});
  EXPECT_EQ(StepLog(0x204, end), std::vector<std::string>{"1 files downloaded"});
}

TEST_F(FtpProgram, ConnectionFailuresFailTheStepAfterNineAttempts) {
  TBlock u;
  u.files = local_ + "any.txt";
  u.port = 1;  // nobody listens
  AddJob(0x205, "Closed port", {FtpStep(mUpload, u)});
  TBlock d;
  d.files = "/pub/x";
  d.dir = local_;
  d.port = s_.Port("proftpd");
  d.password = "wrong";
  AddJob(0x206, "Wrong password", {FtpStep(mDownload, d)});
  Start();

  RunJob(0x205);
  RunJob(0x206);
  Close();

  std::string end;
  auto lines = StepLog(0x205, end);
  auto expected = Attempts("Attempt %d: Connect failed.");
  expected.push_back("Connection failed");
  expected.push_back("0 files uploaded");
  EXPECT_EQ(lines, expected) << Joined(lines);
  EXPECT_EQ(end, "Job executed abnormally");

  lines = StepLog(0x206, end);
  expected = Attempts("Attempt %d: Connection failed.");
  expected.push_back("Connection failed");
  expected.push_back("0 files downloaded");
  EXPECT_EQ(lines, expected) << Joined(lines);
  EXPECT_EQ(end, "Job executed abnormally");
  // The password never reaches a log.
  for (const std::string& l : JobLog(0x206)) EXPECT_EQ(l.find("wrong"), std::string::npos) << l;
}

TEST_F(FtpProgram, HostileServers) {
  // A listing with names that are not plain file names.
  TBlock evil;
  evil.files = "*.zip";
  evil.dir = local_ + "evil";
  testutil::MakeDirs(evil.dir);
  evil.port = s_.Port("fake.evil");
  AddJob(0x207, "Evil listing", {FtpStep(mDownload, evil)});
  // 426 after the data: the file fails, the old copy stays, the step does not fail.
  TBlock aborted;
  aborted.files = "good.zip";
  aborted.dir = local_ + "aborted";
  testutil::MakeDirs(aborted.dir);
  testutil::WriteFileText(aborted.dir + "\\good.zip", "old copy");
  aborted.port = s_.Port("fake.abort426");
  AddJob(0x208, "Aborted transfer", {FtpStep(mDownload, aborted)});
  // The server drops the connection after the first file: the step
  // connects again, changes into its directory again and goes on.
  testutil::MakeDirs(s_.Folder("fakeroot") + "updir");
  const std::string first = "hangup-" + tag_ + ".txt";
  testutil::WriteFileText(local_ + first, "one");
  testutil::WriteFileText(local_ + "two.txt", "two");
  TBlock drop;
  drop.files = local_ + first + "\r\n" + local_ + "two.txt";
  drop.dir = "/updir";
  drop.port = s_.Port("fake.drop");
  AddJob(0x209, "Dropped connection", {FtpStep(mUpload, drop)});
  Start();

  size_t evilFrom = s_.Log("fake-evil.log").size();
  RunJob(0x207);
  EXPECT_EQ(testutil::ListFiles(evil.dir + "\\", "*"), std::vector<std::string>{"good.zip"});
  EXPECT_EQ(testutil::ListFiles(local_, "*.zip"), std::vector<std::string>{});
  auto evilLog = s_.Log("fake-evil.log");
  std::vector<std::string> sent(evilLog.begin() + static_cast<long>(evilFrom), evilLog.end());
  EXPECT_EQ(Count(sent, "CWD"), 0u) << "a pattern without a folder changes no directory";
  EXPECT_EQ(Count(sent, "RETR"), 1u);

  RunJob(0x208);
  EXPECT_EQ(testutil::ReadFileText(aborted.dir + "\\good.zip"), "old copy");
  EXPECT_EQ(testutil::ListFiles(aborted.dir + "\\", "*"), std::vector<std::string>{"good.zip"});

  size_t dropFrom = s_.Log("fake-drop.log").size();
  RunJob(0x209);
  auto dropLog = s_.Log("fake-drop.log");
  std::vector<std::string> dropSent(dropLog.begin() + static_cast<long>(dropFrom), dropLog.end());
  EXPECT_EQ(Count(dropSent, "CWD /updir"), 2u) << Joined(dropSent);
  EXPECT_EQ(Count(dropSent, "USER tester"), 2u);
  EXPECT_EQ(testutil::ReadFileText(s_.Folder("fakeroot") + "updir\\two.txt"), "two");
  Close();

  std::string end;
  auto lines = StepLog(0x207, end);
  EXPECT_EQ(lines, (std::vector<std::string>{
                       "Skipped \"../evil.zip\" from the server: not a plain file name.",
                       "Skipped \"a\\b.zip\" from the server: not a plain file name.",
                       "Skipped \"C:x.zip\" from the server: not a plain file name.",
                       "Skipped \".\" from the server: not a plain file name.",
                       "Skipped \"..\" from the server: not a plain file name.",
                       "Skipped \"ctl?.zip\" from the server: not a plain file name.",
                       "1 files downloaded"}))
      << Joined(lines);
  EXPECT_EQ(end, "Job executed successfully");
  lines = StepLog(0x208, end);
  auto expected = Attempts("Attempt %d: File \"%s\" Download failed.", "good.zip");
  expected.push_back("0 files downloaded");
  EXPECT_EQ(lines, expected) << Joined(lines);
  EXPECT_EQ(end, "Job executed successfully");
  lines = StepLog(0x209, end);
  EXPECT_EQ(lines, (std::vector<std::string>{"Attempt 1: File \"" + local_ + "two.txt\" upload failed.", "2 files uploaded"}))
      << Joined(lines);
}

TEST_F(FtpProgram, AStopRequestOrATimeLimitEndsAStalledStep) {
  // The server takes the upload's data connection and never reads from it:
  // the step waits for room to send until the stop request.
  const std::string big = local_ + "stall-" + tag_ + ".bin";
  WritePatternFile(big, 48u << 20, 9);
  TBlock stalled;
  stalled.files = big;
  stalled.port = s_.Port("fake.stall");
  AddJob(0x20A, "Stalled upload", {FtpStep(mUpload, stalled)});
  // A directory change the server never answers: the reply's time limit.
  testutil::WriteFileText(local_ + "small.txt", "small");
  TBlock silent = stalled;
  silent.files = local_ + "small.txt";
  silent.dir = "/stall";
  AddJob(0x20B, "Unanswered CWD", {FtpStep(mUpload, silent)});
  // FTP right after the stop, against a server that would refuse a QUIT:
  // the step sends none, and its file counts.
  TBlock after;
  after.files = "good.zip";
  after.dir = local_ + "after";
  testutil::MakeDirs(after.dir);
  after.port = s_.Port("fake.quit500");
  AddJob(0x20C, "Download after the stop", {FtpStep(mDownload, after)});
  Start({"ORVANE_NET_LIMITS=10000,5000"});

  const size_t from = s_.Log("fake-stall.log").size();
  HANDLE run = Run(0x20A, "Test");
  ASSERT_NE(run, nullptr);
  ASSERT_TRUE(testutil::WaitFor(
      [&] {
        auto log = s_.Log("fake-stall.log");
        return log.size() > from &&
               std::any_of(log.begin() + static_cast<long>(from), log.end(),
                           [](const std::string& l) { return l.rfind("STOR ", 0) == 0; });
      },
      15000));
  SendMessageA(program_->AppWindow(), kStopJob, 0x20A, 0);
  // The stop, not the limit, ends the wait: no failed attempt is logged.
  EXPECT_TRUE(Finished(run, 15000));
  RunJob(0x20B);
  const size_t quitFrom = s_.Log("fake-quit500.log").size();
  RunJob(0x20C);
  EXPECT_EQ(testutil::ReadFileText(after.dir + "\\good.zip"), "good zip\n");
  auto quitLog = s_.Log("fake-quit500.log");
  EXPECT_EQ(Count(std::vector<std::string>(quitLog.begin() + static_cast<long>(quitFrom), quitLog.end()), "QUIT"), 0u);
  Close();

  std::string end;
  auto lines = StepLog(0x20A, end);
  EXPECT_EQ(lines, (std::vector<std::string>{"Socket send aborted", "0 files uploaded", "Aborted"})) << Joined(lines);
  EXPECT_EQ(end, "Aborted");
  lines = StepLog(0x20B, end);
  EXPECT_EQ(lines, (std::vector<std::string>{"10060:Connection timed out", "0 files uploaded"})) << Joined(lines);
  EXPECT_EQ(end, "Job executed abnormally");
  lines = StepLog(0x20C, end);
  EXPECT_EQ(lines, std::vector<std::string>{"1 files downloaded"}) << Joined(lines);
  EXPECT_EQ(end, "Job executed successfully");
  auto main = MainLog();
  EXPECT_FALSE(HasPrefix(main, "Job [")) << Joined(main);  // nobody had to be killed
}

namespace {

enum { mHttp = 2, mScript = 3 };

struct TScriptBlock {
  std::string host = "127.0.0.1";
  int port = 0;
  bool passive = false;
  std::string user = "tester", password = "secret";
  bool abort = false;
  std::string script;
};

// The thirteen elements, byte by byte.
jobbytes::StepSpec ScriptStep(const TScriptBlock& b) {
  Bytes block = Cat({Str(b.host), Dw(static_cast<uint32_t>(b.port)), {uint8_t(b.passive)}, Str(b.user),
                     Str(ScramblePassword(b.password)), {uint8_t(0)}, Str(""), Dw(21), Str(""),
                     Str(ScramblePassword("")), {uint8_t(0)}, {uint8_t(b.abort)}, Str(b.script)});
  return jobbytes::StepSpec{kFtpID, mScript, "Script", true, block};
}

jobbytes::StepSpec HttpStep(const TBlock& b) { return jobbytes::StepSpec{kFtpID, mHttp, "Web", true, FtpBlock(b)}; }

}  // namespace

TEST_F(FtpProgram, FtpScriptJobsAgainstProFtpd) {
  const std::string pub = s_.Folder("root") + "pub\\" + tag_ + "\\";
  testutil::MakeDirs(pub);
  testutil::WriteFileText(pub + "readme.txt", "read me");
  testutil::WriteFileText(local_ + tag_ + "-up.bin", PatternBytes(100000, 5));
  TScriptBlock b;
  b.port = s_.Port("proftpd");
  b.script = "cd /pub/" + tag_ + "\r\n# fetch the notes\r\nget readme.txt " + local_ + "\r\ntype i\r\nput " + local_ +
             tag_ + "-up.bin /incoming\r\nfoo\r\npwd";
  AddJob(0x301, "Script", {ScriptStep(b)});
  TScriptBlock aborting = b;
  aborting.abort = true;
  aborting.script = "cd /no/such/folder\r\npwd";
  AddJob(0x302, "Script that aborts", {ScriptStep(aborting)});
  TScriptBlock closed = b;
  closed.port = 1;
  AddJob(0x303, "Script without a server", {ScriptStep(closed)});
  Start();
  RunJob(0x301);
  RunJob(0x302);
  RunJob(0x303);
  Close();

  EXPECT_EQ(testutil::ReadFileText(local_ + "readme.txt"), "read me");
  EXPECT_EQ(FileSha256(s_.Folder("root") + "incoming\\" + tag_ + "-up.bin"), TextSha256(PatternBytes(100000, 5)));
  std::string end;
  auto lines = StepLog(0x301, end);
  EXPECT_EQ(lines, (std::vector<std::string>{"CD command succesful", "GET command succesful", "TYPE command succesful",
                                             "1 files was uploaded", "PUT command succesful",
                                             "Error in line 6: invalid command \"FOO\"", "Current dir is /pub/" + tag_,
                                             "PWD command succesful"}))
      << Joined(lines);
  EXPECT_EQ(end, "Job executed successfully");
  lines = StepLog(0x302, end);
  EXPECT_EQ(lines, (std::vector<std::string>{"550 /no/such/folder: No such file or directory", "CD command abnormal",
                                             "Script executing aborted."}))
      << Joined(lines);
  EXPECT_EQ(end, "Job executed abnormally");
  lines = StepLog(0x303, end);
  EXPECT_EQ(lines, std::vector<std::string>{"Connection Failed"}) << Joined(lines);
  EXPECT_EQ(end, "Job executed abnormally");
}

TEST_F(FtpProgram, HttpDownloadJobsAgainstNginxDirectAndThroughTinyproxy) {
  const TFtpServers& h = HttpServers();
  if (!h.Loaded) GTEST_SKIP() << "HTTP test servers are not running";
  const std::string save = local_ + "web";
  testutil::MakeDirs(save);
  testutil::WriteFileText(save + "\\missing.txt", "old copy");
  TBlock b;
  b.files = "/hello.txt\r\ndir/file.zip\r\n/private/secret.txt\r\n/missing.txt\r\n/\r\n/moved";
  b.dir = save;
  b.port = h.Port("nginx");
  b.user = "test";
  AddJob(0x311, "Web", {HttpStep(b)});
  TBlock p;
  p.files = "/hello.txt";
  p.dir = local_ + "proxied";
  testutil::MakeDirs(p.dir);
  p.port = h.Port("nginx");
  p.user = "";
  p.password = "";
  p.useProxy = true;
  p.proxy = "127.0.0.1";
  p.proxyPort = h.Port("tinyproxy");
  AddJob(0x312, "Web through a proxy", {HttpStep(p)});
  Start();
  RunJob(0x311);
  RunJob(0x312);
  Close();

  EXPECT_EQ(testutil::ListFiles(save + "\\", "*"),
            (std::vector<std::string>{"file.zip", "hello.txt", "index.html", "missing.txt", "moved", "secret.txt"}));
  EXPECT_EQ(testutil::ReadFileText(save + "\\secret.txt"), "the private page\n");
  EXPECT_EQ(testutil::ReadFileText(save + "\\moved"), "hello from nginx\n");
  EXPECT_EQ(testutil::ReadFileText(save + "\\index.html"), "the index\n");
  EXPECT_EQ(testutil::ReadFileText(save + "\\missing.txt"), "old copy");
  EXPECT_EQ(testutil::ReadFileText(p.dir + "\\hello.txt"), "hello from nginx\n");
  std::string end;
  auto lines = StepLog(0x311, end);
  EXPECT_EQ(lines, (std::vector<std::string>{"HTTP error 404", "5 files downloaded"})) << Joined(lines);
  EXPECT_EQ(end, "Job executed successfully");
  lines = StepLog(0x312, end);
  EXPECT_EQ(lines, std::vector<std::string>{"1 files downloaded"}) << Joined(lines);
  auto access = h.Log("access.log");
  EXPECT_TRUE(std::any_of(access.begin(), access.end(), [](const std::string& l) {
    return l.rfind("GET /private/secret.txt HTTP/1.0|127.0.0.1|Basic dGVzdDpzZWNyZXQ=|", 0) == 0;
  }));
}
