// The SMTP and POP3 clients against aiosmtpd, Dovecot and scripted odd
// servers: what reaches the server byte for byte, which commands it saw,
// and how every failure ends. Plus the pure rules behind them.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <algorithm>

#include "MailServers.h"
#include "NMPOP3.h"
#include "NMSMTP.h"
#include "NMUUE.h"
#include "OVError.h"
#include "TestUtil.h"

using Lines = std::vector<std::string>;

namespace {

const TMailServers& S() { return MailServers(); }

// A HELO name of this test process, so that the server's records of
// parallel runs do not mix.
std::string Helo(const std::string& name) { return Format("c%lu-%s", GetCurrentProcessId(), name.c_str()); }

std::string Bytes(size_t n, int seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + seed * 7) & 0xFF);
  return s;
}

struct TSmtpRun {
  TNMSMTP smtp;
  Lines events;
  explicit TSmtpRun(const std::string& helo, const std::string& host = "", int port = 25) {
    smtp.Host = host.empty() ? S().Value("addr") : host;
    smtp.Port = port;
    smtp.UserID = helo;
    smtp.TimeOut = 15000;
    smtp.OnConnectionFailed = [this](TPowersock*) { events.push_back("connection failed"); };
    smtp.OnHeaderIncomplete = [this](bool&, int which) { events.push_back(Format("header incomplete %d", which)); };
    smtp.OnRecipientNotFound = [this](const std::string& r) { events.push_back("not found " + r); };
    smtp.OnFailure = [this] { events.push_back("failure"); };
    smtp.PostMessage.FromAddress = "from@example.test";
    smtp.PostMessage.Body = {"Hello."};
  }
  // "" when the mail went out, else the failure's text.
  std::string Send() {
    try {
      smtp.Connect();
      smtp.SendMail();
      return "";
    } catch (const std::exception& e) {
      return e.what();
    }
  }
};

struct TPop3Run {
  TNMPOP3 pop3;
  int authFailures = 0;
  TPop3Run(const std::string& user, const std::string& password, const std::string& host = "", int port = 110) {
    pop3.Host = host.empty() ? S().Value("addr") : host;
    pop3.Port = port;
    pop3.UserID = user;
    pop3.Password = password;
    pop3.TimeOut = 15000;
    pop3.OnAuthenticationFailed = [this](bool&) { ++authFailures; };
  }
  std::string Check() {
    try {
      pop3.Connect();
      return "";
    } catch (const std::exception& e) {
      return e.what();
    }
  }
};

}  // namespace

TEST(MailRules, RecipientAddressesFileNamesAndBoundaries) {
  EXPECT_EQ(EntryAddress("Name <a@b.test>"), "a@b.test");
  EXPECT_EQ(EntryAddress("<a@b.test"), "a@b.test");
  EXPECT_EQ(EntryAddress("SMTP:a@b.test"), "a@b.test");
  EXPECT_EQ(EntryAddress("x:a@b.test:y"), "a@b.test");
  EXPECT_EQ(EntryAddress("plain@b.test"), "plain@b.test");
  EXPECT_EQ(EntryAddress("Name <>"), "");
  EXPECT_EQ(TextLines("\r\n\r\nx"), (Lines{"", "", "x"}));
  EXPECT_EQ(AttachmentName("C:\\dir\\a\"b\r\nc.txt"), "a_b__c.txt");
  EXPECT_EQ(AttachmentName("Z:/x/y.bin"), "y.bin");
  std::string b = RandomBoundary();
  ASSERT_EQ(b.size(), 35u);
  EXPECT_EQ(b.substr(0, 25), "====================54535");
  EXPECT_EQ(b.substr(31), "====");
  EXPECT_EQ(b.substr(25, 6).find_first_not_of("abcdefghijklmnopqrstuvwxy"), std::string::npos);
}

TEST(MailRules, Base64LinesOf45BytesEach) {
  for (size_t n : {0, 1, 44, 45, 46, 90, 91, 65520}) {
    std::string data = Bytes(n, 3), out;
    Base64AppendLines(data.data(), data.size(), out);
    std::string expected;
    for (size_t i = 0; i < n; i += 45) expected += Base64Encode(data.substr(i, 45)) + "\r\n";
    EXPECT_EQ(out, expected) << n;
    EXPECT_EQ(Base64Decode(out), data) << n;
  }
}

