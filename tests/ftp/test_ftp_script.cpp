// The FTP script interpreter against ProFTPD and the scripted pyftpdlib
// servers: what each script sends (the servers' command logs), what it
// reports, and what lands on both sides.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <memory>

#include "FtpScr.h"
#include "FtpServers.h"
#include "OVError.h"
#include "TestUtil.h"

namespace {

std::vector<std::string> Since(const std::string& file, size_t from) {
  auto all = FtpServers().Log(file);
  return std::vector<std::string>(all.begin() + static_cast<long>(std::min(from, all.size())), all.end());
}

// Commands of a ProFTPD log without their replies ("CWD /x -> 250").
bool Sent(const std::vector<std::string>& log, const std::string& line) {
  return std::find(log.begin(), log.end(), line) != log.end();
}

class FtpScript : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_FTP_SERVERS();
    local_ = testutil::MakeTempDir("ftpscript");
    tag_ = Format("s%lu-%lu", GetCurrentProcessId(), GetTickCount());
  }
  void TearDown() override {
    if (!local_.empty()) testutil::RemoveTree(local_);
  }
  std::unique_ptr<TNMFTP> Client(const std::string& server) {
    auto c = std::make_unique<TNMFTP>();
    c->Host = "127.0.0.1";
    c->Port = FtpServers().Port(server);
    c->UserID = "tester";
    c->Password = "secret";
    c->ConnectLimit = 10000;
    c->IdleLimit = 30000;
    return c;
  }
  // Runs the lines on a new connection; the reports as "<level> <text>".
  std::vector<std::string> Run(const std::string& server, const std::vector<std::string>& lines, bool abort = false,
                               bool* result = nullptr) {
    auto c = Client(server);
    std::vector<std::string> reports;
    TFtpScript script(c.get(), [&](uint8_t level, const std::string& text) {
      reports.push_back(std::to_string(level) + " " + text);
    });
    bool ok = script.Run(lines, abort);
    if (result) *result = ok;
    return reports;
  }
  size_t Mark() const { return FtpServers().Log("proftpd.commands.log").size(); }
  std::vector<std::string> SentSince(size_t mark) const { return Since("proftpd.commands.log", mark); }
  std::string Root() const { return FtpServers().Folder("root"); }

  std::string local_, tag_;
};

}  // namespace

