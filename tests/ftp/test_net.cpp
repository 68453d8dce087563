// The pieces the network plug-ins share, and the FTP client's pure rules:
// stored passwords, mask matching, folder joining, base64, reply lines,
// PASV replies, command texts, listing names, socket error texts.
#include <gtest/gtest.h>

#include "NMFtp.h"
#include "NMUUE.h"
#include "NetUtil.h"
#include "Psock.h"

TEST(Scramble, ThreeLettersWorkOnTenBytesWithTheirFiller) {
  // Length byte 3, then "abcabcabc": the words 0x6103, 0x6362, 0x6261,
  // 0x6163, 0x6362, each plus 27183, five digits each.
  EXPECT_EQ(ScramblePassword("abc"), "5201852625523685211452625");
  EXPECT_EQ(UnscramblePassword("5201852625523685211452625"), "abc");
}

TEST(Scramble, LengthsAndRoundTrips) {
  // An empty password: ten bytes of a tick count; it reads back empty.
  std::string empty = ScramblePassword("");
  EXPECT_EQ(empty.size(), 25u);
  EXPECT_EQ(UnscramblePassword(empty), "");
  // n odd: n + 1 bytes, n even: n + 2, at least 10.
  EXPECT_EQ(ScramblePassword("abcdefghijk").size(), 30u);   // 11 -> 12 bytes
  EXPECT_EQ(ScramblePassword("abcdefghijkl").size(), 35u);  // 12 -> 14 bytes
  for (size_t n = 1; n <= 255; n += 7) {
    std::string pw;
    for (size_t i = 0; i < n; ++i) pw += static_cast<char>(1 + (i * 37 + n) % 255);
    std::string stored = ScramblePassword(pw);
    EXPECT_EQ(stored.size() % 5, 0u);
    EXPECT_EQ(stored.find_first_not_of("0123456789"), std::string::npos);
    EXPECT_EQ(UnscramblePassword(stored), pw) << n;
  }
  // Longer passwords keep their first 255 characters.
  std::string tooLong(300, 'x');
  EXPECT_EQ(UnscramblePassword(ScramblePassword(tooLong)), std::string(255, 'x'));
}

TEST(Scramble, DamagedStoredFormsNeverReadPastWhatDecoded) {
  const std::string good = "5201852625523685211452625";
  EXPECT_EQ(UnscramblePassword(""), "");
  EXPECT_EQ(UnscramblePassword("5201"), "");
  // A cut form: only the decoded characters, never the claimed length.
  EXPECT_EQ(UnscramblePassword(good.substr(0, 12)), "abc");  // two groups, the third cut
  EXPECT_EQ(UnscramblePassword(good.substr(0, 5)), "a");
  // A length byte of 200 with one byte behind it.
  EXPECT_EQ(UnscramblePassword("27383"), std::string(1, '\0'));
  // Damage stops decoding at its group.
  EXPECT_EQ(UnscramblePassword("52018526x5523685211452625"), "a");
  EXPECT_EQ(UnscramblePassword("520189999952368"), "a");  // 99999 - 27183 > 65535
  EXPECT_EQ(UnscramblePassword("520180000052368"), "a");  // below the offset
  // More groups than the buffer holds.
  std::string many;
  for (int i = 0; i < 400; ++i) many += "27438";  // length byte 255
  EXPECT_EQ(UnscramblePassword(many).size(), 255u);
}

TEST(MaskMatch, NamePartAndExtensionSeparately) {
  struct Row {
    const char* name;
    bool star, starDotStar, zip;
  } rows[] = {
      {"a.txt", false, true, false},   {"README", true, true, false},    {".profile", false, true, false},
      {"..", true, true, false},       {"b.ZIP", false, true, true},      {"archive.tar.zip", false, true, true},
      {"zip", true, true, false},      {"x.zipx", false, true, false},
  };
  for (const Row& r : rows) {
    EXPECT_EQ(MatchFileMask("*", r.name), r.star) << r.name;
    EXPECT_EQ(MatchFileMask("*.*", r.name), r.starDotStar) << r.name;
    EXPECT_EQ(MatchFileMask("*.ZIP", r.name), r.zip) << r.name;
  }
  EXPECT_TRUE(MatchFileMask("a?c.t*", "ABC.txt"));
  EXPECT_FALSE(MatchFileMask("a?c.t*", "ac.txt"));
  EXPECT_TRUE(MatchFileMask("*b*.*", "abc.d"));
}

