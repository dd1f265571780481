// String family: null constants, constants, list constants and plain column loads of the object types
// string, JSON, array and vector. Fused load-casts (230, 231) register with the JSON casts.

#include <span>
#include <vector>

#include "cuda/VectorEvalObjects.h"

namespace vela::cuda {

namespace {

struct CodeRange {
  TypedRpnOp first, last;
};

constexpr CodeRange kNullConstants[] = {{28, 32}};
constexpr CodeRange kConstants[] = {{62, 66}};
constexpr CodeRange kColumnLoads[] = {{227, 229}, {232, 234}};

template <template <class> class Shape>
void addObjectRanges(std::vector<OpRegistration>& out, std::span<const CodeRange> ranges) {
  for (const CodeRange& r : ranges)
    for (TypedRpnOp code = r.first; code <= r.last; ++code)
      out.push_back(opEntryByObjectType<Shape>(code));
}

bool registerStringLoads() {
  std::vector<OpRegistration> ops;
  addObjectRanges<LoadNullConstantOp>(ops, kNullConstants);
  addObjectRanges<LoadConstantOp>(ops, kConstants);
  addObjectRanges<LoadColumnOp>(ops, kColumnLoads);
  // List constants of objects push the element's TypedVec pointer, a plain 8-byte constant.
  for (TypedRpnOp code = 95; code <= 99; ++code)
    ops.push_back(opEntryByResultWidth<LoadConstantOp>(code));
  return registerOps(OpFamily::String, ops);
}

[[maybe_unused]] const bool kRegistered = registerStringLoads();

} // namespace

} // namespace vela::cuda
