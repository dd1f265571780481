// The row evaluator: the end of a row (null and failed rows, with and without outNulls, scalar and
// object results), the ops it passes over, its schedule (one task in row order for an expensive
// host-only op), the entry points' choice of evaluator, cancellation, frame faults, and programs with
// state ops, failing rows and object results giving the same outputs as the column-batch evaluator.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include <geos/io/WKTReader.h>
#include <gtest/gtest.h>

#include "base/CallContext.h"
#include "base/VelaException.h"
#include "cuda/TypedRpnValueEvaluator.h"
#include "cuda/VectorEvalObjects.h"
#include "tests/cuda/VectorEvalTestSupport.h"
#include "tests/support/EvalHarness.h"

using namespace vela::cuda;
using namespace quarry::test;
using vela::ParserUtils::Program;

namespace {

constexpr int kLoadI32 = 139, kLoadU64 = 164, kLoadI64 = 153, kConstI64 = 40, kAddI64 = 1054, kDivI64 = 1078;
constexpr int kLoadString = 233, kConstString = 62, kNullString = 28;
constexpr int kDropState = 320, kExpensiveOp = 2476; // H3_NUM_GRID_DISK: i64 from u64, i32; host-only
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
using StringCell = const InlineBuffer<char>*;

// --- test-only ops, run by both evaluators --------------------------------------------------------

struct CopyStringFunc {
  void operator()(EvalOutputString out, StringCell in) const { out.writeCopy(in); }
};
using CopyStringShape = ElementwiseOp<CopyStringFunc, EvalOutputString, StringCell>;

// Returns its input unchanged and settles the ownership.
struct IdentityStringShape {
  template <class E>
  static void eval(E& e) {
    auto in = e.template popInput<StringCell>();
    auto out = e.template prepareOutput<EvalOutputString>();
    e.runKernel([](EvalOutputString h, StringCell s) { h.writeInput(s); }, out, in);
    e.checkObjectMove(in, out);
    e.push(std::move(out));
  }
};

// Pops a state and pushes nothing (DROP_STATE).
struct DropStateShape {
  template <class E>
  static void eval(E& e) {
    [[maybe_unused]] auto state = e.template popInput<rpn_eval_result_t>();
  }
};

// Two states into one: the worse of the two (stands in for COMBINE_STATES).
struct WorseStateFunc {
  rpn_eval_result_t operator()(rpn_eval_result_t a, rpn_eval_result_t b) const { return std::max(a, b); }
};
using WorseStateShape =
    ElementwiseOp<WorseStateFunc, rpn_eval_result_t, rpn_eval_result_t, rpn_eval_result_t>;
constexpr int kCombineStates = 242;

// Records who ran it, then pushes a + b as i64.
struct Call {
  std::thread::id thread;
  unsigned long start, count;
  bool rowEvaluator;
};
std::mutex gCallsMutex;
std::vector<Call> gCalls;

struct SumFunc {
  template <class A, class B>
  std::int64_t operator()(A a, B b) const {
    return static_cast<std::int64_t>(a) + static_cast<std::int64_t>(b);
  }
};
template <class A, class B>
struct RecordingShape {
  template <class E>
  static void eval(E& e) {
    {
      std::lock_guard lock(gCallsMutex);
      gCalls.push_back({std::this_thread::get_id(), e.startRow(), e.rowCount(),
                        std::is_same_v<E, TypedRpnValueEvaluator>});
    }
    ElementwiseOp<SumFunc, std::int64_t, A, B>::eval(e);
  }
};
std::vector<Call> takeCalls() {
  std::lock_guard lock(gCallsMutex);
  return std::exchange(gCalls, {});
}

const unsigned char* bytes(const void* p) {
  return static_cast<const unsigned char*>(p);
}

// Runs one row after the other through the per-row driver, as a task of the schedule does.
struct RowDriver {
  std::vector<unsigned char> values = std::vector<unsigned char>(8 * 2048);
  std::vector<rpn_eval_result_t> states = std::vector<rpn_eval_result_t>(2048);
  std::vector<ValueEvalObjectHolder> outputHolders, consumedHolders;

