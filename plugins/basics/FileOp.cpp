#include "FileOp.h"

#include <shellapi.h>

#include <atomic>
#include <cstdio>
#include <map>

#include "BasicsUtil.h"

namespace {

std::string Lower(std::string s) {
  if (!s.empty()) CharLowerBuffA(s.data(), static_cast<DWORD>(s.size()));
  return s;
}

std::string FullPath(const std::string& path) {
  char buf[MAX_PATH * 4];
  DWORD n = GetFullPathNameA(path.c_str(), sizeof buf, buf, nullptr);
  return n && n < sizeof buf ? std::string(buf, n) : path;
}

bool SamePath(const std::string& a, const std::string& b) {
  return Lower(WithoutTrailingBackslash(FullPath(a))) == Lower(WithoutTrailingBackslash(FullPath(b)));
}

// inner lies inside (or is) outer.
bool InsideOf(const std::string& inner, const std::string& outer) {
  std::string i = Lower(WithTrailingBackslash(FullPath(inner)));
  std::string o = Lower(WithTrailingBackslash(FullPath(outer)));
  return i.compare(0, o.size(), o) == 0;
}

DWORD Attributes(const std::string& path) { return GetFileAttributesA(WithoutTrailingBackslash(path).c_str()); }

bool Exists(const std::string& path) { return Attributes(path) != INVALID_FILE_ATTRIBUTES; }

// A read-only file cannot be replaced or deleted: the action's meaning is
// that it goes, as the shell's unattended operations do it.
void MakeWritable(const std::string& path) {
  DWORD a = Attributes(path);
  if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY))
    SetFileAttributesA(path.c_str(), a & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
}

std::string TempNameBeside(const std::string& target) {
  static std::atomic<unsigned> counter{0};
  char tail[64];
  std::snprintf(tail, sizeof tail, "~ov%lx-%x.tmp", static_cast<unsigned long>(GetCurrentProcessId()),
                counter++);
  return ExtractFilePath(target) + tail;
}

}  // namespace

// ------------------------------------------------------------ names

std::string ApplyRenameMask(const std::string& name, const std::string& mask) {
  std::string out;
  size_t p = 0;
  const size_t n = name.size();
  for (size_t m = 0; m < mask.size(); ++m) {
    char c = mask[m];
    if (c == '*') {
      if (m + 1 == mask.size()) {
        out += name.substr(p);
        p = n;
        break;
      }
      // Up to the last occurrence of the character that follows the star.
      char next = static_cast<char>(tolower(static_cast<unsigned char>(mask[m + 1])));
      size_t stop = std::string::npos;
      for (size_t i = n; i > p; --i)
        if (tolower(static_cast<unsigned char>(name[i - 1])) == next) {
          stop = i - 1;
          break;
        }
      if (stop == std::string::npos) stop = n;
      out += name.substr(p, stop - p);
      p = stop;
    } else if (c == '?') {
      if (p < n && name[p] != '.') out += name[p++];
    } else if (c == '.') {
      out += '.';
      size_t dot = name.find('.', p);
      p = dot == std::string::npos ? n : dot + 1;
    } else {
      out += c;
      if (p < n && name[p] != '.') ++p;
    }
  }
  while (!out.empty() && (out.back() == '.' || out.back() == ' ')) out.pop_back();
  return out;
}

std::string CollisionFreeName(const std::string& folder, const std::string& name) {
  std::string dir = WithTrailingBackslash(folder);
  std::string candidate = "Copy of " + name;
  for (int i = 2; Exists(dir + candidate); ++i) candidate = "Copy (" + std::to_string(i) + ") of " + name;
  return candidate;
}

