// TimeUtils::sleepForMilliseconds: how often it asks for cancellation and what it returns.
#include <chrono>
#include <functional>

#include <gtest/gtest.h>

#include "base/TimeUtils.h"

namespace {

using vela::TimeUtils;

TEST(TimeUtils, AZeroWaitAsksNothingAndAnEmptyQuestionNeverCancels) {
  int asked = 0;
  EXPECT_TRUE(TimeUtils::sleepForMilliseconds(0, [&] { return ++asked, true; }));
  EXPECT_EQ(asked, 0);
  EXPECT_TRUE(TimeUtils::sleepForMilliseconds(3, std::function<bool()>()));
}

TEST(TimeUtils, AsksBeforeEverySliceAndFinishes) {
  // 35 ms in slices of at most 10 ms, each preceded by a question, and one more question after the last
  // slice. How many slices fit depends on how late the scheduler wakes the thread, so only the bounds
  // that hold on a loaded machine are checked: the full wait, and more than one question.
  int asked = 0;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(TimeUtils::sleepForMilliseconds(35, [&] { return ++asked, false; }));
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(35));
  EXPECT_GE(asked, 2);
}

TEST(TimeUtils, StopsAtTheFirstCancellation) {
  for (int cancelAt : {1, 2, 3}) {
    int asked = 0;
    EXPECT_FALSE(TimeUtils::sleepForMilliseconds(10'000'000, [&] { return ++asked == cancelAt; }));
    EXPECT_EQ(asked, cancelAt);
  }
  // Even a wait beyond the clock's range ends when cancelled.
  int asked = 0;
  EXPECT_FALSE(TimeUtils::sleepForMilliseconds(UINT64_MAX, [&] { return ++asked == 2; }));
}

} // namespace
