// The row evaluator: skipped ops, its schedule, the entry points' choice, cancellation, and programs
// whose outputs, sizes and pool balance must match the column-batch evaluator's.
#include <algorithm>
#include <functional>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <type_traits>

#include <geos/io/WKTReader.h>
#include <gtest/gtest.h>

#include "base/VelaException.h"
#include "cuda/TypedRpnValueEvaluator.h"
#include "cuda/VectorEvalObjects.h"
#include "tests/cuda/VectorEvalTestSupport.h"
#include "tests/support/EvalHarness.h"

using namespace vela::cuda;
using namespace quarry::test;
using vela::ParserUtils::Program;

namespace {

constexpr int kLoadI32 = 139, kLoadU64 = 164, kCopy = 1628, kIdentity = 1668, kCombineStates = 242;
constexpr int kExpensiveOp = 2476; // H3_NUM_GRID_DISK: i64 from u64, i32; host-only
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

// Pops a state and pushes nothing (DROP_STATE, 320).
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

} // namespace

TEST(RowEvaluatorRegistration, EveryRegisteredOpRunsInBothEvaluatorsAndNoneWasRefused) {
  EXPECT_TRUE(opRegistrationErrors().empty()) << opRegistrationErrors().front();
  for (int c = 0; c < vela::ParserUtils::kNumOps; ++c)
    EXPECT_EQ(OpHandlerTable<TypedRpnVectorEvaluator>::find(c) != nullptr,
              OpHandlerTable<TypedRpnValueEvaluator>::find(c) != nullptr)
        << c;
}

TEST(RowEvaluatorSkips, NoOpUnassignedAndTheTwoReservedCodesArePassedOverSilently) {
  const std::vector<std::int64_t> v = {5, -6, 7};
  const std::vector<const unsigned char*> columns = {bytes(v.data())};
  for (int code : {0, 101, 2648, 83, 800, 2546, 1195, 2306, -1, 2650}) {
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
  }
  for (int code : {2, 1054, 1589, 2649})
    EXPECT_FALSE(TypedRpnValueEvaluator::skipsOp(code)) << code;
  // An assigned op without a kernel is not handled, by either evaluator.
  const ScopedNoKernel noKernel(kStandInOp);
  Program p;
  HarnessCase(p.op(kStandInOp))
      .expectFault(std::string(vela::ParserUtils::get_trpn_op_name(kStandInOp)) + " not handled");
}

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

TEST(RowEvaluatorSchedule, TheEntryPointsChooseTheRowEvaluatorForOneRowOrAHostOnlyOp) {
  ScopedOpShape<RecordingShape<std::int64_t, std::int64_t>> add(kAddI64);
  ScopedOpShape<RecordingShape<std::uint64_t, std::int32_t>> expensive(kExpensiveOp);
  vela::KernelExecutionHelper host(true);
  const std::tuple<int, unsigned long, bool> cases[] = {{kAddI64, 1, true},
                                                        {kAddI64, 2, false},
                                                        {kAddI64, 65, false},
                                                        {kExpensiveOp, 2, true},
                                                        {kExpensiveOp, 65, true}};
  for (const auto& [op, rows, rowEvaluator] : cases)
    for (bool viaHelper : {false, true}) {
      SCOPED_TRACE(testing::Message() << "op " << op << ", rows " << rows << ", helper " << viaHelper);
      Program p;
      p.column(op == kAddI64 ? kLoadI64 : kLoadU64, 0).column(op == kAddI64 ? kLoadI64 : kLoadI32, 1).op(op);
      const std::vector<std::int64_t> a(rows, 4), b(rows, 3);
      const std::vector<std::int32_t> b32(rows, 3);
      const std::vector<const unsigned char*> columns = {bytes(a.data()),
                                                         op == kAddI64 ? bytes(b.data()) : bytes(b32.data())};
      std::vector<std::int64_t> out(rows, 0);
      auto* cells = reinterpret_cast<unsigned char*>(out.data());
      takeCalls();
      // A host helper makes evaluateTypedRpn the host entry point.
      EXPECT_EQ(viaHelper ? evaluateTypedRpn(host, p.elements(), columns.data(), 2, cells, nullptr, nullptr,
                                             rows, 0)
                          : evaluateTypedRpnHost(p.elements(), columns.data(), 2, cells, nullptr, nullptr,
                                                 rows, 0, nullptr, nullptr),
                RPN_EVAL_OK);
      const std::vector<Call> calls = takeCalls();
      ASSERT_FALSE(calls.empty());
      for (const Call& call : calls)
        EXPECT_EQ(call.rowEvaluator, rowEvaluator);
      EXPECT_EQ(out, std::vector<std::int64_t>(rows, 7));
    }
  // This build has no device: a device helper cannot even be made.
  EXPECT_THROW(vela::KernelExecutionHelper(false), vela::VelaException);
}

