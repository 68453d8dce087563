// "Create text file" (action 8).
#pragma once

#define IDD_WRITETEXTFILE 1800
#define IDC_lFileName 1801
#define IDC_eFileName 1802
#define IDC_BrowseTextFile 1803
#define IDC_lContentsTextFile 1804
#define IDC_mContentsTextFile 1805
#define IDC_rgFileExists 1806
#define IDC_rbOverwrite 1807
#define IDC_rbAppend 1808
#define IDC_bTextFileVariable 1809

#ifndef RC_INVOKED
#include <string>
// Adds text at the end of the file (made when missing), after a line
// break when the file does not end with one. The file is never read
// whole nor rewritten.
bool AppendTextToFile(const std::string& name, const std::string& text);
// Replaces the file with text through a new file beside it.
bool ReplaceFileText(const std::string& name, const std::string& text);
#endif
