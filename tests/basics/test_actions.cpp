// The actions in-process: their descriptions, what a step does with the
// defaults and with blocks that end too early or carry nonsense, and the
// parts of execution that do not need a running job.
#include <gtest/gtest.h>

#include <windows.h>

#include "BasicsTest.h"
#include "DialogDriver.h"
#include "Host.h"
#include "OVClassesJob.h"
#include "OVClassesJobs.h"
#include "OVClassesLog.h"
#include "TestUtil.h"

namespace {

const std::string kDefaultMessage = "[%Time%, %DayOfWeek%, %Date%]\r\nHey, awake!";

std::string Incomplete(const std::string& name) {
  return "The settings of \"" + name + "\" are incomplete. Reconfigure this step.";
}

}  // namespace

// -------------------------------------------------------------- descriptions

TEST(BasicsDescriptions, MessageByItsFirstLineAndWhetherItPlaysASound) {
  EXPECT_EQ(Descr(mMessage, {}), "Show \"[%Time%, %DayOfWeek%, %Date%]...\"");
  EXPECT_EQ(Descr(mMessage, MessageBlock(true, false, "Hello", "")), "Show \"Hello\"");
  EXPECT_EQ(Descr(mMessage, MessageBlock(true, false, "First\r\nSecond", "")), "Show \"First...\"");
  EXPECT_EQ(Descr(mMessage, MessageBlock(true, false, "Only\r\n", "")), "Show \"Only\"");
  EXPECT_EQ(Descr(mMessage, MessageBlock(true, false, "Two\r\n\r\n", "")), "Show \"Two...\"");
  EXPECT_EQ(Descr(mMessage, MessageBlock(true, true, "Hi", "a.wav")), "Show \"Hi\" and play sound");
  EXPECT_EQ(Descr(mMessage, MessageBlock(true, true, "Hi\r\nthere", "a.wav")), "Show \"Hi...\" and play sound");
  EXPECT_EQ(Descr(mMessage, MessageBlock(false, true, "", "a.wav")), "Not show message but play sound");
  EXPECT_EQ(Descr(mMessage, MessageBlock(true, false, "", "")), "Not show message");
  EXPECT_EQ(Descr(mMessage, MessageBlock(false, false, "", "")), "Not show message");
  // A flag that is set with an empty text counts as nothing to do.
  EXPECT_EQ(Descr(mMessage, MessageBlock(true, true, "", "")), "Not show message");
}

TEST(BasicsDescriptions, RunByItsTargetAsTyped) {
  EXPECT_EQ(Descr(mRun, RunBlock("%WinDir%\\notepad.exe", "a.txt", "C:\\", 1, 1)),
            "Run \"%WinDir%\\notepad.exe\"");
  EXPECT_EQ(Descr(mRun, {}), "Run \"\"");
}

TEST(BasicsDescriptions, RunOtherJobByTheJobsName) {
  Jobs = new TOVJobs();
  auto* job = new TOVJob(Jobs);
  job->SetID(77);
  job->SetName("Nightly");
  job->Log()->AutoSave = false;
  Jobs->Add(job);
  EXPECT_EQ(Descr(mRunJob, Cat({Dw(77), {1}})), "Run job \"Nightly\"");
  EXPECT_EQ(Descr(mRunJob, Cat({Dw(78), {0}})), "Run job \"!!! Unknown Job !!!\"");
  EXPECT_EQ(Descr(mRunJob, {}), "Run other Job");
  delete Jobs;
  Jobs = nullptr;
  ClearMainLog();
}

TEST(BasicsDescriptions, ShutdownByItsMode) {
  EXPECT_EQ(Descr(mShutdown, Dw(0)), "Shut down the computer");
  EXPECT_EQ(Descr(mShutdown, Dw(1)), "Shut down the computer and power off");
  EXPECT_EQ(Descr(mShutdown, Dw(2)), "Restart the computer");
  EXPECT_EQ(Descr(mShutdown, Dw(3)), "Close all programs and log on as different user");
  EXPECT_EQ(Descr(mShutdown, {}), "Shut down the computer and power off");
  EXPECT_EQ(Descr(mShutdown, Dw(4)), "Shutdown Windows/computer");
}

TEST(BasicsDescriptions, QuestionIsAlwaysItsNameAndDelayItsMilliseconds) {
  EXPECT_EQ(Descr(mQuestion, Cat({Str("Sure?"), Dw(0), Dw(0), Dw(2), Dw(5)})), "Question");
  EXPECT_EQ(Descr(mQuestion, {}), "Question");
  EXPECT_EQ(Descr(mDelay, Dw(15)), "Delay 1500 ms");
  EXPECT_EQ(Descr(mDelay, {}), "Delay 1000 ms");
  EXPECT_EQ(Descr(mDelay, Dw(32767)), "Delay 3276700 ms");
}

// ---------------------------------------------- blocks that end too early

