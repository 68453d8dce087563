// The real orvane.exe: Preferences from the menu, a plug-in's settings
// that open the file-list picker through SelectFiles, the plug-in
// information window, a faulting plug-in about entry, and the about
// window; all driven with window messages from outside.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <algorithm>
#include <cstdlib>

#include "DialogDriver.h"
#include "TestUtil.h"
#include "uMainCmds.h"
#include "uPrefsRes.h"

using testutil::Click;
using testutil::FindDialogOf;
using testutil::LogText;
using testutil::SetText;
using testutil::TProgram;

namespace {


// With ORVANE_SHOT_PAUSE=<ms> the test holds each new window that long, so
// that a screenshot can be taken from outside.
void ShotPause() {
  if (const char* ms = std::getenv("ORVANE_SHOT_PAUSE")) Sleep(static_cast<DWORD>(std::atoi(ms)));
}

HWND WaitDialog(const TProgram& p, const std::string& caption) {
  HWND found = nullptr;
  testutil::WaitFor([&] { return (found = FindDialogOf(p.ProcessId(), caption)) != nullptr && IsWindowVisible(found); },
                    15000);
  return found;
}

bool WaitGone(HWND wnd) { return testutil::WaitFor([&] { return !IsWindow(wnd); }, 15000); }

void Post(HWND dlg, int id) { PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

// A key pressed on a control of the other process.
void Key(HWND control, WPARAM vk) {
  PostMessageA(control, WM_KEYDOWN, vk, 1);
  PostMessageA(control, WM_KEYUP, vk, 0xC0000001);
}

std::vector<std::string> Texts(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const auto& l : lines) out.push_back(LogText(l.size() > 2 ? l.substr(2) : l));
  return out;
}

// The text of a control of the other process (WM_GETTEXT is carried across).
std::string RemoteText(HWND dlg, int id) {
  std::string buf(8192, '\0');
  LRESULT n = SendDlgItemMessageA(dlg, id, WM_GETTEXT, buf.size(), reinterpret_cast<LPARAM>(buf.data()));
  buf.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return buf;
}

int ListCount(HWND dlg, int id) { return static_cast<int>(SendDlgItemMessageA(dlg, id, LB_GETCOUNT, 0, 0)); }

}  // namespace

