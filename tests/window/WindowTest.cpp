#include "WindowTest.h"

#include <cstring>

#include "TestUtil.h"

namespace windowtest {

std::string Acp(const std::wstring& text) {
  int n = WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(n > 0 ? n : 1), '\0');
  WideCharToMultiByte(CP_ACP, 0, text.c_str(), -1, out.data(), n, nullptr, nullptr);
  out.resize(std::strlen(out.c_str()));
  return out;
}

namespace {

void Dword(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

Bytes ActionBlock(const std::string& title, uint8_t exact) {
  Bytes b;
  Dword(b, static_cast<uint32_t>(title.size() + 1));
  b.insert(b.end(), title.begin(), title.end());
  b.push_back(0);
  b.push_back(exact);
  return b;
}

Bytes CheckBlock(const std::string& title, uint8_t exact, uint32_t checkFor, uint32_t stopIf) {
  Bytes b = ActionBlock(title, exact);
  Dword(b, checkFor);
  Dword(b, stopIf);
  return b;
}

Bytes WatcherBlock(const std::string& title, uint8_t exact, uint32_t watchFor, uint32_t seconds) {
  return CheckBlock(title, exact, watchFor, seconds);
}

TTestWindows::TTestWindows(const std::vector<std::wstring>& specs, int delayMs) {
  std::wstring cmd = L"\"" L"" OV_WINDOW_TEST_BIN L"\\testwindows.exe\"";
  if (delayMs) cmd += L" --delay=" + std::to_wstring(delayMs);
  for (const auto& s : specs) cmd += L" \"" + s + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi_)) return;
  if (delayMs) return;
  for (const auto& s : specs) WaitFor(s.substr(s.find(L':') + 1));
}

TTestWindows::~TTestWindows() {
  End();
  if (pi_.hThread) CloseHandle(pi_.hThread);
  if (pi_.hProcess) CloseHandle(pi_.hProcess);
}

namespace {

struct TSearch {
  DWORD pid;
  std::wstring title;
  HWND found = nullptr;
};

BOOL CALLBACK Match(HWND wnd, LPARAM lp) {
  auto* s = reinterpret_cast<TSearch*>(lp);
  DWORD pid = 0;
  GetWindowThreadProcessId(wnd, &pid);
  wchar_t title[512] = L"", cls[64] = L"";
  GetClassNameW(wnd, cls, 64);
  GetWindowTextW(wnd, title, 512);
  if (pid == s->pid && std::wstring(cls) == L"OVTestWindow" && s->title == title) {
    s->found = wnd;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HWND TTestWindows::Find(const std::wstring& title) const {
  TSearch s{pi_.dwProcessId, title};
  EnumWindows(Match, reinterpret_cast<LPARAM>(&s));
  return s.found;
}

bool TTestWindows::WaitFor(const std::wstring& title, bool present, int timeoutMs) const {
  return testutil::WaitFor([&] { return (Find(title) != nullptr) == present; }, timeoutMs);
}

bool TTestWindows::End() {
  if (!pi_.hProcess) return true;
  if (WaitForSingleObject(pi_.hProcess, 0) == WAIT_TIMEOUT) TerminateProcess(pi_.hProcess, 0);
  return WaitForSingleObject(pi_.hProcess, 10000) == WAIT_OBJECT_0;
}

}  // namespace windowtest
