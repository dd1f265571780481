// String family: tests, comparisons, selections, hashes, merge and patch of JSON values (each code pair
// is the JSON form and the array form of one routine).
//
//   926-933   JSON_EQ ... JSON_GE       JsonValueUtils::compare: numbers by exact value across integer
//                                       and floating kinds, strings bytewise, arrays lexicographically,
//                                       objects as sorted member lists, and values of different kinds by
//                                       kind (null < boolean < number < object < array < string); an
//                                       absent operand gives false (the row is NULL anyway)
//   280, 281  JSON_IS_NULL              1 where the state is 1 (state then 0); error states pass on
//   1259, 1260 IS NOT DISTINCT FROM     first error state wins; both present: equality; else 1 exactly
//                                       when both are NULL
//   1225, 1226 JSON_IF                  a where the condition is non-zero, else b, handed on unchanged
//   314, 315  JSON_REMOVE_NULLABLE      a NULL row becomes a new empty object with state 0
//   1816      JSON_IS_KIND              0 container, 1 any, 2 array, 3 object, 4 non-null scalar
//   1844      JSON_TYPE                 the kind's name as a char8 cell
//   2218-2273 JSON_HASH*                MurmurHash3 x64 128 over the CBOR bytes (writeCbor)
//   1838      JSON_MERGE                a copy of a, plus every member of b whose key a lacks; when a or
//                                       b is not an object, the copy of a alone
//   1839      JSON_PATCH                the RFC 6902 operations of the patch applied to a copy of the
//                                       document; a patch that fails (a bad operation, a missing path, a
//                                       failed test) gives a NULL row

#include <cstdint>
#include <vector>

#include "base/MurmurHash3.h"
#include "functions/json/JsonOps.h"
#include "functions/scalar/Hashes.h"
#include "functions/scalar/ObjectSelect.h"
#include "functions/text/CharN.h"

