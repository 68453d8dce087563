// A plug-in written on the framework, the way the delivered plug-ins are:
// a data module declares the methods and runners and supplies only their
// behaviour. Some items have no handlers; some handlers throw or fault.
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "OVDialog.h"
#include "OVPlugin.h"
#include "tp_framework.h"

namespace {

std::atomic<int> g_created{0};

#ifndef TP_FW_EMPTY

[[noreturn]] void Fault() {
  *static_cast<volatile int*>(nullptr) = 1;
  throw std::logic_error("not reached");
}

std::string Upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return std::toupper(c); });
  return s;
}

// ---- "Echo": count, text, upper case, and an optional tail with a date.

bool ExecEcho(TOVMethodParams& params) {
  TBlockReader r(params);
  if (r.Empty()) {
    HostLog(OV_LOG_INFO, "echo defaults");
    return true;
  }
  int32_t count = 1;
  std::string text;
  bool upper = false;
  r.Dword(count);
  r.String(text);
  r.Bool(upper);
  if (!r.ok()) {
    HostLog(OV_LOG_ERROR, "Echo: settings are incomplete");
    return false;
  }
  HostLog(OV_LOG_INFO, "echo " + (upper ? Upper(text) : text) + " x" + std::to_string(count));
  double when = 0;
  if (r.More() && r.Double(when)) {
    char line[64];
    std::snprintf(line, sizeof line, "echo when %.3f", when);
    HostLog(OV_LOG_INFO, line);
  }
  return true;
}

bool ConfigEcho(TOVMethodParams& params) {
  return TBlockWriter().Dword(3).String("configured").Bool(true).Double(45000.5).StoreTo(params);
}

void DescrEcho(TOVMethodParams& params, std::string& descr) {
  TBlockReader r(params);
  int32_t count = 0;
  std::string text;
  if (r.Dword(count) && r.String(text)) descr = "Echo " + text + " x" + std::to_string(count);
}

// ---- "Overlap": two jobs at once. The block holds a number, the same
// number as text, whether to wait for another call to be inside, and room
// for the number of calls seen inside at once.

std::atomic<int> g_inside{0};

bool ExecOverlap(TOVMethodParams& params) {
  int now = ++g_inside;
  TBlockReader r(params);
  int32_t number = -1;
  std::string text;
  bool meet = false;
  r.Dword(number);
  r.String(text);
  r.Bool(meet);
  if (meet) {
    for (int i = 0; i < 2000 && g_inside.load() < 2; ++i) Sleep(1);
    now = std::max(now, g_inside.load());
  }
  Sleep(0);
  bool same = r.ok() && text == std::to_string(number);
  HostLog(OV_LOG_INFO, "overlap " + text + " in job " + std::to_string(HostCurrentJob()));
  // The last dword receives what this call saw.
  if (r.ok() && r.Position() + 4 <= r.Size()) {
    auto* out = static_cast<uint8_t*>(params.Data) + r.Position();
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(now >> (8 * i));
  }
  --g_inside;
  return same;
}

// ---- "Dialog": a configuration dialog from this library's resources.

class TConfigDialog : public OVDialog {
 public:
  TConfigDialog() : OVDialog(IDD_TPCONFIG) {}
  std::string Text;

 protected:
  bool OnInit() override {
    SetItemText(IDC_TPTEXT, Text);
    return true;
  }
  bool OnCommand(int id, int, HWND) override {
    if (id != IDC_TPVAR) return false;
    SelectVariableAtCaret(*this);
    return true;
  }
  void OnOK() override {
    Text = GetItemText(IDC_TPTEXT);
    End(IDOK);
  }
};

bool ConfigDialog(TOVMethodParams& params) {
  TConfigDialog d;
  TBlockReader r(params);
  r.String(d.Text);
  if (d.DoModal() != IDOK) return false;
  return TBlockWriter().String(d.Text).StoreTo(params);
}

// ---- "Services": the host services as a step sees them.

