// Comparison family: GREATEST and LEAST of two operands of one storage type. GREATEST gives a > b ? a : b
// and LEAST a < b ? a : b by the comparison order of the type, so ties and a NaN in either float operand
// give the second operand; the decimal forms return the chosen operand at the larger of the two scales.

#include "functions/scalar/CompareRegistration.h"
#include "functions/scalar/DecimalCompareFunctors.h"

namespace vela::cuda {

namespace {

using namespace compare_registration;

template <class T, class Greatest = GreatestFunc<PlainPair>, class Least = LeastFunc<PlainPair>>
void addGreatestLeast(std::vector<OpRegistration>& ops, const Codes& greatest, const Codes& least) {
  add<ElementwiseOp<Greatest, T, T, T>>(ops, greatest);
  add<ElementwiseOp<Least, T, T, T>>(ops, least);
}

bool registerGreatestLeast() {
  std::vector<OpRegistration> ops;
  addGreatestLeast<std::int32_t>(ops, {1092, 1101, 1102}, {1114, 1123, 1124});
  addGreatestLeast<std::int64_t>(ops, {1093, 1099, 1100}, {1115, 1121, 1122});
  // u64 and char8 share the unsigned 64-bit order.
  addGreatestLeast<std::uint64_t>(ops, {1094, 1106}, {1116, 1128});
  addGreatestLeast<Decimal64, GreatestDecimalFunc, LeastDecimalFunc>(ops, {1095}, {1117});
  addGreatestLeast<Decimal128, GreatestDecimalFunc, LeastDecimalFunc>(ops, {1096}, {1118});
  addGreatestLeast<float>(ops, {1097}, {1119});
  addGreatestLeast<double>(ops, {1098}, {1120});
  addGreatestLeast<std::uint8_t>(ops, {1103}, {1125});
  addGreatestLeast<std::uint16_t>(ops, {1104}, {1126});
  addGreatestLeast<std::uint32_t>(ops, {1105}, {1127});
  addGreatestLeast<fixed_array_t<16>>(ops, {1107}, {1129});
  addGreatestLeast<fixed_array_t<32>>(ops, {1108}, {1130});
  addGreatestLeast<fixed_array_t<64>>(ops, {1109}, {1131});
  addGreatestLeast<fixed_array_t<128>>(ops, {1110}, {1132});
  addGreatestLeast<fixed_array_t<256>>(ops, {1111}, {1133});
  return registerOps(OpFamily::Compare, ops);
}

[[maybe_unused]] const bool kRegistered = registerGreatestLeast();

} // namespace

} // namespace vela::cuda
