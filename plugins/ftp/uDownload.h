// "FTP Download" (action 1): its dialog template.
#pragma once
#include "FtpSteps.h"
#define IDD_FTPDOWNLOAD 1100

#ifndef RC_INVOKED
#include <string>
// A name from a server's listing that may be used as a local file name as
// it is: no path, no drive, no control or wildcard characters, not "." or
// "..", no device name.
bool PlainFileName(const std::string& name);
#endif
