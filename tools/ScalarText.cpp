#include "tools/ScalarText.h"

#include <charconv>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <string>
#include <type_traits>

#include "base/GeometryCodec.h"
#include "base/Int128.h"
#include "base/JsonValueUtils.h"
#include "base/ProgramBuilder.h"
#include "base/VelaException.h"
#include "cuda/ManagedObjects.h"
#include "tools/DateText.h"

namespace quarry::tools {

using vela::ParserUtils::RpnDataType;

namespace {

// Why the base decimal parser refused, without its copy of the text.
std::string decimalReason(std::string_view message) {
  if (message.find("fractional digits") != std::string_view::npos)
    return " (more fractional digits than the scale)";
  if (message.find("out of range") != std::string_view::npos)
    return " (out of range)";
  if (message.find("scale") != std::string_view::npos && message.find("outside") != std::string_view::npos)
    return " (the scale lies outside 0..18)";
  return " (malformed)";
}

template <class T>
bool parseInteger(std::string_view text, T& v, std::string& why) {
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec == std::errc() && end == text.data() + text.size() && !text.empty())
    return true;
  why = quoteInput(text) + " is not " +
        (ec == std::errc::result_out_of_range ? "a representable "
         : std::is_signed_v<T>                ? "a "
                                              : "an ") +
        (std::is_signed_v<T> ? "signed " : "unsigned ") + std::to_string(sizeof(T) * 8) + "-bit integer";
  return false;
}

template <class F>
bool parseFloat(std::string_view text, F& v, std::string& why) {
  if (text == "nan" || text == "-nan") {
    v = std::numeric_limits<F>::quiet_NaN();
    return true;
  }
  if (text == "inf" || text == "-inf") {
    v = text[0] == '-' ? -std::numeric_limits<F>::infinity() : std::numeric_limits<F>::infinity();
    return true;
  }
  // from_chars refuses out-of-range values rather than rounding them to infinity.
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
  if (ec == std::errc() && end == text.data() + text.size() && !text.empty())
    return true;
  why = quoteInput(text) + " is not a " + (sizeof(F) == 4 ? "32" : "64") + "-bit float" +
        (ec == std::errc::result_out_of_range ? " (out of range)" : "");
  return false;
}

// Unsigned 128-bit decimal text.
bool parseU128(std::string_view text, vela::uint128_t& v, std::string& why) {
  v = 0;
  const vela::uint128_t max = ~vela::uint128_t{0};
  for (char c : text) {
    if (c < '0' || c > '9' || v > (max - (c - '0')) / 10) {
      why = quoteInput(text) + " is not an unsigned 128-bit integer";
      return false;
    }
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  if (text.empty()) {
    why = "an empty field is not an unsigned 128-bit integer";
    return false;
  }
  return true;
}

template <class T>
void put(unsigned char* cell, T v) {
  std::memcpy(cell, &v, sizeof v);
}

template <class T, class P>
bool parseAndPut(std::string_view text, unsigned char* cell, std::string& why, P parse) {
  T v{};
  if (!parse(text, v, why))
    return false;
  put(cell, v);
  return true;
}

} // namespace

std::string quoteInput(std::string_view text, std::size_t limit) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string out = "'";
  std::size_t shown = 0;
  for (; shown < text.size() && shown < limit; ++shown) {
    const auto c = static_cast<unsigned char>(text[shown]);
    if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\t')
      out += "\\t";
    else if (c < 0x20 || c == 0x7f)
      out += std::string("\\x") + kHex[c >> 4] + kHex[c & 15];
    else
      out += static_cast<char>(c);
  }
  out += '\'';
  if (shown < text.size())
    out += "... (" + std::to_string(text.size()) + " bytes)";
  return out;
}

int maxDecimalPrecision(RpnDataType type) {
  return type == RpnDataType::Dec64 ? 18 : type == RpnDataType::Dec128 ? 28 : 0;
}