  rpn_eval_result_t evaluateRow(const TypedRpnEvaluatorParams& params, unsigned long row) {
    TypedRpnValueEvaluatorHelper e(params, values.data(), states.data(), outputHolders, consumedHolders, row);
    return e.evaluateRow();
  }
};

} // namespace

TEST(RowEvaluatorRegistration, EveryRegisteredOpRunsInBothEvaluators) {
  EXPECT_TRUE(opRegistrationErrors().empty()) << opRegistrationErrors().front();
  for (int c = 0; c < vela::ParserUtils::kNumOps; ++c)
    EXPECT_EQ(OpHandlerTable<TypedRpnVectorEvaluator>::find(c) != nullptr,
              OpHandlerTable<TypedRpnValueEvaluator>::find(c) != nullptr)
        << c;
}

// --- end of row ------------------------------------------------------------------------------------

TEST(RowEvaluatorEndOfRow, TheStateLeftOnTopDecidesTheRowCodeNullByteAndCell) {
  ScopedOpShape<LoadStatesShape> loadStates(kLoadColNulls);
  ScopedOpShape<NullToErrorShape> nullToError(kNullToError);
  const std::vector<std::int64_t> v = {11, 12, 13, 14, 15};
  const std::vector<unsigned char> flags = {0, 1, 9, 17, 0};
  for (bool toError : {false, true})
    for (bool withNulls : {true, false}) {
      SCOPED_TRACE(testing::Message() << "null to error " << toError << ", outNulls " << withNulls);
      Program p;
      p.column(kLoadI64, 0).column(kLoadColNulls, 1);
      if (toError)
        p.op(kNullToError);
      const std::vector<const unsigned char*> columns = {bytes(v.data()), flags.data()};
      std::vector<std::int64_t> out(v.size(), -1);
      std::vector<unsigned char> nulls(v.size(), kSentinel);
      const TypedRpnEvaluatorParams params(
          nullptr, p.elements(), columns.data(), columns.size(), reinterpret_cast<unsigned char*>(out.data()),
          withNulls ? nulls.data() : nullptr, nullptr, v.size(), 2024, 0, nullptr, nullptr, nullptr);
      RowDriver driver;
      for (unsigned long r = 0; r < v.size(); ++r) {
        const unsigned char s = toError && flags[r] == 1 ? std::uint8_t{RPN_EVAL_NULL_TO_ERROR} : flags[r];
        // A null row returns 1 and a failed row its code; both get null byte 1 and a zero cell.
        EXPECT_EQ(driver.evaluateRow(params, r), s) << r;
        EXPECT_EQ(out[r], s == 0 ? v[r] : 0) << r;
        EXPECT_EQ(nulls[r], withNulls ? (s == 0 ? 0 : 1) : kSentinel) << r;
      }
      // The call: the worst row code, only when the program has a reportable error source.
      std::fill(out.begin(), out.end(), -1);
      EXPECT_EQ(TypedRpnValueEvaluator::evaluate(params), toError ? RPN_EVAL_OVERFLOW : RPN_EVAL_OK);
      EXPECT_EQ(out, (std::vector<std::int64_t>{11, 0, 0, 0, 15}));
    }
}

TEST(RowEvaluatorEndOfRow, WithoutStateOpsEveryNullByteIsZero) {
  Program p;
  p.column(kLoadI64, 0).constant(kConstI64, std::int64_t{1}).op(kAddI64);
  const std::vector<std::int64_t> v = {1, 2, kMin, 4};
  const std::vector<const unsigned char*> columns = {bytes(v.data())};
  std::vector<std::int64_t> out(v.size(), -1);
  std::vector<unsigned char> nulls(v.size(), kSentinel);
  EXPECT_EQ(evaluateTypedRpnHost(p.elements(), columns.data(), 1,
                                 reinterpret_cast<unsigned char*>(out.data()), nulls.data(), nullptr, 1, 0,
                                 nullptr, nullptr),
            RPN_EVAL_OK);
  const TypedRpnEvaluatorParams params(nullptr, p.elements(), columns.data(), 1,
                                       reinterpret_cast<unsigned char*>(out.data()), nulls.data(), nullptr,
                                       v.size(), 2024, 0, nullptr, nullptr, nullptr);
  EXPECT_EQ(TypedRpnValueEvaluator::evaluate(params), RPN_EVAL_OK);
  EXPECT_EQ(out, (std::vector<std::int64_t>{2, 3, kMin + 1, 5}));
  EXPECT_EQ(nulls, std::vector<unsigned char>(v.size(), 0));
}

