// String family: comparisons of heap strings (EQ ... GE, IN lists, GREATEST, LEAST, IS NOT DISTINCT FROM)
// and FIND / FIND_RANGE over string keys. Both string kinds (string and string2) share every kernel.
//
// A row where either string is absent is made null by the program's state ops, so its value only has
// to be defined: EQ, LE and GE write 1, NE, LT and GT write 0, IN writes 0. GREATEST and LEAST return
// one of their inputs unchanged (the second one on a tie) and settle its ownership through
// checkObjectMove; an absent input gives an absent result.

#include "functions/text/StringCompare.h"

#include <algorithm>
#include <cstring>
#include <functional>

#include "cuda/VectorEvalObjects.h"
#include "functions/scalar/CompareRegistration.h"

namespace vela::cuda {

int StringBufferStrcmp(const InlineBuffer<char>* a, const InlineBuffer<char>* b) {
  if (a == nullptr || b == nullptr)
    return 0;
  const std::uint64_t n = std::min(a->size(), b->size());
  const int c = std::strncmp(a->data(), b->data(), n);
  if (c != 0)
    return c < 0 ? -1 : 1;
  return (a->size() > b->size()) - (a->size() < b->size());
}

int StringKeyPair::order(StringCell a, StringCell b) {
  if (a == nullptr || b == nullptr)
    return (a != nullptr) - (b != nullptr);
  const std::uint64_t n = std::min(a->size(), b->size());
  const int c = n == 0 ? 0 : std::memcmp(a->data(), b->data(), n);
  if (c != 0)
    return c < 0 ? -1 : 1;
  return (a->size() > b->size()) - (a->size() < b->size());
}

bool StringKeyPair::eq(StringCell a, StringCell b) {
  return a != nullptr && b != nullptr && a->size() == b->size() &&
         (a->size() == 0 || std::memcmp(a->data(), b->data(), a->size()) == 0);
}

std::int32_t find_function(StringCell value, const TypedVec* keys) {
  return value == nullptr ? -1 : FindFunc<StringKeyPair>()(value, keys);
}

std::int32_t find_range_function(StringCell value, const TypedVec* lowerBounds, const TypedVec* upperBounds) {
  return value == nullptr ? -1 : FindRangeFunc<StringKeyPair>()(value, lowerBounds, upperBounds);
}

namespace {

using namespace compare_registration;

// EQ ... GE by StringBufferStrcmp; `IfAbsent` is the value of a row with an absent operand.
template <class Test, Bool IfAbsent>
struct StringCompareFunc {
  Bool operator()(StringCell a, StringCell b) const {
    if (a == nullptr || b == nullptr)
      return IfAbsent;
    return Test{}(StringBufferStrcmp(a, b), 0);
  }
};

struct FindStringFunc {
  std::int32_t operator()(StringCell value, const TypedVec* keys) const { return find_function(value, keys); }
};

struct FindRangeStringFunc {
  std::int32_t operator()(StringCell value, const TypedVec* lowerBounds, const TypedVec* upperBounds) const {
    return find_range_function(value, lowerBounds, upperBounds);
  }
};

struct IsNotDistinctFromStringFunc {
  Bool operator()(StringCell a, StringCell b, State sa, State sb, State& state) const {
    return notDistinct(sa, sb, state, [&] { return StringBufferStrcmp(a, b) == 0; });
  }
};

// GREATEST (Sign 1) returns a when a > b, LEAST (Sign -1) a when a < b; otherwise b.
template <int Sign>
struct SelectStringFunc {
  void operator()(EvalOutputString out, StringCell a, StringCell b) const {
    if (a == nullptr || b == nullptr)
      return out.writeNull();
    out.writeInput(StringBufferStrcmp(a, b) * Sign > 0 ? a : b);
  }
};

// Pops a and b (b on top) and pushes the selected input, whose ownership passes to the output.
template <class F>
struct SelectStringOp {
  template <class E>
  static void eval(E& e) {
    auto b = e.template popInput<StringCell>();
    auto a = e.template popInput<StringCell>();
    auto out = e.template prepareOutput<EvalOutputString>();
    e.runKernel(F{}, out, a, b);
    e.checkObjectMove(a, out);
    e.checkObjectMove(b, out);
    e.push(std::move(out));
  }
};

template <class F>
void addPair(std::vector<OpRegistration>& ops, TypedRpnOp first, TypedRpnOp second) {
  add<ElementwiseOp<F, Bool, StringCell, StringCell>>(ops, {first, second});
}

bool registerStringComparisons() {
  std::vector<OpRegistration> ops;
  addPair<StringCompareFunc<std::equal_to<int>, 1>>(ops, 909, 916);
  addPair<StringCompareFunc<std::not_equal_to<int>, 0>>(ops, 910, 917);
  addPair<StringCompareFunc<std::less<int>, 0>>(ops, 912, 919);
  addPair<StringCompareFunc<std::less_equal<int>, 1>>(ops, 913, 920);
  addPair<StringCompareFunc<std::greater<int>, 0>>(ops, 914, 921);
  addPair<StringCompareFunc<std::greater_equal<int>, 1>>(ops, 915, 922);
  add<ElementwiseOp<InFunc<StringKeyPair>, Bool, StringCell, List>>(ops, {911, 918});
  add<SelectStringOp<SelectStringFunc<1>>>(ops, {1112, 1113});
  add<SelectStringOp<SelectStringFunc<-1>>>(ops, {1134, 1135});
  add<ElementwiseOpWithState<IsNotDistinctFromStringFunc, Bool, StringCell, StringCell, State, State>>(
      ops, {1254, 1257});
  add<ElementwiseOp<FindStringFunc, std::int32_t, StringCell, List>>(ops, {1912});
  add<ElementwiseOp<FindRangeStringFunc, std::int32_t, StringCell, List, List>>(ops, {1933});
  return registerOps(OpFamily::String, ops);
}

[[maybe_unused]] const bool kRegistered = registerStringComparisons();

} // namespace

} // namespace vela::cuda
