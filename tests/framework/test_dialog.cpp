// The dialog layer: a real dialog from a template, driven from a second
// thread the way every dialog test drives its dialog.
#include <gtest/gtest.h>

#include <windows.h>

#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "DialogDriver.h"
#include "OVDialog.h"
#include "OVMsgBox.h"
#include "TestDialog.h"

using testutil::Click;
using testutil::FocusItem;
using testutil::GetText;
using testutil::SetText;
using testutil::TDialogScript;

namespace {

// A configuration dialog in miniature: it loads its values into the
// controls, validates and stores them only on OK.
class TTestDialog : public OVDialog {
 public:
  TTestDialog() : OVDialog(IDD_TESTDIALOG) {}

  std::string Name = "first";
  std::vector<std::string> Lines{"one", "two"};
  bool Recurse = false;
  int Kind = 1;
  std::string Path = "C:\\data";
  int Pick = 0;
  std::string Variable = "%DATE%";
  int Rejected = 0;

 protected:
  bool OnInit() override {
    SetItemText(IDC_NAME, Name);
    SetItemLines(IDC_MEMO, Lines);
    SetChecked(IDC_RECURSE, Recurse);
    for (const char* k : {"Alpha", "Beta", "Gamma"}) ComboAdd(IDC_KIND, k);
    SetComboIndex(IDC_KIND, Kind);
    SetItemText(IDC_PATH, Path);
    for (const char* k : {"red", "green", "blue"}) ListAdd(IDC_LIST, k);
    SetListIndex(IDC_LIST, Pick);
    return true;
  }
  bool OnCommand(int id, int, HWND) override {
    switch (id) {
      case IDC_VAR:
        InsertAtCaret(Variable);
        return true;
      case IDC_BOOM:
        throw std::runtime_error("boom");
      case IDC_FAULT:
        *static_cast<volatile int*>(nullptr) = 1;
        return true;
    }
    return false;
  }
  void OnOK() override {
    if (GetItemText(IDC_NAME).empty()) {
      ++Rejected;
      Focus(IDC_NAME);
      return;
    }
    Name = GetItemText(IDC_NAME);
    Lines = GetItemLines(IDC_MEMO);
    Recurse = IsChecked(IDC_RECURSE);
    Kind = ComboIndex(IDC_KIND);
    Path = GetItemText(IDC_PATH);
    Pick = ListIndex(IDC_LIST);
    End(IDOK);
  }
};

std::vector<std::string> g_boxes;
int RecordBox(HWND, const char* text, const char*, UINT) {
  g_boxes.push_back(text);
  return IDOK;
}

DWORD Selection(HWND dlg, int id) {
  DWORD start = 0, end = 0;
  SendDlgItemMessageA(dlg, id, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return MAKELONG(start, end);
}

}  // namespace

TEST(Dialog, OKStoresWhatTheControlsHold) {
  TTestDialog d;
  std::string shownName;
  TDialogScript script([&](HWND dlg) {
    shownName = GetText(dlg, IDC_NAME);
    SetText(dlg, IDC_NAME, "second");
    SetText(dlg, IDC_MEMO, "a\r\nb b\r\nc");
    SendDlgItemMessageA(dlg, IDC_RECURSE, BM_SETCHECK, BST_CHECKED, 0);
    SendDlgItemMessageA(dlg, IDC_KIND, CB_SETCURSEL, 2, 0);
    SetText(dlg, IDC_PATH, "D:\\other");
    SendDlgItemMessageA(dlg, IDC_LIST, LB_SETCURSEL, 2, 0);
    Click(dlg, IDOK);
  });
  EXPECT_EQ(d.DoModal(), IDOK);
  ASSERT_TRUE(script.Finished());
  EXPECT_EQ(script.Caption(), "Framework test dialog");
  EXPECT_EQ(shownName, "first");
  EXPECT_EQ(d.Name, "second");
  EXPECT_EQ(d.Lines, (std::vector<std::string>{"a", "b b", "c"}));
  EXPECT_TRUE(d.Recurse);
  EXPECT_EQ(d.Kind, 2);
  EXPECT_EQ(d.Path, "D:\\other");
  EXPECT_EQ(d.Pick, 2);
  EXPECT_EQ(d.Handle(), nullptr);
}

TEST(Dialog, CancelKeepsTheOldValues) {
  TTestDialog d;
  TDialogScript script([&](HWND dlg) {
    SetText(dlg, IDC_NAME, "changed");
    SendDlgItemMessageA(dlg, IDC_KIND, CB_SETCURSEL, 0, 0);
    Click(dlg, IDCANCEL);
  });
  EXPECT_EQ(d.DoModal(), IDCANCEL);
  ASSERT_TRUE(script.Finished());
  EXPECT_EQ(d.Name, "first");
  EXPECT_EQ(d.Kind, 1);
}

TEST(Dialog, EscapeCancels) {
  TTestDialog d;
  TDialogScript script([&](HWND dlg) {
    SetText(dlg, IDC_NAME, "changed");
    // What the dialog manager sends for the Esc key.
    SendMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, 0), 0);
  });
  EXPECT_EQ(d.DoModal(), IDCANCEL);
  EXPECT_EQ(d.Name, "first");
}

