#include "FileList.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "FileUtil.h"

// ------------------------------------------------------------ the block

bool ReadFileListSettings(const TOVMethodParams& params, TFileListSettings& s) {
  TBlockReader r(params);
  if (r.Empty()) return true;
  TFileListSettings read;
  read.SubDirs = false;
  r.String(read.Files);
  r.String(read.ExcMask);
  r.Bool(read.SubDirs);
  r.String(read.DestFile);
  if (!r.ok()) return false;
  // The date part and the decorations came later: blocks without them
  // list all files, with full paths and nothing around them.
  if (r.More()) {
    TDateFilter& f = read.Filter;
    r.Bool(f.AllFiles);
    if (!f.AllFiles) {
      r.Dword(f.Kind);
      if (f.Kind == 1) {
        r.Double(f.Date1);
        r.Double(f.Date2);
      } else {
        r.Dword(f.N);
      }
    }
    if (!r.ok()) return false;
  }
  if (r.More()) {
    r.Bool(read.WithoutPath);
    r.Bool(read.Before);
    r.Bool(read.After);
    r.Bool(read.BeforeLine);
    r.Bool(read.AfterLine);
    r.String(read.TextBefore);
    r.String(read.TextAfter);
    r.String(read.LinePrefix);
    r.String(read.LineSuffix);
    if (!r.ok()) return false;
  }
  s = std::move(read);
  return true;
}

void WriteFileListSettings(const TFileListSettings& s, TBlockWriter& w) {
  w.String(s.Files).String(s.ExcMask).Bool(s.SubDirs).String(s.DestFile);
  w.Bool(s.Filter.AllFiles);
  if (!s.Filter.AllFiles) {
    w.Dword(s.Filter.Kind);
    if (s.Filter.Kind == 1)
      w.Double(s.Filter.Date1).Double(s.Filter.Date2);
    else
      w.Dword(s.Filter.N);
  }
  w.Bool(s.WithoutPath).Bool(s.Before).Bool(s.After).Bool(s.BeforeLine).Bool(s.AfterLine);
  w.String(s.TextBefore).String(s.TextAfter).String(s.LinePrefix).String(s.LineSuffix);
}

// ------------------------------------------------------------ dates

int MonthsBetween(TDateTime a, TDateTime b) {
  if (a > b) std::swap(a, b);
  SYSTEMTIME e, l;
  DecodeDateTime(a, &e);
  DecodeDateTime(b, &l);
  int years = l.wYear - e.wYear, months = l.wMonth - e.wMonth, days = l.wDay - e.wDay;
  if (days < 0) {
    --months;
    days += DaysInMonth(e.wYear, e.wMonth);
  }
  if (months < 0) {
    --years;
    months += 12;
  }
  // Parts of a month below 21 days are cut off with the fraction.
  return years * 12 + months + (days >= 21 ? 1 : 0);
}

int DaysBetween(TDateTime fileDay, TDateTime today) {
  double d = std::floor(today) - std::floor(fileDay) + 1;
  return d < 0 ? 0 : static_cast<int>(d);
}

bool TDateFilter::Accepts(TDateTime fileDay, TDateTime today) const {
  if (AllFiles) return true;
  switch (Kind) {
    case 1: return Date1 <= fileDay && fileDay <= Date2;
    case 2: return MonthsBetween(today, fileDay) <= static_cast<int64_t>(N);
    case 3: return DaysBetween(fileDay, today) <= static_cast<int64_t>(N);
    case 4: return MonthsBetween(today, fileDay) > static_cast<int64_t>(N);
    case 5: return DaysBetween(fileDay, today) > static_cast<int64_t>(N);
    default: return true;
  }
}

// ------------------------------------------------------------ the search

namespace {

char Folded(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// The same order on every system: letters without regard to case, then
// by character code.
struct TListOrder {
  bool operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
      return static_cast<unsigned char>(Folded(x)) < static_cast<unsigned char>(Folded(y));
    });
  }
};

