// Casts from text: every op that reads one heap string or charN operand and converts it (to numbers,
// decimals, dates and times, addresses, UUIDs, JSON, vectors, geometries, other widths). Byte 0 picks
// the op, byte 1 a result precision and scale, the rest is the text of row 0; row 1 is a NULL string
// (an all-zero cell for charN). Both evaluators must agree and balance the pool; a refusal is a row
// code or a frame fault, never a crash.
#include <algorithm>
#include <cctype>
#include <string>
#include <vector>

#include "base/ProgramBuilder.h"
#include "cuda/ManagedObjects.h"
#include "fuzz/FuzzEval.h"
#include "fuzz/FuzzTarget.h"
#include "tools/ScalarText.h"

namespace quarry::fuzz {

namespace {

using vela::ParserUtils::OpInfo;
using vela::ParserUtils::RpnDataType;

bool isText(RpnDataType t) {
  if (t == RpnDataType::String || t == RpnDataType::String2)
    return true;
  const std::string_view name = vela::ParserUtils::rpnDataTypeShortName(t);
  return name.starts_with("char");
}

struct CastOp {
  const OpInfo* op;
  vela::ParserUtils::TypedRpnOp load; // the column load of the operand's type
};

// The casts, from the catalogue: one text operand, no state operand, a value result, and a name that
// says it converts.
std::vector<CastOp> findCasts() {
  std::vector<CastOp> casts;
  for (vela::ParserUtils::TypedRpnOp code = 0; code < 2650; ++code) {
    const OpInfo* op = vela::ParserUtils::opInfo(code);
    if (op == nullptr || op->numOperands != 1 || op->statesIn != 0 || !op->pushesValue() ||
        !isText(op->operands[0]))
      continue;
    const std::string_view name = op->name;
    if (name.find("CAST") == std::string_view::npos && name.find("TO_") == std::string_view::npos &&
        name.find("FROM") == std::string_view::npos)
      continue;
    std::string load = "LOAD_COL_";
    for (const char c : std::string_view(vela::ParserUtils::rpnDataTypeShortName(op->operands[0])))
      load += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (const OpInfo* l = vela::ParserUtils::findOpByName(load))
      casts.push_back({op, l->code});
  }
  return casts;
}

} // namespace

int stringCast(const std::uint8_t* bytes, std::size_t size) {
  quietLogging();
  static const std::vector<CastOp> casts = findCasts();
  const std::string_view input = asText(bytes, size);
  if (size < 2 || casts.empty())
    return 0;
  const CastOp& cast = casts[bytes[0] % casts.size()];
  const std::string_view text = input.substr(2);
  const int scale = bytes[1] % 19;
  const int maxPrecision = cast.op->result == RpnDataType::Dec128 ? 28 : 18;
  const int precision = (bytes[1] & 0x80) != 0 ? std::max(scale, 1 + bytes[1] % maxPrecision) : 0;

  vela::ParserUtils::Program program;
  program.column(cast.load, 0);
  vela::ParserUtils::EvalInfo info;
  info.setResult(precision, scale);
  program.op(cast.op->code, info);

  constexpr unsigned long kRows = 2;
  const RpnDataType type = cast.op->operands[0];
  const std::size_t width = vela::ParserUtils::get_rpn_datatype_size(type);
  std::vector<unsigned char> cells(kRows * width, 0);
  const void* object = nullptr;
  if (vela::ParserUtils::isObjectType(type)) {
    std::string why;
    object = tools::makeObjectFromText(RpnDataType::String, text, why);
    if (object == nullptr)
      fail("a string object cannot be made: " + why, input);
    std::memcpy(cells.data(), &object, sizeof object); // row 1 stays a null pointer
  } else {
    packCell(text, cells.data(), width);
  }
  evaluateBoth(program.elements(), {cells.data()}, kRows, input);
  if (object != nullptr)
    vela::cuda::objectDeleterFor(RpnDataType::String)(object);
  return 0;
}

} // namespace quarry::fuzz
