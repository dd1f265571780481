// Geometry family: the null geometry constant, geometry constants (50 holds a geometry the program
// owns, 51 a pointer it borrows; the evaluator treats both as program-owned) and the column load.

#include <geos/geom/Geometry.h>

#include "cuda/VectorEvalObjects.h"

namespace vela::cuda {

namespace {

using GeometryCell = const geos::geom::Geometry*;

const OpRegistration kOps[] = {
    opEntry<LoadNullConstantOp<GeometryCell>>(33),
    opEntry<LoadConstantOp<GeometryCell>>(50),
    opEntry<LoadConstantOp<GeometryCell>>(51),
    opEntry<LoadColumnOp<GeometryCell>>(236),
};
[[maybe_unused]] const bool kRegistered = registerOps(OpFamily::Geo, kOps);

} // namespace

} // namespace vela::cuda
