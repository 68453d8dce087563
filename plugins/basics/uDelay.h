// "Delay (in ms)" (action 12).
#pragma once

#define IDD_DELAY 2200
#define IDC_lDelay 2201
#define IDC_eDelay 2202
#define IDC_udDelay 2203
#define IDC_lDelayUnit 2204

