// String family: the path functions on JSON documents.
//
//   1822  JSON_CARDINALITY    elements or members of the single match (1 for a scalar); 0 otherwise
//   1840  JSON_PATH_EXISTS    whether the path matches anything
//   1842  JSON_QUERY          a JSON fragment, under the behaviour flags below
//   1845-1849 JSON_VALUE_*    a typed scalar, under the behaviour flags below
//   1843  JSON_REPLACE        a copy of the document with every match replaced
//
// Paths are compiled through a PathCache held by the functor: once per batch for a constant path, once
// per change of text for a column of paths. A path that does not compile, or an evaluation that runs
// over the engine's step limit, is an error of the row (query functions) or the zero result.
// Cardinality, existence and JSON_VALUE read their match in the document (JsonPath::summarize: no copy,
// no allocation for a path of names and indexes); JSON_QUERY and JSON_REPLACE build copies.
//
// Behaviour flags (bits): 4 DEFAULT ON EMPTY, 8 ERROR ON EMPTY, 16 EMPTY ARRAY ON EMPTY, 32 EMPTY
// OBJECT ON EMPTY, 128 DEFAULT ON ERROR, 256 ERROR ON ERROR, 512 EMPTY ARRAY ON ERROR, 1024 EMPTY OBJECT
// ON ERROR, 4096 WITH ARRAY WRAPPER, 8192 WITH CONDITIONAL ARRAY WRAPPER, 65536 scalars allowed without
// a wrapper. Only ERROR ON EMPTY and ERROR ON ERROR end the call (VelaException, status code 5).
//
// An input whose state is an error (2 or more) passes its state on: the first such input, in push order.
//
// JSON_VALUE conversions of the single scalar match:
//   bool    a boolean as it is, an integer as != 0; anything else fails "Not a bool"
//   int, long  integers within the signed 64-bit range (an int keeps the low 32 bits), booleans as 0/1,
//   floating numbers truncated
//           toward zero when they fit the 64-bit range, strings holding a whole decimal integer;
//           anything else fails "Not an integer"
//   double  numbers, strings holding a whole decimal number; anything else fails "Not a double"
//   string  a string's bytes; numbers and booleans as their JSON text

#include <charconv>
#include <cmath>
#include <cstdint>
#include <limits>
#include <string>

#include "base/Logging.h"
#include "functions/json/JsonOps.h"
#include "functions/text/StringOps.h"

