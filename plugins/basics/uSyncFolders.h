// "Synchronize a folders" (action 4): settings block and dialog.
#pragma once

#define IDD_SYNCFOLDERS 1400
#define IDC_lFolder1 1401
#define IDC_eFolder1 1402
#define IDC_bSelectFolder1 1403
#define IDC_lFolder2 1404
#define IDC_eFolder2 1405
#define IDC_eSelectFolder2 1406
#define IDC_Button1 1407
#define IDC_lIncludeMask 1408
#define IDC_eIncludeMask 1409
#define IDC_lExcludeMask 1410
#define IDC_eExcludeMask 1411
#define IDC_cbSubDir 1412
#define IDC_gHowSync 1413
#define IDC_rbBothWays 1414
#define IDC_rbOneWay 1415
#define IDC_cbExactCopy 1416
#define IDC_bSyncVariable 1417

#ifndef RC_INVOKED
#include <cstdint>
#include <string>

#include "OVPlugin.h"

struct TSyncBlock {
  std::string Folder1, Folder2;
  std::string IncludeMasks = "*.*";
  std::string ExcludeMasks;
  bool SubFolders = false;
  bool ExactCopy = false;
  uint32_t Direction = 0;
};
void WriteSyncSettings(const TSyncBlock& s, TBlockWriter& w);

// The warning that checking "Exact copy in Folder 2" shows.
extern const char* const kExactCopyWarning;

TMethodCase SyncFoldersCase();  // 4
#endif
