// TimeUtils::sleepForMilliseconds: how often it asks for cancellation and what it returns.
#include <functional>

#include <gtest/gtest.h>

#include "base/TimeUtils.h"

namespace {

using vela::TimeUtils;

TEST(TimeUtils, AZeroWaitAsksNothing) {
  int asked = 0;
  EXPECT_TRUE(TimeUtils::sleepForMilliseconds(0, [&] { return ++asked, true; }));
  EXPECT_EQ(asked, 0);
}

TEST(TimeUtils, AsksBeforeEverySliceAndFinishes) {
  // 35 ms in slices of at most 10 ms: at least four slices, each preceded by a question.
  int asked = 0;
  EXPECT_TRUE(TimeUtils::sleepForMilliseconds(35, [&] { return ++asked, false; }));
  EXPECT_GE(asked, 4);
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

TEST(TimeUtils, AnEmptyQuestionIsNeverCancelled) {
  EXPECT_TRUE(TimeUtils::sleepForMilliseconds(3, std::function<bool()>()));
}

} // namespace