TEST(RowEvaluatorEndOfRow, AFailedObjectRowFreesItsResult) {
  // Copies in the caller's slots, then rows failing or null by their flags: their objects are freed,
  // their reservations given back, and the call reports the worst code.
  ScopedOpShape<CopyStringShape> copy(1628);
  ScopedOpShape<LoadStatesShape> loadStates(kLoadColNulls);
  ScopedOpShape<NullToErrorShape> nullToError(kNullToError);
  Program p;
  p.column(kLoadString, 0).op(1628).column(kLoadColNulls, 1).op(kNullToError);
  HarnessCase c(p);
  c.addStringColumn({"kept", "nulled", std::string(300, 'x'), std::nullopt, ""});
  c.addColumn<std::uint8_t>({0, 1, 9, 0, 0});
  c.expectStrings({"kept", std::nullopt, std::nullopt, std::nullopt, ""}, {0, 16, 9, 0, 0},
                  RPN_EVAL_NULL_TO_ERROR);
}

// --- ops passed over -------------------------------------------------------------------------------

TEST(RowEvaluatorSkips, NoOpUnassignedAndTheTwoReservedCodesArePassedOverSilently) {
  const std::vector<std::int64_t> v = {5, -6, 7};
  const std::vector<const unsigned char*> columns = {bytes(v.data())};
  for (int code : {0, 1, 101, 2648, 83, 800, 2546, 1195, 2306, -1, 2650}) {
    SCOPED_TRACE(code);
    EXPECT_TRUE(TypedRpnValueEvaluator::skipsOp(code));
    // Before the add only: the program analysis counts an unassigned code as a value producer, so one
    // after the last real value would take the output over (the column-batch evaluator refuses it anyway).
    Program p;
    p.column(kLoadI64, 0).op(code).constant(kConstI64, std::int64_t{10}).op(code).op(kAddI64);
    std::vector<std::int64_t> out(v.size(), 0);
    std::vector<unsigned char> nulls(v.size(), kSentinel);
    const TypedRpnEvaluatorParams params(nullptr, p.elements(), columns.data(), 1,
                                         reinterpret_cast<unsigned char*>(out.data()), nulls.data(), nullptr,
                                         v.size(), 2024, 0, nullptr, nullptr, nullptr);
    EXPECT_EQ(TypedRpnValueEvaluator::evaluate(params), RPN_EVAL_OK);
    EXPECT_EQ(out, (std::vector<std::int64_t>{15, 4, 17}));
    EXPECT_EQ(nulls, std::vector<unsigned char>(v.size(), 0));
    // The column-batch evaluator refuses every one of them that no family has taken up.
    if (OpHandlerTable<TypedRpnVectorEvaluator>::find(code) == nullptr) {
      EXPECT_THROW(TypedRpnVectorEvaluator::evaluate(params), vela::VelaException);
    }
  }
  for (int code : {2, 1054, 1584, 1589, 2649})
    EXPECT_FALSE(TypedRpnValueEvaluator::skipsOp(code)) << code;
}

TEST(RowEvaluatorSkips, AnAssignedOpWithoutAKernelIsNotHandled) {
  int unregistered = -1;
  for (int c = 0; c < vela::ParserUtils::kNumOps && unregistered < 0; ++c)
    if (!TypedRpnValueEvaluator::skipsOp(c) && OpHandlerTable<TypedRpnValueEvaluator>::find(c) == nullptr)
      unregistered = c;
  ASSERT_GE(unregistered, 0);
  Program p;
  p.op(unregistered);
  HarnessCase(p).expectFault(std::string(vela::ParserUtils::get_trpn_op_name(unregistered)) + " not handled");
}

