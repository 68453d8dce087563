// The Internet plug-in ("ftp"): FTP upload and download, HTTP download and
// FTP scripts. One unit per
// action offers its handlers as one case that the data module in uDM.cpp
// lists at the action's index.
//
// Resource ids: the about box 100..199; the transfer dialogs share their
// control ids (FtpSteps.h) and take dialog ids 1000 (upload), 1100
// (download) and 1200 (HTTP download); the FTP script dialog is 1300.
#pragma once

#define OV_FTP_ID 1865837835

#ifndef RC_INVOKED
#include "OVPlugin.h"

TMethodCase UploadCase();    // 0 uUpload
TMethodCase DownloadCase();      // 1 uDownload
TMethodCase HttpDownloadCase();  // 2 uHTTPDownload
TMethodCase FtpScriptCase();     // 3 uFtpScript
#endif
