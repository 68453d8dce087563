// The shell's pieces that dialogs of the host and of the plug-ins share.
#pragma once

#include <windows.h>

#include <string>

// COM for the shell on the calling thread while the scope lives; a job
// thread or a dialog thread may not have it yet.
class TComScope {
 public:
  TComScope();
  ~TComScope();
  TComScope(const TComScope&) = delete;
  TComScope& operator=(const TComScope&) = delete;

 private:
  bool ok_;
};

// The system's folder browser, opened at start (when it names a folder);
// true and the folder when one was chosen.
bool BrowseForFolder(HWND owner, const std::string& title, const std::string& start, std::string* chosen);

// The system's open box, or its save box with save set.
struct TFileBox {
  bool save = false;
  const char* filter = nullptr;
  const char* defExt = nullptr;
  const char* title = nullptr;
  std::string initialDir;
  DWORD flags = 0;
};
// path: the name shown at first (may be ""); the chosen file on return.
// True when one was chosen.
bool ChooseFile(HWND owner, const TFileBox& box, std::string& path);
