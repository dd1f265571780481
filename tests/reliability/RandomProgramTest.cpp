// Random well-typed programs through the column-batch evaluator (one and two threads) and the row
// evaluator: identical values, null bytes, sizes, object contents and codes, and a balanced pool after
// every call. A fixed-seed slice; scripts/soak.sh runs the same with fresh seeds.
#include <chrono>
#include <iostream>
#include <set>

#include "RelSupport.h"

namespace quarry::test {
namespace {

constexpr std::uint64_t kSliceSeed = 0x5eed0001;

TEST(RandomPrograms, BothEvaluatorsAgreeOnAFixedSlice) {
  ProgramGenerator gen(kSliceSeed, sliceOptions());
  RelStats stats;
  int failures = 0;
  for (int i = 0; i < sliceSize(2500, 300) && failures < 3; ++i) {
    std::unique_ptr<AssembledCase> assembled;
    const GenCase c = drawCase(gen, &stats, assembled);
    if (!expectAgreement(c, *assembled, stats))
      ++failures;
  }
  std::cout << "[ slice ] " << stats.summary();
  // The generator is well typed by construction; the assembler refuses only the odd case (an unordered
  // key list, an out-of-range literal for a run-time scale).
  EXPECT_LT(stats.refused, stats.programs);
}

// The largest row count: many parallel tasks, a partial last chunk, object columns shared by hundreds
// of rows.
TEST(RandomPrograms, BothEvaluatorsAgreeOnSeventyThousandRows) {
  GenOptions options;
  options.rowCounts = {70000};
  options.maxElements = 12;
  ProgramGenerator gen(kSliceSeed + 2, options);
  RelStats stats;
  int failures = 0;
  for (int i = 0; i < sliceSize(60, 6) && failures < 2; ++i) {
    std::unique_ptr<AssembledCase> assembled;
    const GenCase c = drawCase(gen, &stats, assembled);
    if (!expectAgreement(c, *assembled, stats))
      ++failures;
  }
  std::cout << "[ 70000 rows ] " << stats.summary();
}

// Breadth: every op the generator may use is the root of one random program, at a row count that
// spans two chunks, so that no op waits for the dice.
TEST(RandomPrograms, EveryUsableOpRunsInBothEvaluators) {
  GenOptions options;
  options.rowCounts = {65};
  options.maxDistinctRows = 12;
  options.hugeObjects = false;
  ProgramGenerator gen(kSliceSeed + 1, options);
  RelStats stats;
  int failures = 0, ran = 0;
  std::set<int> unassembled;
  const int step = kSanitized ? 3 : 1; // under the sanitizers a third of the ops, a different third per seed
  for (int code = static_cast<int>(kSliceSeed % step); code < vela::ParserUtils::kNumOps && failures < 5;
       code += step) {
    // Loads and constants are the leaves of every program; they need no program of their own.
    if (!gen.usable(code) || code <= 236 || code == 240 || code == 241)
      continue;
    std::unique_ptr<AssembledCase> assembled;
    GenCase c;
    std::string why;
    for (int attempt = 0; attempt < 8 && !assembled; ++attempt) {
      c = gen.fromSeed(kSliceSeed * 7919 + static_cast<std::uint64_t>(code) * 31 + attempt, code);
      assembled = AssembledCase::assemble(c, &why);
    }
    if (!assembled) {
      unassembled.insert(code);
      if (std::getenv("QUARRY_REL_VERBOSE"))
        std::cout << "not assembled: " << why << "\n" << c.programText();
      continue;
    }
    ++ran;
    SCOPED_TRACE(std::to_string(code) + " " + vela::ParserUtils::opInfo(code)->name);
    if (!expectAgreement(c, *assembled, stats))
      ++failures;
  }
  std::string missing;
  for (int code : unassembled)
    missing += " " + std::string(vela::ParserUtils::opInfo(code)->name);
  std::cout << "[ ops ] " << ran << " ops as roots, " << gen.usableOps()
            << " usable; never assembled:" << missing << "\n";
  EXPECT_GT(ran, 1500 / step);
  EXPECT_LT(unassembled.size(), 20u) << missing;
}

} // namespace
} // namespace quarry::test
