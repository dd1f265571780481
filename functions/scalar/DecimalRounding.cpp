// Math family: exact-decimal rounding. Every result stays at the operand's scale (and width); the row
// semantics are the decimal functors (DecimalFunctors.h): ceil and floor to an integral value
// (saturating at the ends of the width), round half away from zero and truncate to a per-row count of
// digits after the point (a negative count rounds left of it).

#include "cuda/EvalElementHandler.h"
#include "functions/scalar/DecimalFunctors.h"

namespace vela::cuda {

namespace {

using D64 = Decimal64;
using D128 = Decimal128;

const OpRegistration kOps[] = {
    opEntry<ElementwiseOp<CeilDecimalFunc, D64, D64>>(1342),            // CEIL_DEC64
    opEntry<ElementwiseOp<CeilDecimalFunc, D128, D128>>(1343),          // CEIL_DEC128
    opEntry<ElementwiseOp<FloorDecimalFunc, D64, D64>>(1351),           // FLOOR_DEC64
    opEntry<ElementwiseOp<FloorDecimalFunc, D128, D128>>(1352),         // FLOOR_DEC128
    opEntry<ElementwiseOp<RoundDecimalFunc, D64, D64, int>>(1362),      // ROUND_DEC64
    opEntry<ElementwiseOp<RoundDecimalFunc, D128, D128, int>>(1363),    // ROUND_DEC128
    opEntry<ElementwiseOp<TruncateDecimalFunc, D64, D64, int>>(1371),   // TRUNC_DEC64
    opEntry<ElementwiseOp<TruncateDecimalFunc, D128, D128, int>>(1372), // TRUNC_DEC128
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Math, kOps);

} // namespace

} // namespace vela::cuda
