// Command identifiers of the main window's menus, tool bar and tray menu.
// Tests and the screenshot script reach the window's commands through them
// (WM_COMMAND with the identifier as wParam), so they never change meaning.
#pragma once

enum TMainCommand {
  // File menu
  cmExit = 200,
  cmEnableAutomation = 202,
  // Job menu, tool bar and job list menu
  cmNewJob = 201,
  cmEditJob = 203,
  cmDeleteJob = 204,
  cmRunJob = 205,
  cmStopJob = 206,
  cmDuplicateJob = 207,
  cmCreateShortcut = 208,
  cmActiveJob = 209,
  cmRenameJob = 210,
  cmActivateCategory = 220,
  cmDeactivateCategory = 221,
  // Options menu
  cmPreferences = 211,
  cmViewLog = 213,
  cmViewToolbar = 214,
  cmVariables = 215,
  // Tools menu
  cmQuickJob = 216,
  // Help menu
  cmAbout = 212,
  cmUserManual = 217,
  cmSendMail = 218,
  cmWebPage = 219,
  cmCheckVersion = 222,
  // Tray menu
  cmMinimizeRestore = 223,
  // Log pane menu
  cmClearLog = 224,
  cmCopyLog = 225,
  cmSelectAllLog = 226,
  // Run button drop-down and the tray's category submenus: one identifier
  // per listed job, in the order the menu was built.
  cmJobMenuFirst = 1000,
  cmJobMenuLast = 3999,
  // Items that plug-ins add with AddMenuItem.
  cmPluginMenuFirst = 5000,
  cmPluginMenuLast = 5999,
};
