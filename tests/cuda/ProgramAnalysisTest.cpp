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
constexpr int kStateDiscardNull = 238, kStateColumnOr = 241, kState243 = 243, kState242 = 242;

} // namespace

TEST(ProgramAnalysis, EmptyProgramLeavesEverythingClear) {
  const ProgramAnalysis a = analyze({});
  EXPECT_EQ(a.lastValueElement, 0u);
  EXPECT_EQ(a.lastNullElement, 0u);
  EXPECT_FALSE(a.hasNullStates || a.hasReportableErrors || a.needsRowEvaluator || a.hasExpensiveHostOnly);
}

struct AnalysisCase {
  const char* what;
  std::vector<int> ops;
  std::size_t lastValue, lastNull;
  bool nullStates, reportable, rowEvaluator;
};

TEST(ProgramAnalysis, CraftedPrograms) {
  const std::size_t none = 99; // placeholder: "n" (the element count) is filled in below
  const std::vector<AnalysisCase> cases = {
      {"a lone column load writes the output", {kLoadI64}, 0, none, false, false, false},
      {"a + b", {kLoadI64, kLoadI64, kAddI64}, 2, none, false, false, false},
      {"constant and null constant are loads", {kConstI64, kNullConst}, 1, none, false, false, false},
      {"a no-op after the last value is skipped",
       {kLoadI64, kLoadI64, kAddI64, 0},
       2,
       none,
       false,
       false,
       false},
      {"no-op in the middle", {kLoadI64, 1, kLoadI64, kAddI64}, 3, none, false, false, false},
      {"division produces states and reportable errors",
       {kLoadI64, kLoadI64, kDivI64},
       2,
       2,
       true,
       true,
       false},
      {"two computing elements need the row evaluator",
       {kLoadI64, kLoadI64, kAddI64, kLoadI64, kAddI64},
       4,
       none,
       false,
       false,
       true},
      {"two state producers need the row evaluator",
       {kLoadBool, kStateNull, kLoadBool, kStateNotNull, kStateAnd},
       4,
       4,
       true,
       false,
       true},
      {"237 alone", {kStateNull}, none, 0, true, false, false},
      {"239 alone", {kStateNotNull}, none, 0, true, false, false},
      {"240 alone", {kStateColumn}, none, 0, true, false, false},
      {"238 only moves the last null element",
       {kLoadI64, kLoadI64, kDivI64, kStateDiscardNull},
       2,
       3,
       true,
       true,
       true},
      {"241 likewise", {kLoadI64, kLoadI64, kDivI64, kStateColumnOr}, 2, 3, true, true, true},
      {"242 likewise", {kStateNull, kStateNull, kState242}, none, 2, true, false, true},
      {"256 likewise", {kLoadBool, kStateNull, kLoadBool, kStateNull, kStateOr}, 4, 4, true, false, true},
      {"243 leaves the null bookkeeping alone", {kStateNull, kLoadI32, kState243}, 2, 0, true, false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const ProgramAnalysis a = analyze(c.ops);
    const std::size_t n = c.ops.size();
    EXPECT_EQ(a.lastValueElement, c.lastValue == none ? n : c.lastValue);
    EXPECT_EQ(a.lastNullElement, c.lastNull == none ? n : c.lastNull);
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

TEST(ProgramAnalysis, ExpensiveHostOnlyOpsAreFound) {
  int expensive = -1;
  for (int c = 0; c < vela::ParserUtils::kNumOps && expensive < 0; ++c)
    if (vela::ParserUtils::is_expensive_host_only_function(c))
      expensive = c;
  ASSERT_GE(expensive, 0) << "the catalogue has no expensive host-only op";
  EXPECT_TRUE(analyze({kLoadI64, expensive}).hasExpensiveHostOnly);
  EXPECT_FALSE(analyze({kLoadI64}).hasExpensiveHostOnly);
}

TEST(ProgramAnalysis, ParametersCarryTheCallAndTheAnalysis) {
  Program p;
  p.column(kLoadI64, 0).column(kLoadI64, 1).op(kDivI64);
  std::vector<std::int64_t> a = {1, 2}, b = {1, 0};
  const unsigned char* columns[] = {reinterpret_cast<const unsigned char*>(a.data()),
                                    reinterpret_cast<const unsigned char*>(b.data())};
  std::vector<std::int64_t> out(2);
  std::vector<unsigned char> nulls(2);
  vela::EvaluatorCache cache;
  TypedRpnEvaluatorParams params(nullptr, p.elements(), columns, 2,
                                 reinterpret_cast<unsigned char*>(out.data()), nulls.data(), nullptr, 2, 2026,
                                 7, &cache, nullptr, nullptr);
  EXPECT_EQ(params.elements, p.elements().data());
  EXPECT_EQ(params.numElements, 3u);
  EXPECT_EQ(params.lastValueElement, 2u);
  EXPECT_EQ(params.lastNullElement, 2u);
  EXPECT_EQ(params.evaluatedType, RpnDataType::Int64);
  EXPECT_EQ(params.evaluatedTypeSize, 8u);
  EXPECT_TRUE(params.hasNullStates);
  EXPECT_TRUE(params.hasReportableErrors);
  EXPECT_FALSE(params.needsRowEvaluator);
  EXPECT_EQ(params.columns, columns);
  EXPECT_EQ(params.hostColumns, columns);
  EXPECT_EQ(params.numRows, 2u);
  EXPECT_EQ(params.currentYear, 2026);
  EXPECT_EQ(params.rowOffset, 7u);
  EXPECT_EQ(params.cache, &cache);
  EXPECT_FALSE(params.deviceData.has_value());
  // The context part is a plain copy that evaluators read.
  const TypedRpnEvaluatorContext context = params;
  EXPECT_EQ(context.outValues, reinterpret_cast<unsigned char*>(out.data()));
}

// This build evaluates on the host only: a device helper is refused where it is made, and a host
// helper is the same as none.
TEST(ProgramAnalysis, OnlyHostHelpersExist) {
  EXPECT_THROW(vela::KernelExecutionHelper(false), vela::VelaException);
  Program p;
  p.column(kLoadI64, 0);
  vela::KernelExecutionHelper host(true);
  TypedRpnEvaluatorParams params(&host, p.elements(), nullptr, 0, nullptr, nullptr, nullptr, 1, 2026, 0,
                                 nullptr, nullptr, nullptr);
  EXPECT_EQ(params.helper, &host);
  EXPECT_EQ(params.elements, p.elements().data());
  EXPECT_FALSE(params.deviceData.has_value());
}