TEST(SmtpClient, TheMessageReachesTheServerByteForByte) {
  REQUIRE_MAIL_SERVERS();
  const std::string dir = testutil::MakeTempDir("smtpexact");
  const std::string b45 = Bytes(45, 1), c46 = Bytes(46, 2);
  testutil::WriteFileText(dir + "a0.bin", "");
  testutil::WriteFileText(dir + "b45.bin", b45);
  testutil::WriteFileText(dir + "c46.bin", c46);

  const std::string helo = Helo("exact");
  TSmtpRun run(helo);
  const std::string B = "====================54535fixed====";
  run.smtp.MakeBoundary = [&] { return B; };
  TPostMessage& m = run.smtp.PostMessage;
  m.ToAddress = {"Name <to@example.test>", "second@example.test"};
  m.ToCarbonCopy = {"SMTP:cc@example.test"};
  m.ToBlindCarbonCopy = {"bcc@example.test"};
  m.Subject = "Hi\r\nBcc: evil@example.test";
  m.Body = TextLines("Hello,\r\n.starts with a dot\r\n.\r\nbare\nlf and bare\rcr\r\n");
  m.Body.push_back("tail\nline");
  m.Attachments = {dir + "a0.bin", dir + "b45.bin", dir + "c46.bin"};
  ASSERT_EQ(run.Send(), "");
  EXPECT_EQ(run.events, Lines{});
  EXPECT_EQ(run.smtp.PostMessage.Subject, "");  // cleared after the send

  auto part = [&](const std::string& name) {
    return "--" + B + "\r\nContent-Type: application/octet-stream; name=\"" + name +
           "\"\r\nContent-Transfer-Encoding: base64\r\nContent-Disposition: attachment; filename=\"" + name +
           "\"\r\n\r\n";
  };
  const std::string expected =
      "From: <from@example.test>\r\n"
      "To: Name <to@example.test>,second@example.test\r\n"
      "CC: SMTP:cc@example.test\r\n"
      "Subject: Hi  Bcc: evil@example.test\r\n"
      "Mime-Version: 1.0\r\n"
      "Content-Type: multipart/mixed; boundary=\"" + B + "\"\r\n"
      "\r\n\r\n"
      "--" + B + "\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n"
      "Hello,\r\n.starts with a dot\r\n.\r\nbare\r\nlf and bare\r\ncr\r\ntail\r\nline\r\n" +
      part("a0.bin") + part("b45.bin") + Base64Encode(b45) + "\r\n" + part("c46.bin") +
      Base64Encode(c46.substr(0, 45)) + "\r\n" + Base64Encode(c46.substr(45)) + "\r\n" +
      "--" + B + "--\r\n";
  // The server removes the extra "." it needs in front of lines that begin
  // with one: what it kept is the message before dot-stuffing.
  EXPECT_EQ(S().Kept(helo, ".eml"), expected);
  EXPECT_EQ(S().Kept(helo, ".env"),
            helo + "\nfrom@example.test\nto@example.test\nsecond@example.test\ncc@example.test\nbcc@example.test\n");
  EXPECT_EQ(S().Kept(helo, ".parts"),
            "1|text/plain|\n2|application/octet-stream|a0.bin\n3|application/octet-stream|b45.bin\n"
            "4|application/octet-stream|c46.bin\n");
  EXPECT_EQ(S().Kept(helo, ".part2"), "");
  EXPECT_EQ(S().Kept(helo, ".part3"), b45);
  EXPECT_EQ(S().Kept(helo, ".part4"), c46);
  Lines t = S().Transcript(helo);
  ASSERT_EQ(t.size(), 8u);
  EXPECT_EQ(Lines(t.begin(), t.end() - 1),
            (Lines{"HELO " + helo, "RSET", "MAIL FROM:<from@example.test>", "RCPT TO:<to@example.test>",
                   "RCPT TO:<second@example.test>", "RCPT TO:<cc@example.test>", "RCPT TO:<bcc@example.test>"}));
  testutil::RemoveTree(dir);
}

