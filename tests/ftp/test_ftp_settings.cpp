// The Internet plug-in loaded by the host's own loader: its identity, the
// blocks its dialogs write and read, the descriptions of its steps.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include "BasicsTest.h"
#include "DialogDriver.h"
#include "FtpStepsRes.h"
#include "NetUtil.h"
#include "OVClassesPlugins.h"

using testutil::GetText;
using testutil::SetText;
using testutil::TDialogScript;

namespace {

enum { mUpload = 0, mDownload = 1, mHttp = 2, mScript = 3 };

Bytes Spelled(const std::string& files, const std::string& dir, const std::string& host, uint32_t port,
              const std::string& user, const std::string& password, bool proxy, const std::string& proxyHost,
              uint32_t proxyPort) {
  return Cat({Str(files), Str(dir), Str(host), Dw(port), Str(user), Str(ScramblePassword(password)), {uint8_t(proxy)},
              Str(proxyHost), Dw(proxyPort)});
}

std::string Caption(HWND wnd) {
  char text[128] = "";
  GetWindowTextA(wnd, text, sizeof text);
  return text;
}

}  // namespace

TEST(FtpPlugin, IdentityAndActionsInIndexOrder) {
  TOVPlugin& p = Basics();
  EXPECT_EQ(p.ID(), 1865837835);
  EXPECT_EQ(p.Description(), "Internet");
  ASSERT_EQ(p.MethodCount(), 4);
  EXPECT_EQ(p.MethodName(0), "FTP Upload");
  EXPECT_EQ(p.MethodName(1), "FTP Download");
  EXPECT_EQ(p.MethodName(2), "HTTP Download");
  EXPECT_EQ(p.MethodName(3), "FTP Script");
  EXPECT_LE(p.RunnerCount(), 0);  // no runner table at all
}

TEST(FtpPlugin, UploadDialogOpensWithDefaultsAndOkWritesTheNineElements) {
  Bytes block;
  std::string caption, dir, port, user, password;
  {
    TDialogScript s([&](HWND dlg) {
      caption = Caption(dlg);
      dir = GetText(dlg, IDC_eDir);
      port = GetText(dlg, IDC_ePort);
      user = GetText(dlg, IDC_eUserID);
      password = GetText(dlg, IDC_ePassword);
      SetText(dlg, IDC_lbFiles, "C:\\out\\*.txt\r\nC:\\single.bin");
      SetText(dlg, IDC_eHost, "ftp.example.org");
      SetText(dlg, IDC_ePassword, "pw1");
      SendDlgItemMessageA(dlg, IDC_cbUseProxy, BM_CLICK, 0, 0);
      SetText(dlg, IDC_eProxy, "fw.local");
      SetText(dlg, IDC_eProxyPort, "2121");
      testutil::Click(dlg, IDOK);
    });
    EXPECT_TRUE(Config(mUpload, block));
  }
  EXPECT_EQ(caption, "Ftp upload");
  EXPECT_EQ(dir, "/incoming");
  EXPECT_EQ(port, "21");
  EXPECT_EQ(user, "anonymous");
  EXPECT_EQ(password, "guest@example.com");
  EXPECT_EQ(block, Spelled("C:\\out\\*.txt\r\nC:\\single.bin", "/incoming", "ftp.example.org", 21, "anonymous", "pw1",
                           true, "fw.local", 2121));
  EXPECT_EQ(Descr(mUpload, block), "Upload to ftp.example.org (/incoming)");
}

TEST(FtpPlugin, DownloadDialogShowsTheStoredSettingsAndCancelKeepsThem) {
  const Bytes stored = Spelled("/pub/*.zip", "C", "%Host%", 2100, "me", "s3cret", false, "", 21);
  Bytes block = stored;
  std::string caption, files, password, port;
  {
    TDialogScript s([&](HWND dlg) {
      caption = Caption(dlg);
      files = GetText(dlg, IDC_lbFiles);
      password = GetText(dlg, IDC_ePassword);
      port = GetText(dlg, IDC_ePort);
      SetText(dlg, IDC_eHost, "changed");
      testutil::Click(dlg, IDCANCEL);
    });
    EXPECT_FALSE(Config(mDownload, block));
  }
  EXPECT_EQ(caption, "FTP Download");
  EXPECT_EQ(files, "/pub/*.zip");
  EXPECT_EQ(password, "s3cret");
  EXPECT_EQ(port, "2100");
  EXPECT_EQ(block, stored);
  // The description uses the stored texts, unexpanded.
  EXPECT_EQ(Descr(mDownload, block), "FTP-download from %Host% (save in \"C\")");
}

TEST(FtpPlugin, DamagedBlocksAndActionsNotCarriedYetFailTheStep) {
  Bytes cut = Spelled("/pub/x", "C", "h", 21, "u", "p", false, "", 21);
  cut.resize(cut.size() - 3);
  EXPECT_FALSE(Exec(mDownload, cut));
  EXPECT_FALSE(Exec(mUpload, Bytes{1, 2, 3}));
  EXPECT_FALSE(Exec(mHttp, {}));
  EXPECT_FALSE(Exec(mScript, {}));
}
