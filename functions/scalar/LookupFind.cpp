// Comparison family: FIND and FIND_RANGE over constant lists.
//   FIND (value, keys): the keys are sorted ascending and carry an i32 result each; the membership
//   search of IN finds the key equal to the value and gives its result, else -1.
//   FIND_RANGE (value, lower bounds, upper bounds): the lower bounds are sorted ascending and carry a
//   range index each; the last lower bound not above the value names range r, and the result is r when
//   the value is below upper bound r (ranges are half-open), else -1.

#include "functions/scalar/CompareRegistration.h"
#include "functions/scalar/DecimalCompareFunctors.h"

namespace vela::cuda {

namespace {

using namespace compare_registration;

template <class T, class Find = FindFunc<PlainPair>, class FindRange = FindRangeFunc<PlainPair>>
void addFind(std::vector<OpRegistration>& ops, const Codes& find, const Codes& findRange) {
  add<ElementwiseOp<Find, std::int32_t, T, List>>(ops, find);
  add<ElementwiseOp<FindRange, std::int32_t, T, List, List>>(ops, findRange);
}

bool registerFind() {
  std::vector<OpRegistration> ops;
  addFind<std::int32_t>(ops, {1892, 1901, 1902}, {1913, 1922, 1923});
  addFind<std::int64_t>(ops, {1893, 1899, 1900}, {1914, 1920, 1921});
  addFind<std::uint64_t>(ops, {1894, 1906}, {1915, 1927});
  addFind<Decimal64, FindDecimalFunc, FindRangeDecimalFunc>(ops, {1895}, {1916});
  addFind<Decimal128, FindDecimalFunc, FindRangeDecimalFunc>(ops, {1896}, {1917});
  addFind<float>(ops, {1897}, {1918});
  addFind<double>(ops, {1898}, {1919});
  addFind<std::uint8_t>(ops, {1903}, {1924});
  addFind<std::uint16_t>(ops, {1904}, {1925});
  addFind<std::uint32_t>(ops, {1905}, {1926});
  addFind<fixed_array_t<16>>(ops, {1907}, {1928});
  addFind<fixed_array_t<32>>(ops, {1908}, {1929});
  addFind<fixed_array_t<64>>(ops, {1909}, {1930});
  addFind<fixed_array_t<128>>(ops, {1910}, {1931});
  addFind<fixed_array_t<256>>(ops, {1911}, {1932});
  return registerOps(OpFamily::Compare, ops);
}

[[maybe_unused]] const bool kRegistered = registerFind();

} // namespace

} // namespace vela::cuda
