// Every action's settings block as its configuration dialog writes it, read
// back by the same dialog, the defaults of a never-configured step, and
// Cancel leaving the block alone.
#include <gtest/gtest.h>

#include <windows.h>

#include <commctrl.h>

#include "BasicsTest.h"
#include "DialogDriver.h"
#include "TestUtil.h"
#include "Host.h"
#include "OVClassesJob.h"
#include "OVClassesJobs.h"
#include "OVClassesLog.h"
#include "uConfirmRunJob.h"
#include "uDelay.h"
#include "uMessage.h"
#include "uRun.h"
#include "uSelectJob.h"
#include "uShutdown.h"

using testutil::Click;
using testutil::GetText;
using testutil::SetText;
using testutil::TDialogScript;

namespace {

const std::string kDefaultMessage = "[%Time%, %DayOfWeek%, %Date%]\r\nHey, awake!";

// A click the way the mouse does it: auto check boxes and radio buttons
// change their state and the dialog hears about it.
void Press(HWND dlg, int id) { SendMessageA(GetDlgItem(dlg, id), BM_CLICK, 0, 0); }
bool Checked(HWND dlg, int id) { return IsDlgButtonChecked(dlg, id) == BST_CHECKED; }
int ComboIndex(HWND dlg, int id) { return static_cast<int>(SendDlgItemMessageA(dlg, id, CB_GETCURSEL, 0, 0)); }
bool IsOpen(HWND dlg) { return IsWindow(dlg) && IsWindowVisible(dlg); }

// Puts the caret at the end of an edit that has the focus.
void CaretToEnd(HWND dlg, int id) {
  testutil::FocusItem(dlg, id);
  SendDlgItemMessageA(dlg, id, EM_SETSEL, static_cast<WPARAM>(-1), -1);
  int n = GetWindowTextLengthA(GetDlgItem(dlg, id));
  SendDlgItemMessageA(dlg, id, EM_SETSEL, n, n);
}

std::string WindowCaption(HWND wnd) {
  char text[256] = "";
  GetWindowTextA(wnd, text, sizeof text);
  return text;
}

// Opens the action's dialog on the block, runs the script, and returns what
// the configuration entry answered.
bool Configure(int index, Bytes& block, std::function<void(HWND)> script, std::string* caption = nullptr) {
  bool ran = false;
  bool ok;
  {
    TDialogScript s([&](HWND dlg) {
      if (caption) *caption = WindowCaption(dlg);
      script(dlg);
      ran = true;
    });
    ok = Config(index, block);
  }  // the script's thread has ended here
  EXPECT_TRUE(ran);
  return ok;
}

}  // namespace

// ----------------------------------------------------------- Show a message

TEST(BasicsSettings, MessageNeverConfiguredOpensWithTheDefaultsAndOkWritesThem) {
  Bytes block;
  std::string caption, memo;
  bool show = false, sound = true;
  EXPECT_TRUE(Configure(
      mMessage, block,
      [&](HWND dlg) {
        show = Checked(dlg, IDC_cbShowMessage);
        sound = Checked(dlg, IDC_cbPlaySound);
        memo = GetText(dlg, IDC_MsgMemo);
        Click(dlg, IDOK);
      },
      &caption));
  EXPECT_EQ(caption, "Message");
  EXPECT_TRUE(show);
  EXPECT_FALSE(sound);
  EXPECT_EQ(memo, kDefaultMessage);
  EXPECT_EQ(block, MessageBlock(true, false, kDefaultMessage, ""));
  EXPECT_EQ(block.size(), 12 + kDefaultMessage.size() + 1);
}

