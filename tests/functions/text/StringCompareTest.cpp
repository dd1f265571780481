// Comparisons of heap strings through both evaluators: the strncmp-then-length order with NUL bytes
// inside, the values of rows with an absent operand, GREATEST and LEAST handing an input on (the pool
// must balance), IS NOT DISTINCT FROM with states, and IN, FIND and FIND_RANGE over string keys.
#include <memory>

#include "cuda/ManagedObjects.h"
#include "functions/text/StringCompare.h"
#include "tests/functions/text/TextTestSupport.h"

using namespace quarry::test;
using vela::cuda::InlineBuffer;
using namespace std::string_literals;

namespace {

TEST(StringCompare, StrncmpOverTheShorterLengthThenLength) {
  // Pairs and their order; then rows with an absent operand, whose value is EQ, LE and GE true.
  const std::vector<std::tuple<Str, Str, int>> pairs = {
      {"abc", "abd", -1},    {"ab", "abc", -1},    {"", "", 0},       {"\x80", "a", 1},
      {"a\0b"s, "a\0c"s, 0}, {"a\0b"s, "a\0"s, 1}, {"a\0"s, "a"s, 1}, {"b", "a\0z"s, 1}};
  std::vector<Str> a, b;
  for (const auto& [x, y, order] : pairs) {
    a.push_back(x);
    b.push_back(y);
    EXPECT_EQ(vela::cuda::StringBufferStrcmp(StringObjects().make(x), StringObjects().make(y)), order);
  }
  a.insert(a.end(), {std::nullopt, "a", std::nullopt});
  b.insert(b.end(), {"a", std::nullopt, std::nullopt});
  // EQ, NE, LT, LE, GT, GE of both string kinds.
  const TypedRpnOp codes[6][2] = {{909, 916}, {910, 917}, {912, 919}, {913, 920}, {914, 921}, {915, 922}};
  for (int k = 0; k < 6; ++k)
    for (TypedRpnOp code : codes[k]) {
      SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(code));
      std::vector<Bool> expected;
      for (const auto& [x, y, order] : pairs) {
        const bool truth[6] = {order == 0, order != 0, order<0, order <= 0, order> 0, order >= 0};
        expected.push_back(truth[k]);
      }
      expected.insert(expected.end(), 3, Bool(k == 0 || k == 3 || k == 5));
      HarnessCase(loadColumns({kLoadString, kLoadString}).op(code))
          .addStringColumn(a)
          .addStringColumn(b)
          .expectRows<Bool>(expected);
    }
  // A constant operand, and an absent constant.
  StringObjects s;
  HarnessCase(Program().column(kLoadString, 0).pointerConstant(kConstString, s.make(Str("m"))).op(912))
      .addStringColumn({"a", "m", "z", "", std::nullopt})
      .expectRows<Bool>({1, 0, 0, 1, 0});
  HarnessCase(Program().pointerConstant(kConstString, nullptr).column(kLoadString, 0).op(909))
      .addStringColumn({"a"})
      .expectRows<Bool>({1});
}

TEST(StringCompare, GreatestAndLeastHandAnInputOn) {
  const std::vector<Str> a = {"abc", "b", "same", std::nullopt, "x", "a\0b"s};
  const std::vector<Str> b = {"abd", "a", "same", "y", std::nullopt, "a\0c"s};
  // GREATEST, then LEAST, of both string kinds; an absent operand gives an absent result.
  const std::vector<Str> greatest = {"abd", "b", "same", std::nullopt, std::nullopt, "a\0c"s},
                         least = {"abc", "a", "same", std::nullopt, std::nullopt, "a\0c"s};
  for (TypedRpnOp code : {1112, 1113, 1134, 1135})
    HarnessCase(loadColumns({kLoadString, kLoadString}).op(code))
        .addStringColumn(a)
        .addStringColumn(b)
        .expectStrings(code < 1134 ? greatest : least);
  // Nested, with constants: LEAST(GREATEST(a, 'k'), 'p'), and the result consumed by a comparison.
  StringObjects s;
  HarnessCase(Program()
                  .column(kLoadString, 0)
                  .pointerConstant(kConstString, s.make(Str("k")))
                  .op(1112)
                  .pointerConstant(kConstString, s.make(Str("p")))
                  .op(1134))
      .addStringColumn({"a", "m", "z", std::nullopt})
      .expectStrings({"k", "m", "p", std::nullopt});
  HarnessCase(loadColumns({kLoadString, kLoadString})
                  .op(1112)
                  .pointerConstant(kConstString, s.make(Str("m")))
                  .op(909))
      .addStringColumn({"a", "m", "z"})
      .addStringColumn({"m", "b", "c"})
      .expectRows<Bool>({1, 1, 0});
}

