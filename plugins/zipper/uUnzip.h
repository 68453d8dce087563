// "Extract files from zip-archive" (action 1): its block, dialog and step.
#pragma once

#define IDD_UNZIP 1200
#define IDC_lFileToUnzip 1201
#define IDC_eFileToUnzip 1202
#define IDC_bSelectZip 1203
#define IDC_lDestDir 1204
#define IDC_eDestDir 1205
#define IDC_bSelectDir 1206
#define IDC_cbOverwrite 1207
#define IDC_cbSkipOlder 1208
#define IDC_cbUseFolderNames 1209
#define IDC_bUnzipVariable 1210

#ifndef RC_INVOKED
#include "OVPlugin.h"
#include "UnZip32.h"

// Two strings, three booleans.
bool ReadUnzipSettings(const TOVMethodParams& params, TUnzipSettings& s);
bool StoreUnzipSettings(const TUnzipSettings& s, TOVMethodParams& params);

TMethodCase UnzipCase();
#endif
