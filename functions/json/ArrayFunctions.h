#pragma once
// The array functors: set-like combinations, containment, slicing and bounds over JSON arrays.
//
// Element equality is JsonValueUtils::compare(x, y) == 0 (numbers by exact value across kinds). The
// set operations give the results of plain membership scans (input order kept, duplicates of the first
// array kept by intersect and except, the first occurrence kept by distinct) but find members through a
// hash of each element's canonical form, confirmed by a full comparison, so that large arrays take
// linear expected time. Equal values always hash alike: every number is hashed by its value as a double
// (so 1, 1.0 and an unsigned 1 agree); a hash match is only a candidate.

#include <cstddef>
#include <cstdint>
#include <unordered_map>
#include <vector>

#include "functions/json/JsonOps.h"

namespace vela::cuda {

/// Hash of the canonical form of a JSON value (explicit stack: any depth).
std::uint64_t jsonElementHash(const JsonValue& value);

/// Membership index over the elements of one array: find(x) tells whether some element equals x.
/// Small arrays are scanned; larger ones indexed by jsonElementHash.
class JsonElementSet {
public:
  explicit JsonElementSet(const JsonValue& array);
  bool contains(const JsonValue& x) const;

private:
  const JsonValue::array_t* m_elements;
  std::unordered_multimap<std::uint64_t, std::size_t> m_index; // empty for scanned arrays
};

struct ArrayFunctionUtils {
  /// True when `a` is present, its state is not 1 and it is an array; else sets `status` to 1.
  static bool validateInputs(const JsonValue* a, rpn_eval_result_t statusA, rpn_eval_result_t& status);
  static bool validateInputs(const JsonValue* a, rpn_eval_result_t statusA, const JsonValue* b,
                             rpn_eval_result_t statusB, rpn_eval_result_t& status);
  /// Status 1; the slot is left null.
  static void createNullResult(EvalOutputJson out, rpn_eval_result_t& status);
  /// A new empty array, status 0.
  static void createEmptyResult(EvalOutputJson out, rpn_eval_result_t& status);
  /// Whether some element of `array` equals x, scanning from the first; throws "Not an array" (a
  /// VelaException) when `array` is not one.
  static bool containsElement(const JsonValue& array, const JsonValue& x);
};

class ArrayUnaryFunction {
public:
  virtual ~ArrayUnaryFunction() = default;
  void operator()(EvalOutputJson out, const JsonValue* a, rpn_eval_result_t statusA,
                  rpn_eval_result_t& status) const {
    if (!ArrayFunctionUtils::validateInputs(a, statusA, status))
      return ArrayFunctionUtils::createNullResult(out, status);
    executeImpl(*a, out, status);
  }

protected:
  virtual void executeImpl(const JsonValue& a, EvalOutputJson out, rpn_eval_result_t& status) const = 0;
};

class ArrayBinaryFunction {
public:
  virtual ~ArrayBinaryFunction() = default;
  void operator()(EvalOutputJson out, const JsonValue* a, const JsonValue* b, rpn_eval_result_t statusA,
                  rpn_eval_result_t statusB, rpn_eval_result_t& status) const {
    if (!ArrayFunctionUtils::validateInputs(a, statusA, b, statusB, status))
      return ArrayFunctionUtils::createNullResult(out, status);
    executeImpl(*a, *b, out, status);
  }

protected:
  virtual void executeImpl(const JsonValue& a, const JsonValue& b, EvalOutputJson out,
                           rpn_eval_result_t& status) const = 0;
};

/// Copies of the elements of a, then of b.
class ArrayConcatFunc : public ArrayBinaryFunction {
protected:
  void executeImpl(const JsonValue& a, const JsonValue& b, EvalOutputJson out,
                   rpn_eval_result_t& status) const override;
};
/// The first occurrence of each value of a, in a's order.
class ArrayDistinctFunc : public ArrayUnaryFunction {
protected:
  void executeImpl(const JsonValue& a, EvalOutputJson out, rpn_eval_result_t& status) const override;
};
/// The elements of a (duplicates included) equal to some element of b.
class ArrayIntersectFunc : public ArrayBinaryFunction {
protected:
  void executeImpl(const JsonValue& a, const JsonValue& b, EvalOutputJson out,
                   rpn_eval_result_t& status) const override;
};
/// The elements of a (duplicates included) equal to no element of b.
class ArrayExceptFunc : public ArrayBinaryFunction {
protected:
  void executeImpl(const JsonValue& a, const JsonValue& b, EvalOutputJson out,
                   rpn_eval_result_t& status) const override;
};

/// Whether a holds every (all) or some (!all) element of b. ALL of nothing is true, ANY of nothing
/// false. A present operand that is not an array ends the call ("Not an array").
template <bool All>
struct ArrayContainsFunc {
  std::uint8_t operator()(const JsonValue* a, const JsonValue* b, rpn_eval_result_t statusA,
                          rpn_eval_result_t statusB, rpn_eval_result_t& status) const;
};

/// Positions start to end (1-based, inclusive) of a; start below 1 counts as 1, end past the last
/// position as the last, a negative end as 0; negative positions do not count from the end.
struct ArraySliceFunc {
  void operator()(EvalOutputJson out, const JsonValue* a, std::int32_t start, std::int32_t end,
                  rpn_eval_result_t statusA, rpn_eval_result_t statusStart, rpn_eval_result_t statusEnd,
                  rpn_eval_result_t& status) const;
};

/// Upper (element count) or lower (1) bound of dimension d, following first elements down.
template <bool Upper>
struct ArrayBoundsFunc {
  std::int32_t operator()(const JsonValue* a, std::int32_t d, rpn_eval_result_t& status) const;
};

} // namespace vela::cuda