// --- schedule and entry points ---------------------------------------------------------------------

TEST(RowEvaluatorSchedule, AnExpensiveHostOnlyOpRunsEveryRowInOneTaskInRowOrder) {
  ASSERT_TRUE(vela::ParserUtils::is_expensive_host_only_function(kExpensiveOp));
  ScopedOpShape<RecordingShape<std::uint64_t, std::int32_t>> recording(kExpensiveOp);
  const unsigned long rows = 10000;
  std::vector<std::uint64_t> a(rows);
  std::vector<std::int32_t> b(rows);
  for (unsigned long r = 0; r < rows; ++r) {
    a[r] = r * 3;
    b[r] = -static_cast<std::int32_t>(r);
  }
  Program p;
  p.column(kLoadU64, 0).column(kLoadI32, 1).op(kExpensiveOp);
  const std::vector<const unsigned char*> columns = {bytes(a.data()), bytes(b.data())};
  std::vector<std::int64_t> out(rows, -1);
  takeCalls();
  EXPECT_EQ(evaluateTypedRpnHost(p.elements(), columns.data(), 2,
                                 reinterpret_cast<unsigned char*>(out.data()), nullptr, nullptr, rows, 0,
                                 nullptr, nullptr),
            RPN_EVAL_OK);
  const std::vector<Call> calls = takeCalls();
  ASSERT_EQ(calls.size(), rows);
  for (unsigned long r = 0; r < rows; ++r) {
    ASSERT_TRUE(calls[r].rowEvaluator);
    ASSERT_EQ(calls[r].start, r) << "rows in order";
    ASSERT_EQ(calls[r].count, 1u);
    ASSERT_EQ(calls[r].thread, calls[0].thread) << "one task";
    ASSERT_EQ(out[r], static_cast<std::int64_t>(2 * r));
  }
}

TEST(RowEvaluatorSchedule, TheEntryPointChoosesTheRowEvaluatorForOneRowOrAHostOnlyOp) {
  ScopedOpShape<RecordingShape<std::int64_t, std::int64_t>> add(kAddI64);
  ScopedOpShape<RecordingShape<std::uint64_t, std::int32_t>> expensive(kExpensiveOp);
  struct Case {
    int op;
    unsigned long rows;
    bool row;
  };
  for (const Case& c : {Case{kAddI64, 1, true}, Case{kAddI64, 2, false}, Case{kAddI64, 65, false},
                        Case{kExpensiveOp, 2, true}, Case{kExpensiveOp, 65, true}}) {
    SCOPED_TRACE(testing::Message() << "op " << c.op << ", rows " << c.rows);
    Program p;
    p.column(c.op == kAddI64 ? kLoadI64 : kLoadU64, 0)
        .column(c.op == kAddI64 ? kLoadI64 : kLoadI32, 1)
        .op(c.op);
    const std::vector<std::int64_t> a(c.rows, 4), b(c.rows, 3);
    const std::vector<std::int32_t> b32(c.rows, 3);
    const std::vector<const unsigned char*> columns = {bytes(a.data()),
                                                       c.op == kAddI64 ? bytes(b.data()) : bytes(b32.data())};
    std::vector<std::int64_t> out(c.rows, 0);
    takeCalls();
    EXPECT_EQ(evaluateTypedRpnHost(p.elements(), columns.data(), 2,
                                   reinterpret_cast<unsigned char*>(out.data()), nullptr, nullptr, c.rows, 0,
                                   nullptr, nullptr),
              RPN_EVAL_OK);
    const std::vector<Call> calls = takeCalls();
    ASSERT_FALSE(calls.empty());
    for (const Call& call : calls)
      EXPECT_EQ(call.rowEvaluator, c.row);
    EXPECT_EQ(out, std::vector<std::int64_t>(c.rows, 7));
  }
}

