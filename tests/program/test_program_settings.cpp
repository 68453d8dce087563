// The real orvane.exe keeps its settings, directories, categories and
// automation state across restarts, each run on a registry root of its own.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "JobFileBytes.h"
#include "TestUtil.h"

using jobbytes::JobSpec;
using jobbytes::StepSpec;
using testutil::TProgram;

namespace {

const char kSettings[] = "Software\\Halvorn\\Orvane\\Settings";
constexpr int32_t kTestPlugin = 1001;
constexpr int kAutomationOffStep = 12;

struct TValue {
  bool exists = false;
  DWORD number = 0;
  std::string text;
};

TValue Read(const std::string& key, const std::string& name) {
  TValue v;
  char buf[2048] = {};
  DWORD size = sizeof buf - 1;
  v.exists = RegGetValueA(HKEY_CURRENT_USER, key.c_str(), name.c_str(), RRF_RT_ANY, nullptr, buf, &size) ==
             ERROR_SUCCESS;
  std::memcpy(&v.number, buf, 4);
  v.text = buf;
  return v;
}

DWORD ValueCount(const std::string& key) {
  HKEY h;
  DWORD count = 0;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, key.c_str(), 0, KEY_READ, &h) != ERROR_SUCCESS) return 0;
  RegQueryInfoKeyA(h, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr,
                   nullptr);
  RegCloseKey(h);
  return count;
}

bool KeyExists(HKEY hive, const std::string& key) {
  HKEY h;
  bool ok = RegOpenKeyExA(hive, key.c_str(), 0, KEY_READ, &h) == ERROR_SUCCESS;
  if (ok) RegCloseKey(h);
  return ok;
}

void Put(const std::string& key, const std::string& name, DWORD number) {
  RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), name.c_str(), REG_DWORD, &number, 4);
}

void Put(const std::string& key, const std::string& name, const std::string& text) {
  RegSetKeyValueA(HKEY_CURRENT_USER, key.c_str(), name.c_str(), REG_SZ, text.c_str(),
                  static_cast<DWORD>(text.size() + 1));
}

std::vector<std::string> Texts(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const auto& l : lines) out.push_back(testutil::LogText(l.size() > 2 ? l.substr(2) : l));
  return out;
}

size_t CountOf(const std::vector<std::string>& v, const std::string& s) {
  return static_cast<size_t>(std::count(v.begin(), v.end(), s));
}

void StartAndClose(TProgram& p) {
  ASSERT_TRUE(p.Start());
  p.Close();
  ASSERT_TRUE(p.WaitExit(30000));
}

}  // namespace

