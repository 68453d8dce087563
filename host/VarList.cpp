#include "VarList.h"

#include <algorithm>
#include <cstring>

#include "CallGuard.h"
#include "Host.h"
#include "OVClock.h"
#include "OVCommaText.h"
#include "OVError.h"

namespace {

// ------------------------------------------------------------ upper case

struct TUpperTable {
  unsigned char map[256];
  bool singleByte = true;
  TUpperTable() {
    for (int i = 0; i < 256; ++i) map[i] = static_cast<unsigned char>(i);
    for (int i = 1; i < 256; ++i) {
      char c = static_cast<char>(i);
      CharUpperBuffA(&c, 1);
      map[i] = static_cast<unsigned char>(c);
    }
    CPINFO info;
    if (GetCPInfo(CP_ACP, &info)) singleByte = info.MaxCharSize == 1;
  }
};

const TUpperTable& UpperTable() {
  static const TUpperTable table;
  return table;
}

// ------------------------------------------------------ the table itself

int CompareNames(const std::string& a, const std::string& b) {
  int r = CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE | SORT_STRINGSORT, a.data(),
                         static_cast<int>(a.size()), b.data(), static_cast<int>(b.size()));
  if (r == CSTR_LESS_THAN) return -1;
  if (r == CSTR_GREATER_THAN) return 1;
  return a.compare(b);
}

std::mutex g_varListLock;
std::shared_ptr<TVarList> g_varList;

// How deep evaluations are nested on this thread.
thread_local int t_varDepth = 0;
// The entry whose evaluator runs on this thread: a user variable's value
// comes from the copy that was looked up, even if the table has changed
// since.
thread_local const TVarEntry* t_evaluating = nullptr;

struct TDepthGuard {
  explicit TDepthGuard(const TVarEntry* entry) : outer_(t_evaluating) {
    ++t_varDepth;
    t_evaluating = entry;
  }
  ~TDepthGuard() {
    --t_varDepth;
    t_evaluating = outer_;
  }
  const TVarEntry* outer_;
  TDepthGuard(const TDepthGuard&) = delete;
  TDepthGuard& operator=(const TDepthGuard&) = delete;
};

}  // namespace

// The host's own evaluators called without their buffers (further down).
bool EvaluateHostVar(TVarFunc func, const std::string& key, const std::string& arg, size_t capacity,
                     std::string* value);

std::string VarUpperCase(const std::string& text) {
  const TUpperTable& t = UpperTable();
  std::string s = text;
  if (t.singleByte) {
    for (char& c : s) c = static_cast<char>(t.map[static_cast<unsigned char>(c)]);
  } else if (!s.empty()) {
    // Double-byte code pages: the system knows which bytes are lead bytes.
    size_t done = 0;
    while (done < s.size()) {
      DWORD chunk = static_cast<DWORD>(std::min<size_t>(s.size() - done, 1u << 30));
      CharUpperBuffA(&s[done], chunk);
      done += chunk;
    }
  }
  return s;
}

std::string NormalizeVarName(const std::string& name) {
  std::string s = name;
  char delimiter = 0;
  if (s.find('%') != std::string::npos)
    delimiter = '%';
  else if (s.find('|') != std::string::npos)
    delimiter = '|';
  if (delimiter) s.erase(std::remove(s.begin(), s.end(), delimiter), s.end());
  size_t open = s.find('('), close = s.find(')');
  if (open != std::string::npos && close != std::string::npos && close > open)
    s.erase(open, close - open + 1);
  return VarUpperCase(s);
}

std::string VarArgument(const std::string& name) {
  size_t open = name.find('('), close = name.find(')');
  if (open == std::string::npos || close == std::string::npos || close < open) return {};
  return name.substr(open + 1, close - open - 1);
}

// ----------------------------------------------------------------- TVarList

TVarList::TVarList() { Publish({}); }

void TVarList::Publish(std::vector<TVarEntry> entries) {
  auto t = std::make_shared<TTable>();
  t->entries = std::move(entries);
  for (size_t i = 0; i < t->entries.size(); ++i) {
    const std::string& key = t->entries[i].Key;
    t->firstByKey.emplace(key, static_cast<int>(i));
    t->maxKeyLength = std::max(t->maxKeyLength, key.size());
  }
  t->keyLengths.assign(t->maxKeyLength + 1, false);
  for (const TVarEntry& e : t->entries) t->keyLengths[e.Key.size()] = true;
  table_ = std::move(t);
}

