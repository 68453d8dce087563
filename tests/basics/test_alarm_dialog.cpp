// The alarm clock's configuration dialog driven from a second thread: the
// block it writes on OK, what it shows for a block, and what it refuses.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <string>
#include <vector>

#include "AlarmTestHost.h"
#include "DialogDriver.h"
#include "OVPluginBlock.h"

using alarmtest::At;
using testutil::Click;
using testutil::TDialogScript;

namespace {

int32_t Ms(int h, int m = 0, int s = 0) { return ((h * 60 + m) * 60 + s) * 1000; }

void SetPicker(HWND dlg, int id, TDateTime t) {
  SYSTEMTIME st;
  DecodeDateTime(t, &st);
  SendDlgItemMessageA(dlg, id, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));
}

SYSTEMTIME Picker(HWND dlg, int id) {
  SYSTEMTIME st{};
  SendDlgItemMessageA(dlg, id, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st));
  return st;
}

// Adds a time the way the user does: the picker, then "Add".
void AddTime(HWND dlg, int h, int m, int s) {
  SetPicker(dlg, IDC_ETIME, At(2024, 3, 4, h, m, s));
  Click(dlg, IDC_BADD);
}

void ChoosePeriodicity(HWND dlg, int index) {
  HWND combo = GetDlgItem(dlg, IDC_CBPERIODICITY);
  SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
  SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDC_CBPERIODICITY, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo));
}

std::vector<bool> Checks(HWND dlg, int id) {
  HWND list = GetDlgItem(dlg, id);
  std::vector<bool> v;
  for (int i = 0, n = ListView_GetItemCount(list); i < n; ++i) v.push_back(ListView_GetCheckState(list, i) != 0);
  return v;
}

void SetChecks(HWND dlg, int id, const std::vector<bool>& checks) {
  HWND list = GetDlgItem(dlg, id);
  for (size_t i = 0; i < checks.size(); ++i) ListView_SetCheckState(list, static_cast<int>(i), checks[i] ? TRUE : FALSE);
}

std::vector<std::string> TimeTexts(HWND dlg) {
  std::vector<std::string> v;
  HWND list = GetDlgItem(dlg, IDC_LVALARMTIMES);
  for (int i = 0, n = static_cast<int>(SendMessageA(list, LB_GETCOUNT, 0, 0)); i < n; ++i) {
    char buf[64] = "";
    SendMessageA(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(buf));
    v.push_back(buf);
  }
  return v;
}

bool Visible(HWND dlg, int id) { return IsWindowVisible(GetDlgItem(dlg, id)) != 0; }

HWND FocusOf(HWND dlg) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  GetGUIThreadInfo(GetWindowThreadProcessId(dlg, nullptr), &info);
  return info.hwndFocus;
}

std::string Text(int32_t ms) { return FormatLongTime(static_cast<double>(ms) / kMsPerDay); }

class AlarmDialog : public ::testing::Test {
 protected:
  void SetUp() override {
    SetTestClock(At(2024, 3, 4, 14, 25, 36), false);
    ASSERT_NE(record_ = alarmtest::LoadPlugin(), nullptr);
  }
  void TearDown() override {
    alarmtest::FreeBlock(params_);
    alarmtest::UnloadPlugin();
    ResetTestClock();
  }
  bool Config() { return record_->Runners->ConfigRunner(1, &params_) != 0; }
  TAlarmSchedule Stored() const { return ReadAlarmBlock(params_.Data, params_.Size); }

  TPluginRecord* record_ = nullptr;
  TOVRunnerParams params_{42, 0, nullptr};
};

const std::vector<bool> kMondayFriday = {false, true, false, false, false, true, false};

}  // namespace

