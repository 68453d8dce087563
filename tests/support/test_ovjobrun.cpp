// ovjobrun.exe as a desktop shortcut starts it, beside the real orvane.exe
// in a program folder of its own: it has the job run by the running Orvane,
// or starts Orvane first. Also the host's side of the request: records that
// are not valid requests do nothing.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "RemoteRequests.h"
#include "SupportTestUtil.h"
#include "TestUtil.h"

using supporttest::kQuiet;
using supporttest::RunProgram;
using testutil::TProgram;

namespace {

constexpr uint32_t kJobId = 0x0A1B2C3D;
const char kJobName[] = "Nightly backup";

void PutDword(std::vector<uint8_t>& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A job with no steps and no events, as the host writes it.
void WriteJobFile(const std::string& jobsDir, uint32_t id, const std::string& name) {
  std::vector<uint8_t> b = {'O', 'V', 0, 0};
  PutDword(b, id);
  PutDword(b, static_cast<uint32_t>(name.size() + 1));
  b.insert(b.end(), name.begin(), name.end());
  b.push_back(0);
  PutDword(b, 0);  // Active
  PutDword(b, 0);  // ActionAfterRun: nothing
  PutDword(b, 0);  // ToLog
  PutDword(b, 0);  // events
  PutDword(b, 0);  // steps
  PutDword(b, 0);  // RunOnStart
  PutDword(b, 0);  // RunOnExit
  PutDword(b, 0);  // Hidden
  PutDword(b, 0);  // Category
  PutDword(b, 3);  // Priority: normal
  CreateDirectoryA(jobsDir.c_str(), nullptr);
  char file[16];
  std::snprintf(file, sizeof file, "%08X.ovj", static_cast<unsigned>(id));
  testutil::WriteFileBytes(jobsDir + file, b);
}

// The texts of the main log, without level marks and time stamps.
std::vector<std::string> LogTexts(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const auto& l : lines) out.push_back(testutil::LogText(l.size() > 2 ? l.substr(2) : l));
  return out;
}

size_t Count(const std::vector<std::string>& v, const std::string& s) {
  return static_cast<size_t>(std::count(v.begin(), v.end(), s));
}

size_t CountPrefix(const std::vector<std::string>& v, const std::string& prefix) {
  return static_cast<size_t>(std::count_if(
      v.begin(), v.end(), [&](const std::string& s) { return s.rfind(prefix, 0) == 0; }));
}

supporttest::TRun RunJobRun(const std::string& dir, const std::string& args) {
  return RunProgram(dir + "ovjobrun.exe", args, dir, {kQuiet}, 90000);
}

LRESULT SendRecord(HWND wnd, ULONG_PTR magic, const std::vector<char>& data) {
  COPYDATASTRUCT cds{};
  cds.dwData = magic;
  cds.cbData = static_cast<DWORD>(data.size());
  cds.lpData = const_cast<char*>(data.data());
  DWORD_PTR result = 99;
  if (!SendMessageTimeoutA(wnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds), SMTO_NORMAL,
                           10000, &result))
    return -1;
  return static_cast<LRESULT>(result);
}

std::vector<char> Record(uint32_t id, const std::string& cause, bool terminated = true) {
  // The zero, when present, is the last byte (the vector starts zeroed).
  std::vector<char> r(4 + cause.size() + (terminated ? 1 : 0));
  std::memcpy(r.data(), &id, 4);
  if (!cause.empty()) std::memcpy(r.data() + 4, cause.data(), cause.size());
  return r;
}

