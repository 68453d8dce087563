// The main window's rules that need no window: texts of rows and menus,
// the job list's order, where rows may be dropped, the delete question,
// the clipboard form of log lines, and where the window goes at start.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

struct TSettings;
class TOVJob;

// A name shown in a menu or on a tab: "&" is a letter there, not a mnemonic.
std::string DoubleAmpersands(const std::string& text);

// The job list's order: case-insensitive and in the user's locale.
int CompareJobTexts(const std::string& a, const std::string& b);

// "Idle... (On start; On exit; <event>; ...)" from what can start a job;
// "Idle..." alone when nothing can.
std::string IdleText(bool runOnStart, bool runOnExit, const std::vector<std::string>& events);
// The status column of a job's row; event descriptions come from the
// plug-ins that are loaded.
std::string JobStatusText(TOVJob& job);

// Rows may be dropped on a tab other than "All Jobs" (position 0) and other
// than the selected one.
bool CanDropOnTab(int tab, int selectedTab);

// The question before deleting the selected jobs; empty when nothing is
// asked (no row, or the one selected job runs).
std::string DeleteQuestion(int selectedCount, const std::string& firstName, bool firstRunning);

// Log lines as the clipboard gets them: "I: ", "W: ", "E: " or "-: " by the
// line's level, then the text and CR LF.
std::string LogLinesText(const std::vector<std::pair<uint8_t, std::string>>& lines);

// The window's rectangle at start from the stored "Left", "Top", "Width"
// and "Height" (-1: not stored). `screen` is the primary screen, `work` the
// work area of the screen nearest to the stored rectangle, `visible`
// whether the stored rectangle meets any screen. A rectangle that is off
// every screen, or whose size is that of a minimised window, is brought
// back into the work area.
RECT PlaceMainWindow(const TSettings& s, const RECT& screen, const RECT& work, bool visible);

// The colour of a stored colour value: the high bit names a system colour.
COLORREF ResolveColor(uint32_t value);
