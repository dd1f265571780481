// The column-batch evaluator: loads and constants of every width, direct writes into the caller's
// buffers, the end-of-batch pass (null and failed rows, batch codes), frame faults and refusals with
// their messages, cancellation and pool balance. Cases that hold for both evaluators go through the
// evaluation harness (both evaluators, every row count on both sides of the 64-row chunk); the
// column-batch evaluator's own machinery (borrowed columns, owned entries, constant state entries, the
// chunked schedule) is checked directly.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <string>
#include <vector>

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

constexpr int kLoadI64 = 153, kConstI64 = 40, kAddI64 = 1054, kDivI64 = 1078;

std::size_t widthOf(int code) {
  return vela::ParserUtils::get_rpn_datatype_size(vela::ParserUtils::get_type(code));
}

// Every plain column load of a fixed-width type.
const std::vector<int> kPlainLoads = {102, 116, 117, 128, 139, 146, 147, 148, 153, 164, 175, 186, 197, 208,
                                      211, 215, 216, 217, 218, 219, 220, 221, 222, 223, 224, 225, 226, 235};

std::vector<int> codes(std::initializer_list<std::pair<int, int>> ranges) {
  std::vector<int> out;
  for (auto [first, last] : ranges)
    for (int c = first; c <= last; ++c)
      out.push_back(c);
  return out;
}

// Runs `fn`, expects a VelaException(8) whose text is `message` followed by a location suffix of
// `sourcePath`, logged at ERROR by `function` (when given).
void expectFault(const std::function<void()>& fn, const std::string& message, const char* sourcePath,
                 const char* function = nullptr) {
  LogCapture capture(vela::KernelLogger::logger());
  try {
    fn();
    ADD_FAILURE() << "no exception for " << message;
    return;
  } catch (const vela::VelaException& e) {
    EXPECT_EQ(e.whatCode(), 8);
    const std::string what = e.what();
    const std::string prefix =
        message + " (" + std::to_string(vela::getLogErrorCodeFrom_FILE(sourcePath)) + ":";
    EXPECT_EQ(what.rfind(prefix, 0), 0u) << what;
    EXPECT_EQ(what.back(), ')') << what;
    // Parallel tasks may each raise the fault before the reduction stops: one event or more, all alike.
    const auto events = capture.events();
    ASSERT_GE(events.size(), 1u) << what;
    for (const auto& event : events) {
      EXPECT_EQ(event.level, log4cplus::ERROR_LOG_LEVEL);
      EXPECT_EQ(event.message, "'" + what + "'");
      if (function != nullptr) {
        EXPECT_EQ(event.function, function);
      }
    }
  }
}

} // namespace

TEST(VectorEvaluatorRegistration, EveryLoaderIsRegisteredAndNothingWasRefused) {
  EXPECT_TRUE(opRegistrationErrors().empty()) << opRegistrationErrors().front();
  std::vector<int> expected = codes({{2, 27}, {34, 49}, {52, 61}, {67, 82}, {86, 94}, {100, 100}});
  expected.insert(expected.end(), kPlainLoads.begin(), kPlainLoads.end());
  for (int c : codes({{28, 33}, {50, 51}, {62, 66}, {95, 99}, {227, 229}, {232, 234}, {236, 236}}))
    expected.push_back(c);
  expected.push_back(kAddI64);
  expected.push_back(kDivI64);
  for (int c : expected)
    EXPECT_NE(OpHandlerTable<Eval>::find(c), nullptr) << c;
  // Fused load-casts, no-ops and codes outside the space have no handler.
  for (int c : {103, 230, 231, 0, 83, -1, 2650})
    EXPECT_EQ(OpHandlerTable<Eval>::find(c), nullptr) << c;
}

