// The 28 built-in variables on a fixed clock and fixed regional settings.
#include <gtest/gtest.h>

#include "Host.h"
#include "OVVars.h"
#include "TestUtil.h"
#include "VarsTest.h"

namespace {

class SystemVars : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetVariables(EncodeDateTime(2026, 3, 31, 14, 5, 9));
    dir_ = testutil::MakeTempDir("sysvars");
  }
  void TearDown() override {
    ResetTestClock();
    testutil::RemoveTree(dir_);
  }
  static void At(int y, int m, int d, int h = 12, int n = 0, int s = 0, int ms = 0) {
    SetTestClock(EncodeDateTime(y, m, d, h, n, s, ms), false);
  }
  static std::string X(const std::string& text) { return VarList()->ExpandVars(text); }
  std::string dir_;
};

}  // namespace

TEST_F(SystemVars, ClockRowsUseTheRegionalFormatsAndNames) {
  EXPECT_EQ(X("%Time%"), "14:05:09");
  EXPECT_EQ(X("%Date%"), "31.03.2026");
  EXPECT_EQ(X("%DateTime%"), "31.03.2026 14:05:09");
  EXPECT_EQ(X("%DayOfWeek%|ShortDayOfWeek|%DayOfWeekNo%"), "DienstagDi03");
  EXPECT_EQ(X("%Year%-%MonthNo%-%Day% %Hours%:%Minutes%:%Seconds%"), "2026-03-31 14:05:09");
  EXPECT_EQ(X("%MonthName% %ShortMonthName% %ShortYear%"), "Maerz Mae 26");
}

TEST_F(SystemVars, NumbersArePaddedToTwoDigitsOnly) {
  At(2026, 1, 2, 3, 4, 5);
  EXPECT_EQ(X("%MonthNo%.%Day% %Hours%:%Minutes%:%Seconds%"), "01.02 03:04:05");
  At(987, 1, 2);
  EXPECT_EQ(X("%Year% %ShortYear%"), "987 7");
  At(5, 6, 7);
  EXPECT_EQ(X("%Year%/%ShortYear%/"), "5//");
}

TEST_F(SystemVars, WeekdaysCountFromSunday) {
  const char* names[7] = {"Sonntag", "Montag", "Dienstag", "Mittwoch", "Donnerstag", "Freitag", "Samstag"};
  for (int i = 0; i < 7; ++i) {
    At(2026, 3, 29 + i);  // 29 March 2026 is a Sunday
    EXPECT_EQ(X("%DayOfWeekNo% %DayOfWeek%"), "0" + std::to_string(i + 1) + " " + names[i]);
  }
}

TEST_F(SystemVars, DateTimeLeavesTheTimeOutAtExactlyMidnight) {
  At(2026, 5, 1, 0, 0, 0, 0);
  EXPECT_EQ(X("%DateTime%"), "01.05.2026");
  At(2026, 5, 1, 0, 0, 0, 1);
  EXPECT_EQ(X("%DateTime%"), "01.05.2026 00:00:00");
}

TEST_F(SystemVars, EveryEvaluationReadsTheClockAfresh) {
  EXPECT_EQ(X("%Seconds%"), "09");
  At(2026, 3, 31, 14, 5, 10);
  EXPECT_EQ(X("%Seconds%"), "10");
}

TEST_F(SystemVars, DayArithmeticCrossesMonthsAndYears) {
  EXPECT_EQ(X("%IncDays(-1)% %IncDays(1)% %MonthIncDays(1)% %IncDays(+0)%"), "30 01 04 31");
  At(2024, 3, 1);
  EXPECT_EQ(X("%MonthIncDays(-1)%/%IncDays(-1)%"), "02/29");
  At(2026, 12, 31);
  EXPECT_EQ(X("%ShortYearIncDays(1)% %YearIncDays(1)% %YearIncDays(-365)%"), "27 2027 2025");
  At(2026, 1, 1);
  EXPECT_EQ(X("%YearIncDays(-1)%-%MonthIncDays(-1)%-%IncDays(-1)%"), "2025-12-31");
}

