// The registry store, the settings, the start-with-Windows entry, the
// automatic-logon values, the categories file and hot tracking. Every key
// lives under a registry root of this test (the redirection the program
// uses for tests too).
#include <gtest/gtest.h>
#include <windows.h>
#include <commctrl.h>

#include <cstring>
#include <limits>
#include <tuple>

#include "Host.h"
#include "OVError.h"
#include "RegistryStorage.h"
#include "TestUtil.h"
#include "uSettings.h"

namespace {

std::string g_root;
std::string g_dir;  // the program folder of these tests

const char kKey[] = "Software\\Halvorn\\Test store\\deep";

std::string Redirected(HKEY hive, const std::string& path) {
  return g_root + (hive == HKEY_LOCAL_MACHINE ? "\\HKLM\\" : "\\HKCU\\") + path;
}

struct TRaw {
  DWORD type = REG_NONE;
  std::vector<BYTE> data;
  bool exists = false;
};

// RRF_NOEXPAND: an expandable string comes back as stored.
TRaw Raw(HKEY hive, const std::string& path, const std::string& name) {
  TRaw r;
  DWORD size = 4096;
  r.data.resize(size);
  r.exists = RegGetValueA(HKEY_CURRENT_USER, Redirected(hive, path).c_str(), name.c_str(),
                          RRF_RT_ANY | RRF_NOEXPAND, &r.type, r.data.data(), &size) == ERROR_SUCCESS;
  r.data.resize(r.exists ? size : 0);
  return r;
}

std::string RawText(HKEY hive, const std::string& path, const std::string& name) {
  TRaw r = Raw(hive, path, name);
  return r.exists ? std::string(reinterpret_cast<const char*>(r.data.data())) : "<missing>";
}

void PutRaw(HKEY hive, const std::string& path, const std::string& name, DWORD type, const void* data,
            DWORD size) {
  ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, Redirected(hive, path).c_str(), name.c_str(), type, data, size),
            ERROR_SUCCESS);
}

