// The file actions in-process (copy/move, delete, rename, print,
// synchronise) on real folders, on C: and on another device (Z:\dev\shm),
// through the plug-in's entries with a host record of the test's own.
#include <gtest/gtest.h>

#include <map>
#include <mutex>

#include "BasicsBlocks.h"
#include "DialogDriver.h"
#include "FileOp.h"
#include "OVDialog.h"
#include "OVMsgBox.h"
#include "OVPlugin.h"
#include "TestUtil.h"
#include "uDM.h"
#include "uFileOps.h"
#include "uSyncFolders.h"

using namespace basicsblocks;
using testutil::FileExists;
using testutil::ReadFileText;
using testutil::WriteFileText;

namespace {

enum { mCopy = 2, mDelete = 3, mSync = 4, mPrint = 10, mRename = 14 };

std::mutex g_lock;
std::vector<std::string> g_log;  // "<level> text"
std::map<std::string, std::string> g_vars;

void OVAPI FakeLog(uint32_t level, const char* text) {
  std::lock_guard<std::mutex> l(g_lock);
  g_log.push_back(std::to_string(level) + " " + (text ? text : ""));
}
void OVAPI FakeAlloc(void** p, int32_t size) { *p = HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, static_cast<SIZE_T>(size)); }
void OVAPI FakeFree(void** p, int32_t) {
  HeapFree(GetProcessHeap(), 0, *p);
  *p = nullptr;
}
void OVAPI FakeExpand(const char* text, char* out, int32_t size) {
  std::string s = text ? text : "";
  for (const auto& [name, value] : g_vars)
    for (size_t at; (at = s.find("%" + name + "%")) != std::string::npos;) s.replace(at, name.size() + 2, value);
  lstrcpynA(out, s.c_str(), size);
}

THostRecord g_host;
TPluginRecord* g_record = nullptr;

class TDM : public TOVDataModule {
 public:
  TDM() {
    Plugin->ID = OV_BASICS_ID;
    AddMethod("Show a message");
    AddMethod("Run a program/Open a document");
    AddMethod("Copy/Move a file(s)", CopyFilesCase());
    AddMethod("Delete a file(s)", DeleteFilesCase());
    AddMethod("Synchronize a folders", SyncFoldersCase());
    for (int i = 5; i < 10; ++i) AddMethod("other");
    AddMethod("Print a document(s)", PrintDocCase());
    for (int i = 11; i < 14; ++i) AddMethod("other");
    AddMethod("Rename file(s)", RenameFilesCase());
  }
};

}  // namespace

OV_DATA_MODULE(TDM)