TEST_F(FtpScript, CommandsAndTheirReportsAgainstProFtpd) {
  const std::string pub = Root() + "pub\\" + tag_ + "\\";
  testutil::MakeDirs(pub);
  testutil::WriteFileText(pub + "readme.txt", "read me");
  const size_t mark = Mark();
  bool ok = false;
  auto reports = Run("proftpd",
                     {"cd /pub/" + tag_, "# note", "", " , ", "get readme.txt " + local_, "pwd", "foo bar",
                      "rmdir old", "rename a.txt", "mkdir \"/incoming/new " + tag_ + "\"",
                      "rename \"/incoming/new " + tag_ + "\",/incoming/" + tag_, "docommand \"SITE CHMOD 700 /incoming/" + tag_ + "\"",
                      "rmdir /incoming/" + tag_, "pasv off", "pasv maybe", "PASV",
                      "type e", "type b", "Type i", "type"},
                     false, &ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(testutil::ReadFileText(local_ + "readme.txt"), "read me");
  const std::vector<std::string> expected = {
      "0 CD command succesful",
      "0 GET command succesful",
      "0 Current dir is /pub/" + tag_,
      "0 PWD command succesful",
      "2 Error in line 7: invalid command \"FOO\"",
      "2 550 old: No such file or directory",
      "1 RMDIR command abnormal",
      "2 Error in line 9, syntax: RENAME filename newfilename",
      "0 MKDIR command succesful",
      "0 RENAME command succesful",
      "0 DOCOMMAND command succesful",
      "0 RMDIR command succesful",
      "0 PASSIVE MODE is OFF",
      "0 PASV command succesful",
      "0 PASSIVE MODE is ON",
      "0 PASV command succesful",
      "2 Error in line 17, syntax: TYPE [A/I]",
      "0 TYPE command succesful",
      "0 TYPE command succesful",
      "0 TYPE command succesful"};
  EXPECT_EQ(reports, expected) << testing::PrintToString(reports);
  auto sent = SentSince(mark);
  EXPECT_TRUE(Sent(sent, "CWD /pub/" + tag_ + " -> 250"));
  EXPECT_TRUE(Sent(sent, "RETR readme.txt -> 226"));
  EXPECT_TRUE(Sent(sent, "RMD old -> 550"));
  EXPECT_TRUE(Sent(sent, "MKD /incoming/new " + tag_ + " -> 257"));
  EXPECT_TRUE(Sent(sent, "RNTO /incoming/" + tag_ + " -> 250"));
  EXPECT_TRUE(Sent(sent, "TYPE L 8 -> 200"));
  EXPECT_TRUE(Sent(sent, "TYPE I -> 200"));
  EXPECT_TRUE(Sent(sent, "TYPE A -> 200"));
  // The interpreter never sets a type on its own, and "type e" sends none.
  EXPECT_EQ(std::count_if(sent.begin(), sent.end(), [](const std::string& l) { return l.rfind("TYPE", 0) == 0; }), 3);
  EXPECT_FALSE(std::any_of(sent.begin(), sent.end(), [](const std::string& l) { return l.rfind("RNFR a.txt", 0) == 0; }));
}

TEST_F(FtpScript, TheAbortFlagStopsAtAnInvalidOrAbnormalCommandButNotAtAMissingArgument) {
  bool ok = true;
  auto reports = Run("proftpd", {"get", "foo", "pwd"}, true, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(reports, (std::vector<std::string>{"2 Error in line 1, syntax: GET remote-file [local-directory]",
                                               "2 Error in line 2: invalid command \"FOO\"",
                                               "1 Script executing aborted."}));
  reports = Run("proftpd", {"cd /no/such/folder", "pwd"}, true, &ok);
  EXPECT_FALSE(ok);
  EXPECT_EQ(reports, (std::vector<std::string>{"2 550 /no/such/folder: No such file or directory",
                                               "1 CD command abnormal", "1 Script executing aborted."}));
  // Without the flag the run goes on.
  reports = Run("proftpd", {"cd /no/such/folder", "pwd"}, false, &ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(reports.back(), "0 PWD command succesful");
  // A server nobody answers for: the run fails at once.
  reports.clear();
  TNMFTP closed;
  closed.Host = "127.0.0.1";
  closed.Port = 1;
  TFtpScript script(&closed, [&](uint8_t level, const std::string& text) {
    reports.push_back(std::to_string(level) + " " + text);
  });
  EXPECT_FALSE(script.Run({"pwd"}, false));
  EXPECT_EQ(reports, std::vector<std::string>{"2 Connection Failed"});
}

TEST_F(FtpScript, GetWithAPatternSkipsAFolderThatFitsIt) {
  const std::string pub = Root() + "pub\\" + tag_ + "\\";
  testutil::MakeDirs(pub + "x.txt");
  testutil::WriteFileText(pub + "a.txt", "a");
  testutil::WriteFileText(pub + "b.TXT", "b");
  testutil::WriteFileText(pub + "c.bin", "c");
  const size_t mark = Mark();
  auto reports = Run("proftpd", {"cd /incoming", "get /pub/" + tag_ + "/*.txt " + local_, "pwd",
                                 "get /pub/" + tag_ + "/missing.txt " + local_, "get /nowhere/*.txt"});
  EXPECT_EQ(testutil::ListFiles(local_, "*"), (std::vector<std::string>{"a.txt", "b.TXT"}));
  EXPECT_EQ(reports, (std::vector<std::string>{"0 CD command succesful", "0 2 files was downloaded",
                                               "0 GET command succesful", "0 Current dir is /incoming",
                                               "0 PWD command succesful",
                                               "2 550 /pub/" + tag_ + "/missing.txt: No such file or directory",
                                               "1 GET command abnormal",
                                               "2 550 /nowhere: No such file or directory",
                                               "1 GET command abnormal"}))
      << testing::PrintToString(reports);
  auto sent = SentSince(mark);
  EXPECT_TRUE(Sent(sent, "CWD x.txt -> 250"));
  EXPECT_TRUE(Sent(sent, "CWD /pub/" + tag_ + " -> 250"));
  EXPECT_TRUE(Sent(sent, "CWD /incoming -> 250"));
}

TEST_F(FtpScript, PutFromAListAPatternAndOneFileThenDirAndDelete) {
  const std::string dir = "/incoming/" + tag_;
  for (const char* name : {"one.txt", "two.txt", "three.dat"}) testutil::WriteFileText(local_ + name, name);
  testutil::WriteFileText(local_ + "list.lst", local_ + "one.txt\r\n\r\n" + local_ + "three.dat\r\n" + local_ +
                                                   "gone.txt\r\n");
  auto reports = Run("proftpd", {"mkdir " + dir, "put @" + local_ + "missing.lst " + dir, "put @" + local_ + "list.lst " + dir,
                                 "put " + local_ + "*.txt " + dir + "/", "append " + local_ + "one.txt " + dir,
                                 "put " + local_ + "nothere.txt", "dir " + dir + " " + local_ + "dir.out",
                                 "ls " + dir, "delete " + dir + "/*.txt", "delete " + dir + "/three.dat"});
  const std::string server = Root() + "incoming\\" + tag_ + "\\";
  EXPECT_FALSE(testutil::FileExists(server + "one.txt"));
  EXPECT_FALSE(testutil::FileExists(server + "three.dat"));
  ASSERT_GE(reports.size(), 18u);
  EXPECT_EQ(reports[0], "0 MKDIR command succesful");
  reports.erase(reports.begin());
  EXPECT_EQ(reports[0], "2 File " + local_ + "missing.lst not exists");
  EXPECT_EQ(reports[1], "1 PUT command abnormal");
  EXPECT_EQ(reports[2].substr(0, 2), "2 ") << reports[2];  // gone.txt
  EXPECT_EQ(reports[3], "0 2 files was uploaded");
  EXPECT_EQ(reports[4], "1 1 files upload failed");
  EXPECT_EQ(reports[5], "0 PUT command succesful");
  EXPECT_EQ(reports[6], "0 2 files was uploaded");
  EXPECT_EQ(reports[7], "0 PUT command succesful");
  EXPECT_EQ(reports[8], "0 1 files was uploaded");
  EXPECT_EQ(reports[9], "0 APPEND command succesful");
  EXPECT_EQ(reports[10].substr(0, 2), "2 ");
  EXPECT_EQ(reports[11], "1 1 files upload failed");
  EXPECT_EQ(reports[12], "1 PUT command abnormal");
  EXPECT_EQ(reports[13], "0 DIR command succesful");
  // LS logs the names; DIR wrote the server's real listing to the file.
  std::vector<std::string> names(reports.begin() + 14, reports.begin() + 17);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"0 one.txt", "0 three.dat", "0 two.txt"}));
  std::vector<std::string> rest(reports.begin() + 17, reports.end());
  EXPECT_EQ(rest, (std::vector<std::string>{"0 LS command succesful", "0 2 files was deleted",
                                            "0 DELETE command succesful", "0 DELETE command succesful"}))
      << testing::PrintToString(rest);
  auto listing = testutil::ReadLines(local_ + "dir.out");
  EXPECT_EQ(std::count_if(listing.begin(), listing.end(),
                          [](const std::string& l) { return l.rfind("-rw-r--r--", 0) == 0 && l.find(" tester ") != std::string::npos; }),
            3)
      << testing::PrintToString(listing);
  EXPECT_EQ(testutil::ReadFileText(local_ + "dir.out").find("\r\n\r\n"), std::string::npos);
}

