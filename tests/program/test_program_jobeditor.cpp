// The job editor in the real orvane.exe: a job made through the Job menu's
// "New..." with an alarm clock event and a message step of the General
// plug-in, configured in the plug-in's own dialogs, saved by OK, and found
// again after a restart. Everything is driven with the program's own
// window messages.
//
// With OV_SHOTS set to a folder, the test stops at the picker and at the
// filled editor until <name>.png appears there for each <name>.want it
// writes (a helper outside takes the screen pictures).
#include <gtest/gtest.h>

#include <windows.h>
#include <commctrl.h>

#include <cstring>

#include "DialogDriver.h"
#include "TestUtil.h"
#include "uMainCmds.h"

using testutil::TProgram;

namespace {

// The main window's job list and the editor's controls.
constexpr int kJobList = 102;
constexpr int kJobName = 3401;
constexpr int kAddStep = 3411;
constexpr int kAddRun = 3421;
constexpr int kPickerTree = 3481;
// The General plug-in's dialogs.
constexpr int kShowMessage = 1001, kMessageText = 1002;
constexpr int kAlarmNow = 5102, kAlarmAdd = 5103, kAlarmTimes = 5106;
constexpr int32_t kGeneral = 9680;

// A dialog is shown once its initialisation has filled it: only then may
// the test change its fields.
HWND WaitDialog(const TProgram& p, const std::string& caption) {
  HWND found = nullptr;
  testutil::WaitFor([&] {
    found = testutil::FindDialogOf(p.ProcessId(), caption);
    return found && IsWindowVisible(found);
  }, 10000);
  return found;
}

void Command(HWND wnd, int id) {
  PostMessageA(wnd, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(wnd, id)));
}

// Types into a picker's tree: the tree finds the item by its first letters.
void TypeInto(HWND wnd, const std::string& text) {
  for (char c : text) PostMessageA(wnd, WM_CHAR, static_cast<WPARAM>(static_cast<unsigned char>(c)), 1);
}

// A control's text in another process (WM_GETTEXT crosses processes;
// GetWindowText does not for controls).
std::string TextOf(HWND dlg, int id) {
  char buf[1100] = "";
  SendMessageA(GetDlgItem(dlg, id), WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf));
  return buf;
}

void Shot(const std::string& name) {
  char dir[MAX_PATH] = "";
  if (!GetEnvironmentVariableA("OV_SHOTS", dir, sizeof dir)) return;
  std::string base = std::string(dir) + "\\" + name;
  testutil::WaitFor([] { return false; }, 1500);  // the windows paint
  testutil::WriteFileText(base + ".want", "");
  testutil::WaitFor([&] { return testutil::FileExists(base + ".png"); }, 20000);
}

struct TRecord {
  int32_t plugin, index, enabled;
  std::string name;
  std::vector<uint8_t> block;
};

// The events and steps of a job file.
struct TParsedJob {
  std::string name;
  std::vector<TRecord> events, steps;
};

bool ParseJob(const std::vector<uint8_t>& b, TParsedJob* job) {
  size_t at = 0;
  auto dword = [&](int32_t* v) {
    if (at + 4 > b.size()) return false;
    std::memcpy(v, &b[at], 4);
    at += 4;
    return true;
  };
  auto bytes = [&](int32_t n, std::vector<uint8_t>* out) {
    if (n < 0 || at + static_cast<size_t>(n) > b.size()) return false;
    out->assign(b.begin() + static_cast<long>(at), b.begin() + static_cast<long>(at) + n);
    at += static_cast<size_t>(n);
    return true;
  };
  int32_t v = 0, n = 0;
  std::vector<uint8_t> text;
  if (b.size() < 8 || std::memcmp(b.data(), "OV\0\0", 4) != 0) return false;
  at = 8;
  if (!dword(&n) || !bytes(n, &text) || text.empty()) return false;
  job->name.assign(text.begin(), text.end() - 1);
  for (int i = 0; i < 3; ++i)
    if (!dword(&v)) return false;
  int32_t count = 0;
  if (!dword(&count)) return false;
  for (int i = 0; i < count; ++i) {
    TRecord r;
    if (!dword(&r.plugin) || !dword(&r.index) || !dword(&r.enabled) || !dword(&n) || !bytes(n, &r.block))
      return false;
    job->events.push_back(r);
  }
  if (!dword(&count)) return false;
  for (int i = 0; i < count; ++i) {
    TRecord r;
    if (!dword(&r.plugin) || !dword(&r.index) || !dword(&r.enabled) || !dword(&n) || !bytes(n, &text) ||
        text.empty() || !dword(&n) || !bytes(n, &r.block))
      return false;
    r.name.assign(text.begin(), text.end() - 1);
    job->steps.push_back(r);
  }
  return true;
}

