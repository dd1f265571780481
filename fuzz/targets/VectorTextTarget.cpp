// Vector text: byte 0 picks the demanded dimension (-1 .. 6; 0 accepts any count), the rest is the
// text. A refusal is InvalidArgument; an accepted vector has the demanded count, finite elements that
// equal the C library's correctly rounded reading of each element's text, and it prints to a text that
// reads back bit for bit and fits the writer's bound.
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/RecordCodec.h"
#include "fuzz/FuzzTarget.h"

namespace quarry::fuzz {

namespace {

using Floats = std::optional<std::vector<float>>;

bool isBlank(char c) {
  return c == ' ' || (c >= 9 && c <= 13);
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && isBlank(s.front()))
    s.remove_prefix(1);
  while (!s.empty() && isBlank(s.back()))
    s.remove_suffix(1);
  return s;
}

// The elements of an accepted text read one by one with strtof: the independent reference.
std::vector<float> referenceElements(std::string_view text) {
  std::vector<float> out;
  const std::size_t open = text.find('['), close = text.rfind(']');
  std::string_view body = trimmed(text.substr(open + 1, close - open - 1));
  while (!body.empty()) {
    const std::size_t comma = body.find(',');
    const std::string element(trimmed(body.substr(0, comma)));
    out.push_back(std::strtof(element.c_str(), nullptr));
    if (comma == std::string_view::npos)
      break;
    body.remove_prefix(comma + 1);
  }
  return out;
}

} // namespace

int vectorText(const std::uint8_t* bytes, std::size_t size) {
  quietLogging();
  const std::string_view input = asText(bytes, size);
  if (size == 0)
    return 0;
  const std::int64_t dimension = static_cast<std::int64_t>(bytes[0] % 8) - 1;
  const std::string_view text = input.substr(1);
  Floats values;
  const vela::Status status = vela::RecordCodec::parseVector(text, dimension, values);
  if (!status.ok()) {
    if (status.kind() != vela::StatusEnum::InvalidArgument || status.message().empty())
      fail("a vector text is refused with another status: " + status.message(), input);
    return 0;
  }
  if (dimension < 0 || !values || (dimension > 0 && values->size() != static_cast<std::size_t>(dimension)))
    fail("an accepted vector has the wrong count", input);
  const std::vector<float> reference = referenceElements(text);
  if (reference.size() != values->size())
    fail("the element count differs from the reference reading", input);
  for (std::size_t k = 0; k < reference.size(); ++k)
    if (!std::isfinite((*values)[k]) || std::memcmp(&reference[k], &(*values)[k], sizeof(float)) != 0)
      fail("element " + std::to_string(k) + " differs from the C library's reading", input);

  std::string written(vela::RecordCodec::maxVectorTextLength(values->size()), '\0');
  written.resize(vela::RecordCodec::stringifyVectorInto(*values, written.data()));
  std::string viaString;
  vela::RecordCodec::stringifyVector(*values, viaString);
  if (viaString != written)
    fail("the two writers differ", input);
  Floats again;
  const vela::Status reread = vela::RecordCodec::parseVector(written, 0, again);
  if (!reread.ok() || !again || again->size() != values->size() ||
      (!values->empty() && std::memcmp(again->data(), values->data(), values->size() * sizeof(float)) != 0))
    fail("the written text " + written + " does not read back bit for bit", input);
  return 0;
}

} // namespace quarry::fuzz
