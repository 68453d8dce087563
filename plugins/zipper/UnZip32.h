// The archive plug-in's side of unzip32.dll: one extraction with the
// library's lines collected for the step's log.
#pragma once

#include <string>
#include <vector>

#include "unzip32.h"

struct TUnzipSettings {
  std::string ZipFile;
  std::string DestDir;
  bool Overwrite = false;
  bool SkipOlder = false;
  bool UseFolderNames = true;
};

// Fills the extraction record of a step. The names must outlive the call.
void BuildUnzipOptions(const TUnzipSettings& s, const std::string& zip, const std::string& dest, TUnzipOptions& o);

// Extracts; the library's result, with its lines (without line ends).
int RunUnzip(const TUnzipSettings& s, const std::string& zip, const std::string& dest,
             std::vector<std::string>& lines);

std::string UnzipResultText(int code);
