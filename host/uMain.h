// The main window TfOrvane: the job list on category tabs, the log pane,
// the menus, tool bar, status bar and tray icon, and the program's life
// from the single-instance entry through start-up to the exit.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <string>
#include <vector>

#include "Engine.h"

class TOVJob;
class TOVLog;

class TfOrvane : public TEngineView {
 public:
  TfOrvane();
  ~TfOrvane() override;
  TfOrvane(const TfOrvane&) = delete;
  TfOrvane& operator=(const TfOrvane&) = delete;

  // Creates the (hidden) window with its controls and menus, and names
  // the Tools menu for plug-in items.
  HWND Create(HINSTANCE inst);
  // The start-up sequence: engine, tabs, jobs, placement, tray, automation.
  void Startup();
  // The message loop with the window's shortcuts; returns at the end.
  int MessageLoop();
  // A key of the window's own (shortcuts); true when it was handled.
  bool TranslateKey(const MSG& msg);

  HWND Handle() const { return wnd_; }
  HWND JobList() const { return lvJobs_; }
  HWND Tabs() const { return tcJobs_; }
  HWND LogPane() const { return lbLog_; }
  HWND ToolBar() const { return toolBar_; }
  HWND StatusBar() const { return sb_; }
  HMENU HelpMenu() const { return helpMenu_; }

  // Job list.
  int32_t CurrentCategory() const { return category_; }
  void SelectTab(int index);
  void FillTabs();
  void RefillList();
  std::vector<TOVJob*> SelectedJobs() const;
  TOVJob* FocusedJob() const;
  TOVJob* RowJob(int row) const;
  int RowOf(const TOVJob* job) const;
  void SelectRows(const std::vector<int>& rows);
  void SortBy(int column, bool ascending);
  int SortColumn() const { return sortColumn_; }
  bool SortAscending() const { return sortAscending_; }
  // Drops the selected rows on a tab; false when the tab refuses them.
  bool DropOnTab(int tab);

  // Log pane.
  bool LogVisible() const { return logVisible_; }
  int LogHeight() const { return logHeight_; }
  void SetLogHeight(int height);
  // The log the pane shows (the main log or a selected job's).
  TOVLog* ShownLog() const;
  void ShowLogOf(TOVJob* job);
  std::string CopyLogText() const;

  // Menus as they are built when they open.
  HMENU BuildTrayMenu();
  HMENU BuildRunMenu();
  int StatusImage() const { return statusImage_; }
  HICON TrayIcon() const { return trayIcon_; }

  // An exit request: runs the exit now, or once start-up or an open dialog
  // has finished.
  void RequestExit();
  bool ExitPending() const { return exitPending_; }
  bool Modal() const;
  // Settings, categories, user variables and logs saved for a session end.
  void SaveForSessionEnd();

  // TEngineView
  void JobAdded(TOVJob* job) override;
  void JobRemoved(TOVJob* job) override;
  void JobStateChanged(TOVJob* job) override;
  void IconRule() override;
  void RestoreHost() override;
  void MinimizeHost() override;
  void CloseHost() override;
  void* LogView() override { return lbLog_; }
  void CategoriesLoaded() override;
  void JobsLoaded() override;

  void Command(UINT id);

 private:
  static LRESULT CALLBACK WndProc(HWND wnd, UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Handle(UINT msg, WPARAM wp, LPARAM lp);
  LRESULT Notify(NMHDR* hdr);
  void CreateMenus();
  void CreateToolBar();
  void Layout();
  void UpdateRow(int row, TOVJob* job);
  int AddRow(TOVJob* job);
  void Resort();
  void UpdateSortArrow();
  void EnableCategoryButtons();
  void PlaceWindow();
  void RememberGeometry();
  void ShowTrayIcon(DWORD how);
  void TrayMenu();
  void RunMenu();
  void ExitProgram();
  // Runs the exit from the message loop when it is running, else at once.
  void ExitFromLoop();
  void InitMenu(HMENU menu);
  void DrawLogLine(const DRAWITEMSTRUCT* d);
  void DrawStatusImage(const DRAWITEMSTRUCT* d);
  bool EndRename(NMLVDISPINFOA* info);
  void ListMenu(int x, int y);
  void LogMenu(int x, int y);
  int AddJobItems(HMENU menu, int32_t category);

  // Commands.
  void NewJob();
  void EditJob(TOVJob* job);
  void DeleteJobs();
  void RunJobs();
  void StopJobs();
  void DuplicateJob();
  void CreateShortcut();
  void ToggleActive();
  void ActivateCategory(bool active);
  void ToggleLog();
  void ToggleToolbar();
  void Preferences();
  void ClearLog();
  void CopyLog();
  void SelectAllLog();
  void MinimizeRestore();
  void ToggleAutomationCommand();

  HWND wnd_ = nullptr;
  HWND toolBar_ = nullptr;
  HWND tcJobs_ = nullptr;
  HWND lvJobs_ = nullptr;
  HWND lbLog_ = nullptr;
  HWND sb_ = nullptr;
  HMENU menuBar_ = nullptr, fileMenu_ = nullptr, jobMenu_ = nullptr, optionsMenu_ = nullptr,
        toolsMenu_ = nullptr, helpMenu_ = nullptr;
  HIMAGELIST jobImages_ = nullptr, toolImages_ = nullptr;
  HICON icons_[3] = {};
  HICON trayIcon_ = nullptr;
  int statusImage_ = 8;
  UINT taskbarCreated_ = 0;
  bool trayShown_ = false;

  int32_t category_ = 0;
  int sortColumn_ = 0;
  bool sortAscending_ = true;
  bool filling_ = false;
  bool logVisible_ = true;
  int logHeight_ = 150;
  bool toolbarVisible_ = true;
  bool splitting_ = false;
  bool dragging_ = false;
  int32_t logJob_ = 0;      // the job whose log the pane shows; 0 the main log
  int32_t pendingLog_ = 0;  // what the switch timer will show

  // Job identifiers behind cmJobMenuFirst.. of the menu last built.
  std::vector<int32_t> menuJobs_;

  bool starting_ = false;
  bool exiting_ = false;
  bool exitPending_ = false;
  bool inLoop_ = false;
  bool exitNow_ = false;
  bool sessionSaved_ = false;
  // The program's window ends the message loop; a test's does not.
  bool quitOnDestroy_ = false;
  // Commands under way (each may run a dialog with its own message loop).
  int busy_ = 0;
};

// The main window of the process, while it exists.
TfOrvane* MainForm();

// The program: one instance per user; a second start brings the first
// forward and ends.
int OrvaneMain(HINSTANCE inst);
