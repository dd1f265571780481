#pragma once
// Registration helpers of the number casts: which functor a cast from In to Out uses, whether it
// reports a row state, and the shapes of the casts fused with a column load. A cast is then one line:
// stackCast<Out, In>(code) or loadCast<Out, In>(code).

#include <cstdint>
#include <type_traits>

#include "cuda/EvalElementHandler.h"
#include "functions/scalar/CastFunctors.h"

namespace vela::cuda::cast_registration {

using Bool = std::uint8_t;
using I8 = std::int8_t;
using I16 = std::int16_t;
using I32 = int;
using U32 = std::uint32_t;
using I64 = long;
using U64 = unsigned long;
using F32 = float;
using F64 = double;
using D64 = ExactNumericType<long>;
using D128 = ExactNumericType<Int96>;
using U128 = fixed_array_t<16>;

/// The functor of the cast In -> Out and whether it pushes a row state.
template <class Out, class In>
struct CastOf {
  static constexpr bool kDecimalIn = cast_detail::isDecimal<In>;
  static constexpr bool kFloatIn = std::is_floating_point_v<In>;
  static constexpr bool kDecimalOut = cast_detail::isDecimal<Out>;

  static auto pick() {
    if constexpr (std::is_same_v<Out, Bool>)
      return CastToBoolFunc{};
    else if constexpr (std::is_floating_point_v<Out>) {
      if constexpr (kDecimalIn)
        return CastDecimalToNumFunc<Out>(0);
      else
        return CastToFloatFunc<Out>{};
    } else if constexpr (kDecimalOut) {
      if constexpr (kDecimalIn)
        return CastDecimalToDecimalFunc(0, 0, 0);
      else
        return CastNumToDecimalFunc<Out>(0, 0);
    } else if constexpr (kDecimalIn)
      return CastDecimalToNumFunc<Out>(0);
    else if constexpr (kFloatIn)
      return CastFloatToIntegerFunc<Out>{};
    else
      return CastIntegerFunc<Out>{};
  }
  using Func = decltype(pick());

  /// Casts to a decimal report a state from floats and 64-bit integers (whose row states are always
  /// 0), and from dec128 to dec64; every other cast never fails and pushes none.
  static constexpr bool kWithState =
      kDecimalOut && (kFloatIn || std::is_same_v<In, I64> || std::is_same_v<In, U64> ||
                      (std::is_same_v<In, D128> && std::is_same_v<Out, D64>));
};

/// A cast of the value on top of the stack.
template <class Out, class In>
constexpr OpRegistration stackCast(TypedRpnOp code) {
  using C = CastOf<Out, In>;
  if constexpr (C::kWithState)
    return opEntry<ElementwiseOpWithState<typename C::Func, Out, In>>(code);
  else
    return opEntry<ElementwiseOp<typename C::Func, Out, In>>(code);
}

/// A cast to a decimal whose precision and scale are i8 operands pushed after the value; pushes a state.
template <class Out, class In>
using RunTimeDecimalCast = ElementwiseOpWithState<CastToDecimalRunTimeFunc<Out>, Out, In, I8, I8>;

/// Reads the element's column as In and pushes f(x) as Out, in one pass.
template <class F, class Out, class In>
struct LoadCastOp {
  template <class E>
  static void eval(E& e) {
    e.template evalVarFunc<In, Out>(makeFunctor<F>(e));
  }
};

/// As LoadCastOp for a functor reporting a row state; pushes the states, then the values.
template <class F, class Out, class In>
struct LoadCastOpWithState {
  template <class E>
  static void eval(E& e) {
    e.template evalVarFuncResult<In, Out>(makeFunctor<F>(e));
  }
};

/// A cast fused with the load of a column of In (the source scale of a decimal column is the element's
/// argument scale, as for the stack cast).
template <class Out, class In>
constexpr OpRegistration loadCast(TypedRpnOp code) {
  using C = CastOf<Out, In>;
  if constexpr (C::kWithState)
    return opEntry<LoadCastOpWithState<typename C::Func, Out, In>>(code);
  else
    return opEntry<LoadCastOp<typename C::Func, Out, In>>(code);
}

} // namespace vela::cuda::cast_registration
