// The variables dialog: the built-in and plug-in variables with their
// current values, and the user's variables with Add, Edit and Delete.
#pragma once

#include <windows.h>

#include <string>

#include "OVDialog.h"

class TfVars : public OVDialog {
 public:
  // select: "Select" and "Cancel" return a reference; otherwise the dialog
  // only browses and edits, with one "Close" button.
  explicit TfVars(bool select);

  // After "Select": the chosen row's caption, for example "%DATE%".
  const std::string& Result() const { return result_; }

 protected:
  bool OnInit() override;
  bool OnCommand(int id, int code, HWND control) override;
  bool OnNotify(int id, NMHDR* header, LRESULT& result) override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) override;
  void OnOK() override;

 private:
  static LRESULT CALLBACK ListKeys(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                   DWORD_PTR self);
  void FillLists();
  void ShowPage(int page);
  int CurrentList() const;
  void LVSelectItem();
  void bSelectClick();
  void bAddClick();
  void bEditClick();
  void bDeleteClick();
  void CopyToClipboard();
  void PopupMenu(HWND list, int x, int y);

  bool select_;
  std::string result_;
};

// The browse mode, from the main window's "&Variables..." menu.
void ShowVariables(HWND owner);
// The select mode behind the SelectVariable service: true and the
// reference when the user confirmed a row.
bool SelectVariable(HWND owner, std::string* reference);