namespace vela::cuda {

namespace {

using namespace jsonops;

constexpr std::string_view kSourcePath = "functions/json/JsonQuery.cpp";

/// The status code of the exception that ends a query call.
constexpr StatusEnum kQueryFailure = static_cast<StatusEnum>(5);

enum Flag : std::int32_t {
  kDefaultOnEmpty = 4,
  kErrorOnEmpty = 8,
  kEmptyArrayOnEmpty = 16,
  kEmptyObjectOnEmpty = 32,
  kDefaultOnError = 128,
  kErrorOnError = 256,
  kEmptyArrayOnError = 512,
  kEmptyObjectOnError = 1024,
  kWrapper = 4096,
  kConditionalWrapper = 8192,
  kScalarsAllowed = 65536,
};

enum class Outcome { Value, Null, Empty, Error };

[[noreturn]] void raise(std::string message) {
  throw VelaException(VelaWhat::Evaluation, locationSuffix(kSourcePath, __LINE__),
                      Status(kQueryFailure, std::move(message)));
}

/// The row's state from its outcome; ends the call for ERROR ON EMPTY and ERROR ON ERROR.
State settle(std::int32_t flags, bool defaultNull, Outcome outcome, const std::string& error) {
  switch (outcome) {
  case Outcome::Null:
    return RPN_EVAL_NULL;
  case Outcome::Error:
    if (flags & kErrorOnError)
      raise(error);
    if (flags & kDefaultOnError)
      return defaultNull ? RPN_EVAL_NULL : RPN_EVAL_OK;
    return (flags & (kEmptyArrayOnError | kEmptyObjectOnError)) ? RPN_EVAL_OK : RPN_EVAL_NULL;
  case Outcome::Empty:
    if (flags & kErrorOnEmpty)
      raise("Empty JSON returned from query");
    if (flags & kDefaultOnEmpty)
      return defaultNull ? RPN_EVAL_NULL : RPN_EVAL_OK;
    return (flags & (kEmptyArrayOnEmpty | kEmptyObjectOnEmpty)) ? RPN_EVAL_OK : RPN_EVAL_NULL;
  case Outcome::Value:
    break;
  }
  return RPN_EVAL_OK;
}

/// The first error state among the inputs, or 0.
template <class... S>
State firstError(S... states) {
  State found = RPN_EVAL_OK;
  ((found = found == RPN_EVAL_OK && states >= RPN_EVAL_DIVIDE_BY_ZERO ? states : found), ...);
  return found;
}

struct CardinalityFunc : PrefetchesDocument {
  PathCache paths;
  std::int32_t operator()(JsonCell doc, StringCell path) const {
    if (doc == nullptr || path == nullptr)
      return 0;
    JsonPath::MatchSummary matches;
    std::string error;
    if (!summarizePath(paths, *doc, path, matches, error) || matches.count != 1)
      return 0;
    const JsonValue& match = *matches.first;
    return match.is_structured() ? strops::clampToInt(match.size()) : 1;
  }
};

struct ExistsFunc : PrefetchesDocument {
  PathCache paths;
  Bool operator()(JsonCell doc, StringCell path) const {
    if (doc == nullptr || path == nullptr)
      return 0;
    return pathMatches(paths, *doc, path) ? 1 : 0;
  }
};

struct QueryFunc : PrefetchesDocument {
  PathCache paths;
  void operator()(EvalOutputJson out, JsonCell doc, StringCell path, std::int32_t flags, State sd, State sp,
                  State sf, State& state) const {
    if (const State e = firstError(sd, sp, sf); e != RPN_EVAL_OK) {
      state = e;
      return out.writeNull();
    }
    if (doc == nullptr || path == nullptr || sd == RPN_EVAL_NULL || sp == RPN_EVAL_NULL ||
        sf == RPN_EVAL_NULL) {
      state = RPN_EVAL_NULL;
      return out.writeNull();
    }
    JsonValue matches;
    std::string error;
    Outcome outcome = Outcome::Value;
    const bool wrapped = (flags & (kWrapper | kConditionalWrapper)) != 0;
    if (!evaluatePath(paths, *doc, path, matches, error)) {
      outcome = Outcome::Error;
    } else if (!matches.is_array() || matches.empty()) {
      outcome = Outcome::Empty;
    } else if (matches.size() == 1) {
      const JsonValue& match = matches[0];
      if (match.is_null()) {
        outcome = Outcome::Null;
      } else if (!match.is_structured() && !wrapped && !(flags & kScalarsAllowed)) {
        outcome = Outcome::Error;
        error = "Scalar value returned";
      }
    } else if (!wrapped) {
      outcome = Outcome::Error;
      error = "More than one value returned";
    }
    state = settle(flags, true, outcome, error);
    if (state == RPN_EVAL_NULL)
      return out.writeNull();
    if ((outcome == Outcome::Empty && (flags & kEmptyArrayOnEmpty)) ||
        (outcome == Outcome::Error && (flags & kEmptyArrayOnError)))
      return writeValue(out, JsonValue::array());
    if ((outcome == Outcome::Empty && (flags & kEmptyObjectOnEmpty)) ||
        (outcome == Outcome::Error && (flags & kEmptyObjectOnError)))
      return writeValue(out, JsonValue::object());
    if ((flags & kConditionalWrapper) && matches.size() == 1 && matches[0].is_structured())
      return writeValue(out, std::move(matches[0]));
    if (wrapped)
      return writeValue(out, std::move(matches));
    writeValue(out, std::move(matches[0]));
  }
};

// --- JSON_VALUE conversions ------------------------------------------------------------------------

// Each conversion sets `out` and returns null, or returns its failure message and leaves `out` as it
// is. Failures are ordinary rows (a few percent of a real column), so they are not thrown: an exception
// costs more than the whole path lookup.

template <class T>
bool parseWhole(const std::string& s, T& v) {
  const char* end = s.data() + s.size();
  const auto [p, ec] = std::from_chars(s.data(), end, v);
  return ec == std::errc() && p == end && !s.empty();
}

const char* toBool(const JsonValue& v, Bool& out) {
  if (v.is_boolean())
    out = v.get<bool>() ? 1 : 0;
  else if (v.is_number_integer())
    out = v.get<std::int64_t>() != 0 || v.get<std::uint64_t>() != 0 ? 1 : 0;
  else
    return "Not a bool";
  return nullptr;
}

const char* toLong(const JsonValue& v, long& out) {
  switch (v.type()) {
  case JsonValue::value_t::number_integer:
    out = v.get<std::int64_t>();
    return nullptr;
  case JsonValue::value_t::number_unsigned:
    if (v.get<std::uint64_t>() > static_cast<std::uint64_t>(std::numeric_limits<long>::max()))
      break;
    out = static_cast<long>(v.get<std::uint64_t>());
    return nullptr;
  case JsonValue::value_t::boolean:
    out = v.get<bool>() ? 1 : 0;
    return nullptr;
  case JsonValue::value_t::number_float: {
    const double d = v.get<double>();
    // [-2^63, 2^63): the doubles whose truncation fits
    if (!(std::isfinite(d) && d >= -9223372036854775808.0 && d < 9223372036854775808.0))
      break;
    out = static_cast<long>(d);
    return nullptr;
  }
  case JsonValue::value_t::string:
    if (long parsed = 0; parseWhole(v.get_ref<const std::string&>(), parsed)) {
      out = parsed;
      return nullptr;
    }
    break;
  default:
    break;
  }
  return "Not an integer";
}

const char* toDouble(const JsonValue& v, double& out) {
  if (v.is_number()) {
    out = v.get<double>();
    return nullptr;
  }
  if (double parsed = 0; v.is_string() && parseWhole(v.get_ref<const std::string&>(), parsed)) {
    out = parsed;
    return nullptr;
  }
  return "Not a double";
}

template <class Out>
const char* convert(const JsonValue& v, Out& out) {
  if constexpr (std::is_same_v<Out, Bool>) {
    return toBool(v, out);
  } else if constexpr (std::is_same_v<Out, double>) {
    return toDouble(v, out);
  } else {
    long wide = 0;
    const char* failure = toLong(v, wide);
    if (failure == nullptr)
      out = static_cast<Out>(wide); // an int keeps the low 32 bits
    return failure;
  }
}

/// The row's outcome and, for a value, the single scalar match (in the document).
Outcome valueOutcome(const PathCache& paths, JsonCell doc, StringCell path, const JsonValue*& match,
                     std::string& error) {
  JsonPath::MatchSummary matches;
  if (!summarizePath(paths, *doc, path, matches, error))
    return Outcome::Error;
  if (matches.count == 0)
    return Outcome::Empty;
  if (matches.count > 1) {
    error = "More than one value returned";
    return Outcome::Error;
  }
  match = matches.first;
  if (match->is_null())
    return Outcome::Null;
  if (match->is_structured()) {
    error = "Non-scalar value returned";
    return Outcome::Error;
  }
  return Outcome::Value;
}

template <class Out>
struct ValueFunc : PrefetchesDocument {
  PathCache paths;
  Out operator()(JsonCell doc, StringCell path, Out fallback, std::int32_t flags, State sd, State sp,
                 State sv, State sf, State& state) const {
    if (const State e = firstError(sd, sp, sv, sf); e != RPN_EVAL_OK) {
      state = e;
      return Out{};
    }
    if (doc == nullptr || path == nullptr || sd == RPN_EVAL_NULL || sp == RPN_EVAL_NULL) {
      state = RPN_EVAL_NULL;
      return Out{};
    }
    const JsonValue* match = nullptr;
    std::string error;
    Outcome outcome = valueOutcome(paths, doc, path, match, error);
    Out result{};
    if (outcome == Outcome::Value) {
      if (const char* failure = convert<Out>(*match, result)) {
        outcome = Outcome::Error;
        error = failure;
      }
    }
    state = settle(flags, sv == RPN_EVAL_NULL, outcome, error);
    if (state == RPN_EVAL_NULL)
      return Out{};
    if ((outcome == Outcome::Empty && (flags & kDefaultOnEmpty)) ||
        (outcome == Outcome::Error && (flags & kDefaultOnError)))
      return fallback;
    return result;
  }
};

struct ValueStringFunc : PrefetchesDocument {
  PathCache paths;
  void operator()(EvalOutputString out, JsonCell doc, StringCell path, StringCell fallback,
                  std::int32_t flags, State sd, State sp, State sv, State sf, State& state) const {
    if (const State e = firstError(sd, sp, sv, sf); e != RPN_EVAL_OK) {
      state = e;
      return out.writeNull();
    }
    if (doc == nullptr || path == nullptr || sd == RPN_EVAL_NULL || sp == RPN_EVAL_NULL) {
      state = RPN_EVAL_NULL;
      return out.writeNull();
    }
    const JsonValue* match = nullptr;
    std::string error;
    const Outcome outcome = valueOutcome(paths, doc, path, match, error);
    state = settle(flags, sv == RPN_EVAL_NULL || fallback == nullptr, outcome, error);
    if (state == RPN_EVAL_NULL)
      return out.writeNull();
    if ((outcome == Outcome::Empty && (flags & kDefaultOnEmpty)) ||
        (outcome == Outcome::Error && (flags & kDefaultOnError)))
      return out.writeInput(fallback);
    if (outcome != Outcome::Value)
      return strops::writeEmpty(out); // an empty array or object asked for: no text form
    if (match->is_string())
      return out.write(std::string_view(match->get_ref<const std::string&>()));
    out.write(std::string_view(JsonValueUtils::writeJson(*match, true)));
  }
};

struct ReplaceFunc : PrefetchesDocument {
  PathCache paths;
  void operator()(EvalOutputJson out, JsonCell doc, StringCell path, JsonCell replacement,
                  State& state) const {
    if (doc == nullptr || path == nullptr) {
      state = RPN_EVAL_NULL;
      return out.writeNull();
    }
    std::string error;
    const JsonPath* compiled = paths.get(path, error);
    if (compiled == nullptr) {
      state = RPN_EVAL_NULL;
      return out.writeNull();
    }
    static const JsonValue kNull;
    JsonValue replaced;
    try {
      replaced = compiled->replace(*doc, replacement == nullptr ? kNull : *replacement);
    } catch (const VelaException&) {
      state = RPN_EVAL_NULL; // over the step limit
      return out.writeNull();
    }
    writeValue(out, std::move(replaced));
  }
};

bool registerJsonQuery() {
  using Str = StringCell;
  const OpRegistration ops[] = {
      opEntry<ElementwiseOp<CardinalityFunc, std::int32_t, JsonCell, Str>>(1822),
      opEntry<ElementwiseOp<ExistsFunc, Bool, JsonCell, Str>>(1840),
      opEntry<JsonResultOpWithState<QueryFunc, JsonCell, Str, std::int32_t, State, State, State>>(1842),
      opEntry<ElementwiseOpWithState<ValueFunc<Bool>, Bool, JsonCell, Str, Bool, std::int32_t, State, State,
                                     State, State>>(1845),
      opEntry<ElementwiseOpWithState<ValueFunc<double>, double, JsonCell, Str, double, std::int32_t, State,
                                     State, State, State>>(1846),
      opEntry<ElementwiseOpWithState<ValueFunc<std::int32_t>, std::int32_t, JsonCell, Str, std::int32_t,
                                     std::int32_t, State, State, State, State>>(1847),
      opEntry<ElementwiseOpWithState<ValueFunc<long>, long, JsonCell, Str, long, std::int32_t, State, State,
                                     State, State>>(1848),
      opEntry<strops::StringResultOpWithState<ValueStringFunc, JsonCell, Str, Str, std::int32_t, State, State,
                                              State, State>>(1849),
      opEntry<JsonResultOpWithState<ReplaceFunc, JsonCell, Str, JsonCell>>(1843),
  };
  return registerOps(OpFamily::String, ops);
}

[[maybe_unused]] const bool kRegistered = registerJsonQuery();

} // namespace

} // namespace vela::cuda
