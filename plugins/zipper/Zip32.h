// The archive plug-in's side of zip32.dll: the process-wide archive turn,
// the options record built from a step's settings, and the result texts.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zip32.h"

// The settings of "Create/update zip-archive", as its block stores them.
struct TZipSettings {
  std::string Files;  // lines separated by CR LF
  std::string DestFile;
  std::string Comment = "[%DateTime%, %DayOfWeek%]\r\nArchived by Orvane";
  uint8_t Action = 0;  // 0 add, 1 freshen, 2 move, 3 update
  uint8_t Level = 1;   // 0 maximum .. 4 none
  bool DosFormat = false;
  bool IncludeSubDirs = false;
  bool SaveExtra = false;
  bool IncSysAndHidden = false;
  bool JunkDirNames = false;
};

enum { zaAdd = 0, zaFreshen = 1, zaMove = 2, zaUpdate = 3 };

// The compression index's level character: "9", "6", "4", "2", "0".
char LevelChar(uint8_t level);

// The folder of a file name without its final backslash; a root folder
// ("C:\") keeps it.
std::string ArchiveRoot(const std::string& destFile);

// The options record of a step: zero-filled, then the fields its settings
// name. False (record untouched past its end) when the root folder does not
// fit its field.
bool BuildZipOptions(const TZipSettings& s, uint8_t action, const std::string& root, TZipOptions& o);

// "No errors or warnings detected." ... "Unknown error #<code>".
std::string ZipResultText(int code);

// Archiving runs one step at a time in the process. The turn is a mutex:
// a thread that ends while holding it (a job killed mid-archive) hands it
// on to the next waiter instead of blocking every later step.
class TArchiveTurn {
 public:
  TArchiveTurn();
  ~TArchiveTurn();
  TArchiveTurn(const TArchiveTurn&) = delete;
  TArchiveTurn& operator=(const TArchiveTurn&) = delete;
};

// The comment callback's text for the step that holds the turn.
void SetArchiveComment(const std::string& comment);
// The callbacks handed to ZpInit.
TZipUserFunctions* ZipCallbacks();
