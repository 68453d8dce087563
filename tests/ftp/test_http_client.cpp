// The HTTP client against nginx, tinyproxy and the recorder (which keeps
// each request's bytes and fakes broken replies), and the address rules
// of the download.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <algorithm>

#include "FtpServers.h"
#include "NMHttp.h"
#include "NMURL.h"
#include "OVError.h"
#include "TestUtil.h"

namespace {

class HttpClient : public ::testing::Test {
 protected:
  void SetUp() override {
    REQUIRE_HTTP_SERVERS();
    local_ = testutil::MakeTempDir("httpclient");
    tag_ = Format("h%lu-%lu", GetCurrentProcessId(), GetTickCount());
  }
  void TearDown() override {
    if (!local_.empty()) testutil::RemoveTree(local_);
  }
  void Aim(TNMHTTP& c, const std::string& server) {
    c.Host = "127.0.0.1";
    c.Port = HttpServers().Port(server);
    c.ConnectLimit = 5000;
    c.IdleLimit = 3000;
  }
  // The request the recorder saved for a path.
  std::string Recorded(const std::string& path) const {
    std::string name = path;
    std::replace(name.begin(), name.end(), '/', '_');
    return testutil::ReadFileText(HttpServers().Folder("run") + "req\\" + name + ".req");
  }
  template <class F>
  std::string Raised(F f) {
    try {
      f();
    } catch (const EHttpFinal& e) {
      return std::string("final: ") + e.what();
    } catch (const std::exception& e) {
      return e.what();
    }
    return "";
  }
  std::string local_, tag_;
};

const std::string kAccept =
    "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n"
    "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n";

}  // namespace

TEST_F(HttpClient, RequestHeadersExactlyWithAndWithoutProxyAndAuthorization) {
  TNMHTTP c;
  Aim(c, "recorder");
  c.Get("/plain/" + tag_, local_ + "a.txt");
  EXPECT_EQ(testutil::ReadFileText(local_ + "a.txt"), "ok /plain/" + tag_);
  EXPECT_EQ(Recorded("/plain/" + tag_), "GET /plain/" + tag_ + " HTTP/1.0\r\nHost: 127.0.0.1\r\n" + kAccept +
                                            "Content-type: application/x-www-form-urlencoded\r\n\r\n");
  // Only a user name: no Authorization.
  c.UserId = "user";
  c.Get("/user/" + tag_, local_ + "a.txt");
  EXPECT_EQ(Recorded("/user/" + tag_).find("Authorization"), std::string::npos);
  // Both: one unwrapped line, however long.
  c.Password = std::string(80, 'p');
  c.Get("/both/" + tag_, local_ + "a.txt");
  const std::string auth =
      "Authorization: Basic "
      "dXNlcjpwcHBwcHBwcHBwcHBwcHBwcHBwcHBwcHBwcHBwcHBwcHBwcHBwcHBwcHBwcHBwcHBwcHBwcHBwcHBwcHBwcHBwcHBwcHBwcHBwcHBwcHBwcA==\r\n";
  EXPECT_EQ(Recorded("/both/" + tag_), "GET /both/" + tag_ + " HTTP/1.0\r\nHost: 127.0.0.1\r\n" + kAccept + auth +
                                           "Content-type: application/x-www-form-urlencoded\r\n\r\n");
  // Through a proxy (the recorder stands in for one): the whole address,
  // with the port that is not 80; control bytes and blanks encoded.
  TNMHTTP p;
  p.Host = "files.example";
  p.Port = 8080;
  p.Proxy = "127.0.0.1";
  p.ProxyPort = HttpServers().Port("recorder");
  p.Get("http://files.example:8080/via/" + tag_ + "/a b\x7f\xe9", local_ + "b.txt");
  EXPECT_EQ(Recorded("/via/" + tag_ + "/a%20b%7F%E9"),
            "GET http://files.example:8080/via/" + tag_ + "/a%20b%7F%E9 HTTP/1.0\r\nProxy-Connection: Keep-Alive\r\n"
            "Host: files.example\r\n" + kAccept + "Content-type: application/x-www-form-urlencoded\r\n\r\n");
  // Line breaks in a header value never go out.
  TNMHTTP bad;
  Aim(bad, "recorder");
  bad.UserId = "u";
  bad.Password = "p\r\nX-Evil: 1";
  EXPECT_EQ(Raised([&] { bad.Get("/bad/" + tag_, local_ + "c.txt"); }),
            "final: Refused: a header value holds a line break or a zero byte");
  EXPECT_EQ(Recorded("/bad/" + tag_), "");
}

