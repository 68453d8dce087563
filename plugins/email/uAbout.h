// The plug-in's about box.
#pragma once

#define IDD_ABOUTBOX 100
#define IDC_ABOUT_PRODUCT 101
#define IDC_ABOUT_VERSION 102
#define IDC_ABOUT_TITLE 103

#ifndef RC_INVOKED
#include <string>

// Shows the about box of the plug-in with that title, modally.
void ShowAboutBox(const std::string& title);
#endif
