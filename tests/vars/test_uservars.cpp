// User variables: values, selecting arguments, the messages that change
// them and their registry storage.
#include <gtest/gtest.h>

#include <thread>

#include "Host.h"
#include "OVClassesLog.h"
#include "OVVars.h"
#include "TestUtil.h"
#include "VarsTest.h"

namespace {

std::string g_key;

class UserVars : public ::testing::Test {
 protected:
  void SetUp() override {
    // Monday, 30 March 2026.
    ResetVariables(EncodeDateTime(2026, 3, 30, 8, 0, 0));
    g_key = "Software\\Halvorn\\OrvaneTest\\User" + std::to_string(GetCurrentProcessId());
    SetUserVariablesKey(g_key);
    RegDeleteTreeA(HKEY_CURRENT_USER, g_key.c_str());
  }
  void TearDown() override {
    ResetTestClock();
    RegDeleteTreeA(HKEY_CURRENT_USER, g_key.c_str());
  }
  static TVarList& List() { return *VarList(); }
  static std::string X(const std::string& text) { return List().ExpandVars(text); }
  static void User(const std::string& name, const std::string& value) {
    ASSERT_GE(List().AddVar(name, value, vkUser, UserVarFunc), 0) << name;
  }
  // The stored values VAR0.. as "name=value" texts, up to the first gap.
  static std::vector<std::string> Stored() {
    std::vector<std::string> out;
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, g_key.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return out;
    for (int i = 0;; ++i) {
      char buf[1024];
      DWORD size = sizeof buf;
      if (RegQueryValueExA(key, ("VAR" + std::to_string(i)).c_str(), nullptr, nullptr,
                           reinterpret_cast<BYTE*>(buf), &size) != ERROR_SUCCESS)
        break;
      out.push_back(buf);
    }
    RegCloseKey(key);
    return out;
  }
  static bool StoredExists(int index) {
    HKEY key;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, g_key.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    bool found = RegQueryValueExA(key, ("VAR" + std::to_string(index)).c_str(), nullptr, nullptr,
                                  nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    return found;
  }
  static void Store(const std::vector<std::string>& texts) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, g_key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    for (size_t i = 0; i < texts.size(); ++i) {
      if (texts[i].empty()) continue;  // a gap
      RegSetValueExA(key, ("VAR" + std::to_string(i)).c_str(), 0, REG_SZ,
                     reinterpret_cast<const BYTE*>(texts[i].c_str()),
                     static_cast<DWORD>(texts[i].size() + 1));
    }
    RegCloseKey(key);
  }
  // Exit and start again: the table is rebuilt and the stored variables read.
  static void Restart() {
    FreeVariables();
    InitVariables();
    SetRegionalSettings(TestRegional());
    LoadUserVariables();
  }
  static std::vector<std::string> UserNames() {
    std::vector<std::string> out;
    for (const TVarEntry& e : List().Entries())
      if (e.Kind == vkUser) out.push_back(e.Name + "=" + e.Description);
    return out;
  }
};

using Texts = std::vector<std::string>;

}  // namespace

// ------------------------------------------------------------ values

TEST_F(UserVars, ASelectingArgumentPicksAnEntry) {
  User("Prefix", "x,sun,mon,tue,wed,thu,fri,sat");
  EXPECT_EQ(X("%PREFIX(DayOfWeekNo)%"), "mon");
  EXPECT_EQ(X("%prefix%"), "x,sun,mon,tue,wed,thu,fri,sat");
  // 2 names no variable: no selection.
  EXPECT_EQ(X("%PREFIX(2)%"), "x,sun,mon,tue,wed,thu,fri,sat");
  EXPECT_EQ(X("%PREFIX(%DayOfWeekNo%)%"), "mon");
}

TEST_F(UserVars, ASelectionOutsideTheListTakesTheFirstEntry) {
  User("Prefix", "x,sun,mon");
  User("Neg", "-3");
  User("Word", "abc");
  EXPECT_EQ(X("%PREFIX(Year)% %PREFIX(NEG)% %PREFIX(WORD)% %PREFIX(Date)%"), "x x x x");
}

TEST_F(UserVars, AnEmptyListWithASelectorFailsTheEvaluation) {
  User("Empty", "");
  User("Blank", "   ");
  EXPECT_EQ(X("[%EMPTY%]"), "[]");
  EXPECT_EQ(X("%EMPTY(DayOfWeekNo)%"), "EMPTY(DayOfWeekNo)");
  EXPECT_EQ(X("%Blank(Day)%"), "Blank(Day)");
}

