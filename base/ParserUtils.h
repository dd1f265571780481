#pragma once
// The typed reverse-Polish program as the evaluators read it, and the program tables derived from the
// op catalogue (base/catalogue/*.def): result types, operands, flags and names of every op code.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

namespace vela::ParserUtils {

/// Data-type code of a value. Codes 26, 28-31 and 33-35 are fixed by the program format (object
/// pointers and state-only results); the scalar codes are this library's own numbering.
enum class RpnDataType : std::int32_t {
  Bool = 0,
  Int8 = 1,
  Int16 = 2,
  Int32 = 3,
  UInt32 = 4,
  Int64 = 5,
  UInt64 = 6,
  Dec64 = 7,
  Dec128 = 8,
  Float32 = 9,
  Float64 = 10,
  UInt128 = 11,
  Uuid = 12,      // 16 bytes
  Ipv4 = 13,      // held as i32
  Date = 14,      // packed date, held as i32
  Time = 15,      // packed time, held as i32
  DateTime = 16,  // packed datetime, held as i64
  Timestamp = 17, // milliseconds since 1970-01-01, held as i64
  Char1 = 18,
  Char2 = 19,
  Char4 = 20,
  Char8 = 21,
  Char16 = 22,
  Char32 = 23,
  Char64 = 24,
  Char128 = 25,
  String = 26, // InlineBuffer<char>*
  Char256 = 27,
  Geometry = 28, // geos::geom::Geometry*
  Json = 29,     // JSON value*
  Array = 30,    // JSON value* holding an array
  Vector = 31,   // InlineBuffer<float>*
  List = 32,     // TypedVec* of a list constant
  String2 = 33,  // InlineBuffer<char>*, a second string-like kind
  NullState = 34,
  NullStateOnly = 35,
  Pip = 36, // point-in-polygon index*
  None = 37,
};
inline constexpr int kNumRpnDataTypes = 38;

/// Byte width of one value cell of the type: 8 for object pointers, 0 for None and state-only types.
std::size_t get_rpn_datatype_size(RpnDataType type);
bool isObjectType(RpnDataType type);
/// Catalogue short name ("i32", "char8", "string", ...) of a type, and the reverse lookup (None when
/// unknown). A list's short name is "list".
const char* rpnDataTypeShortName(RpnDataType type);
RpnDataType rpnDataTypeFromShortName(std::string_view name);

/// Precision and scale bytes of an element's exact-decimal operation. Byte 0 result precision, byte 1
/// result scale, byte 12 + 2k precision and byte 13 + 2k scale of argument k; the other bytes are
/// carried unread.
struct EvalInfo {
  std::int8_t bytes[24] = {};

  std::int8_t precision() const { return bytes[0]; }
  std::int8_t scale() const { return bytes[1]; }
  std::int8_t argPrecision(int k) const { return bytes[12 + 2 * k]; }
  std::int8_t argScale(int k) const { return bytes[13 + 2 * k]; }
  EvalInfo& setResult(int precision, int scale) {
    bytes[0] = static_cast<std::int8_t>(precision);
    bytes[1] = static_cast<std::int8_t>(scale);
    return *this;
  }
  EvalInfo& setArg(int k, int precision, int scale) {
    bytes[12 + 2 * k] = static_cast<std::int8_t>(precision);
    bytes[13 + 2 * k] = static_cast<std::int8_t>(scale);
    return *this;
  }
};
static_assert(sizeof(EvalInfo) == 24);

/// A constant list: `count` values of the owning element's type, and an optional parallel array of
/// `count` 32-bit integers.
struct TypedVec {
  std::uint32_t count = 0;
  const void* values = nullptr;
  const std::int32_t* aux = nullptr;
};
static_assert(sizeof(TypedVec) == 24 && offsetof(TypedVec, values) == 8 && offsetof(TypedVec, aux) == 16);

using TypedRpnOp = std::int32_t;
inline constexpr TypedRpnOp kNumOps = 2650;

/// One program instruction.
struct TypedRpnElement {
  TypedRpnOp op = 0;
  /// Column index, constant bytes or object/list pointer, depending on the op.
  alignas(8) unsigned char operand[256] = {};
  EvalInfo info;

  std::int32_t columnIndex() const {
    std::int32_t c;
    std::memcpy(&c, operand, sizeof c);
    return c;
  }
  template <class T>
  T operandAs() const {
    static_assert(sizeof(T) <= sizeof(operand));
    T v;
    std::memcpy(&v, operand, sizeof v);
    return v;
  }
  /// Width of one value of the element's type; for a list constant, of one list value.
  std::size_t get_type_size() const;
};
static_assert(offsetof(TypedRpnElement, op) == 0 && offsetof(TypedRpnElement, operand) == 8 &&
              offsetof(TypedRpnElement, info) == 264 && sizeof(TypedRpnElement) == 288);

/// The handler an op code is routed to.
enum class OpFamily : std::uint8_t {
  Value,
  Compare,
  Math,
  Null,
  Char,
  Char2,
  String,
  DateTime,
  Geo,
  NoOp,
  Unassigned,
};
const char* opFamilyName(OpFamily family);

/// One catalogue row, decoded.
struct OpInfo {
  static constexpr int kMaxOperands = 12;
  TypedRpnOp code = 0;
  const char* name = "";
  OpFamily family = OpFamily::Unassigned;
  RpnDataType result = RpnDataType::None;
  /// Type of the values of a list constant (result List); None otherwise.
  RpnDataType listElement = RpnDataType::None;
  std::uint8_t numOperands = 0;
  RpnDataType operands[kMaxOperands] = {};
  std::uint8_t statesIn = 0;
  std::uint8_t statesOut = 0;
  bool nullProducing = false;
  bool errorProducing = false;
  bool expensiveHostOnly = false;
  /// The row was filled by analogy with its family rather than from the op's own definition.
  bool open = false;

  /// Pushes one value (not a state-only or no-op code).
  bool pushesValue() const {
    return result != RpnDataType::None && result != RpnDataType::NullState &&
           result != RpnDataType::NullStateOnly;
  }
};

/// The row of `code`, or nullptr outside 0..2649.
const OpInfo* opInfo(TypedRpnOp code);
/// The row named `name` (exact, upper case), or nullptr.
const OpInfo* findOpByName(std::string_view name);
OpFamily opFamily(TypedRpnOp code); // Unassigned outside 0..2649
bool isNoOp(TypedRpnOp code);

RpnDataType get_type(TypedRpnOp op);
bool isa_null_producing_function(TypedRpnOp op);
bool isa_error_producing_function(TypedRpnOp op);
bool is_expensive_host_only_function(TypedRpnOp op);
/// Display name for messages; "UNKNOWN_OP" outside the code space.
const char* get_trpn_op_name(TypedRpnOp op);

/// Type of the program's final value: the result type of its last value-producing element (None
/// when it has none).
RpnDataType get_evaluated_type(const std::vector<TypedRpnElement>& program);
/// Deepest index the program reaches on the value stack / the null-state stack, by the catalogue's
/// stack effects (0 when it pushes nothing). A program that pops more than it pushed is not refused
/// here: the evaluators refuse it when it runs.
std::uint32_t get_max_stack_index(const std::vector<TypedRpnElement>& program);
std::uint32_t get_max_null_stack_index(const std::vector<TypedRpnElement>& program);

/// Names of the row-identifier pseudo-columns; evaluation never consults them.
inline constexpr const char* kRowIdColumnName = "__xr_row_id";
inline constexpr const char* kRowIdColumnNameShort = "xr_row_id";

} // namespace vela::ParserUtils
