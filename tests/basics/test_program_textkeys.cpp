// "Send Keys", "Create text file", "Create File List" and "Send WinPopup
// message" in a job of the real program: keys typed into notepad, files
// written, a message in the messenger slot.
#include <gtest/gtest.h>

#include <windows.h>

#include "ProgramTest.h"

using namespace basicsblocks;

namespace {

enum { mTextFile = 8, mWinPopup = 9, mSendKeys = 11, mFileList = 13 };
constexpr int32_t kWriter = 0x210, kTyper = 0x211, kBadTyper = 0x212;

std::string NotepadText(HWND notepad) {
  HWND edit = FindWindowExA(notepad, nullptr, "Edit", nullptr);
  char text[4096] = "";
  if (edit) SendMessageTimeoutA(edit, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_BLOCK, 5000, nullptr);
  return text;
}

}  // namespace

TEST_F(BasicsProgram, TextFileFileListWinPopupAndSendKeysStepsInTheRealProgram) {
  const std::string dir = testutil::MakeTempDir("textkeys");
  testutil::WriteFileText(dir + "a.txt", "x");
  testutil::WriteFileText(dir + "b c.txt", "x");
  testutil::WriteFileText(dir + "log.txt", "older line");
  const std::string list = dir + "list.txt";
  testutil::WriteFileText(list, "the list of the last run");
  Bytes listBlock = Cat({Str(dir + "*.txt"), Str("log.*"), {0}, Str(list), {1}, {0, 0, 0, 1, 1}, Str(""), Str(""),
                         Str("copy \""), Str("\" D:\\Backup")});
  AddJob(kWriter, "Writer",
         {BasicsStep(mTextFile, "Append", Cat({Str(dir + "log.txt"), Str("Run on %ComputerName%"), Dw(1)})),
          BasicsStep(mFileList, "List", listBlock),
          BasicsStep(mWinPopup, "Tell", Cat({Str("."), Str("Writer done")}))});
  AddJob(kTyper, "Typer",
         {BasicsStep(mSendKeys, "Type", Cat({Str("notepad"), {1}, Str("Hello, World! :{)}\r\n+(second) line{LEFT 4}-")}))});
  AddJob(kBadTyper, "Bad typer", {BasicsStep(mSendKeys, "Type", Cat({Str("Untitled"), {1}, Str("+(ab{TAB")}))});

  HANDLE slot = CreateMailslotA("\\\\.\\mailslot\\messngr", 0, 0, nullptr);
  ASSERT_NE(slot, INVALID_HANDLE_VALUE);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  char cmd[] = "notepad.exe";
  ASSERT_TRUE(CreateProcessA(nullptr, cmd, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  HWND notepad = nullptr;
  testutil::WaitFor([&] { return (notepad = testutil::FindProcessWindow(pi.dwProcessId, "Notepad")) != nullptr; },
                    15000);
  ASSERT_NE(notepad, nullptr);
  Start();

  HANDLE run = Run(kWriter, "Test cause");
  EXPECT_TRUE(Finished(run));
  run = Run(kTyper, "Test cause");
  EXPECT_TRUE(Finished(run, 30000));
  std::string typed;
  testutil::WaitFor([&] { return (typed = NotepadText(notepad)).find("-") != std::string::npos; }, 5000);
  EXPECT_EQ(typed, "Hello, World! :)\r\nSECOND -line");
  run = Run(kBadTyper, "Test cause");
  EXPECT_TRUE(Finished(run, 30000));
  for (int key : {VK_SHIFT, VK_CONTROL, VK_MENU}) EXPECT_EQ(GetAsyncKeyState(key) & 0x8000, 0) << key;
  Close();

  char own[MAX_COMPUTERNAME_LENGTH + 1] = "";
  DWORD size = sizeof own;
  GetComputerNameA(own, &size);
  EXPECT_EQ(testutil::ReadFileText(dir + "log.txt"), "older line\r\nRun on " + std::string(own) + "\r\n");
  EXPECT_EQ(testutil::ReadFileText(list), "copy \"" + dir + "a.txt\" D:\\Backup\r\ncopy \"" + dir +
                                              "b c.txt\" D:\\Backup\r\n");
  char buffer[512];
  DWORD read = 0;
  ASSERT_TRUE(ReadFile(slot, buffer, sizeof buffer, &read, nullptr));
  std::string message(buffer, read);
  EXPECT_EQ(message.substr(message.find('\0')), std::string("\0.\0Writer done", 14));
  CloseHandle(slot);

  for (int32_t id : {kWriter, kTyper}) EXPECT_TRUE(Has(JobLog(id), "Job executed successfully")) << Joined(JobLog(id));
  auto bad = JobLog(kBadTyper);
  EXPECT_TRUE(Has(bad, "Keyname not closed")) << Joined(bad);
  EXPECT_TRUE(Has(bad, "Job executed abnormally")) << Joined(bad);

  TerminateProcess(pi.hProcess, 0);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  testutil::RemoveTree(dir);
}
