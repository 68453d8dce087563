// Job threads expand while the main thread changes the table.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "Host.h"
#include "OVVars.h"
#include "TestUtil.h"
#include "VarsTest.h"

namespace {

// A value every character of which is the same letter: a value put
// together from two versions shows at once.
bool Uniform(const std::string& v, size_t length) {
  return v.size() == length && v.find_first_not_of(v[0]) == std::string::npos;
}

}  // namespace

TEST(VarThreads, ExpansionOnJobThreadsSurvivesChangesOnTheMainThread) {
  ResetVariables(EncodeDateTime(2026, 3, 31, 14, 5, 9));
  const size_t kLen = 200;
  HandleAddVariable("Shared", std::string(kLen, 'a').c_str());
  std::atomic<bool> stop{false};
  std::atomic<int> bad{0}, expansions{0}, messages{0};
  std::string firstBad;
  std::vector<std::thread> readers;
  for (int t = 0; t < 4; ++t) {
    readers.emplace_back([&] {
      while (!stop) {
        std::string v = HostExpand("<%Shared%><%SharedCopy%>|Year|");
        // Between a delete and the next add the reference stays as written.
        size_t close = v.find("><");
        std::string first = v.substr(1, close - 1);
        std::string second = v.substr(close + 2, v.rfind('>') - close - 2);
        bool ok = (first == "%Shared%" || Uniform(first, kLen)) &&
                  (second == "%SharedCopy%" || second == "%Shared%" || Uniform(second, kLen)) &&
                  v.substr(v.size() - 4) == "2026";
        if (!ok && bad++ == 0) firstBad = v;
        ++expansions;
      }
    });
  }
  // One more thread changes the table through the messages, as a step does.
  std::thread setter([&] {
    for (int i = 0; i < 200 && !stop; ++i) {
      HostRecord.SetVariable("SharedCopy", "%Shared%");
      HostRecord.DeleteVariable("SharedCopy", 0);
      ++messages;
    }
  });
  for (int i = 0; i < 3000; ++i) {
    std::string value(kLen, static_cast<char>('a' + i % 26));
    HandleDeleteVariable("Shared");
    HandleAddVariable("Shared", value.c_str());
    HandleAddVariable(("Extra" + std::to_string(i % 50)).c_str(), "x");
    if (i % 2) HandleDeleteVariable(("Extra" + std::to_string((i + 25) % 50)).c_str());
    if (i % 16 == 0) ProcessMessages();
  }
  ASSERT_TRUE(testutil::WaitFor([&] { return messages == 200; }, 20000));
  stop = true;
  for (auto& t : readers) t.join();
  setter.join();
  EXPECT_EQ(bad, 0) << firstBad;
  EXPECT_GT(expansions, 100);
}

TEST(VarThreads, RegisteringFromSeveralThreadsLosesNothing) {
  ResetVariables(EncodeDateTime(2026, 3, 31, 14, 5, 9));
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t] {
      for (int i = 0; i < 100; ++i) {
        std::string name = "T" + std::to_string(t) + "_" + std::to_string(i);
        HostRecord.RegisterVariable(name.c_str(), "registered", SystemVarFunc);
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(VarList()->Count(), 28 + 400);
  std::vector<TVarEntry> all = VarList()->Entries();
  for (size_t i = 1; i < all.size(); ++i) EXPECT_LT(all[i - 1].Name, all[i].Name);
}
