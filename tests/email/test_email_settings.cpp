// The e-mail plug-in loaded by the host's own loader: its identity, the
// blocks its dialogs write and read, the checks of the send dialog's OK.
#include <gtest/gtest.h>

#include <winsock2.h>
#include <windows.h>

#include "BasicsTest.h"
#include "DialogDriver.h"
#include "NetUtil.h"
#include "OVClassesPlugins.h"
#include "uCheckMail.h"
#include "uSendEmail.h"

using testutil::GetText;
using testutil::SetText;
using testutil::TDialogScript;

namespace {

enum { mSend = 0, mCheck = 1 };

Bytes SendBlock(const std::vector<std::string>& texts) {
  Bytes out;
  for (const std::string& t : texts) out = Cat({out, Str(t)});
  return out;
}

Bytes CheckBlock(const std::string& server, const std::string& user, const std::string& password, uint32_t stopIf) {
  return Cat({Str(server), Str(user), Str(ScramblePassword(password)), Dw(stopIf)});
}

HWND FocusOf(HWND dlg) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetWindowThreadProcessId(dlg, nullptr), &info);
  return info.hwndFocus;
}

std::string Caption(HWND wnd) {
  char text[128] = "";
  GetWindowTextA(wnd, text, sizeof text);
  return text;
}

}  // namespace

TEST(EmailPlugin, IdentityAndActionsInIndexOrder) {
  TOVPlugin& p = Basics();
  EXPECT_EQ(p.ID(), 310186230);
  EXPECT_EQ(p.Description(), "E-Mail");
  ASSERT_EQ(p.MethodCount(), 2);
  EXPECT_EQ(p.MethodName(0), "Send Message");
  EXPECT_EQ(p.MethodName(1), "Check for Mail");
  EXPECT_LE(p.RunnerCount(), 0);
  EXPECT_EQ(Descr(mSend, SendBlock({"h", "u", "f", "t", "", "s", "b", ""})), "Send Message");
  EXPECT_EQ(Descr(mCheck, CheckBlock("s", "u", "p", 0)), "Check for Mail");
}

TEST(EmailPlugin, SendDialogChecksBodyHostAndUserInThatOrderThenWritesEightTexts) {
  Bytes block;
  std::string caption, from, subject, body;
  std::vector<int> focused;
  std::string variable;
  {
    TDialogScript s([&](HWND dlg) {
      caption = Caption(dlg);
      from = GetText(dlg, IDC_eFrom);
      subject = GetText(dlg, IDC_eSubject);
      body = GetText(dlg, IDC_eMsg);
      auto okFocus = [&] {
        testutil::Click(dlg, IDOK);
        focused.push_back(IsWindow(dlg) ? GetDlgCtrlID(FocusOf(dlg)) : 0);
      };
      okFocus();  // the default body, no host
      SetText(dlg, IDC_eMsg, "");
      SetText(dlg, IDC_eHost, "mail.example.test");
      okFocus();  // no body
      SetText(dlg, IDC_eMsg, "Line 1\r\n.Line 2");
      okFocus();  // no user name
      SetText(dlg, IDC_eUserID, "me");
      SetText(dlg, IDC_eTo, "a@x.test, \"B <b@x.test>\"");
      SetText(dlg, IDC_eCC, "c@x.test");
      testutil::FocusItem(dlg, IDC_eSubject);
      testutil::Click(dlg, IDC_bVariable);
      variable = GetText(dlg, IDC_eSubject);
      testutil::Click(dlg, IDOK);
    });
    EXPECT_TRUE(Config(mSend, block));
  }
  EXPECT_EQ(caption, "Send E-Mail message");
  EXPECT_EQ(from, "sender@example.com");
  EXPECT_EQ(subject, "Enter subject");
  EXPECT_EQ(body, "Enter message body");
  EXPECT_EQ(focused, (std::vector<int>{IDC_eHost, IDC_eMsg, IDC_eUserID}));
  EXPECT_EQ(variable, kPickedVariable);
  EXPECT_EQ(block, SendBlock({"mail.example.test", "me", "sender@example.com", "a@x.test, \"B <b@x.test>\"",
                              "c@x.test", kPickedVariable, "Line 1\r\n.Line 2", ""}));
}

TEST(EmailPlugin, SendDialogShowsTheStoredTextsAndKeepsTheAttachmentList) {
  const Bytes stored = SendBlock({"%Host%", "u", "f@x.test", "t@x.test", "", "s", "b", "C:\\a.txt\r\nC:\\d\\*.log"});
  Bytes block = stored;
  std::string host;
  {
    TDialogScript s([&](HWND dlg) {
      host = GetText(dlg, IDC_eHost);
      SetText(dlg, IDC_eHost, "changed");
      testutil::Click(dlg, IDCANCEL);
    });
    EXPECT_FALSE(Config(mSend, block));
  }
  EXPECT_EQ(host, "%Host%");
  EXPECT_EQ(block, stored);
  {
    TDialogScript s([&](HWND dlg) { testutil::Click(dlg, IDOK); });
    EXPECT_TRUE(Config(mSend, block));
  }
  EXPECT_EQ(block, stored);  // the attachments have no control and survive OK
}

TEST(EmailPlugin, CheckDialogScramblesThePasswordAndRemembersTheChoice) {
  Bytes block;
  bool notWaiting = false;
  std::string caption;
  {
    TDialogScript s([&](HWND dlg) {
      caption = Caption(dlg);
      notWaiting = IsDlgButtonChecked(dlg, IDC_rbNotWaiting) == BST_CHECKED;
      SetText(dlg, IDC_eServer, "pop.example.test");
      SetText(dlg, IDC_eUserID2, "me");
      SetText(dlg, IDC_ePassword, "pw1");
      SendDlgItemMessageA(dlg, IDC_rbWaiting, BM_CLICK, 0, 0);
      testutil::Click(dlg, IDOK);
    });
    EXPECT_TRUE(Config(mCheck, block));
  }
  EXPECT_EQ(caption, "Check for Mail");
  EXPECT_TRUE(notWaiting);
  EXPECT_EQ(block, CheckBlock("pop.example.test", "me", "pw1", 0));

  std::string password;
  bool waiting = false;
  {
    TDialogScript s([&](HWND dlg) {
      password = GetText(dlg, IDC_ePassword);
      waiting = IsDlgButtonChecked(dlg, IDC_rbWaiting) == BST_CHECKED;
      testutil::Click(dlg, IDCANCEL);
    });
    EXPECT_FALSE(Config(mCheck, block));
  }
  EXPECT_EQ(password, "pw1");
  EXPECT_TRUE(waiting);
}

TEST(EmailPlugin, DamagedBlocksFailTheStep) {
  Bytes cut = CheckBlock("s", "u", "p", 1);
  cut.resize(cut.size() - 2);
  EXPECT_FALSE(Exec(mCheck, cut));
  Bytes send = SendBlock({"h", "u", "f", "t", "", "s", "b", ""});
  send.resize(send.size() - 1);
  EXPECT_FALSE(Exec(mSend, send));
  // Never configured: an empty user name fails before any connection.
  EXPECT_FALSE(Exec(mCheck, {}));
}
