// Test entry for host modules: the application window of this thread, the
// host record, a main log in memory, and Logs/Jobs folders of our own.
#include <gtest/gtest.h>

#include "HostTest.h"
#include "Host.h"
#include "OVClassesLog.h"
#include "TestUtil.h"
#include "uSettings.h"

std::vector<std::string> MainLogTexts() {
  std::vector<std::string> out;
  for (int i = 0; i < MainLog->Count(); ++i) out.push_back(testutil::LogText(MainLog->Strings(i)));
  return out;
}

void ClearMainLog() { MainLog->Clear(); }

int main(int argc, char** argv) {
  ::testing::InitGoogleTest(&argc, argv);
  CreateAppWindow();
  InitHostRecord();
  std::string dir = testutil::MakeTempDir("host");
  Settings.LogDir = dir + "Logs\\";
  Settings.JobDir = dir + "Jobs\\";
  Settings.MaxLogSize = 100000;
  ForceDirectories(Settings.LogDir);
  ForceDirectories(Settings.JobDir);
  MainLog = new TOVLog(nullptr);
  MainLog->AutoSave = false;
  int result = RUN_ALL_TESTS();
  delete MainLog;
  MainLog = nullptr;
  testutil::RemoveTree(dir);
  return result;
}
