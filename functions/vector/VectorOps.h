#pragma once
// Shared pieces of the vector functions (the functions/vector files of the string family): the cell
// type, the summation kernels of the measures and the op shapes of vector results.
//
// Values. A vector cell points at an InlineBuffer<float> (element count, then the floats); a null
// pointer is SQL NULL. Measures of a null vector are 0 (0.0 for floats): the row's nullness is the
// business of the program's state ops. Element-wise results of a null operand are null.
//
// Unequal counts. The measures and the element-wise ops have no row state (their catalogue rows push
// none), so they cannot report "vector size mismatch". A row whose two vectors differ in count gets
// the float NaN from the measures (distance, dot product, cosine distance) and a null vector from the
// element-wise ops: never a value computed from part of the data, and b is never read past its end.
// Comparisons (EQ, NE, IS NOT DISTINCT FROM) answer "unequal" for such rows.
//
// Summation order of the distances and the dot product, and of every other sum here, so that the
// results are the same bit for bit in both evaluators and on any machine: over the first n - n mod 8
// elements one 8-lane float accumulator is kept (lanes 0-3 take the elements whose index mod 8 is 0-3,
// lanes 4-7 those with 4-7); then s_k = lane(k + 4) + lane(k), the block total is
// (s0 + s1) + (s2 + s3), and the last n mod 8 terms are added one by one in index order. Every
// operation rounds to float; nothing is fused (the build has -ffp-contract=off). The accumulator is
// one AVX2 register; a constant vector operand (the query of a nearest-neighbour search) is the same
// pointer in every row and stays in the first-level cache, so each row streams only its own vector.

#include <immintrin.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <tuple>
#include <type_traits>

#include "cuda/VectorEvalObjects.h"