TEST_F(SystemVars, MonthArithmeticCutsTheDayToTheTargetMonth) {
  EXPECT_EQ(X("%IncMonths(-1)%"), "02");
  EXPECT_EQ(X("%IncMonths(1)% %IncMonths(12)% %IncMonths(-12)% %IncMonths(10)%"), "04 03 03 01");
  At(2026, 1, 15);
  EXPECT_EQ(X("%IncMonths(-13)% %IncMonths(-1)% %IncMonths(11)%"), "12 12 12");
  At(2024, 2, 29);
  EXPECT_EQ(X("%IncYears(1)% %IncYears(-4)% %IncYears(0)%"), "2025 2020 2024");
}

TEST_F(SystemVars, NumberArgumentsAreWholeDecimalNumbers) {
  EXPECT_EQ(X("%IncDays(+1)%"), "01");
  for (const char* bad : {"", " 1", "1 ", "0x10", "1.0", "--1", "+", "abc", "99999999999", "2147483648"})
    EXPECT_EQ(X(std::string("%IncDays(") + bad + ")%"), std::string("IncDays(") + bad + ")") << bad;
  EXPECT_EQ(X("%IncDays%"), "IncDays");
}

TEST_F(SystemVars, DatesOutsideTheCalendarFailTheEvaluation) {
  EXPECT_EQ(X("%IncDays(2147483647)%"), "IncDays(2147483647)");
  EXPECT_EQ(X("%YearIncDays(-2147483648)%"), "YearIncDays(-2147483648)");
  EXPECT_EQ(X("%IncYears(-2026)% %IncYears(7973)% %IncYears(7974)%"), "IncYears(-2026) 9999 IncYears(7974)");
  EXPECT_EQ(X("%IncMonths(2147483647)%"), "IncMonths(2147483647)");
}

TEST_F(SystemVars, AnArgumentThatNamesAVariableStandsForItsValue) {
  VarList()->AddVar("Offset", "-1", vkUser, UserVarFunc);
  EXPECT_EQ(X("%IncDays(OFFSET)% %IncDays(%Offset%)% %IncDays(|offset|)%"), "30 30 30");
  // A built-in as argument: IncDays(Day) moves by the day of the month.
  At(2026, 3, 5);
  EXPECT_EQ(X("%IncDays(Day)%"), "10");
}

TEST_F(SystemVars, SystemDirectoriesEndInABackslash) {
  for (const char* ref : {"%TempDir%", "%WinDir%", "%SystemDir%"}) {
    std::string dir = X(ref);
    ASSERT_GT(dir.size(), 3u) << ref;
    EXPECT_EQ(dir.back(), '\\') << ref;
    DWORD attr = GetFileAttributesA(dir.c_str());
    EXPECT_TRUE(attr != INVALID_FILE_ATTRIBUTES && (attr & FILE_ATTRIBUTE_DIRECTORY)) << dir;
  }
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  EXPECT_EQ(X("%TempDir%"), temp);
}

TEST_F(SystemVars, UserAndComputerNamesComeFromTheSystem) {
  char user[256];
  DWORD n = GetEnvironmentVariableA("USERNAME", user, sizeof user);
  ASSERT_GT(n, 0u);
  EXPECT_EQ(X("%UserName%"), std::string(user, n));
  EXPECT_FALSE(X("%ComputerName%").empty());
  EXPECT_NE(X("%ComputerName%"), "%ComputerName%");
}

TEST_F(SystemVars, TextFileJoinsItsLinesWithCrLf) {
  std::string f = dir_ + "lines.txt";
  testutil::WriteFileText(f, "a\r\nb\nc\rd\r\n");
  EXPECT_EQ(X("%TextFile(" + f + ")%"), "a\r\nb\r\nc\r\nd");
  testutil::WriteFileText(f, "a\n\n");
  EXPECT_EQ(X("[%TextFile(" + f + ")%]"), "[a\r\n]");
  testutil::WriteFileText(f, "");
  EXPECT_EQ(X("[%TextFile(" + f + ")%]"), "[]");
  testutil::WriteFileText(f, "\r\r\n\n");
  EXPECT_EQ(X("[%TextFile(" + f + ")%]"), "[\r\n\r\n]");
}

