// The file operations behind "Copy/Move a file(s)", "Rename file(s)",
// "Delete a file(s)" and "Synchronize a folders". TFileOperator copies,
// moves and renames with the meaning of the shell's file operation and
// its flags, but itself: every file is tried, every failure is reported
// with its reason, "rename on collision" never overwrites, a copy is
// written under a temporary name and put in place only when complete,
// and a move deletes a source only after its copy is in place. Deleting
// to the Recycle Bin is left to the shell.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "FileUtil.h"

enum class TFileOperation { foCopy, foDelete, foMove, foRename };

// The shell's flag values.
enum TFileOperFlag : uint32_t {
  flMultiDest = 0x1,
  flConfirmMouse = 0x2,
  flSilent = 0x4,
  flRenameOnCollision = 0x8,
  flNoConfirmation = 0x10,
  flAllowUndo = 0x40,
  flFilesOnly = 0x80,
  flSimpleProgress = 0x100,
  flNoConfirmMkDir = 0x200,
  flNoErrorUI = 0x400,
};

// Called for each file or folder that failed: its name and the reason in
// the system's words.
using TFileError = std::function<void(const std::string& name, const std::string& reason)>;

class TFileOperator {
 public:
  std::vector<std::string> Destination;  // copy/move: the target folder; rename: folder + new-name mask
  TFileOperation Operation = TFileOperation::foCopy;
  uint32_t Options = flAllowUndo | flNoConfirmMkDir;
  std::string ProgressTitle;  // no progress is shown: jobs run unattended
  std::vector<std::string> Source;  // names, wildcards allowed in the file-name part
  std::string LastErrorStr;  // reason of the last failure
  bool Aborted = false;  // never set: nobody is asked anything
  TFileError OnError;

  // Works through every source; true when nothing failed. A wildcard that
  // matches nothing is no failure; a plain name that is not there is.
  bool Execute();
  // Files (and, for rename, folders) done.
  int Done() const { return done_; }

 private:
  void Fail(const std::string& name, DWORD error);
  void Fail(const std::string& name, const std::string& reason);
  void CopyOrMoveEntry(const std::string& from, const TFoundFile& entry, const std::string& intoFolder);
  bool CopyOneFile(const std::string& from, const std::string& to, bool overwrite);
  void CopyFolder(const std::string& from, const std::string& to, TFolderGuard& guard, bool move);
  bool MoveOneFile(const std::string& from, const std::string& to, bool overwrite);
  void RenameEntries(const std::string& source, const std::string& mask);
  int done_ = 0;
  bool failed_ = false;
};

// The new name that a rename mask gives name, as the shell's wildcard
// rename does: "*.*.old" turns "a.log" into "a.log.old", "*.bak" turns
// "a.txt" into "a.bak", "?" keeps one character.
std::string ApplyRenameMask(const std::string& name, const std::string& mask);

// A free name for a copy that must not overwrite: "Copy of a.txt",
// "Copy (2) of a.txt", ... in folder.
std::string CollisionFreeName(const std::string& folder, const std::string& name);

// Copies one file so that the target appears only complete: the data goes
// to a temporary file beside the target, which then replaces it. With
// overwrite false an existing target is left alone (ERROR_FILE_EXISTS).
// 0 on success, else the error.
DWORD SafeCopyFile(const std::string& from, const std::string& to, bool overwrite);

// Deletes one file or folder (with its content) for the delete action.
// toRecycleBin: through the shell, which keeps it in the Recycle Bin.
// 0 on success, else the error; a name that is already gone counts as
// ERROR_FILE_NOT_FOUND.
DWORD DeleteEntry(const std::string& path, bool isFolder, bool toRecycleBin);

// The delete walk: every entry of folder matching mask (names starting
// with "." are left alone), and with recurse the same in every subfolder.
struct TDeleteWalk {
  bool Recurse = false;
  bool DeleteDirs = false;
  bool ToRecycleBin = true;
  int Count = 0;  // entries deleted
  TFileError OnError;
  void Run(const std::string& folder, const std::string& mask);

 private:
  void Walk(const std::string& folder, const std::string& mask, TFolderGuard& guard);
};

// "Synchronize a folders".
struct TSyncSettings {
  std::string Folder1, Folder2;
  std::vector<std::string> Include{"*.*"}, Exclude;
  bool SubFolders = false;
  bool ExactCopy = false;
  uint32_t Direction = 0;  // 0 both ways, 1 folder 1 to folder 2
};
class TSynchronizer {
 public:
  explicit TSynchronizer(const TSyncSettings& s) : s_(s) {}
  // Errors go to OnError (failures) and OnDeleteError (deletions, which
  // do not fail the step). True when every copy succeeded and the
  // folders could be used.
  bool Run();
  TFileError OnError;
  TFileError OnDeleteError;
  int Copied = 0;
  int Deleted = 0;

 private:
  bool CopyNewer(const std::string& source, const std::string& target, bool oneWay, TFolderGuard& guard);
  // Both ways in one pass: each folder pair is read once.
  void CopyNewerBothWays(const std::string& one, const std::string& two, TFolderGuard& guard);
  bool CopyInto(const std::string& from, const std::string& toFolder, const std::string& name, bool& made);
  void DeleteExtras(const std::string& folder2, const std::string& folder1, TFolderGuard& guard);
  bool Prepare(const std::string& folder, bool create);
  TSyncSettings s_;
  bool ok_ = true;
};
