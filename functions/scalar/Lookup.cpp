// Comparison family: LOOKUP (position, element list, default): element p of the list when
// 0 <= p < count, else the default. The forms with null states also pop the states of the position
// (deeper) and of the default: a null position or an absent list gives a null, an in-range position a
// present element, an out-of-range one the default with the default's state; an error of the position
// passes on. The decimal forms return the element or the default at the larger of the two scales.

#include "functions/scalar/CompareRegistration.h"
#include "functions/scalar/DecimalCompareFunctors.h"

namespace vela::cuda {

namespace {

using namespace compare_registration;

template <class T, class F = LookupFunc<PlainPair>>
void addLookup(std::vector<OpRegistration>& ops, const Codes& plain, const Codes& withStates) {
  add<ElementwiseOp<F, T, std::int32_t, List, T>>(ops, plain);
  add<ElementwiseOpWithState<F, T, std::int32_t, List, T, State, State>>(ops, withStates);
}

bool registerLookup() {
  std::vector<OpRegistration> ops;
  addLookup<std::int32_t>(ops, {1934, 1943, 1944}, {1955, 1964, 1965});
  addLookup<std::int64_t>(ops, {1935, 1941, 1942}, {1956, 1962, 1963});
  addLookup<std::uint64_t>(ops, {1936, 1948}, {1957, 1969});
  addLookup<Decimal64, LookupDecimalFunc>(ops, {1937}, {1958});
  addLookup<Decimal128, LookupDecimalFunc>(ops, {1938}, {1959});
  addLookup<float>(ops, {1939}, {1960});
  addLookup<double>(ops, {1940}, {1961});
  addLookup<std::uint8_t>(ops, {1945}, {1966});
  addLookup<std::uint16_t>(ops, {1946}, {1967});
  addLookup<std::uint32_t>(ops, {1947}, {1968});
  addLookup<fixed_array_t<16>>(ops, {1949}, {1970});
  addLookup<fixed_array_t<32>>(ops, {1950}, {1971});
  addLookup<fixed_array_t<64>>(ops, {1951}, {1972});
  addLookup<fixed_array_t<128>>(ops, {1952}, {1973});
  addLookup<fixed_array_t<256>>(ops, {1953}, {1974});
  return registerOps(OpFamily::Compare, ops);
}

[[maybe_unused]] const bool kRegistered = registerLookup();

} // namespace

} // namespace vela::cuda
