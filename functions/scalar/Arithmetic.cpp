// Math family: integer and floating-point arithmetic, sign and guarded division.
//
// Integers: add, subtract and multiply wrap in two's complement (computed on the unsigned type of the
// width, where wrapping is defined). Signed division reports a zero divisor (value -1, code 2) and the
// minimum divided by -1 (value the minimum, code 17); unsigned division a zero divisor (value 0, code
// 2). Modulo never fails: a zero divisor gives all bits set, the minimum modulo -1 gives 0.
// Floats: IEEE-754, every operation rounded on its own (the build forbids contraction), no row codes.
// The exact-decimal rows of the same ops are in DecimalArithmetic.cpp.

#include <cmath>
#include <cstdint>
#include <limits>
#include <type_traits>

#include "cuda/EvalElementHandler.h"
#include "functions/scalar/ArithmeticShapes.h"

namespace vela::cuda {

namespace {

template <class T>
using Wide = std::make_unsigned_t<T>;

struct AddFunc {
  template <class T>
  T operator()(T a, T b) const {
    if constexpr (std::is_integral_v<T>)
      return static_cast<T>(static_cast<Wide<T>>(a) + static_cast<Wide<T>>(b));
    else
      return a + b;
  }
};

struct SubFunc {
  template <class T>
  T operator()(T a, T b) const {
    if constexpr (std::is_integral_v<T>)
      return static_cast<T>(static_cast<Wide<T>>(a) - static_cast<Wide<T>>(b));
    else
      return a - b;
  }
};

struct MulFunc {
  template <class T>
  T operator()(T a, T b) const {
    if constexpr (std::is_integral_v<T>)
      return static_cast<T>(static_cast<Wide<T>>(a) * static_cast<Wide<T>>(b));
    else
      return a * b;
  }
};

// i64 x i32 in either order: the i32 is sign-extended, the 64-bit product wraps.
struct MulMixedFunc {
  long operator()(long a, int b) const { return MulFunc()(a, static_cast<long>(b)); }
  long operator()(int a, long b) const { return MulFunc()(static_cast<long>(a), b); }
};

// Truncated signed quotient with the two failing rows named (a zero divisor gives -1, the overflowing
// minimum / -1 gives the minimum).
struct DivSignedFunc {
  // 32-bit operands divide in double precision: both are exact doubles and the rounded quotient never
  // reaches the next integer (its error is below |a| * 2^-53, the distance to the next integer at least
  // 1 / |b|, and |a| < 2^53), so its truncation is the integer quotient. The two failing rows divide by
  // 1 instead, and every choice is a mask, not a branch: unlike the integer divide, the loop
  // vectorises. The caller stores RPN_EVAL_OK in code before the call.
  int operator()(int a, int b, rpn_eval_result_t& code) const {
    const bool zero = b == 0, overflow = (a == std::numeric_limits<int>::min()) & (b == -1);
    const int undefined = -static_cast<int>(zero | overflow);
    const int divisor = (b & ~undefined) | (1 & undefined);
    const int q = static_cast<int>(static_cast<double>(a) / static_cast<double>(divisor));
    code = static_cast<rpn_eval_result_t>(code | (zero * RPN_EVAL_DIVIDE_BY_ZERO) |
                                          (overflow * RPN_EVAL_OVERFLOW));
    return q | -static_cast<int>(zero);
  }
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
    return a / b;
  }
};

struct DivUnsignedFunc {
  unsigned long operator()(unsigned long a, unsigned long b, rpn_eval_result_t& code) const {
    if (b == 0) {
      code = RPN_EVAL_DIVIDE_BY_ZERO;
      return 0;
    }
    return a / b;
  }
};

struct DivFloatFunc {
  template <class T>
  T operator()(T a, T b) const {
    return a / b;
  }
};

// Remainder with the sign of the dividend; all bits set for a zero divisor, 0 for the minimum modulo
// -1 (whose quotient does not exist in the width).
struct ModIntFunc {
  template <class T>
  T operator()(T a, T b) const {
    if (b == 0)
      return static_cast<T>(~Wide<T>(0));
    if constexpr (std::is_signed_v<T>) {
      if (b == T(-1))
        return 0;
    }
    return a % b;
  }
};

// fmodf / fmod: exact, with the sign of the dividend.
struct ModFloatFunc {
  template <class T>
  T operator()(T a, T b) const {
    return std::fmod(a, b);
  }
};

// -1, 0 or 1. For floats both comparisons are false for NaN and for either zero, which give 0.
struct SignFunc {
  template <class T>
  std::int8_t operator()(T x) const {
    return static_cast<std::int8_t>(static_cast<int>(x > T(0)) - static_cast<int>(x < T(0)));
  }
};

// Whether a / b is defined: integers need a non-zero divisor and, when signed, not minimum / -1;
// floats are undefined only for a divisor comparing equal to zero (a NaN divisor divides).
template <class T>
inline bool divisionDefined(T a, T b) {
  if constexpr (std::is_floating_point_v<T>) {
    return b != T(0);
  } else if constexpr (std::is_signed_v<T>) {
    return b != 0 && !(a == std::numeric_limits<T>::min() && b == T(-1));
  } else {
    return b != 0;
  }
}

// a / b where defined, else the fallback c. No row code.
struct GuardedDivFunc {
  template <class T>
  T operator()(T a, T b, T c) const {
    return divisionDefined(a, b) ? a / b : c;
  }
};

// As GuardedDivFunc, and the row's state: b's when set, else a's (defined) or c's (fallback).
struct GuardedDivNullFunc {
  template <class T>
  T operator()(T a, T b, T c, rpn_eval_result_t stateA, rpn_eval_result_t stateB, rpn_eval_result_t stateC,
               rpn_eval_result_t& state) const {
    if (divisionDefined(a, b)) {
      state = stateB != RPN_EVAL_OK ? stateB : stateA;
      return a / b;
    }
    state = stateB != RPN_EVAL_OK ? stateB : stateC;
    return c;
  }
};

template <class F, class T>
using Binary = ElementwiseOp<F, T, T, T>;
template <class T>
using GuardedDiv = ElementwiseOp<GuardedDivFunc, T, T, T, T>;
template <class T>
using GuardedDivNull = GuardedDivideWithStatesOp<GuardedDivNullFunc, T, T, T, T>;
using U64 = unsigned long;

const OpRegistration kOps[] = {
    opEntry<Binary<SubFunc, int>>(1044),                                    // SUB_I32
    opEntry<Binary<SubFunc, long>>(1045),                                   // SUB_I64
    opEntry<Binary<SubFunc, U64>>(1046),                                    // SUB_U64
    opEntry<Binary<SubFunc, float>>(1049),                                  // SUB_F32
    opEntry<Binary<SubFunc, double>>(1050),                                 // SUB_F64
    opEntry<Binary<AddFunc, int>>(1053),                                    // ADD_I32
    opEntry<Binary<AddFunc, long>>(1054),                                   // ADD_I64
    opEntry<Binary<AddFunc, U64>>(1055),                                    // ADD_U64
    opEntry<Binary<AddFunc, float>>(1058),                                  // ADD_F32
    opEntry<Binary<AddFunc, double>>(1059),                                 // ADD_F64
    opEntry<Binary<MulFunc, long>>(1061),                                   // MUL_I64
    opEntry<Binary<MulFunc, U64>>(1062),                                    // MUL_U64
    opEntry<ElementwiseOp<MulMixedFunc, long, long, int>>(1065),            // MUL_I64_I32
    opEntry<ElementwiseOp<MulMixedFunc, long, int, long>>(1067),            // MUL_I32_I64
    opEntry<Binary<MulFunc, long>>(1069),                                   // MUL_I64_2
    opEntry<Binary<MulFunc, long>>(1071),                                   // MUL_I64_3
    opEntry<Binary<MulFunc, float>>(1073),                                  // MUL_F32
    opEntry<Binary<MulFunc, double>>(1074),                                 // MUL_F64
    opEntry<ElementwiseOpWithState<DivSignedFunc, int, int, int>>(1077),    // DIV_I32
    opEntry<ElementwiseOpWithState<DivSignedFunc, long, long, long>>(1078), // DIV_I64
    opEntry<ElementwiseOpWithState<DivUnsignedFunc, U64, U64, U64>>(1079),  // DIV_U64
    opEntry<Binary<DivFloatFunc, float>>(1082),                             // DIV_F32
    opEntry<Binary<DivFloatFunc, double>>(1083),                            // DIV_F64
    opEntry<Binary<ModIntFunc, int>>(1085),                                 // MOD_I32
    opEntry<Binary<ModIntFunc, long>>(1086),                                // MOD_I64
    opEntry<Binary<ModIntFunc, U64>>(1087),                                 // MOD_U64
    opEntry<Binary<ModFloatFunc, float>>(1090),                             // MOD_F32
    opEntry<Binary<ModFloatFunc, double>>(1091),                            // MOD_F64
    opEntry<ElementwiseOp<SignFunc, std::int8_t, int>>(1136),               // SIGN_I32
    opEntry<ElementwiseOp<SignFunc, std::int8_t, long>>(1137),              // SIGN_I64
    opEntry<ElementwiseOp<SignFunc, std::int8_t, U64>>(1138),               // SIGN_U64
    opEntry<ElementwiseOp<SignFunc, std::int8_t, float>>(1141),             // SIGN_F32
    opEntry<ElementwiseOp<SignFunc, std::int8_t, double>>(1142),            // SIGN_F64
    opEntry<GuardedDiv<int>>(1143),                                         // DIVZ_I32
    opEntry<GuardedDiv<long>>(1144),                                        // DIVZ_I64
    opEntry<GuardedDiv<U64>>(1145),                                         // DIVZ_U64
    opEntry<GuardedDiv<float>>(1148),                                       // DIVZ_F32
    opEntry<GuardedDiv<double>>(1149),                                      // DIVZ_F64
    opEntry<GuardedDivNull<int>>(1150),                                     // DIVZN_I32
    opEntry<GuardedDivNull<long>>(1151),                                    // DIVZN_I64
    opEntry<GuardedDivNull<U64>>(1152),                                     // DIVZN_U64
    opEntry<GuardedDivNull<float>>(1155),                                   // DIVZN_F32
    opEntry<GuardedDivNull<double>>(1156),                                  // DIVZN_F64
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Math, kOps);

} // namespace

} // namespace vela::cuda
