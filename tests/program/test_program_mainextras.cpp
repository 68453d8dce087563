// The main window's own commands in the real orvane.exe: the version check
// against the loopback HTTP servers, a desktop shortcut for a job whose
// name climbs folders, the quick job, and a plug-in's item in Tools.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>

#include "DialogDriver.h"
#include "FtpServers.h"
#include "JobFileBytes.h"
#include "TestUtil.h"
#include "uMainCmds.h"

using testutil::TProgram;

namespace {

const char kSettings[] = "Software\\Halvorn\\Orvane\\Settings";

HWND WaitDialog(const TProgram& p, const std::string& caption, int ms = 10000) {
  HWND found = nullptr;
  testutil::WaitFor([&] {
    found = testutil::FindDialogOf(p.ProcessId(), caption);
    return found && IsWindowVisible(found);
  }, ms);
  return found;
}

bool WaitGone(HWND wnd) { return testutil::WaitFor([&] { return !IsWindow(wnd); }, 10000); }

void Key(HWND wnd, WPARAM vk) {
  PostMessageA(wnd, WM_KEYDOWN, vk, 1);
  PostMessageA(wnd, WM_KEYUP, vk, 0xC0000001);
}

// Opens a menu of the window's bar by its mnemonic and picks an item by
// its own: only an enabled item runs, and the menu closes once it has.
// Keys that reach a menu before it tracks them are lost under wine, and an
// item may still be grey a moment after the previous answer: the menu is
// closed and asked for again.
bool PickFromMenuBar(const TProgram& p, char menu, char item) {
  const DWORD pid = p.ProcessId();
  for (int attempt = 0; attempt < 5; ++attempt) {
    if (HWND open = testutil::FindProcessWindow(pid, "#32768"); open && IsWindowVisible(open)) {
      for (int i = 0; i < 2; ++i) PostMessageA(open, WM_KEYDOWN, VK_ESCAPE, 0);
      testutil::WaitFor([&] { return testutil::VisibleProcessWindows(pid, "#32768") == 0; }, 3000);
    }
    SetForegroundWindow(p.MainWindow());
    PostMessageA(p.MainWindow(), WM_SYSCOMMAND, SC_KEYMENU, menu);
    HWND popup = nullptr;
    if (!testutil::WaitFor([&] {
          popup = testutil::FindProcessWindow(pid, "#32768");
          return popup && IsWindowVisible(popup);
        }, 2000))
      continue;
    testutil::WaitFor([] { return false; }, 200);
    PostMessageA(popup, WM_CHAR, static_cast<WPARAM>(item), 1);
    if (testutil::WaitFor([&] { return testutil::VisibleProcessWindows(pid, "#32768") == 0; }, 2000)) return true;
  }
  return false;
}

int JobRows(HWND main) {
  return static_cast<int>(SendMessageA(FindWindowExA(main, nullptr, WC_LISTVIEWA, nullptr), LVM_GETITEMCOUNT, 0, 0));
}

void SetSetting(const TProgram& p, const char* name, DWORD type, const void* data, DWORD size) {
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, p.RegKey(HKEY_CURRENT_USER, kSettings).c_str(), 0, nullptr, 0,
                            KEY_WRITE, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
}

TEST(ProgramMainExtras, TheVersionCheckAnswersOrFailsAndItsItemComesBack) {
  REQUIRE_HTTP_SERVERS();
  TProgram p("mx-version");
  DWORD ms = 1500;
  SetSetting(p, "VersionTimeout", REG_DWORD, &ms, sizeof ms);
  ASSERT_TRUE(p.Start());
  const std::string recorder = "http://127.0.0.1:" + std::to_string(HttpServers().Port("recorder"));
  struct TCase {
    std::string path, caption, text;
  };
  // Each check starts from the Help menu by keyboard, which a grayed item
  // refuses: the item is back once the previous answer was shown.
  for (const TCase& c : {TCase{"/ok/ov7", "Orvane", "Available version of Orvane: ok /ok/ov7"},
                         TCase{"/404/v.txt", "OV: Check for new version", "Check for new version failed."},
                         TCase{"/silent/v.txt", "OV: Check for new version", "Check for new version failed."},
                         TCase{"/ok/again", "Orvane", "Available version of Orvane: ok /ok/again"}}) {
    const std::string url = recorder + c.path;
    SetSetting(p, "VersionURL", REG_SZ, url.c_str(), static_cast<DWORD>(url.size() + 1));
    ASSERT_TRUE(PickFromMenuBar(p, 'h', 'c')) << c.path;
    HWND box = WaitDialog(p, c.caption, 15000);
    ASSERT_TRUE(box) << c.path;
    EXPECT_NE(testutil::StaticTexts(box).find(c.text), std::string::npos) << testutil::StaticTexts(box);
    PostMessageA(box, WM_COMMAND, c.caption == "Orvane" ? IDNO : IDOK, 0);
    ASSERT_TRUE(WaitGone(box));
  }
  p.Close();
  EXPECT_TRUE(p.WaitExit(30000));
}

TEST(ProgramMainExtras, AShortcutForAClimbingJobNameStaysOnTheDesktop) {
  char path[MAX_PATH] = "";
  ASSERT_TRUE(SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_DESKTOPDIRECTORY, nullptr, SHGFP_TYPE_CURRENT, path)));
  const std::string desktop = std::string(path) + "\\";
  const std::string up1 = desktop + "..\\", up2 = desktop + "..\\..\\";
  const auto before = testutil::ListFiles(desktop, "*.lnk");
  const auto before1 = testutil::ListFiles(up1, "*.lnk"), before2 = testutil::ListFiles(up2, "*.lnk");

  TProgram p("mx-shortcut");
  testutil::MakeDirs(p.JobsDir());
  // The empty job with the name ..\..\z (ID 0x12345678).
  std::string job = jobbytes::kEmptyJob;
  job.replace(16, 17, "08000000 2E2E5C2E2E5C7A00");
  testutil::WriteFileBytes(p.JobsDir() + "12345678.ovj", jobbytes::Hex(job));
  ASSERT_TRUE(p.Start());
  HWND main = p.MainWindow();
  HWND lv = FindWindowExA(main, nullptr, WC_LISTVIEWA, nullptr);
  ASSERT_TRUE(testutil::WaitFor([&] { return SendMessageA(lv, LVM_GETITEMCOUNT, 0, 0) == 1; }, 10000));
  Key(lv, VK_SPACE);
  ASSERT_TRUE(testutil::WaitFor([&] { return SendMessageA(lv, LVM_GETSELECTEDCOUNT, 0, 0) == 1; }, 5000));
  PostMessageA(main, WM_COMMAND, cmCreateShortcut, 0);

  std::vector<std::string> added;
  EXPECT_TRUE(testutil::WaitFor([&] {
    added.clear();
    for (const std::string& f : testutil::ListFiles(desktop, "*.lnk"))
      if (std::find(before.begin(), before.end(), f) == before.end()) added.push_back(f);
    return !added.empty();
  }, 10000));
  ASSERT_EQ(added.size(), 1u);
  EXPECT_NE(added[0].find('z'), std::string::npos) << added[0];
  EXPECT_EQ(testutil::ListFiles(up1, "*.lnk"), before1);
  EXPECT_EQ(testutil::ListFiles(up2, "*.lnk"), before2);
  // No error box (an exit waits for one), and the files are removed only
  // once the program is done with them.
  p.Close();
  EXPECT_TRUE(p.WaitExit(30000));
  for (const std::string& f : added) DeleteFileA((desktop + f).c_str());
}

