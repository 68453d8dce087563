// A plug-in written straight on the binary contract, without the
// framework, so that the host's loader and guard are tested against exactly
// what a foreign plug-in may do. Compile-time switches pick a misbehaviour.
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "OVTypes.h"

#ifndef TP_ID
#define TP_ID 1001
#endif
#ifndef TP_DESCRIPTION
#define TP_DESCRIPTION "Test plugin"
#endif

namespace {

THostRecord g_host;

// Methods, by index.
enum {
  mSucceed,   // logs "succeed <size>" and returns true
  mFail,      // returns false
  mFault,     // access violation
  mDivide,    // integer division by zero
  mOverflow,  // stack overflow
  mIllegal,   // illegal instruction
  mForeign,   // an exception raised the way other compilers' runtimes do
  mSleep,     // sleeps the number of ms in the first dword of the block
  mLogLines,  // logs <dword count> numbered lines
  mNothing,   // returns true at once
  mExpand,    // expands the text of its block through the host and logs it
  mSetVar,    // block "NAME=VALUE": SetVariable through the host
  mAutomationOff,  // AutomationOff through the host
  mCount
};

TItemInfo g_methods[mCount] = {
    {"Succeed", nullptr},      {"Fail", nullptr},     {"Fault", nullptr},
    {"Divide", nullptr},       {"Overflow", nullptr}, {"Illegal", nullptr},
    {"Foreign", nullptr},      {"Sleep", nullptr},    {"Log lines", nullptr},
    {"Nothing", nullptr},      {"Expand", nullptr},   {"Set variable", nullptr},
    {"Automation off", nullptr}};
TItemInfo g_runners[2] = {{"Recorder", nullptr}, {"Refuser", nullptr}};

void Log(int level, const char* text) {
  if (g_host.Log) g_host.Log(static_cast<uint32_t>(level), text);
}

int32_t FirstDword(const TOVMethodParams* p) {
  if (!p || p->Size < 4 || !p->Data) return 0;
  int32_t v;
  std::memcpy(&v, p->Data, 4);
  return v;
}

// Recurses until the stack is gone (the flag keeps the compiler from
// seeing that it never ends).
volatile bool g_forever = true;
__attribute__((noinline)) int Recurse(int depth) {
  volatile char pad[4096];
  pad[0] = static_cast<char>(depth);
  if (!g_forever) return 0;
  return Recurse(depth + 1) + pad[0];
}

TItemInfo* OVAPI GetMethodInfo(int32_t index) {
#ifdef TP_ICON_FAULT
  // The first method has an icon of the plug-in's own; reading the second
  // faults, so the load fails after the host has wrapped that icon.
  if (index == 1) *static_cast<volatile int*>(nullptr) = 1;
#endif
  return &g_methods[index];
}

Bool32 OVAPI ConfigMethod(int32_t, TOVMethodParams* params) {
  // Configures a 4-byte block holding 1234, the way a dialog would.
  if (params->Size > 0 && params->Data) g_host.Free(&params->Data, params->Size);
  g_host.Alloc(&params->Data, 4);
  int32_t v = 1234;
  std::memcpy(params->Data, &v, 4);
  params->Size = 4;
  return OV_TRUE;
}

Bool32 OVAPI ExecMethod(int32_t index, TOVMethodParams* params) {
  char line[128];
  switch (index) {
    case mSucceed:
      std::snprintf(line, sizeof line, "succeed %d", static_cast<int>(params->Size));
      Log(OV_LOG_INFO, line);
      return OV_TRUE;
    case mFail:
      Log(OV_LOG_ERROR, "fail");
      return OV_FALSE;
    case mFault:
      *static_cast<volatile int*>(nullptr) = 1;
      return OV_TRUE;
    case mDivide: {
      volatile int zero = 0;
      volatile int x = 10 / zero;
      return x;
    }
    case mOverflow:
      return Recurse(0);
    case mIllegal:
      __builtin_trap();
    case mForeign:
      RaiseException(0xE06D7363, EXCEPTION_NONCONTINUABLE, 0, nullptr);
      return OV_TRUE;
    case mSleep:
      Sleep(static_cast<DWORD>(FirstDword(params)));
      Log(OV_LOG_INFO, "slept");
      return OV_TRUE;
    case mLogLines: {
      int n = FirstDword(params);
      for (int i = 0; i < n; ++i) {
        std::snprintf(line, sizeof line, "line %d", i);
        Log(OV_LOG_INFO, line);
      }
      return OV_TRUE;
    }
    case mNothing:
      return OV_TRUE;
    case mExpand: {
      // The block is a zero-terminated text.
      std::string out(OV_EXPAND_BUFFER + 1, '\0');
      const char* text = params->Size > 0 && params->Data ? static_cast<const char*>(params->Data) : "";
      g_host.ExpandVariables(text, &out[0], OV_EXPAND_BUFFER);
      std::string line = std::string("expanded ") + out.c_str();
      Log(OV_LOG_INFO, line.c_str());
      return OV_TRUE;
    }
    case mSetVar: {
      std::string text = params->Size > 0 && params->Data ? static_cast<const char*>(params->Data) : "";
      size_t eq = text.find('=');
      std::string name = text.substr(0, eq);
      std::string value = eq == std::string::npos ? "" : text.substr(eq + 1);
      g_host.SetVariable(name.c_str(), value.c_str());
      return OV_TRUE;
    }
    case mAutomationOff:
      g_host.AutomationOff();
      return OV_TRUE;
    default:
      return OV_FALSE;
  }
}

#ifdef TP_VARS
// Variables with evaluators of the plug-in's own, registered at start-up.
Bool32 OVAPI EchoVar(const char* key, const char* arg, char* buffer, int32_t capacity) {
  std::snprintf(buffer, static_cast<size_t>(capacity) + 1, "echo %s %s", key, arg);
  return OV_TRUE;
}

Bool32 OVAPI FaultVar(const char*, const char*, char*, int32_t) {
  *static_cast<volatile int*>(nullptr) = 1;
  return OV_TRUE;
}

Bool32 OVAPI RefuseVar(const char*, const char*, char* buffer, int32_t) {
  std::strcpy(buffer, "partial");
  return OV_FALSE;
}

// Writes as many characters as it is allowed to, and the terminator.
Bool32 OVAPI FillVar(const char*, const char*, char* buffer, int32_t capacity) {
  std::memset(buffer, 'z', static_cast<size_t>(capacity));
  buffer[capacity] = '\0';
  return OV_TRUE;
}
#endif

void OVAPI MethodDescr(int32_t index, TOVMethodParams* params, char* buffer) {
#ifdef TP_DESCR_FAULT
  (void)index;
  (void)params;
  (void)buffer;
  *static_cast<volatile int*>(nullptr) = 1;
#else
  std::snprintf(buffer, OV_DESCR_BUFFER, "%s with %d bytes", g_methods[index].Name,
                static_cast<int>(params->Size));
#endif
}

TItemInfo* OVAPI GetRunnerInfo(int32_t index) { return &g_runners[index]; }

Bool32 OVAPI ConfigRunner(int32_t, TOVRunnerParams*) { return OV_FALSE; }

Bool32 OVAPI StartRunner(int32_t index, TOVRunnerParams* params) {
  char line[64];
  std::snprintf(line, sizeof line, "runner %d start %d", static_cast<int>(index),
                static_cast<int>(params->JobID));
  Log(OV_LOG_INFO, line);
  return index == 0 ? OV_TRUE : OV_FALSE;
}

void OVAPI StopRunner(int32_t index, TOVRunnerParams* params) {
  char line[64];
  std::snprintf(line, sizeof line, "runner %d stop %d", static_cast<int>(index),
                static_cast<int>(params->JobID));
  Log(OV_LOG_INFO, line);
}

void OVAPI Shutdown() { Log(OV_LOG_INFO, "shutdown " TP_DESCRIPTION); }

#ifdef TP_PREFS
// The plug-in's settings: the file list of a "..." button, through the raw
// SelectFiles service. Logs "selectfiles <result> <size> [<text>]".
void OVAPI PrefsConfig() {
  static const char start[] = "C:\\one.txt,\"with blank\",\"q\"\"uote,comma\"";
  char* text = nullptr;
  int32_t size = static_cast<int32_t>(sizeof start);
  g_host.Alloc(reinterpret_cast<void**>(&text), size);
  std::memcpy(text, start, sizeof start);
  Bool32 ok = g_host.SelectFiles(&text, &size);
  std::string line = "selectfiles " + std::to_string(ok != 0) + " " + std::to_string(size) + " [" +
                     std::string(text, strnlen(text, static_cast<size_t>(size))) + "]";
  Log(OV_LOG_INFO, line.c_str());
  g_host.Free(reinterpret_cast<void**>(&text), size);
}

void OVAPI PrefsAbout() { *static_cast<volatile int*>(nullptr) = 1; }
#endif

#ifdef TP_MENU
// An item of the Tools menu, added at start-up. Each click appends a line
// to menu.txt beside the plug-in; the second click removes the item.
int g_clicks = 0;

std::string BesidePlugin(const char* file) {
  HMODULE self = nullptr;
  char path[MAX_PATH] = "";
  GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                     reinterpret_cast<const char*>(&g_clicks), &self);
  GetModuleFileNameA(self, path, sizeof path);
  std::string dir = path;
  return dir.substr(0, dir.rfind('\\') + 1) + file;
}