TEST(BasicsDamagedBlocks, EveryCutFailsTheStepWithAClearLineAndTheDescriptionFallsBackToTheName) {
  struct TCase {
    int index;
    const char* name;
    Bytes full;
  };
  const TCase cases[] = {
      {mMessage, "Show a message", MessageBlock(true, true, "Hi\r\nthere", "Z:\\none.wav")},
      {mRun, "Run a program/Open a document", RunBlock("Z:\\none\\x.exe", "-a", "Z:\\none", 0, 1)},
      {mRunJob, "Run other Job", Cat({Dw(5), {1}})},
      {mShutdown, "Shutdown Windows/computer", Dw(2)},
      {mDelay, "Delay (in ms)", Dw(1)},
      {mTextFile, "Create text file", Cat({Str("Z:\\none\\x.txt"), Str("text")})},
      {mWinPopup, "Send WinPopup message", Cat({Str("."), Str("Hi")})},
      {mSendKeys, "Send Keys", Cat({Str("Nowhere"), {1}, Str("a")})},
      {mFileList, "Create File List", Cat({Str("Z:\\none\\*.*"), Str(""), {1}, Str("Z:\\none\\l.txt")})},
  };
  for (const TCase& c : cases) {
    for (size_t cut = 1; cut < c.full.size(); ++cut) {
      ClearMainLog();
      Bytes block(c.full.begin(), c.full.begin() + static_cast<long>(cut));
      EXPECT_FALSE(Exec(c.index, block)) << c.name << " cut at " << cut;
      EXPECT_EQ(MainLogTexts(), std::vector<std::string>{Incomplete(c.name)}) << c.name << " cut at " << cut;
      EXPECT_EQ(Descr(c.index, block), c.name) << c.name << " cut at " << cut;
    }
  }
  ClearMainLog();
}

TEST(BasicsDamagedBlocks, LengthsThatRunPastTheBlockAreNotBelieved) {
  // A message "length" of 2 GB in a 14-byte block.
  Bytes message = Cat({{1, 0, 0, 0}, Dw(0x7FFFFFFF), Dw(0), Chars("x")});
  // A target length that wraps around when one is added to it.
  Bytes run = Cat({Dw(0xFFFFFFFF), Dw(1), Dw(1), Dw(0), Dw(0), Chars(""), Chars(""), Chars("")});
  Bytes question = Cat({Dw(0x80000000), Chars("?"), Dw(0), Dw(0)});
  for (auto [index, block, name] : {std::tuple<int, Bytes, const char*>{mMessage, message, "Show a message"},
                                    {mRun, run, "Run a program/Open a document"}}) {
    ClearMainLog();
    DWORD start = GetTickCount();
    EXPECT_FALSE(Exec(index, block)) << name;
    EXPECT_LT(GetTickCount() - start, 2000u) << name;
    EXPECT_EQ(MainLogTexts(), std::vector<std::string>{Incomplete(name)});
    EXPECT_EQ(Descr(index, block), name);
  }
  EXPECT_EQ(Descr(mQuestion, question), "Question");
  ClearMainLog();
}

TEST(BasicsDamagedBlocks, ADamagedBlockOpensItsDialogWithTheDefaults) {
  struct TCase {
    int index;
    Bytes block;
    int control;
    std::string expected;
  };
  const TCase cases[] = {
      {mMessage, Cat({{1, 0, 0, 0}, Dw(40), Dw(0), {'a', 'b'}}), 1002 /* MsgMemo */, kDefaultMessage},
      {mRun, Cat({Dw(10), Dw(1)}), 1102 /* eProgram */, ""},
      {mQuestion, Cat({Dw(30), Chars("cut")}), 1702 /* mQText */, "Do you wish to continue run Job?"},
      {mDelay, {7, 0}, 2202 /* eDelay */, "10"},
  };
  for (const TCase& c : cases) {
    Bytes block = c.block;
    std::string shown;
    {
      testutil::TDialogScript script([&](HWND dlg) {
        shown = testutil::GetText(dlg, c.control);
        testutil::Click(dlg, IDCANCEL);
      });
      EXPECT_FALSE(Config(c.index, block));
    }
    EXPECT_EQ(shown, c.expected) << c.index;
    EXPECT_EQ(block, c.block) << c.index;
  }
}

// ------------------------------------------------- execution outside a job

TEST(BasicsExec, ANeverConfiguredMessageShowsTheExpandedDefaultAndWaitsForTheAnswer) {
  ClearMainLog();
  TBoxAnswer box("OV: Test", IDOK);
  EXPECT_TRUE(Exec(mMessage, {}));
  ASSERT_TRUE(box.Answered());
  EXPECT_EQ(box.Text(), FakeExpand(kDefaultMessage));
  EXPECT_EQ(box.Text(), "[<Time>, <DayOfWeek>, <Date>]\r\nHey, awake!");
  EXPECT_TRUE(MainLogTexts().empty());
}

