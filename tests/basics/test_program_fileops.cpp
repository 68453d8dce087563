// Copy/move, delete, rename, print and synchronise steps in jobs of the
// real program, on real files.
#include <gtest/gtest.h>

#include <windows.h>

#include "ProgramTest.h"

using namespace basicsblocks;
using testutil::FileExists;
using testutil::ReadFileText;
using testutil::WriteFileText;

namespace {

enum { mCopy = 2, mDelete = 3, mSync = 4, mPrint = 10, mRename = 14 };
constexpr int32_t kCopyJob = 0x200, kMoveJob = 0x201, kDeleteJob = 0x202, kRenameJob = 0x203, kPrintJob = 0x204,
                  kSyncJob = 0x205;

Bytes CopyBlock(const std::string& files, const std::string& dest, uint32_t ifExists, bool move, bool recurse) {
  return Cat({Str(files), Str(dest), Dw(ifExists), {uint8_t(move)}, {uint8_t(recurse)}});
}

}  // namespace

TEST_F(BasicsProgram, FileStepsWorkOnRealFiles) {
  const std::string dir = testutil::MakeTempDir("fileopsprog");
  testutil::MakeDirs(dir + "src\\sub");
  WriteFileText(dir + "src\\a.txt", "a");
  WriteFileText(dir + "src\\sub\\b.txt", "b");
  testutil::MakeDirs(dir + "backup");
  WriteFileText(dir + "backup\\a.txt", "older copy");
  testutil::MakeDirs(dir + "old");
  for (const char* f : {"old\\x.bak", "old\\y.bak", "old\\.z.bak", "old\\keep.txt"}) WriteFileText(dir + f, f);
  testutil::MakeDirs(dir + "logs");
  WriteFileText(dir + "logs\\app.log", "log");
  testutil::MakeDirs(dir + "one\\deep");
  WriteFileText(dir + "one\\deep\\s.dat", "s");
  // Print through a file type of the test's own that copies the document.
  HKEY key;
  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, ".ovprogprint", &key), ERROR_SUCCESS);
  RegSetValueA(key, nullptr, REG_SZ, "ovprogprintfile", 0);
  RegCloseKey(key);
  ASSERT_EQ(RegCreateKeyA(HKEY_CLASSES_ROOT, "ovprogprintfile\\shell\\print\\command", &key), ERROR_SUCCESS);
  const char* cmd = "cmd.exe /c copy \"%1\" \"%1.printed\"";
  RegSetValueA(key, nullptr, REG_SZ, cmd, static_cast<DWORD>(strlen(cmd)));
  RegCloseKey(key);
  WriteFileText(dir + "doc.ovprogprint", "doc");

  AddJob(kCopyJob, "Copy job",
         {BasicsStep(mCopy, "Copy texts", CopyBlock(dir + "src\\*.*", dir + "backup", 1, false, true))});
  AddJob(kMoveJob, "Move job",
         {BasicsStep(mCopy, "Move", CopyBlock(dir + "src\\a.txt\r\n" + dir + "src\\missing.txt", dir + "moved", 0,
                                              true, false))});
  AddJob(kDeleteJob, "Delete job", {BasicsStep(mDelete, "Delete backups", Cat({Str(dir + "old\\*.bak"), {1, 0, 0}}))});
  AddJob(kRenameJob, "Rename job",
         {BasicsStep(mRename, "Keep old logs", Cat({Str(dir + "logs\\*.log"), Str("*.*.old"), {0}}))});
  AddJob(kPrintJob, "Print job", {BasicsStep(mPrint, "Print", Str(dir + "*.ovprogprint"))});
  AddJob(kSyncJob, "Sync job",
         {BasicsStep(mSync, "Mirror", Cat({Str(dir + "one"), Str(dir + "two"), Str("*.*"), Str(""), {1, 0}, Dw(1)}))});
  Start();
  for (int32_t id : {kCopyJob, kMoveJob, kDeleteJob, kRenameJob, kPrintJob, kSyncJob}) {
    HANDLE run = Run(id, "Test cause");
    ASSERT_NE(run, nullptr) << id;
    EXPECT_TRUE(Finished(run)) << id;
  }
  // No step disabled the program's windows.
  EXPECT_TRUE(IsWindowEnabled(program_->MainWindow()));
  EXPECT_TRUE(testutil::WaitFor([&] { return FileExists(dir + "doc.ovprogprint.printed"); }, 10000));
  Close();

  // Copy: the existing file kept, the new one beside it, the folder whole.
  EXPECT_EQ(ReadFileText(dir + "backup\\a.txt"), "older copy");
  EXPECT_EQ(ReadFileText(dir + "backup\\Copy of a.txt"), "a");
  EXPECT_EQ(ReadFileText(dir + "backup\\sub\\b.txt"), "b");
  auto copyLog = JobLog(kCopyJob);
  EXPECT_TRUE(Has(copyLog, "Job executed successfully")) << Joined(copyLog);
  // Move: what was there moved; the missing one makes the step fail.
  EXPECT_EQ(ReadFileText(dir + "moved\\a.txt"), "a");
  EXPECT_FALSE(FileExists(dir + "src\\a.txt"));
  auto moveLog = JobLog(kMoveJob);
  // The system's reason, then the name.
  const std::string missing = " (" + dir + "src\\missing.txt)";
  bool named = false;
  for (const auto& l : moveLog)
    named |= l.size() > missing.size() + 3 && l.compare(l.size() - missing.size(), missing.size(), missing) == 0;
  EXPECT_TRUE(named) << Joined(moveLog);
  EXPECT_TRUE(Has(moveLog, "An error occured.")) << Joined(moveLog);
  EXPECT_TRUE(Has(moveLog, "Job executed abnormally")) << Joined(moveLog);
  // Delete: two backups, the dot name left alone.
  EXPECT_FALSE(FileExists(dir + "old\\x.bak"));
  EXPECT_TRUE(FileExists(dir + "old\\.z.bak"));
  EXPECT_TRUE(FileExists(dir + "old\\keep.txt"));
  EXPECT_TRUE(Has(JobLog(kDeleteJob), "2 file(s) deleted")) << Joined(JobLog(kDeleteJob));
  // Rename and synchronise.
  EXPECT_EQ(ReadFileText(dir + "logs\\app.log.old"), "log");
  EXPECT_TRUE(Has(JobLog(kRenameJob), "Job executed successfully")) << Joined(JobLog(kRenameJob));
  EXPECT_TRUE(Has(JobLog(kPrintJob), "Job executed successfully")) << Joined(JobLog(kPrintJob));
  EXPECT_EQ(ReadFileText(dir + "two\\deep\\s.dat"), "s");
  EXPECT_TRUE(Has(JobLog(kSyncJob), "Job executed successfully")) << Joined(JobLog(kSyncJob));
  testutil::RemoveTree(dir);
}
