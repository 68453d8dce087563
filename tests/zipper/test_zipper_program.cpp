// The archive plug-in in the real program: jobs that archive and extract,
// the step results and log lines of the edge cases, two jobs archiving at
// once.
#include <gtest/gtest.h>

#include <windows.h>

#include "ProgramTest.h"

using namespace basicsblocks;

namespace {

constexpr int32_t kZipperID = 9681;
enum { mZip = 0, mUnzip = 1 };

Bytes ZipBlock(const std::string& files, const std::string& dest, const std::string& comment, uint8_t action,
               uint8_t level, bool subDirs) {
  return Cat({Str(files), Str(dest), Str(comment), {action, level, 0, uint8_t(subDirs ? 1 : 0), 0, 0, 0}});
}

Bytes UnzipBlock(const std::string& zip, const std::string& dest, bool overwrite, bool skipOlder, bool folders) {
  return Cat({Str(zip), Str(dest), {uint8_t(overwrite), uint8_t(skipOlder), uint8_t(folders)}});
}

// A one-entry archive with the entry's name as given (stored, no checks).
std::string StoredArchive(const std::string& name, const std::string& data, uint32_t crc) {
  std::string out;
  auto le = [&out](uint32_t v, int n) {
    for (int i = 0; i < n; ++i) out.push_back(char(v >> (8 * i)));
  };
  auto header = [&](uint32_t sig, bool central) {
    le(sig, 4);
    if (central) le(20, 2);
    le(10, 2), le(0, 2), le(0, 2), le(0, 2), le(0x21, 2);  // version, flags, stored, 1980-01-01
    le(crc, 4), le(uint32_t(data.size()), 4), le(uint32_t(data.size()), 4);
    le(uint32_t(name.size()), 2), le(0, 2);
    if (central) le(0, 2), le(0, 2), le(0, 2), le(0, 4), le(0, 4);  // comment, disk, attributes, offset 0
    out += name;
  };
  header(0x04034b50, false);
  out += data;
  uint32_t cd = uint32_t(out.size());
  header(0x02014b50, true);
  uint32_t cdSize = uint32_t(out.size()) - cd;
  le(0x06054b50, 4), le(0, 4), le(1, 2), le(1, 2), le(cdSize, 4), le(cd, 4), le(0, 2);
  return out;
}

jobbytes::StepSpec ZipperStep(int method, const std::string& name, const Bytes& block) {
  return jobbytes::StepSpec{kZipperID, method, name, true, block};
}

class ZipperProgram : public BasicsProgram {
 protected:
  void SetUp() override {
    BasicsProgram::SetUp();
    work_ = testutil::MakeTempDir("zipwork");
  }
  void TearDown() override {
    testutil::RemoveTree(work_);
    BasicsProgram::TearDown();
  }
  // Runs a job and waits for it.
  void RunAndWait(int32_t id) {
    HANDLE run = Run(id, "Test");
    ASSERT_NE(run, nullptr);
    ASSERT_TRUE(Finished(run, 60000));
  }
  std::string work_;
};

bool Succeeded(const std::vector<std::string>& log) { return Has(log, "Job executed successfully"); }

}  // namespace

