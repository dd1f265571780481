// Value family: the constant results of the u32, u64 and u128 kinds (2289, 2626, 2627), which push the
// element's constant without popping, like the comparison family's constant results 2619-2625.
//
// ZERO_FROM_ANY (611-623, 628-637; the shape ZeroFromAnyOp of CastZeroFromAny.h, registered by result
// width with opEntryByResultWidth) is not registered yet: the catalogue walk of the tool tests cannot
// build a program for an op with an operand of any type (it loads a column of the operand's own type,
// which "any" has none of).

#include <vector>

#include "cuda/EvalElementHandler.h"

namespace vela::cuda {

namespace {

bool registerMisc() {
  std::vector<OpRegistration> ops;
  for (TypedRpnOp code : {2289, 2626, 2627})
    ops.push_back(opEntryByResultWidth<LoadConstantOp>(code));
  return registerOps(OpFamily::Value, ops);
}

[[maybe_unused]] const bool kRegistered = registerMisc();

} // namespace

} // namespace vela::cuda
