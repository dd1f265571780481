// Vector values: element-wise arithmetic, concatenation, text casts both ways, comparisons, the null
// forms and hashes through both evaluators, with hand-computed rows; and ownership: inputs handed on
// unchanged, chains of intermediate vectors, and a pool that refuses a reservation, all pool-balanced.
#include <cstring>
#include <limits>

#include "base/MurmurHash3.h"
#include "base/RamPool.h"
#include "tests/functions/vector/VectorTestSupport.h"
#include "tests/support/PoolBalancedTest.h"

namespace quarry::test {
namespace {

constexpr TypedRpnOp kIsNull = 282, kRemoveNullable = 316, kToString = 488, kEmptyFromAny = 641,
                     kFromChar4 = 770, kFromString = 777, kEq = 934, kNe = 935, kSubtract = 1052, kAdd = 1060,
                     kScale = 1075, kScale2 = 1076, kDivide = 1084, kIf = 1227, kNotDistinct = 1261,
                     kHash = 2220, kHash128Seeded = 2246, kHash128 = 2274, kL2 = 2488, kSize = 2485,
                     kConcat = 2498, kL2Norm = 2495, kFromStringDim = 2499, kStringHash = 2217,
                     kCastStringToVector = 777;
const Vec kNull = std::nullopt;
using VectorCell = const InlineBuffer<float>*;
const float kInf = std::numeric_limits<float>::infinity();
const float kNaN = std::numeric_limits<float>::quiet_NaN();
using V = std::vector<float>;

// clang-format off
TEST(VectorValues, ElementWise) {
  using Pair = Row<Vec, Vec, Vec>;
  const Vec a = V{1, 2.5f, -3}, b = V{0.5f, -2.5f, 4};
  expectObjectTable(kAdd, std::vector<Pair>{{{a, b}, V{1.5f, 0, 1}}, {{V{}, V{}}, V{}}, {{a, kNull}, kNull}, {{kNull, b}, kNull},
                                            {{a, V{1, 2}}, kNull}}); // unequal counts
  expectObjectTable(kSubtract, std::vector<Pair>{{{a, b}, V{0.5f, 5, -7}}, {{V{1e38f}, V{-3e38f}}, V{kInf}}, {{V{1}, V{}}, kNull}});
  expectObjectTable(kScale, std::vector<Row<Vec, Vec, float>>{{{a, 2.0f}, V{2, 5, -6}}, {{a, 0.0f}, V{0, 0, -0.0f}},
                                                              {{kNull, 2.0f}, kNull}, {{V{}, 3.0f}, V{}}});
  expectObjectTable(kScale2, std::vector<Row<Vec, float, Vec>>{{{-2.0f, a}, V{-2, -5, 6}}, {{2.0f, kNull}, kNull}});
  expectObjectTable(kDivide, std::vector<Row<Vec, Vec, float>>{{{a, 2.0f}, V{0.5f, 1.25f, -1.5f}}, {{V{1, -1}, 0.0f}, V{kInf, -kInf}}});
  expectObjectTable(kConcat, std::vector<Pair>{{{V{1}, V{2, 3}}, V{1, 2, 3}}, {{a, V{}}, a}, {{V{}, b}, b}, // handed on unchanged
                                               {{V{}, V{}}, V{}}, {{a, kNull}, kNull}, {{kNull, V{}}, kNull}});
}

TEST(VectorValues, TextCasts) {
  // Refused: a missing bracket, an empty element, nan, an exponent overflow, quotes without a dimension.
  expectObjectTable(kFromString, std::vector<Row<Vec, Str>>{
      {{"[1, 2.5]"}, V{1, 2.5f}}, {{" [ ] "}, V{}}, {{"[0.1,-0]"}, V{0.1f, -0.0f}}, {{"[1, 2"}, kNull, 1},
      {{"[1,,2]"}, kNull, 1}, {{"[nan]"}, kNull, 1}, {{"[1e39]"}, kNull, 1}, {{"'[1]'"}, kNull, 1},
      {{std::nullopt}, kNull, 1}});
  // With a dimension (0: any): quotes around the brackets are read; an unmatched one or another count is not.
  expectObjectTable(kFromStringDim, std::vector<Row<Vec, Str, std::int32_t>>{
      {{"[1,2,3]", 3}, V{1, 2, 3}}, {{"[1,2,3]", 0}, V{1, 2, 3}}, {{"'[1,2]'", 2}, V{1, 2}}, {{"\"[1, 2]\"", 0}, V{1, 2}},
      {{"'[1,2]", 2}, kNull, 1}, {{"[1,2,3]", 2}, kNull, 1}, {{"[1,2,3]", -3}, kNull, 1}, {{std::nullopt, 1}, kNull, 1}});
  // clang-format on
  // Every charN width of the cast (char4 ... char256), the text cut to fit.
  forEachWidth([]<std::size_t N>() {
    if constexpr (N >= 4) {
      const TypedRpnOp code = kFromChar4 + widthIndex(N) - 2;
      const std::string full = "[1,-2]";
      std::vector<Row<Vec, Text<N>>> rows = {
          {{txt<N>("[]")}, V{}}, {{txt<N>("")}, kNull, 1}, {{txt<N>("[x]")}, kNull, 1}};
      if (N >= full.size())
        rows.push_back({{txt<N>(full)}, V{1, -2}});
      expectObjectTable(code, rows);
    }
  });
  // clang-format off
  expectObjectTable(kToString, std::vector<Row<Str, Vec>>{
      {{V{1, 2.5f, -3}}, "[1,2.5,-3]"}, {{V{}}, "[]"}, {{V{0.1f, 1e20f, -0.0f}}, "[0.1,1e+20,-0]"},
      {{V{kNaN, -kInf}}, "[nan,-inf]"}, {{kNull}, std::nullopt}});
  // clang-format on
  // A 1,536-element vector prints past the stack buffer and reads back bit for bit.
  V big(1536);
  for (std::size_t i = 0; i < big.size(); ++i)
    big[i] = -1.0f / float(i + 3) * 1e-20f;
  HarnessCase(Program().column(kLoadVector, 0).op(kToString).op(kCastStringToVector))
      .addVectorColumn({big, V{}})
      .expectStrings({bytesOf(big), bytesOf(V{})});
}

TEST(VectorValues, Comparisons) {
  const Vec a = V{1, 2}, nanV = V{1, kNaN};
  using Pair = Row<Bool, Vec, Vec>;
  // clang-format off
  const std::vector<Pair> eq = {{{a, V{1, 2}}, 1}, {{a, V{1, 3}}, 0}, {{a, V{1, 2, 0}}, 0}, {{V{}, V{}}, 1},
                                {{V{0.0f}, V{-0.0f}}, 1}, {{nanV, nanV}, 0}, {{a, kNull}, 0}, {{kNull, kNull}, 0}};
  // clang-format on
  expectObjectTable(kEq, eq);
  std::vector<Pair> ne;
  for (const Pair& r : eq)
    ne.push_back({r.in, Bool(1 - r.out)});
  expectObjectTable(kNe, ne);

  ScopedStateLoads loads;
  // Errors pass on (the first operand's first), two nulls are not distinct, values compare as EQ; a
  // null pointer with a present state is a null.
  const std::vector<Vec> x = {a, a, a, a, a, a, kNull, nanV};
  const std::vector<Vec> y = {V{1, 2}, V{2, 1}, a, a, a, a, a, nanV};
  const std::vector<State> sx = {0, 0, 1, 1, 17, 0, 0, 0}, sy = {0, 0, 1, 0, 3, 12, 1, 0};
  const std::vector<State> states = {0, 0, 0, 0, 17, 12, 0, 0};
  HarnessCase(loadColumns({kLoadVector, kLoadStates, kLoadVector, kLoadStates}).op(kNotDistinct))
      .addVectorColumn(x)
      .addColumn(sx)
      .addVectorColumn(y)
      .addColumn(sy)
      .expectRows<Bool>({1, 0, 1, 0, 0, 0, 1, 0}, states, worstCode(states));
}

TEST(VectorValues, NullForms) {
  ScopedStateLoads loads;
  const std::vector<Vec> v = {V{1}, kNull, V{2}, V{}};
  const std::vector<State> s = {0, 1, 11, 0};
  // IS NULL: true where the state is 1, then present; errors pass on. The null-handling ops only pass
  // states on, so a call made of them alone returns 0 whatever its rows hold.
  HarnessCase(loadColumns({kLoadVector, kLoadStates}).op(kIsNull))
      .addVectorColumn(v)
      .addColumn(s)
      .expectRows<Bool>({0, 1, 0, 0}, {0, 0, 11, 0}, vela::cuda::RPN_EVAL_OK);
  // Remove-nullable has no zero vector: state 12 on every row, whatever its state was.
  HarnessCase(loadColumns({kLoadVector, kLoadStates}).op(kRemoveNullable))
      .addVectorColumn(v)
      .addColumn(s)
      .expectStrings({std::nullopt, std::nullopt, std::nullopt, std::nullopt}, {12, 12, 12, 12},
                     vela::cuda::RPN_EVAL_OK);
  // The empty vector from a value of any type (here a vector and an i32), as a final and an
  // intermediate result.
  HarnessCase(Program().column(kLoadVector, 0).op(kEmptyFromAny))
      .addVectorColumn(v)
      .expectStrings({"", "", "", ""});
  HarnessCase(Program().column(kLoadI32, 0).op(kEmptyFromAny).op(kSize))
      .addColumn(std::vector<int>{5, 6})
      .expectRows<std::int32_t>({0, 0});
  // IF selects its first operand on true, a null included.
  expectObjectTable(kIf, std::vector<Row<Vec, Vec, Vec, Bool>>{{{V{1}, V{2, 3}, 1}, V{1}},
                                                               {{V{1}, V{2, 3}, 0}, V{2, 3}},
                                                               {{kNull, V{2}, 7}, kNull}});
}

// The hashes are MurmurHash3 of the element bytes: the same as the string hash of a string holding
// those bytes, and as the published entry point with its 32-bit seed.
TEST(VectorValues, HashesAreOfTheElementBytes) {
  const std::vector<Vec> v = {V{}, V{1.5f}, V{1, 2, 3, 4, 5}, V{-0.0f}, V{0.0f}};
  std::vector<Str> asText;
  std::vector<long> seeds = {0, 42, -1, 10, 10};
  for (const Vec& x : v)
    asText.push_back(bytesOf(x));
  const HarnessResult strings = HarnessCase(loadColumns({kLoadString, kLoadI64}).op(kStringHash))
                                    .addStringColumn(asText)
                                    .addColumn(seeds)
                                    .run();
  std::vector<long> expected;
  for (unsigned long r = 0; r < v.size(); ++r)
    expected.push_back(strings.value<long>(r));
  HarnessCase(loadColumns({kLoadVector, kLoadI64}).op(kHash))
      .addVectorColumn(v)
      .addColumn(seeds)
      .expectRows<long>(expected);
  EXPECT_NE(expected[3], expected[4]) << "-0 and 0 differ in their bytes";

  std::vector<fixed_array_t<16>> fixed, seeded;
  const vela::uint128_t seed = (vela::uint128_t(7) << 64) | 9;
  for (const Vec& x : v) {
    fixed_array_t<16> h;
    vela::MurmurHash3_x64_128(x->data(), int(x->size() * 4), 10, h.bytes);
    fixed.push_back(h);
    vela::MurmurHash3_x64_128_seeded(x->data(), x->size() * 4, 9, 7, h.bytes);
    seeded.push_back(h);
  }
  HarnessCase(Program().column(kLoadVector, 0).op(kHash128)).addVectorColumn(v).expectRows(fixed);
  HarnessCase(Program().column(kLoadVector, 0).constant(kConstU128, u128(seed)).op(kHash128Seeded))
      .addVectorColumn(v)
      .expectRows(seeded);
}

// --- ownership ------------------------------------------------------------------------------------

using VectorOwnership = PoolBalancedTest;

TEST_F(VectorOwnership, ChainsOfIntermediateVectorsAreFreedOnce) {
  VectorObjects objects;
  const Vec q = V{1, 1, 1};
  // L2(scale(concat(IF(c, a, b), []), 2), q): IF and the concatenation hand their inputs on, the scale
  // makes a new vector, the distance consumes it.
  const std::vector<Vec> a = {V{1, 2}, V{0, 0}, kNull, V{}};
  const std::vector<Vec> b = {V{3}, V{4, 5, 6}, V{6}, V{7, 8}};
  HarnessCase(loadColumns({kLoadVector, kLoadVector, kLoadBool})
                  .op(kIf)
                  .column(kLoadVector, 3)
                  .op(kConcat)
                  .constant(kConstF32, 2.0f)
                  .op(kScale)
                  .pointerConstant(kConstVector, objects.make(q))
                  .op(kL2))
      .addVectorColumn(a)
      .addVectorColumn(b)
      .addColumn(std::vector<Bool>{1, 0, 1, 0})
      .addVectorColumn({V{1}, V{}, V{1, 2}, V{1}})
      .expectRows<float>({std::sqrt(11.0f), std::sqrt(251.0f), 0, std::sqrt(395.0f)});
  // Constants handed on as the final result become owned copies; as intermediates, borrowed.
  HarnessCase(Program()
                  .pointerConstant(kConstVector, objects.make(V{1, 2}))
                  .pointerConstant(kConstVector, objects.make(V{}))
                  .op(kConcat))
      .rows(3)
      .expectStrings({bytesOf(V{1, 2}), bytesOf(V{1, 2}), bytesOf(V{1, 2})});
  HarnessCase(Program()
                  .pointerConstant(kConstVector, objects.make(V{1, 2}))
                  .column(kLoadVector, 0)
                  .column(kLoadBool, 1)
                  .op(kIf)
                  .op(kToString))
      .addVectorColumn({V{9}, V{8}})
      .addColumn(std::vector<Bool>{1, 0})
      .expectStrings({"[1,2]", "[8]"});
}

// ADD of 8 KB vectors in every row passes the pool's limit part-way.
TEST_F(VectorOwnership, ARefusedReservationEndsTheCallCleanly) {
  VectorObjects objects;
  const VectorCell big = objects.make(V(2000, 1.0f));
  Program final;
  final.column(kLoadVector, 0).column(kLoadVector, 0).op(kAdd);
  Program intermediate = final;
  intermediate.op(kL2Norm);
  for (const auto& [rows, limit] : {std::pair{1000ul, 2'000'000ul}, {150ul, 300'000ul}, {1ul, 4'000ul}}) {
    SCOPED_TRACE(rows);
    pool.setLimit(limit);
    expectRefusedCleanly(pool, intermediate, final, std::vector<VectorCell>(rows, big));
  }
  pool.setLimit(vela::RamPool::kUnlimited);
}

} // namespace
} // namespace quarry::test
