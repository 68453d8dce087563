// A store that binds named registry values to program variables, and the
// one place that decides where in the registry the program's keys live.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

// How an item's variable is held in the registry. The codes are stable.
enum TRegItemType : int {
  ritBoolean = 0,       // bool: REG_DWORD, 1 or 0 (any non-zero reads as on)
  ritCurrency = 1,      // int64_t in ten-thousandths: 8 bytes REG_BINARY
  ritDate = 2,          // double day number: 8 bytes REG_BINARY
  ritDateTime = 3,      // double day number: 8 bytes REG_BINARY
  ritExpandString = 4,  // std::string: REG_EXPAND_SZ
  ritFloat = 5,         // double: 8 bytes REG_BINARY
  ritInteger = 6,       // int32_t: REG_DWORD
  ritString = 7,        // std::string: REG_SZ
  ritTime = 8,          // double day fraction: 8 bytes REG_BINARY
  ritColor = 9,         // uint32_t colour: REG_DWORD
};

using TRegVariable = std::variant<bool*, int64_t*, double*, std::string*, int32_t*, uint32_t*>;

// Where a key really is: the redirection below applied.
struct TRegLocation {
  HKEY Root;
  std::string Path;
  REGSAM View;  // KEY_WOW64_64KEY or 0
};

// Maps a key of the program to where it is read and written. Normally that
// is the key itself. With a registry root set (the environment variable
// ORVANE_REGISTRY, read at the first call, or SetRegistryRoot), every key
// lives under HKEY_CURRENT_USER\<root>\HKCU\... or \HKLM\...: tests and
// trial runs leave the user's own settings and the system's values alone.
// The variable is inherited by every program that Orvane or ovjobrun start.
TRegLocation RegistryLocation(HKEY root, const std::string& path, REGSAM view = 0);
void SetRegistryRoot(const std::string& root);
std::string RegistryRoot();

// "Value \"%s\": <system message>" for a failed registry call.
std::string RegistryErrorText(const std::string& value, LONG code);

class TRegistryStorage {
 public:
  // view: KEY_WOW64_64KEY to reach the system's own view of HKLM from the
  // 32-bit edition on 64-bit Windows; 0 for the default view.
  TRegistryStorage(HKEY root, std::string keyPath, REGSAM view = 0);
  TRegistryStorage(const TRegistryStorage&) = delete;
  TRegistryStorage& operator=(const TRegistryStorage&) = delete;

  // Appends an item and returns its index; -1 and nothing added when an item
  // of that name (case-sensitive) exists. A variable that does not fit the
  // type is a programming error and raises.
  int AddItem(const std::string& name, TRegItemType type, TRegVariable variable);
  int Count() const { return static_cast<int>(items_.size()); }
  const std::string& Name(int index) const { return items_.at(static_cast<size_t>(index)).Name; }
  TRegItemType Type(int index) const { return items_.at(static_cast<size_t>(index)).Type; }
  int IndexOf(const std::string& name) const;

  // Opens the key without creating it and reads, item by item, each value
  // that exists in the item's form; a missing value or one of another type
  // or size leaves its variable alone. False when the key cannot be opened.
  bool Load();
  // Opens the key, creating it, and writes every item in order. False when
  // the key cannot be opened or a value cannot be written; *error names
  // the first failure.
  bool Save(std::string* error = nullptr);
  // The same for the named items only.
  bool SaveItems(const std::vector<std::string>& names, std::string* error = nullptr);
  // Deletes a value; true when it is gone afterwards (also when the key or
  // the value never existed).
  bool DeleteValue(const std::string& name, std::string* error = nullptr);

 private:
  struct TItem {
    std::string Name;
    TRegItemType Type;
    TRegVariable Variable;
  };
  bool Write(HKEY key, const TItem& item, std::string* error) const;
  bool WriteAll(const std::vector<const TItem*>& items, std::string* error);

  TRegLocation where_;
  std::vector<TItem> items_;
};
