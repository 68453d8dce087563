// Job files that are cut short, damaged or made up: the reader never
// crashes, never trusts a size or count, never holds more memory than the
// file can justify, and either loads a sound job or reports the file's
// format error with the job left without steps and events.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <iterator>
#include <new>
#include <random>

#include "HostTest.h"
#include "JobTest.h"
#include "OVError.h"
#include "TestUtil.h"

// Every allocation made through operator new is counted while a load runs,
// so that a reader that sizes anything from the file's say-so shows up.
namespace {
std::atomic<bool> g_counting{false};
std::atomic<uint64_t> g_newBytes{0};
}  // namespace

// Kept out of line: inlined, the compiler would pair the callers' new with
// free() and warn about a mismatch that is not there.
__attribute__((noinline)) void* operator new(std::size_t n) {
  if (g_counting.load(std::memory_order_relaxed)) g_newBytes += n;
  if (void* p = std::malloc(n ? n : 1)) return p;
  throw std::bad_alloc();
}
__attribute__((noinline)) void operator delete(void* p) noexcept { std::free(p); }
__attribute__((noinline)) void operator delete(void* p, std::size_t) noexcept { std::free(p); }

using jobbytes::Cat;
using jobbytes::Hex;
using namespace jobtest;

namespace {

const std::string kInvalid = "Invalid format of Job file";

// Heap use a load may make per byte of file: the objects that hold the
// smallest records are a few times larger than the records themselves.
constexpr uint64_t kHeapPerFileByte = 8;
constexpr uint64_t kHeapFixed = 16384;

struct Outcome {
  bool loaded = false;
  std::string error;
  uint64_t heap = 0;
  int64_t blocks = 0;
};

// Loads bytes into a job that held a step and an event before.
Outcome TryLoad(TOVJob& job, const Bytes& bytes, AllocWatch& watch) {
  Outcome o;
  watch.ResetRequested();
  g_newBytes = 0;
  g_counting = true;
  try {
    Load(job, bytes);
    o.loaded = true;
  } catch (const EOVError& e) {
    g_counting = false;
    o.error = e.what();
  }
  g_counting = false;
  o.heap = g_newBytes;
  o.blocks = watch.Requested();
  return o;
}

std::unique_ptr<TOVJob> JobWithContent() {
  auto job = NewJob();
  job->SetID(99);
  job->SetName("Mine");
  job->AddStep()->SetName("old step");
  job->AddEvent();
  job->SetModified(false);
  return job;
}

// What a rejected file must leave: the job's identity, no steps, no events.
void ExpectRejected(const TOVJob& job, const Outcome& o, const std::string& what) {
  EXPECT_FALSE(o.loaded) << what;
  EXPECT_EQ(o.error, kInvalid) << what;
  EXPECT_EQ(job.StepCount(), 0) << what;
  EXPECT_EQ(job.EventCount(), 0) << what;
  EXPECT_EQ(job.ID(), 99) << what;
  EXPECT_EQ(job.Name(), "Mine") << what;
}

// What a loaded job must be: within the format's limits, and stable when
// written and read again.
void ExpectSound(TOVJob& job, const std::string& what) {
  EXPECT_LE(job.Name().size(), 1023u) << what;
  EXPECT_FALSE(job.Modified()) << what;
  for (int i = 0; i < job.StepCount(); ++i) {
    const TOVMethodParams& p = job.Steps(i)->Params();
    EXPECT_EQ(p.Size > 0, p.Data != nullptr) << what;
    EXPECT_LE(job.Steps(i)->Name().size(), 1023u) << what;
  }
  for (int i = 0; i < job.EventCount(); ++i) {
    const TOVRunnerParams& p = *job.Events(i)->Params();
    EXPECT_EQ(p.Size > 0, p.Data != nullptr) << what;
    EXPECT_EQ(p.JobID, job.ID()) << what;
    EXPECT_FALSE(job.Events(i)->Started()) << what;
  }
  Bytes once = Save(job);
  auto again = NewJob();
  Load(*again, once);
  EXPECT_EQ(Save(*again), once) << what;
}

void ExpectBounded(const Outcome& o, size_t fileSize, const std::string& what) {
  EXPECT_LE(o.blocks, static_cast<int64_t>(fileSize)) << what;
  EXPECT_LE(o.heap, kHeapPerFileByte * fileSize + kHeapFixed) << what;
}

TEST(HostileJobFile, EveryCutOfAFullFileIsRejectedExceptTheOlderLayouts) {
  AllocWatch watch;
  const Bytes full = jobbytes::RichJob();
  const size_t afterSteps =
      Cat({jobbytes::kRichHeader, jobbytes::kRichEvents, jobbytes::kRichSteps}).size();
  const size_t afterGroupA = afterSteps + 12, afterGroupB = afterGroupA + 4;
  for (size_t n = 0; n <= full.size(); ++n) {
    const bool layout = n == afterSteps || n == afterGroupA || n == afterGroupB || n == full.size();
    auto job = JobWithContent();
    Bytes cut(full.begin(), full.begin() + static_cast<ptrdiff_t>(n));
    Outcome o = TryLoad(*job, cut, watch);
    std::string what = "cut at " + std::to_string(n);
    if (layout) {
      EXPECT_TRUE(o.loaded) << what << ": " << o.error;
      EXPECT_EQ(job->StepCount(), 2) << what;
    } else {
      ExpectRejected(*job, o, what);
    }
    ExpectBounded(o, cut.size(), what);
  }
  EXPECT_EQ(watch.Live(), 0u);
  EXPECT_EQ(watch.Foreign(), 0);
}

struct Damage {
  const char* name;
  std::vector<std::string> hex;
};
// Failures name the case instead of dumping its bytes.
void PrintTo(const Damage& c, std::ostream* os) { *os << c.name; }


class DamagedJobFile : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedJobFile, IsRejectedWithoutAllocatingWhatItClaims) {
  AllocWatch watch;
  Bytes file;
  for (const std::string& h : GetParam().hex) {
    Bytes b = Hex(h);
    file.insert(file.end(), b.begin(), b.end());
  }
  auto job = JobWithContent();
  Outcome o = TryLoad(*job, file, watch);
  ExpectRejected(*job, o, GetParam().name);
  ExpectBounded(o, file.size(), GetParam().name);
  job.reset();
  EXPECT_EQ(watch.Live(), 0u);
}