TVarList::TTablePtr TVarList::Snapshot() const {
  std::lock_guard<std::mutex> g(lock_);
  return table_;
}

int TVarList::AddVar(const std::string& name, const std::string& description, int kind,
                     TVarFunc func) {
  TVarEntry e;
  e.Name = VarUpperCase(name);
  e.Description = description.substr(0, kVarDescriptionLength);
  e.Func = func;
  e.Kind = kind;
  e.Key = NormalizeVarName(e.Name);
  std::lock_guard<std::mutex> g(lock_);
  const auto& old = table_->entries;
  size_t at = old.size();
  for (size_t i = 0; i < old.size(); ++i) {
    if (old[i].Name == e.Name) return -1;
    if (at == old.size() && CompareNames(old[i].Name, e.Name) > 0) at = i;
  }
  std::vector<TVarEntry> entries;
  entries.reserve(old.size() + 1);
  entries.insert(entries.end(), old.begin(), old.begin() + static_cast<ptrdiff_t>(at));
  entries.push_back(std::move(e));
  entries.insert(entries.end(), old.begin() + static_cast<ptrdiff_t>(at), old.end());
  Publish(std::move(entries));
  return static_cast<int>(at);
}

int TVarList::IndexOfVar(const std::string& name) const {
  TTablePtr t = Snapshot();
  auto it = t->firstByKey.find(NormalizeVarName(name));
  return it == t->firstByKey.end() ? -1 : it->second;
}

void TVarList::DeleteVar(int index) {
  std::lock_guard<std::mutex> g(lock_);
  if (index < 0 || static_cast<size_t>(index) >= table_->entries.size()) return;
  std::vector<TVarEntry> entries = table_->entries;
  entries.erase(entries.begin() + index);
  Publish(std::move(entries));
}

bool TVarList::DeleteVarByName(const std::string& name) {
  std::string key = NormalizeVarName(name);
  std::lock_guard<std::mutex> g(lock_);
  auto it = table_->firstByKey.find(key);
  if (it == table_->firstByKey.end()) return false;
  std::vector<TVarEntry> entries = table_->entries;
  entries.erase(entries.begin() + it->second);
  Publish(std::move(entries));
  return true;
}

void TVarList::Clear() {
  std::lock_guard<std::mutex> g(lock_);
  Publish({});
}

int TVarList::Count() const { return static_cast<int>(Snapshot()->entries.size()); }

std::string TVarList::Names(int index) const {
  TTablePtr t = Snapshot();
  return index >= 0 && static_cast<size_t>(index) < t->entries.size() ? t->entries[index].Name
                                                                       : std::string();
}

std::string TVarList::Descriptions(int index) const {
  TTablePtr t = Snapshot();
  return index >= 0 && static_cast<size_t>(index) < t->entries.size()
             ? t->entries[index].Description
             : std::string();
}

int TVarList::Kinds(int index) const {
  TTablePtr t = Snapshot();
  return index >= 0 && static_cast<size_t>(index) < t->entries.size() ? t->entries[index].Kind
                                                                       : -1;
}

std::vector<TVarEntry> TVarList::Entries() const { return Snapshot()->entries; }

// Calls the entry's evaluator on a reference; a failure of any kind gives
// the reference's own text. The snapshot holds the entry, so the table may
// change meanwhile.
std::string TVarList::Evaluate(const TTable& table, int index, const std::string& ref) const {
  try {
    const TVarEntry& e = table.entries.at(static_cast<size_t>(index));
    const std::string& key = e.Key;
    std::string arg = VarArgument(ref);
    if (!e.Func || key.size() > kVarKeyCapacity || arg.size() > kVarKeyCapacity) return ref;
    if (t_varDepth >= kMaxVarDepth) return ref;
    TDepthGuard depth(&e);
    std::string result;
    // The host's own evaluators hand their value over without the buffer.
    if (EvaluateHostVar(e.Func, key, arg, kVarValueCapacity, &result)) return result;
    char keyBuf[kVarKeyCapacity + 1];
    char argBuf[kVarKeyCapacity + 1];
    std::memcpy(keyBuf, key.c_str(), key.size() + 1);
    std::memcpy(argBuf, arg.c_str(), arg.size() + 1);
    std::unique_ptr<char[]> value(new char[kVarValueCapacity + 1]);
    value[0] = '\0';
    TVarFunc func = e.Func;
    char* out = value.get();
    // A plug-in's evaluator: a fault inside it fails this evaluation only.
    Bool32 ok = Guarded("VarFunc", "???", [&] { return func(keyBuf, argBuf, out, kVarValueCapacity); });
    value[kVarValueCapacity] = '\0';
    return ok ? std::string(value.get()) : ref;
  } catch (...) {
    return ref;
  }
}

