// "Shutdown Windows/computer" (action 6).
#pragma once

#define IDD_SHUTDOWN 1600
#define IDC_rgHowShutdown 1601
#define IDC_rbShutdown 1602
#define IDC_rbPowerOff 1603
#define IDC_rbReboot 1604
#define IDC_rbLogOff 1605

