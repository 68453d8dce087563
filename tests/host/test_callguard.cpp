// The guard turns every kind of fault inside a call into the host's error.
#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <thread>
#include <vector>

#include "CallGuard.h"

namespace {

// Recurses until the stack is gone (the flag keeps the compiler from
// seeing that it never ends).
volatile bool g_forever = true;
__attribute__((noinline)) int Recurse(int depth) {
  volatile char pad[4096];
  pad[0] = static_cast<char>(depth);
  if (!g_forever) return 0;
  return Recurse(depth + 1) + pad[0];
}

std::string FailureOf(void (*fn)()) {
  try {
    Guarded("ExecMethod", "x.ovp", [&] { fn(); });
  } catch (const EOVError& e) {
    return e.what();
  }
  return "no error";
}

}  // namespace

TEST(CallGuard, ReturnsTheResultWhenNothingGoesWrong) {
  EXPECT_EQ(Guarded("ExecMethod", "x.ovp", [] { return 42; }), 42);
}

TEST(CallGuard, TurnsEveryFaultIntoTheHostError) {
  const std::string expected = "Failed execute 'ExecMethod' (x.ovp)";
  EXPECT_EQ(FailureOf([] { *static_cast<volatile int*>(nullptr) = 1; }), expected);
  EXPECT_EQ(FailureOf([] {
              volatile int zero = 0;
              volatile int x = 10 / zero;
              (void)x;
            }),
            expected);
  EXPECT_EQ(FailureOf([] { __builtin_trap(); }), expected);
  EXPECT_EQ(FailureOf([] { Recurse(0); }), expected);
  EXPECT_EQ(FailureOf([] { RaiseException(0xE06D7363, EXCEPTION_NONCONTINUABLE, 0, nullptr); }),
            expected);
  // Codes of other runtimes, whatever their severity bits.
  EXPECT_EQ(FailureOf([] { RaiseException(0x0EEDFADE, EXCEPTION_NONCONTINUABLE, 0, nullptr); }),
            expected);
  EXPECT_EQ(FailureOf([] { RaiseException(0x80000001, 0, 0, nullptr); }), expected);
  EXPECT_EQ(FailureOf([] { throw std::runtime_error("inner"); }), expected);
  EXPECT_EQ(FailureOf([] { throw 5; }), expected);
}

TEST(CallGuard, SurvivesAThousandFaultsAndStackOverflowsInARow) {
  for (int i = 0; i < 1000; ++i) {
    ASSERT_EQ(FailureOf([] { *static_cast<volatile int*>(nullptr) = 1; }),
              "Failed execute 'ExecMethod' (x.ovp)");
  }
  for (int i = 0; i < 5; ++i) ASSERT_NE(FailureOf([] { Recurse(0); }), "no error");
  EXPECT_EQ(Guarded("ExecMethod", "x.ovp", [] { return 7; }), 7);
}

TEST(CallGuard, LeavesInformationalExceptionsToTheSystem) {
  // OutputDebugString raises a continuable informational exception that
  // the system handles itself; the guard must not stop it.
  EXPECT_EQ(Guarded("ExecMethod", "x.ovp", [] {
              OutputDebugStringA("guard test\n");
              return 1;
            }),
            1);
}

TEST(CallGuard, NestedGuardsCatchAtTheInnermostLevel) {
  std::string inner;
  int outer = Guarded("Outer", "a", [&] {
    try {
      Guarded("Inner", "b", [] { *static_cast<volatile int*>(nullptr) = 1; });
    } catch (const EOVError& e) {
      inner = e.what();
    }
    return 3;
  });
  EXPECT_EQ(inner, "Failed execute 'Inner' (b)");
  EXPECT_EQ(outer, 3);
}

TEST(CallGuard, WorksOnSeveralThreadsAtOnce) {
  std::atomic<int> caught{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([&] {
      for (int i = 0; i < 200; ++i) {
        try {
          Guarded("ExecMethod", "x.ovp", [] { *static_cast<volatile int*>(nullptr) = 1; });
        } catch (const EOVError&) {
          ++caught;
        }
      }
    });
  }
  for (auto& t : threads) t.join();
  EXPECT_EQ(caught.load(), 800);
}
