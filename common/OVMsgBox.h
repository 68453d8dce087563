// Every confirmation and information box of a module goes through
// OVMessageBox, so that a test can answer it and record what was asked.
#pragma once

#include <windows.h>

#include <string>

// A responder answers instead of the real box: it receives what the box
// would show and returns the button id (IDYES, IDNO, IDOK, ...).
using TMsgBoxResponder = int (*)(HWND owner, const char* text,
                                 const char* caption, UINT type);

// Installs a responder for this module (nullptr: real boxes again).
void SetMsgBoxResponder(TMsgBoxResponder responder);

int OVMessageBox(HWND owner, const std::string& text,
                 const std::string& caption, UINT type);

// The information box of the program ("Orvane", information icon, OK).
void ShowInfo(HWND owner, const std::string& text);
// The error box ("Orvane", stop icon, OK).
void ShowError(HWND owner, const std::string& text);
// A Yes/No confirmation; true for Yes.
bool Confirm(HWND owner, const std::string& text);
