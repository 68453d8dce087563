// "Run other Job" (action 5).
#pragma once

#define IDD_SELECTJOB 1500
#define IDC_lJobs 1501
#define IDC_cbJobs 1502
#define IDC_cbJobWait 1503

