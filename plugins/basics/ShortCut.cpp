#include "ShortCut.h"

#include <commctrl.h>

#include <cstdio>

uint16_t ShortCutFromHotKeyValue(WORD value) {
  uint16_t word = LOBYTE(value);
  BYTE mods = HIBYTE(value);
  if (mods & HOTKEYF_SHIFT) word |= kShortCutShift;
  if (mods & HOTKEYF_CONTROL) word |= kShortCutCtrl;
  if (mods & HOTKEYF_ALT) word |= kShortCutAlt;
  return word;
}

WORD HotKeyValueFromShortCut(uint16_t shortCut) {
  BYTE mods = 0;
  if (shortCut & kShortCutShift) mods |= HOTKEYF_SHIFT;
  if (shortCut & kShortCutCtrl) mods |= HOTKEYF_CONTROL;
  if (shortCut & kShortCutAlt) mods |= HOTKEYF_ALT;
  return MAKEWORD(ShortCutKey(shortCut), mods);
}

uint16_t GetHotKeyShortCut(HWND control) {
  return ShortCutFromHotKeyValue(static_cast<WORD>(SendMessageA(control, HKM_GETHOTKEY, 0, 0)));
}

void SetHotKeyShortCut(HWND control, uint16_t shortCut) {
  SendMessageA(control, HKM_SETHOTKEY, HotKeyValueFromShortCut(shortCut), 0);
}

UINT ShortCutHotKeyModifiers(uint16_t shortCut) {
  UINT mods = 0;
  if (shortCut & kShortCutShift) mods |= MOD_SHIFT;
  if (shortCut & kShortCutCtrl) mods |= MOD_CONTROL;
  if (shortCut & kShortCutAlt) mods |= MOD_ALT;
  return mods;
}

std::string KeyNameText(uint8_t key) {
  switch (key) {
    case 0: return "";
    case VK_BACK: return "BkSp";
    case VK_TAB: return "Tab";
    case VK_RETURN: return "Enter";
    case VK_ESCAPE: return "Esc";
    case VK_SPACE: return "Space";
    case VK_PRIOR: return "PgUp";
    case VK_NEXT: return "PgDn";
    case VK_END: return "End";
    case VK_HOME: return "Home";
    case VK_LEFT: return "Left";
    case VK_UP: return "Up";
    case VK_RIGHT: return "Right";
    case VK_DOWN: return "Down";
    case VK_INSERT: return "Ins";
    case VK_DELETE: return "Del";
    default: break;
  }
  if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) return std::string(1, static_cast<char>(key));
  if (key >= VK_F1 && key <= VK_F24) return "F" + std::to_string(key - VK_F1 + 1);
  // Everything else by the keyboard layout's own name for the key; a key
  // the layout cannot name still gets a text of its own, so that two such
  // keys never share a name.
  char name[64] = "";
  UINT scan = MapVirtualKeyA(key, MAPVK_VK_TO_VSC);
  if (scan && GetKeyNameTextA(static_cast<LONG>(scan << 16), name, sizeof name) > 0) return name;
  char code[8];
  std::snprintf(code, sizeof code, "#%u", key);
  return code;
}

std::string ShortCutToText(uint16_t shortCut) {
  std::string key = KeyNameText(ShortCutKey(shortCut));
  if (key.empty()) return "";
  std::string text;
  if (shortCut & kShortCutShift) text += "Shift+";
  if (shortCut & kShortCutCtrl) text += "Ctrl+";
  if (shortCut & kShortCutAlt) text += "Alt+";
  return text + key;
}