DWORD SafeCopyFile(const std::string& from, const std::string& to, bool overwrite) {
  DWORD target = Attributes(to);
  if (target != INVALID_FILE_ATTRIBUTES) {
    if (!overwrite) return ERROR_FILE_EXISTS;
    if (target & FILE_ATTRIBUTE_DIRECTORY) return ERROR_ALREADY_EXISTS;
  } else {
    // A new name: a copy that fails half way is removed again, so nothing
    // incomplete stays behind.
    if (CopyFileA(from.c_str(), to.c_str(), TRUE)) return 0;
    DWORD e = GetLastError();
    if (e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) DeleteFileA(to.c_str());
    if (e != ERROR_FILE_EXISTS && e != ERROR_ALREADY_EXISTS) return e ? e : ERROR_WRITE_FAULT;
    if (!overwrite) return e;
  }
  // The existing target is replaced only by a complete copy.
  std::string temp = TempNameBeside(to);
  if (!CopyFileA(from.c_str(), temp.c_str(), TRUE)) {
    DWORD e = GetLastError();
    DeleteFileA(temp.c_str());
    return e ? e : ERROR_WRITE_FAULT;
  }
  MakeWritable(to);
  if (!MoveFileExA(temp.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    DWORD e = GetLastError();
    SetFileAttributesA(temp.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(temp.c_str());
    if (target != INVALID_FILE_ATTRIBUTES) SetFileAttributesA(to.c_str(), target);
    return e ? e : ERROR_WRITE_FAULT;
  }
  return 0;
}

// ------------------------------------------------------------ TFileOperator

void TFileOperator::Fail(const std::string& name, DWORD error) { Fail(name, SystemErrorText(error)); }

void TFileOperator::Fail(const std::string& name, const std::string& reason) {
  failed_ = true;
  LastErrorStr = reason;
  if (OnError) OnError(name, reason);
}

bool TFileOperator::MoveOneFile(const std::string& from, const std::string& to, bool overwrite) {
  if (overwrite) MakeWritable(to);
  if (MoveFileExA(from.c_str(), to.c_str(), overwrite ? MOVEFILE_REPLACE_EXISTING : 0)) return true;
  DWORD e = GetLastError();
  if (e != ERROR_NOT_SAME_DEVICE) {
    Fail(from, e);
    return false;
  }
  // Another drive: the source goes only once its copy is in place.
  if (DWORD c = SafeCopyFile(from, to, overwrite)) {
    Fail(from, c);
    return false;
  }
  MakeWritable(from);
  if (!DeleteFileA(from.c_str())) {
    DWORD d = GetLastError();
    if (!IsNotFoundError(d)) {
      Fail(from, "copied to " + to + ", but the original stays: " + SystemErrorText(d));
      return false;
    }
  }
  return true;
}

void TFileOperator::CopyFolder(const std::string& from, const std::string& to, TFolderGuard& guard, bool move) {
  TGuardedFolder in(guard, from);
  if (!in.Entered()) return;  // a folder this copy is already inside (a link loop)
  DWORD error = 0;
  if (!ForceDirectories(to, &error)) {
    Fail(to, error);
    return;
  }
  std::vector<TFoundFile> entries;
  if (DWORD e = ListFolder(from, kAnyEntry, entries)) Fail(from, e);
  const std::string src = WithTrailingBackslash(from);
  const std::string dst = WithTrailingBackslash(to);
  for (const TFoundFile& f : entries) {
    if (f.IsFolder()) {
      if (f.IsLink()) continue;  // linked folders are not followed
      CopyFolder(src + f.Name, dst + f.Name, guard, move);
      continue;
    }
    bool ok = move ? MoveOneFile(src + f.Name, dst + f.Name, true) : [&] {
      if (DWORD e = SafeCopyFile(src + f.Name, dst + f.Name, true)) {
        Fail(src + f.Name, e);
        return false;
      }
      return true;
    }();
    if (ok) ++done_;
  }
  if (move && !RemoveDirectoryA(WithoutTrailingBackslash(from).c_str())) {
    // A folder that still holds what could not be moved stays; that was
    // reported above.
    DWORD e = GetLastError();
    if (e != ERROR_DIR_NOT_EMPTY && !IsNotFoundError(e)) Fail(from, e);
  }
}

void TFileOperator::CopyOrMoveEntry(const std::string& fromFolder, const TFoundFile& entry,
                                    const std::string& intoFolder) {
  const bool move = Operation == TFileOperation::foMove;
  const std::string from = fromFolder + entry.Name;
  std::string name = entry.Name;
  DWORD existing = Attributes(intoFolder + name);
  if (existing != INVALID_FILE_ATTRIBUTES && (Options & flRenameOnCollision)) {
    name = CollisionFreeName(intoFolder, name);
    existing = INVALID_FILE_ATTRIBUTES;
  }
  const std::string to = intoFolder + name;
  if (SamePath(from, to)) {
    Fail(from, "the source and the target are the same file");
    return;
  }
  if (entry.IsFolder()) {
    if (InsideOf(to, from)) {
      Fail(from, "a folder cannot be copied into itself");
      return;
    }
    if (existing != INVALID_FILE_ATTRIBUTES && !(existing & FILE_ATTRIBUTE_DIRECTORY)) {
      Fail(from, ERROR_ALREADY_EXISTS);
      return;
    }
    // A folder moved within its drive to a new name moves at once.
    if (move && existing == INVALID_FILE_ATTRIBUTES && MoveFileExA(from.c_str(), to.c_str(), 0)) {
      ++done_;
      return;
    }
    TFolderGuard guard;
    CopyFolder(from, to, guard, move);
    return;
  }
  if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY)) {
    Fail(from, ERROR_ALREADY_EXISTS);
    return;
  }
  if (move) {
    if (MoveOneFile(from, to, true)) ++done_;
    return;
  }
  if (DWORD e = SafeCopyFile(from, to, true))
    Fail(from, e);
  else
    ++done_;
}