void PutText(HKEY hive, const std::string& path, const std::string& name, const std::string& text) {
  PutRaw(hive, path, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

bool KeyExists(HKEY hive, const std::string& path) {
  HKEY key;
  bool ok = RegOpenKeyExA(HKEY_CURRENT_USER, Redirected(hive, path).c_str(), 0, KEY_READ, &key) == ERROR_SUCCESS;
  if (ok) RegCloseKey(key);
  return ok;
}

class SettingsTest : public ::testing::Test {
 protected:
  void SetUp() override { RegDeleteTreeA(HKEY_CURRENT_USER, g_root.c_str()); }
  void TearDown() override { SetRegistryRoot(g_root); }
};

// One variable of every type code, with values that differ from zero.
struct TAll {
  bool b = true;
  int64_t cur = -123456789012345;
  double date = 45000.0, dateTime = 45000.75, flt = -2.5e-7, time = 0.125;
  std::string expand = "%TEMP%\\x", text = "plain text";
  int32_t i = -7;
  uint32_t colour = 0x80000005;
  auto Tie() const { return std::tie(b, cur, date, dateTime, flt, time, expand, text, i, colour); }
  void Register(TRegistryStorage& st) {
    st.AddItem("b", ritBoolean, &b);
    st.AddItem("cur", ritCurrency, &cur);
    st.AddItem("date", ritDate, &date);
    st.AddItem("dateTime", ritDateTime, &dateTime);
    st.AddItem("expand", ritExpandString, &expand);
    st.AddItem("flt", ritFloat, &flt);
    st.AddItem("i", ritInteger, &i);
    st.AddItem("text", ritString, &text);
    st.AddItem("time", ritTime, &time);
    st.AddItem("colour", ritColor, &colour);
  }
};

}  // namespace

TEST_F(SettingsTest, EveryTypeCodeRoundTripsInItsRegistryForm) {
  TAll written;
  TRegistryStorage out(HKEY_CURRENT_USER, kKey);
  written.Register(out);
  ASSERT_TRUE(out.Save());

  TAll read{false, 0, 0, 0, 0, 0, "", "", 0, 0};
  TRegistryStorage in(HKEY_CURRENT_USER, kKey);
  read.Register(in);
  ASSERT_TRUE(in.Load());
  EXPECT_TRUE(read.Tie() == written.Tie());
  const std::pair<const char*, DWORD> forms[] = {
      {"b", REG_DWORD},   {"cur", REG_BINARY},   {"date", REG_BINARY},     {"dateTime", REG_BINARY},
      {"flt", REG_BINARY}, {"time", REG_BINARY}, {"expand", REG_EXPAND_SZ}, {"text", REG_SZ},
      {"i", REG_DWORD},   {"colour", REG_DWORD}};
  for (auto [name, type] : forms) {
    TRaw r = Raw(HKEY_CURRENT_USER, kKey, name);
    EXPECT_EQ(r.type, type) << name;
    EXPECT_EQ(r.data.size(), type == REG_DWORD ? 4u : type == REG_BINARY ? 8u : r.data.size()) << name;
  }
  // A boolean is stored as 1, and any non-zero number reads as on.
  EXPECT_EQ(Raw(HKEY_CURRENT_USER, kKey, "b").data[0], 1);
  DWORD seven = 7;
  PutRaw(HKEY_CURRENT_USER, kKey, "b", REG_DWORD, &seven, 4);
  read.b = false;
  in.Load();
  EXPECT_TRUE(read.b);
}

TEST_F(SettingsTest, ItemsAreUniqueByExactNameAndMustFitTheirType) {
  bool a = false, b = false;
  std::string s;
  TRegistryStorage st(HKEY_CURRENT_USER, kKey);
  EXPECT_EQ(st.AddItem("Name", ritBoolean, &a), 0);
  EXPECT_EQ(st.AddItem("Name", ritBoolean, &b), -1);
  EXPECT_EQ(st.AddItem("name", ritBoolean, &b), 1);
  EXPECT_EQ(st.Count(), 2);
  EXPECT_THROW(st.AddItem("Text", ritInteger, &s), EOVError);
  EXPECT_THROW(st.AddItem("Null", ritString, static_cast<std::string*>(nullptr)), EOVError);
  EXPECT_EQ(st.Count(), 2);
}

TEST_F(SettingsTest, LoadCreatesNothingAndKeepsDefaultsForMissingOrMisfitValues) {
  TAll v;
  TRegistryStorage st(HKEY_CURRENT_USER, kKey);
  v.Register(st);
  EXPECT_FALSE(st.Load());
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kKey));

  // Wrong types and sizes beside values that do fit.
  PutText(HKEY_CURRENT_USER, kKey, "i", "12");
  DWORD one = 1;
  PutRaw(HKEY_CURRENT_USER, kKey, "text", REG_DWORD, &one, 4);
  PutRaw(HKEY_CURRENT_USER, kKey, "date", REG_BINARY, &one, 4);
  uint64_t q = 5;
  PutRaw(HKEY_CURRENT_USER, kKey, "colour", REG_QWORD, &q, 8);
  PutRaw(HKEY_CURRENT_USER, kKey, "cur", REG_DWORD, &one, 4);
  double nan = std::numeric_limits<double>::quiet_NaN();
  PutRaw(HKEY_CURRENT_USER, kKey, "flt", REG_BINARY, &nan, 8);
  PutRaw(HKEY_CURRENT_USER, kKey, "b", REG_BINARY, &one, 4);
  // A string stored without its zero, and one with a zero inside.
  PutRaw(HKEY_CURRENT_USER, kKey, "expand", REG_EXPAND_SZ, "abc", 3);
  ASSERT_TRUE(st.Load());
  TAll expected;
  expected.expand = "abc";
  EXPECT_TRUE(v.Tie() == expected.Tie());
  PutRaw(HKEY_CURRENT_USER, kKey, "text", REG_SZ, "ab\0cd", 5);
  st.Load();
  EXPECT_EQ(v.text, "ab");
}

