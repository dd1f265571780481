#include "base/RecordCodec.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <system_error>

namespace vela::RecordCodec {

namespace {

bool isSpace(char c) {
  return c == ' ' || static_cast<unsigned char>(c - 9) < 5;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && isSpace(s.front()))
    s.remove_prefix(1);
  while (!s.empty() && isSpace(s.back()))
    s.remove_suffix(1);
  return s;
}

Status refuse(std::string message) {
  return Status(StatusEnum::InvalidArgument, std::move(message));
}

// An element quoted for a message; long ones are cut.
std::string quoted(std::string_view element) {
  constexpr std::size_t kShown = 40;
  return "'" + std::string(element.substr(0, kShown)) + (element.size() > kShown ? "...'" : "'");
}

// Reads one element (white space already trimmed). The float reader takes neither a '+' nor white
// space, and it would take "nan", "inf" and "infinity", which are not numbers here: the first byte
// after the sign must be a digit or the decimal point.
Status readElement(std::string_view element, std::uint64_t index, float& value) {
  const char* p = element.data();
  const char* const end = p + element.size();
  if (p != end && *p == '+' && p + 1 != end && p[1] != '-')
    ++p;
  const char* const digits = p != end && *p == '-' ? p + 1 : p;
  if (digits == end || !((*digits >= '0' && *digits <= '9') || *digits == '.'))
    return refuse("vector element " + std::to_string(index) + " " + quoted(element) + " is not a number");
  const std::from_chars_result r = std::from_chars(p, end, value, std::chars_format::general);
  if (r.ec == std::errc::result_out_of_range)
    return refuse("vector element " + std::to_string(index) + " " + quoted(element) +
                  " is outside the float range");
  if (r.ec != std::errc() || r.ptr != end)
    return refuse("vector element " + std::to_string(index) + " " + quoted(element) + " is not a number");
  return Status();
}

} // namespace

Status scanVectorText(std::string_view text, std::int64_t dimension, VectorTextLayout& layout) {
  if (dimension < 0)
    return refuse("vector dimension " + std::to_string(dimension) + " is negative");
  const std::string_view t = trim(text);
  if (t.empty() || t.front() != '[')
    return refuse("vector text must start with '['");
  if (t.size() < 2 || t.back() != ']')
    return refuse("vector text must end with ']'");
  layout.body = t.substr(1, t.size() - 2);
  if (trim(layout.body).empty()) {
    layout.count = 0;
  } else {
    // One element more than there are commas; a bracket inside is no separator and fails as an element.
    layout.count = 1 + static_cast<std::uint64_t>(std::count(layout.body.begin(), layout.body.end(), ','));
  }
  if (dimension > 0 && layout.count != static_cast<std::uint64_t>(dimension))
    return refuse("expected " + std::to_string(dimension) + " dimensions, not " +
                  std::to_string(layout.count));
  return Status();
}

Status readVectorElements(const VectorTextLayout& layout, float* out) {
  std::string_view rest = layout.body;
  for (std::uint64_t i = 0; i < layout.count; ++i) {
    const std::size_t comma = rest.find(',');
    const std::string_view element = trim(rest.substr(0, comma));
    if (element.empty())
      return refuse("vector element " + std::to_string(i) + " is empty");
    Status status = readElement(element, i, out[i]);
    if (!status.ok())
      return status;
    rest.remove_prefix(comma == std::string_view::npos ? rest.size() : comma + 1);
  }
  return Status();
}

std::size_t stringifyVectorInto(std::span<const float> values, char* out) {
  char* p = out;
  *p++ = '[';
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (i != 0)
      *p++ = ',';
    const float v = values[i];
    if (std::isnan(v)) { // any NaN, whatever its sign and payload
      p = std::copy_n("nan", 3, p);
      continue;
    }
    // Shortest round-trip form; an infinity comes out as "inf" or "-inf". 15 bytes always suffice.
    p = std::to_chars(p, p + 15, v).ptr;
  }
  *p++ = ']';
  return static_cast<std::size_t>(p - out);
}

void stringifyVector(std::span<const float> values, std::string& text) {
  text.resize(maxVectorTextLength(values.size()));
  text.resize(stringifyVectorInto(values, text.data()));
}

} // namespace vela::RecordCodec
