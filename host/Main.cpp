// Program entry: the main window runs the program's life.
#include <windows.h>

#include "uMain.h"

int WINAPI WinMain(HINSTANCE inst, HINSTANCE, LPSTR, int) { return OrvaneMain(inst); }
