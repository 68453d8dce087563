// The Internet plug-in loaded by the host's own loader: its identity, the
// blocks its dialogs write and read, the descriptions of its steps.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include <commctrl.h>

#include "BasicsTest.h"
#include "DialogDriver.h"
#include "TestUtil.h"
#include "FtpStepsRes.h"
#include "uFtpScript.h"
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
  std::string caption, dir, port, user, password, hints;
  {
    TDialogScript s([&](HWND dlg) {
      caption = Caption(dlg);
      hints = testutil::HintOf(dlg, IDC_bFiles) + "|" + testutil::HintOf(dlg, IDC_bVariable);
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
  EXPECT_EQ(hints, "Select files|Insert variable");
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
  std::string caption, files, password, port, hints;
  {
    TDialogScript s([&](HWND dlg) {
      caption = Caption(dlg);
      hints = testutil::HintOf(dlg, IDC_bDir) + "|" + testutil::HintOf(dlg, IDC_bVariable);
      files = GetText(dlg, IDC_lbFiles);
      password = GetText(dlg, IDC_ePassword);
      port = GetText(dlg, IDC_ePort);
      SetText(dlg, IDC_eHost, "changed");
      testutil::Click(dlg, IDCANCEL);
    });
    EXPECT_FALSE(Config(mDownload, block));
  }
  EXPECT_EQ(caption, "FTP Download");
  EXPECT_EQ(hints, "Select folder|Insert variable");
  EXPECT_EQ(files, "/pub/*.zip");
  EXPECT_EQ(password, "s3cret");
  EXPECT_EQ(port, "2100");
  EXPECT_EQ(block, stored);
  // The description uses the stored texts, unexpanded.
  EXPECT_EQ(Descr(mDownload, block), "FTP-download from %Host% (save in \"C\")");
}

TEST(FtpPlugin, DamagedBlocksFailTheStep) {
  Bytes cut = Spelled("/pub/x", "C", "h", 21, "u", "p", false, "", 21);
  cut.resize(cut.size() - 3);
  EXPECT_FALSE(Exec(mDownload, cut));
  EXPECT_FALSE(Exec(mUpload, Bytes{1, 2, 3}));
  EXPECT_FALSE(Exec(mHttp, cut));
  EXPECT_FALSE(Exec(mScript, Bytes{4, 0, 0, 0, 'h', 'o'}));
}

namespace {

// Shows the dialog for a while when asked to (for a screen shot).
void Hold() {
  if (const char* ms = getenv("OV_DIALOG_HOLD_MS")) Sleep(static_cast<DWORD>(atoi(ms)));
}

bool Enabled(HWND dlg, int id) { return IsWindowEnabled(GetDlgItem(dlg, id)) != FALSE; }
char PasswordChar(HWND dlg, int id) {
  return static_cast<char>(SendDlgItemMessageA(dlg, id, EM_GETPASSWORDCHAR, 0, 0));
}

}  // namespace

TEST(FtpPlugin, HttpDownloadDialogHasTheDownloadLayoutWithAProxy) {
  Bytes block;
  std::string caption, port, user, proxyPort, proxyBox;
  {
    TDialogScript s([&](HWND dlg) {
      caption = Caption(dlg);
      port = GetText(dlg, IDC_ePort);
      user = GetText(dlg, IDC_eUserID);
      proxyPort = GetText(dlg, IDC_eProxyPort);
      char text[64] = "";
      GetDlgItemTextA(dlg, IDC_cbUseProxy, text, sizeof text);
      proxyBox = text;
      SetText(dlg, IDC_lbFiles, "/\r\ndir/file.zip");
      SetText(dlg, IDC_eHost, "web.example.org");
      SetText(dlg, IDC_eUserID, "me");
      SetText(dlg, IDC_ePassword, "pw");
      Hold();
      testutil::Click(dlg, IDOK);
    });
    EXPECT_TRUE(Config(mHttp, block));
  }
  EXPECT_EQ(caption, "HTTP Download");
  EXPECT_EQ(port, "80");
  EXPECT_EQ(user, "");
  EXPECT_EQ(proxyPort, "80");
  EXPECT_EQ(proxyBox, "Use prox&y");
  EXPECT_EQ(block, Spelled("/\r\ndir/file.zip", "%TEMPDIR%", "web.example.org", 80, "me", "pw", false, "", 80));
  EXPECT_EQ(Descr(mHttp, block), "HTTP-download from web.example.org (save in \"%TEMPDIR%\")");
}

TEST(FtpPlugin, FtpScriptDialogAnonymousFirewallCommandsAndSyntaxCheck) {
  Bytes block;
  std::string caption, host, user, password, added;
  bool userEnabled = true, firewallEnabled = true, firewallAfter = false, userAfter = false;
  char clearChar = 'x', maskedChar = 0;
  std::vector<std::string> boxes;
  int commands = 0;
  {
    TDialogScript s([&](HWND dlg) {
      caption = Caption(dlg);
      host = GetText(dlg, IDC_eHostS);
      user = GetText(dlg, IDC_eUsername);
      password = GetText(dlg, IDC_ePasswordS);
      userEnabled = Enabled(dlg, IDC_eUsername);
      clearChar = PasswordChar(dlg, IDC_ePasswordS);
      firewallEnabled = Enabled(dlg, IDC_eFireWall);
      // Unticking anonymous: the name can be typed, the password is gone
      // and hidden.
      SendDlgItemMessageA(dlg, IDC_cbAsAnonymous, BM_CLICK, 0, 0);
      userAfter = Enabled(dlg, IDC_eUsername);
      maskedChar = PasswordChar(dlg, IDC_ePasswordS);
      if (GetText(dlg, IDC_ePasswordS).empty()) SetText(dlg, IDC_ePasswordS, "pw");
      SetText(dlg, IDC_eUsername, "tester");
      SendDlgItemMessageA(dlg, IDC_cbUseFirewall, BM_CLICK, 0, 0);
      firewallAfter = Enabled(dlg, IDC_eFireWall);
      SetText(dlg, IDC_eFireWall, "fw.local");
      SetText(dlg, IDC_eFWUserName, "fwuser");
      SetText(dlg, IDC_eFWPassword, "fwpw");
      Hold();
      // The script page.
      TabCtrl_SetCurSel(GetDlgItem(dlg, IDC_tcPages), 1);
      NMHDR change{GetDlgItem(dlg, IDC_tcPages), IDC_tcPages, TCN_SELCHANGE};
      SendMessageA(dlg, WM_NOTIFY, IDC_tcPages, reinterpret_cast<LPARAM>(&change));
      commands = static_cast<int>(SendDlgItemMessageA(dlg, IDC_cbCommands, CB_GETCOUNT, 0, 0));
      SetText(dlg, IDC_mCommands, "# a comment\r\n\r\nfoo\r\nrename a\r\n");
      SendDlgItemMessageA(dlg, IDC_cbCommands, CB_SETCURSEL, 1, 0);
      testutil::Click(dlg, IDC_bAddCommand);
      added = GetText(dlg, IDC_mCommands);
      SendDlgItemMessageA(dlg, IDC_cbAbortWhenError, BM_CLICK, 0, 0);
      Hold();
      for (int i = 0; i < 3; ++i) {
        TBoxAnswer box("Check syntax", IDOK, i == 0 ? 10000 : 1500);
        if (i == 0) PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDC_bCheckSyntax, BN_CLICKED), 0);
        if (!box.Answered()) break;
        boxes.push_back(box.Text());
        // The answered box closes on its own time: wait until it is gone
        // (or the next one, with another text, is up).
        testutil::WaitFor([&] {
          HWND up = testutil::WaitForDialog("Check syntax", 0);
          return !up || testutil::StaticTexts(up) != boxes.back();
        }, 3000);
      }
      testutil::Click(dlg, IDOK);
    });
    EXPECT_TRUE(Config(mScript, block));
  }
  EXPECT_EQ(caption, "FTP Script");
  EXPECT_EQ(host, "ftp.example.com");
  EXPECT_EQ(user, "anonymous");
  EXPECT_EQ(password, "guest@example.com");
  EXPECT_FALSE(userEnabled);
  EXPECT_EQ(clearChar, 0);
  EXPECT_FALSE(firewallEnabled);
  EXPECT_TRUE(userAfter);
  EXPECT_EQ(maskedChar, '*');
  EXPECT_TRUE(firewallAfter);
  EXPECT_EQ(commands, 14);
  EXPECT_EQ(added, "# a comment\r\n\r\nfoo\r\nrename a\r\nCD remote-directory");
  // The added line "CD remote-directory" has its argument: two reports.
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_NE(boxes[0].find("Error in line 3: invalid command \"FOO\""), std::string::npos) << boxes[0];
  EXPECT_NE(boxes[1].find("Error in line 4, syntax: RENAME filename newfilename"), std::string::npos) << boxes[1];
  const Bytes expected =
      Cat({Str("ftp.example.com"), Dw(21), {uint8_t(0)}, Str("tester"), Str(ScramblePassword("pw")), {uint8_t(0)},
           Str("fw.local"), Dw(21), Str("fwuser"), Str(ScramblePassword("fwpw")), {uint8_t(1)}, {uint8_t(1)},
           Str("# a comment\r\n\r\nfoo\r\nrename a\r\nCD remote-directory")});
  EXPECT_EQ(block, expected);
  // No description of its own: the method's name stays.
  EXPECT_EQ(Descr(mScript, block), "FTP Script");

  // A stored block: names shown as stored, the flag sets only the state.
  std::string storedUser, storedPassword;
  bool enabled = false;
  Bytes stored = expected;
  {
    TDialogScript s([&](HWND dlg) {
      storedUser = GetText(dlg, IDC_eUsername);
      storedPassword = GetText(dlg, IDC_ePasswordS);
      enabled = Enabled(dlg, IDC_eFWUserName);
      testutil::Click(dlg, IDCANCEL);
    });
    EXPECT_FALSE(Config(mScript, stored));
  }
  EXPECT_EQ(storedUser, "tester");
  EXPECT_EQ(storedPassword, "pw");
  EXPECT_TRUE(enabled);
  EXPECT_EQ(stored, expected);
}