namespace vela::cuda::vecops {

using VectorCell = const InlineBuffer<float>*;
using Bool = std::uint8_t;
using State = rpn_eval_result_t;

inline constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

// --- summation ----------------------------------------------------------------------------------

/// The block total of an accumulator: s_k = lane(k + 4) + lane(k), then (s0 + s1) + (s2 + s3).
inline float blockTotal(__m256 acc) {
  const __m128 s = _mm_add_ps(_mm256_extractf128_ps(acc, 1), _mm256_castps256_ps128(acc));
  alignas(16) float lanes[4];
  _mm_store_ps(lanes, s);
  return (lanes[0] + lanes[1]) + (lanes[2] + lanes[3]);
}

inline __m256 absPs(__m256 x) {
  return _mm256_andnot_ps(_mm256_set1_ps(-0.0f), x);
}

// Terms of the sums: a vector form over 8 lanes and a scalar form, computing the same float
// operations.
struct DotTerm {
  static __m256 vec(__m256 a, __m256 b) { return _mm256_mul_ps(a, b); }
  static float one(float a, float b) { return a * b; }
};
struct SquaredDiffTerm {
  static __m256 vec(__m256 a, __m256 b) {
    const __m256 d = _mm256_sub_ps(a, b);
    return _mm256_mul_ps(d, d);
  }
  static float one(float a, float b) {
    const float d = a - b;
    return d * d;
  }
};
struct AbsDiffTerm {
  static __m256 vec(__m256 a, __m256 b) { return absPs(_mm256_sub_ps(a, b)); }
  static float one(float a, float b) { return std::fabs(a - b); }
};
// Unary terms ignore b (the kernels pass a for it).
struct SquareTerm {
  static __m256 vec(__m256 a, __m256) { return _mm256_mul_ps(a, a); }
  static float one(float a, float) { return a * a; }
};
struct AbsTerm {
  static __m256 vec(__m256 a, __m256) { return absPs(a); }
  static float one(float a, float) { return std::fabs(a); }
};

/// Sum over i < n of Term(a[i], b[i]) in the lane order above.
template <class Term>
inline float laneSum(const float* a, const float* b, std::size_t n) {
  const std::size_t blocks = n - n % 8;
  __m256 acc = _mm256_setzero_ps();
  std::size_t i = 0;
  for (; i < blocks; i += 8)
    acc = _mm256_add_ps(acc, Term::vec(_mm256_loadu_ps(a + i), _mm256_loadu_ps(b + i)));
  float total = blockTotal(acc);
  for (; i < n; ++i)
    total += Term::one(a[i], b[i]);
  return total;
}

/// The three sums of the cosine distance, a.b, a.a and b.b, each in the lane order above, in one pass.
struct CosineSums {
  float dot, aa, bb;
};
inline CosineSums cosineSums(const float* a, const float* b, std::size_t n) {
  const std::size_t blocks = n - n % 8;
  __m256 dot = _mm256_setzero_ps(), aa = dot, bb = dot;
  std::size_t i = 0;
  for (; i < blocks; i += 8) {
    const __m256 x = _mm256_loadu_ps(a + i), y = _mm256_loadu_ps(b + i);
    dot = _mm256_add_ps(dot, _mm256_mul_ps(x, y));
    aa = _mm256_add_ps(aa, _mm256_mul_ps(x, x));
    bb = _mm256_add_ps(bb, _mm256_mul_ps(y, y));
  }
  CosineSums s{blockTotal(dot), blockTotal(aa), blockTotal(bb)};
  for (; i < n; ++i) {
    s.dot += a[i] * b[i];
    s.aa += a[i] * a[i];
    s.bb += b[i] * b[i];
  }
  return s;
}

/// 1 - dot / (sqrt(aa) x sqrt(bb)); a zero norm gives the IEEE quotient (infinity or NaN).
inline float cosineDistance(const CosineSums& s) {
  return 1.0f - s.dot / (std::sqrt(s.aa) * std::sqrt(s.bb));
}

/// Largest |a[i] - b[i]| (|a[i]| when b is null), 0 for n = 0; NaN when any term is NaN (the maximum
/// instructions would drop a NaN depending on its lane, so NaNs are tracked on their own).
inline float maxAbs(const float* a, const float* b, std::size_t n) {
  const std::size_t blocks = n - n % 8;
  __m256 m = _mm256_setzero_ps(), nan = m;
  std::size_t i = 0;
  for (; i < blocks; i += 8) {
    __m256 x = _mm256_loadu_ps(a + i);
    if (b != nullptr)
      x = _mm256_sub_ps(x, _mm256_loadu_ps(b + i));
    x = absPs(x);
    nan = _mm256_or_ps(nan, _mm256_cmp_ps(x, x, _CMP_UNORD_Q));
    m = _mm256_max_ps(m, x);
  }
  alignas(32) float lanes[8];
  _mm256_store_ps(lanes, m);
  bool anyNan = _mm256_movemask_ps(nan) != 0;
  float best = 0.0f;
  for (float v : lanes)
    best = v > best ? v : best;
  for (; i < n; ++i) {
    const float x = std::fabs(b != nullptr ? a[i] - b[i] : a[i]);
    anyNan |= x != x;
    best = x > best ? x : best;
  }
  return anyNan ? kNaN : best;
}

/// (sum over i < n of powf(|a[i] - b[i]|, p))^(1 / p) (|a[i]| when b is null), the terms added in index
/// order from 0; the exponent of the root is 1.0 / p in double precision, rounded to float.
inline float lpMeasure(const float* a, const float* b, std::size_t n, float p) {
  float sum = 0.0f;
  for (std::size_t i = 0; i < n; ++i)
    sum += std::pow(std::fabs(b != nullptr ? a[i] - b[i] : a[i]), p);
  return std::pow(sum, static_cast<float>(1.0 / static_cast<double>(p)));
}

// --- shapes of vector results -------------------------------------------------------------------

namespace detail {
template <class E, class In, class Out>
void settle(E& e, In& in, Out& out) {
  if constexpr (std::is_same_v<typename In::value_type, VectorCell>)
    e.checkObjectMove(in, out);
}
} // namespace detail

/// Pops In... (push order, the last on top), runs F, a functor `void(EvalOutputVector, In...)`, over
/// the rows and pushes its vectors; every vector operand is then checked for having been returned
/// unchanged (checkObjectMove), which settles who owns it.
template <class F, class... In>
struct VectorResultOp {
  template <class E>
  static void eval(E& e) {
    auto inputs = eval_handler_detail::popOperands<E, In...>(e);
    auto out = e.template prepareOutput<EvalOutputVector>();
    const F f = makeFunctor<F>(e);
    std::apply([&](auto&... in) { e.runKernel(f, out, in...); }, inputs);
    std::apply([&](auto&... in) { (detail::settle(e, in, out), ...); }, inputs);
    e.push(std::move(out));
  }
};

/// As VectorResultOp for a functor that also writes the row's state, `void(EvalOutputVector, In...,
/// State&)`; pushes the states, then the vectors.
template <class F, class... In>
struct VectorResultOpWithState {
  template <class E>
  static void eval(E& e) {
    auto inputs = eval_handler_detail::popOperands<E, In...>(e);
    auto states = e.template prepareOutput<State>();
    auto out = e.template prepareOutput<EvalOutputVector>();
    const F f = makeFunctor<F>(e);
    std::apply([&](auto&... in) { e.runKernelWithState(f, out, states, in...); }, inputs);
    std::apply([&](auto&... in) { (detail::settle(e, in, out), ...); }, inputs);
    e.push(std::move(states));
    e.push(std::move(out));
  }
};

} // namespace vela::cuda::vecops