TEST_F(HttpClient, RedirectsCookiesAndCredentialsStayWithTheConfiguredHost) {
  TNMHTTP c;
  Aim(c, "recorder");
  c.UserId = "u";
  c.Password = "p";
  c.Get("/cookie/" + tag_, local_ + "c.txt");
  EXPECT_EQ(testutil::ReadFileText(local_ + "c.txt"), "ok /ok/after-cookie");
  const std::string after = Recorded("/ok/after-cookie");
  EXPECT_NE(after.find("\r\nCookie: session=s3; path=/\r\nAuthorization: Basic dTpw\r\n"), std::string::npos) << after;
  // To another host: neither the cookie nor the password goes along.
  c.Get("/away/" + tag_, local_ + "c.txt");
  const std::string away = Recorded("/ok/away-target");
  EXPECT_NE(away.find("Host: localhost\r\n"), std::string::npos) << away;
  EXPECT_EQ(away.find("Cookie"), std::string::npos);
  EXPECT_EQ(away.find("Authorization"), std::string::npos);
  // A relative Location.
  c.Get("/rel/a/b", local_ + "c.txt");
  EXPECT_EQ(testutil::ReadFileText(local_ + "c.txt"), "ok /rel/c");
}

TEST_F(HttpClient, FailuresKeepTheOldFile) {
  TNMHTTP c;
  Aim(c, "recorder");
  const std::string file = local_ + "keep.txt";
  auto reset = [&] { testutil::WriteFileText(file, "old"); };
  reset();
  EXPECT_EQ(Raised([&] { c.Get("/404/" + tag_, file); }), "final: HTTP error 404");
  EXPECT_EQ(c.Status, 404);
  EXPECT_EQ(Raised([&] { c.Get("/short/" + tag_, file); }), "The document came short: 10 of 1000 bytes");
  EXPECT_EQ(Raised([&] { c.Get("/nohttp/" + tag_, file); }), "Not an HTTP reply: garbage, not a status line");
  EXPECT_EQ(Raised([&] { c.Get("/https/" + tag_, file); }),
            "final: Redirect to \"https://127.0.0.1/secure.txt\" not followed: HTTP Secure Socket is not supported");
  const DWORD start = GetTickCount();
  EXPECT_EQ(Raised([&] { c.Get("/silent/" + tag_, file); }), "10060:Connection timed out");
  EXPECT_LT(GetTickCount() - start, 15000u);
  EXPECT_EQ(testutil::ReadFileText(file), "old");
  EXPECT_EQ(testutil::ListFiles(local_, "*"), std::vector<std::string>{"keep.txt"});
  TNMHTTP closed;
  closed.Host = "127.0.0.1";
  closed.Port = 1;
  EXPECT_EQ(Raised([&] { closed.Get("/x", file); }), "Connection Failed");
}

