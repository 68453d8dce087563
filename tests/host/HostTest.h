#pragma once

#include <algorithm>
#include <string>
#include <vector>

// The texts of the main log's lines, time stamps removed.
std::vector<std::string> MainLogTexts();
void ClearMainLog();

inline bool Contains(const std::vector<std::string>& v, const std::string& s) {
  return std::find(v.begin(), v.end(), s) != v.end();
}
