#include "base/ParserUtils.h"

#include <algorithm>
#include <array>
#include <deque>
#include <mutex>
#include <string>
#include <unordered_map>

#include "base/VelaException.h"

namespace vela::ParserUtils {

namespace {

struct TypeRow {
  RpnDataType type;
  const char* shortName;
  std::size_t width;
};

// Short names as the catalogue rows spell them, and cell widths.
constexpr TypeRow kTypes[kNumRpnDataTypes] = {
    {RpnDataType::Bool, "bool", 1},         {RpnDataType::Int8, "i8", 1},
    {RpnDataType::Int16, "i16", 2},         {RpnDataType::Int32, "i32", 4},
    {RpnDataType::UInt32, "u32", 4},        {RpnDataType::Int64, "i64", 8},
    {RpnDataType::UInt64, "u64", 8},        {RpnDataType::Dec64, "dec64", 8},
    {RpnDataType::Dec128, "dec128", 12},    {RpnDataType::Float32, "f32", 4},
    {RpnDataType::Float64, "f64", 8},       {RpnDataType::UInt128, "u128", 16},
    {RpnDataType::Uuid, "uuid", 16},        {RpnDataType::Ipv4, "ipv4", 4},
    {RpnDataType::Date, "date", 4},         {RpnDataType::Time, "time", 4},
    {RpnDataType::DateTime, "datetime", 8}, {RpnDataType::Timestamp, "timestamp", 8},
    {RpnDataType::Char1, "char1", 1},       {RpnDataType::Char2, "char2", 2},
    {RpnDataType::Char4, "char4", 4},       {RpnDataType::Char8, "char8", 8},
    {RpnDataType::Char16, "char16", 16},    {RpnDataType::Char32, "char32", 32},
    {RpnDataType::Char64, "char64", 64},    {RpnDataType::Char128, "char128", 128},
    {RpnDataType::String, "string", 8},     {RpnDataType::Char256, "char256", 256},
    {RpnDataType::Geometry, "geometry", 8}, {RpnDataType::Json, "json", 8},
    {RpnDataType::Array, "array", 8},       {RpnDataType::Vector, "vector", 8},
    {RpnDataType::List, "list", 8},         {RpnDataType::String2, "string2", 8},
    {RpnDataType::NullState, "state", 0},   {RpnDataType::NullStateOnly, "state_only", 0},
    {RpnDataType::Pip, "pip", 8},           {RpnDataType::None, "none", 0},
};

constexpr bool typesInCodeOrder() {
  for (int i = 0; i < kNumRpnDataTypes; ++i)
    if (static_cast<int>(kTypes[i].type) != i)
      return false;
  return true;
}
static_assert(typesInCodeOrder(), "kTypes is indexed by type code");

struct RawRow {
  int code;
  const char* name;
  OpFamily family;
  const char* result;
  const char* operands;
  int statesIn;
  int statesOut;
  const char* flags;
};

// The catalogue, family by family; a family file not yet written leaves its codes unassigned (the
// catalogue test insists on every file being complete).
constexpr RawRow kRawRows[] = {
#define OP(code, name, family, result, operands, statesIn, statesOut, flags)                                 \
  {code, name, OpFamily::family, result, operands, statesIn, statesOut, flags},
#include "base/catalogue/noop.def"
#if __has_include("base/catalogue/value.def")
#include "base/catalogue/value.def"
#endif
#if __has_include("base/catalogue/compare.def")
#include "base/catalogue/compare.def"
#endif
#if __has_include("base/catalogue/math.def")
#include "base/catalogue/math.def"
#endif
#if __has_include("base/catalogue/null.def")
#include "base/catalogue/null.def"
#endif
#if __has_include("base/catalogue/char.def")
#include "base/catalogue/char.def"
#endif
#if __has_include("base/catalogue/char2.def")
#include "base/catalogue/char2.def"
#endif
#if __has_include("base/catalogue/string.def")
#include "base/catalogue/string.def"
#endif
#if __has_include("base/catalogue/datetime.def")
#include "base/catalogue/datetime.def"
#endif
#if __has_include("base/catalogue/geo.def")
#include "base/catalogue/geo.def"
#endif
#undef OP
};

[[noreturn]] void badRow(const RawRow& row, const std::string& what) {
  throw VelaException(VelaWhat::Internal,
                      "op catalogue row " + std::to_string(row.code) + " (" + row.name + "): " + what);
}

RpnDataType typeOrThrow(const RawRow& row, std::string_view name) {
  RpnDataType t = rpnDataTypeFromShortName(name);
  if (t == RpnDataType::None && name != "none")
    badRow(row, "unknown type " + std::string(name));
  return t;
}

struct Catalogue {
  std::array<OpInfo, kNumOps> ops{};
  std::unordered_map<std::string_view, const OpInfo*> byName;

