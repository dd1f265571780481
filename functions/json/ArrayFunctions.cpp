// String family: the array operations (ARRAY_* codes).
//
//   1868 CONCAT  1869 DISTINCT  1870 EXCEPT  1871 INTERSECT  1872 SLICE   array results with a status;
//                a NULL or non-array input gives a NULL row
//   1874 CONTAINS_ALL  1875 CONTAINS_ANY                                  bool with a status
//   1884, 1888 UPPER  1885 LOWER                                          bounds of a dimension
//   1876-1883 ELEMENT_*                                                   the element at a 1-based
//                position; a position outside the array, or a null, array or object element, gives
//                NULL; an element that does not convert ends the call with the conversion's message
//   1817-1821, 1859-1867 APPEND                                           the array (or a one-element
//                array of a non-array value) with one element appended; a NULL element appends the
//                JSON null
//   1886 LENGTH                                                            element count; NULL or
//                non-array input gives NULL
//   1887 TO_STRING (array, skip nulls, separator)                          the elements' texts joined
//                by the separator: strings as their bytes, other values as compact JSON text; JSON null
//                elements are skipped when the flag is set, else they contribute an empty text; a NULL
//                array or separator gives NULL
//
// Element conversions (ELEMENT_*): bool from a boolean or an integer (!= 0), else "Not a bool";
// int and long from integers (int: the low 32 bits), booleans, floating numbers that fit (truncated)
// and strings holding a whole decimal integer, else "Not an integer"; 1883 reads the same as an
// unsigned 64-bit pattern (an unsigned number as it is); float and double from numbers and strings
// holding a decimal number, else "Not a double"; 1881 and 1882 take a string's bytes and any other
// scalar's JSON text, 1882 also a binary value's bytes (1881 refuses it: "Not a string").

#include "functions/json/ArrayFunctions.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "base/Logging.h"
#include "functions/text/StringOps.h"