bool TVarList::TryGetVarValue(const std::string& ref, std::string* value) const {
  TTablePtr t = Snapshot();
  std::string key;
  try {
    key = NormalizeVarName(ref);
  } catch (...) {
    *value = ref;
    return true;
  }
  auto it = t->firstByKey.find(key);
  if (it == t->firstByKey.end()) return false;
  *value = Evaluate(*t, it->second, ref);
  return true;
}

std::string TVarList::GetVarValue(const std::string& ref) const {
  std::string value;
  return TryGetVarValue(ref, &value) ? value : std::string();
}

// ------------------------------------------------------------- expansion
//
// The scan tries, for every "%" or "|", each later position holding the
// same character as the closing one, nearest first, until the text between
// names a variable. Done literally that costs the square of the delimiters
// and the length of each candidate; a report full of "%" signs would hang.
// The scanner below gives the same result while looking at only a bounded
// number of candidates per opening: a candidate's key length follows from
// counts of delimiters, keys longer than the longest key in the table
// cannot match, and within a stretch of candidates where the same
// delimiter is removed and the same parentheses apply that length only
// grows.

namespace {

struct TDelimiters {
  std::vector<uint32_t> pos;     // positions of one delimiter, ascending
  std::vector<uint32_t> runEnd;  // runEnd[k]: last index of the run of adjacent ones from k

  void Finish() {
    runEnd.resize(pos.size());
    for (size_t k = pos.size(); k-- > 0;)
      runEnd[k] = k + 1 < pos.size() && pos[k + 1] == pos[k] + 1 ? runEnd[k + 1]
                                                                   : static_cast<uint32_t>(k);
  }
  size_t LowerBound(uint32_t x) const {
    return static_cast<size_t>(std::lower_bound(pos.begin(), pos.end(), x) - pos.begin());
  }
  size_t UpperBound(uint32_t x) const {
    return static_cast<size_t>(std::upper_bound(pos.begin(), pos.end(), x) - pos.begin());
  }
  // How many lie in [x, y).
  uint32_t Count(uint32_t x, uint32_t y) const {
    return y <= x ? 0 : static_cast<uint32_t>(LowerBound(y) - LowerBound(x));
  }
};

class TScanner {
 public:
  TScanner(const std::string& text, const TVarList::TTable& table) : s_(text), t_(table) {
    n_ = static_cast<uint32_t>(text.size());
    for (uint32_t i = 0; i < n_; ++i) {
      if (s_[i] == '%')
        pct_.pos.push_back(i);
      else if (s_[i] == '|')
        bar_.pos.push_back(i);
    }
    pct_.Finish();
    bar_.Finish();
  }

  const TDelimiters& Pct() const { return pct_; }
  const TDelimiters& Bar() const { return bar_; }

  // Looks for the closing delimiter of the opening at list index kp;
  // on success the reference runs from the opening to *close and names
  // table entry *entry.
  bool Find(const TDelimiters& list, size_t kp, uint32_t* close, int* entry) {
    const uint32_t p = list.pos[kp];
    const char c = s_[p];
    const uint32_t from = p + 1;
    const size_t kPct = pct_.LowerBound(from);
    const uint32_t firstPct = kPct < pct_.pos.size() ? pct_.pos[kPct] : n_;
    const uint32_t open = NextOf('(', from, openCursor_);
    const uint32_t shut = NextOf(')', from, closeCursor_);
    const bool paren = open < n_ && shut < n_ && open < shut;
    const size_t maxLen = t_.maxKeyLength;

    size_t k = kp + 1;
    while (k < list.pos.size()) {
      const uint32_t q = list.pos[k];
      // The name loses every "%" when it holds one, otherwise every "|".
      const bool hasPct = firstPct < q;
      const TDelimiters& removed = hasPct ? pct_ : bar_;
      const char d = hasPct ? '%' : '|';
      const bool cut = paren && shut < q;
      uint64_t len;
      if (cut)
        len = (open - from) - removed.Count(from, open) + (q - shut - 1) - removed.Count(shut + 1, q);
      else
        len = (q - from) - removed.Count(from, q);
      if (len > maxLen) {
        // Every later candidate of this stretch is longer still; the next
        // stretch begins after the first "%" or after the ")".
        uint32_t threshold = n_;
        if (!hasPct) threshold = firstPct;
        if (paren && !cut) threshold = std::min(threshold, shut);
        if (threshold >= n_) return false;
        k = list.UpperBound(threshold);
        continue;
      }
      if (t_.keyLengths[len]) {
        std::string key;
        key.reserve(len);
        AppendWithout(removed, from, cut ? open : q, key);
        if (cut) AppendWithout(removed, shut + 1, q, key);
        auto it = t_.firstByKey.find(VarUpperCase(key));
        if (it != t_.firstByKey.end()) {
          *close = q;
          *entry = it->second;
          return true;
        }
      }
      // Closing characters that the name loses give the same key again.
      k = d == c ? list.runEnd[k] + 1 : k + 1;
    }
    return false;
  }

