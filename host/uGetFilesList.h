// The file-list picker "Files" behind the SelectFiles service: the user
// composes a list of files, directories and masks from a directory view, a
// file view and typed entries. Also the small input box and the folder
// browser that the host's dialogs share.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "OVDialog.h"
#include "OVTypes.h"

// What the icon of a result entry shows, chosen from the expanded text.
enum TEntryKind : int { ekMask = 0, ekFile = 1, ekDirectory = 2, ekMissing = 3 };
// Expands the entry's variables and looks at the disk once, with the
// system's critical-error boxes off (a drive without a disk or an
// unreachable share answers "missing" instead of asking the user).
TEntryKind EntryKindOf(const std::string& entry);

class TfGetFilesList : public OVDialog {
 public:
  TfGetFilesList(const std::vector<std::string>& entries, const std::string& filters);
  ~TfGetFilesList() override;

  // The result list (after Accept) and the filter list (always).
  const std::vector<std::string>& Entries() const { return entries_; }
  const std::string& Filters() const { return filters_; }
  // The directory the views show, with a trailing backslash.
  std::string CurrentDir() const;

 protected:
  bool OnInit() override;
  bool OnCommand(int id, int code, HWND control) override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) override;
  void OnOK() override;

 private:
  static LRESULT CALLBACK ResultKeys(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id, DWORD_PTR self);
  bool OpenDirectory(const std::string& dir);
  void FillDirs();
  void FillFiles();
  void FillFilters();
  void FillDrives();
  int FindResult(const std::string& text) const;
  // Appends an entry that is not present yet; its index, or -1.
  int AddResult(const std::string& text, bool select);
  void bAddSelectedClick();
  void bAddAllClick();
  void bManualAddClick();
  void bManualEditClick();
  void bRemoveSelectedClick();
  void bRemoveAllClick();
  void bEditFiltersClick();
  void bSelectFolderClick();
  void FilesDblClick();
  void DrawResult(const DRAWITEMSTRUCT* d);
  void ResultMenu(int x, int y);

  std::vector<std::string> entries_;
  std::string filters_;
  std::string dir_;   // current directory, no trailing backslash except at a root
  std::string mask_ = "*.*";
  std::vector<std::string> dirPaths_;  // the full path of each row of the directory view
  std::vector<std::string> filterMasks_;
  HWND tips_ = nullptr;
};

// Message 0x6007: the picker on the caller's block. Reads the text only
// within its size (size 0 or a null pointer is an empty list). On Accept a
// fresh block of text length + 1 bytes replaces the old one, which is freed
// when its size is above 0 and its pointer is not null; returns 1. Cancel
// returns 0 and leaves the record alone. The filter list is kept in the
// setting "Filter" either way.
LRESULT HandleSelectFiles(TOVSelectFilesRecord* rec);

// A one-line question; true and the text when confirmed.
bool InputQuery(HWND owner, const std::string& caption, const std::string& prompt, std::string& value);


// Hints of a dialog's controls: one tooltip window for all of them.
HWND AddHints(HWND dlg, const std::vector<std::pair<int, const char*>>& hints);
