// One distinct outcome in one place of a large call must reach the call's result whichever task computes
// it: a join that keeps one side, or a task that drops its code, shows as a wrong returned code.
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <tbb/global_control.h>

#include "base/CallContext.h"
#include "base/ProgramBuilder.h"
#include "base/RamPool.h"
#include "cuda/TypedRpnEvaluator.h"
#include "cuda/TypedRpnEvaluatorImpl.h"
#include "cuda/TypedRpnValueEvaluator.h"

using namespace vela::cuda;
using namespace vela::ParserUtils;

namespace {

constexpr unsigned long kRows = 100001; // about a hundred tasks of at least 1,024 rows
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

enum class Path { EntryPoint, Vector, Row };
const char* const kPathNames[] = {"evaluateTypedRpnHost", "column-batch evaluator", "row evaluator"};

// a / b over i64, then a null-flag column for a: a row whose flag is set is null, any other row keeps
// the division's own state.
struct Outcome {
  const char* name;
  // What the one special row holds, and what every other row holds.
  std::int64_t a, b;
  bool null;
  // A code that the first row carries in every run (0: none), so that the special row must win by size.
  std::int64_t firstA, firstB;
  std::uint8_t rowState, callCode;
};

const Outcome kOutcomes[] = {
    {"lone null", 6, 3, true, 6, 3, 1, 0},
    {"lone divide-by-zero", 6, 0, false, 6, 3, 2, 2},
    {"overflow above a divide-by-zero in the first row", kMin, -1, false, 6, 0, 17, 17},
};

struct CallResult {
  std::vector<std::int64_t> values;
  std::vector<unsigned char> nulls;
  std::uint8_t code;
};

CallResult evaluate(Path path, const Program& program, const std::vector<const unsigned char*>& columns) {
  CallResult r{std::vector<std::int64_t>(kRows), std::vector<unsigned char>(kRows), 0};
  std::vector<unsigned long> sizes(kRows);
  vela::RamPool pool("reduction-join");
  vela::RamPoolThreadBinding binding(&pool);
  auto* cells = reinterpret_cast<unsigned char*>(r.values.data());
  if (path == Path::EntryPoint) {
    r.code = static_cast<std::uint8_t>(evaluateTypedRpnHost(program.elements(), columns.data(),
                                                            columns.size(), cells, r.nulls.data(),
                                                            sizes.data(), kRows, 0, nullptr, nullptr));
  } else {
    vela::EvaluatorCache cache;
    TypedRpnEvaluatorParams params(nullptr, program.elements(), columns.data(), columns.size(), cells,
                                   r.nulls.data(), sizes.data(), kRows, vela::currentYear(), 0, &cache,
                                   nullptr, nullptr);
    r.code = path == Path::Row ? TypedRpnValueEvaluator::evaluate(params)
                               : TypedRpnVectorEvaluator::evaluate(params);
  }
  EXPECT_EQ(pool.reservedBytes(), 0u);
  return r;
}

TEST(ReductionJoin, OneDistinctOutcomeAnywhereReachesTheCallResult) {
  Program program;
  program.column(findOpByName("LOAD_COL_I64")->code, 0)
      .column(findOpByName("LOAD_COL_I64")->code, 1)
      .op(findOpByName("DIV_I64")->code)
      .column(findOpByName("OR_COL_NULLS")->code, 2);
  // The special row: in the first chunk, in the middle of the call, and the very last row.
  const unsigned long places[] = {5, kRows / 2, kRows - 1};
  for (const Outcome& o : kOutcomes) {
    for (const unsigned long special : places) {
      std::vector<std::int64_t> a(kRows, 6), b(kRows, 3);
      std::vector<unsigned char> flags(kRows, 0);
      a[0] = o.firstA, b[0] = o.firstB;
      a[special] = o.a, b[special] = o.b;
      flags[special] = o.null;
      const std::vector<const unsigned char*> columns = {reinterpret_cast<const unsigned char*>(a.data()),
                                                         reinterpret_cast<const unsigned char*>(b.data()),
                                                         flags.data()};
      const std::uint8_t firstState = o.firstB == 0 ? 2 : 0;
      for (const Path path : {Path::EntryPoint, Path::Vector, Path::Row}) {
        for (const int threads : {1, 2, 4}) {
          // The thread count is capped the way a host caps it. Four threads (more than the cores of a
          // small machine) make stealing likely even when the machine is busy.
          tbb::global_control allow(tbb::global_control::max_allowed_parallelism, threads);
          // Which task ends up joined on which side varies from run to run: repeat.
          for (int repeat = 0; repeat < 6; ++repeat) {
            const CallResult r = evaluate(path, program, columns);
            const std::string where = std::string(o.name) + " at row " + std::to_string(special) + ", " +
                                      kPathNames[static_cast<int>(path)] + ", " + std::to_string(threads) +
                                      " thread(s), run " + std::to_string(repeat);
            ASSERT_EQ(int(r.code), int(o.callCode)) << where;
            // The row evaluator marks a failed row 1; the column-batch evaluator with its code.
            const bool rowPath = path == Path::Row;
            auto expectState = [&](unsigned long row, std::uint8_t state) {
              EXPECT_EQ(r.nulls[row], rowPath && state > 1 ? 1 : int(state)) << where << ", row " << row;
            };
            expectState(special, o.rowState);
            expectState(0, firstState);
            expectState(special == 5 ? kRows - 1 : 5, 0);
            EXPECT_EQ(r.values[special == 5 ? kRows - 1 : 5], 2) << where;
            EXPECT_EQ(r.values[special], 0) << where; // a null or failed row's cell is cleared
          }
        }
      }
    }
  }
}

} // namespace
