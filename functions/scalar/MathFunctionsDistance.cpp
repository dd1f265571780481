// Math family: planar and great-circle distances of two points given as four coordinates, pushed as
// x1 (longitude), y1 (latitude), x2, y2. Four operands that may each be constant make sixteen loops
// per op and evaluator, hence their own compile unit.

#include "cuda/EvalElementHandler.h"
#include "functions/scalar/MathFunctions.h"

namespace vela::cuda {

namespace {

const OpRegistration kOps[] = {
    opEntry<ElementwiseOp<PlanarDistanceFunc, float, float, float, float, float>>(1266),
    opEntry<ElementwiseOp<PlanarDistanceFunc, double, double, double, double, double>>(1267),
    opEntry<ElementwiseOp<GreatCircleDistanceFunc, float, float, float, float, float>>(1269),
    opEntry<ElementwiseOp<GreatCircleDistanceFunc, double, double, double, double, double>>(1270),
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Math, kOps);

} // namespace

} // namespace vela::cuda
