// The file helpers on real folders: masks, path parts, listings by
// attributes, folder creation and the walk guard against link loops.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "FileUtil.h"
#include "TestUtil.h"

namespace {

std::vector<std::string> Names(const std::vector<TFoundFile>& found) {
  std::vector<std::string> names;
  for (const auto& f : found) names.push_back(f.Name);
  std::sort(names.begin(), names.end());
  return names;
}

// Runs a Unix program from inside wine (ln, to make symbolic links).
bool RunUnix(const std::string& cmdLine) {
  STARTUPINFOA si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  std::string cmd = cmdLine;
  if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
  WaitForSingleObject(pi.hProcess, 10000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  return true;
}

}  // namespace

TEST(FileUtil, MasksCompareNameAndExtensionSeparately) {
  EXPECT_TRUE(FileMaskMatches("*.*", "readme"));
  EXPECT_TRUE(FileMaskMatches("*.*", "a.tar.gz"));
  EXPECT_TRUE(FileMaskMatches("*.TXT", "c:\\x\\Notes.txt"));
  EXPECT_FALSE(FileMaskMatches("*.txt", "notes.txt.bak"));
  // "*" alone: only names without an extension.
  EXPECT_TRUE(FileMaskMatches("*", "Makefile"));
  EXPECT_FALSE(FileMaskMatches("*", "a.c"));
  // The name part of "*.*.old" is "*.*": "a.log" has the name "a" only.
  EXPECT_TRUE(FileMaskMatches("*.*.old", "a.log.old"));
  EXPECT_FALSE(FileMaskMatches("*.*.old", "a.old"));
  EXPECT_TRUE(FileMaskMatches("?.b*", "x.bak"));
  EXPECT_FALSE(FileMaskMatches("?.b*", "xy.bak"));
  // The folder part of a mask never counts.
  EXPECT_TRUE(FileMaskMatches("C:\\Data.d\\*.log", "a.log"));

  EXPECT_TRUE(NamePassesMasks("a.txt", {"*.txt", "*.doc"}, {}));
  EXPECT_FALSE(NamePassesMasks("a.tmp", {"*.*"}, {"*.tmp"}));
  EXPECT_FALSE(NamePassesMasks("a.txt", {}, {}));
  EXPECT_TRUE(HasWildcards("a?.txt"));
  EXPECT_FALSE(HasWildcards("C:\\a.txt"));
}

TEST(FileUtil, PathParts) {
  EXPECT_EQ(WithTrailingBackslash("D"), "D:\\");
  EXPECT_EQ(WithTrailingBackslash("D:"), "D:");
  EXPECT_EQ(WithTrailingBackslash("C:\\Backup"), "C:\\Backup\\");
  EXPECT_EQ(WithTrailingBackslash(""), "");
  EXPECT_EQ(WithoutTrailingBackslash("C:\\Backup\\"), "C:\\Backup");
  EXPECT_EQ(WithoutTrailingBackslash("C:\\"), "C:\\");
  EXPECT_EQ(ExtractFilePath("C:\\Data\\*.txt"), "C:\\Data\\");
  EXPECT_EQ(ExtractFileName("C:\\Data\\*.txt"), "*.txt");
  EXPECT_EQ(ExtractFilePath("a.txt"), "");

  EXPECT_TRUE(IsAbsolutePath("C:\\a"));
  EXPECT_TRUE(IsAbsolutePath("\\\\srv\\share\\a"));
  EXPECT_FALSE(IsAbsolutePath("\\*.bak"));
  EXPECT_FALSE(IsAbsolutePath("C:a.txt"));
  EXPECT_FALSE(IsAbsolutePath("..\\a"));
  for (const char* root : {"C:\\", "C:", "\\", "\\\\srv\\share", "\\\\srv\\share\\"})
    EXPECT_TRUE(IsRootFolder(root)) << root;
  for (const char* notRoot : {"C:\\a", "\\\\srv\\share\\a", "a"}) EXPECT_FALSE(IsRootFolder(notRoot)) << notRoot;
  EXPECT_EQ(PathRoot("\\\\srv\\share\\a\\b"), "\\\\srv\\share\\");
  EXPECT_EQ(PathRoot("c:\\a"), "c:\\");
  EXPECT_EQ(PathRoot("a\\b"), "");

  // Empty lines do not end a list.
  EXPECT_EQ(ListLines("a\r\n\r\n  \r\nb\nc\r\n"), (std::vector<std::string>{"a", "b", "c"}));
}

TEST(FileUtil, ListingTakesEachSetAndNeverNeedsTheArchiveBit) {
  std::string dir = testutil::MakeTempDir("fileutil");
  testutil::MakeDirs(dir + "sub");
  for (const char* n : {"plain.txt", "noarchive.txt", "ro.txt", "hidden.txt", "system.txt"})
    testutil::WriteFileText(dir + n, n);
  SetFileAttributesA((dir + "noarchive.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
  SetFileAttributesA((dir + "ro.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA((dir + "hidden.txt").c_str(), FILE_ATTRIBUTE_HIDDEN);
  SetFileAttributesA((dir + "system.txt").c_str(), FILE_ATTRIBUTE_SYSTEM);

  std::vector<TFoundFile> found;
  EXPECT_EQ(ListFolder(dir, kSyncFiles, found), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_EQ(Names(found), (std::vector<std::string>{"noarchive.txt", "plain.txt", "ro.txt"}));
  found.clear();
  ListFolder(dir, kFileListFiles | feFolders, found);
  EXPECT_EQ(Names(found), (std::vector<std::string>{"noarchive.txt", "plain.txt", "ro.txt", "sub", "system.txt"}));
  found.clear();
  ListFolder(dir, kMonitorFiles, found);
  EXPECT_EQ(found.size(), 5u);
  found.clear();
  ListFolder(dir, kAnyEntry, found, "*.txt");
  EXPECT_EQ(found.size(), 5u);

  // An empty match is no error; a missing folder is one.
  found.clear();
  EXPECT_EQ(ListFolder(dir, kAnyEntry, found, "*.none"), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(found.empty());
  DWORD missing = ListFolder(dir + "gone\\", kAnyEntry, found);
  EXPECT_TRUE(IsNotFoundError(missing)) << missing;
  EXPECT_TRUE(found.empty());

  SetFileAttributesA((dir + "ro.txt").c_str(), FILE_ATTRIBUTE_NORMAL);
  testutil::RemoveTree(dir);
}

TEST(FileUtil, ForceDirectoriesMakesParentsAndRefusesFiles) {
  std::string dir = testutil::MakeTempDir("fileutil");
  EXPECT_TRUE(ForceDirectories(dir + "a\\b\\c\\"));
  EXPECT_EQ(GetFileAttributesA((dir + "a\\b\\c").c_str()) & FILE_ATTRIBUTE_DIRECTORY,
            static_cast<DWORD>(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_TRUE(ForceDirectories(dir + "a\\b"));
  testutil::WriteFileText(dir + "file", "x");
  DWORD error = 0;
  EXPECT_FALSE(ForceDirectories(dir + "file\\below", &error));
  EXPECT_NE(error, 0u);
  EXPECT_TRUE(testutil::FileExists(dir + "file"));
  EXPECT_FALSE(ForceDirectories("", &error));
  testutil::RemoveTree(dir);
}

// A walk that follows links to folders must still end: the guard refuses
// a folder that the walk is already inside. (Wine reports a Unix symbolic
// link as a folder that is a link; a walk that skips links never needs
// the guard, one that follows them does.)
TEST(FileUtil, GuardEndsLinkLoops) {
  // On Z: (the Unix root), where ln can make the loop.
  std::string unixDir = "/tmp/ov-fileutil-loop-" + std::to_string(GetCurrentProcessId());
  std::string dir = "Z:" + unixDir + "/";
  std::replace(dir.begin(), dir.end(), '/', '\\');
  testutil::MakeDirs(dir + "a\\b");
  testutil::WriteFileText(dir + "a\\b\\f.txt", "x");
  ASSERT_TRUE(RunUnix("Z:\\bin\\ln -s " + unixDir + "/a " + unixDir + "/a/b/up"));
  // The Unix program may still be running when its handle says it ended.
  ASSERT_TRUE(testutil::WaitFor(
      [&] { return GetFileAttributesA((dir + "a\\b\\up\\b").c_str()) != INVALID_FILE_ATTRIBUTES; }, 5000));

  int files = 0;
  int folders = 0;
  bool sawLink = false;
  TFolderGuard guard;
  std::function<void(const std::string&)> walk = [&](const std::string& folder) {
    TGuardedFolder in(guard, folder);
    if (!in.Entered()) return;
    ++folders;
    std::vector<TFoundFile> found;
    ListFolder(folder, kAnyEntry, found);
    for (const auto& f : found) {
      sawLink |= f.IsLink();
      if (f.IsFolder()) walk(folder + f.Name + "\\");
      else ++files;
    }
  };
  walk(dir + "a\\");
  EXPECT_EQ(files, 1);
  EXPECT_EQ(folders, 2);  // a and b; a again through the link is refused
  EXPECT_EQ(guard.Depth(), 0);
  EXPECT_TRUE(sawLink);
  RunUnix("Z:\\bin\\rm -rf " + unixDir);
}