TEST(RowEvaluatorSchedule, EvaluateTypedRpnWithAHostHelperIsTheHostEntryPoint) {
  std::vector<std::int64_t> a, b;
  for (std::int64_t r = 0; r < 300; ++r) {
    a.push_back(r * 7 - 900);
    b.push_back(r % 5 - 2);
  }
  Program p;
  p.column(kLoadI64, 0).column(kLoadI64, 1).op(kDivI64);
  const std::vector<const unsigned char*> columns = {bytes(a.data()), bytes(b.data())};
  vela::KernelExecutionHelper host(true);
  for (unsigned long rows : {1ul, 300ul}) {
    std::vector<std::int64_t> viaHelper(rows, -1), viaHost(rows, -2);
    std::vector<unsigned char> nullsHelper(rows, 7), nullsHost(rows, 8);
    const rpn_eval_result_t want = rows == 1 ? RPN_EVAL_OK : RPN_EVAL_DIVIDE_BY_ZERO; // b[0] = -2, b[2] = 0
    EXPECT_EQ(evaluateTypedRpn(host, p.elements(), columns.data(), 2,
                               reinterpret_cast<unsigned char*>(viaHelper.data()), nullsHelper.data(),
                               nullptr, rows, 0),
              want);
    EXPECT_EQ(evaluateTypedRpnHost(p.elements(), columns.data(), 2,
                                   reinterpret_cast<unsigned char*>(viaHost.data()), nullsHost.data(),
                                   nullptr, rows, 0, nullptr, nullptr),
              want);
    EXPECT_EQ(viaHelper, viaHost);
    EXPECT_EQ(nullsHelper, nullsHost);
  }
  // This build has no device: a device helper cannot even be made.
  EXPECT_THROW(vela::KernelExecutionHelper(false), vela::VelaException);
}

TEST(RowEvaluatorSchedule, ACancelledJobLeavesRowsUnwrittenAndReportsNothing) {
  std::vector<std::int64_t> a(500, kMin), b(500, -1); // every row overflows
  Program p;
  p.column(kLoadI64, 0).column(kLoadI64, 1).op(kDivI64);
  const std::vector<const unsigned char*> columns = {bytes(a.data()), bytes(b.data())};
  for (int status : {0, 4, 7, 10}) {
    SCOPED_TRACE(status);
    vela::job_info job(1, "job", status);
    const bool cancelled = status != 0;
    for (unsigned long rows : {1ul, 500ul}) {
      std::vector<std::int64_t> out(rows, 99);
      std::vector<unsigned char> nulls(rows, kSentinel);
      const TypedRpnEvaluatorParams params(nullptr, p.elements(), columns.data(), 2,
                                           reinterpret_cast<unsigned char*>(out.data()), nulls.data(),
                                           nullptr, rows, 2024, 0, nullptr, &job, nullptr);
      EXPECT_EQ(TypedRpnValueEvaluator::evaluate(params), cancelled ? RPN_EVAL_OK : RPN_EVAL_OVERFLOW);
      EXPECT_EQ(out, std::vector<std::int64_t>(rows, cancelled ? 99 : 0));
      EXPECT_EQ(nulls, std::vector<unsigned char>(rows, cancelled ? kSentinel : 1));
    }
  }
}

// --- frame faults ----------------------------------------------------------------------------------

TEST(RowEvaluatorFaults, StackUnderflowAndExcessValuesAsInTheColumnBatchEvaluator) {
  ScopedOpShape<CopyStringShape> copy(1628);
  struct Case {
    const char* what;
    std::function<void(Program&)> build;
    const char* message;
  };
  const std::vector<Case> cases = {
      {"add with one operand", [](Program& p) { p.column(kLoadI64, 0).op(kAddI64); }, "stack underflow"},
      {"state op without a state", [](Program& p) { p.column(kLoadI64, 0).op(kNullToError); },
       "stack underflow"},
      {"two values left", [](Program& p) { p.column(kLoadI64, 0).column(kLoadI64, 0); },
       "stack ended with excess values"},
      {"no value left", [](Program&) {}, "stack ended with excess values"},
      {"two states left",
       [](Program& p) {
         p.column(kLoadI64, 0).column(kLoadI64, 0).op(kDivI64).column(kLoadI64, 0).column(kLoadI64, 0);
         p.op(kDivI64).op(kAddI64);
       },
       "stack ended with excess values"},
      // The add pops the string copies, then finds nothing: the copies are freed on the way out.
      {"fault after an object intermediate",
       [](Program& p) { p.column(kLoadI64, 0).column(kLoadString, 1).op(1628).op(kAddI64).op(kAddI64); },
       "stack underflow"},
  };
  ScopedOpShape<NullToErrorShape> nullToError(kNullToError);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Program p;
    c.build(p);
    HarnessCase hc(p);
    hc.addColumn<std::int64_t>({1, 2, 3}).addStringColumn({"a", std::nullopt, "ccc"});
    hc.expectFault(c.message);
  }
}

