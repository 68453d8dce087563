// How the helper programs tell the person who started them what went wrong.
// They are started by shortcuts and by the host, so a message box is the
// only way to be seen; tests set OV_SUPPORT_QUIET=1 to get the same text on
// standard error instead, so that no window waits for a person.
#pragma once

#include <windows.h>

#include <string>

inline bool SupportQuiet() {
  char value[8] = {};
  DWORD n = GetEnvironmentVariableA("OV_SUPPORT_QUIET", value, sizeof value);
  return n > 0 && n < sizeof value && value[0] != '0';
}

inline void SupportMessage(const char* caption, const std::string& text, UINT icon) {
  if (SupportQuiet()) {
    HANDLE err = GetStdHandle(STD_ERROR_HANDLE);
    if (err && err != INVALID_HANDLE_VALUE) {
      std::string line = std::string(caption) + ": " + text + "\r\n";
      DWORD written = 0;
      WriteFile(err, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    }
    return;
  }
  MessageBoxA(nullptr, text.c_str(), caption, MB_OK | icon | MB_SETFOREGROUND | MB_TOPMOST);
}

// The system's text for an error code, without its trailing line break.
inline std::string SystemErrorText(DWORD code) {
  char buf[512] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, buf, sizeof buf, nullptr);
  std::string s(buf, n);
  while (!s.empty() && (s.back() == '\r' || s.back() == '\n' || s.back() == ' ')) s.pop_back();
  return s.empty() ? "error " + std::to_string(code) : s;
}

// The program's own folder, with a trailing backslash.
inline std::string SupportProgramDir() {
  char path[MAX_PATH] = {};
  DWORD n = GetModuleFileNameA(nullptr, path, sizeof path);
  std::string dir(path, n);
  size_t slash = dir.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : dir.substr(0, slash + 1);
}
