// The variables dialog and the user variable dialog, driven from a script
// thread while the test's thread runs them.
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <thread>

#include "DialogDriver.h"
#include "Host.h"
#include "OVMsgBox.h"
#include "OVVars.h"
#include "VarsTest.h"
#include "uAddVar.h"
#include "uVars.h"
#include "uVarsRes.h"

using testutil::Click;
using testutil::GetText;
using testutil::SetText;
using testutil::TDialogScript;

namespace {

int FindRow(HWND list, const std::string& caption) {
  LVFINDINFOA f{};
  f.flags = LVFI_STRING;
  f.psz = caption.c_str();
  return static_cast<int>(SendMessageA(list, LVM_FINDITEMA, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&f)));
}

std::string RowText(HWND list, int row, int column) {
  char buf[1024] = "";
  LVITEMA item{};
  item.iSubItem = column;
  item.pszText = buf;
  item.cchTextMax = sizeof buf;
  SendMessageA(list, LVM_GETITEMTEXTA, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  return buf;
}

std::vector<std::string> Captions(HWND list) {
  std::vector<std::string> out;
  int n = static_cast<int>(SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) out.push_back(RowText(list, i, 0));
  return out;
}

void SelectRow(HWND list, int row) {
  LVITEMA item{};
  item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
  item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SendMessageA(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
}

// Switches the page the way a click on the tab does.
void ShowPage(HWND dlg, int page) {
  HWND tabs = GetDlgItem(dlg, IDC_PAGES);
  SendMessageA(tabs, TCM_SETCURSEL, static_cast<WPARAM>(page), 0);
  NMHDR n{tabs, IDC_PAGES, static_cast<UINT>(TCN_SELCHANGE)};
  SendMessageA(dlg, WM_NOTIFY, IDC_PAGES, reinterpret_cast<LPARAM>(&n));
}

// The control's own visibility (the dialog is shown after it is ready).
bool Visible(HWND dlg, int id) { return (GetWindowLongA(GetDlgItem(dlg, id), GWL_STYLE) & WS_VISIBLE) != 0; }
bool Enabled(HWND dlg, int id) { return IsWindowEnabled(GetDlgItem(dlg, id)) != FALSE; }

// A command whose handler opens a nested modal dialog: posted, so that
// the script thread is not held until that dialog closes.
void PostCommand(HWND dlg, int id) { PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0); }

bool WaitUntil(const std::function<bool()>& cond) {
  for (int i = 0; i < 500; ++i) {
    if (cond()) return true;
    Sleep(10);
  }
  return false;
}

// Ending a dialog hides it: once it has been shown, a visible dialog is
// still open.
bool StillOpen(HWND dlg) { return IsWindowVisible(dlg) != FALSE; }
void WaitShown(HWND dlg) { ASSERT_TRUE(WaitUntil([&] { return StillOpen(dlg); })); }

std::vector<std::string> g_asked;
int g_answer = IDYES;
int Answer(HWND, const char* text, const char*, UINT) {
  g_asked.push_back(text);
  return g_answer;
}

class VarDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    ResetVariables(EncodeDateTime(2026, 3, 31, 14, 5, 9));
    g_asked.clear();
    g_answer = IDYES;
    SetMsgBoxResponder(Answer);
    HandleAddVariable("BackupDir", "D:\\Backup");
    HandleAddVariable("Offset", "-1");
  }
  void TearDown() override {
    SetMsgBoxResponder(nullptr);
    ResetTestClock();
  }
  static std::string Select(std::function<void(HWND)> script, Bool32* chosen) {
    TDialogScript s(std::move(script));
    char buf[OV_SELECTVAR_BUFFER] = "unchanged";
    *chosen = HostRecord.SelectVariable(buf, OV_SELECTVAR_BUFFER - 1);
    EXPECT_TRUE(s.Finished());
    EXPECT_EQ(s.Caption(), "Orvane variables");
    return buf;
  }
};

}  // namespace

TEST_F(VarDialogs, SelectModeReturnsTheChosenReference) {
  Bool32 chosen = 0;
  std::string ref = Select(
      [](HWND dlg) {
        EXPECT_TRUE(Visible(dlg, IDOK));
        EXPECT_TRUE(Visible(dlg, IDCANCEL));
        EXPECT_FALSE(Visible(dlg, IDC_BCLOSE));
        EXPECT_EQ(GetText(dlg, IDOK), "Select");
        HWND lv = GetDlgItem(dlg, IDC_LV);
        EXPECT_EQ(GetText(dlg, IDC_LVARVALUE), "");
        int row = FindRow(lv, "%DATE%");
        ASSERT_GE(row, 0);
        EXPECT_EQ(RowText(lv, row, 1), "Current date");
        SelectRow(lv, row);
        EXPECT_EQ(GetText(dlg, IDC_LVARVALUE), "%DATE% = 31.03.2026");
        Click(dlg, IDOK);
      },
      &chosen);
  EXPECT_NE(chosen, 0);
  EXPECT_EQ(ref, "%DATE%");
}

