// ovdlg.dll: the question window that a running job shows to the person at
// the computer. Callers load the library and import Question by name:
//
//   auto q = reinterpret_cast<TOVQuestion>(GetProcAddress(lib, "Question"));
#pragma once

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

// Answers.
#define OVDLG_OK_YES 1
#define OVDLG_CANCEL_NO 2

// Automatic answer codes.
#define OVDLG_AUTO_NONE 0
#define OVDLG_AUTO_OK_YES 1
#define OVDLG_AUTO_CANCEL_NO 2

// Shows a modal window with the text and two buttons, "OK"/"Cancel" when
// okCancel is true, else "Yes"/"No", and waits for the answer. owner may be
// 0: the window then stays on top of every other window. With an automatic
// answer, a countdown from `seconds` (at least 1) is shown and that answer is
// given when it reaches zero. Returns OVDLG_OK_YES or OVDLG_CANCEL_NO; closing
// the window answers Cancel/No. Null texts read as empty. Safe to call from
// any thread; the window belongs to the calling thread.
int WINAPI Question(HWND owner, const char* caption, const char* text, BOOL okCancel,
                    int autoAnswer, int seconds);

typedef int(WINAPI* TOVQuestion)(HWND owner, const char* caption, const char* text,
                                 BOOL okCancel, int autoAnswer, int seconds);

// Control identifiers of the window (the buttons are IDOK and IDCANCEL), for
// tests that drive it.
#define OVDLG_ID_TEXT 100
#define OVDLG_ID_COUNTDOWN 101
#define OVDLG_ID_ICON 102

#ifdef __cplusplus
}
#endif
