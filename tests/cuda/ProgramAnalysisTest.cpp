// The one-time analysis of a program and the parameters built around it.
#include <vector>

#include <gtest/gtest.h>

#include "base/CallContext.h"
#include "base/ProgramBuilder.h"
#include "base/VelaException.h"
#include "cuda/TypedRpnEvaluator.h"

using namespace vela::cuda;
using vela::ParserUtils::Program;
using vela::ParserUtils::RpnDataType;

namespace {

ProgramAnalysis analyze(const std::vector<int>& ops) {
  Program p;
  for (int op : ops)
    p.op(op);
  return analyzeProgram(p.elements().data(), p.size());
}

// Codes named by role; the catalogue gives their types and flags.
constexpr int kLoadBool = 102, kLoadI32 = 139, kLoadI64 = 153, kConstI64 = 40, kAddI64 = 1054, kDivI64 = 1078,
              kNullConst = 5;
constexpr int kStateNull = 237, kStateNotNull = 239, kStateColumn = 240, kStateAnd = 253, kStateOr = 256;
constexpr int kStateDiscardNull = 238, kState243 = 243, kState242 = 242;

} // namespace

TEST(ProgramAnalysis, CraftedPrograms) {
  // ops; last value and last null element (n: the element count); null states, reportable errors, row
  // evaluator needed.
  struct Case {
    std::vector<int> ops;
    int lastValue, lastNull;
    bool nullStates, reportable, rowEvaluator;
  };
  constexpr int n = -1;
  const Case cases[] = {
      {{}, 0, 0, false, false, false},
      {{kLoadI64}, 0, n, false, false, false},                       // a lone column load writes the output
      {{kConstI64, kNullConst}, 1, n, false, false, false},          // constants and null constants are loads
      {{kLoadI64, kLoadI64, kAddI64, 0}, 2, n, false, false, false}, // a no-op after the last value
      {{kLoadI64, 1, kLoadI64, kAddI64}, 3, n, false, false, false},
      {{kLoadI64, kLoadI64, kDivI64}, 2, 2, true, true, false},
      {{kLoadI64, kLoadI64, kAddI64, kLoadI64, kAddI64}, 4, n, false, false, true}, // two computing elements
      {{kLoadBool, kStateNull, kLoadBool, kStateNotNull, kStateAnd}, 4, 4, true, false, true}, // two states
      {{kStateColumn}, n, 0, true, false, false},
      {{kLoadI64, kLoadI64, kDivI64, kStateDiscardNull}, 2, 3, true, true, true}, // moves the last null only
      {{kStateNull, kStateNull, kState242}, n, 2, true, false, true},
      {{kLoadBool, kStateNull, kLoadBool, kStateNull, kStateOr}, 4, 4, true, false, true},
      {{kStateNull, kLoadI32, kState243}, 2, 0, true, false, false}, // 243 leaves the null bookkeeping alone
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.ops));
    const ProgramAnalysis a = analyze(c.ops);
    const std::size_t size = c.ops.size();
    EXPECT_EQ(a.lastValueElement, c.lastValue == n ? size : std::size_t(c.lastValue));
    EXPECT_EQ(a.lastNullElement, c.lastNull == n ? size : std::size_t(c.lastNull));
    EXPECT_EQ(a.hasNullStates, c.nullStates);
    EXPECT_EQ(a.hasReportableErrors, c.reportable);
    EXPECT_EQ(a.needsRowEvaluator, c.rowEvaluator);
    EXPECT_FALSE(a.hasExpensiveHostOnly);
  }
}

// Error-producing ops among the IS NULL and zero-if-null codes do not count as reportable; 287 does.
TEST(ProgramAnalysis, ReportableErrorsExcludeTheNullTestRanges) {
  for (int c = 0; c < vela::ParserUtils::kNumOps; ++c) {
    if (!vela::ParserUtils::isa_error_producing_function(c))
      continue;
    const ProgramAnalysis a = analyze({c});
    const bool excluded = (c >= 257 && c <= 286) || (c >= 288 && c <= 320);
    EXPECT_EQ(a.hasReportableErrors, !excluded) << vela::ParserUtils::get_trpn_op_name(c);
    EXPECT_TRUE(a.hasNullStates) << c;
  }
  const ProgramAnalysis a = analyze({287});
  EXPECT_EQ(a.hasReportableErrors, vela::ParserUtils::isa_error_producing_function(287));
}
