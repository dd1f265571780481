// The long run behind scripts/soak.sh: random programs through both evaluators, memory-limit sweeps and
// cancellations with fresh seeds until QUARRY_SOAK_SECONDS have passed, then what was tried. Skipped
// unless that variable is set (the CI slice is the other tests of this binary).
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <random>

#include "RelSupport.h"

namespace quarry::test {
namespace {

// The case about to run, kept on disk so that a crash (which no check survives) can be replayed:
// the program, its distinct rows, and the row count in a comment.
void noteCase(const GenCase& c) {
  const char* dir = std::getenv("QUARRY_REPRO_DIR");
  const std::string base = std::string(dir && *dir ? dir : "/tmp") + "/quarry-soak-current";
  std::ofstream(base + ".rpn") << "// seed " << c.seed << ", run at " << c.rows
                               << " rows (the CSV's rows cycled)\n"
                               << c.programText();
  std::ofstream(base + ".csv") << c.csvText(c.distinctRows());
}

using namespace std::chrono_literals;

TEST(Soak, FreshSeedsUntilTheDeadline) {
  const char* seconds = std::getenv("QUARRY_SOAK_SECONDS");
  if (seconds == nullptr || std::atol(seconds) <= 0)
    GTEST_SKIP() << "set QUARRY_SOAK_SECONDS to run";
  std::uint64_t seed = std::random_device{}();
  if (const char* s = std::getenv("QUARRY_SOAK_SEED"))
    seed = std::strtoull(s, nullptr, 0);
  std::cout << "[ soak ] seed " << seed << std::endl;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(std::atol(seconds));
  auto nextReport = std::chrono::steady_clock::now() + 60s;

  ProgramGenerator gen(seed);
  GenOptions small;
  small.rowCounts = {1, 63, 65, 130};
  small.maxDistinctRows = 24;
  ProgramGenerator smallGen(seed ^ 0x9e3779b97f4a7c15ull, small);
  RelStats stats;
  int failures = 0;
  for (std::uint64_t round = 0; std::chrono::steady_clock::now() < deadline && failures < 10; ++round) {
    std::unique_ptr<AssembledCase> a;
    const GenCase c = drawCase(gen, &stats, a);
    noteCase(c);
    if (!expectAgreement(c, *a, stats))
      ++failures;

    if (round % 3 == 0) {
      std::unique_ptr<AssembledCase> s;
      const GenCase sc = drawCase(smallGen, &stats, s);
      noteCase(sc);
      const Evaluator e = round % 2 ? Evaluator::Row : Evaluator::Vector;
      std::string problem = limitSweep(*s, e, sc.rows, 64, &stats);
      if (problem.empty())
        problem = limitSpray(*s, e, sc.rows, 4, smallGen.engine(), &stats);
      if (!problem.empty()) {
        ++failures;
        ++stats.mismatches;
        ADD_FAILURE() << "memory limit, " << evaluatorName(e) << " evaluator: " << reproduction(sc, problem);
      }
    }
    if (round % 4 == 1) {
      GenCase cc = smallGen.next();
      const std::vector<std::string> prefix = sleepPrefix(0.001);
      cc.elements.insert(cc.elements.begin(), prefix.begin(), prefix.end());
      cc.rows = round % 8 == 1 ? 1000 : 130;
      if (std::unique_ptr<AssembledCase> ca = AssembledCase::assemble(cc)) {
        noteCase(cc);
        const Evaluator evaluators[] = {Evaluator::Vector, Evaluator::Row, Evaluator::EntryPoint};
        const Evaluator e = evaluators[round / 4 % 3];
        const int delayUs = std::uniform_int_distribution<int>(-20000, 100000)(gen.engine());
        const std::string problem =
            cancelCheck(*ca, e, 2, cc.rows, std::chrono::microseconds(delayUs < 0 ? -1 : delayUs),
                        4 + 3 * static_cast<int>(round % 3), 5000ms, &stats);
        if (!problem.empty()) {
          ++failures;
          ++stats.mismatches;
          ADD_FAILURE() << "cancellation: " << reproduction(cc, problem);
        }
      }
    }
    if (std::chrono::steady_clock::now() > nextReport) {
      std::cout << "[ soak ] so far:\n" << stats.summary() << std::flush;
      nextReport += 60s;
    }
  }
  std::cout << "[ soak ] seed " << seed << ", done:\n" << stats.summary() << std::flush;
}

} // namespace
} // namespace quarry::test
