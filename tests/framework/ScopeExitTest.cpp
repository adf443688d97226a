// The scope-exit guard runs its function once, when its scope ends, also
// when the scope is left by an exception or a return.
#include "framework/ScopeExit.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace kb {
namespace {

int LeaveEarly(int& Runs, bool Early) {
  auto done = OnScopeExit([&Runs] { ++Runs; });
  if (Early) return 1;
  return 2;
}

TEST(ScopeExitTest, RunsOnceOnEveryWayOut) {
  int runs = 0;
  {
    auto done = OnScopeExit([&runs] { ++runs; });
    EXPECT_EQ(runs, 0);  // not before the scope ends
  }
  EXPECT_EQ(runs, 1);

  EXPECT_EQ(LeaveEarly(runs, true), 1);
  EXPECT_EQ(LeaveEarly(runs, false), 2);
  EXPECT_EQ(runs, 3);

  bool flag = true;
  EXPECT_THROW(
      {
        auto restore = OnScopeExit([&flag] { flag = false; });
        throw std::runtime_error("failure");
      },
      std::runtime_error);
  EXPECT_FALSE(flag);
}

}  // namespace
}  // namespace kb
