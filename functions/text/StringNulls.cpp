// String family: the null-handling and selection forms of strings (both string kinds): IS NULL,
// zero-if-null, the empty string from any value, the no-op marker, IF, and LOOKUP with and without
// states.
//
// The selections (IF, LOOKUP) return one of their inputs as it is, a null pointer included: the row's
// state comes from the program's state ops, and an absent selected value is a null row there. A list
// element is a program constant and is written borrowed; the end of the batch copies it if it is the
// final result.

#include "functions/scalar/CastZeroFromAny.h"
#include "functions/scalar/CompareFunctors.h"
#include "functions/scalar/NullShapes.h"
#include "functions/scalar/ObjectSelect.h"
#include "functions/text/StringOps.h"

namespace vela::cuda {

namespace {

using namespace strops;

// Zero-if-null: a null row becomes a new empty string with state 0; every other row keeps its string
// (handed on) and its state, errors included.
struct RemoveNullableFunc {
  void operator()(EvalOutputString out, StringCell v, State s, State& state) const {
    if (s == RPN_EVAL_NULL) {
      state = RPN_EVAL_OK;
      return writeEmpty(out);
    }
    state = s;
    out.writeInput(v);
  }
};

/// The empty string every row of STRING_EMPTY_FROM_ANY shares: created once, never freed, pushed as a
/// constant (borrowed in intermediate results, copied into owned strings in the final one).
StringCell sharedEmptyString() {
  static const InlineBuffer<char>* const empty = InlineBuffer<char>::allocate(0);
  return empty;
}

// The marker the row evaluator passes over: both stacks stay as they are.
struct NopOp {
  template <class E>
  static void eval(E&) {}
};

inline StringCell listElement(const TypedVec* list, std::int32_t p) {
  if (list != nullptr && p >= 0 && static_cast<std::uint32_t>(p) < list->count)
    return listValue<StringCell>(*list, static_cast<std::uint32_t>(p));
  return nullptr;
}
inline bool inList(const TypedVec* list, std::int32_t p) {
  return list != nullptr && p >= 0 && static_cast<std::uint32_t>(p) < list->count;
}

// Element p of the list when 0 <= p < count, else the default.
struct LookupFunc {
  void operator()(EvalOutputString out, std::int32_t p, const TypedVec* list, StringCell fallback) const {
    out.writeInput(inList(list, p) ? listElement(list, p) : fallback);
  }
};

// With the states of the position (deeper) and of the default: an error of the position passes on, a
// null position or an absent list gives a null, an in-range position a present element, an
// out-of-range one the default with the default's state. Rows that are not a present element carry the
// default as their value.
struct LookupStateFunc {
  void operator()(EvalOutputString out, std::int32_t p, const TypedVec* list, StringCell fallback,
                  State positionState, State fallbackState, State& state) const {
    StringCell value = fallback;
    if (positionState >= RPN_EVAL_DIVIDE_BY_ZERO) {
      state = positionState;
    } else if (positionState == RPN_EVAL_NULL || list == nullptr) {
      state = RPN_EVAL_NULL;
    } else if (inList(list, p)) {
      state = RPN_EVAL_OK;
      value = listElement(list, p);
    } else {
      state = fallbackState;
    }
    out.writeInput(value);
  }
};

using List = const TypedVec*;

bool registerStringNulls() {
  const OpRegistration ops[] = {
      opEntry<null_ops::IsNullOp<StringCell>>(279),
      opEntry<null_ops::IsNullOp<StringCell>>(283),
      opEntry<StringResultOpWithState<RemoveNullableFunc, StringCell, State>>(313),
      opEntry<StringResultOpWithState<RemoveNullableFunc, StringCell, State>>(317),
      opEntry<object_ops::SharedConstantFromAnyOp<StringCell, sharedEmptyString>>(636),
      opEntry<NopOp>(1195),
      opEntry<StringResultOp<object_ops::SelectInputFunc<EvalOutputString, StringCell>, StringCell,
                             StringCell, Bool>>(1221),
      opEntry<StringResultOp<object_ops::SelectInputFunc<EvalOutputString, StringCell>, StringCell,
                             StringCell, Bool>>(1222),
      opEntry<StringResultOp<LookupFunc, std::int32_t, List, StringCell>>(1954),
      opEntry<StringResultOpWithState<LookupStateFunc, std::int32_t, List, StringCell, State, State>>(1975),
  };
  return registerOps(OpFamily::String, ops);
}

[[maybe_unused]] const bool kRegistered = registerStringNulls();

} // namespace

} // namespace vela::cuda
