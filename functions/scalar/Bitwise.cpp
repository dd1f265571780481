// Math family: logical and bitwise operators, shifts, negation and absolute value of integers and
// floats.
//
// Booleans are one byte, 0 or 1, combined bytewise (three-valued logic lives in the null family).
// Shift counts are compared unsigned against the width, so a count of the width or more and any
// negative count give 0, for right shifts too. Integer negation and absolute value wrap (the minimum
// stays the minimum); on floats both touch only the sign bit, so a NaN keeps its payload. The
// exact-decimal negation and absolute value are in DecimalArithmetic.cpp.

#include <bit>
#include <cstdint>
#include <type_traits>

#include "cuda/EvalElementHandler.h"

namespace vela::cuda {

namespace {

template <class T>
using Wide = std::make_unsigned_t<T>;

// The unsigned integer holding a float's bits, and its sign bit.
template <class T>
using FloatBits = std::conditional_t<sizeof(T) == 4, std::uint32_t, std::uint64_t>;
template <class T>
inline constexpr FloatBits<T> kSignBit = FloatBits<T>(1) << (8 * sizeof(T) - 1);

struct NotBoolFunc {
  std::uint8_t operator()(std::uint8_t x) const { return static_cast<std::uint8_t>(x ^ 1u); }
};

struct BitAndFunc {
  template <class T>
  T operator()(T a, T b) const {
    return static_cast<T>(a & b);
  }
};
struct BitOrFunc {
  template <class T>
  T operator()(T a, T b) const {
    return static_cast<T>(a | b);
  }
};
struct BitXorFunc {
  template <class T>
  T operator()(T a, T b) const {
    return static_cast<T>(a ^ b);
  }
};
struct BitNotFunc {
  template <class T>
  T operator()(T x) const {
    return static_cast<T>(~x);
  }
};

// value << count, 0 once the count (taken unsigned) reaches the width.
struct ShiftLeftFunc {
  template <class T>
  T operator()(T value, int count) const {
    const auto n = static_cast<unsigned>(count);
    return n < 8 * sizeof(T) ? static_cast<T>(static_cast<Wide<T>>(value) << n) : T(0);
  }
};

// value >> count, arithmetic for signed and logical for unsigned values; 0 once the count (taken
// unsigned) reaches the width, whatever the sign of the value.
struct ShiftRightFunc {
  template <class T>
  T operator()(T value, int count) const {
    const auto n = static_cast<unsigned>(count);
    return n < 8 * sizeof(T) ? static_cast<T>(value >> n) : T(0);
  }
};

struct NegFunc {
  template <class T>
  T operator()(T x) const {
    if constexpr (std::is_floating_point_v<T>)
      return std::bit_cast<T>(std::bit_cast<FloatBits<T>>(x) ^ kSignBit<T>);
    else
      return static_cast<T>(Wide<T>(0) - static_cast<Wide<T>>(x));
  }
};

struct AbsFunc {
  template <class T>
  T operator()(T x) const {
    if constexpr (std::is_floating_point_v<T>) {
      return std::bit_cast<T>(std::bit_cast<FloatBits<T>>(x) & ~kSignBit<T>);
    } else {
      // All ones for a negative x, else 0: (x XOR m) - m is -x or x.
      const T m = static_cast<T>(x >> (8 * sizeof(T) - 1));
      return static_cast<T>(static_cast<Wide<T>>(x ^ m) - static_cast<Wide<T>>(m));
    }
  }
};

template <class F, class T>
using Unary = ElementwiseOp<F, T, T>;
template <class F, class T>
using Binary = ElementwiseOp<F, T, T, T>;
template <class F, class T>
using Shift = ElementwiseOp<F, T, T, int>;

using Bool = std::uint8_t;
using U64 = unsigned long;

const OpRegistration kOps[] = {
    opEntry<Unary<NotBoolFunc, Bool>>(803),    // NOT_BOOL
    opEntry<Binary<BitAndFunc, Bool>>(804),    // AND_BOOL
    opEntry<Binary<BitXorFunc, Bool>>(805),    // XOR_BOOL
    opEntry<Binary<BitOrFunc, Bool>>(806),     // OR_BOOL
    opEntry<Unary<BitNotFunc, int>>(807),      // BITNOT_I32
    opEntry<Unary<BitNotFunc, int>>(808),      // BITNOT_I32_2
    opEntry<Unary<BitNotFunc, long>>(810),     // BITNOT_I64
    opEntry<Unary<BitNotFunc, U64>>(811),      // BITNOT_U64
    opEntry<Binary<BitOrFunc, int>>(812),      // BITOR_I32
    opEntry<Binary<BitOrFunc, int>>(813),      // BITOR_I32_2
    opEntry<Binary<BitOrFunc, long>>(815),     // BITOR_I64
    opEntry<Binary<BitOrFunc, U64>>(816),      // BITOR_U64
    opEntry<Binary<BitXorFunc, int>>(817),     // BITXOR_I32
    opEntry<Binary<BitXorFunc, int>>(818),     // BITXOR_I32_2
    opEntry<Binary<BitXorFunc, long>>(820),    // BITXOR_I64
    opEntry<Binary<BitXorFunc, U64>>(821),     // BITXOR_U64
    opEntry<Binary<BitAndFunc, int>>(822),     // BITAND_I32
    opEntry<Binary<BitAndFunc, int>>(823),     // BITAND_I32_2
    opEntry<Binary<BitAndFunc, long>>(825),    // BITAND_I64
    opEntry<Binary<BitAndFunc, U64>>(826),     // BITAND_U64
    opEntry<Shift<ShiftLeftFunc, int>>(827),   // SHL_I32
    opEntry<Shift<ShiftLeftFunc, long>>(828),  // SHL_I64
    opEntry<Shift<ShiftLeftFunc, U64>>(829),   // SHL_U64
    opEntry<Shift<ShiftRightFunc, int>>(830),  // SHR_I32
    opEntry<Shift<ShiftRightFunc, long>>(831), // SHR_I64
    opEntry<Shift<ShiftRightFunc, U64>>(832),  // SHR_U64
    opEntry<Unary<NegFunc, int>>(833),         // NEG_I32
    opEntry<Unary<NegFunc, long>>(834),        // NEG_I64
    opEntry<Unary<NegFunc, float>>(837),       // NEG_F32
    opEntry<Unary<NegFunc, double>>(838),      // NEG_F64
    opEntry<Unary<AbsFunc, int>>(839),         // ABS_I32
    opEntry<Unary<AbsFunc, long>>(840),        // ABS_I64
    opEntry<Unary<AbsFunc, float>>(844),       // ABS_F32
    opEntry<Unary<AbsFunc, double>>(845),      // ABS_F64
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Math, kOps);

} // namespace

} // namespace vela::cuda