TEST(ProgramJobEditor, AJobMadeInTheEditorIsSavedAndReloaded) {
  TProgram p("jobeditor");
  p.AddDistPlugins();
  ASSERT_TRUE(p.Start());
  HWND main = p.MainWindow();
  ASSERT_TRUE(main);

  Command(main, cmNewJob);
  HWND editor = WaitDialog(p, "Add job");
  ASSERT_TRUE(editor);
  EXPECT_EQ(TextOf(editor, kJobName), "New job");
  testutil::SetText(editor, kJobName, "Morning");

  // A message step, configured in the plug-in's "Message" dialog.
  Command(editor, kAddStep);
  HWND picker = WaitDialog(p, "Select action");
  ASSERT_TRUE(picker);
  TypeInto(GetDlgItem(picker, kPickerTree), "Show");
  Shot("jobeditor-picker");
  Command(picker, IDOK);
  HWND message = WaitDialog(p, "Message");
  ASSERT_TRUE(message);
  SendMessageA(GetDlgItem(message, kShowMessage), BM_SETCHECK, BST_CHECKED, 0);
  testutil::SetText(message, kMessageText, "Good morning");
  Command(message, IDOK);

  // An alarm clock event with one alarm time.
  ASSERT_TRUE(testutil::WaitFor([&] { return !IsWindow(message); }, 10000));
  Command(editor, kAddRun);
  picker = WaitDialog(p, "Select Event");
  ASSERT_TRUE(picker);
  TypeInto(GetDlgItem(picker, kPickerTree), "Alarm");
  Command(picker, IDOK);
  HWND alarm = WaitDialog(p, "Alarm clock");
  ASSERT_TRUE(alarm);
  Command(alarm, kAlarmNow);
  Command(alarm, kAlarmAdd);
  ASSERT_TRUE(testutil::WaitFor(
      [&] { return SendDlgItemMessageA(alarm, kAlarmTimes, LB_GETCOUNT, 0, 0) == 1; }, 5000));
  Command(alarm, IDOK);
  ASSERT_TRUE(testutil::WaitFor([&] { return !IsWindow(alarm); }, 10000));
  Shot("jobeditor-editor");
  Command(editor, IDOK);
  ASSERT_TRUE(testutil::WaitFor([&] { return !IsWindow(editor); }, 10000));

  std::vector<std::string> files = testutil::ListFiles(p.JobsDir(), "*.ovj");
  ASSERT_EQ(files.size(), 1u);
  const std::vector<uint8_t> saved = testutil::ReadFileBytes(p.JobsDir() + files[0]);
  TParsedJob job;
  ASSERT_TRUE(ParseJob(saved, &job));
  EXPECT_EQ(job.name, "Morning");
  ASSERT_EQ(job.steps.size(), 1u);
  EXPECT_EQ(job.steps[0].plugin, kGeneral);
  EXPECT_EQ(job.steps[0].index, 0);
  EXPECT_EQ(job.steps[0].name, "Show \"Good morning\"");
  EXPECT_NE(job.steps[0].enabled, 0);
  ASSERT_EQ(job.events.size(), 1u);
  EXPECT_EQ(job.events[0].plugin, kGeneral);
  EXPECT_EQ(job.events[0].index, 1);
  EXPECT_FALSE(job.events[0].block.empty());

  p.Close();
  ASSERT_TRUE(p.WaitExit(30000));

  // After a restart the job is in the list: "Edit" opens it as saved, and
  // Cancel leaves its file as it was.
  ASSERT_TRUE(p.Start());
  // Space selects the job list's focused row, the first one.
  HWND list = GetDlgItem(p.MainWindow(), kJobList);
  ASSERT_TRUE(list);
  ASSERT_TRUE(testutil::WaitFor([&] { return SendMessageA(list, LVM_GETITEMCOUNT, 0, 0) == 1; }, 5000));
  PostMessageA(list, WM_KEYDOWN, VK_SPACE, 0);
  ASSERT_TRUE(testutil::WaitFor([&] { return SendMessageA(list, LVM_GETSELECTEDCOUNT, 0, 0) == 1; }, 5000));
  Command(p.MainWindow(), cmEditJob);
  editor = WaitDialog(p, "Edit job");
  ASSERT_TRUE(editor);
  EXPECT_EQ(TextOf(editor, kJobName), "Morning");
  Command(editor, IDCANCEL);
  ASSERT_TRUE(testutil::WaitFor([&] { return !IsWindow(editor); }, 10000));
  p.Close();
  ASSERT_TRUE(p.WaitExit(30000));
  EXPECT_EQ(testutil::ReadFileBytes(p.JobsDir() + files[0]), saved);
  for (const std::string& line : p.MainLogLines()) EXPECT_NE(line.rfind("E ", 0), 0u) << line;
}

}  // namespace