TEST(SmtpClient, WithoutAttachmentsThePlainFormAndRefusedRecipientsAreLeftOut) {
  REQUIRE_MAIL_SERVERS();
  const std::string helo = Helo("refused");
  TSmtpRun run(helo);
  run.smtp.PostMessage.ToAddress = {"ok@example.test", "no@refused.test", "Empty <>"};
  run.smtp.PostMessage.ToCarbonCopy = {"cc@refused.test"};
  run.smtp.PostMessage.Subject = "";
  ASSERT_EQ(run.Send(), "");
  EXPECT_EQ(run.events, (Lines{"not found no@refused.test", "not found cc@refused.test"}));
  EXPECT_EQ(run.smtp.Refused(), (Lines{"no@refused.test", "cc@refused.test"}));
  // No Subject line for an empty subject; the entry without address
  // stays in the header but sends no RCPT.
  EXPECT_EQ(S().Kept(helo, ".eml"),
            "From: <from@example.test>\r\nTo: ok@example.test,no@refused.test,Empty <>\r\nCC: cc@refused.test\r\n"
            "Mime-Version: 1.0\r\nContent-Type: text/plain; charset=us-ascii\r\n\r\n\r\nHello.\r\n");
  EXPECT_EQ(S().Kept(helo, ".env"), helo + "\nfrom@example.test\nok@example.test\n");
  Lines t = S().Transcript(helo);
  t.resize(std::min<size_t>(t.size(), 6));
  EXPECT_EQ(t, (Lines{"HELO " + helo, "RSET", "MAIL FROM:<from@example.test>", "RCPT TO:<ok@example.test>",
                      "RCPT TO:<no@refused.test>", "RCPT TO:<cc@refused.test>"}));

  // Every recipient refused: the server refuses DATA and the send fails.
  const std::string all = Helo("allrefused");
  TSmtpRun none(all);
  none.smtp.PostMessage.ToAddress = {"a@refused.test"};
  none.smtp.PostMessage.ToCarbonCopy = {"b@refused.test"};
  EXPECT_EQ(none.Send(), "503 Error: need RCPT command");
  EXPECT_EQ(none.events, (Lines{"not found a@refused.test", "not found b@refused.test"}));
  EXPECT_EQ(S().Kept(all, ".eml"), "");
}

TEST(SmtpClient, NothingIsSentForAnIncompleteOrUnsafeMessage) {
  REQUIRE_MAIL_SERVERS();
  struct TCase {
    std::string name, from;
    Lines to, cc, bcc, attachments;
    std::string error, event;
  };
  const std::string missing = testutil::MakeTempDir("smtpmissing") + "gone.bin";
  const TCase cases[] = {
      {"nosender", "", {"to@example.test"}, {}, {}, {}, "Incomplete Header", "header incomplete 1"},
      {"norcpt", "from@example.test", {}, {}, {}, {}, "Incomplete Header", "header incomplete 2"},
      {"badfrom", "a@b.test\r\nRCPT TO:<x@y.test>", {"to@example.test"}, {}, {}, {},
       "Invalid address in the From field: \"a@b.test\r\nRCPT TO:<x@y.test>\"", ""},
      {"badto", "from@example.test", {"x <to@example.test\r\nDATA>"}, {}, {}, {},
       "Invalid address in the To field: \"x <to@example.test\r\nDATA>\"", ""},
      {"badcc", "from@example.test", {"to@example.test"}, {"SMTP:a>b@c.test"}, {}, {},
       "Invalid address in the CC field: \"SMTP:a>b@c.test\"", ""},
      {"badbcc", "from@example.test", {"to@example.test"}, {}, {"<x\n@y.test>"}, {},
       "Invalid address in the BCC field: \"<x\n@y.test>\"", ""},
      {"noattach", "from@example.test", {"to@example.test"}, {}, {}, {missing},
       "Cannot open attachment \"" + missing + "\"", ""},
  };
  for (const TCase& c : cases) {
    const std::string helo = Helo(c.name);
    TSmtpRun run(helo);
    TPostMessage& m = run.smtp.PostMessage;
    m.FromAddress = c.from;
    m.ToAddress = c.to;
    m.ToCarbonCopy = c.cc;
    m.ToBlindCarbonCopy = c.bcc;
    m.Attachments = c.attachments;
    EXPECT_EQ(run.Send(), c.error) << c.name;
    EXPECT_EQ(run.events, c.event.empty() ? Lines{} : Lines{c.event}) << c.name;
    EXPECT_EQ(S().Transcript(helo), Lines{"HELO " + helo}) << c.name;
  }
  // A HELO name with a line break never goes out.
  TSmtpRun injected(Helo("inject") + "\r\nMAIL FROM:<x@y.test>");
  EXPECT_EQ(injected.Send(), "Refused: a command argument holds a line break or a zero byte");
  EXPECT_EQ(S().Transcript(Helo("inject")), Lines{});
}

