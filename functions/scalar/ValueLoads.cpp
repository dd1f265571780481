// Value family: null constants, constants, list constants and plain column loads of the fixed-width
// types. A load moves cells by width only, so the cell type of each code is the one of its catalogue
// result type's width (i64, u64, f64, dec64, datetime, char8 and list pointers all load as one 8-byte
// kernel). Fused load-casts and stack casts register in their own files.

#include <cstdint>
#include <span>
#include <vector>

#include "cuda/EvalElementHandler.h"

namespace vela::cuda {

namespace {

// Op 34 pushes false whatever its operand area holds.
struct LoadFalseOp {
  template <class E>
  static void eval(E& e) {
    e.template evalConstValue<std::uint8_t>(0);
  }
};

struct CodeRange {
  TypedRpnOp first, last;
};

constexpr CodeRange kNullConstants[] = {{2, 27}};
constexpr CodeRange kConstants[] = {{35, 49}, {52, 61}, {67, 67}};
// List constants push the element's TypedVec pointer, a constant like any other.
constexpr CodeRange kListConstants[] = {{68, 82}, {86, 94}, {100, 100}};
constexpr CodeRange kColumnLoads[] = {{102, 102}, {116, 117}, {128, 128}, {139, 139}, {146, 148},
                                      {153, 153}, {164, 164}, {175, 175}, {186, 186}, {197, 197},
                                      {208, 208}, {211, 211}, {215, 226}, {235, 235}};

template <template <class> class Shape>
void addRanges(std::vector<OpRegistration>& out, std::span<const CodeRange> ranges) {
  for (const CodeRange& r : ranges)
    for (TypedRpnOp code = r.first; code <= r.last; ++code)
      out.push_back(opEntryByResultWidth<Shape>(code));
}

bool registerValueLoads() {
  std::vector<OpRegistration> ops;
  addRanges<LoadNullConstantOp>(ops, kNullConstants);
  ops.push_back(opEntry<LoadFalseOp>(34));
  addRanges<LoadConstantOp>(ops, kConstants);
  addRanges<LoadConstantOp>(ops, kListConstants);
  addRanges<LoadColumnOp>(ops, kColumnLoads);
  return registerOps(OpFamily::Value, ops);
}

[[maybe_unused]] const bool kRegistered = registerValueLoads();

} // namespace

} // namespace vela::cuda