TEST_F(ZipperProgram, ArchivesAndExtractsInJobsAndReportsWhatWentWrong) {
  const std::string src = work_ + "src\\", zip = work_ + "pack.zip", dest = work_ + "dest\\";
  testutil::MakeDirs(src + "sub");
  testutil::WriteFileText(src + "a.txt", "first file");
  testutil::WriteFileText(src + "sub\\b.txt", std::string(5000, 'b'));
  const std::string longFolder = work_ + std::string(140, 'L');
  testutil::MakeDirs(longFolder);

  enum : int32_t { kPack = 0x200, kUnpack, kEmptyList, kNothing, kMissing, kLongRoot, kSlip, kTwinA, kTwinB };
  // Update on an archive that does not exist yet adds; a relative
  // pattern is taken from the archive's folder; the comment comes
  // with its variables filled in.
  AddJob(kPack, "Pack", {ZipperStep(mZip, "Pack it", ZipBlock("src\\*.*\r\n", zip, "[%DateTime%]\r\nby us", 3, 1, true))});
  AddJob(kUnpack, "Unpack", {ZipperStep(mUnzip, "Unpack it", UnzipBlock(zip, dest, false, false, true))});
  AddJob(kEmptyList, "Empty list", {ZipperStep(mZip, "No files", ZipBlock("", work_ + "x.zip", "", 0, 1, false))});
  AddJob(kNothing, "Nothing", {ZipperStep(mZip, "Freshen", ZipBlock("src\\*.*", zip, "c", 1, 1, true))});
  AddJob(kMissing, "Missing", {ZipperStep(mUnzip, "Absent", UnzipBlock(work_ + "absent.zip", dest, true, false, true))});
  AddJob(kLongRoot, "Long root", {ZipperStep(mZip, "Long", ZipBlock(src + "a.txt", longFolder + "\\l.zip", "", 0, 1, false))});
  AddJob(kSlip, "Slip", {ZipperStep(mUnzip, "Slip", UnzipBlock(work_ + "slip.zip", work_ + "slipdest", true, false, true))});
  AddJob(kTwinA, "Twin A", {ZipperStep(mZip, "A", ZipBlock(src + "*.*", work_ + "a.zip", "A", 0, 0, true))});
  AddJob(kTwinB, "Twin B", {ZipperStep(mZip, "B", ZipBlock(src + "*.*", work_ + "b.zip", "B", 0, 0, true))});
  Start();

  RunAndWait(kPack);
  RunAndWait(kUnpack);
  EXPECT_EQ(testutil::ReadFileText(dest + "src\\a.txt"), "first file");
  EXPECT_EQ(testutil::ReadFileText(dest + "src\\sub\\b.txt"), std::string(5000, 'b'));
  // The archive's comment (the end record's last bytes) was expanded.
  std::string bytes = testutil::ReadFileText(zip);
  std::string comment = bytes.substr(bytes.rfind("PK\x05\x06") + 22);
  EXPECT_EQ(comment.find('%'), std::string::npos) << comment;
  EXPECT_EQ(comment.substr(comment.size() - 8), "]\r\nby us") << comment;

  for (int32_t id : {kEmptyList, kNothing, kMissing, kLongRoot}) RunAndWait(id);

  // An archive with a climbing name extracts inside its destination.
  testutil::WriteFileText(work_ + "slip.zip", StoredArchive("../evil.txt", "evil", 0x8dfb3152));
  RunAndWait(kSlip);
  EXPECT_EQ(testutil::ReadFileText(work_ + "slipdest\\evil.txt"), "evil");
  EXPECT_FALSE(testutil::FileExists(work_ + "evil.txt"));

  // Two jobs archiving at once both finish with a whole archive.
  HANDLE a = Run(kTwinA, "Test"), b = Run(kTwinB, "Test");
  ASSERT_TRUE(Finished(a, 60000));
  ASSERT_TRUE(Finished(b, 60000));
  Close();

  EXPECT_TRUE(Succeeded(JobLog(kPack))) << Joined(JobLog(kPack));
  EXPECT_TRUE(Succeeded(JobLog(kUnpack))) << Joined(JobLog(kUnpack));
  auto empty = JobLog(kEmptyList);
  EXPECT_TRUE(Has(empty, "Unknown error #-1")) << Joined(empty);
  EXPECT_TRUE(Has(empty, "Job executed abnormally"));
  auto nothing = JobLog(kNothing);
  EXPECT_TRUE(Has(nothing, "Nothing to do!")) << Joined(nothing);
  EXPECT_TRUE(Has(nothing, "Job executed abnormally"));
  // A missing archive fails the step with a reason.
  auto missing = JobLog(kMissing);
  EXPECT_TRUE(HasPrefix(missing, "Extracting \"" + work_ + "absent.zip\" failed: Zip file not found")) << Joined(missing);
  EXPECT_TRUE(Has(missing, "Job executed abnormally"));
  auto longRoot = JobLog(kLongRoot);
  EXPECT_TRUE(HasPrefix(longRoot, "The folder of the zip file is too long (")) << Joined(longRoot);
  EXPECT_TRUE(Has(longRoot, "Job executed abnormally"));
  EXPECT_FALSE(testutil::FileExists(longFolder + "\\l.zip"));
  auto slipLog = JobLog(kSlip);
  EXPECT_TRUE(HasPrefix(slipLog, "warning: stripped")) << Joined(slipLog);
  EXPECT_TRUE(Succeeded(slipLog));
  EXPECT_TRUE(Succeeded(JobLog(kTwinA))) << Joined(JobLog(kTwinA));
  EXPECT_TRUE(Succeeded(JobLog(kTwinB))) << Joined(JobLog(kTwinB));
  EXPECT_EQ(testutil::ReadFileText(work_ + "a.zip").substr(0, 4), "PK\x03\x04");
  EXPECT_EQ(testutil::ReadFileText(work_ + "b.zip").substr(0, 4), "PK\x03\x04");
}
