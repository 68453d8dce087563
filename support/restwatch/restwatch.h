// restwatch.dll: reports the user's keyboard and mouse input to a window,
// for detectors of idle time. Callers load the library and import the
// three functions by name.
//
// Each report is a posted message registered under the name
// RESTWATCH_MOUSE_MESSAGE or RESTWATCH_KEYBOARD_MESSAGE (wParam and lParam
// 0). However much input arrives, at most one report is posted per
// RESTWATCH_MIN_GAP_MS: a report says "there was input", not how much.
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

#define RESTWATCH_MOUSE_MESSAGE "MSG_HALVORN_MOUSE_EVENT"
#define RESTWATCH_KEYBOARD_MESSAGE "MSG_HALVORN_KEYBOARD_EVENT"
#define RESTWATCH_MIN_GAP_MS 100

// Starts reporting to window. local non-zero (-1): only input that this
// program's thread of the window receives; 0: input to every program of
// the desktop. Replaces an earlier installation. Must be called on a
// thread that serves its messages (the window's own thread). Non-zero on
// success.
BOOL WINAPI InstallHooks(HWND window, LONG local);
// Stops reporting.
void WINAPI UninstallHooks(void);
// Non-zero while reporting is installed.
BOOL WINAPI IsHookActive(void);

typedef BOOL(WINAPI* TRestWatchInstall)(HWND window, LONG local);
typedef void(WINAPI* TRestWatchUninstall)(void);
typedef BOOL(WINAPI* TRestWatchActive)(void);

#ifdef __cplusplus
}
#endif