TEST_F(VarDialogs, TheValueLabelUsesTheSampleArgument) {
  Bool32 chosen = 0;
  Select(
      [](HWND dlg) {
        HWND lv = GetDlgItem(dlg, IDC_LV);
        SelectRow(lv, FindRow(lv, "%INCDAYS(-1)%"));
        EXPECT_EQ(GetText(dlg, IDC_LVARVALUE), "%INCDAYS(-1)% = 30");
        SelectRow(lv, FindRow(lv, "%TEXTFILE(FILE_NAME)%"));
        EXPECT_EQ(GetText(dlg, IDC_LVARVALUE),
                  "%TEXTFILE(FILE_NAME)% = File FILE_NAME does not exists");
        Click(dlg, IDCANCEL);
      },
      &chosen);
  EXPECT_EQ(chosen, 0);
}

TEST_F(VarDialogs, SelectWithoutARowKeepsTheDialogOpen) {
  Bool32 chosen = -1;
  std::string ref = Select(
      [](HWND dlg) {
        WaitShown(dlg);
        Click(dlg, IDOK);
        EXPECT_TRUE(StillOpen(dlg));
        // A row selected on the hidden page does not count.
        HWND lv = GetDlgItem(dlg, IDC_LV);
        SelectRow(lv, 0);
        ShowPage(dlg, 1);
        EXPECT_FALSE(Visible(dlg, IDC_LV));
        EXPECT_TRUE(Visible(dlg, IDC_LV2));
        Click(dlg, IDOK);
        EXPECT_TRUE(StillOpen(dlg));
        Click(dlg, IDCANCEL);
      },
      &chosen);
  EXPECT_EQ(chosen, 0);
  EXPECT_EQ(ref, "");
}

TEST_F(VarDialogs, ADoubleClickOnAUserRowSelectsIt) {
  Bool32 chosen = 0;
  std::string ref = Select(
      [](HWND dlg) {
        ShowPage(dlg, 1);
        HWND lv2 = GetDlgItem(dlg, IDC_LV2);
        int row = FindRow(lv2, "%OFFSET%");
        ASSERT_GE(row, 0);
        RECT rc{};
        rc.left = LVIR_LABEL;
        SendMessageA(lv2, LVM_GETITEMRECT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&rc));
        LPARAM at = MAKELPARAM(rc.left + 4, (rc.top + rc.bottom) / 2);
        PostMessageA(lv2, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageA(lv2, WM_LBUTTONUP, 0, at);
        PostMessageA(lv2, WM_LBUTTONDBLCLK, MK_LBUTTON, at);
        PostMessageA(lv2, WM_LBUTTONUP, 0, at);
      },
      &chosen);
  EXPECT_NE(chosen, 0);
  EXPECT_EQ(ref, "%OFFSET%");
}

TEST_F(VarDialogs, TheSelectedReferenceIsCutToTheCapacity) {
  TDialogScript s([](HWND dlg) {
    HWND lv = GetDlgItem(dlg, IDC_LV);
    SelectRow(lv, FindRow(lv, "%COMPUTERNAME%"));
    Click(dlg, IDOK);
  });
  char buf[8];
  EXPECT_NE(HostRecord.SelectVariable(buf, 5), 0);
  EXPECT_STREQ(buf, "%COMP");
}

TEST_F(VarDialogs, BrowseModeListsBothKindsAndClosesWithOneButton) {
  TDialogScript s([](HWND dlg) {
    EXPECT_FALSE(Visible(dlg, IDOK));
    EXPECT_FALSE(Visible(dlg, IDCANCEL));
    EXPECT_TRUE(Visible(dlg, IDC_BCLOSE));
    EXPECT_EQ(GetText(dlg, IDC_BCLOSE), "Close");
    std::vector<std::string> system = Captions(GetDlgItem(dlg, IDC_LV));
    ASSERT_EQ(system.size(), 28u);
    EXPECT_EQ(system.front(), "%COMPUTERNAME%");
    EXPECT_EQ(system.back(), "%YEARINCDAYS(-1)%");
    EXPECT_EQ(Captions(GetDlgItem(dlg, IDC_LV2)), (std::vector<std::string>{"%BACKUPDIR%", "%OFFSET%"}));
    EXPECT_EQ(RowText(GetDlgItem(dlg, IDC_LV2), 0, 1), "D:\\Backup");
    // A double click does nothing here.
    WaitShown(dlg);
    SelectRow(GetDlgItem(dlg, IDC_LV), 0);
    NMHDR n{GetDlgItem(dlg, IDC_LV), IDC_LV, static_cast<UINT>(NM_DBLCLK)};
    SendMessageA(dlg, WM_NOTIFY, IDC_LV, reinterpret_cast<LPARAM>(&n));
    EXPECT_TRUE(StillOpen(dlg));
    Click(dlg, IDC_BCLOSE);
  });
  ShowVariables(nullptr);
  EXPECT_TRUE(s.Finished());
}

