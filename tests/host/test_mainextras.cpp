// The main window's stand-alone commands in-process, on a host brought up
// by the engine's own start-up: desktop shortcuts, the quick job, the
// version check against the loopback HTTP servers and the items plug-ins
// add to the menus.
#include <gtest/gtest.h>

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>
#include <shobjidl.h>
#include <commctrl.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "DialogDriver.h"
#include "Engine.h"
#include "FtpServers.h"
#include "Host.h"
#include "OVClassesJob.h"
#include "OVClassesJobs.h"
#include "OVClassesLog.h"
#include "TestUtil.h"
#include "uJobRes.h"
#include "uMainCmds.h"
#include "uMainExtras.h"
#include "uSettings.h"

namespace {

std::string g_dir;

int LogCount(const std::string& text) {
  int n = 0;
  for (int i = 0; i < MainLog->Count(); ++i) n += testutil::LogText(MainLog->Strings(i)).find(text) != std::string::npos;
  return n;
}

// ------------------------------------------------------------ shortcuts

std::string LinkArguments(const std::string& path, std::string* target) {
  IShellLinkA* link = nullptr;
  IPersistFile* file = nullptr;
  char args[MAX_PATH] = "", exe[MAX_PATH] = "";
  std::wstring w(path.begin(), path.end());
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                 reinterpret_cast<void**>(&link))) &&
      SUCCEEDED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) &&
      SUCCEEDED(file->Load(w.c_str(), STGM_READ))) {
    link->GetArguments(args, sizeof args);
    link->GetPath(exe, sizeof exe, nullptr, 0);
  }
  if (file) file->Release();
  if (link) link->Release();
  *target = exe;
  return args;
}

TEST(Shortcut, NamesStayInTheFolderAndNeverOverwrite) {
  const std::string desk = testutil::MakeTempDir("desk") + "a\\b\\";
  testutil::MakeDirs(desk);
  TOVJob job(nullptr);
  job.Log()->AutoSave = false;
  job.SetID(0x00AB12CD);
  job.SetName("..\\..\\z");
  std::string p = CreateJobShortcut(job, desk);
  EXPECT_EQ(p.rfind(desk, 0), 0u) << p;
  EXPECT_EQ(p.find('\\', desk.size()), std::string::npos) << p;
  EXPECT_TRUE(testutil::FileExists(p));
  std::string target;
  EXPECT_EQ(LinkArguments(p, &target), "$00AB12CD");
  EXPECT_NE(target.find("ovjobrun.exe"), std::string::npos) << target;

  job.SetName("Backup");
  EXPECT_EQ(CreateJobShortcut(job, desk), desk + "Backup.lnk");
  EXPECT_EQ(CreateJobShortcut(job, desk), desk + "Backup(1).lnk");
  job.SetName("Daily.backup");
  EXPECT_EQ(CreateJobShortcut(job, desk), desk + "Daily.lnk");
  job.SetName("a:b|c*?.x");
  EXPECT_EQ(CreateJobShortcut(job, desk), desk + "a_b_c__.lnk");
  for (const char* bad : {"", "...", "CON"}) EXPECT_FALSE(ShortcutBaseName(bad).empty() || ShortcutBaseName(bad) == "CON");
  EXPECT_THROW(CreateJobShortcut(job, desk + "missing\\"), std::runtime_error);
}

// ------------------------------------------------------------ quick job

void PickInPicker(const std::string& line) {
  EXPECT_TRUE(testutil::PickInTree("Select action", IDC_TVITEMS, line)) << line;
}

TEST(QuickJob, AConfirmedJobRunsAndLeavesNothingACancelledOneNeverExists) {
  const int before = Jobs->Count();
  {
    testutil::TDialogScript script([](HWND) { PickInPicker("Editor plugin/Count"); });
    QuickJobCommand(nullptr, 0);
    EXPECT_TRUE(script.Finished());
  }
  EXPECT_EQ(LogCount("Starting Job [>> Quick Job >>]"), 1);
  EXPECT_EQ(LogCount("Cause: Manual run"), 1);
  // The run ends and the job deletes itself with its files.
  EXPECT_TRUE(testutil::WaitFor([&] { return Jobs->Count() == before; }, 10000));
  EXPECT_TRUE(testutil::ListFiles(Settings.JobDir, "*.ovj").empty());
  EXPECT_TRUE(testutil::ListFiles(Settings.LogDir, "*.log").size() <= 1);  // ov.log at most

  for (const char* line : {"Editor plugin/Refuse", ""}) {
    testutil::TDialogScript script([line](HWND dlg) {
      if (*line)
        PickInPicker(line);
      else
        testutil::Click(dlg, IDCANCEL);
    });
    QuickJobCommand(nullptr, 0);
    EXPECT_EQ(Jobs->Count(), before) << line;
  }
  EXPECT_EQ(LogCount("Starting Job"), 1);
  EXPECT_TRUE(testutil::ListFiles(Settings.JobDir, "*.ovj").empty());
}

// ------------------------------------------------------------ version check

