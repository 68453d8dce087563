// The real orvane.exe on a Jobs folder holding a user's files: it keeps
// them byte for byte, brings an older layout under its proper name into
// the current layout, sets a damaged file aside, writes an activation
// through to the file, and never leaves a temporary file behind.
#include <gtest/gtest.h>

#include <algorithm>

#include "JobFileBytes.h"
#include "TestUtil.h"

using jobbytes::Bytes;
using jobbytes::Hex;
using testutil::ReadFileBytes;
using testutil::TProgram;

namespace {

constexpr UINT kActivateJob = 0x6011;

std::vector<std::string> Texts(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const auto& l : lines) out.push_back(testutil::LogText(l.size() > 2 ? l.substr(2) : l));
  return out;
}

TEST(ProgramJobFiles, KeepsUpgradesAndSetsAsideTheUsersFiles) {
  TProgram p("jobfiles");
  const std::string jobs = p.JobsDir();
  ASSERT_TRUE(CreateDirectoryA(jobs.c_str(), nullptr));

  // A full file, inactive so that its "run when Orvane starts" stays idle
  // (Active is the four bytes after the 19 bytes of magic, ID and name).
  Bytes full = jobbytes::RichJob();
  std::fill(full.begin() + 19, full.begin() + 23, 0);
  testutil::WriteFileBytes(jobs + "01020304.ovj", full);
  // The empty job "Job" in the oldest layout (it ends after the steps),
  // under a name that is not its own.
  Bytes current = Hex(jobbytes::kEmptyJob);
  Bytes oldest(current.begin(), current.begin() + 36);
  testutil::WriteFileBytes(jobs + "old.ovj", oldest);
  // A damaged file.
  Bytes damaged = jobbytes::RichJob();
  damaged.resize(damaged.size() - 2);
  testutil::WriteFileBytes(jobs + "damaged.ovj", damaged);

  ASSERT_TRUE(p.Start());
  EXPECT_EQ(ReadFileBytes(jobs + "12345678.ovj"), current);
  EXPECT_FALSE(testutil::FileExists(jobs + "old.ovj"));

  SendMessageA(p.AppWindow(), kActivateJob, 0x12345678, 0);
  Bytes active = current;
  std::fill(active.begin() + 16, active.begin() + 20, 0xFF);  // written as -1
  EXPECT_EQ(ReadFileBytes(jobs + "12345678.ovj"), active);

  p.Close();
  ASSERT_TRUE(p.WaitExit(30000));
  EXPECT_EQ(p.ExitCode(), 0u);

  EXPECT_EQ(ReadFileBytes(jobs + "01020304.ovj"), full);
  EXPECT_EQ(ReadFileBytes(jobs + "12345678.ovj"), active);
  EXPECT_EQ(ReadFileBytes(jobs + "damaged.ovj.bad"), damaged);
  EXPECT_EQ(testutil::ListFiles(jobs, "*"),
            (std::vector<std::string>{"01020304.ovj", "12345678.ovj", "damaged.ovj.bad"}));
  auto log = Texts(p.MainLogLines());
  EXPECT_NE(std::find(log.begin(), log.end(), "Invalid format of Job file (damaged.ovj)"),
            log.end());
}

}  // namespace
