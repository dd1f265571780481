// String family, vectors: size, element access, norms, distances, dot product and cosine distance.
//   2485  VECTOR_SIZE                 vector -> i32     the count's low 32 bits; 0 for null
//   2486  VECTOR_ELEMENT              vector, i64 -> f32 with a state: 0-based; outside 0..n-1 the value
//                                     0 and state 11; a null vector 0 with state 0
//   2494, 2495, 2497  VECTOR_L1_NORM, _L2_NORM, _LINF_NORM    vector -> f32
//   2496  VECTOR_LP_NORM              vector, f32 p -> f32
//   2487-2490  VECTOR_L1_DISTANCE, _L2_DISTANCE, _L2_SQUARED_DISTANCE, _LINF_DISTANCE   a, b -> f32
//   2491  VECTOR_LP_DISTANCE          a, b, f32 p -> f32
//   2492  VECTOR_DOT_PRODUCT          a, b -> f32
//   2493  VECTOR_COSINE_DISTANCE      a, b -> f32
// Null operands give 0; vectors of unequal counts give NaN (see VectorOps.h). The sums follow the lane
// order of VectorOps.h; the Lp forms add their powf terms in index order.

#include "functions/vector/VectorOps.h"

namespace vela::cuda {

namespace {

using namespace vecops;

struct SizeFunc {
  std::int32_t operator()(VectorCell v) const {
    return v == nullptr ? 0 : static_cast<std::int32_t>(v->size());
  }
};

struct ElementFunc {
  float operator()(VectorCell v, long index, State& state) const {
    if (v == nullptr)
      return 0.0f;
    if (index < 0 || static_cast<std::uint64_t>(index) >= v->size()) {
      state = RPN_EVAL_VECTOR_INDEX;
      return 0.0f;
    }
    return v->data()[index];
  }
};

// --- norms --------------------------------------------------------------------------------------

template <class Term, bool Root>
struct NormFunc {
  float operator()(VectorCell v) const {
    if (v == nullptr)
      return 0.0f;
    const float sum = laneSum<Term>(v->data(), v->data(), v->size());
    return Root ? std::sqrt(sum) : sum;
  }
};

struct LinfNormFunc {
  float operator()(VectorCell v) const { return v == nullptr ? 0.0f : maxAbs(v->data(), nullptr, v->size()); }
};

struct LpNormFunc {
  float operator()(VectorCell v, float p) const {
    return v == nullptr ? 0.0f : lpMeasure(v->data(), nullptr, v->size(), p);
  }
};

// --- two-vector measures ------------------------------------------------------------------------

/// Runs `measure(a, b, n)` on two present vectors of equal counts; 0 when either is null, NaN when the
/// counts differ.
template <class Measure>
inline float pairMeasure(VectorCell a, VectorCell b, Measure&& measure) {
  if (a == nullptr || b == nullptr)
    return 0.0f;
  if (a->size() != b->size())
    return kNaN;
  return measure(a->data(), b->data(), static_cast<std::size_t>(a->size()));
}

template <class Term, bool Root>
struct SumDistanceFunc {
  float operator()(VectorCell a, VectorCell b) const {
    return pairMeasure(a, b, [](const float* x, const float* y, std::size_t n) {
      const float sum = laneSum<Term>(x, y, n);
      return Root ? std::sqrt(sum) : sum;
    });
  }
};

struct LinfDistanceFunc {
  float operator()(VectorCell a, VectorCell b) const {
    return pairMeasure(a, b, [](const float* x, const float* y, std::size_t n) { return maxAbs(x, y, n); });
  }
};

struct LpDistanceFunc {
  float operator()(VectorCell a, VectorCell b, float p) const {
    return pairMeasure(a, b,
                       [p](const float* x, const float* y, std::size_t n) { return lpMeasure(x, y, n, p); });
  }
};

struct CosineDistanceFunc {
  float operator()(VectorCell a, VectorCell b) const {
    return pairMeasure(a, b, [](const float* x, const float* y, std::size_t n) {
      return cosineDistance(cosineSums(x, y, n));
    });
  }
};

template <class F, class... In>
using Measure = ElementwiseOp<F, float, In...>;

const OpRegistration kOps[] = {
    opEntry<ElementwiseOp<SizeFunc, std::int32_t, VectorCell>>(2485),
    opEntry<ElementwiseOpWithState<ElementFunc, float, VectorCell, long>>(2486),
    opEntry<Measure<SumDistanceFunc<AbsDiffTerm, false>, VectorCell, VectorCell>>(2487),
    opEntry<Measure<SumDistanceFunc<SquaredDiffTerm, true>, VectorCell, VectorCell>>(2488),
    opEntry<Measure<SumDistanceFunc<SquaredDiffTerm, false>, VectorCell, VectorCell>>(2489),
    opEntry<Measure<LinfDistanceFunc, VectorCell, VectorCell>>(2490),
    opEntry<Measure<LpDistanceFunc, VectorCell, VectorCell, float>>(2491),
    opEntry<Measure<SumDistanceFunc<DotTerm, false>, VectorCell, VectorCell>>(2492),
    opEntry<Measure<CosineDistanceFunc, VectorCell, VectorCell>>(2493),
    opEntry<Measure<NormFunc<AbsTerm, false>, VectorCell>>(2494),
    opEntry<Measure<NormFunc<SquareTerm, true>, VectorCell>>(2495),
    opEntry<Measure<LpNormFunc, VectorCell, float>>(2496),
    opEntry<Measure<LinfNormFunc, VectorCell>>(2497),
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::String, kOps);

} // namespace

} // namespace vela::cuda
