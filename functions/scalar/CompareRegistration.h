#pragma once
// Registration helpers shared by the comparison family's files: the codes of one function for one
// storage type come in groups (several SQL kinds share one storage type and so one kernel), and each
// group is registered with one shape instantiation.

#include <cstdint>
#include <vector>

#include "cuda/EvalElementHandler.h"
#include "functions/scalar/CompareFunctors.h"

namespace vela::cuda::compare_registration {

/// The cell of a bool value or result: one byte, 0 or 1.
using Bool = std::uint8_t;
using List = const TypedVec*;
using State = rpn_eval_result_t;
using Codes = std::vector<TypedRpnOp>;

template <class Shape>
void add(std::vector<OpRegistration>& ops, const Codes& codes) {
  for (TypedRpnOp code : codes)
    ops.push_back(opEntry<Shape>(code));
}

/// Codes of EQ, NE, LT, LE, GT, GE and IN for one storage type.
struct ComparisonCodes {
  Codes eq, ne, lt, le, gt, ge, in;
};

/// The seven comparisons of storage type T with the functors Eq ... In.
template <class T, class Eq, class Ne, class Lt, class Le, class Gt, class Ge, class In>
void addComparisonsWith(std::vector<OpRegistration>& ops, const ComparisonCodes& c) {
  add<ElementwiseOp<Eq, Bool, T, T>>(ops, c.eq);
  add<ElementwiseOp<Ne, Bool, T, T>>(ops, c.ne);
  add<ElementwiseOp<Lt, Bool, T, T>>(ops, c.lt);
  add<ElementwiseOp<Le, Bool, T, T>>(ops, c.le);
  add<ElementwiseOp<Gt, Bool, T, T>>(ops, c.gt);
  add<ElementwiseOp<Ge, Bool, T, T>>(ops, c.ge);
  add<ElementwiseOp<In, Bool, T, List>>(ops, c.in);
}

template <class T, class Pair = PlainPair>
void addComparisons(std::vector<OpRegistration>& ops, const ComparisonCodes& c) {
  addComparisonsWith<T, EqFunc<Pair>, NeFunc<Pair>, LtFunc<Pair>, LeFunc<Pair>, GtFunc<Pair>, GeFunc<Pair>,
                     InFunc<Pair>>(ops, c);
}

} // namespace vela::cuda::compare_registration
