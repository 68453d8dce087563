// "Send Message" and "Check for Mail" in jobs of the real program, against
// aiosmtpd and Dovecot on ports 25 and 110: a message with attachments
// that the server delivers into a mailbox the next job checks, the stop
// rule under both settings, and the texts every failure logs.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <algorithm>

#include "MailServers.h"
#include "NetUtil.h"
#include "OVError.h"
#include "ProgramTest.h"

using namespace basicsblocks;
using Lines = std::vector<std::string>;

namespace {

constexpr int32_t kEmailID = 310186230;
enum { mSend = 0, mCheck = 1 };

const TMailServers& S() { return MailServers(); }

std::string PatternText(size_t n, int seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 151 + (i >> 8) + seed) & 0xFF);
  return s;
}

struct TSend {
  std::string host, user, from = "orvane@example.test", to, cc, subject = "Report", body = "Hello", attachments;
};

jobbytes::StepSpec SendStep(const TSend& s) {
  return jobbytes::StepSpec{kEmailID, mSend, "Mail",  true,
                            Cat({Str(s.host), Str(s.user), Str(s.from), Str(s.to), Str(s.cc), Str(s.subject),
                                 Str(s.body), Str(s.attachments)})};
}

jobbytes::StepSpec CheckStep(const std::string& host, const std::string& user, const std::string& password,
                             uint32_t stopIf) {
  return jobbytes::StepSpec{kEmailID, mCheck, "Check " + user, true,
                            Cat({Str(host), Str(user), Str(ScramblePassword(password)), Dw(stopIf)})};
}

class EmailProgram : public BasicsProgram {
 protected:
  void SetUp() override {
    REQUIRE_MAIL_SERVERS();
    BasicsProgram::SetUp();
    local_ = testutil::MakeTempDir("mailprog");
    tag_ = Format("p%lu", GetCurrentProcessId());
  }
  void TearDown() override {
    if (!local_.empty()) testutil::RemoveTree(local_);
    if (program_) BasicsProgram::TearDown();
  }
  void RunJob(int32_t id) {
    HANDLE run = Run(id, "Test");
    EXPECT_TRUE(Finished(run, 60000)) << id;
  }
  // After Close: the job's log lines from its first step on, each with
  // its level letter ("I Executing ...", "E ...").
  Lines RunLines(int32_t id) const {
    Lines lines;
    bool in = false;
    for (const std::string& raw : testutil::ReadLines(program_->LogsDir() + Format("%08X.log", id))) {
      std::string text = testutil::LogText(raw.size() > 2 ? raw.substr(2) : raw);
      in = in || text.rfind("Executing", 0) == 0;
      if (in) lines.push_back(raw.substr(0, 2) + text);
    }
    return lines;
  }
  std::string local_;
  std::string tag_;
};

}  // namespace

TEST_F(EmailProgram, SendsAttachmentsTheServerDeliversAndChecksMailboxes) {
  const std::string att = local_ + "att\\";
  testutil::MakeDirs(att + "folder.bin");  // a folder is never attached
  const std::string one = PatternText(100000, 1), two = "two";
  testutil::WriteFileText(att + "one.bin", one);
  testutil::WriteFileText(att + "two.bin", two);
  SetFileAttributesA((att + "two.bin").c_str(), FILE_ATTRIBUTE_HIDDEN);
  testutil::WriteFileText(local_ + "single.txt", "single\r\n");

  TSend s;
  s.host = S().Value("addr");
  s.user = tag_ + "-send";
  s.to = "inbox@mail.test \"Second <second@example.test>\"";
  s.cc = "nobody@refused.test";
  s.body = "Hello\r\n.dot line";
  s.attachments = att + "*.bin\r\n\r\n" + local_ + "single.txt";
  AddJob(0x301, "Send", {SendStep(s)});
  const std::string addr = S().Value("addr");
  // 2 messages for tester, none for nomail: each setting once each way.
  AddJob(0x302, "Check", {CheckStep(addr, "inbox", "secret", 1), CheckStep(addr, "nomail", "secret", 0),
                          CheckStep(addr, "tester", "secret", 1), CheckStep(addr, "tester", "secret", 0),
                          CheckStep(addr, "nomail", "secret", 1)});
  AddJob(0x303, "Empty", {CheckStep(addr, "nomail", "secret", 1)});
  Start();
  RunJob(0x301);
  RunJob(0x302);
  RunJob(0x303);
  Close();

  EXPECT_EQ(RunLines(0x301), (Lines{"I Executing \"Mail\"", "W Recipient \"nobody@refused.test\" not found",
                                    "I Job executed successfully"}));
  const std::string helo = s.user;
  EXPECT_EQ(S().Kept(helo, ".env"), helo + "\norvane@example.test\ninbox@mail.test\nsecond@example.test\n");
  EXPECT_EQ(S().Kept(helo, ".parts"),
            "1|text/plain|\n2|application/octet-stream|one.bin\n3|application/octet-stream|two.bin\n"
            "4|application/octet-stream|single.txt\n");
  EXPECT_EQ(S().Kept(helo, ".part1"), "Hello\r\n.dot line");
  EXPECT_EQ(S().Kept(helo, ".part2"), one);
  EXPECT_EQ(S().Kept(helo, ".part3"), two);
  EXPECT_EQ(S().Kept(helo, ".part4"), "single\r\n");
  const std::string eml = S().Kept(helo, ".eml");
  EXPECT_EQ(eml.substr(0, eml.find("Mime-Version")),
            "From: <orvane@example.test>\r\nTo: inbox@mail.test,Second <second@example.test>\r\n"
            "CC: nobody@refused.test\r\nSubject: Report\r\n");
  EXPECT_GE(S().MailboxCount("inbox"), 1u);

  EXPECT_EQ(RunLines(0x302), (Lines{"I Executing \"Check inbox\"", "I Executing \"Check nomail\"",
                                    "I Executing \"Check tester\"", "I Executing \"Check tester\"", "W Aborted"}));
  EXPECT_EQ(RunLines(0x303), (Lines{"I Executing \"Check nomail\"", "W Aborted"}));
}