TEST_F(VarDialogs, AddCreatesAUserVariableAndItsRow) {
  TDialogScript s([](HWND dlg) {
    ShowPage(dlg, 1);
    PostCommand(dlg, IDC_BADD);
    HWND add = testutil::WaitForDialog("User's variable", 5000);
    ASSERT_NE(add, nullptr);
    EXPECT_EQ(GetText(add, IDC_ENAME), "");
    EXPECT_FALSE(Enabled(add, IDOK));
    SetText(add, IDC_ENAME, "ARCHIVE");
    SetText(add, IDC_EVALUE, "E:\\%Year%");
    EXPECT_TRUE(Enabled(add, IDOK));
    Click(add, IDOK);
    HWND lv2 = GetDlgItem(dlg, IDC_LV2);
    ASSERT_TRUE(WaitUntil([&] { return FindRow(lv2, "%ARCHIVE%") >= 0; }));
    EXPECT_EQ(Captions(lv2), (std::vector<std::string>{"%ARCHIVE%", "%BACKUPDIR%", "%OFFSET%"}));
    EXPECT_EQ(RowText(lv2, 0, 1), "E:\\%Year%");
    Click(dlg, IDC_BCLOSE);
  });
  ShowVariables(nullptr);
  ASSERT_TRUE(s.Finished());
  int i = VarList()->IndexOfVar("Archive");
  ASSERT_GE(i, 0);
  EXPECT_EQ(VarList()->Kinds(i), vkUser);
  EXPECT_EQ(VarList()->ExpandVars("%ARCHIVE%"), "E:\\2026");
}

TEST_F(VarDialogs, EditReplacesTheEntryAndUpdatesTheRowInPlace) {
  TDialogScript s([](HWND dlg) {
    ShowPage(dlg, 1);
    HWND lv2 = GetDlgItem(dlg, IDC_LV2);
    SelectRow(lv2, FindRow(lv2, "%BACKUPDIR%"));
    // Alt+Enter on the list is the context menu's "Edit...".
    PostMessageA(lv2, WM_SYSKEYDOWN, VK_RETURN, 0x20000000);
    HWND edit = testutil::WaitForDialog("User's variable", 5000);
    ASSERT_NE(edit, nullptr);
    EXPECT_EQ(GetText(edit, IDC_ENAME), "BACKUPDIR");
    EXPECT_EQ(GetText(edit, IDC_EVALUE), "D:\\Backup");
    // Its own name is allowed, another existing one is not.
    EXPECT_TRUE(Enabled(edit, IDOK));
    SetText(edit, IDC_ENAME, "OFFSET");
    EXPECT_FALSE(Enabled(edit, IDOK));
    SetText(edit, IDC_ENAME, "ZBACKUP");
    SetText(edit, IDC_EVALUE, "F:\\Copies");
    Click(edit, IDOK);
    ASSERT_TRUE(WaitUntil([&] { return FindRow(lv2, "%ZBACKUP%") >= 0; }));
    EXPECT_EQ(Captions(lv2), (std::vector<std::string>{"%ZBACKUP%", "%OFFSET%"}));
    EXPECT_EQ(RowText(lv2, 0, 1), "F:\\Copies");
    Click(dlg, IDC_BCLOSE);
  });
  ShowVariables(nullptr);
  ASSERT_TRUE(s.Finished());
  EXPECT_EQ(VarList()->IndexOfVar("BackupDir"), -1);
  EXPECT_EQ(VarList()->ExpandVars("%ZBACKUP%"), "F:\\Copies");
}

