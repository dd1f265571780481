// String family: JSON values from text and from every other type, and JSON back to text.
//
//   601-609, 610  JSON_CAST_FROM_CHARN / _STRING   text -> JSON, status (any JSON document)
//   779, 2484     ARRAY_CAST_FROM_STRING[_STATUS]  text -> JSON, status (an array is required)
//   230, 231      column loads fused with the JSON status cast and the array cast
//   778           JSON_CAST_JSON_STATUS_ARRAY      a NULL row gets status 1
//   599           JSON_CAST_FROM_JSON              the value handed on unchanged
//   600, 652-710  JSON_CAST_FROM_NUMBER            bool and numbers as JSON booleans and numbers
//   1823-1830, 1850-1858  JSON_FROM_*              a value with its state; NULL becomes the JSON null
//   1857, 1891    JSON_FROM_STRING_VALUE, JSON_FROM_STRINGS
//   1833-1837     one-member objects
//   639, 640      the empty object and the empty array from any value
//   477, 487, 1841  the compact JSON text of a value
//
// Text casts: the text is read by JsonValueUtils::readJson with the array requirement. Empty text
// (status 6) and a valid document of the wrong kind (status 10) make the row NULL; text that is not JSON
// or nests deeper than the reader's limit ends the call with the reader's status.
//
// JSON_FROM_STRING_VALUE builds a JSON string holding the bytes as they are (no parsing). JSON_FROM_STRINGS
// builds the array of its three strings in push order, an absent string as the JSON null.
//
// Text output writes string bytes that are not UTF-8 (possible in values built from strings) as
// U+FFFD rather than failing; a NULL value gives the empty string.

#include <cstdint>
#include <string>

#include "base/Logging.h"
#include "functions/json/JsonOps.h"
#include "functions/scalar/CastZeroFromAny.h"
#include "functions/text/CharN.h"
#include "functions/text/StringOps.h"