TEST(StringCompare, IsNotDistinctFromWithStates) {
  ScopedStateLoads loads;
  // Present strings by StringBufferStrcmp, nulls by state, errors passed on (the first operand's first).
  const std::vector<Str> a = {"x", "x", "x", "x", "x", "a\0b"s, "x", std::nullopt};
  const std::vector<Str> b = {"x", "y", "x", "x", "x", "a\0c"s, "x", "x"};
  const std::vector<State> sa = {0, 0, 1, 1, 17, 0, 2, 0}, sb = {0, 0, 1, 0, 3, 0, 0, 0};
  const std::vector<State> states = {0, 0, 0, 0, 17, 0, 2, 0};
  for (TypedRpnOp code : {1254, 1257})
    HarnessCase(loadColumns({kLoadString, kLoadStates, kLoadString, kLoadStates}).op(code))
        .addStringColumn(a)
        .addColumn(sa)
        .addStringColumn(b)
        .addColumn(sb)
        .expectRows<Bool>({1, 0, 1, 0, 0, 1, 0, 1}, states, worstCode(states));
}

TEST(StringCompare, ListSearchesUseByteOrderAndAbsentKeysMatchNothing) {
  StringObjects s;
  // Keys sorted by bytes (memcmp, then length): NUL bytes are ordinary bytes here.
  const auto keys = s.make(std::vector<Str>{"", "a", "a\0"s, "ab", "b", "\x80"});
  const std::vector<Str> values = {"", "a", "a\0"s, "ab", "b", "\x80", "aa", "a\0\0"s, "c", std::nullopt};
  for (TypedRpnOp code : {911, 918})
    HarnessCase(Program().column(kLoadString, 0).list(kListString, keys).op(code))
        .addStringColumn(values)
        .expectRows<Bool>({1, 1, 1, 1, 1, 1, 0, 0, 0, 0});
  HarnessCase(Program().column(kLoadString, 0).list(kListString, keys, {10, 11, 12, 13, 14, 15}).op(1912))
      .addStringColumn(values)
      .expectRows<std::int32_t>({10, 11, 12, 13, 14, 15, -1, -1, -1, -1});
  // Ranges ["b", "d") -> 0 and ["m", "n") -> 1.
  HarnessCase(Program()
                  .column(kLoadString, 0)
                  .list(kListString, s.make(std::vector<Str>{"b", "m"}), {0, 1})
                  .list(kListString, s.make(std::vector<Str>{"d", "n"}))
                  .op(1933))
      .addStringColumn({"a", "b", "czzz", "d", "m", "mm", "n", std::nullopt})
      .expectRows<std::int32_t>({-1, 0, 0, -1, 1, 1, -1, -1});
  const auto withAbsent = s.make(std::vector<Str>{std::nullopt, "a"});
  const TypedVec list{2, withAbsent.data(), nullptr};
  EXPECT_EQ(vela::cuda::find_function(s.make(Str("a")), nullptr), -1);
  EXPECT_EQ(vela::cuda::find_function(s.make(Str("a")), &list), 1);
  EXPECT_EQ(vela::cuda::find_function(s.make(Str("")), &list), -1);
  EXPECT_EQ(vela::cuda::find_function(nullptr, &list), -1);
}

} // namespace
