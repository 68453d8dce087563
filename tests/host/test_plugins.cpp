// The real loader on temporary Plugins folders, against test plug-ins that
// misbehave in every way a foreign library can.
#include <gtest/gtest.h>

#include <cstring>

#include "Host.h"
#include "HostTest.h"
#include "OVClassesLog.h"
#include "OVClassesPlugins.h"
#include "OVError.h"
#include "OVMsgBox.h"
#include "TestUtil.h"

using testutil::CopyTestPlugin;

using testutil::MakeTempDir;

namespace {

class PluginLoader : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearMainLog();
    dir_ = MakeTempDir("plugins");
    plugins_ = dir_ + "Plugins\\";
    CreateDirectoryA(plugins_.c_str(), nullptr);
  }
  void TearDown() override {
    list_.reset();
    testutil::RemoveTree(dir_);
  }
  void Add(const std::string& name, const std::string& sub) { CopyTestPlugin(name, plugins_ + sub); }
  TOVPlugins& Load() {
    list_ = std::make_unique<TOVPlugins>();
    list_->LoadFromDir(plugins_);
    return *list_;
  }
  std::string PathOf(const std::string& sub, const std::string& name) {
    return plugins_ + sub + "\\" + name + ".ovp";
  }

  std::string dir_, plugins_;
  std::unique_ptr<TOVPlugins> list_;
};

std::vector<std::string> g_boxes;
int RecordBox(HWND, const char* text, const char*, UINT) {
  g_boxes.push_back(text);
  return IDOK;
}

}  // namespace

TEST_F(PluginLoader, LoadsLibrariesOneLevelBelowPluginsOnly) {
  Add("tp_good", "good");
  CopyTestPlugin("tp_other", plugins_);  // directly in Plugins: not loaded
  TOVPlugins& list = Load();
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Items(0)->ID(), 1001);
  EXPECT_EQ(list.Items(0)->Description(), "Good plugin");
  EXPECT_EQ(list.Items(1), nullptr);
  EXPECT_EQ(MainLogTexts().front(), "Load plugins...");
}

TEST_F(PluginLoader, ReadsNamesAndCountsOfMethodsAndRunners) {
  Add("tp_good", "good");
  TOVPlugin* p = Load().Items(0);
  ASSERT_NE(p, nullptr);
  EXPECT_TRUE(p->HasMethods());
  EXPECT_EQ(p->MethodCount(), 13);
  EXPECT_EQ(p->MethodName(0), "Succeed");
  EXPECT_EQ(p->MethodName(8), "Log lines");
  EXPECT_EQ(p->MethodName(11), "Set variable");
  EXPECT_EQ(p->RunnerCount(), 2);
  EXPECT_EQ(p->RunnerName(1), "Refuser");
  TOVMethodParams params{0, nullptr};
  EXPECT_EQ(p->MethodDescription(2, &params), "Fault with 0 bytes");
  TOVRunnerParams rp{5, 0, nullptr};
  EXPECT_EQ(p->RunnerDescription(0, &rp), "Recorder");  // no runner description entry
}

TEST_F(PluginLoader, RefusesIndexesOutsideTheTablesWithoutCallingThePlugin) {
  Add("tp_good", "good");
  TOVPlugin* p = Load().Items(0);
  TOVMethodParams params{0, nullptr};
  for (int bad : {-1, 13, 1000}) {
    try {
      p->ExecMethod(bad, &params);
      FAIL() << "index " << bad << " was accepted";
    } catch (const EOVError& e) {
      EXPECT_EQ(std::string(e.what()), "Index out of bounds /" + std::to_string(bad) + "/");
    }
  }
  TOVRunnerParams rp{0, 0, nullptr};
  EXPECT_THROW(p->StartRunner(2, &rp), EOVError);
}

TEST_F(PluginLoader, APluginWithoutMethodsRefusesIndexedCalls) {
  Add("tp_nomethods", "empty");
  TOVPlugin* p = Load().Items(0);
  ASSERT_NE(p, nullptr);
  EXPECT_FALSE(p->HasMethods());
  EXPECT_EQ(p->MethodCount(), -1);
  EXPECT_EQ(p->RunnerCount(), -1);
  TOVMethodParams params{0, nullptr};
  try {
    p->ExecMethod(0, &params);
    FAIL();
  } catch (const EOVError& e) {
    EXPECT_STREQ(e.what(), "Index out of bounds /0/");
  }
  TOVRunnerParams rp{0, 0, nullptr};
  EXPECT_THROW(p->StartRunner(0, &rp), EOVError);
}

