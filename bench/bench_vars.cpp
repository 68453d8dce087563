// Expands a 64 KB text holding 1,000 variable references through the host
// record, the way a step's parameter reaches a plug-in, and prints the time
// next to that of the same text without references.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "Host.h"
#include "OVVars.h"
#include "VarList.h"

namespace {

const char* const kRefs[] = {
    "%Date%",        "%Time%",           "%DateTime%",         "|Year|",
    "%MonthNo%",     "%Day%",            "%IncDays(-1)%",      "%YearIncDays(-1)%",
    "%TempDir%",     "%WinDir%",         "%UserName%",         "%ComputerName%",
    "%BACKUPDIR%",   "%PREFIX(DayOfWeekNo)%", "%DayOfWeek%",   "%IncMonths(-13)%",
    "%EnvironmentVar(TEMP)%", "%ShortYearIncDays(1)%", "%MonthName%", "%NOSUCHVAR%",
};

std::string Filler(size_t n, unsigned seed) {
  static const char words[] = "copy the reports of 100% of the branches to the archive ";
  std::string s;
  for (size_t i = 0; s.size() < n; ++i) s += words[(i + seed) % (sizeof words - 1)];
  return s.substr(0, n);
}

double Millis(LARGE_INTEGER a, LARGE_INTEGER b, LARGE_INTEGER f) {
  return 1000.0 * static_cast<double>(b.QuadPart - a.QuadPart) / static_cast<double>(f.QuadPart);
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

}  // namespace

int main() {
  InitVariables();
  HandleAddVariable("BackupDir", "D:\\Backup\\%Year%-%MonthNo%");
  HandleAddVariable("Prefix", "x,sun,mon,tue,wed,thu,fri,sat");

  const size_t kSize = 64 * 1024, kCount = 1000;
  std::string text;
  for (size_t i = 0; i < kCount; ++i) {
    text += Filler(kSize / kCount - 12, static_cast<unsigned>(i));
    text += kRefs[i % (sizeof kRefs / sizeof kRefs[0])];
  }
  text += Filler(kSize - std::min(kSize, text.size()), 7);
  std::string plain = Filler(text.size(), 3);

  std::vector<char> out(OV_EXPAND_BUFFER + 1);
  LARGE_INTEGER f, a, b;
  QueryPerformanceFrequency(&f);
  std::vector<double> full, copy;
  for (int run = 0; run < 60; ++run) {
    QueryPerformanceCounter(&a);
    HostRecord.ExpandVariables(text.c_str(), out.data(), OV_EXPAND_BUFFER);
    QueryPerformanceCounter(&b);
    if (run >= 10) full.push_back(Millis(a, b, f));
    QueryPerformanceCounter(&a);
    HostRecord.ExpandVariables(plain.c_str(), out.data(), OV_EXPAND_BUFFER);
    QueryPerformanceCounter(&b);
    if (run >= 10) copy.push_back(Millis(a, b, f));
  }
  HostRecord.ExpandVariables(text.c_str(), out.data(), OV_EXPAND_BUFFER);
  std::printf("text: %u bytes, %u references -> %u bytes\n", static_cast<unsigned>(text.size()),
              static_cast<unsigned>(kCount), static_cast<unsigned>(strlen(out.data())));
  std::printf("expand: %.3f ms (median of %u runs)\n", Median(full), static_cast<unsigned>(full.size()));
  std::printf("same size without references: %.3f ms\n", Median(copy));
  std::printf("target: under 10 ms\n");
  FreeVariables();
  return 0;
}
