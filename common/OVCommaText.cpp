#include "OVCommaText.h"

namespace {

bool IsBlank(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return u >= 1 && u <= 32;
}

bool NeedsQuotes(const std::string& item) {
  if (item.empty()) return true;
  for (char c : item)
    if (IsBlank(c) || c == ',' || c == '"') return true;
  return false;
}

}  // namespace

std::vector<std::string> SplitCommaText(const std::string& text) {
  std::vector<std::string> items;
  // A zero character ends the text, as it does for the zero-terminated
  // texts this rule was made for.
  size_t end = text.find('\0');
  if (end == std::string::npos) end = text.size();
  size_t i = 0;
  while (i < end && IsBlank(text[i])) ++i;
  while (i < end) {
    std::string item;
    if (text[i] == '"') {
      ++i;
      while (i < end) {
        if (text[i] == '"') {
          if (i + 1 < end && text[i + 1] == '"') {
            item += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        item += text[i++];
      }
    } else {
      while (i < end && text[i] != ',' && !IsBlank(text[i])) item += text[i++];
    }
    items.push_back(item);
    while (i < end && IsBlank(text[i])) ++i;
    if (i < end && text[i] == ',') {
      ++i;
      while (i < end && IsBlank(text[i])) ++i;
    }
  }
  return items;
}

std::string JoinCommaText(const std::vector<std::string>& items) {
  std::string out;
  for (size_t n = 0; n < items.size(); ++n) {
    if (n) out += ',';
    const std::string& item = items[n];
    if (!NeedsQuotes(item)) {
      out += item;
      continue;
    }
    out += '"';
    for (char c : item) {
      if (c == '"') out += '"';
      out += c;
    }
    out += '"';
  }
  return out;
}