void SetSetting(const char* name, DWORD type, const void* data, DWORD size) {
  TRegLocation loc = RegistryLocation(HKEY_CURRENT_USER, kSettingsKey);
  HKEY key;
  ASSERT_EQ(RegCreateKeyExA(loc.Root, loc.Path.c_str(), 0, nullptr, 0, KEY_WRITE | loc.View, nullptr, &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
}

struct TBoxSeen {
  std::string caption, text;
  bool grayedWhileOpen = false;
};

// Runs a check against url; answers the box that appears with `answer` and
// returns what it showed.
TBoxSeen Check(const std::string& url, int answer = IDNO) {
  SetSetting("VersionURL", REG_SZ, url.c_str(), static_cast<DWORD>(url.size() + 1));
  HMENU menu = CreatePopupMenu();
  AppendMenuA(menu, MF_STRING, cmCheckVersion, "&Check for new version");
  TBoxSeen seen;
  std::thread watcher([&] {
    DWORD start = GetTickCount();
    while (GetTickCount() - start < 15000) {
      for (const char* cap : {"OV: Check for new version", "Orvane"}) {
        HWND box = testutil::FindDialogOf(GetCurrentProcessId(), cap);
        if (!box) continue;
        Sleep(200);
        // OV_HOLD_BOXES keeps the box open a while, for screenshots.
        if (const char* hold = getenv("OV_HOLD_BOXES")) Sleep(static_cast<DWORD>(atoi(hold)));
        seen.caption = cap;
        seen.text = testutil::StaticTexts(box);
        seen.grayedWhileOpen = (GetMenuState(menu, cmCheckVersion, MF_BYCOMMAND) & MF_GRAYED) != 0;
        PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(answer), 0);
        return;
      }
      Sleep(20);
    }
  });
  StartVersionCheck(nullptr, menu, cmCheckVersion);
  EXPECT_TRUE(GetMenuState(menu, cmCheckVersion, MF_BYCOMMAND) & MF_GRAYED);
  EXPECT_TRUE(testutil::WaitFor([&] { return !(GetMenuState(menu, cmCheckVersion, MF_BYCOMMAND) & MF_GRAYED); }, 20000))
      << url;
  watcher.join();
  DestroyMenu(menu);
  return seen;
}

const char kFailed[] = "Check for new version failed.";

TEST(VersionCheck, OnlyAShort200IsAnAnswer) {
  REQUIRE_HTTP_SERVERS();
  const std::string www = HttpServers().Folder("www");
  testutil::WriteFileText(www + "ovlong.txt", std::string(1025, 'v'));
  const std::string nginx = "http://127.0.0.1:" + std::to_string(HttpServers().Port("nginx"));
  const std::string recorder = "http://127.0.0.1:" + std::to_string(HttpServers().Port("recorder"));
  DWORD ms = 1500;
  SetSetting("VersionTimeout", REG_DWORD, &ms, sizeof ms);

  TBoxSeen ok = Check(recorder + "/ok/ov2");
  EXPECT_EQ(ok.caption, "Orvane");
  EXPECT_NE(ok.text.find("Available version of Orvane: ok /ok/ov2\r\nDo you wish open Web page?"), std::string::npos)
      << ok.text;
  EXPECT_TRUE(ok.grayedWhileOpen);
  std::string request = testutil::ReadFileText(HttpServers().Folder("run") + "req\\_ok_ov2.req");
  EXPECT_NE(request.find("User-Agent: Orvane 1.4\r\n"), std::string::npos) << request;
  EXPECT_NE(request.find("no-cache"), std::string::npos) << request;
  for (const std::string& url : {nginx + "/ovmissing.txt", recorder + "/404/v.txt", recorder + "/silent/v.txt",
                                 nginx + "/ovlong.txt", std::string("http://127.0.0.1:1/v.txt")}) {
    TBoxSeen bad = Check(url, IDOK);
    EXPECT_EQ(bad.caption, "OV: Check for new version") << url;
    EXPECT_NE(bad.text.find(kFailed), std::string::npos) << url << ": " << bad.text;
  }
  // A check cut off by exit shows nothing and leaves the menu alone.
  std::string missing = recorder + "/404/v.txt";
  SetSetting("VersionURL", REG_SZ, missing.c_str(), static_cast<DWORD>(missing.size() + 1));
  HMENU menu = CreatePopupMenu();
  AppendMenuA(menu, MF_STRING, cmCheckVersion, "x");
  StartVersionCheck(nullptr, menu, cmCheckVersion);
  CancelVersionCheck();
  DestroyMenu(menu);
  testutil::WaitFor([] { return false; }, 1500);
  EXPECT_FALSE(testutil::FindDialogOf(GetCurrentProcessId(), "OV: Check for new version"));
}

// ------------------------------------------------------------ plug-in menu items

std::vector<void*> g_calls;
void OVAPI Record(void* item) { g_calls.push_back(item); }
void OVAPI Crash(void*) { *static_cast<volatile int*>(nullptr) = 1; }

void* Add(const char* caption, const char* keys, TOVMenuItemProc proc, uint8_t detached) {
  TAddMenuItemRecord rec{caption, keys, proc, detached};
  return HandleAddMenuItem(&rec);
}

std::string ItemText(HMENU menu, int pos) {
  char buf[256] = "";
  GetMenuStringA(menu, static_cast<UINT>(pos), buf, sizeof buf, MF_BYPOSITION);
  return buf;
}

TEST(PluginMenu, ItemsShortcutsHidingAndGuardedProcedures) {
  HWND wnd = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW, 0, 0, 300, 200, nullptr, nullptr, nullptr, nullptr);
  HMENU bar = CreateMenu(), file = CreatePopupMenu(), tools = CreatePopupMenu(), help = CreatePopupMenu();
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(file), "&File");
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(tools), "&Tools");
  AppendMenuA(bar, MF_POPUP, reinterpret_cast<UINT_PTR>(help), "&Help");
  SetMenu(wnd, bar);
  g_calls.clear();

  void* early = Add("Early", nullptr, Record, 0);  // before the window names its menu
  ASSERT_TRUE(early);
  SetPluginMenuHost(wnd, bar, tools);
  void* hello = Add("Hello", "Ctrl+Shift+F5", Record, 0);
  void* loose = Add("Loose", "Alt+X", Record, 1);
  void* crash = Add("Crash", nullptr, Crash, 1);
  ASSERT_TRUE(hello && loose && crash);
  ASSERT_EQ(GetMenuItemCount(tools), 2);  // the detached ones are in no menu
  EXPECT_EQ(ItemText(tools, 0), "Early");
  EXPECT_EQ(ItemText(tools, 1), "Hello\tCtrl+Shift+F5");
  UINT id = GetMenuItemID(tools, 1);
  EXPECT_TRUE(id >= cmPluginMenuFirst && id <= cmPluginMenuLast);

  EXPECT_TRUE(PluginMenuCommand(id));
  EXPECT_EQ(g_calls, std::vector<void*>{hello});
  EXPECT_FALSE(PluginMenuCommand(cmQuickJob));

  BYTE keys[256] = {};
  MSG msg{wnd, WM_KEYDOWN, VK_F5, 0, 0, {}};
  keys[VK_CONTROL] = 0x80;
  SetKeyboardState(keys);
  EXPECT_FALSE(PluginMenuTranslateKey(msg));  // Shift is missing
  keys[VK_SHIFT] = 0x80;
  SetKeyboardState(keys);
  EXPECT_TRUE(PluginMenuTranslateKey(msg));
  std::memset(keys, 0, sizeof keys);
  SetKeyboardState(keys);
  EXPECT_EQ(g_calls.size(), 2u);

  // A faulting procedure is logged; the host lives on.
  const int failed = LogCount("Failed execute 'MenuItemProc'");
  g_calls.clear();
  for (UINT c = cmPluginMenuFirst; c <= cmPluginMenuLast; ++c) PluginMenuCommand(c);
  EXPECT_EQ(g_calls, (std::vector<void*>{early, hello, loose}));
  EXPECT_EQ(LogCount("Failed execute 'MenuItemProc'"), failed + 1);

  // Pointers not handed out are refused; the Tools menu leaves the bar when
  // emptied and comes back at its place.
  int unrelated = 0;
  HandleRemoveMenuItem(&unrelated);
  HandleRemoveMenuItem(nullptr);
  EXPECT_EQ(GetMenuItemCount(tools), 2);
  HandleRemoveMenuItem(early);
  HandleRemoveMenuItem(hello);
  HandleRemoveMenuItem(hello);  // a second time: no longer handed out
  EXPECT_EQ(GetMenuItemCount(bar), 2);
  EXPECT_EQ(ItemText(bar, 1), "&Help");
  void* again = Add("Again", "bogus key", Record, 0);
  ASSERT_EQ(GetMenuItemCount(bar), 3);
  EXPECT_EQ(ItemText(bar, 1), "&Tools");
  EXPECT_EQ(ItemText(tools, 0), "Again");
  HandleRemoveMenuItem(again);
  HandleRemoveMenuItem(loose);
  HandleRemoveMenuItem(crash);
  SetPluginMenuHost(nullptr, nullptr, nullptr);
  DestroyWindow(wnd);
}

}  // namespace

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&icc);
  g_dir = testutil::MakeTempDir("mainextras");
  const std::string root = "Software\\Orvane tests\\mainextras-" + std::to_string(GetCurrentProcessId());
  SetRegistryRoot(root);
  SetProgramDir(g_dir);
  testutil::CopyTestPlugin("tp_editor", g_dir + "Plugins\\editor");
  CreateAppWindow();
  EngineStartup();
  MainLog->AutoSave = false;
  int result = RUN_ALL_TESTS();
  CancelVersionCheck();
  EngineShutdown();
  RegDeleteTreeA(HKEY_CURRENT_USER, root.c_str());
  testutil::RemoveTree(g_dir);
  return result;
}