TEST(Dialog, AnOKThatFailsValidationKeepsTheDialogOpen) {
  TTestDialog d;
  bool openAfterFirstOK = false;
  int focusAfterFirstOK = 0;
  TDialogScript script([&](HWND dlg) {
    SetText(dlg, IDC_NAME, "");
    Click(dlg, IDOK);
    openAfterFirstOK = IsWindow(dlg) != FALSE;
    GUITHREADINFO gui{};
    gui.cbSize = sizeof gui;
    GetGUIThreadInfo(GetWindowThreadProcessId(dlg, nullptr), &gui);
    focusAfterFirstOK = GetDlgCtrlID(gui.hwndFocus);
    SetText(dlg, IDC_NAME, "filled");
    Click(dlg, IDOK);
  });
  EXPECT_EQ(d.DoModal(), IDOK);
  EXPECT_TRUE(openAfterFirstOK);
  EXPECT_EQ(d.Rejected, 1);
  EXPECT_EQ(focusAfterFirstOK, IDC_NAME);
  EXPECT_EQ(d.Name, "filled");
}

TEST(Dialog, TheVariableButtonInsertsAtTheCaretOfTheLastFocusedEdit) {
  TTestDialog d;
  d.Name = "abcdef";
  std::string name, memo, path;
  DWORD nameSel = 0;
  TDialogScript script([&](HWND dlg) {
    // Select "cd" in the name and press the button (which takes the focus).
    FocusItem(dlg, IDC_NAME);
    SendDlgItemMessageA(dlg, IDC_NAME, EM_SETSEL, 2, 4);
    FocusItem(dlg, IDC_VAR);
    Click(dlg, IDC_VAR);
    name = GetText(dlg, IDC_NAME);
    nameSel = Selection(dlg, IDC_NAME);
    // Now the memo: the caret at the end, nothing selected.
    FocusItem(dlg, IDC_MEMO);
    SendDlgItemMessageA(dlg, IDC_MEMO, EM_SETSEL, 3, 3);
    FocusItem(dlg, IDC_RECURSE);  // a check box does not count as an edit
    Click(dlg, IDC_VAR);
    memo = GetText(dlg, IDC_MEMO);
    // And the edit of a combo box.
    FocusItem(dlg, IDC_PATH);
    SendDlgItemMessageA(dlg, IDC_PATH, CB_SETEDITSEL, 0, MAKELPARAM(0, 2));
    Click(dlg, IDC_VAR);
    path = GetText(dlg, IDC_PATH);
    Click(dlg, IDOK);
  });
  EXPECT_EQ(d.DoModal(), IDOK);
  EXPECT_EQ(name, "ab%DATE%ef");
  EXPECT_EQ(LOWORD(nameSel), 8);  // the caret after the inserted text
  EXPECT_EQ(HIWORD(nameSel), 8);
  EXPECT_EQ(memo, "one%DATE%\r\ntwo");
  EXPECT_EQ(path, "%DATE%\\data");
}