TEST(BasicsSettings, MessageWritesBothTextsAndReadsThemBack) {
  Bytes block;
  EXPECT_TRUE(Configure(mMessage, block, [&](HWND dlg) {
    SetText(dlg, IDC_MsgMemo, "Line one\r\nLine two");
    SetText(dlg, IDC_eWaveFile, "C:\\sounds\\ding.wav");
    Press(dlg, IDC_cbPlaySound);
    Click(dlg, IDOK);
  }));
  Bytes expected = MessageBlock(true, true, "Line one\r\nLine two", "C:\\sounds\\ding.wav");
  EXPECT_EQ(block, expected);

  std::string memo, wave;
  bool show = false, sound = false;
  EXPECT_FALSE(Configure(mMessage, block, [&](HWND dlg) {
    show = Checked(dlg, IDC_cbShowMessage);
    sound = Checked(dlg, IDC_cbPlaySound);
    memo = GetText(dlg, IDC_MsgMemo);
    wave = GetText(dlg, IDC_eWaveFile);
    SetText(dlg, IDC_MsgMemo, "changed but cancelled");
    Click(dlg, IDCANCEL);
  }));
  EXPECT_TRUE(show);
  EXPECT_TRUE(sound);
  EXPECT_EQ(memo, "Line one\r\nLine two");
  EXPECT_EQ(wave, "C:\\sounds\\ding.wav");
  EXPECT_EQ(block, expected);
}

TEST(BasicsSettings, MessageKeepsOnlyTheTextsItsFlagsSelect) {
  Bytes block;
  EXPECT_TRUE(Configure(mMessage, block, [&](HWND dlg) {
    Press(dlg, IDC_cbShowMessage);  // off
    SetText(dlg, IDC_eWaveFile, "alarm.wav");
    Press(dlg, IDC_cbPlaySound);
    Click(dlg, IDOK);
  }));
  EXPECT_EQ(block, Cat({{0, 1, 0, 0}, Dw(0), Dw(10), Chars("alarm.wav")}));

  // A sound path typed while the sound is off is not kept either.
  EXPECT_TRUE(Configure(mMessage, block, [&](HWND dlg) {
    Press(dlg, IDC_cbShowMessage);  // on
    SetText(dlg, IDC_MsgMemo, "Hi");
    Press(dlg, IDC_cbPlaySound);  // off
    Click(dlg, IDOK);
  }));
  EXPECT_EQ(block, MessageBlock(true, false, "Hi", ""));
}

TEST(BasicsSettings, TheVariableButtonInsertsAtTheCaret) {
  Bytes block = MessageBlock(true, false, "Temp is ", "");
  EXPECT_TRUE(Configure(mMessage, block, [&](HWND dlg) {
    CaretToEnd(dlg, IDC_MsgMemo);
    Click(dlg, IDC_bVariable);
    Click(dlg, IDOK);
  }));
  EXPECT_EQ(block, MessageBlock(true, false, std::string("Temp is ") + kPickedVariable, ""));

  block = RunBlock("run.exe", "", "", 0, 0);
  EXPECT_TRUE(Configure(mRun, block, [&](HWND dlg) {
    SetText(dlg, IDC_eParameters, "/log=");
    CaretToEnd(dlg, IDC_eParameters);
    Click(dlg, IDC_bRunVariable);
    Click(dlg, IDOK);
  }));
  EXPECT_EQ(block, RunBlock("run.exe", std::string("/log=") + kPickedVariable, "", 0, 0));
}

TEST(BasicsSettings, MessageTestShowsTheDialogsCurrentTextExpandedAndChangesNothing) {
  Bytes block = MessageBlock(true, false, "stored", "");
  std::string shown;
  bool answered = false;
  EXPECT_FALSE(Configure(mMessage, block, [&](HWND dlg) {
    SetText(dlg, IDC_MsgMemo, "Typed at %Time%");
    TBoxAnswer box("OV: Test", IDOK);
    Click(dlg, IDC_bTest);  // returns once the box is answered
    answered = box.Answered();
    shown = box.Text();
    Click(dlg, IDCANCEL);
  }));
  EXPECT_TRUE(answered);
  EXPECT_EQ(shown, "Typed at <Time>");
  EXPECT_EQ(block, MessageBlock(true, false, "stored", ""));
}

// ------------------------------------------------------------- Run a program

