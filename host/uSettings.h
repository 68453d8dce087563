// The program's settings and where they are kept: the settings store in
// the registry, the directories, the automatic-logon values, the
// start-with-Windows entry, the job categories in "cats.ini", and the
// hot-track rule for lists and trees.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "RegistryStorage.h"

struct TSettings {
  bool MinimizeOnRun = false;
  bool ShowErrors = false;
  bool WinStartup = true;
  std::string Filter = "All files|*.*|";
  bool ViewLog = true;
  int32_t Top = -1;
  int32_t Left = -1;
  int32_t Width = -1;
  int32_t Height = -1;
  bool HotTrack = false;
  bool HandPoint = true;
  bool UnderlineCold = false;
  bool UnderlineHot = true;
  int32_t LogHeight = -1;
  int32_t MaxLogSize = 200;
  bool CloseAsMinimize = true;
  bool EnableAutomation = true;
  int32_t TabIndex = 0;  // category number of the selected tab
  // The Jobs and Logs directories of this run, with a trailing backslash.
  std::string JobDir;
  std::string LogDir;
  // The Jobs and Logs directories as the preferences edit them: stored as
  // "JobDir" and "LogDir", they take effect at the next start. Empty means
  // the default; a relative path is taken under the program folder.
  std::string PendingJobDir;
  std::string PendingLogDir;
  // Colours: red in the low byte; the high bit names a system colour.
  uint32_t clrInfo1Font = 0x008000;
  uint32_t clrInfo2Font = 0x800000;
  uint32_t clrWarningFont = 0x00FFFF;
  uint32_t clrErrorFont = 0x00FFFF;
  uint32_t clrInfo1Back = 0x80000005;
  uint32_t clrInfo2Back = 0x80000005;
  uint32_t clrWarningBack = 0x008080;
  uint32_t clrErrorBack = 0x000080;
};

// The one settings object of the process.
extern TSettings Settings;

// Registry keys (before the redirection of RegistryLocation).
extern const char kSettingsKey[];  // HKCU: the settings store
extern const char kProgramKey[];   // HKCU: "Path"
extern const char kRunKey[];       // HKCU: start with Windows
extern const char kRunValue[];     // "Orvane"
std::string WinlogonKey();         // HKLM, in the system's (64-bit) view

// ---------------------------------------------------------------- settings

// The settings store bound to one TSettings. "JobDir" and "LogDir" are
// read into and written from the pending directories.
class TSettingsStore {
 public:
  explicit TSettingsStore(TSettings& s);
  TRegistryStorage& Storage() { return store_; }
  // Reads what is stored, then settles the directories: JobDir and LogDir
  // become the directories of this run and are created. Returns the
  // problems met, as texts for the main log.
  std::vector<std::string> Load();
  // Writes every setting in order (the pending directories as stored,
  // with a trailing backslash). False with the first failure in *error.
  bool Save(std::string* error = nullptr);

 private:
  TSettings& s_;
  TRegistryStorage store_;
  std::string jobDir_, logDir_;
};

// A stored "JobDir" or "LogDir" made the directory of this run: empty is
// program folder + sub + "\", a relative path is taken under the program
// folder. The directory is created with its parents; one that cannot be
// created gives the default and a problem text.
std::string SettleDirectory(const std::string& stored, const std::string& sub,
                            std::vector<std::string>* problems);

// Start-up, before the main log opens: the settings and the automatic-logon
// values are read and the directories settled. Returns the problems to log.
std::vector<std::string> LoadSettings();
bool SettingsLoaded();
// Preferences confirmed and exit: the settings, the start-with-Windows
// entry, "Path" and the user variables. Nothing is written before the
// settings were loaded. Every part is attempted; false with the first
// failure in *error.
bool SaveSettings(std::string* error = nullptr);
// Writes one setting at once (automation switched by a job, which may be
// about to shut the computer down).
bool SaveSetting(const std::string& name, std::string* error = nullptr);

// Start with Windows: the Run value "Orvane" holds the quoted program path,
// or is removed (its key is never created for that). "Path" under
// kProgramKey gets the program path.
bool SaveStartup(bool winStartup, std::string* error = nullptr);
// The program's own path, as the Run entry and "Path" name it.
std::string ProgramPath();

// -------------------------------------------------------- automatic logon

struct TAutoLogon {
  std::string AutoAdminLogon;  // "1" when on
  std::string DefaultUserName;
  std::string DefaultPassword;
  bool Enabled() const { return AutoAdminLogon == "1"; }
};

// The values as read at start-up (or by LoadAutoLogon) and as last written.
const TAutoLogon& AutoLogon();
void LoadAutoLogon();
// Writes only the values that differ from AutoLogon(): a save with nothing
// changed leaves what other tools set alone. Turning automatic logon off
// (or changing the password while it is off) deletes "DefaultPassword"
// instead of storing it. False, with the value's name and the system's
// reason in *error (never the password), when a write fails.
bool SaveAutoLogon(const TAutoLogon& chosen, std::string* error);

// ------------------------------------------------------------- categories

struct TCategory {
  std::string Name;
  int32_t Number;
};

bool operator==(const TCategory& a, const TCategory& b);

// The categories, in tab order. Entry 0 is always ("All Jobs", 0) and is
// never stored. Process-wide: the job editor and the preferences use it
// before the main window exists.
class TCategories {
 public:
  TCategories();
  int Count() const { return static_cast<int>(items_.size()); }
  const TCategory& Items(int index) const { return items_.at(static_cast<size_t>(index)); }
  // Position of a category number; -1 when there is none.
  int IndexOf(int32_t number) const;
  // The categories after "All Jobs".
  std::vector<TCategory> UserCategories() const;
  // Replaces the categories after "All Jobs".
  void Assign(const std::vector<TCategory>& categories);
  // A random number from 1 to 2,147,483,646 that no category has yet.
  int32_t NewNumber() const;

  // Reads "cats.ini"; returns warnings for the entries it skipped. A
  // missing file gives "All Jobs" alone.
  std::vector<std::string> LoadFromFile(const std::string& path);
  // Writes "cats.ini" whole through a temporary file, so that a crash
  // leaves the old file or the new one. Raises EOVError on failure.
  void SaveToFile(const std::string& path) const;

 private:
  std::vector<TCategory> items_;
};

extern TCategories Categories;
extern const char kCategoriesFile[];  // "cats.ini"

// "cats.ini" in the Jobs directory of this run: read at start-up (warnings
// go to the main log), written at exit and whenever the preferences change
// the categories. With no categories and no file, no file is made.
std::vector<std::string> LoadCategories();
bool SaveCategories(std::string* error = nullptr);

// -------------------------------------------------------------- hot track

// Applies "HotTrack" and its styles to a list view or a tree view. With hot
// tracking off every hot-track style is cleared.
void ApplyHotTrackToList(HWND listView, const TSettings& s = Settings);
void ApplyHotTrackToTree(HWND treeView, const TSettings& s = Settings);
// Whether a notification (NM_CLICK, NM_DBLCLK) of such a control activates
// its item: a single click with hot tracking, a double click without.
bool IsActivation(UINT notifyCode, const TSettings& s = Settings);
