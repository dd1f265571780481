// String family, vectors: IS NULL, zero-if-null, the empty vector from any value, IF, equality and
// IS NOT DISTINCT FROM.
//   282   VECTOR_IS_NULL               vector with its state -> bool with a state (the typed IS NULL shape)
//   316   VECTOR_REMOVE_NULLABLE       vector with its state -> the vector unchanged, state 12 on every
//                                      row: zero-if-null has no zero vector to give (its count is unknown)
//   641   VECTOR_EMPTY_FROM_ANY        any value -> the empty vector
//   1227  VECTOR_IF                    a, b, bool c -> a where c is set, else b (handed on unchanged)
//   934   VECTOR_EQ                    a, b -> 1 when both are present, of equal counts and equal element
//                                      by element as floats (a NaN equals nothing, -0 equals 0); else 0
//   935   VECTOR_NE                    the negation of VECTOR_EQ (a null operand gives 1)
//   1261  VECTOR_IS_NOT_DISTINCT_FROM  a, b with their states -> bool with a state: an error state of a,
//                                      else of b, passes on; two nulls are not distinct, a null and a
//                                      vector are; two vectors compare as VECTOR_EQ. Never null.
// A null pointer with a present state counts as null in IS NOT DISTINCT FROM.

#include "functions/scalar/CastZeroFromAny.h"
#include "functions/scalar/CompareFunctors.h"
#include "functions/scalar/NullShapes.h"
#include "functions/scalar/ObjectSelect.h"
#include "functions/vector/VectorOps.h"

namespace vela::cuda {

namespace {

using namespace vecops;

struct RemoveNullableFunc {
  void operator()(EvalOutputVector out, VectorCell v, State, State& state) const {
    state = RPN_EVAL_REMOVE_NULLABLE_VECTOR;
    out.writeInput(v);
  }
};

/// The empty vector every row of VECTOR_EMPTY_FROM_ANY shares: made once, never freed, pushed as a
/// constant (borrowed by intermediate results, copied into owned vectors in the final one).
VectorCell sharedEmptyVector() {
  static const InlineBuffer<float>* const empty = InlineBuffer<float>::allocate(0);
  return empty;
}

inline bool vectorsEqual(VectorCell a, VectorCell b) {
  if (a == nullptr || b == nullptr || a->size() != b->size())
    return false;
  const float* x = a->data();
  const float* y = b->data();
  bool equal = true;
  for (std::uint64_t i = 0; i < a->size(); ++i)
    equal &= x[i] == y[i];
  return equal;
}

struct EqFunc {
  Bool operator()(VectorCell a, VectorCell b) const { return vectorsEqual(a, b) ? 1 : 0; }
};
struct NeFunc {
  Bool operator()(VectorCell a, VectorCell b) const { return vectorsEqual(a, b) ? 0 : 1; }
};

struct NotDistinctFunc {
  Bool operator()(VectorCell a, VectorCell b, State sa, State sb, State& state) const {
    if (sa == RPN_EVAL_OK && a == nullptr)
      sa = RPN_EVAL_NULL;
    if (sb == RPN_EVAL_OK && b == nullptr)
      sb = RPN_EVAL_NULL;
    return notDistinct(sa, sb, state, [&] { return vectorsEqual(a, b); });
  }
};

const OpRegistration kOps[] = {
    opEntry<null_ops::IsNullOp<VectorCell>>(282),
    opEntry<VectorResultOpWithState<RemoveNullableFunc, VectorCell, State>>(316),
    opEntry<object_ops::SharedConstantFromAnyOp<VectorCell, sharedEmptyVector>>(641),
    opEntry<ElementwiseOp<EqFunc, Bool, VectorCell, VectorCell>>(934),
    opEntry<ElementwiseOp<NeFunc, Bool, VectorCell, VectorCell>>(935),
    opEntry<VectorResultOp<object_ops::SelectInputFunc<EvalOutputVector, VectorCell>, VectorCell, VectorCell,
                           Bool>>(1227),
    opEntry<ElementwiseOpWithState<NotDistinctFunc, Bool, VectorCell, VectorCell, State, State>>(1261),
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::String, kOps);

} // namespace

} // namespace vela::cuda