TEST(ProgramMainExtras, AQuickJobRunsAndLeavesNothingACancelledOneNeverExists) {
  TProgram p("mx-quickjob");
  p.AddTestPlugin("tp_menu");
  ASSERT_TRUE(p.Start());
  HWND main = p.MainWindow();

  // Cancelled in the picker.
  PostMessageA(main, WM_COMMAND, cmQuickJob, 0);
  HWND picker = WaitDialog(p, "Select action");
  ASSERT_TRUE(picker);
  PostMessageA(picker, WM_COMMAND, IDCANCEL, 0);
  ASSERT_TRUE(WaitGone(picker));
  EXPECT_EQ(JobRows(main), 0);
  EXPECT_TRUE(testutil::ListFiles(p.JobsDir(), "*.ovj").empty());

  // "Succeed", the last of the plug-in's sorted actions, configures itself
  // without a dialog.
  PostMessageA(main, WM_COMMAND, cmQuickJob, 0);
  picker = WaitDialog(p, "Select action");
  ASSERT_TRUE(picker);
  HWND tv = GetDlgItem(picker, 3481);
  auto next = [tv](LPARAM item, WPARAM how) { return SendMessageA(tv, TVM_GETNEXTITEM, how, item); };
  LRESULT last = next(next(0, TVGN_ROOT), TVGN_CHILD);
  while (LRESULT n = next(last, TVGN_NEXT)) last = n;
  ASSERT_TRUE(last);
  SendMessageA(tv, TVM_SELECTITEM, TVGN_CARET, last);
  PostMessageA(picker, WM_COMMAND, IDOK, 0);
  ASSERT_TRUE(WaitGone(picker));
  EXPECT_TRUE(testutil::WaitFor([&] { return JobRows(main) == 0; }, 10000));
  EXPECT_TRUE(testutil::ListFiles(p.JobsDir(), "*.ovj").empty());
  // The exit waits for the run; the main log holds one start, the
  // confirmed one (the pane's texts cannot be read from another process
  // under wine).
  p.Close();
  ASSERT_TRUE(p.WaitExit(30000));
  EXPECT_TRUE(testutil::ListFiles(p.JobsDir(), "*.ovj").empty());
  int starts = 0;
  for (const std::string& line : p.MainLogLines()) {
    starts += line.find("Starting Job") != std::string::npos;
    EXPECT_EQ(line.find("Starting Job") != std::string::npos, line.find("Starting Job [>> Quick Job >>]") != std::string::npos) << line;
  }
  EXPECT_EQ(starts, 1);
}

