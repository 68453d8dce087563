// The main window of the real orvane.exe: one instance, the tray menu, the
// end of the Windows session and an exit asked for under an open dialog.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include "DialogDriver.h"
#include "JobFileBytes.h"
#include "TestUtil.h"
#include "uMainCmds.h"

using testutil::TProgram;

namespace {

constexpr UINT kTrayMessage = WM_APP + 1;
const char kSettings[] = "Software\\Halvorn\\Orvane\\Settings";
const char kUserVars[] = "Software\\Halvorn\\Orvane\\User variables";

HWND WaitDialog(const TProgram& p, const std::string& caption) {
  HWND found = nullptr;
  testutil::WaitFor([&] {
    found = testutil::FindDialogOf(p.ProcessId(), caption);
    return found && IsWindowVisible(found);
  }, 10000);
  return found;
}

bool ValueExists(const std::string& key, const std::string& name) {
  HKEY k;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
  bool found = RegQueryValueExA(k, name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
  RegCloseKey(k);
  return found;
}

std::string ReadText(const std::string& key, const std::string& name) {
  char buf[256] = "";
  DWORD size = sizeof buf;
  RegGetValueA(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_REG_SZ, nullptr, buf, &size);
  return buf;
}

TEST(ProgramMainWindow, ASecondStartRestoresTheFirstAndEnds) {
  TProgram p("mainwin-single");
  ASSERT_TRUE(p.Start());
  HWND main = p.MainWindow();
  SendMessageA(p.AppWindow(), 0x600D, 0, 0);  // MinimizeHost: to the tray
  ASSERT_TRUE(testutil::WaitFor([&] { return !IsWindowVisible(main); }, 5000));

  std::string cmd = "\"" + p.Dir() + "orvane.exe\"";
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                             p.Dir().c_str(), &si, &pi));
  CloseHandle(pi.hThread);
  EXPECT_EQ(WaitForSingleObject(pi.hProcess, 20000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hProcess);
  EXPECT_EQ(code, 0u);
  EXPECT_TRUE(testutil::WaitFor([&] { return IsWindowVisible(main) != FALSE; }, 5000));
  EXPECT_EQ(testutil::FindProcessWindow(pi.dwProcessId, "TfOrvane"), nullptr);
  // The window plug-ins ask for is the main window, for the program's life.
  EXPECT_EQ(reinterpret_cast<HWND>(SendMessageA(p.AppWindow(), 0x6006, 0, 0)), main);
  p.Close();
  ASSERT_TRUE(p.WaitExit(30000));
}

int VisibleMenus(DWORD pid) { return testutil::VisibleProcessWindows(pid, "#32768"); }

// Right-clicks the tray icon; the menu once shown, or null.
HWND OpenTrayMenu(const TProgram& p) {
  PostMessageA(p.MainWindow(), kTrayMessage, 1, WM_RBUTTONUP);
  HWND menu = nullptr;
  testutil::WaitFor([&] {
    menu = testutil::FindProcessWindow(p.ProcessId(), "#32768");
    return menu && IsWindowVisible(menu);
  }, 5000);
  return menu && IsWindowVisible(menu) ? menu : nullptr;
}

TEST(ProgramMainWindow, TheTrayMenuOpensAndItsExitEndsTheProgram) {
  TProgram p("mainwin-tray");
  ASSERT_TRUE(p.Start());
  HWND menu = OpenTrayMenu(p);
  ASSERT_TRUE(menu);
  // The items, bottom up: "&Exit", a separator, "&Quick Job...".
  PostMessageA(menu, WM_KEYDOWN, VK_UP, 0);
  PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
  EXPECT_TRUE(p.WaitExit(30000));
}

TEST(ProgramMainWindow, TheTrayMenuListsJobsUnderTheirCategories) {
  TProgram p("mainwin-traycats");
  testutil::MakeDirs(p.JobsDir());
  testutil::WriteFileText(p.JobsDir() + "cats.ini", "[Categories]\r\nCount=2\r\nCAT0=Empty,76\r\nCAT1=Weekly,77\r\n");
  // The empty job "Job" in category 77.
  std::string job = jobbytes::kEmptyJob;
  job.replace(job.size() - 16, 8, "4D000000");
  testutil::WriteFileBytes(p.JobsDir() + "12345678.ovj", jobbytes::Hex(job));
  ASSERT_TRUE(p.Start());
  // Top down: "Minimize/Restore", "&Enable Automation", a separator, then
  // "Weekly" alone ("Empty" has no job to list); its first item runs Job.
  // Keys that reach a menu before it tracks them are lost under wine: the
  // menu is closed and opened again until its submenu opens.
  HWND menu = nullptr;
  bool submenu = false;
  for (int attempt = 0; attempt < 3 && !submenu; ++attempt) {
    if (menu) {
      for (int i = 0; i < 2; ++i) PostMessageA(menu, WM_KEYDOWN, VK_ESCAPE, 0);
      testutil::WaitFor([&] { return VisibleMenus(p.ProcessId()) == 0; }, 3000);
    }
    menu = OpenTrayMenu(p);
    ASSERT_TRUE(menu);
    testutil::WaitFor([] { return false; }, 200);
    for (WPARAM vk : {VK_DOWN, VK_DOWN, VK_DOWN, VK_RIGHT}) {
      PostMessageA(menu, WM_KEYDOWN, vk, 0);
      testutil::WaitFor([] { return false; }, 100);
    }
    submenu = testutil::WaitFor([&] { return VisibleMenus(p.ProcessId()) == 2; }, 3000);
  }
  ASSERT_TRUE(submenu);
  PostMessageA(menu, WM_KEYDOWN, VK_RETURN, 0);
  ASSERT_TRUE(testutil::WaitFor([&] { return !IsWindow(menu); }, 5000));
  p.Close();
  ASSERT_TRUE(p.WaitExit(30000));
  bool started = false;
  for (const std::string& line : p.MainLogLines()) started |= line.find("Starting Job [Job]") != std::string::npos;
  EXPECT_TRUE(started);
}

TEST(ProgramMainWindow, TheSessionEndKeepsSettingsCategoriesAndVariables) {
  TProgram p("mainwin-session");
  const std::string settings = p.RegKey(HKEY_CURRENT_USER, kSettings);
  const std::string vars = p.RegKey(HKEY_CURRENT_USER, kUserVars);
  testutil::MakeDirs(p.JobsDir());
  testutil::WriteFileText(p.JobsDir() + "cats.ini", "[Categories]\r\nCount=1\r\nCAT0=Weekly,77\r\n");
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, vars.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                            nullptr), ERROR_SUCCESS);
  const char var[] = "GREETING=hello";
  RegSetValueExA(key, "VAR0", 0, REG_SZ, reinterpret_cast<const BYTE*>(var), sizeof var);
  RegCloseKey(key);
  ASSERT_TRUE(p.Start());
  // Nothing is on disk any more; only the session end can write it back.
  DeleteFileA((p.JobsDir() + "cats.ini").c_str());
  RegDeleteKeyA(HKEY_CURRENT_USER, vars.c_str());
  RegDeleteKeyA(HKEY_CURRENT_USER, settings.c_str());
  ASSERT_FALSE(ValueExists(settings, "EnableAutomation"));

  HWND main = p.MainWindow();
  EXPECT_TRUE(SendMessageA(main, WM_QUERYENDSESSION, 0, 0));
  SendMessageA(main, WM_ENDSESSION, TRUE, 0);
  EXPECT_TRUE(ValueExists(settings, "EnableAutomation"));
  EXPECT_TRUE(ValueExists(settings, "Width"));
  EXPECT_EQ(ReadText(vars, "VAR0"), "GREETING=hello");
  EXPECT_NE(testutil::ReadFileText(p.JobsDir() + "cats.ini").find("Weekly"), std::string::npos);
  EXPECT_TRUE(testutil::FileExists(p.LogsDir() + "OV.log"));
  // The session would end the process now.
  p.Kill();
}

TEST(ProgramMainWindow, AnExitUnderTheEditorWaitsUntilItCloses) {
  TProgram p("mainwin-deferred");
  ASSERT_TRUE(p.Start());
  PostMessageA(p.MainWindow(), WM_COMMAND, cmNewJob, 0);
  HWND editor = WaitDialog(p, "Add job");
  ASSERT_TRUE(editor);
  p.Close();
  // The program stays, and so does the editor.
  testutil::WaitFor([] { return false; }, 1500);
  EXPECT_TRUE(p.Running());
  EXPECT_TRUE(IsWindow(editor));
  PostMessageA(editor, WM_COMMAND, IDCANCEL, 0);
  EXPECT_TRUE(p.WaitExit(30000));
  EXPECT_EQ(p.ExitCode(), 0u);
  for (const std::string& line : p.MainLogLines()) EXPECT_NE(line.rfind("E ", 0), 0u) << line;
}

}  // namespace