TEST(BasicsExec, AMessageWithOnlyASoundReturnsAtOnce) {
  DWORD start = GetTickCount();
  EXPECT_TRUE(Exec(mMessage, MessageBlock(false, true, "", "%TempDir%\\no such sound.wav")));
  EXPECT_LT(GetTickCount() - start, 3000u);
  EXPECT_EQ(testutil::FindDialogOf(GetCurrentProcessId(), "OV: Test"), nullptr);
}

TEST(BasicsExec, ShutdownPostsTheExitWindowsCodeOfEachModeToTheHostWindow) {
  MSG msg;
  while (PeekMessageA(&msg, AppWindow(), OVM_SHUTDOWN, OVM_SHUTDOWN, PM_REMOVE)) {
  }
  const std::pair<Bytes, WPARAM> cases[] = {{Dw(0), 1}, {Dw(1), 9}, {Dw(2), 2}, {Dw(3), 0}, {{}, 9}};
  for (const auto& [block, code] : cases) {
    ClearMainLog();
    EXPECT_TRUE(Exec(mShutdown, block));
    // Posted, not sent: it waits in the host window's queue.
    ASSERT_TRUE(PeekMessageA(&msg, AppWindow(), OVM_SHUTDOWN, OVM_SHUTDOWN, PM_REMOVE));
    EXPECT_EQ(msg.wParam, code);
    EXPECT_EQ(msg.lParam, 0);
    EXPECT_FALSE(PeekMessageA(&msg, AppWindow(), OVM_SHUTDOWN, OVM_SHUTDOWN, PM_NOREMOVE));
  }
  ClearMainLog();
  EXPECT_FALSE(Exec(mShutdown, Dw(4)));
  EXPECT_FALSE(PeekMessageA(&msg, AppWindow(), OVM_SHUTDOWN, OVM_SHUTDOWN, PM_NOREMOVE));
  EXPECT_EQ(MainLogTexts(), std::vector<std::string>{"Unknown way to shut down (4). Reconfigure this step."});
}

TEST(BasicsExec, QuestionOutsideARunningJobAsksNothing) {
  ClearMainLog();
  EXPECT_TRUE(Exec(mQuestion, {}));
  EXPECT_TRUE(Exec(mQuestion, Cat({Str("Sure?"), Dw(0), Dw(0), Dw(2), Dw(1)})));
  EXPECT_TRUE(MainLogTexts().empty());
}

TEST(BasicsExec, RunOtherJobWithoutABlockOrWithAnUnknownJobRunsNothing) {
  ClearMainLog();
  EXPECT_TRUE(Exec(mRunJob, {}));
  EXPECT_TRUE(MainLogTexts().empty());
  EXPECT_TRUE(Exec(mRunJob, Cat({Dw(4711), {1}})));
  EXPECT_EQ(MainLogTexts(), std::vector<std::string>{"There is no job with the ID 4711 to run"});
  // A job that exists but is open in the job editor is named as such.
  Jobs = new TOVJobs();
  auto* job = new TOVJob(Jobs);
  job->SetID(4711);
  job->SetName("Edited");
  job->Log()->AutoSave = false;
  Jobs->Add(job);
  job->SetEditing(true);
  job->UpdateState();
  ClearMainLog();
  EXPECT_TRUE(Exec(mRunJob, Cat({Dw(4711), {1}})));
  auto log = MainLogTexts();
  EXPECT_EQ(std::vector<std::string>(log.begin() + (log.empty() ? 0 : log.size() - 1), log.end()),
            std::vector<std::string>{"The job \"Edited\" is open in the job editor and cannot run"});
  delete Jobs;
  Jobs = nullptr;
  ClearMainLog();
}

TEST(BasicsExec, ATargetTheShellCannotStartFailsTheStepWithoutABox) {
  ClearMainLog();
  for (uint32_t wait : {0u, 1u}) {
    EXPECT_FALSE(Exec(mRun, RunBlock("Z:\\no\\such\\program.exe", "", "", 0, wait)));
    auto log = MainLogTexts();
    ASSERT_EQ(log.size(), 1u);
    EXPECT_EQ(log[0].rfind("Cannot run \"Z:\\no\\such\\program.exe\": ", 0), 0u) << log[0];
    ClearMainLog();
  }
  // The never-configured step has no target.
  EXPECT_FALSE(Exec(mRun, {}));
  ClearMainLog();
}

TEST(BasicsExec, ANeverConfiguredDelaySleepsOneSecond) {
  DWORD start = GetTickCount();
  EXPECT_TRUE(Exec(mDelay, {}));
  DWORD took = GetTickCount() - start;
  EXPECT_GE(took, 950u);
  EXPECT_LT(took, 5000u);
  start = GetTickCount();
  EXPECT_TRUE(Exec(mDelay, Dw(0)));
  EXPECT_TRUE(Exec(mDelay, Dw(0xFFFFFFFF)));  // nonsense sleeps not at all
  EXPECT_LT(GetTickCount() - start, 500u);
}