// An Orvane that ovjobrun started: closed through its exit sequence.
class TStartedOrvane {
 public:
  TStartedOrvane() {
    if (HWND main = FindWindowA("TfOrvane", nullptr)) {
      GetWindowThreadProcessId(main, &pid_);
      process_ = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE,
                             pid_);
    }
  }
  ~TStartedOrvane() {
    if (process_ && !Exited(0)) TerminateProcess(process_, 9);
    if (process_) CloseHandle(process_);
  }
  bool Found() const { return process_ != nullptr; }
  bool Close() {
    HWND app = testutil::FindProcessWindow(pid_, "TApplication");
    if (app) PostMessageA(app, 0x600E, 0, 0);
    return app && Exited(30000);
  }

 private:
  bool Exited(int timeoutMs) {
    return testutil::WaitFor([&] { return WaitForSingleObject(process_, 0) == WAIT_OBJECT_0; },
                             timeoutMs);
  }
  DWORD pid_ = 0;
  HANDLE process_ = nullptr;
};

}  // namespace

TEST(OvJobRun, RunsTheJobInTheRunningOrvane) {
  TProgram p("jobrun");
  WriteJobFile(p.JobsDir(), kJobId, kJobName);
  ASSERT_TRUE(p.Start());

  // Hexadecimal digits in either case name the same job.
  auto r = RunJobRun(p.Dir(), "$0a1b2C3d");
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0u) << r.stdErr;
  EXPECT_EQ(r.stdErr, "");

  auto unknown = RunJobRun(p.Dir(), "$7FFFFFFE");
  EXPECT_EQ(unknown.exitCode, 3u);
  EXPECT_NE(unknown.stdErr.find("Orvane has no job $7FFFFFFE."), std::string::npos)
      << unknown.stdErr;

  p.Close();
  ASSERT_TRUE(p.WaitExit(30000));
  auto log = LogTexts(p.MainLogLines());
  auto start = std::find(log.begin(), log.end(), "Starting Job [Nightly backup]");
  ASSERT_NE(start, log.end());
  ASSERT_NE(start + 1, log.end());
  EXPECT_EQ(start[1], "Cause: Shortcut");
  EXPECT_EQ(CountPrefix(log, "Starting Job"), 1u);
  EXPECT_EQ(CountPrefix(log, "Cause:"), 1u);
}

TEST(OvJobRun, StartsOrvaneWhenItIsNotRunning) {
  TProgram p("jobrun-start");
  WriteJobFile(p.JobsDir(), kJobId, kJobName);
  // A slow plug-in keeps Orvane's window up for a while before the jobs are
  // loaded: the request must wait for them, not report a missing job.
  p.AddTestPlugin("tp_slowinit");
  ASSERT_EQ(FindWindowA("TfOrvane", nullptr), nullptr);

  auto r = RunJobRun(p.Dir(), "$0A1B2C3D");
  TStartedOrvane orvane;
  ASSERT_TRUE(r.finished);
  EXPECT_EQ(r.exitCode, 0u) << r.stdErr;
  ASSERT_TRUE(orvane.Found());
  ASSERT_TRUE(orvane.Close());
  // The registry root of this test reached the Orvane that ovjobrun started.
  HKEY key;
  ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, p.RegKey(HKEY_CURRENT_USER, "Software\\Halvorn\\Orvane\\Settings").c_str(),
                          0, KEY_READ, &key),
            ERROR_SUCCESS);
  RegCloseKey(key);

  // The Orvane of this folder ran the job: its log has the request.
  auto log = LogTexts(p.MainLogLines());
  auto loaded = std::find(log.begin(), log.end(), "Load jobs...");
  auto start = std::find(log.begin(), log.end(), "Starting Job [Nightly backup]");
  ASSERT_NE(start, log.end());
  EXPECT_LT(loaded, start);
  ASSERT_NE(start + 1, log.end());
  EXPECT_EQ(start[1], "Cause: Shortcut");
  EXPECT_EQ(CountPrefix(log, "Starting Job"), 1u);
}