void TFileOperator::RenameEntries(const std::string& source, const std::string& destination) {
  const std::string mask = ExtractFileName(destination);
  std::string src = WithoutTrailingBackslash(source);
  const std::string folder = ExtractFilePath(src);
  const std::string pattern = ExtractFileName(src);
  if (mask.empty() || mask == "." || mask == "..") {
    Fail(src, ERROR_INVALID_NAME);
    return;
  }
  std::vector<TFoundFile> entries;
  if (HasWildcards(pattern)) {
    uint32_t take = kAnyEntry & ~((Options & flFilesOnly) ? static_cast<uint32_t>(feFolders) : 0u);
    if (DWORD e = ListFolder(folder, take, entries, pattern)) Fail(src, e);
  } else {
    DWORD a = Attributes(src);
    if (a == INVALID_FILE_ATTRIBUTES || pattern.empty()) {
      Fail(src, GetLastError() ? GetLastError() : static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
      return;
    }
    TFoundFile f;
    f.Name = pattern;
    f.Attr = a;
    entries.push_back(f);
  }
  for (const TFoundFile& f : entries) {
    std::string newName = ApplyRenameMask(f.Name, mask);
    if (newName == f.Name) continue;
    const std::string from = folder + f.Name;
    if (newName.empty() || newName.find_first_of("\\/:*?\"<>|") != std::string::npos) {
      Fail(from, ERROR_INVALID_NAME);
      continue;
    }
    const std::string to = folder + newName;
    // Never over an existing file (a change of case only is no collision).
    if (Exists(to) && !SamePath(from, to)) {
      Fail(from, "\"" + newName + "\" exists already");
      continue;
    }
    if (MoveFileExA(from.c_str(), to.c_str(), 0))
      ++done_;
    else
      Fail(from, GetLastError());
  }
}

bool TFileOperator::Execute() {
  failed_ = false;
  done_ = 0;
  Aborted = false;
  if (Operation == TFileOperation::foRename) {
    for (size_t i = 0; i < Source.size(); ++i) {
      const std::string& dest = (Options & flMultiDest) && i < Destination.size() ? Destination[i]
                                : Destination.empty()                            ? std::string()
                                                                                 : Destination[0];
      RenameEntries(Source[i], dest);
    }
    return !failed_;
  }
  if (Operation == TFileOperation::foDelete) {
    for (const auto& s : Source) {
      DWORD a = Attributes(s);
      if (a == INVALID_FILE_ATTRIBUTES) continue;
      if (DWORD e = DeleteEntry(s, a & FILE_ATTRIBUTE_DIRECTORY, Options & flAllowUndo))
        Fail(s, e);
      else
        ++done_;
    }
    return !failed_;
  }
  const std::string into = WithTrailingBackslash(Destination.empty() ? std::string() : Destination[0]);
  DWORD error = 0;
  if (into.empty() || !ForceDirectories(into, &error)) {
    Fail(into, error ? error : static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
    return false;
  }
  for (const auto& s : Source) {
    std::string src = WithoutTrailingBackslash(s);
    const std::string folder = ExtractFilePath(src);
    const std::string pattern = ExtractFileName(src);
    if (HasWildcards(folder) || pattern.empty()) {
      Fail(s, ERROR_INVALID_NAME);
      continue;
    }
    if (HasWildcards(pattern)) {
      // A wildcard takes the matching files, and without "files only" the
      // matching folders whole.
      std::vector<TFoundFile> entries;
      uint32_t take = kAnyEntry & ~((Options & flFilesOnly) ? static_cast<uint32_t>(feFolders) : 0u);
      if (DWORD e = ListFolder(folder, take, entries, pattern)) Fail(s, e);
      for (const TFoundFile& f : entries) {
        if (f.IsLink()) continue;
        CopyOrMoveEntry(folder, f, into);
      }
      continue;
    }
    DWORD a = Attributes(src);
    if (a == INVALID_FILE_ATTRIBUTES) {
      DWORD e = GetLastError();
      Fail(s, e ? e : static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
      continue;
    }
    TFoundFile f;
    f.Name = pattern;
    f.Attr = a;
    CopyOrMoveEntry(folder, f, into);
  }
  return !failed_;
}

// ------------------------------------------------------------ delete

namespace {

DWORD RemoveTree(const std::string& folder) {
  std::vector<TFoundFile> entries;
  DWORD first = ListFolder(folder, kAnyEntry, entries);
  const std::string dir = WithTrailingBackslash(folder);
  for (const TFoundFile& f : entries) {
    DWORD e = 0;
    // A link goes, never what it points to.
    if (f.IsFolder())
      e = f.IsLink() ? (RemoveDirectoryA((dir + f.Name).c_str()) ? 0 : GetLastError()) : RemoveTree(dir + f.Name);
    else
      e = DeleteEntry(dir + f.Name, false, false);
    if (e && !IsNotFoundError(e) && !first) first = e;
  }
  if (RemoveDirectoryA(WithoutTrailingBackslash(folder).c_str())) return 0;
  DWORD e = GetLastError();
  return first ? first : e;
}

}  // namespace

DWORD DeleteEntry(const std::string& path, bool isFolder, bool toRecycleBin) {
  if (toRecycleBin) {
    std::string from = path;
    from.push_back('\0');
    from.push_back('\0');
    SHFILEOPSTRUCTA op{};
    op.wFunc = FO_DELETE;
    op.pFrom = from.c_str();
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_ALLOWUNDO | FOF_NOERRORUI;
    int r = SHFileOperationA(&op);
    // The shell's answer is not always an error code, and some shells
    // answer 0 for what they did not do: what counts is that it is gone.
    if (!Exists(path)) return 0;
    if (op.fAnyOperationsAborted) return ERROR_CANCELLED;
    return r > 0 && r < 0x70 ? static_cast<DWORD>(r) : static_cast<DWORD>(ERROR_ACCESS_DENIED);
  }
  if (isFolder) return RemoveTree(path);
  if (DeleteFileA(path.c_str())) return 0;
  DWORD e = GetLastError();
  if (e == ERROR_ACCESS_DENIED) {
    DWORD a = Attributes(path);
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_READONLY)) {
      MakeWritable(path);
      if (DeleteFileA(path.c_str())) return 0;
      e = GetLastError();
      SetFileAttributesA(path.c_str(), a);
    }
  }
  return e ? e : ERROR_ACCESS_DENIED;
}

void TDeleteWalk::Run(const std::string& folder, const std::string& mask) {
  TFolderGuard guard;
  Walk(WithTrailingBackslash(folder), mask, guard);
}

void TDeleteWalk::Walk(const std::string& folder, const std::string& mask, TFolderGuard& guard) {
  TGuardedFolder in(guard, folder);
  if (!in.Entered()) return;
  // The whole folder is read before anything in it is deleted.
  std::vector<TFoundFile> entries;
  DWORD e = ListFolder(folder, kAnyEntry, entries);
  if (e && OnError && !(IsNotFoundError(e) && guard.Depth() > 1)) OnError(folder, SystemErrorText(e));
  for (const TFoundFile& f : entries) {
    if (f.Name[0] == '.') continue;
    const std::string full = folder + f.Name;
    bool matches = FileMaskMatches(mask, f.Name);
    if (matches && (!f.IsFolder() || DeleteDirs)) {
      DWORD d = DeleteEntry(full, f.IsFolder(), ToRecycleBin);
      if (!d)
        ++Count;
      else if (!IsNotFoundError(d) && OnError)  // gone meanwhile: nothing to do
        OnError(full, SystemErrorText(d));
      continue;
    }
    if (f.IsFolder() && Recurse && !f.IsLink()) Walk(full + "\\", mask, guard);
  }
}

// ------------------------------------------------------------ synchronize

namespace {

struct TTargetEntry {
  uint32_t Attr;
  uint64_t Size;
  uint64_t Time;
};

// A folder's entries by lower-case name, read once.
DWORD ReadIndex(const std::string& folder, std::map<std::string, TTargetEntry>& index) {
  std::vector<TFoundFile> entries;
  DWORD e = ListFolder(folder, kAnyEntry, entries);
  for (const auto& f : entries) index[Lower(f.Name)] = TTargetEntry{f.Attr, f.Size, f.WriteTime};
  return e;
}

}  // namespace

bool TSynchronizer::Prepare(const std::string& folder, bool create) {
  DWORD a = Attributes(folder);
  if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) {
    std::vector<TFoundFile> probe;
    DWORD e = ListFolder(folder, kSyncFiles, probe, "*.none-such");
    if (!e) return true;
    if (OnError) OnError(folder, SystemErrorText(e));
    return false;
  }
  DWORD e = a == INVALID_FILE_ATTRIBUTES ? GetLastError() : static_cast<DWORD>(ERROR_DIRECTORY);
  // Only a folder that is simply not there is made, and only where its
  // drive or share can be reached.
  std::string root = PathRoot(folder);
  if (create && IsNotFoundError(e) && !root.empty() && Exists(root)) {
    DWORD c = 0;
    if (ForceDirectories(folder, &c)) return true;
    e = c;
  }
  if (OnError) OnError(folder, SystemErrorText(e));
  return false;
}

