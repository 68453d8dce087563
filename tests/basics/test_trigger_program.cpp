// The hot-key, on-shutdown and idle triggers in the real program: keys
// pressed through the system's input, the shutdown query sent to the main
// window, and idle time that passes with nobody at the keyboard.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "ProgramTest.h"

using namespace basicsblocks;

namespace {

enum { rHotKey = 0, rOnShutdown = 2, rIdle = 4, mRun = 1 };

const std::string kHelper = std::string(OV_BASICS_TEST_BIN) + "\\exitcode.exe";

// The program's logs reach the disk when it exits; while it runs, a job
// shows that it ran by a step that writes a marker file (after sleeping
// `sleepMs` first when asked).
jobbytes::StepSpec MarkerStep(const std::string& file, int sleepMs = 0) {
  return BasicsStep(mRun, "Mark", RunBlock(kHelper, "0 " + std::to_string(sleepMs) + " \"" + file + "\"", "", 0, 1));
}

void AddEventJob(testutil::TProgram& p, int32_t id, const std::string& name, int runner, const Bytes& block,
                 const std::vector<jobbytes::StepSpec>& steps = {}) {
  jobbytes::JobSpec job{id, name, -1, 0, true, {{kBasicsID, runner, true, block}}, steps};
  testutil::WriteFileBytes(p.JobsDir() + jobbytes::JobFileName(id), jobbytes::JobFile(job));
}

void Key(int vk, bool up) {
  INPUT in{};
  in.type = INPUT_KEYBOARD;
  in.ki.wVk = static_cast<WORD>(vk);
  in.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  SendInput(1, &in, sizeof in);
}

// The main log's line after "Starting Job [name]", or "" when it did not
// start.
std::string CauseOf(const std::vector<std::string>& log, const std::string& name) {
  auto it = std::find(log.begin(), log.end(), "Starting Job [" + name + "]");
  return it != log.end() && it + 1 != log.end() ? it[1] : "";
}

// Starts a program of the machine itself (outside wine); false when it
// could not be started. Its end and exit code are not visible from here.
bool StartUnixProgram(const std::string& commandLine) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string cmd = commandLine;
  if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return true;
}

// Presses Ctrl+Alt+F5 through the system's input until the job's marker
// appears (a focus change of the freshly shown window can reset the
// modifiers' state under a press); false after three presses.
bool PressCtrlAltF5Until(const std::string& marker) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    for (int vk : {VK_CONTROL, VK_MENU, VK_F5}) Key(vk, false);
    for (int vk : {VK_F5, VK_MENU, VK_CONTROL}) Key(vk, true);
    if (testutil::WaitFor([&] { return testutil::FileExists(marker); }, 3000)) return true;
  }
  return false;
}

}  // namespace

TEST_F(BasicsProgram, HotKeysPressedThroughTheSystemRunTheirJobs) {
  const std::string keyed = program_->Dir() + "keyed.txt", typed = program_->Dir() + "typed.txt";
  AddEventJob(*program_, 0x0E01, "Keyed", rHotKey, {0x74, 0xC0}, {MarkerStep(keyed)});  // Ctrl+Alt+F5
  // The X server keeps Ctrl+Alt+F1..F12 for itself: keys typed through X
  // use another combination.
  AddEventJob(*program_, 0x0E02, "Typed", rHotKey, {0x75, 0x60}, {MarkerStep(typed)});  // Shift+Ctrl+F6
  Start();

  EXPECT_TRUE(PressCtrlAltF5Until(keyed));

  // Typed on the X display into the program's focused main window.
  EXPECT_TRUE(StartUnixProgram("Z:\\usr\\bin\\xdotool search --onlyvisible --name \"^Orvane\" windowfocus --sync "
                               "key --clearmodifiers ctrl+shift+F6"));
  EXPECT_TRUE(testutil::WaitFor([&] { return testutil::FileExists(typed); }, 10000));

  Close();
  auto log = MainLog();
  EXPECT_EQ(CauseOf(log, "Keyed"), "Cause: Hot keys") << Joined(log);
  EXPECT_EQ(CauseOf(log, "Typed"), "Cause: Hot keys");
  EXPECT_GE(std::count(log.begin(), log.end(), "Cause: Hot keys"), 2);
  EXPECT_FALSE(HasPrefix(log, "Cannot unregister"));
}

TEST_F(BasicsProgram, TheShutdownQueryRunsTheJobAndWaitsForIt) {
  const std::string first = program_->Dir() + "first.txt", last = program_->Dir() + "last.txt";
  AddEventJob(*program_, 0x0E11, "Last words", rOnShutdown, {0}, {MarkerStep(first, 1500), MarkerStep(last)});
  Start();
  DWORD_PTR answer = 0;
  ULONGLONG before = GetTickCount64();
  ASSERT_NE(SendMessageTimeoutA(program_->MainWindow(), WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 60000, &answer), 0);
  ULONGLONG took = GetTickCount64() - before;
  // The query came back once the run had ended, with the window's answer.
  EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE));
  EXPECT_GE(took, 1400u);
  EXPECT_TRUE(testutil::FileExists(last));
  // The second query finds the job already run.
  SendMessageTimeoutA(program_->MainWindow(), WM_QUERYENDSESSION, 0, 0, SMTO_NORMAL, 60000, &answer);

  Close();
  EXPECT_TRUE(Has(JobLog(0x0E11), "Job executed successfully"));
  auto log = MainLog();
  EXPECT_EQ(CauseOf(log, "Last words"), "Cause: On shutdown") << Joined(log);
  EXPECT_EQ(std::count(log.begin(), log.end(), "Cause: On shutdown"), 1);
}

TEST_F(BasicsProgram, AnIdleEventRunsItsJobOnceWhenItsMinuteHasPassed) {
  const std::string coffee = program_->Dir() + "coffee.txt";
  AddEventJob(*program_, 0x0E21, "Coffee", rIdle, Dw(1), {MarkerStep(coffee)});
  AddEventJob(*program_, 0x0E22, "Lunch", rIdle, Dw(60));
  // The program starts as if nobody had touched the computer for 57 s.
  Start({"ORVANE_IDLE_BEFORE=57"});
  EXPECT_TRUE(testutil::WaitFor([&] { return testutil::FileExists(coffee); }, 10000));
  // Once per idle period: a few more seconds bring no second run.
  testutil::WaitFor([] { return false; }, 2500);
  Close();
  auto log = MainLog();
  EXPECT_EQ(CauseOf(log, "Coffee"), "Cause: Idle") << Joined(log);
  EXPECT_EQ(std::count(log.begin(), log.end(), "Cause: Idle"), 1);
  EXPECT_EQ(CauseOf(log, "Lunch"), "");
}
