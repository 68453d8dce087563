#include "OVFileMask.h"

#include <windows.h>

namespace {

std::string Lower(std::string s) {
  if (!s.empty()) CharLowerBuffA(s.data(), static_cast<DWORD>(s.size()));
  return s;
}

// "*" any run, "?" any one character; both texts already lower case. One
// back-tracking point, at the last "*", is enough.
bool Wild(const char* mask, const char* text) {
  const char* star = nullptr;
  const char* resume = nullptr;
  while (*text) {
    if (*mask == '*') {
      star = mask++;
      resume = text;
    } else if (*mask == '?' || *mask == *text) {
      ++mask;
      ++text;
    } else if (star) {
      mask = star + 1;
      text = ++resume;
    } else {
      return false;
    }
  }
  while (*mask == '*') ++mask;
  return *mask == 0;
}

void SplitName(const std::string& name, std::string& base, std::string& ext) {
  size_t dot = name.rfind('.');
  if (dot == std::string::npos) {
    base = name;
    ext = ".";
  } else {
    base.assign(name, 0, dot);
    ext.assign(name, dot, std::string::npos);
  }
}

}  // namespace

bool FileMaskMatch(const std::string& mask, const std::string& name) {
  std::string mb, me, nb, ne;
  SplitName(Lower(mask), mb, me);
  SplitName(Lower(name), nb, ne);
  return Wild(mb.c_str(), nb.c_str()) && Wild(me.c_str(), ne.c_str());
}