namespace {

template <class S, class W>
Bytes BlockOf(const S& s, W write) {
  TBlockWriter w;
  write(s, w);
  return w.Bytes();
}

class FileOps : public ::testing::Test {
 protected:
  void SetUp() override {
    g_log.clear();
    g_vars.clear();
    g_host = THostRecord{};
    g_host.Version = OV_HOST_VERSION;
    g_host.Log = FakeLog;
    g_host.Alloc = FakeAlloc;
    g_host.Free = FakeFree;
    g_host.ExpandVariables = FakeExpand;
    g_record = InitOVPlugin(&g_host);
    ASSERT_NE(g_record, nullptr);
    dir = testutil::MakeTempDir("fileops");
  }
  void TearDown() override {
    g_record->ShutdownPlugin();
    testutil::RemoveTree(dir);
  }
  bool Exec(int index, const Bytes& block) {
    TOVMethodParams p{static_cast<int32_t>(block.size()), nullptr};
    if (!block.empty()) {
      FakeAlloc(&p.Data, p.Size);
      memcpy(p.Data, block.data(), block.size());
    }
    g_log.clear();
    bool ok = g_record->Methods->ExecMethod(index, &p) != 0;
    if (p.Data) FakeFree(&p.Data, p.Size);
    return ok;
  }
  bool Logged(const std::string& line) const {
    for (const auto& l : g_log)
      if (l == line) return true;
    return false;
  }
  std::string Log() const {
    std::string all;
    for (const auto& l : g_log) all += l + "\n";
    return all;
  }
  Bytes Copy(const std::string& files, const std::string& to, bool move, bool rename, bool recurse = false) {
    TCopySettings s;
    s.Files = files;
    s.DestDir = to;
    s.Move = move;
    s.IfFileExists = rename ? 1 : 0;
    s.Recurse = recurse;
    return BlockOf(s, WriteCopySettings);
  }
  Bytes Delete(const std::string& files, bool recurse, bool dirs = false, bool recycle = false) {
    return BlockOf(TDeleteSettings{files, recurse, dirs, recycle}, WriteDeleteSettings);
  }
  std::vector<std::string> Files(const std::string& folder) { return testutil::ListFiles(folder, "*"); }
  std::string dir;
};

// A file or a folder.
bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// Seconds from a time fixed for the whole run, so that two files can get
// the very same time.
void SetTime(const std::string& path, int64_t secondsFromNow) {
  static FILETIME now = [] {
    FILETIME t;
    GetSystemTimeAsFileTime(&t);
    return t;
  }();
  HANDLE h = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  FILETIME ft = now;
  ULARGE_INTEGER t{{ft.dwLowDateTime, ft.dwHighDateTime}};
  t.QuadPart += secondsFromNow * 10000000;
  ft = {t.LowPart, t.HighPart};
  SetFileTime(h, nullptr, nullptr, &ft);
  CloseHandle(h);
}

}  // namespace

// ------------------------------------------------------------ copy / move

TEST_F(FileOps, CopyTakesMatchingFilesAndWithRecursionMatchingFoldersWhole) {
  testutil::MakeDirs(dir + "src\\sub");
  WriteFileText(dir + "src\\a.txt", "a");
  WriteFileText(dir + "src\\b.log", "b");
  WriteFileText(dir + "src\\sub\\c.txt", "c");
  // The destination and its missing parents are made.
  ASSERT_TRUE(Exec(mCopy, Copy(dir + "src\\*.txt", dir + "out\\new", false, true))) << Log();
  EXPECT_EQ(Files(dir + "out\\new\\"), (std::vector<std::string>{"a.txt"}));
  ASSERT_TRUE(Exec(mCopy, Copy(dir + "src\\*.*", dir + "all", false, true, true))) << Log();
  EXPECT_EQ(ReadFileText(dir + "all\\sub\\c.txt"), "c");
  EXPECT_EQ(ReadFileText(dir + "all\\b.log"), "b");
  // A plain folder is copied whole; empty lines do not end the list.
  ASSERT_TRUE(Exec(mCopy, Copy("\r\n" + dir + "src\\b.log\r\n\r\n" + dir + "src\\sub", dir + "one", false, true)))
      << Log();
  EXPECT_TRUE(FileExists(dir + "one\\b.log"));
  EXPECT_EQ(ReadFileText(dir + "one\\sub\\c.txt"), "c");
  EXPECT_TRUE(g_log.empty()) << Log();
}

