// Top-level windows found by their title, and the part every configuration
// dialog of the plug-in shares: the title combo box with the titles of the
// desktop's windows and the exact-match check box.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "OVDialog.h"
#include "OVPluginBlock.h"

// Match modes as the blocks store them.
constexpr uint8_t kPartMatch = 0;
constexpr uint8_t kExactMatch = 1;

// At most this many windows are looked at by one lookup: the first
// top-level window and 1000 that follow it.
constexpr int kMaxWindowsLooked = 1001;

// Lower-cases A to Z; every other character stays as it is.
std::string LowerAscii(std::string text);

// Whether a window's title matches text: part match, the title contains
// text; exact match, both are equal; both ignoring the case of A to Z. Any
// other mode matches nothing, and so does an empty text: a step whose
// title was never set must not act on whatever window comes first.
bool TitleMatches(const std::string& title, const std::string& text, uint8_t mode);

// The title of a window, at most maxChars characters.
std::string WindowTitle(HWND wnd, int maxChars = 255);

// The first top-level window, in the desktop's order, whose title matches;
// hidden windows count like visible ones. nullptr when none does.
HWND FindWindowByTitle(const std::string& text, uint8_t mode);

// The titles of all top-level windows that have one.
std::vector<std::string> TopLevelTitles();

// The title and match mode at the start of every block of the plug-in.
struct TWindowSpec {
  std::string Title;
  uint8_t Match = kPartMatch;
};
bool ReadWindowSpec(TBlockReader& r, TWindowSpec& spec);
void WriteWindowSpec(TBlockWriter& w, const TWindowSpec& spec);

// A configuration dialog with the title combo box (its list refilled from
// the desktop each time it opens), the exact-match check box and, where the
// dialog has one, the "%V%" button, which replaces the title with the
// chosen variable reference.
class TWindowTitleDialog : public OVDialog {
 public:
  struct TIds {
    int Combo;
    int Exact;
    int Variable;  // 0: no "%V%" button
  };
  TWindowTitleDialog(int templateId, TIds ids) : OVDialog(templateId), ids_(ids) {}

  TWindowSpec Spec;

 protected:
  bool OnInit() override;
  bool OnCommand(int id, int code, HWND control) override;
  // The controls' title and mode into Spec.
  void TakeSpec();

 private:
  void RefillTitles();
  TIds ids_;
};
