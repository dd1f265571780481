// Math family: integer arithmetic. Add, subtract and multiply wrap in two's complement; signed division
// reports division by zero (value -1, code 2) and the minimum divided by -1 (value the minimum, code 17).

#include <limits>
#include <type_traits>

#include "cuda/EvalElementHandler.h"

namespace vela::cuda {

namespace {

// a + b modulo 2^width: computed on the unsigned type, where wrapping is defined.
struct AddWrapFunc {
  template <class T>
  T operator()(T a, T b) const {
    using U = std::make_unsigned_t<T>;
    return static_cast<T>(static_cast<U>(a) + static_cast<U>(b));
  }
};

// Truncated signed quotient with the two failing rows named.
struct DivSignedFunc {
  template <class T>
  T operator()(T a, T b, rpn_eval_result_t& code) const {
    if (b == 0) {
      code = RPN_EVAL_DIVIDE_BY_ZERO;
      return T(-1);
    }
    if (a == std::numeric_limits<T>::min() && b == T(-1)) {
      code = RPN_EVAL_OVERFLOW;
      return a;
    }
    code = RPN_EVAL_OK;
    return a / b;
  }
};

const OpRegistration kOps[] = {
    opEntry<ElementwiseOp<AddWrapFunc, long, long, long>>(1054),            // ADD_I64
    opEntry<ElementwiseOpWithState<DivSignedFunc, long, long, long>>(1078), // DIV_I64
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Math, kOps);

} // namespace

} // namespace vela::cuda