TEST_F(FileOps, IfFileExistsRenameNeverOverwritesAndOverwriteReplaces) {
  WriteFileText(dir + "a.txt", "new");
  testutil::MakeDirs(dir + "to");
  WriteFileText(dir + "to\\a.txt", "old");
  ASSERT_TRUE(Exec(mCopy, Copy(dir + "a.txt", dir + "to", false, true)));
  ASSERT_TRUE(Exec(mCopy, Copy(dir + "a.txt", dir + "to", false, true)));
  EXPECT_EQ(ReadFileText(dir + "to\\a.txt"), "old");
  EXPECT_EQ(ReadFileText(dir + "to\\Copy of a.txt"), "new");
  EXPECT_EQ(ReadFileText(dir + "to\\Copy (2) of a.txt"), "new");
  // Overwrite, also over a read-only file; no temporary file stays.
  SetFileAttributesA((dir + "to\\a.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(Exec(mCopy, Copy(dir + "a.txt", dir + "to", false, false))) << Log();
  EXPECT_EQ(ReadFileText(dir + "to\\a.txt"), "new");
  EXPECT_EQ(Files(dir + "to\\").size(), 3u);
}

TEST_F(FileOps, FailuresAreLoggedWithTheirReasonTheRestIsDoneAndTheStepFails) {
  WriteFileText(dir + "a.txt", "a");
  WriteFileText(dir + "locked.txt", "keep me");
  testutil::MakeDirs(dir + "to");
  WriteFileText(dir + "to\\locked.txt", "target stays");
  // A source nobody may read, and a target nobody may replace.
  HANDLE src = CreateFileA((dir + "locked.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(src, INVALID_HANDLE_VALUE);
  std::string list = dir + "missing.txt\r\n" + dir + "locked.txt\r\n" + dir + "a.txt";
  EXPECT_FALSE(Exec(mCopy, Copy(list, dir + "to", true, false)));
  CloseHandle(src);
  // The step went on after each failure; what failed stays where it was.
  EXPECT_TRUE(FileExists(dir + "to\\a.txt"));
  EXPECT_FALSE(FileExists(dir + "a.txt"));
  EXPECT_EQ(ReadFileText(dir + "locked.txt"), "keep me");
  EXPECT_EQ(ReadFileText(dir + "to\\locked.txt"), "target stays");
  EXPECT_EQ(Files(dir + "to\\"), (std::vector<std::string>{"a.txt", "locked.txt"}));
  ASSERT_GE(g_log.size(), 3u) << Log();
  EXPECT_EQ(g_log.back(), "2 An error occured.");
  EXPECT_NE(Log().find("(" + dir + "missing.txt)"), std::string::npos) << Log();
  EXPECT_NE(Log().find("(" + dir + "locked.txt)"), std::string::npos) << Log();
  EXPECT_EQ(Log().find("successfully"), std::string::npos) << Log();
}

TEST_F(FileOps, MoveToAnotherDeviceCopiesThenDeletesTheSource) {
  std::string shm = "Z:\\dev\\shm\\ov-fileops-" + std::to_string(GetCurrentProcessId()) + "\\";
  testutil::MakeDirs(shm + "tree\\deep");
  WriteFileText(shm + "tree\\deep\\x.dat", "x");
  WriteFileText(shm + "f.dat", "f");
  ASSERT_TRUE(Exec(mCopy, Copy(shm + "*.*", dir + "moved", true, true, true))) << Log();
  EXPECT_EQ(ReadFileText(dir + "moved\\f.dat"), "f");
  EXPECT_EQ(ReadFileText(dir + "moved\\tree\\deep\\x.dat"), "x");
  EXPECT_FALSE(FileExists(shm + "f.dat"));
  EXPECT_FALSE(Exists(shm + "tree"));
  testutil::RemoveTree(shm);
}

TEST_F(FileOps, ASemicolonInANameFromAVariableIsNeverASeparator) {
  char cwd[MAX_PATH];
  GetCurrentDirectoryA(sizeof cwd, cwd);
  SetCurrentDirectoryA(dir.c_str());
  WriteFileText(dir + "b.txt", "decoy");
  testutil::MakeDirs(dir + "src");
  WriteFileText(dir + "src\\a;b.txt", "real");
  g_vars["F"] = dir + "src\\a;b.txt";
  EXPECT_TRUE(Exec(mCopy, Copy("%F%", dir + "to", true, false))) << Log();
  EXPECT_EQ(ReadFileText(dir + "to\\a;b.txt"), "real");
  // Typed, ";" separates: "b.txt" alone is no full path and is refused.
  WriteFileText(dir + "src\\a;b.txt", "real");
  EXPECT_FALSE(Exec(mCopy, Copy(dir + "src\\a;b.txt", dir + "to2", true, false)));
  EXPECT_TRUE(Logged("2 Skipped \"b.txt\": not a full path")) << Log();
  EXPECT_EQ(ReadFileText(dir + "b.txt"), "decoy");
  EXPECT_TRUE(Exec(mDelete, Delete("%F%", false)));
  EXPECT_TRUE(Logged("0 1 file(s) deleted")) << Log();
  EXPECT_EQ(ReadFileText(dir + "b.txt"), "decoy");
  SetCurrentDirectoryA(cwd);
}

// ------------------------------------------------------------ delete

TEST_F(FileOps, DeleteWalksSubfoldersLeavesDotNamesAndCounts) {
  testutil::MakeDirs(dir + "t\\sub\\.hidden");
  for (const char* f : {"t\\a.bak", "t\\b.txt", "t\\sub\\c.bak", "t\\.keep.bak", "t\\sub\\.hidden\\d.bak"})
    WriteFileText(dir + f, "x");
  SetFileAttributesA((dir + "t\\sub\\c.bak").c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(Exec(mDelete, Delete("\r\n\r\n" + dir + "t\\*.bak", true)));
  EXPECT_EQ(g_log, (std::vector<std::string>{"0 2 file(s) deleted"}));
  EXPECT_TRUE(FileExists(dir + "t\\b.txt"));
  EXPECT_TRUE(FileExists(dir + "t\\.keep.bak"));
  EXPECT_TRUE(FileExists(dir + "t\\sub\\.hidden\\d.bak"));
  ASSERT_TRUE(Exec(mDelete, Delete(dir + "t\\*.bak", true)));
  EXPECT_EQ(g_log, (std::vector<std::string>{"0 0 file(s) deleted"}));
  // Directories go whole only when asked for.
  ASSERT_TRUE(Exec(mDelete, Delete(dir + "t\\*.*", false, true)));
  EXPECT_EQ(g_log, (std::vector<std::string>{"0 2 file(s) deleted"}));
  EXPECT_FALSE(Exists(dir + "t\\sub"));
  // Never configured: nothing, false.
  EXPECT_FALSE(Exec(mDelete, {}));
}

TEST_F(FileOps, NamesThatVariablesMadeRelativeOrADriveTopAreRefused) {
  g_vars["D"] = "";
  g_vars["Top"] = "C:";
  EXPECT_TRUE(Exec(mDelete, Delete("%D%\\*.bak\r\n%Top%\\*.bak\r\nrel\\*.bak", true)));
  EXPECT_EQ(g_log, (std::vector<std::string>{"2 Skipped \"\\*.bak\": not a full path",
                                             "2 Skipped \"C:\\*.bak\": the variables in \"%Top%\\*.bak\" left the top of a drive",
                                             "2 Skipped \"rel\\*.bak\": not a full path", "0 0 file(s) deleted"}))
      << Log();
  EXPECT_FALSE(Exec(mCopy, Copy("%D%\\*.*", dir + "to", true, true)));
  EXPECT_FALSE(FileExists(dir + "to\\*.*"));
}

TEST_F(FileOps, DeleteToTheRecycleBinKeepsTheFileInTheTrash) {
  std::string name = "recycled-" + std::to_string(GetTickCount()) + ".txt";
  WriteFileText(dir + name, "keep in trash");
  ASSERT_TRUE(Exec(mDelete, Delete(dir + name, false, false, true)));
  EXPECT_TRUE(Logged("0 1 file(s) deleted")) << Log();
  EXPECT_FALSE(FileExists(dir + name));
  char data[MAX_PATH] = "", home[MAX_PATH] = "";
  GetEnvironmentVariableA("XDG_DATA_HOME", data, sizeof data);
  GetEnvironmentVariableA("HOME", home, sizeof home);
  std::string trash = std::string("Z:") + (data[0] ? data : std::string(home) + "/.local/share") + "/Trash/files/";
  for (auto& c : trash)
    if (c == '/') c = '\\';
  EXPECT_EQ(ReadFileText(trash + name), "keep in trash") << trash;
  DeleteFileA((trash + name).c_str());
}

// ------------------------------------------------------------ rename

TEST_F(FileOps, RenameAddsAnExtensionNeverOverwritesAndStaysInItsFolder) {
  testutil::MakeDirs(dir + "logs\\x.log");
  for (const char* f : {"logs\\a.log", "logs\\b.log", "logs\\c.txt", "logs\\b.log.old"}) WriteFileText(dir + f, f);
  TRenameSettings s{dir + "logs\\*.log", "*.*.old", false};
  EXPECT_FALSE(Exec(mRename, BlockOf(s, WriteRenameSettings)));
  EXPECT_EQ(ReadFileText(dir + "logs\\a.log.old"), "logs\\a.log");
  EXPECT_EQ(ReadFileText(dir + "logs\\b.log.old"), "logs\\b.log.old");
  EXPECT_EQ(ReadFileText(dir + "logs\\b.log"), "logs\\b.log");
  EXPECT_TRUE(Exists(dir + "logs\\x.log"));  // folders only with recursion
  EXPECT_EQ(g_log.back(), "2 An error occured.");
  // A mask that climbs out is cut to its name; with recursion matching
  // folders are renamed too.
  g_vars["Up"] = "..\\";
  s = TRenameSettings{dir + "logs\\*.txt\r\n" + dir + "logs\\x.log", "%Up%*.md", true};
  EXPECT_TRUE(Exec(mRename, BlockOf(s, WriteRenameSettings))) << Log();
  EXPECT_TRUE(FileExists(dir + "logs\\c.md"));
  EXPECT_TRUE(Exists(dir + "logs\\x.md"));
  EXPECT_EQ(Files(dir + "logs\\").size(), 4u);  // a.log.old, b.log, b.log.old, c.md
  // Never configured: nothing is renamed.
  EXPECT_FALSE(Exec(mRename, {}));

  EXPECT_EQ(ApplyRenameMask("a.log", "*.*.old"), "a.log.old");
  EXPECT_EQ(ApplyRenameMask("a.txt", "*.bak"), "a.bak");
  EXPECT_EQ(ApplyRenameMask("report.txt", "???.*"), "rep.txt");
}

// ------------------------------------------------------------ print

TEST_F(FileOps, PrintHandsEachDocumentToItsPrintCommand) {
  // A file type of the test's own whose print command copies the document.
  HKEY key;
  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, ".ovprinttest", &key), ERROR_SUCCESS);
  RegSetValueA(key, nullptr, REG_SZ, "ovprinttestfile", 0);
  RegCloseKey(key);
  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, "ovprinttestfile\\shell\\print\\command", &key), ERROR_SUCCESS);
  const char* cmd = "cmd.exe /c copy \"%1\" \"%1.printed\"";
  RegSetValueA(key, nullptr, REG_SZ, cmd, static_cast<DWORD>(strlen(cmd)));
  RegCloseKey(key);
  WriteFileText(dir + "one.ovprinttest", "1");
  WriteFileText(dir + "two.ovprinttest", "2");
  TPrintSettings s{dir + "*.ovprinttest\r\n" + dir + "missing.ovprinttest"};
  EXPECT_FALSE(Exec(mPrint, BlockOf(s, WritePrintSettings)));
  ASSERT_EQ(g_log.size(), 1u) << Log();
  EXPECT_NE(g_log[0].find("(" + dir + "missing.ovprinttest)"), std::string::npos) << Log();
  EXPECT_TRUE(testutil::WaitFor([&] { return FileExists(dir + "one.ovprinttest.printed") &&
                                             FileExists(dir + "two.ovprinttest.printed"); }, 10000));
  s.Files = dir + "one.ovprinttest";
  EXPECT_TRUE(Exec(mPrint, BlockOf(s, WritePrintSettings))) << Log();
}

// ------------------------------------------------------------ synchronise

class SyncFolders : public FileOps {
 protected:
  bool Sync(uint32_t direction, bool sub, bool exact, const std::string& exclude = "") {
    TSyncBlock b;
    b.Folder1 = dir + "one";
    b.Folder2 = dir + "two";
    b.ExcludeMasks = exclude;
    b.SubFolders = sub;
    b.ExactCopy = exact;
    b.Direction = direction;
    return Exec(mSync, BlockOf(b, WriteSyncSettings));
  }
};

TEST_F(SyncFolders, BothWaysCopiesWhatIsNewerAndLeavesEqualTimesAlone) {
  testutil::MakeDirs(dir + "one\\sub");
  testutil::MakeDirs(dir + "two");
  WriteFileText(dir + "one\\only1.txt", "1");
  WriteFileText(dir + "one\\sub\\deep.txt", "d");
  WriteFileText(dir + "one\\shared.txt", "old");
  WriteFileText(dir + "two\\shared.txt", "newer");
  SetTime(dir + "one\\shared.txt", -100);
  WriteFileText(dir + "one\\same.txt", "one");
  WriteFileText(dir + "two\\same.txt", "two!");
  SetTime(dir + "one\\same.txt", -50);
  SetTime(dir + "two\\same.txt", -50);
  ASSERT_TRUE(Sync(0, false, false)) << Log();
  EXPECT_EQ(ReadFileText(dir + "two\\only1.txt"), "1");
  EXPECT_EQ(ReadFileText(dir + "one\\shared.txt"), "newer");
  EXPECT_EQ(ReadFileText(dir + "two\\same.txt"), "two!");
  EXPECT_FALSE(Exists(dir + "two\\sub"));  // subfolders only when chosen
  // One way, a target of the same time but another size is copied.
  ASSERT_TRUE(Sync(1, true, false)) << Log();
  EXPECT_EQ(ReadFileText(dir + "two\\same.txt"), "one");
  EXPECT_EQ(ReadFileText(dir + "two\\sub\\deep.txt"), "d");
  // Both ways with subfolders: a folder only in folder 2 comes to folder 1.
  testutil::MakeDirs(dir + "two\\sub2");
  WriteFileText(dir + "two\\sub2\\z.txt", "z");
  ASSERT_TRUE(Sync(0, true, false)) << Log();
  EXPECT_EQ(ReadFileText(dir + "one\\sub2\\z.txt"), "z");
}

TEST_F(SyncFolders, ExactCopyRemovesExtrasButNeverWhatTheMasksExclude) {
  testutil::MakeDirs(dir + "one");
  testutil::MakeDirs(dir + "two\\gone\\inner");
  WriteFileText(dir + "one\\keep.txt", "k");
  WriteFileText(dir + "two\\extra.txt", "e");
  WriteFileText(dir + "two\\notes.tmp", "excluded");
  WriteFileText(dir + "two\\gone\\x.txt", "x");
  WriteFileText(dir + "two\\gone\\inner\\y.txt", "y");
  WriteFileText(dir + "two\\gone\\inner\\z.tmp", "excluded too");
  ASSERT_TRUE(Sync(1, true, true, "*.tmp")) << Log();
  EXPECT_TRUE(FileExists(dir + "two\\keep.txt"));
  EXPECT_FALSE(FileExists(dir + "two\\extra.txt"));
  EXPECT_TRUE(FileExists(dir + "two\\notes.tmp"));
  EXPECT_FALSE(FileExists(dir + "two\\gone\\x.txt"));
  EXPECT_EQ(ReadFileText(dir + "two\\gone\\inner\\z.tmp"), "excluded too");
  WriteFileText(dir + "two\\gone2.txt", "g");
  DeleteFileA((dir + "two\\gone\\inner\\z.tmp").c_str());
  ASSERT_TRUE(Sync(1, true, true, "*.tmp")) << Log();
  EXPECT_FALSE(Exists(dir + "two\\gone"));
  EXPECT_FALSE(FileExists(dir + "two\\gone2.txt"));
}

TEST_F(SyncFolders, AMissingFolderOneDeletesNothingAndNestedFoldersAreRefused) {
  testutil::MakeDirs(dir + "two");
  WriteFileText(dir + "two\\precious.txt", "p");
  EXPECT_FALSE(Sync(1, true, true));
  EXPECT_TRUE(FileExists(dir + "two\\precious.txt"));
  EXPECT_FALSE(Exists(dir + "one"));
  EXPECT_FALSE(g_log.empty());
  // Both ways a missing folder 1 on a reachable drive is made and filled.
  EXPECT_TRUE(Sync(0, false, false)) << Log();
  EXPECT_EQ(ReadFileText(dir + "one\\precious.txt"), "p");

  TSyncBlock b;
  b.Folder1 = dir + "two";
  b.Folder2 = dir + "two\\inside";
  b.SubFolders = true;
  EXPECT_FALSE(Exec(mSync, BlockOf(b, WriteSyncSettings)));
  EXPECT_FALSE(Exists(dir + "two\\inside"));
  EXPECT_FALSE(Exec(mSync, {}));  // no folder names
}

// ------------------------------------------------------------ dialogs

namespace {

// Saves a picture of the screen for review when OV_SHOT_DIR names a
// folder (the test's Xvfb display).
void Shot(const std::string& name) {
  char shots[MAX_PATH] = "";
  if (!GetEnvironmentVariableA("OV_SHOT_DIR", shots, sizeof shots)) return;
  Sleep(1000);  // the dialog paints itself first
  std::string png = std::string(shots) + "/fileops-" + name + ".png";
  std::string winPng = "Z:" + png;
  for (auto& c : winPng)
    if (c == '/') c = '\\';
  DeleteFileA(winPng.c_str());
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string cmd = "Z:\\usr\\bin\\import -window root " + png;
  if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return;
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  // The handle of a Unix program says little about its end: wait for the
  // picture instead.
  testutil::WaitFor([&] { return testutil::FileExists(winPng); }, 5000);
  Sleep(500);
}

std::vector<std::string> g_asked;
int AnswerNoThenYes(HWND, const char* text, const char*, UINT) {
  g_asked.push_back(text);
  return g_asked.size() == 1 ? IDNO : IDYES;
}

// A click on a check box or radio button, which changes its state.
void Press(HWND dlg, int id) { SendDlgItemMessageA(dlg, id, BM_CLICK, 0, 0); }

bool Config(int index, Bytes& block) {
  TOVMethodParams p{static_cast<int32_t>(block.size()), nullptr};
  if (!block.empty()) {
    FakeAlloc(&p.Data, p.Size);
    memcpy(p.Data, block.data(), block.size());
  }
  bool ok = g_record->Methods->ConfigMethod(index, &p) != 0;
  block.assign(static_cast<uint8_t*>(p.Data), static_cast<uint8_t*>(p.Data) + p.Size);
  if (p.Data) FakeFree(&p.Data, p.Size);
  return ok;
}

}  // namespace

TEST_F(FileOps, DialogsWriteEveryElementOfTheirBlocks) {
  using testutil::Click;
  using testutil::SetText;
  Bytes block;
  {
    testutil::TDialogScript script([](HWND d) {
      SetText(d, IDC_mCopyFiles, "C:\\a\\*.txt\r\nC:\\b.txt");
      Click(d, IDOK);  // no directory: stays open
      SetText(d, IDC_eDestDir, "D");
      Press(d, IDC_rbOverwrite);
      Press(d, IDC_cbMove);
      Press(d, IDC_cbCopyRecurse);
      Shot("copy");
      Click(d, IDOK);
    });
    ASSERT_TRUE(Config(mCopy, block));
    EXPECT_EQ(script.Caption(), "Copy/Move a file(s)");
  }
  EXPECT_EQ(block, Cat({Str("C:\\a\\*.txt\r\nC:\\b.txt"), Str("D"), Dw(0), {1}, {1}}));

  g_asked.clear();
  SetMsgBoxResponder(AnswerNoThenYes);
  block.clear();
  {
    testutil::TDialogScript script([](HWND d) {
      SetText(d, IDC_mDeleteFiles, "C:\\t\\*.bak");
      Press(d, IDC_cbDeleteDirs);
      Shot("delete");
      Click(d, IDOK);  // "No": stays open
      Click(d, IDOK);
    });
    ASSERT_TRUE(Config(mDelete, block));
    EXPECT_EQ(script.Caption(), "Delete Files");
  }
  EXPECT_EQ(g_asked, (std::vector<std::string>{"You are sure that all correctly?", "You are sure that all correctly?"}));
  EXPECT_EQ(block, Cat({Str("C:\\t\\*.bak"), {0, 1, 1}}));

  block.clear();
  {
    testutil::TDialogScript script([](HWND d) {
      EXPECT_EQ(testutil::GetText(d, IDC_eMask), "*.*.old");
      EXPECT_NE(testutil::GetText(d, IDC_mRenameFiles).find("*.*"), std::string::npos);
      SetText(d, IDC_eMask, "..\\x\\*.bak");
      Shot("rename");
      Click(d, IDOK);
    });
    ASSERT_TRUE(Config(mRename, block));
    EXPECT_EQ(script.Caption(), "Rename a files");
  }
  TBlockReader r(block.data(), static_cast<int32_t>(block.size()));
  std::string files, mask;
  ASSERT_TRUE(r.String(files) && r.String(mask));
  EXPECT_EQ(mask, "*.bak");

  block.clear();
  {
    testutil::TDialogScript script([](HWND d) {
      SetText(d, IDC_mPrintFiles, "C:\\Docs\\*.doc");
      Shot("print");
      Click(d, IDOK);
    });
    ASSERT_TRUE(Config(mPrint, block));
    EXPECT_EQ(script.Caption(), "Print a document");
  }
  EXPECT_EQ(block, Str("C:\\Docs\\*.doc"));

  // Exact copy is only for one way, and asks first (No unchecks it).
  g_asked.clear();
  block.clear();
  {
    testutil::TDialogScript script([](HWND d) {
      EXPECT_FALSE(IsWindowEnabled(GetDlgItem(d, IDC_cbExactCopy)));
      SetText(d, IDC_eFolder1, "C:\\A\\");
      SetText(d, IDC_eFolder2, "C:\\");
      Click(d, IDC_Button1);
      Press(d, IDC_rbOneWay);
      EXPECT_TRUE(IsWindowEnabled(GetDlgItem(d, IDC_cbExactCopy)));
      SendDlgItemMessageA(d, IDC_cbExactCopy, BM_SETCHECK, BST_CHECKED, 0);
      Click(d, IDC_cbExactCopy);
      EXPECT_EQ(SendDlgItemMessageA(d, IDC_cbExactCopy, BM_GETCHECK, 0, 0), BST_UNCHECKED);
      SendDlgItemMessageA(d, IDC_cbExactCopy, BM_SETCHECK, BST_CHECKED, 0);
      Click(d, IDC_cbExactCopy);
      Press(d, IDC_cbSubDir);
      Shot("sync");
      Click(d, IDOK);
    });
    ASSERT_TRUE(Config(mSync, block));
    EXPECT_EQ(script.Caption(), "Synchronize Folders");
  }
  SetMsgBoxResponder(nullptr);
  EXPECT_EQ(g_asked, (std::vector<std::string>{kExactCopyWarning, kExactCopyWarning}));
  EXPECT_EQ(block, Cat({Str("C:\\"), Str("C:\\A"), Str("*.*"), Str(""), {1, 1}, Dw(1)}));
}
