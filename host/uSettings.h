// The program's settings as the rest of the host reads them. They hold
// their documented defaults until the settings store loads stored values.
#pragma once

#include <cstdint>
#include <string>

struct TSettings {
  bool MinimizeOnRun = false;
  bool ShowErrors = false;
  bool WinStartup = true;
  std::string Filter = "All files|*.*|";
  bool ViewLog = true;
  int32_t Top = -1;
  int32_t Left = -1;
  int32_t Width = -1;
  int32_t Height = -1;
  bool HotTrack = false;
  bool HandPoint = true;
  bool UnderlineCold = false;
  bool UnderlineHot = true;
  int32_t LogHeight = -1;
  int32_t MaxLogSize = 200;
  bool CloseAsMinimize = true;
  bool EnableAutomation = true;
  int32_t TabIndex = 0;
  std::string JobDir;  // with a trailing backslash
  std::string LogDir;  // with a trailing backslash
  uint32_t clrInfo1Font = 0x008000;
  uint32_t clrInfo2Font = 0x800000;
  uint32_t clrWarningFont = 0x00FFFF;
  uint32_t clrErrorFont = 0x00FFFF;
  uint32_t clrInfo1Back = 0x80000005;
  uint32_t clrInfo2Back = 0x80000005;
  uint32_t clrWarningBack = 0x008080;
  uint32_t clrErrorBack = 0x000080;
};

// The one settings object of the process.
extern TSettings Settings;
