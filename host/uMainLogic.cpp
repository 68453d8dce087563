#include "uMainLogic.h"

#include <algorithm>

#include "Host.h"
#include "OVClassesJob.h"
#include "OVClassesPlugins.h"
#include "uSettings.h"

std::string DoubleAmpersands(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    out += c;
    if (c == '&') out += '&';
  }
  return out;
}

int CompareJobTexts(const std::string& a, const std::string& b) {
  int r = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.c_str(), static_cast<int>(a.size()),
                         b.c_str(), static_cast<int>(b.size()));
  if (r == 0) return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
  return r - CSTR_EQUAL;
}

std::string IdleText(bool runOnStart, bool runOnExit, const std::vector<std::string>& events) {
  std::vector<std::string> what;
  if (runOnStart) what.push_back("On start");
  if (runOnExit) what.push_back("On exit");
  what.insert(what.end(), events.begin(), events.end());
  if (what.empty()) return "Idle...";
  std::string list;
  for (const std::string& w : what) list += (list.empty() ? "" : "; ") + w;
  return "Idle... (" + list + ")";
}

std::string JobStatusText(TOVJob& job) {
  if (job.State() != jsIdle) return job.StateText();
  std::vector<std::string> events;
  for (int i = 0; i < job.EventCount(); ++i) {
    TOVJobRun* e = job.Events(i);
    if (!e->Enabled()) continue;
    TOVPlugin* plugin = Plugins ? Plugins->FindByID(e->PluginID()) : nullptr;
    if (!plugin || e->RunnerIndex() < 0 || e->RunnerIndex() >= plugin->RunnerCount()) continue;
    try {
      TOVRunnerParams copy = *e->Params();
      events.push_back(plugin->RunnerDescription(e->RunnerIndex(), &copy));
    } catch (const std::exception&) {
    }
  }
  return IdleText(job.RunOnStart(), job.RunOnExit(), events);
}

bool CanDropOnTab(int tab, int selectedTab) { return tab > 0 && tab != selectedTab; }

std::string DeleteQuestion(int selectedCount, const std::string& firstName, bool firstRunning) {
  if (selectedCount <= 0) return "";
  if (selectedCount == 1)
    return firstRunning ? "" : "Do you really want to delete Job [" + firstName + "]?";
  return "Do you really want to delete " + std::to_string(selectedCount) + " Jobs?";
}

std::string LogLinesText(const std::vector<std::pair<uint8_t, std::string>>& lines) {
  std::string out;
  for (const auto& [level, text] : lines) {
    const char* letter = level <= 1 ? "I" : level == 2 ? "W" : level == 3 ? "E" : "-";
    out += letter;
    out += ": " + text + "\r\n";
  }
  return out;
}

RECT PlaceMainWindow(const TSettings& s, const RECT& screen, const RECT& work, bool visible) {
  const int screenW = screen.right - screen.left, screenH = screen.bottom - screen.top;
  int left = s.Left == -1 ? 0 : s.Left;
  int top = s.Top == -1 ? 0 : s.Top;
  int width = s.Width == -1 ? screenW : s.Width;
  int height = s.Height == -1 ? screenH / 2 : s.Height;
  // A window stored while minimised has the size of a title bar at -32000.
  const bool minimised = left <= -32000 || top <= -32000 || width < 120 || height < 80;
  if (!visible || minimised) {
    const int workW = work.right - work.left, workH = work.bottom - work.top;
    if (width < 120 || width > workW) width = workW;
    if (height < 80 || height > workH) height = std::max(80, workH / 2);
    left = std::clamp(left, static_cast<int>(work.left), static_cast<int>(work.right) - width);
    top = std::clamp(top, static_cast<int>(work.top), static_cast<int>(work.bottom) - height);
  }
  return RECT{left, top, left + width, top + height};
}

COLORREF ResolveColor(uint32_t value) {
  if (value & 0x80000000u) return GetSysColor(static_cast<int>(value & 0xFF));
  return static_cast<COLORREF>(value & 0xFFFFFF);
}
