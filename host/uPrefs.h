// The preferences dialog "Preferences": options, automatic logon, the Jobs
// and Logs directories, job categories, log colours, and the loaded
// plug-ins with their configuration, information and about entries.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "OVDialog.h"
#include "uSettings.h"

class TfSettings : public OVDialog {
 public:
  TfSettings();
  ~TfSettings() override;

 protected:
  bool OnInit() override;
  bool OnCommand(int id, int code, HWND control) override;
  bool OnNotify(int id, NMHDR* header, LRESULT& result) override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) override;
  void OnOK() override;

 private:
  void ShowPage(int page);
  // Categories, all on the dialog's copy.
  void FillCategories(int select);
  void lbCatsClick();
  void eCatNameChange(HWND edit);
  void bAddCatClick();
  void bRemoveCatClick();
  void MoveCategory(int from, int to);
  // Colour boxes.
  void FillColorBox(int box, uint32_t color);
  void ColorBoxChange(int box);
  void DrawColorItem(const DRAWITEMSTRUCT* d);
  // Plug-ins.
  int SelectedPlugin() const;
  void bConfigureClick();
  void bInformationClick();
  void bAboutClick();
  void BrowseDirectory(int edit, const char* title);

  std::vector<TCategory> cats_;
  uint32_t colors_[8] = {};
  bool loading_ = true;
  bool renaming_ = false;
  bool touchedAutoLogon_ = false, touchedUser_ = false, touchedPassword_ = false;
  int dragFrom_ = -1;
  UINT dragMsg_ = 0;
  HIMAGELIST icons_ = nullptr;
};

// Opens the preferences; true when they were confirmed (and applied).
bool ShowPreferences(HWND owner);

// A new category number from 1 to 2,147,483,646 that none of `taken` has.
// The generator is seeded once per process, so quick calls differ.
int32_t NewCategoryNumber(const std::vector<TCategory>& taken);

// A Jobs or Logs directory as the next start will use it: empty is the
// default folder under the program folder, a relative path is taken under
// the program folder; always with a trailing backslash.
std::string EffectiveDirectory(const std::string& field, const std::string& sub);
