// The engine of "Create File List": its date filter, the search over real
// folders and the decorated lines.
#include <gtest/gtest.h>

#include <windows.h>

#include "FileList.h"
#include "TestUtil.h"

namespace {

TDateTime D(int y, int m, int d) { return EncodeDate(y, m, d); }

TDateFilter Kind(uint32_t kind, uint32_t n) {
  TDateFilter f;
  f.AllFiles = false;
  f.Kind = kind;
  f.N = n;
  return f;
}

// A file whose modification time lies `days` before now (local time).
void Dated(const std::string& path, int days) {
  testutil::WriteFileText(path, "x");
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER t{{now.dwLowDateTime, now.dwHighDateTime}};
  t.QuadPart -= static_cast<ULONGLONG>(days) * 864000000000ULL;
  FILETIME ft{t.LowPart, t.HighPart};
  HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  SetFileTime(h, nullptr, nullptr, &ft);
  CloseHandle(h);
}

class FileListSearch : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = testutil::MakeTempDir("filelist"); }
  void TearDown() override { testutil::RemoveTree(dir_); }
  std::vector<std::string> Search(const std::vector<std::string>& specs, bool subDirs = true,
                                  const TDateFilter& filter = TDateFilter(), const std::string& own = "",
                                  const std::vector<std::string>& excludes = {}) {
    refused_.clear();
    return SearchFileList(specs, excludes, subDirs, filter, OVNow(), own,
                          [this](const std::string& s) { refused_.push_back(s); });
  }
  std::string dir_;
  std::vector<std::string> refused_;
};

}  // namespace

TEST(FileListDates, MonthsCountCalendarMonthsWithTwentyOneDaysAsOneMore) {
  EXPECT_EQ(MonthsBetween(D(2026, 3, 15), D(2026, 3, 15)), 0);
  EXPECT_EQ(MonthsBetween(D(2026, 3, 15), D(2026, 2, 15)), 1);
  EXPECT_EQ(MonthsBetween(D(2026, 2, 15), D(2026, 3, 15)), 1);
  // 20 days stay below a month, 21 count as one.
  EXPECT_EQ(MonthsBetween(D(2026, 3, 21), D(2026, 3, 1)), 0);
  EXPECT_EQ(MonthsBetween(D(2026, 3, 22), D(2026, 3, 1)), 1);
  // Month ends: days borrowed from the earlier month.
  EXPECT_EQ(MonthsBetween(D(2026, 3, 1), D(2026, 1, 31)), 1);   // 1 month 1 day
  EXPECT_EQ(MonthsBetween(D(2026, 3, 30), D(2026, 2, 28)), 1);  // 1 month 2 days
  EXPECT_EQ(MonthsBetween(D(2024, 3, 20), D(2024, 2, 29)), 0);  // 20 days
  EXPECT_EQ(MonthsBetween(D(2027, 1, 5), D(2025, 12, 20)), 12);     // 1 year 16 days
  EXPECT_EQ(DaysBetween(D(2026, 3, 15), D(2026, 3, 15)), 1);
  EXPECT_EQ(DaysBetween(D(2026, 3, 14), D(2026, 3, 15)), 2);
  EXPECT_EQ(DaysBetween(D(2026, 3, 17), D(2026, 3, 15)), 0);
}

TEST(FileListDates, TheFiveKinds) {
  const TDateTime today = D(2026, 3, 15);
  EXPECT_TRUE(TDateFilter().Accepts(D(1990, 1, 1), today));
  // Older than 1 day: yesterday and before; during the previous 1 day: today only.
  EXPECT_FALSE(Kind(5, 1).Accepts(today, today));
  EXPECT_TRUE(Kind(5, 1).Accepts(today - 1, today));
  EXPECT_TRUE(Kind(3, 1).Accepts(today, today));
  EXPECT_FALSE(Kind(3, 1).Accepts(today - 1, today));
  EXPECT_TRUE(Kind(3, 7).Accepts(today - 6, today));
  EXPECT_FALSE(Kind(3, 7).Accepts(today - 7, today));
  EXPECT_TRUE(Kind(2, 1).Accepts(D(2026, 2, 15), today));
  EXPECT_FALSE(Kind(2, 1).Accepts(D(2026, 1, 20), today));  // 1 month 23 days: 2
  EXPECT_TRUE(Kind(4, 1).Accepts(D(2026, 1, 20), today));
  EXPECT_FALSE(Kind(4, 1).Accepts(D(2026, 2, 1), today));
  TDateFilter between = Kind(1, 0);
  between.Date1 = D(2026, 3, 1);
  between.Date2 = D(2026, 3, 10);
  EXPECT_TRUE(between.Accepts(D(2026, 3, 1), today));
  EXPECT_TRUE(between.Accepts(D(2026, 3, 10), today));
  EXPECT_FALSE(between.Accepts(D(2026, 3, 11), today));
}

