// A plug-in that takes its time to load, so that a test sees Orvane between
// "its main window exists" and "its jobs are loaded".
#include <windows.h>

#include "OVTypes.h"

namespace {

TPluginRecord g_record;

}  // namespace

extern "C" TPluginRecord* OVAPI InitOVPlugin(THostRecord*) {
  Sleep(1500);
  g_record.ID = 1990;
  g_record.Description = "Slow plugin";
  g_record.HasMethods = OV_FALSE;
  g_record.HasRunners = OV_FALSE;
  return &g_record;
}
