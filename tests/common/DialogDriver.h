// Drives dialogs of the dialog layer from a test. A TDialogScript waits for
// the next dialog of this process to become ready (the dialog layer's ready
// hook) and runs a script against it on a thread of its own, while the
// test's thread runs the dialog. The script talks to the dialog with
// ordinary messages, which the dialog's modal loop serves.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <functional>
#include <string>

namespace testutil {

class TDialogScript {
 public:
  // Installs the ready hook; the script runs once, for the first dialog
  // that becomes ready.
  explicit TDialogScript(std::function<void(HWND dlg)> script, int timeoutMs = 10000);
  // Waits for the script to end and removes the hook.
  ~TDialogScript();
  TDialogScript(const TDialogScript&) = delete;
  TDialogScript& operator=(const TDialogScript&) = delete;

  // True once the script has run to its end.
  bool Finished() const;
  // The caption of the dialog the script ran against.
  const std::string& Caption() const { return caption_; }

 private:
  static DWORD WINAPI ThreadMain(void* self);
  std::function<void(HWND)> script_;
  int timeoutMs_;
  HANDLE thread_ = nullptr;
  std::string caption_;
  volatile LONG finished_ = 0;
};

// A visible or hidden dialog window (class #32770) of this process with
// that caption, waited for up to timeoutMs; nullptr when none appeared.
// Program tests find the dialogs of another process with FindDialogOf.
HWND WaitForDialog(const std::string& caption, int timeoutMs);
HWND FindDialogOf(DWORD pid, const std::string& caption);

// Presses a button the way a click does (WM_COMMAND BN_CLICKED to the
// dialog), synchronously.
void Click(HWND dlg, int id);

// A tree control's item text, and the item of a "root" or "root/child"
// line (null if there is none).
std::string TreeItemText(HWND tv, HTREEITEM item);
HTREEITEM FindTreeItem(HWND tv, const std::string& line);
// Waits for the dialog with the caption, selects the line in its tree
// control and confirms it; false, with the dialog cancelled, when the
// dialog or the line is missing.
bool PickInTree(const std::string& caption, int treeId, const std::string& line);
void SetText(HWND dlg, int id, const std::string& text);
std::string GetText(HWND dlg, int id);
// Gives a control the focus through the dialog manager.
void FocusItem(HWND dlg, int id);
// The texts of a window's static controls (a message box's text), joined
// with "|".
std::string StaticTexts(HWND wnd);
// The hint (tool tip) the dialog's tip window holds for a control.
std::string HintOf(HWND dlg, int id);

}  // namespace testutil
