// One thin dialog class for the host and every plug-in. A dialog is a
// template in the module's .rc file plus a subclass that overrides only the
// handlers it needs. One static dialog procedure keeps the object in the
// window's GWLP_USERDATA and routes messages to the virtual handlers inside
// try/catch, so no exception of a handler leaves the dialog procedure.
//
// Tests drive dialogs without a person: the ready hook is called at the end
// of WM_INITDIALOG with the dialog's window, so a test can set controls with
// ordinary messages and press OK or Cancel (post WM_COMMAND IDOK/IDCANCEL).
// Program tests find a dialog by its caption.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

using TDialogReadyHook = void (*)(HWND dlg);

// Installs the ready hook for every dialog of this process, including the
// dialogs of libraries loaded into it (nullptr removes it). The hook runs on
// the dialog's thread and must not throw. Meant for tests.
void SetDialogReadyHook(TDialogReadyHook hook);

// Owner of dialogs opened without one and without an active window of the
// calling thread (a plug-in sets the host's application window here).
void SetDefaultDialogOwner(HWND owner);
HWND DefaultDialogOwner();

class OVDialog {
 public:
  // templateId: the DIALOG resource; module: where the template lives
  // (nullptr: the module this code is linked into).
  explicit OVDialog(int templateId, HINSTANCE module = nullptr);
  virtual ~OVDialog();
  OVDialog(const OVDialog&) = delete;
  OVDialog& operator=(const OVDialog&) = delete;

  // Runs the dialog modally. owner nullptr: the calling thread's active
  // window, else the default owner. Returns the value given to End (IDOK,
  // IDCANCEL, ...), or -1 when the dialog could not be created.
  INT_PTR DoModal(HWND owner = nullptr);
  // Creates the dialog modeless (End destroys it).
  HWND Create(HWND owner = nullptr);
  // Closes the dialog with a result.
  void End(INT_PTR result);

  HWND Handle() const { return hwnd_; }
  HWND Item(int id) const { return GetDlgItem(hwnd_, id); }

  // Control helpers.
  std::string GetItemText(int id) const;
  void SetItemText(int id, const std::string& text);
  // The item's text as a whole decimal number; fallback when it is none.
  int GetItemInt(int id, int fallback = 0) const;
  void SetItemInt(int id, int value);
  // Multi-line edits as lists of lines (CR LF between lines).
  std::vector<std::string> GetItemLines(int id) const;
  void SetItemLines(int id, const std::vector<std::string>& lines);
  bool IsChecked(int id) const;
  void SetChecked(int id, bool checked);
  // Radio buttons first..last: the checked one, or -1.
  int CheckedRadio(int first, int last) const;
  void CheckRadio(int first, int last, int id);
  void Enable(int id, bool enabled);
  void Show(int id, bool visible);
  // A hint for a control: the tip shown while the mouse rests on it.
  void SetHint(int id, const std::string& text);
  // The tip window of the hints (null before the first); for tests.
  HWND HintWindow() const { return hints_; }
  // Moves the focus the way the dialog manager does (edits select all).
  void Focus(int id);

  // Combo boxes.
  int ComboAdd(int id, const std::string& text);
  void ComboClear(int id);
  int ComboCount(int id) const;
  int ComboIndex(int id) const;
  void SetComboIndex(int id, int index);
  std::string ComboItemText(int id, int index) const;

  // List boxes.
  int ListAdd(int id, const std::string& text);
  void ListClear(int id);
  int ListCount(int id) const;
  int ListIndex(int id) const;
  void SetListIndex(int id, int index);
  std::string ListItemText(int id, int index) const;

  // The "%V%" helper: inserts text at the caret of the edit (or the edit
  // of a combo box) that last had the focus, replacing its selection, and
  // gives that control the focus back with the caret after the text.
  // False when no edit has had the focus yet.
  bool InsertAtCaret(const std::string& text);
  // The edit that last had the focus, or nullptr.
  HWND LastEdit() const { return lastEdit_; }

 protected:
  // WM_INITDIALOG. Return true to let the dialog manager set the focus.
  virtual bool OnInit() { return true; }
  // WM_COMMAND. Return true when handled; IDOK and IDCANCEL that are not
  // handled go to OnOK / OnCancel.
  virtual bool OnCommand(int id, int code, HWND control);
  virtual void OnOK() { End(IDOK); }
  virtual void OnCancel() { End(IDCANCEL); }
  // WM_NOTIFY. Return true when handled; result goes to DWLP_MSGRESULT.
  virtual bool OnNotify(int id, NMHDR* header, LRESULT& result);
  virtual void OnTimer(UINT_PTR id);
  // Every other message. Return true when handled, with the dialog
  // procedure's result in result.
  virtual bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result);
  // An exception escaped a handler; the default shows the error box.
  virtual void OnError(const std::string& text);

 private:
  static INT_PTR CALLBACK DialogProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
  INT_PTR Route(UINT msg, WPARAM wp, LPARAM lp);
  void NoteFocus(int code, HWND control);
  HWND ResolveOwner(HWND owner) const;

  int templateId_;
  HINSTANCE module_;
  HWND hwnd_ = nullptr;
  HWND lastEdit_ = nullptr;
  HWND hints_ = nullptr;  // owned by the dialog window, which destroys it
  bool modal_ = false;
};