TEST(VectorEvaluatorLoads, FinalColumnLoadIsCopiedStraightIntoTheCallerCells) {
  for (int code : kPlainLoads) {
    const std::size_t w = widthOf(code);
    for (unsigned long rows : kRowCounts) {
      if (rows == 100000 && w > 16 && code != 226)
        continue; // the wide text widths are covered by char256 at this size
      SCOPED_TRACE(testing::Message() << "code " << code << ", rows " << rows);
      PrivatePool pool;
      const auto column = randomBytes(rows, w, static_cast<unsigned>(code + rows));
      Program p;
      p.column(code, 0);
      Outputs out;
      EXPECT_EQ(runVector(p, {column.data()}, rows, out), RPN_EVAL_OK);
      EXPECT_TRUE(out.values == column);
      EXPECT_EQ(std::count(out.nulls.begin(), out.nulls.end(), 0), static_cast<long>(rows));
      // No intermediate storage at all: the load wrote the caller's cells.
      EXPECT_EQ(pool.pool.peakBytes(), 0u);
      EXPECT_EQ(pool.pool.reservedBytes(), 0u);
    }
  }
}

TEST(VectorEvaluatorLoads, FinalConstantsFillEveryCell) {
  // Null constants and op 34 load zero cells whatever the operand holds; the others copy its bytes.
  const std::vector<int> zeroes = codes({{2, 27}, {34, 34}});
  for (int code : codes({{2, 49}, {52, 61}, {67, 82}, {86, 94}, {100, 100}})) {
    if (vela::ParserUtils::opFamily(code) != OpFamily::Value)
      continue; // object constants are the string and geometry families'
    SCOPED_TRACE(testing::Message() << "code " << code);
    const bool zero = std::find(zeroes.begin(), zeroes.end(), code) != zeroes.end();
    std::array<unsigned char, 256> operand, want{};
    for (std::size_t i = 0; i < operand.size(); ++i)
      operand[i] = static_cast<unsigned char>(code * 7 + i * 13 + 1);
    if (!zero)
      want = operand;
    Program p;
    p.constant(code, operand);
    const HarnessResult r = HarnessCase(p).run();
    // A null constant does not make the row null by itself.
    HarnessCase::checkStates(r, {0}, RPN_EVAL_OK);
    ASSERT_EQ(r.width, widthOf(code));
    EXPECT_EQ(std::memcmp(r.values.data(), want.data(), r.width), 0);
  }
}

// Intermediate loads and constants of every width, through a select that reads three operands in
// every constant/column combination.
struct WidthCodes {
  std::size_t width;
  int load, constant, nullConstant, select;
};
const std::vector<WidthCodes> kWidths = {
    {1, 117, 35, 3, 1196},    {2, 128, 36, 4, 1198},    {4, 139, 37, 5, 1199},   {8, 153, 40, 8, 1202},
    {12, 186, 43, 12, 1205},  {16, 148, 39, 7, 1201},   {32, 223, 58, 24, 1217}, {64, 224, 59, 25, 1218},
    {128, 225, 60, 26, 1219}, {256, 226, 61, 27, 1220},
};