namespace vela::cuda {

namespace {

using namespace jsonops;

constexpr std::string_view kSourcePath = "functions/json/JsonCasts.cpp";

// Reads one text into the row's slot; see the header comment for the statuses.
void castText(EvalOutputJson& out, std::string_view text, bool arrayRequired, State& state) {
  JsonValue value;
  Status status = JsonValueUtils::readJson(text, value, arrayRequired);
  if (status.ok())
    return writeValue(out, std::move(value));
  out.writeNull();
  if (status.kind() == JsonValueUtils::kJsonEmptyText || status.kind() == JsonValueUtils::kJsonNotAnArray) {
    state = RPN_EVAL_NULL;
    return;
  }
  throw VelaException(VelaWhat::Evaluation, locationSuffix(kSourcePath, __LINE__), std::move(status));
}

template <bool ArrayRequired>
struct CastJsonStringFunc {
  void operator()(EvalOutputJson out, StringCell s, State& state) const {
    if (s == nullptr) {
      out.writeNull();
      state = RPN_EVAL_NULL;
      return;
    }
    castText(out, s->view(), ArrayRequired, state);
  }
  // The form that reads the text's state first: an error passes on, NULL stays NULL.
  void operator()(EvalOutputJson out, StringCell s, State in, State& state) const {
    if (in != RPN_EVAL_OK) {
      out.writeNull();
      state = in;
      return;
    }
    (*this)(out, s, state);
  }
};

template <class C>
struct CastJsonCharFunc {
  void operator()(EvalOutputJson out, C cell, State& state) const {
    char text[sizeof(C)];
    const int n = charn::toText(cell, text);
    castText(out, std::string_view(text, static_cast<std::size_t>(n)), false, state);
  }
};

// Column loads fused with a cast: a NULL cell gets status 1; the array form also a non-array.
template <bool ArrayRequired>
struct StatusPassFunc {
  void operator()(EvalOutputJson out, JsonCell v, State& state) const {
    if (v == nullptr || (ArrayRequired && !v->is_array())) {
      out.writeNull();
      state = RPN_EVAL_NULL;
      return;
    }
    out.writeInput(v);
  }
};

template <bool ArrayRequired>
struct LoadCastOp {
  template <class E>
  static void eval(E& e) {
    e.template evalVarFuncResult<JsonCell, EvalOutputJson>(StatusPassFunc<ArrayRequired>{});
  }
};

struct PassFunc {
  void operator()(EvalOutputJson out, JsonCell v) const { out.writeInput(v); }
};

struct NumberFunc {
  void operator()(EvalOutputJson out, Bool v) const { writeValue(out, JsonValue(v != 0)); }
  void operator()(EvalOutputJson out, std::int8_t v) const { writeValue(out, JsonValue(std::int64_t{v})); }
  void operator()(EvalOutputJson out, std::int16_t v) const { writeValue(out, JsonValue(std::int64_t{v})); }
  void operator()(EvalOutputJson out, std::int32_t v) const { writeValue(out, JsonValue(std::int64_t{v})); }
  void operator()(EvalOutputJson out, long v) const { writeValue(out, JsonValue(std::int64_t{v})); }
  void operator()(EvalOutputJson out, unsigned long v) const { writeValue(out, JsonValue(std::uint64_t{v})); }
  void operator()(EvalOutputJson out, float v) const { writeValue(out, JsonValue(double{v})); }
  void operator()(EvalOutputJson out, double v) const { writeValue(out, JsonValue(v)); }
  void operator()(EvalOutputJson out, StringCell v) const {
    writeValue(out, JsonValue(std::string(textOf(v))));
  }
  void operator()(EvalOutputJson out, JsonCell v) const { out.writeInput(v); }
};

// JSON_FROM_*: the value with its state. A NULL row becomes the JSON null with status 0; an error state
// passes on with a null value.
template <class T>
struct FromValueFunc {
  void operator()(EvalOutputJson out, T v, State in, State& state) const {
    if (in >= RPN_EVAL_DIVIDE_BY_ZERO) {
      state = in;
      return out.writeNull();
    }
    if (in == RPN_EVAL_NULL || (std::is_pointer_v<T> && v == T{}))
      return writeValue(out, JsonValue(nullptr));
    NumberFunc{}(out, v);
  }
};

// JSON_FROM_NULL: only the state of the value is read; every row that is not an error is the JSON null.
struct FromNullFunc {
  void operator()(EvalOutputJson out, State in, State& state) const {
    if (in >= RPN_EVAL_DIVIDE_BY_ZERO) {
      state = in;
      return out.writeNull();
    }
    writeValue(out, JsonValue(nullptr));
  }
};

struct FromNullOp {
  template <class E>
  static void eval(E& e) {
    auto s = e.template popInput<State>();
    zero_from_any_detail::popAnyValue(e);
    auto states = e.template prepareOutput<State>();
    auto out = e.template prepareOutput<EvalOutputJson>();
    e.runKernelWithState(FromNullFunc{}, out, states, s);
    e.push(std::move(states));
    e.push(std::move(out));
  }
};

struct FromStringsFunc {
  void operator()(EvalOutputJson out, StringCell a, StringCell b, StringCell c, State&) const {
    JsonValue array = JsonValue::array();
    for (StringCell s : {a, b, c})
      array.push_back(s == nullptr ? JsonValue(nullptr) : JsonValue(std::string(s->view())));
    writeValue(out, std::move(array));
  }
};

// One-member objects: a NULL key gives a NULL row; an absent member value is the JSON null.
struct ObjectFunc {
  template <class T>
  void operator()(EvalOutputJson out, StringCell key, T v, State& state) const {
    if (key == nullptr) {
      state = RPN_EVAL_NULL;
      return out.writeNull();
    }
    JsonValue member;
    if constexpr (std::is_same_v<T, StringCell>)
      member = v == nullptr ? JsonValue(nullptr) : JsonValue(std::string(v->view()));
    else if constexpr (std::is_same_v<T, JsonCell>)
      member = v == nullptr ? JsonValue(nullptr) : JsonValueUtils::copyJson(*v);
    else
      member = JsonValue(v);
    JsonValue object = JsonValue::object();
    object.get_ref<JsonValue::object_t&>().try_emplace(std::string(key->view()), std::move(member));
    writeValue(out, std::move(object));
  }
  void operator()(EvalOutputJson out, StringCell key, State& state) const {
    (*this)(out, key, JsonCell{nullptr}, state);
  }
};

/// The empty object (or array) every row of the EMPTY_FROM_ANY codes shares: created once, never freed,
/// pushed as a constant (copied into an owned value when it is the final result).
template <bool Array>
struct EmptyFromAnyOp {
  template <class E>
  static void eval(E& e) {
    static const JsonValue* const empty = new JsonValue(Array ? JsonValue::array() : JsonValue::object());
    zero_from_any_detail::popAnyValue(e);
    e.template evalConstValue<JsonCell>(empty);
  }
};

struct ToStringFunc {
  void operator()(EvalOutputString out, JsonCell v) const {
    if (v == nullptr)
      return strops::writeEmpty(out);
    const std::string text = JsonValueUtils::writeJson(*v, true);
    out.write(text);
  }
};

template <std::size_t N>
using CharCell = cell_of_width_t<N>;

bool registerJsonCasts() {
  using Str = StringCell;
  const OpRegistration ops[] = {
      opEntry<JsonResultOpWithState<CastJsonCharFunc<CharCell<1>>, CharCell<1>>>(601),
      opEntry<JsonResultOpWithState<CastJsonCharFunc<CharCell<2>>, CharCell<2>>>(602),
      opEntry<JsonResultOpWithState<CastJsonCharFunc<CharCell<4>>, CharCell<4>>>(603),
      opEntry<JsonResultOpWithState<CastJsonCharFunc<CharCell<8>>, CharCell<8>>>(604),
      opEntry<JsonResultOpWithState<CastJsonCharFunc<CharCell<16>>, CharCell<16>>>(605),
      opEntry<JsonResultOpWithState<CastJsonCharFunc<CharCell<32>>, CharCell<32>>>(606),
      opEntry<JsonResultOpWithState<CastJsonCharFunc<CharCell<64>>, CharCell<64>>>(607),
      opEntry<JsonResultOpWithState<CastJsonCharFunc<CharCell<128>>, CharCell<128>>>(608),
      opEntry<JsonResultOpWithState<CastJsonCharFunc<CharCell<256>>, CharCell<256>>>(609),
      opEntry<JsonResultOpWithState<CastJsonStringFunc<false>, Str>>(610),
      opEntry<JsonResultOpWithState<CastJsonStringFunc<true>, Str>>(779),
      opEntry<JsonResultOpWithState<CastJsonStringFunc<true>, Str, State>>(2484),
      opEntry<LoadCastOp<false>>(230),
      opEntry<LoadCastOp<true>>(231),
      opEntry<JsonResultOpWithState<StatusPassFunc<false>, JsonCell>>(778),
      opEntry<JsonResultOp<PassFunc, JsonCell>>(599),
      opEntry<JsonResultOp<NumberFunc, Bool>>(600),
      opEntry<JsonResultOp<NumberFunc, std::int8_t>>(652),
      opEntry<JsonResultOp<NumberFunc, std::int16_t>>(663),
      opEntry<JsonResultOp<NumberFunc, std::int32_t>>(674),
      opEntry<JsonResultOp<NumberFunc, long>>(685),
      opEntry<JsonResultOp<NumberFunc, unsigned long>>(696),
      opEntry<JsonResultOp<NumberFunc, float>>(703),
      opEntry<JsonResultOp<NumberFunc, double>>(710),
      opEntry<JsonResultOpWithState<FromValueFunc<Bool>, Bool, State>>(1823),
      opEntry<JsonResultOpWithState<FromValueFunc<long>, long, State>>(1824),
      opEntry<JsonResultOpWithState<FromValueFunc<double>, double, State>>(1825),
      opEntry<JsonResultOpWithState<FromValueFunc<std::int32_t>, std::int32_t, State>>(1826),
      opEntry<FromNullOp>(1827),
      opEntry<FromNullOp>(1828),
      opEntry<JsonResultOpWithState<FromValueFunc<Str>, Str, State>>(1829),
      opEntry<JsonResultOpWithState<FromValueFunc<JsonCell>, JsonCell, State>>(1830),
      opEntry<JsonResultOpWithState<FromValueFunc<Bool>, Bool, State>>(1850),
      opEntry<JsonResultOpWithState<FromValueFunc<long>, long, State>>(1851),
      opEntry<JsonResultOpWithState<FromValueFunc<double>, double, State>>(1852),
      opEntry<JsonResultOpWithState<FromValueFunc<std::int32_t>, std::int32_t, State>>(1853),
      opEntry<JsonResultOpWithState<FromValueFunc<JsonCell>, JsonCell, State>>(1854),
      opEntry<FromNullOp>(1855),
      opEntry<JsonResultOpWithState<FromValueFunc<Str>, Str, State>>(1856),
      opEntry<JsonResultOpWithState<FromValueFunc<Str>, Str, State>>(1857),
      opEntry<FromNullOp>(1858),
      opEntry<JsonResultOpWithState<FromStringsFunc, Str, Str, Str>>(1891),
      opEntry<JsonResultOpWithState<ObjectFunc, Str, long>>(1833),
      opEntry<JsonResultOpWithState<ObjectFunc, Str, double>>(1834),
      opEntry<JsonResultOpWithState<ObjectFunc, Str>>(1835),
      opEntry<JsonResultOpWithState<ObjectFunc, Str, Str>>(1836),
      opEntry<JsonResultOpWithState<ObjectFunc, Str, JsonCell>>(1837),
      opEntry<EmptyFromAnyOp<false>>(639),
      opEntry<EmptyFromAnyOp<true>>(640),
      opEntry<strops::StringResultOp<ToStringFunc, JsonCell>>(477),
      opEntry<strops::StringResultOp<ToStringFunc, JsonCell>>(487),
      opEntry<strops::StringResultOp<ToStringFunc, JsonCell>>(1841),
  };
  return registerOps(OpFamily::String, ops);
}

[[maybe_unused]] const bool kRegistered = registerJsonCasts();

} // namespace

} // namespace vela::cuda
