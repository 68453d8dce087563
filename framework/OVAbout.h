// The about box every plug-in shows: the product, the plug-in's version and
// its title. The dialog template is built into each plug-in.
#pragma once

#define IDD_ABOUTBOX 100
#define IDC_ABOUT_PRODUCT 101
#define IDC_ABOUT_VERSION 102
#define IDC_ABOUT_TITLE 103

#ifndef RC_INVOKED
#include <string>

// Shows the about box modally over the host's window; version is the whole
// text of its line ("Version 1.4").
void ShowAboutBox(const std::string& version, const std::string& title);
#endif