TEST_F(PluginLoader, ALibraryWithoutTheExportIsReleasedAndSetAside) {
  Add("tp_noexport", "noexp");
  std::string path = PathOf("noexp", "tp_noexport");
  EXPECT_EQ(Load().Count(), 0);
  auto log = MainLogTexts();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[1], "Plugin " + path + " is invalid.");
  EXPECT_EQ(log[2], "GetProcAddress failed (" + path + ")");
  EXPECT_FALSE(testutil::FileExists(path));
  EXPECT_TRUE(testutil::FileExists(plugins_ + "noexp\\tp_noexport.bad"));
  EXPECT_EQ(MainLog->LevelOf(1), lvError);
  EXPECT_EQ(MainLog->LevelOf(2), lvError);
}

TEST_F(PluginLoader, ALibraryOfTheOtherEditionIsSkippedAndKept) {
  // The same plug-in built for the other processor: its file header names
  // that machine. It is neither loaded nor set aside, and the good plug-in
  // beside it still loads.
  Add("tp_good", "good");
  Add("tp_other", "other");
  std::string path = PathOf("other", "tp_other");
  std::vector<uint8_t> bytes = testutil::ReadFileBytes(path);
  uint32_t pe = 0;
  std::memcpy(&pe, bytes.data() + 0x3C, 4);
  uint16_t own = 0;
  std::memcpy(&own, bytes.data() + pe + 4, 2);
  const uint16_t other = own == IMAGE_FILE_MACHINE_AMD64 ? IMAGE_FILE_MACHINE_I386 : IMAGE_FILE_MACHINE_AMD64;
  std::memcpy(bytes.data() + pe + 4, &other, 2);
  testutil::WriteFileBytes(path, bytes);

  TOVPlugins& list = Load();
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Items(0)->ID(), 1001);
  auto log = MainLogTexts();
  auto skipped = std::find_if(log.begin(), log.end(),
                              [&](const std::string& l) { return l.rfind("Plugin " + path + " is a ", 0) == 0; });
  ASSERT_NE(skipped, log.end());
  EXPECT_NE(skipped->find(other == IMAGE_FILE_MACHINE_I386 ? "32-bit (x86) library; the 64-bit edition"
                                                         : "64-bit (x64) library; the 32-bit edition"),
            std::string::npos)
      << *skipped;
  EXPECT_EQ(MainLog->LevelOf(static_cast<int>(skipped - log.begin())), lvWarning);
  EXPECT_EQ(std::find(log.begin(), log.end(), "Plugin " + path + " is invalid."), log.end());
  EXPECT_EQ(testutil::ReadFileBytes(path), bytes);
  EXPECT_FALSE(testutil::FileExists(plugins_ + "other\\tp_other.bad"));
}

TEST_F(PluginLoader, AFileThatIsNoLibraryFailsToLoad) {
  CreateDirectoryA((plugins_ + "junk").c_str(), nullptr);
  testutil::WriteFileText(plugins_ + "junk\\junk.ovp", "not a library");
  EXPECT_EQ(Load().Count(), 0);
  auto log = MainLogTexts();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[2], "Failed load plugin \"" + plugins_ + "junk\\junk.ovp\"");
  EXPECT_TRUE(testutil::FileExists(plugins_ + "junk\\junk.bad"));
}

TEST_F(PluginLoader, InitialisationThatRaisesOrFaultsFailsTheLoadOnly) {
  Add("tp_initraise", "raise");
  Add("tp_initfault", "fault");
  Add("tp_good", "good");
  TOVPlugins& list = Load();
  ASSERT_EQ(list.Count(), 1);
  EXPECT_EQ(list.Items(0)->ID(), 1001);
  auto log = MainLogTexts();
  for (const char* sub : {"raise", "fault"}) {
    std::string name = std::string("tp_init") + sub;
    std::string path = PathOf(sub, name);
    auto invalid = std::find(log.begin(), log.end(), "Plugin " + path + " is invalid.");
    ASSERT_NE(invalid, log.end()) << sub;
    ASSERT_NE(invalid + 1, log.end());
    EXPECT_EQ(*(invalid + 1), "Failed execute 'InitOVPlugin' (" + path + ")");
    EXPECT_TRUE(testutil::FileExists(plugins_ + sub + "\\" + name + ".bad"));
  }
}

TEST_F(PluginLoader, AFailedLoadLeavesThePluginsIconsAlive) {
  Add("tp_iconfault", "icons");
  TOVPlugins& list = Load();
  EXPECT_EQ(list.Count(), 0);
  HICON icon = nullptr;
  for (const auto& l : MainLogTexts())
    if (l.rfind("icon ", 0) == 0) icon = reinterpret_cast<HICON>(std::stoull(l.substr(5), nullptr, 16));
  ASSERT_NE(icon, nullptr);
  // The library stays mapped after a failed load, and its icon is its own.
  ICONINFO info{};
  ASSERT_TRUE(GetIconInfo(icon, &info));
  DeleteObject(info.hbmMask);
  if (info.hbmColor) DeleteObject(info.hbmColor);
}

