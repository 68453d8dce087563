#include "OVClock.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// Days from 1899-12-30 to the civil date (Howard Hinnant's algorithm).
int64_t DaysFromCivil(int64_t y, int m, int d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const int64_t yoe = y - era * 400;
  const int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const int64_t unixDays = era * 146097 + doe - 719468;
  return unixDays + 25569;  // 1970-01-01 is day 25569
}

void CivilFromDays(int64_t days, int* y, int* m, int* d) {
  int64_t z = days - 25569 + 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const int64_t doe = z - era * 146097;
  const int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const int64_t mp = (5 * doy + 2) / 153;
  *d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  *m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  *y = static_cast<int>(yoe + era * 400 + (*m <= 2));
}

int64_t ToMs(TDateTime t) { return static_cast<int64_t>(std::llround(t * kMsPerDay)); }
TDateTime FromMs(int64_t ms) { return static_cast<double>(ms) / kMsPerDay; }

int64_t SystemNowMs() {
  SYSTEMTIME st;
  GetLocalTime(&st);
  return ToMs(EncodeDateTime(st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute,
                             st.wSecond, st.wMilliseconds));
}

// Clock state: mode 0 system, 1 fixed at base, 2 running from base since tick.
std::atomic<int> g_mode{-1};  // -1: environment not read yet
std::atomic<int64_t> g_baseMs{0};
std::atomic<int64_t> g_baseTick{0};

int64_t Tick() { return static_cast<int64_t>(GetTickCount64()); }

void ReadEnvironmentOnce() {
  int expected = -1;
  if (g_mode.load() != -1) return;
  char buf[64];
  DWORD n = GetEnvironmentVariableA("ORVANE_CLOCK", buf, sizeof buf);
  TDateTime t;
  if (n > 0 && n < sizeof buf && ParseDateTime(buf, &t)) {
    g_baseMs = ToMs(t);
    g_baseTick = Tick();
    g_mode.compare_exchange_strong(expected, 2);
  } else {
    g_mode.compare_exchange_strong(expected, 0);
  }
}

}  // namespace

TDateTime OVNow() {
  ReadEnvironmentOnce();
  switch (g_mode.load()) {
    case 1:
      return FromMs(g_baseMs);
    case 2:
      return FromMs(g_baseMs + (Tick() - g_baseTick));
    default:
      return FromMs(SystemNowMs());
  }
}

void OVLocalTime(SYSTEMTIME* st) { DecodeDateTime(OVNow(), st); }

void SetTestClock(TDateTime now, bool running) {
  ReadEnvironmentOnce();
  g_baseMs = ToMs(now);
  g_baseTick = Tick();
  g_mode = running ? 2 : 1;
}

void ResetTestClock() { g_mode = 0; }

bool IsLeapYear(int year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

int DaysInMonth(int year, int month) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (month < 1 || month > 12) return 0;
  return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}

TDateTime EncodeDate(int year, int month, int day) {
  return static_cast<double>(DaysFromCivil(year, month, day));
}

TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute,
                         int second, int ms) {
  int64_t dayMs = ((static_cast<int64_t>(hour) * 60 + minute) * 60 + second) * 1000 + ms;
  return FromMs(DaysFromCivil(year, month, day) * kMsPerDay + dayMs);
}

void DecodeDateTime(TDateTime t, SYSTEMTIME* st) {
  int64_t ms = ToMs(t);
  int64_t days = ms >= 0 ? ms / kMsPerDay : -((-ms + kMsPerDay - 1) / kMsPerDay);
  int64_t rest = ms - days * kMsPerDay;
  int y, m, d;
  CivilFromDays(days, &y, &m, &d);
  st->wYear = static_cast<WORD>(y);
  st->wMonth = static_cast<WORD>(m);
  st->wDay = static_cast<WORD>(d);
  st->wHour = static_cast<WORD>(rest / 3600000);
  st->wMinute = static_cast<WORD>(rest / 60000 % 60);
  st->wSecond = static_cast<WORD>(rest / 1000 % 60);
  st->wMilliseconds = static_cast<WORD>(rest % 1000);
  // 1899-12-30 was a Saturday (wDayOfWeek 6).
  st->wDayOfWeek = static_cast<WORD>(((days % 7) + 7 + 6) % 7);
}

int DayOfWeek(TDateTime t) {
  SYSTEMTIME st;
  DecodeDateTime(t, &st);
  return st.wDayOfWeek + 1;
}

int32_t TimeOfDayMs(TDateTime t) {
  int64_t ms = ToMs(t);
  int64_t r = ms % kMsPerDay;
  if (r < 0) r += kMsPerDay;
  return static_cast<int32_t>(r);
}

TDateTime DateOf(TDateTime t) {
  int64_t ms = ToMs(t);
  int64_t days = ms >= 0 ? ms / kMsPerDay : -((-ms + kMsPerDay - 1) / kMsPerDay);
  return static_cast<double>(days);
}

bool ParseDateTime(const std::string& text, TDateTime* out) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
  int n = std::sscanf(text.c_str(), "%d-%d-%d %d:%d:%d", &y, &mo, &d, &h, &mi, &s);
  if (n != 3 && n != 6) return false;
  if (mo < 1 || mo > 12 || d < 1 || d > DaysInMonth(y, mo) || h < 0 || h > 23 ||
      mi < 0 || mi > 59 || s < 0 || s > 59)
    return false;
  *out = EncodeDateTime(y, mo, d, h, mi, s);
  return true;
}

std::string FormatShortDate(TDateTime t) {
  SYSTEMTIME st;
  DecodeDateTime(t, &st);
  char buf[128];
  int n = GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buf, sizeof buf);
  return n > 0 ? std::string(buf) : std::string();
}

std::string FormatLongTime(TDateTime t) {
  SYSTEMTIME st;
  DecodeDateTime(t, &st);
  st.wMilliseconds = 0;
  char buf[128];
  int n = GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &st, nullptr, buf, sizeof buf);
  return n > 0 ? std::string(buf) : std::string();
}

std::string FormatDateTimeText(TDateTime t) {
  std::string s = FormatShortDate(t);
  if (TimeOfDayMs(t) != 0) s += " " + FormatLongTime(t);
  return s;
}
