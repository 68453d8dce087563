// "FTP Download" (action 1): its dialog template.
#pragma once
#include "FtpSteps.h"
#define IDD_FTPDOWNLOAD 1100