bool TSynchronizer::Run() {
  ok_ = true;
  Copied = Deleted = 0;
  if (s_.Folder1.empty() || s_.Folder2.empty()) {
    if (OnError) OnError(s_.Folder1.empty() ? "Folder 1" : "Folder 2", "the folder name is empty");
    return false;
  }
  if (s_.Direction > 1) return true;
  const std::string f1 = WithTrailingBackslash(FullPath(s_.Folder1));
  const std::string f2 = WithTrailingBackslash(FullPath(s_.Folder2));
  if (SamePath(f1, f2) || (s_.SubFolders && (InsideOf(f1, f2) || InsideOf(f2, f1)))) {
    if (OnError) OnError(f1, "the folders are the same or one lies inside the other: " + f2);
    return false;
  }
  const bool oneWay = s_.Direction == 1;
  // One way: folder 1 is only read and must be there; it is never made.
  if (!Prepare(f1, !oneWay)) return false;
  if (!Prepare(f2, true)) return false;
  if (!oneWay) {
    TFolderGuard guard;
    CopyNewerBothWays(f1, f2, guard);
    return ok_;
  }
  {
    TFolderGuard guard;
    CopyNewer(f1, f2, oneWay, guard);
  }
  if (s_.ExactCopy) {
    TFolderGuard guard;
    DeleteExtras(f2, f1, guard);
  }
  return ok_;
}