bool ExecServices(TOVMethodParams&) {
  int32_t job = HostCurrentJob();
  HostLog(OV_LOG_INFO, "created " + std::to_string(g_created.load()));
  HostLog(OV_LOG_INFO, "current " + std::to_string(job));
  HostLog(OV_LOG_INFO, "name " + HostJobName(job));
  HostLog(OV_LOG_INFO, "unknown " + HostJobName(-5));
  HostLog(OV_LOG_INFO, "expanded " + HostExpandVars("a%b%c"));
  HostLog(OV_LOG_INFO, std::string("run unknown ") + (HostRunJob(-5, "test") ? "handle" : "none"));
  std::string names;
  for (const TJobEntry& j : HostEnumJobs()) names += "[" + j.Name + " " + std::to_string(j.State) + "]";
  HostLog(OV_LOG_INFO, "jobs " + names);
  return true;
}

HICON MakeIcon() {
  BYTE andMask[32 * 4], xorMask[32 * 4];
  std::fill(std::begin(andMask), std::end(andMask), 0x0F);
  std::fill(std::begin(xorMask), std::end(xorMask), 0xF0);
  return CreateIcon(PluginModule(), 32, 32, 1, 1, andMask, xorMask);
}

#endif

class TDM : public TOVDataModule {
 public:
  TDM() {
#ifdef TP_FW_EMPTY
    Plugin->Description = "Framework empty";
    Plugin->ID = 4243;
#else
    Plugin->Description = "Framework test";
    Plugin->ID = 4242;
    Plugin->OnAbout = [] { HostLog(OV_LOG_INFO, "about Framework test"); };
    HICON icon = MakeIcon();
    Plugin->Icon.Assign(icon);

    TMethod& echo = AddMethod("Echo", {.Exec = ExecEcho, .Config = ConfigEcho, .Descr = DescrEcho});
    echo.Icon.Assign(icon);
    DestroyIcon(icon);
    AddMethod("No cases");
    Plugin->Methods.Add().Name = "Bare";
    AddMethod("Thrower", {.Exec = [](TOVMethodParams&) -> bool { throw std::runtime_error("thrown by exec"); },
                          .Config = [](TOVMethodParams&) -> bool { throw 42; },
                          .Descr =
                              [](TOVMethodParams&, std::string& d) {
                                d = "half done";
                                throw std::runtime_error("thrown by descr");
                              }});
    AddMethod("Faulter", {.Exec = [](TOVMethodParams&) -> bool { Fault(); },
                          .Config =
                              [](TOVMethodParams& p) -> bool {
                                volatile int zero = p.Size * 0;
                                return 10 / zero;
                              },
                          .Descr = [](TOVMethodParams&, std::string&) { Fault(); }});
    AddMethod("Long", {.Descr = [](TOVMethodParams&, std::string& d) { d.assign(5000, 'x'); }});
    AddMethod("Silent", {.Descr = [](TOVMethodParams&, std::string&) {}});
    AddMethod("Overlap", {.Exec = ExecOverlap});
    AddMethod("Dialog", {.Config = ConfigDialog});
    AddMethod("Services", {.Exec = ExecServices});
    AddMethod("Failing", {.Exec = [](TOVMethodParams&) {
                            HostLog(OV_LOG_ERROR, "failing");
                            return false;
                          }});

    AddRunner("Recorder",
              {.Config = [](TOVRunnerParams& p) { return TBlockWriter().Dword(p.JobID * 2).StoreTo(p); },
               .Start =
                   [](TOVRunnerParams& p) {
                     HostLog(OV_LOG_INFO, "start " + std::to_string(p.JobID));
                     return true;
                   },
               .Stop = [](TOVRunnerParams& p) { HostLog(OV_LOG_INFO, "stop " + std::to_string(p.JobID)); },
               .Descr = [](TOVRunnerParams& p, std::string& d) {
                 d = "Recorder for job " + std::to_string(p.JobID);
               }});
    AddRunner("No cases");
    AddRunner("Faulty", {.Config = [](TOVRunnerParams&) -> bool { throw std::runtime_error("config"); },
                         .Start = [](TOVRunnerParams&) -> bool { Fault(); },
                         .Stop = [](TOVRunnerParams&) { throw std::runtime_error("thrown by stop"); },
                         .Descr = [](TOVRunnerParams&, std::string&) { Fault(); }});
#endif
  }
  void DMCreate() override { ++g_created; }
  void PluginShutdownPlugin() override { HostLog(OV_LOG_INFO, "shutdown " + Plugin->Description); }
};

}  // namespace

OV_DATA_MODULE(TDM)
