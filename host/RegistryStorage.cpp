#include "RegistryStorage.h"

#include <cmath>
#include <cstring>

#include "OVError.h"

namespace {

// A value larger than this is not one of ours: it keeps its default.
constexpr DWORD kMaxValueBytes = 1 << 20;

bool g_rootRead = false;
std::string g_root;

std::string SystemText(LONG code) {
  char buf[512] = "";
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(code), 0, buf, sizeof buf, nullptr);
  while (n > 0 && (buf[n - 1] == '\r' || buf[n - 1] == '\n' || buf[n - 1] == ' ' || buf[n - 1] == '.'))
    buf[--n] = 0;
  return n ? std::string(buf) : Format("error %ld", static_cast<long>(code));
}

bool Fits(TRegItemType type, const TRegVariable& v) {
  switch (type) {
    case ritBoolean:
      return std::holds_alternative<bool*>(v);
    case ritCurrency:
      return std::holds_alternative<int64_t*>(v);
    case ritDate:
    case ritDateTime:
    case ritFloat:
    case ritTime:
      return std::holds_alternative<double*>(v);
    case ritExpandString:
    case ritString:
      return std::holds_alternative<std::string*>(v);
    case ritInteger:
      return std::holds_alternative<int32_t*>(v);
    case ritColor:
      return std::holds_alternative<uint32_t*>(v);
  }
  return false;
}

// The raw bytes of a value; false when it is missing, too large or keeps
// changing under the reader.
bool ReadRaw(HKEY key, const std::string& name, DWORD* type, std::vector<BYTE>* data) {
  for (int attempt = 0; attempt < 3; ++attempt) {
    DWORD size = 0;
    if (RegQueryValueExA(key, name.c_str(), nullptr, type, nullptr, &size) != ERROR_SUCCESS) return false;
    if (size > kMaxValueBytes) return false;
    data->assign(size, 0);
    DWORD got = size;
    LONG r = RegQueryValueExA(key, name.c_str(), nullptr, type, data->empty() ? nullptr : data->data(), &got);
    if (r == ERROR_MORE_DATA) continue;
    if (r != ERROR_SUCCESS) return false;
    data->resize(got);
    return true;
  }
  return false;
}

}  // namespace

// ------------------------------------------------------------ redirection

void SetRegistryRoot(const std::string& root) {
  g_root = root;
  while (!g_root.empty() && g_root.back() == '\\') g_root.pop_back();
  g_rootRead = true;
}

std::string RegistryRoot() {
  if (!g_rootRead) {
    char buf[1024];
    DWORD n = GetEnvironmentVariableA("ORVANE_REGISTRY", buf, sizeof buf);
    SetRegistryRoot(n > 0 && n < sizeof buf ? std::string(buf, n) : std::string());
  }
  return g_root;
}

TRegLocation RegistryLocation(HKEY root, const std::string& path, REGSAM view) {
  std::string redirect = RegistryRoot();
  if (redirect.empty()) return {root, path, view};
  const char* hive = root == HKEY_LOCAL_MACHINE ? "HKLM" : root == HKEY_CURRENT_USER ? "HKCU" : "OTHER";
  return {HKEY_CURRENT_USER, redirect + "\\" + hive + "\\" + path, 0};
}

std::string RegistryErrorText(const std::string& value, LONG code) {
  return Format("Value \"%s\": %s", value.c_str(), SystemText(code).c_str());
}

// ---------------------------------------------------------------- storage

TRegistryStorage::TRegistryStorage(HKEY root, std::string keyPath, REGSAM view)
    : where_{root, std::move(keyPath), view} {}

int TRegistryStorage::AddItem(const std::string& name, TRegItemType type, TRegVariable variable) {
  if (!Fits(type, variable) || std::visit([](auto* p) { return p == nullptr; }, variable))
    RaiseError("Registry item \"%s\" has no variable of type %d", name.c_str(), static_cast<int>(type));
  if (IndexOf(name) >= 0) return -1;
  items_.push_back({name, type, variable});
  return Count() - 1;
}

int TRegistryStorage::IndexOf(const std::string& name) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].Name == name) return static_cast<int>(i);
  return -1;
}

