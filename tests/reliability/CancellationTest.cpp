// Cancellation: a job whose status stops evaluation, set before the call, during a batch and while rows
// sleep. The call returns without an exception and promptly; rows it wrote equal an uncancelled call's,
// rows it did not write are untouched, its code is 0 or a written row's and never above the worst of
// them, and the pool ends at zero.
#include <iostream>

#include "RelSupport.h"

namespace quarry::test {
namespace {

using namespace std::chrono_literals;

constexpr int kStoppingStatuses[] = {4, 7, 10};
// Generous bounds: the machine is shared and the sanitizers slow everything down several times.
constexpr auto kMaxLatency = kSanitized ? 8000ms : 3000ms;

struct CancelCase {
  Evaluator evaluator;
  int threads;
};

std::string caseName(const CancelCase& c) {
  static const char* const kNames[] = {"ColumnBatch", "Row", "EntryPoint"};
  return kNames[static_cast<int>(c.evaluator)] + std::to_string(c.threads) + "Threads";
}

class Cancellation : public ::testing::TestWithParam<CancelCase> {};

TEST_P(Cancellation, BeforeTheCallNothingIsEvaluatedExceptTheUncheckedSmallBatch) {
  const CancelCase& p = GetParam();
  GenOptions options;
  options.rowCounts = {1, 63, 64, 65, 1000};
  ProgramGenerator gen(0xca0 + static_cast<int>(p.evaluator) * 4 + p.threads, options);
  RelStats stats;
  for (int i = 0; i < sliceSize(60, 10); ++i) {
    std::unique_ptr<AssembledCase> a;
    const GenCase c = drawCase(gen, &stats, a);
    const int status = kStoppingStatuses[i % 3];
    const std::string problem =
        cancelCheck(*a, p.evaluator, p.threads, c.rows, -1us, status, kMaxLatency, &stats);
    EXPECT_EQ(problem, "") << reproduction(c, problem);
  }
}

// Rows sleep 2 ms each while a job is attached; the job is cancelled at a random moment. Every sleep
// checks the job between slices, so the call winds down within a slice and a batch's remaining work.
TEST_P(Cancellation, DuringSleepingRowsTheCallStopsPromptly) {
  const CancelCase& p = GetParam();
  GenOptions options;
  options.rowCounts = {65, 1000, 4099};
  options.maxElements = 20;
  ProgramGenerator gen(0xca1 + static_cast<int>(p.evaluator) * 4 + p.threads, options);
  RelStats stats;
  for (int i = 0; i < sliceSize(12, 5); ++i) {
    GenCase c;
    std::unique_ptr<AssembledCase> a;
    do {
      c = gen.next();
      const std::vector<std::string> prefix = sleepPrefix(0.002);
      c.elements.insert(c.elements.begin(), prefix.begin(), prefix.end());
      a = AssembledCase::assemble(c);
    } while (!a);
    const auto delay = std::chrono::microseconds(std::uniform_int_distribution<int>(0, 150000)(gen.engine()));
    const std::string problem =
        cancelCheck(*a, p.evaluator, p.threads, c.rows, delay, kStoppingStatuses[i % 3], kMaxLatency, &stats);
    EXPECT_EQ(problem, "") << reproduction(c, problem);
  }
  // Rows take 2 ms each and the cancellations come within 150 ms: most calls stop part-way.
  EXPECT_GT(stats.rowsLeftByCancellation, 0u) << stats.summary();
}

// No sleeping: the cancellation lands anywhere in a long call, between tasks or in the middle of one.
TEST_P(Cancellation, MidCallAtRandomMomentsLeavesWrittenRowsRight) {
  const CancelCase& p = GetParam();
  GenOptions options;
  options.rowCounts = {4099, 70000};
  options.maxDistinctRows = 64;
  ProgramGenerator gen(0xca2 + static_cast<int>(p.evaluator) * 4 + p.threads, options);
  RelStats stats;
  for (int i = 0; i < sliceSize(30, 6); ++i) {
    std::unique_ptr<AssembledCase> a;
    const GenCase c = drawCase(gen, &stats, a);
    const auto delay = std::chrono::microseconds(std::uniform_int_distribution<int>(0, 20000)(gen.engine()));
    const std::string problem =
        cancelCheck(*a, p.evaluator, p.threads, c.rows, delay, kStoppingStatuses[i % 3], kMaxLatency, &stats);
    EXPECT_EQ(problem, "") << reproduction(c, problem);
  }
}

INSTANTIATE_TEST_SUITE_P(Evaluators, Cancellation,
                         ::testing::Values(CancelCase{Evaluator::Vector, 1}, CancelCase{Evaluator::Vector, 2},
                                           CancelCase{Evaluator::Row, 2},
                                           CancelCase{Evaluator::EntryPoint, 2}),
                         [](const auto& info) { return caseName(info.param); });

} // namespace
} // namespace quarry::test