 private:
  // First position >= from holding ch, or n; the openings only move
  // forward, so one cursor per character serves the whole scan.
  uint32_t NextOf(char ch, uint32_t from, int64_t& cursor) const {
    if (cursor >= static_cast<int64_t>(from)) return static_cast<uint32_t>(cursor);
    if (from >= n_) return n_;
    const void* hit = std::memchr(s_.data() + from, ch, n_ - from);
    cursor = hit ? static_cast<const char*>(hit) - s_.data() : n_;
    return static_cast<uint32_t>(cursor);
  }

  // Appends s[x, y) without the removed delimiter, skipping its runs whole.
  void AppendWithout(const TDelimiters& removed, uint32_t x, uint32_t y, std::string& out) const {
    size_t kd = removed.LowerBound(x);
    uint32_t cur = x;
    while (cur < y) {
      uint32_t next = kd < removed.pos.size() && removed.pos[kd] < y ? removed.pos[kd] : y;
      out.append(s_, cur, next - cur);
      if (next >= y) break;
      kd = removed.runEnd[kd];
      cur = removed.pos[kd] + 1;
      ++kd;
    }
  }

  const std::string& s_;
  const TVarList::TTable& t_;
  uint32_t n_;
  TDelimiters pct_, bar_;
  int64_t openCursor_ = -1;
  int64_t closeCursor_ = -1;
};

}  // namespace

std::string TVarList::ExpandVars(const std::string& text, size_t limit) const {
  if (text.size() < 2 || text.find_first_of("%|") == std::string::npos || limit == 0)
    return text.substr(0, limit);
  if (text.size() >= 0x7FFFFFFF) return text.substr(0, limit);
  TTablePtr table = Snapshot();
  TScanner scan(text, *table);
  const TDelimiters& pct = scan.Pct();
  const TDelimiters& bar = scan.Bar();
  const uint32_t n = static_cast<uint32_t>(text.size());
  std::string out;
  uint32_t copied = 0;  // text before this position is in out
  size_t kp = 0, kb = 0;
  for (;;) {
    // The next delimiter at or after the scan position.
    const uint32_t pp = kp < pct.pos.size() ? pct.pos[kp] : n;
    const uint32_t pb = kb < bar.pos.size() ? bar.pos[kb] : n;
    const bool isPct = pp < pb;
    const uint32_t p = isPct ? pp : pb;
    // An opening needs at least one character after it.
    if (p + 1 >= n) break;
    uint32_t close;
    int entry;
    if (scan.Find(isPct ? pct : bar, isPct ? kp : kb, &close, &entry)) {
      out.append(text, copied, p - copied);
      out += Evaluate(*table, entry, text.substr(p + 1, close - p - 1));
      copied = close + 1;
      if (out.size() >= limit) {
        out.resize(limit);
        return out;
      }
      kp = pct.LowerBound(copied);
      kb = bar.LowerBound(copied);
    } else if (isPct) {
      ++kp;
    } else {
      ++kb;
    }
  }
  out.append(text, copied, std::string::npos);
  if (out.size() > limit) out.resize(limit);
  return out;
}

std::shared_ptr<TVarList> VarList() {
  std::lock_guard<std::mutex> g(g_varListLock);
  return g_varList;
}

