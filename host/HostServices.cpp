// The services of THostRecord. Each one that names a message is a
// synchronous round trip to the main thread; every one catches everything
// before it returns into the plug-in.
#include <windows.h>

#include <cstring>

#include "Host.h"
#include "OVClassesLog.h"
#include "OVTypes.h"

namespace {

LRESULT Send(UINT msg, WPARAM wp, LPARAM lp) {
  HWND wnd = AppWindow();
  if (!wnd) return 0;
  return SendMessageA(wnd, msg, wp, lp);
}

Bool32 OVAPI SvcSelectFiles(char** text, int32_t* size) {
  try {
    if (!text || !size) return OV_FALSE;
    TOVSelectFilesRecord rec{*text, *size};
    if (!Send(OVM_SELECTFILES, reinterpret_cast<WPARAM>(&rec), 0)) return OV_FALSE;
    *text = rec.Text;
    *size = rec.Size;
    return OV_TRUE;
  } catch (...) {
    return OV_FALSE;
  }
}

void OVAPI SvcLog(uint32_t level, const char* text) {
  try {
    if (!IsMainThread()) {
      QueueLogLine(static_cast<int32_t>(level & 0xFF), GetCurrentThreadId(), text);
      return;
    }
    TOVLogRecord rec{static_cast<int32_t>(level & 0xFF), GetCurrentThreadId()};
    Send(OVM_LOG, reinterpret_cast<WPARAM>(text ? text : ""), reinterpret_cast<LPARAM>(&rec));
  } catch (...) {
  }
}

void OVAPI SvcAlloc(void** p, int32_t size) {
  try {
    if (!p) return;
    *p = size > 0 ? HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, static_cast<SIZE_T>(size))
                  : nullptr;
  } catch (...) {
  }
}

void OVAPI SvcFree(void** p, int32_t) {
  try {
    if (p && *p) HeapFree(GetProcessHeap(), 0, *p);
  } catch (...) {
  }
}

void OVAPI SvcEnumJobs(TOVJobsEnumProc proc) {
  try {
    if (proc) Send(OVM_ENUMJOBS, reinterpret_cast<WPARAM>(proc), 0);
  } catch (...) {
  }
}

HANDLE OVAPI SvcRunJob(int32_t jobId, const char* cause) {
  try {
    return reinterpret_cast<HANDLE>(Send(OVM_RUNJOB, static_cast<WPARAM>(jobId),
                                         reinterpret_cast<LPARAM>(cause)));
  } catch (...) {
    return nullptr;
  }
}

void* OVAPI SvcAddMenuItem(const char* caption, const char* shortCut, TOVMenuItemProc proc,
                           uint32_t detached) {
  try {
    TAddMenuItemRecord rec{caption, shortCut, proc, static_cast<uint8_t>(detached & 0xFF)};
    return reinterpret_cast<void*>(Send(OVM_ADDMENUITEM, reinterpret_cast<WPARAM>(&rec), 0));
  } catch (...) {
    return nullptr;
  }
}

void OVAPI SvcRemoveMenuItem(void* item) {
  try {
    Send(OVM_REMOVEMENUITEM, reinterpret_cast<WPARAM>(item), 0);
  } catch (...) {
  }
}

// Until the variable table is built in, texts pass through unchanged.
void OVAPI SvcExpandVariablesPlain(const char* src, char* dest, int32_t destSize) {
  try {
    if (!dest || destSize < 0) return;
    size_t n = src ? strnlen(src, static_cast<size_t>(destSize)) : 0;
    if (n) memcpy(dest, src, n);
    dest[n] = '\0';
  } catch (...) {
  }
}

Bool32 OVAPI SvcSelectVariableNone(char* dest, int32_t destSize) {
  if (dest && destSize >= 0) dest[0] = '\0';
  return OV_FALSE;
}

void OVAPI SvcRegisterVariableNone(const char*, const char*, TOVVarFunc) {}

int32_t OVAPI SvcCurrentJob() {
  try {
    return static_cast<int32_t>(Send(OVM_CURRENTJOB, GetCurrentThreadId(), 0));
  } catch (...) {
    return 0;
  }
}

template <UINT Msg>
void OVAPI SvcJobMessage(int32_t jobId) {
  try {
    Send(Msg, static_cast<WPARAM>(jobId), 0);
  } catch (...) {
  }
}

template <UINT Msg>
void OVAPI SvcPlainMessage() {
  try {
    Send(Msg, 0, 0);
  } catch (...) {
  }
}

void OVAPI SvcCloseHost() {
  try {
    if (HWND wnd = AppWindow()) PostMessageA(wnd, OVM_CLOSEHOST, 0, 0);
  } catch (...) {
  }
}

template <UINT Msg>
void OVAPI SvcVariable(const char* name, const char* value) {
  try {
    Send(Msg, reinterpret_cast<WPARAM>(name), reinterpret_cast<LPARAM>(value));
  } catch (...) {
  }
}

void OVAPI SvcDeleteVariable(const char* name, int32_t) {
  try {
    Send(OVM_DELETEVARIABLE, reinterpret_cast<WPARAM>(name), 0);
  } catch (...) {
  }
}

}  // namespace

void InitHostRecord() {
  THostRecord& r = HostRecord;
  r.Version = OV_HOST_VERSION;
  r.AppWindow = AppWindow();
  r.SelectFiles = SvcSelectFiles;
  r.Log = SvcLog;
  r.Alloc = SvcAlloc;
  r.Free = SvcFree;
  r.EnumJobs = SvcEnumJobs;
  r.RunJob = SvcRunJob;
  r.AddMenuItem = SvcAddMenuItem;
  r.RemoveMenuItem = SvcRemoveMenuItem;
  // The variables subsystem replaces these three when it starts.
  if (!r.ExpandVariables) r.ExpandVariables = SvcExpandVariablesPlain;
  if (!r.SelectVariable) r.SelectVariable = SvcSelectVariableNone;
  if (!r.RegisterVariable) r.RegisterVariable = SvcRegisterVariableNone;
  r.CurrentJob = SvcCurrentJob;
  r.StopJob = SvcJobMessage<OVM_STOPJOB>;
  r.MinimizeHost = SvcPlainMessage<OVM_MINIMIZEHOST>;
  r.RestoreHost = SvcPlainMessage<OVM_RESTOREHOST>;
  r.CloseHost = SvcCloseHost;
  r.AutomationOn = SvcPlainMessage<OVM_AUTOMATIONON>;
  r.AutomationOff = SvcPlainMessage<OVM_AUTOMATIONOFF>;
  r.ActivateJob = SvcJobMessage<OVM_ACTIVATEJOB>;
  r.DeactivateJob = SvcJobMessage<OVM_DEACTIVATEJOB>;
  r.AddVariable = SvcVariable<OVM_ADDVARIABLE>;
  r.DeleteVariable = SvcDeleteVariable;
  r.SetVariable = SvcVariable<OVM_SETVARIABLE>;
}