bool TSynchronizer::CopyNewer(const std::string& source, const std::string& target, bool oneWay,
                              TFolderGuard& guard) {
  TGuardedFolder in(guard, source);
  if (!in.Entered()) return true;
  std::vector<TFoundFile> entries;
  if (DWORD e = ListFolder(source, kSyncFiles | (s_.SubFolders ? feFolders : 0u), entries)) {
    ok_ = false;
    if (OnError) OnError(source, SystemErrorText(e));
  }
  std::map<std::string, TTargetEntry> have;
  bool haveRead = false;
  bool targetMade = false;
  for (const TFoundFile& f : entries) {
    if (f.IsFolder()) {
      if (!f.IsLink()) CopyNewer(source + f.Name + "\\", target + f.Name + "\\", oneWay, guard);
      continue;
    }
    if (!NamePassesMasks(f.Name, s_.Include, s_.Exclude)) continue;
    if (!haveRead) {
      haveRead = true;
      DWORD e = ReadIndex(target, have);
      if (e && !IsNotFoundError(e)) {
        // What cannot be read is unknown, not absent: nothing is copied
        // over it.
        ok_ = false;
        if (OnError) OnError(target, SystemErrorText(e));
        return false;
      }
      targetMade = !e;
    }
    auto t = have.find(Lower(f.Name));
    if (t != have.end()) {
      if (t->second.Attr & FILE_ATTRIBUTE_DIRECTORY) {
        ok_ = false;
        if (OnError) OnError(target + f.Name, SystemErrorText(ERROR_ALREADY_EXISTS));
        continue;
      }
      if (t->second.Time > f.WriteTime) continue;
      if (t->second.Time == f.WriteTime && !(oneWay && t->second.Size != f.Size)) continue;
    }
    if (!targetMade) {
      DWORD c = 0;
      if (!ForceDirectories(target, &c)) {
        ok_ = false;
        if (OnError) OnError(target, SystemErrorText(c));
        return false;
      }
      targetMade = true;
    }
    if (DWORD e = SafeCopyFile(source + f.Name, target + f.Name, true)) {
      ok_ = false;
      if (OnError) OnError(source + f.Name, SystemErrorText(e));
    } else {
      ++Copied;
    }
  }
  return true;
}