namespace vela::cuda {

namespace {

using namespace jsonops;

constexpr std::string_view kSourcePath = "functions/json/ArrayFunctions.cpp";

[[noreturn]] void raise(std::string message) {
  throw VelaException(VelaWhat::Evaluation, locationSuffix(kSourcePath, __LINE__),
                      Status(StatusEnum::InvalidArgument, std::move(message)));
}

constexpr std::uint64_t mix(std::uint64_t h, std::uint64_t v) {
  // 64-bit mix (a multiply-xorshift step); any good mixer will do, equality is confirmed separately
  h ^= v + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
  h *= 0xff51afd7ed558ccdULL;
  return h ^ (h >> 32);
}

std::uint64_t bytesHash(std::string_view s) {
  std::uint64_t h = 0xcbf29ce484222325ULL ^ s.size();
  for (unsigned char c : s)
    h = (h ^ c) * 0x100000001b3ULL;
  return h;
}

// Scanning beats indexing below this many comparisons.
constexpr std::size_t kScanLimit = 64;

// compare(e, x) == 0, with the usual pairs settled here rather than by the general ordering: two
// integers of one kind, two strings, two booleans, two nulls, and a number against anything else.
// Floating pairs (NaN, -0.0) and mixed number kinds take the general route.
bool sameElement(const JsonValue& e, const JsonValue& x) {
  using T = JsonValue::value_t;
  if (e.type() == x.type()) {
    switch (e.type()) {
    case T::number_integer:
      return e.get<std::int64_t>() == x.get<std::int64_t>();
    case T::number_unsigned:
      return e.get<std::uint64_t>() == x.get<std::uint64_t>();
    case T::string:
      return e.get_ref<const std::string&>() == x.get_ref<const std::string&>();
    case T::boolean:
      return e.get<bool>() == x.get<bool>();
    case T::null:
      return true;
    default:
      break;
    }
  } else if (e.is_number() != x.is_number()) {
    return false; // numbers rank apart from every other kind
  }
  return JsonValueUtils::compare(e, x) == 0;
}

} // namespace

std::uint64_t jsonElementHash(const JsonValue& value) {
  std::uint64_t h = 0;
  std::vector<const JsonValue*> pending{&value};
  while (!pending.empty()) {
    const JsonValue* v = pending.back();
    pending.pop_back();
    switch (v->type()) {
    case JsonValue::value_t::number_integer:
    case JsonValue::value_t::number_unsigned:
    case JsonValue::value_t::number_float: {
      double d = v->get<double>();
      if (d == 0)
        d = 0; // -0.0 equals 0
      else if (std::isnan(d))
        d = std::numeric_limits<double>::quiet_NaN(); // every NaN equals every other
      h = mix(h, 3);
      h = mix(h, std::bit_cast<std::uint64_t>(d));
      break;
    }
    case JsonValue::value_t::string:
      h = mix(mix(h, 4), bytesHash(v->get_ref<const std::string&>()));
      break;
    case JsonValue::value_t::boolean:
      h = mix(h, v->get<bool>() ? 2 : 1);
      break;
    case JsonValue::value_t::array:
      h = mix(mix(h, 5), v->size());
      for (auto it = v->crbegin(); it != v->crend(); ++it)
        pending.push_back(&*it);
      break;
    case JsonValue::value_t::object:
      h = mix(mix(h, 6), v->size());
      // Keys are mixed in member order before the values; reverse pushes keep the walk in order.
      for (const auto& [key, member] : v->get_ref<const JsonValue::object_t&>())
        h = mix(h, bytesHash(key));
      for (auto it = v->crbegin(); it != v->crend(); ++it)
        pending.push_back(&*it);
      break;
    case JsonValue::value_t::binary: {
      const auto& b = v->get_binary();
      h = mix(mix(h, 7), bytesHash(std::string_view(reinterpret_cast<const char*>(b.data()), b.size())));
      break;
    }
    default:
      h = mix(h, 0);
      break;
    }
  }
  return h;
}

JsonElementSet::JsonElementSet(const JsonValue& array)
    : m_elements(&array.get_ref<const JsonValue::array_t&>()) {
  if (m_elements->size() <= kScanLimit)
    return;
  m_index.reserve(m_elements->size());
  for (std::size_t i = 0; i < m_elements->size(); ++i)
    m_index.emplace(jsonElementHash((*m_elements)[i]), i);
}

bool JsonElementSet::contains(const JsonValue& x) const {
  if (m_index.empty() && m_elements->size() <= kScanLimit) {
    for (const JsonValue& e : *m_elements)
      if (sameElement(e, x))
        return true;
    return false;
  }
  const auto [first, last] = m_index.equal_range(jsonElementHash(x));
  for (auto it = first; it != last; ++it)
    if (sameElement((*m_elements)[it->second], x))
      return true;
  return false;
}

bool ArrayFunctionUtils::validateInputs(const JsonValue* a, rpn_eval_result_t statusA,
                                        rpn_eval_result_t& status) {
  if (a == nullptr || statusA == RPN_EVAL_NULL || !a->is_array()) {
    status = RPN_EVAL_NULL;
    return false;
  }
  return true;
}

bool ArrayFunctionUtils::validateInputs(const JsonValue* a, rpn_eval_result_t statusA, const JsonValue* b,
                                        rpn_eval_result_t statusB, rpn_eval_result_t& status) {
  return validateInputs(a, statusA, status) && validateInputs(b, statusB, status);
}

void ArrayFunctionUtils::createNullResult(EvalOutputJson out, rpn_eval_result_t& status) {
  status = RPN_EVAL_NULL;
  out.writeNull();
}

void ArrayFunctionUtils::createEmptyResult(EvalOutputJson out, rpn_eval_result_t& status) {
  writeValue(out, JsonValue::array());
  status = RPN_EVAL_OK;
}

bool ArrayFunctionUtils::containsElement(const JsonValue& array, const JsonValue& x) {
  if (!array.is_array())
    raise("Not an array");
  for (const JsonValue& e : array)
    if (sameElement(e, x))
      return true;
  return false;
}

void ArrayConcatFunc::executeImpl(const JsonValue& a, const JsonValue& b, EvalOutputJson out,
                                  rpn_eval_result_t& status) const {
  JsonValue result = JsonValue::array();
  auto& elements = result.get_ref<JsonValue::array_t&>();
  elements.reserve(a.size() + b.size());
  for (const JsonValue* from : {&a, &b})
    for (const JsonValue& e : *from)
      elements.push_back(JsonValueUtils::copyJson(e));
  writeValue(out, std::move(result));
  status = RPN_EVAL_OK;
}

void ArrayDistinctFunc::executeImpl(const JsonValue& a, EvalOutputJson out, rpn_eval_result_t& status) const {
  JsonValue result = JsonValue::array();
  auto& kept = result.get_ref<JsonValue::array_t&>();
  if (a.size() <= kScanLimit) {
    for (const JsonValue& e : a)
      if (!ArrayFunctionUtils::containsElement(result, e))
        kept.push_back(JsonValueUtils::copyJson(e));
  } else {
    // Indexes into `a` of the kept elements, by hash: `a` does not move while `kept` grows.
    std::unordered_multimap<std::uint64_t, const JsonValue*> seen;
    seen.reserve(a.size());
    for (const JsonValue& e : a) {
      const std::uint64_t h = jsonElementHash(e);
      const auto [first, last] = seen.equal_range(h);
      bool found = false;
      for (auto it = first; it != last && !found; ++it)
        found = JsonValueUtils::compare(*it->second, e) == 0;
      if (found)
        continue;
      seen.emplace(h, &e);
      kept.push_back(JsonValueUtils::copyJson(e));
    }
  }
  writeValue(out, std::move(result));
  status = RPN_EVAL_OK;
}

namespace {
template <bool Keep>
void filterBy(const JsonValue& a, const JsonValue& b, EvalOutputJson out, rpn_eval_result_t& status) {
  JsonValue result = JsonValue::array();
  auto& kept = result.get_ref<JsonValue::array_t&>();
  const JsonElementSet members(b);
  for (const JsonValue& e : a)
    if (members.contains(e) == Keep)
      kept.push_back(JsonValueUtils::copyJson(e));
  writeValue(out, std::move(result));
  status = RPN_EVAL_OK;
}
} // namespace

void ArrayIntersectFunc::executeImpl(const JsonValue& a, const JsonValue& b, EvalOutputJson out,
                                     rpn_eval_result_t& status) const {
  filterBy<true>(a, b, out, status);
}

void ArrayExceptFunc::executeImpl(const JsonValue& a, const JsonValue& b, EvalOutputJson out,
                                  rpn_eval_result_t& status) const {
  filterBy<false>(a, b, out, status);
}

template <bool All>
std::uint8_t ArrayContainsFunc<All>::operator()(const JsonValue* a, const JsonValue* b,
                                                rpn_eval_result_t statusA, rpn_eval_result_t statusB,
                                                rpn_eval_result_t& status) const {
  if (a == nullptr || b == nullptr || statusA == RPN_EVAL_NULL || statusB == RPN_EVAL_NULL) {
    status = RPN_EVAL_NULL;
    return 0;
  }
  if (!a->is_array() || !b->is_array())
    raise("Not an array");
  if (b->empty())
    return All;
  if (a->empty())
    return 0;
  if (a->size() * b->size() <= kScanLimit) {
    for (const JsonValue& y : *b)
      if (ArrayFunctionUtils::containsElement(*a, y) != All)
        return !All;
    return All;
  }
  const JsonElementSet members(*a);
  for (const JsonValue& y : *b)
    if (members.contains(y) != All)
      return !All;
  return All;
}

template struct ArrayContainsFunc<true>;
template struct ArrayContainsFunc<false>;

void ArraySliceFunc::operator()(EvalOutputJson out, const JsonValue* a, std::int32_t start, std::int32_t end,
                                rpn_eval_result_t statusA, rpn_eval_result_t statusStart,
                                rpn_eval_result_t statusEnd, rpn_eval_result_t& status) const {
  if (statusStart == RPN_EVAL_NULL || statusEnd == RPN_EVAL_NULL ||
      !ArrayFunctionUtils::validateInputs(a, statusA, status))
    return ArrayFunctionUtils::createNullResult(out, status);
  const std::int64_t n = static_cast<std::int64_t>(a->size());
  const std::int64_t s = std::max<std::int64_t>(start, 1);
  const std::int64_t e = end <= n ? std::max<std::int64_t>(end, 0) : n;
  if (e < s)
    return ArrayFunctionUtils::createEmptyResult(out, status);
  JsonValue result = JsonValue::array();
  auto& elements = result.get_ref<JsonValue::array_t&>();
  elements.reserve(static_cast<std::size_t>(e - s + 1));
  for (std::int64_t p = s; p <= e; ++p)
    elements.push_back(JsonValueUtils::copyJson((*a)[static_cast<std::size_t>(p - 1)]));
  writeValue(out, std::move(result));
  status = RPN_EVAL_OK;
}

template <bool Upper>
std::int32_t ArrayBoundsFunc<Upper>::operator()(const JsonValue* a, std::int32_t d,
                                                rpn_eval_result_t& status) const {
  if (a == nullptr)
    return 0;
  if (d <= 0) {
    status = RPN_EVAL_NULL;
    return 0;
  }
  const JsonValue* current = a;
  for (std::int32_t level = 1; level < d; ++level) {
    if (!current->is_array() || current->empty() || !(*current)[0].is_array()) {
      status = RPN_EVAL_NULL;
      return 0;
    }
    current = &(*current)[0];
  }
  if (!current->is_array()) {
    status = RPN_EVAL_NULL;
    return 0;
  }
  return Upper ? strops::clampToInt(current->size()) : 1;
}

template struct ArrayBoundsFunc<true>;
template struct ArrayBoundsFunc<false>;

// --- element access, append, length, to string ------------------------------------------------------

namespace {

template <class T>
bool parseWhole(const std::string& s, T& v) {
  const char* end = s.data() + s.size();
  const auto [p, ec] = std::from_chars(s.data(), end, v);
  return ec == std::errc() && p == end && !s.empty();
}

long elementLong(const JsonValue& v) {
  switch (v.type()) {
  case JsonValue::value_t::number_integer:
    return v.get<std::int64_t>();
  case JsonValue::value_t::number_unsigned:
    return static_cast<long>(v.get<std::uint64_t>());
  case JsonValue::value_t::boolean:
    return v.get<bool>() ? 1 : 0;
  case JsonValue::value_t::number_float: {
    const double d = v.get<double>();
    if (std::isfinite(d) && d >= -9223372036854775808.0 && d < 9223372036854775808.0)
      return static_cast<long>(d);
    break;
  }
  case JsonValue::value_t::string: {
    long parsed = 0;
    if (parseWhole(v.get_ref<const std::string&>(), parsed))
      return parsed;
    break;
  }
  default:
    break;
  }
  raise("Not an integer");
}

double elementDouble(const JsonValue& v) {
  if (v.is_number())
    return v.get<double>();
  if (v.is_string()) {
    double parsed = 0;
    if (parseWhole(v.get_ref<const std::string&>(), parsed))
      return parsed;
  }
  raise("Not a double");
}

template <class Out>
Out elementAs(const JsonValue& v) {
  if constexpr (std::is_same_v<Out, Bool>) {
    if (v.is_boolean())
      return v.get<bool>() ? 1 : 0;
    if (v.is_number_integer())
      return v.get<std::uint64_t>() != 0 ? 1 : 0;
    raise("Not a bool");
  } else if constexpr (std::is_floating_point_v<Out>) {
    return static_cast<Out>(elementDouble(v));
  } else if constexpr (std::is_same_v<Out, unsigned long>) {
    if (v.is_number_unsigned())
      return v.get<std::uint64_t>();
    return static_cast<unsigned long>(elementLong(v));
  } else {
    return static_cast<Out>(elementLong(v));
  }
}

/// The element at 1-based position p, or nullptr with status 1 (not an array, out of range, a null,
/// array or object element).
const JsonValue* elementAt(const JsonValue& a, std::int32_t p, State& state) {
  if (!a.is_array() || p < 1 || static_cast<std::size_t>(p) > a.size()) {
    state = RPN_EVAL_NULL;
    return nullptr;
  }
  const JsonValue& e = a[static_cast<std::size_t>(p - 1)];
  if (e.is_null() || e.is_structured()) {
    state = RPN_EVAL_NULL;
    return nullptr;
  }
  return &e;
}

template <class Out>
struct ElementFunc {
  Out operator()(JsonCell a, std::int32_t p, State& state) const {
    if (a == nullptr)
      return Out{};
    const JsonValue* e = elementAt(*a, p, state);
    return e == nullptr ? Out{} : elementAs<Out>(*e);
  }
};

template <bool Binary>
struct ElementTextFunc {
  void operator()(EvalOutputString out, JsonCell a, std::int32_t p, State& state) const {
    if (a == nullptr)
      return out.writeNull();
    const JsonValue* e = elementAt(*a, p, state);
    if (e == nullptr)
      return out.writeNull();
    if (e->is_string())
      return out.write(std::string_view(e->get_ref<const std::string&>()));
    if (e->is_binary()) {
      if (!Binary)
        raise("Not a string");
      const auto& b = e->get_binary();
      return out.write(reinterpret_cast<const char*>(b.data()), b.size());
    }
    out.write(std::string_view(JsonValueUtils::writeJson(*e, true)));
  }
};

JsonValue toElement(Bool v) {
  return JsonValue(v != 0);
}
template <class T>
JsonValue toElement(T v) {
  if constexpr (std::is_same_v<T, StringCell>)
    return v == nullptr ? JsonValue(nullptr) : JsonValue(std::string(v->view()));
  else if constexpr (std::is_same_v<T, JsonCell>)
    return v == nullptr ? JsonValue(nullptr) : JsonValueUtils::copyJson(*v);
  else if constexpr (std::is_floating_point_v<T>)
    return JsonValue(double{v});
  else if constexpr (std::is_unsigned_v<T>)
    return JsonValue(std::uint64_t{v});
  else
    return JsonValue(std::int64_t{v});
}

template <class T>
struct AppendFunc {
  void operator()(EvalOutputJson out, JsonCell a, T x, State sa, State sx, State& state) const {
    if (a == nullptr || sa == RPN_EVAL_NULL) {
      state = RPN_EVAL_NULL;
      return out.writeNull();
    }
    JsonValue result;
    if (a->is_array()) {
      result = JsonValueUtils::copyJson(*a);
    } else {
      result = JsonValue::array();
      result.push_back(JsonValueUtils::copyJson(*a));
    }
    result.push_back(sx == RPN_EVAL_NULL ? JsonValue(nullptr) : toElement(x));
    writeValue(out, std::move(result));
  }
};

struct LengthFunc {
  std::int32_t operator()(JsonCell a, State sa, State& state) const {
    if (a == nullptr || sa == RPN_EVAL_NULL || !a->is_array()) {
      state = RPN_EVAL_NULL;
      return 0;
    }
    return strops::clampToInt(a->size());
  }
};

struct ToStringFunc {
  void operator()(EvalOutputString out, JsonCell a, Bool skipNulls, StringCell separator, State sa,
                  State& state) const {
    if (a == nullptr || separator == nullptr || sa == RPN_EVAL_NULL || !a->is_array()) {
      state = RPN_EVAL_NULL;
      return out.writeNull();
    }
    std::string text;
    bool first = true;
    for (const JsonValue& e : *a) {
      if (e.is_null() && skipNulls != 0)
        continue;
      if (!first)
        text += separator->view();
      first = false;
      if (e.is_string())
        text += e.get_ref<const std::string&>();
      else if (!e.is_null())
        JsonValueUtils::writeJson(e, text, true);
    }
    out.write(std::string_view(text));
  }
};

bool registerArrayOps() {
  using Str = StringCell;
  using J = JsonCell;
  const OpRegistration ops[] = {
      opEntry<JsonResultOpWithState<ArrayConcatFunc, J, J, State, State>>(1868),
      opEntry<JsonResultOpWithState<ArrayDistinctFunc, J, State>>(1869),
      opEntry<JsonResultOpWithState<ArrayExceptFunc, J, J, State, State>>(1870),
      opEntry<JsonResultOpWithState<ArrayIntersectFunc, J, J, State, State>>(1871),
      opEntry<JsonResultOpWithState<ArraySliceFunc, J, std::int32_t, std::int32_t, State, State, State>>(
          1872),
      opEntry<ElementwiseOpWithState<ArrayContainsFunc<true>, Bool, J, J, State, State>>(1874),
      opEntry<ElementwiseOpWithState<ArrayContainsFunc<false>, Bool, J, J, State, State>>(1875),
      opEntry<ElementwiseOpWithState<ArrayBoundsFunc<true>, std::int32_t, J, std::int32_t>>(1884),
      opEntry<ElementwiseOpWithState<ArrayBoundsFunc<false>, std::int32_t, J, std::int32_t>>(1885),
      opEntry<ElementwiseOpWithState<ArrayBoundsFunc<true>, std::int32_t, J, std::int32_t>>(1888),
      opEntry<ElementwiseOpWithState<ElementFunc<Bool>, Bool, J, std::int32_t>>(1876),
      opEntry<ElementwiseOpWithState<ElementFunc<std::int32_t>, std::int32_t, J, std::int32_t>>(1877),
      opEntry<ElementwiseOpWithState<ElementFunc<long>, long, J, std::int32_t>>(1878),
      opEntry<ElementwiseOpWithState<ElementFunc<float>, float, J, std::int32_t>>(1879),
      opEntry<ElementwiseOpWithState<ElementFunc<double>, double, J, std::int32_t>>(1880),
      opEntry<strops::StringResultOpWithState<ElementTextFunc<false>, J, std::int32_t>>(1881),
      opEntry<strops::StringResultOpWithState<ElementTextFunc<true>, J, std::int32_t>>(1882),
      opEntry<ElementwiseOpWithState<ElementFunc<unsigned long>, unsigned long, J, std::int32_t>>(1883),
      opEntry<JsonResultOpWithState<AppendFunc<Bool>, J, Bool, State, State>>(1817),
      opEntry<JsonResultOpWithState<AppendFunc<long>, J, long, State, State>>(1818),
      opEntry<JsonResultOpWithState<AppendFunc<std::int32_t>, J, std::int32_t, State, State>>(1819),
      opEntry<JsonResultOpWithState<AppendFunc<Str>, J, Str, State, State>>(1820),
      opEntry<JsonResultOpWithState<AppendFunc<J>, J, J, State, State>>(1821),
      opEntry<JsonResultOpWithState<AppendFunc<Bool>, J, Bool, State, State>>(1859),
      opEntry<JsonResultOpWithState<AppendFunc<long>, J, long, State, State>>(1860),
      opEntry<JsonResultOpWithState<AppendFunc<double>, J, double, State, State>>(1861),
      opEntry<JsonResultOpWithState<AppendFunc<J>, J, J, State, State>>(1862),
      opEntry<JsonResultOpWithState<AppendFunc<float>, J, float, State, State>>(1863),
      opEntry<JsonResultOpWithState<AppendFunc<std::int32_t>, J, std::int32_t, State, State>>(1864),
      opEntry<JsonResultOpWithState<AppendFunc<Str>, J, Str, State, State>>(1865),
      opEntry<JsonResultOpWithState<AppendFunc<std::int16_t>, J, std::int16_t, State, State>>(1866),
      opEntry<JsonResultOpWithState<AppendFunc<unsigned long>, J, unsigned long, State, State>>(1867),
      opEntry<ElementwiseOpWithState<LengthFunc, std::int32_t, J, State>>(1886),
      opEntry<strops::StringResultOpWithState<ToStringFunc, J, Bool, Str, State>>(1887),
  };
  return registerOps(OpFamily::String, ops);
}

[[maybe_unused]] const bool kRegistered = registerArrayOps();

} // namespace

} // namespace vela::cuda
