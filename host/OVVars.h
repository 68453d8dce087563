// The variables subsystem as the rest of the host sees it.
#pragma once

#include <string>

// Creates the variable table with the built-in variables and puts the three
// variable services into the host record (before plug-ins load).
void InitVariables();
// Reads the stored user variables (after the plug-ins have registered
// theirs) and writes them back (at exit).
void LoadUserVariables();
void SaveUserVariables();
// Frees the table at the very end.
void FreeVariables();

// Handlers of the messages AddVariable, DeleteVariable and SetVariable.
void HandleAddVariable(const char* name, const char* value);
void HandleDeleteVariable(const char* name);
// Expands every variable reference of a text.
std::string ExpandVariables(const std::string& text);
