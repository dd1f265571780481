// The column-batch evaluator's own machinery (direct writes, borrowed columns, owned entries, constant
// states) and its refusals; cases that hold for both evaluators go through the harness.
#include <algorithm>
#include <array>
#include <functional>
#include <limits>
#include <string>

#include <gtest/gtest.h>
#include <log4cplus/loglevel.h>

#include "base/Logging.h"
#include "base/VelaException.h"
#include "tests/cuda/VectorEvalTestSupport.h"
#include "tests/support/CapturingAppender.h"
#include "tests/support/EvalHarness.h"

using namespace vela::cuda;
using namespace quarry::test;
using vela::ParserUtils::Program;

namespace {

constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

std::size_t widthOf(int code) {
  return vela::ParserUtils::get_rpn_datatype_size(vela::ParserUtils::get_type(code));
}

// Runs `fn`, expects a VelaException(8) whose text is `message` followed by a location suffix of
// `sourcePath`, logged at ERROR by `function`; parallel tasks may each log it before the reduction stops.
void expectFault(const std::function<void()>& fn, const std::string& message, const char* sourcePath,
                 const char* function) {
  LogCapture capture(vela::KernelLogger::logger());
  try {
    fn();
    ADD_FAILURE() << "no exception for " << message;
  } catch (const vela::VelaException& e) {
    EXPECT_EQ(e.whatCode(), 8);
    const std::string what = e.what();
    const std::string prefix =
        message + " (" + std::to_string(vela::getLogErrorCodeFrom_FILE(sourcePath)) + ":";
    EXPECT_EQ(what.rfind(prefix, 0), 0u) << what;
    const auto events = capture.events();
    ASSERT_GE(events.size(), 1u) << what;
    for (const auto& event : events) {
      EXPECT_EQ(event.level, log4cplus::ERROR_LOG_LEVEL);
      EXPECT_EQ(event.message, "'" + what + "'");
      EXPECT_EQ(event.function, function);
    }
  }
}

} // namespace

TEST(VectorEvaluatorLoads, AFinalColumnLoadIsCopiedStraightIntoTheCallerCells) {
  // i8, i32, dec128 (12 bytes), u128, char256: no intermediate storage at all.
  for (int code : {117, 139, 186, 148, 226})
    for (unsigned long rows : {0ul, 1ul, 65ul, 100000ul}) {
      SCOPED_TRACE(testing::Message() << "code " << code << ", rows " << rows);
      PrivatePool pool;
      const auto column = randomBytes(rows, widthOf(code), static_cast<unsigned>(code + rows));
      Outputs out;
      EXPECT_EQ(runVector(Program().column(code, 0), {column.data()}, rows, out), RPN_EVAL_OK);
      EXPECT_TRUE(out.values == column);
      EXPECT_EQ(std::count(out.nulls.begin(), out.nulls.end(), 0), static_cast<long>(rows));
      EXPECT_EQ(pool.pool.peakBytes(), 0u);
    }
}

TEST(VectorEvaluatorLoads, FinalConstantsFillEveryCell) {
  // Null constants (2-27) and op 34 load zero cells whatever the operand holds; the others copy its
  // bytes. A null constant does not make the row null by itself.
  for (int code = 2; code <= 100; ++code) {
    if (vela::ParserUtils::opFamily(code) != OpFamily::Value)
      continue; // object constants are other families'
    SCOPED_TRACE(testing::Message() << "code " << code);
    std::array<unsigned char, 256> operand, want{};
    for (std::size_t i = 0; i < operand.size(); ++i)
      operand[i] = static_cast<unsigned char>(code * 7 + i * 13 + 1);
    if (code > 34)
      want = operand;
    const HarnessResult r = HarnessCase(Program().constant(code, operand)).run();
    HarnessCase::checkStates(r, {0}, RPN_EVAL_OK);
    ASSERT_EQ(r.width, widthOf(code));
    EXPECT_EQ(std::memcmp(r.values.data(), want.data(), r.width), 0);
  }
}