TEST_F(SettingsTest, TheSettingsAreStoredInTheirOrderWithTheirDefaults) {
  TSettings s;
  TSettingsStore store(s);
  std::vector<std::string> names;
  for (int i = 0; i < store.Storage().Count(); ++i) names.push_back(store.Storage().Name(i));
  EXPECT_EQ(names, (std::vector<std::string>{
                       "MinimizeOnRun", "ShowErrors", "WinStartup", "Filter", "ViewLog", "Top", "Left",
                       "Width", "Height", "HotTrack", "HandPoint", "UnderlineCold", "UnderlineHot",
                       "LogHeight", "MaxLogSize", "CloseAsMinimize", "EnableAutomation", "TabIndex",
                       "JobDir", "LogDir", "clrInfo1Font", "clrInfo2Font", "clrWarningFont",
                       "clrErrorFont", "clrInfo1Back", "clrInfo2Back", "clrWarningBack", "clrErrorBack"}));
  // Nothing stored: every default, and the directories of the program folder.
  EXPECT_TRUE(store.Load().empty());
  EXPECT_EQ(s.JobDir, g_dir + "Jobs\\");
  EXPECT_EQ(s.LogDir, g_dir + "Logs\\");
  // A value changed and stored is what the next start reads.
  s.EnableAutomation = false;
  s.MaxLogSize = 1000;
  ASSERT_TRUE(store.Save());
  TSettings next;
  TSettingsStore(next).Load();
  EXPECT_TRUE(!next.EnableAutomation && next.MaxLogSize == 1000 && next.WinStartup);
}

TEST_F(SettingsTest, DirectoriesEmptyRelativeAbsoluteAndOnesThatCannotBeMade) {
  std::vector<std::string> problems;
  EXPECT_EQ(SettleDirectory("", "Jobs", &problems), g_dir + "Jobs\\");
  EXPECT_EQ(SettleDirectory("Rel\\Jobs", "Jobs", &problems), g_dir + "Rel\\Jobs\\");
  EXPECT_NE(GetFileAttributesA((g_dir + "Rel\\Jobs").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(problems.empty());
  // A file stands where a folder would have to be made.
  testutil::WriteFileText(g_dir + "blocker", "x");
  EXPECT_EQ(SettleDirectory(g_dir + "blocker\\Logs", "Logs", &problems), g_dir + "Logs\\");
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0], "Cannot create the directory \"" + g_dir + "blocker\\Logs\\\"; \"" + g_dir +
                             "Logs\\\" is used instead");

  // The stored choice stays the user's: a relative one is written back
  // relative, and one that failed is tried again at the next start.
  TSettings s;
  TSettingsStore store(s);
  PutText(HKEY_CURRENT_USER, kSettingsKey, "JobDir", "Rel\\Jobs\\");
  PutText(HKEY_CURRENT_USER, kSettingsKey, "LogDir", g_dir + "blocker\\Logs");
  problems = store.Load();
  EXPECT_EQ(problems.size(), 1u);
  EXPECT_EQ(s.JobDir, g_dir + "Rel\\Jobs\\");
  EXPECT_EQ(s.LogDir, g_dir + "Logs\\");
  EXPECT_EQ(s.PendingJobDir, "Rel\\Jobs");
  EXPECT_EQ(s.PendingLogDir, g_dir + "blocker\\Logs");
  store.Save();
  EXPECT_EQ(RawText(HKEY_CURRENT_USER, kSettingsKey, "JobDir"), "Rel\\Jobs\\");
  EXPECT_EQ(RawText(HKEY_CURRENT_USER, kSettingsKey, "LogDir"), g_dir + "blocker\\Logs\\");
  DeleteFileA((g_dir + "blocker").c_str());
}

TEST_F(SettingsTest, TheRunEntryQuotesThePathAndIsRemovedWithoutCreatingItsKey) {
  const std::string exe = g_dir + "test_settings.exe";
  EXPECT_EQ(ProgramPath(), exe);
  ASSERT_TRUE(SaveStartup(false));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, kRunKey));
  EXPECT_EQ(RawText(HKEY_CURRENT_USER, kProgramKey, "Path"), exe);

  PutText(HKEY_CURRENT_USER, kRunKey, "Other", "other.exe");
  ASSERT_TRUE(SaveStartup(true));
  EXPECT_EQ(RawText(HKEY_CURRENT_USER, kRunKey, kRunValue), "\"" + exe + "\"");
  ASSERT_TRUE(SaveStartup(false));
  EXPECT_EQ(RawText(HKEY_CURRENT_USER, kRunKey, kRunValue), "<missing>");
  EXPECT_EQ(RawText(HKEY_CURRENT_USER, kRunKey, "Other"), "other.exe");
}

