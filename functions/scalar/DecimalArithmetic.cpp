// Math family: exact-decimal arithmetic, sign changes and sign. The row semantics are the decimal
// functors (DecimalFunctors.h), built once per element from its EvalInfo (operand and result scales);
// this file only ties each op code to its functor and its storage types.
//
// Storage: dec64 cells are 8 bytes, dec128 cells 12 packed bytes. Multiplication and division always
// produce dec128 (a dec64 product or quotient may need more than 64 bits) and saturate at the 96-bit
// range; add, subtract, modulo and the sign changes wrap in the operands' width.

#include <cstdint>

#include "cuda/EvalElementHandler.h"
#include "functions/scalar/ArithmeticShapes.h"
#include "functions/scalar/DecimalFunctors.h"

namespace vela::cuda {

namespace {

using D64 = Decimal64;
using D128 = Decimal128;

// dec64 add and subtract with the scaled operand fixed by the type and, for the common scale gaps of
// 0 to 4 digits, the multiplier a constant: vectors have no 64-bit multiply, and a constant one becomes
// a few shifts and adds where a run-time one takes three 32-bit multiplies and their combination.
// Same values as AddDecimalFunc / SubDecimalFunc, row for row.
template <int Sign, bool ScaleFirst, int Digits> // Digits < 0: the multiplier is read at run time
struct AlignedSum64Func {
  std::uint64_t multiplier;

  explicit AlignedSum64Func(const ParserUtils::EvalInfo& info)
      : multiplier(static_cast<std::uint64_t>(
            DecimalScaleAlignment(info.argScale(0), info.argScale(1)).multiplier)) {}

  static constexpr std::uint64_t constantMultiplier() {
    std::uint64_t m = 1;
    for (int i = 0; i < Digits; ++i)
      m *= 10;
    return m;
  }

  D64 operator()(D64 a, D64 b) const {
    const auto ua = static_cast<std::uint64_t>(a.value), ub = static_cast<std::uint64_t>(b.value);
    const std::uint64_t scaled = (ScaleFirst ? ua : ub) * (Digits < 0 ? multiplier : constantMultiplier());
    const std::uint64_t other = ScaleFirst ? ub : ua;
    if constexpr (Sign > 0)
      return D64(static_cast<long>(scaled + other));
    else
      return D64(static_cast<long>(ScaleFirst ? scaled - other : other - scaled));
  }
};

/// ADD_DEC64 / SUB_DEC64: picks the form of AlignedSum64Func for the element's operand scales.
template <int Sign>
struct AlignedSum64Op {
  template <class E>
  static void eval(E& e) {
    const ParserUtils::EvalInfo& info = e.element().info;
    const DecimalScaleAlignment alignment(info.argScale(0), info.argScale(1));
    if (alignment.direction < 0)
      pick<true>(e, alignment.multiplier);
    else
      pick<false>(e, alignment.multiplier);
  }
  template <bool First, class E>
  static void pick(E& e, std::int64_t multiplier) {
    switch (multiplier) {
    case 1:
      return run<false, 0>(e); // no scaling: either side is "scaled" by 1
    case 10:
      return run<First, 1>(e);
    case 100:
      return run<First, 2>(e);
    case 1000:
      return run<First, 3>(e);
    case 10000:
      return run<First, 4>(e);
    default:
      return run<First, -1>(e);
    }
  }
  template <bool First, int Digits, class E>
  static void run(E& e) {
    ElementwiseOp<AlignedSum64Func<Sign, First, Digits>, D64, D64, D64>::eval(e);
  }
};

// dec64 * dec64 at the sum of the operand scales (the usual result scale): the 128-bit product is
// exact, so only the saturation to 96 bits remains. A kernel of its own: sharing a loop with the rounding
// division of the other scales made the compiler spill this path's registers on every row. Same values
// as MultDecimalFunc with factor 1.
struct ExactProduct64Func {
  D128 operator()(D64 a, D64 b) const { return D128::saturate(static_cast<int128_t>(a.value) * b.value); }
};

/// MUL_DEC64: the exact-product kernel when the element's result scale is the sum of its operand
/// scales (or the general functor's factor is 1 for another reason), else the general one.
struct Multiply64Op {
  template <class E>
  static void eval(E& e) {
    if (MultDecimalFunc(e.element().info).factor == 1)
      ElementwiseOp<ExactProduct64Func, D128, D64, D64>::eval(e);
    else
      ElementwiseOp<MultDecimalFunc, D128, D64, D64>::eval(e);
  }
};

const OpRegistration kOps[] = {
    opEntry<ElementwiseOp<NegDecimalFunc, D64, D64>>(835),                              // NEG_DEC64
    opEntry<ElementwiseOp<NegDecimalFunc, D128, D128>>(836),                            // NEG_DEC128
    opEntry<ElementwiseOp<AbsDecimalFunc, D64, D64>>(842),                              // ABS_DEC64
    opEntry<ElementwiseOp<AbsDecimalFunc, D128, D128>>(843),                            // ABS_DEC128
    opEntry<AlignedSum64Op<-1>>(1047),                                                  // SUB_DEC64
    opEntry<ElementwiseOp<SubDecimalFunc, D128, D128, D128>>(1048),                     // SUB_DEC128
    opEntry<AlignedSum64Op<1>>(1056),                                                   // ADD_DEC64
    opEntry<ElementwiseOp<AddDecimalFunc, D128, D128, D128>>(1057),                     // ADD_DEC128
    opEntry<Multiply64Op>(1063),                                                        // MUL_DEC64
    opEntry<ElementwiseOp<MultDecimalFunc, D128, D128, D128>>(1064),                    // MUL_DEC128
    opEntry<ElementwiseOp<MultDecimalIntFunc, D128, D128, int>>(1066),                  // MUL_DEC128_I32
    opEntry<ElementwiseOp<MultDecimalIntFunc, D128, int, D128>>(1068),                  // MUL_I32_DEC128
    opEntry<ElementwiseOp<MultDecimalIntFunc, D128, D128, long>>(1070),                 // MUL_DEC128_I64
    opEntry<ElementwiseOp<MultDecimalIntFunc, D128, long, D128>>(1072),                 // MUL_I64_DEC128
    opEntry<ElementwiseOpWithState<DivDecimalFunc, D128, D64, D64>>(1080),              // DIV_DEC64
    opEntry<ElementwiseOpWithState<DivDecimalFunc, D128, D128, D128>>(1081),            // DIV_DEC128
    opEntry<ElementwiseOp<ModDecimalFunc, D64, D64, D64>>(1088),                        // MOD_DEC64
    opEntry<ElementwiseOp<ModDecimalFunc, D128, D128, D128>>(1089),                     // MOD_DEC128
    opEntry<ElementwiseOp<SignDecimalFunc, std::int8_t, D64>>(1139),                    // SIGN_DEC64
    opEntry<ElementwiseOp<SignDecimalFunc, std::int8_t, D128>>(1140),                   // SIGN_DEC128
    opEntry<ElementwiseOp<DivZDecimalFunc, D128, D64, D64, D128>>(1146),                // DIVZ_DEC64
    opEntry<ElementwiseOp<DivZDecimalFunc, D128, D128, D128, D128>>(1147),              // DIVZ_DEC128
    opEntry<GuardedDivideWithStatesOp<DivZNDecimalFunc, D128, D64, D64, D128>>(1153),   // DIVZN_DEC64
    opEntry<GuardedDivideWithStatesOp<DivZNDecimalFunc, D128, D128, D128, D128>>(1154), // DIVZN_DEC128
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Math, kOps);

} // namespace

} // namespace vela::cuda
