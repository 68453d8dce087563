// "Files Monitor" (trigger 3): runs its job when files appear, disappear
// or change in watched folders.
#pragma once

#define IDD_FILEMON 5300
#define IDC_lvFolders 5301
#define IDC_bAdd 5302
#define IDC_bEdit 5303
#define IDC_bDelete 5304
#define IDC_bClear 5305
#define IDC_eIncMask 5306
#define IDC_eExcMask 5307
#define IDC_cbNew 5308
#define IDC_cbDel 5309
#define IDC_cbChg 5310
#define IDC_cbChgTM 5311
#define IDC_cbChgTL 5312
#define IDC_cbChgSM 5313
#define IDC_cbChgSL 5314
#define IDC_cbChgA 5315
#define IDC_eInterval 5316
#define IDC_udInterval 5317
#define IDC_bVariable 5318
#define IDC_cbSaveResults 5319
#define IDC_rbOneList 5320
#define IDC_rbDiffList 5321
#define IDC_eOneListFN 5322
#define IDC_eNewListFN 5323
#define IDC_eDelListFN 5324
#define IDC_eChgListFN 5325
#define IDC_bOneListFN 5326
#define IDC_bNewListFN 5327
#define IDC_bDelListFN 5328
#define IDC_bChgListFN 5329
#define IDC_lFolders 5330
#define IDC_lIncMask 5331
#define IDC_lExcMask 5332
#define IDC_gFilter 5333
#define IDC_lInterval 5334
#define IDC_gSave 5335
#define IDC_lOneListFN 5336
#define IDC_lNewListFN 5337
#define IDC_lDelListFN 5338
#define IDC_lChgListFN 5339
#define IDM_FOLDERADD 5340
#define IDM_FOLDEREDIT 5341
#define IDM_FOLDERDELETE 5342
#define IDM_FOLDERCLEAR 5343
#define IDC_tcPages 5344

#define IDD_ADDEDITFOLDER 5350
#define IDC_lFolder 5351
#define IDC_eFolder 5352
#define IDC_bBrowseFolder 5353
#define IDC_cbSubtree 5354
#define IDC_bFolderVariable 5355

#ifndef RC_INVOKED
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FileMonitor.h"
#include "OVPluginBlock.h"

// The settings of one event, as its block holds them (texts unexpanded).
struct TFileMonSettings {
  std::vector<TWatchFolder> Folders;
  std::string IncMask = "*.*";
  std::string ExcMask;
  bool WatchNew = true;
  bool WatchDeleted = true;
  bool WatchChanged = true;
  uint8_t ChangeKinds = ckAll;
  uint32_t Interval = 60;  // seconds, 1..3600
  // The save-results part (absent from the oldest layout).
  bool SaveResults = false;
  bool OneList = true;
  std::string OneListFN, NewListFN, DelListFN, ChgListFN;
};

struct TStoredEntry {
  std::string Path;
  TPackedRecord Record;
};

// A block as read: the settings, where they end (just after the snapshot
// flag), and the stored snapshot when there is one. Complete is false when
// the settings end early; a damaged snapshot is treated as none.
struct TFileMonBlock {
  TFileMonSettings Settings;
  bool Complete = false;
  size_t SettingsEnd = 0;
  bool HasSnapshot = false;
  std::vector<TStoredEntry> Snapshot;
};
TFileMonBlock ReadFileMonBlock(const void* data, int32_t size);
// The settings with the snapshot flag 0 (no snapshot).
void WriteFileMonSettings(const TFileMonSettings& s, TBlockWriter& w);
// The settings part of block (its first settingsEnd bytes) with the
// snapshot flag 1, followed by the snapshot.
void WriteBlockWithSnapshot(const uint8_t* block, size_t settingsEnd, const TFileList& snapshot, TBlockWriter& w);

// The monitors now started, in the order they were started (for tests).
std::vector<std::shared_ptr<TMyRefresh>> StartedFileMonitors();
#endif
