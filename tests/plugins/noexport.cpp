// A library that is not a plug-in: it lacks the InitOVPlugin export.
#include <windows.h>

extern "C" int __stdcall SomethingElse(int x) { return x + 1; }