TEST_F(PluginLoader, ADescriptionIsCutTo1023Characters) {
  Add("tp_longdescr", "long");
  TOVPlugin* p = Load().Items(0);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p->Description(), std::string(1023, 'd'));
}

TEST_F(PluginLoader, ADescriptionEntryThatFaultsYieldsTheNameAndNoError) {
  Add("tp_descrfault", "descr");
  TOVPlugin* p = Load().Items(0);
  ClearMainLog();
  TOVMethodParams params{0, nullptr};
  EXPECT_EQ(p->MethodDescription(1, &params), "Fail");
  EXPECT_TRUE(MainLogTexts().empty());
}

TEST_F(PluginLoader, AFaultingExecMethodIsReportedAndTheNextCallWorks) {
  Add("tp_good", "good");
  TOVPlugin* p = Load().Items(0);
  std::string path = PathOf("good", "tp_good");
  TOVMethodParams params{0, nullptr};
  for (int index = 2; index <= 6; ++index) {
    try {
      p->ExecMethod(index, &params);
      FAIL() << "method " << index << " did not fail";
    } catch (const EOVError& e) {
      EXPECT_EQ(std::string(e.what()), "Failed execute 'ExecMethod' (" + path + ")");
    }
    EXPECT_TRUE(p->ExecMethod(0, &params)) << "after method " << index;
  }
  EXPECT_FALSE(p->ExecMethod(1, &params));
}

TEST_F(PluginLoader, TwoPluginsWithOneIDBothLoadAndTheFirstIsFound) {
  Add("tp_good", "a");
  Add("tp_twin", "b");
  TOVPlugins& list = Load();
  ASSERT_EQ(list.Count(), 2);
  EXPECT_EQ(list.IndexOfID(1001), 0);
  EXPECT_EQ(list.FindByID(1001)->Description(), "Good plugin");
  EXPECT_EQ(list.Items(1)->Description(), "Twin plugin");
  EXPECT_EQ(list.IndexOfID(4242), -1);
  EXPECT_EQ(list.FindByID(4242), nullptr);
}

TEST_F(PluginLoader, ShutsDownInLoadOrderAndUnloadsEverything) {
  Add("tp_good", "a");
  Add("tp_other", "b");
  TOVPlugins& list = Load();
  ASSERT_EQ(list.Count(), 2);
  ClearMainLog();
  list.ShutdownAll();
  EXPECT_EQ(MainLogTexts(), (std::vector<std::string>{"shutdown Good plugin", "shutdown Other plugin"}));
  HMODULE before = GetModuleHandleA(PathOf("a", "tp_good").c_str());
  EXPECT_NE(before, nullptr);
  list_.reset();
  EXPECT_EQ(MainLogTexts().back(), "Unload plugins...");
  EXPECT_EQ(GetModuleHandleA(PathOf("a", "tp_good").c_str()), nullptr);
  EXPECT_EQ(GetModuleHandleA(PathOf("b", "tp_other").c_str()), nullptr);
}

TEST_F(PluginLoader, NoPluginConfigurationShowsTheInformationBox) {
  Add("tp_good", "good");
  TOVPlugin* p = Load().Items(0);
  g_boxes.clear();
  SetMsgBoxResponder(RecordBox);
  p->Configure();
  SetMsgBoxResponder(nullptr);
  EXPECT_EQ(g_boxes, std::vector<std::string>{"No configuration needed."});
}

TEST_F(PluginLoader, ABeforeLoadHandlerCanRefuseAndLoadedIsReported) {
  Add("tp_good", "a");
  Add("tp_other", "b");
  list_ = std::make_unique<TOVPlugins>();
  std::vector<int32_t> loaded;
  list_->OnBeforeLoad = [](TOVPlugins*, const std::string& f, bool& allow) {
    allow = f.find("tp_other") == std::string::npos;
  };
  list_->OnLoaded = [&](TOVPlugins*, TOVPlugin* p) { loaded.push_back(p->ID()); };
  list_->LoadFromDir(plugins_);
  EXPECT_EQ(loaded, std::vector<int32_t>{1001});
  EXPECT_EQ(list_->Count(), 1);
  EXPECT_TRUE(testutil::FileExists(PathOf("b", "tp_other")));  // refused, not renamed
}
