// The key language of "Send Keys" and the code that sends it.
//
// ParseKeys turns a key text into a list of key events without touching
// the system; TKeySender plays such a list into the window it activates.
// Tests check the events and the sender apart.
//
//   +  ^  %      Shift, Ctrl, Alt for the next key (or the group)
//   ( )          a group: the modifiers stay down until ")"
//   ~            Enter
//   {NAME n}     a named key (or one character) n times; {DELAY n} waits
//   {{} {}}      the braces themselves
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct TKeyEvent {
  enum TKind : uint8_t {
    Down,   // key pressed
    Up,     // key released
    Delay,  // wait Ms milliseconds
    Next,   // a new character of the text begins (the fixed target is checked here)
    Error,  // a line for the log (level 2); the text goes on
    Fail    // the text cannot go on: log Text and fail
  };
  TKind Kind = Down;
  uint8_t Key = 0;        // virtual-key code (Down, Up)
  bool Extended = false;  // sent with the extended-key flag
  wchar_t Char = 0;       // non-zero: a character the layout has no key for, sent as itself
  uint32_t Ms = 0;
  std::string Text;
};

// How the keyboard layout types a character: the VkKeyScan answer (key in
// the low byte, 1 Shift, 2 Ctrl, 4 Alt in the high byte; -1 none).
using TLayoutLookup = std::function<int16_t(char c)>;
// The system's layout. Printable ASCII characters that it has no key for
// (Wine's table lacks some) are sent as characters instead of being refused.
int16_t SystemLayoutLookup(char c);

// Repeat counts and delays are capped so that a typing slip cannot hold a
// job for days.
constexpr int kMaxKeyRepeat = 10000;
constexpr uint32_t kMaxKeyDelayMs = 600000;
// Key names are at most this long; a longer one is an invalid name.
constexpr size_t kMaxKeyName = 20;

// The events of a key text. Every path ends with Shift, Ctrl and Alt
// released, a failing one too.
std::vector<TKeyEvent> ParseKeys(const std::string& keys, const TLayoutLookup& layout = SystemLayoutLookup);

// The virtual key of a name of the key table (upper case), 0 when none.
uint8_t KeyOfName(const std::string& name);
bool IsExtendedKey(uint8_t key);

// The stored memo text as the sender reads it: lines joined with "~".
std::string JoinKeyLines(const std::string& text);

// Key combinations as key text, from the word the key-combination dialog
// reads (ShortCut.h): Ctrl+Shift+F5 gives "^(+({F5}))"; "" for a key the
// language has no name for.
std::string KeyCombinationText(uint16_t shortCut);

// Plays events into a window found by part of its title (or the active
// window when the caption is empty).
class TKeySender {
 public:
  using TLog = std::function<void(const std::string& text)>;
  TKeySender(std::string caption, bool fixed, bool exact, bool wait, TLog log);
  ~TKeySender();

  // False when the text failed (unclosed name), when no visible window
  // matches, or when a fixed target cannot be brought back to the front.
  bool Send(const std::vector<TKeyEvent>& events);

  // The matching window: visible top-level windows in the system's order,
  // at most 1000; the title (lower case) contains the caption part (or
  // equals it when exact).
  static HWND FindTarget(const std::string& caption, bool exact);

 private:
  bool Activate(bool first);
  bool TargetStillInFront();
  void Press(uint8_t key, bool down, bool extended, wchar_t ch);
  void ReleaseModifiers();
  void Pump();
  void Settle();
  void Wait(uint32_t ms);

  std::string caption_;
  bool fixed_;
  bool exact_;
  bool wait_;
  TLog log_;
  HWND target_ = nullptr;
  bool held_[3] = {false, false, false};
};
