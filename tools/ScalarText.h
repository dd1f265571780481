#pragma once
// Literal text of scalar values, shared by the program text (constants, list items) and the CSV
// reader (cells): integers in decimal, floats with nan/inf/-inf, decimals as decimal text at a given
// scale, booleans as 0/1/true/false, fixed-width text as its characters.

#include <string>
#include <string_view>
#include <vector>

#include "base/ParserUtils.h"

namespace quarry::tools {

/// Input text as messages quote it: in single quotes, control bytes (NUL included) and DEL written as
/// \n, \r, \t or \xHH, and cut after about `limit` characters with the full length noted, so
/// that a refusal stays one readable line whatever the input held.
std::string quoteInput(std::string_view text, std::size_t limit = 80);

/// Writes the value `text` of scalar `type` into `cell` (get_rpn_datatype_size(type) bytes). Decimals
/// are read at `scale` (more fractional digits than the scale are refused, not rounded). Returns false
/// with `why` set when the text is not a value of the type.
bool encodeScalarText(vela::ParserUtils::RpnDataType type, std::string_view text, int scale,
                      unsigned char* cell, std::string& why);

/// Decimal scales lie in 0..kMaxDecimalScale; precisions in 1..maxDecimalPrecision(type): 18 digits for
/// dec64, 28 for dec128 (0 for other types).
inline constexpr int kMaxDecimalScale = 18;
int maxDecimalPrecision(vela::ParserUtils::RpnDataType type);

/// Whether the decimal `cell` of `type` has at most `precision` digits; `why` names `text` when not.
bool checkDecimalPrecision(vela::ParserUtils::RpnDataType type, const unsigned char* cell, int precision,
                           std::string_view text, std::string& why);

/// A numeric vector written as `[1, 2.5, -3]` (the empty vector as `[]`).
bool parseVectorText(std::string_view text, std::vector<float>& values, std::string& why);

/// A new object of object `type` from its text: string (the text itself), vector ([x, ...]), json
/// (JSON text), geometry (WKT). Returns nullptr with `why` set when the text is not a value of the type.
/// The caller frees the object with objectDeleterFor(type).
const void* makeObjectFromText(vela::ParserUtils::RpnDataType type, std::string_view text, std::string& why);

/// makeObjectFromText whose refusal quotes the text through quoteInput.
const void* makeObject(vela::ParserUtils::RpnDataType type, std::string_view text, std::string& why);

/// The number of digits after the point of decimal text ("1.50" has 2, "7" none).
int decimalTextScale(std::string_view text);

} // namespace quarry::tools