void SetVarList(std::shared_ptr<TVarList> list) {
  std::lock_guard<std::mutex> g(g_varListLock);
  g_varList = std::move(list);
}

// ---------------------------------------------------- regional settings

namespace {

std::mutex g_regionalLock;
std::shared_ptr<const TRegionalSettings> g_regional;

std::string LocaleText(LCTYPE type) {
  char buf[256];
  int n = GetLocaleInfoA(LOCALE_USER_DEFAULT, type, buf, sizeof buf);
  return n > 0 ? std::string(buf) : std::string();
}

}  // namespace

TRegionalSettings ReadSystemRegionalSettings() {
  TRegionalSettings r;
  r.ShortDateFormat = LocaleText(LOCALE_SSHORTDATE);
  r.LongTimeFormat = LocaleText(LOCALE_STIMEFORMAT);
  // The system counts weekdays from Monday; the table from Sunday.
  for (int i = 0; i < 7; ++i) {
    r.LongDayNames[(i + 1) % 7] = LocaleText(LOCALE_SDAYNAME1 + i);
    r.ShortDayNames[(i + 1) % 7] = LocaleText(LOCALE_SABBREVDAYNAME1 + i);
  }
  for (int i = 0; i < 12; ++i) {
    r.LongMonthNames[i] = LocaleText(LOCALE_SMONTHNAME1 + i);
    r.ShortMonthNames[i] = LocaleText(LOCALE_SABBREVMONTHNAME1 + i);
  }
  return r;
}

void SetRegionalSettings(const TRegionalSettings& settings) {
  auto p = std::make_shared<const TRegionalSettings>(settings);
  std::lock_guard<std::mutex> g(g_regionalLock);
  g_regional = std::move(p);
}

std::shared_ptr<const TRegionalSettings> RegionalSettings() {
  {
    std::lock_guard<std::mutex> g(g_regionalLock);
    if (g_regional) return g_regional;
  }
  auto p = std::make_shared<const TRegionalSettings>(ReadSystemRegionalSettings());
  std::lock_guard<std::mutex> g(g_regionalLock);
  if (!g_regional) g_regional = std::move(p);
  return g_regional;
}

// ---------------------------------------------------- built-in variables

const TSystemVarInfo kSystemVars[28] = {
    {"Time", "Current time"},
    {"Date", "Current date"},
    {"DateTime", "Current date & time"},
    {"DayOfWeek", "Current day of week"},
    {"TempDir", "Temporary directory"},
    {"WinDir", "Windows directory"},
    {"SystemDir", "Windows system directory"},
    {"UserName", "User name"},
    {"ComputerName", "Computer name"},
    {"TextFile(file_name)", "Contents of text file"},
    {"Year", "Current year"},
    {"MonthNo", "Current month number"},
    {"Day", "Current day"},
    {"Hours", "Current hours"},
    {"Minutes", "Current minutes"},
    {"Seconds", "Current seconds"},
    {"MonthName", "Current month name"},
    {"ShortMonthName", "Current month short name"},
    {"ShortYear", "Two-digits current year"},
    {"DayOfWeekNo", "Current day of week numbar"},
    {"ShortDayOfWeek", "Current day of week short name"},
    {"IncDays(-1)", "Current day \xB1 number of days"},
    {"IncMonths(-1)", "Current month \xB1 number of months"},
    {"IncYears(-1)", "Current year \xB1 number of years"},
    {"MonthIncDays(-1)", "Current month \xB1 number of days"},
    {"YearIncDays(-1)", "Current year \xB1 number of days"},
    {"ShortYearIncDays(-1)", "Two-digits current year \xB1 number of days"},
    {"EnvironmentVar(Path)", "Get environment variable"},
};

void AddSystemVars(TVarList& list) {
  for (const TSystemVarInfo& v : kSystemVars) list.AddVar(v.Name, v.Description, vkSystem, SystemVarFunc);
}