TEST_F(UserVars, ValuesAreExpandedEachTimeTheyAreUsed) {
  User("Stamp", "made %Date%");
  EXPECT_EQ(X("%STAMP%"), "made 30.03.2026");
  SetTestClock(EncodeDateTime(2026, 4, 2, 8, 0, 0), false);
  EXPECT_EQ(X("%STAMP%"), "made 02.04.2026");
  User("Dates", "%Year%,\"%Date%, %Time%\"");
  User("One", "1");
  EXPECT_EQ(X("%Dates(One)%"), "02.04.2026, 08:00:00");
}

TEST_F(UserVars, VariablesThatReferToEachOtherStopAtTheDepthLimit) {
  User("A", "a%B%");
  User("B", "b%A%");
  std::string ab;
  for (int i = 0; i < kMaxVarDepth / 2; ++i) ab += "ab";
  EXPECT_EQ(X("%A%"), ab + "A");
  User("Self", "%SELF%%SELF%");
  std::string v = X("<%SELF%>");
  EXPECT_EQ(v.substr(0, 5), "<SELF");
  EXPECT_EQ(v.back(), '>');
}

// ------------------------------------------------------------ messages

TEST_F(UserVars, AddVariableAddsAUserVariableOrWarns) {
  HostRecord.AddVariable("BackupDir", "D:\\Backup\\%Date%");
  int i = List().IndexOfVar("backupdir");
  ASSERT_GE(i, 0);
  EXPECT_EQ(List().Kinds(i), vkUser);
  EXPECT_EQ(X("%BACKUPDIR%"), "D:\\Backup\\30.03.2026");
  EXPECT_TRUE(MainLogTexts().empty());
  HostRecord.AddVariable("backupDIR", "other");
  HostRecord.AddVariable("date", "other");
  EXPECT_EQ(MainLogTexts(), (Texts{"Variable backupDIR already exists", "Variable date already exists"}));
  EXPECT_EQ(MainLog->LevelOf(0), lvWarning);
  EXPECT_EQ(X("%BACKUPDIR%"), "D:\\Backup\\30.03.2026");
}

TEST_F(UserVars, DeleteVariableFindsByKeyWhateverTheKind) {
  HostRecord.DeleteVariable("%IncDays(5)%", 0);
  EXPECT_EQ(List().IndexOfVar("IncDays"), -1);
  EXPECT_EQ(X("%IncDays(1)%"), "%IncDays(1)%");
  HostRecord.DeleteVariable("NoSuch", 77);
  EXPECT_EQ(MainLogTexts(), (Texts{"Variable NoSuch not exists"}));
  EXPECT_EQ(MainLog->LevelOf(0), lvWarning);
}

TEST_F(UserVars, SetVariableReplacesAndWarnsWhenTheNameWasNew) {
  HostRecord.SetVariable("Counter", "1");
  EXPECT_EQ(MainLogTexts(), (Texts{"Variable Counter not exists"}));
  ClearMainLog();
  HostRecord.SetVariable("Counter", "2");
  EXPECT_TRUE(MainLogTexts().empty());
  EXPECT_EQ(X("%COUNTER%"), "2");
  // Setting a built-in replaces it with a user variable.
  HostRecord.SetVariable("Year", "1999");
  EXPECT_EQ(X("%Year%"), "1999");
  EXPECT_EQ(List().Kinds(List().IndexOfVar("Year")), vkUser);
}

TEST_F(UserVars, MessagesFromAJobThreadAreHandledOnTheMainThread) {
  bool done = false;
  std::thread worker([&] {
    HostRecord.SetVariable("FromThread", "yes");
    HostRecord.AddVariable("FromThread", "again");
    done = true;
  });
  ASSERT_TRUE(testutil::WaitFor([&] { return done; }, 5000));
  worker.join();
  EXPECT_EQ(X("%FromThread%"), "yes");
  // The handlers run on the main thread: their warnings reach the main log.
  EXPECT_EQ(MainLogTexts(),
            (Texts{"Variable FromThread not exists", "Variable FromThread already exists"}));
}

