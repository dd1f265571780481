// Vector measures: hand-computed rows (nulls, unequal counts, empty and zero vectors, indexes at both
// ends), and the summation order bit for bit against a scalar model of the eight lanes (itself within
// tolerance of double precision), for 0 to 1,536 dimensions.
#include <cmath>
#include <functional>
#include <limits>
#include <random>

#include "tests/functions/vector/VectorTestSupport.h"

namespace quarry::test {
namespace {

constexpr TypedRpnOp kSize = 2485, kElement = 2486, kL1 = 2487, kL2 = 2488, kL2Sq = 2489, kLinf = 2490,
                     kLp = 2491, kDot = 2492, kCosine = 2493, kL1Norm = 2494, kL2Norm = 2495, kLpNorm = 2496,
                     kLinfNorm = 2497;
constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
const Vec kNull = std::nullopt;

using Pair = Row<float, Vec, Vec>;
using V = std::vector<float>;

TEST(VectorMeasures, Distances) {
  const Vec o = V{0, 0}, p = V{3, 4}, q = V{3, 4, 0}, e = V{};
  struct Case {
    Vec a, b;
    float l1, l2, l2sq, linf, dot;
  };
  // clang-format off
  const Case cases[] = {
      {o, p, 7, 5, 25, 4, 0}, {p, V{-1, 1}, 7, 5, 25, 4, 1}, {e, e, 0, 0, 0, 0, 0},
      {V{1.5f, -2}, V{0.5f, 4}, 7, std::sqrt(37.0f), 37, 6, -7.25f},
      {kNull, p, 0, 0, 0, 0, 0}, {p, kNull, 0, 0, 0, 0, 0}, // a null vector: 0, the state ops null its row
      {p, q, kNaN, kNaN, kNaN, kNaN, kNaN}, {q, p, kNaN, kNaN, kNaN, kNaN, kNaN}, // unequal counts
      {e, p, kNaN, kNaN, kNaN, kNaN, kNaN}};
  const std::pair<TypedRpnOp, float Case::*> measures[] = {
      {kL1, &Case::l1}, {kL2, &Case::l2}, {kL2Sq, &Case::l2sq}, {kLinf, &Case::linf}, {kDot, &Case::dot}};
  // clang-format on
  for (const auto& [code, field] : measures) {
    std::vector<Pair> rows;
    for (const Case& c : cases)
      rows.push_back({{c.a, c.b}, c.*field});
    expectObjectTable(code, rows);
  }
  // Lp with p = 1, 2, 3, and p = 0.5 over |3| and |4|: (sqrt 3 + 2)^2.
  const float p05 = std::pow(std::pow(3.0f, 0.5f) + std::pow(4.0f, 0.5f), 2.0f);
  // clang-format off
  expectObjectTable(kLp, std::vector<Row<float, Vec, Vec, float>>{
      {{o, p, 1.0f}, 7}, {{o, p, 2.0f}, 5}, {{p, o, 3.0f}, std::pow(91.0f, 1.0f / 3.0f)}, {{o, p, 0.5f}, p05},
      {{e, e, 2.0f}, 0}, {{kNull, p, 2.0f}, 0}, {{p, q, 2.0f}, kNaN}});
  // clang-format on
}

TEST(VectorMeasures, CosineDistance) {
  const Vec zero = V{0, 0};
  // 1 - 4 / (sqrt 2 x sqrt 8), each step in float: 0 up to rounding; 0 / 0 has no special case.
  const float same = 1.0f - 4.0f / (std::sqrt(2.0f) * std::sqrt(8.0f));
  EXPECT_NEAR(same, 0.0f, 1e-6f);
  // clang-format off
  expectObjectTable(kCosine, std::vector<Pair>{
      {{V{1, 0}, V{0, 1}}, 1}, {{V{1, 0}, V{-1, 0}}, 2}, {{V{3, 4}, V{3, 4}}, 0}, {{V{1, 1}, V{2, 2}}, same},
      {{zero, V{1, 2}}, kNaN}, {{zero, zero}, kNaN}, {{V{}, V{}}, kNaN}, {{kNull, zero}, 0}, {{zero, V{1}}, kNaN}});
  // clang-format on
}

TEST(VectorMeasures, Norms) {
  const Vec v = V{3, -4}, e = V{}, withNan = V{1, kNaN, 2};
  using One = Row<float, Vec>;
  expectObjectTable(kL1Norm, std::vector<One>{{{v}, 7}, {{e}, 0}, {{kNull}, 0}, {{withNan}, kNaN}});
  expectObjectTable(kL2Norm, std::vector<One>{{{v}, 5}, {{e}, 0}, {{kNull}, 0}});
  expectObjectTable(kLinfNorm, std::vector<One>{{{v}, 4}, {{e}, 0}, {{kNull}, 0}, {{withNan}, kNaN}});
  expectObjectTable(kLpNorm, std::vector<Row<float, Vec, float>>{
                                 {{v, 2.0f}, 5}, {{v, 1.0f}, 7}, {{e, 2.0f}, 0}, {{kNull, 2.0f}, 0}});
  // A NaN in any of the nine lanes of a 9-element vector, the tail included, is never lost.
  const V nine = {1, -9, 2, 3, 4, 5, 6, 7, 8};
  std::vector<One> linf = {{{nine}, 9}};
  for (std::size_t k = 0; k < 9; ++k) {
    V x = nine;
    x[k] = kNaN;
    linf.push_back({{x}, kNaN});
  }
  expectObjectTable(kLinfNorm, linf, false);
}

TEST(VectorMeasures, SizeAndElement) {
  const Vec v = V{1.5f, 2.5f};
  expectObjectTable(kSize,
                    std::vector<Row<std::int32_t, Vec>>{{{v}, 2}, {{V{}}, 0}, {{kNull}, 0}, {{V(9)}, 9}});
  const long kMin = std::numeric_limits<long>::min(), kMax = std::numeric_limits<long>::max();
  // Out of range: 0 with state 11; a null vector: 0 with state 0.
  // clang-format off
  expectObjectTable(kElement, std::vector<Row<float, Vec, long>>{
      {{v, 0}, 1.5f}, {{v, 1}, 2.5f}, {{v, 2}, 0, 11}, {{v, -1}, 0, 11}, {{v, kMin}, 0, 11}, {{v, kMax}, 0, 11},
      {{V{}, 0}, 0, 11}, {{kNull, 5}, 0, 0}});
  // clang-format on
}

// --- summation order ----------------------------------------------------------------------------

// The eight-lane order written out with scalars: lane k of block j takes index 8j + k; then
// s_k = lane(k + 4) + lane(k), ((s0 + s1) + (s2 + s3)), then the tail one by one.
template <class Term>
float laneModel(const std::vector<float>& a, const std::vector<float>& b, Term term) {
  const std::size_t n = a.size(), blocks = n - n % 8;
  float lane[8] = {};
  for (std::size_t i = 0; i < blocks; ++i)
    lane[i % 8] = lane[i % 8] + term(a[i], b[i]);
  float s[4];
  for (int k = 0; k < 4; ++k)
    s[k] = lane[k + 4] + lane[k];
  float total = (s[0] + s[1]) + (s[2] + s[3]);
  for (std::size_t i = blocks; i < n; ++i)
    total = total + term(a[i], b[i]);
  return total;
}
template <class Term>
double doubleModel(const std::vector<float>& a, const std::vector<float>& b, Term term) {
  double total = 0;
  for (std::size_t i = 0; i < a.size(); ++i)
    total += term(double(a[i]), double(b[i]));
  return total;
}

TEST(VectorMeasures, SummationOrderMatchesTheLaneModelBitForBit) {
  std::mt19937 gen(77);
  std::normal_distribution<float> normal(0.0f, 1.0f);
  const auto dot = [](auto x, auto y) { return x * y; };
  const auto sq = [](auto x, auto y) { return (x - y) * (x - y); };
  const auto abs = [](auto x, auto y) { return x - y < 0 ? y - x : x - y; };
  const auto self = [](auto x, auto) { return x * x; };
  const auto absSelf = [](auto x, auto) { return x < 0 ? -x : x; };
  for (std::size_t n : {0, 1, 7, 8, 9, 15, 16, 17, 100, 128, 1536}) {
    SCOPED_TRACE(n);
    VectorObjects objects;
    std::vector<float> query(n);
    for (float& x : query)
      x = normal(gen);
    // Five rows per size, one of them a large-magnitude row where the order shows most.
    std::vector<Vec> rows;
    for (int r = 0; r < 5; ++r) {
      std::vector<float> v(n);
      for (float& x : v)
        x = normal(gen) * (r == 4 ? 1e4f : 1.0f);
      rows.push_back(v);
    }
    // Each measure: the lane model, the double model, and the error bound of float summation,
    // (n + 2) x 2^-23 times the sum of the terms' magnitudes (for a root, of its square root).
    const double u = double(n + 2) * 0x1p-23;
    auto absSum = [&](const std::vector<float>& a, auto term) {
      return doubleModel(a, query, [&](double x, double y) { return std::abs(term(x, y)); });
    };
    struct Measure {
      TypedRpnOp code;
      std::function<float(const std::vector<float>&)> lane;
      std::function<double(const std::vector<float>&)> exact;
      std::function<double(const std::vector<float>&)> bound;
    };
    const std::vector<Measure> measures = {
        {kDot, [&](auto& a) { return laneModel(a, query, dot); },
         [&](auto& a) { return doubleModel(a, query, dot); }, [&](auto& a) { return u * absSum(a, dot); }},
        {kL2Sq, [&](auto& a) { return laneModel(a, query, sq); },
         [&](auto& a) { return doubleModel(a, query, sq); }, [&](auto& a) { return u * absSum(a, sq); }},
        {kL2, [&](auto& a) { return std::sqrt(laneModel(a, query, sq)); },
         [&](auto& a) { return std::sqrt(doubleModel(a, query, sq)); },
         [&](auto& a) { return u * std::sqrt(absSum(a, sq)); }},
        {kL1, [&](auto& a) { return laneModel(a, query, abs); },
         [&](auto& a) { return doubleModel(a, query, abs); }, [&](auto& a) { return u * absSum(a, abs); }},
        {kCosine,
         [&](auto& a) {
           return 1.0f - laneModel(a, query, dot) /
                             (std::sqrt(laneModel(a, a, self)) * std::sqrt(laneModel(query, query, self)));
         },
         [&](auto& a) {
           return 1.0 - doubleModel(a, query, dot) /
                            std::sqrt(doubleModel(a, a, self) * doubleModel(query, query, self));
         },
         [&](auto&) { return 8 * u; }},
    };
    for (const Measure& m : measures) {
      SCOPED_TRACE(vela::ParserUtils::get_trpn_op_name(m.code));
      std::vector<float> expected;
      for (const Vec& v : rows) {
        expected.push_back(m.lane(*v));
        if (n != 0) {
          EXPECT_NEAR(expected.back(), m.exact(*v), m.bound(*v) + 1e-30) << "lane model against double";
        }
      }
      // The query as a constant (pushed once per batch) and as a column.
      HarnessCase(
          Program().column(kLoadVector, 0).pointerConstant(kConstVector, objects.make(query)).op(m.code))
          .addVectorColumn(rows)
          .expectRows<float>(expected);
      HarnessCase(loadColumns({kLoadVector, kLoadVector}).op(m.code))
          .addVectorColumn(rows)
          .addVectorColumn(std::vector<Vec>(rows.size(), query))
          .expectRows<float>(expected);
    }
    // The norms use the same lane order.
    std::vector<float> l1, l2;
    for (const Vec& v : rows) {
      l1.push_back(laneModel(*v, *v, absSelf));
      l2.push_back(std::sqrt(laneModel(*v, *v, self)));
    }
    HarnessCase(Program().column(kLoadVector, 0).op(kL1Norm)).addVectorColumn(rows).expectRows<float>(l1);
    HarnessCase(Program().column(kLoadVector, 0).op(kL2Norm)).addVectorColumn(rows).expectRows<float>(l2);
  }
}

} // namespace
} // namespace quarry::test
