// The engine of "Create File List": its settings block, the date filter
// and the search that gathers the list. The dialog and the step are in
// uFileList.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "OVClock.h"
#include "OVPluginBlock.h"

struct TDateFilter {
  bool AllFiles = true;
  // 1 between two dates, 2 during the previous N months, 3 during the
  // previous N days, 4 older than N months, 5 older than N days.
  uint32_t Kind = 1;
  TDateTime Date1 = 0, Date2 = 0;
  uint32_t N = 1;

  // fileDay and today are whole days.
  bool Accepts(TDateTime fileDay, TDateTime today) const;
};

struct TFileListSettings {
  std::string Files;  // one file pattern to search per line
  std::string ExcMask;
  bool SubDirs = true;
  std::string DestFile;
  TDateFilter Filter;
  bool WithoutPath = false;
  bool Before = false, After = false, BeforeLine = false, AfterLine = false;
  std::string TextBefore, TextAfter, LinePrefix, LineSuffix;
};

// Empty block: the defaults (files are left empty; the dialog offers the
// Windows folder's *.bak). False when the block ends inside an element.
bool ReadFileListSettings(const TOVMethodParams& params, TFileListSettings& s);
void WriteFileListSettings(const TFileListSettings& s, TBlockWriter& w);

// Whole months from the earlier to the later day: the calendar difference
// in years, months and days, with 21 or more remaining days counting as
// one more month.
int MonthsBetween(TDateTime a, TDateTime b);
// today - fileDay + 1, never below 0.
int DaysBetween(TDateTime fileDay, TDateTime today);

// Gathers the list of files that the expanded settings name: sorted
// without regard to case (by character code), each file once, never
// `ownFile` (the list's own output). Specifications that are not full
// paths are refused through `refuse` and contribute nothing.
std::vector<std::string> SearchFileList(const std::vector<std::string>& specs, const std::vector<std::string>& excludes,
                                        bool subDirs, const TDateFilter& filter, TDateTime today,
                                        const std::string& ownFile,
                                        const std::function<void(const std::string& spec)>& refuse);

// The lines of the list file: text before, the decorated entries, text
// after (texts whose flag is off left out).
std::vector<std::string> DecorateFileList(const std::vector<std::string>& files, const TFileListSettings& s);
