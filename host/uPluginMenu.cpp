// Menu items that plug-ins add to the main window (AddMenuItem and
// RemoveMenuItem). Everything here runs on the main thread: the services
// reach it through the application window's messages.
#include <windows.h>

#include <algorithm>
#include <cstring>
#include <cctype>
#include <memory>
#include <string>
#include <vector>

#include "CallGuard.h"
#include "Host.h"
#include "OVError.h"
#include "SehGuard.h"
#include "uMainCmds.h"
#include "uMainExtras.h"

namespace {

enum : BYTE { kShift = 1, kCtrl = 2, kAlt = 4 };

struct TPluginMenuItem {
  UINT id = 0;
  std::string caption;  // as shown, shortcut text after a tab
  TOVMenuItemProc proc = nullptr;
  bool detached = false;
  BYTE mods = 0;
  WORD vk = 0;
  HMENU parent = nullptr;  // the menu that holds it, if any
};

std::vector<std::unique_ptr<TPluginMenuItem>> g_items;
HWND g_owner = nullptr;
HMENU g_bar = nullptr;
HMENU g_tools = nullptr;
// The Tools menu taken off the bar because it was left empty.
bool g_toolsHidden = false;
UINT g_toolsPos = 0;
std::string g_toolsCaption;

struct TKeyName {
  const char* name;
  WORD vk;
};
const TKeyName kKeyNames[] = {
    {"BkSp", VK_BACK},  {"Backspace", VK_BACK}, {"Tab", VK_TAB},      {"Enter", VK_RETURN},
    {"Esc", VK_ESCAPE}, {"Escape", VK_ESCAPE},  {"Space", VK_SPACE},  {"PgUp", VK_PRIOR},
    {"PageUp", VK_PRIOR}, {"PgDn", VK_NEXT},    {"PageDown", VK_NEXT}, {"End", VK_END},
    {"Home", VK_HOME},  {"Left", VK_LEFT},      {"Up", VK_UP},        {"Right", VK_RIGHT},
    {"Down", VK_DOWN},  {"Ins", VK_INSERT},     {"Insert", VK_INSERT}, {"Del", VK_DELETE},
    {"Delete", VK_DELETE},
};

std::string Trim(const std::string& s) {
  size_t a = s.find_first_not_of(" \t"), b = s.find_last_not_of(" \t");
  return a == std::string::npos ? std::string() : s.substr(a, b - a + 1);
}

bool SameText(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
         });
}

std::string KeyText(WORD vk) {
  if ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9')) return std::string(1, static_cast<char>(vk));
  if (vk >= VK_F1 && vk <= VK_F24) return Format("F%d", vk - VK_F1 + 1);
  for (const TKeyName& k : kKeyNames)
    if (k.vk == vk) return k.name;
  return std::string();
}

std::string MenuCaption(const TPluginMenuItem& item) {
  if (!item.vk) return item.caption;
  std::string keys;
  if (item.mods & kCtrl) keys += "Ctrl+";
  if (item.mods & kShift) keys += "Shift+";
  if (item.mods & kAlt) keys += "Alt+";
  return item.caption + "\t" + keys + KeyText(item.vk);
}

UINT FreeId() {
  for (UINT id = cmPluginMenuFirst; id <= cmPluginMenuLast; ++id)
    if (std::none_of(g_items.begin(), g_items.end(), [id](const auto& i) { return i->id == id; })) return id;
  return 0;
}

TPluginMenuItem* Find(const void* p) {
  for (const auto& i : g_items)
    if (i.get() == p) return i.get();
  return nullptr;
}

void Redraw() {
  if (g_owner && IsWindow(g_owner)) DrawMenuBar(g_owner);
}

void ShowTools() {
  if (!g_toolsHidden || !g_bar || !g_tools) return;
  UINT pos = std::min<UINT>(g_toolsPos, static_cast<UINT>(GetMenuItemCount(g_bar)));
  InsertMenuA(g_bar, pos, MF_BYPOSITION | MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(g_tools),
              g_toolsCaption.c_str());
  g_toolsHidden = false;
}

void HideTools() {
  if (g_toolsHidden || !g_bar || !g_tools) return;
  int n = GetMenuItemCount(g_bar);
  for (int i = 0; i < n; ++i) {
    if (GetSubMenu(g_bar, i) != g_tools) continue;
    char text[256] = "";
    GetMenuStringA(g_bar, static_cast<UINT>(i), text, sizeof text, MF_BYPOSITION);
    g_toolsCaption = text;
    g_toolsPos = static_cast<UINT>(i);
    RemoveMenu(g_bar, static_cast<UINT>(i), MF_BYPOSITION);  // keeps the menu itself
    g_toolsHidden = true;
    return;
  }
}

void Attach(TPluginMenuItem& item) {
  if (item.detached || item.parent || !g_tools) return;
  ShowTools();
  if (AppendMenuA(g_tools, MF_STRING, item.id, MenuCaption(item).c_str())) item.parent = g_tools;
  Redraw();
}

std::string ModuleOf(const void* address) {
  HMODULE module = nullptr;
  char path[MAX_PATH] = "???";
  if (GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                         static_cast<const char*>(address), &module))
    GetModuleFileNameA(module, path, sizeof path);
  return path;
}

}  // namespace