TEST_F(EmailProgram, FailuresLogTheirTextsAndNeverThePassword) {
  const std::string addr = S().Value("addr"), fake = S().Value("fakeaddr");
  AddJob(0x311, "Wrong", {CheckStep(addr, "tester", "wrong-pw", 1)});
  AddJob(0x312, "Closed", {CheckStep(S().Value("closedaddr"), "tester", "secret", 1)});
  AddJob(0x313, "Greeting", {CheckStep(fake, "tester", "secret", 1)});
  AddJob(0x314, "NoUser", {CheckStep(fake, "", "secret", 1)});
  TSend s;
  s.host = addr;
  s.user = tag_ + "-nofrom";
  s.from = "";
  s.to = "a@example.test";
  AddJob(0x315, "NoFrom", {SendStep(s)});
  s.user = tag_ + "-allrefused";
  s.from = "orvane@example.test";
  s.to = "a@refused.test";
  s.cc = "b@refused.test";
  AddJob(0x316, "AllRefused", {SendStep(s)});
  s.user = tag_ + "-missing";
  s.to = "a@example.test";
  s.cc = "";
  s.attachments = local_ + "missing.bin";
  AddJob(0x317, "Missing", {SendStep(s)});

  Start();
  for (int32_t id = 0x311; id <= 0x317; ++id) RunJob(id);
  Close();

  auto failed = [&](int32_t id) {
    Lines lines = RunLines(id);
    EXPECT_EQ(lines.size(), 3u) << Joined(lines);
    EXPECT_EQ(lines.empty() ? "" : lines.back(), "E Job executed abnormally") << id;
    return lines.size() == 3 ? lines[1] : std::string();
  };
  EXPECT_EQ(failed(0x311), "E Authentication failed.");
  EXPECT_EQ(failed(0x312), "E Connection failed.");
  // No handler names a greeting without "+OK": the greeting itself is
  // logged rather than an empty line.
  EXPECT_EQ(failed(0x313), "E hello there, no mail here");
  EXPECT_EQ(failed(0x314), "E Authentication failed");
  // Only the greeting job reached the scripted server.
  Lines fakeLog = S().FakeLog("pop3_program");
  EXPECT_EQ(std::count(fakeLog.begin(), fakeLog.end(), "connect"), 1) << Joined(fakeLog);

  EXPECT_EQ(failed(0x315), "E Header Incomplete.");
  EXPECT_EQ(S().Transcript(tag_ + "-nofrom"), Lines{"HELO " + tag_ + "-nofrom"});
  EXPECT_EQ(failed(0x316), "E Recipient \"b@refused.test\" not found");
  EXPECT_EQ(failed(0x317), "E Cannot open attachment \"" + local_ + "missing.bin\"");

  for (int32_t id = 0x311; id <= 0x317; ++id)
    for (const std::string& line : RunLines(id)) {
      EXPECT_EQ(line.find("wrong-pw"), std::string::npos) << line;
      EXPECT_EQ(line.find("secret"), std::string::npos) << line;
    }
}