TEST(SmtpClient, RefusedHeloQuitsAndOddServersFail) {
  REQUIRE_MAIL_SERVERS();
  const std::string helo = "refuse-helo-" + Helo("x");
  TSmtpRun refused(helo);
  refused.smtp.PostMessage.ToAddress = {"to@example.test"};
  EXPECT_EQ(refused.Send(), "Authentication failed");
  EXPECT_EQ(S().Transcript(helo), (Lines{"HELO " + helo, "QUIT"}));

  const std::string fake = S().Value("fakeaddr");
  TSmtpRun busy(Helo("busy"), fake, S().Port("fake.smtp_busy"));
  EXPECT_EQ(busy.Send(), "554 5.3.2 too busy");
  // A reply without a code is no reply, never a success.
  TSmtpRun garbage(Helo("garbage"), fake, S().Port("fake.smtp_garbage"));
  EXPECT_EQ(garbage.Send(), "Invalid reply from the server: hello");
  TSmtpRun silent(Helo("silent"), fake, S().Port("fake.smtp_silent"));
  silent.smtp.TimeOut = 1000;
  EXPECT_EQ(silent.Send(), "10060:Connection timed out");
  EXPECT_TRUE(silent.smtp.TimedOut());
  TSmtpRun closed(Helo("closed"), S().Value("closedaddr"));
  EXPECT_EQ(closed.Send(), "Connection Failed");
  EXPECT_EQ(closed.events, Lines{"connection failed"});
}

TEST(Pop3Client, MessageCountsAndLoginFailuresAgainstDovecot) {
  REQUIRE_MAIL_SERVERS();
  TPop3Run two("tester", "secret");
  EXPECT_EQ(two.Check(), "");
  EXPECT_EQ(two.pop3.MailCount, 2);
  TPop3Run none("nomail", "secret");
  EXPECT_EQ(none.Check(), "");
  EXPECT_EQ(none.pop3.MailCount, 0);

  TPop3Run wrong("tester", "wrong");
  EXPECT_EQ(wrong.Check(), "Authentication failed");
  EXPECT_EQ(wrong.authFailures, 1);
  // A handler that sets Handled gets one more try.
  TPop3Run retried("tester", "wrong");
  retried.pop3.OnAuthenticationFailed = [&](bool& handled) {
    ++retried.authFailures;
    handled = true;
  };
  EXPECT_EQ(retried.Check(), "Authentication failed");
  EXPECT_EQ(retried.authFailures, 2);

  // A password that would end PASS early and delete a message is refused
  // before anything is sent.
  TPop3Run injected("tester", "x\r\nDELE 1");
  EXPECT_EQ(injected.Check(), "Refused: the user name or the password holds a line break or a zero byte");
  EXPECT_FALSE(injected.pop3.Connected());
  EXPECT_EQ(S().MailboxCount("tester"), 2u);
}

TEST(Pop3Client, ScriptedServersSeeOnlyWhatTheyShould) {
  REQUIRE_MAIL_SERVERS();
  const std::string fake = S().Value("fakeaddr");
  TPop3Run ok("tester", "secret", fake, S().Port("fake.pop3_log"));
  EXPECT_EQ(ok.Check(), "");
  EXPECT_EQ(ok.pop3.MailCount, 1);
  // Empty user or password: no connection at all.
  TPop3Run noUser("", "secret", fake, S().Port("fake.pop3_log"));
  EXPECT_EQ(noUser.Check(), "Authentication failed");
  TPop3Run noPassword("tester", "", fake, S().Port("fake.pop3_log"));
  EXPECT_EQ(noPassword.Check(), "Authentication failed");
  testutil::WaitFor([] { return S().FakeLog("pop3_log").size() >= 4; }, 5000);
  EXPECT_EQ(S().FakeLog("pop3_log"), (Lines{"connect", "< USER tester", "< PASS secret", "< STAT"}));

  TPop3Run noGreeting("tester", "secret", fake, S().Port("fake.pop3_nogreet"));
  EXPECT_EQ(noGreeting.Check(), "hello there, no mail here");
  TPop3Run lateOk("tester", "secret", fake, S().Port("fake.pop3_lateok"));
  EXPECT_EQ(lateOk.Check(), "X+OK ready");
  TPop3Run badStat("tester", "secret", fake, S().Port("fake.pop3_badstat"));
  EXPECT_EQ(badStat.Check(), "The server's message count cannot be read: +OK many 10");
  // A refusal after the greeting says goodbye.
  testutil::WaitFor([] { return S().FakeLog("pop3_badstat").size() >= 5; }, 5000);
  EXPECT_EQ(S().FakeLog("pop3_badstat"), (Lines{"connect", "< USER tester", "< PASS secret", "< STAT", "< QUIT"}));
  TPop3Run silent("tester", "secret", fake, S().Port("fake.pop3_silent"));
  silent.pop3.TimeOut = 1000;
  EXPECT_EQ(silent.Check(), "10060:Connection timed out");
  TPop3Run closed("tester", "secret", S().Value("closedaddr"));
  EXPECT_EQ(closed.Check(), "Connection Failed");
}
