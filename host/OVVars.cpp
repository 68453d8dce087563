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

namespace {

// The key that holds a save in progress: written whole, marked complete,
// copied to the real key and removed. A save cut short at any moment
// leaves the old set or the new one, never a mixture.
std::string PendingKey() { return g_userVariablesKey + ".saving"; }
const char kCompleteValue[] = "Complete";

std::vector<std::string> ReadVarTexts(HKEY key) {
  std::vector<std::string> texts;
  std::string text;
  bool isText = false;
  for (size_t i = 0; ReadText(key, ValueName(i), &text, &isText); ++i) {
    // A value of another type is not a variable; the ones after it still are.
    if (isText) texts.push_back(text);
  }
  return texts;
}

bool WriteVarTexts(HKEY key, const std::vector<std::string>& texts) {
  size_t count = 0;
  for (const std::string& text : texts) {
    if (RegSetValueExA(key, ValueName(count++).c_str(), 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(text.c_str()),
                       static_cast<DWORD>(text.size() + 1)) != ERROR_SUCCESS)
      return false;
  }
  // Variables deleted since the last save leave their values behind.
  while (RegDeleteValueA(key, ValueName(count).c_str()) == ERROR_SUCCESS) ++count;
  return true;
}

HKEY OpenKey(const std::string& path, bool create) {
  HKEY key = nullptr;
  TRegLocation at = RegistryLocation(HKEY_CURRENT_USER, path);
  LONG r = create ? RegCreateKeyExA(at.Root, at.Path.c_str(), 0, nullptr, 0,
                                    KEY_READ | KEY_WRITE, nullptr, &key, nullptr)
                  : RegOpenKeyExA(at.Root, at.Path.c_str(), 0, KEY_READ | KEY_WRITE, &key);
  return r == ERROR_SUCCESS ? key : nullptr;
}

void DeletePendingKey() {
  TRegLocation at = RegistryLocation(HKEY_CURRENT_USER, PendingKey());
  RegDeleteKeyA(at.Root, at.Path.c_str());
}

// Writes the set into the real key through the pending key.
void StoreVarTexts(const std::vector<std::string>& texts) {
  DeletePendingKey();
  HKEY pending = OpenKey(PendingKey(), true);
  if (!pending) return;
  DWORD one = 1;
  bool complete = WriteVarTexts(pending, texts) &&
                  RegSetValueExA(pending, kCompleteValue, 0, REG_DWORD,
                                 reinterpret_cast<const BYTE*>(&one), sizeof one) == ERROR_SUCCESS;
  RegFlushKey(pending);
  RegCloseKey(pending);
  if (!complete) {
    DeletePendingKey();
    return;
  }
  HKEY key = OpenKey(g_userVariablesKey, true);
  if (!key) return;
  bool done = WriteVarTexts(key, texts);
  RegFlushKey(key);
  RegCloseKey(key);
  if (done) DeletePendingKey();
}

bool g_saveScheduled = false;

}  // namespace

void LoadUserVariables() {
  std::shared_ptr<TVarList> list = VarList();
  if (!list) return;
  std::vector<std::string> texts;
  // A save that was cut short after its set was complete is finished now;
  // one cut short before that is dropped (the real key is untouched).
  if (HKEY pending = OpenKey(PendingKey(), false)) {
    DWORD type = 0, value = 0, size = sizeof value;
    bool complete = RegQueryValueExA(pending, kCompleteValue, nullptr, &type,
                                     reinterpret_cast<BYTE*>(&value), &size) == ERROR_SUCCESS &&
                    type == REG_DWORD && value == 1;
    if (complete) texts = ReadVarTexts(pending);
    RegCloseKey(pending);
    if (complete)
      StoreVarTexts(texts);
    else
      DeletePendingKey();
  }
  HKEY key = OpenKey(g_userVariablesKey, true);
  if (!key) return;
  texts = ReadVarTexts(key);
  RegCloseKey(key);
  for (const std::string& text : texts) {
    size_t eq = text.find('=');
    std::string name = eq == std::string::npos ? text : text.substr(0, eq);
    std::string value = eq == std::string::npos ? text : text.substr(eq + 1);
    // Names a plug-in has registered meanwhile keep the plug-in's variable.
    list->AddVar(name, value, vkUser, UserVarFunc);
  }
}

void SaveUserVariables() {
  g_saveScheduled = false;
  if (HWND app = AppWindow()) KillTimer(app, kUserVariablesSaveTimer);
  std::shared_ptr<TVarList> list = VarList();
  if (!list) return;
  std::vector<std::string> texts;
  for (const TVarEntry& e : list->Entries())
    if (e.Kind == vkUser) texts.push_back(e.Name + "=" + e.Description);
  StoreVarTexts(texts);
}

void UserVariablesChanged() {
  // Changes that come close together are saved together, on the main
  // thread, a moment after the last of them.
  if (g_saveScheduled) return;
  HWND app = AppWindow();
  if (!app) return;
  if (SetTimer(app, kUserVariablesSaveTimer, 300, nullptr)) g_saveScheduled = true;
}

void HandleAddVariable(const char* name, const char* value) {
  std::shared_ptr<TVarList> list = VarList();
  if (!list || !name) return;
  if (list->AddVar(name, value ? value : "", vkUser, UserVarFunc) < 0)
    HostLog(OV_LOG_WARNING, "Variable " + std::string(name) + " already exists");
  else
    UserVariablesChanged();
}

void HandleDeleteVariable(const char* name) {
  std::shared_ptr<TVarList> list = VarList();
  if (!list || !name) return;
  if (!list->DeleteVarByName(name))
    HostLog(OV_LOG_WARNING, "Variable " + std::string(name) + " not exists");
  else
    UserVariablesChanged();
}

std::string ExpandVariables(const std::string& text) {
  std::shared_ptr<TVarList> list = VarList();
  return list ? list->ExpandVars(text) : text;
}