bool ParseShortCut(const std::string& text, unsigned char* mods, unsigned short* vk) {
  *mods = 0;
  *vk = 0;
  std::string rest = text;
  for (;;) {
    size_t plus = rest.find('+');
    // A "+" that ends the text is the key itself.
    if (plus == std::string::npos || plus + 1 == rest.size()) break;
    std::string part = Trim(rest.substr(0, plus));
    if (SameText(part, "Ctrl") || SameText(part, "Control"))
      *mods |= kCtrl;
    else if (SameText(part, "Shift"))
      *mods |= kShift;
    else if (SameText(part, "Alt"))
      *mods |= kAlt;
    else
      return false;
    rest = rest.substr(plus + 1);
  }
  std::string key = Trim(rest);
  if (key.size() == 1 && std::isalnum(static_cast<unsigned char>(key[0]))) {
    *vk = static_cast<unsigned short>(std::toupper(static_cast<unsigned char>(key[0])));
    return true;
  }
  if (key.size() >= 2 && (key[0] == 'F' || key[0] == 'f') &&
      key.find_first_not_of("0123456789", 1) == std::string::npos && key.size() <= 3) {
    int n = std::stoi(key.substr(1));
    if (n >= 1 && n <= 24) {
      *vk = static_cast<unsigned short>(VK_F1 + n - 1);
      return true;
    }
  }
  for (const TKeyName& k : kKeyNames)
    if (SameText(key, k.name)) {
      *vk = k.vk;
      return true;
    }
  return false;
}

void SetPluginMenuHost(HWND owner, HMENU menuBar, HMENU toolsMenu) {
  g_owner = owner;
  g_bar = menuBar;
  g_tools = toolsMenu;
  g_toolsHidden = false;
  for (auto& i : g_items) {
    i->parent = nullptr;
    Attach(*i);
  }
}

void* HandleAddMenuItem(const TAddMenuItemRecord* rec) {
  if (!rec) return nullptr;
  auto item = std::make_unique<TPluginMenuItem>();
  std::string shortcut;
  bool hasShortcut = false;
  // The record and its texts are the plug-in's: a bad pointer fails the
  // call, not the host.
  sehguard::TOutcome read = sehguard::Protected([&] {
    TAddMenuItemRecord r;
    std::memcpy(&r, rec, sizeof r);
    item->caption = r.Caption ? r.Caption : "";
    if (r.ShortCut) {
      shortcut = r.ShortCut;
      hasShortcut = true;
    }
    item->proc = r.Proc;
    item->detached = r.Detached != 0;
  });
  if (read.Failed()) {
    HostLog(OV_LOG_ERROR, "AddMenuItem: the item's record cannot be read");
    return nullptr;
  }
  if (hasShortcut && !shortcut.empty() && !ParseShortCut(shortcut, &item->mods, &item->vk))
    HostLog(OV_LOG_WARNING, Format("AddMenuItem: unknown shortcut \"%s\" of \"%s\"", shortcut.c_str(),
                                   item->caption.c_str()));
  item->id = FreeId();
  if (!item->id) {
    HostLog(OV_LOG_ERROR, "AddMenuItem: no more menu items");
    return nullptr;
  }
  TPluginMenuItem* p = item.get();
  g_items.push_back(std::move(item));
  Attach(*p);
  return p;
}

void HandleRemoveMenuItem(void* handle) {
  TPluginMenuItem* item = Find(handle);
  if (!item) {
    HostLog(OV_LOG_WARNING, "RemoveMenuItem: not an item of AddMenuItem");
    return;
  }
  if (HMENU parent = item->parent; parent && IsMenu(parent)) {
    DeleteMenu(parent, item->id, MF_BYCOMMAND);
    if (parent == g_tools && GetMenuItemCount(parent) == 0) HideTools();
    Redraw();
  }
  g_items.erase(std::find_if(g_items.begin(), g_items.end(), [item](const auto& i) { return i.get() == item; }));
}

void ForgetPluginMenuItems() {
  while (!g_items.empty()) HandleRemoveMenuItem(g_items.back().get());
}

bool PluginMenuCommand(UINT id) {
  if (id < cmPluginMenuFirst || id > cmPluginMenuLast) return false;
  auto it = std::find_if(g_items.begin(), g_items.end(), [id](const auto& i) { return i->id == id; });
  if (it == g_items.end()) return false;
  TPluginMenuItem* item = it->get();
  TOVMenuItemProc proc = item->proc;
  if (!proc) return true;
  // The procedure may remove its own item: it is not touched afterwards.
  try {
    Guarded("MenuItemProc", ModuleOf(reinterpret_cast<const void*>(proc)), [&] { proc(item); });
  } catch (const std::exception& e) {
    HostLog(OV_LOG_ERROR, e.what());
  }
  return true;
}

bool PluginMenuTranslateKey(const MSG& msg) {
  if (msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) return false;
  BYTE mods = 0;
  if (GetKeyState(VK_SHIFT) < 0) mods |= kShift;
  if (GetKeyState(VK_CONTROL) < 0) mods |= kCtrl;
  if (GetKeyState(VK_MENU) < 0) mods |= kAlt;
  const WORD vk = static_cast<WORD>(msg.wParam);
  for (const auto& i : g_items)
    if (i->vk && i->vk == vk && i->mods == mods) return PluginMenuCommand(i->id);
  return false;
}
