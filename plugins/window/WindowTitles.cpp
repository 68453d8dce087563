#include "WindowTitles.h"

#include "OVPluginHost.h"

std::string LowerAscii(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

bool TitleMatches(const std::string& title, const std::string& text, uint8_t mode) {
  if (text.empty()) return false;
  switch (mode) {
    case kPartMatch:
      return LowerAscii(title).find(LowerAscii(text)) != std::string::npos;
    case kExactMatch:
      return LowerAscii(title) == LowerAscii(text);
    default:
      return false;
  }
}

std::string WindowTitle(HWND wnd, int maxChars) {
  std::string buffer(static_cast<size_t>(maxChars) + 1, '\0');
  int n = GetWindowTextA(wnd, buffer.data(), maxChars + 1);
  buffer.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return buffer;
}

namespace {

struct TLookup {
  const std::string& text;
  uint8_t mode;
  int looked;
  HWND found;
};

BOOL CALLBACK LookAt(HWND wnd, LPARAM lp) {
  auto* l = reinterpret_cast<TLookup*>(lp);
  if (l->looked++ == kMaxWindowsLooked) return FALSE;
  if (!TitleMatches(WindowTitle(wnd), l->text, l->mode)) return TRUE;
  l->found = wnd;
  return FALSE;
}

BOOL CALLBACK CollectTitle(HWND wnd, LPARAM lp) {
  auto* titles = reinterpret_cast<std::vector<std::string>*>(lp);
  std::string title = WindowTitle(wnd);
  if (!title.empty()) titles->push_back(title);
  return TRUE;
}

}  // namespace

// The windows are taken from a list made when the lookup starts: walking
// from one window to the next while windows come, go and change places
// (a window brought to the front moves to the top) skips some of them.
HWND FindWindowByTitle(const std::string& text, uint8_t mode) {
  if (text.empty() || (mode != kPartMatch && mode != kExactMatch)) return nullptr;
  TLookup lookup{text, mode, 0, nullptr};
  EnumWindows(LookAt, reinterpret_cast<LPARAM>(&lookup));
  return lookup.found;
}

std::vector<std::string> TopLevelTitles() {
  std::vector<std::string> titles;
  EnumWindows(CollectTitle, reinterpret_cast<LPARAM>(&titles));
  return titles;
}

bool ReadWindowSpec(TBlockReader& r, TWindowSpec& spec) { return r.String(spec.Title) && r.Byte(spec.Match); }

void WriteWindowSpec(TBlockWriter& w, const TWindowSpec& spec) { w.String(spec.Title).Byte(spec.Match); }

bool TWindowTitleDialog::OnInit() {
  SetItemText(ids_.Combo, Spec.Title);
  SetChecked(ids_.Exact, Spec.Match != kPartMatch);
  return true;
}

bool TWindowTitleDialog::OnCommand(int id, int code, HWND) {
  if (id == ids_.Combo && code == CBN_DROPDOWN) {
    RefillTitles();
    return true;
  }
  if (ids_.Variable && id == ids_.Variable && code == BN_CLICKED) {
    std::string ref = HostSelectVariable();
    if (!ref.empty()) SetItemText(ids_.Combo, ref);
    Focus(ids_.Combo);
    return true;
  }
  return false;
}

void TWindowTitleDialog::TakeSpec() {
  Spec.Title = GetItemText(ids_.Combo);
  Spec.Match = IsChecked(ids_.Exact) ? kExactMatch : kPartMatch;
}

void TWindowTitleDialog::RefillTitles() {
  // Emptying the list empties the edit part too: what the user typed stays.
  std::string typed = GetItemText(ids_.Combo);
  ComboClear(ids_.Combo);
  for (const std::string& title : TopLevelTitles()) ComboAdd(ids_.Combo, title);
  SetItemText(ids_.Combo, typed);
}