void OVAPI MarkerClicked(void* item) {
  ++g_clicks;
  if (FILE* f = std::fopen(BesidePlugin("menu.txt").c_str(), "a")) {
    std::fprintf(f, "click %d\n", g_clicks);
    std::fclose(f);
  }
  if (g_clicks == 2) g_host.RemoveMenuItem(item);
}
#endif

[[maybe_unused]] TMethodTable g_methodTable = {mCount, GetMethodInfo, ConfigMethod, ExecMethod, MethodDescr};
[[maybe_unused]] TRunnerTable g_runnerTable = {2, GetRunnerInfo, ConfigRunner, StartRunner, StopRunner, nullptr};

#ifdef TP_LONG_DESCR
char g_description[5001];
#endif

TPluginRecord g_record;

}  // namespace

extern "C" TPluginRecord* OVAPI InitOVPlugin(THostRecord* host) {
  std::memcpy(&g_host, host, sizeof g_host);
#ifdef TP_VARS
  g_host.RegisterVariable("TPEcho(sample)", "Echo of key and argument", EchoVar);
  g_host.RegisterVariable("TPFault", "Faults", FaultVar);
  g_host.RegisterVariable("TPRefuse", "Refuses", RefuseVar);
  g_host.RegisterVariable("TPFill", "Fills the buffer", FillVar);
  g_host.RegisterVariable("Date", "Already built in", EchoVar);
#endif
#ifdef TP_ICON_FAULT
  static const BYTE andBits[4] = {0xFF, 0xFF, 0xFF, 0xFF}, xorBits[4] = {0, 0, 0, 0};
  g_methods[0].Icon = CreateIcon(nullptr, 1, 1, 1, 1, andBits, xorBits);
  char line[64];
  std::snprintf(line, sizeof line, "icon %llx",
                static_cast<unsigned long long>(reinterpret_cast<uintptr_t>(g_methods[0].Icon)));
  Log(OV_LOG_INFO, line);
#endif
#ifdef TP_MENU
  if (!g_host.AddMenuItem("&Marker", "Ctrl+Shift+F7", MarkerClicked, 0)) Log(OV_LOG_ERROR, "no menu item");
#endif
#if defined(TP_INIT_RAISE)
  RaiseException(0xE06D7363, EXCEPTION_NONCONTINUABLE, 0, nullptr);
#elif defined(TP_INIT_FAULT)
  *static_cast<volatile int*>(nullptr) = 1;
#endif
  g_record.ID = TP_ID;
  g_record.Icon = nullptr;
#ifdef TP_LONG_DESCR
  std::memset(g_description, 'd', 5000);
  g_description[5000] = 0;
  g_record.Description = g_description;
#else
  g_record.Description = TP_DESCRIPTION;
#endif
#ifdef TP_PREFS
  g_record.PluginConfig = PrefsConfig;
  g_record.About = PrefsAbout;
#else
  g_record.PluginConfig = nullptr;
  g_record.About = nullptr;
#endif
  g_record.ShutdownPlugin = Shutdown;
#ifdef TP_NO_METHODS
  g_record.HasMethods = OV_FALSE;
  g_record.Methods = nullptr;
  g_record.HasRunners = OV_FALSE;
  g_record.Runners = nullptr;
#else
  g_record.HasMethods = OV_TRUE;
  g_record.Methods = &g_methodTable;
  g_record.HasRunners = OV_TRUE;
  g_record.Runners = &g_runnerTable;
#endif
  return &g_record;
}