// --- both evaluators agree -------------------------------------------------------------------------

TEST(RowEvaluatorAgreement, StateOpsFailingRowsAndPlacementAfterTheLastValue) {
  ScopedOpShape<LoadStatesShape> loadStates(kLoadColNulls);
  ScopedOpShape<NullToErrorShape> nullToError(kNullToError);
  ScopedOpShape<DropStateShape> drop(kDropState);
  ScopedOpShape<SelectShape<std::uint64_t>> select(1202);
  ScopedOpShape<WorseStateShape> combine(kCombineStates);
  const std::vector<std::int64_t> a = {7, 7, kMin, -9, 100, 0};
  const std::vector<std::int64_t> b = {2, 0, -1, 4, 7, 5};
  const std::vector<std::uint8_t> flags = {0, 0, 1, 1, 0, 0};
  const std::vector<std::uint8_t> cond = {1, 0, 1, 0, 1, 1};
  struct Case {
    const char* what;
    std::function<void(Program&)> build;
  };
  const std::vector<Case> cases = {
      {"division", [](Program& p) { p.column(kLoadI64, 0).column(kLoadI64, 1).op(kDivI64); }},
      {"division, then add (last null element before the last value element)",
       [](Program& p) {
         p.column(kLoadI64, 0)
             .column(kLoadI64, 1)
             .op(kDivI64)
             .constant(kConstI64, std::int64_t{3})
             .op(kAddI64);
       }},
      {"state op after the last value element",
       [](Program& p) { p.column(kLoadI64, 0).column(kLoadColNulls, 2).op(kNullToError); }},
      // The division is the last value and the last null element; its state is dropped afterwards, so
      // no row is null or failed and its raw quotients stand.
      {"state of the last null element dropped later",
       [](Program& p) { p.column(kLoadI64, 0).column(kLoadI64, 1).op(kDivI64).op(kDropState); }},
      {"select of a quotient and a column, null flags turned into errors",
       [](Program& p) {
         p.column(kLoadI64, 0).column(kLoadI64, 1).op(kDivI64).column(kLoadI64, 0).column(117, 3).op(1202);
         p.column(kLoadColNulls, 2).op(kNullToError).op(kCombineStates);
       }},
      {"null flags alone (no reportable error source)",
       [](Program& p) { p.column(kLoadI64, 1).column(kLoadColNulls, 2); }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Program p;
    c.build(p);
    HarnessCase hc(p);
    hc.addColumn(a).addColumn(b).addColumn(flags).addColumn(cond);
    hc.run();
  }
}

TEST(RowEvaluatorAgreement, StringIntermediatesAreOwnedOnceWhateverTheOpsReturn) {
  ScopedOpShape<CopyStringShape> copy(1628);
  ScopedOpShape<IdentityStringShape> identity(1668);
  ScopedOpShape<LoadStatesShape> loadStates(kLoadColNulls);
  std::unique_ptr<InlineBuffer<char>, void (*)(const void*) noexcept> constant(
      InlineBuffer<char>::allocate(5), &deleteString);
  std::memcpy(constant->data(), "const", 5);
  const std::vector<std::optional<std::string>> column = {"alpha", std::nullopt, "", std::string(100, 'b'),
                                                          "z"};
  struct Case {
    const char* what;
    std::function<void(Program&)> build;
    bool fromConstant;
  };
  const std::vector<Case> cases = {
      {"column returned", [](Program& p) { p.column(kLoadString, 0).op(1668); }, false},
      {"intermediate copy returned (moved)", [](Program& p) { p.column(kLoadString, 0).op(1628).op(1668); },
       false},
      {"copy returned twice", [](Program& p) { p.column(kLoadString, 0).op(1628).op(1668).op(1668); }, false},
      {"copy of a copy", [](Program& p) { p.column(kLoadString, 0).op(1628).op(1628); }, false},
      {"constant returned", [&](Program& p) { p.pointerConstant(kConstString, constant.get()).op(1668); },
       true},
      {"constant returned twice",
       [&](Program& p) { p.pointerConstant(kConstString, constant.get()).op(1668).op(1668); }, true},
      {"constant copied", [&](Program& p) { p.pointerConstant(kConstString, constant.get()).op(1628); },
       true},
  };
  for (bool withStates : {false, true})
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << c.what << ", states " << withStates);
      Program p;
      c.build(p);
      if (withStates)
        p.column(kLoadColNulls, 1);
      HarnessCase hc(p);
      hc.addStringColumn(column).addColumn<std::uint8_t>({0, 0, 1, 1, 0});
      std::vector<std::optional<std::string>> want;
      for (std::size_t r = 0; r < column.size(); ++r) {
        const std::optional<std::string> value =
            c.fromConstant ? std::optional<std::string>("const") : column[r];
        want.push_back(withStates && r >= 2 && r <= 3 ? std::nullopt : value);
      }
      hc.expectStrings(want,
                       withStates ? std::vector<std::uint8_t>{0, 0, 1, 1, 0} : std::vector<std::uint8_t>{});
    }
}