namespace {

enum TSystemRow {
  svTime, svDate, svDateTime, svDayOfWeek, svTempDir, svWinDir, svSystemDir, svUserName,
  svComputerName, svTextFile, svYear, svMonthNo, svDay, svHours, svMinutes, svSeconds,
  svMonthName, svShortMonthName, svShortYear, svDayOfWeekNo, svShortDayOfWeek, svIncDays,
  svIncMonths, svIncYears, svMonthIncDays, svYearIncDays, svShortYearIncDays, svEnvironmentVar,
};

// Lookup keys of the built-in names, in table order.
const std::vector<std::string>& SystemKeys() {
  static const std::vector<std::string> keys = [] {
    std::vector<std::string> k;
    for (const TSystemVarInfo& v : kSystemVars) k.push_back(NormalizeVarName(v.Name));
    return k;
  }();
  return keys;
}

// Date-times the calendar can show: the years 1 to 9999.
constexpr double kFirstDay = -693593.0;  // 0001-01-01
constexpr double kLastDay = 2958466.0;   // 10000-01-01

int32_t ParseWholeNumber(const std::string& text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  if (i >= text.size()) RaiseError("'%s' is not a valid integer value", text.c_str());
  int64_t v = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9' || v > 0x80000000LL)
      RaiseError("'%s' is not a valid integer value", text.c_str());
    v = v * 10 + (text[i] - '0');
  }
  if (negative) v = -v;
  if (v < INT32_MIN || v > INT32_MAX) RaiseError("'%s' is not a valid integer value", text.c_str());
  return static_cast<int32_t>(v);
}

std::string TwoDigits(int v) {
  std::string s = std::to_string(v);
  return s.size() < 2 ? std::string(2 - s.size(), '0') + s : s;
}

// The third and fourth characters of the decimal year.
std::string ShortYearOf(int year) {
  std::string s = std::to_string(year);
  return s.size() > 2 ? s.substr(2, 2) : std::string();
}

SYSTEMTIME Decode(TDateTime t) {
  if (t < kFirstDay || t >= kLastDay) RaiseError("Date out of range");
  SYSTEMTIME st;
  DecodeDateTime(t, &st);
  return st;
}

SYSTEMTIME DaysFromNow(TDateTime now, const std::string& arg) {
  return Decode(now + ParseWholeNumber(arg));
}

// Today's date moved by months and years, the day cut to the length of
// the target month; false when the result leaves the years 1..9999.
bool IncMonthsYears(int year, int month, int day, int64_t months, int64_t years, int* outYear,
                    int* outMonth, int* outDay) {
  int64_t y = year + years + months / 12;
  int64_t m = month + months % 12;
  if (m < 1) {
    m += 12;
    --y;
  } else if (m > 12) {
    m -= 12;
    ++y;
  }
  if (y < 1 || y > 9999) return false;
  *outYear = static_cast<int>(y);
  *outMonth = static_cast<int>(m);
  *outDay = std::min(day, DaysInMonth(*outYear, *outMonth));
  return true;
}

SYSTEMTIME MonthsFromNow(TDateTime now, int64_t months, int64_t years) {
  SYSTEMTIME st = Decode(now);
  int y, m, d;
  if (!IncMonthsYears(st.wYear, st.wMonth, st.wDay, months, years, &y, &m, &d))
    RaiseError("Date out of range");
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(m);
  st.wDay = static_cast<WORD>(d);
  return st;
}

std::string FormatDate(const SYSTEMTIME& st, const TRegionalSettings& r) {
  char buf[256];
  const char* picture = r.ShortDateFormat.empty() ? nullptr : r.ShortDateFormat.c_str();
  int n = GetDateFormatA(LOCALE_USER_DEFAULT, picture ? 0 : DATE_SHORTDATE, &st, picture, buf,
                         sizeof buf);
  return n > 0 ? std::string(buf) : std::string();
}

std::string FormatTime(SYSTEMTIME st, const TRegionalSettings& r) {
  st.wMilliseconds = 0;
  char buf[256];
  const char* picture = r.LongTimeFormat.empty() ? nullptr : r.LongTimeFormat.c_str();
  int n = GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, picture, buf, sizeof buf);
  return n > 0 ? std::string(buf) : std::string();
}

using TDirFunc = UINT(WINAPI*)(LPSTR, UINT);

std::string SystemDirectory(TDirFunc fn) {
  char buf[1024];
  UINT n = fn(buf, sizeof buf);
  return IncludeTrailingBackslash(n > 0 && n < sizeof buf ? std::string(buf, n) : std::string());
}

std::string TempDirectory() {
  char buf[1024];
  DWORD n = GetTempPathA(sizeof buf, buf);
  return IncludeTrailingBackslash(n > 0 && n < sizeof buf ? std::string(buf, n) : std::string());
}

std::string UserNameText() {
  char buf[1024];
  DWORD n = sizeof buf;
  return GetUserNameA(buf, &n) ? std::string(buf) : std::string();
}

