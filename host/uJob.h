// The job editor TfJob: a job's name, category and options, its ordered
// steps and its triggering events. The editor changes the job directly
// while it is open; Cancel puts back the job as it was when the editor
// opened.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "OVDialog.h"

class TOVJob;
class TOVPlugin;

class TfJob : public OVDialog {
 public:
  // newJob: "Add job" for a job that is not in the job list yet.
  TfJob(TOVJob* job, bool newJob);
  ~TfJob() override;

 protected:
  bool OnInit() override;
  bool OnCommand(int id, int code, HWND control) override;
  bool OnNotify(int id, NMHDR* header, LRESULT& result) override;
  bool OnMessage(UINT msg, WPARAM wp, LPARAM lp, INT_PTR& result) override;
  void OnOK() override;
  void OnCancel() override;

 private:
  static LRESULT CALLBACK ListKeys(HWND wnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                   DWORD_PTR self);
  void SetControls();
  void ShowPage(int page);
  void FillSteps();
  void FillRuns();
  void SelectRow(int listId, int row);
  int FocusedRow(int listId) const;
  // Whether the step's or event's plug-in is loaded (its row is a known one).
  bool StepKnown(int index) const;
  bool RunKnown(int index) const;
  std::string RunCaption(int index) const;
  void ControlChanged(int id);

  void bAddStepClick();
  void bConfigStepClick();
  void bRemoveStepClick();
  void DeleteAllSteps();
  void MoveStep(int delta);
  void MoveStepTo(int from, int to);
  void bAddRunClick();
  void bConfigRunClick();
  void bRemoveRunClick();
  void DeleteAllRuns();
  void CheckAll(int listId, bool checked);
  void PopupMenu(HWND list, int x, int y);
  bool ItemChanging(int listId, const NMLISTVIEW& change);
  void ItemChanged(int listId, const NMLISTVIEW& change);

  TOVJob* job_;
  bool new_;
  // Suppresses reactions while the lists are filled or controls are set.
  bool filling_ = false;
  // The last mouse press in a list hit an item's icon or label.
  bool pressedOnItem_ = false;
  bool dragging_ = false;
  int dragFrom_ = -1;
  HIMAGELIST stepImages_ = nullptr;
  HIMAGELIST runImages_ = nullptr;
  HWND tips_ = nullptr;
  // The job's bytes when an "edit" opened: Cancel restores them, whatever
  // became of the file meanwhile.
  std::vector<uint8_t> undo_;

  friend bool EditJob(HWND owner, TOVJob* job);
};

// The editor's entries.
//
// A new job: created for the job list but not added to it, Active, in the
// given category (the main window's current one). Returns the job when the
// user confirmed it; nothing otherwise (the job is gone, no file was made
// and no trigger was armed).
std::unique_ptr<TOVJob> NewJob(HWND owner, int32_t category);
// Edits a job of the job list whose editing flag the caller set and whose
// events it stopped. The job's file is written first, so that it matches
// the job; when that fails the error is shown and the editor does not open.
// True when the user confirmed.
bool EditJob(HWND owner, TOVJob* job);

// The main window's commands around the editor. NewJobCommand adds a
// confirmed job to the job list and arms it when automation is on.
// EditJobCommand refuses a running job, marks the job as edited and
// disarms it for the editor's time, and afterwards (confirmed, cancelled
// or failed) gives it back its state and, with automation on, its events.
TOVJob* NewJobCommand(HWND owner, int32_t category);
bool EditJobCommand(HWND owner, TOVJob* job);

// The configuration call of a step or an event on a copy of its record.
// Whatever the outcome (confirmed, cancelled or raised), a record whose
// block pointer the plug-in changed is adopted: the plug-in has freed the
// old block. Returns whether the user confirmed; a plug-in's error is
// raised again after the record was taken care of.
class TOVJobStep;
class TOVJobRun;
bool ConfigureStep(TOVPlugin& plugin, TOVJobStep& step);
bool ConfigureRun(TOVPlugin& plugin, TOVJobRun& event);
