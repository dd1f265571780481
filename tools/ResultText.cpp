#include "tools/ResultText.h"

#include <charconv>
#include <cstdint>
#include <cstring>

#include "base/DecimalText.h"
#include "base/GeometryCodec.h"
#include "base/Int128.h"
#include "base/JsonValueUtils.h"
#include "base/ProgramBuilder.h"
#include "cuda/ManagedObjects.h"
#include "tools/DateText.h"
#include <geos/geom/Geometry.h>

namespace quarry::tools {

using vela::ParserUtils::RpnDataType;

namespace {

template <class T>
T cellAs(const unsigned char* cell) {
  T v;
  std::memcpy(&v, cell, sizeof v);
  return v;
}

// std::to_chars without a format argument writes the shortest text that reads back exactly; it writes
// "nan" and "-nan" for NaNs of either sign, and only the sign-less spelling is canonical here.
template <class F>
std::string shortestFloat(F value) {
  if (value != value)
    return "nan";
  char buffer[64];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string u128Text(vela::uint128_t v) {
  if (v == 0)
    return "0";
  std::string digits;
  while (v != 0) {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(v % 10)));
    v /= 10;
  }
  return digits;
}

std::string uuidText(vela::uint128_t v) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out;
  for (int nibble = 31; nibble >= 0; --nibble) {
    out += kHex[static_cast<int>((v >> (4 * nibble)) & 15)];
    if (nibble == 24 || nibble == 20 || nibble == 16 || nibble == 12)
      out += '-';
  }
  return out;
}

// Dotted quad, the most significant octet first.
std::string ipv4Text(std::uint32_t v) {
  return std::to_string(v >> 24) + '.' + std::to_string((v >> 16) & 255) + '.' +
         std::to_string((v >> 8) & 255) + '.' + std::to_string(v & 255);
}

std::string vectorText(const vela::cuda::InlineBuffer<float>& v) {
  std::string out = "[";
  for (std::uint64_t i = 0; i < v.size(); ++i)
    out += (i ? "," : "") + shortestFloat(v.data()[i]);
  return out + "]";
}

} // namespace

bool isTextType(RpnDataType type) {
  return (type >= RpnDataType::Char1 && type <= RpnDataType::Char256) || type == RpnDataType::String ||
         type == RpnDataType::String2;
}

std::string csvField(const std::string& text) {
  if (!text.empty() && text.find_first_of(",\"\n\r") == std::string::npos)
    return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"')
      quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

std::string formatCell(RpnDataType type, const unsigned char* cell, std::size_t width, int scale) {
  using namespace vela::cuda;
  switch (type) {
  case RpnDataType::Bool:
    return cell[0] != 0 ? "1" : "0";
  case RpnDataType::Int8:
    return std::to_string(cellAs<std::int8_t>(cell));
  case RpnDataType::Int16:
    return std::to_string(cellAs<std::int16_t>(cell));
  case RpnDataType::Ipv4:
    return ipv4Text(cellAs<std::uint32_t>(cell));
  case RpnDataType::Date:
  case RpnDataType::Time:
  case RpnDataType::DateTime:
  case RpnDataType::Timestamp:
    return formatCalendarCell(type, cell);
  case RpnDataType::Int32:
    return std::to_string(cellAs<std::int32_t>(cell));
  case RpnDataType::UInt32:
    return std::to_string(cellAs<std::uint32_t>(cell));
  case RpnDataType::Int64:
    return std::to_string(cellAs<std::int64_t>(cell));
  case RpnDataType::UInt64:
    return std::to_string(cellAs<std::uint64_t>(cell));
  case RpnDataType::Float32:
    return shortestFloat(cellAs<float>(cell));
  case RpnDataType::Float64:
    return shortestFloat(cellAs<double>(cell));
  case RpnDataType::UInt128:
    return u128Text(cellAs<vela::uint128_t>(cell));
  case RpnDataType::Uuid:
    return uuidText(cellAs<vela::uint128_t>(cell));
  case RpnDataType::Dec64:
    return vela::decimal_as_string(cellAs<std::int64_t>(cell), scale);
  case RpnDataType::Dec128: {
    // 96-bit unscaled value: the low 64 bits, then the high 32 bits, signed.
    const auto low = cellAs<std::uint64_t>(cell);
    const auto high = static_cast<std::int64_t>(cellAs<std::int32_t>(cell + 8));
    const auto value = static_cast<vela::int128_t>(
        (static_cast<vela::uint128_t>(static_cast<std::uint64_t>(high)) << 64) | low);
    return vela::decimal_as_string(value, scale);
  }
  case RpnDataType::String:
  case RpnDataType::String2: {
    const auto* text = cellAs<const InlineBuffer<char>*>(cell);
    return text == nullptr ? std::string() : std::string(text->view());
  }
  case RpnDataType::Vector: {
    const auto* v = cellAs<const InlineBuffer<float>*>(cell);
    return v == nullptr ? std::string() : vectorText(*v);
  }
  case RpnDataType::Json:
  case RpnDataType::Array: {
    const auto* json = cellAs<const JsonValue*>(cell);
    return json == nullptr ? std::string() : vela::JsonValueUtils::writeJson(*json);
  }
  case RpnDataType::Geometry: {
    const auto* g = cellAs<const geos::geom::Geometry*>(cell);
    return g == nullptr ? std::string() : vela::GeometryCodec::writeWkt(*g);
  }
  default:
    break;
  }
  if (type >= RpnDataType::Char1 && type <= RpnDataType::Char256)
    return vela::ParserUtils::unpackCharN(cell, width);
  std::string hex = "0x";
  static constexpr char kHex[] = "0123456789abcdef";
  for (std::size_t i = width; i-- > 0;) {
    hex += kHex[cell[i] >> 4];
    hex += kHex[cell[i] & 15];
  }
  return hex;
}

std::string formatList(const vela::ParserUtils::TypedVec* list, RpnDataType element, int scale) {
  if (list == nullptr)
    return {};
  const std::size_t width = vela::ParserUtils::get_rpn_datatype_size(element);
  const auto* values = static_cast<const unsigned char*>(list->values);
  std::string out = "[";
  for (std::uint32_t i = 0; i < list->count; ++i) {
    const std::string item = formatCell(element, values + i * width, width, scale);
    out += (i ? "," : "") + (isTextType(element) ? csvField(item) : item);
  }
  return out + "]";
}

} // namespace quarry::tools
