// Comma text: the one form in which lists travel as a single text (the
// file-list picker behind SelectFiles, the entries of a user variable).
#pragma once

#include <string>
#include <vector>

// Splits a comma text. Blanks and control characters (codes 1 to 32)
// separate entries as commas do; an entry that starts with a double quote
// runs to the matching closing quote, with two quotes standing for one; two
// commas in a row give an empty entry; an empty or all-blank text gives an
// empty list.
std::vector<std::string> SplitCommaText(const std::string& text);

// Joins a list into comma text that SplitCommaText gives back unchanged:
// entries separated by commas; an entry that is empty or holds a character
// with code 1 to 32, a comma or a double quote goes in double quotes with
// inner quotes doubled.
std::string JoinCommaText(const std::vector<std::string>& items);
