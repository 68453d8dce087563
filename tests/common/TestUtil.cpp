#include "TestUtil.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace testutil {

std::string MakeTempDir(const std::string& tag) {
  static std::atomic<int> counter{0};
  char tmp[MAX_PATH];
  GetTempPathA(sizeof tmp, tmp);
  for (;;) {
    char name[MAX_PATH];
    std::snprintf(name, sizeof name, "%sov-%s-%lu-%d-%lu\\", tmp, tag.c_str(),
                  GetCurrentProcessId(), counter++, GetTickCount() % 100000);
    if (CreateDirectoryA(name, nullptr)) return name;
    if (GetLastError() != ERROR_ALREADY_EXISTS) return std::string();
  }
}

void RemoveTree(const std::string& dirIn) {
  std::string dir = dirIn;
  if (dir.empty()) return;
  if (dir.back() != '\\') dir += '\\';
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((dir + "*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      std::string n = fd.cFileName;
      if (n == "." || n == "..") continue;
      std::string p = dir + n;
      SetFileAttributesA(p.c_str(), FILE_ATTRIBUTE_NORMAL);
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(p);
      else
        DeleteFileA(p.c_str());
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  RemoveDirectoryA(dir.c_str());
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
}

std::string ReadFileText(const std::string& path) {
  auto b = ReadFileBytes(path);
  return std::string(b.begin(), b.end());
}

void WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

void WriteFileText(const std::string& path, const std::string& text) {
  WriteFileBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

bool FileExists(const std::string& path) {
  DWORD a = GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

std::vector<std::string> ListFiles(const std::string& dir, const std::string& pattern) {
  std::vector<std::string> out;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((dir + pattern).c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return out;
  do {
    if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) out.push_back(fd.cFileName);
  } while (FindNextFileA(h, &fd));
  FindClose(h);
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<std::string> ReadLines(const std::string& path) {
  std::vector<std::string> lines;
  std::istringstream in(ReadFileText(path));
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

std::string TestPluginPath(const std::string& name) {
  return std::string(OV_TEST_PLUGIN_DIR) + "\\" + name + "\\" + name + ".ovp";
}

void MakeDirs(const std::string& dirIn) {
  std::string dir = dirIn;
  while (!dir.empty() && dir.back() == '\\') dir.pop_back();
  if (dir.empty() || GetFileAttributesA(dir.c_str()) != INVALID_FILE_ATTRIBUTES) return;
  size_t slash = dir.find_last_of('\\');
  if (slash != std::string::npos) MakeDirs(dir.substr(0, slash));
  CreateDirectoryA(dir.c_str(), nullptr);
}

void CopyTestPlugin(const std::string& name, const std::string& dir, const std::string& fileName) {
  MakeDirs(dir);
  std::string target = dir;
  if (target.back() != '\\') target += '\\';
  target += fileName.empty() ? name + ".ovp" : fileName;
  CopyFileA(TestPluginPath(name).c_str(), target.c_str(), FALSE);
}

void Pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
}

bool WaitFor(const std::function<bool()>& cond, int timeoutMs) {
  ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(timeoutMs);
  for (;;) {
    Pump();
    if (cond()) return true;
    if (GetTickCount64() >= end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
  }
}

std::string LogText(const std::string& line) {
  size_t p = line.find(": ");
  return p == std::string::npos ? line : line.substr(p + 2);
}

// ---------------------------------------------------------------- TProgram

namespace {

struct FindCtx {
  DWORD pid;
  std::string cls;
  HWND found;
  int visible = 0;
};

BOOL CALLBACK CountVisibleProc(HWND wnd, LPARAM lp) {
  auto* c = reinterpret_cast<FindCtx*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(wnd, &pid);
  char cls[256] = {};
  GetClassNameA(wnd, cls, sizeof cls);
  if (pid == c->pid && c->cls == cls && IsWindowVisible(wnd)) ++c->visible;
  return TRUE;
}

BOOL CALLBACK FindProc(HWND wnd, LPARAM lp) {
  auto* c = reinterpret_cast<FindCtx*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(wnd, &pid);
  if (pid != c->pid) return TRUE;
  char cls[256] = {};
  GetClassNameA(wnd, cls, sizeof cls);
  if (!c->cls.empty() && c->cls != cls) return TRUE;
  c->found = wnd;
  return FALSE;
}

void CopyDir(const std::string& from, const std::string& to) {
  CreateDirectoryA(to.c_str(), nullptr);
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((from + "\\*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return;
  do {
    std::string n = fd.cFileName;
    if (n == "." || n == "..") continue;
    if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
      CopyDir(from + "\\" + n, to + "\\" + n);
    else
      CopyFileA((from + "\\" + n).c_str(), (to + "\\" + n).c_str(), FALSE);
  } while (FindNextFileA(h, &fd));
  FindClose(h);
}

}  // namespace

HWND FindProcessWindow(DWORD pid, const std::string& className) {
  FindCtx c{pid, className, nullptr};
  EnumWindows(FindProc, reinterpret_cast<LPARAM>(&c));
  return c.found;
}

int VisibleProcessWindows(DWORD pid, const std::string& className) {
  FindCtx c{pid, className, nullptr};
  EnumWindows(CountVisibleProc, reinterpret_cast<LPARAM>(&c));
  return c.visible;
}

TProgram::TProgram(const std::string& tag) : dir_(MakeTempDir(tag)) {
  std::string dist = OV_DIST_DIR;
  WIN32_FIND_DATAA fd;
  HANDLE h = FindFirstFileA((dist + "\\*.*").c_str(), &fd);
  if (h != INVALID_HANDLE_VALUE) {
    do {
      if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
      CopyFileA((dist + "\\" + fd.cFileName).c_str(), (dir_ + fd.cFileName).c_str(), FALSE);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
  }
  CreateDirectoryA((dir_ + "Plugins").c_str(), nullptr);
  std::string leaf = dir_.substr(0, dir_.size() - 1);
  regRoot_ = "Software\\Orvane tests\\" + leaf.substr(leaf.find_last_of('\\') + 1);
  char saved[1024];
  DWORD n = GetEnvironmentVariableA("ORVANE_REGISTRY", saved, sizeof saved);
  hadRegRoot_ = n > 0 && n < sizeof saved;
  if (hadRegRoot_) savedRegRoot_.assign(saved, n);
  SetEnvironmentVariableA("ORVANE_REGISTRY", regRoot_.c_str());
}

TProgram::~TProgram() {
  if (Running()) Kill();
  if (process_) CloseHandle(process_);
  RemoveTree(dir_);
  RegDeleteTreeA(HKEY_CURRENT_USER, regRoot_.c_str());
  SetEnvironmentVariableA("ORVANE_REGISTRY", hadRegRoot_ ? savedRegRoot_.c_str() : nullptr);
}

std::string TProgram::RegKey(HKEY hive, const std::string& path) const {
  return regRoot_ + (hive == HKEY_LOCAL_MACHINE ? "\\HKLM\\" : "\\HKCU\\") + path;
}

void TProgram::AddTestPlugin(const std::string& name, const std::string& sub) {
  CopyTestPlugin(name, dir_ + "Plugins\\" + (sub.empty() ? name : sub));
}

void TProgram::AddDistPlugins() {
  CopyDir(std::string(OV_DIST_DIR) + "\\Plugins", dir_ + "Plugins");
}

bool TProgram::Start(const std::string& args, const std::vector<std::string>& env) {
  for (const std::string& e : env) {
    size_t eq = e.find('=');
    SetEnvironmentVariableA(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str());
  }
  // One instance at a time: a program that is still ending would take
  // this start for a second instance.
  WaitFor([] {
    HANDLE other = OpenMutexA(SYNCHRONIZE, FALSE, "ORVANEMTX");
    if (other) CloseHandle(other);
    return other == nullptr;
  }, 15000);
  std::string cmd = "\"" + dir_ + "orvane.exe\"" + (args.empty() ? "" : " " + args);
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  BOOL ok = CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr,
                           dir_.c_str(), &si, &pi);
  for (const std::string& e : env)
    SetEnvironmentVariableA(e.substr(0, e.find('=')).c_str(), nullptr);
  if (!ok) return false;
  CloseHandle(pi.hThread);
  process_ = pi.hProcess;
  pid_ = pi.dwProcessId;
  // The main window is shown once start-up has finished.
  return WaitFor([&] {
           HWND main = MainWindow();
           return (main && IsWindowVisible(main)) || !Running();
         },
                 30000) &&
         Running();
}

HWND TProgram::AppWindow() const { return FindProcessWindow(pid_, "TApplication"); }
HWND TProgram::MainWindow() const { return FindProcessWindow(pid_, "TfOrvane"); }

void TProgram::Close() {
  if (HWND app = AppWindow()) PostMessageA(app, 0x600E, 0, 0);
}

bool TProgram::WaitExit(int timeoutMs) {
  return WaitFor([&] { return !Running(); }, timeoutMs);
}

bool TProgram::Running() const {
  return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

DWORD TProgram::ExitCode() const {
  DWORD code = 0;
  if (process_) GetExitCodeProcess(process_, &code);
  return code;
}

void TProgram::Kill() {
  if (process_) {
    TerminateProcess(process_, 9);
    WaitForSingleObject(process_, 10000);
  }
}

std::vector<std::string> TProgram::MainLogLines() const { return ReadLines(LogsDir() + "OV.log"); }

}  // namespace testutil
