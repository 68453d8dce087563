// The host's message table 0x6000..0x6015, handled on the main thread for
// the application window and the main window alike.
#pragma once

#include <windows.h>

LRESULT HandleHostMessage(UINT msg, WPARAM wp, LPARAM lp);
