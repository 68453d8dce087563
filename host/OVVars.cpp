// Until the variable table exists, texts are used as written.
#include "OVVars.h"

void InitVariables() {}
void LoadUserVariables() {}
void SaveUserVariables() {}
void FreeVariables() {}
void HandleAddVariable(const char*, const char*) {}
void HandleDeleteVariable(const char*) {}
std::string ExpandVariables(const std::string& text) { return text; }