namespace vela::cuda {

namespace {

using namespace jsonops;

template <class Cmp>
struct CompareFunc {
  Bool operator()(JsonCell a, JsonCell b) const {
    if (a == nullptr || b == nullptr)
      return 0;
    return Cmp{}(JsonValueUtils::compare(*a, *b)) ? 1 : 0;
  }
};
struct Eq {
  bool operator()(int c) const { return c == 0; }
};
struct Ne {
  bool operator()(int c) const { return c != 0; }
};
struct Lt {
  bool operator()(int c) const { return c < 0; }
};
struct Le {
  bool operator()(int c) const { return c <= 0; }
};
struct Gt {
  bool operator()(int c) const { return c > 0; }
};
struct Ge {
  bool operator()(int c) const { return c >= 0; }
};

struct IsNullFunc {
  Bool operator()(State s, State& state) const {
    state = s == RPN_EVAL_NULL ? RPN_EVAL_OK : s;
    return s == RPN_EVAL_NULL ? 1 : 0;
  }
};

struct IsNullOp {
  template <class E>
  static void eval(E& e) {
    auto s = e.template popInput<State>();
    (void)e.template popInput<JsonCell>();
    auto states = e.template prepareOutput<State>();
    auto out = e.template prepareOutput<Bool>();
    e.runKernelWithState(IsNullFunc{}, out, states, s);
    e.push(std::move(states));
    e.push(std::move(out));
  }
};

struct NotDistinctFunc {
  Bool operator()(JsonCell a, JsonCell b, State sa, State sb, State& state) const {
    if (sa >= RPN_EVAL_DIVIDE_BY_ZERO || sb >= RPN_EVAL_DIVIDE_BY_ZERO) {
      state = sa >= RPN_EVAL_DIVIDE_BY_ZERO ? sa : sb;
      return 0;
    }
    const bool nullA = sa == RPN_EVAL_NULL || a == nullptr, nullB = sb == RPN_EVAL_NULL || b == nullptr;
    if (!nullA && !nullB)
      return JsonValueUtils::compare(*a, *b) == 0 ? 1 : 0;
    return nullA && nullB ? 1 : 0;
  }
};

struct RemoveNullableFunc {
  void operator()(EvalOutputJson out, JsonCell v, State s, State& state) const {
    if (s == RPN_EVAL_NULL) {
      state = RPN_EVAL_OK;
      return writeValue(out, JsonValue::object());
    }
    state = s;
    out.writeInput(v);
  }
};

struct IsKindFunc {
  Bool operator()(JsonCell v, std::int32_t kind) const {
    if (v == nullptr)
      return 0;
    switch (kind) {
    case 0:
      return v->is_structured();
    case 1:
      return 1;
    case 2:
      return v->is_array();
    case 3:
      return v->is_object();
    case 4:
      return v->is_primitive() && !v->is_null();
    default:
      return 0;
    }
  }
};

using Char8 = cell_of_width_t<8>;

const char* typeName(const JsonValue& v) {
  switch (v.type()) {
  case JsonValue::value_t::array:
    return "ARRAY";
  case JsonValue::value_t::object:
    return "OBJECT";
  case JsonValue::value_t::string:
    return "STRING";
  case JsonValue::value_t::null:
    return "NULL";
  case JsonValue::value_t::boolean:
    return "BOOLEAN";
  case JsonValue::value_t::number_integer:
  case JsonValue::value_t::number_unsigned:
    return "LONG";
  case JsonValue::value_t::number_float:
    return "DOUBLE";
  default:
    return "null";
  }
}

// A NULL document leaves the cell as the output buffer holds it (zero: the empty char8).
struct TypeFunc {
  Char8 operator()(JsonCell v) const {
    if (v == nullptr)
      return charn::empty<Char8>();
    const std::string_view name = typeName(*v);
    return charn::fromText<Char8>(name.data(), name.size());
  }
};

Hash128 hashJson(JsonCell v, std::uint64_t seed1, std::uint64_t seed2) {
  thread_local std::vector<std::uint8_t> bytes;
  bytes.clear();
  if (v != nullptr)
    JsonValueUtils::writeCbor(*v, bytes);
  static constexpr std::uint8_t kNone = 0;
  return murmur3_x64_128(bytes.empty() ? &kNone : bytes.data(), bytes.size(), seed1, seed2);
}

struct Hash64Func {
  long operator()(JsonCell v, long seed) const {
    const auto u = static_cast<std::uint64_t>(seed);
    return static_cast<long>(hashJson(v, u, u).h1);
  }
};
struct Hash128SeededFunc {
  U128Cell operator()(JsonCell v, const U128Cell& seed) const {
    return hash_detail::toCell(hashJson(v, hash_detail::word(seed, 0), hash_detail::word(seed, 1)));
  }
};
struct Hash128Func {
  U128Cell operator()(JsonCell v) const { return hash_detail::toCell(hashJson(v, 10, 10)); }
};

struct MergeFunc {
  void operator()(EvalOutputJson out, JsonCell a, JsonCell b) const {
    if (a == nullptr)
      return out.writeNull();
    if (b == nullptr || !a->is_object() || !b->is_object() || b->empty())
      return out.writeInput(a);
    JsonValue merged = JsonValueUtils::copyJson(*a);
    auto& members = merged.get_ref<JsonValue::object_t&>();
    for (const auto& [key, member] : b->get_ref<const JsonValue::object_t&>())
      if (members.find(key) == members.end())
        members.emplace(key, JsonValueUtils::copyJson(member));
    writeValue(out, std::move(merged));
  }
};

struct PatchFunc {
  void operator()(EvalOutputJson out, JsonCell doc, JsonCell patch, State& state) const {
    if (doc == nullptr || patch == nullptr) {
      state = RPN_EVAL_NULL;
      return out.writeNull();
    }
    JsonValue patched;
    try {
      patched = doc->patch(*patch);
    } catch (const JsonValue::exception&) {
      state = RPN_EVAL_NULL;
      return out.writeNull();
    }
    writeValue(out, std::move(patched));
  }
};

bool registerJsonCompare() {
  const OpRegistration ops[] = {
      opEntry<ElementwiseOp<CompareFunc<Eq>, Bool, JsonCell, JsonCell>>(926),
      opEntry<ElementwiseOp<CompareFunc<Ne>, Bool, JsonCell, JsonCell>>(927),
      opEntry<ElementwiseOp<CompareFunc<Lt>, Bool, JsonCell, JsonCell>>(928),
      opEntry<ElementwiseOp<CompareFunc<Le>, Bool, JsonCell, JsonCell>>(929),
      opEntry<ElementwiseOp<CompareFunc<Gt>, Bool, JsonCell, JsonCell>>(930),
      opEntry<ElementwiseOp<CompareFunc<Ge>, Bool, JsonCell, JsonCell>>(931),
      opEntry<ElementwiseOp<CompareFunc<Eq>, Bool, JsonCell, JsonCell>>(932),
      opEntry<ElementwiseOp<CompareFunc<Ne>, Bool, JsonCell, JsonCell>>(933),
      opEntry<IsNullOp>(280),
      opEntry<IsNullOp>(281),
      opEntry<ElementwiseOpWithState<NotDistinctFunc, Bool, JsonCell, JsonCell, State, State>>(1259),
      opEntry<ElementwiseOpWithState<NotDistinctFunc, Bool, JsonCell, JsonCell, State, State>>(1260),
      opEntry<JsonResultOp<object_ops::SelectInputFunc<EvalOutputJson, JsonCell>, JsonCell, JsonCell, Bool>>(
          1225),
      opEntry<JsonResultOp<object_ops::SelectInputFunc<EvalOutputJson, JsonCell>, JsonCell, JsonCell, Bool>>(
          1226),
      opEntry<JsonResultOpWithState<RemoveNullableFunc, JsonCell, State>>(314),
      opEntry<JsonResultOpWithState<RemoveNullableFunc, JsonCell, State>>(315),
      opEntry<ElementwiseOp<IsKindFunc, Bool, JsonCell, std::int32_t>>(1816),
      opEntry<ElementwiseOp<TypeFunc, Char8, JsonCell>>(1844),
      opEntry<ElementwiseOp<Hash64Func, long, JsonCell, long>>(2218),
      opEntry<ElementwiseOp<Hash64Func, long, JsonCell, long>>(2219),
      opEntry<ElementwiseOp<Hash128SeededFunc, U128Cell, JsonCell, U128Cell>>(2244),
      opEntry<ElementwiseOp<Hash128SeededFunc, U128Cell, JsonCell, U128Cell>>(2245),
      opEntry<ElementwiseOp<Hash128Func, U128Cell, JsonCell>>(2272),
      opEntry<ElementwiseOp<Hash128Func, U128Cell, JsonCell>>(2273),
      opEntry<JsonResultOp<MergeFunc, JsonCell, JsonCell>>(1838),
      opEntry<JsonResultOpWithState<PatchFunc, JsonCell, JsonCell>>(1839),
  };
  return registerOps(OpFamily::String, ops);
}

[[maybe_unused]] const bool kRegistered = registerJsonCompare();

} // namespace

} // namespace vela::cuda