TEST(ProgramSettings, TheFirstRunStoresItsDefaultsUnderItsOwnRegistryRootOnly) {
  // In-process tests of the same run may have made the user's own keys:
  // what counts is that the program adds nothing there.
  const bool ownKeyBefore = KeyExists(HKEY_CURRENT_USER, "Software\\Halvorn\\Orvane\\Settings");
  const bool ownRunBefore = Read("Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Orvane").exists;
  TProgram p("settings-first");
  StartAndClose(p);
  const std::string settings = p.RegKey(HKEY_CURRENT_USER, kSettings);
  EXPECT_EQ(ValueCount(settings), 28u);
  EXPECT_EQ(Read(settings, "WinStartup").number, 1u);
  EXPECT_EQ(Read(settings, "EnableAutomation").number, 1u);
  EXPECT_EQ(Read(settings, "MaxLogSize").number, 200u);
  EXPECT_EQ(Read(settings, "clrInfo1Back").number, 0x80000005u);
  EXPECT_EQ(Read(settings, "Filter").text, "All files|*.*|");
  EXPECT_EQ(Read(settings, "JobDir").text, p.JobsDir());
  EXPECT_EQ(Read(settings, "LogDir").text, p.LogsDir());
  const std::string exe = p.Dir() + "orvane.exe";
  EXPECT_EQ(Read(p.RegKey(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run"), "Orvane").text,
            "\"" + exe + "\"");
  EXPECT_EQ(Read(p.RegKey(HKEY_CURRENT_USER, "Software\\Halvorn\\Orvane"), "Path").text, exe);
  EXPECT_TRUE(KeyExists(HKEY_CURRENT_USER, p.RegKey(HKEY_CURRENT_USER, "Software\\Halvorn\\Orvane\\User variables")));
  // The automatic-logon values are only written when the user changes them.
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER,
                         p.RegKey(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion\\Winlogon")));
  // Nothing reached the user's own keys.
  EXPECT_EQ(KeyExists(HKEY_CURRENT_USER, "Software\\Halvorn\\Orvane\\Settings"), ownKeyBefore);
  EXPECT_EQ(Read("Software\\Microsoft\\Windows\\CurrentVersion\\Run", "Orvane").exists, ownRunBefore);
}

TEST(ProgramSettings, OptionsDirectoriesCategoriesAndAutomationSurviveRestarts) {
  TProgram p("settings-restart");
  p.AddTestPlugin("tp_good");
  const std::string settings = p.RegKey(HKEY_CURRENT_USER, kSettings);
  // A Jobs directory under the program folder, named relative to it.
  Put(settings, "JobDir", "My Jobs");
  Put(settings, "HotTrack", 1);
  Put(settings, "WinStartup", 0u);
  const std::string jobs = p.Dir() + "My Jobs\\";
  testutil::MakeDirs(jobs);
  JobSpec job{.id = 0x9101, .name = "Switch off", .active = -1,
              .steps = {StepSpec{kTestPlugin, kAutomationOffStep, "Off"}}, .runOnStart = true};
  testutil::WriteFileBytes(jobs + jobbytes::JobFileName(job.id), jobbytes::JobFile(job));
  testutil::WriteFileText(jobs + "cats.ini",
                          "[Categories]\r\nCount=4\r\nCAT0=a,b,7\r\nCAT1=x\r\nCAT2=y,abc\r\nCAT3=z,0\r\n");

  // The job that runs at start turns automation off; that is stored at once.
  ASSERT_TRUE(p.Start());
  EXPECT_TRUE(testutil::WaitFor([&] { return Read(settings, "EnableAutomation").exists &&
                                             Read(settings, "EnableAutomation").number == 0; },
                                10000));
  p.Close();
  ASSERT_TRUE(p.WaitExit(30000));
  auto lines = p.MainLogLines();
  size_t warnings = static_cast<size_t>(std::count_if(lines.begin(), lines.end(), [](const std::string& l) {
    return l.rfind("W ", 0) == 0 && l.find("cats.ini: CAT") != std::string::npos;
  }));
  EXPECT_EQ(warnings, 3u);
  EXPECT_EQ(testutil::ReadFileText(jobs + "cats.ini"), "[Categories]\r\nCount=1\r\nCAT0=a,b,7\r\n");
  EXPECT_FALSE(testutil::FileExists(p.JobsDir() + "cats.ini"));

  StartAndClose(p);
  auto log = Texts(p.MainLogLines());
  EXPECT_EQ(CountOf(log, "Starting Job [Switch off]"), 1u);  // the second start found automation off
  EXPECT_EQ(Read(settings, "EnableAutomation").number, 0u);
  EXPECT_EQ(Read(settings, "HotTrack").number, 1u);
  EXPECT_EQ(Read(settings, "JobDir").text, "My Jobs\\");
  EXPECT_EQ(Read(settings, "LogDir").text, p.LogsDir());
  EXPECT_TRUE(testutil::FileExists(jobs + jobbytes::JobFileName(job.id)));
  // Start with Windows is off: no Run entry, not even its key.
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, p.RegKey(HKEY_CURRENT_USER, "Software\\Microsoft\\Windows\\CurrentVersion\\Run")));
}

TEST(ProgramSettings, ACustomLogsDirectoryAndMaxLogSizeKeepAThousandMainLogLines) {
  TProgram p("settings-logs");
  const std::string settings = p.RegKey(HKEY_CURRENT_USER, kSettings);
  const std::string logs = p.Dir() + "Other logs\\";
  Put(settings, "LogDir", logs);
  Put(settings, "MaxLogSize", 1000u);
  testutil::MakeDirs(logs);
  std::string old;
  for (int i = 0; i < 1500; ++i) old += "I old " + std::to_string(i) + "\r\n";
  testutil::WriteFileText(logs + "OV.log", old);

  for (int round = 0; round < 2; ++round) {
    StartAndClose(p);
    auto lines = testutil::ReadLines(logs + "OV.log");
    EXPECT_EQ(lines.size(), 1000u) << "round " << round;
    EXPECT_EQ(CountOf(lines, "I old 1499"), 1u) << "round " << round;
    EXPECT_EQ(CountOf(lines, "I old 499"), 0u) << "round " << round;
  }
  EXPECT_FALSE(testutil::FileExists(p.LogsDir() + "OV.log"));
}
