// Test entry for the variables: the application window of this thread, the
// host record, a main log in memory and a registry key of our own.
#include <gtest/gtest.h>

#include "Host.h"
#include "OVClassesLog.h"
#include "OVVars.h"
#include "TestUtil.h"
#include "VarsTest.h"
#include "uSettings.h"

std::vector<std::string> MainLogTexts() {
  std::vector<std::string> out;
  for (int i = 0; i < MainLog->Count(); ++i) out.push_back(testutil::LogText(MainLog->Strings(i)));
  return out;
}

void ClearMainLog() { MainLog->Clear(); }

TRegionalSettings TestRegional() {
  TRegionalSettings r;
  r.ShortDateFormat = "dd.MM.yyyy";
  r.LongTimeFormat = "HH:mm:ss";
  const char* days[7] = {"Sonntag", "Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag"};
  const char* months[12] = {"Januar", "Februar", "Maerz",     "April",   "Mai",      "Juni",
                            "Juli",   "August",  "September", "Oktober", "November", "Dezember"};
  for (int i = 0; i < 7; ++i) {
    r.LongDayNames[i] = days[i];
    r.ShortDayNames[i] = std::string(days[i], 2);
  }
  for (int i = 0; i < 12; ++i) {
    r.LongMonthNames[i] = months[i];
    r.ShortMonthNames[i] = std::string(months[i], 3);
  }
  return r;
}

void ResetVariables(TDateTime now) {
  FreeVariables();
  InitVariables();
  SetRegionalSettings(TestRegional());
  SetTestClock(now, false);
  ClearMainLog();
}

std::string HostExpand(const std::string& text, int capacity) {
  std::string out(static_cast<size_t>(capacity) + 1, '#');
  HostRecord.ExpandVariables(text.c_str(), &out[0], capacity);
  return out.c_str();
}

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  CreateAppWindow();
  InitHostRecord();
  std::string dir = testutil::MakeTempDir("vars");
  Settings.LogDir = dir + "Logs\\";
  Settings.JobDir = dir + "Jobs\\";
  ForceDirectories(Settings.LogDir);
  ForceDirectories(Settings.JobDir);
  SetProgramDir(dir);
  MainLog = new TOVLog(nullptr);
  MainLog->AutoSave = false;
  std::string key = "Software\\Halvorn\\OrvaneTest\\Vars" + std::to_string(GetCurrentProcessId());
  SetUserVariablesKey(key + "\\User variables");
  InitVariables();
  int result = RUN_ALL_TESTS();
  FreeVariables();
  RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
  delete MainLog;
  MainLog = nullptr;
  testutil::RemoveTree(dir);
  return result;
}