bool TSynchronizer::CopyInto(const std::string& from, const std::string& toFolder, const std::string& name,
                             bool& made) {
  if (!made) {
    DWORD c = 0;
    if (!ForceDirectories(toFolder, &c)) {
      ok_ = false;
      if (OnError) OnError(toFolder, SystemErrorText(c));
      return false;
    }
    made = true;
  }
  if (DWORD e = SafeCopyFile(from, toFolder + name, true)) {
    ok_ = false;
    if (OnError) OnError(from, SystemErrorText(e));
    return true;
  }
  ++Copied;
  return true;
}

void TSynchronizer::CopyNewerBothWays(const std::string& one, const std::string& two, TFolderGuard& guard) {
  TGuardedFolder in(guard, one);
  if (!in.Entered()) return;
  std::vector<TFoundFile> a, b;
  DWORD ea = ListFolder(one, kAnyEntry, a);
  DWORD eb = ListFolder(two, kAnyEntry, b);
  // A folder that cannot be read is unknown, not empty: nothing is copied
  // from or over it.
  for (auto [e, folder] : {std::pair{ea, &one}, std::pair{eb, &two}})
    if (e && !IsNotFoundError(e)) {
      ok_ = false;
      if (OnError) OnError(*folder, SystemErrorText(e));
      return;
    }
  bool madeOne = !ea, madeTwo = !eb;
  std::map<std::string, const TFoundFile*> inTwo;
  for (const auto& f : b) inTwo[Lower(f.Name)] = &f;
  const uint32_t skipped = feHidden | feSystem;
  auto takes = [&](const TFoundFile& f) {
    return !(f.Attr & skipped) && !f.IsFolder() && NamePassesMasks(f.Name, s_.Include, s_.Exclude);
  };
  std::map<std::string, bool> folders;  // lower-case name -> seen
  std::vector<std::string> folderNames;
  auto noteFolder = [&](const TFoundFile& f) {
    if (!s_.SubFolders || !f.IsFolder() || f.IsLink() || (f.Attr & skipped)) return;
    if (folders.emplace(Lower(f.Name), true).second) folderNames.push_back(f.Name);
  };
  std::map<std::string, const TFoundFile*> inOne;
  for (const auto& f : a) {
    inOne[Lower(f.Name)] = &f;
    noteFolder(f);
    if (!takes(f)) continue;
    auto t = inTwo.find(Lower(f.Name));
    if (t != inTwo.end()) {
      if (t->second->IsFolder()) {
        ok_ = false;
        if (OnError) OnError(two + f.Name, SystemErrorText(ERROR_ALREADY_EXISTS));
        continue;
      }
      if (t->second->WriteTime >= f.WriteTime) continue;
    }
    if (!CopyInto(one + f.Name, two, f.Name, madeTwo)) return;
  }
  for (const auto& f : b) {
    noteFolder(f);
    if (!takes(f)) continue;
    auto o = inOne.find(Lower(f.Name));
    if (o != inOne.end()) {
      if (o->second->IsFolder()) {
        ok_ = false;
        if (OnError) OnError(one + f.Name, SystemErrorText(ERROR_ALREADY_EXISTS));
        continue;
      }
      if (o->second->WriteTime >= f.WriteTime) continue;
    }
    if (!CopyInto(two + f.Name, one, f.Name, madeOne)) return;
  }
  for (const std::string& name : folderNames) CopyNewerBothWays(one + name + "\\", two + name + "\\", guard);
}

