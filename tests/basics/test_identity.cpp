// The General plug-in as the host sees it: its identity, its lists in the
// order job files rely on, and its about box.
#include <gtest/gtest.h>

#include "BasicsTest.h"
#include "DialogDriver.h"
#include "Host.h"
#include "OVClassesPlugins.h"
#include "OVAbout.h"

namespace {

const char* const kMethods[] = {"Show a message",
                                "Run a program/Open a document",
                                "Copy/Move a file(s)",
                                "Delete a file(s)",
                                "Synchronize a folders",
                                "Run other Job",
                                "Shutdown Windows/computer",
                                "Question",
                                "Create text file",
                                "Send WinPopup message",
                                "Print a document(s)",
                                "Send Keys",
                                "Delay (in ms)",
                                "Create File List",
                                "Rename file(s)"};
const char* const kRunners[] = {"Hot key", "Alarm clock", "On Windows shutdown", "Files Monitor", "On idle"};

}  // namespace

TEST(BasicsIdentity, TheHostSeesGeneralWithItsFifteenActionsAndFiveTriggersInOrder) {
  TOVPlugin& p = Basics();
  EXPECT_EQ(p.ID(), 9680);
  EXPECT_EQ(p.Description(), "General");
  ASSERT_EQ(p.MethodCount(), 15);
  for (int i = 0; i < 15; ++i) EXPECT_EQ(p.MethodName(i), kMethods[i]) << i;
  ASSERT_EQ(p.RunnerCount(), 5);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(p.RunnerName(i), kRunners[i]) << i;
}

TEST(BasicsIdentity, TheAboutBoxNamesTheProductTheVersionAndThePlugin) {
  std::string product, version, title;
  {
    testutil::TDialogScript script([&](HWND dlg) {
      product = testutil::GetText(dlg, IDC_ABOUT_PRODUCT);
      version = testutil::GetText(dlg, IDC_ABOUT_VERSION);
      title = testutil::GetText(dlg, IDC_ABOUT_TITLE);
      testutil::Click(dlg, IDOK);
    });
    Basics().About();
  }
  EXPECT_EQ(product, "Plugin for Orvane");
  EXPECT_EQ(version, "Version 1.4");
  EXPECT_EQ(title, "General");
}