TEST_F(SystemVars, TextFileExpandsItsContentsWhenRead) {
  std::string f = dir_ + "dated.txt";
  testutil::WriteFileText(f, "Report of %Date%\nDone 100%\n");
  EXPECT_EQ(X("%TextFile(" + f + ")%"), "Report of 31.03.2026\r\nDone 100%");
  At(2026, 4, 1);
  EXPECT_EQ(X("%TextFile(" + f + ")%"), "Report of 01.04.2026\r\nDone 100%");
  VarList()->AddVar("ListFile", f, vkUser, UserVarFunc);
  EXPECT_EQ(X("%TextFile(ListFile)%"), X("%TextFile(" + f + ")%"));
  EXPECT_EQ(X("%TextFile(%LISTFILE%)%"), X("%TextFile(" + f + ")%"));
}

TEST_F(SystemVars, AMissingTextFileIsNamedInTheText) {
  EXPECT_EQ(X("%TextFile(C:\\missing.txt)%"), "File C:\\missing.txt does not exists");
  EXPECT_EQ(X("<%TextFile%>"), "<File  does not exists>");
  std::string sub = dir_ + "folder";
  CreateDirectoryA(sub.c_str(), nullptr);
  EXPECT_EQ(X("%TextFile(" + sub + ")%"), "File " + sub + " does not exists");
}

TEST_F(SystemVars, ATextFileThatIncludesItselfStopsAtTheDepthLimit) {
  std::string f = dir_ + "self.txt";
  testutil::WriteFileText(f, "x%TextFile(" + f + ")%");
  EXPECT_EQ(X("%TextFile(" + f + ")%"), std::string(kMaxVarDepth, 'x') + "TextFile(" + f + ")");
  // Twice per level: the values are cut at the evaluator buffer long
  // before the levels multiply out.
  testutil::WriteFileText(f, "%TextFile(" + f + ")%%TextFile(" + f + ")%");
  std::string twice = X("%TextFile(" + f + ")%");
  EXPECT_EQ(twice.size(), 65536u);
  EXPECT_EQ(twice.substr(0, 10 + f.size()), "TextFile(" + f + ")");
}

TEST_F(SystemVars, ALargeTextFileIsCutToTheValueBuffer) {
  std::string f = dir_ + "large.txt";
  std::string line(99, 'L');
  std::string content;
  for (int i = 0; i < 2000; ++i) content += line + "\n";
  testutil::WriteFileText(f, content);
  std::string v = X("%TextFile(" + f + ")%!");
  ASSERT_EQ(v.size(), 65537u);
  EXPECT_EQ(v.substr(0, 101), line + "\r\n");
  EXPECT_EQ(v.back(), '!');
}

TEST_F(SystemVars, EnvironmentVarReadsTheProcessEnvironment) {
  SetEnvironmentVariableA("OV_VAR_TEST", "some value");
  EXPECT_EQ(X("%EnvironmentVar(OV_VAR_TEST)%"), "some value");
  EXPECT_EQ(X("a%EnvironmentVar(NO_SUCH_VAR)%b"), "ab");
  SetEnvironmentVariableA("OV_VAR_TEST", nullptr);
  EXPECT_EQ(X("[%EnvironmentVar(OV_VAR_TEST)%]"), "[]");
}

TEST_F(SystemVars, AKeyOutsideTheTableYieldsTheKey) {
  VarList()->AddVar("Custom(x)", "not built in", vkSystem, SystemVarFunc);
  EXPECT_EQ(X("%custom(1)%"), "CUSTOM");
}

TEST(RegionalSettings, TheSystemsNamesAreReadSundayFirst) {
  // Wine's default locale (0x409).
  TRegionalSettings r = ReadSystemRegionalSettings();
  EXPECT_EQ(r.LongDayNames[0], "Sunday");
  EXPECT_EQ(r.LongDayNames[1], "Monday");
  EXPECT_EQ(r.ShortDayNames[6], "Sat");
  EXPECT_EQ(r.LongMonthNames[0], "January");
  EXPECT_EQ(r.ShortMonthNames[11], "Dec");
  EXPECT_EQ(r.ShortDateFormat, "M/d/yyyy");
  EXPECT_FALSE(r.LongTimeFormat.empty());
}