bool TRegistryStorage::Load() {
  TRegLocation at = RegistryLocation(where_.Root, where_.Path, where_.View);
  HKEY key;
  if (RegOpenKeyExA(at.Root, at.Path.c_str(), 0, KEY_READ | at.View, &key) != ERROR_SUCCESS) return false;
  std::vector<BYTE> data;
  for (const TItem& item : items_) {
    DWORD type = 0;
    if (!ReadRaw(key, item.Name, &type, &data)) continue;
    const TRegVariable& v = item.Variable;
    uint32_t dword = 0;
    bool isDword = type == REG_DWORD && data.size() == 4;
    if (isDword) std::memcpy(&dword, data.data(), 4);
    bool isEight = type == REG_BINARY && data.size() == 8;
    switch (item.Type) {
      case ritBoolean:
        if (isDword) *std::get<bool*>(v) = dword != 0;
        break;
      case ritInteger:
        if (isDword) *std::get<int32_t*>(v) = static_cast<int32_t>(dword);
        break;
      case ritColor:
        if (isDword) *std::get<uint32_t*>(v) = dword;
        break;
      case ritCurrency:
        if (isEight) std::memcpy(std::get<int64_t*>(v), data.data(), 8);
        break;
      case ritDate:
      case ritDateTime:
      case ritFloat:
      case ritTime: {
        double d;
        if (!isEight) break;
        std::memcpy(&d, data.data(), 8);
        if (std::isfinite(d)) *std::get<double*>(v) = d;
        break;
      }
      case ritString:
      case ritExpandString:
        // Either string form will do; the text ends at its first zero or
        // at the end of the stored bytes, whichever comes first.
        if (type == REG_SZ || type == REG_EXPAND_SZ) {
          const char* p = reinterpret_cast<const char*>(data.data());
          *std::get<std::string*>(v) = std::string(p, strnlen(p, data.size()));
        }
        break;
    }
  }
  RegCloseKey(key);
  return true;
}

bool TRegistryStorage::Write(HKEY key, const TItem& item, std::string* error) const {
  const TRegVariable& v = item.Variable;
  LONG r = ERROR_SUCCESS;
  auto dword = [&](uint32_t d) {
    return RegSetValueExA(key, item.Name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&d), 4);
  };
  switch (item.Type) {
    case ritBoolean:
      r = dword(*std::get<bool*>(v) ? 1 : 0);
      break;
    case ritInteger:
      r = dword(static_cast<uint32_t>(*std::get<int32_t*>(v)));
      break;
    case ritColor:
      r = dword(*std::get<uint32_t*>(v));
      break;
    case ritCurrency:
      r = RegSetValueExA(key, item.Name.c_str(), 0, REG_BINARY,
                         reinterpret_cast<const BYTE*>(std::get<int64_t*>(v)), 8);
      break;
    case ritDate:
    case ritDateTime:
    case ritFloat:
    case ritTime:
      r = RegSetValueExA(key, item.Name.c_str(), 0, REG_BINARY,
                         reinterpret_cast<const BYTE*>(std::get<double*>(v)), 8);
      break;
    case ritString:
    case ritExpandString: {
      // Up to the first zero, with its terminator.
      const char* s = std::get<std::string*>(v)->c_str();
      r = RegSetValueExA(key, item.Name.c_str(), 0, item.Type == ritString ? REG_SZ : REG_EXPAND_SZ,
                         reinterpret_cast<const BYTE*>(s), static_cast<DWORD>(std::strlen(s) + 1));
      break;
    }
  }
  if (r == ERROR_SUCCESS) return true;
  if (error) *error = RegistryErrorText(item.Name, r);
  return false;
}

bool TRegistryStorage::WriteAll(const std::vector<const TItem*>& items, std::string* error) {
  TRegLocation at = RegistryLocation(where_.Root, where_.Path, where_.View);
  HKEY key;
  LONG r = RegCreateKeyExA(at.Root, at.Path.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE | at.View,
                           nullptr, &key, nullptr);
  if (r != ERROR_SUCCESS) {
    if (error) *error = Format("Key \"%s\": %s", where_.Path.c_str(), SystemText(r).c_str());
    return false;
  }
  bool ok = true;
  std::string first;
  for (const TItem* item : items) {
    std::string e;
    if (!Write(key, *item, &e) && ok) {
      ok = false;
      first = e;
    }
  }
  RegCloseKey(key);
  if (!ok && error) *error = first;
  return ok;
}

bool TRegistryStorage::Save(std::string* error) {
  std::vector<const TItem*> all;
  for (const TItem& item : items_) all.push_back(&item);
  return WriteAll(all, error);
}

bool TRegistryStorage::SaveItems(const std::vector<std::string>& names, std::string* error) {
  std::vector<const TItem*> some;
  for (const std::string& n : names) {
    int i = IndexOf(n);
    if (i < 0) RaiseError("No registry item \"%s\"", n.c_str());
    some.push_back(&items_[static_cast<size_t>(i)]);
  }
  return some.empty() || WriteAll(some, error);
}

bool TRegistryStorage::DeleteValue(const std::string& name, std::string* error) {
  TRegLocation at = RegistryLocation(where_.Root, where_.Path, where_.View);
  HKEY key;
  LONG r = RegOpenKeyExA(at.Root, at.Path.c_str(), 0, KEY_SET_VALUE | at.View, &key);
  if (r == ERROR_FILE_NOT_FOUND) return true;
  if (r == ERROR_SUCCESS) {
    r = RegDeleteValueA(key, name.c_str());
    RegCloseKey(key);
    if (r == ERROR_FILE_NOT_FOUND) r = ERROR_SUCCESS;
  }
  if (r == ERROR_SUCCESS) return true;
  if (error) *error = RegistryErrorText(name, r);
  return false;
}
