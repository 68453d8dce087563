// "FTP Script" (action 3): its settings block, its dialog template and
// control ids.
#pragma once

#define IDD_FTPSCRIPT 1300

#define IDC_tcPages 1301
#define IDC_lHostS 1302
#define IDC_eHostS 1303
#define IDC_lPortS 1304
#define IDC_ePortS 1305
#define IDC_udPortS 1306
#define IDC_cbPassiveMode 1307
#define IDC_gAuthenticationS 1308
#define IDC_cbAsAnonymous 1309
#define IDC_lUsername 1310
#define IDC_eUsername 1311
#define IDC_lPasswordS 1312
#define IDC_ePasswordS 1313
#define IDC_gFirewall 1314
#define IDC_cbUseFirewall 1315
#define IDC_lFireWall 1316
#define IDC_eFireWall 1317
#define IDC_lFWPort 1318
#define IDC_eFWPort 1319
#define IDC_udFWPort 1320
#define IDC_lFWUserName 1321
#define IDC_eFWUserName 1322
#define IDC_lFWPassword 1323
#define IDC_eFWPassword 1324
#define IDC_lCommands 1325
#define IDC_mCommands 1326
#define IDC_cbCommands 1327
#define IDC_bAddCommand 1328
#define IDC_bClear 1329
#define IDC_bOpen 1330
#define IDC_bSaveAs 1331
#define IDC_bCheckSyntax 1332
#define IDC_cbAbortWhenError 1333
#define IDC_bVariableS 1334

#ifndef RC_INVOKED
#include <cstdint>
#include <string>

#include "OVTypes.h"

// The thirteen elements of the block, in their stored order; passwords in
// plain text here, scrambled in the block.
struct TFtpScriptSettings {
  std::string Host = "ftp.example.com";
  uint32_t Port = 21;
  bool Passive = false;
  std::string UserID = "anonymous";
  std::string Password = "guest@example.com";
  bool Anonymous = true;
  std::string FireWall;
  uint32_t FWPort = 21;
  std::string FWUserName;
  std::string FWPassword;
  bool UseFirewall = false;
  bool AbortWhenError = false;
  std::string Script;  // lines separated by CR LF
};

// An empty block leaves the defaults; false when the block ends early.
bool ReadFtpScriptSettings(const TOVMethodParams& params, TFtpScriptSettings& s);
bool StoreFtpScriptSettings(const TFtpScriptSettings& s, TOVMethodParams& params);
#endif
