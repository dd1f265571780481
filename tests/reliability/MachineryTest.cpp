// The machinery must catch the faults it is built for: an op that computes something else in one
// evaluator, an op that keeps a reservation, a fault that leaves the pool unbalanced. Each is planted
// by swapping one op's handler for the scope of a test, then the runner has to report it and the
// shrinker has to cut the case down to the op.
#include "RelSupport.h"
#include "base/RamPool.h"
#include "cuda/EvalElementHandler.h"
#include "cuda/TypedRpnValueEvaluator.h"

namespace quarry::test {
namespace {

using vela::cuda::OpHandlerTable;
using vela::cuda::ScopedOpHandler;
using vela::cuda::TypedRpnValueEvaluator;
using vela::cuda::TypedRpnVectorEvaluator;

constexpr int kAddI64 = 1054, kSubI64 = 1045;

GenCase handMade(std::vector<std::string> elements, std::vector<GenColumn> columns, unsigned long rows) {
  GenCase c;
  c.elements = std::move(elements);
  c.columns = std::move(columns);
  c.rows = rows;
  return c;
}

GenColumn i64Column(const std::string& name, std::vector<std::string> fields) {
  GenColumn col;
  col.name = name;
  col.csvType = "i64";
  col.type = vela::ParserUtils::RpnDataType::Int64;
  col.fields = std::move(fields);
  return col;
}

// The row evaluator subtracts where it should add; the padding around the sum is noise the shrinker
// must remove.
TEST(Machinery, AnOpThatDiffersInOneEvaluatorIsReportedAndShrunkToItself) {
  ScopedOpHandler<TypedRpnValueEvaluator> planted(kAddI64,
                                                  OpHandlerTable<TypedRpnValueEvaluator>::find(kSubI64));
  const GenCase c =
      handMade({"LOAD_COL_I64 $a", "CONST_I64 7", "MUL_I64", "LOAD_COL_I64 $b", "ADD_I64", "CONST_I64 3",
                "BITXOR_I64", "CONST_I64 1", "BITOR_I64"},
               {i64Column("a", {"1", "2", "3", "0"}), i64Column("b", {"0", "0", "5", "0"})}, 1000);
  std::unique_ptr<AssembledCase> a = AssembledCase::assemble(c);
  ASSERT_TRUE(a);
  const std::string problem = crossCheck(*a, c.rows);
  EXPECT_NE(problem.find("row evaluator"), std::string::npos) << problem;
  EXPECT_NE(problem.find("row 2: value"), std::string::npos) << problem; // the first row with b != 0

  const GenCase small = shrinkCase(c, [](const GenCase& candidate) {
    std::unique_ptr<AssembledCase> x = AssembledCase::assemble(candidate);
    return x && !crossCheck(*x, candidate.rows).empty();
  });
  EXPECT_EQ(small.rows, 1u);
  EXPECT_EQ(small.distinctRows(), 1u);
  ASSERT_LE(small.elements.size(), 3u) << small.programText();
  EXPECT_EQ(small.elements.back(), "ADD_I64") << small.programText();
  // The shrunk case still fails, and its report replays it.
  std::unique_ptr<AssembledCase> s = AssembledCase::assemble(small);
  ASSERT_TRUE(s);
  EXPECT_NE(crossCheck(*s, small.rows), "");
  const std::string report = reproduction(small, "planted");
  EXPECT_NE(report.find("ADD_I64'\n"), std::string::npos) << report; // the -e line ends with the op
}

// A handler that keeps a reservation: the pool check of every call catches it, in whichever evaluator
// runs it.
template <class E>
void leakyAdd(E& e) {
  OpHandlerTable<E>::find(kSubI64)(e);
  vela::RamPool::getDefault()->reserveRaw(24);
}

TEST(Machinery, AReservationThatIsNeverGivenBackIsReported) {
  for (int evaluator = 0; evaluator < 2; ++evaluator) {
    SCOPED_TRACE(evaluator ? "row evaluator" : "column-batch evaluator");
    std::optional<ScopedOpHandler<TypedRpnVectorEvaluator>> v;
    std::optional<ScopedOpHandler<TypedRpnValueEvaluator>> r;
    if (evaluator == 0)
      v.emplace(kAddI64, &leakyAdd<TypedRpnVectorEvaluator>);
    else
      r.emplace(kAddI64, &leakyAdd<TypedRpnValueEvaluator>);
    const GenCase c =
        handMade({"LOAD_COL_I64 $a", "LOAD_COL_I64 $a", "ADD_I64"}, {i64Column("a", {"1"})}, 65);
    std::unique_ptr<AssembledCase> a = AssembledCase::assemble(c);
    ASSERT_TRUE(a);
    const std::string problem = crossCheck(*a, c.rows);
    EXPECT_NE(problem.find("bytes after the call"), std::string::npos) << problem;
  }
}

// With one thread the limit sweep reaches every reservation that sets a new peak: a program that
// builds one string per row at the end makes one reservation per row, so the sweep injects as many
// faults as it is allowed, every one of them passes the checks, and with room for all of them it
// faults each reservation once.
TEST(Machinery, TheLimitSweepFaultsEachReservation) {
  GenColumn s;
  s.name = "s";
  s.csvType = "string";
  s.type = vela::ParserUtils::RpnDataType::String;
  s.fields = {"\"abc\"", "\"\"", "\"x\""};
  const GenCase c = handMade({"LOAD_COL_STRING $s", "LOAD_COL_STRING $s", "STRING_CONCAT"}, {s}, 20);
  std::unique_ptr<AssembledCase> a = AssembledCase::assemble(c);
  ASSERT_TRUE(a);
  for (Evaluator e : {Evaluator::Vector, Evaluator::Row}) {
    RelStats stats;
    EXPECT_EQ(limitSweep(*a, e, c.rows, 10, &stats), "");
    EXPECT_EQ(stats.faultsInjected, 10u) << evaluatorName(e);
    RunSpec spec;
    spec.evaluator = e;
    spec.rows = c.rows;
    const std::uint64_t reservations = runCase(*a, spec).reservations;
    EXPECT_GE(reservations, 20u) << evaluatorName(e);
    RelStats all;
    EXPECT_EQ(limitSweep(*a, e, c.rows, 1000, &all), "");
    EXPECT_EQ(all.faultsInjected, reservations) << evaluatorName(e);
  }
}

} // namespace
} // namespace quarry::test
