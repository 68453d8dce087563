// The filter editor "Filter Editor": the picker's filter list as a grid of
// 20 rows of display name and mask.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "OVDialog.h"

constexpr int kFilterRows = 20;

// A filter list "Name|mask|Name|mask|" cut into its pairs: pieces end at
// each "|", a last piece without one is the rest of the text; a name
// without a mask pairs with "".
std::vector<std::pair<std::string, std::string>> SplitFilters(const std::string& filters);
// The rows with both name and mask non-empty, each as "name|mask|".
std::string JoinFilters(const std::vector<std::pair<std::string, std::string>>& rows);

class TfEditFilters : public OVDialog {
 public:
  explicit TfEditFilters(const std::string& filters);
  // After OK: the new filter list.
  const std::string& Filters() const { return filters_; }

 protected:
  bool OnInit() override;
  bool OnCommand(int id, int code, HWND control) override;
  void OnOK() override;

 private:
  std::string filters_;
};

// Opens the editor on a filter list; true and the new list on OK.
bool EditFilters(HWND owner, std::string& filters);
