// The General plug-in loaded into the test by the host's own loader, as the
// program loads it, with a few host services replaced so that tests see
// what the plug-in asked for.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "BasicsBlocks.h"
#include "HostTest.h"
#include "OVTypes.h"

class TOVPlugin;

using namespace basicsblocks;

// The loaded plug-in (loaded once, released at the end of the run).
TOVPlugin& Basics();

// Method and runner indexes.
enum {
  mMessage = 0,
  mRun = 1,
  mCopyMove = 2,
  mDelete = 3,
  mSync = 4,
  mRunJob = 5,
  mShutdown = 6,
  mQuestion = 7,
  mTextFile = 8,
  mWinPopup = 9,
  mPrint = 10,
  mSendKeys = 11,
  mDelay = 12,
  mFileList = 13,
  mRename = 14
};
enum { rHotKey = 0, rAlarm = 1, rOnShutdown = 2, rFilesMonitor = 3, rIdle = 4 };

// The replaced ExpandVariables writes every reference %Name% as <Name>.
std::string FakeExpand(const std::string& text);
// The reference that the replaced SelectVariable picks.
extern const char* const kPickedVariable;

// Blocks held in the host's allocator.
TOVMethodParams Block(const Bytes& bytes);
void FreeBlock(TOVMethodParams& p);
Bytes BytesOf(const TOVMethodParams& p);

// The plug-in's entries through the host's wrappers.
bool Exec(int index, const Bytes& block);
std::string Descr(int index, const Bytes& block);
// Config on a copy of block; the block afterwards (unchanged on false).
bool Config(int index, Bytes& block);

// A message box or other dialog of this process, answered from a thread of
// its own while the test's thread is inside the plug-in.
class TBoxAnswer {
 public:
  // Waits up to timeoutMs for a dialog with that caption, keeps its text
  // (all static texts, joined by "|") and presses button.
  TBoxAnswer(const std::string& caption, int button, int timeoutMs = 10000);
  ~TBoxAnswer();
  // Waits for the answering thread; true when a box was found.
  bool Answered();
  const std::string& Text() const { return text_; }

 private:
  static DWORD WINAPI Main(void* self);
  std::string caption_;
  int button_;
  int timeoutMs_;
  std::string text_;
  bool found_ = false;
  HANDLE thread_ = nullptr;
};

// The texts of a window's static children, in z-order, joined by "|".
std::string StaticTexts(HWND wnd);
