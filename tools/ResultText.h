#pragma once
// Canonical text of result cells, as the command-line evaluator prints them in its `value,state` CSV:
// integers in decimal; floats in the shortest form that reads back to the same value (nan, inf,
// -inf); decimals with exactly `scale` fractional digits; bool as 0 or 1; fixed-width and heap text as
// its characters; JSON compact; vectors as [x, ...] with shortest floats; geometries as WKT; a UUID
// as 8-4-4-4-12 hex digits of its 128-bit value, most significant first; a list constant as [v, ...].

#include <cstddef>
#include <string>

#include "base/ParserUtils.h"

namespace quarry::tools {

/// The text of one cell of `type` (`width` bytes), unquoted. Object cells hold a pointer; a null
/// pointer gives the empty string.
std::string formatCell(vela::ParserUtils::RpnDataType type, const unsigned char* cell, std::size_t width,
                       int scale);

/// A list constant's values as [v, ...] (text items CSV-quoted when needed); empty for a null pointer.
std::string formatList(const vela::ParserUtils::TypedVec* list, vela::ParserUtils::RpnDataType element,
                       int scale);

/// A CSV field: quoted when it holds a separator, a quote or a line break, or when it is empty (an
/// empty unquoted field stands for NULL).
std::string csvField(const std::string& text);

/// Whether values of `type` are text, so that an empty value is written `""` rather than left empty.
bool isTextType(vela::ParserUtils::RpnDataType type);

} // namespace quarry::tools
