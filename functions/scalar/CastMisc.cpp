// Value family: the constant results of the u32, u64 and u128 kinds (2289, 2626, 2627), which push the
// element's constant without popping, like the comparison family's constant results 2619-2625.
// ZERO_FROM_ANY (611-635, 637; the date and time kinds 624-627 included): pops a value of any type, pushes
// the all-zero value of the result type (ZeroFromAnyOp of CastZeroFromAny.h, one instantiation per result
// width).

#include <vector>

#include "cuda/EvalElementHandler.h"
#include "functions/scalar/CastZeroFromAny.h"

namespace vela::cuda {

namespace {

bool registerMisc() {
  std::vector<OpRegistration> ops;
  for (TypedRpnOp code : {2289, 2626, 2627})
    ops.push_back(opEntryByResultWidth<LoadConstantOp>(code));
  for (TypedRpnOp code = 611; code <= 637; ++code)
    if (code != 636) // the string member, in the string family
      ops.push_back(opEntryByResultWidth<ZeroFromAnyOp>(code));
  return registerOps(OpFamily::Value, ops);
}

[[maybe_unused]] const bool kRegistered = registerMisc();

} // namespace

} // namespace vela::cuda