TEST_F(FtpScript, TransfersUseTheServersTypeUntilTypeISetsBinary) {
  const std::string dir = "/incoming/" + tag_;
  const std::string data = PatternBytes(300000, 9);  // holds CR and LF bytes
  testutil::WriteFileText(local_ + "data.bin", data);
  testutil::MakeDirs(local_ + "back");
  // The server's own type (ASCII on ProFTPD) rewrites line ends on the way.
  auto reports = Run("proftpd", {"mkdir " + dir, "cd " + dir, "put " + local_ + "data.bin", "get data.bin " + local_ + "back"});
  EXPECT_EQ(reports.back(), "0 GET command succesful");
  const std::string ascii = testutil::ReadFileText(local_ + "back\\data.bin");
  EXPECT_NE(ascii.size(), data.size());
  // TYPE I: the bytes come back exactly, in both modes.
  for (const char* mode : {"pasv off", "pasv on"}) {
    reports = Run("proftpd", {mode, "type i", "cd " + dir, "put " + local_ + "data.bin", "get data.bin " + local_ + "back",
                              "delete data.bin"});
    EXPECT_EQ(reports.back(), "0 DELETE command succesful") << testing::PrintToString(reports);
    EXPECT_EQ(TextSha256(testutil::ReadFileText(local_ + "back\\data.bin")), TextSha256(data)) << mode;
  }
}

TEST_F(FtpScript, ListedNamesThatAreNoPlainFileNamesAreSkipped) {
  const size_t mark = FtpServers().Log("fake-evil.log").size();
  auto reports = Run("fake.evil", {"pasv", "get *.zip " + local_});
  EXPECT_EQ(testutil::ListFiles(local_, "*"), std::vector<std::string>{"good.zip"});
  EXPECT_EQ(reports.back(), "0 GET command succesful");
  EXPECT_EQ(std::count_if(reports.begin(), reports.end(),
                          [](const std::string& r) { return r.find("not a plain file name") != std::string::npos; }),
            6);
  auto sent = Since("fake-evil.log", mark);
  EXPECT_TRUE(Sent(sent, "PASV"));
  EXPECT_FALSE(std::any_of(sent.begin(), sent.end(), [](const std::string& l) { return l.rfind("CWD", 0) == 0; }));
}

TEST(FtpScriptSyntax, BlankAndCommentLinesAreValidMissingArgumentsAreNamed) {
  std::vector<std::string> reports;
  TFtpScript checker(nullptr, [&](uint8_t level, const std::string& text) {
    reports.push_back(std::to_string(level) + " " + text);
  });
  checker.CheckSyntax({"", "# comment", "cd", "rename", "rename a", "dir", "Type", "bogus x", "get a,b", "put \"\""});
  EXPECT_EQ(reports, (std::vector<std::string>{"2 Error in line 3, syntax: CD remote-directory",
                                               "2 Error in line 4, syntax: RENAME filename newfilename",
                                               "2 Error in line 4, syntax: RENAME filename newfilename",
                                               "2 Error in line 5, syntax: RENAME filename newfilename",
                                               "2 Error in line 8: invalid command \"BOGUS\"",
                                               "2 Error in line 10, syntax: PUT local-file [remote-directory]"}));
}
