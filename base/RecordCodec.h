#pragma once
// Text form of numeric vectors (lists of single-precision floats, as embeddings are stored).
//
// Reading (parseVector). A vector text is
//     [ws] '[' [ws] [element [ws] (',' [ws] element [ws])*] ']' [ws]
// where ws is any run of the bytes 32 and 9 to 13, and an element is a decimal number: an optional
// sign ('+' or '-'), digits with an optional decimal point (at least one digit on either side of it),
// and an optional exponent ('e' or 'E', an optional sign, digits). "[]" is the empty vector. Each
// element is rounded once, to the nearest float (ties to even). Refused, with a status naming the
// problem: a missing bracket, anything after the closing bracket, an empty element ("[1,,2]",
// "[1,]", "[,]"), text that is not such a number (hexadecimal, "nan", "inf", "infinity", "1e"), and a
// value outside the float range in either direction: a magnitude above the largest float, or a
// non-zero value below half the smallest subnormal, which would round to zero. Every value that the
// text accepts is finite.
//
// Dimension. A positive dimension d demands exactly d elements ("expected 3 dimensions, not 2"), as a
// column declared with a dimension would; 0 accepts any count; a negative dimension is refused. The
// count is checked before any element is read or any buffer made, so a long text of the wrong size
// costs one scan.
//
// Writing (stringifyVector). '[' then the elements separated by ',' (no spaces) then ']', each element
// in the shortest decimal text that reads back as the same float ("0.1", "1e+20", "-0"). Every finite
// vector therefore round-trips bit for bit through its text. Non-finite elements, which arithmetic on
// vectors can produce, are written "nan", "inf" and "-inf"; such a text is refused when read back,
// since a stored vector holds finite values only.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "base/VelaException.h"

namespace vela::RecordCodec {

/// Where the elements of a vector text lie: the text between the brackets and the element count.
struct VectorTextLayout {
  std::string_view body;
  std::uint64_t count = 0;
};

/// Checks the brackets and the dimension and counts the elements (the elements themselves are read by
/// readVectorElements). Status InvalidArgument on a refusal.
Status scanVectorText(std::string_view text, std::int64_t dimension, VectorTextLayout& layout);

/// Reads the layout.count elements of a scanned text into out (room for that many floats). Status
/// InvalidArgument on a refusal; out then holds unspecified values.
Status readVectorElements(const VectorTextLayout& layout, float* out);

/// Reads a vector text into a new buffer: `buffer = Buffer(n)` is made once, at the final element count
/// (so a pool-charged buffer is charged once and exactly), then filled through buffer->data(). On a
/// refusal the status says why and `buffer` is either untouched (bad brackets or count) or holds a
/// buffer of unspecified contents that the caller drops.
template <class Buffer>
Status parseVector(std::string_view text, std::int64_t dimension, Buffer& buffer) {
  VectorTextLayout layout;
  Status status = scanVectorText(text, dimension, layout);
  if (!status.ok())
    return status;
  buffer = Buffer(layout.count);
  return layout.count == 0 ? Status() : readVectorElements(layout, buffer->data());
}

/// Bytes that stringifyVectorInto may write for n elements: the brackets, n - 1 commas and at most 15
/// characters an element ("-1.1754944e-38").
constexpr std::size_t maxVectorTextLength(std::uint64_t n) {
  return 2 + 16 * static_cast<std::size_t>(n);
}

/// Writes the text of the vector into out (room for maxVectorTextLength(values.size()) bytes) and
/// returns its length.
std::size_t stringifyVectorInto(std::span<const float> values, char* out);

/// Replaces `text` by the text of the vector.
void stringifyVector(std::span<const float> values, std::string& text);

} // namespace vela::RecordCodec
