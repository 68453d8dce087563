#include "Zip32.h"

#include <windows.h>

#include <cstring>

#include "OVError.h"

char LevelChar(uint8_t level) {
  static const char kLevels[] = {'9', '6', '4', '2', '0'};
  return level < sizeof kLevels ? kLevels[level] : '6';
}

std::string ArchiveRoot(const std::string& destFile) {
  size_t slash = destFile.find_last_of("\\/");
  if (slash == std::string::npos) {
    // "C:name.zip": the drive's current folder.
    return destFile.size() >= 2 && destFile[1] == ':' ? destFile.substr(0, 2) : std::string();
  }
  std::string root = destFile.substr(0, slash);
  if (root.empty() || (root.size() == 2 && root[1] == ':')) root += destFile[slash];
  return root;
}

bool BuildZipOptions(const TZipSettings& s, uint8_t action, const std::string& root, TZipOptions& o) {
  if (root.size() >= sizeof o.RootDir) return false;
  memset(&o, 0, sizeof o);
  o.SystemHidden = s.IncSysAndHidden ? -1 : 0;
  o.ExtraInfo = s.SaveExtra ? -1 : 0;
  o.JunkPaths = s.JunkDirNames ? -1 : 0;
  o.Recurse = s.IncludeSubDirs ? -1 : 0;
  o.DosNames = s.DosFormat ? -1 : 0;
  o.Move = action == zaMove ? -1 : 0;
  o.Update = action == zaUpdate ? -1 : 0;
  o.Freshen = action == zaFreshen ? -1 : 0;
  o.Comment = -1;
  o.Level = LevelChar(s.Level);
  memcpy(o.RootDir, root.c_str(), root.size() + 1);
  return true;
}

std::string ZipResultText(int code) {
  switch (code) {
    case 0: return "No errors or warnings detected.";
    case 2: return "Unexpected end of zip file.";
    case 3: return "Zip file structure invalid.";
    case 4: return "Out of memory.";
    case 5: return "Internal logic error.";
    case 6: return "Entry too big to split.";
    case 7: return "Invalid comment format.";
    case 8: return "Zip file invalid or could not spawn unzip.";
    case 9: return "Interrupted.";
    case 10: return "Temporary file failure.";
    case 11: return "Input file read failure.";
    case 12: return "Nothing to do!";
    case 13: return "Missing or empty zip file.";
    case 14: return "Output file write failure.";
    case 15: return "Could not create output file.";
    case 16: return "Invalid command arguments.";
    case 18: return "File not found or no read permission.";
    default: return Format("Unknown error #%d", code);
  }
}

namespace {

HANDLE TurnMutex() {
  static HANDLE mutex = CreateMutexA(nullptr, FALSE, nullptr);
  return mutex;
}

std::string g_comment;

int ZIPAPI DiscardOutput(char*, unsigned long length) { return static_cast<int>(length); }

char* ZIPAPI CommentText(char*) {
  return g_comment.data();
}

int ZIPAPI AskPassword(char*, int, const char* prompt, const char*) {
  MessageBoxA(nullptr, prompt ? prompt : "", "Zip", MB_OK | MB_ICONINFORMATION);
  return 1;
}

TZipUserFunctions g_callbacks{DiscardOutput, CommentText, AskPassword};

}  // namespace

// WAIT_ABANDONED also hands over the turn: its last owner ended without
// giving it back.
TArchiveTurn::TArchiveTurn() { WaitForSingleObject(TurnMutex(), INFINITE); }
TArchiveTurn::~TArchiveTurn() { ReleaseMutex(TurnMutex()); }

void SetArchiveComment(const std::string& comment) {
  // Its length + 2 bytes, valid until the next step takes the turn.
  g_comment.assign(comment);
  g_comment.reserve(comment.size() + 2);
}

TZipUserFunctions* ZipCallbacks() { return &g_callbacks; }
