// The plug-in information window "Information about plugin" and the
// program's about window.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

class TOVPlugin;

// The lines the information window shows, in order.
std::vector<std::string> PluginInfoLines(TOVPlugin* plugin);
void ShowPluginInfo(HWND owner, TOVPlugin* plugin);

// The about window: a borderless 300 x 200 picture in the middle of the
// desktop; a click on it or Escape closes it. Returns when it is closed.
void ShowAbout(HWND owner);
extern const char kAboutClass[];  // "TfAbout"