TEST_F(AlarmDialog, AWeeklyBlockIsWrittenAndReadBack) {
  std::string caption;
  {
    TDialogScript script([&](HWND dlg) {
      AddTime(dlg, 7, 15, 30);
      AddTime(dlg, 18, 0, 0);
      AddTime(dlg, 7, 15, 30);  // already there
      ChoosePeriodicity(dlg, 1);
      SetChecks(dlg, IDC_LVDAYSOFWEEK, kMondayFriday);
      SetPicker(dlg, IDC_STARTDATE, At(2024, 3, 10));
      Click(dlg, IDOK);
    });
    EXPECT_TRUE(Config());
    caption = script.Caption();
  }
  EXPECT_EQ(params_.Size, 4 * 2 + 20 + 1);
  TAlarmSchedule s = Stored();
  EXPECT_FALSE(s.Damaged);
  EXPECT_EQ(s.StartDate, EncodeDate(2024, 3, 10));
  // In the list's order, which is the order of the texts.
  std::sort(s.Times.begin(), s.Times.end());
  EXPECT_EQ(s.Times, (std::vector<int32_t>{Ms(7, 15, 30), Ms(18)}));
  EXPECT_EQ(s.Periodicity, apEveryWeek);
  EXPECT_EQ(s.DaysOfWeek, 1 << 2 | 1 << 6);

  // Opened again on that block, the dialog shows it; Cancel keeps it.
  void* before = params_.Data;
  std::vector<std::string> times;
  std::vector<bool> week;
  int periodicity = -1;
  SYSTEMTIME start{};
  bool weekShown = false, monthShown = true;
  {
    TDialogScript script([&](HWND dlg) {
      times = TimeTexts(dlg);
      week = Checks(dlg, IDC_LVDAYSOFWEEK);
      periodicity = static_cast<int>(SendDlgItemMessageA(dlg, IDC_CBPERIODICITY, CB_GETCURSEL, 0, 0));
      start = Picker(dlg, IDC_STARTDATE);
      weekShown = Visible(dlg, IDC_LVDAYSOFWEEK);
      monthShown = Visible(dlg, IDC_LVDAYSOFMONTH);
      Click(dlg, IDCANCEL);
    });
    EXPECT_FALSE(Config());
  }
  EXPECT_EQ(times.size(), 2u);
  EXPECT_NE(std::find(times.begin(), times.end(), Text(Ms(7, 15, 30))), times.end());
  EXPECT_NE(std::find(times.begin(), times.end(), Text(Ms(18))), times.end());
  EXPECT_EQ(week, kMondayFriday);
  EXPECT_EQ(periodicity, 1);
  EXPECT_EQ(start.wYear, 2024);
  EXPECT_EQ(start.wMonth, 3);
  EXPECT_EQ(start.wDay, 10);
  EXPECT_TRUE(weekShown);
  EXPECT_FALSE(monthShown);
  EXPECT_EQ(params_.Data, before);
  EXPECT_EQ(caption, "Alarm clock");
}

TEST_F(AlarmDialog, AMonthlyBlockKeepsTheLastDay) {
  std::vector<bool> month(32, false);
  month[0] = month[14] = month[31] = true;  // the 1st, the 15th, "#"
  {
    TDialogScript script([&](HWND dlg) {
      AddTime(dlg, 0, 0, 0);
      ChoosePeriodicity(dlg, 2);
      SetChecks(dlg, IDC_LVDAYSOFMONTH, month);
      Click(dlg, IDOK);
    });
    EXPECT_TRUE(Config());
  }
  EXPECT_EQ(params_.Size, 4 + 20 + 4);
  TAlarmSchedule s = Stored();
  EXPECT_EQ(s.Times, std::vector<int32_t>{0});
  EXPECT_EQ(s.Periodicity, apEveryMonth);
  EXPECT_EQ(s.DaysOfMonth, 1u | 1u << 14 | kLastDayOfMonth);
  // Today's date is the start date of a dialog never used before.
  EXPECT_EQ(s.StartDate, EncodeDate(2024, 3, 4));

  std::vector<bool> shown;
  std::vector<std::string> labels;
  {
    TDialogScript script([&](HWND dlg) {
      shown = Checks(dlg, IDC_LVDAYSOFMONTH);
      HWND list = GetDlgItem(dlg, IDC_LVDAYSOFMONTH);
      for (int i : {0, 30, 31}) {
        char buf[16] = "";
        ListView_GetItemText(list, i, 0, buf, sizeof buf);
        labels.push_back(buf);
      }
      Click(dlg, IDCANCEL);
    });
    EXPECT_FALSE(Config());
  }
  EXPECT_EQ(shown, month);
  EXPECT_EQ(labels, (std::vector<std::string>{"1", "31", "#"}));
}

TEST_F(AlarmDialog, OkIsRefusedWhileTheListIsEmpty) {
  bool openAfterOk = false;
  bool focusOnTime = false;
  {
    TDialogScript script([&](HWND dlg) {
      testutil::FocusItem(dlg, IDC_CBPERIODICITY);
      Click(dlg, IDOK);
      openAfterOk = IsWindow(dlg) && IsWindowVisible(dlg);
      focusOnTime = FocusOf(dlg) == GetDlgItem(dlg, IDC_ETIME) || IsChild(GetDlgItem(dlg, IDC_ETIME), FocusOf(dlg));
      // A time added and removed again leaves the list empty once more.
      AddTime(dlg, 9, 0, 0);
      SendDlgItemMessageA(dlg, IDC_LVALARMTIMES, LB_SETCURSEL, 0, 0);
      Click(dlg, IDC_BREMOVE);
      Click(dlg, IDOK);
      if (IsWindowVisible(dlg)) Click(dlg, IDCANCEL);
    });
    EXPECT_FALSE(Config());
  }
  EXPECT_TRUE(openAfterOk);
  EXPECT_TRUE(focusOnTime);
  EXPECT_EQ(params_.Size, 0);
  EXPECT_EQ(params_.Data, nullptr);
}