bool checkDecimalPrecision(RpnDataType type, const unsigned char* cell, int precision, std::string_view text,
                           std::string& why) {
  vela::int128_t v;
  if (type == RpnDataType::Dec64) {
    std::int64_t x;
    std::memcpy(&x, cell, sizeof x);
    v = x;
  } else {
    std::uint64_t low;
    std::int32_t high;
    std::memcpy(&low, cell, sizeof low);
    std::memcpy(&high, cell + 8, sizeof high);
    v = static_cast<vela::int128_t>((static_cast<vela::uint128_t>(static_cast<std::int64_t>(high)) << 64) |
                                    low);
  }
  vela::uint128_t magnitude = v < 0 ? -static_cast<vela::uint128_t>(v) : static_cast<vela::uint128_t>(v);
  int digits = 0;
  for (; magnitude != 0; magnitude /= 10)
    ++digits;
  if (digits <= precision)
    return true;
  why = quoteInput(text) + " has " + std::to_string(digits) + " digits, more than the precision " +
        std::to_string(precision);
  return false;
}

int decimalTextScale(std::string_view text) {
  const std::size_t point = text.find('.');
  return point == std::string_view::npos ? 0 : static_cast<int>(text.size() - point - 1);
}

bool encodeScalarText(RpnDataType type, std::string_view text, int scale, unsigned char* cell,
                      std::string& why) {
  auto integer = [](std::string_view t, auto& v, std::string& w) { return parseInteger(t, v, w); };
  auto floating = [](std::string_view t, auto& v, std::string& w) { return parseFloat(t, v, w); };
  switch (type) {
  case RpnDataType::Bool:
    if (text == "1" || text == "true") {
      put(cell, std::uint8_t{1});
      return true;
    }
    if (text == "0" || text == "false") {
      put(cell, std::uint8_t{0});
      return true;
    }
    why = quoteInput(text) + " is not a boolean (0, 1, true, false)";
    return false;
  case RpnDataType::Int8:
    return parseAndPut<std::int8_t>(text, cell, why, integer);
  case RpnDataType::Int16:
    return parseAndPut<std::int16_t>(text, cell, why, integer);
  case RpnDataType::Date:
  case RpnDataType::Time:
  case RpnDataType::DateTime:
  case RpnDataType::Timestamp:
    return parseCalendarText(type, text, cell, why);
  case RpnDataType::Int32:
  case RpnDataType::Ipv4:
    return parseAndPut<std::int32_t>(text, cell, why, integer);
  case RpnDataType::UInt32:
    return parseAndPut<std::uint32_t>(text, cell, why, integer);
  case RpnDataType::Int64:
    return parseAndPut<std::int64_t>(text, cell, why, integer);
  case RpnDataType::UInt64:
    return parseAndPut<std::uint64_t>(text, cell, why, integer);
  case RpnDataType::Float32:
    return parseAndPut<float>(text, cell, why, floating);
  case RpnDataType::Float64:
    return parseAndPut<double>(text, cell, why, floating);
  case RpnDataType::UInt128:
  case RpnDataType::Uuid:
    return parseAndPut<vela::uint128_t>(text, cell, why, parseU128);
  case RpnDataType::Dec64:
  case RpnDataType::Dec128: {
    vela::int128_t v = 0;
    try {
      v = vela::ParserUtils::parseUnscaledDecimal(text, scale);
    } catch (const vela::VelaException& e) {
      // The base parser's message repeats the whole text: it is left out in favour of a quoted cut.
      why =
          quoteInput(text) + " is not a decimal at scale " + std::to_string(scale) + decimalReason(e.what());
      return false;
    }
    if (type == RpnDataType::Dec64) {
      if (v > INT64_MAX || v < INT64_MIN) {
        why = quoteInput(text) + " does not fit a 64-bit decimal at scale " + std::to_string(scale);
        return false;
      }
      put(cell, static_cast<std::int64_t>(v));
    } else {
      // 96-bit unscaled value: the low 64 bits, then the high 32 bits (signed).
      put(cell, static_cast<std::uint64_t>(v));
      put(cell + 8, static_cast<std::int32_t>(v >> 64));
    }
    return true;
  }
  default:
    break;
  }
  const std::size_t width = vela::ParserUtils::get_rpn_datatype_size(type);
  if (type >= RpnDataType::Char1 && type <= RpnDataType::Char256 && width > 0) {
    if (text.find('\0') != std::string_view::npos) {
      // Unused bytes of a fixed-width text are zero: a NUL would end the text where it stands.
      why = quoteInput(text) + " holds a NUL byte, which " + vela::ParserUtils::rpnDataTypeShortName(type) +
            " text cannot carry";
      return false;
    }
    if (text.size() > width) {
      why = "text of " + std::to_string(text.size()) + " bytes does not fit " +
            vela::ParserUtils::rpnDataTypeShortName(type);
      return false;
    }
    vela::ParserUtils::packCharN(text, width, cell);
    return true;
  }
  why = std::string("values of type ") + vela::ParserUtils::rpnDataTypeShortName(type) +
        " are not written as scalar text";
  return false;
}

