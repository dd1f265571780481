// Ownership of heap-string results, observed from outside the ops: an input returned unchanged is the
// very object (a probe op records the pointers it is given), intermediate results handed on are not
// copied (no allocation per row), a call refused by its pool leaves the pool as it found it; and the
// null forms, IF and LOOKUP of strings through both evaluators.
#include <mutex>

#include "base/RamPool.h"
#include "cuda/TypedRpnEvaluator.h"
#include "tests/functions/text/TextTestSupport.h"
#include "tests/support/PoolBalancedTest.h"

using namespace quarry::test;
using vela::cuda::rpn_eval_result_t;
using StringCell = const InlineBuffer<char>*;
using namespace std::string_literals;
using I8 = std::int8_t;

namespace {

constexpr int kProbe = 1618; // STRING_LENGTH_2, replaced by the probe for a test's scope
constexpr int kLtrim = 1648, kLower = 1628, kLeft = 1678, kSubstr = 1739, kRpad = 1708, kConcat = 1788,
              kReplace = 1993, kQuote = 1709, kIf = 1221, kLookup = 1954, kEncode = 1604, kLength = 1617,
              kSplit = 2151, kMask = 2196, kReverse = 2161;

std::mutex gSeenMutex;
std::vector<const void*> gSeen;

// Records the string pointers it pops and pushes their lengths.
struct RecordFunc {
  std::int32_t operator()(StringCell s) const {
    std::lock_guard<std::mutex> lock(gSeenMutex);
    gSeen.push_back(s);
    return s == nullptr ? -1 : static_cast<std::int32_t>(s->size());
  }
};
using ProbeShape = vela::cuda::ElementwiseOp<RecordFunc, std::int32_t, StringCell>;

// The program on the strings of `objects` (column 0) and the ints of column 1, through the entry point
// with the test's pool bound; returns the int results.
std::vector<std::int32_t> evaluate(const Program& p, const std::vector<StringCell>& objects,
                                   const std::vector<std::int32_t>& ints = {}) {
  const unsigned long rows = objects.size();
  std::vector<std::int32_t> column1 = ints.empty() ? std::vector<std::int32_t>(rows, 0) : ints;
  const unsigned char* columns[] = {reinterpret_cast<const unsigned char*>(objects.data()),
                                    reinterpret_cast<const unsigned char*>(column1.data())};
  std::vector<std::int32_t> out(rows, 0);
  std::vector<unsigned char> nulls(rows);
  const rpn_eval_result_t code =
      vela::cuda::evaluateTypedRpnHost(p.elements(), columns, 2, reinterpret_cast<unsigned char*>(out.data()),
                                       nulls.data(), nullptr, rows, 0, nullptr, nullptr);
  EXPECT_EQ(code, vela::cuda::RPN_EVAL_OK);
  return out;
}

using StringOwnership = PoolBalancedTest;

TEST_F(StringOwnership, AnInputReturnedUnchangedIsTheSameObject) {
  vela::cuda::ScopedOpShape<ProbeShape> probe(kProbe);
  StringObjects s;
  const std::vector<StringCell> texts = s.make(std::vector<Str>{"abc", "col_1", "a", "xyx", "ok"});
  const StringCell empty = s.make(Str(""));
  const StringCell zz = s.make(Str("zz")), escape = s.make(Str("escape"));
  // Each program returns column 0 unchanged in every row (the probe is added below).
  std::vector<std::pair<std::string, Program>> programs;
  auto add = [&](const char* name) -> Program& {
    return programs.emplace_back(name, Program()).second.column(kLoadString, 0);
  };
  add("ltrim").op(kLtrim);
  add("lower").op(kLower);
  add("left").constant(kConstI32, 99).op(kLeft);
  add("substr").constant(kConstI32, 1).constant(kConstI32, 5).op(kSubstr);
  add("concat").pointerConstant(kConstString, empty).op(kConcat);
  programs.emplace_back("concat'",
                        Program().pointerConstant(kConstString, empty).column(kLoadString, 0).op(kConcat));
  add("replace").pointerConstant(kConstString, zz).pointerConstant(kConstString, empty).op(kReplace);
  add("quote").op(kQuote);
  add("encode").pointerConstant(kConstString, escape).op(kEncode);
  add("split").constant(kConstI8, I8(',')).constant(kConstI32, 1).op(kSplit);
  add("mask").constant(kConstI32, 9).constant(kConstI32, 1).constant(kConstI8, I8('*')).op(kMask);
  add("if").pointerConstant(kConstString, empty).constant(kConstI8, I8(1)).op(kIf);
  for (auto& [name, p] : programs)
    p.op(kProbe);
  for (const auto& [name, p] : programs)
    for (unsigned long rows : {1ul, 5ul}) { // the row evaluator, then the column-batch evaluator
      SCOPED_TRACE(name + " over " + std::to_string(rows) + " rows");
      gSeen.clear();
      const std::vector<StringCell> in(texts.begin(), texts.begin() + rows);
      evaluate(p, in);
      EXPECT_EQ(gSeen, std::vector<const void*>(in.begin(), in.end()));
    }
  // A changed result is a new object.
  Program upper;
  upper.column(kLoadString, 0).op(kReverse).op(kProbe);
  gSeen.clear();
  const std::vector<std::int32_t> lengths = evaluate(upper, texts);
  EXPECT_EQ(lengths, (std::vector<std::int32_t>{3, 5, 1, 3, 2}));
  for (std::size_t i = 0; i < texts.size(); ++i)
    EXPECT_EQ(gSeen[i] == texts[i], i == 2 || i == 3) << i; // "a" and "xyx" are palindromes
}

TEST_F(StringOwnership, IntermediatesHandedOnAreNotCopied) {
  // LOWER makes one new string per row; LTRIM, LEFT, CONCAT with '', IF and LOOKUP hand each one on,
  // so a chain of them reserves no more per row than LOWER alone (slot arrays are per batch).
  StringObjects s;
  std::vector<StringCell> texts;
  for (int i = 0; i < 1000; ++i)
    texts.push_back(s.make(Str("ABC" + std::to_string(i))));
  const StringCell empty = s.make(Str(""));
  Program alone, chain;
  alone.column(kLoadString, 0).op(kLower).op(kLength);
  const auto list = s.make(std::vector<Str>{"p", "q"});
  // LOOKUP out of range: the default, which is the chain below.
  chain.constant(kConstI32, 7).list(kListString, list).column(kLoadString, 0).op(kLower).op(kLtrim);
  chain.constant(kConstI32, 100).op(kLeft).pointerConstant(kConstString, empty).op(kConcat);
  chain.pointerConstant(kConstString, empty).constant(kConstI8, I8(1)).op(kIf).op(kLookup).op(kLength);
  const std::uint64_t before = pool.reserveCalls();
  EXPECT_EQ(evaluate(alone, texts)[999], 6);
  const std::uint64_t lowerCalls = pool.reserveCalls() - before;
  EXPECT_EQ(evaluate(chain, texts)[999], 6);
  const std::uint64_t chainCalls = pool.reserveCalls() - before - lowerCalls;
  EXPECT_GE(lowerCalls, 1000u);
  EXPECT_LT(chainCalls, lowerCalls + 200) << "a row's string was copied";
}

TEST_F(StringOwnership, ARefusedReservationEndsTheCallCleanly) {
  // RPAD to 100000 bytes in every row passes the pool's limit part-way: in the parallel schedule, on the
  // calling thread and in the row evaluator.
  StringObjects s;
  const std::vector<StringCell> texts(1000, s.make(Str("x")));
  Program final;
  final.column(kLoadString, 0)
      .constant(kConstI32, 100000)
      .pointerConstant(kConstString, s.make(Str("ab")))
      .op(kRpad);
  Program intermediate = final;
  intermediate.op(kLength);
  const std::pair<unsigned long, std::size_t> cases[] = {
      {1000, 20'000'000}, {150, 3'000'000}, {40, 1'000'000}, {1, 50'000}};
  for (const auto& [rows, limit] : cases) {
    SCOPED_TRACE(rows);
    pool.setLimit(limit);
    expectRefusedCleanly(pool, intermediate, final,
                         std::vector<StringCell>(texts.begin(), texts.begin() + rows));
  }
  pool.setLimit(vela::RamPool::kUnlimited);
  EXPECT_EQ(evaluate(intermediate, std::vector<StringCell>(texts.begin(), texts.begin() + 3)),
            (std::vector<std::int32_t>(3, 100000)));
}

TEST(StringNullForms, IsNullRemoveNullableAndEmptyFromAny) {
  ScopedStateLoads loads;
  const std::vector<Str> values = {"a", std::nullopt, "c", "d", ""};
  // An error state passes on; like the typed IS NULL and zero-if-null ops these do not make the call
  // report it (only ops that raise errors do).
  const std::vector<State> states = {0, 1, 17, 1, 0};
  for (int code : {279, 283})
    HarnessCase(loadColumns({kLoadString, kLoadStates}).op(code))
        .addStringColumn(values)
        .addColumn(states)
        .expectRows<Bool>({0, 1, 0, 1, 0}, {0, 0, 17, 0, 0});
  for (int code : {313, 317})
    HarnessCase(Program().column(kLoadString, 0).op(kLower).column(kLoadStates, 1).op(code))
        .addStringColumn(values)
        .addColumn(states)
        .expectStrings({"a", "", std::nullopt, "", ""}, {0, 0, 17, 0, 0});
  // Any value popped (an intermediate string freed on the way), the empty string pushed; consumed as an
  // intermediate by CONCAT, which hands the column on.
  HarnessCase(Program().column(kLoadString, 0).op(kLower).op(636))
      .addStringColumn(values)
      .expectStrings({"", "", "", "", ""});
  HarnessCase(Program().column(kLoadI32, 0).op(636).column(kLoadString, 1).op(kConcat))
      .addColumn(std::vector<std::int32_t>{1, 2, 3, 4, 5})
      .addStringColumn(values)
      .expectStrings({"a", "", "c", "d", ""});
  HarnessCase(Program().constant(kConstF64, 2.5).op(636)).expectStrings({""});
  // The no-op marker leaves both stacks as they are.
  HarnessCase(Program().column(kLoadString, 0).op(1195).op(kLength))
      .addStringColumn(values)
      .expectRows<std::int32_t>({1, 0, 1, 1, 0});
}

TEST(StringNullForms, IfSelectsTheFirstOnTrue) {
  for (int code : {1221, 1222})
    expectObjectTable<Str, Str, Str, Bool>(
        code, {{{"a", "b", 1}, "a"}, {{"a", "b", 0}, "b"}, {{"", "b", 2}, ""}, {{"x\0"s, "", 0}, ""}});
}

TEST(StringNullForms, LookupWithAndWithoutStates) {
  ScopedStateLoads loads;
  StringObjects s;
  const auto list = s.make(std::vector<Str>{"zero", "one", ""});
  const std::vector<std::int32_t> positions = {0, 1, 2, 3, -1, 1, 5, 0};
  const std::vector<Str> fallbacks = {"d0", "d1", "d2", "d3", "d4", "d5", "d6", "d7"};
  HarnessCase(Program().column(kLoadI32, 0).list(kListString, list).column(kLoadString, 1).op(kLookup))
      .addColumn(positions)
      .addStringColumn(fallbacks)
      .expectStrings({"zero", "one", "", "d3", "d4", "one", "d6", "zero"});
  const StringCell k = s.make(Str("k"));
  HarnessCase(
      Program().column(kLoadI32, 0).list(kListString, list).pointerConstant(kConstString, k).op(kLookup))
      .addColumn(positions)
      .expectStrings({"zero", "one", "", "k", "k", "one", "k", "zero"});
  // States: position (deeper), then default. A null position gives null; an error of the position
  // passes on; out of range takes the default's state.
  const std::vector<State> positionStates = {0, 0, 0, 0, 0, 1, 0, 9};
  const std::vector<State> fallbackStates = {0, 1, 0, 1, 0, 0, 17, 0};
  Program p;
  p.column(kLoadI32, 0).column(kLoadStates, 1).list(kListString, list);
  p.column(kLoadString, 2).column(kLoadStates, 3).op(1975);
  HarnessCase(p)
      .addColumn(positions)
      .addColumn(positionStates)
      .addStringColumn(fallbacks)
      .addColumn(fallbackStates)
      .expectStrings({"zero", "one", "", std::nullopt, "d4", std::nullopt, std::nullopt, std::nullopt},
                     {0, 0, 0, 1, 0, 1, 17, 9}, rpn_eval_result_t(17));
}

} // namespace
