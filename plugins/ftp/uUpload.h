// "FTP Upload" (action 0): its dialog template.
#pragma once
#include "FtpSteps.h"
#define IDD_FTPUPLOAD 1000
