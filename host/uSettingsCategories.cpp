// The job categories and their file "cats.ini":
//   [Categories]
//   Count=2
//   CAT0=Backups,512
//   CAT1=Reports,77
#include <windows.h>

#include <cctype>
#include <climits>
#include <map>
#include <random>

#include "Host.h"
#include "OVError.h"
#include "uSettings.h"

TCategories Categories;
const char kCategoriesFile[] = "cats.ini";

namespace {

constexpr int32_t kMaxCategoryNumber = 2147483646;
bool g_loaded = false;

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

// A whole decimal number without sign; false for anything else.
bool ParseNumber(const std::string& text, long long* out) {
  if (text.empty() || text.size() > 18) return false;
  long long v = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    v = v * 10 + (c - '0');
  }
  *out = v;
  return true;
}

// The keys of one section of an INI text (names in lower case, the first
// of a repeated key wins, as the system's reader has it).
std::map<std::string, std::string> ReadSection(const std::string& text, const std::string& section) {
  std::map<std::string, std::string> keys;
  bool inside = false;
  size_t pos = 0;
  while (pos < text.size()) {
    size_t end = text.find_first_of("\r\n", pos);
    if (end == std::string::npos) end = text.size();
    std::string line = Trim(text.substr(pos, end - pos));
    pos = end + 1;
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[') {
      size_t close = line.find(']');
      inside = close != std::string::npos && Lower(Trim(line.substr(1, close - 1))) == Lower(section);
      continue;
    }
    size_t eq = line.find('=');
    if (!inside || eq == std::string::npos) continue;
    keys.emplace(Lower(Trim(line.substr(0, eq))), Trim(line.substr(eq + 1)));
  }
  return keys;
}

}  // namespace

bool operator==(const TCategory& a, const TCategory& b) { return a.Name == b.Name && a.Number == b.Number; }

TCategories::TCategories() : items_{{"All Jobs", 0}} {}

int TCategories::IndexOf(int32_t number) const {
  for (size_t i = 0; i < items_.size(); ++i)
    if (items_[i].Number == number) return static_cast<int>(i);
  return -1;
}

std::vector<TCategory> TCategories::UserCategories() const { return {items_.begin() + 1, items_.end()}; }

void TCategories::Assign(const std::vector<TCategory>& categories) {
  items_.resize(1);
  items_.insert(items_.end(), categories.begin(), categories.end());
}

int32_t TCategories::NewNumber() const {
  static std::mt19937 rng(std::random_device{}() ^ GetTickCount() ^ GetCurrentProcessId());
  std::uniform_int_distribution<int32_t> pick(1, kMaxCategoryNumber);
  int32_t n;
  do n = pick(rng);
  while (IndexOf(n) >= 0);
  return n;
}

std::vector<std::string> TCategories::LoadFromFile(const std::string& path) {
  items_.resize(1);
  std::vector<std::string> warnings;
  HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return warnings;
  std::string text;
  char buf[4096];
  DWORD got = 0;
  // A categories file is small; a huge one is read in part.
  while (text.size() < (1u << 20) && ReadFile(h, buf, sizeof buf, &got, nullptr) && got > 0) text.append(buf, got);
  CloseHandle(h);

  auto keys = ReadSection(text, "Categories");
  long long count = 0;
  auto c = keys.find("count");
  if (c != keys.end() && !ParseNumber(c->second, &count)) {
    warnings.push_back(Format("%s: Count=%s is not a number; the categories are read up to the first missing one",
                              kCategoriesFile, c->second.c_str()));
    count = INT_MAX;
  }
  for (long long i = 0; i < count; ++i) {
    auto entry = keys.find("cat" + std::to_string(i));
    if (entry == keys.end()) break;
    const std::string& value = entry->second;
    auto skip = [&](const std::string& why) {
      warnings.push_back(Format("%s: CAT%lld=%s skipped: %s", kCategoriesFile, i, value.c_str(), why.c_str()));
    };
    // Split at the last comma: the number never holds one.
    size_t comma = value.rfind(',');
    if (comma == std::string::npos) {
      skip("it has no category number");
      continue;
    }
    std::string name = value.substr(0, comma);
    std::string numberText = Trim(value.substr(comma + 1));
    long long number = 0;
    if (!ParseNumber(numberText, &number) || number > kMaxCategoryNumber) {
      skip("\"" + numberText + "\" is not a category number");
      continue;
    }
    if (number == 0) {
      skip("category number 0 is \"All Jobs\"");
      continue;
    }
    if (IndexOf(static_cast<int32_t>(number)) >= 0) {
      skip("category number " + numberText + " is used twice");
      continue;
    }
    items_.push_back({name, static_cast<int32_t>(number)});
  }
  return warnings;
}

void TCategories::SaveToFile(const std::string& path) const {
  std::string text = "[Categories]\r\nCount=" + std::to_string(items_.size() - 1) + "\r\n";
  for (size_t i = 1; i < items_.size(); ++i) {
    std::string name = items_[i].Name;
    // A line break would end the entry early.
    for (char& ch : name)
      if (ch == '\r' || ch == '\n') ch = ' ';
    text += "CAT" + std::to_string(i - 1) + "=" + name + "," + std::to_string(items_[i].Number) + "\r\n";
  }
  // Written beside the file and moved over it: a crash leaves either the
  // old list or the new one, never half of one.
  std::string temp = path + ".tmp";
  HANDLE h = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  DWORD code = ERROR_SUCCESS;
  if (h == INVALID_HANDLE_VALUE) {
    code = GetLastError();
  } else {
    DWORD written = 0;
    if (!WriteFile(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size() || !FlushFileBuffers(h)) {
      code = GetLastError();
      if (code == ERROR_SUCCESS) code = ERROR_WRITE_FAULT;
    }
    CloseHandle(h);
    if (code == ERROR_SUCCESS &&
        !MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      code = GetLastError();
    if (code != ERROR_SUCCESS) DeleteFileA(temp.c_str());
  }
  if (code != ERROR_SUCCESS)
    RaiseError("Cannot save the categories to \"%s\" (error %lu)", path.c_str(), static_cast<unsigned long>(code));
}

std::vector<std::string> LoadCategories() {
  g_loaded = true;
  return Categories.LoadFromFile(IncludeTrailingBackslash(Settings.JobDir) + kCategoriesFile);
}

bool SaveCategories(std::string* error) {
  // A list that was never read is not written over the user's file.
  if (!g_loaded) return true;
  const std::string path = IncludeTrailingBackslash(Settings.JobDir) + kCategoriesFile;
  // No categories and no file: there is nothing to keep.
  if (Categories.Count() == 1 && GetFileAttributesA(path.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
  try {
    Categories.SaveToFile(path);
    return true;
  } catch (const std::exception& e) {
    if (error) *error = e.what();
    return false;
  }
}