TEST_F(VarDialogs, DeleteAsksAndRemovesOnlyOnYes) {
  TDialogScript s([](HWND dlg) {
    ShowPage(dlg, 1);
    HWND lv2 = GetDlgItem(dlg, IDC_LV2);
    SelectRow(lv2, FindRow(lv2, "%BACKUPDIR%"));
    g_answer = IDNO;
    Click(dlg, IDC_BDELETE);
    EXPECT_EQ(Captions(lv2).size(), 2u);
    g_answer = IDYES;
    Click(dlg, IDC_BDELETE);
    EXPECT_EQ(Captions(lv2), (std::vector<std::string>{"%OFFSET%"}));
    Click(dlg, IDC_BCLOSE);
  });
  ShowVariables(nullptr);
  ASSERT_TRUE(s.Finished());
  EXPECT_EQ(g_asked, (std::vector<std::string>{"Delete variable %BACKUPDIR%?", "Delete variable %BACKUPDIR%?"}));
  EXPECT_EQ(VarList()->IndexOfVar("BackupDir"), -1);
  EXPECT_GE(VarList()->IndexOfVar("Offset"), 0);
}

TEST_F(VarDialogs, DeleteRemovesTheRowsOwnEntryNotAnEarlierOneWithItsKey) {
  // "DATE(X)" has the key of the built-in DATE, which comes first.
  HandleAddVariable("Date(x)", "mine");
  TDialogScript s([](HWND dlg) {
    ShowPage(dlg, 1);
    HWND lv2 = GetDlgItem(dlg, IDC_LV2);
    SelectRow(lv2, FindRow(lv2, "%DATE(X)%"));
    Click(dlg, IDC_BDELETE);
    Click(dlg, IDC_BCLOSE);
  });
  ShowVariables(nullptr);
  ASSERT_TRUE(s.Finished());
  EXPECT_EQ(VarList()->ExpandVars("%Date%"), "31.03.2026");
  for (const TVarEntry& e : VarList()->Entries()) EXPECT_NE(e.Name, "DATE(X)");
}

TEST_F(VarDialogs, CopyPutsTheSelectedCaptionOnTheClipboard) {
  TDialogScript s([](HWND dlg) {
    HWND lv = GetDlgItem(dlg, IDC_LV);
    SelectRow(lv, FindRow(lv, "%TEMPDIR%"));
    Click(dlg, IDM_COPY);
    Click(dlg, IDC_BCLOSE);
  });
  ShowVariables(nullptr);
  ASSERT_TRUE(s.Finished());
  ASSERT_TRUE(OpenClipboard(nullptr));
  HANDLE data = GetClipboardData(CF_TEXT);
  std::string text = data ? static_cast<const char*>(GlobalLock(data)) : "";
  if (data) GlobalUnlock(data);
  CloseClipboard();
  EXPECT_EQ(text, "%TEMPDIR%");
}

TEST_F(VarDialogs, TheNameMustBeAFreeIdentifier) {
  TfAddVar d("", "");
  TDialogScript s([](HWND dlg) {
    EXPECT_EQ(GetText(dlg, IDC_LNOTE),
              "You can specify for value other variables. For example, for getting yesterday's "
              "date specify  %MonthIncDays(-1)%/%IncDays(-1)%/%YearIncDays(-1)%");
    for (const char* bad : {"", "INCDAYS", "DATE", "BACKUPDIR", "1X", "A-B", "A B", "%X%", "\xC4X"}) {
      SetText(dlg, IDC_ENAME, bad);
      EXPECT_FALSE(Enabled(dlg, IDOK)) << bad;
    }
    for (const char* good : {"X", "_", "_X1", "INCDAYS2", "MY_VAR"}) {
      SetText(dlg, IDC_ENAME, good);
      EXPECT_TRUE(Enabled(dlg, IDOK)) << good;
    }
    // Typed text is forced to upper case.
    SetText(dlg, IDC_ENAME, "");
    for (char c : std::string("ab_1")) SendMessageA(GetDlgItem(dlg, IDC_ENAME), WM_CHAR, c, 1);
    EXPECT_EQ(GetText(dlg, IDC_ENAME), "AB_1");
    // Enter on a refused name does not close the dialog.
    WaitShown(dlg);
    SetText(dlg, IDC_ENAME, "INCDAYS");
    Click(dlg, IDOK);
    EXPECT_TRUE(StillOpen(dlg));
    SetText(dlg, IDC_ENAME, "NEWNAME");
    SetText(dlg, IDC_EVALUE, "v");
    Click(dlg, IDOK);
  });
  ASSERT_EQ(d.DoModal(), IDOK);
  EXPECT_EQ(d.Name(), "NEWNAME");
  EXPECT_EQ(d.Value(), "v");
}

TEST_F(VarDialogs, TheSelectServiceRefusesOtherThreads) {
  Bool32 chosen = -1;
  char buf[16] = "x";
  std::thread t([&] { chosen = HostRecord.SelectVariable(buf, 15); });
  t.join();
  EXPECT_EQ(chosen, 0);
  EXPECT_STREQ(buf, "");
}