template <std::size_t W>
void runSelectCases(const WidthCodes& c) {
  ScopedOpShape<SelectShape<cell_of_width_t<W>>> select(c.select);
  enum Form { Column, Constant, NullConstant };
  constexpr unsigned long kRows = 9;
  const auto a = randomBytes(kRows, W, 1 + W), b = randomBytes(kRows, W, 2 + W);
  std::vector<unsigned char> cond = randomBytes(kRows, 1, 3);
  for (auto& x : cond)
    x &= 1;
  std::array<unsigned char, 256> ka{}, kb{};
  for (std::size_t i = 0; i < W; ++i) {
    ka[i] = static_cast<unsigned char>(0x11 * (i + 1));
    kb[i] = static_cast<unsigned char>(0x5B + i);
  }
  for (Form fa : {Column, Constant, NullConstant})
    for (Form fb : {Column, Constant})
      for (Form fc : {Column, Constant}) {
        SCOPED_TRACE(testing::Message() << "width " << W << ", forms " << fa << fb << fc);
        Program p;
        if (fa == Column)
          p.column(c.load, 0);
        else if (fa == Constant)
          p.constant(c.constant, ka);
        else
          p.constant(c.nullConstant, ka);
        if (fb == Column)
          p.column(c.load, 1);
        else
          p.constant(c.constant, kb);
        if (fc == Column)
          p.column(117, 2);
        else
          p.constant(35, std::uint8_t{1});
        p.op(c.select);
        HarnessCase hc(p);
        hc.addRawColumn(W, kRows, a).addRawColumn(W, kRows, b).addColumn(cond);
        const HarnessResult r = hc.run();
        HarnessCase::checkStates(r, {}, RPN_EVAL_OK);
        const std::array<unsigned char, 256> zero{};
        for (unsigned long row = 0; row < kRows && r.values.size() == kRows * W; ++row) {
          const bool pickB = fc == Constant || cond[row] != 0;
          const unsigned char* want = pickB ? (fb == Column ? &b[row * W] : kb.data())
                                            : (fa == Column     ? &a[row * W]
                                               : fa == Constant ? ka.data()
                                                                : zero.data());
          ASSERT_EQ(std::memcmp(r.values.data() + row * W, want, W), 0) << "row " << row;
        }
      }
}

TEST(VectorEvaluatorLoads, IntermediateLoadsAndConstantsOfEveryWidthInEveryOperandForm) {
  for (const WidthCodes& c : kWidths) {
    ASSERT_EQ(widthOf(c.load), c.width);
    ASSERT_EQ(widthOf(c.constant), c.width);
    ASSERT_EQ(widthOf(c.nullConstant), c.width);
    ASSERT_EQ(widthOf(c.select), c.width);
    switch (c.width) {
    case 1:
      runSelectCases<1>(c);
      break;
    case 2:
      runSelectCases<2>(c);
      break;
    case 4:
      runSelectCases<4>(c);
      break;
    case 8:
      runSelectCases<8>(c);
      break;
    case 12:
      runSelectCases<12>(c);
      break;
    case 16:
      runSelectCases<16>(c);
      break;
    case 32:
      runSelectCases<32>(c);
      break;
    case 64:
      runSelectCases<64>(c);
      break;
    case 128:
      runSelectCases<128>(c);
      break;
    case 256:
      runSelectCases<256>(c);
      break;
    }
  }
}

TEST(VectorEvaluatorLoads, IntermediateOutputsAreOwnedAndGivenBack) {
  // select(select(a, b, c), b, c): the inner select owns a column, the outer writes the caller's cells.
  ScopedOpHandler<Eval> select(1202, &fakeSelect<std::uint64_t>);
  for (unsigned long rows : kRowCounts) {
    SCOPED_TRACE(rows);
    PrivatePool pool;
    const auto a = randomBytes(rows, 8, 7), b = randomBytes(rows, 8, 8);
    std::vector<unsigned char> cond(rows);
    for (unsigned long r = 0; r < rows; ++r)
      cond[r] = r % 3 == 0;
    Program p;
    p.column(kLoadI64, 0)
        .column(kLoadI64, 1)
        .column(117, 2)
        .op(1202)
        .column(kLoadI64, 1)
        .column(117, 2)
        .op(1202);
    Outputs out;
    ASSERT_EQ(runVector(p, {a.data(), b.data(), cond.data()}, rows, out), RPN_EVAL_OK);
    for (unsigned long r = 0; r < rows; ++r)
      ASSERT_EQ(std::memcmp(out.cell(r), &(cond[r] ? b : a)[r * 8], 8), 0) << r;
    if (rows != 0) {
      EXPECT_GT(pool.pool.peakBytes(), 0u);
    }
    EXPECT_EQ(pool.pool.reservedBytes(), 0u);
  }
}

