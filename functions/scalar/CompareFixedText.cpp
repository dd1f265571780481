// Comparison family: EQ, NE, LT, LE, GT, GE and IN of the 16- to 256-byte types (char16 ... char256, and
// the u128 kinds that share the 16-byte storage). They compare as unsigned 64-bit words from the highest
// offset down, which is string order for fixed-width text and numeric order for u128.

#include "functions/scalar/CompareRegistration.h"

namespace vela::cuda {

namespace {

using namespace compare_registration;

bool registerFixedTextComparisons() {
  std::vector<OpRegistration> ops;
  addComparisons<fixed_array_t<16>>(
      ops,
      {{874, 938, 949}, {875, 954, 965}, {877, 968}, {878, 981}, {879, 994}, {880, 1007}, {876, 1020, 1031}});
  addComparisons<fixed_array_t<32>>(ops, {{881}, {882}, {884}, {885}, {886}, {887}, {883}});
  addComparisons<fixed_array_t<64>>(ops, {{888}, {889}, {891}, {892}, {893}, {894}, {890}});
  addComparisons<fixed_array_t<128>>(ops, {{895}, {896}, {898}, {899}, {900}, {901}, {897}});
  addComparisons<fixed_array_t<256>>(ops, {{902}, {903}, {905}, {906}, {907}, {908}, {904}});
  return registerOps(OpFamily::Compare, ops);
}

[[maybe_unused]] const bool kRegistered = registerFixedTextComparisons();

} // namespace

} // namespace vela::cuda