// The name the computer started with; asking the system each time costs a
// registry round trip.
std::string ComputerNameText() {
  static const std::string name = [] {
    char buf[1024];
    DWORD n = sizeof buf;
    return GetComputerNameA(buf, &n) ? std::string(buf, n) : std::string();
  }();
  return name;
}

std::string EnvironmentText(const std::string& name) {
  char small[1024];
  DWORD n = GetEnvironmentVariableA(name.c_str(), small, sizeof small);
  if (n < sizeof small) return std::string(small, n);
  std::vector<char> buf(n + 1);
  n = GetEnvironmentVariableA(name.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
  return n < buf.size() ? std::string(buf.data(), n) : std::string();
}

// Files larger than this are not read into a variable: the value could
// never show more than a sliver of them.
constexpr uint64_t kMaxTextFileSize = 16u << 20;

std::string TextFileText(const std::string& name, size_t capacity) {
  if (!FileExists(name)) return "File " + name + " does not exists";
  HANDLE h = CreateFileA(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) RaiseError("Cannot open file %s", name.c_str());
  std::string raw;
  LARGE_INTEGER size;
  bool ok = GetFileSizeEx(h, &size) && static_cast<uint64_t>(size.QuadPart) <= kMaxTextFileSize;
  if (ok) {
    raw.resize(static_cast<size_t>(size.QuadPart));
    DWORD got = 0;
    ok = raw.empty() || (ReadFile(h, &raw[0], static_cast<DWORD>(raw.size()), &got, nullptr) &&
                         got == raw.size());
  }
  CloseHandle(h);
  if (!ok) RaiseError("Cannot read file %s", name.c_str());
  // Lines end at CR LF, CR or LF and are joined with CR LF; a break at the
  // very end makes no empty last line.
  std::string text;
  text.reserve(raw.size() + raw.size() / 16);
  for (size_t i = 0; i < raw.size(); ++i) {
    char ch = raw[i];
    if (ch == '\r' || ch == '\n') {
      if (ch == '\r' && i + 1 < raw.size() && raw[i + 1] == '\n') ++i;
      text += "\r\n";
    } else {
      text += ch;
    }
  }
  if (text.size() >= 2 && text.compare(text.size() - 2, 2, "\r\n") == 0) text.resize(text.size() - 2);
  std::shared_ptr<TVarList> list = VarList();
  return list ? list->ExpandVars(text, capacity) : text;
}

std::string SystemValue(const std::string& key, const std::string& arg, size_t capacity) {
  const auto& keys = SystemKeys();
  auto it = std::find(keys.begin(), keys.end(), key);
  if (it == keys.end()) return key;
  const TDateTime now = OVNow();
  auto regional = RegionalSettings();
  const TRegionalSettings& r = *regional;
  switch (static_cast<TSystemRow>(it - keys.begin())) {
    case svTime:
      return FormatTime(Decode(now), r);
    case svDate:
      return FormatDate(Decode(now), r);
    case svDateTime: {
      SYSTEMTIME st = Decode(now);
      std::string s = FormatDate(st, r);
      if (TimeOfDayMs(now) != 0) s += " " + FormatTime(st, r);
      return s;
    }
    case svDayOfWeek:
      return r.LongDayNames[Decode(now).wDayOfWeek];
    case svTempDir:
      return TempDirectory();
    case svWinDir:
      return SystemDirectory(GetWindowsDirectoryA);
    case svSystemDir:
      return SystemDirectory(GetSystemDirectoryA);
    case svUserName:
      return UserNameText();
    case svComputerName:
      return ComputerNameText();
    case svTextFile:
      return TextFileText(arg, capacity);
    case svYear:
      return std::to_string(Decode(now).wYear);
    case svMonthNo:
      return TwoDigits(Decode(now).wMonth);
    case svDay:
      return TwoDigits(Decode(now).wDay);
    case svHours:
      return TwoDigits(Decode(now).wHour);
    case svMinutes:
      return TwoDigits(Decode(now).wMinute);
    case svSeconds:
      return TwoDigits(Decode(now).wSecond);
    case svMonthName:
      return r.LongMonthNames[Decode(now).wMonth - 1];
    case svShortMonthName:
      return r.ShortMonthNames[Decode(now).wMonth - 1];
    case svShortYear:
      return ShortYearOf(Decode(now).wYear);
    case svDayOfWeekNo:
      return TwoDigits(Decode(now).wDayOfWeek + 1);
    case svShortDayOfWeek:
      return r.ShortDayNames[Decode(now).wDayOfWeek];
    case svIncDays:
      return TwoDigits(DaysFromNow(now, arg).wDay);
    case svIncMonths:
      return TwoDigits(MonthsFromNow(now, ParseWholeNumber(arg), 0).wMonth);
    case svIncYears:
      return std::to_string(MonthsFromNow(now, 0, ParseWholeNumber(arg)).wYear);
    case svMonthIncDays:
      return TwoDigits(DaysFromNow(now, arg).wMonth);
    case svYearIncDays:
      return std::to_string(DaysFromNow(now, arg).wYear);
    case svShortYearIncDays:
      return ShortYearOf(DaysFromNow(now, arg).wYear);
    case svEnvironmentVar:
      return EnvironmentText(arg);
  }
  return key;
}

void CopyValue(const std::string& value, char* buffer, int32_t capacity) {
  size_t n = std::min(value.size(), static_cast<size_t>(std::max(capacity, 0)));
  std::memcpy(buffer, value.data(), n);
  buffer[n] = '\0';
}

}  // namespace