// Intermediate loads and constants of a width, through a select that reads three operands in every
// constant/column combination (a null constant as the first).
template <std::size_t W>
void runSelectCases(int load, int constant, int nullConstant, int select) {
  ScopedOpShape<SelectShape<cell_of_width_t<W>>> shape(select);
  constexpr unsigned long kRows = 9;
  const auto a = randomBytes(kRows, W, 1 + W), b = randomBytes(kRows, W, 2 + W);
  std::vector<unsigned char> cond = randomBytes(kRows, 1, 3);
  for (auto& x : cond)
    x &= 1;
  std::array<unsigned char, 256> ka{}, kb{}, zero{};
  for (std::size_t i = 0; i < W; ++i) {
    ka[i] = static_cast<unsigned char>(0x11 * (i + 1));
    kb[i] = static_cast<unsigned char>(0x5B + i);
  }
  for (int fa : {0, 1, 2}) // column, constant, null constant
    for (int fb : {0, 1})
      for (int fc : {0, 1}) {
        SCOPED_TRACE(testing::Message() << "width " << W << ", forms " << fa << fb << fc);
        Program p;
        fa == 0 ? p.column(load, 0) : p.constant(fa == 1 ? constant : nullConstant, ka);
        fb == 0 ? p.column(load, 1) : p.constant(constant, kb);
        fc == 0 ? p.column(117, 2) : p.constant(35, std::uint8_t{1});
        p.op(select);
        const HarnessResult r =
            HarnessCase(p).addRawColumn(W, kRows, a).addRawColumn(W, kRows, b).addColumn(cond).run();
        ASSERT_EQ(r.values.size(), kRows * W);
        for (unsigned long row = 0; row < kRows; ++row) {
          const unsigned char* want = fc == 1 || cond[row] != 0 ? (fb == 0 ? &b[row * W] : kb.data())
                                      : fa == 0                 ? &a[row * W]
                                      : fa == 1                 ? ka.data()
                                                                : zero.data();
          ASSERT_EQ(std::memcmp(r.values.data() + row * W, want, W), 0) << "row " << row;
        }
      }
}

TEST(VectorEvaluatorLoads, IntermediateLoadsAndConstantsInEveryOperandForm) {
  // The narrowest cell, the odd 12-byte decimal and the widest text.
  runSelectCases<1>(117, 35, 3, 1196);
  runSelectCases<12>(186, 43, 12, 1205);
  runSelectCases<256>(226, 61, 27, 1220);
}

TEST(VectorEvaluatorLoads, IntermediateOutputsAreOwnedAndGivenBack) {
  // select(select(a, b, c), b, c): the inner select owns a column, the outer writes the caller's cells.
  ScopedOpShape<PlainSelectShape<std::uint64_t>> select(1202);
  for (unsigned long rows : {0ul, 1ul, 65ul, 100000ul}) {
    SCOPED_TRACE(rows);
    PrivatePool pool;
    const auto a = randomBytes(rows, 8, 7), b = randomBytes(rows, 8, 8);
    std::vector<unsigned char> cond(rows);
    for (unsigned long r = 0; r < rows; ++r)
      cond[r] = r % 3 == 0;
    Program p;
    p.column(kLoadI64, 0).column(kLoadI64, 1).column(117, 2).op(1202);
    p.column(kLoadI64, 1).column(117, 2).op(1202);
    Outputs out;
    ASSERT_EQ(runVector(p, {a.data(), b.data(), cond.data()}, rows, out), RPN_EVAL_OK);
    for (unsigned long r = 0; r < rows; ++r)
      ASSERT_EQ(std::memcmp(out.cell(r), &(cond[r] ? b : a)[r * 8], 8), 0) << r;
    EXPECT_EQ(pool.pool.peakBytes() > 0, rows != 0);
    EXPECT_EQ(pool.pool.reservedBytes(), 0u);
  }
}