// The pieces of a small valid job "J" around which the damage is placed.
const std::string kHead = "4F560000 78563412 02000000 4A00";
const std::string kFlags = "FFFFFFFF 00000000 01000000";  // Active, ActionAfterRun, ToLog
const std::string kNoEvents = "00000000";
const std::string kNoSteps = "00000000";
const std::string kGroups = "00000000 00000000 00000000 00000000 03000000";
const std::string kEvent = "E9030000 00000000 FFFFFFFF";  // before its block size
const std::string kStep = "D0250000 00000000 FFFFFFFF";   // before its name

INSTANTIATE_TEST_SUITE_P(
    HostileJobFile, DamagedJobFile,
    ::testing::Values(
        Damage{"Empty", {""}},
        Damage{"ShorterThanEightBytes", {"4F560000 785634"}},
        Damage{"OnlyMagicAndId", {"4F560000 78563412"}},
        Damage{"OtherMagic", {"4F560001 78563412 02000000 4A00", kFlags, kNoEvents, kNoSteps}},
        Damage{"LowerCaseMagic", {"6F760000 78563412 02000000 4A00", kFlags, kNoEvents, kNoSteps}},
        Damage{"NameLengthZero", {"4F560000 78563412 00000000", kFlags, kNoEvents, kNoSteps}},
        Damage{"NameLengthNegative", {"4F560000 78563412 FFFFFFFF 4A00", kFlags, kNoEvents}},
        Damage{"NameLength1025",
               {"4F560000 78563412 01040000", std::string(2050, '4'), kFlags, kNoEvents, kNoSteps}},
        Damage{"NameLengthHuge", {"4F560000 78563412 FFFFFF7F 4A00", kFlags, kNoEvents}},
        Damage{"NameLongerThanTheFile", {"4F560000 78563412 10000000 4A00 0000"}},
        Damage{"EndsInTheFlags", {kHead, "FFFFFFFF 0000"}},
        Damage{"EventCountHuge", {kHead, kFlags, "FFFFFF7F", kEvent, "00000000", kNoSteps}},
        Damage{"EventCountNegative", {kHead, kFlags, "FFFFFFFF", kNoSteps, kGroups}},
        Damage{"EventCountBeyondTheRecords",
               {kHead, kFlags, "03000000", kEvent, "00000000", kEvent, "00000000", kNoSteps}},
        // Only the last block of a file may end with the file (see below).
        Damage{"EventBlockLargerThanTheFile",
               {kHead, kFlags, "02000000", kEvent, "E8030000 0A0B0C", kEvent, "00000000", kNoSteps, kGroups}},
        Damage{"EventBlockSizeHuge", {kHead, kFlags, "02000000", kEvent, "FFFFFF7F 0A0B0C", kEvent, "00000000"}},
        Damage{"LastEventCompleteButNoStepCount", {kHead, kFlags, "01000000", kEvent, "03000000 0A0B0C"}},
        Damage{"StepCountHuge", {kHead, kFlags, kNoEvents, "00000010", kStep, "01000000 00"}},
        Damage{"StepCountNegative", {kHead, kFlags, kNoEvents, "FEFFFFFF", kGroups}},
        Damage{"StepNameLengthZero",
               {kHead, kFlags, kNoEvents, "01000000", kStep, "00000000 00000000", kGroups}},
        Damage{"StepNameLength1025",
               {kHead, kFlags, kNoEvents, "01000000", kStep, "01040000", std::string(2050, '4'),
                "00000000", kGroups}},
        Damage{"StepNameLengthNegative",
               {kHead, kFlags, kNoEvents, "01000000", kStep, "00000080 00 00000000", kGroups}},
        Damage{"StepBlockLargerThanTheFile",
               {kHead, kFlags, kNoEvents, "02000000", kStep, "01000000 00 00000100 01020304", kStep,
                "01000000 00 00000000"}},
        Damage{"PartialGroupA", {kHead, kFlags, kNoEvents, kNoSteps, "01000000 00000000"}},
        Damage{"PartialCategory", {kHead, kFlags, kNoEvents, kNoSteps, "00000000 00000000 00000000 0700"}},
        Damage{"PartialPriority",
               {kHead, kFlags, kNoEvents, kNoSteps, "00000000 00000000 00000000 07000000 05"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(HostileJobFile, AFileEndingInsideItsLastBlockLoadsWithTheBlockCut) {
  struct Case {
    const char* name;
    std::vector<std::string> hex;
    bool inEvent;
    std::string kept;  // the block's bytes, as hexadecimal
    const char* warning;
  };
  const Case cases[] = {
      {"last step", {kHead, kFlags, kNoEvents, "01000000", kStep, "01000000 00 08000000 010203"}, false,
       "010203", "Job \"J\": the settings of step \"\" end early (3 of 8 bytes)"},
      {"nothing of it", {kHead, kFlags, kNoEvents, "01000000", kStep, "01000000 00 08000000"}, false, "",
       "Job \"J\": the settings of step \"\" end early (0 of 8 bytes)"},
      {"last event", {kHead, kFlags, "01000000", kEvent, "04000000 0A0B0C"}, true, "0A0B0C",
       "Job \"J\": the settings of event 1 end early (3 of 4 bytes)"},
  };
  for (const Case& c : cases) {
    Bytes file;
    for (const std::string& h : c.hex) {
      Bytes b = Hex(h);
      file.insert(file.end(), b.begin(), b.end());
    }
    ClearMainLog();
    auto job = NewJob();
    Load(*job, file);
    EXPECT_TRUE(job->LoadedCut()) << c.name;
    ASSERT_EQ(job->StepCount(), c.inEvent ? 0 : 1) << c.name;
    ASSERT_EQ(job->EventCount(), c.inEvent ? 1 : 0) << c.name;
    int32_t size = c.inEvent ? job->Events(0)->Params()->Size : job->Steps(0)->Params().Size;
    const void* data = c.inEvent ? job->Events(0)->Params()->Data : job->Steps(0)->Params().Data;
    Bytes kept = Hex(c.kept);
    ASSERT_EQ(size, static_cast<int32_t>(kept.size())) << c.name;
    EXPECT_EQ(data == nullptr, kept.empty()) << c.name;
    if (data) {
      EXPECT_EQ(Bytes(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size), kept) << c.name;
    }
    EXPECT_EQ(job->Priority(), 3) << c.name;
    EXPECT_EQ(MainLogTexts(), std::vector<std::string>{c.warning}) << c.name;
    ExpectSound(*job, c.name);
  }
}

TEST(HostileJobFile, DamagedFileOnDiskLeavesTheJobEmpty) {
  std::string dir = testutil::MakeTempDir("hostile");
  Bytes file = jobbytes::RichJob();
  file[1] = 'W';
  testutil::WriteFileBytes(dir + "bad.ovj", file);
  auto job = JobWithContent();
  try {
    job->LoadFromFile(dir + "bad.ovj");
    ADD_FAILURE() << "loaded a file with another magic";
  } catch (const EOVError& e) {
    EXPECT_EQ(e.what(), kInvalid);
  }
  EXPECT_EQ(job->StepCount(), 0);
  EXPECT_EQ(job->EventCount(), 0);
  EXPECT_EQ(testutil::ReadFileBytes(dir + "bad.ovj"), file);  // reading changes nothing
  testutil::RemoveTree(dir);
}

// Random damage of every kind, from a fixed seed so that any failure can
// be reproduced: flipped bytes, bytes put in or taken out, cuts, and
// 32-bit values that make sizes and counts huge, negative or just wrong.
Bytes Mutate(Bytes b, std::mt19937& rng) {
  auto pick = [&](size_t n) { return n ? std::uniform_int_distribution<size_t>(0, n - 1)(rng) : 0; };
  const int count = 1 + static_cast<int>(pick(4));
  for (int k = 0; k < count; ++k) {
    switch (pick(6)) {
      case 0:
        if (!b.empty()) b[pick(b.size())] ^= static_cast<uint8_t>(1 + pick(255));
        break;
      case 1: {
        size_t at = pick(b.size() + 1);
        size_t n = 1 + pick(8);
        for (size_t i = 0; i < n; ++i)
          b.insert(b.begin() + static_cast<ptrdiff_t>(at), static_cast<uint8_t>(pick(256)));
        break;
      }
      case 2:
        if (!b.empty()) {
          size_t at = pick(b.size());
          size_t n = std::min(b.size() - at, 1 + pick(8));
          b.erase(b.begin() + static_cast<ptrdiff_t>(at), b.begin() + static_cast<ptrdiff_t>(at + n));
        }
        break;
      case 3:
        b.resize(pick(b.size() + 1));
        break;
      default: {
        if (b.size() < 4) break;
        size_t at = pick(b.size() - 3);
        const uint32_t values[] = {0,          1,          0xFFFFFFFF, 0x7FFFFFFF,
                                   0x80000000, 1024,       1025,       0x10000000,
                                   static_cast<uint32_t>(b.size()),
                                   static_cast<uint32_t>(b.size() - at),
                                   static_cast<uint32_t>(b.size() - at - 3)};
        uint32_t v = values[pick(std::size(values))];
        for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(v >> (8 * i));
        break;
      }
    }
  }
  return b;
}

TEST(HostileJobFile, ThousandsOfRandomDamagesGiveASoundJobOrTheFormatError) {
  AllocWatch watch;
  const Bytes seeds[] = {jobbytes::RichJob(), Hex(jobbytes::kEmptyJob),
                         Hex(jobbytes::kActiveOneJob),
                         Cat({jobbytes::kRichHeader, jobbytes::kRichEvents, jobbytes::kRichSteps})};
  std::mt19937 rng(20240611);
  int loaded = 0, rejected = 0;
  for (int i = 0; i < 20000; ++i) {
    const Bytes& seed = seeds[static_cast<size_t>(i) % std::size(seeds)];
    Bytes file = Mutate(seed, rng);
    std::string what = "damage #" + std::to_string(i);
    auto job = JobWithContent();
    Outcome o = TryLoad(*job, file, watch);
    ExpectBounded(o, file.size(), what);
    if (o.loaded) {
      ++loaded;
      ExpectSound(*job, what);
    } else {
      ++rejected;
      ExpectRejected(*job, o, what);
    }
    job.reset();
    ASSERT_EQ(watch.Live(), 0u) << what;
    if (HasFailure()) break;  // one reproducible case is enough to read
  }
  EXPECT_EQ(watch.Foreign(), 0);
  // Both outcomes must have been exercised for the run to mean anything.
  EXPECT_GT(loaded, 500);
  EXPECT_GT(rejected, 500);
}

TEST(HostileJobFile, ManySmallRecordsCostMemoryInProportionOnly) {
  // A file that is nothing but the smallest records: the most objects per
  // byte a file can ask for.
  AllocWatch watch;
  Bytes file = Hex(kHead + kFlags);
  const int events = 4000, steps = 4000;
  Bytes count = Hex("A00F0000");  // 4000
  file.insert(file.end(), count.begin(), count.end());
  for (int i = 0; i < events; ++i) {
    Bytes e = Hex(kEvent + "00000000");
    file.insert(file.end(), e.begin(), e.end());
  }
  file.insert(file.end(), count.begin(), count.end());
  for (int i = 0; i < steps; ++i) {
    Bytes s = Hex(kStep + "01000000 00 00000000");
    file.insert(file.end(), s.begin(), s.end());
  }
  auto job = JobWithContent();
  Outcome o = TryLoad(*job, file, watch);
  ASSERT_TRUE(o.loaded) << o.error;
  EXPECT_EQ(job->EventCount(), events);
  EXPECT_EQ(job->StepCount(), steps);
  ExpectBounded(o, file.size(), "smallest records");
  EXPECT_EQ(o.blocks, 0);
}

}  // namespace