TEST_F(HttpClient, NginxFilesAuthenticationRedirectsAndTinyproxy) {
  const std::string access = "access.log";
  TNMHTTP c;
  Aim(c, "nginx");
  c.Get("/dir/file.zip", local_ + "file.zip");
  EXPECT_EQ(testutil::ReadFileText(local_ + "file.zip"), "inside the folder\n");
  EXPECT_EQ(Raised([&] { c.Get("/private/secret.txt", local_ + "s.txt"); }), "final: HTTP error 401");
  c.UserId = "test";
  c.Password = "secret";
  c.Get("/private/secret.txt", local_ + "s.txt");
  EXPECT_EQ(testutil::ReadFileText(local_ + "s.txt"), "the private page\n");
  c.Get("/moved", local_ + "moved.txt");
  EXPECT_EQ(testutil::ReadFileText(local_ + "moved.txt"), "hello from nginx\n");
  size_t before = HttpServers().Log(access).size();
  EXPECT_EQ(Raised([&] { c.Get("/loop", local_ + "loop.txt"); }), "final: More than 10 redirects");
  EXPECT_EQ(HttpServers().Log(access).size() - before, 11u);
  auto log = HttpServers().Log(access);
  EXPECT_TRUE(std::find(log.begin(), log.end(), "GET /hello.txt HTTP/1.0|127.0.0.1|Basic dGVzdDpzZWNyZXQ=|session=n1|200") !=
              log.end());

  TNMHTTP p;
  p.Host = "127.0.0.1";
  p.Port = HttpServers().Port("nginx");
  p.Proxy = "127.0.0.1";
  p.ProxyPort = HttpServers().Port("tinyproxy");
  p.Get(AbsoluteUrl(TUrl{p.Host, p.Port, "/hello.txt"}), local_ + "p.txt");
  EXPECT_EQ(testutil::ReadFileText(local_ + "p.txt"), "hello from nginx\n");
}

TEST_F(HttpClient, HundredMegabytesCheckedBySha256) {
  TNMHTTP c;
  Aim(c, "nginx");
  c.Get("/big.bin", local_ + "big.bin");
  EXPECT_EQ(FileSha256(local_ + "big.bin"), FileSha256(HttpServers().Folder("www") + "big.bin"));
}

TEST(HttpAddresses, TargetsLocationsAndLocalNames) {
  const TUrl base{"example.org", 8080, "/"};
  TUrl u;
  std::string error;
  ASSERT_TRUE(ParseTarget("/dir/file.zip", base, u, error));
  EXPECT_EQ(u.Host + "|" + std::to_string(u.Port) + "|" + u.Path, "example.org|8080|/dir/file.zip");
  ASSERT_TRUE(ParseTarget("http://h:81/a?b=http://c/", base, u, error));
  EXPECT_EQ(u.Host + "|" + std::to_string(u.Port) + "|" + u.Path, "h|81|/a?b=http://c/");
  ASSERT_TRUE(ParseTarget("ftp://h", base, u, error));
  EXPECT_EQ(u.Port, 21);
  EXPECT_EQ(u.Path, "/");
  EXPECT_FALSE(ParseTarget("", base, u, error));
  EXPECT_EQ(error, "Empty URL");
  EXPECT_FALSE(ParseTarget("HTTPS://h/x", base, u, error));
  EXPECT_EQ(error, "HTTP Secure Socket is not supported");
  EXPECT_FALSE(ParseTarget("http://h:99999/x", base, u, error));

  const TUrl request{"h", 80, "/a/b/c.html?x=1"};
  EXPECT_EQ(ResolveLocation(request, "d.html"), "http://h/a/b/d.html");
  EXPECT_EQ(ResolveLocation(request, "../../../d"), "http://h/d");
  EXPECT_EQ(ResolveLocation(request, "/e "), "http://h/e");
  EXPECT_EQ(ResolveLocation(request, "//other:90/f"), "http://other:90/f");
  EXPECT_EQ(ResolveLocation(request, "http://x:8/g"), "http://x:8/g");

  EXPECT_EQ(EncodePath("/a b\t\x7f\x80?q=1"), "/a%20b%09%7F%80?q=1");

  EXPECT_EQ(LocalDocumentName("/"), "index.html");
  EXPECT_EQ(LocalDocumentName(""), "index.html");
  EXPECT_EQ(LocalDocumentName("dir/"), "index.html");
  EXPECT_EQ(LocalDocumentName("dir/file.zip"), "file.zip");
  EXPECT_EQ(LocalDocumentName("page.php?id=3&x=*"), "page.php_id=3&x=_");
  EXPECT_EQ(LocalDocumentName("a/.."), "__");
  EXPECT_EQ(LocalDocumentName("a\\..\\..\\evil"), "a_.._.._evil");
  EXPECT_EQ(LocalDocumentName("c:x"), "c_x");
  EXPECT_EQ(LocalDocumentName("/con.txt"), "_con.txt");
}