TEST(Dialog, WithoutAFocusedEditNothingIsInserted) {
  class TNoFocus : public TTestDialog {
   protected:
    bool OnInit() override {
      TTestDialog::OnInit();
      SetFocus(Item(IDC_RECURSE));
      return false;
    }
  } d;
  std::string name;
  TDialogScript script([&](HWND dlg) {
    Click(dlg, IDC_VAR);
    name = GetText(dlg, IDC_NAME);
    Click(dlg, IDCANCEL);
  });
  EXPECT_EQ(d.DoModal(), IDCANCEL);
  EXPECT_EQ(name, "first");
}

TEST(Dialog, AnExceptionInAHandlerIsShownAndTheDialogLivesOn) {
  TTestDialog d;
  g_boxes.clear();
  SetMsgBoxResponder(RecordBox);
  TDialogScript script([&](HWND dlg) {
    Click(dlg, IDC_BOOM);
    SetText(dlg, IDC_NAME, "after");
    Click(dlg, IDOK);
  });
  INT_PTR r = d.DoModal();
  SetMsgBoxResponder(nullptr);
  EXPECT_EQ(r, IDOK);
  EXPECT_EQ(g_boxes, std::vector<std::string>{"boom"});
  EXPECT_EQ(d.Name, "after");
}

TEST(Dialog, AFaultInAHandlerIsShownAndTheDialogLivesOn) {
  TTestDialog d;
  g_boxes.clear();
  SetMsgBoxResponder(RecordBox);
  TDialogScript script([&](HWND dlg) {
    Click(dlg, IDC_FAULT);
    Click(dlg, IDC_FAULT);
    SetText(dlg, IDC_NAME, "after");
    Click(dlg, IDOK);
  });
  INT_PTR r = d.DoModal();
  SetMsgBoxResponder(nullptr);
  EXPECT_EQ(r, IDOK);
  EXPECT_EQ(g_boxes, (std::vector<std::string>(2, "Access violation (C0000005)")));
  EXPECT_EQ(d.Name, "after");
}

TEST(Dialog, AnExceptionDuringInitialisationCancelsTheDialog) {
  class TBadInit : public TTestDialog {
   protected:
    bool OnInit() override { throw std::runtime_error("cannot init"); }
  } d;
  g_boxes.clear();
  SetMsgBoxResponder(RecordBox);
  INT_PTR r = d.DoModal();
  SetMsgBoxResponder(nullptr);
  EXPECT_EQ(r, IDCANCEL);
  EXPECT_EQ(g_boxes, std::vector<std::string>{"cannot init"});
}

TEST(Dialog, AProgramTestFindsTheDialogByItsCaption) {
  // No hook here: a second thread looks for the caption, as a test of
  // another process does.
  TTestDialog d;
  HWND found = nullptr;
  std::thread t([&] {
    found = testutil::WaitForDialog("Framework test dialog", 10000);
    if (found) PostMessageA(found, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  });
  EXPECT_EQ(d.DoModal(), IDCANCEL);
  t.join();
  EXPECT_NE(found, nullptr);
}

TEST(Dialog, AMissingTemplateFailsWithoutCallingTheHandlers) {
  class TMissing : public OVDialog {
   public:
    TMissing() : OVDialog(4711) {}
    bool initialised = false;

   protected:
    bool OnInit() override { return initialised = true; }
  } d;
  EXPECT_EQ(d.DoModal(), -1);
  EXPECT_FALSE(d.initialised);
}