TEST(VectorEvaluatorLoads, OperandsPushedBackOrExpanded) {
  // An op that re-pushes its operand leaves the load's borrowed column (or the constant) as the result.
  auto passThrough = [](Eval& e) { e.pushValue(std::move(e.popInput<std::uint64_t>().entry())); };
  // row i -> operand at i + i, from an operand never seen as a constant: a constant is expanded into
  // cells of the entry's own, a column passed on, not copied.
  auto plusRow = [](Eval& e) {
    auto in = e.popNonConstInput<std::int64_t>();
    const bool fromConstant = e.params().elements[e.elementIndex() - 1].op == kConstI64;
    if (e.rowCount() != 0) {
      EXPECT_EQ(in.ownsCells(), fromConstant);
      if (!fromConstant) {
        EXPECT_EQ(in.column(), reinterpret_cast<const std::int64_t*>(e.params().columns[0]) + e.startRow());
      }
    }
    auto out = e.prepareOutput<std::int64_t>();
    for (unsigned long i = 0; i < e.rowCount(); ++i)
      out.column()[i] = in.column()[i] + static_cast<std::int64_t>(e.startRow() + i);
    e.push(std::move(out));
  };
  for (unsigned long rows : {0ul, 1ul, 65ul, 1000ul}) {
    SCOPED_TRACE(rows);
    PrivatePool pool;
    std::vector<std::int64_t> a(rows);
    for (unsigned long r = 0; r < rows; ++r)
      a[r] = 1000 * static_cast<std::int64_t>(r);
    for (bool plus : {false, true})
      for (bool constant : {true, false}) {
        ScopedOpHandler<Eval> fake(834, plus ? +plusRow : +passThrough);
        Program p;
        constant ? p.constant(kConstI64, std::int64_t{-7}) : p.column(kLoadI64, 0);
        Outputs out;
        ASSERT_EQ(runVector(p.op(834), {bytes(a.data())}, rows, out), RPN_EVAL_OK);
        for (unsigned long r = 0; r < rows; ++r)
          ASSERT_EQ(reinterpret_cast<const std::int64_t*>(out.values.data())[r],
                    (constant ? -7 : a[r]) + (plus ? static_cast<std::int64_t>(r) : 0));
      }
    EXPECT_EQ(pool.pool.reservedBytes(), 0u);
  }
}

namespace {
// A checked conversion: negative values fail with code 15, the others scale by 100. It sets the code only
// on failure: the kernel runner stores 0 first (the caller's outNulls are pre-filled with a sentinel).
struct CheckedLoadShape {
  template <class E>
  static void eval(E& e) {
    e.template evalVarFuncResult<std::int64_t, std::int64_t>([](std::int64_t x, rpn_eval_result_t& code) {
      if (x < 0)
        code = RPN_EVAL_BAD_CAST;
      return x < 0 ? 0 : x * 100;
    });
  }
};
} // namespace

TEST(VectorEvaluatorLoads, ColumnLoadsThroughAFunctorPlaceValuesAndStates) {
  // A stand-in for a fused load-cast with a state (173, i64 -> dec64), final and followed by an add.
  ScopedOpShape<CheckedLoadShape> checked(173);
  const std::vector<std::int64_t> wide = {0, -5, 40, kMin, 9};
  for (std::int64_t k : {0, 5}) {
    Program p;
    p.column(173, 0);
    if (k != 0)
      p.constant(kConstI64, k).op(kAddI64);
    std::vector<std::int64_t> scaled;
    std::vector<std::uint8_t> states;
    for (std::int64_t w : wide) {
      scaled.push_back(w < 0 ? 0 : w * 100 + k);
      states.push_back(w < 0 ? RPN_EVAL_BAD_CAST : RPN_EVAL_OK);
    }
    HarnessCase(p).addColumn(wide).expectRows(scaled, states, RPN_EVAL_BAD_CAST);
  }
}

