#include "ProgramTest.h"

#include "DialogDriver.h"

using testutil::TProgram;

jobbytes::StepSpec BasicsStep(int method, const std::string& name, const basicsblocks::Bytes& block) {
  jobbytes::StepSpec s{kBasicsID, method, name, true, block};
  return s;
}

void BasicsProgram::SetUp() {
  program_ = std::make_unique<TProgram>("basicsprog");
  program_->AddDistPlugins();
  CreateDirectoryA(program_->JobsDir().c_str(), nullptr);
}

void BasicsProgram::TearDown() {
  if (process_) CloseHandle(process_);
  program_.reset();
}

void BasicsProgram::AddJob(int32_t id, const std::string& name, const std::vector<jobbytes::StepSpec>& steps) {
  jobbytes::JobSpec job{id, name, 0, 0, true, {}, steps};
  testutil::WriteFileBytes(program_->JobsDir() + jobbytes::JobFileName(id), jobbytes::JobFile(job));
}

void BasicsProgram::Start(const std::vector<std::string>& env) {
  ASSERT_TRUE(program_->Start("", env));
  process_ = OpenProcess(PROCESS_ALL_ACCESS, FALSE, program_->ProcessId());
  ASSERT_NE(process_, nullptr);
}

HANDLE BasicsProgram::Run(int32_t id, const std::string& cause) {
  // The cause travels as a pointer into the host's memory.
  void* remote = VirtualAllocEx(process_, nullptr, cause.size() + 1, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  if (!remote) return nullptr;
  WriteProcessMemory(process_, remote, cause.c_str(), cause.size() + 1, nullptr);
  auto handle = reinterpret_cast<HANDLE>(
      SendMessageA(program_->AppWindow(), 0x6001, static_cast<WPARAM>(id), reinterpret_cast<LPARAM>(remote)));
  VirtualFreeEx(process_, remote, 0, MEM_RELEASE);
  HANDLE mine = nullptr;
  if (handle && !DuplicateHandle(process_, handle, GetCurrentProcess(), &mine, SYNCHRONIZE, FALSE, 0)) mine = nullptr;
  return mine;
}

bool BasicsProgram::Finished(HANDLE& run, int timeoutMs) {
  if (!run) return false;
  bool done = WaitForSingleObject(run, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0;
  CloseHandle(run);
  run = nullptr;
  return done;
}

void BasicsProgram::Close() {
  program_->Close();
  ASSERT_TRUE(program_->WaitExit(30000));
  EXPECT_EQ(program_->ExitCode(), 0u);
}

std::vector<std::string> LogTexts(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const auto& l : lines) out.push_back(testutil::LogText(l.size() > 2 ? l.substr(2) : l));
  return out;
}

std::vector<std::string> BasicsProgram::JobLog(int32_t id) const {
  std::string file = program_->LogsDir() + jobbytes::JobFileName(id);
  file.replace(file.size() - 4, 4, ".log");
  return LogTexts(testutil::ReadLines(file));
}

std::vector<std::string> BasicsProgram::MainLog() const { return LogTexts(program_->MainLogLines()); }

HWND BasicsProgram::WaitForBox(const std::string& caption, int timeoutMs) const {
  HWND box = nullptr;
  testutil::WaitFor([&] { return (box = testutil::FindDialogOf(program_->ProcessId(), caption)) != nullptr; },
                    timeoutMs);
  return box;
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  for (const auto& l : lines)
    if (l == line) return true;
  return false;
}

bool HasPrefix(const std::vector<std::string>& lines, const std::string& prefix) {
  for (const auto& l : lines)
    if (l.rfind(prefix, 0) == 0) return true;
  return false;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const auto& l : lines) out += l + "\n";
  return out;
}

namespace {

BOOL CALLBACK CollectStatic(HWND wnd, LPARAM lp) {
  char cls[32] = "";
  GetClassNameA(wnd, cls, sizeof cls);
  if (lstrcmpiA(cls, "Static") != 0) return TRUE;
  char text[4096] = "";
  GetWindowTextA(wnd, text, sizeof text);
  if (!*text) return TRUE;
  auto* out = reinterpret_cast<std::string*>(lp);
  if (!out->empty()) *out += "|";
  *out += text;
  return TRUE;
}

}  // namespace

std::string BoxText(HWND box) {
  std::string out;
  EnumChildWindows(box, CollectStatic, reinterpret_cast<LPARAM>(&out));
  return out;
}

void PressButton(HWND box, int id) {
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, id)));
}
