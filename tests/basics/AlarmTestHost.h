// The General plug-in's triggers inside a test program: a data module with
// its runner table, loaded through InitOVPlugin with a
// host record whose services record what the trigger asks of them.
#pragma once

#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "OVClock.h"
#include "OVTypes.h"
#include "uAlarmClock.h"

namespace alarmtest {

struct TFakeHost {
  std::vector<std::pair<int32_t, std::string>> runs;  // job ID, cause
  std::vector<std::pair<uint32_t, std::string>> logs;  // level, text
  int allocs = 0;
  int frees = 0;
  // What the host answers when asked for its main window.
  HWND mainWindow = nullptr;
};
TFakeHost& Fake();

// Loads the plug-in (InitOVPlugin) / shuts it down (ShutdownPlugin).
TPluginRecord* LoadPlugin();
void UnloadPlugin();
// The data module's alarm window while the plug-in is loaded.
TfAlarmClock* AlarmWindow();

// Job names the host answers with: "Job <id>".
std::string JobName(int32_t id);

// A parameter block from the host's allocator, as the host keeps it.
void SetBlock(TOVRunnerParams& params, const std::vector<uint8_t>& bytes);
void FreeBlock(TOVRunnerParams& params);

inline TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  return EncodeDateTime(y, mo, d, h, mi, s, ms);
}

}  // namespace alarmtest
