// Key combinations as the General plug-in keeps them: one shortcut word,
// the virtual-key code in the low byte and the modifiers in the high bits.
// The hot-key trigger stores it; the key-combination dialog of "Send Keys"
// reads its hot-key control the same way. This unit is the one place that
// converts between the word, the hot-key control and the text shown to the
// user.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

constexpr uint16_t kShortCutShift = 0x2000;
constexpr uint16_t kShortCutCtrl = 0x4000;
constexpr uint16_t kShortCutAlt = 0x8000;
constexpr uint16_t kShortCutModifiers = kShortCutShift | kShortCutCtrl | kShortCutAlt;

inline uint8_t ShortCutKey(uint16_t shortCut) { return static_cast<uint8_t>(shortCut & 0xFF); }

// The hot-key control's value (HKM_GETHOTKEY: key in the low byte,
// HOTKEYF_* in the high byte) and back. The control's "extended key" flag
// has no place in the word and is dropped.
uint16_t ShortCutFromHotKeyValue(WORD value);
WORD HotKeyValueFromShortCut(uint16_t shortCut);

// Reads / sets a hot-key control.
uint16_t GetHotKeyShortCut(HWND control);
void SetHotKeyShortCut(HWND control, uint16_t shortCut);

// The modifier flags of RegisterHotKey (MOD_SHIFT, MOD_CONTROL, MOD_ALT).
UINT ShortCutHotKeyModifiers(uint16_t shortCut);

// The combination as the user reads it: "Shift+", "Ctrl+", "Alt+" in this
// order, then the key's name ("A", "5", "F5", "Enter", "PgDn", ...), for
// example "Ctrl+Alt+F5". A word without a key gives "".
std::string ShortCutToText(uint16_t shortCut);
// The name of a key alone, as in ShortCutToText.
std::string KeyNameText(uint8_t key);
