// Texts in and out of common controls and the clipboard, shared by the
// host's windows.
#pragma once

#include <windows.h>

#include <string>

// The whole text of one cell of a list view, however long.
std::string ListCell(HWND list, int row, int column);

// Puts the text on the clipboard for the owner window; false if the
// clipboard could not be had.
bool CopyTextToClipboard(HWND owner, const std::string& text);
