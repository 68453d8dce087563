// Commands of the main window that stand on their own: desktop shortcuts,
// the quick job, the Help menu's shell commands and the version check, and
// the menu items plug-ins add (messages 0x6008 and 0x6009). The main window
// calls them; each reports its own errors to the user or the main log.
#pragma once

#include <windows.h>

#include <string>

#include "OVTypes.h"

class TOVJob;

// Writes a shortcut on the current user's desktop (or in `folder` when it
// is not empty) that starts the job through ovjobrun. Returns the path of
// the .lnk written; throws std::runtime_error with a message for the user
// when it cannot be written.
std::string CreateJobShortcut(const TOVJob& job, const std::string& folder = std::string());
// The shortcut's file name without ".lnk": the job's name without the text
// after its last dot, with "\ / : * ? \" < > |" and ".." replaced by "_"
// so that it never leaves the folder; never empty, never a device name.
std::string ShortcutBaseName(const std::string& jobName);

// Picks an action, lets its plug-in configure it and runs it at once as a
// hidden job of `category` that deletes itself after the run. Errors go to
// an error box owned by `owner`.
void QuickJobCommand(HWND owner, int category);

// The Help menu's shell commands.
void OpenUserManual(HWND owner);
void OpenSupportMail(HWND owner);
void OpenWebPage(HWND owner);

// Starts the version check on its own thread unless one runs. The menu
// item `itemId` of `menu` is disabled meanwhile and enabled again at the
// end; the answer is shown in message boxes owned by `owner`.
void StartVersionCheck(HWND owner, HMENU menu, UINT itemId);
// At exit: from now on the check's thread touches no window.
void CancelVersionCheck();
// The address the check reads: the program's own, unless the settings key
// holds "VersionURL" (not shown in Preferences; "VersionTimeout" likewise
// replaces the wait, in milliseconds).
std::string VersionCheckURL();

// Plug-in menu items. The main window names its Tools menu (and the menu
// bar that holds it) before plug-ins load.
void SetPluginMenuHost(HWND owner, HMENU menuBar, HMENU toolsMenu);
// The item is appended to the Tools menu unless detached; added before
// the host is named, it is appended then. Null on failure.
void* HandleAddMenuItem(const TAddMenuItemRecord* rec);
// A pointer that AddMenuItem did not hand out is refused (logged).
void HandleRemoveMenuItem(void* item);
// Before the plug-ins are unloaded: every item goes.
void ForgetPluginMenuItems();
// "Ctrl+Shift+F5" as modifiers (1 Shift, 2 Ctrl, 4 Alt) and a virtual key;
// false for a text that names no key.
bool ParseShortCut(const std::string& text, unsigned char* mods, unsigned short* vk);
// Runs the item's procedure when `id` is a plug-in item's command.
bool PluginMenuCommand(UINT id);
// Fires a plug-in item whose shortcut the key message is; true when it did.
bool PluginMenuTranslateKey(const MSG& msg);
