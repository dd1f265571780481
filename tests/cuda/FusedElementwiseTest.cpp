// Deferred element-wise chains of the column-batch evaluator against models written here, through the
// harness: long chains, deferred columns taken by ops that cannot fuse, mixed widths, faults mid-chain.
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/ParserUtils.h"
#include "cuda/EvalElementHandler.h"
#include "tests/support/EvalHarness.h"

using namespace quarry::test;
using vela::ParserUtils::Program;

namespace {

constexpr int kLoadI32 = 139, kLoadI64 = 153, kLoadF64 = 208, kConstI64 = 40;
constexpr int kAddI64 = 1054, kSubI64 = 1045, kMulI64 = 1061, kMulI64I32 = 1065, kDivI64 = 1078;
constexpr int kAddF64 = 1059, kMulF64 = 1074, kSqrtF64 = 1302, kGtI64 = 995, kIfI64 = 1202;

std::int64_t wrap(std::uint64_t v) {
  return static_cast<std::int64_t>(v);
}
std::uint64_t u(std::int64_t v) {
  return static_cast<std::uint64_t>(v);
}

// Rows that include the extremes, so that the wrapping arithmetic of every op in a chain is exercised.
const std::vector<std::int64_t> kA = {0, 1, -1, 7, INT64_MIN, INT64_MAX, 123456789, -987654321, 3, 40};
const std::vector<std::int64_t> kB = {5, -2, 9, 0, -1, 1, 1 << 20, 11, -3, 40};
const std::vector<std::int32_t> kK = {2, -3, 0, 1, -1, INT32_MAX, INT32_MIN, 5, 6, 7};

TEST(FusedElementwise, ChainsAgreeWithTheirModels) {
  struct Case {
    std::string what;
    std::function<void(Program&)> build;
    std::function<std::int64_t(std::int64_t a, std::int64_t b, std::int32_t k)> model;
  };
  // x = x * 3 + b, `n` times: deeper than the longest deferred chain when n is large.
  auto chain = [](int n) {
    return Case{"x = x * 3 + b, " + std::to_string(n) + " times",
                [n](Program& p) {
                  p.column(kLoadI64, 0);
                  for (int i = 0; i < n; ++i)
                    p.constant(kConstI64, std::int64_t{3}).op(kMulI64).column(kLoadI64, 1).op(kAddI64);
                },
                [n](std::int64_t a, std::int64_t b, std::int32_t) {
                  std::uint64_t x = u(a);
                  for (int i = 0; i < n; ++i)
                    x = x * 3u + u(b);
                  return wrap(x);
                }};
  };
  const std::vector<Case> cases = {
      chain(1),
      chain(4),
      chain(20),
      {"|a * k + 7 - b| with a mixed-width multiply",
       [](Program& p) {
         p.column(kLoadI64, 0).column(kLoadI32, 2).op(kMulI64I32).constant(kConstI64, std::int64_t{7});
         p.op(kAddI64).column(kLoadI64, 1).op(kSubI64).op(840);
       },
       [](std::int64_t a, std::int64_t b, std::int32_t k) {
         const std::uint64_t x = u(a) * u(k) + 7u - u(b);
         return x >> 63 ? wrap(0u - x) : wrap(x);
       }},
      {"two deferred operands: (a + b) * (a - b)",
       [](Program& p) {
         p.column(kLoadI64, 0).column(kLoadI64, 1).op(kAddI64);
         p.column(kLoadI64, 0).column(kLoadI64, 1).op(kSubI64).op(kMulI64);
       },
       [](std::int64_t a, std::int64_t b, std::int32_t) { return wrap((u(a) + u(b)) * (u(a) - u(b))); }},
      {"a deferred column taken by IF and by a comparison: IF(a + b > b * 2, a - 1, b + 1)",
       [](Program& p) {
         p.column(kLoadI64, 0).constant(kConstI64, std::int64_t{1}).op(kSubI64);
         p.column(kLoadI64, 1).constant(kConstI64, std::int64_t{1}).op(kAddI64);
         p.column(kLoadI64, 0).column(kLoadI64, 1).op(kAddI64);
         p.column(kLoadI64, 1).constant(kConstI64, std::int64_t{2}).op(kMulI64).op(kGtI64).op(kIfI64);
       },
       [](std::int64_t a, std::int64_t b, std::int32_t) {
         const bool c = wrap(u(a) + u(b)) > wrap(u(b) * 2u);
         return c ? wrap(u(b) + 1u) : wrap(u(a) - 1u); // true selects the operand pushed second
       }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Program p;
    c.build(p);
    HarnessCase hc(p);
    hc.addColumn<std::int64_t>(kA).addColumn<std::int64_t>(kB).addColumn<std::int32_t>(kK);
    std::vector<std::int64_t> expected;
    for (std::size_t r = 0; r < kA.size(); ++r)
      expected.push_back(c.model(kA[r], kB[r], kK[r]));
    hc.expectRows<std::int64_t>(expected);
  }
}

// A deferred sum divided with row states: the division takes the sum as a computed column, and a
// failed row's code survives the fused ops after it.
TEST(FusedElementwise, DeferredColumnsFeedOpsWithRowStates) {
  Program p;
  p.column(kLoadI64, 0).column(kLoadI64, 1).op(kAddI64).column(kLoadI64, 1).op(kDivI64);
  p.constant(kConstI64, std::int64_t{10}).op(kMulI64);
  HarnessCase hc(p);
  hc.addColumn<std::int64_t>({7, INT64_MIN, 5, -9}).addColumn<std::int64_t>({2, 0, -5, 3});
  // (7 + 2) / 2 * 10; division by zero; (5 - 5) / -5 * 10; (-9 + 3) / 3 * 10.
  hc.expectRows<std::int64_t>({40, 0, 0, -20}, {0, 2, 0, 0}, vela::cuda::RPN_EVAL_DIVIDE_BY_ZERO);
}

// Every float operation rounded on its own, NaN and -0.0 carried through a fused chain.
TEST(FusedElementwise, FloatChainRoundsEachOperation) {
  Program p;
  p.column(kLoadF64, 0).column(kLoadF64, 0).op(kMulF64).column(kLoadF64, 1).column(kLoadF64, 1).op(kMulF64);
  p.op(kAddF64).op(kSqrtF64);
  const std::vector<double> x = {3, -0.0, NAN, 1e200, 0.1, -1e-200};
  const std::vector<double> y = {4, -0.0, 1, 1e200, 0.2, 0};
  std::vector<double> expected;
  for (std::size_t r = 0; r < x.size(); ++r) {
    volatile double xx = x[r] * x[r], yy = y[r] * y[r];
    volatile double sum = xx + yy;
    expected.push_back(std::sqrt(sum));
  }
  HarnessCase hc(p);
  hc.addColumn<double>(x).addColumn<double>(y);
  const HarnessResult r = hc.expectRows<double>(expected);
  EXPECT_TRUE(std::isinf(r.value<double>(3))); // 1e400 overflows before the root
  EXPECT_FALSE(std::signbit(r.value<double>(1)));
}

// Faults raised while deferred ops hold operands: the harness checks the message on every path and that
// the pool is balanced afterwards (the deferred ops and their columns are released by the unwinding).
TEST(FusedElementwise, FaultsWithDeferredOpsOnTheStackReleaseThem) {
  // An op without a kernel: a stand-in whose kernel is taken away for the test.
  const ScopedNoKernel noKernel(kStandInOp);
  const int unhandled = kStandInOp;
  struct Case {
    std::string what;
    std::function<void(Program&)> build;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"two deferred values left",
       [](Program& p) {
         p.column(kLoadI64, 0).column(kLoadI64, 1).op(kAddI64).column(kLoadI64, 0).column(kLoadI64, 1);
         p.op(kMulI64).op(kAddI64).column(kLoadI64, 0).column(kLoadI64, 1).op(kSubI64);
       },
       "stack ended with excess values"},
      {"an op without a kernel after a deferred chain",
       [unhandled](Program& p) {
         p.column(kLoadI64, 0).column(kLoadI64, 1).op(kAddI64).column(kLoadI64, 1).op(kMulI64).op(unhandled);
       },
       std::string(vela::ParserUtils::get_trpn_op_name(unhandled)) + " not handled"},
      {"a fused op short of operands",
       [](Program& p) { p.column(kLoadI64, 0).column(kLoadI64, 1).op(kAddI64).op(kMulI64); },
       "stack underflow"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Program p;
    c.build(p);
    HarnessCase hc(p);
    hc.addColumn<std::int64_t>(kA).addColumn<std::int64_t>(kB);
    hc.expectFault(c.message);
  }
}

} // namespace

// A functor with look-ahead stages is asked only about rows of the batch, each stage about the row its
// distance ahead, and computes the same cells as without them (with and without a state column).
namespace {
struct LookAheadFunc {
  std::vector<std::vector<std::int64_t>>* asked;
  std::int64_t operator()(std::int64_t x) const { return x * 3 + 1; }
  std::int64_t operator()(std::int64_t x, vela::cuda::rpn_eval_result_t& code) const {
    if (x % 5 == 0)
      code = static_cast<vela::cuda::rpn_eval_result_t>(2);
    return x * 3 + 1;
  }
  void prefetch(vela::cuda::PrefetchFar, std::int64_t x) const { (*asked)[0].push_back(x); }
  void prefetch(vela::cuda::PrefetchMid, std::int64_t x) const { (*asked)[1].push_back(x); }
  void prefetch(vela::cuda::PrefetchNear, std::int64_t x) const { (*asked)[2].push_back(x); }
};
} // namespace

TEST(FusedElementwise, LookAheadStagesSeeOnlyRowsOfTheBatch) {
  using vela::cuda::dispatchFuncHost;
  const std::size_t distances[] = {vela::cuda::kFarRows, vela::cuda::kMidRows, vela::cuda::kNearRows};
  for (std::size_t n : {0u, 1u, 3u, 4u, 12u, 13u, 100u}) {
    std::vector<std::int64_t> in(n);
    for (std::size_t i = 0; i < n; ++i)
      in[i] = static_cast<std::int64_t>(i);
    for (bool withStates : {false, true}) {
      std::vector<std::vector<std::int64_t>> asked(3);
      const LookAheadFunc f{&asked};
      std::vector<std::int64_t> out(n, -7);
      std::vector<vela::cuda::rpn_eval_result_t> codes(n, static_cast<vela::cuda::rpn_eval_result_t>(9));
      if (withStates)
        dispatchFuncHost(n, f, out.data(), vela::cuda::VectorEvalResultColumn{codes.data()}, in.data());
      else
        dispatchFuncHost(n, f, out.data(), in.data());
      for (std::size_t i = 0; i < n; ++i) {
        EXPECT_EQ(out[i], in[i] * 3 + 1) << n << " rows, row " << i;
        if (withStates) {
          EXPECT_EQ(codes[i], in[i] % 5 == 0 ? 2 : 0) << n << " rows, row " << i;
        }
      }
      for (int stage = 0; stage < 3; ++stage) {
        std::vector<std::int64_t> want;
        for (std::size_t r = distances[stage]; r < n; ++r)
          want.push_back(static_cast<std::int64_t>(r));
        EXPECT_EQ(asked[stage], want) << n << " rows, stage " << stage;
      }
    }
  }
}