TEST(JoinFolder, DirectoryEndingRule) {
  EXPECT_EQ(JoinFolder(""), "");
  EXPECT_EQ(JoinFolder("C"), "C:\\");
  EXPECT_EQ(JoinFolder("C:"), "C:");
  EXPECT_EQ(JoinFolder("C:\\in"), "C:\\in\\");
  EXPECT_EQ(JoinFolder("C:\\in\\"), "C:\\in\\");
  EXPECT_EQ(JoinFolder("%TEMPDIR%"), "%TEMPDIR%\\");
}

TEST(Base64, KnownVectorsBothWays) {
  const char* pairs[][2] = {{"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="},
                            {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"}};
  for (auto& p : pairs) {
    EXPECT_EQ(Base64Encode(p[0]), p[1]);
    EXPECT_EQ(Base64Decode(p[1]), p[0]);
  }
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  EXPECT_EQ(Base64Decode(Base64Encode(all)), all);
  EXPECT_EQ(Base64Decode("Zm9v\r\nYmFy"), "foobar");
}

TEST(FtpReplies, OnlyThreeDigitsAndASpaceOrHyphenMakeAReplyLine) {
  TReplyLine r;
  ASSERT_TRUE(ParseReplyLine("220 ready\r\n", r));
  EXPECT_EQ(r.Code, 220);
  EXPECT_FALSE(r.More);
  ASSERT_TRUE(ParseReplyLine("230-first\r\n", r));
  EXPECT_TRUE(r.More);
  ASSERT_TRUE(ParseReplyLine("200\r\n", r));
  EXPECT_EQ(r.Code, 200);
  EXPECT_FALSE(ParseReplyLine("2200 four digits\r\n", r));
  EXPECT_FALSE(ParseReplyLine("22 two\r\n", r));
  EXPECT_FALSE(ParseReplyLine(" 220 indented\r\n", r));
  EXPECT_FALSE(ParseReplyLine("hello\r\n", r));
  EXPECT_FALSE(ParseReplyLine("600 beyond\r\n", r));
  EXPECT_FALSE(ParseReplyLine("", r));
}

TEST(FtpReplies, PasvPortAndItsLimits) {
  uint16_t port = 0;
  ASSERT_TRUE(ParsePasvPort("227 Entering Passive Mode (10,0,0,5,19,137)\r\n", port));
  EXPECT_EQ(port, 5001);  // 137 + 256 x 19
  ASSERT_TRUE(ParsePasvPort("227 =127,0,0,1,255,255).", port));
  EXPECT_EQ(port, 65535);
  EXPECT_FALSE(ParsePasvPort("227 Entering Passive Mode (10,0,0,5,19,137\r\n", port));  // no ")"
  EXPECT_FALSE(ParsePasvPort("227 (10,0,0,5,256,1)", port));
  EXPECT_FALSE(ParsePasvPort("227 (10,0,0,5,0,0)", port));
  EXPECT_FALSE(ParsePasvPort("227 (10,0,0,5,-1,4)", port));
  EXPECT_FALSE(ParsePasvPort("227 (10,0,5,19,137)", port));
  EXPECT_FALSE(ParsePasvPort("227 (10,0,0,999,19,137)", port));
}

TEST(FtpCommands, LineBreaksAndZerosNeverReachACommand) {
  EXPECT_TRUE(SafeCommandText("CWD /pub/a b"));
  EXPECT_FALSE(SafeCommandText("CWD x\r\nDELE y"));
  EXPECT_FALSE(SafeCommandText("PASS a\nb"));
  EXPECT_FALSE(SafeCommandText(std::string("PASS a\0b", 8)));
}

TEST(FtpListing, OnlyPlainNamesBecomeLocalFiles) {
  for (const char* ok : {"a.zip", "good file.txt", ".profile", "x..y"}) EXPECT_TRUE(PlainFileName(ok)) << ok;
  for (const char* bad : {"", ".", "..", "../evil", "a\\b", "a/b", "C:x", "ctl\x01", "con", "NUL.txt", "lpt1",
                          "end.", "end ", "a*b", "a?b", "a|b"})
    EXPECT_FALSE(PlainFileName(bad)) << bad;
}

TEST(SocketErrors, TableTextsAndUnknownCodes) {
  EXPECT_EQ(SocketErrorMessage(10054), "10054:Connection reset by peer");
  EXPECT_EQ(SocketErrorMessage(10061), "10061:Connection refused");
  EXPECT_EQ(SocketErrorMessage(11004), "11004:Valid name, no data record of requested type");
  EXPECT_EQ(SocketErrorMessage(10101), "Unknown Error No. 10101");
}