namespace {

// The built-in evaluator; raises on a failed evaluation.
std::string SystemEvaluate(const std::string& key, const std::string& arg, size_t capacity) {
  std::string argument = arg;
  // An argument that names a variable stands for its value.
  if (std::shared_ptr<TVarList> list = VarList()) {
    std::string value;
    if (list->TryGetVarValue(argument, &value)) argument = value;
  }
  std::string v = SystemValue(key, argument, capacity);
  if (v.size() > capacity) v.resize(capacity);
  return v;
}

// The evaluator of user variables; raises on a failed evaluation.
std::string UserEvaluate(const std::string& key, const std::string& arg, size_t capacity) {
  std::shared_ptr<TVarList> list = VarList();
  if (!list) RaiseError("No variables");
  std::string stored;
  if (t_evaluating && t_evaluating->Key == key) {
    stored = t_evaluating->Description;
  } else {
    TVarList::TTablePtr t = list->Snapshot();
    auto it = t->firstByKey.find(key);
    if (it == t->firstByKey.end()) RaiseError("Variable %s not exists", key.c_str());
    stored = t->entries[static_cast<size_t>(it->second)].Description;
  }
  std::string selector = list->GetVarValue(arg);
  if (selector.empty()) return list->ExpandVars(stored, capacity);
  std::vector<std::string> items = SplitCommaText(stored);
  if (items.empty()) RaiseError("List index out of bounds (0)");
  int64_t i = 0;
  try {
    i = ParseWholeNumber(selector);
  } catch (const EOVError&) {
    i = 0;
  }
  if (i < 0 || i >= static_cast<int64_t>(items.size())) i = 0;
  return list->ExpandVars(items[static_cast<size_t>(i)], capacity);
}

}  // namespace

bool EvaluateHostVar(TVarFunc func, const std::string& key, const std::string& arg, size_t capacity,
                     std::string* value) {
  if (func == SystemVarFunc)
    *value = SystemEvaluate(key, arg, capacity);
  else if (func == UserVarFunc)
    *value = UserEvaluate(key, arg, capacity);
  else
    return false;
  // What a caller of the plain evaluator would see: the text up to a zero.
  size_t zero = value->find('\0');
  if (zero != std::string::npos) value->resize(zero);
  return true;
}

Bool32 OVAPI SystemVarFunc(const char* key, const char* arg, char* buffer, int32_t capacity) {
  try {
    if (!key || !buffer) return OV_FALSE;
    size_t cap = static_cast<size_t>(std::max(capacity, 0));
    CopyValue(SystemEvaluate(key, arg ? arg : "", cap), buffer, capacity);
    return OV_TRUE;
  } catch (...) {
    return OV_FALSE;
  }
}

Bool32 OVAPI UserVarFunc(const char* key, const char* arg, char* buffer, int32_t capacity) {
  try {
    if (!key || !buffer) return OV_FALSE;
    size_t cap = static_cast<size_t>(std::max(capacity, 0));
    CopyValue(UserEvaluate(key, arg ? arg : "", cap), buffer, capacity);
    return OV_TRUE;
  } catch (...) {
    return OV_FALSE;
  }
}
