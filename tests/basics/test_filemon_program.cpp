// The real orvane.exe with the delivered General plug-in: a job with a
// files monitor at a 1 s interval runs when a file is dropped into the
// watched folder, and, after an exit and a new start, when a file was
// deleted while the program was closed.
#include <gtest/gtest.h>


#include "JobFileBytes.h"
#include "TestUtil.h"

using jobbytes::Bytes;
using jobbytes::PutDword;

namespace {

void PutString(Bytes& b, const std::string& s) {
  PutDword(b, static_cast<int32_t>(s.size() + 1));
  b.insert(b.end(), s.begin(), s.end());
  b.push_back(0);
}

// A monitor of one folder without its subtree, every kind of change, no
// lists, as the dialog writes it.
Bytes MonitorBlock(const std::string& folder) {
  Bytes b;
  PutDword(b, 0);  // the settings length, set below
  PutDword(b, 1);
  PutString(b, folder);
  b.push_back(0);
  PutString(b, "*.*");
  PutString(b, "");
  for (int i = 0; i < 8; ++i) b.push_back(1);
  PutDword(b, 1);  // seconds
  b.push_back(77);
  b.push_back(0);
  PutDword(b, 1);
  for (int i = 0; i < 4; ++i) PutString(b, "");
  b.push_back(0);
  int32_t length = static_cast<int32_t>(b.size() - 4);
  for (int i = 0; i < 4; ++i) b[static_cast<size_t>(i)] = static_cast<uint8_t>(length >> (8 * i));
  return b;
}

// The program keeps its main log in memory and writes it at exit: the
// runs are counted afterwards.
long MonitorRuns(testutil::TProgram& p) {
  std::string text = testutil::ReadFileText(p.LogsDir() + "OV.log");
  long count = 0;
  for (size_t at = 0; (at = text.find(": Cause: Files monitor\r\n", at)) != std::string::npos; ++at) ++count;
  return count;
}

void Wait(int ms) {
  testutil::WaitFor([] { return false; }, ms);
}

}  // namespace

TEST(FileMonProgram, ADroppedFileRunsTheJobAndADeletionWhileClosedIsSeenAtTheNextStart) {
  testutil::TProgram p("filemonprogram");
  p.AddDistPlugins();
  const std::string watched = p.Dir() + "watched\\";
  testutil::MakeDirs(watched);
  testutil::WriteFileText(watched + "kept.txt", "k");
  ASSERT_TRUE(CreateDirectoryA(p.JobsDir().c_str(), nullptr));
  jobbytes::JobSpec j;
  j.id = 0x0F11E0AA;
  j.name = "Watch";
  j.active = -1;
  j.events.push_back({9680, 3, true, MonitorBlock(watched)});
  testutil::WriteFileBytes(p.JobsDir() + jobbytes::JobFileName(j.id), jobbytes::JobFile(j));

  ASSERT_TRUE(p.Start());
  // The first pass only takes the snapshot; a pass follows every 0.95 s.
  Wait(2000);
  testutil::WriteFileText(watched + "dropped.txt", "d");
  Wait(4000);
  p.Close();
  ASSERT_TRUE(p.WaitExit(30000));
  EXPECT_EQ(p.ExitCode(), 0u);
  EXPECT_EQ(MonitorRuns(p), 1) << testutil::ReadFileText(p.LogsDir() + "OV.log");

  // The snapshot went into the job file at exit.
  ASSERT_TRUE(DeleteFileA((watched + "kept.txt").c_str()));
  ASSERT_TRUE(p.Start());
  Wait(3000);
  p.Close();
  ASSERT_TRUE(p.WaitExit(30000));
  EXPECT_EQ(MonitorRuns(p), 2) << testutil::ReadFileText(p.LogsDir() + "OV.log");
}
