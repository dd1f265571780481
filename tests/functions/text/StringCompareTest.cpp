// Comparisons of heap strings through both evaluators: the strncmp-then-length order with NUL bytes
// inside, the values of rows with an absent operand, GREATEST and LEAST handing an input on (the pool
// must balance), IS NOT DISTINCT FROM with states, and IN, FIND and FIND_RANGE over string keys.
#include <memory>

#include "cuda/ManagedObjects.h"
#include "functions/text/StringCompare.h"
#include "tests/functions/scalar/CompareTestSupport.h"

using namespace quarry::test;
using namespace quarry::test::compare;
using vela::cuda::InlineBuffer;
using namespace std::string_literals;

namespace {

using Text = std::optional<std::string>;

// String objects owned by a test (constants and list keys of its programs).
class Strings {
public:
  const InlineBuffer<char>* make(const Text& text) {
    if (!text)
      return nullptr;
    InlineBuffer<char>* b = InlineBuffer<char>::allocate(text->size());
    if (!text->empty())
      std::memcpy(b->data(), text->data(), text->size());
    m_owned.emplace_back(b);
    return b;
  }
  std::vector<const InlineBuffer<char>*> make(const std::vector<Text>& texts) {
    std::vector<const InlineBuffer<char>*> out;
    for (const Text& t : texts)
      out.push_back(make(t));
    return out;
  }

private:
  struct Free {
    void operator()(InlineBuffer<char>* b) const { InlineBuffer<char>::deallocate(b); }
  };
  std::vector<std::unique_ptr<InlineBuffer<char>, Free>> m_owned;
};

struct OrderRow {
  Text a, b;
  int order; // of present strings: -1, 0, 1
};
const std::vector<OrderRow> kOrderRows = {
    {"abc", "abd", -1},   {"ab", "abc", -1}, {"abc", "ab", 1},    {"", "", 0},
    {"", "a", -1},        {"\x80", "a", 1},  {"same", "same", 0}, {"a\0b"s, "a\0c"s, 0},
    {"a\0b"s, "a\0"s, 1}, {"a\0"s, "a"s, 1}, {"b", "a\0z"s, 1},
};

// EQ, NE, LT, LE, GT, GE for both string kinds; the value of a row with an absent operand.
const TypedRpnOp kFirstKind[6] = {909, 910, 912, 913, 914, 915};
const TypedRpnOp kSecondKind[6] = {916, 917, 919, 920, 921, 922};
const Bool kIfAbsent[6] = {1, 0, 0, 1, 0, 1};

Bool truth(int k, int order) {
  switch (k) {
  case 0:
    return order == 0;
  case 1:
    return order != 0;
  case 2:
    return order < 0;
  case 3:
    return order <= 0;
  case 4:
    return order > 0;
  default:
    return order >= 0;
  }
}

TEST(StringCompare, StrncmpOverTheShorterLengthThenLength) {
  std::vector<Text> a, b;
  std::vector<int> orders;
  for (const OrderRow& r : kOrderRows) {
    a.push_back(r.a);
    b.push_back(r.b);
    orders.push_back(r.order);
    EXPECT_EQ(vela::cuda::StringBufferStrcmp(Strings().make(r.a), Strings().make(r.b)), r.order);
  }
  // Absent operands.
  a.insert(a.end(), {std::nullopt, "a", std::nullopt});
  b.insert(b.end(), {"a", std::nullopt, std::nullopt});
  for (int k = 0; k < 6; ++k)
    for (TypedRpnOp code : {kFirstKind[k], kSecondKind[k]}) {
      SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(code));
      std::vector<Bool> expected;
      for (int order : orders)
        expected.push_back(truth(k, order));
      expected.insert(expected.end(), 3, kIfAbsent[k]);
      Program p;
      p.column(kLoadString, 0).column(kLoadString, 1).op(code);
      HarnessCase(p).addStringColumn(a).addStringColumn(b).expectRows<Bool>(expected);
    }
}

TEST(StringCompare, ConstantOperand) {
  Strings s;
  Program p;
  p.column(kLoadString, 0).pointerConstant(kConstString, s.make(Text("m"))).op(912);
  HarnessCase(p).addStringColumn({"a", "m", "z", "", std::nullopt}).expectRows<Bool>({1, 0, 0, 1, 0});
  Program q;
  q.pointerConstant(kConstString, nullptr).column(kLoadString, 0).op(909);
  HarnessCase(q).addStringColumn({"a"}).expectRows<Bool>({1});
}