TEST_F(SettingsTest, AutomaticLogonWritesOnlyWhatTheUserChanged) {
  const std::string key = WinlogonKey();
  EXPECT_EQ(key, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon");
  // What the system and other tools keep there.
  PutText(HKEY_LOCAL_MACHINE, key, "DefaultUserName", "admin");
  PutText(HKEY_LOCAL_MACHINE, key, "DefaultPassword", "theirs");
  PutText(HKEY_LOCAL_MACHINE, key, "Shell", "explorer.exe");
  LoadAutoLogon();
  EXPECT_FALSE(AutoLogon().Enabled());
  EXPECT_EQ(AutoLogon().DefaultUserName, "admin");

  // Nothing changed (the dialog turns the missing "AutoAdminLogon" into "0").
  TAutoLogon same = AutoLogon();
  same.AutoAdminLogon = "0";
  std::string error;
  ASSERT_TRUE(SaveAutoLogon(same, &error)) << error;
  EXPECT_EQ(RawText(HKEY_LOCAL_MACHINE, key, "AutoAdminLogon"), "<missing>");
  EXPECT_EQ(RawText(HKEY_LOCAL_MACHINE, key, "DefaultPassword"), "theirs");

  TAutoLogon on{"1", "me", "secret"};
  ASSERT_TRUE(SaveAutoLogon(on, &error)) << error;
  EXPECT_EQ(RawText(HKEY_LOCAL_MACHINE, key, "AutoAdminLogon"), "1");
  EXPECT_EQ(RawText(HKEY_LOCAL_MACHINE, key, "DefaultUserName"), "me");
  EXPECT_EQ(RawText(HKEY_LOCAL_MACHINE, key, "DefaultPassword"), "secret");

  // Turned off: the password goes, the rest stays.
  TAutoLogon off = AutoLogon();
  off.AutoAdminLogon = "0";
  ASSERT_TRUE(SaveAutoLogon(off, &error)) << error;
  EXPECT_EQ(RawText(HKEY_LOCAL_MACHINE, key, "AutoAdminLogon"), "0");
  EXPECT_EQ(RawText(HKEY_LOCAL_MACHINE, key, "DefaultPassword"), "<missing>");
  EXPECT_EQ(RawText(HKEY_LOCAL_MACHINE, key, "DefaultUserName"), "me");
  EXPECT_EQ(RawText(HKEY_LOCAL_MACHINE, key, "Shell"), "explorer.exe");
  EXPECT_EQ(AutoLogon().DefaultPassword, "");

  // A change that cannot be written is reported, without the password.
  SetRegistryRoot(g_root + "\\" + std::string(300, 'r'));
  TAutoLogon again{"1", "me", "hunter2"};
  EXPECT_FALSE(SaveAutoLogon(again, &error));
  EXPECT_NE(error.find("Winlogon"), std::string::npos) << error;
  EXPECT_EQ(error.find("hunter2"), std::string::npos) << error;
}

TEST_F(SettingsTest, CategoriesFileSkipsBadEntriesAndKeepsTheRest) {
  std::string path = g_dir + "cats.ini";
  testutil::WriteFileText(path,
                          "[Other]\r\nCAT0=Wrong,1\r\n[Categories]\r\nCount=5\r\nCAT0=a,b,7\r\nCAT1=x\r\n"
                          "CAT2=y,abc\r\nCAT3=z,0\r\nCAT4=Reports, 77\r\n");
  TCategories c;
  auto warnings = c.LoadFromFile(path);
  EXPECT_EQ(c.UserCategories(), (std::vector<TCategory>{{"a,b", 7}, {"Reports", 77}}));
  EXPECT_EQ(c.Items(0), (TCategory{"All Jobs", 0}));
  EXPECT_EQ(warnings, (std::vector<std::string>{
                          "cats.ini: CAT1=x skipped: it has no category number",
                          "cats.ini: CAT2=y,abc skipped: \"abc\" is not a category number",
                          "cats.ini: CAT3=z,0 skipped: category number 0 is \"All Jobs\""}));

  // "Count" bounds the reading and the first missing entry ends it.
  testutil::WriteFileText(path, "[Categories]\nCount=3\nCAT0=One,1\nCAT2=Three,3\nCAT3=Four,4\n");
  EXPECT_TRUE(c.LoadFromFile(path).empty());
  EXPECT_EQ(c.UserCategories(), (std::vector<TCategory>{{"One", 1}}));
  testutil::WriteFileText(path, "[Categories]\nCount=many\nCAT0=One,1\nCAT1=Two,2\n");
  EXPECT_EQ(c.LoadFromFile(path).size(), 1u);
  EXPECT_EQ(c.Count(), 3);
  DeleteFileA(path.c_str());
  EXPECT_TRUE(c.LoadFromFile(path).empty());
  EXPECT_EQ(c.Count(), 1);
}

TEST_F(SettingsTest, CategoriesAreSavedWholeAndAFailedSaveLeavesNoTemporaryFile) {
  std::string path = g_dir + "cats.ini";
  TCategories c;
  c.Assign({{"A", 1}, {"B", 2}, {"C", 3}, {"D", 4}, {"E", 5}});
  c.SaveToFile(path);
  c.Assign({{"Backups", 512}, {"Reports", 77}});
  c.SaveToFile(path);
  EXPECT_EQ(testutil::ReadFileText(path), "[Categories]\r\nCount=2\r\nCAT0=Backups,512\r\nCAT1=Reports,77\r\n");
  TCategories back;
  back.LoadFromFile(path);
  EXPECT_EQ(back.UserCategories(), c.UserCategories());

  // A folder stands where the file would go: the failure is reported and
  // no temporary file stays behind.
  DeleteFileA(path.c_str());
  CreateDirectoryA(path.c_str(), nullptr);
  EXPECT_THROW(c.SaveToFile(path), EOVError);
  EXPECT_FALSE(testutil::FileExists(path + ".tmp"));
  RemoveDirectoryA(path.c_str());
}

TEST_F(SettingsTest, HotTrackingSetsTheListStylesAndClearsThemAgain) {
  HWND list = CreateWindowExA(0, WC_LISTVIEWA, "", WS_POPUP | LVS_REPORT, 0, 0, 100, 100, nullptr, nullptr,
                              nullptr, nullptr);
  ASSERT_TRUE(list);
  auto ex = [&] { return static_cast<DWORD>(SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0)); };
  SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT);
  TSettings s;
  s.HotTrack = true;  // with the defaults: hand cursor and underline under the mouse
  ApplyHotTrackToList(list, s);
  EXPECT_EQ(ex(), static_cast<DWORD>(LVS_EX_FULLROWSELECT | LVS_EX_TRACKSELECT | LVS_EX_ONECLICKACTIVATE |
                                     LVS_EX_UNDERLINEHOT));
  s.HotTrack = false;
  ApplyHotTrackToList(list, s);
  EXPECT_EQ(ex(), static_cast<DWORD>(LVS_EX_FULLROWSELECT));
  DestroyWindow(list);
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  INITCOMMONCONTROLSEX icc{sizeof icc, ICC_LISTVIEW_CLASSES};
  InitCommonControlsEx(&icc);
  g_dir = testutil::MakeTempDir("settings");
  SetProgramDir(g_dir);
  g_root = "Software\\Orvane tests\\settings-" + std::to_string(GetCurrentProcessId());
  SetRegistryRoot(g_root);
  int result = RUN_ALL_TESTS();
  RegDeleteTreeA(HKEY_CURRENT_USER, g_root.c_str());
  testutil::RemoveTree(g_dir);
  return result;
}