TEST(VectorEvaluatorLoads, AnEntryPushedBackUnchangedIsCopiedIntoTheCallerCells) {
  // An op that re-pushes its operand leaves the load's borrowed column (or the constant) as the result.
  auto passThrough = [](Eval& e) {
    auto in = e.popInput<std::uint64_t>();
    e.pushValue(std::move(in.entry()));
  };
  ScopedOpHandler<Eval> pass(834, +passThrough);
  for (unsigned long rows : {1ul, 64ul, 65ul, 1000ul}) {
    PrivatePool pool;
    const auto a = randomBytes(rows, 8, 9);
    Program column;
    column.column(kLoadI64, 0).op(834);
    Outputs out;
    EXPECT_EQ(runVector(column, {a.data()}, rows, out), RPN_EVAL_OK);
    EXPECT_TRUE(out.values == a);
    Program constant;
    constant.constant(kConstI64, std::int64_t{-5}).op(834);
    EXPECT_EQ(runVector(constant, {}, rows, out), RPN_EVAL_OK);
    for (unsigned long r = 0; r < rows; ++r)
      ASSERT_EQ(reinterpret_cast<const std::int64_t*>(out.values.data())[r], -5);
    EXPECT_EQ(pool.pool.reservedBytes(), 0u);
  }
}

namespace {
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

// Dividend and divisor columns with a zero divisor at rows 3 mod 7 and minimum / -1 at rows 5 mod 11.
void divisionColumns(unsigned long rows, std::vector<std::int64_t>& a, std::vector<std::int64_t>& b) {
  a.resize(rows);
  b.resize(rows);
  for (unsigned long r = 0; r < rows; ++r) {
    a[r] = static_cast<std::int64_t>(r * 2654435761u) - 1000000007;
    b[r] = static_cast<std::int64_t>(r % 13) - 6;
    if (b[r] == 0)
      b[r] = 3;
    if (r % 7 == 3)
      b[r] = 0;
    if (r % 11 == 5) {
      a[r] = kMin;
      b[r] = -1;
    }
  }
}

const unsigned char* bytes(const std::vector<std::int64_t>& v) {
  return reinterpret_cast<const unsigned char*>(v.data());
}
} // namespace

