#pragma once
// The row kernels of IF (selection between two values by a bool condition).

#include <cstdint>

#include "TypeManagement/ExactNumericType.h"
#include "base/Int128.h"
#include "base/ParserUtils.h"
#include "functions/scalar/NullShapes.h"

namespace vela::cuda {

/// c ? second : first, for cells of any type (the bits are moved, never interpreted: an f64 -0.0 or
/// NaN payload is selected as it is).
template <class T>
struct IfFunc {
  T operator()(null_ops::CellParam<T> first, null_ops::CellParam<T> second, std::uint8_t c) const {
    if constexpr (std::is_integral_v<T>) {
      // As masks of the cell's width: the ?: form keeps the loop scalar (see selectBits).
      using U = std::make_unsigned_t<T>;
      return static_cast<T>(null_ops::selectBits<U>(null_ops::maskIf<U>(c != 0), static_cast<U>(second),
                                                    static_cast<U>(first)));
    } else {
      return c != 0 ? second : first;
    }
  }
};

/// IF over exact decimals of two scales (codes 1204, 1205): the selected value is brought to the larger
/// of the two operand scales. Each operand has a direction and a multiplier: the operand whose scale
/// gives the smaller factor (factorForScale, 1 outside 0..18) has direction -1 and the multiplier
/// fmax / fmin, and is multiplied when selected, wrapping in its width like every decimal rescaling;
/// the other has direction 0 and is copied.
struct IfRevDecimalFunc {
  struct Operand {
    int direction = 0;
    std::int64_t multiplier = 1;
  };
  Operand first, second;

  IfRevDecimalFunc(int firstScale, int secondScale) {
    const std::int64_t f1 = factorForScale(firstScale), f2 = factorForScale(secondScale);
    if (f1 < f2)
      first = {-1, f2 / f1};
    else if (f2 < f1)
      second = {-1, f1 / f2};
  }
  explicit IfRevDecimalFunc(const ParserUtils::EvalInfo& info)
      : IfRevDecimalFunc(info.argScale(0), info.argScale(1)) {}

  template <class T>
  ExactNumericType<T> operator()(ExactNumericType<T> a, ExactNumericType<T> b, std::uint8_t c) const {
    return c != 0 ? rescaled(b, second) : rescaled(a, first);
  }

private:
  static ExactNumericType<long> rescaled(ExactNumericType<long> v, const Operand& o) {
    if (o.direction == 0)
      return v;
    return ExactNumericType<long>(
        static_cast<long>(static_cast<std::uint64_t>(v.value) * static_cast<std::uint64_t>(o.multiplier)));
  }
  static ExactNumericType<Int96> rescaled(ExactNumericType<Int96> v, const Operand& o) {
    if (o.direction == 0)
      return v;
    return ExactNumericType<Int96>::fromWrapped(static_cast<uint128_t>(v.toInt128()) *
                                                static_cast<uint128_t>(o.multiplier));
  }
};

} // namespace vela::cuda