TEST(RowEvaluatorAgreement, ObjectLoadsAndConstantsOfEveryKind) {
  const geos::io::WKTReader reader;
  auto geometry = reader.read("POLYGON ((0 0, 4 0, 4 3, 0 0))");
  auto json = std::make_unique<JsonValue>(JsonValue::parse(R"({"k": [1, 2, {"x": "long enough text"}]})"));
  std::unique_ptr<InlineBuffer<float>, void (*)(const void*) noexcept> vector(
      InlineBuffer<float>::allocate(3), &deleteVector);
  vector->data()[0] = -0.0f;
  vector->data()[1] = 1.5f;
  vector->data()[2] = 3e38f;
  std::unique_ptr<InlineBuffer<char>, void (*)(const void*) noexcept> string(InlineBuffer<char>::allocate(2),
                                                                             &deleteString);
  std::memcpy(string->data(), "st", 2);
  struct Kind {
    int load, constant, nullConstant;
    const void* object;
    std::function<void(HarnessCase&)> column;
  };
  const std::vector<Kind> kinds = {
      {kLoadString, kConstString, kNullString, string.get(),
       [](HarnessCase& c) {
         c.addStringColumn({"one", std::nullopt, std::string(40, 's')});
       }},
      {232, 65, 31, vector.get(),
       [](HarnessCase& c) {
         c.addVectorColumn({std::vector<float>{1, 2}, std::nullopt, std::vector<float>{}});
       }},
      {227, 63, 29, json.get(),
       [](HarnessCase& c) {
         c.addJsonColumn({R"({"a": 1})", std::nullopt, "[true, null]"});
       }},
      {236, 50, 33, geometry.get(),
       [](HarnessCase& c) {
         c.addGeometryColumn({"POINT (1 2)", std::nullopt, "LINESTRING (0 0, 1 1, 2 0)"});
       }},
  };
  for (const Kind& k : kinds) {
    SCOPED_TRACE(k.load);
    Program load, constant, null;
    load.column(k.load, 0);
    constant.pointerConstant(k.constant, k.object);
    null.op(k.nullConstant);
    for (const Program* p : {&load, &constant, &null}) {
      HarnessCase c(*p);
      k.column(c);
      const HarnessResult r = c.run();
      if (p == &null) {
        EXPECT_EQ(std::count(r.objects.begin(), r.objects.end(), std::nullopt), 3);
      }
      if (p == &load) {
        EXPECT_EQ(r.objects[1], std::nullopt);
        EXPECT_NE(r.objects[2], std::nullopt);
      }
    }
  }
}
