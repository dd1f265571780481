// Comparison family: EQ, NE, LT, LE, GT, GE and IN of the scalar storage types (integers signed and
// unsigned, floats, exact decimals, bool) and of the fixed-width text of 1 to 8 bytes, which compares as
// the unsigned integer of its width. The 16- to 256-byte types are in CompareFixedText.cpp.

#include "functions/scalar/CompareRegistration.h"
#include "functions/scalar/DecimalCompareFunctors.h"

namespace vela::cuda {

namespace {

using namespace compare_registration;

template <class D>
void addDecimalComparisons(std::vector<OpRegistration>& ops, const ComparisonCodes& c) {
  addComparisonsWith<D, EqDecimalFunc, NEDecimalFunc, LTDecimalFunc, LEDecimalFunc, GTDecimalFunc,
                     GEDecimalFunc, InDecimalFunc>(ops, c);
}

bool registerScalarComparisons() {
  std::vector<OpRegistration> ops;
  // Text of 1, 2, 4 and 8 bytes: the first character is the most significant byte.
  addComparisons<std::uint8_t>(ops, {{846}, {847}, {849}, {850}, {851}, {852}, {848}});
  addComparisons<std::uint16_t>(ops, {{853}, {854}, {856}, {857}, {858}, {859}, {855}});
  addComparisons<std::uint32_t>(
      ops, {{860, 937}, {861, 953}, {863, 967}, {864, 980}, {865, 993}, {866, 1006}, {862, 1019}});
  addComparisons<std::uint64_t>(
      ops, {{867, 940}, {868, 956}, {870, 970}, {871, 983}, {872, 996}, {873, 1009}, {869, 1022}});
  addComparisons<std::int32_t>(ops, {{936, 946, 947},
                                     {952, 962, 963},
                                     {966, 976, 977},
                                     {979, 989, 990},
                                     {992, 1002, 1003},
                                     {1005, 1015, 1016},
                                     {1018, 1028, 1029}});
  addComparisons<std::int64_t>(ops, {{939, 941, 948},
                                     {955, 957, 964},
                                     {969, 971, 978},
                                     {982, 984, 991},
                                     {995, 997, 1004},
                                     {1008, 1010, 1017},
                                     {1021, 1023, 1030}});
  addComparisons<float>(ops, {{944}, {960}, {974}, {987}, {1000}, {1013}, {1026}});
  addComparisons<double>(ops, {{945}, {961}, {975}, {988}, {1001}, {1014}, {1027}});
  addDecimalComparisons<Decimal64>(ops, {{942}, {958}, {972}, {985}, {998}, {1011}, {1024}});
  addDecimalComparisons<Decimal128>(ops, {{943}, {959}, {973}, {986}, {999}, {1012}, {1025}});
  add<ElementwiseOp<EqFunc<BoolPair>, Bool, Bool, Bool>>(ops, {950});
  add<ElementwiseOp<NeFunc<BoolPair>, Bool, Bool, Bool>>(ops, {951});
  return registerOps(OpFamily::Compare, ops);
}

[[maybe_unused]] const bool kRegistered = registerScalarComparisons();

} // namespace

} // namespace vela::cuda
