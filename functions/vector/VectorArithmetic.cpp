// String family, vectors: element-wise arithmetic and concatenation, each result a new vector charged
// to the query's pool (a concatenation with an empty vector hands the other operand on unchanged).
//   1060  VECTOR_ADD         a, b -> a[i] + b[i]
//   1052  VECTOR_SUBTRACT    a, b -> a[i] - b[i]
//   1075  VECTOR_SCALE       vector, f32 s -> x[i] * s      (the scalar on top, as in `v * 2`)
//   1076  VECTOR_SCALE_2     f32 s, vector -> s * x[i]      (the same product, for `2 * v`)
//   1084  VECTOR_DIVIDE      vector, f32 s -> x[i] / s      (IEEE division: a zero scalar gives
//                                                          infinities and NaNs, there being no row state)
//   2498  VECTOR_CONCAT      a, b -> the elements of a, then those of b
// A null operand gives a null vector; so do two vectors of unequal counts in ADD and SUBTRACT (see
// VectorOps.h). The scalar of the scale ops is a plain float cell; its nullness, if any, is carried by
// the program's state ops.

#include <cstring>

#include "functions/vector/VectorOps.h"

namespace vela::cuda {

namespace {

using namespace vecops;

template <class Op>
struct PairwiseFunc {
  void operator()(EvalOutputVector out, VectorCell a, VectorCell b) const {
    if (a == nullptr || b == nullptr || a->size() != b->size())
      return out.writeNull();
    const std::uint64_t n = a->size();
    ManagedInlineBufferPtr<float> result(n);
    const float* __restrict x = a->data();
    const float* __restrict y = b->data();
    float* __restrict z = result->data();
    for (std::uint64_t i = 0; i < n; ++i)
      z[i] = Op{}(x[i], y[i]);
    out.write(result);
  }
};

struct Plus {
  float operator()(float x, float y) const { return x + y; }
};
struct Minus {
  float operator()(float x, float y) const { return x - y; }
};
struct Times {
  float operator()(float x, float y) const { return x * y; }
};
struct Over {
  float operator()(float x, float y) const { return x / y; }
};

template <class Op>
inline void scaled(EvalOutputVector& out, VectorCell v, float s) {
  if (v == nullptr)
    return out.writeNull();
  const std::uint64_t n = v->size();
  ManagedInlineBufferPtr<float> result(n);
  const float* __restrict x = v->data();
  float* __restrict z = result->data();
  for (std::uint64_t i = 0; i < n; ++i)
    z[i] = Op{}(x[i], s);
  out.write(result);
}

template <class Op>
struct ScaleFunc {
  void operator()(EvalOutputVector out, VectorCell v, float s) const { scaled<Op>(out, v, s); }
};
struct ScaleFirstFunc {
  void operator()(EvalOutputVector out, float s, VectorCell v) const { scaled<Times>(out, v, s); }
};

struct ConcatFunc {
  void operator()(EvalOutputVector out, VectorCell a, VectorCell b) const {
    if (a == nullptr || b == nullptr)
      return out.writeNull();
    if (b->empty())
      return out.writeInput(a);
    if (a->empty())
      return out.writeInput(b);
    const std::uint64_t n = a->size(), m = b->size();
    ManagedInlineBufferPtr<float> result(n + m);
    std::memcpy(result->data(), a->data(), n * sizeof(float));
    std::memcpy(result->data() + n, b->data(), m * sizeof(float));
    out.write(result);
  }
};

const OpRegistration kOps[] = {
    opEntry<VectorResultOp<PairwiseFunc<Minus>, VectorCell, VectorCell>>(1052),
    opEntry<VectorResultOp<PairwiseFunc<Plus>, VectorCell, VectorCell>>(1060),
    opEntry<VectorResultOp<ScaleFunc<Times>, VectorCell, float>>(1075),
    opEntry<VectorResultOp<ScaleFirstFunc, float, VectorCell>>(1076),
    opEntry<VectorResultOp<ScaleFunc<Over>, VectorCell, float>>(1084),
    opEntry<VectorResultOp<ConcatFunc, VectorCell, VectorCell>>(2498),
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::String, kOps);

} // namespace

} // namespace vela::cuda