TEST(BothEvaluators, ACancelledJobLeavesRowsUnwrittenAndReportsNothing) {
  std::vector<std::int64_t> a(1000, kMin), b(1000, -1); // every row overflows
  Program p;
  p.column(kLoadI64, 0).column(kLoadI64, 1).op(kDivI64);
  const std::vector<const unsigned char*> columns = {bytes(a.data()), bytes(b.data())};
  for (bool rowEvaluator : {false, true})
    for (int status : {0, 4, 7, 10})
      for (unsigned long rows : {1ul, 64ul, 1000ul}) {
        SCOPED_TRACE(testing::Message()
                     << "row evaluator " << rowEvaluator << ", status " << status << ", rows " << rows);
        PrivatePool pool;
        vela::job_info job(1, "job", status);
        // The column-batch evaluator polls the job only from its parallel tasks, which start above 64 rows.
        const bool cancelled = status != 0 && (rowEvaluator || rows > 64);
        std::vector<std::int64_t> out(rows, 99);
        std::vector<unsigned char> nulls(rows, kSentinel);
        const TypedRpnEvaluatorParams params(nullptr, p.elements(), columns.data(), 2,
                                             reinterpret_cast<unsigned char*>(out.data()), nulls.data(),
                                             nullptr, rows, 2024, 0, nullptr, &job, nullptr);
        EXPECT_EQ(rowEvaluator ? TypedRpnValueEvaluator::evaluate(params) : Eval::evaluate(params),
                  cancelled ? RPN_EVAL_OK : RPN_EVAL_OVERFLOW);
        EXPECT_EQ(out, std::vector<std::int64_t>(rows, cancelled ? 99 : 0));
        const unsigned char failed = rowEvaluator ? 1 : RPN_EVAL_OVERFLOW;
        EXPECT_EQ(nulls, std::vector<unsigned char>(rows, cancelled ? kSentinel : failed));
        EXPECT_EQ(pool.pool.reservedBytes(), 0u);
      }
}

TEST(BothEvaluators, StackUnderflowAndExcessValuesAreFaults) {
  ScopedOpShape<CopyStringShape> copy(kCopy);
  ScopedOpShape<NullToErrorShape> nullToError(kNullToError);
  const std::pair<std::function<void(Program&)>, const char*> cases[] = {
      {[](Program& p) { p.op(kAddI64); }, "stack underflow"},
      {[](Program& p) { p.column(kLoadI64, 0).op(kAddI64); }, "stack underflow"},
      {[](Program& p) { p.column(kLoadI64, 0).op(kNullToError); }, "stack underflow"}, // no state to pop
      {[](Program& p) { p.column(kLoadI64, 0).column(kLoadI64, 0); }, "stack ended with excess values"},
      {[](Program&) {}, "stack ended with excess values"}, // no value left
      {[](Program& p) {
         p.column(kLoadI64, 0).column(kLoadI64, 0).op(kDivI64).column(kLoadI64, 0).column(kLoadI64, 0);
         p.op(kDivI64).op(kAddI64); // two states left
       },
       "stack ended with excess values"},
      // The add pops the string copies, then finds nothing: the copies are freed on the way out.
      {[](Program& p) { p.column(kLoadI64, 0).column(kLoadString, 1).op(kCopy).op(kAddI64).op(kAddI64); },
       "stack underflow"},
  };
  for (const auto& [build, message] : cases) {
    Program p;
    build(p);
    SCOPED_TRACE(testing::Message() << p.size() << " elements, " << message);
    HarnessCase(p)
        .addColumn<std::int64_t>({1, 2, 3})
        .addStringColumn({"a", std::nullopt, "ccc"})
        .expectFault(message);
  }
}