TEST(StringCompare, GreatestAndLeastHandAnInputOn) {
  const std::vector<Text> a = {"abc", "b", "same", std::nullopt, "x", "a\0b"s};
  const std::vector<Text> b = {"abd", "a", "same", "y", std::nullopt, "a\0c"s};
  for (TypedRpnOp code : {1112, 1113}) {
    Program p;
    p.column(kLoadString, 0).column(kLoadString, 1).op(code);
    HarnessCase(p).addStringColumn(a).addStringColumn(b).expectStrings(
        {"abd", "b", "same", std::nullopt, std::nullopt, "a\0c"s});
  }
  for (TypedRpnOp code : {1134, 1135}) {
    Program p;
    p.column(kLoadString, 0).column(kLoadString, 1).op(code);
    HarnessCase(p).addStringColumn(a).addStringColumn(b).expectStrings(
        {"abc", "a", "same", std::nullopt, std::nullopt, "a\0c"s});
  }
  // Nested, with constants: LEAST(GREATEST(a, 'k'), 'p'), and the result consumed by a comparison.
  Strings s;
  Program n;
  n.column(kLoadString, 0)
      .pointerConstant(kConstString, s.make(Text("k")))
      .op(1112)
      .pointerConstant(kConstString, s.make(Text("p")))
      .op(1134);
  HarnessCase(n).addStringColumn({"a", "m", "z", std::nullopt}).expectStrings({"k", "m", "p", std::nullopt});
  Program c;
  c.column(kLoadString, 0)
      .column(kLoadString, 1)
      .op(1112)
      .pointerConstant(kConstString, s.make(Text("m")))
      .op(909);
  HarnessCase(c)
      .addStringColumn({"a", "m", "z"})
      .addStringColumn({"m", "b", "c"})
      .expectRows<Bool>({1, 1, 0});
}

TEST(StringCompare, IsNotDistinctFromWithStates) {
  ScopedStateLoads loads;
  // Present strings by StringBufferStrcmp, nulls by state, errors passed on (the first operand's first).
  const std::vector<Text> a = {"x", "x", "x", "x", "x", "a\0b"s, "x", std::nullopt};
  const std::vector<Text> b = {"x", "y", "x", "x", "x", "a\0c"s, "x", "x"};
  const std::vector<State> sa = {0, 0, 1, 1, 17, 0, 2, 0};
  const std::vector<State> sb = {0, 0, 1, 0, 3, 0, 0, 0};
  const std::vector<Bool> values = {1, 0, 1, 0, 0, 1, 0, 1};
  const std::vector<State> states = {0, 0, 0, 0, 17, 0, 2, 0};
  for (TypedRpnOp code : {1254, 1257}) {
    Program p;
    p.column(kLoadString, 0).column(kLoadStates, 1).column(kLoadString, 2).column(kLoadStates, 3).op(code);
    HarnessCase(p)
        .addStringColumn(a)
        .addColumn<State>(sa)
        .addStringColumn(b)
        .addColumn<State>(sb)
        .expectRows<Bool>(values, states, worstCode(states));
  }
}

TEST(StringCompare, ListSearchesUseByteOrder) {
  Strings s;
  // Keys sorted by bytes (memcmp, then length): NUL bytes are ordinary bytes here.
  const auto keys = s.make(std::vector<Text>{"", "a", "a\0"s, "ab", "b", "\x80"});
  const std::vector<Text> values = {"", "a", "a\0"s, "ab", "b", "\x80", "aa", "a\0\0"s, "c", std::nullopt};
  for (TypedRpnOp code : {911, 918}) {
    Program p;
    p.column(kLoadString, 0).list(kListString, keys).op(code);
    HarnessCase(p).addStringColumn(values).expectRows<Bool>({1, 1, 1, 1, 1, 1, 0, 0, 0, 0});
  }
  Program f;
  f.column(kLoadString, 0).list(kListString, keys, {10, 11, 12, 13, 14, 15}).op(1912);
  HarnessCase(f).addStringColumn(values).expectRows<std::int32_t>({10, 11, 12, 13, 14, 15, -1, -1, -1, -1});
  // Ranges ["b", "d") -> 0 and ["m", "n") -> 1.
  Program r;
  r.column(kLoadString, 0)
      .list(kListString, s.make(std::vector<Text>{"b", "m"}), {0, 1})
      .list(kListString, s.make(std::vector<Text>{"d", "n"}))
      .op(1933);
  HarnessCase(r)
      .addStringColumn({"a", "b", "czzz", "d", "m", "mm", "n", std::nullopt})
      .expectRows<std::int32_t>({-1, 0, 0, -1, 1, 1, -1, -1});
}

TEST(StringCompare, AbsentKeysMatchNothing) {
  Strings s;
  const auto keys = s.make(std::vector<Text>{std::nullopt, "a"});
  EXPECT_EQ(vela::cuda::find_function(s.make(Text("a")), nullptr), -1);
  const TypedVec list{2, keys.data(), nullptr};
  EXPECT_EQ(vela::cuda::find_function(s.make(Text("a")), &list), 1);
  EXPECT_EQ(vela::cuda::find_function(s.make(Text("")), &list), -1);
  EXPECT_EQ(vela::cuda::find_function(nullptr, &list), -1);
}

} // namespace