TEST_F(AlarmDialog, TheOlderLayoutOpensAsEveryDay) {
  // 10:00:00 and 12:00:00 as bare dwords.
  alarmtest::SetBlock(params_, {0x00, 0x51, 0x25, 0x02, 0x00, 0x2E, 0x93, 0x02});
  std::vector<std::string> times;
  int periodicity = -1;
  {
    TDialogScript script([&](HWND dlg) {
      times = TimeTexts(dlg);
      periodicity = static_cast<int>(SendDlgItemMessageA(dlg, IDC_CBPERIODICITY, CB_GETCURSEL, 0, 0));
      Click(dlg, IDOK);
    });
    EXPECT_TRUE(Config());
  }
  EXPECT_EQ(times.size(), 2u);
  EXPECT_EQ(periodicity, 0);
  // OK writes the current layout.
  TAlarmSchedule s = Stored();
  EXPECT_FALSE(s.OlderLayout);
  EXPECT_EQ(params_.Size, 4 * 2 + 20);
  EXPECT_EQ(s.Periodicity, apEveryDay);
}

TEST_F(AlarmDialog, TheTimeControls) {
  SYSTEMTIME opened{}, afterNow{}, afterClick{};
  std::vector<std::string> afterClear;
  size_t count = 0;
  {
    TDialogScript script([&](HWND dlg) {
      opened = Picker(dlg, IDC_ETIME);
      AddTime(dlg, 6, 30, 0);
      AddTime(dlg, 21, 45, 10);
      // "Now" takes the clock's time; a click on an entry takes the entry's.
      Click(dlg, IDC_BNOW);
      afterNow = Picker(dlg, IDC_ETIME);
      HWND list = GetDlgItem(dlg, IDC_LVALARMTIMES);
      int i = static_cast<int>(SendMessageA(list, LB_FINDSTRINGEXACT, static_cast<WPARAM>(-1),
                                            reinterpret_cast<LPARAM>(Text(Ms(21, 45, 10)).c_str())));
      SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(i), 0);
      SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDC_LVALARMTIMES, LBN_SELCHANGE), reinterpret_cast<LPARAM>(list));
      afterClick = Picker(dlg, IDC_ETIME);
      count = TimeTexts(dlg).size();
      Click(dlg, IDC_BCLEAR);
      afterClear = TimeTexts(dlg);
      Click(dlg, IDCANCEL);
    });
    EXPECT_FALSE(Config());
  }
  EXPECT_EQ(opened.wHour, 14);
  EXPECT_EQ(opened.wMinute, 25);
  EXPECT_EQ(opened.wSecond, 36);
  EXPECT_EQ(afterNow.wHour, 14);
  EXPECT_EQ(afterNow.wMinute, 25);
  EXPECT_EQ(afterClick.wHour, 21);
  EXPECT_EQ(afterClick.wMinute, 45);
  EXPECT_EQ(afterClick.wSecond, 10);
  EXPECT_EQ(count, 2u);
  EXPECT_TRUE(afterClear.empty());
}

TEST_F(AlarmDialog, SelectAllActsOnTheListOfThePageOnShow) {
  std::vector<bool> week, month;
  {
    TDialogScript script([&](HWND dlg) {
      AddTime(dlg, 8, 0, 0);
      ChoosePeriodicity(dlg, 1);
      SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDM_UNSELECTALL, 0), 0);
      ChoosePeriodicity(dlg, 2);
      SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDM_UNSELECTALL, 0), 0);
      SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDM_SELECTALL, 0), 0);
      week = Checks(dlg, IDC_LVDAYSOFWEEK);
      month = Checks(dlg, IDC_LVDAYSOFMONTH);
      Click(dlg, IDOK);
    });
    EXPECT_TRUE(Config());
  }
  EXPECT_EQ(week, std::vector<bool>(7, false));
  EXPECT_EQ(month, std::vector<bool>(32, true));
  EXPECT_EQ(Stored().DaysOfMonth, 0xFFFFFFFFu);
}

TEST_F(AlarmDialog, AnEmptyBlockOpensWithTheDayListsAsTheyWereLeft) {
  std::vector<bool> firstWeek;
  {
    TDialogScript script([&](HWND dlg) {
      firstWeek = Checks(dlg, IDC_LVDAYSOFWEEK);
      ChoosePeriodicity(dlg, 1);
      SetChecks(dlg, IDC_LVDAYSOFWEEK, kMondayFriday);
      SetPicker(dlg, IDC_STARTDATE, At(2025, 1, 2));
      Click(dlg, IDCANCEL);
    });
    EXPECT_FALSE(Config());
  }
  EXPECT_EQ(firstWeek, std::vector<bool>(7, true));

  std::vector<bool> week;
  int periodicity = -1;
  SYSTEMTIME start{};
  {
    TDialogScript script([&](HWND dlg) {
      week = Checks(dlg, IDC_LVDAYSOFWEEK);
      periodicity = static_cast<int>(SendDlgItemMessageA(dlg, IDC_CBPERIODICITY, CB_GETCURSEL, 0, 0));
      start = Picker(dlg, IDC_STARTDATE);
      Click(dlg, IDCANCEL);
    });
    EXPECT_FALSE(Config());
  }
  EXPECT_EQ(week, kMondayFriday);
  EXPECT_EQ(periodicity, 0);
  EXPECT_EQ(start.wYear, 2025);
  EXPECT_EQ(start.wDay, 2);
}