  Catalogue() {
    for (int c = 0; c < kNumOps; ++c) {
      ops[c].code = c;
      ops[c].name = "";
    }
    for (const RawRow& row : kRawRows) {
      if (row.code < 0 || row.code >= kNumOps)
        badRow(row, "code out of range");
      OpInfo& op = ops[row.code];
      if (*op.name)
        badRow(row, "code defined twice");
      op.name = row.name;
      op.family = row.family;
      std::string_view result = row.result;
      if (result.starts_with("list_")) {
        op.result = RpnDataType::List;
        op.listElement = typeOrThrow(row, result.substr(5));
      } else {
        op.result = typeOrThrow(row, result);
      }
      std::string_view rest = row.operands;
      while (!rest.empty()) {
        auto space = rest.find(' ');
        std::string_view t = rest.substr(0, space);
        if (op.numOperands == OpInfo::kMaxOperands)
          badRow(row, "too many operands");
        // "any" accepts a value of whatever type is on the stack; it is recorded as None.
        op.operands[op.numOperands++] = t == "any" ? RpnDataType::None : typeOrThrow(row, t);
        rest = space == std::string_view::npos ? std::string_view{} : rest.substr(space + 1);
      }
      op.statesIn = static_cast<std::uint8_t>(row.statesIn);
      op.statesOut = static_cast<std::uint8_t>(row.statesOut);
      for (const char* f = row.flags; *f; ++f) {
        switch (*f) {
        case 'N':
          op.nullProducing = true;
          break;
        case 'E':
          op.errorProducing = true;
          break;
        case 'H':
          op.expensiveHostOnly = true;
          break;
        case 'O':
          op.open = true;
          break;
        default:
          badRow(row, "unknown flag");
        }
      }
      if (!byName.emplace(op.name, &op).second)
        badRow(row, "name used twice");
    }
    // Codes whose family file is not written yet: unassigned, named by code.
    for (OpInfo& op : ops) {
      if (!*op.name) {
        missingNames.push_back("UNASSIGNED_" + std::to_string(op.code));
        op.name = missingNames.back().c_str();
      }
    }
  }
  std::deque<std::string> missingNames; // stable addresses for the names above
};

const Catalogue& catalogue() {
  static const Catalogue instance;
  return instance;
}

int stackEffectMax(const std::vector<TypedRpnElement>& program, bool states) {
  long depth = 0, deepest = 0;
  for (const TypedRpnElement& e : program) {
    const OpInfo* op = opInfo(e.op);
    if (!op)
      continue;
    long pops = states ? op->statesIn : op->numOperands;
    long pushes = states ? op->statesOut : (op->pushesValue() ? 1 : 0);
    depth = depth > pops ? depth - pops : 0;
    depth += pushes;
    deepest = std::max(deepest, depth);
  }
  return static_cast<int>(deepest);
}

} // namespace

std::size_t get_rpn_datatype_size(RpnDataType type) {
  auto i = static_cast<int>(type);
  return i >= 0 && i < kNumRpnDataTypes ? kTypes[i].width : 0;
}

bool isObjectType(RpnDataType type) {
  switch (type) {
  case RpnDataType::String:
  case RpnDataType::Geometry:
  case RpnDataType::Json:
  case RpnDataType::Array:
  case RpnDataType::Vector:
  case RpnDataType::String2:
    return true;
  default:
    return false;
  }
}

const char* rpnDataTypeShortName(RpnDataType type) {
  auto i = static_cast<int>(type);
  return i >= 0 && i < kNumRpnDataTypes ? kTypes[i].shortName : "none";
}

RpnDataType rpnDataTypeFromShortName(std::string_view name) {
  for (const TypeRow& t : kTypes)
    if (name == t.shortName)
      return t.type;
  return RpnDataType::None;
}

const char* opFamilyName(OpFamily family) {
  static constexpr const char* kNames[] = {"Value",  "Compare",  "Math", "Null", "Char",      "Char2",
                                           "String", "DateTime", "Geo",  "NoOp", "Unassigned"};
  return kNames[static_cast<int>(family)];
}

const OpInfo* opInfo(TypedRpnOp code) {
  return code >= 0 && code < kNumOps ? &catalogue().ops[static_cast<std::size_t>(code)] : nullptr;
}

const OpInfo* findOpByName(std::string_view name) {
  const auto& byName = catalogue().byName;
  auto it = byName.find(name);
  return it == byName.end() ? nullptr : it->second;
}

OpFamily opFamily(TypedRpnOp code) {
  const OpInfo* op = opInfo(code);
  return op ? op->family : OpFamily::Unassigned;
}

bool isNoOp(TypedRpnOp code) {
  return opFamily(code) == OpFamily::NoOp;
}

RpnDataType get_type(TypedRpnOp op) {
  const OpInfo* info = opInfo(op);
  return info ? info->result : RpnDataType::None;
}

bool isa_null_producing_function(TypedRpnOp op) {
  const OpInfo* info = opInfo(op);
  return info && info->nullProducing;
}

bool isa_error_producing_function(TypedRpnOp op) {
  const OpInfo* info = opInfo(op);
  return info && info->errorProducing;
}

bool is_expensive_host_only_function(TypedRpnOp op) {
  const OpInfo* info = opInfo(op);
  return info && info->expensiveHostOnly;
}

const char* get_trpn_op_name(TypedRpnOp op) {
  const OpInfo* info = opInfo(op);
  return info ? info->name : "UNKNOWN_OP";
}

std::size_t TypedRpnElement::get_type_size() const {
  const OpInfo* info = opInfo(op);
  if (!info)
    return 0;
  return get_rpn_datatype_size(info->result == RpnDataType::List ? info->listElement : info->result);
}

RpnDataType get_evaluated_type(const std::vector<TypedRpnElement>& program) {
  for (auto it = program.rbegin(); it != program.rend(); ++it) {
    const OpInfo* info = opInfo(it->op);
    if (info && info->pushesValue())
      return info->result;
  }
  return RpnDataType::None;
}

std::uint32_t get_max_stack_index(const std::vector<TypedRpnElement>& program) {
  int deepest = stackEffectMax(program, false);
  return deepest > 0 ? static_cast<std::uint32_t>(deepest - 1) : 0;
}

std::uint32_t get_max_null_stack_index(const std::vector<TypedRpnElement>& program) {
  int deepest = stackEffectMax(program, true);
  return deepest > 0 ? static_cast<std::uint32_t>(deepest - 1) : 0;
}

} // namespace vela::ParserUtils
