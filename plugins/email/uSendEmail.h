// "Send Message" (action 0): its settings block, dialog and execution.
#pragma once

#define IDD_SENDEMAIL 1000
#define IDC_lMsg 1001
#define IDC_eMsg 1002
#define IDC_lHost 1003
#define IDC_eHost 1004
#define IDC_lUserID 1005
#define IDC_eUserID 1006
#define IDC_lFrom 1007
#define IDC_eFrom 1008
#define IDC_lTo 1009
#define IDC_eTo 1010
#define IDC_lCC 1011
#define IDC_eCC 1012
#define IDC_lSubject 1013
#define IDC_eSubject 1014
#define IDC_bAttachments 1015
#define IDC_bVariable 1016

#ifndef RC_INVOKED
#include <string>

#include "OVTypes.h"

// The eight texts of the block, in their stored order.
struct TSendEmailSettings {
  std::string Host;
  std::string UserID;
  std::string From = "sender@example.com";
  std::string To;  // entries separated by commas or blanks
  std::string CC;
  std::string Subject = "Enter subject";
  std::string Body = "Enter message body";  // lines separated by CR LF
  std::string Attachments;                  // files or patterns, one a line
};

// An empty block leaves the defaults; false when the block ends early.
bool ReadSendEmail(const TOVMethodParams& params, TSendEmailSettings& s);
bool StoreSendEmail(const TSendEmailSettings& s, TOVMethodParams& params);
#endif
