// "HTTP Download" (action 2): its dialog template, the FTP download's
// layout with a proxy instead of a firewall.
#pragma once
#include "FtpSteps.h"
#define IDD_HTTPDOWNLOAD 1200