TEST(ProgramPrefs, PreferencesPickerInformationAndAFaultingAboutInTheRealProgram) {
  TProgram p("prefsprogram");
  p.AddTestPlugin("tp_prefs");
  ASSERT_TRUE(p.Start());
  HWND main = p.MainWindow();
  ASSERT_NE(main, nullptr);
  PostMessageA(main, WM_COMMAND, cmPreferences, 0);
  HWND prefs = WaitDialog(p, "Preferences");
  ASSERT_NE(prefs, nullptr);
  ShotPause();
  EXPECT_EQ(RemoteText(prefs, IDC_EMAXLOG), "200");

  // The third page by keyboard, the plug-in selected by keyboard.
  HWND tabs = GetDlgItem(prefs, IDC_PAGES2);
  Key(tabs, VK_RIGHT);
  ASSERT_TRUE(testutil::WaitFor([&] { return IsWindowVisible(GetDlgItem(prefs, IDC_LBCATS)) != FALSE; }, 5000));
  ShotPause();
  Key(tabs, VK_RIGHT);
  HWND lv = GetDlgItem(prefs, IDC_LVPLUGINS);
  ASSERT_TRUE(testutil::WaitFor([&] { return IsWindowVisible(lv) != FALSE; }, 5000));
  Key(lv, VK_HOME);
  ASSERT_TRUE(testutil::WaitFor([&] { return SendMessageA(lv, LVM_GETSELECTEDCOUNT, 0, 0) == 1; }, 5000));
  ShotPause();

  // Configure: the plug-in's list goes through SelectFiles into the picker.
  Post(prefs, IDC_BCONFIGURE);
  HWND files = WaitDialog(p, "Files");
  ASSERT_NE(files, nullptr);
  EXPECT_EQ(ListCount(files, IDC_RESULT), 3);
  EXPECT_EQ(SendDlgItemMessageA(files, IDC_RESULT, LB_GETTEXTLEN, 2, 0), 12);  // q"uote,comma
  Post(files, IDC_BMANADD);
  HWND input = WaitDialog(p, "Manual add");
  ASSERT_NE(input, nullptr);
  SetText(input, IDC_IVALUE, "C:\\added by hand.txt");
  ShotPause();
  Click(input, IDOK);
  ASSERT_TRUE(WaitGone(input));
  SendMessageA(files, WM_NULL, 0, 0);  // served once the handler has ended
  EXPECT_EQ(ListCount(files, IDC_RESULT), 4);
  ShotPause();
  Post(files, IDC_BEDITFILT);
  HWND filters = WaitDialog(p, "Filter Editor");
  ASSERT_NE(filters, nullptr);
  EXPECT_EQ(RemoteText(filters, IDC_FCELL0), "All files");
  SetText(filters, IDC_FCELL0 + 2, "Text files");
  SetText(filters, IDC_FCELL0 + 3, "*.txt");
  ShotPause();
  Click(filters, IDOK);
  ASSERT_TRUE(WaitGone(filters));
  SendMessageA(files, WM_NULL, 0, 0);
  EXPECT_EQ(SendDlgItemMessageA(files, IDC_FILTER, CB_GETCOUNT, 0, 0), 2);
  Post(files, IDOK);
  ASSERT_TRUE(WaitGone(files));

  // Information, then the faulting about entry: the dialog lives on.
  Post(prefs, IDC_BINFORMATION);
  HWND info = WaitDialog(p, "Information about plugin");
  ASSERT_NE(info, nullptr);
  std::string text = RemoteText(info, IDC_INFOTEXT);
  EXPECT_EQ(text.rfind("\r\n  Description: Prefs plugin\r\n  Placed: ", 0), 0u) << text;
  EXPECT_NE(text.find("\r\n  Actions count: 13\r\n  * method \"Succeed\"\r\n"), std::string::npos);
  EXPECT_NE(text.find("\r\n  Triggered Events count: 2\r\n  * event \"Recorder\"\r\n  * event \"Refuser\""),
            std::string::npos);
  ShotPause();
  Click(info, IDOK);
  ASSERT_TRUE(WaitGone(info));
  Post(prefs, IDC_BABOUT);
  Sleep(300);
  EXPECT_TRUE(IsWindowVisible(prefs));

  // OK with a typed size beyond the range.
  SetText(prefs, IDC_EMAXLOG, "4000");
  Post(prefs, IDOK);
  ASSERT_TRUE(WaitGone(prefs));

  // The about window: centred, 300 x 200, closed by Escape; again, by a click.
  for (UINT close : {static_cast<UINT>(WM_KEYDOWN), static_cast<UINT>(WM_LBUTTONDOWN)}) {
    PostMessageA(main, WM_COMMAND, cmAbout, 0);
    HWND about = nullptr;
    ASSERT_TRUE(testutil::WaitFor([&] { return (about = testutil::FindProcessWindow(p.ProcessId(), "TfAbout")) &&
                                               IsWindowVisible(about); },
                                  10000));
    RECT rc;
    GetWindowRect(about, &rc);
    EXPECT_EQ(rc.right - rc.left, 300);
    EXPECT_EQ(rc.bottom - rc.top, 200);
    EXPECT_EQ(GetWindowLongA(about, GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME), 0);
    if (close == WM_KEYDOWN) ShotPause();
    PostMessageA(about, close, close == WM_KEYDOWN ? VK_ESCAPE : MK_LBUTTON, close == WM_KEYDOWN ? 1 : MAKELPARAM(10, 190));
    EXPECT_TRUE(testutil::WaitFor([&] { return !IsWindow(about); }, 5000));
  }

  p.Close();
  ASSERT_TRUE(p.WaitExit(30000));
  auto log = Texts(p.MainLogLines());
  std::string plugin = p.Dir() + "Plugins\\tp_prefs\\tp_prefs.ovp";
  const std::string list = "C:\\one.txt,\"with blank\",\"q\"\"uote,comma\",\"C:\\added by hand.txt\"";
  EXPECT_NE(std::find(log.begin(), log.end(), "selectfiles 1 " + std::to_string(list.size() + 1) + " [" + list + "]"),
            log.end());
  EXPECT_NE(std::find(log.begin(), log.end(), "Failed execute 'About' (" + plugin + ")"), log.end());
  char buf[256] = "";
  DWORD size = sizeof buf;
  RegGetValueA(HKEY_CURRENT_USER, p.RegKey(HKEY_CURRENT_USER, "Software\\Halvorn\\Orvane\\Settings").c_str(), "Filter",
               RRF_RT_REG_SZ, nullptr, buf, &size);
  EXPECT_STREQ(buf, "All files|*.*|Text files|*.txt|");
  DWORD maxLog = 0;
  size = sizeof maxLog;
  RegGetValueA(HKEY_CURRENT_USER, p.RegKey(HKEY_CURRENT_USER, "Software\\Halvorn\\Orvane\\Settings").c_str(),
               "MaxLogSize", RRF_RT_REG_DWORD, nullptr, &maxLog, &size);
  EXPECT_EQ(maxLog, 1000u);
}