TDateTime LocalDay(uint64_t utcFileTime) {
  FILETIME utc{static_cast<DWORD>(utcFileTime), static_cast<DWORD>(utcFileTime >> 32)}, local;
  SYSTEMTIME st;
  if (!FileTimeToLocalFileTime(&utc, &local) || !FileTimeToSystemTime(&local, &st)) return 0;
  return EncodeDate(st.wYear, st.wMonth, st.wDay);
}

struct TSearch {
  const std::vector<std::string>& Excludes;
  bool SubDirs;
  const TDateFilter& Filter;
  TDateTime Today;
  std::string OwnFile;
  std::set<std::string, TListOrder> Found;
  TFolderGuard Guard;

  void Folder(const std::string& folder, const std::string& mask) {
    TGuardedFolder in(Guard, folder);
    if (!in.Entered()) return;
    std::vector<TFoundFile> entries;
    // A folder that cannot be read contributes what was read of it.
    ListFolder(folder, kFileListFiles | (SubDirs ? static_cast<uint32_t>(feFolders) : 0u), entries);
    for (const TFoundFile& f : entries) {
      if (f.IsFolder()) {
        Folder(folder + f.Name + "\\", mask);
        continue;
      }
      if (!FileMaskMatches(mask, f.Name)) continue;
      bool excluded = false;
      for (const std::string& x : Excludes) excluded = excluded || FileMaskMatches(x, f.Name);
      if (excluded || !Filter.Accepts(LocalDay(f.WriteTime), Today)) continue;
      std::string path = folder + f.Name;
      TListOrder order;
      if (!order(path, OwnFile) && !order(OwnFile, path)) continue;
      Found.insert(path);
    }
  }
};

}  // namespace

std::vector<std::string> SearchFileList(const std::vector<std::string>& specs, const std::vector<std::string>& excludes,
                                        bool subDirs, const TDateFilter& filter, TDateTime today,
                                        const std::string& ownFile,
                                        const std::function<void(const std::string& spec)>& refuse) {
  TDateFilter f = filter;
  if (!f.AllFiles && f.Kind == 1) {
    f.Date1 = std::floor(f.Date1);
    f.Date2 = std::floor(f.Date2);
    if (f.Date1 > f.Date2) std::swap(f.Date1, f.Date2);
  }
  TSearch search{excludes, subDirs, f, std::floor(today), ownFile, {}, {}};
  for (const std::string& spec : specs) {
    // A file pattern without drive or share would depend on the current
    // folder of the whole program.
    if (!IsAbsolutePath(spec)) {
      if (refuse) refuse(spec);
      continue;
    }
    search.Folder(ExtractFilePath(spec), ExtractFileName(spec));
  }
  return std::vector<std::string>(search.Found.begin(), search.Found.end());
}

std::vector<std::string> DecorateFileList(const std::vector<std::string>& files, const TFileListSettings& s) {
  std::vector<std::string> lines;
  auto addText = [&lines](const std::string& text) {
    // Every line of a multi-line text, a final line break ending the last.
    size_t start = 0;
    while (start < text.size()) {
      size_t end = text.find_first_of("\r\n", start);
      if (end == std::string::npos) end = text.size();
      lines.push_back(text.substr(start, end - start));
      start = end;
      if (start < text.size() && text[start] == '\r') ++start;
      if (start < text.size() && text[start] == '\n') ++start;
    }
  };
  if (s.Before) addText(s.TextBefore);
  const std::string prefix = s.BeforeLine ? s.LinePrefix : std::string();
  const std::string suffix = s.AfterLine ? s.LineSuffix : std::string();
  for (const std::string& f : files) lines.push_back(prefix + (s.WithoutPath ? ExtractFileName(f) : f) + suffix);
  if (s.After) addText(s.TextAfter);
  return lines;
}
