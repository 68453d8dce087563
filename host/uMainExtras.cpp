// Placeholders until the commands are built: each refuses plainly.
#include "uMainExtras.h"

#include <stdexcept>

std::string CreateJobShortcut(const TOVJob&, const std::string&) {
  throw std::runtime_error("Cannot create the shortcut.");
}
void QuickJobCommand(HWND, int) {}
void OpenUserManual(HWND) {}
void OpenSupportMail(HWND) {}
void OpenWebPage(HWND) {}
void StartVersionCheck(HWND, HMENU, UINT) {}
void CancelVersionCheck() {}
void SetPluginMenuHost(HWND, HMENU, HMENU) {}
void* HandleAddMenuItem(const TAddMenuItemRecord*) { return nullptr; }
void HandleRemoveMenuItem(void*) {}
bool PluginMenuCommand(UINT) { return false; }
bool PluginMenuTranslateKey(const MSG&) { return false; }
