// The variable table and the expansion of variable references.
//
// One process-wide TVarList holds the built-in variables, those that
// plug-ins register with their own evaluators and the user's variables.
// Job threads expand texts while the main thread may change the table, so
// the table is kept as an immutable snapshot: a change builds a new one and
// publishes it under a short lock, and a reader takes the current snapshot
// under the same lock and works on it without holding anything. Evaluators
// therefore always run with no lock held.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "OVTypes.h"

// Kinds of entries.
constexpr int vkSystem = 0;  // built-in and plug-in variables
constexpr int vkUser = 1;    // the user's variables (stored in the registry)

// Evaluators have the signature of the plug-in contract, so a plug-in's own
// evaluator and the host's are called the same way.
using TVarFunc = TOVVarFunc;

// Keys and arguments reach an evaluator in buffers of this many characters
// (plus the terminator); the value buffer holds kVarValueCapacity + 1.
constexpr size_t kVarKeyCapacity = 1024;
constexpr int32_t kVarValueCapacity = 65536;
// Descriptions (the values of user variables) are cut to this length.
constexpr size_t kVarDescriptionLength = 255;
// Evaluations nested deeper than this (a user variable that refers to
// itself, a text file that includes itself) fail, so the reference that
// would go deeper stands as its own text without delimiters.
constexpr int kMaxVarDepth = 16;

struct TVarEntry {
  std::string Name;         // upper case, may carry a sample argument
  std::string Description;  // the value, for user variables
  TVarFunc Func = nullptr;
  int Kind = vkSystem;
  std::string Key;  // NormalizeVarName(Name)
};

// Lookup key of a written name: "%IncDays(-1)%" -> "INCDAYS".
std::string NormalizeVarName(const std::string& name);
// Argument of a written name: "IncDays(-1)" -> "-1".
std::string VarArgument(const std::string& name);
// Locale-aware upper case of the system code page.
std::string VarUpperCase(const std::string& text);

class TVarList {
 public:
  TVarList();
  TVarList(const TVarList&) = delete;
  TVarList& operator=(const TVarList&) = delete;

  // Upper-cases the name; -1 when an entry of exactly that name exists,
  // otherwise the index where the entry now stands.
  int AddVar(const std::string& name, const std::string& description, int kind, TVarFunc func);
  // Index of the first entry whose key is the key of the written name.
  int IndexOfVar(const std::string& name) const;
  // Value of one reference (the text between its delimiters).
  std::string GetVarValue(const std::string& ref) const;
  // Value of a reference when it names a variable; false when it does not.
  bool TryGetVarValue(const std::string& ref, std::string* value) const;
  // Replaces every reference of the text. The result is cut to `limit`
  // characters; a caller that will cut it anyway passes its capacity so
  // that nothing past it is evaluated.
  std::string ExpandVars(const std::string& text, size_t limit = std::string::npos) const;
  void DeleteVar(int index);
  // Looks the written name up by key and deletes that entry; false when
  // no entry has that key.
  bool DeleteVarByName(const std::string& name);
  void Clear();

  int Count() const;
  std::string Names(int index) const;
  std::string Descriptions(int index) const;
  int Kinds(int index) const;
  // A consistent copy of every entry in table order.
  std::vector<TVarEntry> Entries() const;

  // The immutable table the readers share.
  struct TTable {
    std::vector<TVarEntry> entries;
    std::unordered_map<std::string, int> firstByKey;
    size_t maxKeyLength = 0;
    std::vector<bool> keyLengths;  // keyLengths[n]: some key has n characters
  };
  using TTablePtr = std::shared_ptr<const TTable>;
  TTablePtr Snapshot() const;

 private:
  void Publish(std::vector<TVarEntry> entries);
  std::string Evaluate(const TTable& table, int index, const std::string& ref) const;

  mutable std::mutex lock_;
  TTablePtr table_;
};

// The one table of the process (null before InitVariables and after
// FreeVariables). Holding the pointer keeps the table alive.
std::shared_ptr<TVarList> VarList();
void SetVarList(std::shared_ptr<TVarList> list);

// The evaluators of the built-in variables and of user variables.
Bool32 OVAPI SystemVarFunc(const char* key, const char* arg, char* buffer, int32_t capacity);
Bool32 OVAPI UserVarFunc(const char* key, const char* arg, char* buffer, int32_t capacity);

// The built-in variables in the order they are registered.
struct TSystemVarInfo {
  const char* Name;
  const char* Description;
};
extern const TSystemVarInfo kSystemVars[28];
// Adds the 28 built-in variables.
void AddSystemVars(TVarList& list);

// The regional formats and names behind the date variables, read from the
// system at start-up. Tests fix them with SetRegionalSettings.
struct TRegionalSettings {
  std::string ShortDateFormat;   // picture for GetDateFormat
  std::string LongTimeFormat;    // picture for GetTimeFormat
  std::string LongDayNames[7];   // [0] = Sunday
  std::string ShortDayNames[7];
  std::string LongMonthNames[12];  // [0] = January
  std::string ShortMonthNames[12];
};
TRegionalSettings ReadSystemRegionalSettings();
void SetRegionalSettings(const TRegionalSettings& settings);
std::shared_ptr<const TRegionalSettings> RegionalSettings();
