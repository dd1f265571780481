// Comparison family: IS NOT DISTINCT FROM. Each op pops two values and one row state per value (the
// first operand's state deeper) and pushes a bool with a state: an operand error passes on (the first
// operand's first), two nulls are not distinct, a null and a value are, two present values compare by
// equality (decimals at the common scale, floats by IEEE equality). The result is never null.

#include "functions/scalar/CompareRegistration.h"
#include "functions/scalar/DecimalCompareFunctors.h"

namespace vela::cuda {

namespace {

using namespace compare_registration;

template <class T, class F = IsNotDistinctFromFunc<PlainPair>>
void addNotDistinct(std::vector<OpRegistration>& ops, const Codes& codes) {
  add<ElementwiseOpWithState<F, Bool, T, T, State, State>>(ops, codes);
}

bool registerNullSafeEquality() {
  std::vector<OpRegistration> ops;
  addNotDistinct<Bool, IsNotDistinctFromFunc<BoolPair>>(ops, {1232});
  addNotDistinct<std::int32_t>(ops, {1233, 1242, 1243});
  addNotDistinct<std::uint32_t>(ops, {1234, 1247});
  addNotDistinct<std::int64_t>(ops, {1235, 1241, 1244});
  addNotDistinct<std::uint64_t>(ops, {1236, 1248});
  addNotDistinct<Decimal64, IsNotDistinctFromDecimalFunc>(ops, {1237});
  addNotDistinct<Decimal128, IsNotDistinctFromDecimalFunc>(ops, {1238});
  addNotDistinct<float>(ops, {1239});
  addNotDistinct<double>(ops, {1240});
  addNotDistinct<std::uint8_t>(ops, {1245});
  addNotDistinct<std::uint16_t>(ops, {1246});
  addNotDistinct<fixed_array_t<16>>(ops, {1249, 1256, 1258});
  addNotDistinct<fixed_array_t<32>>(ops, {1250});
  addNotDistinct<fixed_array_t<64>>(ops, {1251});
  addNotDistinct<fixed_array_t<128>>(ops, {1252});
  addNotDistinct<fixed_array_t<256>>(ops, {1253});
  return registerOps(OpFamily::Compare, ops);
}

[[maybe_unused]] const bool kRegistered = registerNullSafeEquality();

} // namespace

} // namespace vela::cuda
