// "Check for Mail" (action 1): its settings block, dialog and execution.
#pragma once

#define IDD_CHECKMAIL 1100
#define IDC_lServer 1101
#define IDC_eServer 1102
#define IDC_lUserID2 1103
#define IDC_eUserID2 1104
#define IDC_lPassword 1105
#define IDC_ePassword 1106
#define IDC_rgStopJobIf 1107
#define IDC_rbWaiting 1108
#define IDC_rbNotWaiting 1109

#ifndef RC_INVOKED
#include <cstdint>
#include <string>

#include "OVTypes.h"

// Stop this job if: 0 mail is waiting, 1 no mail is waiting.
enum { ckStopIfWaiting = 0, ckStopIfNotWaiting = 1 };

// The block's elements; the password in plain text here, scrambled in the
// block.
struct TCheckMailSettings {
  std::string Server;
  std::string UserID;
  std::string Password;
  uint32_t StopJobIf = ckStopIfNotWaiting;
};

bool ReadCheckMail(const TOVMethodParams& params, TCheckMailSettings& s);
bool StoreCheckMail(const TCheckMailSettings& s, TOVMethodParams& params);
#endif