void TSynchronizer::DeleteExtras(const std::string& folder2, const std::string& folder1, TFolderGuard& guard) {
  TGuardedFolder in(guard, folder2);
  if (!in.Entered()) return;
  std::map<std::string, TTargetEntry> original;
  DWORD e = ReadIndex(folder1, original);
  // Folder 1 (or this part of it) could not be read: what it has is
  // unknown, so nothing goes.
  if (e && !IsNotFoundError(e)) {
    if (OnDeleteError) OnDeleteError(folder1, SystemErrorText(e));
    return;
  }
  std::vector<TFoundFile> entries;
  if (DWORD l = ListFolder(folder2, kSyncFiles | (s_.SubFolders ? feFolders : 0u), entries))
    if (OnDeleteError) OnDeleteError(folder2, SystemErrorText(l));
  for (const TFoundFile& f : entries) {
    auto o = original.find(Lower(f.Name));
    if (f.IsFolder()) {
      if (f.IsLink()) continue;
      // A folder that folder 1 no longer has loses the files the masks
      // take; excluded files and the folders that hold them stay.
      DeleteExtras(folder2 + f.Name + "\\", folder1 + f.Name + "\\", guard);
      if (o == original.end() && RemoveDirectoryA((folder2 + f.Name).c_str())) ++Deleted;
      continue;
    }
    if (!NamePassesMasks(f.Name, s_.Include, s_.Exclude)) continue;
    if (o != original.end()) continue;
    DWORD d = DeleteEntry(folder2 + f.Name, false, false);
    if (!d)
      ++Deleted;
    else if (!IsNotFoundError(d) && OnDeleteError)
      OnDeleteError(folder2 + f.Name, SystemErrorText(d));
  }
}