TEST(BasicsSettings, RunNeverConfiguredRefusesAnEmptyTargetThenWritesTheBlock) {
  Bytes block;
  std::string caption;
  bool stayedOpen = false, focused = false, wait = true;
  int mode = -1;
  EXPECT_TRUE(Configure(
      mRun, block,
      [&](HWND dlg) {
        mode = ComboIndex(dlg, IDC_cbRun);
        wait = Checked(dlg, IDC_cbWait);
        Click(dlg, IDOK);
        stayedOpen = IsOpen(dlg);
        GUITHREADINFO gui{};
        gui.cbSize = sizeof gui;
        GetGUIThreadInfo(GetWindowThreadProcessId(dlg, nullptr), &gui);
        focused = gui.hwndFocus == GetDlgItem(dlg, IDC_eProgram);
        SetText(dlg, IDC_eProgram, "notepad.exe");
        Click(dlg, IDOK);
      },
      &caption));
  EXPECT_EQ(caption, "Run parameters");
  EXPECT_EQ(mode, 0);
  EXPECT_FALSE(wait);
  EXPECT_TRUE(stayedOpen);
  EXPECT_TRUE(focused);
  EXPECT_EQ(block, RunBlock("notepad.exe", "", "", 0, 0));
}

TEST(BasicsSettings, RunWritesEveryFieldAndReadsThemBack) {
  Bytes block;
  std::vector<std::string> modes;
  EXPECT_TRUE(Configure(mRun, block, [&](HWND dlg) {
    for (int i = 0; i < 4; ++i) {
      char item[64] = "";
      SendDlgItemMessageA(dlg, IDC_cbRun, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
      modes.push_back(item);
    }
    SetText(dlg, IDC_eProgram, "%WinDir%\\system32\\cmd.exe");
    SetText(dlg, IDC_eParameters, "/c exit 3");
    SetText(dlg, IDC_eWorkDir, "C:\\work\\");
    SendDlgItemMessageA(dlg, IDC_cbRun, CB_SETCURSEL, 3, 0);
    Press(dlg, IDC_cbWait);
    Click(dlg, IDOK);
  }));
  EXPECT_EQ(modes, (std::vector<std::string>{"Normal", "Minimized", "Maximized", "Hide"}));
  // The start-in folder loses its trailing backslash.
  Bytes expected = RunBlock("%WinDir%\\system32\\cmd.exe", "/c exit 3", "C:\\work", 3, 1);
  EXPECT_EQ(block, expected);

  std::string target, params, dir;
  int mode = -1;
  bool wait = false;
  EXPECT_FALSE(Configure(mRun, block, [&](HWND dlg) {
    target = GetText(dlg, IDC_eProgram);
    params = GetText(dlg, IDC_eParameters);
    dir = GetText(dlg, IDC_eWorkDir);
    mode = ComboIndex(dlg, IDC_cbRun);
    wait = Checked(dlg, IDC_cbWait);
    Click(dlg, IDCANCEL);
  }));
  EXPECT_EQ(target, "%WinDir%\\system32\\cmd.exe");
  EXPECT_EQ(params, "/c exit 3");
  EXPECT_EQ(dir, "C:\\work");
  EXPECT_EQ(mode, 3);
  EXPECT_TRUE(wait);
  EXPECT_EQ(block, expected);
}

TEST(BasicsSettings, RunStartInFolderLosesItsBackslashOnLeavingExceptADriveRoot) {
  Bytes block;
  std::string afterLeaving;
  EXPECT_TRUE(Configure(mRun, block, [&](HWND dlg) {
    SetText(dlg, IDC_eProgram, "x.exe");
    testutil::FocusItem(dlg, IDC_eWorkDir);
    SetText(dlg, IDC_eWorkDir, "D:\\data\\");
    testutil::FocusItem(dlg, IDC_eParameters);
    afterLeaving = GetText(dlg, IDC_eWorkDir);
    SetText(dlg, IDC_eWorkDir, "D:\\");
    Click(dlg, IDOK);
  }));
  EXPECT_EQ(afterLeaving, "D:\\data");
  EXPECT_EQ(block, RunBlock("x.exe", "", "D:\\", 0, 0));
}

// -------------------------------------------------------------- Run other Job

class BasicsSelectJob : public ::testing::Test {
 protected:
  void SetUp() override {
    Jobs = new TOVJobs();
    Add(101, "Backup", false);
    Add(102, "Open in the editor", true);
    Add(103, "Report", false);
    Add(104, "Backup", false);  // the same name twice: the first is chosen
  }
  void TearDown() override {
    delete Jobs;
    Jobs = nullptr;
    ClearMainLog();
  }
  void Add(int32_t id, const std::string& name, bool editing) {
    auto* job = new TOVJob(Jobs);
    job->SetID(id);
    job->SetName(name);
    job->Log()->AutoSave = false;
    Jobs->Add(job);
    if (editing) {
      job->SetEditing(true);
      job->UpdateState();
    }
  }
  static std::vector<std::string> Items(HWND dlg) {
    std::vector<std::string> out;
    int n = static_cast<int>(SendDlgItemMessageA(dlg, IDC_cbJobs, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
      char item[128] = "";
      SendDlgItemMessageA(dlg, IDC_cbJobs, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
      out.push_back(item);
    }
    return out;
  }
};

TEST_F(BasicsSelectJob, ListsTheJobsNotBeingEditedAndWritesTheChosenOne) {
  ASSERT_EQ(Jobs->FindByID(102)->State(), OV_STATE_DISABLED);
  Bytes block;
  std::string caption;
  std::vector<std::string> items;
  int selected = 0;
  bool stayedOpen = false;
  EXPECT_TRUE(Configure(
      mRunJob, block,
      [&](HWND dlg) {
        items = Items(dlg);
        selected = ComboIndex(dlg, IDC_cbJobs);
        Click(dlg, IDOK);  // nothing chosen yet: refused
        stayedOpen = IsOpen(dlg);
        SendDlgItemMessageA(dlg, IDC_cbJobs, CB_SETCURSEL, 1, 0);
        Press(dlg, IDC_cbJobWait);
        Click(dlg, IDOK);
      },
      &caption));
  EXPECT_EQ(caption, "Select Job");
  EXPECT_EQ(items, (std::vector<std::string>{"Backup", "Report", "Backup"}));
  EXPECT_EQ(selected, -1);
  EXPECT_TRUE(stayedOpen);
  EXPECT_EQ(block, Cat({Dw(103), {1}}));

  // Read back: the stored job is selected; the wait flag shows.
  bool wait = false;
  EXPECT_FALSE(Configure(mRunJob, block, [&](HWND dlg) {
    selected = ComboIndex(dlg, IDC_cbJobs);
    wait = Checked(dlg, IDC_cbJobWait);
    Click(dlg, IDCANCEL);
  }));
  EXPECT_EQ(selected, 1);
  EXPECT_TRUE(wait);
  EXPECT_EQ(block, Cat({Dw(103), {1}}));

  // The second "Backup" is written with its own ID.
  EXPECT_TRUE(Configure(mRunJob, block, [&](HWND dlg) {
    SendDlgItemMessageA(dlg, IDC_cbJobs, CB_SETCURSEL, 2, 0);
    Press(dlg, IDC_cbJobWait);
    Click(dlg, IDOK);
  }));
  EXPECT_EQ(block, Cat({Dw(104), {0}}));
}

TEST_F(BasicsSelectJob, AStoredJobThatIsGoneOrBeingEditedIsNotSelected) {
  for (int32_t id : {999, 102}) {
    Bytes block = Cat({Dw(static_cast<uint32_t>(id)), {0}});
    int selected = 0;
    EXPECT_FALSE(Configure(mRunJob, block, [&](HWND dlg) {
      selected = ComboIndex(dlg, IDC_cbJobs);
      Click(dlg, IDCANCEL);
    }));
    EXPECT_EQ(selected, -1) << id;
  }
}

// ------------------------------------------------------------------ Shutdown

TEST(BasicsSettings, ShutdownDefaultsToPowerOffAndWritesTheChosenMode) {
  Bytes block;
  std::string caption;
  int checked = -1;
  EXPECT_TRUE(Configure(
      mShutdown, block,
      [&](HWND dlg) {
        for (int id = IDC_rbShutdown; id <= IDC_rbLogOff; ++id)
          if (Checked(dlg, id)) checked = id;
        Click(dlg, IDOK);
      },
      &caption));
  EXPECT_EQ(caption, "Shutdown computer");
  EXPECT_EQ(checked, IDC_rbPowerOff);
  EXPECT_EQ(block, Dw(1));

  const int radios[] = {IDC_rbShutdown, IDC_rbPowerOff, IDC_rbReboot, IDC_rbLogOff};
  for (uint32_t mode = 0; mode < 4; ++mode) {
    EXPECT_TRUE(Configure(mShutdown, block, [&](HWND dlg) {
      Press(dlg, radios[mode]);
      Click(dlg, IDOK);
    }));
    EXPECT_EQ(block, Dw(mode));
    EXPECT_FALSE(Configure(mShutdown, block, [&](HWND dlg) {
      checked = -1;
      for (int id = IDC_rbShutdown; id <= IDC_rbLogOff; ++id)
        if (Checked(dlg, id)) checked = id;
      Click(dlg, IDCANCEL);
    }));
    EXPECT_EQ(checked, radios[mode]);
  }
}

// ------------------------------------------------------------------ Question

TEST(BasicsSettings, QuestionNeverConfiguredOpensWithTheDefaults) {
  Bytes block;
  std::string caption, text, secs;
  bool yesNo = false, abortCancel = false, autoNone = false;
  EXPECT_TRUE(Configure(
      mQuestion, block,
      [&](HWND dlg) {
        text = GetText(dlg, IDC_mQText);
        yesNo = Checked(dlg, IDC_rbYesNo) && !Checked(dlg, IDC_rbOkCancel);
        abortCancel = Checked(dlg, IDC_rbAbortCancel) && !Checked(dlg, IDC_rbAbortOk);
        autoNone = Checked(dlg, IDC_rbAutoNone) && !Checked(dlg, IDC_rbAutoCancel) && !Checked(dlg, IDC_rbAutoOk);
        secs = GetText(dlg, IDC_eSecs);
        Click(dlg, IDOK);
      },
      &caption));
  EXPECT_EQ(caption, "Question");
  EXPECT_EQ(text, "Do you wish to continue run Job?");
  EXPECT_TRUE(yesNo);
  EXPECT_TRUE(abortCancel);
  EXPECT_TRUE(autoNone);
  EXPECT_EQ(secs, "60");
  EXPECT_EQ(block, Cat({Str("Do you wish to continue run Job?"), Dw(1), Dw(0), Dw(0), Dw(60)}));
}

TEST(BasicsSettings, QuestionWritesItsTailAlwaysAndReadsOlderBlocksWithout) {
  Bytes block;
  const std::string text = "Go on, %UserName%?";
  EXPECT_TRUE(Configure(mQuestion, block, [&](HWND dlg) {
    SetText(dlg, IDC_mQText, text);
    Press(dlg, IDC_rbOkCancel);
    Press(dlg, IDC_rbAbortOk);
    Press(dlg, IDC_rbAutoOk);
    SetText(dlg, IDC_eSecs, "5");
    Click(dlg, IDOK);
  }));
  Bytes expected = Cat({Str(text), Dw(0), Dw(1), Dw(2), Dw(5)});
  EXPECT_EQ(block, expected);
  EXPECT_EQ(block.size(), text.size() + 5 + 16);

  std::string readText, secs;
  bool okCancel = false, abortOk = false, autoOk = false;
  EXPECT_FALSE(Configure(mQuestion, block, [&](HWND dlg) {
    readText = GetText(dlg, IDC_mQText);
    okCancel = Checked(dlg, IDC_rbOkCancel);
    abortOk = Checked(dlg, IDC_rbAbortOk);
    autoOk = Checked(dlg, IDC_rbAutoOk);
    secs = GetText(dlg, IDC_eSecs);
    Click(dlg, IDCANCEL);
  }));
  EXPECT_EQ(readText, text);
  EXPECT_TRUE(okCancel);
  EXPECT_TRUE(abortOk);
  EXPECT_TRUE(autoOk);
  EXPECT_EQ(secs, "5");
  EXPECT_EQ(block, expected);

  // A block of the older layout: no automatic choice, 60 seconds; OK
  // writes it in the current layout.
  block = Cat({Str("Old?"), Dw(1), Dw(1)});
  bool autoNone = false;
  EXPECT_TRUE(Configure(mQuestion, block, [&](HWND dlg) {
    autoNone = Checked(dlg, IDC_rbAutoNone);
    secs = GetText(dlg, IDC_eSecs);
    Press(dlg, IDC_rbAutoCancel);
    Click(dlg, IDOK);
  }));
  EXPECT_TRUE(autoNone);
  EXPECT_EQ(secs, "60");
  EXPECT_EQ(block, Cat({Str("Old?"), Dw(1), Dw(1), Dw(1), Dw(60)}));
}

TEST(BasicsSettings, QuestionSecondsStayWithinOneTo32767) {
  for (auto [typed, stored] : {std::pair<const char*, uint32_t>{"0", 1}, {"99999", 32767}, {"32767", 32767}}) {
    Bytes block;
    EXPECT_TRUE(Configure(mQuestion, block, [&](HWND dlg) {
      SetText(dlg, IDC_eSecs, typed);
      Click(dlg, IDOK);
    }));
    ASSERT_GE(block.size(), 4u);
    Bytes tail(block.end() - 4, block.end());
    EXPECT_EQ(tail, Dw(stored)) << typed;
  }
}

namespace {

struct TQuestionWindow {
  HWND found = nullptr;
};

// The question window of ovdlg.dll: captioned like the settings dialog,
// told apart by its text control.
BOOL CALLBACK MatchQuestionWindow(HWND wnd, LPARAM lp) {
  DWORD pid = 0;
  GetWindowThreadProcessId(wnd, &pid);
  char caption[64] = "";
  GetWindowTextA(wnd, caption, sizeof caption);
  if (pid == GetCurrentProcessId() && std::string(caption) == "Question" && GetDlgItem(wnd, 100) &&
      !GetDlgItem(wnd, IDC_mQText)) {
    reinterpret_cast<TQuestionWindow*>(lp)->found = wnd;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

TEST(BasicsSettings, QuestionTestAsksWithTheDialogsCurrentChoices) {
  // ovdlg.dll sits beside the program; here the test shows where that is.
  SetDllDirectoryA(OV_DIST_DIR);
  Bytes block;
  std::string text, okText;
  bool found = false;
  EXPECT_FALSE(Configure(mQuestion, block, [&](HWND dlg) {
    SetText(dlg, IDC_mQText, "Really at %Time%?");
    Press(dlg, IDC_rbOkCancel);
    // The window is modal to the dialog: it is answered from here while
    // the button's click is still being handled.
    PostMessageA(dlg, WM_COMMAND, MAKEWPARAM(IDC_bQuestionTest, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dlg, IDC_bQuestionTest)));
    TQuestionWindow q;
    found = testutil::WaitFor(
        [&] {
          EnumWindows(MatchQuestionWindow, reinterpret_cast<LPARAM>(&q));
          return q.found != nullptr;
        },
        10000);
    if (found) {
      testutil::WaitFor([&] { return !GetText(q.found, 100).empty(); }, 3000);
      text = GetText(q.found, 100);
      okText = GetText(q.found, IDOK);
      PostMessageA(q.found, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
      testutil::WaitFor([&] { return !IsWindow(q.found); }, 5000);
    }
    Click(dlg, IDCANCEL);
  }));
  SetDllDirectoryA(nullptr);
  ASSERT_TRUE(found);
  EXPECT_EQ(text, "Really at <Time>?");
  EXPECT_EQ(okText, "OK");
  EXPECT_TRUE(block.empty());
}

// --------------------------------------------------------------------- Delay

TEST(BasicsSettings, DelayDefaultsToTenUnitsAndRefusesNumbersOutOfRange) {
  Bytes block;
  std::string caption, shown;
  bool stayedOpen = false;
  EXPECT_TRUE(Configure(
      mDelay, block,
      [&](HWND dlg) {
        shown = GetText(dlg, IDC_eDelay);
        SetText(dlg, IDC_eDelay, "0");
        Click(dlg, IDOK);
        stayedOpen = IsOpen(dlg);
        SetText(dlg, IDC_eDelay, "15");
        Click(dlg, IDOK);
      },
      &caption));
  EXPECT_EQ(caption, "Delay");
  EXPECT_EQ(shown, "10");
  EXPECT_TRUE(stayedOpen);
  EXPECT_EQ(block, Dw(15));

  // Read back; a stored value shows its low 16 bits.
  for (auto [stored, expected] : {std::pair<uint32_t, const char*>{15, "15"}, {0x00010005, "5"}}) {
    block = Dw(stored);
    EXPECT_FALSE(Configure(mDelay, block, [&](HWND dlg) {
      shown = GetText(dlg, IDC_eDelay);
      Click(dlg, IDCANCEL);
    }));
    EXPECT_EQ(shown, expected);
    EXPECT_EQ(block, Dw(stored));
  }
}
