// The variable services of the host record, the message handlers that
// change the table for plug-ins, and the stored user variables.
#include "OVVars.h"

#include <windows.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "Host.h"
#include "OVTypes.h"
#include "RegistryStorage.h"
#include "VarList.h"
#include "uVars.h"

const char kUserVariablesKey[] = "Software\\Halvorn\\Orvane\\User variables";

namespace {

std::string g_userVariablesKey = kUserVariablesKey;

// ---------------------------------------------------- host-record services

void OVAPI SvcExpandVariables(const char* src, char* dest, int32_t destSize) {
  try {
    if (!dest || destSize < 0) return;
    dest[0] = '\0';
    if (!src) return;
    std::string text = src;
    std::shared_ptr<TVarList> list = VarList();
    std::string out = list ? list->ExpandVars(text, static_cast<size_t>(destSize))
                           : text.substr(0, static_cast<size_t>(destSize));
    std::memcpy(dest, out.data(), out.size());
    dest[out.size()] = '\0';
  } catch (...) {
  }
}

Bool32 OVAPI SvcSelectVariable(char* dest, int32_t destSize) {
  try {
    if (!dest || destSize < 0) return OV_FALSE;
    dest[0] = '\0';
    // The dialog belongs to the main thread.
    if (!IsMainThread()) return OV_FALSE;
    std::string ref;
    if (!SelectVariable(nullptr, &ref)) return OV_FALSE;
    size_t n = std::min(ref.size(), static_cast<size_t>(destSize));
    std::memcpy(dest, ref.data(), n);
    dest[n] = '\0';
    return OV_TRUE;
  } catch (...) {
    return OV_FALSE;
  }
}

void OVAPI SvcRegisterVariable(const char* name, const char* description, TOVVarFunc func) {
  try {
    std::shared_ptr<TVarList> list = VarList();
    if (!list || !name || !func) return;
    list->AddVar(name, description ? description : "", vkSystem, func);
  } catch (...) {
  }
}

// ---------------------------------------------------------- the registry

std::string ValueName(size_t index) { return "VAR" + std::to_string(index); }

// Reads a text value; false when the value does not exist. A value that
// is not text reads as empty.
bool ReadText(HKEY key, const std::string& name, std::string* out, bool* isText) {
  DWORD type = 0, size = 0;
  if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS)
    return false;
  std::vector<char> buf(size + 1, '\0');
  DWORD got = size;
  if (RegQueryValueExA(key, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf.data()),
                       &got) != ERROR_SUCCESS)
    return false;
  *isText = type == REG_SZ || type == REG_EXPAND_SZ;
  *out = *isText ? std::string(buf.data()) : std::string();
  return true;
}

}  // namespace

void SetUserVariablesKey(const std::string& path) { g_userVariablesKey = path; }

void InitVariables() {
  SetRegionalSettings(ReadSystemRegionalSettings());
  auto list = std::make_shared<TVarList>();
  AddSystemVars(*list);
  SetVarList(list);
  HostRecord.ExpandVariables = SvcExpandVariables;
  HostRecord.SelectVariable = SvcSelectVariable;
  HostRecord.RegisterVariable = SvcRegisterVariable;
}

void FreeVariables() { SetVarList(nullptr); }

void LoadUserVariables() {
  std::shared_ptr<TVarList> list = VarList();
  if (!list) return;
  HKEY key;
  TRegLocation at = RegistryLocation(HKEY_CURRENT_USER, g_userVariablesKey);
  if (RegCreateKeyExA(at.Root, at.Path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return;
  std::string text;
  bool isText = false;
  for (size_t i = 0; ReadText(key, ValueName(i), &text, &isText); ++i) {
    // A value of another type is not a variable; the ones after it still are.
    if (!isText) continue;
    size_t eq = text.find('=');
    std::string name = eq == std::string::npos ? text : text.substr(0, eq);
    std::string value = eq == std::string::npos ? text : text.substr(eq + 1);
    // Names a plug-in has registered meanwhile keep the plug-in's variable.
    list->AddVar(name, value, vkUser, UserVarFunc);
  }
  RegCloseKey(key);
}

void SaveUserVariables() {
  std::shared_ptr<TVarList> list = VarList();
  if (!list) return;
  HKEY key;
  TRegLocation at = RegistryLocation(HKEY_CURRENT_USER, g_userVariablesKey);
  if (RegCreateKeyExA(at.Root, at.Path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key,
                      nullptr) != ERROR_SUCCESS)
    return;
  size_t count = 0;
  for (const TVarEntry& e : list->Entries()) {
    if (e.Kind != vkUser) continue;
    std::string text = e.Name + "=" + e.Description;
    RegSetValueExA(key, ValueName(count++).c_str(), 0, REG_SZ,
                   reinterpret_cast<const BYTE*>(text.c_str()), static_cast<DWORD>(text.size() + 1));
  }
  // Variables deleted since the last save leave their values behind.
  while (RegDeleteValueA(key, ValueName(count).c_str()) == ERROR_SUCCESS) ++count;
  RegCloseKey(key);
}

void HandleAddVariable(const char* name, const char* value) {
  std::shared_ptr<TVarList> list = VarList();
  if (!list || !name) return;
  if (list->AddVar(name, value ? value : "", vkUser, UserVarFunc) < 0)
    HostLog(OV_LOG_WARNING, "Variable " + std::string(name) + " already exists");
}

void HandleDeleteVariable(const char* name) {
  std::shared_ptr<TVarList> list = VarList();
  if (!list || !name) return;
  if (!list->DeleteVarByName(name)) HostLog(OV_LOG_WARNING, "Variable " + std::string(name) + " not exists");
}

std::string ExpandVariables(const std::string& text) {
  std::shared_ptr<TVarList> list = VarList();
  return list ? list->ExpandVars(text) : text;
}