TEST(OvJobRun, BadArgumentsStartNothing) {
  TProgram p("jobrun-bad");
  WriteJobFile(p.JobsDir(), kJobId, kJobName);
  const char* bad[] = {
      "",                    // no job
      "0A1B2C3D",            // no "$"
      "$0A1B2C3",            // seven digits
      "$0A1B2C3D0",          // nine digits
      "$0A1B2G3D",           // not hexadecimal
      "$-A1B2C3D",           // a sign
      "$0A1B2C3D $0A1B2C3D", // two jobs
  };
  for (const char* args : bad) {
    SCOPED_TRACE(args);
    auto r = RunJobRun(p.Dir(), args);
    ASSERT_TRUE(r.finished);
    EXPECT_EQ(r.exitCode, 1u);
    EXPECT_NE(r.stdErr.find("Usage: ovjobrun.exe $<job ID>"), std::string::npos) << r.stdErr;
    EXPECT_NE(r.stdErr.find("No job was started."), std::string::npos);
  }
  // Orvane was never started: no window, no log folder.
  EXPECT_EQ(FindWindowA("TfOrvane", nullptr), nullptr);
  EXPECT_EQ(GetFileAttributesA(p.LogsDir().c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(OvJobRun, SaysSoWhenOrvaneIsNotBesideIt) {
  std::string dir = testutil::MakeTempDir("jobrun-alone");
  ASSERT_TRUE(CopyFileA((std::string(OV_DIST_DIR) + "\\ovjobrun.exe").c_str(),
                        (dir + "ovjobrun.exe").c_str(), FALSE));
  auto r = RunJobRun(dir, "$0A1B2C3D");
  EXPECT_EQ(r.exitCode, 2u);
  EXPECT_NE(r.stdErr.find("Cannot start " + dir + "orvane.exe"), std::string::npos) << r.stdErr;
  testutil::RemoveTree(dir);
}

TEST(OvJobRun, TheHostIgnoresRecordsThatAreNoValidRequest) {
  TProgram p("jobrun-records");
  WriteJobFile(p.JobsDir(), kJobId, kJobName);
  ASSERT_TRUE(p.Start());
  HWND main = p.MainWindow();
  ASSERT_NE(main, nullptr);

  // Each names the existing job, so a record that slipped through would run it.
  EXPECT_EQ(SendRecord(main, OV_COPYDATA_RUNJOB + 1, Record(kJobId, "Wrong magic")),
            OV_RUNJOB_NOJOB);
  EXPECT_EQ(SendRecord(main, OV_COPYDATA_RUNJOB, Record(kJobId, "Unterminated", false)),
            OV_RUNJOB_NOJOB);
  std::vector<char> idOnly(4);
  std::memcpy(idOnly.data(), &kJobId, 4);
  EXPECT_EQ(SendRecord(main, OV_COPYDATA_RUNJOB, idOnly), OV_RUNJOB_NOJOB);
  EXPECT_EQ(SendRecord(main, OV_COPYDATA_RUNJOB, std::vector<char>(3, '\0')), OV_RUNJOB_NOJOB);
  EXPECT_EQ(SendRecord(main, OV_COPYDATA_RUNJOB, {}), OV_RUNJOB_NOJOB);
  EXPECT_EQ(SendRecord(main, OV_COPYDATA_RUNJOB, Record(kJobId, std::string(2000, 'x'))),
            OV_RUNJOB_NOJOB);
  // A valid record with an empty cause runs the job without a cause line;
  // the longest cause is accepted whole.
  EXPECT_EQ(SendRecord(main, OV_COPYDATA_RUNJOB, Record(kJobId, "")), OV_RUNJOB_DONE);
  std::string longest(1023, 'c');
  EXPECT_EQ(SendRecord(main, OV_COPYDATA_RUNJOB, Record(kJobId, longest)), OV_RUNJOB_DONE);

  p.Close();
  ASSERT_TRUE(p.WaitExit(30000));
  auto log = LogTexts(p.MainLogLines());
  EXPECT_EQ(CountPrefix(log, "Starting Job [Nightly backup]"), 2u);
  EXPECT_EQ(CountPrefix(log, "Cause:"), 1u);
  EXPECT_EQ(Count(log, "Cause: " + longest), 1u);
}