TEST(BothEvaluators, StateOpsFailingRowsAndPlacementAfterTheLastValue) {
  ScopedStateLoads loadStates;
  ScopedOpShape<NullToErrorShape> nullToError(kNullToError);
  ScopedOpShape<DropStateShape> drop(320);
  ScopedOpShape<SelectShape<std::uint64_t>> select(1202);
  ScopedOpShape<ElementwiseOp<WorseStateFunc, rpn_eval_result_t, rpn_eval_result_t, rpn_eval_result_t>>
      combine(kCombineStates);
  const std::vector<std::function<void(Program&)>> cases = {
      [](Program& p) { p.column(kLoadI64, 0).column(kLoadI64, 1).op(kDivI64); },
      // The last null element before the last value element.
      [](Program& p) {
        p.column(kLoadI64, 0).column(kLoadI64, 1).op(kDivI64).constant(kConstI64, 3l).op(kAddI64);
      },
      // A state op after the last value element.
      [](Program& p) { p.column(kLoadI64, 0).column(kLoadStates, 2).op(kNullToError); },
      // The division is the last value and the last null element; its state is dropped afterwards, so no
      // row is null or failed and its raw quotients stand.
      [](Program& p) { p.column(kLoadI64, 0).column(kLoadI64, 1).op(kDivI64).op(320); },
      // A select of a quotient and a column, null flags turned into errors.
      [](Program& p) {
        p.column(kLoadI64, 0).column(kLoadI64, 1).op(kDivI64).column(kLoadI64, 0).column(117, 3).op(1202);
        p.column(kLoadStates, 2).op(kNullToError).op(kCombineStates);
      },
      // Null flags alone (no reportable error source).
      [](Program& p) { p.column(kLoadI64, 1).column(kLoadStates, 2); },
  };
  for (std::size_t k = 0; k < cases.size(); ++k) {
    SCOPED_TRACE(k);
    Program p;
    cases[k](p);
    HarnessCase(p)
        .addColumn<std::int64_t>({7, 7, kMin, -9, 100, 0})
        .addColumn<std::int64_t>({2, 0, -1, 4, 7, 5})
        .addColumn<std::uint8_t>({0, 0, 1, 1, 0, 0})
        .addColumn<std::uint8_t>({1, 0, 1, 0, 1, 1})
        .run();
  }
}

TEST(BothEvaluators, StringResultsAreOwnedOnceWhateverTheOpsReturn) {
  ScopedOpShape<CopyStringShape> copy(kCopy);
  ScopedOpShape<IdentityStringShape> identity(kIdentity);
  ScopedOpShape<NullToErrorShape> nullToError(kNullToError);
  ScopedStateLoads loadStates;
  std::unique_ptr<InlineBuffer<char>, void (*)(const void*) noexcept> constant(
      InlineBuffer<char>::allocate(5), &deleteString);
  std::memcpy(constant->data(), "const", 5);
  const std::vector<std::optional<std::string>> column = {"alpha", std::nullopt, "", std::string(300, 'b'),
                                                          "z"};
  const std::pair<std::vector<int>, bool> cases[] = {
      {{kIdentity}, false},                   // the column returned
      {{kCopy, kIdentity}, false},            // an intermediate copy returned (moved)
      {{kCopy, kIdentity, kIdentity}, false}, // moved twice
      {{kCopy, kCopy}, false},                // a copy of a copy
      {{kIdentity}, true},                    // the constant returned
      {{kIdentity, kIdentity}, true},
      {{kCopy}, true},
  };
  // Then rows failing or null by their state bytes: their objects are freed, their reservations given
  // back, and the call reports the worst code.
  for (const std::vector<std::uint8_t>& states :
       {std::vector<std::uint8_t>{}, std::vector<std::uint8_t>{0, 0, 1, 9, 0},
        std::vector<std::uint8_t>{0, 16, 0, 9, 0}})
    for (const auto& [ops, fromConstant] : cases) {
      SCOPED_TRACE(testing::Message()
                   << ops.size() << " ops, constant " << fromConstant << ", states " << states.size());
      Program p;
      fromConstant ? p.pointerConstant(kConstString, constant.get()) : p.column(kLoadString, 0);
      for (int op : ops)
        p.op(op);
      if (!states.empty())
        p.column(kLoadStates, 1);
      if (!states.empty() && states[1] == 16)
        p.op(kNullToError);
      std::vector<std::optional<std::string>> want;
      for (std::size_t r = 0; r < column.size(); ++r)
        want.push_back(!states.empty() && states[r] != 0 ? std::nullopt
                       : fromConstant                    ? std::optional<std::string>("const")
                                                         : column[r]);
      HarnessCase(p)
          .addStringColumn(column)
          .addColumn<std::uint8_t>(states.empty() ? std::vector<std::uint8_t>(5) : states)
          .expectStrings(want, states,
                         states.empty()    ? RPN_EVAL_OK
                         : states[1] == 16 ? RPN_EVAL_NULL_TO_ERROR
                                           : RPN_EVAL_OK);
    }
}

TEST(BothEvaluators, ObjectLoadsAndConstantsOfEveryKind) {
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
  const Kind kinds[] = {
      {kLoadString, kConstString, 28, string.get(),
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
      ASSERT_EQ(r.objects.size(), 3u);
      EXPECT_EQ(std::count(r.objects.begin(), r.objects.end(), std::nullopt), p == &null   ? 3
                                                                              : p == &load ? 1
                                                                                           : 0);
    }
  }
}
