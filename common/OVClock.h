// The program's clock and date arithmetic. Everything that reads the time
// of day (alarm clock, idle time, date variables, log time stamps) asks
// here, so that tests can set the time instead of waiting for it.
//
// Normally the clock is the system's local time. A test moves it
//  - in-process, with SetTestClock (fixed, or running on from a moment);
//  - for a whole program run, with the environment variable
//    ORVANE_CLOCK="yyyy-mm-dd hh:nn:ss": the clock starts at that local
//    time when the module first reads it and then runs on in real time.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

// Date-times are days since 1899-12-30 00:00, the fraction the time of day.
using TDateTime = double;

constexpr int64_t kMsPerDay = 86400000;

// Local now.
TDateTime OVNow();
void OVLocalTime(SYSTEMTIME* st);

// Fixes the clock at `now` (running = false) or lets it run on from `now`.
void SetTestClock(TDateTime now, bool running);
// Back to the system clock.
void ResetTestClock();

// Calendar helpers (proleptic Gregorian).
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeDateTime(int year, int month, int day, int hour, int minute,
                         int second, int ms = 0);
void DecodeDateTime(TDateTime t, SYSTEMTIME* st);
// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(TDateTime t);
// Milliseconds since midnight of t, 0..86399999.
int32_t TimeOfDayMs(TDateTime t);
// Whole days of t (the date at midnight).
TDateTime DateOf(TDateTime t);

// Parses "yyyy-mm-dd hh:nn:ss" (time part optional); false when malformed.
bool ParseDateTime(const std::string& text, TDateTime* out);

// The user's regional formats (read from the system on each call).
std::string FormatShortDate(TDateTime t);
std::string FormatLongTime(TDateTime t);
// Short date, a blank and long time; the date alone at exactly midnight.
std::string FormatDateTimeText(TDateTime t);
