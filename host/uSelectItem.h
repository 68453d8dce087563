// The pickers of the job editor: "Select action" (TfMethods) lists the
// actions and "Select Event" (TfRunners) the triggers of every loaded
// plug-in as a sorted tree, plug-ins on the first level, their items below.
#pragma once

#include <windows.h>

#include <cstdint>

#include "OVDialog.h"

struct TPickedItem {
  int32_t PluginID = 0;
  int Index = -1;
};

enum class TPickKind { Methods, Runners };

class TfSelectItem : public OVDialog {
 public:
  explicit TfSelectItem(TPickKind kind);
  const TPickedItem& Result() const { return result_; }

 protected:
  bool OnInit() override;
  bool OnNotify(int id, NMHDR* header, LRESULT& result) override;
  void OnOK() override;

 private:
  void bSelectClick();
  TPickKind kind_;
  TPickedItem result_;
};

class TfMethods : public TfSelectItem {
 public:
  TfMethods() : TfSelectItem(TPickKind::Methods) {}
};

class TfRunners : public TfSelectItem {
 public:
  TfRunners() : TfSelectItem(TPickKind::Runners) {}
};

// Shows the picker; true with the chosen plug-in ID and index, false when
// the user cancelled.
bool PickAction(HWND owner, TPickedItem* item);
bool PickTrigger(HWND owner, TPickedItem* item);

// The trees are built from the loaded plug-ins on first use and kept for
// the rest of the run; this drops them (a test that loads other plug-ins).
void ForgetPickers();