TEST_F(FileListSearch, OverlappingSpecificationsListEachFileOnceSortedWithoutCase) {
  testutil::MakeDirs(dir_ + "Sub");
  for (const char* f : {"b.txt", "A.txt", "c.log", "_x.txt", "Sub\\d.txt"}) testutil::WriteFileText(dir_ + f, "x");
  testutil::WriteFileText(dir_ + "hidden.txt", "x");
  SetFileAttributesA((dir_ + "hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesA((dir_ + "b.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  auto list = Search({dir_ + "*.txt", dir_ + "*.*", dir_ + "A.TXT"});
  std::vector<std::string> expected = {dir_ + "_x.txt", dir_ + "A.txt", dir_ + "b.txt", dir_ + "c.log",
                                       dir_ + "Sub\\d.txt"};
  EXPECT_EQ(list, expected);
  // Without subfolders, the first level only; excluded names never.
  expected = {dir_ + "_x.txt", dir_ + "b.txt"};
  EXPECT_EQ(Search({dir_ + "*.txt"}, false, TDateFilter(), "", {"a*.*", "*.log"}), expected);
  SetFileAttributesA((dir_ + "b.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(FileListSearch, TheListNeverHoldsItsOwnFileAndRefusesRelativeSpecifications) {
  testutil::WriteFileText(dir_ + "one.txt", "x");
  testutil::WriteFileText(dir_ + "list.txt", "old list");
  auto list = Search({dir_ + "*.txt", "*.txt", "sub\\*.*", ""}, true, TDateFilter(), dir_ + "LIST.TXT");
  EXPECT_EQ(list, std::vector<std::string>{dir_ + "one.txt"});
  EXPECT_EQ(refused_, (std::vector<std::string>{"*.txt", "sub\\*.*", ""}));
  // A missing folder contributes nothing.
  EXPECT_TRUE(Search({dir_ + "missing\\*.*"}).empty());
  EXPECT_TRUE(refused_.empty());
}

TEST_F(FileListSearch, DateFiltersAgainstFilesDatedRelativeToNow) {
  Dated(dir_ + "today.txt", 0);
  Dated(dir_ + "yesterday.txt", 1);
  Dated(dir_ + "lastweek.txt", 8);
  Dated(dir_ + "old.txt", 100);
  EXPECT_EQ(Search({dir_ + "*.txt"}, false, Kind(3, 1)), std::vector<std::string>{dir_ + "today.txt"});
  EXPECT_EQ(Search({dir_ + "*.txt"}, false, Kind(5, 1)),
            (std::vector<std::string>{dir_ + "lastweek.txt", dir_ + "old.txt", dir_ + "yesterday.txt"}));
  EXPECT_EQ(Search({dir_ + "*.txt"}, false, Kind(4, 2)), std::vector<std::string>{dir_ + "old.txt"});
  EXPECT_EQ(Search({dir_ + "*.txt"}, false, Kind(2, 2)).size(), 3u);
  TDateFilter between = Kind(1, 0);
  // Swapped and with times of day: whole days, either order.
  between.Date1 = OVNow();
  between.Date2 = OVNow() - 8.5;
  EXPECT_EQ(Search({dir_ + "*.txt"}, false, between).size(), 3u);
}

TEST(FileListLines, TheBatchFileExample) {
  TFileListSettings s;
  s.BeforeLine = s.AfterLine = s.Before = true;
  s.LinePrefix = "copy ";
  s.LineSuffix = " D:\\Backup";
  s.TextBefore = "@echo off\r\nrem backup\r\n";
  s.TextAfter = "not written";
  auto lines = DecorateFileList({"C:\\a.txt", "C:\\b c.txt"}, s);
  EXPECT_EQ(lines, (std::vector<std::string>{"@echo off", "rem backup", "copy C:\\a.txt D:\\Backup",
                                             "copy C:\\b c.txt D:\\Backup"}));
  s = TFileListSettings();
  s.WithoutPath = s.After = true;
  s.LinePrefix = "ignored";
  s.TextAfter = "end";
  EXPECT_EQ(DecorateFileList({"C:\\x\\a.txt"}, s), (std::vector<std::string>{"a.txt", "end"}));
}