TEST(ProgramMainExtras, APluginsToolsItemRunsByMenuAndShortcutUntilRemoved) {
  TProgram p("mx-menuitem");
  p.AddTestPlugin("tp_menu");
  const std::string marker = p.Dir() + "Plugins\\tp_menu\\menu.txt";
  ASSERT_TRUE(p.Start());
  HWND main = p.MainWindow();

  // "&Marker" in Tools, picked by keyboard.
  ASSERT_TRUE(PickFromMenuBar(p, 't', 'm'));
  ASSERT_TRUE(testutil::WaitFor([&] { return testutil::ReadLines(marker).size() == 1; }, 5000));

  // Its shortcut, typed into the window; the second click removes it.
  SetForegroundWindow(main);
  testutil::WaitFor([&] { return GetForegroundWindow() == main; }, 3000);
  INPUT keys[6] = {};
  const WORD vks[3] = {VK_CONTROL, VK_SHIFT, VK_F7};
  for (int i = 0; i < 3; ++i) {
    keys[i].type = keys[5 - i].type = INPUT_KEYBOARD;
    keys[i].ki.wVk = keys[5 - i].ki.wVk = vks[i];
    keys[5 - i].ki.dwFlags = KEYEVENTF_KEYUP;
  }
  SendInput(6, keys, sizeof(INPUT));
  ASSERT_TRUE(testutil::WaitFor([&] { return testutil::ReadLines(marker).size() == 2; }, 5000));

  // Gone: neither its command nor its shortcut reaches it any more.
  PostMessageA(main, WM_COMMAND, cmPluginMenuFirst, 0);
  SendInput(6, keys, sizeof(INPUT));
  testutil::WaitFor([] { return false; }, 1000);
  EXPECT_EQ(testutil::ReadLines(marker), (std::vector<std::string>{"click 1", "click 2"}));
  p.Close();
  ASSERT_TRUE(p.WaitExit(30000));
  for (const std::string& line : p.MainLogLines()) EXPECT_NE(line.rfind("E ", 0), 0u) << line;
}

}  // namespace
