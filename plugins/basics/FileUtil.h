// File helpers shared by the General plug-in's file actions (copy, move,
// delete, rename, print, synchronise), the file list and the files
// monitor: name masks, path parts, folder listings by attributes and the
// guard that keeps a walk out of link loops. Nothing here knows the host.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// ------------------------------------------------------------ names

// File name matching with name and extension compared separately: "*.*"
// takes every file, "*.tmp" only those whose extension is tmp, "*" only
// those without an extension, "a*" names starting with a and without an
// extension. "*" any run, "?" any one character, case-insensitive. Only
// the file-name parts of both texts count.
bool FileMaskMatches(const std::string& mask, const std::string& name);
// At least one include mask and no exclude mask matches name.
bool NamePassesMasks(const std::string& name, const std::vector<std::string>& include,
                     const std::vector<std::string>& exclude);
// The text holds "*" or "?".
bool HasWildcards(const std::string& text);

// ------------------------------------------------------------ paths

// The directory ending rule: a backslash after a non-empty path that ends
// in neither a backslash nor a colon, ":\" after a lone drive letter.
std::string WithTrailingBackslash(const std::string& path);
// Without a trailing backslash, except for a drive root ("C:\") and "\".
std::string WithoutTrailingBackslash(const std::string& path);
// The folder part with its trailing "\" or ":" ("" when there is none) and
// the file-name part after it.
std::string ExtractFilePath(const std::string& path);
std::string ExtractFileName(const std::string& path);
// "C:\..." or "\\server\share\...": a path that does not depend on the
// current drive or folder.
bool IsAbsolutePath(const std::string& path);
// A folder that is the top of a drive or share: "C:\", "C:", "\",
// "\\server\share\" (trailing backslash optional).
bool IsRootFolder(const std::string& folder);
// The drive or share a path lives on: "C:\" or "\\server\share\"; "" for
// a relative path.
std::string PathRoot(const std::string& path);

// Creates folder with every missing parent. True when it exists as a
// folder afterwards; otherwise *error (when given) holds the reason.
bool ForceDirectories(const std::string& folder, DWORD* error = nullptr);

// Lines of a stored list (CR LF or LF between lines); empty and all-blank
// lines are skipped, not taken as the end of the list.
std::vector<std::string> ListLines(const std::string& text);

// ------------------------------------------------------------ listings

// What a listing takes besides ordinary files. Ordinary files (normal,
// archive, read-only, with or without the archive bit) are always taken;
// hidden files, system files and folders only when asked for.
enum : uint32_t {
  feHidden = FILE_ATTRIBUTE_HIDDEN,
  feSystem = FILE_ATTRIBUTE_SYSTEM,
  feFolders = FILE_ATTRIBUTE_DIRECTORY,
};
// Each user's own set (add feFolders to walk subfolders).
constexpr uint32_t kSyncFiles = 0;                    // Synchronize folders
constexpr uint32_t kPrintFiles = 0;                   // Print a document(s)
constexpr uint32_t kFileListFiles = feSystem;         // Create File List: no hidden files
constexpr uint32_t kMonitorFiles = feHidden | feSystem;  // Files Monitor
constexpr uint32_t kAnyEntry = feHidden | feSystem | feFolders;  // Delete, Copy/Move, Rename

struct TFoundFile {
  std::string Name;
  uint32_t Attr = 0;
  uint64_t Size = 0;
  uint64_t WriteTime = 0;  // UTC file time (100 ns units)
  bool IsFolder() const { return Attr & FILE_ATTRIBUTE_DIRECTORY; }
  // A folder that is a link (junction, symbolic link) as Windows reports
  // it. Under Wine a Unix symbolic link shows as a plain folder: the walk
  // guard below catches the loops such a link makes.
  bool IsLink() const { return Attr & FILE_ATTRIBUTE_REPARSE_POINT; }
};

// Reads the entries of folder (any form; the ending rule is applied) that
// match pattern and that the set `take` admits; "." and ".." never. The
// whole folder is read before this returns, so callers may change it
// while they work through the list. ERROR_SUCCESS when the folder was
// read to its end (also when empty); otherwise the error that stopped the
// listing (ERROR_PATH_NOT_FOUND for a missing folder, ERROR_ACCESS_DENIED,
// ERROR_BAD_NETPATH, ...), with what was read before it in out. A pattern
// that matches nothing in an existing folder is no error.
DWORD ListFolder(const std::string& folder, uint32_t take, std::vector<TFoundFile>& out,
                 const std::string& pattern = "*.*");

// A missing file or folder (the error codes that say "not there").
bool IsNotFoundError(DWORD error);

// ------------------------------------------------------------ walks

// Keeps a recursive walk out of loops: a walk enters a folder only through
// Enter and leaves it through Leave. Enter refuses a folder that the walk
// is already inside (the same folder reached again through a link: Wine
// shows Unix symbolic links as plain folders) and any folder deeper than
// MaxDepth below the first one entered.
class TFolderGuard {
 public:
  static constexpr int MaxDepth = 64;
  bool Enter(const std::string& folder);
  void Leave();
  int Depth() const { return static_cast<int>(path_.size()); }

 private:
  struct TId {
    DWORD Volume;
    DWORD High;
    DWORD Low;
  };
  std::vector<TId> path_;
};

// Enter/Leave as a scope: Entered() tells whether the folder may be walked.
class TGuardedFolder {
 public:
  TGuardedFolder(TFolderGuard& guard, const std::string& folder) : guard_(guard), in_(guard.Enter(folder)) {}
  ~TGuardedFolder() {
    if (in_) guard_.Leave();
  }
  TGuardedFolder(const TGuardedFolder&) = delete;
  TGuardedFolder& operator=(const TGuardedFolder&) = delete;
  bool Entered() const { return in_; }

 private:
  TFolderGuard& guard_;
  bool in_;
};
