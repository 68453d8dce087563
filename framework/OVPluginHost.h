// The host services as actions and triggers use them: thin wrappers over
// the plug-in's copy of the host record that convert between std::string
// and zero-terminated text. Before InitOVPlugin and after ShutdownPlugin
// they do nothing and answer empty values (HostExpandVars the text as
// given).
//
// The services that travel as window messages (Log, SelectFiles, EnumJobs,
// RunJob, StopJob, CurrentJob, JobName) are synchronous round trips to the
// host's main thread: never call them while the main thread waits for
// this plug-in (from StopRunner or ShutdownPlugin while holding a lock that
// a trigger thread needs), nor from InitOVPlugin.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "OVTypes.h"

class OVDialog;

// The plug-in's copy of the host record (all zero before InitOVPlugin).
const THostRecord& PluginHost();
// The host's application window: owner of the plug-in's windows.
HWND HostAppWindow();

// Writes a line to the log of the job whose step runs on the calling
// thread, or to the main log. level: OV_LOG_INFO, OV_LOG_WARNING,
// OV_LOG_ERROR.
void HostLog(uint8_t level, const std::string& text);

// Logs that the settings block of the action or trigger `name` ends before
// its settings do (written by something else, or damaged): the caller
// fails rather than guess.
void LogIncompleteSettings(const std::string& name);

// Expands the variable references in text (through a 655360-byte buffer).
std::string HostExpandVars(const std::string& text);

// Opens the host's variable picker; the chosen reference, or "" when the
// user cancelled.
std::string HostSelectVariable();
// The "%V%" button of every configuration dialog: a chosen reference goes
// to the caret of the dialog's edit that last had the focus.
void SelectVariableAtCaret(OVDialog& dialog);

// Edits a list of file patterns in the host's file-list dialog. True
// when the user confirmed; the list then holds the new entries.
bool HostSelectFiles(std::vector<std::string>& list);

// Parameter blocks come from the host's allocator and go back to it.
void HostAlloc(void*& p, int32_t size);
void HostFree(void*& p, int32_t size);

// Runs a job; the handle of its run (wait on it, do not close it), or
// nullptr when no job has that ID.
HANDLE HostRunJob(int32_t jobId, const std::string& cause);
// Asks a job's run to stop after its current step.
void HostStopJob(int32_t jobId);
// The job whose step runs on the calling thread, 0 when none.
int32_t HostCurrentJob();
// The job's name; the host's placeholder name for an unknown ID.
std::string HostJobName(int32_t jobId);

// Every job, in the order of the host's job list.
struct TJobEntry {
  int32_t ID;
  std::string Name;
  uint8_t State;  // OV_STATE_*
};
std::vector<TJobEntry> HostEnumJobs();
// The raw service: proc is called once per job before this returns.
void HostEnumJobs(TOVJobsEnumProc proc);
