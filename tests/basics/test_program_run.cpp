// "Run a program/Open a document" in the real program: programs started
// with and without waiting, their exit codes, a document opened with its
// associated program, and a host that stays idle while a step waits.
#include <gtest/gtest.h>

#include <windows.h>

#include <tlhelp32.h>

#include "ProgramTest.h"

using namespace basicsblocks;

namespace {

enum { mRun = 1 };

const std::string kHelper = std::string(OV_BASICS_TEST_BIN) + "\\exitcode.exe";

struct TNotepadSearch {
  std::string file;
  HWND found;
};

BOOL CALLBACK MatchNotepad(HWND wnd, LPARAM lp) {
  auto* c = reinterpret_cast<TNotepadSearch*>(lp);
  char cls[64] = "", title[512] = "";
  GetClassNameA(wnd, cls, sizeof cls);
  GetWindowTextA(wnd, title, sizeof title);
  if (lstrcmpiA(cls, "Notepad") == 0 && std::string(title).find(c->file) != std::string::npos) {
    c->found = wnd;
    return FALSE;
  }
  return TRUE;
}

// Notepad's window showing a file, of any process.
HWND FindNotepad(const std::string& file) {
  TNotepadSearch search{file, nullptr};
  EnumWindows(MatchNotepad, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND WaitForNotepad(const std::string& file) {
  HWND wnd = nullptr;
  testutil::WaitFor([&] { return (wnd = FindNotepad(file)) != nullptr; }, 15000);
  return wnd;
}

void CloseNotepad(HWND wnd) {
  PostMessageA(wnd, WM_CLOSE, 0, 0);
  testutil::WaitFor([&] { return !IsWindow(wnd); }, 10000);
}

double Seconds(const FILETIME& ft) {
  ULARGE_INTEGER v;
  v.LowPart = ft.dwLowDateTime;
  v.HighPart = ft.dwHighDateTime;
  return static_cast<double>(v.QuadPart) / 1e7;
}

// User plus kernel time of a process so far, in seconds: the sum over its
// threads (Wine answers the process-wide question only for the calling
// process).
double CpuSeconds(HANDLE process) {
  DWORD pid = GetProcessId(process);
  double total = 0;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snap == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 te{};
  te.dwSize = sizeof te;
  for (BOOL more = Thread32First(snap, &te); more; more = Thread32Next(snap, &te)) {
    if (te.th32OwnerProcessID != pid) continue;
    HANDLE thread = OpenThread(THREAD_QUERY_INFORMATION, FALSE, te.th32ThreadID);
    if (!thread) continue;
    FILETIME created, exited, kernel, user;
    if (GetThreadTimes(thread, &created, &exited, &kernel, &user)) total += Seconds(kernel) + Seconds(user);
    CloseHandle(thread);
  }
  CloseHandle(snap);
  return total;
}

// The share of one core a process used over the next milliseconds.
double CpuShare(HANDLE process, DWORD ms) {
  double before = CpuSeconds(process);
  DWORD start = GetTickCount();
  Sleep(ms);
  double used = CpuSeconds(process) - before;
  return used / ((GetTickCount() - start) / 1000.0);
}

}  // namespace

TEST_F(BasicsProgram, ProgramsAndDocumentsStartedWithAndWithoutWaiting) {
  const std::string dir = program_->Dir();
  const std::string marker = dir + "started.txt";
  const std::string document = dir + "note.txt";
  testutil::WriteFileText(document, "a note\r\n");
  AddJob(0x200, "Exit 0", {BasicsStep(mRun, "Run", RunBlock(kHelper, "0", "", 0, 1))});
  AddJob(0x201, "Exit 3", {BasicsStep(mRun, "Run", RunBlock(kHelper, "3", "", 1, 1))});
  AddJob(0x202, "Exit -1", {BasicsStep(mRun, "Run", RunBlock(kHelper, "-1", "", 2, 1))});
  AddJob(0x203, "Exit 259", {BasicsStep(mRun, "Run", RunBlock(kHelper, "259 300", "", 3, 1))});
  AddJob(0x204, "No wait", {BasicsStep(mRun, "Run", RunBlock(kHelper, "0 4000 \"" + marker + "\"", dir, 0, 0))});
  AddJob(0x205, "Document", {BasicsStep(mRun, "Open", RunBlock(document, "", "", 0, 0))});
  AddJob(0x206, "Document with wait", {BasicsStep(mRun, "Open", RunBlock(document, "", "", 0, 1))});
  Start();

  for (int32_t id : {0x200, 0x201, 0x202, 0x203}) {
    HANDLE run = Run(id, "Test");
    EXPECT_TRUE(Finished(run)) << id;
  }

  // Without wait the step is done while the program still runs.
  HANDLE run = Run(0x204, "Test");
  ASSERT_TRUE(Finished(run, 3000));
  EXPECT_TRUE(testutil::WaitFor([&] { return testutil::FileExists(marker); }, 10000));

  // A document opens in its associated program; without wait the job does
  // not care how long it stays open.
  run = Run(0x205, "Test");
  EXPECT_TRUE(Finished(run));
  HWND notepad = WaitForNotepad("note.txt");
  ASSERT_NE(notepad, nullptr);
  CloseNotepad(notepad);

  // With wait the job waits for the program the shell started.
  run = Run(0x206, "Test");
  notepad = WaitForNotepad("note.txt");
  ASSERT_NE(notepad, nullptr);
  EXPECT_EQ(WaitForSingleObject(run, 1000), static_cast<DWORD>(WAIT_TIMEOUT));
  CloseNotepad(notepad);
  EXPECT_TRUE(Finished(run));

  Close();
  auto log = JobLog(0x200);
  EXPECT_TRUE(Has(log, "\"" + kHelper + "\" ended with exit code 0")) << Joined(log);
  EXPECT_TRUE(Has(log, "Job executed successfully"));
  log = JobLog(0x201);
  EXPECT_TRUE(Has(log, "\"" + kHelper + "\" ended with exit code 3")) << Joined(log);
  EXPECT_TRUE(Has(log, "Job executed successfully"));
  log = JobLog(0x202);
  EXPECT_TRUE(Has(log, "\"" + kHelper + "\" ended with exit code -1")) << Joined(log);
  EXPECT_TRUE(Has(log, "Job executed abnormally"));
  // 259 is the "still active" code: the process handle, not the code,
  // tells that the program ended.
  log = JobLog(0x203);
  EXPECT_TRUE(Has(log, "\"" + kHelper + "\" ended with exit code 259")) << Joined(log);
  EXPECT_TRUE(Has(log, "Job executed successfully"));
  for (int32_t id : {0x204, 0x205, 0x206}) {
    log = JobLog(id);
    EXPECT_TRUE(Has(log, "Job executed successfully")) << Joined(log);
    EXPECT_FALSE(HasPrefix(log, "Cannot run")) << Joined(log);
  }
}

TEST_F(BasicsProgram, TheHostStaysIdleWhileAStepWaitsForAProgram) {
  // The measurement itself can see a busy process.
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string spin = "\"" + kHelper + "\" spin 3000";
  ASSERT_TRUE(CreateProcessA(nullptr, spin.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi));
  Sleep(200);
  double busy = CpuShare(pi.hProcess, 1500);
  WaitForSingleObject(pi.hProcess, 10000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  EXPECT_GT(busy, 0.25);

  AddJob(0x300, "Long program", {BasicsStep(mRun, "Run", RunBlock(kHelper, "0 5000", "", 0, 1))});
  Start();
  HANDLE run = Run(0x300, "Test");
  ASSERT_NE(run, nullptr);
  Sleep(700);  // the program has started and the step waits
  ASSERT_GE(CpuSeconds(process_), 0.0);
  double share = CpuShare(process_, 2500);
  EXPECT_EQ(WaitForSingleObject(run, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  // Polling the exit code without a pause measured about a quarter of a
  // core here (Wine's server does the rest of that work); waiting on the
  // handle measures nothing.
  EXPECT_LT(share, 0.1);
  EXPECT_TRUE(Finished(run));
  Close();
  EXPECT_TRUE(Has(JobLog(0x300), "Job executed successfully"));
}