TEST(VectorEvaluatorLoads, NonConstantInputsExpandConstantsAndBorrowColumns) {
  // row i -> operand at i + i, from an operand that is never seen as a constant.
  auto plusRow = [](Eval& e) {
    auto in = e.popNonConstInput<std::int64_t>();
    // A constant is expanded into cells of the entry's own; a column is passed on, not copied.
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
  ScopedOpHandler<Eval> fake(834, +plusRow);
  for (unsigned long rows : {0ul, 1ul, 65ul, 1000ul}) {
    SCOPED_TRACE(rows);
    PrivatePool pool;
    std::vector<std::int64_t> a(rows);
    for (unsigned long r = 0; r < rows; ++r)
      a[r] = 1000 * static_cast<std::int64_t>(r);
    for (bool constant : {true, false}) {
      Program p;
      constant ? p.constant(kConstI64, std::int64_t{-7}) : p.column(kLoadI64, 0);
      p.op(834);
      Outputs out;
      ASSERT_EQ(runVector(p, {reinterpret_cast<const unsigned char*>(a.data())}, rows, out), RPN_EVAL_OK);
      for (unsigned long r = 0; r < rows; ++r)
        ASSERT_EQ(reinterpret_cast<const std::int64_t*>(out.values.data())[r],
                  (constant ? -7 : a[r]) + static_cast<std::int64_t>(r));
    }
    EXPECT_EQ(pool.pool.reservedBytes(), 0u);
  }
}

namespace {
// A checked conversion: negative values fail with code 15, the others scale by 100. It sets the code only
// on failure: the kernel runner stores 0 first (the caller's outNulls are pre-filled with a sentinel).
struct CheckedScaleFunc {
  std::int64_t operator()(std::int64_t x, rpn_eval_result_t& code) const {
    if (x < 0)
      code = RPN_EVAL_BAD_CAST;
    return x < 0 ? 0 : x * 100;
  }
};
struct WidenLoadShape {
  template <class E>
  static void eval(E& e) {
    e.template evalVarFunc<std::int32_t, std::int64_t>([](std::int32_t x) { return std::int64_t{x} * 3; });
  }
};
struct CheckedLoadShape {
  template <class E>
  static void eval(E& e) {
    e.template evalVarFuncResult<std::int64_t, std::int64_t>(CheckedScaleFunc{});
  }
};
} // namespace

TEST(VectorEvaluatorLoads, ColumnLoadsThroughAFunctorPlaceValuesAndStates) {
  // Stand-ins for a fused load-cast (152, i32 -> i64) and one with a state (173, i64 -> dec64).
  ScopedOpShape<WidenLoadShape> widen(152);
  ScopedOpShape<CheckedLoadShape> checked(173);
  const std::vector<std::int32_t> narrow = {0, -1, std::numeric_limits<std::int32_t>::min(), 123456789, 7};
  const std::vector<std::int64_t> wide = {0, -5, 40, kMin, 9};
  for (bool thenAdd : {false, true}) {
    SCOPED_TRACE(testing::Message() << "then add " << thenAdd);
    const std::int64_t k = thenAdd ? 5 : 0;
    Program pw, pc;
    pw.column(152, 0);
    pc.column(173, 1);
    if (thenAdd) {
      pw.constant(kConstI64, k).op(kAddI64);
      pc.constant(kConstI64, k).op(kAddI64);
    }
    std::vector<std::int64_t> widened, scaled;
    std::vector<std::uint8_t> states;
    for (std::size_t r = 0; r < narrow.size(); ++r) {
      widened.push_back(std::int64_t{narrow[r]} * 3 + k);
      scaled.push_back(wide[r] < 0 ? 0 : wide[r] * 100 + k);
      states.push_back(wide[r] < 0 ? RPN_EVAL_BAD_CAST : RPN_EVAL_OK);
    }
    HarnessCase cw(pw), cc(pc);
    cw.addColumn(narrow).addColumn(wide).expectRows(widened);
    cc.addColumn(narrow).addColumn(wide).expectRows(scaled, states, RPN_EVAL_BAD_CAST);
  }
}

// --- arithmetic and row states ---------------------------------------------------------------------

TEST(VectorEvaluatorArithmetic, AddWrapsInEveryOperandForm) {
  const std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
  const std::vector<std::int64_t> a = {kMax, kMax - 3, 977, -1, 0, kMin, 12};
  const std::vector<std::int64_t> b = {1, kMin + 5, -150, kMin, 0, -1, kMax};
  for (int form = 0; form < 4; ++form) {
    SCOPED_TRACE(testing::Message() << "form " << form);
    Program p;
    form & 1 ? p.constant(kConstI64, kMax) : p.column(kLoadI64, 0);
    form & 2 ? p.constant(kConstI64, kMax) : p.column(kLoadI64, 1);
    p.op(kAddI64);
    std::vector<std::int64_t> want;
    for (std::size_t r = 0; r < a.size(); ++r) {
      const std::uint64_t x = static_cast<std::uint64_t>(form & 1 ? kMax : a[r]);
      const std::uint64_t y = static_cast<std::uint64_t>(form & 2 ? kMax : b[r]);
      want.push_back(static_cast<std::int64_t>(x + y));
    }
    HarnessCase(p).addColumn(a).addColumn(b).expectRows(want);
  }
}

TEST(VectorEvaluatorArithmetic, DivisionFailuresClearTheirRowsAndSetTheBatchCode) {
  std::vector<std::int64_t> a, b;
  divisionColumns(77, a, b);
  for (bool thenAdd : {false, true}) {
    SCOPED_TRACE(testing::Message() << "then add " << thenAdd);
    Program p;
    p.column(kLoadI64, 0).column(kLoadI64, 1).op(kDivI64);
    // With a following add the division is the last null element but not the last value element: its
    // states still go straight to outNulls.
    if (thenAdd)
      p.constant(kConstI64, std::int64_t{10}).op(kAddI64);
    std::vector<std::int64_t> want;
    std::vector<std::uint8_t> states;
    for (std::size_t r = 0; r < a.size(); ++r) {
      states.push_back(b[r] == 0 ? 2 : a[r] == kMin && b[r] == -1 ? 17 : 0);
      want.push_back(states.back() != 0 ? 0 : a[r] / b[r] + (thenAdd ? 10 : 0));
    }
    const HarnessResult r =
        HarnessCase(p).addColumn(a).addColumn(b).expectRows(want, states, RPN_EVAL_OVERFLOW);
    for (std::size_t row = 0; row < r.rows; ++row)
      ASSERT_EQ(r.value<std::int64_t>(row), want[row]) << "failed rows are cleared: row " << row;
  }
}

TEST(VectorEvaluatorArithmetic, TheWorstCodeOfAnyChunkWins) {
  // One overflow row in the last chunk, divisions by zero elsewhere.
  const unsigned long rows = 100000;
  std::vector<std::int64_t> a(rows, 5), b(rows, 1);
  for (unsigned long r = 0; r < rows; r += 1000)
    b[r] = 0;
  a[rows - 1] = kMin;
  b[rows - 1] = -1;
  PrivatePool pool;
  Program p;
  p.column(kLoadI64, 0).column(kLoadI64, 1).op(kDivI64);
  Outputs out;
  EXPECT_EQ(runVector(p, {bytes(a), bytes(b)}, rows, out), RPN_EVAL_OVERFLOW);
  b[rows - 1] = 1;
  EXPECT_EQ(runVector(p, {bytes(a), bytes(b)}, rows, out), RPN_EVAL_DIVIDE_BY_ZERO);
}

TEST(VectorEvaluatorStates, NullAndFailedRowsAreClearedAndReportableCodesCounted) {
  ScopedOpShape<LoadStatesShape> loadStates(kLoadColNulls);
  ScopedOpShape<NullToErrorShape> nullToError(kNullToError);
  const std::vector<std::uint8_t> flags = {0, 1, 0, 2, 5, 0, 1, 17, 0};
  std::vector<std::int64_t> v;
  for (std::size_t r = 0; r < flags.size(); ++r)
    v.push_back(static_cast<std::int64_t>(r) + 1);
  for (bool reportable : {false, true}) {
    SCOPED_TRACE(testing::Message() << "reportable " << reportable);
    Program p;
    p.column(kLoadI64, 0).column(kLoadColNulls, 1);
    if (reportable)
      p.op(kNullToError);
    std::vector<std::uint8_t> states = flags;
    if (reportable)
      std::replace(states.begin(), states.end(), std::uint8_t{1}, std::uint8_t{16});
    // Only programs with a reportable error source report codes; a lone null row reports 0.
    const HarnessResult r = HarnessCase(p).addColumn(v).addColumn(flags).expectRows(
        v, states, reportable ? RPN_EVAL_OVERFLOW : RPN_EVAL_OK);
    for (std::size_t row = 0; row < r.rows; ++row)
      ASSERT_EQ(r.value<std::int64_t>(row), states[row] == 0 ? v[row] : 0) << row;
  }
}

TEST(VectorEvaluatorStates, AConstantStateAppliesToEveryRow) {
  ScopedOpHandler<Eval> nullState(kNullState, &fakeNullState);
  ScopedOpHandler<Eval> nullToError(kNullToError, &fakeNullToError);
  for (bool toError : {false, true})
    for (bool withNulls : {true, false})
      for (unsigned long rows : {0ul, 1ul, 64ul, 65ul, 1000ul}) {
        SCOPED_TRACE(testing::Message()
                     << "rows " << rows << ", error " << toError << ", nulls " << withNulls);
        PrivatePool pool;
        Program p;
        p.constant(kConstI64, std::int64_t{7}).op(kNullState);
        if (toError)
          p.op(kNullToError);
        Outputs out;
        const rpn_eval_result_t code = runVector(p, {}, rows, out, {.withNulls = withNulls});
        EXPECT_EQ(code, toError && rows != 0 ? RPN_EVAL_NULL_TO_ERROR : RPN_EVAL_OK);
        EXPECT_EQ(std::count(out.values.begin(), out.values.end(), 0), static_cast<long>(rows * 8));
        const unsigned char want = withNulls ? (toError ? 16 : 1) : kSentinel;
        EXPECT_EQ(std::count(out.nulls.begin(), out.nulls.end(), want), static_cast<long>(rows));
        EXPECT_EQ(pool.pool.reservedBytes(), 0u);
      }
}

// --- frame faults and refusals ---------------------------------------------------------------------

TEST(VectorEvaluatorFaults, StackUnderflowAndExcessValues) {
  ScopedOpHandler<Eval> nullToError(kNullToError, &fakeNullToError);
  struct Case {
    const char* what;
    std::vector<int> ops; // 153 loads column 0
    const char* message;
  };
  const std::vector<Case> cases = {
      {"add with nothing", {kAddI64}, "stack underflow"},
      {"add with one operand", {kLoadI64, kAddI64}, "stack underflow"},
      {"state op with no state", {kLoadI64, kNullToError}, "stack underflow"},
      {"two values left", {kLoadI64, kLoadI64}, "stack ended with excess values"},
      {"no value left", {}, "stack ended with excess values"},
      {"two states left",
       {kLoadI64, kLoadI64, kDivI64, kLoadI64, kLoadI64, kDivI64, kAddI64},
       "stack ended with excess values"},
  };
  for (const Case& c : cases)
    for (unsigned long rows : {0ul, 1ul, 64ul, 1000ul}) {
      SCOPED_TRACE(testing::Message() << c.what << ", rows " << rows);
      PrivatePool pool;
      std::vector<std::int64_t> column(rows, 1);
      Program p;
      for (int op : c.ops)
        op == kLoadI64 ? p.column(op, 0) : p.op(op);
      Outputs out;
      expectFault([&] { runVector(p, {bytes(column)}, rows, out); }, c.message, kEvaluatorSourcePath,
                  "void vela::cuda::throwIfEvaluationError(rpn_eval_result_t)");
      EXPECT_EQ(pool.pool.reservedBytes(), 0u);
    }
}

TEST(VectorEvaluatorFaults, NoOpAndUnhandledCodesAreRefusedWithTheOpName) {
  // A code of a family that has no kernel for it yet: found, not assumed, so the test follows the
  // families as they grow.
  int unregisteredMath = -1;
  for (int c = 0; c < vela::ParserUtils::kNumOps && unregisteredMath < 0; ++c)
    if (vela::ParserUtils::opFamily(c) == OpFamily::Math && OpHandlerTable<Eval>::find(c) == nullptr)
      unregisteredMath = c;
  ASSERT_GE(unregisteredMath, 0);

  struct Case {
    int code;
    std::string message;
    const char* function;
  };
  const char* noOp = "void vela::cuda::TypedRpnVectorEvaluator::noOpElement()";
  const char* unhandled = "void vela::cuda::TypedRpnVectorEvaluator::unhandledElement()";
  const std::vector<Case> cases = {
      {0, "NOOP_0 is unexpected no-op", noOp},
      {1, "NOOP_1 is unexpected no-op", noOp},
      {2648, "NOOP_2648 is unexpected no-op", noOp},
      {83, "UNASSIGNED_83 not handled", unhandled},
      {-1, "UNKNOWN_OP not handled", unhandled},
      {2650, "UNKNOWN_OP not handled", unhandled},
      {103, std::string(vela::ParserUtils::get_trpn_op_name(103)) + " not handled", unhandled},
      {unregisteredMath, std::string(vela::ParserUtils::get_trpn_op_name(unregisteredMath)) + " not handled",
       unhandled},
  };
  for (const Case& c : cases)
    for (unsigned long rows : {1ul, 1000ul}) {
      SCOPED_TRACE(testing::Message() << "code " << c.code << ", rows " << rows);
      PrivatePool pool;
      std::vector<std::int64_t> column(rows, 1);
      Program p;
      p.column(kLoadI64, 0).op(c.code);
      Outputs out;
      expectFault([&] { runVector(p, {bytes(column)}, rows, out); }, c.message, kEvaluatorImplSourcePath,
                  c.function);
      EXPECT_EQ(pool.pool.reservedBytes(), 0u);
    }
}

TEST(VectorEvaluatorFaults, AHostExecutionHelperIsRefused) {
  vela::KernelExecutionHelper host(true);
  std::vector<std::int64_t> column(10, 1);
  Program p;
  p.column(kLoadI64, 0);
  Outputs out;
  expectFault([&] { runVector(p, {bytes(column)}, 10, out, {.helper = &host}); },
              "Host KernelExecutionHelper not supported in TypedRpnVectorEvaluator", kEvaluatorImplSourcePath,
              "static vela::cuda::rpn_eval_result_t vela::cuda::TypedRpnVectorEvaluator::evaluate(const "
              "vela::cuda::TypedRpnEvaluatorParams&)");
  EXPECT_EQ(std::count(out.values.begin(), out.values.end(), kSentinel), 80);
}

TEST(VectorEvaluatorFaults, ReservationSlotsOnAScalarResultAreAnUnhandledObjectType) {
  // A (faulty) op that gives its i64 result reservation slots.
  auto withSlots = [](Eval& e) {
    auto out = e.prepareOutput<std::uint64_t>();
    out.entry().auxStorage.resize(e.rowCount());
    out.entry().aux = out.entry().auxStorage.data();
    e.push(std::move(out));
  };
  ScopedOpHandler<Eval> fake(2621, +withSlots);
  ASSERT_EQ(vela::ParserUtils::get_type(2621), vela::ParserUtils::RpnDataType::Int64);
  for (unsigned long rows : {1ul, 1000ul}) {
    PrivatePool pool;
    Program p;
    p.op(2621);
    Outputs out;
    expectFault([&] { runVector(p, {}, rows, out); }, "Unhandled object type", kEvaluatorImplSourcePath,
                "vela::cuda::rpn_eval_result_t vela::cuda::TypedRpnVectorEvaluatorHelper::evaluateRows()");
    EXPECT_EQ(pool.pool.reservedBytes(), 0u);
  }
}

// --- cancellation ----------------------------------------------------------------------------------

TEST(VectorEvaluatorCancellation, ACancelledJobLeavesRowsUnwrittenAndReportsNothing) {
  std::vector<std::int64_t> a, b;
  divisionColumns(1000, a, b);
  Program p;
  p.column(kLoadI64, 0).column(kLoadI64, 1).op(kDivI64);
  for (int status : {4, 7, 10}) {
    SCOPED_TRACE(status);
    PrivatePool pool;
    vela::job_info job(1, "cancelled", status);
    Outputs out;
    EXPECT_EQ(runVector(p, {bytes(a), bytes(b)}, 1000, out, {.job = &job}), RPN_EVAL_OK);
    EXPECT_EQ(std::count(out.values.begin(), out.values.end(), kSentinel), 8000);
    EXPECT_EQ(std::count(out.nulls.begin(), out.nulls.end(), kSentinel), 1000);
    EXPECT_EQ(pool.pool.reservedBytes(), 0u);
  }
  // A running job does not stop anything; below 65 rows the calling thread does not poll the job.
  vela::job_info running(2, "running");
  vela::job_info cancelled(3, "cancelled", 7);
  Outputs out;
  EXPECT_EQ(runVector(p, {bytes(a), bytes(b)}, 1000, out, {.job = &running}), RPN_EVAL_OVERFLOW);
  EXPECT_EQ(runVector(p, {bytes(a), bytes(b)}, 64, out, {.job = &cancelled}), RPN_EVAL_OVERFLOW);
  EXPECT_EQ(std::count(out.nulls.begin(), out.nulls.end(), kSentinel), 0);
}