TEST(VectorEvaluatorStates, AConstantStateAppliesToEveryRow) {
  auto nullState = [](Eval& e) { e.pushState(VectorEvalStackEntry::ownedConstant(RPN_EVAL_NULL)); };
  ScopedOpHandler<Eval> state(kNullState, +nullState);
  ScopedOpShape<NullToErrorShape> nullToError(kNullToError);
  for (bool toError : {false, true})
    for (bool withNulls : {true, false})
      for (unsigned long rows : {0ul, 1ul, 65ul, 1000ul}) {
        SCOPED_TRACE(testing::Message()
                     << "rows " << rows << ", error " << toError << ", nulls " << withNulls);
        PrivatePool pool;
        Program p;
        p.constant(kConstI64, std::int64_t{7}).op(kNullState);
        if (toError)
          p.op(kNullToError);
        Outputs out;
        EXPECT_EQ(runVector(p, {}, rows, out, {.withNulls = withNulls}),
                  toError && rows != 0 ? RPN_EVAL_NULL_TO_ERROR : RPN_EVAL_OK);
        EXPECT_EQ(std::count(out.values.begin(), out.values.end(), 0), static_cast<long>(rows * 8));
        const unsigned char want = withNulls ? (toError ? 16 : 1) : kSentinel;
        EXPECT_EQ(std::count(out.nulls.begin(), out.nulls.end(), want), static_cast<long>(rows));
        EXPECT_EQ(pool.pool.reservedBytes(), 0u);
      }
}

TEST(VectorEvaluatorFaults, NoOpAndUnhandledCodesAreRefusedWithTheOpName) {
  // An assigned op whose kernel is taken away for the test.
  const ScopedNoKernel noKernel(kStandInOp);
  const int unregistered = kStandInOp;
  const char* noOp = "void vela::cuda::TypedRpnVectorEvaluator::noOpElement()";
  const char* unhandled = "void vela::cuda::TypedRpnVectorEvaluator::unhandledElement()";
  const std::tuple<int, std::string, const char*> cases[] = {
      {0, "NOOP_0 is unexpected no-op", noOp},
      {2648, "NOOP_2648 is unexpected no-op", noOp},
      {83, "UNASSIGNED_83 not handled", unhandled},
      {-1, "UNKNOWN_OP not handled", unhandled},
      {2650, "UNKNOWN_OP not handled", unhandled},
      {unregistered, std::string(vela::ParserUtils::get_trpn_op_name(unregistered)) + " not handled",
       unhandled},
  };
  for (const auto& [code, message, function] : cases)
    for (unsigned long rows : {1ul, 1000ul}) {
      SCOPED_TRACE(testing::Message() << "code " << code << ", rows " << rows);
      PrivatePool pool;
      std::vector<std::int64_t> column(rows, 1);
      Outputs out;
      expectFault(
          [&] { runVector(Program().column(kLoadI64, 0).op(code), {bytes(column.data())}, rows, out); },
          message, kEvaluatorImplSourcePath, function);
      EXPECT_EQ(pool.pool.reservedBytes(), 0u);
    }
}

TEST(VectorEvaluatorFaults, AHostHelperAndReservationSlotsOnAScalarResultAreRefused) {
  vela::KernelExecutionHelper host(true);
  std::vector<std::int64_t> column(10, 1);
  Outputs out;
  expectFault(
      [&] { runVector(Program().column(kLoadI64, 0), {bytes(column.data())}, 10, out, {.helper = &host}); },
      "Host KernelExecutionHelper not supported in TypedRpnVectorEvaluator", kEvaluatorImplSourcePath,
      "static vela::cuda::rpn_eval_result_t vela::cuda::TypedRpnVectorEvaluator::evaluate(const "
      "vela::cuda::TypedRpnEvaluatorParams&)");
  EXPECT_EQ(std::count(out.values.begin(), out.values.end(), kSentinel), 80);
  // A (faulty) op that gives its i64 result reservation slots.
  auto withSlots = [](Eval& e) {
    auto result = e.prepareOutput<std::uint64_t>();
    result.entry().auxStorage.resize(e.rowCount());
    result.entry().aux = result.entry().auxStorage.data();
    e.push(std::move(result));
  };
  ScopedOpHandler<Eval> fake(2621, +withSlots);
  for (unsigned long rows : {1ul, 1000ul}) {
    PrivatePool pool;
    expectFault([&] { runVector(Program().op(2621), {}, rows, out); }, "Unhandled object type",
                kEvaluatorImplSourcePath,
                "vela::cuda::rpn_eval_result_t vela::cuda::TypedRpnVectorEvaluatorHelper::evaluateRows()");
    EXPECT_EQ(pool.pool.reservedBytes(), 0u);
  }
}
