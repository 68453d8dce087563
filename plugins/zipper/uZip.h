// "Create/update zip-archive" (action 0): its block, dialog and step.
#pragma once

#define IDD_ZIP 1000
#define IDC_lFiles 1001
#define IDC_lbFiles 1002
#define IDC_bSelectFiles 1003
#define IDC_lDestFile 1004
#define IDC_eDestFile 1005
#define IDC_bSelectDest 1006
#define IDC_bComment 1007
#define IDC_lAction 1008
#define IDC_cbAction 1009
#define IDC_lCompressLevel 1010
#define IDC_cbCompressLevel 1011
#define IDC_cbDosFormat 1012
#define IDC_gFolders 1013
#define IDC_cbIncludeSubDirs 1014
#define IDC_cbSaveExtra 1015
#define IDC_cbIncSysAndHidden 1016
#define IDC_cbJunkDirNames 1017
#define IDC_bVariable 1018

#ifndef RC_INVOKED
#include "OVPlugin.h"
#include "Zip32.h"

// Three strings, two bytes, five booleans. False when the block ends
// early (the settings keep their defaults from there on).
bool ReadZipSettings(const TOVMethodParams& params, TZipSettings& s);
bool StoreZipSettings(const TZipSettings& s, TOVMethodParams& params);

TMethodCase ZipCase();
#endif
