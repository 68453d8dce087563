// Job files as users keep them: every layout the program ever wrote loads,
// and what the program writes is exactly the file format, byte for byte.
#include <gtest/gtest.h>

#include "JobTest.h"
#include "OVError.h"
#include "TestUtil.h"
#include "uSettings.h"

using jobbytes::Cat;
using jobbytes::Hex;
using namespace jobtest;

namespace {

class JobFile : public ::testing::Test {
 protected:
  void SetUp() override { dir_ = testutil::MakeTempDir("jobfile"); }
  void TearDown() override { testutil::RemoveTree(dir_); }

  std::string dir_;
  AllocWatch blocks_;
};

// The job of jobbytes::RichJob(), built through the job's own setters.
std::unique_ptr<TOVJob> RichJobInMemory() {
  auto job = NewJob();
  job->SetID(0x01020304);
  job->SetName("Backup");
  job->SetActive(OV_TRUE);
  job->SetActionAfterRun(aarDeactivate);
  job->SetToLog(true);
  TOVJobRun* e0 = job->AddEvent();
  e0->SetPluginID(1001);
  e0->SetRunnerIndex(0);
  e0->SetEnabled(OV_TRUE);
  e0->SetParams(3, Block(Hex("0A0B0C")));
  TOVJobRun* e1 = job->AddEvent();
  e1->SetPluginID(9680);
  e1->SetRunnerIndex(1);
  TOVJobStep* s0 = job->AddStep();
  s0->SetPluginID(9680);
  s0->SetMethodIndex(3);
  s0->SetEnabled(OV_TRUE);
  s0->SetName("Copy");
  s0->SetParams(5, Block(Hex("0102030405")));
  TOVJobStep* s1 = job->AddStep();
  s1->SetPluginID(1865837835);
  s1->SetMethodIndex(0);
  job->SetRunOnStart(true);
  job->SetHidden(true);
  job->SetCategory(7);
  job->SetPriority(5);
  return job;
}

TEST_F(JobFile, EmptyJobIsMagicIdNameAndTenFields) {
  auto job = NewJob();
  job->SetID(0x12345678);
  job->SetName("Job");
  Bytes expected = Hex(jobbytes::kEmptyJob);
  ASSERT_EQ(expected.size(), 4u + 4 + 4 + 4 + 4 * 5 + 4 * 5);
  EXPECT_EQ(Save(*job), expected);
}

TEST_F(JobFile, JobBuiltInMemoryWritesEveryRecordInListOrder) {
  auto job = RichJobInMemory();
  EXPECT_EQ(Save(*job), jobbytes::RichJob());
  EXPECT_FALSE(job->Modified());
}

TEST_F(JobFile, LoadsEveryFieldOfAFullFile) {
  auto job = NewJob();
  Load(*job, jobbytes::RichJob());
  EXPECT_EQ(job->ID(), 0x01020304);
  EXPECT_EQ(job->Name(), "Backup");
  EXPECT_EQ(job->Active(), -1);
  EXPECT_EQ(job->ActionAfterRun(), aarDeactivate);
  EXPECT_TRUE(job->ToLog());
  EXPECT_TRUE(job->RunOnStart());
  EXPECT_FALSE(job->RunOnExit());
  EXPECT_TRUE(job->Hidden());
  EXPECT_EQ(job->Category(), 7);
  EXPECT_EQ(job->Priority(), 5);
  EXPECT_FALSE(job->Modified());

  ASSERT_EQ(job->EventCount(), 2);
  TOVJobRun* e0 = job->Events(0);
  EXPECT_EQ(e0->PluginID(), 1001);
  EXPECT_EQ(e0->RunnerIndex(), 0);
  EXPECT_TRUE(e0->Enabled());
  EXPECT_EQ(BlockBytes(e0->Params()->Size, e0->Params()->Data), Hex("0A0B0C"));
  EXPECT_EQ(e0->Params()->JobID, 0x01020304);
  TOVJobRun* e1 = job->Events(1);
  EXPECT_EQ(e1->PluginID(), 9680);
  EXPECT_EQ(e1->RunnerIndex(), 1);
  EXPECT_FALSE(e1->Enabled());
  EXPECT_EQ(e1->Params()->Size, 0);
  EXPECT_EQ(e1->Params()->Data, nullptr);
  EXPECT_EQ(e1->Params()->JobID, 0x01020304);
  EXPECT_FALSE(e0->Started());  // loading arms nothing

  ASSERT_EQ(job->StepCount(), 2);
  TOVJobStep* s0 = job->Steps(0);
  EXPECT_EQ(s0->PluginID(), 9680);
  EXPECT_EQ(s0->MethodIndex(), 3);
  EXPECT_TRUE(s0->Enabled());
  EXPECT_EQ(s0->Name(), "Copy");
  EXPECT_EQ(BlockBytes(s0->Params().Size, s0->Params().Data), Hex("0102030405"));
  TOVJobStep* s1 = job->Steps(1);
  EXPECT_EQ(s1->PluginID(), 1865837835);
  EXPECT_EQ(s1->Name(), "");
  EXPECT_EQ(s1->Params().Size, 0);
  EXPECT_EQ(s1->Params().Data, nullptr);
  EXPECT_EQ(blocks_.Live(), 2u);  // the two blocks the file holds, nothing else
}

TEST_F(JobFile, BothEditionsWriteAndReadTheSameFile) {
  // The fixture was written by the 64-bit edition: each edition reads it
  // and writes the same job to exactly its bytes.
  const std::string fixture = std::string(OV_SOURCE_DIR) + "\\tests\\host\\fixtures\\rich-job-x64.ovj";
  auto built = RichJobInMemory();
  std::string written = dir_ + "built.ovj";
  built->SaveToFile(written);
  if (GetEnvironmentVariableA("OV_WRITE_FIXTURES", nullptr, 0) && sizeof(void*) == 8) {
    ASSERT_TRUE(CopyFileA(written.c_str(), fixture.c_str(), FALSE));
  }
  Bytes stored = testutil::ReadFileBytes(fixture);
  ASSERT_FALSE(stored.empty());
  EXPECT_EQ(testutil::ReadFileBytes(written), stored);

  auto job = NewJob();
  job->LoadFromFile(fixture);
  EXPECT_EQ(job->Name(), "Backup");
  ASSERT_EQ(job->EventCount(), 2);
  EXPECT_EQ(BlockBytes(job->Events(0)->Params()->Size, job->Events(0)->Params()->Data), Hex("0A0B0C"));
  ASSERT_EQ(job->StepCount(), 2);
  EXPECT_EQ(BlockBytes(job->Steps(0)->Params().Size, job->Steps(0)->Params().Data), Hex("0102030405"));
  std::string again = dir_ + "again.ovj";
  job->SaveToFile(again);
  EXPECT_EQ(testutil::ReadFileBytes(again), stored);
}

TEST_F(JobFile, FilesRoundTripByteForByte) {
  const Bytes files[] = {Hex(jobbytes::kEmptyJob), jobbytes::RichJob(),
                         Hex(jobbytes::kActiveOneJob)};
  for (const Bytes& file : files) {
    std::string path = dir_ + "job.ovj";
    testutil::WriteFileBytes(path, file);
    auto job = NewJob();
    job->LoadFromFile(path);
    std::string out = dir_ + "out.ovj";
    job->SaveToFile(out);
    EXPECT_EQ(testutil::ReadFileBytes(out), file);
  }
}

TEST_F(JobFile, ActiveIsWrittenBackAsStored) {
  // 1 stays 1 and -1 stays -1: a load and save of an unchanged job never
  // rewrites the user's file differently.
  auto job = NewJob();
  Load(*job, Hex(jobbytes::kActiveOneJob));
  EXPECT_EQ(job->Active(), 1);
  EXPECT_EQ(Save(*job), Hex(jobbytes::kActiveOneJob));
  // Also when the job already held another true value before the load.
  auto active = NewJob();
  active->SetActive(OV_TRUE);
  Load(*active, Hex(jobbytes::kActiveOneJob));
  EXPECT_EQ(Save(*active), Hex(jobbytes::kActiveOneJob));
  // And the host writes -1 when it makes a job active itself.
  auto fresh = NewJob();
  Load(*fresh, Hex(jobbytes::kEmptyJob));
  fresh->SetActive(OV_TRUE);
  Bytes written = Save(*fresh);
  EXPECT_EQ(Bytes(written.begin() + 16, written.begin() + 20), Hex("FFFFFFFF"));
}

struct OlderLayout {
  const char* name;
  std::vector<std::string> pieces;  // what the file holds after the steps
  bool start, exit, hidden;
  int32_t category;
  std::vector<std::string> writtenBack;  // the groups a save adds
};
// Failures name the case instead of dumping its bytes.
void PrintTo(const OlderLayout& c, std::ostream* os) { *os << c.name; }


class OlderLayouts : public JobFile, public ::testing::WithParamInterface<OlderLayout> {};

TEST_P(OlderLayouts, LoadWithDefaultsAndSaveInTheFullLayout) {
  const OlderLayout& p = GetParam();
  Bytes file = Cat({jobbytes::kRichHeader, jobbytes::kRichEvents, jobbytes::kRichSteps});
  for (const std::string& piece : p.pieces) {
    Bytes b = Hex(piece);
    file.insert(file.end(), b.begin(), b.end());
  }
  auto job = NewJob();
  job->SetPriority(0);  // the defaults come from the file's layout, not from before
  job->SetCategory(99);
  job->SetRunOnExit(true);
  Load(*job, file);
  EXPECT_EQ(job->StepCount(), 2);
  EXPECT_EQ(job->EventCount(), 2);
  EXPECT_EQ(job->RunOnStart(), p.start);
  EXPECT_EQ(job->RunOnExit(), p.exit);
  EXPECT_EQ(job->Hidden(), p.hidden);
  EXPECT_EQ(job->Category(), p.category);
  EXPECT_EQ(job->Priority(), 3);
  EXPECT_FALSE(job->Modified());

  Bytes expected = file;
  for (const std::string& piece : p.writtenBack) {
    Bytes b = Hex(piece);
    expected.insert(expected.end(), b.begin(), b.end());
  }
  EXPECT_EQ(Save(*job), expected);
}

INSTANTIATE_TEST_SUITE_P(
    JobFile, OlderLayouts,
    ::testing::Values(
        OlderLayout{"EndsAfterSteps", {}, false, false, false, 0,
                    {jobbytes::kDefaultGroupA, jobbytes::kDefaultGroupB, jobbytes::kDefaultGroupC}},
        OlderLayout{"EndsAfterHidden", {jobbytes::kRichGroupA}, true, false, true, 0,
                    {jobbytes::kDefaultGroupB, jobbytes::kDefaultGroupC}},
        OlderLayout{"EndsAfterCategory", {jobbytes::kRichGroupA, jobbytes::kRichGroupB}, true,
                    false, true, 7, {jobbytes::kDefaultGroupC}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(JobFile, NegativeParameterSizeMeansNoBlock) {
  // "Absent when the size is zero or less" holds for every record.
  Bytes file = Cat({jobbytes::kRichHeader,
                    "01000000 E9030000 00000000 FFFFFFFF FFFFFFFF",  // event, size -1
                    "01000000 D0250000 00000000 FFFFFFFF 01000000 00 00000080",  // step, size min
                    jobbytes::kRichGroupA, jobbytes::kRichGroupB, jobbytes::kRichGroupC});
  auto job = NewJob();
  Load(*job, file);
  ASSERT_EQ(job->EventCount(), 1);
  ASSERT_EQ(job->StepCount(), 1);
  EXPECT_EQ(job->Events(0)->Params()->Size, 0);
  EXPECT_EQ(job->Events(0)->Params()->Data, nullptr);
  EXPECT_EQ(job->Steps(0)->Params().Size, 0);
  EXPECT_EQ(job->Steps(0)->Params().Data, nullptr);
  EXPECT_EQ(blocks_.Requested(), 0);
  Bytes written = Save(*job);
  EXPECT_EQ(written, Cat({jobbytes::kRichHeader, "01000000 E9030000 00000000 FFFFFFFF 00000000",
                          "01000000 D0250000 00000000 FFFFFFFF 01000000 00 00000000",
                          jobbytes::kRichGroupA, jobbytes::kRichGroupB, jobbytes::kRichGroupC}));
}

TEST_F(JobFile, NamesUpTo1023CharactersRoundTrip) {
  std::string longest(1023, 'n');
  auto job = NewJob();
  job->SetID(0x12345678);
  job->SetName(longest + "cut");
  EXPECT_EQ(job->Name(), longest);
  TOVJobStep* step = job->AddStep();
  step->SetName(std::string(2000, 's'));
  EXPECT_EQ(step->Name().size(), 1023u);
  Bytes written = Save(*job);
  EXPECT_EQ(Bytes(written.begin() + 8, written.begin() + 12), Hex("00040000"));  // 1024
  auto back = NewJob();
  Load(*back, written);
  EXPECT_EQ(back->Name(), longest);
  EXPECT_EQ(back->Steps(0)->Name(), std::string(1023, 's'));
  EXPECT_EQ(Save(*back), written);
}

TEST_F(JobFile, NameFillingAllBytesWithoutZeroKeeps1023Characters) {
  Bytes file = Hex("4F560000 78563412 00040000");
  file.insert(file.end(), 1024, 'x');
  Bytes rest = Hex("00000000 00000000 00000000 00000000 00000000");
  file.insert(file.end(), rest.begin(), rest.end());
  auto job = NewJob();
  Load(*job, file);
  EXPECT_EQ(job->Name(), std::string(1023, 'x'));
}

TEST_F(JobFile, NameIsTheTextUpToTheFirstZero) {
  auto job = NewJob();
  Load(*job, Hex("4F560000 78563412 08000000 4A6F6200 41424300"
                 "00000000 00000000 00000000 00000000 00000000"));
  EXPECT_EQ(job->Name(), "Job");
}

TEST_F(JobFile, BytesAfterTheLastKnownFieldAreIgnored) {
  // A file from a newer version with more fields still opens.
  Bytes file = jobbytes::RichJob();
  Bytes more = Hex("2A000000 00");
  file.insert(file.end(), more.begin(), more.end());
  auto job = NewJob();
  Load(*job, file);
  EXPECT_EQ(job->Priority(), 5);
  EXPECT_EQ(Save(*job), jobbytes::RichJob());
}

TEST_F(JobFile, FileNameIsTheIdAsEightUpperCaseHexDigits) {
  EXPECT_EQ(JobFileName(0), "00000000.ovj");
  EXPECT_EQ(JobFileName(0xABCDEF), "00ABCDEF.ovj");
  EXPECT_EQ(JobFileName(2147483646), "7FFFFFFE.ovj");
  auto job = NewJob();
  Load(*job, jobbytes::RichJob());
  EXPECT_EQ(job->FileName(), "01020304.ovj");
  job->SaveToJobsDir();
  std::string path = Settings.JobDir + "01020304.ovj";
  EXPECT_EQ(testutil::ReadFileBytes(path), jobbytes::RichJob());
  job->SetName("Changed");
  job->ReloadFromJobsDir();
  EXPECT_EQ(job->Name(), "Backup");
  DeleteFileA(path.c_str());
}

TEST_F(JobFile, NewIdsStayInTheirRange) {
  for (int i = 0; i < 2000; ++i) {
    int32_t id = NewJobID();
    ASSERT_GE(id, 0);
    ASSERT_LT(id, 2147483647);
  }
  auto a = NewJob(), b = NewJob();
  EXPECT_NE(a->ID(), b->ID());
}

// ------------------------------------------------------------------ saving

class JobFileSave : public JobFile {
 protected:
  void SetUp() override {
    JobFile::SetUp();
    path_ = dir_ + "12345678.ovj";
    testutil::WriteFileBytes(path_, jobbytes::RichJob());
    job_ = NewJob();
    job_->LoadFromFile(path_);
    job_->SetName("Renamed");
  }
  void TearDown() override {
    job_.reset();
    JobFile::TearDown();
  }
  std::vector<std::string> Files() { return testutil::ListFiles(dir_, "*"); }
  // Saving must fail with a message that names the file and the reason.
  void ExpectSaveFails() {
    try {
      job_->SaveToFile(path_);
      ADD_FAILURE() << "the save succeeded";
    } catch (const EOVError& e) {
      std::string prefix = "Cannot save Job file \"" + path_ + "\" (";
      EXPECT_EQ(std::string(e.what()).substr(0, prefix.size()), prefix) << e.what();
      EXPECT_GT(std::string(e.what()).size(), prefix.size() + 1);
    }
    EXPECT_TRUE(job_->Modified());  // still unsaved
    EXPECT_EQ(testutil::ReadFileBytes(path_), jobbytes::RichJob());
  }

  std::string path_;
  std::unique_ptr<TOVJob> job_;
};

TEST_F(JobFileSave, ReplacesTheFileAndLeavesNothingElse) {
  job_->SaveToFile(path_);
  EXPECT_FALSE(job_->Modified());
  auto back = NewJob();
  back->LoadFromFile(path_);
  EXPECT_EQ(back->Name(), "Renamed");
  EXPECT_EQ(back->StepCount(), 2);
  EXPECT_EQ(Files(), std::vector<std::string>{"12345678.ovj"});
}

TEST_F(JobFileSave, ALeftoverTempFileFromACrashIsReplaced) {
  testutil::WriteFileText(path_ + ".tmp", "half a file");
  job_->SaveToFile(path_);
  EXPECT_EQ(Files(), std::vector<std::string>{"12345678.ovj"});
  auto back = NewJob();
  back->LoadFromFile(path_);
  EXPECT_EQ(back->Name(), "Renamed");
}

TEST_F(JobFileSave, UnwritableTempPathKeepsTheOldFile) {
  ASSERT_TRUE(CreateDirectoryA((path_ + ".tmp").c_str(), nullptr));
  ExpectSaveFails();
  EXPECT_EQ(Files(), std::vector<std::string>{"12345678.ovj"});
  RemoveDirectoryA((path_ + ".tmp").c_str());
}

TEST_F(JobFileSave, RefusedReplacementKeepsTheOldFileAndRemovesTheTempFile) {
  // The new content was written in full, then the old file could not be
  // replaced because another program holds it open (a backup, a virus
  // scanner): the old file stays as it was, the written copy goes.
  HANDLE held = CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ExpectSaveFails();
  CloseHandle(held);
  EXPECT_EQ(Files(), std::vector<std::string>{"12345678.ovj"});
  // Once the file is free again the same job saves.
  job_->SaveToFile(path_);
  EXPECT_FALSE(job_->Modified());
  EXPECT_NE(testutil::ReadFileBytes(path_), jobbytes::RichJob());
}

TEST_F(JobFileSave, MissingFolderIsAClearError) {
  std::string path = dir_ + "gone\\12345678.ovj";
  EXPECT_THROW(job_->SaveToFile(path), EOVError);
  EXPECT_EQ(Files(), std::vector<std::string>{"12345678.ovj"});
}

TEST_F(JobFileSave, MissingFileIsAClearErrorOnLoad) {
  auto job = NewJob();
  job->AddStep();
  try {
    job->LoadFromFile(dir_ + "none.ovj");
    ADD_FAILURE() << "loaded a missing file";
  } catch (const EOVError& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot open file \"" + dir_ + "none.ovj\"");
  }
  EXPECT_EQ(job->StepCount(), 0);
}

}  // namespace
