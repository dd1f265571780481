#pragma once
// Decimal forms of the comparison, selection and lookup kernels. Each is built once per element from
// its EvalInfo, like AddDecimalFunc: two operand scales give a direction and a multiplier (a power of
// ten from the shared table; a scale outside 0..18 counts as factor 1), and the operand with the smaller
// scale is multiplied up so that both stand at the larger scale. The multiplication wraps in the
// operand's width (64 or 96 bits) with no overflow check, as the scale alignment of add and subtract
// does; GREATEST, LEAST and LOOKUP return their value at the larger scale.
//
// Which EvalInfo arguments hold the two scales: arguments are the op's operands in push order, list
// operands included (a list's scale is the scale of its values).
//   EQ ... GE, GREATEST, LEAST, IS NOT DISTINCT FROM   arguments 0 and 1 (the two operands)
//   IN, FIND                                          0 (the value) and 1 (the key list)
//   FIND_RANGE                                        0 (the value), 1 (lower bounds), 2 (upper bounds)
//   LOOKUP (with or without states)                   1 (the element list) and 2 (the default)

#include <cstdint>

#include "TypeManagement/ExactNumericType.h"
#include "base/Int128.h"
#include "base/ParserUtils.h"
#include "functions/scalar/CompareFunctors.h"

namespace vela::cuda {

using Decimal64 = ExactNumericType<long>;
using Decimal128 = ExactNumericType<Int96>;

/// A first and a second decimal operand brought to the larger of their two scales.
struct DecimalPair {
  std::uint64_t firstMultiplier = 1;
  std::uint64_t secondMultiplier = 1;

  DecimalPair() = default;
  DecimalPair(int firstScale, int secondScale) {
    const DecimalScaleAlignment alignment(firstScale, secondScale);
    firstMultiplier = static_cast<std::uint64_t>(alignment.firstMultiplier());
    secondMultiplier = static_cast<std::uint64_t>(alignment.secondMultiplier());
  }
  /// The scales of the first two operands (two-operand comparisons).
  explicit DecimalPair(const ParserUtils::EvalInfo& info) : DecimalPair(info.argScale(0), info.argScale(1)) {}

  template <class T>
  ExactNumericType<T> first(const ExactNumericType<T>& a) const {
    return scaled(a, firstMultiplier);
  }
  template <class T>
  ExactNumericType<T> second(const ExactNumericType<T>& b) const {
    return scaled(b, secondMultiplier);
  }
  template <class T>
  bool lt(const ExactNumericType<T>& a, const ExactNumericType<T>& b) const {
    return first(a).toInt128() < second(b).toInt128();
  }
  template <class T>
  bool gt(const ExactNumericType<T>& a, const ExactNumericType<T>& b) const {
    return first(a).toInt128() > second(b).toInt128();
  }
  template <class T>
  bool eq(const ExactNumericType<T>& a, const ExactNumericType<T>& b) const {
    return first(a).toInt128() == second(b).toInt128();
  }

private:
  template <class T>
  static ExactNumericType<T> scaled(const ExactNumericType<T>& v, std::uint64_t multiplier) {
    if (multiplier == 1)
      return v;
    return ExactNumericType<T>::fromWrapped(static_cast<uint128_t>(v.toInt128()) * multiplier);
  }
};

/// The pair of a LOOKUP: list elements (argument 1) against the default (argument 2).
struct DecimalLookupPair : DecimalPair {
  DecimalLookupPair() = default;
  DecimalLookupPair(int listScale, int defaultScale) : DecimalPair(listScale, defaultScale) {}
  explicit DecimalLookupPair(const ParserUtils::EvalInfo& info)
      : DecimalPair(info.argScale(1), info.argScale(2)) {}
};

struct EqDecimalFunc : EqFunc<DecimalPair> {
  using EqFunc::EqFunc;
};
struct NEDecimalFunc : NeFunc<DecimalPair> {
  using NeFunc::NeFunc;
};
struct LTDecimalFunc : LtFunc<DecimalPair> {
  using LtFunc::LtFunc;
};
struct LEDecimalFunc : LeFunc<DecimalPair> {
  using LeFunc::LeFunc;
};
struct GTDecimalFunc : GtFunc<DecimalPair> {
  using GtFunc::GtFunc;
};
struct GEDecimalFunc : GeFunc<DecimalPair> {
  using GeFunc::GeFunc;
};
/// The larger operand at the larger scale; a tie gives the second.
struct GreatestDecimalFunc : GreatestFunc<DecimalPair> {
  using GreatestFunc::GreatestFunc;
};
/// The smaller operand at the larger scale; a tie gives the second.
struct LeastDecimalFunc : LeastFunc<DecimalPair> {
  using LeastFunc::LeastFunc;
};
struct IsNotDistinctFromDecimalFunc : IsNotDistinctFromFunc<DecimalPair> {
  using IsNotDistinctFromFunc::IsNotDistinctFromFunc;
};
/// The value (argument 0) against keys sorted ascending at the list's scale (argument 1).
struct InDecimalFunc : InFunc<DecimalPair> {
  using InFunc::InFunc;
};
struct FindDecimalFunc : FindFunc<DecimalPair> {
  using FindFunc::FindFunc;
};
/// The value (argument 0) against the lower bounds (argument 1) and the upper bounds (argument 2).
struct FindRangeDecimalFunc : FindRangeFunc<DecimalPair> {
  FindRangeDecimalFunc(int valueScale, int lowerScale, int upperScale)
      : FindRangeFunc(DecimalPair(valueScale, lowerScale), DecimalPair(valueScale, upperScale)) {}
  explicit FindRangeDecimalFunc(const ParserUtils::EvalInfo& info)
      : FindRangeDecimalFunc(info.argScale(0), info.argScale(1), info.argScale(2)) {}
};
/// Element or default, at the larger of the list's and the default's scales.
struct LookupDecimalFunc : LookupFunc<DecimalLookupPair> {
  using LookupFunc::LookupFunc;
};

} // namespace vela::cuda