bool parseVectorText(std::string_view text, std::vector<float>& values, std::string& why) {
  values.clear();
  if (text.size() < 2 || text.front() != '[' || text.back() != ']') {
    why = "'" + std::string(text) + "' is not a vector ([1, 2.5, ...])";
    return false;
  }
  std::string_view rest = text.substr(1, text.size() - 2);
  if (rest.find_first_not_of(" \t") == std::string_view::npos)
    return true;
  while (true) {
    const std::size_t comma = rest.find(',');
    std::string_view item = rest.substr(0, comma);
    const auto b = item.find_first_not_of(" \t");
    const auto e = item.find_last_not_of(" \t");
    item = b == std::string_view::npos ? std::string_view() : item.substr(b, e - b + 1);
    float v = 0;
    if (!parseFloat(item, v, why))
      return false;
    values.push_back(v);
    if (comma == std::string_view::npos)
      return true;
    rest.remove_prefix(comma + 1);
  }
}

namespace {

// An object's text quoted for a refusal; long texts (a deep document can be megabytes) are cut.
std::string quotedForMessage(std::string_view text) {
  constexpr std::size_t kShown = 60;
  if (text.size() <= kShown)
    return "'" + std::string(text) + "'";
  return "'" + std::string(text.substr(0, kShown)) + "...' (" + std::to_string(text.size()) + " bytes)";
}

} // namespace

const void* makeObjectFromText(RpnDataType type, std::string_view text, std::string& why) {
  using namespace vela::cuda;
  switch (type) {
  case RpnDataType::String:
  case RpnDataType::String2: {
    InlineBuffer<char>* b = InlineBuffer<char>::allocate(text.size());
    if (!text.empty())
      std::memcpy(b->data(), text.data(), text.size());
    return b;
  }
  case RpnDataType::Vector: {
    std::vector<float> values;
    if (!parseVectorText(text, values, why))
      return nullptr;
    InlineBuffer<float>* b = InlineBuffer<float>::allocate(values.size());
    if (!values.empty())
      std::memcpy(b->data(), values.data(), values.size() * sizeof(float));
    return b;
  }
  case RpnDataType::Json:
  case RpnDataType::Array: {
    JsonValue value;
    if (const vela::Status status = vela::JsonValueUtils::readJson(text, value); !status.ok()) {
      why = quotedForMessage(text) + " is not JSON text (" + status.message() + ")";
      return nullptr;
    }
    if (type == RpnDataType::Array && !value.is_array()) {
      why = quotedForMessage(text) + " is not a JSON array";
      return nullptr;
    }
    return new JsonValue(std::move(value));
  }
  case RpnDataType::Geometry: {
    std::unique_ptr<geos::geom::Geometry> geometry;
    if (const vela::Status status = vela::GeometryCodec::readWkt(text.data(), text.size(), geometry);
        !status.ok()) {
      why = quotedForMessage(text) + " is not WKT text (" + status.message() + ")";
      return nullptr;
    }
    return geometry.release();
  }
  default:
    why = std::string("no text form for objects of type ") + vela::ParserUtils::rpnDataTypeShortName(type);
    return nullptr;
  }
}

const void* makeObject(RpnDataType type, std::string_view text, std::string& why) {
  const void* object = makeObjectFromText(type, text, why);
  if (object == nullptr) {
    // The object readers echo the whole text; a message shows at most a quoted cut of it.
    const std::string echoed = "'" + std::string(text) + "'";
    const std::size_t at = why.find(echoed);
    if (at != std::string::npos)
      why.replace(at, echoed.size(), quoteInput(text));
  }
  return object;
}

} // namespace quarry::tools