TEST_F(UserVars, NullNamesChangeNothing) {
  int count = List().Count();
  HostRecord.AddVariable(nullptr, "x");
  HostRecord.DeleteVariable(nullptr, 0);
  HostRecord.SetVariable(nullptr, nullptr);
  HostRecord.AddVariable("NoValue", nullptr);
  EXPECT_EQ(List().Count(), count + 1);
  EXPECT_EQ(X("[%NoValue%]"), "[]");
}

// ------------------------------------------------------------ storage

TEST_F(UserVars, UserVariablesSurviveASaveAndAReload) {
  User("Zeta", "last");
  User("Alpha", "first %Date%");
  User("Mid", "x,y");
  SaveUserVariables();
  EXPECT_EQ(Stored(), (Texts{"ALPHA=first %Date%", "MID=x,y", "ZETA=last"}));
  Restart();
  EXPECT_EQ(UserNames(), (Texts{"ALPHA=first %Date%", "MID=x,y", "ZETA=last"}));
  EXPECT_EQ(X("%Alpha%"), "first 30.03.2026");
  EXPECT_EQ(List().Count(), 31);
}

TEST_F(UserVars, AnEqualsSignInANameMovesIntoTheValueOnReload) {
  HostRecord.AddVariable("A=B", "c");
  EXPECT_EQ(X("%A=B%"), "c");
  SaveUserVariables();
  EXPECT_EQ(Stored(), (Texts{"A=B=c"}));
  Restart();
  EXPECT_EQ(UserNames(), (Texts{"A=B=c"}));
  EXPECT_EQ(X("%A%|%A=B%"), "B=c|%A=B%");
}

TEST_F(UserVars, DeletingThreeOfFiveLeavesExactlyTwoStoredValues) {
  for (const char* n : {"V1", "V2", "V3", "V4", "V5"}) User(n, n);
  SaveUserVariables();
  ASSERT_EQ(Stored().size(), 5u);
  for (const char* n : {"V1", "V3", "V4"}) HostRecord.DeleteVariable(n, 0);
  SaveUserVariables();
  EXPECT_EQ(Stored(), (Texts{"V2=V2", "V5=V5"}));
  for (int i = 2; i < 6; ++i) EXPECT_FALSE(StoredExists(i)) << i;
  // System variables are never stored.
  HostRecord.DeleteVariable("V2", 0);
  HostRecord.DeleteVariable("V5", 0);
  SaveUserVariables();
  EXPECT_TRUE(Stored().empty());
  EXPECT_FALSE(StoredExists(0));
}

TEST_F(UserVars, ReadingEndsAtTheFirstMissingIndex) {
  Store({"ONE=1", "", "THREE=3"});
  LoadUserVariables();
  EXPECT_EQ(UserNames(), (Texts{"ONE=1"}));
}

TEST_F(UserVars, StoredNamesThatAlreadyExistAreSkippedSilently) {
  HostRecord.RegisterVariable("Plugged", "from a plug-in", SystemVarFunc);
  Store({"DATE=stored date", "PLUGGED=stored", "OWN=mine", "JUSTNAME"});
  LoadUserVariables();
  EXPECT_EQ(UserNames(), (Texts{"JUSTNAME=JUSTNAME", "OWN=mine"}));
  EXPECT_EQ(List().Kinds(List().IndexOfVar("Plugged")), vkSystem);
  EXPECT_EQ(X("%Date%"), "30.03.2026");
  EXPECT_TRUE(MainLogTexts().empty());
}

TEST_F(UserVars, AStoredValueThatIsNotTextIsSkipped) {
  Store({"", "NEXT=1"});
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, g_key.c_str(), 0, KEY_WRITE, &key), ERROR_SUCCESS);
  DWORD number = 5;
  RegSetValueExA(key, "VAR0", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
  RegCloseKey(key);
  LoadUserVariables();
  EXPECT_EQ(UserNames(), (Texts{"NEXT=1"}));
}

TEST_F(UserVars, AKeyThatCannotBeOpenedIsLeftAlone) {
  User("Kept", "1");
  SetUserVariablesKey(g_key + "\\" + std::string(300, 'k'));
  SaveUserVariables();
  LoadUserVariables();
  EXPECT_EQ(UserNames(), (Texts{"KEPT=1"}));
  SetUserVariablesKey(g_key);
  EXPECT_TRUE(Stored().empty());
}
