// The e-mail plug-in ("email"): "Send Message" over SMTP and "Check for
// Mail" on a POP3 mailbox. One unit per action offers its handlers as one
// case that the data module in uDM.cpp lists at the action's index.
//
// Resource ids: the about box 100..199; "Send Message" 1000..1099; "Check
// for Mail" 1100..1199.
#pragma once

#define OV_EMAIL_ID 310186230

#ifndef RC_INVOKED
#include "OVPlugin.h"

TMethodCase SendEmailCase();  // 0 uSendEmail
TMethodCase CheckMailCase();  // 1 uCheckMail
#endif
