// What the window plug-in's tests share: the test windows of testwindows.exe
// and the plug-in's parameter blocks written out byte by byte.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace windowtest {

using Bytes = std::vector<uint8_t>;

// Text in the system code page, as the plug-in sees window titles.
std::string Acp(const std::wstring& text);

// Blocks: title, match byte (1 exact), then the dwords of the kind.
Bytes ActionBlock(const std::string& title, uint8_t exact);
Bytes CheckBlock(const std::string& title, uint8_t exact, uint32_t checkFor, uint32_t stopIf);
Bytes WatcherBlock(const std::string& title, uint8_t exact, uint32_t watchFor, uint32_t seconds);

// testwindows.exe with one window per description "<show|hide|min|max>:<title>",
// ended when this object goes.
class TTestWindows {
 public:
  // Waits until every window exists unless delayMs holds them back.
  explicit TTestWindows(const std::vector<std::wstring>& specs, int delayMs = 0);
  ~TTestWindows();
  TTestWindows(const TTestWindows&) = delete;
  TTestWindows& operator=(const TTestWindows&) = delete;

  // The program's window with exactly that title, or nullptr.
  HWND Find(const std::wstring& title) const;
  // Waits for a window of the program to exist (or, gone, to no longer).
  bool WaitFor(const std::wstring& title, bool present = true, int timeoutMs = 10000) const;
  // Ends the program with every window; true once it has ended.
  bool End();

 private:
  PROCESS_INFORMATION pi_{};
};

}  // namespace windowtest
