#include "base/ProgramBuilder.h"

#include "base/VelaException.h"

namespace vela::ParserUtils {

namespace {
[[noreturn]] void refuse(const std::string& what) {
  throw VelaException(VelaWhat::Internal, what);
}

const OpInfo& infoOrRefuse(TypedRpnOp code) {
  const OpInfo* info = opInfo(code);
  if (!info)
    refuse("op code " + std::to_string(code) + " is outside the op catalogue");
  return *info;
}

constexpr int128_t kInt96Max = (static_cast<int128_t>(1) << 95) - 1;
constexpr int128_t kInt96Min = -(static_cast<int128_t>(1) << 95);
} // namespace

void packCharN(std::string_view text, std::size_t width, unsigned char* cell) {
  if (text.size() > width)
    refuse("text of " + std::to_string(text.size()) + " bytes does not fit a char" + std::to_string(width));
  std::memset(cell, 0, width);
  for (std::size_t i = 0; i < text.size(); ++i)
    cell[width - 1 - i] = static_cast<unsigned char>(text[i]);
}

std::string unpackCharN(const unsigned char* cell, std::size_t width) {
  std::string text;
  for (std::size_t i = width; i > 0 && cell[i - 1] != 0; --i)
    text.push_back(static_cast<char>(cell[i - 1]));
  return text;
}

int128_t parseUnscaledDecimal(std::string_view text, int scale) {
  if (scale < 0 || scale > 28)
    refuse("decimal scale " + std::to_string(scale) + " is outside 0..28");
  const std::string original(text);
  bool negative = false;
  if (!text.empty() && (text[0] == '-' || text[0] == '+')) {
    negative = text[0] == '-';
    text.remove_prefix(1);
  }
  int128_t value = 0;
  int fraction = -1; // digits seen after the point; -1 before it
  bool digits = false;
  for (char c : text) {
    if (c == '.' && fraction < 0) {
      fraction = 0;
      continue;
    }
    if (c < '0' || c > '9')
      refuse("malformed decimal text '" + original + "'");
    if (fraction >= 0 && ++fraction > scale)
      refuse("decimal text '" + original + "' has more than " + std::to_string(scale) + " fractional digits");
    value = value * 10 + (c - '0');
    digits = true;
    if (value > kInt96Max + 1)
      refuse("decimal text '" + original + "' is out of range");
  }
  if (!digits)
    refuse("malformed decimal text '" + original + "'");
  for (int i = fraction < 0 ? 0 : fraction; i < scale; ++i) {
    value *= 10;
    if (value > kInt96Max + 1)
      refuse("decimal text '" + original + "' is out of range");
  }
  value = negative ? -value : value;
  if (value > kInt96Max || value < kInt96Min)
    refuse("decimal text '" + original + "' is out of range");
  return value;
}

TypedRpnElement& Program::add(TypedRpnOp code) {
  m_elements.emplace_back();
  m_elements.back().op = code;
  return m_elements.back();
}

Program& Program::op(TypedRpnOp code, const EvalInfo& info) {
  add(code).info = info;
  return *this;
}

Program& Program::column(TypedRpnOp code, std::int32_t index) {
  return constant(code, index);
}

Program& Program::charConstant(TypedRpnOp code, std::string_view text) {
  const std::size_t width = get_rpn_datatype_size(infoOrRefuse(code).result);
  if (width == 0)
    refuse(std::string(get_trpn_op_name(code)) + " does not push a fixed-width value");
  unsigned char cell[256];
  packCharN(text, width, cell); // may refuse: nothing is appended then
  std::memcpy(add(code).operand, cell, width);
  return *this;
}

Program& Program::decimalConstant(TypedRpnOp code, std::string_view text, int precision, int scale) {
  const RpnDataType type = infoOrRefuse(code).result;
  if (type != RpnDataType::Dec64 && type != RpnDataType::Dec128)
    refuse(std::string(get_trpn_op_name(code)) + " does not push a decimal");
  const int128_t v = parseUnscaledDecimal(text, scale);
  if (type == RpnDataType::Dec64 && (v > INT64_MAX || v < INT64_MIN))
    refuse("decimal text '" + std::string(text) + "' does not fit a 64-bit decimal");
  // Both widths start with the low 64 bits; a dec128 continues with the high 32 bits (two's complement).
  const auto low = static_cast<std::uint64_t>(v);
  const auto high = static_cast<std::int32_t>(v >> 64);
  TypedRpnElement& e = add(code);
  e.info.setResult(precision, scale);
  std::memcpy(e.operand, &low, 8);
  if (type == RpnDataType::Dec128)
    std::memcpy(e.operand + 8, &high, 4);
  return *this;
}

Program& Program::pointerConstant(TypedRpnOp code, const void* object) {
  return constant(code, object);
}

Program& Program::regexp(TypedRpnOp code, const VelaRegexp* re) {
  const OpInfo& info = infoOrRefuse(code);
  if (std::string_view(info.name).rfind("REGEXP_", 0) != 0)
    refuse(std::string(info.name) + " is not a regular-expression op");
  TypedRpnElement& e = add(code);
  std::memcpy(e.operand + kRegexpOperandOffset, &re, sizeof re);
  return *this;
}

Program& Program::list(TypedRpnOp code, const void* values, std::uint32_t count,
                       std::vector<std::int32_t> aux) {
  const OpInfo& info = infoOrRefuse(code);
  if (info.result != RpnDataType::List)
    refuse(std::string(info.name) + " is not a list constant");
  if (!aux.empty() && aux.size() != count)
    refuse("a list's parallel array must have one entry per value");
  const std::size_t bytes = get_rpn_datatype_size(info.listElement) * count;
  const auto* p = static_cast<const unsigned char*>(values);
  auto& stored = m_listValues.emplace_back(p, p + bytes);
  TypedVec& vec = m_lists.emplace_back();
  vec.count = count;
  vec.values = stored.data();
  if (!aux.empty())
    vec.aux = m_listAux.emplace_back(std::move(aux)).data();
  const TypedVec* pointer = &vec;
  return constant(code, pointer);
}

Program& Program::info(const EvalInfo& info) {
  if (m_elements.empty())
    refuse("eval info given before any element");
  m_elements.back().info = info;
  return *this;
}

} // namespace vela::ParserUtils
