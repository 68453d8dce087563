// The variables subsystem as the rest of the host sees it.
#pragma once

#include <windows.h>

#include <string>

// Creates the variable table with the built-in variables, reads the
// regional formats and puts the three variable services into the host
// record (before plug-ins load).
void InitVariables();
// Reads the stored user variables (after the plug-ins have registered
// theirs) and writes them back (whenever the settings are saved).
void LoadUserVariables();
void SaveUserVariables();
// A user variable was added, changed or deleted: the set is saved a moment
// later on the main thread (WM_TIMER kUserVariablesSaveTimer of the
// application window calls SaveUserVariables), so a crash loses nothing.
void UserVariablesChanged();
constexpr UINT_PTR kUserVariablesSaveTimer = 0x5556;
// Frees the table at the very end.
void FreeVariables();

// Registry key (under HKEY_CURRENT_USER) of the stored user variables.
// Tests point it elsewhere.
extern const char kUserVariablesKey[];
void SetUserVariablesKey(const std::string& path);

// Handlers of the messages AddVariable, DeleteVariable and SetVariable.
void HandleAddVariable(const char* name, const char* value);
void HandleDeleteVariable(const char* name);
// Expands every variable reference of a text.
std::string ExpandVariables(const std::string& text);
