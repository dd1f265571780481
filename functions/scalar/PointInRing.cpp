// Math family: the point-in-ring test over list constants, in single (1271) and double (1272)
// precision. Operands in push order: x, y, the ring's x list, its y list, the answer for a point on the
// ring.

#include <cstdint>

#include "cuda/EvalElementHandler.h"
#include "functions/scalar/PointInRing.h"

namespace vela::cuda {

namespace {

using ListPtr = const ParserUtils::TypedVec*;

const OpRegistration kOps[] = {
    opEntry<
        ElementwiseOp<PointInRingFunc<float>, std::uint8_t, float, float, ListPtr, ListPtr, std::uint8_t>>(
        1271),
    opEntry<
        ElementwiseOp<PointInRingFunc<double>, std::uint8_t, double, double, ListPtr, ListPtr, std::uint8_t>>(
        1272),
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Math, kOps);

} // namespace

} // namespace vela::cuda
