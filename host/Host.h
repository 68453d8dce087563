// The host's process-wide objects and the services every host module uses.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "OVTypes.h"

class TOVLog;
class TOVPlugins;
class TOVJobs;

// The record handed to every plug-in; filled once by InitHostRecord.
extern THostRecord HostRecord;
// The main log ("OV.log"), the plug-in list and the job list.
extern TOVLog* MainLog;
extern TOVPlugins* Plugins;
extern TOVJobs* Jobs;

// The host's application window: owner of plug-in windows and target of the
// messages 0x6000..0x6015. Created on the main thread by CreateAppWindow.
HWND AppWindow();
HWND CreateAppWindow();
void DestroyAppWindow();
// The main window (receives the same messages); null until it exists.
HWND MainWindow();
void SetMainWindow(HWND wnd);

// The thread that created the application window.
DWORD MainThreadId();
bool IsMainThread();

// Fills HostRecord: version, application window and every service.
void InitHostRecord();

// Directory of orvane.exe with a trailing backslash. Tests may point it
// elsewhere before start-up.
std::string ProgramDir();
void SetProgramDir(const std::string& dir);

// Writes a line through the Log service from the calling thread: on the
// main thread to the main log, on a job's run thread to that job's log.
// Level: OV_LOG_INFO, OV_LOG_WARNING or OV_LOG_ERROR.
void HostLog(uint8_t level, const std::string& text);

// Processes the calling thread's pending messages once.
void ProcessMessages();

// Directory ending rule: "C:\dir" -> "C:\dir\", "C" -> "C:\", "" -> "".
std::string IncludeTrailingBackslash(const std::string& path);
// Creates a directory with any missing parents; false on failure.
bool ForceDirectories(const std::string& dir);
bool FileExists(const std::string& path);
// The system's text for an error code, without its final full stop.
std::string SystemErrorText(DWORD code);
