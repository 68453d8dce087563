#pragma once

#include <string>
#include <vector>

#include "OVClock.h"
#include "VarList.h"

// The texts of the main log's lines, time stamps removed.
std::vector<std::string> MainLogTexts();
void ClearMainLog();

// A fresh variable table with the built-in variables, fixed regional
// formats and names, and the clock standing at `now`.
void ResetVariables(TDateTime now);
TRegionalSettings TestRegional();

// The host-record service as a plug-in calls it.
std::string HostExpand(const std::string& text, int capacity = 655360);
