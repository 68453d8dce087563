// Control ids of the upload and download dialogs (the same on both).
#pragma once

#define IDC_lFiles 1001
#define IDC_lbFiles 1002
#define IDC_bFiles 1003
#define IDC_lDir 1004
#define IDC_eDir 1005
#define IDC_bDir 1006
#define IDC_gConnection 1007
#define IDC_lHost 1008
#define IDC_eHost 1009
#define IDC_lPort 1010
#define IDC_ePort 1011
#define IDC_udPort 1012
#define IDC_gAuthentication 1013
#define IDC_lUserID 1014
#define IDC_eUserID 1015
#define IDC_lPassword 1016
#define IDC_ePassword 1017
#define IDC_gProxy 1018
#define IDC_cbUseProxy 1019
#define IDC_lProxy 1020
#define IDC_eProxy 1021
#define IDC_lProxyPort 1022
#define IDC_eProxyPort 1023
#define IDC_udProxyPort 1024
#define IDC_bVariable 1025
