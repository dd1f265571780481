// Memory-limit faults: random programs whose pool fails the k-th reservation, k swept over the call's
// reservations (one thread, so they come in a fixed order), and at random limits with two threads. The
// call must throw the pool's exception, free every object it made, leave the pool at zero once the
// caller has freed what the outputs report, and a second call without a limit gives the right rows.
#include <iostream>

#include "RelSupport.h"

namespace quarry::test {
namespace {

GenOptions limitOptions() {
  GenOptions o;
  o.rowCounts = {1, 63, 65, 130};
  o.maxDistinctRows = 24;
  return o;
}

struct LimitCase {
  Evaluator evaluator;
  bool sweep; // true: one thread, reservation by reservation; false: two threads, random limits
};

class MemoryLimit : public ::testing::TestWithParam<LimitCase> {};

TEST_P(MemoryLimit, EveryFaultFreesWhatTheCallMadeAndTheNextCallRecovers) {
  const LimitCase& p = GetParam();
  ProgramGenerator gen(0x1147 + static_cast<int>(p.evaluator) * 2 + p.sweep, limitOptions());
  RelStats stats;
  int failures = 0;
  for (int i = 0; i < sliceSize(200, 30) && failures < 2; ++i) {
    std::unique_ptr<AssembledCase> assembled;
    const GenCase c = drawCase(gen, &stats, assembled);
    ++stats.programs;
    auto check = [&](AssembledCase& a, const GenCase& g) {
      return p.sweep ? limitSweep(a, p.evaluator, g.rows, 64, &stats)
                     : limitSpray(a, p.evaluator, g.rows, 6, gen.engine(), &stats);
    };
    const std::string problem = check(*assembled, c);
    if (problem.empty())
      continue;
    ++failures;
    const std::string kind = problemKind(problem);
    const GenCase small = shrinkCase(
        c,
        [&](const GenCase& candidate) {
          std::unique_ptr<AssembledCase> a = AssembledCase::assemble(candidate);
          return a && problemKind(check(*a, candidate)) == kind;
        },
        300);
    ADD_FAILURE() << evaluatorName(p.evaluator) << " evaluator: " << problem
                  << "\nshrunk: " << reproduction(small, problem);
  }
  std::cout << "[ limits ] " << stats.summary();
  EXPECT_GT(stats.faultsInjected, 20u);
}

INSTANTIATE_TEST_SUITE_P(
    Evaluators, MemoryLimit,
    ::testing::Values(LimitCase{Evaluator::Vector, true}, LimitCase{Evaluator::Row, true},
                      LimitCase{Evaluator::Vector, false}, LimitCase{Evaluator::Row, false}),
    [](const auto& info) {
      return std::string(info.param.evaluator == Evaluator::Vector ? "ColumnBatch" : "Row") +
             (info.param.sweep ? "EveryReservation" : "TwoThreadsRandomLimits");
    });

} // namespace
} // namespace quarry::test
