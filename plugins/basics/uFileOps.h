// "Copy/Move a file(s)" (action 2), "Delete a file(s)" (3), "Print a
// document(s)" (10) and "Rename file(s)" (14): their settings blocks and
// dialogs.
#pragma once

#define IDD_COPYFILES 1200
#define IDC_lCopyFiles 1201
#define IDC_mCopyFiles 1202
#define IDC_bCopySelectFiles 1203
#define IDC_lDestDir 1204
#define IDC_eDestDir 1205
#define IDC_bBrowseDestDir 1206
#define IDC_gIfFileExists 1207
#define IDC_rbOverwrite 1208
#define IDC_rbRename 1209
#define IDC_cbMove 1210
#define IDC_cbCopyRecurse 1211
#define IDC_bCopyVariable 1212

#define IDD_DELETEFILES 1300
#define IDC_lDeleteFiles 1301
#define IDC_mDeleteFiles 1302
#define IDC_bDeleteSelectFiles 1303
#define IDC_cbDeleteRecurse 1304
#define IDC_cbDeleteDirs 1305
#define IDC_cbToRecycleBin 1306
#define IDC_bDeleteVariable 1307

#define IDD_PRINTDOC 2000
#define IDC_lPrintFiles 2001
#define IDC_mPrintFiles 2002
#define IDC_bPrintSelectFiles 2003
#define IDC_bPrintVariable 2004

#define IDD_RENAMEFILES 2400
#define IDC_lRenameFiles 2401
#define IDC_mRenameFiles 2402
#define IDC_bRenameSelectFiles 2403
#define IDC_lMask 2404
#define IDC_eMask 2405
#define IDC_cbRenameRecurse 2406
#define IDC_bRenameVariable 2407

#ifndef RC_INVOKED
#include <windows.h>

#include <cstdint>
#include <string>

#include "OVPlugin.h"

struct TCopySettings {
  std::string Files;  // lines joined by CR LF
  std::string DestDir;
  uint32_t IfFileExists = 1;  // 0 overwrite, 1 rename
  bool Move = false;
  bool Recurse = false;
};
struct TDeleteSettings {
  std::string Files;
  bool Recurse = false;
  bool DeleteDirs = false;
  bool ToRecycleBin = true;
};
struct TRenameSettings {
  std::string Files;  // the dialog starts with the temporary folder and "*.*"
  std::string Mask = "*.*.old";
  bool Recurse = false;
};
struct TPrintSettings {
  std::string Files;
};

// The blocks as the dialogs write them (every element, tails included).
void WriteCopySettings(const TCopySettings& s, TBlockWriter& w);
void WriteDeleteSettings(const TDeleteSettings& s, TBlockWriter& w);
void WriteRenameSettings(const TRenameSettings& s, TBlockWriter& w);
void WritePrintSettings(const TPrintSettings& s, TBlockWriter& w);

TMethodCase CopyFilesCase();   // 2
TMethodCase DeleteFilesCase(); // 3
TMethodCase PrintDocCase();    // 10
TMethodCase RenameFilesCase(); // 14
#endif
