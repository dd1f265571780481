// The evaluation harness runs every path at every row count and reports each kind of disagreement.
#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <functional>
#include <limits>
#include <string>
#include <type_traits>
#include <vector>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "cuda/EvalElementHandler.h"
#include "cuda/VectorEvalObjects.h"
#include "tests/support/EvalHarness.h"

using namespace vela::cuda;
using namespace quarry::test;
using vela::ParserUtils::Program;

namespace {

constexpr int kLoadI64 = 153, kAddI64 = 1054, kDivI64 = 1078, kLoadString = 233, kStringLower = 1628;

struct AddFunc {
  std::int64_t operator()(std::int64_t a, std::int64_t b) const {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(a) + static_cast<std::uint64_t>(b));
  }
};
struct AddOneMoreFunc {
  std::int64_t operator()(std::int64_t a, std::int64_t b) const { return AddFunc()(a, b) + 1; }
};

// Counts the rows each evaluator type ran, then adds.
std::atomic<unsigned long> gVectorRows{0}, gRowRows{0};
struct CountingAddShape {
  template <class E>
  static void eval(E& e) {
    (std::is_same_v<E, TypedRpnValueEvaluator> ? gRowRows : gVectorRows) += e.rowCount();
    ElementwiseOp<AddFunc, std::int64_t, std::int64_t, std::int64_t>::eval(e);
  }
};

// Adds the row number: a result that depends on where the row sits.
struct PlusRowShape {
  template <class E>
  static void eval(E& e) {
    auto in = e.template popInput<std::int64_t>();
    auto out = e.template prepareOutput<std::int64_t>();
    struct PlusRow {
      mutable std::int64_t row;
      std::int64_t operator()(std::int64_t x) const { return x + row++; }
    };
    e.runKernel(PlusRow{static_cast<std::int64_t>(e.startRow())}, out, in);
    e.push(std::move(out));
  }
};

// Writes a string but reports one byte more than it reserved.
struct MisreportingCopyFunc {
  void operator()(EvalOutputString out, const InlineBuffer<char>* in) const {
    out.writeCopy(in);
    if (out.ownsObject())
      *out.reservationSlot() += 1;
  }
};

// The failures `fn` reports, intercepted.
std::vector<std::string> failuresOf(const std::function<void()>& fn) {
  testing::TestPartResultArray results;
  {
    testing::ScopedFakeTestPartResultReporter reporter(
        testing::ScopedFakeTestPartResultReporter::INTERCEPT_ONLY_CURRENT_THREAD, &results);
    fn();
  }
  std::vector<std::string> messages;
  for (int i = 0; i < results.size(); ++i)
    messages.push_back(results.GetTestPartResult(i).message());
  return messages;
}

// At least one failure, and every one of them mentions `text`.
void expectFailures(const std::function<void()>& fn, const std::string& text) {
  const std::vector<std::string> messages = failuresOf(fn);
  EXPECT_FALSE(messages.empty()) << "no failure reported; expected " << text;
  for (const std::string& m : messages)
    EXPECT_NE(m.find(text), std::string::npos) << m;
}

} // namespace

TEST(EvalHarness, RunsEveryPathAtEveryRowCount) {
  ScopedOpShape<CountingAddShape> add(kAddI64);
  Program p;
  p.column(kLoadI64, 0).column(kLoadI64, 1).op(kAddI64);
  HarnessCase c(p);
  c.addColumn<std::int64_t>({1, 2, 3, 4, 5}).addColumn<std::int64_t>({10, 20, 30, 40, 50});
  c.rowCounts({3, 70});
  gVectorRows = gRowRows = 0;
  c.expectRows<std::int64_t>({11, 22, 33, 44, 55});
  // Per count: the row evaluator forced, with and without outNulls; the column-batch evaluator forced
  // (with and without) and through the entry point (with and without), none of these counts being 1.
  const unsigned long rows = 5 + 3 + 70;
  EXPECT_EQ(gRowRows.load(), 2 * rows);
  EXPECT_EQ(gVectorRows.load(), 4 * rows);
}

TEST(EvalHarness, ReportsEvaluatorsThatDisagree) {
  Program p;
  p.column(kLoadI64, 0).column(kLoadI64, 1).op(kAddI64);
  ScopedOpHandler<TypedRpnValueEvaluator> different(
      kAddI64,
      &ElementwiseOp<AddOneMoreFunc, std::int64_t, std::int64_t, std::int64_t>::eval<TypedRpnValueEvaluator>);
  HarnessCase c(p);
  c.addColumn<std::int64_t>({1, 2}).addColumn<std::int64_t>({3, 4});
  expectFailures([&] { c.run(); }, "differs");
}

TEST(EvalHarness, ReportsResultsThatDependOnTheRowUnlessToldTheyDo) {
  ScopedOpShape<PlusRowShape> plusRow(2621);
  Program p;
  p.column(kLoadI64, 0).op(2621);
  HarnessCase c(p);
  c.addColumn<std::int64_t>({100, 200, 300});
  expectFailures([&] { c.run(); }, "differs from the case's row");
  // Told so, it still compares the paths at every count.
  c.rowDependent().expectRows<std::int64_t>({100, 201, 302});
}

TEST(EvalHarness, ReportsReservationsTheSizeArrayDoesNotReport) {
  ScopedOpShape<ElementwiseOp<MisreportingCopyFunc, EvalOutputString, const InlineBuffer<char>*>> copy(
      kStringLower);
  Program p;
  p.column(kLoadString, 0).op(kStringLower);
  HarnessCase c(p);
  c.addStringColumn({"abc"}).rowCounts({});
  const std::vector<std::string> messages = failuresOf([&] { c.run(); });
  EXPECT_NE(std::find_if(messages.begin(), messages.end(),
                         [](const std::string& m) {
                           return m.find("the pool holds what outSizes reports") != m.npos;
                         }),
            messages.end());
}

TEST(EvalHarness, ReportsWrongExpectations) {
  Program p;
  p.column(kLoadI64, 0).column(kLoadI64, 1).op(kDivI64);
  HarnessCase c(p);
  c.addColumn<std::int64_t>({6, 1}).addColumn<std::int64_t>({3, 0}).rowCounts({});
  EXPECT_TRUE(failuresOf([&] {
                c.expectRows<std::int64_t>({2, 0}, {0, 2}, RPN_EVAL_DIVIDE_BY_ZERO);
              }).empty());
  EXPECT_NONFATAL_FAILURE(c.expectRows<std::int64_t>({2, 0}, {0, 2}, RPN_EVAL_OK), "returned code");
  EXPECT_NONFATAL_FAILURE(c.expectRows<std::int64_t>({4, 0}, {0, 2}, RPN_EVAL_DIVIDE_BY_ZERO),
                          "row 0: got 2");
  EXPECT_NONFATAL_FAILURE(c.expectRows<std::int64_t>({2, 0}, {0, 1}, RPN_EVAL_DIVIDE_BY_ZERO),
                          "row 1: state 2");
  expectFailures([&] { c.expectFault("stack underflow"); }, "no fault");
}

TEST(EvalHarness, FloatsCompareBitForBitExceptNaN) {
  EXPECT_TRUE(harness_detail::sameValue(std::numeric_limits<double>::quiet_NaN(), -std::nan("7")));
  EXPECT_FALSE(harness_detail::sameValue(0.0, -0.0));
  EXPECT_FALSE(harness_detail::sameValue(1.0f, std::numeric_limits<float>::quiet_NaN()));
  EXPECT_TRUE(harness_detail::sameValue(-0.0f, -0.0f));
}
