#pragma once
// A fixture that binds a private pool to the test thread for the whole case and checks, after it, that
// every byte reserved was given back and every allocation freed. (Call counts need not match: a JSON
// object is charged in two steps, its value and then its node, and given back in one.) A double free or
// a leaked object is caught by the sanitizer build.
#include <gtest/gtest.h>

#include "base/RamPool.h"

namespace quarry::test {

class PoolBalancedTest : public ::testing::Test {
protected:
  void TearDown() override {
    EXPECT_EQ(pool.reservedBytes(), 0u);
    EXPECT_EQ(pool.liveAllocations(), 0);
  }
  vela::RamPool pool{"pool-balanced-test"};
  vela::RamPoolThreadBinding binding{&pool};
};

} // namespace quarry::test
