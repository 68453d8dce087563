// Small helpers that the General plug-in's actions and triggers share.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

#include "OVPlugin.h"

// An action or trigger that this version lists (its index is fixed in job
// files) but does not carry yet: running it fails the step with a clear
// line, configuring it changes nothing, arming it does not arm.
TMethodCase NotAvailableMethod(const std::string& name);
TRunnerCase NotAvailableRunner(const std::string& name);
// "\"<name>\" is not available in this version"
std::string NotAvailableText(const std::string& name);

// Texts whose length sits elsewhere in the block: `stored` bytes, the text
// up to its first zero. A stored length of 0 is the empty text.
bool ReadFixedText(TBlockReader& r, uint32_t stored, std::string& text);
// The text's characters and its terminating zero (length + 1 bytes).
void WriteFixedText(TBlockWriter& w, const std::string& text);
// length + 1, as such blocks store it.
inline uint32_t StoredLength(const std::string& text) { return static_cast<uint32_t>(text.size() + 1); }

// The job whose step runs on this thread (0 when none) and its name.
struct TCallerJob {
  int32_t ID = 0;
  std::string Name;
};
TCallerJob CallerJob();

// Waits until the handle is signalled, serving this thread's messages
// meanwhile (windows that the thread owns stay responsive, a sent message
// does not block its sender). False when the wait was given up: a quit
// request reached the thread (it is posted again for the thread's own
// loop) or the handle cannot be waited on.
bool WaitPumping(HANDLE handle);

// As WaitPumping, for a step of the job `jobId` (0: none) that waits for a
// program or another job: a stop request for that job ends the wait too.
enum class TWaitEnd { Signalled, Stopped, Failed };
TWaitEnd WaitPumpingUntilStopped(HANDLE handle, int32_t jobId);

// The system's text for an error code, without the trailing line end.
std::string SystemErrorText(DWORD code);

// Registers the common controls the dialogs use (up-down buttons).
void InitDialogControls();
